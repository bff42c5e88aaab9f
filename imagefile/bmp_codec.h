// BMP files: the size query, the reader of every common variant (1, 4, 8, 16, 24 and 32 bits,
// bit fields, RLE8 and RLE4, the OS/2 and the V4/V5 headers, bottom-up and top-down rows) into a
// CPixelArray at a requested size and rectangle, and the writer of uncompressed 24-bit files
// strip by strip.
#pragma once

#include "common/basic_types.h"
#include "imagefile/pixel_array.h"
#include "imagefile/staged_output_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// (0, 0, width, |height|) from the header of a ".bmp" file; (0, 0, 0, 0) when the path is empty,
// its extension is not BMP, the file cannot be opened or its header is short or not "BM".
CRect GetBmpFileRect(const std::string& path);
// The same from the bytes of a file held in memory (no extension check).
CRect GetBmpBytesRect(const uint8_t* data, size_t length);

// 1 when GetBmpFileRect gives a width of at least 2, else -1.
int IsUsableBmpFile(const std::string& path);

// Reads the file fitted into a canvas of the requested size (size, in; aspect kept, centred,
// never enlarged, uncovered canvas 0xF0F0F0) and delivers the pixels of rect intersected with
// that canvas (rect (0, 0, 0, 0) = the whole canvas); size then holds the image's own size.
// 1 on success; 0 when pixels already holds elements (nothing read); -1 for an empty path, a
// requested size below 1 x 1, a file that cannot be opened or a damaged or unsupported file
// (pixels then 0x787878); -5 when memory runs out. A 24-bit file cut short still reads: the
// rows it does not hold are black.
int ReadBmpFile(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& rect);
// The same from the bytes of a file held in memory.
int ReadBmpBytes(const uint8_t* data, size_t length, CPixelArray& pixels, CSize& size, const CRect& rect);

// Writes an uncompressed bottom-up 24-bit BMP strip by strip: strip n holds image rows 16n to
// 16n + 15 (16 * width pixels, its first row first); the strips arrive from the last to the
// first. The file is built beside the target and moved into place by EndWrite, so a failed
// write never leaves a half-written file under the target's name.
class CBmpWriter {
public:
    // The widest row the writer takes (a stride of 508,276 bytes).
    static constexpr int kMaxWidth = 169425;

    CBmpWriter() = default;
    ~CBmpWriter();
    CBmpWriter(const CBmpWriter&) = delete;
    CBmpWriter& operator=(const CBmpWriter&) = delete;

    // 1 when the file is open for writing; -1 for an empty path, a size the format cannot hold
    // (" Too big to create image file" is shown) or a file that cannot be created (the path
    // followed by " Can't open file." is shown). A file still open is abandoned.
    int BeginWrite(const std::string& path, int width, int height, int dpi);
    // 1, or -1 when no file is open, n is not a strip of the image, the strip holds too few
    // pixels or the write fails (the output is then dropped).
    int WriteStrip(const CPixelArray& strip, int n);
    // Finishes the file. A negative status (cancelled or failed) drops the output, leaves the
    // target as it was and answers 1. Otherwise 1 when every strip was written and the file was
    // moved into place, else -1 (the target is then left as it was).
    int EndWrite(int status);

    // The pixels-per-metre value stored for a resolution in dots per inch.
    static int32_t PixelsPerMetre(int dpi);

private:
    void Abandon();
    bool WriteAll(const uint8_t* data, size_t n, int64_t offset);

    CStagedOutputFile m_file;
    int m_width = 0;
    int m_height = 0;
    int64_t m_stride = 0;
    bool m_failed = false;
    std::vector<bool> m_stripDone;
    std::vector<uint8_t> m_row;
};

// The one writer of the program.
CBmpWriter& BmpWriter();

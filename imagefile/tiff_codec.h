// TIFF codec: reads uncompressed 8-bit RGB, RGBA and grey pictures stored in strips (either
// byte order, chunky or planar) at a requested size, and writes uncompressed 8-bit RGB files
// in strips of 16 rows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "imagefile/pixel_array.h"
#include "imagefile/staged_output_file.h"

// One directory slot: tag, field type, element count, first element (or the offset of the
// elements when they do not fit the entry), default value, element size in bytes. `valuePos`
// is where the elements lie in the file.
struct TiffEntry {
    int32_t tag = 0;
    int32_t type = 3;
    uint32_t count = 2;
    uint32_t value = 0;
    uint32_t defaultValue = 0;
    int32_t size = 4;
    uint64_t valuePos = 0;
};

class CTiffCodec {
public:
    enum Slot {
        ImageWidth, ImageLength, BitsPerSample, Compression, Photometric, StripOffsets,
        Orientation, SamplesPerPixel, RowsPerStrip, StripByteCounts, PlanarConfiguration,
        SlotCount
    };

    // Largest requested canvas (16384 x 16384).
    static constexpr int64_t MaxRequestPixels = kMaxImagePixels;
    // Upper bound on the directories followed in one file.
    static constexpr int MaxDirectories = 64;

    // Image size as (width, height), or false when the file cannot be read or is not supported.
    bool GetImageSize(const std::string& path, int& width, int& height);

    // Reads the picture fitted into cx x cy (`out` is resized to cx * cy). On success the
    // picture's own size is returned in width/height. Result >= 1 success, 0 file not opened
    // or cut short, -1 bad or unsupported file, -5 out of memory.
    int ReadImage(const std::string& path, CPixelArray& out, int cx, int cy, int& width,
                  int& height);

    // Writing: BeginWrite, then WriteStrip for every strip (any order), then EndWrite.
    int BeginWrite(const std::string& path, int width, int height, int dpi);
    int WriteStrip(const uint32_t* strip, size_t count, int n);
    int EndWrite(int status);

    // Fits a w x h source whole and centred into cx x cy (no enlargement; uncovered pixels
    // 0xF0F0F0), nearest pixel: the cover fitting every reader shares. -1 when memory for
    // the column table runs out, else 1.
    static int ResamplePixels(int w, int h, const uint32_t* src, int cx, int cy, uint32_t* out);

    // Byte position of the pixel data of a written file with `height` rows.
    static uint64_t PixelDataOffset(int height);

private:
    struct Reader;
    void ResetTags();
    int ParseIfd(Reader& in);
    int ParseAndCheck(Reader& in);
    bool StripOffset(Reader& in, uint32_t s, uint64_t& offset);
    int ReadStrips(Reader& in, uint32_t* out);
    int ReadStripsSubsampled(Reader& in, uint32_t* out, int f);

    TiffEntry m_slots[SlotCount];
    int m_byteOrder = 0;
    int m_width = 0;
    int m_height = 0;
    int m_samples = 3;
    int m_planar = 1;
    uint32_t m_rowsPerStrip = 0;

    CStagedOutputFile m_file;
    int m_writeWidth = 0;
    int m_writeHeight = 0;
    int m_strips = 0;
    std::vector<uint8_t> m_written;
    std::vector<uint8_t> m_rowBytes;
    bool m_open = false;
};

// The program-wide TIFF codec used by the image-file dispatch.
CTiffCodec& TiffCodec();

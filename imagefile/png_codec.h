// PNG codec over libpng: size query, whole-picture read into a pixel array at a requested
// size (grey, palette, 16-bit and alpha pictures expanded to 8-bit RGB), and 8-bit RGB
// writing strip by strip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imagefile/pixel_array.h"
#include "imagefile/staged_output_file.h"

struct PngWriteState;

class CPngCodec {
public:
    // Widest row the writer accepts.
    static constexpr int MaxWriteWidth = 169425;
    // Largest picture the reader decodes (the whole picture is held in memory).
    static constexpr uint64_t MaxReadPixels = kMaxImagePixels;

    CPngCodec();
    ~CPngCodec();
    CPngCodec(const CPngCodec&) = delete;
    CPngCodec& operator=(const CPngCodec&) = delete;

    // (width, height) of the picture, or false when the file cannot be read as PNG.
    bool GetImageSize(const std::string& path, int& width, int& height);

    // Reads the whole picture fitted into cx x cy; `pixels` is resized to cx * cy. On success
    // cx, cy receive the picture's own size. 1, or -1 on any failure.
    int ReadImage(const std::string& path, CPixelArray& pixels, int& cx, int& cy);

    // 1 when the file is open and its header written; -1 for an empty path, a width above
    // MaxWriteWidth or a file that cannot be created.
    int BeginWrite(const std::string& path, int width, int height);
    // Writes the rows of strip n that lie inside the picture. Strips come in order from 0;
    // 1, or -1 on a write error.
    int WriteStrip(const uint32_t* strip, size_t count, int n);
    // Finishes the file; a negative status discards it. 1, or -1 when it could not be finished.
    int EndWrite(int status);

private:
    void CloseWriter();

    CStagedOutputFile m_file;
    PngWriteState* m_write = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_nextStrip = 0;
    std::vector<uint8_t> m_row;
};

// The program-wide PNG codec used by the image-file dispatch.
CPngCodec& PngCodec();

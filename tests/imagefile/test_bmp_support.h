// Helpers shared by the BMP and dispatch tests: a reference PNG reader (libpng directly), BMP
// files built in memory, and a scratch folder.
#pragma once

#include "common/basic_types.h"
#include "imagefile/pixel_array.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bmptest {

struct CRgbaImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba; // 4 bytes per pixel, top row first
    COLORREF Rgb(int x, int y) const
    {
        const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        return RGB(p[0], p[1], p[2]);
    }
    uint8_t Alpha(int x, int y) const { return rgba[(size_t(y) * width + x) * 4 + 3]; }
};

// Reads any PNG as 8-bit RGBA without colour conversion (16-bit samples scaled with rounding);
// false when it cannot be read.
inline bool ReadPngRgba(const std::string& path, CRgbaImage& out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(f);
        return false;
    }
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_scale_16(png);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out.width = static_cast<int>(png_get_image_width(png, info));
    out.height = static_cast<int>(png_get_image_height(png, info));
    out.rgba.assign(size_t(out.width) * out.height * 4, 0);
    rows.resize(size_t(out.height));
    for (int y = 0; y < out.height; ++y)
        rows[size_t(y)] = out.rgba.data() + size_t(y) * out.width * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

inline std::string TestDataDir() { return SMRA_TESTDATA_DIR; }

inline std::string ScratchDir(const std::string& name)
{
    const std::filesystem::path p = std::filesystem::path(SMRA_TEST_TMPDIR) / name;
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p.string();
}

inline std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// A w x h test picture whose every pixel differs from its neighbours.
inline COLORREF Pattern(int x, int y) { return RGB(x * 7 + y, y * 5 + 3 * x, (x ^ y) * 11); }

inline CPixelArray PatternPixels(int w, int h)
{
    CPixelArray p;
    p.SetSize(int64_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[int64_t(y) * w + x] = Pattern(x, y);
    return p;
}

// A BMP file with a 40-byte header. pixelRows holds the stored rows (file order, each already
// padded to the stride); palette entries are COLORREFs written as blue, green, red, 0.
inline std::vector<uint8_t> MakeBmp(int w, int h, int bits, uint32_t compression,
                                    const std::vector<COLORREF>& palette,
                                    const std::vector<uint8_t>& pixelData,
                                    const std::vector<uint32_t>& masks = {})
{
    const size_t headerEnd = 54 + masks.size() * 4;
    const size_t dataOffset = headerEnd + palette.size() * 4;
    std::vector<uint8_t> b(dataOffset, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 10, uint32_t(dataOffset));
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(w));
    Put32(b, 22, uint32_t(h));
    Put16(b, 26, 1);
    Put16(b, 28, uint32_t(bits));
    Put32(b, 30, compression);
    Put32(b, 38, 2835);
    Put32(b, 42, 2835);
    Put32(b, 46, uint32_t(palette.size()));
    for (size_t i = 0; i < masks.size(); ++i)
        Put32(b, 54 + 4 * i, masks[i]);
    for (size_t i = 0; i < palette.size(); ++i) {
        b[headerEnd + 4 * i] = uint8_t(GetBValue(palette[i]));
        b[headerEnd + 4 * i + 1] = uint8_t(GetGValue(palette[i]));
        b[headerEnd + 4 * i + 2] = uint8_t(GetRValue(palette[i]));
    }
    b.insert(b.end(), pixelData.begin(), pixelData.end());
    Put32(b, 2, uint32_t(b.size()));
    return b;
}

// The pixel data of a 24-bit image, bottom-up unless topDown, rows padded to 4 bytes.
inline std::vector<uint8_t> Rows24(const CPixelArray& p, int w, int h, bool topDown = false)
{
    const size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> d(stride * size_t(h), 0);
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        for (int x = 0; x < w; ++x) {
            const COLORREF c = p[int64_t(y) * w + x];
            uint8_t* q = &d[size_t(r) * stride + size_t(x) * 3];
            q[0] = uint8_t(GetBValue(c));
            q[1] = uint8_t(GetGValue(c));
            q[2] = uint8_t(GetRValue(c));
        }
    }
    return d;
}

} // namespace bmptest

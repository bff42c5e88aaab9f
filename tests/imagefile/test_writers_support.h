// Shared fixtures for the JPEG, TIFF and PNG writer tests: temporary paths, a synthetic
// photo-like picture, PNM references, a libjpeg reference decoder and PSNR.
#pragma once

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "imagefile/pixel_array.h"

namespace writers_test {

inline std::vector<uint32_t> ToVector(const CPixelArray& p)
{
    return std::vector<uint32_t>(p.GetData(), p.GetData() + p.GetSize());
}

inline CPixelArray ToPixelArray(const std::vector<uint32_t>& v)
{
    CPixelArray p;
    p.SetSize(static_cast<std::ptrdiff_t>(v.size()));
    std::copy(v.begin(), v.end(), p.GetData());
    return p;
}

inline std::string TempPath(const std::string& name)
{
    std::filesystem::create_directories(SMRA_TEST_TMPDIR);
    return std::string(SMRA_TEST_TMPDIR) + "/" + name;
}

inline std::string TestData(const std::string& rel)
{
    return std::string(SMRA_TESTDATA_DIR) + "/" + rel;
}

inline bool HaveTestData(const std::string& rel)
{
    return std::filesystem::exists(TestData(rel));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A deterministic photo-like picture (0x00BBGGRR): smooth gradients, fine texture, hard
// edges and a little noise, so that every frequency band of the encoder is exercised.
inline std::vector<uint32_t> SyntheticPhoto(int w, int h, uint32_t seed = 1)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    uint32_t state = seed * 2654435761u + 12345u;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            double noise = ((state >> 24) & 0x0F) - 7.5;
            double fx = static_cast<double>(x) / w;
            double fy = static_cast<double>(y) / h;
            double r = 40 + 160 * fx + 30 * std::sin(x * 0.21) * std::cos(y * 0.13) + noise;
            double g = 60 + 120 * fy + 25 * std::sin((x + y) * 0.05) + noise;
            double b = 200 - 150 * fx * fy + noise;
            if ((x / 23 + y / 17) % 5 == 0) {
                r = 250 - r / 4;
                g = 30;
            }
            auto clamp8 = [](double v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            px[static_cast<size_t>(y) * w + x] = clamp8(r) | (clamp8(g) << 8) | (clamp8(b) << 16);
        }
    }
    return px;
}

// Hands `px` (w x h) to a started writer strip by strip, in reverse order when asked, as full
// 16-row arrays whose rows below the picture hold a poison colour that must never show; then
// ends the write. Returns EndWrite's answer, or -1 (after ending with failure) when a strip is
// refused.
template <class Writer>
int PutStripsAndEnd(Writer& writer, const std::vector<uint32_t>& px, int w, int h, bool reverse = false)
{
    const int strips = (h + 15) / 16;
    std::vector<uint32_t> strip(static_cast<size_t>(w) * 16);
    for (int k = 0; k < strips; ++k) {
        const int n = reverse ? strips - 1 - k : k;
        std::fill(strip.begin(), strip.end(), 0x00FF00FFu);
        const int rows = std::min(16, h - 16 * n);
        std::copy_n(px.begin() + static_cast<std::ptrdiff_t>(16) * n * w, static_cast<size_t>(rows) * w,
                    strip.begin());
        if (writer.WriteStrip(strip.data(), strip.size(), n) != 1) {
            writer.EndWrite(-1);
            return -1;
        }
    }
    return writer.EndWrite(1);
}

// Reads a binary PPM (P6) or PGM (P5) with maxval 255 into 0x00BBGGRR pixels.
inline bool ReadPnm(const std::string& path, std::vector<uint32_t>& px, int& w, int& h)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    if (!in || (magic != "P6" && magic != "P5") || maxval != 255)
        return false;
    int channels = magic == "P6" ? 3 : 1;
    std::vector<uint8_t> raw(static_cast<size_t>(w) * h * channels);
    in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (!in)
        return false;
    px.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < px.size(); ++i) {
        if (channels == 3)
            px[i] = raw[3 * i] | (raw[3 * i + 1] << 8) | (raw[3 * i + 2] << 16);
        else
            px[i] = raw[i] * 0x010101u;
    }
    return true;
}

struct JpegErrorJump {
    jpeg_error_mgr pub;
    jmp_buf jump;
    int warnings;
};

inline void JpegErrorExit(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->jump, 1);
}

inline void JpegMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++reinterpret_cast<JpegErrorJump*>(cinfo->err)->warnings;
}

// Decodes a JPEG file with libjpeg (accurate integer IDCT, fancy up-sampling) into
// 0x00BBGGRR pixels. Plain data only between setjmp and longjmp. Returns false on an error;
// `warnings` counts the corrupt-data warnings libjpeg raised.
inline bool DecodeWithLibjpeg(const char* path, std::vector<uint32_t>* px, int* w, int* h,
                              int* warnings)
{
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr)
        return false;
    jpeg_decompress_struct cinfo;
    JpegErrorJump err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.emit_message = JpegMessage;
    err.warnings = 0;
    unsigned char* row = nullptr;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        std::free(row);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    *w = static_cast<int>(cinfo.output_width);
    *h = static_cast<int>(cinfo.output_height);
    px->assign(static_cast<size_t>(*w) * *h, 0);
    row = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(*w) * 3));
    while (cinfo.output_scanline < cinfo.output_height) {
        int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (int x = 0; x < *w; ++x)
            (*px)[static_cast<size_t>(y) * *w + x] =
                row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    std::free(row);
    *warnings = err.warnings;
    return true;
}

// PSNR in dB over the three channels of two equally sized pictures.
inline double Psnr(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int s = 0; s < 24; s += 8) {
            double d = static_cast<double>((a[i] >> s) & 0xFF) - static_cast<double>((b[i] >> s) & 0xFF);
            sum += d * d;
        }
    }
    double mse = sum / (3.0 * static_cast<double>(a.size()));
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Largest channel difference between two equally sized pictures.
inline int MaxChannelDiff(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int s = 0; s < 24; s += 8)
            worst = std::max(worst, std::abs(static_cast<int>((a[i] >> s) & 0xFF) -
                                             static_cast<int>((b[i] >> s) & 0xFF)));
    return worst;
}

}  // namespace writers_test

// The photo the benchmarks share: libjpeg-turbo's decode of a file, and a photo-like
// 24-megapixel JPEG made once from the test data (kept in the temporary folder).
#pragma once

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace bench {

// libjpeg-turbo's decode of a file into 4-byte pixels (as ours), accurate integer transform,
// its default smooth up-sampling; scale 1 or 8. The decoded width and height go to w and h
// when given.
inline bool LibDecode(const std::string& path, int scale, std::vector<uint8_t>& out, int* w = nullptr, int* h = nullptr)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_stdio_src(&c, f);
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_RGBX;
    c.dct_method = JDCT_ISLOW;
    c.scale_num = 1;
    c.scale_denom = static_cast<unsigned>(scale);
    jpeg_start_decompress(&c);
    const size_t stride = static_cast<size_t>(c.output_width) * 4;
    out.resize(stride * c.output_height);
    while (c.output_scanline < c.output_height) {
        JSAMPROW rows[16];
        for (int i = 0; i < 16; ++i)
            rows[i] = out.data() + std::min<size_t>(c.output_scanline + i, c.output_height - 1) * stride;
        jpeg_read_scanlines(&c, rows, 16);
    }
    if (w && h) {
        *w = static_cast<int>(c.output_width);
        *h = static_cast<int>(c.output_height);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    std::fclose(f);
    return true;
}

// A photo-like 6000 x 4000 picture: the flower test photo enlarged smoothly, with sensor-like
// noise; a synthetic scene when the test data is absent. Encoded 4:2:0 at quality 90.
inline std::string MakePhoto()
{
    const int w = 6000, h = 4000;
    std::vector<uint8_t> src;
    int sw = 0, sh = 0;
    const std::string flower = std::string(SMRA_TESTDATA_DIR) + "/libjxl-jpeg-variants/flower.png.im_q85_444.jpg";
    if (std::filesystem::exists(flower))
        LibDecode(flower, 1, src, &sw, &sh);
    std::vector<uint8_t> img(static_cast<size_t>(w) * h * 3);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &img[(static_cast<size_t>(y) * w + x) * 3];
            for (int k = 0; k < 3; ++k) {
                double v;
                if (sw > 0) {
                    const double fx = x * (sw - 1.0) / (w - 1.0), fy = y * (sh - 1.0) / (h - 1.0);
                    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
                    const int x1 = std::min(x0 + 1, sw - 1), y1 = std::min(y0 + 1, sh - 1);
                    const double ax = fx - x0, ay = fy - y0;
                    auto at = [&](int xx, int yy) { return src[(static_cast<size_t>(yy) * sw + xx) * 4 + k]; };
                    v = (at(x0, y0) * (1 - ax) + at(x1, y0) * ax) * (1 - ay) + (at(x0, y1) * (1 - ax) + at(x1, y1) * ax) * ay;
                } else {
                    v = 128 + 90 * std::sin(x * 0.004 + k) * std::cos(y * 0.003) + 20 * std::sin((x + y) * 0.05);
                }
                p[k] = static_cast<uint8_t>(std::clamp(v + noise(rng), 0.0, 255.0));
            }
        }
    const std::string path = (std::filesystem::temp_directory_path() / "bench_jpeg_decode_24mp.jpg").string();
    FILE* f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = &img[static_cast<size_t>(c.next_scanline) * w * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return path;
}

} // namespace bench

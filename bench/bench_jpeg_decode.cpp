// JPEG decode speed: our reader against libjpeg-turbo on the same 24-megapixel 4:2:0 photo,
// at full size and at one eighth (the thumbnail read), in the same run, runs interleaved.
// Prints the median times and the ratios ours / libjpeg-turbo.
//   bench_jpeg_decode [photo.jpg]   (default: a 6000 x 4000 photo made from the test data)
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "imagefile/jpeg_decoder.h"
#include "imagefile/jpeg_picture_read.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// libjpeg-turbo's decode of a file into 4-byte pixels (as ours), accurate integer transform,
// its default smooth up-sampling; scale 1 or 8. The decoded width and height go to w and h
// when given.
bool LibDecode(const std::string& path, int scale, std::vector<uint8_t>& out, int* w = nullptr, int* h = nullptr)
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
std::string MakePhoto()
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

// Our full-size decode on one thread (the entropy decoding and the reconstruction in turn).
bool OursSingleThread(const std::string& path, std::vector<COLORREF>& out)
{
    CFileByteSource src;
    if (!src.Open(path))
        return false;
    CJpegDecoder dec(src);
    if (dec.ParseMarkers(3) < 1 || dec.SelectSamplingLayout() < 1 || dec.PrepareDecoding() < 1)
        return false;
    out.resize(static_cast<size_t>(dec.Width()) * dec.Height());
    return dec.DecodeScaled(out.data(), 1, nullptr, 0) == 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : MakePhoto();
    const CRect r = JpegGetImageRect(path);
    if (r.IsRectEmpty()) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const int w = r.Width(), h = r.Height();
    std::printf("%s: %d x %d, %lld bytes; %u hardware threads\n", path.c_str(), w, h,
                static_cast<long long>(std::filesystem::file_size(path)), std::thread::hardware_concurrency());

    CPixelArray pixels;
    CPixelArray thumb;
    std::vector<uint8_t> lib, libThumb;
    std::vector<COLORREF> single;
    std::vector<double> tOurs, tLib, tOurs8, tLib8, tSingle;
    const int runs = 9;
    for (int i = 0; i < runs + 1; ++i) {
        auto t0 = Clock::now();
        CSize size(w, h);
        if (JpegReadImage(path, pixels, size, CRect()) != 1)
            return 1;
        auto t1 = Clock::now();
        LibDecode(path, 1, lib);
        auto t2 = Clock::now();
        CSize small(w / 8, h / 8);
        if (JpegReadImage(path, thumb, small, CRect()) != 1)
            return 1;
        auto t3 = Clock::now();
        LibDecode(path, 8, libThumb);
        auto t4 = Clock::now();
        OursSingleThread(path, single);
        auto t5 = Clock::now();
        if (i == 0)
            continue; // first round: buffers and caches warm up
        tOurs.push_back(Ms(t0, t1));
        tLib.push_back(Ms(t1, t2));
        tOurs8.push_back(Ms(t2, t3));
        tLib8.push_back(Ms(t3, t4));
        tSingle.push_back(Ms(t4, t5));
    }
    const double ours = Median(tOurs), theirs = Median(tLib);
    const double ours8 = Median(tOurs8), theirs8 = Median(tLib8), one = Median(tSingle);
    std::printf("full size:   ours %.1f ms, libjpeg-turbo %.1f ms, ratio %.2f\n", ours, theirs, ours / theirs);
    std::printf("one thread:  ours %.1f ms, ratio %.2f\n", one, one / theirs);
    std::printf("one eighth:  ours %.1f ms, libjpeg-turbo %.1f ms, ratio %.2f\n", ours8, theirs8, ours8 / theirs8);
    return 0;
}

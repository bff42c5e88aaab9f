// Writer benchmarks: our JPEG encoder against libjpeg-turbo with the same quantisation tables
// (so the quality is the same by construction), and PNG and TIFF write throughput for a
// 100-megapixel panorama handed over in strips of 16 rows. Prints times and ratios.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "imagefile/jpeg_encoder.h"
#include "imagefile/png_codec.h"
#include "imagefile/tiff_codec.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Photo-like test picture: gradients, texture, edges, noise.
std::vector<uint32_t> MakePicture(int w, int h)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    uint32_t s = 17;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            int n = static_cast<int>((s >> 24) & 15) - 8;
            int r = std::clamp(40 + 180 * x / w + static_cast<int>(30 * std::sin(x * 0.05)) + n, 0, 255);
            int g = std::clamp(60 + 150 * y / h + static_cast<int>(25 * std::cos((x + y) * 0.02)) + n, 0, 255);
            int b = std::clamp(200 - 120 * x / w + ((x / 40 + y / 30) % 4 == 0 ? 50 : 0) + n, 0, 255);
            px[static_cast<size_t>(y) * w + x] = r | (g << 8) | (b << 16);
        }
    return px;
}

size_t FileSize(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    std::fclose(f);
    return n < 0 ? 0 : static_cast<size_t>(n);
}

double EncodeOurs(const std::string& path, const std::vector<uint32_t>& px, int w, int h, int quality,
                  uint8_t lum[64], uint8_t chrom[64])
{
    CJpegEncoder enc;
    auto t0 = Clock::now();
    if (enc.BeginWrite(path, w, h, 96, quality) != 1)
        return -1;
    std::vector<uint32_t> strip(static_cast<size_t>(w) * 16);
    for (int n = 0; 16 * n < h; ++n) {
        int rows = std::min(16, h - 16 * n);
        std::copy_n(px.begin() + static_cast<ptrdiff_t>(16) * n * w, static_cast<size_t>(rows) * w, strip.begin());
        enc.WriteStrip(strip.data(), strip.size(), n);
    }
    enc.EndWrite(1);
    auto t1 = Clock::now();
    std::copy_n(enc.LuminanceTable(), 64, lum);
    std::copy_n(enc.ChrominanceTable(), 64, chrom);
    return Seconds(t0, t1);
}

// libjpeg-turbo with 4:2:0, baseline Huffman tables and our quantisation tables.
double EncodeLibjpeg(const std::string& path, const std::vector<uint32_t>& px, int w, int h,
                     const uint8_t lum[64], const uint8_t chrom[64])
{
    static const int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                     12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                     35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                     58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    unsigned lumNat[64], chromNat[64];
    for (int k = 0; k < 64; ++k) {
        lumNat[kNatural[k]] = lum[k];
        chromNat[kNatural[k]] = chrom[k];
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * 3 * 16);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return -1;
    auto t0 = Clock::now();
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_add_quant_table(&cinfo, 0, lumNat, 100, TRUE);
    jpeg_add_quant_table(&cinfo, 1, chromNat, 100, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    for (int y0 = 0; y0 < h; y0 += 16) {
        int rows = std::min(16, h - y0);
        JSAMPROW rowp[16];
        for (int r = 0; r < rows; ++r) {
            const uint32_t* src = px.data() + static_cast<size_t>(y0 + r) * w;
            uint8_t* d = rgb.data() + static_cast<size_t>(r) * w * 3;
            for (int x = 0; x < w; ++x) {
                d[3 * x] = static_cast<uint8_t>(src[x]);
                d[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
                d[3 * x + 2] = static_cast<uint8_t>(src[x] >> 16);
            }
            rowp[r] = d;
        }
        jpeg_write_scanlines(&cinfo, rowp, static_cast<JDIMENSION>(rows));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
    return Seconds(t0, Clock::now());
}

// Writes a w x h panorama in strips through one of our writers. The strips cycle through a
// bank of photo-like rows made beforehand, so that only the writer is timed.
template <typename Begin, typename Put, typename End>
double WritePanorama(int w, int h, Begin begin, Put put, End end)
{
    const int bankStrips = 12;
    std::vector<uint32_t> bank = MakePicture(w, 16 * bankStrips);
    std::vector<uint32_t> strip(static_cast<size_t>(w) * 16);
    auto t0 = Clock::now();
    if (begin() != 1)
        return -1;
    for (int n = 0; 16 * n < h; ++n) {
        std::copy_n(bank.begin() + static_cast<ptrdiff_t>(n % bankStrips) * 16 * w, strip.size(), strip.begin());
        if (put(strip, n) != 1)
            return -1;
    }
    if (end() != 1)
        return -1;
    return Seconds(t0, Clock::now());
}

// PSNR of a JPEG file decoded by libjpeg against the source picture.
double DecodedPsnr(const std::string& path, const std::vector<uint32_t>& px)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    std::vector<uint8_t> row(cinfo.output_width * 3);
    double sum = 0;
    size_t i = 0;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&cinfo, &r, 1);
        for (JDIMENSION x = 0; x < cinfo.output_width; ++x, ++i)
            for (int c = 0; c < 3; ++c) {
                double d = row[3 * x + c] - static_cast<double>((px[i] >> (8 * c)) & 0xFF);
                sum += d * d;
            }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return 10 * std::log10(255.0 * 255.0 / (sum / (3.0 * px.size())));
}

}  // namespace

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : "/tmp";
    const int w = 4000, h = 3000;
    std::vector<uint32_t> px = MakePicture(w, h);
    std::printf("JPEG encode, %d x %d (%.1f MP), 4:2:0, same quantisation tables\n", w, h, w * h / 1e6);
    std::printf("quality  ours(s)  libjpeg-turbo(s)  ratio  ours(bytes)  turbo(bytes)  ours(dB)  turbo(dB)\n");
    for (int q : {10, 3, 1}) {
        uint8_t lum[64], chrom[64];

        double best = 1e9, bestRef = 1e9;
        for (int rep = 0; rep < 3; ++rep) {
            best = std::min(best, EncodeOurs(dir + "/bench_ours.jpg", px, w, h, q, lum, chrom));
            bestRef = std::min(bestRef, EncodeLibjpeg(dir + "/bench_turbo.jpg", px, w, h, lum, chrom));
        }
        std::printf("%7d  %7.3f  %16.3f  %5.2f  %11zu  %12zu  %8.2f  %9.2f\n", q, best, bestRef,
                    best / bestRef, FileSize(dir + "/bench_ours.jpg"), FileSize(dir + "/bench_turbo.jpg"),
                    DecodedPsnr(dir + "/bench_ours.jpg", px), DecodedPsnr(dir + "/bench_turbo.jpg", px));
    }
    std::remove((dir + "/bench_ours.jpg").c_str());
    std::remove((dir + "/bench_turbo.jpg").c_str());

    const int pw = 20000, ph = 5000;
    std::printf("\nPanorama %d x %d (%.0f MP) written in strips of 16 rows\n", pw, ph, pw * double(ph) / 1e6);
    std::string tif = dir + "/bench_pano.tif";
    std::string png = dir + "/bench_pano.png";
    CTiffCodec& tiff = TiffCodec();
    double tt = WritePanorama(
        pw, ph, [&] { return tiff.BeginWrite(tif, pw, ph, 300); },
        [&](const std::vector<uint32_t>& s, int n) { return tiff.WriteStrip(s.data(), s.size(), n); },
        [&] { return tiff.EndWrite(1); });
    std::printf("TIFF: %.2f s, %.1f MP/s, %zu bytes\n", tt, pw * double(ph) / 1e6 / tt, FileSize(tif));
    CPngCodec& pngc = PngCodec();
    double tp = WritePanorama(
        pw, ph, [&] { return pngc.BeginWrite(png, pw, ph); },
        [&](const std::vector<uint32_t>& s, int n) { return pngc.WriteStrip(s.data(), s.size(), n); },
        [&] { return pngc.EndWrite(1); });
    std::printf("PNG:  %.2f s, %.1f MP/s, %zu bytes\n", tp, pw * double(ph) / 1e6 / tp, FileSize(png));
    std::remove(tif.c_str());
    std::remove(png.c_str());
    return 0;
}

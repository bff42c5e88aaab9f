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

#include "bench/bench_photo.h"
#include "imagefile/jpeg_decoder.h"
#include "imagefile/jpeg_picture_read.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::LibDecode;
using bench::MakePhoto;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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

// What a picture costs the fit before any matching: its contrast levels, its feature grid
// (preparation and weights) and its thumbnail, against reading the same 24-megapixel JPEG
// at full size. Runs interleaved; prints the median times and the ratio preparation / read.
//   bench_fit_preparation [photo.jpg]   (default: a 6000 x 4000 photo made from the test data)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_photo.h"
#include "imagefile/bitmap.h"
#include "imagefile/image_file.h"
#include "picset/kpic.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : bench::MakePhoto();
    const CRect r = GetImageFileRect(path);
    if (r.IsRectEmpty()) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::printf("%s: %d x %d; %u hardware threads\n", path.c_str(), r.Width(), r.Height(),
                std::thread::hardware_concurrency());

    std::vector<double> tRead, tLevels, tFeatures, tThumb, tAll;
    const int runs = 7;
    for (int i = 0; i < runs + 1; ++i) {
        CKpic k;
        k.m_PictureRect = r;
        auto t0 = Clock::now();
        CSize size(r.Width(), r.Height());
        if (LoadImageFile(path, k.Pixels, size, CRect()) <= 0)
            return 1;
        auto t1 = Clock::now();
        if (k.BuildColourLevels() != 1)
            return 1;
        auto t2 = Clock::now();
        k.EnsureReady();
        k.BuildFeatureGrid();
        auto t3 = Clock::now();
        CDrawContext dc(32);
        k.BuildThumbnail(32, dc);
        auto t4 = Clock::now();
        if (k.FeaturesReady != 1 || k.Thumbnail.IsNull())
            return 1;
        if (i == 0)
            continue; // first round: buffers and caches warm up
        tRead.push_back(Ms(t0, t1));
        tLevels.push_back(Ms(t1, t2));
        tFeatures.push_back(Ms(t2, t3));
        tThumb.push_back(Ms(t3, t4));
        tAll.push_back(Ms(t1, t4));
    }
    const double read = Median(tRead), all = Median(tAll);
    std::printf("read (JPEG decode) %.1f ms\n", read);
    std::printf("contrast levels    %.1f ms\n", Median(tLevels));
    std::printf("feature grid       %.1f ms\n", Median(tFeatures));
    std::printf("thumbnail          %.1f ms\n", Median(tThumb));
    std::printf("preparation        %.1f ms, ratio preparation / read %.3f\n", all, all / read);
    return 0;
}

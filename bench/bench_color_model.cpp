// Colour correction of a 24-megapixel picture as the document applies it after each load:
// plain correction (luminance curve and chroma shifts) and selective correction by both
// luminance and chroma.
#include "imagefile/pixel_array.h"
#include "picset/color_model.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kW = 6000;
constexpr int kH = 4000;

CPixelArray Picture()
{
    CPixelArray a;
    a.SetSize(int64_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            a[int64_t(y) * kW + x] = RGB(x * 3 + y, y * 5, x ^ y);
    return a;
}

void Correct(benchmark::State& state, int mode)
{
    const CPixelArray src = Picture();
    CColorModel m;
    m.dY = 12.0;
    m.dCb = -3.0;
    m.dCr = 5.0;
    m.mode = mode;
    CPixelArray dst;
    for (auto _ : state) {
        m.ApplyToArrayCopy(src, dst);
        benchmark::DoNotOptimize(dst.GetData());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}

void BM_PlainCorrection(benchmark::State& state) { Correct(state, 0); }
void BM_SelectiveCorrection(benchmark::State& state) { Correct(state, 3); }

} // namespace

BENCHMARK(BM_PlainCorrection)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectiveCorrection)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

// The per-pixel geometry of rendering: inverse output projections over a raster of plane
// points, and the lens table's undistort/distort lookups.
#include <benchmark/benchmark.h>

#include <cmath>

#include "engine/geometry/lens_table.h"
#include "engine/geometry/projections.h"

namespace {

constexpr double Focal = 3000.0;
constexpr int Side = 256;

void BM_Unproject(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    ResetProjectionReference(0);
    for (auto _ : state) {
        double sum = 0.0;
        for (int y = 0; y < Side; ++y) {
            for (int x = 0; x < Side; ++x) {
                const CDPoint q{(x - Side / 2) * 10.0, (y - Side / 2) * 10.0};
                const CDPoint d = UnprojectPlanePoint(code, q, Focal);
                sum += d.x + d.y;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * Side * Side);
}
BENCHMARK(BM_Unproject)->Arg(11)->Arg(13)->Arg(21)->Arg(22)->Arg(23)->Arg(31)->Arg(32)->Arg(34);

void BM_Project(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    ResetProjectionReference(0);
    for (auto _ : state) {
        double sum = 0.0;
        for (int y = 0; y < Side; ++y) {
            for (int x = 0; x < Side; ++x) {
                const CDPoint d{(x - Side / 2) * 0.004, (y - Side / 2) * 0.004};
                const CDPoint q = ProjectDirection(code, d, Focal);
                sum += q.x + q.y;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * Side * Side);
}
BENCHMARK(BM_Project)->Arg(11)->Arg(21)->Arg(23)->Arg(32);

void BM_LensLookup(benchmark::State& state)
{
    LensTable table;
    table.SetReference(0.0, 2500.0);
    table.Build(-0.02, 2500.0);
    const double s = 1.0 / 2500.0;
    for (auto _ : state) {
        double sum = 0.0;
        for (int y = 0; y < Side; ++y) {
            for (int x = 0; x < Side; ++x) {
                const CDPoint p{(x - Side / 2) * 15.0, (y - Side / 2) * 15.0};
                const CDPoint q = table.Distort(table.Undistort(p, s), s);
                sum += q.x + q.y;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * Side * Side);
}
BENCHMARK(BM_LensLookup);

} // namespace

BENCHMARK_MAIN();

// The per-pixel geometry of rendering: inverse output projections over a raster of plane
// points, the lens table's undistort/distort lookups, and a picture's sphere-to-pixel chain.
#include <benchmark/benchmark.h>

#include <cmath>

#include "geometry/lens_table.h"
#include "geometry/projections.h"
#include "picset/kpic.h"

namespace {

constexpr double Focal = 3000.0;
constexpr int Side = 256;

// Runs step over a Side x Side raster of points centred on the origin, spacing apart, and sums
// the coordinates of its results so that nothing is optimised away.
template <typename Step>
void RunOverRaster(benchmark::State& state, double spacing, Step step)
{
    for (auto _ : state) {
        double sum = 0.0;
        for (int y = 0; y < Side; ++y) {
            for (int x = 0; x < Side; ++x) {
                const CDPoint r = step(CDPoint{(x - Side / 2) * spacing, (y - Side / 2) * spacing});
                sum += r.x + r.y;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * Side * Side);
}

void BM_Unproject(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    ResetProjectionReference(0);
    RunOverRaster(state, 10.0, [code](CDPoint q) { return UnprojectPlanePoint(code, q, Focal); });
}
BENCHMARK(BM_Unproject)->Arg(11)->Arg(13)->Arg(21)->Arg(22)->Arg(23)->Arg(31)->Arg(32)->Arg(34);

void BM_Project(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    ResetProjectionReference(0);
    RunOverRaster(state, 0.004, [code](CDPoint d) { return ProjectDirection(code, d, Focal); });
}
BENCHMARK(BM_Project)->Arg(11)->Arg(21)->Arg(23)->Arg(32);

void BM_LensLookup(benchmark::State& state)
{
    LensTable table;
    table.SetReference(0.0, 2500.0);
    table.Build(-0.02, 2500.0);
    const double s = 1.0 / 2500.0;
    RunOverRaster(state, 15.0, [&table, s](CDPoint p) { return table.Distort(table.Undistort(p, s), s); });
}
BENCHMARK(BM_LensLookup);

// What the renderer does per output pixel and picture: output plane -> direction -> camera
// plane -> picture pixel, with a built lens table.
void BM_PlaneToPicturePixel(benchmark::State& state)
{
    GetLensTable().SetReference(0.0, 2500.0);
    GetLensTable().Build(-0.02, 2500.0);
    CKpic picture;
    picture.m_PictureRect = CRect(0, 0, 4000, 3000);
    picture.m_OpticalCentre = {1999.5, 1499.5};
    picture.m_Focal = Focal;
    picture.m_Direction = {0.2, 0.1};
    picture.m_Roll = 0.05;
    picture.m_LensScale = 1.0 / 2500.0;
    RunOverRaster(state, 10.0, [&picture](CDPoint q) {
        return picture.SphereToPixel(UnprojectPlanePoint(PROJ_CYLINDRICAL, q, Focal));
    });
}
BENCHMARK(BM_PlaneToPicturePixel);

} // namespace

BENCHMARK_MAIN();

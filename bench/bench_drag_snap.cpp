// One drag step over a placed partner: the 128 x 128 preview sampled every scale-th output
// pixel and the snap search by colour windows, on two 24-megapixel pictures (6000 x 4000,
// 60 degrees across) that overlap by half. The drag point lies a few grid cells off the true
// place, so that the search has to climb to the match. Counter "snapped" is 1 when the step
// ended in a snap. A second benchmark drags the picture from 8 search cells off to its true
// place, one cell per mouse move, with the candidates carried from move to move as in a real
// drag; it reports the mean and the slowest step.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "geometry/lens_table.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr double Focal = 5196.152422706632; // 60 degrees across

// Smooth random texture of coloured blobs, the same on every run.
void FillTexture(CPixelArray& pixels, uint32_t seed)
{
    pixels.SetSize(static_cast<std::ptrdiff_t>(Width) * Height);
    uint32_t s = seed;
    auto next = [&s] { return s = s * 1664525u + 1013904223u; };
    int grid[64][48][3];
    for (auto& column : grid)
        for (auto& cell : column)
            for (int& c : cell)
                c = static_cast<int>(next() >> 24);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const auto& c = grid[(x / 97) % 64][(y / 89) % 48];
            const int ripple = ((x * 7 + y * 3) / 13) % 32;
            pixels[static_cast<std::ptrdiff_t>(y) * Width + x] = RGB((c[0] + ripple) & 0xFF, (c[1] + x / 50) & 0xFF, c[2]);
        }
}

CKpic* AddPicture(CMcCore& set, const std::string& name, double yaw)
{
    auto k = std::make_unique<CKpic>();
    k->m_Path = "/bench/" + name + ".jpg";
    k->m_PictureRect = CRect(0, 0, Width, Height);
    k->m_Focal = k->m_DefaultFocal = Focal;
    k->m_LensFocal = -1.0;
    k->m_Direction = CDPoint(yaw, 0.0);
    k->m_OpticalCentre = CDPoint((Width - 1) * 0.5, (Height - 1) * 0.5);
    k->m_Status = 3;
    set.m_Pictures.push_back(std::move(k));
    return set.m_Pictures.back().get();
}

struct DragScene {
    CMcCore set;
    CKpic* moved = nullptr;
    CPoint grab;
    CPoint truePlace;

    DragScene()
    {
        LensTable& table = GetLensTable();
        table.Reset();
        table.SetReference(1.0, 3605.0);
        table.Build(0.0, 0.95);
        set.m_CommonFocal = Focal;
        CKpic* base = AddPicture(set, "base", 0.0);
        moved = AddPicture(set, "moved", 0.5);
        // The same scene seen by both: the moved picture's pixels are the base's where they overlap.
        FillTexture(base->Pixels, 7);
        moved->Pixels.SetSize(static_cast<std::ptrdiff_t>(Width) * Height);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const CPoint p = base->SphereToPixelPoint(moved->PixelPointToSphere(x, y));
                moved->Pixels[static_cast<std::ptrdiff_t>(y) * Width + x] =
                    base->m_PictureRect.PtInRect(p) ? base->Pixels[static_cast<std::ptrdiff_t>(p.y) * Width + p.x] : 0x808080;
            }
        set.SortPlacedFirst();
        grab = CPoint(Width / 5, Height / 2);
        truePlace = set.SphereToPixel(moved->PixelPointToSphere(grab.x, grab.y));
    }

    int Step(CPixelArray& preview, int& mode, CPoint drag, int scale)
    {
        LabeledPoint request;
        request.Set(moved->m_Path, grab.x, grab.y);
        request.v2 = mode;
        const int r = set.DragPicture(request, preview, &drag, scale);
        mode = request.v2;
        benchmark::DoNotOptimize(drag);
        return r;
    }
};

void BM_DragStep(benchmark::State& state)
{
    const int scale = static_cast<int>(state.range(0));
    DragScene scene;
    CPixelArray preview;
    preview.SetSize(128 * 128);
    int snapped = 0;
    for (auto _ : state) {
        int mode = 0;
        const CPoint drag(scene.truePlace.x + 3 * scale, scene.truePlace.y - 2 * scale);
        snapped = scene.Step(preview, mode, drag, scale) == 0x100 ? 1 : 0;
    }
    state.counters["snapped"] = snapped;
}
BENCHMARK(BM_DragStep)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_DragPath(benchmark::State& state)
{
    const int scale = static_cast<int>(state.range(0));
    DragScene scene;
    CPixelArray preview;
    preview.SetSize(128 * 128);
    constexpr int Cells = 8;
    double slowest = 0.0;
    int snaps = 0;
    for (auto _ : state) {
        int mode = 0;
        snaps = 0;
        for (int step = Cells; step >= 0; --step) {
            const CPoint drag(scene.truePlace.x - step * scale, scene.truePlace.y - step * scale);
            const auto start = std::chrono::steady_clock::now();
            snaps += scene.Step(preview, mode, drag, scale) == 0x100 ? 1 : 0;
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            slowest = std::max(slowest, took.count());
        }
    }
    state.SetItemsProcessed(state.iterations() * (Cells + 1));
    state.counters["slowest_step_ms"] = slowest;
    state.counters["snaps"] = snaps;
}
BENCHMARK(BM_DragPath)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

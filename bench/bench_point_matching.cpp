// Matching one control point: filling the sample and reference grids through both pictures'
// geometry and walking the offsets, for a coarse-then-fine match (steps 2 and 0.5) and for the
// four-step refinement (steps 8, 4, 2, 1). On two neighbouring 800 x 600 synthetic views, and on
// the same views enlarged to 6000 x 4500 (27 megapixels) with the focal scaled alike.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>

#include "imagefile/image_file.h"
#include "picset/mccore.h"

namespace {

const std::string kViews = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3/";
constexpr double kViewFocal = 692.820323;  // 60 degrees across 800 pixels
constexpr double kRingStep = 30.0 * 3.14159265358979 / 180.0;

bool Load(const std::string& file, CPixelArray& pixels)
{
    CSize size(800, 600);
    return LoadImageFile(kViews + file, pixels, size, CRect(0, 0, 0, 0)) > 0;
}

// Bilinear enlargement by an integer-free factor.
void Enlarge(const CPixelArray& src, int w, int h, double f, CPixelArray& dst, int& W, int& H)
{
    W = static_cast<int>(w * f);
    H = static_cast<int>(h * f);
    dst.SetSize(static_cast<std::ptrdiff_t>(W) * H);
    for (int y = 0; y < H; ++y) {
        const double sy = std::min((y + 0.5) / f - 0.5, h - 1.001);
        const int y0 = std::max(0, static_cast<int>(sy));
        const double fy = std::max(0.0, sy - y0);
        for (int x = 0; x < W; ++x) {
            const double sx = std::min((x + 0.5) / f - 0.5, w - 1.001);
            const int x0 = std::max(0, static_cast<int>(sx));
            const double fx = std::max(0.0, sx - x0);
            const COLORREF* p = src.GetData() + static_cast<std::ptrdiff_t>(y0) * w + x0;
            int c[3];
            for (int k = 0; k < 3; ++k) {
                auto ch = [&](COLORREF v) { return static_cast<double>((v >> (8 * k)) & 0xFF); };
                const double top = ch(p[0]) * (1 - fx) + ch(p[1]) * fx;
                const double bottom = ch(p[w]) * (1 - fx) + ch(p[w + 1]) * fx;
                c[k] = static_cast<int>(top * (1 - fy) + bottom * fy + 0.5);
            }
            dst[static_cast<std::ptrdiff_t>(y) * W + x] = RGB(c[0], c[1], c[2]);
        }
    }
}

struct CPair {
    CMcCore core;
    CKpic* a = nullptr;
    CKpic* b = nullptr;
    CDPoint truth;
};

CKpic* AddPicture(CMcCore& core, CPixelArray& pixels, int w, int h, double focal, double yaw)
{
    auto k = std::make_unique<CKpic>();
    k->m_PictureRect = CRect(0, 0, w, h);
    k->m_Focal = focal;
    k->m_OpticalCentre = CDPoint(w / 2.0 - 0.5, h / 2.0 - 0.5);
    k->m_Direction = CDPoint(yaw, 0.0);
    k->m_Status = 3;
    k->Pixels.Swap(pixels);
    core.m_Pictures.push_back(std::move(k));
    return core.m_Pictures.back().get();
}

// Views 0 and 1 of the ring at the given enlargement, tied by one point on the houses.
std::unique_ptr<CPair> MakePair(double scale)
{
    CPixelArray p0, p1;
    if (!Load("rhein3_v00.jpg", p0) || !Load("rhein3_v01.jpg", p1))
        return nullptr;
    auto pair = std::make_unique<CPair>();
    int w = 800, h = 600;
    if (scale != 1.0) {
        CPixelArray e0, e1;
        Enlarge(p0, 800, 600, scale, e0, w, h);
        Enlarge(p1, 800, 600, scale, e1, w, h);
        p0.Swap(e0);
        p1.Swap(e1);
    }
    pair->core.m_CommonFocal = kViewFocal * scale;
    pair->a = AddPicture(pair->core, p0, w, h, kViewFocal * scale, 0.0);
    pair->b = AddPicture(pair->core, p1, w, h, kViewFocal * scale, kRingStep);
    const CDPoint pa(600.0 * scale, 290.0 * scale);
    pair->truth = pair->b->SphereToPixel(pair->a->PixelToSphere(pa));
    ControlPoint cp;
    cp.kind = 1;
    cp.state = 3;
    cp.pointId = 1;
    cp.position = pa;
    pair->a->m_Points[0] = cp;
    pair->b->m_Points[0] = cp;
    return pair;
}

CPair* Pair(double scale)
{
    static std::unique_ptr<CPair> small = MakePair(1.0);
    static std::unique_ptr<CPair> large;
    if (scale == 1.0)
        return small.get();
    if (!large)
        large = MakePair(scale);
    return large.get();
}

void Reset(CPair& p)
{
    p.b->m_Points[0].position = p.truth + CDPoint(4.0, -3.0);
    p.b->m_Points[0].state = 3;
}

void BM_MatchCoarseFine(benchmark::State& state)
{
    CPair* p = Pair(state.range(0) == 0 ? 1.0 : 7.5);
    if (!p) {
        state.SkipWithError("no synthetic views");
        return;
    }
    int ok = 0;
    for (auto _ : state) {
        Reset(*p);
        ok += p->core.MatchControlPoint(p->b, 0, 2.0, 8) == 1 && p->core.MatchControlPoint(p->b, 0, 0.5, 8) == 1;
    }
    state.counters["matched"] = benchmark::Counter(ok, benchmark::Counter::kAvgIterations);
    state.SetLabel(state.range(0) == 0 ? "800x600" : "6000x4500");
}

void BM_RefinePointPosition(benchmark::State& state)
{
    CPair* p = Pair(state.range(0) == 0 ? 1.0 : 7.5);
    if (!p) {
        state.SkipWithError("no synthetic views");
        return;
    }
    int ok = 0;
    for (auto _ : state) {
        Reset(*p);
        ok += p->core.RefinePointPosition(p->b, 0) == 1;
    }
    state.counters["matched"] = benchmark::Counter(ok, benchmark::Counter::kAvgIterations);
    state.SetLabel(state.range(0) == 0 ? "800x600" : "6000x4500");
}

// The grid fill alone (the sample through both pictures' geometry, the reference, the contrast
// match) at the fine step: the part of a match that does not depend on the content.
void BM_FillGrids(benchmark::State& state)
{
    CPair* p = Pair(state.range(0) == 0 ? 1.0 : 7.5);
    if (!p) {
        state.SkipWithError("no synthetic views");
        return;
    }
    Reset(*p);
    for (auto _ : state)
        benchmark::DoNotOptimize(p->core.SearchMatchWindow(p->a, p->b, p->a->m_Points[0].position, p->b->m_Points[0].position, 0.5));
    state.SetLabel(state.range(0) == 0 ? "800x600" : "6000x4500");
}

BENCHMARK(BM_FillGrids)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchCoarseFine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefinePointPosition)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

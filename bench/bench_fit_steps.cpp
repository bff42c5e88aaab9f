// The searches over values the whole picture set shares, on pinhole views with exact point
// links: the common-focal search on 24 views from 3 % off, and the quality-priority lens search
// (radius parameter, distortion and, nested in it, the focal search) on 10 views. Counters give
// the number of focal evaluations and the error of the result.
//
// The 24 views follow the layout of the synthetic view set: a 12-view ring, 6 views above at
// 35 degrees, 4 below, and two at 15 degrees rolled by 8 degrees; 800 x 600 pixels, 60 degrees
// across.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "geometry/lens_table.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"

namespace {

constexpr double TrueFocal = 692.820323027551;
constexpr double Degree = EnginePi / 180.0;

struct Pose {
    double yaw, pitch, roll;
};

// A fitted 800 x 600 picture at the pose, optical centre in the middle.
CKpic* AddPicture(CMcCore& set, const Pose& p)
{
    auto k = std::make_unique<CKpic>();
    k->m_Path = "/views/" + std::to_string(set.GetPictureCount()) + ".jpg";
    k->m_PictureRect = CRect(0, 0, 800, 600);
    k->m_Focal = k->m_DefaultFocal = TrueFocal;
    k->m_LensFocal = -1.0;
    k->m_Direction = CDPoint(p.yaw, p.pitch);
    k->m_Roll = p.roll;
    k->m_OpticalCentre = CDPoint(399.5, 299.5);
    k->m_Status = 3;
    set.m_Pictures.push_back(std::move(k));
    return set.m_Pictures.back().get();
}

// Up to `wanted` exact links (one id, kind 1, state 3) from a 5 x 5 grid of a's pixels to the
// pixels where b sees the same directions, 50 pixels inside both.
void Link(CKpic* a, CKpic* b, int wanted, int32_t* id)
{
    for (int g = 0; g < 25 && wanted > 0; ++g) {
        const CDPoint pa(50.0 + 175.0 * (g % 5), 50.0 + 125.0 * (g / 5));
        const CDPoint d = a->PixelToSphere(pa);
        const CDPoint pb = b->SphereToPixel(d);
        if (SphericalDistance(d, b->m_Direction) > 1.2 || !(pb.x > 50 && pb.x < 750 && pb.y > 50 && pb.y < 550))
            continue;
        const int sa = a->FindFreePoint(), sb = b->FindFreePoint();
        if (a->m_Points[sa].IsUsed() || b->m_Points[sb].IsUsed())
            return;
        for (auto [k, slot, p] : {std::tuple{a, sa, pa}, std::tuple{b, sb, pb}})
            k->m_Points[slot] = ControlPoint{1, 3, p, CDPoint(), *id, d};
        ++*id;
        --wanted;
    }
    a->RefreshControlPoints();
    b->RefreshControlPoints();
}

std::vector<Pose> Layout(int count)
{
    std::vector<Pose> all;
    for (int i = 0; i < 12; ++i)
        all.push_back({NormalizeAngle(i * 30.0 * Degree), 0.0, 0.0});
    for (int i = 0; i < 6; ++i)
        all.push_back({NormalizeAngle((15.0 + 60.0 * i) * Degree), -35.0 * Degree, 0.0});
    for (int i = 0; i < 4; ++i)
        all.push_back({NormalizeAngle((45.0 + 90.0 * i) * Degree), 35.0 * Degree, 0.0});
    all.push_back({0.0, -15.0 * Degree, 8.0 * Degree});
    all.push_back({EnginePi, -15.0 * Degree, -8.0 * Degree});
    all.resize(static_cast<std::size_t>(count));
    return all;
}

// The views linked to every earlier view they overlap, all fitted, at `factor` x the true focal.
void BuildSet(CMcCore& set, int count, double factor)
{
    LensTable& table = GetLensTable();
    table.Reset();
    table.SetReference(1.0, 500.0);
    table.Build(0.0, 0.95);
    set.m_Distortion = 0.0;
    int32_t id = 1;
    for (const Pose& p : Layout(count)) {
        CKpic* k = AddPicture(set, p);
        for (std::size_t i = 0; i + 1 < set.m_Pictures.size(); ++i)
            Link(set.m_Pictures[i].get(), k, 5, &id);
    }
    for (const auto& k : set.m_Pictures)
        k->m_Focal = TrueFocal * factor;
    set.m_CommonFocal = TrueFocal * factor;
    set.SortPlacedFirst();
}

void BM_SearchCommonFocal24(benchmark::State& state)
{
    double error = 0.0;
    int64_t scores = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CMcCore set;
        BuildSet(set, 24, 1.03);
        state.ResumeTiming();
        set.SearchCommonFocal();
        error = (set.m_CommonFocal - TrueFocal) / TrueFocal * 100.0;
        scores = set.m_FocalScoreCount;
    }
    state.counters["focal_error_pct"] = error;
    state.counters["focal_scores"] = static_cast<double>(scores);
}
BENCHMARK(BM_SearchCommonFocal24)->Unit(benchmark::kMillisecond);

void BM_LensSearchQuality10(benchmark::State& state)
{
    double k = 0.0;
    double radius = 0.0;
    double error = 0.0;
    int64_t scores = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CMcCore set;
        // The views as a lens with k = -0.02 records them, searched from no distortion.
        LensTable& table = GetLensTable();
        table.Reset();
        table.SetReference(1.0, 500.0);
        table.Build(-0.02, 0.95);
        int32_t id = 1;
        for (const Pose& p : Layout(10)) {
            CKpic* kp = AddPicture(set, p);
            for (std::size_t i = 0; i + 1 < set.m_Pictures.size(); ++i)
                Link(set.m_Pictures[i].get(), kp, 5, &id);
        }
        set.m_CommonFocal = TrueFocal;
        set.m_Distortion = 0.0;
        set.m_LensModelFactor = 0.95;
        set.m_FitPriority = 2;
        set.SortPlacedFirst();
        table.Reset();
        table.Build(0.0, 0.95);
        state.ResumeTiming();
        set.SearchLensRadius();
        k = set.m_Distortion;
        radius = set.m_LensModelFactor;
        error = (set.m_CommonFocal - TrueFocal) / TrueFocal * 100.0;
        scores = set.m_FocalScoreCount;
    }
    state.counters["k"] = k;
    state.counters["radius"] = radius;
    state.counters["focal_error_pct"] = error;
    state.counters["focal_scores"] = static_cast<double>(scores);
}
BENCHMARK(BM_LensSearchQuality10)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();

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
#include <vector>

#include "picset/mccore.h"
#include "tests/engine/fit_set_fixture.h"

using namespace fit_fixture;

namespace {

constexpr double TrueFocal = 692.820323027551;

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
    UseIdentityLens();
    set.m_Distortion = 0.0;
    int32_t id = 1;
    for (const Pose& p : Layout(count)) {
        CKpic* k = AddPicture(set, "v" + std::to_string(set.GetPictureCount()), p, TrueFocal);
        for (std::size_t i = 0; i + 1 < set.m_Pictures.size(); ++i)
            LinkPictures(set.m_Pictures[i].get(), k, 5, &id);
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
            CKpic* kp = AddPicture(set, "v" + std::to_string(set.GetPictureCount()), p, TrueFocal);
            for (std::size_t i = 0; i + 1 < set.m_Pictures.size(); ++i)
                LinkPictures(set.m_Pictures[i].get(), kp, 5, &id);
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

// Accuracy of a fitted project against camera truth: for every picture the directions its
// sample pixels see are compared with the true ones, after one rotation of the whole set that
// fits best (no timings here; this prints figures for the fit bench).
//
//   bench_fit_accuracy PROJECT.fit TRUTH.json
//
// The truth file lists per view its file name and a grid of (u, v, longitude, latitude) in
// degrees; directions are unit vectors (cos lat sin lon, -sin lat, cos lat cos lon). The
// engine's latitude grows downward, the truth's upward.
#include <algorithm>
#include <array>
#include <memory>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/sphere.h"
#include "picset/host_document.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "geometry/rotation_fit.h"
#include "truth_file.h"

namespace {

using namespace rotation_fit;
using truthfile::BaseName;
using truthfile::Degrees;
using truthfile::ReadTruth;
using truthfile::Sample;

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_fit_accuracy PROJECT.fit TRUTH.json\n");
        return 2;
    }
    double trueFocal = 0.0;
    const auto truth = ReadTruth(argv[2], trueFocal);
    CMcHost host;
    ProjectFileResult opened;
    std::unique_ptr<CMcCore> core = OpenProjectFile(argv[1], &host, &opened);
    if (!core) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<Vec> est, tru;
    std::vector<std::pair<CKpic*, const std::vector<Sample>*>> used;
    for (const auto& p : core->m_Pictures) {
        const auto it = truth.find(BaseName(p->m_Path));
        if (it == truth.end() || p->m_Status < 3)
            continue;
        used.emplace_back(p.get(), &it->second);
        for (const Sample& s : it->second) {
            const CDPoint d = p->PixelToSphere(CDPoint(s.u, s.v));
            est.push_back(Direction(d.x, -d.y));
            tru.push_back(s.truth);
        }
    }
    if (used.empty()) {
        std::fprintf(stderr, "no fitted picture has truth\n");
        return 1;
    }
    const Mat g = BestRotation(est, tru);
    double worst = 0.0;
    std::printf("%-18s %12s %12s\n", "picture", "camera_deg", "sample_max_deg");
    for (const auto& [pic, samples] : used) {
        std::vector<Vec> a, b;
        double sampleMax = 0.0;
        for (const Sample& s : *samples) {
            const CDPoint d = pic->PixelToSphere(CDPoint(s.u, s.v));
            const Vec v = Apply(g, Direction(d.x, -d.y));
            a.push_back(v);
            b.push_back(s.truth);
            const double dot = std::clamp(v[0] * s.truth[0] + v[1] * s.truth[1] + v[2] * s.truth[2], -1.0, 1.0);
            sampleMax = std::max(sampleMax, std::acos(dot));
        }
        const double camera = AngleOf(BestRotation(a, b));
        worst = std::max(worst, camera);
        std::printf("%-18s %12.4f %12.4f\n", BaseName(pic->m_Path).c_str(), Degrees(camera), Degrees(sampleMax));
    }
    std::printf("worst camera %.4f deg; common focal %.3f, truth %.3f, error %+.3f %%\n", Degrees(worst),
                core->GetCommonFocal(), trueFocal, 100.0 * (core->GetCommonFocal() / trueFocal - 1.0));
    // Links: every two fitted pictures in neighbouring cells of the layout. A link's error is the
    // rotation between the two pictures against the true one, whatever the whole set's rotation
    // (a plain fit may drift over a long row; no picture may be misplaced against its neighbour).
    double worstLink = 0.0;
    std::string worstPair;
    for (const auto& [a, sa] : used)
        for (const auto& [b, sb] : used) {
            const CPoint d(b->m_LayoutCell.x - a->m_LayoutCell.x, b->m_LayoutCell.y - a->m_LayoutCell.y);
            if (!((d.x == 1 && d.y == 0) || (d.x == 0 && d.y == 1)))
                continue;
            std::vector<Vec> eb, tb, ea, ta;
            for (const Sample& s : *sb) {
                const CDPoint q = b->PixelToSphere(CDPoint(s.u, s.v));
                eb.push_back(Direction(q.x, -q.y));
                tb.push_back(s.truth);
            }
            const Mat rb = BestRotation(eb, tb);
            for (const Sample& s : *sa) {
                const CDPoint q = a->PixelToSphere(CDPoint(s.u, s.v));
                ea.push_back(Apply(rb, Direction(q.x, -q.y)));
                ta.push_back(s.truth);
            }
            const double link = AngleOf(BestRotation(ea, ta));
            if (link >= worstLink) {
                worstLink = link;
                worstPair = BaseName(a->m_Path) + " - " + BaseName(b->m_Path);
            }
        }
    std::printf("fitted %zu of %zu; worst neighbour link %.4f deg (%s)\n", used.size(), core->m_Pictures.size(),
                Degrees(worstLink), worstPair.c_str());
    // The row-closing pair: the same point seen at both ends of the row, one turn apart.
    CKpic* ends[2] = {nullptr, nullptr};
    int slots[2] = {-1, -1};
    for (const auto& p : core->m_Pictures) {
        const int k = p->FindPointStateM6();
        if (k < 0)
            continue;
        const int which = ends[0] ? 1 : 0;
        if (which == 1 && ends[1])
            continue;
        ends[which] = p.get();
        slots[which] = k;
    }
    if (ends[0] && ends[1]) {
        const CDPoint a = ends[0]->PixelToSphere(ends[0]->m_Points[size_t(slots[0])].position);
        const CDPoint b = ends[1]->PixelToSphere(ends[1]->m_Points[size_t(slots[1])].position);
        // Longitudes run on past a full turn or not, as the row was laid: the nearest full turn.
        double turn = std::fabs(a.x - b.x);
        turn += EngineTwoPi * std::round((EngineTwoPi - turn) / EngineTwoPi);
        std::printf("ring closure: longitudes differ by %.6f rad (miss of a full turn %+.6f), latitudes by %+.6f\n",
                    turn, turn - EngineTwoPi, a.y - b.y);
    }
    return 0;
}

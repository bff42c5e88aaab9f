// Traces the automatic fit step by step against camera truth: runs Fit (or Fit around 360
// degrees) on an unfitted project as the fit tool does, and every time the engine reports to its
// host (a picture placed, a fit pass begun or ended, the fit changed) prints where the pictures
// stand against the truth at that moment. No timings; figures for the fit accuracy notes.
//
//   bench_fit_stage_trace PROJECT.fit TRUTH.json [--around-360] [--quality-priority] [--quiet]
//                         [--distortion K] [--extra-closes N] [--tries] [--no-lens-data]
//
// --no-lens-data (experiment) treats every picture as having no focal from its photo.
// --tries also prints the focal values at the start and end of every picture's try. A project
// without truth (real photos: give any file as TRUTH.json) is traced by its focal values alone.
//
// Two experiments that are not the program's behaviour: --distortion K fits with another lens
// distortion coefficient than the project's, and --extra-closes N runs the row-closing step N
// more times after the fit, to see where it converges.
//
// Per placed picture: the partner it most likely sits beside (the placed neighbour cell, the
// row wrapping round), the yaw step between the two picture centres against the true step, the
// error of the picture's rotation relative to the partner (after aligning the partner with its
// truth), and the focal values. Per event: the worst camera error over all placed pictures after
// one rotation of the whole set, the common focal's error, and the row-closing pair's miss.
// Pictures the initial row search left at status 2 are measured at the orientation that search
// measured (kept as their best orientation), not at the provisional one.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/status_codes.h"
#include "engine/fit/lens_model.h"
#include "geometry/rotation_fit.h"
#include "geometry/sphere.h"
#include "picset/headless_document.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "truth_file.h"

namespace {

using namespace rotation_fit;
using truthfile::BaseName;
using truthfile::Sample;

// The true centre direction of every view, radians (latitude up).
std::map<std::string, CDPoint> g_centres;

std::map<std::string, std::vector<Sample>> ReadTruth(const std::string& path, double& focal)
{
    return truthfile::ReadTruth(path, focal, &g_centres);
}

double Deg(double r) { return truthfile::Degrees(r); }

double Wrap(double a)
{
    while (a > EnginePi)
        a -= EngineTwoPi;
    while (a <= -EnginePi)
        a += EngineTwoPi;
    return a;
}

// Measures the set against the truth whenever the engine reports to its host.
class CTraceHost : public CMcHost {
public:
    CTraceHost(const std::map<std::string, std::vector<Sample>>& truth, double trueFocal, bool quiet, bool tries)
        : m_truth(truth), m_trueFocal(trueFocal), m_quiet(quiet), m_tries(tries)
    {
    }
    void SetCore(CMcCore* core) { m_core = core; }

    int AskQuestion(const std::string& number, int, const std::string&, const std::string&) override
    {
        std::printf("  [question %s answered 1]\n", number.c_str());
        return 1;
    }
    void ShowMessage(const std::string& number, int, const std::string&, const std::string&) override
    {
        std::printf("  [message %s]\n", number.c_str());
    }
    void ShowStatus(int, const std::string& number, const std::string&, const std::string&) override
    {
        if (number == MessageNumberText(kMsgAchievingFitness))
            Event("fit pass begins", nullptr);
        else if (number == MessageNumberText(kMsgReady65))
            Event("fit pass ends", nullptr);
    }
    // The try of one picture beside a partner: what it starts from and what it leaves.
    void BeginStep(const std::string&, const std::string&, const std::string&, const std::string& path) override
    {
        m_trying = m_core ? m_core->FindPictureByPath(path) : nullptr;
        if (m_tries && m_trying)
        {
            int fitted = 0;
            for (const auto& q : m_core->m_Pictures)
                fitted += q->m_Status >= 3 ? 1 : 0;
            std::printf("      try %s: base focal %.2f, common focal %.2f, fitted count %d (pictures fitted %d)\n",
                        BaseName(path).c_str(), m_core->GetFirstPicture()->m_Focal, m_core->GetCommonFocal(),
                        m_core->m_FittedCount, fitted);
        }
    }
    void EndStep() override
    {
        if (m_tries && m_trying)
            std::printf("      tried %s: focal %.2f, fitted points %d, fit score %.3f; base focal %.2f (default %.2f), "
                        "common focal %.2f\n",
                        BaseName(m_trying->m_Path).c_str(), m_trying->m_Focal, m_trying->CountFittedPoints(),
                        m_trying->m_FitScore, m_core->GetFirstPicture()->m_Focal,
                        m_core->GetFirstPicture()->m_DefaultFocal, m_core->GetCommonFocal());
        m_trying = nullptr;
    }
    // The row driver places the first picture right after its initial search.
    void OnPlacementChanged(int) override
    {
        if (m_tries && m_core)
            std::printf("      placement set: common focal %.2f, first picture's focal %.2f (default %.2f)\n",
                        m_core->GetCommonFocal(), m_core->GetFirstPicture()->m_Focal,
                        m_core->GetFirstPicture()->m_DefaultFocal);
    }
    void ShowViewMessage(int kind, const std::string& text) override
    {
        if (!m_core)
            return;
        CKpic* p = m_core->FindPictureByPath(text);
        if (kind == 0 && p) {
            m_order[p] = ++m_placements;
            Event(FitMode >= 3 ? "placed (row walk)" : FitMode >= 2 ? "measured (initial row search)" : "placed",
                  p);
        } else if (kind == 5 && p) {
            m_order[p] = ++m_placements;
        }
    }
    int UpdateAllViews(const void*, int hint, const std::string*) override
    {
        if (hint == HINT_FIT_CHANGED)
            Event("fit changed", nullptr);
        return 1;
    }

    void Final(const char* what = "end of the fit") { Event(what, nullptr, true); }

private:
    // The orientation to measure: a picture the initial row search measured carries that
    // measurement as its best orientation.
    struct Pose {
        CDPoint direction;
        double roll, focal;
    };
    Pose Take(CKpic* p) const { return {p->m_Direction, p->m_Roll, p->m_Focal}; }
    void Put(CKpic* p, const Pose& pose) const
    {
        p->m_Direction = pose.direction;
        p->m_Roll = pose.roll;
        p->m_Focal = pose.focal;
    }
    bool Measured(CKpic* p) const { return p->m_Status == 2 && FitMode >= 2; }

    // Sample directions of a picture as placed now, truth frame (latitude up).
    std::vector<Vec> Estimated(CKpic* p, const std::vector<Sample>& s) const
    {
        Pose keep = Take(p);
        if (Measured(p))
            Put(p, {p->m_BestDirection, p->m_BestRoll, p->m_BestFocal});
        std::vector<Vec> out;
        for (const Sample& x : s) {
            const CDPoint d = p->PixelToSphere(CDPoint(x.u, x.v));
            out.push_back(Direction(d.x, -d.y));
        }
        Put(p, keep);
        return out;
    }
    CDPoint Centre(CKpic* p) const
    {
        Pose keep = Take(p);
        if (Measured(p))
            Put(p, {p->m_BestDirection, p->m_BestRoll, p->m_BestFocal});
        const CDPoint d = p->PixelToSphere(CDPoint(p->Width() / 2.0, p->Height() / 2.0));
        Put(p, keep);
        return d;
    }
    const std::vector<Sample>* TruthOf(CKpic* p) const
    {
        const auto it = m_truth.find(BaseName(p->m_Path));
        return it == m_truth.end() ? nullptr : &it->second;
    }
    static CDPoint TrueCentre(CKpic* p) { return g_centres[BaseName(p->m_Path)]; }
    bool Placed(CKpic* p) const { return p->m_Status >= 3 || Measured(p); }

    // The placed neighbour the picture was most likely fitted beside: among the horizontal
    // neighbours (the home row wraps round) and then the vertical ones, the one placed last
    // before it.
    CKpic* Partner(CKpic* p) const
    {
        const auto self = m_order.find(p);
        const int mine = self == m_order.end() ? 1 << 30 : self->second;
        int minX = 1 << 30, maxX = -(1 << 30);
        for (const auto& q : m_core->m_Pictures)
            if (q->m_LayoutCell.y == 0) {
                minX = std::min(minX, q->m_LayoutCell.x);
                maxX = std::max(maxX, q->m_LayoutCell.x);
            }
        CKpic* best = nullptr;
        int bestOrder = -1;
        auto consider = [&](CPoint cell, bool wrapRow) {
            for (const auto& q : m_core->m_Pictures) {
                CPoint c = q->m_LayoutCell;
                bool match = c == cell;
                if (!match && wrapRow && c.y == cell.y && cell.y == 0 && maxX > minX) {
                    const int span = maxX - minX + 1;
                    match = ((c.x - minX) % span + span) % span == ((cell.x - minX) % span + span) % span;
                }
                if (!match || q.get() == p || !Placed(q.get()))
                    continue;
                const auto it = m_order.find(q.get());
                const int o = it == m_order.end() ? -1 : it->second;
                if (o < mine && o > bestOrder) {
                    best = q.get();
                    bestOrder = o;
                }
            }
        };
        const CPoint c = p->m_LayoutCell;
        consider(CPoint(c.x - 1, c.y), true);
        consider(CPoint(c.x + 1, c.y), true);
        if (!best) {
            consider(CPoint(c.x, c.y - 1), false);
            consider(CPoint(c.x, c.y + 1), false);
        }
        return best;
    }

    void Event(const char* what, CKpic* picture, bool table = false)
    {
        if (!m_core)
            return;
        ++m_events;
        std::vector<Vec> est, tru;
        std::vector<CKpic*> placed;
        int placedCount = 0;
        for (const auto& q : m_core->m_Pictures) {
            const auto* s = TruthOf(q.get());
            if (!Placed(q.get()))
                continue;
            ++placedCount;
            if (!s)
                continue;
            placed.push_back(q.get());
            const auto e = Estimated(q.get(), *s);
            est.insert(est.end(), e.begin(), e.end());
            for (const Sample& x : *s)
                tru.push_back(x.truth);
        }
        double worst = 0.0;
        std::string worstName = "-";
        std::vector<std::pair<CKpic*, double>> cameras;
        if (placed.size() >= 2) {
            const Mat g = BestRotation(est, tru);
            for (CKpic* q : placed) {
                std::vector<Vec> a;
                for (const Vec& v : Estimated(q, *TruthOf(q)))
                    a.push_back(Apply(g, v));
                std::vector<Vec> b;
                for (const Sample& x : *TruthOf(q))
                    b.push_back(x.truth);
                const double c = AngleOf(BestRotation(a, b));
                cameras.emplace_back(q, c);
                if (c > worst) {
                    worst = c;
                    worstName = BaseName(q->m_Path);
                }
            }
        }
        const double common = m_core->GetCommonFocal();
        const double error = m_trueFocal > 0.0 ? 100.0 * (common / m_trueFocal - 1.0) : 0.0;
        std::printf("#%-3d %-30s fitted %2d  common focal %8.2f (%+7.3f %%)  worst camera %7.4f deg (%s)%s\n", m_events,
                    what, placedCount, common, error, Deg(worst), worstName.c_str(), Closure().c_str());
        if (picture && TruthOf(picture) && !m_quiet)
            PairLine(picture);
        if (table)
            for (const auto& [q, c] : cameras) {
                const CDPoint ce = Centre(q);
                std::printf("      %-16s camera %7.4f deg  focal %8.2f  yaw %9.3f pitch %7.3f roll %7.3f  points %d  "
                            "score %.3f\n",
                            BaseName(q->m_Path).c_str(), Deg(c), q->m_Focal, Deg(ce.x), Deg(ce.y), Deg(q->m_Roll),
                            q->CountFittedPoints(), q->m_FitScore);
            }
        if (table && !cameras.empty()) {
            CKpic* q = cameras.front().first;
            const CDPoint left = q->PixelToPlane(CDPoint(0.0, q->Height() / 2.0));
            const CDPoint right = q->PixelToPlane(CDPoint(q->Width(), q->Height() / 2.0));
            std::printf("      geometry of %s: optical centre (%.2f, %.2f), lens scale %.4f, plane x of the left and "
                        "right edges %.3f %.3f\n",
                        BaseName(q->m_Path).c_str(), q->m_OpticalCentre.x, q->m_OpticalCentre.y, q->m_LensScale,
                        left.x, right.x);
        }
    }

    // Where the row-closing pair stands: the longitudes of the point seen at both ends.
    std::string Closure() const
    {
        CKpic* ends[2] = {nullptr, nullptr};
        int slots[2] = {-1, -1};
        for (const auto& q : m_core->m_Pictures) {
            const int k = q->FindPointStateM6();
            if (k < 0 || ends[1])
                continue;
            const int which = ends[0] ? 1 : 0;
            ends[which] = q.get();
            slots[which] = k;
        }
        if (!ends[0] || !ends[1])
            return std::string();
        const CDPoint a = ends[0]->PixelToSphere(ends[0]->m_Points[size_t(slots[0])].position);
        const CDPoint b = ends[1]->PixelToSphere(ends[1]->m_Points[size_t(slots[1])].position);
        char buf[96];
        std::snprintf(buf, sizeof buf, "  closure miss %+.5f rad", std::fabs(a.x - b.x) - EngineTwoPi);
        return buf;
    }

    void PairLine(CKpic* p)
    {
        CKpic* partner = Partner(p);
        const auto* sp = TruthOf(p);
        if (!partner || !TruthOf(partner)) {
            std::printf("      %-16s (no placed partner)  focal %.2f\n", BaseName(p->m_Path).c_str(), p->m_Focal);
            return;
        }
        const auto* sq = TruthOf(partner);
        // Relative error: the partner aligned with its truth, the picture carried along.
        std::vector<Vec> qe = Estimated(partner, *sq), qt;
        for (const Sample& x : *sq)
            qt.push_back(x.truth);
        const Mat g = BestRotation(qe, qt);
        std::vector<Vec> pe, pt;
        double sampleMax = 0.0;
        for (const Vec& v : Estimated(p, *sp))
            pe.push_back(Apply(g, v));
        for (size_t i = 0; i < sp->size(); ++i) {
            pt.push_back((*sp)[i].truth);
            const Vec& a = pe[i];
            const Vec& b = pt[i];
            sampleMax = std::max(sampleMax, std::acos(std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0)));
        }
        const double rel = AngleOf(BestRotation(pe, pt));
        const CDPoint ce = Centre(p), cq = Centre(partner);
        const CDPoint te = TrueCentre(p), tq = TrueCentre(partner);
        const double stepEst = Wrap(ce.x - cq.x), stepTrue = Wrap(te.x - tq.x);
        const double dpEst = -(ce.y - cq.y), dpTrue = te.y - tq.y;
        std::printf("      %-16s beside %-16s yaw step %8.4f (truth %8.4f, %+7.4f) pitch step %+7.4f (truth %+7.4f)  "
                    "relative error %7.4f deg, sample max %7.4f  focal %8.2f  points %d  score %.3f\n",
                    BaseName(p->m_Path).c_str(), BaseName(partner->m_Path).c_str(), Deg(stepEst), Deg(stepTrue),
                    Deg(stepEst - stepTrue), Deg(dpEst), Deg(dpTrue), Deg(rel), Deg(sampleMax),
                    Measured(p) ? p->m_BestFocal : p->m_Focal, p->CountFittedPoints(), p->m_FitScore);
    }

    const std::map<std::string, std::vector<Sample>>& m_truth;
    double m_trueFocal;
    bool m_quiet;
    bool m_tries;
    CMcCore* m_core = nullptr;
    CKpic* m_trying = nullptr;
    std::map<CKpic*, int> m_order;
    int m_events = 0;
    int m_placements = 0;
};

} // namespace

int main(int argc, char** argv)
{
    auto usage = []() {
        std::fprintf(stderr, "usage: bench_fit_stage_trace PROJECT.fit TRUTH.json [--around-360] [--quality-priority]\n"
                             "           [--quiet] [--distortion K] [--extra-closes N] [--tries] [--no-lens-data]\n");
        return 2;
    };
    if (argc < 3)
        return usage();
    bool around = false, quality = false, quiet = false, tries = false, noLensData = false;
    int extraCloses = 0;
    const char* distortion = nullptr;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--around-360")
            around = true;
        else if (a == "--quality-priority")
            quality = true;
        else if (a == "--quiet")
            quiet = true;
        else if (a == "--tries")
            tries = true;
        else if (a == "--no-lens-data")
            noLensData = true;
        else if (a == "--distortion" && i + 1 < argc)
            distortion = argv[++i];
        else if (a == "--extra-closes" && i + 1 < argc)
            extraCloses = std::atoi(argv[++i]);
        else
            return usage();
    }
    double trueFocal = 0.0;
    const auto truth = ReadTruth(argv[2], trueFocal);
    SetEngineModeFlags();
    CHeadlessDocument document;
    CTraceHost host(truth, trueFocal, quiet, tries);
    host.SetDocument(&document);
    ProjectFileResult opened;
    std::unique_ptr<CMcCore> core = OpenProjectFile(argv[1], &host, &opened);
    if (!core) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    document.SetCore(core.get());
    host.SetCore(core.get());
    core->m_FitPriority = quality ? 2 : 1;
    // Experiment: another lens distortion coefficient than the project's (the views are
    // distortion-free pinhole pictures).
    if (distortion) {
        core->m_Distortion = std::atof(distortion);
        RebuildLensTable(core->m_Distortion, core->m_LensModelFactor);
        std::printf("lens distortion coefficient set to %g (radius parameter %g)\n", core->m_Distortion,
                    core->m_LensModelFactor);
    }
    // Experiment: pictures as if their photos carried no focal length (lens from the size alone),
    // so that Fit around 360 derives the focal from the columns and the measured turn.
    if (noLensData) {
        for (const auto& p : core->m_Pictures)
            p->m_LensSource = 0;
        std::printf("lens data ignored: every picture's lens source is 0\n");
    }
    FitMode = around ? 2 : -2;
    const int result = core->RunAutoFit();
    FitMode = -2;
    host.Final();
    std::printf("fit result %d\n", result);
    // Experiment, not the program's behaviour: close the row again with the pictures now at the
    // common focal, to see whether the closing step converges when it is repeated.
    for (int i = 0; i < extraCloses; ++i) {
        FitMode = 3;
        const int r = core->Close360Loop();
        FitMode = -2;
        char what[64];
        std::snprintf(what, sizeof what, "closing repeated (%d, result %d)", i + 1, r);
        host.Final(what);
    }
    return 0;
}

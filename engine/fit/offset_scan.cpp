// The offset scan: a reference pixel of the picture being placed (B) is aimed at many pixels of
// a search window in its fitted partner (A), and each trial is scored by the colour difference
// of the overlap. A coarse grid on the sixteenth-size levels is followed by finer scans on the
// quarter-size levels and at full size, with roll scans between them. The survivors are kept
// in short candidate lists sorted by score (lower is better).
//
// Coordinates: pixels of A or B as named (x right, y down); directions on the sphere are
// (longitude, latitude) in radians.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <vector>

#include "common/status_codes.h"
#include "engine/fit/fit_candidates.h"
#include "engine/fit/strided_cells.h"
#include "engine/fit/trial_pool.h"
#include "geometry/sphere.h"
#include "picset/kpic.h"
#include "picset/mccore.h"

namespace {

// Squared RGB distance of two colours, -1 when either is too dark or too bright.
int SampleDistance(COLORREF a, COLORREF b)
{
    CRgbSum s;
    s.SetColour(a);
    return s.ColourDistance(GetRValue(b), GetGValue(b), GetBValue(b), 1);
}

// Scan settings chosen once per scan from the fit flavour and the layout.
struct ScanSettings {
    double rollWeight = 1.0;   // P
    double pitchWeight = 1.0;  // Q
    int bonus = 0;             // extra list capacity
    bool pitchPenalty = false;
};

ScanSettings ChooseSettings(const CRect& layout, const CKpic* b, CPoint p)
{
    ScanSettings s;
    const bool longRow = layout.Height() < 2 && layout.Width() > 14;
    if (FitMode < 1) {
        if (longRow)
            s.rollWeight = s.pitchWeight = 10.0;
    } else if (FitMode < 3) {
        s.rollWeight = 5.0;
        s.bonus = 5;
    } else {
        s.rollWeight = longRow ? 200.0 : 20.0;
        s.pitchWeight = longRow ? 200.0 : 10.0;
        s.bonus = 5;
    }
    const int h = b->Height();
    s.pitchPenalty = FitMode >= 1 && std::fabs(b->m_Roll) < 0.05 && p.y > 0.3 * h && p.y < 0.7 * h;
    return s;
}

double WithPitchPenalty(const ScanSettings& s, const CKpic* a, double pitchB, double score)
{
    if (!s.pitchPenalty)
        return score;
    return score + std::fabs(a->Pitch() - pitchB) * s.pitchWeight * score;
}

// Keeps a window inside a picture rectangle; a window of no size stays a point (or a line) so
// that it still gives one trial.
CRect ClipWindow(CRect r, const CRect& limit)
{
    r.left = std::clamp(r.left, limit.left, limit.right - 1);
    r.right = std::clamp(r.right, limit.left, limit.right - 1);
    r.top = std::clamp(r.top, limit.top, limit.bottom - 1);
    r.bottom = std::clamp(r.bottom, limit.top, limit.bottom - 1);
    return r;
}

// The part of B's state a trial changes: where it looks, its roll and its focal.
struct Pose {
    CDPoint direction;
    double roll = 0.0;
    double focal = 1000.0;
};

Pose PoseOf(const CKpic& b) { return Pose{b.m_Direction, b.m_Roll, b.m_Focal}; }

void SetPose(CKpic& b, const Pose& p)
{
    b.m_Direction = p.direction;
    b.m_Roll = p.roll;
    b.m_Focal = p.focal;
}

Pose PoseOf(const FitCandidate& c) { return Pose{c.kcen, c.omg, c.dpr}; }

void ApplyCandidate(CKpic* b, const FitCandidate& c) { SetPose(*b, PoseOf(c)); }

FitCandidate MakeCandidate(CKpic* a, CKpic* b, const Pose& pose, CPoint p, CDPoint aimed, double score)
{
    FitCandidate c;
    c.picture = b;
    c.kcen = pose.direction;
    c.omg = pose.roll;
    c.dpr = pose.focal;
    c.hp = p;
    c.uppic = a;
    c.upsp = aimed;
    c.score = score;
    return c;
}

CPoint PixelOf(const CKpic* pic, CDPoint direction)
{
    return pic->SphereToPixelPoint(direction);
}

// Running sum and count of the usable scores of a scan.
struct ScoreTally {
    double sum = 0.0;
    int count = 0;
    void Add(double s)
    {
        if (s < UnusableScore / 2) {
            sum += s;
            ++count;
        }
    }
    double Mean() const { return count > 0 ? sum / count : UnusableScore; }
};

// ---- Overlap scores ---------------------------------------------------------------------
// Each score reads B's orientation from `geo` and B's image levels from `img`: the scan's
// worker threads turn copies of B's orientation while the images stay shared. Outside the
// worker threads both are B itself.

// The coarse score in its parts: what the central window gave, and the mean over the whole
// overlap. The trial is abandoned early (cut) when the central window is already far worse
// than the bound; with an infinite bound it never is, and the decision is taken later by
// CoarseVerdict with the bound the scan had at that trial.
struct CoarseParts {
    double centralSum = 0.0;
    int centralCount = 0;
    double mean = UnusableScore;
};

// Whether a trial whose central window gave (sum, count) is abandoned against bound.
bool CentralWindowFails(double sum, int count, int n, double bound)
{
    if (count <= 0)
        return false;
    if (count + count / 3 < n)
        bound *= n / count;
    return sum / count > 2.5 * bound;
}

double CoarseVerdict(const CoarseParts& parts, int n, double bound)
{
    if (CentralWindowFails(parts.centralSum, parts.centralCount, n, bound))
        return UnusableScore;
    return parts.mean;
}

CoarseParts SampleCoarse(CMcCore& core, CKpic* a, CKpic* geo, const CKpic* img, int x, int y, int n, double bound)
{
    CoarseParts parts;
    const int aw = a->Width() / 16, ah = a->Height() / 16;
    const int bw = geo->Width() / 16, bh = geo->Height() / 16;
    if (aw <= 0 || ah <= 0 || bw <= 0 || bh <= 0 || n <= 0)
        return parts;
    if (a->SixteenthContrast.GetSize() < int64_t((a->Width() / 4) / 4) * ((a->Height() / 4) / 4) ||
        img->SixteenthContrast.GetSize() < int64_t((img->Width() / 4) / 4) * ((img->Height() / 4) / 4))
        return parts;
    const int aStride = (a->Width() / 4) / 4, bStride = (img->Width() / 4) / 4;

    // The overlap in A's cells: B's rectangle seen in A.
    CRect seen = core.MapPictureRect(geo, a);
    CRect overlap(std::max(0, seen.left / 16), std::max(0, seen.top / 16), std::min(aw, (seen.right + 15) / 16),
                  std::min(ah, (seen.bottom + 15) / 16));
    if (overlap.IsRectEmpty())
        return parts;

    double sum = 0.0;
    int count = 0;
    auto sampleRange = [&](const CRect& cells, int stride) {
        ForEachStridedCell(cells, stride, [&](int i, int j) {
            const CDPoint d = a->PixelPointToSphere(16 * i + 8, 16 * j + 8);
            const CDPoint q = geo->SphereToPixel(d);
            const int bi = static_cast<int>(std::floor(q.x / 16.0));
            const int bj = static_cast<int>(std::floor(q.y / 16.0));
            if (bi < 0 || bj < 0 || bi >= bw || bj >= bh)
                return;
            const int dist = SampleDistance(a->SixteenthContrast[int64_t(j) * aStride + i],
                                            img->SixteenthContrast[int64_t(bj) * bStride + bi]);
            if (dist < 0)
                return;
            sum += dist;
            ++count;
        });
    };

    // The central window first, so that a trial far worse than the best so far stops early.
    CRect window(x / 16, y / 16, x / 16 + 1, y / 16 + 1);
    window.InflateRect(aw / 6, ah / 6);
    CRect central;
    if (central.IntersectRect(window, overlap)) {
        const int cells = central.Width() * central.Height();
        sampleRange(central, std::clamp(cells / n, 1, 1000));
        parts.centralSum = sum;
        parts.centralCount = count;
        if (CentralWindowFails(sum, count, n, bound))
            return parts;
    }
    const int stride = std::clamp(overlap.Width() * overlap.Height() / n, 1, 1000);
    sampleRange(overlap, stride);
    if (int64_t(count) * stride <= int64_t(aw) * ah / 20 || count == 0)
        return parts;
    double mean = sum / count;
    if (count < n)
        mean *= std::sqrt(static_cast<double>(n / count));
    parts.mean = mean;
    return parts;
}

double SampleFine(CMcCore& core, CKpic* a, CKpic* geo, const CKpic* img, CPoint f)
{
    const int aw = a->Width() / 4, ah = a->Height() / 4;
    const int bw = geo->Width() / 4, bh = geo->Height() / 4;
    if (aw <= 0 || ah <= 0 || bw <= 0 || bh <= 0)
        return UnusableScore;
    if (img->QuarterContrast.GetSize() != int64_t(bw) * bh || a->QuarterContrast.GetSize() != int64_t(aw) * ah)
        return UnusableScore;

    CRect seen = core.MapPictureRect(a, geo);
    CRect overlap(std::max(0, seen.left / 4), std::max(0, seen.top / 4), std::min(bw, (seen.right + 3) / 4),
                  std::min(bh, (seen.bottom + 3) / 4));
    const int divisor = (overlap.Width() <= 0 || overlap.Height() <= 0) ? 400 : 235;
    const int cells = std::max(0, overlap.Width()) * std::max(0, overlap.Height());
    const int stride = std::clamp(cells / divisor, 1, 1000);

    double sum = 0.0;
    int count = 0;
    auto compare = [&](int i, int j, CDPoint d) {
        const CDPoint q = a->SphereToPixel(d);
        const int ai = static_cast<int>(std::floor(q.x / 4.0));
        const int aj = static_cast<int>(std::floor(q.y / 4.0));
        if (ai < 0 || aj < 0 || ai >= aw || aj >= ah)
            return;
        const int dist = SampleDistance(img->QuarterContrast[int64_t(j) * bw + i], a->QuarterContrast[int64_t(aj) * aw + ai]);
        if (dist < 0)
            return;
        sum += dist;
        ++count;
    };
    ForEachStridedCell(overlap, stride, [&](int i, int j) { compare(i, j, geo->PixelPointToSphere(4 * i + 2, 4 * j + 2)); });
    if (count <= (int64_t(bw) * bh / stride) / 20)
        return UnusableScore;
    // The window about f, in B's cells, weighs the neighbourhood of the reference pixel.
    const int fi = f.x / 4, fj = f.y / 4;
    for (int i = std::max(0, fi - 8); i <= std::min(bw - 1, fi + 8); ++i)
        for (int j = std::max(0, fj - 8); j <= std::min(bh - 1, fj + 8); ++j)
            compare(i, j, geo->PixelPointToSphere(4 * i + 2, 4 * j + 2));
    return sum / count;
}

double SampleQuick(CMcCore& core, CKpic* a, CKpic* geo, const CKpic* img, CPoint f)
{
    const int aw = a->Width(), ah = a->Height(), bw = geo->Width(), bh = geo->Height();
    if (a->Pixels.GetSize() != int64_t(aw) * ah || img->Pixels.GetSize() != int64_t(bw) * bh)
        return UnusableScore;
    const CPoint c = PixelOf(a, geo->PixelPointToSphere(f.x, f.y));
    CRect window(c.x - 8, c.y - 8, c.x + 9, c.y + 9);
    CRect seen = core.MapPictureRect(geo, a);
    CRect clipped;
    if (!clipped.IntersectRect(window, seen) || !clipped.IntersectRect(clipped, a->m_PictureRect))
        return UnusableScore;
    double sum = 0.0;
    int count = 0;
    for (int y = clipped.top; y < clipped.bottom; ++y) {
        for (int x = clipped.left; x < clipped.right; ++x) {
            const CDPoint q = geo->SphereToPixel(a->PixelPointToSphere(x, y));
            const int bx = static_cast<int>(std::lround(q.x)), by = static_cast<int>(std::lround(q.y));
            if (bx < 0 || by < 0 || bx >= bw || by >= bh)
                continue;
            sum += SampleDistance(a->Pixels[int64_t(y) * aw + x], img->Pixels[int64_t(by) * bw + bx]);
            ++count;
        }
    }
    if (count < 11)
        return UnusableScore;
    return sum / count;
}

// ---- Trials -------------------------------------------------------------------------------

enum class TrialLevel { Coarse, Fine, Quick };

// One trial of a scan: B in the pose given, its pixel hp aimed at direction aim, then scored on
// a level. A coarse score samples first about A's pixel `at`.
struct Trial {
    Pose start;
    CPoint hp;
    CDPoint aim;
    CPoint at;
    TrialLevel level = TrialLevel::Coarse;
};

// What a trial gave: B's pose after the aiming and the score in its parts.
struct TrialOutcome {
    Pose after;
    CoarseParts coarse;   // the coarse level
    double score = UnusableScore; // the fine and quick levels
};

// Runs a scan's trials. With one thread each trial is made when the scan asks for it, on B
// itself, with the bound the scan has at that moment (so that hopeless trials stop early).
// With more, a stage's trials are all scored at once on copies of B's orientation, and the
// scan then takes the outcomes in its own order, deciding the early stops against the bound it
// would have had: the candidate lists, the running means and B's final state come out the same.
class CTrialRunner {
public:
    CTrialRunner(CMcCore& core, CKpic* a, CKpic* b, int threads) : m_Core(core), m_A(a), m_B(b)
    {
        if (threads > 1) {
            m_Pool = std::make_unique<CTrialPool>(threads);
            for (int w = 0; w < m_Pool->Threads(); ++w) {
                auto copy = std::make_unique<CKpic>();
                copy->m_PictureRect = b->m_PictureRect;
                copy->m_OpticalCentre = b->m_OpticalCentre;
                copy->m_LensScale = b->m_LensScale;
                copy->QuarterTurns = b->QuarterTurns;
                m_Copies.push_back(std::move(copy));
            }
        }
    }

    // Hands the stage's trials over; on the pool they are all scored now.
    void Prepare(std::vector<Trial> trials)
    {
        m_Trials = std::move(trials);
        m_Outcomes.clear();
        if (!m_Pool || m_Trials.empty())
            return;
        m_Outcomes.resize(m_Trials.size());
        const double never = std::numeric_limits<double>::infinity();
        m_Pool->Run(m_Trials.size(), [&](int worker, std::size_t i) {
            m_Outcomes[i] = Make(m_Trials[i], m_Copies[static_cast<std::size_t>(worker)].get(), never);
        });
    }

    const Trial& At(std::size_t i) const { return m_Trials[i]; }

    // Trial i's score (raw, before any penalty) with `bound` as the early stop of a coarse
    // trial; B is left in the pose the trial ends in, as when it was made on B.
    double Take(std::size_t i, double bound, Pose& after)
    {
        const Trial& t = m_Trials[i];
        TrialOutcome o = m_Pool ? m_Outcomes[i] : Make(t, m_B, bound);
        if (m_Pool)
            SetPose(*m_B, o.after);
        after = o.after;
        if (t.level == TrialLevel::Coarse)
            return CoarseVerdict(o.coarse, 80, bound);
        return o.score;
    }

private:
    TrialOutcome Make(const Trial& t, CKpic* geo, double bound)
    {
        SetPose(*geo, t.start);
        geo->AimPointAt(CDPoint(t.hp.x, t.hp.y), t.aim);
        TrialOutcome o;
        o.after = PoseOf(*geo);
        switch (t.level) {
        case TrialLevel::Coarse: o.coarse = SampleCoarse(m_Core, m_A, geo, m_B, t.at.x, t.at.y, 80, bound); break;
        case TrialLevel::Fine: o.score = SampleFine(m_Core, m_A, geo, m_B, t.hp); break;
        case TrialLevel::Quick: o.score = SampleQuick(m_Core, m_A, geo, m_B, t.hp); break;
        }
        return o;
    }

    CMcCore& m_Core;
    CKpic* m_A;
    CKpic* m_B;
    std::unique_ptr<CTrialPool> m_Pool;
    std::vector<std::unique_ptr<CKpic>> m_Copies;
    std::vector<Trial> m_Trials;
    std::vector<TrialOutcome> m_Outcomes;
};

} // namespace

double CMcCore::ScorePairOverlap(CKpic* a, CKpic* b, int x, int y, int n, double bound)
{
    if (!a || !b || m_JobMode == -1)
        return -1.0;
    return CoarseVerdict(SampleCoarse(*this, a, b, b, x, y, n, bound), n, bound);
}

double CMcCore::ScorePairOverlapFine(CKpic* a, CKpic* b, CPoint f)
{
    if (!a || !b || EnsurePictureImage(a) < 0 || EnsurePictureImage(b) < 0)
        return UnusableScore;
    if (a->BuildColourLevels() <= kResultOutOfMemory || b->BuildColourLevels() <= kResultOutOfMemory)
        NoteMemoryShort(false);
    return SampleFine(*this, a, b, b, f);
}

double CMcCore::ScorePairOverlapQuick(CKpic* a, CKpic* b, CPoint f)
{
    if (!a || !b || EnsurePictureImage(a) < 0 || EnsurePictureImage(b) < 0)
        return UnusableScore;
    return SampleQuick(*this, a, b, b, f);
}

int CMcCore::ScanOffsets(CKpic* a, const CRect& searchRect, CKpic* b, CPoint p, FitCandidateList& list)
{
    if (!a || !b || m_JobMode == -1)
        return -1;
    if (EnsurePictureImage(a) < 0 || EnsurePictureImage(b) < 0)
        return -1;
    if (a->BuildColourLevels() <= kResultOutOfMemory || b->BuildColourLevels() <= kResultOutOfMemory)
        NoteMemoryShort(false);
    b->BuildFeatureGrid();
    if (a->SixteenthContrast.IsEmpty() || b->SixteenthContrast.IsEmpty())
        return -1;

    const CRect& aRect = a->m_PictureRect;
    const CRect r = ClipWindow(searchRect, aRect);
    const ScanSettings set = ChooseSettings(m_LayoutRect, b, p);
    const double E = 2.0;
    const int k = std::clamp(std::max(a->Width(), a->Height()) / 750 + 1, 1, 4);
    const int coarse = 16 * k;
    const bool longRow = m_LayoutRect.Height() < 2 && m_LayoutRect.Width() > 14;
    const double r0 = (FitMode >= 3 && longRow) ? a->m_Roll : b->m_Roll;
    const bool secondRoll = std::fabs(a->m_Roll - r0) > 0.05;
    const double focalA = a->m_Focal > 0.0 ? a->m_Focal : 1000.0;
    ScoreTally tally;
    double best = UnusableScore;
    CTrialRunner runner(*this, a, b, ResolveTrialThreads(m_ScanThreads));

    auto breakPoll = [&]() {
        --m_Progress[7];
        PollBreak();
        return m_JobMode == -1;
    };
    auto trial = [](const Pose& start, CPoint hp, CDPoint aim, CPoint at, TrialLevel level) {
        return Trial{start, hp, aim, at, level};
    };
    // Takes trial i of a coarse stage: its score against the best so far, the pitch penalty,
    // the running mean and the insertion (a new head becomes the bound of the next trials).
    auto takeCoarse = [&](std::size_t i, int capacity, double minDistance) {
        Pose after;
        double score = runner.Take(i, best, after);
        if (score < 0.0)
            score = UnusableScore;
        score = WithPitchPenalty(set, a, after.direction.y, score);
        tally.Add(score);
        const Trial& t = runner.At(i);
        if (InsertCandidateSorted(list, MakeCandidate(a, b, after, t.hp, t.aim, score), capacity, minDistance) == 1)
            best = list.front().score;
    };

    // Coarse scan over the search rectangle, column by column.
    {
        std::vector<Trial> trials;
        std::vector<std::size_t> columnEnds;
        Pose start = PoseOf(*b);
        for (int x = r.left; x <= r.right; x += coarse) {
            for (int y = r.top; y <= r.bottom; y += coarse) {
                const CDPoint s = a->PixelPointToSphere(x, y);
                start.roll = r0;
                trials.push_back(trial(start, p, s, CPoint(x, y), TrialLevel::Coarse));
                if (secondRoll) {
                    start.roll = a->m_Roll;
                    trials.push_back(trial(start, p, s, CPoint(x, y), TrialLevel::Coarse));
                }
            }
            columnEnds.push_back(trials.size());
        }
        runner.Prepare(std::move(trials));
        std::size_t i = 0;
        for (const std::size_t end : columnEnds) {
            if (breakPoll())
                return -1;
            for (; i < end; ++i)
                takeCoarse(i, 15, 32.0 / focalA);
        }
    }
    if (tally.count == 0 || list.empty())
        return -1;
    double m = tally.Mean();
    PruneCandidates(list, E * 1.25, UnusableScore, 999999);
    if (list.front().score > 0.63 * m || m_JobMode == -1)
        return -1;

    // Second scan at the level's own step about the survivors of a wide coarse step.
    if (k > 1) {
        PruneCandidates(list, E * 1.25, UnusableScore, 999999);
        best = list.front().score;
        const FitCandidateList copy = list;
        std::vector<Trial> trials;
        std::vector<std::size_t> ends;
        for (const FitCandidate& c : copy) {
            const CPoint q = PixelOf(a, c.upsp);
            const CRect w = ClipWindow(CRect(q.x - coarse, q.y - coarse, q.x + coarse, q.y + coarse), aRect);
            for (int x = w.left; x <= w.right; x += 16)
                for (int y = w.top; y <= w.bottom; y += 16)
                    if (x != q.x || y != q.y)
                        trials.push_back(trial(PoseOf(c), p, a->PixelPointToSphere(x, y), CPoint(x, y), TrialLevel::Coarse));
            ends.push_back(trials.size());
        }
        runner.Prepare(std::move(trials));
        std::size_t i = 0;
        for (std::size_t n = 0; n < copy.size(); ++n) {
            ApplyCandidate(b, copy[n]);
            for (; i < ends[n]; ++i)
                takeCoarse(i, 10, 25.0 / focalA);
        }
        PruneCandidates(list, E * 1.25, UnusableScore, 999999);
        m = tally.Mean();
        if (list.empty() || list.front().score > 0.85 * m || breakPoll())
            return -1;
    }

    // Roll scan on the coarse level.
    if (m_LayoutRect.Width() >= 1) {
        PruneCandidates(list, E * 1.25, UnusableScore, 999999);
        best = list.front().score;
        const FitCandidateList copy = list;
        std::vector<Trial> trials;
        for (const FitCandidate& c : copy) {
            const CPoint q = PixelOf(a, c.upsp);
            for (int step = -10; step <= 10; ++step) {
                if (step == 0)
                    continue;
                Pose start = PoseOf(c);
                start.roll = c.omg + 0.02 * step;
                trials.push_back(trial(start, p, c.upsp, q, TrialLevel::Coarse));
            }
        }
        runner.Prepare(std::move(trials));
        std::size_t i = 0;
        for (const FitCandidate& c : copy) {
            ApplyCandidate(b, c);
            for (int step = 0; step < 20; ++step, ++i) {
                const double w = runner.At(i).start.roll;
                Pose after;
                double score = runner.Take(i, best, after);
                if (score < 0.0)
                    score = UnusableScore;
                score = WithPitchPenalty(set, a, after.direction.y, score);
                score += std::fabs(c.omg - w) * set.rollWeight * score;
                tally.Add(score);
                if (InsertCandidateSorted(list, MakeCandidate(a, b, after, p, c.upsp, score), 10 + set.bonus, 0.0) == 1)
                    best = list.front().score;
            }
        }
        m = tally.Mean();
        if (list.front().score > 0.9 * m || breakPoll())
            return -1;
        PruneCandidates(list, E * 0.75, UnusableScore, 999999);
    }

    // Feature scan on the quarter level, about a feature of B near the middle of the overlap.
    ScoreTally fineTally;
    {
        PruneCandidates(list, E * 0.75, UnusableScore, 999999);
        const FitCandidateList copy = list;
        CRect inner = aRect;
        inner.DeflateRect(20, 20);
        std::vector<Trial> trials;
        std::vector<std::size_t> ends;
        std::vector<double> weights;
        for (const FitCandidate& c : copy) {
            ApplyCandidate(b, c);
            const CDPoint mid = GreatCircleMidpoint(a->m_Direction, b->m_Direction);
            auto insideA = [&](CPoint f) { return inner.PtInRect(PixelOf(a, b->PixelToSphere(CDPoint(f.x, f.y)))); };
            const CPoint midInB = PixelOf(b, mid);
            CPoint f = b->FindNearestFeature(midInB.x, midInB.y, 0);
            bool usable = (f.x != 0 || f.y != 0) && insideA(f);
            if (!usable) {
                CRect seen = MapPictureRect(a, b);
                CRect shrunk = seen;
                shrunk.DeflateRect(20, 20);
                f = b->FindStrongestFeature(shrunk.IsRectEmpty() ? seen : shrunk);
                usable = (f.x != 0 || f.y != 0) && insideA(f);
            }
            if (!usable) {
                f = midInB;
                usable = insideA(f);
            }
            if (usable) {
                const CPoint fa = PixelOf(a, b->PixelToSphere(CDPoint(f.x, f.y)));
                const CRect w = ClipWindow(CRect(fa.x - 24, fa.y - 24, fa.x + 24, fa.y + 24), aRect);
                for (int x = w.left; x <= w.right; x += 8)
                    for (int y = w.top; y <= w.bottom; y += 8)
                        trials.push_back(trial(PoseOf(c), f, a->PixelPointToSphere(x, y), CPoint(x, y), TrialLevel::Fine));
            }
            ends.push_back(trials.size());
            weights.push_back(std::fabs(r0 - c.omg) * set.rollWeight + 1.0);
        }
        runner.Prepare(std::move(trials));
        std::size_t i = 0;
        for (std::size_t n = 0; n < copy.size(); ++n) {
            ApplyCandidate(b, copy[n]);
            for (; i < ends[n]; ++i) {
                Pose after;
                const double raw = runner.Take(i, UnusableScore, after);
                const double score = WithPitchPenalty(set, a, after.direction.y, raw * weights[n]);
                fineTally.Add(score);
                const Trial& t = runner.At(i);
                InsertCandidateSorted(list, MakeCandidate(a, b, after, t.hp, t.aim, score), 5 + set.bonus, 8.0 / focalA);
            }
        }
    }
    if (fineTally.count == 0 || breakPoll())
        return -1;

    // A local scan about each survivor: B's reference pixel aimed at every step-th pixel of a
    // window about where it looks in A, on the quarter level or (quick) at full size, with a
    // break poll after each survivor of the quick scan.
    auto windowScan = [&](int half, int stepPx, int capacity, double minDistance, bool quick) {
        const FitCandidateList copy = list;
        std::vector<Trial> trials;
        std::vector<std::size_t> ends;
        for (const FitCandidate& c : copy) {
            const CPoint q = PixelOf(a, c.upsp);
            const CRect w = ClipWindow(CRect(q.x - half, q.y - half, q.x + half, q.y + half), aRect);
            const int xEnd = quick ? w.right - 1 : w.right;
            const int yEnd = quick ? w.bottom - 1 : w.bottom;
            for (int x = w.left; x <= xEnd; x += stepPx)
                for (int y = w.top; y <= yEnd; y += stepPx)
                    trials.push_back(trial(PoseOf(c), c.hp, a->PixelPointToSphere(x, y), CPoint(x, y),
                                           quick ? TrialLevel::Quick : TrialLevel::Fine));
            ends.push_back(trials.size());
        }
        runner.Prepare(std::move(trials));
        std::size_t i = 0;
        for (std::size_t n = 0; n < copy.size(); ++n) {
            const FitCandidate& c = copy[n];
            ApplyCandidate(b, c);
            const double weight = std::fabs(r0 - c.omg) * set.rollWeight + 1.0;
            for (; i < ends[n]; ++i) {
                Pose after;
                const double raw = runner.Take(i, UnusableScore, after);
                const double score = WithPitchPenalty(set, a, after.direction.y, raw * weight);
                const Trial& t = runner.At(i);
                InsertCandidateSorted(list, MakeCandidate(a, b, after, t.hp, t.aim, score), capacity, minDistance);
            }
            if (quick && breakPoll())
                return false;
        }
        return true;
    };
    PruneCandidates(list, E, UnusableScore, 999999);
    windowScan(8, 4, 5 + set.bonus, 4.0 / focalA, false);
    if (breakPoll())
        return -1;

    // Fine roll scan.
    PruneCandidates(list, E, UnusableScore, 999999);
    {
        const FitCandidateList copy = list;
        std::vector<Trial> trials;
        for (const FitCandidate& c : copy) {
            for (int step = -5; step <= 5; ++step) {
                if (step == 0)
                    continue;
                Pose start = PoseOf(c);
                start.roll = c.omg + 0.01 * step;
                trials.push_back(trial(start, c.hp, c.upsp, CPoint(), TrialLevel::Fine));
            }
        }
        runner.Prepare(std::move(trials));
        std::size_t i = 0;
        for (const FitCandidate& c : copy) {
            ApplyCandidate(b, c);
            for (int step = 0; step < 10; ++step, ++i) {
                const double w = runner.At(i).start.roll;
                Pose after;
                double score = runner.Take(i, UnusableScore, after);
                score += std::fabs(r0 - w) * set.rollWeight * score;
                score = WithPitchPenalty(set, a, after.direction.y, score);
                InsertCandidateSorted(list, MakeCandidate(a, b, after, c.hp, c.upsp, score), 5 + set.bonus, 0.0);
            }
        }
    }
    if (breakPoll())
        return -1;

    // Final local scan at full size.
    PruneCandidates(list, E, UnusableScore, 999999);
    if (!windowScan(5, 1, 3 + set.bonus, 0.0, true))
        return -1;
    PruneCandidates(list, E, UnusableScore, 999999);
    return 1;
}

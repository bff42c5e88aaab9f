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

#include "engine/fit/fit_candidates.h"
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

double WithPitchPenalty(const ScanSettings& s, const CKpic* a, const CKpic* b, double score)
{
    if (!s.pitchPenalty)
        return score;
    return score + std::fabs(a->Pitch() - b->Pitch()) * s.pitchWeight * score;
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

void ApplyCandidate(CKpic* b, const FitCandidate& c)
{
    b->m_Direction = c.kcen;
    b->m_Roll = c.omg;
    b->m_Focal = c.dpr;
}

FitCandidate MakeCandidate(CKpic* a, CKpic* b, CPoint p, CDPoint aimed, double score)
{
    FitCandidate c;
    c.picture = b;
    c.kcen = b->m_Direction;
    c.omg = b->m_Roll;
    c.dpr = b->m_Focal;
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

} // namespace

double CMcCore::ScorePairOverlap(CKpic* a, CKpic* b, int x, int y, int n, double bound)
{
    if (!a || !b || m_JobMode == -1)
        return -1.0;
    const int aw = a->Width() / 16, ah = a->Height() / 16;
    const int bw = b->Width() / 16, bh = b->Height() / 16;
    if (aw <= 0 || ah <= 0 || bw <= 0 || bh <= 0 || n <= 0)
        return UnusableScore;
    if (a->SixteenthContrast.GetSize() < int64_t((a->Width() / 4) / 4) * ((a->Height() / 4) / 4) ||
        b->SixteenthContrast.GetSize() < int64_t((b->Width() / 4) / 4) * ((b->Height() / 4) / 4))
        return UnusableScore;
    const int aStride = (a->Width() / 4) / 4, bStride = (b->Width() / 4) / 4;

    // The overlap in A's cells: B's rectangle seen in A.
    CRect seen = MapPictureRect(b, a);
    CRect overlap(std::max(0, seen.left / 16), std::max(0, seen.top / 16), std::min(aw, (seen.right + 15) / 16),
                  std::min(ah, (seen.bottom + 15) / 16));
    if (overlap.IsRectEmpty())
        return UnusableScore;

    double sum = 0.0;
    int count = 0;
    auto sampleRange = [&](const CRect& cells, int stride) {
        int index = 0;
        for (int i = cells.left; i < cells.right; ++i) {
            for (int j = cells.top; j < cells.bottom; ++j, ++index) {
                if (index % stride != 0)
                    continue;
                const CDPoint d = a->PixelPointToSphere(16 * i + 8, 16 * j + 8);
                const CDPoint q = b->SphereToPixel(d);
                const int bi = static_cast<int>(std::floor(q.x / 16.0));
                const int bj = static_cast<int>(std::floor(q.y / 16.0));
                if (bi < 0 || bj < 0 || bi >= bw || bj >= bh)
                    continue;
                const int dist = SampleDistance(a->SixteenthContrast[int64_t(j) * aStride + i],
                                                b->SixteenthContrast[int64_t(bj) * bStride + bi]);
                if (dist < 0)
                    continue;
                sum += dist;
                ++count;
            }
        }
    };

    // The central window first, so that a trial far worse than the best so far stops early.
    CRect window(x / 16, y / 16, x / 16 + 1, y / 16 + 1);
    window.InflateRect(aw / 6, ah / 6);
    CRect central;
    if (central.IntersectRect(window, overlap)) {
        const int cells = central.Width() * central.Height();
        sampleRange(central, std::clamp(cells / n, 1, 1000));
        if (count > 0) {
            if (count + count / 3 < n)
                bound *= n / count;
            if (sum / count > 2.5 * bound)
                return UnusableScore;
        }
    }
    const int stride = std::clamp(overlap.Width() * overlap.Height() / n, 1, 1000);
    sampleRange(overlap, stride);
    if (int64_t(count) * stride <= int64_t(aw) * ah / 20 || count == 0)
        return UnusableScore;
    double mean = sum / count;
    if (count < n)
        mean *= std::sqrt(static_cast<double>(n / count));
    return mean;
}

double CMcCore::ScorePairOverlapFine(CKpic* a, CKpic* b, CPoint f)
{
    if (!a || !b || EnsurePictureImage(a) < 0 || EnsurePictureImage(b) < 0)
        return UnusableScore;
    a->BuildColourLevels();
    b->BuildColourLevels();
    const int aw = a->Width() / 4, ah = a->Height() / 4;
    const int bw = b->Width() / 4, bh = b->Height() / 4;
    if (aw <= 0 || ah <= 0 || bw <= 0 || bh <= 0)
        return UnusableScore;
    if (b->QuarterContrast.GetSize() != int64_t(bw) * bh || a->QuarterContrast.GetSize() != int64_t(aw) * ah)
        return UnusableScore;

    CRect seen = MapPictureRect(a, b);
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
        const int dist = SampleDistance(b->QuarterContrast[int64_t(j) * bw + i], a->QuarterContrast[int64_t(aj) * aw + ai]);
        if (dist < 0)
            return;
        sum += dist;
        ++count;
    };
    int index = 0;
    for (int i = overlap.left; i < overlap.right; ++i)
        for (int j = overlap.top; j < overlap.bottom; ++j, ++index)
            if (index % stride == 0)
                compare(i, j, b->PixelPointToSphere(4 * i + 2, 4 * j + 2));
    if (count <= (int64_t(bw) * bh / stride) / 20)
        return UnusableScore;
    // The window about f, in B's cells, weighs the neighbourhood of the reference pixel.
    const int fi = f.x / 4, fj = f.y / 4;
    for (int i = std::max(0, fi - 8); i <= std::min(bw - 1, fi + 8); ++i)
        for (int j = std::max(0, fj - 8); j <= std::min(bh - 1, fj + 8); ++j)
            compare(i, j, b->PixelPointToSphere(4 * i + 2, 4 * j + 2));
    return sum / count;
}

double CMcCore::ScorePairOverlapQuick(CKpic* a, CKpic* b, CPoint f)
{
    if (!a || !b || EnsurePictureImage(a) < 0 || EnsurePictureImage(b) < 0)
        return UnusableScore;
    const int aw = a->Width(), ah = a->Height(), bw = b->Width(), bh = b->Height();
    if (a->Pixels.GetSize() != int64_t(aw) * ah || b->Pixels.GetSize() != int64_t(bw) * bh)
        return UnusableScore;
    const CPoint c = PixelOf(a, b->PixelPointToSphere(f.x, f.y));
    CRect window(c.x - 8, c.y - 8, c.x + 9, c.y + 9);
    CRect seen = MapPictureRect(b, a);
    CRect clipped;
    if (!clipped.IntersectRect(window, seen) || !clipped.IntersectRect(clipped, a->m_PictureRect))
        return UnusableScore;
    double sum = 0.0;
    int count = 0;
    for (int y = clipped.top; y < clipped.bottom; ++y) {
        for (int x = clipped.left; x < clipped.right; ++x) {
            const CDPoint q = b->SphereToPixel(a->PixelPointToSphere(x, y));
            const int bx = static_cast<int>(std::lround(q.x)), by = static_cast<int>(std::lround(q.y));
            if (bx < 0 || by < 0 || bx >= bw || by >= bh)
                continue;
            sum += SampleDistance(a->Pixels[int64_t(y) * aw + x], b->Pixels[int64_t(by) * bw + bx]);
            ++count;
        }
    }
    if (count < 11)
        return UnusableScore;
    return sum / count;
}

int CMcCore::ScanOffsets(CKpic* a, const CRect& searchRect, CKpic* b, CPoint p, FitCandidateList& list)
{
    if (!a || !b || m_JobMode == -1)
        return -1;
    if (EnsurePictureImage(a) < 0 || EnsurePictureImage(b) < 0)
        return -1;
    a->BuildColourLevels();
    b->BuildColourLevels();
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

    // One trial: B's p aimed at A's pixel (x, y) with B's roll set, scored on the coarse level.
    auto coarseTrial = [&](int x, int y, double roll, int capacity, double minDistance) {
        const CDPoint s = a->PixelPointToSphere(x, y);
        b->m_Roll = roll;
        b->AimPointAt(CDPoint(p.x, p.y), s);
        double score = ScorePairOverlap(a, b, x, y, 80, best);
        if (score < 0.0)
            score = UnusableScore;
        score = WithPitchPenalty(set, a, b, score);
        tally.Add(score);
        if (InsertCandidateSorted(list, MakeCandidate(a, b, p, s, score), capacity, minDistance) == 1)
            best = list.front().score;
    };
    auto breakPoll = [&]() {
        --m_Progress[7];
        PollBreak();
        return m_JobMode == -1;
    };

    // Coarse scan over the search rectangle.
    for (int x = r.left; x <= r.right; x += coarse) {
        if (breakPoll())
            return -1;
        for (int y = r.top; y <= r.bottom; y += coarse) {
            coarseTrial(x, y, r0, 15, 32.0 / focalA);
            if (secondRoll)
                coarseTrial(x, y, a->m_Roll, 15, 32.0 / focalA);
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
        for (const FitCandidate& c : copy) {
            ApplyCandidate(b, c);
            const CPoint q = PixelOf(a, c.upsp);
            const CRect w = ClipWindow(CRect(q.x - coarse, q.y - coarse, q.x + coarse, q.y + coarse), aRect);
            for (int x = w.left; x <= w.right; x += 16)
                for (int y = w.top; y <= w.bottom; y += 16)
                    if (x != q.x || y != q.y)
                        coarseTrial(x, y, c.omg, 10, 25.0 / focalA);
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
        for (const FitCandidate& c : copy) {
            ApplyCandidate(b, c);
            const CPoint q = PixelOf(a, c.upsp);
            for (int step = -10; step <= 10; ++step) {
                if (step == 0)
                    continue;
                const double w = c.omg + 0.02 * step;
                b->m_Roll = w;
                b->AimPointAt(CDPoint(p.x, p.y), c.upsp);
                double score = ScorePairOverlap(a, b, q.x, q.y, 80, best);
                if (score < 0.0)
                    score = UnusableScore;
                score = WithPitchPenalty(set, a, b, score);
                score += std::fabs(c.omg - w) * set.rollWeight * score;
                tally.Add(score);
                if (InsertCandidateSorted(list, MakeCandidate(a, b, p, c.upsp, score), 10 + set.bonus, 0.0) == 1)
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
            if (!usable)
                continue;
            const double weight = std::fabs(r0 - c.omg) * set.rollWeight + 1.0;
            const CPoint fa = PixelOf(a, b->PixelToSphere(CDPoint(f.x, f.y)));
            const CRect w = ClipWindow(CRect(fa.x - 24, fa.y - 24, fa.x + 24, fa.y + 24), aRect);
            for (int x = w.left; x <= w.right; x += 8) {
                for (int y = w.top; y <= w.bottom; y += 8) {
                    const CDPoint s = a->PixelPointToSphere(x, y);
                    b->m_Roll = c.omg;
                    b->AimPointAt(CDPoint(f.x, f.y), s);
                    double score = WithPitchPenalty(set, a, b, ScorePairOverlapFine(a, b, f) * weight);
                    fineTally.Add(score);
                    InsertCandidateSorted(list, MakeCandidate(a, b, f, s, score), 5 + set.bonus, 8.0 / focalA);
                }
            }
        }
    }
    if (fineTally.count == 0 || breakPoll())
        return -1;

    // Local scan about each survivor on the quarter level, every fourth pixel.
    auto fineWindowScan = [&](int half, int stepPx, int capacity, double minDistance, bool quick) {
        const FitCandidateList copy = list;
        for (const FitCandidate& c : copy) {
            ApplyCandidate(b, c);
            const CPoint q = PixelOf(a, c.upsp);
            const double weight = std::fabs(r0 - c.omg) * set.rollWeight + 1.0;
            CRect w = ClipWindow(CRect(q.x - half, q.y - half, q.x + half, q.y + half), aRect);
            const int xEnd = quick ? w.right - 1 : w.right;
            const int yEnd = quick ? w.bottom - 1 : w.bottom;
            for (int x = w.left; x <= xEnd; x += stepPx) {
                for (int y = w.top; y <= yEnd; y += stepPx) {
                    const CDPoint s = a->PixelPointToSphere(x, y);
                    b->m_Roll = c.omg;
                    b->AimPointAt(CDPoint(c.hp.x, c.hp.y), s);
                    const double raw = quick ? ScorePairOverlapQuick(a, b, c.hp) : ScorePairOverlapFine(a, b, c.hp);
                    const double score = WithPitchPenalty(set, a, b, raw * weight);
                    InsertCandidateSorted(list, MakeCandidate(a, b, c.hp, s, score), capacity, minDistance);
                }
            }
            if (quick && breakPoll())
                return false;
        }
        return true;
    };
    PruneCandidates(list, E, UnusableScore, 999999);
    fineWindowScan(8, 4, 5 + set.bonus, 4.0 / focalA, false);
    if (breakPoll())
        return -1;

    // Fine roll scan.
    PruneCandidates(list, E, UnusableScore, 999999);
    {
        const FitCandidateList copy = list;
        for (const FitCandidate& c : copy) {
            ApplyCandidate(b, c);
            for (int step = -5; step <= 5; ++step) {
                if (step == 0)
                    continue;
                const double w = c.omg + 0.01 * step;
                b->m_Roll = w;
                b->AimPointAt(CDPoint(c.hp.x, c.hp.y), c.upsp);
                double score = ScorePairOverlapFine(a, b, c.hp);
                score += std::fabs(r0 - w) * set.rollWeight * score;
                score = WithPitchPenalty(set, a, b, score);
                InsertCandidateSorted(list, MakeCandidate(a, b, c.hp, c.upsp, score), 5 + set.bonus, 0.0);
            }
        }
    }
    if (breakPoll())
        return -1;

    // Final local scan at full size.
    PruneCandidates(list, E, UnusableScore, 999999);
    if (!fineWindowScan(5, 1, 3 + set.bonus, 0.0, true))
        return -1;
    PruneCandidates(list, E, UnusableScore, 999999);
    return 1;
}

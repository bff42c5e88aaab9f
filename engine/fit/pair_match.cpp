// Matching one picture (B) against its fitted partner (A): the reference pixel and the search
// window chosen from the neighbour direction, the offset scan, and the two ways of turning the
// best candidates into a fitted picture (refining the points the overlap yields, or seeding
// points from B's feature grid). Acceptance of the result is the candidate walk's business,
// but for a try from a rolled start, which keeps only a match its whole overlap bears out.
//
// Coordinates: pixels of A or B as named (x right, y down); directions (longitude, latitude).
#include <algorithm>
#include <cmath>

#include "engine/fit/fit_candidates.h"
#include "geometry/sphere.h"
#include "picset/kpic.h"
#include "picset/mccore.h"

namespace {

// A picture's centre moved by its size divided by `part` toward the turned keypad direction:
// (+, +) for 1, (0, +) for 2, (−, +) for 3, (+, 0) for 4, (−, 0) for 6, (+, −) for 7 ...
bool KeypadOffset(int code, int w, int h, int part, CPoint& out)
{
    int sx = 0, sy = 0;
    switch (code) {
    case 1: sx = 1; sy = 1; break;
    case 2: sy = 1; break;
    case 3: sx = -1; sy = 1; break;
    case 4: sx = 1; break;
    case 6: sx = -1; break;
    case 7: sx = 1; sy = -1; break;
    case 8: sy = -1; break;
    case 9: sx = -1; sy = -1; break;
    default: return false;
    }
    out = CPoint(sx * (w / part), sy * (h / part));
    return true;
}

void ApplyCandidate(CKpic* b, const FitCandidate& c)
{
    b->m_Direction = c.kcen;
    b->m_Roll = c.omg;
    b->m_Focal = c.dpr;
}

} // namespace

// A try from a rolled start comes after every pass from the neighbour's roll has failed, and its
// points alone do not prove a match: between pictures that do not overlap, look-alike texture
// gives eight points within the tolerance. Its match is kept only when the overlap agrees as a
// whole (OverlapAgreesAsAWhole); otherwise the picture is left unfitted, without points and
// without a snapshot that the caller could take up instead.
int CMcCore::MatchPicturePair(CKpic* a, CKpic* b, int code, int pass)
{
    if (m_PairRollTurn == 0.0 || !a || !b)
        return MatchPicturePairOnce(a, b, code, pass);
    const int r = MatchPicturePairOnce(a, b, code, pass);
    if (r == 1 && m_JobMode != -1 && b->CountFittedPoints() >= 5 && b->m_FitScore < m_FitTolerance &&
        OverlapAgreesAsAWhole(a, b))
        return 1;
    ResetPicture(b);
    b->m_Snapshot.error = UnusableScore;
    return -1;
}

// Whether B's overlap with A, as B is placed, agrees as a whole: its colour difference on the
// quarter levels is at most 0.3 of the mean the same overlap gives with B turned aside by a
// thirtieth of its width, right, left, up and down (about 2 degrees for a 60-degree view). True
// matches of hand-held views of real scenes give 0.04 to 0.23; matches on look-alike texture
// between views that do not overlap 0.44 and more, as most of their overlap agrees no better
// than a pose beside it (a clear sky agrees equally well everywhere).
bool CMcCore::OverlapAgreesAsAWhole(CKpic* a, CKpic* b)
{
    const CPoint centre(b->Width() / 2, b->Height() / 2);
    const double placed = ScorePairOverlapFine(a, b, centre);
    if (!(placed < UnusableScore / 2) || b->m_Focal <= 0.0)
        return false;
    const CDPoint direction = b->m_Direction;
    const double aside = b->Width() / 30.0 / b->m_Focal;
    const CDPoint turns[] = {{aside, 0.0}, {-aside, 0.0}, {0.0, aside}, {0.0, -aside}};
    double sum = 0.0;
    int count = 0;
    for (const CDPoint& t : turns) {
        b->m_Direction = CDPoint(direction.x + t.x, direction.y + t.y);
        const double s = ScorePairOverlapFine(a, b, centre);
        if (s < UnusableScore / 2) {
            sum += s;
            ++count;
        }
    }
    b->m_Direction = direction;
    return count >= 2 && placed <= 0.3 * (sum / count);
}

int CMcCore::MatchPicturePairOnce(CKpic* a, CKpic* b, int code, int pass)
{
    if (!a || !b || m_JobMode == -1)
        return -1;
    if (EnsurePictureImage(b) < 0)
        return -1;
    b->EnsureReady();

    const int bw = b->Width(), bh = b->Height();
    CPoint offset;
    if (!KeypadOffset(RotateKeypadPosition(code, b->QuarterTurns), bw, bh, 3, offset))
        return -1;
    CPoint p(bw / 2 + offset.x, bh / 2 + offset.y);

    const int w = a->Width(), h = a->Height();
    const int ac = RotateKeypadPosition(code, a->QuarterTurns);
    CRect r(w / 2, h / 2, w / 2, h / 2);
    if (ac % 2 == 0) {
        switch (ac) {
        case 2: r.OffsetRect(0, -h / 4); r.InflateRect(w / 7, h / 2); break;
        case 4: r.OffsetRect(-w / 4, 0); r.InflateRect(w / 2, h / 7); break;
        case 6: r.OffsetRect(w / 4, 0); r.InflateRect(w / 2, h / 7); break;
        case 8: r.OffsetRect(0, h / 4); r.InflateRect(w / 7, h / 2); break;
        default: return -1;
        }
        if (pass == 2 || pass == 3) {
            if (m_LayoutRect.Width() == 0 || m_LayoutRect.Height() == 0) {
                r.InflateRect(w / 7, h / 7);
            } else {
                r.InflateRect(w / 6, h / 6);
                r.InflateRect(w / 6, h / 6);
            }
            const int bc = RotateKeypadPosition(code, b->QuarterTurns);
            CPoint tenth;
            switch (bc) {
            case 2: tenth = CPoint(0, bh / 10); break;
            case 4: tenth = CPoint(bw / 10, 0); break;
            case 6: tenth = CPoint(-bw / 10, 0); break;
            case 8: tenth = CPoint(0, -bh / 10); break;
            default: break;
            }
            if (pass == 3)
                tenth = CPoint(-tenth.x, -tenth.y);
            p.x += tenth.x;
            p.y += tenth.y;
        }
    } else if (pass < 2) {
        const int sx = (ac == 1 || ac == 7) ? -1 : 1;
        const int sy = (ac == 1 || ac == 3) ? -1 : 1;
        r.OffsetRect(sx * (w / 7), sy * (h / 7));
        r.InflateRect(w / 3, h / 3);
    } else {
        r = a->m_PictureRect;
    }
    CRect clipped;
    if (!clipped.IntersectRect(r, a->m_PictureRect))
        clipped = CRect(std::clamp(r.left, 0, w - 1), std::clamp(r.top, 0, h - 1), std::clamp(r.left, 0, w - 1),
                        std::clamp(r.top, 0, h - 1));
    CopyRollFromNeighbour(b, nullptr);
    b->m_Roll += m_PairRollTurn;
    FitCandidateList list;
    if (ScanOffsets(a, clipped, b, p, list) < 0 || list.empty())
        return -1;

    const bool oneColumn = m_LayoutRect.Width() == 0;
    const bool oneRow = m_LayoutRect.Height() == 0;
    if (oneColumn) {
        FitCandidateList reordered;
        for (FitCandidate c : list) {
            c.score *= (DeviationFromRightAngle(c.omg) * 10.0 + 1.0) * (std::fabs(c.kcen.x) * 5.0 + 1.0);
            InsertCandidateSorted(reordered, c, 5, 0.0);
        }
        list.swap(reordered);
    }
    const FitCandidate best = list.front();
    if (best.score > (oneColumn ? 40000.0 : 20000.0))
        return -1;

    const double t = m_FitTolerance;
    CKpic* first = GetFirstPicture();
    auto firstFocalRule = [&]() {
        if (m_FittedCount < 2 && first) {
            first->m_Focal = first->m_DefaultFocal;
            m_CommonFocal = first->m_Focal;
        }
    };
    auto keepSnapshot = [&](int r) {
        if (r > 0 && oneColumn)
            b->m_FitScore *= DeviationFromRightAngle(b->m_Roll) * 10.0 + 1.0;
        if (b->m_Status > 0 || r >= 0) {
            const double e = b->ComputeFitMeasure(m_CommonFocal);
            if (e < b->m_Snapshot.error)
                b->SaveSnapshot(m_CommonFocal, e);
        }
    };
    // The tests a matched picture with enough points passes to count as a good match.
    auto goodMatch = [&]() {
        const double s = b->m_FitScore;
        if (s < 0.6 * t)
            return true;
        if (s < 1.5 * t) {
            b->m_Status = 3;
            MatchPicturePointsWith(b, 0.25, 4);
            b->OptimizeOrientation();
            MatchPicturePoints(b);
            b->m_Status = 0;
            const double s2 = b->m_FitScore;
            if (s2 < 0.7 * t)
                return true;
            if (oneColumn && s2 < 1.2 * t)
                return true;
            if (oneRow && s2 < t)
                return true;
        }
        return false;
    };

    // First attempt: refine the points the overlap yields.
    firstFocalRule();
    ResetPicture(b);
    CopyRollFromNeighbour(b, nullptr);
    ApplyCandidate(b, best);
    m_Progress[7] -= 10;
    int r1 = RefineMatchedPicture(b);
    keepSnapshot(r1);
    if (r1 < 1 && pass == 1)
        return 0;
    if (b->m_Status > 0 && b->CountFittedPoints() >= 5 && goodMatch())
        return 1;
    if (m_JobMode == -1)
        return -1;

    // Second attempt: points seeded from B's features.
    firstFocalRule();
    ResetPicture(b);
    CopyRollFromNeighbour(b, nullptr);
    ApplyCandidate(b, best);
    const int r2 = FitMatchedPicture(b, best.hp, SphereToPixel(best.upsp));
    keepSnapshot(r2);
    if (r2 < 1 && pass < 3)
        return 0;
    const int fp = b->CountFittedPoints();
    const int used = b->CountControlPoints();
    if (fp <= used / 3)
        return -1;
    if (b->m_Status > 0 && fp >= 5 && fp >= used / 2 && b->m_FitScore < t && goodMatch())
        return 1;
    b->m_Status = 0;
    return r2;
}

int CMcCore::RefineMatchedPicture(CKpic* b)
{
    if (!b)
        return -6;
    if (m_JobMode == -1)
        return -1;
    if (EnsurePictureImage(b) < 0)
        return -1;
    const double t = m_FitTolerance;
    const bool oneColumn = m_LayoutRect.Width() == 0;
    const bool oneRow = m_LayoutRect.Height() == 0;

    // Gather points: overlap evaluation first, feature windows when it stops giving.
    int passes = 0;
    while (passes < 4 && TransferOpenPoint(b) > 0)
        ++passes;
    while (passes < 4 && EvaluateFeatureWindows(b) > 0)
        ++passes;
    if (b->CountFittedPoints() < 2)
        return -2;
    MatchPicturePointsWith(b, 1.0, 8);
    b->m_Status = 1;
    b->OptimizeOrientation();
    if (b->m_FitScore > 2.0 * t)
        return -2;

    bool rejectedPass = false;
    for (int pass = 0; pass < 14; ++pass) {
        const int n = b->CountFittedPoints();
        if (n < 2 || n > 7 || m_JobMode == -1)
            break;
        const long double before = PlacementPenalty(b, b->m_Direction, b->m_Roll);
        int gained = TransferOpenPoint(b);
        if (gained <= 0)
            gained = EvaluateFeatureWindows(b);
        if (gained <= 0)
            break;
        RefitPicture(b, -1, 0);
        const long double after = PlacementPenalty(b, b->m_Direction, b->m_Roll);
        if (after <= 0.01L || (after <= before * 1.5L && after <= before + 2.0L)) {
            if (after <= 2.0L * t || b->CountFittedPoints() * 2 >= b->CountControlPoints())
                MatchPicturePoints(b);
        } else {
            RemoveControlPoint(b, b->LastUsedPoint());
            RefitPicture(b, -1, 0);
            rejectedPass = true;
        }
    }

    m_Activity = 4;
    const int n = b->CountFittedPoints();
    const double penalty = static_cast<double>(PlacementPenalty(b, b->m_Direction, b->m_Roll));
    if (n > 3) {
        if (((oneColumn && std::fabs(b->m_Roll) > 0.1) || (oneRow && std::fabs(b->m_Roll) > 0.25)) && penalty > 0.3 * t)
            return -1;
        if (n > 5 && penalty < t / 2)
            return 1;
        if ((n > 5 && penalty < t) || ((oneRow || oneColumn) && penalty < t))
            return rejectedPass ? 0 : 1;
        if (penalty < 2.0 * t) {
            b->m_Status = 3;
            MatchPicturePointsWith(b, 1.0, 4);
            MatchPicturePointsWith(b, 0.25, 4);
            b->OptimizeOrientation();
            const double again = static_cast<double>(PlacementPenalty(b, b->m_Direction, b->m_Roll));
            return (again < t && b->CountFittedPoints() > 5) ? 1 : 0;
        }
        return 0;
    }
    if (n >= 2) {
        if (m_LayoutRect.Width() > 0 && m_LayoutRect.Height() > 0)
            return -1;
        if (std::fabs(b->m_Roll) > 0.05 || penalty > 2.0 * t)
            return -1;
        const double ratio = m_CommonFocal > 0.0 ? b->m_Focal / m_CommonFocal : 0.0;
        if (ratio >= 0.95 && ratio <= 1.05) {
            CKpic* first = GetFirstPicture();
            if (oneColumn && first && std::fabs(b->Yaw() - first->Yaw()) > 0.1)
                return -1;
            return 0;
        }
        return -1;
    }
    return -1;
}

int CMcCore::FitMatchedPicture(CKpic* b, CPoint f, CPoint o)
{
    if (!b)
        return -6;
    if (m_JobMode == -1)
        return -1;
    const double t = m_FitTolerance;
    const double startRoll = b->m_Roll;
    const bool oneColumn = m_LayoutRect.Width() == 0;
    const bool oneRow = m_LayoutRect.Height() == 0;

    if (b->CountFittedPoints() == 0) {
        // Only the point the seeding made is refined (or given up): when seeding finds nothing,
        // the picture's last slot is some other point, which is not this step's to drop.
        const int slot = SeedControlPoints(b, f, o);
        if (slot >= 0) {
            if (RefinePointPosition(b, slot) > 0 || ImprovePointMatch(b, slot) > 0)
                b->m_Points[static_cast<size_t>(slot)].state = 3;
            else {
                RemoveControlPoint(b, slot);
                return -2;
            }
        }
        if (b->CountFittedPoints() == 0 && (ConsolidatePicture(b) != 1 || b->m_FitScore > 2.0 * t))
            return -2;
    }
    if (b->CountFittedPoints() == 1) {
        const int slot = b->FindFittedPoint();
        if (ImprovePointMatch(b, slot) <= 0 && ConsolidatePicture(b) == 1 && b->m_FitScore > 3.0 * t)
            RemoveAutoPoints(b);
        ResolvePointPartners(b);
        b->OptimizeOrientation();
        b->RefreshControlPoints();
        MatchPicturePointsWith(b, 1.0, 8);
        if (b->CountFittedPoints() < 2)
            return -2;
        b->OptimizeOrientation();
        b->RefreshControlPoints();
        MatchPicturePointsWith(b, 1.0, 8);
    }

    int worse = 0;
    for (int pass = 0; pass < 14; ++pass) {
        const int n = b->CountFittedPoints();
        if (n < 2 || n > 7 || m_JobMode == -1)
            break;
        const double before = b->m_FitScore;
        int gained = TransferOpenPoint(b);
        if (gained <= 0)
            gained = EvaluateFeatureWindows(b);
        if (gained <= 0)
            break;
        RefitPicture(b, -1, 0);
        const double s = b->m_FitScore;
        if (s > before * 1.5 && s > before + 2.0) {
            RemoveControlPoint(b, b->LastUsedPoint());
            RefitPicture(b, -1, 0);
            if (++worse >= 5)
                break;
        }
        const bool outnumbered = b->CountFittedPoints() * 2 < b->CountControlPoints();
        if (b->m_FitScore > 3.0 * t || (b->m_FitScore > 2.0 * t && outnumbered) || std::fabs(b->m_Roll - startRoll) > 0.1)
            break;
    }

    PollBreak();
    if (m_JobMode == -1)
        return -1;
    const int n = b->CountFittedPoints();
    const double s = b->m_FitScore;
    const double rollChange = std::fabs(b->m_Roll - startRoll);
    if (n < 4) {
        m_Activity = 4;
        return -1;
    }
    if (((oneColumn && rollChange > 0.1) || (oneRow && rollChange > 0.25)) && s > 0.3 * t)
        return -1;
    if (n >= 6 && s < t)
        return 1;
    // A try from a rolled start does not re-fit the set on a match it may yet refuse.
    if (s >= 2.0 * t || !oneColumn || m_PairRollTurn != 0.0)
        return 0;
    b->m_Status = 3;
    MatchFittedPictures(1.0, 4);
    MatchFittedPictures(0.25, 4);
    SearchCommonFocal();
    MatchAllPictures();
    if (m_FitPriority >= 2)
        SearchLensRadius();
    return b->m_FitScore < t ? 1 : 3;
}

// Closing a full row: the point seen at both ends of the row must lie one full turn apart and
// at the same height. The common focal scales every angle of the row, so its error shows as
// the miss of the turn; a height difference is taken out by shifting the optical centres of
// the two halves of the row up or down.
//
// Directions are (longitude, latitude) in radians; optical centres are picture pixels, y down.
#include <algorithm>
#include <cmath>

#include "engine/fit/auto_fit_steps.h"
#include "engine/fit/fit_candidates.h"
#include "geometry/sphere.h"
#include "picset/kpic.h"
#include "picset/mccore.h"

namespace {

// The row-closing point's direction, seen with the picture's present orientation.
CDPoint ClosingPoint(CKpic* p, int slot)
{
    return p->PixelToSphere(p->m_Points[static_cast<size_t>(slot)].position);
}

// Whether two pictures hold the two halves of one control point.
bool SharePoint(const CKpic* a, const CKpic* b)
{
    for (const ControlPoint& p : a->m_Points) {
        if (p.kind == 0 || p.pointId == 0)
            continue;
        for (const ControlPoint& q : b->m_Points)
            if (q.kind != 0 && q.pointId == p.pointId)
                return true;
    }
    return false;
}

// A point is looked at as a stray only above this residual in pixels, and it is dropped only
// when the picture's fit score without it is lower by more than this many pixels.
constexpr double StrayResidual = 3.0;
constexpr double StrayGain = 1.0;
// A picture keeps at least as many points as a fitted picture needs.
constexpr int FewestKeptPoints = 5;

// The fitted point of a picture farthest from where its partner puts it, with that distance in
// pixels; -1 when the picture has none.
int FarthestPoint(const CKpic* p, double focal, double& pixels)
{
    int worst = -1;
    pixels = 0.0;
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        const ControlPoint& cp = p->m_Points[static_cast<size_t>(i)];
        if (cp.kind <= 0 || cp.state < 3)
            continue;
        const double d = ApproxSphericalDistance(cp.spherePosition, cp.target) * focal;
        if (worst < 0 || d > pixels) {
            worst = i;
            pixels = d;
        }
    }
    return worst;
}

} // namespace

// A picture of the row can be held by one point matched on look-alike texture, stable enough
// that matching it again finds the same place: with seven points that agree and one ten pixels
// off, the picture is turned toward that point by a third of a degree, every picture after it
// follows, and the one point's residual outweighs all the others in the mean fit score that the
// lens search minimises. Such a point is dropped when the picture, solved without it, fits its
// remaining points better by more than a pixel; the picture keeps five points or more.
int CMcCore::DropStrayRowPoints()
{
    int dropped = 0;
    CKpic* first = GetFirstPicture();
    for (const auto& owned : m_Pictures) {
        CKpic* p = owned.get();
        if (p == first || p->m_Status < 3 || m_JobMode == -1)
            continue;
        while (p->CountFittedPoints() > FewestKeptPoints) {
            double pixels = 0.0;
            const int worst = FarthestPoint(p, m_CommonFocal, pixels);
            if (worst < 0 || pixels <= StrayResidual)
                break;
            const CDPoint direction = p->m_Direction;
            const double roll = p->m_Roll;
            const double fitScore = p->m_FitScore;
            const int32_t status = p->m_Status;
            const auto points = p->m_Points;
            const double with = p->OptimizeOrientation();
            p->RefreshControlPoints();
            p->m_Points[static_cast<size_t>(worst)].state = -1;
            const double without = p->OptimizeOrientation();
            p->RefreshControlPoints();
            if (!(without < with - StrayGain)) {
                p->m_Direction = direction;
                p->m_Roll = roll;
                p->m_FitScore = fitScore;
                p->m_Status = status;
                p->m_Points = points;
                break;
            }
            ++dropped;
        }
    }
    if (dropped > 0)
        m_RegionsValid = 0;
    return dropped;
}

int CMcCore::Close360Loop()
{
    if (m_JobMode == -1)
        return -1;
    if (m_LayoutRect.Width() == 0) {
        BuildLayoutGrid();
        if (m_LayoutRect.Width() == 0)
            return -1;
    }
    CKpic* left = nullptr;
    CKpic* right = nullptr;
    FindRowEnds(*this, left, right);
    // The turn is measured between the two end pictures, over every picture of the row between
    // them: all must be fitted and each tied to the next by a point. A row broken by an unfitted
    // picture, or by two neighbours fitted from their other sides that share no point, hangs
    // from the base picture in two pieces that the turn says nothing about (its miss is then
    // that of one link).
    if (!left || !right)
        return -1;
    CKpic* previous = nullptr;
    for (int column = m_HomeRowExtent.left; column <= m_HomeRowExtent.right; ++column) {
        CKpic* here = nullptr;
        for (const auto& owned : m_Pictures)
            if (owned->m_LayoutCell == CPoint(column, 0))
                here = owned.get();
        if (!here || here->m_Status < 3 || (previous && !SharePoint(previous, here)))
            return -1;
        previous = here;
    }
    const int i = left->FindPointStateM6();
    const int j = right->FindPointStateM6();
    if (i < 0 || j < 0)
        return -1;
    CKpic* first = GetFirstPicture();

    // The end pictures' points are read where their pictures now lie, not where the initial
    // search left them. Re-solving the row on a new focal moves the ends again, so the
    // correction is repeated until the turn misses by less than a thousandth of a radian or
    // stops getting better.
    // A row the search completed by walking back from the other end has its end pictures tied
    // directly, so their point misses nothing: its turn is measured where the two walks met,
    // over every link of the row.
    CKpic* seamLeft = nullptr;
    CKpic* seamRight = nullptr;
    for (const auto& owned : m_Pictures) {
        if (m_RowSeam != 0 && owned->m_LayoutCell == CPoint(m_RowSeam - 1, 0))
            seamLeft = owned.get();
        if (m_RowSeam != 0 && owned->m_LayoutCell == CPoint(m_RowSeam, 0))
            seamRight = owned.get();
    }
    const int si = seamLeft ? seamLeft->FindPointStateM6() : -1;
    const int sj = seamRight ? seamRight->FindPointStateM6() : -1;
    const bool atSeam = si >= 0 && sj >= 0;
    // The turn from the left end's point to the right end's (or from the right one's at the
    // meeting to the left one's), taken as the nearest to a full one.
    auto turnOf = [&]() {
        const double d = atSeam ? ClosingPoint(seamLeft, si).x - ClosingPoint(seamRight, sj).x
                                : ClosingPoint(right, j).x - ClosingPoint(left, i).x;
        return d + EngineTwoPi * std::round((EngineTwoPi - d) / EngineTwoPi);
    };
    auto miss = [&]() { return turnOf() - EngineTwoPi; };
    auto correctFocal = [&]() {
        const double turn = turnOf();
        if (turn > 0.0)
            m_CommonFocal = first->ClampFocal(m_CommonFocal * turn / EngineTwoPi);
    };
    auto closeTurn = [&](double reference) {
        double before = std::fabs(miss());
        for (int round = 0; round < 20 && before >= 0.001 && m_JobMode != -1; ++round) {
            const double focal = m_CommonFocal;
            correctFocal();
            if (m_CommonFocal == focal)
                break;
            TiltRow(reference, 0.0, 0.0);
            const double after = std::fabs(miss());
            if (!(after < before))
                break;
            before = after;
        }
    };
    correctFocal();
    TiltRow(EngineHalfPi, 0.0, 0.0);
    closeTurn(EngineHalfPi);
    double dy = ClosingPoint(left, i).y - ClosingPoint(right, j).y;
    if (m_LayoutRect.Height() != 0)
        return 1;

    CKpic* base = FindPictureAtHomeCell();
    const double pb = base ? base->Pitch() : 0.0;
    const double pl = left->Pitch(), pr = right->Pitch();
    if (pl == pr)
        return 1;
    const double k1 = std::clamp(std::fabs((pb - pl) / (pl - pr)), 0.0, 1.0);
    const double k2 = std::clamp(std::fabs((pb - pr) / (pl - pr)), 0.0, 1.0);
    const double reference = (right->Yaw() + left->Yaw() + EngineTwoPi) / 2.0;
    bool focalChanged = false;
    for (int counter = 0; std::fabs(dy) > 0.003; ++counter) {
        const double lower = std::clamp(-k1 * dy / 3.0, -0.03, 0.03);
        const double upper = std::clamp(k2 * dy / 3.0, -0.03, 0.03);
        TiltRow(reference, lower, upper);
        focalChanged = false;
        const double next = ClosingPoint(left, i).y - ClosingPoint(right, j).y;
        if (std::fabs(next) > std::fabs(dy) || counter > 10)
            break;
        correctFocal();
        focalChanged = true;
        dy = next;
    }
    // The last focal correction reaches every picture, so that the pictures and the common
    // focal agree when the row is closed.
    if (focalChanged)
        TiltRow(reference, 0.0, 0.0);
    closeTurn(reference);
    return 1;
}

int CMcCore::TiltRow(double reference, double lower, double upper)
{
    CKpic* first = GetFirstPicture();
    // The base picture is not moved, but it is seen with the row's focal like every other.
    if (first && first->m_Status >= 3) {
        first->m_Focal = m_CommonFocal;
        first->RefreshControlPoints();
    }
    for (const auto& owned : m_Pictures) {
        CKpic* p = owned.get();
        // Pictures the row search left unfitted have no points to be re-solved on.
        if (p == first || p->m_Status < 3)
            continue;
        const double h = p->Height();
        if (p->Yaw() > reference - EngineHalfPi)
            p->m_OpticalCentre.y -= h * upper;
        else if (p->Yaw() < reference - EngineTwoPi + EngineHalfPi)
            p->m_OpticalCentre.y -= h * lower;
        ResolvePointPartners(p);
        p->UpdatePointSpherePositions();
        p->m_Focal = m_CommonFocal;
        if (p->ComputePointError() >= UnusableScore / 2)
            InitPictureFocal(p);
        p->OptimizeOrientation();
        p->RefreshControlPoints();
    }
    m_RegionsValid = 0;
    UpdateBoundingRect();
    return 1;
}

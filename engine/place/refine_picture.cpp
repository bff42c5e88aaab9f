// Refining one picture after a drop: a control-point pair is seeded at the drop, the seed
// settles on matching image detail, more pairs are found with the neighbours and the picture's
// orientation is re-solved pass by pass until the fit is good or stops improving. Also the
// consolidation of a picture from its feature windows, the search for one more automatic pair
// near a point, and aiming a picture so that one of its pixels lies on a direction.
#include <algorithm>
#include <cmath>
#include <string>

#include "engine/fit/fit_candidates.h"
#include "engine/fit/fit_messages.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

constexpr int MsgSeedNotMatched = 52;
constexpr int ImproveTries = 48;
constexpr int MaxPasses = 14;
constexpr int ProgressTarget = 3; // counter c3: the work still ahead

ControlPoint& Slot(CKpic* picture, int slot) { return picture->m_Points[static_cast<std::size_t>(slot)]; }

bool Given(CPoint p) { return !(p.x == 0 && p.y == 0); }

// Slot of `picture` that carries the id; -1 when none.
int SlotWithId(CKpic* picture, int32_t id)
{
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i)
        if (Slot(picture, i).IsUsed() && Slot(picture, i).pointId == id)
            return i;
    return -1;
}

} // namespace

int CMcCore::AimPictureAtSphere(CKpic* picture, CPoint picturePoint, CDPoint direction)
{
    if (picture == nullptr)
        return -1;
    picture->AimPointAt(CDPoint(picturePoint.x, picturePoint.y), direction);
    picture->m_Status = 1;
    if (m_Host)
        m_Host->OnPictureChanged(picture->m_Path);
    return 1;
}

int CMcCore::SetPointAtPixel(CKpic* picture, CPoint picturePoint, CPoint outputPoint)
{
    if (picture == nullptr)
        return -1;
    return AimPictureAtSphere(picture, picturePoint, PixelToSphere(outputPoint.x, outputPoint.y));
}

int CMcCore::SeedControlPoints(CKpic* picture, CPoint picturePoint, CPoint outputPoint)
{
    if (picture == nullptr)
        return -1;
    CDPoint direction = PixelToSphere(outputPoint.x, outputPoint.y);
    EnsurePictureImage(picture);
    picture->EnsureReady();
    picture->BuildFeatureGrid();
    COLORREF centre = 0, patch = 0;
    const int strength = picture->MeasureFeatureStrength(picturePoint.x, picturePoint.y, centre, patch);
    const int32_t id = NewPointId();
    CPoint chosen = picturePoint;
    CKpic* partner = nullptr;
    if (strength > 50)
        partner = AddPartnerPoint(picture, id, direction);
    for (int attempt = 0; partner == nullptr && attempt < 3; ++attempt) {
        const CPoint f = picture->FindNearestFeature(picturePoint.x, picturePoint.y, attempt == 0 ? 50 : 0);
        if (f.x == 0 && f.y == 0)
            continue;
        direction = picture->PixelPointToSphere(f.x, f.y);
        partner = AddPartnerPoint(picture, id, direction);
        if (partner != nullptr)
            chosen = f;
        else
            picture->DampFeaturesNear(f.x, f.y);
    }
    if (partner == nullptr)
        return -2;
    const int partnerSlot = SlotWithId(partner, id);
    if (partnerSlot >= 0)
        Slot(partner, partnerSlot).kind = 4;
    InitPictureFocal(picture);
    const int slot = picture->FindFreePoint();
    ControlPoint& cp = Slot(picture, slot);
    cp.kind = 5;
    cp.state = 1;
    cp.pointId = id;
    cp.target = direction;
    cp.position = CDPoint(chosen.x, chosen.y);
    cp.SetPlanePoint(picture->PixelToPlane(cp.position), picture->m_Focal);
    m_RegionsValid = 0;
    return slot;
}

int CMcCore::ImprovePointMatch(CKpic* picture, int point)
{
    if (picture == nullptr || point < 0 || point >= CONTROL_POINT_SLOTS)
        return -1;
    EnsurePictureImage(picture);
    picture->EnsureReady();
    picture->BuildFeatureGrid();
    for (int attempt = 0; attempt < ImproveTries; ++attempt) {
        if (m_JobMode == -1)
            return 0;
        PollBreak();
        if (m_JobMode == -1)
            return 0;
        const CDPoint at = Slot(picture, point).position;
        const CPoint f = picture->FindNearestFeature(static_cast<int>(std::lround(at.x)),
                                                     static_cast<int>(std::lround(at.y)), 0);
        if ((f.x == -1 && f.y == -1) || (f.x == 0 && f.y == 0))
            return -1;
        const CDPoint s = picture->PixelPointToSphere(f.x, f.y);
        const int32_t id = NewPointId();
        CKpic* q = AddPartnerPoint(picture, id, s);
        if (q == nullptr || q == picture) {
            picture->DampFeaturesNear(f.x, f.y);
            continue;
        }
        const int qSlot = SlotWithId(q, id);
        if (qSlot >= 0)
            Slot(q, qSlot).kind = 4;
        const int slot = picture->AddPointAt(id, CDPoint(f.x, f.y));
        if (slot < 0 || slot >= CONTROL_POINT_SLOTS) {
            if (qSlot >= 0)
                Slot(q, qSlot).Free();
            return 0;
        }
        ControlPoint& cp = Slot(picture, slot);
        cp.kind = 4;
        cp.state = 1;
        cp.target = s;
        if (RefinePointPosition(picture, slot) == 1) {
            cp.state = 3;
            m_RegionsValid = 0;
            return 1;
        }
        picture->DampFeaturesNear(static_cast<int>(std::lround(cp.position.x)),
                                  static_cast<int>(std::lround(cp.position.y)));
        cp.Free();
        if (qSlot >= 0)
            Slot(q, qSlot).Free();
    }
    return -1;
}

int CMcCore::ConsolidatePicture(CKpic* picture)
{
    if (picture == nullptr)
        return -1;
    for (int cycle = 0; cycle < 5 && m_JobMode != -1; ++cycle) {
        const int e = EvaluateFeatureWindows(picture);
        if (e < 1 || picture->CountFittedPoints() < 2)
            break;
        RefitPicture(picture, -1, 1);
    }
    if (picture->CountFittedPoints() < 3)
        return -1;
    MatchPicturePointsWith(picture, 1.0, 8);
    UpdatePictureGeometry(picture);
    if (picture->m_FitScore <= 10.0)
        return 1;
    RemoveAutoPoints(picture);
    return -1;
}

int CMcCore::RefinePicture(CKpic* picture, CPoint picturePoint, CPoint outputPoint, int refineMode)
{
    if (picture == nullptr)
        return -1;
    EnsurePictureImage(picture);
    double moved = 1000.0;
    const double radius = std::clamp(refineMode, 1, 32) * 4 + 7;
    const double tolerance = m_FitTolerance;

    // Settles the point in `slot` on image detail; its result, with the distance it moved.
    auto settle = [&](int slot) {
        const CDPoint before = Slot(picture, slot).position;
        const int r = RefinePointPosition(picture, slot);
        const CDPoint after = Slot(picture, slot).position;
        moved = std::hypot(after.x - before.x, after.y - before.y);
        return r;
    };
    // A point that did not settle is replaced by an automatic pair found near it; -2 when none.
    auto replaceByImproved = [&](int slot) {
        if (ImprovePointMatch(picture, slot) != 1) {
            FitStatus(m_Host, MsgSeedNotMatched);
            RemoveControlPoint(picture, slot);
            return -2;
        }
        RemoveControlPoint(picture, slot);
        picture->CountControlPoints();
        return picture->FindFittedPoint();
    };

    if (picture->CountFittedPoints() == 0 && Given(picturePoint) && Given(outputPoint)) {
        int slot = SeedControlPoints(picture, picturePoint, outputPoint);
        if (slot >= 0) {
            const int r = settle(slot);
            if (refineMode > 0 && moved < radius && m_Host)
                m_Host->ShowViewMessage(1, picture->m_Path);
            if (r != 1)
                slot = replaceByImproved(slot);
            if (slot < 0)
                return -2;
            Slot(picture, slot).state = 3;
        }
        if (picture->CountFittedPoints() == 0 && !(picture->Yaw() == 0.0 && picture->Pitch() == 0.0)) {
            if (ConsolidatePicture(picture) != 1)
                return -2;
            if (picture->m_FitScore > 2.0 * tolerance)
                return -2;
        }
    }

    const int fittedAtStart = picture->CountFittedPoints();
    if (fittedAtStart > 0 && picture->CountControlPoints() == 1) {
        const CDPoint at = Slot(picture, 0).position;
        if (std::lround(at.x) == picturePoint.x && std::lround(at.y) == picturePoint.y) {
            const int r = settle(0);
            if (r == 0 || r == -2)
                return -2;
            int slot = 0;
            if (r != 1)
                slot = replaceByImproved(0);
            if (slot < 0)
                return -2;
            Slot(picture, slot).state = 3;
        }
    }

    if (picture->CountFittedPoints() == 1) {
        const int point = picture->FindFittedPoint();
        AimFirstPointAtTarget(picture);
        if (ImprovePointMatch(picture, point) != 1) {
            if (moved >= radius)
                return -2;
            ConsolidatePicture(picture);
            if (picture->m_FitScore > 3.0 * tolerance)
                RemoveAutoPoints(picture);
        }
        ResolvePointPartners(picture);
        picture->OptimizeOrientation();
        picture->RefreshControlPoints();
        picture->m_Status = 1;
        MatchPicturePointsWith(picture, 1.0, 8);
        if (picture->CountFittedPoints() < 2 && moved > radius) {
            picture->m_Status = 0;
            return -2;
        }
        picture->OptimizeOrientation();
        picture->RefreshControlPoints();
        MatchPicturePointsWith(picture, 1.0, 8);
    }

    const double roll0 = picture->m_Roll;
    int bad = 0;
    for (int pass = 0; pass < MaxPasses && m_JobMode != -1; ++pass) {
        const int fitted = picture->CountFittedPoints();
        if (fitted < 2 || fitted > 7)
            break;
        m_Progress[ProgressTarget] = 10 - fitted;
        int e = TransferOpenPoint(picture);
        if (e < 1)
            e = EvaluateFeatureWindows(picture);
        const double s0 = picture->m_FitScore;
        if (e < 0)
            break;
        int rr = 1;
        if (e >= 1 && picture->CountFittedPoints() >= 2)
            rr = RefitPicture(picture, -1, 1);
        const int n = picture->CountControlPoints();
        const int f = picture->CountFittedPoints();
        double s = picture->m_FitScore;
        const double rollDrift = std::fabs(roll0 - picture->m_Roll);
        if (s0 <= 0.01 || (s <= 1.5 * s0 && s <= s0 + 2.0 && rr >= 0)) {
            if (s <= 2.0 * tolerance && f >= n - f && rollDrift <= 0.1)
                continue;
            if (moved > radius) {
                if (s > 3.0 * tolerance)
                    break;
                if (s > 2.0 * tolerance && (f < n - f || rollDrift > 0.1))
                    break;
            }
            m_Progress[ProgressTarget] += 3;
            MatchPicturePoints(picture);
            continue;
        }
        const int last = picture->LastUsedPoint();
        Slot(picture, last).state = -1;
        RefitPicture(picture, -1, 1);
        s = std::min(s, picture->m_FitScore);
        if (s > 1.5 * s0 || s > s0 + 2.0) {
            const int limit = moved > radius ? 4 : 6;
            if (bad >= limit)
                break;
            ++bad;
        }
        if (moved <= radius)
            m_Progress[ProgressTarget] += 3;
    }

    PollBreak();
    if (m_JobMode == -1)
        return -1;
    const int f = picture->CountFittedPoints();
    const double s = picture->m_FitScore;
    if (f >= 6 && s < tolerance)
        return 1;
    if (f >= 4 && s < 2.0 * tolerance)
        return moved >= radius ? 0 : 5;
    RemoveAutoPoints(picture);
    picture->m_Status = 0;
    m_Activity = 4;
    return -1;
}

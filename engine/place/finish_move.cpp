// Finishing a move of the whole panorama: the work-space point where the move ended becomes
// the new centre of the view (a fresh placement anchor on the base picture) and the panorama
// turns by the given angle; fisheye views re-aim their projection reference instead. Also the
// lookup of a stored open control point at a work-space point.
#include <string>

#include "engine/fit/fit_messages.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

constexpr int MsgNothingFitted = 51;
constexpr int MsgOutsideBasePicture = 33;

bool IsFisheyeProjection(int code) { return code >= 30 && code <= 39; }

bool SamePoint(CDPoint a, CDPoint b) { return a.x == b.x && a.y == b.y; }

} // namespace

int CMcCore::FinishMove(int x, int y, double turn)
{
    const bool pointGiven = !(x == 0 && y == 0);
    if (!pointGiven && turn == 0.0)
        return 1;
    if (GetFittedCount() < 1) {
        FitStatus(m_Host, MsgNothingFitted);
        return 0;
    }
    CKpic* base = GetFirstPicture();
    if (base == nullptr || base->m_Status < 1)
        return 0;
    const CDPoint direction = PixelToSphere(x, y);

    if (IsFisheyeProjection(m_Projection)) {
        // A point off the disc has no direction: the reference is not aimed at it.
        if (pointGiven && IsMissingDirection(direction))
            return 0;
        ProjectionReference& reference = GetProjectionReference();
        reference.roll -= turn;
        if (pointGiven)
            reference.direction = direction;
        return 1;
    }

    if (pointGiven) {
        if (base->HitTestPointArea(direction) == 0 && m_Host)
            m_Host->ShowMessage(FitMessage(MsgOutsideBasePicture), 1, std::string(), std::string());
        if (SamePoint(direction, InvalidDirection) || IsMissingDirection(direction))
            return 0;
        const CDPoint plane = base->SphereToPlane(direction);
        if (SamePoint(plane, InvalidPlanePoint))
            return 0;
        const int old = base->FindAnchorPoint();
        if (old >= 0)
            RemoveControlPoint(base, old);
        ControlPoint anchor;
        anchor.kind = 1;
        anchor.state = -4;
        anchor.pointId = PLACEMENT_ANCHOR_ID;
        anchor.target = CDPoint(0.0, 0.0);
        anchor.position = base->PlaneToPixel(plane);
        anchor.SetPlanePoint(plane, base->m_Focal);
        base->m_Points[static_cast<std::size_t>(base->FindFreePoint())] = anchor;
        m_RegionsValid = 0;
    }
    base->m_Roll -= turn;
    RefreshAllPictures();
    return 1;
}

int CMcCore::FindRegionAt(PointEntry& entry, int x, int y)
{
    for (const PointEntry& e : m_Regions) {
        if (e.ipos.x == x && e.ipos.y == y) {
            entry = e;
            return 1;
        }
    }
    return 0;
}

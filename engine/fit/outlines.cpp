// Where placed pictures land: a picture's placement anchor, its outline in the output plane,
// the bounding rectangle of all placed pictures, where one picture lands in another's pixels,
// whether an output square lies inside a picture, the base picture's lens figures, and the
// change notices these send to the host.
//
// Output pixels are points of the output plane at the current projection (x to the right,
// y down, (0, 0) in the direction of the projection reference); picture pixels are those of
// the picture's own rectangle.
#include <algorithm>
#include <cmath>

#include "engine/fit/fit_candidates.h"
#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

constexpr int32_t kAnchorState = -4;

// Outlines are kept within this square, whatever a projection gives far off its centre.
constexpr int32_t kOutlineLimit = 163840;

} // namespace

int CMcCore::NotifyHost(int code, const std::string* object)
{
    if (m_JobMode >= 2 && (code == HINT_FIT_CHANGED || code == HINT_BOUNDS_CHANGED))
        return 0;
    if (!m_Host)
        return 0;
    return m_Host->UpdateAllViews(nullptr, code, object);
}

int CMcCore::SetPicturePlacement(const std::string& path, CPoint pixel)
{
    CKpic* k = FindPictureByPath(path);
    if (!k)
        return 0;
    ControlPoint anchor;
    anchor.pointId = PLACEMENT_ANCHOR_ID;
    anchor.target = CDPoint(0.0, 0.0);
    anchor.state = kAnchorState;
    anchor.kind = 1;
    anchor.position = CDPoint(pixel.x, pixel.y);
    anchor.SetPlanePoint(k->PixelToPlane(anchor.position), k->m_Focal);
    int slot = k->FindAnchorPoint();
    if (slot < 0)
        slot = k->FindFreePoint();
    k->m_Points[static_cast<size_t>(slot)] = anchor;
    if (m_Host)
        m_Host->OnPlacementChanged(m_Host->GetInteractionLevel() > 1);
    return 1;
}

CRect CMcCore::GetPictureOutline(CKpic* picture)
{
    if (!picture)
        return CRect();
    const CRect& pr = picture->m_PictureRect;
    const int L = pr.left, T = pr.top, R = pr.right, B = pr.bottom;
    const int w = R - L, h = B - T;
    auto land = [&](int x, int y) { return SphereToPixel(picture->PixelToSphere(CDPoint(x, y))); };

    const CPoint centre = land((L + R) / 2, (T + B) / 2);
    CRect outline(centre, centre);
    for (int i = 0; i < 4; ++i) {
        ExtendRectToPoint(outline, land(L + i * (w / 4), T));
        ExtendRectToPoint(outline, land(L + (i + 1) * (w / 4), B));
        ExtendRectToPoint(outline, land(L, T + (i + 1) * (h / 4)));
        ExtendRectToPoint(outline, land(R, T + i * (h / 4)));
    }
    outline = outline & CRect(-kOutlineLimit, -kOutlineLimit, kOutlineLimit, kOutlineLimit);
    if (m_Projection == PROJ_LINEAR) {
        // The linear projection runs off to infinity at 90 degrees: keep to about 60 degrees
        // around the centre.
        const int a = static_cast<int>(std::clamp(m_CommonFocal * 1.732, 100.0, double(kOutlineLimit)));
        outline = outline & CRect(-a, -a, a, a);
    }
    return outline;
}

int CMcCore::UpdateBoundingRect()
{
    const CRect old = m_BoundingRect;
    m_BoundingRect = CRect(-400, -200, 400, 200);
    for (const auto& k : m_Pictures)
        if (k->m_Status > 0)
            m_BoundingRect.UnionRect(m_BoundingRect, GetPictureOutline(k.get()));
    if (m_BoundingRect == old)
        return 0;
    return NotifyHost(HINT_BOUNDS_CHANGED);
}

void CMcCore::ExtendBoundingRect(CKpic* picture)
{
    if (!picture)
        return;
    m_BoundingRect.UnionRect(m_BoundingRect, GetPictureOutline(picture));
    NotifyHost(HINT_BOUNDS_CHANGED);
}

CRect CMcCore::MapPictureRect(CKpic* from, CKpic* into)
{
    if (!from || !into)
        return CRect();
    const CRect& fr = from->m_PictureRect;
    const int w = fr.Width(), h = fr.Height();
    auto land = [&](int x, int y) { return into->SphereToPixelPoint(from->PixelToSphere(CDPoint(x, y))); };
    const CPoint centre = land(w / 2, h / 2);
    CRect r(centre, centre);
    ExtendRectToPoint(r, land(fr.left, fr.top));
    ExtendRectToPoint(r, land(fr.left, fr.bottom));
    ExtendRectToPoint(r, land(fr.right, fr.bottom));
    ExtendRectToPoint(r, land(fr.right, fr.top));
    CRect out;
    out.IntersectRect(r, into->m_PictureRect);
    return out;
}

int CMcCore::HitTestPicture(CKpic* picture, int x, int y, int size, int margin)
{
    if (!picture)
        return 0;
    CRect inside = picture->m_PictureRect;
    inside.InflateRect(margin, margin);
    const CPoint corners[4] = {{x, y}, {x + size - 1, y}, {x + size - 1, y + size - 1}, {x, y + size - 1}};
    for (const CPoint& c : corners)
        if (!inside.PtInRect(picture->SphereToPixelPoint(PixelToSphere(c.x, c.y))))
            return 0;
    return 1;
}

int CMcCore::GetLensFigures(double& focal35, double& horizontalDegrees, double& verticalDegrees,
                            double& sensorWidth, double& sensorHeight)
{
    focal35 = horizontalDegrees = verticalDegrees = sensorWidth = sensorHeight = 0.0;
    const CKpic* first = GetFirstPicture();
    if (m_FittedCount <= 1 || !first)
        return -1;
    const int w = first->Width(), h = first->Height();
    const double d = std::hypot(double(w), double(h));
    if (w == 0 || h == 0 || !(d > 0.0))
        return -1;
    // 43.267 mm: the diagonal of the 36 x 24 mm frame.
    focal35 = m_CommonFocal * 43.267 / d;
    const double H = 2.0 * std::atan2(double(w / 2), m_CommonFocal);
    const double V = 2.0 * std::atan2(double(h / 2), m_CommonFocal);
    if (H < EnginePi / 180.0 || V < EnginePi / 180.0)
        return -1;
    horizontalDegrees = H * 180.0 / EnginePi;
    verticalDegrees = V * 180.0 / EnginePi;
    const double f = first->m_ExifFocalLength;
    if (f > 0.0) {
        sensorWidth = 2.0 * f * std::tan(H / 2.0);
        sensorHeight = 2.0 * f * std::tan(V / 2.0);
    }
    return 1;
}

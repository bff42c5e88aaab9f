// The picture set's conversions between the sphere, the output plane, the rendered raster and
// the pictures; the default output area; and the break and progress poll of long jobs.
//
// Coordinates: a direction is (longitude, latitude) in radians; a plane point is in output-plane
// units (the projection with the common focal); a raster pixel is an output pixel of the render
// set-up, whose scaled origin (ox, oy) and scale s map it to the plane as ((x + ox) s, (y + oy) s).
#include <algorithm>
#include <cstdint>

#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/input_state.h"
#include "platform/system_services.h"

namespace {

// The progress tick runs around a ring of this many steps.
constexpr int32_t TickRing = 20735;

// Rectangle arithmetic in 64 bits: the corners of an output area can be the +-2.1e9 of a
// direction behind a linear view, whose differences and doubles overflow 32 bits.
struct WideRect {
    int64_t left, top, right, bottom;

    int64_t Width() const { return right - left; }
    int64_t Height() const { return bottom - top; }

    void Include(CPoint p)
    {
        left = std::min<int64_t>(left, p.x);
        top = std::min<int64_t>(top, p.y);
        right = std::max<int64_t>(right, p.x);
        bottom = std::max<int64_t>(bottom, p.y);
    }
};

int32_t ToInt32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, -2100000000, 2100000000));
}

// (sum of the counters c0..c8) mod the ring, as the signed remainder of a 64-bit sum.
int64_t CounterSumModRing(const int32_t* c)
{
    int64_t sum = 0;
    for (int i = 0; i < 9; ++i)
        sum += c[i];
    return sum % TickRing;
}

} // namespace

CDPoint CMcCore::SphereToPlane(CDPoint direction) const
{
    if (IsMissingDirection(direction))
        return InvalidPlanePoint;
    return ProjectDirection(m_Projection, direction, m_CommonFocal);
}

CDPoint CMcCore::PlaneToSphere(CDPoint plane) const
{
    return UnprojectPlanePoint(m_Projection, plane, m_CommonFocal);
}

CPoint CMcCore::SphereToPixel(CDPoint direction) const
{
    return SphereToPlane(direction).Round();
}

CDPoint CMcCore::PixelToSphere(int x, int y) const
{
    return PlaneToSphere(CDPoint(x, y));
}

CDPoint CMcCore::OutputToPlane(int x, int y) const
{
    return OutputToPlaneD(CDPoint(x, y));
}

CDPoint CMcCore::OutputToPlaneD(CDPoint p) const
{
    return {(p.x + m_ScaledRect.left) * m_RenderScale, (p.y + m_ScaledRect.top) * m_RenderScale};
}

CDPoint CMcCore::PlaneToOutput(CDPoint plane) const
{
    return {plane.x / m_RenderScale - m_ScaledRect.left, plane.y / m_RenderScale - m_ScaledRect.top};
}

CPoint CMcCore::PixelToPicture(CKpic* picture, int x, int y) const
{
    return PixelToPictureD(picture, x, y);
}

CPoint CMcCore::PixelToPictureD(CKpic* picture, double x, double y) const
{
    if (picture == nullptr)
        return InvalidPlanePoint.ToPoint();
    return picture->SphereToPixelPoint(PlaneToSphere(CDPoint(x, y)));
}

CPoint CMcCore::PictureToPixel(CKpic* picture, int x, int y) const
{
    if (picture == nullptr)
        return InvalidPlanePoint.ToPoint();
    return SphereToPixel(picture->PixelPointToSphere(x, y));
}

CRect CMcCore::GetOutputArea(int centre)
{
    m_RenderShape = centre;
    WideRect a{-160, -120, 160, 120};
    // The base picture: list index 0.
    if (CKpic* first = m_Pictures.empty() ? nullptr : m_Pictures.front().get()) {
        const CRect& r = first->m_PictureRect;
        a.Include(PictureToPixel(first, r.left, r.top));
        a.Include(PictureToPixel(first, r.right, r.bottom));
    }
    // Centre the area on the origin.
    const int64_t halfWidth = a.Width() / 2;
    const int64_t halfHeight = a.Height() / 2;
    const WideRect c{-halfWidth, -halfHeight, halfWidth, halfHeight};
    a = c;
    for (const auto& picture : m_Pictures)
        if (picture->m_Status > 2)
            a.Include(SphereToPixel(picture->m_Direction));
    // At most twice the centred area.
    a.left = std::max(a.left, 2 * c.left);
    a.top = std::max(a.top, 2 * c.top);
    a.right = std::min(a.right, 2 * c.right);
    a.bottom = std::min(a.bottom, 2 * c.bottom);
    if (a.right <= a.left || a.bottom <= a.top)
        a = WideRect{0, 0, 0, 0};
    if (m_Projection >= PROJ_CONFORMAL_FISHEYE && centre == 1) {
        const int64_t dx = (-a.left - a.right) / 2;
        const int64_t dy = (-a.top - a.bottom) / 2;
        a.left += dx;
        a.right += dx;
        a.top += dy;
        a.bottom += dy;
    }
    return CRect(ToInt32(a.left), ToInt32(a.top), ToInt32(a.right), ToInt32(a.bottom));
}

int CMcCore::PollBreak()
{
    if (m_JobMode == 0)
        return 0;
    if (m_JobMode == -1)
        return 1;

    // The window keeps painting and records the break gestures through the whole job, not
    // only when the timer ring turns; the pump itself limits how often it delivers.
    platform::EventPump().Pump();

    // Both keys are always asked, so that a press seen since the last poll is taken now.
    platform::IInputState& input = platform::Input();
    int key = 0;
    if (input.AsyncKeyState(platform::Key::LeftButton))
        key |= 1;
    if (input.AsyncKeyState(platform::Key::Escape))
        key |= 27;

    if (m_JobMode == 1) {
        if (key != 0)
            m_JobMode = -1;
        return key;
    }
    if (m_JobMode != 2)
        return 0;

    int64_t t = CounterSumModRing(m_Progress);
    if (t <= 0) {
        // Keep c7 clear of overflow: whole rings taken off it leave the tick unchanged.
        if (m_Progress[7] > INT32_MAX - 200 - TickRing)
            m_Progress[7] -= TickRing * (m_Progress[7] / TickRing);
        m_Progress[7] += 200;
        t += 200;
    }
    const auto tick = static_cast<int32_t>(std::clamp<int64_t>(t, 1, TickRing));
    if (key == 0 && tick == m_Progress[9])
        return 0;
    m_Progress[9] = tick;
    if (m_Host != nullptr) {
        const int answer = m_Host->OnProgress(key, tick);
        m_JobMode = answer;
        if (answer == -2 && key != 0)
            m_JobMode = -1;
    }
    return key;
}

int CMcCore::GetProgressTick()
{
    const auto tick = static_cast<int32_t>(std::clamp<int64_t>(CounterSumModRing(m_Progress), 1, TickRing));
    m_Progress[9] = tick;
    return tick;
}

void CMcCore::ResetProgress()
{
    std::fill(std::begin(m_Progress), std::end(m_Progress), 0);
}

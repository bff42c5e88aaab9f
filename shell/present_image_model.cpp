// The image window's arithmetic; see present_image_model.h.
#include "shell/present_image_model.h"

#include "common/helpers.h"

#include <algorithm>
#include <cstdio>

namespace {
long long g_bitmapLimit = kMaxDisplayBitmapBytes;
int ClampInt(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }
} // namespace

void CImageWindowCascade::KeepInside(const CRect& desktop)
{
    m_next.x = std::max(desktop.left, std::min(m_next.x, desktop.right - 50));
    m_next.y = std::max(desktop.top, std::min(m_next.y, desktop.bottom - 30));
}

CPoint CImageWindowCascade::Advance()
{
    m_next.Offset(30, 20);
    return m_next;
}

CPoint CImageWindowCascade::PlaceFor(CSize outer, const CRect& desktop)
{
    if (m_next.x + outer.cx > desktop.Width() || m_next.y + outer.cy > desktop.Height())
        m_next = kReset;
    return m_next;
}

CImageWindowCascade& CImageWindowCascade::Shared()
{
    static CImageWindowCascade cascade;
    return cascade;
}

std::string ImageWindowTitle(const std::string& name, CSize pictureSize, int zoomFactor)
{
    char size[64];
    std::snprintf(size, sizeof size, "  (%d x %d)", pictureSize.cx, pictureSize.cy);
    return name + size + GetZoomLabel(zoomFactor);
}

void SetDisplayBitmapLimit(long long bytes) { g_bitmapLimit = bytes > 0 ? bytes : kMaxDisplayBitmapBytes; }

bool DisplayBitmapFits(CSize size, int bytesPerPixel)
{
    if (size.cx < 1 || size.cy < 1)
        return false;
    return static_cast<long long>(size.cx) * size.cy * bytesPerPixel <= g_bitmapLimit;
}

int ChooseLoadFactor(CSize turned, int bytesPerPixel, const std::function<bool(CSize)>& canMake)
{
    if (canMake(turned))
        return 1;
    long long estimate = static_cast<long long>(turned.cx / 100) * (turned.cy / 10) * bytesPerPixel;
    int factor = 1;
    while (estimate > 64000 && factor < 64) {
        factor *= 2;
        estimate /= 4;
    }
    if (estimate > 64000)
        return -1;
    if (canMake(CSize(turned.cx / factor, turned.cy / factor)))
        return factor;
    factor *= 2;
    if (canMake(CSize(turned.cx / factor, turned.cy / factor)))
        return factor;
    return -1;
}

CSize ImageWindowClientSize(CSize display, int barHeight, int barRight, const CRect& desktop)
{
    const int maxW = desktop.Width() * 2 / 3, maxH = desktop.Height() * 2 / 3;
    int w = ClampInt(display.cx, 120, 5000);
    w = std::max(barRight, std::min(w, maxW));
    int h = ClampInt(display.cy + barHeight, 20, 5000);
    h = std::max(160, std::min(h, maxH));
    return {w, h};
}

CSize ImageWindowScrollRanges(CSize display, int barHeight, CSize client)
{
    return {ClampInt(display.cx - client.cx, 1, 999999), ClampInt(display.cy + barHeight - client.cy, 1, 999999)};
}

CPoint TurnedPointToPicture(CPoint q, CSize turned, int turn)
{
    const int W = turned.cx, H = turned.cy;
    switch (turn) {
    case 1: return {q.y, W - q.x - 1};
    case 2: return {W - q.x - 1, H - q.y - 1};
    case 3: return {H - q.y - 1, q.x};
    default: return q;
    }
}

bool CanZoomOut(int reduce, CSize loadTurned)
{
    if (reduce >= 32)
        return false;
    return !(loadTurned.cx / (2 * reduce) < 80 && loadTurned.cy / (2 * reduce) < 80);
}

CSize ScopeFullSize(CSize desktop, CSize client, int reduce, int loadFactor)
{
    const int k = reduce * loadFactor;
    // Clamp with the lower bound winning, as the window's own clamp does.
    const int w = std::max(640, std::min(desktop.cx, client.cx / 2 * k));
    const int h = std::max(480, std::min(desktop.cy, client.cy / 2 * k));
    return {w, h};
}

CPoint ImageWindowPictureOrigin(CSize client, CSize display, int barHeight)
{
    return {std::max(0, (client.cx - display.cx) / 2), std::max(barHeight, (client.cy - display.cy) / 2 + barHeight)};
}

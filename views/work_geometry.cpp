#include "views/work_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/message_catalogue.h"

namespace workview {

namespace {

CRect Grow(const CRect& r, int d) { return {r.left - d, r.top - d, r.right + d, r.bottom + d}; }

} // namespace

CRect FitViewRect(const CRect& client, int cellSize)
{
    CRect r(client.left + cellSize, client.top + cellSize, client.right - cellSize, client.bottom - cellSize);
    if (r.Width() <= 0 || r.Height() <= 0)
        r = Grow(CRect(-80, -60, 80, 60), 32);
    return r;
}

CRect FitContentRect(const CRect& placed, const CRect& baseRect)
{
    CRect base(baseRect.left / 2, baseRect.top, baseRect.right / 2, baseRect.bottom);
    return Grow(placed | base, 32);
}

int ChooseFitZoom(CSize content, CSize view, int baseWidth)
{
    double r = view.cy != 0 ? double(content.cy) / view.cy : 0.0;
    if (r != 0.0)
        r = view.cx != 0 ? double(content.cx) / view.cx : 0.0;
    int zoom = r <= 1 ? 1 : r <= 3.2 ? 2 : r <= 7.5 ? 4 : r <= 17 ? 8 : 16;
    while (baseWidth / zoom > 240 && zoom < 9)
        zoom *= 2;
    return zoom;
}

CRect ScrollRect(const CRect& work, int zoom, const CRect& canvasRect, CSize client)
{
    CRect r(work.left / zoom, work.top / zoom, work.right / zoom, work.bottom / zoom);
    r = r | canvasRect;
    r = r | CRect(-client.cx / 2, -client.cy / 2, client.cx - client.cx / 2, client.cy - client.cy / 2);
    r = Grow(r, 32);
    return {r.left / 16 * 16, r.top / 16 * 16, r.right / 16 * 16, r.bottom / 16 * 16};
}

CRect CanvasWindow(const CRect& clientZoomed, CSize canvasSize, CSize client)
{
    int left = clientZoomed.left - (canvasSize.cx - client.cx) / 2;
    int top = clientZoomed.top - (canvasSize.cy - client.cy) / 2;
    left = left / 16 * 16;
    top = top / 16 * 16;
    return {left, top, left + canvasSize.cx, top + canvasSize.cy};
}

int CenterScrollPosition(int viewPoint, int client, int total)
{
    return std::clamp(viewPoint - client / 2, 0, std::max(total, 0));
}

int StockLayout::Recalc(int level, CSize client, int pieces)
{
    const int cw = client.cx, ch = client.cy;
    gapMin = 3;
    gapX = gapY = 4;
    cellMax = 2 * (cw + ch) / (pieces + 7) - 2;
    const int a = std::clamp(cellMax * 12 / 14 - 2, 6, 160);
    cellMax = a * 14 / 12;
    const int t = cellSize * 10 / 12;
    const int t2 = std::clamp(t, a / 4, a);
    if (t2 != t || level > 2) {
        thumbSize = t2;
        margin = std::clamp(t2 / 12, 2, 10);
        cellSize = t2 + 2 * margin;
    }
    const int c = (cw - 3) / (cellSize + 3);
    if (c < 2) {
        cols = 1;
    } else {
        gapX = (cw - 6 - cellSize * c) / (c - 1);
        cols = c;
    }
    const int r = (ch - 3) / (cellSize + 3);
    if (r < 2) {
        rows = 1;
    } else {
        gapY = (ch - 6 - cellSize * r) / (r - 1);
        rows = r;
    }
    return 1;
}

void StockLayout::StepSmaller(CSize client, int pieces)
{
    const int c = cellSize;
    cellSize = std::clamp(c * 6 / 10, 6, 160);
    if (cellSize < cellMax / 4)
        cellSize = cellMax;
    Recalc(3, client, pieces);
    if (cellSize == c) {
        cellSize = cellMax;
        Recalc(3, client, pieces);
    }
}

CSize StockLayout::ThumbSize(CSize picture) const
{
    const int W = picture.cx, H = picture.cy;
    if (W <= 0 || H <= 0)
        return {0, 0};
    if (H < W) {
        const int w = std::min(W, thumbSize);
        return {w, int(int64_t(w) * H / W)};
    }
    const int h = std::min(H, thumbSize);
    return {int(int64_t(h) * W / H), h};
}

CPoint StockLayout::CellOrigin(int i, int w, int h, CSize client, CPoint& anchor) const
{
    const int g = i + 1, f = cols, l = rows, r = gapMin, s = margin, T = thumbSize, Q = cellSize;
    const int cw = client.cx, ch = client.cy;
    int x = 0, y = 0;
    if (g < f) {
        x = cw + s + (T - w) / 2 - (Q + r) * (f - i);
        y = r + s;
        anchor = {x + w / 2, y + h + s / 2};
    } else if (g == f) {
        x = cw - w - r - s;
        y = r + s;
        anchor = {x - s / 2, y + h + s / 2};
    } else if (g < f + l - 1) {
        x = cw - w - r - s;
        y = r + s + (g - f) * (Q + gapY) + (T - h) / 2;
        anchor = {x - s / 2, y + h / 2};
    } else if (g == f + l - 1) {
        x = cw - w - r - s;
        y = ch - h - r - s;
        anchor = {x - s / 2, y - s / 2};
    } else if (g < 2 * f + l - 2) {
        x = cw + s + (T - w) / 2 - Q - r - (g - f - l + 1) * (Q + gapX);
        y = ch - h - r - s;
        anchor = {x + w / 2, y - s / 2};
    } else if (g == 2 * f + l - 2) {
        x = r + s;
        y = ch - h - r - s;
        anchor = {w + r + s + s / 2, y - s / 2};
    } else if (g < 2 * f + 2 * l) {
        x = r + s;
        y = ch - (g - 2 * f - l + 2) * (Q + r) - h - 2 * s - r;
        if (y < Q + 2 * r + s)
            return {0, 0};
        anchor = {w + r + s + s / 2, y + h / 2};
    } else {
        return {0, 0};
    }
    return {x, y};
}

std::string StatusText(bool hasPicture, CPoint centre, CPoint edge, CPoint viewShift, const CRect& area, CSize output)
{
    std::string text;
    char buf[256];
    if (hasPicture) {
        std::snprintf(buf, sizeof buf, "%s X:%d  Y:%d,  ", Catalogue().centerOffset.c_str(), viewShift.x - centre.x, centre.y - viewShift.y);
        text += buf;
        const double angle = std::atan2(double(edge.y - centre.y), double(edge.x - centre.x));
        std::snprintf(buf, sizeof buf, "%s: %3.1f,  ", "Rot", -angle * 57.2958);
        text += buf;
    }
    std::snprintf(buf, sizeof buf, "%s L:%d  T:%d  R:%d  B:%d,   ", Catalogue().cropArea.c_str(), area.left, -area.top, area.right,
                  -area.bottom);
    text += buf;
    std::snprintf(buf, sizeof buf, "%s W:%d   H:%d", Catalogue().finalOutputPixels.c_str(), output.cx, output.cy);
    text += buf;
    return text;
}

} // namespace workview

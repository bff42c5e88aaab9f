#include "views/work_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace workview {

namespace {

inline uint32_t ToArgb(uint32_t c)
{
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

inline uint32_t FromArgb(uint32_t a)
{
    return ((a & 0xFF) << 16) | (a & 0xFF00) | ((a >> 16) & 0xFF);
}

// The zoomed canvas area in work units, grown by 16 and truncated to whole cells.
CRect CellArea(const Mapping& map, const CRect& canvasRect)
{
    const int z = map.zoom;
    return {(canvasRect.left * z - 16) / 16 * 16, (canvasRect.top * z - 16) / 16 * 16,
            (canvasRect.right * z + 16) / 16 * 16, (canvasRect.bottom * z + 16) / 16 * 16};
}

// The multiple of 16 at or below v.
inline int FloorTo16(int v)
{
    return v >= 0 ? v / 16 * 16 : -((-(v + 1)) / 16 + 1) * 16;
}

} // namespace

bool CWorkCanvas::Create(CSize size)
{
    m_image = QImage();
    m_mask.clear();
    if (size.cx <= 0 || size.cy <= 0)
        return false;
    QImage image(size.cx, size.cy, QImage::Format_RGB32);
    if (image.isNull())
        return false;
    try {
        m_mask.assign(size_t(size.cx) * size.cy, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_image = std::move(image);
    Clear();
    return true;
}

uint32_t CWorkCanvas::Pixel(int x, int y) const
{
    return FromArgb(reinterpret_cast<const uint32_t*>(m_image.constScanLine(y))[x]);
}

void CWorkCanvas::SetPixel(int x, int y, uint32_t colour)
{
    reinterpret_cast<uint32_t*>(m_image.scanLine(y))[x] = ToArgb(colour);
}

void CWorkCanvas::Clear()
{
    if (m_image.isNull())
        return;
    m_image.fill(QColor(255, 255, 255));
    std::fill(m_mask.begin(), m_mask.end(), uint8_t(0));
}

bool CWorkCanvas::Shift(CPoint d)
{
    if (m_image.isNull())
        return true;
    const int w = m_image.width(), h = m_image.height();
    std::vector<uint8_t> oldMask;
    QImage oldImage;
    try {
        oldMask = m_mask;
        oldImage = m_image.copy();
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (oldImage.isNull())
        return false;
    Clear();
    const int x0 = std::max(0, -d.x), x1 = std::min(w, w - d.x);
    const int y0 = std::max(0, -d.y), y1 = std::min(h, h - d.y);
    if (x0 >= x1 || y0 >= y1)
        return true;
    for (int y = y0; y < y1; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(oldImage.constScanLine(y + d.y));
        auto* dst = reinterpret_cast<uint32_t*>(m_image.scanLine(y));
        std::memcpy(dst + x0, src + x0 + d.x, size_t(x1 - x0) * 4);
        std::memcpy(&m_mask[size_t(y) * w + x0], &oldMask[size_t(y + d.y) * w + x0 + d.x], size_t(x1 - x0));
    }
    return true;
}

template <class F>
void CWorkCanvas::ForEachCell(const Mapping& map, const CRect& canvasRect, F&& f)
{
    if (m_image.isNull())
        return;
    const CRect area = CellArea(map, canvasRect);
    for (int y = area.top; y < area.bottom; y += 16)
        for (int x = area.left; x < area.right; x += 16) {
            const CPoint k = map.WorkToCanvas({x, y});
            if (Contains(k))
                f(k);
        }
}

void CWorkCanvas::MarkCells(const Mapping& map, const CRect& canvasRect)
{
    ForEachCell(map, canvasRect, [&](CPoint k) {
        uint8_t& m = Mask(k.x, k.y);
        if (m != 0)
            m = kMaskMarked;
    });
}

void CWorkCanvas::EraseMarkedCells(const Mapping& map, const CRect& canvasRect, bool tintedToo)
{
    const int side = 16 / map.zoom;
    if (side <= 0)
        return;
    ForEachCell(map, canvasRect, [&](CPoint k) {
        const uint8_t m = Mask(k.x, k.y);
        if (tintedToo ? (m & 1) == 0 : m != kMaskMarked)
            return;
        const int x1 = std::min(k.x + side, m_image.width()), y1 = std::min(k.y + side, m_image.height());
        for (int y = k.y; y < y1; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(m_image.scanLine(y));
            std::fill(row + k.x, row + x1, 0xFFFFFFFFu);
        }
    });
}

int CBandDrawer::DrawPieceProgressive(CWorkCanvas& canvas, const Mapping& map, const CRect& canvasRect,
                                      IBandPicture* p)
{
    m_lastBlocks = 0;
    if (!p || !canvas.IsReady())
        return 0;
    const int z = map.zoom;
    if (!m_active || m_name != p->Name()) {
        m_name = p->Name();
        const CSize size = p->ImageSize();
        if (size.cx <= 0 || size.cy <= 0) {
            m_active = false;
            return 0;
        }
        const CRect outline = p->Outline();
        const CRect area(canvasRect.left * z, canvasRect.top * z, canvasRect.right * z, canvasRect.bottom * z);
        CRect band(std::max(outline.left, area.left), std::max(outline.top, area.top),
                   std::min(outline.right, area.right), std::min(outline.bottom, area.bottom));
        // Out to whole blocks: the blocks the outline's edges cross are drawn too, on either
        // side of the origin.
        band = {FloorTo16(band.left), FloorTo16(band.top), -FloorTo16(-band.right), -FloorTo16(-band.bottom)};
        m_tint = p->IsFitted() ? 2 : 1;
        if (band.IsRectEmpty()) {
            m_active = false;
            return 0;
        }
        m_band = band;
        m_nextY = band.top;
        m_active = true;
        return 1;
    }
    const CSize size = p->ImageSize();
    if (size.cx <= 0)
        return 0;
    if (!p->LoadImage())
        return -5;
    const int cx = size.cx / 2, cy = size.cy / 2;
    const int strength = p->BlendStrength();
    const uint8_t* table = p->ColourTable();
    int blocks = 0;
    int y = m_nextY;
    // Corner points further out than this are not interpolated between: a point behind the
    // picture's camera comes back as a far sentinel, and the straight line to it means nothing.
    const int64_t reach = 4 * int64_t(std::max(size.cx, size.cy)) + 64;
    auto near = [&](CPoint q) {
        return q.x >= -reach && q.y >= -reach && q.x <= size.cx + reach && q.y <= size.cy + reach;
    };
    for (; y < m_band.bottom; y += 16) {
        for (int x = m_band.left; x < m_band.right; x += 16) {
            const CPoint k = map.WorkToCanvas({x, y});
            if (!canvas.Contains(k) || (canvas.Mask(k.x, k.y) & 4) != 0 || !p->TouchesBlock(x, y))
                continue;
            const CPoint p00 = p->PicturePoint(x, y);
            // From zoom 16 on a block is one canvas pixel, sampled at its corner: the block's
            // other two corners are not needed.
            CPoint u, v;
            bool exact = !near(p00);
            if (z < 16 && !exact) {
                const CPoint p10 = p->PicturePoint(x + 16, y), p01 = p->PicturePoint(x, y + 16);
                exact = !near(p10) || !near(p01);
                u = p10 - p00;
                v = p01 - p00;
            }
            int gain = 0;
            if (strength > 0) {
                const double d = std::hypot(double(p00.x - cx), double(p00.y - cy)) / size.cx;
                gain = std::clamp(int(strength * 2 * d * d * d), 0, 50);
            }
            // A block on the picture's edge is drawn pixel by pixel: the pixels inside the
            // picture take its colours, the others keep what is beneath, except in a cell left
            // over from the previous drawing (marked), whose stale pixels go white.
            const uint8_t oldMask = canvas.Mask(k.x, k.y);
            const bool stale = oldMask == kMaskMarked;
            int inside = 0, outside = 0;
            for (int i = 0; i < 16; i += z) {
                for (int j = 0; j < 16; j += z) {
                    const CPoint c = map.WorkToCanvas({x + i, y + j});
                    if (!canvas.Contains(c))
                        continue;
                    CPoint q;
                    if (exact)
                        q = (i == 0 && j == 0) ? p00 : p->PicturePoint(x + i, y + j);
                    else
                        q = {p00.x + (u.x * i + v.x * j) / 15, p00.y + (u.y * i + v.y * j) / 15};
                    if (q.x < 0 || q.y < 0 || q.x >= size.cx || q.y >= size.cy) {
                        ++outside;
                        if (stale)
                            canvas.SetPixel(c.x, c.y, 0xFFFFFF);
                        continue;
                    }
                    ++inside;
                    uint32_t colour = p->ImagePixel(q.x, q.y) & 0xFFFFFF;
                    if (table || gain > 0) {
                        uint32_t out = 0;
                        for (int s = 0; s < 24; s += 8) {
                            int ch = int((colour >> s) & 0xFF);
                            if (table)
                                ch = table[ch];
                            if (gain > 0)
                                ch = std::clamp(ch + ch * gain / 100, 0, 255);
                            out |= uint32_t(ch) << s;
                        }
                        colour = out;
                    }
                    uint8_t mask = kMaskFitted;
                    if (m_tint == 1) {
                        colour = TintColour(colour);
                        mask = kMaskTinted;
                    }
                    canvas.Mask(c.x, c.y) = mask;
                    canvas.SetPixel(c.x, c.y, colour);
                }
            }
            // Only a cell the picture covers whole is owned by it (a fitted picture's cell is
            // passed over by the pictures after it). A partly covered cell stays open to them,
            // and is still marked as drawn so that the next redraw clears it.
            if (outside > 0) {
                uint8_t& cell = canvas.Mask(k.x, k.y);
                if (inside == 0)
                    cell = stale ? uint8_t(kMaskEmpty) : oldMask;
                else if (m_tint == 1 && oldMask != kMaskPartial)
                    cell = kMaskTinted;
                else
                    cell = kMaskPartial;
            }
            ++blocks;
        }
        if (blocks > z * 60 * z)
            break;
    }
    m_lastBlocks = blocks;
    if (y < m_band.bottom - 1) {
        m_nextY = y + 16;
        return 1;
    }
    m_active = false;
    return blocks == 0 ? 0 : -5;
}

void FrameDropPattern(uint32_t* pattern, int side)
{
    for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col)
            if (col < 6 || col >= side - 6 || row < 5 || row >= side - 5)
                pattern[size_t(row) * side + col] = kDropPatternBorder;
}

void BlendDropPattern(QImage& target, CPoint centre, const uint32_t* pattern, int side)
{
    const int half = side / 2;
    for (int row = 0; row < side; ++row) {
        const int y = centre.y + row - half;
        if (y < 0 || y >= target.height())
            continue;
        auto* line = reinterpret_cast<uint32_t*>(target.scanLine(y));
        for (int col = 0; col < side; ++col) {
            const int x = centre.x + col - half;
            const uint32_t c = pattern[size_t(row) * side + col] & 0xFFFFFF;
            if (x < 0 || x >= target.width() || c == 0xFFFFFF)
                continue;
            const uint32_t old = FromArgb(line[x]);
            uint32_t out = 0;
            // Channel by channel, so a bright pattern never carries into the next channel.
            for (int s = 0; s < 24; s += 8)
                out |= uint32_t(std::min<uint32_t>(((old >> s) & 0xFF) / 2 + ((c >> s) & 0xFF), 255)) << s;
            line[x] = ToArgb(out);
        }
    }
}

} // namespace workview

// Preparing a render: the output area and raster size, the block grid of 16 x 16 pixels, the
// circle or ellipse of the round shapes, the order in which pictures are rendered and the two
// filter tables. The renderer (renderer.cpp) then produces the raster band by band.
//
// Coordinates: the render area is in output-plane units (the plane of the projection at the
// common focal); raster pixel (x, y) lies at plane point ((x + ox) * s, (y + oy) * s), where
// (ox, oy) is the scaled origin and s the plane units per raster pixel.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#include "engine/geometry/sphere.h"
#include "engine/render_band.h"
#include "engine/render_filter.h"
#include "picset/mccore.h"

double SincKernel(double x)
{
    const double t = EnginePi * x;
    if (t == 0.0)
        return 1.0;
    double v = std::sin(t) / t;
    // The outer lobe (beyond one unit) counts half.
    if (t > EnginePi)
        v /= 2.0;
    return v;
}

double EdgeWeight(double x)
{
    // Full weight up to 0.35, a raised-cosine fall to 0 at 0.65 (0.5 -+ 0.3 / 2).
    if (x <= 0.35)
        return 1.0;
    return std::cos((x - 0.35) * EnginePi / 0.3) / 2.0 + 0.5;
}

CBlockFilter ChooseBlockFilter(double m, CDPoint u1, CDPoint u2)
{
    CBlockFilter f;
    f.u1 = u1;
    f.u2 = u2;
    // A block centre that no picture pixel maps back to gives no magnification; treat it as 1.
    if (!std::isfinite(m))
        m = 1.0;
    if (m <= 1.0) {
        f.kind = 0;
        f.reach = ClampDouble(2.5 * m - 0.5, 1.0, 2.0);
    } else if (m < 1.5) {
        f.kind = 1;
        f.reach = 2.0;
    } else if (m < 2.2) {
        f.kind = 2;
        f.reach = 0.65;
    } else {
        f.kind = 3;
        f.reach = 0.45;
    }
    // Clamped as a double: a huge magnification must not reach the int conversion.
    f.halfWidth = static_cast<int>(ClampDouble(std::ceil(m * f.reach * 1.414), 1.0, 10.0));
    return f;
}

void CMcCore::BuildFilterTables()
{
    m_SincTable[0] = 1.0;
    m_EdgeTable[0] = 1.0;
    for (int i = 1; i < kRenderFilterTableSize; ++i) {
        m_SincTable[i] = SincKernel(2.0 * i / 200.0);
        m_EdgeTable[i] = EdgeWeight(i / 200.0);
    }
}

int CMcCore::SetRenderArea(int left, int top, int right, int bottom, int width, int height)
{
    m_RenderArea.SetRect(left, top, right, bottom);
    if (m_RenderArea.Width() <= 0)
        m_RenderArea.right = m_RenderArea.left + 16;
    if (m_RenderArea.Height() <= 0)
        m_RenderArea.bottom = m_RenderArea.top + 16;
    m_OutputWidth = width;
    m_OutputHeight = height;

    // The horizontal factor serves both axes.
    const double x = static_cast<double>(width) / m_RenderArea.Width();
    const int ox = static_cast<int>(m_RenderArea.left * x);
    const int oy = static_cast<int>(m_RenderArea.top * x);
    m_ScaledRect.SetRect(ox, oy, ox + width, oy + height);
    m_RenderOffset = CPoint(-ox, -oy);
    m_RenderScale = static_cast<double>(m_RenderArea.Width()) / width;
    return width;
}

int CMcCore::SetRenderAreaByWidth(const CRect& area, int width)
{
    CRect a = area;
    if (a.Width() <= 0)
        a.right = a.left + 16;
    if (a.Height() <= 0)
        a.bottom = a.top + 16;
    const int w = Clamp(width, 1, 999999);
    // A very flat area would give no row at all; one row is the least a raster has.
    const int h = std::max(1, static_cast<int>(w * (static_cast<double>(a.Height()) / a.Width())));
    return SetRenderArea(a.left, a.top, a.right, a.bottom, w, h);
}

int CMcCore::GetRenderSpanDegrees()
{
    if (m_Projection < 10 || m_Projection >= 30)
        return 1;
    const CDPoint p = PixelToSphere(m_RenderArea.left, 0);
    const CDPoint q = PixelToSphere(m_RenderArea.right, 0);
    const double degrees = (q.x - p.x) * 360.0 / EngineTwoPi;
    // A NaN or huge span must not reach the int conversion.
    return static_cast<int>(ClampDouble(degrees, 0.0, 450.0));
}

void CMcCore::OrderRenderPictures()
{
    m_RenderList.clear();
    if (m_OverlapMode == 1 || m_OverlapMode == 2) {
        for (const auto& p : m_Pictures)
            m_RenderList.push_back(p.get());
        return;
    }
    // Longer focal lengths (more detail) first; within 4 % the picture-list order holds.
    for (const auto& owned : m_Pictures) {
        CKpic* p = owned.get();
        if (!p->IsFitted()) {
            m_RenderList.push_back(p);
            continue;
        }
        auto it = m_RenderList.begin();
        while (it != m_RenderList.end() && (*it)->IsFitted() && (*it)->m_Focal > 0.96 * p->m_Focal)
            ++it;
        m_RenderList.insert(it, p);
    }
}

int CMcCore::AllocateRenderBlocks()
{
    if (m_FittedCount <= 0)
        return -1;
    BuildFilterTables();
    OrderRenderPictures();
    m_BlockColumns = (m_OutputWidth - 1) / 16 + 1;
    m_BlockRows = (m_OutputHeight - 1) / 16 + 1;
    // The count of a raster near the largest size does not fit 32 bits; it saturates.
    m_BlockCount = static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(m_BlockColumns) * m_BlockRows, INT32_MAX));
    try {
        m_BlockFlags.assign(static_cast<size_t>(std::max(m_BlockColumns, 0)), 1);
    } catch (const std::bad_alloc&) {
        return -5;
    } catch (const std::length_error&) {
        return -5;
    }
    if (m_RenderShape == 1 || m_RenderShape == 2) {
        m_RadiusX = m_RenderArea.Width() / 2;
        m_RadiusY = m_RenderArea.Height() / 2;
        m_ImageCentre = CDPoint((m_RenderArea.left + m_RenderArea.right) / 2,
                                (m_RenderArea.top + m_RenderArea.bottom) / 2);
        if (m_RenderShape == 1) {
            if (m_RadiusX > m_RadiusY)
                m_RadiusX = m_RadiusY;
            else
                m_RadiusY = m_RadiusX;
        }
    }
    ResetProgress();
    m_Progress[1] = m_FittedCount * m_BlockRows;
    if (m_OverlapMode == 0)
        m_Progress[2] = 2 * m_FittedCount * m_BlockRows;
    return 1;
}

int CMcCore::SetupRender(int left, int top, int right, int bottom, int width, int height, int shape)
{
    m_RenderArea.SetRect(left, top, right, bottom);
    m_RenderShape = shape;
    if (m_FittedCount <= 0)
        return -1;
    // A raster of no pixels cannot be rendered; the document never asks for one.
    if (width < 1 || height < 1)
        return -1;
    SetRenderArea(left, top, right, bottom, width, height);
    const int r = AllocateRenderBlocks();
    if (r <= 0)
        return r;
    return Clamp(GetRenderSpanDegrees(), 1, 450);
}

int CMcCore::SetupRenderByWidth(int left, int top, int right, int bottom, int width, int shape)
{
    m_RenderArea.SetRect(left, top, right, bottom);
    m_RenderShape = shape;
    if (m_FittedCount <= 0)
        return -1;
    SetRenderAreaByWidth(CRect(left, top, right, bottom), width);
    const int r = AllocateRenderBlocks();
    if (r <= 0)
        return r;
    return Clamp(GetRenderSpanDegrees(), 1, 450);
}

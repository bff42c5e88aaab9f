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

#include "common/status_codes.h"
#include "geometry/sphere.h"
#include "engine/render_band.h"
#include "engine/render_filter.h"
#include "picset/mccore.h"

namespace {

// The area's width and height in 64 bits: an output area may reach from -2.1e9 to 2.1e9, whose
// difference does not fit 32 bits.
int64_t AreaWidth(const CRect& a) { return static_cast<int64_t>(a.right) - a.left; }
int64_t AreaHeight(const CRect& a) { return static_cast<int64_t>(a.bottom) - a.top; }

// trunc(v) held within [lo, hi], NaN giving lo: the int conversion of a raster coordinate that an
// extreme area could push beyond the int range.
int TruncWithin(double v, int lo, int hi)
{
    return static_cast<int>(ClampDouble(v, lo, hi));
}

// A progress count that stays within its 32-bit counter.
int32_t SaturatedCount(int64_t v) { return static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX)); }

} // namespace

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
    if (AreaWidth(m_RenderArea) <= 0)
        m_RenderArea.right = m_RenderArea.left + 16;
    if (AreaHeight(m_RenderArea) <= 0)
        m_RenderArea.bottom = m_RenderArea.top + 16;
    m_OutputWidth = width;
    m_OutputHeight = height;

    // The horizontal factor serves both axes. The scaled origin is held where it and its far
    // corner stay ints (only a raster absurdly larger than its area gets there).
    const double areaWidth = static_cast<double>(AreaWidth(m_RenderArea));
    const double x = width / areaWidth;
    const int ox = TruncWithin(m_RenderArea.left * x, INT32_MIN + 1, INT32_MAX - std::max(width, 0));
    const int oy = TruncWithin(m_RenderArea.top * x, INT32_MIN + 1, INT32_MAX - std::max(height, 0));
    m_ScaledRect.SetRect(ox, oy, ox + width, oy + height);
    m_RenderOffset = CPoint(-ox, -oy);
    m_RenderScale = areaWidth / width;
    return width;
}

int CMcCore::SetRenderAreaByWidth(const CRect& area, int width)
{
    CRect a = area;
    if (AreaWidth(a) <= 0)
        a.right = a.left + 16;
    if (AreaHeight(a) <= 0)
        a.bottom = a.top + 16;
    const int w = Clamp(width, 1, 999999);
    // A very flat area would give no row at all; one row is the least a raster has. A very tall
    // one is held at a height whose bands and block rows still count in ints.
    const double aspect = static_cast<double>(AreaHeight(a)) / static_cast<double>(AreaWidth(a));
    const int h = TruncWithin(w * aspect, 1, INT32_MAX - kRenderBandRows);
    return SetRenderArea(a.left, a.top, a.right, a.bottom, w, h);
}

int CMcCore::GetRenderSpanDegrees()
{
    if (m_Projection < 10 || m_Projection >= 30)
        return 1;
    // An edge beyond what the view can show has no direction; it counts as the edge of the
    // view, a quarter turn to its side (only the linear forms have such edges on the centre
    // line, and they reach less than a quarter turn each way).
    auto longitude = [this](int x) {
        const CDPoint d = PixelToSphere(x, 0);
        if (IsMissingDirection(d))
            return x < 0 ? -EngineHalfPi : EngineHalfPi;
        return d.x;
    };
    const double degrees = (longitude(m_RenderArea.right) - longitude(m_RenderArea.left)) * 360.0 / EngineTwoPi;
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
        return kResultOutOfMemory;
    } catch (const std::length_error&) {
        return kResultOutOfMemory;
    }
    if (m_RenderShape == 1 || m_RenderShape == 2) {
        const CRect& a = m_RenderArea;
        m_RadiusX = static_cast<double>(AreaWidth(a) / 2);
        m_RadiusY = static_cast<double>(AreaHeight(a) / 2);
        m_ImageCentre = CDPoint(static_cast<double>((static_cast<int64_t>(a.left) + a.right) / 2),
                                static_cast<double>((static_cast<int64_t>(a.top) + a.bottom) / 2));
        if (m_RenderShape == 1) {
            if (m_RadiusX > m_RadiusY)
                m_RadiusX = m_RadiusY;
            else
                m_RadiusY = m_RadiusX;
        }
    }
    ResetProgress();
    m_Progress[1] = SaturatedCount(static_cast<int64_t>(m_FittedCount) * m_BlockRows);
    if (m_OverlapMode == 0)
        m_Progress[2] = SaturatedCount(2 * static_cast<int64_t>(m_FittedCount) * m_BlockRows);
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

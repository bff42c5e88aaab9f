// CPixelArray storage and the canvas fitting shared by the image readers.
#include "imagefile/pixel_array.h"

#include <algorithm>
#include <new>
#include <stdexcept>

void CPixelArray::Resize(std::ptrdiff_t newSize, std::ptrdiff_t growBy, bool clear)
{
    if (newSize < 0)
        throw std::bad_alloc();
    const size_t n = static_cast<size_t>(newSize);
    if (n > m_data.capacity()) {
        size_t grow = 0;
        if (growBy > 0)
            grow = static_cast<size_t>(growBy);
        else
            grow = std::clamp<size_t>(m_data.size() / 8, 4, 1024);
        m_data.reserve(std::max(n, m_data.size() + grow));
    }
    if (clear)
        m_data.resize(n, 0);
    else
        m_data.resize(n);
}

void CPixelArray::SetSize(std::ptrdiff_t newSize, std::ptrdiff_t growBy)
{
    Resize(newSize, growBy, true);
}

bool CPixelArray::TrySetSize(std::ptrdiff_t newSize) noexcept
{
    try {
        Resize(newSize, -1, true);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

bool CPixelArray::TrySetSizeForOverwrite(std::ptrdiff_t newSize) noexcept
{
    try {
        Resize(newSize, -1, false);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

void CPixelArray::RemoveAll() noexcept
{
    decltype(m_data)().swap(m_data);
}

void CPixelArray::Fill(COLORREF c)
{
    std::fill(m_data.begin(), m_data.end(), c);
}

void FillGrey(CPixelArray& pixels)
{
    pixels.Fill(kUnreadableGrey);
}

CSize FitSizeKeepAspect(int w, int h, int bw, int bh, CSize& offset)
{
    if (bw >= w && bh >= h) {
        offset = CSize((bw - w) / 2, (bh - h) / 2);
        return CSize(w, h);
    }
    const int64_t W = w, H = h, BW = bw, BH = bh;
    if (W * BH < H * BW) {
        const int fw = H != 0 ? static_cast<int>(W * BH / H) : 0;
        offset = CSize((bw - fw) / 2, 0);
        return CSize(fw, bh);
    }
    const int fh = W != 0 ? static_cast<int>(H * BW / W) : 0;
    offset = CSize(0, (bh - fh) / 2);
    return CSize(bw, fh);
}

CCoverMapping FitSizeCover(int w, int h, int bw, int bh)
{
    CCoverMapping m;
    m.boxWidth = bw;
    m.boxHeight = bh;
    if (bw >= w && bh >= h) {
        m.span = {bw, bh};
        m.offset = {(bw - w) / 2, (bh - h) / 2};
        return m;
    }
    const int64_t W = w, H = h, BW = bw, BH = bh;
    if (BH * W < BW * H) {
        m.span = {BW * H / BH, H};
        m.offset = {(m.span.cx - W) / 2, 0};
    } else {
        m.span = {W, BH * W / BW};
        m.offset = {0, (m.span.cy - H) / 2};
    }
    return m;
}

namespace {

bool HoldsImage(const CPixelArray& a, int w, int h)
{
    return w > 0 && h > 0 && int64_t(w) * h <= kMaxImagePixels && a.GetSize() >= int64_t(w) * h;
}

// The source column of each of the count target columns (-1: margin). Empty when memory runs out.
template <class ColumnOf>
std::vector<int32_t> ColumnTable(int64_t count, int w, ColumnOf columnOf)
{
    std::vector<int32_t> cols;
    try {
        cols.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return cols;
    }
    for (int64_t j = 0; j < count; ++j) {
        const int64_t sx = columnOf(j);
        cols[static_cast<size_t>(j)] = (sx >= 0 && sx < w) ? static_cast<int32_t>(sx) : -1;
    }
    return cols;
}

// Fills rows rows of cols.size() pixels: target pixel (j, i) takes source pixel
// (cols[j], rowOf(i)) of the w x h source, the margin colour where either lies outside it.
template <class RowOf>
void MapPixels(const COLORREF* src, int w, int h, const std::vector<int32_t>& cols, int64_t rows,
               RowOf rowOf, COLORREF* dst)
{
    const int64_t cw = static_cast<int64_t>(cols.size());
    for (int64_t i = 0; i < rows; ++i) {
        const int64_t sy = rowOf(i);
        COLORREF* row = dst + i * cw;
        if (sy < 0 || sy >= h) {
            std::fill(row, row + cw, kMarginGrey);
            continue;
        }
        const COLORREF* srow = src + sy * w;
        for (int64_t j = 0; j < cw; ++j) {
            const int32_t sx = cols[static_cast<size_t>(j)];
            row[j] = sx >= 0 ? srow[sx] : kMarginGrey;
        }
    }
}

} // namespace

int ScalePixelsToFill(const COLORREF* src, int w, int h, COLORREF* dst, int bw, int bh)
{
    if (w < 1 || h < 1 || bw < 1 || bh < 1)
        return -1;
    if (w == bw && h == bh) {
        std::copy(src, src + int64_t(w) * h, dst);
        return 1;
    }
    const CCoverMapping m = FitSizeCover(w, h, bw, bh);
    const std::vector<int32_t> cols = ColumnTable(bw, w, [&](int64_t x) { return m.SourceX(x); });
    if (cols.empty())
        return -1;
    MapPixels(src, w, h, cols, bh, [&](int64_t y) { return m.SourceY(y); }, dst);
    return 1;
}

int ScalePixelsToFill(const CPixelArray& src, int w, int h, CPixelArray& dst, int bw, int bh)
{
    if (!HoldsImage(src, w, h) || !HoldsImage(dst, bw, bh))
        return -1;
    return ScalePixelsToFill(src.GetData(), w, h, dst.GetData(), bw, bh);
}

// Sizes dst for the cut-out rect (measured in 64 bits); false when the rect is inverted, larger
// than a picture may be, or memory runs out.
static bool SizeCutOut(const CRect& rect, CPixelArray& dst, int64_t& cw, int64_t& ch)
{
    cw = int64_t(rect.right) - rect.left;
    ch = int64_t(rect.bottom) - rect.top;
    if (cw < 0 || ch < 0 || cw * ch > kMaxImagePixels)
        return false;
    return dst.TrySetSize(static_cast<std::ptrdiff_t>(cw * ch));
}

int CropPixels(const CPixelArray& src, int w, int h, CPixelArray& dst, const CRect& rect)
{
    if (src.GetSize() < int64_t(w) * h || w < 0 || h < 0)
        return -1;
    int64_t cw = 0, ch = 0;
    if (!SizeCutOut(rect, dst, cw, ch))
        return -1;
    const std::vector<int32_t> cols = ColumnTable(cw, w, [&](int64_t j) { return rect.left + j; });
    if (cols.size() != static_cast<size_t>(cw))
        return -1;
    MapPixels(src.GetData(), w, h, cols, ch, [&](int64_t i) { return rect.top + i; }, dst.GetData());
    return 1;
}

int FitAndCropPixels(const CPixelArray& src, int w, int h, int bw, int bh, const CRect& rect,
                     CPixelArray& dst)
{
    if (!HoldsImage(src, w, h) || bw < 1 || bh < 1)
        return -1;
    int64_t cw = 0, ch = 0;
    if (!SizeCutOut(rect, dst, cw, ch))
        return -1;
    const CCoverMapping m = FitSizeCover(w, h, bw, bh);
    const std::vector<int32_t> cols = ColumnTable(cw, w, [&](int64_t j) {
        const int64_t X = rect.left + j;
        return (X >= 0 && X < bw) ? m.SourceX(X) : -1;
    });
    if (cols.size() != static_cast<size_t>(cw))
        return -1;
    MapPixels(src.GetData(), w, h, cols, ch, [&](int64_t i) {
        const int64_t Y = rect.top + i;
        return (Y >= 0 && Y < bh) ? m.SourceY(Y) : -1;
    }, dst.GetData());
    return 1;
}

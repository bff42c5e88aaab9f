// CPixelArray storage and the canvas fitting shared by the image readers.
#include "imagefile/pixel_array.h"

#include <algorithm>
#include <new>
#include <stdexcept>

void CPixelArray::SetSize(std::ptrdiff_t newSize, std::ptrdiff_t growBy)
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
    m_data.resize(n, 0);
}

bool CPixelArray::TrySetSize(std::ptrdiff_t newSize) noexcept
{
    try {
        SetSize(newSize);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

void CPixelArray::RemoveAll() noexcept
{
    std::vector<COLORREF>().swap(m_data);
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
        m.span = CSize(bw, bh);
        m.offset = CSize((bw - w) / 2, (bh - h) / 2);
        return m;
    }
    const int64_t W = w, H = h, BW = bw, BH = bh;
    if (BH * W < BW * H) {
        m.span = CSize(static_cast<int32_t>(BW * H / BH), h);
        m.offset = CSize((m.span.cx - w) / 2, 0);
    } else {
        m.span = CSize(w, static_cast<int32_t>(BH * W / BW));
        m.offset = CSize(0, (m.span.cy - h) / 2);
    }
    return m;
}

namespace {

bool HoldsImage(const CPixelArray& a, int w, int h)
{
    return w > 0 && h > 0 && int64_t(w) * h <= kMaxImagePixels && a.GetSize() >= int64_t(w) * h;
}

} // namespace

int ScalePixelsToFill(const CPixelArray& src, int w, int h, CPixelArray& dst, int bw, int bh)
{
    if (!HoldsImage(src, w, h) || !HoldsImage(dst, bw, bh))
        return -1;
    if (w == bw && h == bh) {
        std::copy(src.GetData(), src.GetData() + int64_t(w) * h, dst.GetData());
        return 1;
    }
    const CCoverMapping m = FitSizeCover(w, h, bw, bh);
    std::vector<int32_t> cols(static_cast<size_t>(bw));
    for (int x = 0; x < bw; ++x) {
        const int64_t sx = m.SourceX(x);
        cols[static_cast<size_t>(x)] = (sx >= 0 && sx < w) ? static_cast<int32_t>(sx) : -1;
    }
    COLORREF* out = dst.GetData();
    for (int y = 0; y < bh; ++y) {
        const int64_t sy = m.SourceY(y);
        COLORREF* row = out + int64_t(y) * bw;
        if (sy < 0 || sy >= h) {
            std::fill(row, row + bw, kMarginGrey);
            continue;
        }
        const COLORREF* srow = src.GetData() + sy * w;
        for (int x = 0; x < bw; ++x) {
            const int32_t sx = cols[static_cast<size_t>(x)];
            row[x] = sx >= 0 ? srow[sx] : kMarginGrey;
        }
    }
    return 1;
}

int CropPixels(const CPixelArray& src, int w, int h, CPixelArray& dst, const CRect& rect)
{
    if (src.GetSize() < int64_t(w) * h || w < 0 || h < 0)
        return -1;
    const int64_t cw = int64_t(rect.right) - rect.left;
    const int64_t ch = int64_t(rect.bottom) - rect.top;
    if (cw < 0 || ch < 0 || cw * ch > kMaxImagePixels)
        return -1;
    if (!dst.TrySetSize(static_cast<std::ptrdiff_t>(cw * ch)))
        return -1;
    for (int64_t i = 0; i < ch; ++i) {
        const int64_t sy = rect.top + i;
        COLORREF* row = dst.GetData() + i * cw;
        if (sy < 0 || sy >= h) {
            std::fill(row, row + cw, kMarginGrey);
            continue;
        }
        const COLORREF* srow = src.GetData() + sy * w;
        for (int64_t j = 0; j < cw; ++j) {
            const int64_t sx = rect.left + j;
            row[j] = (sx >= 0 && sx < w) ? srow[sx] : kMarginGrey;
        }
    }
    return 1;
}

int FitAndCropPixels(const CPixelArray& src, int w, int h, int bw, int bh, const CRect& rect,
                     CPixelArray& dst)
{
    if (!HoldsImage(src, w, h) || bw < 1 || bh < 1)
        return -1;
    const int64_t cw = int64_t(rect.right) - rect.left;
    const int64_t ch = int64_t(rect.bottom) - rect.top;
    if (cw < 0 || ch < 0 || cw * ch > kMaxImagePixels)
        return -1;
    if (!dst.TrySetSize(static_cast<std::ptrdiff_t>(cw * ch)))
        return -1;
    const CCoverMapping m = FitSizeCover(w, h, bw, bh);
    std::vector<int32_t> cols(static_cast<size_t>(cw));
    for (int64_t j = 0; j < cw; ++j) {
        const int64_t X = rect.left + j;
        const int64_t sx = (X >= 0 && X < bw) ? m.SourceX(X) : -1;
        cols[static_cast<size_t>(j)] = (sx >= 0 && sx < w) ? static_cast<int32_t>(sx) : -1;
    }
    for (int64_t i = 0; i < ch; ++i) {
        const int64_t Y = rect.top + i;
        const int64_t sy = (Y >= 0 && Y < bh) ? m.SourceY(Y) : -1;
        COLORREF* row = dst.GetData() + i * cw;
        if (sy < 0 || sy >= h) {
            std::fill(row, row + cw, kMarginGrey);
            continue;
        }
        const COLORREF* srow = src.GetData() + sy * w;
        for (int64_t j = 0; j < cw; ++j) {
            const int32_t sx = cols[static_cast<size_t>(j)];
            row[j] = sx >= 0 ? srow[sx] : kMarginGrey;
        }
    }
    return 1;
}

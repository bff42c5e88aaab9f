// Pixel array operations and the transfer into display bitmaps.
#include "imagefile/pixel_ops.h"

#include "common/message_catalogue.h"
#include "platform/message_box.h"

#include <algorithm>
#include <vector>

namespace {

bool Holds(const CPixelArray& a, int w, int h)
{
    return w >= 0 && h >= 0 && a.GetSize() >= int64_t(w) * h;
}

} // namespace

int ExtractPixels(const CPixelArray& src, int w, int h, int cx, int cy, CPixelArray& dst, int tw, int th,
                  int den, int num)
{
    if (den <= 0)
        den = 1;
    if (tw < 0 || th < 0 || !Holds(src, w, h))
        return -1;
    dst.SetSize(int64_t(tw) * th);
    const int64_t left = int64_t(cx) - (int64_t(num) * tw / den) / 2;
    const int64_t top = int64_t(cy) - (int64_t(num) * th / den) / 2;
    for (int i = 0; i < th; ++i) {
        const int64_t sy = top + int64_t(num) * i / den;
        COLORREF* row = dst.GetData() + int64_t(i) * tw;
        if (sy < 0 || sy >= h) {
            std::fill(row, row + tw, kMarginGrey);
            continue;
        }
        const COLORREF* srow = src.GetData() + sy * w;
        for (int j = 0; j < tw; ++j) {
            const int64_t sx = left + int64_t(num) * j / den;
            row[j] = (sx >= 0 && sx < w) ? srow[sx] : kMarginGrey;
        }
    }
    return 1;
}

int ShrinkPixels(const CPixelArray& src, int w, int h, CPixelArray& dst, int n)
{
    if (n < 1)
        n = 1;
    if (!Holds(src, w, h))
        return -1;
    const int tw = w / n;
    const int th = h / n;
    dst.SetSize(int64_t(tw) * th);
    for (int y = 0; y < th; ++y) {
        const COLORREF* srow = src.GetData() + int64_t(y) * n * w;
        COLORREF* row = dst.GetData() + int64_t(y) * tw;
        for (int x = 0; x < tw; ++x)
            row[x] = srow[int64_t(x) * n];
    }
    return 1;
}

int RotatePixels(const CPixelArray& src, int w, int h, CPixelArray& dst, int turn)
{
    if (w < 0 || h < 0 || !Holds(src, w, h))
        return -1;
    const int64_t count = int64_t(w) * h;
    if (dst.GetSize() < count && !dst.TrySetSize(count)) {
        ShowMessage(Catalogue().memoryTooShort, platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return -1;
    }
    const COLORREF* s = src.GetData();
    COLORREF* d = dst.GetData();
    switch (turn) {
    case 1: // target h wide: (x, y) -> (h - 1 - y, x)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                d[int64_t(x) * h + (h - 1 - y)] = s[int64_t(y) * w + x];
        break;
    case 2:
        for (int64_t i = 0; i < count; ++i)
            d[count - 1 - i] = s[i];
        break;
    case 3: // target h wide: (x, y) -> (y, w - 1 - x)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                d[int64_t(w - 1 - x) * h + y] = s[int64_t(y) * w + x];
        break;
    default:
        std::copy(s, s + count, d);
        break;
    }
    return 1;
}

namespace {

template <int BytesPerPixel, class Put>
int Pack(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h, Put put)
{
    if (w < 0 || h < 0 || !Holds(src, w, h) || int64_t(stride) < int64_t(w) * BytesPerPixel)
        return -1;
    for (int y = 0; y < h; ++y) {
        const COLORREF* s = src.GetData() + int64_t(y) * w;
        uint8_t* d = buffer + int64_t(y) * stride;
        for (int x = 0; x < w; ++x, d += BytesPerPixel)
            put(s[x], d);
    }
    return 1;
}

void PutWord(uint8_t* d, uint16_t v)
{
    d[0] = static_cast<uint8_t>(v);
    d[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

int PackPixelsBgrx32(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h)
{
    return Pack<4>(src, buffer, stride, w, h, [](COLORREF c, uint8_t* d) {
        d[0] = static_cast<uint8_t>(GetBValue(c));
        d[1] = static_cast<uint8_t>(GetGValue(c));
        d[2] = static_cast<uint8_t>(GetRValue(c));
        d[3] = 0;
    });
}

int PackPixelsBgr24(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h)
{
    return Pack<3>(src, buffer, stride, w, h, [](COLORREF c, uint8_t* d) {
        d[0] = static_cast<uint8_t>(GetBValue(c));
        d[1] = static_cast<uint8_t>(GetGValue(c));
        d[2] = static_cast<uint8_t>(GetRValue(c));
    });
}

int PackPixelsRgb565(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h)
{
    return Pack<2>(src, buffer, stride, w, h, [](COLORREF c, uint8_t* d) { PutWord(d, Rgb565(c)); });
}

int PackPixelsRgb555(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h)
{
    return Pack<2>(src, buffer, stride, w, h, [](COLORREF c, uint8_t* d) { PutWord(d, Rgb555(c)); });
}

int GetBitmapPixelFormat(CDrawContext& dc)
{
    CBitmapBuffer probe = dc.CreateCompatibleBitmap(8, 8);
    const int bits = probe.BitsPerPixel();
    if (bits != 16)
        return bits;
    CBitmapBuffer* old = dc.SelectObject(&probe);
    dc.SetPixelV(0, 0, 0x0000FF);
    dc.SetPixelV(1, 0, 0x00FF00);
    dc.SelectObject(old);
    uint8_t b[6] = {};
    probe.GetBits(b, sizeof b);
    const uint16_t red = static_cast<uint16_t>(b[0] | (b[1] << 8));
    const uint16_t green = static_cast<uint16_t>(b[2] | (b[3] << 8));
    if (red == 0xF800 && green == 0x07E0)
        return 16;
    if (red == 0x7C00 && green == 0x03E0)
        return 15;
    return 0;
}

int ReadPixelsFromDc(const CDrawContext& dc, CPixelArray& dst, int w, int h)
{
    if (w < 0 || h < 0 || dst.GetSize() < int64_t(w) * h)
        return -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            dst[int64_t(y) * w + x] = dc.GetPixel(x, y);
    return 1;
}

int PixelsToBitmap(CDrawContext& dc, CBitmapBuffer* bitmap, const CPixelArray& src)
{
    if (!bitmap || bitmap->IsNull() || bitmap->BitsPerPixel() == 0 || bitmap->BytesPerRow() == 0)
        return -1;
    const int w = bitmap->Width();
    const int h = bitmap->Height();
    const int bits = bitmap->BitsPerPixel();
    const int stride = bitmap->BytesPerRow();
    const int result = bits / 8;
    if (int64_t(w) * h <= 0 || src.GetSize() < int64_t(w) * h)
        return -1;

    int packed = -1;
    std::vector<uint8_t> buffer(size_t(stride) * size_t(h), 0);
    if (bits == 32 && stride == 4 * w) {
        packed = PackPixelsBgrx32(src, buffer.data(), stride, w, h);
    } else if (bits == 24) {
        packed = PackPixelsBgr24(src, buffer.data(), stride, w, h);
    } else if (bits == 15 || bits == 16) {
        CDrawContext memory = dc.CreateCompatibleDC();
        CBitmapBuffer* old = memory.SelectObject(bitmap);
        const int layout = GetBitmapPixelFormat(memory);
        memory.SelectObject(old);
        if (layout == 16)
            packed = PackPixelsRgb565(src, buffer.data(), stride, w, h);
        else if (layout == 15)
            packed = PackPixelsRgb555(src, buffer.data(), stride, w, h);
    }
    if (packed > 0 && bitmap->SetBits(buffer.data(), buffer.size()) == buffer.size())
        return result;

    // Any other depth or layout: pixel by pixel through a memory context.
    CDrawContext memory = dc.CreateCompatibleDC();
    CBitmapBuffer* old = memory.SelectObject(bitmap);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            memory.SetPixelV(x, y, src[int64_t(y) * w + x]);
    memory.SelectObject(old);
    return result;
}

// Bitmap and drawing-context stand-ins: row storage and single-pixel access.
#include "imagefile/bitmap.h"

#include <algorithm>
#include <cstring>

CBitmapBuffer::CBitmapBuffer(int width, int height, int bitsPerPixel)
{
    if (width < 1 || height < 1 ||
        (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32))
        return;
    m_width = width;
    m_height = height;
    m_bitsPerPixel = bitsPerPixel;
    m_bytesPerRow = static_cast<int>((int64_t(width) * bitsPerPixel + 15) / 16 * 2);
    m_bits.assign(size_t(m_bytesPerRow) * size_t(height), 0);
}

size_t CBitmapBuffer::SetBits(const uint8_t* bytes, size_t count)
{
    const size_t n = std::min(count, m_bits.size());
    if (n > 0)
        std::memcpy(m_bits.data(), bytes, n);
    return n;
}

size_t CBitmapBuffer::GetBits(uint8_t* bytes, size_t count) const
{
    const size_t n = std::min(count, m_bits.size());
    if (n > 0)
        std::memcpy(bytes, m_bits.data(), n);
    return n;
}

namespace {

uint16_t Pack16(COLORREF c, C16BitLayout layout)
{
    const uint32_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    switch (layout) {
    case C16BitLayout::Rgb565:
        return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    case C16BitLayout::Rgb555:
        return static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
    default: // blue in the high bits
        return static_cast<uint16_t>(((b >> 3) << 11) | ((g >> 2) << 5) | (r >> 3));
    }
}

COLORREF Unpack16(uint16_t v, C16BitLayout layout)
{
    switch (layout) {
    case C16BitLayout::Rgb565:
        return RGB((v >> 11) << 3, ((v >> 5) & 0x3F) << 2, (v & 0x1F) << 3);
    case C16BitLayout::Rgb555:
        return RGB(((v >> 10) & 0x1F) << 3, ((v >> 5) & 0x1F) << 3, (v & 0x1F) << 3);
    default:
        return RGB((v & 0x1F) << 3, ((v >> 5) & 0x3F) << 2, (v >> 11) << 3);
    }
}

} // namespace

bool CDrawContext::SetPixelV(int x, int y, COLORREF colour)
{
    CBitmapBuffer* bmp = m_selected;
    if (!bmp || bmp->IsNull() || x < 0 || y < 0 || x >= bmp->Width() || y >= bmp->Height())
        return false;
    const size_t at = size_t(y) * size_t(bmp->BytesPerRow()) + size_t(x) * size_t(bmp->BitsPerPixel() / 8);
    uint8_t bytes[4] = {0, 0, 0, 0};
    switch (bmp->BitsPerPixel()) {
    case 8: // 3 bits red, 3 green, 2 blue
        bytes[0] = static_cast<uint8_t>((GetRValue(colour) & 0xE0) | ((GetGValue(colour) >> 3) & 0x1C) | (GetBValue(colour) >> 6));
        break;
    case 16: {
        const uint16_t v = Pack16(colour, m_layout);
        bytes[0] = static_cast<uint8_t>(v);
        bytes[1] = static_cast<uint8_t>(v >> 8);
        break;
    }
    default:
        bytes[0] = static_cast<uint8_t>(GetBValue(colour));
        bytes[1] = static_cast<uint8_t>(GetGValue(colour));
        bytes[2] = static_cast<uint8_t>(GetRValue(colour));
        break;
    }
    std::memcpy(bmp->Data() + at, bytes, size_t(bmp->BitsPerPixel() / 8));
    return true;
}

COLORREF CDrawContext::GetPixel(int x, int y) const
{
    const CBitmapBuffer* bmp = m_selected;
    if (!bmp || bmp->IsNull() || x < 0 || y < 0 || x >= bmp->Width() || y >= bmp->Height())
        return kInvalidColour;
    const uint8_t* p = bmp->Bits().data() + size_t(y) * size_t(bmp->BytesPerRow()) +
                       size_t(x) * size_t(bmp->BitsPerPixel() / 8);
    switch (bmp->BitsPerPixel()) {
    case 8:
        return RGB(p[0] & 0xE0, (p[0] & 0x1C) << 3, (p[0] & 0x03) << 6);
    case 16:
        return Unpack16(static_cast<uint16_t>(p[0] | (p[1] << 8)), m_layout);
    default:
        return RGB(p[2], p[1], p[0]);
    }
}

// Our stand-ins for the display's device-dependent bitmaps and drawing contexts: a bitmap is a
// plain buffer of rows (top row first, each row padded to a whole 16-bit word) at a depth of 8,
// 16, 24 or 32 bits; a drawing context knows the display's depth and, at 16 bits, how the
// display packs red, green and blue into a word, and sets and reads single pixels of the
// bitmap selected into it. The views hand the bytes to their toolkit.
#pragma once

#include "common/basic_types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// GetPixel's answer for a position without a pixel.
constexpr COLORREF kInvalidColour = 0xFFFFFFFF;

class CBitmapBuffer {
public:
    CBitmapBuffer() = default;
    // A w x h bitmap of the given depth, all bytes 0; depths other than 8, 16, 24 and 32, or a
    // size below 1 x 1, give a null bitmap.
    CBitmapBuffer(int width, int height, int bitsPerPixel);

    bool IsNull() const { return m_bits.empty(); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int BitsPerPixel() const { return m_bitsPerPixel; }
    int BytesPerRow() const { return m_bytesPerRow; }

    const std::vector<uint8_t>& Bits() const { return m_bits; }
    uint8_t* Data() { return m_bits.data(); }
    // Copies up to count bytes into the bitmap's rows; answers how many were taken.
    size_t SetBits(const uint8_t* bytes, size_t count);
    // Copies up to count bytes of the rows out; answers how many were copied.
    size_t GetBits(uint8_t* bytes, size_t count) const;

private:
    int m_width = 0;
    int m_height = 0;
    int m_bitsPerPixel = 0;
    int m_bytesPerRow = 0;
    std::vector<uint8_t> m_bits;
};

// How a 16-bit display packs a colour into a word.
enum class C16BitLayout { Rgb565, Rgb555, Other };

class CDrawContext {
public:
    explicit CDrawContext(int bitsPerPixel = 32, C16BitLayout layout = C16BitLayout::Rgb565)
        : m_bitsPerPixel(bitsPerPixel), m_layout(layout)
    {
    }

    int BitsPerPixel() const { return m_bitsPerPixel; }
    C16BitLayout Layout16() const { return m_layout; }

    // A memory context of the same display, with no bitmap selected.
    CDrawContext CreateCompatibleDC() const { return CDrawContext(m_bitsPerPixel, m_layout); }
    // A bitmap of the display's depth.
    CBitmapBuffer CreateCompatibleBitmap(int width, int height) const
    {
        return CBitmapBuffer(width, height, m_bitsPerPixel);
    }

    // Selects a bitmap (not owned) and answers the one selected before.
    CBitmapBuffer* SelectObject(CBitmapBuffer* bitmap)
    {
        CBitmapBuffer* old = m_selected;
        m_selected = bitmap;
        return old;
    }
    CBitmapBuffer* Selected() const { return m_selected; }

    // Stores the colour at (x, y) of the selected bitmap in the bitmap's depth; false when no
    // bitmap is selected or the position lies outside it.
    bool SetPixelV(int x, int y, COLORREF colour);
    // The colour at (x, y) of the selected bitmap (channels widened by shifting, as the display
    // reports them); kInvalidColour outside it or without a bitmap.
    COLORREF GetPixel(int x, int y) const;

private:
    int m_bitsPerPixel;
    C16BitLayout m_layout;
    CBitmapBuffer* m_selected = nullptr;
};

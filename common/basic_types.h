// Integer point, size and rectangle with the semantics the engine relies on (right and bottom
// edges exclusive, empty rectangles when width or height is not positive), and the packed
// colour word COLORREF, 0x00BBGGRR (red in the low byte) everywhere in the program.
#pragma once

#include <algorithm>
#include <cstdint>

using COLORREF = uint32_t;

constexpr COLORREF RGB(int r, int g, int b)
{
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(COLORREF c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(COLORREF c) { return static_cast<int>((c >> 16) & 0xFF); }

struct CSize {
    int32_t cx = 0;
    int32_t cy = 0;
    constexpr CSize() = default;
    constexpr CSize(int32_t w, int32_t h) : cx(w), cy(h) {}
    constexpr bool operator==(const CSize&) const = default;
};

struct CPoint {
    int32_t x = 0;
    int32_t y = 0;
    constexpr CPoint() = default;
    constexpr CPoint(int32_t px, int32_t py) : x(px), y(py) {}
    constexpr void Offset(int32_t dx, int32_t dy) { x += dx; y += dy; }
    constexpr CPoint operator+(const CPoint& o) const { return {x + o.x, y + o.y}; }
    constexpr CPoint operator-(const CPoint& o) const { return {x - o.x, y - o.y}; }
    constexpr CPoint operator-() const { return {-x, -y}; }
    constexpr CPoint& operator+=(const CPoint& o) { x += o.x; y += o.y; return *this; }
    constexpr CPoint& operator-=(const CPoint& o) { x -= o.x; y -= o.y; return *this; }
    constexpr bool operator==(const CPoint&) const = default;
};

// A 64-bit value held within the int32 range.
constexpr int32_t SaturateToInt32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

struct CRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(int32_t l, int32_t t, int32_t r, int32_t b) : left(l), top(t), right(r), bottom(b) {}
    constexpr CRect(CPoint tl, CPoint br) : left(tl.x), top(tl.y), right(br.x), bottom(br.y) {}
    constexpr CRect(CPoint tl, CSize s) : left(tl.x), top(tl.y), right(tl.x + s.cx), bottom(tl.y + s.cy) {}

    // The sides measured in 64 bits: the engine's areas reach +-2.1e9 on each side, so a side
    // may not fit an int. Width() and Height() are the same saturated to the int range.
    constexpr int64_t Width64() const { return int64_t(right) - left; }
    constexpr int64_t Height64() const { return int64_t(bottom) - top; }
    constexpr int32_t Width() const { return SaturateToInt32(Width64()); }
    constexpr int32_t Height() const { return SaturateToInt32(Height64()); }
    constexpr CSize Size() const { return {Width(), Height()}; }
    constexpr CPoint TopLeft() const { return {left, top}; }
    constexpr CPoint BottomRight() const { return {right, bottom}; }
    constexpr CPoint CenterPoint() const
    {
        return {static_cast<int32_t>((int64_t(left) + right) / 2), static_cast<int32_t>((int64_t(top) + bottom) / 2)};
    }

    // Empty: no area (width or height zero or negative).
    constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
    // Null: all four values zero.
    constexpr bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    // Inside when left <= x < right and top <= y < bottom.
    constexpr bool PtInRect(CPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }

    constexpr void SetRect(int32_t l, int32_t t, int32_t r, int32_t b) { left = l; top = t; right = r; bottom = b; }
    constexpr void SetRectEmpty() { left = top = right = bottom = 0; }
    constexpr void OffsetRect(int32_t dx, int32_t dy) { left += dx; right += dx; top += dy; bottom += dy; }
    constexpr void OffsetRect(CPoint p) { OffsetRect(p.x, p.y); }
    constexpr void InflateRect(int32_t dx, int32_t dy) { left -= dx; right += dx; top -= dy; bottom += dy; }
    constexpr void DeflateRect(int32_t dx, int32_t dy) { InflateRect(-dx, -dy); }
    constexpr void NormalizeRect()
    {
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
    }
    constexpr bool EqualRect(const CRect& o) const { return *this == o; }

    // Intersection of a and b; an empty intersection leaves (0, 0, 0, 0) and answers false.
    constexpr bool IntersectRect(const CRect& a, const CRect& b)
    {
        CRect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom));
        if (a.IsRectEmpty() || b.IsRectEmpty() || r.IsRectEmpty()) {
            SetRectEmpty();
            return false;
        }
        *this = r;
        return true;
    }
    // Smallest rectangle holding a and b; an empty operand is left out. Both empty gives
    // (0, 0, 0, 0) and false.
    constexpr bool UnionRect(const CRect& a, const CRect& b)
    {
        if (a.IsRectEmpty() && b.IsRectEmpty()) { SetRectEmpty(); return false; }
        if (a.IsRectEmpty()) { *this = b; return true; }
        if (b.IsRectEmpty()) { *this = a; return true; }
        *this = CRect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom));
        return true;
    }
    constexpr CRect operator&(const CRect& o) const { CRect r; r.IntersectRect(*this, o); return r; }
    constexpr CRect operator|(const CRect& o) const { CRect r; r.UnionRect(*this, o); return r; }
    constexpr bool operator==(const CRect&) const = default;
};

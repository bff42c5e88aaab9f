// CPixelArray, the in-memory image every picture travels as (0x00BBGGRR words, row by row,
// top row first, width and height kept beside it), the two marker colours, and the fitting of
// an image into a requested canvas (cover mapping, crop, scale) that the readers share.
#pragma once

#include "common/basic_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// Fills the whole target when a picture file could not be read.
constexpr COLORREF kUnreadableGrey = 0x787878;
// Every target pixel that falls outside the source when an image is fitted, cut or shifted.
constexpr COLORREF kMarginGrey = 0xF0F0F0;

// Largest image, in pixels, that a reader decodes or a requested canvas may have
// (16384 x 16384). Sizes are computed in 64 bits and checked against it before any
// allocation.
constexpr int64_t kMaxImagePixels = int64_t(1) << 28;

// The pixel arrays' allocator. Elements made without a value are left unset (the vector's own
// value-initialisation would clear them); elements made from a value get that value.
template <class T>
struct CPixelAllocator {
    using value_type = T;
    CPixelAllocator() = default;
    template <class U>
    CPixelAllocator(const CPixelAllocator<U>&) noexcept
    {
    }
    T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, size_t n) noexcept { std::allocator<T>().deallocate(p, n); }
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    bool operator==(const CPixelAllocator<U>&) const noexcept
    {
        return true;
    }
};

// Growable array of COLORREF. Element access is unchecked: callers size it first.
// SetSize throws std::bad_alloc when memory runs out; TrySetSize answers false instead.
class CPixelArray {
public:
    CPixelArray() = default;

    std::ptrdiff_t GetSize() const { return static_cast<std::ptrdiff_t>(m_data.size()); }
    std::ptrdiff_t GetCount() const { return GetSize(); }
    bool IsEmpty() const { return m_data.empty(); }

    // Sets the number of elements; new elements are 0. Without a grow-by value (-1) the
    // capacity grows by a share of the current size (size / 8, at least 4, at most 1024
    // elements), and always at least to the new size.
    void SetSize(std::ptrdiff_t newSize, std::ptrdiff_t growBy = -1);
    bool TrySetSize(std::ptrdiff_t newSize) noexcept;
    // As TrySetSize, but new elements are left unset: for a caller that writes every element
    // before anyone reads it (a decoder delivering a whole picture), and spares the clearing.
    bool TrySetSizeForOverwrite(std::ptrdiff_t newSize) noexcept;
    void RemoveAll() noexcept;

    COLORREF& operator[](std::ptrdiff_t i) { return m_data[static_cast<size_t>(i)]; }
    COLORREF operator[](std::ptrdiff_t i) const { return m_data[static_cast<size_t>(i)]; }
    COLORREF GetAt(std::ptrdiff_t i) const { return m_data[static_cast<size_t>(i)]; }
    void SetAt(std::ptrdiff_t i, COLORREF c) { m_data[static_cast<size_t>(i)] = c; }

    COLORREF* GetData() { return m_data.data(); }
    const COLORREF* GetData() const { return m_data.data(); }

    // Every element, at the current size, becomes c.
    void Fill(COLORREF c);
    void Swap(CPixelArray& other) noexcept { m_data.swap(other.m_data); }

    bool operator==(const CPixelArray&) const = default;

private:
    void Resize(std::ptrdiff_t newSize, std::ptrdiff_t growBy, bool clear);

    std::vector<COLORREF, CPixelAllocator<COLORREF>> m_data;
};

// Every element of the array, at its current size, becomes 0x787878.
void FillGrey(CPixelArray& pixels);

// Fits a w x h image into a bw x bh box keeping its aspect ratio, never enlarging it; returns
// the fitted size and sets offset to the centring offset, both in box coordinates.
CSize FitSizeKeepAspect(int w, int h, int bw, int bh, CSize& offset);

// The region of source coordinates that a bw x bh box shows of a w x h image (aspect kept,
// centred, never enlarged): box pixel (x, y) shows source pixel
// (x * S.cx / bw - O.cx, y * S.cy / bh - O.cy).
// S and O are kept in 64 bits: for a box of extreme aspect S exceeds the 32-bit range.
struct CCoverMapping {
    struct CExtent {
        int64_t cx = 0;
        int64_t cy = 0;
        bool operator==(const CExtent&) const = default;
    };
    CExtent span;   // S
    CExtent offset; // O
    int boxWidth = 0;
    int boxHeight = 0;

    // Source column of box column x and source row of box row y (may lie outside the image).
    int64_t SourceX(int64_t x) const { return x * span.cx / boxWidth - offset.cx; }
    int64_t SourceY(int64_t y) const { return y * span.cy / boxHeight - offset.cy; }
};
// Needs w, h, bw, bh all at least 1.
CCoverMapping FitSizeCover(int w, int h, int bw, int bh);

// Fits the w x h source into the bw x bh target with the cover mapping (nearest pixel);
// a plain copy when the sizes are equal. The target must already hold bw * bh elements.
// Returns 1, or -1 when a size is not positive, an array is too small or memory runs out.
int ScalePixelsToFill(const CPixelArray& src, int w, int h, CPixelArray& dst, int bw, int bh);
// The same on bare buffers for images of any size: src holds w * h pixels, dst bw * bh.
// Returns 1, or -1 when a size is not positive or memory runs out.
int ScalePixelsToFill(const COLORREF* src, int w, int h, COLORREF* dst, int bw, int bh);

// Cuts rect out of the w x h source into target (sized to rect's width x height); target
// pixels outside the source become 0xF0F0F0. Returns 1, or -1 when the source holds fewer than
// w * h elements, the rect is inverted or too large, or memory runs out.
int CropPixels(const CPixelArray& src, int w, int h, CPixelArray& dst, const CRect& rect);

// The pixels of rect (canvas coordinates) of the bw x bh canvas that the w x h source is
// fitted into with the cover mapping, into dst (sized rect width x height by the call).
// The same as ScalePixelsToFill followed by CropPixels, without the canvas in between.
// Returns 1, or -1 when a size is not positive, the source is too small or memory runs out.
int FitAndCropPixels(const CPixelArray& src, int w, int h, int bw, int bh, const CRect& rect,
                     CPixelArray& dst);

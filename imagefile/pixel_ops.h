// Operations on whole pixel arrays for the views, image windows and printing (a zoomed window
// around a point, integer shrinking, quarter turns), and the transfer of a pixel array into a
// display bitmap with the packers it needs and the probe of the display's 16-bit layout.
// Width and height travel beside the arrays; nothing keeps state.
#pragma once

#include "common/basic_types.h"
#include "imagefile/bitmap.h"
#include "imagefile/pixel_array.h"

#include <cstdint>

// A window of the w x h source centred on (cx, cy) at scale num / den (den <= 0 counts as 1;
// num < den magnifies) into the tw x th target (sized by the call); target pixel (j, i) takes
// source (left + num * j / den, top + num * i / den), 0xF0F0F0 outside the source. Returns 1.
int ExtractPixels(const CPixelArray& src, int w, int h, int cx, int cy, CPixelArray& dst, int tw, int th,
                  int den, int num);

// Every n-th pixel of every n-th row into a (w / n) x (h / n) target; n = 1 copies. Returns 1,
// or -1 when the source holds fewer than w * h pixels.
int ShrinkPixels(const CPixelArray& src, int w, int h, CPixelArray& dst, int n);

// turn 1: a quarter turn clockwise (target h wide, w high), 2: a half turn, 3: a quarter turn
// counter-clockwise, any other: a copy. A target holding fewer than w * h pixels is sized to
// w * h. Returns 1, or -1 when the source holds fewer than w * h pixels or memory runs out.
int RotatePixels(const CPixelArray& src, int w, int h, CPixelArray& dst, int turn);

// Copies the array into the bitmap (of the bitmap's size) in the bitmap's depth, using the
// 16-bit layout of the display of dc; answers the bitmap's bytes per pixel, or -1 when the
// bitmap is null or the array holds fewer pixels than the bitmap (the bitmap is then left as
// it was).
int PixelsToBitmap(CDrawContext& dc, CBitmapBuffer* bitmap, const CPixelArray& src);

// Bits per pixel of a bitmap compatible with dc; for 16-bit displays 16 (5-6-5), 15 (5-5-5) or
// 0 (neither).
int GetBitmapPixelFormat(CDrawContext& dc);

// target (x, y) = the pixel at (x, y) of the bitmap selected into dc. -1 when the target holds
// fewer than w * h elements, else 1.
int ReadPixelsFromDc(const CDrawContext& dc, CPixelArray& dst, int w, int h);

// Row y of the buffer starts at y * stride. A pixel becomes blue, green, red, 0 / blue, green,
// red / a little-endian Rgb565 word / a little-endian Rgb555 word. Return 1, or -1 when the
// source holds fewer than w * h pixels or the stride is shorter than a row.
int PackPixelsBgrx32(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h);
int PackPixelsBgr24(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h);
int PackPixelsRgb565(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h);
int PackPixelsRgb555(const CPixelArray& src, uint8_t* buffer, int stride, int w, int h);

// Red's top 5 bits in bits 11-15, green's top 6 bits in bits 5-10, blue's top 5 bits in 0-4.
constexpr uint16_t Rgb565(COLORREF c)
{
    return static_cast<uint16_t>(((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3));
}
// Red's top 5 bits in bits 10-14, green's in 5-9, blue's in 0-4, bit 15 zero.
constexpr uint16_t Rgb555(COLORREF c)
{
    return static_cast<uint16_t>(((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) | (GetBValue(c) >> 3));
}

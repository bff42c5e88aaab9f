// Pixel array operations (zoom window, shrink, quarter turns), the packers and the transfer
// into display bitmaps of every depth.
#include "imagefile/pixel_ops.h"

#include "test_bmp_support.h"

#include <gtest/gtest.h>

namespace {

using bmptest::Pattern;
using bmptest::PatternPixels;

TEST(PixelOps, QuarterTurnClockwiseOfThreeByTwo)
{
    // a b c        d a
    // d e f   ->   e b
    //              f c
    CPixelArray src;
    src.SetSize(6);
    for (int i = 0; i < 6; ++i)
        src[i] = COLORREF(i + 1);
    CPixelArray dst;
    ASSERT_EQ(RotatePixels(src, 3, 2, dst, 1), 1);
    const COLORREF want[] = {4, 1, 5, 2, 6, 3};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(dst[i], want[i]) << i;
    ASSERT_EQ(RotatePixels(src, 3, 2, dst, 3), 1);
    const COLORREF ccw[] = {3, 6, 2, 5, 1, 4};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(dst[i], ccw[i]) << i;
}

TEST(PixelOps, TurnsUndoEachOther)
{
    const CPixelArray src = PatternPixels(7, 4);
    struct Case {
        int first, second, w2, h2;
    } cases[] = {{2, 2, 7, 4}, {1, 3, 4, 7}, {3, 1, 4, 7}, {0, 0, 7, 4}, {5, 9, 7, 4}};
    for (const Case& c : cases) {
        CPixelArray mid, back;
        ASSERT_EQ(RotatePixels(src, 7, 4, mid, c.first), 1);
        ASSERT_EQ(RotatePixels(mid, c.w2, c.h2, back, c.second), 1);
        EXPECT_EQ(back, src) << c.first << " then " << c.second;
    }
    CPixelArray shortSrc;
    shortSrc.SetSize(27);
    CPixelArray dst;
    EXPECT_EQ(RotatePixels(shortSrc, 7, 4, dst, 1), -1);
}

TEST(PixelOps, ShrinkTakesEveryNthPixel)
{
    const CPixelArray src = PatternPixels(5, 5);
    CPixelArray dst;
    ASSERT_EQ(ShrinkPixels(src, 5, 5, dst, 2), 1);
    ASSERT_EQ(dst.GetSize(), 4);
    EXPECT_EQ(dst[0], Pattern(0, 0));
    EXPECT_EQ(dst[1], Pattern(2, 0));
    EXPECT_EQ(dst[2], Pattern(0, 2));
    EXPECT_EQ(dst[3], Pattern(2, 2));
    ASSERT_EQ(ShrinkPixels(src, 5, 5, dst, 1), 1);
    EXPECT_EQ(dst, src);
}

TEST(PixelOps, ExtractWindowAroundACorner)
{
    // A 10 x 10 window at scale 1 centred on the source's top-left corner: only the
    // bottom-right quarter shows the source.
    const CPixelArray src = PatternPixels(20, 20);
    CPixelArray dst;
    ASSERT_EQ(ExtractPixels(src, 20, 20, 0, 0, dst, 10, 10, 1, 1), 1);
    ASSERT_EQ(dst.GetSize(), 100);
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) {
            const bool inside = i >= 5 && j >= 5;
            EXPECT_EQ(dst[i * 10 + j], inside ? Pattern(j - 5, i - 5) : kMarginGrey) << j << "," << i;
        }
}

TEST(PixelOps, ExtractMagnifiesAndReduces)
{
    const CPixelArray src = PatternPixels(20, 20);
    CPixelArray dst;
    // num 1, den 4: every source pixel becomes a 4 x 4 block; the window of 2 x 2 source
    // pixels starts at centre - 1.
    ASSERT_EQ(ExtractPixels(src, 20, 20, 10, 10, dst, 8, 8, 4, 1), 1);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            EXPECT_EQ(dst[i * 8 + j], Pattern(9 + j / 4, 9 + i / 4)) << j << "," << i;
    // num 2, den 1: every second pixel of a 8 x 8 window; den 0 counts as 1.
    ASSERT_EQ(ExtractPixels(src, 20, 20, 10, 10, dst, 4, 4, 0, 2), 1);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(dst[i * 4 + j], Pattern(6 + 2 * j, 6 + 2 * i)) << j << "," << i;
}

TEST(PixelOps, SixteenBitWordsAndPackers)
{
    EXPECT_EQ(Rgb565(0x00FF00), 0x07E0);
    EXPECT_EQ(Rgb565(0x0000FF), 0xF800);
    EXPECT_EQ(Rgb565(0xFF0000), 0x001F);
    EXPECT_EQ(Rgb555(0x0000FF), 0x7C00);
    EXPECT_EQ(Rgb555(0x00FF00), 0x03E0);
    EXPECT_EQ(Rgb555(0xFFFFFF), 0x7FFF);

    CPixelArray src;
    src.SetSize(2);
    src[0] = RGB(1, 2, 3);
    src[1] = RGB(0xFF, 0, 0);
    // Rows start at y * stride; padding is left alone.
    std::vector<uint8_t> buf(2 * 12, 0xAA);
    ASSERT_EQ(PackPixelsBgrx32(src, buf.data(), 12, 2, 1), 1);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 9),
              (std::vector<uint8_t>{3, 2, 1, 0, 0, 0, 0xFF, 0, 0xAA}));
    ASSERT_EQ(PackPixelsBgr24(src, buf.data(), 12, 1, 2), 1);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 3), (std::vector<uint8_t>{3, 2, 1}));
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 12, buf.begin() + 15), (std::vector<uint8_t>{0, 0, 0xFF}));
    ASSERT_EQ(PackPixelsRgb565(src, buf.data(), 12, 2, 1), 1);
    EXPECT_EQ(buf[2] | buf[3] << 8, 0xF800);
    ASSERT_EQ(PackPixelsRgb555(src, buf.data(), 12, 2, 1), 1);
    EXPECT_EQ(buf[2] | buf[3] << 8, 0x7C00);
    // A stride shorter than a row, or too few pixels, is refused.
    EXPECT_EQ(PackPixelsBgr24(src, buf.data(), 5, 2, 1), -1);
    EXPECT_EQ(PackPixelsBgr24(src, buf.data(), 12, 2, 2), -1);
}

TEST(PixelOps, ProbeTellsTheDisplayLayout)
{
    struct Case {
        int bits;
        C16BitLayout layout;
        int format;
    } cases[] = {
        {32, C16BitLayout::Rgb565, 32}, {24, C16BitLayout::Rgb565, 24}, {16, C16BitLayout::Rgb565, 16},
        {16, C16BitLayout::Rgb555, 15}, {16, C16BitLayout::Other, 0},   {8, C16BitLayout::Rgb565, 8},
    };
    for (const Case& c : cases) {
        CDrawContext dc(c.bits, c.layout);
        EXPECT_EQ(GetBitmapPixelFormat(dc), c.format) << c.bits;
        EXPECT_EQ(dc.Selected(), nullptr) << "the probe leaves no bitmap selected";
    }
}

// The colour a display of this depth and layout keeps of c.
COLORREF Quantised(COLORREF c, int bits, C16BitLayout layout)
{
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    if (bits == 8)
        return RGB(r & 0xE0, g & 0xE0, b & 0xC0);
    if (bits == 16)
        return layout == C16BitLayout::Rgb555 ? RGB(r & 0xF8, g & 0xF8, b & 0xF8) : RGB(r & 0xF8, g & 0xFC, b & 0xF8);
    return c;
}

TEST(PixelOps, PixelsToBitmapAtEveryDepth)
{
    const int w = 5, h = 3; // odd width: rows are padded
    const CPixelArray src = PatternPixels(w, h);
    struct Case {
        int bits;
        C16BitLayout layout;
    } cases[] = {{32, C16BitLayout::Rgb565}, {24, C16BitLayout::Rgb565}, {16, C16BitLayout::Rgb565},
                 {16, C16BitLayout::Rgb555}, {16, C16BitLayout::Other},  {8, C16BitLayout::Rgb565}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        CDrawContext dc(c.bits, c.layout);
        CBitmapBuffer bmp = dc.CreateCompatibleBitmap(w, h);
        EXPECT_EQ(PixelsToBitmap(dc, &bmp, src), c.bits / 8);
        CDrawContext memory = dc.CreateCompatibleDC();
        memory.SelectObject(&bmp);
        CPixelArray back;
        back.SetSize(w * h);
        ASSERT_EQ(ReadPixelsFromDc(memory, back, w, h), 1);
        for (int i = 0; i < w * h; ++i)
            EXPECT_EQ(back[i], Quantised(src[i], c.bits, c.layout)) << i;
    }
}

TEST(PixelOps, PixelsToBitmapRefusesTooFewPixels)
{
    CDrawContext dc(24);
    CBitmapBuffer bmp = dc.CreateCompatibleBitmap(4, 4);
    const std::vector<uint8_t> before = bmp.Bits();
    CPixelArray src;
    src.SetSize(15);
    src.Fill(0xFFFFFF);
    EXPECT_EQ(PixelsToBitmap(dc, &bmp, src), -1);
    EXPECT_EQ(bmp.Bits(), before);
    EXPECT_EQ(PixelsToBitmap(dc, nullptr, src), -1);
    CPixelArray small;
    small.SetSize(3);
    EXPECT_EQ(ReadPixelsFromDc(dc, small, 2, 2), -1);
}

} // namespace

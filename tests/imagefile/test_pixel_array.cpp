// The pixel array and the fitting of an image into a requested canvas.
#include "imagefile/pixel_array.h"

#include "test_bmp_support.h"

#include <gtest/gtest.h>

namespace {

using bmptest::Pattern;
using bmptest::PatternPixels;

TEST(PixelArray, SizingKeepsElementsAndZeroesNewOnes)
{
    CPixelArray a;
    EXPECT_TRUE(a.IsEmpty());
    a.SetSize(3);
    a[0] = 1;
    a[2] = 3;
    a.SetSize(1000);
    EXPECT_EQ(a.GetSize(), 1000);
    EXPECT_EQ(a[0], 1u);
    EXPECT_EQ(a[2], 3u);
    EXPECT_EQ(a[999], 0u);
    a.SetSize(2);
    a.SetSize(3);
    EXPECT_EQ(a[2], 0u) << "an element cut off and grown again is 0";
    a.RemoveAll();
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_FALSE(a.TrySetSize(std::ptrdiff_t(1) << 62));
    EXPECT_TRUE(a.IsEmpty());
    a.SetSize(4);
    FillGrey(a);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a[i], 0x787878u);
}

// A size set for overwriting keeps the elements that were there and leaves the new ones to
// the caller; a size set afterwards clears what it adds again, whatever the storage held.
TEST(PixelArray, SizesForOverwriting)
{
    CPixelArray a;
    a.SetSize(1000);
    a.Fill(0x123456);
    a.SetSize(10);
    ASSERT_TRUE(a.TrySetSizeForOverwrite(20));
    EXPECT_EQ(a.GetSize(), 20);
    EXPECT_EQ(a[9], 0x123456u);
    a[19] = 7;
    a.SetSize(10);
    a.SetSize(1000);
    EXPECT_EQ(a[9], 0x123456u);
    EXPECT_EQ(a[10], 0u);
    EXPECT_EQ(a[999], 0u);
    EXPECT_FALSE(a.TrySetSizeForOverwrite(std::ptrdiff_t(1) << 62));
    EXPECT_FALSE(a.TrySetSizeForOverwrite(-1));
    EXPECT_EQ(a.GetSize(), 1000);
}

TEST(PixelArray, FitSizeKeepAspect)
{
    struct Case {
        int w, h, bw, bh;
        CSize size, offset;
    } cases[] = {
        {40, 30, 100, 100, {40, 30}, {30, 35}},   // fits: not enlarged, centred
        {400, 100, 100, 100, {100, 25}, {0, 37}}, // wide image: full width
        {100, 400, 100, 100, {25, 100}, {37, 0}}, // tall image: full height
        {300, 200, 150, 100, {150, 100}, {0, 0}}, // same aspect
        {101, 50, 100, 100, {100, 49}, {0, 25}},  // integer division truncates
    };
    for (const Case& c : cases) {
        CSize off;
        EXPECT_EQ(FitSizeKeepAspect(c.w, c.h, c.bw, c.bh, off), c.size) << c.w << "x" << c.h;
        EXPECT_EQ(off, c.offset) << c.w << "x" << c.h;
    }
}

TEST(PixelArray, FitSizeCoverGivesTheShownSourceRegion)
{
    struct Case {
        int w, h, bw, bh;
        CCoverMapping::CExtent span, offset;
    } cases[] = {
        {400, 200, 100, 100, {400, 400}, {0, 100}},
        {300, 100, 100, 100, {300, 300}, {0, 100}},
        {100, 400, 100, 100, {400, 400}, {150, 0}},
        {40, 30, 100, 100, {100, 100}, {30, 35}},
        {640, 480, 320, 240, {640, 480}, {0, 0}},
        // A box of extreme aspect: the shown region is wider than 32 bits can hold.
        {1, 65536, 65536, 1, {int64_t(1) << 32, 65536}, {((int64_t(1) << 32) - 1) / 2, 0}},
    };
    for (const Case& c : cases) {
        const CCoverMapping m = FitSizeCover(c.w, c.h, c.bw, c.bh);
        EXPECT_EQ(m.span, c.span) << c.w << "x" << c.h;
        EXPECT_EQ(m.offset, c.offset) << c.w << "x" << c.h;
    }
}

TEST(PixelArray, ScaleToFillLetterboxesAWideImage)
{
    // 400 x 200 into 100 x 100: the image fills rows 25-74, every fourth pixel.
    const CPixelArray src = PatternPixels(400, 200);
    CPixelArray dst;
    dst.SetSize(100 * 100);
    ASSERT_EQ(ScalePixelsToFill(src, 400, 200, dst, 100, 100), 1);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const COLORREF want = (y < 25 || y >= 75) ? kMarginGrey : Pattern(4 * x, 4 * y - 100);
            ASSERT_EQ(dst[y * 100 + x], want) << x << "," << y;
        }
}

TEST(PixelArray, ScaleToFillShowsASmallImageOneToOneInTheMiddle)
{
    const CPixelArray src = PatternPixels(4, 2);
    CPixelArray dst;
    dst.SetSize(8 * 6);
    ASSERT_EQ(ScalePixelsToFill(src, 4, 2, dst, 8, 6), 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 2 && y < 4;
            EXPECT_EQ(dst[y * 8 + x], inside ? Pattern(x - 2, y - 2) : kMarginGrey) << x << "," << y;
        }
    // Equal sizes copy.
    CPixelArray same;
    same.SetSize(8);
    ASSERT_EQ(ScalePixelsToFill(src, 4, 2, same, 4, 2), 1);
    EXPECT_EQ(same, src);
    // A target that was not sized is refused rather than overrun.
    CPixelArray small;
    small.SetSize(10);
    EXPECT_EQ(ScalePixelsToFill(src, 4, 2, small, 8, 6), -1);
}

TEST(PixelArray, ScaleToFillKeepsTheMappingOfABoxOfExtremeAspect)
{
    // A 2 x 65536 picture in a 65536 x 1 box shows 1/32768 of its width: only the centre box
    // pixel meets a picture column (column 1), everything else is margin.
    const int w = 2, h = 65536, bw = 65536, bh = 1;
    const CPixelArray src = PatternPixels(w, h);
    CPixelArray dst;
    dst.SetSize(int64_t(bw) * bh);
    ASSERT_EQ(ScalePixelsToFill(src, w, h, dst, bw, bh), 1);
    for (int x = 0; x < bw; ++x)
        ASSERT_EQ(dst[x], x == bw / 2 ? Pattern(1, 0) : kMarginGrey) << x;
    CPixelArray cut;
    ASSERT_EQ(FitAndCropPixels(src, w, h, bw, bh, CRect(bw / 2 - 1, 0, bw / 2 + 2, 1), cut), 1);
    ASSERT_EQ(cut.GetSize(), 3);
    EXPECT_EQ(cut[0], kMarginGrey);
    EXPECT_EQ(cut[1], Pattern(1, 0));
    EXPECT_EQ(cut[2], kMarginGrey);
}

TEST(PixelArray, CoverMappingOfATallBoxStaysExact)
{
    // An 8 x 6 picture in a 1 x 2^28 box: the box rows times the span pass 2^31, so the mapping
    // must not be worked out in int. Scaled to the box's width the picture is less than a row
    // high: exactly one box row, in the middle, shows its middle row.
    const int bh = 1 << 28;
    const CCoverMapping m = FitSizeCover(8, 6, 1, bh);
    EXPECT_LT(m.SourceY(0), 0);
    EXPECT_GE(m.SourceY(bh - 1), 6);
    int64_t first = -1, last = -1;
    for (int64_t y = bh / 2 - 8; y < bh / 2 + 8; ++y) {
        const int64_t r = m.SourceY(y);
        if (r >= 0 && r < 6) {
            first = first < 0 ? y : first;
            last = y;
        }
    }
    EXPECT_EQ(first, last);
    EXPECT_EQ(first, bh / 2);
    EXPECT_EQ(m.SourceY(first), 3);
}

TEST(PixelArray, CropCutsTheRectangleWithMarginsOutside)
{
    const CPixelArray src = PatternPixels(10, 8);
    CPixelArray dst;
    ASSERT_EQ(CropPixels(src, 10, 8, dst, CRect(-2, 6, 3, 10)), 1);
    ASSERT_EQ(dst.GetSize(), 5 * 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 5; ++j) {
            const int sx = j - 2, sy = 6 + i;
            const bool inside = sx >= 0 && sy < 8;
            EXPECT_EQ(dst[i * 5 + j], inside ? Pattern(sx, sy) : kMarginGrey) << j << "," << i;
        }
}

TEST(PixelArray, FitAndCropEqualsScaleThenCrop)
{
    const CPixelArray src = PatternPixels(37, 23);
    const CRect rects[] = {CRect(0, 0, 50, 40), CRect(10, 10, 30, 20), CRect(-5, -5, 10, 60),
                           CRect(45, 35, 70, 50), CRect(0, 0, 0, 0)};
    for (const CSize box : {CSize(50, 40), CSize(20, 20), CSize(37, 23), CSize(9, 31)}) {
        CPixelArray canvas;
        canvas.SetSize(int64_t(box.cx) * box.cy);
        ASSERT_EQ(ScalePixelsToFill(src, 37, 23, canvas, box.cx, box.cy), 1);
        for (const CRect& r : rects) {
            CPixelArray expected, got;
            ASSERT_EQ(CropPixels(canvas, box.cx, box.cy, expected, r), 1);
            ASSERT_EQ(FitAndCropPixels(src, 37, 23, box.cx, box.cy, r, got), 1);
            EXPECT_EQ(got, expected) << box.cx << "x" << box.cy << " rect " << r.left << "," << r.top;
        }
    }
}

} // namespace

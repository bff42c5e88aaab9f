// The print arithmetic without windows: the property dialog's values and the tiling of sheets.
#include <gtest/gtest.h>

#include "views/print_layout.h"

using namespace printing;

namespace {

CPrintPropertyModel OneSheet(CSize image = {3000, 2000}, CSize area = {1900, 2770})
{
    CPrintPropertyModel m;
    m.m_imageSize = image;
    m.m_area = area;
    m.m_unit = UNIT_NONE;
    m.Layout();
    return m;
}

} // namespace

TEST(PrintPropertyModel, FirstLayoutFitsTheImageToTheAreaAndCentresIt)
{
    CPrintPropertyModel m = OneSheet();
    EXPECT_EQ(m.m_printSize, CSize(1900, 1266));
    EXPECT_EQ(m.m_offset, CPoint(0, 752));
    EXPECT_EQ(m.m_firstRun, 0);
    // A later show keeps the user's values.
    m.TypeWidth(1000);
    m.Layout();
    EXPECT_EQ(m.m_printSize, CSize(1000, 666));

    // A small image is printed one pixel per unit; a zero side counts as 16 x 16.
    EXPECT_EQ(OneSheet({500, 100}).m_printSize, CSize(500, 100));
    CPrintPropertyModel empty = OneSheet({0, 300});
    EXPECT_EQ(empty.m_printSize, CSize(16, 16));
    EXPECT_TRUE(empty.TypeHeight(100));
    EXPECT_EQ(empty.m_printSize, CSize(100, 100));
}

TEST(PrintPropertyModel, TypedValuesChooseInchAndClampToTheirLimits)
{
    CPrintPropertyModel m = OneSheet();
    int value = 0;
    EXPECT_FALSE(m.ReadTyped("", "----", &value, nullptr));
    EXPECT_FALSE(m.ReadTyped("----", "----", &value, nullptr));
    EXPECT_FALSE(m.ReadTyped("7.48", "7.48", &value, nullptr));
    EXPECT_EQ(m.m_unit, UNIT_NONE);
    ASSERT_TRUE(m.ReadTyped("2", "----", &value, nullptr));
    EXPECT_EQ(m.m_unit, UNIT_INCH);
    EXPECT_EQ(value, 508);
    EXPECT_TRUE(m.TypeWidth(value));
    EXPECT_EQ(m.m_printSize, CSize(508, 338));

    m.m_unit = UNIT_MM;
    ASSERT_TRUE(m.ReadTyped("12.34", "50.8", &value, nullptr));
    EXPECT_EQ(value, 123);

    // Too wide: clamped to the area, the height follows the image's aspect.
    EXPECT_FALSE(m.TypeWidth(5000));
    EXPECT_EQ(m.m_printSize, CSize(1900, 1266));
    EXPECT_FALSE(m.TypeWidth(3));
    EXPECT_EQ(m.m_printSize.cx, 10);
    // Offsets stay on the paper.
    m.TypeWidth(1000);
    EXPECT_FALSE(m.TypeLeft(1500));
    EXPECT_EQ(m.m_offset.x, 900);
    EXPECT_TRUE(m.TypeTop(100));
    EXPECT_EQ(m.m_offset.y, 100);
    EXPECT_FALSE(m.TypeTop(-5));
    EXPECT_EQ(m.m_offset.y, 0);
}

TEST(PrintPropertyModel, SpinsStepInHundredthsOfAnInchOrTenthsOfAMillimetre)
{
    CPrintPropertyModel m = OneSheet();
    struct Case {
        int unit, value, step, expected;
    } cases[] = {
        {UNIT_INCH, 1000, 1, 1004},   // 394 hundredths + 1 -> 395.5 * 2.54
        {UNIT_INCH, 1000, -1, 999},
        {UNIT_INCH, 1000, 100, 1256},
        {UNIT_MM, 1000, 1, 1001},
        {UNIT_MM, 1000, -10, 990},
    };
    for (const Case& c : cases) {
        m.m_unit = c.unit;
        EXPECT_EQ(m.StepValue(c.value, c.step), c.expected) << c.unit << " " << c.value << " " << c.step;
    }
    EXPECT_EQ(CPrintPropertyModel::SpinStep(SPIN_UP, false, false), 1);
    EXPECT_EQ(CPrintPropertyModel::SpinStep(SPIN_DOWN, true, false), -10);
    EXPECT_EQ(CPrintPropertyModel::SpinStep(SPIN_UP, true, true), 100);
    EXPECT_EQ(CPrintPropertyModel::SpinStep(SPIN_OTHER, true, true), 0);

    // A spin without a unit chooses inch; the top offset moves against the arrow.
    m = OneSheet();
    m.TypeWidth(1000);
    m.m_unit = UNIT_NONE;
    m.SpinWidth(1);
    EXPECT_EQ(m.m_unit, UNIT_INCH);
    EXPECT_EQ(m.m_printSize, CSize(1004, 669));
    const int top = m.m_offset.y;
    m.SpinSecond(1);
    EXPECT_LT(m.m_offset.y, top);
    const int left = m.m_offset.x;
    m.SpinFirst(1);
    EXPECT_GT(m.m_offset.x, left);
}

TEST(PrintPropertyModel, SpreadCountsSheetsAndTheBoxesRememberTheirValues)
{
    CPrintPropertyModel m = OneSheet();
    m.SetSpread(true);
    EXPECT_EQ(m.m_tile, CSize(1620, 2490));
    EXPECT_EQ(m.m_maxSize, CSize(999999, 999999));
    m.TypeWidth(3000);
    EXPECT_EQ(m.m_printSize, CSize(3000, 2000));
    EXPECT_EQ(m.m_sheetsH, 2);
    EXPECT_EQ(m.m_sheetsV, 1);

    m.ClickOverlapBox(UNCHECKED);
    EXPECT_EQ(m.m_overlap, 0);
    EXPECT_EQ(m.m_tile, CSize(1720, 2590));
    m.ClickOverlapBox(CHECKED);
    EXPECT_EQ(m.m_overlap, 50);
    // An indeterminate click state counts as unchecked.
    m.ClickTomboBox(INDETERMINATE);
    EXPECT_EQ(m.m_tomboCheck, UNCHECKED);
    EXPECT_EQ(m.m_tombo, 0);
    m.ClickTomboBox(CHECKED);
    EXPECT_EQ(m.m_tombo, 90);

    // An overlap above half the area is refused and the value kept; a good one is remembered.
    EXPECT_FALSE(m.TypeOverlap(951));
    EXPECT_EQ(m.m_overlap, 50);
    EXPECT_TRUE(m.TypeOverlap(100));
    EXPECT_EQ(m.m_tile, CSize(1520, 2390));

    // Off: no overlap or marks, the boxes indeterminate; on again: the remembered values.
    m.SetSpread(false);
    EXPECT_EQ(m.m_spread, -2);
    EXPECT_EQ(m.m_overlap, 0);
    EXPECT_EQ(m.m_tombo, 0);
    EXPECT_EQ(m.m_overlapCheck, INDETERMINATE);
    EXPECT_EQ(m.m_printSize, CSize(1900, 1266));
    m.ClickOverlapBox(CHECKED);
    EXPECT_EQ(m.m_overlapCheck, INDETERMINATE);
    EXPECT_FALSE(m.TypeOverlap(10));
    m.SetSpread(true);
    EXPECT_EQ(m.m_overlap, 100);
    EXPECT_EQ(m.m_tombo, 90);
    EXPECT_EQ(m.m_overlapCheck, CHECKED);

    // A spin above 0 checks an unchecked box.
    m.ClickTomboBox(UNCHECKED);
    m.SpinTombo(1);
    EXPECT_EQ(m.m_tomboCheck, CHECKED);
    EXPECT_GT(m.m_tombo, 0);
}

TEST(PrintPropertyModel, TypedSheetCountsLimitThePrintSize)
{
    CPrintPropertyModel m = OneSheet({3000, 4000});
    m.SetSpread(true);
    m.TypeWidth(6000);
    EXPECT_EQ(m.m_sheetsH, 4);
    // Fewer sheets across shrink the print to what they hold; the rows follow.
    m.TypeSheetsAcross(2);
    EXPECT_EQ(m.m_printSize.cx, 2 * 1620);
    EXPECT_EQ(m.m_printSize.cy, 2 * 1620 * 4000 / 3000);
    EXPECT_EQ(m.m_sheetsH, 2);
    EXPECT_EQ(m.m_sheetsV, SheetCount(m.m_printSize.cy, 50, 2490));
    m.TypeSheetsDown(1);
    EXPECT_EQ(m.m_printSize.cy, 2490);
    EXPECT_EQ(m.m_sheetsV, 1);
    EXPECT_EQ(m.m_sheetsH, 2);
    m.TypeSheetsAcross(999);
    EXPECT_LE(m.m_sheetsH, 255);
}

TEST(PrintPropertyModel, TextsFollowTheUnit)
{
    CPrintPropertyModel m = OneSheet();
    EXPECT_EQ(m.FormatLength(508), "----");
    EXPECT_EQ(m.UnitWord(), "");
    EXPECT_EQ(m.FormatAreaLine(), "Printable area on a paper  : 7.5 * 10.9 inch  (190 * 277 mm)");
    EXPECT_EQ(m.FormatRightMargin(), "");
    m.m_unit = UNIT_INCH;
    EXPECT_EQ(m.FormatLength(508), "2.00");
    EXPECT_EQ(m.FormatAreaLine(), "Printable area on a paper  : Width 7.48     Height 10.91 (inch)");
    EXPECT_EQ(m.FormatBottomMargin(), "2.96 in");
    m.m_unit = UNIT_MM;
    EXPECT_EQ(m.FormatLength(508), "50.8");
    EXPECT_EQ(m.UnitWord(), "mm");
    EXPECT_EQ(m.FormatRightMargin(), "0.0 mm");
}

TEST(TiledPrinting, SheetCountsAndSampling)
{
    EXPECT_EQ(SheetCount(4000, 50, 1800), 3);
    EXPECT_EQ(SheetCount(3000, 50, 1620), 2);
    EXPECT_EQ(SheetCount(1, 50, 1620), 1);
    EXPECT_EQ(SheetCount(999999, 0, 1), 255);
    EXPECT_EQ(SheetCount(4000, 50, 0), 1);

    struct Case {
        CSize image;
        int expected;
    } cases[] = {
        {{10000, 8000}, 2},
        {{8000, 6000}, 1},
        {{20000, 15000}, 3},
        {{4999, 4200}, 1},   // 20,995,800 pixels
        {{7000, 3000}, 1},   // 21,000,000: may be sampled, not needed here
    };
    for (const Case& c : cases) {
        const CSize print(2540, int(int64_t(2540) * c.image.cy / c.image.cx));
        EXPECT_EQ(SamplingDivisor(c.image, print, {1620, 2490}, 1, 1, 600), c.expected) << c.image.cx;
    }
    // Just below the threshold nothing is sampled, however small the print.
    EXPECT_EQ(SamplingDivisor({20999999, 1}, {10, 1}, {10, 10}, 1, 1, 300), 1);
    EXPECT_EQ(SamplingDivisor({21000000, 1}, {10, 1}, {10, 10}, 1, 1, 300), 200);
    // A spread print is measured by its tiles.
    EXPECT_EQ(SamplingDivisor({10000, 8000}, {2540, 2032}, {1270, 1016}, 2, 2, 600), 1);
}

TEST(TiledPrinting, PageRectanglesRunAcrossThenDown)
{
    const CSize print(3000, 4000), tile(1620, 2490);
    struct Case {
        int page, column, row;
        CRect tileRect, image;
    } cases[] = {
        {0, 0, 0, {0, 0, 1670, 2540}, {0, 0, 1720, 2590}},
        {1, 1, 0, {1670, 0, 3000, 2540}, {1620, 0, 3000, 2590}},
        {2, 0, 1, {0, 2540, 1670, 4000}, {0, 2490, 1720, 4000}},
        {3, 1, 1, {1670, 2540, 3000, 4000}, {1620, 2490, 3000, 4000}},
    };
    for (const Case& c : cases) {
        PageRects p;
        ASSERT_TRUE(ComputePageRects(print, tile, 50, 90, 2, 2, c.page, &p)) << c.page;
        EXPECT_EQ(p.column, c.column);
        EXPECT_EQ(p.row, c.row);
        EXPECT_EQ(p.tile, c.tileRect) << c.page;
        EXPECT_EQ(p.image, c.image) << c.page;
        CRect frame = c.image;
        frame.InflateRect(90, 90);
        EXPECT_EQ(p.frame, frame);
    }
    PageRects p;
    EXPECT_FALSE(ComputePageRects(print, tile, 50, 90, 2, 2, 4, &p));
    EXPECT_FALSE(ComputePageRects({0, 4000}, tile, 50, 90, 1, 1, 0, &p));
    EXPECT_FALSE(ComputePageRects(print, {0, 0}, 50, 90, 1, 1, 0, &p));
}

TEST(TiledPrinting, ScaleChoiceReducesSampledImagesAndEnlargesCoarseOnes)
{
    // 50 dpi: enlarged 7 times to about 350 dpi.
    ScaleChoice s = ChooseScale(500, 500, 2540, 300);
    EXPECT_EQ(s.n, 7);
    EXPECT_EQ(s.k, 1);
    EXPECT_DOUBLE_EQ(s.e, 7 * 500.0 / 2540);
    // Finer than the printer: reduced.
    s = ChooseScale(12000, 12000, 2540, 300);
    EXPECT_EQ(s.n, 1);
    EXPECT_EQ(s.k, 4);
    // A sampled image is always taken through the reduction path.
    s = ChooseScale(500, 1000, 2540, 300);
    EXPECT_EQ(s.k, 1);
    EXPECT_EQ(s.n, 1);
    // Between: one to one.
    s = ChooseScale(2000, 2000, 2540, 300);
    EXPECT_EQ(s.n, 1);
    EXPECT_EQ(s.k, 1);
    // Nothing to scale: zero factors the caller refuses.
    EXPECT_EQ(ChooseScale(0, 0, 2540, 300).e, 0.0);
    EXPECT_EQ(ChooseScale(100, 100, 0, 300).e, 0.0);
}

TEST(TiledPrinting, EnlargeWeights)
{
    std::vector<int32_t> w = BuildEnlargeWeights(2);
    ASSERT_EQ(w.size(), 20u);
    EXPECT_EQ(std::vector<int32_t>(w.begin(), w.begin() + 5), (std::vector<int32_t>{100, 1, 1, 1, 103}));
    // Large factors: the corner a pixel sits at outweighs the others, the sums stay positive.
    for (int n : {7, 20, 300}) {
        w = BuildEnlargeWeights(n);
        ASSERT_EQ(w.size(), size_t(n) * n * 5);
        for (int i = 0; i < n * n; ++i) {
            const int32_t* e = &w[size_t(i) * 5];
            EXPECT_EQ(e[4], e[0] + e[1] + e[2] + e[3]);
            EXPECT_GT(e[4], 0);
        }
        EXPECT_GT(w[0], w[3]);
        const int32_t* last = &w[size_t(n * n - 1) * 5];
        EXPECT_GT(last[3], last[0]);
    }
}

TEST(TiledPrinting, SheetBitmapIsBottomUpAndPadded)
{
    SheetBitmap b;
    ASSERT_TRUE(b.Allocate(5, 3));
    EXPECT_EQ(b.stride, 16);
    EXPECT_EQ(b.bits.size(), 48u);
    b.SetPixel(1, 0, RGB(10, 20, 30));
    // Top row lives at the end; blue, green, red.
    EXPECT_EQ(b.bits[32 + 3], 30);
    EXPECT_EQ(b.bits[32 + 4], 20);
    EXPECT_EQ(b.bits[32 + 5], 10);
    EXPECT_EQ(b.Pixel(1, 0), RGB(10, 20, 30));
    EXPECT_FALSE(b.Allocate(0, 5));
    EXPECT_FALSE(b.Allocate(100000, 100000));
}

TEST(TiledPrinting, ReducedFillSamplesTheRegionAndPadsWithWhite)
{
    CPixelArray px;
    px.SetSize(4 * 3);
    for (int i = 0; i < 12; ++i)
        px[i] = RGB(i, 0, 0);
    SheetSource src{&px, CRect(10, 20, 14, 23)};
    SheetBitmap b;
    ASSERT_TRUE(b.Allocate(3, 3));
    FillSheetReduced(b, src, 2, CPoint(10, 20));
    EXPECT_EQ(b.Pixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(b.Pixel(1, 0), RGB(2, 0, 0));
    EXPECT_EQ(b.Pixel(1, 1), RGB(10, 0, 0));
    EXPECT_EQ(b.Pixel(2, 0), 0xFFFFFFu);
    EXPECT_EQ(b.Pixel(0, 2), 0xFFFFFFu);
}

TEST(TiledPrinting, EnlargedFillKeepsFlatAreasAndSmoothingOnlyTouchesSeams)
{
    // A flat grey region enlarged 8 times stays grey inside; the border blends into white.
    CPixelArray px;
    px.SetSize(10 * 10);
    px.Fill(RGB(100, 100, 100));
    SheetSource src{&px, CRect(0, 0, 10, 10)};
    const int n = 8;
    const int g0 = EnlargeGridOrigin(0, 10 / 254.0, n);
    EXPECT_EQ(g0, 2 * n - 4);
    SheetBitmap b;
    ASSERT_TRUE(b.Allocate(80, 80));
    FillSheetEnlarged(b, src, n, g0, g0, BuildEnlargeWeights(n));
    EXPECT_EQ(b.Pixel(40, 40), RGB(100, 100, 100));
    EXPECT_GT(GetRValue(b.Pixel(79, 79)), 100);
    SmoothSeams(b, n, g0, g0);
    EXPECT_EQ(b.Pixel(40, 40), RGB(100, 100, 100));

    // A step between two columns of the source: smoothing softens the seam rows, not the rest.
    px.SetSize(4 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            px[y * 4 + x] = y < 2 ? RGB(0, 0, 0) : RGB(200, 200, 200);
    src = {&px, CRect(0, 0, 4, 4)};
    ASSERT_TRUE(b.Allocate(32, 32));
    FillSheetEnlarged(b, src, n, 2 * n, 2 * n, BuildEnlargeWeights(n));
    SheetBitmap before = b;
    SmoothSeams(b, n, 2 * n, 2 * n);
    int changedRows = 0;
    for (int y = 0; y < 32; ++y)
        if (b.Pixel(12, y) != before.Pixel(12, y))
            ++changedRows;
    EXPECT_GT(changedRows, 0);
    // Rows away from any seam (fy above n / 5 and not a mirror row) keep their values.
    EXPECT_EQ(b.Pixel(12, 12), before.Pixel(12, 12));
    // Below n nothing is smoothed.
    SheetBitmap small = before;
    SmoothSeams(small, 6, 0, 0);
    EXPECT_EQ(small.bits, before.bits);
}

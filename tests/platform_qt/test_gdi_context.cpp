// The drawing context: colour word order at the Qt boundary and the pixels that lines,
// rectangles and fills cover (right, bottom and end pixels left out).
#include <gtest/gtest.h>

#include <QImage>

#include "platform/qt/gdi_context.h"
#include "platform/qt/qt_colour.h"
#include "tests/platform_qt/qt_app.h"

SMRA_QT_TEST_APP();

using namespace platform::qt;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(200, 10, 30);

QImage Blank(int w = 12, int h = 12)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(ToQRgb(kWhite));
    return img;
}

// The image as rows of '#' (ink) and '.' (anything else).
std::vector<std::string> Inked(CGdiContext& dc)
{
    std::vector<std::string> rows;
    for (int y = 0; y < dc.Height(); ++y) {
        std::string row;
        for (int x = 0; x < dc.Width(); ++x)
            row += dc.GetPixel(x, y) == kInk ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

int CountInk(CGdiContext& dc)
{
    int n = 0;
    for (const std::string& r : Inked(dc))
        n += static_cast<int>(std::count(r.begin(), r.end(), '#'));
    return n;
}

} // namespace

TEST(QtColour, ProgramColourWordSwapsRedAndBlueAtTheBoundary)
{
    EXPECT_EQ(ToQRgb(RGB(0x12, 0x34, 0x56)), 0xFF123456u);
    EXPECT_EQ(FromQRgb(qRgb(0x12, 0x34, 0x56)), RGB(0x12, 0x34, 0x56));
    // The unused high byte of a program colour never leaks into alpha.
    EXPECT_EQ(ToQRgb(0xAB0000FFu), 0xFFFF0000u);

    QImage img = Blank(2, 1);
    CGdiContext dc(img);
    dc.SetPixel(0, 0, RGB(255, 0, 0));
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(dc.GetPixel(0, 0), RGB(255, 0, 0));
}

TEST(GdiContext, LinesLeaveOutTheirEndPoint)
{
    struct Case {
        CPoint from, to;
        int pixels;     // pixels drawn
        CPoint absent;  // the end point, never drawn
    };
    const Case cases[] = {
        {{1, 1}, {6, 1}, 5, {6, 1}},   // horizontal
        {{2, 8}, {2, 3}, 5, {2, 3}},   // vertical, upwards
        {{0, 0}, {4, 4}, 4, {4, 4}},   // diagonal
        {{3, 3}, {3, 3}, 0, {3, 3}},   // a zero-length line draws nothing
        {{9, 2}, {1, 6}, 8, {1, 6}},   // shallow, leftwards
    };
    for (const Case& c : cases) {
        QImage img = Blank();
        CGdiContext dc(img);
        dc.SelectPen({PS_SOLID, 1, kInk});
        dc.MoveTo(c.from.x, c.from.y);
        dc.LineTo(c.to.x, c.to.y);
        EXPECT_EQ(CountInk(dc), c.pixels) << c.from.x << "," << c.from.y << " -> " << c.to.x << "," << c.to.y;
        EXPECT_NE(dc.GetPixel(c.absent.x, c.absent.y), kInk);
        if (c.pixels > 0) {
            EXPECT_EQ(dc.GetPixel(c.from.x, c.from.y), kInk);
        }
    }
}

TEST(GdiContext, ConsecutiveLinesMeetWithoutGapsOrDoublePixels)
{
    QImage img = Blank();
    CGdiContext dc(img);
    dc.SelectPen({PS_SOLID, 1, kInk});
    dc.MoveTo(1, 1);
    dc.LineTo(5, 1);
    dc.LineTo(5, 5);
    dc.LineTo(1, 5);
    dc.LineTo(1, 1);
    const std::vector<std::string> expect = {
        "............", ".#####......", ".#...#......", ".#...#......", ".#...#......", ".#####......",
    };
    const std::vector<std::string> got = Inked(dc);
    for (size_t y = 0; y < expect.size(); ++y)
        EXPECT_EQ(got[y], expect[y]) << "row " << y;
}

TEST(GdiContext, RectanglesAndFillsLeaveOutRightAndBottomEdges)
{
    QImage img = Blank();
    CGdiContext dc(img);
    dc.FillSolidRect({2, 3, 6, 5}, kInk);
    EXPECT_EQ(CountInk(dc), 4 * 2);
    EXPECT_EQ(dc.GetPixel(5, 4), kInk);
    EXPECT_NE(dc.GetPixel(6, 4), kInk);
    EXPECT_NE(dc.GetPixel(5, 5), kInk);

    // Outline of a Rectangle lies inside it; the brush fills the interior.
    QImage img2 = Blank();
    CGdiContext dc2(img2);
    dc2.SelectPen({PS_SOLID, 1, kInk});
    dc2.SelectBrush(CBrush::Solid(RGB(0, 0, 255)));
    dc2.Rectangle({1, 1, 5, 4});
    EXPECT_EQ(CountInk(dc2), 4 + 4 + 1 + 1);  // top, bottom rows and the two side pixels between
    EXPECT_EQ(dc2.GetPixel(4, 3), kInk);
    EXPECT_NE(dc2.GetPixel(5, 3), kInk);
    EXPECT_NE(dc2.GetPixel(4, 4), kInk);
    EXPECT_EQ(dc2.GetPixel(2, 2), RGB(0, 0, 255));

    // A hollow brush keeps the interior; an empty rectangle draws nothing.
    QImage img3 = Blank();
    CGdiContext dc3(img3);
    dc3.SelectPen({PS_SOLID, 1, kInk});
    dc3.SelectBrush(CBrush::Hollow());
    dc3.Rectangle({1, 1, 5, 4});
    EXPECT_EQ(dc3.GetPixel(2, 2), kWhite);
    dc3.Rectangle({8, 8, 8, 10});
    dc3.FillSolidRect({9, 9, 7, 11}, kInk);
    EXPECT_EQ(CountInk(dc3), 10);
}

TEST(GdiContext, ClipRegionAndBlitsKeepToTheirBounds)
{
    QImage img = Blank();
    CGdiContext dc(img);
    CRgn clip({0, 0, 4, 12});
    clip.Union({8, 0, 12, 12});
    dc.SelectClipRgn(&clip);
    dc.FillSolidRect({0, 0, 12, 1}, kInk);
    EXPECT_EQ(Inked(dc)[0], "####....####");
    dc.SelectClipRgn(nullptr);

    // A blit from a 3 x 2 source placed at the image's corner writes only the part inside.
    QImage src(3, 2, QImage::Format_RGB32);
    src.fill(ToQRgb(kInk));
    QImage img2 = Blank(4, 4);
    CGdiContext dc2(img2);
    dc2.BitBlt(2, 3, 3, 2, src, 0, 0);
    EXPECT_EQ(CountInk(dc2), 2);
    EXPECT_EQ(dc2.GetPixel(3, 3), kInk);
    EXPECT_EQ(dc2.GetPixel(4, 3), 0xFFFFFFFFu);  // outside the image: no colour
}

TEST(GdiContext, TextLeavesItsRectangleOnlyWithNoClip)
{
    // Two lines in a rectangle one line high: the second shows only with DT_NOCLIP.
    for (const bool noClip : {false, true}) {
        QImage img = Blank(120, 60);
        CGdiContext dc(img);
        dc.SelectFont(CFontSpec{"Liberation Sans", 0, 14, false, false});
        dc.SetTextColor(kInk);
        dc.SetBkMode(TRANSPARENT);
        dc.DrawText("Hg\nHg", {10, 5, 110, 20}, DT_CENTER | (noClip ? DT_NOCLIP : 0u));
        int below = 0;
        for (int y = 22; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                below += dc.GetPixel(x, y) != kWhite;
        EXPECT_EQ(below > 20, noClip) << below;
    }
}

TEST(GdiContext, StyledLineGapsTakeTheBackgroundOnlyWhenOpaque)
{
    constexpr COLORREF kBack = RGB(0x80, 0xC0, 0xC0);
    for (int mode : {OPAQUE, TRANSPARENT}) {
        QImage img = Blank(30, 1);
        CGdiContext dc(img);
        dc.SelectPen({PS_DASH, 1, kInk});
        dc.SetBkColor(kBack);
        dc.SetBkMode(mode);
        dc.MoveTo(0, 0);
        dc.LineTo(30, 0);
        std::string row;
        for (int x = 0; x < 30; ++x)
            row += dc.GetPixel(x, 0) == kInk ? '#' : dc.GetPixel(x, 0) == kBack ? 'b' : '.';
        // 18 on, 6 off.
        EXPECT_EQ(row, std::string(18, '#') + std::string(6, mode == OPAQUE ? 'b' : '.') + std::string(6, '#')) << mode;
    }
}

TEST(GdiContext, CopiesHangingOverEitherImageMatchTheClippedCopy)
{
    QImage src(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            src.setPixel(x, y, qRgb(x * 30, y * 40, 7));
    struct Case {
        int x, y, w, h, sx, sy;
    } cases[] = {{0, 0, 7, 5, 0, 0}, {-2, 1, 7, 5, 0, 0}, {8, 9, 9, 9, 0, 0}, {1, 1, 20, 20, -3, -2},
                 {0, 0, 12, 12, 4, 3}, {3, -1, 4, 4, 2, 0}, {0, 0, 5, 5, 9, 0}};
    for (const Case& c : cases) {
        QImage plain = Blank(), clipped = Blank();
        CGdiContext a(plain), b(clipped);
        b.IntersectClipRect({0, 0, 12, 12});  // clips nothing, but takes the pixel-by-pixel path
        a.BitBlt(c.x, c.y, c.w, c.h, src, c.sx, c.sy);
        b.BitBlt(c.x, c.y, c.w, c.h, src, c.sx, c.sy);
        EXPECT_EQ(plain, clipped) << c.x << "," << c.y << " " << c.w << "x" << c.h << " from " << c.sx << "," << c.sy;
    }
}

// Rounding, saturation, clamps and colour arithmetic of the shared value types.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/value_types.h"

TEST(Clamps, UpperBoundWinsAndNanFallsToLowerBound)
{
    EXPECT_EQ(Clamp(5, 10, 3), 3);
    EXPECT_EQ(Clamp(-4, 0, 9), 0);
    EXPECT_EQ(Clamp(12, 0, 9), 9);
    int v = 50;
    ClampInPlace(&v, 0, 20);
    EXPECT_EQ(v, 20);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ClampDouble(nan, 0, 1), 0);
    EXPECT_EQ(ClampDouble(std::numeric_limits<double>::infinity(), 0, 1), 1);
    EXPECT_EQ(ClampDouble(-std::numeric_limits<double>::infinity(), 0, 1), 0);
    double d = nan;
    ClampDoubleInPlace(&d, 2, 3);
    EXPECT_EQ(d, 2);
}

TEST(CDPointRounding, RoundsHalfUpAndSaturatesBeforeConverting)
{
    struct Case {
        double x, y;
        int px, py;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {2.5, -2.5, 3, -2},
        {-0.49, 0.49, 0, 0},
        {3e9, -3e9, 2100000000, -2100000000},
        {nan, 2.1e9, -2100000000, 2100000000},
        {inf, -inf, 2100000000, -2100000000},
        {-2.1e9, 1e300, -2100000000, 2100000000},
    };
    for (const Case& c : cases) {
        const CPoint p = CDPoint(c.x, c.y).ToPoint();
        EXPECT_EQ(p.x, c.px) << c.x;
        EXPECT_EQ(p.y, c.py) << c.y;
    }
}

TEST(CDPoint, ComparesWithIntPointsByTruncation)
{
    EXPECT_TRUE(CDPoint(-0.7, 0.7).IsSameAsPoint(CPoint(0, 0)));
    EXPECT_FALSE(CDPoint(1.0, 0.7).IsSameAsPoint(CPoint(0, 0)));
    EXPECT_FALSE(CDPoint(1e300, 0).IsSameAsPoint(CPoint(2147483647, 0)));
    CDPoint p(3, 4);
    EXPECT_DOUBLE_EQ(p.Length(), 5.0);
    p.Rotate(std::acos(-1.0) / 2);
    EXPECT_NEAR(p.x, 4.0, 1e-12);
    EXPECT_NEAR(p.y, -3.0, 1e-12);
}

TEST(CRgbSum, AverageClampsAndReportsTrouble)
{
    CRgbSum s{300, -4, 128, 1};
    EXPECT_FALSE(s.Average());
    EXPECT_EQ(s.r, 255);
    EXPECT_EQ(s.g, 0);
    EXPECT_EQ(s.b, 128);
    EXPECT_EQ(s.count, 1);

    CRgbSum z;
    EXPECT_FALSE(z.Average());
    EXPECT_EQ(z.count, 1);

    CRgbSum ok{30, 60, 90, 3};
    EXPECT_TRUE(ok.Average());
    EXPECT_TRUE(ok.EqualsRgb(10, 20, 30));
}

TEST(CRgbSum, ColourConversions)
{
    CRgbSum s{510, 0, 255, 2};
    EXPECT_EQ(s.ToColour(), RGB(255, 0, 127));
    EXPECT_EQ(s.r, 510);  // channels untouched

    CRgbSum zero{700, 20, 30, 0};
    EXPECT_EQ(zero.ToColour(), RGB(255, 20, 30));
    EXPECT_EQ(zero.count, 1);

    CRgbSum grey{90, 90, 90, 0};
    EXPECT_EQ(grey.ToGreyColour(), 0x5A5A5Au);
    EXPECT_EQ(grey.count, 1);

    CRgbSum c;
    c.SetColour(RGB(1, 2, 3));
    c.AddColourWeighted(RGB(10, 20, 30), 2);
    EXPECT_TRUE(c.EqualsRgb(21, 42, 63));
    EXPECT_EQ(c.count, 3);
}

TEST(CRgbSum, ColourDistanceRefusesBlackAndWhiteOnEitherSide)
{
    struct Case {
        CRgbSum own;
        int r, g, b, n;
        int expected;
    };
    const Case cases[] = {
        {{1, 1, 0, 1}, 100, 100, 100, 1, -1},         // own black
        {{255, 255, 253, 1}, 100, 100, 100, 1, -1},   // own white
        {{100, 100, 100, 1}, 0, 1, 1, 1, -1},         // other black
        {{100, 100, 100, 1}, 255, 255, 255, 1, -1},   // other white
        {{200, 200, 200, 2}, 110, 100, 90, 1, 200},   // own divided by its count
        {{100, 100, 100, 1}, 220, 200, 180, 2, 200},  // other divided by n
    };
    for (const Case& t : cases) {
        const CRgbSum own = t.own;
        EXPECT_EQ(own.ColourDistance(t.r, t.g, t.b, t.n), t.expected);
        // Asked again (the fit asks in loops), the same sum gives the same distance.
        EXPECT_EQ(own.ColourDistance(t.r, t.g, t.b, t.n), t.expected);
        EXPECT_TRUE(own.EqualsRgb(t.own.r, t.own.g, t.own.b));
        EXPECT_EQ(own.count, t.own.count);
    }
}

TEST(CRgbSum, ComponentPicksFollowTheOrderOfTests)
{
    EXPECT_EQ((CRgbSum{5, 5, 3, 1}).MaxComponent(), 3);
    EXPECT_EQ((CRgbSum{5, 3, 5, 1}).MaxComponent(), 5);
    EXPECT_EQ((CRgbSum{9, 3, 5, 1}).MaxComponent(), 9);
    EXPECT_EQ((CRgbSum{1, 3, 5, 1}).MinComponent(), 1);
    EXPECT_EQ((CRgbSum{3, 3, 5, 1}).MinComponent(), 5);
}

TEST(IntHelpers, ExtremaDecibelsAndTurns)
{
    const int none[] = {0, 0};
    EXPECT_EQ(MinNonZero(none, 2), 2100000000);
    EXPECT_EQ(MaxNonZero(none, 2), -2100000000);
    const int some[] = {0, -3, 7, 0, 2};
    EXPECT_EQ(MinNonZero(some, 5), -3);
    EXPECT_EQ(MaxNonZero(some, 5), 7);
    EXPECT_EQ(MinNonZero(some, 0), 2100000000);

    EXPECT_EQ(RatioDecibels(1, 0), 0);
    EXPECT_EQ(RatioDecibels(100, 1), 20);
    EXPECT_EQ(RatioDecibels(1, 100), 0);
    EXPECT_EQ(RatioDecibels(50, 1), 16);

    EXPECT_TRUE(IsSameSizeAnyTurn(CRect(0, 0, 40, 30), CRect(5, 5, 35, 45)));
    EXPECT_FALSE(IsSameSizeAnyTurn(CRect(0, 0, 40, 30), CRect(0, 0, 40, 31)));
    EXPECT_EQ(Min4(4, -1, 3, 2), -1);
    EXPECT_EQ(Max4(4, -1, 3, 2), 4);
}

TEST(PointHelpers, ClampInsideMarginIncludesRightAndBottomEdges)
{
    const CRect r(0, 0, 100, 50);
    CPoint inside(40, 20);
    ClampPointInsideMargin(r, &inside, 10);
    EXPECT_EQ(inside, CPoint(40, 20));

    CPoint onEdge(90, 20);  // on the shrunk rectangle's right edge: clamped to it, no further
    ClampPointInsideMargin(r, &onEdge, 10);
    EXPECT_EQ(onEdge, CPoint(90, 20));

    CPoint outside(150, -7);
    ClampPointInsideMargin(r, &outside, 10);
    EXPECT_EQ(outside, CPoint(90, 10));
}

TEST(RectSemantics, ExclusiveEdgesAndEmptyIntersections)
{
    const CRect a(0, 0, 10, 10);
    EXPECT_TRUE(a.PtInRect(CPoint(0, 0)));
    EXPECT_FALSE(a.PtInRect(CPoint(10, 5)));
    EXPECT_FALSE(a.PtInRect(CPoint(5, 10)));

    CRect r;
    EXPECT_FALSE(r.IntersectRect(a, CRect(10, 0, 20, 10)));  // touching only
    EXPECT_TRUE(r.IsRectNull());
    EXPECT_TRUE(r.IntersectRect(a, CRect(5, -5, 20, 5)));
    EXPECT_EQ(r, CRect(5, 0, 10, 5));

    EXPECT_TRUE(r.UnionRect(CRect(), a));
    EXPECT_EQ(r, a);
    EXPECT_TRUE(CRect(3, 3, 3, 9).IsRectEmpty());
}

TEST(RectSemantics, HugeAreasMeasureWithoutOverflow)
{
    const CRect huge(-2100000000, -2100000000, 2100000000, 2100000000);
    EXPECT_EQ(huge.Width(), INT32_MAX);
    EXPECT_EQ(huge.Height(), INT32_MAX);
    EXPECT_EQ(huge.CenterPoint(), CPoint(0, 0));
    EXPECT_EQ(CRect(2100000000, 0, -2100000000, 1).Width(), INT32_MIN);
    EXPECT_EQ(CRect(-5, 7, 11, 3).Width(), 16);
    EXPECT_EQ(CRect(-5, 7, 11, 3).Height(), -4);
    EXPECT_EQ(CRect(2000000000, 0, 2100000000, 0).CenterPoint().x, 2050000000);
}

TEST(Segments, LengthsCarryTheirGuard)
{
    EXPECT_DOUBLE_EQ(SegmentLength(CRect(0, 0, 3, 4)), 5.0 + 1e-9);
    EXPECT_DOUBLE_EQ(SegmentLengthD(CDPoint(1.0, 1.0), CDPoint(1.0, 1.0)), 1e-9);
    double running = 2.0;
    MaxAbsOfDoublePoints(CDPoint(-3.0, 1.0), &running);
    EXPECT_EQ(running, 3.0);
}

TEST(Records, DefaultsAreDefined)
{
    LabeledPoint lp;
    EXPECT_EQ(lp.v3, 0);
    lp.v3 = 77;
    lp.Set("a.jpg", 3, 4);
    EXPECT_EQ(lp.v1, 4);
    EXPECT_EQ(lp.v3, 77);
    EXPECT_EQ(lp.pos, CPoint(3, 4));
    const MarkPoint m;
    EXPECT_EQ(m.flag, 1);
    EXPECT_EQ(m.picture, 0);
}

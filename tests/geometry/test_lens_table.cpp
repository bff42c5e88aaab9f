// The radial lens distortion table: its build stop points, lookups at and beyond its ends, and
// the distort/undistort round trip.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/lens_table.h"

namespace {

// A table whose index scale is 500 entries per unit: with s = 1 / R a camera-plane point at
// radius R sits at the normalised radius 1.
LensTable BuiltTable(double k, double radius = 2000.0)
{
    LensTable t;
    t.SetReference(0.0, radius);
    t.Build(k, radius);
    return t;
}

TEST(LensTable, ConstructionIsTheIdentityWithAnUnsetReference)
{
    const LensTable t;
    EXPECT_EQ(t.ReferenceValue(), 0.0);
    EXPECT_EQ(t.ReferenceRadius(), -2.0);
    EXPECT_EQ(t.IndexScale(), 1.0);
    EXPECT_EQ(t.LastValidIndex(), 1);
    for (int i = 0; i < LensTable::TableSize; ++i) {
        ASSERT_EQ(t.ForwardFactor(i), 1.0);
        ASSERT_EQ(t.InverseFactor(i), 1.0);
    }
    EXPECT_EQ(t.Distort({0.0, 0.0}, 1.0), CDPoint(0.0, 0.0));
    EXPECT_EQ(t.Distort({123.0, -45.0}, 0.001), CDPoint(123.0, -45.0));
}

TEST(LensTable, BuildStopsWhereTheCurveOrItsInverseEnds)
{
    struct Case {
        double k;
        int lastForward; // last forward entry this build wrote
        int lastValid;
    } cases[] = {
        // g = r^2 (2 - r^2) turns negative at i = 708.
        {-0.02, 707, 705},
        // The distorted radius falls back below the previous one at i = 613.
        {1.0, 613, 840},
        // The distorted radius passes the table's end at i = 500; the last index is clamped.
        {2.0, 500, 999},
    };
    for (const Case& c : cases) {
        const LensTable fresh = BuiltTable(c.k, 1000.0);
        EXPECT_EQ(fresh.LastValidIndex(), c.lastValid) << c.k;
        const double h = c.k * 0.5;
        const double r = static_cast<double>(c.lastForward) / 500.0;
        EXPECT_DOUBLE_EQ(fresh.ForwardFactor(c.lastForward), h * r * r * (2.0 - r * r) + 1.0) << c.k;
        if (c.lastForward + 1 < LensTable::TableSize) {
            EXPECT_EQ(fresh.ForwardFactor(c.lastForward + 1), 1.0) << c.k;
        }
    }
    // With k = 2 the inverse entry at the clamped last index was never written: it keeps 1.0.
    EXPECT_EQ(BuiltTable(2.0).InverseFactor(999), 1.0);
}

TEST(LensTable, WorkedFactorsForAPositiveCoefficient)
{
    const LensTable t = BuiltTable(0.1);
    EXPECT_EQ(t.ForwardFactor(0), 1.0);
    EXPECT_EQ(t.InverseFactor(0), 1.0);
    EXPECT_DOUBLE_EQ(t.ForwardFactor(500), 1.05);
    // The inverse entry at the distorted radius of entry 500 (trunc(1.05 * 500) = 525) undoes it.
    EXPECT_DOUBLE_EQ(t.InverseFactor(525), 1.0 / 1.05);
    // Entries between two written ones are interpolated: every entry lies within the range
    // of the factors' inverses.
    for (int i = 0; i <= t.LastValidIndex(); ++i) {
        ASSERT_LE(t.InverseFactor(i), 1.0) << i;
        ASSERT_GE(t.InverseFactor(i), 1.0 / 1.05 - 1e-12) << i;
    }
}

TEST(LensTable, ReferenceSettersIgnoreNonPositiveValues)
{
    LensTable t;
    t.SetReference(1200.0, 1500.0);
    t.SetReference(0.0, -1.0);
    EXPECT_EQ(t.ReferenceValue(), 1200.0);
    EXPECT_EQ(t.ReferenceRadius(), 1500.0);
    EXPECT_EQ(t.ReferenceRatio(600.0), 0.5);
    EXPECT_EQ(t.ReferenceRatio(1200.0), 1.0);
    EXPECT_EQ(LensTable().ReferenceRatio(600.0), 1.0);

    t.Build(-0.02, 3000.0);
    EXPECT_EQ(t.IndexScale(), 1000.0);
    for (double radius : {0.0, -5.0}) {
        t.Build(-0.02, radius);
        EXPECT_EQ(t.IndexScale(), 1000.0) << radius;
    }
    // Without a reference radius a build resets the table to the identity.
    LensTable unset;
    unset.Build(0.3, 1000.0);
    EXPECT_EQ(unset.IndexScale(), 1.0);
    EXPECT_EQ(unset.LastValidIndex(), 1);
    EXPECT_EQ(unset.ForwardFactor(300), 1.0);
}

TEST(LensTable, ZeroCoefficientKeepsTheTablesAsTheyStand)
{
    LensTable t = BuiltTable(-0.1);
    const double before = t.ForwardFactor(400);
    ASSERT_NE(before, 1.0);
    t.Build(0.0, 4000.0);
    EXPECT_EQ(t.IndexScale(), 1000.0);
    EXPECT_EQ(t.ForwardFactor(400), before);
    t.Reset();
    EXPECT_EQ(t.ForwardFactor(400), 1.0);
    EXPECT_EQ(t.InverseFactor(400), 1.0);
}

TEST(LensTable, LookupsBeyondTheTableUseTheLastValidEntry)
{
    const LensTable t = BuiltTable(-0.02);
    const double last = t.ForwardFactor(t.LastValidIndex());
    const double inv = t.InverseFactor(t.LastValidIndex());
    const double s = 1.0 / 2000.0;
    for (double radius : {1.42 * 2000.0, 1e6, 1e300, std::numeric_limits<double>::infinity()}) {
        const CDPoint p{radius, 0.0};
        EXPECT_EQ(t.Distort(p, s).x, radius * last) << radius;
        EXPECT_EQ(t.Undistort(p, s).x, radius * inv) << radius;
    }
    // NaN and negative scales take a defined entry without undefined conversions.
    EXPECT_TRUE(std::isnan(t.Distort({std::nan(""), 1.0}, s).x));
    EXPECT_EQ(t.Distort({0.0, 0.0}, s), CDPoint(0.0, 0.0));
    EXPECT_EQ(t.Distort({100.0, 0.0}, -s), t.Distort({100.0, 0.0}, s));
}

TEST(LensTable, UndistortUndoesDistortAcrossTheTable)
{
    const double radius = 2000.0;
    const double s = 1.0 / radius;
    for (double k : {-0.02, -0.1, 0.05, 0.2}) {
        const LensTable t = BuiltTable(k, radius);
        double worst = 0.0;
        // Up to normalised radius 1.3, inside the valid range of every coefficient here.
        for (int i = 1; i <= 130; ++i) {
            for (double angle : {0.0, 0.7, 2.0, 4.0}) {
                const double r = radius * i / 100.0;
                const CDPoint p{r * std::cos(angle), r * std::sin(angle)};
                const CDPoint back = t.Undistort(t.Distort(p, s), s);
                worst = std::max(worst, std::hypot(back.x - p.x, back.y - p.y) / r);
            }
        }
        // Both lookups truncate to the table step (1/500 of a unit radius); the curve's slope,
        // at most 1.8 k per unit up to radius 1.3, bounds the relative error by two steps.
        EXPECT_LT(worst, std::fabs(k) * 0.0075) << k;
    }
}

TEST(LensTable, TheProcessWideTableIsOneObject)
{
    EXPECT_EQ(&GetLensTable(), &GetLensTable());
}

} // namespace

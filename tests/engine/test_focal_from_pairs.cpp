// Segment pairs of shared control points and the focal searches on small synthetic cameras:
// the pairing counts, the closed-form cases, the bounds of the searches, and termination on
// input that has no answer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "engine/fit/focal_from_pairs.h"
#include "geometry/focal_from_angle.h"
#include "geometry/sphere.h"
#include "picset/kpic.h"

namespace {

// Two pictures that share `shared` fitted ids; b holds one more fitted id a lacks.
void ShareIds(CKpic& a, CKpic& b, int shared)
{
    for (int i = 0; i < shared; ++i) {
        for (CKpic* k : {&a, &b}) {
            ControlPoint& cp = k->m_Points[static_cast<std::size_t>(i)];
            cp.kind = 1;
            cp.state = 3;
            cp.pointId = 500 + i;
            cp.planePosition = CDPoint(10.0 * i + (k == &b ? 3.0 : 0.0), -7.0 * i);
        }
    }
    ControlPoint& extra = b.m_Points[static_cast<std::size_t>(shared)];
    extra.kind = 1;
    extra.state = 3;
    extra.pointId = 9999;
}

TEST(FocalFromPairs, PairingCountsEveryTwoSharedPointsUpToNinetyNine)
{
    struct Case {
        int shared;
        int expect;
    };
    for (const Case c : {Case{0, 0}, Case{1, 0}, Case{2, 1}, Case{5, 10}, Case{14, 91}, Case{15, 99}}) {
        auto a = std::make_unique<CKpic>();
        auto b = std::make_unique<CKpic>();
        ShareIds(*a, *b, c.shared);
        EXPECT_EQ(PairFeaturePoints(*a, *b), c.expect) << c.shared;
        EXPECT_EQ(GetFocalPairing().pointCount, c.shared);
        EXPECT_EQ(GetFocalPairing().PairingGeneration, 3);
    }
    // Open slots of b do not pair.
    auto a = std::make_unique<CKpic>();
    auto b = std::make_unique<CKpic>();
    ShareIds(*a, *b, 4);
    b->m_Points[1].state = 0;
    EXPECT_EQ(PairFeaturePoints(*a, *b), 3);
}

// A pair of pictures of focal f1 and f2 seeing the same directions.
void MakeCameraPairs(double f1, double f2, SegmentPair* pairs, int& n)
{
    const CDPoint directions[] = {{-0.30, 0.10}, {0.25, -0.20}, {0.05, 0.30}, {-0.15, -0.25}, {0.32, 0.22}};
    auto plane = [](CDPoint d, double f, double yaw) {
        return CDPoint(std::tan(d.x - yaw) * f, std::tan(d.y) * f / std::cos(d.x - yaw));
    };
    n = 0;
    for (int j = 0; j < 5; ++j)
        for (int k = j + 1; k < 5; ++k) {
            pairs[n].a.Set(plane(directions[j], f1, 0.0), plane(directions[k], f1, 0.0));
            pairs[n].b.Set(plane(directions[j], f2, 0.1), plane(directions[k], f2, 0.1));
            ++n;
        }
}

TEST(FocalFromPairs, SearchesFindTheCamerasFocals)
{
    SegmentPair pairs[SegmentPairCapacity];
    int n = 0;
    MakeCameraPairs(1500.0, 2100.0, pairs, n);
    GetFocalPairing().PairingGeneration = 3;
    EXPECT_NEAR(UpdatePairAngles(pairs, n, 1500.0), 2100.0, 0.01);
    EXPECT_NEAR(PairAngleError(pairs, n, 1500.0, 2100.0), 0.0, 1e-6);
    // The refinement is local: it converges from a few tenths of a percent away.
    double fB = 2096.0;
    EXPECT_LT(RefineFocalFromPairs(pairs, n, 1500.0, fB), 0.01);
    EXPECT_NEAR(fB, 2100.0, 2100.0 * 1e-4);
    double fA = 1400.0;
    EXPECT_NEAR(SearchFocalFromPairs(pairs, n, fA), 2100.0, 2100.0 * 2e-3);
    EXPECT_NEAR(fA, 1500.0, 1500.0 * 2e-3);

    MakeCameraPairs(1800.0, 1800.0, pairs, n);
    GetFocalPairing().PairingGeneration = 3;
    EXPECT_NEAR(ScanFocalRange(pairs, n, 1650.0), 1800.0, 1800.0 * 0.02);
    EXPECT_NEAR(SolveFocalForEqualAngles(pairs[0]), 1800.0, 1800.0 * 0.05);

    // Two points on either side of the centre at radius r subtending theta: r / tan(theta / 2).
    const double r = 400.0, theta = 0.5;
    EXPECT_NEAR(SolveFocalFromAngle(theta, CDPoint(-r, 0.0), CDPoint(r, 0.0)), r / std::tan(theta / 2.0), 1e-6);
}

TEST(FocalFromPairs, SearchesEndOnInputWithoutAnAnswer)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    SegmentPair pairs[4];
    for (SegmentPair& p : pairs) {
        p.a.Set(CDPoint(nan, 1.0), CDPoint(3.0, nan));
        p.b.Set(CDPoint(nan, 2.0), CDPoint(1.0, nan));
    }
    GetFocalPairing().PairingGeneration = 3;
    // Every search returns (the test would hang otherwise) with a usable number.
    double fB = 1000.0;
    RefineFocalFromPairs(pairs, 4, 1000.0, fB);
    EXPECT_TRUE(std::isfinite(fB));
    double fA = 1000.0;
    EXPECT_TRUE(std::isfinite(SearchFocalFromPairs(pairs, 4, fA)));
    EXPECT_TRUE(std::isfinite(fA));
    EXPECT_TRUE(std::isfinite(SolveFocalForEqualAngles(pairs[0])));
    EXPECT_TRUE(std::isfinite(ScanFocalRange(pairs, 4, 1000.0)));

    // A focal that runs towards the smallest value keeps a positive step and ends.
    SegmentPair tiny[1];
    tiny[0].a.Set(CDPoint(-1.0, 0.0), CDPoint(1.0, 0.0));
    tiny[0].b.Set(CDPoint(-400.0, 0.0), CDPoint(400.0, 0.0));
    fB = 101.0;
    RefineFocalFromPairs(tiny, 1, 60.0, fB);
    EXPECT_GT(fB, 0.0);

    // Degenerate arguments give the sentinels.
    EXPECT_EQ(UpdatePairAngles(pairs, 0, 1000.0), 0.0);
    EXPECT_EQ(UpdatePairAngles(tiny, 1, 40.0), 0.0);
    EXPECT_EQ(PairAngleError(tiny, 1, 0.0, 1000.0), FocalErrorFailed);
    EXPECT_EQ(RefineFocalFromPairs(tiny, 1, 40.0, fB), FocalErrorFailed);
}

TEST(FocalFromPairs, RangeScanStaysWithinItsBoundsFromACappedStart)
{
    SegmentPair pairs[SegmentPairCapacity];
    int n = 0;
    MakeCameraPairs(1000.0, 1000.0, pairs, n);  // the answer lies far below the range
    GetFocalPairing().PairingGeneration = 3;
    const double f = ScanFocalRange(pairs, n, 40000.0);
    EXPECT_TRUE(f == FocalScanFailed || (f >= 24000.0 - 30000.0 * 0.05 && f <= 37500.0)) << f;
    EXPECT_LT(f, 30000.0 + 1e-9 + 37500.0 - 30000.0);
}

TEST(FocalFromPairs, SegmentMeasures)
{
    SegmentPair p;
    p.a.Set(CDPoint(0.0, 0.0), CDPoint(10.0, 0.0));
    p.b.Set(CDPoint(100.0, 0.0), CDPoint(130.0, 0.0));
    // 0^2 + 1^2 + ... + 10^2 = 385.
    EXPECT_DOUBLE_EQ(SegmentSumSquares(p.a), 385.0);
    EXPECT_EQ(SegmentsAgree(p), 1);  // farther and longer
    p.b.Set(CDPoint(100.0, 0.0), CDPoint(105.0, 0.0));
    EXPECT_EQ(SegmentsAgree(p), 0);  // farther but shorter
    SegmentPair pairs[2] = {p, p};
    EXPECT_NEAR(MeanLengthRatio(pairs, 2), 0.5, 1e-9);
    SegmentPair zero;
    EXPECT_EQ(MeanLengthRatio(&zero, 1), 1.0);
}

} // namespace

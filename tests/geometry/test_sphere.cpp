// Angle normalisation, great-circle geometry and the plane-vector angles.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/sphere.h"

namespace {

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Angle between two directions from their unit vectors (accurate near 0, unlike acos).
double AngleBetween(CDPoint a, CDPoint b)
{
    const double ax = std::cos(a.y) * std::cos(a.x), ay = std::cos(a.y) * std::sin(a.x), az = std::sin(a.y);
    const double bx = std::cos(b.y) * std::cos(b.x), by = std::cos(b.y) * std::sin(b.x), bz = std::sin(b.y);
    const double cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), ax * bx + ay * by + az * bz);
}

TEST(SphereConstants, EnginePiIsTheShortConstantAndItsMultiplesDeriveFromIt)
{
    EXPECT_EQ(EnginePi, 3.14159265);
    EXPECT_EQ(EngineHalfPi, 3.14159265 / 2.0);
    EXPECT_EQ(EngineFiveSixthsPi, 3.14159265 - 3.14159265 / 6.0);
    EXPECT_EQ(InvalidDirection.x, 5.0 * 3.14159265);
    EXPECT_EQ(InvalidDirection.y, 0.0);
    EXPECT_EQ(InvalidPlanePoint.x, 1e8);
    EXPECT_EQ(InvalidPlanePoint.y, 1e8);
    EXPECT_FALSE(IsValidDirection(InvalidDirection));
    // The full-precision pi lies beyond the engine's: a longitude of M_PI is not valid.
    EXPECT_FALSE(IsValidDirection({M_PI, 0.0}));
}

TEST(SphereValidity, BoundsAreStrictAndNanIsInvalid)
{
    struct Case {
        CDPoint d;
        bool valid;
    } cases[] = {
        {{0.0, 0.0}, true},
        {{EnginePi - 1e-9, EngineHalfPi - 1e-9}, true},
        {{-EnginePi + 1e-9, -EngineHalfPi + 1e-9}, true},
        {{EnginePi, 0.0}, false},
        {{-EnginePi, 0.0}, false},
        {{0.0, EngineHalfPi}, false},
        {{0.0, -EngineHalfPi}, false},
        {{Nan, 0.0}, false},
        {{0.0, Nan}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidDirection(c.d), c.valid) << c.d.x << ", " << c.d.y;
}

TEST(SphereValidity, MissingDirectionsAreTheInverseSentinels)
{
    struct Case {
        CDPoint d;
        bool missing;
    } cases[] = {
        {InvalidDirection, true},
        {{0.3 + EngineSixPi, 0.2}, true},          // a conformal fisheye direction pushed out
        {{-EnginePi + EngineSixPi, 0.5}, true},
        {{Nan, 0.0}, true},
        {{0.0, Nan}, true},
        {{EngineTwoPi, 0.0}, false},               // equirectangular longitudes reach two turns
        {{-EngineTwoPi, EngineHalfPi}, false},
        {{-M_PI, 0.3}, false},                     // over a pole a move ends at longitude -pi
        {{0.0, 0.0}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsMissingDirection(c.d), c.missing) << c.d.x << ", " << c.d.y;
}

TEST(SphereNormalize, BringsAnglesIntoTheirHalfOpenRanges)
{
    struct Case {
        double in;
        double angle;
        double halfTurn;
    } cases[] = {
        {0.0, 0.0, 0.0},
        {EnginePi, EnginePi, 0.0},
        {-EnginePi, EnginePi, 0.0},
        {EngineHalfPi, EngineHalfPi, EngineHalfPi},
        {-EngineHalfPi, -EngineHalfPi, EngineHalfPi},
        {3.0 * EnginePi - 0.001, EnginePi - 0.001, -0.001},
        {0.5 + 4.0 * EngineTwoPi, 0.5, 0.5},
        {-0.5 - 3.0 * EngineTwoPi, -0.5, -0.5},
        {2.0, 2.0, 2.0 - EnginePi},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(NormalizeAngle(c.in), c.angle, 1e-12) << c.in;
        EXPECT_NEAR(NormalizeHalfTurn(c.in), c.halfTurn, 1e-12) << c.in;
    }
    // Exact for the boundary values: -pi turns into +pi, pi stays.
    EXPECT_EQ(NormalizeAngle(-EnginePi), EnginePi);
    EXPECT_EQ(NormalizeAngle(EnginePi), EnginePi);
}

TEST(SphereNormalize, NonFiniteAndHugeValuesEndAtOnce)
{
    for (double v : {Nan, Inf, -Inf}) {
        EXPECT_TRUE(std::isnan(NormalizeAngle(v))) << v;
        EXPECT_TRUE(std::isnan(NormalizeHalfTurn(v))) << v;
    }
    for (double v : {1e12, -1e12, 1e300, -1e300, std::numeric_limits<double>::max()}) {
        const double a = NormalizeAngle(v);
        EXPECT_GT(a, -EnginePi) << v;
        EXPECT_LE(a, EnginePi) << v;
        const double h = NormalizeHalfTurn(v);
        EXPECT_GT(h, -EngineHalfPi) << v;
        EXPECT_LE(h, EngineHalfPi) << v;
    }
}

TEST(SphereDistance, MatchesTheVectorAngleAndTheApproximationNearby)
{
    const CDPoint pts[] = {{0.0, 0.0}, {0.3, 0.2}, {-2.9, 0.1}, {3.0, -1.2}, {1.0, 1.5}, {-1.0, -0.7}};
    for (const CDPoint& p : pts) {
        for (const CDPoint& q : pts) {
            EXPECT_NEAR(SphericalDistance(p, q), AngleBetween(p, q), 3e-8);
            EXPECT_NEAR(SphericalDistance(p, q), SphericalDistance(q, p), 1e-12);
        }
        // Across the +-pi seam the longitude difference is normalised.
        const CDPoint near{p.x + 0.001, p.y + 0.0005};
        EXPECT_NEAR(ApproxSphericalDistance(p, near), AngleBetween(p, near), 2e-6);
        EXPECT_NEAR(ApproxSphericalDistanceSq(p, near), std::pow(ApproxSphericalDistance(p, near), 2), 1e-15);
    }
    EXPECT_NEAR(ApproxSphericalDistance({3.1, 0.0}, {-3.1, 0.0}), EngineTwoPi - 6.2, 1e-12);
}

TEST(SphereMove, TravelAlongTheBearingReachesTheTarget)
{
    const CDPoint pts[] = {{0.0, 0.0}, {0.4, 0.3}, {-1.2, -0.5}, {2.5, 1.1}, {-3.0, 0.05}, {0.1, -1.4}};
    for (const CDPoint& p : pts) {
        for (const CDPoint& q : pts) {
            if (SphericalDistance(p, q) < 1e-6)
                continue;
            const CDPoint r = MoveOnSphere(p, BearingOnSphere(p, q), SphericalDistance(p, q));
            EXPECT_LT(AngleBetween(r, q), 2e-7) << p.x << "," << p.y << " -> " << q.x << "," << q.y;
            const CDPoint s = MoveOnSphere(p, SignedBearingOnSphere(p, q), SphericalDistance(p, q));
            EXPECT_LT(AngleBetween(s, q), 2e-7);
            const CDPoint m = GreatCircleMidpoint(p, q);
            EXPECT_NEAR(AngleBetween(p, m), AngleBetween(m, q), 2e-7);
            EXPECT_NEAR(AngleBetween(p, m) * 2.0, AngleBetween(p, q), 2e-7);
        }
    }
}

TEST(SphereMove, APositiveBearingTurnsTowardsDecreasingLongitude)
{
    const CDPoint r = MoveOnSphere({0.0, 0.0}, EngineHalfPi, 0.5);
    EXPECT_NEAR(r.x, -0.5, 1e-8);
    EXPECT_NEAR(r.y, 0.0, 1e-8);
    EXPECT_NEAR(BearingOnSphere({0.0, 0.0}, {-0.5, 0.0}), M_PI_2, 1e-12);
    EXPECT_NEAR(BearingOnSphere({0.0, 0.0}, {0.5, 0.0}), 3.0 * EngineHalfPi, 1e-8);
    EXPECT_NEAR(SignedBearingOnSphere({0.0, 0.0}, {0.5, 0.0}), -M_PI_2, 1e-9);
    // Bearing 0 heads up (growing latitude).
    EXPECT_NEAR(BearingOnSphere({0.0, 0.0}, {0.0, 0.4}), 0.0, 1e-12);
    const CDPoint up = MoveOnSphere({0.2, 0.1}, 0.0, 0.3);
    EXPECT_NEAR(up.x, 0.2, 1e-7);
    EXPECT_NEAR(up.y, 0.4, 1e-7);
}

TEST(SphereMove, ReachingAPoleGivesThePoleItself)
{
    const CDPoint north = MoveOnSphere({0.7, 0.0}, 0.0, EngineHalfPi);
    EXPECT_EQ(north.x, 0.0);
    EXPECT_EQ(north.y, EngineHalfPi);
}

TEST(SphereTriangle, DegenerateSidesAndOutOfRangeCosinesGiveZero)
{
    EXPECT_EQ(SphericalAngleFromSides(0.0, 0.5, 0.5), 0.0);
    EXPECT_EQ(SphericalAngleFromSides(0.5, 0.0, 0.5), 0.0);
    // Sides that violate the triangle inequality by far.
    EXPECT_EQ(SphericalAngleFromSides(0.1, 0.1, 1.0), 0.0);
    EXPECT_EQ(SphericalCosineRule(0.3, 0.4, Nan), 0.0);
    // A right spherical triangle with legs a, b: the hypotenuse and the angle opposite a leg.
    const double a = 0.3, b = 0.4;
    const double c = SphericalCosineRule(a, b, M_PI_2);
    EXPECT_NEAR(std::cos(c), std::cos(a) * std::cos(b), 1e-12);
    EXPECT_NEAR(SphericalAngleFromSides(a, b, c), M_PI_2, 1e-9);
    EXPECT_NEAR(std::sin(SphericalAngleFromSides(b, c, a)), std::sin(a) / std::sin(c), 1e-9);
}

TEST(SpherePlaneAngles, DirectionAnglesAndRightAngleDeviation)
{
    struct Case {
        CDPoint v;
        double angle;
    } cases[] = {
        {{0.0, 1.0}, 0.0},
        {{-1.0, 0.0}, M_PI_2},
        {{0.0, -1.0}, M_PI},
        {{1.0, 0.0}, EngineTwoPi - M_PI_2},
        {{1.0, 1.0}, EngineTwoPi - M_PI_4},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(PlaneDirectionAngle(c.v), c.angle, 1e-8) << c.v.x << "," << c.v.y;
        EXPECT_NEAR(std::remainder(PlaneDirectionAngleSigned(c.v) - c.angle, 2.0 * M_PI), 0.0, 1e-8);
    }
    struct Dev {
        double a;
        double dev;
    } devs[] = {{0.0, 0.0}, {0.3, 0.3}, {EngineHalfPi - 0.3, 0.3}, {-0.3, 0.3}, {EnginePi + 0.2, 0.2}, {EngineQuarterPi, EngineQuarterPi}};
    for (const Dev& d : devs)
        EXPECT_NEAR(DeviationFromRightAngle(d.a), d.dev, 1e-12) << d.a;

    EXPECT_NEAR(OffAxisAngle({300.0, 400.0}, 500.0), M_PI_4, 1e-12);
    // Two points mirrored about the centre at radius r subtend 2 atan(r / f).
    EXPECT_NEAR(LinearPointsAngle({-300.0, 400.0}, {300.0, -400.0}, 1000.0), 2.0 * std::atan(0.5), 1e-8);
}

TEST(SphereReference, ResetAimsAtTheHorizonOrJustShortOfAPole)
{
    ProjectionReference& ref = GetProjectionReference();
    ref.direction = {0.4, 0.2};
    ref.roll = 0.3;
    ResetProjectionReference(1);
    EXPECT_EQ(ref.direction.x, 0.0);
    EXPECT_EQ(ref.direction.y, EngineHalfPi - 0.0001);
    EXPECT_EQ(ref.roll, 0.0);
    ResetProjectionReference(-1);
    EXPECT_EQ(ref.direction.y, -(EngineHalfPi - 0.0001));
    ResetProjectionReference(0);
    EXPECT_EQ(ref.direction, CDPoint(0.0, 0.0));
}

} // namespace

// Forward and inverse projections of every projection code: round trips over grids that cover
// each code's valid domain, and the sentinels at the edges of those domains.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "geometry/projections.h"

namespace {

constexpr double F = 1000.0;

double AngleBetween(CDPoint a, CDPoint b)
{
    const double ax = std::cos(a.y) * std::cos(a.x), ay = std::cos(a.y) * std::sin(a.x), az = std::sin(a.y);
    const double bx = std::cos(b.y) * std::cos(b.x), by = std::cos(b.y) * std::sin(b.x), bz = std::sin(b.y);
    const double cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), ax * bx + ay * by + az * bz);
}

// Plane error relative to the size of the point (at least f), so that the far edges of the
// linear projections, tens of focal lengths out, are held to the same relative precision.
double PlaneError(CDPoint a, CDPoint b)
{
    return std::hypot(a.x - b.x, a.y - b.y) / std::max(F, std::hypot(b.x, b.y));
}

class ProjectionTest : public ::testing::Test {};

struct Domain {
    int code;
    // Directions: a longitude/latitude box, or for the fisheyes (maxTheta > 0) every direction
    // of the sphere within maxTheta of the projection reference.
    double lonMin, lonMax, latMin, latMax;
    double maxTheta;
    // Plane points: |x| <= planeX * f, |y| <= planeY * f (fisheyes: radius <= planeX * f).
    double planeX, planeY;
    // Tolerances: direction in radians, plane relative to max(f, |point|).
    double dirTol, planeTol;
};

constexpr double Half = 1.5707; // just inside a quarter turn
constexpr double Pole = 1.5707;

// Domains and stated tolerances per code. The equal-area panorama stops at |sin(lat)| = 0.999,
// the vertical panorama and the linear forms at |lon| < pi/2, and the fisheyes at their limits:
// conformal and equidistant 150 degrees, equal-area 165 degrees, orthographic 90 degrees.
const Domain Domains[] = {
    {11, -Half, Half, -Pole, Pole, 0, 40, 40, 1e-12, 1e-13},
    {12, -Half, Half, -Pole, Pole, 0, 40, 40, 1e-12, 1e-13},
    {13, -Half, Half, -Pole, Pole, 0, 19, 40, 1e-11, 1e-9},
    {14, -Half, Half, -Pole, Pole, 0, 40, 3.1, 1e-12, 1e-12},
    {15, -Half, Half, -Pole, Pole, 0, 19, 3.1, 1e-11, 1e-9},
    {21, -3.14, 3.14, -Pole, Pole, 0, 6.28, 40, 1e-12, 1e-13},
    {22, -3.14, 3.14, -Pole, Pole, 0, 6.28, 8, 1e-8, 1e-8},
    {23, -6.28, 6.28, -EngineHalfPi, EngineHalfPi, 0, 6.28, 1.57, 1e-12, 1e-13},
    {24, -3.14, 3.14, -1.526, 1.526, 0, 6.28, 0.999, 1e-12, 1e-13},
    {25, -Half, Half, -Pole, Pole, 0, 40, 1.57, 1e-12, 1e-13},
    {31, 0, 0, 0, 0, EngineFiveSixthsPi - 0.005, 7.4, 7.4, 1e-7, 1e-7},
    {32, 0, 0, 0, 0, EngineFiveSixthsPi - 0.005, 2.61, 2.61, 1e-7, 1e-7},
    {33, 0, 0, 0, 0, 2.87, 1.98, 1.98, 1e-7, 1e-7},
    {34, 0, 0, 0, 0, EngineHalfPi - 0.005, 0.999, 0.999, 1e-7, 1e-7},
};

std::vector<CDPoint> DirectionGrid(const Domain& d)
{
    std::vector<CDPoint> out;
    const int n = 61;
    if (d.maxTheta > 0.0) {
        const CDPoint ref = GetProjectionReference().direction;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const CDPoint p{-3.14 + 6.28 * i / (n - 1), -1.5707 + 3.1414 * j / (n - 1)};
                if (AngleBetween(ref, p) <= d.maxTheta)
                    out.push_back(p);
            }
        return out;
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            out.push_back({d.lonMin + (d.lonMax - d.lonMin) * i / (n - 1), d.latMin + (d.latMax - d.latMin) * j / (n - 1)});
    return out;
}

std::vector<CDPoint> PlaneGrid(const Domain& d)
{
    std::vector<CDPoint> out;
    const int n = 61;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const CDPoint q{(-1.0 + 2.0 * i / (n - 1)) * d.planeX * F, (-1.0 + 2.0 * j / (n - 1)) * d.planeY * F};
            if (d.maxTheta > 0.0 && std::hypot(q.x, q.y) > d.planeX * F)
                continue;
            out.push_back(q);
        }
    return out;
}

void CheckRoundTrips(const Domain& d, double tolScale = 1.0)
{
    SCOPED_TRACE("code " + std::to_string(d.code));
    double worstDir = 0.0;
    for (const CDPoint& dir : DirectionGrid(d)) {
        const CDPoint q = ProjectDirection(d.code, dir, F);
        ASSERT_NE(q, InvalidPlanePoint) << dir.x << ", " << dir.y;
        const CDPoint back = UnprojectPlanePoint(d.code, q, F);
        ASSERT_NE(back, InvalidDirection) << dir.x << ", " << dir.y;
        worstDir = std::max(worstDir, AngleBetween(back, dir));
        // A longitude that came back must be the same, not a whole turn off (the equirectangular
        // and the panorama forms keep longitudes beyond +-pi).
        if (d.maxTheta == 0.0 && std::fabs(dir.y) < 1.5) {
            EXPECT_NEAR(back.x, dir.x, 1e-6) << dir.x << ", " << dir.y;
        }
    }
    EXPECT_LE(worstDir, d.dirTol * tolScale);

    double worstPlane = 0.0;
    std::size_t valid = 0;
    const std::vector<CDPoint> plane = PlaneGrid(d);
    for (const CDPoint& q : plane) {
        const CDPoint dir = UnprojectPlanePoint(d.code, q, F);
        if (dir == InvalidDirection)
            continue;
        ++valid;
        worstPlane = std::max(worstPlane, PlaneError(ProjectDirection(d.code, dir, F), q));
    }
    // The plane grid lies inside the domain: every point has a direction.
    EXPECT_EQ(valid, plane.size());
    EXPECT_LE(worstPlane, d.planeTol * tolScale);
}

TEST_F(ProjectionTest, EveryCodeRoundTripsOverItsDomain)
{
    for (const Domain& d : Domains)
        CheckRoundTrips(d);
}

TEST_F(ProjectionTest, FisheyesRoundTripAroundATurnedAndRolledReference)
{
    // Near a pole the bearings and moves, computed from arc cosines, lose precision: the
    // stated tolerance there is 50 times the one at the horizon.
    const struct {
        CDPoint direction;
        double roll;
        double tolScale;
    } refs[] = {{{0.5, 0.3}, 0.4, 1.0}, {{-2.8, -0.6}, -1.9, 1.0}, {{0.0, EngineHalfPi - 0.0001}, 0.0, 50.0}};
    for (const auto& r : refs) {
        GetProjectionReference().direction = r.direction;
        GetProjectionReference().roll = r.roll;
        SCOPED_TRACE("reference " + std::to_string(r.direction.x) + ", " + std::to_string(r.direction.y));
        for (const Domain& d : Domains)
            if (d.maxTheta > 0.0)
                CheckRoundTrips(d, r.tolScale);
    }
}

TEST_F(ProjectionTest, FisheyeReferenceAndRollPlaceTheImage)
{
    // The reference direction maps to the plane origin; the roll turns the image about it.
    GetProjectionReference().direction = {0.4, -0.2};
    const CDPoint centre = ProjectEquidistantFisheye({0.4, -0.2}, F);
    EXPECT_NEAR(centre.x, 0.0, 1e-4);
    EXPECT_NEAR(centre.y, 0.0, 1e-4);
    // Up (growing latitude) from the reference is +y at roll 0 ...
    const CDPoint up = ProjectEquidistantFisheye({0.4, 0.1}, F);
    EXPECT_NEAR(up.x, 0.0, 1e-6);
    EXPECT_NEAR(up.y, 0.3 * F, 1e-5);
    // ... and decreasing longitude is +x along bearing pi/2.
    const CDPoint left = ProjectEquidistantFisheye({0.1, -0.2}, F);
    EXPECT_LT(left.x, -0.29 * F);
    // A quarter-turn roll moves "up" onto -x.
    GetProjectionReference().roll = EngineHalfPi;
    const CDPoint rolled = ProjectEquidistantFisheye({0.4, 0.1}, F);
    EXPECT_NEAR(rolled.x, -0.3 * F, 1e-5);
    EXPECT_NEAR(rolled.y, 0.0, 1e-5);
}

TEST_F(ProjectionTest, LinearFamilySentinels)
{
    for (int code : {11, 12, 13, 14, 15, 0, 16, 99, -7}) {
        SCOPED_TRACE("code " + std::to_string(code));
        for (double f : {1.0, 1000.0, 5e4}) {
            EXPECT_EQ(ProjectDirection(code, {4.0, 0.0}, f), InvalidPlanePoint);
            EXPECT_EQ(ProjectDirection(code, {0.0, EngineHalfPi}, f), InvalidPlanePoint);
            EXPECT_EQ(ProjectDirection(code, {-EnginePi, 0.1}, f), InvalidPlanePoint);
            // Behind the viewer: the overflow value per axis, whatever f is; an axis value of 0
            // counts as negative.
            EXPECT_EQ(ProjectDirection(code, {EngineHalfPi + 0.1, -0.2}, f), CDPoint(2.1e9, -2.1e9));
            EXPECT_EQ(ProjectDirection(code, {-2.0, 0.3}, f), CDPoint(-2.1e9, 2.1e9));
            EXPECT_EQ(ProjectDirection(code, {3.0, 0.0}, f), CDPoint(2.1e9, -2.1e9));
        }
    }
}

TEST_F(ProjectionTest, InverseSentinelsAtTheDomainEdges)
{
    struct Case {
        const char* what;
        int code;
        CDPoint q;
        double f;
        bool valid;
    } cases[] = {
        {"ultra wide: 19 f right", 13, {19.0 * F, 0.0}, F, true},
        {"ultra wide: 21 f right", 13, {21.0 * F, 0.0}, F, false},
        // The engine's pi/4 lies below the true one, so on the left the longitude reaches
        // -pi/2 only once exp(u) vanishes beside pi/4.
        {"ultra wide: 21 f left", 13, {-21.0 * F, 5.0}, F, true},
        {"ultra wide: 40 f left", 13, {-40.0 * F, 5.0}, F, false},
        {"VCmp: |y| just below pi f", 14, {0.0, 3.14 * F}, F, true},
        {"VCmp: |y| = pi f", 14, {0.0, EnginePi * 1024.0}, 1024.0, false},
        {"VCmp: y = -pi f", 14, {5.0, -EnginePi * 1024.0}, 1024.0, false},
        {"HVCmp: |y| = pi f", 15, {0.0, EnginePi * 1024.0}, 1024.0, false},
        {"HVCmp: far right", 15, {25.0 * F, 0.0}, F, false},
        {"HVCmp: 19 f right", 15, {19.0 * F, 100.0}, F, true},
        {"equidistant: radius 5pi/6 f", 32, {0.0, EngineFiveSixthsPi * 1024.0}, 1024.0, false},
        {"equidistant: just inside", 32, {2.617 * F, 0.0}, F, true},
        {"equal-area: cos below -0.9659", 33, {2.0 * F, 0.0}, F, false},
        {"equal-area: cos -0.96", 33, {1.98 * F, 0.0}, F, true},
        {"orthographic: radius f", 34, {F, 0.0}, F, false},
        {"orthographic: radius -f", 34, {0.0, -F}, F, false},
        {"orthographic: radius 0.999 f", 34, {0.0, 0.999 * F}, F, true},
    };
    for (const Case& c : cases) {
        const CDPoint d = UnprojectPlanePoint(c.code, c.q, c.f);
        if (c.valid) {
            EXPECT_TRUE(IsValidDirection(d)) << c.what;
            EXPECT_FALSE(IsMissingDirection(d)) << c.what;
        } else {
            EXPECT_EQ(d, InvalidDirection) << c.what;
            EXPECT_TRUE(IsMissingDirection(d)) << c.what;
        }
    }
}

TEST_F(ProjectionTest, ConformalFisheyeBeyond150DegreesIsPushedOutOfRange)
{
    const double rho = 2.0 * std::tan(151.0 * M_PI / 180.0 / 2.0);
    for (const CDPoint q : {CDPoint(rho * F, 0.0), CDPoint(-rho * F, 0.0), CDPoint(-0.6 * rho * F, -0.8 * rho * F)}) {
        const CDPoint d = UnprojectConformalFisheye(q, F);
        EXPECT_GT(d.x, EngineFivePi);
        EXPECT_FALSE(IsValidDirection(d));
        EXPECT_TRUE(IsMissingDirection(d));
    }
    // Straight up, over the pole, the move ends at longitude -pi: pushed to just below 5pi,
    // still missing.
    const CDPoint overPole = UnprojectConformalFisheye({0.0, rho * F}, F);
    EXPECT_FALSE(IsValidDirection(overPole));
    EXPECT_TRUE(IsMissingDirection(overPole));
    // At 149 degrees the direction is real; over the pole its longitude is -pi, which the strict
    // validity test rejects but which is still a direction.
    const double inside = 2.0 * std::tan(149.0 * M_PI / 180.0 / 2.0);
    EXPECT_TRUE(IsValidDirection(UnprojectConformalFisheye({inside * F, 0.0}, F)));
    const CDPoint insideOverPole = UnprojectConformalFisheye({0.0, inside * F}, F);
    EXPECT_FALSE(IsMissingDirection(insideOverPole));
    EXPECT_NEAR(insideOverPole.y, (180.0 - 149.0) * M_PI / 180.0, 1e-7);
}

TEST_F(ProjectionTest, FisheyeForwardSentinels)
{
    // Orthographic: 90 degrees or more from the reference cannot be shown.
    for (const CDPoint d : {CDPoint(M_PI_2, 0.0), CDPoint(2.0, 0.3), CDPoint(0.0, -M_PI_2)})
        EXPECT_EQ(ProjectOrthographicFisheye(d, F), InvalidPlanePoint) << d.x << ", " << d.y;
    EXPECT_NE(ProjectOrthographicFisheye({1.5, 0.0}, F), InvalidPlanePoint);
    // The other fisheyes show every direction, behind the viewer too, without a sentinel.
    for (int code : {31, 32, 33}) {
        const CDPoint q = ProjectDirection(code, {3.0, 0.1}, F);
        EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y)) << code;
        EXPECT_LT(std::fabs(q.x), 1e7) << code;
    }
}

TEST_F(ProjectionTest, PanoramaClampsAndUncheckedDomains)
{
    // Equirectangular clamps to two full turns and to the poles.
    EXPECT_EQ(UnprojectEquirectangular({10.0 * F, 0.0}, F).x, EngineTwoPi);
    EXPECT_EQ(UnprojectEquirectangular({-10.0 * F, 0.0}, F).x, -EngineTwoPi);
    EXPECT_EQ(UnprojectEquirectangular({0.0, 5.0 * F}, F).y, EngineHalfPi);
    EXPECT_EQ(UnprojectEquirectangular({0.0, -5.0 * F}, F).y, -EngineHalfPi);
    // Equal-area clamps sin(latitude) to 0.999 instead of failing.
    EXPECT_EQ(UnprojectEqualAreaPanorama({0.0, 2.0 * F}, F).y, std::asin(0.999));
    EXPECT_EQ(UnprojectEqualAreaPanorama({0.0, -2.0 * F}, F).y, -std::asin(0.999));
    // The panorama forms take longitudes beyond +-pi without a validity test (a full turn
    // rendered past the seam).
    for (int code : {21, 22, 23, 24}) {
        const CDPoint q = ProjectDirection(code, {4.0, 0.2}, F);
        EXPECT_NEAR(q.x, 4.0 * F, 1e-9) << code;
        EXPECT_NEAR(UnprojectPlanePoint(code, q, F).x, 4.0, 1e-12) << code;
    }
}

TEST_F(ProjectionTest, DispatchAndTitles)
{
    const struct {
        int code;
        CDPoint (*forward)(CDPoint, double);
        CDPoint (*inverse)(CDPoint, double);
        const char* title;
    } table[] = {
        {11, ProjectLinear, UnprojectLinear, " Linear"},
        {12, ProjectLinear, UnprojectLinear, " Linear"},
        {13, ProjectUltraWideLinear, UnprojectUltraWideLinear, " Ultra Wide Linear"},
        {14, ProjectWideLinearVCmp, UnprojectWideLinearVCmp, " WideLinear VCmp"},
        {15, ProjectWideLinearHVCmp, UnprojectWideLinearHVCmp, " WideLinear HVCmp"},
        {21, ProjectCylindrical, UnprojectCylindrical, " Panorama"},
        {22, ProjectConformalPanorama, UnprojectConformalPanorama, " Conformal Panorama"},
        {23, ProjectEquirectangular, UnprojectEquirectangular, " Equirectangular Panorama"},
        {24, ProjectEqualAreaPanorama, UnprojectEqualAreaPanorama, " Equal-area Panorama"},
        {25, ProjectVertPanorama, UnprojectVertPanorama, " VertPanorama"},
        {31, ProjectConformalFisheye, UnprojectConformalFisheye, " Conformal Fisheye"},
        {32, ProjectEquidistantFisheye, UnprojectEquidistantFisheye, " Equidistant Fisheye"},
        {33, ProjectEqualAreaFisheye, UnprojectEqualAreaFisheye, " Equal-area Fisheye"},
        {34, ProjectOrthographicFisheye, UnprojectOrthographicFisheye, " "},
        {0, ProjectLinear, UnprojectLinear, " "},
        {26, ProjectLinear, UnprojectLinear, " "},
        {40, ProjectLinear, UnprojectLinear, " "},
    };
    const CDPoint d{0.3, -0.2};
    const CDPoint q{120.0, -340.0};
    for (const auto& t : table) {
        EXPECT_EQ(ProjectDirection(t.code, d, F), t.forward(d, F)) << t.code;
        EXPECT_EQ(UnprojectPlanePoint(t.code, q, F), t.inverse(q, F)) << t.code;
        EXPECT_EQ(ProjectionTitle(t.code), t.title) << t.code;
    }
    // Distinct codes are distinct projections (a miswired dispatch would collide here).
    for (const auto& a : table)
        for (const auto& b : table)
            if (a.forward != b.forward) {
                EXPECT_NE(ProjectDirection(a.code, d, F), ProjectDirection(b.code, d, F)) << a.code << " " << b.code;
            }
}

TEST_F(ProjectionTest, KnownValues)
{
    // A few values worked by hand, one per formula family.
    EXPECT_NEAR(ProjectLinear({M_PI_4, 0.0}, F).x, F, 1e-9);
    EXPECT_NEAR(ProjectLinear({0.0, M_PI_4}, F).y, F, 1e-9);
    EXPECT_NEAR(ProjectLinear({M_PI / 3.0, M_PI_4}, F).y, 2.0 * F, 1e-9);
    EXPECT_NEAR(ProjectCylindrical({1.0, M_PI_4}, F).y, F, 1e-9);
    EXPECT_NEAR(ProjectEquirectangular({1.0, 0.5}, F).y, 500.0, 1e-12);
    EXPECT_NEAR(ProjectEqualAreaPanorama({1.0, M_PI / 6.0}, F).y, 500.0, 1e-9);
    EXPECT_NEAR(ProjectConformalPanorama({0.0, 0.5}, F).y, F * std::log(std::tan(0.25 + M_PI_4)), 1e-5);
    EXPECT_NEAR(ProjectConformalPanorama({0.0, -0.5}, F).y, -F * std::log(std::tan(0.25 + M_PI_4)), 1e-5);
    EXPECT_NEAR(ProjectVertPanorama({M_PI_4, 0.3}, F).x, F, 1e-9);
    EXPECT_NEAR(ProjectWideLinearVCmp({0.0, M_PI_4}, F).y, 2.0 * F * std::atan(0.5), 1e-9);
    EXPECT_NEAR(ProjectUltraWideLinear({0.5, 0.0}, F).x, F * std::log(std::tan(0.25 + M_PI_4)), 1e-5);
    // Fisheye radii at 60 degrees straight up: x = 0, y = f r(theta).
    const double t = M_PI / 3.0;
    EXPECT_NEAR(ProjectConformalFisheye({0.0, t}, F).y, 2.0 * F * std::tan(t / 2.0), 1e-4);
    EXPECT_NEAR(ProjectEquidistantFisheye({0.0, t}, F).y, F * t, 1e-4);
    EXPECT_NEAR(ProjectEqualAreaFisheye({0.0, t}, F).y, F * std::sqrt(2.0 * (1.0 - std::cos(t))), 1e-4);
    EXPECT_NEAR(ProjectOrthographicFisheye({0.0, t}, F).y, F * std::sin(t), 1e-4);
}

} // namespace

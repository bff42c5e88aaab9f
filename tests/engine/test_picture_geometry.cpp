// A picture's geometry: the pixel / camera plane / sphere chain, the control points' derived
// values, the orientation and focal estimators on synthetic control points, the error
// measures and the hit tests.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "geometry/lens_table.h"
#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"

namespace {

double AngleBetween(CDPoint a, CDPoint b)
{
    const double ax = std::cos(a.y) * std::cos(a.x), ay = std::cos(a.y) * std::sin(a.x), az = std::sin(a.y);
    const double bx = std::cos(b.y) * std::cos(b.x), by = std::cos(b.y) * std::sin(b.x), bz = std::sin(b.y);
    const double cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), ax * bx + ay * by + az * bz);
}

// The orientation and lens of a picture.
struct Pose {
    double yaw, pitch, roll, focal;
    CDPoint centre; // optical centre in pixels
    // Pixel round-trip tolerance: longitude and latitude lose precision near a pole, which the
    // views at pitch 1.3 and -1.2 cover.
    double chainTolerance = 1e-6;
};

constexpr int Width = 4000;
constexpr int Height = 3000;
const CDPoint Middle{(Width - 1) / 2.0, (Height - 1) / 2.0};

void Apply(CKpic& k, const Pose& p)
{
    k.m_Direction = {p.yaw, p.pitch};
    k.m_Roll = p.roll;
    k.m_Focal = p.focal;
    k.m_OpticalCentre = p.centre;
}

std::unique_ptr<CKpic> MakePicture(const Pose& p)
{
    auto k = std::make_unique<CKpic>();
    k->m_PictureRect = CRect(0, 0, Width, Height);
    k->m_DefaultFocal = p.focal;
    k->m_MinFocal = 100.0;
    Apply(*k, p);
    return k;
}

// Pixels spread over the picture, away from its centre.
const std::vector<CDPoint> SpreadPixels = {
    {400.0, 350.0}, {3600.0, 420.0}, {2100.0, 1300.0}, {600.0, 2650.0}, {3450.0, 2500.0}, {1500.0, 900.0}, {2900.0, 1900.0},
};

// Fitted control points at the given pixels whose targets are where the true pose sees them,
// each moved by up to noise pixels (a fixed pseudo-random pattern).
void AddFittedPoints(CKpic& k, const Pose& truth, const std::vector<CDPoint>& pixels, double noise = 0.0)
{
    const Pose before{k.m_Direction.x, k.m_Direction.y, k.m_Roll, k.m_Focal, k.m_OpticalCentre};
    Apply(k, truth);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        ControlPoint& cp = k.m_Points[i];
        cp = ControlPoint();
        cp.kind = 4;
        cp.state = 3;
        cp.pointId = 100 + static_cast<int>(i);
        cp.position = pixels[i];
        const CDPoint d = k.PixelToSphere(pixels[i]);
        const double bearing = 2.399963 * static_cast<double>(i); // golden angle
        const double amount = noise * (0.5 + 0.5 * std::sin(1.7 * static_cast<double>(i) + 0.3));
        cp.target = amount > 0.0 ? MoveOnSphere(d, bearing, amount / truth.focal) : d;
    }
    Apply(k, before);
    k.RefreshControlPoints();
}

class PictureGeometryTest : public ::testing::Test {};

// Poses with yaw, pitch, roll, the quarter turns, a view near the zenith and an optical centre
// off the middle.
const Pose Poses[] = {
    {0.0, 0.0, 0.0, 3000.0, Middle},
    {0.8, 0.3, 0.2, 2500.0, Middle + CDPoint(37.0, -21.0)},
    {-2.9, -0.6, -0.4, 1800.0, Middle + CDPoint(-120.0, 85.0)},
    {1.2, 0.1, EngineHalfPi, 3000.0, Middle},
    {1.2, 0.1, EnginePi, 3000.0, Middle + CDPoint(10.0, 10.0)},
    {1.2, 0.1, -EngineHalfPi, 3000.0, Middle},
    {0.3, 1.3, 0.7, 2200.0, Middle + CDPoint(-50.0, 0.0), 1e-4},
    {3.1, -1.2, 0.785398, 900.0, Middle, 1e-4},
};

TEST_F(PictureGeometryTest, PixelPlaneSphereChainRoundTrips)
{
    for (const Pose& pose : Poses) {
        auto k = MakePicture(pose);
        double worstPixel = 0.0;
        double worstPlane = 0.0;
        for (int x = 0; x <= Width; x += 250) {
            for (int y = 0; y <= Height; y += 250) {
                const CDPoint p(x, y);
                const CDPoint d = k->PixelToSphere(p);
                const CDPoint back = k->SphereToPixel(d);
                worstPixel = std::max(worstPixel, std::hypot(back.x - p.x, back.y - p.y));
                const CDPoint q = k->PixelToPlane(p);
                const CDPoint qBack = k->SphereToPlane(k->PlaneToSphere(q));
                worstPlane = std::max(worstPlane, std::hypot(qBack.x - q.x, qBack.y - q.y));
            }
        }
        EXPECT_LT(worstPixel, pose.chainTolerance) << "yaw " << pose.yaw << " roll " << pose.roll;
        EXPECT_LT(worstPlane, pose.chainTolerance) << "yaw " << pose.yaw << " roll " << pose.roll;
        // The optical centre looks along the picture's axis.
        EXPECT_LT(AngleBetween(k->PixelToSphere(pose.centre), {pose.yaw, pose.pitch}), 1e-12);
    }
}

TEST_F(PictureGeometryTest, PlaneAxesFollowLongitudeLatitudeAndRoll)
{
    auto k = MakePicture({0.2, 0.1, 0.0, 1000.0, Middle});
    // Plane x grows with longitude, plane y with latitude.
    const CDPoint right = k->PlaneToSphere({100.0, 0.0});
    EXPECT_NEAR(right.x, 0.2 + std::atan2(0.1, std::cos(0.1)), 1e-12);
    const CDPoint up = k->PlaneToSphere({0.0, 100.0});
    EXPECT_NEAR(up.x, 0.2, 1e-12);
    EXPECT_NEAR(up.y, 0.1 + std::atan(0.1), 1e-12);
    // A quarter-turn roll carries plane x onto the latitude axis.
    k->m_Roll = EngineHalfPi;
    const CDPoint rolled = k->PlaneToSphere({100.0, 0.0});
    EXPECT_NEAR(rolled.x, 0.2, 1e-8);
    EXPECT_NEAR(std::fabs(rolled.y - 0.1), std::atan(0.1), 1e-8);
}

TEST_F(PictureGeometryTest, LensTableIsAppliedBetweenPixelAndPlane)
{
    LensTable& lens = GetLensTable();
    lens.SetReference(0.0, 2500.0);
    lens.Build(-0.1, 2500.0);
    auto k = MakePicture({0.0, 0.0, 0.0, 3000.0, Middle + CDPoint(30.0, -40.0)});
    k->m_LensScale = 1.0 / 2500.0;
    double worst = 0.0;
    for (int x = 0; x <= Width; x += 200) {
        for (int y = 0; y <= Height; y += 200) {
            const CDPoint p(x, y);
            const CDPoint q = k->PixelToPlane(p);
            const CDPoint back = k->PlaneToPixel(q);
            worst = std::max(worst, std::hypot(back.x - p.x, back.y - p.y) / std::max(1.0, std::hypot(q.x, q.y)));
        }
    }
    // Bounded by the table's step, as for the bare table.
    EXPECT_LT(worst, 0.1 * 0.0075);
    // Barrel correction moves corner pixels outwards on the plane.
    const CDPoint corner = k->PixelToPlane({0.0, 0.0});
    const CDPoint raw = CDPoint(0.0, 0.0) - k->m_OpticalCentre;
    EXPECT_GT(std::hypot(corner.x, corner.y), std::hypot(raw.x, raw.y));
    EXPECT_EQ(k->PixelToPlane(k->m_OpticalCentre), CDPoint(0.0, 0.0));
}

TEST_F(PictureGeometryTest, SentinelsOfThePlane)
{
    auto k = MakePicture({EnginePi - 0.01, 0.0, 0.0, 50.0, Middle});
    // A focal of 50 or less gives no direction at all.
    for (const CDPoint q : {CDPoint(0.0, 0.0), CDPoint(300.0, -20.0)})
        EXPECT_EQ(k->PlaneToSphere(q), CDPoint(0.0, 0.0));
    k->m_Focal = 1000.0;
    // Behind the camera.
    EXPECT_EQ(k->SphereToPlane({k->m_Direction.x - 2.0, 0.0}), InvalidPlanePoint);
    EXPECT_EQ(k->SphereToPlane({0.0, 0.0}), InvalidPlanePoint);
    // An inverse projection's missing direction is on no picture, even one that looks towards
    // longitude pi, where (5pi, 0) would otherwise land.
    EXPECT_EQ(k->SphereToPlane(InvalidDirection), InvalidPlanePoint);
    EXPECT_GE(k->SphereToPixelPoint(InvalidDirection).x, 100000000);
    EXPECT_EQ(k->HitTestPointArea(InvalidDirection), 0);
    EXPECT_FALSE(k->CoversSpherePoint(InvalidDirection));
}

TEST_F(PictureGeometryTest, ControlPointDerivedValues)
{
    auto k = MakePicture({0.4, -0.2, 0.3, 2000.0, Middle});
    ControlPoint& a = k->m_Points[0];
    a.kind = 1;
    a.state = 3;
    a.position = {3000.0, 500.0};
    a.target = {0.5, 0.0};
    ControlPoint& open = k->m_Points[1];
    open.kind = 4;
    open.state = 0;
    open.position = {100.0, 2900.0};
    // A slot behind the first free one is left alone.
    ControlPoint& hidden = k->m_Points[3];
    hidden.kind = 1;
    hidden.state = 3;
    hidden.position = {5.0, 5.0};
    k->RefreshControlPoints();

    const CDPoint q = k->PixelToPlane(a.position);
    EXPECT_EQ(a.planePosition, q);
    EXPECT_DOUBLE_EQ(a.offAxisAngle, std::atan2(std::hypot(q.x, q.y), 2000.0));
    EXPECT_DOUBLE_EQ(a.directionAngle, PlaneDirectionAngle(q));
    EXPECT_EQ(a.spherePosition, k->PlaneToSphere(q));
    EXPECT_DOUBLE_EQ(a.residual, SphericalDistance(a.target, a.spherePosition));
    EXPECT_EQ(open.residual, 1.0);
    EXPECT_EQ(hidden.planePosition, CDPoint(0.0, 0.0));

    // Automatic points (kind 4) of state -3 or more are reopened; others keep their state.
    k->m_Points[0].state = -3;
    k->m_Points[0].kind = 4;
    k->m_Points[1].state = -4;
    k->ResetAutoPointStates();
    EXPECT_EQ(k->m_Points[0].state, 0);
    EXPECT_EQ(k->m_Points[1].state, -4);
    EXPECT_EQ(k->m_Points[3].state, 3);
}

TEST_F(PictureGeometryTest, OptimizeOrientationRecoversAKnownPose)
{
    for (const Pose& truth : Poses) {
        auto k = MakePicture({0.0, 0.0, 0.0, truth.focal, truth.centre});
        AddFittedPoints(*k, truth, SpreadPixels);
        const double e = k->OptimizeOrientation();
        SCOPED_TRACE("yaw " + std::to_string(truth.yaw) + " pitch " + std::to_string(truth.pitch) + " roll " +
                     std::to_string(truth.roll));
        EXPECT_LT(e, 0.05);
        EXPECT_EQ(k->m_FitScore, e);
        EXPECT_LT(AngleBetween(k->m_Direction, {truth.yaw, truth.pitch}), 1e-6);
        EXPECT_NEAR(NormalizeAngle(k->m_Roll - truth.roll), 0.0, 1e-6);
    }
}

TEST_F(PictureGeometryTest, OrientationDescentWithNoisyPoints)
{
    // Targets moved by up to 2 pixels: the pair estimates scatter, the descent settles within
    // a fraction of a pixel of the true pose, whatever the roll.
    for (double roll : {0.0, 0.2, EngineQuarterPi, -EngineQuarterPi, 1.0}) {
        const Pose truth{0.5, 0.2, roll, 3000.0, Middle};
        auto k = MakePicture({0.0, 0.0, 0.0, truth.focal, truth.centre});
        AddFittedPoints(*k, truth, SpreadPixels, 2.0);
        const double e = k->OptimizeOrientation();
        SCOPED_TRACE("roll " + std::to_string(roll));
        EXPECT_LT(e, 2.0);
        EXPECT_LT(AngleBetween(k->m_Direction, {truth.yaw, truth.pitch}) * truth.focal, 1.0);
        EXPECT_LT(std::fabs(NormalizeAngle(k->m_Roll - truth.roll)) * 2000.0, 2.0);
    }
}

TEST_F(PictureGeometryTest, DescentStepsHoldAtEveryRoll)
{
    // From a pose 3 pixels off in yaw and pitch and 2 pixels in roll, thirty descent steps
    // bring noisy points to the same error whatever the roll. At 45 degrees the plane point
    // (0.1, 0.1) lies on one sphere axis; step sizes taken from it would leave yaw (or, at -45
    // degrees, pitch) without a step, and the descent would stall near 3.6 pixels.
    for (double roll : {0.0, 0.3, EngineQuarterPi, -EngineQuarterPi, EngineHalfPi}) {
        const Pose truth{0.5, 0.2, roll, 3000.0, Middle};
        auto k = MakePicture(truth);
        AddFittedPoints(*k, truth, SpreadPixels, 3.0);
        k->m_Direction = {truth.yaw + 3.0 / truth.focal, truth.pitch - 3.0 / truth.focal};
        k->m_Roll = roll + 2.0 / 2000.0;
        k->RefreshControlPoints();
        const double start = k->ComputeOrientationError();
        double e = start;
        for (int pass = 0; pass < 30; ++pass)
            e = k->StepOrientation();
        SCOPED_TRACE("roll " + std::to_string(roll));
        EXPECT_GT(start, 4.0);
        EXPECT_LT(e, 2.5);
    }
}

TEST_F(PictureGeometryTest, TooFewPointsUseTheCentrePointOrFail)
{
    const Pose truth{0.5, 0.2, 0.3, 3000.0, Middle};
    // Two points: a single pair, not enough for the descent, and no centre point.
    auto k = MakePicture({0.0, 0.0, 0.0, truth.focal, truth.centre});
    AddFittedPoints(*k, truth, {SpreadPixels[0], SpreadPixels[1]});
    k->m_Status = 3;
    EXPECT_EQ(k->OptimizeOrientation(), 1000000.0);
    EXPECT_EQ(k->m_Status, -1);

    // With a centre point (state -5 at the optical centre) its target gives the axis.
    auto c = MakePicture({0.0, 0.0, 0.0, truth.focal, truth.centre});
    AddFittedPoints(*c, truth, {truth.centre, SpreadPixels[1]});
    c->m_Points[0].state = -5;
    c->RefreshControlPoints();
    EXPECT_EQ(c->OptimizeOrientation(), 0.0);
    EXPECT_LT(AngleBetween(c->m_Direction, {truth.yaw, truth.pitch}), 1e-9);
    EXPECT_NEAR(NormalizeAngle(c->m_Roll - truth.roll), 0.0, 1e-6);

    // Left out of the search (negative mark): one trial's error is returned as it is.
    auto m = MakePicture({0.0, 0.0, 0.0, truth.focal, truth.centre});
    AddFittedPoints(*m, truth, {SpreadPixels[0], SpreadPixels[1]});
    m->m_SearchMark = -2;
    EXPECT_NEAR(m->OptimizeOrientation(), 10.0, 1e-3);
}

TEST_F(PictureGeometryTest, AimPointAtAndTheAnchor)
{
    // Two corrections of the miss leave about 1e-4 radians at pitch 0 for a point 25 degrees
    // off the axis, but 4e-3 at pitch 0.3 and no convergence near a pole; a miss of more than
    // half a pixel is then aimed exactly.
    for (const Pose& pose : Poses) {
        for (const CDPoint pixel : {CDPoint(3100.0, 700.0), CDPoint(150.0, 2900.0), pose.centre}) {
            // Where the pixel looks from a pose turned by 0.1 and tilted by -0.05: reachable at
            // the picture's roll (with the roll fixed, a pixel right of the vertical plane
            // through the axis can never look straight up).
            Pose turned = pose;
            turned.yaw += 0.1;
            turned.pitch -= 0.05;
            const CDPoint want = MakePicture(turned)->PixelToSphere(pixel);
            auto k = MakePicture(pose);
            k->AimPointAt(pixel, want);
            EXPECT_LT(AngleBetween(k->PixelToSphere(pixel), want) * pose.focal, 0.5)
                << pose.yaw << " " << pose.pitch << " pixel " << pixel.x << ", " << pixel.y;
            EXPECT_EQ(k->m_Roll, pose.roll);
            EXPECT_LT(std::fabs(k->m_Direction.y), EngineHalfPi);
        }
    }
    // A pixel that no pitch can carry to the pole keeps the corrections' best effort.
    auto up = MakePicture({0.0, 0.0, 0.0, 1000.0, Middle});
    up->AimPointAt({Middle.x + 3000.0, Middle.y}, {0.0, 1.5});
    EXPECT_TRUE(std::isfinite(up->m_Direction.x) && std::isfinite(up->m_Direction.y));

    // The anchor is aimed straight ahead.
    auto k = MakePicture({0.7, 0.4, 0.25, 2400.0, Middle});
    ControlPoint& anchor = k->m_Points[0];
    anchor.kind = 1;
    anchor.state = -4;
    anchor.pointId = PLACEMENT_ANCHOR_ID;
    anchor.position = {2900.0, 1100.0};
    k->RefreshControlPoints();
    k->UpdateOrientationFromAnchor();
    EXPECT_LT(AngleBetween(k->PixelToSphere(anchor.position), {0.0, 0.0}) * 2400.0, 0.5);
    anchor.state = 3;
    k->UpdateOrientationFromAnchor();
    EXPECT_EQ(k->m_Direction, CDPoint(0.0, 0.0));
}

TEST_F(PictureGeometryTest, EstimateFocalFromFittedPairs)
{
    const Pose truth{0.3, -0.1, 0.2, 2600.0, Middle + CDPoint(15.0, -10.0)};
    auto k = MakePicture({truth.yaw, truth.pitch, truth.roll, 2000.0, truth.centre});
    AddFittedPoints(*k, truth, SpreadPixels);
    const double error = k->EstimateFocal();
    EXPECT_NEAR(k->m_Focal, truth.focal, 0.02);
    EXPECT_LT(error, 0.01);
    EXPECT_NEAR(k->ComputePointError(), error, 1e-9);
    // The same estimate followed by the orientation: accepted.
    k->m_Focal = 2000.0;
    EXPECT_EQ(k->RefineAndCheck(), 1);
    EXPECT_NEAR(k->m_Focal, truth.focal, 0.02);
    // The focal is kept in hundredths of a pixel, so the pose is a little off the truth.
    EXPECT_LT(AngleBetween(k->m_Direction, {truth.yaw, truth.pitch}), 1e-5);
    // The point error needs two fitted points.
    auto one = MakePicture(truth);
    AddFittedPoints(*one, truth, {SpreadPixels[0]});
    EXPECT_EQ(one->ComputePointError(), 1000000.0);

    // A point whose target is far off spoils its pairs; their estimates fall outside the
    // +-30 % window around the first mean and are left out.
    auto o = MakePicture({truth.yaw, truth.pitch, truth.roll, 2000.0, truth.centre});
    std::vector<CDPoint> pixels = SpreadPixels;
    pixels.push_back({2000.0, 1500.0});
    AddFittedPoints(*o, truth, pixels);
    ControlPoint& bad = o->m_Points[pixels.size() - 1];
    bad.target = MoveOnSphere(bad.target, 1.0, 0.25);
    o->EstimateFocal();
    EXPECT_NEAR(o->m_Focal, truth.focal, 30.0);

    // Pair estimates below 100 pixels are ignored: nothing is left.
    auto s = MakePicture({0.0, 0.0, 0.0, 2000.0, Middle});
    AddFittedPoints(*s, {0.0, 0.0, 0.0, 60.0, Middle}, {{1900.0, 1500.0}, {2100.0, 1500.0}, {2000.0, 1400.0}});
    EXPECT_EQ(s->EstimateFocal(), 1000000.0);
    EXPECT_EQ(s->m_Focal, 2000.0);
    EXPECT_EQ(s->RefineAndCheck(), -1);
}

TEST_F(PictureGeometryTest, EstimateFocalFromTheCentrePoint)
{
    const Pose truth{0.3, -0.1, 0.2, 2600.0, Middle};
    auto k = MakePicture({truth.yaw, truth.pitch, truth.roll, 1500.0, truth.centre});
    AddFittedPoints(*k, truth, {truth.centre, {3500.0, 1499.5}});
    k->m_Points[0].state = -5;
    k->RefreshControlPoints();
    EXPECT_EQ(k->EstimateFocal(), 0.0);
    EXPECT_NEAR(k->m_Focal, truth.focal, 1e-3);
    // Without the centre point there is nothing to measure from.
    k->m_Points[0].state = 0;
    EXPECT_EQ(k->EstimateFocal(), 1000000.0);
}

TEST_F(PictureGeometryTest, ClampFocalByFitMode)
{
    auto k = MakePicture({0.0, 0.0, 0.0, 1000.0, Middle});
    k->m_DefaultFocal = 1000.0;
    k->m_MinFocal = 700.0;
    struct Case {
        int fitMode;
        double focal; // current
        double v;
        double expected;
    } cases[] = {
        {3, 1000.0, 1100.0, 1100.0},
        {3, 1000.0, 1150.0, 1000.0}, // 1.15 D is not strictly inside: the current focal
        {3, 1200.0, 1150.0, 1000.0}, // nor is the current one: the default
        {3, 950.0, 800.0, 950.0},
        {2, 1000.0, 710.0, 710.0},   // above max(minimum, 0.5 D)
        {2, 1000.0, 690.0, 1000.0},
        {2, 1300.0, 1250.0, 1000.0},
        {-2, 1000.0, 700.0, 700.0},  // any other mode: the minimum alone
        {-2, 1234.0, 650.0, 1234.0},
        {0, 1234.0, std::nan(""), 1234.0},
    };
    for (const Case& c : cases) {
        FitMode = c.fitMode;
        k->m_Focal = c.focal;
        EXPECT_EQ(k->ClampFocal(c.v), c.expected) << "mode " << c.fitMode << " v " << c.v;
    }
}

TEST_F(PictureGeometryTest, OrientationErrorPenalisesFewPoints)
{
    const Pose truth{0.3, -0.1, 0.2, 2600.0, Middle};
    struct Case {
        std::size_t points;
        double penalty;
    } cases[] = {{1, 10.0}, {2, 10.0}, {3, 0.3}, {4, 0.1}, {5, 0.0}};
    for (const Case& c : cases) {
        auto k = MakePicture(truth);
        AddFittedPoints(*k, truth, std::vector<CDPoint>(SpreadPixels.begin(), SpreadPixels.begin() + c.points));
        EXPECT_NEAR(k->ComputeOrientationError(), c.penalty, 1e-6) << c.points;
    }
    auto empty = MakePicture(truth);
    EXPECT_EQ(empty->ComputeOrientationError(), -1.0);
    auto open = MakePicture(truth);
    AddFittedPoints(*open, truth, SpreadPixels);
    for (ControlPoint& cp : open->m_Points)
        if (cp.kind > 0)
            cp.state = 1;
    EXPECT_EQ(open->ComputeOrientationError(), 1000000.0);
    open->m_Focal = 0.0;
    EXPECT_EQ(open->ComputeOrientationError(), 1000000.0);
}

TEST_F(PictureGeometryTest, FitMeasure)
{
    const Pose truth{0.3, -0.1, 0.2, 2600.0, Middle};
    auto k = MakePicture(truth);
    AddFittedPoints(*k, truth, {SpreadPixels.begin(), SpreadPixels.begin() + 5});
    k->m_FitScore = 2.0;
    EngineModeFlag = 1;
    const double base = 2.0 * 5.0 / std::sqrt(5.0) * (2.0 * DeviationFromRightAngle(0.2) + 1.0);
    EXPECT_NEAR(k->ComputeFitMeasure(2600.0), base, 1e-9);
    EXPECT_NEAR(k->ComputeFitMeasure(1300.0), base * (10.0 * std::log(2.0) + 1.0), 1e-9);
    EXPECT_EQ(k->ComputeFitMeasure(0.0), 1000000.0);

    // 5 used slots, 2 of them fitted: times 5 / 2 = 2 (integer), and 3 for so few points.
    for (int i = 2; i < 5; ++i)
        k->m_Points[static_cast<std::size_t>(i)].state = 1;
    const double two = 2.0 * 5.0 / std::sqrt(2.0) * (2.0 * DeviationFromRightAngle(0.2) + 1.0);
    EXPECT_NEAR(k->ComputeFitMeasure(2600.0), two * 2.0 * 3.0, 1e-9);
    EngineModeFlag = 0;
    EXPECT_NEAR(k->ComputeFitMeasure(2600.0), 1000000.0 / 3.0, 1e-6);
    k->m_Points[1].state = 1;
    EXPECT_EQ(k->ComputeFitMeasure(2600.0), 1000000.0);
}

TEST_F(PictureGeometryTest, WorstPointAndHitTests)
{
    const Pose truth{0.3, -0.1, 0.2, 2600.0, Middle};
    auto k = MakePicture(truth);
    AddFittedPoints(*k, truth, {SpreadPixels.begin(), SpreadPixels.begin() + 4});
    k->m_Points[2].target = MoveOnSphere(k->m_Points[2].target, 0.5, 0.01);
    k->m_Points[3].state = 0; // open slots do not count
    k->RefreshControlPoints();
    int count = 0;
    double residual = 0.0;
    EXPECT_EQ(k->FindWorstPoint(count, residual), 2);
    EXPECT_EQ(count, 3);
    EXPECT_NEAR(residual, 0.01, 1e-7);
    for (ControlPoint& cp : k->m_Points)
        cp.state = 0;
    EXPECT_EQ(k->FindWorstPoint(count, residual), -1);
    EXPECT_EQ(count, 0);

    EXPECT_TRUE(k->ContainsPoint(20, 20, 20));
    EXPECT_FALSE(k->ContainsPoint(19, 20, 20));
    EXPECT_FALSE(k->ContainsPoint(Width - 20, 100, 20));
    EXPECT_TRUE(k->ContainsPoint(Width - 1, Height - 1, 0));

    const CDPoint inside = k->PixelToSphere({10.0, 10.0});
    EXPECT_EQ(k->HitTestPointArea(inside), 1);
    EXPECT_FALSE(k->CoversSpherePoint(inside)); // within the 20-pixel margin
    EXPECT_TRUE(k->CoversSpherePoint(k->PixelToSphere({30.0, 30.0})));
    EXPECT_EQ(k->HitTestPointArea(k->PixelToSphere({-5.0, 10.0})), 0);
    // More than 60 degrees off the axis counts as outside even for a wide picture.
    k->m_Focal = 500.0;
    EXPECT_EQ(k->HitTestPointArea(k->PixelToSphere({5.0, 5.0})), 0);
}

TEST_F(PictureGeometryTest, DegenerateAndNonFinitePointsEndWithDefinedResults)
{
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    // Coincident points, targets that are not numbers, an infinite roll: every estimator
    // returns, and nothing is converted from a non-finite double.
    auto k = MakePicture({0.2, 0.1, inf, 2000.0, Middle});
    AddFittedPoints(*k, {0.2, 0.1, 0.0, 2000.0, Middle}, {SpreadPixels[0], SpreadPixels[0], SpreadPixels[1], SpreadPixels[2]});
    k->m_Points[3].target = {nan, 0.1};
    k->m_Points[2].position = {inf, -inf};
    k->RefreshControlPoints();
    k->EstimateFocal();
    k->OptimizeOrientation();
    k->ComputeFitMeasure(2000.0);
    int count = 0;
    double residual = 0.0;
    const int worst = k->FindWorstPoint(count, residual);
    EXPECT_GE(worst, 0);
    EXPECT_LT(worst, CONTROL_POINT_SLOTS);
    EXPECT_FALSE(k->CoversSpherePoint({nan, nan}));
    EXPECT_EQ(k->HitTestPointArea({nan, 0.0}), 0);
    k->AimPointAt({nan, 3.0}, {0.1, 0.1});
    k->m_Direction = {0.0, 0.0};
    EXPECT_FALSE(k->ContainsPoint(k->SphereToPixelPoint({inf, 0.0}).x, 0, 0));
}

} // namespace

// The focal length at which two camera-plane points subtend a given angle.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/focal_from_angle.h"
#include "geometry/sphere.h"

namespace {

TEST(FocalFromAngle, MirroredPointsGiveRadiusOverTanOfHalfTheAngle)
{
    for (double r : {300.0, 800.0, 1500.0}) {
        for (double theta : {0.2, 0.6, 1.2}) {
            const double expected = r / std::tan(theta / 2.0);
            if (expected < 100.0)
                continue;
            for (double a : {0.0, 1.0, 2.5}) {
                const CDPoint p1{r * std::cos(a), r * std::sin(a)};
                const CDPoint p2{-p1.x, -p1.y};
                EXPECT_NEAR(SolveFocalFromAngle(theta, p1, p2), expected, expected * 1e-6) << r << " " << theta << " " << a;
            }
        }
    }
}

TEST(FocalFromAngle, RecoversTheFocalOfArbitraryPointPairs)
{
    const struct {
        CDPoint p1, p2;
    } pairs[] = {
        {{100.0, 50.0}, {900.0, -300.0}},
        {{-1200.0, 700.0}, {-100.0, -800.0}},
        {{0.0, 0.0}, {500.0, 0.0}},
        {{400.0, 400.0}, {450.0, 380.0}},
    };
    for (const auto& p : pairs) {
        for (double f : {150.0, 900.0, 2500.0, 8000.0}) {
            const double theta = LinearPointsAngle(p.p1, p.p2, f);
            const double solved = SolveFocalFromAngle(theta, p.p1, p.p2);
            // The angle itself is known to about 1e-8 (acos near 1), which bounds the focal.
            const double dTheta = std::fabs(LinearPointsAngle(p.p1, p.p2, f * 1.001) - theta) / (f * 0.001);
            EXPECT_NEAR(solved, f, std::max(1e-6 * f, 3e-8 / dTheta)) << p.p1.x << "," << p.p1.y << " f " << f;
        }
    }
}

TEST(FocalFromAngle, ImpossibleOrTooShortFocalsFail)
{
    const CDPoint p1{-300.0, 0.0};
    const CDPoint p2{300.0, 0.0};
    struct Case {
        const char* what;
        double theta;
    } cases[] = {
        // 300 / tan(theta / 2) < 100 for these.
        {"focal below 100", 2.6},
        // Two distinct points never subtend 0 at a finite focal.
        {"zero angle", 0.0},
        // Points mirrored through the centre subtend less than pi at every focal.
        {"straight angle", M_PI},
        {"not a number", std::nan("")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SolveFocalFromAngle(c.theta, p1, p2), FocalSolveFailed) << c.what;
    // Coincident points: no angle to measure.
    EXPECT_EQ(SolveFocalFromAngle(0.3, {200.0, 100.0}, {200.0, 100.0}), FocalSolveFailed);
}

} // namespace

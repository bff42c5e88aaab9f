// The focal length at which two camera-plane points subtend a given angle.
//
// With r1, r2 the radii of the points, phi the angle between them around the optical centre and
// c = cos^2(theta), the angle condition cos(theta) = (p1.p2 + f^2) / sqrt((r1^2+f^2)(r2^2+f^2))
// squared is a quadratic in u = f^2:
//   (1 - c) u^2 + (2 r1 r2 cos(phi) - c (r1^2 + r2^2)) u + r1^2 r2^2 (cos^2(phi) - c) = 0.
// Squaring admits a false root, so each candidate is checked against the angle itself.
#include "geometry/focal_from_angle.h"

#include <cmath>

#include "geometry/sphere.h"

namespace {

constexpr double MinimumFocal = 100.0;
constexpr double AcceptedAngleError = 0.01;
constexpr double RejectedError = 1000000.0;

} // namespace

double SolveFocalFromAngle(double theta, CDPoint p1, CDPoint p2)
{
    const double r1 = std::hypot(p1.x, p1.y);
    const double r2 = std::hypot(p2.x, p2.y);
    const double phi = PlaneDirectionAngle(p1) - PlaneDirectionAngle(p2);
    const double ct = std::cos(theta);
    const double c = ct * ct;
    const double cp = std::cos(phi);

    const double a = 1.0 - c;
    const double b = 2.0 * r1 * r2 * cp - c * (r1 * r1 + r2 * r2);
    const double k = r1 * r1 * r2 * r2 * (cp * cp - c);
    const double disc = b * b - 4.0 * a * k;

    double candidates[2] = {1.0, 1.0};
    if (disc > 0.0 && a != 0.0) {
        const double root = std::sqrt(disc);
        const double u1 = (-b + root) / (2.0 * a);
        const double u2 = (-b - root) / (2.0 * a);
        candidates[0] = u1 > 0.0 ? std::sqrt(u1) : 1.0;
        candidates[1] = u2 > 0.0 ? std::sqrt(u2) : 1.0;
    }

    double errors[2];
    for (int i = 0; i < 2; ++i) {
        errors[i] = candidates[i] >= MinimumFocal
                        ? std::fabs(LinearPointsAngle(p1, p2, candidates[i]) - theta)
                        : RejectedError;
    }
    if (errors[0] < errors[1] && errors[0] < AcceptedAngleError)
        return candidates[0];
    if (errors[1] < errors[0] && errors[1] < AcceptedAngleError)
        return candidates[1];
    return FocalSolveFailed;
}

// Angle normalisation, great-circle geometry and the projection reference on the unit sphere of
// viewing directions (x = longitude, y = latitude, radians).
#include "geometry/sphere.h"

#include <cmath>
#include <limits>

namespace {

// Beyond this many turns the angle is first reduced with fmod, so that a huge value does not
// step through billions of turns; below it the turn-by-turn steps give the familiar rounding.
constexpr double ReduceBeyond = 1024.0 * EngineTwoPi;

// a brought into (-period / 2, period / 2] by whole periods; NaN for a non-finite angle.
double WrapIntoPeriod(double a, double period)
{
    if (!std::isfinite(a))
        return std::numeric_limits<double>::quiet_NaN();
    if (std::fabs(a) > ReduceBeyond)
        a = std::fmod(a, period);
    const double half = period / 2.0;
    while (a <= -half)
        a += period;
    while (a > half)
        a -= period;
    return a;
}

ProjectionReference g_projectionReference;

} // namespace

bool IsValidDirection(CDPoint d)
{
    return d.x > -EnginePi && d.x < EnginePi && d.y > -EngineHalfPi && d.y < EngineHalfPi;
}

bool IsMissingDirection(CDPoint d)
{
    return !(std::fabs(d.x) < 4.0 * EnginePi) || std::isnan(d.y);
}

double NormalizeAngle(double a)
{
    return WrapIntoPeriod(a, EngineTwoPi);
}

double NormalizeHalfTurn(double a)
{
    return WrapIntoPeriod(a, EnginePi);
}

double SphericalDistance(CDPoint p, CDPoint q)
{
    const double c1 = EngineHalfPi - p.y;
    const double c2 = EngineHalfPi - q.y;
    double v = std::cos(NormalizeAngle(p.x - q.x)) * std::sin(c1) * std::sin(c2) + std::cos(c1) * std::cos(c2);
    v = ClampDouble(v, -1.0, 1.0);
    return std::acos(v);
}

double ApproxSphericalDistanceSq(CDPoint p, CDPoint q)
{
    const double dlon = NormalizeAngle(p.x - q.x);
    const double dlat = NormalizeAngle(p.y - q.y);
    const double dx = dlon * std::cos((p.y + q.y) / 2.0);
    return dx * dx + dlat * dlat;
}

double ApproxSphericalDistance(CDPoint p, CDPoint q)
{
    return std::sqrt(ApproxSphericalDistanceSq(p, q));
}

double SphericalCosineRule(double a, double b, double gamma)
{
    const double v = std::cos(a) * std::cos(b) + std::sin(a) * std::sin(b) * std::cos(gamma);
    if (!(v >= -1.0 && v <= 1.0))
        return 0.0;
    return std::acos(v);
}

double SphericalAngleFromSides(double a, double b, double c)
{
    const double sa = std::sin(a);
    const double sb = std::sin(b);
    if (sa == 0.0 || sb == 0.0)
        return 0.0;
    double g = (std::cos(c) - std::cos(a) * std::cos(b)) / (sa * sb);
    if (g < -1.0) {
        if (g >= -1.000001)
            g = -1.0;
        else
            return 0.0;
    }
    if (g > 1.0) {
        if (g <= 1.000001)
            g = 1.0;
        else
            return 0.0;
    }
    if (std::isnan(g))
        return 0.0;
    return std::acos(g);
}

double SignedBearingOnSphere(CDPoint p, CDPoint q)
{
    return std::atan2(std::sin(p.x - q.x) * std::cos(q.y),
                      std::sin(q.y) * std::cos(p.y) - std::cos(q.x - p.x) * std::cos(q.y) * std::sin(p.y));
}

double BearingOnSphere(CDPoint p, CDPoint q)
{
    double b = SignedBearingOnSphere(p, q);
    if (b < 0.0)
        b += EngineTwoPi;
    return b;
}

CDPoint MoveOnSphere(CDPoint p, double bearing, double distance)
{
    const double b = NormalizeAngle(bearing);
    const double d = std::fabs(distance);
    const double c1 = EngineHalfPi - p.y;
    const double c2 = SphericalCosineRule(c1, d, b);
    if (c2 == 0.0)
        return {0.0, EngineHalfPi};
    if (c2 == EnginePi)
        return {0.0, -EngineHalfPi};
    const double a = SphericalAngleFromSides(c1, c2, d);
    const double lon = b >= 0.0 ? p.x - a : p.x + a;
    return {lon, EngineHalfPi - c2};
}

CDPoint GreatCircleMidpoint(CDPoint p, CDPoint q)
{
    return MoveOnSphere(p, SignedBearingOnSphere(p, q), SphericalDistance(p, q) / 2.0);
}

double PlaneDirectionAngleSigned(CDPoint v)
{
    return std::atan2(-v.x, v.y);
}

double PlaneDirectionAngle(CDPoint v)
{
    double a = PlaneDirectionAngleSigned(v);
    if (a < 0.0)
        a += EngineTwoPi;
    return a;
}

double DeviationFromRightAngle(double a)
{
    const double r = std::fmod(std::fabs(a), EngineHalfPi);
    return r > EngineQuarterPi ? EngineHalfPi - r : r;
}

double OffAxisAngle(CDPoint v, double f)
{
    return std::atan2(std::hypot(v.x, v.y), f);
}

double LinearPointsAngle(CDPoint p, CDPoint q, double f)
{
    // The linear inverse projection of both points, inline (see UnprojectLinear).
    const double lonP = std::atan2(p.x, f);
    const double lonQ = std::atan2(q.x, f);
    const CDPoint dp{lonP, std::atan2(p.y * std::cos(lonP), f)};
    const CDPoint dq{lonQ, std::atan2(q.y * std::cos(lonQ), f)};
    return SphericalDistance(dp, dq);
}

ProjectionReference& GetProjectionReference()
{
    return g_projectionReference;
}

void ResetProjectionReference(int n)
{
    g_projectionReference.direction = CDPoint(0.0, 0.0);
    g_projectionReference.roll = 0.0;
    if (n == 1)
        g_projectionReference.direction.y = EngineHalfPi - 0.0001;
    else if (n == -1)
        g_projectionReference.direction.y = -(EngineHalfPi - 0.0001);
}

// Forward and inverse projections of every projection code, and the dispatch by code.
// Directions are (longitude, latitude) in radians; plane points are in output-plane pixels with
// y growing with latitude.
#include "geometry/projections.h"

#include <cmath>

namespace {

// A valid direction with cos(longitude) <= 0 lies behind a linear view.
CDPoint OverflowPair(CDPoint d)
{
    return {d.x <= 0.0 ? -PlaneOverflowValue : PlaneOverflowValue,
            d.y <= 0.0 ? -PlaneOverflowValue : PlaneOverflowValue};
}

// x of the ultra wide linear forms: f ln|tan(lon/2 + pi/4)|.
double MercatorX(double lon, double f)
{
    return f * std::log(std::fabs(std::tan(lon / 2.0 + EngineQuarterPi)));
}

// Longitude of the ultra wide linear forms from u = x / f.
double MercatorLongitude(double u)
{
    return 2.0 * (std::atan(std::exp(u)) - EngineQuarterPi);
}

// y of the vertically compressed linear forms: 2 f atan(tan(lat) / cos(lon) / 2).
double CompressedY(CDPoint d, double f)
{
    return 2.0 * f * std::atan(std::tan(d.y) / std::cos(d.x) / 2.0);
}

// Latitude of the vertically compressed linear forms from v = y / f and the longitude.
CDPoint CompressedDirection(double lon, double v)
{
    const double t = std::tan(v / 2.0);
    const double c = std::cos(lon);
    if (!(c > 0.0))
        return InvalidDirection;
    return {lon, std::atan(2.0 * t * c)};
}

// Fisheye forward: the radius function r(theta) applied around the projection reference.
template <typename RadiusFn>
CDPoint FisheyeForward(CDPoint d, double f, RadiusFn radius)
{
    const ProjectionReference& ref = GetProjectionReference();
    const double theta = SphericalDistance(ref.direction, d);
    const double beta = BearingOnSphere(ref.direction, d) + ref.roll;
    bool invalid = false;
    const double r = radius(theta, invalid);
    if (invalid)
        return InvalidPlanePoint;
    return {-f * r * std::sin(beta), f * r * std::cos(beta)};
}

// Fisheye inverse: the plane radius rho = |q| / f and the bearing around the reference.
struct FisheyePolar {
    double rho;
    double beta;
};

FisheyePolar FisheyePolarOf(CDPoint q, double f)
{
    const ProjectionReference& ref = GetProjectionReference();
    return {std::hypot(q.x, q.y) / f, std::atan2(-q.x, q.y) - ref.roll};
}

CDPoint FisheyeMove(double beta, double theta)
{
    return MoveOnSphere(GetProjectionReference().direction, beta, theta);
}

} // namespace

std::string ProjectionTitle(int code)
{
    switch (code) {
    case PROJ_LINEAR:
    case PROJ_LINEAR_2:
        return " Linear";
    case PROJ_ULTRA_WIDE_LINEAR:
        return " Ultra Wide Linear";
    case PROJ_WIDE_LINEAR_VCMP:
        return " WideLinear VCmp";
    case PROJ_WIDE_LINEAR_HVCMP:
        return " WideLinear HVCmp";
    case PROJ_CYLINDRICAL:
        return " Panorama";
    case PROJ_CONFORMAL_PANORAMA:
        return " Conformal Panorama";
    case PROJ_EQUIRECTANGULAR:
        return " Equirectangular Panorama";
    case PROJ_EQUAL_AREA_PANORAMA:
        return " Equal-area Panorama";
    case PROJ_VERT_PANORAMA:
        return " VertPanorama";
    case PROJ_CONFORMAL_FISHEYE:
        return " Conformal Fisheye";
    case PROJ_EQUIDISTANT_FISHEYE:
        return " Equidistant Fisheye";
    case PROJ_EQUAL_AREA_FISHEYE:
        return " Equal-area Fisheye";
    default:
        return " ";
    }
}

// ---- linear family ----

CDPoint ProjectLinear(CDPoint d, double f)
{
    if (!IsValidDirection(d))
        return InvalidPlanePoint;
    const double c = std::cos(d.x);
    if (c <= 0.0)
        return OverflowPair(d);
    return {f * std::tan(d.x), f * std::tan(d.y) / c};
}

CDPoint UnprojectLinear(CDPoint q, double f)
{
    const double lon = std::atan2(q.x, f);
    return {lon, std::atan2(q.y * std::cos(lon), f)};
}

CDPoint ProjectUltraWideLinear(CDPoint d, double f)
{
    if (!IsValidDirection(d))
        return InvalidPlanePoint;
    const double c = std::cos(d.x);
    if (c <= 0.0)
        return OverflowPair(d);
    return {MercatorX(d.x, f), f * std::tan(d.y) / c};
}

CDPoint UnprojectUltraWideLinear(CDPoint q, double f)
{
    const double lon = MercatorLongitude(q.x / f);
    if (!(std::fabs(lon) < EngineHalfPi))
        return InvalidDirection;
    return {lon, std::atan(std::cos(lon) * (q.y / f))};
}

CDPoint ProjectWideLinearVCmp(CDPoint d, double f)
{
    if (!IsValidDirection(d))
        return InvalidPlanePoint;
    if (std::cos(d.x) <= 0.0)
        return OverflowPair(d);
    return {f * std::tan(d.x), CompressedY(d, f)};
}

CDPoint UnprojectWideLinearVCmp(CDPoint q, double f)
{
    const double v = q.y / f;
    if (!(std::fabs(v) < EnginePi))
        return InvalidDirection;
    return CompressedDirection(std::atan(q.x / f), v);
}

CDPoint ProjectWideLinearHVCmp(CDPoint d, double f)
{
    if (!IsValidDirection(d))
        return InvalidPlanePoint;
    if (std::cos(d.x) <= 0.0)
        return OverflowPair(d);
    return {MercatorX(d.x, f), CompressedY(d, f)};
}

CDPoint UnprojectWideLinearHVCmp(CDPoint q, double f)
{
    const double v = q.y / f;
    if (!(std::fabs(v) < EnginePi))
        return InvalidDirection;
    return CompressedDirection(MercatorLongitude(q.x / f), v);
}

// ---- panorama family ----

CDPoint ProjectCylindrical(CDPoint d, double f)
{
    return {f * d.x, f * std::tan(d.y)};
}

CDPoint UnprojectCylindrical(CDPoint q, double f)
{
    return {q.x / f, std::atan2(q.y, f)};
}

CDPoint ProjectConformalPanorama(CDPoint d, double f)
{
    double y = f * std::log(std::fabs(std::tan(std::fabs(d.y) / 2.0 + EngineQuarterPi)));
    if (d.y < 0.0)
        y = -y;
    return {f * d.x, y};
}

CDPoint UnprojectConformalPanorama(CDPoint q, double f)
{
    const double v = q.y / f;
    double lat = 2.0 * std::atan(std::exp(std::fabs(v))) - EngineHalfPi;
    if (v < 0.0)
        lat = -lat;
    return {q.x / f, lat};
}

CDPoint ProjectEquirectangular(CDPoint d, double f)
{
    return {f * d.x, f * d.y};
}

CDPoint UnprojectEquirectangular(CDPoint q, double f)
{
    return {ClampDouble(q.x / f, -EngineTwoPi, EngineTwoPi), ClampDouble(q.y / f, -EngineHalfPi, EngineHalfPi)};
}

CDPoint ProjectEqualAreaPanorama(CDPoint d, double f)
{
    return {f * d.x, f * std::sin(d.y)};
}

CDPoint UnprojectEqualAreaPanorama(CDPoint q, double f)
{
    return {q.x / f, std::asin(ClampDouble(q.y / f, -0.999, 0.999))};
}

CDPoint ProjectVertPanorama(CDPoint d, double f)
{
    return {f * std::tan(d.x), f * d.y};
}

CDPoint UnprojectVertPanorama(CDPoint q, double f)
{
    return {std::atan2(q.x, f), q.y / f};
}

// ---- fisheye family ----

CDPoint ProjectConformalFisheye(CDPoint d, double f)
{
    return FisheyeForward(d, f, [](double theta, bool&) { return 2.0 * std::tan(theta / 2.0); });
}

CDPoint UnprojectConformalFisheye(CDPoint q, double f)
{
    const FisheyePolar p = FisheyePolarOf(q, f);
    const double theta = 2.0 * std::atan(p.rho / 2.0);
    CDPoint d = FisheyeMove(p.beta, theta);
    // Beyond 150 degrees the direction is pushed out of the valid range rather than replaced,
    // so that IsValidDirection rejects it.
    if (theta > EngineFiveSixthsPi)
        d.x += EngineSixPi;
    return d;
}

CDPoint ProjectEquidistantFisheye(CDPoint d, double f)
{
    return FisheyeForward(d, f, [](double theta, bool&) { return theta; });
}

CDPoint UnprojectEquidistantFisheye(CDPoint q, double f)
{
    const FisheyePolar p = FisheyePolarOf(q, f);
    const double theta = p.rho;
    if (!(theta < EngineFiveSixthsPi))
        return InvalidDirection;
    return FisheyeMove(p.beta, theta);
}

CDPoint ProjectEqualAreaFisheye(CDPoint d, double f)
{
    return FisheyeForward(d, f, [](double theta, bool&) { return std::sqrt(2.0 * (1.0 - std::cos(theta))); });
}

CDPoint UnprojectEqualAreaFisheye(CDPoint q, double f)
{
    const FisheyePolar p = FisheyePolarOf(q, f);
    const double c = 1.0 - p.rho * p.rho / 2.0;
    if (!(c <= 1.0 && c >= -0.9659))
        return InvalidDirection;
    return FisheyeMove(p.beta, std::acos(c));
}

CDPoint ProjectOrthographicFisheye(CDPoint d, double f)
{
    return FisheyeForward(d, f, [](double theta, bool& invalid) {
        invalid = !(theta < EngineHalfPi);
        return std::sin(theta);
    });
}

CDPoint UnprojectOrthographicFisheye(CDPoint q, double f)
{
    const FisheyePolar p = FisheyePolarOf(q, f);
    if (!(p.rho < 1.0))
        return InvalidDirection;
    return FisheyeMove(p.beta, std::asin(p.rho));
}

// ---- dispatch ----

CDPoint ProjectDirection(int code, CDPoint d, double f)
{
    switch (code) {
    case PROJ_ULTRA_WIDE_LINEAR:
        return ProjectUltraWideLinear(d, f);
    case PROJ_WIDE_LINEAR_VCMP:
        return ProjectWideLinearVCmp(d, f);
    case PROJ_WIDE_LINEAR_HVCMP:
        return ProjectWideLinearHVCmp(d, f);
    case PROJ_CYLINDRICAL:
        return ProjectCylindrical(d, f);
    case PROJ_CONFORMAL_PANORAMA:
        return ProjectConformalPanorama(d, f);
    case PROJ_EQUIRECTANGULAR:
        return ProjectEquirectangular(d, f);
    case PROJ_EQUAL_AREA_PANORAMA:
        return ProjectEqualAreaPanorama(d, f);
    case PROJ_VERT_PANORAMA:
        return ProjectVertPanorama(d, f);
    case PROJ_CONFORMAL_FISHEYE:
        return ProjectConformalFisheye(d, f);
    case PROJ_EQUIDISTANT_FISHEYE:
        return ProjectEquidistantFisheye(d, f);
    case PROJ_EQUAL_AREA_FISHEYE:
        return ProjectEqualAreaFisheye(d, f);
    case PROJ_ORTHOGRAPHIC_FISHEYE:
        return ProjectOrthographicFisheye(d, f);
    default:
        return ProjectLinear(d, f);
    }
}

CDPoint UnprojectPlanePoint(int code, CDPoint q, double f)
{
    switch (code) {
    case PROJ_ULTRA_WIDE_LINEAR:
        return UnprojectUltraWideLinear(q, f);
    case PROJ_WIDE_LINEAR_VCMP:
        return UnprojectWideLinearVCmp(q, f);
    case PROJ_WIDE_LINEAR_HVCMP:
        return UnprojectWideLinearHVCmp(q, f);
    case PROJ_CYLINDRICAL:
        return UnprojectCylindrical(q, f);
    case PROJ_CONFORMAL_PANORAMA:
        return UnprojectConformalPanorama(q, f);
    case PROJ_EQUIRECTANGULAR:
        return UnprojectEquirectangular(q, f);
    case PROJ_EQUAL_AREA_PANORAMA:
        return UnprojectEqualAreaPanorama(q, f);
    case PROJ_VERT_PANORAMA:
        return UnprojectVertPanorama(q, f);
    case PROJ_CONFORMAL_FISHEYE:
        return UnprojectConformalFisheye(q, f);
    case PROJ_EQUIDISTANT_FISHEYE:
        return UnprojectEquidistantFisheye(q, f);
    case PROJ_EQUAL_AREA_FISHEYE:
        return UnprojectEqualAreaFisheye(q, f);
    case PROJ_ORTHOGRAPHIC_FISHEYE:
        return UnprojectOrthographicFisheye(q, f);
    default:
        return UnprojectLinear(q, f);
    }
}

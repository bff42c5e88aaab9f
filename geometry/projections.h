// The projections of the viewing sphere onto the output plane, one forward/inverse pair per
// projection code, and the dispatch by code.
//
// Forward: direction (longitude, latitude in radians) -> plane point (output-plane pixels before
// the render scale, y growing with latitude). Inverse: plane point -> direction. f is the focal
// value in pixels. Sentinels (geometry/sphere.h):
//   - a forward projection returns InvalidPlanePoint for a direction it cannot show; the linear
//     family returns +-PlaneOverflowValue per axis for a valid direction behind the viewer;
//   - an inverse projection returns InvalidDirection (or, for the conformal fisheye beyond its
//     limit, a direction with 6pi added to its longitude) for a plane point without a direction:
//     callers test the result with IsMissingDirection before they use it (not with
//     IsValidDirection, which would also refuse the panoramas' longitudes beyond +-pi).
// The fisheye pairs measure from the process-wide ProjectionReference; the others are pure.
#pragma once

#include <string>

#include "common/value_types.h"
#include "geometry/sphere.h"

// Projection codes; any other value is projected as Linear.
enum ProjectionType : int {
    PROJ_LINEAR = 11,
    PROJ_LINEAR_2 = 12,
    PROJ_ULTRA_WIDE_LINEAR = 13,
    PROJ_WIDE_LINEAR_VCMP = 14,
    PROJ_WIDE_LINEAR_HVCMP = 15,
    PROJ_CYLINDRICAL = 21,
    PROJ_CONFORMAL_PANORAMA = 22,
    PROJ_EQUIRECTANGULAR = 23,
    PROJ_EQUAL_AREA_PANORAMA = 24,
    PROJ_VERT_PANORAMA = 25,
    PROJ_CONFORMAL_FISHEYE = 31,
    PROJ_EQUIDISTANT_FISHEYE = 32,
    PROJ_EQUAL_AREA_FISHEYE = 33,
    PROJ_ORTHOGRAPHIC_FISHEYE = 34,
};

// Families as callers test them: 10..19 linear, 20..29 panorama, above 29 fisheye.
inline bool IsLinearProjection(int code) { return code >= 10 && code <= 19; }
inline bool IsPanoramaProjection(int code) { return code > 19 && code < 30; }
inline bool IsFisheyeProjection(int code) { return code >= 30; }

// The title text of a code, leading blank included (" " for codes without a name).
std::string ProjectionTitle(int code);

// Linear family: forward tests IsValidDirection, then returns the overflow pair where
// cos(longitude) <= 0.
CDPoint ProjectLinear(CDPoint d, double f);
CDPoint UnprojectLinear(CDPoint q, double f);
CDPoint ProjectUltraWideLinear(CDPoint d, double f);
CDPoint UnprojectUltraWideLinear(CDPoint q, double f);
CDPoint ProjectWideLinearVCmp(CDPoint d, double f);
CDPoint UnprojectWideLinearVCmp(CDPoint q, double f);
CDPoint ProjectWideLinearHVCmp(CDPoint d, double f);
CDPoint UnprojectWideLinearHVCmp(CDPoint q, double f);

// Panorama family: no validity test, no overflow value.
CDPoint ProjectCylindrical(CDPoint d, double f);
CDPoint UnprojectCylindrical(CDPoint q, double f);
CDPoint ProjectConformalPanorama(CDPoint d, double f);
CDPoint UnprojectConformalPanorama(CDPoint q, double f);
// Inverse clamps longitude to [-2pi, 2pi] and latitude to [-pi/2, pi/2].
CDPoint ProjectEquirectangular(CDPoint d, double f);
CDPoint UnprojectEquirectangular(CDPoint q, double f);
// Inverse clamps sin(latitude) to [-0.999, 0.999].
CDPoint ProjectEqualAreaPanorama(CDPoint d, double f);
CDPoint UnprojectEqualAreaPanorama(CDPoint q, double f);
CDPoint ProjectVertPanorama(CDPoint d, double f);
CDPoint UnprojectVertPanorama(CDPoint q, double f);

// Fisheye family, measured from GetProjectionReference().
CDPoint ProjectConformalFisheye(CDPoint d, double f);
CDPoint UnprojectConformalFisheye(CDPoint q, double f);
CDPoint ProjectEquidistantFisheye(CDPoint d, double f);
CDPoint UnprojectEquidistantFisheye(CDPoint q, double f);
CDPoint ProjectEqualAreaFisheye(CDPoint d, double f);
CDPoint UnprojectEqualAreaFisheye(CDPoint q, double f);
// Forward gives InvalidPlanePoint from 90 degrees off the reference; inverse InvalidDirection
// from a radius of f.
CDPoint ProjectOrthographicFisheye(CDPoint d, double f);
CDPoint UnprojectOrthographicFisheye(CDPoint q, double f);

// Dispatch by projection code (unknown codes use Linear).
CDPoint ProjectDirection(int code, CDPoint d, double f);
CDPoint UnprojectPlanePoint(int code, CDPoint q, double f);

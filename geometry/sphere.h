// The unit sphere of viewing directions: the engine's angle constants, the sentinels of the
// geometry, angle normalisation, great-circle distance, bearings, travel along a bearing, the
// plane-vector angles, and the one process-wide projection reference of the fisheye views.
//
// Coordinates: a direction is a CDPoint (x = longitude, y = latitude) in radians; (0, 0) is
// straight ahead, latitude +pi/2 is "up" (which the output plane draws downwards: plane y grows
// with latitude). A plane vector is a CDPoint in pixels of an image or output plane.
#pragma once

#include "common/value_types.h"

// The engine's pi is 3.14159265, not the full-precision value, and every multiple of it below
// is derived from that constant. Stored fits, the projections' round trips and the sentinel
// tests (a longitude of 5pi, the exact-pi pole test of MoveOnSphere) were all made with this
// value: do not replace it with M_PI.
inline constexpr double EnginePi = 3.14159265;
inline constexpr double EngineHalfPi = EnginePi / 2.0;
inline constexpr double EngineQuarterPi = EnginePi / 4.0;
inline constexpr double EngineTwoPi = EnginePi * 2.0;
inline constexpr double EngineFiveSixthsPi = EnginePi - EnginePi / 6.0;
inline constexpr double EngineFivePi = EnginePi * 5.0;
inline constexpr double EngineSixPi = EnginePi * 6.0;

// Forward projection result for a direction that the projection cannot show.
inline constexpr CDPoint InvalidPlanePoint{100000000.0, 100000000.0};
// Inverse projection result for a plane point without a direction; fails IsValidDirection.
inline constexpr CDPoint InvalidDirection{EngineFivePi, 0.0};
// Per-axis value of a linear projection of a direction behind the viewer (not scaled by f).
inline constexpr double PlaneOverflowValue = 2.1e9;

// -pi < longitude < pi and -pi/2 < latitude < pi/2, all strict (NaN is invalid).
bool IsValidDirection(CDPoint d);
// True for an inverse projection's "no direction" result: InvalidDirection, a conformal
// fisheye direction pushed beyond its limit (6pi added), or NaN. Use this, not
// IsValidDirection, on inverse results: the panorama forms return usable longitudes beyond +-pi
// (up to +-2pi for the equirectangular form), and a fisheye direction reached over a pole can
// come back with a longitude of exactly -pi.
bool IsMissingDirection(CDPoint d);

// a brought into (-pi, pi] by whole turns; NaN and infinities give NaN at once, and huge values
// are reduced without stepping through every turn.
double NormalizeAngle(double a);
// a brought into (-pi/2, pi/2] by half turns, with the same handling of non-finite values.
double NormalizeHalfTurn(double a);

// Great-circle angle between two directions, [0, pi].
double SphericalDistance(CDPoint p, CDPoint q);
// Flat approximation sqrt((dlon cos(mean lat))^2 + dlat^2) and its square.
double ApproxSphericalDistance(CDPoint p, CDPoint q);
double ApproxSphericalDistanceSq(CDPoint p, CDPoint q);
// acos(cos a cos b + sin a sin b cos gamma): the third side; 0 when the cosine is out of range.
double SphericalCosineRule(double a, double b, double gamma);
// The angle opposite side c of the spherical triangle with sides a, b, c; 0 when degenerate.
double SphericalAngleFromSides(double a, double b, double c);
// Bearing from p towards q, [0, 2pi); a positive bearing turns towards decreasing longitude.
double BearingOnSphere(CDPoint p, CDPoint q);
// The same bearing without the wrap, (-pi, pi].
double SignedBearingOnSphere(CDPoint p, CDPoint q);
// The direction reached from p by travelling distance along bearing (longitude not normalised).
CDPoint MoveOnSphere(CDPoint p, double bearing, double distance);
CDPoint GreatCircleMidpoint(CDPoint p, CDPoint q);

// atan2(-x, y) of a plane vector: [0, 2pi) and the signed form.
double PlaneDirectionAngle(CDPoint v);
double PlaneDirectionAngleSigned(CDPoint v);
// How far a is from the nearest multiple of a right angle, [0, pi/4].
double DeviationFromRightAngle(double a);
// Angle of an image-plane point from the optical axis of a camera with focal f.
double OffAxisAngle(CDPoint v, double f);
// Angle between two points of a linear picture with focal f.
double LinearPointsAngle(CDPoint p, CDPoint q, double f);

// The direction and roll from which the fisheye projections measure their angles.
struct ProjectionReference {
    CDPoint direction;
    double roll = 0.0;
};

// The process-wide projection reference (direction (0, 0), roll 0 at start).
ProjectionReference& GetProjectionReference();
// Direction (0, 0), roll 0; n = 1 aims just below the upper pole, n = -1 just above the lower.
void ResetProjectionReference(int n);

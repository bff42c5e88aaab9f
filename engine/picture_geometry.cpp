// A picture's geometry: the chain picture pixel -> camera plane -> sphere and back, the derived
// values of its control points, the estimates of its focal and orientation from control
// points, the error measures the fitting minimises, and small hit tests.
//
// Coordinates: a picture pixel is a CDPoint in the picture's pixels; the camera plane is
// relative to the optical centre with lens distortion removed, in pixels (the focal is the
// distance of the plane from the eye), x growing with longitude and y with latitude; a
// direction is (longitude, latitude) in radians. Yaw and pitch are the direction of the optical
// axis; roll turns the camera plane about it.
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "geometry/focal_from_angle.h"
#include "geometry/lens_table.h"
#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"

namespace {

constexpr double Failed = 1000000.0;
constexpr double DegeneratePair = 100000.0;
// Camera-plane results need a focal above this.
constexpr double MinimumPlaneFocal = 50.0;

bool IsFittedState(int state) { return state > 2; }

// Yaw and pitch that carry the camera-plane point q exactly onto direction d at the picture's
// roll and focal; false when no pitch within a quarter turn reaches d's latitude.
//
// With (u, v) the unrolled plane point over the focal, the point's ray after a pitch p is
// (u, v cos p + sin p, cos p - v sin p) in (right, up, forward) before the yaw. Its height
// must be sin(lat) |(u, v, 1)|: v cos p + sin p = sqrt(v^2 + 1) sin(p + atan v) fixes p; the
// yaw then turns the ray's longitude onto d's.
bool SolveAim(const CKpic& k, CDPoint q, CDPoint d, CDPoint& aim)
{
    const double f = k.m_Focal;
    if (!(f > MinimumPlaneFocal))
        return false;
    const double cr = std::cos(k.m_Roll);
    const double sr = std::sin(k.m_Roll);
    const double u = (cr * q.x - sr * q.y) / f;
    const double v = (cr * q.y + sr * q.x) / f;
    const double ratio = std::sin(d.y) * std::sqrt(u * u + v * v + 1.0) / std::sqrt(v * v + 1.0);
    if (!(std::fabs(ratio) <= 1.0))
        return false;
    // Both solutions of sin(p + atan v) = ratio (an identity: the full-precision pi belongs
    // here), each also a turn lower; the one nearest the current pitch wins.
    const double base = std::asin(ratio);
    const double phi = std::atan(v);
    const double candidates[] = {base - phi, std::numbers::pi - base - phi, std::numbers::pi - base - phi - 2.0 * std::numbers::pi};
    bool found = false;
    double pitch = 0.0;
    for (double p : candidates) {
        if (!(std::fabs(p) < std::numbers::pi / 2.0))
            continue;
        if (!found || std::fabs(p - k.m_Direction.y) < std::fabs(pitch - k.m_Direction.y))
            pitch = p;
        found = true;
    }
    if (!found)
        return false;
    aim = {d.x - std::atan2(u, std::cos(pitch) - v * std::sin(pitch)), pitch};
    return true;
}

} // namespace

// ---- pixel <-> camera plane <-> sphere ----

CDPoint CKpic::PixelToPlane(CDPoint p) const
{
    return GetLensTable().Undistort(p - m_OpticalCentre, m_LensScale);
}

CDPoint CKpic::PlaneToPixel(CDPoint q) const
{
    return GetLensTable().Distort(q, m_LensScale) + m_OpticalCentre;
}

CPoint CKpic::PlaneToPixelPoint(CDPoint q) const
{
    return PlaneToPixel(q).ToPoint();
}

CDPoint CKpic::PlaneToSphere(CDPoint q) const
{
    const double f = m_Focal;
    if (!(f > MinimumPlaneFocal))
        return CDPoint(0.0, 0.0);
    const double cr = std::cos(m_Roll);
    const double sr = std::sin(m_Roll);
    const double pitch = m_Direction.y;
    const double t = std::tan(pitch);
    const double u = (cr * q.x - sr * q.y) / f;
    const double v = (cr * q.y + sr * q.x) / f;
    const double a = std::atan2(u, (1.0 - v * t) * std::cos(pitch));
    const double lat = NormalizeHalfTurn(std::atan2(std::cos(a) * (v + t), 1.0 - v * t));
    return {a + m_Direction.x, lat};
}

CDPoint CKpic::SphereToPlane(CDPoint d) const
{
    // An inverse projection's "no direction" has no place on any picture (InvalidDirection
    // would otherwise be read as the direction at longitude pi).
    if (IsMissingDirection(d))
        return InvalidPlanePoint;
    const double pitch = m_Direction.y;
    const double t = std::tan(d.y);
    const double c = std::cos(d.x - m_Direction.x);
    const double s = std::sin(d.x - m_Direction.x);
    const double den = std::cos(pitch) * c + t * std::sin(pitch);
    if (!(den > 0.0))
        return InvalidPlanePoint;
    const double v = (t * std::cos(pitch) - std::sin(pitch) * c) / den;
    const double u = s / den;
    const double cr = std::cos(m_Roll);
    const double sr = std::sin(m_Roll);
    return {(sr * v + cr * u) * m_Focal, (cr * v - sr * u) * m_Focal};
}

CDPoint CKpic::PixelToSphere(CDPoint p) const
{
    return PlaneToSphere(PixelToPlane(p));
}

CDPoint CKpic::PixelPointToSphere(int x, int y) const
{
    return PixelToSphere(CDPoint(x, y));
}

CDPoint CKpic::SphereToPixel(CDPoint d) const
{
    return PlaneToPixel(SphereToPlane(d));
}

CPoint CKpic::SphereToPixelPoint(CDPoint d) const
{
    return SphereToPixel(d).ToPoint();
}

double CKpic::GetOffAxisAngle(CDPoint q) const
{
    return std::atan2(std::hypot(q.x, q.y), m_Focal);
}

// ---- derived values of the control points ----

void CKpic::RefreshPlanePoint(int slot)
{
    if (slot < 0 || slot >= CONTROL_POINT_SLOTS)
        return;
    ControlPoint& cp = m_Points[static_cast<std::size_t>(slot)];
    cp.SetPlanePoint(PixelToPlane(cp.position), m_Focal);
}

void CKpic::RefreshControlPoint(int slot)
{
    if (slot < 0 || slot >= CONTROL_POINT_SLOTS)
        return;
    ControlPoint& cp = m_Points[static_cast<std::size_t>(slot)];
    cp.planePosition = PixelToPlane(cp.position);
}

void CKpic::UpdatePointSpherePositions()
{
    for (ControlPoint& cp : m_Points)
        if (cp.kind > 0)
            cp.planePosition = PixelToPlane(cp.position);
}

void CKpic::UpdatePointAngles()
{
    for (ControlPoint& cp : m_Points) {
        if (cp.kind > 0) {
            cp.offAxisAngle = GetOffAxisAngle(cp.planePosition);
            cp.directionAngle = PlaneDirectionAngle(cp.planePosition);
        }
    }
}

void CKpic::RefreshControlPoints()
{
    for (ControlPoint& cp : m_Points) {
        if (cp.kind == 0)
            break;
        cp.planePosition = PixelToPlane(cp.position);
        cp.offAxisAngle = GetOffAxisAngle(cp.planePosition);
        cp.directionAngle = PlaneDirectionAngle(cp.planePosition);
        cp.spherePosition = PlaneToSphere(cp.planePosition);
        cp.residual = cp.state != 0 ? SphericalDistance(cp.target, cp.spherePosition) : 1.0;
    }
}

void CKpic::ResetAutoPointStates()
{
    for (ControlPoint& cp : m_Points)
        if (cp.kind == 4 && cp.state >= -3)
            cp.state = 0;
}

// ---- estimates and measures ----

double CKpic::ClampFocal(double v) const
{
    const double d = m_DefaultFocal;
    const double f = m_Focal;
    if (FitMode >= 3) {
        if (0.9 * d < v && v < 1.15 * d)
            return v;
        if (0.9 * d < f && f < 1.15 * d)
            return f;
        return d;
    }
    if (FitMode == 2) {
        const double lo = m_MinFocal > 0.5 * d ? m_MinFocal : 0.5 * d;
        if (lo < v && v < 1.25 * d)
            return v;
        if (lo < f && f < 1.25 * d)
            return f;
        return d;
    }
    return v >= m_MinFocal ? v : f;
}

double CKpic::ComputePointError()
{
    const int n = CountControlPoints();
    if (n < 2)
        return Failed;
    double sum = 0.0;
    int pairs = 0;
    for (int i = 0; i < n; ++i) {
        const ControlPoint& a = m_Points[static_cast<std::size_t>(i)];
        if (a.kind == 0 || !IsFittedState(a.state))
            continue;
        for (int j = i + 1; j < n; ++j) {
            const ControlPoint& b = m_Points[static_cast<std::size_t>(j)];
            if (b.kind == 0 || !IsFittedState(b.state))
                continue;
            const double e = SphericalDistance(a.target, b.target) - LinearPointsAngle(a.planePosition, b.planePosition, m_Focal);
            sum += e * e;
            ++pairs;
        }
    }
    if (pairs == 0)
        return Failed;
    return std::sqrt(sum / pairs) * m_Focal;
}

double CKpic::EstimateFocalFromPointPair(int i, int j)
{
    if (i == j || i < 0 || j < 0 || i >= CONTROL_POINT_SLOTS || j >= CONTROL_POINT_SLOTS)
        return DegeneratePair;
    const ControlPoint& a = m_Points[static_cast<std::size_t>(i)];
    const ControlPoint& b = m_Points[static_cast<std::size_t>(j)];
    if (a.kind == 0 || b.kind == 0)
        return DegeneratePair;
    return SolveFocalFromAngle(SphericalDistance(a.target, b.target), a.planePosition, b.planePosition);
}

double CKpic::EstimateFocal()
{
    if (CountFittedPoints() < 2 || m_SearchMark < 0) {
        // A slot of state -5 stands at the optical centre: the angle from it to a fitted point
        // gives the focal directly.
        const int m = FindPointStateM5();
        const int k = FindFittedPoint();
        if (m < 0 || k < 0)
            return Failed;
        const ControlPoint& cm = m_Points[static_cast<std::size_t>(m)];
        const ControlPoint& ck = m_Points[static_cast<std::size_t>(k)];
        const double a = SphericalDistance(cm.target, ck.target);
        if (!(a > 0.0))
            return Failed;
        m_Focal = ClampFocal(std::hypot(ck.planePosition.x, ck.planePosition.y) / std::tan(a));
        return 0.0;
    }

    const int n = CountControlPoints();
    if (n < 2)
        return Failed;
    // Focal estimates of every fitted pair, in hundredths of a pixel, weighted by the pair's
    // distance on the camera plane. The weighted sums run in 64 bits: a thousand pairs of
    // estimates near 1e8 with weights near 1e6 overflow 32 bits.
    std::vector<uint64_t> values;
    std::vector<uint64_t> weights;
    for (int i = 0; i < n; ++i) {
        if (!IsFittedState(m_Points[static_cast<std::size_t>(i)].state))
            continue;
        for (int j = i + 1; j < n; ++j) {
            if (!IsFittedState(m_Points[static_cast<std::size_t>(j)].state))
                continue;
            // The solve's failure value lies inside the accepted range: it is no estimate.
            const double e = EstimateFocalFromPointPair(i, j);
            if (!(e > 100.0 && e < Failed) || e == FocalSolveFailed)
                continue;
            const CDPoint& pi = m_Points[static_cast<std::size_t>(i)].planePosition;
            const CDPoint& pj = m_Points[static_cast<std::size_t>(j)].planePosition;
            // Plane points lie within a picture (at most 65535 pixels a side), so a weight stays
            // below 1e7; the bound only keeps damaged positions from overflowing the sums.
            const double w = ClampDouble(DistanceD(pi.x, pi.y, pj.x, pj.y) * 100.0, 0.0, 1e7);
            values.push_back(static_cast<uint64_t>(e * 100.0));
            weights.push_back(static_cast<uint64_t>(w));
        }
    }
    if (values.empty())
        return Failed;

    uint64_t sum = 0;
    uint64_t weightSum = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        sum += values[i] * weights[i];
        weightSum += weights[i];
    }
    if (weightSum == 0)
        return Failed;
    const uint64_t mean = sum / weightSum;

    // Second pass: only the estimates within -30 % .. +30 % of the first mean.
    const auto hi = static_cast<uint64_t>(static_cast<double>(mean) * 1.3);
    const auto lo = static_cast<uint64_t>(static_cast<double>(mean) * 0.7);
    sum = 0;
    weightSum = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (lo < values[i] && values[i] < hi) {
            sum += values[i] * weights[i];
            weightSum += weights[i];
        }
    }
    if (weightSum == 0)
        return Failed;
    m_Focal = static_cast<double>(sum / weightSum) / 100.0;
    return ComputePointError();
}

int CKpic::EstimateFromPointPair(int i, int j)
{
    if (i < 0 || j < 0 || i >= CONTROL_POINT_SLOTS || j >= CONTROL_POINT_SLOTS)
        return 0;
    const ControlPoint& pi = m_Points[static_cast<std::size_t>(i)];
    const ControlPoint& pj = m_Points[static_cast<std::size_t>(j)];
    // A is the point farther from the optical axis.
    const ControlPoint& a = pi.offAxisAngle < pj.offAxisAngle ? pj : pi;
    const ControlPoint& b = pi.offAxisAngle < pj.offAxisAngle ? pi : pj;
    if (a.offAxisAngle == 0.0)
        return 0;

    // In the triangle optical axis - A - B on the sphere: the angle at A between the way to
    // the axis and the way to B.
    const double d = NormalizeAngle(b.directionAngle - a.directionAngle);
    const double c = SphericalCosineRule(a.offAxisAngle, b.offAxisAngle, d);
    double x = 0.0;
    if (d != 0.0 && d != EnginePi) {
        x = SphericalAngleFromSides(a.offAxisAngle, c, b.offAxisAngle);
        if (d < 0.0)
            x = -x;
    }
    const double bearing = NormalizeAngle(SignedBearingOnSphere(a.target, b.target) + x);
    const CDPoint centre = MoveOnSphere(a.target, bearing, a.offAxisAngle);
    m_Direction = centre;
    m_Roll = NormalizeAngle(BearingOnSphere(centre, a.target) - a.directionAngle);
    return 1;
}

void CKpic::AimPointAt(CDPoint pixel, CDPoint direction)
{
    const CDPoint q = PixelToPlane(pixel);
    const double a = GetOffAxisAngle(q);
    const double b = NormalizeAngle(PlaneDirectionAngle(q) + EnginePi + m_Roll);
    CDPoint s = direction;
    m_Direction = MoveOnSphere(s, b, a);
    // Two corrections by the remaining miss of the pixel's direction.
    for (int pass = 0; pass < 2; ++pass) {
        s += direction - PixelToSphere(pixel);
        m_Direction = MoveOnSphere(s, b, a);
    }
    // The corrections converge slowly at a steep pitch and not at all near a pole: when they
    // leave the pixel more than half a pixel off, aim it exactly.
    CDPoint exact;
    if (SphericalDistance(PixelToSphere(pixel), direction) * m_Focal > 0.5 && SolveAim(*this, q, direction, exact))
        m_Direction = exact;
}

void CKpic::UpdateOrientationFromAnchor()
{
    const int k = FindAnchorPoint();
    if (k < 0) {
        m_Direction = CDPoint(0.0, 0.0);
        return;
    }
    UpdatePointAngles();
    const ControlPoint& anchor = m_Points[static_cast<std::size_t>(k)];
    const double a = anchor.offAxisAngle;
    const double b = NormalizeAngle(anchor.directionAngle + EnginePi + m_Roll);
    // The anchor's target is the straight-ahead direction.
    const CDPoint target(0.0, 0.0);
    CDPoint s = target;
    m_Direction = MoveOnSphere(s, b, a);
    for (int pass = 0; pass < 2; ++pass) {
        RefreshControlPoints();
        s += target - m_Points[static_cast<std::size_t>(k)].spherePosition;
        m_Direction = MoveOnSphere(s, b, a);
    }
    // As for AimPointAt: a miss of more than half a pixel is aimed exactly.
    const CDPoint q = PixelToPlane(m_Points[static_cast<std::size_t>(k)].position);
    CDPoint exact;
    if (SphericalDistance(PlaneToSphere(q), target) * m_Focal > 0.5 && SolveAim(*this, q, target, exact))
        m_Direction = exact;
}

double CKpic::ComputeOrientationError()
{
    const int n = CountControlPoints();
    if (n < 1)
        return -1.0;
    if (m_Focal == 0.0)
        return Failed;
    double sum = 0.0;
    int counted = 0;
    for (int i = 0; i < n; ++i) {
        const ControlPoint& cp = m_Points[static_cast<std::size_t>(i)];
        if (cp.kind > 0 && IsFittedState(cp.state)) {
            sum += ApproxSphericalDistanceSq(cp.spherePosition, cp.target);
            ++counted;
        }
    }
    if (counted == 0)
        return Failed;
    double e = std::sqrt(sum / counted) * m_Focal;
    // Few points leave the orientation weakly determined.
    if (counted <= 2)
        e += 10.0;
    else if (counted == 3)
        e += 0.3;
    else if (counted == 4)
        e += 0.1;
    return e;
}

double CKpic::StepOrientation()
{
    const CDPoint startDirection = m_Direction;
    const double startRoll = m_Roll;
    SaveBestOrientation();

    // Steps of about a tenth of a pixel: the direction change per axis of the point a tenth of
    // a pixel right of and above the axis, and a tenth of a pixel at the picture's width for
    // the roll. The point is taken in the unrolled plane: the plane point (0.1, 0.1) itself
    // would lie on the latitude axis at a roll of 45 degrees (on the longitude axis at -45),
    // where the yaw (pitch) step collapses to nothing and the descent stalls.
    const double cosRoll = std::cos(m_Roll);
    const double sinRoll = std::sin(m_Roll);
    const CDPoint moved = PlaneToSphere(CDPoint(0.1 * cosRoll + 0.1 * sinRoll, 0.1 * cosRoll - 0.1 * sinRoll));
    const double sy = std::fabs(moved.x - startDirection.x);
    const double sp = std::fabs(moved.y - startDirection.y);
    const int width = Width() > 0 ? Width() : 1;
    const double sr = 0.1 / width;

    double best = ComputeOrientationError();
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dz = -1; dz <= 1; ++dz) {
                m_Direction = CDPoint(startDirection.x + sy * dx, startDirection.y + sp * dy);
                m_Roll = startRoll + sr * dz;
                RefreshControlPoints();
                const double e = ComputeOrientationError();
                if (e < best) {
                    best = e;
                    SaveBestOrientation();
                }
            }
        }
    }
    RestoreBestOrientation();
    return best;
}

double CKpic::OptimizeOrientation()
{
    double best = Failed;
    UpdatePointAngles();
    const int n = CountControlPoints();
    SaveBestOrientation();
    auto qualifies = [this](int i) {
        const ControlPoint& cp = m_Points[static_cast<std::size_t>(i)];
        if (cp.kind == 0 || cp.state == 0)
            return false;
        return m_SearchMark < 0 ? cp.state > 0 : cp.state > 2;
    };

    // Every pair of qualifying points gives a candidate orientation.
    int trials = 0;
    double last = Failed;
    for (int i = 0; i < n; ++i) {
        if (!qualifies(i))
            continue;
        for (int j = i + 1; j < n; ++j) {
            if (!qualifies(j))
                continue;
            if (EstimateFromPointPair(i, j) != 1)
                continue;
            RefreshControlPoints();
            last = ComputeOrientationError();
            ++trials;
            if (last < best) {
                best = last;
                SaveBestOrientation();
            }
        }
    }
    RestoreBestOrientation();

    if (trials < 3) {
        if (trials >= 1 && m_SearchMark < 0)
            return last;
        // A point at the optical centre (state -5) and a fitted point fix the orientation.
        const int m = FindPointStateM5();
        const int k = FindFittedPoint();
        if (m >= 0 && k >= 0) {
            const ControlPoint& cm = m_Points[static_cast<std::size_t>(m)];
            const ControlPoint& ck = m_Points[static_cast<std::size_t>(k)];
            m_Direction = cm.target;
            m_Roll = NormalizeAngle(BearingOnSphere(cm.target, ck.target) - ck.directionAngle);
            return 0.0;
        }
        m_Status = -1;
        return Failed;
    }
    if (n <= 2)
        return 1.0;

    // Local descent until a pass gains less than a fortieth of a pixel.
    for (int pass = 0; pass < 50; ++pass) {
        const double e = StepOrientation();
        if (std::fabs(e - best) < 0.1 / 4.0)
            break;
        if (e < best)
            best = e;
    }
    m_FitScore = best;
    return best;
}

void CKpic::RefinePlacement()
{
    ComputePointError();
    OptimizeOrientation();
    RefreshControlPoints();
}

int CKpic::RefineAndCheck()
{
    const double r = EstimateFocal();
    OptimizeOrientation();
    RefreshControlPoints();
    return r >= Failed / 2.0 ? -1 : 1;
}

double CKpic::ComputeFitMeasure(double referenceFocal)
{
    const int b = CountFittedPoints();
    if (b < 2 || !(referenceFocal > 0.0))
        return Failed;
    if (EngineModeFlag != 1 && b < 3)
        return Failed / 3.0;
    double m = m_FitScore * 5.0 / std::sqrt(static_cast<double>(b)) *
               (10.0 * std::fabs(std::log(m_Focal / referenceFocal)) + 1.0) * (2.0 * DeviationFromRightAngle(m_Roll) + 1.0);
    m *= CountControlPoints() / b;
    if (EngineModeFlag == 1 && b < 3)
        m *= 3.0;
    return m;
}

int CKpic::FindWorstPoint(int& count, double& residual)
{
    count = 0;
    residual = 0.0;
    int worst = -1;
    double worstSq = -1.0;
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        const ControlPoint& cp = m_Points[static_cast<std::size_t>(i)];
        if (cp.kind <= 0)
            break;
        if (cp.state != -1 && cp.state <= 1)
            continue;
        ++count;
        // A residual that is not a number is the worst of all: that point needs matching most.
        double sq = ApproxSphericalDistanceSq(cp.target, cp.spherePosition);
        if (std::isnan(sq))
            sq = std::numeric_limits<double>::infinity();
        if (sq > worstSq) {
            worstSq = sq;
            worst = i;
        }
    }
    if (worstSq >= 0.0) {
        const ControlPoint& cp = m_Points[static_cast<std::size_t>(worst)];
        residual = SphericalDistance(cp.target, cp.spherePosition);
    }
    return worst;
}

// ---- hit tests ----

bool CKpic::ContainsPoint(int x, int y, int margin) const
{
    CRect r = m_PictureRect;
    r.DeflateRect(margin, margin);
    return r.PtInRect(CPoint(x, y));
}

int CKpic::HitTestPointArea(CDPoint direction) const
{
    if (SphericalDistance(m_Direction, direction) > EnginePi / 3.0)
        return 0;
    return m_PictureRect.PtInRect(SphereToPixel(direction).ToPoint()) ? 1 : 0;
}

bool CKpic::CoversSpherePoint(CDPoint direction) const
{
    CRect r = m_PictureRect;
    r.DeflateRect(20, 20);
    return r.PtInRect(SphereToPixel(direction).ToPoint());
}

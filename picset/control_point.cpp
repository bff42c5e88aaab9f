// Control-point slot operations and the layout-cell packing of the project file.
#include "picset/control_point.h"

#include <cmath>

namespace {

// The engine's pi is 3.14159265 on purpose: every angle it stores was computed with it.
constexpr double kTwoPi = 2.0 * 3.14159265;

int SignedByte(int32_t v)
{
    const int b = v & 0xFF;
    return b >= 128 ? b - 256 : b;
}

} // namespace

void ControlPoint::SetPlanePoint(CDPoint plane, double focal)
{
    planePosition = plane;
    offAxisAngle = std::atan2(std::hypot(plane.x, plane.y), focal);
    double a = std::atan2(-plane.x, plane.y);
    if (a < 0.0)
        a += kTwoPi;
    directionAngle = a;
}

int32_t PackCell(CPoint cell)
{
    return ((cell.y & 0xFF) << 8) | (cell.x & 0xFF);
}

CPoint UnpackCell(int32_t value)
{
    if ((value & 0xFFFF) == PackCell(NO_LAYOUT_CELL))
        return NO_LAYOUT_CELL;
    return CPoint(SignedByte(value), SignedByte(value >> 8));
}

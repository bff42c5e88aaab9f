// Control-point slot operations and the layout-cell packing of the project file.
#include "picset/control_point.h"

#include "geometry/sphere.h"

namespace {

int SignedByte(int32_t v)
{
    const int b = v & 0xFF;
    return b >= 128 ? b - 256 : b;
}

} // namespace

void ControlPoint::SetPlanePoint(CDPoint plane, double focal)
{
    planePosition = plane;
    offAxisAngle = OffAxisAngle(plane, focal);
    directionAngle = PlaneDirectionAngle(plane);
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

// One slot of a picture's control-point table, and the packing of a layout cell into the
// two signed bytes the project file keeps.
#pragma once

#include <cstdint>

#include "common/basic_types.h"
#include "common/value_types.h"

// Point id of the placement anchor: the slot that ties a picture to a chosen position.
constexpr int32_t PLACEMENT_ANCHOR_ID = 21327;

// Number of control-point slots of every picture.
constexpr int CONTROL_POINT_SLOTS = 50;

// A slot is used while its kind is 1 or more. Kinds: 0 free; 1 set by the user or by
// placement (the anchor included); 3, 4 and 5 made by automatic steps.
// States: 0 open (no partner); 1 and 2 intermediate states of the pairing; 3 and above
// linked to a partner in a fitted picture; -1 rejected by matching; -4 placement anchor;
// -5 direction point; -6 row-closing point.
struct ControlPoint {
    int32_t kind = 0;
    int32_t state = 0;
    CDPoint position;           // picture pixels
    CDPoint planePosition;      // camera plane: optical centre and lens distortion removed
    int32_t pointId = 0;        // two slots in two pictures with the same id form a link
    CDPoint target;             // (longitude, latitude) where the point should lie
    double offAxisAngle = 0.0;  // angle between the point's direction and the optical axis
    double directionAngle = 0.0; // atan2(-x, y) of the plane position, in [0, 2 pi)
    CDPoint spherePosition;     // the point's own direction (longitude, latitude)
    double residual = 1.0;      // great-circle angle between sphere position and target

    bool IsUsed() const { return kind >= 1; }
    // A freed slot keeps its other fields; they mean nothing until the slot is used again.
    void Free()
    {
        kind = 0;
        state = 0;
    }
    // Stores the plane position and derives the off-axis and direction angles from it.
    void SetPlanePoint(CDPoint plane, double focal);
};

// The layout cell of a picture that lies in no cell of the work-space grid.
constexpr CPoint NO_LAYOUT_CELL(300000, 300000);

// (row & 0xFF) << 8 | (column & 0xFF). Values outside -128..127 wrap to one byte, except the
// no-cell value, which is kept as the byte pair UnpackCell turns back into it.
int32_t PackCell(CPoint cell);
// Column = low byte, row = next byte, each read as a signed byte. The byte pair of the
// no-cell value gives the no-cell value back.
CPoint UnpackCell(int32_t value);

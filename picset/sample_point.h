// One cell of a picture's 32 x 32 feature grid: where the cell's centre lies and how strong
// and how much wanted a feature there is.
#pragma once

#include <cstdint>

#include "common/basic_types.h"

struct SamplePoint {
    CPoint centre;                    // cell centre in picture pixels
    int32_t Strength = 0;             // feature strength; 0 not evaluated or outside
    int32_t Weight = 0;               // 0, 110 or 128, lowered near control points
    COLORREF CentreColour = 0xFFFFFF; // mean of the central 8 x 8 block
    COLORREF PatchColour = 0xFFFFFF;  // mean of the whole 24 x 24 patch
    CPoint extraPoint;
    int32_t extraValue = 0;
};

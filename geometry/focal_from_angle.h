// The focal length at which two camera-plane points of a linear picture are a given angle apart.
#pragma once

#include "common/value_types.h"

// Failure value of SolveFocalFromAngle.
inline constexpr double FocalSolveFailed = 100000.0;

// theta in radians; p1, p2 relative to the optical centre with lens distortion removed.
// Returns a focal of at least 100 whose angle error is below 0.01, or FocalSolveFailed.
double SolveFocalFromAngle(double theta, CDPoint p1, CDPoint p2);

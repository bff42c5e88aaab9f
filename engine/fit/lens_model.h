// Rebuilding the process-wide lens table from the set's distortion and radius parameter.
#pragma once

// The table for distortion k alone: a build from no distortion with index radius `radius`
// (0 or less keeps the index scale).
void RebuildLensTable(double k, double radius);

// Small decision rules of the refinement passes that turn a matched picture into a fitted one,
// kept apart so that their thresholds can be checked on their own.
#pragma once

// A refinement pass made the fit worse when the fit score grew beyond one and a half times
// what it was, or by more than two pixels: either is enough for the pass's new point to go.
inline bool PassWorsenedFit(double before, double after)
{
    return after > before * 1.5 || after > before + 2.0;
}

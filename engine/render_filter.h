// The two filter kernels of the renderer, tabulated by the render set-up: a windowed sinc over
// [0, 2) with its outer lobe at half weight, and the edge weight that falls from 1 at 0.35 to 0
// at 0.65 with a raised cosine.
#pragma once

#include "common/value_types.h"

double SincKernel(double x);
double EdgeWeight(double x);

// The filter of one 16 x 16 block, chosen from the local magnification m (output pixels per
// picture pixel) and the output displacements u1, u2 of one picture pixel step in x and y:
// kind 0 the sinc table in picture pixels, kind 1 the sinc table in output pixels, kind 2 the
// edge-weight table and kind 3 a narrow raised cosine, both in output pixels. Taps further
// than the reach are left out; the kernel runs over offsets 1 - halfWidth .. halfWidth.
struct CBlockFilter {
    int kind = 0;
    double reach = 1.0;
    int halfWidth = 1;
    CDPoint u1;
    CDPoint u2;
};
CBlockFilter ChooseBlockFilter(double m, CDPoint u1, CDPoint u2);

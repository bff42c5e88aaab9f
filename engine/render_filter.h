// The two filter kernels of the renderer, tabulated by the render set-up: a windowed sinc over
// [0, 2) with its outer lobe at half weight, and the edge weight that falls from 1 at 0.35 to 0
// at 0.65 with a raised cosine.
#pragma once

double SincKernel(double x);
double EdgeWeight(double x);

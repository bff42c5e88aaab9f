// Working state of one band of the renderer, and the driver that renders the bands of an image
// on several cores and hands them to the caller in the order it needs them.
//
// A band is 16 output rows; its accumulator cell (row - first row) * W + column holds the
// weighted colour sum of that output pixel, and one flag per 16-pixel block column records
// whether every pixel of the block is complete (3) or not (1). A band depends only on its
// number and on the set-up of the picture set, so bands rendered in parallel give exactly the
// bytes of a serial render.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/value_types.h"

class CMcCore;
class CPixelArray;

// Output rows per band.
constexpr int kRenderBandRows = 16;
// Number of entries of each filter table.
constexpr int kRenderFilterTableSize = 200;

struct CRenderScratch {
    std::vector<CRgbSum> cells;
    std::vector<int32_t> blockFlags;
};

// Renders every band of order (band numbers) with up to threads workers (0: one per core) and
// calls sink(band, pixels) for each finished band, in the order given, on the calling thread.
// The picture set must be set up (SetupRender) first. Before the first band every fitted
// picture's image is made available and the overlap mode of a speed render is fixed, on the
// calling thread; between deliveries the calling thread polls the break.
// Bands in flight: two per worker, each 16 rows of the set-up width.
// Result: 1 when every band was delivered; -1 when the set-up is missing, a picture could not
// be loaded (its path is in m_RenderFailedPath and the host was told), the job was broken or
// sink answered a negative value; -5 when memory ran out.
int RenderBandsInOrder(CMcCore& core, const std::vector<int>& order, int threads,
                       const std::function<int(int band, const CPixelArray& pixels)>& sink);

// The sampling walk of the offset scans: every stride-th cell of a rectangle of cells, counted
// from its top-left cell down each column in turn (columns outermost), in that order.
#pragma once

#include <cstdint>

#include "common/basic_types.h"

// Calls visit(column, row) for the cells numbered 0, stride, 2 * stride, ... of `cells`, where
// a cell's number is (column - left) * height + (row - top). An empty rectangle, or a stride
// below 1, visits nothing.
template <class Visit>
void ForEachStridedCell(const CRect& cells, int stride, Visit&& visit)
{
    const int64_t width = cells.Width(), height = cells.Height();
    if (width <= 0 || height <= 0 || stride < 1)
        return;
    const int64_t total = width * height;
    for (int64_t n = 0; n < total; n += stride)
        visit(cells.left + static_cast<int>(n / height), cells.top + static_cast<int>(n % height));
}

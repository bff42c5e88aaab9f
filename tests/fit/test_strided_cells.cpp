// The offset scans sum their samples in the order they visit the cells, so stepping by the
// stride must visit exactly the cells, in exactly the order, that walking every cell and
// keeping each stride-th one did; otherwise the scores change in their last bits. The walk
// that visits every cell is kept here as the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/fit/strided_cells.h"

namespace {

std::vector<CPoint> EveryCellWalk(const CRect& cells, int stride)
{
    std::vector<CPoint> out;
    int index = 0;
    for (int i = cells.left; i < cells.right; ++i)
        for (int j = cells.top; j < cells.bottom; ++j, ++index)
            if (index % stride == 0)
                out.push_back(CPoint(i, j));
    return out;
}

std::vector<CPoint> StridedWalk(const CRect& cells, int stride)
{
    std::vector<CPoint> out;
    ForEachStridedCell(cells, stride, [&](int i, int j) { out.push_back(CPoint(i, j)); });
    return out;
}

void ExpectSameWalk(const CRect& cells, int stride)
{
    SCOPED_TRACE(testing::Message() << "cells (" << cells.left << "," << cells.top << ")-(" << cells.right << ","
                                    << cells.bottom << ") stride " << stride);
    const std::vector<CPoint> want = EveryCellWalk(cells, stride);
    const std::vector<CPoint> got = StridedWalk(cells, stride);
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
        ASSERT_EQ(got[k].x, want[k].x) << "sample " << k;
        ASSERT_EQ(got[k].y, want[k].y) << "sample " << k;
    }
}

TEST(StridedCells, EdgeShapesVisitWhatTheEveryCellWalkKept)
{
    const struct {
        CRect cells;
        int stride;
    } cases[] = {
        {CRect(0, 0, 1, 1), 1},        {CRect(0, 0, 1, 1), 1000},     {CRect(3, 4, 4, 900), 7},
        {CRect(3, 4, 900, 5), 7},      {CRect(0, 0, 10, 10), 10},     {CRect(0, 0, 10, 10), 11},
        {CRect(0, 0, 10, 10), 99},     {CRect(0, 0, 10, 10), 100},    {CRect(0, 0, 10, 10), 101},
        {CRect(-5, -7, 5, 3), 3},      {CRect(5, 5, 5, 9), 1},        {CRect(5, 5, 9, 5), 1},
        {CRect(5, 5, 2, 9), 1},        {CRect(5, 5, 9, 2), 2},        {CRect(0, 0, 1500, 1125), 1000},
        {CRect(0, 0, 1125, 1500), 999}, {CRect(12, 30, 375, 281), 1},
    };
    for (const auto& c : cases)
        ExpectSameWalk(c.cells, c.stride);
}

// Overlaps and strides as the scans make them: quarter-size cells of pictures up to 6000 x 4500
// with the fine scan's divisors, and sixteenth-size cells with the coarse scan's 80 samples.
TEST(StridedCells, ScanShapedOverlapsVisitWhatTheEveryCellWalkKept)
{
    std::mt19937 random(20261211);
    for (int trial = 0; trial < 400; ++trial) {
        const int level = trial % 2 == 0 ? 4 : 16;
        const int w = std::uniform_int_distribution<int>(200, 6000)(random) / level;
        const int h = std::uniform_int_distribution<int>(150, 4500)(random) / level;
        const int left = std::uniform_int_distribution<int>(0, w - 1)(random);
        const int top = std::uniform_int_distribution<int>(0, h - 1)(random);
        const CRect overlap(left, top, std::uniform_int_distribution<int>(left + 1, w)(random),
                            std::uniform_int_distribution<int>(top + 1, h)(random));
        const int cells = overlap.Width() * overlap.Height();
        const int divisor = level == 4 ? (trial % 4 == 0 ? 400 : 235) : 80;
        ExpectSameWalk(overlap, std::clamp(cells / divisor, 1, 1000));
    }
}

} // namespace

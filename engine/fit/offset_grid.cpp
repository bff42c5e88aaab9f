// The offset grids of control-point matching and the five operations on them.
#include "engine/fit/offset_grid.h"

#include <algorithm>
#include <cstring>

#include "picset/mccore.h"

namespace {

COffsetGrids g_Grids;

// Fewer valid pixel pairs than this leave an offset without a score.
constexpr int MinimumPairs = 1500;
// The start value of a window search: any real score is below it, InvalidScore too.
constexpr int32_t WindowStartScore = 1000000;
// The sample cells compared with the reference: 40 x 40 of the 41 x 41.
constexpr int SampleCells = 40;

bool IsScorable(int dx, int dy) { return dx >= -19 && dx <= 18 && dy >= -19 && dy <= 18; }

// Largest and smallest channel value over cells [from..to] of a grid, column by column; a range
// that reaches both ends (above 239 and at most 16) after a column is taken as 0..255 at once.
template <int N>
void ChannelRange(const CRgbSum (&grid)[N][N], int from, int to, int& hi, int& lo)
{
    hi = 0;
    lo = 255;
    for (int j = from; j <= to; ++j) {
        for (int k = from; k <= to; ++k) {
            const CRgbSum& c = grid[j][k];
            hi = std::max({hi, c.r, c.g, c.b});
            lo = std::min({lo, c.r, c.g, c.b});
        }
        if (hi > 239 && lo <= 16) {
            hi = 255;
            lo = 0;
            return;
        }
    }
}

} // namespace

COffsetGrids& GetOffsetGrids() { return g_Grids; }

void ResetOffsetGrids() { g_Grids = COffsetGrids{}; }

void MatchGridContrast()
{
    int maxS = 0, minS = 255, maxR = 0, minR = 255;
    ChannelRange(g_Grids.sample, 0, SampleCells - 1, maxS, minS);
    ChannelRange(g_Grids.reference, 20, 58, maxR, minR);
    const int limit = EngineModeFlag == 1 ? 20 : 10;
    if (std::abs(maxS - maxR) < limit && std::abs(minS - minR) < limit)
        return;
    if (maxS - minS < limit || maxR - minR < limit || maxR - minR < 64)
        return;
    const int spanS = maxS - minS;
    const int spanR = maxR - minR;
    auto stretch = [&](int v) { return std::clamp((v - minS) * spanR / spanS + minR, 0, 255); };
    for (int j = 0; j < SampleCells; ++j) {
        for (int k = 0; k < SampleCells; ++k) {
            CRgbSum& c = g_Grids.sample[j][k];
            c.r = stretch(c.r);
            c.g = stretch(c.g);
            c.b = stretch(c.b);
        }
    }
}

void ResetOffsetGrid()
{
    std::memset(g_Grids.flags, 0, sizeof g_Grids.flags);
    std::memset(g_Grids.scores, 0, sizeof g_Grids.scores);
}

void ScoreGridOffset(int dx, int dy)
{
    const int cx = dx + GridOrigin;
    const int cy = dy + GridOrigin;
    // The walks of the matcher can step past the grid's edge: such an offset has no cell, so
    // it is neither scored nor stored.
    if (cx < 0 || cx >= OffsetGridSide || cy < 0 || cy >= OffsetGridSide)
        return;
    if (g_Grids.flags[cx][cy] != OffsetNotScored)
        return;
    int32_t score = InvalidScore;
    if (IsScorable(dx, dy)) {
        int64_t sum = 0;
        int pairs = 0;
        for (int j = 0; j < SampleCells; ++j) {
            const CRgbSum* column = g_Grids.sample[j];
            const CRgbSum* shifted = g_Grids.reference[j + cx] + cy;
            for (int k = 0; k < SampleCells; ++k) {
                const CRgbSum& p = column[k];
                const CRgbSum& q = shifted[k];
                if (IsBlankCell(p) || IsBlankCell(q))
                    continue;
                const int64_t r = p.r - q.r;
                const int64_t g = p.g - q.g;
                const int64_t b = p.b - q.b;
                sum += r * r + g * g + b * b;
                ++pairs;
            }
        }
        if (pairs >= MinimumPairs)
            score = static_cast<int32_t>(sum / pairs);
    }
    g_Grids.scores[cx][cy] = score;
    g_Grids.flags[cx][cy] = OffsetScored;
}

CPoint FindBestOffsetInWindow(int x, int y, int r)
{
    const int x0 = std::max(x + GridOrigin - r, 0);
    const int x1 = std::min(x + GridOrigin + r, SampleCells - 1);
    const int y0 = std::max(y + GridOrigin - r, 0);
    const int y1 = std::min(y + GridOrigin + r, SampleCells - 1);
    int32_t best = WindowStartScore;
    CPoint bestCell(GridOrigin, GridOrigin);
    for (int j = x0; j <= x1; ++j) {
        for (int k = y0; k <= y1; ++k) {
            if (g_Grids.flags[j][k] <= 0)
                continue;
            if (g_Grids.scores[j][k] < best) {
                best = g_Grids.scores[j][k];
                bestCell = CPoint(j, k);
            } else {
                g_Grids.flags[j][k] = OffsetBeaten;
            }
        }
    }
    return bestCell - CPoint(GridOrigin, GridOrigin);
}

int HasValidNeighbourScores(int dx, int dy)
{
    if (dx < -18 || dx > 17 || dy < -18 || dy > 17)
        return -4;
    static constexpr int Neighbours[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    for (const auto& n : Neighbours)
        if (g_Grids.scores[dx + n[0] + GridOrigin][dy + n[1] + GridOrigin] >= InvalidScore)
            return -1;
    return 1;
}

int32_t ScoreRiseAround(int dx, int dy, int reach)
{
    if (!IsScorable(dx, dy))
        return InvalidScore;
    ScoreGridOffset(dx, dy);
    const int32_t centre = g_Grids.scores[dx + GridOrigin][dy + GridOrigin];
    int32_t rise = InvalidScore;
    const CPoint around[4] = {{dx - reach, dy}, {dx + reach, dy}, {dx, dy - reach}, {dx, dy + reach}};
    for (const CPoint& o : around) {
        if (!IsScorable(o.x, o.y))
            continue;
        ScoreGridOffset(o.x, o.y);
        const int32_t s = g_Grids.scores[o.x + GridOrigin][o.y + GridOrigin];
        if (s < InvalidScore)
            rise = std::min(rise, s - centre);
    }
    return rise;
}

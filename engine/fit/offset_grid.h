// The offset grids of control-point matching: the colour neighbourhood of a point in one picture
// (the sample), the wider neighbourhood of its estimate in the partner picture (the reference),
// and the per-offset flags and scores of one search. Also the contrast matching of the two
// neighbourhoods, scoring an offset, the best scored offset in a window and the local-minimum
// test. Filling the neighbourhoods and walking the offsets is the control-point matcher's job.
//
// Every grid is indexed [column][row]. An offset (dx, dy) is in grid steps: sample cell
// [dx + 20][dy + 20] (dx, dy in -20..19), reference cell [dx + 40][dy + 40] (-40..39), flag and
// score cell [dx + 20][dy + 20]. A cell whose r, g and b are all 255 is blank: no pixel there.
#pragma once

#include <cstdint>

#include "common/basic_types.h"
#include "common/value_types.h"

inline constexpr int SampleGridSide = 41;
inline constexpr int ReferenceGridSide = 80;
inline constexpr int OffsetGridSide = 41;
// The cell of offset (0, 0) in the sample, flag and score grids, and of the reference grid.
inline constexpr int GridOrigin = 20;
inline constexpr int ReferenceOrigin = 40;
// The score of an offset that cannot be compared (too few pixel pairs, or outside the range).
inline constexpr int32_t InvalidScore = 100000000;

// Flags of an offset: not scored yet, scored, and examined by a window search and found worse
// than that window's best (never a winner again).
inline constexpr int32_t OffsetNotScored = 0;
inline constexpr int32_t OffsetScored = 1;
inline constexpr int32_t OffsetBeaten = -3;

// The grids of one search. There is one set for the whole program; a search uses it from its
// fill to its last query without interruption, and the feature measure borrows the sample grid
// between searches.
struct COffsetGrids {
    CRgbSum sample[SampleGridSide][SampleGridSide];
    CRgbSum reference[ReferenceGridSide][ReferenceGridSide];
    int32_t flags[OffsetGridSide][OffsetGridSide];
    int32_t scores[OffsetGridSide][OffsetGridSide];
};

COffsetGrids& GetOffsetGrids();
// Empties every grid (all cells zero), as at program start.
void ResetOffsetGrids();

// Whether a cell marks a position outside the picture.
inline bool IsBlankCell(const CRgbSum& c) { return c.r == 255 && c.g == 255 && c.b == 255; }

// Stretches the sample's brightness range onto the reference's when the two differ noticeably
// (by 20 levels with the engine mode flag set, else 10) and the reference spans at least 64.
void MatchGridContrast();
// Clears every flag and score: a new search starts.
void ResetOffsetGrid();
// Scores offset (dx, dy) once per search: the mean squared colour difference of the sample and
// the shifted reference over the pairs where neither is blank, InvalidScore with 1499 pairs or
// fewer and outside -19..18. An offset whose cell lies outside the flag grid is not stored.
void ScoreGridOffset(int dx, int dy);
// The best scored offset in the window of radius r around offset (x, y), clipped to the grid;
// the scored losers are marked beaten. (0, 0) when no cell in the window was scored.
CPoint FindBestOffsetInWindow(int x, int y, int r);
// -4 when (dx, dy) lies outside -18..17, -1 when one of its eight neighbours scored InvalidScore
// or worse, 1 otherwise (unscored neighbours pass).
int HasValidNeighbourScores(int dx, int dy);
// How much the scores rise from offset (dx, dy) to the four offsets reach steps away along the
// axes (scored now when they were not), at the least; InvalidScore when none of them can be
// compared. A minimum that rises this little is no minimum: there is no texture to match.
int32_t ScoreRiseAround(int dx, int dy, int reach);

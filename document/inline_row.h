// Where the inline tilings lay the pieces of one row on the work-space grid: the middle piece
// (counted in list order from 0) in the row's own column, the pieces after it one column each
// to its right and those before it to its left.
#pragma once

// The middle piece of a row of count pieces: the one before the centre when count is even.
inline int InlineRowMiddle(int count) { return (count - 1) / 2; }

// The column of the piece at index of a row whose middle piece lies in column origin.
inline int InlineRowColumn(int index, int middle, int origin) { return origin + index - middle; }

// The main window's column and row arithmetic: the widths of the image finder, the work view
// and the manager pane, and the heights of the finder's two rows. Pure functions over the
// frame's remembered widths, so the rules can be checked without a window.
#pragma once

#include <optional>

// The left column's first width and the picture information pane's height: wide and tall
// enough for a photo's thumbnail with its information lines under it.
constexpr int kFinderColumnWidth = 240;
constexpr int kInfoPaneHeight = 270;

struct PaneWidthMemory {
    int finderWidth = kFinderColumnWidth; // column 0 when no width is given
    int managerWidth = -2;         // column 2 when no width is given; below 0: not yet set
    int managerRestoreWidth = 200; // column 2 when the manager pane is shown again
};

struct PaneWidths {
    int finder = 0;  // 0: keep column 0 as it is
    int middle = 0;
    int manager = 0;
    bool setFinder = true;
};

// Widths for a request (finder width: >= 1 that width, 0 keep the present one, < 0 the
// remembered one; manager width: >= 2 that width, 0 or 1 collapse, < 0 the remembered one)
// in a frame whose client area is `clientWidth` wide; the memory is updated as the request
// says. Nothing when the manager width is not known yet or the client area has no width.
std::optional<PaneWidths> ComputePaneWidths(PaneWidthMemory& memory, int finder, int manager, int clientWidth,
                                            int presentFinderWidth);

// Manager width for a show/hide request: a width below 0 toggles (a column of 10 pixels or
// less comes back at the restore width, any other collapses to 1).
int ManagerToggleWidth(const PaneWidthMemory& memory, int requested, int presentManagerWidth);

// Heights of the finder (row 0) and of the picture information pane (row 1) in a column of
// height h.
struct FinderRows {
    int finder;
    int info;
};
FinderRows ComputeFinderRows(int h);

// `value` raised to `low`, then lowered to `high`.
int ClampInt(int value, int low, int high);

// Column and row rules of the main window.
#include "shell/pane_layout.h"

int ClampInt(int value, int low, int high)
{
    if (value < low)
        value = low;
    if (value > high)
        value = high;
    return value;
}

std::optional<PaneWidths> ComputePaneWidths(PaneWidthMemory& memory, int finder, int manager, int clientWidth,
                                            int presentFinderWidth)
{
    if ((manager < 0 && memory.managerWidth < 0) || clientWidth <= 0)
        return std::nullopt;
    PaneWidths out;
    if (finder >= 1) {
        out.finder = finder;
        memory.finderWidth = finder;
    } else if (finder < 0) {
        out.finder = memory.finderWidth;
    } else {
        out.finder = presentFinderWidth;
        out.setFinder = false;
    }
    if (manager >= 2) {
        out.manager = manager;
        memory.managerWidth = manager;
    } else if (manager < 0) {
        out.manager = memory.managerWidth;
    } else {
        out.manager = 1;
        memory.managerRestoreWidth = ClampInt(memory.managerWidth, 100, 4000);
        memory.managerWidth = 1;
    }
    out.middle = ClampInt(clientWidth - out.finder - out.manager - 18, 100, 4000);
    return out;
}

int ManagerToggleWidth(const PaneWidthMemory& memory, int requested, int presentManagerWidth)
{
    if (requested >= 0)
        return requested;
    return presentManagerWidth <= 10 ? memory.managerRestoreWidth : 1;
}

FinderRows ComputeFinderRows(int h) { return {ClampInt(h - kInfoPaneHeight - 28, 100, 4000), kInfoPaneHeight}; }

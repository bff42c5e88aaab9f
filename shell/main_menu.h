// The main menu as a table: one row per item with its depth (0 the menu bar's titles),
// its text (the part after a tab is the accelerator) and its command id (0 for a submenu
// title, -1 for a separator).
#pragma once

#include <vector>

struct MenuRow {
    int depth;
    const char* text;
    int id;
};

const std::vector<MenuRow>& MainMenuRows();

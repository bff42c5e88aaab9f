// Command ids of the main window's menus and bars that the frame and the application handle,
// and the framework's own ids.
#pragma once

enum ShellCommand : int {
    // Frame.
    ID_VIEW_REFRESH_FINDER = 32774,
    ID_FINDER_SIZE = 1042,
    ID_FINDER_ICON_LARGE = 32771,
    ID_FINDER_ICON_MIDDLE = 32772,
    ID_FINDER_ICON_SMALL = 32773,
    ID_VIEW_EXPAND_WORK_SPACE = 32845,
    ID_VIEW_NORMALIZE_WORK_SPACE = 32846,
    ID_VIEW_MANAGER_WINDOW = 32841,
    ID_VIEW_IMAGE_FINDER = 32847,
    ID_VIEW_BARS_ALL = 32783,
    ID_VIEW_BAR_FINDER = 32785,
    ID_VIEW_BAR_PIECES = 32786,
    ID_VIEW_BAR_IMAGE = 32787,
    ID_VIEW_BAR_RENDERING = 32811,
    ID_LENS_DISTORTION_PATTERN = 32863,
    // Application.
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_GUIDE_COMPACT = 32819,
    ID_GUIDE_MANUAL = 32843,
    ID_FILE_NEW_PROJECT = 57600,
    ID_FILE_OPEN_PROJECT = 57601,
    ID_FILE_SAVE_PROJECT = 57603,
    ID_FILE_SAVE_PROJECT_AS = 57604,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_MRU_FIRST = 57616,
    ID_FILE_MRU_LAST = 57619,
};

// Window ids of the bars and the status bar.
enum ShellWindowId : int {
    BAR_PIECES = 176,
    BAR_FINDER = 211,
    BAR_IMAGE = 212,
    BAR_RENDERING = 217,
    STATUS_BAR = 59393,
};

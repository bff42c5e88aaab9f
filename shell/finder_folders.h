// What the image finder lists, without its window: the top level (the home folder, "/" and the
// mounted removable and optical media), the images, projects and sub-folders of one folder,
// the test whether a folder holds anything to show, and the small icon drawn from a picture's
// 160 x 120 thumbnail. Paths are POSIX paths; names beginning with "." are hidden.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/basic_types.h"

namespace finder {

// Icon resource ids of the tree's items.
enum Icon : int {
    ICON_PROJECT = 128,
    ICON_OPTICAL = 130,
    ICON_FOLDER = 134,
    ICON_DRIVE = 135,
    ICON_ROOT = 136,
    ICON_FOLDER_OPEN = 137,
    ICON_IMAGE = 138,
    ICON_REMOVABLE = 140,
    ICON_UNUSABLE = 148,
};

// Most entries read from one folder.
constexpr int kMaxEntries = 10000;

struct Drive {
    std::string path;  // absolute; shown as it stands
    int icon = ICON_DRIVE;
};
// The top level: the home folder, "/", then each mounted removable (under /media, /run/media or
// /mnt) or optical medium, in the order of the mount table. `mounts` is the text of a mount
// table (/proc/self/mounts when empty).
std::vector<Drive> ListDrives(const std::string& home, const std::string& mounts = {});

struct Listed {
    std::string name;
    int icon = 0;
    // An image whose thumbnail is still to be drawn (its item text ends with a blank).
    bool pending = false;
};

// Limits of the folder content test during one fill: levels below the folder listed, and a
// time after which every folder still undecided counts as holding content.
struct ContentBudget {
    int maxDepth = 4;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    // Folders the test opened.
    int folders = 0;
};

// The items of a folder in the order the tree shows them: the images sorted by name (usable
// BMPs and other images pending, unusable BMPs with icon 148), then the project files, then the
// sub-folders that hold content. Names within a pass come in name order.
std::vector<Listed> ListFolder(const std::string& folder, ContentBudget& budget);

// Whether a folder holds an image (a BMP only when usable), a project or a sub-folder that
// does. Symbolic links to folders are not followed, pseudo file systems (proc, sysfs, devtmpfs
// and kin) hold nothing, and a folder below the depth limit or past the deadline counts as
// holding content (it keeps its expand button; the user's expansion decides).
bool FolderHoldsContent(const std::string& folder, ContentBudget& budget, int depth = 0);

// A usable BMP is at least 2 pixels wide.
bool IsUsableImage(const std::string& path);

// "folder" + "/" + "name", with one separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// The picture's size fitted into 160 x 120 with its aspect kept.
CSize FitThumbnail(CSize picture);
// An s x s icon from a picture of the given size and its 160 x 120 thumbnail (row-major
// COLORREF): the fitted picture fills the icon's longer side, centred; icon pixels outside the
// picture are RGB(240, 240, 240). Row-major, s * s values.
std::vector<COLORREF> DrawThumbIcon(const COLORREF* thumb, CSize picture, int s);

// The icon pixels' transparent colour.
constexpr COLORREF kIconMask = RGB(122, 129, 136);
constexpr COLORREF kIconBackground = RGB(240, 240, 240);

} // namespace finder

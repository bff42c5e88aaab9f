// The program's cursors and icons by resource id, loaded once into process-wide handles that
// the views use. The window layer supplies the loader (files in res/ looked up by id); without
// one every handle stays 0 (none).
#pragma once

#include <array>

namespace platform {

class IResourceLoader {
public:
    virtual ~IResourceLoader() = default;
    // A handle above 0 for the icon or cursor of that id; 0 when there is none.
    virtual int LoadIcon(int id) = 0;
    virtual int LoadCursor(int id) = 0;
};

// Installs the loader (not owned); nullptr removes it.
void SetResourceLoader(IResourceLoader* loader);

// The ids loaded by LoadCursorsAndIcons.
constexpr std::array<int, 8> kIconIds = {233, 234, 235, 236, 237, 238, 257, 278};
constexpr std::array<int, 14> kCursorIds = {159, 239, 240, 241, 242, 243, 244, 245, 246, 247, 248, 259, 331, 332};

// Handle of a loaded icon or cursor; 0 when it was not loaded or the id is not one of the lists.
int IconHandle(int id);
int CursorHandle(int id);
// Forgets the handles, so that the next LoadCursorsAndIcons loads again (a test's fresh start).
void ResetCursorsAndIcons();

} // namespace platform

// Loads the icons and cursors of the lists once; later calls do nothing.
void LoadCursorsAndIcons();

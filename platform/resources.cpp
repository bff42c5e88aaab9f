// The process-wide icon and cursor handles.
#include "platform/resources.h"

#include <cstddef>

namespace platform {
namespace {

IResourceLoader* g_loader = nullptr;
bool g_loaded = false;
std::array<int, kIconIds.size()> g_icons{};
std::array<int, kCursorIds.size()> g_cursors{};

template <std::size_t N>
int Find(const std::array<int, N>& ids, const std::array<int, N>& handles, int id)
{
    for (std::size_t i = 0; i < N; ++i)
        if (ids[i] == id)
            return handles[i];
    return 0;
}

} // namespace

void SetResourceLoader(IResourceLoader* loader) { g_loader = loader; }
int IconHandle(int id) { return Find(kIconIds, g_icons, id); }
int CursorHandle(int id) { return Find(kCursorIds, g_cursors, id); }

void ResetCursorsAndIcons()
{
    g_loaded = false;
    g_icons.fill(0);
    g_cursors.fill(0);
}

} // namespace platform

void LoadCursorsAndIcons()
{
    using namespace platform;
    if (g_loaded)
        return;
    g_loaded = true;
    if (!g_loader)
        return;
    for (std::size_t i = 0; i < kIconIds.size(); ++i)
        g_icons[i] = g_loader->LoadIcon(kIconIds[i]);
    for (std::size_t i = 0; i < kCursorIds.size(); ++i)
        g_cursors[i] = g_loader->LoadCursor(kCursorIds[i]);
}

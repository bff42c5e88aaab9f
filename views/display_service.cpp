#include "views/display_service.h"

#include <QGuiApplication>
#include <QScreen>

namespace views {

namespace {
DisplayService& Service()
{
    static DisplayService service;
    return service;
}
} // namespace

void SetDisplayService(DisplayService service) { Service() = std::move(service); }

DisplayInfo GetDisplayInfo()
{
    if (Service())
        return Service()();
    DisplayInfo info;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->geometry();
        if (r.width() > 0 && r.height() > 0)
            info.desktop = {r.width(), r.height()};
        if (screen->depth() > 0)
            info.bitsPerPixel = screen->depth();
    }
    return info;
}

} // namespace views

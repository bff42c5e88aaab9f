// Resource lookup by id and the process-wide cursors and icons.
#include "platform/qt/resources.h"

#include <QFile>

#include <map>

namespace platform::qt {
namespace {

// Hot spots of the cursors (32 x 32 pictures); cursors not listed point at their centre.
QPoint HotSpot(int id)
{
    switch (id) {
    case 174:
    case 179:
    case 180:
    case 259:
    case 331:
    case 332: return {0, 0};
    case 159: return {15, 14};
    default: return {16, 16};
    }
}

std::map<int, QCursor>& Cursors()
{
    static std::map<int, QCursor> cursors;
    return cursors;
}

std::map<int, QIcon>& Icons()
{
    static std::map<int, QIcon> icons;
    return icons;
}

} // namespace

QPixmap LoadBitmapResource(int id)
{
    const QString path = QStringLiteral(":/res/bitmaps/bmp%1.png").arg(id);
    return QFile::exists(path) ? QPixmap(path) : QPixmap();
}

QIcon LoadIconResource(int id)
{
    const QString path = QStringLiteral(":/res/icons/icon%1.png").arg(id);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

QCursor LoadCursorResource(int id)
{
    const QString path = QStringLiteral(":/res/cursors/cur%1.png").arg(id);
    if (!QFile::exists(path))
        return QCursor(Qt::ArrowCursor);
    const QPoint hot = HotSpot(id);
    return QCursor(QPixmap(path), hot.x(), hot.y());
}

int CQtResourceLoader::LoadIcon(int id)
{
    const QIcon icon = LoadIconResource(id);
    if (icon.isNull())
        return 0;
    Icons()[id] = icon;
    return id;
}

int CQtResourceLoader::LoadCursor(int id)
{
    if (!QFile::exists(QStringLiteral(":/res/cursors/cur%1.png").arg(id)))
        return 0;
    Cursors()[id] = LoadCursorResource(id);
    return id;
}

CQtResourceLoader& QtResourceLoader()
{
    static CQtResourceLoader loader;
    return loader;
}

const QCursor& AppCursor(int id)
{
    static const QCursor arrow(Qt::ArrowCursor);
    auto it = Cursors().find(CursorHandle(id));
    return it == Cursors().end() ? arrow : it->second;
}

const QIcon& AppIcon(int id)
{
    static const QIcon none;
    auto it = Icons().find(IconHandle(id));
    return it == Icons().end() ? none : it->second;
}

} // namespace platform::qt

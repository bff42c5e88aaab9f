// The program's bitmaps, icons and cursors by resource id (drawn files in res/, compiled into
// the program), and the process-wide cursors and icons the views use.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

#include "platform/resources.h"

namespace platform::qt {

// A bitmap by id (button images, the start-up picture 308); null when there is none.
QPixmap LoadBitmapResource(int id);
// An icon by id; null when there is none.
QIcon LoadIconResource(int id);
// A cursor by id with its hot spot; the arrow when there is none.
QCursor LoadCursorResource(int id);

// The loader that LoadCursorsAndIcons uses: it reads the drawn files and answers the id as the
// handle (0 for an id without a file).
class CQtResourceLoader : public IResourceLoader {
public:
    int LoadIcon(int id) override;
    int LoadCursor(int id) override;
};
// The loader of the window layer (installed by InstallQtServices).
CQtResourceLoader& QtResourceLoader();

// The cursors and icons loaded by LoadCursorsAndIcons; the arrow cursor and a null icon for ids
// that were not loaded.
const QCursor& AppCursor(int id);
const QIcon& AppIcon(int id);

} // namespace platform::qt

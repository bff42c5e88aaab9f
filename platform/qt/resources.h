// The program's bitmaps, icons and cursors by resource id (drawn files in res/, compiled into
// the program), and the process-wide cursors and icons the views use.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace platform::qt {

// A bitmap by id (button images, the start-up picture 308); null when there is none.
QPixmap LoadBitmapResource(int id);
// An icon by id; null when there is none.
QIcon LoadIconResource(int id);
// A cursor by id with its hot spot; the arrow when there is none.
QCursor LoadCursorResource(int id);

// The cursors and icons loaded by LoadCursorsAndIcons; the arrow cursor and a null icon for ids
// that were not loaded.
const QCursor& AppCursor(int id);
const QIcon& AppIcon(int id);

} // namespace platform::qt

// Loads the program's icons (233 to 238, 257, 278) and cursors (159, 239 to 248, 259, 331, 332)
// into process-wide handles; later calls do nothing.
void LoadCursorsAndIcons();

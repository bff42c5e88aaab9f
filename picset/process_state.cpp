// Puts every process-wide object back to its state at program start.
#include "picset/process_state.h"

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "engine/fit/focal_from_pairs.h"
#include "engine/fit/offset_grid.h"
#include "engine/worker_thread.h"
#include "geometry/lens_table.h"
#include "geometry/sphere.h"
#include "imagefile/exif.h"
#include "imagefile/image_codecs.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/clock.h"
#include "platform/file_dialog.h"
#include "platform/gesture.h"
#include "platform/idle_state.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/resources.h"
#include "platform/settings_store.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"

void ResetProcessState()
{
    // Platform services: the plain implementations, no status bar, no pending input.
    platform::SetClock(nullptr);
    platform::SetInput(nullptr);
    platform::DefaultInput().Reset();
    platform::SetMessageBox(nullptr);
    platform::SetStatusBar(nullptr);
    platform::SetFileDialog(nullptr);
    platform::SetSettings(nullptr);
    platform::SetProcessLauncher(nullptr);
    platform::SetShellOpen(nullptr);
    platform::SetMemory(nullptr);
    platform::SetEventPump(nullptr);
    platform::SetWaitCursor(nullptr);
    platform::ResetRunningJobs();
    platform::SetResourceLoader(nullptr);
    platform::ResetCursorsAndIcons();
    ResetCirclingSpeed();
    ExpireStatusText(3);
    JpegAbortEnabled = 0;
    IdleSecondCount = 0;

    // Codecs: an unfinished write is abandoned (its target stays as it was).
    JpegEndWrite(-1);
    JpegSetComment("");
    PngEndWrite(-1);
    TiffEndWrite(-1);
    BmpEndWrite(-1);
    ExifInfo = CExifInfo();
    LastJpegPath.clear();
    LastExifModel.clear();
    LastExifDate.clear();
    LastExifFocalLength = 0.0;
    LastExifExposure = 0.0;
    LastExifFNumber = 0.0;
    LastImageComment.clear();
    const uint8_t none = 0;
    ReadOrderedInt(&none, 0, 73);

    // Geometry shared by all pictures.
    GetLensTable() = LensTable();
    ResetProjectionReference(0);

    // The fit's work areas and its point ids.
    ResetOffsetGrids();
    SetWorkerThreadStarter(nullptr);
    ResetFocalPairing();
    ResetPointIdCounter();

    // Engine modes and the catalogue, empty until the first engine adapter fills it.
    FitMode = -2;
    EngineModeFlag = 0;
    NumberedMessageFlag = 0;
    ResetFeatureLinking();
    ResetDragCandidates();
    CMcHost::ResetProgressRepaint(0);
    Catalogue() = MessageCatalogue();
}

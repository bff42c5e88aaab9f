// The plain file dialog (no window layer: every request is cancelled) and the process-wide
// selection.
#include "platform/file_dialog.h"

namespace platform {
namespace {

class CancellingFileDialog : public IFileDialog {
public:
    std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
};

CancellingFileDialog g_plain;
IFileDialog* g_dialog = &g_plain;

} // namespace

IFileDialog& FileDialog() { return *g_dialog; }
void SetFileDialog(IFileDialog* dialog) { g_dialog = dialog ? dialog : &g_plain; }

} // namespace platform

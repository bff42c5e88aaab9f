// The window layer's implementations of the system services: message boxes, file dialogs,
// the status bar of the main window, starting programs, opening documents with the desktop's
// program, and the long-job event pump. InstallQtServices puts them in place of the plain ones.
#pragma once

#include <QStatusBar>

#include <string>
#include <vector>

#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"

class QLabel;
class QWidget;

namespace platform::qt {

class CQtMessageBox : public IMessageBox {
public:
    int Show(const std::string& text, unsigned type) override;
};

// Converts the program's filter ("Name | pattern;pattern | ... ||") into Qt's name filters.
QStringList ToQtFilters(const std::string& filter);

class CQtFileDialog : public IFileDialog {
public:
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override;
    std::vector<std::string> OpenFiles(const FileDialogRequest& request) override;
    std::optional<SaveFileAnswer> SaveFile(const FileDialogRequest& request) override;
};

// The main window's status bar: a message pane and the indicators "CAP", "NUM" and "SCRL".
class CQtStatusBar : public IStatusBar {
public:
    explicit CQtStatusBar(QStatusBar* bar);
    void SetPaneText(int pane, const std::string& text) override;
    std::string PaneText(int pane) const;
    int PaneCount() const { return static_cast<int>(m_panes.size()); }

private:
    QStatusBar* m_bar;
    std::vector<QLabel*> m_panes;
};

// Starts programs detached, each argument passed as it stands (no shell).
class CQtProcessLauncher : public IProcessLauncher {
public:
    int Start(const std::string& program, const std::vector<std::string>& arguments, int showCode) override;
};

// Opens a document with the desktop's program; a missing file fails at once.
class CQtShellOpen : public IShellOpen {
public:
    int Open(const std::string& name, const std::string& directory, int showCode) override;
};

class CQtEventPump : public IEventPump {
public:
    void Pump() override;
};

// The wait cursor as Qt's application override cursor.
class CQtWaitCursor : public IWaitCursor {
public:
    void Show() override;
    void Restore() override;
};

// Installs the Qt message box, file dialog, launcher, shell open and event pump (the status
// bar is installed by the main window that owns it).
void InstallQtServices();
// Restores the plain services.
void RemoveQtServices();

} // namespace platform::qt

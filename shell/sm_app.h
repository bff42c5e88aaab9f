// The application object: the start-up sequence, the start-up picture, the idle calls that
// end in the document's idle step, the About box, the recent-file list and the application's
// commands (new, open, guide documents, about, exit).
#pragma once

#include <QObject>
#include <QRect>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "views/command_target.h"

class CSmDoc;
class CMainFrame;
class QPrinter;
class QWidget;
namespace platform::qt {
class CIdleDriver;
}

class CSmApp : public QObject, public ICommandTarget {
    Q_OBJECT
public:
    CSmApp();
    ~CSmApp() override;

    // Runs the start-up steps; false when the program should end (the project named on the
    // command line could not be opened, no window could be made, or the command line asked to
    // print the project: ShellPrinted() tells).
    bool InitInstance(const std::vector<std::string>& arguments);
    // One idle call: true while more are wanted.
    bool OnIdle(long count);
    void ShowSplash();
    void OnAppAbout();
    // Opens a project with the save-changes question; the recent-file list follows.
    bool OpenDocumentFile(const std::string& path);
    // Registers the project file type in the settings store's classes root.
    void RegisterShellFileTypes();
    void AddToRecentFileList(const std::string& path);
    const std::vector<std::string>& RecentFiles() const { return m_recent; }

    bool OnCommand(int id) override;
    std::optional<CommandState> GetCommandState(int id) const override;

    // Whether the start printed the project for the desktop's print verb (/p, /pt).
    bool ShellPrinted() const { return m_shellPrinted; }

    CMainFrame* MainFrame() const { return m_frame.get(); }
    CSmDoc* Document() const { return m_doc.get(); }

    std::string m_versionText;

    static constexpr const char* kProductName = "Seamora Aurelle";
    static constexpr double kVersion = 1.03;

private:
    // Prints the opened project's current picture as the work view's Print Direct does, on the
    // named printer ("" the default one).
    void PrintForShell(const std::string& printer);
    void LoadRecentFileList();
    void SaveRecentFileList();

    std::unique_ptr<CSmDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<platform::qt::CIdleDriver> m_idle;
    std::unique_ptr<QPrinter> m_printer;
    std::vector<std::string> m_recent;
    std::string m_lastPath;
    bool m_shellPrinted = false;
};

// Where the start-up picture goes on a screen: the main window's stand (the picture's full
// size, centred), the part drawn, and how: the picture copied 1:1 with the edition text when it
// fits inside the screen less 20 pixels a side, stretched into that area without text when it
// does not, or a text panel of 560 x 360 when there is no picture.
struct SplashPlan {
    enum Kind { Copy, Stretch, Panel } kind = Panel;
    QRect stand;
    QRect picture;
};
SplashPlan PlanSplash(const QRect& screen, QSize bitmap);

// Where no window manager maximises the main window: a frame still meant to be maximised but
// clearly smaller than its screen's free area takes that area; any other frame is left as it is.
void FillScreenUnlessMaximised(QWidget& frame);

// The application object of the running program (null before it exists).
CSmApp* TheApp();

// The main window: menus, four command bars docked on top, the status bar, and the three
// columns (image finder over the picture information pane, work view, manager pane). It sizes
// the columns by its rules, shows and hides the side columns and the bars, routes commands
// (view, document, frame, application) and takes files dropped from the file manager.
#pragma once

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/document_base.h"
#include "shell/pane_layout.h"
#include "views/command_target.h"

class CSmDoc;
class CSplitt;
class CDialogBar;
class QSplitter;
class QAction;
class QMenu;
class CLeftView;
class CThumView;
class CSmView;
class CAutLayView;
class COptionsDlg;
namespace platform::qt {
class CQtStatusBar;
}

class QTimer;

class CMainFrame : public QMainWindow, public IFrameWindow {
    Q_OBJECT
public:
    // A frame on the document; `app` handles the application's commands (may be null).
    CMainFrame(CSmDoc* doc, ICommandTarget* app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the bars, the status bar and the panes; false when the status bar or a view could
    // not be made.
    bool Create();

    // ---- Columns, rows and bars ------------------------------------------------------------
    void SetPaneWidths(int finder, int manager);
    void ShowManagerPane(int width);
    void SetFinderRowHeights();
    // Present widths of the three columns (0 when there are no panes).
    std::vector<int> ColumnWidths() const;
    PaneWidthMemory& Widths() { return m_widths; }
    CDialogBar* Bar(int barId) const;
    // The bars in the order they lie on the top dock, row by row.
    std::vector<int> TopBarOrder() const;

    // ---- Commands --------------------------------------------------------------------------
    // Runs the command by the routing order; false when nobody handles it.
    bool RouteCommand(int id);
    // The state of a command; disabled when nobody handles it.
    CommandState QueryCommandState(int id) const;
    // Brings every menu item and button up to date.
    void UpdateCommandStates();
    QAction* MenuAction(int id) const;
    // Removes the menu item of a command (and redraws the menu bar).
    void DeleteMenuItem(int id);
    // Removes the Guide menu's items whose ".htm" document is missing from the guide folder of
    // the program folder, then redraws the menu bar.
    void SetupGuideMenu(const std::string& programFolder);
    // The recent-file entries shown under the File menu.
    void SetRecentFiles(const std::vector<std::string>& paths);

    // ---- Drops ----------------------------------------------------------------------------
    // Files dropped at the screen point `cursor`.
    void OnDropFiles(const std::vector<std::string>& names, QPoint cursor);
    // Opens a project (the application's open, with the save-changes question).
    void SetProjectOpener(std::function<bool(const std::string&)> opener) { m_openProject = std::move(opener); }

    // ---- IFrameWindow ---------------------------------------------------------------------
    std::string GetWindowText() const override;
    void SetWindowText(const std::string& text) override;

    CSmDoc* Document() const { return m_doc; }
    platform::qt::CQtStatusBar* StatusPanes() const { return m_status.get(); }
    CSmView* WorkView() const { return m_workView; }
    CThumView* ThumView() const { return m_thumView; }
    CLeftView* LeftView() const { return m_leftView; }
    CAutLayView* ManagerView() const { return m_managerView; }
    COptionsDlg* OptionsDialog() const { return m_optionsDlg; }
    QSplitter* FinderSplitter() const { return m_wndFinderSplitter; }
    CSplitt* Splitter() const { return m_wndSplitter; }

    int m_finderIconSize = 16;
    int m_barsShown = 0;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct FrameCommand {
        std::function<void()> run;
        std::function<CommandState()> state;
    };
    void BuildMenus();
    bool CreateBars();
    bool CreateClient();
    void LayoutBars();
    void ToggleBar(int barId);
    void SendHint(int hint);
    void AddFrameCommands();
    int ClientWidth() const;
    // A close asked for while a long job runs: the user may break the job, and the window then
    // closes as usual once the job has ended.
    void AskToBreakJobForClose();

    CSmDoc* m_doc;
    ICommandTarget* m_app;
    std::unique_ptr<IDocumentView> m_titleLink;
    std::map<int, FrameCommand> m_commands;
    std::map<int, QAction*> m_actions;
    std::vector<QAction*> m_recentActions;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentAnchor = nullptr;
    std::map<int, CDialogBar*> m_bars;
    std::unique_ptr<platform::qt::CQtStatusBar> m_status;
    CSplitt* m_wndSplitter = nullptr;
    QSplitter* m_wndFinderSplitter = nullptr;
    CLeftView* m_leftView = nullptr;
    CThumView* m_thumView = nullptr;
    CSmView* m_workView = nullptr;
    CAutLayView* m_managerView = nullptr;
    COptionsDlg* m_optionsDlg = nullptr;
    PaneWidthMemory m_widths;
    std::function<bool(const std::string&)> m_openProject;
    bool m_created = false;
    bool m_closeAfterJob = false;
    QTimer* m_closeAfterJobTimer = nullptr;
};

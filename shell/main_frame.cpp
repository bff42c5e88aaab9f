// The main window.
#include "shell/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <filesystem>

#include "document/commands_table.h"
#include "document/sm_doc.h"
#include "document/update_hint.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/qt/job_pump.h"
#include "platform/qt/qt_services.h"
#include "platform/qt/resources.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"
#include "shell/aut_lay_view.h"
#include "shell/calib_pattern.h"
#include "shell/color_fit_dlg.h"
#include "shell/command_ids.h"
#include "shell/dialog_bar.h"
#include "shell/drop_files.h"
#include "shell/guide.h"
#include "shell/left_view.h"
#include "shell/main_menu.h"
#include "shell/options_dlg.h"
#include "shell/splitt.h"
#include "views/thum_view.h"
#include "views/sm_view.h"

namespace {

// Tells the frame of the document's title changes; it takes no hints.
class CFrameTitleLink : public IDocumentView {
public:
    explicit CFrameTitleLink(IFrameWindow* frame) : m_frame(frame) {}
    const char* GetRuntimeClassName() const override { return "CMainFrame"; }
    void OnUpdate(IDocumentView*, int, const HintObject&) override {}
    IFrameWindow* GetParentFrame() override { return m_frame; }

private:
    IFrameWindow* m_frame;
};

const std::vector<BarButton>& ButtonsOf(int bar)
{
    static const std::map<int, std::vector<BarButton>> buttons = {
        {BAR_PIECES, {{32805, "Size Up/Down", 193}, {32792, "Turn 90", 188}, {1276, "Color", 282}}},
        {BAR_IMAGE,
         {{57600, "File New", 190}, {32795, "Fit Size Up", 205}, {32796, "Fit Size Down", 207},
          {1069, "Auxiliary Lines", 232}}},
        {BAR_RENDERING,
         {{32802, "Fit Images", 215}, {32817, "Fit360", 256}, {32803, "set center", 218}, {32813, "option", 249},
          {32804, "Save Image", 191}}},
        {BAR_FINDER, {{1042, "FindSize", 210}}},
    };
    return buttons.at(bar);
}

} // namespace

CMainFrame::CMainFrame(CSmDoc* doc, ICommandTarget* app, QWidget* parent)
    : QMainWindow(parent), m_doc(doc), m_app(app)
{
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(platform::qt::LoadIconResource(128));
    // The frame is made maximised.
    setWindowState(windowState() | Qt::WindowMaximized);
    setDockNestingEnabled(false);
    AddFrameCommands();
    m_openProject = [this](const std::string& path) { return m_doc && m_doc->OpenDocumentFile(path); };
    if (m_doc) {
        m_titleLink = std::make_unique<CFrameTitleLink>(this);
        m_doc->AddView(m_titleLink.get());
    }
    SetHasMainWindow(true);
    // A close refused while a job pumps events is asked about once the delivery is over.
    platform::qt::CJobPump::SetRefusedCloseHandler([this](QWidget* window) {
        if (window != this)
            return;
        // Events delivered for work that is no long job (a picture being read) only delay the
        // close.
        if (platform::IsJobRunning())
            AskToBreakJobForClose();
        else
            QTimer::singleShot(0, this, [this] { close(); });
    });
}

CMainFrame::~CMainFrame()
{
    SetHasMainWindow(false);
    platform::qt::CJobPump::SetRefusedCloseHandler(nullptr);
    if (m_optionsDlg && OptionBox() == m_optionsDlg)
        SetOptionBox(nullptr);
    if (platform::StatusBar() == m_status.get())
        platform::SetStatusBar(nullptr);
    if (m_doc && m_titleLink)
        m_doc->RemoveView(m_titleLink.get());
}

bool CMainFrame::Create()
{
    BuildMenus();
    CreateBars();
    QStatusBar* bar = statusBar();
    if (!bar)
        return false;
    bar->setObjectName(QStringLiteral("status%1").arg(STATUS_BAR));
    m_status = std::make_unique<platform::qt::CQtStatusBar>(bar);
    platform::SetStatusBar(m_status.get());
    setAcceptDrops(true);
    LoadCursorsAndIcons();
    // The Option box command runs the frame's Options dialog.
    m_optionsDlg = new COptionsDlg(this);
    SetOptionBox(m_optionsDlg);
    // The document's colour fit manager belongs to this frame; its window is made when first
    // opened.
    if (m_doc)
        m_doc->CreateToolDialogs({}, [this] { return std::make_unique<CColorFitHolder>(m_doc, this); });
    if (!CreateClient())
        return false;
    m_created = true;
    UpdateCommandStates();
    return true;
}

// ---- Menus and commands ------------------------------------------------------------------

void CMainFrame::BuildMenus()
{
    std::vector<QMenu*> stack;
    for (const MenuRow& row : MainMenuRows()) {
        stack.resize(row.depth);
        QString text = QString::fromUtf8(row.text);
        QString shortcut;
        if (const int tab = text.indexOf(QLatin1Char('\t')); tab >= 0) {
            shortcut = text.mid(tab + 1);
            text = text.left(tab);
        }
        if (row.depth == 0) {
            QMenu* m = menuBar()->addMenu(text);
            m->setObjectName(text.remove(QLatin1Char('&')));
            connect(m, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
            if (m->objectName() == QLatin1String("File"))
                m_fileMenu = m;
            stack.push_back(m);
            continue;
        }
        QMenu* parent = stack.back();
        if (row.id == -1) {
            parent->addSeparator();
        } else if (row.id == 0) {
            QMenu* sub = parent->addMenu(text);
            connect(sub, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
            stack.push_back(sub);
        } else {
            QAction* a = parent->addAction(text);
            a->setData(row.id);
            if (!shortcut.isEmpty())
                a->setShortcut(QKeySequence(shortcut));
            const int id = row.id;
            connect(a, &QAction::triggered, this, [this, id] { RouteCommand(id); });
            m_actions[id] = a;
            if (id == ID_FILE_MRU_FIRST) {
                m_recentAnchor = a;
                a->setEnabled(false);
            }
        }
    }
}

void CMainFrame::SetRecentFiles(const std::vector<std::string>& paths)
{
    if (!m_fileMenu || !m_recentAnchor)
        return;
    for (QAction* a : m_recentActions) {
        m_actions.erase(a->data().toInt());
        m_fileMenu->removeAction(a);
        delete a;
    }
    m_recentActions.clear();
    m_recentAnchor->setVisible(paths.empty());
    for (size_t i = 0; i < paths.size() && ID_FILE_MRU_FIRST + static_cast<int>(i) <= ID_FILE_MRU_LAST; ++i) {
        const int id = ID_FILE_MRU_FIRST + static_cast<int>(i);
        const QString label = QStringLiteral("&%1 %2").arg(i + 1).arg(QString::fromStdString(paths[i]));
        auto* a = new QAction(label, m_fileMenu);
        a->setData(id);
        m_fileMenu->insertAction(m_recentAnchor, a);
        connect(a, &QAction::triggered, this, [this, id] { RouteCommand(id); });
        m_recentActions.push_back(a);
        m_actions[id] = a;
    }
}

QAction* CMainFrame::MenuAction(int id) const
{
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::DeleteMenuItem(int id)
{
    auto it = m_actions.find(id);
    if (it == m_actions.end())
        return;
    QAction* a = it->second;
    m_actions.erase(it);
    for (QObject* o : a->associatedObjects())
        if (auto* w = qobject_cast<QWidget*>(o))
            w->removeAction(a);
    delete a;
    menuBar()->update();
}

void CMainFrame::SetupGuideMenu(const std::string& programFolder)
{
    const std::string guide = GuideFolder(programFolder);
    const std::pair<int, const char*> items[] = {{ID_GUIDE_COMPACT, "/SmGuide.htm"}, {ID_GUIDE_MANUAL, "/SmMnl.htm"}};
    for (const auto& [id, file] : items) {
        std::error_code ec;
        if (guide.empty() || !std::filesystem::is_regular_file(guide + file, ec))
            DeleteMenuItem(id);
    }
    menuBar()->update();
}

void CMainFrame::AddFrameCommands()
{
    auto add = [this](int id, std::function<void()> run, std::function<CommandState()> state = {}) {
        m_commands[id] = {std::move(run), std::move(state)};
    };
    auto checked = [](bool c) { return CommandState{true, c}; };
    add(ID_VIEW_REFRESH_FINDER, [this] { SendHint(HINT_FINDER_REFRESH); });
    add(ID_FINDER_SIZE, [this] { SendHint(HINT_FINDER_SIZE_CYCLE); });
    add(ID_FINDER_ICON_LARGE, [this] { SendHint(HINT_FINDER_ICON_64); }, [=, this] { return checked(m_finderIconSize == 64); });
    add(ID_FINDER_ICON_MIDDLE, [this] { SendHint(HINT_FINDER_ICON_32); }, [=, this] { return checked(m_finderIconSize == 32); });
    add(ID_FINDER_ICON_SMALL, [this] { SendHint(HINT_FINDER_ICON_16); }, [=, this] { return checked(m_finderIconSize == 16); });
    add(ID_VIEW_EXPAND_WORK_SPACE, [this] { SetPaneWidths(1, 1); });
    add(ID_VIEW_NORMALIZE_WORK_SPACE, [this] { SetPaneWidths(kFinderColumnWidth, m_widths.managerRestoreWidth); });
    add(ID_VIEW_MANAGER_WINDOW, [this] { ShowManagerPane(-2); }, [=, this] {
        const std::vector<int> w = ColumnWidths();
        return checked(w.size() == 3 && w[2] > 10);
    });
    add(ID_VIEW_IMAGE_FINDER, [this] {
        const std::vector<int> w = ColumnWidths();
        SetPaneWidths(w.size() == 3 && w[0] <= 10 ? kFinderColumnWidth : 1, -2);
    }, [=, this] {
        const std::vector<int> w = ColumnWidths();
        return checked(w.size() == 3 && w[0] > 10);
    });
    add(ID_LENS_DISTORTION_PATTERN, [this] {
        CDistortionDlg dlg(this);
        dlg.DoModal();
    });
    add(ID_VIEW_BARS_ALL, [this] {
        const bool show = m_barsShown != 1;
        for (auto& [id, bar] : m_bars)
            bar->setVisible(show);
        m_barsShown = show ? 1 : 0;
        LayoutBars();
    }, [=, this] { return checked(m_barsShown == 1); });
    const std::pair<int, int> toggles[] = {{ID_VIEW_BAR_FINDER, BAR_FINDER},
                                           {ID_VIEW_BAR_PIECES, BAR_PIECES},
                                           {ID_VIEW_BAR_IMAGE, BAR_IMAGE},
                                           {ID_VIEW_BAR_RENDERING, BAR_RENDERING}};
    for (const auto& [command, bar] : toggles) {
        const int b = bar;
        add(command, [this, b] { ToggleBar(b); }, [=, this] {
            CDialogBar* d = Bar(b);
            return checked(d && d->isVisible());
        });
    }
}

bool CMainFrame::RouteCommand(int id)
{
    bool handled = false;
    if (auto* view = dynamic_cast<ICommandTarget*>(m_workView); view && view->OnCommand(id))
        handled = true;
    else if (m_doc && m_doc->OnCommand(id))
        handled = true;
    else if (auto it = m_commands.find(id); it != m_commands.end()) {
        it->second.run();
        handled = true;
    } else if (m_app && m_app->OnCommand(id))
        handled = true;
    UpdateCommandStates();
    return handled;
}

CommandState CMainFrame::QueryCommandState(int id) const
{
    if (auto* view = dynamic_cast<const ICommandTarget*>(m_workView))
        if (std::optional<CommandState> s = view->GetCommandState(id))
            return *s;
    if (m_doc)
        if (std::optional<CommandState> s = m_doc->GetCommandState(id))
            return *s;
    if (auto it = m_commands.find(id); it != m_commands.end())
        return it->second.state ? it->second.state() : CommandState{};
    if (m_app)
        if (std::optional<CommandState> s = m_app->GetCommandState(id))
            return *s;
    // Nobody handles the id: the item is disabled.
    return {false, false};
}

void CMainFrame::UpdateCommandStates()
{
    for (auto& [id, action] : m_actions) {
        if (action == m_recentAnchor)
            continue;
        const CommandState s = QueryCommandState(id);
        action->setEnabled(s.enabled);
        action->setCheckable(s.checked);
        action->setChecked(s.checked);
    }
    for (auto& [barId, bar] : m_bars)
        for (auto& [id, action] : bar->Buttons())
            action->setEnabled(QueryCommandState(id).enabled);
}

void CMainFrame::SendHint(int hint)
{
    if (m_doc)
        m_doc->UpdateAllViews(nullptr, hint, HintObject::None());
}

// ---- Bars ---------------------------------------------------------------------------------

bool CMainFrame::CreateBars()
{
    struct Spec {
        int id, labelId;
        const char* label;
    };
    const Spec specs[] = {{BAR_PIECES, 1041, "Picture Pieces"},
                          {BAR_IMAGE, 1048, " Image"},
                          {BAR_RENDERING, 1053, "Rendering"},
                          {BAR_FINDER, 1044, "Finder"}};
    for (const Spec& s : specs)
        m_bars[s.id] = new CDialogBar(s.id, s.labelId, s.label, ButtonsOf(s.id), [this](int id) { RouteCommand(id); }, this);
    for (int id : {BAR_FINDER, BAR_PIECES, BAR_IMAGE, BAR_RENDERING})
        addToolBar(Qt::TopToolBarArea, m_bars[id]);
    m_barsShown = 1;
    return true;
}

CDialogBar* CMainFrame::Bar(int barId) const
{
    auto it = m_bars.find(barId);
    return it == m_bars.end() ? nullptr : it->second;
}

void CMainFrame::ToggleBar(int barId)
{
    if (CDialogBar* b = Bar(barId)) {
        b->setVisible(!b->isVisible());
        LayoutBars();
    }
}

void CMainFrame::LayoutBars()
{
    if (m_bars.empty())
        return;
    // Each bar goes beside the one before when it fits within the frame, else on a new row.
    int right = 0;
    bool first = true;
    for (int id : {BAR_FINDER, BAR_PIECES, BAR_IMAGE, BAR_RENDERING}) {
        CDialogBar* b = m_bars[id];
        if (toolBarArea(b) != Qt::TopToolBarArea || b->isFloating())
            continue;
        removeToolBarBreak(b);
        if (b->isHidden())
            continue;
        const int w = b->sizeHint().width();
        if (!first && right + w >= width()) {
            insertToolBarBreak(b);
            right = 0;
        }
        right += w;
        first = false;
    }
}

std::vector<int> CMainFrame::TopBarOrder() const
{
    std::vector<std::pair<std::pair<int, int>, int>> placed;
    for (const auto& [id, bar] : m_bars)
        if (toolBarArea(bar) == Qt::TopToolBarArea && bar->isVisible())
            placed.push_back({{bar->y(), bar->x()}, id});
    std::sort(placed.begin(), placed.end());
    std::vector<int> order;
    for (const auto& p : placed)
        order.push_back(p.second);
    return order;
}

// ---- Panes --------------------------------------------------------------------------------

bool CMainFrame::CreateClient()
{
    m_wndSplitter = new CSplitt(this);
    m_wndFinderSplitter = new QSplitter(Qt::Vertical, m_wndSplitter);
    m_wndFinderSplitter->setObjectName(QStringLiteral("FinderSplitter"));
    m_wndFinderSplitter->setChildrenCollapsible(false);
    m_leftView = new CLeftView(m_wndFinderSplitter);
    m_thumView = new CThumView(m_wndFinderSplitter);
    m_workView = new CSmView(m_wndSplitter);
    // The document opens image windows for the frame of its work view.
    m_workView->SetParentFrame(this);
    m_workView->SetProjectOpener([this](const std::string& path) {
        if (!m_openProject || !m_openProject(path))
            return false;
        SetPaneWidths(0, -2);
        return true;
    });
    m_managerView = new CAutLayView(m_wndSplitter);
    if (!m_leftView || !m_thumView || !m_workView || !m_managerView) {
        delete m_wndSplitter;
        m_wndSplitter = nullptr;
        return false;
    }
    m_leftView->resize(kFinderColumnWidth, 300);
    m_thumView->resize(kFinderColumnWidth, kInfoPaneHeight);
    m_workView->resize(300, 400);
    m_managerView->resize(300, 400);
    m_leftView->setMinimumHeight(20);
    m_thumView->setMinimumHeight(20);
    m_wndFinderSplitter->setMinimumWidth(32);
    m_workView->setMinimumWidth(20);
    m_managerView->setMinimumWidth(1);
    m_wndSplitter->addWidget(m_wndFinderSplitter);
    m_wndSplitter->addWidget(m_workView);
    m_wndSplitter->addWidget(m_managerView);
    m_wndSplitter->setStretchFactor(0, 0);
    m_wndSplitter->setStretchFactor(1, 1);
    m_wndSplitter->setStretchFactor(2, 0);
    m_wndFinderSplitter->setStretchFactor(0, 1);
    m_wndFinderSplitter->setStretchFactor(1, 0);
    m_wndSplitter->setSizes({kFinderColumnWidth, 300, 300});
    if (m_doc) {
        m_doc->AddView(m_workView);
        m_workView->OnInitialUpdate();
        m_doc->AddView(m_thumView);
        m_thumView->OnInitialUpdate();
        m_doc->AddView(m_leftView);
    }
    CLeftView::Frame frame;
    frame.window = this;
    frame.openProject = [this](const std::string& path) { return m_openProject && m_openProject(path); };
    frame.setPaneWidths = [this](int finder, int manager) {
        if (m_created)
            SetPaneWidths(finder, manager);
    };
    frame.iconSizeChanged = [this](int size) { m_finderIconSize = size; };
    m_leftView->SetFrame(std::move(frame));
    m_leftView->OnInitialUpdate();
    CAutLayView::Frame manager;
    manager.window = this;
    // The manager's first width is remembered like every later one: the View menu's column
    // toggles and every resize work from it.
    manager.setPaneWidths = [this](int finder, int width) { SetPaneWidths(finder, width); };
    manager.showManagerPane = [this](int width) { ShowManagerPane(width); };
    manager.setRestoreWidth = [this](int width) { m_widths.managerRestoreWidth = width; };
    manager.closeFrame = [this] { close(); };
    m_managerView->SetFrame(std::move(manager));
    m_wndSplitter->SetDragListener([this](int finder, int manager) {
        m_widths.finderWidth = finder;
        m_widths.managerWidth = manager;
    });
    setCentralWidget(m_wndSplitter);
    SetFinderRowHeights();
    if (m_doc) {
        m_doc->AddView(m_managerView);
        m_managerView->OnInitialUpdate();
    }
    return true;
}

int CMainFrame::ClientWidth() const { return centralWidget() ? centralWidget()->width() : width(); }

std::vector<int> CMainFrame::ColumnWidths() const
{
    if (!m_wndSplitter)
        return {};
    std::vector<int> out;
    for (int s : m_wndSplitter->sizes())
        out.push_back(s);
    return out;
}

void CMainFrame::SetPaneWidths(int finder, int manager)
{
    if (!m_wndSplitter)
        return;
    // Before the columns were first laid out the splitter's sizes say nothing yet: the finder
    // keeps the width it is to have.
    const std::vector<int> present = ColumnWidths();
    const int presentFinder = m_wndSplitter->isVisible() && !present.empty() ? present[0] : m_widths.finderWidth;
    const std::optional<PaneWidths> w = ComputePaneWidths(m_widths, finder, manager, ClientWidth(), presentFinder);
    if (!w)
        return;
    if (w->setFinder)
        m_wndFinderSplitter->setMinimumWidth(1);
    m_workView->setMinimumWidth(20);
    m_managerView->setMinimumWidth(1);
    m_wndSplitter->setSizes({w->finder, w->middle, w->manager});
}

void CMainFrame::ShowManagerPane(int width)
{
    const std::vector<int> present = ColumnWidths();
    const int m = ManagerToggleWidth(m_widths, width, present.size() == 3 ? present[2] : 0);
    SetPaneWidths(0, m);
}

void CMainFrame::SetFinderRowHeights()
{
    if (!m_wndFinderSplitter)
        return;
    const FinderRows rows = ComputeFinderRows(m_wndFinderSplitter->height());
    m_wndFinderSplitter->setSizes({rows.finder, rows.info});
}

void CMainFrame::resizeEvent(QResizeEvent* event)
{
    SetFinderRowHeights();
    SetFinderRowHeights();
    QMainWindow::resizeEvent(event);
    if (m_barsShown)
        LayoutBars();
    SetPaneWidths(0, -2);
}

// ---- Closing and drops ------------------------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // A long job keeps the window open unless the user breaks it; a project with changes
    // asks first.
    if (platform::IsJobRunning()) {
        event->ignore();
        AskToBreakJobForClose();
        return;
    }
    if (m_doc && !m_doc->SaveModified()) {
        event->ignore();
        return;
    }
    event->accept();
    // The main window's end is the program's end: image windows and tool windows go with it,
    // and none of them, shown or hidden, keeps the process running.
    if (m_doc)
        m_doc->CloseAllPictureWindows();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->hide();
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void CMainFrame::AskToBreakJobForClose()
{
    if (!m_closeAfterJob) {
        if (ShowMessage("A job is still running.\nWould you like to break it and close the program ?",
                        platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
            return;
        m_closeAfterJob = true;
    }
    // The job breaks at its next poll, as when the user holds Escape down, whatever reads the
    // keys before the job does; the key is let go once the job is over.
    platform::DefaultInput().Press(platform::Key::Escape);
    if (!m_closeAfterJobTimer) {
        m_closeAfterJobTimer = new QTimer(this);
        m_closeAfterJobTimer->setInterval(50);
        connect(m_closeAfterJobTimer, &QTimer::timeout, this, [this] {
            if (platform::IsJobRunning() || platform::qt::CJobPump::Pumping())
                return;
            m_closeAfterJobTimer->stop();
            m_closeAfterJob = false;
            platform::DefaultInput().Release(platform::Key::Escape);
            platform::DefaultInput().AsyncKeyState(platform::Key::Escape); // no press left over
            close();
        });
    }
    m_closeAfterJobTimer->start();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    std::vector<std::string> names;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            names.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    OnDropFiles(names, mapToGlobal(event->position().toPoint()));
}

void CMainFrame::OnDropFiles(const std::vector<std::string>& names, QPoint cursor)
{
    const DropPlan plan = PlanDrop(names);
    if (!plan.projectPath.empty()) {
        if (m_openProject)
            m_openProject(plan.projectPath);
        UpdateCommandStates();
        return;
    }
    if (!m_doc || plan.hint == 0)
        return;
    m_doc->m_dropOffset = CPoint(cursor.x(), cursor.y());
    m_doc->m_dropAnchor = CPoint(0, 0);
    m_doc->m_droppedNames = plan.names;
    SendHint(plan.hint);
}

std::string CMainFrame::GetWindowText() const { return windowTitle().toStdString(); }
void CMainFrame::SetWindowText(const std::string& text) { setWindowTitle(QString::fromStdString(text)); }

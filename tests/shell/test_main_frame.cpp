// The main window's rules: column widths, bars, command routing, dropped files and the guide
// documents.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QSplitter>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include "document/sm_doc.h"
#include "shell/color_fit_dlg.h"
#include "shell/command_ids.h"
#include "shell/dialog_bar.h"
#include "shell/guide.h"
#include "shell/main_frame.h"
#include "shell/pane_layout.h"
#include "shell/sm_app.h"
#include "tests/shell/test_shell_support.h"
#include "tests/platform_qt/qt_app.h"
#include "views/sm_view.h"

SMRA_QT_TEST_APP();

namespace fs = std::filesystem;
using shelltest::RecordingView;
using shelltest::ScriptedServices;

TEST(PaneLayout, ColumnWidthsFollowTheRequestAndTheRememberedWidths)
{
    struct Case {
        const char* what;
        PaneWidthMemory before;
        int finder, manager, client, present;
        int f, middle, m;
        PaneWidthMemory after;
    };
    const Case cases[] = {
        {"given widths", {160, 300, 200}, 160, 200, 1000, 150, 160, 622, 200, {160, 200, 200}},
        {"remembered widths", {170, 250, 200}, -1, -2, 1000, 150, 170, 562, 250, {170, 250, 200}},
        {"finder kept", {160, 250, 200}, 0, -2, 1000, 140, 140, 592, 250, {160, 250, 200}},
        {"manager collapses", {160, 260, 200}, 1, 1, 1000, 150, 1, 980, 1, {1, 1, 260}},
        {"collapse keeps at least 100", {160, 40, 200}, 0, 0, 1000, 150, 150, 831, 1, {160, 1, 100}},
        {"narrow frame", {160, 300, 200}, 160, 200, 300, 150, 160, 100, 200, {160, 200, 200}},
    };
    for (const Case& c : cases) {
        PaneWidthMemory mem = c.before;
        const std::optional<PaneWidths> w = ComputePaneWidths(mem, c.finder, c.manager, c.client, c.present);
        ASSERT_TRUE(w) << c.what;
        EXPECT_EQ(w->finder, c.f) << c.what;
        EXPECT_EQ(w->middle, c.middle) << c.what;
        EXPECT_EQ(w->manager, c.m) << c.what;
        EXPECT_EQ(w->setFinder, c.finder != 0) << c.what;
        EXPECT_EQ(mem.finderWidth, c.after.finderWidth) << c.what;
        EXPECT_EQ(mem.managerWidth, c.after.managerWidth) << c.what;
        EXPECT_EQ(mem.managerRestoreWidth, c.after.managerRestoreWidth) << c.what;
    }
    // Nothing while the manager's width is not known, or without a client area.
    PaneWidthMemory fresh;
    EXPECT_FALSE(ComputePaneWidths(fresh, 0, -2, 1000, 160));
    PaneWidthMemory known{160, 200, 200};
    EXPECT_FALSE(ComputePaneWidths(known, 160, 200, 0, 160));

    // Show/Hide Manager: a hidden column comes back at the restore width, 200 at first.
    EXPECT_EQ(ManagerToggleWidth(PaneWidthMemory{}, -2, 1), 200);
    EXPECT_EQ(ManagerToggleWidth(PaneWidthMemory{}, -2, 10), 200);
    EXPECT_EQ(ManagerToggleWidth(PaneWidthMemory{}, -2, 11), 1);

    // The information pane keeps its height; the finder takes the rest, at least 100.
    EXPECT_EQ(ComputeFinderRows(700).finder, 700 - kInfoPaneHeight - 28);
    EXPECT_EQ(ComputeFinderRows(200).finder, 100);
    EXPECT_EQ(ComputeFinderRows(700).info, kInfoPaneHeight);
}

TEST(PaneLayout, ExpandThenNormalizeGivesBackTheManagerWidth)
{
    PaneWidthMemory mem{160, 260, 200};
    ComputePaneWidths(mem, 1, 1, 1200, 160);  // Expand Work Space
    const std::optional<PaneWidths> w = ComputePaneWidths(mem, 160, mem.managerRestoreWidth, 1200, 1);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->finder, 160);
    EXPECT_EQ(w->manager, 260);
}

namespace {

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_doc = std::make_unique<CSmDoc>();
        m_frame = std::make_unique<CMainFrame>(m_doc.get(), nullptr);
        ASSERT_TRUE(m_frame->Create());
        m_frame->setWindowState(Qt::WindowNoState);
        m_frame->resize(1000, 700);
        m_frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
        m_view.namesNow = [this] { return m_doc->m_droppedNames; };
        m_doc->AddView(&m_view);
    }
    void TearDown() override
    {
        m_doc->RemoveView(&m_view);
        m_frame.reset();
        m_doc.reset();
    }
    std::vector<int> Hints() const
    {
        std::vector<int> h;
        for (const auto& x : m_view.hints)
            h.push_back(x.hint);
        return h;
    }

    ScriptedServices m_services;
    std::unique_ptr<CSmDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    RecordingView m_view;
};

} // namespace

TEST_F(FrameTest, DroppedPicturesGoToTheWorkViewWithTheirHint)
{
    const std::string longName = "/p/" + std::string(1197, 'x') + ".jpg";
    struct Case {
        std::vector<std::string> dropped;
        int hint;
        std::string names;
    };
    const Case cases[] = {
        {{"/p/a.jpg"}, 113, "/p/a.jpg"},
        {{"/p/a.jpg", "/p/b.png"}, 127, "/p/a.jpg;/p/b.png;"},
        {{"/p/c.JPEG", "/p/notes.txt", "/p/d.tif", "/p/e.BMP"}, 127, "/p/c.JPEG;/p/d.tif;/p/e.BMP;"},
        {{longName, "/p/f.png"}, 127, "/p/f.png;"},
        {{"/p/notes.txt"}, 0, ""},
        {{}, 0, ""},
    };
    // The recording view hears the drop before the work view enters the files (and sends
    // hints of its own).
    m_doc->RemoveView(m_frame->WorkView());
    m_doc->AddView(m_frame->WorkView());
    for (const Case& c : cases) {
        m_view.hints.clear();
        m_doc->m_droppedNames.clear();
        m_doc->m_dropAnchor = CPoint(5, 5);
        m_frame->OnDropFiles(c.dropped, QPoint(321, 123));
        if (c.hint == 0) {
            EXPECT_TRUE(m_view.hints.empty()) << c.names;
            continue;
        }
        ASSERT_GE(m_view.hints.size(), 1u) << c.names;
        EXPECT_EQ(m_view.hints[0].hint, c.hint);
        EXPECT_EQ(m_view.hints[0].names, c.names);
        EXPECT_EQ(m_doc->m_dropOffset, CPoint(321, 123));
        EXPECT_EQ(m_doc->m_dropAnchor, CPoint(0, 0));
    }
}

TEST_F(FrameTest, ADroppedProjectOpensWithoutHintAndForgetsThePicturesBeforeIt)
{
    std::vector<std::string> opened;
    m_frame->SetProjectOpener([&](const std::string& p) {
        opened.push_back(p);
        return true;
    });
    m_frame->OnDropFiles({"/p/a.jpg", "/p/plan.FIT", "/p/b.png", "/p/other.fit"}, QPoint(1, 1));
    EXPECT_EQ(opened, std::vector<std::string>{"/p/plan.FIT"});
    EXPECT_TRUE(m_view.hints.empty());
    EXPECT_TRUE(m_doc->m_droppedNames.empty());
}

TEST_F(FrameTest, BarsLieOnTopInOrderAndToggleFromTheViewMenu)
{
    EXPECT_EQ(m_frame->TopBarOrder(), (std::vector<int>{BAR_FINDER, BAR_PIECES, BAR_IMAGE, BAR_RENDERING}));
    EXPECT_EQ(m_frame->m_barsShown, 1);
    EXPECT_TRUE(m_frame->QueryCommandState(ID_VIEW_BAR_IMAGE).checked);

    m_frame->RouteCommand(ID_VIEW_BAR_IMAGE);
    EXPECT_FALSE(m_frame->Bar(BAR_IMAGE)->isVisible());
    EXPECT_FALSE(m_frame->QueryCommandState(ID_VIEW_BAR_IMAGE).checked);
    EXPECT_EQ(m_frame->TopBarOrder(), (std::vector<int>{BAR_FINDER, BAR_PIECES, BAR_RENDERING}));

    m_frame->RouteCommand(ID_VIEW_BARS_ALL);  // all shown: hide all
    EXPECT_EQ(m_frame->m_barsShown, 0);
    EXPECT_TRUE(m_frame->TopBarOrder().empty());
    m_frame->RouteCommand(ID_VIEW_BARS_ALL);
    EXPECT_EQ(m_frame->m_barsShown, 1);
    EXPECT_EQ(m_frame->TopBarOrder().size(), 4u);

    // A bar's buttons: the bitmaps exist, so every button of the table is there.
    EXPECT_EQ(m_frame->Bar(BAR_RENDERING)->Buttons().size(), 5u);
    EXPECT_TRUE(m_frame->Bar(BAR_FINDER)->Button(ID_FINDER_SIZE));
}

TEST_F(FrameTest, CommandsRouteToDocumentThenFrameAndUnhandledOnesAreDisabled)
{
    // The finder icon sizes are the frame's: hints to every view, check mark by the size.
    m_frame->RouteCommand(ID_FINDER_ICON_LARGE);
    m_frame->RouteCommand(ID_FINDER_SIZE);
    m_frame->RouteCommand(ID_VIEW_REFRESH_FINDER);
    EXPECT_EQ(Hints(), (std::vector<int>{223, 211, 199}));
    EXPECT_TRUE(m_frame->QueryCommandState(ID_FINDER_ICON_SMALL).checked);
    m_frame->m_finderIconSize = 64;
    EXPECT_TRUE(m_frame->QueryCommandState(ID_FINDER_ICON_LARGE).checked);
    EXPECT_FALSE(m_frame->QueryCommandState(ID_FINDER_ICON_SMALL).checked);

    // The document comes before the application: Save As is the document's, disabled while the
    // project holds no picture, whatever the application would say.
    struct EagerApp : ICommandTarget {
        std::vector<int> ran;
        bool OnCommand(int id) override
        {
            ran.push_back(id);
            return true;
        }
        std::optional<CommandState> GetCommandState(int) const override { return CommandState{true, true}; }
    } app;
    CMainFrame frame(m_doc.get(), &app);
    ASSERT_TRUE(frame.Create());
    EXPECT_FALSE(frame.QueryCommandState(ID_FILE_SAVE_PROJECT_AS).enabled);
    // Chosen anyway, it stops at the document and does nothing.
    EXPECT_TRUE(frame.RouteCommand(ID_FILE_SAVE_PROJECT_AS));
    EXPECT_TRUE(m_services.dialog.Requests().empty());
    EXPECT_TRUE(app.ran.empty());
    // The frame's own commands come before the application's.
    frame.RouteCommand(ID_VIEW_REFRESH_FINDER);
    frame.RouteCommand(ID_APP_ABOUT);
    EXPECT_EQ(app.ran, std::vector<int>{ID_APP_ABOUT});
    EXPECT_TRUE(frame.QueryCommandState(ID_APP_ABOUT).checked);

    // Without an application object nobody handles About: its item is disabled.
    EXPECT_FALSE(m_frame->RouteCommand(ID_APP_ABOUT));
    m_frame->UpdateCommandStates();
    ASSERT_TRUE(m_frame->MenuAction(ID_APP_ABOUT));
    EXPECT_FALSE(m_frame->MenuAction(ID_APP_ABOUT)->isEnabled());
    EXPECT_TRUE(m_frame->MenuAction(ID_VIEW_REFRESH_FINDER)->isEnabled());
    EXPECT_FALSE(m_frame->QueryCommandState(32767).enabled);
}

TEST_F(FrameTest, LensDistortionCommandRunsThePatternDialogModally)
{
    EXPECT_TRUE(m_frame->QueryCommandState(ID_LENS_DISTORTION_PATTERN).enabled);
    QString title;
    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        title = w->windowTitle();
        parent = w->parentWidget();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_TRUE(m_frame->RouteCommand(ID_LENS_DISTORTION_PATTERN));
    EXPECT_EQ(title, QString("Analyse Distortion Pattern"));
    EXPECT_EQ(parent, m_frame.get());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(FrameTest, ColumnsFollowTheFrameRules)
{
    m_frame->Widths().managerWidth = 200;
    m_frame->SetPaneWidths(160, 200);
    std::vector<int> w = m_frame->ColumnWidths();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0], 160);
    EXPECT_EQ(w[2], 200);

    m_frame->RouteCommand(ID_VIEW_MANAGER_WINDOW);  // shown: hide
    EXPECT_LE(m_frame->ColumnWidths()[2], 10);
    EXPECT_FALSE(m_frame->QueryCommandState(ID_VIEW_MANAGER_WINDOW).checked);
    m_frame->RouteCommand(ID_VIEW_MANAGER_WINDOW);  // hidden: back at the width it had
    EXPECT_EQ(m_frame->ColumnWidths()[2], 200);

    m_frame->RouteCommand(ID_VIEW_IMAGE_FINDER);
    EXPECT_LE(m_frame->ColumnWidths()[0], 10);
    m_frame->RouteCommand(ID_VIEW_IMAGE_FINDER);
    EXPECT_EQ(m_frame->ColumnWidths()[0], kFinderColumnWidth);

    // The finder column is split in two: the finder over the picture information pane.
    EXPECT_EQ(m_frame->FinderSplitter()->count(), 2);
    EXPECT_EQ(m_frame->FinderSplitter()->sizes()[1], kInfoPaneHeight);
}

TEST(Guide, PlacesAreTriedInOrderAndTheMessagesAreExact)
{
    ScriptedServices s;
    EXPECT_EQ(OpenGuideDocumentIn("Guide", "/opt/smra"), -1);  // no main window yet
    EXPECT_TRUE(s.shell.Opened().empty());

    SetHasMainWindow(true);
    EXPECT_EQ(OpenGuideDocumentIn("", "/opt/smra"), -1);
    EXPECT_EQ(s.shell.Opened(), (std::vector<std::string>{"/opt/smra/SmGuide/SmGuide.htm", "/opt/smra/SmGuide.htm",
                                                          "/opt/smra/SmGuide/SmGuide.txt", "/opt/smra/SmGuide.txt"}));
    EXPECT_EQ(OpenGuideDocumentIn("Mnl", "/opt/smra"), -1);
    ASSERT_EQ(s.box.Shown().size(), 2u);
    EXPECT_EQ(s.box.Shown()[0],
              "We can't show operating guide now. Would you open 'SmGuide.htm' by your HTML browser software.");
    EXPECT_EQ(s.box.Shown()[1], "Sorry, we can't show the message.");

    // The second place answers: the search stops there.
    s.shell.QueueResult(platform::kStartFileNotFound);
    s.shell.QueueResult(platform::kStartOk);
    EXPECT_EQ(OpenGuideDocumentIn("Mnl", "/opt/smra"), 1);
    EXPECT_EQ(s.shell.Opened().back(), "/opt/smra/SmMnl.htm");
    SetHasMainWindow(false);
}

TEST(Guide, MenuItemsGoWhenTheirDocumentIsMissingFromTheGuideFolder)
{
    ScriptedServices s;
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / "guide_menu";
    fs::remove_all(dir);
    fs::create_directories(dir / "SmGuide");
    std::ofstream(dir / "SmGuide" / "SmMnl.htm") << "<html></html>";
    // Beside the program itself, or as text, the guide does not keep its menu item.
    std::ofstream(dir / "SmGuide.htm") << "<html></html>";
    std::ofstream(dir / "SmGuide" / "SmGuide.txt") << "guide";

    CSmDoc doc;
    CMainFrame frame(&doc, nullptr);
    ASSERT_TRUE(frame.Create());
    frame.SetupGuideMenu(dir.string());
    EXPECT_FALSE(frame.MenuAction(ID_GUIDE_COMPACT));
    EXPECT_TRUE(frame.MenuAction(ID_GUIDE_MANUAL));

    CMainFrame bare(&doc, nullptr);
    ASSERT_TRUE(bare.Create());
    bare.SetupGuideMenu((dir / "nowhere").string());
    EXPECT_FALSE(bare.MenuAction(ID_GUIDE_COMPACT));
    EXPECT_FALSE(bare.MenuAction(ID_GUIDE_MANUAL));
    EXPECT_TRUE(bare.MenuAction(ID_APP_ABOUT));
}

TEST_F(FrameTest, AdjustColourOpensTheColourFitManagerWithoutAPicture)
{
    ASSERT_NE(m_doc->m_pColorFitDlg, nullptr);
    EXPECT_FALSE(m_doc->m_pColorFitDlg->HasWindow()) << "made when first opened";
    EXPECT_TRUE(m_frame->RouteCommand(32859));
    auto* holder = dynamic_cast<CColorFitHolder*>(m_doc->m_pColorFitDlg.get());
    ASSERT_NE(holder, nullptr);
    CColorFitDlg* d = holder->Window();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->parentWidget(), m_frame.get());
    EXPECT_EQ(d->windowTitle(), QString("Color Fit Manager"));
    EXPECT_TRUE(d->m_original.name.empty());
    EXPECT_EQ(m_doc->m_pColorFitDlg->GetState(), 1);
    // The frame takes its window with it.
    m_frame.reset();
    EXPECT_FALSE(m_doc->m_pColorFitDlg->HasWindow());
}

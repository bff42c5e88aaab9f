// The application object and the frame's life: start-up picture placement, the recent-file
// list, the file-type registration, closing with changes or during a job, splitter drags.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QMouseEvent>
#include <QSplitterHandle>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "document/sm_doc.h"
#include "platform/settings_store.h"
#include "platform/system_services.h"
#include "shell/main_frame.h"
#include "shell/sm_app.h"
#include "shell/splitt.h"
#include "tests/shell/test_shell_support.h"

namespace fs = std::filesystem;
using platform::SettingsHive;

TEST(Splash, PictureGoesCentredCopiedStretchedOrAsAPanel)
{
    const QRect screen(0, 0, 1600, 1000);
    struct Case {
        QSize bitmap;
        SplashPlan::Kind kind;
        QRect stand, picture;
    };
    const Case cases[] = {
        {{520, 300}, SplashPlan::Copy, {540, 350, 520, 300}, {540, 350, 520, 300}},
        // One pixel short of the screen less 20 a side still fits; the full size does not.
        {{1559, 300}, SplashPlan::Copy, {21, 350, 1559, 300}, {21, 350, 1559, 300}},
        {{1560, 300}, SplashPlan::Stretch, {20, 350, 1560, 300}, {20, 350, 1560, 300}},
        // Twice the screen: the height limits, the aspect is kept.
        {{3200, 2400}, SplashPlan::Stretch, {-800, -700, 3200, 2400}, {160, 20, 1280, 960}},
        {{}, SplashPlan::Panel, {520, 320, 560, 360}, {520, 320, 560, 360}},
    };
    for (const Case& c : cases) {
        const SplashPlan p = PlanSplash(screen, c.bitmap);
        EXPECT_EQ(p.kind, c.kind) << c.bitmap.width();
        EXPECT_EQ(p.stand, c.stand) << c.bitmap.width();
        EXPECT_EQ(p.picture, c.picture) << c.bitmap.width();
    }
    // A panel on a screen smaller than itself is clipped to the screen.
    EXPECT_EQ(PlanSplash(QRect(0, 0, 500, 300), QSize()).picture, QRect(0, 0, 500, 300));
}

TEST(App, RecentFilesKeepFourNewestFirstInTheProfile)
{
    platform::CSettingsStore& store = platform::Settings();
    CSmApp app;
    for (const char* p : {"/a.fit", "/b.fit", "/c.fit", "/a.fit", "/d.fit", "/e.fit"})
        app.AddToRecentFileList(p);
    EXPECT_EQ(app.RecentFiles(), (std::vector<std::string>{"/e.fit", "/d.fit", "/a.fit", "/c.fit"}));
    store.Reload();
    EXPECT_EQ(store.GetProfileString("Recent File List", "File1", ""), "/e.fit");
    EXPECT_EQ(store.GetProfileString("Recent File List", "File4", ""), "/c.fit");
}

TEST(App, FileTypeRegistrationWritesOnlyTheClassesRoot)
{
    platform::CSettingsStore& store = platform::Settings();
    std::error_code ec;
    const bool userHiveBefore = fs::exists(store.HiveFile(SettingsHive::CurrentUser), ec);
    const bool machineHiveBefore = fs::exists(store.HiveFile(SettingsHive::LocalMachine), ec);
    CSmApp app;
    app.RegisterShellFileTypes();
    store.Reload();
    EXPECT_EQ(store.GetString(SettingsHive::ClassesRoot, ".fit", ""), "SeamoraPlan");
    EXPECT_EQ(store.GetString(SettingsHive::ClassesRoot, "SeamoraPlan", ""), "Seamora Plan");
    const std::optional<std::string> open = store.GetString(SettingsHive::ClassesRoot, "SeamoraPlan\\shell\\open\\command", "");
    ASSERT_TRUE(open);
    EXPECT_NE(open->find("\"%1\""), std::string::npos);
    EXPECT_EQ(fs::exists(store.HiveFile(SettingsHive::CurrentUser), ec), userHiveBefore);
    EXPECT_EQ(fs::exists(store.HiveFile(SettingsHive::LocalMachine), ec), machineHiveBefore);
}

namespace {

struct OpenFrame {
    shelltest::ScriptedServices services;
    CSmDoc doc;
    CMainFrame frame{&doc, nullptr};
    OpenFrame()
    {
        EXPECT_TRUE(frame.Create());
        frame.setWindowState(Qt::WindowNoState);
        frame.resize(1000, 700);
        frame.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&frame));
    }
};

} // namespace

TEST(FrameLife, ClosingAsksAboutChangesAndWaitsForARunningJob)
{
    OpenFrame f;
    f.doc.SetModifiedFlag(true);
    f.services.box.QueueAnswer(platform::IDCANCEL);
    EXPECT_FALSE(f.frame.close());
    EXPECT_TRUE(f.frame.isVisible());
    ASSERT_EQ(f.services.box.Shown().size(), 1u);

    {
        // While a job runs the user is asked whether to break it; No keeps the window.
        platform::JobScope job;
        f.doc.SetModifiedFlag(false);
        f.services.box.QueueAnswer(platform::IDNO);
        EXPECT_FALSE(f.frame.close());
        ASSERT_EQ(f.services.box.Shown().size(), 2u);
        EXPECT_NE(f.services.box.Shown()[1].find("job is still running"), std::string::npos);
        EXPECT_TRUE(f.frame.isVisible());
    }
    f.doc.SetModifiedFlag(true);
    f.services.box.QueueAnswer(platform::IDNO);
    EXPECT_TRUE(f.frame.close());
}

TEST(FrameLife, ASplitterDragIsRememberedForTheSideColumns)
{
    OpenFrame f;
    CSplitt* split = f.frame.Splitter();
    QSplitterHandle* handle = split->handle(2);  // between the work view and the manager pane
    ASSERT_TRUE(handle);
    const std::vector<int> before = f.frame.ColumnWidths();
    const QPoint start = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start - QPoint(60, 0)), handle->mapToGlobal(QPointF(start - QPoint(60, 0))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, start - QPoint(60, 0));
    const std::vector<int> w = f.frame.ColumnWidths();
    EXPECT_EQ(f.frame.Widths().managerWidth, w[2]);
    EXPECT_EQ(f.frame.Widths().finderWidth, w[0]);
    // The drag moved the bar (a view's capture rules do not take Qt's handles).
    EXPECT_GT(w[2], before[2] + 40);
    // The manager's width is known now: a resize keeps the side columns.
    f.frame.resize(1100, 700);
    QTest::qWait(20);
    EXPECT_EQ(f.frame.ColumnWidths()[2], w[2]);
}

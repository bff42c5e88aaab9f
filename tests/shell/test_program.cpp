// The program as a user starts it: a project named on the command line, saved under a new
// name, opened again, and the main window's structure.
#include <gtest/gtest.h>

#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/sm_doc.h"
#include "platform/input_state.h"
#include "platform/qt/qt_services.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/sm_app.h"
#include "views/sm_view.h"
#include "tests/shell/fitted_project.h"
#include "tests/shell/test_shell_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<char> Bytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Mean and largest difference of the colour channels of two images of one size.
std::pair<double, int> Difference(const QImage& a, const QImage& b)
{
    double sum = 0;
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                sum += std::abs(d);
                most = std::max(most, std::abs(d));
            }
        }
    return {sum / (3.0 * a.width() * a.height()), most};
}

} // namespace

TEST(Program, OpensAProjectSavesItUnchangedUnderANewNameAndOpensThatAgain)
{
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / "program";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string project = shelltest::MakeFittedProject(dir);
    const std::string copy = (dir / "copy.fit").string();

    CSmApp app;
    ASSERT_TRUE(shelltest::StartProgram(app, {"Smra_En", project}));
    shelltest::ScriptedServices services;

    CSmDoc* doc = app.Document();
    CMainFrame* frame = app.MainFrame();
    ASSERT_TRUE(doc && frame);
    EXPECT_EQ(doc->GetPictureCount(), 2);
    EXPECT_EQ(doc->GetPathName(), project);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->GetWindowText().rfind(doc->GetTitle(), 0), 0u) << frame->GetWindowText();
    ASSERT_FALSE(app.RecentFiles().empty());
    EXPECT_EQ(app.RecentFiles().front(), project);

    // Save As under a new name: the same bytes.
    services.dialog.QueuePath(copy);
    EXPECT_TRUE(frame->RouteCommand(ID_FILE_SAVE_PROJECT_AS));
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_EQ(Bytes(copy), Bytes(project));
    EXPECT_EQ(doc->GetPathName(), copy);

    // Opened again: the same pictures, unmodified; the recent list leads with it.
    EXPECT_TRUE(app.OpenDocumentFile(copy));
    EXPECT_EQ(doc->GetPictureCount(), 2);
    EXPECT_EQ(doc->GetPicture(0)->m_Path, (dir / "photo0.png").string());
    EXPECT_EQ(doc->GetPicture(1)->m_Path, (dir / "photo1.png").string());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(app.RecentFiles().front(), copy);
    EXPECT_TRUE(services.box.Shown().empty());

    // The window: menus, bars on top in order, three columns with the first split in two,
    // four status panes.
    frame->setWindowState(Qt::WindowNoState);
    frame->resize(1000, 700);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    // The work view draws its pictures in idle time: the look is taken once it has drawn them,
    // however busy the machine is.
    for (int waited = 0; waited < 10000 && !(frame->WorkView()->m_loadQueue.empty() && frame->WorkView()->m_strLoading.empty());
         waited += 20)
        QTest::qWait(20);
    QTest::qWait(50);
    QStringList menus;
    for (QAction* a : frame->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&View", "&Process", "&Guide"}));
    EXPECT_EQ(frame->TopBarOrder(), (std::vector<int>{BAR_FINDER, BAR_PIECES, BAR_IMAGE, BAR_RENDERING}));
    ASSERT_EQ(frame->ColumnWidths().size(), 3u);
    EXPECT_EQ(frame->FinderSplitter()->count(), 2);
    ASSERT_TRUE(frame->StatusPanes());
    EXPECT_EQ(frame->StatusPanes()->PaneCount(), 4);
    EXPECT_EQ(frame->StatusPanes()->PaneText(3), "SCRL");

    // A coarse look: the grab shrunk to 40 x 28 against the reviewed reference.
    const QImage grab = frame->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage small = grab.scaled(40, 28, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString reference = QStringLiteral(SMRA_SOURCE_DIR "/tests/shell/reference/main_window_40x28.png");
    if (qEnvironmentVariableIsSet("SMRA_WRITE_REFERENCE")) {
        small.save(reference);
        grab.save(QString::fromStdString((dir / "main_window.png").string()));
    }
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(expected.size(), small.size()) << "missing reference " << reference.toStdString();
    const auto [mean, most] = Difference(small, expected);
    EXPECT_LT(mean, 8.0);
    EXPECT_LT(most, 96);
}

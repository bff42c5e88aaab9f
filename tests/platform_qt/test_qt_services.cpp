// The Qt system services: program start without a shell, document open of missing files,
// message-box answers and file-dialog filters.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <fstream>

#include "platform/qt/qt_services.h"
#include "platform/qt/resources.h"

namespace fs = std::filesystem;
using namespace platform;
using namespace platform::qt;

namespace {

// Records the files the desktop was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened << url.toLocalFile(); }
};

fs::path Scratch(const char* name)
{
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

} // namespace

TEST(QtServices, ProgramsStartWithTheirArgumentsAsTheyStandNeverThroughAShell)
{
    const fs::path dir = Scratch("launcher");
    const std::string odd = (dir / "a b;touch injected").string();
    CQtProcessLauncher launcher;
    EXPECT_GT(launcher.Start("/usr/bin/touch", {odd}, SW_HIDE), 32);
    for (int i = 0; i < 200 && !fs::exists(odd); ++i)
        QTest::qWait(10);
    EXPECT_TRUE(fs::exists(odd));
    EXPECT_FALSE(fs::exists(dir / "injected"));
    EXPECT_FALSE(fs::exists("injected"));
    EXPECT_LE(launcher.Start((dir / "no-such-program").string(), {}, SW_SHOWNORMAL), 32);
    EXPECT_LE(launcher.Start("", {}, SW_SHOWNORMAL), 32);
}

TEST(QtServices, ShellOpenFailsForAMissingFileWithoutAskingTheDesktop)
{
    const fs::path dir = Scratch("shell_open");
    std::ofstream(dir / "SmGuide.htm") << "<html></html>";
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    CQtShellOpen shell;
    EXPECT_EQ(shell.Open("SmMnl.htm", dir.string(), SW_SHOWNORMAL), kStartFileNotFound);
    EXPECT_TRUE(recorder.opened.isEmpty());
    EXPECT_GT(shell.Open("SmGuide.htm", dir.string(), SW_SHOWNORMAL), 32);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_EQ(recorder.opened[0].toStdString(), (dir / "SmGuide.htm").string());
}

TEST(QtServices, MessageBoxAnswersWithTheButtonPressed)
{
    struct Case {
        unsigned type;
        QMessageBox::StandardButton press;  // NoButton: the box is closed with Escape
        int answer;
    };
    const Case cases[] = {
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::No, IDNO},
        {MB_YESNO, QMessageBox::Yes, IDYES},
        {MB_YESNOCANCEL, QMessageBox::NoButton, IDCANCEL},
        {MB_OKCANCEL, QMessageBox::Ok, IDOK},
        {MB_OK, QMessageBox::NoButton, IDOK},
        {MB_RETRYCANCEL, QMessageBox::Retry, IDRETRY},
    };
    CQtMessageBox box;
    for (const Case& c : cases) {
        QTimer::singleShot(0, [&] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(shown);
            if (c.press == QMessageBox::NoButton)
                QTest::keyClick(shown, Qt::Key_Escape);
            else
                shown->button(c.press)->click();
        });
        EXPECT_EQ(box.Show("Would you like to terminate this operation ?", c.type), c.answer) << c.type;
    }
}

TEST(QtServices, FiltersBecomeQtNameFilters)
{
    EXPECT_EQ(ToQtFilters("Seamora(*.fit) | *.fit | All files | *.* ||"),
              (QStringList{"Seamora(*.fit)", "All files (*.*)"}));
    EXPECT_EQ(ToQtFilters("Pictures | *.jpg;*.JPEG; *.png | |"), (QStringList{"Pictures (*.jpg *.JPEG *.png)"}));
    EXPECT_TRUE(ToQtFilters("").isEmpty());
}

TEST(QtServices, CursorsAndIconsLoadOnceFromTheDrawnFiles)
{
    InstallQtServices();
    LoadCursorsAndIcons();
    for (int id : kIconIds) {
        EXPECT_EQ(IconHandle(id), id);
        EXPECT_FALSE(AppIcon(id).isNull()) << id;
    }
    for (int id : kCursorIds) {
        EXPECT_EQ(CursorHandle(id), id);
        EXPECT_EQ(AppCursor(id).shape(), Qt::BitmapCursor) << id;
    }
    // Ids outside the lists have no handle: the arrow and no icon.
    EXPECT_EQ(AppCursor(174).shape(), Qt::ArrowCursor);
    EXPECT_TRUE(AppIcon(128).isNull());
    EXPECT_FALSE(LoadBitmapResource(308).isNull());
    EXPECT_TRUE(LoadBitmapResource(9999).isNull());
    RemoveQtServices();
}

#include "test_qt_services.moc"

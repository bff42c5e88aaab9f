// The installer's windows on the offscreen platform: the main dialog's default button, a long
// question that must fit the screen, and the file dialogs' history file.
#include "tests/setup/setup_fixture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "setup/pages/setup_pages.h"
#include "tests/platform_qt/qt_app.h"

SMRA_QT_TEST_APP();

namespace setuptest {
namespace {

class PagesTest : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        qui.autoAnswer = true;
        qui.noPause = true;
    }
    setup::CQtUi qui;
};

TEST_F(PagesTest, EnterAfterAClickInTheDestinationRunsTheInstallation)
{
    MakeDist("[Setup]\nName=T\n[Root]\nName=App\n[CopyFile]\n0=a.txt\n", {{"a.txt", "a"}});
    setup::CSetup s(qui, folders, *store);
    ASSERT_EQ(s.Prepare(dist + "/setup", ""), 0);
    s.OpenMainDialog();
    setup::CMainDialog dlg(s, qui, nullptr);
    qui.m_main = &dlg;
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    auto* edit = dlg.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    // The person looks around the buttons first, then clicks into the box.
    for (QPushButton* b : dlg.findChildren<QPushButton*>())
        if (b->isVisible())
            b->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(edit, Qt::LeftButton);
    ASSERT_TRUE(edit->hasFocus());
    QTest::keyClick(edit, Qt::Key_Return);
    qui.m_main = nullptr;
    EXPECT_EQ(s.RunState(), 3);
    EXPECT_EQ(Get(home + "/App/a.txt"), "a");
    s.EndRun();
}

TEST_F(PagesTest, ALongQuestionScrollsWithinTheScreen)
{
    qui.autoAnswer = false;
    std::string text = "New file exist...\r\n\r\n";
    for (int i = 0; i < 54; ++i)
        text += home + "/App/res/file" + std::to_string(i) + ".png\r\n";
    text += "\r\nOverwrite?";
    bool checked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || !w->isVisible())
            return;
        poll.stop();
        const QRect avail = w->screen()->availableGeometry();
        EXPECT_LE(w->frameGeometry().height(), avail.height());
        EXPECT_TRUE(avail.contains(w->frameGeometry())) << "inside the screen";
        auto* list = w->findChild<QPlainTextEdit*>();
        EXPECT_NE(list, nullptr);
        if (list) {
            EXPECT_GT(list->verticalScrollBar()->maximum(), 0) << "the list scrolls";
            EXPECT_NE(list->toPlainText().indexOf("file53.png"), -1);
        }
        auto* box = w->findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        checked = true;
        box->button(QDialogButtonBox::Yes)->click();
    });
    poll.start(10);
    EXPECT_EQ(qui.MessageBox(text, "T", setup::Buttons::YesNo, setup::Icon::Question, false), setup::IDYES);
    EXPECT_TRUE(checked);
}

TEST_F(PagesTest, TheFileDialogsHistoryGoesWhenTheInstallerMadeIt)
{
    const std::string conf = home + "/.config/QtProject.conf";
    {
        setup::CQtProjectGuard guard;
        Put(conf, "[FileDialog]\nhistory=x\n");
    }
    EXPECT_FALSE(fs::exists(conf));
    EXPECT_FALSE(fs::exists(home + "/.config")) << "the folder it made for it goes too";
    Put(conf, "[FileDialog]\nhistory=mine\n");
    {
        setup::CQtProjectGuard guard;
        Put(conf, "[FileDialog]\nhistory=changed\n");
    }
    EXPECT_TRUE(fs::exists(conf)) << "a history the user had stays";
}

TEST_F(PagesTest, ALargeCopyShowsItsProgressUntilItEnds)
{
    qui.CopyProgress("big.bin", 0, 1000);
    qui.CopyProgress("big.bin", 400, 1000);
    QProgressDialog* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->isVisible())
            shown = p;
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->value(), 400);
    EXPECT_NE(shown->labelText().indexOf("big.bin"), -1);
    qui.CopyProgress("big.bin", 1000, 1000);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QProgressDialog*>(w) && w->isVisible()) << "closed at the end";
}

} // namespace
} // namespace setuptest

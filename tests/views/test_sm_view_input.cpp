// The work view's input on the real widget under Qt's offscreen platform: Qt events are
// translated into the input logic's events, the view takes focus on a click, keys arrive as
// their codes, a drag of another pane is taken over by the clock's age, and the area command
// used twice in one second leaves the area shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include "document/sm_doc.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "tests/platform_qt/qt_app.h"
#include "views/display_service.h"
#include "views/sm_view.h"
#include "views/work_input.h"

SMRA_QT_TEST_APP();

namespace {

struct InputFixture : ::testing::Test {
    void SetUp() override
    {
        platform::SetMessageBox(&box);
        platform::SetClock(&clock);
        views::SetDisplayService([this] { return display; });
        doc = std::make_unique<CSmDoc>();
        view = std::make_unique<CSmView>();
        view->resize(800, 600);
        doc->AddView(view.get());
        view->OnInitialUpdate();
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    void TearDown() override
    {
        view.reset();
        doc.reset();
        views::SetDisplayService(nullptr);
        platform::SetClock(nullptr);
        platform::SetMessageBox(nullptr);
    }
    // A mouse event on the view's client area with the given buttons held.
    void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QWidget* vp = view->viewport();
        QMouseEvent e(type, QPointF(at), QPointF(vp->mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    }

    platform::FakeMessageBox box;
    platform::FakeClock clock;
    views::DisplayInfo display{{640, 400}, 32, 0};
    std::unique_ptr<CSmDoc> doc;
    std::unique_ptr<CSmView> view;
};

} // namespace

TEST_F(InputFixture, AreaCommandTwiceInOneSecondLeavesTheAreaShown)
{
    // The command reaches the view.
    EXPECT_TRUE(view->OnCommand(32803));
    EXPECT_EQ(doc->m_areaShown, 1);
    EXPECT_FALSE(view->OnCommand(32802));
    view->OnProcessSetRenderingArea();
    EXPECT_EQ(doc->m_areaShown, 1);
    platform::LocalTime nextSecond;
    nextSecond.second = 13;
    clock.SetTime(nextSecond);
    view->OnProcessSetRenderingArea();
    EXPECT_EQ(doc->m_areaShown, 0);
    EXPECT_EQ(doc->m_renderSetup, -5);
}

TEST_F(InputFixture, ClickTakesFocusAndEmptyCanvasPressStartsAPan)
{
    view->clearFocus();
    Send(QEvent::MouseButtonPress, {400, 300}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(view->hasFocus());
    ASSERT_NE(view->Input(), nullptr);
    EXPECT_EQ(view->Input()->m_nMouseState, 0);
    EXPECT_EQ(view->Input()->m_ptPanStart, CPoint(400, 300));
    Send(QEvent::MouseButtonRelease, {400, 300}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(view->Input()->m_ptPanStart, CPoint());
}

TEST_F(InputFixture, ArrowKeyMovesTheHoveredAreaEdge)
{
    doc->m_areaShown = 1;
    doc->m_renderArea = CRect(-100, -50, 100, 50);
    const CPoint s = view->GetScrollPosition();   // handles are in view units
    view->m_rcAreaHandles[6] = CRect(s.x + 100, s.y + 100, s.x + 134, s.y + 134);
    Send(QEvent::MouseMove, {110, 110}, Qt::NoButton, Qt::NoButton);
    ASSERT_EQ(view->Input()->m_nHoverHandle, 6);
    QTest::keyClick(view.get(), Qt::Key_Right);
    EXPECT_EQ(doc->m_renderArea, CRect(-100, -50, 101, 50));
    QTest::keyClick(view.get(), Qt::Key_Left);
    QTest::keyClick(view.get(), Qt::Key_Left);
    EXPECT_EQ(doc->m_renderArea, CRect(-100, -50, 99, 50));
    // While pressed, the drawing sees the grabbed handle.
    Send(QEvent::MouseButtonPress, {110, 110}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(view->m_nGrabbedHandle, 6);
    Send(QEvent::MouseButtonRelease, {110, 110}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(view->m_nGrabbedHandle, 0);
}

TEST_F(InputFixture, DragOfAnotherPaneIsTakenOverOnlyWhileFresh)
{
    const int e = doc->AllocateEntry();
    ASSERT_GE(e, 0);
    doc->m_entries[e].m_Name = "/photos/a.jpg";
    doc->m_entries[e].m_Size = CSize(4000, 3000);
    doc->m_entries[e].m_State = 3;
    doc->m_droppedNames = "/photos/a.jpg";
    doc->m_thumbDragState = 5;

    doc->m_thumbDragTick = static_cast<int>(clock.TickCount() - 1000);
    Send(QEvent::MouseMove, {300, 300}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(view->Input()->m_nMouseState, 0);

    doc->m_thumbDragTick = static_cast<int>(clock.TickCount() - 999);
    Send(QEvent::MouseMove, {300, 300}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(view->Input()->m_nMouseState, 2);
    EXPECT_EQ(view->Input()->m_nPressKind, 5);
    EXPECT_EQ(view->Input()->m_nDragEntry, e);
    EXPECT_TRUE(view->m_dragImage.visible);
    Send(QEvent::MouseButtonRelease, {1200, 300}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(view->Input()->m_nMouseState, 0);
    EXPECT_FALSE(view->m_dragImage.visible);
}

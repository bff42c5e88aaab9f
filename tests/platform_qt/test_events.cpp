// Event routing of the window layer: mouse capture, the long-job pump and the idle calls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "platform/clock.h"
#include "platform/input_state.h"
#include "platform/qt/idle_driver.h"
#include "platform/qt/input_filter.h"
#include "platform/qt/job_pump.h"
#include "platform/qt/surface_widget.h"
#include "platform/system_services.h"

using namespace platform::qt;

namespace {

// Remembers the mouse events it was given: type, local point and held buttons.
class RecordingWidget : public CSurfaceWidget {
public:
    using CSurfaceWidget::CSurfaceWidget;
    struct Seen {
        QEvent::Type type;
        QPoint local;
        Qt::MouseButtons buttons;
    };
    std::vector<Seen> seen;
    int keys = 0;

protected:
    void mousePressEvent(QMouseEvent* e) override { Note(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { Note(e); }
    void mouseMoveEvent(QMouseEvent* e) override { Note(e); }
    void keyPressEvent(QKeyEvent*) override { ++keys; }

private:
    void Note(QMouseEvent* e) { seen.push_back({e->type(), e->position().toPoint(), e->buttons()}); }
};

// A window with two panes side by side, A on the left and B on the right.
struct TwoPanes {
    QWidget window;
    RecordingWidget* a;
    RecordingWidget* b;
    TwoPanes()
    {
        window.setGeometry(100, 100, 300, 100);
        a = new RecordingWidget(&window);
        b = new RecordingWidget(&window);
        a->setGeometry(0, 0, 150, 100);
        b->setGeometry(150, 0, 150, 100);
        a->setMouseTracking(true);
        b->setMouseTracking(true);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        CInputFilter::Instance();
    }
    // Sends a mouse event to `to` as Qt would, the cursor being at `global`.
    static void Send(QWidget* to, QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF local = to->mapFromGlobal(QPointF(global));
        QMouseEvent e(type, local, local, QPointF(global), button, held, Qt::NoModifier);
        QApplication::sendEvent(to, &e);
    }
};

struct ClockGuard {
    platform::FakeClock clock;
    ClockGuard() { platform::SetClock(&clock); }
    ~ClockGuard() { platform::SetClock(nullptr); }
};

} // namespace

TEST(InputFilter, CaptureTakesEveryMouseEventAndHandsOverAfterRelease)
{
    TwoPanes w;
    const QPoint overB = w.b->mapToGlobal(QPoint(20, 30));
    platform::DefaultInput().Reset();

    // The press lands on A, which takes the capture.
    TwoPanes::Send(w.a, QEvent::MouseButtonPress, w.a->mapToGlobal(QPoint(10, 10)), Qt::LeftButton, Qt::LeftButton);
    SetCapture(w.a);
    EXPECT_TRUE(platform::DefaultInput().KeyState(platform::Key::LeftButton));

    // Captured: a move over B still goes to A, in A's coordinates.
    TwoPanes::Send(w.b, QEvent::MouseMove, overB, Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(w.a->seen.size(), 2u);
    EXPECT_EQ(w.a->seen[1].local, QPoint(170, 30));
    EXPECT_TRUE(w.b->seen.empty());
    EXPECT_EQ(platform::DefaultInput().CursorPos(), CPoint(overB.x(), overB.y()));

    // Released with the button still held: Qt keeps sending to A, the move goes to B, flagged.
    ReleaseCapture();
    TwoPanes::Send(w.a, QEvent::MouseMove, overB, Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(w.b->seen.size(), 1u);
    EXPECT_EQ(w.b->seen[0].type, QEvent::MouseMove);
    EXPECT_EQ(w.b->seen[0].local, QPoint(20, 30));
    EXPECT_EQ(w.b->seen[0].buttons, Qt::LeftButton);
    EXPECT_EQ(w.a->seen.size(), 2u);

    // ... and so does the release.
    TwoPanes::Send(w.a, QEvent::MouseButtonRelease, overB, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(w.b->seen.size(), 2u);
    EXPECT_EQ(w.b->seen[1].type, QEvent::MouseButtonRelease);
    EXPECT_FALSE(platform::DefaultInput().KeyState(platform::Key::LeftButton));

    // Without capture or button a widget keeps its own events.
    TwoPanes::Send(w.a, QEvent::MouseMove, w.a->mapToGlobal(QPoint(5, 5)), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w.a->seen.size(), 3u);
}

TEST(InputFilter, QtsOwnWidgetsKeepTheirMouseEventsWhileAButtonIsHeld)
{
    TwoPanes w;
    // A plain Qt widget (a splitter handle, a scroll bar) between the panes.
    struct Plain : QWidget {
        using QWidget::QWidget;
        int moves = 0;
        void mouseMoveEvent(QMouseEvent*) override { ++moves; }
    } plain(&w.window);
    plain.setGeometry(140, 0, 20, 100);
    plain.show();
    const QPoint overB = w.b->mapToGlobal(QPoint(40, 30));
    TwoPanes::Send(&plain, QEvent::MouseMove, overB, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(plain.moves, 1);
    EXPECT_TRUE(w.b->seen.empty());
    // A view's drag over a plain widget stays with the view.
    TwoPanes::Send(w.a, QEvent::MouseMove, plain.mapToGlobal(QPoint(5, 5)), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.a->seen.size(), 1u);
    EXPECT_EQ(plain.moves, 1);
}

TEST(JobPump, DeliversPaintsButNoUserInputAndRefusesClosing)
{
    ClockGuard clock;
    TwoPanes w;
    platform::DefaultInput().Reset();
    QApplication::processEvents();
    const int drawsBefore = w.a->DrawCount();

    w.a->Invalidate(false);
    const QPoint at = w.a->mapToGlobal(QPoint(10, 10));
    const QPointF local(10, 10);
    QCoreApplication::postEvent(w.a, new QMouseEvent(QEvent::MouseButtonPress, local, local, QPointF(at),
                                                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(w.a, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::postEvent(&w.window, new QCloseEvent());
    // The refused close is handed on once the delivery is over, when input flows again.
    std::vector<QWidget*> handed;
    bool inputFlows = false;
    CJobPump::SetRefusedCloseHandler([&](QWidget* window) {
        handed.push_back(window);
        inputFlows = !CInputFilter::Instance().JobRunning() && !CJobPump::Pumping();
    });

    CJobPump::Pump(true);
    CJobPump::Pump(true);
    CJobPump::SetRefusedCloseHandler(nullptr);

    EXPECT_EQ(handed, std::vector<QWidget*>{&w.window});
    EXPECT_TRUE(inputFlows);
    EXPECT_GT(w.a->DrawCount(), drawsBefore);
    EXPECT_TRUE(w.a->seen.empty());
    EXPECT_EQ(w.a->keys, 0);
    EXPECT_TRUE(w.window.isVisible());
    // The gestures were recorded for the break poll.
    EXPECT_TRUE(platform::DefaultInput().AsyncKeyState(platform::Key::LeftButton));
    EXPECT_TRUE(platform::DefaultInput().AsyncKeyState(platform::Key::Escape));
    // After the job the widgets get their input again.
    EXPECT_FALSE(CInputFilter::Instance().JobRunning());
    TwoPanes::Send(w.a, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w.a->seen.size(), 1u);
}

TEST(JobPump, DeliversAtMostEveryFiftyMilliseconds)
{
    ClockGuard clock;
    CJobPump::Pump(true);
    const int n = CJobPump::Deliveries();
    CJobPump::Pump();
    clock.clock.Advance(49);
    CJobPump::Pump();
    EXPECT_EQ(CJobPump::Deliveries(), n);
    clock.clock.Advance(1);
    CJobPump::Pump();
    EXPECT_EQ(CJobPump::Deliveries(), n + 1);
}

TEST(IdleDriver, CountsCallsStopsOnFalseAndRestartsAfterInput)
{
    std::vector<long> counts;
    CIdleDriver idle([&](long count) {
        counts.push_back(count);
        return count < 4;
    });
    for (int i = 0; i < 50 && idle.Active(); ++i)
        QApplication::processEvents();
    EXPECT_EQ(counts, (std::vector<long>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(idle.Active());
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    EXPECT_EQ(counts.size(), 5u);

    // A key press starts a new series at 0.
    QWidget target;
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(&target, &key);
    EXPECT_TRUE(idle.Active());
    for (int i = 0; i < 50 && idle.Active(); ++i)
        QApplication::processEvents();
    ASSERT_EQ(counts.size(), 10u);
    EXPECT_EQ(counts[5], 0);
    EXPECT_EQ(counts[9], 4);
}

TEST(IdleDriver, MakesNoCallsWhileAJobPumps)
{
    ClockGuard clock;
    int calls = 0;
    CIdleDriver idle([&](long) {
        ++calls;
        return true;
    });
    CJobPump::Pump(true);
    EXPECT_EQ(calls, 0);

    // Nor while a job waits for an answer in an event loop of its own (a question's); the
    // calls come back when the job is over.
    {
        const platform::JobScope job;
        QEventLoop loop;
        QTimer::singleShot(60, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_EQ(calls, 0);
    for (int i = 0; i < 200 && calls == 0; ++i)
        QTest::qWait(5);
    EXPECT_GT(calls, 0);
}

// The main window's size at start where no window manager maximises it.
#include <gtest/gtest.h>

#include <QScreen>
#include <QTest>
#include <QWidget>

#include "shell/sm_app.h"

TEST(StartSize, AFrameMeantToBeMaximisedButLeftSmallTakesTheScreensFreeArea)
{
    struct Case {
        const char* what;
        Qt::WindowStates state;
        bool shown;
        QSize size;  // empty: the free area itself
        bool fills;
    };
    const Case cases[] = {
        {"maximised, left small", Qt::WindowMaximized, true, {320, 200}, true},
        {"maximised, a little short of the free area", Qt::WindowMaximized, true, {}, false},
        {"restored by the user", Qt::WindowNoState, true, {320, 200}, false},
        {"not shown yet", Qt::WindowMaximized, false, {320, 200}, false},
    };
    for (const Case& c : cases) {
        QWidget frame;
        frame.setWindowState(c.state);
        if (c.shown) {
            frame.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame)) << c.what;
        }
        ASSERT_TRUE(frame.screen()) << c.what;
        const QRect free = frame.screen()->availableGeometry();
        const QSize size = c.size.isEmpty() ? free.size() * 19 / 20 : c.size;
        frame.setGeometry(QRect(free.topLeft() + QPoint(10, 10), size));
        frame.setWindowState(c.state);
        const QRect before = frame.geometry();
        FillScreenUnlessMaximised(frame);
        if (c.fills)
            EXPECT_EQ(frame.geometry(), free) << c.what;
        else
            EXPECT_EQ(frame.geometry(), before) << c.what;
    }
}

// The calibration target: where the dots and the frame go, what closes it, and the cursor
// kept off the pattern.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <functional>

#include "shell/calib_pattern.h"

TEST(CalibPattern, LayoutFollowsTheClientSize)
{
    struct Case {
        int w, h;
        bool drawn;
        int r, p, c, n, x0, y0;
    };
    const Case cases[] = {
        {1000, 700, true, 9, 27, 35, 24, 27, 26},
        {0, 0, false, 0, 0, 0, 0, 0, 0},
        {40, 40, false, 0, 0, 0, 0, 0, 0},
        {41, 41, true, 1, 3, 0, 0, 20, 20},
        {100, 100, true, 1, 3, 20, 20, 20, 20},
        {140, 140, true, 1, 3, 33, 33, 20, 20},
        {141, 60, true, 1, 3, 33, 6, 21, 21},
    };
    for (const Case& c : cases) {
        const std::optional<CalibPatternLayout> l = CalibPatternLayoutFor(c.w, c.h);
        ASSERT_EQ(l.has_value(), c.drawn) << c.w << "x" << c.h;
        if (!l)
            continue;
        EXPECT_EQ(l->radius, c.r) << c.w;
        EXPECT_EQ(l->pitch, c.p) << c.w;
        EXPECT_EQ(l->columns, c.c) << c.w;
        EXPECT_EQ(l->rows, c.n) << c.w;
        EXPECT_EQ(l->x0, c.x0) << c.w;
        EXPECT_EQ(l->y0, c.y0) << c.w;
    }
}

namespace {
QImage Painted(int w, int h)
{
    QImage img(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    img.fill(Qt::green);
    QPainter p(&img);
    PaintCalibPattern(p, w, h);
    p.end();
    return img;
}
} // namespace

TEST(CalibPattern, PaintsRedFrameWhiteDotsOnBlack)
{
    const int w = 1000, h = 700;
    const QImage img = Painted(w, h);
    const QRgb red = qRgb(0xFF, 0x0A, 0x0A), white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    // The frame: ten lines from 20 to 29 pixels inside every edge; black outside and the first
    // pixel inside it is no longer red.
    for (int d = 20; d < 30; ++d) {
        EXPECT_EQ(img.pixel(d, h / 2), red) << d;
        EXPECT_EQ(img.pixel(w - 1 - d, h / 2), red) << d;
        EXPECT_EQ(img.pixel(w / 2 + 1, d), red) << d;
        EXPECT_EQ(img.pixel(w / 2 + 1, h - 1 - d), red) << d;
    }
    // Outside the frame, between two rows of dots, all is black.
    const CalibPatternLayout l = *CalibPatternLayoutFor(w, h);
    const int between = l.y0 + 5 * l.pitch + l.pitch / 2;
    for (int d : {0, 10, 19}) {
        EXPECT_EQ(img.pixel(d, between), black) << d;
        EXPECT_EQ(img.pixel(w - 1 - d, between), black) << d;
    }
    // Dot centres are white, the middle between four dots black; 36 dots a row.
    int whiteCentres = 0;
    for (int i = 0; i <= l.columns; ++i) {
        const int x = l.x0 + i * l.pitch, y = l.y0 + 5 * l.pitch;
        if (x > 30 && x < w - 31) {
            EXPECT_EQ(img.pixel(x, y), white) << i;
        }
        // The outermost dots lie under the frame.
        whiteCentres += img.pixel(x, y) == white || img.pixel(x, y) == red;
        if (i < l.columns && x > 30) {
            EXPECT_EQ(img.pixel(x + l.pitch / 2, y + l.pitch / 2), black) << i;
        }
    }
    EXPECT_EQ(whiteCentres, 36);
    // Nothing of the green background is left anywhere.
    for (int y = 0; y < h; y += 7)
        for (int x = 0; x < w; x += 3)
            ASSERT_NE(img.pixel(x, y), qRgb(0, 255, 0)) << x << "," << y;
}

TEST(CalibPattern, SmallClientsPaintWithoutFault)
{
    for (int s : {0, 1, 39, 40, 41, 45, 60, 99, 100, 139, 140}) {
        const QImage img = Painted(s, s);
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x)
                ASSERT_NE(img.pixel(x, y), qRgb(0, 255, 0)) << s << ": " << x << "," << y;
        if (s > 0 && s <= 40) {
            EXPECT_EQ(img.pixel(s / 2, s / 2), qRgb(0, 0, 0)) << s;
        }
    }
}

TEST(CalibPattern, CursorGoesToTheRightOrBottomEdge)
{
    struct Case {
        QRect client;
        QPoint at;
        std::optional<QPoint> to;
    };
    const QRect c(0, 0, 1000, 700);      // usable area x 2..990, y 0..690
    const QRect o(100, 50, 1000, 700);   // the same, moved
    const Case cases[] = {
        {c, {500, 300}, QPoint(991, 300)},
        {c, {2, 0}, QPoint(991, 0)},
        {c, {1, 300}, std::nullopt},
        {c, {991, 300}, std::nullopt},
        {c, {990, 300}, QPoint(991, 300)},
        {c, {500, 685}, QPoint(991, 685)},
        {c, {500, 686}, QPoint(500, 691)},
        {c, {500, 690}, QPoint(500, 691)},
        {c, {500, 691}, std::nullopt},
        {o, {600, 350}, QPoint(1091, 350)},
        {o, {600, 736}, QPoint(600, 741)},
        {o, {101, 350}, std::nullopt},
        {o, {600, 49}, std::nullopt},
    };
    for (const Case& k : cases)
        EXPECT_EQ(CalibCursorTarget(k.client, k.at), k.to) << k.at.x() << "," << k.at.y();
}

TEST(CalibPattern, AnyKeyOrButtonClosesThePattern)
{
    const std::vector<std::pair<const char*, std::function<void(QWidget*)>>> closers = {
        {"key pressed", [](QWidget* w) { QTest::keyPress(w, Qt::Key_A); }},
        {"key released that was pressed before", [](QWidget* w) { QTest::keyRelease(w, Qt::Key_Space); }},
        {"left button", [](QWidget* w) { QTest::mousePress(w, Qt::LeftButton, {}, QPoint(50, 50)); }},
        {"right button", [](QWidget* w) { QTest::mousePress(w, Qt::RightButton, {}, QPoint(50, 50)); }},
    };
    for (const auto& [what, close] : closers) {
        CCalibPatternDlg dlg;
        bool seen = false;
        QTimer::singleShot(0, &dlg, [&, close = close] {
            seen = dlg.isVisible();
            close(&dlg);
        });
        dlg.setResult(5);
        EXPECT_EQ(dlg.DoModal(), 0) << what;
        EXPECT_TRUE(seen) << what;
    }
}

namespace {
// Runs `step` on the next modal window that appears.
void OnNextModal(std::function<void(QWidget*)> step)
{
    QTimer::singleShot(0, [step = std::move(step)] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        step(w);
    });
}
} // namespace

TEST(CalibPattern, DistortionDialogShowsANewPatternOnEveryPress)
{
    CDistortionDlg dlg;
    int patterns = 0;
    std::function<void(QWidget*)> pressShow;
    pressShow = [&](QWidget* d) {
        auto* show = qobject_cast<CDistortionDlg*>(d)->GetDlgItem(1325);
        ASSERT_NE(show, nullptr);
        OnNextModal([&](QWidget* p) {
            ASSERT_NE(p, d);
            EXPECT_TRUE(p->windowTitle().startsWith("Calibration Pattern   - Take some pictures"));
            ++patterns;
            QTest::keyRelease(p, Qt::Key_Escape);
            OnNextModal([&](QWidget* again) {
                if (patterns < 2)
                    pressShow(again);
                else
                    QTest::mouseClick(qobject_cast<CDistortionDlg*>(again)->GetDlgItem(1), Qt::LeftButton);
            });
        });
        QTest::mouseClick(show, Qt::LeftButton);
    };
    OnNextModal(pressShow);
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_EQ(patterns, 2);
    EXPECT_EQ(dlg.windowTitle(), QString("Analyse Distortion Pattern"));
}

// The lens calibration target and its dialog.
#include "shell/calib_pattern.h"

#include <QCursor>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {
constexpr int kFrameInset = 20;
constexpr int kFrameLines = 10;
const QColor kFrameRed(0xFF, 0x0A, 0x0A);
} // namespace

std::optional<CalibPatternLayout> CalibPatternLayoutFor(int width, int height)
{
    CalibPatternLayout l;
    l.inner = QRect(kFrameInset, kFrameInset, width - 2 * kFrameInset, height - 2 * kFrameInset);
    if (l.inner.width() <= 0 || l.inner.height() <= 0)
        return std::nullopt;
    // A narrow area would give a zero radius and so a zero pitch: keep one pixel.
    l.radius = std::max(1, l.inner.width() / 100);
    l.pitch = 3 * l.radius;
    l.columns = l.inner.width() / l.pitch;
    l.rows = l.inner.height() / l.pitch;
    l.x0 = (width - l.columns * l.pitch) / 2;
    l.y0 = (height - l.rows * l.pitch) / 2;
    return l;
}

void PaintCalibPattern(QPainter& painter, int width, int height)
{
    painter.fillRect(QRect(0, 0, width, height), Qt::black);
    const std::optional<CalibPatternLayout> l = CalibPatternLayoutFor(width, height);
    if (!l)
        return;
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    const int r = l->radius;
    for (int i = 0; i <= l->columns; ++i)
        for (int j = 0; j <= l->rows; ++j) {
            const int x = l->x0 + i * l->pitch;
            const int y = l->y0 + j * l->pitch;
            painter.drawEllipse(QRect(x - r, y - r, 2 * r, 2 * r));
        }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kFrameRed, 1));
    QRect frame = l->inner;
    for (int k = 0; k < kFrameLines && frame.width() > 0 && frame.height() > 0; ++k) {
        // The outline of `frame`, covering its first through last pixel.
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        frame.adjust(1, 1, -1, -1);
    }
}

std::optional<QPoint> CalibCursorTarget(const QRect& clientOnScreen, QPoint cursor)
{
    // Exclusive right and bottom edges, as the window's rectangle gives them.
    const int left = clientOnScreen.left() + 2;
    const int top = clientOnScreen.top();
    const int right = clientOnScreen.left() + clientOnScreen.width() - 9;
    const int bottom = clientOnScreen.top() + clientOnScreen.height() - 9;
    if (cursor.x() < left || cursor.x() >= right || cursor.y() < top || cursor.y() >= bottom)
        return std::nullopt;
    if (cursor.y() >= bottom - 5)
        return QPoint(cursor.x(), bottom);
    return QPoint(right, cursor.y());
}

CCalibPatternDlg::CCalibPatternDlg(QWidget* parent) : CDialogBase(parent)
{
    setWindowTitle(QStringLiteral(
        "Calibration Pattern   - Take some pictures of this Calibration Pattern with several zoom "
        "rates of your camera.  Click any key or mouse button to close this window."));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint | Qt::WindowMaximizeButtonHint);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CCalibPatternDlg::showEvent(QShowEvent* e)
{
    CDialogBase::showEvent(e);
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(QRect(QPoint(0, 0), screen->geometry().size()));
    raise();
}

void CCalibPatternDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    PaintCalibPattern(p, width(), height());
}

// Any key, pressed or released (also one pressed before the window appeared), or a mouse
// button closes the window.
void CCalibPatternDlg::keyPressEvent(QKeyEvent*) { done(0); }
void CCalibPatternDlg::keyReleaseEvent(QKeyEvent*) { done(0); }
void CCalibPatternDlg::mousePressEvent(QMouseEvent*) { done(0); }

void CCalibPatternDlg::mouseMoveEvent(QMouseEvent* e)
{
    CDialogBase::mouseMoveEvent(e);
    const QRect client(mapToGlobal(QPoint(0, 0)), size());
    if (std::optional<QPoint> to = CalibCursorTarget(client, QCursor::pos()))
        QCursor::setPos(*to);
}

CDistortionDlg::CDistortionDlg(QWidget* parent) : CDialogBase(parent)
{
    setWindowTitle(QStringLiteral("Analyse Distortion Pattern"));
    auto* grid = new QGridLayout(this);
    auto* show = new QPushButton(QStringLiteral("Show Pattern"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("cancel"), this);
    ok->setDefault(true);
    grid->addWidget(show, 0, 0);
    grid->addWidget(ok, 0, 1);
    grid->addWidget(cancel, 1, 1);
    AddControl(1325, show);
    AddControl(1, ok);
    AddControl(2, cancel);
}

void CDistortionDlg::OnCommand(int id, int code)
{
    if (id == 1325 && code == platform::qt::BN_CLICKED) {
        OnShowPattern();
        return;
    }
    CDialogBase::OnCommand(id, code);
}

void CDistortionDlg::OnShowPattern()
{
    CCalibPatternDlg pattern(nullptr);
    pattern.DoModal();
}

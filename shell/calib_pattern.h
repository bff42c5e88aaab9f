// The lens calibration target: a grid of white dots inside a red frame on black, shown over
// the whole desktop for the user to photograph, and the small dialog that shows it.
#pragma once

#include <QPoint>
#include <QRect>

#include <optional>

#include "platform/qt/dialog_base.h"

class QPainter;

// Where the dots go in a client area of the given size. The inner rectangle lies 20 pixels
// inside the edge; the dot radius is a hundredth of its width (at least 1), the pitch three
// radii; the (columns + 1) x (rows + 1) dots are centred in the client area.
struct CalibPatternLayout {
    QRect inner;
    int radius = 0;
    int pitch = 0;
    int columns = 0;
    int rows = 0;
    int x0 = 0;
    int y0 = 0;
};

// Nothing when the inner rectangle is empty: then only black is painted.
std::optional<CalibPatternLayout> CalibPatternLayoutFor(int width, int height);

// Paints the pattern into a client area of the given size.
void PaintCalibPattern(QPainter& painter, int width, int height);

// Keeps the cursor off the pattern: given the client rectangle in screen coordinates and the
// cursor, the place the cursor is moved to, or nothing when it may stay.
std::optional<QPoint> CalibCursorTarget(const QRect& clientOnScreen, QPoint cursor);

class CCalibPatternDlg : public platform::qt::CDialogBase {
    Q_OBJECT
public:
    explicit CCalibPatternDlg(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
};

class CDistortionDlg : public platform::qt::CDialogBase {
    Q_OBJECT
public:
    explicit CDistortionDlg(QWidget* parent = nullptr);

protected:
    void OnCommand(int id, int code) override;
    // Runs the pattern window modally; a new one on every press.
    virtual void OnShowPattern();
};

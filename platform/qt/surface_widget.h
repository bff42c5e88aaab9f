// A window whose client area is drawn into an image of its own size and copied to the screen.
// Invalidate marks the window for drawing and erases the image only when asked, so a drawing
// may build on what the previous one left; UpdateWindow draws at once when something is marked.
#pragma once

#include <QImage>
#include <QWidget>

#include "common/basic_types.h"
#include "platform/qt/gdi_context.h"

namespace platform::qt {

class CSurfaceWidget : public QWidget {
    Q_OBJECT
public:
    explicit CSurfaceWidget(QWidget* parent = nullptr);

    // Marks the whole client area for drawing; `erase` first fills it with the background.
    void Invalidate(bool erase = true);
    // Marks one rectangle (client pixels).
    void InvalidateRect(const CRect& r, bool erase = true);
    // Draws the marked part now (nothing when nothing is marked).
    void UpdateWindow();

    CRect GetClientRect() const { return {0, 0, width(), height()}; }
    void SetBackground(COLORREF c) { m_background = c; }
    COLORREF Background() const { return m_background; }
    // The client image as last drawn.
    const QImage& Surface() const { return m_surface; }
    // Number of times the drawing ran (for the event pump's checks).
    int DrawCount() const { return m_drawCount; }

protected:
    // Draws the client area into the context; the default draws nothing.
    virtual void OnDraw(CGdiContext& dc);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void EnsureSurface();

    QImage m_surface;
    QRegion m_dirty;
    QRegion m_erase;
    COLORREF m_background = RGB(255, 255, 255);
    int m_drawCount = 0;
};

} // namespace platform::qt

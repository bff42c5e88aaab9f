// A scrolling view over QAbstractScrollArea: a total size in view units, page and line sizes
// (by default a tenth of the total and a tenth of the page), the scroll position as the view
// position of the client's top-left corner, client <-> view conversions, and the bars' actions
// as scroll codes handed to OnHScroll / OnVScroll, which set the position. The client area is
// drawn into an image of its own size through OnDraw and copied to the screen.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>

#include "common/basic_types.h"
#include "platform/qt/dialog_base.h"
#include "platform/qt/gdi_context.h"

namespace views {

// Scroll codes of the bars: the window layer's.
using platform::qt::SB_BOTTOM;
using platform::qt::SB_ENDSCROLL;
using platform::qt::SB_LINEDOWN;
using platform::qt::SB_LINEUP;
using platform::qt::SB_PAGEDOWN;
using platform::qt::SB_PAGEUP;
using platform::qt::SB_THUMBPOSITION;
using platform::qt::SB_THUMBTRACK;
using platform::qt::SB_TOP;

class CScrollViewBase : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CScrollViewBase(QWidget* parent = nullptr);

    // Total size in view units; a zero page or line size takes the default.
    void SetScrollSizes(CSize total, CSize page = {}, CSize line = {});
    CSize GetTotalSize() const { return m_total; }
    CSize GetPageSize() const { return m_page; }
    CSize GetLineSize() const { return m_line; }
    CPoint GetScrollPosition() const;
    // Moves the view so that the point is at the client's top-left (clamped to the range).
    void ScrollToPosition(CPoint p);
    // Sets the bars without moving the drawn contents (the next paint shows the new place).
    void SetScrollPos(CPoint p);
    // Client pixels <-> view units.
    CPoint DPtoLP(CPoint p) const { return p + GetScrollPosition(); }
    CPoint LPtoDP(CPoint p) const { return p - GetScrollPosition(); }
    CRect GetClientRect() const { return {0, 0, viewport()->width(), viewport()->height()}; }

    void Invalidate() { viewport()->update(); }
    // Draws now.
    void UpdateWindow() { viewport()->repaint(); }
    // The client image as last drawn.
    const QImage& Surface() const { return m_surface; }

    // A bar's action: the new position from the code (`track` for the thumb codes).
    virtual void OnHScroll(int code, int track);
    virtual void OnVScroll(int code, int track);

protected:
    virtual void OnDraw(platform::qt::CGdiContext& dc) = 0;
    // After the position changed (by a bar or by ScrollToPosition).
    virtual void OnScrolled(CSize /*delta*/) {}
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyRanges();
    int NewPosition(int code, int track, int pos, int page, int line, int total) const;
    void OnBarAction(bool horizontal, int action);

    CSize m_total{1000, 1000};
    CSize m_page{100, 100};
    CSize m_line{10, 10};
    QImage m_surface;
    bool m_settingPos = false;
};

} // namespace views

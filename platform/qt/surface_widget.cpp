// Client-sized drawing surface of a window.
#include "platform/qt/surface_widget.h"

#include <QPaintEvent>
#include <QPainter>

#include "platform/qt/qt_colour.h"

namespace platform::qt {

CSurfaceWidget::CSurfaceWidget(QWidget* parent) : QWidget(parent)
{
    // The image covers every pixel, so Qt need not clear the window first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSurfaceWidget::EnsureSurface()
{
    const QSize want(std::max(1, width()), std::max(1, height()));
    if (m_surface.size() == want)
        return;
    QImage fresh(want, QImage::Format_RGB32);
    fresh.fill(ToQRgb(m_background));
    if (!m_surface.isNull()) {
        QPainter p(&fresh);
        p.drawImage(0, 0, m_surface);
    }
    m_surface = std::move(fresh);
    m_dirty = QRegion(QRect(QPoint(0, 0), want));
}

void CSurfaceWidget::Invalidate(bool erase) { InvalidateRect(GetClientRect(), erase); }

void CSurfaceWidget::InvalidateRect(const CRect& r, bool erase)
{
    if (r.IsRectEmpty())
        return;
    const QRect q(r.left, r.top, r.Width(), r.Height());
    m_dirty += q;
    if (erase)
        m_erase += q;
    update(q);
}

void CSurfaceWidget::UpdateWindow()
{
    if (!m_dirty.isEmpty())
        repaint(m_dirty);
}

void CSurfaceWidget::OnDraw(CGdiContext&) {}

void CSurfaceWidget::paintEvent(QPaintEvent* event)
{
    EnsureSurface();
    m_dirty += event->region();
    if (!m_erase.isEmpty()) {
        QPainter p(&m_surface);
        for (const QRect& q : m_erase)
            p.fillRect(q, QColor::fromRgb(ToQRgb(m_background)));
        m_erase = QRegion();
    }
    {
        CGdiContext dc(m_surface);
        CRgn clip;
        for (const QRect& q : m_dirty)
            clip.Union({q.x(), q.y(), q.x() + q.width(), q.y() + q.height()});
        dc.SelectClipRgn(&clip);
        OnDraw(dc);
        ++m_drawCount;
    }
    m_dirty = QRegion();
    QPainter screen(this);
    screen.drawImage(event->rect(), m_surface, event->rect());
}

void CSurfaceWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    EnsureSurface();
}

} // namespace platform::qt

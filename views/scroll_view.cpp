#include "views/scroll_view.h"

#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace views {

CScrollViewBase::CScrollViewBase(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The bars' actions become scroll codes; the handlers decide the position.
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this](int action) { OnBarAction(true, action); });
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this](int action) { OnBarAction(false, action); });
    // Letting go of a thumb.
    connect(horizontalScrollBar(), &QAbstractSlider::sliderReleased, this,
            [this] { OnHScroll(SB_THUMBPOSITION, horizontalScrollBar()->sliderPosition()); });
    connect(verticalScrollBar(), &QAbstractSlider::sliderReleased, this,
            [this] { OnVScroll(SB_THUMBPOSITION, verticalScrollBar()->sliderPosition()); });
    ApplyRanges();
}

void CScrollViewBase::SetScrollSizes(CSize total, CSize page, CSize line)
{
    m_total = {std::max(total.cx, 0), std::max(total.cy, 0)};
    m_page = {page.cx > 0 ? page.cx : m_total.cx / 10, page.cy > 0 ? page.cy : m_total.cy / 10};
    m_line = {line.cx > 0 ? line.cx : m_page.cx / 10, line.cy > 0 ? line.cy : m_page.cy / 10};
    ApplyRanges();
}

void CScrollViewBase::ApplyRanges()
{
    const CRect c = GetClientRect();
    m_settingPos = true;
    horizontalScrollBar()->setRange(0, std::max(0, m_total.cx - c.Width()));
    verticalScrollBar()->setRange(0, std::max(0, m_total.cy - c.Height()));
    horizontalScrollBar()->setPageStep(std::max(1, m_page.cx));
    verticalScrollBar()->setPageStep(std::max(1, m_page.cy));
    horizontalScrollBar()->setSingleStep(std::max(1, m_line.cx));
    verticalScrollBar()->setSingleStep(std::max(1, m_line.cy));
    m_settingPos = false;
}

CPoint CScrollViewBase::GetScrollPosition() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void CScrollViewBase::ScrollToPosition(CPoint p)
{
    horizontalScrollBar()->setValue(p.x);
    verticalScrollBar()->setValue(p.y);
}

void CScrollViewBase::SetScrollPos(CPoint p)
{
    m_settingPos = true;
    horizontalScrollBar()->setValue(p.x);
    verticalScrollBar()->setValue(p.y);
    m_settingPos = false;
    viewport()->update();
}

int CScrollViewBase::NewPosition(int code, int track, int pos, int page, int line, int total) const
{
    switch (code) {
    case SB_LINEUP: return pos - line;
    case SB_LINEDOWN: return pos + line;
    case SB_PAGEUP: return pos - page;
    case SB_PAGEDOWN: return pos + page;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: return track;
    case SB_TOP: return 0;
    case SB_BOTTOM: return total;
    default: return pos;
    }
}

void CScrollViewBase::OnHScroll(int code, int track)
{
    const int p = NewPosition(code, track, GetScrollPosition().x, m_page.cx, m_line.cx, m_total.cx);
    horizontalScrollBar()->setValue(p);
}

void CScrollViewBase::OnVScroll(int code, int track)
{
    const int p = NewPosition(code, track, GetScrollPosition().y, m_page.cy, m_line.cy, m_total.cy);
    verticalScrollBar()->setValue(p);
}

void CScrollViewBase::OnBarAction(bool horizontal, int action)
{
    QScrollBar* bar = horizontal ? horizontalScrollBar() : verticalScrollBar();
    int code = SB_ENDSCROLL;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
    case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
    case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
    case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
    case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
    default: return;
    }
    // The bar has already stepped; the handler decides from the old position.
    const int old = horizontal ? GetScrollPosition().x : GetScrollPosition().y;
    const int track = bar->sliderPosition();
    m_settingPos = true;
    bar->setSliderPosition(old);
    m_settingPos = false;
    if (horizontal)
        OnHScroll(code, track);
    else
        OnVScroll(code, track);
}

void CScrollViewBase::scrollContentsBy(int dx, int dy)
{
    if (!m_settingPos)
        OnScrolled({-dx, -dy});
    viewport()->update();
}

void CScrollViewBase::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    ApplyRanges();
}

void CScrollViewBase::paintEvent(QPaintEvent*)
{
    const QSize s = viewport()->size();
    if (s.isEmpty())
        return;
    if (m_surface.size() != s)
        m_surface = QImage(s, QImage::Format_RGB32);
    {
        platform::qt::CGdiContext dc(m_surface);
        OnDraw(dc);
    }
    QPainter painter(viewport());
    painter.drawImage(0, 0, m_surface);
}

} // namespace views

// Splitter handles that report the end of a drag.
#include "shell/splitt.h"

#include <QMouseEvent>
#include <QSplitterHandle>

namespace {

class CSplittHandle : public QSplitterHandle {
public:
    CSplittHandle(Qt::Orientation o, CSplitt* parent) : QSplitterHandle(o, parent), m_owner(parent) {}

protected:
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        QSplitterHandle::mouseReleaseEvent(e);
        if (e->button() == Qt::LeftButton)
            m_owner->OnDragEnded();
    }

private:
    CSplitt* m_owner;
};

} // namespace

CSplitt::CSplitt(QWidget* parent) : QSplitter(Qt::Horizontal, parent)
{
    setObjectName(QStringLiteral("CSplitt"));
    setChildrenCollapsible(false);
    setHandleWidth(6);
}

QSplitterHandle* CSplitt::createHandle() { return new CSplittHandle(orientation(), this); }

void CSplitt::OnDragEnded()
{
    const QList<int> s = sizes();
    if (s.size() == 3 && m_listener)
        m_listener(s[0], s[2]);
}

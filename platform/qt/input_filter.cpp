// Input board feeding, mouse capture routing and the job-time input guard.
#include "platform/qt/input_filter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/input_state.h"
#include "platform/qt/surface_widget.h"

namespace platform::qt {
namespace {

bool IsMouseEvent(QEvent::Type t)
{
    return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease ||
           t == QEvent::MouseButtonDblClick || t == QEvent::MouseMove;
}

bool IsUserInput(QEvent::Type t)
{
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Drop:
    case QEvent::DragEnter:
    case QEvent::DragMove:
        return true;
    default:
        return false;
    }
}

// The program's own windows, written for the capture rules.
bool IsView(QWidget* w) { return qobject_cast<CSurfaceWidget*>(w) != nullptr; }

bool KeyOf(int qtKey, Key& key)
{
    switch (qtKey) {
    case Qt::Key_Escape: key = Key::Escape; return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: key = Key::Return; return true;
    case Qt::Key_Control: key = Key::Control; return true;
    case Qt::Key_Shift: key = Key::Shift; return true;
    default: return false;
    }
}

bool ButtonOf(Qt::MouseButton b, Key& key)
{
    switch (b) {
    case Qt::LeftButton: key = Key::LeftButton; return true;
    case Qt::RightButton: key = Key::RightButton; return true;
    case Qt::MiddleButton: key = Key::MiddleButton; return true;
    default: return false;
    }
}

} // namespace

CInputFilter& CInputFilter::Instance()
{
    static CInputFilter* filter = [] {
        auto* f = new CInputFilter();
        if (QCoreApplication* app = QCoreApplication::instance()) {
            app->installEventFilter(f);
            f->setParent(app);
        }
        return f;
    }();
    return *filter;
}

CInputFilter::CInputFilter() = default;

void CInputFilter::SetCapture(QWidget* w) { m_capture = w; }
void CInputFilter::ReleaseCapture() { m_capture = nullptr; }

void CInputFilter::Record(QEvent* event)
{
    InputState& board = DefaultInput();
    Key key;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (ButtonOf(me->button(), key))
            board.Press(key);
        board.SetCursorPos({int(me->globalPosition().x()), int(me->globalPosition().y())});
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (ButtonOf(me->button(), key))
            board.Release(key);
        board.SetCursorPos({int(me->globalPosition().x()), int(me->globalPosition().y())});
        break;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        board.SetCursorPos({int(me->globalPosition().x()), int(me->globalPosition().y())});
        break;
    }
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (!ke->isAutoRepeat() && KeyOf(ke->key(), key))
            board.Press(key);
        break;
    }
    case QEvent::KeyRelease: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (!ke->isAutoRepeat() && KeyOf(ke->key(), key))
            board.Release(key);
        break;
    }
    default:
        break;
    }
}

bool CInputFilter::Route(QWidget* target, QEvent* event)
{
    auto* me = static_cast<QMouseEvent*>(event);
    // An open popup menu keeps its own mouse grab.
    if (QApplication::activePopupWidget())
        return false;
    QWidget* to = nullptr;
    if (m_capture) {
        to = m_capture;
    } else if (IsView(target) && ((event->type() == QEvent::MouseMove && me->buttons() != Qt::NoButton) ||
                                  event->type() == QEvent::MouseButtonRelease)) {
        // Qt keeps sending to the view that took the press; without a capture the view under
        // the cursor gets the event instead. Qt's own widgets (buttons, splitter handles,
        // scroll bars) keep Qt's rules.
        QWidget* under = QApplication::widgetAt(me->globalPosition().toPoint());
        if (IsView(under))
            to = under;
    }
    if (!to || to == target)
        return false;
    const QPointF local = to->mapFromGlobal(me->globalPosition());
    QMouseEvent copy(me->type(), local, local, me->globalPosition(), me->button(), me->buttons(),
                     me->modifiers(), me->pointingDevice());
    m_routing = true;
    QCoreApplication::sendEvent(to, &copy);
    m_routing = false;
    return true;
}

QWidget* CInputFilter::TakeRefusedClose()
{
    QWidget* w = m_refusedClose.data();
    m_refusedClose.clear();
    return w;
}

bool CInputFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type t = event->type();
    // Input reaches the filter once per widget it is offered to (a widget that ignores an event
    // passes it to its parent); recording is idempotent, so that does no harm.
    if (IsUserInput(t) && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (m_routing)
            return false;
        Record(event);
        if (m_jobRunning) {
            ++m_swallowed;
            return true;
        }
        if (IsMouseEvent(t) && Route(w, event))
            return true;
        if (m_onInput)
            m_onInput();
        return false;
    }
    if (t == QEvent::Close && m_jobRunning && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
        ++m_refusedCloses;
        m_refusedClose = static_cast<QWidget*>(watched);
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace platform::qt

// The application-wide event filter: it keeps the process-wide input board (keys, buttons,
// cursor) up to date for long jobs, routes mouse events by the capture rules the views are
// written for, and, while a long job pumps events, keeps user input and window closing away
// from the widgets.
//
// Capture rules: while a widget holds the capture it receives every mouse event, wherever the
// cursor is. Once the capture is released with a button still held, moves (and the release)
// go to the view under the cursor, with the held buttons flagged in the event. Views are the
// program's drawing surfaces; Qt's own widgets keep Qt's rules.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace platform::qt {

class CInputFilter : public QObject {
    Q_OBJECT
public:
    // The filter of the running application, installed on first use.
    static CInputFilter& Instance();

    void SetCapture(QWidget* w);
    void ReleaseCapture();
    QWidget* GetCapture() const { return m_capture.data(); }

    // While set, user input is recorded on the board and then swallowed, and windows refuse to
    // close (a long job is pumping events).
    void SetJobRunning(bool running) { m_jobRunning = running; }
    bool JobRunning() const { return m_jobRunning; }
    // Number of user-input events swallowed during jobs and of refused close requests.
    int SwallowedInput() const { return m_swallowed; }
    int RefusedCloses() const { return m_refusedCloses; }

    // Called after every user input outside a job (the idle calls restart then).
    void SetInputListener(std::function<void()> listener) { m_onInput = std::move(listener); }

    // The window whose close was refused during the job's last event delivery (none when no
    // close was asked for), forgotten once taken. The job pump hands it on when the delivery is
    // over, so that the program can ask what to do while the user can answer.
    QWidget* TakeRefusedClose();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CInputFilter();
    void Record(QEvent* event);
    bool Route(QWidget* target, QEvent* event);

    QPointer<QWidget> m_capture;
    bool m_jobRunning = false;
    bool m_routing = false;
    int m_swallowed = 0;
    int m_refusedCloses = 0;
    QPointer<QWidget> m_refusedClose;
    std::function<void()> m_onInput;
};

// Capture in the style of the views: SetCapture(this) / ReleaseCapture().
inline void SetCapture(QWidget* w) { CInputFilter::Instance().SetCapture(w); }
inline void ReleaseCapture() { CInputFilter::Instance().ReleaseCapture(); }
inline QWidget* GetCapture() { return CInputFilter::Instance().GetCapture(); }

} // namespace platform::qt

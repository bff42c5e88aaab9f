// Idle calls: while the event queue is empty the handler is called again and again with a
// count that starts at 0; when it answers false the calls stop (no timer keeps running) until
// the next user input, which starts a new series at 0. No calls are made while a long job
// pumps events.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace platform::qt {

class CIdleDriver : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<bool(long count)>;

    explicit CIdleDriver(Handler handler, QObject* parent = nullptr);
    ~CIdleDriver() override;

    // Starts a new series of idle calls at count 0 (also done on every user input).
    void Wake();
    bool Active() const { return m_timer.isActive(); }
    long Count() const { return m_count; }

private:
    void OnTimer();

    Handler m_handler;
    QTimer m_timer;
    long m_count = 0;
};

} // namespace platform::qt

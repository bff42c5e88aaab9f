// Idle calls on a zero-interval timer, which Qt fires only when no other event is waiting.
#include "platform/qt/idle_driver.h"

#include "platform/qt/input_filter.h"
#include "platform/qt/job_pump.h"
#include "platform/system_services.h"

namespace platform::qt {

CIdleDriver::CIdleDriver(Handler handler, QObject* parent) : QObject(parent), m_handler(std::move(handler))
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &CIdleDriver::OnTimer);
    CInputFilter::Instance().SetInputListener([this] { Wake(); });
    m_timer.start();
}

CIdleDriver::~CIdleDriver() { CInputFilter::Instance().SetInputListener({}); }

void CIdleDriver::Wake()
{
    m_count = 0;
    if (!m_timer.isActive())
        m_timer.start();
}

void CIdleDriver::OnTimer()
{
    if (CJobPump::Pumping())
        return;
    // A question asked during a long job runs its own event loop: the idle work, which drives
    // the engine too, waits until the job is over.
    if (platform::IsJobRunning()) {
        m_timer.setInterval(50);
        return;
    }
    m_timer.setInterval(0);
    const bool more = m_handler ? m_handler(m_count) : false;
    ++m_count;
    if (!more)
        m_timer.stop();
}

} // namespace platform::qt

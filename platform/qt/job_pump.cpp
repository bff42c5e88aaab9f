// Event delivery during long jobs.
#include "platform/qt/job_pump.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/clock.h"
#include "platform/qt/input_filter.h"

namespace platform::qt {
namespace {
bool g_started = false;
uint32_t g_lastTick = 0;
int g_deliveries = 0;
bool g_pumping = false;
std::function<void(QWidget*)> g_onRefusedClose;
} // namespace

void CJobPump::Pump(bool force)
{
    if (g_pumping || !QCoreApplication::instance())
        return;
    const uint32_t now = Clock().TickCount();
    if (!force && g_started && now - g_lastTick < 50u)
        return;
    g_started = true;
    g_lastTick = now;
    CInputFilter& filter = CInputFilter::Instance();
    const bool wasRunning = filter.JobRunning();
    filter.SetJobRunning(true);
    g_pumping = true;
    // Posted paints and expired timers are delivered; input reaches only the filter's board.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    g_pumping = false;
    filter.SetJobRunning(wasRunning);
    ++g_deliveries;
    if (!wasRunning && g_onRefusedClose)
        if (QWidget* window = filter.TakeRefusedClose())
            g_onRefusedClose(window);
}

void CJobPump::SetRefusedCloseHandler(std::function<void(QWidget*)> handler) { g_onRefusedClose = std::move(handler); }

int CJobPump::Deliveries() { return g_deliveries; }
bool CJobPump::Pumping() { return g_pumping; }

} // namespace platform::qt

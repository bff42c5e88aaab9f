// The system clock.
#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace platform {
namespace {

class SystemClock : public IClock {
public:
    uint32_t TickCount() override
    {
        using namespace std::chrono;
        return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    LocalTime Now() override
    {
        using namespace std::chrono;
        const auto now = system_clock::now();
        const std::time_t t = system_clock::to_time_t(now);
        std::tm tm{};
        localtime_r(&t, &tm);
        LocalTime lt;
        lt.year = tm.tm_year + 1900;
        lt.month = tm.tm_mon + 1;
        lt.day = tm.tm_mday;
        lt.hour = tm.tm_hour;
        lt.minute = tm.tm_min;
        lt.second = tm.tm_sec;
        lt.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
        return lt;
    }
};

SystemClock g_systemClock;
IClock* g_clock = &g_systemClock;

} // namespace

IClock& Clock() { return *g_clock; }
void SetClock(IClock* clock) { g_clock = clock ? clock : &g_systemClock; }

} // namespace platform

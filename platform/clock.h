// The clock of the program: a millisecond tick count and the local time. Process-wide and
// replaceable, so that tests drive time by hand.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since an arbitrary start; wraps like a 32-bit counter.
    virtual uint32_t TickCount() = 0;
    virtual LocalTime Now() = 0;
};

// The clock in use: the system clock unless a test installed another.
IClock& Clock();
// Installs a clock (not owned); nullptr restores the system clock.
void SetClock(IClock* clock);

// A clock that moves only when told to.
class FakeClock : public IClock {
public:
    uint32_t TickCount() override { return m_tick; }
    LocalTime Now() override { return m_time; }
    void Advance(uint32_t ms)
    {
        m_tick += ms;
        uint64_t total = static_cast<uint64_t>(m_time.millisecond) + ms;
        m_time.millisecond = static_cast<int>(total % 1000);
        uint64_t secs = static_cast<uint64_t>(m_time.second) + total / 1000;
        m_time.second = static_cast<int>(secs % 60);
        uint64_t mins = static_cast<uint64_t>(m_time.minute) + secs / 60;
        m_time.minute = static_cast<int>(mins % 60);
        m_time.hour = static_cast<int>((m_time.hour + mins / 60) % 24);
    }
    void SetTick(uint32_t t) { m_tick = t; }
    void SetTime(const LocalTime& t) { m_time = t; }

private:
    uint32_t m_tick = 100000;
    LocalTime m_time;
};

} // namespace platform

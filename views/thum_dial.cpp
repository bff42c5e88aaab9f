// The timer dial's run-down and its hand geometry.
#include "views/thum_dial.h"

#include <cmath>

#include "common/value_types.h"
#include "platform/clock.h"

namespace thumdial {
namespace {

uint32_t g_lastTick = 0;
int g_wobbleStep = 1;

// Waits until `ms` have passed since the last step, letting events through; never longer than
// the wait limit. Then the step's tick is remembered.
void WaitSinceLastStep(uint32_t ms, const DialHooks& hooks)
{
    platform::IClock& clock = platform::Clock();
    const uint32_t start = clock.TickCount();
    for (;;) {
        const uint32_t now = clock.TickCount();
        if (now - g_lastTick >= ms || now - start >= kWaitLimitMs)
            break;
        if (hooks.pump)
            hooks.pump();
    }
    g_lastTick = clock.TickCount();
}

void Draw(const DialHooks& hooks, int value)
{
    if (hooks.drawHand)
        hooks.drawHand(value);
}

} // namespace

void ResetDialProcessState()
{
    g_lastTick = 0;
    g_wobbleStep = 1;
}

int RunDial(DialState& s, int target, int mode, const DialHooks& hooks)
{
    if (target == 1) {
        // Wait until the click on the timer is released.
        platform::IClock& clock = platform::Clock();
        const uint32_t start = clock.TickCount();
        while (hooks.breakKeyDown && hooks.breakKeyDown() && clock.TickCount() - start < kWaitLimitMs) {
            if (hooks.pump)
                hooks.pump();
        }
        Draw(hooks, s.value);
        return 0;
    }
    if (s.value >= kRestValue) {
        // A fresh start: wind down from the rest value.
        while (target < s.value) {
            WaitSinceLastStep(10, hooks);
            if (s.value > kTurn && target < kTurn)
                s.value = kTurn;
            s.value -= Clamp((s.value - target) / 4, 1, s.value);
            Draw(hooks, s.value);
        }
    }
    if (mode == 3) {
        if (target < s.value) {
            s.value -= 1;
        } else {
            s.value += g_wobbleStep;
            g_wobbleStep = -g_wobbleStep;
        }
    } else if (s.value >= target) {
        s.wobbles = 0;
        while (target < s.value) {
            WaitSinceLastStep(2, hooks);
            s.value -= Clamp((s.value - target) / 10, 2, s.value);
            Draw(hooks, s.value);
        }
        return 1;
    } else {
        s.value += g_wobbleStep;
        g_wobbleStep = -g_wobbleStep;
        if (++s.wobbles > 10) {
            s.value = target;
            s.wobbles = 0;
        }
    }
    Draw(hooks, s.value);
    return 0;
}

HandTips ComputeHandTips(int value)
{
    // 0.5236 is one twelfth of a turn, 3.1416 the dial's pi.
    const double hour = value * 2 * 3.1416 / kTurn;
    const double minute = std::fmod(hour, 0.5236) * 12;
    const double second = std::fmod(minute, 0.5236) * 12;
    HandTips t;
    t.centre = {79, 71};
    auto tip = [&](double r, double a) {
        return CPoint(int(t.centre.x - r * std::sin(a)), int(t.centre.y - r * std::cos(a)));
    };
    t.hour = tip(24, hour);
    t.minute = tip(27, minute);
    t.second = tip(33, second);
    return t;
}

} // namespace thumdial

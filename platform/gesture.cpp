// The cursor-circling gesture detector; its time base is the program clock.
#include "platform/gesture.h"

#include <cmath>

#include "platform/clock.h"

namespace {

struct GestureState {
    int lastX = 0;
    int lastY = 0;
    long long lastSeconds = 0;
    int lastMilliseconds = 0;
    int lastAngle = 0;
    int lastChange = 0;
    int turn = 0;
};

GestureState g_state;

long long SecondsOfDay(const platform::LocalTime& t)
{
    return static_cast<long long>(t.hour) * 3600 + t.minute * 60 + t.second;
}

} // namespace

void ResetCirclingSpeed() { g_state = GestureState(); }

double GetCirclingSpeed(int x, int y)
{
    const platform::LocalTime now = platform::Clock().Now();
    const long long nowSeconds = SecondsOfDay(now);
    const long long s = nowSeconds - g_state.lastSeconds;
    const long long e = s * 1000 + now.millisecond - g_state.lastMilliseconds;
    if (s < 0 || s > 2 || e > 1000) {
        g_state = GestureState();
        g_state.lastSeconds = nowSeconds;
        g_state.lastMilliseconds = now.millisecond;
        return 0.0;
    }
    if (e < 5)
        return 0.0;

    double result = 0.0;
    int angle = 0;
    int change = 0;
    if (g_state.lastX != 0 || g_state.lastY != 0) {
        angle = static_cast<int>(1000.0 * std::atan2(static_cast<double>(y - g_state.lastY),
                                                     static_cast<double>(x - g_state.lastX)));
        if (g_state.lastAngle != 0) {
            change = angle - g_state.lastAngle;
            if (g_state.lastChange != 0) {
                if (static_cast<long long>(g_state.lastChange) * change > 0) {
                    g_state.turn += change;
                    g_state.turn -= g_state.turn / 50;
                    if (g_state.turn > 3000 || g_state.turn < -3000)
                        result = change * std::hypot(static_cast<double>(x - g_state.lastX),
                                                     static_cast<double>(y - g_state.lastY)) / static_cast<double>(e);
                } else {
                    g_state.turn = 0;
                }
            }
        }
    }
    g_state.lastSeconds = nowSeconds;
    g_state.lastMilliseconds = now.millisecond;
    g_state.lastX = x;
    g_state.lastY = y;
    g_state.lastAngle = angle;
    g_state.lastChange = change;
    return result;
}

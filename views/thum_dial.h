// The timer dial of the picture information pane, without drawing: how the shown value runs
// down towards the long job's target, and where the three hands end. The waits between steps
// read the program clock, let pending events through, and give up after three seconds.
#pragma once

#include <functional>

#include "common/basic_types.h"

namespace thumdial {

// One full turn of the hour hand.
constexpr int kTurn = 8640;
// The value at rest and after every reset.
constexpr int kRestValue = 25920;
// The longest a single wait of the dial lasts, in milliseconds of the program clock.
constexpr unsigned kWaitLimitMs = 3000;

struct DialState {
    int value = kRestValue;
    int wobbles = 0;
};

struct DialHooks {
    std::function<void(int value)> drawHand;
    // Whether a break key or button is down (the click on the timer not yet released).
    std::function<bool()> breakKeyDown;
    // Lets pending events through while the dial waits.
    std::function<void()> pump;
};

// Moves the dial one drawing towards `target` in step mode `mode` (3: no measurable
// progress); draws every intermediate value. Answers 1 after a run-down, else 0.
int RunDial(DialState& state, int target, int mode, const DialHooks& hooks);

// End points of the hour, minute and second hands for a value, from the dial's corner.
struct HandTips {
    CPoint centre, hour, minute, second;
};
HandTips ComputeHandTips(int value);

// Process-wide values: the tick of the last step and the wobble step (back to 0 and 1).
void ResetDialProcessState();

} // namespace thumdial

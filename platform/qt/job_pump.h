// The event pump of long jobs. A job runs on the main thread and calls Pump at every break
// poll; at most every 50 ms the pump lets Qt deliver paint and timer events, while the input
// filter records break gestures (buttons, Escape, Return) and keeps all user input and window
// closing away from the widgets until the pump returns.
#pragma once

#include <cstdint>
#include <functional>

class QWidget;

namespace platform::qt {

class CJobPump {
public:
    // Delivers pending events when 50 ms or more have passed since the last delivery (or
    // always when `force`).
    static void Pump(bool force = false);
    // Number of deliveries so far.
    static int Deliveries();
    // True while the pump is delivering events.
    static bool Pumping();
    // Called after a delivery in which a window's close was refused, with that window, once
    // user input reaches the widgets again (a question can be answered then). None by default.
    static void SetRefusedCloseHandler(std::function<void(QWidget*)> handler);
};

} // namespace platform::qt

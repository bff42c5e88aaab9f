// Status-bar texts with their expiry, and the break-key poll.
#include "platform/status_bar.h"

#include <cstdint>

#include "platform/clock.h"
#include "platform/input_state.h"

namespace platform {
namespace {
IStatusBar* g_bar = nullptr;
} // namespace

IStatusBar* StatusBar() { return g_bar; }
void SetStatusBar(IStatusBar* bar) { g_bar = bar; }

} // namespace platform

namespace {
uint32_t g_statusTick = 0;
const char* const kBlankStatus = "   ";
} // namespace

void SetStatusText(int pane, const std::string& text)
{
    if (platform::IStatusBar* bar = platform::StatusBar())
        bar->SetPaneText(pane, text);
    ExpireStatusText(3);
}

void ClearStatusText()
{
    if (platform::IStatusBar* bar = platform::StatusBar())
        bar->SetPaneText(0, kBlankStatus);
}

void ExpireStatusText(int code)
{
    const uint32_t now = platform::Clock().TickCount();
    if (code == 3) {
        g_statusTick = now;
        return;
    }
    // Unsigned difference: correct across a wrap of the tick counter.
    if (now - g_statusTick >= 3000u)
        ClearStatusText();
}

bool IsBreakKeyDown()
{
    using platform::Key;
    platform::IInputState& in = platform::Input();
    // Every key is queried so that each one's "pressed since" memory is consumed.
    const bool left = in.AsyncKeyState(Key::LeftButton);
    const bool right = in.AsyncKeyState(Key::RightButton);
    const bool escape = in.AsyncKeyState(Key::Escape);
    const bool ret = in.AsyncKeyState(Key::Return);
    return left || right || escape || ret;
}

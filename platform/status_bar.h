// The main window's status bar as the engine and the codecs reach it, with the automatic
// clearing of pane 0 three seconds after a text was set, and the break-key poll.
#pragma once

#include <map>
#include <string>

namespace platform {

class IStatusBar {
public:
    virtual ~IStatusBar() = default;
    // Sets a pane's text and repaints the bar at once.
    virtual void SetPaneText(int pane, const std::string& text) = 0;
};

// The status bar in use, or nullptr when the program has no main window or no status bar
// (then the status functions do nothing).
IStatusBar* StatusBar();
// Installs a status bar (not owned); nullptr detaches it.
void SetStatusBar(IStatusBar* bar);

// A status bar that keeps its panes' texts, for tests and headless tools.
class RecordingStatusBar : public IStatusBar {
public:
    void SetPaneText(int pane, const std::string& text) override
    {
        m_panes[pane] = text;
        ++m_repaints;
    }
    std::string Text(int pane) const
    {
        auto it = m_panes.find(pane);
        return it == m_panes.end() ? std::string() : it->second;
    }
    int Repaints() const { return m_repaints; }

private:
    std::map<int, std::string> m_panes;
    int m_repaints = 0;
};

} // namespace platform

// Sets the pane's text, repaints, and records the time (ExpireStatusText(3)).
void SetStatusText(int pane, const std::string& text);
// Sets pane 0 to three spaces.
void ClearStatusText();
// Code 3 records the current tick count; any other code blanks pane 0 once 3000 ms or more
// have passed since the recorded tick count.
void ExpireStatusText(int code);
// True when the left or right mouse button, Escape or Return is down now or was pressed
// since the previous query.
bool IsBreakKeyDown();

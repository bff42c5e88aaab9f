// Keyboard and mouse state as long jobs see it. The window layer feeds an InputState from its
// event filter; tests feed one by hand. "Async" state answers whether a key is down now or was
// pressed since the previous query of that key.
#pragma once

#include <array>
#include <cstddef>

#include "common/basic_types.h"

namespace platform {

enum class Key { LeftButton, RightButton, MiddleButton, Escape, Return, Control, Shift, Count };

class IInputState {
public:
    virtual ~IInputState() = default;
    // Down now, or pressed since the previous asynchronous query of this key.
    virtual bool AsyncKeyState(Key key) = 0;
    // Down now.
    virtual bool KeyState(Key key) = 0;
    // Cursor position in screen coordinates.
    virtual CPoint CursorPos() = 0;
};

// The plain implementation: a board of keys fed by Press/Release.
class InputState : public IInputState {
public:
    bool AsyncKeyState(Key key) override
    {
        auto& k = m_keys[Index(key)];
        const bool result = k.down || k.pressedSinceQuery;
        k.pressedSinceQuery = false;
        return result;
    }
    bool KeyState(Key key) override { return m_keys[Index(key)].down; }
    CPoint CursorPos() override { return m_cursor; }

    void Press(Key key)
    {
        m_keys[Index(key)].down = true;
        m_keys[Index(key)].pressedSinceQuery = true;
    }
    void Release(Key key) { m_keys[Index(key)].down = false; }
    // A press and release that happened between two queries.
    void Tap(Key key)
    {
        Press(key);
        Release(key);
    }
    void SetCursorPos(CPoint p) { m_cursor = p; }
    void Reset() { *this = InputState(); }

private:
    struct KeyRecord {
        bool down = false;
        bool pressedSinceQuery = false;
    };
    static std::size_t Index(Key key) { return static_cast<std::size_t>(key); }
    std::array<KeyRecord, static_cast<std::size_t>(Key::Count)> m_keys{};
    CPoint m_cursor;
};

// The input state in use (process-wide).
IInputState& Input();
// Installs an input state (not owned); nullptr restores the process-wide InputState.
void SetInput(IInputState* input);
// The process-wide board that the window layer feeds.
InputState& DefaultInput();

} // namespace platform

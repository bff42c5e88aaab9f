// Status-text expiry, the break-key poll, the message box fake and the circling gesture.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/clock.h"
#include "platform/gesture.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"

namespace {

class PlatformFakes : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetClock(&m_clock);
        platform::SetInput(&m_input);
        platform::SetStatusBar(&m_bar);
        platform::SetMessageBox(&m_box);
    }
    platform::FakeClock m_clock;
    platform::InputState m_input;
    platform::RecordingStatusBar m_bar;
    platform::FakeMessageBox m_box;
};

} // namespace

TEST_F(PlatformFakes, StatusTextExpiresAtTheFirstCheckAfterThreeSeconds)
{
    SetStatusText(0, "Fitting");
    EXPECT_EQ(m_bar.Text(0), "Fitting");
    m_clock.Advance(2999);
    ExpireStatusText(0);
    EXPECT_EQ(m_bar.Text(0), "Fitting");
    m_clock.Advance(1);
    ExpireStatusText(0);
    EXPECT_EQ(m_bar.Text(0), "   ");

    SetStatusText(0, "again");
    m_clock.Advance(10);
    ExpireStatusText(3);  // re-arms the timer without touching the text
    m_clock.Advance(2995);
    ExpireStatusText(0);
    EXPECT_EQ(m_bar.Text(0), "again");
}

TEST_F(PlatformFakes, StatusFunctionsDoNothingWithoutABar)
{
    platform::SetStatusBar(nullptr);
    SetStatusText(0, "x");
    ClearStatusText();
    ExpireStatusText(0);
    EXPECT_EQ(m_bar.Repaints(), 0);
}

TEST_F(PlatformFakes, BreakPollSeesKeysDownAndPressesSinceTheLastQuery)
{
    EXPECT_FALSE(IsBreakKeyDown());
    m_input.Tap(platform::Key::Escape);
    EXPECT_TRUE(IsBreakKeyDown());
    EXPECT_FALSE(IsBreakKeyDown());  // the press was consumed

    m_input.Press(platform::Key::LeftButton);
    EXPECT_TRUE(IsBreakKeyDown());
    EXPECT_TRUE(IsBreakKeyDown());  // still held
    m_input.Release(platform::Key::LeftButton);
    EXPECT_FALSE(IsBreakKeyDown());

    m_input.Tap(platform::Key::Control);  // not a break key
    EXPECT_FALSE(IsBreakKeyDown());
    for (platform::Key k : {platform::Key::RightButton, platform::Key::Return}) {
        m_input.Tap(k);
        EXPECT_TRUE(IsBreakKeyDown());
    }
}

TEST_F(PlatformFakes, MessageBoxAnswersFromTheScriptThenWithTheFirstButton)
{
    m_box.QueueAnswer(platform::IDNO);
    EXPECT_EQ(ShowMessage("stop?", platform::MB_YESNO), platform::IDNO);
    EXPECT_EQ(ShowMessage("stop?", platform::MB_YESNO), platform::IDYES);
    EXPECT_EQ(ShowMessage("note"), platform::IDOK);
    ASSERT_EQ(m_box.Shown().size(), 3u);
    EXPECT_EQ(m_box.Shown()[2], "note");
}

TEST_F(PlatformFakes, CirclingSpeedNeedsSteadyTurning)
{
    ResetCirclingSpeed();
    // Straight-line movement never turns.
    GetCirclingSpeed(0, 0);
    double straight = 0;
    for (int i = 1; i < 40; ++i) {
        m_clock.Advance(20);
        straight += std::fabs(GetCirclingSpeed(10 * i, 5 * i));
    }
    EXPECT_EQ(straight, 0.0);

    // Circling one way produces a speed after a while.
    ResetCirclingSpeed();
    GetCirclingSpeed(0, 0);
    double speed = 0;
    for (int i = 0; i < 200 && speed == 0; ++i) {
        m_clock.Advance(20);
        const double a = i * 0.3;
        speed = GetCirclingSpeed(500 + static_cast<int>(100 * std::cos(a)), 500 + static_cast<int>(100 * std::sin(a)));
    }
    EXPECT_NE(speed, 0.0);

    // A pause longer than a second resets.
    m_clock.Advance(1500);
    EXPECT_EQ(GetCirclingSpeed(10, 10), 0.0);
}

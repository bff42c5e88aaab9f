// The engine host adapter against a fake document, a fake clock, a scripted message box, a
// recording status bar and a hand-fed input state.
#include "picset/mchost.h"

#include <gtest/gtest.h>

#include "common/message_catalogue.h"
#include "fake_host_document.h"
#include "platform/clock.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"

namespace {

class McHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetClock(&m_clock);
        platform::SetMessageBox(&m_box);
        platform::SetStatusBar(&m_bar);
        platform::SetInput(&m_input);
        m_host.SetDocument(&m_doc);
    }

    platform::FakeClock m_clock;
    platform::FakeMessageBox m_box;
    platform::RecordingStatusBar m_bar;
    platform::InputState m_input;
    FakeHostDocument m_doc;
    CMcHost m_host;
};

} // namespace

TEST(McHostCatalogue, ConstructionFillsTheCatalogue)
{
    Catalogue().table[62].clear();
    Catalogue().terminateQuestion.clear();
    CMcHost host;
    EXPECT_EQ(MessageText(62), "ready");
    EXPECT_EQ(Catalogue().terminateQuestion, "Would you like to terminate this operation ?");
}

TEST_F(McHostTest, QuestionsAnsweredWithoutABoxOrShownWithTheirText)
{
    struct Case {
        const char* number;
        int queued;       // answer the box gives, when one is shown
        int expected;     // answer of AskQuestion
        const char* shown; // text of the box, nullptr when none is shown
    };
    const Case cases[] = {
        {"11", 2, 1, nullptr},
        {"13", 2, 1, nullptr},
        {"16", 2, 1, nullptr},
        {"17", 2, 1, nullptr},
        {"26", 7, 6, nullptr},
        {"27", 7, 6, nullptr},
        {"14", 2, 1, nullptr}, // empty catalogue text
        {"23", 2, 1, nullptr},
        {"21", 2, 2, "We can't find \n /p/a.jpg"},
        {"20", 7, 7, "We can't find  /p/a.jpg\n at /q\n would you fill up full path name of it ?"},
        {"73", 1, 1, "73"}, // out of range: the text as it stands
        {"0", 1, 1, "0"},
        {"Plain words", 1, 1, "Plain words"},
    };
    for (const Case& c : cases) {
        m_box.Clear();
        m_box.QueueAnswer(c.queued);
        EXPECT_EQ(m_host.AskQuestion(c.number, 1, "/p/a.jpg", "/q"), c.expected) << c.number;
        if (c.shown) {
            ASSERT_EQ(m_box.Shown().size(), 1u) << c.number;
            EXPECT_EQ(m_box.Shown()[0], c.shown);
            EXPECT_EQ(m_box.Types()[0], 1u);
        } else {
            EXPECT_TRUE(m_box.Shown().empty()) << c.number;
        }
    }
}

TEST_F(McHostTest, MessagesGoToTheStatusBarOrTheDocumentAndEmptyTextsShowNothing)
{
    m_host.ShowMessage("64", 0, "/p/a.jpg", "");
    EXPECT_EQ(m_bar.Text(0), "position of  /p/a.jpg is fixed");
    EXPECT_TRUE(m_doc.statusMessages.empty());

    m_host.ShowMessage("47", 1, "", "");
    ASSERT_EQ(m_doc.statusMessages.size(), 1u);
    EXPECT_EQ(m_doc.statusMessages[0], "We can't fix some picture's position");

    const int repaints = m_bar.Repaints();
    m_host.ShowMessage("37", 0, "x", "y"); // empty catalogue text
    m_host.ShowMessage("37", 1, "x", "y");
    EXPECT_EQ(m_bar.Repaints(), repaints);
    EXPECT_EQ(m_doc.statusMessages.size(), 1u);

    // A status text with an empty catalogue text clears the pane.
    m_host.ShowStatus(2, "62", "", "");
    EXPECT_EQ(m_bar.Text(2), "ready");
    m_host.ShowStatus(2, "51", "", "");
    EXPECT_EQ(m_bar.Text(2), "");
    m_host.ShowStatus(1, "50", "/p/b.jpg", "");
    EXPECT_EQ(m_bar.Text(1), " we can't load the file name of /p/b.jpg ");

    m_host.ClearStatus();
    EXPECT_EQ(m_bar.Text(0), "   ");
}

TEST(McHostFormat, ArgumentsAreNeverReadAsFormats)
{
    struct Case {
        const char* text;
        const char* a;
        const char* b;
        const char* expected;
    };
    const Case cases[] = {
        {"We can't find  %s\n at %s\n", "/p/100%s.jpg", "/q/%d", "We can't find  /p/100%s.jpg\n at /q/%d\n"},
        {"%d%% done", "50", "", "50% done"},
        {"%s %s %s", "a", "b", "a b "},
        {"%5s and %x stay, trailing %", "a", "b", "%5s and %x stay, trailing %"},
        {"", "a", "b", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMcHost::FormatMessage(c.text, c.a, c.b), c.expected) << c.text;

    struct Number {
        const char* text;
        int value;
    };
    const Number numbers[] = {{"13", 13}, {" 24", 24}, {"+5x", 5}, {"-3", -3}, {"abc", 0}, {"", 0},
                              {"99999999999999", 2147483647}};
    for (const Number& n : numbers)
        EXPECT_EQ(CMcHost::MessageNumber(n.text), n.value) << n.text;
}

TEST_F(McHostTest, BeginAndEndStepSetTheDocumentsFlagsAndShowTheStep)
{
    m_doc.entries["/p/a.jpg"] = 3;
    m_host.BeginStep("4", "", "", "/p/a.jpg");
    EXPECT_EQ(m_doc.currentEntry, 3);
    EXPECT_EQ(m_doc.thumbnails, std::vector<int>{3});
    EXPECT_EQ(m_doc.busy, 1);
    EXPECT_EQ(m_doc.stepFlags, 2);
    EXPECT_EQ(m_bar.Text(0), "Finding the position of /p/a.jpg .. .     Click the timer image to break.");
    EXPECT_EQ(m_doc.thumRepaints, 1);
    m_host.EndStep();
    EXPECT_EQ(m_doc.stepFlags, 2);
    EXPECT_EQ(m_doc.busy, -2);

    // Number 1 sets bit 0 and keeps the other bits; the end of the step clears them.
    m_doc.stepFlags = 4;
    m_host.BeginStep("1", "", "", "/p/unknown.jpg");
    EXPECT_EQ(m_doc.currentEntry, 3); // no entry for that path: unchanged
    EXPECT_EQ(m_doc.stepFlags, 5);
    m_host.EndStep();
    EXPECT_EQ(m_doc.stepFlags, 0);

    m_doc.stepFlags = 1;
    m_host.BeginStep("60", "", "", "");
    EXPECT_EQ(m_doc.stepFlags, 0);
    EXPECT_EQ(m_bar.Text(0), " finding just fit position..");
    // A text that names no catalogue entry leaves the flags alone.
    m_doc.stepFlags = 1;
    m_host.BeginStep("Loading", "", "", "");
    EXPECT_EQ(m_doc.stepFlags, 1);
    EXPECT_EQ(m_bar.Text(0), "Loading");
}

TEST_F(McHostTest, ProgressRepaintsEveryTickOfTheFirstRoundThenTwiceASecond)
{
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m_host.OnProgress(0, 5), 2);
        m_clock.Advance(10);
    }
    EXPECT_EQ(m_doc.thumRepaints, 3);
    EXPECT_EQ(m_doc.busy, 5);

    m_clock.Advance(600);
    EXPECT_EQ(m_host.OnProgress(0, 25), 2);
    m_clock.Advance(100);
    EXPECT_EQ(m_host.OnProgress(0, 26), 2);
    EXPECT_EQ(m_doc.thumRepaints, 4);
    EXPECT_EQ(m_doc.busy, 26);

    // Tick 20 is still part of the first round; 21 is not.
    EXPECT_EQ(m_host.OnProgress(0, 20), 2);
    EXPECT_EQ(m_doc.thumRepaints, 5);
    EXPECT_EQ(m_host.OnProgress(0, 21), 2);
    EXPECT_EQ(m_doc.thumRepaints, 5);

    // 499 ms after the last repaint: none; 500 ms: one.
    m_clock.Advance(499);
    m_host.OnProgress(0, 30);
    EXPECT_EQ(m_doc.thumRepaints, 5);
    m_clock.Advance(1);
    m_host.OnProgress(0, 31);
    EXPECT_EQ(m_doc.thumRepaints, 6);

    // The tick counter wrapping around does not stop the repaints.
    m_clock.SetTick(0xFFFFFF00u);
    CMcHost::ResetProgressRepaint(0xFFFFFF00u);
    m_clock.Advance(0x200);
    m_host.OnProgress(0, 40);
    EXPECT_EQ(m_doc.thumRepaints, 7);
}

TEST_F(McHostTest, BreakQuestionOnATimerClick)
{
    // No click: go on at once, no repaint.
    EXPECT_EQ(m_host.OnProgress(1, 30), 2);
    EXPECT_EQ(m_doc.breakTests, 1);
    EXPECT_EQ(m_doc.thumRepaints, 0);

    // Click, answer No: the job goes on, the work view is repainted whole.
    m_doc.breakClicks = {-5};
    m_box.QueueAnswer(platform::IDNO);
    m_input.Tap(platform::Key::LeftButton);
    EXPECT_EQ(m_host.OnProgress(1, 31), 2);
    ASSERT_EQ(m_box.Shown().size(), 1u);
    EXPECT_EQ(m_box.Shown()[0], "Would you like to terminate this operation ?");
    EXPECT_EQ(m_box.Types()[0] & 0xF, platform::MB_YESNO);
    EXPECT_EQ(m_doc.workViewMessages, (std::vector<std::pair<int, std::string>>{{6, ""}}));
    EXPECT_EQ(m_doc.thumRepaints, 1);
    // The click that answered was waited out.
    EXPECT_FALSE(m_input.AsyncKeyState(platform::Key::LeftButton));

    // Click, answer Yes: stop, nothing more.
    m_doc.breakClicks = {-5};
    m_box.QueueAnswer(platform::IDYES);
    EXPECT_EQ(m_host.OnProgress(1, 32), -1);
    EXPECT_EQ(m_doc.workViewMessages.size(), 1u);
    EXPECT_EQ(m_doc.thumRepaints, 1);

    // A click on the guide link goes on to the repaint.
    m_clock.Advance(1000);
    m_doc.breakClicks = {2};
    EXPECT_EQ(m_host.OnProgress(1, 33), 2);
    EXPECT_EQ(m_doc.thumRepaints, 2);
    EXPECT_EQ(m_box.Shown().size(), 2u);

    // Escape (alone or with the button) stops at once, without a question or a repaint.
    m_clock.Advance(1000);
    EXPECT_EQ(m_host.OnProgress(27, 34), -1);
    EXPECT_EQ(m_doc.breakTests, 4);
    EXPECT_EQ(m_doc.thumRepaints, 2);
    EXPECT_EQ(m_box.Shown().size(), 2u);
    EXPECT_EQ(m_doc.busy, 34);
}

TEST_F(McHostTest, ForwardsToTheDocumentAndAnswersItsConstants)
{
    m_doc.loadResult = -6;
    EXPECT_EQ(m_host.LoadPictureImage("/p/a.jpg"), -6);
    EXPECT_EQ(m_doc.loaded, std::vector<std::string>{"/p/a.jpg"});

    const std::string path = "/p/b.jpg";
    m_host.UpdateAllViews(nullptr, HINT_PICTURE_PLACEMENT, &path);
    m_host.UpdateAllViews(nullptr, HINT_SET_CHANGED, nullptr);
    ASSERT_EQ(m_doc.updates.size(), 2u);
    EXPECT_EQ(m_doc.updates[0].hint, 53);
    EXPECT_TRUE(m_doc.updates[0].hasObject);
    EXPECT_EQ(m_doc.updates[0].object, path);
    EXPECT_EQ(m_doc.updates[1].hint, 67);
    EXPECT_FALSE(m_doc.updates[1].hasObject);

    m_host.ShowViewMessage(5, "/p/c.jpg");
    EXPECT_EQ(m_doc.workViewMessages, (std::vector<std::pair<int, std::string>>{{5, "/p/c.jpg"}}));

    m_input.Press(platform::Key::Return);
    EXPECT_EQ(m_host.IsBreakKeyDown(), 1);
    m_input.Release(platform::Key::Return);
    EXPECT_EQ(m_host.IsBreakKeyDown(), 0);

    std::string replacement = "something";
    EXPECT_EQ(m_host.QueryReplacementPath(replacement), 0);
    EXPECT_EQ(replacement, "");
    EXPECT_EQ(m_host.GetInteractionLevel(), 1);
    EXPECT_EQ(m_host.GetAddMode(), 0);
    EXPECT_EQ(m_host.GetDefaultName(), "");
}

TEST_F(McHostTest, WithoutADocumentNothingBreaks)
{
    CMcHost lone;
    lone.BeginStep("4", "", "", "/p/a.jpg");
    lone.EndStep();
    EXPECT_EQ(lone.OnProgress(1, 5), 2);
    EXPECT_EQ(lone.LoadPictureImage("/p/a.jpg"), -1);
    lone.ShowMessage("47", 1, "", "");
    lone.ShowViewMessage(6, "");
    lone.UpdateAllViews(nullptr, 41, nullptr);
    EXPECT_EQ(m_doc.busy, 0);
}

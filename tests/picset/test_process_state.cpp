// One reset puts every process-wide object back as a fresh start has it, so that no test
// depends on what the tests before it left behind.
#include <gtest/gtest.h>

#include "common/message_catalogue.h"
#include "geometry/lens_table.h"
#include "geometry/sphere.h"
#include "imagefile/exif.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"
#include "picset/process_state.h"
#include "platform/clock.h"
#include "platform/file_dialog.h"
#include "platform/idle_state.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/settings_store.h"
#include "platform/status_bar.h"

TEST(ProcessState, ResetReturnsEveryProcessWideObjectToItsStart)
{
    // A fresh start, as seen by this test.
    const CDPoint lensAt = GetLensTable().Distort({0.3, 0.2}, 1.0);
    platform::IClock* clock = &platform::Clock();
    platform::IInputState* input = &platform::Input();
    platform::IMessageBox* box = &platform::MessageBox();
    platform::IFileDialog* dialog = &platform::FileDialog();
    platform::CSettingsStore* store = &platform::Settings();

    // Everything changed the way the program or a test changes it.
    platform::FakeClock fakeClock;
    platform::InputState fakeInput;
    platform::FakeMessageBox fakeBox;
    platform::RecordingStatusBar bar;
    platform::SetClock(&fakeClock);
    platform::SetInput(&fakeInput);
    platform::DefaultInput().Press(platform::Key::Escape);
    platform::SetMessageBox(&fakeBox);
    platform::SetStatusBar(&bar);
    JpegAbortEnabled = 1;
    IdleSecondCount = 7;
    ExifInfo.FocalLength = 12.0;
    LastJpegPath = "/photos/a.jpg";
    LastExifModel = "X";
    LastImageComment = "comment";
    GetLensTable().Build(0.2, 1000.0);
    GetProjectionReference().direction = {0.5, 0.25};
    GetProjectionReference().roll = 0.1;
    FitMode = 3;
    EngineModeFlag = 1;
    NumberedMessageFlag = 1;
    LoadMessageCatalogue();

    ResetProcessState();

    EXPECT_EQ(&platform::Clock(), clock);
    EXPECT_EQ(&platform::Input(), input);
    EXPECT_FALSE(platform::Input().AsyncKeyState(platform::Key::Escape));
    EXPECT_EQ(&platform::MessageBox(), box);
    EXPECT_EQ(&platform::FileDialog(), dialog);
    EXPECT_EQ(&platform::Settings(), store);
    EXPECT_EQ(platform::StatusBar(), nullptr);
    EXPECT_EQ(JpegAbortEnabled, 0);
    EXPECT_EQ(IdleSecondCount, 0);
    EXPECT_EQ(ExifInfo.FocalLength, CExifInfo().FocalLength);
    EXPECT_TRUE(LastJpegPath.empty());
    EXPECT_TRUE(LastExifModel.empty());
    EXPECT_TRUE(LastImageComment.empty());
    EXPECT_EQ(GetLensTable().Distort({0.3, 0.2}, 1.0), lensAt);
    EXPECT_EQ(GetProjectionReference().direction, CDPoint(0.0, 0.0));
    EXPECT_EQ(GetProjectionReference().roll, 0.0);
    EXPECT_EQ(FitMode, -2);
    EXPECT_EQ(EngineModeFlag, 0);
    EXPECT_EQ(NumberedMessageFlag, 0);
    EXPECT_TRUE(MessageText(10).empty());
}

// The test programs reset before each test: what the test above changed is gone here.
TEST(ProcessState, EachTestStartsFromAFreshState)
{
    EXPECT_EQ(FitMode, -2);
    FitMode = 5;
    GetProjectionReference().roll = 1.0;
}

TEST(ProcessState, EachTestStartsFromAFreshStateAgain)
{
    EXPECT_EQ(FitMode, -2);
    EXPECT_EQ(GetProjectionReference().roll, 0.0);
}

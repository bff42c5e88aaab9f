// The message catalogue: every numbered slot, the empty ones, and texts used by the codecs.
#include <gtest/gtest.h>

#include <set>

#include "common/message_catalogue.h"

TEST(MessageCatalogue, NumberedMessagesHoldTheirTextsAndTheRestAreEmpty)
{
    LoadMessageCatalogue();
    const MessageCatalogue& c = Catalogue();
    ASSERT_EQ(c.table.size(), 73u);
    const std::set<int> withText = {1, 2, 3, 4, 5, 6, 10, 18, 19, 20, 21, 22, 24, 25, 28, 29, 41, 42, 43,
                                    47, 50, 53, 55, 57, 59, 60, 61, 62, 63, 64, 65, 68, 70};
    for (int n = 0; n < 73; ++n)
        EXPECT_EQ(MessageText(n).empty(), withText.count(n) == 0) << "message " << n;
    EXPECT_EQ(MessageText(62), "ready");
    EXPECT_EQ(MessageText(63), "ready");
    EXPECT_EQ(MessageText(65), "ready");
    EXPECT_EQ(MessageText(48), "");
    EXPECT_EQ(MessageText(-1), "");
    EXPECT_EQ(MessageText(73), "");
    EXPECT_EQ(MessageText(4), "Finding the position of %s .. .     Click the timer image to break.");
    EXPECT_EQ(MessageText(20), "We can't find  %s\n at %s\n would you fill up full path name of it ?");
    EXPECT_EQ(MessageText(22), " We can't find  %s ,\n but find  %s .\n is it file name you wish ?");
    EXPECT_EQ(MessageText(25), "You must use '.%s' for the file name extension of fitting plan file.");
}

TEST(MessageCatalogue, NamedTextsAreExactAndStableAcrossLoads)
{
    LoadMessageCatalogue();
    MessageCatalogue first = Catalogue();
    LoadMessageCatalogue();
    const MessageCatalogue& c = Catalogue();
    EXPECT_EQ(c.memoryTooShort, "Memory too short to do this command,\nWe can't work any more...");
    EXPECT_EQ(c.cantOpenFile, " Can't open file.");
    EXPECT_EQ(c.tooBigToCreate, " Too big to create image file");
    EXPECT_EQ(c.terminateQuestion, "Would you like to terminate this operation ?");
    EXPECT_EQ(c.formatNotSupported, "Current file format is not supported.");
    EXPECT_EQ(c.guideFolder, "\\SmGuide");
    EXPECT_EQ(c.renderingImage,
              " Rendering the image ( %d * %d pixels ) by the name of %s ....  Click the timer image to break.");
    EXPECT_EQ(c.helpTips[0][0], "\r\n == Tips (general) ==");
    EXPECT_EQ(c.helpTips[6][7], "   > Click [X] mark at top-right of the screen.");
    EXPECT_EQ(c.helpTips[7][0], "");
    EXPECT_EQ(c.stepNames[2], "fit");
    EXPECT_EQ(c.table, first.table);
    EXPECT_EQ(c.helpTips, first.helpTips);
    EXPECT_EQ(c.cmdExit, first.cmdExit);
}

TEST(MessageCatalogue, StaysEnglishWhateverTheLanguage)
{
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(GetWindowsLanguage(), "JA_JP.UTF-8");
    LoadMessageCatalogue();
    EXPECT_EQ(MessageText(62), "ready");
    unsetenv("LANG");
    EXPECT_EQ(GetWindowsLanguage(), "NODATA");
}

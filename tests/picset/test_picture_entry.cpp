// The document's picture entry: defaults, reset for reuse, and the two kinds of copy.
#include <gtest/gtest.h>

#include <vector>

#include "picset/picture_entry.h"

namespace {

// An entry with every field away from its default.
CPictureEntry FilledEntry(const std::string& name)
{
    CPictureEntry e;
    e.m_EntryFlag = 5;
    e.m_Name = name;
    e.m_Size = CSize(640, 480);
    e.m_PixelCache.SetSize(3);
    e.m_PixelCache[1] = 0x123456;
    e.m_Bitmap = CBitmapBuffer(4, 3, 24);
    e.m_SecondBitmap = CBitmapBuffer(2, 2, 32);
    e.m_State = 7;
    e.m_Rect = CRect(1, 2, 3, 4);
    e.m_SecondRect = CRect(5, 6, 7, 8);
    e.m_ThirdRect = CRect(9, 10, 11, 12);
    e.m_ColorModel.dY = 12.0;
    e.m_PieceSlot = CPoint(2, -1);
    e.m_FitStatus = 3;
    e.m_QuarterTurns = 1;
    e.m_CameraText = "E950";
    e.m_CameraValue = 5.4;
    e.m_ExposureFigure = 125.0;
    e.m_CameraNameText = "camera";
    e.m_ExposureText = "0.00800 (1/ 125) ";
    e.m_FNumberText = "8.0";
    return e;
}

// The fields of an entry that holds no picture: a new one, or one after Reset.
void ExpectNoPicture(const CPictureEntry& e)
{
    EXPECT_EQ(e.m_EntryFlag, 0);
    EXPECT_EQ(e.m_Name, "");
    EXPECT_EQ(e.m_Size, CSize(0, 0));
    EXPECT_TRUE(e.m_PixelCache.IsEmpty());
    EXPECT_EQ(e.m_State, 0);
    EXPECT_TRUE(e.m_Rect.IsRectNull());
    EXPECT_TRUE(e.m_SecondRect.IsRectNull());
    EXPECT_EQ(e.m_PieceSlot, CPoint(0, 0));
    EXPECT_EQ(e.m_FitStatus, -2);
    EXPECT_EQ(e.m_QuarterTurns, 0);
    EXPECT_EQ(e.m_CameraValue, 0.0);
    EXPECT_EQ(e.m_ExposureFigure, 0.0);
    EXPECT_TRUE(e.m_CameraText.empty() && e.m_CameraNameText.empty() && e.m_ExposureText.empty() &&
                e.m_FNumberText.empty());
}

} // namespace

TEST(PictureEntry, NewEntryIsFreeWithNoFitStatus)
{
    const CPictureEntry e;
    ExpectNoPicture(e);
    EXPECT_TRUE(e.m_Bitmap.IsNull());
    EXPECT_TRUE(e.m_SecondBitmap.IsNull());
    EXPECT_TRUE(e.m_ThirdRect.IsRectNull());
    EXPECT_FALSE(e.m_ColorModel.IsActive());
}

TEST(PictureEntry, ResetClearsThePictureButKeepsBitmapsColourModelAndThirdRectangle)
{
    CPictureEntry e = FilledEntry("/photos/a.jpg");
    e.Reset();
    ExpectNoPicture(e);

    EXPECT_EQ(e.m_Bitmap.Width(), 4);
    EXPECT_EQ(e.m_SecondBitmap.Width(), 2);
    EXPECT_EQ(e.m_ColorModel.dY, 12.0);
    EXPECT_EQ(e.m_ThirdRect, CRect(9, 10, 11, 12));
}

TEST(PictureEntry, AssignmentCopiesThePictureButNotBitmapsRectanglesOrColourModel)
{
    const CPictureEntry src = FilledEntry("/photos/b.jpg");
    CPictureEntry dst;
    dst.m_ColorModel.dCr = -4.0;
    dst = src;
    EXPECT_EQ(dst.m_Name, "/photos/b.jpg");
    EXPECT_EQ(dst.m_Size, CSize(640, 480));
    EXPECT_EQ(dst.m_PixelCache, src.m_PixelCache);
    EXPECT_EQ(dst.m_State, 7);
    EXPECT_EQ(dst.m_FitStatus, 3);
    EXPECT_EQ(dst.m_QuarterTurns, 1);
    EXPECT_EQ(dst.m_PieceSlot, CPoint(2, -1));
    EXPECT_EQ(dst.m_EntryFlag, 5);
    EXPECT_EQ(dst.m_CameraText, "E950");
    EXPECT_EQ(dst.m_CameraValue, 5.4);
    EXPECT_EQ(dst.m_ExposureFigure, 125.0);
    EXPECT_EQ(dst.m_CameraNameText, "camera");
    EXPECT_EQ(dst.m_ExposureText, "0.00800 (1/ 125) ");
    EXPECT_EQ(dst.m_FNumberText, "8.0");

    EXPECT_TRUE(dst.m_Bitmap.IsNull());
    EXPECT_TRUE(dst.m_Rect.IsRectNull());
    EXPECT_TRUE(dst.m_ThirdRect.IsRectNull());
    EXPECT_EQ(dst.m_ColorModel.dY, 0.0);
    EXPECT_EQ(dst.m_ColorModel.dCr, -4.0);
}

TEST(PictureEntry, AssigningAnEntryWithoutPixelsEmptiesTheTargetCache)
{
    CPictureEntry dst = FilledEntry("/photos/c.jpg");
    CPictureEntry src;
    src.m_Name = "/photos/d.jpg";
    dst = src;
    EXPECT_TRUE(dst.m_PixelCache.IsEmpty());
    EXPECT_EQ(dst.m_Name, "/photos/d.jpg");
}

TEST(PictureEntry, ArraysOfEntriesKeepColourModelsAndBitmapsWhenTheyGrowOrShift)
{
    std::vector<CPictureEntry> entries;
    for (int i = 0; i < 40; ++i) {
        entries.push_back(FilledEntry("/photos/" + std::to_string(i) + ".jpg"));
        entries.back().m_ColorModel.dY = i;
    }
    entries.erase(entries.begin());
    ASSERT_EQ(entries.size(), 39u);
    for (int i = 0; i < 39; ++i) {
        EXPECT_EQ(entries[i].m_Name, "/photos/" + std::to_string(i + 1) + ".jpg");
        EXPECT_EQ(entries[i].m_ColorModel.dY, i + 1);
        EXPECT_EQ(entries[i].m_Bitmap.Width(), 4);
        EXPECT_EQ(entries[i].m_ThirdRect, CRect(9, 10, 11, 12));
    }
    const CPictureEntry copy(entries[0]);
    EXPECT_EQ(copy.m_ColorModel.dY, 1.0);
    EXPECT_EQ(copy.m_Rect, CRect(1, 2, 3, 4));
}

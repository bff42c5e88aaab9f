// The picture record: construction defaults, orientation keeping and the candidate-search
// snapshot.
#include <gtest/gtest.h>

#include <memory>

#include "picset/kpic.h"

TEST(PictureRecord, DefaultRecordHasEveryFieldAtItsStartValue)
{
    auto pic = std::unique_ptr<CKpic>(CKpic::CreateObject());
    EXPECT_EQ(pic->m_Self, pic.get());
    EXPECT_TRUE(pic->m_Path.empty());
    EXPECT_TRUE(pic->m_PictureRect.IsRectNull());
    EXPECT_TRUE(pic->Pixels.IsEmpty());
    EXPECT_TRUE(pic->Thumbnail.IsNull());
    EXPECT_EQ(pic->m_LayoutCell, CPoint(0, 0));
    EXPECT_EQ(pic->QuarterTurns, 0);
    EXPECT_EQ(pic->Brightness, 0);
    EXPECT_EQ(pic->PendingBrightness, 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(pic->ColourTable[i], i);
    EXPECT_EQ(pic->m_Status, 0);
    EXPECT_EQ(pic->m_SearchMark, 0);
    EXPECT_EQ(pic->m_FitScore, 0.0);

    EXPECT_EQ(pic->m_ColourWord, 0);
    EXPECT_EQ(pic->m_ReferenceColour, 0u);
    EXPECT_TRUE(pic->QuarterContrast.IsEmpty());
    EXPECT_TRUE(pic->SixteenthContrast.IsEmpty());
    EXPECT_EQ(pic->m_Focal, 1000.0);
    EXPECT_EQ(pic->m_LensFocal, 1000.0);
    EXPECT_EQ(pic->m_LensSource, -1);
    EXPECT_EQ(pic->m_DefaultFocal, 1000.0);
    EXPECT_EQ(pic->m_MinFocal, 100.0);
    EXPECT_EQ(pic->m_Direction, CDPoint(0.0, 0.0));
    EXPECT_EQ(pic->m_Roll, 0.0);
    EXPECT_EQ(pic->m_OpticalCentre, CDPoint(0.0, 0.0));
    EXPECT_EQ(pic->FeatureCellSize, 0);
    EXPECT_EQ(pic->m_PrepStep, 0);
    EXPECT_EQ(pic->FeaturesReady, 0);
    EXPECT_EQ(pic->m_BestFocal, 1000.0);
    EXPECT_EQ(pic->m_BestDirection, CDPoint(0.0, 0.0));
    EXPECT_EQ(pic->m_BestRoll, 0.0);
    EXPECT_EQ(pic->m_LensScale, 1.0);
    for (int c : pic->m_TryCounters)
        EXPECT_EQ(c, 0);
    EXPECT_EQ(pic->m_ExifFocalLength, 0.0);
    EXPECT_TRUE(pic->m_CameraModel.empty());
    EXPECT_EQ(pic->m_ExposureFigure, 0.0);

    const PictureSnapshot& s = pic->m_Snapshot;
    EXPECT_EQ(s.commonFocal, 0.0);
    EXPECT_EQ(s.focal, 1000.0);
    EXPECT_EQ(s.roll, 0.0);
    EXPECT_EQ(s.fitScore, 1000000.0);
    EXPECT_EQ(s.error, 1000000.0);
}

TEST(PictureRecord, EverySlotAndFeatureCellStartsFree)
{
    CKpic pic;
    for (const ControlPoint& cp : pic.m_Points) {
        EXPECT_EQ(cp.kind, 0);
        EXPECT_EQ(cp.state, 0);
        EXPECT_EQ(cp.pointId, 0);
        EXPECT_EQ(cp.position, CDPoint(0.0, 0.0));
        EXPECT_EQ(cp.target, CDPoint(0.0, 0.0));
        EXPECT_EQ(cp.residual, 1.0);
    }
    for (const auto& column : pic.FeatureCells) {
        for (const SamplePoint& cell : column) {
            EXPECT_EQ(cell.centre, CPoint(0, 0));
            EXPECT_EQ(cell.Strength, 0);
            EXPECT_EQ(cell.Weight, 0);
            EXPECT_EQ(cell.CentreColour, 0xFFFFFFu);
            EXPECT_EQ(cell.PatchColour, 0xFFFFFFu);
        }
    }
}

TEST(PictureRecord, PathRecordTakesPathAndSizeAndStartsAtItsDefaultFocal)
{
    CKpic pic("/photos/IMG_0001.JPG", CRect(0, 0, 640, 480));
    EXPECT_EQ(pic.m_Self, &pic);
    EXPECT_EQ(pic.m_Path, "/photos/IMG_0001.JPG");
    EXPECT_EQ(pic.m_PictureRect, CRect(0, 0, 640, 480));
    EXPECT_EQ(pic.Width(), 640);
    EXPECT_EQ(pic.Height(), 480);
    EXPECT_EQ(pic.m_Status, 0);
    EXPECT_EQ(pic.m_Focal, pic.m_DefaultFocal);
    EXPECT_EQ(pic.m_BestFocal, pic.m_DefaultFocal);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(pic.ColourTable[i], i);
}

TEST(PictureRecord, BestOrientationIsKeptAndPutBack)
{
    CKpic pic;
    pic.m_Focal = 1234.5;
    pic.m_Direction = CDPoint(0.25, -0.125);
    pic.m_Roll = 0.5;
    pic.SaveBestOrientation();
    pic.m_Focal = 900.0;
    pic.m_Direction = CDPoint(1.0, 1.0);
    pic.m_Roll = -1.0;
    pic.RestoreBestOrientation();
    EXPECT_EQ(pic.m_Focal, 1234.5);
    EXPECT_EQ(pic.m_Direction, CDPoint(0.25, -0.125));
    EXPECT_EQ(pic.m_Roll, 0.5);
}

TEST(PictureRecord, SnapshotRestoresOrientationPointsAndScoreAndAnswersTheSavedCommonFocal)
{
    CKpic pic;
    pic.m_Focal = 1500.0;
    pic.m_Direction = CDPoint(0.3, 0.1);
    pic.m_Roll = 0.02;
    pic.m_FitScore = 4.5;
    pic.m_Points[0].kind = 4;
    pic.m_Points[0].state = 3;
    pic.m_Points[0].pointId = 777;
    pic.SaveSnapshot(1480.0, 12.25);
    EXPECT_EQ(pic.m_Snapshot.error, 12.25);

    pic.m_Focal = 1000.0;
    pic.m_Direction = CDPoint();
    pic.m_Roll = 0.0;
    pic.m_FitScore = 99.0;
    pic.m_Points[0].Free();
    pic.m_Points[1].kind = 1;
    pic.m_Status = 2;

    EXPECT_EQ(pic.RestoreSnapshot(), 1480.0);
    EXPECT_EQ(pic.m_Focal, 1500.0);
    EXPECT_EQ(pic.m_Direction, CDPoint(0.3, 0.1));
    EXPECT_EQ(pic.m_Roll, 0.02);
    EXPECT_EQ(pic.m_FitScore, 4.5);
    EXPECT_EQ(pic.m_Points[0].kind, 4);
    EXPECT_EQ(pic.m_Points[0].pointId, 777);
    EXPECT_EQ(pic.m_Points[1].kind, 0);
    // The status is not part of the snapshot.
    EXPECT_EQ(pic.m_Status, 2);
}

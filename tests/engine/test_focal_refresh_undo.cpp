// Operations on the whole picture set: the one-level undo (exact round trip, removed pictures,
// no undo into another project), the common-focal refresh, the optical-centre repair after a
// load, and the status changes of reset, un-fit and unplace.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/fit/lens_model.h"
#include "picset/mchost.h"
#include "tests/engine/fit_set_fixture.h"

using namespace fit_fixture;

namespace {

class StatusHost : public CMcHost {
public:
    void ShowStatus(int, const std::string& number, const std::string&, const std::string&) override
    {
        statuses.push_back(MessageNumber(number));
    }
    std::vector<int> statuses;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Everything an undo puts back, and the orientation the re-solve derives from it.
struct PictureState {
    std::string path;
    int status;
    CPoint cell;
    double focal, yaw, pitch, roll;
    std::vector<ControlPoint> points;
};

std::vector<PictureState> Capture(CMcCore& set)
{
    std::vector<PictureState> all;
    for (const auto& k : set.m_Pictures) {
        PictureState s{k->m_Path, k->m_Status, k->m_LayoutCell, k->m_Focal, k->Yaw(), k->Pitch(), k->m_Roll, {}};
        for (const ControlPoint& cp : k->m_Points)
            if (cp.IsUsed())
                s.points.push_back(cp);
        all.push_back(s);
    }
    return all;
}

class FocalRefreshUndoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEngineModeFlags();
        UseIdentityLens();
        m_set.m_Host = &m_host;
        m_set.m_IndividualFocal = 0;
    }

    // A fitted row of three pictures (the base rolled to a negative angle), one placed picture
    // linked to the last of them, and one unplaced picture.
    void BuildRow()
    {
        const double f = 692.82;
        CKpic* a = AddPicture(m_set, "a", {0.0, 0.0, -0.3}, f);
        CKpic* b = AddPicture(m_set, "b", {-0.5, 0.05, -0.28}, f);
        CKpic* c = AddPicture(m_set, "c", {-1.0, -0.1, -0.31}, f);
        CKpic* d = AddPicture(m_set, "d", {-1.5, 0.02, -0.25}, f, 800, 600, 2);
        AddPicture(m_set, "e", {0.0, 0.0, 0.0}, f, 800, 600, 0);
        int32_t id = 100;
        LinkPictures(a, b, 6, &id);
        LinkPictures(b, c, 6, &id);
        LinkPictures(c, d, 5, &id);
        a->m_LayoutCell = CPoint(0, 0);
        b->m_LayoutCell = CPoint(-1, 0);
        c->m_LayoutCell = CPoint(-2, 0);
        d->m_LayoutCell = CPoint(-3, -1);
        // A point outside the picture keeps its negative position.
        ControlPoint& outside = a->m_Points[static_cast<std::size_t>(a->FindFreePoint())];
        outside.kind = 1;
        outside.state = 0;
        outside.pointId = -77;
        outside.position = CDPoint(-3.25, -0.0078125);
        m_set.m_CentreFractions = CDPoint(0.4999, 0.5003);
        m_set.m_Distortion = -0.0173;
        RebuildLensTable(m_set.m_Distortion, m_set.m_LensModelFactor);
        m_set.m_CommonFocal = f;
        m_set.SortPlacedFirst();
    }

    StatusHost m_host;
    CMcCore m_set;
};

TEST_F(FocalRefreshUndoTest, UndoGivesBackEveryFieldBitForBit)
{
    BuildRow();
    m_set.SetCommonFocal(0.0);
    const std::vector<PictureState> before = Capture(m_set);
    const double fx = m_set.m_CentreFractions.x, fy = m_set.m_CentreFractions.y, k = m_set.m_Distortion;
    ASSERT_EQ(m_set.SaveUndoSnapshot(), 1);

    // Change everything an undo restores.
    for (const auto& p : m_set.m_Pictures) {
        p->m_Status = p->m_Status == 3 ? 2 : 3;
        p->m_LayoutCell = CPoint(5, 5);
        p->m_Roll += 0.7;
        p->m_Focal *= 1.5;
        for (ControlPoint& cp : p->m_Points)
            if (cp.IsUsed())
                cp.position += CDPoint(0.3, -0.7);
        // The last slot: the targets stay with their slots (re-linking would set them again).
        p->m_Points[static_cast<std::size_t>(p->LastUsedPoint())].Free();
    }
    m_set.m_CentreFractions = CDPoint(0.1, 0.9);
    // The lens as a lens search leaves it: the shared table follows the coefficient, and the
    // undo must take the table back with it (the pictures are re-solved through it).
    m_set.m_Distortion = 0.2;
    RebuildLensTable(m_set.m_Distortion, m_set.m_LensModelFactor);
    m_set.SortPlacedFirst();

    ASSERT_EQ(m_set.RestoreUndoSnapshot(), 1);
    EXPECT_TRUE(SameBits(m_set.m_CentreFractions.x, fx));
    EXPECT_TRUE(SameBits(m_set.m_CentreFractions.y, fy));
    EXPECT_TRUE(SameBits(m_set.m_Distortion, k));
    const std::vector<PictureState> after = Capture(m_set);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(before[i].path);
        EXPECT_EQ(after[i].path, before[i].path);
        EXPECT_EQ(after[i].status, before[i].status);
        EXPECT_EQ(after[i].cell, before[i].cell);
        // Pictures that were not fitted keep their own slots; the fitted ones get theirs back.
        if (before[i].status < 3)
            continue;
        EXPECT_TRUE(SameBits(after[i].focal, before[i].focal));
        EXPECT_TRUE(SameBits(after[i].yaw, before[i].yaw));
        EXPECT_TRUE(SameBits(after[i].pitch, before[i].pitch));
        EXPECT_TRUE(SameBits(after[i].roll, before[i].roll));
        ASSERT_EQ(after[i].points.size(), before[i].points.size());
        for (std::size_t s = 0; s < before[i].points.size(); ++s) {
            EXPECT_EQ(after[i].points[s].kind, before[i].points[s].kind);
            EXPECT_EQ(after[i].points[s].state, before[i].points[s].state);
            EXPECT_EQ(after[i].points[s].pointId, before[i].points[s].pointId);
            EXPECT_TRUE(SameBits(after[i].points[s].position.x, before[i].points[s].position.x));
            EXPECT_TRUE(SameBits(after[i].points[s].position.y, before[i].points[s].position.y));
        }
    }
    EXPECT_LT(before[0].roll, 0.0);

    // One level only: the second undo finds nothing and says so.
    m_host.statuses.clear();
    EXPECT_EQ(m_set.RestoreUndoSnapshot(), 0);
    EXPECT_EQ(m_host.statuses, std::vector<int>{55});
}

TEST_F(FocalRefreshUndoTest, UndoSkipsRemovedPicturesWithoutShiftingTheRest)
{
    const double f = 700.0;
    for (const char* name : {"p0", "p1", "p2", "p3", "p4"})
        AddPicture(m_set, name, {}, f, 800, 600, 0);
    m_set.m_Pictures[0]->m_Status = 3;
    m_set.m_Pictures[1]->m_Status = 3;
    int32_t id = 1;
    LinkPictures(m_set.m_Pictures[0].get(), m_set.m_Pictures[1].get(), 3, &id);
    for (int i = 0; i < 5; ++i)
        m_set.m_Pictures[static_cast<std::size_t>(i)]->m_LayoutCell = CPoint(i, -i);
    m_set.SortPlacedFirst();
    ASSERT_EQ(m_set.SaveUndoSnapshot(), 1);
    // Groups are stored for the two fitted pictures only: 7 + 5 x 4 + 2 x 3 x 5 values.
    EXPECT_EQ(m_set.m_UndoSnapshotValues.size(), 7u + 20u + 30u);

    m_set.RemovePictureAt(3);
    for (const auto& k : m_set.m_Pictures) {
        k->m_Status = 3;
        k->m_LayoutCell = CPoint(9, 9);
    }
    ASSERT_EQ(m_set.RestoreUndoSnapshot(), 1);
    CKpic* last = m_set.FindPictureByPath("/pictures/p4.jpg");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->m_Status, 0);
    EXPECT_EQ(last->m_LayoutCell, CPoint(4, -4));
    EXPECT_EQ(m_set.FindPictureByPath("/pictures/p2.jpg")->m_LayoutCell, CPoint(2, -2));
}

TEST_F(FocalRefreshUndoTest, UndoDoesNotReachIntoAnotherProject)
{
    BuildRow();
    ASSERT_EQ(m_set.SaveUndoSnapshot(), 1);
    // A new project empties the set; pictures of the same names come back in it.
    m_set.DeleteAllPictures();
    BuildRow();
    for (const auto& k : m_set.m_Pictures)
        k->m_Status = 0;
    m_host.statuses.clear();
    EXPECT_EQ(m_set.RestoreUndoSnapshot(), 0);
    EXPECT_EQ(m_host.statuses, std::vector<int>{55});
    for (const auto& k : m_set.m_Pictures)
        EXPECT_EQ(k->m_Status, 0);
}

TEST_F(FocalRefreshUndoTest, CommonFocalTakesOnlyPlausibleValues)
{
    BuildRow();
    m_set.m_Pictures[0]->m_Focal = 640.0;
    m_set.SetCommonFocal(50.0);
    EXPECT_EQ(m_set.m_CommonFocal, 640.0);
    EXPECT_EQ(m_set.m_Pictures[0]->m_Focal, 640.0);
    m_set.SetCommonFocal(720.0);
    EXPECT_EQ(m_set.m_CommonFocal, 720.0);
    EXPECT_EQ(m_set.m_Pictures[0]->m_Focal, 720.0);
    // Shared focal: every placed picture follows.
    for (const auto& k : m_set.m_Pictures) {
        if (k->m_Status > 0) {
            EXPECT_EQ(k->m_Focal, 720.0) << k->m_Path;
        }
    }
    EXPECT_EQ(m_set.m_Activity, 6);

    // A broken job changes nothing.
    m_set.m_JobMode = -1;
    m_set.SetCommonFocal(900.0);
    EXPECT_EQ(m_set.m_CommonFocal, 720.0);
}

TEST_F(FocalRefreshUndoTest, DefaultFocalFromTheLastPictureResolvesTheWholeList)
{
    BuildRow();
    m_set.m_CommonFocal = 700.0;
    for (const auto& k : m_set.m_Pictures)
        k->m_Focal = 650.0;
    const std::string last = m_set.m_Pictures.back()->m_Path;
    m_set.ApplyDefaultFocal(last);
    for (const auto& k : m_set.m_Pictures)
        EXPECT_EQ(k->m_Focal, k->m_Status >= 1 ? 700.0 : 650.0) << k->m_Path;

    // From the second picture on: the base keeps its focal.
    for (const auto& k : m_set.m_Pictures)
        k->m_Focal = 650.0;
    m_set.ApplyDefaultFocal(m_set.m_Pictures[0]->m_Path);
    EXPECT_EQ(m_set.m_Pictures[0]->m_Focal, 650.0);
    EXPECT_EQ(m_set.m_Pictures[1]->m_Focal, 700.0);
}

TEST_F(FocalRefreshUndoTest, LoadRepairsOnlyCentresOutsideThePicture)
{
    struct Case {
        int width;
        CDPoint centre;
        bool kept;
    };
    const Case cases[] = {
        {10, {1.5, 5.0}, false}, {10, {2.5, 5.0}, true}, {10, {8.0, 5.0}, false}, {10, {7.5, 5.0}, true},
        {10, {5.0, 2.0}, false}, {800, {-4.0, 300.0}, false}, {800, {399.5, 299.5}, true},
    };
    m_set.m_CentreFractions = CDPoint(0.5, 0.5);
    for (const Case& c : cases) {
        AddPicture(m_set, "c" + std::to_string(m_set.GetPictureCount()), {}, 700.0, c.width, c.width == 10 ? 10 : 600)->m_OpticalCentre =
            c.centre;
    }
    m_set.RefreshPictureGeometry();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const CKpic& k = *m_set.m_Pictures[i];
        const CDPoint expected = cases[i].kept ? cases[i].centre : CDPoint((k.Width() - 1) * 0.5, (k.Height() - 1) * 0.5);
        EXPECT_EQ(k.m_OpticalCentre, expected) << "case " << i;
    }
}

TEST_F(FocalRefreshUndoTest, ResetUnfitAndUnplaceMoveTheStatuses)
{
    BuildRow();
    // Status per picture in list order: a b c (fitted), d (placed), e (unplaced).
    auto statuses = [&] {
        std::vector<int> s;
        for (const auto& k : m_set.m_Pictures)
            s.push_back(k->m_Status);
        return s;
    };
    m_set.UnfitFromPicture(m_set.m_Pictures[1].get());
    EXPECT_EQ(statuses(), (std::vector<int>{3, 2, 2, 2, 0}));
    EXPECT_EQ(m_set.GetFittedCount(), 1);
    m_set.UnplaceUnfitted();
    EXPECT_EQ(statuses(), (std::vector<int>{3, 0, 0, 0, 0}));
    m_set.m_Pictures[1]->m_Status = 3;
    m_set.UnfitAll();
    EXPECT_EQ(statuses(), (std::vector<int>{2, 2, 0, 0, 0}));
    EXPECT_EQ(m_set.GetFittedCount(), 0);
    EXPECT_EQ(m_set.m_FitState, 1);

    m_set.m_CommonFocal = 640.0;
    m_set.m_Distortion = 0.05;
    m_set.ResetAllPictures();
    EXPECT_EQ(m_set.m_CommonFocal, 1000.0);
    EXPECT_EQ(m_set.m_Distortion, -0.02);
    for (const auto& k : m_set.m_Pictures) {
        EXPECT_EQ(k->m_LayoutCell, NO_LAYOUT_CELL);
        EXPECT_EQ(k->m_SearchMark, 0);
    }
}

} // namespace

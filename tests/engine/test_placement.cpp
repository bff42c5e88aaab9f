// Placing pictures by hand: a dropped picture snapping back onto its true place against a
// neighbour, the drop's refusals and messages, the anchor taken at once with Shift, and
// finishing a move of the whole panorama (re-centring, turning, re-aiming a fisheye view).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/sphere.h"
#include "imagefile/image_file.h"
#include "picset/mchost.h"
#include "platform/input_state.h"
#include "tests/engine/fit_set_fixture.h"

using namespace fit_fixture;

namespace {

class PlacementHost : public CMcHost {
public:
    void ShowMessage(const std::string& number, int, const std::string&, const std::string&) override
    {
        messages.push_back(MessageNumber(number));
    }
    void ShowStatus(int, const std::string&, const std::string&, const std::string&) override {}
    int AskQuestion(const std::string& number, int, const std::string&, const std::string&) override
    {
        questions.push_back(MessageNumber(number));
        return answer;
    }
    int OnProgress(int, int) override { return 2; }
    void BeginStep(const std::string&, const std::string&, const std::string&, const std::string&) override {}
    void EndStep() override {}
    std::vector<int> messages;
    std::vector<int> questions;
    int answer = 0;
};

int CountAnchors(const CKpic& k)
{
    int n = 0;
    for (const ControlPoint& cp : k.m_Points)
        if (cp.IsUsed() && cp.pointId == PLACEMENT_ANCHOR_ID && cp.state == -4)
            ++n;
    return n;
}

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEngineModeFlags();
        UseIdentityLens();
        platform::SetInput(&m_input);
        m_set.m_Host = &m_host;
    }
    void TearDown() override { platform::SetInput(nullptr); }

    bool LoadPixels(CKpic* k, const std::string& file)
    {
        CSize size(k->Width(), k->Height());
        return LoadImageFile(file, k->Pixels, size, CRect(0, 0, 0, 0)) > 0;
    }

    platform::InputState m_input;
    PlacementHost m_host;
    CMcCore m_set;
};

// ---- Dropping a picture ---------------------------------------------------------------------

TEST_F(PlacementTest, FirstPictureIsCentredWithoutSearch)
{
    CKpic* k = AddPicture(m_set, "first", {0.3, 0.2, 0.0}, 900.0, 800, 600, 0);
    k->m_DefaultFocal = 1100.0;
    k->Pixels.SetSize(800 * 600);
    m_set.SortPlacedFirst();
    EXPECT_EQ(m_set.PlaceDroppedPicture(k->m_Path, CPoint(400, 300), CPoint(50, 60), 1, 5, 0.0), 1);
    EXPECT_EQ(k->Yaw(), 0.0);
    EXPECT_EQ(k->Pitch(), 0.0);
    EXPECT_GE(k->m_Status, 3);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_TRUE(m_host.questions.empty());
}

TEST_F(PlacementTest, RefusalsAndMessagesOfTheDrop)
{
    CKpic* base = AddPicture(m_set, "base", {}, 1000.0, 800, 600, 3);
    CKpic* odd = AddPicture(m_set, "odd", {0.4, 0.0, 0.0}, 1000.0, 640, 640, 0);
    for (CKpic* k : {base, odd})
        k->Pixels.SetSize(static_cast<int64_t>(k->Width()) * k->Height());
    m_set.SortPlacedFirst();

    // No such picture; the base picture dropped again.
    EXPECT_EQ(m_set.PlaceDroppedPicture("/pictures/none.jpg", CPoint(1, 1), CPoint(1, 1), 1, 5, 0.0), 0);
    EXPECT_EQ(m_set.PlaceDroppedPicture(base->m_Path, CPoint(10, 10), CPoint(10, 10), 1, 5, 0.0), 0);
    EXPECT_EQ(m_host.messages, std::vector<int>{38});

    // A picture of another size in both orientations, without lens data: message 42, and
    // the drop goes on (here onto empty space, where it is refused with message 39).
    struct Case {
        int lensSource;
        bool ctrl;
        bool expect42;
    };
    for (const Case& c : {Case{-1, false, true}, Case{0, false, true}, Case{1, false, false}, Case{-1, true, false}}) {
        SCOPED_TRACE(testing::Message() << "lens source " << c.lensSource << " ctrl " << c.ctrl);
        m_host.messages.clear();
        odd->m_LensSource = c.lensSource;
        odd->m_Status = 0;
        if (c.ctrl)
            m_input.Press(platform::Key::Control);
        else
            m_input.Release(platform::Key::Control);
        m_set.PlaceDroppedPicture(odd->m_Path, CPoint(0, 0), CPoint(0, 0), 1, 5, 0.0);
        const bool saw42 = std::find(m_host.messages.begin(), m_host.messages.end(), 42) != m_host.messages.end();
        EXPECT_EQ(saw42, c.expect42);
    }
}

TEST_F(PlacementTest, ShiftAnchorsAtOnceOnlyWithBothPoints)
{
    CKpic* base = AddPicture(m_set, "base", {}, 1000.0, 800, 600, 3);
    CKpic* k = AddPicture(m_set, "next", {0.3, 0.0, 0.0}, 1000.0, 800, 600, 0);
    for (CKpic* p : {base, k})
        p->Pixels.SetSize(800 * 600);
    m_set.SortPlacedFirst();
    m_input.Press(platform::Key::Shift);
    EXPECT_EQ(m_set.PlaceDroppedPicture(k->m_Path, CPoint(400, 300), CPoint(300, 20), 1, 5, 0.0), 3);
    EXPECT_LE(k->m_Status, 1);
    EXPECT_EQ(k->CountKind1Points(), 1);
    // Without the grabbed point the normal search runs instead (and finds nothing here).
    EXPECT_NE(m_set.PlaceDroppedPicture(k->m_Path, CPoint(0, 0), CPoint(300, 20), 1, 5, 0.0), 3);
}

class PlacementViewsTest : public PlacementTest {
protected:
    void SetUp() override
    {
        PlacementTest::SetUp();
        std::string why;
        if (!LoadViews(&m_truth, &why))
            GTEST_SKIP() << why;
    }
    render_truth::CTruth m_truth;
};

// A neighbour dropped 20 pixels and 1 degree of roll off its true place snaps back onto it.
TEST_F(PlacementViewsTest, DroppedNeighbourSnapsBackToItsTruePlace)
{
    const std::vector<Pose> poses = AddViews(m_set, m_truth, {0, 1}, 0);
    CKpic* base = m_set.GetPictureAt(0);
    CKpic* k = m_set.GetPictureAt(1);
    ASSERT_TRUE(LoadPixels(base, ViewFile(*base)));
    ASSERT_TRUE(LoadPixels(k, ViewFile(*k)));
    for (CKpic* p : {base, k}) {
        p->BuildColourLevels();
        p->m_LensSource = 1;
    }
    m_set.m_FocalModeSetting = 0;
    const Pose truth = poses[1];
    // The grabbed point's true place on the work space, and the drop 20 pixels beside it.
    const CPoint grab(k->Width() / 4, k->Height() / 2);
    const CPoint truePlace = m_set.SphereToPixel(k->PixelPointToSphere(grab.x, grab.y));
    k->m_Status = 0;
    k->m_Roll += 1.0 * Degree;
    k->m_Direction += CDPoint(0.03, 0.01);
    m_set.SortPlacedFirst();
    ASSERT_EQ(m_set.GetFittedCount(), 1);

    const int r = m_set.PlaceDroppedPicture(k->m_Path, grab, truePlace + CPoint(20, 0), 1, 5, 0.0);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(k->m_Status, 3);
    EXPECT_LT(k->m_FitScore, m_set.m_FitTolerance);
    EXPECT_LT(FrameAngle(*k, truth), 0.1 * Degree) << "yaw " << k->Yaw() << " pitch " << k->Pitch() << " roll "
                                                    << k->m_Roll;
}

TEST_F(PlacementViewsTest, DropOnFarEmptyAreaIsRefused)
{
    AddViews(m_set, m_truth, {0, 1}, 0);
    CKpic* base = m_set.GetPictureAt(0);
    CKpic* k = m_set.GetPictureAt(1);
    ASSERT_TRUE(LoadPixels(base, ViewFile(*base)));
    ASSERT_TRUE(LoadPixels(k, ViewFile(*k)));
    k->m_Status = 0;
    k->m_LensSource = 1;
    m_set.SortPlacedFirst();
    // Far behind the viewer, where no placed picture lies.
    const CPoint far = m_set.SphereToPixel(CDPoint(2.8, 0.6));
    EXPECT_EQ(m_set.PlaceDroppedPicture(k->m_Path, CPoint(400, 300), far, 1, 0, 0.0), 1);
    EXPECT_EQ(k->m_Status, 0);
    EXPECT_NE(std::find(m_host.messages.begin(), m_host.messages.end(), 39), m_host.messages.end());
}

// ---- Finishing a move -----------------------------------------------------------------------

TEST_F(PlacementTest, FinishMoveRecentresAndTurnsWithOneAnchor)
{
    CKpic* base = AddPicture(m_set, "base", {}, 1000.0, 800, 600, 3);
    m_set.m_CommonFocal = 1000.0;
    m_set.SortPlacedFirst();
    // Nothing to do.
    EXPECT_EQ(m_set.FinishMove(0, 0, 0.0), 1);
    EXPECT_EQ(CountAnchors(*base), 0);
    EXPECT_EQ(base->m_Roll, 0.0);
    // Two moves: the second replaces the first anchor; the turn adds up on the base roll.
    for (int round = 0; round < 2; ++round) {
        const CPoint target = m_set.SphereToPixel(CDPoint(0.05 * (round + 1), -0.02));
        EXPECT_EQ(m_set.FinishMove(target.x, target.y, 0.01), 1);
        EXPECT_EQ(CountAnchors(*base), 1);
    }
    EXPECT_NEAR(base->m_Roll, -0.02, 1e-9);
    // A turn alone turns the base picture and places no anchor of its own.
    EXPECT_EQ(m_set.FinishMove(0, 0, 0.03), 1);
    EXPECT_NEAR(base->m_Roll, -0.05, 1e-9);
    EXPECT_EQ(CountAnchors(*base), 1);
}

TEST_F(PlacementTest, FinishMoveRefusals)
{
    AddPicture(m_set, "base", {}, 1000.0, 800, 600, 0);
    m_set.SortPlacedFirst();
    EXPECT_EQ(m_set.FinishMove(10, 10, 0.0), 0); // nothing fitted
}

TEST_F(PlacementTest, FinishMoveReaimsFisheyeOnlyInsideTheDisc)
{
    CKpic* base = AddPicture(m_set, "base", {}, 1000.0, 800, 600, 3);
    m_set.m_CommonFocal = 1000.0;
    m_set.SortPlacedFirst();
    m_set.SetProjection(31);
    ResetProjectionReference(0);
    const CDPoint want(0.2, 0.1);
    const CPoint inside = m_set.SphereToPixel(want);
    EXPECT_EQ(m_set.FinishMove(inside.x, inside.y, 0.1), 1);
    ProjectionReference& ref = GetProjectionReference();
    EXPECT_NEAR(ref.direction.x, want.x, 0.01);
    EXPECT_NEAR(ref.direction.y, want.y, 0.01);
    EXPECT_NEAR(ref.roll, -0.1, 1e-12);
    EXPECT_EQ(base->m_Roll, 0.0);
    const CDPoint before = ref.direction;
    // Far outside the disc there is no direction: refused, the reference kept.
    EXPECT_EQ(m_set.FinishMove(1000000, 1000000, 0.2), 0);
    EXPECT_EQ(ref.direction.x, before.x);
    EXPECT_EQ(ref.direction.y, before.y);
    EXPECT_NEAR(ref.roll, -0.1, 1e-12);
    ResetProjectionReference(0);
}

TEST(RegionLookup, OnlyTheExactOutputPointMatches)
{
    CMcCore set;
    set.m_Regions.clear();
    set.m_Regions.push_back({7, CDPoint(1.5, 2.5), CPoint(100, 200)});
    set.m_Regions.push_back({8, CDPoint(3.5, 4.5), CPoint(100, 200)});
    PointEntry e;
    EXPECT_EQ(set.FindRegionAt(e, 100, 200), 1);
    EXPECT_EQ(e.id, 7);
    EXPECT_EQ(e.pos.x, 1.5);
    for (CPoint miss : {CPoint(101, 200), CPoint(99, 200), CPoint(100, 201), CPoint(100, 199)})
        EXPECT_EQ(set.FindRegionAt(e, miss.x, miss.y), 0);
}

} // namespace

// ---- Dragging -------------------------------------------------------------------------------

namespace {

class DragTest : public PlacementViewsTest {
protected:
    void SetUp() override
    {
        PlacementViewsTest::SetUp();
        if (IsSkipped())
            return;
        AddViews(m_set, m_truth, {0, 1}, 0);
        m_base = m_set.GetPictureAt(0);
        m_picture = m_set.GetPictureAt(1);
        ASSERT_TRUE(LoadPixels(m_base, ViewFile(*m_base)));
        ASSERT_TRUE(LoadPixels(m_picture, ViewFile(*m_picture)));
        m_preview.SetSize(128 * 128);
        // A grabbed point of the dragged picture that the base picture sees too.
        m_grab = CPoint(m_picture->Width() / 5, m_picture->Height() / 2);
        m_truePlace = m_set.SphereToPixel(m_picture->PixelPointToSphere(m_grab.x, m_grab.y));
        ASSERT_TRUE(m_base->HitTestPointArea(m_set.PixelToSphere(m_truePlace.x, m_truePlace.y)));
    }

    // One drag step with the drag point `offset` output pixels from the true place.
    int Drag(CPoint offset, int& mode, CPoint& dragPoint)
    {
        LabeledPoint request;
        request.Set(m_picture->m_Path, m_grab.x, m_grab.y);
        request.v2 = mode;
        dragPoint = m_truePlace + offset;
        const int r = m_set.DragPicture(request, m_preview, &dragPoint, kScale);
        mode = request.v2;
        return r;
    }

    static constexpr int kScale = 2;
    CKpic* m_base = nullptr;
    CKpic* m_picture = nullptr;
    CPixelArray m_preview;
    CPoint m_grab;
    CPoint m_truePlace;
};

// The best match far to one side of the search grid is reported as an edge of the search
// area instead of a snap.
TEST_F(DragTest, EdgeFlagsPointTowardsAFarMatch)
{
    struct Case {
        CPoint cells; // drag point off the truth, in grid cells
        int flags;
    };
    for (const Case& c : {Case{{-7, 0}, 0x10}}) {
        SCOPED_TRACE(testing::Message() << "cells " << c.cells.x << ", " << c.cells.y);
        int mode = 0;
        CPoint dragPoint;
        int r = 0;
        // The search climbs towards the match over a few mouse moves, as the user drags.
        for (int step = 0; step < 4; ++step) {
            r = Drag(CPoint(c.cells.x * kScale, c.cells.y * kScale), mode, dragPoint);
            if (r >= 0x10)
                break;
        }
        EXPECT_EQ(r, c.flags);
    }
}

TEST_F(DragTest, PlainPreviewOverEmptySpaceAndUndimmedMode)
{
    // Far from every placed picture: a plain preview of the picture around the grabbed point.
    LabeledPoint request;
    request.Set(m_picture->m_Path, m_grab.x, m_grab.y);
    request.v2 = -2;
    CPoint far = m_set.SphereToPixel(CDPoint(2.8, 0.5));
    EXPECT_EQ(m_set.DragPicture(request, m_preview, &far, 1), 1);
    EXPECT_EQ(request.v2, 1);
    // Undimmed: the entry under the grabbed point is the picture's own pixel.
    const COLORREF own = m_picture->Pixels[static_cast<std::ptrdiff_t>(m_grab.y) * m_picture->Width() + m_grab.x];
    EXPECT_EQ(m_preview[64 * 128 + 64], own);
    request.v2 = 0;
    EXPECT_EQ(m_set.DragPicture(request, m_preview, &far, 1), 1);
    EXPECT_EQ(m_preview[64 * 128 + 64], (own & 0xFEFEFE) >> 1);

    // Invalid requests.
    LabeledPoint bad;
    bad.Set("/pictures/none.jpg", 1, 1);
    EXPECT_EQ(m_set.DragPicture(bad, m_preview, &far, 1), -1);
    request.v1 = 0;
    EXPECT_EQ(m_set.DragPicture(request, m_preview, &far, 1), -1);
}

// A mouse move gives the drag up and leaves the dragged picture where it was.
class MovingMouse : public platform::IInputState {
public:
    bool AsyncKeyState(platform::Key) override { return false; }
    bool KeyState(platform::Key) override { return false; }
    CPoint CursorPos() override { return CPoint(++m_calls, 0); }

private:
    int m_calls = 0;
};

TEST_F(DragTest, MouseMoveGivesUpAndRestoresThePicture)
{
    MovingMouse mouse;
    platform::SetInput(&mouse);
    const CDPoint direction = m_picture->m_Direction;
    int mode = 1;
    CPoint dragPoint;
    EXPECT_EQ(Drag(CPoint(2 * kScale, 0), mode, dragPoint), 0);
    EXPECT_EQ(dragPoint, m_truePlace + CPoint(2 * kScale, 0));
    EXPECT_EQ(m_picture->m_Direction.x, direction.x);
    EXPECT_EQ(m_picture->m_Direction.y, direction.y);
    platform::SetInput(&m_input);
}

} // namespace

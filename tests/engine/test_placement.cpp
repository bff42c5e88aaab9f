// Placing pictures by hand: a dropped picture snapping back onto its true place against a
// neighbour, the drop's refusals and messages, the anchor taken at once with Shift, and
// finishing a move of the whole panorama (re-centring, turning, re-aiming a fisheye view).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "geometry/sphere.h"
#include "imagefile/image_file.h"
#include "picset/mchost.h"
#include "picset/mcomp.h"
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
    int LoadPictureImage(const std::string& path) override { return load ? load(path) : -1; }
    std::function<int(const std::string&)> load;
    void BeginStep(const std::string&, const std::string&, const std::string&, const std::string&) override {}
    void EndStep() override {}
    std::vector<int> messages;
    std::vector<int> questions;
    int answer = 0;
};

// The keyboard and mouse as a script gives them: the keys held for the whole call, and a
// cursor that stays put for its first `stillFor` queries and moves at every query after that.
class ScriptedInput : public platform::IInputState {
public:
    bool AsyncKeyState(platform::Key key) override { return Held(key); }
    bool KeyState(platform::Key key) override { return Held(key); }
    CPoint CursorPos() override
    {
        ++cursorQueries;
        return cursorQueries > stillFor ? CPoint(cursorQueries, 7) : CPoint(0, 7);
    }
    void Hold(platform::Key key, bool down) { m_held[static_cast<std::size_t>(key)] = down; }

    long long stillFor = std::numeric_limits<long long>::max();
    long long cursorQueries = 0;

private:
    bool Held(platform::Key key) const { return m_held[static_cast<std::size_t>(key)]; }
    std::array<bool, static_cast<std::size_t>(platform::Key::Count)> m_held{};
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

    ScriptedInput m_input;
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
        m_input.Hold(platform::Key::Control, c.ctrl);
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
    m_input.Hold(platform::Key::Shift, true);
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


    // The second view made ready for a drop: both pictures' pixels loaded, lens data known,
    // the second picture taken off the work space again.
    void PrepareDrop(int view)
    {
        m_poses = AddViews(m_set, m_truth, {0, view}, 0);
        m_base = m_set.GetPictureAt(0);
        m_picture = m_set.GetPictureAt(1);
        ASSERT_TRUE(LoadPixels(m_base, ViewFile(*m_base)));
        ASSERT_TRUE(LoadPixels(m_picture, ViewFile(*m_picture)));
        for (CKpic* p : {m_base, m_picture}) {
            p->BuildColourLevels();
            p->m_LensSource = 1;
        }
        m_set.m_FocalModeSetting = 0;
        m_picture->m_Status = 0;
    }

    render_truth::CTruth m_truth;
    std::vector<Pose> m_poses;
    CKpic* m_base = nullptr;
    CKpic* m_picture = nullptr;
};

// A neighbour dropped 20 pixels beside its true place, turned 1 degree, snaps back onto it.
// The fit then rests on the automatic point pairs the drop found: their positions are good to
// about half a pixel (up to two for some), which is what the remaining error comes from.
TEST_F(PlacementViewsTest, DroppedNeighbourSnapsBackToItsTruePlace)
{
    struct Case {
        int view;
        CPoint grab; // in eighths of the picture's width and height
        CPoint offset;
    };
    const Case cases[] = {
        {1, {2, 4}, {20, 0}}, {1, {2, 4}, {-20, 0}}, {1, {2, 4}, {0, 20}},
        {1, {2, 4}, {14, -14}}, {11, {6, 4}, {0, -20}}, {11, {6, 3}, {-20, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "view " << c.view << " offset " << c.offset.x << ", " << c.offset.y);
        m_set.DeleteAllPictures();
        PrepareDrop(c.view);
        const Pose truth = m_poses[1];
        // The grabbed point's true place on the work space; the drop lies beside it.
        const CPoint grab(m_picture->Width() * c.grab.x / 8, m_picture->Height() * c.grab.y / 8);
        const CPoint truePlace = m_set.SphereToPixel(m_picture->PixelPointToSphere(grab.x, grab.y));
        m_picture->m_Roll += 1.0 * Degree;
        m_picture->m_Direction += CDPoint(0.03, 0.01);
        m_set.SortPlacedFirst();
        ASSERT_EQ(m_set.GetFittedCount(), 1);

        EXPECT_EQ(m_set.PlaceDroppedPicture(m_picture->m_Path, grab, truePlace + c.offset, 1, 5, 0.0), 1);
        EXPECT_EQ(m_picture->m_Status, 3);
        EXPECT_GE(m_picture->CountFittedPoints(), 5);
        EXPECT_LT(m_picture->m_FitScore, m_set.m_FitTolerance);
        EXPECT_LT(FrameAngle(*m_picture, truth), 0.2 * Degree)
            << "yaw " << m_picture->Yaw() << " pitch " << m_picture->Pitch() << " roll " << m_picture->m_Roll;
        EXPECT_TRUE(m_host.questions.empty());
    }
}

// Dropped far from every placed picture: nothing to fit against. The drop refuses it with
// its message, or, when the acceptance is lenient (the document's mode, or Ctrl held), asks
// whether to keep it where it was dropped.
TEST_F(PlacementViewsTest, DropOnFarEmptyAreaIsRefusedOrKeptOnRequest)
{
    struct Case {
        int searchMode;
        bool ctrl;
        int answer;
        int message;  // shown, 0 for none
        int question; // asked, 0 for none
        bool kept;    // fitted where it was dropped
    };
    const Case cases[] = {
        {0, false, 0, 39, 0, false},
        {0, true, 0, 0, 28, false},
        {5, false, 0, 0, 28, false},
        {5, false, 1, 0, 28, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "search mode " << c.searchMode << " ctrl " << c.ctrl << " answer "
                                        << c.answer);
        m_set.DeleteAllPictures();
        PrepareDrop(1);
        m_set.SortPlacedFirst();
        m_host.messages.clear();
        m_host.questions.clear();
        m_host.answer = c.answer;
        m_input.Hold(platform::Key::Control, c.ctrl);
        // Far to the side and up, where no placed picture lies.
        const CPoint grab(400, 300);
        const CPoint drop = m_set.SphereToPixel(CDPoint(1.4, 0.6));
        const CDPoint farAway = m_set.PixelToSphere(drop.x, drop.y);
        EXPECT_EQ(m_set.PlaceDroppedPicture(m_picture->m_Path, grab, drop, 1, c.searchMode, 0.0), 1);
        EXPECT_EQ(m_host.messages, c.message ? std::vector<int>{c.message} : std::vector<int>{});
        EXPECT_EQ(m_host.questions, c.question ? std::vector<int>{c.question} : std::vector<int>{});
        EXPECT_EQ(m_picture->m_Status >= 3, c.kept);
        EXPECT_EQ(m_set.GetFittedCount(), c.kept ? 2 : 1);
        if (c.kept) {
            EXPECT_EQ(m_picture->m_SearchMark, -2);
            EXPECT_LT(SphericalDistance(m_picture->PixelPointToSphere(grab.x, grab.y), farAway), 0.01);
        }
    }
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
    // The base picture's pixel under the move's end then looks straight ahead: the view is
    // centred on it.
    for (int round = 0; round < 2; ++round) {
        const CPoint target = m_set.SphereToPixel(CDPoint(0.05 * (round + 1), -0.02));
        const CDPoint pixel = base->SphereToPixel(m_set.PixelToSphere(target.x, target.y));
        EXPECT_EQ(m_set.FinishMove(target.x, target.y, 0.01), 1);
        EXPECT_EQ(CountAnchors(*base), 1);
        const CDPoint centre = base->PixelToSphere(pixel);
        EXPECT_NEAR(centre.x, 0.0, 0.002);
        EXPECT_NEAR(centre.y, 0.0, 0.002);
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

// A picture dragged by one of the user's points: the grabbed point makes a pair with it that
// tells the picture's focal. Where the pair tells none (the grab on the user's point itself) the
// picture keeps its focal instead of taking the failed estimate (100000 pixels); and a point
// table without a free slot keeps every real point (the pair used to overwrite the last one and
// free it afterwards).
TEST_F(PlacementTest, MovingByOneUserPointKeepsFocalAndPoints)
{
    const double f = 692.82;
    AddPicture(m_set, "base", {}, f);
    m_set.m_CommonFocal = f;
    struct Case {
        const char* what;
        int filler;      // automatic points besides the user's point
        CPoint grabbed;  // the picture pixel the drag holds
    };
    const Case cases[] = {
        {"grabbed on the user's point", 0, CPoint(400, 300)},
        {"full point table", CONTROL_POINT_SLOTS - 1, CPoint(600, 200)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CKpic* k = AddPicture(m_set, std::string("dragged") + std::to_string(c.filler), {0.3, 0.0, 0.0}, f, 800, 600, 2);
        ControlPoint& user = k->m_Points[0];
        user.kind = 1;
        user.state = 0;
        user.pointId = 7;
        user.position = CDPoint(400, 300);
        user.target = k->PixelToSphere(user.position);
        for (int i = 1; i <= c.filler; ++i) {
            ControlPoint& cp = k->m_Points[static_cast<std::size_t>(i)];
            cp.kind = 4;
            cp.state = 3;
            cp.pointId = 1000 + i;
            cp.position = CDPoint(10.0 * i, 200.0);
            cp.target = k->PixelToSphere(cp.position);
        }
        k->RefreshControlPoints();
        const auto points = k->m_Points;
        const CPoint output = m_set.SphereToPixel(k->PixelPointToSphere(c.grabbed.x, c.grabbed.y));
        EXPECT_EQ(m_set.MovePictureToPoint(k, c.grabbed, output, 0.0), 1);
        EXPECT_TRUE(std::isfinite(k->m_Focal));
        EXPECT_NEAR(k->m_Focal, f, 0.05 * f);
        EXPECT_EQ(k->CountControlPoints(), c.filler + 1);
        for (int i = 0; i <= c.filler; ++i) {
            EXPECT_EQ(k->m_Points[static_cast<std::size_t>(i)].kind, points[static_cast<std::size_t>(i)].kind) << i;
            EXPECT_EQ(k->m_Points[static_cast<std::size_t>(i)].pointId, points[static_cast<std::size_t>(i)].pointId) << i;
        }
    }
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
        m_poses = AddViews(m_set, m_truth, {0, 1}, 0);
        m_base = m_set.GetPictureAt(0);
        m_picture = m_set.GetPictureAt(1);
        ASSERT_TRUE(LoadPixels(m_base, ViewFile(*m_base)));
        ASSERT_TRUE(LoadPixels(m_picture, ViewFile(*m_picture)));
        m_preview.SetSize(kSide * kSide);
        // A grabbed point of the dragged picture that the base picture sees too.
        m_grab = CPoint(m_picture->Width() / 5, m_picture->Height() / 2);
        m_truePlace = m_set.SphereToPixel(m_picture->PixelPointToSphere(m_grab.x, m_grab.y));
        ASSERT_TRUE(m_base->HitTestPointArea(m_set.PixelToSphere(m_truePlace.x, m_truePlace.y)));
    }

    // One drag step with the drag point `cells` search cells (kScale output pixels each) from
    // the true place; the drag mode is read and left as the step leaves it.
    int Drag(CPoint cells, int& mode, CPoint& dragPoint)
    {
        LabeledPoint request;
        request.Set(m_picture->m_Path, m_grab.x, m_grab.y);
        request.v2 = mode;
        dragPoint = m_truePlace + CPoint(cells.x * kScale, cells.y * kScale);
        const int r = m_set.DragPicture(request, m_preview, &dragPoint, kScale);
        mode = request.v2;
        return r;
    }

    // The dragged picture is exactly as it was before the step.
    void ExpectPictureUnmoved(const Pose& before, double focal)
    {
        EXPECT_EQ(m_picture->Yaw(), before.yaw);
        EXPECT_EQ(m_picture->Pitch(), before.pitch);
        EXPECT_EQ(m_picture->m_Roll, before.roll);
        EXPECT_EQ(m_picture->m_Focal, focal);
    }
    Pose PoseNow() const { return {m_picture->Yaw(), m_picture->Pitch(), m_picture->m_Roll}; }

    static constexpr int kSide = 128;
    static constexpr int kScale = 2;
    CPixelArray m_preview;
    CPoint m_grab;
    CPoint m_truePlace;
};

// The user drags the picture over its true place and on to a point beside it: the best match
// found so far then lies towards an edge of the search area, and the answer says which edge
// instead of snapping.
TEST_F(DragTest, EdgeFlagsPointTowardsAFarMatch)
{
    struct Case {
        CPoint cells; // where the drag ends, off the truth, in search cells
        int flags;
    };
    const Case cases[] = {
        {{-7, 0}, 0x10}, {{0, -7}, 0x20}, {{7, 0}, 0x40}, {{0, 6}, 0x80},
        {{-7, 7}, 0x90}, {{7, -7}, 0x60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cells " << c.cells.x << ", " << c.cells.y);
        const Pose before = PoseNow();
        const double focal = m_picture->m_Focal;
        int mode = 0;
        CPoint dragPoint;
        EXPECT_EQ(Drag(CPoint(0, 0), mode, dragPoint) & 0x100, 0);
        EXPECT_EQ(mode, 1);
        EXPECT_EQ(Drag(c.cells, mode, dragPoint), c.flags);
        EXPECT_EQ(dragPoint, m_truePlace + CPoint(c.cells.x * kScale, c.cells.y * kScale));
        ExpectPictureUnmoved(before, focal);
    }
}

// Dragged towards its true place one search cell at a time, the picture snaps: the drag point
// is rewritten to the matched place, which lies within one search cell of the truth.
TEST_F(DragTest, SnapsOntoTheTruePlaceWhenDraggedTowardsIt)
{
    for (CPoint start : {CPoint(-8, -8), CPoint(8, 8), CPoint(0, -10), CPoint(-12, 6)}) {
        SCOPED_TRACE(testing::Message() << "from " << start.x << ", " << start.y);
        const Pose before = PoseNow();
        const double focal = m_picture->m_Focal;
        int mode = 0;
        int snaps = 0;
        const int steps = std::max(std::abs(start.x), std::abs(start.y));
        for (int step = 0; step <= steps; ++step) {
            const CPoint cells(start.x * (steps - step) / steps, start.y * (steps - step) / steps);
            CPoint dragPoint;
            const int r = Drag(cells, mode, dragPoint);
            ExpectPictureUnmoved(before, focal);
            if (r != 0x100) {
                EXPECT_EQ(dragPoint, m_truePlace + CPoint(cells.x * kScale, cells.y * kScale));
                continue;
            }
            ++snaps;
            EXPECT_LE(std::abs(dragPoint.x - m_truePlace.x), kScale);
            EXPECT_LE(std::abs(dragPoint.y - m_truePlace.y), kScale);
        }
        EXPECT_GE(snaps, 1);
    }
}

// Over a placed picture whose pixels are not in memory yet, the snap search has the picture
// read first; when it cannot be read, the step answers with the preview alone.
TEST_F(DragTest, PartnerWithoutPixelsIsReadFirstOrLeftOut)
{
    m_base->Pixels.RemoveAll();
    int mode = 0;
    CPoint dragPoint;
    EXPECT_EQ(Drag(CPoint(0, 0), mode, dragPoint), 1);
    EXPECT_EQ(dragPoint, m_truePlace);
    EXPECT_EQ(m_base->Pixels.GetSize(), 0);

    std::vector<std::string> asked;
    m_host.load = [&](const std::string& path) {
        asked.push_back(path);
        return LoadPixels(m_base, ViewFile(*m_base)) ? 1 : -1;
    };
    mode = 0;
    Drag(CPoint(0, 0), mode, dragPoint);
    EXPECT_EQ(asked, std::vector<std::string>{m_base->m_Path});
    EXPECT_EQ(m_base->Pixels.GetSize(), static_cast<std::ptrdiff_t>(m_base->Width()) * m_base->Height());
    m_host.load = nullptr;
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

// A mouse move while the preview is sampled gives the step up; one during the snap search
// gives the search up. Either way nothing snaps and the dragged picture stays as it was.
TEST_F(DragTest, MouseMoveGivesUpAndLeavesThePictureWhereItWas)
{
    // The step that snaps at the end of a drag towards the true place, first undisturbed.
    const std::vector<CPoint> path = {{-8, -8}, {-6, -6}, {-5, -5}, {-4, -4}, {-3, -3}, {-2, -2}, {-1, -1}, {0, 0}};
    auto dragAlong = [&](std::size_t last, int& mode) {
        CPoint dragPoint;
        int r = 0;
        for (std::size_t i = 0; i <= last; ++i)
            r = Drag(path[i], mode, dragPoint);
        return r;
    };
    std::size_t snapStep = path.size();
    int mode = 0;
    for (std::size_t i = 0; i < path.size() && snapStep == path.size(); ++i) {
        CPoint dragPoint;
        if (Drag(path[i], mode, dragPoint) == 0x100)
            snapStep = i;
    }
    ASSERT_LT(snapStep, path.size()) << "the undisturbed drag never snapped";
    const CPixelArray undisturbed = m_preview;

    // The cursor queries of that step before its search: one at the start, one before each
    // row of 16-pixel blocks, one after the preview.
    constexpr long long PreviewQueries = 1 + kSide * kScale / 16 + 1;
    struct Case {
        long long stillFor; // cursor queries of the step before the mouse moves
        int result;
    };
    for (const Case& c : {Case{0, 0}, Case{5, 0}, Case{PreviewQueries, 1}}) {
        SCOPED_TRACE(testing::Message() << "mouse moves after query " << c.stillFor);
        mode = 0;
        ASSERT_NE(dragAlong(snapStep - 1, mode), 0x100);
        const Pose before = PoseNow();
        const double focal = m_picture->m_Focal;
        m_input.cursorQueries = 0;
        m_input.stillFor = c.stillFor;
        CPoint dragPoint;
        EXPECT_EQ(Drag(path[snapStep], mode, dragPoint), c.result);
        m_input.stillFor = std::numeric_limits<long long>::max();
        if (c.stillFor >= PreviewQueries) {
            // The search itself polled the mouse, and the finished preview stands.
            EXPECT_GT(m_input.cursorQueries, PreviewQueries);
            for (std::ptrdiff_t i = 0; i < m_preview.GetSize(); ++i)
                ASSERT_EQ(m_preview[i], undisturbed[i]) << "entry " << i;
        }
        EXPECT_EQ(dragPoint, m_truePlace + CPoint(path[snapStep].x * kScale, path[snapStep].y * kScale));
        ExpectPictureUnmoved(before, focal);
    }
}

// The turn the user gives a dragged picture reaches the preview through the facade as a roll
// offset, on top of the picture's own roll, and the picture keeps its own roll afterwards.
TEST(DragRollOffset, TurnReachesThePreviewAsRoll)
{
    render_truth::CTruth truth;
    std::string why;
    if (!LoadViews(&truth, &why))
        GTEST_SKIP() << why;
    CMcomp facade;
    UseIdentityLens();
    CMcCore& set = facade.Core();
    AddViews(set, truth, {0, 1}, 0);
    CKpic* base = set.GetPictureAt(0);
    CKpic* k = set.GetPictureAt(1);
    for (CKpic* p : {base, k}) {
        CSize size(p->Width(), p->Height());
        ASSERT_GT(LoadImageFile(ViewFile(*p), p->Pixels, size, CRect(0, 0, 0, 0)), 0);
    }
    const CPoint grab(k->Width() / 5, k->Height() / 2);
    const CPoint place = set.SphereToPixel(k->PixelPointToSphere(grab.x, grab.y));
    auto preview = [&](double ownRoll, double turn) {
        k->m_Roll = ownRoll;
        CPixelArray out;
        out.SetSize(128 * 128);
        int mode = 0;
        CPoint dragPoint = place;
        facade.DragPicture(k->m_Path, grab, mode, out, &dragPoint, 2, turn);
        EXPECT_EQ(k->m_Roll, ownRoll);
        return std::vector<COLORREF>(&out[0], &out[0] + out.GetSize());
    };
    const std::vector<COLORREF> straight = preview(0.0, 0.0);
    const std::vector<COLORREF> turned = preview(0.0, 0.2);
    EXPECT_NE(turned, straight);
    EXPECT_EQ(preview(0.2, 0.0), turned);
    EXPECT_EQ(preview(0.1, 0.1), turned);
}

} // namespace

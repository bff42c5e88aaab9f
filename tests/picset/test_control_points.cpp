// The control-point table of a picture record: finding, counting, compacting and adding
// slots; the plane-point angles of a slot; the layout-cell packing of the project file.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "picset/kpic.h"

namespace {

// A 10 x 8 picture whose listed slots are used (kind 1), each with point id 100 + slot.
void UseSlots(CKpic& pic, std::initializer_list<int> slots)
{
    for (int s : slots) {
        pic.m_Points[s].kind = 1;
        pic.m_Points[s].pointId = 100 + s;
    }
}

void FillTable(CKpic& pic)
{
    for (int s = 0; s < CONTROL_POINT_SLOTS; ++s) {
        pic.m_Points[s].kind = 1;
        pic.m_Points[s].pointId = 100 + s;
    }
}

} // namespace

TEST(ControlPointTable, EmptyTableAnswersItsNothingValues)
{
    CKpic pic;
    EXPECT_EQ(pic.CountControlPoints(), 0);
    EXPECT_EQ(pic.FindFreePoint(), 0);
    EXPECT_EQ(pic.LastUsedPoint(), 0);
    EXPECT_EQ(pic.FindAnchorPoint(), -3);
    EXPECT_EQ(pic.FindPointStateM5(), -3);
    EXPECT_EQ(pic.FindPointStateM6(), -3);
    EXPECT_EQ(pic.FindFittedPoint(), -1);
    EXPECT_EQ(pic.CountFittedPoints(), 0);
    EXPECT_EQ(pic.CountKind1Points(), 0);
    EXPECT_EQ(pic.HasPointId(0), 0);
}

TEST(ControlPointTable, CountingCompactsAHoleAndFreesTheVacatedSlot)
{
    CKpic pic;
    UseSlots(pic, {0, 2});
    pic.m_Points[2].state = 3;
    pic.m_Points[2].position = CDPoint(4.5, 2.25);

    EXPECT_EQ(pic.CountControlPoints(), 2);
    EXPECT_EQ(pic.m_Points[0].pointId, 100);
    EXPECT_EQ(pic.m_Points[1].kind, 1);
    EXPECT_EQ(pic.m_Points[1].pointId, 102);
    EXPECT_EQ(pic.m_Points[1].state, 3);
    EXPECT_EQ(pic.m_Points[1].position, CDPoint(4.5, 2.25));
    EXPECT_EQ(pic.m_Points[2].kind, 0);
    EXPECT_EQ(pic.m_Points[2].state, 0);
    EXPECT_EQ(pic.FindFreePoint(), 2);
    EXPECT_EQ(pic.LastUsedPoint(), 1);
}

TEST(ControlPointTable, CompactionKeepsOrderForAnyPatternOfHoles)
{
    const std::initializer_list<int> patterns[] = {
        {49},                         // one point at the very end: the longest move
        {1, 3, 5, 7, 9, 11, 13, 15},  // every other slot
        {0, 1, 2, 30, 31, 48, 49},    // runs with a long gap
        {0, 1, 2, 3},                 // already compact
    };
    for (const auto& pattern : patterns) {
        CKpic pic;
        UseSlots(pic, pattern);
        const int n = static_cast<int>(pattern.size());
        EXPECT_EQ(pic.CountControlPoints(), n);
        int i = 0;
        for (int s : pattern) {
            EXPECT_EQ(pic.m_Points[i].pointId, 100 + s) << "pattern starting " << *pattern.begin();
            ++i;
        }
        for (int k = n; k < CONTROL_POINT_SLOTS; ++k)
            EXPECT_FALSE(pic.m_Points[k].IsUsed()) << "slot " << k;
    }
}

TEST(ControlPointTable, FullTableAnswersSlot49AndAddingReplacesIt)
{
    CKpic pic("p.bmp", CRect(0, 0, 10, 8));
    FillTable(pic);
    EXPECT_EQ(pic.FindFreePoint(), 49);
    EXPECT_EQ(pic.LastUsedPoint(), 49);
    EXPECT_EQ(pic.CountControlPoints(), 50);

    EXPECT_EQ(pic.AddPointAt(555, CDPoint(3.0, 4.0)), 49);
    EXPECT_EQ(pic.m_Points[49].pointId, 555);
    EXPECT_EQ(pic.m_Points[48].pointId, 148);
    EXPECT_EQ(pic.CountControlPoints(), 50);
}

TEST(ControlPointTable, AddedPointIsAConfirmedUserPointAtTheUnroundedPosition)
{
    CKpic pic("p.bmp", CRect(0, 0, 10, 8));
    UseSlots(pic, {0});
    const int slot = pic.AddPointAt(4242, CDPoint(3.75, 6.25));
    ASSERT_EQ(slot, 1);
    const ControlPoint& cp = pic.m_Points[1];
    EXPECT_EQ(cp.kind, 1);
    EXPECT_EQ(cp.state, 3);
    EXPECT_EQ(cp.pointId, 4242);
    EXPECT_EQ(cp.position, CDPoint(3.75, 6.25));
    EXPECT_EQ(cp.target, CDPoint(0.0, 0.0));
    EXPECT_EQ(cp.residual, 1.0);
    EXPECT_EQ(pic.CountFittedPoints(), 1);
    EXPECT_EQ(pic.FindFittedPoint(), 1);
}

TEST(ControlPointTable, AddingRoundsThePositionAndRefusesPointsOffThePicture)
{
    // A 10 x 8 picture holds pixels 0..9 x 0..7; the position rounds with floor(v + 0.5).
    struct Case {
        CDPoint pos;
        bool inside;
    };
    const Case cases[] = {
        {{9.49, 0.0}, true},  {{9.5, 0.0}, false},  // rounds to x = width
        {{-0.5, 0.0}, true},  {{-0.51, 0.0}, false},
        {{0.0, 7.49}, true},  {{0.0, 7.5}, false},  // rounds to y = height
        {{1e12, 3.0}, false}, {{std::nan(""), 3.0}, false},
    };
    for (const Case& c : cases) {
        CKpic pic("p.bmp", CRect(0, 0, 10, 8));
        const int slot = pic.AddPointAt(7, c.pos);
        if (c.inside) {
            EXPECT_EQ(slot, 0) << c.pos.x << ", " << c.pos.y;
        } else {
            EXPECT_EQ(slot, -2) << c.pos.x << ", " << c.pos.y;
            EXPECT_EQ(pic.CountControlPoints(), 0);
            EXPECT_EQ(pic.m_Points[0].pointId, 0);
        }
    }
}

TEST(ControlPointTable, SlotSearchesStopAtTheFirstFreeSlot)
{
    CKpic pic;
    UseSlots(pic, {0, 2, 3, 4});
    pic.m_Points[2].state = -4;
    pic.m_Points[2].pointId = PLACEMENT_ANCHOR_ID;
    pic.m_Points[3].state = -5;
    pic.m_Points[4].state = -6;
    EXPECT_EQ(pic.FindAnchorPoint(), -3);
    EXPECT_EQ(pic.FindPointStateM5(), -3);
    EXPECT_EQ(pic.FindPointStateM6(), -3);

    pic.CountControlPoints();
    EXPECT_EQ(pic.FindAnchorPoint(), 1);
    EXPECT_EQ(pic.FindPointStateM5(), 2);
    EXPECT_EQ(pic.FindPointStateM6(), 3);
}

TEST(ControlPointTable, AnchorNeedsBothItsStateAndItsId)
{
    CKpic pic;
    UseSlots(pic, {0, 1});
    pic.m_Points[0].state = -4; // anchor state with another id
    pic.m_Points[1].pointId = PLACEMENT_ANCHOR_ID; // anchor id with another state
    EXPECT_EQ(pic.FindAnchorPoint(), -3);
    pic.m_Points[1].state = -4;
    EXPECT_EQ(pic.FindAnchorPoint(), 1);
}

TEST(ControlPointTable, IdSearchSeesPointsBehindAHole)
{
    CKpic pic;
    UseSlots(pic, {0, 5});
    EXPECT_EQ(pic.HasPointId(105), 1);
    EXPECT_EQ(pic.m_Points[1].pointId, 105);
    EXPECT_EQ(pic.HasPointId(999), 0);
}

TEST(ControlPointTable, CountsByKindAndState)
{
    CKpic pic;
    const struct {
        int kind;
        int state;
    } slots[] = {{1, 0}, {1, 2}, {1, 3}, {4, 3}, {3, 1}, {5, -5}, {1, -4}};
    int i = 0;
    for (const auto& s : slots) {
        pic.m_Points[i].kind = s.kind;
        pic.m_Points[i].state = s.state;
        ++i;
    }
    EXPECT_EQ(pic.CountControlPoints(), 7);
    EXPECT_EQ(pic.CountKind1Points(), 4);
    EXPECT_EQ(pic.CountLinkedUserPoints(), 2); // kind 1 with state above 1
    EXPECT_EQ(pic.CountFittedPoints(), 2);     // state above 2
    EXPECT_EQ(pic.FindFittedPoint(), 2);
}

TEST(ControlPointSlot, PlanePointGivesOffAxisAndDirectionAngles)
{
    // Direction angles wrap into [0, 2 pi) with the engine's pi of 3.14159265.
    const double pi = 3.14159265;
    const struct {
        CDPoint plane;
        double focal;
        double offAxis;
        double direction;
    } cases[] = {
        {{0.0, 10.0}, 10.0, std::atan2(10.0, 10.0), 0.0},
        {{-1.0, 0.0}, 1000.0, std::atan2(1.0, 1000.0), std::atan2(1.0, 0.0)},
        {{10.0, 0.0}, 1000.0, std::atan2(10.0, 1000.0), std::atan2(-10.0, 0.0) + 2 * pi},
        {{3.0, -4.0}, 5.0, std::atan2(5.0, 5.0), std::atan2(-3.0, -4.0) + 2 * pi},
        {{0.0, 0.0}, 1000.0, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        ControlPoint cp;
        cp.SetPlanePoint(c.plane, c.focal);
        EXPECT_EQ(cp.planePosition, c.plane);
        EXPECT_DOUBLE_EQ(cp.offAxisAngle, c.offAxis);
        EXPECT_DOUBLE_EQ(cp.directionAngle, c.direction);
        EXPECT_GE(cp.directionAngle, 0.0);
    }
}

TEST(LayoutCellPacking, CellsRoundTripThroughTwoSignedBytes)
{
    const struct {
        CPoint cell;
        int32_t packed;
        CPoint unpacked;
    } cases[] = {
        {{0, 0}, 0x0000, {0, 0}},
        {{5, 3}, 0x0305, {5, 3}},
        {{-1, -2}, 0xFEFF, {-1, -2}},
        {{-1, 2}, 0x02FF, {-1, 2}},
        {{127, -128}, 0x807F, {127, -128}},
        {{200, -129}, 0x7FC8, {-56, 127}}, // outside -128..127: wraps to one byte
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PackCell(c.cell), c.packed) << c.cell.x << ", " << c.cell.y;
        EXPECT_EQ(UnpackCell(c.packed), c.unpacked) << c.cell.x << ", " << c.cell.y;
    }
}

TEST(LayoutCellPacking, NoCellValueSurvivesTheProjectFile)
{
    // The no-cell value keeps the bytes it always had in project files, and comes back as
    // itself instead of as the real-looking cell (-32, -32).
    EXPECT_EQ(PackCell(NO_LAYOUT_CELL), 0xE0E0);
    EXPECT_EQ(UnpackCell(PackCell(NO_LAYOUT_CELL)), NO_LAYOUT_CELL);
    EXPECT_EQ(UnpackCell(0x7FE0E0), NO_LAYOUT_CELL); // higher bytes are not part of the cell
}

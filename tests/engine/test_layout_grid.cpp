// The layout grid: the cells connected to the home cell (L-shapes, holes, a row-0 cell reached
// only from another row, two pictures in one cell), the count of connected pictures, the choice
// of the next picture and its neighbour, the cells that the true geometry of the synthetic
// ring gives, and the two corrections of the base picture on tilted and rolled rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/engine/fit_set_fixture.h"

using namespace fit_fixture;

namespace {

// A set with one picture per cell (status 3 unless given), in the order given.
void AddCells(CMcCore& set, const std::vector<CPoint>& cells, const std::vector<int>& statuses = {})
{
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int status = i < statuses.size() ? statuses[i] : 3;
        CKpic* k = AddPicture(set, "c" + std::to_string(i), {}, 700.0, 800, 600, status);
        k->m_LayoutCell = cells[i];
    }
}

TEST(LayoutGrid, ConnectedCellsAndHomeRow)
{
    struct Case {
        const char* name;
        std::vector<CPoint> cells;
        CRect layout;  // inclusive
        CRect homeRow; // inclusive, height 0
    } const cases[] = {
        {"L-shape", {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}}, {0, 0, 2, 2}, {0, 0, 2, 0}},
        {"hole in the row", {{0, 0}, {1, 0}, {3, 0}, {0, 1}, {1, 1}}, {0, 0, 1, 1}, {0, 0, 1, 0}},
        {"row 0 reached from row -1 only", {{0, 0}, {0, -1}, {1, -1}, {2, -1}, {2, 0}}, {0, -1, 2, 0}, {0, 0, 0, 0}},
        {"left and down", {{0, 0}, {-1, 0}, {-2, 0}, {-2, -1}, {-2, -2}, {-3, -2}}, {-3, -2, 0, 0}, {-2, 0, 0, 0}},
        {"ring around a hole", {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}}, {0, 0, 2, 2}, {0, 0, 2, 0}},
        {"only the home cell", {{0, 0}}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMcCore set;
        AddCells(set, c.cells);
        set.BuildLayoutGrid();
        EXPECT_EQ(set.m_LayoutRect, c.layout);
        EXPECT_EQ(set.m_HomeRowExtent, c.homeRow);
        const int width = c.layout.right - c.layout.left + 1;
        ASSERT_EQ(set.m_LayoutGrid.size(), static_cast<std::size_t>(width * (c.layout.bottom - c.layout.top + 1)));
        // Every picture inside the rectangle sits in its entry, reached or not.
        for (const auto& k : set.m_Pictures) {
            const CPoint p = k->m_LayoutCell;
            if (p.x < c.layout.left || p.x > c.layout.right || p.y < c.layout.top || p.y > c.layout.bottom)
                continue;
            EXPECT_EQ(set.m_LayoutGrid[static_cast<std::size_t>((p.y - c.layout.top) * width + p.x - c.layout.left)], k.get());
        }
    }
}

TEST(LayoutGrid, LaterPictureWinsASharedCellAndNoHomeBuildsNothing)
{
    CMcCore set;
    AddCells(set, {{0, 0}, {1, 0}, {1, 0}});
    set.BuildLayoutGrid();
    ASSERT_EQ(set.m_LayoutGrid.size(), 2u);
    EXPECT_EQ(set.m_LayoutGrid[1], set.m_Pictures[2].get());

    CMcCore none;
    AddCells(none, {{1, 0}, {2, 0}});
    none.m_LayoutGrid.assign(3, nullptr);
    none.m_LayoutRect = CRect(0, 0, 2, 0);
    none.BuildLayoutGrid();
    EXPECT_TRUE(none.m_LayoutRect.IsRectNull());
    EXPECT_TRUE(none.m_HomeRowExtent.IsRectNull());
    EXPECT_EQ(none.m_LayoutGrid.size(), 3u);
    int count = 42;
    EXPECT_EQ(none.CountConnectedPictures(0, count), 0);
    EXPECT_EQ(count, 42);
    EXPECT_EQ(none.FindPictureAtHomeCell(), nullptr);
}

TEST(LayoutGrid, CountsPicturesConnectedToTheHomeCell)
{
    CMcCore set;
    // Connected: (0,0) 3, (1,0) 3, (1,1) 2, (1,2) 0; apart: (3,0) 3 and a cell outside the area.
    AddCells(set, {{0, 0}, {1, 0}, {1, 1}, {1, 2}, {3, 0}, {19, 0}}, {3, 3, 2, 0, 3, 3});
    int count = -1;
    EXPECT_EQ(set.CountConnectedPictures(2, count), 2);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(set.CountConnectedPictures(-1, count), 2);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(set.FindPictureAtHomeCell(), set.m_Pictures[0].get());
    EXPECT_EQ(set.GetUsedCellsRect(), CRect(0, 0, 19, 2));
}

TEST(LayoutGrid, NextPictureComesFromItsCheapestNeighbour)
{
    CMcCore set;
    // Fitted: home (0,0) and (1,0); to fit: (1,1) above (1,0), (0,1) diagonal to (1,0) and
    // above the home cell.
    AddCells(set, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {3, 3, 2, 2});
    CKpic* above = set.m_Pictures[2].get();
    CKpic* left = set.m_Pictures[3].get();

    FitCandidate c = set.CellNeighbourCandidate(above, 3);
    EXPECT_EQ(c.uppic, set.m_Pictures[1].get());
    EXPECT_EQ(c.hp, CPoint(8, 0)); // seen from its neighbour the picture lies above (8)
    // A neighbour tried three times is never chosen again: the diagonal one is.
    above->m_TryCounters[1] = 3;
    c = set.CellNeighbourCandidate(above, 3);
    EXPECT_EQ(c.uppic, set.m_Pictures[0].get());
    EXPECT_EQ(c.hp, CPoint(9, 0));
    above->m_TryCounters[0] = 3;
    c = set.CellNeighbourCandidate(above, 3);
    EXPECT_EQ(c.uppic, nullptr);
    EXPECT_EQ(c.hp, CPoint(0, 4));

    // (0,1): straight above the home cell, distance 1; (1,1) has no neighbour left.
    FitCandidate best = set.BestGridCandidate(3);
    EXPECT_EQ(best.picture, left);
    EXPECT_EQ(best.uppic, set.m_Pictures[0].get());
    EXPECT_DOUBLE_EQ(best.score, 1.0);

    // A picture not yet fitted at the home cell goes first, against nobody.
    CMcCore fresh;
    AddCells(fresh, {{1, 0}, {0, 0}}, {3, 0});
    best = fresh.BestGridCandidate(3);
    EXPECT_EQ(best.picture, fresh.m_Pictures[1].get());
    EXPECT_EQ(best.score, 0.0);
    EXPECT_EQ(best.uppic, nullptr);

    // Nothing to fit.
    CMcCore done;
    AddCells(done, {{0, 0}, {1, 0}});
    EXPECT_EQ(done.BestGridCandidate(3).score, 1000000.0);
}

TEST(LayoutGrid, PlacementPenaltyGrowsWithDistanceAndRoll)
{
    CMcCore set;
    CKpic* k = AddPicture(set, "p", {0.1, 0.0, 0.02}, 1000.0);
    k->m_FitScore = 2.0;
    // Within 5 pixels of the picture's direction and at its roll: the fit score x 0.8.
    EXPECT_NEAR(static_cast<double>(set.PlacementPenalty(k, CDPoint(0.1 + 0.004, 0.0), 0.02)), 1.6, 1e-9);
    // 25 pixels away (20 beyond the free 5) and 0.05 off in roll: x 2 x 2.
    EXPECT_NEAR(static_cast<double>(set.PlacementPenalty(k, CDPoint(0.125, 0.0), 0.07)), 6.4, 1e-6);
    EXPECT_EQ(set.PlacementPenalty(nullptr, CDPoint(), 0.0), 1e6L);
}

// Columns follow the longitude and rows the latitude (both in the engine's convention).
TEST(LayoutCells, TrueRingGivesOneColumnPerView)
{
    render_truth::CTruth truth;
    std::string why;
    if (!LoadViews(&truth, &why))
        GTEST_SKIP() << why;
    CMcCore set;
    // The ring without the view opposite the base (it lies on the seam).
    const std::vector<int> ring = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11};
    AddViews(set, truth, ring, 0);
    // Two pictures straight above and below ring views 2 and 11.
    CKpic* above = AddPicture(set, "above", {set.m_Pictures[2]->Yaw(), 0.6, 0.0}, truth.focal);
    CKpic* below = AddPicture(set, "below", {set.m_Pictures[10]->Yaw(), -0.6, 0.0}, truth.focal);
    set.SortPlacedFirst();
    ASSERT_EQ(set.AssignGridCells(), 1);
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const int v = ring[i];
        EXPECT_EQ(set.m_Pictures[i]->m_LayoutCell, CPoint(v <= 6 ? v : v - 12, 0)) << "view " << v;
    }
    EXPECT_EQ(above->m_LayoutCell, CPoint(2, 1));
    EXPECT_EQ(below->m_LayoutCell, CPoint(-1, -1));

    CMcCore empty;
    EXPECT_EQ(empty.AssignGridCells(), -1);
}

TEST(LayoutCells, BearingsAroundTheDiagonalPickRowOrColumn)
{
    struct Case {
        CDPoint direction; // of the second picture; the base looks at (0, 0)
        CPoint cell;
    } const cases[] = {
        {{0.0, 0.2}, {0, 1}},   {{0.0, -0.2}, {0, -1}},  {{0.2, 0.0}, {1, 0}},   {{-0.2, 0.0}, {-1, 0}},
        {{-0.19, 0.2}, {0, 1}}, {{-0.21, 0.2}, {-1, 0}}, {{0.19, 0.2}, {0, 1}},  {{0.21, 0.2}, {1, 0}},
        {{0.19, -0.2}, {0, -1}}, {{0.21, -0.2}, {1, 0}}, {{-0.19, -0.2}, {0, -1}}, {{-0.21, -0.2}, {-1, 0}},
    };
    for (const Case& c : cases) {
        CMcCore set;
        AddPicture(set, "base", {}, 700.0);
        CKpic* k = AddPicture(set, "k", {c.direction.x, c.direction.y, 0.0}, 700.0);
        set.SortPlacedFirst();
        ASSERT_EQ(set.AssignGridCells(), 1);
        EXPECT_EQ(k->m_LayoutCell, c.cell) << c.direction.x << ", " << c.direction.y;
    }
}

TEST(LayoutCells, NeighboursAcrossTheSeamAreNotUsed)
{
    // A picture at yaw 3.0 and one at -3.0 are neighbours on the sphere, but their yaws differ
    // by more than pi: the second takes its cell from the base picture's side instead.
    CMcCore set;
    AddPicture(set, "base", {}, 700.0);
    CKpic* east = AddPicture(set, "east", {3.0, 0.0, 0.0}, 700.0);
    CKpic* west = AddPicture(set, "west", {-3.05, 0.0, 0.0}, 700.0);
    set.SortPlacedFirst();
    std::vector<CKpic*> list;
    set.ListByDistanceFromBase(list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1], east);
    east->m_LayoutCell = CPoint(6, 0);
    EXPECT_EQ(set.FindNearestFittedNeighbour(list, west), set.m_Pictures[0].get());
}

// A level ring of 12 pictures turned as a whole by the rotation `world` (truth convention:
// world from camera), each at its cell of row 0.
std::vector<CKpic*> TurnedRing(CMcCore& set, double tiltAboutEast, double rollAboutForward)
{
    std::vector<CKpic*> ring;
    const double ca = std::cos(tiltAboutEast), sa = std::sin(tiltAboutEast);
    const double cb = std::cos(rollAboutForward), sb = std::sin(rollAboutForward);
    // Rz(b) . Rx(a): the world turned about the base picture's axis, then about the east axis.
    const double rz[3][3] = {{cb, -sb, 0}, {sb, cb, 0}, {0, 0, 1}};
    const double rx[3][3] = {{1, 0, 0}, {0, ca, -sa}, {0, sa, ca}};
    for (int i = 0; i < 12; ++i) {
        const double lon = (i <= 6 ? i : i - 12) * 30.0 * Degree;
        const double ry[3][3] = {{std::cos(lon), 0, std::sin(lon)}, {0, 1, 0}, {-std::sin(lon), 0, std::cos(lon)}};
        render_truth::CTruthView view;
        double m[3][3] = {};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                for (int k = 0; k < 3; ++k)
                    m[r][c] += rx[r][k] * ry[k][c];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                for (int k = 0; k < 3; ++k)
                    view.rotation[r][c] += rz[r][k] * m[k][c];
        CKpic* k = AddPicture(set, "ring" + std::to_string(i), TruthPose(view), 692.82);
        k->m_LayoutCell = CPoint(i <= 6 ? i : i - 12, 0);
        ring.push_back(k);
    }
    set.SortPlacedFirst();
    return ring;
}

TEST(BaseCorrections, AnchorShiftNeedsATiltedRow)
{
    struct Case {
        const char* name;
        double tilt;
        int result;
    } const cases[] = {{"tilted by 2 degrees", 2.0, 3}, {"tilted by -2 degrees", -2.0, 3}, {"level", 0.0, -2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMcCore set;
        set.m_CommonFocal = 692.82;
        std::vector<CKpic*> ring = TurnedRing(set, c.tilt * Degree, 0.0);
        // The base picture is anchored where it sees straight ahead, as a placed picture is.
        set.SetPicturePlacement(ring[0]->m_Path, ring[0]->SphereToPixelPoint(CDPoint(0.0, 0.0)));
        ring[0]->UpdateOrientationFromAnchor();
        const double before = ring[0]->Pitch();
        ASSERT_NEAR(std::fabs(before), std::fabs(c.tilt) * Degree, 0.1 * Degree);
        EXPECT_EQ(set.AdjustBaseAnchor(), c.result);
        if (c.result == 3) {
            // The base picture is anchored anew, lower or higher by the tilt: its pitch comes
            // back to the horizon.
            std::printf("anchor shift on a row tilted by %+.0f deg: base pitch %.4f -> %.4f deg\n", c.tilt,
                        before / Degree, ring[0]->Pitch() / Degree);
            EXPECT_LT(std::fabs(ring[0]->Pitch()), 0.2 * std::fabs(before));
        }
    }
    // Only pictures within 15 degrees of the base picture's yaw: nothing to measure.
    CMcCore near;
    AddPicture(near, "base", {}, 692.82);
    for (double yaw : {0.2, -0.2, 0.1})
        AddPicture(near, "n" + std::to_string(yaw), {yaw, 0.0, 0.05}, 692.82)->m_LayoutCell = CPoint(yaw > 0 ? 1 : -1, 0);
    near.SortPlacedFirst();
    EXPECT_EQ(near.AdjustBaseAnchor(), -2);
}

TEST(BaseCorrections, LevellingTurnsTheBaseRollTowardsTheHorizon)
{
    for (double roll : {1.0, -1.0, 3.0}) {
        SCOPED_TRACE(roll);
        CMcCore set;
        set.m_Projection = 23; // equirectangular
        set.m_CommonFocal = 692.82;
        std::vector<CKpic*> ring = TurnedRing(set, 0.0, roll * Degree);
        const double before = ring[0]->m_Roll;
        ASSERT_NEAR(std::fabs(before), std::fabs(roll) * Degree, 1e-9);
        EXPECT_EQ(set.LevelPanorama(), 3);
        // The correction has the sign of the roll and takes a good part of it away.
        const double after = ring[0]->m_Roll;
        std::printf("levelling a ring rolled by %+.0f deg: base roll %.4f -> %.4f deg\n", roll, before / Degree,
                    after / Degree);
        EXPECT_LT(std::fabs(after), 0.7 * std::fabs(before));
        EXPECT_GT(after * before, 0.0);
    }
    // A level ring needs nothing; other projections are left alone.
    CMcCore level;
    level.m_Projection = 23;
    level.m_CommonFocal = 692.82;
    TurnedRing(level, 0.0, 0.0);
    EXPECT_EQ(level.LevelPanorama(), -2);
    for (int projection : {11, 19, 31}) {
        CMcCore other;
        other.m_Projection = projection;
        TurnedRing(other, 0.0, 1.0 * Degree);
        EXPECT_EQ(other.LevelPanorama(), -2) << projection;
    }
}

} // namespace

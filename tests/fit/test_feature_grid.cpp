// Feature strengths, the step-wise preparation of the feature grid, its weights and searches.
#include <gtest/gtest.h>

#include <cstring>

#include "picset/mccore.h"
#include "tests/fit/fit_test_pictures.h"

using fittest::Grey;
using fittest::MakePicture;

namespace {

// A smooth diagonal gradient with a few bright squares: their corners are the features. The
// corners lie on cell centres (10 + 20 n), so each is measured in the middle of a patch.
struct SquaresPicture {
    static constexpr int W = 640, H = 480;
    static constexpr CRect Squares[3] = {CRect(110, 110, 190, 190), CRect(390, 130, 470, 210), CRect(230, 310, 310, 390)};

    static COLORREF Colour(int x, int y)
    {
        for (const CRect& s : Squares)
            if (s.PtInRect(CPoint(x, y)))
                return RGB(250, 240, 200);
        return RGB(40 + x / 8, 50 + y / 8, 90);
    }

    // Pixels from the point to the nearest square corner.
    static int CornerDistance(CPoint p)
    {
        int best = 1 << 30;
        for (const CRect& s : Squares)
            for (CPoint c : {CPoint(s.left, s.top), CPoint(s.right, s.top), CPoint(s.left, s.bottom), CPoint(s.right, s.bottom)})
                best = std::min(best, std::max(std::abs(p.x - c.x), std::abs(p.y - c.y)));
        return best;
    }

    // Pixels from the point to the nearest square edge.
    static int EdgeDistance(CPoint p)
    {
        int best = 1 << 30;
        for (const CRect& s : Squares) {
            const int dx = p.x < s.left ? s.left - p.x : (p.x >= s.right ? p.x - s.right : 0);
            const int dy = p.y < s.top ? s.top - p.y : (p.y >= s.bottom ? p.y - s.bottom : 0);
            const int inside = std::min({p.x - s.left, s.right - p.x, p.y - s.top, s.bottom - p.y});
            best = std::min(best, (dx == 0 && dy == 0) ? inside : std::max(dx, dy));
        }
        return best;
    }
};

std::unique_ptr<CKpic> Squares() { return MakePicture(SquaresPicture::W, SquaresPicture::H, SquaresPicture::Colour); }

} // namespace

// Strong corners rank above everything else: the best cell sits on a square corner, every cell
// whose patch sees only the gradient is no feature, and a corner cell outranks any edge cell.
TEST(FeatureGrid, StrongCornersRankAboveFlatAreas)
{
    auto k = Squares();
    k->BuildFeatureGrid();
    ASSERT_EQ(k->FeaturesReady, 1);
    ASSERT_EQ(k->FeatureCellSize, 20);

    int features = 0;
    for (int j = 0; j < 32; ++j)
        for (int r = 0; r < 24; ++r) {
            const SamplePoint& cell = k->FeatureCells[j][r];
            if (SquaresPicture::EdgeDistance(cell.centre) > 13) {
                EXPECT_LE(cell.Strength, 0) << "flat cell " << j << "," << r;
            }
            features += cell.Strength > 0;
        }
    EXPECT_GT(features, 0);

    const CPoint best = k->FindBestFeatureCell();
    const SamplePoint& top = k->FeatureCells[best.x][best.y];
    EXPECT_GT(top.Strength, 0);
    EXPECT_GT(top.Weight, 0);
    EXPECT_LE(SquaresPicture::CornerDistance(top.centre), 12) << top.centre.x << "," << top.centre.y;

    // The nearest feature to a corner is a cell at that corner.
    const CPoint near = k->FindNearestFeature(380, 215, 0);
    EXPECT_LE(SquaresPicture::CornerDistance(near), 12) << near.x << "," << near.y;
}

// A flat grey picture is all rejected cells: nothing to rank, nothing near, and the flattest
// search answers the last flat cell of the rectangle.
TEST(FeatureGrid, FlatGreyHasNoReadyFeature)
{
    auto k = MakePicture(400, 300, [](int, int) { return Grey(128); });
    k->BuildFeatureGrid();
    ASSERT_EQ(k->FeaturesReady, 1);
    const int size = k->FeatureCellSize;
    for (int j = 0; j < 32; ++j)
        for (int r = 0; r < 32; ++r) {
            const SamplePoint& cell = k->FeatureCells[j][r];
            EXPECT_LE(cell.Strength, 0);
            EXPECT_EQ(cell.Weight, 0);
            const bool measured = j * size < 400 && r * size < 300 && cell.centre.x >= 20 && cell.centre.x < 380 &&
                                  cell.centre.y >= 20 && cell.centre.y < 280;
            if (measured) {
                EXPECT_EQ(cell.Strength, -3);
            }
        }
    EXPECT_EQ(k->FindBestFeatureCell(), CPoint(0, 0));
    EXPECT_EQ(k->FindNearestFeature(200, 150, 0), CPoint(0, 0));
    EXPECT_EQ(k->MeanFeatureStrength(), 0);
    const CRect area(100, 100, 200, 200);
    const CPoint last = k->FindStrongestFeature(area);
    EXPECT_TRUE(area.PtInRect(last));
    EXPECT_EQ(last, CPoint(size * ((199 - size / 2) / size) + size / 2, size * ((199 - size / 2) / size) + size / 2));
}

// Each rejection has its code; a corner is a positive strength, and the measure reports the
// patch's centre block and mean colours.
TEST(FeatureGrid, StrengthCodesSayWhyAPatchIsNoFeature)
{
    struct Case {
        const char* what;
        std::function<COLORREF(int, int)> colour;
        int expected; // 1 stands for any positive strength
    };
    // The measured patch spans 88..111 around (100, 100); its centre block is 96..103.
    const Case cases[] = {
        {"flat", [](int, int) { return Grey(90); }, -3},
        {"one bright pixel off the centre block",
         [](int x, int y) { return Grey(x == 90 && y == 100 ? 255 : 100); }, -1},
        {"flat centre block in a dark ring",
         [](int x, int y) { return Grey(x >= 96 && x < 104 && y >= 96 && y < 104 ? 200 : 40); }, -2},
        {"corner", [](int x, int y) { return Grey(x >= 100 && y >= 100 ? 220 : 30); }, 1},
    };
    for (const Case& c : cases) {
        auto k = MakePicture(200, 200, c.colour);
        COLORREF centre = 0, patch = 0;
        const int s = k->MeasureFeatureStrength(100, 100, centre, patch);
        if (c.expected > 0)
            EXPECT_GT(s, 0) << c.what;
        else
            EXPECT_EQ(s, c.expected) << c.what;
    }
    auto corner = MakePicture(200, 200, cases[3].colour);
    COLORREF centre = 0, patch = 0;
    ASSERT_GT(corner->MeasureFeatureStrength(100, 100, centre, patch), 0);
    // Block means: the centre block is a quarter bright (77), the two blocks beside it and
    // below it half bright (125), the far corner bright (220), five blocks dark (30).
    EXPECT_EQ(centre, Grey(77));
    EXPECT_EQ(patch, Grey((5 * 30 + 77 + 2 * 125 + 220) / 9));
    // Outside the picture shrunk by 14, or without the full-size pixels: 0.
    EXPECT_EQ(corner->MeasureFeatureStrength(13, 100, centre, patch), 0);
    EXPECT_EQ(corner->MeasureFeatureStrength(100, 186, centre, patch), 0);
}

// The preparation runs in steps of about a hundred measured cells and resumes where it left
// off; the finished grid is that of one uninterrupted preparation.
TEST(FeatureGrid, PreparationInStepsEqualsOnePreparation)
{
    auto colour = [](int x, int y) {
        const unsigned v = static_cast<unsigned>((x / 9) * 7919 + (y / 7) * 104729) * 2654435761u;
        return Grey(static_cast<int>((v >> 24) & 0xFF));
    };
    auto stepped = MakePicture(900, 600, colour);
    auto whole = MakePicture(900, 600, colour);
    int steps = 0;
    while (stepped->FeaturesReady == 0 && steps < 100) {
        stepped->PrepareStep();
        ++steps;
    }
    whole->EnsureReady();
    EXPECT_GT(steps, 2);
    ASSERT_EQ(stepped->FeaturesReady, 1);
    EXPECT_EQ(std::memcmp(stepped->FeatureCells, whole->FeatureCells, sizeof whole->FeatureCells), 0);
}

// Without the full-size image nothing is measured and the features never count as ready; the
// preparation returns instead of waiting for pixels that will not come.
TEST(FeatureGrid, NoFeaturesWithoutTheFullSizeImage)
{
    auto k = Squares();
    k->Pixels.SetSize((SquaresPicture::W / 8) * (SquaresPicture::H / 8));
    COLORREF centre = 0, patch = 0;
    EXPECT_EQ(k->MeasureFeatureStrength(110, 110, centre, patch), 0);
    k->EnsureReady();
    k->BuildFeatureGrid();
    EXPECT_EQ(k->FeaturesReady, 0);
    EXPECT_EQ(k->FindBestFeatureCell(), CPoint(0, 0));
    EXPECT_EQ(k->FindNearestFeature(110, 110, 0), CPoint(0, 0));
    k->Pixels.RemoveAll();
    k->EnsureReady();
    EXPECT_EQ(k->FeaturesReady, 0);
}

// Weights keep new points off the picture edges and away from control points: a point on a
// cell centre zeroes that cell, nearer cells lose more than farther ones.
TEST(FeatureGrid, WeightsFallNearControlPointsAndEdges)
{
    auto k = Squares();
    k->BuildFeatureGrid();
    const CPoint best = k->FindBestFeatureCell();
    const CPoint at = k->FeatureCells[best.x][best.y].centre;
    for (int j = 0; j < 32; ++j)
        for (int r = 0; r < 24; ++r) {
            const SamplePoint& cell = k->FeatureCells[j][r];
            const int d = std::min({cell.centre.x, 640 - cell.centre.x, cell.centre.y, 480 - cell.centre.y});
            if (cell.Strength > 0) {
                EXPECT_EQ(cell.Weight, d <= 19 ? 0 : (d > 120 ? 110 : 128));
            }
        }

    // A control point on the best cell, through the grid's rebuild.
    auto pointed = Squares();
    pointed->m_Points[0].kind = 1;
    pointed->m_Points[0].position = CDPoint(at.x, at.y);
    pointed->BuildFeatureGrid();
    EXPECT_EQ(pointed->FeatureCells[best.x][best.y].Weight, 0);
    EXPECT_NE(pointed->FindBestFeatureCell(), best);

    // The same point through damping.
    k->DampFeaturesNear(at.x, at.y);
    EXPECT_EQ(k->FeatureCells[best.x][best.y].Weight, 0);
    for (int j = 0; j < 32; ++j)
        for (int r = 0; r < 24; ++r)
            EXPECT_LE(k->FeatureCells[j][r].Weight, pointed->FeatureCells[j][r].Weight * 2 + 1);
}

// The background linking never keeps a picture that is gone or that belongs to an older set.
TEST(FeatureGrid, LinkingForgetsItsLastPictureWithTheRecordOrANewSet)
{
    auto k = Squares();
    LastFeaturePicture = k.get();
    LastFeatureCell = CPoint(3, 4);
    k.reset();
    EXPECT_EQ(LastFeaturePicture, nullptr);
    EXPECT_EQ(LastFeatureCell, CPoint(-1, -1));

    auto other = Squares();
    LastFeaturePicture = other.get();
    LastFeatureCell = CPoint(5, 6);
    CMcCore set;
    EXPECT_EQ(LastFeaturePicture, nullptr);
    EXPECT_EQ(LastFeatureCell, CPoint(-1, -1));

    // Another picture going leaves the memory alone.
    LastFeaturePicture = other.get();
    Squares().reset();
    EXPECT_EQ(LastFeaturePicture, other.get());
}

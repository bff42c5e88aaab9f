// Offset-grid matching: shifts of a textured patch of a photo are recovered, the contrast match
// and the pair count decide as they should, and no offset, however far out, writes outside the
// flag and score grids.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/fit/offset_grid.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"

namespace {

struct CPhoto {
    int width = 0;
    int height = 0;
    CPixelArray pixels;

    // Bilinear colour at a pixel position (pixel centres at integers).
    CRgbSum At(double x, double y) const
    {
        const int x0 = std::clamp(static_cast<int>(std::floor(x)), 0, width - 2);
        const int y0 = std::clamp(static_cast<int>(std::floor(y)), 0, height - 2);
        const double fx = x - x0, fy = y - y0;
        auto channel = [&](int shift) {
            auto c = [&](int xx, int yy) { return static_cast<double>((pixels[static_cast<std::ptrdiff_t>(yy) * width + xx] >> shift) & 0xFF); };
            const double top = c(x0, y0) * (1 - fx) + c(x0 + 1, y0) * fx;
            const double bottom = c(x0, y0 + 1) * (1 - fx) + c(x0 + 1, y0 + 1) * fx;
            return static_cast<int>(std::lround(top * (1 - fy) + bottom * fy));
        };
        CRgbSum s;
        s.r = channel(0);
        s.g = channel(8);
        s.b = channel(16);
        s.count = 1;
        // A real white pixel would read as "no pixel": keep the patch free of blanks.
        if (IsBlankCell(s))
            s.b = 254;
        return s;
    }
};

bool LoadPhoto(const std::string& path, CPhoto& photo)
{
    const CRect rect = GetImageFileRect(path);
    if (rect.IsRectEmpty())
        return false;
    CSize size(rect.Width(), rect.Height());
    if (LoadImageFile(path, photo.pixels, size, CRect(0, 0, 0, 0)) <= 0)
        return false;
    photo.width = size.cx;
    photo.height = size.cy;
    return true;
}

// The sample around s and the reference around r, both at the given step.
void FillGrids(const CPhoto& photo, CDPoint s, CDPoint r, double step)
{
    COffsetGrids& g = GetOffsetGrids();
    for (int i = -20; i <= 19; ++i)
        for (int j = -20; j <= 19; ++j)
            g.sample[i + GridOrigin][j + GridOrigin] = photo.At(s.x + i * step, s.y + j * step);
    for (int i = -40; i <= 39; ++i)
        for (int j = -40; j <= 39; ++j)
            g.reference[i + ReferenceOrigin][j + ReferenceOrigin] = photo.At(r.x + i * step, r.y + j * step);
}

// Scores every offset of the square and returns the best.
CPoint BestOffset(int reach)
{
    ResetOffsetGrid();
    for (int dx = -reach; dx <= reach; ++dx)
        for (int dy = -reach; dy <= reach; ++dy)
            ScoreGridOffset(dx, dy);
    return FindBestOffsetInWindow(0, 0, 19);
}

class OffsetGridTest : public ::testing::Test {};

TEST_F(OffsetGridTest, RecoversShiftsOfATexturedPhotoPatch)
{
    CPhoto photo;
    const std::string path = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3/rhein3_v00.jpg";
    if (!LoadPhoto(path, photo))
        GTEST_SKIP() << "no test photo at " << path;
    // The riverside houses: strong texture in every direction.
    const CDPoint reference(420.0, 292.0);
    struct Case {
        double step;
        CDPoint shift;  // pixels: the sample is taken this far from the reference point
    };
    const Case cases[] = {
        {1.0, {7.0, -4.0}}, {1.0, {-12.0, 9.0}}, {2.0, {-16.0, 6.0}}, {1.0, {3.2, -5.8}},
        {0.5, {1.1, -2.4}}, {2.0, {4.4, 9.5}},  {0.5, {-1.1, 0.55}},
    };
    for (const Case& c : cases) {
        FillGrids(photo, reference + c.shift, reference, c.step);
        MatchGridContrast();
        const CPoint best = BestOffset(19);
        // Within a quarter of the step of the true shift (each case lies that close to a whole
        // number of steps).
        EXPECT_LE(std::fabs(best.x * c.step - c.shift.x), 0.25 * c.step + 1e-9) << c.step << " " << c.shift.x;
        EXPECT_LE(std::fabs(best.y * c.step - c.shift.y), 0.25 * c.step + 1e-9) << c.step << " " << c.shift.y;
        EXPECT_EQ(HasValidNeighbourScores(best.x, best.y), 1);
    }
}

TEST_F(OffsetGridTest, ScoresCountOnlyPairsWithoutBlanks)
{
    COffsetGrids& g = GetOffsetGrids();
    for (int i = 0; i < ReferenceGridSide; ++i)
        for (int j = 0; j < ReferenceGridSide; ++j)
            g.reference[i][j].SetColour(RGB((i * 7) % 200, (j * 11) % 200, (i + j) % 200));
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j)
            g.sample[i][j] = g.reference[i + 20][j + 20];
    ResetOffsetGrid();
    ScoreGridOffset(0, 0);
    EXPECT_EQ(g.scores[GridOrigin][GridOrigin], 0);

    // 100 blank sample cells leave exactly 1500 pairs: a real score; one more and there is none.
    for (int n = 0; n < 100; ++n)
        g.sample[n % 40][n / 40].SetColour(RGB(255, 255, 255));
    ResetOffsetGrid();
    ScoreGridOffset(0, 0);
    EXPECT_EQ(g.scores[GridOrigin][GridOrigin], 0);
    g.sample[20][2].SetColour(RGB(255, 255, 255));
    ResetOffsetGrid();
    ScoreGridOffset(0, 0);
    EXPECT_EQ(g.scores[GridOrigin][GridOrigin], InvalidScore);

    // Each offset is scored once per search: a changed sample does not change a kept score.
    g.sample[20][2] = g.reference[40][22];
    ScoreGridOffset(0, 0);
    EXPECT_EQ(g.scores[GridOrigin][GridOrigin], InvalidScore);
}

TEST_F(OffsetGridTest, ContrastMatchStretchesOnlyWhenRangesDiffer)
{
    EngineModeFlag = 0;
    struct Case {
        int sampleLo, sampleHi, refLo, refHi;
        int expectLo, expectHi;  // sample range afterwards
    };
    const Case cases[] = {
        {40, 200, 0, 255, 0, 255},     // stretched onto the reference
        {40, 200, 45, 205, 40, 200},   // close enough: unchanged
        {40, 200, 100, 150, 40, 200},  // a reference spanning under 64: unchanged
        {100, 105, 0, 255, 100, 105},  // a flat sample: unchanged
        {10, 245, 60, 180, 64, 175},   // both ends reached: stretched as if it spanned 0..255
    };
    COffsetGrids& g = GetOffsetGrids();
    for (const Case& c : cases) {
        for (int i = 0; i < SampleGridSide; ++i)
            for (int j = 0; j < SampleGridSide; ++j)
                g.sample[i][j].SetGrey(c.sampleLo + (c.sampleHi - c.sampleLo) * ((i + j) % 2));
        for (int i = 0; i < ReferenceGridSide; ++i)
            for (int j = 0; j < ReferenceGridSide; ++j)
                g.reference[i][j].SetGrey(c.refLo + (c.refHi - c.refLo) * ((i + j) % 2));
        MatchGridContrast();
        int lo = 255, hi = 0;
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < 40; ++j) {
                lo = std::min(lo, g.sample[i][j].r);
                hi = std::max(hi, g.sample[i][j].r);
            }
        EXPECT_EQ(lo, c.expectLo) << c.sampleLo << ".." << c.sampleHi << " on " << c.refLo << ".." << c.refHi;
        EXPECT_EQ(hi, c.expectHi) << c.sampleLo << ".." << c.sampleHi << " on " << c.refLo << ".." << c.refHi;
    }
}

TEST_F(OffsetGridTest, OffsetsAtAndBeyondTheEdgeStayInsideTheGrids)
{
    COffsetGrids& g = GetOffsetGrids();
    for (int i = 0; i < ReferenceGridSide; ++i)
        for (int j = 0; j < ReferenceGridSide; ++j)
            g.reference[i][j].SetGrey((i * 13 + j * 7) % 250);
    for (int i = 0; i < SampleGridSide; ++i)
        for (int j = 0; j < SampleGridSide; ++j)
            g.sample[i][j].SetGrey((i * 13 + j * 7) % 250);
    ResetOffsetGrid();
    const COffsetGrids before = g;

    // Beyond the grid (the matcher's rings reach 27 steps out): nothing is written anywhere.
    const int beyond[][2] = {{21, 0}, {0, -21}, {27, 27}, {-27, 8}, {-28, -28}, {100, -100}};
    for (const auto& o : beyond)
        ScoreGridOffset(o[0], o[1]);
    EXPECT_EQ(std::memcmp(&before, &g, sizeof g), 0);

    // The edge cells exist but cannot be compared: scored invalid without reading outside.
    const int edge[][2] = {{19, 0}, {0, 19}, {-20, -20}, {20, 20}, {-20, 5}, {20, -3}};
    for (const auto& o : edge) {
        ScoreGridOffset(o[0], o[1]);
        EXPECT_EQ(g.flags[o[0] + GridOrigin][o[1] + GridOrigin], OffsetScored);
        EXPECT_EQ(g.scores[o[0] + GridOrigin][o[1] + GridOrigin], InvalidScore);
    }
    // The last comparable offsets get real scores.
    for (const auto& o : {CPoint(18, 18), CPoint(-19, -19), CPoint(18, -19)}) {
        ScoreGridOffset(o.x, o.y);
        EXPECT_LT(g.scores[o.x + GridOrigin][o.y + GridOrigin], InvalidScore);
    }

    // Windows far outside are clipped; the local-minimum test refuses offsets without a full
    // ring of neighbours.
    EXPECT_EQ(FindBestOffsetInWindow(40, -40, 8), CPoint(0, 0));
    EXPECT_EQ(HasValidNeighbourScores(18, 0), -4);
    EXPECT_EQ(HasValidNeighbourScores(0, -19), -4);
    EXPECT_EQ(HasValidNeighbourScores(17, 17), 1);  // scored and unscored neighbours pass
    EXPECT_EQ(HasValidNeighbourScores(-18, -18), 1);
    g.scores[18 + GridOrigin][1 + GridOrigin] = InvalidScore;
    EXPECT_EQ(HasValidNeighbourScores(17, 0), -1);
}

TEST_F(OffsetGridTest, ScoresRiseAroundAMatchOnlyWhereThereIsTexture)
{
    COffsetGrids& g = GetOffsetGrids();
    auto fill = [&](auto colour) {
        for (int i = 0; i < ReferenceGridSide; ++i)
            for (int j = 0; j < ReferenceGridSide; ++j)
                g.reference[i][j].SetGrey(colour(i, j));
        for (int i = 0; i < SampleGridSide; ++i)
            for (int j = 0; j < SampleGridSide; ++j)
                g.sample[i][j] = g.reference[i + 20][j + 20];
        ResetOffsetGrid();
    };
    fill([](int, int) { return 128; });
    EXPECT_EQ(ScoreRiseAround(0, 0, 1), 0);
    // Stripes only across x: no rise along them, so still no minimum.
    fill([](int i, int) { return (i * 37) % 200; });
    EXPECT_EQ(ScoreRiseAround(0, 0, 2), 0);
    fill([](int i, int j) { return (i * 37 + j * 53) % 200; });
    EXPECT_GT(ScoreRiseAround(0, 0, 2), 1000);
    // Near the edge only the comparable offsets count; outside, nothing can be compared.
    EXPECT_LT(ScoreRiseAround(17, 0, 4), InvalidScore);
    EXPECT_EQ(ScoreRiseAround(19, 0, 1), InvalidScore);
}

TEST_F(OffsetGridTest, WindowSearchPicksTheEarliestBestAndMarksTheLosers)
{
    COffsetGrids& g = GetOffsetGrids();
    ResetOffsetGrid();
    EXPECT_EQ(FindBestOffsetInWindow(0, 0, 4), CPoint(0, 0));  // nothing scored

    auto set = [&](int dx, int dy, int score) {
        g.flags[dx + GridOrigin][dy + GridOrigin] = OffsetScored;
        g.scores[dx + GridOrigin][dy + GridOrigin] = score;
    };
    set(-2, 1, 500);
    set(1, -1, 300);
    set(2, 2, 300);   // tie: the earlier column wins
    set(3, 0, 900);
    EXPECT_EQ(FindBestOffsetInWindow(0, 0, 3), CPoint(1, -1));
    EXPECT_EQ(g.flags[2 + GridOrigin][2 + GridOrigin], OffsetBeaten);
    EXPECT_EQ(g.flags[3 + GridOrigin][0 + GridOrigin], OffsetBeaten);
    EXPECT_EQ(g.flags[1 + GridOrigin][-1 + GridOrigin], OffsetScored);
    // A beaten offset never wins again, even alone in its window.
    EXPECT_EQ(FindBestOffsetInWindow(3, 0, 0), CPoint(0, 0));
}

} // namespace

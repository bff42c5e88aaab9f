// Render set-up: raster geometry, block grid, span, round shapes, render order, filter tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "geometry/sphere.h"
#include "engine/render_filter.h"
#include "picset/mccore.h"
#include "tests/engine/test_render_fixture.h"

using render_fixture::AddPicture;
using render_fixture::CPictureSpec;

namespace {

struct AreaCase {
    CRect area;
    int width;
    int height;
    CRect expectArea;
    CRect expectScaled;
    double expectScale;
};

TEST(RenderSetup, RasterGeometryFromArea)
{
    const AreaCase cases[] = {
        // Plain: two raster pixels per plane unit.
        {{-400, -300, 400, 300}, 1600, 1200, {-400, -300, 400, 300}, {-800, -600, 800, 600}, 0.5},
        // The origin truncates toward zero: -3 * 0.4 = -1.2 gives -1, not -2.
        {{-3, -3, 7, 7}, 4, 4, {-3, -3, 7, 7}, {-1, -1, 3, 3}, 2.5},
        // The horizontal factor serves both axes; the height is stored as given.
        {{0, 100, 200, 300}, 100, 37, {0, 100, 200, 300}, {0, 50, 100, 87}, 2.0},
        // An area without width or height becomes 16 units wide or high.
        {{10, 20, 10, 20}, 32, 32, {10, 20, 26, 36}, {20, 40, 52, 72}, 0.5},
    };
    for (const AreaCase& c : cases) {
        CMcCore core;
        EXPECT_EQ(core.SetRenderArea(c.area.left, c.area.top, c.area.right, c.area.bottom, c.width, c.height),
                  c.width);
        EXPECT_EQ(core.m_RenderArea, c.expectArea);
        EXPECT_EQ(core.m_ScaledRect, c.expectScaled);
        EXPECT_EQ(core.m_RenderOffset, CPoint(-c.expectScaled.left, -c.expectScaled.top));
        EXPECT_DOUBLE_EQ(core.m_RenderScale, c.expectScale);
        EXPECT_EQ(core.m_OutputWidth, c.width);
        EXPECT_EQ(core.m_OutputHeight, c.height);
    }
}

TEST(RenderSetup, ByWidthClampsWidthAndDerivesHeight)
{
    struct Case {
        int width;
        int expectW;
        int expectH;
    } const cases[] = {{0, 1, 1}, {400, 400, 300}, {2000000, 999999, 749999}, {-5, 1, 1}};
    for (const Case& c : cases) {
        CMcCore core;
        AddPicture(core, CPictureSpec{}, "a.bmp");
        EXPECT_GT(core.SetupRenderByWidth(-200, -150, 200, 150, c.width, 0), 0) << c.width;
        EXPECT_EQ(core.m_OutputWidth, c.expectW);
        EXPECT_EQ(core.m_OutputHeight, c.expectH);
    }
}

TEST(RenderSetup, BlockGridAndProgressCounters)
{
    struct Case {
        int w, h, overlap;
        int columns, rows, c2;
    } const cases[] = {
        {16, 16, 1, 1, 1, 0},
        {17, 16, 1, 2, 1, 0},
        {33, 17, 0, 3, 2, 2 * 2 * 2},
        {1, 1, 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        CMcCore core;
        core.m_OverlapMode = c.overlap;
        AddPicture(core, CPictureSpec{}, "a.bmp");
        AddPicture(core, CPictureSpec{}, "b.bmp");
        ASSERT_GT(core.SetupRender(-100, -100, 100, 100, c.w, c.h, 0), 0);
        EXPECT_EQ(core.m_BlockColumns, c.columns);
        EXPECT_EQ(core.m_BlockRows, c.rows);
        EXPECT_EQ(core.m_BlockCount, c.columns * c.rows);
        EXPECT_EQ(core.m_BlockFlags.size(), static_cast<size_t>(c.columns));
        EXPECT_EQ(core.m_Progress[1], 2 * c.rows);
        EXPECT_EQ(core.m_Progress[2], c.c2);
    }
}

TEST(RenderSetup, NoFittedPictureRefusesAndKeepsOnlyAreaAndShape)
{
    CMcCore core;
    core.m_OutputWidth = 123;
    EXPECT_EQ(core.SetupRender(-10, -20, 30, 40, 640, 480, 2), -1);
    EXPECT_EQ(core.SetupRenderByWidth(-10, -20, 30, 40, 640, 2), -1);
    EXPECT_EQ(core.m_RenderArea, CRect(-10, -20, 30, 40));
    EXPECT_EQ(core.m_RenderShape, 2);
    EXPECT_EQ(core.m_OutputWidth, 123);
    EXPECT_EQ(core.AllocateRenderBlocks(), -1);
}

TEST(RenderSetup, SpanInDegreesByProjection)
{
    struct Case {
        int projection;
        CRect area;
        int expect;
    } const cases[] = {
        // Fisheye codes (and codes below 10) report 1 degree.
        {32, {-1000, -1000, 1000, 1000}, 1},
        {5, {-1000, -1000, 1000, 1000}, 1},
        // Cylindrical at focal 1000: 3142 units are 180 degrees.
        {21, {-1571, -500, 1571, 500}, 180},
        // More than 450 degrees is reported as 450.
        {23, {-6000, -500, 6000, 500}, 450},
        // Linear: 2 atan(1) is 90 degrees (measured with the engine's 3.14159265).
        {11, {-1000, -500, 1000, 500}, 90},
        {11, {-200, -500, 200, 500}, 22},
        // Ultra-wide linear: an edge beyond what the view can show counts as its quarter turn
        // (half a turn truncates to 179 in the engine's arithmetic).
        {13, {-100000, -500, 100000, 500}, 179},
        {13, {-1000, -500, 100000, 500}, 139},
        {13, {-100000, -500, 1000, 500}, 139},
    };
    for (const Case& c : cases) {
        CMcCore core;
        core.m_Projection = c.projection;
        core.m_CommonFocal = 1000.0;
        AddPicture(core, CPictureSpec{}, "a.bmp");
        EXPECT_EQ(core.SetupRender(c.area.left, c.area.top, c.area.right, c.area.bottom, 100, 100, 0), c.expect)
            << "projection " << c.projection;
    }
}

TEST(RenderSetup, RoundShapes)
{
    struct Case {
        int shape;
        double rx, ry;
    } const cases[] = {{1, 150, 150}, {2, 200, 150}};
    for (const Case& c : cases) {
        CMcCore core;
        AddPicture(core, CPictureSpec{}, "a.bmp");
        ASSERT_GT(core.SetupRender(-100, 50, 300, 350, 400, 300, c.shape), 0);
        EXPECT_EQ(core.m_RenderShape, c.shape);
        EXPECT_DOUBLE_EQ(core.m_RadiusX, c.rx);
        EXPECT_DOUBLE_EQ(core.m_RadiusY, c.ry);
        EXPECT_EQ(core.m_ImageCentre, CDPoint(100.0, 200.0));
    }
}

// The output area of a linear view with a picture behind the viewer reaches from -2.1e9 to
// 2.1e9: its sides, centre and raster origin must be computed without overflowing an int.
TEST(RenderSetup, ExtremeAreasKeepTheirGeometry)
{
    constexpr int L = 2100000000;
    {
        CMcCore core;
        AddPicture(core, CPictureSpec{}, "a.bmp");
        ASSERT_GT(core.SetupRender(-L, -L, L, L, 1000, 1000, 2), 0);
        EXPECT_DOUBLE_EQ(core.m_RenderScale, 4.2e6);
        EXPECT_EQ(core.m_ScaledRect, CRect(-500, -500, 500, 500));
        EXPECT_DOUBLE_EQ(core.m_RadiusX, 2.1e9);
        EXPECT_DOUBLE_EQ(core.m_RadiusY, 2.1e9);
        EXPECT_EQ(core.m_ImageCentre, CDPoint(0.0, 0.0));
    }
    struct Case {
        CRect area;
        int width;
        int expectH;
    } const cases[] = {
        // Four billion units high on a sliver 16 wide: the height is held where bands count in ints.
        {{0, -L, 16, L}, 999999, INT32_MAX - 16},
        // A sliver far from the origin rendered wide: the origin would be -1.3e14 raster pixels.
        {{-L, 0, -L + 16, 16}, 999999, 999999},
        {{-L, -L, L, L}, 4200, 4200},
    };
    for (const Case& c : cases) {
        CMcCore core;
        AddPicture(core, CPictureSpec{}, "a.bmp");
        core.m_OverlapMode = 0;
        core.m_FittedCount = 50;
        ASSERT_GT(core.SetupRenderByWidth(c.area.left, c.area.top, c.area.right, c.area.bottom, c.width, 0), 0);
        EXPECT_EQ(core.m_OutputWidth, c.width);
        EXPECT_EQ(core.m_OutputHeight, c.expectH);
        EXPECT_EQ(static_cast<int64_t>(core.m_ScaledRect.right) - core.m_ScaledRect.left, c.width);
        EXPECT_EQ(static_cast<int64_t>(core.m_ScaledRect.bottom) - core.m_ScaledRect.top, c.expectH);
        // The progress counters of 50 pictures over that many block rows saturate.
        const int64_t rows = (static_cast<int64_t>(c.expectH) - 1) / 16 + 1;
        EXPECT_EQ(core.m_Progress[1], std::min<int64_t>(50 * rows, INT32_MAX));
        EXPECT_EQ(core.m_Progress[2], std::min<int64_t>(100 * rows, INT32_MAX));
    }
}

TEST(RenderSetup, RenderOrderPutsLongerFocalFirst)
{
    struct Case {
        int overlap;
        std::vector<double> focals;  // picture-list order; 0 marks an unfitted picture
        std::vector<int> expect;     // picture-list indexes in render order
    } const cases[] = {
        // Within 4 % the picture-list order holds.
        {0, {1000, 1030}, {0, 1}},
        {0, {1030, 1000}, {0, 1}},
        // 900 goes behind 1000 whatever the list order.
        {0, {900, 1000}, {1, 0}},
        {0, {1000, 900}, {0, 1}},
        {3, {800, 1200, 1000, 0}, {1, 2, 0, 3}},
        // Overlap modes 1 and 2 render in list order.
        {1, {900, 1000}, {0, 1}},
        {2, {800, 1200, 1000}, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        CMcCore core;
        core.m_OverlapMode = c.overlap;
        std::vector<CKpic*> pictures;
        for (size_t i = 0; i < c.focals.size(); ++i) {
            CPictureSpec spec;
            spec.focal = c.focals[i] > 0 ? c.focals[i] : 1000.0;
            CKpic* p = AddPicture(core, spec, "p" + std::to_string(i) + ".bmp");
            if (c.focals[i] == 0) {
                p->m_Status = 1;
                --core.m_FittedCount;
            }
            pictures.push_back(p);
        }
        core.OrderRenderPictures();
        ASSERT_EQ(core.m_RenderList.size(), c.expect.size());
        for (size_t i = 0; i < c.expect.size(); ++i)
            EXPECT_EQ(core.m_RenderList[i], pictures[static_cast<size_t>(c.expect[i])])
                << "overlap " << c.overlap << " position " << i;
    }
}

TEST(RenderSetup, FilterTables)
{
    CMcCore core;
    core.BuildFilterTables();
    // Sinc over [0, 2) at 100 entries per unit, the outer lobe halved.
    EXPECT_DOUBLE_EQ(core.m_SincTable[0], 1.0);
    EXPECT_NEAR(core.m_SincTable[50], 2.0 / EnginePi, 1e-12);
    EXPECT_NEAR(core.m_SincTable[100], 0.0, 1e-8);
    EXPECT_NEAR(core.m_SincTable[150], -1.0 / (1.5 * EnginePi) / 2.0, 1e-12);
    EXPECT_NEAR(core.m_SincTable[199], SincKernel(1.99), 0.0);
    // Edge weight: 1 up to 0.35, 0.5 at 0.5, 0 at 0.65, falling smoothly in between.
    EXPECT_DOUBLE_EQ(core.m_EdgeTable[0], 1.0);
    EXPECT_DOUBLE_EQ(core.m_EdgeTable[70], 1.0);
    EXPECT_NEAR(core.m_EdgeTable[100], 0.5, 1e-8);
    EXPECT_NEAR(core.m_EdgeTable[130], 0.0, 1e-8);
    for (int i = 71; i < 130; ++i)
        EXPECT_LT(core.m_EdgeTable[i], core.m_EdgeTable[i - 1]) << i;
}

TEST(RenderSetup, FilterKindReachAndWidthByMagnification)
{
    struct Case {
        double m;
        int kind;
        double reach;
        int halfWidth;
    } const cases[] = {
        {0.2, 0, 1.0, 1},
        {0.8, 0, 1.5, 2},
        {1.0, 0, 2.0, 3},
        {1.2, 1, 2.0, 4},
        {1.5, 2, 0.65, 2},
        {2.19, 2, 0.65, 3},
        {2.2, 3, 0.45, 2},
        {8.0, 3, 0.45, 6},
        {40.0, 3, 0.45, 10},
        {2.1e9, 3, 0.45, 10},
    };
    for (const Case& c : cases) {
        const CBlockFilter f = ChooseBlockFilter(c.m, CDPoint(c.m, 0.0), CDPoint(0.0, c.m));
        EXPECT_EQ(f.kind, c.kind) << "m = " << c.m;
        EXPECT_DOUBLE_EQ(f.reach, c.reach) << "m = " << c.m;
        EXPECT_EQ(f.halfWidth, c.halfWidth) << "m = " << c.m;
    }
}

} // namespace

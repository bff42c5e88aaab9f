// The work view's arithmetic: mappings, fitting zoom, scroll extent, stock cells, status text.
#include <gtest/gtest.h>

#include "common/message_catalogue.h"
#include "views/work_geometry.h"

using namespace workview;

TEST(WorkMapping, NegativeWorkUnitsFloorTowardMinusInfinity)
{
    Mapping m{4, {100, 50}, {10, 20}};
    struct Case {
        int v, canvas;
    } cases[] = {{0, 100}, {3, 100}, {4, 101}, {-1, 99}, {-4, 99}, {-5, 98}, {-8, 98}, {-9, 97}};
    for (const auto& c : cases) {
        EXPECT_EQ(m.WorkToCanvas({c.v, 0}).x, c.canvas) << c.v;
        EXPECT_EQ(m.WorkToCanvas({0, c.v}).y, c.canvas - 50) << c.v;
        EXPECT_EQ(m.WorkToView({c.v, 0}).x, c.canvas - 90) << c.v;
    }
    // Rectangles of the view truncate toward zero instead.
    const CRect v = m.WorkRectToView({-1, -5, 7, 9});
    EXPECT_EQ(v, CRect(10, 19, 11, 22));
    EXPECT_EQ(m.WorkRectToCanvas({-1, -5, 7, 9}), CRect(99, 48, 101, 52));
    // The way back multiplies.
    EXPECT_EQ(m.ViewToWork({9, 22}), CPoint(-4, 8));
    EXPECT_EQ(m.ViewRectToWork({10, 20, 12, 21}), CRect(0, 0, 8, 4));
    // Zoom 1 passes values unchanged.
    Mapping one{1, {0, 0}, {0, 0}};
    EXPECT_EQ(one.WorkToCanvas({-7, -1}), CPoint(-7, -1));
}

TEST(WorkFitZoom, RatioStepsFallbackAndBaseWidthRule)
{
    // Client smaller than two cells: the fallback rectangle 224 x 184.
    EXPECT_EQ(FitViewRect({0, 0, 300, 200}, 160).Size(), CSize(224, 184));
    EXPECT_EQ(FitViewRect({0, 0, 800, 600}, 160), CRect(160, 160, 640, 440));
    struct Case {
        CSize content, view;
        int base, zoom;
    } cases[] = {
        {{500, 0}, {100, 100}, 0, 1},      // height 0: ratio 0
        {{100, 100}, {100, 100}, 0, 1},    // fits
        {{320, 10}, {100, 100}, 0, 2},     // 3.2
        {{321, 10}, {100, 100}, 0, 4},
        {{750, 10}, {100, 100}, 0, 4},
        {{1700, 10}, {100, 100}, 0, 8},
        {{1701, 10}, {100, 100}, 0, 16},
        {{100, 100}, {100, 100}, 2000, 16}, // 2000 / 8 > 240: doubled to 16, then stops
        {{100, 100}, {100, 100}, 480, 2},
        {{100, 100}, {100, 100}, 482, 4},
        {{10, 10}, {0, 0}, 0, 1},           // no view: no ratio
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseFitZoom(c.content, c.view, c.base), c.zoom)
            << c.content.cx << "x" << c.content.cy << " base " << c.base;
    // The empty set: base rectangle with halved sides, grown by 32.
    EXPECT_EQ(FitContentRect(CRect(), CRect(-200, -100, 200, 100)), CRect(-132, -132, 132, 132));
}

TEST(WorkScroll, ExtentAndCanvasWindowStayOnSixteenUnitGrid)
{
    const CRect canvas(-960, -540, 960, 540);
    const CRect r = ScrollRect({-5000, -100, 3000, 7000}, 4, canvas, {800, 600});
    EXPECT_EQ(r, CRect(-1280, -560, 992, 1776));
    for (int v : {r.left, r.top, r.right, r.bottom})
        EXPECT_EQ(v % 16, 0);
    // Canvas window: client in zoomed units, grown to the canvas size, corner truncated.
    const CRect w = CanvasWindow({-405, -299, 395, 301}, {1920, 1080}, {800, 600});
    EXPECT_EQ(w, CRect(-960, -528, 960, 552));
    EXPECT_EQ(CenterScrollPosition(1000, 800, 5000), 600);
    EXPECT_EQ(CenterScrollPosition(100, 800, 5000), 0);
    EXPECT_EQ(CenterScrollPosition(9000, 800, 5000), 5000);
}

TEST(WorkStock, CellsAlongTheBorderOfAnEmptyProject)
{
    StockLayout s;
    EXPECT_EQ(s.Recalc(0, {800, 600}, 0), 1);
    EXPECT_EQ(s.cellMax, 186);
    EXPECT_EQ(s.cols, 4);
    EXPECT_EQ(s.rows, 3);
    EXPECT_EQ(s.gapX, 51);
    EXPECT_EQ(s.gapY, 57);
    EXPECT_EQ(s.SizePercent(), 86);
    EXPECT_EQ(s.cellSize, 160);
    EXPECT_EQ(s.ThumbSize({4000, 3000}), CSize(160, 120));
    EXPECT_EQ(s.ThumbSize({3000, 4000}), CSize(120, 160));
    EXPECT_EQ(s.ThumbSize({100, 100}), CSize(100, 100));
    EXPECT_EQ(s.ThumbSize({0, 100}), CSize(0, 0));

    CPoint anchor;
    EXPECT_EQ(s.CellOrigin(0, 160, 120, {800, 600}, anchor), CPoint(156, 11));
    EXPECT_EQ(anchor, CPoint(236, 135));
    EXPECT_EQ(s.CellOrigin(9, 160, 120, {800, 600}, anchor), CPoint(11, 298));
    EXPECT_EQ(s.CellOrigin(10, 160, 120, {800, 600}, anchor), CPoint(0, 0)) << "more pieces than cells";
    // Corners and sides in between get cells of their own, each inside the client.
    for (int i = 0; i < 10; ++i) {
        const CPoint o = s.CellOrigin(i, 160, 120, {800, 600}, anchor);
        EXPECT_NE(o, CPoint(0, 0)) << i;
        EXPECT_GE(o.x, 0) << i;
        EXPECT_LE(o.x + 160, 800) << i;
        EXPECT_LE(o.y + 120, 600) << i;
    }
}

TEST(WorkStock, SmallerStepsCycleBackToTheLargestCell)
{
    StockLayout s;
    s.Recalc(0, {1000, 700}, 4);
    s.cellSize = 153;
    std::vector<int> sizes;
    for (int k = 0; k < 6; ++k) {
        s.StepSmaller({1000, 700}, 4);
        sizes.push_back(s.cellSize);
    }
    EXPECT_EQ(sizes, (std::vector<int>{87, 49, 175, 101, 58, 175}));
}

TEST(WorkStatus, TextPartsWithTheirBlanks)
{
    FillMessageCatalogueEnglish();
    EXPECT_EQ(StatusText(false, {}, {}, {}, {-10, -20, 30, 40}, {640, 480}),
              "Crop area L:-10  T:20  R:30  B:-40,   Final output pixels W:640   H:480");
    EXPECT_EQ(StatusText(true, {5, 7}, {105, 7}, {0, 0}, {}, {1, 2}),
              "Center offset X:-5  Y:7,  Rot: -0.0,  Crop area L:0  T:0  R:0  B:0,   Final output pixels W:1   H:2");
    EXPECT_EQ(StatusText(true, {0, 0}, {0, 100}, {0, 0}, {}, {1, 2}).substr(0, 40),
              "Center offset X:0  Y:0,  Rot: -90.0,  Cr");
}

// The canvas: moving what is drawn, marking and erasing cells, and the block loop of the
// progressive drawing with pictures of known geometry.
#include <gtest/gtest.h>

#include <vector>

#include "views/work_canvas.h"

using namespace workview;

namespace {

// A picture laid unturned on the work space with its top-left pixel at `origin`.
class FakePicture : public IBandPicture {
public:
    FakePicture(std::string name, CSize size, CPoint origin, bool fitted, uint32_t colour = 0x102030)
        : m_name(std::move(name)), m_size(size), m_origin(origin), m_fitted(fitted), m_colour(colour)
    {
    }
    const std::string& Name() const override { return m_name; }
    CSize ImageSize() const override { return m_size; }
    bool IsFitted() const override { return m_fitted; }
    CRect Outline() override { return {m_origin, m_size}; }
    bool TouchesBlock(int x, int y) override
    {
        const CRect o = Outline();
        return x + 16 > o.left && x < o.right && y + 16 > o.top && y < o.bottom;
    }
    CPoint PicturePoint(int x, int y) override
    {
        ++pointCalls;
        return {x - m_origin.x, y - m_origin.y};
    }
    bool LoadImage() override
    {
        ++loads;
        return loadable;
    }
    uint32_t ImagePixel(int x, int y) const override { return gradient ? uint32_t(x | y << 8) : m_colour; }

    int loads = 0;
    int pointCalls = 0;
    bool gradient = false;
    bool loadable = true;

private:
    std::string m_name;
    CSize m_size;
    CPoint m_origin;
    bool m_fitted;
    uint32_t m_colour;
};

struct CanvasFixture : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(canvas.Create({256, 128}));
        rect = CRect(-128, -64, 128, 64);
        map = Mapping{1, {128, 64}, {0, 0}};
    }
    // Runs the drawing until it stops; the results in order.
    std::vector<int> DrawAll(IBandPicture& p)
    {
        std::vector<int> results;
        for (int guard = 0; guard < 1000; ++guard) {
            const int r = drawer.DrawPieceProgressive(canvas, map, rect, &p);
            results.push_back(r);
            if (r != 1)
                break;
        }
        return results;
    }
    CWorkCanvas canvas;
    CRect rect;
    Mapping map;
    CBandDrawer drawer;
};

} // namespace

TEST(WorkCanvasTint, UnfittedColours)
{
    struct Case {
        uint32_t in, out;
    } cases[] = {{0x000000, 0x7F0000}, {0x808080, 0xBF8080}, {0x00FFFF, 0x7FFFFF}, {0xFFFFFF, 0xFFFFFF}};
    for (const auto& c : cases)
        EXPECT_EQ(TintColour(c.in), c.out) << std::hex << c.in;
}

TEST_F(CanvasFixture, ShiftMovesMaskWithPixels)
{
    canvas.SetPixel(40, 30, 0x123456);
    canvas.Mask(40, 30) = kMaskFitted;
    ASSERT_TRUE(canvas.Shift({16, -16}));  // old pixel p + d becomes new pixel p
    EXPECT_EQ(canvas.Pixel(24, 46), 0x123456u);
    EXPECT_EQ(canvas.Mask(24, 46), kMaskFitted);
    EXPECT_EQ(canvas.Pixel(40, 30), 0xFFFFFFu);
    EXPECT_EQ(canvas.Mask(40, 30), kMaskEmpty);
    // Moved entirely away: all white and empty.
    ASSERT_TRUE(canvas.Shift({1000, 0}));
    EXPECT_EQ(canvas.Mask(24, 46), kMaskEmpty);
}

TEST_F(CanvasFixture, EraseWhitensMarkedAndTintedCellsOnly)
{
    const CPoint cells[] = {{0, 0}, {16, 0}, {32, 0}, {48, 0}};
    const uint8_t values[] = {kMaskMarked, kMaskTinted, kMaskFitted, kMaskEmpty};
    for (int i = 0; i < 4; ++i) {
        canvas.Mask(cells[i].x, cells[i].y) = values[i];
        canvas.SetPixel(cells[i].x + 15, cells[i].y + 15, 0x000001);
    }
    canvas.EraseMarkedCells(map, rect);
    EXPECT_EQ(canvas.Pixel(15, 15), 0xFFFFFFu);
    EXPECT_EQ(canvas.Pixel(31, 15), 0xFFFFFFu);
    EXPECT_EQ(canvas.Pixel(47, 15), 0x000001u) << "fitted cell kept";
    EXPECT_EQ(canvas.Pixel(63, 15), 0x000001u) << "empty cell not touched";
    // The end of a drawing pass whitens only what no picture drew again: tinted cells stay.
    canvas.SetPixel(15, 15, 0x000001);
    canvas.SetPixel(31, 15, 0x000001);
    canvas.EraseMarkedCells(map, rect, false);
    EXPECT_EQ(canvas.Pixel(15, 15), 0xFFFFFFu);
    EXPECT_EQ(canvas.Pixel(31, 15), 0x000001u) << "tinted cell kept at the end of a pass";
    // Marking turns every used cell into a marked one.
    canvas.MarkCells(map, rect);
    EXPECT_EQ(canvas.Mask(32, 0), kMaskMarked);
    EXPECT_EQ(canvas.Mask(48, 0), kMaskEmpty);
    // At zoom 32 a cell is less than a pixel: nothing is whitened.
    canvas.Mask(0, 0) = kMaskMarked;
    canvas.SetPixel(0, 0, 0x000002);
    Mapping far = map;
    far.zoom = 32;
    canvas.EraseMarkedCells(far, {-128, -64, 128, 64});
    EXPECT_EQ(canvas.Pixel(0, 0), 0x000002u);
}

TEST_F(CanvasFixture, FirstCallPlansLastCallReports)
{
    FakePicture p("a.jpg", {64, 32}, {-32, -16}, true);
    const auto r = DrawAll(p);
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(r.front(), 1);
    EXPECT_EQ(p.loads, static_cast<int>(r.size()) - 1) << "the first call loads nothing";
    EXPECT_EQ(r.back(), -5) << "drew blocks in its last call";
    EXPECT_EQ(canvas.Pixel(128, 64), 0x102030u);
    EXPECT_EQ(canvas.Mask(128, 64 - 16), kMaskFitted);
    EXPECT_EQ(canvas.Pixel(128 - 33, 64), 0xFFFFFFu) << "outside the picture";
    // The same picture again: its inner cells are owned by it and passed over; only the cells
    // along its right and bottom edges, which its last samples leave partly open, are drawn.
    const auto again = DrawAll(p);
    EXPECT_EQ(again.back(), -5);
    EXPECT_EQ(drawer.LastBlocks(), 5);
    EXPECT_EQ(canvas.Mask(128 - 32, 64 - 16), kMaskFitted);
    EXPECT_EQ(canvas.Mask(128 + 16, 64 - 16), kMaskPartial);
}

// Two pictures meeting inside a cell: each draws its own pixels of the shared cell, and the
// cell's pixels beyond both stay white. A cell left over from the previous drawing loses its
// stale pixels where the picture does not reach it and is not erased at the end of the pass.
TEST_F(CanvasFixture, EdgeCellsAreSharedPixelByPixel)
{
    FakePicture a("a.jpg", {37, 50}, {-40, -30}, true, 0x0000FF);
    FakePicture b("b.jpg", {40, 50}, {-3, -30}, true, 0x00FF00);
    DrawAll(a);
    DrawAll(b);
    const int y = 64 - 20;
    EXPECT_EQ(canvas.Pixel(128 - 5, y), 0x0000FFu);
    EXPECT_EQ(canvas.Pixel(128 - 3, y), 0x00FF00u) << "b fills the rest of a's edge cell";
    EXPECT_EQ(canvas.Pixel(128 - 1, y), 0x00FF00u);
    EXPECT_EQ(canvas.Mask(128 - 16, 64 - 32), kMaskPartial);
    EXPECT_EQ(canvas.Pixel(128 - 20, 64 + 22), 0xFFFFFFu) << "below both pictures";
    EXPECT_EQ(canvas.Pixel(128 - 40, y), 0x0000FFu) << "a's left edge, in a cell its outline crosses";
    EXPECT_EQ(canvas.Pixel(128 - 42, y), 0xFFFFFFu) << "left of a";
    EXPECT_EQ(canvas.Pixel(128 + 36, 64 + 19), 0x00FF00u) << "b's bottom-right corner";

    // Redraw with marked cells, b only: a's old pixels in b's edge cell go white, b's stay
    // after the stale cells are erased.
    canvas.MarkCells(map, rect);
    CBandDrawer again;
    for (int guard = 0; guard < 100 && again.DrawPieceProgressive(canvas, map, rect, &b) == 1; ++guard) {
    }
    EXPECT_EQ(canvas.Pixel(128 - 5, y), 0xFFFFFFu);
    canvas.EraseMarkedCells(map, rect, false);
    EXPECT_EQ(canvas.Pixel(128 - 3, y), 0x00FF00u);
    EXPECT_EQ(canvas.Pixel(128 + 20, y), 0x00FF00u);
    EXPECT_EQ(canvas.Pixel(128 - 20, y), 0xFFFFFFu) << "a's cell, not drawn again, erased";
}

TEST_F(CanvasFixture, FittedCellsAreNeverOverdrawnTintedOnesAre)
{
    FakePicture unfitted("u.jpg", {64, 64}, {0, 0}, false, 0x000000);
    DrawAll(unfitted);
    EXPECT_EQ(canvas.Pixel(128, 64), 0x7F0000u);
    EXPECT_EQ(canvas.Mask(128, 64), kMaskTinted);
    FakePicture fitted("f.jpg", {32, 32}, {0, 0}, true, 0x00FF00);
    DrawAll(fitted);
    EXPECT_EQ(canvas.Pixel(128, 64), 0x00FF00u) << "a fitted picture draws over a tinted one";
    FakePicture later("l.jpg", {64, 64}, {0, 0}, false, 0x0000FF);
    DrawAll(later);
    EXPECT_EQ(canvas.Pixel(128, 64), 0x00FF00u) << "fitted cell kept";
    EXPECT_EQ(canvas.Pixel(128 + 40, 64 + 40), TintColour(0x0000FF));
}

TEST_F(CanvasFixture, OffCanvasEmptyAndUnloadablePictures)
{
    FakePicture off("off.jpg", {64, 64}, {5000, 5000}, true);
    EXPECT_EQ(drawer.DrawPieceProgressive(canvas, map, rect, &off), 0);
    EXPECT_FALSE(drawer.Active());
    FakePicture empty("e.jpg", {0, 0}, {0, 0}, true);
    EXPECT_EQ(drawer.DrawPieceProgressive(canvas, map, rect, &empty), 0);
    FakePicture broken("b.jpg", {64, 64}, {0, 0}, true);
    broken.loadable = false;
    EXPECT_EQ(DrawAll(broken), (std::vector<int>{1, -5}));
    EXPECT_EQ(canvas.Mask(128, 64), kMaskEmpty);
}

TEST(WorkCanvasBlocks, AStepStopsAfterTheRowPassingSixtyBlocks)
{
    CWorkCanvas canvas;
    ASSERT_TRUE(canvas.Create({1024, 512}));
    const Mapping map{1, {512, 256}, {0, 0}};
    const CRect rect(-512, -256, 512, 256);
    // 40 blocks per row: the second row passes 60, the step ends there.
    FakePicture p("wide.jpg", {640, 320}, {-320, -160}, true);
    CBandDrawer drawer;
    ASSERT_EQ(drawer.DrawPieceProgressive(canvas, map, rect, &p), 1);
    ASSERT_EQ(drawer.DrawPieceProgressive(canvas, map, rect, &p), 1);
    EXPECT_EQ(drawer.LastBlocks(), 80);
    EXPECT_EQ(drawer.NextRow(), -160 + 32);
    EXPECT_EQ(canvas.Mask(512, 256 - 160 + 16), kMaskFitted);
    EXPECT_EQ(canvas.Mask(512, 256 - 160 + 32), kMaskEmpty);
    // At zoom 4 a step may take 4 x 60 x 4 blocks: the whole picture in one step.
    CWorkCanvas small;
    ASSERT_TRUE(small.Create({256, 128}));
    const Mapping z4{4, {128, 64}, {0, 0}};
    CBandDrawer d4;
    ASSERT_EQ(d4.DrawPieceProgressive(small, z4, {-128, -64, 128, 64}, &p), 1);
    EXPECT_EQ(d4.DrawPieceProgressive(small, z4, {-128, -64, 128, 64}, &p), -5);
    EXPECT_EQ(small.Mask(128 - 80, 64 - 40), kMaskFitted);
    EXPECT_EQ(small.Mask(128 - 81, 64 - 41), kMaskEmpty);
}

TEST(WorkDropPattern, BorderAndSaturatingBlend)
{
    const int side = kDropPatternSide;
    std::vector<uint32_t> pattern(size_t(side) * side, 0xFFFFFF);
    FrameDropPattern(pattern.data(), side);
    struct Cell {
        int col, row;
        uint32_t colour;
    } cells[] = {{0, 64, kDropPatternBorder},   {5, 64, kDropPatternBorder},  {6, 64, 0xFFFFFF},
                 {121, 64, 0xFFFFFF},           {122, 64, kDropPatternBorder}, {64, 4, kDropPatternBorder},
                 {64, 5, 0xFFFFFF},             {64, 122, 0xFFFFFF},           {64, 123, kDropPatternBorder}};
    for (const auto& c : cells)
        EXPECT_EQ(pattern[size_t(c.row) * side + c.col], c.colour) << c.col << "," << c.row;

    // Inside: a bright colour over a bright picture, a dark one, white (left out) and black
    // (darkens by half).
    auto at = [&](int col, int row) -> uint32_t& { return pattern[size_t(row) * side + col]; };
    at(64, 64) = 0xF0F0F0;
    at(65, 64) = 0x010203;
    at(66, 64) = 0xFFFFFF;
    at(67, 64) = 0x000000;
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(QColor(0xE0, 0x80, 0x20));  // program colour 0x2080E0
    BlendDropPattern(image, {100, 100}, pattern.data(), side);
    auto colour = [&](int x, int y) {
        const QRgb q = image.pixel(x, y);
        return uint32_t(qRed(q)) | uint32_t(qGreen(q)) << 8 | uint32_t(qBlue(q)) << 16;
    };
    EXPECT_EQ(colour(100, 100), 0xFFFFFFu) << "each channel saturates instead of carrying";
    EXPECT_EQ(colour(101, 100), 0x114273u);
    EXPECT_EQ(colour(102, 100), 0x2080E0u) << "white pattern pixels are left out";
    EXPECT_EQ(colour(103, 100), 0x104070u);
    EXPECT_EQ(colour(100 - 64, 100), 0x104070u + kDropPatternBorder) << "border on the left";
    // Partly off the image: nothing is written outside, no fault.
    BlendDropPattern(image, {2, 198}, pattern.data(), side);
    EXPECT_EQ(colour(0, 134), 0x104070u + kDropPatternBorder) << "top border row";
    EXPECT_EQ(colour(0, 199), 0x2080E0u);
}

TEST(WorkCanvasBlocks, FarOutEachBlockIsOnePixelSampledAtItsCorner)
{
    CWorkCanvas canvas;
    ASSERT_TRUE(canvas.Create({64, 64}));
    const Mapping map{16, {32, 32}, {0, 0}};
    const CRect rect(-32, -32, 32, 32);
    FakePicture p("far.jpg", {160, 96}, {0, 0}, true);
    p.gradient = true;
    CBandDrawer drawer;
    ASSERT_EQ(drawer.DrawPieceProgressive(canvas, map, rect, &p), 1);
    EXPECT_EQ(drawer.DrawPieceProgressive(canvas, map, rect, &p), -5);
    EXPECT_EQ(drawer.LastBlocks(), 10 * 6);
    EXPECT_EQ(p.pointCalls, 10 * 6) << "one picture point per block";
    for (int by = 0; by < 6; ++by)
        for (int bx = 0; bx < 10; ++bx)
            EXPECT_EQ(canvas.Pixel(32 + bx, 32 + by), uint32_t(16 * bx | 16 * by << 8)) << bx << "," << by;
    EXPECT_EQ(canvas.Mask(32 + 10, 32), kMaskEmpty);
}

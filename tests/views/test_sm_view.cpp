// The work view as a window on Qt's offscreen platform: buffers and display checks, the
// reactions to update hints, the idle drawing step, and how the drawn pane looks.
#include <gtest/gtest.h>

#include <QImage>

#include <stdexcept>

#include "document/sm_doc.h"
#include "picset/mcomp.h"
#include "platform/message_box.h"
#include "tests/platform_qt/qt_app.h"
#include "views/display_service.h"
#include "views/sm_view.h"

SMRA_QT_TEST_APP();

namespace {

struct FatalExitCalled : std::runtime_error {
    int code;
    explicit FatalExitCalled(int c) : std::runtime_error("fatal exit"), code(c) {}
};

struct ViewFixture : ::testing::Test {
    void SetUp() override
    {
        platform::SetMessageBox(&box);
        SetFatalExitHandler([](int code) { throw FatalExitCalled(code); });
        views::SetDisplayService([this] { return display; });
        doc = std::make_unique<CSmDoc>();
        view = std::make_unique<CSmView>();
        view->resize(800, 600);
        doc->AddView(view.get());
    }
    void TearDown() override
    {
        view.reset();
        doc.reset();
        views::SetDisplayService(nullptr);
        SetFatalExitHandler(nullptr);
        platform::SetMessageBox(nullptr);
    }
    void Hint(int h) { view->OnUpdate(nullptr, h, HintObject::None()); }

    platform::FakeMessageBox box;
    views::DisplayInfo display{{640, 400}, 32, 0};
    std::unique_ptr<CSmDoc> doc;
    std::unique_ptr<CSmView> view;
};

} // namespace

TEST_F(ViewFixture, CanvasIsTwiceTheDesktopOrTheDesktopWhenTooLarge)
{
    view->OnInitialUpdate();
    EXPECT_EQ(view->m_sizeCanvas, CSize(1280, 600));
    EXPECT_EQ(view->m_rcCanvas, CRect(-640, -300, 640, 300));
    EXPECT_EQ(view->m_ptCanvasOrigin, CPoint(640, 300));
    EXPECT_EQ(view->m_nZoom, 1);
    EXPECT_TRUE(PendingStatusText.empty());

    CSmView small;
    small.resize(800, 600);
    doc->AddView(&small);
    display.canvasPixelLimit = 640 * 400;
    small.OnInitialUpdate();
    EXPECT_EQ(small.m_sizeCanvas, CSize(640, 400));
    EXPECT_EQ(small.m_canvas.Size(), CSize(640, 400));
}

TEST_F(ViewFixture, LowColourDisplays)
{
    display.bitsPerPixel = 8;
    view->OnInitialUpdate();
    EXPECT_NE(PendingStatusText.find("16 bits or higher"), std::string::npos);
    EXPECT_EQ(view->m_bCanvasReady, 1) << "work goes on";

    CSmView four;
    doc->AddView(&four);
    display.bitsPerPixel = 4;
    try {
        four.OnInitialUpdate();
        FAIL() << "a 4-bit display ends the program";
    } catch (const FatalExitCalled& e) {
        EXPECT_EQ(e.code, 0);
    }
    EXPECT_EQ(static_cast<int>(box.Shown().size()), 1);
}

TEST_F(ViewFixture, NoCanvasAtAllEndsWithTheMemoryCode)
{
    display.canvasPixelLimit = 100;
    try {
        view->OnInitialUpdate();
        FAIL();
    } catch (const FatalExitCalled& e) {
        EXPECT_EQ(e.code, kExitOutOfMemory);
    }
    EXPECT_EQ(static_cast<int>(box.Shown().size()), 1) << "the memory message first";
}

TEST_F(ViewFixture, ZoomHintsStayWithinOneToSixtyFour)
{
    view->OnInitialUpdate();
    Hint(HINT_ZOOM_IN);
    EXPECT_EQ(view->m_nZoom, 1);
    Hint(HINT_ZOOM_12);
    EXPECT_EQ(view->m_nZoom, 8);
    Hint(HINT_ZOOM_OUT);
    EXPECT_EQ(view->m_nZoom, 16);
    Hint(HINT_ZOOM_OUT);
    EXPECT_EQ(view->m_nZoom, 32);
    Hint(HINT_ZOOM_OUT);
    EXPECT_EQ(view->m_nZoom, 64);
    Hint(HINT_ZOOM_OUT);
    EXPECT_EQ(view->m_nZoom, 64);
    // The canvas window stays on the 16-unit grid at every zoom.
    EXPECT_EQ(view->m_rcCanvas.left % 16, 0);
    EXPECT_EQ(view->m_rcCanvas.top % 16, 0);
    EXPECT_EQ(view->m_rcScroll.left % 16, 0);
    // The paint publishes the zoom to the document.
    view->grab();
    EXPECT_EQ(doc->m_zoomDivisor, 64);
    Hint(HINT_ZOOM_IN);
    EXPECT_EQ(view->m_nZoom, 32);
}

TEST_F(ViewFixture, ResetBeforeTheCanvasOnlyEmptiesTheQueue)
{
    view->m_nZoom = 8;
    view->QueuePictureLoad("a.jpg");
    Hint(HINT_RESET);
    EXPECT_TRUE(view->m_loadQueue.empty());
    EXPECT_EQ(view->m_nZoom, 1);
    EXPECT_EQ(view->m_bCanvasReady, 0);
    EXPECT_EQ(view->m_rcScroll, CRect());
}

TEST_F(ViewFixture, IdleStepWithNothingToDoLetsTheIdleRequestsStop)
{
    view->OnInitialUpdate();
    doc->m_refreshFlags[2] = 1;
    Hint(HINT_IDLE);
    EXPECT_EQ(doc->m_refreshFlags[2], 0);
    // A queued name that names no picture ends the pass.
    view->QueuePictureLoad("gone.jpg");
    EXPECT_EQ(view->m_nLoadState, 2);
    EXPECT_EQ(view->ProcessLoadQueue(), -2);
    EXPECT_EQ(view->m_nLoadState, 0);
    EXPECT_TRUE(view->m_loadQueue.empty()) << "the head taken is removed";
    // A pending recentre is the whole step.
    view->m_bRecenterPending = 1;
    view->QueuePictureLoad("b.jpg");
    Hint(HINT_IDLE);
    EXPECT_EQ(view->m_bRecenterPending, 0);
    EXPECT_EQ(view->m_loadQueue.size(), 1u);
    Hint(HINT_REDRAW_ALL);
    EXPECT_TRUE(view->m_loadQueue.empty());
    EXPECT_EQ(view->m_nLoadState, 0);
}

TEST_F(ViewFixture, RecentringKeepsDrawnPixelsInTheirWorkPlace)
{
    view->OnInitialUpdate();
    const CPoint k = view->WorkToCanvas({100, 50});
    view->m_canvas.SetPixel(k.x, k.y, 0x00FF00);
    view->m_canvas.Mask(k.x, k.y) = workview::kMaskFitted;
    // Scroll far right and down, then move the canvas window there.
    view->ScrollToPosition(view->GetScrollPosition() + CPoint(200, 100));
    view->RecenterCanvas();
    const CPoint k2 = view->WorkToCanvas({100, 50});
    ASSERT_TRUE(view->m_canvas.Contains(k2));
    EXPECT_EQ(view->m_canvas.Pixel(k2.x, k2.y), 0x00FF00u);
    EXPECT_EQ(view->m_canvas.Mask(k2.x, k2.y), workview::kMaskFitted);
}

TEST_F(ViewFixture, LayoutChangeClipsANewAreaToTheVisibleRectangle)
{
    view->OnInitialUpdate();
    doc->m_areaShown = 1;
    doc->m_renderArea = CRect(-100000, -100000, 100000, 100000);
    Hint(HINT_LAYOUT);
    const CRect visible = view->ViewRectToWork(
        CRect(view->DPtoLP({0, 0}), view->GetClientRect().Size()));
    const CRect a = doc->m_renderArea;
    EXPECT_GE(a.left, visible.left - 1);
    EXPECT_LE(a.right, visible.right + 1);
    EXPECT_GE(a.top, visible.top - 1);
    EXPECT_LE(a.bottom, visible.bottom + 1);
}

TEST_F(ViewFixture, EmptyProjectDrawsWhiteCanvasWithCrossLines)
{
    view->OnInitialUpdate();
    view->show();
    view->resize(900, 640);  // the frame's final size comes after the initial update
    const QImage shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(shot.isNull());
    // Work-space (0, 0) at the client centre after ScrollToOrigin: black lines through it.
    const CPoint o = view->WorkToView({0, 0}) - view->GetScrollPosition();
    const CRect c = view->GetClientRect();
    EXPECT_NEAR(o.x, c.Width() / 2, 1);
    EXPECT_NEAR(o.y, c.Height() / 2, 1);
    EXPECT_EQ(shot.pixel(o.x, 5) & 0xFFFFFF, 0u);
    EXPECT_EQ(shot.pixel(5, o.y) & 0xFFFFFF, 0u);
    EXPECT_EQ(shot.pixel(o.x + 20, o.y + 20) & 0xFFFFFF, 0xFFFFFFu);
    // The dashed grid of aux mode 2 adds lines every 50 pixels from the origin.
    doc->m_auxLineMode = 2;
    const QImage grid = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int coloured = 0;
    for (int y = 0; y < c.Height(); ++y)
        coloured += (grid.pixel(o.x + 50, y) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_GT(coloured, c.Height() / 3);
}

TEST_F(ViewFixture, StockShowsLabelFramesUntilThumbnailsArriveSquareOnesIncluded)
{
    if (doc->m_entries.size() < 2)
        doc->m_entries.resize(2);
    const int wide = 0, square = 1;
    doc->m_entries[wide].m_Name = "/photos/pic_a.jpg";
    doc->m_entries[wide].m_Size = {4000, 3000};
    doc->m_entries[square].m_Name = "/photos/pic_b.jpg";
    doc->m_entries[square].m_Size = {3000, 3000};
    CPixelArray& thumb = doc->m_entries[square].m_PixelCache;
    thumb.SetSize(160 * 120);
    for (int i = 0; i < 160 * 120; ++i)
        thumb[i] = 0x00C000;  // green, the picture's part is the middle 120 x 120
    doc->m_pieceList = {wide, square};
    view->OnInitialUpdate();
    view->show();
    doc->m_refreshFlags[2] = 0;
    const QImage shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(doc->m_refreshFlags[2], 1) << "a label asks for more idle time";

    const int m = view->m_stock.margin;
    CPoint anchor;
    const CSize ws = view->GetPieceSize(wide);
    const CPoint wo = view->GetStockCellOrigin(0, ws.cx, ws.cy, anchor);
    ASSERT_NE(wo, CPoint());
    // The incomplete thumbnail's label frame lies one pixel inside the cell's frame.
    EXPECT_EQ(shot.pixel(wo.x - m + 1, wo.y - m + 1) & 0xFFFFFF, 0xD9DCD2u);
    EXPECT_EQ(shot.pixel(wo.x - m, wo.y + ws.cy / 2) & 0xFFFFFF, 0xFFFFFFu);

    const CSize ss = view->GetPieceSize(square);
    EXPECT_EQ(ss, CSize(view->m_stock.thumbSize, view->m_stock.thumbSize));
    const CPoint so = view->GetStockCellOrigin(1, ss.cx, ss.cy, anchor);
    ASSERT_NE(so, CPoint());
    // The square piece shows its thumbnail (the second paint, once its rectangle is known).
    const QImage again = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(again.pixel(so.x + ss.cx / 2, so.y + ss.cy / 2) & 0xFFFFFF, 0x00C000u);
}

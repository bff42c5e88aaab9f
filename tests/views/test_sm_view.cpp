// The work view as a window on Qt's offscreen platform: buffers and display checks, the
// reactions to update hints, the idle drawing step, and how the drawn pane looks.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <cmath>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "document/sm_doc.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mcomp.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"
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

TEST_F(ViewFixture, ScrollingInsideTheCanvasRedrawsNothing)
{
    display.desktop = {640, 480};
    view->OnInitialUpdate();
    view->show();
    Hint(HINT_IDLE);
    ASSERT_EQ(view->m_nLoadState, 0);
    // The canvas (1280 x 720) reaches 240 pixels beyond the 800-pixel client on either side.
    const CRect before = view->m_rcCanvas;
    view->ScrollToPosition(view->GetScrollPosition() + CPoint(200, 0));
    EXPECT_EQ(view->m_bRecenterPending, 0);
    Hint(HINT_IDLE);
    EXPECT_EQ(view->m_rcCanvas, before);
    EXPECT_EQ(view->m_nLoadState, 0) << "nothing queued for drawing";
    // Past its edge the next idle step moves the canvas window and queues the pictures.
    view->ScrollToPosition(view->GetScrollPosition() + CPoint(100, 0));
    EXPECT_EQ(view->m_bRecenterPending, 1);
    Hint(HINT_IDLE);
    EXPECT_EQ(view->m_bRecenterPending, 0);
    EXPECT_GT(view->m_rcCanvas.left, before.left);
    EXPECT_EQ(view->m_rcCanvas.left % 16, 0);
    EXPECT_EQ(view->m_nLoadState, 2);
}

TEST_F(ViewFixture, DropPatternsOnlyWhileAPieceWithANameIsDragged)
{
    ASSERT_TRUE(doc->FileNew());
    view->OnInitialUpdate();
    doc->m_entries.resize(2);
    doc->m_entries[0].m_Name = "a.j";
    doc->m_entries[1].m_Name = "/photos/long.jpg";
    QImage img(64, 64, QImage::Format_RGB32);
    img.fill(Qt::white);
    platform::qt::CGdiContext dc(img);
    struct Case {
        int state, entry, result;
    } cases[] = {{0, 1, -1}, {1, -1, -1}, {1, 2, -1}, {1, 0, -1}, {1, 1, 1}, {3, 1, 1}};
    for (const Case& c : cases) {
        view->m_nMouseState = c.state;
        view->m_nDragEntry = c.entry;
        EXPECT_EQ(view->DrawDropPatterns(dc, {}), c.result) << c.state << " " << c.entry;
    }
    // A picture the set does not know has no marks: nothing is laid over the frame.
    EXPECT_EQ(img.pixel(32, 32) & 0xFFFFFF, 0xFFFFFFu);
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

// ---- The scroll-view base -------------------------------------------------------------------

namespace {

// A scroll view that records the codes its bars hand over.
class RecordingScrollView : public views::CScrollViewBase {
public:
    void OnHScroll(int code, int track) override
    {
        codes.push_back(code);
        views::CScrollViewBase::OnHScroll(code, track);
    }
    std::vector<int> codes;

protected:
    void OnDraw(platform::qt::CGdiContext&) override {}
};

} // namespace

TEST(ScrollViewBase, DefaultSizesCodesAndConversions)
{
    RecordingScrollView v;
    v.resize(400, 300);
    v.show();
    // A tenth of the total for a page, a tenth of the page for a line.
    v.SetScrollSizes({2000, 1000});
    EXPECT_EQ(v.GetPageSize(), CSize(200, 100));
    EXPECT_EQ(v.GetLineSize(), CSize(20, 10));
    v.SetScrollSizes({2000, 1000}, {300, 0}, {0, 7});
    EXPECT_EQ(v.GetPageSize(), CSize(300, 100));
    EXPECT_EQ(v.GetLineSize(), CSize(30, 7));
    v.SetScrollSizes({2000, 1000});

    // Each code from position 500; the range ends at total minus client.
    const int client = v.GetClientRect().Width();
    struct Case {
        int code, track, expected;
    } cases[] = {{views::SB_LINEUP, 0, 480},      {views::SB_LINEDOWN, 0, 520},  {views::SB_PAGEUP, 0, 300},
                 {views::SB_PAGEDOWN, 0, 700},    {views::SB_THUMBTRACK, 1234, 1234}, {views::SB_THUMBPOSITION, 77, 77},
                 {views::SB_TOP, 0, 0},           {views::SB_BOTTOM, 0, 2000 - client}, {views::SB_ENDSCROLL, 0, 500}};
    for (const auto& c : cases) {
        v.ScrollToPosition({500, 40});
        v.OnHScroll(c.code, c.track);
        EXPECT_EQ(v.GetScrollPosition(), CPoint(c.expected, 40)) << c.code;
    }
    // Client pixels and view units differ by the scroll position.
    v.ScrollToPosition({120, 30});
    EXPECT_EQ(v.DPtoLP({5, 6}), CPoint(125, 36));
    EXPECT_EQ(v.LPtoDP({125, 36}), CPoint(5, 6));

    // The bar's own actions arrive as codes; the handler sets the position from the old one.
    v.codes.clear();
    v.horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    v.horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    v.horizontalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(v.codes, (std::vector<int>{views::SB_PAGEDOWN, views::SB_LINEUP, views::SB_TOP}));
    EXPECT_EQ(v.GetScrollPosition().x, 0);
}

// ---- The drawn pane against reviewed references -------------------------------------------------
//
// Each scene is drawn on the offscreen platform, shrunk to a coarse picture and compared with a
// reviewed reference image (SMRA_WRITE_REFERENCE=1 writes them anew, with the full-size grab
// beside the test's temporary files); then the places that carry the structure are checked
// pixel by pixel: the canvas, the cross lines, the stock cells and the pictures.

namespace {

constexpr double kEnginePi = 3.14159265;

// Mean and largest difference of the colour channels of two images of one size.
std::pair<double, int> Difference(const QImage& a, const QImage& b)
{
    double sum = 0;
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                sum += std::abs(d);
                most = std::max(most, std::abs(d));
            }
        }
    return {sum / (3.0 * a.width() * a.height()), most};
}

// Program colour (0x00BBGGRR) of a grabbed pixel.
uint32_t At(const QImage& img, int x, int y)
{
    const QRgb q = img.pixel(x, y);
    return uint32_t(qRed(q)) | uint32_t(qGreen(q)) << 8 | uint32_t(qBlue(q)) << 16;
}

struct SceneFixture : ViewFixture {
    void SetUp() override
    {
        ViewFixture::SetUp();
        display = {{1280, 800}, 32, 0};
        platform::SetFileDialog(&dialog);
        platform::SetStatusBar(&statusBar);
        ASSERT_TRUE(doc->FileNew());
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::string(SMRA_TEST_TMPDIR) + "/" + info->test_suite_name() + "." + info->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override
    {
        ViewFixture::TearDown();
        platform::SetFileDialog(nullptr);
        platform::SetStatusBar(nullptr);
    }
    // A 240 x 160 photo of one colour with a darker band along its top.
    std::string Photo(const std::string& name, QColor colour)
    {
        QImage img(240, 160, QImage::Format_RGB32);
        img.fill(colour);
        QPainter(&img).fillRect(0, 0, 240, 24, colour.darker(160));
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path), "PNG"));
        return path;
    }
    // The view of the given client size, its buffers made and shown.
    void Open(CSize client)
    {
        view->resize(client.cx, client.cy);
        view->OnInitialUpdate();
        view->show();
        view->resize(client.cx, client.cy);
    }
    // Idle steps until the canvas and the stock have nothing left to draw.
    void DrawUntilIdle()
    {
        for (int guard = 0; guard < 2000; ++guard) {
            Hint(HINT_IDLE);
            if (view->m_nLoadState == 0 && doc->m_refreshFlags[2] == 0)
                return;
        }
        ADD_FAILURE() << "drawing did not come to an end";
    }
    // The client area as drawn (without the scroll bars).
    QImage Grab() { return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // The grab shrunk to a tenth against the reviewed reference of that name.
    void ExpectLooksLike(const QImage& grab, const std::string& name)
    {
        const QImage small = grab.scaled(grab.width() / 10, grab.height() / 10, Qt::IgnoreAspectRatio,
                                         Qt::SmoothTransformation);
        const QString reference = QString::fromStdString(std::string(SMRA_SOURCE_DIR) + "/tests/views/reference/" + name);
        if (qEnvironmentVariableIsSet("SMRA_WRITE_REFERENCE")) {
            std::filesystem::create_directories(std::string(SMRA_SOURCE_DIR) + "/tests/views/reference");
            small.save(reference);
            grab.save(QString::fromStdString(dir + "/" + name));
        }
        const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(expected.size(), small.size()) << "missing reference " << reference.toStdString();
        const auto [mean, most] = Difference(small, expected);
        EXPECT_LT(mean, 4.0) << name;
        EXPECT_LT(most, 64) << name;
    }

    // Three photos entered as pieces: two fitted side by side and a third placed above them
    // but not fitted, all by known geometry; the view drawn until idle at 800 x 600.
    void OpenPictures(int auxLineMode)
    {
        paths = {Photo("left.png", QColor(40, 90, 200)), Photo("right.png", QColor(60, 170, 70)),
                 Photo("loose.png", QColor(128, 128, 128))};
        dialog.QueuePaths(paths);
        ASSERT_EQ(doc->ImportPhotos(), 1);
        const double f = 120.0 / std::tan(60.0 * kEnginePi / 360.0);
        struct Pose {
            double yaw, pitch;
            int status;
        } poses[] = {{-0.30, 0.0, 3}, {0.30, 0.0, 3}, {0.05, 0.50, 2}};
        for (size_t i = 0; i < paths.size(); ++i) {
            CKpic* k = doc->FindPictureByName(paths[i]);
            ASSERT_NE(k, nullptr);
            k->m_Status = poses[i].status;
            k->m_Focal = k->m_DefaultFocal = f;
            k->m_Direction = CDPoint(poses[i].yaw, -poses[i].pitch);
            k->m_Roll = 0.0;
        }
        CMcCore& core = doc->m_pComp->Core();
        core.SortPlacedFirst();
        core.m_CommonFocal = f;
        doc->ApplyProjection(22, 0);
        core.UpdateBoundingRect();
        doc->RefreshPieces();
        doc->m_auxLineMode = auxLineMode;
        Open({800, 600});
        Hint(HINT_PIECES);
        DrawUntilIdle();
    }
    // Client position of a picture's pixel.
    CPoint ClientPoint(const std::string& path, int x, int y)
    {
        const CPoint work = doc->m_pComp->PictureToPixel(path, x, y);
        return view->WorkToView(work) - view->GetScrollPosition();
    }

    platform::FakeFileDialog dialog;
    platform::RecordingStatusBar statusBar;
    std::string dir;
    std::vector<std::string> paths;
};

} // namespace

TEST_F(SceneFixture, EmptyProject)
{
    Open({800, 600});
    DrawUntilIdle();
    const QImage shot = Grab();
    ExpectLooksLike(shot, "empty_80x60.png");
    // The canvas is white all over; the cross lines meet at the middle of the client.
    const CRect client = view->GetClientRect();
    ASSERT_EQ(shot.size(), QSize(client.Width(), client.Height()));
    const CPoint o = view->WorkToView({0, 0}) - view->GetScrollPosition();
    EXPECT_NEAR(o.x, client.Width() / 2, 1);
    EXPECT_NEAR(o.y, client.Height() / 2, 1);
    // The base picture's cell is framed by a dotted line.
    CRect cell = view->WorkRectToView(doc->m_cellRects[size_t(CSmDoc::kCenterCell)]);
    cell.OffsetRect(-view->GetScrollPosition().x, -view->GetScrollPosition().y);
    ASSERT_EQ(cell.Width(), 240);
    // The frame's label sits in a grey-framed white panel around the origin, inside the frame.
    CRect panel;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (At(shot, x, y) == 0x808080)
                panel = panel.IsRectNull() ? CRect(x, y, x + 1, y + 1)
                                           : CRect(std::min<int>(panel.left, x), std::min<int>(panel.top, y),
                                                   std::max<int>(panel.right, x + 1), std::max<int>(panel.bottom, y + 1));
    ASSERT_TRUE(panel.PtInRect({o.x, o.y}));
    ASSERT_TRUE(cell.PtInRect(panel.TopLeft()) && cell.PtInRect(panel.BottomRight() - CPoint(1, 1)));
    int white = 0, black = 0, other = 0, dots = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            if (panel.PtInRect({x, y}))
                continue;
            const uint32_t c = At(shot, x, y);
            const bool onLine = x == o.x || y == o.y;
            const bool onFrame = cell.PtInRect({x, y}) && (x == cell.left || y == cell.top || x == cell.right - 1 ||
                                                           y == cell.bottom - 1);
            if (onFrame) {
                dots += !onLine && c == 0;
                continue;
            }
            white += !onLine && c == 0xFFFFFF;
            black += onLine && c == 0;
            other += (onLine && c != 0) || (!onLine && c != 0xFFFFFF);
        }
    EXPECT_EQ(black, shot.width() + shot.height() - 1 - 4 - (panel.Width() + panel.Height() - 1))
        << "the two lines through the origin, across the frame, under the label's panel";
    EXPECT_EQ(other, 0) << "nothing but the two lines, the frame and the label on white";
    EXPECT_NEAR(dots, 2 * 240, 8) << "every second pixel of the frame";
}

TEST_F(SceneFixture, FittedAndUnfittedPicturesWithOutlinesAndALabelFrame)
{
    OpenPictures(1);
    // The third picture's thumbnail is not complete yet: its piece shows the label frame.
    const int loose = doc->FindEntryIndex(paths[2], 0);
    ASSERT_GE(loose, 0);
    doc->m_entries[loose].m_PixelCache.SetSize(0);
    const QImage shot = Grab();
    ExpectLooksLike(shot, "pictures_80x60.png");

    // Pictures in place: fitted ones in their own colours, the unfitted one tinted; the mask
    // says who drew each.
    const uint32_t blue = 0xC85A28, green = 0x46AA3C, grey = 0x808080;
    struct Spot {
        int picture, x, y;
        uint32_t colour;
        uint8_t mask;
    } spots[] = {{0, 120, 110, blue, workview::kMaskFitted},
                 {1, 200, 120, green, workview::kMaskFitted},
                 {2, 120, 100, workview::TintColour(grey), workview::kMaskTinted}};
    for (const Spot& s : spots) {
        const CPoint c = ClientPoint(paths[size_t(s.picture)], s.x, s.y);
        ASSERT_TRUE(shot.rect().contains(c.x, c.y)) << s.picture;
        EXPECT_EQ(At(shot, c.x, c.y), s.colour) << s.picture;
        const CPoint k = view->WorkToCanvas(doc->m_pComp->PictureToPixel(paths[size_t(s.picture)], s.x, s.y));
        EXPECT_EQ(view->m_canvas.Mask(k.x, k.y), s.mask) << s.picture;
    }
    // The cross lines where nothing covers them.
    const CPoint o = view->WorkToView({0, 0}) - view->GetScrollPosition();
    EXPECT_EQ(At(shot, o.x, shot.height() - 3), 0u);
    EXPECT_EQ(At(shot, 3, o.y), 0u);

    // The stock: fitted pieces framed in the fitted colour around their thumbnails; the piece
    // without a complete thumbnail shows its label on the label colour, one pixel inside.
    const int m = view->m_stock.margin;
    int n = -1;
    for (const int e : doc->m_pieceList) {
        ++n;
        const CSize size = view->GetPieceSize(e);
        CPoint anchor;
        const CPoint cell = view->GetStockCellOrigin(n, size.cx, size.cy, anchor);
        ASSERT_NE(cell, CPoint()) << n;
        if (e == loose) {
            EXPECT_EQ(At(shot, cell.x + size.cx - 2, cell.y - m + 1), 0xD2DCD9u);
            EXPECT_EQ(At(shot, cell.x + size.cx + m - 2, cell.y + size.cy), 0xD2DCD9u);
            continue;
        }
        EXPECT_EQ(At(shot, cell.x - m + 3, cell.y + size.cy / 2), 0x82B4FFu) << n;
        EXPECT_EQ(At(shot, cell.x + size.cx / 2, cell.y + size.cy / 2), n == 0 ? blue : green) << n;
        // Aux mode 1: a leader line from the cell's anchor to a circle around the picture centre.
        const CPoint v = ClientPoint(paths[size_t(n)], 120, 80);
        const CPoint mid((v.x + anchor.x) / 2, (v.y + anchor.y) / 2);
        int onLine = 0, onCircle = 0;
        for (int d = -2; d <= 2; ++d) {
            onLine += At(shot, mid.x + d, mid.y) == 0x82B4FF;
            onCircle += At(shot, v.x + 15 + d, v.y + 3) == 0x82B4FF || At(shot, v.x + d, v.y + 15) == 0x82B4FF;
        }
        EXPECT_GT(onLine, 0) << n;
        EXPECT_GT(onCircle, 0) << n;
    }
}

TEST_F(SceneFixture, DashedGridOverThePictures)
{
    OpenPictures(2);
    const QImage shot = Grab();
    ExpectLooksLike(shot, "grid_80x60.png");
    // Every 50 pixels from the origin a line of dashes on the opaque grid background, over
    // pictures and white alike; nothing of the grid between the lines, and no outlines.
    const CPoint o = view->WorkToView({0, 0}) - view->GetScrollPosition();
    // The colours down a column below the stock, leaving out the rows of the horizontal grid
    // lines.
    auto column = [&](int x) {
        std::map<uint32_t, int> n;
        for (int y = shot.height() / 3; y < shot.height(); ++y)
            if ((y - o.y) % 50 != 0)
                ++n[At(shot, x, y)];
        return n;
    };
    for (int x : {o.x - 100, o.x + 50, o.x + 300}) {
        auto n = column(x);
        EXPECT_GT(n[0x208080], shot.height() / 3) << x;
        EXPECT_GT(n[0xC0C080], shot.height() / 15) << x;
        EXPECT_EQ(n[0xFFFFFF], 0) << "no white gap in the dashes at " << x;
    }
    auto between = column(o.x + 75);
    EXPECT_EQ(between[0x208080] + between[0xC0C080], 0);
    for (int n = 0; n < 2; ++n) {
        const CPoint v = ClientPoint(paths[size_t(n)], 120, 80);
        int outline = 0;
        for (int y = v.y - 20; y <= v.y + 20; ++y)
            for (int x = v.x - 20; x <= v.x + 20; ++x)
                outline += At(shot, x, y) == 0x82B4FF;
        EXPECT_EQ(outline, 0) << "no circle around picture " << n;
    }

    // A full redraw in the middle of a picture forgets the picture being drawn.
    Hint(HINT_PIECES);
    Hint(HINT_IDLE);
    Hint(HINT_IDLE);
    ASSERT_TRUE(view->m_band.Active());
    Hint(HINT_REDRAW_ALL);
    EXPECT_FALSE(view->m_band.Active());
    EXPECT_TRUE(view->m_strLoading.empty());
    EXPECT_EQ(view->m_nLoadState, 0);
}

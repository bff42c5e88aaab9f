// The work view's input on a pane that has really been drawn, under Qt's offscreen platform:
// pieces dragged from the stock onto the grid (the first one fits and zooms, the next is laid in
// a cell and picked again by a press), the scroll bars' codes, and the rendering area with its
// handles and poles in a Linear and a fisheye projection. SMRA_SCREENSHOT_DIR, when set,
// receives pictures of the drawn panes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <cmath>
#include <filesystem>
#include <functional>

#include "common/message_catalogue.h"
#include "document/sm_doc.h"
#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "imagefile/pixel_array.h"
#include "picset/color_model.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mcomp.h"
#include "platform/clock.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"
#include "tests/platform_qt/qt_app.h"
#include "views/display_service.h"
#include "views/scroll_view.h"
#include "views/sm_view.h"
#include "views/work_input.h"

SMRA_QT_TEST_APP();

namespace {

// Program colour (0x00BBGGRR) of a grabbed pixel.
uint32_t At(const QImage& img, int x, int y)
{
    const QRgb q = img.pixel(x, y);
    return uint32_t(qRed(q)) | uint32_t(qGreen(q)) << 8 | uint32_t(qBlue(q)) << 16;
}

uint32_t Colour(QColor c) { return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16; }

bool Contains(const CRect& outer, const CRect& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

struct DrawnViewFixture : ::testing::Test {
    void SetUp() override
    {
        platform::SetMessageBox(&box);
        platform::SetClock(&clock);
        platform::SetFileDialog(&dialog);
        platform::SetStatusBar(&statusBar);
        views::SetDisplayService([] { return views::DisplayInfo{{1280, 800}, 32, 0}; });
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::string(SMRA_TEST_TMPDIR) + "/" + info->test_suite_name() + "." + info->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        doc = std::make_unique<CSmDoc>();
        ASSERT_TRUE(doc->FileNew());
        view = std::make_unique<CSmView>();
        view->resize(800, 600);
        doc->AddView(view.get());
    }
    void TearDown() override
    {
        view.reset();
        doc.reset();
        views::SetDisplayService(nullptr);
        platform::SetStatusBar(nullptr);
        platform::SetFileDialog(nullptr);
        platform::SetClock(nullptr);
        platform::SetMessageBox(nullptr);
    }
    // A photo of one colour with a darker band along its top.
    std::string Photo(const std::string& name, QColor colour, int w, int h)
    {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(colour);
        QPainter(&img).fillRect(0, 0, w, h / 7, colour.darker(160));
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path), "PNG"));
        return path;
    }
    void Import(const std::vector<std::string>& photos)
    {
        paths = photos;
        dialog.QueuePaths(paths);
        ASSERT_EQ(doc->ImportPhotos(), 1);
    }
    void Open(CSize client)
    {
        view->resize(client.cx, client.cy);
        view->OnInitialUpdate();
        view->show();
        view->resize(client.cx, client.cy);
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    void DrawUntilIdle()
    {
        for (int guard = 0; guard < 4000; ++guard) {
            view->OnUpdate(nullptr, HINT_IDLE, HintObject::None());
            if (view->m_nLoadState == 0 && doc->m_refreshFlags[2] == 0)
                return;
        }
        ADD_FAILURE() << "drawing did not come to an end";
    }
    // The client area as drawn now.
    QImage Grab() { return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    void Send(QEvent::Type type, CPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QWidget* vp = view->viewport();
        const QPointF p(at.x, at.y);
        QMouseEvent e(type, p, QPointF(vp->mapToGlobal(p.toPoint())), button, held, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    }
    // A left-button drag from one client point to another, leaving the press box on the way.
    void Drag(CPoint from, CPoint to)
    {
        Send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Send(QEvent::MouseMove, from + CPoint(0, 30), Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    // The scroll bars' handlers, as the bars call them.
    void HScroll(int code, int track) { static_cast<views::CScrollViewBase&>(*view).OnHScroll(code, track); }
    void VScroll(int code, int track) { static_cast<views::CScrollViewBase&>(*view).OnVScroll(code, track); }
    CPoint ClientOfWork(CPoint work) const { return view->WorkToView(work) - view->GetScrollPosition(); }
    CRect ClientOfWork(const CRect& work) const
    {
        return {ClientOfWork(work.TopLeft()), ClientOfWork(work.BottomRight())};
    }
    CPoint ClientOfView(CPoint v) const { return v - view->GetScrollPosition(); }
    CPoint StockCentre(int entry) const { return view->PieceStockRect(entry).CenterPoint(); }
    int Entry(size_t photo) const { return doc->FindEntryIndex(paths[photo], 0); }

    // Three 240 x 160 photos, 60 degrees across, fitted side by side and one above, by known
    // geometry; drawn until idle.
    void FittedProject(int projection)
    {
        Import({Photo("left.png", left, 240, 160), Photo("right.png", right, 240, 160),
                Photo("top.png", top, 240, 160)});
        const double f = 120.0 / std::tan(60.0 * EnginePi / 360.0);
        const CDPoint directions[] = {{-0.30, 0.0}, {0.30, 0.0}, {0.0, -0.45}};
        for (size_t i = 0; i < paths.size(); ++i) {
            CKpic* k = doc->FindPictureByName(paths[i]);
            ASSERT_NE(k, nullptr);
            k->m_Status = 3;
            k->m_Focal = k->m_DefaultFocal = f;
            k->m_Direction = directions[i];
            k->m_Roll = 0.0;
        }
        CMcCore& core = doc->m_pComp->Core();
        core.SortPlacedFirst();
        core.m_CommonFocal = f;
        doc->ApplyProjection(projection, 0);
        core.UpdateBoundingRect();
        doc->RefreshPieces();
        Open({800, 760});
        view->OnUpdate(nullptr, HINT_PIECES, HintObject::None());
        DrawUntilIdle();
    }

    platform::FakeMessageBox box;
    platform::FakeClock clock;
    platform::FakeFileDialog dialog;
    platform::RecordingStatusBar statusBar;
    std::string dir;
    std::vector<std::string> paths;
    std::unique_ptr<CSmDoc> doc;
    std::unique_ptr<CSmView> view;
    // Warm colours, so that nothing of the photos looks like the teal pole marks.
    const QColor left{200, 120, 60}, right{170, 60, 60}, top{150, 150, 150};
};

} // namespace

TEST_F(DrawnViewFixture, PiecesDraggedOntoTheGridFitZoomAndArePickedWhereDrawn)
{
    Import({Photo("base.png", left, 1200, 800), Photo("next.png", right, 1200, 800)});
    Open({800, 600});
    DrawUntilIdle();
    Grab();
    const int base = Entry(0), next = Entry(1);
    ASSERT_GE(base, 0);
    ASSERT_GE(next, 0);
    ASSERT_FALSE(view->PieceStockRect(base).IsRectEmpty());
    EXPECT_EQ(view->m_bLayoutValid, 1) << "the drawing laid the placed pieces";
    EXPECT_TRUE(view->m_workRects.empty());

    // Away from the origin, the first fit keeps the middle of the pane where it was.
    HScroll(views::SB_THUMBTRACK, view->GetScrollPosition().x + 96);
    const CPoint middle = view->GetViewCenter();
    ASSERT_GE(middle.x, 64);
    Drag(StockCentre(base), ClientOfWork(CPoint(0, 0)));
    ASSERT_EQ(doc->m_pComp->GetFittedCount(), 1);
    EXPECT_EQ(view->m_nZoom, 8) << "a 1200-pixel base is shown at most 240 pixels wide";
    const CPoint after = view->GetViewCenter();
    EXPECT_LT(std::abs(after.x - middle.x), 8);
    EXPECT_LT(std::abs(after.y - middle.y), 8);
    // The canvas covers the client at the new zoom, and the picture is drawn where it is shown.
    const CRect client = view->GetClientRect();
    const CRect shown(view->DPtoLP(client.TopLeft()) - view->m_ptScrollOrigin,
                      view->DPtoLP(client.BottomRight()) - view->m_ptScrollOrigin);
    EXPECT_TRUE(Contains(view->m_rcCanvas, shown));
    // The first fit asks for the next picture in a panel over the middle of the pane; the next
    // press clears it, as it does here.
    EXPECT_EQ(doc->m_statusMessage, Catalogue().selectNextPicture);
    doc->m_statusMessage.clear();
    DrawUntilIdle();
    const CPoint inside = ClientOfWork(doc->m_pComp->PictureToPixel(paths[0], 900, 600));
    EXPECT_EQ(At(Grab(), inside.x, inside.y), Colour(left));

    // The next piece goes into the empty frame right of the base and is drawn centred in it.
    const CRect cell = doc->m_cellRects[size_t(CSmDoc::CellIndex(1, 0))];
    ASSERT_FALSE(cell.IsRectEmpty());
    Grab();
    Drag(StockCentre(next), ClientOfWork(cell.CenterPoint()));
    EXPECT_EQ(doc->m_entries[size_t(next)].m_PieceSlot, CPoint(1, 0));
    EXPECT_EQ(doc->m_pComp->GetFittedCount(), 1);
    EXPECT_EQ(doc->m_statusMessage, Catalogue().selectNextPicture) << "asked a second time";
    doc->m_statusMessage.clear();
    const QImage shot = Grab();
    if (qEnvironmentVariableIsSet("SMRA_SCREENSHOT_DIR"))
        shot.save(qEnvironmentVariable("SMRA_SCREENSHOT_DIR") + "/photo-laid-in-cell.png");
    ASSERT_EQ(view->m_workRects.count(next), 1u);
    const CRect piece = view->m_workRects[next];
    const CRect frame = ClientOfWork(doc->m_cellRects[size_t(CSmDoc::CellIndex(1, 0))]);
    EXPECT_TRUE(Contains(frame, piece));
    EXPECT_LE(std::abs(piece.CenterPoint().x - frame.CenterPoint().x), 1);
    EXPECT_LE(std::abs(piece.CenterPoint().y - frame.CenterPoint().y), 1);
    EXPECT_EQ(piece.Width(), 150) << "the cell's width at zoom 8";
    EXPECT_EQ(At(shot, piece.CenterPoint().x, piece.bottom - 5), Colour(right));

    // A press on it picks it; a release inside the press box drops nothing.
    Send(QEvent::MouseButtonPress, piece.CenterPoint(), Qt::LeftButton, Qt::LeftButton);
    ASSERT_NE(view->Input(), nullptr);
    EXPECT_EQ(view->Input()->m_nMouseState, 2);
    EXPECT_EQ(view->Input()->m_nPressKind, 3);
    EXPECT_EQ(view->Input()->m_nDragEntry, next);
    EXPECT_EQ(doc->m_currentEntry, next);
    Send(QEvent::MouseButtonRelease, piece.CenterPoint(), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(view->Input()->m_nMouseState, 0);
    EXPECT_EQ(doc->m_entries[size_t(next)].m_PieceSlot, CPoint(1, 0));

    // Scrolled further than half the piece and not drawn since: the press still finds it.
    HScroll(views::SB_THUMBTRACK, view->GetScrollPosition().x + 100);
    const CPoint moved = piece.CenterPoint() - CPoint(100, 0);
    Send(QEvent::MouseButtonPress, moved, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(view->Input()->m_nDragEntry, next);
    EXPECT_EQ(view->Input()->m_nPressKind, 3);
    Send(QEvent::MouseButtonRelease, moved, Qt::LeftButton, Qt::NoButton);
}

// New colour settings for a picture show everywhere the work view draws it: in the fitted
// picture on the canvas, in its stock thumbnail and in its piece laid in a grid cell.
TEST_F(DrawnViewFixture, ColourSettingsRedrawThumbnailsAndPlacedPieces)
{
    Import({Photo("base.png", left, 1200, 800), Photo("next.png", right, 1200, 800)});
    Open({800, 600});
    DrawUntilIdle();
    Grab();
    const int base = Entry(0), next = Entry(1);
    ASSERT_GE(base, 0);
    ASSERT_GE(next, 0);
    Drag(StockCentre(base), ClientOfWork(CPoint(0, 0)));
    ASSERT_EQ(doc->m_pComp->GetFittedCount(), 1);
    DrawUntilIdle();
    Grab();
    const CRect cell = doc->m_cellRects[size_t(CSmDoc::CellIndex(1, 0))];
    ASSERT_FALSE(cell.IsRectEmpty());
    Drag(StockCentre(next), ClientOfWork(cell.CenterPoint()));
    ASSERT_EQ(doc->m_entries[size_t(next)].m_PieceSlot, CPoint(1, 0));
    // The hint panel shown after a drop covers the middle of the pane until the next press.
    doc->m_statusMessage.clear();
    view->Invalidate();
    DrawUntilIdle();

    // Where each picture shows: the fitted base on the canvas, both thumbnails in the stock,
    // the laid piece in its cell.
    struct Spot {
        const char* what;
        int photo;
        std::function<CPoint()> at;
    };
    const Spot spots[] = {
        {"fitted picture", 0, [&] { return ClientOfWork(doc->m_pComp->PictureToPixel(paths[0], 900, 600)); }},
        {"base thumbnail", 0, [&] { return StockCentre(base) + CPoint(0, 4); }},
        {"next thumbnail", 1, [&] { return StockCentre(next) + CPoint(0, 4); }},
        {"laid piece", 1, [&] { return CPoint(view->m_workRects[next].CenterPoint().x, view->m_workRects[next].bottom - 5); }},
    };
    const uint32_t before[] = {Colour(left), Colour(right)};
    QImage shot = Grab();
    ASSERT_EQ(view->m_workRects.count(next), 1u);
    for (const Spot& s : spots)
        ASSERT_EQ(At(shot, s.at().x, s.at().y), before[s.photo]) << s.what;

    // Each picture gets its own correction, one after the other, as the colour fit manager
    // applies them.
    uint32_t after[2];
    for (int photo = 0; photo < 2; ++photo) {
        CColorModel model;
        model.MatchColours(before[photo], photo == 0 ? 0x30A050 : 0xB04020);
        CPixelArray px;
        px.SetSize(1);
        px[0] = before[photo];
        CColorModel(model).ApplyToArray(px);
        after[photo] = px[0];
        ASSERT_NE(after[photo], before[photo]);
        EXPECT_EQ(doc->ApplyColorModel(1, model, paths[size_t(photo)]), 1);
    }
    DrawUntilIdle();
    shot = Grab();
    if (qEnvironmentVariableIsSet("SMRA_SCREENSHOT_DIR"))
        shot.save(qEnvironmentVariable("SMRA_SCREENSHOT_DIR") + "/colour-settings.png");
    for (const Spot& s : spots)
        EXPECT_EQ(At(shot, s.at().x, s.at().y), after[s.photo]) << s.what;
}

TEST_F(DrawnViewFixture, ScrollBarCodesGoThroughTheInput)
{
    FittedProject(22);
    QScrollBar* bar = view->horizontalScrollBar();
    const int limit = bar->maximum();
    ASSERT_GT(limit, 200);
    const int start = view->GetScrollPosition().x;
    view->m_bQuickPieces = 0;

    // Thumb position keeps the position; thumb tracking moves it.
    HScroll(views::SB_THUMBPOSITION, start + 40);
    EXPECT_EQ(view->GetScrollPosition().x, start);
    HScroll(views::SB_THUMBTRACK, start + 40);
    EXPECT_EQ(view->GetScrollPosition().x, start + 40);
    EXPECT_EQ(view->m_bQuickPieces, 1);

    // The bar itself: a line step, a dragged thumb that moves while dragged, and its release.
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->GetScrollPosition().x, start + 40 + view->GetLineSize().cx);
    const int before = view->GetScrollPosition().x;
    bar->setSliderDown(true);
    bar->setSliderPosition(before - 30);
    EXPECT_EQ(view->GetScrollPosition().x, before - 30);
    bar->setSliderDown(false);
    EXPECT_EQ(view->GetScrollPosition().x, before - 30);

    // Ends and limits.
    HScroll(views::SB_THUMBTRACK, 1 << 30);
    EXPECT_EQ(view->GetScrollPosition().x, limit);
    VScroll(views::SB_TOP, 0);
    EXPECT_EQ(view->GetScrollPosition().y, 0);
    HScroll(views::SB_LINEUP, 0);
    EXPECT_EQ(view->GetScrollPosition().x, limit - view->GetLineSize().cx);

    // Inside the canvas nothing is redrawn; past its edge the next idle step moves it.
    HScroll(views::SB_THUMBTRACK, start);
    DrawUntilIdle();
    ASSERT_EQ(view->m_bRecenterPending, 0);
    HScroll(views::SB_THUMBTRACK, start + 16);
    EXPECT_EQ(view->m_bRecenterPending, 0);
    HScroll(views::SB_THUMBTRACK, start + view->m_sizeCanvas.cx);
    EXPECT_EQ(view->m_bRecenterPending, 1);
}

TEST_F(DrawnViewFixture, FisheyePolesAreStoredByTheDrawingAndGrabbedByAPress)
{
    FittedProject(PROJ_EQUIDISTANT_FISHEYE);
    view->OnProcessSetRenderingArea();
    ASSERT_EQ(doc->m_areaShown, 1);
    EXPECT_EQ(view->m_ptPoleTop, CPoint()) << "nothing stored before the area is drawn";
    Grab();
    CPoint top, bottom;
    doc->m_pComp->GetVerticalLimits(top, bottom);
    ASSERT_LT(int64_t(top.y) * bottom.y, 0) << "one pole above the horizon, one below";
    EXPECT_EQ(view->m_ptPoleTop, top);
    EXPECT_EQ(view->m_ptPoleBottom, bottom);
    for (int h : {11, 12, 14})
        EXPECT_TRUE(view->m_rcAreaHandles[h].IsRectEmpty()) << h;
    EXPECT_TRUE(view->m_rcAreaHandles[15].PtInRect(view->WorkToView(top)));
    EXPECT_TRUE(view->m_rcAreaHandles[16].PtInRect(view->WorkToView(bottom)));
    const CPoint upper = top.y < bottom.y ? top : bottom;
    const CPoint pole = ClientOfWork(upper);
    ASSERT_TRUE(view->GetClientRect().PtInRect(pole)) << "the pole lies in the pane";

    // A press on the pole grabs it as the horizon; pulled beyond, the shift stops at the pole.
    Send(QEvent::MouseButtonPress, pole, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(view->Input()->m_nGrabbedHandle, 13);
    EXPECT_EQ(view->m_nGrabbedHandle, 13);
    Send(QEvent::MouseMove, pole - CPoint(0, 40), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(view->Input()->m_ptViewShift, CPoint(0, upper.y));
    Send(QEvent::MouseMove, pole + CPoint(0, 20), Qt::NoButton, Qt::LeftButton);
    EXPECT_GT(view->Input()->m_ptViewShift.y, upper.y);
    EXPECT_LT(view->Input()->m_ptViewShift.y, 0);
    Send(QEvent::MouseButtonRelease, pole + CPoint(0, 20), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(view->Input()->m_nGrabbedHandle, 0);

    // Another projection: the next drawing forgets the poles.
    doc->ApplyProjection(PROJ_LINEAR, 0);
    Grab();
    EXPECT_EQ(view->m_ptPoleTop, CPoint());
    EXPECT_EQ(view->m_ptPoleBottom, CPoint());
    EXPECT_TRUE(view->m_rcAreaHandles[15].IsRectEmpty());
    EXPECT_FALSE(view->m_rcAreaHandles[14].IsRectEmpty());
}

// The rendering area as drawn in a Linear and in a fisheye projection: outline, hatched band,
// horizon and (Linear only) vertical centre line, and the pole marks in the fisheye.
TEST_F(DrawnViewFixture, RenderingAreaScreenshots)
{
    FittedProject(PROJ_LINEAR);
    view->OnProcessSetRenderingArea();
    ASSERT_EQ(doc->m_areaShown, 1);
    struct Case {
        int projection;
        const char* file;
    } cases[] = {{PROJ_LINEAR, "area-linear.png"}, {PROJ_EQUIDISTANT_FISHEYE, "area-fisheye.png"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        // A new projection lays the work space out again and redraws it from a clear canvas.
        doc->ApplyProjection(c.projection, 0);
        doc->m_renderArea = CRect(-200, -120, 200, 120);
        DrawUntilIdle();
        const QImage shot = Grab();
        if (qEnvironmentVariableIsSet("SMRA_SCREENSHOT_DIR"))
            shot.save(qEnvironmentVariable("SMRA_SCREENSHOT_DIR") + "/" + c.file);
        const bool fisheye = c.projection >= 30;
        const CPoint o = ClientOfWork(CPoint(0, 0));
        const CRect a = ClientOfWork(doc->m_renderArea);

        // The area's outline between its handles, and the hatched band outside it.
        int outline = 0, along = 0;
        for (int x = a.left + 20; x < a.right - 20; ++x) {
            if (std::abs(x - (a.left + a.right) / 2) < 12)
                continue;
            ++along;
            outline += At(shot, x, a.top) == 0x0000FF && At(shot, x, a.bottom - 1) == 0x0000FF;
        }
        EXPECT_EQ(outline, along);
        int hatch = 0;
        for (int y = a.top - 15; y < a.top - 1; ++y)
            for (int x = a.left + 20; x < a.left + 60; ++x)
                hatch += At(shot, x, y) == 0x0000FF;
        EXPECT_GT(hatch, 40);
        EXPECT_LT(hatch, 14 * 40 / 2);

        // The horizon across the pane; the vertical line only outside the fisheye.
        const int w = shot.width(), h = shot.height();
        int horizon = 0, vertical = 0;
        for (int x = 0; x < w; ++x)
            horizon += At(shot, x, o.y) == 0x000080;
        for (int y = 0; y < h; ++y)
            vertical += y != o.y && At(shot, o.x, y) == 0x000080;
        EXPECT_GT(horizon, w * 3 / 4);
        if (fisheye)
            EXPECT_EQ(vertical, 0);
        else
            EXPECT_GT(vertical, h * 3 / 4);

        // Pole marks (teal) at the two poles, nowhere without poles.
        auto teal = [&](CPoint centre) {
            int n = 0;
            for (int y = centre.y - 5; y < centre.y + 5; ++y)
                for (int x = centre.x - 5; x < centre.x + 5; ++x)
                    if (shot.rect().contains(x, y)) {
                        const QRgb q = shot.pixel(x, y);
                        n += qGreen(q) > qRed(q) + 40 && qBlue(q) > qRed(q) + 40;
                    }
            return n;
        };
        if (fisheye) {
            EXPECT_GT(teal(ClientOfWork(view->m_ptPoleTop)), 20);
            EXPECT_GT(teal(ClientOfWork(view->m_ptPoleBottom)), 20);
        } else {
            EXPECT_EQ(view->m_ptPoleTop, CPoint());
        }
    }
}

// A picture tilted up is a trapezoid in Linear: along its sloped sides the pixels just inside
// carry the photo and those just outside do not, all along them, so the sides are straight
// lines and not stairs of whole blocks.
TEST_F(DrawnViewFixture, SlopedEdgesAreDrawnToThePixel)
{
    FittedProject(PROJ_LINEAR);
    const QImage shot = Grab();
    const std::string& path = paths[2];
    // The top photo is grey, lightened or darkened by the blending; the others are warm.
    auto isTop = [](uint32_t c) {
        const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
        return std::abs(r - g) < 8 && std::abs(g - b) < 8 && r < 220;
    };
    const CPoint topLeft = ClientOfWork(doc->m_pComp->PictureToPixel(path, 0, 0));
    const CPoint bottomLeft = ClientOfWork(doc->m_pComp->PictureToPixel(path, 0, 159));
    ASSERT_GT(std::abs(topLeft.x - bottomLeft.x), 8) << "the side is sloped";
    ASSERT_GT(bottomLeft.y - topLeft.y, 40);
    // Where no other picture lies beside the side, the pixel just outside is white and the one
    // just inside is the photo's; nowhere is the pixel just outside the photo's.
    int probes = 0, clear = 0, inside = 0, outside = 0;
    for (int row = 4; row < 156; row += 3) {
        for (int side : {0, 239}) {
            const CPoint e = ClientOfWork(doc->m_pComp->PictureToPixel(path, side, row));
            if (!shot.rect().contains(e.x - 3, e.y) || !shot.rect().contains(e.x + 3, e.y))
                continue;
            const int in = side == 0 ? 3 : -3;
            const uint32_t outer = At(shot, e.x - in, e.y);
            ++probes;
            outside += !isTop(outer);
            if (outer == 0xFFFFFF) {
                ++clear;
                inside += isTop(At(shot, e.x + in, e.y));
            }
        }
    }
    ASSERT_GT(probes, 40);
    ASSERT_GT(clear, 20);
    EXPECT_EQ(inside, clear) << "pixels just inside the sloped sides are drawn";
    EXPECT_EQ(outside, probes) << "pixels just outside take nothing of the picture";
}

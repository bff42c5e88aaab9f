// What the work view lays over its window and hands to others, on the real widget inside a
// stand-in main window under Qt's offscreen platform: the drag image on the main window (its
// place, hotspot and keyed-out colour), the panel of a running job whose buttons the
// document's break test finds on the screen, and the print commands (a PDF printer and the
// preview dialog).
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "document/sm_doc.h"
#include "picset/mchost.h"
#include "platform/clock.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/qt/input_filter.h"
#include "platform/qt/qt_colour.h"
#include "tests/platform_qt/qt_app.h"
#include "views/display_service.h"
#include "views/drag_overlay.h"
#include "views/print_device.h"
#include "views/sm_view.h"
#include "views/work_input.h"

namespace {

namespace fs = std::filesystem;

constexpr QRgb kKey = platform::qt::ToQRgb(views::kDragMaskColour);

// Program colour (0x00BBGGRR) of an image pixel.
COLORREF At(const QImage& img, int x, int y) { return platform::qt::FromQRgb(img.pixel(x, y)); }

struct OverlayFixture : ::testing::Test {
    void SetUp() override
    {
        platform::SetMessageBox(&box);
        clock.SetTick(200000);
        platform::SetClock(&clock);
        views::SetDisplayService([this] { return display; });
        platform::qt::CInputFilter::Instance();
        doc = std::make_unique<CSmDoc>();
        // The view sits inside the window, away from its top-left corner, as in the main frame.
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(37, 53, 11, 9);
        view = new CSmView(window.get());
        layout->addWidget(view);
        window->resize(900, 700);
        doc->AddView(view);
        view->OnInitialUpdate();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        if (view)
            doc->RemoveView(view);
        window.reset();
        doc.reset();
        views::SetDisplayService(nullptr);
        platform::SetClock(nullptr);
        platform::SetMessageBox(nullptr);
        platform::DefaultInput().Reset();
    }
    void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QWidget* vp = view->viewport();
        QMouseEvent e(type, QPointF(at), QPointF(vp->mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    }
    // The viewport's origin in window coordinates.
    CPoint ViewportInWindow() const
    {
        const QPoint o = view->viewport()->mapTo(window.get(), QPoint(0, 0));
        return {o.x(), o.y()};
    }
    // A piece in the stock with a complete thumbnail of one colour, a square of the drag
    // images' transparent colour in its top-left corner.
    int AddPiece(const std::string& name, COLORREF colour)
    {
        const int e = doc->AllocateEntry();
        EXPECT_GE(e, 0);
        CPictureEntry& entry = doc->m_entries[size_t(e)];
        entry.m_Name = name;
        entry.m_Size = CSize(1600, 1200);
        entry.m_State = 6;
        entry.m_PixelCache.SetSize(160 * 120);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x)
                entry.m_PixelCache[y * 160 + x] = (x < 40 && y < 30) ? views::kDragMaskColour : colour;
        doc->m_pieceList.push_back(e);
        view->RecalcStockLayout(0);
        view->RepaintNow();
        return e;
    }
    QImage GrabWindow() { return window->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    platform::FakeMessageBox box;
    platform::FakeClock clock;
    views::DisplayInfo display{{1280, 800}, 32, 0};
    std::unique_ptr<CSmDoc> doc;
    std::unique_ptr<QWidget> window;
    CSmView* view = nullptr;
};

} // namespace

TEST_F(OverlayFixture, DraggedPieceFollowsThePointerOnTheMainWindowWithItsColourKeyedOut)
{
    const int e = AddPiece("/photos/red.jpg", 0x2020C0);
    const CRect stock = view->PieceStockRect(e);
    ASSERT_FALSE(stock.IsRectEmpty());
    const QPoint press(stock.left + stock.Width() / 2, stock.top + stock.Height() / 2);

    // Inside the 21 x 21 box nothing shows yet.
    Send(QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, press + QPoint(10, 10), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(view->Input()->m_nMouseState, 2);
    EXPECT_TRUE(view->DragOverlay() == nullptr || !view->DragOverlay()->Shown());

    const CPoint offset = ViewportInWindow();
    for (const QPoint at : {QPoint(300, 320), QPoint(520, 140)}) {
        Send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        ASSERT_EQ(view->Input()->m_nMouseState, 5);
        const views::CDragOverlay* o = view->DragOverlay();
        EXPECT_EQ(o->parentWidget(), window.get()) << "drawn on the main window, over every pane";
        EXPECT_TRUE(o->Shown());
        EXPECT_EQ(o->Kind(), 1);
        EXPECT_EQ(o->Image().size(), QSize(stock.Width(), stock.Height()));
        // The picture point pressed stays under the pointer: the hotspot is the pressed point
        // of the piece.
        EXPECT_EQ(o->Hotspot(), CPoint(press.x() - stock.left, press.y() - stock.top));
        EXPECT_EQ(o->Pointer(), CPoint(at.x(), at.y()) + offset);
        EXPECT_EQ(o->TopLeft(), CPoint(at.x(), at.y()) + offset - o->Hotspot());
        EXPECT_EQ(view->m_dragImage.position, o->Pointer());
    }

    // On the window the piece's colour shows where the image is opaque; where the thumbnail has
    // the transparent colour, the view beneath shows through.
    const views::CDragOverlay* o = view->DragOverlay();
    const QImage shot = GrabWindow();
    const CPoint tl = o->TopLeft();
    const int w = o->Image().width(), h = o->Image().height();
    EXPECT_EQ(At(shot, tl.x + w - 3, tl.y + h - 3), 0x2020C0u);
    EXPECT_EQ(At(shot, tl.x + w / 2, tl.y + h / 2), 0x2020C0u);
    EXPECT_FALSE(o->Opaque(1, 1));
    EXPECT_TRUE(o->Opaque(w - 1, h - 1));
    EXPECT_NE(At(shot, tl.x + 1, tl.y + 1), views::kDragMaskColour);
    EXPECT_NE(At(shot, tl.x + 1, tl.y + 1), 0x2020C0u);

    // The overlay takes no mouse events: the view under it still gets them.
    const QPoint over = QPoint(tl.x + w / 2, tl.y + h / 2);
    EXPECT_NE(window->childAt(over), o);

    Send(QEvent::MouseButtonRelease, QPoint(520, 140), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(view->DragOverlay()->Shown());
}

TEST_F(OverlayFixture, FitPreviewShowsItsMiddleAtThePointerAndNothingWhenAllIsTransparent)
{
    QImage preview(128, 128, QImage::Format_RGB32);
    preview.fill(QColor(30, 160, 40));
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            if (std::abs(x - 64) + std::abs(y - 64) > 64)
                preview.setPixel(x, y, kKey);
    struct Case {
        const char* what;
        bool allKeyed;
        bool shown;
    } cases[] = {{"a diamond on a transparent ground", false, true},
                 {"nothing but the transparent colour", true, false}};
    const QImage beneath = GrabWindow();
    for (const Case& c : cases) {
        QImage image = preview;
        if (c.allKeyed)
            image.fill(kKey);
        view->m_dragImage = {};
        view->m_dragImage.kind = 2;
        view->m_dragImage.hotspot = {64, 64};
        view->m_dragImage.size = {128, 128};
        view->m_dragImage.preview = image;
        view->SyncDragOverlay(true);
        view->m_dragImage.visible = true;
        view->m_dragImage.position = {400, 300};
        view->SyncDragOverlay(false);
        const views::CDragOverlay* o = view->DragOverlay();
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->Shown(), c.shown) << c.what;
        EXPECT_EQ(o->Kind(), 2);
        EXPECT_EQ(o->TopLeft(), CPoint(336, 236)) << c.what;
        if (!c.shown)
            continue;
        const QImage shot = GrabWindow();
        EXPECT_EQ(At(shot, 400, 300), 0x28A01Eu) << "the middle of the preview under the pointer";
        EXPECT_EQ(At(shot, 336 + 2, 236 + 2), At(beneath, 336 + 2, 236 + 2)) << "corners keyed out";
    }
    view->m_dragImage = {};
    view->SyncDragOverlay(false);
    EXPECT_FALSE(view->DragOverlay()->Shown());
}

TEST_F(OverlayFixture, JobPanelButtonsAreFoundOnTheScreenByTheBreakTest)
{
    const MessageCatalogue& text = Catalogue();
    int guides = 0;
    SetGuideOpener([&](const std::string& stem) {
        EXPECT_EQ(stem, "Prdcts");
        ++guides;
        return 1;
    });
    doc->m_jobText = text.fittingAll;
    doc->m_jobGuide = "Prdcts";
    doc->RepaintWorkView();
    ASSERT_FALSE(doc->m_jobLinkRect.IsRectEmpty());
    ASSERT_FALSE(doc->m_jobBreakRect.IsRectEmpty());

    // The rectangles are screen rectangles of the buttons as drawn in the client area.
    auto toClient = [&](const CRect& r) {
        const QPoint p = view->viewport()->mapFromGlobal(QPoint(r.left, r.top));
        return CRect(CPoint(p.x(), p.y()), r.Size());
    };
    const CRect guide = toClient(doc->m_jobLinkRect), brk = toClient(doc->m_jobBreakRect);
    const CRect client = view->GetClientRect();
    const QImage shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const CRect& r : {guide, brk}) {
        EXPECT_TRUE(client.PtInRect(r.TopLeft()) && client.PtInRect(r.BottomRight() - CPoint(1, 1)));
        // Raised: light inner top-left edge, dark outer bottom-right edge.
        EXPECT_EQ(At(shot, r.left + 1, r.top + r.Height() / 2), 0xFFFFFFu);
        EXPECT_EQ(At(shot, r.right - 1, r.top + r.Height() / 2), 0x404040u);
        int ink = 0;
        for (int y = r.top + 3; y < r.bottom - 3; ++y)
            for (int x = r.left + 3; x < r.right - 3; ++x)
                ink += (At(shot, x, y) & 0xFF) < 0x60;
        EXPECT_GT(ink, 20) << "a label";
    }
    EXPECT_LT(guide.right, brk.left) << "Show Guide left of Break Process";
    // The job text is written above the buttons.
    int ink = 0;
    for (int y = guide.top - 30; y < guide.top - 4; ++y)
        for (int x = guide.left; x < brk.right; ++x)
            ink += (At(shot, x, y) & 0xFF) < 0x60;
    EXPECT_GT(ink, 50);

    // The pressed button is drawn sunken.
    doc->m_jobPress = 2;
    view->RepaintNow();
    const QImage pressed = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(At(pressed, brk.left, brk.top + brk.Height() / 2), 0x808080u);
    EXPECT_EQ(At(pressed, brk.right - 1, brk.top + brk.Height() / 2), 0xFFFFFFu);
    EXPECT_EQ(At(pressed, guide.left + 1, guide.top + guide.Height() / 2), 0xFFFFFFu) << "the other stays raised";
    doc->m_jobPress = 0;

    // A click on a button, as the job's break poll sees it: the guide opens and the job goes
    // on; Break Process asks whether to stop, and Yes stops the job.
    box.QueueAnswer(platform::IDYES);
    const struct {
        CRect button;
        int progress;
        int guides;
        size_t questions;
    } clicks[] = {{guide, 2, 1, 0}, {brk, kResultCancelled, 1, 1}};
    for (const auto& c : clicks) {
        const QPoint at(c.button.left + c.button.Width() / 2, c.button.top + c.button.Height() / 2);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(doc->m_pHost->OnProgress(1, 100), c.progress);
        EXPECT_EQ(guides, c.guides);
        ASSERT_EQ(box.Shown().size(), c.questions);
    }
    EXPECT_EQ(box.Shown().back(), text.terminateQuestion);

    // Elsewhere on the view the job goes on.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, client.bottom - 5));
    EXPECT_EQ(doc->m_pHost->OnProgress(1, 100), 2);
    EXPECT_EQ(box.Shown().size(), 1u);
    SetGuideOpener(nullptr);
}

// ---- Printing ----------------------------------------------------------------------------------

#include <QPageLayout>

#include "tests/support/run_program.h"

namespace {

struct WorkPrintFixture : OverlayFixture {
    void SetUp() override
    {
        OverlayFixture::SetUp();
        dir = fs::path(SMRA_TEST_TMPDIR) / ("workprint_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        pdf = (dir / "out.pdf").string();
        window->resize(640, 520);
        views::SetPrinterFactory([this] {
            return std::make_unique<views::CQtPrinter>([this](QPrinter& p, bool direct) {
                asked.push_back(direct);
                p.setOutputFormat(QPrinter::PdfFormat);
                p.setOutputFileName(QString::fromStdString(pdf));
                p.setPageSize(QPageSize(QPageSize::A4));
                p.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
                return accept;
            });
        });
    }
    void TearDown() override
    {
        views::SetPrinterFactory(nullptr);
        OverlayFixture::TearDown();
    }
    fs::path dir;
    std::string pdf;
    std::vector<bool> asked;
    bool accept = true;
};

bool HavePdfToPpm() { return testsupport::RunProgram("pdftoppm", "-v").exitCode == 0; }

} // namespace

TEST(WorkViewPrint, PrintedSizeIsTheScreenSizeMadeSmallerToFit)
{
    const struct {
        CSize client;
        int screen, dpiX, dpiY;
        CSize printable, expected;
    } cases[] = {
        {{400, 300}, 96, 600, 600, {4800, 6600}, {2500, 1875}},   // fits as it is
        {{800, 600}, 96, 600, 600, {4800, 6600}, {4800, 3600}},   // too wide
        {{300, 900}, 96, 600, 600, {4800, 3000}, {1000, 3000}},   // too tall
        {{400, 300}, 96, 600, 300, {4800, 6600}, {2500, 937}},    // unequal resolutions
        {{400, 300}, 96, 600, 600, {0, 0}, {2500, 1875}},         // no printable area known
        {{0, 300}, 96, 600, 600, {4800, 6600}, {0, 0}},           // nothing to print
        {{400, 300}, 0, 600, 600, {4800, 6600}, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSmView::PrintedSize(c.client, c.screen, c.dpiX, c.dpiY, c.printable), c.expected)
            << c.client.cx << "x" << c.client.cy << " on " << c.printable.cx << "x" << c.printable.cy;
}

TEST_F(WorkPrintFixture, PrintCommandsAskAsTheyShouldAndPrintTheViewAtItsScreenSize)
{
    AddPiece("/photos/red.jpg", 0x2020C0);
    // Print asks with the dialog, Print Direct does not; a cancelled dialog prints nothing.
    accept = false;
    EXPECT_TRUE(view->OnCommand(57607));
    EXPECT_FALSE(fs::exists(pdf));
    accept = true;
    EXPECT_EQ(view->OnFilePrint(false), 1);
    EXPECT_TRUE(view->OnCommand(57608));
    EXPECT_EQ(asked, (std::vector<bool>{false, false, true}));
    ASSERT_TRUE(fs::exists(pdf));
    if (!HavePdfToPpm())
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";

    // At the screen's resolution the page shows the client area pixel for pixel from its
    // top-left corner.
    const int dpi = view->logicalDpiX() > 0 ? view->logicalDpiX() : 96;
    const std::string prefix = (dir / "page").string();
    const auto run = testsupport::RunProgram(
        "pdftoppm", "-r " + std::to_string(dpi) + " -singlefile -png '" + pdf + "' '" + prefix + "'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const QImage page = QImage(QString::fromStdString(prefix + ".png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(page.isNull());
    const QImage shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_LE(shot.width(), page.width());
    double sum = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb a = shot.pixel(x, y), b = page.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
    EXPECT_LT(sum / (3.0 * shot.width() * shot.height()), 4.0);
    // The piece in the stock is where the view shows it, in its colour.
    const CRect piece = view->PieceStockRect(doc->m_pieceList.front());
    const QPoint mid(piece.left + piece.Width() * 3 / 4, piece.top + piece.Height() * 3 / 4);
    EXPECT_EQ(At(shot, mid.x(), mid.y()), 0x2020C0u);
    const QRgb printed = page.pixel(mid);
    EXPECT_NEAR(qRed(printed), 0xC0, 8);
    EXPECT_NEAR(qBlue(printed), 0x20, 8);
    // Below and right of it the paper stays white.
    EXPECT_EQ(page.pixel(shot.width() + 5, shot.height() / 2) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(page.pixel(shot.width() / 2, shot.height() + 5) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(WorkPrintFixture, PreviewShowsOnePage)
{
    int pages = -1;
    QTimer::singleShot(0, [&] {
        QPrintPreviewDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QPrintPreviewDialog*>(w); d && d->isVisible())
                dialog = d;
        if (!dialog)
            return;
        if (auto* preview = dialog->findChild<QPrintPreviewWidget*>())
            pages = preview->pageCount();
        dialog->reject();
    });
    EXPECT_TRUE(view->OnCommand(57609));
    EXPECT_EQ(pages, 1);
    EXPECT_TRUE(asked.empty()) << "the preview asks for no printer";
}

// ---- How it looks ------------------------------------------------------------------------------

#include <QPainter>

#include <cmath>

#include "geometry/sphere.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mcomp.h"
#include "platform/file_dialog.h"
#include "platform/status_bar.h"

namespace {

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

struct OverlaySceneFixture : OverlayFixture {
    void SetUp() override
    {
        OverlayFixture::SetUp();
        platform::SetFileDialog(&dialog);
        platform::SetStatusBar(&statusBar);
        ASSERT_TRUE(doc->FileNew());
        view->OnInitialUpdate();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::string(SMRA_TEST_TMPDIR) + "/" + info->test_suite_name() + "." + info->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        OverlayFixture::TearDown();
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
    void DrawUntilIdle()
    {
        for (int guard = 0; guard < 2000; ++guard) {
            view->OnUpdate(nullptr, HINT_IDLE, HintObject::None());
            if (view->m_nLoadState == 0 && doc->m_refreshFlags[2] == 0)
                return;
        }
        ADD_FAILURE() << "drawing did not come to an end";
    }
    // Two fitted photos side by side and a third, unfitted, in the stock, by known geometry.
    void OpenPictures()
    {
        paths = {Photo("left.png", QColor(40, 90, 200)), Photo("right.png", QColor(60, 170, 70)),
                 Photo("loose.png", QColor(200, 120, 40))};
        dialog.QueuePaths(paths);
        ASSERT_EQ(doc->ImportPhotos(), 1);
        const double f = 120.0 / std::tan(60.0 * EnginePi / 360.0);
        const double yaws[] = {-0.30, 0.30, 0.0};
        for (size_t i = 0; i < paths.size(); ++i) {
            CKpic* k = doc->FindPictureByName(paths[i]);
            ASSERT_NE(k, nullptr);
            k->m_Status = i < 2 ? 3 : 0;
            k->m_Focal = k->m_DefaultFocal = f;
            k->m_Direction = CDPoint(yaws[i], 0.0);
            k->m_Roll = 0.0;
        }
        CMcCore& core = doc->m_pComp->Core();
        core.SortPlacedFirst();
        core.m_CommonFocal = f;
        doc->ApplyProjection(22, 0);
        core.UpdateBoundingRect();
        doc->RefreshPieces();
        view->OnUpdate(nullptr, HINT_PIECES, HintObject::None());
        DrawUntilIdle();
    }
    // The window shrunk to a tenth against the reviewed reference of that name; with
    // SMRA_WRITE_REFERENCE set the reference and the full-size picture are written.
    void ExpectLooksLike(const QImage& grab, const std::string& name)
    {
        const QImage small = grab.scaled(grab.width() / 10, grab.height() / 10, Qt::IgnoreAspectRatio,
                                         Qt::SmoothTransformation);
        const QString reference = QString::fromStdString(std::string(SMRA_SOURCE_DIR) + "/tests/views/reference/" + name);
        if (qEnvironmentVariableIsSet("SMRA_WRITE_REFERENCE")) {
            small.save(reference);
            grab.save(QString::fromStdString(dir + "/" + name));
        }
        const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(expected.size(), small.size()) << "missing reference " << reference.toStdString();
        const auto [mean, most] = Difference(small, expected);
        EXPECT_LT(mean, 4.0) << name;
        EXPECT_LT(most, 64) << name;
    }

    platform::FakeFileDialog dialog;
    platform::RecordingStatusBar statusBar;
    std::string dir;
    std::vector<std::string> paths;
};

} // namespace

TEST_F(OverlaySceneFixture, DraggedPieceWithItsDropPattern)
{
    OpenPictures();
    const int loose = doc->FindEntryIndex(paths[2], 0);
    ASSERT_GE(loose, 0);
    // The loose photo has one point matched to the middle of the work space: the drop pattern
    // shows the overlap there while the piece is dragged.
    CKpic* k = doc->FindPictureByName(paths[2]);
    ASSERT_NE(k, nullptr);
    k->m_Points[0].kind = 1;
    k->m_Points[0].state = 1;
    k->m_Points[0].target = CDPoint(0.0, 0.0);
    std::vector<MarkPoint> marks;
    doc->m_pComp->GetPointMarks(paths[2], marks);
    ASSERT_EQ(marks.size(), 1u);
    const CPoint mark = view->WorkToView({marks[0].x, marks[0].y}) - view->GetScrollPosition();

    view->RepaintNow();
    const CRect stock = view->PieceStockRect(loose);
    ASSERT_FALSE(stock.IsRectEmpty());
    const QPoint press(stock.left + stock.Width() / 2, stock.top + stock.Height() / 2);
    // Dropped below the pictures, where nothing fitted lies: the piece's own image is dragged.
    const CPoint o = view->WorkToView({0, 0}) - view->GetScrollPosition();
    const QPoint to(o.x + 40, view->GetClientRect().bottom - 70);
    Send(QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, press + QPoint(30, 30), Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(view->Input()->m_nMouseState, 5);
    view->RepaintNow();
    const QImage shot = GrabWindow();
    ExpectLooksLike(shot, "drag_image_90x70.png");

    // The drop pattern around the mark: its dark red border laid over the white canvas (half
    // the canvas plus the border colour 0x001E80).
    const CPoint vp = ViewportInWindow();
    int border = 0;
    for (int y = mark.y - 80; y <= mark.y + 80; ++y)
        for (int x = mark.x - 80; x <= mark.x + 80; ++x)
            border += shot.valid(vp.x + x, vp.y + y) && At(shot, vp.x + x, vp.y + y) == 0x7F9DFF;
    EXPECT_GT(border, 200);
    // The dragged piece on the window, its pressed point under the pointer.
    const views::CDragOverlay* overlay = view->DragOverlay();
    ASSERT_NE(overlay, nullptr);
    ASSERT_TRUE(overlay->Shown());
    const CPoint pointer = CPoint(to.x(), to.y()) + vp;
    EXPECT_EQ(overlay->Pointer(), pointer);
    EXPECT_EQ(At(shot, pointer.x, pointer.y), 0x2878C8u);

    Send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

TEST_F(OverlaySceneFixture, JobPanelOverThePictures)
{
    OpenPictures();
    doc->m_jobText = Catalogue().fittingAll;
    doc->m_jobGuide = "Prdcts";
    doc->RepaintWorkView();
    const QImage shot = GrabWindow();
    ExpectLooksLike(shot, "job_panel_90x70.png");
    // The panel is white with its text; the buttons where the document looks for them.
    const QPoint b = window->mapFromGlobal(QPoint(doc->m_jobBreakRect.left, doc->m_jobBreakRect.top));
    const QPoint g = window->mapFromGlobal(QPoint(doc->m_jobLinkRect.left, doc->m_jobLinkRect.top));
    EXPECT_EQ(At(shot, b.x() + 1, b.y() + 5), 0xFFFFFFu);
    EXPECT_EQ(At(shot, b.x() + doc->m_jobBreakRect.Width() - 1, b.y() + 5), 0x404040u);
    EXPECT_EQ(At(shot, g.x() + 1, g.y() + 5), 0xFFFFFFu);
    EXPECT_EQ(At(shot, g.x() - 10, g.y() + 5), 0xFFFFFFu) << "the panel's white ground beside the buttons";
}

namespace {

// Bounding box of the pixels of one colour inside `within` (empty when there are none).
CRect BoxOf(const QImage& img, COLORREF colour, const CRect& within)
{
    CRect box;
    for (int y = std::max(0, within.top); y < std::min(img.height(), int(within.bottom)); ++y)
        for (int x = std::max(0, within.left); x < std::min(img.width(), int(within.right)); ++x)
            if (At(img, x, y) == colour) {
                if (box.IsRectNull())
                    box = CRect(x, y, x + 1, y + 1);
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}

// Dark pixels inside `r`, the lines through the work-space origin `o` left out.
int InkIn(const QImage& img, const CRect& r, CPoint o)
{
    int ink = 0;
    for (int y = std::max(0, r.top); y < std::min(img.height(), int(r.bottom)); ++y)
        for (int x = std::max(0, r.left); x < std::min(img.width(), int(r.right)); ++x)
            ink += x != o.x && y != o.y && (At(img, x, y) & 0xFF) < 0x60;
    return ink;
}

constexpr COLORREF kPanelGrey = 0x808080;

} // namespace

TEST_F(OverlaySceneFixture, PendingRenderTextInItsFrameAndStatusMessageInTheMiddle)
{
    auto grab = [&] {
        view->RepaintNow();
        return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    auto toClient = [&](const CRect& work) {
        CRect r = view->WorkRectToView(work);
        r.OffsetRect(-view->GetScrollPosition().x, -view->GetScrollPosition().y);
        return r;
    };
    auto centre = [](const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); };
    const CRect client = view->GetClientRect();
    const CPoint o = view->WorkToView({0, 0}) - view->GetScrollPosition();

    // A new project: the base-position text in a white panel inside the centre frame.
    ASSERT_EQ(doc->m_renderRequestName, Catalogue().basePositionLabel);
    const CRect frame = toClient(doc->m_renderRequest);
    ASSERT_EQ(frame.Width(), 240);
    QImage shot = grab();
    const CRect base = BoxOf(shot, kPanelGrey, client);
    ASSERT_FALSE(base.IsRectEmpty());
    EXPECT_TRUE(frame.PtInRect(base.TopLeft()) && frame.PtInRect(base.BottomRight() - CPoint(1, 1)))
        << "panel inside the frame";
    EXPECT_NEAR(centre(base).x, centre(frame).x, 1);
    EXPECT_NEAR(centre(base).y, centre(frame).y, 1);
    EXPECT_GT(base.Height(), 4 * 14) << "four lines";
    EXPECT_GT(InkIn(shot, base, o), 150) << "the text";
    EXPECT_EQ(At(shot, base.left + 3, base.top + 3), 0xFFFFFFu);

    // The request's rectangle elsewhere in the work space takes the panel with it; the status
    // message gets its own panel in the middle of the client area.
    doc->m_renderRequest = CRect(-400, -300, -160, -100);
    const CRect moved = toClient(doc->m_renderRequest);
    ASSERT_TRUE(client.PtInRect(moved.TopLeft()));
    doc->m_statusMessage = Catalogue().selectNextPicture;
    shot = grab();
    const CRect request = BoxOf(shot, kPanelGrey, moved);
    ASSERT_FALSE(request.IsRectEmpty());
    EXPECT_NEAR(centre(request).x, centre(moved).x, 1);
    EXPECT_NEAR(centre(request).y, centre(moved).y, 1);
    EXPECT_GT(InkIn(shot, request, o), 150);
    const CRect middle(0, moved.bottom + 2, client.right, client.bottom);  // below the request's panel
    const CRect status = BoxOf(shot, kPanelGrey, middle);
    ASSERT_FALSE(status.IsRectEmpty());
    EXPECT_NEAR(centre(status).x, client.Width() / 2, 1);
    EXPECT_NEAR(centre(status).y, client.Height() / 2, 1);
    EXPECT_GT(status.Width(), frame.Width()) << "as wide as the message's longest line";
    EXPECT_GT(status.Height(), 4 * 14) << "four lines";
    EXPECT_GT(InkIn(shot, status, o), 400);
    // The lines keep the panel's margin below the last one: the panel is as tall as the lines
    // are drawn (each with the font's line spacing), so the last line is not cut.
    constexpr int kPadding = 14;
    const CRect margin(status.left + 1, status.bottom - kPadding + 2, status.right - 1, status.bottom - 1);
    EXPECT_EQ(InkIn(shot, margin, o), 0) << "ink in the bottom margin";

    // A running job shows its panel and nothing else: the only panel frame on the view is the
    // job panel's, and the request's place is empty canvas again.
    doc->m_jobText = Catalogue().fittingAll;
    shot = grab();
    const QPoint g = view->viewport()->mapFromGlobal(QPoint(doc->m_jobLinkRect.left, doc->m_jobLinkRect.top));
    const CRect job = BoxOf(shot, kPanelGrey, client);
    EXPECT_TRUE(job.PtInRect({g.x(), g.y()})) << "the job panel holds its buttons";
    EXPECT_TRUE(BoxOf(shot, kPanelGrey, moved).IsRectEmpty());
    EXPECT_EQ(InkIn(shot, moved, o), 0);
    doc->m_jobText.clear();

    // With neither text there is no panel at all.
    doc->m_statusMessage.clear();
    doc->m_renderRequestName.clear();
    EXPECT_TRUE(BoxOf(grab(), kPanelGrey, client).IsRectEmpty());
}

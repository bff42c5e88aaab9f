// The image window: its arithmetic (cascade, load factor, sizes, turned points, zoom limits,
// scope) and the window itself on generated pictures: zoom and scroll without rebuilding,
// the full-resolution cut-out, drag-out, print and close, and files it cannot show.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "document/sm_doc.h"
#include "document/update_hint.h"
#include "imagefile/image_file.h"
#include "shell/present_image_dlg.h"
#include "shell/present_image_model.h"
#include "tests/platform_qt/qt_app.h"
#include "tests/support/refused_pictures.h"
#include "tests/shell/test_shell_support.h"

SMRA_QT_TEST_APP();

namespace fs = std::filesystem;

TEST(ImageWindowModel, CascadeOpensDownTheDesktopAndResetsWhenAWindowWouldLeaveIt)
{
    CImageWindowCascade c;
    const CRect desktop(0, 0, 1600, 1000);
    c.KeepInside(desktop);
    EXPECT_EQ(c.Advance(), CPoint(230, 70));
    EXPECT_EQ(c.PlaceFor(CSize(400, 300), desktop), CPoint(230, 70));
    EXPECT_EQ(c.Advance(), CPoint(260, 90));
    EXPECT_EQ(c.PlaceFor(CSize(1400, 300), desktop), CPoint(220, 110));
    EXPECT_EQ(c.Next(), CPoint(220, 110));
    // A position beyond a small desktop is pulled inside it at construction.
    CImageWindowCascade far;
    for (int i = 0; i < 40; ++i)
        far.Advance();
    far.KeepInside(CRect(0, 0, 800, 600));
    EXPECT_EQ(far.Next(), CPoint(750, 570));
}

TEST(ImageWindowModel, LoadFactorFollowsTheBitmapLimitAndTheEstimate)
{
    struct Case {
        CSize turned;
        int factor;
        const char* title;
    };
    const Case cases[] = {
        {{4000, 3000}, 1, " 100%"},    // 48 MB: made at full size
        {{8000, 6000}, 2, " 50%"},     // 192 MB: the estimate halves it once
        {{6000, 8000}, 2, " 50%"},
        {{4100, 4000}, 2, " 50%"},     // 65.6 MB, estimate 65600: just over
        {{20000, 15000}, 8, " 12%"},     // estimate 1200000 needs three halvings
        {{100000, 100000}, 32, " 3%"},
    };
    auto fits = [](CSize s) { return DisplayBitmapFits(s, 4); };
    for (const Case& c : cases) {
        const int f = ChooseLoadFactor(c.turned, 4, fits);
        EXPECT_EQ(f, c.factor) << c.turned.cx << "x" << c.turned.cy;
        EXPECT_EQ(GetZoomLabel(f), c.title) << c.turned.cx;
    }
    // Beyond a factor of 64 the choice fails; a bitmap refused after the estimate doubles once.
    EXPECT_EQ(ChooseLoadFactor(CSize(400000, 400000), 4, fits), -1);
    int asked = 0;
    EXPECT_EQ(ChooseLoadFactor(CSize(800, 600), 4, [&](CSize s) { ++asked; return s.cx <= 400; }), 2);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(ChooseLoadFactor(CSize(800, 600), 4, [](CSize) { return false; }), -1);
    EXPECT_EQ(ImageWindowTitle("/p/a.jpg", CSize(8000, 6000), 2), "/p/a.jpg  (8000 x 6000) 50%");
    EXPECT_EQ(GetZoomLabel(128), " ");
}

TEST(ImageWindowModel, TurnedPointsMapBackToTheStoredPicture)
{
    // A stored 4 x 3 picture: turns 1 and 3 show it 3 wide and 4 high.
    struct Case {
        int turn;
        CPoint shown;
        CPoint stored;
    };
    const Case cases[] = {
        {0, {1, 2}, {1, 2}}, {0, {3, 2}, {3, 2}},
        {1, {0, 0}, {0, 2}}, {1, {2, 3}, {3, 0}}, {1, {2, 0}, {0, 0}},
        {2, {0, 0}, {3, 2}}, {2, {3, 2}, {0, 0}}, {2, {1, 0}, {2, 2}},
        {3, {0, 0}, {3, 0}}, {3, {2, 3}, {0, 2}}, {3, {0, 3}, {0, 0}},
    };
    for (const Case& c : cases) {
        const CSize turned = (c.turn & 1) ? CSize(3, 4) : CSize(4, 3);
        EXPECT_EQ(TurnedPointToPicture(c.shown, turned, c.turn), c.stored) << "turn " << c.turn;
    }
}

TEST(ImageWindowModel, ZoomOutLimitsClientSizesAndScope)
{
    struct Zoom {
        int reduce;
        CSize load;
        bool can;
    };
    const Zoom zooms[] = {
        {1, {4000, 3000}, true}, {16, {4000, 3000}, true}, {32, {8000, 6000}, false},
        {1, {159, 159}, false},  {1, {160, 100}, true},    {1, {100, 160}, true},
        {2, {319, 319}, false},  {2, {320, 10}, true},
    };
    for (const Zoom& z : zooms)
        EXPECT_EQ(CanZoomOut(z.reduce, z.load), z.can) << z.reduce << " " << z.load.cx << "x" << z.load.cy;

    const CRect desktop(0, 0, 1500, 900);
    EXPECT_EQ(ImageWindowClientSize(CSize(4000, 3000), 30, 400, desktop), CSize(1000, 600));
    EXPECT_EQ(ImageWindowClientSize(CSize(50, 20), 30, 400, desktop), CSize(400, 160));
    EXPECT_EQ(ImageWindowClientSize(CSize(500, 300), 30, 400, desktop), CSize(500, 330));
    EXPECT_EQ(ImageWindowScrollRanges(CSize(500, 300), 30, CSize(500, 330)), CSize(1, 1));
    EXPECT_EQ(ImageWindowScrollRanges(CSize(4000, 3000), 30, CSize(1000, 600)), CSize(3000, 2430));

    // Full-resolution scope: the desktop size, at least 640 x 480, at most half the client
    // at full resolution.
    EXPECT_EQ(ScopeFullSize(CSize(1500, 900), CSize(1000, 600), 1, 2), CSize(1000, 600));
    EXPECT_EQ(ScopeFullSize(CSize(1500, 900), CSize(1000, 600), 1, 4), CSize(1500, 900));
    EXPECT_EQ(ScopeFullSize(CSize(1500, 900), CSize(400, 300), 1, 2), CSize(640, 480));
    EXPECT_EQ(ScopeFullSize(CSize(500, 400), CSize(1000, 600), 1, 8), CSize(640, 480));

    EXPECT_EQ(ImageWindowPictureOrigin(CSize(600, 400), CSize(400, 300), 30), CPoint(100, 80));
    EXPECT_EQ(ImageWindowPictureOrigin(CSize(600, 400), CSize(4000, 3000), 30), CPoint(0, 30));
}

namespace {

// A view that keeps the hints with their path.
class PathView : public IDocumentView {
public:
    std::vector<std::pair<int, std::string>> hints;
    const char* GetRuntimeClassName() const override { return "CPathView"; }
    void OnUpdate(IDocumentView*, int hint, const HintObject& o) override
    {
        hints.emplace_back(hint, o.path ? *o.path : std::string());
    }
};

// A BMP whose pixel (x, y) is a function of x and y.
std::string WriteBmp(const std::string& path, int w, int h)
{
    CPixelArray strip;
    strip.SetSize(int64_t(w) * kStripRows);
    EXPECT_EQ(SaveImageBegin(path, w, h, 72, std::string(), 10), 1);
    for (int n : GetSaveStripOrder(path, h)) {
        for (int y = 0; y < kStripRows; ++y)
            for (int x = 0; x < w; ++x)
                strip[int64_t(y) * w + x] = RGB(x % 251, (n * kStripRows + y) % 241, (x + y) % 7 * 30);
        EXPECT_EQ(SaveImagePut(path, strip, n), 1);
    }
    EXPECT_EQ(SaveImageEnd(path, 1), 1);
    return path;
}

class ImageWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::path(SMRA_TEST_TMPDIR) / (std::string("imgwin_") +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "tmp");
        const char* old = std::getenv("TMP");
        m_oldTmp = old ? old : "";
        m_hadTmp = old != nullptr;
        setenv("TMP", (m_dir / "tmp").c_str(), 1);
        CImageWindowCascade::Shared().Reset();
        m_doc = std::make_unique<CSmDoc>();
        m_doc->AddView(&m_view);
        SetPictureWindowFactory([this](IFrameWindow*) -> std::unique_ptr<IPictureWindow> {
            return std::make_unique<CPresentImageHolder>(m_doc.get(), [] { return CRect(0, 0, 1600, 1000); });
        });
    }
    void TearDown() override
    {
        m_doc->RemoveView(&m_view);
        m_doc.reset();
        SetPictureWindowFactory({});
        SetDisplayBitmapLimit(0);
        if (m_hadTmp)
            setenv("TMP", m_oldTmp.c_str(), 1);
        else
            unsetenv("TMP");
    }
    CPresentImageDlg* Open(const std::string& path, int w = 0, int h = 0, int turn = 0)
    {
        if (m_doc->OpenPictureWindow(nullptr, path, w, h, turn) != 1)
            return nullptr;
        auto* holder = static_cast<CPresentImageHolder*>(m_doc->FindPictureWindow(path));
        return holder ? holder->Window() : nullptr;
    }
    void Paint(CPresentImageDlg* w)
    {
        w->repaint();
        QApplication::processEvents();
    }
    size_t TempFiles() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir / "tmp"), fs::directory_iterator()));
    }

    shelltest::ScriptedServices m_services;
    fs::path m_dir;
    std::string m_oldTmp;
    bool m_hadTmp = false;
    std::unique_ptr<CSmDoc> m_doc;
    PathView m_view;
};

} // namespace

TEST_F(ImageWindowTest, OpensInCascadeTitledWithStoredSizeAndTurnedDisplay)
{
    const std::string a = WriteBmp((m_dir / "a.bmp").string(), 300, 200);
    const std::string b = WriteBmp((m_dir / "b.bmp").string(), 300, 200);
    CPresentImageDlg* wa = Open(a);
    ASSERT_NE(wa, nullptr);
    EXPECT_EQ(wa->pos(), QPoint(230, 70));
    EXPECT_EQ(wa->windowTitle().toStdString(), a + "  (300 x 200) 100%");
    EXPECT_EQ(wa->m_buildCount, 1);
    // Turned a quarter: the document turns only its own pictures, so the window is asked directly.
    auto turned = std::make_unique<CPresentImageDlg>(m_doc.get(), [] { return CRect(0, 0, 1600, 1000); });
    CPresentImageDlg* wb = turned.get();
    ASSERT_EQ(wb->ShowPicture(b, 300, 200, 1), 1);
    EXPECT_EQ(wb->pos(), QPoint(260, 90));
    Paint(wb);
    EXPECT_EQ(wb->m_displaySize, CSize(200, 300));
    EXPECT_EQ(wb->windowTitle().toStdString(), b + "  (300 x 200) 100%");
    // The shown turned bitmap: the stored top-left corner is at the top right after a quarter turn.
    ASSERT_NE(wb->Bitmap(), nullptr);
    EXPECT_EQ(wb->Bitmap()->Width(), 200);
    // The shown top-left is the stored bottom-left after a quarter turn clockwise.
    const CPoint o = ImageWindowPictureOrigin(CSize(wb->width(), wb->height()), wb->m_displaySize, wb->BarHeight());
    EXPECT_EQ(wb->PicturePointAt(o), CPoint(0, 199));
    // A picture too large for the space left opens at the reset position.
    CImageWindowCascade::Shared().Reset();
    for (int i = 0; i < 20; ++i)
        CImageWindowCascade::Shared().Advance();
    const std::string c = WriteBmp((m_dir / "c.bmp").string(), 900, 600);
    CPresentImageDlg* wc = Open(c);
    ASSERT_NE(wc, nullptr);
    EXPECT_EQ(wc->pos(), QPoint(220, 110));
    // No name, or a file of no picture kind: no window.
    EXPECT_EQ(m_doc->OpenPictureWindow(nullptr, "", 0, 0, 0), -1);
    std::ofstream((m_dir / "x.txt").string()) << "text";
    EXPECT_EQ(m_doc->OpenPictureWindow(nullptr, (m_dir / "x.txt").string(), 0, 0, 0), -1);
    EXPECT_EQ(m_doc->m_pictureWindows.size(), 2u);
}

TEST_F(ImageWindowTest, ZoomAndScrollNeverRebuildTheBitmap)
{
    const std::string a = WriteBmp((m_dir / "big.bmp").string(), 2400, 1600);
    CPresentImageDlg* w = Open(a);
    ASSERT_NE(w, nullptr);
    Paint(w);
    ASSERT_EQ(w->m_buildCount, 1);
    w->SetScroll(CPoint(500, 400));
    EXPECT_EQ(w->m_scroll, CPoint(500, 400));
    Paint(w);
    std::vector<int> reduces;
    for (int i = 0; i < 8; ++i) {
        w->OnZoomOut();
        reduces.push_back(w->m_reduce);
    }
    // 2400 x 1600 stops once both halves would fall below 80 pixels: 2400 / 32 = 75, 1600 / 32 = 50.
    EXPECT_EQ(reduces, (std::vector<int>{2, 4, 8, 16, 16, 16, 16, 16}));
    EXPECT_EQ(w->windowTitle().toStdString(), a + "  (2400 x 1600) 6%");
    w->OnZoomIn();
    w->OnZoomIn();
    EXPECT_EQ(w->m_reduce, 4);
    w->OnGrid();
    Paint(w);
    EXPECT_EQ(w->m_showGrid, 1);
    EXPECT_EQ(w->m_buildCount, 1);
    // At full size with load factor 1 Zoom In does nothing more.
    w->OnZoomIn();
    w->OnZoomIn();
    w->OnZoomIn();
    EXPECT_EQ(w->m_reduce, 1);
    EXPECT_EQ(w->m_scopeState, 0);
    EXPECT_EQ(w->m_buildCount, 1);
}

TEST_F(ImageWindowTest, CutOutIsTheFullResolutionRegionAndGoesAway)
{
    // Held at half resolution: the limit lets 400 x 300 through, not 800 x 600.
    SetDisplayBitmapLimit(400 * 300 * 4);
    const std::string a = WriteBmp((m_dir / "photo.bmp").string(), 800, 600);
    CPresentImageDlg* w = Open(a);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->m_loadFactor, 2);
    EXPECT_EQ(w->windowTitle().toStdString(), a + "  (800 x 600) 50%");
    Paint(w);
    w->OnZoomIn();  // shows the scope
    ASSERT_EQ(w->m_scopeState, 3);
    EXPECT_EQ(w->m_scopeRect.Size(), CSize(320, 240));  // 640 x 480 at full resolution
    Paint(w);
    w->OnZoomIn();  // wholly in view: cut out
    ASSERT_FALSE(w->m_cutOutPath.empty());
    const std::string cut = w->m_cutOutPath;
    EXPECT_EQ(fs::path(cut).parent_path(), m_dir / "tmp");
    EXPECT_EQ(fs::path(cut).filename().string().rfind("$PHOTO", 0), 0u) << cut;
    EXPECT_EQ(fs::path(cut).extension(), ".bmp");
    ASSERT_NE(m_doc->FindPictureWindow(cut), nullptr);

    // Equal to the region read at full resolution, at 288 dpi.
    const CRect region(w->m_scopeRect.left * 2, w->m_scopeRect.top * 2, w->m_scopeRect.right * 2,
                       w->m_scopeRect.bottom * 2);
    CPixelArray expected, got;
    CSize full(800, 600), cutSize(640, 480);
    ASSERT_GT(LoadImageFile(a, expected, full, region), 0);
    ASSERT_GT(LoadImageFile(cut, got, cutSize, CRect()), 0);
    EXPECT_EQ(cutSize, CSize(640, 480));
    EXPECT_TRUE(got == expected);
    std::ifstream f(cut, std::ios::binary);
    char header[54] = {};
    f.read(header, sizeof header);
    int32_t ppm = 0;
    std::memcpy(&ppm, header + 38, 4);
    EXPECT_NEAR(ppm, 288 / 0.0254, 1.0);

    // Zoom Out drops the scope and the file.
    w->OnZoomOut();
    EXPECT_EQ(w->m_scopeState, 0);
    EXPECT_FALSE(fs::exists(cut));
    // A second cut-out, then closing every window leaves the temporary folder empty.
    w->OnZoomIn();
    w->OnZoomIn();
    w->OnZoomIn();
    EXPECT_FALSE(w->m_cutOutPath.empty());
    EXPECT_EQ(TempFiles(), 1u);
    m_doc->ClosePictureWindows(a);
    while (!m_doc->m_pictureWindows.empty())
        m_doc->ClosePictureWindows(m_doc->m_pictureWindows.front()->GetPath());
    EXPECT_EQ(TempFiles(), 0u);
}

TEST_F(ImageWindowTest, ACutOutTheProjectUsesIsKept)
{
    SetDisplayBitmapLimit(400 * 300 * 4);
    const std::string a = WriteBmp((m_dir / "keep.bmp").string(), 800, 600);
    CPresentImageDlg* w = Open(a);
    ASSERT_NE(w, nullptr);
    w->OnZoomIn();
    w->OnZoomIn();
    const std::string cut = w->m_cutOutPath;
    ASSERT_FALSE(cut.empty());
    ASSERT_GE(m_doc->RegisterPicture(cut, 0), 0);
    m_doc->ClosePictureWindows(a);
    EXPECT_TRUE(fs::exists(cut));
}

TEST_F(ImageWindowTest, DragOutPrintAndClose)
{
    const std::string a = WriteBmp((m_dir / "d.bmp").string(), 300, 200);
    CPresentImageDlg* w = Open(a);
    ASSERT_NE(w, nullptr);
    Paint(w);
    const CPoint origin = ImageWindowPictureOrigin(CSize(w->width(), w->height()), w->m_displaySize, w->BarHeight());
    const QPoint at(origin.x + 40, origin.y + 25);
    QTest::mousePress(w, Qt::LeftButton, {}, at);
    EXPECT_EQ(w->m_dragState, 2);
    EXPECT_EQ(m_doc->m_thumbDragState, 5);
    EXPECT_EQ(m_doc->m_droppedNames, a);
    EXPECT_EQ(m_doc->m_dropAnchor, CPoint(40, 25));
    QTest::mouseRelease(w, Qt::LeftButton, {}, at);
    EXPECT_EQ(w->m_dragState, 0);
    EXPECT_TRUE(m_doc->m_droppedNames.empty());

    w->findChild<QPushButton*>(QStringLiteral("Print"))->click();
    ASSERT_FALSE(m_view.hints.empty());
    EXPECT_EQ(m_view.hints.back(), std::make_pair(int(HINT_PRINT_PICTURE), a));
    EXPECT_EQ(m_doc->m_pPrintBitmap, w->Bitmap());

    // Close from its own button: still listed while the handler runs, gone afterwards.
    w->findChild<QPushButton*>(QStringLiteral("Close"))->click();
    EXPECT_EQ(m_doc->m_pictureWindows.size(), 1u);
    QApplication::processEvents();
    EXPECT_TRUE(m_doc->m_pictureWindows.empty());
    // Escape does the same.
    w = Open(a);
    ASSERT_NE(w, nullptr);
    QTest::keyClick(w, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(m_doc->m_pictureWindows.empty());
}

TEST_F(ImageWindowTest, ARefusedFileIsNamedWithTheReasonAndTheWindowStaysUsable)
{
    fs::create_directories(m_dir / "refused");
    const std::string good = WriteBmp((m_dir / "good.bmp").string(), 300, 200);
    for (const testsupport::RefusedPicture& f : testsupport::MakeRefusedPictures((m_dir / "refused").string())) {
        SCOPED_TRACE(f.path);
        const std::string said =
            f.path + "\nCurrent file format is not supported." + (f.reason.empty() ? "" : " (" + f.reason + ")");
        // Its size unknown (from the finder), and known (a piece of the project).
        for (const CSize size : {CSize(), CSize(640, 480)}) {
            CPresentImageDlg* w = Open(f.path, size.cx, size.cy);
            ASSERT_NE(w, nullptr) << "the window opens to say why";
            Paint(w);
            EXPECT_EQ(w->Refusal(), said);
            EXPECT_EQ(w->m_buildCount, 0);
            EXPECT_EQ(w->Bitmap(), nullptr);
            // The text is drawn below the bar.
            const QImage face = w->grab().toImage();
            bool ink = false;
            for (int y = w->BarHeight() + 1; y < face.height() && !ink; ++y)
                for (int x = 1; x < face.width() - 1 && !ink; ++x)
                    ink = qGray(face.pixel(x, y)) < 128;
            EXPECT_TRUE(ink);
            EXPECT_EQ(w->windowTitle().toStdString().rfind(f.path, 0), 0u);
            // Nothing to drag out into the work space.
            QTest::mousePress(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
            QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
            EXPECT_TRUE(m_doc->m_droppedNames.empty());
            // Its buttons do nothing harmful, painting reads nothing again, and it closes.
            for (const char* button : {"Zoom In", "Zoom Out", "Grid", "Print"})
                w->findChild<QPushButton*>(QString::fromUtf8(button))->click();
            Paint(w);
            EXPECT_EQ(w->Refusal(), said);
            EXPECT_EQ(m_doc->m_pPrintBitmap, nullptr);
            w->findChild<QPushButton*>(QStringLiteral("Close"))->click();
            QApplication::processEvents();
            EXPECT_TRUE(m_doc->m_pictureWindows.empty());
        }
    }
    // The next picture shows as usual.
    CPresentImageDlg* w = Open(good);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->Refusal().empty());
    EXPECT_EQ(w->m_buildCount, 1);
}

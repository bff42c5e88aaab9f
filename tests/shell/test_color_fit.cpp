// The colour fit manager: its arithmetic as tables (zoom, chart, sliders, sampling, markers,
// targets), and the dialog on a real document with generated pictures: opening and hiding,
// drops, the reference as the project shows it, applying to one picture or the selection,
// sliders, the chart and the check picture as painted, and image windows that follow.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "document/sm_doc.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_ops.h"
#include "picset/kpic.h"
#include "platform/clock.h"
#include "shell/color_fit_dlg.h"
#include "shell/color_fit_model.h"
#include "shell/present_image_dlg.h"
#include "tests/platform_qt/qt_app.h"
#include "tests/shell/test_shell_support.h"

SMRA_QT_TEST_APP();

namespace fs = std::filesystem;

// ---- Arithmetic -------------------------------------------------------------------------------

TEST(ColorFitModel, ZoomStepsRunThroughReductionAndMagnificationAndStopAtTheEnds)
{
    int reduce = 4, magnify = 1;
    std::vector<std::pair<int, int>> in;
    for (int i = 0; i < 6; ++i) {
        ColorFitZoomIn(reduce, magnify);
        in.emplace_back(reduce, magnify);
    }
    EXPECT_EQ(in, (std::vector<std::pair<int, int>>{{2, 1}, {1, 1}, {1, 2}, {1, 4}, {1, 8}, {1, 8}}));
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < 11; ++i) {
        ColorFitZoomOut(reduce, magnify);
        out.emplace_back(reduce, magnify);
    }
    EXPECT_EQ(out, (std::vector<std::pair<int, int>>{{1, 4}, {1, 2}, {1, 1}, {2, 1}, {4, 1}, {8, 1}, {16, 1},
                                                     {32, 1}, {64, 1}, {128, 1}, {128, 1}}));
    // The first fit: the picture's width over the area's, 1 to 128.
    EXPECT_EQ(ColorFitFitReduce(6000, 180), 33);
    EXPECT_EQ(ColorFitFitReduce(100, 180), 1);
    EXPECT_EQ(ColorFitFitReduce(100000, 180), 128);
}

TEST(ColorFitModel, MarkersMapToPicturePointsAndPanningStaysInside)
{
    struct Case {
        CPoint marker;
        int reduce, magnify;
        CPoint picture;
    };
    const CPoint area(100, 114), centre(3000, 2000);
    const Case cases[] = {
        {{100, 114}, 33, 1, {3000, 2000}},
        {{110, 104}, 33, 1, {3330, 1670}},
        {{110, 104}, 1, 1, {3010, 1990}},
        {{110, 104}, 1, 4, {3002, 1998}},
        {{97, 117}, 1, 2, {2999, 2001}},  // -3 / 2 truncates toward zero
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColorFitMarkerToPicture(c.marker, area, c.reduce, c.magnify, centre), c.picture)
            << c.marker.x << "," << c.marker.y << " r" << c.reduce << " m" << c.magnify;

    const CSize picture(6000, 4000);
    EXPECT_EQ(ColorFitPanCentre(centre, {50, 50}, {40, 60}, 4, 1, picture), CPoint(3040, 1960));
    EXPECT_EQ(ColorFitPanCentre(centre, {50, 50}, {40, 60}, 1, 2, picture), CPoint(3005, 1995));
    EXPECT_EQ(ColorFitPanCentre(centre, {0, 0}, {-5000, 5000}, 1, 1, picture), CPoint(5999, 0));
}

TEST(ColorFitModel, ChartCellsWrapAndCarryTheirStepOffsets)
{
    // "+" takes fewer cells, "-" more, both wrapping.
    EXPECT_EQ(ColorFitFewerCells(5), 3);
    EXPECT_EQ(ColorFitFewerCells(3), 7);
    EXPECT_EQ(ColorFitFewerCells(7), 5);
    EXPECT_EQ(ColorFitMoreCells(5), 7);
    EXPECT_EQ(ColorFitMoreCells(7), 3);
    EXPECT_EQ(ColorFitMoreCells(3), 5);

    struct Case {
        int n;
        int reduce;
        std::vector<int> steps;
    };
    const Case cases[] = {
        {3, 1, {-14, 0, 14}},
        {5, 2, {-14, -6, 0, 6, 14}},
        {7, 4, {-14, -6, -2, 0, 2, 6, 14}},
    };
    const CRect exposure(580, 6, 910, 130), balance(580, 136, 910, 470);
    const CRect sliderB(604, 100, 886, 124), sliderC(880, 168, 904, 418), sliderM(604, 440, 870, 464);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(ColorFitChartReduce(c.n), c.reduce);
        const int half = c.n / 2;
        for (int i = -half; i <= half; ++i)
            EXPECT_EQ(ColorFitChartStep(c.n, i), c.steps[size_t(i + half)]);
        const CSize picture(180 / c.reduce, 180 / c.reduce);
        const CChartLayout chart = LayoutColorFitChart(c.n, exposure, balance, 14, sliderB, sliderC, sliderM, picture);
        ASSERT_EQ(chart.cells.size(), size_t(c.n * (c.n + 1)));
        // The exposure row: brightness steps of twice the table, left to right, on one line.
        for (int i = 0; i < c.n; ++i) {
            const CChartCell& cell = chart.cells[size_t(i)];
            EXPECT_EQ(cell.dY, 2 * c.steps[size_t(i)]);
            EXPECT_EQ(cell.dCr, 0);
            EXPECT_EQ(cell.dCb, 0);
            EXPECT_EQ(cell.rect.top, chart.cells[0].rect.top);
            EXPECT_GE(cell.rect.top, exposure.top + 14);
            EXPECT_LE(cell.rect.bottom, sliderB.top);
            if (i > 0) {
                EXPECT_GT(cell.rect.left, chart.cells[size_t(i - 1)].rect.right);
            }
        }
        // The grid: M+ to the right, C+ at the top; the middle cell is the unchanged one.
        for (int j = 0; j < c.n; ++j)
            for (int i = 0; i < c.n; ++i) {
                const CChartCell& cell = chart.cells[size_t(c.n + j * c.n + i)];
                EXPECT_EQ(cell.dY, 0);
                EXPECT_EQ(cell.dCr, c.steps[size_t(i)]);
                EXPECT_EQ(cell.dCb, c.steps[size_t(c.n - 1 - j)]);
                EXPECT_LE(cell.rect.Width(), picture.cx);
                EXPECT_LE(cell.rect.Height(), picture.cy);
                EXPECT_LE(cell.rect.right, sliderC.left);
                EXPECT_LE(cell.rect.bottom, sliderM.top);
                EXPECT_GE(cell.rect.left, balance.left);
            }
        const CChartCell& middle = chart.cells[size_t(c.n + half * c.n + half)];
        EXPECT_TRUE(middle.IsZero());
        EXPECT_EQ(chart.CellAt(middle.rect.CenterPoint()), c.n + half * c.n + half);
        EXPECT_EQ(chart.CellAt(CPoint(exposure.left + 1, exposure.top + 1)), -2);
    }
}

TEST(ColorFitModel, SlidersAndModelMeetInTheirOwnUnits)
{
    struct Case {
        double dY, dCr, dCb;
        int width;
        CColorFitSliders sliders;
    };
    const Case cases[] = {
        {37.9, 0, 0, 4, {18, 0, 0, 4}},
        {-37.9, 12.7, -9.9, 1, {-18, 12, 9, 1}},
        {500, -150, 150, 9, {100, -100, -100, 7}},
        {-201, 100.9, -100.5, 0, {-100, 100, 100, 1}},
        {1, 0, 20, 4, {0, 0, -20, 4}},
    };
    for (const Case& c : cases) {
        CColorModel m;
        m.dY = c.dY;
        m.dCr = c.dCr;
        m.dCb = c.dCb;
        m.width = c.width;
        EXPECT_EQ(ColorFitSlidersFromModel(m), c.sliders) << c.dY << " " << c.dCr << " " << c.dCb;
    }
    // Positions back into the model: B in steps of 2, C upwards is a positive dCb.
    CColorModel m;
    ColorFitModelFromSliderB(m, -100);
    ColorFitModelFromSliderC(m, 30);
    ColorFitModelFromSliderM(m, -7);
    ColorFitModelFromRangeSlider(m, 6);
    EXPECT_EQ(m.dY, -200.0);
    EXPECT_EQ(m.dCb, -30.0);
    EXPECT_EQ(m.dCr, -7.0);
    EXPECT_EQ(m.width, 6);
    EXPECT_EQ(ColorFitSlidersFromModel(m), (CColorFitSliders{-100, -7, 30, 6}));

    // The scale: 21 lines across the lower part of a 200 x 20 slider, the first and last at
    // the ends of the handle's travel.
    const CSliderScale h = ColorFitSliderScale(200, 20, true);
    ASSERT_EQ(h.along.size(), 21u);
    EXPECT_EQ(h.along.front(), 11);
    EXPECT_EQ(h.along[10], 101);
    EXPECT_EQ(h.along.back(), 191);
    EXPECT_EQ(h.acrossFrom, 14);
    EXPECT_EQ(h.acrossTo, 19);
    EXPECT_EQ(ColorFitSliderScale(200, 20, false).along.front(), 10);
}

TEST(ColorFitModel, SampleSizesMarkerColoursAndTargets)
{
    std::vector<int> sizes;
    int s = 1;
    for (int i = 0; i < 6; ++i)
        sizes.push_back(s = ColorFitNextSampleSize(s));
    EXPECT_EQ(sizes, (std::vector<int>{3, 5, 7, 9, 1, 3}));
    EXPECT_EQ(ColorFitSampleSizeText(3), "3X3");
    EXPECT_EQ(ColorFitSampleSizeText(9), "9X9");

    std::vector<COLORREF> cycle;
    COLORREF c = 0x82B4FF;
    for (int i = 0; i < 6; ++i)
        cycle.push_back(c = ColorFitNextMarkerColour(c));
    EXPECT_EQ(cycle, (std::vector<COLORREF>{0x82B4FE, 0xFFFFFF, 0xFFFFFE, 0x787829, 0x787828, 0x82B4FF}));
    EXPECT_EQ(ColorFitNextMarkerColour(0x123456), 0x82B4FFu);

    struct Case {
        int brightness, colour;
        CColorFitTargetBoxes boxes;
    };
    const Case cases[] = {
        {0, 0, {1, 0, 0, 0, 0, 0}},
        {1, 0, {0, 1, 0, 0, 0, 2}},
        {2, 1, {0, 0, 1, 1, 0, 3}},
        {0, 2, {0, 0, 0, 0, 1, 1}},
        {3, 3, {0, 2, 2, 2, 2, 3}},
    };
    for (const Case& t : cases)
        EXPECT_EQ(ColorFitTargetBoxes(t.brightness, t.colour), t.boxes) << t.brightness << " " << t.colour;
    EXPECT_EQ(ColorFitToggleTarget(0, 1), 1);
    EXPECT_EQ(ColorFitToggleTarget(1, 1), 0);
    EXPECT_EQ(ColorFitToggleTarget(1, 2), 2);
    EXPECT_EQ(ColorFitToggleTarget(3, 2), 2);

    EXPECT_EQ(ColorFitOriginalCaption(""), "  Original Image");
    EXPECT_EQ(ColorFitOriginalCaption("/p/sea.jpg"), "SEA.JPG - as Original Image");
    EXPECT_EQ(ColorFitReferenceCaption(""), "  Reference Image");
    EXPECT_EQ(ColorFitReferenceCaption("/p/sky.jpg"), "SKY.JPG - as Reference Image");
}

TEST(ColorFitModel, SamplingAtAnEdgeCountsOnlyPixelsOfThePicture)
{
    // 10 x 4: black left half, white right half. A square at the left edge must not take
    // pixels from the end of the row above, nor a square at the top from outside the array.
    const CSize size(10, 4);
    CPixelArray px;
    px.SetSize(40);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x)
            px[y * 10 + x] = x < 5 ? RGB(0, 0, 0) : RGB(255, 255, 255);
    struct Case {
        CPoint at;
        int radius;
        COLORREF expected;
    };
    const Case cases[] = {
        {{0, 1}, 1, RGB(0, 0, 0)},
        {{0, 0}, 4, RGB(0, 0, 0)},
        {{9, 2}, 1, RGB(255, 255, 255)},
        {{9, 3}, 4, RGB(255, 255, 255)},
        {{4, 1}, 1, RGB(85, 85, 85)},  // one of three columns white
        {{5, 0}, 0, RGB(255, 255, 255)},
    };
    for (const Case& c : cases) {
        COLORREF got = 0x123456;
        ASSERT_TRUE(ColorFitSampleAverage(px, size, c.at, c.radius, got)) << c.at.x << "," << c.at.y;
        EXPECT_EQ(got, c.expected) << c.at.x << "," << c.at.y << " r" << c.radius;
    }
    COLORREF kept = 0x123456;
    EXPECT_FALSE(ColorFitSampleAverage(px, size, CPoint(10, 0), 1, kept));
    EXPECT_FALSE(ColorFitSampleAverage(px, size, CPoint(-1, 0), 1, kept));
    EXPECT_FALSE(ColorFitSampleAverage(px, CSize(10, 5), CPoint(0, 0), 1, kept)) << "array too short";
    EXPECT_EQ(kept, 0x123456u);
}

// ---- The dialog ---------------------------------------------------------------------------------

namespace {

// A BMP whose pixels come from a function of x and y.
std::string WriteBmp(const std::string& path, int w, int h, const std::function<COLORREF(int, int)>& f)
{
    const std::vector<int> order = GetSaveStripOrder(path, h);
    const int rows = (h + static_cast<int>(order.size()) - 1) / static_cast<int>(order.size());
    CPixelArray strip;
    strip.SetSize(int64_t(w) * rows);
    EXPECT_EQ(SaveImageBegin(path, w, h, 72, std::string(), 10), 1);
    for (int n : order) {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < w; ++x)
                strip[int64_t(y) * w + x] = (n * rows + y) < h ? f(x, n * rows + y) : 0;
        EXPECT_EQ(SaveImagePut(path, strip, n), 1);
    }
    EXPECT_EQ(SaveImageEnd(path, 1), 1);
    return path;
}

COLORREF Pattern(int x, int y) { return RGB(40 + x % 160, 60 + y % 140, 90 + (x + y) % 100); }

COLORREF CanvasAt(const QImage& img, int x, int y)
{
    const QRgb c = img.pixel(x, y);
    return RGB(qRed(c), qGreen(c), qBlue(c));
}

class ColorFitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::path(SMRA_TEST_TMPDIR) /
                (std::string("colorfit_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        platform::SetClock(&m_clock);
        m_doc = std::make_unique<CSmDoc>();
        m_doc->CreateToolDialogs({}, [this] { return std::make_unique<CColorFitHolder>(m_doc.get(), nullptr); });
        SetPictureWindowFactory([this](IFrameWindow*) -> std::unique_ptr<IPictureWindow> {
            return std::make_unique<CPresentImageHolder>(m_doc.get(), [] { return CRect(0, 0, 1600, 1000); });
        });
    }
    void TearDown() override
    {
        m_doc.reset();
        SetPictureWindowFactory({});
        platform::SetClock(nullptr);
    }
    CColorFitHolder* Holder() const { return static_cast<CColorFitHolder*>(m_doc->m_pColorFitDlg.get()); }
    CColorFitDlg* Dlg() const { return Holder()->Window(); }
    std::string Picture(const std::string& name, int w = 360, int h = 240,
                        const std::function<COLORREF(int, int)>& f = Pattern)
    {
        return WriteBmp((m_dir / name).string(), w, h, f);
    }
    // Enters pictures as pieces through Import Photos.
    void Import(const std::vector<std::string>& paths)
    {
        m_services.dialog.QueuePaths(paths);
        ASSERT_EQ(m_doc->ImportPhotos(), 1);
        for (const std::string& p : paths)
            ASSERT_GE(m_doc->FindEntryIndex(p), 0) << p;
    }
    CPictureEntry& Entry(const std::string& name) { return m_doc->m_entries[size_t(m_doc->FindEntryIndex(name))]; }
    CPoint ScreenPointOf(int id) const
    {
        const CPoint c = Dlg()->ItemRect(id).CenterPoint();
        const QPoint g = Dlg()->mapToGlobal(QPoint(c.x, c.y));
        return {g.x(), g.y()};
    }
    void Click(int id) { qobject_cast<QAbstractButton*>(Dlg()->GetDlgItem(id))->click(); }
    CScaleSlider* Slider(int id) const { return qobject_cast<CScaleSlider*>(Dlg()->GetDlgItem(id)); }
    // The file's pixels at full size.
    CPixelArray FilePixels(const std::string& path)
    {
        CPixelArray px;
        CSize s = GetImageFileRect(path).Size();
        EXPECT_GT(LoadImageFile(path, px, s, CRect()), 0);
        return px;
    }

    shelltest::ScriptedServices m_services;
    platform::FakeClock m_clock;
    fs::path m_dir;
    std::unique_ptr<CSmDoc> m_doc;
};

} // namespace

TEST_F(ColorFitTest, OpeningTheSamePictureTogglesAndAnEmptyNameAlwaysShows)
{
    const std::string a = Picture("a.bmp");
    EXPECT_EQ(m_doc->ShowColorFitManager(a), 1);
    CColorFitDlg* d = Dlg();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(Holder()->GetState(), 1);
    EXPECT_EQ(d->GetDlgItemText(CColorFitDlg::IDC_ORIGINAL_CAPTION), "A.BMP - as Original Image");
    EXPECT_EQ(d->GetDlgItemText(CColorFitDlg::IDC_SAMPLE_TEXT), "3X3");
    EXPECT_EQ(d->m_sampleRadius, 1);
    EXPECT_EQ(d->m_original.size, CSize(360, 240));
    EXPECT_EQ(d->m_original.reduce, 2);  // 360 / 180
    EXPECT_EQ(d->m_applyMode, 1);
    EXPECT_EQ(d->IsDlgButtonChecked(CColorFitDlg::IDC_APPLY_ORIGINAL), 1);
    EXPECT_EQ(d->IsDlgButtonChecked(CColorFitDlg::IDC_ALL_OF_PICTURE), 1);

    EXPECT_EQ(m_doc->ShowColorFitManager(a), 1);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(Holder()->GetState(), 0);
    EXPECT_EQ(m_doc->ShowColorFitManager(a), 1);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(Dlg(), d) << "one window, made once";

    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(m_doc->ShowColorFitManager(""), 1);
        EXPECT_TRUE(d->isVisible()) << i;
        EXPECT_EQ(d->GetDlgItemText(CColorFitDlg::IDC_ORIGINAL_CAPTION), "  Original Image");
        EXPECT_TRUE(d->m_original.view.IsEmpty());
    }
    // Hidden by Cancel, the same picture opens again (shown and loaded afresh).
    EXPECT_EQ(m_doc->ShowColorFitManager(a), 1);
    Click(2);
    EXPECT_FALSE(d->isVisible());
    d->m_model.dY = 50;
    EXPECT_EQ(m_doc->ShowColorFitManager(a), 1);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->m_model.dY, 0.0);
    EXPECT_FALSE(d->m_original.view.IsEmpty());
    // A picture that cannot be read leaves the areas asking for one.
    std::ofstream(m_dir / "bad.bmp") << "not a picture";
    EXPECT_EQ(m_doc->ShowColorFitManager((m_dir / "bad.bmp").string()), 1);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->GetDlgItemText(CColorFitDlg::IDC_ORIGINAL_CAPTION), "  Original Image");
    EXPECT_TRUE(d->m_original.name.empty());
}

TEST_F(ColorFitTest, DropsLoadTheAreaUnderThePointAndNothingElsewhere)
{
    const std::string a = Picture("a.bmp"), r = Picture("r.bmp", 720, 480);
    ASSERT_EQ(m_doc->ShowColorFitManager(""), 1);
    CColorFitDlg* d = Dlg();
    EXPECT_EQ(m_doc->DropOnColorFitManager("", ScreenPointOf(CColorFitDlg::IDC_ORIGINAL_AREA)), -1);
    EXPECT_TRUE(d->m_original.name.empty());

    EXPECT_EQ(m_doc->DropOnColorFitManager(a, ScreenPointOf(CColorFitDlg::IDC_RESET)), 1);
    EXPECT_TRUE(d->m_original.name.empty());
    EXPECT_TRUE(d->m_reference.name.empty());
    EXPECT_TRUE(d->m_original.pixels.IsEmpty());

    EXPECT_EQ(m_doc->DropOnColorFitManager(r, ScreenPointOf(CColorFitDlg::IDC_REFERENCE_AREA)), 1);
    EXPECT_EQ(d->m_reference.name, r);
    EXPECT_EQ(d->m_reference.size, CSize(720, 480));
    EXPECT_EQ(d->m_reference.reduce, 4);
    EXPECT_EQ(d->GetDlgItemText(CColorFitDlg::IDC_REFERENCE_CAPTION), "R.BMP - as Reference Image");
    EXPECT_TRUE(d->m_original.name.empty());

    EXPECT_EQ(m_doc->DropOnColorFitManager(a, ScreenPointOf(CColorFitDlg::IDC_ORIGINAL_AREA)), 1);
    EXPECT_EQ(d->m_original.name, a);
    EXPECT_TRUE(d->m_original.pixels == FilePixels(a));
    EXPECT_EQ(d->m_resultView.GetSize(), d->m_original.view.GetSize());
    EXPECT_FALSE(d->m_chartSource.IsEmpty());
    EXPECT_EQ(d->m_reference.name, r) << "the reference stays";

    // The document hit test names the manager while it is shown.
    EXPECT_EQ(m_doc->HitTestDropTarget(ScreenPointOf(CColorFitDlg::IDC_RESULT_AREA)), "ColorAdjust");
    Click(2);
    EXPECT_EQ(m_doc->HitTestDropTarget(ScreenPointOf(CColorFitDlg::IDC_RESULT_AREA)), "");
}

TEST_F(ColorFitTest, TheReferenceShowsAsTheProjectShowsItFromFileAndFromMemory)
{
    const std::string a = Picture("a.bmp"), r = Picture("r.bmp");
    Import({a, r});
    CColorModel warmer;
    warmer.dY = 30;
    warmer.dCr = 12;
    ASSERT_EQ(m_doc->ApplyColorModel(1, warmer, r), 1);
    CPixelArray expected = FilePixels(r);
    CColorModel entryModel = Entry(r).m_ColorModel;
    entryModel.ApplyToArray(expected);

    ASSERT_EQ(m_doc->ShowColorFitManager(a), 1);
    CColorFitDlg* d = Dlg();
    d->m_model.dY = -40;  // the original's working setting must not touch the reference
    CKpic* k = m_doc->FindPictureByName(r);
    ASSERT_NE(k, nullptr);
    ASSERT_TRUE(k->Pixels.IsEmpty());
    ASSERT_EQ(m_doc->DropOnColorFitManager(r, ScreenPointOf(CColorFitDlg::IDC_REFERENCE_AREA)), 1);
    EXPECT_TRUE(d->m_reference.pixels == expected) << "read from its file";

    ASSERT_EQ(m_doc->LoadPictureImage(r), 1);
    ASSERT_FALSE(k->Pixels.IsEmpty());
    d->m_reference.pixels.RemoveAll();
    ASSERT_EQ(m_doc->DropOnColorFitManager(r, ScreenPointOf(CColorFitDlg::IDC_REFERENCE_AREA)), 1);
    EXPECT_TRUE(d->m_reference.pixels == expected) << "taken from memory";

    // The original is always the uncorrected picture: from memory while its entry corrects
    // nothing, from the file once it does.
    ASSERT_EQ(m_doc->LoadPictureImage(a), 1);
    ASSERT_EQ(m_doc->DropOnColorFitManager(a, ScreenPointOf(CColorFitDlg::IDC_ORIGINAL_AREA)), 1);
    EXPECT_TRUE(d->m_original.pixels == FilePixels(a));
    ASSERT_EQ(m_doc->ApplyColorModel(1, warmer, a), 1);
    ASSERT_EQ(m_doc->LoadPictureImage(a), 1);
    ASSERT_EQ(m_doc->DropOnColorFitManager(a, ScreenPointOf(CColorFitDlg::IDC_ORIGINAL_AREA)), 1);
    EXPECT_TRUE(d->m_original.pixels == FilePixels(a));
    // Dropped with an active setting, the working model takes it.
    EXPECT_EQ(d->m_model.dY, 30.0);
    EXPECT_EQ(d->m_model.dCr, 12.0);
    EXPECT_EQ(Slider(CColorFitDlg::IDC_SLIDER_B)->value(), 15);
}

TEST_F(ColorFitTest, TheApplyBoxesWriteAtOnceOkUsesTheModeAndCancelWritesNothing)
{
    const std::string a = Picture("a.bmp"), b = Picture("b.bmp"), c = Picture("c.bmp");
    Import({a, b, c});
    Entry(a).m_State = 7;
    Entry(b).m_State = 7;
    ASSERT_EQ(m_doc->ShowColorFitManager(c), 1);
    CColorFitDlg* d = Dlg();
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_B, 10);
    EXPECT_EQ(d->m_model.dY, 20.0);
    Click(CColorFitDlg::IDC_APPLY_ORIGINAL);
    EXPECT_EQ(Entry(c).m_ColorModel.dY, 20.0);
    EXPECT_FALSE(Entry(a).m_ColorModel.IsActive());
    EXPECT_EQ(d->IsDlgButtonChecked(CColorFitDlg::IDC_APPLY_ORIGINAL), 1) << "a click on the checked box keeps it";

    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_M, -8);
    Click(CColorFitDlg::IDC_APPLY_SELECTION);
    EXPECT_EQ(d->m_applyMode, 2);
    EXPECT_EQ(d->IsDlgButtonChecked(CColorFitDlg::IDC_APPLY_ORIGINAL), 0);
    EXPECT_EQ(d->IsDlgButtonChecked(CColorFitDlg::IDC_APPLY_SELECTION), 1);
    for (const std::string& n : {a, b}) {
        EXPECT_EQ(Entry(n).m_ColorModel.dY, 20.0) << n;
        EXPECT_EQ(Entry(n).m_ColorModel.dCr, -8.0) << n;
    }
    EXPECT_EQ(Entry(c).m_ColorModel.dCr, 0.0) << "c is not selected";

    // Cancel keeps what the boxes wrote and writes nothing more.
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_B, 40);
    Click(2);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(Entry(a).m_ColorModel.dY, 20.0);
    EXPECT_EQ(Entry(c).m_ColorModel.dY, 20.0);

    // OK with the selection mode writes to every selected piece.
    ASSERT_EQ(m_doc->ShowColorFitManager(a), 1);
    EXPECT_EQ(d->m_model.dY, 20.0) << "the picture's own setting";
    Click(CColorFitDlg::IDC_APPLY_SELECTION);
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_C, 6);
    Click(1);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(Entry(a).m_ColorModel.dCb, -6.0);
    EXPECT_EQ(Entry(b).m_ColorModel.dCb, -6.0);
    EXPECT_EQ(Entry(c).m_ColorModel.dCb, 0.0);
    // OK with the default mode writes to the picture alone.
    ASSERT_EQ(m_doc->ShowColorFitManager(c), 1);
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_B, -5);
    Click(1);
    EXPECT_EQ(Entry(c).m_ColorModel.dY, -10.0);
    EXPECT_EQ(Entry(a).m_ColorModel.dY, 20.0);
}

TEST_F(ColorFitTest, SlidersReportWhenAChangeEndsAndModelPositionsNeverWriteBack)
{
    const std::string a = Picture("a.bmp");
    Import({a});
    CColorModel odd;
    odd.dY = 37.9;
    odd.dCb = 20.0;
    ASSERT_EQ(m_doc->ApplyColorModel(1, odd, a), 1);
    ASSERT_EQ(m_doc->ShowColorFitManager(a), 1);
    CColorFitDlg* d = Dlg();
    CScaleSlider* b = Slider(CColorFitDlg::IDC_SLIDER_B);
    CScaleSlider* c = Slider(CColorFitDlg::IDC_SLIDER_C);
    EXPECT_EQ(b->value(), 18);
    EXPECT_EQ(c->value(), -20);
    EXPECT_EQ(d->m_model.dY, 37.9) << "showing the setting changes nothing";
    EXPECT_EQ(d->m_model.dCb, 20.0);

    // Dragging reports nothing until the handle is let go.
    b->setSliderDown(true);
    b->setValue(30);
    EXPECT_EQ(d->m_model.dY, 37.9);
    b->setSliderDown(false);
    EXPECT_EQ(d->m_model.dY, 60.0);
    // A page click and a key report at once.
    b->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(d->m_model.dY, 64.0);
    c->setFocus();
    c->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(d->m_model.dCb, -100.0);
    Slider(CColorFitDlg::IDC_SLIDER_RANGE)->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(d->m_model.width, 3);
    // Reset moves the sliders without writing back.
    d->m_hoverCell = 4;
    Click(CColorFitDlg::IDC_RESET);
    EXPECT_EQ(b->value(), 0);
    EXPECT_EQ(d->m_model.dY, 0.0);
    EXPECT_EQ(d->m_model.dCb, 0.0);
    EXPECT_EQ(d->m_model.width, 3);
}

TEST_F(ColorFitTest, ChartCellsArePaintedWithTheirOwnOffsetsAndAClickAddsThem)
{
    const std::string a = Picture("a.bmp");
    ASSERT_EQ(m_doc->ShowColorFitManager(a), 1);
    CColorFitDlg* d = Dlg();
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_B, 5);
    for (int n : {5, 7, 3}) {
        SCOPED_TRACE(n);
        while (d->m_chartCells != n)
            Click(CColorFitDlg::IDC_CHART_OUT);
        ASSERT_EQ(d->m_chart.cells.size(), size_t(n * (n + 1)));
        EXPECT_EQ(d->m_chartSize, CSize(180 / ColorFitChartReduce(n), 180 / ColorFitChartReduce(n)));
        d->PaintCanvas();
        const QImage& canvas = d->Canvas();
        const int count = d->m_chartSize.cx * d->m_chartSize.cy;
        int mismatches = 0;
        for (const CChartCell& cell : d->m_chart.cells) {
            CColorModel m = d->m_model;
            m.trialY = cell.dY;
            m.trialCb = cell.dCb;
            m.trialCr = cell.dCr;
            CPixelArray expected;
            m.ApplyTrialToArray(d->m_chartSource, expected, count);
            const int ox = (d->m_chartSize.cx - cell.rect.Width()) / 2, oy = (d->m_chartSize.cy - cell.rect.Height()) / 2;
            for (int y = 0; y < cell.rect.Height(); y += 3)
                for (int x = 0; x < cell.rect.Width(); x += 3)
                    if (CanvasAt(canvas, cell.rect.left + x, cell.rect.top + y) !=
                        expected[(oy + y) * d->m_chartSize.cx + ox + x])
                        ++mismatches;
        }
        EXPECT_EQ(mismatches, 0);
    }
    // Two cells of the grid differ visibly: the corners M+C+ and M-C-.
    const CChartCell& topRight = d->m_chart.cells[3 + 2];
    const CChartCell& bottomLeft = d->m_chart.cells[3 + 6];
    EXPECT_EQ(topRight.dCr, 14);
    EXPECT_EQ(topRight.dCb, 14);
    EXPECT_NE(CanvasAt(d->Canvas(), topRight.rect.left + 5, topRight.rect.top + 5),
              CanvasAt(d->Canvas(), bottomLeft.rect.left + 5, bottomLeft.rect.top + 5));

    // A click on a cell adds its offsets and moves the sliders.
    d->OnLButtonDown(topRight.rect.CenterPoint());
    d->OnLButtonUp();
    EXPECT_EQ(d->m_model.dY, 10.0);
    EXPECT_EQ(d->m_model.dCr, 14.0);
    EXPECT_EQ(d->m_model.dCb, 14.0);
    EXPECT_EQ(Slider(CColorFitDlg::IDC_SLIDER_M)->value(), 14);
    EXPECT_EQ(Slider(CColorFitDlg::IDC_SLIDER_C)->value(), -14);
    // The middle cell changes nothing but flashes until two seconds have passed.
    const CChartCell& middle = d->m_chart.cells[3 + 4];
    ASSERT_TRUE(middle.IsZero());
    d->OnLButtonDown(middle.rect.CenterPoint());
    d->OnLButtonUp();
    EXPECT_EQ(d->m_model.dCr, 14.0);
    EXPECT_EQ(d->m_flash, 3);
    d->PaintCanvas();
    EXPECT_EQ(d->m_flash, 2);
    d->OnMouseMove(middle.rect.CenterPoint(), false);
    EXPECT_EQ(d->m_flash, 2);
    EXPECT_EQ(d->m_hoverCell, -2);
    m_clock.Advance(2001);
    d->OnMouseMove(middle.rect.CenterPoint(), false);
    EXPECT_EQ(d->m_flash, 0);
    d->OnMouseMove(topRight.rect.CenterPoint(), false);
    EXPECT_EQ(d->m_hoverCell, 3 + 2);
    d->PaintCanvas();
    EXPECT_EQ(d->GetDlgItemText(CColorFitDlg::IDC_RESULT_CAPTION), "Result Image Sample");
    d->OnMouseMove(CPoint(5, 500), false);
    EXPECT_EQ(d->m_hoverCell, -2);
}

TEST_F(ColorFitTest, TheCheckPictureIsTheColourDistanceInGrey)
{
    const std::string a = Picture("a.bmp");
    ASSERT_EQ(m_doc->ShowColorFitManager(a), 1);
    CColorFitDlg* d = Dlg();
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_M, 60);
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_B, 40);
    // Without a target the check is not offered.
    d->OnLButtonDown(d->ItemRect(CColorFitDlg::IDC_CHECK).CenterPoint());
    EXPECT_EQ(d->m_showCheck, 0);
    Click(CColorFitDlg::IDC_ORIGINAL_BRIGHTNESS);
    EXPECT_EQ(d->m_brightnessTarget, 1);
    EXPECT_EQ(d->m_model.mode, 2);
    EXPECT_EQ(d->IsDlgButtonChecked(CColorFitDlg::IDC_ALL_OF_PICTURE), 0);
    d->OnLButtonDown(d->ItemRect(CColorFitDlg::IDC_CHECK).CenterPoint());
    EXPECT_EQ(d->m_showCheck, 1);
    EXPECT_EQ(d->m_dragMode, 30);
    d->PaintCanvas();
    EXPECT_EQ(d->GetDlgItemText(CColorFitDlg::IDC_RESULT_CAPTION), "White:corrected, Black:as it is");
    CColorModel m = d->m_model;
    CPixelArray result;
    m.ApplyToArrayCopy(d->m_original.view, result);
    const CRect area = d->ItemRect(CColorFitDlg::IDC_RESULT_AREA);
    const CPoint marker = d->m_resultMarker - area.TopLeft();
    int mismatches = 0, corrected = 0;
    for (int y = 0; y < area.Height(); y += 2)
        for (int x = 0; x < area.Width(); x += 2) {
            if (std::abs(x - marker.x) <= 5 || std::abs(y - marker.y) <= 5)
                continue;  // the marker and its cross-hair lie over the picture
            const int i = y * area.Width() + x;
            const int g = std::min(CColorModel::ColourDistance(d->m_original.view[i], result[i]), 255);
            if (CanvasAt(d->Canvas(), area.left + x, area.top + y) != RGB(g, g, g))
                ++mismatches;
            corrected += g > 0 ? 1 : 0;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(corrected, 0);
    d->OnLButtonUp();
    EXPECT_EQ(d->m_showCheck, 0);
    d->PaintCanvas();
    EXPECT_EQ(d->GetDlgItemText(CColorFitDlg::IDC_RESULT_CAPTION), "Result Image");
    // All of the picture clears both targets.
    Click(CColorFitDlg::IDC_ALL_OF_PICTURE);
    EXPECT_EQ(d->m_model.mode, 0);
    EXPECT_EQ(d->IsDlgButtonChecked(CColorFitDlg::IDC_ORIGINAL_BRIGHTNESS), 0);
    EXPECT_EQ(d->IsDlgButtonChecked(CColorFitDlg::IDC_ALL_OF_PICTURE), 1);
}

TEST_F(ColorFitTest, MarkerSamplesThePictureAndTheResultSwatchShowsTheCorrection)
{
    // Black left half, grey right half, 360 pixels wide: shown at half size.
    const std::string a = Picture("half.bmp", 360, 240, [](int x, int) { return x < 180 ? RGB(0, 0, 0) : RGB(128, 128, 128); });
    ASSERT_EQ(m_doc->ShowColorFitManager(a), 1);
    CColorFitDlg* d = Dlg();
    const CRect area = d->ItemRect(CColorFitDlg::IDC_ORIGINAL_AREA);
    // Drag the marker to the area's left edge: the sample there is black.
    const CPoint centre = area.CenterPoint();
    d->OnLButtonDown(centre);
    EXPECT_EQ(d->m_dragMode, 16);
    d->OnMouseMove(CPoint(area.left - 20, centre.y), true);
    d->OnLButtonUp();
    EXPECT_EQ(d->m_originalMarker, CPoint(area.left + 4, centre.y));
    EXPECT_EQ(d->m_resultMarker - d->ItemRect(CColorFitDlg::IDC_RESULT_AREA).TopLeft(),
              d->m_originalMarker - area.TopLeft());
    d->PaintCanvas();
    EXPECT_EQ(d->m_originalColour, RGB(0, 0, 0));
    EXPECT_EQ(d->GetDlgItemText(1220), "0");
    d->OnMouseMove(CPoint(area.right + 50, centre.y), false);
    d->OnLButtonDown(d->m_originalMarker);
    d->OnMouseMove(CPoint(area.right + 50, centre.y), true);
    d->OnLButtonUp();
    d->PaintCanvas();
    EXPECT_EQ(d->m_originalColour, RGB(128, 128, 128));
    // The result swatch shows the corrected colour.
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_B, -50);
    d->PaintCanvas();
    CColorModel m = d->m_model;
    const COLORREF darker = m.ApplyToColour(RGB(128, 128, 128));
    EXPECT_LT(GetGValue(darker), 128);
    EXPECT_EQ(CanvasAt(d->Canvas(), d->ItemRect(CColorFitDlg::IDC_RESULT_SWATCH).CenterPoint().x,
                       d->ItemRect(CColorFitDlg::IDC_RESULT_SWATCH).CenterPoint().y),
              darker);
    // Sample sizes from the first show: 3 (shown), then 5, 7, 9, 1, 3.
    std::vector<std::string> texts;
    for (int i = 0; i < 5; ++i) {
        Click(CColorFitDlg::IDC_SAMPLE_SIZE);
        texts.push_back(d->GetDlgItemText(CColorFitDlg::IDC_SAMPLE_TEXT));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"5X5", "7X7", "9X9", "1X1", "3X3"}));
    // Find steps all three marker colours together.
    Click(CColorFitDlg::IDC_FIND);
    EXPECT_EQ(d->m_referenceMarkerColour, 0x82B4FEu);
    EXPECT_EQ(d->m_originalMarkerColour, 0x82B4FEu);
    EXPECT_EQ(d->m_resultMarkerColour, 0x82B4FEu);
}

TEST_F(ColorFitTest, ZoomButtonsAndANewCustomColour)
{
    const std::string a = Picture("a.bmp", 1440, 960);
    ASSERT_EQ(m_doc->ShowColorFitManager(a), 1);
    CColorFitDlg* d = Dlg();
    EXPECT_EQ(d->m_original.reduce, 8);
    Click(CColorFitDlg::IDC_ORIGINAL_ZOOM_IN);
    EXPECT_EQ(d->m_original.reduce, 4);
    // The view is the picture around its centre at the new scale.
    CPixelArray expected;
    ExtractPixels(d->m_original.pixels, 1440, 960, 720, 480, expected, 180, 180, 1, 4);
    EXPECT_TRUE(d->m_original.view == expected);
    // Dragging the picture (away from the marker) pans it by the mouse's way times the reduction,
    // in the result area too; the result follows.
    const CPoint from = d->ItemRect(CColorFitDlg::IDC_RESULT_AREA).TopLeft() + CPoint(20, 20);
    d->OnLButtonDown(from);
    EXPECT_EQ(d->m_dragMode, 7);
    d->OnMouseMove(from + CPoint(-10, 5), true);
    d->OnLButtonUp();
    EXPECT_EQ(d->m_original.centre, CPoint(760, 460));
    ExtractPixels(d->m_original.pixels, 1440, 960, 760, 460, expected, 180, 180, 1, 4);
    EXPECT_TRUE(d->m_original.view == expected);
    CColorModel m = d->m_model;
    CPixelArray result;
    m.ApplyToArrayCopy(expected, result);
    EXPECT_TRUE(d->m_resultView == result);
    Click(CColorFitDlg::IDC_ORIGINAL_ZOOM_OUT);
    Click(CColorFitDlg::IDC_ORIGINAL_ZOOM_OUT);
    EXPECT_EQ(d->m_original.reduce, 16);
    EXPECT_EQ(d->m_original.centre, CPoint(760, 460)) << "zoom keeps the centre";

    std::vector<COLORREF> answers{0x203040};
    bool accept = false;
    d->m_pickColour = [&](COLORREF& c) {
        c = answers.front();
        return accept;
    };
    Click(CColorFitDlg::IDC_CREATE_COLOUR);
    EXPECT_TRUE(d->m_customColours.empty()) << "a cancelled colour adds nothing";
    accept = true;
    Click(CColorFitDlg::IDC_CREATE_COLOUR);
    ASSERT_EQ(d->m_customColours, (std::vector<COLORREF>{0x203040}));
    d->PaintCanvas();
    const CRect ref = d->ItemRect(CColorFitDlg::IDC_REFERENCE_AREA);
    EXPECT_EQ(CanvasAt(d->Canvas(), ref.CenterPoint().x, ref.bottom - 3), 0x203040u);
}

TEST_F(ColorFitTest, ImageWindowsOfThePictureRebuildOnApplyAndTheirColourButtonOpensIt)
{
    const std::string a = Picture("a.bmp"), b = Picture("b.bmp");
    Import({a, b});
    ASSERT_EQ(m_doc->OpenPictureWindow(nullptr, a, 0, 0, 0), 1);
    ASSERT_EQ(m_doc->OpenPictureWindow(nullptr, b, 0, 0, 0), 1);
    auto* wa = static_cast<CPresentImageHolder*>(m_doc->FindPictureWindow(a))->Window();
    auto* wb = static_cast<CPresentImageHolder*>(m_doc->FindPictureWindow(b))->Window();
    ASSERT_EQ(wa->m_buildCount, 1);
    const std::vector<uint8_t> before = wa->Bitmap()->Bits();

    wa->findChild<QPushButton*>(QStringLiteral("Color"))->click();
    CColorFitDlg* d = Dlg();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->m_original.name, a);
    d->OnSliderChanged(CColorFitDlg::IDC_SLIDER_B, 30);
    Click(1);
    EXPECT_EQ(wa->m_buildCount, 2);
    EXPECT_EQ(wb->m_buildCount, 1) << "another picture's window stays";
    const std::vector<uint8_t> after = wa->Bitmap()->Bits();
    EXPECT_NE(before, after);
}

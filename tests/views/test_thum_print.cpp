// Printing from the picture information pane into PDF at 300 dpi, looked at page by page as
// pdftoppm renders it: one sheet at its offset, a 2 x 2 spread with its registration marks,
// caption and sheet map, an enlarged coarse image, the refusals, and the dialog coming back
// when the printer changes. The printed file is generated: its colour encodes its coordinates.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QTimer>

#include <cmath>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "document/sm_doc.h"
#include "platform/message_box.h"
#include "tests/support/run_program.h"
#include "views/display_service.h"
#include "views/print_property_dlg.h"
#include "views/thum_view.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDpi = 300;
// 2245 x 3272 dots at 300 dpi: a printable area of 1900 x 2770 units.
constexpr int kAreaDotsW = 2245, kAreaDotsH = 3272;

QRgb SourceColour(int x, int y, int w, int h) { return qRgb(x * 255 / std::max(1, w - 1), y * 255 / std::max(1, h - 1), 128); }

std::string WriteSource(const fs::path& dir, int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, SourceColour(x, y, w, h));
    const fs::path path = dir / ("source_" + std::to_string(w) + "x" + std::to_string(h) + ".png");
    img.save(QString::fromStdString(path.string()));
    return path.string();
}

void SetPaper(QPrinter& p, int dotsW, int dotsH)
{
    p.setResolution(kDpi);
    p.setPageSize(QPageSize(QSizeF(dotsW * 25.4 / kDpi, dotsH * 25.4 / kDpi), QPageSize::Millimeter,
                            QStringLiteral("test"), QPageSize::ExactMatch));
    p.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

bool HavePdfToPpm() { return testsupport::RunProgram("pdftoppm", "-v").exitCode == 0; }

struct PrintFixture : ::testing::Test {
    void SetUp() override
    {
        dir = fs::path(SMRA_TEST_TMPDIR) / ("print_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        pdf = (dir / "out.pdf").string();
        platform::SetMessageBox(&box);
        doc = std::make_unique<CSmDoc>();
        view = std::make_unique<CThumView>();
        view->resize(200, 300);
        doc->AddView(view.get());
        view->OnInitialUpdate();
        printBitmap = CBitmapBuffer(60, 40, 24);
        doc->m_pPrintBitmap = &printBitmap;
        views::SetPrinterFactory([this] {
            return std::make_unique<views::CQtPrinter>([this](QPrinter& p, bool direct) {
                ++chooserCalls;
                if (!direct && paperAfterDialog.cx > 0)
                    SetPaper(p, paperAfterDialog.cx, paperAfterDialog.cy);
                else if (direct)
                    SetPaper(p, kAreaDotsW, kAreaDotsH);
                p.setOutputFormat(QPrinter::PdfFormat);
                p.setOutputFileName(QString::fromStdString(pdf));
                return true;
            });
        });
        SetPrintDialogRunner([this](CPrintPropertyDlg& dlg) {
            areasSeen.push_back(dlg.m_model.m_area);
            return script ? script(dlg) : 1;
        });
    }
    void TearDown() override
    {
        SetPrintDialogRunner(nullptr);
        views::SetPrinterFactory(nullptr);
        view.reset();
        doc.reset();
        platform::SetMessageBox(nullptr);
    }
    void Print(const std::string& path)
    {
        printPath = path;
        view->OnUpdate(nullptr, HINT_PRINT_PICTURE, HintObject::Path(&printPath));
    }
    // The pages of the PDF as images (none when it was not written).
    std::vector<QImage> Pages()
    {
        std::vector<QImage> pages;
        if (!fs::exists(pdf))
            return pages;
        const std::string prefix = (dir / "page").string();
        const auto run = testsupport::RunProgram("pdftoppm", "-r 300 -png '" + pdf + "' '" + prefix + "'");
        EXPECT_EQ(run.exitCode, 0) << run.output;
        for (int i = 1; i < 100; ++i) {
            const fs::path a = dir / ("page-" + std::to_string(i) + ".png");
            const fs::path b = dir / ("page-0" + std::to_string(i) + ".png");
            const fs::path p = fs::exists(a) ? a : b;
            if (!fs::exists(p))
                break;
            pages.push_back(QImage(QString::fromStdString(p.string())).convertToFormat(QImage::Format_RGB32));
        }
        return pages;
    }
    static bool Dark(const QImage& img, int x, int y) { return img.valid(x, y) && qGray(img.pixel(x, y)) < 100; }
    // Whether a dark pixel lies within `r` pixels of (x, y).
    static bool DarkNear(const QImage& img, int x, int y, int r = 2)
    {
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx)
                if (Dark(img, x + dx, y + dy))
                    return true;
        return false;
    }
    static bool White(const QImage& img, int x, int y) { return img.valid(x, y) && qGray(img.pixel(x, y)) > 245; }
    // Mean difference per channel between the page's picture and the source region it should
    // show: the picture at (px, py) dots, `units` = its rect in print units, `perUnit` source
    // pixels per unit.
    static double MeanDifference(const QImage& page, CPoint at, const CRect& units, double perUnit, int srcW, int srcH)
    {
        double sum = 0;
        int n = 0;
        const double dotsPerUnit = kDpi / 254.0;
        for (int j = 1; j < 20; ++j) {
            for (int i = 1; i < 20; ++i) {
                const double ux = units.left + units.Width() * i / 20.0, uy = units.top + units.Height() * j / 20.0;
                const int px = at.x + int((ux - units.left) * dotsPerUnit), py = at.y + int((uy - units.top) * dotsPerUnit);
                const QRgb want = SourceColour(int(ux * perUnit), int(uy * perUnit), srcW, srcH);
                const QRgb got = page.pixel(px, py);
                sum += std::abs(qRed(got) - qRed(want)) + std::abs(qGreen(got) - qGreen(want)) +
                       std::abs(qBlue(got) - qBlue(want));
                n += 3;
            }
        }
        return sum / n;
    }

    fs::path dir;
    std::string pdf;
    std::string printPath;
    platform::FakeMessageBox box;
    std::unique_ptr<CSmDoc> doc;
    std::unique_ptr<CThumView> view;
    CBitmapBuffer printBitmap;
    int chooserCalls = 0;
    CSize paperAfterDialog;
    std::vector<CSize> areasSeen;
    std::function<int(CPrintPropertyDlg&)> script;
};

} // namespace

TEST_F(PrintFixture, OneSheetPlacesThePictureAtItsOffsetWithoutMarks)
{
    if (!HavePdfToPpm())
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    const std::string src = WriteSource(dir, 1500, 1000);
    Print(src);
    ASSERT_EQ(areasSeen.size(), 1u);
    EXPECT_EQ(areasSeen[0], CSize(1900, 2770));
    EXPECT_EQ(view->m_sizePrint, CSize(1500, 1000));
    EXPECT_EQ(view->m_ptPrintOffset, CPoint(200, 885));
    const std::vector<QImage> pages = Pages();
    ASSERT_EQ(pages.size(), 1u);
    const QImage& page = pages[0];
    EXPECT_NEAR(page.width(), kAreaDotsW, 1);
    const CPoint at(200 * kDpi / 254, 885 * kDpi / 254);
    EXPECT_LT(MeanDifference(page, at, CRect(0, 0, 1500, 1000), 1.0, 1500, 1000), 4.0);
    // Around the picture the paper stays white: no marks, no caption.
    int dark = 0;
    for (int y = 0; y < page.height(); y += 4)
        for (int x = 0; x < page.width(); x += 4)
            if ((y < at.y - 3 || y > at.y + 1000 * kDpi / 254 + 3 || x < at.x - 3 || x > at.x + 1500 * kDpi / 254 + 3) &&
                !White(page, x, y))
                ++dark;
    EXPECT_EQ(dark, 0);
}

TEST_F(PrintFixture, SpreadPrintsFourSheetsWithMarksCaptionAndSheetMap)
{
    if (!HavePdfToPpm())
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    const int srcW = 1500, srcH = 2000;
    const std::string src = WriteSource(dir, srcW, srcH);
    script = [](CPrintPropertyDlg& dlg) {
        dlg.m_model.SetSpread(true);
        dlg.m_model.TypeWidth(3000);
        return 1;
    };
    Print(src);
    EXPECT_EQ(view->m_sizePrint, CSize(3000, 4000));
    EXPECT_EQ(view->m_sizeTile, CSize(1620, 2490));
    EXPECT_EQ(view->m_nSheetsH, 2);
    EXPECT_EQ(view->m_nSheetsV, 2);
    const std::vector<QImage> pages = Pages();
    ASSERT_EQ(pages.size(), 4u);

    const double sx = double(1900 * kDpi / 254) / 1900;  // dots per unit of the frame
    const int markOffset = int(91 * sx * 0.55), overlapDots = int(50 * sx);
    const int pitch = [&] {
        const int pt = int(std::sqrt(std::sqrt(90.0)) * 40);
        const int h = int(pt * sx / 3.5);
        return h + h / 2;
    }();
    struct Page {
        int column, row;
        CRect tile, image;
    } expected[] = {
        {0, 0, {0, 0, 1670, 2540}, {0, 0, 1720, 2590}},
        {1, 0, {1670, 0, 3000, 2540}, {1620, 0, 3000, 2590}},
        {0, 1, {0, 2540, 1670, 4000}, {0, 2490, 1720, 4000}},
        {1, 1, {1670, 2540, 3000, 4000}, {1620, 2490, 3000, 4000}},
    };
    for (int i = 0; i < 4; ++i) {
        const QImage& page = pages[size_t(i)];
        const Page& e = expected[i];
        SCOPED_TRACE("page " + std::to_string(i + 1));
        // The picture: the source region of the image rect, from the tombo margin on.
        const CPoint at(90 * kDpi / 254, 90 * kDpi / 254);
        EXPECT_LT(MeanDifference(page, at, e.image, double(srcW) / 3000, srcW, srcH), 4.0);

        // Marks, in the frame's dot space (the frame starts at the page's corner).
        CRect frame = e.image;
        frame.InflateRect(90, 90);
        auto mx = [&](int u) { return int((u - frame.left) * sx); };
        auto my = [&](int u) { return int((u - frame.top) * sx); };
        const int imTop = my(e.image.top), imBottom = imTop + int(e.image.Height() * sx);
        const int imLeft = mx(e.image.left), imRight = imLeft + int(e.image.Width() * sx);
        const int tLeft = mx(e.tile.left), tRight = tLeft + int(e.tile.Width() * sx);
        const int tTop = my(e.tile.top), tBottom = tTop + int(e.tile.Height() * sx);
        const bool leftOverlap = e.tile.left != e.image.left, rightOverlap = e.tile.right != e.image.right;
        const bool topOverlap = e.tile.top != e.image.top, bottomOverlap = e.tile.bottom != e.image.bottom;
        // Vertical marks above and below the picture, horizontal ones left and right of it.
        for (int x : {tLeft, tRight})
            for (int y : {imTop - markOffset, imBottom + markOffset})
                EXPECT_TRUE(DarkNear(page, x, y - 10) && DarkNear(page, x, y + 10)) << "vertical mark at " << x << "," << y;
        for (int x : {imLeft - markOffset, imRight + markOffset})
            for (int y : {tTop, tBottom})
                EXPECT_TRUE(DarkNear(page, x - 10, y) && DarkNear(page, x + 10, y)) << "horizontal mark at " << x << "," << y;
        // Overlap circles (half width = the overlap in dots) only where the tile has a neighbour.
        const int y0 = imTop - markOffset;
        EXPECT_EQ(DarkNear(page, tLeft - overlapDots, y0), leftOverlap);
        EXPECT_EQ(DarkNear(page, tRight + overlapDots, y0), rightOverlap);
        const int x0 = imLeft - markOffset;
        EXPECT_EQ(DarkNear(page, x0, tTop - overlapDots), topOverlap);
        EXPECT_EQ(DarkNear(page, x0, tBottom + overlapDots), bottomOverlap);

        // The sheet map: the square of the page's column filled above the picture, of its row
        // filled left of it; the other squares are outlines.
        const int bandLeft = tLeft + markOffset + (leftOverlap ? overlapDots : 0);
        for (int c = 0; c < 2; ++c) {
            const int cx = bandLeft + c * pitch + pitch / 3, cy = imTop - markOffset;
            EXPECT_EQ(Dark(page, cx, cy), c == e.column) << "column square " << c;
            EXPECT_EQ(Dark(page, cx, cy + imBottom - imTop + 2 * markOffset), c == e.column) << "bottom copy";
        }
        const int sideTop = tTop + markOffset + (topOverlap ? overlapDots : 0);
        for (int r = 0; r < 2; ++r) {
            const int cx = imLeft - markOffset, cy = sideTop + r * pitch + pitch / 3;
            EXPECT_EQ(Dark(page, cx, cy), r == e.row) << "row square " << r;
        }
        // The caption ends at the band's right end.
        const int bandRight = tRight - markOffset - (rightOverlap ? overlapDots : 0);
        int captionInk = 0;
        for (int y = imTop - markOffset - 30; y < imTop - markOffset + 30; ++y)
            for (int x = bandRight - 400; x < bandRight; ++x)
                captionInk += Dark(page, x, y);
        EXPECT_GT(captionInk, 200);
    }
}

TEST_F(PrintFixture, CoarseImageIsEnlargedSmoothly)
{
    if (!HavePdfToPpm())
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    const std::string src = WriteSource(dir, 300, 200);
    script = [](CPrintPropertyDlg& dlg) {
        dlg.m_model.TypeWidth(1524);  // 6 inches: 50 dpi
        dlg.m_model.TypeLeft(0);
        dlg.m_model.TypeTop(0);
        return 1;
    };
    Print(src);
    EXPECT_EQ(view->m_sizePrint, CSize(1524, 1016));
    const std::vector<QImage> pages = Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_LT(MeanDifference(pages[0], CPoint(0, 0), CRect(0, 0, 1524, 1016), 300.0 / 1524, 300, 200), 6.0);
    // Smooth: neighbouring dots along a row never jump by more than a few levels.
    int jumps = 0;
    const int y = 500;
    for (int x = 100; x < 1700; ++x)
        if (std::abs(qRed(pages[0].pixel(x, y)) - qRed(pages[0].pixel(x - 1, y))) > 6)
            ++jumps;
    EXPECT_EQ(jumps, 0);
}

TEST_F(PrintFixture, RefusalsStartNoJob)
{
    const std::string src = WriteSource(dir, 400, 300);
    // A turned project picture.
    doc->m_entries.resize(1);
    doc->m_entries[0].m_Name = src;
    doc->m_entries[0].m_QuarterTurns = 1;
    Print(src);
    EXPECT_EQ(doc->m_statusMessage, "Printing of turned image is not supported. Use original direction.");
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_FALSE(fs::exists(pdf));

    // A file that cannot be read.
    doc->m_entries[0].m_QuarterTurns = 0;
    Print((dir / "missing.png").string());
    EXPECT_EQ(doc->m_statusMessage, "File error ");
    EXPECT_EQ(chooserCalls, 0);

    // No print picture bitmap.
    doc->m_pPrintBitmap = nullptr;
    Print(src);
    EXPECT_EQ(chooserCalls, 0);
    doc->m_pPrintBitmap = &printBitmap;

    // Cancel in the property dialog.
    script = [](CPrintPropertyDlg&) { return 2; };
    Print(src);
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_FALSE(fs::exists(pdf));
}

namespace {

// A printer whose printable area is empty.
class EmptyAreaPrinter : public views::IPrinter {
public:
    bool ChoosePrinter(bool) override { return true; }
    bool HasDeviceMode() const override { return true; }
    views::PrinterDeviceMode GetDeviceMode() const override { return {"empty", 2100, 2970, 1}; }
    bool HasContext() const override { return true; }
    int GetDeviceCaps(int index) const override
    {
        return index == views::LOGPIXELSX || index == views::LOGPIXELSY ? 300 : 0;
    }
    bool StartDoc(const std::string&) override
    {
        ++started;
        return true;
    }
    views::CPrintDC* StartPage() override { return nullptr; }
    void EndPage() override {}
    void EndDoc() override {}
    int started = 0;
};

} // namespace

TEST_F(PrintFixture, PrinterWithoutPrintableAreaCountsAsNoPrinter)
{
    const std::string src = WriteSource(dir, 400, 300);
    views::CPrintInfo info;
    EmptyAreaPrinter direct;
    info.printer = &direct;
    view->m_strPrintFile = src;
    EXPECT_FALSE(view->OnPreparePrinting(info));
    EXPECT_TRUE(areasSeen.empty()) << "the dialog is not shown";
    EXPECT_EQ(views::RunPrintJob(*view, direct, src), 0);
    EXPECT_EQ(direct.started, 0);
}

TEST_F(PrintFixture, PrinterSetupAndAnotherPaperBringTheDialogBack)
{
    const std::string src = WriteSource(dir, 400, 300);
    // "Printer Setup" ends the dialog with reason 3 and IDOK; the caller shows it again.
    int runs = 0;
    script = [&runs](CPrintPropertyDlg& dlg) {
        if (++runs == 1) {
            dlg.OnCommand(1107, platform::qt::BN_CLICKED);
            EXPECT_EQ(dlg.m_nEndReason, 3);
        }
        return 1;
    };
    Print(src);
    EXPECT_EQ(runs, 2);

    // A printer with another printable area chosen in the print dialog.
    runs = 0;
    areasSeen.clear();
    paperAfterDialog = {3000, 2000};
    script = [&](CPrintPropertyDlg&) {
        if (++runs == 2)
            paperAfterDialog = {};
        return 1;
    };
    Print(src);
    ASSERT_EQ(areasSeen.size(), 2u);
    EXPECT_EQ(areasSeen[0], CSize(1900, 2770));
    EXPECT_EQ(areasSeen[1], CSize(3000 * 254 / kDpi, 2000 * 254 / kDpi));
}

TEST(PrintPropertyDialog, ControlsFollowTheModel)
{
    CPrintPropertyDlg dlg;
    dlg.m_model.m_imageSize = {3000, 2000};
    dlg.m_model.m_area = {1900, 2770};
    dlg.m_model.m_unit = 0;
    dlg.PrepareShow();
    EXPECT_EQ(dlg.GetDlgItemText(1082), "----");
    EXPECT_EQ(dlg.m_model.m_printSize, CSize(1900, 1266));
    // Typing 2 in the width chooses inch and rewrites the other fields.
    dlg.SetDlgItemText(1082, "2");
    EXPECT_EQ(dlg.m_model.m_unit, 1);
    EXPECT_EQ(dlg.m_model.m_printSize.cx, 508);
    EXPECT_EQ(dlg.GetDlgItemText(1084), "1.33");
    EXPECT_EQ(dlg.IsDlgButtonChecked(1087), platform::qt::BST_CHECKED);
    // A spin up on the width bar with Shift steps a tenth of an inch.
    dlg.m_shiftDown = [] { return true; };
    dlg.OnScroll(1103, platform::qt::SB_LINEDOWN);
    EXPECT_EQ(dlg.m_model.m_printSize.cx, 534);
    dlg.m_shiftDown = [] { return false; };
    // Spread on: the fields become sheet counts; the overlap box unchecked sets 0.
    dlg.CheckDlgButton(1106, platform::qt::BST_CHECKED);
    dlg.OnCommand(1106, platform::qt::BN_CLICKED);
    EXPECT_EQ(dlg.GetDlgItemText(1077), "1");
    EXPECT_EQ(dlg.m_model.m_tile, CSize(1620, 2490));
    dlg.CheckDlgButton(1115, platform::qt::BST_UNCHECKED);
    dlg.OnCommand(1115, platform::qt::BN_CLICKED);
    EXPECT_EQ(dlg.m_model.m_overlap, 0);
    EXPECT_EQ(dlg.GetDlgItemText(1113), "0.00");
    dlg.CheckDlgButton(1115, platform::qt::BST_CHECKED);
    dlg.OnCommand(1115, platform::qt::BN_CLICKED);
    EXPECT_EQ(dlg.m_model.m_overlap, 50);
    // An overlap above half the area: marked with "*", the value kept.
    dlg.SetDlgItemText(1113, "40");
    EXPECT_EQ(dlg.GetDlgItemText(1113), "40.00*");
    EXPECT_EQ(dlg.m_model.m_overlap, 50);
    // The preview draws the sheets.
    const QImage preview = dlg.RenderPreview(QSize(300, 360));
    EXPECT_EQ(preview.pixel(2, 2), qRgb(0xF0, 0xF0, 0x96));
    EXPECT_EQ(preview.pixel(22, 40), qRgb(255, 255, 255));
    // In a narrow box the total size text is broken into two lines instead of running off the edge.
    dlg.m_model.m_unit = 2;
    const QImage narrow = dlg.RenderPreview(QSize(120, 360));
    int rightmostInk = -1;
    std::set<int> inkRows;
    for (int y = narrow.height() - 40; y < narrow.height(); ++y)
        for (int x = 0; x < narrow.width(); ++x)
            if (qGray(narrow.pixel(x, y)) < 64) {
                rightmostInk = std::max(rightmostInk, x);
                inkRows.insert(y);
            }
    EXPECT_GE(rightmostInk, 0);
    EXPECT_LT(rightmostInk, narrow.width() - 10);
    ASSERT_FALSE(inkRows.empty());
    EXPECT_GT(*inkRows.rbegin() - *inkRows.begin(), 10) << "both lines are drawn";
}

TEST(PrintPropertyDialog, PreviewDragsMoveTheOffsetAndResizeKeepingTheAspect)
{
    CPrintPropertyDlg dlg;
    dlg.m_model.m_imageSize = {3000, 2000};
    dlg.m_model.m_area = {1900, 2770};
    dlg.m_model.m_unit = 2;
    dlg.PrepareShow();
    dlg.GetDlgItem(1092)->resize(300, 400);
    const QSize box = dlg.GetDlgItem(1092)->size();
    QRect pic = dlg.PictureRectInPreview(box);
    ASSERT_GT(pic.width(), 50);
    const double scale = double(pic.width()) / 1900;

    dlg.PreviewPress(pic.center());
    dlg.PreviewMove(pic.center() + QPoint(0, 30));
    dlg.PreviewRelease(pic.center() + QPoint(0, 30));
    EXPECT_NEAR(dlg.m_model.m_offset.y, 752 + 30 / scale, 2 / scale);
    EXPECT_EQ(dlg.m_model.m_offset.x, 0);
    EXPECT_EQ(dlg.GetDlgItemText(1074), dlg.m_model.FormatLength(dlg.m_model.m_offset.y));

    // The right edge: narrower, the height follows the picture's aspect.
    pic = dlg.PictureRectInPreview(box);
    const QPoint edge(pic.right(), pic.center().y());
    dlg.PreviewPress(edge);
    dlg.PreviewMove(edge - QPoint(40, 0));
    dlg.PreviewRelease(edge - QPoint(40, 0));
    EXPECT_NEAR(dlg.m_model.m_printSize.cx, 1900 - 40 / scale, 2 / scale);
    EXPECT_EQ(dlg.m_model.m_printSize.cy, dlg.m_model.m_printSize.cx * 2000 / 3000);

    // A press away from the picture does nothing.
    const printing::CPrintPropertyModel before = dlg.m_model;
    dlg.PreviewPress(QPoint(2, 2));
    dlg.PreviewMove(QPoint(50, 50));
    EXPECT_EQ(dlg.m_model.m_offset, before.m_offset);
}

// One print asks for the printer once: after the print properties, in the print dialog. Where
// no default printer is set up the printer's defaults stand in for the properties' paper.
TEST_F(PrintFixture, APrintAsksForThePrinterOnceEvenWithoutADefaultPrinter)
{
    if (!QPrinterInfo::defaultPrinter().isNull())
        GTEST_SKIP() << "this machine has a default printer";
    const std::string src = WriteSource(dir, 300, 200);
    for (const bool accept : {false, true}) {
        SCOPED_TRACE(accept ? "accepted" : "cancelled");
        fs::remove(pdf);
        views::SetPrinterFactory([this] {
            auto printer = std::make_unique<views::CQtPrinter>();
            printer->Printer().setOutputFormat(QPrinter::PdfFormat);
            printer->Printer().setOutputFileName(QString::fromStdString(pdf));
            return printer;
        });
        int dialogs = 0;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            ++dialogs;
            if (accept)
                dialog->accept();
            else
                dialog->reject();
        });
        answer.start(10);
        areasSeen.clear();
        Print(src);
        answer.stop();
        EXPECT_EQ(dialogs, 1);
        ASSERT_EQ(areasSeen.size(), 1u) << "the properties come first, with the default paper";
        EXPECT_GT(areasSeen[0].cx, 1000);
        EXPECT_EQ(fs::exists(pdf), accept);
    }
}

// Printing of the picture information view: the print property dialog and the printer's
// choice before the job, then every sheet rendered into one 24-bit bitmap close to the
// printer's resolution, with registration marks, caption and sheet map in the margins of a
// spread print. Lengths are tenths of a millimetre; dots = units x LOGPIXELS / 254.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/value_types.h"
#include "imagefile/exif.h"
#include "imagefile/image_file.h"
#include "platform/message_box.h"
#include "views/print_property_dlg.h"
#include "views/thum_view.h"

using platform::qt::CBrush;
using platform::qt::CPen;
using views::CPrintDC;
using views::CPrintInfo;

namespace {

// The printable area of the chosen printer in units; empty when it has none.
CSize PrintableArea(const views::IPrinter& printer)
{
    CSize area(printer.GetDeviceCaps(views::HORZSIZE) * 10, printer.GetDeviceCaps(views::VERTSIZE) * 10);
    const int lpx = printer.GetDeviceCaps(views::LOGPIXELSX), lpy = printer.GetDeviceCaps(views::LOGPIXELSY);
    if (lpx != 0 && lpy != 0)
        area = {int(int64_t(printer.GetDeviceCaps(views::HORZRES)) * 254 / lpx),
                int(int64_t(printer.GetDeviceCaps(views::VERTRES)) * 254 / lpy)};
    return area;
}

// Device mode into the dialog: printer name, orientation text; the paper as the printable
// area when `takePaper`.
void ReadDeviceMode(const views::IPrinter& printer, CPrintPropertyDlg& dlg, bool takePaper)
{
    if (!printer.HasDeviceMode())
        return;
    const views::PrinterDeviceMode mode = printer.GetDeviceMode();
    dlg.m_strPrinterName = mode.deviceName;
    const MessageCatalogue& text = Catalogue();
    if (mode.orientation == 2) {
        dlg.m_strOrientation = text.paperLandscape;
        if (takePaper)
            dlg.m_model.m_area = {mode.paperLength, mode.paperWidth};
    } else if (mode.orientation == 1) {
        dlg.m_strOrientation = text.paperPortrait;
        if (takePaper)
            dlg.m_model.m_area = {mode.paperWidth, mode.paperLength};
    }
}

} // namespace

void CThumView::OnFilePrint()
{
    std::unique_ptr<views::IPrinter> printer = views::MakePrinter();
    if (printer)
        views::RunPrintJob(*this, *printer, m_strPrintFile);
}

bool CThumView::OnPreparePrinting(CPrintInfo& info)
{
    CSmDoc* doc = GetDoc();
    if (!doc || !info.printer)
        return false;
    views::IPrinter& printer = *info.printer;
    const MessageCatalogue& text = Catalogue();
    CPrintPropertyDlg dlg(this);

    m_nPictureTurn = 0;
    const int entry = doc->FindEntryIndex(m_strPrintFile);
    if (entry >= 0)
        m_nPictureTurn = doc->m_entries[size_t(entry)].m_QuarterTurns;

    const CRect rect = GetImageFileRect(m_strPrintFile);
    if (rect.IsRectEmpty()) {
        doc->SetStatusMessage(text.fileError);
        return false;
    }
    m_sizeImage = rect.Size();
    if (!LastImageComment.empty() && LastJpegPath == m_strPrintFile &&
        LastImageComment.find("Korvane Seamora") != std::string::npos &&
        LastImageComment.find(" - High Quality") == std::string::npos)
        doc->SetStatusMessage(text.recommendQuality);
    m_sizeSampled = m_sizeImage;
    if (m_nPictureTurn != 0) {
        doc->SetStatusMessage(text.turnedPrintUnsupported);
        return false;
    }
    m_nOverlap = 50;
    m_nTombo = 90;
    if (!doc->m_pPrintBitmap || doc->m_pPrintBitmap->IsNull())
        return false;

    m_nSheetsH = m_nSheetsV = 1;
    info.SetMaxPage(1);
    dlg.m_strFilePath = m_strPrintFile;
    dlg.m_model.m_imageSize = m_sizeImage;
    dlg.m_pPrintBitmap = doc->m_pPrintBitmap;
    dlg.m_model.m_overlap = dlg.m_model.m_rememberedOverlap = m_nOverlap;
    dlg.m_model.m_tombo = dlg.m_model.m_rememberedTombo = m_nTombo;
    dlg.m_strPrinterName.clear();
    dlg.m_strOrientation.clear();

    // The default printer, without asking.
    info.m_bDirect = true;
    const bool chosen = info.DoPreparePrinting();
    info.m_bDirect = false;
    if (!chosen)
        return false;
    ReadDeviceMode(printer, dlg, true);
    if (printer.HasContext()) {
        const CSize area = PrintableArea(printer);
        // A printer without a printable area cannot print: it counts as no printer.
        if (area.cx <= 0 || area.cy <= 0)
            return false;
        dlg.m_model.m_area = {Clamp(area.cx, 10, 999999), Clamp(area.cy, 10, 999999)};
        dlg.m_model.m_firstRun = 2;
    }

    for (;;) {
        dlg.m_model.m_unit = m_nUnit;
        const int result = dlg.RunModal();
        if (result == 2)
            return false;
        const printing::CPrintPropertyModel& m = dlg.m_model;
        m_sizePrint = m.m_printSize;
        m_ptPrintOffset = {Clamp(m.m_offset.x, 0, 30000), Clamp(m.m_offset.y, 0, 30000)};
        m_nUnit = m.m_unit;
        if (m.m_spread > 0) {
            m_ptPrintOffset = {0, 0};
            m_nOverlap = m.m_overlap;
            m_nTombo = m.m_tombo;
            m_sizeTile = m.m_tile;
            m_nSheetsH = printing::SheetCount(m_sizePrint.cx, m_nOverlap, m_sizeTile.cx);
            m_nSheetsV = printing::SheetCount(m_sizePrint.cy, m_nOverlap, m_sizeTile.cy);
        } else {
            m_sizeTile = m.m_area;
            m_nOverlap = 0;
            m_nTombo = 0;
            m_nSheetsH = m_nSheetsV = 1;
        }
        info.SetMaxPage(m_nSheetsH * m_nSheetsV);

        if (!info.DoPreparePrinting())
            return false;
        ReadDeviceMode(printer, dlg, false);
        CSize area = dlg.m_model.m_area;
        if (printer.HasContext()) {
            area = PrintableArea(printer);
            if (area.cx <= 0 || area.cy <= 0)
                return false;
        }
        dlg.m_model.m_firstRun = 0;
        if (area != dlg.m_model.m_area) {
            dlg.m_model.m_area = area;
            continue;
        }
        if (dlg.m_nEndReason > 0 || result != 1)
            continue;
        break;
    }
    if (!printer.HasContext())
        return false;

    const int s = printing::SamplingDivisor(m_sizeImage, m_sizePrint, m_sizeTile, m_nSheetsH, m_nSheetsV,
                                            printer.GetDeviceCaps(views::LOGPIXELSX));
    m_sizeSampled = {m_sizeImage.cx / s, m_sizeImage.cy / s};
    m_rcSampled = CRect(0, 0, m_sizeSampled.cx, m_sizeSampled.cy);
    return true;
}

void CThumView::OnPrint(CPrintDC& dc, CPrintInfo& info)
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    m_nSheetsH = Clamp(m_nSheetsH, 1, 255);
    m_nSheetsV = Clamp(m_nSheetsV, 1, 255);
    const int pageIndex = info.m_nCurPage - 1;
    printing::SheetJob job;
    job.path = m_strPrintFile;
    job.imageSize = m_sizeImage;
    job.sampledSize = m_sizeSampled;
    job.printSize = m_sizePrint;
    job.tile = m_sizeTile;
    job.offset = m_ptPrintOffset;
    job.overlap = m_nOverlap;
    job.tombo = m_nTombo;
    job.sheetsH = m_nSheetsH;
    job.sheetsV = m_nSheetsV;
    printing::SheetResult sheet;
    const int status = printing::RenderSheet(
        job, pageIndex, dc.GetDeviceCaps(views::LOGPIXELSX), dc.GetDeviceCaps(views::LOGPIXELSY),
        [&](CPixelArray& pixels, CSize& sampled, const CRect& region) {
            return doc->ReadImageFile(m_strPrintFile, pixels, sampled, region);
        },
        [&](CPixelArray& pixels) {
            // A project picture prints with its colour correction.
            const int entry = doc->FindEntryIndex(m_strPrintFile);
            if (entry >= 0)
                doc->m_entries[size_t(entry)].m_ColorModel.ApplyToArray(pixels);
        },
        [&] { doc->ReserveImageMemory(std::string(), -50); }, &sheet);
    if (status == printing::SHEET_NO_MEMORY) {
        platform::MessageBox().Show(Catalogue().memoryTooShort, platform::MB_OK);
        return;
    }
    if (status != printing::SHEET_PRINTED)
        return;
    if (m_nTombo > 0)
        DrawPageFrame(dc, sheet.frameExtent, sheet.rects.frame, sheet.rects.tile, sheet.rects.image, pageIndex);
    dc.StretchDIBits(sheet.position.x, sheet.position.y, sheet.extent.cx, sheet.extent.cy, sheet.bitmap);
}

void CThumView::DrawPageFrame(CPrintDC& dc, CSize frameExtent, const CRect& frame, const CRect& tile,
                              const CRect& image, int pageIndex)
{
    if (frame.Width() == 0 || frame.Height() == 0 || frameExtent.cx == 0 || frameExtent.cy == 0)
        return;
    const double sx = double(frameExtent.cx) / frame.Width(), sy = double(frameExtent.cy) / frame.Height();
    const int overlapDots = int(m_nOverlap * sx);
    const int markOffset = int((m_nTombo + 1) * sx * 0.55);
    const int markWidth = int(m_nTombo * sx * 0.45);
    const int markLength = int(m_nTombo * sx * 0.9);
    auto map = [&](const CRect& r) {
        const int left = int((r.left - frame.left) * sx), top = int((r.top - frame.top) * sy);
        return CRect(left, top, left + int(r.Width() * sx), top + int(r.Height() * sy));
    };
    const CRect t = map(tile), im = map(image);
    const int leftFlag = tile.left - image.left, rightFlag = image.right - tile.right;
    const int topFlag = tile.top - image.top, bottomFlag = image.bottom - tile.bottom;

    dc.SetBkMode(platform::qt::TRANSPARENT);
    dc.SelectBrush(CBrush::Hollow());
    DrawTomboMarks(dc, t.left, im.top - markOffset, overlapDots, markLength, leftFlag, 1);
    DrawTomboMarks(dc, t.right, im.top - markOffset, overlapDots, markLength, rightFlag, 1);
    DrawTomboMarks(dc, t.left, im.bottom + markOffset, overlapDots, markLength, leftFlag, 1);
    DrawTomboMarks(dc, t.right, im.bottom + markOffset, overlapDots, markLength, rightFlag, 1);
    DrawTomboMarks(dc, im.left - markOffset, t.top, overlapDots, markLength, topFlag, 0);
    DrawTomboMarks(dc, im.left - markOffset, t.bottom, overlapDots, markLength, bottomFlag, 0);
    DrawTomboMarks(dc, im.right + markOffset, t.top, overlapDots, markLength, topFlag, 0);
    DrawTomboMarks(dc, im.right + markOffset, t.bottom, overlapDots, markLength, bottomFlag, 0);

    // Caption: "H c    V r   (page p / n)" right-aligned in the band above the image, with the
    // sheet map at the band's left end.
    const int sheetsH = Clamp(m_nSheetsH, 1, 255), sheetsV = Clamp(m_nSheetsV, 1, 255);
    const int column = pageIndex % sheetsH, row = pageIndex / sheetsH;
    char caption[96];
    std::snprintf(caption, sizeof caption, "H %d    V %d   (page %d / %d)", column + 1, row + 1, pageIndex + 1,
                  sheetsH * sheetsV);
    CRect band(t.left + markOffset + (leftFlag != 0 ? overlapDots : 0), im.top - markOffset - markWidth,
               t.right - markOffset - (rightFlag != 0 ? overlapDots : 0), im.top - markOffset + markWidth);
    const std::string face = Catalogue().printFont.empty() ? std::string("Arial") : Catalogue().printFont;
    int pt = int(std::sqrt(std::sqrt(double(m_nTombo))) * 40);
    int h = 0, pitch = 0, mapWidth = 0;
    auto makeFont = [&] {
        dc.SelectPointFont(face, pt);
        h = int(pt * sx / 3.5);
        pitch = h + h / 2;
        mapWidth = pitch * (sheetsH + 1);
    };
    makeFont();
    CSize textSize = dc.GetTextExtent(caption);
    if (textSize.cx + mapWidth >= band.Width() && band.Width() > 0) {
        pt = Clamp(int(int64_t(pt) * band.Width() / (textSize.cx + mapWidth + 10)), 60, 160);
        makeFont();
        textSize = dc.GetTextExtent(caption);
    }
    const int drop = im.Height() + 2 * markOffset;
    CRect textRect(band.right - textSize.cx, band.top, band.right, band.bottom);
    dc.DrawText(caption, textRect, platform::qt::DT_CENTER | platform::qt::DT_VCENTER | platform::qt::DT_SINGLELINE);
    textRect.OffsetRect(0, drop);
    dc.DrawText(caption, textRect, platform::qt::DT_CENTER | platform::qt::DT_VCENTER | platform::qt::DT_SINGLELINE);

    // Sheet map: a row of squares for the columns (above and below the image) and a column of
    // squares for the rows (left and right of it); the current sheet's square is filled.
    const int tomboDots = int(m_nTombo * sx);
    const int maxSquare = std::max(5, tomboDots * 6 / 10);
    int size = Clamp(h, 5, maxSquare);
    dc.SelectPen(CPen{platform::qt::PS_SOLID, 3, 0});
    const int midY = (band.top + band.bottom) / 2;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < sheetsH; ++i) {
            const int x = band.left + i * pitch, y = midY - size / 2 + pass * drop;
            dc.SelectBrush(i == column ? CBrush::Solid(0) : CBrush::Hollow());
            dc.Rectangle(CRect(x, y, x + size, y + size));
        }
    }
    CRect side(im.left - markOffset - markWidth, t.top + markOffset + (topFlag != 0 ? overlapDots : 0),
               im.left - markOffset + markWidth, t.bottom - markOffset - (bottomFlag != 0 ? overlapDots : 0));
    const int vpitch = Clamp(pitch * (sheetsV + 1), sheetsV * 5, std::max(sheetsV * 5, side.Height())) / (sheetsV + 1);
    size = Clamp(vpitch * 2 / 3, 5, maxSquare);
    if (size < 20)
        dc.SelectPen(CPen{platform::qt::PS_SOLID, 1, 0});
    const int midX = (side.left + side.right) / 2;
    const int across = im.Width() + 2 * markOffset;
    for (int pass = 0; pass < 2; ++pass) {
        for (int j = 0; j < sheetsV; ++j) {
            const int x = midX - size / 2 + pass * across, y = side.top + j * vpitch;
            dc.SelectBrush(j == row ? CBrush::Solid(0) : CBrush::Hollow());
            dc.Rectangle(CRect(x, y, x + size, y + size));
        }
    }
    dc.SelectPen(CPen{});
    dc.SelectBrush(CBrush::Hollow());
}

void CThumView::DrawTomboMarks(CPrintDC& dc, int x, int y, int overlapDots, int length, int overlapFlag, int vertical)
{
    const int half = length / 2, third = length / 3, tenth = length / 10;
    const CPen wide{platform::qt::PS_SOLID, 3, 0}, thin{platform::qt::PS_SOLID, 1, 0};
    int arm = 0;
    dc.SelectBrush(CBrush::Hollow());
    if (overlapFlag != 0) {
        dc.SelectPen(wide);
        const int ax = vertical ? overlapDots : third, ay = vertical ? third : overlapDots;
        dc.Ellipse(CRect(x - ax, y - ay, x + ax, y + ay));
        dc.SelectPen(thin);
        dc.Ellipse(CRect(x - tenth, y - tenth, x + tenth, y + tenth));
        arm = overlapDots + overlapDots / 5;
    }
    dc.SelectPen(thin);
    if (vertical) {
        dc.MoveTo(x, y - half);
        dc.LineTo(x, y + half);
        dc.MoveTo(x - arm, y);
        dc.LineTo(x + arm, y);
    } else {
        dc.MoveTo(x - half, y);
        dc.LineTo(x + half, y);
        dc.MoveTo(x, y - arm);
        dc.LineTo(x, y + arm);
    }
    dc.SelectPen(CPen{});
}

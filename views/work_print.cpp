// Printing of the work view: File Print (with the print dialog), Print Direct (the chosen or
// default printer without asking) and Print Preview. One page: the client area as the view
// draws it, at the size it has on the screen, made smaller to fit the printable area when it
// is larger.
#include <QPrintPreviewDialog>

#include <algorithm>

#include "platform/qt/qt_colour.h"
#include "views/print_device.h"
#include "views/sm_view.h"

namespace {

class CWorkViewPrint : public views::IPrintableView {
public:
    CWorkViewPrint(CSmView& view, bool direct) : m_view(view), m_direct(direct) {}
    bool OnPreparePrinting(views::CPrintInfo& info) override
    {
        info.m_bDirect = m_direct;
        return info.DoPreparePrinting();
    }
    void OnPrint(views::CPrintDC& dc, views::CPrintInfo&) override { m_view.PrintPage(dc); }

private:
    CSmView& m_view;
    bool m_direct;
};

std::string JobTitle(const CSmView& view)
{
    const CSmDoc* doc = view.GetDoc();
    return doc ? doc->GetTitle() : std::string();
}

} // namespace

CSize CSmView::PrintedSize(CSize client, int screenDpi, int dpiX, int dpiY, CSize printable)
{
    if (client.cx <= 0 || client.cy <= 0 || screenDpi <= 0 || dpiX <= 0 || dpiY <= 0)
        return {};
    int64_t w = int64_t(client.cx) * dpiX / screenDpi, h = int64_t(client.cy) * dpiY / screenDpi;
    if (printable.cx > 0 && printable.cy > 0 && (w > printable.cx || h > printable.cy)) {
        // The larger of the two overhangs decides; the aspect is kept.
        if (w * printable.cy >= h * printable.cx) {
            h = h * printable.cx / w;
            w = printable.cx;
        } else {
            w = w * printable.cy / h;
            h = printable.cy;
        }
    }
    return {int(std::max<int64_t>(1, w)), int(std::max<int64_t>(1, h))};
}

void CSmView::PrintPage(views::CPrintDC& dc)
{
    const CRect client = GetClientRect();
    if (client.IsRectEmpty())
        return;
    QImage frame(client.Width(), client.Height(), QImage::Format_RGB32);
    frame.fill(Qt::white);
    {
        platform::qt::CGdiContext g(frame);
        OnDraw(g);
    }
    printing::SheetBitmap bitmap;
    if (!bitmap.Allocate(frame.width(), frame.height()))
        return;
    for (int y = 0; y < frame.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x)
            bitmap.SetPixel(x, y, platform::qt::FromQRgb(row[x]));
    }
    const int screenDpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    const CSize size = PrintedSize(client.Size(), screenDpi, dc.GetDeviceCaps(views::LOGPIXELSX),
                                   dc.GetDeviceCaps(views::LOGPIXELSY),
                                   {dc.GetDeviceCaps(views::HORZRES), dc.GetDeviceCaps(views::VERTRES)});
    if (size.cx > 0 && size.cy > 0)
        dc.StretchDIBits(0, 0, size.cx, size.cy, bitmap);
}

int CSmView::OnFilePrint(bool direct)
{
    std::unique_ptr<views::IPrinter> printer = views::MakePrinter();
    if (!printer)
        return 0;
    CWorkViewPrint job(*this, direct);
    return views::RunPrintJob(job, *printer, JobTitle(*this));
}

void CSmView::OnFilePrintPreview()
{
    // The preview has its own page setup and print button: the printer is taken as it is.
    views::CQtPrinter printer([](QPrinter&, bool) { return true; });
    CWorkViewPrint job(*this, true);
    QPrintPreviewDialog dialog(&printer.Printer(), this);
    dialog.setWindowTitle(QString::fromStdString(JobTitle(*this)));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [&](QPrinter*) { views::RunPrintJob(job, printer, JobTitle(*this)); });
    dialog.exec();
}

// The printer through QPrinter, its page context over a painter, and the print loop.
#include "views/print_device.h"

#include <QFontMetrics>
#include <QImage>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinterInfo>

#include <algorithm>

#include "platform/qt/qt_colour.h"

namespace views {
namespace {

PrinterFactory& Factory()
{
    static PrinterFactory factory;
    return factory;
}

struct ChosenPrinter {
    QString name;
    QPageLayout layout;
};

ChosenPrinter& Chosen()
{
    static ChosenPrinter chosen;
    return chosen;
}

class CPainterPrintDC : public CPrintDC {
public:
    CPainterPrintDC(QPainter& painter, std::function<int(int)> caps) : m_painter(painter), m_caps(std::move(caps))
    {
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        ApplyPen();
        ApplyBrush();
    }

    int GetDeviceCaps(int index) const override { return m_caps(index); }

    void SelectPen(const platform::qt::CPen& pen) override
    {
        m_pen = pen;
        ApplyPen();
    }
    void SelectBrush(const platform::qt::CBrush& brush) override
    {
        m_brush = brush;
        ApplyBrush();
    }
    void SelectPointFont(const std::string& face, int tenthsOfPoint) override
    {
        platform::qt::CFontSpec spec;
        spec.face = face == "Arial" ? "Liberation Sans" : face;
        const int lpy = std::max(1, m_caps(LOGPIXELSY));
        spec.pixelHeight = std::max(1, tenthsOfPoint * lpy / 720);
        m_painter.setFont(platform::qt::MakeQFont(spec));
    }
    void SetBkMode(int) override {}
    void MoveTo(int x, int y) override { m_pos = QPoint(x, y); }
    void LineTo(int x, int y) override
    {
        m_painter.drawLine(m_pos, QPoint(x, y));
        m_pos = QPoint(x, y);
    }
    void Ellipse(const CRect& r) override { m_painter.drawEllipse(QRect(r.left, r.top, r.Width(), r.Height())); }
    void Rectangle(const CRect& r) override { m_painter.drawRect(QRect(r.left, r.top, r.Width(), r.Height())); }
    CSize GetTextExtent(const std::string& text) override
    {
        const QFontMetrics fm(m_painter.font(), m_painter.device());
        return {fm.horizontalAdvance(QString::fromStdString(text)), fm.height()};
    }
    void DrawText(const std::string& text, const CRect& r, unsigned format) override
    {
        int flags = Qt::TextSingleLine;
        flags |= (format & platform::qt::DT_CENTER) ? Qt::AlignHCenter
                 : (format & platform::qt::DT_RIGHT) ? Qt::AlignRight
                                                     : Qt::AlignLeft;
        flags |= (format & platform::qt::DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
        m_painter.save();
        m_painter.setPen(QColor::fromRgb(platform::qt::ToQRgb(0)));
        m_painter.drawText(QRect(r.left, r.top, r.Width(), r.Height()), flags, QString::fromStdString(text));
        m_painter.restore();
    }
    void StretchDIBits(int x, int y, int w, int h, const printing::SheetBitmap& bitmap) override
    {
        if (bitmap.width <= 0 || bitmap.height <= 0 || w <= 0 || h <= 0)
            return;
        // The rows are stored bottom-up: the image is drawn through a vertical flip, without
        // copying the bitmap.
        const QImage rows(bitmap.bits.data(), bitmap.width, bitmap.height, bitmap.stride, QImage::Format_BGR888);
        m_painter.save();
        m_painter.translate(x, y + h);
        m_painter.scale(1.0, -1.0);
        m_painter.drawImage(QRectF(0, 0, w, h), rows, QRectF(0, 0, bitmap.width, bitmap.height));
        m_painter.restore();
    }

private:
    void ApplyPen()
    {
        if (m_pen.style == platform::qt::PS_NULL) {
            m_painter.setPen(Qt::NoPen);
            return;
        }
        QPen p(QColor::fromRgb(platform::qt::ToQRgb(m_pen.colour)));
        p.setWidth(std::max(1, m_pen.width));
        p.setCapStyle(Qt::FlatCap);
        p.setJoinStyle(Qt::MiterJoin);
        m_painter.setPen(p);
    }
    void ApplyBrush()
    {
        if (m_brush.null)
            m_painter.setBrush(Qt::NoBrush);
        else
            m_painter.setBrush(QColor::fromRgb(platform::qt::ToQRgb(m_brush.colour)));
    }

    QPainter& m_painter;
    std::function<int(int)> m_caps;
    platform::qt::CPen m_pen;
    platform::qt::CBrush m_brush = platform::qt::CBrush::Hollow();
    QPoint m_pos;
};

} // namespace

std::unique_ptr<CPrintDC> MakePainterPrintDC(QPainter& painter, std::function<int(int)> caps)
{
    return std::make_unique<CPainterPrintDC>(painter, std::move(caps));
}

int RunPrintJob(IPrintableView& view, IPrinter& printer, const std::string& title)
{
    CPrintInfo info;
    info.printer = &printer;
    if (!view.OnPreparePrinting(info))
        return 0;
    if (!printer.StartDoc(title))
        return 0;
    int printed = 0;
    for (int page = 1; page <= info.m_nMaxPage; ++page) {
        info.m_nCurPage = page;
        CPrintDC* dc = printer.StartPage();
        if (!dc)
            break;
        view.OnPrepareDC(*dc, info);
        view.OnPrint(*dc, info);
        printer.EndPage();
        ++printed;
    }
    printer.EndDoc();
    return printed;
}

void SetPrinterFactory(PrinterFactory factory) { Factory() = std::move(factory); }

void SetChosenPrinter(const QString& name, const QPageLayout& layout) { Chosen() = {name, layout}; }

std::unique_ptr<IPrinter> MakePrinter()
{
    if (Factory())
        return Factory()();
    return std::make_unique<CQtPrinter>();
}

// ---- QPrinter --------------------------------------------------------------------------------

CQtPrinter::CQtPrinter(Chooser chooser) : m_printer(QPrinter::HighResolution), m_chooser(std::move(chooser)) {}

CQtPrinter::~CQtPrinter()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

bool CQtPrinter::ChoosePrinter(bool direct)
{
    bool ok;
    if (m_chooser) {
        ok = m_chooser(m_printer, direct);
    } else if (direct && !Chosen().name.isEmpty()) {
        m_printer.setPrinterName(Chosen().name);
        m_printer.setPageLayout(Chosen().layout);
        ok = m_printer.isValid();
    } else if (direct) {
        // Without a default printer the printer's own defaults (a file of the default paper)
        // stand in: the print dialog that follows the print properties is where the user picks
        // a printer, so a print asks for it once.
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (!info.isNull())
            m_printer.setPrinterName(info.printerName());
        ok = m_printer.isValid();
    } else {
        QPrintDialog dialog(&m_printer);
        ok = dialog.exec() == QDialog::Accepted;
    }
    m_chosen = ok;
    return ok;
}

PrinterDeviceMode CQtPrinter::GetDeviceMode() const
{
    PrinterDeviceMode mode;
    mode.deviceName = m_printer.outputFormat() == QPrinter::PdfFormat && m_printer.printerName().isEmpty()
                          ? std::string("PDF")
                          : m_printer.printerName().toStdString();
    const QPageLayout layout = m_printer.pageLayout();
    const QSizeF paper = layout.pageSize().size(QPageSize::Millimeter);
    mode.paperWidth = int(paper.width() * 10.0 + 0.5);
    mode.paperLength = int(paper.height() * 10.0 + 0.5);
    mode.orientation = layout.orientation() == QPageLayout::Landscape ? 2 : 1;
    return mode;
}

bool CQtPrinter::HasContext() const { return m_chosen && m_printer.isValid(); }

int CQtPrinter::GetDeviceCaps(int index) const
{
    const QPageLayout layout = m_printer.pageLayout();
    const int dpi = m_printer.resolution();
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return dpi;
    // From the paint rectangle in millimetres, which keeps a custom paper's exact size (the
    // pixel rectangle goes through whole points).
    case HORZRES: return qRound(layout.paintRect(QPageLayout::Millimeter).width() * dpi / 25.4);
    case VERTRES: return qRound(layout.paintRect(QPageLayout::Millimeter).height() * dpi / 25.4);
    case HORZSIZE: return int(layout.paintRect(QPageLayout::Millimeter).width());
    case VERTSIZE: return int(layout.paintRect(QPageLayout::Millimeter).height());
    default: return 0;
    }
}

bool CQtPrinter::StartDoc(const std::string& title)
{
    m_printer.setDocName(QString::fromStdString(title));
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(&m_printer)) {
        m_painter.reset();
        return false;
    }
    m_page = 0;
    return true;
}

CPrintDC* CQtPrinter::StartPage()
{
    if (!m_painter)
        return nullptr;
    if (m_page > 0 && !m_printer.newPage())
        return nullptr;
    ++m_page;
    m_dc = MakePainterPrintDC(*m_painter, [this](int index) { return GetDeviceCaps(index); });
    return m_dc.get();
}

void CQtPrinter::EndPage() { m_dc.reset(); }

void CQtPrinter::EndDoc()
{
    m_dc.reset();
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
}

} // namespace views

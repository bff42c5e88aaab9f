// Printing for the views: a printer (chosen without asking or through the print dialog, its
// paper and printable area, one page after another), a drawing context on a printer page in
// device dots with the conventions the views are written for, and the print loop a view runs
// on itself: prepare (with the printer chosen), then for every page prepare the context and
// print the page.
#pragma once

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <functional>
#include <memory>
#include <string>

#include "common/basic_types.h"
#include "platform/qt/gdi_context.h"
#include "views/print_layout.h"

namespace views {

// Device capability indices.
enum DeviceCap { HORZSIZE = 4, VERTSIZE = 6, HORZRES = 8, VERTRES = 10, LOGPIXELSX = 88, LOGPIXELSY = 90 };

// The paper as the printer's settings give it.
struct PrinterDeviceMode {
    std::string deviceName;
    int paperWidth = 0;    // tenths of a millimetre
    int paperLength = 0;   // tenths of a millimetre
    int orientation = 1;   // 1 portrait, 2 landscape
};

// A drawing context on one printer page; coordinates are device dots from the printable
// area's top-left corner.
class CPrintDC {
public:
    virtual ~CPrintDC() = default;
    virtual int GetDeviceCaps(int index) const = 0;
    virtual void SelectPen(const platform::qt::CPen& pen) = 0;
    virtual void SelectBrush(const platform::qt::CBrush& brush) = 0;
    // A named font at a size in tenths of a point.
    virtual void SelectPointFont(const std::string& face, int tenthsOfPoint) = 0;
    virtual void SetBkMode(int mode) = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    virtual void Ellipse(const CRect& r) = 0;
    virtual void Rectangle(const CRect& r) = 0;
    virtual CSize GetTextExtent(const std::string& text) = 0;
    virtual void DrawText(const std::string& text, const CRect& r, unsigned format) = 0;
    // The whole bitmap stretched without smoothing to (x, y, w, h).
    virtual void StretchDIBits(int x, int y, int w, int h, const printing::SheetBitmap& bitmap) = 0;
};

// A printer: the device chosen for a job, its paper and its pages.
class IPrinter {
public:
    virtual ~IPrinter() = default;
    // Chooses the printer: the default one without asking (`direct`) or through the print
    // dialog. False when there is none or the user cancelled.
    virtual bool ChoosePrinter(bool direct) = 0;
    virtual bool HasDeviceMode() const = 0;
    virtual PrinterDeviceMode GetDeviceMode() const = 0;
    // Whether a context can be made for the chosen printer.
    virtual bool HasContext() const = 0;
    virtual int GetDeviceCaps(int index) const = 0;
    // One job: pages are numbered from 1. StartPage gives the page's context (valid until
    // EndPage); none when the page cannot be started.
    virtual bool StartDoc(const std::string& title) = 0;
    virtual CPrintDC* StartPage() = 0;
    virtual void EndPage() = 0;
    virtual void EndDoc() = 0;
};

// What the print loop knows of one job.
struct CPrintInfo {
    IPrinter* printer = nullptr;
    bool m_bDirect = false;
    int m_nCurPage = 1;
    int m_nMaxPage = 1;
    void SetMaxPage(int n) { m_nMaxPage = n; }
    // Asks for the printer (without asking when m_bDirect); false when there is none.
    bool DoPreparePrinting() { return printer && printer->ChoosePrinter(m_bDirect); }
};

// A view that prints.
class IPrintableView {
public:
    virtual ~IPrintableView() = default;
    virtual bool OnPreparePrinting(CPrintInfo& info) = 0;
    virtual void OnPrepareDC(CPrintDC&, CPrintInfo&) {}
    virtual void OnPrint(CPrintDC& dc, CPrintInfo& info) = 0;
};

// The print command: prepare, then every page from 1 to the maximum page. Answers the number
// of pages printed (0 when the job did not start).
int RunPrintJob(IPrintableView& view, IPrinter& printer, const std::string& title);

// The printer a print command uses; tests install one that writes PDF.
using PrinterFactory = std::function<std::unique_ptr<IPrinter>()>;
void SetPrinterFactory(PrinterFactory factory);
std::unique_ptr<IPrinter> MakePrinter();

// The printer and paper chosen with Print Setup: what a print job takes without asking. An
// empty name goes back to the system's default printer.
void SetChosenPrinter(const QString& name, const QPageLayout& layout);

// A printer through QPrinter. The print dialog is the system's unless a chooser is given
// (tests script it); the chooser may change the printer's settings and answers false for
// Cancel.
class CQtPrinter : public IPrinter {
public:
    using Chooser = std::function<bool(QPrinter& printer, bool direct)>;
    explicit CQtPrinter(Chooser chooser = {});
    ~CQtPrinter() override;
    QPrinter& Printer() { return m_printer; }

    bool ChoosePrinter(bool direct) override;
    bool HasDeviceMode() const override { return m_chosen; }
    PrinterDeviceMode GetDeviceMode() const override;
    bool HasContext() const override;
    int GetDeviceCaps(int index) const override;
    bool StartDoc(const std::string& title) override;
    CPrintDC* StartPage() override;
    void EndPage() override;
    void EndDoc() override;

private:
    QPrinter m_printer;
    Chooser m_chooser;
    bool m_chosen = false;
    int m_page = 0;
    std::unique_ptr<QPainter> m_painter;
    std::unique_ptr<CPrintDC> m_dc;
};

// A drawing context over a painter whose coordinates are device dots.
std::unique_ptr<CPrintDC> MakePainterPrintDC(QPainter& painter, std::function<int(int)> caps);

} // namespace views

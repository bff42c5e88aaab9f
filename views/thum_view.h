// The picture information view ("CThumView"): the pane under the image finder that shows the
// picture last picked (a 160 x 120 thumbnail, its file and camera data, the fit's conclusions
// about the base picture and the output angle), the timer dial of long jobs, and the start of
// a thumbnail drag into the work view. It also prints a rendered image file at a chosen size,
// on one sheet or over a grid of overlapping sheets (thum_print.cpp).
#pragma once

#include <QCursor>
#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

#include "document/sm_doc.h"
#include "imagefile/bitmap.h"
#include "platform/qt/surface_widget.h"
#include "views/print_device.h"
#include "views/thum_dial.h"

class CThumView : public platform::qt::CSurfaceWidget, public IThumView, public views::IPrintableView {
    Q_OBJECT
public:
    explicit CThumView(QWidget* parent = nullptr);
    ~CThumView() override;

    CSmDoc* GetDoc() const;
    IFrameWindow* GetParentFrame() override { return m_frame; }
    void SetParentFrame(IFrameWindow* frame) { m_frame = frame; }

    void OnInitialUpdate();
    void OnUpdate(IDocumentView* sender, int hint, const HintObject& object) override;

    // ---- IThumView -------------------------------------------------------------------------
    // 1 when the thumbnail bitmap now holds the entry's picture (which becomes the shown one);
    // -1 for a bad index, a thumbnail that is not 160 x 120 or no bitmap. Does not repaint.
    int SetThumbnail(int entry) override;
    void RepaintNow() override;
    CRect ScreenClientRect() const override;

    int BuildThumbBitmap(CBitmapBuffer& bitmap, int entry);
    // The information lines of an entry from (x, y); 1 when they stopped at the pane's bottom.
    int FormatPictureInfo(platform::qt::CGdiContext& dc, int entry, int thumbRight, int thumbBottom, int x, int y);

    // ---- Mouse (client coordinates) ---------------------------------------------------------
    void OnLButtonDown(CPoint point);
    void OnLButtonUp(CPoint point);
    void OnMouseMove(CPoint point, bool leftDown);
    void OnLButtonDblClk(CPoint point);

    // ---- Printing ----------------------------------------------------------------------------
    // The framework's print command on this view.
    void OnFilePrint();
    bool OnPreparePrinting(views::CPrintInfo& info) override;
    void OnPrint(views::CPrintDC& dc, views::CPrintInfo& info) override;
    void DrawPageFrame(views::CPrintDC& dc, CSize frameExtent, const CRect& frame, const CRect& tile,
                       const CRect& image, int pageIndex);
    void DrawTomboMarks(views::CPrintDC& dc, int x, int y, int overlapDots, int length, int overlapFlag, int vertical);

    // ---- State (read by the tests) -------------------------------------------------------------
    int m_nShown = -1;
    int m_nThumbState = 0;
    std::string m_strShownName;
    CPoint m_ptHotspot;
    CSize m_sizeShown;
    CBitmapBuffer m_bmThumb;
    int m_nBytesPerPixel = 0;
    std::vector<uint8_t> m_thumbBits;
    int m_bInitialized = 0;
    COLORREF m_brBack = RGB(192, 192, 192);
    int m_nPaneMode = 0;
    CPoint m_ptThumb;
    QImage m_bmDial;
    thumdial::DialState m_dial;
    QCursor m_hDragCursor;
    std::string m_strPrintFile;

    // Print state, kept between jobs.
    CSize m_sizeImage;
    CSize m_sizeSampled;
    CRect m_rcSampled;
    int m_nPictureTurn = 0;
    int m_nUnit = 0;
    CPoint m_ptPrintOffset;
    CSize m_sizePrint;
    int m_nOverlap = 50;
    int m_nTombo = 90;
    CSize m_sizeTile;
    int m_nSheetsH = 1, m_nSheetsV = 1;

    // The detected 16-bit screen format (0 not yet, 15 or 16), process-wide.
    static int s_n16BitFormat;

protected:
    void OnDraw(platform::qt::CGdiContext& dc) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The pane's drawing depends on its size (centred banner, margins, text beside or under the
    // thumbnail): a new size redraws it all from a clean background.
    void resizeEvent(QResizeEvent* event) override;

private:
    void DrawFileDetails(platform::qt::CGdiContext& dc, int entry);
    void DrawIdleBanner(platform::qt::CGdiContext& dc);
    void DrawTimerDial(platform::qt::CGdiContext& dc, int x, int y);
    void DrawDialHand(platform::qt::CGdiContext& dc, int x, int y, int value);
    void DrawDialFace(platform::qt::CGdiContext& dc, int x, int y);
    // The thumbnail bitmap as an image to blit; null when it cannot be shown that way.
    QImage ThumbImage() const;
    void ComputeMargins();

    IFrameWindow* m_frame = nullptr;
};

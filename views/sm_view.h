// The work view: the middle pane of the main window. A scrolling view of the work space with
// an off-screen canvas over the zoomed work space into which the placed pictures are drawn
// progressively in idle time, the stock of piece thumbnails along the pane's border, the grid,
// the cross lines through the work-space origin, the leader lines of fitted pieces and the
// rendering area with its handles.
#pragma once

#include <QImage>
#include <QPointer>

#include <array>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "document/sm_doc.h"
#include "views/command_target.h"
#include "views/drag_overlay.h"
#include "views/scroll_view.h"
#include "views/work_canvas.h"
#include "views/work_geometry.h"

namespace views {
class CPrintDC;
}

namespace workview {
class CWorkInput;
struct JobPanel {
    CRect panel, text, guide, brk;
};
}

class CSmView : public views::CScrollViewBase, public IWorkView, public ICommandTarget {
    Q_OBJECT
public:
    explicit CSmView(QWidget* parent = nullptr);
    ~CSmView() override;

    CSmDoc* GetDoc() const;
    IFrameWindow* GetParentFrame() override { return m_frame; }
    void SetParentFrame(IFrameWindow* frame) { m_frame = frame; }
    // How a project file dropped on the view is opened: the application's open (recent list,
    // save-changes question, column widths); without one the document opens it itself.
    void SetProjectOpener(std::function<bool(const std::string&)> opener) { m_openProject = std::move(opener); }
    bool OpenProjectFile(const std::string& path)
    {
        if (m_openProject)
            return m_openProject(path);
        CSmDoc* doc = GetDoc();
        return doc && doc->OpenDocumentFile(path);
    }

    // Buffers, display checks and the first layout.
    void OnInitialUpdate();
    void OnUpdate(IDocumentView* sender, int hint, const HintObject& object) override;

    // ---- IWorkView -------------------------------------------------------------------------
    int ProcessLoadQueue() override;
    void RepaintNow() override;
    void UpdateNow() override { UpdateWindow(); }
    void MarkCellsInArea() override;
    void EraseMarkedCells() override;
    void ClearCanvas() override;
    void QueuePictureLoad(const std::string& path) override;

    // ---- Mappings --------------------------------------------------------------------------
    workview::Mapping Map() const { return {m_nZoom, m_ptCanvasOrigin, m_ptScrollOrigin}; }
    CPoint WorkToCanvas(CPoint p) const { return Map().WorkToCanvas(p); }
    CPoint WorkToView(CPoint p) const { return Map().WorkToView(p); }
    CRect WorkRectToView(const CRect& r) const { return Map().WorkRectToView(r); }
    CPoint ViewToWork(CPoint p) const { return Map().ViewToWork(p); }
    CRect ViewRectToWork(const CRect& r) const { return Map().ViewRectToWork(r); }

    // ---- Layout and zoom -------------------------------------------------------------------
    void ChooseFitZoom(CSize content, CSize view);
    void UpdateScrollLayout(CSize shift);
    void ScrollToOrigin();
    CPoint GetViewCenter() const;
    void ScrollToCenter(CPoint work);
    void SetZoom(int zoom);
    void PublishZoom(int zoom);
    void RecenterCanvas();
    int RecalcStockLayout(int level);
    CSize GetThumbSize(int entry) const;
    CSize GetPieceSize(int entry) const;
    CPoint GetStockCellOrigin(int index, int w, int h, CPoint& anchor) const;
    int LoadNextPieceThumbnail();

    // ---- Progressive drawing ---------------------------------------------------------------
    void QueuePlacedPictures(int lowestState);
    int RemoveFromLoadQueue(const std::string& name);
    void RedrawCanvas();
    void UpdateStatusText();
    // The overlap patterns of the base picture at the dragged piece's point marks; -1 when no
    // piece is dragged.
    int DrawDropPatterns(platform::qt::CGdiContext& dc, CPoint src);

    // ---- State (read by the input handlers and the tests) -----------------------------------
    int m_nZoom = 1;
    CSize m_sizeCanvas;
    CRect m_rcCanvas;
    CPoint m_ptCanvasOrigin;
    CRect m_rcScroll;
    CPoint m_ptScrollOrigin;
    std::list<std::string> m_loadQueue;
    std::string m_strLoading;
    int m_nLoadState = 0;
    int m_bRecenterPending = 0;
    int m_bDrawEnabled = 1;
    int m_bCellsMarked = 0;
    int m_bCanvasReady = 0;
    int m_bQuickPieces = 0;
    int m_bRebuildPieceBitmaps = 0;
    workview::StockLayout m_stock;
    std::array<CRect, 17> m_rcAreaHandles{};
    CPoint m_ptViewShift;
    int m_nGrabbedHandle = 0;
    // The mouse state and the pressed entry of a drag in progress; the drop patterns are drawn
    // while the state is 1 or more.
    int m_nMouseState = 0;
    int m_nDragEntry = -1;
    CRect m_rcCloseBox;
    workview::CWorkCanvas m_canvas;
    workview::CBandDrawer m_band;

    // ---- Input (the logic is workview::CWorkInput; sm_view_input.cpp binds it) ----------------
    // None before the view has a document.
    workview::CWorkInput* Input();
    // Files dropped on the main window (hints 113 and 127).
    int DropFilesOnView(int hint);
    // Command 32803: shows or hides the rendering area.
    void OnProcessSetRenderingArea();
    // A shown rendering area that does not fit the client area is brought into sight: the view
    // zooms out until it fits with its handles, and scrolls to it.
    void ShowWholeArea();
    // The view handles 32803 before the document; its enable state stays the document's.
    bool OnCommand(int id) override;
    std::optional<CommandState> GetCommandState(int) const override { return std::nullopt; }
    // A piece's stock and placed rectangles in client pixels; empty when it has none.
    CRect PieceStockRect(int entry) const;
    CRect PieceWorkRect(int entry) const;
    // The drag image in main-window coordinates: kind 1 a piece bitmap, 2 the fit preview (its
    // transparent colour is 0x88817A); the hotspot is the image point under the pointer.
    struct DragImage {
        int kind = 0;
        int entry = -1;
        bool visible = false;
        CPoint position;
        CPoint hotspot;
        CSize size;
        QImage preview;
    };
    DragImage m_dragImage;
    int m_nCursorId = 0;
    // 1 once the cell layer has laid the placed rectangles.
    int m_bLayoutValid = 0;
    // The poles the area drawing stores for fisheye projections; (0, 0) otherwise.
    CPoint m_ptPoleTop;
    CPoint m_ptPoleBottom;
    // Placed pieces' rectangles by entry index, client pixels.
    std::map<int, CRect> m_workRects;

    // ---- The job panel (message_panels.cpp) ---------------------------------------------------
    // Client rectangles of the panel drawn for a job text: the panel, its text and the buttons
    // "Show Guide" and "Break Process".
    workview::JobPanel LayoutJobPanel(const std::string& text) const;

    // ---- Printing (work_print.cpp) ------------------------------------------------------------
    // Commands 57607 (print) and 57608 (print direct): pages printed, 0 when nothing was.
    int OnFilePrint(bool direct);
    // Command 57609.
    void OnFilePrintPreview();
    // The one page: the client area as drawn, at its screen size.
    void PrintPage(views::CPrintDC& dc);
    // Device dots of the printed client area: its physical size on a screen of `screenDpi`,
    // made smaller (keeping the aspect) when it does not fit the printable area.
    static CSize PrintedSize(CSize client, int screenDpi, int dpiX, int dpiY, CSize printable);

    // ---- Drag image on the main window (drag_overlay.cpp) -------------------------------------
    // Brings the overlay in line with m_dragImage; `rebuild` when the image itself changed.
    void SyncDragOverlay(bool rebuild);
    // None until the first drag.
    views::CDragOverlay* DragOverlay() const { return m_dragOverlay.data(); }

    // ---- Placed pieces (the work-space frames layer) ------------------------------------------
    // The grid's cell frames, then every unfitted piece laid in a cell, centred in it; the
    // drawn rectangles become m_workRects and the layout valid.
    void DrawWorkPieces(platform::qt::CGdiContext& dc, CPoint src);
    // The same rectangles without drawing, for the current scroll position (before the mouse
    // input tests them).
    void RefreshWorkLayout();
    // Size of an entry's work-space piece bitmap ((0, 0): the grid cell at the zoom, at most
    // 160 on a side); (0, 0) without a complete thumbnail.
    CSize PreparePieceBitmap(int entry, CSize wanted);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void OnDraw(platform::qt::CGdiContext& dc) override;
    void OnScrolled(CSize delta) override;
    void resizeEvent(QResizeEvent* event) override;
    void OnHScroll(int code, int track) override;
    void OnVScroll(int code, int track) override;

private:
    void DrawMargins(platform::qt::CGdiContext& dc, CPoint src);
    void DrawGrid(platform::qt::CGdiContext& dc, const CRect& client);
    void DrawCrossLines(platform::qt::CGdiContext& dc, CPoint src, CPoint work);
    int DrawPieces(platform::qt::CGdiContext& dc, int dx, int dy);
    int DrawPieceFrame(int entry);
    void DrawPieceOutlines(platform::qt::CGdiContext& dc, CPoint src);
    int DrawMarkPolygon(platform::qt::CGdiContext& dc, int entry, CPoint src, const platform::qt::CPen& pen);
    void DrawRenderingArea(platform::qt::CGdiContext& dc, const CRect& client, CPoint o);
    // The thumbnail of an entry scaled and turned to the piece size; null without a complete
    // thumbnail.
    QImage BuildPieceBitmap(int entry, CSize size) const;
    // Forgets the stock frame and the work-space bitmap of every entry whose thumbnail is no
    // longer complete (emptied because the picture's colours changed), so both are built anew
    // from the thumbnail read next.
    void DropStalePieceBitmaps();
    CSize ClientSize() const { return GetClientRect().Size(); }

    IFrameWindow* m_frame = nullptr;
    std::function<bool(const std::string&)> m_openProject;
    int m_lastPaintZoom = 0;
    // Set by the initial update: until the user scrolls, a new client size keeps work-space
    // (0, 0) in the middle (the frame takes its final size only after the view was made).
    bool m_originPending = false;
    // Framed piece bitmaps and anchors by entry index.
    std::map<int, QImage> m_pieceFrames;
    std::map<int, CPoint> m_pieceAnchors;
    std::map<int, CRect> m_stockRects;
    // The job-message layer: while a job runs, its panel; the buttons' screen rectangles go to
    // the document.
    void DrawMessagePanels(platform::qt::CGdiContext& dc, CPoint src);
    // The pixels of the current drag image: the piece bitmap or the fit preview.
    QImage DragImagePixels() const;
    QPointer<views::CDragOverlay> m_dragOverlay;

    // Work-space piece bitmaps by entry index.
    std::map<int, QImage> m_workPieceBitmaps;
    void LayWorkPieces(platform::qt::CGdiContext* dc, CPoint src);
    struct InputBindings;
    std::shared_ptr<InputBindings> m_inputBindings;
};

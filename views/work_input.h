// The work view's mouse and keyboard logic without a window: presses, drags, releases, the
// right button, keys and scroll codes acting on the pieces, the fit preview while a picture is
// dragged, panning, and the editing of the rendering area by its sixteen handles. The view feeds
// it plain events; it calls the document and the picture set through small interfaces and asks
// the view for everything visible (cursor, capture, drag image, redraws) through IViewEffects.
// Coordinates: client pixels of the view, screen pixels, view units (zoomed work units plus the
// scroll origin) and work-space units (see work_geometry.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "views/work_geometry.h"

class CPixelArray;

namespace workview {

// One mouse event as the view saw it.
struct InputEvent {
    CPoint client;
    CPoint screen;
    bool left = false;
    bool right = false;
    bool shift = false;
    bool ctrl = false;
};

// Cursor resource ids of the work view.
enum InputCursor {
    kCursorPan = 159,
    kCursorDragImage = 174,
    kCursorMoveOne = 179,
    kCursorMoveSeveral = 180,
};

// What the input asks of the document.
class IInputDocument {
public:
    virtual ~IInputDocument() = default;
    // ---- Pieces (entry indices; rectangles in client units) ----
    virtual std::vector<int> PieceList() const = 0;
    virtual CRect StockRect(int entry) const = 0;
    virtual CRect WorkRect(int entry) const = 0;
    virtual int CellMargin() const = 0;
    // 6 unselected, 7 selected.
    virtual int EntryState(int entry) const = 0;
    virtual void SetEntryState(int entry, int state) = 0;
    virtual std::string EntryName(int entry) const = 0;
    virtual int CountSelectedPieces() const = 0;
    virtual void DeselectAllPieces() = 0;
    virtual bool LayoutValid() const = 0;
    virtual void SetCurrentEntry(int entry) = 0;
    virtual void ClearStatusMessage() = 0;
    // Turns a point of a piece rectangle into picture pixels and keeps the drag hotspot.
    virtual CPoint PiecePointToPicture(int entry, CPoint point, const CRect& piece) = 0;
    virtual void ClearDropList() = 0;
    // The name of the window under a screen point ("" none; "ColorAdjust" the colour fit manager).
    virtual std::string HitTestDropTarget(CPoint screen) = 0;
    virtual void DropOnColorFit(const std::string& name, CPoint screen) = 0;
    virtual std::string HitTestFittedPiece(CPoint work) = 0;
    virtual int FindPieceIndexByName(const std::string& name) const = 0;
    virtual int FindEntryIndex(const std::string& name) = 0;
    virtual int RegisterPicture(const std::string& name) = 0;
    virtual CSize EntrySize(int entry) const = 0;
    virtual int AddFirstDroppedPicture() = 0;
    virtual void SetPictureTurn(int entry) = 0;
    // The drop point (work units) is set, then the piece dropped: the document's answer.
    virtual int DropPiece(int entry, CPoint work) = 0;
    virtual int PlacePiecesInRow(int entry, CPoint work) = 0;
    // The piece loses its grid position and the work space is laid out again.
    virtual void FreePieceCell(int entry) = 0;
    virtual void MovePieceBefore(int entry, int before) = 0;
    // Returns a piece (kNoPiece: every selected piece) to the stock; above 0 when one was.
    virtual int EjectPieces(int entry) = 0;
    virtual void SetDropOffset(CPoint screen) = 0;
    virtual void ClearRenderRequest() = 0;
    virtual void SendHint(int hint, int object) = 0;
    // ---- A drag handed over by another pane ----
    virtual int ThumbDragState() const = 0;
    virtual uint32_t ThumbDragTick() const = 0;
    virtual std::string DroppedNames() const = 0;
    virtual CPoint DropAnchor() const = 0;
    virtual double& CirclingTurn() = 0;
    // ---- The rendering area ----
    virtual CRect RenderArea() const = 0;
    virtual void SetRenderArea(const CRect& area) = 0;
    virtual int AreaShown() const = 0;
    virtual void SetAreaShown(int shown) = 0;
    virtual int AreaMode() const = 0;
    virtual int RenderSetup() const = 0;
    virtual void SetRenderSetup(int value) = 0;
    virtual int FullTurnWidth() const = 0;
    virtual CSize OutputSize() const = 0;
    // Recomputes the output size (step 1) into the document.
    virtual void RefreshOutputSize() = 0;
    virtual int ProjectionCode() const = 0;
    virtual void ApplyProjection(int code) = 0;
    virtual int FisheyeDefault() const = 0;
    virtual int RingFisheyeDefault() const = 0;
    virtual CPoint PoleTop() const = 0;
    virtual CPoint PoleBottom() const = 0;
    virtual void CenterRenderArea() = 0;
    virtual void FitRenderAreaToPictures(const CRect& view) = 0;
    virtual void SetDefaultRenderArea() = 0;
    virtual void ClipRenderAreaToView(const CRect& view) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // ---- Files dropped on the main window ----
    // The screen point of the drop; (0, 0) when none.
    virtual CPoint DropOffset() const = 0;
    // Enters every dropped picture; the count entered.
    virtual int AddDroppedPictures() = 0;
    // Opens a project file in place of the current one; true on success.
    virtual bool OpenProject(const std::string& path) = 0;
};

// What the input asks of the picture set.
class IInputFacade {
public:
    virtual ~IInputFacade() = default;
    // The drag preview: a score; `work` may move to the matched place; the mask is painted.
    virtual int DragPicture(const std::string& name, double turn, CPixelArray& mask, CPoint& work, int zoom,
                            int mode) = 0;
    virtual double CirclingSpeed(CPoint work) = 0;
    virtual int SetupRender(const CRect& area, CSize output, int mode) = 0;
    virtual int FinishDrag(CPoint shift, double angle) = 0;
    virtual int FinishMove(CPoint shift, double angle) = 0;
    virtual int FittedCount() = 0;
};

// What the input asks of the view on screen.
class IViewEffects {
public:
    virtual ~IViewEffects() = default;
    virtual void SetCursor(int id) = 0;
    virtual void SetCapture(bool on) = 0;
    // The offset from the view's client origin to the main window's origin.
    virtual CPoint FrameOffset() const = 0;
    // Kind 1: the piece bitmap of `entry` with the hotspot at the picture point; kind 2: the
    // 128 x 128 preview with the hotspot (64, 64). False when no image was made.
    virtual bool BeginDragImage(int kind, int entry, CPoint picturePoint) = 0;
    virtual void SetPreviewImage(const CPixelArray& mask) = 0;
    virtual void DragEnter(CPoint framePoint) = 0;
    virtual void DragMove(CPoint framePoint) = 0;
    virtual void EndDrag() = 0;
    virtual void Invalidate(bool erase) = 0;
    virtual void UpdateWindow() = 0;
    virtual Mapping Map() const = 0;
    virtual CRect ClientRect() const = 0;
    virtual CPoint ScrollPosition() const = 0;
    virtual CSize ScrollLimit() const = 0;
    virtual CSize LineSize() const = 0;
    virtual CSize PageSize() const = 0;
    virtual void SetScrollPosition(CPoint position) = 0;
    // The quick redraw of pieces and the pending recentre of the canvas.
    virtual void MarkScrolled() = 0;
    // The rectangle of a handle (1..16) in view units, laid by the area drawing.
    virtual CRect AreaHandle(int handle) const = 0;
    virtual void ClearAreaHandles() = 0;
    virtual void UpdateStatusText() = 0;
    virtual void ExpireStatusText() = 0;
    virtual void RedrawCanvas() = 0;
    virtual void RecenterCanvas() = 0;
    virtual void UpdateScrollLayout(CSize shift) = 0;
    virtual void ChooseFitZoom(int entry) = 0;
    virtual void QueuePictureLoad(const std::string& name) = 0;
    virtual void ClearCanvasAndZoom() = 0;
    virtual void OpenPicture(int entry) = 0;
    virtual void ScrollToOrigin() = 0;
    virtual CPoint ScreenToClient(CPoint screen) const = 0;
    virtual void RecalcStockLayout() = 0;
    // After another project was opened: pane widths, layout and title.
    virtual void AfterProjectOpened() = 0;
};

// The rectangles of the area handles (index = handle number, 1..16) in view units, for the area
// `area`, the visible work rectangle `visible` and, for fisheye projections, the two poles.
std::array<CRect, 17> AreaHandleRects(const Mapping& map, const CRect& area, const CRect& visible, bool fisheye,
                                      CPoint poleTop, CPoint poleBottom);

// Projection codes 30 to 39.
constexpr bool IsFisheyeCode(int code) { return code >= 30 && code <= 39; }

class CWorkInput {
public:
    static constexpr int kNoPiece = -1;
    // The last tried preview point before any try, and after a failed one.
    static constexpr CPoint kNoTry{-10000, -10000};

    CWorkInput(IInputDocument& doc, IInputFacade& facade, IViewEffects& view);

    void OnLButtonDown(const InputEvent& e, uint32_t tick);
    void OnMouseMove(const InputEvent& e, uint32_t tick);
    void OnLButtonUp(const InputEvent& e, uint32_t tick);
    void OnLButtonDblClk(const InputEvent& e);
    void OnRButtonDown(const InputEvent& e);
    // Keys 46 (Delete) and 37 to 40 (arrows).
    void OnKeyDown(int key);
    // Scroll bar codes (0 line up, 1 line down, 2 page up, 3 page down, 4 thumb position,
    // 5 thumb track, 6 top, 7 bottom, 8 end scroll); `horizontal` picks the axis.
    void OnScroll(bool horizontal, int code, int track);
    // Command 32803; `second` is the seconds field of the local time, or kNotByUser when the
    // area is shown or hidden for the manager pane (no double use is counted then).
    static constexpr int kNotByUser = -2;
    void OnProcessSetRenderingArea(int second);
    // The arrow keys on the hovered handle; 1.
    int MoveAreaHandle(int key);
    // Files dropped on the main window (hint 113 one file, 127 several): the entry of one
    // entered picture, 1 for an opened project, the count of several, -1 for none.
    int DropFilesOnView(int hint);
    // Removes a piece (kNoPiece: every selected piece); the document's answer.
    int RemovePiece(int entry);

    // Hit tests on client points; -1 when none.
    int HitTestStockPiece(CPoint client) const;
    int HitTestWorkPiece(CPoint client) const;
    // Handle picking on a view point; `press` maps the poles to handle 13.
    int PickHandle(CPoint view, bool press) const;

    // ---- State (read by the view and the tests) ----
    int m_nMouseState = 0;
    int m_nDragEntry = -2;
    CPoint m_ptDragPicture;
    int m_nPressKind = 0;
    int m_nDragImageKind = 0;
    CRect m_rcDragStart;
    CPoint m_ptDragHotspot;
    CPoint m_ptFitCandidate;
    CPoint m_ptPanStart;
    CPoint m_ptPanScroll;
    int m_nLastPressed = -1;
    int m_nSelectedCount = 0;
    CRect m_rcCloseBox;
    int m_nGrabbedHandle = 0;
    int m_nHoverHandle = 0;
    CPoint m_ptGrabOffset;
    int m_nSnap360 = 0;
    CPoint m_ptViewShift;
    double m_dTurnAngle = 0.0;
    // The work point of the last preview try.
    CPoint m_ptLastTry = kNoTry;
    // Offset from the pointer to an accepted candidate, view units.
    CPoint m_ptCandidateOffset;
    // Seconds field of the previous use of the area command; -1 before any.
    int m_nLastAreaSecond = -1;
    // Counts presses and moves that reset the idle counter (the document's idle step reads it).
    int m_nIdleResets = 0;

private:
    CPoint ClientToView(CPoint client) const;
    CPoint ClientToWork(CPoint client) const;
    void PressStockPiece(int entry, const InputEvent& e);
    void PressWorkPiece(int entry, const InputEvent& e);
    void PressPiece(int entry, CPoint client, const CRect& rect, int kind);
    int TakeOverThumbDrag();
    void MakeDragImage();
    void MovePreview(const InputEvent& e, CPoint framePoint);
    void PressHandle(const InputEvent& e);
    void DragHandle(const InputEvent& e);
    void ReleaseHandle();
    void AfterAreaChange(bool dragging, int movedEdges);
    void ApplySnap(int result, int movedEdges);
    void Release(const InputEvent& e, int oldState);
    bool IsFisheye() const;

    IInputDocument& m_doc;
    IInputFacade& m_facade;
    IViewEffects& m_view;
};

} // namespace workview

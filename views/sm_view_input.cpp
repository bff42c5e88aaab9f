// The work view's input on the real document, picture set and widget: the three interfaces of
// the input logic bound to CSmDoc, CMcomp and CSmView, and the widget's Qt event handlers, which
// only translate events (client and screen point, buttons, Shift and Ctrl, the clock's tick).
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

#include "document/sm_doc.h"
#include "imagefile/pixel_array.h"
#include "picset/mcomp.h"
#include "platform/clock.h"
#include "platform/qt/input_filter.h"
#include "platform/status_bar.h"
#include "views/sm_view.h"
#include "views/work_input.h"

namespace {

using workview::CWorkInput;

class CDocInput : public workview::IInputDocument {
public:
    CDocInput(CSmView& view) : m_view(view) {}
    CSmDoc& Doc() const { return *m_view.GetDoc(); }
    bool Valid(int e) const { return e >= 0 && e < static_cast<int>(Doc().m_entries.size()); }

    std::vector<int> PieceList() const override { return {Doc().m_pieceList.begin(), Doc().m_pieceList.end()}; }
    CRect StockRect(int e) const override { return m_view.PieceStockRect(e); }
    CRect WorkRect(int e) const override { return m_view.PieceWorkRect(e); }
    int CellMargin() const override { return m_view.m_stock.margin; }
    int EntryState(int e) const override { return Valid(e) ? Doc().m_entries[e].m_State : 0; }
    void SetEntryState(int e, int s) override
    {
        if (Valid(e))
            Doc().m_entries[e].m_State = s;
    }
    std::string EntryName(int e) const override { return Valid(e) ? Doc().m_entries[e].m_Name : std::string(); }
    int CountSelectedPieces() const override { return Doc().CountSelectedPieces(); }
    void DeselectAllPieces() override { Doc().DeselectAllPieces(); }
    bool LayoutValid() const override { return m_view.m_bLayoutValid != 0; }
    void SetCurrentEntry(int e) override { Doc().m_currentEntry = e; }
    void ClearStatusMessage() override { Doc().m_statusMessage.clear(); }
    CPoint PiecePointToPicture(int e, CPoint p, const CRect& piece) override
    {
        const CPoint picture = Doc().PiecePointToPicture(e, p, piece);
        Doc().m_dragOrigin = picture;
        return picture;
    }
    void ClearDropList() override { Doc().ClearDropList(); }
    std::string HitTestDropTarget(CPoint screen) override { return Doc().HitTestDropTarget(screen); }
    void DropOnColorFit(const std::string& name, CPoint screen) override
    {
        Doc().m_dropOffset = screen;
        Doc().DropOnColorFitManager(name, screen);
    }
    std::string HitTestFittedPiece(CPoint work) override { return Doc().HitTestFittedPiece(work); }
    int FindPieceIndexByName(const std::string& name) const override { return Doc().FindPieceIndexByName(name); }
    int FindEntryIndex(const std::string& name) override { return Doc().FindEntryIndex(name); }
    int RegisterPicture(const std::string& name) override { return Doc().RegisterPicture(name, 0); }
    CSize EntrySize(int e) const override { return Valid(e) ? Doc().m_entries[e].m_Size : CSize(); }
    int AddFirstDroppedPicture() override { return Doc().AddFirstDroppedPicture(); }
    void SetPictureTurn(int e) override
    {
        if (Valid(e))
            Doc().SetPictureTurn(Doc().m_entries[e].m_Name, Doc().m_entries[e].m_QuarterTurns);
    }
    int DropPiece(int e, CPoint work) override
    {
        Doc().m_dropPoint = work;
        return Doc().DropPiece(e);
    }
    int PlacePiecesInRow(int e, CPoint work) override
    {
        Doc().m_dropPoint = work;
        return Doc().PlacePiecesInRow(e);
    }
    void FreePieceCell(int e) override
    {
        if (!Valid(e))
            return;
        Doc().m_entries[e].m_PieceSlot = CPoint();
        Doc().LayoutPieces(1, CSize());
    }
    void MovePieceBefore(int e, int before) override
    {
        auto& list = Doc().m_pieceList;
        const auto it = std::find(list.begin(), list.end(), e);
        if (it == list.end() || e == before)
            return;
        list.erase(it);
        list.insert(std::find(list.begin(), list.end(), before), e);
    }
    int EjectPieces(int e) override { return Doc().EjectPieces(e); }
    void SetDropOffset(CPoint screen) override { Doc().m_dropOffset = screen; }
    void ClearRenderRequest() override { Doc().ClearRenderRequest(); }
    // Hint 109 names this view as its sender, so that the view does not react to its own hint.
    void SendHint(int hint, int object) override
    {
        Doc().CDocument::UpdateAllViews(hint == 109 ? static_cast<IDocumentView*>(&m_view) : nullptr, hint,
                                        HintObject::Number(object));
    }
    int ThumbDragState() const override { return Doc().m_thumbDragState; }
    uint32_t ThumbDragTick() const override { return static_cast<uint32_t>(Doc().m_thumbDragTick); }
    std::string DroppedNames() const override { return Doc().m_droppedNames; }
    CPoint DropAnchor() const override { return Doc().m_dropAnchor; }
    double& CirclingTurn() override { return Doc().m_circlingTurn; }
    CRect RenderArea() const override { return Doc().m_renderArea; }
    void SetRenderArea(const CRect& a) override { Doc().m_renderArea = a; }
    int AreaShown() const override { return Doc().m_areaShown; }
    void SetAreaShown(int s) override { Doc().m_areaShown = s; }
    int AreaMode() const override { return Doc().m_areaMode; }
    int RenderSetup() const override { return Doc().m_renderSetup; }
    void SetRenderSetup(int v) override { Doc().m_renderSetup = v; }
    int FullTurnWidth() const override { return Doc().m_fullTurnWidth; }
    CSize OutputSize() const override { return Doc().m_outputSize; }
    void RefreshOutputSize() override { Doc().m_outputSize = Doc().GetOutputSize(1); }
    int ProjectionCode() const override { return Doc().m_pComp ? Doc().m_pComp->GetProjection() : 0; }
    void ApplyProjection(int code) override { Doc().ApplyProjection(code, 0); }
    int FisheyeDefault() const override { return Doc().m_fisheyeDefault; }
    int RingFisheyeDefault() const override { return Doc().m_ringFisheyeDefault; }
    CPoint PoleTop() const override { return m_view.m_ptPoleTop; }
    CPoint PoleBottom() const override { return m_view.m_ptPoleBottom; }
    void CenterRenderArea() override { Doc().CenterRenderArea(); }
    void FitRenderAreaToPictures(const CRect& view) override { Doc().FitRenderAreaToPictures(view); }
    void SetDefaultRenderArea() override { Doc().SetDefaultRenderArea(); }
    void ClipRenderAreaToView(const CRect& view) override { Doc().ClipRenderAreaToView(view); }
    void SetStatusText(const std::string& text) override { ::SetStatusText(0, text); }
    CPoint DropOffset() const override { return Doc().m_dropOffset; }
    int AddDroppedPictures() override { return Doc().AddDroppedPictures(); }
    bool OpenProject(const std::string& path) override { return m_view.OpenProjectFile(path); }

private:
    CSmView& m_view;
};

class CFacadeInput : public workview::IInputFacade {
public:
    CFacadeInput(CSmView& view) : m_view(view) {}
    CMcomp* Comp() const { return m_view.GetDoc() ? m_view.GetDoc()->m_pComp.get() : nullptr; }

    int DragPicture(const std::string& name, double turn, CPixelArray& mask, CPoint& work, int zoom, int mode) override
    {
        CMcomp* comp = Comp();
        if (!comp)
            return 0;
        return comp->DragPicture(name, m_view.GetDoc()->m_dragOrigin, mode, mask, &work, zoom, turn);
    }
    double CirclingSpeed(CPoint work) override { return CMcomp::GetCirclingSpeed(work.x, work.y); }
    int SetupRender(const CRect& area, CSize output, int mode) override
    {
        CMcomp* comp = Comp();
        return comp ? comp->SetupRender(area, output.cx, output.cy, mode) : 0;
    }
    int FinishDrag(CPoint shift, double angle) override
    {
        CMcomp* comp = Comp();
        return comp ? comp->FinishDrag(shift.x, shift.y, angle) : 0;
    }
    int FinishMove(CPoint shift, double angle) override
    {
        CMcomp* comp = Comp();
        return comp ? comp->FinishMove(shift.x, shift.y, angle) : 0;
    }
    int FittedCount() override
    {
        CMcomp* comp = Comp();
        return comp ? comp->GetFittedCount() : 0;
    }

private:
    CSmView& m_view;
};

class CViewEffects : public workview::IViewEffects {
public:
    CViewEffects(CSmView& view) : m_view(view) {}

    void SetCursor(int id) override { m_view.m_nCursorId = id; }
    void SetCapture(bool on) override
    {
        if (on)
            platform::qt::SetCapture(m_view.viewport());
        else
            platform::qt::ReleaseCapture();
    }
    CPoint FrameOffset() const override
    {
        const QWidget* top = m_view.window();
        const QPoint o = m_view.viewport()->mapTo(top, QPoint(0, 0));
        return {o.x(), o.y()};
    }
    bool BeginDragImage(int kind, int entry, CPoint picturePoint) override
    {
        auto& d = m_view.m_dragImage;
        d.kind = kind;
        d.entry = entry;
        d.visible = false;
        if (kind == 2) {
            d.hotspot = {64, 64};
            d.size = {128, 128};
            m_view.SyncDragOverlay(true);
            return true;
        }
        const CSize piece = m_view.GetPieceSize(entry);
        if (piece.cx == 0 || piece.cy == 0) {
            d.kind = 0;
            m_view.SyncDragOverlay(true);
            return false;
        }
        d.size = piece;
        d.hotspot = m_view.GetDoc() ? m_view.GetDoc()->PicturePointToPiece(entry, picturePoint, piece) : CPoint();
        m_view.SyncDragOverlay(true);
        return true;
    }
    void SetPreviewImage(const CPixelArray& mask) override
    {
        auto& img = m_view.m_dragImage.preview;
        img = QImage(128, 128, QImage::Format_RGB32);
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const COLORREF c = mask.GetAt(y * 128 + x);
                img.setPixel(x, y, qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
            }
        m_view.SyncDragOverlay(true);
    }
    void DragEnter(CPoint p) override
    {
        m_view.m_dragImage.visible = true;
        m_view.m_dragImage.position = p;
        m_view.SyncDragOverlay(false);
    }
    void DragMove(CPoint p) override
    {
        m_view.m_dragImage.position = p;
        m_view.SyncDragOverlay(false);
    }
    void EndDrag() override
    {
        m_view.m_dragImage = {};
        m_view.SyncDragOverlay(false);
    }
    void Invalidate(bool) override { m_view.Invalidate(); }
    void UpdateWindow() override { m_view.UpdateWindow(); }
    workview::Mapping Map() const override { return m_view.Map(); }
    CRect ClientRect() const override { return m_view.GetClientRect(); }
    CPoint ScrollPosition() const override { return m_view.GetScrollPosition(); }
    CSize ScrollLimit() const override
    {
        const CRect c = m_view.GetClientRect();
        const CSize t = m_view.GetTotalSize();
        return {std::max(0, t.cx - c.Width()), std::max(0, t.cy - c.Height())};
    }
    CSize LineSize() const override { return m_view.GetLineSize(); }
    CSize PageSize() const override { return m_view.GetPageSize(); }
    // The view's scroll handling moves the canvas window only once the client reaches its edge;
    // scrolling inside the canvas redraws no picture.
    void SetScrollPosition(CPoint p) override { m_view.ScrollToPosition(p); }
    void MarkScrolled() override { m_view.m_bQuickPieces = 1; }
    CRect AreaHandle(int h) const override { return h >= 1 && h <= 16 ? m_view.m_rcAreaHandles[h] : CRect(); }
    void ClearAreaHandles() override { m_view.m_rcAreaHandles.fill(CRect()); }
    void UpdateStatusText() override { m_view.UpdateStatusText(); }
    void ExpireStatusText() override { ::ExpireStatusText(0); }
    void RedrawCanvas() override { m_view.RedrawCanvas(); }
    void RecenterCanvas() override { m_view.RecenterCanvas(); }
    void UpdateScrollLayout(CSize shift) override { m_view.UpdateScrollLayout(shift); }
    void ChooseFitZoom(int entry) override
    {
        CSmDoc* doc = m_view.GetDoc();
        if (!doc)
            return;
        const bool piece = entry >= 0 && entry < static_cast<int>(doc->m_entries.size());
        // The steps of a zoom change (scroll layout, centre, canvas) run before the redraw, so
        // that the canvas covers what is shown at the new zoom and the middle of the pane stays.
        const int old = m_view.m_nZoom;
        m_view.ChooseFitZoom(piece ? doc->m_entries[entry].m_Size : CSize(), CSize());
        const int zoom = m_view.m_nZoom;
        m_view.m_nZoom = old;
        m_view.SetZoom(zoom);
    }
    void QueuePictureLoad(const std::string& name) override { m_view.QueuePictureLoad(name); }
    void ClearCanvasAndZoom() override
    {
        m_view.ClearCanvas();
        m_view.m_nZoom = 1;
        m_view.Invalidate();
    }
    void OpenPicture(int entry) override
    {
        CSmDoc* doc = m_view.GetDoc();
        if (doc && entry >= 0 && entry < static_cast<int>(doc->m_entries.size()))
            doc->OpenPictureWindow(m_view.GetParentFrame(), doc->m_entries[entry].m_Name, 0, 0, -1);
    }
    void ScrollToOrigin() override { m_view.ScrollToOrigin(); }
    CPoint ScreenToClient(CPoint screen) const override
    {
        const QPoint p = m_view.viewport()->mapFromGlobal(QPoint(screen.x, screen.y));
        return {p.x(), p.y()};
    }
    void RecalcStockLayout() override { m_view.RecalcStockLayout(0); }
    void AfterProjectOpened() override
    {
        m_view.OnUpdate(nullptr, HINT_LAYOUT, HintObject::None());
        if (CSmDoc* doc = m_view.GetDoc())
            doc->UpdateTitleText(std::string());
    }

private:
    CSmView& m_view;
};

workview::InputEvent Translate(const CSmView& view, const QMouseEvent* e)
{
    workview::InputEvent in;
    const QPoint c = e->position().toPoint();
    const QPoint s = e->globalPosition().toPoint();
    in.client = {c.x(), c.y()};
    in.screen = {s.x(), s.y()};
    in.left = e->buttons() & Qt::LeftButton;
    in.right = e->buttons() & Qt::RightButton;
    in.shift = e->modifiers() & Qt::ShiftModifier;
    in.ctrl = e->modifiers() & Qt::ControlModifier;
    (void)view;
    return in;
}

} // namespace

struct CSmView::InputBindings {
    explicit InputBindings(CSmView& v) : doc(v), facade(v), effects(v), input(doc, facade, effects) {}
    CDocInput doc;
    CFacadeInput facade;
    CViewEffects effects;
    CWorkInput input;
};

workview::CWorkInput* CSmView::Input()
{
    if (!GetDoc())
        return nullptr;
    if (!m_inputBindings)
        m_inputBindings = std::make_shared<InputBindings>(*this);
    return &m_inputBindings->input;
}

CRect CSmView::PieceStockRect(int entry) const
{
    const auto it = m_stockRects.find(entry);
    return it == m_stockRects.end() ? CRect() : it->second;
}

CRect CSmView::PieceWorkRect(int entry) const
{
    const auto it = m_workRects.find(entry);
    return it == m_workRects.end() ? CRect() : it->second;
}

int CSmView::DropFilesOnView(int hint)
{
    CWorkInput* in = Input();
    return in ? in->DropFilesOnView(hint) : -1;
}

bool CSmView::OnCommand(int id)
{
    switch (id) {
    case 32803: OnProcessSetRenderingArea(); return true;
    case 57607: OnFilePrint(false); return true;
    case 57608: OnFilePrint(true); return true;
    case 57609: OnFilePrintPreview(); return true;
    default: return false;
    }
}

void CSmView::OnProcessSetRenderingArea()
{
    if (CWorkInput* in = Input())
        in->OnProcessSetRenderingArea(platform::Clock().Now().second);
    ShowWholeArea();
}

namespace {
// The area drawing reads the grabbed handle and the centre shift from the view.
void SyncDrawingState(CSmView& view)
{
    if (const CWorkInput* in = view.Input()) {
        view.m_nGrabbedHandle = in->m_nGrabbedHandle;
        view.m_ptViewShift = in->m_ptViewShift;
        // The drop patterns show while a piece is dragged.
        view.m_nMouseState = in->m_nMouseState;
        view.m_nDragEntry = in->m_nDragEntry;
    }
}
} // namespace

namespace {
// Presses and releases test the placed pieces where they are now, also when the pane has not
// been drawn since the layout or the scroll position changed.
void RefreshPlacedPieces(CSmView& view)
{
    if (view.GetDoc() && view.GetDoc()->m_areaShown < 1)
        view.RefreshWorkLayout();
}
} // namespace

void CSmView::mousePressEvent(QMouseEvent* e)
{
    setFocus(Qt::MouseFocusReason);
    CWorkInput* in = Input();
    if (!in)
        return;
    RefreshPlacedPieces(*this);
    if (e->button() == Qt::LeftButton)
        in->OnLButtonDown(Translate(*this, e), platform::Clock().TickCount());
    else if (e->button() == Qt::RightButton)
        in->OnRButtonDown(Translate(*this, e));
    SyncDrawingState(*this);
}

void CSmView::mouseMoveEvent(QMouseEvent* e)
{
    if (CWorkInput* in = Input())
        in->OnMouseMove(Translate(*this, e), platform::Clock().TickCount());
    SyncDrawingState(*this);
}

void CSmView::mouseReleaseEvent(QMouseEvent* e)
{
    CWorkInput* in = Input();
    if (in && e->button() == Qt::LeftButton) {
        RefreshPlacedPieces(*this);
        in->OnLButtonUp(Translate(*this, e), platform::Clock().TickCount());
    }
    SyncDrawingState(*this);
}

void CSmView::mouseDoubleClickEvent(QMouseEvent* e)
{
    CWorkInput* in = Input();
    if (in && e->button() == Qt::LeftButton) {
        RefreshPlacedPieces(*this);
        in->OnLButtonDblClk(Translate(*this, e));
    }
}

void CSmView::keyPressEvent(QKeyEvent* e)
{
    int code = 0;
    switch (e->key()) {
    case Qt::Key_Delete: code = 46; break;
    case Qt::Key_Left: code = 37; break;
    case Qt::Key_Up: code = 38; break;
    case Qt::Key_Right: code = 39; break;
    case Qt::Key_Down: code = 40; break;
    default: break;
    }
    CWorkInput* in = code ? Input() : nullptr;
    if (in)
        in->OnKeyDown(code);
    else
        views::CScrollViewBase::keyPressEvent(e);
}

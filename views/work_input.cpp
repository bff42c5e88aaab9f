// The work view's mouse and keyboard logic (see work_input.h).
#include "views/work_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <new>

#include "imagefile/pixel_array.h"
#include "platform/system_services.h"

namespace workview {
namespace {

// Edges a handle moves, as bits.
constexpr int kLeft = 1, kTop = 2, kRight = 4, kBottom = 8;
constexpr int kEdgeLimit = 60000;
constexpr int kMinAreaSide = 16;
constexpr int kPreviewSide = 128;
constexpr int kAcceptScore = 256;
constexpr int kRetryDistance = 101;
constexpr uint32_t kHandOverAge = 1000;

// Index = handle number.
constexpr int kHandleEdges[17] = {0, kTop | kLeft, kLeft, kLeft | kBottom, kBottom, kBottom | kRight, kRight,
                                  kRight | kTop, kTop, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr int kHoverCursor[17] = {0, 241, 240, 241, 243, 241, 240, 241, 243, 248, 0, 242, 242, 247, 246, 259, 259};
constexpr int kDragCursor[17] = {0, 241, 240, 241, 243, 241, 240, 241, 243, 239, 0, 242, 242, 245, 244, 245, 245};

const char kAreaPrompt[] =
    "Determine the rendering area, also you may change the Center-point-of-view for perspective effect.";

CRect Grow(const CRect& r, int d) { return {r.left - d, r.top - d, r.right + d, r.bottom + d}; }
CRect Square(CPoint c, int side)
{
    const int h = side / 2;
    return {c.x - h, c.y - h, c.x - h + side, c.y - h + side};
}

// Moves the edges of `edges` to the point and pushes the opposite edges so that the area keeps
// at least 16 units. With `limit` every edge stays within -60000..60000: a moved edge stops 16
// units short of the far limit, so that the pushed edge still fits.
void MoveEdges(CRect& a, int edges, CPoint p, bool limit)
{
    if (edges & kTop) {
        a.top = limit ? std::clamp(p.y, -kEdgeLimit, kEdgeLimit - kMinAreaSide) : p.y;
        a.bottom = limit ? std::clamp(a.bottom, a.top + kMinAreaSide, kEdgeLimit) : std::max(a.bottom, a.top + kMinAreaSide);
    }
    if (edges & kBottom) {
        a.bottom = limit ? std::clamp(p.y, -kEdgeLimit + kMinAreaSide, kEdgeLimit) : p.y;
        a.top = limit ? std::clamp(a.top, -kEdgeLimit, a.bottom - kMinAreaSide) : std::min(a.top, a.bottom - kMinAreaSide);
    }
    if (edges & kLeft) {
        a.left = limit ? std::clamp(p.x, -kEdgeLimit, kEdgeLimit - kMinAreaSide) : p.x;
        a.right = limit ? std::clamp(a.right, a.left + kMinAreaSide, kEdgeLimit) : std::max(a.right, a.left + kMinAreaSide);
    }
    if (edges & kRight) {
        a.right = limit ? std::clamp(p.x, -kEdgeLimit + kMinAreaSide, kEdgeLimit) : p.x;
        a.left = limit ? std::clamp(a.left, -kEdgeLimit, a.right - kMinAreaSide) : std::min(a.left, a.right - kMinAreaSide);
    }
}

bool IsSet(CPoint p) { return p.x != 0 || p.y != 0; }

} // namespace

std::array<CRect, 17> AreaHandleRects(const Mapping& map, const CRect& area, const CRect& visible, bool fisheye,
                                      CPoint poleTop, CPoint poleBottom)
{
    std::array<CRect, 17> h{};
    h[13] = map.WorkRectToView({visible.left, -16, visible.right, 16});
    if (!fisheye) {
        h[14] = map.WorkRectToView({-16, visible.top, 16, visible.bottom});
        const CPoint r0 = map.WorkToView({visible.right, 0}), t0 = map.WorkToView({0, visible.top});
        h[11] = Square({r0.x - 32, r0.y}, 32);
        h[12] = Square({t0.x, t0.y + 32}, 32);
    }
    const CRect a = map.WorkRectToView(area);
    h[10] = a;
    h[9] = Grow(a, 16);
    const CRect m = Grow(a, 8);
    const CPoint mid{(m.left + m.right) / 2, (m.top + m.bottom) / 2};
    const CPoint spots[9] = {{},           {m.left, m.top},     {m.left, mid.y},  {m.left, m.bottom}, {mid.x, m.bottom},
                             {m.right, m.bottom}, {m.right, mid.y}, {m.right, m.top}, {mid.x, m.top}};
    for (int i = 1; i <= 8; ++i)
        h[i] = Square(spots[i], 34);
    if (fisheye) {
        h[15] = Square(map.WorkToView(poleTop), 10);
        h[16] = Square(map.WorkToView(poleBottom), 10);
    }
    return h;
}

CWorkInput::CWorkInput(IInputDocument& doc, IInputFacade& facade, IViewEffects& view)
    : m_doc(doc), m_facade(facade), m_view(view)
{
}

// View units are the scroll view's logical units: the client point plus the scroll position.
CPoint CWorkInput::ClientToView(CPoint client) const { return client + m_view.ScrollPosition(); }
CPoint CWorkInput::ClientToWork(CPoint client) const { return m_view.Map().ViewToWork(ClientToView(client)); }

bool CWorkInput::IsFisheye() const { return IsFisheyeCode(m_doc.ProjectionCode()); }

int CWorkInput::HitTestStockPiece(CPoint client) const
{
    const int margin = m_doc.CellMargin();
    for (int e : m_doc.PieceList())
        if (e >= 0 && Grow(m_doc.StockRect(e), margin).PtInRect(client))
            return e;
    return -1;
}

int CWorkInput::HitTestWorkPiece(CPoint client) const
{
    const int margin = m_doc.CellMargin();
    for (int e : m_doc.PieceList()) {
        const CRect r = m_doc.WorkRect(e);
        if (e >= 0 && !r.IsRectEmpty() && Grow(r, margin).PtInRect(client))
            return e;
    }
    return -1;
}

int CWorkInput::PickHandle(CPoint view, bool press) const
{
    int picked = 0;
    const bool inArea = m_view.AreaHandle(10).PtInRect(view);
    for (int h = 1; h <= 16; ++h) {
        if (h == 10 || (h == 9 && inArea))
            continue;
        if (m_view.AreaHandle(h).PtInRect(view)) {
            picked = h;
            break;
        }
    }
    for (int h = 15; h <= 16; ++h)
        if (m_view.AreaHandle(h).PtInRect(view))
            picked = press ? 13 : h;
    return picked;
}

// ---- Press ----------------------------------------------------------------------------------

void CWorkInput::OnLButtonDown(const InputEvent& e, uint32_t tick)
{
    (void)tick;
    ++m_nIdleResets;
    m_doc.ClearStatusMessage();
    m_ptFitCandidate = CPoint();
    m_nMouseState = 0;
    // The kind belongs to this press only: a release after a press on a cell's margin must not
    // act on the kind of an earlier drag.
    m_nPressKind = 0;
    if (m_rcCloseBox.PtInRect(e.client)) {
        m_doc.ClearRenderRequest();
        m_rcCloseBox = CRect();
        m_view.Invalidate(true);
        return;
    }
    if (m_doc.AreaShown() < 1) {
        const int stock = HitTestStockPiece(e.client);
        if (stock >= 0) {
            PressStockPiece(stock, e);
            m_doc.SetCurrentEntry(stock);
            m_view.Invalidate(true);
            m_doc.SendHint(109, 0);
            m_nLastPressed = stock;
            return;
        }
        m_doc.DeselectAllPieces();
        m_view.Invalidate(true);
        if (m_doc.LayoutValid()) {
            const int placed = HitTestWorkPiece(e.client);
            if (placed >= 0) {
                PressWorkPiece(placed, e);
                m_nLastPressed = placed;
                m_doc.SetCurrentEntry(placed);
                m_view.Invalidate(true);
                m_doc.SendHint(109, 0);
            }
        }
    } else {
        PressHandle(e);
    }
    if (m_nMouseState == 0 && m_nGrabbedHandle == 0) {
        m_ptPanStart = e.client;
        m_ptPanScroll = m_view.ScrollPosition();
    } else {
        m_ptPanStart = CPoint();
        m_ptPanScroll = CPoint();
    }
}

void CWorkInput::PressStockPiece(int n, const InputEvent& e)
{
    const bool frame = !m_doc.StockRect(n).PtInRect(e.client);
    if (e.shift) {
        if (m_doc.EntryState(n) != 7)
            m_doc.SetEntryState(n, 7);
        if (n != m_nLastPressed) {
            const std::vector<int> list = m_doc.PieceList();
            const auto a = std::find(list.begin(), list.end(), n);
            const auto b = std::find(list.begin(), list.end(), m_nLastPressed);
            if (b != list.end()) {
                auto first = std::min(a, b), last = std::max(a, b);
                for (auto it = first; it <= last; ++it)
                    if (*it >= 0)
                        m_doc.SetEntryState(*it, 7);
            }
        }
    } else if (e.ctrl) {
        m_doc.SetEntryState(n, m_doc.EntryState(n) == 7 ? 6 : 7);
    } else {
        if (!frame && m_doc.EntryState(n) != 7)
            m_doc.DeselectAllPieces();
        m_doc.SetEntryState(n, 7);
    }
    m_nSelectedCount = m_doc.CountSelectedPieces();
    if (frame || e.shift || m_nSelectedCount > 1) {
        m_nDragEntry = n;
        m_view.SetCursor(m_nSelectedCount < 2 ? kCursorMoveOne : kCursorMoveSeveral);
        m_view.SetCapture(true);
        m_nMouseState = frame ? 3 : 1;
        return;
    }
    PressPiece(n, e.client, m_doc.StockRect(n), 2);
}

void CWorkInput::PressWorkPiece(int n, const InputEvent& e) { PressPiece(n, e.client, m_doc.WorkRect(n), 3); }

void CWorkInput::PressPiece(int n, CPoint client, const CRect& rect, int kind)
{
    const CPoint picture = m_doc.PiecePointToPicture(n, client - rect.TopLeft(), rect);
    m_rcDragStart = CRect(client.x - 10, client.y - 10, client.x + 11, client.y + 11);
    m_nDragEntry = n;
    m_ptDragPicture = picture;
    m_nPressKind = kind;
    m_nDragImageKind = 1;
    MakeDragImage();
    m_nMouseState = 2;
    m_view.SetCapture(true);
}

void CWorkInput::MakeDragImage()
{
    m_ptDragHotspot = m_view.FrameOffset();
    m_view.BeginDragImage(m_nDragImageKind, m_nDragEntry, m_ptDragPicture);
}

int CWorkInput::TakeOverThumbDrag()
{
    const std::string name = m_doc.DroppedNames();
    m_nDragImageKind = 1;
    int entry = m_doc.FindPieceIndexByName(name);
    if (entry < 0) {
        m_nDragImageKind = 0;
        entry = m_doc.FindEntryIndex(name);
        if (entry < 0)
            entry = m_doc.RegisterPicture(name);
    }
    if (entry < 0)
        return -1;
    const CSize size = m_doc.EntrySize(entry);
    if (size.cx == 0 || size.cy == 0)
        return -1;
    m_nDragEntry = entry;
    m_nPressKind = 5;
    m_ptDragPicture = m_doc.DropAnchor();
    MakeDragImage();
    m_ptFitCandidate = CPoint();
    m_nMouseState = 2;
    m_rcDragStart = CRect();
    m_view.SetCapture(true);
    return 1;
}

// ---- Move -----------------------------------------------------------------------------------

void CWorkInput::OnMouseMove(const InputEvent& e, uint32_t tick)
{
    if (!e.left) {
        if (m_doc.AreaShown() < 1) {
            const int stock = HitTestStockPiece(e.client);
            if (stock >= 0) {
                m_doc.SetCurrentEntry(stock);
                m_doc.SendHint(109, 0);
            }
        } else {
            m_nHoverHandle = PickHandle(ClientToView(e.client), false);
            if (m_nHoverHandle > 0) {
                if (kHoverCursor[m_nHoverHandle])
                    m_view.SetCursor(kHoverCursor[m_nHoverHandle]);
                m_view.UpdateStatusText();
            }
        }
        m_view.ExpireStatusText();
        m_doc.ClearDropList();
    } else if (m_nGrabbedHandle < 1) {
        const CPoint p = e.client + m_ptDragHotspot;
        switch (m_nMouseState) {
        case 1:
        case 3:
            m_view.SetCursor(m_nSelectedCount < 2 ? kCursorMoveOne : kCursorMoveSeveral);
            m_nMouseState = 3;
            break;
        case 2:
            if (!m_rcDragStart.PtInRect(e.client)) {
                m_view.DragEnter(p);
                m_view.SetCursor(kCursorDragImage);
                m_nMouseState = 5;
                m_rcDragStart = CRect();
                m_doc.CirclingTurn() = 0.0;
            }
            break;
        case 5:
            MovePreview(e, p);
            break;
        case 0:
            if (m_doc.ThumbDragState() == 5 && tick - m_doc.ThumbDragTick() < kHandOverAge &&
                TakeOverThumbDrag() == 1) {
                m_view.Invalidate(true);
                m_view.DragEnter(e.client + m_ptDragHotspot);
            }
            break;
        default:
            break;
        }
    } else {
        DragHandle(e);
    }
    if (m_nMouseState == 0 && m_nGrabbedHandle == 0 && IsSet(m_ptPanStart)) {
        m_view.SetCursor(kCursorPan);
        const CSize limit = m_view.ScrollLimit();
        const CPoint to{std::clamp(m_ptPanScroll.x + m_ptPanStart.x - e.client.x, 0, std::max(0, limit.cx)),
                        std::clamp(m_ptPanScroll.y + m_ptPanStart.y - e.client.y, 0, std::max(0, limit.cy))};
        if (to != m_ptPanScroll) {
            m_view.SetScrollPosition(to);
            m_view.MarkScrolled();
        }
        m_view.Invalidate(false);
    }
    ++m_nIdleResets;
}

void CWorkInput::MovePreview(const InputEvent& e, CPoint p)
{
    const CPoint work = ClientToWork(e.client);
    const std::string over = m_doc.HitTestFittedPiece(work);
    if (over.empty()) {
        if (m_nDragImageKind == 2) {
            m_nDragImageKind = 1;
            MakeDragImage();
            m_view.DragEnter(p);
        }
        m_ptFitCandidate = CPoint();
        m_view.DragMove(p);
        return;
    }
    // Within 101 units of the last try the engine is not asked again and the image stays where
    // that try put it. Before the first try nothing blocks.
    if (m_ptLastTry != kNoTry) {
        const double dx = double(work.x) - m_ptLastTry.x, dy = double(work.y) - m_ptLastTry.y;
        if (static_cast<int64_t>(std::sqrt(dx * dx + dy * dy)) < kRetryDistance)
            return;
    }
    CPixelArray mask;
    if (!mask.TrySetSize(kPreviewSide * kPreviewSide))
        mask.RemoveAll();
    if (m_nDragImageKind < 1) {
        const int piece = m_doc.FindPieceIndexByName(m_doc.EntryName(m_nDragEntry));
        if (piece < 0) {
            const int added = m_doc.AddFirstDroppedPicture();
            if (added >= 0)
                m_nDragEntry = added;
        } else {
            m_nDragEntry = piece;
        }
    }
    m_doc.SetPictureTurn(m_nDragEntry);
    int mode = -2;
    if (m_nDragImageKind <= 1) {
        mode = 0;
        m_nDragImageKind = 2;
    }
    double& turn = m_doc.CirclingTurn();
    if (e.right)
        turn = 0.0;
    else
        turn += m_facade.CirclingSpeed(work) / 10000.0;
    CPoint at = work;
    const int score = m_facade.DragPicture(m_doc.EntryName(m_nDragEntry), turn, mask, at, m_view.Map().zoom, mode);
    if (score < kAcceptScore) {
        m_ptLastTry = work;
        m_ptFitCandidate = CPoint();
    } else {
        m_ptFitCandidate = m_view.Map().WorkToView(at);
        m_ptLastTry = at;
        m_ptCandidateOffset = m_ptFitCandidate - ClientToView(e.client);
    }
    if (score > 0) {
        if (!mask.IsEmpty())
            m_view.SetPreviewImage(mask);
        m_nDragImageKind = 2;
        MakeDragImage();
        m_view.DragEnter(p);
        m_view.DragMove(score >= kAcceptScore ? p + m_ptCandidateOffset : p);
    } else {
        m_view.DragMove(p);
    }
}

// ---- Release --------------------------------------------------------------------------------

void CWorkInput::OnLButtonUp(const InputEvent& e, uint32_t tick)
{
    (void)tick;
    m_view.SetCapture(false);
    // The release may place, fit or move pictures: the wait cursor for the rest of it.
    const platform::WaitCursor wait;
    m_ptPanStart = CPoint();
    m_ptPanScroll = CPoint();
    const int old = m_nMouseState;
    m_nMouseState = 0;
    m_view.EndDrag();
    if (m_nGrabbedHandle > 0)
        ReleaseHandle();
    if (old > 0)
        Release(e, old);
    m_ptLastTry = kNoTry;
}

void CWorkInput::Release(const InputEvent& e, int old)
{
    const std::string target = m_doc.HitTestDropTarget(e.screen);
    if (target == "ColorAdjust") {
        std::string name = m_doc.DroppedNames();
        if (name.empty() && m_nDragEntry >= 0)
            name = m_doc.EntryName(m_nDragEntry);
        if (!name.empty())
            m_doc.DropOnColorFit(name, e.screen);
        return;
    }
    if (!m_view.ClientRect().PtInRect(e.client)) {
        m_doc.SetDropOffset(e.screen);
        if (m_nPressKind == 5) {
            m_doc.SendHint(271, m_nDragEntry);
        } else if (m_nPressKind == 3 && m_nDragEntry >= 0) {
            m_doc.DeselectAllPieces();
            m_doc.SetEntryState(m_nDragEntry, 7);
            m_doc.SendHint(157, 0);
        }
        m_doc.ClearDropList();
        return;
    }
    if (!m_doc.LayoutValid()) {
        m_view.Invalidate(true);
        m_doc.ClearDropList();
        return;
    }
    if (m_nDragEntry < 0) {
        m_doc.ClearDropList();
        return;
    }
    const int h = HitTestStockPiece(e.client);
    if (h >= 0) {
        if (m_nPressKind == 3 && h == m_nDragEntry) {
            m_doc.FreePieceCell(h);
            m_view.Invalidate(true);
        } else if (m_nPressKind == 2 && old == 5 && h != m_nDragEntry) {
            m_doc.MovePieceBefore(m_nDragEntry, h);
            m_view.Invalidate(true);
        }
        m_doc.ClearDropList();
        return;
    }
    if (!target.empty())
        return;
    const CPoint work = ClientToWork(e.client);
    if (old == 3) {
        m_doc.PlacePiecesInRow(m_nDragEntry, work);
        m_view.Invalidate(true);
        return;
    }
    if (old != 5)
        return;
    if (m_nPressKind == 5 && m_doc.FindPieceIndexByName(m_doc.EntryName(m_nDragEntry)) != m_nDragEntry) {
        const int added = m_doc.AddFirstDroppedPicture();
        if (added < 0)
            return;
        m_nDragEntry = added;
    }
    const CPoint drop = IsSet(m_ptFitCandidate) ? m_view.Map().ViewToWork(m_ptFitCandidate) : work;
    const int fittedBefore = m_facade.FittedCount();
    const int r = m_doc.DropPiece(m_nDragEntry, drop);
    if (r == 1)
        m_view.Invalidate(true);
    if (r > 1) {
        if (fittedBefore == 0 && m_facade.FittedCount() == 1)
            m_view.ChooseFitZoom(m_nDragEntry);
        if (r == 5)
            m_view.QueuePictureLoad(m_doc.EntryName(m_nDragEntry));
        if (r == 3 && old > 4) {
            m_nMouseState = 5;
            m_view.Invalidate(true);
            m_view.UpdateWindow();
            m_nMouseState = 0;
            m_doc.ClearDropList();
            return;
        }
    }
    m_view.UpdateScrollLayout(CSize());
    m_nMouseState = 0;
    m_doc.ClearDropList();
}

// ---- Double-click, right button, keys, scrolling -----------------------------------------------

void CWorkInput::OnLButtonDblClk(const InputEvent& e)
{
    const CPoint view = ClientToView(e.client);
    const CRect client = m_view.ClientRect();
    const CRect viewRect =
        m_view.Map().ViewRectToWork({ClientToView(client.TopLeft()), ClientToView(client.BottomRight())});
    int piece = HitTestStockPiece(e.client);
    if (piece >= 0 && !m_doc.StockRect(piece).PtInRect(e.client))
        piece = -1;
    if (piece < 0)
        piece = HitTestWorkPiece(e.client);
    if (piece >= 0) {
        m_view.OpenPicture(piece);
    } else if (m_doc.AreaShown() >= 1 && m_view.AreaHandle(9).PtInRect(view) && !m_view.AreaHandle(10).PtInRect(view)) {
        m_doc.FitRenderAreaToPictures(viewRect);
    } else if (!viewRect.PtInRect({0, 0})) {
        m_view.ScrollToOrigin();
        m_view.Invalidate(true);
    }
}

void CWorkInput::OnRButtonDown(const InputEvent& e)
{
    const int stock = HitTestStockPiece(e.client);
    if (stock >= 0) {
        if (m_doc.StockRect(stock).PtInRect(e.client))
            RemovePiece(stock);
        else if (m_doc.EntryState(stock) == 7)
            RemovePiece(kNoPiece);
        return;
    }
    const int placed = HitTestWorkPiece(e.client);
    if (placed >= 0) {
        m_doc.FreePieceCell(placed);
        m_view.Invalidate(true);
        m_doc.SendHint(317, 0);
    }
}

int CWorkInput::RemovePiece(int entry)
{
    const int r = m_doc.EjectPieces(entry);
    if (r > 0) {
        if (m_facade.FittedCount() == 0)
            m_view.ClearCanvasAndZoom();
        else
            m_view.RedrawCanvas();
    }
    m_doc.SendHint(317, 0);
    return r;
}

void CWorkInput::OnKeyDown(int key)
{
    if (key == 46)
        RemovePiece(kNoPiece);
    else if (key >= 37 && key <= 40)
        MoveAreaHandle(key);
}

void CWorkInput::OnScroll(bool horizontal, int code, int track)
{
    m_view.MarkScrolled();
    CPoint pos = m_view.ScrollPosition();
    int& v = horizontal ? pos.x : pos.y;
    const int old = v;
    const int line = horizontal ? m_view.LineSize().cx : m_view.LineSize().cy;
    const int page = horizontal ? m_view.PageSize().cx : m_view.PageSize().cy;
    const int limit = std::max(0, horizontal ? m_view.ScrollLimit().cx : m_view.ScrollLimit().cy);
    int64_t to = old;
    switch (code) {
    case 0: to = int64_t(old) - line; break;
    case 1: to = int64_t(old) + line; break;
    case 2: to = int64_t(old) - page; break;
    case 3: to = int64_t(old) + page; break;
    case 5: to = track; break;
    case 6: to = 0; break;
    case 7: to = INT32_MAX; break;
    default: break;
    }
    v = static_cast<int>(std::clamp<int64_t>(to, 0, limit));
    if (v != old)
        m_view.SetScrollPosition(pos);
    m_view.Invalidate(false);
}

// ---- Files dropped on the main window -----------------------------------------------------------

int CWorkInput::DropFilesOnView(int hint)
{
    bool hasPoint = false;
    CPoint work;
    const CPoint screen = m_doc.DropOffset();
    if (IsSet(screen)) {
        const CPoint client = m_view.ScreenToClient(screen);
        if (!Grow(m_view.ClientRect(), 1).PtInRect(client))
            return -1;
        work = ClientToWork(client);
        hasPoint = true;
        m_doc.SetAreaShown(0);
    }
    if (hint == 127) {
        const int n = m_doc.AddDroppedPictures();
        m_view.RecalcStockLayout();
        m_doc.SendHint(317, 0);
        return n;
    }
    // The drop list holds names separated by ';'.
    const std::string list = m_doc.DroppedNames();
    const std::string name = list.substr(0, list.find(';'));
    const size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == "FIT") {
        // A project that cannot be opened is not entered as a picture either.
        if (!m_doc.OpenProject(name))
            return -1;
        m_view.AfterProjectOpened();
        return 1;
    }
    const std::string target = m_doc.HitTestDropTarget(screen);
    if (!target.empty()) {
        if (target == "ColorAdjust")
            m_doc.DropOnColorFit(name, screen);
        return -1;
    }
    const int entry = m_doc.AddFirstDroppedPicture();
    if (entry < 0)
        return -1;
    m_view.RecalcStockLayout();
    if (hasPoint) {
        const int r = m_doc.DropPiece(entry, work);
        if (r == 1) {
            m_view.Invalidate(true);
        } else if (r > 1) {
            m_view.ChooseFitZoom(-1);
            m_view.UpdateScrollLayout(CSize());
            m_view.RedrawCanvas();
        }
    }
    m_doc.ClearDropList();
    m_doc.SendHint(317, 0);
    return entry;
}

// ---- The rendering area ------------------------------------------------------------------------

void CWorkInput::PressHandle(const InputEvent& e)
{
    const CPoint view = ClientToView(e.client);
    const int raw = PickHandle(view, false);
    if (raw == 0)
        return;
    const bool pole = raw == 15 || raw == 16;
    const int h = pole ? 13 : raw;
    const CPoint w = ClientToWork(e.client);
    const CRect a = m_doc.RenderArea();
    switch (h) {
    case 1: m_ptGrabOffset = {a.left - w.x, a.top - w.y}; break;
    case 2: m_ptGrabOffset = {a.left - w.x, 0}; break;
    case 3: m_ptGrabOffset = {a.left - w.x, a.bottom - w.y}; break;
    case 4: m_ptGrabOffset = {0, a.bottom - w.y}; break;
    case 5: m_ptGrabOffset = {a.right - w.x, a.bottom - w.y}; break;
    case 6: m_ptGrabOffset = {a.right - w.x, 0}; break;
    case 7: m_ptGrabOffset = {a.right - w.x, a.top - w.y}; break;
    case 8: m_ptGrabOffset = {0, a.top - w.y}; break;
    default: m_ptGrabOffset = pole ? CPoint(-w.x, 0) : CPoint(-w.x, -w.y); break;
    }
    m_nGrabbedHandle = h;
    m_nSnap360 = 0;
    m_view.SetCursor(kDragCursor[h]);
    if (IsFisheye())
        m_doc.CenterRenderArea();
    m_view.SetCapture(true);
    OnMouseMove(e, 0);
}

void CWorkInput::DragHandle(const InputEvent& e)
{
    const CPoint w = ClientToWork(e.client);
    const CPoint p = w + m_ptGrabOffset;
    const int h = m_nGrabbedHandle;
    CRect a = m_doc.RenderArea();
    int moved = 0;
    if (h >= 1 && h <= 8) {
        moved = kHandleEdges[h];
        MoveEdges(a, moved, p, true);
        m_doc.SetRenderArea(a);
    } else if (h == 9) {
        a.OffsetRect(p);
        m_doc.SetRenderArea(a);
        m_ptGrabOffset = -w;
    } else if (h == 11) {
        m_dTurnAngle = std::atan2(double(p.y), double(w.x));
    } else if (h == 12) {
        m_dTurnAngle = std::atan2(double(p.x), double(-w.y));
    } else if (h == 13) {
        int y = p.y;
        const CPoint top = m_doc.PoleTop(), bottom = m_doc.PoleBottom();
        if (IsFisheye() && IsSet(top) && IsSet(bottom))
            y = std::clamp(y, std::min(top.y, bottom.y), std::max(top.y, bottom.y));
        m_ptViewShift = {0, y};
    } else if (h == 14) {
        m_ptViewShift = {p.x, 0};
    }
    AfterAreaChange(true, moved);
}

void CWorkInput::ApplySnap(int result, int moved)
{
    if (result >= 341 && result <= 360)
        m_nSnap360 = (m_nSnap360 == 2 || m_nSnap360 == 3) ? 3 : 1;
    else if (result >= 361 && result <= 379)
        m_nSnap360 = (m_nSnap360 == 1 || m_nSnap360 == 3) ? 3 : 2;
    else
        m_nSnap360 = 0;
    if (m_nSnap360 != 3)
        return;
    CRect a = m_doc.RenderArea();
    if (moved & kLeft)
        a.left = a.right - m_doc.FullTurnWidth();
    if (moved & kRight)
        a.right = a.left + m_doc.FullTurnWidth();
    m_doc.SetRenderArea(a);
}

void CWorkInput::AfterAreaChange(bool dragging, int moved)
{
    if (IsFisheye())
        m_doc.CenterRenderArea();
    const int r = m_facade.SetupRender(m_doc.RenderArea(), m_doc.OutputSize(), m_doc.AreaMode());
    if (r != m_doc.RenderSetup()) {
        m_doc.SetRenderSetup(r);
        m_doc.SendHint(281, 0);
    }
    if (dragging && m_doc.AreaMode() == 3)
        ApplySnap(r, moved);
    m_view.Invalidate(false);
    m_doc.SendHint(353, 1);
    m_view.UpdateStatusText();
}

void CWorkInput::ReleaseHandle()
{
    const int h = m_nGrabbedHandle;
    m_nGrabbedHandle = 0;
    if (h <= 9) {
        m_doc.RefreshOutputSize();
        m_view.Invalidate(true);
    } else if (m_dTurnAngle != 0.0) {
        m_facade.FinishDrag(CPoint(), m_dTurnAngle);
        m_view.RedrawCanvas();
    } else if (IsSet(m_ptViewShift)) {
        if (m_facade.FinishMove(m_ptViewShift, 0.0) == 1) {
            CRect a = m_doc.RenderArea();
            a.OffsetRect(-m_ptViewShift);
            m_doc.SetRenderArea(a);
            m_view.UpdateScrollLayout(CSize());
            if (IsFisheye()) {
                const CPoint origin = m_view.Map().WorkToView({0, 0});
                const bool onPole = m_view.AreaHandle(15).PtInRect(origin) || m_view.AreaHandle(16).PtInRect(origin);
                m_doc.ApplyProjection(onPole ? m_doc.RingFisheyeDefault() : m_doc.FisheyeDefault());
            }
            m_view.RedrawCanvas();
            m_view.RecenterCanvas();
        } else {
            m_view.Invalidate(true);
        }
    }
    m_ptViewShift = CPoint();
    m_dTurnAngle = 0.0;
}

int CWorkInput::MoveAreaHandle(int key)
{
    if (key < 37 || key > 40 || m_nHoverHandle < 1 || m_nHoverHandle > 16 || m_doc.AreaShown() < 1)
        return 1;
    static const CPoint steps[4] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    const CPoint step = steps[key - 37];
    const int h = m_nHoverHandle;
    CRect a = m_doc.RenderArea();
    CPoint shift;
    if (h >= 1 && h <= 8) {
        // Each moved edge takes the step; the opposite edge is pushed as a drag pushes it.
        const int edges = kHandleEdges[h];
        const CPoint at{(edges & kLeft) ? a.left + step.x : a.right + step.x,
                        (edges & kTop) ? a.top + step.y : a.bottom + step.y};
        MoveEdges(a, edges, at, false);
        m_doc.SetRenderArea(a);
        m_doc.RefreshOutputSize();
    } else if (h == 9) {
        a.OffsetRect(step);
        m_doc.SetRenderArea(a);
        m_doc.RefreshOutputSize();
    } else if (h == 13) {
        shift = {0, step.y};
    } else if (h == 14) {
        shift = {step.x, 0};
    }
    if (IsFisheye())
        m_doc.CenterRenderArea();
    const int r = m_facade.SetupRender(m_doc.RenderArea(), m_doc.OutputSize(), m_doc.AreaMode());
    if (r != m_doc.RenderSetup()) {
        m_doc.SetRenderSetup(r);
        m_doc.SendHint(281, 0);
    }
    if (IsSet(shift)) {
        if (m_facade.FinishMove(shift, 0.0) == 1) {
            CRect moved = m_doc.RenderArea();
            moved.OffsetRect(-shift);
            m_doc.SetRenderArea(moved);
            m_view.RedrawCanvas();
            m_view.RecenterCanvas();
        } else {
            m_view.Invalidate(true);
        }
    }
    m_view.Invalidate(false);
    m_doc.SendHint(353, 1);
    m_view.UpdateStatusText();
    return 1;
}

void CWorkInput::OnProcessSetRenderingArea(int second)
{
    m_view.ClearAreaHandles();
    const CRect client = m_view.ClientRect();
    const CRect viewRect =
        m_view.Map().ViewRectToWork({ClientToView(client.TopLeft()), ClientToView(client.BottomRight())});
    if (m_doc.AreaShown() < 1) {
        m_doc.SetAreaShown(1);
        m_doc.SetStatusText(kAreaPrompt);
        if (m_doc.AreaMode() == 3)
            m_doc.SetDefaultRenderArea();
        if (m_doc.RenderArea().IsRectEmpty())
            m_doc.ClipRenderAreaToView(viewRect);
        const int r = m_facade.SetupRender(m_doc.RenderArea(), m_doc.OutputSize(), m_doc.AreaMode());
        if (r != m_doc.RenderSetup()) {
            m_doc.SetRenderSetup(r);
            m_doc.SendHint(281, 0);
        }
    } else {
        m_doc.SetAreaShown(0);
        m_nHoverHandle = 0;
        m_doc.SetRenderSetup(-5);
        m_doc.SendHint(281, 0);
    }
    if (second != kNotByUser) {
        if (second == m_nLastAreaSecond) {
            m_doc.SetAreaShown(1);
            m_doc.FitRenderAreaToPictures(viewRect);
        }
        m_nLastAreaSecond = second;
    }
    m_view.Invalidate(false);
}

} // namespace workview

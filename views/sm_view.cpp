#include "views/sm_view.h"

#include <QResizeEvent>

#include <algorithm>
#include <cmath>

#include "common/message_catalogue.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "platform/message_box.h"
#include "platform/qt/resources.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"
#include "views/display_service.h"
#include "views/work_input.h"

using platform::qt::CBrush;
using platform::qt::CGdiContext;
using platform::qt::CPen;
using namespace workview;

namespace {

constexpr int kThumbPixels = 160 * 120;

CRect Grow(const CRect& r, int d) { return {r.left - d, r.top - d, r.right + d, r.bottom + d}; }
CRect Offset(const CRect& r, CPoint d) { return {r.left + d.x, r.top + d.y, r.right + d.x, r.bottom + d.y}; }

bool IsFisheye(int code) { return code >= 30 && code <= 39; }

std::string BaseNameUpper(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

QImage IconImage(int id)
{
    const QIcon icon = platform::qt::LoadIconResource(id);
    return icon.isNull() ? QImage() : icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Draws an icon with alpha onto the context's image.
void DrawIcon(CGdiContext& dc, int x, int y, const QImage& icon)
{
    if (icon.isNull())
        return;
    QImage& target = dc.Image();
    for (int j = 0; j < icon.height(); ++j) {
        const int ty = y + j;
        if (ty < 0 || ty >= target.height())
            continue;
        const auto* src = reinterpret_cast<const QRgb*>(icon.constScanLine(j));
        auto* dst = reinterpret_cast<QRgb*>(target.scanLine(ty));
        for (int i = 0; i < icon.width(); ++i) {
            const int tx = x + i;
            if (tx < 0 || tx >= target.width())
                continue;
            const int a = qAlpha(src[i]);
            if (a == 0)
                continue;
            const QRgb d = dst[tx];
            dst[tx] = qRgb((qRed(src[i]) * a + qRed(d) * (255 - a)) / 255, (qGreen(src[i]) * a + qGreen(d) * (255 - a)) / 255,
                           (qBlue(src[i]) * a + qBlue(d) * (255 - a)) / 255);
        }
    }
}

// A placed picture of the picture set as the progressive drawing sees it.
class CPictureBand : public IBandPicture {
public:
    CPictureBand(CSmDoc& doc, CKpic* k) : m_doc(doc), m_k(k) {}
    const std::string& Name() const override { return m_k->m_Path; }
    CSize ImageSize() const override { return {m_k->Width(), m_k->Height()}; }
    bool IsFitted() const override { return m_k->m_Status >= 3; }
    CRect Outline() override { return m_doc.m_pComp->GetPictureOutline(m_k); }
    // A block inside the outline may hold part of the picture, also where a sloped edge crosses
    // it; the drawing decides pixel by pixel what lies on the picture.
    bool TouchesBlock(int x, int y) override
    {
        if (!m_haveOutline) {
            m_outline = Outline();
            m_haveOutline = true;
        }
        return x + 16 > m_outline.left && x < m_outline.right && y + 16 > m_outline.top && y < m_outline.bottom;
    }
    CPoint PicturePoint(int x, int y) override { return m_doc.m_pComp->PixelToPictureD(m_k, x, y); }
    bool LoadImage() override
    {
        if (m_doc.LoadPictureImage(m_k->m_Path) <= 0)
            return false;
        return m_k->Pixels.GetSize() >= int64_t(m_k->Width()) * m_k->Height();
    }
    uint32_t ImagePixel(int x, int y) const override { return m_k->Pixels[int64_t(y) * m_k->Width() + x]; }
    int BlendStrength() const override { return m_doc.m_pComp->GetBlendStrength(); }

private:
    CSmDoc& m_doc;
    CKpic* m_k;
    CRect m_outline;
    bool m_haveOutline = false;
};

} // namespace

CSmView::CSmView(QWidget* parent) : views::CScrollViewBase(parent)
{
    setObjectName(QStringLiteral("CSmView"));
    setMouseTracking(true);
}

CSmView::~CSmView() = default;

CSmDoc* CSmView::GetDoc() const { return dynamic_cast<CSmDoc*>(GetDocument()); }

// ---- Initial update ------------------------------------------------------------------------

void CSmView::OnInitialUpdate()
{
    if (CSmDoc* doc = GetDoc())
        doc->CreateToolDialogs({}, {});
    SetScrollSizes({1000, 1000});
    if (!m_bCanvasReady) {
        const views::DisplayInfo display = views::GetDisplayInfo();
        const int dw = std::max(display.desktop.cx, 1), dh = std::max(display.desktop.cy, 1);
        CSize size(2 * dw, dh * 3 / 2);
        // A display that cannot hold the double-size canvas gets one of the desktop's size.
        const bool tooLarge = display.canvasPixelLimit > 0 && int64_t(size.cx) * size.cy > display.canvasPixelLimit;
        if (tooLarge || !m_canvas.Create(size)) {
            size = {dw, dh};
            const bool fits = display.canvasPixelLimit <= 0 || int64_t(dw) * dh <= display.canvasPixelLimit;
            if (!fits || !m_canvas.Create(size)) {
                // Without a canvas the program cannot work: the message, then the end.
                ShowMessage(Catalogue().memoryTooShort, platform::MB_OK | platform::MB_ICONSTOP);
                FatalExit(kExitOutOfMemory);
                return;
            }
        }
        m_sizeCanvas = size;
        if (display.bitsPerPixel <= 4) {
            ShowMessage(Catalogue().needColourDepthView, platform::MB_OK | platform::MB_ICONINFORMATION);
            FatalExit(0);
            return;
        }
        if (display.bitsPerPixel <= 8)
            PendingStatusText = Catalogue().needColourDepthView;
        m_bCanvasReady = 1;
        ClearCanvas();
        m_rcCanvas = CRect(-size.cx / 2, -size.cy / 2, size.cx / 2, size.cy / 2);
        m_ptCanvasOrigin = {-m_rcCanvas.left, -m_rcCanvas.top};
    }
    ChooseFitZoom({}, {});
    m_nZoom = 1;
    UpdateScrollLayout({});
    ScrollToOrigin();
    m_originPending = true;
    Invalidate();
}

// ---- Layout ---------------------------------------------------------------------------------

void CSmView::ChooseFitZoom(CSize content, CSize view)
{
    CSmDoc* doc = GetDoc();
    int baseWidth = 0;
    if (doc && doc->m_pComp && doc->m_pComp->GetFittedCount() > 0 && doc->GetPictureCount() > 0) {
        if (CKpic* first = doc->GetPicture(0)) {
            const int turn = first->QuarterTurns;
            baseWidth = (turn == 1 || turn == 3) ? first->Height() : first->Width();
        }
    }
    const CRect fit = FitViewRect(GetClientRect(), m_stock.cellSize);
    if (view == CSize())
        view = fit.Size();
    if (content == CSize() && doc) {
        const CRect placed = doc->m_pComp ? doc->m_pComp->GetBoundingRect() : CRect();
        content = FitContentRect(placed, doc->m_baseRect).Size();
    }
    m_nZoom = workview::ChooseFitZoom(content, view, baseWidth);
}

void CSmView::UpdateScrollLayout(CSize shift)
{
    if (shift != CSize()) {
        m_ptScrollOrigin += CPoint(shift.cx, shift.cy);
        return;
    }
    const CPoint oldOrigin = m_ptScrollOrigin;
    const CPoint oldPos = GetScrollPosition();
    const CSize oldTotal = GetTotalSize();
    CRect work;
    if (CSmDoc* doc = GetDoc()) {
        if (doc->m_pComp)
            work = doc->m_pComp->GetBoundingRect();
        if (doc->m_areaShown >= 0)
            work = work | doc->m_renderArea;
        work = work | doc->m_baseRect;
    }
    m_rcScroll = ScrollRect(work, m_nZoom, m_rcCanvas, ClientSize());
    if (m_rcScroll.Size() != oldTotal)
        SetScrollSizes(m_rcScroll.Size());
    m_ptScrollOrigin = {-m_rcScroll.left, -m_rcScroll.top};
    const CSize total = GetTotalSize();
    const CPoint pos(std::clamp(m_ptScrollOrigin.x + oldPos.x - oldOrigin.x, 0, total.cx),
                     std::clamp(m_ptScrollOrigin.y + oldPos.y - oldOrigin.y, 0, total.cy));
    if (pos != oldPos)
        SetScrollPos(pos);
    Invalidate();
}

void CSmView::ScrollToOrigin()
{
    const CSize c = ClientSize(), t = GetTotalSize();
    SetScrollPos({CenterScrollPosition(m_ptScrollOrigin.x, c.cx, t.cx), CenterScrollPosition(m_ptScrollOrigin.y, c.cy, t.cy)});
}

CPoint CSmView::GetViewCenter() const
{
    const CSize c = ClientSize();
    return ViewToWork(DPtoLP({c.cx / 2, c.cy / 2}));
}

void CSmView::ScrollToCenter(CPoint work)
{
    const CPoint v = WorkToView(work);
    const CSize c = ClientSize(), t = GetTotalSize();
    SetScrollPos({CenterScrollPosition(v.x, c.cx, t.cx), CenterScrollPosition(v.y, c.cy, t.cy)});
}

void CSmView::SetZoom(int zoom)
{
    const CPoint c = GetViewCenter();
    m_nZoom = zoom;
    UpdateScrollLayout({});
    ScrollToCenter(c);
    ClearCanvas();
    RecenterCanvas();
    RedrawCanvas();
    CSmDoc* doc = GetDoc();
    if (!doc || !doc->m_pComp || doc->m_pComp->GetFittedCount() == 0)
        Invalidate();
}

void CSmView::PublishZoom(int zoom)
{
    if (CSmDoc* doc = GetDoc()) {
        doc->m_zoomDivisor = zoom;
        doc->UpdateTitleText(std::string());
    }
}

void CSmView::RecenterCanvas()
{
    if (!m_bCanvasReady)
        return;
    const CSize client = ClientSize();
    const CPoint lt = DPtoLP({0, 0}) - m_ptScrollOrigin;
    const CRect clientZoomed(lt, client);
    const CRect old = m_rcCanvas;
    m_rcCanvas = CanvasWindow(clientZoomed, m_sizeCanvas, client);
    m_ptCanvasOrigin = {-m_rcCanvas.left, -m_rcCanvas.top};
    // Retained pixels keep their place in the work space: old pixel p + d is new pixel p.
    if (!m_canvas.Shift(m_rcCanvas.TopLeft() - old.TopLeft())) {
        ShowMessage(Catalogue().memoryTooShort, platform::MB_OK | platform::MB_ICONSTOP);
        return;
    }
    QueuePlacedPictures(1);
    m_nLoadState = 2;
}

void CSmView::ClearCanvas()
{
    if (m_bCanvasReady)
        m_canvas.Clear();
}

int CSmView::RecalcStockLayout(int level)
{
    CSmDoc* doc = GetDoc();
    m_stock.Recalc(level, ClientSize(), doc ? doc->GetPieceCount() : 0);
    if (doc)
        doc->m_pieceSizePercent = m_stock.SizePercent();
    return 1;
}

CSize CSmView::GetThumbSize(int entry) const
{
    CSmDoc* doc = GetDoc();
    if (!doc || entry < 0 || entry >= int(doc->m_entries.size()))
        return {0, 0};
    return m_stock.ThumbSize(doc->m_entries[entry].m_Size);
}

CSize CSmView::GetPieceSize(int entry) const
{
    CSize s = GetThumbSize(entry);
    CSmDoc* doc = GetDoc();
    if (doc && entry >= 0 && entry < int(doc->m_entries.size())) {
        const int turn = doc->m_entries[entry].m_QuarterTurns;
        if (turn == 1 || turn == 3)
            std::swap(s.cx, s.cy);
    }
    return s;
}

CPoint CSmView::GetStockCellOrigin(int index, int w, int h, CPoint& anchor) const
{
    return m_stock.CellOrigin(index, w, h, ClientSize(), anchor);
}

int CSmView::LoadNextPieceThumbnail()
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return 0;
    for (int e : doc->m_pieceList) {
        if (e < 0 || e >= int(doc->m_entries.size()))
            continue;
        if (doc->m_entries[e].m_PixelCache.GetSize() != kThumbPixels) {
            doc->LoadEntryPicture(e);
            return 2;
        }
    }
    return 0;
}

// ---- Progressive drawing ------------------------------------------------------------------

void CSmView::QueuePictureLoad(const std::string& path)
{
    if (path.empty())
        return;
    m_loadQueue.push_back(path);
    m_nLoadState = 2;
}

void CSmView::QueuePlacedPictures(int lowestState)
{
    CSmDoc* doc = GetDoc();
    if (doc && doc->m_pComp) {
        for (int i = 0; i < doc->GetPictureCount(); ++i) {
            CKpic* k = doc->GetPicture(i);
            if (!k || k->m_Path.empty() || k->m_Status < lowestState || !doc->m_pComp->IsPictureInView(k))
                continue;
            RemoveFromLoadQueue(k->m_Path);
            m_loadQueue.push_back(k->m_Path);
        }
    }
    m_nLoadState = 2;
}

int CSmView::RemoveFromLoadQueue(const std::string& name)
{
    const auto it = std::find(m_loadQueue.begin(), m_loadQueue.end(), name);
    if (it == m_loadQueue.end())
        return 0;
    m_loadQueue.erase(it);
    return 1;
}

int CSmView::ProcessLoadQueue()
{
    if (m_nLoadState <= 0)
        return -2;
    CSmDoc* doc = GetDoc();
    CKpic* k = nullptr;
    if (m_strLoading.empty()) {
        if (!m_loadQueue.empty() && doc) {
            // The head is taken off the queue, so each name is drawn once per queueing.
            const std::string head = m_loadQueue.front();
            m_loadQueue.pop_front();
            k = doc->FindPictureByName(head);
        }
        if (!k) {
            m_strLoading.clear();
            // The pass is over: what no picture drew again goes. Cells an unfitted picture drew
            // in this pass stay, or unfitted pictures would vanish at the end of every redraw.
            if (m_bCellsMarked == 1) {
                m_canvas.EraseMarkedCells(Map(), m_rcCanvas, false);
                m_bCellsMarked = 0;
            }
            Invalidate();
            m_nLoadState = 0;
            return -2;
        }
        m_bDrawEnabled = 1;
        m_strLoading = k->m_Path;
    } else {
        k = doc ? doc->FindPictureByName(m_strLoading) : nullptr;
        if (!k) {
            m_strLoading.clear();
            m_band.Reset();
            return -2;
        }
    }
    int r = 0;
    if (m_bDrawEnabled) {
        CPictureBand band(*doc, k);
        r = m_band.DrawPieceProgressive(m_canvas, Map(), m_rcCanvas, &band);
    }
    if (r == 1)
        return 1;
    m_strLoading.clear();
    if (r == -5)
        Invalidate();
    return 1;
}

void CSmView::MarkCellsInArea()
{
    const platform::WaitCursor wait;
    m_canvas.MarkCells(Map(), m_rcCanvas);
    m_bCellsMarked = 1;
}

void CSmView::EraseMarkedCells()
{
    if (m_bCellsMarked != 1)
        return;
    const platform::WaitCursor wait;
    m_canvas.EraseMarkedCells(Map(), m_rcCanvas);
    m_bCellsMarked = 0;
}

void CSmView::RedrawCanvas()
{
    CSmDoc* doc = GetDoc();
    const int code = doc && doc->m_pComp ? doc->m_pComp->GetProjection() : 0;
    if (m_nZoom > 4 || IsFisheye(code))
        ClearCanvas();
    else
        MarkCellsInArea();
    m_bDrawEnabled = 0;
    QueuePlacedPictures(1);
    m_band.Reset();
    m_nLoadState = 2;
}

void CSmView::RepaintNow()
{
    Invalidate();
    UpdateWindow();
}

void CSmView::UpdateStatusText()
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    bool has = false;
    CPoint centre, edge;
    if (doc->m_pComp && doc->GetPictureCount() > 0) {
        if (CKpic* k = doc->GetPicture(0)) {
            has = true;
            centre = doc->m_pComp->PictureToPixel(k->m_Path, k->Width() / 2, k->Height() / 2);
            edge = doc->m_pComp->PictureToPixel(k->m_Path, k->Width() - 1, k->Height() / 2);
        }
    }
    SetStatusText(0, StatusText(has, centre, edge, m_ptViewShift, doc->m_renderArea, doc->GetOutputSize(1)));
}

// ---- Hints ----------------------------------------------------------------------------------

void CSmView::OnUpdate(IDocumentView*, int hint, const HintObject&)
{
    CSmDoc* doc = GetDoc();
    switch (hint) {
    case HINT_STATUS:
    case HINT_DROP_ENTERED:
        Invalidate();
        break;
    case HINT_DROP_ONE:
    case HINT_DROP_LIST:
        DropFilesOnView(hint);
        Invalidate();
        break;
    case HINT_PIECES:
        DropStalePieceBitmaps();
        RedrawCanvas();
        break;
    case HINT_FIT_DONE:
        UpdateScrollLayout({});
        break;
    case HINT_REDRAW_ALL:
        m_loadQueue.clear();
        m_strLoading.clear();
        m_band.Reset();
        m_nLoadState = 0;
        ClearCanvas();
        Invalidate();
        break;
    case HINT_PIECE_SIZE_STEP:
        m_stock.StepSmaller(ClientSize(), doc ? doc->GetPieceCount() : 0);
        if (doc)
            doc->m_pieceSizePercent = m_stock.SizePercent();
        Invalidate();
        break;
    case HINT_RESET:
        m_loadQueue.clear();
        m_strLoading.clear();
        m_band.Reset();
        if (m_bCanvasReady) {
            ClearCanvas();
            ChooseFitZoom({}, {});
            m_nZoom = 1;
            UpdateScrollLayout({});
            ScrollToOrigin();
            Invalidate();
        }
        m_nZoom = 1;
        break;
    case HINT_PIECES_LARGE:
    case HINT_PIECES_MIDDLE:
    case HINT_PIECES_SMALL:
        m_stock.cellSize = hint == HINT_PIECES_LARGE ? m_stock.cellMax
                           : hint == HINT_PIECES_MIDDLE ? m_stock.cellMax / 2
                                                        : m_stock.cellMax / 4;
        RecalcStockLayout(3);
        Invalidate();
        break;
    case HINT_TURN_RIGHT:
    case HINT_TURN_LEFT:
    case HINT_TURN_UPSIDE_DOWN:
        if (doc)
            doc->TurnSelectedPieces(hint == HINT_TURN_RIGHT ? 1 : hint == HINT_TURN_LEFT ? 3 : 2);
        m_bRebuildPieceBitmaps = 1;
        Invalidate();
        break;
    case HINT_ZOOM_IN:
        if (m_nZoom > 1)
            SetZoom(m_nZoom / 2);
        break;
    case HINT_ZOOM_OUT:
        if (m_nZoom <= 32)
            SetZoom(m_nZoom * 2);
        break;
    case HINT_ZOOM_100: SetZoom(1); break;
    case HINT_ZOOM_50: SetZoom(2); break;
    case HINT_ZOOM_25: SetZoom(4); break;
    case HINT_ZOOM_12: SetZoom(8); break;
    case HINT_AUX_REDRAW:
        ScrollToOrigin();
        break;
    case HINT_FINDER_163:
        // A piece dragged onto the image finder goes back to the stock with the selection.
        if (CWorkInput* in = Input())
            in->RemovePiece(CWorkInput::kNoPiece);
        Invalidate();
        break;
    case HINT_SET_AREA:
        // The manager pane shows and hides the rendering area with this hint. It is no use of
        // the command by the user: two of them within one second do not fit the area to the
        // view (a quick fit between the manager's steps would otherwise cut the panorama).
        if (CWorkInput* in = Input())
            in->OnProcessSetRenderingArea(CWorkInput::kNotByUser);
        ShowWholeArea();
        break;
    case HINT_LAYOUT:
        m_loadQueue.clear();
        m_strLoading.clear();
        m_band.Reset();
        ChooseFitZoom({}, {});
        if (doc) {
            if (doc->m_areaShown > 0) {
                doc->m_renderArea = CRect();
                doc->ClipRenderAreaToView(ViewRectToWork(Offset(GetClientRect(), DPtoLP({0, 0}))));
            }
            doc->ClearRenderRequest();
        }
        m_rcCloseBox = CRect();
        ClearCanvas();
        RecenterCanvas();
        UpdateScrollLayout({});
        ScrollToOrigin();
        RedrawCanvas();
        break;
    case HINT_IDLE: {
        if (m_bRecenterPending == 1) {
            RecenterCanvas();
            m_bRecenterPending = 0;
            Invalidate();
            break;
        }
        int flag = 0;
        if (m_nLoadState > 0) {
            if (ProcessLoadQueue() == 1)
                flag = 1;
            Invalidate();
        }
        if (LoadNextPieceThumbnail() > 0) {
            flag = 1;
            Invalidate();
        }
        if (doc)
            doc->m_refreshFlags[2] = flag;
        break;
    }
    default:
        break;
    }
}

void CSmView::ShowWholeArea()
{
    CSmDoc* doc = GetDoc();
    if (!doc || doc->m_areaShown < 1 || doc->m_renderArea.IsRectEmpty())
        return;
    // Room for the handles round the area on every side.
    constexpr int kHandleRoom = 48;
    const CSize client = ClientSize();
    const int64_t w = doc->m_renderArea.Width(), h = doc->m_renderArea.Height();
    int zoom = m_nZoom;
    while (zoom < 64 && (w / zoom + 2 * kHandleRoom > client.cx || h / zoom + 2 * kHandleRoom > client.cy))
        zoom *= 2;
    if (zoom != m_nZoom)
        SetZoom(zoom);
    const CRect visible = ViewRectToWork(Offset(GetClientRect(), DPtoLP({0, 0})));
    if (!visible.PtInRect(doc->m_renderArea.TopLeft()) || !visible.PtInRect(doc->m_renderArea.BottomRight() - CPoint(1, 1)))
        ScrollToCenter(doc->m_renderArea.CenterPoint());
    Invalidate();
}

void CSmView::OnScrolled(CSize)
{
    // Scrolling inside the canvas needs no redrawing; the next idle step moves the canvas
    // window when the client has come near its edge.
    const CPoint lt = DPtoLP({0, 0}) - m_ptScrollOrigin;
    const CRect client(lt, ClientSize());
    if (client.left < m_rcCanvas.left || client.top < m_rcCanvas.top || client.right > m_rcCanvas.right ||
        client.bottom > m_rcCanvas.bottom)
        m_bRecenterPending = 1;
}

void CSmView::resizeEvent(QResizeEvent* event)
{
    views::CScrollViewBase::resizeEvent(event);
    RecalcStockLayout(0);
    if (m_originPending && m_bCanvasReady) {
        UpdateScrollLayout({});
        ScrollToOrigin();
        RecenterCanvas();
    }
}

void CSmView::OnHScroll(int code, int track)
{
    m_originPending = false;
    if (workview::CWorkInput* in = Input())
        in->OnScroll(true, code, track);
    else
        views::CScrollViewBase::OnHScroll(code, track);
}

void CSmView::OnVScroll(int code, int track)
{
    m_originPending = false;
    if (workview::CWorkInput* in = Input())
        in->OnScroll(false, code, track);
    else
        views::CScrollViewBase::OnVScroll(code, track);
}

// ---- Drawing --------------------------------------------------------------------------------

void CSmView::OnDraw(CGdiContext& dc)
{
    if (m_nZoom != m_lastPaintZoom) {
        PublishZoom(m_nZoom);
        m_lastPaintZoom = m_nZoom;
    }
    const CPoint o = DPtoLP({0, 0});
    const CRect client = GetClientRect();
    const CPoint src = o - m_ptScrollOrigin - m_rcCanvas.TopLeft();
    dc.FillSolidRect(client, 0xFFFFFF);
    if (m_canvas.IsReady())
        dc.BitBlt(0, 0, client.Width(), client.Height(), m_canvas.Image(), src.x, src.y);
    DrawMargins(dc, src);
    CSmDoc* doc = GetDoc();
    const int aux = doc ? doc->m_auxLineMode : 0;
    const int shown = doc ? doc->m_areaShown : 0;
    if (aux == 2 || (aux == 3 && shown > 0))
        DrawGrid(dc, Offset(client, o));
    DrawCrossLines(dc, src, {0, 0});
    if (shown <= 0) {
        DrawWorkPieces(dc, src);
        DrawPieces(dc, 0, 0);
        DrawDropPatterns(dc, src);
        if (aux == 1 || aux == 3)
            DrawPieceOutlines(dc, src);
    } else {
        DrawRenderingArea(dc, client, o);
    }
    DrawMessagePanels(dc, src);
}

void CSmView::DrawMargins(CGdiContext& dc, CPoint src)
{
    const CRect client = GetClientRect();
    const CSize canvas = m_canvas.IsReady() ? m_canvas.Size() : CSize();
    const int cw = client.Width(), ch = client.Height();
    auto fill = [&](const CRect& r) {
        if (r != client && !r.IsRectEmpty())
            dc.FillSolidRect(r, 0xFFFFFF);
    };
    if (src.x < 0)
        fill({0, 0, -src.x, ch});
    else if (canvas.cx < src.x + cw)
        fill({client.right + canvas.cx - src.x - cw, 0, client.right, ch});
    if (src.y < 0)
        fill({0, 0, cw, -src.y});
    else if (canvas.cy < src.y + ch)
        fill({0, client.bottom + canvas.cy - src.y - ch, cw, client.bottom});
}

void CSmView::DrawGrid(CGdiContext& dc, const CRect& r)
{
    const CPoint o = DPtoLP({0, 0});
    dc.SelectPen({platform::qt::PS_DASH, 1, 0x208080});
    dc.SetBkColor(0xC0C080);
    dc.SetBkMode(platform::qt::OPAQUE);
    const CPoint so = m_ptScrollOrigin;
    for (int k = (r.left - so.x) / 50; k <= (r.right - so.x) / 50; ++k) {
        const int x = so.x + 50 * k - o.x;
        dc.MoveTo(x, r.top - o.y);
        dc.LineTo(x, r.bottom - o.y);
    }
    for (int k = (r.top - so.y) / 50; k <= (r.bottom - so.y) / 50; ++k) {
        const int y = so.y + 50 * k - o.y;
        dc.MoveTo(r.left - o.x, y);
        dc.LineTo(r.right - o.x, y);
    }
    dc.SelectPen({});
    dc.SetBkColor(0xFFFFFF);
    dc.SetBkMode(platform::qt::TRANSPARENT);
}

void CSmView::DrawCrossLines(CGdiContext& dc, CPoint src, CPoint work)
{
    const CRect client = GetClientRect();
    const CPoint p = WorkToCanvas(work) - src;
    dc.SelectPen({});
    dc.MoveTo(p.x, client.top);
    dc.LineTo(p.x, client.bottom);
    dc.MoveTo(client.left, p.y);
    dc.LineTo(client.right, p.y);
}

QImage CSmView::BuildPieceBitmap(int entry, CSize size) const
{
    CSmDoc* doc = GetDoc();
    if (!doc || entry < 0 || entry >= int(doc->m_entries.size()))
        return {};
    const CPictureEntry& e = doc->m_entries[entry];
    if (e.m_PixelCache.GetSize() != kThumbPixels || e.m_Size.cx <= 0 || e.m_Size.cy <= 0)
        return {};
    if (size == CSize())
        size = GetThumbSize(entry);
    // The buffers follow the piece: a square piece of 160 x 160 is as welcome as 160 x 120.
    if (size.cx <= 0 || size.cy <= 0 || size.cx > 160 || size.cy > 160)
        return {};
    // The picture's part of its 160 x 120 thumbnail, keeping the aspect.
    int sw = 160, sh = 120;
    if (int64_t(e.m_Size.cx) * 120 >= int64_t(e.m_Size.cy) * 160)
        sh = std::max(1, int(int64_t(160) * e.m_Size.cy / e.m_Size.cx));
    else
        sw = std::max(1, int(int64_t(120) * e.m_Size.cx / e.m_Size.cy));
    const int ox = (160 - sw) / 2, oy = (120 - sh) / 2;
    QImage img(size.cx, size.cy, QImage::Format_RGB32);
    for (int i = 0; i < size.cy; ++i) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(i));
        for (int j = 0; j < size.cx; ++j) {
            const int tx = j * sw / size.cx + ox, ty = i * sh / size.cy + oy;
            COLORREF c = 0x808080;
            if (tx >= 0 && ty >= 0 && tx < 160 && ty < 120)
                c = e.m_PixelCache[int64_t(ty) * 160 + tx];
            row[j] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        }
    }
    const int turn = e.m_QuarterTurns & 3;
    if (turn != 0) {
        QTransform t;
        t.rotate(90 * turn);
        img = img.transformed(t);
    }
    return img;
}

void CSmView::DropStalePieceBitmaps()
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    auto stale = [doc](int e) {
        return e < 0 || e >= int(doc->m_entries.size()) ||
               doc->m_entries[size_t(e)].m_PixelCache.GetSize() != kThumbPixels;
    };
    std::erase_if(m_pieceFrames, [&](const auto& p) { return stale(p.first); });
    std::erase_if(m_workPieceBitmaps, [&](const auto& p) { return stale(p.first); });
}

int CSmView::DrawPieceFrame(int entry)
{
    CSmDoc* doc = GetDoc();
    if (!doc || entry < 0 || entry >= int(doc->m_entries.size()))
        return -1;
    const CPictureEntry& e = doc->m_entries[entry];
    const bool complete = e.m_PixelCache.GetSize() == kThumbPixels;
    const CSize piece = GetPieceSize(entry);
    const int m = m_stock.margin;
    const int shrink = complete ? 0 : 1;
    const CSize frameSize(piece.cx + 2 * m - 2 * shrink, piece.cy + 2 * m - 2 * shrink);
    if (frameSize.cx <= 0 || frameSize.cy <= 0)
        return 1;
    QImage& frame = m_pieceFrames[entry];
    CRect& stockRect = m_stockRects[entry];
    if (frame.size() != QSize(frameSize.cx, frameSize.cy)) {
        frame = QImage(frameSize.cx, frameSize.cy, QImage::Format_RGB32);
        frame.fill(QColor(0xD9, 0xDC, 0xD2));
        stockRect = CRect();
    }
    CGdiContext dc(frame);
    dc.SetBkMode(platform::qt::TRANSPARENT);
    const CRect all(0, 0, frameSize.cx, frameSize.cy);
    if (stockRect.IsRectEmpty() || !complete) {
        dc.FillSolidRect(all, 0xD2DCD9);
        platform::qt::CFontSpec font;
        font.face = "DejaVu Sans Mono";
        font.pixelHeight = 11;
        dc.SelectFont(font);
        char size[64];
        std::snprintf(size, sizeof size, Catalogue().sizeHxV.c_str(), e.m_Size.cx, e.m_Size.cy);
        dc.DrawText(BaseNameUpper(e.m_Name) + "\n" + size, Grow(all, -m), platform::qt::DT_CENTER);
        doc->m_refreshFlags[2] = 1;
        if (!complete)
            return 1;
    }
    if (m_bQuickPieces == 1 && !stockRect.IsRectEmpty())
        return 1;
    CKpic* k = doc->m_pComp ? doc->m_pComp->FindPicture(e.m_Name) : nullptr;
    COLORREF colour = 0xFFFFFF;
    if (k && k->m_Status >= 3)
        colour = 0x82B4FF;
    else if (k && k->Pixels.GetSize() > 0)
        colour = e.m_Rect.TopLeft() != CPoint() ? 0x96F0F0 : 0xD2DCD9;
    for (int i = 0; i < m; ++i)
        dc.FrameRect(Grow(all, -i), colour);
    dc.DrawEdge(all, e.m_State == 7 ? platform::qt::EDGE_SUNKEN : platform::qt::EDGE_RAISED);
    if (stockRect.Size() == piece && m_bRebuildPieceBitmaps == 0)
        return 1;
    const QImage thumb = BuildPieceBitmap(entry, piece.cx > 0 ? GetThumbSize(entry) : CSize());
    if (!thumb.isNull())
        dc.BitBlt(m, m, thumb.width(), thumb.height(), thumb, 0, 0);
    return 1;
}

int CSmView::DrawPieces(CGdiContext& dc, int dx, int dy)
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return 0;
    int number = 0, handled = 0;
    for (int e : doc->m_pieceList) {
        if (e < 0)
            continue;
        const int n = number++;
        const CSize size = GetPieceSize(e);
        CPoint anchor;
        const CPoint origin = GetStockCellOrigin(n, size.cx, size.cy, anchor);
        if (origin == CPoint())
            continue;
        ++handled;
        DrawPieceFrame(e);
        m_stockRects[e] = CRect(origin, size);
        m_pieceAnchors[e] = anchor;
        const CRect r = Grow(Offset(CRect(origin, size), {dx, dy}), m_stock.margin);
        const QImage& frame = m_pieceFrames[e];
        if (frame.isNull()) {
            dc.FillSolidRect(r, 0xC0C0C0);
            dc.DrawText("Loading..", r, platform::qt::DT_CENTER | platform::qt::DT_VCENTER | platform::qt::DT_SINGLELINE);
            continue;
        }
        // An incomplete thumbnail's frame is one pixel smaller on every side.
        const int inset = (frame.width() == r.Width()) ? 0 : 1;
        dc.BitBlt(r.left + inset, r.top + inset, frame.width(), frame.height(), frame, 0, 0);
    }
    m_bQuickPieces = 0;
    m_bRebuildPieceBitmaps = 0;
    return handled;
}

int CSmView::DrawMarkPolygon(CGdiContext& dc, int entry, CPoint src, const CPen& pen)
{
    CSmDoc* doc = GetDoc();
    if (!doc || !doc->m_pComp || entry < 0 || entry >= int(doc->m_entries.size()))
        return -1;
    const CPictureEntry& e = doc->m_entries[entry];
    CKpic* k = doc->m_pComp->FindPicture(e.m_Name);
    if (!k || k->m_Status < 1)
        return -1;
    const int W = k->Width(), H = k->Height(), a = W / 3, b = H / 3;
    std::vector<CPoint> pts(12);
    for (int i = 0; i < 3; ++i) {
        const CPoint p[4] = {{i * a + 8, 8}, {W - 8, i * b + 8}, {W - i * a - 8, H - 8}, {8, H - i * b - 8}};
        for (int s = 0; s < 4; ++s)
            pts[i + 3 * s] = WorkToCanvas(doc->m_pComp->PictureToPixel(e.m_Name, p[s].x, p[s].y)) - src;
    }
    const CPen old = dc.SelectPen(pen);
    const CBrush oldBrush = dc.SelectBrush(CBrush::Hollow());
    dc.Polygon(pts);
    dc.SelectBrush(oldBrush);
    dc.SelectPen(old);
    return 1;
}

void CSmView::DrawPieceOutlines(CGdiContext& dc, CPoint src)
{
    CSmDoc* doc = GetDoc();
    if (!doc || !doc->m_pComp)
        return;
    const CPen wide{platform::qt::PS_SOLID, 3, 0x82B4FF};
    const CPen thin{platform::qt::PS_SOLID, 2, 0x82B4FF};
    const CPen old = dc.SelectPen(thin);
    const CBrush oldBrush = dc.SelectBrush(CBrush::Hollow());
    const bool selectedOnly = doc->CountSelectedFittedPieces() > 0;
    for (int e : doc->m_pieceList) {
        if (e < 0 || e >= int(doc->m_entries.size()))
            continue;
        const CPictureEntry& entry = doc->m_entries[e];
        CKpic* k = entry.m_Name.empty() ? nullptr : doc->m_pComp->FindPicture(entry.m_Name);
        if (entry.m_State < 6 || !k || k->m_Status < 3)
            continue;
        if (selectedOnly) {
            if (entry.m_State == 7)
                DrawMarkPolygon(dc, e, src, wide);
            continue;
        }
        const auto anchorIt = m_pieceAnchors.find(e);
        if (anchorIt == m_pieceAnchors.end())
            continue;
        const CPoint anchor = anchorIt->second;
        const CPoint v = WorkToCanvas(doc->m_pComp->PictureToPixel(entry.m_Name, k->Width() / 2, k->Height() / 2)) - src;
        const int L = std::clamp(k->Width() / 2 / (2 * m_nZoom), 5, 15);
        const double a = std::atan2(double(anchor.y - v.y), double(anchor.x - v.x));
        dc.MoveTo(v.x + int(std::cos(a) * L), v.y + int(std::sin(a) * L));
        dc.LineTo(anchor.x, anchor.y);
        dc.Ellipse({v.x - L, v.y - L, v.x + L + 1, v.y + L + 1});
    }
    dc.SelectBrush(oldBrush);
    dc.SelectPen(old);
}

int CSmView::DrawDropPatterns(CGdiContext& dc, CPoint src)
{
    CSmDoc* doc = GetDoc();
    if (!doc || !doc->m_pComp || m_nMouseState < 1 || m_nDragEntry < 0 || m_nDragEntry >= int(doc->m_entries.size()))
        return -1;
    const std::string name = doc->m_entries[m_nDragEntry].m_Name;
    if (name.size() <= 3)
        return -1;
    constexpr int side = kDropPatternSide;
    CPixelArray pattern;
    // Without a pattern there is nothing to lay over the picture.
    if (!pattern.TrySetSize(side * side))
        return -1;
    std::vector<MarkPoint> marks;
    doc->m_pComp->GetPointMarks(name, marks);
    static const QImage dropIcon = IconImage(278);
    for (MarkPoint mark : marks) {
        const CPoint work(mark.x, mark.y);
        const CPoint p = WorkToCanvas(work) - src;
        const CPoint hotspot = doc->m_pComp->PixelToPicture(name, mark.x, mark.y);
        std::fill(pattern.GetData(), pattern.GetData() + pattern.GetSize(), COLORREF(0));
        int mode = 3;
        CPoint dragPoint = work;
        doc->m_pComp->DragPicture(name, hotspot, mode, pattern, &dragPoint, m_nZoom);
        FrameDropPattern(pattern.GetData(), side);
        BlendDropPattern(dc.Image(), p, pattern.GetData(), side);
        DrawIcon(dc, p.x - 15, p.y - 15, dropIcon);
    }
    return 1;
}

void CSmView::DrawRenderingArea(CGdiContext& dc, const CRect& client, CPoint o)
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    const int code = doc->m_pComp ? doc->m_pComp->GetProjection() : 0;
    const bool fisheye = IsFisheye(code);
    const CRect vis = ViewRectToWork(Offset(client, o));
    const CPoint negO = -o;
    m_rcAreaHandles.fill(CRect());
    m_rcAreaHandles[13] = WorkRectToView({vis.left, -16, vis.right, 16});
    if (!fisheye) {
        m_rcAreaHandles[14] = WorkRectToView({-16, vis.top, 16, vis.bottom});
        const CPoint r0 = WorkToView({vis.right, 0}), t0 = WorkToView({0, vis.top});
        m_rcAreaHandles[11] = CRect(r0.x - 48, r0.y - 16, r0.x - 16, r0.y + 16);
        m_rcAreaHandles[12] = CRect(t0.x - 16, t0.y + 16, t0.x + 16, t0.y + 48);
    }
    dc.SelectPen({platform::qt::PS_SOLID, 1, 0x000080});
    const CPoint h0 = WorkToView({vis.left, 0}) + negO, h1 = WorkToView({vis.right, 0}) + negO;
    dc.MoveTo(h0.x, h0.y);
    dc.LineTo(h1.x, h1.y);
    if (!fisheye) {
        const CPoint v0 = WorkToView({0, vis.top}) + negO, v1 = WorkToView({0, vis.bottom}) + negO;
        dc.MoveTo(v0.x, v0.y);
        dc.LineTo(v1.x, v1.y);
        if (m_nGrabbedHandle < 1) {
            static const QImage turnRight = IconImage(238), turnUp = IconImage(237);
            DrawIcon(dc, m_rcAreaHandles[11].left - o.x, m_rcAreaHandles[11].top - o.y, turnRight);
            DrawIcon(dc, m_rcAreaHandles[12].left - o.x, m_rcAreaHandles[12].top - o.y, turnUp);
        }
    }
    const CRect a = WorkRectToView(doc->m_renderArea);
    const CRect as = Offset(a, negO);
    dc.SelectPen({platform::qt::PS_SOLID, 1, 0x0000FF});
    dc.SelectBrush(CBrush::Hollow());
    dc.Rectangle(as);
    m_rcAreaHandles[10] = a;
    m_rcAreaHandles[9] = Grow(a, 16);
    // The hatched band between the area and the area grown by 16.
    {
        const CRect g = Grow(as, 16);
        platform::qt::CRgn band(g);
        band.Subtract(as);
        QImage& img = dc.Image();
        for (int y = std::max(g.top, 0); y < std::min(g.bottom, img.height()); ++y)
            for (int x = std::max(g.left, 0); x < std::min(g.right, img.width()); ++x)
                if (((x + y) & 7) == 0 && band.PtInRegion({x, y}))
                    dc.SetPixel(x, y, 0x0000FF);
    }
    const CRect m = Grow(a, 8);
    const CPoint mid = m.CenterPoint();
    const CPoint spots[9] = {{},
                             {m.left, m.top},
                             {m.left, mid.y},
                             {m.left, m.bottom},
                             {mid.x, m.bottom},
                             {m.right, m.bottom},
                             {m.right, mid.y},
                             {m.right, m.top},
                             {mid.x, m.top}};
    static const int icons[9] = {0, 235, 234, 233, 236, 235, 234, 233, 236};
    static std::map<int, QImage> iconImages;
    for (int h = 1; h <= 8; ++h) {
        const CPoint p = spots[h];
        m_rcAreaHandles[h] = CRect(p.x - 17, p.y - 17, p.x + 17, p.y + 17);
        const CRect sq = Offset(CRect(p.x - 9, p.y - 9, p.x + 9, p.y + 9), negO);
        dc.SelectPen({});
        dc.Rectangle(sq);
        if (!iconImages.count(icons[h]))
            iconImages[icons[h]] = IconImage(icons[h]).scaled(18, 18);
        DrawIcon(dc, sq.left, sq.top, iconImages[icons[h]]);
    }
    m_ptPoleTop = m_ptPoleBottom = CPoint();
    if (fisheye && doc->m_pComp) {
        CPoint top, bottom;
        doc->m_pComp->GetVerticalLimits(top, bottom);
        // The poles limit the vertical shift of the centre point of view.
        m_ptPoleTop = top;
        m_ptPoleBottom = bottom;
        static const QImage pole = IconImage(257).scaled(10, 10);
        for (int i = 0; i < 2; ++i) {
            const CPoint v = WorkToView(i == 0 ? top : bottom);
            m_rcAreaHandles[15 + i] = CRect(v.x - 5, v.y - 5, v.x + 5, v.y + 5);
            DrawIcon(dc, v.x - 5 - o.x, v.y - 5 - o.y, pole);
        }
    }
    dc.SelectPen({});
}

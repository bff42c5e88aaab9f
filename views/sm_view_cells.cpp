// The work view's cell layer: the frames of the work-space grid and the unfitted pieces
// laid in its cells, each drawn centred in its cell from its piece bitmap. The drawn rectangles
// (client pixels) are what a press on a placed piece is tested against.
#include <algorithm>

#include "document/sm_doc.h"
#include "imagefile/pixel_array.h"
#include "views/sm_view.h"

using platform::qt::CGdiContext;

namespace {

constexpr int kThumbPixels = 160 * 120;

// A dotted frame that inverts every second pixel along the rectangle's inside edge, so it
// shows on any background.
void DrawFocusRect(CGdiContext& dc, const CRect& r)
{
    QImage& img = dc.Image();
    auto invert = [&img](int x, int y) {
        if (x < 0 || y < 0 || x >= img.width() || y >= img.height())
            return;
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        row[x] ^= 0x00FFFFFF;
    };
    if (r.IsRectEmpty())
        return;
    const int x0 = std::max(r.left, -1), x1 = std::min(r.right - 1, img.width());
    const int y0 = std::max(r.top, -1), y1 = std::min(r.bottom - 1, img.height());
    for (int x = x0; x <= x1; ++x)
        if (((x - r.left) & 1) == 0) {
            invert(x, r.top);
            if (r.bottom - 1 != r.top)
                invert(x, r.bottom - 1);
        }
    for (int y = y0 + 1; y < y1; ++y)
        if (((y - r.top) & 1) == 0) {
            invert(r.left, y);
            if (r.right - 1 != r.left)
                invert(r.right - 1, y);
        }
}

} // namespace

CSize CSmView::PreparePieceBitmap(int entry, CSize wanted)
{
    CSmDoc* doc = GetDoc();
    if (!doc || entry < 0 || entry >= int(doc->m_entries.size()))
        return {};
    const CPictureEntry& e = doc->m_entries[entry];
    if (e.m_PixelCache.GetSize() != kThumbPixels || e.m_Size.cx <= 0 || e.m_Size.cy <= 0)
        return {};
    if (wanted == CSize())
        wanted = {doc->m_cellSize.cx / m_nZoom, doc->m_cellSize.cy / m_nZoom};
    CSize box(std::clamp(wanted.cx, 1, 160), std::clamp(wanted.cy, 1, 160));
    // A turned piece is fitted with its sides exchanged; the bitmap is turned when it is built.
    const int turn = e.m_QuarterTurns & 3;
    const bool turned = (turn == 1 || turn == 3) && e.m_FitStatus != 2;
    if (turned)
        std::swap(box.cx, box.cy);
    CSize offset;
    const CSize thumb = FitSizeKeepAspect(e.m_Size.cx, e.m_Size.cy, 160, 120, offset);
    const CSize size = FitSizeKeepAspect(thumb.cx, thumb.cy, box.cx, box.cy, offset);
    const CSize shown = turned ? CSize(size.cy, size.cx) : size;
    QImage& bitmap = m_workPieceBitmaps[entry];
    if (bitmap.isNull() || bitmap.size() != QSize(shown.cx, shown.cy) || m_bRebuildPieceBitmaps) {
        bitmap = BuildPieceBitmap(entry, size);
        if (bitmap.isNull() || bitmap.size() != QSize(shown.cx, shown.cy)) {
            m_workPieceBitmaps.erase(entry);
            return {};
        }
    }
    return shown;
}

void CSmView::LayWorkPieces(CGdiContext* dc, CPoint src)
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    // Client position of a work-space rectangle.
    auto toClient = [&](const CRect& r) {
        const CRect c = Map().WorkRectToCanvas(r);
        return CRect(c.left - src.x, c.top - src.y, c.right - src.x, c.bottom - src.y);
    };
    if (dc && !doc->m_cellRange.IsRectEmpty()) {
        for (int row = doc->m_cellRange.top; row < doc->m_cellRange.bottom; ++row)
            for (int column = doc->m_cellRange.left; column < doc->m_cellRange.right; ++column) {
                const int cell = CSmDoc::CellIndex(column, row);
                if (cell >= 0 && !doc->m_cellRects[size_t(cell)].IsRectEmpty())
                    DrawFocusRect(*dc, toClient(doc->m_cellRects[size_t(cell)]));
            }
    }
    m_workRects.clear();
    for (int e : doc->m_pieceList) {
        if (e < 0 || e >= int(doc->m_entries.size()))
            continue;
        const CPictureEntry& entry = doc->m_entries[e];
        // The empty name is the marker that no picture carries.
        if (entry.m_State < 6 || entry.m_FitStatus >= 3 || entry.m_Name.empty())
            continue;
        if (entry.m_PieceSlot == CPoint())
            continue;
        const int cell = CSmDoc::CellIndex(entry.m_PieceSlot.x, entry.m_PieceSlot.y);
        if (cell < 0 || doc->m_cellRects[size_t(cell)].IsRectEmpty())
            continue;
        const CSize size = PreparePieceBitmap(e, CSize());
        if (size.cx <= 0 || size.cy <= 0)
            continue;
        const CRect frame = toClient(doc->m_cellRects[size_t(cell)]);
        const CPoint mid = frame.CenterPoint();
        const CRect piece(mid.x - size.cx / 2, mid.y - size.cy / 2, mid.x - size.cx / 2 + size.cx,
                          mid.y - size.cy / 2 + size.cy);
        if (dc) {
            const QImage& bitmap = m_workPieceBitmaps[e];
            dc->BitBlt(piece.left, piece.top, size.cx, size.cy, bitmap, 0, 0);
            dc->FrameRect(frame, 0x808080);
        }
        m_workRects[e] = piece;
    }
    m_bLayoutValid = 1;
}

void CSmView::DrawWorkPieces(CGdiContext& dc, CPoint src) { LayWorkPieces(&dc, src); }

void CSmView::RefreshWorkLayout()
{
    const CPoint o = DPtoLP({0, 0});
    LayWorkPieces(nullptr, o - m_ptScrollOrigin - m_rcCanvas.TopLeft());
}

// The work-space layout: the frames of the grid around fitted pictures and laid pieces, and
// the cell lookup. Frames are rectangles in work-space units; the grid has 29 rows of 85 cells
// around the centre cell (column 0, row 0).
#include <cmath>

#include "common/message_catalogue.h"
#include "document/sm_doc.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "geometry/projections.h"

namespace {

constexpr int kMinColumn = -42;
constexpr int kMaxColumn = 42;
constexpr int kMinRow = -14;
constexpr int kMaxRow = 14;
constexpr int kFrameGap = 5;
constexpr int kMaxLayoutPasses = 102;

} // namespace

const CPoint CSmDoc::kNoCell{300000, 300000};

int CSmDoc::CellIndex(int column, int row)
{
    if (column < kMinColumn || column > kMaxColumn || row < kMinRow || row > kMaxRow)
        return -1;
    return (row + 14) * kGridColumns + (column + 42);
}

CPoint CSmDoc::FindCellAt(CPoint point) const
{
    if (m_cellRange.IsRectEmpty())
        return kNoCell;
    const int c0 = std::max(m_cellRange.left, kMinColumn);
    const int c1 = std::min(m_cellRange.right - 1, kMaxColumn);
    const int r0 = std::max(m_cellRange.top, kMinRow);
    const int r1 = std::min(m_cellRange.bottom - 1, kMaxRow);
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c)
            if (m_cellRects[static_cast<size_t>(CellIndex(c, r))].PtInRect(point))
                return CPoint(c, r);
    return kNoCell;
}

void CSmDoc::ClearRenderRequest()
{
    m_renderRequest = CRect();
    m_renderRequestName.clear();
    m_statusMessage.clear();
}

void CSmDoc::ClearWorkSpaceCells()
{
    for (CRect& r : m_cellRects)
        r = CRect();
    m_cellRange = CRect();
    m_baseRect = CRect();
    // The render request goes with the frames; a status message waiting for the views stays.
    m_renderRequest = CRect();
    m_renderRequestName.clear();
}

int CSmDoc::SetFrame(int column, int row, CPoint centre, int halfWidth, int halfHeight)
{
    if (column < kMinColumn || column > kMaxColumn - 1 || row < kMinRow || row > kMaxRow - 1)
        return 0;
    const int index = CellIndex(column, row);
    if (index < 0 || index >= kCellCount)
        return 0;
    CRect& frame = m_cellRects[static_cast<size_t>(index)];
    if (!frame.IsRectEmpty() && centre.x != 0 && centre.y != 0) {
        const CPoint old = frame.CenterPoint();
        if (old.x == 0 || old.y == 0)
            centre = old;
        else
            centre = CPoint((centre.x + old.x) / 2, (centre.y + old.y) / 2);
    }
    frame = CRect(centre.x - halfWidth, centre.y - halfHeight, centre.x + halfWidth, centre.y + halfHeight);
    if (m_cellRange.IsRectEmpty()) {
        m_cellRange = CRect(column, row, column + 1, row + 1);
    } else {
        m_cellRange.left = std::min(m_cellRange.left, column);
        m_cellRange.top = std::min(m_cellRange.top, row);
        m_cellRange.right = std::max(m_cellRange.right, column + 1);
        m_cellRange.bottom = std::max(m_cellRange.bottom, row + 1);
    }
    m_baseRect.UnionRect(m_baseRect, frame);
    return 3;
}

bool CSmDoc::SetFramesAround(CPoint cell, const CRect& outline, CSize half)
{
    const CPoint m = outline.CenterPoint();
    const int hw = outline.Width() / 2;
    const int hh = outline.Height() / 2;
    const int fw = half.cx;
    const int fh = half.cy;
    bool set = false;
    set |= SetFrame(cell.x, cell.y - 1, CPoint(m.x, m.y - hh - fh - kFrameGap), fw, fh) == 3;
    set |= SetFrame(cell.x + 1, cell.y, CPoint(m.x + hw + kFrameGap + fw, m.y), fw, fh) == 3;
    set |= SetFrame(cell.x, cell.y + 1, CPoint(m.x, m.y + hh + kFrameGap + fh), fw, fh) == 3;
    set |= SetFrame(cell.x - 1, cell.y, CPoint(m.x - hw - fw - kFrameGap, m.y), fw, fh) == 3;
    return set;
}

std::vector<int> CSmDoc::OrderPiecesByDistance() const
{
    std::vector<int> order;
    std::vector<double> distance;
    for (int index : m_pieceList) {
        const CPictureEntry& e = m_entries[static_cast<size_t>(index)];
        if (e.m_State < 6 || e.m_Name.empty())
            continue;
        const double d = std::sqrt(double(e.m_PieceSlot.x) * e.m_PieceSlot.x + double(e.m_PieceSlot.y) * e.m_PieceSlot.y);
        size_t at = 0;
        while (at < distance.size() && distance[at] < d)
            ++at;
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), index);
        distance.insert(distance.begin() + static_cast<std::ptrdiff_t>(at), d);
    }
    return order;
}

int CSmDoc::LayoutPieces(int flag, CSize half)
{
    ClearWorkSpaceCells();
    if (flag == 0)
        return 1;
    const int fitted = m_pComp->GetFittedCount();
    if (fitted > 1 && fitted == m_pComp->GetPictureCount())
        return 1;

    m_cellSize = CSize(240, 240);
    if (fitted > 0) {
        if (const CKpic* base = m_pComp->GetPictureAt(0)) {
            CSize s(base->m_PictureRect.Width(), base->m_PictureRect.Height());
            if (base->QuarterTurns == 1 || base->QuarterTurns == 3)
                std::swap(s.cx, s.cy);
            m_cellSize = s;
        }
        if (fitted > 1)
            m_cellSize = CSize(m_cellSize.cx / 2, m_cellSize.cy / 2);
    }
    if (half.cx == 0 && half.cy == 0)
        half = CSize(m_cellSize.cx / 2, m_cellSize.cy / 2);

    if (fitted == 0) {
        SetFrame(0, 0, CPoint(0, 0), 120, 120);
        m_renderRequest = CRect(-120, -120, 120, 120);
        m_renderRequestName = Catalogue().basePositionLabel;
    }

    if (!IsFisheyeProjection(m_pComp->GetProjection())) {
        for (int index : m_pieceList) {
            const CPictureEntry& e = m_entries[static_cast<size_t>(index)];
            if (e.m_State < 6 || e.m_FitStatus < 2 || e.m_Name.empty())
                continue;
            const CRect outline = m_pComp->GetPlacedOutline(e.m_Name);
            if (outline.IsRectEmpty())
                continue;
            SetFramesAround(e.m_PieceSlot, outline, half);
        }
        const std::vector<int> order = OrderPiecesByDistance();
        bool setOne = true;
        for (int pass = 0; pass < kMaxLayoutPasses && setOne; ++pass) {
            setOne = false;
            for (int index : order) {
                const CPictureEntry& e = m_entries[static_cast<size_t>(index)];
                if (e.m_State < 6 || e.m_FitStatus >= 2 || e.m_PieceSlot == CPoint() || e.m_Name.empty() ||
                    !FindPictureByName(e.m_Name))
                    continue;
                const int cell = CellIndex(e.m_PieceSlot.x, e.m_PieceSlot.y);
                if (cell < 0)
                    continue;
                const CRect frame = m_cellRects[static_cast<size_t>(cell)];
                if (frame.IsRectEmpty())
                    continue;
                setOne |= SetFramesAround(e.m_PieceSlot, frame, CSize(frame.Width() / 2, frame.Height() / 2));
            }
        }
    }

    m_cellCount = 0;
    for (int index : m_pieceList) {
        CPictureEntry& e = m_entries[static_cast<size_t>(index)];
        if (e.m_State < 6)
            continue;
        const int cell = CellIndex(e.m_PieceSlot.x, e.m_PieceSlot.y);
        if (cell >= 0) {
            if (m_cellRects[static_cast<size_t>(cell)].IsRectEmpty())
                e.m_PieceSlot = CPoint();
            else if (e.m_FitStatus >= 2)
                m_cellRects[static_cast<size_t>(cell)] = CRect();
        }
        if (e.m_PieceSlot != CPoint())
            ++m_cellCount;
    }
    return 1;
}

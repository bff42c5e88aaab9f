// Inline tilings: the pieces, in list order, cut into equal blocks laid as rows of grid cells,
// the row of the base picture (or the middle block) at row 0.
#include <algorithm>

#include "document/inline_row.h"
#include "document/sm_doc.h"
#include "picset/mcomp.h"

namespace {

// The order in which the blocks are laid, by the number of rows and the base block.
const std::vector<int>& BlockOrder(int rows, int base)
{
    static const std::vector<std::vector<std::vector<int>>> orders = {
        {},
        {{0}},
        {{0, 1}, {1, 0}},
        {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}},
        {{0, 1, 2, 3}, {1, 0, 2, 3}, {2, 1, 3, 0}, {3, 2, 1, 0}},
        {{0, 1, 2, 3, 4}, {1, 0, 2, 3, 4}, {2, 1, 3, 0, 4}, {3, 2, 4, 1, 0}, {4, 3, 2, 1, 0}},
    };
    return orders[static_cast<size_t>(rows)][static_cast<size_t>(std::clamp(base, 0, rows - 1))];
}

} // namespace

int CSmDoc::CountLeadingUnfitted() const
{
    int n = 0;
    for (int i : m_pieceList) {
        if (m_entries[static_cast<size_t>(i)].m_FitStatus > 2)
            return n;
        ++n;
    }
    return -2;
}

void CSmDoc::LayRow(int start, int count, CPoint cell, int middle)
{
    const int pieces = GetPieceCount();
    if (pieces < 1)
        return;
    start = std::clamp(start, 0, pieces - 1);
    middle = middle < 0 ? (count + 1) / 2 : middle + 1;
    std::vector<int> row;
    auto it = m_pieceList.begin();
    std::advance(it, start);
    for (; it != m_pieceList.end() && static_cast<int>(row.size()) < count; ++it)
        if (m_entries[static_cast<size_t>(*it)].m_State > 0)
            row.push_back(*it);
    if (middle < 1 || middle > static_cast<int>(row.size()))
        return;
    const size_t mid = static_cast<size_t>(middle - 1);
    const int fitted = m_pComp->GetFittedCount();
    if (fitted == 0)
        m_droppedNames = m_entries[static_cast<size_t>(row[mid])].m_Name;
    size_t first = mid;
    // The middle piece is the base picture in the centre cell.
    if (fitted == 1 && cell == CPoint())
        first = mid + 1;
    const int middleIndex = static_cast<int>(mid);
    for (size_t i = first; i < row.size(); ++i) {
        if (PutPieceAtCell(row[i], InlineRowColumn(static_cast<int>(i), middleIndex, cell.x), cell.y, 0) < 0)
            break;
        UpdateAllViews(nullptr, HINT_FIT_DONE);
    }
    for (size_t i = mid; i-- > 0;) {
        if (PutPieceAtCell(row[i], InlineRowColumn(static_cast<int>(i), middleIndex, cell.x), cell.y, 0) < 0)
            break;
        UpdateAllViews(nullptr, HINT_FIT_DONE);
    }
}

void CSmDoc::LayoutInline(int rows)
{
    const int pieces = GetPieceCount();
    const int k = pieces / rows;
    int base = rows / 2;
    int middle = InlineRowMiddle(k);
    if (m_pComp->GetFittedCount() == 1) {
        const int c = CountLeadingUnfitted();
        if (c >= 0) {
            base = c / k;
            middle = c - base * k;
        }
    }
    UpdateAllViews(nullptr, HINT_LAYOUT);
    bool first = true;
    for (int block : BlockOrder(rows, base)) {
        LayRow(block * k, k, CPoint(0, block - base), middle);
        LayoutPieces(1, CSize());
        UpdateAllViews(nullptr, HINT_LAYOUT);
        if (first)
            RedrawWorkView();
        first = false;
    }
}

int CSmDoc::LayoutSingleInline()
{
    const int pieces = GetPieceCount();
    if (pieces < 2 || m_pComp->GetFittedCount() >= 2)
        return -1;
    LayoutInline(1);
    ClearDropList();
    return pieces;
}

int CSmDoc::LayoutDualInline()
{
    const int pieces = GetPieceCount();
    if (pieces < 2 || pieces % 2 != 0)
        return 0;
    if (m_pComp->GetFittedCount() > 1)
        return -1;
    LayoutInline(2);
    return 1;
}

int CSmDoc::LayoutRows(int rows)
{
    const int pieces = GetPieceCount();
    if (pieces < rows || pieces % rows != 0)
        return 0;
    if (m_pComp->GetFittedCount() > 1)
        return -1;
    LayoutInline(rows);
    return pieces;
}

int CSmDoc::LayoutTripleInline() { return LayoutRows(3); }
int CSmDoc::LayoutQuadInline() { return LayoutRows(4); }
int CSmDoc::LayoutPentInline() { return LayoutRows(5); }

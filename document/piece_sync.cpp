// Piece state synchronisation between the document's entries (what the work space shows) and
// the picture set's pictures (what the engine fits and the project file stores), the piece cells
// and turns, and the mappings between points on a turned piece and picture pixels.
#include "common/helpers.h"
#include "document/sm_doc.h"
#include "imagefile/pixel_array.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"

void CSmDoc::RefreshPieces()
{
    m_pComp->AssignGridCells();
    SyncPieceStates();
    LayoutPieces(1, CSize());
}

int CSmDoc::PreparePiecesForSave()
{
    for (int i : m_pieceList) {
        const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_State < 6 || e.m_Name.empty())
            continue;
        CKpic* k = FindPictureByName(e.m_Name);
        if (!k)
            continue;
        CColorModel model = e.m_ColorModel;
        k->m_ColourWord = static_cast<int32_t>(model.Pack());
        if (k->m_Status > 2)
            continue;
        const CPoint slot = e.m_PieceSlot == CPoint() ? kNoCell : e.m_PieceSlot;
        m_pComp->SetPieceSlot(k->m_Path, slot.x, slot.y);
        k->QuarterTurns = e.m_QuarterTurns;
    }
    for (int n = 0; n < m_pComp->GetPictureCount(); ++n) {
        CKpic* k = m_pComp->GetPictureAt(n);
        if (!k || k->m_Status > 2)
            continue;
        const int entry = FindEntryIndex(k->m_Path, 0);
        const CPoint target = entry >= 0 ? m_entries[static_cast<size_t>(entry)].m_PieceSlot : kNoCell;
        if (target == k->m_LayoutCell || (target == CPoint() && k->m_LayoutCell == kNoCell))
            continue;
        m_pComp->SetPieceSlot(k->m_Path, kNoCell.x, kNoCell.y);
    }
    return 1;
}

int CSmDoc::SyncPieceStates()
{
    for (int i : m_pieceList) {
        m_entries[static_cast<size_t>(i)].m_FitStatus = -2;
        m_entries[static_cast<size_t>(i)].m_PieceSlot = CPoint();
    }
    for (int n = 0; n < m_pComp->GetPictureCount(); ++n) {
        CKpic* k = m_pComp->GetPictureAt(n);
        if (!k || k->m_Path.empty())
            continue;
        int entry = FindEntryIndex(k->m_Path, 0);
        if (entry < 0)
            entry = RegisterPicture(k->m_Path, 0);
        if (entry < 0)
            continue;
        CPictureEntry& e = m_entries[static_cast<size_t>(entry)];
        if (e.m_State < 6)
            e.m_State = 6;
        e.m_FitStatus = k->m_Status;
        e.m_QuarterTurns = k->QuarterTurns;
    }
    for (int i : m_pieceList) {
        const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_State < 6 || e.m_Name.empty())
            continue;
        if (const CKpic* k = FindPictureByName(e.m_Name))
            SetPieceCell(i, k->m_LayoutCell.x, k->m_LayoutCell.y);
    }
    return 1;
}

int CSmDoc::RestorePieceColors()
{
    m_pieceList.clear();
    int count = 0;
    for (int n = 0; n < m_pComp->GetPictureCount(); ++n) {
        CKpic* k = m_pComp->GetPictureAt(n);
        if (!k || k->m_Path.empty())
            continue;
        int entry = FindEntryIndex(k->m_Path, 0);
        if (entry < 0 || IsEntryReady(entry) != 1)
            entry = RegisterPicture(k->m_Path, 0);
        if (entry < 0)
            continue;
        CPictureEntry& e = m_entries[static_cast<size_t>(entry)];
        if (e.m_State < 6)
            e.m_State = 6;
        e.m_FitStatus = k->m_Status;
        e.m_QuarterTurns = k->QuarterTurns;
        e.m_ColorModel.Unpack(static_cast<uint32_t>(k->m_ColourWord));
        // A corrected picture's small image is read again with the correction.
        if (e.m_ColorModel.GetActiveMode() >= 0)
            e.m_PixelCache.RemoveAll();
        m_pieceList.push_back(entry);
        ++count;
    }
    return count;
}

int CSmDoc::SetPieceCell(int entry, int column, int row)
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return -1;
    if (column < -42 || column > 41 || row < -14 || row > 13)
        return -1;
    const CPoint cell(column, row);
    for (int i : m_pieceList) {
        const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (i != entry && e.m_PieceSlot == cell && e.m_FitStatus >= 3)
            return -1;
    }
    for (int i : m_pieceList) {
        CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (i != entry && e.m_PieceSlot == cell)
            e.m_PieceSlot = CPoint();
    }
    m_entries[static_cast<size_t>(entry)].m_PieceSlot = cell;
    return 1;
}

void CSmDoc::SetPictureTurn(const std::string& name, int turns)
{
    if (CKpic* k = FindPictureByName(name))
        k->QuarterTurns = turns;
}

CPoint CSmDoc::ThumbPointToPicture(int entry, CPoint point) const
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return CPoint();
    const CSize size = m_entries[static_cast<size_t>(entry)].m_Size;
    CSize offset;
    const CSize fitted = FitSizeKeepAspect(size.cx, size.cy, 160, 120, offset);
    if (fitted.cx <= 0 || fitted.cy <= 0)
        return CPoint();
    return CPoint(static_cast<int>(int64_t(point.x - offset.cx) * size.cx / fitted.cx),
                  static_cast<int>(int64_t(point.y - offset.cy) * size.cy / fitted.cy));
}

CPoint CSmDoc::PiecePointToPicture(int entry, CPoint point, const CRect& piece) const
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return CPoint();
    const CPictureEntry& e = m_entries[static_cast<size_t>(entry)];
    const CRect r = piece.IsRectEmpty() ? e.m_Rect : piece;
    const int64_t W = e.m_Size.cx;
    const int64_t H = e.m_Size.cy;
    const int64_t w = r.Width();
    const int64_t h = r.Height();
    if (w == 0 || h == 0)
        return CPoint(static_cast<int>(W / 2), static_cast<int>(H / 2));
    const int64_t x = point.x;
    const int64_t y = point.y;
    switch (e.m_QuarterTurns) {
    case 1:
        return CPoint(static_cast<int>(y * W / h), static_cast<int>((w - x - 1) * H / w));
    case 2:
        return CPoint(static_cast<int>((w - x - 1) * W / w), static_cast<int>((h - y - 1) * H / h));
    case 3:
        return CPoint(static_cast<int>((h - y - 1) * W / h), static_cast<int>(x * H / w));
    default:
        return CPoint(static_cast<int>(x * W / w), static_cast<int>(y * H / h));
    }
}

CPoint CSmDoc::PicturePointToPiece(int entry, CPoint pixel, CSize piece) const
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return CPoint();
    const CPictureEntry& e = m_entries[static_cast<size_t>(entry)];
    if (piece.cx == 0 && piece.cy == 0) {
        if (e.m_Bitmap.IsNull())
            return CPoint();
        piece = CSize(e.m_Bitmap.Width(), e.m_Bitmap.Height());
    }
    const int64_t W = e.m_Size.cx;
    const int64_t H = e.m_Size.cy;
    if (W <= 0 || H <= 0)
        return CPoint();
    const int t = e.m_QuarterTurns;
    const int64_t cw = (t == 1 || t == 3) ? piece.cy : piece.cx;
    const int64_t ch = (t == 1 || t == 3) ? piece.cx : piece.cy;
    const int64_t d = pixel.x * cw / W;
    const int64_t f = pixel.y * ch / H;
    switch (t) {
    case 1:
        return CPoint(static_cast<int>(ch - f - 1), static_cast<int>(d));
    case 2:
        return CPoint(static_cast<int>(cw - d - 1), static_cast<int>(ch - f - 1));
    case 3:
        return CPoint(static_cast<int>(f), static_cast<int>(cw - d - 1));
    default:
        return CPoint(static_cast<int>(d), static_cast<int>(f));
    }
}

int CSmDoc::TurnSelectedPieces(int steps)
{
    bool turned = false;
    for (int i : m_pieceList) {
        CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_State != 7)
            continue;
        CKpic* k = FindPictureByName(e.m_Name);
        if (k && k->m_Status > 2)
            continue;
        e.m_QuarterTurns = ((e.m_QuarterTurns + steps) % 4 + 4) % 4;
        if (k)
            k->QuarterTurns = e.m_QuarterTurns;
        turned = true;
    }
    m_areaShown = 0;
    if (turned)
        SetModifiedFlag();
    return 1;
}

// Picture intake and pieces: the Import Photos dialog and dropped names, the refusal of
// pictures too small to fit, entry and piece states, counting and selection, dropping and
// placing pieces into grid cells, and the way back to the stock.
#include <algorithm>
#include <list>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "common/value_types.h"
#include "document/sm_doc.h"
#include "imagefile/image_file.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "platform/file_dialog.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"

namespace {

// A picture needs one side of at least this many pixels.
constexpr int kMinPictureSide = 120;

const char* const kImportFilter =
    "Bitmap, JPEG, PNG, TIFF(*.BMP, *.JPG, *.PNG, *.TIF) |*.BMP;*.bmp;*.jpg;*.jpeg;*.png;*.tif|JPEG ( *.JPG ) "
    "|*.jpg;*.jpeg;*.JPG;*.JPEG|PNG ( *.PNG ) | *.png;*.PNG|BitMap(*.BMP) |*.BMP;*.bmp|TIFF(*.TIF) |*.TIF;*.tif||";

bool TooSmall(const CPictureEntry& e) { return e.m_Size.cx < kMinPictureSide && e.m_Size.cy < kMinPictureSide; }

// Cuts the first name off a ";"-separated list.
std::string TakeFirstName(std::string& list)
{
    const size_t semi = list.find(';');
    std::string name;
    if (semi == std::string::npos) {
        name = list;
        list.clear();
    } else {
        name = list.substr(0, semi);
        list.erase(0, semi + 1);
    }
    return name;
}

// Progress while many photos come in: the status bar counts them, the window keeps painting
// under a wait cursor, and Escape or a click on the break button or the timer stops the run.
// Photos that came in before the stop are kept.
class CIntakeProgress {
public:
    CIntakeProgress(CSmDoc& doc, int total) : m_doc(doc), m_total(total)
    {
        // Forget the click or key press that started this run, so it does not stop it at once.
        platform::Input().AsyncKeyState(platform::Key::Escape);
        platform::Input().AsyncKeyState(platform::Key::LeftButton);
        if (m_total > 1) {
            m_doc.m_jobText = kIntakeJobText;
            m_doc.m_jobPress = 0;
            m_doc.RepaintWorkView();
        }
    }
    ~CIntakeProgress()
    {
        if (m_total > 1) {
            m_doc.ClearJobDisplay();
            m_doc.RepaintWorkView();
            ClearStatusText();
        }
    }
    CIntakeProgress(const CIntakeProgress&) = delete;
    CIntakeProgress& operator=(const CIntakeProgress&) = delete;

    // Called before each photo; false once the user has asked to stop.
    bool Next(const std::string& name)
    {
        platform::EventPump().Pump();
        platform::IInputState& input = platform::Input();
        if (input.AsyncKeyState(platform::Key::Escape))
            return false;
        if (input.AsyncKeyState(platform::Key::LeftButton) && m_doc.TestBreakClick() == kBreakClickOnTimer)
            return false;
        ++m_done;
        if (m_total > 1)
            SetStatusText(0, "Importing photo " + std::to_string(m_done) + " of " + std::to_string(m_total) + ": " +
                                 GetFileName(name) + " .. .    Type [ Esc ] key to break.");
        return true;
    }

private:
    static constexpr const char* kIntakeJobText = "Importing photos.. .    Type [ Esc ] key to break.";
    CSmDoc& m_doc;
    int m_total;
    int m_done = 0;
    const platform::JobScope m_job;
    const platform::WaitCursor m_wait;
};

int CountNames(const std::string& list)
{
    int n = 0;
    for (size_t at = 0; at < list.size();) {
        const size_t semi = list.find(';', at);
        const size_t end = semi == std::string::npos ? list.size() : semi;
        n += end > at;
        at = end + 1;
    }
    return n;
}

} // namespace

// ---- Counting and selection --------------------------------------------------------------------

namespace {

// How many pieces of the list have entries that answer yes.
template <class Test>
int CountPiecesWhere(const std::list<int>& pieces, const std::vector<CPictureEntry>& entries, Test test)
{
    int n = 0;
    for (int i : pieces)
        n += test(entries[static_cast<size_t>(i)]) ? 1 : 0;
    return n;
}

bool IsSelected(const CPictureEntry& e) { return e.m_State > 6; }
bool IsFitted(const CPictureEntry& e) { return e.m_FitStatus > 2; }

} // namespace

int CSmDoc::CountSelectedPieces() const
{
    return CountPiecesWhere(m_pieceList, m_entries, IsSelected);
}

int CSmDoc::CountSelectedFittedPieces() const
{
    return CountPiecesWhere(m_pieceList, m_entries,
                            [](const CPictureEntry& e) { return IsSelected(e) && IsFitted(e); });
}

int CSmDoc::CountFittedPieces() const
{
    return CountPiecesWhere(m_pieceList, m_entries, IsFitted);
}

int CSmDoc::CountSelectedUnfittedPieces() const
{
    return CountPiecesWhere(m_pieceList, m_entries,
                            [](const CPictureEntry& e) { return IsSelected(e) && !IsFitted(e); });
}

int CSmDoc::CountPiecesToFit() const
{
    int pieces = 0;
    int laid = 0;
    int waiting = 0;
    for (int i : m_pieceList) {
        const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_State < 6)
            continue;
        ++pieces;
        if (e.m_PieceSlot == CPoint())
            continue;
        ++laid;
        waiting += e.m_FitStatus < 3;
    }
    if (pieces == 0)
        return -2;
    if (laid == 0)
        return -1;
    return waiting;
}

int CSmDoc::SelectAllPieces()
{
    for (int i : m_pieceList)
        if (m_entries[static_cast<size_t>(i)].m_State == 6)
            m_entries[static_cast<size_t>(i)].m_State = 7;
    return 1;
}

int CSmDoc::DeselectAllPieces()
{
    for (int i : m_pieceList)
        if (m_entries[static_cast<size_t>(i)].m_State == 7)
            m_entries[static_cast<size_t>(i)].m_State = 6;
    return 1;
}

int CSmDoc::GetPieceEntry(int n) const
{
    if (n < 0)
        return -2;
    for (int i : m_pieceList)
        if (n-- == 0)
            return i;
    return -2;
}

bool CSmDoc::IsPiece(int entry) const
{
    return std::find(m_pieceList.begin(), m_pieceList.end(), entry) != m_pieceList.end();
}

int CSmDoc::GetFirstSelectedEntry() const
{
    for (int i : m_pieceList)
        if (m_entries[static_cast<size_t>(i)].m_State > 6)
            return i;
    return -1;
}

int CSmDoc::FindPieceIndexByName(const std::string& name) const
{
    for (int i : m_pieceList)
        if (EqualsNoCase(m_entries[static_cast<size_t>(i)].m_Name, name))
            return i;
    return -2;
}

// ---- Intake ---------------------------------------------------------------------------------------

std::string CSmDoc::UnreadableText()
{
    // Say what is wrong when the file is not damaged: not readable as a file, too large, or of a
    // kind our readers do not support.
    return WithRefusalReason(Catalogue().formatNotSupported);
}

void CSmDoc::RefusePicture(const std::string& name, bool unreadable)
{
    if (unreadable)
        SetStatusMessage(name + "\n" + UnreadableText());
    else
        SetStatusMessage(Catalogue().pictureInadequate);
}

int CSmDoc::ImportPhotos()
{
    platform::FileDialogRequest request;
    request.title = Catalogue().openPictures;
    request.filter = kImportFilter;
    request.defaultExt = "BMP";
    const std::vector<std::string> paths = platform::FileDialog().OpenFiles(request);
    if (paths.empty())
        return -1;
    CIntakeProgress progress(*this, static_cast<int>(paths.size()));
    for (const std::string& path : paths) {
        if (!progress.Next(path))
            break;
        m_droppedNames = path;
        const int i = AddFirstDroppedPicture();
        if (i >= 0) {
            m_dropPoint = kNoCell;
            DropPiece(i);
        }
    }
    ClearDropList();
    m_areaShown = 0;
    SetModifiedFlag();
    // Ask the views to draw the new pictures now; closing the file dialog does not repaint
    // the stock area where they land.
    UpdateAllViews(nullptr, HINT_DROP_ENTERED);
    return 1;
}

CKpic* CSmDoc::EnterPieceInComp(int entry)
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return nullptr;
    CPictureEntry& e = m_entries[static_cast<size_t>(entry)];
    CKpic* k = m_pComp->OpenPicture(e.m_Name);
    if (k)
        k->m_LayoutCell = e.m_PieceSlot;
    return k;
}

int CSmDoc::AddFirstDroppedPicture()
{
    if (m_droppedNames.size() < 2)
        return -1;
    std::string list = m_droppedNames;
    const std::string name = TakeFirstName(list);
    // Project files and other kinds are no pictures.
    if (GetFileKind(name) <= FILE_KIND_PROJECT)
        return -1;

    const int existing = FindPieceIndexByName(name);
    if (existing >= 0) {
        CPictureEntry& e = m_entries[static_cast<size_t>(existing)];
        if (e.m_State < 6)
            e.m_State = 6;
        return existing;
    }

    int result = -1;
    m_lastEntryRead = 1;
    const int index = RegisterPicture(name, 0);
    if (index < 0 || index >= static_cast<int>(m_entries.size())) {
        if (m_lastEntryRead > kResultOutOfMemory)
            RefusePicture(name, true);
    } else if (TooSmall(m_entries[static_cast<size_t>(index)])) {
        RefusePicture(name, false);
    } else {
        CPictureEntry& e = m_entries[static_cast<size_t>(index)];
        if (EnterPieceInComp(index)) {
            e.m_State = 6;
            m_pieceList.push_back(index);
            if (e.m_EntryFlag != 0)
                UpdateAllViews(nullptr, HINT_PIECE_IN, HintObject::Number(e.m_EntryFlag));
            else
                m_dropFlag = 3;
            result = index;
        } else {
            if (e.m_EntryFlag != 0) {
                UpdateAllViews(nullptr, HINT_PIECE_REFUSED, HintObject::Number(e.m_EntryFlag));
                e.m_EntryFlag = 0;
            }
            e.m_State = 1;
        }
    }
    UpdateAllViews(nullptr, HINT_DROP_DONE);
    LayoutPieces(1, CSize());
    UpdateTitleText(std::string());
    SetModifiedFlag();
    return result;
}

int CSmDoc::AddDroppedPictures()
{
    int count = 0;
    CIntakeProgress progress(*this, CountNames(m_droppedNames));
    while (m_droppedNames.size() >= 2) {
        const std::string name = TakeFirstName(m_droppedNames);
        if (!progress.Next(name))
            break;
        if (GetFileKind(name) <= FILE_KIND_PROJECT)
            continue;
        const int existing = FindPieceIndexByName(name);
        if (existing >= 0) {
            CPictureEntry& e = m_entries[static_cast<size_t>(existing)];
            if (e.m_State < 6)
                e.m_State = 6;
            continue;
        }
        ++count;
        m_lastEntryRead = 1;
        const int index = m_droppedNames.size() > 1 ? RegisterPictureSize(name) : RegisterPicture(name, 0);
        if (index < 0 || index >= static_cast<int>(m_entries.size())) {
            if (m_lastEntryRead > kResultOutOfMemory)
                RefusePicture(name, true);
            continue;
        }
        CPictureEntry& e = m_entries[static_cast<size_t>(index)];
        if (TooSmall(e)) {
            RefusePicture(name, false);
            continue;
        }
        if (EnterPieceInComp(index)) {
            if (e.m_State < 6)
                e.m_State = 6;
            if (!IsPiece(index))
                m_pieceList.push_back(index);
            if (e.m_EntryFlag != 0)
                UpdateAllViews(nullptr, HINT_PIECE_IN, HintObject::Number(e.m_EntryFlag));
            else
                m_dropFlag = 3;
        } else {
            if (e.m_EntryFlag != 0) {
                UpdateAllViews(nullptr, HINT_PIECE_REFUSED, HintObject::Number(e.m_EntryFlag));
                e.m_EntryFlag = 0;
            }
            e.m_State = 1;
        }
    }
    m_droppedNames.clear();
    LayoutPieces(1, CSize());
    UpdateAllViews(nullptr, HINT_DROP_ENTERED);
    SetModifiedFlag();
    return count;
}

int CSmDoc::RemovePictureFromComp(int entry)
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return -1;
    const std::string name = m_entries[static_cast<size_t>(entry)].m_Name;
    if (name.empty())
        return -1;
    int index = m_pComp->FindPictureIndex(name);
    if (index < 0)
        return -1;
    if (index == 0)
        m_pComp->ResetAllPictures();
    m_pComp->UnfitPicture(name);
    index = m_pComp->FindPictureIndex(name);
    if (index >= 0)
        m_pComp->DeletePicture(index);
    return 1;
}

// ---- Back to the stock -------------------------------------------------------------------------

void CSmDoc::ReturnPieceToStock(int entry)
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return;
    CPictureEntry& e = m_entries[static_cast<size_t>(entry)];
    e.m_State = 3;
    if (e.m_QuarterTurns != 0) {
        e.m_Rect = CRect();
        e.m_SecondRect = CRect();
    }
    e.m_QuarterTurns = 0;
    e.m_PieceSlot = CPoint();
    RemovePictureFromComp(entry);
    m_entries[static_cast<size_t>(entry)].m_FitStatus = 0;
    UpdateAllViews(nullptr, HINT_PIECE_OUT, HintObject::Number(m_entries[static_cast<size_t>(entry)].m_EntryFlag));
    m_pieceList.remove(entry);
    UpdateTitleText(std::string());
}

void CSmDoc::ReturnAllPiecesToStock()
{
    // Each return takes its piece off the list: walk a copy.
    const std::list<int> pieces = m_pieceList;
    for (int entry : pieces)
        ReturnPieceToStock(entry);
    SyncPieceStates();
    LayoutPieces(1, CSize());
}

int CSmDoc::UnfitPiece(int piece)
{
    int count = 0;
    if (piece != kNoPiece) {
        if (piece < 0 || piece >= static_cast<int>(m_entries.size()))
            return 0;
        const CPictureEntry& e = m_entries[static_cast<size_t>(piece)];
        if (e.m_FitStatus < 3)
            return 0;
        if (m_pComp->FindPictureIndex(e.m_Name) == 0)
            return -5;
        m_pComp->UnfitPicture(e.m_Name);
        count = 1;
    } else {
        for (int i : m_pieceList) {
            const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
            if (e.m_State > 6 && e.m_FitStatus > 2 && m_pComp->FindPictureIndex(e.m_Name) == 0)
                return -5;
        }
        for (int i : m_pieceList) {
            const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
            if (e.m_State > 6 && e.m_FitStatus > 2) {
                m_pComp->UnfitPicture(e.m_Name);
                ++count;
            }
        }
    }
    if (count > 0) {
        m_pComp->RefreshCommonFocal();
        UpdateAllViews(nullptr, HINT_PIECES);
    }
    return count;
}

void CSmDoc::OnClearAllFit()
{
    m_pComp->SaveUndoSnapshot();
    m_undoKind = 15;
    m_pComp->ResetAllPictures();
    m_areaShown = 0;
    SyncPieceStates();
    LayoutPieces(1, CSize());
    UpdateAllViews(nullptr, HINT_RESET);
}

int CSmDoc::EjectPieces(int piece)
{
    if (UnfitPiece(piece) == -5) {
        if (ShowMessage(Catalogue().unfitAllQuestion, platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
            return 0;
        OnClearAllFit();
    }
    auto followUp = [this] {
        m_pComp->RefreshCommonFocal();
        m_pComp->ApplyDefaultFocal(std::string());
        SyncPieceStates();
        LayoutPieces(1, CSize());
        SetModifiedFlag();
    };
    if (piece != kNoPiece) {
        if (piece < 0 || piece >= static_cast<int>(m_entries.size()))
            return 0;
        ReturnPieceToStock(piece);
        followUp();
        return 1;
    }
    const std::list<int> pieces = m_pieceList;
    int count = 0;
    for (int i : pieces) {
        if (m_entries[static_cast<size_t>(i)].m_State == 7) {
            ReturnPieceToStock(i);
            ++count;
        }
    }
    if (count > 0)
        followUp();
    return count;
}

int CSmDoc::EjectUselessPieces()
{
    const std::list<int> pieces = m_pieceList;
    int count = 0;
    for (int i : pieces) {
        CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_FitStatus > 0 || (e.m_PieceSlot != CPoint() && e.m_PieceSlot != kNoCell))
            continue;
        ReturnPieceToStock(i);
        ++count;
    }
    LayoutPieces(1, CSize());
    if (count > 0)
        SetModifiedFlag();
    return count;
}

int CSmDoc::ClearTiling()
{
    for (int i : m_pieceList) {
        CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_FitStatus <= 0)
            e.m_PieceSlot = CPoint();
    }
    LayoutPieces(1, CSize());
    UpdateAllViews(nullptr, HINT_STATUS);
    SetModifiedFlag();
    return 1;
}

// ---- Hit tests ----------------------------------------------------------------------------------

std::string CSmDoc::HitTestFittedPiece(CPoint point)
{
    for (int i : m_pieceList) {
        const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_FitStatus < 3 || e.m_Name.empty())
            continue;
        if (!m_pComp->GetPlacedOutline(e.m_Name).PtInRect(point))
            continue;
        CKpic* k = FindPictureByName(e.m_Name);
        if (!k)
            continue;
        const CPoint p = m_pComp->PixelToPictureD(k, point.x, point.y);
        if (k->m_PictureRect.PtInRect(p))
            return e.m_Name;
    }
    return std::string();
}

std::string CSmDoc::HitTestDropTarget(CPoint screenPoint)
{
    if (m_pColorFitDlg && m_pColorFitDlg->GetState() > 0 && m_pColorFitDlg->HasWindow() &&
        m_pColorFitDlg->ScreenRect().PtInRect(screenPoint))
        return "ColorAdjust";
    for (const auto& w : m_pictureWindows)
        if (w && w->ScreenRect().PtInRect(screenPoint))
            return w->GetPath();
    return std::string();
}

// ---- Placing --------------------------------------------------------------------------------------

int CSmDoc::ProposeProjection()
{
    bool any = false;
    int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
    for (int i : m_pieceList) {
        const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_State < 6 || CellIndex(e.m_PieceSlot.x, e.m_PieceSlot.y) < 0)
            continue;
        if (!any) {
            c0 = c1 = e.m_PieceSlot.x;
            r0 = r1 = e.m_PieceSlot.y;
            any = true;
        }
        c0 = std::min(c0, e.m_PieceSlot.x);
        c1 = std::max(c1, e.m_PieceSlot.x);
        r0 = std::min(r0, e.m_PieceSlot.y);
        r1 = std::max(r1, e.m_PieceSlot.y);
    }
    const int columns = c1 - c0;
    int proposal;
    if (r1 - r0 > 1)
        proposal = columns < 4 ? 12 : m_panoramaDefault;
    else
        proposal = columns < 3 ? 12 : m_panoramaDefault;
    UpdateTitleText(std::string());
    return proposal;
}

int CSmDoc::PlaceOnFittedPicture(int entry)
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return -1;
    const CPictureEntry& e = m_entries[static_cast<size_t>(entry)];
    if (e.m_Name.empty())
        return -1;
    CKpic* k = FindPictureByName(e.m_Name);
    if (!k)
        k = m_pComp->OpenPicture(e.m_Name);
    if (!k || m_droppedNames != e.m_Name)
        return -1;
    if (m_pComp->GetFittedCount() > 0 && m_dropAnchor == CPoint())
        return -1;
    k->QuarterTurns = e.m_QuarterTurns;
    // Placing loads the picture and may refine the fit, so it holds the running-job marker.
    const platform::JobScope job;
    const int answer = m_pComp->PlaceDroppedPicture(e.m_Name, m_dropAnchor, m_dropPoint, 1, 5, m_circlingTurn);
    if (answer == 3)
        return answer;
    const int fitted = m_pComp->GetFittedCount();
    if (answer == 1 && (fitted == 2 || fitted == 4)) {
        m_pComp->SetBreakMode(2);
        m_pComp->OptimizeFit();
        m_pComp->SetBreakMode(0);
    } else {
        SetStatusText(0, Catalogue().clickFitAnytime);
    }
    RefreshPieces();
    UpdateTitleText(std::string());
    UpdateAllViews(nullptr, HINT_RENDER_SETUP);
    UpdateAllViews(nullptr, HINT_PIECES);
    SetModifiedFlag();
    return answer;
}

int CSmDoc::PutPieceAtCell(int entry, int column, int row, int mode)
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return -1;
    if (m_entries[static_cast<size_t>(entry)].m_FitStatus >= 3)
        return -1;
    if (SetPieceCell(entry, column, row) < 0)
        return -1;
    int result = 1;
    const int fitted = m_pComp->GetFittedCount();
    CSize size = m_entries[static_cast<size_t>(entry)].m_Size;
    if (m_entries[static_cast<size_t>(entry)].m_QuarterTurns % 2 == 1)
        std::swap(size.cx, size.cy);
    if (fitted == 0) {
        const int placed = PlaceOnFittedPicture(entry);
        // A picture that could not become the base leaves the cell size as it was.
        if (placed < 1)
            return placed < 0 ? placed : -1;
        m_cellSize = size;
        result = 5;
    } else if (fitted > 1) {
        m_cellSize = CSize(size.cx / 2, size.cy / 2);
    }
    const int proposal = ProposeProjection();
    if (proposal != m_pComp->GetProjection()) {
        SetProjectionCode(proposal, 0);
        SetStatusText(0, Catalogue().selectProjectionHint);
        UpdateTitleText(std::string());
    }
    if (mode == 2)
        LayoutPieces(1, CSize());
    SetModifiedFlag();
    return result;
}

int CSmDoc::DropPiece(int entry)
{
    if (entry < 0 || entry >= static_cast<int>(m_entries.size()))
        return -1;
    if (TooSmall(m_entries[static_cast<size_t>(entry)])) {
        RefusePicture(m_entries[static_cast<size_t>(entry)].m_Name, false);
        return -1;
    }
    const std::string name = m_entries[static_cast<size_t>(entry)].m_Name;
    m_droppedNames = name;
    int result = 0;
    if (!HitTestFittedPiece(m_dropPoint).empty()) {
        m_pComp->SaveUndoSnapshot();
        m_undoKind = 15;
        const int answer = PlaceOnFittedPicture(entry);
        result = answer == 1 ? 5 : answer;
    } else {
        const CPoint cell = FindCellAt(m_dropPoint);
        if (cell != kNoCell) {
            const bool centre = cell == CPoint();
            if (centre)
                m_pComp->SaveUndoSnapshot();
            result = PutPieceAtCell(entry, cell.x, cell.y, 2);
            if (centre && result == 5) {
                m_undoKind = 15;
            } else {
                m_undoNames.assign(1, name);
                m_undoKind = 11;
            }
        }
    }
    if (m_dropHintCount <= 1 && m_statusMessage.empty() && m_pComp->GetFittedCount() == 1) {
        m_statusMessage = Catalogue().selectNextPicture;
        ++m_dropHintCount;
    }
    m_areaShown = 0;
    UpdateAllViews(nullptr, HINT_DROP_DONE);
    return result;
}

int CSmDoc::PlacePiecesInRow(int entry)
{
    const CPoint cell = FindCellAt(m_dropPoint);
    if (cell == kNoCell)
        return 0;
    std::vector<int> row;
    for (int i : m_pieceList) {
        const CPictureEntry& e = m_entries[static_cast<size_t>(i)];
        if (e.m_State == 7 && e.m_FitStatus <= 2)
            row.push_back(i);
    }
    const auto grabbed = std::find(row.begin(), row.end(), entry);
    if (grabbed == row.end())
        return 0;
    m_droppedNames = m_entries[static_cast<size_t>(entry)].m_Name;
    m_pComp->SaveUndoSnapshot();
    m_undoNames.clear();
    m_undoKind = 11;
    auto put = [this](int piece, int column, int r) {
        const int answer = PutPieceAtCell(piece, column, r, 0);
        if (answer < 0)
            return false;
        if (answer == 5)
            m_undoKind = 15;
        m_undoNames.push_back(m_entries[static_cast<size_t>(piece)].m_Name);
        return true;
    };
    int column = cell.x;
    for (auto it = grabbed; it != row.end(); ++it)
        if (!put(*it, column++, cell.y))
            break;
    column = cell.x - 1;
    for (auto it = grabbed; it != row.begin();)
        if (!put(*--it, column--, cell.y))
            break;
    LayoutPieces(1, CSize());
    UpdateAllViews(nullptr, HINT_LAYOUT);
    ClearDropList();
    UpdateAllViews(nullptr, HINT_DROP_DONE);
    return 1;
}

// The document's commands: the table of ids, captions, accelerators, handlers and update rules,
// and the commands that decide something (Fit, Fit around 360 degrees, the unfit commands and
// the one level of undo, the Option box, printing the current picture, the aux-line button).
#include "document/commands_table.h"

#include <algorithm>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "common/value_types.h"
#include "document/render_save.h"
#include "document/sm_doc.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"

namespace {

IOptionBox* g_optionBox = nullptr;

bool HasPieces(const CSmDoc& d) { return !d.m_pieceList.empty(); }
bool HasFitted(const CSmDoc& d) { return d.m_pComp->GetFittedCount() > 0; }

void Hint(CSmDoc& d, int hint) { d.UpdateAllViews(nullptr, hint); }

void SetPanoramaDefault(CSmDoc& d, int code)
{
    d.m_panoramaDefault = code;
    d.ApplyProjection(code, 0);
}
void SetFisheyeDefault(CSmDoc& d, int code)
{
    d.m_fisheyeDefault = code;
    d.ApplyProjection(code, 0);
}
void SetRingFisheyeDefault(CSmDoc& d, int code)
{
    d.m_ringFisheyeDefault = code;
    d.ApplyProjection(code, 0);
}
void SetFitPriority(CSmDoc& d, int value)
{
    d.m_fitPriority = value;
    d.UpdateAllViews(nullptr, HINT_FIT_PRIORITY, HintObject::Number(value));
    d.SaveQualityMode();
}
void SetRenderPriority(CSmDoc& d, int value)
{
    d.m_renderPriority = value;
    d.UpdateAllViews(nullptr, HINT_RENDER_PRIORITY, HintObject::Number(value));
    d.SaveRenderMode();
}

} // namespace

void SetOptionBox(IOptionBox* box) { g_optionBox = box; }
IOptionBox* OptionBox() { return g_optionBox; }

const std::vector<DocCommand>& DocumentCommands()
{
    using D = CSmDoc;
    using C = const CSmDoc;
    static const std::vector<DocCommand> table = {
        {32815, [](D& d) { d.ImportPhotos(); }, nullptr, nullptr},
        {32804, [](D& d) { d.RenderAndSave(); },
         [](C& d) { return HasFitted(d) && d.m_areaShown >= 1; }, nullptr},
        {ID_FILE_SAVE_AS, [](D& d) { d.FileSaveAs(); },
         [](C& d) { return d.m_pComp->GetPictureCount() > 0; }, nullptr},
        {32837, [](D& d) { d.OnFilePrintCurrentPicture(); }, nullptr, nullptr},
        {32788, [](D& d) { Hint(d, HINT_PIECES_LARGE); }, HasPieces,
         [](C& d) { return d.m_pieceSizePercent > 69; }},
        {32789, [](D& d) { Hint(d, HINT_PIECES_MIDDLE); }, HasPieces,
         [](C& d) { return d.m_pieceSizePercent >= 46 && d.m_pieceSizePercent <= 69; }},
        {32790, [](D& d) { Hint(d, HINT_PIECES_SMALL); }, HasPieces,
         [](C& d) { return d.m_pieceSizePercent <= 45; }},
        {32805,
         [](D& d) {
             d.m_areaShown = 0;
             Hint(d, HINT_PIECE_SIZE_STEP);
         },
         HasPieces, nullptr},
        {1030, [](D& d) { Hint(d, HINT_PIECE_SIZE_STEP); }, nullptr, nullptr},
        {32791, [](D& d) { Hint(d, HINT_TURN_RIGHT); },
         [](C& d) { return d.CountSelectedUnfittedPieces() > 0; }, nullptr},
        {32792, [](D& d) { Hint(d, HINT_TURN_LEFT); },
         [](C& d) { return d.CountSelectedUnfittedPieces() > 0; }, nullptr},
        {32793, [](D& d) { Hint(d, HINT_TURN_UPSIDE_DOWN); },
         [](C& d) { return d.CountSelectedUnfittedPieces() > 0; }, nullptr},
        {32795, [](D& d) { Hint(d, HINT_ZOOM_IN); }, [](C& d) { return d.m_zoomDivisor > 1; },
         nullptr},
        {32796, [](D& d) { Hint(d, HINT_ZOOM_OUT); }, [](C& d) { return d.m_zoomDivisor < 33; },
         nullptr},
        {32800, [](D& d) { Hint(d, HINT_ZOOM_100); }, nullptr, [](C& d) { return d.m_zoomDivisor == 1; }},
        {32799, [](D& d) { Hint(d, HINT_ZOOM_50); }, nullptr, [](C& d) { return d.m_zoomDivisor == 2; }},
        {32798, [](D& d) { Hint(d, HINT_ZOOM_25); }, nullptr, [](C& d) { return d.m_zoomDivisor == 4; }},
        {32797, [](D& d) { Hint(d, HINT_ZOOM_12); }, nullptr, [](C& d) { return d.m_zoomDivisor == 8; }},
        {32801,
         [](D& d) {
             d.m_auxLineMode = d.m_auxLineMode == 2 ? 0 : 2;
             Hint(d, HINT_STATUS);
         },
         nullptr, [](C& d) { return d.m_auxLineMode == 2; }},
        {32814,
         [](D& d) {
             d.m_auxLineMode = d.m_auxLineMode == 1 ? 0 : 1;
             Hint(d, HINT_STATUS);
         },
         nullptr, [](C& d) { return d.m_auxLineMode == 1; }},
        {1069, [](D& d) { d.OnShowAuxLines(); }, nullptr, nullptr},
        {32816,
         [](D& d) {
             Hint(d, HINT_REDRAW_ALL);
             Hint(d, HINT_AUX_REDRAW);
             Hint(d, HINT_PIECES);
         },
         nullptr, nullptr},
        {32818,
         [](D& d) {
             d.SelectAllPieces();
             Hint(d, HINT_STATUS);
         },
         HasPieces, nullptr},
        {32802, [](D& d) { d.OnProcessFit(); },
         [](C& d) { return d.m_pComp->GetFittedCount() >= 2 || d.CountPiecesToFit() >= 1; }, nullptr},
        {32817, [](D& d) { d.OnProcessFit360(); },
         [](C& d) { return d.m_cellRange.Width() > 5; }, nullptr},
        {32803, [](D& d) { Hint(d, HINT_SET_AREA); },
         [](C& d) { return HasFitted(d) || d.m_areaShown >= 1; }, nullptr},
        {32844, [](D& d) { d.OnUnfitSelection(); },
         [](C& d) { return HasFitted(d) && d.CountSelectedPieces() > 0; }, nullptr},
        {32836,
         [](D& d) {
             d.OnClearAllFit();
             d.SetModifiedFlag();
         },
         HasFitted, nullptr},
        {32848, [](D& d) { d.OnUndoLastFit(); }, HasFitted, nullptr},
        {32857, [](D& d) { d.OnProcessUndo(); }, [](C& d) { return d.m_undoKind != 0; },
         nullptr},
        {32813, [](D& d) { d.OnProcessOptionBox(); }, nullptr, nullptr},
        {32835, [](D& d) { SetPanoramaDefault(d, 21); }, nullptr,
         [](C& d) { return d.m_panoramaDefault == 21; }},
        {32825, [](D& d) { SetPanoramaDefault(d, 22); }, nullptr,
         [](C& d) { return d.m_panoramaDefault == 22; }},
        {32826, [](D& d) { SetPanoramaDefault(d, 23); },
         nullptr, [](C& d) { return d.m_panoramaDefault == 23; }},
        {32831, [](D& d) { SetPanoramaDefault(d, 24); }, nullptr,
         [](C& d) { return d.m_panoramaDefault == 24; }},
        {32828, [](D& d) { SetFisheyeDefault(d, 31); }, nullptr,
         [](C& d) { return d.m_fisheyeDefault == 31; }},
        {32829, [](D& d) { SetFisheyeDefault(d, 32); }, nullptr,
         [](C& d) { return d.m_fisheyeDefault == 32; }},
        {32830, [](D& d) { SetFisheyeDefault(d, 33); }, nullptr,
         [](C& d) { return d.m_fisheyeDefault == 33; }},
        {32832, [](D& d) { SetRingFisheyeDefault(d, 31); }, nullptr,
         [](C& d) { return d.m_ringFisheyeDefault == 31; }},
        {32833, [](D& d) { SetRingFisheyeDefault(d, 32); }, nullptr,
         [](C& d) { return d.m_ringFisheyeDefault == 32; }},
        {32834, [](D& d) { SetRingFisheyeDefault(d, 33); }, nullptr,
         [](C& d) { return d.m_ringFisheyeDefault == 33; }},
        {32849, [](D& d) { d.m_jpegQuality = 10; }, nullptr,
         [](C& d) { return d.m_jpegQuality > 7; }},
        {32850, [](D& d) { d.m_jpegQuality = 3; }, nullptr,
         [](C& d) { return d.m_jpegQuality >= 3 && d.m_jpegQuality <= 7; }},
        {32851, [](D& d) { d.m_jpegQuality = 1; }, nullptr, [](C& d) { return d.m_jpegQuality < 3; }},
        {32856, [](D& d) { SetFitPriority(d, 1); }, nullptr,
         [](C& d) { return d.m_fitPriority == 1; }},
        {32855, [](D& d) { SetFitPriority(d, 2); }, nullptr,
         [](C& d) { return d.m_fitPriority == 2; }},
        {32861, [](D& d) { SetRenderPriority(d, 1); }, nullptr,
         [](C& d) { return d.m_renderPriority == 1; }},
        {32860, [](D& d) { SetRenderPriority(d, 2); }, nullptr,
         [](C& d) { return d.m_renderPriority == 2; }},
        {32859, [](D& d) { d.ShowColorFitManager(std::string()); }, nullptr, nullptr},
        {1276, [](D& d) { d.ShowColorFitManager(std::string()); }, nullptr, nullptr},
        {32838,
         [](D& d) {
             d.LayoutSingleInline();
             d.OnProcessFit();
         },
         nullptr, nullptr},
        {32839,
         [](D& d) {
             d.LayoutDualInline();
             d.OnProcessFit();
         },
         [](C& d) { return d.GetPieceCount() % 2 == 0; }, nullptr},
        {32840,
         [](D& d) {
             d.LayoutTripleInline();
             d.OnProcessFit();
         },
         [](C& d) { return d.GetPieceCount() % 3 == 0; }, nullptr},
    };
    return table;
}

const DocCommand* FindDocumentCommand(int id)
{
    for (const DocCommand& c : DocumentCommands())
        if (c.id == id)
            return &c;
    return nullptr;
}

void CSmDoc::RegisterCommandTable()
{
    for (const DocCommand& c : DocumentCommands()) {
        const DocCommand* entry = &c;
        StateHandler state;
        if (entry->enabled || entry->checked)
            state = [this, entry] {
                return CommandState{!entry->enabled || entry->enabled(*this), entry->checked && entry->checked(*this)};
            };
        AddCommand(entry->id, [this, entry] { entry->handler(*this); }, std::move(state));
    }
}

// ---- Fitting ---------------------------------------------------------------------------------

void CSmDoc::OnProcessFit()
{
    const platform::WaitCursor wait;
    const MessageCatalogue& text = Catalogue();
    PreparePiecesForSave();
    const int n = CountPiecesToFit();
    if (n == -2)
        return;
    const platform::JobScope job;
    UpdateAllViews(nullptr, HINT_TIMER, HintObject::Number(6));
    ClearRenderRequest();
    m_undoKind = 14;
    m_pComp->SaveUndoSnapshot();
    if (n == 0) {
        // Nothing waits: the fitted pictures are refined.
        m_jobText = text.tryingBetterFitness;
        m_jobGuide = text.productsFolderDoc;
        RepaintWorkView();
        m_pComp->SetBreakMode(2);
        m_pComp->OptimizeFit();
        m_pComp->SetBreakMode(0);
        SetRenderAreaToFittedPictures(false);
        ClearJobDisplay();
        UpdateAllViews(nullptr, HINT_RENDER_SETUP);
        UpdateAllViews(nullptr, HINT_PIECES);
    } else {
        m_jobText = text.fittingAll;
        m_jobGuide = text.productsFolderDoc;
        m_jobPress = 0;
        RepaintWorkView();
        const int r = m_pComp->RunAutoFit();
        RefreshPieces();
        SetRenderAreaToFittedPictures(true);
        ClearJobDisplay();
        UpdateAllViews(nullptr, HINT_RENDER_SETUP);
        UpdateAllViews(nullptr, HINT_PIECES);
        if (r != 1) {
            m_statusMessage = r == kResultOutOfMemory ? text.memoryTooShort : text.missedPosition;
            UpdateAllViews(nullptr, HINT_STATUS);
        }
        UpdateAllViews(nullptr, HINT_FIT_DONE);
    }
    UpdateAllViews(nullptr, HINT_TIMER, HintObject::Number(3));
    if (n != 0)
        SetStatusText(0, text.clickFitAnytime);
    SetModifiedFlag();
    UpdateTitleText(std::string());
}

void CSmDoc::OnProcessFit360()
{
    const platform::WaitCursor wait;
    PreparePiecesForSave();
    const int n = CountPiecesToFit();
    if (n == -2)
        return;
    const platform::JobScope job;
    UpdateAllViews(nullptr, HINT_TIMER, HintObject::Number(6));
    SetProjectionCode(22, 0);
    ClearRenderRequest();
    // Undoable as Fit is.
    m_undoKind = 14;
    m_pComp->SaveUndoSnapshot();
    if (n == 0) {
        UpdateAllViews(nullptr, HINT_RENDER_SETUP);
        UpdateAllViews(nullptr, HINT_PIECES);
    } else {
        const int r = m_pComp->RunAutoFit360();
        RefreshPieces();
        SetRenderAreaToFittedPictures(true);
        UpdateAllViews(nullptr, HINT_RENDER_SETUP);
        UpdateAllViews(nullptr, HINT_PIECES);
        if (r != 1) {
            m_statusMessage = r == kResultOutOfMemory ? Catalogue().memoryTooShort : Catalogue().missedPosition;
            UpdateAllViews(nullptr, HINT_STATUS);
        }
        UpdateAllViews(nullptr, HINT_FIT_DONE);
    }
    UpdateAllViews(nullptr, HINT_TIMER, HintObject::Number(3));
    SetModifiedFlag();
    UpdateTitleText(std::string());
}

// ---- Unfitting and undo ----------------------------------------------------------------------

void CSmDoc::OnUnfitSelection()
{
    m_pComp->SaveUndoSnapshot();
    m_undoKind = 15;
    const int r = UnfitPiece(kNoPiece);
    if (r == -5) {
        if (ShowMessage(Catalogue().unfitAllQuestion, platform::MB_YESNO | platform::MB_ICONQUESTION) ==
            platform::IDYES) {
            OnClearAllFit();
            SetModifiedFlag();
        }
        return;
    }
    if (r >= 1) {
        m_areaShown = 0;
        SyncPieceStates();
        LayoutPieces(1, CSize());
        UpdateAllViews(nullptr, HINT_PIECES);
        SetModifiedFlag();
    }
}

void CSmDoc::OnUndoLastFit()
{
    const int k = m_pComp->GetFittedCount();
    if (k <= 0)
        return;
    m_pComp->SaveUndoSnapshot();
    m_undoKind = 15;
    if (CKpic* last = m_pComp->GetPictureAt(k - 1)) {
        m_pComp->UnfitPicture(last->m_Path);
        m_areaShown = 0;
        SyncPieceStates();
        LayoutPieces(1, CSize());
        UpdateAllViews(nullptr, HINT_PIECES);
        SetModifiedFlag();
    }
}

void CSmDoc::OnProcessUndo()
{
    if (m_undoKind == 11) {
        for (const std::string& name : m_undoNames) {
            const int piece = name.empty() ? -1 : FindPieceIndexByName(name);
            if (piece >= 0)
                SetPieceCell(GetPieceEntry(piece), 0, 0);
        }
        LayoutPieces(1, CSize());
        UpdateAllViews(nullptr, HINT_STATUS);
    } else if (m_undoKind == 14 || m_undoKind == 15) {
        m_pComp->RestoreUndoSnapshot();
        SyncPieceStates();
        LayoutPieces(1, CSize());
        UpdateAllViews(nullptr, HINT_PIECES);
    } else {
        return;
    }
    m_undoKind = 0;
    m_undoNames.clear();
    SetModifiedFlag();
}

// ---- Option box ------------------------------------------------------------------------------

void CSmDoc::WarnAboutOutputSize()
{
    // A typed size is told at once what Render and Save would say of it for the file it will
    // propose: too big for that kind of file, or more than the disk there holds.
    std::string firstPicture;
    if (!m_pieceList.empty() && m_pieceList.front() >= 0 && static_cast<size_t>(m_pieceList.front()) < m_entries.size())
        firstPicture = m_entries[static_cast<size_t>(m_pieceList.front())].m_Name;
    const render_save::OutputProposal proposal =
        render_save::ProposeOutputName(m_lastOutputPath, m_archivePath, firstPicture, m_areaMode);
    const int kind = GetFileKind(proposal.name);
    const MessageCatalogue& text = Catalogue();
    if (!render_save::FitsFileKind(kind, m_outputSize.cx, m_outputSize.cy)) {
        SetStatusMessage(text.tooBigToCreate);
        return;
    }
    const int64_t needed = 3 * render_save::DiskEstimate(kind, m_outputSize.cx, m_outputSize.cy);
    const std::string folder = GetFolder(proposal.name);
    const int64_t available = render_save::FreeSpace(folder.empty() ? "." : folder);
    if (available >= 0 && available < needed)
        SetStatusMessage(text.noDiskSpace);
}

void CSmDoc::OnProcessOptionBox()
{
    IOptionBox* box = OptionBox();
    if (!box)
        return;
    m_outputSize = GetOutputSize(1);
    const int large = CalcOutputSize(0, 1).cx;
    box->SetOutputSize(m_outputSize);
    box->SetReferenceWidth(large + large / 3);
    const int family = GetProjectionFamily(-2);
    box->SetFamily(family);
    box->SetAreaMode(m_areaMode);
    const int width = m_outputSize.cx;

    int result = box->Run();
    bool previewed = false;
    if (result == 4) {
        // Preview of the movie area: a full turn in the equirectangular projection.
        const CRect savedArea = m_renderArea;
        const CSize savedSize = m_outputSize;
        const int savedSizeMode = m_sizeMode;
        const int savedAreaMode = m_areaMode;
        const int savedProjection = m_pComp->GetProjection();
        m_areaMode = 3;
        box->SetAreaMode(3);
        box->SetFamily(GetProjectionFamily(23));
        // The projection changes the ordinary way, so the work view, the title and the manager
        // show the preview while the dialog runs again.
        ApplyProjection(23, 1);
        SetDefaultRenderArea();
        m_renderArea = m_defaultArea;
        m_sizeMode = 0;
        m_outputSize = GetOutputSize(24);
        box->SetOutputSize(m_outputSize);
        UpdateAllViews(nullptr, HINT_OPTIONS, HintObject::Number(4));
        UpdateAllViews(nullptr, HINT_STATUS);
        previewed = true;
        result = box->Run();
        // A second preview is not offered: it counts as Cancel.
        if (result == 4)
            result = 2;
        if (result == 2) {
            m_renderArea = savedArea;
            m_outputSize = savedSize;
            m_sizeMode = savedSizeMode;
            m_areaMode = savedAreaMode;
            ApplyProjection(savedProjection, 1);
            m_renderArea = savedArea;
            m_outputSize = savedSize;
            UpdateAllViews(nullptr, HINT_OPTIONS, HintObject::Number(4));
            UpdateAllViews(nullptr, HINT_STATUS);
        }
    }
    if (result != 1)
        return;

    m_outputDpi = 288;
    m_pComp->SetOverlapMode(0);
    m_areaMode = box->GetAreaMode();
    if (box->GetFamily() != family) {
        if (previewed) {
            ApplyProjection(23, 3);
            m_renderArea = m_defaultArea;
        } else {
            ApplyProjection(GetDefaultProjection(box->GetFamily()), 0);
        }
    }
    if (box->GetWidth() != width) {
        const int typed = Clamp(box->GetWidth(), 1, 999999);
        if (m_renderArea.Width() != 0)
            m_outputScale = double(typed) / double(m_renderArea.Width());
        m_sizeMode = 3;
        m_outputSize = GetOutputSize(1);
        if (m_areaShown > 0)
            m_areaShown = 3;
        UpdateAllViews(nullptr, HINT_OPTIONS, HintObject::Number(4));
        WarnAboutOutputSize();
    }
    UpdateAllViews(nullptr, HINT_STATUS);
    SetModifiedFlag();
    if (box->RenderNow())
        RenderAndSave();
}

// ---- Printing, colour, aux lines ---------------------------------------------------------------

void CSmDoc::OnFilePrintCurrentPicture()
{
    std::string name;
    const int open = CountPictureWindows(name);
    if (!name.empty()) {
        IPictureWindow* w = FindPictureWindow(name);
        if (!w || !w->HasWindow())
            name.clear();
    }
    if (open >= 2) {
        ShowMessage(Catalogue().openOnlyOneForPrint);
        return;
    }
    if (name.empty() && CountSelectedPieces() == 1) {
        const std::string picture = m_entries[static_cast<size_t>(GetFirstSelectedEntry())].m_Name;
        ClosePictureWindows(picture);
        IFrameWindow* frame = GetViewFrame();
        if (!frame || OpenPictureWindow(frame, picture, 0, 0, -1) != 1)
            return;
        name = picture;
    }
    IPictureWindow* window = name.empty() ? nullptr : FindPictureWindow(name);
    if (window && window->HasWindow() && window->GetBitmap()) {
        m_pPrintBitmap = window->GetBitmap();
        UpdateAllViews(nullptr, HINT_PRINT_PICTURE, HintObject::Path(&name));
        return;
    }
    ShowMessage(Catalogue().chooseOnlyOneForPrint);
}

int CSmDoc::ShowColorFitManager(const std::string& name)
{
    if (!m_pColorFitDlg)
        return -1;
    return m_pColorFitDlg->OpenForPicture(name) == 1 ? 1 : -1;
}

int CSmDoc::DropOnColorFitManager(const std::string& name, CPoint screen)
{
    if (!m_pColorFitDlg)
        return -1;
    return m_pColorFitDlg->DropPicture(name, screen);
}

void CSmDoc::OnShowAuxLines()
{
    m_auxLineMode = m_auxLineMode <= 0 ? 3 : 0;
    const int second = platform::Clock().Now().second;
    if (second == m_auxPressSecond)
        UpdateAllViews(nullptr, HINT_AUX_REDRAW);
    m_auxPressSecond = second;
    UpdateAllViews(nullptr, HINT_STATUS);
}

// The project document's life cycle (construction, reset, new, open and save), the idle step,
// the view lookups and notifications, the break click test, priorities and projections.
#include "document/sm_doc.h"

#include <filesystem>
#include <new>
#include <system_error>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "common/value_types.h"
#include "document/render_save.h"
#include "geometry/lens_table.h"
#include "geometry/sphere.h"
#include "imagefile/jpeg_picture_read.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/mcomp.h"
#include "picset/project_file.h"
#include "platform/clock.h"
#include "platform/idle_state.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/settings_store.h"
#include "platform/system_services.h"

std::string PendingStatusText;

namespace {

FacadeFactory g_facadeFactory;
PictureWindowFactory g_pictureWindowFactory;
FatalExitHandler g_fatalExit;
GuideOpener g_guideOpener;

// The local second seen by the previous idle check, and the idle calls still wanted.
int g_previousIdleSecond = -2;
int g_idleBudget = 100;
// The facade's unit scale, recorded at construction.
double g_unitScale = 1.0;

constexpr int kEntryCount = 500;

} // namespace

std::unique_ptr<CMcomp> MakeFacade() { return g_facadeFactory ? g_facadeFactory() : std::make_unique<CMcomp>(); }
void SetFacadeFactory(FacadeFactory factory) { g_facadeFactory = std::move(factory); }
void SetPictureWindowFactory(PictureWindowFactory factory) { g_pictureWindowFactory = std::move(factory); }
std::unique_ptr<IPictureWindow> MakePictureWindow(IFrameWindow* parent)
{
    return g_pictureWindowFactory ? g_pictureWindowFactory(parent) : nullptr;
}
void SetFatalExitHandler(FatalExitHandler handler) { g_fatalExit = std::move(handler); }
void FatalExit(int code)
{
    if (g_fatalExit)
        g_fatalExit(code);
    std::exit(code);
}
void SetGuideOpener(GuideOpener opener) { g_guideOpener = std::move(opener); }
int OpenGuide(const std::string& stem) { return g_guideOpener ? g_guideOpener(stem) : -1; }
double FacadeUnitScale() { return g_unitScale; }

void ResetDocumentProcessState()
{
    PendingStatusText.clear();
    IdleSecondCount = 0;
    JpegAbortEnabled = 0;
    g_previousIdleSecond = -2;
    g_idleBudget = 100;
    g_facadeFactory = nullptr;
    g_pictureWindowFactory = nullptr;
    g_fatalExit = nullptr;
    g_guideOpener = nullptr;
    SetImageReader(nullptr);
    render_save::ResetServices();
}

// ---- Construction --------------------------------------------------------------------------

CSmDoc::CSmDoc()
{
    m_pHost = std::make_unique<CMcHost>();
    m_pHost->SetDocument(this);
    m_pComp = NewFacade();
    g_unitScale = CMcomp::GetUnitScale();
    RegisterCommands();
}

CSmDoc::~CSmDoc()
{
    m_pieceList.clear();
    m_entries.clear();
    for (auto& w : m_pictureWindows)
        if (w && w->HasWindow())
            w->DestroyWindow();
    m_pictureWindows.clear();
    m_pComp.reset();
    m_pHost.reset();
    for (std::unique_ptr<IToolDialog>* d : {&m_pOptionsDlg, &m_pColorFitDlg}) {
        if (*d && (*d)->HasWindow())
            (*d)->DestroyWindow();
        d->reset();
    }
}

std::unique_ptr<CMcomp> CSmDoc::NewFacade()
{
    std::unique_ptr<CMcomp> comp = MakeFacade();
    comp->SetHost(m_pHost.get());
    m_pHost->SetDocument(this);
    SetEngineModeFlags();
    return comp;
}

void CSmDoc::ReportOutOfMemory()
{
    ShowMessage(Catalogue().memoryTooShort, platform::MB_OK | platform::MB_ICONSTOP);
    FatalExit(kExitOutOfMemory);
}

int CSmDoc::ResetProject()
{
    for (auto& w : m_pictureWindows)
        if (w && w->HasWindow())
            w->DestroyWindow();
    m_pictureWindows.clear();

    ReturnAllPiecesToStock();

    // Every entry starts afresh (name, pixels, state, bitmaps and colour model).
    try {
        m_entries.clear();
        m_entries.resize(kEntryCount);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return 1;
    }

    // Empty the old picture set before it goes; a refusal cannot loop for ever.
    if (m_pComp) {
        m_pComp->ResetAllPictures();
        for (int n = m_pComp->GetPictureCount(); n > 0; --n)
            if (m_pComp->DeletePicture(0) <= 0)
                break;
    }
    m_pComp.reset();
    m_pComp = NewFacade();

    m_currentEntry = -2;
    m_dropFlag = 0;
    for (int& f : m_refreshFlags)
        f = 1;
    m_stepFlags = 0;
    m_auxLineMode = 0;
    m_pieceSizePercent = 100;
    m_cellSize = CSize(240, 240);
    ClearWorkSpaceCells();
    LayoutPieces(1, CSize(240, 240));
    m_cellCount = 0;
    m_dragOrigin = CPoint();
    m_dragPoint = CPoint();
    m_dropHintCount = 0;
    m_busyState = -2;
    m_areaShown = 0;
    m_renderArea = CRect();
    m_fitArea = CRect();
    m_outputSize = CSize(640, 640);
    m_outputDpi = 288;
    m_areaMode = 0;
    m_lastOutputPath.clear();
    m_archivePath.clear();
    m_picturesInFile = 0;
    m_pComp->SetOverlapMode(0);
    SetProjectionCode(12, 0);
    m_pPrintBitmap = nullptr;
    // The recorded undo belongs to the project that is gone.
    m_undoKind = 0;
    m_undoNames.clear();
    UpdateTitleText(std::string());

    m_fitPriority = platform::Settings().GetProfileInt("OUTPUT", "QUALITY_MODE", 1);
    m_renderPriority = platform::Settings().GetProfileInt("OUTPUT", "RENDER_MODE", 1);
    m_pComp->SetFitQuality(m_fitPriority);
    m_pComp->SetRenderQuality(m_renderPriority);

    m_readImages.clear();
    m_idleStepMode = 2;
    UpdateAllViews(nullptr, HINT_RESET);
    return 1;
}

bool CSmDoc::OnNewDocument()
{
    // A message about the old project does not stand over the new one.
    m_statusMessage.clear();
    ResetProject();
    return true;
}

void CSmDoc::AfterProjectLoaded()
{
    if (m_pComp->GetPictureCount() > 0) {
        RestorePieceColors();
        SyncPieceStates();
        LayoutPieces(1, CSize());
        UpdateAllViews(nullptr, HINT_PIECES);
    }
    // The project file keeps the fit, not the rendering area: a fitted project comes back
    // with the area a fit gives, the rectangle round its placed pictures, shown and ready
    // for Render and Save; the output size follows from it and the size choice in force.
    if (m_pComp->GetFittedCount() > 0) {
        // The views lay the work space out for the loaded pictures (the work view takes the
        // zoom that shows them); what the loading had to say stays.
        const std::string message = m_statusMessage;
        UpdateAllViews(nullptr, HINT_LAYOUT);
        if (m_statusMessage.empty())
            m_statusMessage = message;
        SetRenderAreaToFittedPictures(true);
        if (!m_fitArea.IsRectEmpty() && m_renderArea == m_fitArea) {
            m_areaShown = 1;
            // The manager's size list shows the sizes of this area.
            UpdateAllViews(nullptr, HINT_OPTIONS, HintObject::Number(1));
        }
    }
    UpdateAllViews(nullptr, HINT_PROJECTION, HintObject::Number(GetProjectionFamily(-2)));
}

bool CSmDoc::OnOpenDocument(const std::string& path)
{
    // The project is read into a facade of its own, so that a file that cannot be opened
    // leaves the open project as it was.
    // Making and loading another picture set rebuilds the process-wide lens table and
    // projection reference: the open project's are put back when the file cannot be opened.
    const LensTable lens = GetLensTable();
    // Messages of the loading replace the old project's; a file that cannot be opened keeps it.
    const std::string earlierMessage = m_statusMessage;
    m_statusMessage.clear();
    std::unique_ptr<CMcomp> loaded = MakeFacade();
    loaded->SetHost(m_pHost.get());
    const ProjectFileResult result = LoadProjectFile(loaded->Core(), path);
    if (result.code != 1) {
        loaded.reset();
        GetLensTable() = lens;
        ResetProjectionReference(0);
        SetEngineModeFlags();
        if (!result.message.empty() && !result.told)
            ShowMessage(result.message, platform::MB_OK | platform::MB_ICONEXCLAMATION);
        if (m_statusMessage.empty())
            m_statusMessage = earlierMessage;
        return false;
    }
    ResetProject();
    m_pComp = std::move(loaded);
    m_pComp->SetFitQuality(m_fitPriority);
    m_pComp->SetRenderQuality(m_renderPriority);
    SetEngineModeFlags();
    AfterProjectLoaded();
    m_archivePath = path;
    m_picturesInFile = m_pComp->GetPictureCount();
    m_changedOnOpen = result.modified;
    return true;
}

// True when both names lead to one existing file.
static bool IsSameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec) && !ec;
}

bool CSmDoc::OnSaveDocument(const std::string& path)
{
    // A project file is not replaced by one with fewer pictures without the user's word: a
    // failure that left pictures out must not cost the file its photos.
    const int count = m_pComp->GetPictureCount();
    if (count < m_picturesInFile && IsSameFile(path, m_archivePath)) {
        const std::string question = path + "\nThe project file holds " + std::to_string(m_picturesInFile) +
                                     " picture(s); only " + std::to_string(count) +
                                     " would be saved now.\nReplace it anyway?";
        if (ShowMessage(question, platform::MB_YESNO | platform::MB_ICONEXCLAMATION) != platform::IDYES)
            return false;
    }
    PreparePiecesForSave();
    const ProjectFileResult result = SaveProjectFile(m_pComp->Core(), path);
    if (result.code != 1) {
        if (!result.message.empty() && !result.told)
            ShowMessage(result.message, platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return false;
    }
    m_archivePath = path;
    m_picturesInFile = count;
    return true;
}


int CSmDoc::CreateToolDialogs(const std::function<std::unique_ptr<IToolDialog>()>& makeOptions,
                              const std::function<std::unique_ptr<IToolDialog>()>& makeColorFit)
{
    if (!m_pOptionsDlg && makeOptions)
        m_pOptionsDlg = makeOptions();
    if (!m_pColorFitDlg && makeColorFit)
        m_pColorFitDlg = makeColorFit();
    m_statusMessage.clear();
    ClearJobDisplay();
    return 1;
}

void CSmDoc::ClearJobDisplay()
{
    m_jobText.clear();
    m_jobGuide.clear();
    m_jobPress = 0;
    m_jobBreakRect = CRect();
    m_jobLinkRect = CRect();
}

// ---- Idle step -----------------------------------------------------------------------------

bool CSmDoc::OnIdleStep()
{
    // A message the idle work shows runs an event loop of its own: no idle step inside it.
    if (m_inIdleStep)
        return false;
    struct Inside {
        bool& flag;
        explicit Inside(bool& f) : flag(f) { flag = true; }
        ~Inside() { flag = false; }
    } inside(m_inIdleStep);
    return IdleStep();
}

bool CSmDoc::IdleStep()
{
    if (PendingStatusText.size() > 1) {
        SetStatusMessage(PendingStatusText);
        PendingStatusText.clear();
    }
    JpegAbortEnabled = 1;
    int answer = 1;
    if (IdleSecondCount < 3) {
        // One check per step: the count grows only when consecutive checks see consecutive
        // seconds, so background work starts after about three quiet seconds.
        if (IdleSecondCount < 0)
            IdleSecondCount = 0;
        const int second = platform::Clock().Now().second;
        if (second == g_previousIdleSecond + 1)
            ++IdleSecondCount;
        g_previousIdleSecond = second;
    } else {
        answer = m_pComp->IdleStep(m_idleStepMode);
    }
    JpegAbortEnabled = 0;
    UpdateAllViews(nullptr, answer == 3 ? HINT_STATUS : HINT_IDLE);
    if (answer > 0 || m_refreshFlags[0] == 1 || m_refreshFlags[1] == 1 || m_refreshFlags[2] == 1)
        g_idleBudget = 100;
    if (g_idleBudget < 0)
        return false;
    --g_idleBudget;
    return true;
}

// ---- Views ---------------------------------------------------------------------------------

IThumView* CSmDoc::FindThumView() const { return dynamic_cast<IThumView*>(FindViewByClass("CThumView")); }
IWorkView* CSmDoc::FindWorkView() const { return dynamic_cast<IWorkView*>(FindViewByClass("CSmView")); }

void CSmDoc::NotifyWorkView(int code, const std::string& text)
{
    IWorkView* view = FindWorkView();
    if (!view)
        return;
    RefreshPieces();
    switch (code) {
    case 2:
        view->MarkCellsInArea();
        break;
    case 3:
        view->EraseMarkedCells();
        break;
    case 5:
        view->ClearCanvas();
        break;
    case 6:
        view->RepaintNow();
        break;
    default:
        break;
    }
    if (!text.empty())
        view->QueuePictureLoad(text);
    RedrawWorkView();
}

void CSmDoc::RedrawWorkView()
{
    IWorkView* view = FindWorkView();
    if (!view)
        return;
    const platform::WaitCursor wait;
    // Bounded, so that a view that always has more to load cannot hang the program.
    for (int i = 0; i < 100000 && view->ProcessLoadQueue() == 1; ++i) {
    }
    view->UpdateNow();
}

void CSmDoc::RepaintWorkView()
{
    if (IWorkView* view = FindWorkView())
        view->RepaintNow();
}

void CSmDoc::ShowThumbnail(int entry)
{
    if (IThumView* view = FindThumView())
        view->SetThumbnail(entry);
}

void CSmDoc::RepaintThumView()
{
    if (IThumView* view = FindThumView())
        view->RepaintNow();
}

int CSmDoc::TestBreakClick()
{
    const CPoint cursor = platform::Input().CursorPos();
    if (!m_jobText.empty() && m_jobLinkRect.PtInRect(cursor)) {
        m_jobPress = 1;
        RepaintWorkView();
        OpenGuide(m_jobGuide);
        m_jobPress = 0;
        return kBreakClickOnGuide;
    }
    if (!m_jobText.empty() && m_jobBreakRect.PtInRect(cursor)) {
        m_jobPress = 2;
        RepaintWorkView();
        m_jobPress = 0;
        return kBreakClickOnTimer;
    }
    if (IThumView* view = FindThumView())
        if (view->ScreenClientRect().PtInRect(cursor))
            return kBreakClickOnTimer;
    return kBreakClickNone;
}

void CSmDoc::SetStatusMessage(const std::string& text)
{
    if (text.empty())
        return;
    m_statusMessage = text;
    UpdateAllViews(nullptr, HINT_STATUS);
}

void CSmDoc::UpdateAllViews(const void*, int hint, const std::string* object)
{
    // The picture set's notifications come without a sending view.
    CDocument::UpdateAllViews(nullptr, hint, HintObject::Path(object));
}

// ---- Priorities and projections ------------------------------------------------------------

void CSmDoc::SaveQualityMode()
{
    m_pComp->SetFitQuality(m_fitPriority);
    platform::Settings().WriteProfileInt("OUTPUT", "QUALITY_MODE", m_fitPriority);
}

void CSmDoc::SaveRenderMode()
{
    m_pComp->SetRenderQuality(m_renderPriority);
    platform::Settings().WriteProfileInt("OUTPUT", "RENDER_MODE", m_renderPriority);
}

int CSmDoc::GetProjectionFamily(int code) const
{
    if (code == -2)
        code = m_pComp->GetProjection();
    if (code >= 10 && code <= 19)
        return code == 13 ? 1 : 0;
    if (code >= 20 && code <= 29)
        return 2;
    if (code >= 30 && code <= 39)
        return 3;
    return 0;
}

int CSmDoc::GetDefaultProjection(int family) const
{
    switch (family) {
    case 1:
        return 13;
    case 2:
        return m_panoramaDefault;
    case 3:
        return m_fisheyeDefault;
    default:
        return 12;
    }
}

void CSmDoc::SetProjectionCode(int code, int force)
{
    if (code == m_pComp->GetProjection() && force == 0)
        return;
    m_pComp->SetProjection(code);
    UpdateAllViews(nullptr, HINT_PROJECTION, HintObject::Number(GetProjectionFamily(code)));
}

void CSmDoc::ApplyProjection(int code, int force)
{
    if (code == m_pComp->GetProjection() && force == 0)
        return;
    SetProjectionCode(code, 0);
    LayoutPieces(1, CSize());
    UpdateTitleText(std::string());
    UpdateAllViews(nullptr, HINT_LAYOUT);
    const int setup = m_pComp->SetupRender(m_renderArea, m_outputSize.cx, m_outputSize.cy, m_areaMode);
    if (setup != m_renderSetup && m_areaShown > 0) {
        m_renderSetup = setup;
        UpdateAllViews(nullptr, HINT_RENDER_SETUP);
    }
}

std::string CSmDoc::GetProjectionName() const
{
    switch (m_pComp->GetProjection()) {
    case 11:
    case 12:
        return " Linear";
    case 13:
        return " Ultra Wide Linear";
    case 14:
        return " WideLinear VCmp";
    case 15:
        return " WideLinear HVCmp";
    case 21:
        return " Panorama";
    case 22:
        return " Conformal Panorama";
    case 23:
        return " Equirectangular Panorama";
    case 24:
        return " Equal-area Panorama";
    case 25:
        return " VertPanorama";
    case 31:
        return " Conformal Fisheye";
    case 32:
        return " Equidistant Fisheye";
    case 33:
        return " Equal-area Fisheye";
    default:
        return " ";
    }
}

CKpic* CSmDoc::GetPicture(int index) const { return m_pComp->GetPictureAt(index); }
int CSmDoc::GetPictureCount() const { return m_pComp->GetPictureCount(); }

CKpic* CSmDoc::FindPictureByName(const std::string& name) const
{
    for (int i = 0; i < m_pComp->GetPictureCount(); ++i) {
        CKpic* k = m_pComp->GetPictureAt(i);
        if (k && k->m_Path == name)
            return k;
    }
    return nullptr;
}

// ---- Commands ------------------------------------------------------------------------------

void CSmDoc::RegisterCommands()
{
    RegisterCommandTable();
}

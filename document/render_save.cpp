// Render and Save: asks for the output file, checks it can be written without touching what is
// there, renders the fitted pictures in bands of 16 rows and hands them to the image writer of
// the chosen kind (or to the movie output), then names a new project after its output and opens
// the result in a picture window.
#include "document/render_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/value_types.h"
#include "document/sm_doc.h"
#include "engine/render_band.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_array.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"

namespace render_save {

const char* const kOutputFilter = "Jpeg(*.JPG) |*.JPG|BitMap(*.BMP) |*.BMP|Tiff(*.TIF) |*.TIF|PNG(*.PNG) |*.PNG|"
                                  "QuickTime VR(*.mov) |*.MOV| All Files |*.*||";

const std::vector<std::string>& OutputFilterExtensions()
{
    static const std::vector<std::string> e = {"", ".JPG", ".BMP", ".TIF", ".PNG", ".MOV", ""};
    return e;
}

namespace {

FreeSpaceQuery g_freeSpace;
BandRenderer g_bandRenderer;

// The text before the last "." of the file name, when that "." follows at least one character
// of the name; "" otherwise.
std::string CutAtExtension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart)
        return std::string();
    return path.substr(0, dot);
}

struct KindLimit {
    int64_t measure;
    int width;
};

KindLimit LimitOf(int kind)
{
    switch (kind) {
    case FILE_KIND_BMP: return {707000, 130000};
    case FILE_KIND_JPEG: return {2080000, 65535};
    case FILE_KIND_TIFF: return {130000, 34000};
    case FILE_KIND_PNG: return {105000, 17000};
    case FILE_KIND_MOVIE: return {13000, 16000};
    default: return {100000, 65535};
    }
}

} // namespace

OutputProposal ProposeOutputName(const std::string& lastOutput, const std::string& projectPath,
                                 const std::string& firstPicture, int areaMode)
{
    OutputProposal p;
    if (areaMode == 3) {
        p.extension = "MOV";
    } else {
        p.extension = GetFileExt(lastOutput);
        if (p.extension != "BMP" && p.extension != "JPG" && p.extension != "MOV")
            p.extension = "JPG";
    }
    std::string name = CutAtExtension(lastOutput);
    if (name.empty())
        name = CutAtExtension(projectPath);
    if (name.empty() && !firstPicture.empty()) {
        const std::string file = GetFileName(firstPicture);
        const size_t dot = file.find('.');
        if (dot != std::string::npos && dot >= 1)
            name = GetFolder(firstPicture) + "/Fit" + file.substr(0, dot);
    }
    if (name.empty())
        name = "FitImage";
    p.name = name + "." + p.extension;
    p.filterIndex = areaMode == 3 ? 5 : p.extension == "JPG" ? 1 : p.extension == "BMP" ? 2 : 6;
    return p;
}

bool FitsFileKind(int kind, int width, int height)
{
    const KindLimit limit = LimitOf(kind);
    const int64_t measure = int64_t(width / 100) * (height / 10);
    return measure <= limit.measure && width <= limit.width;
}

int64_t DiskEstimate(int kind, int width, int height)
{
    const int64_t pixels = int64_t(width) * height;
    switch (kind) {
    case FILE_KIND_JPEG: return pixels / 5;
    case FILE_KIND_PNG: return pixels / 2;
    case FILE_KIND_MOVIE: return pixels + pixels / 4;
    default: return pixels + 2000;
    }
}

std::string TitleFromOutputPath(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot < 1)
        return std::string();
    return name.substr(0, dot);
}

void SetFreeSpaceQuery(FreeSpaceQuery query) { g_freeSpace = std::move(query); }

int64_t FreeSpace(const std::string& folder)
{
    if (g_freeSpace)
        return g_freeSpace(folder);
    struct statvfs s {};
    if (statvfs(folder.empty() ? "." : folder.c_str(), &s) != 0)
        return -1;
    return int64_t(s.f_bavail) * int64_t(s.f_frsize);
}

void SetBandRenderer(BandRenderer renderer) { g_bandRenderer = std::move(renderer); }

int RenderBands(CMcomp& comp, const std::vector<int>& order, const BandSink& sink)
{
    if (g_bandRenderer)
        return g_bandRenderer(comp, order, sink);
    return RenderBandsInOrder(comp.Core(), order, 0, sink);
}

void ResetServices()
{
    g_freeSpace = nullptr;
    g_bandRenderer = nullptr;
    SetMovieProgramFolder(std::string());
}

} // namespace render_save

using namespace render_save;

namespace {

bool SamePath(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec))
        return true;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

std::string FormatRenderingText(int width, int height, const std::string& path)
{
    const std::string& format = Catalogue().renderingImage;
    const int n = std::snprintf(nullptr, 0, format.c_str(), width, height, path.c_str());
    std::string text(static_cast<size_t>(std::max(n, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format.c_str(), width, height, path.c_str());
    return text;
}

// Opens the output for writing without truncating it or any file already there: 1 when it can be
// written (a file made only for the test is removed again), 0 when it cannot.
bool CanWriteOutput(const std::string& path)
{
    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode))
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ::close(fd);
    if (!existed)
        ::unlink(path.c_str());
    return true;
}

} // namespace

bool CSmDoc::IsOwnFile(const std::string& path) const
{
    if (SamePath(path, GetPathName()))
        return true;
    for (int i = 0; i < m_pComp->GetPictureCount(); ++i)
        if (const CKpic* k = m_pComp->GetPictureAt(i); k && SamePath(path, k->m_Path))
            return true;
    for (const CPictureEntry& e : m_entries)
        if (SamePath(path, e.m_Name))
            return true;
    return false;
}

void CSmDoc::RenderAndSave()
{
    const MessageCatalogue& text = Catalogue();
    if (m_pComp->GetFittedCount() < 1) {
        SetStatusMessage(text.cantSaveImage);
        return;
    }
    if (m_pComp->GetFitLevel() < 2)
        SetStatusMessage(text.recommendAccuracy);
    m_outputSize = GetOutputSize(1);

    std::string firstPicture;
    if (!m_pieceList.empty() && m_pieceList.front() >= 0 &&
        static_cast<size_t>(m_pieceList.front()) < m_entries.size())
        firstPicture = m_entries[static_cast<size_t>(m_pieceList.front())].m_Name;
    const OutputProposal proposal = ProposeOutputName(m_lastOutputPath, m_archivePath, firstPicture, m_areaMode);
    platform::FileDialogRequest request;
    request.initialPath = proposal.name;
    request.filter = kOutputFilter;
    request.defaultExt = proposal.extension;
    request.filterIndex = proposal.filterIndex;
    request.filterExtensions = OutputFilterExtensions();
    const std::optional<platform::SaveFileAnswer> answer = platform::FileDialog().SaveFile(request);
    if (!answer || answer->path.empty()) {
        ClearRenderRequest();
        return;
    }
    NotifyWorkView(6, std::string());
    m_lastOutputPath = answer->path;
    const std::string path = m_lastOutputPath;
    const int kind = GetFileKind(path);

    if (path.size() > kMaxOutputPath) {
        SetStatusMessage(path + "\n" + text.cantOpenFile + "\n" + text.tooLongFileName);
        return;
    }
    m_outputSize = GetOutputSize(1);
    if (!FitsFileKind(kind, m_outputSize.cx, m_outputSize.cy)) {
        ShowMessage(text.tooBigToCreate);
        return;
    }
    // Nothing is created before the kind is known, and neither a photo of the project nor the
    // project file is ever written over.
    if (IsOwnFile(path)) {
        SetStatusMessage(path + "\n" + text.cantOpenFile);
        return;
    }
    if (kind < FILE_KIND_BMP || kind > FILE_KIND_MOVIE) {
        SetStatusMessage(text.outputExtensionMustBe);
        return;
    }
    // The movie path is left to the movie program; an image is written through a new file that
    // replaces the old one only when complete.
    if (kind != FILE_KIND_MOVIE && !CanWriteOutput(path)) {
        SetStatusMessage(path + "\n" + text.cantOpenFile);
        return;
    }
    const int64_t needed = 3 * DiskEstimate(kind, m_outputSize.cx, m_outputSize.cy);
    const int64_t available = FreeSpace(GetFolder(path));
    if (available >= 0 && available < needed) {
        SetStatusMessage(text.noDiskSpace);
        return;
    }

    // The rendering state: the job display, the busy state and the running timer. From here
    // to the end of the job the engine may use any picture, and the window stays open.
    std::optional<platform::JobScope> job;
    job.emplace();
    m_pComp->SetBreakMode(2);
    const std::string jobText = FormatRenderingText(m_outputSize.cx, m_outputSize.cy, path);
    SetStatusText(0, jobText);
    m_jobText = jobText;
    m_jobGuide = text.productsFolderRender;
    m_jobPress = 0;
    RepaintWorkView();
    m_busyState = 1;
    m_stepFlags = 2;
    if (IThumView* thumb = FindThumView())
        thumb->RepaintNow();
    UpdateAllViews(nullptr, HINT_TIMER, HintObject::Number(6));

    int result = 0;
    {
        // A long job runs: the memory budget frees no picture image that the render may be using.
        platform::JobScope job;
        result = kind == FILE_KIND_MOVIE ? MakePanoramaMovie(path) : RenderToFile(path);
    }

    // The last break poll reports progress through the busy state: it comes before the idle
    // state is put back.
    m_pComp->PollBreak();
    m_pComp->SetBreakMode(0);
    m_jobText.clear();
    m_jobGuide.clear();
    m_jobPress = 0;
    m_jobBreakRect.SetRectEmpty();
    m_jobLinkRect.SetRectEmpty();
    RepaintWorkView();
    m_busyState = -2;
    m_stepFlags = 0;
    if (IThumView* thumb = FindThumView())
        thumb->RepaintNow();
    UpdateAllViews(nullptr, HINT_TIMER, HintObject::Number(3));
    job.reset();

    if (result != 1) {
        const std::string& failure = kind != FILE_KIND_MOVIE ? text.failedFinalImage
                                     : result == 0            ? text.cantFindMovieProgram
                                                              : text.failedMovieImage;
        SetStatusText(0, failure);
        SetStatusMessage(failure);
        return;
    }
    if (GetTitle().compare(0, 8, DefaultTitle()) == 0) {
        const std::string title = TitleFromOutputPath(path);
        if (!title.empty())
            SetTitle(title);
    }
    if (kind != FILE_KIND_MOVIE) {
        if (IFrameWindow* frame = GetViewFrame())
            OpenPictureWindow(frame, path, m_outputSize.cx, m_outputSize.cy, -1);
    }
    ClearStatusText();
}

int CSmDoc::RenderToFile(const std::string& path)
{
    const platform::JobScope job;
    m_outputSize = GetOutputSize(1);
    const int width = m_outputSize.cx;
    const int height = m_outputSize.cy;
    const int setup = m_pComp->SetupRender(m_renderArea, width, height, m_areaMode);
    if (setup <= -5) {
        ReportMemoryShortage();
        return -1;
    }
    if (setup < 1)
        return -1;
    const int kind = GetFileKind(path);
    if (kind < FILE_KIND_BMP || kind > FILE_KIND_PNG)
        return -1;
    std::string comment = "Korvane Seamora";
    if (m_renderPriority >= 2)
        comment += " - High Quality";
    if (SaveImageBegin(path, width, height, m_outputDpi, comment, m_jpegQuality) != 1)
        return -1;

    int delivered = 0;
    int written = 1;
    const int rendered = RenderBands(*m_pComp, GetSaveStripOrder(path, height),
                                     [&](int band, const CPixelArray& pixels) {
                                         ++delivered;
                                         written = SaveImagePut(path, pixels, band);
                                         return written < 0 ? -1 : 1;
                                     });
    const int breakMode = m_pComp->GetBreakMode();
    if (rendered <= -5)
        ReportMemoryShortage();
    // Any failing band or a break drops the new output; a file of that name stays as it was.
    if (rendered < 0 || written < 0 || breakMode < 0 || delivered == 0) {
        SaveImageEnd(path, -1);
        if (delivered == 0 && rendered >= 0) {
            SetStatusMessage(Catalogue().cannotMakeOutput);
            return 0;
        }
        return -1;
    }
    if (SaveImageEnd(path, 1) != 1)
        return -1;
    m_pComp->PollBreak();
    return 1;
}

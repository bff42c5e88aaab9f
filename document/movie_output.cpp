// The panorama movie: the panorama rendered into a temporary BMP turned a quarter turn (each
// BMP row holds one output column), a parameter file naming that BMP, the movie and the
// panorama's span, and the external movie program started on them. The program is started with
// an argument list, never through a shell, and not waited for. The BMP is written as a staged
// output and takes its name only when complete, so an interrupted render leaves nothing behind.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/value_types.h"
#include "document/render_save.h"
#include "document/sm_doc.h"
#include "imagefile/pixel_array.h"
#include "imagefile/staged_output_file.h"
#include "picset/mcomp.h"
#include "platform/message_box.h"
#include "platform/system_services.h"

namespace render_save {

namespace {

// The movie program, under this system's name for a program (no ".exe"); the build and the
// installer place it beside Smra_En.
const char* const kMovieProgram = "Vellumark";
std::string g_programFolder;

bool IsFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

void SetMovieProgramFolder(const std::string& folder) { g_programFolder = folder; }

std::string FindMovieProgram()
{
    const std::string folder = g_programFolder.empty() ? GetFolder(GetProgramPath()) : g_programFolder;
    for (const std::string& candidate :
         {folder + "/" + kMovieProgram, folder + "/Program/" + kMovieProgram}) {
        if (IsFile(candidate)) {
            std::error_code ec;
            const std::filesystem::path full = std::filesystem::absolute(candidate, ec);
            return ec ? candidate : full.string();
        }
    }
    return std::string();
}

} // namespace render_save

using namespace render_save;

namespace {

// Starts the movie program minimised, without waiting for it; true when it was started.
bool StartMovieProgram(const std::string& program, const std::string& argument)
{
    return platform::ProcessLauncher().Start(program, {argument}, platform::SW_SHOWMINIMIZED) > 32;
}

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The 54-byte header of the turned BMP: H pixels per row, W rows.
std::vector<uint8_t> TurnedBmpHeader(int width, int height, int64_t rowBytes)
{
    std::vector<uint8_t> h;
    h.reserve(54);
    PutLe(h, 0x4D42, 2);
    PutLe(h, static_cast<uint32_t>(rowBytes * width + 54), 4);
    PutLe(h, 0, 2);
    PutLe(h, 0, 2);
    PutLe(h, 54, 4);
    PutLe(h, 40, 4);
    PutLe(h, static_cast<uint32_t>(height), 4);
    PutLe(h, static_cast<uint32_t>(width), 4);
    PutLe(h, 1, 2);
    PutLe(h, 24, 2);
    PutLe(h, 0, 4);
    PutLe(h, 0, 4);
    PutLe(h, 120, 4);
    PutLe(h, 80, 4);
    PutLe(h, 0, 4);
    PutLe(h, 0, 4);
    return h;
}

bool WriteAt(int fd, const uint8_t* data, size_t size, int64_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

int64_t FileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

// A unique name beside the movie: made by the system, then removed at once, so that only the
// names derived from it are used.
std::string MakeTemporaryStem(const std::string& folder)
{
    std::string pattern = (folder.empty() ? std::string(".") : folder) + "/$tmpXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return std::string();
    ::close(fd);
    ::unlink(pattern.c_str());
    return pattern;
}

std::string ParameterFilePath(const std::string& stem, const std::string& folder)
{
    if (stem.find(' ') == std::string::npos)
        return stem + ".txt";
    const std::string beside = folder + "/temporary";
    if (beside.find(' ') == std::string::npos)
        return beside + ".txt";
    std::error_code ec;
    const std::string system = std::filesystem::temp_directory_path(ec).string();
    return (ec || system.empty() ? std::string("/tmp") : system) + "/temporary.txt";
}

} // namespace

int CSmDoc::MakePanoramaMovie(const std::string& path)
{
    const platform::JobScope job;
    const MessageCatalogue& text = Catalogue();
    m_outputSize = GetOutputSize(24);
    const int W = m_outputSize.cx;
    const int H = m_outputSize.cy;
    const int span = m_pComp->SetupRender(m_renderArea, W, H, m_areaMode);
    if (span <= -5) {
        ReportMemoryShortage();
        return -1;
    }
    if (span < 1)
        return -1;
    const int bands = (H - 1) / kBandRows + 1;
    const int64_t rowBytes = (int64_t(3) * H + 3) / 4 * 4;
    if (H >= W) {
        ShowMessage(text.imageNotTallerThanWide);
        return -1;
    }
    if (GetFileKind(path) != FILE_KIND_MOVIE)
        return -1;
    const std::string program = FindMovieProgram();
    if (program.empty())
        return 0;
    if (!StartMovieProgram(program, "$$$$$$$$.bmp"))
        return -1;

    const std::string folder = GetFolder(path);
    const std::string stem = MakeTemporaryStem(folder);
    if (stem.empty()) {
        ShowMessage(path + text.cantOpenFile);
        return -1;
    }
    const std::string bmpPath = stem + ".bmp";
    const std::string paramPath = ParameterFilePath(stem, folder);
    SetStatusMessage(text.makingMovie);

    // The render goes into a staged file beside the movie: removed when the program is stopped
    // by a signal, and by a later write into the folder when the program was killed outright.
    CStagedOutputFile staged;
    if (!staged.Open(bmpPath)) {
        ShowMessage(path + text.cantOpenFile);
        return -1;
    }
    // Written at column positions through the descriptor; nothing goes through the stream, so
    // nothing is left in its buffer when it is committed.
    const int fd = ::fileno(staged.Stream());
    const int64_t fileSize = rowBytes * W + 54;
    const std::vector<uint8_t> header = TurnedBmpHeader(W, H, rowBytes);
    bool reserved = false;
    const int64_t available = FreeSpace(folder);
    if (available >= 0 && available < fileSize)
        SetStatusMessage(text.noDiskSpace);
    else
        reserved = WriteAt(fd, header.data(), header.size(), 0) && ::ftruncate(fd, static_cast<off_t>(fileSize)) == 0;

    int64_t total = 0;
    bool failed = !reserved;
    bool broken = false;
    if (reserved) {
        std::vector<int> order(static_cast<size_t>(bands));
        for (int b = 0; b < bands; ++b)
            order[static_cast<size_t>(b)] = b;
        std::vector<uint8_t> column(static_cast<size_t>(3 * kBandRows));
        const int rendered = RenderBands(*m_pComp, order, [&](int band, const CPixelArray& pixels) {
            const int rows = std::min(kBandRows, H - kBandRows * band);
            for (int x = W - 1; x >= 0; --x) {
                for (int y = 0; y < rows; ++y) {
                    const COLORREF c = pixels[int64_t(y) * W + x];
                    column[static_cast<size_t>(3 * y)] = static_cast<uint8_t>(c >> 16);
                    column[static_cast<size_t>(3 * y + 1)] = static_cast<uint8_t>(c >> 8);
                    column[static_cast<size_t>(3 * y + 2)] = static_cast<uint8_t>(c);
                }
                if (!WriteAt(fd, column.data(), static_cast<size_t>(3 * rows),
                             54 + int64_t(x) * rowBytes + int64_t(3) * kBandRows * band))
                    return -1;
            }
            ++total;
            return 1;
        });
        if (rendered <= -5)
            ReportMemoryShortage();
        broken = m_pComp->GetBreakMode() < 0;
        failed = rendered < 0 && !broken;
    }
    // A failed or broken run leaves no temporary file behind and starts nothing more.
    if (failed || broken || total == 0) {
        staged.Discard();
        if (total == 0 && !failed && !broken)
            SetStatusMessage(text.cannotMakeOutput);
        return -1;
    }
    if (!staged.Commit() || FileSize(bmpPath) != fileSize) {
        DeleteFileIfExists(bmpPath);
        return -1;
    }
    {
        std::ofstream param(paramPath, std::ios::binary | std::ios::trunc);
        param << bmpPath << ',' << path << ',' << span;
        param.flush();
        if (!param) {
            DeleteFileIfExists(bmpPath);
            DeleteFileIfExists(paramPath);
            return -1;
        }
    }
    if (!StartMovieProgram(program, paramPath)) {
        DeleteFileIfExists(bmpPath);
        DeleteFileIfExists(paramPath);
        return -1;
    }
    m_pComp->PollBreak();
    return 1;
}

// smra_fit: makes an unfitted project from photos, and runs the automatic fit on a project
// without a window, printing where every picture went.
//
//   smra_fit new OUT.fit [--columns N] PHOTO[@COLUMN,ROW]...
//   smra_fit fit IN.fit OUT.fit [--around-360] [--quality-priority] [--skip-missing]
//
// Without cells the photos lie in one row around the middle one; every cell must lie in the
// fit's layout grid. Only a trailing "@COLUMN,ROW" of two integers is a cell; any other '@'
// belongs to the photo's name. `new` takes a photo only when the program's Import Photos would.
//
// Questions the fit asks are answered with their default answer, 1 (yes / go on), as the
// program does for a question that has no text of its own. A project whose photos cannot all
// be found is refused, unless --skip-missing says to fit it without them. The output is staged
// beside the file it replaces (through a link) and only a regular file the user may write is
// replaced; nothing is written when anything fails.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/helpers.h"
#include "common/status_codes.h"
#include "document/inline_row.h"
#include "geometry/sphere.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_array.h"
#include "imagefile/staged_output_file.h"
#include "picset/headless_document.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "tools/tool_support/missing_photos.h"

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "smra_fit: %s\n", message.c_str());
    return 1;
}

constexpr const char* kUsage =
    "usage: smra_fit new OUT.fit [--columns N] PHOTO[@COLUMN,ROW]...\n"
    "       smra_fit fit IN.fit OUT.fit [--around-360] [--quality-priority] [--skip-missing]\n"
    "  --skip-missing  fit a project whose photos cannot all be found without them\n"
    "                  (else such a project is refused and nothing is written)\n";

int Usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

// The output can be written: a new file, or a regular file the user may write (links followed).
bool CheckOutput(const std::string& out, int* exitCode)
{
    const int refused = CheckStagedOutputTarget(out);
    if (refused == 0)
        return true;
    *exitCode = Fail("cannot write " + out + ": " + StagedOutputErrorText(refused) + "; nothing was written");
    return false;
}

// Saves the project, saying why when it cannot be written.
bool Save(CMcCore& core, const std::string& out, int* exitCode)
{
    const ProjectFileResult saved = SaveProjectFile(core, out);
    if (saved.code >= 1)
        return true;
    const std::string why = StagedOutputErrorText(LastStagedOutputError());
    if (GetFileKind(out) != FILE_KIND_PROJECT || why.empty())
        *exitCode = Fail("cannot write " + out + (saved.message.empty() ? std::string() : ": " + saved.message));
    else
        *exitCode = Fail("writing " + out + " failed: " + why + "; nothing was written");
    return false;
}

// The host: questions take their default answer, messages and progress go to the terminal.
class CTerminalHost : public CMcHost {
public:
    int AskQuestion(const std::string& number, int type, const std::string& a, const std::string& b) override
    {
        int answer = 0;
        if (m_missing.TakeQuestion(number, a, &answer))
            return answer;
        std::fprintf(stderr, "\nquestion %s answered 1 (the default): %s\n", number.c_str(),
                     FormatMessage(MessageFor(number), a, b).c_str());
        (void)type;
        return 1;
    }
    void ShowMessage(const std::string& number, int, const std::string& a, const std::string& b) override
    {
        m_lastMessage = number;
        std::fprintf(stderr, "\nmessage %s: %s\n", number.c_str(), FormatMessage(MessageFor(number), a, b).c_str());
    }
    void BeginStep(const std::string&, const std::string&, const std::string&, const std::string& path) override
    {
        std::fprintf(stderr, "\r%-78s", ("fitting: " + path).substr(0, 78).c_str());
        std::fflush(stderr);
    }
    void EndStep() override {}
    void ShowViewMessage(int kind, const std::string& text) override
    {
        if (kind == 0)
            ++m_placed;
        std::fprintf(stderr, "\r%-78s", ("placed " + std::to_string(m_placed) + ": " + text).substr(0, 78).c_str());
        std::fflush(stderr);
    }
    const std::string& LastMessage() const { return m_lastMessage; }
    const CMissingPhotos& Missing() const { return m_missing; }

private:
    CMissingPhotos m_missing;
    std::string m_lastMessage;
    int m_placed = 0;
};

bool ParseInt(const std::string& s, int& out)
{
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < -1000 || v > 1000)
        return false;
    out = static_cast<int>(v);
    return true;
}

// An integer written as digits with an optional sign; values beyond any cell are kept at a
// large value of their sign, so that the grid check refuses them.
bool ParseCellNumber(const std::string& s, int& out)
{
    size_t i = s.size() > 1 && (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i >= s.size())
        return false;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9')
            return false;
    const bool negative = s[0] == '-';
    long long v = 0;
    for (; i < s.size() && v < 1000000; ++i)
        v = v * 10 + (s[i] - '0');
    v = std::min(v, 1000000LL);
    out = static_cast<int>(negative ? -v : v);
    return true;
}

// Splits "PHOTO@COLUMN,ROW" into the photo and its cell; false (the argument is all name) when
// it does not end in "@" and two integers.
bool SplitCell(const std::string& arg, std::string& path, CPoint& cell)
{
    const size_t at = arg.rfind('@');
    if (at == std::string::npos || at == 0)
        return false;
    const std::string spec = arg.substr(at + 1);
    const size_t comma = spec.find(',');
    int c = 0, r = 0;
    if (comma == std::string::npos || !ParseCellNumber(spec.substr(0, comma), c) ||
        !ParseCellNumber(spec.substr(comma + 1), r))
        return false;
    path = arg.substr(0, at);
    cell = CPoint(c, r);
    return true;
}

// The size the program's Import Photos reads a photo at, to show it and to know it can be read.
constexpr int kImportReadWidth = 160;
constexpr int kImportReadHeight = 120;

// Why the program would not import the photo at `path` (empty when it would): its size must be
// one a project can keep, and it must read as Import Photos reads it.
std::string ImportRefusal(const std::string& path)
{
    const CRect rect = GetImageFileRect(path);
    if (rect.IsRectEmpty())
        return std::string();  // the picture set's own open says so
    if (!CheckStorablePictureRect(rect))
        return LastUnsupportedFeature();
    CPixelArray pixels;
    CSize size(kImportReadWidth, kImportReadHeight);
    const int read = LoadImageFile(path, pixels, size, CRect());
    if (read > 0)
        return std::string();
    const std::string& feature = LastUnsupportedFeature();
    if (!feature.empty())
        return feature;
    return read == kResultOutOfMemory ? "there is not enough memory to read it" : "its pixels cannot be read";
}

int RunNew(const std::vector<std::string>& args)
{
    if (args.empty())
        return Usage();
    const std::string out = args[0];
    int columns = 0;
    std::vector<std::string> photos;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--columns") {
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], columns) || columns < 1)
                return Fail("--columns needs a positive number");
            ++i;
        } else {
            photos.push_back(args[i]);
        }
    }
    if (photos.empty())
        return Usage();
    int exitCode = 0;
    if (!CheckOutput(out, &exitCode))
        return exitCode;
    SetEngineModeFlags();
    CHeadlessDocument document;
    CTerminalHost host;
    host.SetDocument(&document);
    CMcCore core;
    core.m_Host = &host;
    document.SetCore(&core);
    for (size_t i = 0; i < photos.size(); ++i) {
        std::string path = photos[i];
        // Rows count downward on the work space (row -1 lies above row 0, as the document
        // lays blocks before the base row above it): the second row of photos is row 1. One row
        // lies around its middle photo, as the document's single inline tiling lays it.
        const int count = static_cast<int>(photos.size());
        CPoint cell = columns > 0 ? CPoint(int(i) % columns, int(i) / columns)
                                  : CPoint(InlineRowColumn(int(i), InlineRowMiddle(count), 0), 0);
        const bool cellGiven = SplitCell(photos[i], path, cell);
        if (!CMcCore::IsLayoutGridCell(cell))
            return Fail(path + " would lie at column " + std::to_string(cell.x) + ", row " + std::to_string(cell.y) +
                        ", outside the cells the fit lays out (columns and rows " +
                        std::to_string(-CMcCore::LayoutGridReach) + " to " + std::to_string(CMcCore::LayoutGridReach - 1) + "); " +
                        (cellGiven ? std::string("give it a cell inside them")
                                   : "lay the photos in shorter rows with --columns or give their cells"));
        const std::string refusal = ImportRefusal(path);
        if (!refusal.empty())
            return Fail("cannot take the photo " + path + ": " + refusal + "; nothing was written");
        int result = 0;
        CKpic* picture = core.OpenPicture(path, result);
        if (!picture || result < 1) {
            const std::string& reason = LastUnsupportedFeature();
            return Fail("cannot open the photo " + path + (reason.empty() ? std::string() : ": " + reason) +
                        "; nothing was written");
        }
        picture->m_LayoutCell = cell;
    }
    if (!Save(core, out, &exitCode))
        return exitCode;
    std::printf("%s: %zu pictures\n", out.c_str(), photos.size());
    return 0;
}

double Degrees(double radians) { return radians * 180.0 / EnginePi; }

int RunFit(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return Usage();
    bool around = false, quality = false, skipMissing = false;
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--around-360")
            around = true;
        else if (args[i] == "--quality-priority")
            quality = true;
        else if (args[i] == "--skip-missing")
            skipMissing = true;
        else
            return Usage();
    }
    int exitCode = 0;
    if (!CheckOutput(args[1], &exitCode))
        return exitCode;
    SetEngineModeFlags();
    CHeadlessDocument document;
    CTerminalHost host;
    host.SetDocument(&document);
    ProjectFileResult opened;
    std::unique_ptr<CMcCore> core = OpenProjectFile(args[0], &host, &opened);
    if (!core)
        return Fail("cannot open the project " + args[0] + (opened.message.empty() ? "" : ": " + opened.message));
    if (host.Missing().Report("smra_fit", skipMissing))
        return Fail(std::to_string(host.Missing().Count()) + " photo(s) of " + args[0] +
                    " cannot be found; nothing was written (--skip-missing fits the project without them)");
    if (host.Missing().Any() && core->m_Pictures.empty())
        return Fail("no photo of " + args[0] + " can be found; nothing was written");
    document.SetCore(core.get());
    core->m_FitPriority = quality ? 2 : 1;

    // The fit flavour is set around the call as the Fit commands set it.
    const auto start = std::chrono::steady_clock::now();
    FitMode = around ? 2 : -2;
    const int result = core->RunAutoFit();
    FitMode = -2;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "\n");
    if (result == kResultOutOfMemory) {
        if (host.LastMessage() != MessageNumberText(kMsgOutOfMemory))
            host.ShowMessage(MessageNumberText(kMsgOutOfMemory), 1, "", "");
        return Fail("not enough memory to fit " + args[0] + "; nothing was written");
    }

    if (!Save(*core, args[1], &exitCode))
        return exitCode;

    std::printf("%-40s %6s %9s %9s %9s %9s %9s %6s\n", "picture", "status", "yaw", "pitch", "roll", "focal", "score",
                "points");
    int unfitted = 0;
    for (const auto& p : core->m_Pictures) {
        std::string name = p->m_Path;
        const size_t slash = name.find_last_of('/');
        if (slash != std::string::npos)
            name = name.substr(slash + 1);
        std::printf("%-40s %6d %9.3f %9.3f %9.3f %9.2f %9.3f %6d\n", name.c_str(), p->m_Status, Degrees(p->Yaw()),
                    Degrees(p->Pitch()), Degrees(p->m_Roll), p->m_Focal, p->m_FitScore, p->CountFittedPoints());
        if (p->m_Status < 3)
            ++unfitted;
    }
    std::printf("common focal %.2f, total time %.2f s\n", core->GetCommonFocal(), seconds);
    if (result < 0 || unfitted > 0)
        return Fail("the fit failed: " + std::to_string(unfitted) + " picture(s) not fitted");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // An interrupted run leaves no staged project behind, and a file-size limit fails the write
    // with its reason instead of killing the tool.
    InstallStagedOutputSignalCleanup();
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    if (command == "-h" || command == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "new")
            return RunNew(args);
        if (command == "fit")
            return RunFit(args);
    } catch (const std::bad_alloc&) {
        return Fail("not enough memory to go on");
    }
    return Usage();
}

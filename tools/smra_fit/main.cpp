// smra_fit: makes an unfitted project from photos, and runs the automatic fit on a project
// without a window, printing where every picture went.
//
//   smra_fit new OUT.fit [--columns N] PHOTO[@COLUMN,ROW]...
//   smra_fit fit IN.fit OUT.fit [--around-360] [--quality-priority]
//
// Without cells the photos lie in one row around the middle one; every cell must lie in the
// fit's layout grid.
//
// Questions the fit asks are answered with their default answer, 1 (yes / go on), as the
// program does for a question that has no text of its own.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/status_codes.h"
#include "document/inline_row.h"
#include "geometry/sphere.h"
#include "picset/headless_document.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "smra_fit: %s\n", message.c_str());
    return 1;
}

int Usage()
{
    std::fprintf(stderr, "usage: smra_fit new OUT.fit [--columns N] PHOTO[@COLUMN,ROW]...\n"
                         "       smra_fit fit IN.fit OUT.fit [--around-360] [--quality-priority]\n");
    return 2;
}

// The host: questions take their default answer, messages and progress go to the terminal.
class CTerminalHost : public CMcHost {
public:
    int AskQuestion(const std::string& number, int type, const std::string& a, const std::string& b) override
    {
        std::fprintf(stderr, "\nquestion %s answered 1 (the default): %s\n", number.c_str(),
                     MessageFor(number).c_str());
        (void)type;
        (void)a;
        (void)b;
        return 1;
    }
    void ShowMessage(const std::string& number, int, const std::string&, const std::string&) override
    {
        m_lastMessage = number;
        std::fprintf(stderr, "\nmessage %s: %s\n", number.c_str(), MessageFor(number).c_str());
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

private:
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
        const size_t at = path.rfind('@');
        if (at != std::string::npos) {
            const std::string spec = path.substr(at + 1);
            const size_t comma = spec.find(',');
            int c = 0, r = 0;
            if (comma == std::string::npos || !ParseInt(spec.substr(0, comma), c) || !ParseInt(spec.substr(comma + 1), r))
                return Fail("a cell is given as PHOTO@COLUMN,ROW: " + photos[i]);
            cell = CPoint(c, r);
            path = path.substr(0, at);
        }
        if (!CMcCore::IsLayoutGridCell(cell))
            return Fail(path + " would lie at column " + std::to_string(cell.x) + ", row " + std::to_string(cell.y) +
                        ", outside the cells the fit lays out (columns and rows " +
                        std::to_string(-CMcCore::LayoutGridReach) + " to " + std::to_string(CMcCore::LayoutGridReach - 1) + "); " +
                        (at != std::string::npos ? std::string("give it a cell inside them")
                                                 : "lay the photos in shorter rows with --columns or give their cells"));
        int result = 0;
        CKpic* picture = core.OpenPicture(path, result);
        if (!picture || result < 1)
            return Fail("cannot open the photo " + path);
        picture->m_LayoutCell = cell;
    }
    const ProjectFileResult saved = SaveProjectFile(core, out);
    if (saved.code < 1)
        return Fail("cannot write " + out + (saved.message.empty() ? std::string() : ": " + saved.message));
    std::printf("%s: %zu pictures\n", out.c_str(), photos.size());
    return 0;
}

double Degrees(double radians) { return radians * 180.0 / EnginePi; }

int RunFit(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return Usage();
    bool around = false, quality = false;
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--around-360")
            around = true;
        else if (args[i] == "--quality-priority")
            quality = true;
        else
            return Usage();
    }
    SetEngineModeFlags();
    CHeadlessDocument document;
    CTerminalHost host;
    host.SetDocument(&document);
    ProjectFileResult opened;
    std::unique_ptr<CMcCore> core = OpenProjectFile(args[0], &host, &opened);
    if (!core)
        return Fail("cannot open the project " + args[0] + (opened.message.empty() ? "" : ": " + opened.message));
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

    const ProjectFileResult saved = SaveProjectFile(*core, args[1]);
    if (saved.code < 1)
        return Fail("cannot write " + args[1]);

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
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
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

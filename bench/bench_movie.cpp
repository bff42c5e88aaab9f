// The panorama movie of a full turn against its render: the movie step of Render and Save (the
// document's band render into the turned BMP) timed beside the movie program Vellumark making
// the movie from what the document left. Prints both times (and the processor time each took, as
// the render runs on about one core and the encoder on several) and their ratio.
//
//   bench_movie PROJECT.fit [--width W] [--height H]
//
// The project is the one bench_render keeps (bench_render --keep DIR writes DIR/bench.fit): 18
// photos in the equirectangular projection; the area is one full turn at W pixels wide (14000 by
// default) and H high (3000) around the middle of the pictures.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/helpers.h"
#include "document/render_save.h"
#include "document/sm_doc.h"
#include "picset/mcomp.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/system_services.h"

extern char** environ;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time (user and system) of this process, or of its ended children.
double CpuSeconds(int who)
{
    struct rusage u {};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
#ifndef SMRA_VELLUMARK_PATH
    std::fprintf(stderr, "bench_movie: the movie program Vellumark is not built\n");
    return 1;
#else
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_movie PROJECT.fit [--width W] [--height H]\n");
        return 2;
    }
    const std::string project = std::filesystem::absolute(argv[1]).string();
    int width = 14000;
    int height = 3000;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--width")
            width = std::atoi(argv[i + 1]);
        else if (std::string(argv[i]) == "--height")
            height = std::atoi(argv[i + 1]);
    }
    const std::filesystem::path work = std::filesystem::path(project).parent_path() / "bench_movie";
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work);
    const std::string movie = (work / "turn.mov").string();

    platform::FakeFileDialog dialog;
    platform::FakeMessageBox box;
    platform::FakeProcessLauncher launcher;
    platform::SetFileDialog(&dialog);
    platform::SetMessageBox(&box);
    // The document's starts are recorded, so that the movie program can be timed here.
    platform::SetProcessLauncher(&launcher);
    render_save::SetMovieProgramFolder(GetFolder(SMRA_VELLUMARK_PATH));
    CSmDoc doc;
    if (!doc.OpenDocumentFile(project)) {
        std::fprintf(stderr, "bench_movie: cannot open %s\n", project.c_str());
        return 1;
    }
    // The movie's area: exactly one full turn (as the work view keeps it in movie mode), cut to
    // the height asked for around the middle of the pictures.
    doc.m_areaMode = 3;
    doc.SetDefaultRenderArea();
    CRect area = doc.m_defaultArea;
    const double scale = double(width) / doc.m_fullTurnWidth;
    const int middle = (area.top + area.bottom) / 2;
    const int half = static_cast<int>(std::lround(height / scale / 2));
    area.top = middle - half;
    area.bottom = middle + half;
    doc.m_renderArea = area;
    doc.m_sizeMode = 3;
    doc.m_outputScale = scale;
    doc.m_areaShown = 1;

    // The movie step of Render and Save, in the rendering state that the command sets up (the
    // command itself refuses a movie this large: its pixel measure is above the movie's limit).
    doc.m_pComp->SetBreakMode(2);
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto startRender = std::chrono::steady_clock::now();
    int made = 0;
    {
        platform::JobScope job;
        made = doc.MakePanoramaMovie(movie);
    }
    const double renderSeconds = Seconds(startRender);
    const double renderCpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    doc.m_pComp->SetBreakMode(0);
    if (made != 1 || launcher.Starts().size() != 2) {
        std::fprintf(stderr, "bench_movie: the movie step answered %d: %s\n", made, doc.m_statusMessage.c_str());
        for (const std::string& shown : box.Shown())
            std::fprintf(stderr, "  %s\n", shown.c_str());
        return 1;
    }
    const std::string param = launcher.Starts()[1].arguments.at(0);
    std::ifstream paramFile(param);
    std::string paramText;
    std::getline(paramFile, paramText);
    std::printf("render into the turned BMP: %d x %d (%s degrees) in %.2f s (processor %.2f s)\n", doc.m_outputSize.cx,
                doc.m_outputSize.cy, paramText.substr(paramText.rfind(',') + 1).c_str(), renderSeconds, renderCpu);

    const std::string program = SMRA_VELLUMARK_PATH;
    char* const args[] = {const_cast<char*>(program.c_str()), const_cast<char*>(param.c_str()), nullptr};
    pid_t pid = 0;
    const auto startMovie = std::chrono::steady_clock::now();
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, args, environ) != 0) {
        std::fprintf(stderr, "bench_movie: cannot start %s\n", program.c_str());
        return 1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double movieSeconds = Seconds(startMovie);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !std::filesystem::exists(movie)) {
        std::fprintf(stderr, "bench_movie: the movie program failed\n");
        return 1;
    }
    std::printf("movie (%.1f MB):             %.2f s (processor %.2f s)\n", std::filesystem::file_size(movie) / 1e6,
                movieSeconds, CpuSeconds(RUSAGE_CHILDREN));
    std::printf("ratio movie / render: %.3f (below 1 wanted)\n", movieSeconds / renderSeconds);
    platform::SetProcessLauncher(nullptr);
    platform::SetFileDialog(nullptr);
    platform::SetMessageBox(nullptr);
    return 0;
#endif
}

// The movie program's run.
#include "movie/movie_job.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "common/helpers.h"
#include "movie/movie_params.h"
#include "movie/movie_writer.h"
#include "movie/pan_plan.h"
#include "movie/panorama_strip.h"
#include "movie/row_workers.h"

namespace movie {

namespace {

// Threads that share the painting of a frame.
constexpr int kPaintThreads = 4;

// Says why on standard error, and leaves it in the log file too (beside the movie, or beside
// the parameter file when that cannot be read; none for a parameter file that is not there).
void Report(const std::string& logPath, const std::string& what, const std::string& reason,
            const std::vector<std::string>& kept)
{
    std::string text = "Vellumark: " + what + " was not made: " + reason + ".\n";
    std::error_code ec;
    for (const std::string& k : kept)
        if (std::filesystem::exists(k, ec))
            text += "Left in place: " + k + "\n";
    std::fputs(text.c_str(), stderr);
    if (logPath.empty())
        return;
    std::FILE* f = std::fopen(logPath.c_str(), "wb");
    if (!f)
        return;
    const std::time_t now = std::time(nullptr);
    char when[64] = {};
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    std::fprintf(f, "%s\n%s", when, text.c_str());
    std::fclose(f);
}

} // namespace

bool MakeMovie(const std::string& bmpPath, const std::string& moviePath, int span, std::string* error)
{
    int width = 0, height = 0;
    if (!CPanoramaStrip::PanoramaSize(bmpPath, &width, &height, error))
        return false;
    CPanPlan plan;
    if (!PlanPan(width, height, span, &plan)) {
        *error = "the rendered panorama is too small for a movie";
        return false;
    }
    // The encoder is checked before the panorama is read: without it there is nothing to do.
    CMovieWriter writer;
    if (!writer.Open(moviePath, plan.frameWidth, plan.frameHeight, kFramesPerSecond, error))
        return false;
    CPanoramaStrip strip;
    if (!strip.Load(bmpPath, plan, error))
        return false;
    // A few threads paint each frame, one frame ahead: while the encoder takes frame f, they
    // paint frame f + 1 into the other of the writer's two frames.
    uint8_t* planes[2][3] = {};
    int strides[2][3] = {};
    // Declared after what its jobs use: on an early return it waits for them before those go.
    CRowWorkers painters(std::clamp(plan.frameHeight / 64, 1, kPaintThreads));
    auto paint = [&](int f) {
        const int slot = f & 1;
        const double left = plan.FrameLeft(f);
        const int parts = painters.Parts();
        painters.Start([&strip, &planes, &strides, slot, left, parts](int part) {
            strip.FillFrame(left, planes[slot], strides[slot], part, parts);
        });
    };
    if (!writer.PrepareFrame(0, planes[0], strides[0], error))
        return false;
    paint(0);
    for (int f = 0; f < plan.frameCount; ++f) {
        painters.Wait();
        if (f + 1 < plan.frameCount) {
            if (!writer.PrepareFrame((f + 1) & 1, planes[(f + 1) & 1], strides[(f + 1) & 1], error))
                return false;
            paint(f + 1);
        }
        if (!writer.EncodeFrame(f & 1, error))
            return false;
    }
    painters.Wait();
    return writer.Finish(error);
}

int RunMovieProgram(const std::vector<std::string>& arguments)
{
    if (arguments.size() != 1 || arguments[0].empty()) {
        std::fputs("usage: Vellumark PARAMETER-FILE\n"
                   "Makes the panorama movie that Render and Save asks for: the parameter file reads\n"
                   "\"picture.bmp,movie.mov,degrees\".\n",
                   stderr);
        return 2;
    }
    const std::string& paramPath = arguments[0];
    if (paramPath == kProbeArgument)
        return 0;
    CMovieParams params;
    std::string error;
    if (!ReadMovieParams(paramPath, &params, &error)) {
        std::error_code ec;
        const bool there = std::filesystem::exists(paramPath, ec);
        Report(there ? paramPath + ".log" : std::string(), "the movie", error, {paramPath});
        return 1;
    }
    if (!MakeMovie(params.bmpPath, params.moviePath, params.span, &error)) {
        Report(params.moviePath + ".log", "the movie " + params.moviePath, error, {params.bmpPath, paramPath});
        return 1;
    }
    // The rendered panorama and the parameter file were left for this program alone.
    DeleteFileIfExists(params.bmpPath);
    DeleteFileIfExists(paramPath);
    return 0;
}

} // namespace movie

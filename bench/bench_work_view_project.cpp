// The work view over a whole project: photos placed by known geometry in rows, all fitted, in a
// 1920 x 1080 client on Qt's offscreen platform. Prints the time of a paint (OnDraw), of each
// idle drawing step (median, 99th percentile and worst; the steps that decode a full photo
// apart), of a half-screen scroll until the pane is drawn again, and of drawing the whole
// visible work space at the zoom that fits the project.
//   bench_work_view_project [count] [width] [height]   (default: 50 photos of 6000 x 4000)
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "document/sm_doc.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_array.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mcomp.h"
#include "platform/file_dialog.h"
#include "views/display_service.h"
#include "views/sm_view.h"

#include "bench/fitted_work_view.h"

namespace {

using bench::Clock;
using bench::Ms;

struct Steps {
    std::vector<double> plain, decoding;
};

void Print(const char* what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("  %-28s none\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %-28s %5zu steps  median %7.2f ms  p99 %7.2f ms  worst %7.2f ms\n", what, ms.size(), ms[ms.size() / 2],
                ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.back());
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;
    const int width = argc > 2 ? std::atoi(argv[2]) : 6000;
    const int height = argc > 3 ? std::atoi(argv[3]) : 4000;
    if (count < 1 || width < 160 || height < 120) {
        std::fprintf(stderr, "usage: bench_work_view_project [count] [width] [height]\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    char name[] = "bench_work_view_project";
    char* qargv[] = {name, nullptr};
    QApplication app(qargc, qargv);

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "smra_bench_work_view";
    bench::FittedWorkView w;
    if (const std::string error =
            w.SetUp(app, dir, count, 0, width, height);
        !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CSmDoc& doc = w.doc;
    CSmView& view = w.view;
    const int& fullReads = w.fullReads;
    const int rows = w.rows;

    // Idle steps until nothing is left; each timed and sorted by whether it decoded a photo.
    auto drain = [&](Steps& steps, int& blocks) {
        for (int guard = 0; guard < 1000000; ++guard) {
            const int readsBefore = fullReads;
            const auto t0 = Clock::now();
            view.OnUpdate(nullptr, HINT_IDLE, HintObject::None());
            const double ms = Ms(t0, Clock::now());
            blocks += view.m_band.LastBlocks();
            (fullReads > readsBefore ? steps.decoding : steps.plain).push_back(ms);
            if (view.m_nLoadState == 0 && doc.m_refreshFlags[2] == 0)
                return;
        }
    };

    std::printf("work view: %d photos of %d x %d placed in %d rows, client 1920 x 1080, canvas %d x %d\n", count, width,
                height, rows, view.m_sizeCanvas.cx, view.m_sizeCanvas.cy);

    // Zoom 1 around the origin.
    view.OnUpdate(nullptr, HINT_PIECES, HintObject::None());
    Steps opening;
    int blocks = 0;
    const auto d0 = Clock::now();
    drain(opening, blocks);
    const double firstMs = Ms(d0, Clock::now());
    std::printf("zoom 1, first drawing of the visible canvas: %.0f ms, %d blocks, %d photo decodes\n", firstMs, blocks,
                fullReads);
    Print("idle steps", opening.plain);
    Print("idle steps with a decode", opening.decoding);

    // A paint: the frame composed from the canvas, the stock of 50 pieces, the lines.
    doc.m_auxLineMode = 1;
    std::vector<double> paints;
    for (int i = 0; i < 40; ++i) {
        const auto t0 = Clock::now();
        view.UpdateWindow();
        paints.push_back(Ms(t0, Clock::now()));
    }
    Print("OnDraw (paint, aux lines 1)", paints);

    // Half a screen to the right inside the canvas, then until drawn again.
    for (int dir = 1; dir >= -1; dir -= 2) {
        Steps scroll;
        int scrollBlocks = 0;
        const int reads = fullReads;
        const auto t0 = Clock::now();
        view.ScrollToPosition(view.GetScrollPosition() + CPoint(dir * 960, 0));
        view.UpdateWindow();
        drain(scroll, scrollBlocks);
        view.UpdateWindow();
        std::printf("half-screen scroll %s: %.1f ms until repainted, %zu idle steps, %d blocks redrawn, %d decodes\n",
                    dir > 0 ? "right" : "back", Ms(t0, Clock::now()), scroll.plain.size() + scroll.decoding.size(),
                    scrollBlocks, fullReads - reads);
    }

    // The whole work space at the zoom that fits it.
    view.ChooseFitZoom({}, {});
    const int fitZoom = view.m_nZoom;
    view.m_nZoom = 1;
    Steps whole;
    int wholeBlocks = 0;
    const int reads = fullReads;
    const auto w0 = Clock::now();
    view.SetZoom(fitZoom);
    drain(whole, wholeBlocks);
    view.UpdateWindow();
    std::printf("whole work space at the fitting zoom %d: %.0f ms, %d blocks, %d decodes\n", fitZoom, Ms(w0, Clock::now()),
                wholeBlocks, fullReads - reads);
    Print("idle steps", whole.plain);
    Print("idle steps with a decode", whole.decoding);

    doc.RemoveView(&view);
    platform::SetFileDialog(nullptr);
    views::SetDisplayService(nullptr);
    SetImageReader(nullptr);
    std::filesystem::remove_all(dir);
    return 0;
}

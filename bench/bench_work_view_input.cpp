// The work view's mouse input over a fitted project on Qt's offscreen platform, through the real
// widget and document: 50 photos placed by known geometry in rows, all fitted, and one more in
// the stock that is dragged over them. Prints the time of one fit-preview mouse move (the
// picture set's drag preview and snap search included, with the pictures' pixels in memory,
// and apart from that the first move, which decodes the photos it needs), and of one step of
// dragging the rendering area's right edge (the render setup included), without and with the
// repaint that follows it.
//   bench_work_view_input [count] [width] [height]   (default: 50 photos of 6000 x 4000)
#include <QApplication>
#include <QMouseEvent>

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
#include "views/work_input.h"

#include "bench/fitted_work_view.h"

namespace {

using bench::Clock;
using bench::Ms;

void Print(const char* what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("  %-36s none\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %-36s %4zu moves  median %8.2f ms  p90 %8.2f ms  worst %8.2f ms\n", what, ms.size(), ms[ms.size() / 2],
                ms[std::min(ms.size() - 1, ms.size() * 9 / 10)], ms.back());
}

void Send(CSmView& view, QEvent::Type type, CPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QWidget* vp = view.viewport();
    const QPointF p(at.x, at.y);
    QMouseEvent e(type, p, QPointF(vp->mapToGlobal(p.toPoint())), button, held, Qt::NoModifier);
    QApplication::sendEvent(vp, &e);
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;
    const int width = argc > 2 ? std::atoi(argv[2]) : 6000;
    const int height = argc > 3 ? std::atoi(argv[3]) : 4000;
    if (count < 1 || width < 160 || height < 120) {
        std::fprintf(stderr, "usage: bench_work_view_input [count] [width] [height]\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    char name[] = "bench_work_view_input";
    char* qargv[] = {name, nullptr};
    QApplication app(qargc, qargv);

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "smra_bench_work_view_input";
    bench::FittedWorkView w;
    if (const std::string error =
            w.SetUp(app, dir, count, 1, width, height);
        !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CSmDoc& doc = w.doc;
    CSmView& view = w.view;
    const std::vector<std::string>& paths = w.paths;
    const int& fullReads = w.fullReads;
    const int rows = w.rows;
    // The zoom that shows the project, as after a fit; the stock's thumbnails made.
    view.ChooseFitZoom({}, {});
    const int fitZoom = view.m_nZoom;
    view.m_nZoom = 1;
    view.SetZoom(fitZoom);
    for (int guard = 0; guard < 100000 && view.LoadNextPieceThumbnail() > 0; ++guard) {
    }
    view.UpdateWindow();
    std::printf("work view input: %d fitted photos of %d x %d in %d rows and one more dragged, client 1920 x 1080, "
                "zoom %d\n",
                count, width, height, rows, fitZoom);

    // Press on the stock piece of the last photo and leave the press box: the image drag.
    const int dragged = doc.FindEntryIndex(paths.back(), 0);
    const CRect stock = view.PieceStockRect(dragged);
    workview::CWorkInput* input = view.Input();
    if (dragged < 0 || stock.IsRectEmpty() || !input) {
        std::fprintf(stderr, "the dragged photo has no stock piece\n");
        return 1;
    }
    const CPoint press = stock.CenterPoint();
    Send(view, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    Send(view, QEvent::MouseMove, press + CPoint(0, 40), Qt::NoButton, Qt::LeftButton);
    if (input->m_nMouseState != 5) {
        std::fprintf(stderr, "no image drag (state %d)\n", input->m_nMouseState);
        return 1;
    }

    // Points around the middle of the pane, each more than 101 work units from the one before,
    // so that every move asks the picture set for a preview.
    const CPoint middle(960, 540);
    std::vector<CPoint> ring;
    for (int i = 0; i < 16; ++i) {
        const double a = 2.0 * 3.14159265 * i / 16;
        ring.push_back(middle + CPoint(int(std::lround(90 * std::cos(a))), int(std::lround(60 * std::sin(a)))));
    }
    auto move = [&](CPoint at, int& previews) {
        const CPoint before = input->m_ptLastTry;
        const auto t0 = Clock::now();
        Send(view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        const double ms = Ms(t0, Clock::now());
        previews += input->m_ptLastTry != before;
        return ms;
    };
    int previews = 0;
    const int readsBefore = fullReads;
    const double firstMove = move(ring[0], previews);
    std::printf("  first preview move: %.1f ms (%d photo decodes)\n", firstMove, fullReads - readsBefore);
    // A warm-up round loads the photos under the ring; the timed rounds find them in memory.
    for (const CPoint& p : ring)
        move(p, previews);
    std::vector<double> moves;
    previews = 0;
    const int readsWarm = fullReads;
    for (int round = 0; round < 4; ++round)
        for (const CPoint& p : ring)
            moves.push_back(move(p, previews));
    Print("fit-preview move", moves);
    std::printf("  %d of %zu moves asked for a preview, %d photo decodes, last drag image kind %d\n", previews, moves.size(),
                fullReads - readsWarm, view.m_dragImage.kind);
    // Let go outside the pane: nothing is dropped.
    Send(view, QEvent::MouseButtonRelease, CPoint(-50, -50), Qt::LeftButton, Qt::NoButton);

    // The rendering area: press on the right edge's handle and pull it back and forth.
    view.OnProcessSetRenderingArea();
    view.UpdateWindow();
    const CPoint handle = view.m_rcAreaHandles[6].CenterPoint() - view.GetScrollPosition();
    Send(view, QEvent::MouseButtonPress, handle, Qt::LeftButton, Qt::LeftButton);
    if (input->m_nGrabbedHandle != 6) {
        std::fprintf(stderr, "the right edge was not grabbed (handle %d)\n", input->m_nGrabbedHandle);
        return 1;
    }
    std::vector<double> steps, painted;
    int changed = 0;
    for (int i = 0; i < 60; ++i) {
        const CPoint at = handle + CPoint((i % 2 == 0) ? -12 : 12, 0);
        const CRect area = doc.m_renderArea;
        const auto t0 = Clock::now();
        Send(view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        const auto t1 = Clock::now();
        changed += doc.m_renderArea != area;
        if (i % 2 == 0) {
            steps.push_back(Ms(t0, t1));
        } else {
            view.UpdateWindow();
            painted.push_back(Ms(t0, Clock::now()));
        }
    }
    Send(view, QEvent::MouseButtonRelease, handle, Qt::LeftButton, Qt::NoButton);
    std::printf("  %d of 60 steps moved the area's right edge; render setup answer %d\n", changed, doc.m_renderSetup);
    Print("area edge drag step", steps);
    Print("area edge drag step and repaint", painted);

    doc.RemoveView(&view);
    platform::SetFileDialog(nullptr);
    views::SetDisplayService(nullptr);
    SetImageReader(nullptr);
    std::filesystem::remove_all(dir);
    return 0;
}

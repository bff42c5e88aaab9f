// The work view's drawing costs on a 1920 x 1080 client (canvas 3840 x 1620): one idle drawing
// step of a 6000 x 4000 picture (median, 99th percentile and worst of a whole picture's steps),
// moving the canvas window by half a screen, and composing a frame from the canvas.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/qt/gdi_context.h"
#include "views/work_canvas.h"

using namespace workview;

namespace {

class GeneratedPicture : public IBandPicture {
public:
    GeneratedPicture(std::string name, CPoint origin) : m_name(std::move(name)), m_origin(origin) {}
    const std::string& Name() const override { return m_name; }
    CSize ImageSize() const override { return {6000, 4000}; }
    bool IsFitted() const override { return true; }
    CRect Outline() override { return {m_origin, CSize(6000, 4000)}; }
    bool TouchesBlock(int x, int y) override { return Outline().PtInRect({x + 8, y + 8}); }
    CPoint PicturePoint(int x, int y) override { return {x - m_origin.x, y - m_origin.y}; }
    bool LoadImage() override { return true; }
    uint32_t ImagePixel(int x, int y) const override { return uint32_t(x * 7 + y * 13) & 0xFFFFFF; }

private:
    std::string m_name;
    CPoint m_origin;
};

void IdleSteps(benchmark::State& state)
{
    const int zoom = int(state.range(0));
    CWorkCanvas canvas;
    canvas.Create({3840, 1620});
    const Mapping map{zoom, {1920, 810}, {0, 0}};
    const CRect rect(-1920, -810, 1920, 810);
    std::vector<double> ms;
    for (auto _ : state) {
        canvas.Clear();
        GeneratedPicture p("p.jpg", {-3000, -2000});
        CBandDrawer drawer;
        for (;;) {
            const auto t0 = std::chrono::steady_clock::now();
            const int r = drawer.DrawPieceProgressive(canvas, map, rect, &p);
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
            if (r != 1)
                break;
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["steps"] = double(ms.size());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    state.counters["worst_ms"] = ms.back();
}
BENCHMARK(IdleSteps)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(2);

void HalfScreenRecentre(benchmark::State& state)
{
    CWorkCanvas canvas;
    canvas.Create({3840, 1620});
    int dir = 1;
    for (auto _ : state) {
        canvas.Shift({960 * dir, 0});
        dir = -dir;
    }
}
BENCHMARK(HalfScreenRecentre)->Unit(benchmark::kMillisecond);

void ComposeFrame(benchmark::State& state)
{
    CWorkCanvas canvas;
    canvas.Create({3840, 1620});
    QImage back(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        platform::qt::CGdiContext dc(back);
        dc.BitBlt(0, 0, 1920, 1080, canvas.Image(), 960, 270);
        dc.MoveTo(960, 0);
        dc.LineTo(960, 1080);
        dc.MoveTo(0, 540);
        dc.LineTo(1920, 540);
    }
}
BENCHMARK(ComposeFrame)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// Render and Save against smra_render on the same project, area and output size: the
// document's whole command (checks, band render, TIFF writing) timed beside the tool's render.
// Prints both times and their ratio.
//
//   bench_render_save PROJECT.fit [--width W]
//
// The project is the one bench_render keeps (bench_render --keep DIR writes DIR/bench.fit):
// 18 photos in the equirectangular projection; the area is one full turn from latitude +62 down
// to -25 degrees at W pixels wide (20000 by default: about 100 megapixels).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "document/sm_doc.h"
#include "imagefile/image_file.h"
#include "picset/mcomp.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"

namespace {

constexpr double kTwoPi = 2.0 * 3.14159265358979323846;
constexpr double kRadToDeg = 360.0 / kTwoPi;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_render_save PROJECT.fit [--width W]\n");
        return 2;
    }
    const std::string project = std::filesystem::absolute(argv[1]).string();
    int width = 20000;
    for (int i = 2; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--width")
            width = std::atoi(argv[i + 1]);
    const double f = width / kTwoPi;
    const int top = static_cast<int>(std::floor(-62.0 / kRadToDeg * f));
    const int bottom = static_cast<int>(std::ceil(25.0 / kRadToDeg * f));
    const CRect area(-width / 2, top, width - width / 2, bottom);
    const std::filesystem::path work = std::filesystem::path(project).parent_path();
    const std::string ours = (work / "render_save.tif").string();
    const std::string tool_out = (work / "smra_render.tif").string();

    platform::FakeFileDialog dialog;
    platform::FakeMessageBox box;
    platform::SetFileDialog(&dialog);
    platform::SetMessageBox(&box);
    CSmDoc doc;
    if (!doc.OpenDocumentFile(project)) {
        std::fprintf(stderr, "bench_render_save: cannot open %s\n", project.c_str());
        return 1;
    }
    doc.m_renderArea = area;
    doc.m_sizeMode = 3;
    doc.m_outputScale = double(width) / area.Width();
    doc.m_areaShown = 1;
    doc.m_renderPriority = 2;
    doc.m_pComp->SetRenderQuality(2);
    std::filesystem::remove(ours);
    dialog.QueuePath(ours);
    const auto startOurs = std::chrono::steady_clock::now();
    doc.RenderAndSave();
    const double oursSeconds = Seconds(startOurs);
    if (GetImageFileRect(ours).IsRectEmpty()) {
        std::fprintf(stderr, "bench_render_save: Render and Save wrote nothing: %s\n", doc.m_statusMessage.c_str());
        return 1;
    }
    std::printf("Render and Save: %d x %d in %.2f s\n", doc.m_outputSize.cx, doc.m_outputSize.cy, oursSeconds);

    const std::string tool =
        (std::filesystem::absolute(argv[0]).parent_path().parent_path() / "tools" / "smra_render").string();
    const std::string command = "'" + tool + "' '" + project + "' '" + tool_out + "' --quality-priority --width " +
                                std::to_string(width) + " --area " + std::to_string(area.left) + "," +
                                std::to_string(area.top) + "," + std::to_string(area.right) + "," +
                                std::to_string(area.bottom) + " >/dev/null 2>&1";
    std::filesystem::remove(tool_out);
    const auto startTool = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench_render_save: smra_render failed: %s\n", command.c_str());
        return 1;
    }
    const double toolSeconds = Seconds(startTool);
    std::printf("smra_render:     %.2f s\n", toolSeconds);
    std::printf("ratio: %.3f (at most 1.05 wanted)\n", oursSeconds / toolSeconds);
    platform::SetFileDialog(nullptr);
    platform::SetMessageBox(nullptr);
    return 0;
}

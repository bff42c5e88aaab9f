// smra_render: renders a fitted project into an image file without a window.
//
//   smra_render PROJECT.fit OUT.jpg|bmp|tif|png [--projection CODE] [--width W]
//               [--area L,T,R,B] [--quality-priority] [--threads N] [--skip-missing]
//
// The project is opened as the program opens it; the render area defaults to the output-plane
// rectangle that covers every fitted picture at the project's common focal (one raster pixel
// per plane unit), and the bands are written through the image-file dispatch in the order the
// format needs. Exits 0 on success, 1 with a message on failure, 2 on a usage error. Names that
// begin with '-' follow "--". An interrupted render leaves no staged output behind. A project
// whose photos cannot all be found is refused unless --skip-missing says to render without
// them. The output is written through a link to the file it leads to; anything but a regular
// file the user may write is refused before the render starts.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/helpers.h"
#include "common/status_codes.h"
#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "engine/render_band.h"
#include "imagefile/image_file.h"
#include "imagefile/staged_output_file.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "tools/smra_render/tool_document.h"
#include "tools/tool_support/missing_photos.h"

namespace {

namespace fs = std::filesystem;

struct COptions {
    std::string project;
    std::string output;
    int projection = 0;    // 0: the project's
    int width = 0;         // 0: the area's width
    bool hasArea = false;
    CRect area;
    bool quality = false;
    int threads = 0;       // 0: one per core
    bool skipMissing = false;
};

// The program's host, except that a photo the project names but that cannot be found is noted
// and left out instead of asked for.
class CRenderHost : public CMcHost {
public:
    int AskQuestion(const std::string& number, int type, const std::string& a, const std::string& b) override
    {
        int answer = 0;
        if (m_missing.TakeQuestion(number, a, &answer))
            return answer;
        return CMcHost::AskQuestion(number, type, a, b);
    }
    const CMissingPhotos& Missing() const { return m_missing; }

private:
    CMissingPhotos m_missing;
};

int Usage(const char* why)
{
    if (why)
        std::fprintf(stderr, "smra_render: %s\n", why);
    std::fprintf(stderr,
                 "usage: smra_render PROJECT.fit OUT.jpg|bmp|tif|png [--projection CODE] [--width W]\n"
                 "                   [--area L,T,R,B] [--quality-priority] [--threads N] [--skip-missing]\n"
                 "  --skip-missing  render a project whose photos cannot all be found without them\n"
                 "                  (else such a project is refused and nothing is written)\n");
    return 2;
}

bool ParseInt(const std::string& s, int* out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || v < -2000000000L || v > 2000000000L)
        return false;
    *out = static_cast<int>(v);
    return true;
}

bool ParseArea(const std::string& s, CRect* area)
{
    int v[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = i < 3 ? s.find(',', start) : s.size();
        if (comma == std::string::npos || !ParseInt(s.substr(start, comma - start), &v[i]))
            return false;
        start = comma + 1;
    }
    // Sides measured in 64 bits: an area wider or higher than an int can count is refused.
    const int64_t width = static_cast<int64_t>(v[2]) - v[0];
    const int64_t height = static_cast<int64_t>(v[3]) - v[1];
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
        return false;
    *area = CRect(v[0], v[1], v[2], v[3]);
    return true;
}

bool IsProjectionCode(int code)
{
    return (code >= 11 && code <= 15) || (code >= 21 && code <= 25) || (code >= 31 && code <= 34);
}

// The output-plane rectangle that the fitted pictures cover: their borders and centres taken
// through the output projection, leaving out points the projection cannot show.
CRect CoveredArea(const CMcCore& core)
{
    const double f = core.m_CommonFocal;
    const int code = core.m_Projection;
    double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
    constexpr int kSteps = 16;
    for (const auto& owned : core.m_Pictures) {
        const CKpic* p = owned.get();
        if (!p->IsFitted() || p->Width() < 1 || p->Height() < 1)
            continue;
        const CRect& r = p->m_PictureRect;
        std::vector<CDPoint> points = {CDPoint((r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0)};
        for (int i = 0; i <= kSteps; ++i) {
            const double fx = r.left + (r.Width() - 1) * i / double(kSteps);
            const double fy = r.top + (r.Height() - 1) * i / double(kSteps);
            points.insert(points.end(), {CDPoint(fx, r.top), CDPoint(fx, r.bottom - 1.0),
                                         CDPoint(r.left, fy), CDPoint(r.right - 1.0, fy)});
        }
        for (const CDPoint& pixel : points) {
            const CDPoint q = core.SphereToPlane(p->PixelToSphere(pixel));
            if (!std::isfinite(q.x) || !std::isfinite(q.y) || std::abs(q.x) >= 1e7 || std::abs(q.y) >= 1e7)
                continue;
            left = std::min(left, q.x);
            right = std::max(right, q.x);
            top = std::min(top, q.y);
            bottom = std::max(bottom, q.y);
        }
    }
    if (left > right)
        return CRect();
    // A panorama shows at most one turn; a linear view is kept to a sensible field.
    if (IsPanoramaProjection(code)) {
        left = std::max(left, -EnginePi * f);
        right = std::min(right, EnginePi * f);
    }
    const double limit = IsLinearProjection(code) ? std::clamp(f * 4.0, 100.0, 163840.0) : 163840.0;
    left = std::clamp(left, -limit, limit);
    right = std::clamp(right, -limit, limit);
    top = std::clamp(top, -limit, limit);
    bottom = std::clamp(bottom, -limit, limit);
    return CRect(static_cast<int>(std::floor(left)), static_cast<int>(std::floor(top)),
                 static_cast<int>(std::ceil(right)) + 1, static_cast<int>(std::ceil(bottom)) + 1);
}

// The size limits the program applies before it creates an image file of each kind.
bool TooBigForKind(int kind, int w, int h)
{
    const int64_t measure = static_cast<int64_t>(w / 100) * (h / 10);
    switch (kind) {
    case FILE_KIND_BMP: return measure > 707000 || w > 130000;
    case FILE_KIND_JPEG: return measure > 2080000 || w > 65535 || h > 65535;
    case FILE_KIND_TIFF: return measure > 130000 || w > 34000;
    case FILE_KIND_PNG: return measure > 105000 || w > 17000;
    default: return true;
    }
}

bool SamePath(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec))
        return std::filesystem::equivalent(a, b, ec);
    return false;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "\nsmra_render: %s\n", message.c_str());
    return 1;
}

int Run(const COptions& opt)
{
    const int kind = GetFileKind(opt.output);
    if (kind < FILE_KIND_BMP || kind > FILE_KIND_PNG)
        return Fail("the output must end in .jpg, .bmp, .tif or .png: " + opt.output);
    // Only a regular file the user may write is replaced: anything else fails now, not after the
    // render.
    if (const int refused = CheckStagedOutputTarget(opt.output))
        return Fail("the output " + opt.output + " cannot be written: " + StagedOutputErrorText(refused));

    SetEngineModeFlags();
    CToolDocument document;
    CRenderHost host;
    host.SetDocument(&document);
    ProjectFileResult opened;
    std::unique_ptr<CMcCore> core = OpenProjectFile(opt.project, &host, &opened);
    if (!core)
        return Fail("cannot open the project " + opt.project +
                    (opened.message.empty() ? std::string() : ": " + opened.message));
    if (host.Missing().Report("smra_render", opt.skipMissing))
        return Fail(std::to_string(host.Missing().Count()) + " photo(s) of " + opt.project +
                    " cannot be found; nothing was written (--skip-missing renders the project without them)");
    document.SetCore(core.get());
    // The load gave every picture its optical centre, lens scale and the set's lens table.
    core->SortPlacedFirst();
    if (core->GetFittedCount() < 1)
        return Fail("the project has no fitted picture: " + opt.project);
    for (const auto& p : core->m_Pictures)
        if (SamePath(p->m_Path, opt.output))
            return Fail("the output would overwrite the picture " + p->m_Path);
    if (SamePath(opt.project, opt.output))
        return Fail("the output would overwrite the project " + opt.project);

    if (opt.projection != 0)
        core->SetProjection(opt.projection);
    core->m_RenderPriority = opt.quality ? 2 : 1;

    const CRect area = opt.hasArea ? opt.area : CoveredArea(*core);
    if (area.IsRectEmpty())
        return Fail("the fitted pictures cover nothing in this projection");
    const int width = opt.width > 0 ? opt.width : area.Width();

    core->ResetProgress();
    const int setup = core->SetupRenderByWidth(area.left, area.top, area.right, area.bottom, width, 0);
    if (setup <= kResultOutOfMemory)
        return Fail("not enough memory to set up the render");
    if (setup <= 0)
        return Fail("the render could not be set up");
    const int W = core->m_OutputWidth;
    const int H = core->m_OutputHeight;
    if (TooBigForKind(kind, W, H))
        return Fail("too big to create image file: " + std::to_string(W) + " x " + std::to_string(H));

    std::fprintf(stderr, "smra_render: %s -> %s, %d x %d pixels, projection %d, area %d,%d,%d,%d\n",
                 opt.project.c_str(), opt.output.c_str(), W, H, core->GetProjection(), area.left, area.top,
                 area.right, area.bottom);
    const auto start = std::chrono::steady_clock::now();
    const std::string comment = opt.quality ? "Korvane Seamora - High Quality" : "Korvane Seamora";
    if (SaveImageBegin(opt.output, W, H, 288, comment, 10) != 1) {
        const std::string why = StagedOutputErrorText(LastStagedOutputError());
        return Fail("cannot open the output " + opt.output + (why.empty() ? std::string() : ": " + why));
    }

    const std::vector<int> order = GetSaveStripOrder(opt.output, H);
    int done = 0;
    int lastPercent = -1;
    bool writeFailed = false;
    const int result = RenderBandsInOrder(*core, order, opt.threads, [&](int band, const CPixelArray& pixels) {
        if (SaveImagePut(opt.output, pixels, band) < 0) {
            writeFailed = true;
            return -1;
        }
        ++done;
        const int percent = static_cast<int>(100LL * done / static_cast<long long>(order.size()));
        if (percent != lastPercent) {
            lastPercent = percent;
            std::fprintf(stderr, "\rrendering: %3d%% (%d of %zu bands)", percent, done, order.size());
            std::fflush(stderr);
        }
        return 1;
    });
    const int end = SaveImageEnd(opt.output, result < 0 ? -1 : 0);
    if (result < 0 || end < 0) {
        // The writers stage their output: whatever was at the output path is left as it was.
        if (writeFailed || (result >= 0 && end < 0)) {
            const std::string why = StagedOutputErrorText(LastStagedOutputError());
            return Fail("writing " + opt.output + " failed" + (why.empty() ? std::string() : ": " + why) +
                        "; nothing was written");
        }
        if (result == kResultOutOfMemory)
            return Fail("not enough memory to render; nothing was written");
        if (!core->m_RenderFailedPath.empty()) {
            const std::string& feature = LastUnsupportedFeature();
            return Fail("cannot load the picture " + core->m_RenderFailedPath +
                        (feature.empty() ? std::string() : " (" + feature + ")") +
                        "; nothing was written");
        }
        return Fail("the render failed; nothing was written");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "\nsmra_render: wrote %s (%d x %d) in %.2f s\n", opt.output.c_str(), W, H, seconds);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    InstallStagedOutputSignalCleanup();
    COptions opt;
    std::vector<std::string> positional;
    bool namesOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (namesOnly) {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            namesOnly = true;
            continue;
        }
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                Usage((std::string(name) + " needs a value").c_str());
                return nullptr;
            }
            return argv[++i];
        };
        if (a == "--projection") {
            const char* v = value("--projection");
            if (!v || !ParseInt(v, &opt.projection) || !IsProjectionCode(opt.projection))
                return Usage("--projection takes a code: 11-15, 21-25 or 31-34");
        } else if (a == "--width") {
            const char* v = value("--width");
            if (!v || !ParseInt(v, &opt.width) || opt.width < 1 || opt.width > 999999)
                return Usage("--width takes a width of 1 to 999999 pixels");
        } else if (a == "--area") {
            const char* v = value("--area");
            if (!v || !ParseArea(v, &opt.area))
                return Usage("--area takes L,T,R,B with L < R and T < B");
            opt.hasArea = true;
        } else if (a == "--quality-priority") {
            opt.quality = true;
        } else if (a == "--skip-missing") {
            opt.skipMissing = true;
        } else if (a == "--threads") {
            const char* v = value("--threads");
            if (!v || !ParseInt(v, &opt.threads) || opt.threads < 1 || opt.threads > 256)
                return Usage("--threads takes 1 to 256");
        } else if (a == "-h" || a == "--help") {
            Usage(nullptr);
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            return Usage(("unknown option " + a).c_str());
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return Usage("a project and an output file are needed");
    opt.project = positional[0];
    opt.output = positional[1];
    return Run(opt);
}

// Rendering a panorama of about 100 megapixels from 18 photos with our renderer (smra_render
// from a project file) and with Hugin's nona from the same photos, orientations and focal
// (written as a Hugin project), at the same output size and projection. Prints both times, their ratio and the PSNR between the two
// outputs over the area both cover.
//
//   bench_render [--width W] [--threads N] [--keep DIR]
//
// The photos are the synthetic views of ../shared/testdata/synthetic-views-rhein3 (12-view
// ring and 6-view upper row, exact pinhole cameras). nona is not a test dependency: without it
// the bench times our renderer alone. Install it with the Debian package hugin-tools.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/sphere.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"

namespace {

constexpr double kRadToDeg = 180.0 / 3.14159265358979323846;

struct CView {
    std::string file;
    double R[3][3] = {};
};

// The views' files and rotations from the camera file (a fixed, known layout).
bool ReadViews(const std::string& path, std::vector<CView>* views, double* focal)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    const size_t fp = text.find("\"focal_px\"");
    if (fp == std::string::npos)
        return false;
    *focal = std::strtod(text.c_str() + text.find(':', fp) + 1, nullptr);
    size_t pos = 0;
    while ((pos = text.find("\"file\"", pos)) != std::string::npos) {
        CView v;
        const size_t q1 = text.find('"', text.find(':', pos) + 1);
        const size_t q2 = text.find('"', q1 + 1);
        v.file = text.substr(q1 + 1, q2 - q1 - 1);
        size_t r = text.find("\"R_world_from_camera\"", q2);
        if (r == std::string::npos)
            return false;
        const char* p = text.c_str() + text.find('[', r);
        for (int i = 0; i < 9; ++i) {
            while (*p == '[' || *p == ',' || *p == ' ' || *p == ']' || *p == '\n')
                ++p;
            char* end = nullptr;
            v.R[i / 3][i % 3] = std::strtod(p, &end);
            p = end;
        }
        views->push_back(v);
        pos = q2;
    }
    return !views->empty() && *focal > 0;
}

// World from camera = Ry(lon) Rx(lat) Rz(roll) with the camera file's axes.
void LonLatRoll(const CView& v, double* lon, double* lat, double* roll)
{
    *lat = std::asin(std::max(-1.0, std::min(1.0, -v.R[1][2])));
    *lon = std::atan2(v.R[0][2], v.R[2][2]);
    *roll = std::atan2(v.R[1][0], v.R[1][1]);
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool ReadImage(const std::string& path, CPixelArray* pixels, CSize* size)
{
    const CRect rect = GetImageFileRect(path);
    if (rect.IsRectEmpty())
        return false;
    *size = CSize(rect.Width(), rect.Height());
    return LoadImageFile(path, *pixels, *size, CRect(0, 0, 0, 0)) > 0 &&
           pixels->GetSize() == static_cast<std::ptrdiff_t>(size->cx) * size->cy;
}

} // namespace

int main(int argc, char** argv)
{
    int width = 20000;
    int threads = 0;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--width" && i + 1 < argc)
            width = std::atoi(argv[++i]);
        else if (a == "--threads" && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_render [--width W] [--threads N] [--keep DIR]\n");
            return 2;
        }
    }
    const std::string dir = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3";
    std::vector<CView> views;
    double viewFocal = 0.0;
    if (!ReadViews(dir + "/truth.json", &views, &viewFocal)) {
        std::fprintf(stderr, "bench_render: cannot read %s/truth.json\n", dir.c_str());
        return 1;
    }
    views.resize(std::min<size_t>(views.size(), 18)); // the ring and the upper row

    const std::filesystem::path work =
        keep.empty() ? std::filesystem::temp_directory_path() / "smra_bench_render" : std::filesystem::path(keep);
    std::filesystem::create_directories(work);
    const std::string ours = (work / "ours.tif").string();
    const std::string theirs = (work / "nona.tif").string();
    const std::string pto = (work / "bench.pto").string();

    // Output: equirectangular, one full turn, latitude +62 down to -25 degrees.
    const double f = width / EngineTwoPi;
    const int top = static_cast<int>(std::floor(-62.0 / kRadToDeg * f));
    const int bottom = static_cast<int>(std::ceil(25.0 / kRadToDeg * f));
    const int height = bottom - top;
    std::printf("bench_render: %zu photos, equirectangular %d x %d (%.1f megapixels)\n", views.size(), width, height,
                width * static_cast<double>(height) / 1e6);

    // --- ours: the photos with their cameras saved as a project, rendered by smra_render from
    // that file (project load, photo decoding, render and TIFF writing all timed).
    const std::string project = (work / "bench.fit").string();
    {
        SetEngineModeFlags();
        CMcHost host;
        CMcCore core;
        core.m_Host = &host;
        core.m_Projection = 23;
        // The common focal scales the output plane: at f one plane unit is one output pixel.
        core.m_CommonFocal = f;
        core.m_Distortion = 0.0;
        // The synthetic views have no light fall-off to compensate (nona corrects none either).
        core.m_BlendStrength = 0;
        for (const CView& v : views) {
            CKpic* picture = core.OpenPicture(dir + "/" + v.file);
            if (!picture) {
                std::fprintf(stderr, "bench_render: cannot open %s/%s\n", dir.c_str(), v.file.c_str());
                return 1;
            }
            double lon = 0, lat = 0, roll = 0;
            LonLatRoll(v, &lon, &lat, &roll);
            picture->m_Status = 3;
            picture->m_Focal = viewFocal;
            picture->m_DefaultFocal = viewFocal;
            picture->m_Direction = CDPoint(lon, -lat);   // the engine's latitude grows downwards
            picture->m_Roll = roll;
        }
        core.SortPlacedFirst();
        if (SaveProjectFile(core, project).code != 1) {
            std::fprintf(stderr, "bench_render: cannot save %s\n", project.c_str());
            return 1;
        }
    }
    const std::string tool = (std::filesystem::absolute(argv[0]).parent_path().parent_path() / "tools" / "smra_render").string();
    if (!std::filesystem::exists(tool)) {
        std::fprintf(stderr, "bench_render: %s not found (build the tools in the same build folder)\n", tool.c_str());
        return 1;
    }
    const std::string area = std::to_string(-width / 2) + "," + std::to_string(top) + "," +
                             std::to_string(width - width / 2) + "," + std::to_string(bottom);
    std::string oursCommand = "'" + tool + "' '" + project + "' '" + ours + "' --quality-priority --width " +
                              std::to_string(width) + " --area " + area;
    if (threads > 0)
        oursCommand += " --threads " + std::to_string(threads);
    oursCommand += " >/dev/null 2>&1";
    std::filesystem::remove(ours);
    const auto startOurs = std::chrono::steady_clock::now();
    if (std::system(oursCommand.c_str()) != 0 || !std::filesystem::exists(ours)) {
        std::fprintf(stderr, "bench_render: our render failed: %s\n", oursCommand.c_str());
        return 1;
    }
    const double oursSeconds = Seconds(startOurs);
    std::printf("ours: %.2f s\n", oursSeconds);

    // --- nona: the same photos, orientations and focal as a Hugin project.
    if (std::system("command -v nona >/dev/null 2>&1") != 0) {
        std::printf("nona not found (Debian package hugin-tools): no comparison\n");
        return 0;
    }
    {
        std::ofstream out(pto);
        const int fullHeight = width / 2;
        // nona's row r of the full panorama is at latitude 90 - (r + 0.5) degrees * 180 / height,
        // our row y at -(y + top) / f: the crop starting at W / 4 + top leaves half a row.
        const int cropTop = fullHeight / 2 + top;
        out << "p f2 w" << width << " h" << fullHeight << " v360 E0 R0 S0," << width << "," << cropTop << ","
            << cropTop + height << " n\"TIFF c:NONE\"\n";
        out << "m i0\n";
        const double hfov = 2.0 * std::atan(400.0 / viewFocal) * kRadToDeg;
        // nona's column x is at longitude (x + 0.5 - W / 2) / f, ours at (x - W / 2) / f: turning
        // every photo by half a column lines the two rasters up.
        const double yawShift = 0.5 / f;
        for (const CView& v : views) {
            double lon = 0, lat = 0, roll = 0;
            LonLatRoll(v, &lon, &lat, &roll);
            char line[512];
            std::snprintf(line, sizeof line,
                          "i w800 h600 f0 v%.6f y%.6f p%.6f r%.6f a0 b0 c0 d0 e0 g0 t0 Eev0 Er1 Eb1 Vm0 n\"%s\"\n",
                          hfov, (lon + yawShift) * kRadToDeg, lat * kRadToDeg, roll * kRadToDeg,
                          (dir + "/" + v.file).c_str());
            out << line;
        }
    }
    std::filesystem::remove(theirs);
    const std::string stem = (work / "nona").string();
    const auto startNona = std::chrono::steady_clock::now();
    const std::string command = "nona -m TIFF -o '" + stem + "' '" + pto + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(theirs)) {
        std::fprintf(stderr, "bench_render: nona failed: %s\n", command.c_str());
        return 1;
    }
    const double nonaSeconds = Seconds(startNona);
    std::printf("nona: %.2f s\n", nonaSeconds);
    std::printf("ratio nona / ours: %.2f (above 1: ours is faster)\n", nonaSeconds / oursSeconds);

    // --- PSNR over the pixels both cover (ours leaves white, nona black where nothing is).
    CPixelArray a, b;
    CSize sa, sb;
    if (!ReadImage(ours, &a, &sa) || !ReadImage(theirs, &b, &sb) || !(sa == sb)) {
        std::printf("PSNR: the outputs could not be read back for comparison\n");
        return 0;
    }
    double sum = 0.0;
    long long n = 0;
    for (std::ptrdiff_t i = 0; i < a.GetSize(); ++i) {
        if (a[i] == 0xFFFFFF || b[i] == 0)
            continue;
        for (int s = 0; s < 24; s += 8) {
            const double d = static_cast<double>((a[i] >> s) & 0xFF) - static_cast<double>((b[i] >> s) & 0xFF);
            sum += d * d;
        }
        ++n;
    }
    if (n == 0) {
        std::printf("PSNR: no pixel covered by both\n");
        return 0;
    }
    const double mse = sum / (3.0 * n);
    std::printf("PSNR ours vs nona: %.2f dB over %lld pixels (%.0f %% of the raster)\n",
                10.0 * std::log10(255.0 * 255.0 / std::max(mse, 1e-12)), n, 100.0 * n / a.GetSize());
    if (keep.empty()) {
        std::filesystem::remove(ours);
        std::filesystem::remove(theirs);
    }
    return 0;
}

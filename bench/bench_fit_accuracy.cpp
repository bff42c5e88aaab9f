// Accuracy of a fitted project against camera truth: for every picture the directions its
// sample pixels see are compared with the true ones, after one rotation of the whole set that
// fits best (no timings here; this prints figures for the fit bench).
//
//   bench_fit_accuracy PROJECT.fit TRUTH.json
//
// The truth file lists per view its file name and a grid of (u, v, longitude, latitude) in
// degrees; directions are unit vectors (cos lat sin lon, -sin lat, cos lat cos lon).
#include <algorithm>
#include <array>
#include <memory>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/sphere.h"
#include "picset/host_document.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"

namespace {

using Vec = std::array<double, 3>;
using Mat = std::array<std::array<double, 3>, 3>;

struct Sample {
    double u, v;
    Vec truth;
};

Vec Direction(double lon, double lat)
{
    return {std::cos(lat) * std::sin(lon), -std::sin(lat), std::cos(lat) * std::cos(lon)};
}

// Reads the views' sample grids out of the truth file (a small, fixed layout).
std::map<std::string, std::vector<Sample>> ReadTruth(const std::string& path, double& focal)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string s = ss.str();
    std::map<std::string, std::vector<Sample>> views;
    const size_t f = s.find("\"focal_px\":");
    focal = f == std::string::npos ? 0.0 : std::stod(s.substr(f + 11));
    size_t pos = 0;
    while ((pos = s.find("\"file\": \"", pos)) != std::string::npos) {
        pos += 9;
        const std::string name = s.substr(pos, s.find('"', pos) - pos);
        const size_t start = s.find("\"samples_u_v_lon_lat\": [", pos);
        if (start == std::string::npos)
            break;
        const size_t end = s.find("]\n   ]", start);
        std::string body = s.substr(start + 24, end - start - 24);
        for (char& c : body)
            if (c == '[' || c == ']' || c == ',')
                c = ' ';
        std::istringstream nums(body);
        double u, v, lon, lat;
        while (nums >> u >> v >> lon >> lat)
            views[name].push_back({u, v, Direction(lon * EnginePi / 180.0, lat * EnginePi / 180.0)});
        pos = end;
    }
    return views;
}

// The rotation R that best maps a onto b (least squares), by Horn's quaternion method with a
// Jacobi eigen-solver of the 4 x 4 matrix.
Mat BestRotation(const std::vector<Vec>& a, const std::vector<Vec>& b)
{
    double S[3][3] = {};
    for (size_t k = 0; k < a.size(); ++k)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                S[i][j] += a[k][i] * b[k][j];
    double N[4][4] = {
        {S[0][0] + S[1][1] + S[2][2], S[1][2] - S[2][1], S[2][0] - S[0][2], S[0][1] - S[1][0]},
        {S[1][2] - S[2][1], S[0][0] - S[1][1] - S[2][2], S[0][1] + S[1][0], S[2][0] + S[0][2]},
        {S[2][0] - S[0][2], S[0][1] + S[1][0], -S[0][0] + S[1][1] - S[2][2], S[1][2] + S[2][1]},
        {S[0][1] - S[1][0], S[2][0] + S[0][2], S[1][2] + S[2][1], -S[0][0] - S[1][1] + S[2][2]}};
    double V[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (int sweep = 0; sweep < 60; ++sweep) {
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                if (std::fabs(N[p][q]) < 1e-300)
                    continue;
                const double theta = (N[q][q] - N[p][p]) / (2 * N[p][q]);
                const double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 4; ++k) {
                    const double x = N[k][p], y = N[k][q];
                    N[k][p] = c * x - s * y;
                    N[k][q] = s * x + c * y;
                }
                for (int k = 0; k < 4; ++k) {
                    const double x = N[p][k], y = N[q][k];
                    N[p][k] = c * x - s * y;
                    N[q][k] = s * x + c * y;
                }
                for (int k = 0; k < 4; ++k) {
                    const double x = V[k][p], y = V[k][q];
                    V[k][p] = c * x - s * y;
                    V[k][q] = s * x + c * y;
                }
            }
        }
    }
    int best = 0;
    for (int i = 1; i < 4; ++i)
        if (N[i][i] > N[best][best])
            best = i;
    const double w = V[0][best], x = V[1][best], y = V[2][best], z = V[3][best];
    return {{{w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y)},
             {2 * (x * y + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x)},
             {2 * (x * z - w * y), 2 * (y * z + w * x), w * w - x * x - y * y + z * z}}};
}

Vec Apply(const Mat& m, const Vec& v)
{
    return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2], m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
            m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

double AngleOf(const Mat& m)
{
    const double c = std::clamp((m[0][0] + m[1][1] + m[2][2] - 1) / 2, -1.0, 1.0);
    return std::acos(c);
}

double Degrees(double r) { return r * 180.0 / EnginePi; }

std::string BaseName(const std::string& p)
{
    const size_t s = p.find_last_of('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_fit_accuracy PROJECT.fit TRUTH.json\n");
        return 2;
    }
    double trueFocal = 0.0;
    const auto truth = ReadTruth(argv[2], trueFocal);
    CMcHost host;
    ProjectFileResult opened;
    std::unique_ptr<CMcCore> core = OpenProjectFile(argv[1], &host, &opened);
    if (!core) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<Vec> est, tru;
    std::vector<std::pair<CKpic*, const std::vector<Sample>*>> used;
    for (const auto& p : core->m_Pictures) {
        const auto it = truth.find(BaseName(p->m_Path));
        if (it == truth.end() || p->m_Status < 3)
            continue;
        used.emplace_back(p.get(), &it->second);
        for (const Sample& s : it->second) {
            const CDPoint d = p->PixelToSphere(CDPoint(s.u, s.v));
            est.push_back(Direction(d.x, d.y));
            tru.push_back(s.truth);
        }
    }
    if (used.empty()) {
        std::fprintf(stderr, "no fitted picture has truth\n");
        return 1;
    }
    const Mat g = BestRotation(est, tru);
    double worst = 0.0;
    std::printf("%-18s %12s %12s\n", "picture", "camera_deg", "sample_max_deg");
    for (const auto& [pic, samples] : used) {
        std::vector<Vec> a, b;
        double sampleMax = 0.0;
        for (const Sample& s : *samples) {
            const CDPoint d = pic->PixelToSphere(CDPoint(s.u, s.v));
            const Vec v = Apply(g, Direction(d.x, d.y));
            a.push_back(v);
            b.push_back(s.truth);
            const double dot = std::clamp(v[0] * s.truth[0] + v[1] * s.truth[1] + v[2] * s.truth[2], -1.0, 1.0);
            sampleMax = std::max(sampleMax, std::acos(dot));
        }
        const double camera = AngleOf(BestRotation(a, b));
        worst = std::max(worst, camera);
        std::printf("%-18s %12.4f %12.4f\n", BaseName(pic->m_Path).c_str(), Degrees(camera), Degrees(sampleMax));
    }
    std::printf("worst camera %.4f deg; common focal %.3f, truth %.3f, error %+.3f %%\n", Degrees(worst),
                core->GetCommonFocal(), trueFocal, 100.0 * (core->GetCommonFocal() / trueFocal - 1.0));
    // The row-closing pair: the same point seen at both ends of the row, one turn apart.
    CKpic* ends[2] = {nullptr, nullptr};
    int slots[2] = {-1, -1};
    for (const auto& p : core->m_Pictures) {
        const int k = p->FindPointStateM6();
        if (k < 0)
            continue;
        const int which = ends[0] ? 1 : 0;
        if (which == 1 && ends[1])
            continue;
        ends[which] = p.get();
        slots[which] = k;
    }
    if (ends[0] && ends[1]) {
        ends[0]->RefreshControlPoint(slots[0]);
        ends[1]->RefreshControlPoint(slots[1]);
        const CDPoint a = ends[0]->m_Points[size_t(slots[0])].spherePosition;
        const CDPoint b = ends[1]->m_Points[size_t(slots[1])].spherePosition;
        std::printf("ring closure: longitudes differ by %.6f rad (miss of a full turn %+.6f), latitudes by %+.6f\n",
                    std::fabs(a.x - b.x), std::fabs(a.x - b.x) - EngineTwoPi, a.y - b.y);
    }
    return 0;
}

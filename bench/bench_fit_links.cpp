// How far each link of a fitted project is off against camera truth: for every two fitted
// pictures that are neighbours in the layout and overlap in truth, the rotation between them
// compared with the true one, and how far the second picture's pixels land from where they
// belong when the first is taken as right. A plain fit may drift over a whole turn; a single
// link that is off is a misplaced picture. (No timings here: this prints figures for the bench.)
//
//   bench_fit_links PROJECT.fit TRUTH.json
//
// The truth file gives per view its file name and R_world_from_camera (world x east, y down,
// z at longitude 0), the image size and the focal in pixels; a pixel (u, v) sees the direction
// R (u - (w - 1) / 2, v - (h - 1) / 2, f). The engine's latitude grows downward.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/rotation_fit.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"

namespace {

using namespace rotation_fit;

struct TruthView {
    Mat r{};
};

struct Truth {
    double focal = 0.0;
    int width = 0, height = 0;
    std::map<std::string, TruthView> views;
};

std::vector<double> NumbersIn(const std::string& s)
{
    std::string body = s;
    for (char& c : body)
        if (c == '[' || c == ']' || c == ',')
            c = ' ';
    std::istringstream in(body);
    std::vector<double> out;
    double v;
    while (in >> v)
        out.push_back(v);
    return out;
}

bool ReadTruth(const std::string& path, Truth& t)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string s = ss.str();
    const size_t f = s.find("\"focal_px\":");
    const size_t size = s.find("\"image_size\":");
    if (f == std::string::npos || size == std::string::npos)
        return false;
    t.focal = std::stod(s.substr(f + 11));
    const std::vector<double> wh = NumbersIn(s.substr(size + 13, s.find(']', size) - size - 12));
    if (wh.size() < 2)
        return false;
    t.width = static_cast<int>(wh[0]);
    t.height = static_cast<int>(wh[1]);
    size_t pos = 0;
    while ((pos = s.find("\"file\": \"", pos)) != std::string::npos) {
        pos += 9;
        const std::string name = s.substr(pos, s.find('"', pos) - pos);
        const size_t r = s.find("\"R_world_from_camera\":", pos);
        if (r == std::string::npos)
            break;
        const size_t end = s.find("]\n   ]", r);
        const std::vector<double> m = NumbersIn(s.substr(r + 22, end - r - 20));
        if (m.size() < 9)
            return false;
        TruthView v;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                v.r[size_t(i)][size_t(j)] = m[size_t(3 * i + j)];
        t.views[name] = v;
        pos = end;
    }
    return !t.views.empty();
}

std::string BaseName(const std::string& p)
{
    const size_t s = p.find_last_of('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

double Degrees(double r) { return r * 180.0 / EnginePi; }

double Between(const Vec& a, const Vec& b)
{
    return std::acos(std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0));
}

Mat Transposed(const Mat& m)
{
    Mat t{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j)
            t[i][j] = m[j][i];
    return t;
}

Mat Times(const Mat& a, const Mat& b)
{
    Mat c{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j)
            for (size_t k = 0; k < 3; ++k)
                c[i][j] += a[i][k] * b[k][j];
    return c;
}

// A fitted picture: its 9 x 7 grid of pixels, where the fit puts them and where they belong,
// and the rotation that carries the fit's directions onto the true ones.
struct Fitted {
    CKpic* pic;
    std::vector<Vec> est, tru;
    Mat g{};
    Vec axis{};
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_fit_links PROJECT.fit TRUTH.json\n");
        return 2;
    }
    Truth truth;
    if (!ReadTruth(argv[2], truth)) {
        std::fprintf(stderr, "cannot read the truth in %s\n", argv[2]);
        return 1;
    }
    CMcHost host;
    ProjectFileResult opened;
    std::unique_ptr<CMcCore> core = OpenProjectFile(argv[1], &host, &opened);
    if (!core) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<Fitted> fitted;
    int unfitted = 0;
    for (const auto& p : core->m_Pictures) {
        const auto it = truth.views.find(BaseName(p->m_Path));
        if (it == truth.views.end())
            continue;
        if (p->m_Status < 3) {
            ++unfitted;
            continue;
        }
        Fitted f{p.get(), {}, {}, {}, {}};
        const double w = p->Width(), h = p->Height();
        for (int j = 0; j < 7; ++j) {
            for (int i = 0; i < 9; ++i) {
                const double u = 8.0 + (w - 17.0) * i / 8.0, v = 8.0 + (h - 17.0) * j / 6.0;
                const CDPoint d = p->PixelToSphere(CDPoint(u, v));
                f.est.push_back(Direction(d.x, -d.y));
                const double su = u * truth.width / w, sv = v * truth.height / h;
                Vec ray = Apply(it->second.r, Vec{su - (truth.width - 1) / 2.0, sv - (truth.height - 1) / 2.0, truth.focal});
                const double n = std::sqrt(ray[0] * ray[0] + ray[1] * ray[1] + ray[2] * ray[2]);
                f.tru.push_back({ray[0] / n, ray[1] / n, ray[2] / n});
            }
        }
        f.g = BestRotation(f.est, f.tru);
        f.axis = Apply(it->second.r, Vec{0.0, 0.0, 1.0});
        fitted.push_back(std::move(f));
    }
    const double hfov = 2.0 * std::atan(truth.width / 2.0 / truth.focal);
    std::printf("%-16s %-16s %10s %12s\n", "picture", "neighbour", "link_deg", "seam_max_deg");
    double worstLink = 0.0, worstSeam = 0.0;
    int links = 0;
    for (size_t a = 0; a < fitted.size(); ++a) {
        for (size_t b = a + 1; b < fitted.size(); ++b) {
            const CPoint ca = fitted[a].pic->m_LayoutCell, cb = fitted[b].pic->m_LayoutCell;
            if (std::max(std::abs(ca.x - cb.x), std::abs(ca.y - cb.y)) != 1)
                continue;
            if (Between(fitted[a].axis, fitted[b].axis) > 0.9 * hfov)
                continue;
            const double link = AngleOf(Times(Transposed(fitted[a].g), fitted[b].g));
            // The second picture's pixels carried by the first picture's rotation.
            double seam = 0.0;
            for (size_t k = 0; k < fitted[b].est.size(); ++k)
                seam = std::max(seam, Between(Apply(fitted[a].g, fitted[b].est[k]), fitted[b].tru[k]));
            worstLink = std::max(worstLink, link);
            worstSeam = std::max(worstSeam, seam);
            ++links;
            std::printf("%-16s %-16s %10.3f %12.3f\n", BaseName(fitted[a].pic->m_Path).c_str(),
                        BaseName(fitted[b].pic->m_Path).c_str(), Degrees(link), Degrees(seam));
        }
    }
    const double focal = core->GetCommonFocal();
    std::printf("fitted %zu, unfitted %d, links %d, worst link %.3f deg, worst seam %.3f deg, common focal %.2f "
                "(truth %.2f, %+.2f %%)\n",
                fitted.size(), unfitted, links, Degrees(worstLink), Degrees(worstSeam), focal,
                truth.focal, 100.0 * (focal / truth.focal - 1.0));
    return 0;
}

// The camera truth of the synthetic views (truth.json) as the fit benchmarks read it: per view,
// its sample grid (pixel and true direction) and its true centre direction. A view without a
// measured sample grid gets a 9 x 7 grid made from its camera matrix and the pinhole model
// (pixel centres at u + 0.5, the principal point at the image centre).
#pragma once

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/value_types.h"
#include "geometry/rotation_fit.h"
#include "geometry/sphere.h"

namespace truthfile {

struct Sample {
    double u, v;
    rotation_fit::Vec truth;
};

// A 9 x 7 grid of pixels of one view and the directions its camera matrix gives them; the
// view's text runs from `from` to `to` in `s`.
inline bool PinholeSamples(const std::string& s, size_t from, size_t to, double focal, std::vector<Sample>& out)
{
    const size_t sizeAt = s.find("\"image_size\": [");
    const size_t matrixAt = s.find("\"R_world_from_camera\": [", from);
    if (sizeAt == std::string::npos || matrixAt == std::string::npos || matrixAt > to || focal <= 0.0)
        return false;
    auto numbers = [&](size_t at, int count) {
        std::string body = s.substr(at, 400);
        for (char& c : body)
            if (c == '[' || c == ']' || c == ',')
                c = ' ';
        std::istringstream in(body);
        std::vector<double> v(static_cast<size_t>(count));
        for (double& x : v)
            in >> x;
        return v;
    };
    const auto size = numbers(sizeAt + 15, 2);
    const auto r = numbers(matrixAt + 24, 9);
    const double w = size[0], h = size[1];
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 9; ++i) {
            const double u = 8.0 + (w - 17.0) * i / 8.0, v = 8.0 + (h - 17.0) * j / 6.0;
            const double c[3] = {(u + 0.5 - w / 2.0) / focal, (v + 0.5 - h / 2.0) / focal, 1.0};
            rotation_fit::Vec d;
            double n = 0.0;
            for (int k = 0; k < 3; ++k) {
                d[k] = r[3 * k] * c[0] + r[3 * k + 1] * c[1] + r[3 * k + 2] * c[2];
                n += d[k] * d[k];
            }
            for (int k = 0; k < 3; ++k)
                d[k] /= std::sqrt(n);
            out.push_back({u, v, d});
        }
    return true;
}

// Reads the views' sample grids out of the truth file (a small, fixed layout) and its focal;
// with `centres`, also each view's true centre direction in radians (latitude up).
inline std::map<std::string, std::vector<Sample>> ReadTruth(const std::string& path, double& focal,
                                                            std::map<std::string, CDPoint>* centres = nullptr)
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
        const size_t next = s.find("\"file\": \"", pos);
        size_t start = s.find("\"samples_u_v_lon_lat\": [", pos);
        const size_t lonAt = s.find("\"centre_lon_deg\":", pos), latAt = s.find("\"centre_lat_deg\":", pos);
        if (start == std::string::npos || start > next) {
            if (!PinholeSamples(s, pos, next, focal, views[name]))
                break;
            if (centres && lonAt < next && latAt < next)
                (*centres)[name] = CDPoint(std::stod(s.substr(lonAt + 17)) * EnginePi / 180.0,
                                           std::stod(s.substr(latAt + 17)) * EnginePi / 180.0);
            continue;
        }
        if (centres && lonAt < start && latAt < start)
            (*centres)[name] = CDPoint(std::stod(s.substr(lonAt + 17)) * EnginePi / 180.0,
                                       std::stod(s.substr(latAt + 17)) * EnginePi / 180.0);
        const size_t end = s.find("]\n   ]", start);
        std::string body = s.substr(start + 24, end - start - 24);
        for (char& c : body)
            if (c == '[' || c == ']' || c == ',')
                c = ' ';
        std::istringstream nums(body);
        double u, v, lon, lat;
        while (nums >> u >> v >> lon >> lat)
            views[name].push_back({u, v, rotation_fit::Direction(lon * EnginePi / 180.0, lat * EnginePi / 180.0)});
        pos = end;
    }
    return views;
}

inline double Degrees(double r) { return r * 180.0 / EnginePi; }

inline std::string BaseName(const std::string& p)
{
    const size_t s = p.find_last_of('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

} // namespace truthfile

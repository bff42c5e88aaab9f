// The camera truth of the synthetic views (truth.json) as the fit benchmarks read it: per view,
// its sample grid (pixel and true direction) and its true centre direction.
#pragma once

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
        const size_t start = s.find("\"samples_u_v_lon_lat\": [", pos);
        if (start == std::string::npos)
            break;
        const size_t lonAt = s.find("\"centre_lon_deg\":", pos), latAt = s.find("\"centre_lat_deg\":", pos);
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

// The rotation that best maps one set of directions onto another (least squares), for
// measuring fitted orientations against camera truth after one rotation of the whole set
// (tests and benchmarks).
// Directions are unit vectors; a truth direction of (lon, lat) with latitude upward is
// (cos lat sin lon, -sin lat, cos lat cos lon).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace rotation_fit {

using Vec = std::array<double, 3>;
using Mat = std::array<std::array<double, 3>, 3>;

inline Vec Direction(double lon, double lat)
{
    return {std::cos(lat) * std::sin(lon), -std::sin(lat), std::cos(lat) * std::cos(lon)};
}

// The rotation R that best maps a onto b (least squares), by Horn's quaternion method with a
// Jacobi eigen-solver of the 4 x 4 matrix.
inline Mat BestRotation(const std::vector<Vec>& a, const std::vector<Vec>& b)
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

inline Vec Apply(const Mat& m, const Vec& v)
{
    return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2], m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
            m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

inline double AngleOf(const Mat& m)
{
    const double c = std::clamp((m[0][0] + m[1][1] + m[2][2] - 1) / 2, -1.0, 1.0);
    return std::acos(c);
}

} // namespace rotation_fit

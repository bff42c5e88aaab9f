// A picture's 32 x 32 grid of feature cells: the step-wise preparation that measures how
// corner-like and textured the picture is around each cell centre, the weights that keep the
// fit's new points away from the picture edges and from existing control points, and the
// searches for the best, nearest and flattest cells. Strengths are measured on the full-size
// pixels only; a picture without them has no ready features.
//
// Coordinates: picture pixels (x to the right, y down); cell [column][row] has its centre at
// (column * size + size / 2, row * size + size / 2), size = FeatureCellSize.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "common/value_types.h"
#include "picset/kpic.h"

namespace {

constexpr int kGridCells = 32;
constexpr int kPatch = 24;       // side of the measured patch, centred on the point
constexpr int kBlock = 8;        // the patch is 3 x 3 blocks of this side
constexpr int kValidMargin = 20; // cell centres closer to the picture edge are not measured
constexpr int kStepWork = 100;   // measured cells after which a preparation step ends

// Offsets at which the centre of the patch is compared with itself.
constexpr std::array<std::array<int, 2>, 20> kSelfOffsets = {{
    {-2, -4}, {2, -4}, {-4, -2}, {-1, -3}, {3, -3}, {-3, -1}, {-1, -1}, {0, -1}, {4, -1}, {-4, 0},
    {1, 0},   {-3, 1}, {-1, 1},  {4, 1},   {-4, 2}, {-1, 3},  {3, 3},   {-2, 4}, {0, 4},  {1, 4},
}};

bool HasFullPixels(const CKpic& k) { return k.Pixels.GetSize() == int64_t(k.Width()) * k.Height(); }

int L1(const int* a, const int* b) { return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]); }

// Squared distance from a point to a cell centre, in pixels.
double SquaredDistance(double x, double y, CPoint c)
{
    const double dx = x - c.x, dy = y - c.y;
    return dx * dx + dy * dy;
}

// The cells that the weights cover (nx columns, ny rows, cells of `size` pixels), and the
// squared eighth of the picture height that sets how far a control point's damping reaches.
struct WeightedCells {
    int size, nx, ny;
    double d8;
    explicit WeightedCells(const CKpic& k)
        : size(k.FeatureCellSize), nx(Clamp(k.Width() / size, 1, kGridCells)), ny(Clamp(k.Height() / size, 1, kGridCells)),
          d8(double(k.Height() / 8) * double(k.Height() / 8))
    {
    }
};

} // namespace

int CKpic::MeasureFeatureStrength(int x, int y, COLORREF& centreColour, COLORREF& patchColour)
{
    const int w = Width(), h = Height();
    CRect inner = m_PictureRect;
    inner.DeflateRect(14, 14);
    if (!inner.PtInRect(CPoint(x, y)) || !HasFullPixels(*this))
        return 0;

    // The patch, [column][row][channel]; pixels outside the picture count as white.
    int patch[kPatch][kPatch][3];
    int maxC[3] = {0, 0, 0}, minC[3] = {255, 255, 255};
    const COLORREF* px = Pixels.GetData();
    for (int u = 0; u < kPatch; ++u) {
        const int sx = x - 12 + u;
        for (int v = 0; v < kPatch; ++v) {
            const int sy = y - 12 + v;
            const COLORREF c = (sx >= 0 && sx < w && sy >= 0 && sy < h) ? px[int64_t(sy) * w + sx] : RGB(255, 255, 255);
            int* p = patch[u][v];
            p[0] = GetRValue(c);
            p[1] = GetGValue(c);
            p[2] = GetBValue(c);
            for (int ch = 0; ch < 3; ++ch) {
                maxC[ch] = std::max(maxC[ch], p[ch]);
                minC[ch] = std::min(minC[ch], p[ch]);
            }
        }
    }
    int range = 0;
    for (int ch = 0; ch < 3; ++ch)
        range += (maxC[ch] - minC[ch]) * (maxC[ch] - minC[ch]);
    if (range < 1000)
        return -3;

    // Means of the 3 x 3 blocks, [column][row].
    int block[3][3][3];
    CRgbSum all;
    for (int bu = 0; bu < 3; ++bu) {
        for (int bv = 0; bv < 3; ++bv) {
            CRgbSum s;
            for (int u = 0; u < kBlock; ++u)
                for (int v = 0; v < kBlock; ++v) {
                    const int* p = patch[bu * kBlock + u][bv * kBlock + v];
                    s.AddWeighted(p[0], p[1], p[2], 1, 1);
                }
            s.Average();
            block[bu][bv][0] = s.r;
            block[bu][bv][1] = s.g;
            block[bu][bv][2] = s.b;
            all.AddWeighted(s.r, s.g, s.b, 1, 1);
        }
    }
    const int* centre = block[1][1];
    centreColour = RGB(centre[0], centre[1], centre[2]);
    patchColour = all.ToColour();

    // Contrast of the centre block along the four lines through it; the weakest line counts.
    const int lines[4][4] = {{0, 1, 2, 1}, {1, 0, 1, 2}, {0, 0, 2, 2}, {2, 0, 0, 2}};
    int contrast[4];
    for (int l = 0; l < 4; ++l)
        contrast[l] = std::max(ChannelAbsDistance(block[lines[l][0]][lines[l][1]], centre[0], centre[1], centre[2]),
                               ChannelAbsDistance(block[lines[l][2]][lines[l][3]], centre[0], centre[1], centre[2]));
    const int c = MinNonZero(contrast, 4);
    if (c < 10)
        return -1;

    // Texture inside the centre block.
    int texture = 0;
    for (int u = kBlock; u < 2 * kBlock; ++u)
        for (int v = kBlock; v < 2 * kBlock; ++v) {
            const int* p = patch[u][v];
            for (int ch = 0; ch < 3; ++ch)
                texture += (p[ch] - centre[ch]) * (p[ch] - centre[ch]);
        }
    if (texture < 30000)
        return -2;

    // Self-similarity of the central 10 x 10 pixels under small shifts: a corner differs from
    // itself in every direction, an edge or a repeating texture does not.
    int sums[kSelfOffsets.size()] = {};
    for (size_t o = 0; o < kSelfOffsets.size(); ++o) {
        const int dx = kSelfOffsets[o][0], dy = kSelfOffsets[o][1];
        int s = 0;
        for (int u = 7; u <= 16; ++u)
            for (int v = 7; v <= 16; ++v)
                s += L1(patch[u][v], patch[u + dx][v + dy]);
        sums[o] = s;
    }
    const int m = MinNonZero(sums, static_cast<int>(kSelfOffsets.size()));
    return static_cast<int>(int64_t(m / 100) * c / 100);
}

void CKpic::PrepareStep()
{
    if (FeaturesReady == 1)
        return;
    const int w = Width(), h = Height();
    // Strengths come from the full-size pixels: without them nothing is measured and the
    // features stay not ready.
    if (w <= 0 || h <= 0 || !HasFullPixels(*this))
        return;
    const int longest = std::max(w, h);
    int size = (longest - 1) / kGridCells + 1;
    ClampInPlace(&size, kValidMargin, longest);
    FeatureCellSize = size;
    const int half = size / 2;
    CRect valid = m_PictureRect;
    valid.DeflateRect(kValidMargin, kValidMargin);

    int work = 0;
    for (int j = 0; j < kGridCells && int64_t(j) * size < w; ++j) {
        for (int k = 0; k < kGridCells && int64_t(k) * size < h; ++k) {
            SamplePoint& cell = FeatureCells[j][k];
            if (cell.Strength != 0)
                continue;
            cell.centre = CPoint(j * size + half, k * size + half);
            if (!valid.PtInRect(cell.centre))
                continue;
            cell.Strength = MeasureFeatureStrength(cell.centre.x, cell.centre.y, cell.CentreColour, cell.PatchColour);
            if (cell.Strength != 0)
                ++work;
        }
        if (work > kStepWork) {
            FeaturesReady = 0;
            return;
        }
    }
    FeaturesReady = 1;
}

void CKpic::EnsureReady()
{
    // Every step that does not finish has measured more than a hundred new cells, so this ends;
    // without full-size pixels a step does nothing and the features stay not ready.
    while (FeaturesReady != 1 && HasFullPixels(*this) && Width() > 0 && Height() > 0)
        PrepareStep();
}

void CKpic::BuildFeatureGrid()
{
    if (FeaturesReady == 0)
        EnsureReady();
    if (FeaturesReady != 1 || FeatureCellSize <= 0)
        return;
    const int w = Width(), h = Height();
    const WeightedCells g(*this);
    for (int j = 0; j < g.nx; ++j) {
        for (int k = 0; k < g.ny; ++k) {
            SamplePoint& cell = FeatureCells[j][k];
            if (cell.Strength <= 0) {
                cell.Weight = 0;
                continue;
            }
            const int x = cell.centre.x, y = cell.centre.y;
            const int d = std::min({x, w - x, y, h - y});
            cell.Weight = d <= 19 ? 0 : (d > h / 4 ? 110 : 128);
        }
    }
    for (const ControlPoint& p : m_Points) {
        if (p.kind == 0)
            continue;
        for (int j = 0; j < g.nx; ++j) {
            for (int k = 0; k < g.ny; ++k) {
                SamplePoint& cell = FeatureCells[j][k];
                if (cell.Weight == 0)
                    continue;
                const double dd = SquaredDistance(p.position.x, p.position.y, cell.centre);
                if (dd < 2 * g.d8) {
                    cell.Weight /= 2;
                    if (dd < g.d8) {
                        cell.Weight /= 10;
                        if (dd < double(g.size) * g.size)
                            cell.Weight = 0;
                    }
                }
            }
        }
    }
}

void CKpic::DampFeaturesNear(int x, int y)
{
    if (FeaturesReady == 0 || FeatureCellSize <= 0)
        return;
    const WeightedCells g(*this);
    for (int j = 0; j < g.nx; ++j) {
        for (int k = 0; k < g.ny; ++k) {
            SamplePoint& cell = FeatureCells[j][k];
            if (cell.Weight == 0)
                continue;
            const double dd = SquaredDistance(x, y, cell.centre);
            if (dd < 2 * g.d8) {
                cell.Weight /= 2;
                if (dd < g.d8)
                    cell.Weight /= 5;
            }
            if (dd <= double(g.size) * g.size)
                cell.Weight = 0;
        }
    }
}

CPoint CKpic::FindBestFeatureCell()
{
    if (FeaturesReady == 0 || FeatureCellSize <= 0)
        return CPoint(0, 0);
    const int w = Width(), h = Height();
    const int size = FeatureCellSize, half = size / 2;
    CPoint best(0, 0);
    int64_t bestValue = -1;
    for (int j = 0; j < kGridCells && int64_t(j) * size + half < w; ++j) {
        for (int k = 0; k < kGridCells && int64_t(k) * size + half < h; ++k) {
            const SamplePoint& cell = FeatureCells[j][k];
            if (cell.Strength <= 2)
                continue;
            const int64_t value = int64_t(cell.Strength) * cell.Weight;
            if (value > bestValue) {
                bestValue = value;
                best = CPoint(j, k);
            }
        }
    }
    return best;
}

int CKpic::MeanFeatureStrength()
{
    EnsureReady();
    const int w = Width(), h = Height();
    const int size = FeatureCellSize;
    if (size <= 0)
        return 0;
    int64_t sum = 0;
    int64_t count = 0;
    for (int j = 0; j < kGridCells && int64_t(j) * size < w; ++j)
        for (int k = 0; k < kGridCells && int64_t(k) * size < h; ++k)
            if (FeatureCells[j][k].Strength > 9) {
                sum += FeatureCells[j][k].Strength;
                ++count;
            }
    return count == 0 ? 0 : static_cast<int>(sum / (2 * count));
}

CPoint CKpic::FindNearestFeature(int x, int y, int minStrength)
{
    EnsureReady();
    const int threshold = MeanFeatureStrength();
    const int w = Width(), h = Height();
    const int size = FeatureCellSize;
    if (size <= 0)
        return CPoint(0, 0);
    CPoint best(0, 0);
    int64_t bestDistance = 999999;
    for (int j = 0; j < kGridCells && int64_t(j) * size < w; ++j) {
        for (int k = 0; k < kGridCells && int64_t(k) * size < h; ++k) {
            const SamplePoint& cell = FeatureCells[j][k];
            if (cell.Weight <= 0 || cell.Strength < threshold || cell.Strength <= minStrength)
                continue;
            const int64_t d = std::llabs(int64_t(x) - cell.centre.x) + std::llabs(int64_t(y) - cell.centre.y);
            if (d <= bestDistance) {
                bestDistance = d;
                best = cell.centre;
            }
        }
    }
    return best;
}

CPoint CKpic::FindStrongestFeature(const CRect& rect)
{
    EnsureReady();
    CPoint best(0, 0);
    int bestStrength = 1;
    for (int j = 0; j < kGridCells; ++j) {
        for (int k = 0; k < kGridCells; ++k) {
            const SamplePoint& cell = FeatureCells[j][k];
            if (!rect.PtInRect(cell.centre) || cell.Strength > 0)
                continue;
            if (cell.Strength <= bestStrength) {
                bestStrength = cell.Strength;
                best = cell.centre;
            }
        }
    }
    if (best == CPoint(0, 0))
        return rect.CenterPoint();
    return best;
}

// A picture's reduced contrast levels (one quarter and one sixteenth of its size), which the
// coarse offset scans compare, and its brightness table and brightness steps. Levels are made
// from the full-size pixels only; the thumbnail and the feature grid are in their own files.
//
// Coordinates: picture pixels (x to the right, y down, top row first in Pixels); a quarter
// cell (i, j) covers pixels 4i..4i+3, 4j..4j+3, a sixteenth cell covers 4 x 4 quarter cells.
#include <algorithm>
#include <cstdint>
#include <new>
#include <thread>
#include <vector>

#include "common/value_types.h"
#include "picset/kpic.h"

namespace {

// Below this many quarter cells the block means are summed on the calling thread alone.
constexpr int64_t kParallelCells = 200000;
constexpr unsigned kMaxLevelThreads = 4;

// Runs body(first, last) over rows 0..rows-1, split into bands for the spare cores. Each row's
// results depend on nothing but its own inputs, so the output is the same for any split.
template <typename Body>
void ForRowBands(int rows, int64_t cells, const Body& body)
{
    unsigned threads = 1;
    if (cells >= kParallelCells)
        threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxLevelThreads);
    threads = std::min<unsigned>(threads, static_cast<unsigned>(std::max(rows, 1)));
    if (threads <= 1) {
        body(0, rows);
        return;
    }
    std::vector<std::thread> pool;
    int next = 0;
    try {
        for (unsigned t = 0; t + 1 < threads; ++t) {
            const int first = static_cast<int>(int64_t(rows) * t / threads);
            const int last = static_cast<int>(int64_t(rows) * (t + 1) / threads);
            pool.emplace_back([&body, first, last] { body(first, last); });
            next = last;
        }
    } catch (const std::system_error&) {
        // No thread to spare: the calling thread does what is left.
    }
    body(next, rows);
    for (std::thread& t : pool)
        t.join();
}

// Mean of the 3 x 3 neighbourhood of every cell of a w x h array of averaged colours (edges use
// the neighbours that exist).
void SmoothNeighbourhood(const std::vector<CRgbSum>& in, int w, int h, std::vector<CRgbSum>& out)
{
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            CRgbSum s;
            for (int dj = -1; dj <= 1; ++dj) {
                for (int di = -1; di <= 1; ++di) {
                    const int u = i + di, v = j + dj;
                    if (u < 0 || u >= w || v < 0 || v >= h)
                        continue;
                    const CRgbSum& m = in[static_cast<size_t>(v) * w + u];
                    s.AddWeighted(m.r, m.g, m.b, 1, 1);
                }
            }
            s.Average();
            out[static_cast<size_t>(j) * w + i] = s;
        }
    }
}

// The contrast image of a w x h array of averaged colours: each cell's mean channel-wise
// absolute difference to its existing neighbours, tripled.
void ContrastOf(const std::vector<CRgbSum>& in, int w, int h, CPixelArray& out)
{
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const CRgbSum& c = in[static_cast<size_t>(j) * w + i];
            CRgbSum sum;
            for (int dj = -1; dj <= 1; ++dj) {
                for (int di = -1; di <= 1; ++di) {
                    const int u = i + di, v = j + dj;
                    if ((di == 0 && dj == 0) || u < 0 || u >= w || v < 0 || v >= h)
                        continue;
                    const CRgbSum& n = in[static_cast<size_t>(v) * w + u];
                    const CRgbSum d = c.AbsDifference(n.r, n.g, n.b);
                    sum.AddWeighted(d.r, d.g, d.b, 1, 1);
                }
            }
            sum.MultiplyAll(3);
            out[static_cast<std::ptrdiff_t>(j) * w + i] = sum.ToColour();
        }
    }
}

} // namespace

int CKpic::BuildColourLevels()
{
    const int w = Width(), h = Height();
    if (w <= 0 || h <= 0)
        return 0;
    const int qw = w / 4, qh = h / 4;
    const int64_t qn = int64_t(qw) * qh;
    const int sw = qw / 4, sh = qh / 4;
    const int64_t sn = int64_t(sw) * sh;
    if (QuarterContrast.GetSize() == qn)
        return 1;
    // The levels describe the picture at full size: a reduced image or none gives no levels.
    if (Pixels.GetSize() != int64_t(w) * h)
        return 0;

    try {
        std::vector<CRgbSum> means(static_cast<size_t>(qn));
        std::vector<CRgbSum> smooth(static_cast<size_t>(qn));
        std::vector<CRgbSum> sixteenth(static_cast<size_t>(sn));
        QuarterContrast.SetSize(qn);
        SixteenthContrast.SetSize(sn);

        // Block means of 4 x 4 pixels (every block lies inside the picture).
        const COLORREF* px = Pixels.GetData();
        ForRowBands(qh, qn, [&](int first, int last) {
            std::vector<int32_t> acc(static_cast<size_t>(qw) * 3);
            for (int j = first; j < last; ++j) {
                std::fill(acc.begin(), acc.end(), 0);
                for (int l = 0; l < 4; ++l) {
                    const COLORREF* row = px + static_cast<std::ptrdiff_t>(4 * j + l) * w;
                    for (int i = 0; i < qw; ++i) {
                        int32_t r = 0, g = 0, b = 0;
                        for (int k = 0; k < 4; ++k) {
                            const COLORREF c = row[4 * i + k];
                            r += GetRValue(c);
                            g += GetGValue(c);
                            b += GetBValue(c);
                        }
                        acc[3 * size_t(i)] += r;
                        acc[3 * size_t(i) + 1] += g;
                        acc[3 * size_t(i) + 2] += b;
                    }
                }
                for (int i = 0; i < qw; ++i) {
                    CRgbSum& m = means[static_cast<size_t>(j) * qw + i];
                    m.r = acc[3 * size_t(i)];
                    m.g = acc[3 * size_t(i) + 1];
                    m.b = acc[3 * size_t(i) + 2];
                    m.count = 16;
                    m.Average();
                }
            }
        });

        SmoothNeighbourhood(means, qw, qh, smooth);

        // Sixteenth means of 4 x 4 smoothed quarter cells.
        for (int j = 0; j < sh; ++j) {
            for (int i = 0; i < sw; ++i) {
                CRgbSum t;
                for (int l = 0; l < 4; ++l)
                    for (int k = 0; k < 4; ++k) {
                        const int u = 4 * i + k, v = 4 * j + l;
                        if (u < qw && v < qh) {
                            const CRgbSum& s = smooth[static_cast<size_t>(v) * qw + u];
                            t.AddWeighted(s.r, s.g, s.b, 1, 1);
                        }
                    }
                t.Average();
                sixteenth[static_cast<size_t>(j) * sw + i] = t;
            }
        }

        ContrastOf(smooth, qw, qh, QuarterContrast);
        ContrastOf(sixteenth, sw, sh, SixteenthContrast);
    } catch (const std::bad_alloc&) {
        QuarterContrast.RemoveAll();
        SixteenthContrast.RemoveAll();
        return 0;
    } catch (const std::length_error&) {
        QuarterContrast.RemoveAll();
        SixteenthContrast.RemoveAll();
        return 0;
    }
    return QuarterContrast.GetSize() == qn ? 1 : 0;
}

void CKpic::BuildColourTable(int step)
{
    if (step == 0) {
        for (int i = 0; i < 256; ++i)
            ColourTable[i] = i;
        return;
    }
    // The knee stays off both ends so that neither half of the curve divides by zero, whatever
    // step a project file brings.
    int knee = 128 - 8 * step;
    ClampInPlace(&knee, 1, 254);
    for (int i = 0; i <= knee; ++i)
        ColourTable[i] = i * 128 / knee;
    for (int i = knee; i < 256; ++i)
        ColourTable[i] = 255 - (255 - i) * 127 / (255 - knee);
}

int CKpic::CommitBrightness()
{
    if (PendingBrightness == 0)
        return 0;
    if (Pixels.IsEmpty())
        return -1;
    if (Brightness != 0) {
        // The pixels already carry a step: they are reloaded with the whole new step.
        Brightness += PendingBrightness;
        PendingBrightness = 0;
        Pixels.RemoveAll();
        return -2;
    }
    Brightness += PendingBrightness;
    PendingBrightness = 0;
    ApplyBrightnessToPixels();
    return 1;
}

void CKpic::ApplyBrightnessToPixels()
{
    if (Brightness == 0)
        return;
    BuildColourTable(Brightness);
    COLORREF* px = Pixels.GetData();
    const std::ptrdiff_t n = Pixels.GetSize();
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const COLORREF c = px[i];
        px[i] = RGB(Clamp(ColourTable[GetRValue(c)], 0, 255), Clamp(ColourTable[GetGValue(c)], 0, 255),
                    Clamp(ColourTable[GetBValue(c)], 0, 255));
    }
    BuildColourTable(PendingBrightness);
}

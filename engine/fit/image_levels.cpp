// A picture's reduced contrast levels (one quarter and one sixteenth of its size), which the
// coarse offset scans compare, and its brightness table and brightness steps. Levels are made
// from the full-size pixels only; the thumbnail and the feature grid are in their own files.
//
// Coordinates: picture pixels (x to the right, y down, top row first in Pixels); a quarter
// cell (i, j) covers pixels 4i..4i+3, 4j..4j+3, a sixteenth cell covers 4 x 4 quarter cells.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "common/status_codes.h"
#include "common/value_types.h"
#include "engine/fit/row_bands.h"
#include "picset/kpic.h"

namespace {

// Averaged colours are kept as COLORREF (each channel is a mean of 0..255 values).
int R(COLORREF c) { return GetRValue(c); }
int G(COLORREF c) { return GetGValue(c); }
int B(COLORREF c) { return GetBValue(c); }

// Mean of the 3 x 3 neighbourhood of every cell in rows first..last-1 of a w x h array of
// averaged colours (edges use the neighbours that exist), truncated as CRgbSum::Average does.
void SmoothRows(const COLORREF* in, int w, int h, COLORREF* out, int first, int last)
{
    for (int j = first; j < last; ++j) {
        const int v0 = std::max(j - 1, 0), v1 = std::min(j + 1, h - 1);
        for (int i = 0; i < w; ++i) {
            const int u0 = std::max(i - 1, 0), u1 = std::min(i + 1, w - 1);
            int r = 0, g = 0, b = 0;
            for (int v = v0; v <= v1; ++v)
                for (int u = u0; u <= u1; ++u) {
                    const COLORREF c = in[static_cast<std::ptrdiff_t>(v) * w + u];
                    r += R(c);
                    g += G(c);
                    b += B(c);
                }
            const int n = (v1 - v0 + 1) * (u1 - u0 + 1);
            out[static_cast<std::ptrdiff_t>(j) * w + i] = RGB(r / n, g / n, b / n);
        }
    }
}

// The contrast image of rows first..last-1 of a w x h array of averaged colours: each cell's
// channel-wise absolute difference to its existing neighbours, tripled, divided by their number
// and clamped to 0..255 (CRgbSum::ToColour).
void ContrastRows(const COLORREF* in, int w, int h, COLORREF* out, int first, int last)
{
    for (int j = first; j < last; ++j) {
        const int v0 = std::max(j - 1, 0), v1 = std::min(j + 1, h - 1);
        for (int i = 0; i < w; ++i) {
            const int u0 = std::max(i - 1, 0), u1 = std::min(i + 1, w - 1);
            const COLORREF c = in[static_cast<std::ptrdiff_t>(j) * w + i];
            const int cr = R(c), cg = G(c), cb = B(c);
            int r = 0, g = 0, b = 0;
            for (int v = v0; v <= v1; ++v)
                for (int u = u0; u <= u1; ++u) {
                    const COLORREF n = in[static_cast<std::ptrdiff_t>(v) * w + u];
                    r += std::abs(cr - R(n));
                    g += std::abs(cg - G(n));
                    b += std::abs(cb - B(n));
                }
            const int n = (v1 - v0 + 1) * (u1 - u0 + 1) - 1;
            CRgbSum sum;
            sum.AddWeighted(r, g, b, n, 1);
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
        // Scratch without initial values: every cell is written before it is read. The block
        // means live in the quarter level's cells until its contrast replaces them.
        auto smooth = std::make_unique_for_overwrite<COLORREF[]>(static_cast<size_t>(qn));
        auto sixteenth = std::make_unique_for_overwrite<COLORREF[]>(static_cast<size_t>(sn));
        QuarterContrast.SetSize(qn);
        SixteenthContrast.SetSize(sn);

        // Block means of 4 x 4 pixels (every block lies inside the picture).
        const COLORREF* px = Pixels.GetData();
        COLORREF* means = QuarterContrast.GetData();
        ForRowBands(qh, qn, [&](int first, int last) {
            std::vector<int32_t> acc(static_cast<size_t>(qw) * 3);
            for (int j = first; j < last; ++j) {
                std::fill(acc.begin(), acc.end(), 0);
                for (int l = 0; l < 4; ++l) {
                    const COLORREF* row = px + static_cast<std::ptrdiff_t>(4 * j + l) * w;
                    int32_t* a = acc.data();
                    for (int i = 0; i < qw; ++i, a += 3, row += 4) {
                        a[0] += R(row[0]) + R(row[1]) + R(row[2]) + R(row[3]);
                        a[1] += G(row[0]) + G(row[1]) + G(row[2]) + G(row[3]);
                        a[2] += B(row[0]) + B(row[1]) + B(row[2]) + B(row[3]);
                    }
                }
                COLORREF* m = means + static_cast<std::ptrdiff_t>(j) * qw;
                for (int i = 0; i < qw; ++i)
                    m[i] = RGB(acc[3 * size_t(i)] / 16, acc[3 * size_t(i) + 1] / 16, acc[3 * size_t(i) + 2] / 16);
            }
        });

        ForRowBands(qh, qn, [&](int first, int last) { SmoothRows(means, qw, qh, smooth.get(), first, last); });

        // Sixteenth means of 4 x 4 smoothed quarter cells.
        for (int j = 0; j < sh; ++j) {
            for (int i = 0; i < sw; ++i) {
                int r = 0, g = 0, b = 0, n = 0;
                for (int l = 0; l < 4; ++l)
                    for (int k = 0; k < 4; ++k) {
                        const int u = 4 * i + k, v = 4 * j + l;
                        if (u < qw && v < qh) {
                            const COLORREF c = smooth[static_cast<size_t>(v) * qw + u];
                            r += R(c);
                            g += G(c);
                            b += B(c);
                            ++n;
                        }
                    }
                sixteenth[static_cast<size_t>(j) * sw + i] = RGB(r / n, g / n, b / n);
            }
        }

        ForRowBands(qh, qn, [&](int first, int last) { ContrastRows(smooth.get(), qw, qh, means, first, last); });
        ContrastRows(sixteenth.get(), sw, sh, SixteenthContrast.GetData(), 0, sh);
    } catch (const std::bad_alloc&) {
        QuarterContrast.RemoveAll();
        SixteenthContrast.RemoveAll();
        return kResultOutOfMemory;
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

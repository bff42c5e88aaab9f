// The colour fit manager's arithmetic; see color_fit_model.h.
#include "shell/color_fit_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/helpers.h"

namespace {

int ClampI(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }

// trunc(v) held to lo..hi; values no slider can show (NaN, huge) end at a bound.
int TruncClamp(double v, int lo, int hi)
{
    if (std::isnan(v))
        return 0;
    if (v <= lo)
        return lo;
    if (v >= hi)
        return hi;
    return static_cast<int>(v);
}

} // namespace

// ---- Zoom -----------------------------------------------------------------------------------

void ColorFitZoomIn(int& reduce, int& magnify)
{
    if (magnify >= 2) {
        magnify = ClampI(2 * magnify, 1, 8);
        reduce = 1;
    } else if (reduce < 2) {
        magnify = 2;
        reduce = 1;
    } else {
        magnify = 1;
        reduce = ClampI(reduce / 2, 1, 128);
    }
}

void ColorFitZoomOut(int& reduce, int& magnify)
{
    if (magnify >= 2) {
        magnify = ClampI(magnify / 2, 1, 8);
        reduce = 1;
    } else if (reduce < 2) {
        magnify = 1;
        reduce = 2;
    } else {
        magnify = 1;
        reduce = ClampI(2 * reduce, 1, 128);
    }
}

int ColorFitFitReduce(int pictureWidth, int areaWidth)
{
    if (areaWidth <= 0)
        return 1;
    return ClampI(pictureWidth / areaWidth, 1, 128);
}

CPoint ColorFitMarkerToPicture(CPoint marker, CPoint areaCentre, int reduce, int magnify, CPoint centre)
{
    const int m = std::max(magnify, 1);
    return {(marker.x - areaCentre.x) * reduce / m + centre.x, (marker.y - areaCentre.y) * reduce / m + centre.y};
}

CPoint ColorFitPanCentre(CPoint centre, CPoint start, CPoint point, int reduce, int magnify, CSize picture)
{
    const int m = std::max(magnify, 1);
    CPoint c(centre.x + (start.x - point.x) * reduce / m, centre.y + (start.y - point.y) * reduce / m);
    c.x = ClampI(c.x, 0, std::max(picture.cx - 1, 0));
    c.y = ClampI(c.y, 0, std::max(picture.cy - 1, 0));
    return c;
}

// ---- Chart --------------------------------------------------------------------------------

int ColorFitFewerCells(int n) { return n - 2 < 3 ? 7 : n - 2; }
int ColorFitMoreCells(int n) { return n + 2 > 7 ? 3 : n + 2; }

int ColorFitChartReduce(int n) { return n <= 3 ? 1 : (n <= 5 ? 2 : 4); }

int ColorFitChartStep(int n, int index)
{
    static const int kSteps3[] = {-14, 0, 14};
    static const int kSteps5[] = {-14, -6, 0, 6, 14};
    static const int kSteps7[] = {-14, -6, -2, 0, 2, 6, 14};
    const int half = n / 2;
    if (index < -half || index > half)
        return 0;
    const int* steps = n <= 3 ? kSteps3 : (n <= 5 ? kSteps5 : kSteps7);
    return steps[index + half];
}

int CChartLayout::CellAt(CPoint p) const
{
    if (!rowBox.PtInRect(p) && !gridBox.PtInRect(p))
        return -2;
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i].rect.PtInRect(p))
            return static_cast<int>(i);
    return -2;
}

CChartLayout LayoutColorFitChart(int n, const CRect& exposureGroup, const CRect& balanceGroup, int labelHeight,
                                 const CRect& sliderB, const CRect& sliderC, const CRect& sliderM,
                                 CSize chartPicture)
{
    CChartLayout out;
    n = n <= 3 ? 3 : (n <= 5 ? 5 : 7);
    const int half = n / 2;
    const int chartW = std::max(chartPicture.cx, 1), chartH = std::max(chartPicture.cy, 1);

    // The exposure row.
    CRect row = exposureGroup;
    row.top += labelHeight;
    row.bottom = sliderB.top;
    {
        const int w = row.Width(), h = row.Height();
        const int gapX = w / 50, gapY = h / 10;
        const int cellW = ClampI((w - (n + 1) * gapX) / n, 1, chartW);
        const int cellH = ClampI(h - 2 * gapY, 1, chartH);
        const int spaceX = (w - n * cellW) / (n + 1);
        const CPoint c = row.CenterPoint();
        const CRect middle(c.x - cellW / 2, c.y - cellH / 2, c.x - cellW / 2 + cellW, c.y - cellH / 2 + cellH);
        for (int i = -half; i <= half; ++i) {
            CChartCell cell;
            cell.rect = middle;
            cell.rect.OffsetRect(i * (cellW + spaceX), 0);
            cell.dY = 2 * ColorFitChartStep(n, i);
            out.rowBox = out.rowBox | cell.rect;
            out.cells.push_back(cell);
        }
    }

    // The balance grid: columns move along M (dCr), rows along C (dCb, positive at the top).
    CRect grid = balanceGroup;
    grid.top += labelHeight;
    grid.right = sliderC.left;
    grid.bottom = sliderM.top;
    {
        const int w = grid.Width(), h = grid.Height();
        const int gapX = w / 50, gapY = h / 50;
        const int cellW = ClampI((w - (n + 1) * gapX) / n, 1, chartW);
        const int cellH = ClampI((h - (n + 1) * gapY) / n, 1, chartH);
        const int spaceX = (w - n * cellW) / (n + 1);
        const int spaceY = (h - n * cellH) / (n + 1);
        const CPoint c = grid.CenterPoint();
        const CRect middle(c.x - cellW / 2, c.y - cellH / 2, c.x - cellW / 2 + cellW, c.y - cellH / 2 + cellH);
        for (int j = -half; j <= half; ++j)
            for (int i = -half; i <= half; ++i) {
                CChartCell cell;
                cell.rect = middle;
                cell.rect.OffsetRect(i * (cellW + spaceX), j * (cellH + spaceY));
                cell.dCr = ColorFitChartStep(n, i);
                cell.dCb = ColorFitChartStep(n, -j);
                out.gridBox = out.gridBox | cell.rect;
                out.cells.push_back(cell);
            }
    }
    return out;
}

// ---- Sliders ------------------------------------------------------------------------------

CColorFitSliders ColorFitSlidersFromModel(const CColorModel& model)
{
    CColorFitSliders s;
    s.b = TruncClamp(model.dY, -200, 200) / 2;
    s.m = TruncClamp(model.dCr, -100, 100);
    s.c = -TruncClamp(model.dCb, -100, 100);
    s.range = ClampI(model.width, 1, 7);
    return s;
}

void ColorFitModelFromSliderB(CColorModel& model, int position) { model.dY = 2.0 * position; }
void ColorFitModelFromSliderC(CColorModel& model, int position) { model.dCb = -static_cast<double>(position); }
void ColorFitModelFromSliderM(CColorModel& model, int position) { model.dCr = position; }
void ColorFitModelFromRangeSlider(CColorModel& model, int position) { model.width = position; }

CSliderScale ColorFitSliderScale(int length, int thickness, bool horizontal)
{
    CSliderScale s;
    for (int i = 0; i <= 20; ++i)
        s.along.push_back(i * (length - thickness) / 20 + thickness / 2 + (horizontal ? 1 : 0));
    s.acrossFrom = thickness - thickness / 2 + thickness / 5;
    s.acrossTo = thickness - 1;
    return s;
}

// ---- Sampling and markers -------------------------------------------------------------------

int ColorFitNextSampleSize(int size) { return size < 9 ? size + 2 : 1; }

std::string ColorFitSampleSizeText(int size)
{
    char text[32];
    std::snprintf(text, sizeof text, "%dX%d", size, size);
    return text;
}

bool ColorFitSampleAverage(const CPixelArray& pixels, CSize size, CPoint p, int radius, COLORREF& out)
{
    if (size.cx <= 0 || size.cy <= 0 || int64_t(size.cx) * size.cy > pixels.GetSize())
        return false;
    if (p.x < 0 || p.y < 0 || p.x >= size.cx || p.y >= size.cy)
        return false;
    radius = std::max(radius, 0);
    int64_t r = 0, g = 0, b = 0, count = 0;
    for (int y = std::max(p.y - radius, 0); y <= std::min(p.y + radius, size.cy - 1); ++y)
        for (int x = std::max(p.x - radius, 0); x <= std::min(p.x + radius, size.cx - 1); ++x) {
            const COLORREF c = pixels[int64_t(y) * size.cx + x];
            r += GetRValue(c);
            g += GetGValue(c);
            b += GetBValue(c);
            ++count;
        }
    out = RGB(static_cast<int>(r / count), static_cast<int>(g / count), static_cast<int>(b / count));
    return true;
}

COLORREF ColorFitNextMarkerColour(COLORREF c)
{
    static const COLORREF kCycle[] = {0x82B4FF, 0x82B4FE, 0xFFFFFF, 0xFFFFFE, 0x787829, 0x787828};
    constexpr int n = static_cast<int>(sizeof kCycle / sizeof kCycle[0]);
    for (int i = 0; i < n; ++i)
        if (kCycle[i] == c)
            return kCycle[(i + 1) % n];
    return kCycle[0];
}

void ColorFitCheckView(const CPixelArray& original, const CPixelArray& result, CPixelArray& check)
{
    const std::ptrdiff_t n = std::min(original.GetSize(), result.GetSize());
    check.SetSize(n);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const int g = std::min(CColorModel::ColourDistance(original[i], result[i]), 255);
        check[i] = RGB(g, g, g);
    }
}

// ---- Targets ------------------------------------------------------------------------------

CColorFitTargetBoxes ColorFitTargetBoxes(int brightnessTarget, int colourTarget)
{
    CColorFitTargetBoxes t;
    auto boxes = [](int target, int& original, int& reference) {
        original = target == 1 ? 1 : (target == 3 ? 2 : 0);
        reference = target == 2 ? 1 : (target == 3 ? 2 : 0);
    };
    boxes(brightnessTarget, t.originalBrightness, t.referenceBrightness);
    boxes(colourTarget, t.originalColour, t.referenceColour);
    t.allOfPicture = brightnessTarget == 0 && colourTarget == 0 ? 1 : 0;
    t.mode = (colourTarget != 0 ? 1 : 0) + (brightnessTarget != 0 ? 2 : 0);
    return t;
}

int ColorFitToggleTarget(int target, int which) { return target != which ? which : 0; }

// ---- Captions -----------------------------------------------------------------------------

std::string ColorFitOriginalCaption(const std::string& name)
{
    return name.empty() ? std::string("  Original Image") : GetFileName(name) + " - as Original Image";
}

std::string ColorFitReferenceCaption(const std::string& name)
{
    return name.empty() ? std::string("  Reference Image") : GetFileName(name) + " - as Reference Image";
}

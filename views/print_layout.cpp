// Print arithmetic: the print property dialog's values and the tiled printing of one sheet.
#include "views/print_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "common/helpers.h"
#include "common/value_types.h"

namespace printing {
namespace {

int ClampWide(int64_t v, int lo, int hi)
{
    if (v < lo)
        v = lo;
    if (v > hi)
        v = hi;
    return static_cast<int>(v);
}

// b * num / den in 64 bits, saturated to the int range; 0 for a zero denominator.
int MulDivInt(int64_t b, int64_t num, int64_t den)
{
    if (den == 0)
        return 0;
    return ClampWide(b * num / den, INT32_MIN, INT32_MAX);
}

} // namespace

// ---- The print property dialog's values -------------------------------------------------------

CSize CPrintPropertyModel::ImageSize() const
{
    if (m_imageSize.cx <= 0 || m_imageSize.cy <= 0)
        return {16, 16};
    return m_imageSize;
}

std::string CPrintPropertyModel::FormatLength(int units) const
{
    switch (m_unit) {
    case UNIT_INCH: return Printf("%2.2f", units / 254.0);
    case UNIT_MM: return Printf("%3.1f", units / 10.0);
    default: return "----";
    }
}

std::string CPrintPropertyModel::UnitWord() const
{
    switch (m_unit) {
    case UNIT_INCH: return "in";
    case UNIT_MM: return "mm";
    default: return "";
    }
}

std::string CPrintPropertyModel::FormatAreaLine() const
{
    std::string line = "Printable area on a paper ";
    switch (m_unit) {
    case UNIT_INCH:
        return line + Printf(" : %s %2.2f     %s %2.2f (inch)", "Width", m_area.cx / 254.0, "Height", m_area.cy / 254.0);
    case UNIT_MM:
        return line + Printf(" : %s %3.1f     %s %3.1f (mm)", "Width", m_area.cx / 10.0, "Height", m_area.cy / 10.0);
    default:
        return line + Printf(" : %2.1f * %2.1f inch  (%d * %d mm)", m_area.cx / 254.0, m_area.cy / 254.0, m_area.cx / 10,
                             m_area.cy / 10);
    }
}

std::string CPrintPropertyModel::FormatRightMargin() const
{
    if (m_spread > 0 || (m_unit != UNIT_INCH && m_unit != UNIT_MM))
        return "";
    const int margin = m_area.cx - m_printSize.cx - m_offset.x;
    return m_unit == UNIT_INCH ? Printf("%2.2f in", margin / 254.0) : Printf("%3.1f mm", margin / 10.0);
}

std::string CPrintPropertyModel::FormatBottomMargin() const
{
    if (m_spread > 0 || (m_unit != UNIT_INCH && m_unit != UNIT_MM))
        return "";
    const int margin = m_area.cy - m_printSize.cy - m_offset.y;
    return m_unit == UNIT_INCH ? Printf("%2.2f in", margin / 254.0) : Printf("%3.1f mm", margin / 10.0);
}

bool CPrintPropertyModel::ReadTyped(const std::string& typed, const std::string& shown, int* value, double* number)
{
    if (typed.empty() || typed == shown || typed == "----")
        return false;
    const double n = std::strtod(typed.c_str(), nullptr);
    if (!std::isfinite(n))
        return false;
    if (m_unit != UNIT_INCH && m_unit != UNIT_MM)
        m_unit = UNIT_INCH;
    if (number)
        *number = n;
    if (value)
        *value = LengthFromTyped(n);
    return true;
}

int CPrintPropertyModel::LengthFromTyped(double number) const
{
    const double units = m_unit == UNIT_MM ? number * 10.0 : number * 254.0;
    // Far outside every limit either way; kept inside the int range so clamping stays sound.
    return static_cast<int>(std::clamp(units, -1.0e9, 1.0e9));
}

void CPrintPropertyModel::SizeFromWidth(int width)
{
    const CSize img = ImageSize();
    m_printSize.cx = width;
    m_printSize.cy = MulDivInt(width, img.cy, img.cx);
}

void CPrintPropertyModel::SizeFromHeight(int height)
{
    const CSize img = ImageSize();
    m_printSize.cy = height;
    m_printSize.cx = MulDivInt(height, img.cx, img.cy);
}

bool CPrintPropertyModel::TypeWidth(int value)
{
    const int w = Clamp(value, 10, m_maxSize.cx);
    SizeFromWidth(w);
    if (m_spread > 0)
        Recount();
    ClampFields();
    return w == value;
}

bool CPrintPropertyModel::TypeHeight(int value)
{
    const int h = Clamp(value, 10, m_maxSize.cy);
    SizeFromHeight(h);
    if (m_spread > 0)
        Recount();
    ClampFields();
    return h == value;
}

bool CPrintPropertyModel::TypeLeft(int value)
{
    const int x = Clamp(value, 0, std::max(0, m_area.cx - m_printSize.cx));
    m_offset.x = x;
    ClampFields();
    return x == value;
}

bool CPrintPropertyModel::TypeTop(int value)
{
    const int y = Clamp(value, 0, std::max(0, m_area.cy - m_printSize.cy));
    m_offset.y = y;
    ClampFields();
    return y == value;
}

void CPrintPropertyModel::TypeSheetsAcross(int count)
{
    if (m_spread <= 0)
        return;
    SetSheetCounts(Clamp(count, 1, 255), m_sheetsV);
    ClampFields();
}

void CPrintPropertyModel::TypeSheetsDown(int count)
{
    if (m_spread <= 0)
        return;
    SetSheetCounts(m_sheetsH, Clamp(count, 1, 255));
    ClampFields();
}

bool CPrintPropertyModel::TypeOverlap(int value)
{
    if (m_spread <= 0 || m_overlapCheck != CHECKED)
        return false;
    if (value < 0 || value > m_area.cx / 2 || value > m_area.cy / 2)
        return false;
    m_overlap = m_rememberedOverlap = value;
    Recount();
    ClampFields();
    return true;
}

bool CPrintPropertyModel::TypeTombo(int value)
{
    if (m_spread <= 0 || m_tomboCheck != CHECKED)
        return false;
    if (value < 0 || value > m_area.cx / 2 || value > m_area.cy / 2)
        return false;
    m_tombo = m_rememberedTombo = value;
    Recount();
    ClampFields();
    return true;
}

int CPrintPropertyModel::StepValue(int value, int step) const
{
    if (m_unit == UNIT_INCH) {
        const int hundredths = static_cast<int>(value / 2.54 + 0.5) + step;
        return static_cast<int>((hundredths + 0.5) * 2.54);
    }
    return value + step;
}

int CPrintPropertyModel::SpinStep(int code, bool shift, bool ctrl)
{
    int step = code > 0 ? 1 : code < 0 ? -1 : 0;
    if (shift)
        step *= 10;
    if (ctrl)
        step *= 10;
    return step;
}

void CPrintPropertyModel::EnsureLengthUnit()
{
    if (m_unit != UNIT_INCH && m_unit != UNIT_MM)
        m_unit = UNIT_INCH;
}

void CPrintPropertyModel::SpinWidth(int step)
{
    EnsureLengthUnit();
    SizeFromWidth(Clamp(StepValue(m_printSize.cx, step), 10, 999999));
    if (m_spread > 0)
        Recount();
    ClampFields();
}

void CPrintPropertyModel::SpinHeight(int step)
{
    EnsureLengthUnit();
    SizeFromHeight(Clamp(StepValue(m_printSize.cy, step), 10, 999999));
    if (m_spread > 0)
        Recount();
    ClampFields();
}

void CPrintPropertyModel::SpinFirst(int step)
{
    if (m_spread > 0) {
        SetSheetCounts(Clamp(m_sheetsH + (step > 0 ? 1 : step < 0 ? -1 : 0), 1, 255), m_sheetsV);
    } else {
        EnsureLengthUnit();
        m_offset.x = StepValue(m_offset.x, step);
    }
    ClampFields();
}

void CPrintPropertyModel::SpinSecond(int step)
{
    if (m_spread > 0) {
        SetSheetCounts(m_sheetsH, Clamp(m_sheetsV + (step > 0 ? 1 : step < 0 ? -1 : 0), 1, 255));
    } else {
        EnsureLengthUnit();
        m_offset.y = StepValue(m_offset.y, -step);
    }
    ClampFields();
}

void CPrintPropertyModel::SpinOverlap(int step)
{
    if (m_spread <= 0)
        return;
    EnsureLengthUnit();
    m_overlap = Clamp(StepValue(m_overlap, step), 0, 99999);
    if (m_overlap > 0) {
        m_overlapCheck = CHECKED;
        m_rememberedOverlap = m_overlap;
    }
    Recount();
    ClampFields();
}

void CPrintPropertyModel::SpinTombo(int step)
{
    if (m_spread <= 0)
        return;
    EnsureLengthUnit();
    m_tombo = Clamp(StepValue(m_tombo, step), 0, 99999);
    if (m_tombo > 0) {
        m_tomboCheck = CHECKED;
        m_rememberedTombo = m_tombo;
    }
    Recount();
    ClampFields();
}

void CPrintPropertyModel::Recount()
{
    const int64_t margin = 2 * (int64_t(m_overlap) + m_tombo);
    m_tile.cx = ClampWide(m_area.cx - margin, 1, std::max(1, m_area.cx));
    m_tile.cy = ClampWide(m_area.cy - margin, 1, std::max(1, m_area.cy));
    m_sheetsH = SheetCount(m_printSize.cx, m_overlap, m_tile.cx);
    m_sheetsV = SheetCount(m_printSize.cy, m_overlap, m_tile.cy);
}

void CPrintPropertyModel::SetSheetCounts(int across, int down)
{
    const CSize img = ImageSize();
    const int oldV = m_sheetsV;
    if (across != m_sheetsH) {
        m_printSize.cx = ClampWide(m_printSize.cx, 16, ClampWide(int64_t(across) * m_tile.cx, 16, 999999));
        m_printSize.cy = MulDivInt(m_printSize.cx, img.cy, img.cx);
        m_sheetsH = across;
        m_sheetsV = SheetCount(m_printSize.cy, m_overlap, m_tile.cy);
    }
    if (down != oldV) {
        m_printSize.cy = ClampWide(m_printSize.cy, 16, ClampWide(int64_t(down) * m_tile.cy, 16, 999999));
        m_printSize.cx = MulDivInt(m_printSize.cy, img.cx, img.cy);
        m_sheetsV = down;
        m_sheetsH = SheetCount(m_printSize.cx, m_overlap, m_tile.cx);
    }
    m_sheetsH = Clamp(m_sheetsH, 1, 255);
    m_sheetsV = Clamp(m_sheetsV, 1, 255);
}

void CPrintPropertyModel::ClampFields()
{
    m_printSize.cx = Clamp(m_printSize.cx, 10, std::max(10, m_maxSize.cx));
    m_printSize.cy = Clamp(m_printSize.cy, 10, std::max(10, m_maxSize.cy));
    m_offset.x = Clamp(m_offset.x, 0, std::max(0, m_area.cx - m_printSize.cx));
    m_offset.y = Clamp(m_offset.y, 0, std::max(0, m_area.cy - m_printSize.cy));
    if (m_spread > 0) {
        m_sheetsH = Clamp(m_sheetsH, 1, 255);
        m_sheetsV = Clamp(m_sheetsV, 1, 255);
        m_overlap = Clamp(m_overlap, 0, 99999);
        m_tombo = Clamp(m_tombo, 0, 99999);
    }
}

void CPrintPropertyModel::Layout()
{
    const CSize img = ImageSize();
    if (m_spread > 0) {
        m_maxSize = {999999, 999999};
    } else if (int64_t(img.cx) * m_area.cy > int64_t(img.cy) * m_area.cx) {
        m_maxSize = {m_area.cx, MulDivInt(m_area.cx, img.cy, img.cx)};
    } else {
        m_maxSize = {MulDivInt(m_area.cy, img.cx, img.cy), m_area.cy};
    }
    if (m_firstRun == 2) {
        m_printSize = img;
        ClampFields();
        m_offset = {(m_area.cx - m_printSize.cx) / 2, (m_area.cy - m_printSize.cy) / 2};
        m_firstRun = 0;
    }
    if (m_spread > 0)
        Recount();
    ClampFields();
}

void CPrintPropertyModel::SetSpread(bool on)
{
    if (on) {
        m_spread = 1;
        // The boxes come back in the states they had before spreading was switched off.
        m_overlapCheck = Clamp(m_overlapCheck == INDETERMINATE ? m_savedOverlapCheck : m_overlapCheck, 0, 1);
        m_tomboCheck = Clamp(m_tomboCheck == INDETERMINATE ? m_savedTomboCheck : m_tomboCheck, 0, 1);
        if (m_overlapCheck == CHECKED)
            m_overlap = m_rememberedOverlap;
        if (m_tomboCheck == CHECKED)
            m_tombo = m_rememberedTombo;
    } else {
        m_spread = -2;
        if (m_overlap > 0)
            m_rememberedOverlap = m_overlap;
        if (m_tombo > 0)
            m_rememberedTombo = m_tombo;
        m_overlap = 0;
        m_tombo = 0;
        if (m_overlapCheck != INDETERMINATE)
            m_savedOverlapCheck = m_overlapCheck;
        if (m_tomboCheck != INDETERMINATE)
            m_savedTomboCheck = m_tomboCheck;
        m_overlapCheck = INDETERMINATE;
        m_tomboCheck = INDETERMINATE;
    }
    Layout();
    Recount();
}

void CPrintPropertyModel::ClickBox(int state, int* check, int* value, int* remembered)
{
    if (m_spread <= 0) {
        *check = INDETERMINATE;
        return;
    }
    if (state == INDETERMINATE)
        state = UNCHECKED;
    *check = state;
    if (state == UNCHECKED) {
        if (*value > 0)
            *remembered = *value;
        *value = 0;
    } else {
        *value = *remembered;
    }
    Recount();
    ClampFields();
}

void CPrintPropertyModel::ClickOverlapBox(int state) { ClickBox(state, &m_overlapCheck, &m_overlap, &m_rememberedOverlap); }

void CPrintPropertyModel::ClickTomboBox(int state) { ClickBox(state, &m_tomboCheck, &m_tombo, &m_rememberedTombo); }

// ---- Tiled printing -------------------------------------------------------------------------

int SheetCount(int printLength, int overlap, int tileLength)
{
    if (tileLength <= 0)
        return 1;
    return ClampWide((int64_t(printLength) - 1 - 2 * int64_t(overlap)) / tileLength + 1, 1, 255);
}

int SamplingDivisor(CSize image, CSize print, CSize tile, int sheetsH, int sheetsV, int logPixelsX)
{
    if (int64_t(image.cx) * image.cy < kSamplingThreshold || print.cx <= 0)
        return 1;
    const int64_t imageDpi = int64_t(image.cx) * kUnitsPerInch / print.cx;
    const int printerDpi = Clamp(logPixelsX, 288, 720);
    const int f = ClampWide(imageDpi / printerDpi, 1, 32);
    const int64_t effective = imageDpi / f;
    const int64_t pw = sheetsH < 2 ? print.cx : tile.cx;
    const int64_t ph = sheetsV < 2 ? print.cy : tile.cy;
    const int64_t pixels = (pw * effective / kUnitsPerInch) * (ph * effective / kUnitsPerInch);
    const double q = std::sqrt(double(pixels) / 60000000.0);
    const int64_t s = q > 1.0 ? int64_t(f * q) + 1 : f;
    return ClampWide(s, 1, 200);
}

bool ComputePageRects(CSize print, CSize tile, int overlap, int tombo, int sheetsH, int sheetsV, int pageIndex,
                      PageRects* out)
{
    sheetsH = Clamp(sheetsH, 1, 255);
    sheetsV = Clamp(sheetsV, 1, 255);
    if (print.cx < 1 || print.cy < 1 || pageIndex < 0 || pageIndex >= sheetsH * sheetsV)
        return false;
    PageRects p;
    p.column = pageIndex % sheetsH;
    p.row = pageIndex / sheetsH;
    const CRect whole(0, 0, print.cx, print.cy);
    CRect t;
    GetTileRect(&t, print.cx, print.cy, tile.cx, tile.cy, overlap, p.column, p.row);
    if (!p.tile.IntersectRect(t, whole))
        return false;
    CRect grown = p.tile;
    grown.InflateRect(overlap, overlap);
    p.image.IntersectRect(grown, whole);
    p.frame = p.image;
    p.frame.InflateRect(tombo, tombo);
    *out = p;
    return true;
}

ScaleChoice ChooseScale(int sampledWidth, int imageWidth, int printWidth, int logPixelsX)
{
    ScaleChoice s;
    if (printWidth <= 0 || sampledWidth <= 0 || logPixelsX <= 0)
        return s;
    s.r = double(sampledWidth) / printWidth;
    if (logPixelsX / 254.0 < s.r || sampledWidth != imageWidth) {
        s.k = int(std::clamp(s.r * 254.0 / logPixelsX, 1.0, 9999.0));
        s.e = s.r / s.k;
    } else if (s.r < 0.5) {
        s.n = int(std::clamp(360.0 / (s.r * 254.0), 1.0, 9999.0));
        s.e = s.n * s.r;
    } else {
        s.e = s.r;
    }
    return s;
}

std::vector<int32_t> BuildEnlargeWeights(int n)
{
    n = std::max(1, n);
    std::vector<int32_t> w(size_t(n) * size_t(n) * 5);
    for (int fy = 0; fy < n; ++fy) {
        for (int fx = 0; fx < n; ++fx) {
            int32_t* e = &w[(size_t(fy) * size_t(n) + size_t(fx)) * 5];
            if (n < 7) {
                auto weight = [n](double d) { return int32_t(std::clamp(std::trunc(std::cos(d * 1.57 / n) * 100.0), 1.0, 1000.0)); };
                const double gx = n - fx, gy = n - fy;
                e[0] = weight(std::sqrt(double(fx) * fx + double(fy) * fy));
                e[1] = weight(std::sqrt(gx * gx + double(fy) * fy));
                e[2] = weight(std::sqrt(double(fx) * fx + gy * gy));
                e[3] = weight(std::sqrt(gx * gx + gy * gy));
            } else {
                const int64_t a = std::clamp<int64_t>(int64_t(n) * n / 256, 1, 9999999);
                const int64_t x = fx, y = fy, gx = n - fx, gy = n - fy;
                e[0] = int32_t(gx * gy * 10 / a + (gx * gx + gy * gy) * 5 / a);
                e[1] = int32_t(x * gy * 10 / a + (x * x + gy * gy) * 5 / a);
                e[2] = int32_t(gx * y * 10 / a + (gx * gx + y * y) * 5 / a);
                e[3] = int32_t(x * y * 10 / a + (x * x + y * y) * 5 / a);
            }
            e[4] = e[0] + e[1] + e[2] + e[3];
        }
    }
    return w;
}

bool SheetBitmap::Allocate(int w, int h)
{
    width = height = stride = 0;
    bits.clear();
    if (w <= 0 || h <= 0)
        return false;
    const int64_t rowBytes = (int64_t(w) * 3 + 3) / 4 * 4;
    const int64_t total = rowBytes * h + 40;
    if (total > int64_t(INT32_MAX))
        return false;
    try {
        bits.assign(size_t(rowBytes) * size_t(h), 0);
    } catch (const std::bad_alloc&) {
        bits.clear();
        return false;
    }
    width = w;
    height = h;
    stride = int(rowBytes);
    return true;
}

COLORREF SheetBitmap::Pixel(int x, int y) const
{
    const uint8_t* p = Row(y) + size_t(x) * 3;
    return RGB(p[2], p[1], p[0]);
}

void SheetBitmap::SetPixel(int x, int y, COLORREF c)
{
    uint8_t* p = Row(y) + size_t(x) * 3;
    p[0] = uint8_t(c >> 16);
    p[1] = uint8_t(c >> 8);
    p[2] = uint8_t(c);
}

namespace {

COLORREF RegionPixel(const SheetSource& src, int x, int y)
{
    return (*src.pixels)[std::ptrdiff_t(y) * src.region.Width() + x];
}

} // namespace

void FillSheetReduced(SheetBitmap& bmp, const SheetSource& src, int k, CPoint origin)
{
    const int rw = src.region.Width(), rh = src.region.Height();
    const bool haveRegion = src.pixels && rw > 0 && rh > 0 && src.pixels->GetSize() >= int64_t(rw) * rh;
    for (int y = 0; y < bmp.height; ++y) {
        uint8_t* row = bmp.Row(y);
        const int64_t sy = int64_t(y) * k + origin.y - src.region.top;
        for (int x = 0; x < bmp.width; ++x) {
            const int64_t sx = int64_t(x) * k + origin.x - src.region.left;
            COLORREF c = 0xFFFFFF;
            if (haveRegion && sx >= 0 && sx < rw && sy >= 0 && sy < rh)
                c = RegionPixel(src, int(sx), int(sy));
            uint8_t* p = row + size_t(x) * 3;
            p[0] = uint8_t(c >> 16);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c);
        }
    }
}

int EnlargeGridOrigin(int edge, double r, int n) { return int((edge * r - 0.5) * n) + 2 * n; }

void FillSheetEnlarged(SheetBitmap& bmp, const SheetSource& src, int n, int gx0, int gy0,
                       const std::vector<int32_t>& weights)
{
    const int rw = src.region.Width(), rh = src.region.Height();
    const bool haveRegion = src.pixels && rw > 0 && rh > 0 && src.pixels->GetSize() >= int64_t(rw) * rh;
    if (n < 1 || weights.size() < size_t(n) * size_t(n) * 5)
        return;
    auto at = [&](int sx, int sy) -> COLORREF {
        if (!haveRegion || sx < 0 || sy < 0 || sx >= rw || sy >= rh)
            return 0xFFFFFF;
        return RegionPixel(src, sx, sy);
    };
    for (int y = 0; y < bmp.height; ++y) {
        uint8_t* row = bmp.Row(y);
        const int gy = y + gy0;
        const int sy = gy / n - 2 - src.region.top, fy = gy % n;
        for (int x = 0; x < bmp.width; ++x) {
            const int gx = x + gx0;
            const int sx = gx / n - 2 - src.region.left, fx = gx % n;
            uint8_t* p = row + size_t(x) * 3;
            if (sx < -1 || sy < -1 || sx >= rw || sy >= rh) {
                p[0] = p[1] = p[2] = 255;
                continue;
            }
            const COLORREF c00 = at(sx, sy), c10 = at(sx + 1, sy), c01 = at(sx, sy + 1), c11 = at(sx + 1, sy + 1);
            const int32_t* w = &weights[(size_t(fy) * size_t(n) + size_t(fx)) * 5];
            const int64_t div = std::max<int32_t>(1, w[4]);
            for (int ch = 0; ch < 3; ++ch) {
                const int shift = 16 - 8 * ch;  // blue, green, red
                const int64_t sum = int64_t((c00 >> shift) & 0xFF) * w[0] + int64_t((c10 >> shift) & 0xFF) * w[1] +
                                    int64_t((c01 >> shift) & 0xFF) * w[2] + int64_t((c11 >> shift) & 0xFF) * w[3];
                p[ch] = uint8_t(std::min<int64_t>(255, sum / div));
            }
        }
    }
}

void SmoothSeams(SheetBitmap& bmp, int n, int gx0, int gy0)
{
    if (n < 7)
        return;
    const int m = n / 5;
    auto weights = [m](int f, int* a, int* b) {
        *a = ((f * 100) / (m + 1) + 100 / (2 * m + 2) + 100) / 2;
        *b = 100 - *a;
    };
    for (int y = n; y <= bmp.height - n - 1; ++y) {
        const int fy = (y + gy0) % n;
        if (fy > m)
            continue;
        const int y2 = y - 2 * fy - 1;
        int a, b;
        weights(fy, &a, &b);
        uint8_t* r1 = bmp.Row(y);
        uint8_t* r2 = bmp.Row(y2);
        for (int i = 0; i < bmp.width * 3; ++i) {
            const int p = r1[i], q = r2[i];
            r1[i] = uint8_t((p * a + q * b) / 100);
            r2[i] = uint8_t((p * b + q * a) / 100);
        }
    }
    for (int x = n; x <= bmp.width - n - 1; ++x) {
        const int fx = (x + gx0) % n;
        if (fx > m)
            continue;
        const int x2 = x - 2 * fx - 1;
        int a, b;
        weights(fx, &a, &b);
        for (int y = 0; y < bmp.height; ++y) {
            uint8_t* row = bmp.Row(y);
            uint8_t* c1 = row + size_t(x) * 3;
            uint8_t* c2 = row + size_t(x2) * 3;
            for (int ch = 0; ch < 3; ++ch) {
                const int p = c1[ch], q = c2[ch];
                c1[ch] = uint8_t((p * a + q * b) / 100);
                c2[ch] = uint8_t((p * b + q * a) / 100);
            }
        }
    }
}

int RenderSheet(const SheetJob& job, int pageIndex, int lpx, int lpy, const RegionReader& read,
                const std::function<void(CPixelArray&)>& adjust, const std::function<void()>& beforeAllocate,
                SheetResult* out)
{
    if (lpx <= 0 || lpy <= 0 || !read)
        return SHEET_BLANK;
    SheetResult& res = *out;
    if (!ComputePageRects(job.printSize, job.tile, job.overlap, job.tombo, job.sheetsH, job.sheetsV, pageIndex,
                          &res.rects))
        return SHEET_BLANK;
    // A sampled or print width of 0 leaves the page blank.
    const ScaleChoice sc = ChooseScale(job.sampledSize.cx, job.imageSize.cx, job.printSize.cx, lpx);
    if (sc.e <= 0.0)
        return SHEET_BLANK;
    const CRect& img = res.rects.image;
    const int bw = int(img.Width() * sc.e), bh = int(img.Height() * sc.e);
    const CPoint origin(int(img.left * sc.r), int(img.top * sc.r));
    const FileKind kind = GetFileKind(job.path);
    if (kind < FILE_KIND_BMP || kind > FILE_KIND_PNG || bw <= 0 || bh <= 0)
        return SHEET_BLANK;

    const CRect sampledRect(0, 0, job.sampledSize.cx, job.sampledSize.cy);
    CRect region = sampledRect;
    if (job.sheetsH > 1 || job.sheetsV > 1) {
        const CRect wanted(int(img.left * sc.r), int(img.top * sc.r), int(img.right * sc.r), int(img.bottom * sc.r));
        region.IntersectRect(wanted, sampledRect);
    }
    CPixelArray pixels;
    CSize sampled = job.sampledSize;
    const int result = read(pixels, sampled, region);
    if (result <= -5)
        return SHEET_NO_MEMORY;
    if (result < 0 || pixels.GetSize() < int64_t(region.Width()) * region.Height())
        return SHEET_BLANK;
    if (adjust)
        adjust(pixels);
    if (beforeAllocate)
        beforeAllocate();
    if (!res.bitmap.Allocate(bw, bh))
        return SHEET_NO_MEMORY;
    const SheetSource src{&pixels, region};
    if (sc.n <= 1) {
        FillSheetReduced(res.bitmap, src, sc.k, origin);
    } else {
        const int gx0 = EnlargeGridOrigin(img.left, sc.r, sc.n);
        const int gy0 = EnlargeGridOrigin(img.top, sc.r, sc.n);
        FillSheetEnlarged(res.bitmap, src, sc.n, gx0, gy0, BuildEnlargeWeights(sc.n));
        SmoothSeams(res.bitmap, sc.n, gx0, gy0);
    }
    auto dots = [](int64_t units, int lpi) { return int(units * lpi / kUnitsPerInch); };
    res.position = {dots(int64_t(job.tombo) + job.offset.x, lpx), dots(int64_t(job.tombo) + job.offset.y, lpy)};
    res.extent = {dots(img.Width(), lpx), dots(img.Height(), lpy)};
    res.frameExtent = {dots(res.rects.frame.Width(), lpx), dots(res.rects.frame.Height(), lpy)};
    return SHEET_PRINTED;
}

} // namespace printing

// Colour model: luminance curve, chroma shifts, selective correction and the packed word.
#include "picset/color_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "imagefile/pixel_array.h"

namespace {

// r(x) = x + 0.5 truncated toward zero. Values no correction can reach (NaN, or beyond
// +-2e9) are held to 0 and +-2e9 so that the int conversion stays defined.
int R(double x)
{
    const double t = x + 0.5;
    if (std::isnan(t))
        return 0;
    if (t >= 2.0e9)
        return 2000000000;
    if (t <= -2.0e9)
        return -2000000000;
    return static_cast<int>(t);
}

// The rounding of the packed word: r(x) for offsets of 0 and above, truncation toward zero
// below 0. r(x) alone would store -3.0 as -2, so every save and load of a project would
// weaken a negative offset by one step; this rule gives r(-3.7) = -3 as before and stores a
// word's own offsets unchanged.
int RPack(double x)
{
    if (x < 0.0)
        return R(std::ceil(x) - 0.5);
    return R(x);
}

int ClampInt(int v, int lo, int hi)
{
    return std::min(std::max(v, lo), hi);
}

} // namespace

CColorModel::CColorModel()
    : m_Forward{{0.299, 0.587, 0.114}, {-0.16874, -0.33126, 0.5}, {0.5, -0.4187, -0.08131}},
      m_Inverse{{1.0, 0.0, 1.402}, {1.0, -0.34414, -0.71414}, {1.0, 1.772, 0.0}}
{
    for (int i = 0; i < 256; ++i)
        curve[i] = i;
    BuildCurve(0);
}

void CColorModel::AssignSettings(const CColorModel& other)
{
    dY = other.dY;
    dCb = other.dCb;
    dCr = other.dCr;
    trialY = other.trialY;
    trialCb = other.trialCb;
    trialCr = other.trialCr;
    refY = other.refY;
    refCb = other.refCb;
    refCr = other.refCr;
    refColour = other.refColour;
    mode = other.mode;
    width = other.width;
}

void CColorModel::CopySettings(const CColorModel& other)
{
    AssignSettings(other);
}

uint32_t CColorModel::Pack() const
{
    const uint32_t cr = static_cast<uint32_t>(ClampInt(RPack(dCr) + 128, 0, 255));
    const uint32_t cb = static_cast<uint32_t>(ClampInt(RPack(dCb) + 128, 0, 255));
    const uint32_t y = static_cast<uint32_t>(ClampInt(RPack(dY) + 256, 0, 511));
    const uint32_t mw = static_cast<uint32_t>(ClampInt(ClampInt(mode, 0, 7) + 8 * ClampInt(width, 0, 7), 0, 63));
    return cr | (cb << 8) | (y << 16) | (mw << 25);
}

void CColorModel::Unpack(uint32_t word)
{
    if (word == 0) {
        dY = dCb = dCr = 0.0;
        mode = 0;
        width = 4;
        return;
    }
    mode = static_cast<int>((word >> 25) & 0x7);
    width = static_cast<int>((word >> 28) & 0xF);
    dY = static_cast<double>(static_cast<int>((word >> 16) & 0x1FF) - 256);
    dCb = static_cast<double>(static_cast<int>((word >> 8) & 0xFF) - 128);
    dCr = static_cast<double>(static_cast<int>(word & 0xFF) - 128);
}

int CColorModel::GetActiveMode()
{
    if (!IsActive())
        return -1;
    mode = ClampInt(mode, 0, 3);
    return mode;
}

void CColorModel::ToYCbCr(COLORREF c, double& y, double& cb, double& cr) const
{
    const double r = GetRValue(c);
    const double g = GetGValue(c);
    const double b = GetBValue(c);
    y = m_Forward[0][0] * r + m_Forward[0][1] * g + m_Forward[0][2] * b;
    cb = m_Forward[1][0] * r + m_Forward[1][1] * g + m_Forward[1][2] * b;
    cr = m_Forward[2][0] * r + m_Forward[2][1] * g + m_Forward[2][2] * b;
}

COLORREF CColorModel::FromYCbCr(double y, double cb, double cr) const
{
    const int r = ClampInt(R(m_Inverse[0][0] * y + m_Inverse[0][1] * cb + m_Inverse[0][2] * cr), 0, 255);
    const int g = ClampInt(R(m_Inverse[1][0] * y + m_Inverse[1][1] * cb + m_Inverse[1][2] * cr), 0, 255);
    const int b = ClampInt(R(m_Inverse[2][0] * y + m_Inverse[2][1] * cb + m_Inverse[2][2] * cr), 0, 255);
    return RGB(r, g, b);
}

CColorModel::Pass CColorModel::Prepare(double oy, double ocb, double ocr)
{
    BuildCurve(R(oy));
    Pass p;
    p.ocb = ocb;
    p.ocr = ocr;
    p.selective = mode >= 1 && mode <= 3;
    if (p.selective) {
        UpdateReference();
        if (width < 1 || width > 7)
            width = 4;
        p.f = static_cast<double>((8 - width) * (8 - width));
    }
    return p;
}

COLORREF CColorModel::CorrectPixel(COLORREF c, const Pass& p) const
{
    double y, cb, cr;
    ToYCbCr(c, y, cb, cr);
    const double curved = curve[ClampInt(R(y), 0, 255)];
    if (!p.selective)
        return FromYCbCr(curved, cb + p.ocb, cr + p.ocr);

    // The weight q grows with the distance from the reference colour; a larger width gives a
    // smaller f and so a faster fall-off.
    const double f = p.f;
    double q;
    if (mode == 1) {
        const double a = (cb - refCb) / (2.0 * f);
        const double b = (cr - refCr) / (2.0 * f);
        q = 1.0 + a * a + b * b;
    } else if (mode == 2) {
        const double a = (y - refY) / (5.0 * f);
        q = 1.0 + a * a;
    } else {
        const double a = (cb - refCb) / (3.0 * f);
        const double b = (cr - refCr) / (3.0 * f);
        const double d = (y - refY) / (6.0 * f);
        q = 1.0 + a * a + b * b + d * d;
    }
    return FromYCbCr(y + (curved - y) / q, cb + p.ocb / q, cr + p.ocr / q);
}

void CColorModel::CorrectRange(const COLORREF* src, COLORREF* dst, std::ptrdiff_t n, const Pass& p) const
{
    constexpr std::ptrdiff_t kChunk = std::ptrdiff_t(1) << 18;
    const unsigned cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    const std::ptrdiff_t parts = std::min<std::ptrdiff_t>(cores, (n + kChunk - 1) / kChunk);
    auto work = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        for (std::ptrdiff_t i = begin; i < end; ++i)
            dst[i] = CorrectPixel(src[i], p);
    };
    if (parts <= 1) {
        work(0, n);
        return;
    }
    std::vector<std::thread> threads;
    const std::ptrdiff_t step = (n + parts - 1) / parts;
    for (std::ptrdiff_t k = 1; k < parts; ++k)
        threads.emplace_back(work, k * step, std::min(n, (k + 1) * step));
    work(0, std::min(n, step));
    for (std::thread& t : threads)
        t.join();
}

COLORREF CColorModel::ApplyToColour(COLORREF c)
{
    return CorrectPixel(c, Prepare(dY, dCb, dCr));
}

COLORREF CColorModel::ApplyTrialToColour(COLORREF c)
{
    return CorrectPixel(c, Prepare(dY + trialY, dCb + trialCb, dCr + trialCr));
}

int CColorModel::ApplyToArray(CPixelArray& pixels)
{
    if (!IsActive())
        return 1;
    CorrectRange(pixels.GetData(), pixels.GetData(), pixels.GetSize(), Prepare(dY, dCb, dCr));
    return 1;
}

int CColorModel::ApplyToArrayCopy(const CPixelArray& src, CPixelArray& dst)
{
    const std::ptrdiff_t n = src.GetSize();
    dst.SetSize(n);
    if (!IsActive()) {
        std::copy(src.GetData(), src.GetData() + n, dst.GetData());
        return 1;
    }
    CorrectRange(src.GetData(), dst.GetData(), n, Prepare(dY, dCb, dCr));
    return 1;
}

int CColorModel::ApplyTrialToArray(const CPixelArray& src, CPixelArray& dst, int n)
{
    const std::ptrdiff_t count = std::clamp<std::ptrdiff_t>(n, 0, src.GetSize());
    if (dst.GetSize() < count)
        dst.SetSize(count);
    CorrectRange(src.GetData(), dst.GetData(), count, Prepare(dY + trialY, dCb + trialCb, dCr + trialCr));
    return 1;
}

void CColorModel::MatchColours(COLORREF source, COLORREF target)
{
    double ys, cbs, crs, yt, cbt, crt;
    ToYCbCr(source, ys, cbs, crs);
    ToYCbCr(target, yt, cbt, crt);
    dY = GetCurveParam(R(ys), R(yt));
    dCb = cbt - cbs;
    dCr = crt - crs;
    trialY = trialCb = trialCr = 0.0;
}

void CColorModel::UpdateReference()
{
    ToYCbCr(refColour, refY, refCb, refCr);
}

void CColorModel::ClearOffsets()
{
    dY = dCb = dCr = 0.0;
    trialY = trialCb = trialCr = 0.0;
}

void CColorModel::CommitTrial()
{
    dY += trialY;
    dCb += trialCb;
    dCr += trialCr;
    trialY = trialCb = trialCr = 0.0;
}

COLORREF CColorModel::ToGrey(COLORREF c) const
{
    double y, cb, cr;
    ToYCbCr(c, y, cb, cr);
    const int g = ClampInt(R(y), 0, 255);
    return RGB(g, g, g);
}

int CColorModel::ColourDistance(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
           std::abs(GetBValue(a) - GetBValue(b));
}

COLORREF CColorModel::CombineLumaChroma(COLORREF a, COLORREF b) const
{
    double ya, cba, cra, yb, cbb, crb;
    ToYCbCr(a, ya, cba, cra);
    ToYCbCr(b, yb, cbb, crb);
    return FromYCbCr(ya, cbb, crb);
}

void CColorModel::BuildCurve(int a)
{
    if (a == curveParam)
        return;
    curveParam = a;
    if (a == 0) {
        for (int i = 0; i < 256; ++i)
            curve[i] = i;
        return;
    }
    // The knee k is mapped to 128 by two straight pieces; a positive a brightens.
    const int k = ClampInt(128 - a, 1, 254);
    for (int i = 0; i <= k; ++i)
        curve[i] = i * 128 / k;
    for (int i = k; i < 256; ++i)
        curve[i] = 255 - (255 - i) * 127 / (255 - k);
}

int CColorModel::GetCurveParam(int a, int b)
{
    if (a < 1 || a > 254 || b < 1 || b > 254)
        return 0;
    int v;
    if (b > 128)
        v = (b - a) * 255 / (2 * (255 - b));
    else
        v = 128 - a * 128 / b;
    return ClampInt(v, -126, 126);
}

// Arithmetic of the shared value types.
#include "common/value_types.h"

#include <cmath>
#include <cstdlib>

namespace {

// The rounding bound of CDPoint::ToPoint: deliberately not the int limit.
constexpr double kPointLimit = 2.1e9;
constexpr int kPointLimitInt = 2100000000;

int RoundSaturated(double v)
{
    if (v > kPointLimit)
        return kPointLimitInt;
    if (!(v >= -kPointLimit))
        return -kPointLimitInt;
    return static_cast<int>(std::floor(v + 0.5));
}

int Clamp255(int v, bool* clamped)
{
    if (v < 0) { *clamped = true; return 0; }
    if (v > 255) { *clamped = true; return 255; }
    return v;
}

} // namespace

void CDPoint::Abs()
{
    x = std::fabs(x);
    y = std::fabs(y);
}

double CDPoint::Length() const { return std::hypot(x, y); }

bool CDPoint::IsSameAsPoint(CPoint p) const
{
    // Compared in double so that huge values cannot overflow the conversion.
    return std::trunc(x) == static_cast<double>(p.x) && std::trunc(y) == static_cast<double>(p.y);
}

CPoint CDPoint::ToPoint() const { return CPoint(RoundSaturated(x), RoundSaturated(y)); }

void CDPoint::Rotate(double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double nx = c * x + s * y;
    const double ny = -s * x + c * y;
    x = nx;
    y = ny;
}

CPoint CDPoint::RotateToPoint(double angle) const
{
    CDPoint p = *this;
    p.Rotate(angle);
    return p.ToPoint();
}

void CRgbSum::SetColour(COLORREF c)
{
    r = GetRValue(c);
    g = GetGValue(c);
    b = GetBValue(c);
    count = 1;
}

void CRgbSum::AddColour(COLORREF c)
{
    r += GetRValue(c);
    g += GetGValue(c);
    b += GetBValue(c);
    count += 1;
}

void CRgbSum::AddColourWeighted(COLORREF c, int w)
{
    r += GetRValue(c) * w;
    g += GetGValue(c) * w;
    b += GetBValue(c) * w;
    count += w;
}

void CRgbSum::AddWeighted(int pr, int pg, int pb, int n, int w)
{
    r += pr * w;
    g += pg * w;
    b += pb * w;
    count += n * w;
}

void CRgbSum::DivideAll(int v)
{
    if (v == 0)
        v = 1;
    r /= v;
    g /= v;
    b /= v;
}

void CRgbSum::Max(const CRgbSum& o)
{
    r = std::max(r, o.r);
    g = std::max(g, o.g);
    b = std::max(b, o.b);
}

void CRgbSum::Min(const CRgbSum& o)
{
    r = std::min(r, o.r);
    g = std::min(g, o.g);
    b = std::min(b, o.b);
}

int CRgbSum::MaxComponent() const
{
    if (r > b && r > g)
        return r;
    if (g > b && g > r)
        return g;
    return b;
}

int CRgbSum::MinComponent() const
{
    if (r < b && r < g)
        return r;
    if (g < b && g < r)
        return g;
    return b;
}

CRgbSum CRgbSum::AbsDifference(int pr, int pg, int pb) const
{
    CRgbSum d;
    d.r = std::abs(r - pr);
    d.g = std::abs(g - pg);
    d.b = std::abs(b - pb);
    d.count = 1;
    return d;
}

int CRgbSum::DistanceSquared(int pr, int pg, int pb) const
{
    return (r - pr) * (r - pr) + (g - pg) * (g - pg) + (b - pb) * (b - pb);
}

bool CRgbSum::Average()
{
    bool ok = true;
    if (count <= 0) {
        count = 1;
        ok = false;
    }
    if (count > 1) {
        r /= count;
        g /= count;
        b /= count;
    }
    bool clamped = false;
    r = Clamp255(r, &clamped);
    g = Clamp255(g, &clamped);
    b = Clamp255(b, &clamped);
    count = 1;
    return ok && !clamped;
}

COLORREF CRgbSum::ToColour()
{
    if (count == 0)
        count = 1;
    bool clamped = false;
    int cr = r, cg = g, cb = b;
    if (count != 1) {
        cr /= count;
        cg /= count;
        cb /= count;
    }
    return RGB(Clamp255(cr, &clamped), Clamp255(cg, &clamped), Clamp255(cb, &clamped));
}

COLORREF CRgbSum::ToGreyColour()
{
    if (count == 0)
        count = 1;
    const int level = Clamp(((r + g + b) / count) / 3, 0, 255);
    return static_cast<COLORREF>(level) * 0x010101u;
}

int CRgbSum::ColourDistance(int pr, int pg, int pb, int n) const
{
    int r = this->r, g = this->g, b = this->b;
    if (count > 1) {
        r /= count;
        g /= count;
        b /= count;
    }
    const int own = r + g + b;
    if (own <= 2 || own >= 763)
        return -1;
    if (n > 1) {
        pr /= n;
        pg /= n;
        pb /= n;
    }
    const int other = pr + pg + pb;
    if (other > 2 && other < 763)
        return (r - pr) * (r - pr) + (g - pg) * (g - pg) + (b - pb) * (b - pb);
    return -1;
}

int ChannelAbsDistance(const int* rgb3, int r, int g, int b)
{
    return std::abs(rgb3[0] - r) + std::abs(rgb3[1] - g) + std::abs(rgb3[2] - b);
}

int Clamp(int v, int lo, int hi)
{
    if (v < lo)
        v = lo;
    if (v > hi)
        v = hi;
    return v;
}

void ClampInPlace(int* p, int lo, int hi) { *p = Clamp(*p, lo, hi); }

double ClampDouble(double v, double lo, double hi)
{
    if (!(v >= lo))
        v = lo;
    if (v > hi)
        v = hi;
    return v;
}

void ClampDoubleInPlace(double* p, double lo, double hi) { *p = ClampDouble(*p, lo, hi); }

void ClampPointToRect(CPoint* p, int left, int top, int right, int bottom)
{
    p->x = Clamp(p->x, left, right);
    p->y = Clamp(p->y, top, bottom);
}

void ClampPointInsideMargin(CRect r, CPoint* p, int margin)
{
    r.DeflateRect(margin, margin);
    if (!r.PtInRect(*p))
        ClampPointToRect(p, r.left, r.top, r.right, r.bottom);
}

CPoint OffsetPoint(CPoint* p, int dx, int dy)
{
    p->x += dx;
    p->y += dy;
    return *p;
}

CPoint PointTimesInt(CPoint p, int n) { return CPoint(p.x * n, p.y * n); }
void PointMultiplyBy(CPoint* p, int n) { *p = PointTimesInt(*p, n); }
CPoint PointDividedBy(CPoint p, int n) { return CPoint(p.x / n, p.y / n); }
void PointDivideBy(CPoint* p, int n) { *p = PointDividedBy(*p, n); }

void SetIntPair(int* pair, int a, int b)
{
    pair[0] = a;
    pair[1] = b;
}

void RectMultiplyBy(CRect* r, int n) { r->SetRect(r->left * n, r->top * n, r->right * n, r->bottom * n); }
void RectDivideBy(CRect* r, int n) { r->SetRect(r->left / n, r->top / n, r->right / n, r->bottom / n); }

CRect RectDividedBy(CRect r, int n)
{
    RectDivideBy(&r, n);
    return r;
}

void ScaleRectInPlace(CRect* r, double f)
{
    r->SetRect(static_cast<int>(r->left * f), static_cast<int>(r->top * f), static_cast<int>(r->right * f),
               static_cast<int>(r->bottom * f));
}

bool IsSameSizeAnyTurn(CRect a, CRect b)
{
    return (a.Width() == b.Width() && a.Height() == b.Height()) || (a.Width() == b.Height() && a.Height() == b.Width());
}

double DistanceD(double x1, double y1, double x2, double y2) { return std::hypot(x1 - x2, y1 - y2); }

double DistanceInt(int x1, int y1, int x2, int y2)
{
    return std::hypot(static_cast<double>(x1 - x2), static_cast<double>(y1 - y2));
}

int DistanceSquared(int x1, int y1, int x2, int y2) { return (x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2); }

double SegmentLength(const CRect& seg)
{
    const double dx = static_cast<double>(seg.left) - seg.right;
    const double dy = static_cast<double>(seg.top) - seg.bottom;
    return std::sqrt(dx * dx + dy * dy) + 1e-9;
}

double SegmentLengthD(CDPoint a, CDPoint b)
{
    const double dx = a.x - b.x, dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy) + 1e-9;
}

void MaxAbsOfDoublePoints(CDPoint p, double* running)
{
    if (std::fabs(p.x) > *running)
        *running = std::fabs(p.x);
    if (std::fabs(p.y) > *running)
        *running = std::fabs(p.y);
}

int Min4(int a, int b, int c, int d) { return std::min(std::min(a, b), std::min(c, d)); }
int Max4(int a, int b, int c, int d) { return std::max(std::max(a, b), std::max(c, d)); }
double MinDouble4(double a, double b, double c, double d) { return std::min(std::min(a, b), std::min(c, d)); }

int MinNonZero(const int* v, int n)
{
    int best = 2100000000;
    for (int i = 0; i < n; ++i)
        if (v[i] != 0 && v[i] < best)
            best = v[i];
    return best;
}

int MaxNonZero(const int* v, int n)
{
    int best = -2100000000;
    for (int i = 0; i < n; ++i)
        if (v[i] != 0 && v[i] > best)
            best = v[i];
    return best;
}

int RatioDecibels(double a, double b)
{
    if (a >= b && a > 0 && b > 0)
        return static_cast<int>(10.0 * std::log10(a / b));
    return 0;
}

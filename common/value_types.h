// Small value types shared by the codecs, the picture set and the engine: a point of two
// doubles, a vector of three doubles, an RGB accumulator, the labelled point that carries a
// picture being added, and integer/double clamps and point/rectangle arithmetic.
// Integer division truncates toward zero; a double converted to int truncates unless said.
#pragma once

#include <cstdint>
#include <string>

#include "common/basic_types.h"

struct CDPoint {
    double x = 0.0;
    double y = 0.0;

    constexpr CDPoint() = default;
    constexpr CDPoint(double px, double py) : x(px), y(py) {}
    constexpr explicit CDPoint(CPoint p) : x(p.x), y(p.y) {}

    void Set(double v) { x = y = v; }
    void SetFromPair(double v) { Set(v); }
    void Fill(int n) { x = y = static_cast<double>(n); }
    CDPoint& operator+=(const CDPoint& o) { x += o.x; y += o.y; return *this; }
    void Add(const CDPoint& o) { *this += o; }
    void AddInt(CPoint p) { x += p.x; y += p.y; }
    CDPoint& operator-=(const CDPoint& o) { x -= o.x; y -= o.y; return *this; }
    CDPoint operator-(const CDPoint& o) const { return {x - o.x, y - o.y}; }
    CDPoint operator+(const CDPoint& o) const { return {x + o.x, y + o.y}; }
    void Scale(double f) { x *= f; y *= f; }
    CDPoint Scaled(double f) const { return {x * f, y * f}; }
    // No guard against d = 0.
    void DivideBy(double d) { x /= d; y /= d; }
    CDPoint operator/(double d) const { return {x / d, y / d}; }
    void Abs();
    bool Equals(const CDPoint& o) const { return x == o.x && y == o.y; }
    bool operator==(const CDPoint& o) const { return Equals(o); }
    bool operator!=(const CDPoint& o) const { return !Equals(o); }
    double Length() const;
    // x and y, each truncated toward zero, equal p.x and p.y.
    bool IsSameAsPoint(CPoint p) const;
    // Rounds with floor(v + 0.5) and saturates at +-2100000000 (NaN gives -2100000000).
    CPoint ToPoint() const;
    CPoint Round() const { return ToPoint(); }
    CPoint RoundToPoint() const { return ToPoint(); }
    // x' = cos(t)x + sin(t)y, y' = -sin(t)x + cos(t)y.
    void Rotate(double angle);
    CPoint RotateToPoint(double angle) const;
};

struct CVec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    constexpr CVec3() = default;
    constexpr CVec3(double px, double py, double pz) : x(px), y(py), z(pz) {}
};

// An RGB accumulator: a plain colour (count 1) or the sum of count (weighted) colours.
struct CRgbSum {
    int32_t r = 0;
    int32_t g = 0;
    int32_t b = 0;
    int32_t count = 0;

    void Clear() { r = g = b = count = 0; }
    void SetColour(COLORREF c);
    void SetGrey(int v) { r = g = b = v; count = 1; }
    int GetGreyLevel() const { return (r + g + b) / 3; }
    void AddColour(COLORREF c);
    void AddColourWeighted(COLORREF c, int w);
    void AddWeighted(int pr, int pg, int pb, int n, int w);
    void AddToAll(int v) { r += v; g += v; b += v; }
    void SubtractFromAll(int v) { r -= v; g -= v; b -= v; }
    void MultiplyAll(int v) { r *= v; g *= v; b *= v; }
    void DivideAll(int v);
    bool EqualsRgb(int pr, int pg, int pb) const { return r == pr && g == pg && b == pb; }
    void Max(const CRgbSum& o);
    void Min(const CRgbSum& o);
    int MaxComponent() const;
    int MinComponent() const;
    CRgbSum AbsDifference(int pr, int pg, int pb) const;
    int DistanceSquared(int pr, int pg, int pb) const;
    // Divides by count and clamps to 0..255; true only when count was positive and nothing
    // had to be clamped. count ends as 1.
    bool Average();
    COLORREF ToColour();
    COLORREF ToGreyColour();
    // Squared distance of two averaged colours, -1 when either is too dark or too bright.
    // Neither this sum nor the other colour changes, so repeated calls agree.
    int ColourDistance(int pr, int pg, int pb, int n) const;
};

// |r0 - r| + |r1 - g| + |r2 - b| for a record of three ints.
int ChannelAbsDistance(const int* rgb3, int r, int g, int b);

// The description of a picture handed to the picture set when pictures are added.
struct LabeledPoint {
    std::string name;
    CPoint pos;
    int32_t v1 = 0;
    int32_t v2 = 0;
    int32_t v3 = 0;
    int32_t v4 = 0;
    int32_t v5 = 0;
    void Set(const std::string& n, int x, int y)
    {
        name = n;
        pos = CPoint(x, y);
        v1 = 4;
        v2 = 0;
        v4 = 0;
        v5 = 0;
    }
};

// A point identifier with a double and an int position.
struct PointEntry {
    int32_t id = 0;
    CDPoint pos;
    CPoint ipos;
};

// The picture set's row estimate: seven doubles.
struct TwoPointRecord {
    double v[7] = {0, 0, 0, 0, 0, 0, 0};
    void Reset()
    {
        for (double& d : v)
            d = 0.0;
    }
};

int Clamp(int v, int lo, int hi);
void ClampInPlace(int* p, int lo, int hi);
double ClampDouble(double v, double lo, double hi);
void ClampDoubleInPlace(double* p, double lo, double hi);
void ClampPointToRect(CPoint* p, int left, int top, int right, int bottom);
void ClampPointInsideMargin(CRect r, CPoint* p, int margin);
CPoint OffsetPoint(CPoint* p, int dx, int dy);
CPoint PointTimesInt(CPoint p, int n);
void PointMultiplyBy(CPoint* p, int n);
CPoint PointDividedBy(CPoint p, int n);
void PointDivideBy(CPoint* p, int n);
void SetIntPair(int* pair, int a, int b);
void RectMultiplyBy(CRect* r, int n);
void RectDivideBy(CRect* r, int n);
CRect RectDividedBy(CRect r, int n);
void ScaleRectInPlace(CRect* r, double f);
bool IsSameSizeAnyTurn(CRect a, CRect b);
double DistanceD(double x1, double y1, double x2, double y2);
double DistanceInt(int x1, int y1, int x2, int y2);
int DistanceSquared(int x1, int y1, int x2, int y2);
// Length of the segment (left, top)-(right, bottom) plus 1e-9.
double SegmentLength(const CRect& seg);
double SegmentLengthD(CDPoint a, CDPoint b);
void MaxAbsOfDoublePoints(CDPoint p, double* running);
int Min4(int a, int b, int c, int d);
int Max4(int a, int b, int c, int d);
double MinDouble4(double a, double b, double c, double d);
int MinNonZero(const int* v, int n);
int MaxNonZero(const int* v, int n);
int RatioDecibels(double a, double b);

// One point mark of the picture set, drawn by the work view: a point on the work space, a
// picture number and a flag.
struct MarkPoint {
    int32_t x = 0;
    int32_t y = 0;
    int32_t picture = 0;
    int32_t flag = 1;
};

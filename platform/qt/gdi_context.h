// A drawing context on a QImage with the conventions the views are written for: rectangles
// and fills leave out their right and bottom edges, a line leaves out its end point, one
// current pen, brush and font, a current position, a text colour and background mode, and a
// clip region. Colours are program colours (COLORREF); pens of width 1 are drawn pixel by
// pixel so that the covered pixels are exact.
#pragma once

#include <QFont>
#include <QImage>
#include <QRegion>
#include <QString>

#include <string>
#include <vector>

#include "common/basic_types.h"

namespace platform::qt {

enum PenStyle { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_NULL = 5 };
enum BkMode { TRANSPARENT = 1, OPAQUE = 2 };
enum RasterOp : unsigned { SRCCOPY = 0x00CC0020, SRCAND = 0x008800C6, SRCPAINT = 0x00EE0086, SRCINVERT = 0x00660046 };
// Text layout flags.
enum : unsigned {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_NOCLIP = 0x100,
};
// Edge kinds of DrawEdge.
enum : unsigned { EDGE_RAISED = 0x5, EDGE_SUNKEN = 0xA };

struct CPen {
    int style = PS_SOLID;
    int width = 1;
    COLORREF colour = 0;
};

struct CBrush {
    bool null = false;  // a hollow brush fills nothing
    COLORREF colour = 0xFFFFFF;
    static CBrush Hollow() { return {true, 0}; }
    static CBrush Solid(COLORREF c) { return {false, c}; }
};

struct CFontSpec {
    std::string face = "Liberation Sans";
    int pointSize = 9;  // positive: points; the pixel height wins when set
    int pixelHeight = 0;
    bool bold = false;
    bool italic = false;
};

// A region made of rectangles (right and bottom exclusive).
class CRgn {
public:
    CRgn() = default;
    explicit CRgn(const CRect& r);
    void Union(const CRect& r);
    void Subtract(const CRect& r);
    void Intersect(const CRect& r);
    bool IsEmpty() const { return m_region.isEmpty(); }
    bool PtInRegion(CPoint p) const;
    CRect Box() const;
    const QRegion& Region() const { return m_region; }

private:
    QRegion m_region;
};

class CGdiContext {
public:
    // Draws into `target`, which must outlive the context and be in a 32-bit format.
    explicit CGdiContext(QImage& target);

    QImage& Image() { return m_image; }
    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }

    CPen SelectPen(const CPen& pen);
    CBrush SelectBrush(const CBrush& brush);
    CFontSpec SelectFont(const CFontSpec& font);
    COLORREF SetTextColor(COLORREF c);
    COLORREF SetBkColor(COLORREF c);
    int SetBkMode(int mode);

    // Pixels.
    void SetPixel(int x, int y, COLORREF c);
    // The pixel's colour, or 0xFFFFFFFF (CLR_INVALID) outside the image or the clip.
    COLORREF GetPixel(int x, int y) const;

    // Lines with the current pen from the current position; the end point is not drawn.
    CPoint MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const std::vector<CPoint>& points);

    // Shapes: outlined with the pen inside (left, top) to (right - 1, bottom - 1) and filled
    // with the brush.
    void Rectangle(const CRect& r);
    void Ellipse(const CRect& r);
    void Polygon(const std::vector<CPoint>& points);
    // Fill without an outline; the right and bottom edges are left out.
    void FillSolidRect(const CRect& r, COLORREF c);
    void FillRect(const CRect& r, const CBrush& brush);
    void FrameRect(const CRect& r, COLORREF c);
    void Draw3dRect(const CRect& r, COLORREF topLeft, COLORREF bottomRight);
    void DrawEdge(const CRect& r, unsigned edge);
    void InvertRect(const CRect& r);
    void FillRgn(const CRgn& rgn, const CBrush& brush);

    // Blits from another image; source pixels outside the source are left out.
    void BitBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, unsigned rop = SRCCOPY);
    void StretchBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw, int sh);

    // Texts (UTF-8): TextOut places the top-left of the text at (x, y).
    void TextOut(int x, int y, const std::string& text);
    void DrawText(const std::string& text, const CRect& r, unsigned format);
    CSize GetTextExtent(const std::string& text) const;

    // Clipping: nothing outside the clip region is drawn. An empty optional region clips to
    // the whole image.
    void SelectClipRgn(const CRgn* rgn);
    void IntersectClipRect(const CRect& r);

private:
    bool InClip(int x, int y) const;
    void PlotPenPixel(int x, int y, int step);
    void Line(CPoint a, CPoint b);
    QFont MakeFont() const;
    template <class F>
    void WithPainter(F&& f);

    QImage& m_image;
    CPen m_pen;
    CBrush m_brush;
    CFontSpec m_font;
    COLORREF m_textColour = 0;
    COLORREF m_bkColour = 0xFFFFFF;
    int m_bkMode = OPAQUE;
    CPoint m_pos;
    bool m_clipped = false;
    QRegion m_clip;
};

// Qt font of a font description, the nearest family the system has.
QFont MakeQFont(const CFontSpec& spec);

} // namespace platform::qt

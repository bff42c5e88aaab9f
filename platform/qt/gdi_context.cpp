// Drawing on a QImage with exclusive right, bottom and end pixels.
#include "platform/qt/gdi_context.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <algorithm>
#include <cstdlib>

#include "platform/qt/qt_colour.h"

namespace platform::qt {
namespace {

QRect ToQRect(const CRect& r)
{
    // QRect(x, y, w, h) covers x .. x + w - 1: the same pixels as the exclusive rectangle.
    return QRect(r.left, r.top, r.Width(), r.Height());
}

bool HasWord(std::string& face, const std::string& word)
{
    const size_t at = face.find(word);
    if (at == std::string::npos)
        return false;
    face.erase(at, word.size());
    return true;
}

std::string Trimmed(const std::string& s)
{
    size_t b = s.find_first_not_of(' ');
    size_t e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

} // namespace

CRgn::CRgn(const CRect& r) : m_region(r.IsRectEmpty() ? QRegion() : QRegion(ToQRect(r))) {}

void CRgn::Union(const CRect& r)
{
    if (!r.IsRectEmpty())
        m_region = m_region.united(ToQRect(r));
}

void CRgn::Subtract(const CRect& r)
{
    if (!r.IsRectEmpty())
        m_region = m_region.subtracted(QRegion(ToQRect(r)));
}

void CRgn::Intersect(const CRect& r)
{
    m_region = r.IsRectEmpty() ? QRegion() : m_region.intersected(ToQRect(r));
}

bool CRgn::PtInRegion(CPoint p) const { return m_region.contains(QPoint(p.x, p.y)); }

CRect CRgn::Box() const
{
    if (m_region.isEmpty())
        return {};
    const QRect b = m_region.boundingRect();
    return {b.x(), b.y(), b.x() + b.width(), b.y() + b.height()};
}

QFont MakeQFont(const CFontSpec& spec)
{
    // Face names may carry the style ("Courier New Bold Italic").
    std::string face = spec.face;
    const bool bold = HasWord(face, "Bold") || spec.bold;
    const bool italic = HasWord(face, "Italic") || spec.italic;
    QFont f(QString::fromStdString(Trimmed(face)));
    if (spec.pixelHeight > 0)
        f.setPixelSize(spec.pixelHeight);
    else
        f.setPointSize(spec.pointSize > 0 ? spec.pointSize : 9);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

CGdiContext::CGdiContext(QImage& target) : m_image(target)
{
    if (m_image.format() != QImage::Format_RGB32 && m_image.format() != QImage::Format_ARGB32 &&
        m_image.format() != QImage::Format_ARGB32_Premultiplied)
        m_image = m_image.convertToFormat(QImage::Format_RGB32);
}

CPen CGdiContext::SelectPen(const CPen& pen)
{
    CPen old = m_pen;
    m_pen = pen;
    return old;
}

CBrush CGdiContext::SelectBrush(const CBrush& brush)
{
    CBrush old = m_brush;
    m_brush = brush;
    return old;
}

CFontSpec CGdiContext::SelectFont(const CFontSpec& font)
{
    CFontSpec old = m_font;
    m_font = font;
    return old;
}

COLORREF CGdiContext::SetTextColor(COLORREF c)
{
    COLORREF old = m_textColour;
    m_textColour = c;
    return old;
}

COLORREF CGdiContext::SetBkColor(COLORREF c)
{
    COLORREF old = m_bkColour;
    m_bkColour = c;
    return old;
}

int CGdiContext::SetBkMode(int mode)
{
    int old = m_bkMode;
    m_bkMode = mode;
    return old;
}

bool CGdiContext::InClip(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return false;
    return !m_clipped || m_clip.contains(QPoint(x, y));
}

void CGdiContext::SetPixel(int x, int y, COLORREF c)
{
    if (InClip(x, y))
        reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] = ToQRgb(c);
}

COLORREF CGdiContext::GetPixel(int x, int y) const
{
    if (!InClip(x, y))
        return 0xFFFFFFFFu;
    return FromQRgb(reinterpret_cast<const QRgb*>(m_image.constScanLine(y))[x]);
}

CPoint CGdiContext::MoveTo(int x, int y)
{
    CPoint old = m_pos;
    m_pos = {x, y};
    return old;
}

void CGdiContext::PlotPenPixel(int x, int y, int step)
{
    // Dashes: 18 on, 6 off; dots: 3 on, 3 off (counted along the line). The gaps take the
    // background colour in the opaque background mode and are left alone in the transparent one.
    const bool gap = (m_pen.style == PS_DASH && step % 24 >= 18) || (m_pen.style == PS_DOT && step % 6 >= 3);
    if (!gap)
        SetPixel(x, y, m_pen.colour);
    else if (m_bkMode == OPAQUE)
        SetPixel(x, y, m_bkColour);
}

void CGdiContext::Line(CPoint a, CPoint b)
{
    if (m_pen.style == PS_NULL)
        return;
    if (m_pen.width <= 1) {
        // Bresenham from a towards b; b itself is not drawn.
        int x = a.x, y = a.y;
        const int dx = std::abs(b.x - a.x), sx = a.x < b.x ? 1 : -1;
        const int dy = -std::abs(b.y - a.y), sy = a.y < b.y ? 1 : -1;
        int err = dx + dy;
        for (int step = 0; !(x == b.x && y == b.y); ++step) {
            PlotPenPixel(x, y, step);
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
        return;
    }
    WithPainter([&](QPainter& p) {
        QPen pen(ToQColor(m_pen.colour), m_pen.width, m_pen.style == PS_DASH ? Qt::DashLine
                                                       : m_pen.style == PS_DOT ? Qt::DotLine
                                                                               : Qt::SolidLine,
                 Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.drawLine(QPointF(a.x + 0.5, a.y + 0.5), QPointF(b.x + 0.5, b.y + 0.5));
    });
}

void CGdiContext::LineTo(int x, int y)
{
    Line(m_pos, {x, y});
    m_pos = {x, y};
}

void CGdiContext::Polyline(const std::vector<CPoint>& points)
{
    for (size_t i = 1; i < points.size(); ++i)
        Line(points[i - 1], points[i]);
}

template <class F>
void CGdiContext::WithPainter(F&& f)
{
    QPainter p(&m_image);
    if (m_clipped)
        p.setClipRegion(m_clip);
    f(p);
}

void CGdiContext::Rectangle(const CRect& r)
{
    if (r.IsRectEmpty())
        return;
    if (!m_brush.null)
        FillSolidRect(r, m_brush.colour);
    if (m_pen.style == PS_NULL)
        return;
    // The outline lies inside the rectangle.
    const int l = r.left, t = r.top, rr = r.right - 1, b = r.bottom - 1;
    for (int w = 0; w < std::max(1, m_pen.width) && l + w <= rr - w && t + w <= b - w; ++w) {
        CPen saved = m_pen;
        m_pen.width = 1;
        Line({l + w, t + w}, {rr - w, t + w});
        Line({rr - w, t + w}, {rr - w, b - w});
        Line({rr - w, b - w}, {l + w, b - w});
        Line({l + w, b - w}, {l + w, t + w});
        m_pen = saved;
    }
    if (r.Width() == 1 || r.Height() == 1)
        FillSolidRect(r, m_pen.colour);
}

void CGdiContext::Ellipse(const CRect& r)
{
    if (r.IsRectEmpty())
        return;
    WithPainter([&](QPainter& p) {
        if (m_pen.style == PS_NULL)
            p.setPen(Qt::NoPen);
        else
            p.setPen(QPen(ToQColor(m_pen.colour), std::max(1, m_pen.width)));
        if (m_brush.null)
            p.setBrush(Qt::NoBrush);
        else
            p.setBrush(ToQColor(m_brush.colour));
        // The outline runs through the centres of the outer pixels.
        p.drawEllipse(QRectF(r.left + 0.5, r.top + 0.5, r.Width() - 1.0, r.Height() - 1.0));
    });
}

void CGdiContext::Polygon(const std::vector<CPoint>& points)
{
    if (points.size() < 2)
        return;
    QPolygon poly;
    for (const CPoint& pt : points)
        poly << QPoint(pt.x, pt.y);
    if (!m_brush.null) {
        WithPainter([&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(ToQColor(m_brush.colour));
            p.drawPolygon(poly);
        });
    }
    for (size_t i = 0; i < points.size(); ++i)
        Line(points[i], points[(i + 1) % points.size()]);
}

void CGdiContext::FillSolidRect(const CRect& r, COLORREF c)
{
    if (r.IsRectEmpty())
        return;
    const QRgb q = ToQRgb(c);
    const int x0 = std::max(0, r.left), x1 = std::min(m_image.width(), r.right);
    const int y0 = std::max(0, r.top), y1 = std::min(m_image.height(), r.bottom);
    for (int y = y0; y < y1; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        if (!m_clipped) {
            std::fill(line + std::min(x0, x1), line + x1, q);
            continue;
        }
        for (int x = x0; x < x1; ++x)
            if (m_clip.contains(QPoint(x, y)))
                line[x] = q;
    }
}

void CGdiContext::FillRect(const CRect& r, const CBrush& brush)
{
    if (!brush.null)
        FillSolidRect(r, brush.colour);
}

void CGdiContext::FrameRect(const CRect& r, COLORREF c)
{
    if (r.IsRectEmpty())
        return;
    FillSolidRect({r.left, r.top, r.right, r.top + 1}, c);
    FillSolidRect({r.left, r.bottom - 1, r.right, r.bottom}, c);
    FillSolidRect({r.left, r.top, r.left + 1, r.bottom}, c);
    FillSolidRect({r.right - 1, r.top, r.right, r.bottom}, c);
}

void CGdiContext::Draw3dRect(const CRect& r, COLORREF topLeft, COLORREF bottomRight)
{
    if (r.IsRectEmpty())
        return;
    FillSolidRect({r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillSolidRect({r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillSolidRect({r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillSolidRect({r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

void CGdiContext::DrawEdge(const CRect& r, unsigned edge)
{
    const COLORREF light = RGB(255, 255, 255), shadow = RGB(128, 128, 128), dark = RGB(64, 64, 64),
                   face = RGB(223, 223, 223);
    CRect in = r;
    if (edge == EDGE_SUNKEN) {
        Draw3dRect(in, shadow, light);
        in.DeflateRect(1, 1);
        Draw3dRect(in, dark, face);
    } else {
        Draw3dRect(in, face, dark);
        in.DeflateRect(1, 1);
        Draw3dRect(in, light, shadow);
    }
}

void CGdiContext::InvertRect(const CRect& r)
{
    const int x0 = std::max(0, r.left), x1 = std::min(m_image.width(), r.right);
    const int y0 = std::max(0, r.top), y1 = std::min(m_image.height(), r.bottom);
    for (int y = y0; y < y1; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        for (int x = x0; x < x1; ++x)
            if (!m_clipped || m_clip.contains(QPoint(x, y)))
                line[x] = 0xFF000000u | (~line[x] & 0xFFFFFFu);
    }
}

void CGdiContext::FillRgn(const CRgn& rgn, const CBrush& brush)
{
    if (brush.null)
        return;
    for (const QRect& q : rgn.Region())
        FillSolidRect({q.x(), q.y(), q.x() + q.width(), q.y() + q.height()}, brush.colour);
}

void CGdiContext::BitBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, unsigned rop)
{
    if (w <= 0 || h <= 0)
        return;
    const QImage s = src.format() == QImage::Format_RGB32 || src.format() == QImage::Format_ARGB32
                         ? src
                         : src.convertToFormat(QImage::Format_RGB32);
    if (rop == SRCCOPY && !m_clipped) {
        // A plain copy without a clip region: the rectangle clamped to both images once, then
        // whole rows at a time (a frame of the work view copies millions of pixels).
        const int c0 = std::max({0, -sx, -x}), c1 = std::min({w, s.width() - sx, m_image.width() - x});
        const int r0 = std::max({0, -sy, -y}), r1 = std::min({h, s.height() - sy, m_image.height() - y});
        for (int row = r0; row < r1; ++row) {
            const QRgb* in = reinterpret_cast<const QRgb*>(s.constScanLine(sy + row)) + sx;
            QRgb* out = reinterpret_cast<QRgb*>(m_image.scanLine(y + row)) + x;
            for (int col = c0; col < c1; ++col)
                out[col] = 0xFF000000u | in[col];
        }
        return;
    }
    for (int row = 0; row < h; ++row) {
        const int syy = sy + row, dy = y + row;
        if (syy < 0 || syy >= s.height() || dy < 0 || dy >= m_image.height())
            continue;
        const QRgb* in = reinterpret_cast<const QRgb*>(s.constScanLine(syy));
        QRgb* out = reinterpret_cast<QRgb*>(m_image.scanLine(dy));
        for (int col = 0; col < w; ++col) {
            const int sxx = sx + col, dx = x + col;
            if (sxx < 0 || sxx >= s.width() || !InClip(dx, dy))
                continue;
            const QRgb a = in[sxx] & 0xFFFFFFu, b = out[dx] & 0xFFFFFFu;
            QRgb v = a;
            switch (rop) {
            case SRCAND: v = a & b; break;
            case SRCPAINT: v = a | b; break;
            case SRCINVERT: v = a ^ b; break;
            default: break;
            }
            out[dx] = 0xFF000000u | v;
        }
    }
}

void CGdiContext::StretchBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy, int sw, int sh)
{
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0)
        return;
    // Nearest source pixel for each target pixel ("colour on colour").
    for (int row = 0; row < h; ++row) {
        const int syy = sy + static_cast<int>(static_cast<int64_t>(row) * sh / h);
        const int dy = y + row;
        if (syy < 0 || syy >= src.height() || dy < 0 || dy >= m_image.height())
            continue;
        QRgb* out = reinterpret_cast<QRgb*>(m_image.scanLine(dy));
        for (int col = 0; col < w; ++col) {
            const int sxx = sx + static_cast<int>(static_cast<int64_t>(col) * sw / w);
            const int dx = x + col;
            if (sxx < 0 || sxx >= src.width() || !InClip(dx, dy))
                continue;
            out[dx] = 0xFF000000u | src.pixel(sxx, syy);
        }
    }
}

QFont CGdiContext::MakeFont() const { return MakeQFont(m_font); }

void CGdiContext::TextOut(int x, int y, const std::string& text)
{
    const QString s = QString::fromStdString(text);
    WithPainter([&](QPainter& p) {
        p.setFont(MakeFont());
        const QFontMetrics fm(p.font());
        const QRect box(x, y, fm.horizontalAdvance(s), fm.height());
        if (m_bkMode == OPAQUE)
            p.fillRect(box, ToQColor(m_bkColour));
        p.setPen(ToQColor(m_textColour));
        p.drawText(QPoint(x, y + fm.ascent()), s);
    });
}

void CGdiContext::DrawText(const std::string& text, const CRect& r, unsigned format)
{
    const QString s = QString::fromStdString(text);
    int flags = 0;
    flags |= (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
    if (format & DT_SINGLELINE)
        flags |= (format & DT_VCENTER) ? Qt::AlignVCenter : (format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
    else
        flags |= Qt::AlignTop;
    if (format & DT_WORDBREAK)
        flags |= Qt::TextWordWrap;
    // Qt cuts text at the rectangle unless told not to; without DT_NOCLIP it is cut below.
    if (format & DT_NOCLIP)
        flags |= Qt::TextDontClip;
    WithPainter([&](QPainter& p) {
        p.setFont(MakeFont());
        const QRect box = ToQRect(r);
        if (!(format & DT_NOCLIP))
            p.setClipRect(box, m_clipped ? Qt::IntersectClip : Qt::ReplaceClip);
        if (m_bkMode == OPAQUE)
            p.fillRect(p.boundingRect(box, flags, s), ToQColor(m_bkColour));
        p.setPen(ToQColor(m_textColour));
        p.drawText(box, flags, s);
    });
}

CSize CGdiContext::GetTextExtent(const std::string& text) const
{
    const QFontMetrics fm(MakeFont());
    const QString s = QString::fromStdString(text);
    return {fm.horizontalAdvance(s), fm.height()};
}

void CGdiContext::SelectClipRgn(const CRgn* rgn)
{
    m_clipped = rgn != nullptr;
    m_clip = rgn ? rgn->Region() : QRegion();
}

void CGdiContext::IntersectClipRect(const CRect& r)
{
    const QRegion q = r.IsRectEmpty() ? QRegion() : QRegion(ToQRect(r));
    m_clip = m_clipped ? m_clip.intersected(q) : q;
    m_clipped = true;
}

} // namespace platform::qt

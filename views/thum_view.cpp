// The picture information view: thumbnail, information lines, timer dial and the start of a
// thumbnail drag. Printing is in thum_print.cpp.
#include "views/thum_view.h"

#include <QFontMetrics>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/value_types.h"
#include "imagefile/pixel_ops.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "platform/clock.h"
#include "platform/qt/input_filter.h"
#include "platform/qt/job_pump.h"
#include "platform/qt/resources.h"
#include "platform/status_bar.h"
#include "views/display_service.h"

using platform::qt::CBrush;
using platform::qt::CFontSpec;
using platform::qt::CGdiContext;
using platform::qt::CPen;

int CThumView::s_n16BitFormat = 0;

namespace {

constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 120;
constexpr int kThumbPixels = kThumbWidth * kThumbHeight;
constexpr int kLinePitch = 20;

// The upper-cased text after the last separator.
std::string UpperFileName(const std::string& path)
{
    std::string name = path;
    const size_t cut = path.find_last_of("/\\");
    if (cut != std::string::npos)
        name = path.substr(cut + 1);
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return name;
}

// The system's stock fonts: a proportional one for the idle banner and a fixed one for the
// file details.
CFontSpec SystemFont()
{
    CFontSpec f;
    f.face = "Liberation Sans";
    f.pixelHeight = 16;
    f.bold = true;
    return f;
}

// The information lines: a regular face small enough that a photo's lines fit beside or under
// its thumbnail in the pane's first width.
CFontSpec InfoFont()
{
    CFontSpec f;
    f.face = "Liberation Sans";
    f.pixelHeight = 12;
    return f;
}

CFontSpec SystemFixedFont()
{
    CFontSpec f;
    f.face = "Liberation Mono";
    f.pixelHeight = 15;
    return f;
}

} // namespace

CThumView::CThumView(QWidget* parent) : CSurfaceWidget(parent)
{
    setObjectName(QStringLiteral("CThumView"));
    SetBackground(m_brBack);
    setMouseTracking(true);
    setMinimumSize(1, 1);
}

CThumView::~CThumView() = default;

CSmDoc* CThumView::GetDoc() const { return dynamic_cast<CSmDoc*>(GetDocument()); }

// ---- Initial update and hints ------------------------------------------------------------------

void CThumView::OnInitialUpdate()
{
    if (m_bInitialized == 1)
        return;
    const views::DisplayInfo display = views::GetDisplayInfo();
    m_nBytesPerPixel = 0;
    m_bmThumb = CBitmapBuffer(kThumbWidth, kThumbHeight, display.bitsPerPixel);
    if (!m_bmThumb.IsNull())
        m_nBytesPerPixel = m_bmThumb.BitsPerPixel() / 8;
    m_bInitialized = 1;
    // The clock face is drawn once into its bitmap.
    m_bmDial = QImage(kThumbWidth, kThumbHeight, QImage::Format_RGB32);
    {
        CGdiContext face(m_bmDial);
        DrawDialFace(face, 0, 0);
    }
    m_nPaneMode = 0;
    m_nShown = -1;
    m_brBack = Background();
}

void CThumView::OnUpdate(IDocumentView*, int hint, const HintObject& object)
{
    CSmDoc* doc = GetDoc();
    if (doc)
        doc->m_refreshFlags[1] = 0;
    switch (hint) {
    case HINT_FINDER_SELECT: {
        if (!doc)
            return;
        const int n = doc->m_currentEntry;
        if (n == m_nShown) {
            if (n >= 0 && n < int(doc->m_entries.size()) && doc->m_entries[size_t(n)].m_Name != m_strShownName) {
                SetThumbnail(n);
                Invalidate(true);
            }
        } else if (SetThumbnail(n) > 0) {
            Invalidate(false);
        } else {
            // A picture without a thumbnail is shown by its file details, and no picture (one
            // that could not be read) by the banner: the previous photo must not stay as if it
            // were the one chosen.
            m_nShown = n >= 0 && n < int(doc->m_entries.size()) ? n : -1;
            Invalidate(true);
        }
        break;
    }
    case HINT_RENDER_SETUP:
        Invalidate(true);
        break;
    case HINT_PRINT_PICTURE: {
        if (!object.path || !doc)
            return;
        m_strPrintFile = *object.path;
        const std::string kept = doc->UpdateTitleText(UpperFileName(m_strPrintFile));
        OnFilePrint();
        doc->UpdateTitleText(kept);
        break;
    }
    default:
        break;
    }
}

// ---- Thumbnail bitmap --------------------------------------------------------------------------

int CThumView::SetThumbnail(int entry)
{
    m_nThumbState = BuildThumbBitmap(m_bmThumb, entry);
    if (m_nThumbState > 0)
        m_nShown = entry;
    return m_nThumbState;
}

int CThumView::BuildThumbBitmap(CBitmapBuffer& bitmap, int entry)
{
    CSmDoc* doc = GetDoc();
    if (!doc || entry < 0 || entry >= int(doc->m_entries.size()))
        return -1;
    const CPixelArray& thumb = doc->m_entries[size_t(entry)].m_PixelCache;
    if (thumb.GetSize() != kThumbPixels)
        return -1;
    const views::DisplayInfo display = views::GetDisplayInfo();
    int bytes = bitmap.IsNull() ? 0 : bitmap.BitsPerPixel() / 8;
    if (bytes < 2 || bytes > 4) {
        bitmap = CBitmapBuffer(kThumbWidth, kThumbHeight, display.bitsPerPixel);
        bytes = bitmap.IsNull() ? 0 : bitmap.BitsPerPixel() / 8;
    }
    if (bitmap.IsNull())
        return -1;
    if (bytes == 2 && s_n16BitFormat == 0) {
        CDrawContext screen(16, display.layout16);
        const int format = GetBitmapPixelFormat(screen);
        s_n16BitFormat = format == 15 ? 15 : 16;
    }
    const int stride = bitmap.BytesPerRow();
    m_thumbBits.assign(size_t(stride) * kThumbHeight, 0);
    int packed = -1;
    switch (bytes) {
    case 4: packed = PackPixelsBgrx32(thumb, m_thumbBits.data(), stride, kThumbWidth, kThumbHeight); break;
    case 3: packed = PackPixelsBgr24(thumb, m_thumbBits.data(), stride, kThumbWidth, kThumbHeight); break;
    case 2:
        packed = s_n16BitFormat == 15 ? PackPixelsRgb555(thumb, m_thumbBits.data(), stride, kThumbWidth, kThumbHeight)
                                      : PackPixelsRgb565(thumb, m_thumbBits.data(), stride, kThumbWidth, kThumbHeight);
        break;
    default: break;
    }
    if (packed == 1 && bitmap.SetBits(m_thumbBits.data(), m_thumbBits.size()) == m_thumbBits.size())
        return 1;
    // A display format without packed rows: the pixels are set one by one, which the painting
    // does from the entry's thumbnail (it blits only bitmaps of 2, 3 or 4 bytes per pixel).
    return 1;
}

QImage CThumView::ThumbImage() const
{
    if (m_bmThumb.IsNull())
        return {};
    QImage::Format format;
    switch (m_bmThumb.BitsPerPixel()) {
    case 32: format = QImage::Format_RGB32; break;
    case 24: format = QImage::Format_BGR888; break;
    case 16: format = s_n16BitFormat == 15 ? QImage::Format_RGB555 : QImage::Format_RGB16; break;
    default: return {};
    }
    const QImage wrapped(m_bmThumb.Bits().data(), m_bmThumb.Width(), m_bmThumb.Height(), m_bmThumb.BytesPerRow(),
                         format);
    return wrapped.convertToFormat(QImage::Format_RGB32);
}

// ---- Painting ----------------------------------------------------------------------------------

void CThumView::RepaintNow()
{
    Invalidate(true);
    UpdateWindow();
}

void CThumView::resizeEvent(QResizeEvent* event)
{
    CSurfaceWidget::resizeEvent(event);
    Invalidate(true);
}

CRect CThumView::ScreenClientRect() const
{
    const QPoint o = mapToGlobal(QPoint(0, 0));
    return {o.x(), o.y(), o.x() + width(), o.y() + height()};
}

void CThumView::ComputeMargins()
{
    m_ptThumb.y = Clamp((height() - 240) / 5, 0, 10);
    m_ptThumb.x = Clamp((width() - 160) / 5, 0, 10);
}

void CThumView::OnDraw(CGdiContext& dc)
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    ComputeMargins();
    const int x = m_ptThumb.x, y = m_ptThumb.y;
    const int w = width(), h = height();
    if (doc->m_busyState <= 0) {
        if (m_nShown < 0 || m_nShown >= int(doc->m_entries.size())) {
            DrawIdleBanner(dc);
            return;
        }
        const CPictureEntry& e = doc->m_entries[size_t(m_nShown)];
        if (e.m_PixelCache.GetSize() != kThumbPixels || m_nPaneMode == -2) {
            DrawFileDetails(dc, m_nShown);
            return;
        }
        const QImage thumb = m_nThumbState == 1 && m_nBytesPerPixel >= 2 && m_nBytesPerPixel <= 4 ? ThumbImage() : QImage();
        if (!thumb.isNull()) {
            dc.BitBlt(x, y, kThumbWidth, kThumbHeight, thumb, 0, 0);
        } else {
            for (int j = 0; j < kThumbHeight; ++j)
                for (int i = 0; i < kThumbWidth; ++i)
                    dc.SetPixel(x + i, y + j, e.m_PixelCache[j * kThumbWidth + i]);
        }
        m_strShownName = e.m_Name;
        int tx = x + 5, ty = y + 125;
        if (h < 160 && (w > 266 || h < 123)) {
            tx = x + 165;
            ty = 10;
        }
        FormatPictureInfo(dc, m_nShown, x + kThumbWidth, y + kThumbHeight, tx, ty);
    }
    if (doc->m_busyState == -2 || doc->m_stepFlags <= 0) {
        m_dial = thumdial::DialState();
        doc->m_stepFlags = 0;
        doc->m_busyState = -5;
    } else if (doc->m_busyState >= 0) {
        DrawTimerDial(dc, x, h - y - 121);
    }
}

int CThumView::FormatPictureInfo(CGdiContext& dc, int entry, int thumbRight, int thumbBottom, int x, int y)
{
    CSmDoc* doc = GetDoc();
    if (!doc || entry < 0 || entry >= int(doc->m_entries.size()))
        return 0;
    const CPictureEntry& e = doc->m_entries[size_t(entry)];
    if (e.m_Name != m_strShownName)
        return 0;
    const MessageCatalogue& text = Catalogue();
    const CRect client = GetClientRect();
    CRect erase = client;
    if (y < 121)
        erase.left = thumbRight + 1;
    else
        erase.top = thumbBottom + 1;
    dc.FillSolidRect(erase, m_brBack);
    dc.SelectFont(InfoFont());
    dc.SetBkMode(platform::qt::TRANSPARENT);
    dc.SetTextColor(0);

    int line = 0;
    const QFontMetrics fm(platform::qt::MakeQFont(InfoFont()));
    const int room = std::max(1, int(client.right) - x - 2);
    // Each further line is drawn only while its top stays inside the pane; a line wider than
    // the pane loses its middle (a folder path) or its end to an ellipsis rather than being cut.
    auto put = [&](const std::string& s, Qt::TextElideMode elide = Qt::ElideRight) {
        const int top = y + line * kLinePitch;
        if (line > 0 && top > client.bottom)
            return false;
        dc.TextOut(x, top, fm.elidedText(QString::fromStdString(s), elide, room).toStdString());
        ++line;
        return true;
    };

    if (!put("[ " + UpperFileName(e.m_Name) + " ] "))
        return 1;
    m_sizeShown = e.m_Size;
    if (!put(Printf(text.sizePixelsLabel.c_str(), e.m_Size.cx, e.m_Size.cy)))
        return 1;
    if (!put(text.folderLabel + e.m_Name, Qt::ElideMiddle))
        return 1;
    if (!put(text.dateLabel + e.m_CameraNameText))
        return 1;
    if (!put(text.fNumberLabel + e.m_FNumberText))
        return 1;
    if (!put(text.exposureTimeLabel + (e.m_ExposureText.empty() ? std::string() : e.m_ExposureText + text.secondsUnit)))
        return 1;
    if (e.m_CameraValue > 0.0 &&
        !put(Printf("%s %3.1f %s", text.lensFocalLengthLabel.c_str(), e.m_CameraValue, text.mmUnit.c_str())))
        return 1;

    if (e.m_FitStatus < 3 || !doc->m_pComp || doc->m_pComp->GetFittedCount() < 2)
        return 0;
    double focal35 = 0, hfov = 0, vfov = 0, sensorW = 0, sensorH = 0;
    if (doc->FindPictureByName(e.m_Name) && doc->GetPicture(0) &&
        doc->m_pComp->GetLensFigures(focal35, hfov, vfov, sensorW, sensorH) == 1) {
        if (!put("") || !put(text.baseConclusionsTitle))
            return 1;
        if (!put(text.baseNameLabel + UpperFileName(doc->GetPicture(0)->m_Path)))
            return 1;
        if (focal35 >= 0 &&
            !put(Printf("%s %3.1f %s", text.focalLengthLabel.c_str(), focal35, text.focal35mmUnit.c_str())))
            return 1;
        if (hfov > 0 && vfov > 0) {
            if (!put(Printf("%s %3.1f %s", text.horizontalFovLabel.c_str(), hfov, text.degreeUnit.c_str())) ||
                !put(Printf("%s %3.1f %s", text.verticalFovLabel.c_str(), vfov, text.degreeUnit.c_str())))
                return 1;
        }
        if (sensorW > 0 && sensorH > 0 &&
            !put(Printf("%s %3.1f*%3.1f %s", text.ccdSizeLabel.c_str(), sensorW, sensorH, text.mmUnit.c_str())))
            return 1;
    }
    if (doc->m_areaShown >= 1 && doc->m_renderSetup >= 2 && doc->m_renderSetup <= 360) {
        if (!put("") || !put(text.outputAreaTitle) ||
            !put(Printf("%s %d %s", text.croppingAngleLabel.c_str(), doc->m_renderSetup, text.degreeUnit.c_str())))
            return 1;
    }
    return 0;
}

void CThumView::DrawFileDetails(CGdiContext& dc, int entry)
{
    CSmDoc* doc = GetDoc();
    if (!doc || entry < 0 || entry >= int(doc->m_entries.size()))
        return;
    const CPictureEntry& e = doc->m_entries[size_t(entry)];
    if (GetFileKind(e.m_Name) <= 1)
        return;
    const MessageCatalogue& text = Catalogue();
    dc.SelectFont(SystemFixedFont());
    dc.SetBkMode(platform::qt::TRANSPARENT);
    dc.SetTextColor(0);
    dc.TextOut(5, 5, text.currentImageIs);
    dc.TextOut(5, 30, UpperFileName(e.m_Name));
    dc.TextOut(5, 50, Printf(text.pixelsHxV.c_str(), e.m_Size.cx, e.m_Size.cy));
    dc.TextOut(5, 70, e.m_Name);
}

void CThumView::DrawIdleBanner(CGdiContext& dc)
{
    CRect r = GetClientRect();
    r.InflateRect(2, 2);
    dc.SelectFont(SystemFont());
    dc.SetBkMode(platform::qt::TRANSPARENT);
    dc.SetTextColor(RGB(64, 64, 64));
    dc.DrawText(Catalogue().viewerName, r, platform::qt::DT_CENTER);
}

// ---- Timer dial --------------------------------------------------------------------------------

void CThumView::DrawTimerDial(CGdiContext& dc, int x, int y)
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    thumdial::DialHooks hooks;
    hooks.drawHand = [&](int value) { DrawDialHand(dc, x, y, value); };
    hooks.breakKeyDown = [] { return IsBreakKeyDown(); };
    hooks.pump = [] { platform::qt::CJobPump::Pump(); };
    thumdial::RunDial(m_dial, doc->m_busyState, doc->m_stepFlags, hooks);
}

void CThumView::DrawDialFace(CGdiContext& dc, int x, int y)
{
    dc.FillSolidRect(CRect(x, y, x + kThumbWidth, y + kThumbHeight), RGB(255, 255, 255));
    const CPoint c(x + 79, y + 71);
    constexpr int r = 33;
    dc.SelectPen(CPen{platform::qt::PS_SOLID, 3, 0x004080});
    dc.SelectBrush(CBrush::Solid(0xAEE3E8));
    dc.Ellipse(CRect(c.x - r - 8, c.y - r - 8, c.x + r + 8, c.y + r + 8));
    for (int i = 0; i < 12; ++i) {
        const double a = i * 0.5236;
        dc.MoveTo(int(c.x - (r + 3) * std::sin(a)), int(c.y - (r + 3) * std::cos(a)));
        dc.LineTo(int(c.x - (r - 3) * std::sin(a)), int(c.y - (r - 3) * std::cos(a)));
    }
    dc.SelectPen(CPen{platform::qt::PS_SOLID, 1, 0x202020});
    dc.SelectBrush(CBrush::Solid(0x202020));
    dc.Ellipse(CRect(c.x - 4, c.y - 4, c.x + 4, c.y + 4));
    dc.SelectPen(CPen{});
    dc.SelectBrush(CBrush::Hollow());
}

void CThumView::DrawDialHand(CGdiContext& dc, int x, int y, int value)
{
    if (m_nBytesPerPixel >= 2 && m_nBytesPerPixel <= 4 && !m_bmDial.isNull())
        dc.BitBlt(x, y, kThumbWidth, kThumbHeight, m_bmDial, 0, 0);
    else
        DrawDialFace(dc, x, y);
    const thumdial::HandTips t = thumdial::ComputeHandTips(value);
    const CPoint c(x + t.centre.x, y + t.centre.y);
    auto at = [&](CPoint tip, double fraction) {
        return CPoint(c.x + int((tip.x - t.centre.x) * fraction), c.y + int((tip.y - t.centre.y) * fraction));
    };
    const CPoint hour(x + t.hour.x, y + t.hour.y), minute(x + t.minute.x, y + t.minute.y),
        second(x + t.second.x, y + t.second.y);
    const CPen thin{platform::qt::PS_SOLID, 1, 0x202020}, wide{platform::qt::PS_SOLID, 3, 0x202020},
        mid{platform::qt::PS_SOLID, 2, 0x404040};
    // Hour hand: a weight at three fifths, a thick stem from four fifths, a thin tip.
    const CPoint weight = at(hour, 0.6);
    const int wr = 24 / 5;
    dc.SelectPen(mid);
    dc.SelectBrush(CBrush::Solid(0x202020));
    dc.Ellipse(CRect(weight.x - wr, weight.y - wr, weight.x + wr, weight.y + wr));
    dc.SelectPen(wide);
    const CPoint hourStem = at(hour, 0.8);
    dc.MoveTo(hourStem.x, hourStem.y);
    dc.LineTo(c.x, c.y);
    dc.SelectPen(thin);
    dc.MoveTo(hour.x, hour.y);
    dc.LineTo(c.x, c.y);
    // Minute hand.
    dc.SelectPen(mid);
    const CPoint minuteStem = at(minute, 5.0 / 6.0);
    dc.MoveTo(minuteStem.x, minuteStem.y);
    dc.LineTo(c.x, c.y);
    dc.SelectPen(thin);
    dc.MoveTo(minute.x, minute.y);
    dc.LineTo(c.x, c.y);
    // Second hand, through the centre to a third of its length on the other side.
    const CPoint tail = at(second, -1.0 / 3.0);
    dc.MoveTo(second.x, second.y);
    dc.LineTo(tail.x, tail.y);
    dc.SelectPen(CPen{});
    dc.SelectBrush(CBrush::Hollow());
}

// ---- Mouse -------------------------------------------------------------------------------------

void CThumView::OnLButtonDown(CPoint point)
{
    CSmDoc* doc = GetDoc();
    ComputeMargins();
    CRect thumb(m_ptThumb.x, m_ptThumb.y, m_ptThumb.x + kThumbWidth, m_ptThumb.y + kThumbHeight);
    CRect near;
    near.IntersectRect(thumb, GetClientRect());
    near.InflateRect(4, 4);
    if (!near.PtInRect(point)) {
        m_nPaneMode = -2;
        Invalidate(true);
        platform::qt::SetCapture(this);
        return;
    }
    if (!doc || !thumb.PtInRect(point) || m_nShown < 0 || m_nShown >= int(doc->m_entries.size()) || m_nPaneMode == -2)
        return;
    const CPoint inThumb(point.x - m_ptThumb.x, point.y - m_ptThumb.y);
    m_ptHotspot = doc->ThumbPointToPicture(m_nShown, inThumb);
    doc->m_dropAnchor = m_ptHotspot;
    doc->m_thumbDragState = 5;
    doc->m_thumbDragTick = int(platform::Clock().TickCount());
    doc->m_droppedNames = m_strShownName;
    m_nPaneMode = 5;
    m_hDragCursor = platform::qt::LoadCursorResource(179);
    setCursor(m_hDragCursor);
    platform::qt::SetCapture(this);
}

void CThumView::OnMouseMove(CPoint point, bool leftDown)
{
    CSmDoc* doc = GetDoc();
    if (leftDown && m_nPaneMode > 1) {
        if (GetClientRect().PtInRect(point)) {
            if (doc)
                doc->m_thumbDragTick = int(platform::Clock().TickCount());
        } else {
            platform::qt::ReleaseCapture();
            m_nPaneMode = 0;
        }
        return;
    }
    if (doc)
        doc->ClearDropList();
    if (m_nPaneMode != 0) {
        m_nPaneMode = 0;
        Invalidate(true);
    }
    unsetCursor();
    platform::qt::ReleaseCapture();
}

void CThumView::OnLButtonUp(CPoint)
{
    if (CSmDoc* doc = GetDoc())
        doc->ClearDropList();
    platform::qt::ReleaseCapture();
    if (m_nPaneMode != 0)
        Invalidate(true);
    m_nPaneMode = 0;
    m_ptHotspot = CPoint();
    unsetCursor();
}

void CThumView::OnLButtonDblClk(CPoint)
{
    CSmDoc* doc = GetDoc();
    if (!doc || m_strShownName.empty())
        return;
    doc->OpenPictureWindow(doc->GetViewFrame(), m_strShownName, m_sizeShown.cx, m_sizeShown.cy, -1);
}

void CThumView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonDown(CPoint(int(event->position().x()), int(event->position().y())));
}

void CThumView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonUp(CPoint(int(event->position().x()), int(event->position().y())));
}

void CThumView::mouseMoveEvent(QMouseEvent* event)
{
    OnMouseMove(CPoint(int(event->position().x()), int(event->position().y())),
                (event->buttons() & Qt::LeftButton) != 0);
}

void CThumView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonDblClk(CPoint(int(event->position().x()), int(event->position().y())));
}

// The image window; see present_image_dlg.h. The picture is held in a display bitmap at
// 1 / load factor of its resolution, turned and colour-corrected; zoom and scroll only change
// how that bitmap is drawn, never the bitmap itself.
#include "shell/present_image_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "document/update_hint.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_ops.h"
#include "picset/kpic.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/qt/job_pump.h"
#include "shell/main_frame.h"
#include "shell/present_image_model.h"

namespace {

constexpr int kBytesPerPixel = 4;

bool CanMakeBitmap(CSize s) { return DisplayBitmapFits(s, kBytesPerPixel); }

QPoint ToQ(CPoint p) { return {p.x, p.y}; }
CPoint FromQ(QPoint p) { return {p.x(), p.y()}; }

// The folder of TMP, else TMPDIR, else the system's temporary folder.
std::string TemporaryFolder()
{
    for (const char* var : {"TMP", "TMPDIR"}) {
        const char* v = std::getenv(var);
        if (v && *v && std::filesystem::is_directory(v))
            return v;
    }
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : p.string();
}

std::string StemOf(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        base.resize(dot);
    return base;
}

} // namespace

CPresentImageDlg::CPresentImageDlg(CSmDoc* doc, std::function<CRect()> desktop, QWidget* parent)
    : QWidget(parent, Qt::Window), m_pDoc(doc), m_desktop(std::move(desktop))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(QFont(QStringLiteral("Arial"), 8));
    CImageWindowCascade::Shared().KeepInside(m_desktop());

    m_bar = new QWidget(this);
    auto* row = new QHBoxLayout(m_bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    struct Button {
        const char* caption;
        const char* tip;
        void (CPresentImageDlg::*handler)();
    };
    const Button buttons[] = {
        {"Zoom Out", "Zoom Out", &CPresentImageDlg::OnZoomOut},
        {"Zoom In", "Zoom In", &CPresentImageDlg::OnZoomIn},
        {"Grid", "Show/Hide Grid", &CPresentImageDlg::OnGrid},
        {"Color", "", &CPresentImageDlg::OnColor},
        {"Print", "", &CPresentImageDlg::OnPrint},
        {"Close", "Close me", &CPresentImageDlg::OnCloseButton},
    };
    for (const Button& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.caption), m_bar);
        button->setObjectName(QString::fromUtf8(b.caption));
        if (*b.tip)
            button->setToolTip(QString::fromUtf8(b.tip));
        button->setFocusPolicy(Qt::NoFocus);
        const auto handler = b.handler;
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        row->addWidget(button);
    }
    row->addStretch(1);
    m_bar->setAutoFillBackground(true);
    m_bar->setStyleSheet(QStringLiteral("background-color: rgb(192, 192, 192);"));

    m_hbar = new QScrollBar(Qt::Horizontal, this);
    m_vbar = new QScrollBar(Qt::Vertical, this);
    for (QScrollBar* s : {m_hbar, m_vbar}) {
        s->setSingleStep(10);
        s->setPageStep(100);
        connect(s, &QScrollBar::valueChanged, this, [this](int) {
            const CPoint p(m_hbar->value(), m_vbar->value());
            if (p.x != m_scroll.x || p.y != m_scroll.y) {
                m_scroll = p;
                m_scrolled = -1;
                update();
            }
        });
    }
}

CPresentImageDlg::~CPresentImageDlg()
{
    DeleteCutOut();
}

CSize CPresentImageDlg::ClientSize() const { return {width(), height()}; }

int CPresentImageDlg::ChooseLoadFactorNow()
{
    const int f = ChooseLoadFactor(m_turnedSize, kBytesPerPixel, CanMakeBitmap);
    if (f < 1) {
        m_loadSize = m_loadTurnedSize = CSize();
        return -1;
    }
    m_loadFactor = f;
    m_loadSize = CSize(m_pictureSize.cx / f, m_pictureSize.cy / f);
    m_loadTurnedSize = CSize(m_turnedSize.cx / f, m_turnedSize.cy / f);
    return 1;
}

int CPresentImageDlg::ShowPicture(const std::string& name, int width, int height, int turn)
{
    m_name = name;
    m_turn = turn & 3;
    m_pictureSize = CSize(width, height);
    m_turnedSize = (m_turn & 1) ? CSize(height, width) : m_pictureSize;
    if (m_name.empty())
        return -1;
    if (width > 0 && height > 0) {
        if (ChooseLoadFactorNow() < 0)
            return -1;
    } else if (BuildDisplayBitmap() < 1 && m_refusal.empty()) {
        return -1;
    }
    LayoutBar();
    const CPoint at = CImageWindowCascade::Shared().Advance();
    move(at.x, at.y);
    resize(100, 100);
    SizeAndTitle(false);
    show();
    // The caller finds the picture ready (e.g. to print it), so it is built here; but first the
    // "loading ..." face goes on the screen: until its first paint arrives a new window shows
    // whatever lies beneath it.
    m_showing = true;
    ShowLoadingFace();
    m_showing = false;
    if (m_buildCount == 0 && m_refusal.empty() && BuildDisplayBitmap() > 0)
        SizeAndTitle(true);
    return 1;
}

void CPresentImageDlg::ShowLoadingFace()
{
    QElapsedTimer waited;
    waited.start();
    // Bounded: a window that is never exposed (a hidden desktop) must not hold the program.
    while (windowHandle() && !windowHandle()->isExposed() && !platform::qt::CJobPump::Pumping() &&
           waited.elapsed() < 500)
        platform::qt::CJobPump::Pump(true);
    repaint();
}

void CPresentImageDlg::Refuse()
{
    m_refusal = m_name + "\n" + CSmDoc::UnreadableText();
    update();
}

int CPresentImageDlg::BuildDisplayBitmap()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    // A file that is refused says why in the window, as the import says it, with the reason
    // that the last size query or read gave.
    m_refusal.clear();
    CPixelArray pixels;
    try {
        CKpic* k = m_pDoc ? m_pDoc->FindPictureByName(m_name) : nullptr;
        const CRect fileRect = GetImageFileRect(m_name);
        const CSize fileSize = fileRect.Size();
        const bool known = m_pictureSize.cx > 0 && m_pictureSize.cy > 0;
        if (k && !k->Pixels.IsEmpty() && k->Pixels.GetSize() == int64_t(fileSize.cx) * fileSize.cy) {
            if (!known) {
                m_turn = 0;
                m_pictureSize = m_turnedSize = fileSize;
            }
            if (ChooseLoadFactorNow() < 0)
                return -1;
            if (m_loadSize == fileSize) {
                pixels = k->Pixels;
            } else {
                pixels.SetSize(int64_t(m_loadSize.cx) * m_loadSize.cy);
                for (int y = 0; y < m_loadSize.cy; ++y) {
                    const int sy = int(int64_t(y) * fileSize.cy / m_loadSize.cy);
                    for (int x = 0; x < m_loadSize.cx; ++x) {
                        const int sx = int(int64_t(x) * fileSize.cx / m_loadSize.cx);
                        pixels[int64_t(y) * m_loadSize.cx + x] = k->Pixels[int64_t(sy) * fileSize.cx + sx];
                    }
                }
            }
        } else {
            const FileKind kind = GetFileKind(m_name);
            if (kind < FILE_KIND_BMP || kind > FILE_KIND_PNG)
                return -1;
            if (!known) {
                m_pictureSize = fileSize;
                m_turnedSize = (m_turn & 1) ? CSize(fileSize.cy, fileSize.cx) : fileSize;
            }
            if (m_pictureSize.cx < 1 || m_pictureSize.cy < 1) {
                Refuse();
                return -1;
            }
            if (ChooseLoadFactorNow() < 0)
                return -1;
            CSize size = m_loadSize;
            const int r = m_pDoc ? m_pDoc->ReadImageFile(m_name, pixels, size, CRect())
                                 : LoadImageFile(m_name, pixels, size, CRect());
            if (r < -4)
                ShowMessage(Catalogue().memoryTooShort);
            else if (r < 1)
                Refuse();
            if (r < 1)
                return -1;
            if (pixels.GetSize() < int64_t(m_loadSize.cx) * m_loadSize.cy)
                return -1;
            if (m_pDoc) {
                const int entry = m_pDoc->FindEntryIndex(m_name, 0);
                if (entry >= 0)
                    m_pDoc->m_entries[size_t(entry)].m_ColorModel.ApplyToArray(pixels);
            }
        }
        CPixelArray turned;
        if (m_turn != 0) {
            if (RotatePixels(pixels, m_loadSize.cx, m_loadSize.cy, turned, m_turn) < 1)
                return -1;
        } else {
            turned.Swap(pixels);
        }
        CDrawContext dc(32);
        CBitmapBuffer bitmap = dc.CreateCompatibleBitmap(m_loadTurnedSize.cx, m_loadTurnedSize.cy);
        if (bitmap.IsNull() || PixelsToBitmap(dc, &bitmap, turned) < 1)
            return -1;
        m_bitmap = std::move(bitmap);
    } catch (const std::bad_alloc&) {
        ShowMessage(Catalogue().memoryTooShort);
        return -5;
    }
    m_image = QImage(m_bitmap.Bits().data(), m_bitmap.Width(), m_bitmap.Height(), m_bitmap.BytesPerRow(),
                     QImage::Format_RGB32);
    ++m_buildCount;
    update();
    return 1;
}

void CPresentImageDlg::LayoutBar()
{
    const int h = m_bar->sizeHint().height();
    m_bar->setGeometry(0, 0, std::max(width(), m_bar->sizeHint().width()), h);
    m_barRect = CRect(0, 0, width(), h);
}

void CPresentImageDlg::SizeAndTitle(bool keepSize)
{
    m_displaySize = CSize(m_loadTurnedSize.cx / m_reduce, m_loadTurnedSize.cy / m_reduce);
    const CRect desktop = m_desktop();
    const CSize want = ImageWindowClientSize(m_displaySize, BarHeight(), m_bar->sizeHint().width(), desktop);
    const bool large = width() >= m_displaySize.cx && height() >= m_displaySize.cy + BarHeight();
    if (!keepSize || !(isMaximized() || large)) {
        const CSize outer(want.cx + m_frameExtra.cx, want.cy + m_frameExtra.cy);
        const CPoint at = CImageWindowCascade::Shared().PlaceFor(outer, desktop);
        if (!keepSize)
            move(at.x, at.y);
        resize(want.cx, want.cy);
    }
    LayoutBar();
    UpdateScrollBars();
    // A file whose size could not be read is titled by its name alone.
    setWindowTitle(QString::fromStdString(m_pictureSize.cx > 0 && m_pictureSize.cy > 0
                                              ? ImageWindowTitle(m_name, m_pictureSize, m_reduce * m_loadFactor)
                                              : m_name));
}

void CPresentImageDlg::UpdateScrollBars()
{
    m_scrollMax = ImageWindowScrollRanges(m_displaySize, BarHeight(), ClientSize());
    const QSignalBlocker bh(m_hbar), bv(m_vbar);
    m_hbar->setRange(0, m_scrollMax.cx - 1);
    m_vbar->setRange(0, m_scrollMax.cy - 1);
    const int sb = m_hbar->sizeHint().height();
    m_hbar->setGeometry(0, height() - sb, width() - sb, sb);
    m_vbar->setGeometry(width() - sb, BarHeight(), sb, height() - BarHeight() - sb);
    m_hbar->setVisible(m_displaySize.cx > width());
    m_vbar->setVisible(m_displaySize.cy + BarHeight() > height());
    SetScroll(m_scroll);
}

void CPresentImageDlg::SetScroll(CPoint p)
{
    p.x = std::max(0, std::min(p.x, m_scrollMax.cx - 1));
    p.y = std::max(0, std::min(p.y, m_scrollMax.cy - 1));
    if (p.x == m_scroll.x && p.y == m_scroll.y && m_hbar->value() == p.x && m_vbar->value() == p.y)
        return;
    m_scroll = p;
    const QSignalBlocker bh(m_hbar), bv(m_vbar);
    m_hbar->setValue(p.x);
    m_vbar->setValue(p.y);
    update();
}

void CPresentImageDlg::resizeEvent(QResizeEvent*)
{
    LayoutBar();
    UpdateScrollBars();
}

void CPresentImageDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const CSize client = ClientSize();
    const CPoint origin = ImageWindowPictureOrigin(client, m_displaySize, BarHeight());
    p.fillRect(rect(), Qt::white);
    if (origin.x > 0 || origin.y > BarHeight()) {
        p.setPen(Qt::black);
        p.drawRect(0, 0, client.cx - 1, client.cy - 1);
    }
    if (m_buildCount == 0 && !m_refusal.empty()) {
        const int margin = 8;
        p.setPen(Qt::black);
        p.drawText(QRect(margin, BarHeight() + margin, width() - 2 * margin, height() - BarHeight() - 2 * margin),
                   Qt::AlignCenter | Qt::TextWrapAnywhere, QString::fromStdString(m_refusal));
        return;
    }
    if (m_buildCount == 0) {
        p.drawText(rect(), Qt::AlignCenter, QString::fromStdString("loading  " + m_name + " .. . ."));
        // The picture is built once this face has reached the screen, not during the paint.
        if (!m_showing && !m_buildQueued) {
            m_buildQueued = true;
            QTimer::singleShot(0, this, [this] {
                m_buildQueued = false;
                if (m_buildCount == 0 && BuildDisplayBitmap() > 0) {
                    SizeAndTitle(true);
                    update();
                }
            });
        }
        return;
    }
    if (m_image.isNull())
        return;
    const int drawnW = std::max(1, std::min(m_displaySize.cx, client.cx));
    const int drawnH = std::max(1, std::min(m_displaySize.cy, client.cy));
    // Nearest-pixel stretch of the part in view: source origin and size times the reduction.
    const QRect src(m_scroll.x * m_reduce, m_scroll.y * m_reduce, drawnW * m_reduce, drawnH * m_reduce);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(origin.x, origin.y, drawnW, drawnH), m_image, src);
    if (m_showGrid) {
        QPen pen(QColor(0x80, 0x80, 0x20));
        pen.setStyle(Qt::DashLine);
        pen.setWidth(1);
        p.setPen(pen);
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(QColor(0x80, 0xC0, 0xC0));
        const int cx = origin.x + m_displaySize.cx / 2 - m_scroll.x;
        const int cy = origin.y + m_displaySize.cy / 2 - m_scroll.y;
        const int left = origin.x - m_scroll.x, top = origin.y - m_scroll.y;
        for (int x = cx - (cx - left) / 50 * 50; x < left + m_displaySize.cx; x += 50)
            p.drawLine(x, origin.y, x, origin.y + drawnH);
        for (int y = cy - (cy - top) / 50 * 50; y < top + m_displaySize.cy; y += 50)
            p.drawLine(origin.x, y, origin.x + drawnW, y);
        p.setBackgroundMode(Qt::TransparentMode);
    }
    if (m_scopeState == 3) {
        const QColor c(0xFF, 0xB4, 0x82);
        QRect r(m_scopeRect.left - m_scroll.x + origin.x, m_scopeRect.top - m_scroll.y + origin.y,
                m_scopeRect.Width(), m_scopeRect.Height());
        p.setPen(QPen(c, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
        const QString label = QStringLiteral(" Full Resolution Scope ");
        const QRect text = p.fontMetrics().boundingRect(label);
        QRect lr(r.center().x() - text.width() / 2, r.top() - text.height() - 1, text.width(), text.height());
        p.fillRect(lr, c);
        p.setPen(QColor(0x80, 0x40, 0x00));
        p.drawText(lr, Qt::AlignCenter, label);
    }
}

CPoint CPresentImageDlg::PicturePointAt(CPoint client) const
{
    if (m_name.empty())
        return {};
    const CPoint origin = ImageWindowPictureOrigin(ClientSize(), m_displaySize, BarHeight());
    const int k = m_reduce * m_loadFactor;
    const CPoint q((client.x - origin.x + m_scroll.x) * k, (client.y - origin.y + m_scroll.y) * k);
    return TurnedPointToPicture(q, m_turnedSize, m_turn);
}

void CPresentImageDlg::DeleteCutOut()
{
    if (m_cutOutPath.empty())
        return;
    // A cut-out the project took in as a picture stays.
    if (!(m_pDoc && m_pDoc->FindEntryIndex(m_cutOutPath, 0) >= 0)) {
        std::error_code ec;
        std::filesystem::remove(m_cutOutPath, ec);
    }
    m_cutOutPath.clear();
}

void CPresentImageDlg::DropScope()
{
    m_scopeState = 0;
    m_scopeRect = CRect();
    DeleteCutOut();
    update();
}

void CPresentImageDlg::ZoomKeepingCentre(int newReduce)
{
    const CSize client = ClientSize();
    const CPoint origin = ImageWindowPictureOrigin(client, m_displaySize, BarHeight());
    // The turned load-size point at the window centre.
    const CPoint centre((client.cx / 2 - origin.x + m_scroll.x) * m_reduce,
                        (BarHeight() + (client.cy - BarHeight()) / 2 - origin.y + m_scroll.y) * m_reduce);
    m_reduce = newReduce;
    SizeAndTitle(true);
    const CSize c2 = ClientSize();
    const CPoint o2 = ImageWindowPictureOrigin(c2, m_displaySize, BarHeight());
    SetScroll(CPoint(centre.x / m_reduce - (c2.cx / 2 - o2.x),
                     centre.y / m_reduce - (BarHeight() + (c2.cy - BarHeight()) / 2 - o2.y)));
    update();
}

void CPresentImageDlg::OnZoomOut()
{
    DropScope();
    if (!CanZoomOut(m_reduce, m_loadTurnedSize))
        return;
    ZoomKeepingCentre(m_reduce * 2);
}

CRect CPresentImageDlg::VisibleRect() const
{
    const CPoint origin = ImageWindowPictureOrigin(ClientSize(), m_displaySize, BarHeight());
    CRect r(0, BarHeight(), width(), height());
    r.OffsetRect(m_scroll.x - origin.x, m_scroll.y - origin.y);
    return r;
}

void CPresentImageDlg::PlaceScopeAt(CPoint client)
{
    const CSize desk = m_desktop().Size();
    const CSize full = ScopeFullSize(desk, ClientSize(), m_reduce, m_loadFactor);
    const int k = m_reduce * m_loadFactor;
    const CSize shown(full.cx / k, full.cy / k);
    const CPoint origin = ImageWindowPictureOrigin(ClientSize(), m_displaySize, BarHeight());
    CPoint c(client.x - origin.x + m_scroll.x, client.y - origin.y + m_scroll.y);
    // Keep the scope's centre inside the picture shrunk by half the scope.
    c.x = std::max(shown.cx / 2, std::min(c.x, m_displaySize.cx - (shown.cx - shown.cx / 2)));
    c.y = std::max(shown.cy / 2, std::min(c.y, m_displaySize.cy - (shown.cy - shown.cy / 2)));
    m_scopeRect = CRect(c.x - shown.cx / 2, c.y - shown.cy / 2, c.x - shown.cx / 2 + shown.cx,
                        c.y - shown.cy / 2 + shown.cy);
    m_scopeState = 3;
    update();
}

void CPresentImageDlg::OnZoomIn()
{
    if (m_reduce > 1) {
        ZoomKeepingCentre(m_reduce / 2);
        return;
    }
    if (m_loadFactor < 2 || m_turn != 0)
        return;
    const CPoint windowCentre(width() / 2, BarHeight() + (height() - BarHeight()) / 2);
    if (m_scopeState != 3) {
        PlaceScopeAt(windowCentre);
        return;
    }
    const CPoint c = m_scopeRect.CenterPoint();
    const int hw = m_scopeRect.Width() / 2, hh = m_scopeRect.Height() / 2;
    CRect visible = VisibleRect();
    CRect inner = visible;
    inner.DeflateRect(hw, hh);
    CRect outer = visible;
    outer.InflateRect(hw, hh);
    if (inner.PtInRect(c)) {
        CutOutSelection();
    } else if (!outer.PtInRect(c)) {
        PlaceScopeAt(windowCentre);
    } else {
        int dx = 0, dy = 0;
        if (c.x < inner.left) dx = c.x - inner.left;
        if (c.x >= inner.right) dx = c.x - inner.right + 1;
        if (c.y < inner.top) dy = c.y - inner.top;
        if (c.y >= inner.bottom) dy = c.y - inner.bottom + 1;
        SetScroll(CPoint(m_scroll.x + dx, m_scroll.y + dy));
    }
}

int CPresentImageDlg::CutOutSelection()
{
    if (m_scopeState != 3 || m_name.empty())
        return -1;
    const int k = m_reduce * m_loadFactor;
    CRect region(m_scopeRect.left * k, m_scopeRect.top * k, m_scopeRect.right * k, m_scopeRect.bottom * k);
    region.right = std::min(region.right, m_pictureSize.cx);
    region.bottom = std::min(region.bottom, m_pictureSize.cy);
    if (region.Width() < 1 || region.Height() < 1)
        return -1;
    CPixelArray pixels;
    CSize size = m_pictureSize;
    const int r = m_pDoc ? m_pDoc->ReadImageFile(m_name, pixels, size, region)
                         : LoadImageFile(m_name, pixels, size, region);
    if (r < -4)
        ShowMessage(Catalogue().memoryTooShort);
    const int w = region.Width(), h = region.Height();
    if (r < 1 || pixels.GetSize() < int64_t(w) * h)
        return -1;

    std::string pattern = TemporaryFolder() + "/$" + ToUpper(StemOf(m_name)) + "XXXXXX.bmp";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkstemps(buffer.data(), 4);
    if (fd < 0)
        return -1;
    ::close(fd);
    const std::string path(buffer.data());
    if (m_pDoc)
        m_pDoc->ClosePictureWindows(path);
    DeleteCutOut();

    bool ok = SaveImageBegin(path, w, h, 288, std::string(), 10) == 1;
    if (ok) {
        CPixelArray strip;
        for (int n : GetSaveStripOrder(path, h)) {
            try {
                strip.SetSize(int64_t(kStripRows) * w);
            } catch (const std::bad_alloc&) {
                SaveImageEnd(path, -1);
                std::error_code ec;
                std::filesystem::remove(path, ec);
                ShowMessage(Catalogue().memoryTooShort);
                return -5;
            }
            const int rows = std::min(kStripRows, h - n * kStripRows);
            for (int y = 0; y < rows; ++y)
                std::copy_n(pixels.GetData() + int64_t(n * kStripRows + y) * w, w, strip.GetData() + int64_t(y) * w);
            if (SaveImagePut(path, strip, n) != 1) {
                ok = false;
                break;
            }
        }
        ok = SaveImageEnd(path, ok ? 1 : -1) == 1 && ok;
    }
    if (!ok) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return -1;
    }
    m_cutOutPath = path;
    if (m_pDoc) {
        IFrameWindow* frame = m_pDoc->GetViewFrame();
        m_pDoc->OpenPictureWindow(frame, path, w, h, 0);
    }
    return 1;
}

void CPresentImageDlg::OnGrid()
{
    m_showGrid = m_showGrid ? 0 : 1;
    update();
}

void CPresentImageDlg::OnColor()
{
    if (m_pDoc)
        m_pDoc->ShowColorFitManager(m_name);
}

void CPresentImageDlg::OnPrint()
{
    if (m_bitmap.IsNull() || !m_pDoc)
        return;
    m_pDoc->m_pPrintBitmap = &m_bitmap;
    m_pDoc->UpdateAllViews(nullptr, HINT_PRINT_PICTURE, &m_name);
}

void CPresentImageDlg::OnCloseButton()
{
    hide();
    if (m_onClose)
        m_onClose();
}

void CPresentImageDlg::closeEvent(QCloseEvent* e)
{
    e->ignore();
    OnCloseButton();
}

void CPresentImageDlg::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        OnCloseButton();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool CPresentImageDlg::OnScopeBand(CPoint client) const
{
    if (m_scopeState != 3)
        return false;
    const CPoint origin = ImageWindowPictureOrigin(ClientSize(), m_displaySize, BarHeight());
    CRect r = m_scopeRect;
    r.OffsetRect(origin.x - m_scroll.x, origin.y - m_scroll.y);
    CRect outer = r, inner = r;
    outer.InflateRect(5, 5);
    inner.DeflateRect(5, 5);
    const int labelH = fontMetrics().height() + 1;
    const CRect label(r.left, r.top - labelH, r.right, r.top);
    return (outer.PtInRect(client) && !inner.PtInRect(client)) || label.PtInRect(client);
}

void CPresentImageDlg::mousePressEvent(QMouseEvent* e)
{
    const CPoint at = FromQ(e->position().toPoint());
    if (e->button() == Qt::RightButton) {
        if (OnScopeBand(at))
            DropScope();
        return;
    }
    // A refused file has no picture to drag out.
    if (e->button() != Qt::LeftButton || at.y < BarHeight() || !m_refusal.empty())
        return;
    if (OnScopeBand(at)) {
        m_scopeGrab = at;
        m_scopeMoved = false;
        setCursor(Qt::SizeAllCursor);
        return;
    }
    m_dragState = 2;
    if (m_pDoc) {
        m_pDoc->m_thumbDragState = 5;
        m_pDoc->m_thumbDragTick = int(platform::Clock().TickCount());
        m_pDoc->m_droppedNames = m_name;
        m_pDoc->m_dropAnchor = PicturePointAt(at);
    }
    m_dragStart = at;
    m_dragScroll = m_scroll;
    setCursor(Qt::ClosedHandCursor);
    grabMouse();
}

void CPresentImageDlg::mouseMoveEvent(QMouseEvent* e)
{
    const CPoint at = FromQ(e->position().toPoint());
    if (!(e->buttons() & Qt::LeftButton)) {
        if (m_pDoc && m_dragState == 0)
            m_pDoc->ClearDropList();
        setCursor(OnScopeBand(at) ? Qt::SizeAllCursor : Qt::ArrowCursor);
        return;
    }
    if (m_scopeGrab.x != 0 || m_scopeGrab.y != 0) {
        const int dx = at.x - m_scopeGrab.x, dy = at.y - m_scopeGrab.y;
        CRect moved = m_scopeRect;
        moved.OffsetRect(dx, dy);
        const CPoint c = moved.CenterPoint();
        CRect allowed(0, 0, m_displaySize.cx, m_displaySize.cy);
        allowed.DeflateRect(m_scopeRect.Width() / 2, m_scopeRect.Height() / 2);
        if (allowed.PtInRect(c)) {
            m_scopeRect = moved;
            m_scopeGrab = at;
            m_scopeMoved = true;
            // Scroll so that the moved scope is wholly in view.
            const CRect v = VisibleRect();
            int sx = 0, sy = 0;
            if (moved.left < v.left) sx = moved.left - v.left;
            else if (moved.right > v.right) sx = moved.right - v.right;
            if (moved.top < v.top) sy = moved.top - v.top;
            else if (moved.bottom > v.bottom) sy = moved.bottom - v.bottom;
            if (sx || sy)
                SetScroll(CPoint(m_scroll.x + sx, m_scroll.y + sy));
            update();
        }
        return;
    }
    if (m_dragState == 2) {
        if (m_pDoc)
            m_pDoc->m_thumbDragTick = int(platform::Clock().TickCount());
        if (rect().contains(ToQ(at))) {
            SetScroll(CPoint(m_dragScroll.x + m_dragStart.x - at.x, m_dragScroll.y + m_dragStart.y - at.y));
        } else {
            SetScroll(m_dragScroll);
            releaseMouse();
        }
    }
}

void CPresentImageDlg::mouseReleaseEvent(QMouseEvent*)
{
    releaseMouse();
    m_dragState = 0;
    if (m_pDoc)
        m_pDoc->ClearDropList();
    setCursor(Qt::ArrowCursor);
    if (m_scopeGrab.x != 0 || m_scopeGrab.y != 0) {
        m_scopeGrab = CPoint();
        CutOutSelection();
    }
}

void CPresentImageDlg::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || m_reduce != 1 || m_loadFactor < 2 || m_turn != 0)
        return;
    const CPoint at = FromQ(e->position().toPoint());
    if (m_scopeState != 3) {
        PlaceScopeAt(at);
        return;
    }
    CRect r = m_scopeRect;
    const CPoint origin = ImageWindowPictureOrigin(ClientSize(), m_displaySize, BarHeight());
    r.OffsetRect(origin.x - m_scroll.x, origin.y - m_scroll.y);
    if (r.PtInRect(at))
        OnZoomIn();
}

// ---- The document's handle -------------------------------------------------------------------

CPresentImageHolder::CPresentImageHolder(CSmDoc* doc, std::function<CRect()> desktop)
{
    m_window = new CPresentImageDlg(doc, std::move(desktop));
    // Close from inside the window's own handler: the document drops this holder (and with it
    // the window) once the handler has returned.
    m_window->m_onClose = [this, doc, w = m_window.data()] {
        QTimer::singleShot(0, qApp, [this, doc, guard = QPointer<CPresentImageDlg>(w)] {
            if (guard && doc)
                doc->RemovePictureWindow(this);
        });
    };
}

CPresentImageHolder::~CPresentImageHolder()
{
    delete m_window.data();
}

const std::string& CPresentImageHolder::GetPath() const
{
    return m_window ? m_window->Name() : m_path;
}

void CPresentImageHolder::DestroyWindow()
{
    delete m_window.data();
}

int CPresentImageHolder::Open(const std::string& path, int width, int height, int turn)
{
    m_path = path;
    return m_window ? m_window->ShowPicture(path, width, height, turn) : -1;
}

void CPresentImageHolder::RefreshDisplay()
{
    if (m_window && m_window->BuildDisplayBitmap() > 0)
        m_window->update();
}

CRect CPresentImageHolder::ScreenRect() const
{
    if (!m_window)
        return {};
    const QRect g = m_window->frameGeometry();
    return CRect(g.left(), g.top(), g.right() + 1, g.bottom() + 1);
}

void InstallPresentImageFactory()
{
    SetPictureWindowFactory([](IFrameWindow* parent) -> std::unique_ptr<IPictureWindow> {
        auto* frame = dynamic_cast<CMainFrame*>(parent);
        CSmDoc* doc = frame ? frame->Document() : nullptr;
        auto desktop = [frame]() -> CRect {
            QScreen* s = frame ? frame->screen() : QGuiApplication::primaryScreen();
            if (!s)
                return CRect(0, 0, 1024, 768);
            const QRect g = s->availableGeometry();
            return CRect(g.left(), g.top(), g.right() + 1, g.bottom() + 1);
        };
        return std::make_unique<CPresentImageHolder>(doc, desktop);
    });
}

// The drag image overlay and the work view's side of it: which image the drag shows and where.
#include "views/drag_overlay.h"

#include <QBitmap>
#include <QPainter>

#include "platform/qt/qt_colour.h"
#include "views/sm_view.h"

namespace views {

CDragOverlay::CDragOverlay(QWidget* window) : QWidget(window)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void CDragOverlay::SetImage(const QImage& image, CPoint hotspot, int kind)
{
    m_image = image.convertToFormat(QImage::Format_RGB32);
    m_hotspot = hotspot;
    m_kind = kind;
    m_empty = true;
    if (m_image.isNull()) {
        m_opaque = QImage();
        hide();
        return;
    }
    const QRgb key = platform::qt::ToQRgb(kDragMaskColour) | 0xFF000000u;
    // Index 1 marks the pixels drawn; as a bitmap those must be the set (black) bits.
    m_opaque = m_image.createMaskFromColor(key, Qt::MaskOutColor);
    m_opaque.setColorTable({0xFFFFFFFFu, 0xFF000000u});
    for (int y = 0; y < m_image.height() && m_empty; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(m_image.constScanLine(y));
        for (int x = 0; x < m_image.width(); ++x)
            if (row[x] != key) {
                m_empty = false;
                break;
            }
    }
    resize(m_image.size());
    // A mask without a single pixel would clear the mask and show the whole square.
    if (!m_empty)
        setMask(QBitmap::fromImage(m_opaque));
    update();
}

void CDragOverlay::ShowAt(CPoint pointer)
{
    m_pointer = pointer;
    move(pointer.x - m_hotspot.x, pointer.y - m_hotspot.y);
    if (m_empty) {
        hide();
        return;
    }
    if (!isVisible())
        show();
    raise();
}

void CDragOverlay::HideImage() { hide(); }

bool CDragOverlay::Opaque(int x, int y) const
{
    if (m_empty || x < 0 || y < 0 || x >= m_opaque.width() || y >= m_opaque.height())
        return false;
    return m_opaque.pixelIndex(x, y) == 1;
}

void CDragOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}

} // namespace views

// ---- The work view's drag image ----------------------------------------------------------------

QImage CSmView::DragImagePixels() const
{
    const DragImage& d = m_dragImage;
    if (d.kind == 2) {
        if (!d.preview.isNull())
            return d.preview;
        // No preview was made (the mask could not be had): nothing to show.
        QImage none(128, 128, QImage::Format_RGB32);
        none.fill(QColor::fromRgb(platform::qt::ToQRgb(views::kDragMaskColour)));
        return none;
    }
    if (d.kind == 1 && d.size.cx > 0 && d.size.cy > 0)
        return BuildPieceBitmap(d.entry, d.size);
    return {};
}

void CSmView::SyncDragOverlay(bool rebuild)
{
    const DragImage& d = m_dragImage;
    const bool wanted = d.kind != 0 && d.visible;
    QWidget* top = window();
    if (!m_dragOverlay || m_dragOverlay->parentWidget() != top) {
        if (!wanted && !m_dragOverlay)
            return;
        delete m_dragOverlay.data();
        m_dragOverlay = new views::CDragOverlay(top);
        // The overlay lives on the main window; it goes when the view goes.
        connect(this, &QObject::destroyed, m_dragOverlay.data(), &QObject::deleteLater);
        rebuild = true;
    }
    if (rebuild)
        m_dragOverlay->SetImage(DragImagePixels(), d.hotspot, d.kind);
    if (wanted)
        m_dragOverlay->ShowAt(d.position);
    else
        m_dragOverlay->HideImage();
}

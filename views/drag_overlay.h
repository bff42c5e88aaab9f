// The image that follows the pointer while a picture is dragged on the work view: a child
// widget of the main window, laid over every pane, that lets mouse events through and shows
// the piece bitmap or the fit preview with the transparent colour keyed out. Its position is
// in main-window coordinates: the pointer minus the image's hotspot.
#pragma once

#include <QImage>
#include <QWidget>

#include "common/basic_types.h"

namespace views {

// The drag images' transparent colour (0x00BBGGRR).
constexpr COLORREF kDragMaskColour = 0x88817A;

class CDragOverlay : public QWidget {
    Q_OBJECT
public:
    explicit CDragOverlay(QWidget* window);

    // A new image; pixels of the transparent colour are left out. An image with nothing left
    // is not shown at all.
    void SetImage(const QImage& image, CPoint hotspot, int kind);
    // Shows the image with its hotspot at `pointer` (main-window coordinates), or hides it.
    void ShowAt(CPoint pointer);
    void HideImage();

    int Kind() const { return m_kind; }
    CPoint Hotspot() const { return m_hotspot; }
    // The pointer position last shown at, main-window coordinates.
    CPoint Pointer() const { return m_pointer; }
    // The image's top-left in main-window coordinates.
    CPoint TopLeft() const { return {x(), y()}; }
    const QImage& Image() const { return m_image; }
    // Whether anything of the image is on screen.
    bool Shown() const { return isVisible(); }
    // Whether the image's pixel (x, y) is drawn (not keyed out).
    bool Opaque(int x, int y) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QImage m_opaque;  // one bit per pixel: 1 drawn
    bool m_empty = true;
    int m_kind = 0;
    CPoint m_hotspot;
    CPoint m_pointer;
};

} // namespace views

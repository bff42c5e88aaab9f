// The image window: one picture file shown by itself with zoom, a 50-pixel grid, scrolling,
// drag-out onto the work view, the colour fit manager, printing, and, for a picture held at
// reduced resolution, a full-resolution scope whose region is cut out into a new window.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

#include "common/basic_types.h"
#include "document/sm_doc.h"
#include "imagefile/bitmap.h"

class QPushButton;
class QScrollBar;
class QLabel;

class CPresentImageDlg : public QWidget {
    Q_OBJECT
public:
    // desktop answers the available desktop rectangle (screen coordinates).
    CPresentImageDlg(CSmDoc* doc, std::function<CRect()> desktop, QWidget* parent = nullptr);
    ~CPresentImageDlg() override;

    // Stores the name, stored size (0 x 0: unknown) and turn and creates the window; 1, or -1
    // when it cannot be shown.
    int ShowPicture(const std::string& name, int width, int height, int turn);
    // (Re)makes the display bitmap: > 0, -1 on failure, -5 out of memory.
    int BuildDisplayBitmap();

    // Called when the window is to go (Close, Escape, title bar): the document drops it after
    // the handler has returned. Set by the holder the document lists.
    std::function<void()> m_onClose;

    // Buttons.
    void OnZoomOut();
    void OnZoomIn();
    void OnGrid();
    void OnColor();
    void OnPrint();
    void OnCloseButton();

    // Picture point (stored coordinates) under a client point.
    CPoint PicturePointAt(CPoint client) const;

    // Inspection (tests and the document).
    const std::string& Name() const { return m_name; }
    const CBitmapBuffer* Bitmap() const { return m_bitmap.IsNull() ? nullptr : &m_bitmap; }
    // What the window shows instead of the picture when its file was refused (the name and the
    // import's refusal text, with the reason); empty while the picture is shown or loading.
    const std::string& Refusal() const { return m_refusal; }
    int m_buildCount = 0;
    // ShowPicture is putting the window on the screen (it builds the picture itself); a build
    // asked for by a paint is waiting for the event loop.
    bool m_showing = false;
    bool m_buildQueued = false;
    int m_loadFactor = 1;
    int m_reduce = 1;
    int m_showGrid = 0;
    int m_scopeState = 0;
    int m_dragState = 0;
    CRect m_scopeRect;
    CPoint m_scroll;
    CSize m_scrollMax;
    CSize m_pictureSize, m_turnedSize, m_loadSize, m_loadTurnedSize, m_displaySize;
    int m_turn = 0;
    std::string m_cutOutPath;
    int BarHeight() const { return m_barRect.bottom; }
    // Places a scope with its display centre at the client point; cuts it out.
    void PlaceScopeAt(CPoint client);
    int CutOutSelection();
    void SetScroll(CPoint p);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    int ChooseLoadFactorNow();
    void SizeAndTitle(bool keepSize);
    void LayoutBar();
    // Shows the window's "loading" face on the screen (waits briefly for the window to be exposed).
    void ShowLoadingFace();
    // Shows the refusal of the picture's file in the window instead of the picture.
    void Refuse();
    void UpdateScrollBars();
    void DropScope();
    void DeleteCutOut();
    void ZoomKeepingCentre(int newReduce);
    CSize ClientSize() const;
    CRect VisibleRect() const;  // picture display coordinates seen in the window
    bool OnScopeBand(CPoint client) const;

    CSmDoc* m_pDoc;
    std::function<CRect()> m_desktop;
    std::string m_name;
    std::string m_refusal;
    CBitmapBuffer m_bitmap;
    QImage m_image;  // a view of m_bitmap's bytes
    CRect m_barRect;
    CPoint m_dragStart, m_dragScroll, m_scopeGrab;
    CSize m_frameExtra;
    int m_scrolled = 1;
    bool m_scopeMoved = false;
    QWidget* m_bar = nullptr;
    QScrollBar* m_hbar = nullptr;
    QScrollBar* m_vbar = nullptr;
};

// The document's handle of an image window: owns the window and lets the document drop it.
class CPresentImageHolder : public IPictureWindow {
public:
    CPresentImageHolder(CSmDoc* doc, std::function<CRect()> desktop);
    ~CPresentImageHolder() override;
    const std::string& GetPath() const override;
    bool HasWindow() const override { return !m_window.isNull(); }
    void DestroyWindow() override;
    int Open(const std::string& path, int width, int height, int turn) override;
    const CBitmapBuffer* GetBitmap() const override { return m_window ? m_window->Bitmap() : nullptr; }
    void RefreshDisplay() override;
    CRect ScreenRect() const override;
    CPresentImageDlg* Window() const { return m_window.data(); }

private:
    QPointer<CPresentImageDlg> m_window;
    std::string m_path;
};

// Installs the document's maker of image windows (desktop from the main frame's screen).
void InstallPresentImageFactory();

// The colour fit manager: a modeless dialog that corrects one picture's exposure and colour,
// optionally against a reference picture, previews the correction beside the original with a
// ring-around chart of trial offsets, and writes the setting into the project for that picture
// or for every selected piece. The colour arithmetic is the picture's colour model; the
// dialog holds one working copy of it. The document owns the dialog through CColorFitHolder.
#pragma once

#include <QImage>
#include <QPointer>
#include <QSlider>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "document/sm_doc.h"
#include "imagefile/pixel_array.h"
#include "picset/color_model.h"
#include "platform/qt/dialog_base.h"
#include "shell/color_fit_model.h"

// A slider that draws the dialog's 21-line scale over its own drawing, and reports a change
// of the user's only when the change ends (release of the handle, a page click, a key, the
// wheel); a position the program sets is never reported.
class CScaleSlider : public QSlider {
    Q_OBJECT
public:
    CScaleSlider(Qt::Orientation o, bool scale, QWidget* parent = nullptr);
    // Sets the position without a report.
    void SetPositionQuietly(int value);
signals:
    void ChangeEnded(int value);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    bool m_scale;
    bool m_quiet = false;
};

class CColorFitDlg : public platform::qt::CDialogBase {
    Q_OBJECT
public:
    enum : int {
        IDC_ORIGINAL_AREA = 1201, IDC_RESULT_AREA = 1202, IDC_REFERENCE_AREA = 1203,
        IDC_ORIGINAL_CAPTION = 1199, IDC_RESULT_CAPTION = 1200, IDC_REFERENCE_CAPTION = 1204,
        IDC_ORIGINAL_SWATCH = 1196, IDC_RESULT_SWATCH = 1214, IDC_REFERENCE_SWATCH = 1215,
        IDC_ORIGINAL_ZOOM_IN = 1217, IDC_ORIGINAL_ZOOM_OUT = 1218,
        IDC_REFERENCE_ZOOM_IN = 1226, IDC_REFERENCE_ZOOM_OUT = 1227,
        IDC_SLIDER_B = 1242, IDC_SLIDER_C = 1244, IDC_SLIDER_M = 1243, IDC_SLIDER_RANGE = 1263,
        IDC_CHART_IN = 1260, IDC_CHART_OUT = 1275, IDC_RESET = 1245, IDC_CONFORM = 1250,
        IDC_CREATE_COLOUR = 1252, IDC_ALL_OF_PICTURE = 1189,
        IDC_ORIGINAL_BRIGHTNESS = 1258, IDC_ORIGINAL_COLOUR = 1259,
        IDC_REFERENCE_BRIGHTNESS = 1191, IDC_REFERENCE_COLOUR = 1190,
        IDC_TARGET_ORIGINAL_GREY = 1256, IDC_TARGET_ORIGINAL_COLOUR = 1257,
        IDC_TARGET_REFERENCE_GREY = 1246, IDC_TARGET_REFERENCE_COLOUR = 1247,
        IDC_CHECK = 1267, IDC_APPLY_ORIGINAL = 1254, IDC_APPLY_SELECTION = 1255,
        IDC_SAMPLE_SIZE = 1049, IDC_SAMPLE_TEXT = 1317, IDC_FIND = 1314,
        IDC_GROUP_PICKER = 1313, IDC_GROUP_BALANCE = 1185, IDC_GROUP_EXPOSURE = 1186,
        IDC_GROUP_ZONE = 1187, IDC_GROUP_PICTURE = 1188, IDC_GROUP_CONFORM = 1241,
    };

    CColorFitDlg(CSmDoc* doc, QWidget* parent = nullptr);
    ~CColorFitDlg() override;

    // Shows the dialog for a picture ("" none). A second call for the picture shown hides it.
    // 1.
    int OpenForPicture(const std::string& name);
    // A picture dropped at a screen point: the original area takes it as the picture to
    // correct, the reference area as the reference; elsewhere nothing. -1 for an empty name,
    // else 1.
    int DropPicture(const std::string& name, CPoint screen);

    // Handlers of the buttons.
    void OnOriginalZoomIn();
    void OnOriginalZoomOut();
    void OnReferenceZoomIn();
    void OnReferenceZoomOut();
    void OnChartZoomIn();
    void OnChartZoomOut();
    void OnReset();
    void OnConform();
    void OnTargetButton(int id);
    void OnApplyToOriginal();
    void OnApplyToSelection();
    void OnCreateNewColor();
    void OnSampleSize();
    void OnFind();
    void OnSliderChanged(int id, int position);
    void OnOK() override;
    void OnCancel() override;

    // Picks a colour for [Create new color]; answers false when the user cancelled. Tests
    // replace it.
    std::function<bool(COLORREF&)> m_pickColour;

    // The rectangle of a control or image area, client coordinates.
    CRect ItemRect(int id) const;
    // The last painted picture of the client area.
    const QImage& Canvas() const { return m_canvas; }
    // Paints the client area into the canvas now.
    void PaintCanvas();

    // ---- State (read by tests and the document) -------------------------------------------
    CSmDoc* m_pDoc;
    int m_shown = 0;
    CColorModel m_model;
    int m_dragMode = 0;
    CPoint m_dragStart;
    int m_applyMode = 1;
    std::vector<COLORREF> m_customColours;

    struct Image {
        std::string name;
        int turn = 0;
        CSize size;
        int reduce = 1;
        int magnify = 1;
        CPoint centre;
        CPixelArray pixels;
        CPixelArray view;
    };
    Image m_original;
    Image m_reference;
    CSize m_areaSize;
    CPixelArray m_resultView;
    CPixelArray m_checkView;
    CSize m_chartSize;
    CPixelArray m_chartSource;
    CPixelArray m_chartPixels;

    COLORREF m_originalColour = 0x808080;
    COLORREF m_referenceColour = 0x808080;
    CPoint m_originalMarker, m_resultMarker, m_referenceMarker;
    COLORREF m_originalMarkerColour = 0x82B4FF, m_resultMarkerColour = 0x82B4FF, m_referenceMarkerColour = 0x82B4FF;
    int m_brightnessTarget = 0;
    int m_colourTarget = 0;
    COLORREF m_targetOriginal = 0xC0C0C0;
    COLORREF m_targetReference = 0xC0C0C0;
    int m_showCheck = 0;
    int m_chartCells = 5;
    int m_chartReduce = 2;
    CChartLayout m_chart;
    int m_hoverCell = -2;
    int m_flash = 0;
    uint32_t m_clickTick = 0;
    int m_sampleSize = 1;
    int m_sampleRadius = 0;
    CPoint m_sampleMark;
    int m_layoutCount = 0;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void OnCommand(int id, int code) override;

public:
    // Mouse handling on client points (the Qt events call these).
    void OnLButtonDown(CPoint p);
    void OnMouseMove(CPoint p, bool leftDown);
    void OnLButtonUp();
    void OnLButtonDblClk(CPoint p);

private:
    void BuildControls();
    int Layout();
    void SlidersFromModel();
    void ShowTargetBoxes();
    // Loads a picture into `image` as shown by the project; > 0 on success.
    int LoadPicture(Image& image, const std::string& name, bool reference);
    void FitZoom(Image& image);
    void ResetZoom(Image& image);
    void ExtractView(Image& image);
    void MakeChartSource();
    void MakeResultView();
    void Zoom(Image& image, bool in);
    CPoint AreaCentre(int id) const;
    void SampleColours();
    void UpdateTargetColours();
    void DrawArea(class QPainter& p, int id, const CPixelArray& pixels, const char* emptyText, bool loading);
    void DrawMarker(class QPainter& p, int areaId, CPoint at, COLORREF colour);
    void DrawSwatch(class QPainter& p, int id, COLORREF c);
    void SetColourTexts(int r, int g, int b, COLORREF c);
    CPoint ClampMarker(int areaId, CPoint m, int inset) const;

    std::map<int, CRect> m_rects;
    QImage m_canvas;
    CColorFitSliders m_sliderPositions;
};

// The document's handle of the colour fit manager: makes the dialog on the first opening and
// answers for it while it is there.
class CColorFitHolder : public IToolDialog {
public:
    CColorFitHolder(CSmDoc* doc, QWidget* parent);
    ~CColorFitHolder() override;
    bool HasWindow() const override { return !m_window.isNull(); }
    void DestroyWindow() override;
    int GetState() const override { return m_window ? m_window->m_shown : 0; }
    CRect ScreenRect() const override;
    int OpenForPicture(const std::string& name) override;
    int DropPicture(const std::string& name, CPoint screen) override;
    CColorFitDlg* Window() const { return m_window.data(); }

private:
    CSmDoc* m_doc;
    QPointer<QWidget> m_parent;
    QPointer<CColorFitDlg> m_window;
};

// The colour fit manager; see color_fit_dlg.h. The client area is painted into a canvas image
// first (image areas, swatches, markers, chart cells), then shown; the colour under a marker
// is read back from that canvas. Controls sit at fixed places; the dialog's own pictures lie
// under labels and group frames, which let the mouse through to the dialog.
#include "shell/color_fit_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionSlider>

#include <algorithm>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_ops.h"
#include "picset/kpic.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/qt/resources.h"

using namespace platform::qt;

namespace {

constexpr COLORREF kEmptyAreaColour = 0xAEE3E8;
constexpr COLORREF kNeutral = 0x808080;
constexpr COLORREF kTargetNone = 0xC0C0C0;
constexpr COLORREF kFirstMarkerColour = 0x82B4FF;
// The reference marker starts outside every area.
constexpr CPoint kNoMarker(300000, 300000);

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromQRgb(QRgb c) { return RGB(qRed(c), qGreen(c), qBlue(c)); }
QRect ToQRect(const CRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }
CPoint FromQ(QPoint p) { return {p.x(), p.y()}; }

// A w x h picture of the array (nothing when the array is short).
QImage ToQImage(const CPixelArray& pixels, int w, int h)
{
    if (w <= 0 || h <= 0 || pixels.GetSize() < int64_t(w) * h)
        return {};
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        const COLORREF* src = pixels.GetData() + int64_t(y) * w;
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(GetRValue(src[x]), GetGValue(src[x]), GetBValue(src[x]));
    }
    return img;
}

} // namespace

// ---- The slider -----------------------------------------------------------------------------

CScaleSlider::CScaleSlider(Qt::Orientation o, bool scale, QWidget* parent) : QSlider(o, parent), m_scale(scale)
{
    connect(this, &QSlider::sliderReleased, this, [this] { emit ChangeEnded(value()); });
    // Page clicks, keys and the wheel move the slider without its handle held down.
    connect(this, &QSlider::valueChanged, this, [this](int v) {
        if (!m_quiet && !isSliderDown())
            emit ChangeEnded(v);
    });
}

void CScaleSlider::SetPositionQuietly(int value)
{
    m_quiet = true;
    setValue(value);
    m_quiet = false;
}

void CScaleSlider::paintEvent(QPaintEvent* e)
{
    QSlider::paintEvent(e);
    if (!m_scale)
        return;
    const bool horizontal = orientation() == Qt::Horizontal;
    const int length = horizontal ? width() : height();
    const int thickness = horizontal ? height() : width();
    const CSliderScale s = ColorFitSliderScale(length, thickness, horizontal);
    QPainter p(this);
    p.setPen(Qt::black);
    for (size_t i = 0; i < s.along.size(); ++i) {
        // The middle line is three pixels thick.
        for (int d = (i == 10 ? -1 : 0); d <= (i == 10 ? 1 : 0); ++d) {
            const int at = s.along[i] + d;
            if (horizontal)
                p.drawLine(at, s.acrossFrom, at, s.acrossTo);
            else
                p.drawLine(s.acrossFrom, at, s.acrossTo, at);
        }
    }
}

// ---- Construction ---------------------------------------------------------------------------

CColorFitDlg::CColorFitDlg(CSmDoc* doc, QWidget* parent) : CDialogBase(parent), m_pDoc(doc)
{
    setObjectName(QStringLiteral("CColorFitDlg"));
    setWindowTitle(QStringLiteral("Color Fit Manager"));
    setModal(false);
    setFont(QFont(QStringLiteral("Arial"), 9));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_pickColour = [this](COLORREF& c) {
        const QColor q = QColorDialog::getColor(QColor(), this);
        if (!q.isValid())
            return false;
        c = RGB(q.red(), q.green(), q.blue());
        return true;
    };
    BuildControls();

    // The state of a newly made dialog.
    m_dragMode = 0;
    m_applyMode = 1;
    ResetZoom(m_original);
    ResetZoom(m_reference);
    m_originalMarker = CPoint(0, 0);
    m_referenceMarker = kNoMarker;
    m_originalColour = m_referenceColour = kNeutral;
    m_originalMarkerColour = m_resultMarkerColour = m_referenceMarkerColour = kFirstMarkerColour;
    m_showCheck = 0;
    m_shown = 0;
    m_clickTick = platform::Clock().TickCount();
    m_chartCells = 5;
    m_chartReduce = 2;
    m_hoverCell = -2;
    m_sampleSize = 1;
    m_sampleRadius = 0;
    OnSampleSize();
    SetDlgItemText(IDC_ORIGINAL_CAPTION, ColorFitOriginalCaption(std::string()));
    SetDlgItemText(IDC_REFERENCE_CAPTION, ColorFitReferenceCaption(std::string()));
    CheckDlgButton(IDC_APPLY_ORIGINAL, BST_CHECKED);
    ShowTargetBoxes();
}

CColorFitDlg::~CColorFitDlg() = default;

void CColorFitDlg::BuildControls()
{
    // Image columns.
    const int cols[3] = {10, 200, 390};
    constexpr int kArea = 180;
    const int captions[3] = {IDC_ORIGINAL_CAPTION, IDC_RESULT_CAPTION, IDC_REFERENCE_CAPTION};
    const char* captionTexts[3] = {"  Original Image", "Result Image", "  Reference Image"};
    const int areas[3] = {IDC_ORIGINAL_AREA, IDC_RESULT_AREA, IDC_REFERENCE_AREA};
    const int swatches[3] = {IDC_ORIGINAL_SWATCH, IDC_RESULT_SWATCH, IDC_REFERENCE_SWATCH};
    const int labels[3] = {1197, 1206, 1216};
    const char* labelTexts[3] = {"Original Color", "Result Color", "Reference Color"};
    const int values[3][3] = {{1220, 1222, 1224}, {1231, 1232, 1234}, {1236, 1238, 1240}};

    auto label = [this](int id, const char* text, const CRect& r, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setGeometry(ToQRect(r));
        l->setAlignment(align);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        if (id != 0) {
            AddControl(id, l);
            m_rects[id] = r;
        }
        return l;
    };
    auto button = [this](int id, const char* text, const CRect& r) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setGeometry(ToQRect(r));
        b->setAutoDefault(false);
        b->setObjectName(QStringLiteral("button%1").arg(id));
        AddControl(id, b);
        m_rects[id] = r;
        return b;
    };
    auto box = [this](int id, const char* text, const CRect& r, bool three) {
        QCheckBox* b = three ? new CTriStateBox(QString::fromUtf8(text), this) : new QCheckBox(QString::fromUtf8(text), this);
        b->setGeometry(ToQRect(r));
        AddControl(id, b);
        m_rects[id] = r;
        return b;
    };
    auto group = [this](int id, const char* text, const CRect& r) {
        auto* g = new QGroupBox(QString::fromUtf8(text), this);
        g->setGeometry(ToQRect(r));
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
        g->lower();
        AddControl(id, g);
        m_rects[id] = r;
    };
    auto rect = [this](int id, const CRect& r) { m_rects[id] = r; };

    // Group frames first, so that they lie under everything else.
    group(IDC_GROUP_EXPOSURE, "Set Exposure", CRect(580, 6, 910, 130));
    group(IDC_GROUP_BALANCE, "Set Color Balance", CRect(580, 136, 910, 470));
    group(IDC_GROUP_ZONE, "Target color zone to apply the setting", CRect(10, 246, 300, 430));
    group(IDC_GROUP_PICTURE, "Target picture to apply the setting", CRect(310, 246, 570, 310));
    group(IDC_GROUP_CONFORM, "Color on color conform by Reference Color", CRect(310, 316, 570, 370));
    group(IDC_GROUP_PICKER, "Color picker", CRect(310, 376, 570, 430));

    for (int i = 0; i < 3; ++i) {
        const int x = cols[i];
        label(captions[i], captionTexts[i], CRect(x, 4, x + kArea, 22));
        rect(areas[i], CRect(x, 24, x + kArea, 24 + kArea));
        rect(swatches[i], CRect(x, 210, x + 24, 234));
        label(labels[i], labelTexts[i], CRect(x + 30, 206, x + 130, 220));
        for (int c = 0; c < 3; ++c)
            label(values[i][c], "128", CRect(x + 30 + 34 * c, 221, x + 62 + 34 * c, 236));
    }
    button(IDC_ORIGINAL_ZOOM_IN, "+", CRect(cols[0] + 134, 210, cols[0] + 156, 232));
    button(IDC_ORIGINAL_ZOOM_OUT, "-", CRect(cols[0] + 158, 210, cols[0] + 180, 232));
    button(IDC_REFERENCE_ZOOM_IN, "+", CRect(cols[2] + 134, 210, cols[2] + 156, 232));
    button(IDC_REFERENCE_ZOOM_OUT, "-", CRect(cols[2] + 158, 210, cols[2] + 180, 232));

    // The chart's sliders and buttons.
    auto slider = [this](int id, Qt::Orientation o, bool scale, const CRect& r, int lo, int hi, int page) {
        auto* s = new CScaleSlider(o, scale, this);
        s->setObjectName(QStringLiteral("slider%1").arg(id));
        s->setGeometry(ToQRect(r));
        s->setRange(lo, hi);
        s->setSingleStep(0);
        s->setPageStep(page);
        if (o == Qt::Vertical)
            s->setInvertedAppearance(true);
        connect(s, &CScaleSlider::ChangeEnded, this, [this, id](int v) { OnSliderChanged(id, v); });
        AddControl(id, s);
        m_rects[id] = r;
    };
    slider(IDC_SLIDER_B, Qt::Horizontal, true, CRect(604, 100, 886, 124), -100, 100, 2);
    label(0, "B-", CRect(584, 104, 602, 120));
    label(0, "B+", CRect(888, 104, 908, 120));
    slider(IDC_SLIDER_C, Qt::Vertical, true, CRect(880, 168, 904, 418), -100, 100, 2);
    label(0, "C+", CRect(880, 152, 904, 166), Qt::AlignCenter);
    label(0, "C-", CRect(880, 420, 904, 436), Qt::AlignCenter);
    slider(IDC_SLIDER_M, Qt::Horizontal, true, CRect(604, 440, 870, 464), -100, 100, 2);
    label(0, "M-", CRect(584, 444, 602, 460));
    label(0, "M+", CRect(872, 444, 896, 460));
    button(IDC_CHART_IN, "+", CRect(580, 478, 604, 500));
    button(IDC_CHART_OUT, "-", CRect(606, 478, 630, 500));
    button(IDC_RESET, "Reset", CRect(640, 478, 720, 500));

    // Targets.
    box(IDC_ALL_OF_PICTURE, "All of the picture", CRect(20, 266, 220, 284), false);
    box(IDC_ORIGINAL_BRIGHTNESS, "Similar to Original brightness", CRect(20, 288, 236, 306), true);
    box(IDC_ORIGINAL_COLOUR, "Similar to Original Color", CRect(20, 308, 236, 326), true);
    box(IDC_REFERENCE_BRIGHTNESS, "Similar to Reference brightness", CRect(20, 328, 236, 346), false);
    box(IDC_REFERENCE_COLOUR, "Similar to Reference Color", CRect(20, 348, 236, 366), false);
    rect(IDC_TARGET_ORIGINAL_GREY, CRect(240, 290, 256, 304));
    rect(IDC_TARGET_ORIGINAL_COLOUR, CRect(240, 310, 256, 324));
    rect(IDC_TARGET_REFERENCE_GREY, CRect(240, 330, 256, 344));
    rect(IDC_TARGET_REFERENCE_COLOUR, CRect(240, 350, 256, 364));
    QLabel* check = label(IDC_CHECK, "Check", CRect(240, 266, 290, 284), Qt::AlignCenter);
    check->setFrameShape(QFrame::Box);
    label(0, "Generally", CRect(20, 392, 80, 408));
    {
        auto* s = new CScaleSlider(Qt::Horizontal, false, this);
        s->setObjectName(QStringLiteral("slider%1").arg(IDC_SLIDER_RANGE));
        s->setGeometry(84, 386, 170, 24);
        s->setRange(1, 7);
        s->setSingleStep(0);
        s->setPageStep(1);
        s->setTickPosition(QSlider::TicksBelow);
        s->setTickInterval(1);
        s->SetPositionQuietly(4);
        connect(s, &CScaleSlider::ChangeEnded, this, [this](int v) { OnSliderChanged(IDC_SLIDER_RANGE, v); });
        AddControl(IDC_SLIDER_RANGE, s);
        m_rects[IDC_SLIDER_RANGE] = CRect(84, 386, 254, 410);
    }
    label(0, "Narrowly", CRect(232, 410, 296, 426));

    box(IDC_APPLY_ORIGINAL, "Apply this setting to the original picture", CRect(318, 264, 566, 284), false);
    box(IDC_APPLY_SELECTION, "Apply same settings to all the selection", CRect(318, 286, 566, 306), false);
    button(IDC_CONFORM, "Conform", CRect(320, 336, 430, 362));
    button(IDC_CREATE_COLOUR, "Create new color", CRect(440, 336, 560, 362));
    button(IDC_SAMPLE_SIZE, "Size", CRect(320, 398, 370, 422))->setFlat(true);
    label(IDC_SAMPLE_TEXT, "1X1", CRect(376, 410, 420, 426), Qt::AlignCenter);
    button(IDC_FIND, "Find", CRect(440, 398, 500, 422))->setFlat(true);

    QPushButton* ok = button(1, "OK", CRect(740, 520, 820, 546));
    ok->setAutoDefault(true);
    button(2, "CANCEL", CRect(830, 520, 910, 546));
    setFixedSize(920, 556);
}

CRect CColorFitDlg::ItemRect(int id) const
{
    auto it = m_rects.find(id);
    return it == m_rects.end() ? CRect() : it->second;
}

CPoint CColorFitDlg::AreaCentre(int id) const { return ItemRect(id).CenterPoint(); }

// ---- Layout -------------------------------------------------------------------------------

int CColorFitDlg::Layout()
{
    ++m_layoutCount;
    const int labelHeight = ItemRect(1197).Height();
    if (auto* s = qobject_cast<CScaleSlider*>(GetDlgItem(IDC_SLIDER_RANGE)))
        s->SetPositionQuietly(4);
    SlidersFromModel();
    m_areaSize = ItemRect(IDC_ORIGINAL_AREA).Size();
    m_chartReduce = ColorFitChartReduce(m_chartCells);
    m_chartSize = CSize(m_areaSize.cx / m_chartReduce, m_areaSize.cy / m_chartReduce);
    if (!m_chartPixels.TrySetSize(int64_t(m_chartSize.cx) * m_chartSize.cy))
        return -5;
    m_chart = LayoutColorFitChart(m_chartCells, ItemRect(IDC_GROUP_EXPOSURE), ItemRect(IDC_GROUP_BALANCE),
                                  labelHeight, ItemRect(IDC_SLIDER_B), ItemRect(IDC_SLIDER_C),
                                  ItemRect(IDC_SLIDER_M), m_chartSize);
    const CRect text = ItemRect(IDC_SAMPLE_TEXT);
    m_sampleMark = CPoint(text.CenterPoint().x, ItemRect(IDC_FIND).top);
    update();
    return 1;
}

void CColorFitDlg::SlidersFromModel()
{
    m_sliderPositions = ColorFitSlidersFromModel(m_model);
    auto set = [this](int id, int v) {
        if (auto* s = qobject_cast<CScaleSlider*>(GetDlgItem(id)))
            s->SetPositionQuietly(v);
    };
    set(IDC_SLIDER_B, m_sliderPositions.b);
    set(IDC_SLIDER_M, m_sliderPositions.m);
    set(IDC_SLIDER_C, m_sliderPositions.c);
    set(IDC_SLIDER_RANGE, m_sliderPositions.range);
}

void CColorFitDlg::ShowTargetBoxes()
{
    const CColorFitTargetBoxes t = ColorFitTargetBoxes(m_brightnessTarget, m_colourTarget);
    CheckDlgButton(IDC_ORIGINAL_BRIGHTNESS, t.originalBrightness);
    CheckDlgButton(IDC_REFERENCE_BRIGHTNESS, t.referenceBrightness);
    CheckDlgButton(IDC_ORIGINAL_COLOUR, t.originalColour);
    CheckDlgButton(IDC_REFERENCE_COLOUR, t.referenceColour);
    CheckDlgButton(IDC_ALL_OF_PICTURE, t.allOfPicture);
    m_model.mode = t.mode;
    EnableItem(IDC_CHECK, t.mode > 0);
    update();
}

// ---- Pictures -----------------------------------------------------------------------------

void CColorFitDlg::ResetZoom(Image& image)
{
    image.reduce = 1;
    image.magnify = 1;
    image.centre = CPoint(image.size.cx / 2, image.size.cy / 2);
    m_originalMarker = AreaCentre(IDC_ORIGINAL_AREA);
    m_resultMarker = AreaCentre(IDC_RESULT_AREA);
    if (&image == &m_reference)
        m_referenceMarker = AreaCentre(IDC_REFERENCE_AREA);
}

void CColorFitDlg::FitZoom(Image& image)
{
    image.reduce = ColorFitFitReduce(image.size.cx, m_areaSize.cx);
    image.magnify = 1;
    image.centre = CPoint(image.size.cx / 2, image.size.cy / 2);
    if (&image == &m_reference) {
        m_referenceMarker = AreaCentre(IDC_REFERENCE_AREA);
    } else {
        m_originalMarker = AreaCentre(IDC_ORIGINAL_AREA);
        m_resultMarker = AreaCentre(IDC_RESULT_AREA);
    }
}

void CColorFitDlg::ExtractView(Image& image)
{
    if (image.pixels.GetSize() < int64_t(image.size.cx) * image.size.cy || image.size.cx < 1 || image.size.cy < 1) {
        image.view.RemoveAll();
        return;
    }
    ExtractPixels(image.pixels, image.size.cx, image.size.cy, image.centre.x, image.centre.y, image.view, m_areaSize.cx,
                  m_areaSize.cy, image.magnify, image.reduce);
}

void CColorFitDlg::MakeChartSource()
{
    if (m_original.view.GetSize() < int64_t(m_areaSize.cx) * m_areaSize.cy || m_areaSize.cx < 1) {
        m_chartSource.RemoveAll();
        return;
    }
    ShrinkPixels(m_original.view, m_areaSize.cx, m_areaSize.cy, m_chartSource, m_chartReduce);
}

void CColorFitDlg::MakeResultView()
{
    if (m_original.view.IsEmpty()) {
        m_resultView.RemoveAll();
        return;
    }
    m_model.ApplyToArrayCopy(m_original.view, m_resultView);
}

int CColorFitDlg::LoadPicture(Image& image, const std::string& name, bool reference)
{
    if (name.empty())
        return -1;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    image.turn = 0;
    image.size = CSize();
    image.pixels.RemoveAll();
    try {
        // The picture held in memory carries its entry's correction: the original is taken from
        // there only while its entry corrects nothing, the reference always, as the project
        // shows it.
        const int entry = m_pDoc ? m_pDoc->FindEntryIndex(name, 0) : -1;
        const CColorModel* entryModel = entry >= 0 ? &m_pDoc->m_entries[size_t(entry)].m_ColorModel : nullptr;
        CColorModel probe;
        if (entryModel)
            probe = *entryModel;
        const bool entryActive = entryModel && probe.GetActiveMode() >= 0;
        CKpic* k = m_pDoc ? m_pDoc->FindPictureByName(name) : nullptr;
        if (k && (reference || (entry >= 0 && !entryActive))) {
            const int w = k->Width(), h = k->Height();
            if (w > 0 && h > 0 && k->Pixels.GetSize() == int64_t(w) * h) {
                const int turn = k->QuarterTurns & 3;
                if (RotatePixels(k->Pixels, w, h, image.pixels, turn) < 1)
                    return -1;
                image.turn = turn;
                image.size = (turn & 1) ? CSize(h, w) : CSize(w, h);
                return 1;
            }
        }
        // From the file.
        const FileKind kind = GetFileKind(name);
        if (kind < FILE_KIND_BMP || kind > FILE_KIND_PNG)
            return -1;
        CSize size = GetImageFileRect(name).Size();
        if (size.cx < 1 || size.cy < 1)
            return -1;
        const int r = m_pDoc ? m_pDoc->ReadImageFile(name, image.pixels, size, CRect())
                             : LoadImageFile(name, image.pixels, size, CRect());
        if (r < -4)
            ShowMessage(Catalogue().memoryTooShort);
        if (r < 1 || image.pixels.GetSize() < int64_t(size.cx) * size.cy) {
            image.pixels.RemoveAll();
            return -1;
        }
        if (reference && entryActive)
            probe.ApplyToArray(image.pixels);
        image.size = size;
        return 1;
    } catch (const std::bad_alloc&) {
        image.pixels.RemoveAll();
        image.size = CSize();
        ShowMessage(Catalogue().memoryTooShort);
        return -5;
    }
}

// ---- Opening and dropping -------------------------------------------------------------------

int CColorFitDlg::OpenForPicture(const std::string& name)
{
    Layout();
    if (name == m_original.name) {
        if (isVisible() && !name.empty()) {
            hide();
            m_shown = 0;
            return 1;
        }
        show();
        m_shown = 1;
        raise();
        activateWindow();
        update();
    }
    m_original.name = name;
    SetDlgItemText(IDC_ORIGINAL_CAPTION, ColorFitOriginalCaption(name));
    m_original.pixels.TrySetSize(int64_t(m_areaSize.cx) * m_areaSize.cy);
    m_original.pixels.Fill(kNeutral);
    m_original.size = m_areaSize;
    m_original.turn = 0;
    m_model.ClearOffsets();
    ResetZoom(m_original);
    ExtractView(m_original);
    MakeChartSource();

    show();
    m_shown = 1;
    raise();
    activateWindow();

    if (m_pDoc) {
        const int entry = m_pDoc->FindEntryIndex(name, 0);
        if (entry >= 0)
            m_model.AssignSettings(m_pDoc->m_entries[size_t(entry)].m_ColorModel);
    }
    if (LoadPicture(m_original, name, false) < 1) {
        // Nothing to correct: the area asks for a picture again.
        m_original.name.clear();
        m_original.pixels.RemoveAll();
        m_original.view.RemoveAll();
        m_original.size = CSize();
        m_chartSource.RemoveAll();
        SetDlgItemText(IDC_ORIGINAL_CAPTION, ColorFitOriginalCaption(std::string()));
        ResetZoom(m_original);
    } else {
        SetDlgItemText(IDC_ORIGINAL_CAPTION, ColorFitOriginalCaption(name));
        FitZoom(m_original);
        ExtractView(m_original);
        MakeResultView();
        MakeChartSource();
    }
    m_hoverCell = -2;
    m_flash = 0;
    SlidersFromModel();
    m_brightnessTarget = m_colourTarget = 0;
    m_targetOriginal = m_targetReference = kTargetNone;
    ShowTargetBoxes();
    m_applyMode = 1;
    CheckDlgButton(IDC_APPLY_ORIGINAL, BST_CHECKED);
    CheckDlgButton(IDC_APPLY_SELECTION, BST_UNCHECKED);
    update();
    return 1;
}

int CColorFitDlg::DropPicture(const std::string& name, CPoint screen)
{
    if (name.empty())
        return -1;
    const CPoint p = FromQ(mapFromGlobal(QPoint(screen.x, screen.y)));
    if (ItemRect(IDC_ORIGINAL_AREA).PtInRect(p)) {
        if (LoadPicture(m_original, name, false) < 1) {
            m_original.name.clear();
            m_original.size = CSize();
            ResetZoom(m_original);
            m_original.pixels.RemoveAll();
            m_original.view.RemoveAll();
            m_chartSource.RemoveAll();
            m_resultView.RemoveAll();
            SetDlgItemText(IDC_ORIGINAL_CAPTION, ColorFitOriginalCaption(std::string()));
        } else {
            m_original.name = name;
            SetDlgItemText(IDC_ORIGINAL_CAPTION, ColorFitOriginalCaption(name));
            FitZoom(m_original);
            ExtractView(m_original);
            if (m_pDoc) {
                const int entry = m_pDoc->FindEntryIndex(name, 0);
                if (entry >= 0) {
                    CColorModel model = m_pDoc->m_entries[size_t(entry)].m_ColorModel;
                    if (model.GetActiveMode() >= 0) {
                        m_model.CopySettings(model);
                        if (m_model.mode & 1)
                            m_brightnessTarget = m_colourTarget = 3;
                    }
                }
            }
            MakeResultView();
            MakeChartSource();
            SlidersFromModel();
            ShowTargetBoxes();
        }
    } else if (ItemRect(IDC_REFERENCE_AREA).PtInRect(p)) {
        if (LoadPicture(m_reference, name, true) < 1) {
            m_reference.name.clear();
            m_reference.size = CSize();
            m_reference.pixels.RemoveAll();
            m_reference.view.RemoveAll();
            SetDlgItemText(IDC_REFERENCE_CAPTION, ColorFitReferenceCaption(std::string()));
        } else {
            m_reference.name = name;
            SetDlgItemText(IDC_REFERENCE_CAPTION, ColorFitReferenceCaption(name));
            FitZoom(m_reference);
            ExtractView(m_reference);
        }
    }
    update();
    return 1;
}

// ---- Buttons --------------------------------------------------------------------------------

void CColorFitDlg::OnCommand(int id, int code)
{
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case IDC_ORIGINAL_ZOOM_IN: OnOriginalZoomIn(); break;
    case IDC_ORIGINAL_ZOOM_OUT: OnOriginalZoomOut(); break;
    case IDC_REFERENCE_ZOOM_IN: OnReferenceZoomIn(); break;
    case IDC_REFERENCE_ZOOM_OUT: OnReferenceZoomOut(); break;
    case IDC_CHART_IN: OnChartZoomIn(); break;
    case IDC_CHART_OUT: OnChartZoomOut(); break;
    case IDC_RESET: OnReset(); break;
    case IDC_CONFORM: OnConform(); break;
    case IDC_ALL_OF_PICTURE:
    case IDC_ORIGINAL_BRIGHTNESS:
    case IDC_ORIGINAL_COLOUR:
    case IDC_REFERENCE_BRIGHTNESS:
    case IDC_REFERENCE_COLOUR: OnTargetButton(id); break;
    case IDC_APPLY_ORIGINAL: OnApplyToOriginal(); break;
    case IDC_APPLY_SELECTION: OnApplyToSelection(); break;
    case IDC_CREATE_COLOUR: OnCreateNewColor(); break;
    case IDC_SAMPLE_SIZE: OnSampleSize(); break;
    case IDC_FIND: OnFind(); break;
    case 1: OnOK(); break;
    case 2: OnCancel(); break;
    default: break;
    }
}

void CColorFitDlg::Zoom(Image& image, bool in)
{
    if (in)
        ColorFitZoomIn(image.reduce, image.magnify);
    else
        ColorFitZoomOut(image.reduce, image.magnify);
    ExtractView(image);
    if (&image == &m_original) {
        MakeResultView();
        MakeChartSource();
    }
    update();
}

void CColorFitDlg::OnOriginalZoomIn() { Zoom(m_original, true); }
void CColorFitDlg::OnOriginalZoomOut() { Zoom(m_original, false); }
void CColorFitDlg::OnReferenceZoomIn() { Zoom(m_reference, true); }
void CColorFitDlg::OnReferenceZoomOut() { Zoom(m_reference, false); }

void CColorFitDlg::OnChartZoomIn()
{
    m_chartCells = ColorFitFewerCells(m_chartCells);
    Layout();
    MakeChartSource();
    update();
}

void CColorFitDlg::OnChartZoomOut()
{
    m_chartCells = ColorFitMoreCells(m_chartCells);
    Layout();
    MakeChartSource();
    update();
}

void CColorFitDlg::OnReset()
{
    m_model.ClearOffsets();
    m_model.trialY = m_model.trialCb = m_model.trialCr = 0.0;
    SlidersFromModel();
    MakeResultView();
    update();
}

void CColorFitDlg::OnConform()
{
    m_model.MatchColours(m_originalColour, m_referenceColour);
    SlidersFromModel();
    MakeResultView();
    update();
}

void CColorFitDlg::OnTargetButton(int id)
{
    switch (id) {
    case IDC_ALL_OF_PICTURE: m_brightnessTarget = m_colourTarget = 0; break;
    case IDC_ORIGINAL_BRIGHTNESS: m_brightnessTarget = ColorFitToggleTarget(m_brightnessTarget, 1); break;
    case IDC_ORIGINAL_COLOUR: m_colourTarget = ColorFitToggleTarget(m_colourTarget, 1); break;
    case IDC_REFERENCE_BRIGHTNESS: m_brightnessTarget = ColorFitToggleTarget(m_brightnessTarget, 2); break;
    case IDC_REFERENCE_COLOUR: m_colourTarget = ColorFitToggleTarget(m_colourTarget, 2); break;
    default: break;
    }
    ShowTargetBoxes();
    UpdateTargetColours();
    MakeResultView();
}

void CColorFitDlg::OnApplyToOriginal()
{
    m_applyMode = 1;
    CheckDlgButton(IDC_APPLY_ORIGINAL, BST_CHECKED);
    CheckDlgButton(IDC_APPLY_SELECTION, BST_UNCHECKED);
    if (m_pDoc)
        m_pDoc->ApplyColorModel(1, m_model, m_original.name);
    update();
}

void CColorFitDlg::OnApplyToSelection()
{
    m_applyMode = 2;
    CheckDlgButton(IDC_APPLY_ORIGINAL, BST_UNCHECKED);
    CheckDlgButton(IDC_APPLY_SELECTION, BST_CHECKED);
    if (m_pDoc)
        m_pDoc->ApplyColorModel(2, m_model, std::string());
    update();
}

void CColorFitDlg::OnCreateNewColor()
{
    COLORREF c = 0;
    if (m_pickColour && m_pickColour(c))
        m_customColours.push_back(c);
    update();
}

void CColorFitDlg::OnSampleSize()
{
    m_sampleSize = ColorFitNextSampleSize(m_sampleSize);
    m_sampleRadius = m_sampleSize / 2;
    SetDlgItemText(IDC_SAMPLE_TEXT, ColorFitSampleSizeText(m_sampleSize));
    update();
}

void CColorFitDlg::OnFind()
{
    m_referenceMarkerColour = ColorFitNextMarkerColour(m_referenceMarkerColour);
    m_originalMarkerColour = m_resultMarkerColour = m_referenceMarkerColour;
    update();
}

void CColorFitDlg::OnSliderChanged(int id, int position)
{
    switch (id) {
    case IDC_SLIDER_B: ColorFitModelFromSliderB(m_model, position); break;
    case IDC_SLIDER_C: ColorFitModelFromSliderC(m_model, position); break;
    case IDC_SLIDER_M: ColorFitModelFromSliderM(m_model, position); break;
    case IDC_SLIDER_RANGE: ColorFitModelFromRangeSlider(m_model, position); break;
    default: return;
    }
    m_hoverCell = -2;
    MakeResultView();
    update();
}

void CColorFitDlg::OnOK()
{
    if (m_pDoc)
        m_pDoc->ApplyColorModel(m_applyMode, m_model, m_original.name);
    m_shown = 0;
    hide();
}

void CColorFitDlg::OnCancel()
{
    m_shown = 0;
    hide();
}

void CColorFitDlg::closeEvent(QCloseEvent* e)
{
    m_shown = 0;
    e->accept();
    hide();
}

// ---- Mouse ----------------------------------------------------------------------------------

void CColorFitDlg::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const CPoint p = FromQ(e->position().toPoint());
    // The swatches cycle their image's marker colour.
    if (ItemRect(IDC_ORIGINAL_SWATCH).PtInRect(p))
        m_originalMarkerColour = ColorFitNextMarkerColour(m_originalMarkerColour);
    else if (ItemRect(IDC_RESULT_SWATCH).PtInRect(p))
        m_resultMarkerColour = ColorFitNextMarkerColour(m_resultMarkerColour);
    else if (ItemRect(IDC_REFERENCE_SWATCH).PtInRect(p))
        m_referenceMarkerColour = ColorFitNextMarkerColour(m_referenceMarkerColour);
    else
        OnLButtonDown(p);
    update();
}

void CColorFitDlg::mouseMoveEvent(QMouseEvent* e)
{
    OnMouseMove(FromQ(e->position().toPoint()),
                (e->buttons() & Qt::LeftButton) && !(e->buttons() & Qt::RightButton));
}

void CColorFitDlg::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        OnLButtonUp();
}

void CColorFitDlg::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        OnLButtonDblClk(FromQ(e->position().toPoint()));
}

namespace {
bool Near(CPoint a, CPoint b, int d) { return std::abs(a.x - b.x) <= d && std::abs(a.y - b.y) <= d; }
} // namespace

void CColorFitDlg::OnLButtonDown(CPoint p)
{
    const int hit = m_chart.CellAt(p);
    if (ItemRect(IDC_ORIGINAL_AREA).PtInRect(p)) {
        m_dragMode = Near(m_originalMarker, p, 5) ? 16 : 6;
        m_dragStart = p;
    } else if (ItemRect(IDC_RESULT_AREA).PtInRect(p)) {
        m_dragMode = Near(m_resultMarker, p, 5) ? 17 : 7;
        m_dragStart = p;
    } else if (ItemRect(IDC_REFERENCE_AREA).PtInRect(p)) {
        m_dragMode = Near(m_referenceMarker, p, 5) ? 18 : 8;
        m_dragStart = p;
    } else if (hit >= 0) {
        const CChartCell& cell = m_chart.cells[size_t(hit)];
        m_model.dY += cell.dY;
        m_model.dCb += cell.dCb;
        m_model.dCr += cell.dCr;
        m_model.trialY = m_model.trialCb = m_model.trialCr = 0.0;
        SlidersFromModel();
        MakeResultView();
        m_flash = 3;
        m_clickTick = platform::Clock().TickCount();
        m_hoverCell = -2;
    } else if (ItemRect(IDC_CHECK).PtInRect(p) && ColorFitTargetBoxes(m_brightnessTarget, m_colourTarget).mode > 0) {
        m_dragMode = 30;
        m_showCheck = 1;
        grabMouse();
    }
    if (m_dragMode >= 16 && m_dragMode <= 18)
        setCursor(LoadCursorResource(283));
    update();
}

void CColorFitDlg::OnMouseMove(CPoint p, bool leftDown)
{
    if (m_dragMode < 2) {
        const bool nearMarker = (ItemRect(IDC_ORIGINAL_AREA).PtInRect(p) && Near(m_originalMarker, p, 5)) ||
                                (ItemRect(IDC_RESULT_AREA).PtInRect(p) && Near(m_resultMarker, p, 5)) ||
                                (ItemRect(IDC_REFERENCE_AREA).PtInRect(p) && Near(m_referenceMarker, p, 5));
        if (nearMarker)
            setCursor(LoadCursorResource(283));
        else
            unsetCursor();
        if (m_chart.rowBox.PtInRect(p) || m_chart.gridBox.PtInRect(p)) {
            if (m_flash > 0) {
                if (platform::Clock().TickCount() - m_clickTick > 2000) {
                    m_flash = 0;
                    update();
                }
            } else {
                const int cell = m_chart.CellAt(p);
                if (cell != m_hoverCell) {
                    m_hoverCell = cell;
                    update();
                }
            }
        } else if (m_flash > 1) {
            m_flash = 0;
            update();
        } else if (m_hoverCell != -2) {
            m_hoverCell = -2;
            update();
        }
        return;
    }
    if (!leftDown)
        return;
    auto pan = [&](Image& image) {
        const CPoint c = ColorFitPanCentre(image.centre, m_dragStart, p, image.reduce, image.magnify, image.size);
        if (c == image.centre)
            return;
        image.centre = c;
        m_dragStart = p;
        ExtractView(image);
        if (&image == &m_original) {
            MakeResultView();
            MakeChartSource();
        }
        update();
    };
    auto moveMarker = [&](CPoint& marker, int areaId) {
        CRect r = ItemRect(areaId);
        r.DeflateRect(4, 4);
        CPoint m(marker.x + p.x - m_dragStart.x, marker.y + p.y - m_dragStart.y);
        m.x = std::clamp(m.x, r.left, r.right - 1);
        m.y = std::clamp(m.y, r.top, r.bottom - 1);
        if (m == marker)
            return false;
        marker = m;
        m_dragStart = p;
        update();
        return true;
    };
    const CPoint originalOrigin = ItemRect(IDC_ORIGINAL_AREA).TopLeft();
    const CPoint resultOrigin = ItemRect(IDC_RESULT_AREA).TopLeft();
    switch (m_dragMode) {
    case 6:
    case 7:
        setCursor(LoadCursorResource(159));
        pan(m_original);
        break;
    case 8:
        setCursor(LoadCursorResource(159));
        pan(m_reference);
        break;
    case 16:
        if (moveMarker(m_originalMarker, IDC_ORIGINAL_AREA))
            m_resultMarker = m_originalMarker - originalOrigin + resultOrigin;
        break;
    case 17:
        if (moveMarker(m_resultMarker, IDC_RESULT_AREA))
            m_originalMarker = m_resultMarker - resultOrigin + originalOrigin;
        break;
    case 18: moveMarker(m_referenceMarker, IDC_REFERENCE_AREA); break;
    default: break;
    }
}

void CColorFitDlg::OnLButtonUp()
{
    if (m_dragMode == 30) {
        m_showCheck = 0;
        m_clickTick = platform::Clock().TickCount();
    }
    releaseMouse();
    m_dragMode = 0;
    unsetCursor();
    // A picture dragged out of another window and released here is dropped nowhere.
    if (m_pDoc)
        m_pDoc->ClearDropList();
    update();
}

void CColorFitDlg::OnLButtonDblClk(CPoint p)
{
    if (ItemRect(IDC_ORIGINAL_AREA).PtInRect(p)) {
        m_originalMarkerColour = ColorFitNextMarkerColour(m_originalMarkerColour);
    } else if (ItemRect(IDC_RESULT_AREA).PtInRect(p)) {
        if (Near(m_resultMarker, p, 5))
            m_resultMarkerColour = ColorFitNextMarkerColour(m_resultMarkerColour);
        else
            m_showCheck = m_showCheck ? 0 : 1;
    } else if (ItemRect(IDC_CHECK).PtInRect(p)) {
        m_showCheck = m_showCheck ? 0 : 1;
    } else if (ItemRect(IDC_REFERENCE_AREA).PtInRect(p)) {
        m_referenceMarkerColour = ColorFitNextMarkerColour(m_referenceMarkerColour);
    }
    update();
}

// ---- Painting -------------------------------------------------------------------------------

void CColorFitDlg::SampleColours()
{
    auto screenColour = [this](CPoint at, COLORREF markerColour, COLORREF previous) {
        if (m_canvas.isNull() || !m_canvas.rect().contains(at.x, at.y))
            return previous;
        const COLORREF c = FromQRgb(m_canvas.pixel(at.x, at.y));
        return c == markerColour ? previous : c;
    };
    auto sample = [this](const Image& image, int areaId, CPoint marker, COLORREF& colour) {
        if (image.magnify >= 5 && m_sampleRadius <= 0)
            return;
        const CPoint at = ColorFitMarkerToPicture(marker, AreaCentre(areaId), image.reduce, image.magnify, image.centre);
        ColorFitSampleAverage(image.pixels, image.size, at, m_sampleRadius, colour);
    };
    if (m_originalMarker.x != 0 || m_originalMarker.y != 0) {
        m_originalColour = screenColour(m_originalMarker, m_originalMarkerColour, m_originalColour);
        if (m_original.name.empty())
            m_originalColour = kNeutral;
        else
            sample(m_original, IDC_ORIGINAL_AREA, m_originalMarker, m_originalColour);
    }
    const CRect refArea = ItemRect(IDC_REFERENCE_AREA);
    if (refArea.PtInRect(m_referenceMarker)) {
        m_referenceColour = screenColour(m_referenceMarker, m_referenceMarkerColour, m_referenceColour);
        // Over the strip of custom colours the marker takes the colour shown there.
        const bool onStrip = !m_customColours.empty() && m_referenceMarker.y >= refArea.bottom - 6;
        if (!m_reference.name.empty() && !onStrip)
            sample(m_reference, IDC_REFERENCE_AREA, m_referenceMarker, m_referenceColour);
    }
}

void CColorFitDlg::UpdateTargetColours()
{
    auto colourOf = [this](int target) {
        switch (target) {
        case 1: return m_originalColour;
        case 2: return m_referenceColour;
        case 3: return m_model.refColour;
        default: return kTargetNone;
        }
    };
    const COLORREF brightness = colourOf(m_brightnessTarget);
    const COLORREF colour = colourOf(m_colourTarget);
    m_model.refColour = m_model.CombineLumaChroma(brightness, colour);
    m_model.UpdateReference();
    if (m_brightnessTarget == 3 || m_colourTarget == 3) {
        m_targetOriginal = m_targetReference = m_model.refColour;
    } else {
        m_targetOriginal = m_originalColour;
        m_targetReference = m_referenceColour;
    }
}

CPoint CColorFitDlg::ClampMarker(int areaId, CPoint m, int inset) const
{
    CRect r = ItemRect(areaId);
    r.DeflateRect(inset, inset);
    return {std::clamp(m.x, r.left, r.right - 1), std::clamp(m.y, r.top, r.bottom - 1)};
}

void CColorFitDlg::DrawArea(QPainter& p, int id, const CPixelArray& pixels, const char* emptyText, bool loading)
{
    const CRect r = ItemRect(id);
    p.fillRect(ToQRect(r), ToQColor(kEmptyAreaColour));
    if (emptyText) {
        p.setPen(Qt::black);
        p.drawText(ToQRect(r), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, QString::fromUtf8(emptyText));
    } else if (loading) {
        p.setPen(Qt::black);
        p.drawText(ToQRect(r), Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("loading  "));
    } else {
        const QImage img = ToQImage(pixels, m_areaSize.cx, m_areaSize.cy);
        if (!img.isNull())
            p.drawImage(QPoint(r.left + (r.Width() - img.width()) / 2, r.top + (r.Height() - img.height()) / 2), img);
    }
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(r.left - 1, r.top - 1, r.Width() + 1, r.Height() + 1));
}

void CColorFitDlg::DrawMarker(QPainter& p, int areaId, CPoint at, COLORREF colour)
{
    const CRect area = ItemRect(areaId);
    p.save();
    p.setClipRect(ToQRect(area));
    p.setBrush(Qt::NoBrush);
    const bool odd = (colour & 1) != 0;
    p.setPen(QPen(ToQColor(colour), odd ? 2 : 1));
    p.drawEllipse(QRect(at.x - 4, at.y - 4, 9, 9));
    if (!odd) {
        p.drawLine(area.left, at.y, at.x - 4, at.y);
        p.drawLine(at.x + 4, at.y, area.right - 1, at.y);
        p.drawLine(at.x, area.top, at.x, at.y - 4);
        p.drawLine(at.x, at.y + 4, at.x, area.bottom - 1);
    }
    p.restore();
}

void CColorFitDlg::DrawSwatch(QPainter& p, int id, COLORREF c)
{
    const CRect r = ItemRect(id);
    p.fillRect(ToQRect(r), ToQColor(c));
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
}

void CColorFitDlg::SetColourTexts(int r, int g, int b, COLORREF c)
{
    SetDlgItemInt(r, GetRValue(c));
    SetDlgItemInt(g, GetGValue(c));
    SetDlgItemInt(b, GetBValue(c));
}

void CColorFitDlg::PaintCanvas()
{
    // Colours first: they read the previous picture under the markers.
    SampleColours();
    UpdateTargetColours();
    const QSize client = size();
    if (m_canvas.size() != client)
        m_canvas = QImage(client, QImage::Format_RGB32);
    m_canvas.fill(palette().color(QPalette::Window));

    QPainter p(&m_canvas);
    p.setFont(font());
    const bool hasOriginal = !m_original.name.empty();
    const int areaPixels = m_areaSize.cx * m_areaSize.cy;
    const bool originalLoaded = m_original.view.GetSize() >= areaPixels && areaPixels > 0;

    // The original.
    if (m_hoverCell < 0) {
        DrawArea(p, IDC_ORIGINAL_AREA, m_original.view,
                 hasOriginal ? nullptr : "\nDrop here\ntarget image\nfor\ncolor adjust", hasOriginal && !originalLoaded);
        m_originalMarker = ClampMarker(IDC_ORIGINAL_AREA, m_originalMarker, 4);
    } else {
        DrawArea(p, IDC_ORIGINAL_AREA, m_original.view, nullptr, !originalLoaded);
    }

    // The result, a trial of the hovered cell, or the check picture.
    const char* resultCaption = "Result Image";
    const CPixelArray* result = &m_resultView;
    CPixelArray trial;
    if (m_hoverCell < 0) {
        m_model.trialY = m_model.trialCb = m_model.trialCr = 0.0;
        MakeResultView();
    } else if (originalLoaded) {
        const CChartCell& cell = m_chart.cells[size_t(m_hoverCell)];
        m_model.trialY = cell.dY;
        m_model.trialCb = cell.dCb;
        m_model.trialCr = cell.dCr;
        m_model.ApplyTrialToArray(m_original.view, trial, areaPixels);
        result = &trial;
        if (!cell.IsZero())
            resultCaption = "Result Image Sample";
    }
    const int mode = ColorFitTargetBoxes(m_brightnessTarget, m_colourTarget).mode;
    if (m_showCheck == 1 && hasOriginal && mode > 0 && originalLoaded) {
        ColorFitCheckView(m_original.view, *result, m_checkView);
        result = &m_checkView;
        resultCaption = "White:corrected, Black:as it is";
    }
    SetDlgItemText(IDC_RESULT_CAPTION, resultCaption);
    DrawArea(p, IDC_RESULT_AREA, *result, hasOriginal ? nullptr : "", hasOriginal && !originalLoaded);
    if (m_hoverCell >= 0) {
        p.setPen(Qt::white);
        const CRect r = ItemRect(IDC_RESULT_AREA);
        p.drawRect(QRect(r.left - 2, r.top - 2, r.Width() + 3, r.Height() + 3));
    }

    // The reference and the custom colours.
    const bool hasReference = !m_reference.name.empty();
    const bool referenceLoaded = m_reference.view.GetSize() >= areaPixels && areaPixels > 0;
    DrawArea(p, IDC_REFERENCE_AREA, m_reference.view, hasReference ? nullptr : "\nDrop here\nReference image",
             hasReference && !referenceLoaded);
    if (!m_customColours.empty()) {
        const CRect r = ItemRect(IDC_REFERENCE_AREA);
        const int n = static_cast<int>(m_customColours.size());
        for (int i = 0; i < n; ++i) {
            const int l = r.left + r.Width() * i / n, rr = r.left + r.Width() * (i + 1) / n;
            p.fillRect(QRect(l, r.bottom - 8, rr - l, 8), ToQColor(m_customColours[size_t(i)]));
        }
    }
    if (ItemRect(IDC_REFERENCE_AREA).PtInRect(m_referenceMarker))
        m_referenceMarker = ClampMarker(IDC_REFERENCE_AREA, m_referenceMarker, 4);

    // Markers and swatches.
    if ((m_originalMarker.x != 0 || m_originalMarker.y != 0) && hasOriginal) {
        DrawMarker(p, IDC_ORIGINAL_AREA, m_originalMarker, m_originalMarkerColour);
        DrawMarker(p, IDC_RESULT_AREA, m_resultMarker, m_resultMarkerColour);
    }
    DrawSwatch(p, IDC_ORIGINAL_SWATCH, m_originalColour);
    SetColourTexts(1220, 1222, 1224, m_originalColour);
    const COLORREF resultColour =
        m_hoverCell >= 0 ? m_model.ApplyTrialToColour(m_originalColour) : m_model.ApplyToColour(m_originalColour);
    DrawSwatch(p, IDC_RESULT_SWATCH, resultColour);
    SetColourTexts(1231, 1232, 1234, resultColour);
    if (ItemRect(IDC_REFERENCE_AREA).PtInRect(m_referenceMarker)) {
        DrawMarker(p, IDC_REFERENCE_AREA, m_referenceMarker, m_referenceMarkerColour);
        DrawSwatch(p, IDC_REFERENCE_SWATCH, m_referenceColour);
        SetColourTexts(1236, 1238, 1240, m_referenceColour);
    }

    // The sample mark.
    p.fillRect(QRect(m_sampleMark.x - 6, m_sampleMark.y - 6, 14, 14), Qt::white);
    p.fillRect(QRect(m_sampleMark.x - m_sampleRadius, m_sampleMark.y - m_sampleRadius, 2 * m_sampleRadius + 2,
                     2 * m_sampleRadius + 2),
               Qt::black);

    // Target swatches.
    DrawSwatch(p, IDC_TARGET_ORIGINAL_GREY, m_model.ToGrey(m_targetOriginal));
    DrawSwatch(p, IDC_TARGET_ORIGINAL_COLOUR, m_targetOriginal);
    DrawSwatch(p, IDC_TARGET_REFERENCE_GREY, m_model.ToGrey(m_targetReference));
    DrawSwatch(p, IDC_TARGET_REFERENCE_COLOUR, m_targetReference);

    // The chart: every cell shows the chart picture with its own offsets as a trial, cut to the
    // cell from the picture's middle.
    const int chartPixels = m_chartSize.cx * m_chartSize.cy;
    if (!m_chartSource.IsEmpty() && m_chartSource.GetSize() >= chartPixels) {
        const double keepY = m_model.trialY, keepCb = m_model.trialCb, keepCr = m_model.trialCr;
        for (size_t i = 0; i < m_chart.cells.size(); ++i) {
            const CChartCell& cell = m_chart.cells[i];
            const QRect q = ToQRect(cell.rect);
            if (m_hoverCell < 0) {
                if (m_flash > 2) {
                    m_model.trialY = m_model.trialCb = m_model.trialCr = 0.0;
                } else {
                    m_model.trialY = cell.dY;
                    m_model.trialCb = cell.dCb;
                    m_model.trialCr = cell.dCr;
                }
                m_model.ApplyTrialToArray(m_chartSource, m_chartPixels, chartPixels);
                const QImage img = ToQImage(m_chartPixels, m_chartSize.cx, m_chartSize.cy);
                const int ox = (m_chartSize.cx - cell.rect.Width()) / 2, oy = (m_chartSize.cy - cell.rect.Height()) / 2;
                p.drawImage(q.topLeft(), img, QRect(ox, oy, q.width(), q.height()));
            }
            const bool white = m_hoverCell >= 0 ? static_cast<int>(i) == m_hoverCell : cell.IsZero();
            p.setPen(white ? QColor(Qt::white) : ToQColor(kNeutral));
            p.setBrush(Qt::NoBrush);
            p.drawRect(q.adjusted(-1, -1, 0, 0));
        }
        if (m_hoverCell < 0 && m_flash > 2)
            m_flash = 2;
        m_model.trialY = keepY;
        m_model.trialCb = keepCb;
        m_model.trialCr = keepCr;
    }
}

void CColorFitDlg::paintEvent(QPaintEvent*)
{
    // While a cell is hovered the cell pictures stay as they were painted last.
    const QImage previous = m_hoverCell >= 0 ? m_canvas : QImage();
    PaintCanvas();
    if (!previous.isNull() && previous.size() == m_canvas.size()) {
        QPainter keep(&m_canvas);
        for (const CChartCell& cell : m_chart.cells) {
            const QRect q = ToQRect(cell.rect);
            keep.drawImage(q.topLeft(), previous, q);
        }
    }
    QPainter p(this);
    p.drawImage(0, 0, m_canvas);
}

// ---- The document's handle -------------------------------------------------------------------

CColorFitHolder::CColorFitHolder(CSmDoc* doc, QWidget* parent) : m_doc(doc), m_parent(parent) {}

CColorFitHolder::~CColorFitHolder() { delete m_window.data(); }

void CColorFitHolder::DestroyWindow() { delete m_window.data(); }

CRect CColorFitHolder::ScreenRect() const
{
    if (!m_window)
        return {};
    const QRect g = m_window->frameGeometry();
    return CRect(g.left(), g.top(), g.right() + 1, g.bottom() + 1);
}

int CColorFitHolder::OpenForPicture(const std::string& name)
{
    if (!m_window) {
        m_window = new CColorFitDlg(m_doc, m_parent.data());
        if (!m_window)
            return 0;
    }
    return m_window->OpenForPicture(name);
}

int CColorFitHolder::DropPicture(const std::string& name, CPoint screen)
{
    if (name.empty())
        return -1;
    return m_window ? m_window->DropPicture(name, screen) : 1;
}

// The print property dialog: controls by id, the model's values in their texts, the spin
// bars, the check boxes and the preview of the paper with the picture.
#include "views/print_property_dlg.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/value_types.h"
#include "platform/qt/qt_colour.h"
#include "platform/qt/resources.h"

using namespace platform::qt;
using printing::CPrintPropertyModel;

namespace {

PrintDialogRunner& Runner()
{
    static PrintDialogRunner runner;
    return runner;
}

// Control ids of the dialog.
enum : int {
    IDC_PRINT = 1,
    IDC_CANCEL = 2,
    IDC_SHEETS_LABEL = 1076,
    IDC_LEFT = 1077,
    IDC_LEFT_SPIN = 1100,
    IDC_TOP_LABEL = 1073,
    IDC_TOP = 1074,
    IDC_TOP_SPIN = 1097,
    IDC_UNIT1 = 1078,
    IDC_SIZE_LABEL = 1080,
    IDC_WIDTH = 1082,
    IDC_WIDTH_SPIN = 1103,
    IDC_HEIGHT_LABEL = 1101,
    IDC_HEIGHT = 1084,
    IDC_HEIGHT_SPIN = 1095,
    IDC_UNIT2 = 1085,
    IDC_OVERLAP_GROUP = 1112,
    IDC_OVERLAP_CHECK = 1115,
    IDC_OVERLAP_LABEL = 1111,
    IDC_OVERLAP = 1113,
    IDC_OVERLAP_SPIN = 1114,
    IDC_UNIT3 = 1086,
    IDC_TOMBO_GROUP = 1116,
    IDC_TOMBO_CHECK = 1117,
    IDC_TOMBO_LABEL = 1118,
    IDC_TOMBO = 1119,
    IDC_TOMBO_SPIN = 1120,
    IDC_UNIT4 = 1121,
    IDC_PRINTER_GROUP = 1094,
    IDC_PRINTER_NAME = 1090,
    IDC_AREA_LINE = 1091,
    IDC_ORIENTATION = 1093,
    IDC_PRINTER_SETUP = 1107,
    IDC_METRIC_GROUP = 1105,
    IDC_DASHES = 1099,
    IDC_INCH = 1087,
    IDC_MM = 1088,
    IDC_SPREAD = 1106,
    IDC_ROW1_GROUP = 1108,
    IDC_ROW2_GROUP = 1109,
    IDC_PREVIEW = 1092,
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The print picture bitmap as an image (rows top-down).
QImage BitmapImage(const CBitmapBuffer* b)
{
    if (!b || b->IsNull())
        return {};
    QImage::Format f;
    switch (b->BitsPerPixel()) {
    case 32: f = QImage::Format_RGB32; break;
    case 24: f = QImage::Format_BGR888; break;
    case 16: f = QImage::Format_RGB16; break;
    default: return {};
    }
    return QImage(b->Bits().data(), b->Width(), b->Height(), b->BytesPerRow(), f).convertToFormat(QImage::Format_RGB32);
}

QColor Colour(COLORREF c) { return QColor::fromRgb(ToQRgb(c)); }

} // namespace

void SetPrintDialogRunner(PrintDialogRunner runner) { Runner() = std::move(runner); }

// The preview: paints what the dialog renders and passes the mouse to it.
class CPrintPreviewBox : public QWidget {
public:
    explicit CPrintPreviewBox(CPrintPropertyDlg* dlg) : QWidget(dlg), m_dlg(dlg) { setMinimumSize(260, 300); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, m_dlg->RenderPreview(size()));
    }
    void mousePressEvent(QMouseEvent* e) override { m_dlg->PreviewPress(e->position().toPoint()); }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (e->buttons() & Qt::LeftButton)
            m_dlg->PreviewMove(e->position().toPoint());
    }
    void mouseReleaseEvent(QMouseEvent* e) override { m_dlg->PreviewRelease(e->position().toPoint()); }

private:
    CPrintPropertyDlg* m_dlg;
};

CPrintPropertyDlg::CPrintPropertyDlg(QWidget* parent) : CDialogBase(parent)
{
    setWindowTitle(QStringLiteral("Print property"));
    setSizeGripEnabled(true);
    m_shiftDown = [] { return (QApplication::keyboardModifiers() & Qt::ShiftModifier) != 0; };
    m_ctrlDown = [] { return (QApplication::keyboardModifiers() & Qt::ControlModifier) != 0; };
    BuildControls();
}

CPrintPropertyDlg::~CPrintPropertyDlg() = default;

void CPrintPropertyDlg::BuildControls()
{
    auto* root = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    root->addLayout(left);

    auto* printer = new QGroupBox(QStringLiteral("Printer property"), this);
    auto* pl = new QVBoxLayout(printer);
    auto label = [this](int id, const char* text, QWidget* parent) {
        auto* l = new QLabel(QString::fromLatin1(text), parent);
        AddControl(id, l);
        return l;
    };
    pl->addWidget(label(IDC_PRINTER_NAME, "Printer name :", printer));
    pl->addWidget(label(IDC_AREA_LINE, "Paper printable area :", printer));
    pl->addWidget(label(IDC_ORIENTATION, "Paper orientation:", printer));
    auto* setup = new QPushButton(QStringLiteral("Printer Setup"), printer);
    AddControl(IDC_PRINTER_SETUP, setup);
    pl->addWidget(setup);
    AddControl(IDC_PRINTER_GROUP, printer);
    left->addWidget(printer);

    auto* metric = new QGroupBox(QStringLiteral("Metric"), this);
    auto* ml = new QHBoxLayout(metric);
    for (auto [id, text] : {std::pair{IDC_DASHES, "----"}, std::pair{IDC_INCH, "inch"}, std::pair{IDC_MM, "mm"}}) {
        auto* r = new QRadioButton(QString::fromLatin1(text), metric);
        AddControl(id, r);
        ml->addWidget(r);
    }
    AddControl(IDC_METRIC_GROUP, metric);
    left->addWidget(metric);

    auto* spread = new QCheckBox(QStringLiteral("Spreads the picture on multi sheets"), this);
    AddControl(IDC_SPREAD, spread);
    left->addWidget(spread);

    auto fieldRow = [&](int groupId, int labelId, const char* labelText, int editId, int spinId, Qt::Orientation o,
                        int label2Id, const char* label2Text, int edit2Id, int spin2Id, int unitId) {
        auto* g = new QGroupBox(this);
        auto* l = new QHBoxLayout(g);
        l->addWidget(label(labelId, labelText, g));
        auto* e = new QLineEdit(g);
        e->setAlignment(Qt::AlignCenter);
        e->setMaximumWidth(70);
        AddControl(editId, e);
        l->addWidget(e);
        auto* s = new CSpinScrollBar(o, g);
        AddControl(spinId, s);
        l->addWidget(s);
        l->addWidget(label(label2Id, label2Text, g));
        auto* e2 = new QLineEdit(g);
        e2->setAlignment(Qt::AlignCenter);
        e2->setMaximumWidth(70);
        AddControl(edit2Id, e2);
        l->addWidget(e2);
        auto* s2 = new CSpinScrollBar(Qt::Vertical, g);
        AddControl(spin2Id, s2);
        l->addWidget(s2);
        l->addWidget(label(unitId, "mm", g));
        AddControl(groupId, g);
        left->addWidget(g);
    };
    fieldRow(IDC_ROW1_GROUP, IDC_SHEETS_LABEL, "[Sheet counts]  Horizontal", IDC_LEFT, IDC_LEFT_SPIN, Qt::Horizontal,
             IDC_TOP_LABEL, "Vertical", IDC_TOP, IDC_TOP_SPIN, IDC_UNIT1);
    fieldRow(IDC_ROW2_GROUP, IDC_SIZE_LABEL, "[Print size]   Width", IDC_WIDTH, IDC_WIDTH_SPIN, Qt::Horizontal,
             IDC_HEIGHT_LABEL, "Height", IDC_HEIGHT, IDC_HEIGHT_SPIN, IDC_UNIT2);

    auto* buttons = new QHBoxLayout;
    auto* print = new QPushButton(QStringLiteral("PRINT"), this);
    print->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("CANCEL"), this);
    AddControl(IDC_PRINT, print);
    AddControl(IDC_CANCEL, cancel);
    buttons->addWidget(print);
    buttons->addWidget(cancel);
    left->addLayout(buttons);
    left->addStretch(1);

    m_preview = new CPrintPreviewBox(this);
    AddControl(IDC_PREVIEW, m_preview);
    root->addWidget(m_preview, 1);

    auto* right = new QVBoxLayout;
    root->addLayout(right);
    auto sideGroup = [&](int groupId, const char* title, int checkId, const char* checkText, int labelId,
                         const char* labelText, int editId, int spinId, int unitId) {
        auto* g = new QGroupBox(QString::fromLatin1(title), this);
        auto* l = new QVBoxLayout(g);
        auto* box = new CTriStateBox(QString::fromLatin1(checkText), g);
        AddControl(checkId, box);
        l->addWidget(box);
        auto* row = new QHBoxLayout;
        row->addWidget(label(labelId, labelText, g));
        auto* e = new QLineEdit(g);
        e->setAlignment(Qt::AlignCenter);
        e->setMaximumWidth(70);
        AddControl(editId, e);
        row->addWidget(e);
        auto* s = new CSpinScrollBar(Qt::Vertical, g);
        AddControl(spinId, s);
        row->addWidget(s);
        row->addWidget(label(unitId, "mm", g));
        l->addLayout(row);
        AddControl(groupId, g);
        right->addWidget(g);
    };
    sideGroup(IDC_OVERLAP_GROUP, "Overlap", IDC_OVERLAP_CHECK, "Draw overlapped images", IDC_OVERLAP_LABEL,
              "Overlap size", IDC_OVERLAP, IDC_OVERLAP_SPIN, IDC_UNIT3);
    sideGroup(IDC_TOMBO_GROUP, "Tombo (Registration marks)", IDC_TOMBO_CHECK, "Draw Tombo in margins",
              IDC_TOMBO_LABEL, "Tombo size", IDC_TOMBO, IDC_TOMBO_SPIN, IDC_UNIT4);
    right->addStretch(1);
}

bool CPrintPropertyDlg::OnInitDialog() { return true; }

int CPrintPropertyDlg::RunModal()
{
    PrepareShow();
    if (Runner())
        return Runner()(*this);
    return DoModal();
}

void CPrintPropertyDlg::showEvent(QShowEvent* event)
{
    CDialogBase::showEvent(event);
    if (m_preview)
        m_preview->update();
}

void CPrintPropertyDlg::PrepareShow()
{
    m_nEndReason = 0;
    m_nDragHit = 0;
    if (m_model.m_unit < 0)
        m_model.m_unit = 0;
    m_model.Layout();
    m_previewBitmap = BitmapImage(m_pPrintBitmap);
    SetDlgItemText(IDC_ORIENTATION, m_strOrientation);
    SetDlgItemText(IDC_PRINTER_NAME, Catalogue().printerNameLabel + m_strPrinterName);
    setWindowTitle(Q(Catalogue().printLabel + " : " + m_strFilePath));
    ApplyModeToWindow();
    UpdateTexts();
}

void CPrintPropertyDlg::ApplyModeToWindow()
{
    const bool spread = m_model.m_spread > 0;
    m_updating = true;
    CheckDlgButton(IDC_SPREAD, spread ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_OVERLAP_CHECK, m_model.m_overlapCheck);
    CheckDlgButton(IDC_TOMBO_CHECK, m_model.m_tomboCheck);
    m_updating = false;
    // The overlap and tombo fields are seen only when the print is spread.
    ShowItem(IDC_OVERLAP_GROUP, spread);
    ShowItem(IDC_TOMBO_GROUP, spread);
    if (isVisible())
        adjustSize();
    const MessageCatalogue& text = Catalogue();
    SetDlgItemText(IDC_SHEETS_LABEL, spread ? text.sheetCountsHorizontal : text.printPositionLeft);
    SetDlgItemText(IDC_TOP_LABEL, spread ? text.verticalLabel : text.topLabel);
    SetDlgItemText(IDC_SIZE_LABEL, spread ? text.totalPrintSizeWidth : text.printSizeWidth);
}

void CPrintPropertyDlg::UpdateTexts(int keep)
{
    const CPrintPropertyModel& m = m_model;
    m_updating = true;
    auto set = [&](int id, const std::string& s) {
        if (id != keep)
            SetDlgItemText(id, s);
    };
    const bool spread = m.m_spread > 0;
    CheckDlgButton(IDC_DASHES, m.m_unit == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_INCH, m.m_unit == 1 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_MM, m.m_unit == 2 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_OVERLAP_CHECK, m.m_overlapCheck);
    CheckDlgButton(IDC_TOMBO_CHECK, m.m_tomboCheck);
    if (spread) {
        set(IDC_LEFT, std::to_string(m.m_sheetsH));
        set(IDC_TOP, std::to_string(m.m_sheetsV));
    } else {
        set(IDC_LEFT, m.FormatLength(m.m_offset.x));
        set(IDC_TOP, m.FormatLength(m.m_offset.y));
    }
    set(IDC_WIDTH, m.FormatLength(m.m_printSize.cx));
    set(IDC_HEIGHT, m.FormatLength(m.m_printSize.cy));
    set(IDC_OVERLAP, m.FormatLength(m.m_overlap));
    set(IDC_TOMBO, m.FormatLength(m.m_tombo));
    const std::string word = m.UnitWord();
    SetDlgItemText(IDC_UNIT1, spread ? std::string() : word);
    SetDlgItemText(IDC_UNIT2, word);
    SetDlgItemText(IDC_UNIT3, word);
    SetDlgItemText(IDC_UNIT4, word);
    SetDlgItemText(IDC_AREA_LINE, m.FormatAreaLine());
    m_updating = false;
    if (m_preview)
        m_preview->update();
}

void CPrintPropertyDlg::TypedLength(int id)
{
    const std::string typed = GetDlgItemText(id);
    const CPrintPropertyModel& m = m_model;
    std::string shown;
    const bool spread = m.m_spread > 0;
    switch (id) {
    case IDC_WIDTH: shown = m.FormatLength(m.m_printSize.cx); break;
    case IDC_HEIGHT: shown = m.FormatLength(m.m_printSize.cy); break;
    case IDC_LEFT: shown = spread ? std::to_string(m.m_sheetsH) : m.FormatLength(m.m_offset.x); break;
    case IDC_TOP: shown = spread ? std::to_string(m.m_sheetsV) : m.FormatLength(m.m_offset.y); break;
    default: return;
    }
    if (spread && (id == IDC_LEFT || id == IDC_TOP)) {
        if (typed.empty() || typed == shown || typed == "----")
            return;
        const int count = std::atoi(typed.c_str());
        if (id == IDC_LEFT)
            m_model.TypeSheetsAcross(count);
        else
            m_model.TypeSheetsDown(count);
        UpdateTexts(id);
        return;
    }
    const int unitBefore = m_model.m_unit;
    int value = 0;
    if (!m_model.ReadTyped(typed, shown, &value, nullptr))
        return;
    bool within = false;
    switch (id) {
    case IDC_WIDTH: within = m_model.TypeWidth(value); break;
    case IDC_HEIGHT: within = m_model.TypeHeight(value); break;
    case IDC_LEFT: within = m_model.TypeLeft(value); break;
    case IDC_TOP: within = m_model.TypeTop(value); break;
    default: break;
    }
    // A clamped value keeps the typed text; a unit chosen by the typing rewrites it too.
    UpdateTexts(within && unitBefore == m_model.m_unit ? id : (within ? 0 : id));
}

void CPrintPropertyDlg::TypedMargin(int id)
{
    const std::string typed = GetDlgItemText(id);
    const bool overlap = id == IDC_OVERLAP;
    const int current = overlap ? m_model.m_overlap : m_model.m_tombo;
    const int check = overlap ? m_model.m_overlapCheck : m_model.m_tomboCheck;
    if (m_model.m_spread <= 0 || check != printing::CHECKED) {
        if (typed != "0.0" && typed != m_model.FormatLength(current)) {
            m_updating = true;
            SetDlgItemText(id, "0.0");
            m_updating = false;
        }
        return;
    }
    int value = 0;
    double number = 0;
    if (!m_model.ReadTyped(typed, m_model.FormatLength(current), &value, &number))
        return;
    const bool taken = overlap ? m_model.TypeOverlap(value) : m_model.TypeTombo(value);
    if (!taken) {
        char buf[64];
        std::snprintf(buf, sizeof buf, m_model.m_unit == printing::UNIT_MM ? "%3.1f*" : "%2.2f*", number);
        UpdateTexts(id);
        m_updating = true;
        SetDlgItemText(id, buf);
        m_updating = false;
        return;
    }
    UpdateTexts(id);
}

void CPrintPropertyDlg::OnCommand(int id, int code)
{
    if (m_updating)
        return;
    if (code == EN_CHANGE) {
        switch (id) {
        case IDC_WIDTH:
        case IDC_HEIGHT:
        case IDC_LEFT:
        case IDC_TOP: TypedLength(id); break;
        case IDC_OVERLAP:
        case IDC_TOMBO: TypedMargin(id); break;
        default: break;
        }
        return;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case IDC_PRINT: OnOK(); break;
    case IDC_CANCEL: OnCancel(); break;
    case IDC_PRINTER_SETUP:
        m_nEndReason = 3;
        OnOK();
        break;
    case IDC_DASHES:
    case IDC_INCH:
    case IDC_MM:
        m_model.m_unit = id == IDC_DASHES ? 0 : id == IDC_INCH ? 1 : 2;
        UpdateTexts();
        break;
    case IDC_SPREAD:
        m_model.SetSpread(IsDlgButtonChecked(IDC_SPREAD) == BST_CHECKED);
        ApplyModeToWindow();
        UpdateTexts();
        break;
    case IDC_OVERLAP_CHECK:
        m_model.ClickOverlapBox(IsDlgButtonChecked(IDC_OVERLAP_CHECK));
        UpdateTexts();
        break;
    case IDC_TOMBO_CHECK:
        m_model.ClickTomboBox(IsDlgButtonChecked(IDC_TOMBO_CHECK));
        UpdateTexts();
        break;
    default: break;
    }
}

void CPrintPropertyDlg::OnScroll(int id, int code)
{
    // Horizontal bars add to the right, vertical ones upwards.
    const bool horizontal = id == IDC_WIDTH_SPIN || id == IDC_LEFT_SPIN;
    int direction = 0;
    if (code == SB_LINEUP)
        direction = horizontal ? -1 : 1;
    else if (code == SB_LINEDOWN)
        direction = horizontal ? 1 : -1;
    const int step = CPrintPropertyModel::SpinStep(direction, m_shiftDown && m_shiftDown(), m_ctrlDown && m_ctrlDown());
    if (step == 0)
        return;
    switch (id) {
    case IDC_WIDTH_SPIN: m_model.SpinWidth(step); break;
    case IDC_HEIGHT_SPIN: m_model.SpinHeight(step); break;
    case IDC_LEFT_SPIN: m_model.SpinFirst(step); break;
    case IDC_TOP_SPIN: m_model.SpinSecond(step); break;
    case IDC_OVERLAP_SPIN: m_model.SpinOverlap(step); break;
    case IDC_TOMBO_SPIN: m_model.SpinTombo(step); break;
    default: return;
    }
    UpdateTexts();
}

// ---- Preview -----------------------------------------------------------------------------------
// The preview shows the printable area (one sheet) or the grid of sheets (spread) as large as
// the box allows with a 20-pixel margin for the labels: preview pixels per unit = the smaller
// of the two ratios of the box less its margins to what is shown; spread sheets lie 6 pixels
// apart.

namespace {
constexpr int kPreviewMargin = 20;
constexpr int kSheetGap = 6;
} // namespace

double CPrintPropertyDlg::PreviewScale(QSize size) const
{
    const CPrintPropertyModel& m = m_model;
    const int cols = m.m_spread > 0 ? m.m_sheetsH : 1, rows = m.m_spread > 0 ? m.m_sheetsV : 1;
    const double w = size.width() - 2 * kPreviewMargin - (cols - 1) * kSheetGap;
    const double h = size.height() - 2 * kPreviewMargin - (rows - 1) * kSheetGap;
    if (w <= 0 || h <= 0 || m.m_area.cx <= 0 || m.m_area.cy <= 0)
        return 0.0;
    return std::min(w / (double(cols) * m.m_area.cx), h / (double(rows) * m.m_area.cy));
}

QRect CPrintPropertyDlg::PictureRectInPreview(QSize size) const
{
    const double s = PreviewScale(size);
    const CPrintPropertyModel& m = m_model;
    if (m.m_spread > 0)
        return QRect(kPreviewMargin, kPreviewMargin, int(m.m_printSize.cx * s), int(m.m_printSize.cy * s));
    return QRect(kPreviewMargin + int(m.m_offset.x * s), kPreviewMargin + int(m.m_offset.y * s),
                 std::max(1, int(m.m_printSize.cx * s)), std::max(1, int(m.m_printSize.cy * s)));
}

QImage CPrintPropertyDlg::RenderPreview(QSize size)
{
    QImage out(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    out.fill(Colour(0x96F0F0));
    if (size.width() <= 32 || size.height() <= 32)
        return out;
    const double s = PreviewScale(size);
    if (s <= 0)
        return out;
    const CPrintPropertyModel& m = m_model;
    QPainter p(&out);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(9);
    p.setFont(font);
    const int aw = int(m.m_area.cx * s), ah = int(m.m_area.cy * s);
    if (m.m_spread <= 0) {
        const QRect paper(kPreviewMargin, kPreviewMargin, aw, ah);
        p.fillRect(paper, Qt::white);
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(paper.adjusted(0, 0, -1, -1));
        const QRect pic = PictureRectInPreview(size);
        p.fillRect(pic, Colour(0xAEE3E8));
        if (!m_previewBitmap.isNull())
            p.drawImage(pic, m_previewBitmap);
        if (m_nDragHit) {
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.drawRect(pic.adjusted(-2, -2, 1, 1));
        }
        p.setPen(Qt::black);
        p.drawText(QPoint(paper.left(), paper.top() - 4), Q(Catalogue().printableArea));
        if (m.m_unit == 1 || m.m_unit == 2) {
            const std::string unit = m.m_unit == 1 ? " in" : " mm";
            p.setBackgroundMode(Qt::OpaqueMode);
            p.setBackground(Qt::white);
            p.drawText(pic.left() + 2, pic.top() + 12, Q(m.FormatLength(m.m_printSize.cx) + unit));
            p.drawText(pic.right() - 60, pic.center().y(), Q(m.FormatLength(m.m_printSize.cy) + unit));
            p.setBackgroundMode(Qt::TransparentMode);
            p.setPen(Colour(0x004080));
            p.drawLine(paper.left(), pic.center().y(), pic.left(), pic.center().y());
            p.drawLine(pic.center().x(), paper.top(), pic.center().x(), pic.top());
            p.drawText(paper.left() + 2, pic.center().y() - 2, Q(m.FormatLength(m.m_offset.x) + unit));
            p.drawText(pic.center().x() + 2, paper.top() + 12, Q(m.FormatLength(m.m_offset.y) + unit));
            p.setPen(Colour(0xC0C0C0));
            p.drawLine(pic.right(), pic.center().y(), paper.right(), pic.center().y());
            p.drawLine(pic.center().x(), pic.bottom(), pic.center().x(), paper.bottom());
            p.setPen(Colour(0x808080));
            p.drawText(pic.right() + 2, pic.center().y() + 12, Q(m.FormatRightMargin()));
            p.drawText(pic.center().x() + 2, paper.bottom() - 2, Q(m.FormatBottomMargin()));
        }
        return out;
    }
    // Spread: every sheet with the part of the picture it prints.
    const CRect whole(0, 0, m.m_printSize.cx, m.m_printSize.cy);
    for (int row = 0; row < m.m_sheetsV; ++row) {
        for (int col = 0; col < m.m_sheetsH; ++col) {
            const QRect sheet(kPreviewMargin + col * (aw + kSheetGap), kPreviewMargin + row * (ah + kSheetGap), aw, ah);
            p.fillRect(sheet, Qt::white);
            p.setPen(Colour(0x808080));
            p.drawRect(sheet.adjusted(0, 0, -1, -1));
            CRect tile, grown;
            GetTileRect(&tile, m.m_printSize.cx, m.m_printSize.cy, m.m_tile.cx, m.m_tile.cy, m.m_overlap, col, row);
            if (tile.IsRectEmpty())
                continue;
            grown = tile;
            grown.InflateRect(m.m_overlap, m.m_overlap);
            CRect image;
            image.IntersectRect(grown, whole);
            const QRect target(sheet.left() + int((m.m_tombo + image.left - tile.left + m.m_overlap) * s),
                               sheet.top() + int((m.m_tombo + image.top - tile.top + m.m_overlap) * s),
                               std::max(1, int(image.Width() * s)), std::max(1, int(image.Height() * s)));
            if (!m_previewBitmap.isNull() && whole.Width() > 0 && whole.Height() > 0) {
                const double bx = double(m_previewBitmap.width()) / whole.Width();
                const double by = double(m_previewBitmap.height()) / whole.Height();
                p.drawImage(target, m_previewBitmap,
                            QRectF(image.left * bx, image.top * by, image.Width() * bx, image.Height() * by));
            } else {
                p.fillRect(target, Colour(0xAEE3E8));
            }
            p.setPen(Colour(0x808080));
            p.drawText(sheet.left() + 3, sheet.top() + 12, QString::number(row * m.m_sheetsH + col + 1));
        }
    }
    if (m.m_unit == 1 || m.m_unit == 2) {
        const std::string unit = m.m_unit == 1 ? " in" : " mm";
        p.setPen(Qt::black);
        const QString width = Q(Catalogue().totalPrintWidth + m.FormatLength(m.m_printSize.cx) + unit);
        const QString height = Q(Catalogue().totalPrintHeight + m.FormatLength(m.m_printSize.cy) + unit);
        const QString oneLine = width + QStringLiteral("   ") + height;
        // A narrow preview box takes the two sizes on two lines rather than cutting the height off.
        if (p.fontMetrics().horizontalAdvance(oneLine) <= size.width() - 2 * kPreviewMargin) {
            p.drawText(kPreviewMargin, size.height() - 6, oneLine);
        } else {
            p.drawText(kPreviewMargin, size.height() - 6 - p.fontMetrics().lineSpacing(), width);
            p.drawText(kPreviewMargin, size.height() - 6, height);
        }
    }
    return out;
}

void CPrintPropertyDlg::PreviewPress(QPoint pt)
{
    const QRect pic = PictureRectInPreview(m_preview ? m_preview->size() : QSize());
    const QRect outer = pic.adjusted(-3, -3, 3, 3), inner = pic.adjusted(3, 3, -3, -3);
    if (!outer.contains(pt))
        return;
    const bool spread = m_model.m_spread > 0;
    if (!spread && inner.contains(pt))
        m_nDragHit = 1;
    else if (!spread && std::abs(pt.x() - pic.left()) <= 3)
        m_nDragHit = 2;
    else if (std::abs(pt.x() - pic.right()) <= 3)
        m_nDragHit = 3;
    else if (!spread && std::abs(pt.y() - pic.top()) <= 3)
        m_nDragHit = 4;
    else if (std::abs(pt.y() - pic.bottom()) <= 3)
        m_nDragHit = 5;
    else
        return;
    if (m_preview)
        m_preview->setCursor(LoadCursorResource(m_nDragHit == 1 ? 159 : m_nDragHit <= 3 ? 246 : 247));
    m_ptDragStart = pt;
    m_dragOffset = m_model.m_offset;
    m_dragSize = m_model.m_printSize;
}

void CPrintPropertyDlg::PreviewMove(QPoint pt)
{
    if (!m_nDragHit || !m_preview)
        return;
    const double s = PreviewScale(m_preview->size());
    if (s <= 0)
        return;
    const int dx = int((pt.x() - m_ptDragStart.x()) / s), dy = int((pt.y() - m_ptDragStart.y()) / s);
    m_model.m_offset = m_dragOffset;
    m_model.m_printSize = m_dragSize;
    const CSize img = m_model.ImageSize();
    switch (m_nDragHit) {
    case 1: m_model.m_offset = {m_dragOffset.x + dx, m_dragOffset.y + dy}; break;
    case 2:
        m_model.m_offset.x = m_dragOffset.x + dx;
        m_model.m_printSize.cx = m_dragSize.cx - dx;
        m_model.m_printSize.cy = int(int64_t(m_model.m_printSize.cx) * img.cy / img.cx);
        break;
    case 3:
        m_model.m_printSize.cx = m_dragSize.cx + dx;
        m_model.m_printSize.cy = int(int64_t(m_model.m_printSize.cx) * img.cy / img.cx);
        break;
    case 4:
        m_model.m_offset.y = m_dragOffset.y + dy;
        m_model.m_printSize.cy = m_dragSize.cy - dy;
        m_model.m_printSize.cx = int(int64_t(m_model.m_printSize.cy) * img.cx / img.cy);
        break;
    case 5:
        m_model.m_printSize.cy = m_dragSize.cy + dy;
        m_model.m_printSize.cx = int(int64_t(m_model.m_printSize.cy) * img.cx / img.cy);
        break;
    default: break;
    }
    m_model.ClampFields();
    UpdateTexts();
}

void CPrintPropertyDlg::PreviewRelease(QPoint)
{
    if (!m_nDragHit)
        return;
    m_nDragHit = 0;
    if (m_preview)
        m_preview->unsetCursor();
    if (m_model.m_spread > 0)
        m_model.Recount();
    UpdateTexts();
}

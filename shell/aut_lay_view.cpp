// The manager pane's controls, actions and drawing.
#include "shell/aut_lay_view.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QAbstractItemView>
#include <QTextBlock>
#include <QTextCursor>

#include "common/message_catalogue.h"
#include "common/value_types.h"
#include "document/sm_doc.h"
#include "document/update_hint.h"
#include "picset/mcomp.h"
#include "platform/message_box.h"
#include "platform/qt/qt_colour.h"

namespace {

constexpr COLORREF kPaneColour = RGB(232, 227, 174);
constexpr COLORREF kTilingColour = RGB(192, 192, 192);
constexpr COLORREF kBrown = RGB(128, 64, 0);
constexpr COLORREF kRed = RGB(255, 64, 64);
constexpr COLORREF kFrameColour = RGB(255, 180, 130);
constexpr COLORREF kGreyPen = RGB(230, 230, 230);

QColor Colour(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

const char* const kNextActions[] = {
    "Import photos as source picture", "Execute [ single inline ] tiling", "Execute [ Fit ]",
    "Show cropping frame for rendering [ area ]", "Open [ Option ] window", "Render image and [ Save ] it",
    "Execute [ Print ] current image", "[ Save ] project file",
};
const char* const kWorkActions[] = {
    "Eject selection from work space", "Eject useless pictures from work space", "Clear tiling", "Clear all fit",
    "UnFit selection", "Undo last fit", "Hide cropping frame", "Open [ Option ] window", "Exit Seamora",
    "Show [Compact Guide]",
};
const char* const kProjections[] = {"Linear (Flat)", "Ultra Wide Linear", "Panorama", "Fisheye"};
const char* const kSizes[] = {" Large", " Medium", " Small", "Other size"};

// What the lists propose at each step: next action, work-space action.
const char* const kStepProposals[5][2] = {
    {"Import photos as source picture", "Eject selection from work space"},
    {"Execute [ Fit ]", "UnFit selection"},
    {"Open [ Option ] window", "Hide cropping frame"},
    {"Render image and [ Save ] it", "Open [ Option ] window"},
    {"Execute [ Print ] current image", "Exit Seamora"},
};

// A group's caption over the frame the pane draws; the rest of the group is see-through.
class CGroupCaption : public QWidget {
public:
    CGroupCaption(const QString& text, QWidget* parent) : QWidget(parent), m_text(text)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QString Text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QFontMetrics fm(font());
        const QRect r(8, 0, fm.horizontalAdvance(m_text) + 6, fm.height());
        p.fillRect(r, Colour(m_face));
        p.setPen(Colour(kBrown));
        p.drawText(r, Qt::AlignCenter, m_text);
    }

public:
    COLORREF m_face = kPaneColour;

private:
    QString m_text;
};

// The tiling buttons' rows (single, dual, the third by the count).
int RowsOf(int which, int count) { return which == 0 ? 1 : which == 1 ? 2 : count; }

} // namespace

CAutLayView::CAutLayView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CAutLayView"));
    setMinimumSize(1, 1);
    QFont body(QStringLiteral("Arial"));
    body.setPointSize(9);
    setFont(body);
    QPalette brown = palette();
    brown.setColor(QPalette::WindowText, Colour(kBrown));

    auto combo = [this](int id, const QRect& r) {
        auto* c = new QComboBox(this);
        Add(id, c, r);
        return c;
    };
    auto button = [this](int id, const char* text, const QRect& r, bool checkable = false) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setCheckable(checkable);
        Add(id, b, r);
        return b;
    };
    auto group = [this](int id, const char* text, const QRect& r) {
        // "&&" in a caption shows one "&".
        auto* g = new CGroupCaption(QString::fromUtf8(text).replace(QStringLiteral("&&"), QStringLiteral("&")), this);
        Add(id, g, r);
        g->lower();
        return g;
    };
    auto label = [this, &brown](int id, const char* text, const QRect& r) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setPalette(brown);
        Add(id, l, r);
    };

    button(IDC_NEXT_GO, "go", {2, 100, 32, 24});
    combo(IDC_NEXT_ACTION, {36, 100, 212, 24});
    button(IDC_WORK_GO, "go", {2, 128, 32, 24});
    combo(IDC_WORK_ACTION, {36, 128, 212, 24});
    auto* guide = new QPlainTextEdit(this);
    guide->setReadOnly(true);
    // Tips lines are longer than the pane is wide: they wrap rather than hide their ends.
    guide->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    guide->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Add(IDC_GUIDE, guide, {2, 158, 248, 130});

    group(IDC_TILING_GROUP, "Typical tiling", {2, 294, 248, 104})->m_face = kTilingColour;
    button(IDC_SINGLE, "Single inline", {10, 314, 110, 22});
    button(IDC_DUAL, "Dual inline", {10, 340, 110, 22});
    button(IDC_MULTI, "Triple inline", {10, 366, 110, 22});
    auto* rows = new QSpinBox(this);
    rows->setRange(3, 5);
    rows->setValue(3);
    Add(IDC_ROWS, rows, {124, 366, 44, 22});

    group(IDC_FIT_GROUP, "Fitting && Aligning", {2, 404, 248, 90});
    label(IDC_PROJECTION_LABEL, "Projection", {10, 426, 84, 20});
    combo(IDC_PROJECTION, {96, 424, 148, 24});
    label(IDC_FIT_WORK_LABEL, "Work with", {10, 458, 84, 20});
    button(IDC_FIT_FAST, "Fast", {96, 456, 64, 24}, true);
    button(IDC_FIT_ACCURACY, "Accuracy", {164, 456, 80, 24}, true);

    // The output sizes ("Medium 2400 * 1200 pixels") need the group's whole width: their list
    // goes under its label.
    group(IDC_RENDER_GROUP, "Rendering && Pixel remapping", {2, 500, 248, 116});
    label(IDC_SIZE_LABEL, "Output pixel size", {10, 520, 234, 18});
    combo(IDC_OUTPUT_SIZE, {10, 540, 234, 24});
    label(IDC_RENDER_WORK_LABEL, "Work with", {10, 580, 84, 20});
    button(IDC_RENDER_FAST, "Fast", {96, 578, 64, 24}, true);
    button(IDC_RENDER_QUALITY, "Quality", {164, 578, 80, 24}, true);

    button(IDC_WIDEN, "Widen This Window", {2, 624, 150, 24});
    button(IDC_CLOSE, "Close", {154, 624, 96, 24});

    auto clicked = [this](int id, std::function<void()> f) {
        connect(static_cast<QPushButton*>(GetDlgItem(id)), &QPushButton::clicked, this, [f] { f(); });
    };
    clicked(IDC_NEXT_GO, [this] { RunNextAction(); });
    clicked(IDC_WORK_GO, [this] { RunWorkAction(); });
    clicked(IDC_SINGLE, [this] { Tiling(0); });
    clicked(IDC_DUAL, [this] { Tiling(1); });
    clicked(IDC_MULTI, [this] { Tiling(2); });
    clicked(IDC_CLOSE, [this] { OnCloseButton(); });
    clicked(IDC_WIDEN, [this] { OnWidenButton(); });
    auto priority = [this, &clicked](int id, bool fit, int value) {
        clicked(id, [this, fit, value] {
            CSmDoc* doc = GetDoc();
            if (!doc)
                return;
            if (fit) {
                doc->m_fitPriority = value;
                doc->SaveQualityMode();
                ShowRadios(IDC_FIT_FAST, IDC_FIT_ACCURACY, value);
            } else {
                doc->m_renderPriority = value;
                doc->SaveRenderMode();
                ShowRadios(IDC_RENDER_FAST, IDC_RENDER_QUALITY, value);
            }
        });
    };
    priority(IDC_FIT_FAST, true, 1);
    priority(IDC_FIT_ACCURACY, true, 2);
    priority(IDC_RENDER_FAST, false, 1);
    priority(IDC_RENDER_QUALITY, false, 2);
    // Only the user's choices run actions; the pane's own selections do not.
    connect(Combo(IDC_NEXT_ACTION), &QComboBox::activated, this, [this] { RunNextAction(); });
    connect(Combo(IDC_PROJECTION), &QComboBox::activated, this, [this](int i) {
        CSmDoc* doc = GetDoc();
        if (doc && i >= 0 && i <= 3)
            doc->ApplyProjection(doc->GetDefaultProjection(i), 0);
    });
    connect(Combo(IDC_OUTPUT_SIZE), &QComboBox::activated, this, [this](int i) {
        CSmDoc* doc = GetDoc();
        if (!doc || i < 0)
            return;
        doc->m_sizeMode = i;
        if (i == 3)
            doc->OnProcessOptionBox();
        doc->m_outputSize = doc->GetOutputSize(1);
    });
    connect(rows, &QSpinBox::valueChanged, this, [this] { update(); });
    m_buttonRect = GetDlgItem(IDC_WIDEN)->geometry().united(GetDlgItem(IDC_CLOSE)->geometry());
    UpdateStepRects();
    m_created = true;
}

CSmDoc* CAutLayView::GetDoc() const { return dynamic_cast<CSmDoc*>(GetDocument()); }

void CAutLayView::Add(int id, QWidget* w, const QRect& r)
{
    w->setGeometry(r);
    w->setObjectName(QStringLiteral("c%1").arg(id));
    m_controls[id] = w;
}

QWidget* CAutLayView::GetDlgItem(int id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QComboBox* CAutLayView::Combo(int id) const { return qobject_cast<QComboBox*>(GetDlgItem(id)); }

void CAutLayView::SelectText(int id, const std::string& text)
{
    if (QComboBox* c = Combo(id))
        c->setCurrentIndex(c->findText(QString::fromStdString(text)));
}

void CAutLayView::ShowRadios(int first, int second, int value)
{
    static_cast<QPushButton*>(GetDlgItem(first))->setChecked(value == 1);
    static_cast<QPushButton*>(GetDlgItem(second))->setChecked(value != 1);
}

// ---- Initial update and hints ------------------------------------------------------------------

void CAutLayView::OnInitialUpdate()
{
    auto fill = [this](int id, const char* const* texts, int n) {
        QComboBox* c = Combo(id);
        if (c->count() >= n)
            return;
        c->clear();
        for (int i = 0; i < n; ++i)
            c->addItem(QString::fromUtf8(texts[i]));
    };
    fill(IDC_NEXT_ACTION, kNextActions, 8);
    fill(IDC_WORK_ACTION, kWorkActions, 10);
    fill(IDC_PROJECTION, kProjections, 4);
    fill(IDC_OUTPUT_SIZE, kSizes, 4);
    for (int id : {IDC_NEXT_ACTION, IDC_WORK_ACTION, IDC_PROJECTION, IDC_OUTPUT_SIZE})
        FitPopupToEntries(id);
    if (!m_listsChosen) {
        m_listsChosen = true;
        Combo(IDC_PROJECTION)->setCurrentIndex(0);
        Combo(IDC_OUTPUT_SIZE)->setCurrentIndex(1);
    }
    m_buttonRect = GetDlgItem(IDC_WIDEN)->geometry().united(GetDlgItem(IDC_CLOSE)->geometry());
    // The column holds the buttons with the same margin on both sides.
    const int column = m_buttonRect.width() + 2 * m_buttonRect.x();
    if (m_frame.setRestoreWidth)
        m_frame.setRestoreWidth(column);
    if (m_frame.setPaneWidths)
        m_frame.setPaneWidths(0, column);
    SetGuideStep(1);
    CSmDoc* doc = GetDoc();
    if (doc) {
        ShowRadios(IDC_FIT_FAST, IDC_FIT_ACCURACY, doc->m_fitPriority);
        ShowRadios(IDC_RENDER_FAST, IDC_RENDER_QUALITY, doc->m_renderPriority);
        doc->SaveQualityMode();
    }
    m_inlineCount = 3;
    static_cast<QSpinBox*>(GetDlgItem(IDC_ROWS))->setValue(3);
    if (doc)
        doc->UpdateAllViews(nullptr, HINT_AUX_REDRAW);
}

void CAutLayView::OnUpdate(IDocumentView*, int hint, const HintObject& object)
{
    CSmDoc* doc = GetDoc();
    switch (hint) {
    case HINT_RESET:
        SetGuideStep(1);
        update();
        break;
    case HINT_SET_AREA:
    case HINT_OPTIONS: RefreshSizeTexts(object.value); break;
    case 313:
        SetGuideStep(object.value);
        update();
        break;
    case HINT_DROP_DONE:
        m_tiled = 0;
        if (m_step == 1 && doc) {
            const int pieces = doc->GetPieceCount();
            SelectText(IDC_NEXT_ACTION, pieces > 1 ? kNextActions[1] : kNextActions[0]);
            SelectText(IDC_WORK_ACTION, doc->CountPiecesToFit() > 0 ? kWorkActions[1]
                                        : pieces > 0              ? kWorkActions[0]
                                                                  : kWorkActions[6]);
        }
        update();
        break;
    case 331: update(); break;
    case HINT_TIMER:
        ShowGuideText(object.value);
        update();
        break;
    case HINT_PROJECTION:
        if (object.value >= 0 && object.value <= 3)
            Combo(IDC_PROJECTION)->setCurrentIndex(object.value);
        break;
    case HINT_FIT_PRIORITY: ShowRadios(IDC_FIT_FAST, IDC_FIT_ACCURACY, object.value); break;
    case HINT_RENDER_PRIORITY: ShowRadios(IDC_RENDER_FAST, IDC_RENDER_QUALITY, object.value); break;
    default: break;
    }
}

// ---- Steps and actions ------------------------------------------------------------------------

void CAutLayView::SetGuideStep(int step)
{
    m_step = Clamp(step, 1, 5);
    SelectText(IDC_NEXT_ACTION, kStepProposals[m_step - 1][0]);
    SelectText(IDC_WORK_ACTION, kStepProposals[m_step - 1][1]);
    ShowGuideText(m_step);
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    if (m_step == 3 && doc->m_areaShown <= 0)
        doc->UpdateAllViews(nullptr, HINT_SET_AREA);
    else if (m_step != 3 && m_step != 4 && doc->m_areaShown > 0)
        doc->UpdateAllViews(nullptr, HINT_SET_AREA);
}

void CAutLayView::RunNextAction()
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    const std::string text = Combo(IDC_NEXT_ACTION)->currentText().toStdString();
    if (text == kNextActions[0]) {
        doc->ImportPhotos();
        if (m_step == 1 && doc->GetPieceCount() >= 2)
            SetGuideStep(2);
    } else if (text == kNextActions[1]) {
        if (doc->GetPieceCount() >= 2)
            doc->LayoutSingleInline();
    } else if (text == kNextActions[2]) {
        SetGuideStep(2);
        repaint();
        doc->OnProcessFit();
        if (doc->m_statusMessage != Catalogue().missedPosition) {
            SetGuideStep(3);
            if (doc->m_areaShown <= 0)
                doc->UpdateAllViews(nullptr, HINT_SET_AREA);
        }
    } else if (text == kNextActions[3]) {
        doc->UpdateAllViews(nullptr, HINT_SET_AREA);
    } else if (text == kNextActions[4]) {
        doc->OnProcessOptionBox();
        if (m_step == 3)
            SetGuideStep(4);
    } else if (text == kNextActions[5]) {
        doc->RenderAndSave();
        if (m_step == 4)
            SetGuideStep(5);
    } else if (text == kNextActions[6]) {
        doc->OnFilePrintCurrentPicture();
        if (m_step == 4)
            SetGuideStep(1);
    } else if (text == kNextActions[7]) {
        doc->FileSaveAs();
    }
    update();
}

void CAutLayView::RunWorkAction()
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    const std::string text = Combo(IDC_WORK_ACTION)->currentText().toStdString();
    if (text.empty())
        return;
    if (text == kWorkActions[0]) {
        doc->EjectPieces(CSmDoc::kNoPiece);
        doc->UpdateAllViews(nullptr, HINT_STATUS);
    } else if (text == kWorkActions[1]) {
        doc->EjectUselessPieces();
        doc->UpdateAllViews(nullptr, HINT_STATUS);
    } else if (text == kWorkActions[2]) {
        doc->ClearTiling();
    } else if (text == kWorkActions[3]) {
        doc->OnClearAllFit();
    } else if (text == kWorkActions[4]) {
        doc->OnUnfitSelection();
    } else if (text == kWorkActions[5]) {
        doc->OnUndoLastFit();
    } else if (text == kWorkActions[6]) {
        if (doc->m_areaShown > 0)
            doc->UpdateAllViews(nullptr, HINT_SET_AREA);
    } else if (text == kWorkActions[7]) {
        doc->OnProcessOptionBox();
    } else if (text == kWorkActions[8]) {
        // The main window closes the ordinary way, so unsaved changes are asked about.
        if (m_frame.closeFrame)
            m_frame.closeFrame();
        return;
    } else if (text == kWorkActions[9]) {
        OpenGuide("Guide");
    }
    update();
}

bool CAutLayView::TilingApplies(int which) const
{
    CSmDoc* doc = GetDoc();
    const int pieces = doc ? doc->GetPieceCount() : 0;
    switch (which) {
    case 0: return pieces >= 2;
    case 1: return pieces > 0 && pieces % 2 == 0;
    default: return pieces > 0 && pieces % m_inlineCount == 0;
    }
}

int CAutLayView::ConfirmNewTiling()
{
    CSmDoc* doc = GetDoc();
    if (!doc || doc->GetPieceCount() == 0)
        return 0;
    const int fitted = doc->CountFittedPieces();
    if (fitted == 0)
        return 1;
    if (fitted > 1) {
        if (ShowMessage(Catalogue().newTilingQuestion, platform::MB_OKCANCEL) != platform::IDOK) {
            update();
            return -1;
        }
        doc->OnClearAllFit();
        return 1;
    }
    if (m_tiled == 1)
        doc->OnClearAllFit();
    return 1;
}

void CAutLayView::Tiling(int which)
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    TakeInlineCount();
    // A layout that cannot apply to the present pieces changes nothing: no snapshot, no
    // question, no fit cleared.
    if (!TilingApplies(which)) {
        update();
        return;
    }
    doc->m_undoKind = 15;
    doc->m_pComp->SaveUndoSnapshot();
    if (ConfirmNewTiling() <= 0) {
        update();
        return;
    }
    if (which == 0)
        doc->LayoutSingleInline();
    else if (which == 1)
        doc->LayoutDualInline();
    else if (m_inlineCount == 3)
        doc->LayoutTripleInline();
    else if (m_inlineCount == 4)
        doc->LayoutQuadInline();
    else
        doc->LayoutPentInline();
    if (m_step == 1)
        SetGuideStep(2);
    update();
    m_tiled = 1;
}

// ---- Texts -----------------------------------------------------------------------------------

void CAutLayView::ShowGuideText(int step)
{
    const auto& tips = Catalogue().helpTips;
    QString text;
    int top = 0;
    for (int g = 0; g < 8; ++g) {
        // The page of the step starts at the line the text has reached.
        if (g == step)
            top = static_cast<int>(text.count(QLatin1Char('\n')));
        for (const std::string& line : tips[static_cast<size_t>(g)]) {
            if (line.empty())
                break;
            text += QString::fromStdString(line + "\r\n");
        }
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto* guide = static_cast<QPlainTextEdit*>(GetDlgItem(IDC_GUIDE));
    guide->setPlainText(text);
    ScrollGuideTo(top);
}

void CAutLayView::ScrollGuideTo(int line)
{
    // Wrapped lines take more than one row: the edit itself finds where the line starts. From
    // the end back to the line puts the line at the top.
    auto* guide = static_cast<QPlainTextEdit*>(GetDlgItem(IDC_GUIDE));
    QTextCursor cursor(guide->document());
    cursor.movePosition(QTextCursor::End);
    guide->setTextCursor(cursor);
    guide->ensureCursorVisible();
    cursor.setPosition(guide->document()->findBlockByNumber(line).position());
    guide->setTextCursor(cursor);
    guide->ensureCursorVisible();
}

int CAutLayView::GuideTopLine() const
{
    auto* guide = static_cast<QPlainTextEdit*>(GetDlgItem(IDC_GUIDE));
    return guide->cursorForPosition(QPoint(2, 2)).blockNumber();
}

void CAutLayView::RefreshSizeTexts(int v)
{
    CSmDoc* doc = GetDoc();
    QComboBox* list = Combo(IDC_OUTPUT_SIZE);
    if (!doc || !list)
        return;
    const MessageCatalogue& c = Catalogue();
    const std::string labels[] = {c.sizeLarge, c.sizeMedium, c.sizeSmall, c.sizeUser};
    const int selected = list->currentIndex();
    for (int n = 0; n < 4 && n < list->count(); ++n) {
        const CSize s = doc->CalcOutputSize(n, 1);
        list->setItemText(n, QStringLiteral("%1 %2 * %3 pixels").arg(QString::fromStdString(labels[n])).arg(s.cx).arg(s.cy));
    }
    list->setCurrentIndex(v == 4 ? 3 : selected);
    FitPopupToEntries(IDC_OUTPUT_SIZE);
}

void CAutLayView::FitPopupToEntries(int id)
{
    // An open list may be wider than its closed box, so that no entry loses its end.
    QComboBox* c = Combo(id);
    if (!c)
        return;
    int widest = 0;
    for (int i = 0; i < c->count(); ++i)
        widest = std::max(widest, c->view()->fontMetrics().horizontalAdvance(c->itemText(i)));
    c->view()->setMinimumWidth(widest + 2 * c->view()->frameWidth() + 16);
}

// ---- Geometry, mouse, drawing -------------------------------------------------------------------

void CAutLayView::LayoutControls()
{
    if (m_buttonRect.width() <= 0)
        return;
    const int R = width();
    const int B = m_buttonRect.x() + m_buttonRect.width();
    const int W = m_buttonRect.width();
    auto setRight = [](QWidget* w, int right) {
        const QRect g = w->geometry();
        w->setGeometry(g.x(), g.y(), std::max(1, right - g.x()), g.height());
    };
    auto rightOf = [](QWidget* w) { return w->geometry().x() + w->geometry().width(); };
    auto clamp = [](int v, int lo, int hi) { return std::min(std::max(v, lo), hi); };
    QWidget* guide = GetDlgItem(IDC_GUIDE);
    QWidget* tiling = GetDlgItem(IDC_TILING_GROUP);
    if (!guide || !tiling)
        return;
    // The line the reader is at stays at the top while the lines wrap anew.
    const int topLine = GuideTopLine();
    setRight(guide, clamp(R - 2, B, R + W));
    ScrollGuideTo(topLine);
    setRight(tiling, clamp(R - 2, B, R + W));
    UpdateStepRects();
    for (int id : {IDC_NEXT_ACTION, IDC_WORK_ACTION, IDC_OUTPUT_SIZE, IDC_PROJECTION}) {
        QWidget* w = GetDlgItem(id);
        if (!w)
            return;
        setRight(w, clamp(R - 4, B - 2, R + W));
    }
    for (auto [group, list] : {std::pair{IDC_RENDER_GROUP, IDC_OUTPUT_SIZE}, std::pair{IDC_FIT_GROUP, IDC_PROJECTION}}) {
        QWidget* g = GetDlgItem(group);
        QWidget* l = GetDlgItem(list);
        if (!g || !l)
            return;
        int right = std::max(rightOf(l) + 3, rightOf(g));
        right = std::min(right, rightOf(l) + 5);
        setRight(g, right);
    }
    update();
}

void CAutLayView::OnCloseButton()
{
    const int buttons = m_buttonRect.width();
    int w = PaneWidth() - buttons / 2;
    if (w < buttons)
        w = buttons / 8;
    if (m_frame.showManagerPane)
        m_frame.showManagerPane(w);
}

void CAutLayView::OnWidenButton()
{
    if (m_frame.showManagerPane)
        m_frame.showManagerPane(PaneWidth() + m_buttonRect.width() / 2);
}

void CAutLayView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutControls();
}

void CAutLayView::UpdateStepRects()
{
    // The steps spread over a widened pane.
    const int pitch = std::max(50, (width() - 12) / 5);
    for (int i = 0; i < 5; ++i)
        m_stepRects[static_cast<size_t>(i)] = QRect(6 + i * pitch + (pitch - 50) / 2, 46, 40, 48);
}

void CAutLayView::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    for (int i = 0; i < 5; ++i)
        if (m_stepRects[static_cast<size_t>(i)].contains(p)) {
            SetGuideStep(i + 1);
            update();
            return;
        }
    QWidget::mousePressEvent(event);
}

void CAutLayView::TakeInlineCount()
{
    auto* rows = static_cast<QSpinBox*>(GetDlgItem(IDC_ROWS));
    m_inlineCount = Clamp(rows->value(), 3, 5);
    const MessageCatalogue& c = Catalogue();
    const std::string caption = m_inlineCount == 3 ? c.tilingTriple : m_inlineCount == 4 ? c.tilingQuad : c.tilingPent;
    static_cast<QPushButton*>(GetDlgItem(IDC_MULTI))->setText(QString::fromStdString(caption));
}

void CAutLayView::paintEvent(QPaintEvent*)
{
    TakeInlineCount();
    QPainter p(this);
    p.fillRect(rect(), Colour(kPaneColour));
    p.fillRect(GetDlgItem(IDC_TILING_GROUP)->geometry(), Colour(kTilingColour));
    p.setPen(QPen(Colour(kBrown), 1));
    for (int id : {IDC_TILING_GROUP, IDC_FIT_GROUP, IDC_RENDER_GROUP}) {
        const QRect g = GetDlgItem(id)->geometry();
        p.drawRect(g.adjusted(0, 8, -1, -1));
    }

    // Title, shrunk until it fits the pane.
    QFont title(QStringLiteral("Courier New"));
    title.setBold(true);
    title.setItalic(true);
    int points = 16;
    title.setPointSize(points);
    while (points > 4 && QFontMetrics(title).horizontalAdvance(QStringLiteral("Seamora Manager")) > width() - 4) {
        title.setPointSize(--points);
    }
    p.setFont(title);
    p.setPen(Colour(kBrown));
    p.drawText(QRect(2, 2, width() - 4, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Seamora Manager"));
    QFont body = font();
    p.setFont(body);
    p.drawText(QRect(6, 28, width() - 8, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Running step is:"));

    // The five steps with arrows between them; the running one larger and framed.
    const auto& names = Catalogue().stepNames;
    for (int i = 0; i < 5; ++i) {
        const QRect box = m_stepRects[static_cast<size_t>(i)];
        const bool running = i + 1 == m_step;
        QFont number = title;
        number.setPointSizeF(running ? points * 7.0 / 4.0 : points * 4.0 / 3.0);
        p.setFont(number);
        p.setPen(Colour(kRed));
        p.drawText(QRect(box.x(), box.y(), box.width(), box.height() - 14), Qt::AlignCenter, QString::number(i + 1));
        p.setFont(body);
        p.setPen(Colour(kBrown));
        p.drawText(QRect(box.x() - 5, box.bottom() - 14, box.width() + 10, 14), Qt::AlignCenter,
                   QString::fromStdString(names[static_cast<size_t>(i + 1)]));
        if (running) {
            p.setPen(QPen(Colour(kFrameColour), 2));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(box.adjusted(1, 1, -1, -1), 6, 6);
        }
        if (i < 4) {
            p.setPen(QPen(Colour(kRed), 2));
            const int y = box.center().y() - 6;
            const int gap = m_stepRects[static_cast<size_t>(i + 1)].left() - box.right();
            const int x0 = box.right() + (gap - 7) / 2, x1 = x0 + 7;
            p.drawLine(x0, y, x1, y);
            p.drawLine(x1 - 3, y - 3, x1, y);
            p.drawLine(x1 - 3, y + 3, x1, y);
        }
    }

    // Diagrams of the tilings beside their buttons: brown when the layout applies.
    for (int which = 0; which < 3; ++which) {
        const QRect b = GetDlgItem(which == 0 ? IDC_SINGLE : which == 1 ? IDC_DUAL : IDC_MULTI)->geometry();
        const int rows = RowsOf(which, m_inlineCount);
        p.setPen(QPen(Colour(TilingApplies(which) ? kBrown : kGreyPen), 1));
        p.setBrush(Qt::NoBrush);
        const int x0 = std::max(b.right() + 56, 180);
        const QRect groupRect = GetDlgItem(IDC_TILING_GROUP)->geometry();
        const int cell = std::max(2, std::min((b.height() - 2) / rows, (groupRect.right() - 4 - x0) / 5));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 5; ++c)
                p.drawRect(x0 + c * cell, b.top() + 1 + r * cell, cell - 2, cell - 2);
    }
}

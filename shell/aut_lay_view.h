// The manager pane: the right column of the main window. It leads through the five steps of
// the work (source, fit, area, save, print), proposes the next action and a work-space action
// in two lists with a "go" button each, shows the tips of the running step, offers the typical
// tilings (single, dual, three to five rows) and holds the projection, the output pixel size
// and the speed-or-quality switches. Every action is carried out by the document.
#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <string>

#include "common/basic_types.h"
#include "document/document_base.h"

class CSmDoc;
class QComboBox;

class CAutLayView : public QWidget, public IDocumentView {
    Q_OBJECT
public:
    explicit CAutLayView(QWidget* parent = nullptr);

    // What the pane asks of its frame.
    struct Frame {
        IFrameWindow* window = nullptr;
        std::function<void(int finder, int manager)> setPaneWidths;
        std::function<void(int width)> showManagerPane;
        std::function<void(int width)> setRestoreWidth;
        // Closes the main window the ordinary way (the save-changes question is asked).
        std::function<void()> closeFrame;
    };
    void SetFrame(Frame frame) { m_frame = std::move(frame); }

    // Control ids.
    enum : int {
        IDC_NEXT_ACTION = 1140,
        IDC_NEXT_GO = 1128,
        IDC_WORK_ACTION = 1143,
        IDC_WORK_GO = 1127,
        IDC_GUIDE = 1145,
        IDC_TILING_GROUP = 1124,
        IDC_SINGLE = 1122,
        IDC_DUAL = 1123,
        IDC_MULTI = 1125,
        IDC_ROWS = 1291,
        IDC_FIT_GROUP = 1285,
        IDC_PROJECTION_LABEL = 1286,
        IDC_PROJECTION = 1181,
        IDC_FIT_WORK_LABEL = 1287,
        IDC_FIT_FAST = 1175,
        IDC_FIT_ACCURACY = 1176,
        IDC_RENDER_GROUP = 1288,
        IDC_SIZE_LABEL = 1289,
        IDC_OUTPUT_SIZE = 1184,
        IDC_RENDER_WORK_LABEL = 1290,
        IDC_RENDER_FAST = 1283,
        IDC_RENDER_QUALITY = 1284,
        IDC_WIDEN = 1282,
        IDC_CLOSE = 1165,
    };

    const char* GetRuntimeClassName() const override { return "CAutLayView"; }
    void OnUpdate(IDocumentView* sender, int hint, const HintObject& object) override;
    IFrameWindow* GetParentFrame() override { return m_frame.window; }
    CSmDoc* GetDoc() const;

    void OnInitialUpdate();
    // Sets the running step (clamped to 1..5) and what the lists propose for it.
    void SetGuideStep(int step);
    // Runs the action the next-action list / the work-space list shows.
    void RunNextAction();
    void RunWorkAction();
    // A typical tiling: 0 single, 1 dual, 2 the rows of the third button.
    void Tiling(int which);
    // 0 no pieces, 1 confirmed, -1 the user declined.
    int ConfirmNewTiling();
    // Whether a tiling applies to the present number of pieces (the diagrams are greyed when not).
    bool TilingApplies(int which) const;
    // The tips of all pages with the page of `step` scrolled to the top.
    void ShowGuideText(int step);
    // The output-size list's texts; v = 4 selects "Other size".
    void RefreshSizeTexts(int v);
    // Lays out the right edges of the lists, the guide text and the groups.
    void LayoutControls();
    void OnCloseButton();
    void OnWidenButton();

    QWidget* GetDlgItem(int id) const;
    QComboBox* Combo(int id) const;
    // The step boxes drawn by the pane (client coordinates); a click in box i sets step i + 1.
    const std::array<QRect, 5>& StepRects() const { return m_stepRects; }

    int m_step = 1;
    int m_tiled = 0;
    int m_inlineCount = 3;
    QRect m_buttonRect;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Add(int id, QWidget* w, const QRect& r);
    void SelectText(int id, const std::string& text);
    void ShowRadios(int first, int second, int value);
    void UpdateStepRects();
    // The open list of a combo box as wide as its longest entry.
    void FitPopupToEntries(int id);
    // The guide text scrolled so that the line (a block of the text) is at the top; the line at
    // the top now.
    void ScrollGuideTo(int line);
    int GuideTopLine() const;
    void TakeInlineCount();
    int PaneWidth() const { return width(); }

    Frame m_frame;
    std::map<int, QWidget*> m_controls;
    std::array<QRect, 5> m_stepRects;
    bool m_listsChosen = false;
    bool m_created = false;
};

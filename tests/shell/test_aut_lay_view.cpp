// The manager pane on a real document: the steps and what the lists propose, the step moves of
// the actions, the typical tilings and their confirmation, the output-size texts, the Close and
// Widen widths and the painted colours, texts that fit and a widened pane laid out anew.
#include <gtest/gtest.h>

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>

#include <filesystem>

#include "common/message_catalogue.h"
#include "document/commands_table.h"
#include "document/sm_doc.h"
#include "document/update_hint.h"
#include "imagefile/image_file.h"
#include "shell/aut_lay_view.h"
#include "shell/left_view.h"
#include "shell/main_frame.h"
#include "shell/options_dlg.h"
#include "tests/shell/test_shell_support.h"

namespace fs = std::filesystem;

namespace {

// A picture of a smooth pattern (seed 0) or of hashed noise (other seeds).
std::string WritePicture(const std::string& name, int w, int h, unsigned seed = 0)
{
    // One folder per test: the tests may run side by side in separate processes.
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / (std::string("manager_") + t->test_suite_name() + "." + t->name());
    fs::create_directories(dir);
    const std::string p = (dir / name).string();
    CPixelArray strip;
    strip.SetSize(int64_t(w) * 16);
    EXPECT_EQ(SaveImageBegin(p, w, h, 72, std::string(), 10), 1) << p;
    for (int n : GetSaveStripOrder(p, h)) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < w; ++x) {
                unsigned v = static_cast<unsigned>(x * 7919 + (16 * n + y) * 104729) ^ (seed * 2654435761u);
                v = (v ^ (v >> 13)) * 1274126177u;
                strip[int64_t(y) * w + x] = seed ? RGB(v & 255, (v >> 8) & 255, (v >> 16) & 255)
                                                 : RGB(x * 255 / w, (16 * n + y) * 255 / h, 90);
            }
        EXPECT_EQ(SaveImagePut(p, strip, n), 1);
    }
    EXPECT_EQ(SaveImageEnd(p, 1), 1);
    return p;
}

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_doc = std::make_unique<CSmDoc>();
        m_pane = std::make_unique<CAutLayView>();
        CAutLayView::Frame frame;
        frame.showManagerPane = [this](int w) { m_shownWidth = w; };
        frame.closeFrame = [this] { ++m_closes; };
        m_pane->SetFrame(frame);
        m_doc->AddView(m_pane.get());
        m_pane->resize(300, 640);
        m_pane->OnInitialUpdate();
        m_doc->AddView(&m_recorder);
    }
    void TearDown() override
    {
        m_doc->RemoveView(&m_recorder);
        m_pane.reset();
        m_doc.reset();
    }
    std::string Next() const { return m_pane->Combo(CAutLayView::IDC_NEXT_ACTION)->currentText().toStdString(); }
    std::string Work() const { return m_pane->Combo(CAutLayView::IDC_WORK_ACTION)->currentText().toStdString(); }
    void Choose(int list, const char* text)
    {
        QComboBox* c = m_pane->Combo(list);
        c->setCurrentIndex(c->findText(QString::fromUtf8(text)));
        ASSERT_GE(c->currentIndex(), 0) << text;
    }
    void Import(int n, unsigned seed = 0)
    {
        std::vector<std::string> paths;
        for (int i = 0; i < n; ++i)
            paths.push_back(WritePicture("p" + std::to_string(seed) + "_" + std::to_string(i) + ".bmp", 120, 90,
                                         seed ? seed + i : 0));
        m_services.dialog.QueuePaths(paths);
        Choose(CAutLayView::IDC_NEXT_ACTION, "Import photos as source picture");
        m_pane->RunNextAction();
        ASSERT_EQ(m_doc->GetPieceCount(), n);
    }
    void MarkFitted(int n)
    {
        int marked = 0;
        for (int entry : m_doc->m_pieceList)
            if (marked++ < n)
                m_doc->m_entries[static_cast<size_t>(entry)].m_FitStatus = 3;
    }

    shelltest::ScriptedServices m_services;
    std::unique_ptr<CSmDoc> m_doc;
    std::unique_ptr<CAutLayView> m_pane;
    shelltest::RecordingView m_recorder;
    int m_shownWidth = -1;
    int m_closes = 0;
};

} // namespace

TEST_F(ManagerTest, StepsProposeTheirActionsWithoutRunningThem)
{
    struct Case {
        int asked, step;
        const char* next;
        const char* work;
    };
    const Case cases[] = {
        {0, 1, "Import photos as source picture", "Eject selection from work space"},
        {2, 2, "Execute [ Fit ]", "UnFit selection"},
        {4, 4, "Render image and [ Save ] it", "Open [ Option ] window"},
        {5, 5, "Execute [ Print ] current image", "Exit Seamora"},
        {7, 5, "Execute [ Print ] current image", "Exit Seamora"},
        {1, 1, "Import photos as source picture", "Eject selection from work space"},
    };
    for (const Case& c : cases) {
        m_pane->SetGuideStep(c.asked);
        EXPECT_EQ(m_pane->m_step, c.step) << c.asked;
        EXPECT_EQ(Next(), c.next) << c.asked;
        EXPECT_EQ(Work(), c.work) << c.asked;
    }
    // The pane's own selections run nothing: no dialog was asked for, the frame was not closed.
    EXPECT_TRUE(m_services.dialog.Requests().empty());
    EXPECT_EQ(m_closes, 0);
    for (const auto& h : m_recorder.hints)
        EXPECT_EQ(h.hint, HINT_SET_AREA) << "only the area follows the step";
    // Step 3 shows the rendering area.
    m_recorder.hints.clear();
    m_pane->SetGuideStep(3);
    ASSERT_EQ(m_recorder.hints.size(), 1u);
    EXPECT_EQ(m_recorder.hints[0].hint, HINT_SET_AREA);
    // Steps are set by hint 313 and by a click in a step box.
    m_doc->UpdateAllViews(nullptr, 313, HintObject::Number(4));
    EXPECT_EQ(m_pane->m_step, 4);
    m_pane->SetGuideStep(1);
    const QRect box = m_pane->StepRects()[1];
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(box.center()), QPointF(m_pane->mapToGlobal(box.center())),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_pane.get(), &press);
    EXPECT_EQ(m_pane->m_step, 2);
}

TEST_F(ManagerTest, ActionsMoveTheStep)
{
    Import(2);
    EXPECT_EQ(m_pane->m_step, 2) << "two photos imported at step 1";
    m_pane->SetGuideStep(3);
    Choose(CAutLayView::IDC_NEXT_ACTION, "Open [ Option ] window");
    m_pane->RunNextAction();
    EXPECT_EQ(m_pane->m_step, 4);
    // "Exit Seamora" closes the frame the ordinary way.
    Choose(CAutLayView::IDC_WORK_ACTION, "Exit Seamora");
    m_pane->RunWorkAction();
    EXPECT_EQ(m_closes, 1);
}

TEST_F(ManagerTest, FitThatMissesAPictureStaysAtStepTwo)
{
    Import(2, 11);
    m_pane->SetGuideStep(1);
    Choose(CAutLayView::IDC_NEXT_ACTION, "Execute [ Fit ]");
    m_pane->RunNextAction();
    EXPECT_EQ(m_doc->m_statusMessage, Catalogue().missedPosition);
    EXPECT_EQ(m_pane->m_step, 2);
}

TEST_F(ManagerTest, TilingsCheckTheLayoutBeforeTheyTouchAnyFit)
{
    struct Case {
        const char* what;
        int pieces, fitted, which, rows;
        int answer;  // the answer to "Would you execute New tiling?" (0: not asked)
        bool laid;   // the layout ran (undo kind 15, step 2, tiled)
        int fittedAfter;  // a layout made lays its first piece as the fitted base
    };
    const Case cases[] = {
        {"single, nothing fitted", 2, 0, 0, 3, 0, true, 1},
        {"dual with an odd count keeps every fit", 3, 3, 1, 3, 0, false, 3},
        {"dual with an even count, declined", 4, 2, 1, 3, platform::IDCANCEL, false, 2},
        {"dual with an even count, confirmed", 4, 2, 1, 3, platform::IDOK, true, 1},
        {"triple with 7 pieces does nothing", 7, 0, 2, 3, 0, false, 0},
        {"quad with 8 pieces", 8, 0, 2, 4, 0, true, 1},
        {"one fitted piece, no tiling before: fit kept", 2, 1, 0, 3, 0, true, 1},
    };
    for (const Case& c : cases) {
        SetUp();
        Import(c.pieces);
        m_pane->SetGuideStep(1);
        m_pane->m_tiled = 0;
        MarkFitted(c.fitted);
        m_doc->m_undoKind = 0;
        static_cast<QSpinBox*>(m_pane->GetDlgItem(CAutLayView::IDC_ROWS))->setValue(c.rows);
        m_services.box.Clear();
        if (c.answer)
            m_services.box.QueueAnswer(c.answer);
        m_pane->Tiling(c.which);
        EXPECT_EQ(m_services.box.Shown().size(), c.answer ? 1u : 0u) << c.what;
        if (!c.laid && !c.answer) {
            EXPECT_EQ(m_doc->m_undoKind, 0) << c.what << ": no snapshot";
        }
        EXPECT_EQ(m_pane->m_tiled, c.laid ? 1 : 0) << c.what;
        EXPECT_EQ(m_pane->m_step, c.laid ? 2 : 1) << c.what;
        EXPECT_EQ(m_doc->CountFittedPieces(), c.fittedAfter) << c.what;
        TearDown();
    }
    SetUp();
}

TEST_F(ManagerTest, ConfirmNewTilingAnswers)
{
    EXPECT_EQ(m_pane->ConfirmNewTiling(), 0) << "no pieces";
    Import(3);
    EXPECT_EQ(m_pane->ConfirmNewTiling(), 1) << "nothing fitted";
    MarkFitted(2);
    m_services.box.QueueAnswer(platform::IDCANCEL);
    EXPECT_EQ(m_pane->ConfirmNewTiling(), -1);
    EXPECT_EQ(m_doc->CountFittedPieces(), 2);
    m_services.box.QueueAnswer(platform::IDOK);
    EXPECT_EQ(m_pane->ConfirmNewTiling(), 1);
    EXPECT_EQ(m_doc->CountFittedPieces(), 0);
    // One fitted piece after a typical tiling: its fit is cleared without a question.
    MarkFitted(1);
    m_pane->m_tiled = 1;
    m_services.box.Clear();
    EXPECT_EQ(m_pane->ConfirmNewTiling(), 1);
    EXPECT_TRUE(m_services.box.Shown().empty());
    EXPECT_EQ(m_doc->CountFittedPieces(), 0);
}

TEST_F(ManagerTest, OutputSizeTextsAndPaneWidths)
{
    QComboBox* sizes = m_pane->Combo(CAutLayView::IDC_OUTPUT_SIZE);
    EXPECT_EQ(sizes->currentIndex(), 1);
    m_doc->UpdateAllViews(nullptr, HINT_OPTIONS, HintObject::Number(1));
    const char* labels[] = {" Large", " Medium", " Small", " User Size:"};
    for (int n = 0; n < 4; ++n) {
        const CSize s = m_doc->CalcOutputSize(n, 1);
        EXPECT_EQ(sizes->itemText(n).toStdString(),
                  std::string(labels[n]) + " " + std::to_string(s.cx) + " * " + std::to_string(s.cy) + " pixels");
    }
    EXPECT_EQ(sizes->currentIndex(), 1);
    m_doc->UpdateAllViews(nullptr, HINT_OPTIONS, HintObject::Number(4));
    EXPECT_EQ(sizes->currentIndex(), 3);

    const int buttons = m_pane->m_buttonRect.width();
    struct Case {
        int pane;
        bool close;
        int expected;
    };
    const Case cases[] = {
        {300, true, buttons / 8},          // less than the buttons' width left: an eighth of it
        {600, true, 600 - buttons / 2},
        {300, false, 300 + buttons / 2},
    };
    for (const Case& c : cases) {
        m_pane->resize(c.pane, 640);
        if (c.close)
            m_pane->OnCloseButton();
        else
            m_pane->OnWidenButton();
        EXPECT_EQ(m_shownWidth, c.expected) << c.pane << c.close;
    }
}

TEST_F(ManagerTest, EveryTextFitsAndTheStepsTipsStartAtTheTop)
{
    m_doc->UpdateAllViews(nullptr, HINT_OPTIONS, HintObject::Number(1));
    auto* guide = static_cast<QPlainTextEdit*>(m_pane->GetDlgItem(CAutLayView::IDC_GUIDE));
    m_pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pane.get()));
    for (int paneWidth : {252, 400}) {
        m_pane->resize(paneWidth, 660);
        // Labels and buttons show their whole caption.
        for (QLabel* l : m_pane->findChildren<QLabel*>())
            EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
        for (QPushButton* b : m_pane->findChildren<QPushButton*>())
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 8, b->width()) << b->text().toStdString();
        // The closed output-size list shows a whole entry; every open list shows whole entries.
        QComboBox* sizes = m_pane->Combo(CAutLayView::IDC_OUTPUT_SIZE);
        EXPECT_LE(sizes->fontMetrics().horizontalAdvance(sizes->itemText(1)) + 30, sizes->width())
            << sizes->itemText(1).toStdString();
        for (int id : {CAutLayView::IDC_NEXT_ACTION, CAutLayView::IDC_WORK_ACTION, CAutLayView::IDC_PROJECTION,
                       CAutLayView::IDC_OUTPUT_SIZE}) {
            QComboBox* c = m_pane->Combo(id);
            for (int i = 0; i < c->count(); ++i)
                EXPECT_LE(c->fontMetrics().horizontalAdvance(c->itemText(i)), c->view()->minimumWidth())
                    << c->itemText(i).toStdString();
        }
        // Tips lines wrap: nothing lies beyond the right edge, and each step's tips start at the top.
        EXPECT_EQ(guide->horizontalScrollBar()->maximum(), 0);
        for (int step = 1; step <= 5; ++step) {
            m_pane->SetGuideStep(step);
            const QTextBlock top = guide->cursorForPosition(QPoint(2, 2)).block();
            EXPECT_EQ(top.next().text().trimmed().toStdString(), "== Tips (" + std::to_string(step) + ") ==")
                << paneWidth;
        }
    }
}

TEST_F(ManagerTest, AWidenedPaneIsLaidOutAnewAndKeepsTheTipsInView)
{
    m_pane->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pane.get()));
    m_pane->resize(252, 660);
    m_pane->SetGuideStep(3);
    auto right = [this](int id) { return m_pane->GetDlgItem(id)->geometry().right(); };
    const int stepsRight = m_pane->StepRects()[4].right();
    m_pane->resize(252 + m_pane->m_buttonRect.width() / 2, 660);
    // The guide, the lists and every group reach the new right edge; the steps spread.
    for (int id : {CAutLayView::IDC_GUIDE, CAutLayView::IDC_TILING_GROUP})
        EXPECT_EQ(right(id), m_pane->width() - 3) << id;
    for (int id : {CAutLayView::IDC_FIT_GROUP, CAutLayView::IDC_RENDER_GROUP})
        EXPECT_GE(right(id), m_pane->width() - 4) << id;
    EXPECT_GT(m_pane->StepRects()[4].right(), stepsRight + 60);
    EXPECT_LT(m_pane->StepRects()[4].right(), m_pane->width());
    // The reader stays at the tips of step 3.
    auto* guide = static_cast<QPlainTextEdit*>(m_pane->GetDlgItem(CAutLayView::IDC_GUIDE));
    EXPECT_EQ(guide->cursorForPosition(QPoint(2, 2)).block().next().text().trimmed().toStdString(), "== Tips (3) ==");
}

TEST_F(ManagerTest, PaintedColoursAndDiagrams)
{
    auto pixel = [this](int x, int y) {
        const QImage img = m_pane->grab().toImage();
        return QColor(img.pixel(x, y));
    };
    EXPECT_EQ(pixel(1, 97), QColor(232, 227, 174));
    const QRect group = m_pane->GetDlgItem(CAutLayView::IDC_TILING_GROUP)->geometry();
    EXPECT_EQ(pixel(150, group.bottom() - 5), QColor(192, 192, 192));
    // The single tiling's diagram is grey without pieces and brown with two.
    const QRect single = m_pane->GetDlgItem(CAutLayView::IDC_SINGLE)->geometry();
    const int x = std::max(single.right() + 56, 180);
    EXPECT_EQ(pixel(x, single.top() + 6), QColor(230, 230, 230));
    Import(2);
    EXPECT_EQ(pixel(x, single.top() + 6), QColor(128, 64, 0));
}

TEST(ManagerInFrame, ExitAsksAboutChangesAndTheFrameOwnsTheOptionBox)
{
    shelltest::ScriptedServices services;
    CSmDoc doc;
    {
        CMainFrame frame(&doc, nullptr);
        ASSERT_TRUE(frame.Create());
        frame.setWindowState(Qt::WindowNoState);
        frame.resize(1000, 700);
        frame.show();
        EXPECT_EQ(doc.FindViewByClass("CLeftView"), static_cast<IDocumentView*>(frame.LeftView()));
        EXPECT_EQ(doc.FindViewByClass("CAutLayView"), static_cast<IDocumentView*>(frame.ManagerView()));
        EXPECT_EQ(OptionBox(), static_cast<IOptionBox*>(frame.OptionsDialog()));

        // "Exit Seamora" with unsaved changes asks; Cancel keeps the window open.
        doc.SetModifiedFlag();
        CAutLayView* pane = frame.ManagerView();
        QComboBox* work = pane->Combo(CAutLayView::IDC_WORK_ACTION);
        work->setCurrentIndex(work->findText(QStringLiteral("Exit Seamora")));
        services.box.QueueAnswer(platform::IDCANCEL);
        pane->RunWorkAction();
        EXPECT_EQ(services.box.Shown().size(), 1u);
        EXPECT_TRUE(frame.isVisible());
        // No changes: the window closes without a question.
        doc.SetModifiedFlag(false);
        pane->RunWorkAction();
        EXPECT_FALSE(frame.isVisible());
        EXPECT_EQ(services.box.Shown().size(), 1u);
    }
    EXPECT_EQ(OptionBox(), nullptr);
}

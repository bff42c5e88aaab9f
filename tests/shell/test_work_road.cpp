// The user's main road through the running program, driven as a user drives it: the manager
// pane's steps show and hide the rendering area in the work view and the area after a fit is the
// whole panorama that Render and Save writes; a piece dragged onto the image finder goes back to
// the stock; the View menu's column toggles work in a fresh session; long jobs keep the window
// painting, break on Escape, keep their pictures when memory runs out and keep the window open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>

#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "document/sm_doc.h"
#include "imagefile/image_file.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "platform/input_state.h"
#include "platform/system_services.h"
#include "platform/qt/qt_services.h"
#include "shell/aut_lay_view.h"
#include "shell/command_ids.h"
#include "shell/left_view.h"
#include "shell/main_frame.h"
#include "shell/pane_layout.h"
#include "shell/present_image_model.h"
#include "shell/sm_app.h"
#include "views/print_device.h"
#include "views/sm_view.h"
#include "views/work_input.h"
#include "tests/shell/fitted_project.h"
#include "tests/shell/test_shell_support.h"
#include "tests/support/refused_pictures.h"

namespace fs = std::filesystem;

namespace {

// Counts the paints a widget receives while a long job runs.
class JobPaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && platform::IsJobRunning())
            ++paints;
        return false;
    }
};

class WorkRoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(SMRA_TEST_TMPDIR) / (std::string("road_") + t->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "photos");
        CImageWindowCascade::Shared().Reset();
        m_app = std::make_unique<CSmApp>();
        ASSERT_TRUE(shelltest::StartProgram(*m_app, {"Smra_En"}));
        m_services.emplace();
        m_doc = m_app->Document();
        m_frame = m_app->MainFrame();
        ASSERT_TRUE(shelltest::ShowMainFrame(m_frame));
    }
    void TearDown() override
    {
        SetImageReader(nullptr);
        if (m_doc)
            m_doc->SetModifiedFlag(false);
        m_app.reset();
        m_services.reset();
        platform::DefaultInput().Reset();
    }

    void OpenFittedProject()
    {
        const std::string project = shelltest::MakeFittedProject(m_dir);
        ASSERT_TRUE(m_app->OpenDocumentFile(project));
        ASSERT_EQ(m_doc->m_pComp->GetFittedCount(), 2);
        // The pieces lie side by side in cells of the work space, as a fit there leaves them.
        int column = 0;
        for (int entry : m_doc->m_pieceList) {
            m_doc->FindPictureByName(m_doc->m_entries[static_cast<size_t>(entry)].m_Name)->m_LayoutCell = CPoint(column, 1);
            ASSERT_GE(m_doc->SetPieceCell(entry, column++, 1), 0);
        }
        ASSERT_EQ(m_doc->CountPiecesToFit(), 0);
    }
    CAutLayView* Manager() const { return m_frame->ManagerView(); }
    // Picks the text in one of the manager's two lists and presses its "go" button.
    void Go(int list, const char* text)
    {
        QComboBox* c = Manager()->Combo(list);
        c->setCurrentIndex(c->findText(QString::fromUtf8(text)));
        ASSERT_GE(c->currentIndex(), 0) << text;
        const int button = list == CAutLayView::IDC_NEXT_ACTION ? CAutLayView::IDC_NEXT_GO : CAutLayView::IDC_WORK_GO;
        QTest::mouseClick(Manager()->GetDlgItem(button), Qt::LeftButton);
    }
    static bool WaitCursorShown()
    {
        return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    }
    bool RenderAndSaveEnabled() const { return m_frame->QueryCommandState(32804).enabled; }
    QWidget* WorkArea() const { return m_frame->WorkView()->viewport(); }

    std::optional<shelltest::ScriptedServices> m_services;
    fs::path m_dir;
    std::unique_ptr<CSmApp> m_app;
    CSmDoc* m_doc = nullptr;
    CMainFrame* m_frame = nullptr;
};

} // namespace

TEST_F(WorkRoadTest, ManagerStepsShowTheWholeFittedPanoramaAsTheAreaThatRenderAndSaveWrites)
{
    OpenFittedProject();
    // A reopened fitted project shows the area round its pictures and renders at once; the
    // state before a first fit is made here: no area shown, and something asked for the
    // output size: the stand-in area of an empty one.
    EXPECT_EQ(m_doc->m_areaShown, 1);
    EXPECT_TRUE(RenderAndSaveEnabled());
    m_doc->m_areaShown = 0;
    m_doc->m_renderArea = CRect();
    m_doc->GetOutputSize(1);
    ASSERT_EQ(m_doc->m_renderArea, CRect(-160, -120, 160, 120));
    EXPECT_EQ(m_doc->m_areaShown, 0);
    EXPECT_FALSE(RenderAndSaveEnabled());

    Manager()->SetGuideStep(2);
    bool waitCursorInFit = false;
    shelltest::JobStartHook hook([&] { waitCursorInFit = WaitCursorShown(); });
    m_doc->AddView(&hook);
    Go(CAutLayView::IDC_NEXT_ACTION, "Execute [ Fit ]");
    m_doc->RemoveView(&hook);
    EXPECT_TRUE(waitCursorInFit);
    EXPECT_FALSE(WaitCursorShown()) << "the cursor is back after the fit";
    EXPECT_EQ(Manager()->m_step, 3);
    const CRect panorama = m_doc->m_pComp->GetBoundingRect();
    ASSERT_FALSE(panorama.IsRectEmpty());
    EXPECT_EQ(m_doc->m_areaShown, 1) << "the work view shows the area for step 3";
    EXPECT_EQ(m_doc->m_renderArea, panorama);
    EXPECT_TRUE(RenderAndSaveEnabled());
    // The view lays the area's handles where it draws them.
    m_frame->WorkView()->repaint();
    EXPECT_FALSE(m_frame->WorkView()->m_rcAreaHandles[1].IsRectEmpty());

    Go(CAutLayView::IDC_WORK_ACTION, "Hide cropping frame");
    EXPECT_EQ(m_doc->m_areaShown, 0);
    EXPECT_FALSE(RenderAndSaveEnabled());
    Go(CAutLayView::IDC_NEXT_ACTION, "Show cropping frame for rendering [ area ]");
    EXPECT_EQ(m_doc->m_areaShown, 1);
    EXPECT_EQ(m_doc->m_renderArea, panorama) << "showing again keeps the area";

    // Render and Save from the manager writes the whole panorama in the area's proportions.
    const std::string output = (m_dir / "pano.png").string();
    m_services->dialog.QueuePath(output);
    Go(CAutLayView::IDC_NEXT_ACTION, "Render image and [ Save ] it");
    const CRect written = GetImageFileRect(output);
    ASSERT_FALSE(written.IsRectEmpty()) << m_doc->m_statusMessage;
    EXPECT_EQ(written.Size(), m_doc->m_outputSize);
    EXPECT_NEAR(double(written.Height()) / written.Width(), double(panorama.Height()) / panorama.Width(), 0.02);
}

TEST_F(WorkRoadTest, APieceDraggedOntoTheImageFinderGoesBackToTheStock)
{
    std::vector<std::string> photos;
    for (int i = 0; i < 3; ++i) {
        photos.push_back((m_dir / "photos" / ("p" + std::to_string(i) + ".png")).string());
        ASSERT_TRUE(shelltest::WritePicture(photos.back(), 160, 120, RGB(40 * i, 90, 160)));
    }
    m_services->dialog.QueuePaths(photos);
    Go(CAutLayView::IDC_NEXT_ACTION, "Import photos as source picture");
    ASSERT_EQ(m_doc->GetPieceCount(), 3);
    QTest::mouseClick(Manager()->GetDlgItem(CAutLayView::IDC_MULTI), Qt::LeftButton);
    m_frame->WorkView()->repaint();

    // The middle of the last piece as the view lays it.
    const int entry = m_doc->FindEntryIndex(photos[2], 0);
    workview::CWorkInput* input = m_frame->WorkView()->Input();
    QRect hits;
    for (int y = 1; y < WorkArea()->height(); y += 2)
        for (int x = 1; x < WorkArea()->width(); x += 2)
            if (input->HitTestWorkPiece(CPoint(x, y)) == entry)
                hits |= QRect(x, y, 1, 1);
    ASSERT_FALSE(hits.isEmpty());
    QWindow* window = m_frame->windowHandle();
    const QPoint from = WorkArea()->mapTo(m_frame, hits.center());
    const QPoint to = m_frame->LeftView()->viewport()->mapTo(m_frame, m_frame->LeftView()->viewport()->rect().center());
    QTest::mousePress(window, Qt::LeftButton, {}, from);
    QTest::mouseMove(window, from + QPoint(12, 4));
    QTest::mouseMove(window, (from + to) / 2);
    QTest::mouseMove(window, to);
    QTest::mouseRelease(window, Qt::LeftButton, {}, to);

    EXPECT_EQ(m_doc->GetPieceCount(), 2);
    EXPECT_FALSE(m_doc->IsPiece(entry));
    EXPECT_EQ(m_doc->m_entries[static_cast<size_t>(entry)].m_State, 3);
    EXPECT_TRUE(m_doc->IsPiece(m_doc->FindEntryIndex(photos[0], 0)));
}

TEST_F(WorkRoadTest, ViewMenuTogglesTheSideColumnsInAFreshSession)
{
    const std::vector<int> start = m_frame->ColumnWidths();
    ASSERT_EQ(start.size(), 3u);
    ASSERT_GT(start[0], 10);
    ASSERT_GT(start[2], 10);
    struct Step {
        int command;
        bool finderShown, managerShown;
    };
    const Step steps[] = {
        {ID_VIEW_IMAGE_FINDER, false, true},
        {ID_VIEW_MANAGER_WINDOW, false, false},
        {ID_VIEW_IMAGE_FINDER, true, false},
        {ID_VIEW_MANAGER_WINDOW, true, true},
    };
    for (const Step& s : steps) {
        EXPECT_TRUE(m_frame->RouteCommand(s.command)) << s.command;
        const std::vector<int> w = m_frame->ColumnWidths();
        EXPECT_EQ(w[0] > 10, s.finderShown) << s.command;
        EXPECT_EQ(w[2] > 10, s.managerShown) << s.command;
    }
    EXPECT_EQ(m_frame->ColumnWidths()[0], kFinderColumnWidth);
    EXPECT_EQ(m_frame->ColumnWidths()[2], start[2]);
}

TEST_F(WorkRoadTest, MemoryRunningOutWhileRenderingKeepsThePiecesAndTheWindowOpen)
{
    OpenFittedProject();
    m_doc->SetRenderAreaToFittedPictures(true);
    m_doc->m_areaShown = 1;
    const int pieces = m_doc->GetPieceCount();
    ASSERT_EQ(pieces, 2);
    // When the render starts its timer, the pictures' images are let go; the render finds no
    // memory to read them again, and meanwhile the user closes the main window.
    bool rendering = false;
    shelltest::JobStartHook hook([&] {
        rendering = true;
        for (int i = 0; i < m_doc->GetPictureCount(); ++i)
            m_doc->GetPicture(i)->Pixels.RemoveAll();
    });
    m_doc->AddView(&hook);
    int reads = 0;
    bool closed = true;
    SetImageReader([&](const std::string& path, CPixelArray& pixels, CSize& size, const CRect& region) -> int {
        if (!rendering)
            return LoadImageFile(path, pixels, size, region);
        if (reads++ == 0)
            closed = m_frame->close();
        return int(kResultOutOfMemory);
    });
    const std::string output = (m_dir / "out.png").string();
    m_services->dialog.QueuePath(output);
    m_services->box.QueueAnswer(platform::IDNO); // asked whether to break the job: no
    EXPECT_TRUE(m_frame->RouteCommand(32804));
    SetImageReader(nullptr);
    m_doc->RemoveView(&hook);

    ASSERT_GT(reads, 0);
    EXPECT_FALSE(closed) << "the main window stays open while the job runs";
    EXPECT_TRUE(m_frame->isVisible());
    ASSERT_EQ(m_services->box.Shown().size(), 2u);
    EXPECT_NE(m_services->box.Shown()[0].find("job is still running"), std::string::npos);
    EXPECT_EQ(m_services->box.Shown()[1], Catalogue().memoryTooShort);
    EXPECT_EQ(m_doc->GetPieceCount(), pieces) << "the pieces stay on the work space under the running engine";
    EXPECT_EQ(m_doc->m_pComp->GetFittedCount(), 2);
    EXPECT_FALSE(platform::IsJobRunning());
}

TEST_F(WorkRoadTest, EscapeBreaksARenderWhileTheWindowKeepsPainting)
{
    OpenFittedProject();
    m_doc->SetRenderAreaToFittedPictures(true);
    m_doc->m_areaShown = 1;
    JobPaintCounter counter;
    WorkArea()->installEventFilter(&counter);
    // As soon as the job lets events through: a repaint is due and the user types Escape.
    QTimer::singleShot(0, m_frame, [this] {
        WorkArea()->update();
        QTest::keyClick(m_frame, Qt::Key_Escape);
    });
    const std::string output = (m_dir / "broken.png").string();
    m_services->dialog.QueuePath(output);
    EXPECT_TRUE(m_frame->RouteCommand(32804));
    WorkArea()->removeEventFilter(&counter);

    EXPECT_FALSE(fs::exists(output)) << "the render was broken";
    EXPECT_GT(counter.paints, 0);
    EXPECT_EQ(m_doc->m_busyState, -2);
    // The next render is not broken by the old Escape.
    const std::string again = (m_dir / "whole.png").string();
    m_services->dialog.QueuePath(again);
    EXPECT_TRUE(m_frame->RouteCommand(32804));
    EXPECT_TRUE(fs::exists(again)) << m_doc->m_statusMessage;
}

TEST_F(WorkRoadTest, DraggingTheAreasCornersMovesBothEdgesAndTheViewStaysPut)
{
    OpenFittedProject();
    Manager()->SetGuideStep(2);
    Go(CAutLayView::IDC_NEXT_ACTION, "Execute [ Fit ]");
    ASSERT_EQ(m_doc->m_areaShown, 1);
    CSmView* view = m_frame->WorkView();
    QWindow* window = m_frame->windowHandle();
    // Drags a handle by an offset in client pixels, as the pointer does.
    const auto drag = [&](int handle, QPoint by) {
        view->repaint();
        const CRect r = view->m_rcAreaHandles[static_cast<size_t>(handle)];
        ASSERT_FALSE(r.IsRectEmpty()) << handle;
        const CPoint c = view->LPtoDP(r.CenterPoint());
        const QPoint from = WorkArea()->mapTo(m_frame, QPoint(c.x, c.y));
        QTest::mouseMove(window, from);
        QTest::mousePress(window, Qt::LeftButton, {}, from);
        QTest::mouseMove(window, from + by / 2);
        QTest::mouseMove(window, from + by);
        QTest::mouseRelease(window, Qt::LeftButton, {}, from + by);
    };
    const CPoint scroll = view->GetScrollPosition();
    const CRect before = m_doc->m_renderArea;
    drag(1, QPoint(-20, -15));
    const CRect afterFirst = m_doc->m_renderArea;
    EXPECT_LT(afterFirst.left, before.left) << "top-left corner: the left edge";
    EXPECT_LT(afterFirst.top, before.top) << "top-left corner: the top edge";
    EXPECT_EQ(afterFirst.right, before.right);
    EXPECT_EQ(afterFirst.bottom, before.bottom);
    // The idle steps between two drags leave the view where it was.
    for (int i = 0; i < 5; ++i)
        m_doc->UpdateAllViews(nullptr, HINT_IDLE);
    EXPECT_EQ(view->GetScrollPosition(), scroll);
    drag(5, QPoint(25, 10));
    const CRect afterSecond = m_doc->m_renderArea;
    EXPECT_GT(afterSecond.right, afterFirst.right) << "bottom-right corner: the right edge";
    EXPECT_GT(afterSecond.bottom, afterFirst.bottom) << "bottom-right corner: the bottom edge";
    EXPECT_EQ(afterSecond.TopLeft(), afterFirst.TopLeft());
    EXPECT_EQ(view->GetScrollPosition(), scroll);
    EXPECT_EQ(m_doc->m_outputSize, m_doc->GetOutputSize(1));
}

TEST_F(WorkRoadTest, ImportCountsThePhotosUnderTheWaitCursorAndEscapeStopsItKeepingWhatCameIn)
{
    std::vector<std::string> photos;
    for (int i = 0; i < 4; ++i) {
        photos.push_back((m_dir / "photos" / ("p" + std::to_string(i) + ".png")).string());
        ASSERT_TRUE(shelltest::WritePicture(photos.back(), 160, 120, RGB(40 * i, 90, 160)));
    }
    // While the second photo is read: what the user sees, and the user types Escape.
    std::string status;
    bool waitCursor = false, job = false, escaped = false;
    SetImageReader([&](const std::string& path, CPixelArray& pixels, CSize& size, const CRect& region) -> int {
        if (path == photos[1] && !escaped) {
            escaped = true;
            status = m_frame->StatusPanes()->PaneText(0);
            waitCursor = WaitCursorShown();
            job = platform::IsJobRunning();
            QTest::keyClick(m_frame, Qt::Key_Escape);
        }
        return LoadImageFile(path, pixels, size, region);
    });
    m_services->dialog.QueuePaths(photos);
    Go(CAutLayView::IDC_NEXT_ACTION, "Import photos as source picture");
    SetImageReader(nullptr);

    ASSERT_TRUE(escaped);
    EXPECT_NE(status.find("2 of 4"), std::string::npos) << status;
    EXPECT_TRUE(waitCursor);
    EXPECT_TRUE(job) << "the window refuses to close meanwhile";
    EXPECT_EQ(m_doc->GetPieceCount(), 2) << "the photos taken in before the break stay";
    EXPECT_TRUE(m_doc->IsPiece(m_doc->FindEntryIndex(photos[1], 0)));
    EXPECT_FALSE(m_doc->IsPiece(m_doc->FindEntryIndex(photos[2], 0)));
    EXPECT_FALSE(WaitCursorShown());
    EXPECT_FALSE(platform::IsJobRunning());
    EXPECT_TRUE(m_doc->m_jobText.empty());
}

TEST_F(WorkRoadTest, ImportOfRefusedPhotosSaysUnderTheWorkSpaceWhatIsWrong)
{
    std::vector<std::string> refused;
    std::string pipe;
    for (const testsupport::RefusedPicture& f : testsupport::MakeRefusedPictures((m_dir / "photos").string())) {
        if (f.reason == "not a regular file")
            pipe = f.path;
        else
            refused.push_back(f.path);
    }
    // The pipe last: nothing waits for a writer to come to it, and its refusal is the one shown.
    ASSERT_FALSE(pipe.empty());
    refused.push_back(pipe);
    const QImage before = WorkArea()->grab().toImage();
    m_services->dialog.QueuePaths(refused);
    Go(CAutLayView::IDC_NEXT_ACTION, "Import photos as source picture");
    EXPECT_EQ(m_doc->GetPieceCount(), 0);
    EXPECT_EQ(m_doc->m_statusMessage, pipe + "\nCurrent file format is not supported. (not a regular file)");
    // The text is drawn at the foot of the work space.
    const QImage after = WorkArea()->grab().toImage();
    ASSERT_EQ(after.size(), before.size());
    const int foot = after.height() - after.height() / 6;
    EXPECT_NE(after.copy(0, foot, after.width(), after.height() - foot),
              before.copy(0, foot, before.width(), before.height() - foot));
}

TEST(ShellPrintVerb, PrintsTheProjectOnThePrinterWithoutAskingAndEnds)
{
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / "road_shell_print";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string project = shelltest::MakeFittedProject(dir);
    const std::string pdf = (dir / "printed.pdf").string();
    std::vector<bool> asked;
    views::SetPrinterFactory([&] {
        return std::make_unique<views::CQtPrinter>([&](QPrinter& p, bool direct) {
            asked.push_back(direct);
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(QString::fromStdString(pdf));
            return true;
        });
    });
    for (const char* verb : {"/p", "/pt"}) {
        fs::remove(pdf);
        asked.clear();
        CImageWindowCascade::Shared().Reset();
        auto app = std::make_unique<CSmApp>();
        EXPECT_FALSE(app->InitInstance({"Smra_En", verb, project, "No Such Printer", "driver", "port"})) << verb;
        EXPECT_TRUE(app->ShellPrinted()) << verb;
        EXPECT_EQ(app->Document()->GetPathName(), project) << verb;
        EXPECT_EQ(asked, std::vector<bool>{true}) << verb << ": printed without the print dialog";
        EXPECT_TRUE(fs::exists(pdf) && fs::file_size(pdf) > 0) << verb;
        app->Document()->SetModifiedFlag(false);
    }
    views::SetPrinterFactory(nullptr);
    // Opening a project prints nothing.
    auto app = std::make_unique<CSmApp>();
    platform::DefaultInput().Press(platform::Key::Return);
    EXPECT_TRUE(app->InitInstance({"Smra_En", project}));
    platform::DefaultInput().Reset();
    EXPECT_FALSE(app->ShellPrinted());
    app->Document()->SetModifiedFlag(false);
}

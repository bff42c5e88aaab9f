// A user's paths across the windows of the running program: photos dragged from the finder
// become pieces of the work view, a dragged project opens, and pictures open in image windows
// from the finder, the work view and Render and Save. The mouse goes through the main window as
// a pointer would (press, moves, release), so Qt's own routing and the capture rules take part.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <optional>

#include "document/sm_doc.h"
#include "picset/mcomp.h"
#include "platform/input_state.h"
#include "shell/aut_lay_view.h"
#include "shell/command_ids.h"
#include "shell/left_view.h"
#include "shell/main_frame.h"
#include "shell/present_image_dlg.h"
#include "shell/present_image_model.h"
#include "shell/sm_app.h"
#include "views/print_device.h"
#include "views/print_property_dlg.h"
#include "views/sm_view.h"
#include "views/thum_view.h"
#include "views/work_input.h"
#include "tests/shell/fitted_project.h"
#include "tests/shell/test_shell_support.h"

namespace fs = std::filesystem;

namespace {

// A colour fit manager that records the pictures it is asked to show.
class RecordingColorFit : public IToolDialog {
public:
    explicit RecordingColorFit(std::vector<std::string>* shown) : m_shown(shown) {}
    bool HasWindow() const override { return false; }
    void DestroyWindow() override {}
    int OpenForPicture(const std::string& name) override
    {
        m_shown->push_back(name);
        return 1;
    }

private:
    std::vector<std::string>* m_shown;
};

class WindowPathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(SMRA_TEST_TMPDIR) / (std::string("paths_") + t->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "photos");
        ASSERT_TRUE(shelltest::WritePicture(Photo("a.jpg"), 320, 240, RGB(30, 60, 90)));
        ASSERT_TRUE(shelltest::WritePicture(Photo("b.jpg"), 320, 240, RGB(90, 60, 30)));
        ASSERT_TRUE(shelltest::WritePicture(Photo("c.png"), 240, 320, RGB(60, 90, 30)));
        CImageWindowCascade::Shared().Reset();

        m_app = std::make_unique<CSmApp>();
        ASSERT_TRUE(shelltest::StartProgram(*m_app, {"Smra_En"}));
        // After the start, which installs the window layer's own services.
        m_services.emplace();
        m_doc = m_app->Document();
        m_frame = m_app->MainFrame();
        ASSERT_TRUE(shelltest::ShowMainFrame(m_frame));
        Finder()->SetHomeFolder((m_dir / "photos").string());
        Finder()->BuildDriveLevel();
        m_drive = Finder()->Root()->child(0);
        ASSERT_EQ(Finder()->ItemPath(m_drive), (m_dir / "photos").string());
        m_drive->setExpanded(true);
    }
    void TearDown() override
    {
        if (m_doc)
            m_doc->SetModifiedFlag(false);
        m_app.reset();
        m_services.reset();
    }

    std::string Photo(const std::string& name) const { return (m_dir / "photos" / name).string(); }
    CLeftView* Finder() const { return m_frame->LeftView(); }
    QWidget* WorkArea() const { return m_frame->WorkView()->viewport(); }
    // The finder's item of a file, whether or not its thumbnail is drawn yet.
    QTreeWidgetItem* Item(const std::string& name) const
    {
        QTreeWidgetItem* item = CLeftView::Child(m_drive, name + " ");
        return item ? item : CLeftView::Child(m_drive, name);
    }
    QPoint At(QTreeWidgetItem* item) const
    {
        // The shown part of the row: a long name makes the row wider than the finder.
        const QRect shown = Finder()->visualItemRect(item) & Finder()->viewport()->rect();
        return Finder()->viewport()->mapTo(m_frame, shown.center() + QPoint(8, 0));
    }
    QPoint InWork(QPoint local) const { return WorkArea()->mapTo(m_frame, local); }
    QWindow* Window() const { return m_frame->windowHandle(); }

    void Click(QTreeWidgetItem* item, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseClick(Window(), Qt::LeftButton, mods, At(item));
    }
    // Press on the item, leave the press box, cross to the point of the main window, release.
    void DragTo(QTreeWidgetItem* item, QPoint target)
    {
        const QPoint from = At(item);
        QTest::mousePress(Window(), Qt::LeftButton, {}, from);
        QTest::mouseMove(Window(), from + QPoint(10, 2));
        QTest::mouseMove(Window(), (from + target) / 2);
        QTest::mouseMove(Window(), target);
        QTest::mouseRelease(Window(), Qt::LeftButton, {}, target);
    }
    int EntryOf(const std::string& path) const { return m_doc->FindEntryIndex(path, 0); }
    int StateOf(const std::string& path) const
    {
        const int e = EntryOf(path);
        return e < 0 ? -1 : m_doc->m_entries[static_cast<size_t>(e)].m_State;
    }
    CPresentImageDlg* ImageWindow(const std::string& path) const
    {
        auto* holder = static_cast<CPresentImageHolder*>(m_doc->FindPictureWindow(path));
        return holder ? holder->Window() : nullptr;
    }
    // The middle of the work view's client points that lie over the piece of that entry.
    std::optional<QPoint> PointOnPiece(int entry)
    {
        workview::CWorkInput* input = m_frame->WorkView()->Input();
        const QSize size = WorkArea()->size();
        QRect hits;
        for (int y = 1; y < size.height(); y += 2)
            for (int x = 1; x < size.width(); x += 2) {
                const CPoint p(x, y);
                if (input->HitTestWorkPiece(p) == entry || input->HitTestStockPiece(p) == entry)
                    hits |= QRect(x, y, 1, 1);
            }
        if (hits.isEmpty())
            return std::nullopt;
        return hits.center();
    }

    std::optional<shelltest::ScriptedServices> m_services;
    fs::path m_dir;
    std::unique_ptr<CSmApp> m_app;
    CSmDoc* m_doc = nullptr;
    CMainFrame* m_frame = nullptr;
    QTreeWidgetItem* m_drive = nullptr;
};

} // namespace

TEST_F(WindowPathsTest, PhotosDraggedFromTheFinderBecomePiecesAndADraggedProjectOpens)
{
    const QPoint middle = InWork(WorkArea()->rect().center());
    ASSERT_EQ(m_doc->GetPieceCount(), 0);

    // One photo: a piece, marked bold in the finder.
    DragTo(Item("a.jpg"), middle);
    EXPECT_EQ(m_doc->GetPieceCount(), 1);
    EXPECT_GE(StateOf(Photo("a.jpg")), 6);
    EXPECT_TRUE(Item("a.jpg")->font(0).bold());
    EXPECT_TRUE(m_doc->m_droppedNames.empty());

    // Two more selected with Ctrl and dragged together: a piece each.
    Click(Item("b.jpg"));
    Click(Item("c.png"), Qt::ControlModifier);
    DragTo(Item("c.png"), middle + QPoint(-40, 30));
    EXPECT_EQ(m_doc->GetPieceCount(), 3);
    for (const char* name : {"a.jpg", "b.jpg", "c.png"}) {
        EXPECT_GE(StateOf(Photo(name)), 6) << name;
        EXPECT_TRUE(Item(name)->font(0).bold()) << name;
    }

    // Released over the finder itself: no new piece.
    Click(Item("a.jpg"));
    DragTo(Item("a.jpg"), At(Item("c.png")));
    EXPECT_EQ(m_doc->GetPieceCount(), 3);

    // The project saved, the program started afresh, and the project dragged in from the finder.
    const std::string project = (m_dir / "photos" / "walk.fit").string();
    ASSERT_TRUE(m_doc->DoSave(project));
    ASSERT_TRUE(m_doc->FileNew());
    ASSERT_EQ(m_doc->GetPieceCount(), 0);
    Finder()->Refill(m_drive);
    QTreeWidgetItem* fit = Item("walk.fit");
    ASSERT_NE(fit, nullptr);
    DragTo(fit, middle);
    EXPECT_EQ(m_doc->GetPathName(), project);
    EXPECT_EQ(m_doc->GetPieceCount(), 3);
    EXPECT_FALSE(m_doc->IsModified());
    ASSERT_FALSE(m_app->RecentFiles().empty());
    EXPECT_EQ(m_app->RecentFiles().front(), project);
    EXPECT_TRUE(m_services->box.Shown().empty());
}

TEST_F(WindowPathsTest, PicturesOpenInImageWindowsFromTheFinderTheWorkViewAndRenderAndSave)
{
    // The finder: a double-click on a photo.
    QTest::mouseDClick(Window(), Qt::LeftButton, {}, At(Item("b.jpg")));
    CPresentImageDlg* fromFinder = ImageWindow(Photo("b.jpg"));
    ASSERT_NE(fromFinder, nullptr);
    EXPECT_TRUE(fromFinder->isVisible());
    EXPECT_EQ(fromFinder->windowTitle().toStdString(), Photo("b.jpg") + "  (320 x 240) 100%");

    // The work view: a double-click on a piece.
    DragTo(Item("c.png"), InWork(WorkArea()->rect().center()));
    ASSERT_EQ(m_doc->GetPieceCount(), 1);
    const int entry = EntryOf(Photo("c.png"));
    const std::optional<QPoint> onPiece = PointOnPiece(entry);
    ASSERT_TRUE(onPiece.has_value());
    QTest::mouseDClick(Window(), Qt::LeftButton, {}, InWork(*onPiece));
    CPresentImageDlg* fromWork = ImageWindow(Photo("c.png"));
    ASSERT_NE(fromWork, nullptr);
    EXPECT_TRUE(fromWork->isVisible());
    EXPECT_EQ(fromWork->m_pictureSize, CSize(240, 320));
    EXPECT_EQ(m_doc->m_pictureWindows.size(), 2u);

    // Render and Save: the written picture opens by itself.
    const std::string project = shelltest::MakeFittedProject(m_dir);
    m_doc->SetModifiedFlag(false);
    ASSERT_TRUE(m_app->OpenDocumentFile(project));
    m_doc->FitRenderAreaToPictures(CRect(-20000, -20000, 20000, 20000));
    m_doc->m_areaShown = 1;
    const std::string output = (m_dir / "out.jpg").string();
    m_services->dialog.QueuePath(output);
    EXPECT_TRUE(m_frame->RouteCommand(32804));
    ASSERT_TRUE(fs::exists(output)) << m_doc->m_statusMessage;
    CPresentImageDlg* fromSave = ImageWindow(output);
    ASSERT_NE(fromSave, nullptr);
    EXPECT_TRUE(fromSave->isVisible());
    const CRect stored = GetImageFileRect(output);
    ASSERT_FALSE(stored.IsRectEmpty());
    EXPECT_EQ(fromSave->m_pictureSize, stored.Size());
    EXPECT_EQ(fromSave->m_buildCount, 1);
}

TEST_F(WindowPathsTest, EveryButtonOfAnImageWindowWorks)
{
    std::vector<std::string> colourFit;
    if (!m_doc->m_pColorFitDlg)
        m_doc->CreateToolDialogs({}, [&colourFit] { return std::make_unique<RecordingColorFit>(&colourFit); });
    const std::string big = Photo("big.png");
    ASSERT_TRUE(shelltest::WritePicture(big, 1600, 1200, RGB(20, 120, 200)));
    ASSERT_EQ(m_doc->OpenPictureWindow(m_frame, big, 0, 0, -1), 1);
    CPresentImageDlg* w = ImageWindow(big);
    ASSERT_NE(w, nullptr);
    const auto press = [w](const char* caption) {
        QPushButton* b = w->findChild<QPushButton*>(QString::fromUtf8(caption));
        ASSERT_NE(b, nullptr) << caption;
        ASSERT_TRUE(b->isVisible()) << caption;
        QTest::mouseClick(b, Qt::LeftButton);
    };
    struct Step {
        const char* button;
        int reduce;
        int grid;
        const char* percent;
    };
    const Step steps[] = {
        {"Zoom Out", 2, 0, "50%"}, {"Zoom Out", 4, 0, "25%"}, {"Grid", 4, 1, "25%"},
        {"Zoom In", 2, 1, "50%"},  {"Grid", 2, 0, "50%"},     {"Zoom In", 1, 0, "100%"},
    };
    for (const Step& s : steps) {
        press(s.button);
        EXPECT_EQ(w->m_reduce, s.reduce) << s.button;
        EXPECT_EQ(w->m_showGrid, s.grid) << s.button;
        const std::string title = w->windowTitle().toStdString();
        EXPECT_EQ(title.substr(title.size() - std::string(s.percent).size()), s.percent) << title;
    }
    EXPECT_EQ(w->m_buildCount, 1);

    press("Color");
    if (!colourFit.empty())
        EXPECT_EQ(colourFit, std::vector<std::string>{big});
    else
        EXPECT_GT(m_doc->m_pColorFitDlg->GetState(), 0);

    // Print hands the picture to the print command of the information pane; the printer is
    // never reached here.
    int printJobs = 0;
    views::SetPrinterFactory([&printJobs]() -> std::unique_ptr<views::IPrinter> {
        ++printJobs;
        return nullptr;
    });
    press("Print");
    views::SetPrinterFactory({});
    EXPECT_EQ(m_doc->m_pPrintBitmap, w->Bitmap());
    EXPECT_EQ(printJobs, 1);

    press("Close");
    QApplication::processEvents();
    EXPECT_EQ(m_doc->FindPictureWindow(big), nullptr);
    EXPECT_TRUE(m_doc->m_pictureWindows.empty());
}

TEST_F(WindowPathsTest, ExitWithImageWindowsOpenEndsTheProgramAndLeavesNoWindow)
{
    // One image window shown, one that printed (hidden by its Close afterwards would leave it
    // listed for a moment): File > Exit, and also the main window's own close, end the run.
    for (const bool byMenu : {true, false}) {
        ASSERT_EQ(m_doc->OpenPictureWindow(m_frame, Photo("a.jpg"), 0, 0, -1), 1);
        ASSERT_EQ(m_doc->OpenPictureWindow(m_frame, Photo("c.png"), 0, 0, -1), 1);
        ImageWindow(Photo("c.png"))->hide();
        m_frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame));
        QTimer::singleShot(50, m_frame, [this, byMenu] {
            if (byMenu)
                m_frame->RouteCommand(ID_APP_EXIT);
            else
                m_frame->close();
        });
        // A run that does not end by itself is ended here with another code.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        watchdog.start(10000);
        EXPECT_EQ(QApplication::exec(), 0) << (byMenu ? "File > Exit" : "closing the main window");
        EXPECT_TRUE(m_doc->m_pictureWindows.empty());
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(w->isVisible()) << w->metaObject()->className() << " " << w->windowTitle().toStdString();
    }
}

TEST_F(WindowPathsTest, PrintCurrentPicturePrintsTheRenderedPanoramaAskingForThePrinterOnce)
{
    const std::string project = shelltest::MakeFittedProject(m_dir);
    m_doc->SetModifiedFlag(false);
    ASSERT_TRUE(m_app->OpenDocumentFile(project));
    m_doc->FitRenderAreaToPictures(CRect(-20000, -20000, 20000, 20000));
    m_doc->m_areaShown = 1;
    const std::string output = (m_dir / "pano.jpg").string();
    m_services->dialog.QueuePath(output);
    ASSERT_TRUE(m_frame->RouteCommand(32804));
    ASSERT_NE(ImageWindow(output), nullptr) << m_doc->m_statusMessage;

    // The printer writes PDF; the print dialog is counted, and the property dialog shows the
    // print's size in a unit.
    const std::string pdf = (m_dir / "pano.pdf").string();
    int directChoices = 0, dialogs = 0;
    views::SetPrinterFactory([&] {
        return std::make_unique<views::CQtPrinter>([&](QPrinter& p, bool direct) {
            ++(direct ? directChoices : dialogs);
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(QString::fromStdString(pdf));
            return true;
        });
    });
    std::string widthShown;
    int propertyRuns = 0;
    SetPrintDialogRunner([&](CPrintPropertyDlg& dlg) {
        ++propertyRuns;
        dlg.PrepareShow();
        widthShown = dlg.GetDlgItemText(1082);
        return 1;
    });
    const std::string title = m_frame->GetWindowText();
    EXPECT_TRUE(m_frame->RouteCommand(32837));
    EXPECT_EQ(m_frame->GetWindowText(), title) << "the title is whole again after the print";
    SetPrintDialogRunner(nullptr);
    views::SetPrinterFactory({});
    EXPECT_TRUE(m_services->box.Shown().empty()) << m_services->box.Shown().front();
    EXPECT_EQ(propertyRuns, 1);
    EXPECT_EQ(dialogs, 1);
    EXPECT_NE(widthShown, "----");
    EXPECT_FALSE(widthShown.empty());
    EXPECT_TRUE(fs::exists(pdf));
}

TEST_F(WindowPathsTest, AReopenedFittedProjectRendersWithOneCommand)
{
    const std::string project = shelltest::MakeFittedProject(m_dir);
    m_doc->SetModifiedFlag(false);
    ASSERT_TRUE(m_app->OpenDocumentFile(project));
    ASSERT_GT(m_doc->m_pComp->GetFittedCount(), 0);
    m_frame->UpdateCommandStates();
    ASSERT_NE(m_frame->MenuAction(32804), nullptr);
    EXPECT_TRUE(m_frame->MenuAction(32804)->isEnabled());
    EXPECT_EQ(m_doc->m_renderArea, m_doc->m_pComp->GetBoundingRect());
    // The manager's size list shows the sizes of that area, the one in force chosen.
    QComboBox* sizes = m_frame->ManagerView()->Combo(CAutLayView::IDC_OUTPUT_SIZE);
    ASSERT_NE(sizes, nullptr);
    const CSize medium = m_doc->CalcOutputSize(m_doc->m_sizeMode, 1);
    EXPECT_EQ(sizes->currentText().toStdString(),
              " Medium " + std::to_string(medium.cx) + " * " + std::to_string(medium.cy) + " pixels");
    const std::string output = (m_dir / "again.jpg").string();
    m_services->dialog.QueuePath(output);
    EXPECT_TRUE(m_frame->RouteCommand(32804));
    EXPECT_EQ(GetImageFileRect(output), CRect(0, 0, m_doc->m_outputSize.cx, m_doc->m_outputSize.cy))
        << m_doc->m_statusMessage;
}

TEST_F(WindowPathsTest, TheViewerLetsThePreviousPhotoGoWhenAnUnreadableOneIsChosen)
{
    // A file that looks like a JPEG but is not one.
    std::ofstream(Photo("broken.jpg"), std::ios::binary) << "not a picture at all";
    Finder()->Refill(m_drive);
    CThumView* viewer = m_frame->ThumView();
    Click(Item("a.jpg"));
    viewer->UpdateWindow();
    ASSERT_EQ(viewer->m_nShown, EntryOf(Photo("a.jpg")));
    auto photoPixels = [&] {
        int n = 0;
        const QImage& img = viewer->Surface();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += std::abs(qRed(img.pixel(x, y)) - 30) < 10 && std::abs(qGreen(img.pixel(x, y)) - 60) < 10 &&
                     std::abs(qBlue(img.pixel(x, y)) - 90) < 10;
        return n;
    };
    ASSERT_GT(photoPixels(), 1000);

    Click(Item("broken.jpg"));
    viewer->UpdateWindow();
    EXPECT_EQ(viewer->m_nShown, -1);
    EXPECT_EQ(photoPixels(), 0) << "the viewer still shows a.jpg";

    Click(Item("a.jpg"));
    viewer->UpdateWindow();
    EXPECT_GT(photoPixels(), 1000);
}

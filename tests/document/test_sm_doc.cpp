// The project document's life cycle: a new project, the idle step, the break click test,
// projections, storing and loading projects (and failing to), and the save-changes question.
#include <gtest/gtest.h>

#include <functional>

#include "common/message_catalogue.h"
#include "geometry/lens_table.h"
#include "doc_test_support.h"
#include "platform/settings_store.h"

namespace doctest {
namespace {

using SmDocTest = DocTest;

TEST_F(SmDocTest, NewProjectHasOneCentreFrameDefaultOutputAndEndsWithResetHint)
{
    doc->m_undoKind = 14;
    doc->m_undoNames = {"a.jpg"};
    doc->m_outputSize = CSize(10, 10);
    ASSERT_TRUE(doc->FileNew());
    EXPECT_EQ(work.log.Codes().back(), HINT_RESET);
    EXPECT_EQ(doc->m_outputSize, CSize(640, 640));
    EXPECT_EQ(doc->m_cellRects[CSmDoc::kCenterCell], CRect(-120, -120, 120, 120));
    int frames = 0;
    for (const CRect& r : doc->m_cellRects)
        frames += !r.IsRectEmpty();
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(doc->m_renderRequestName, "Base Position. \n\nDrop here  \nBase Picture...");
    EXPECT_EQ(doc->m_undoKind, 0) << "the undo record belongs to the old project";
    EXPECT_TRUE(doc->m_undoNames.empty());
    EXPECT_EQ(doc->m_entries.size(), 500u);
    EXPECT_EQ(frame.text, "SmraPlan [ no picture  -  Linear 100% ]");
}

TEST_F(SmDocTest, NewProjectReadsThePrioritiesAgain)
{
    doc->m_fitPriority = 2;
    doc->SaveQualityMode();
    doc->m_renderPriority = 2;
    doc->SaveRenderMode();
    ASSERT_TRUE(doc->FileNew());
    EXPECT_EQ(doc->m_fitPriority, 2);
    EXPECT_EQ(doc->m_renderPriority, 2);
    platform::Settings().WriteProfileInt("OUTPUT", "QUALITY_MODE", 1);
    platform::Settings().WriteProfileInt("OUTPUT", "RENDER_MODE", 1);
}

// Runs idle checks at the given local seconds; the checks until the engine was first asked.
int ChecksUntilEngineStep(CSmDoc& doc, FakeFacade& facade, const std::vector<int>& seconds)
{
    platform::FakeClock clock;
    platform::SetClock(&clock);
    int checks = 0;
    for (int s : seconds) {
        platform::LocalTime t;
        t.second = s;
        clock.SetTime(t);
        doc.OnIdleStep();
        ++checks;
        if (!facade.idleLevels.empty())
            break;
    }
    platform::SetClock(nullptr);
    return facade.idleLevels.empty() ? 0 : checks;
}

TEST_F(SmDocTest, IdleStepWaitsForThreeConsecutiveQuietSeconds)
{
    EXPECT_EQ(ChecksUntilEngineStep(*doc, *facade, {10, 11, 12, 13, 13}), 5);
    EXPECT_EQ(facade->idleLevels, std::vector<int>{2});

    IdleSecondCount = 0;
    facade->idleLevels.clear();
    EXPECT_EQ(ChecksUntilEngineStep(*doc, *facade, {58, 59, 0, 1}), 0) << "59 then 0 does not count";
    EXPECT_EQ(IdleSecondCount, 2);
    EXPECT_EQ(JpegAbortEnabled, 0) << "the abort flag holds only during the step";
}

TEST_F(SmDocTest, IdleStepWantsMoreTimeForOneHundredCallsAfterWork)
{
    for (int& f : doc->m_refreshFlags)
        f = 0;
    IdleSecondCount = 3;
    facade->idleAnswers = {3};
    EXPECT_TRUE(doc->OnIdleStep());
    EXPECT_EQ(work.log.Codes().back(), HINT_STATUS) << "ready pictures changed";
    int more = 1;
    while (doc->OnIdleStep() && more < 1000)
        ++more;
    EXPECT_EQ(more, 101);
    EXPECT_EQ(work.log.Codes().back(), HINT_IDLE);
    EXPECT_FALSE(doc->OnIdleStep());

    doc->m_refreshFlags[1] = 1;
    EXPECT_TRUE(doc->OnIdleStep()) << "a view with idle drawing to do asks again";
}

TEST_F(SmDocTest, IdleStepHandsOnThePendingStatusText)
{
    PendingStatusText = "x";
    doc->OnIdleStep();
    EXPECT_EQ(doc->m_statusMessage, "") << "one character is not passed on";
    PendingStatusText = "Fit ended.";
    doc->OnIdleStep();
    EXPECT_EQ(doc->m_statusMessage, "Fit ended.");
    EXPECT_EQ(PendingStatusText, "");
}

TEST_F(SmDocTest, BreakClickTellsLinkTimerMarkInformationViewAndElsewhereApart)
{
    int guides = 0;
    SetGuideOpener([&](const std::string& stem) {
        EXPECT_EQ(stem, "Prdcts");
        ++guides;
        return 1;
    });
    doc->m_jobText = "Fitting all pictures.. .    Click the timer image to break.";
    doc->m_jobGuide = "Prdcts";
    doc->m_jobLinkRect = CRect(10, 10, 100, 30);
    doc->m_jobBreakRect = CRect(200, 10, 240, 50);
    const struct {
        CPoint cursor;
        int answer;
    } cases[] = {{{20, 20}, 2}, {{210, 20}, -5}, {{50, 550}, -5}, {{400, 400}, 0}};
    for (const auto& c : cases) {
        platform::DefaultInput().SetCursorPos(c.cursor);
        EXPECT_EQ(doc->TestBreakClick(), c.answer) << c.cursor.x << "," << c.cursor.y;
        EXPECT_EQ(doc->m_jobPress, 0);
    }
    EXPECT_EQ(guides, 1);
    EXPECT_EQ(work.repaints, 2) << "the pressed link and mark are drawn";

    doc->m_jobText.clear();
    platform::DefaultInput().SetCursorPos(CPoint(210, 20));
    EXPECT_EQ(doc->TestBreakClick(), 0) << "no job, no timer mark";
}

TEST_F(SmDocTest, WorkViewNotificationsAndTheirAbsence)
{
    work.loadSteps = 3;
    doc->NotifyWorkView(5, "/p/a.jpg");
    EXPECT_EQ(work.calls, (std::vector<std::string>{"clear", "queue /p/a.jpg"}));
    EXPECT_EQ(work.loadSteps, -1) << "the load queue is worked off";
    EXPECT_EQ(work.updates, 1);

    doc->RemoveView(&work);
    doc->RemoveView(&thumb);
    doc->NotifyWorkView(6, "x");
    doc->RepaintWorkView();
    platform::DefaultInput().SetCursorPos(CPoint(50, 550));
    EXPECT_EQ(doc->TestBreakClick(), 0);
    EXPECT_EQ(work.repaints, 0);
}

TEST_F(SmDocTest, ProjectionFamiliesDefaultsAndNames)
{
    const struct {
        int code;
        int family;
    } families[] = {{12, 0}, {13, 1}, {19, 0}, {22, 2}, {29, 2}, {31, 3}, {39, 3}, {40, 0}, {9, 0}};
    for (const auto& f : families)
        EXPECT_EQ(doc->GetProjectionFamily(f.code), f.family) << f.code;
    EXPECT_EQ(doc->GetDefaultProjection(2), 22);
    EXPECT_EQ(doc->GetDefaultProjection(3), 32);
    EXPECT_EQ(doc->GetDefaultProjection(7), 12);

    work.log.Clear();
    doc->ApplyProjection(12, 0);
    EXPECT_TRUE(work.log.hints.empty()) << "the current projection again sends nothing";
    doc->ApplyProjection(23, 0);
    ASSERT_GE(work.log.hints.size(), 2u);
    EXPECT_EQ(work.log.hints[0].code, HINT_PROJECTION);
    EXPECT_EQ(work.log.hints[0].value, 2);
    EXPECT_EQ(work.log.Count(HINT_LAYOUT), 1);
    EXPECT_EQ(frame.text, "SmraPlan [ no picture  -  Equirectangular Panorama 100% ]");
}

TEST_F(SmDocTest, PicturelessProjectRoundTripsAndLoadsWithoutPiecesHint)
{
    const std::string path = TempDir() + "/empty.fit";
    dialog.QueuePath(path);
    ASSERT_TRUE(doc->FileSaveAs());
    EXPECT_EQ(doc->m_archivePath, path);
    work.log.Clear();
    ASSERT_TRUE(doc->OpenDocumentFile(path));
    ASSERT_FALSE(work.log.hints.empty());
    EXPECT_EQ(work.log.hints.back().code, HINT_PROJECTION) << "the loaded projection's family comes last";
    EXPECT_EQ(work.log.hints.back().value, 0);
    EXPECT_EQ(work.log.Count(HINT_PIECES), 0);
    EXPECT_TRUE(doc->m_pieceList.empty());
    EXPECT_EQ(doc->GetTitle(), "empty.fit");
}

TEST_F(SmDocTest, ProjectWithPicturesSavesAndReopensToTheSameState)
{
    const std::string dir = TempDir();
    const std::string a = WritePicture(dir + "/a.bmp", 200, 150);
    const std::string b = WritePicture(dir + "/b.png", 160, 120);
    ASSERT_EQ(Import({a, b}), 1);
    ASSERT_EQ(doc->GetPieceCount(), 2);
    Entry(doc->GetPieceEntry(1)).m_QuarterTurns = 1;
    ASSERT_TRUE(doc->DoSave(dir + "/two.fit"));
    ASSERT_TRUE(doc->DoSave(dir + "/again.fit"));
    EXPECT_EQ(ReadBytes(dir + "/two.fit"), ReadBytes(dir + "/again.fit"));

    ASSERT_TRUE(doc->FileNew());
    ASSERT_EQ(doc->GetPieceCount(), 0);
    work.log.Clear();
    ASSERT_TRUE(doc->OpenDocumentFile(dir + "/two.fit"));
    EXPECT_EQ(work.log.Count(HINT_PIECES), 1);
    ASSERT_EQ(doc->GetPieceCount(), 2);
    EXPECT_EQ(Entry(doc->GetPieceEntry(0)).m_Name, a);
    EXPECT_EQ(Entry(doc->GetPieceEntry(1)).m_Name, b);
    EXPECT_EQ(Entry(doc->GetPieceEntry(1)).m_QuarterTurns, 1);
    EXPECT_EQ(Entry(doc->GetPieceEntry(0)).m_PieceSlot, CPoint()) << "a never-laid piece comes back without a cell";
    EXPECT_FALSE(doc->IsModified());
    ASSERT_TRUE(doc->DoSave(dir + "/third.fit"));
    EXPECT_EQ(ReadBytes(dir + "/two.fit"), ReadBytes(dir + "/third.fit"));
}

TEST_F(SmDocTest, AProjectThatLostAPhotoOnOpenStartsModified)
{
    const std::string dir = TempDir();
    const std::string a = WritePicture(dir + "/a.bmp", 200, 150);
    const std::string b = WritePicture(dir + "/b.png", 160, 120);
    ASSERT_EQ(Import({a, b}), 1);
    ASSERT_TRUE(doc->DoSave(dir + "/two.fit"));
    ASSERT_TRUE(doc->OpenDocumentFile(dir + "/two.fit"));
    EXPECT_FALSE(doc->IsModified()) << "every photo where it was";

    std::filesystem::remove(b);
    box.Clear();
    box.QueueAnswer(platform::IDNO); // do not look for the missing photo
    ASSERT_TRUE(doc->OpenDocumentFile(dir + "/two.fit"));
    EXPECT_EQ(doc->GetPictureCount(), 1);
    EXPECT_TRUE(doc->IsModified()) << "the project no longer matches its file";
}

TEST_F(SmDocTest, SaveAsksBeforeItWritesFewerPicturesOverTheFileTheyWereReadFrom)
{
    const std::string dir = TempDir();
    const std::string a = WritePicture(dir + "/a.bmp", 200, 150);
    const std::string b = WritePicture(dir + "/b.png", 160, 120);
    ASSERT_EQ(Import({a, b}), 1);
    const std::string project = dir + "/two.fit";
    ASSERT_TRUE(doc->DoSave(project));
    const std::vector<uint8_t> two = ReadBytes(project);
    ASSERT_TRUE(doc->OpenDocumentFile(project));

    // Every picture gone, as a lost work space would leave the project.
    doc->ReturnAllPiecesToStock();
    ASSERT_EQ(doc->GetPictureCount(), 0);
    doc->SetModifiedFlag();

    box.Clear();
    box.QueueAnswer(platform::IDNO);
    EXPECT_FALSE(doc->FileSave()) << "No keeps the file";
    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_NE(box.Shown()[0].find(project), std::string::npos) << box.Shown()[0];
    EXPECT_NE(box.Shown()[0].find("2 picture(s); only 0"), std::string::npos) << box.Shown()[0];
    EXPECT_EQ(box.Types()[0] & 0xF, unsigned(platform::MB_YESNO));
    EXPECT_EQ(ReadBytes(project), two);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->GetPathName(), project);

    // Another file is no copy of this one: written without a question.
    box.Clear();
    ASSERT_TRUE(doc->DoSave(dir + "/empty.fit"));
    EXPECT_TRUE(box.Shown().empty());
    EXPECT_EQ(ReadBytes(project), two);

    // Yes replaces the file, and the next save has nothing to ask.
    ASSERT_TRUE(doc->OpenDocumentFile(project));
    doc->ReturnAllPiecesToStock();
    box.Clear();
    box.QueueAnswer(platform::IDYES);
    EXPECT_TRUE(doc->DoSave(project));
    EXPECT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(ReadBytes(project), ReadBytes(dir + "/empty.fit"));
    box.Clear();
    EXPECT_TRUE(doc->DoSave(project));
    EXPECT_TRUE(box.Shown().empty());
}

TEST_F(SmDocTest, FailedOpenLeavesTheOpenProjectAsItWas)
{
    const std::string dir = TempDir();
    const std::string a = WritePicture(dir + "/a.bmp", 200, 150);
    ASSERT_EQ(Import({a}), 1);
    doc->SetModifiedFlag(false);
    FakeFacade* before = facade;
    WriteBytes(dir + "/broken.fit", {1, 2, 3, 4, 5});
    GetLensTable().SetReference(1000.0, 1500.0); // the open project's lens
    GetLensTable().Build(0.07, 900.0);
    const CDPoint seen = GetLensTable().Distort(CDPoint(300.0, 200.0), 1.0);
    box.Clear();
    EXPECT_FALSE(doc->OpenDocumentFile(dir + "/broken.fit"));
    EXPECT_EQ(doc->m_pComp.get(), before);
    const CDPoint after = GetLensTable().Distort(CDPoint(300.0, 200.0), 1.0);
    EXPECT_EQ(after.x, seen.x) << "the lens table of the open project is back";
    EXPECT_EQ(after.y, seen.y);
    EXPECT_EQ(doc->GetPictureCount(), 1);
    EXPECT_EQ(doc->GetPieceCount(), 1);
    ASSERT_EQ(box.Shown().size(), 1u) << "the user is told why";
    EXPECT_NE(box.Shown()[0].find("broken.fit"), std::string::npos);
    EXPECT_FALSE(doc->OpenDocumentFile(dir + "/missing.fit"));
    EXPECT_EQ(doc->GetPieceCount(), 1);
}

TEST_F(SmDocTest, TheOldProjectsStatusMessageGoesWithItExceptWhenTheOpenFails)
{
    const std::string dir = TempDir();
    const std::string missed = "We missed some picture's position.";
    ASSERT_TRUE(doc->DoSave(dir + "/empty.fit"));
    WriteBytes(dir + "/broken.fit", {1, 2, 3, 4, 5});
    struct Case {
        const char* what;
        std::function<bool()> run;
        bool messageStays;
    };
    const Case cases[] = {
        {"File > New", [&] { return doc->FileNew(); }, false},
        {"a project opened", [&] { return doc->OpenDocumentFile(dir + "/empty.fit"); }, false},
        {"a file that cannot be opened", [&] { return !doc->OpenDocumentFile(dir + "/broken.fit"); }, true},
    };
    for (const Case& c : cases) {
        doc->SetModifiedFlag(false);
        doc->SetStatusMessage(missed);
        box.Clear();
        ASSERT_TRUE(c.run()) << c.what;
        EXPECT_EQ(doc->m_statusMessage, c.messageStays ? missed : "") << c.what;
    }
}

TEST_F(SmDocTest, FailedSaveKeepsTheOldFileAndTheModifiedFlag)
{
    const std::string dir = TempDir();
    ASSERT_TRUE(doc->DoSave(dir + "/p.fit"));
    const std::vector<uint8_t> old = ReadBytes(dir + "/p.fit");
    ASSERT_EQ(Import({WritePicture(dir + "/a.bmp", 200, 150)}), 1);
    ASSERT_TRUE(doc->IsModified());
    box.Clear();
    EXPECT_FALSE(doc->DoSave(dir + "/p.txt")) << "another extension is refused";
    EXPECT_FALSE(doc->DoSave(dir + "/no/such/folder/p.fit"));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->GetPathName(), dir + "/p.fit");
    EXPECT_EQ(ReadBytes(dir + "/p.fit"), old);
    EXPECT_FALSE(std::filesystem::exists(dir + "/p.txt"));
    EXPECT_GE(box.Shown().size(), 1u);
}

TEST_F(SmDocTest, NewAndOpenAskAboutUnsavedChanges)
{
    const std::string dir = TempDir();
    ASSERT_EQ(Import({WritePicture(dir + "/a.bmp", 200, 150)}), 1);
    box.Clear();
    box.QueueAnswer(platform::IDCANCEL);
    EXPECT_FALSE(doc->OnCommand(ID_FILE_NEW) && doc->GetPieceCount() == 0);
    EXPECT_EQ(doc->GetPieceCount(), 1) << "Cancel keeps the project";
    EXPECT_EQ(box.Shown().size(), 1u);

    box.QueueAnswer(platform::IDCANCEL);
    dialog.QueuePath(dir + "/other.fit");
    doc->OnCommand(ID_FILE_OPEN);
    EXPECT_EQ(doc->GetPieceCount(), 1);
    EXPECT_EQ(box.Shown().size(), 2u);

    box.QueueAnswer(platform::IDNO);
    EXPECT_TRUE(doc->FileNew());
    EXPECT_EQ(doc->GetPieceCount(), 0);
}

TEST_F(SmDocTest, SaveAsIsEnabledOnlyWithPictures)
{
    EXPECT_FALSE(doc->GetCommandState(ID_FILE_SAVE_AS)->enabled);
    ASSERT_EQ(Import({WritePicture(TempDir() + "/a.bmp", 200, 150)}), 1);
    EXPECT_TRUE(doc->GetCommandState(ID_FILE_SAVE_AS)->enabled);
}

} // namespace
} // namespace doctest

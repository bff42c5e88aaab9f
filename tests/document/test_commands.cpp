// The document's commands: the table and its update rules, Fit and its hints, the one level of
// undo, the Option box against a scripted dialog, and the aux-line button.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "doc_test_support.h"
#include "document/commands_table.h"
#include "document/render_save.h"

namespace doctest {
namespace {

// Keeps the fit states for undo and the break mode the refinement ran under.
class RecordingFacade : public FakeFacade {
public:
    int OptimizeFit() override
    {
        optimizeBreakModes.push_back(GetBreakMode());
        return FakeFacade::OptimizeFit();
    }
    int SaveUndoSnapshot() override
    {
        saved.clear();
        for (int i = 0; i < GetPictureCount(); ++i)
            saved.push_back(GetPictureAt(i)->m_Status);
        return FakeFacade::SaveUndoSnapshot();
    }
    int RestoreUndoSnapshot() override
    {
        for (size_t i = 0; i < saved.size() && static_cast<int>(i) < GetPictureCount(); ++i)
            GetPictureAt(static_cast<int>(i))->m_Status = saved[i];
        return 1;
    }
    std::vector<int> optimizeBreakModes;
    std::vector<int> saved;
};

class ScriptedOptionBox : public IOptionBox {
public:
    void SetOutputSize(CSize size) override { shownSize = size; }
    void SetAspect(double a) override { aspect = a; }
    void SetReferenceWidth(int width) override { referenceWidth = width; }
    void SetFamily(int f) override { family = f; }
    void SetAreaMode(int mode) override { areaMode = mode; }
    int Run() override
    {
        ++runs;
        if (onRun)
            onRun();
        if (answers.empty())
            return 2;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    int GetFamily() const override { return family; }
    int GetWidth() const override { return typedWidth ? typedWidth : shownSize.cx; }
    int GetAreaMode() const override { return areaMode; }
    bool RenderNow() const override { return renderNow; }

    std::deque<int> answers;
    CSize shownSize;
    double aspect = 0.0;
    int referenceWidth = 0;
    int family = -1;
    int areaMode = -1;
    int typedWidth = 0;
    bool renderNow = false;
    int runs = 0;
    std::function<void()> onRun;
};

class CommandsTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        SetFacadeFactory([this] {
            auto f = std::make_unique<RecordingFacade>();
            rec = f.get();
            facade = f.get();
            return f;
        });
        ASSERT_TRUE(doc->FileNew());
        SetOptionBox(&options);
        work.log.Clear();
        thumb.log.Clear();
    }
    void TearDown() override
    {
        SetOptionBox(nullptr);
        DocTest::TearDown();
    }

    // Pieces entered from generated pictures; the first `fitted` are fitted, the first `laid`
    // lie in cells of the work space.
    std::vector<std::string> Pieces(int count, int fitted, int laid)
    {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i)
            paths.push_back(WritePicture(TempDir() + "/p" + std::to_string(i) + ".bmp", 200, 150));
        EXPECT_EQ(Import(paths), 1);
        EXPECT_EQ(doc->GetPieceCount(), count) << doc->m_statusMessage;
        for (int i = 0; i < count; ++i)
            EXPECT_NE(doc->EnterPieceInComp(doc->GetPieceEntry(i)), nullptr);
        for (int i = 0; i < fitted; ++i)
            Picture(paths[static_cast<size_t>(i)])->m_Status = 3;
        doc->SyncPieceStates();
        for (int i = 0; i < laid; ++i)
            Entry(doc->GetPieceEntry(i)).m_PieceSlot = CPoint(i + 1, 1);
        work.log.Clear();
        return paths;
    }

    // The hints of the fit that matter, the timer's with its state.
    std::vector<std::string> FitHints() const
    {
        std::vector<std::string> out;
        for (const Hint& h : work.log.hints) {
            if (h.code == HINT_TIMER)
                out.push_back("337/" + std::to_string(h.value));
            else if (h.code == HINT_RENDER_SETUP || h.code == HINT_PIECES || h.code == HINT_FIT_DONE)
                out.push_back(std::to_string(h.code));
        }
        return out;
    }

    CommandState State(int id) const { return doc->GetCommandState(id).value_or(CommandState{true, false}); }

    RecordingFacade* rec = nullptr;
    ScriptedOptionBox options;
};

TEST_F(CommandsTest, EveryCommandOfTheTableIsHandledWithItsRules)
{
    std::set<int> ids;
    for (const DocCommand& c : DocumentCommands()) {
        EXPECT_TRUE(ids.insert(c.id).second) << "twice: " << c.id;
        EXPECT_TRUE(doc->HasCommand(c.id)) << c.id;
        EXPECT_NE(c.handler, nullptr) << c.id;
        EXPECT_EQ(FindDocumentCommand(c.id), &c);
        if (!c.enabled && !c.checked) {
            const CommandState s = State(c.id);
            EXPECT_TRUE(s.enabled && !s.checked) << c.id;
        }
    }
    EXPECT_EQ(ids.size(), 53u);
    EXPECT_EQ(FindDocumentCommand(12345), nullptr);

    struct Case {
        const char* what;
        std::function<void()> set;
        int id;
        bool enabled;
        bool checked;
    };
    const Case cases[] = {
        {"zoom in at 1", [&] { doc->m_zoomDivisor = 1; }, 32795, false, false},
        {"zoom out at 8", [&] { doc->m_zoomDivisor = 8; }, 32796, true, false},
        {"zoom out at 32", [&] { doc->m_zoomDivisor = 32; }, 32796, true, false},
        {"zoom out at 33", [&] { doc->m_zoomDivisor = 33; }, 32796, false, false},
        {"50 % at 2", [&] { doc->m_zoomDivisor = 2; }, 32799, true, true},
        {"dual with 0 pieces", [] {}, 32839, true, false},
        {"triple with 0 pieces", [] {}, 32840, true, false},
        {"normal quality at 5", [&] { doc->m_jpegQuality = 5; }, 32850, true, true},
        {"best quality at 5", [&] { doc->m_jpegQuality = 5; }, 32849, true, false},
        {"middle pieces at 46", [&] { doc->m_pieceSizePercent = 46; }, 32789, false, true},
        {"render without an area", [&] { doc->m_areaShown = 0; }, 32804, false, false},
        {"nothing to undo", [&] { doc->m_undoKind = 0; }, 32857, false, false},
        {"save as without pictures", [] {}, ID_FILE_SAVE_AS, false, false},
        {"cylinder default", [&] { doc->m_panoramaDefault = 21; }, 32835, true, true},
    };
    for (const Case& c : cases) {
        c.set();
        const CommandState s = State(c.id);
        EXPECT_EQ(s.enabled, c.enabled) << c.what;
        EXPECT_EQ(s.checked, c.checked) << c.what;
    }
    Pieces(2, 0, 0);
    EXPECT_TRUE(State(32839).enabled);
    EXPECT_FALSE(State(32840).enabled) << "two pieces are not a multiple of three";
}

TEST_F(CommandsTest, FitSendsItsHintsForEachKindOfWaitingPieces)
{
    doc->OnProcessFit();
    EXPECT_TRUE(work.log.hints.empty()) << "nothing to fit";
    EXPECT_EQ(doc->m_undoKind, 0);

    const std::vector<std::string> fitting = {"337/6", "281", "41", "97", "337/3"};
    Pieces(3, 0, 0);  // n = -1: pieces, none laid
    doc->OnProcessFit();
    EXPECT_EQ(FitHints(), fitting);
    EXPECT_EQ(doc->m_undoKind, 14);
    EXPECT_EQ(doc->m_jobText, "");
    EXPECT_TRUE(doc->IsModified());
    // Pictures the fit could not place are reported at once.
    if (doc->m_statusMessage == Catalogue().missedPosition) {
        const std::vector<int> codes = work.log.Codes();
        const auto done = std::find(codes.begin(), codes.end(), HINT_FIT_DONE);
        ASSERT_NE(done, codes.end());
        EXPECT_EQ(*(done - 1), HINT_STATUS);
    }
}

// A fit that ran short of memory says so, in either flavour, instead of reporting pictures
// it missed.
TEST_F(CommandsTest, FitShortOfMemorySaysSo)
{
    Pieces(3, 0, 0);
    for (const bool around : {false, true}) {
        SCOPED_TRACE(around ? "around one turn" : "fit");
        doc->m_statusMessage.clear();
        facade->fitAnswer = kResultOutOfMemory;
        around ? doc->OnProcessFit360() : doc->OnProcessFit();
        EXPECT_EQ(doc->m_statusMessage, Catalogue().memoryTooShort);
        facade->fitAnswer = -1;
        around ? doc->OnProcessFit360() : doc->OnProcessFit();
        EXPECT_EQ(doc->m_statusMessage, Catalogue().missedPosition);
    }
}

TEST_F(CommandsTest, FitWithLaidWaitingPiecesAndRefinementOfFittedOnes)
{
    // The laid piece is first placed on the fitted picture, which lays the pieces out again
    // (41) before the fit itself.
    const std::vector<std::string> fitting = {"337/6", "41", "281", "41", "97", "337/3"};
    Pieces(3, 1, 2);  // n = 1
    ASSERT_EQ(doc->CountPiecesToFit(), 1);
    doc->OnProcessFit();
    EXPECT_EQ(FitHints(), fitting);

    for (int i = 0; i < doc->m_pComp->GetPictureCount(); ++i)
        doc->m_pComp->GetPictureAt(i)->m_Status = 3;
    doc->SyncPieceStates();
    ASSERT_EQ(doc->CountPiecesToFit(), 0);
    work.log.Clear();
    doc->OnProcessFit();
    EXPECT_EQ(rec->optimizeBreakModes, std::vector<int>{2});
    EXPECT_EQ(doc->m_pComp->GetBreakMode(), 0);
    EXPECT_EQ(FitHints(), (std::vector<std::string>{"337/6", "281", "41", "337/3"}));
    EXPECT_EQ(doc->m_jobText, "");
    EXPECT_EQ(doc->m_undoKind, 14);
}

TEST_F(CommandsTest, FitGivesTheWholePanoramaAsTheRenderingAreaAndKeepsAnAreaOfTheUsersOwn)
{
    Pieces(2, 2, 2);
    ASSERT_EQ(doc->CountPiecesToFit(), 0);
    // Something asked for the output size before: the stand-in of an empty area.
    doc->GetOutputSize(1);
    facade->bounds = CRect(-300, -100, 300, 100);
    doc->OnProcessFit();
    EXPECT_EQ(doc->m_renderArea, facade->bounds);
    EXPECT_EQ(doc->m_outputSize, doc->GetOutputSize(1));
    // A refining fit moves the pictures a little: the area the fit gave follows them.
    facade->bounds = CRect(-310, -100, 305, 102);
    doc->OnProcessFit();
    EXPECT_EQ(doc->m_renderArea, facade->bounds);
    // An area the user set stays through a refining fit.
    const CRect own(-200, -80, 150, 60);
    doc->m_renderArea = own;
    facade->bounds = CRect(-320, -100, 320, 100);
    doc->OnProcessFit();
    EXPECT_EQ(doc->m_renderArea, own);
    // A fit that brings in a waiting piece takes the whole panorama again.
    ASSERT_EQ(Import({WritePicture(TempDir() + "/late.bmp", 200, 150)}), 1);
    ASSERT_EQ(doc->GetPieceCount(), 3);
    Entry(doc->GetPieceEntry(2)).m_PieceSlot = CPoint(3, 1);
    ASSERT_EQ(doc->CountPiecesToFit(), 1);
    doc->OnProcessFit();
    if (doc->m_pComp->GetFittedCount() > 0) {
        EXPECT_EQ(doc->m_renderArea, facade->bounds);
    }
}

TEST_F(CommandsTest, FitAroundAFullTurnSetsTheConformalPanoramaAndIsUndoable)
{
    Pieces(2, 2, 2);
    ASSERT_EQ(doc->CountPiecesToFit(), 0);
    doc->m_pComp->SetProjection(23);
    const int snapshots = rec->snapshots;
    doc->OnProcessFit360();
    EXPECT_EQ(doc->m_pComp->GetProjection(), 22);
    EXPECT_EQ(doc->m_undoKind, 14);
    EXPECT_GT(rec->snapshots, snapshots);
    EXPECT_EQ(work.log.Count(HINT_TIMER), 2) << "the timer is stopped again";
    EXPECT_EQ(work.log.hints.back().code, HINT_TIMER);
}

TEST_F(CommandsTest, UndoAfterClearAllFitRestoresOnceAndMarksTheProject)
{
    const std::vector<std::string> p = Pieces(3, 2, 2);
    doc->SetModifiedFlag(false);
    EXPECT_TRUE(State(32836).enabled);
    ASSERT_TRUE(doc->OnCommand(32836));
    EXPECT_EQ(doc->m_pComp->GetFittedCount(), 0);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(State(32857).enabled);

    doc->SetModifiedFlag(false);
    ASSERT_TRUE(doc->OnCommand(32857));
    EXPECT_EQ(doc->m_pComp->GetFittedCount(), 2);
    EXPECT_EQ(Entry(doc->GetPieceEntry(0)).m_FitStatus, 3) << "the pieces follow the restored set";
    EXPECT_TRUE(doc->IsModified());
    EXPECT_FALSE(State(32857).enabled);
    EXPECT_EQ(doc->m_undoKind, 0);

    // Undo Last Fit unfits the last fitted picture and can be undone too.
    ASSERT_TRUE(doc->OnCommand(32848));
    EXPECT_EQ(Picture(p[1])->m_Status, 0);
    EXPECT_EQ(Picture(p[0])->m_Status, 3);
    ASSERT_TRUE(doc->OnCommand(32857));
    EXPECT_EQ(Picture(p[1])->m_Status, 3);
}

TEST_F(CommandsTest, OptionPreviewThenCancelPutsEverythingBack)
{
    Pieces(2, 2, 0);
    facade->bounds = CRect(-400, -100, 400, 100);
    facade->span = [](const CRect&) { return 120; };
    doc->m_renderArea = CRect(-50, -40, 50, 40);
    doc->m_sizeMode = 1;
    doc->m_areaMode = 0;
    doc->m_pComp->SetProjection(22);
    const CSize size = doc->GetOutputSize(1);
    for (int second : {2, 4}) {
        options.answers = {4, second};
        work.log.Clear();
        // While the dialog runs again the views have been told of the preview's projection.
        std::vector<int> projectionsSeen;
        int layoutsSeen = 0;
        options.onRun = [&] {
            projectionsSeen.push_back(doc->m_pComp->GetProjection());
            layoutsSeen = work.log.Count(HINT_LAYOUT);
        };
        doc->OnProcessOptionBox();
        options.onRun = nullptr;
        EXPECT_EQ(projectionsSeen, (std::vector<int>{22, 23})) << second;
        EXPECT_EQ(layoutsSeen, 1) << "the work view is laid out in the preview's projection";
        EXPECT_EQ(work.log.Count(HINT_LAYOUT), 2) << "and again in the projection put back";
        EXPECT_EQ(work.log.Count(HINT_PROJECTION), 2) << second;
        EXPECT_EQ(options.runs % 2, 0);
        EXPECT_EQ(options.areaMode, 3) << "the dialog was shown the movie area";
        EXPECT_EQ(doc->m_renderArea, CRect(-50, -40, 50, 40)) << second;
        EXPECT_EQ(doc->m_outputSize, size) << second;
        EXPECT_EQ(doc->m_sizeMode, 1) << second;
        EXPECT_EQ(doc->m_areaMode, 0) << second;
        EXPECT_EQ(doc->m_pComp->GetProjection(), 22) << second;
        EXPECT_EQ(work.log.Count(HINT_OPTIONS), 2) << second;
    }
    EXPECT_EQ(options.referenceWidth, 114 + 114 / 3);
}

TEST_F(CommandsTest, OptionOkTakesTheTypedWidthAndCanRenderAtOnce)
{
    Pieces(2, 2, 0);
    doc->m_renderArea = CRect(0, 0, 200, 100);
    doc->m_areaShown = 1;
    options.answers = {1};
    options.typedWidth = 500;
    options.renderNow = true;
    dialog.QueueCancel();
    const size_t asked = dialog.Requests().size();
    doc->OnProcessOptionBox();
    EXPECT_DOUBLE_EQ(options.aspect, 0.5) << "the dialog derives heights from the area's proportions";
    EXPECT_EQ(doc->m_sizeMode, 3);
    EXPECT_DOUBLE_EQ(doc->m_outputScale, 2.5);
    EXPECT_EQ(doc->m_outputSize, CSize(500, 250));
    EXPECT_EQ(doc->m_areaShown, 3);
    EXPECT_EQ(doc->m_outputDpi, 288);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(dialog.Requests().size(), asked + 1) << "Render and Save asked for its file";

    options.answers = {2};
    options.typedWidth = 900;
    doc->OnProcessOptionBox();
    EXPECT_EQ(doc->m_outputSize, CSize(500, 250)) << "Cancel changes nothing";
}

TEST_F(CommandsTest, ATypedOutputSizeBeyondWhatRenderAndSaveWritesIsToldAtOnce)
{
    Pieces(2, 2, 0);
    doc->m_renderArea = CRect(0, 0, 1000, 500);
    int64_t freeBytes = int64_t(1) << 40;
    render_save::SetFreeSpaceQuery([&](const std::string&) { return freeBytes; });
    struct Case {
        const char* lastOutput;
        int width;
        int64_t free;
        std::string message;
    };
    const Case cases[] = {
        {"", 27600, int64_t(1) << 40, ""},                            // 381 megapixels as JPEG: written
        {"", 70000, int64_t(1) << 40, Catalogue().tooBigToCreate},    // wider than a JPEG can be
        {"/out/pano.BMP", 40000, int64_t(1) << 40, Catalogue().tooBigToCreate},
        {"", 27600, 100000000, Catalogue().noDiskSpace},              // 229 MB needed
    };
    for (const Case& c : cases) {
        doc->m_lastOutputPath = c.lastOutput;
        doc->m_statusMessage.clear();
        freeBytes = c.free;
        options.answers = {1};
        options.typedWidth = c.width;
        doc->OnProcessOptionBox();
        EXPECT_EQ(doc->m_outputSize.cx, c.width) << "the size is taken";
        EXPECT_EQ(doc->m_statusMessage, c.message) << c.width << " " << c.lastOutput;
        options.typedWidth = 0;
    }
    render_save::SetFreeSpaceQuery(nullptr);
}

TEST_F(CommandsTest, AuxLineButtonTwiceInOneSecondRedrawsOnce)
{
    clock.SetTime(platform::LocalTime{2026, 12, 10, 17, 0, 5, 0});
    ASSERT_TRUE(doc->OnCommand(1069));
    EXPECT_EQ(doc->m_auxLineMode, 3);
    ASSERT_TRUE(doc->OnCommand(1069));
    EXPECT_EQ(doc->m_auxLineMode, 0);
    EXPECT_EQ(work.log.Count(HINT_AUX_REDRAW), 1);
    EXPECT_EQ(work.log.Count(HINT_STATUS), 2);
}

} // namespace
} // namespace doctest

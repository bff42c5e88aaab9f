// Piece state synchronisation, turned-piece mappings, picture images and colour settings,
// inline tilings and the work-space layout.
#include <gtest/gtest.h>

#include "common/message_catalogue.h"
#include "doc_test_support.h"

namespace doctest {
namespace {

class PiecesTest : public DocTest {
protected:
    // n pieces of 200 x 150, entered in order.
    std::vector<std::string> Pieces(int n, const std::string& prefix = "p")
    {
        std::vector<std::string> paths;
        for (int i = 0; i < n; ++i)
            paths.push_back(WritePicture(TempDir() + "/" + prefix + std::to_string(i) + ".bmp", 200, 150));
        EXPECT_EQ(Import(paths), 1);
        return paths;
    }
    CPoint Cell(int n) { return Entry(doc->GetPieceEntry(n)).m_PieceSlot; }
    void Fit(const std::string& path, CRect outline)
    {
        Picture(path)->m_Status = 3;
        facade->outlines[path] = outline;
        doc->SyncPieceStates();
    }
};

// ---- Synchronisation ---------------------------------------------------------------------------

TEST_F(PiecesTest, UnlaidPiecesAreStoredInNoCellAndFittedPicturesKeepTheirSlot)
{
    const auto p = Pieces(3);
    Fit(p[0], CRect(-100, -75, 100, 75));
    Picture(p[0])->m_LayoutCell = CPoint(0, 0);
    ASSERT_EQ(doc->SetPieceCell(doc->GetPieceEntry(0), 4, 4), 1);
    ASSERT_EQ(doc->SetPieceCell(doc->GetPieceEntry(1), 1, 0), 1);
    Entry(doc->GetPieceEntry(1)).m_QuarterTurns = 2;
    Entry(doc->GetPieceEntry(1)).m_ColorModel.dY = 12.0;
    doc->PreparePiecesForSave();
    EXPECT_EQ(Picture(p[0])->m_LayoutCell, CPoint(0, 0)) << "a fitted picture keeps its slot";
    EXPECT_EQ(Picture(p[1])->m_LayoutCell, CPoint(1, 0));
    EXPECT_EQ(Picture(p[1])->QuarterTurns, 2);
    EXPECT_NE(Picture(p[1])->m_ColourWord, 0);
    EXPECT_EQ(Picture(p[2])->m_LayoutCell, CSmDoc::kNoCell);

    doc->SyncPieceStates();
    EXPECT_EQ(Cell(1), CPoint(1, 0));
    EXPECT_EQ(Cell(2), CPoint()) << "no cell comes back as none";
    EXPECT_EQ(Entry(doc->GetPieceEntry(0)).m_FitStatus, 3);
}

TEST_F(PiecesTest, SetPieceCellEvictsUnfittedHoldersAndRefusesFittedOnesAndTheGridEdge)
{
    const auto p = Pieces(3);
    Fit(p[0], CRect(-100, -75, 100, 75));
    Picture(p[0])->m_LayoutCell = CPoint(0, 0);
    doc->SyncPieceStates();
    ASSERT_EQ(Cell(0), CPoint(0, 0));
    Entry(doc->GetPieceEntry(0)).m_PieceSlot = CPoint(3, 3);
    const int a = doc->GetPieceEntry(1), b = doc->GetPieceEntry(2);
    EXPECT_EQ(doc->SetPieceCell(a, 1, 0), 1);
    EXPECT_EQ(doc->SetPieceCell(b, 1, 0), 1);
    EXPECT_EQ(Entry(a).m_PieceSlot, CPoint()) << "the unfitted holder leaves the cell";
    EXPECT_EQ(Entry(b).m_PieceSlot, CPoint(1, 0));
    EXPECT_EQ(doc->SetPieceCell(b, 3, 3), -1) << "a fitted piece holds that cell";
    const CPoint refused[] = {{42, 0}, {-43, 0}, {0, 14}, {0, -15}};
    for (CPoint c : refused)
        EXPECT_EQ(doc->SetPieceCell(a, c.x, c.y), -1) << c.x << "," << c.y;
    EXPECT_EQ(doc->SetPieceCell(a, -42, -14), 1);
}

TEST_F(PiecesTest, TurningSelectedPiecesSkipsFittedOnesAndMarksTheProject)
{
    const auto p = Pieces(2);
    Fit(p[0], CRect(-100, -75, 100, 75));
    doc->SelectAllPieces();
    doc->SetModifiedFlag(false);
    doc->m_areaShown = 1;
    doc->TurnSelectedPieces(3);
    EXPECT_EQ(Entry(doc->GetPieceEntry(1)).m_QuarterTurns, 3) << "left from turn 0";
    EXPECT_EQ(Picture(p[1])->QuarterTurns, 3);
    EXPECT_EQ(Entry(doc->GetPieceEntry(0)).m_QuarterTurns, 0) << "a fitted piece does not turn";
    EXPECT_EQ(doc->m_areaShown, 0);
    EXPECT_TRUE(doc->IsModified());
    doc->TurnSelectedPieces(2);
    EXPECT_EQ(Entry(doc->GetPieceEntry(1)).m_QuarterTurns, 1);
}

TEST_F(PiecesTest, TurnedPieceMappings)
{
    const auto p = Pieces(1);
    const int e = doc->GetPieceEntry(0);
    Entry(e).m_Size = CSize(400, 300);
    Entry(e).m_QuarterTurns = 1;
    EXPECT_EQ(doc->PiecePointToPicture(e, CPoint(0, 0), CRect(0, 0, 30, 40)), CPoint(0, 290));
    EXPECT_EQ(doc->PicturePointToPiece(e, CPoint(0, 0), CSize(30, 40)), CPoint(29, 0));
    EXPECT_EQ(doc->PiecePointToPicture(e, CPoint(7, 7), CRect(0, 0, 0, 40)), CPoint(200, 150));

    // Round trips on a piece a tenth of the picture, at points that land on whole pixels.
    for (int turn = 0; turn < 4; ++turn) {
        Entry(e).m_QuarterTurns = turn;
        const CSize piece = turn % 2 ? CSize(30, 40) : CSize(40, 30);
        for (CPoint q : {CPoint(0, 0), CPoint(12, 7), CPoint(piece.cx - 1, piece.cy - 1)}) {
            const CPoint pixel = doc->PiecePointToPicture(e, q, CRect(CPoint(), piece));
            EXPECT_EQ(doc->PicturePointToPiece(e, pixel, piece), q) << "turn " << turn << " at " << q.x << "," << q.y;
        }
    }
    Entry(e).m_Size = CSize(0, 0);
    EXPECT_EQ(doc->PicturePointToPiece(e, CPoint(5, 5), CSize(30, 40)), CPoint());
    Entry(e).m_Size = CSize(320, 120);
    EXPECT_EQ(doc->ThumbPointToPicture(e, CPoint(80, 60)), CPoint(160, 60)) << "centre of a letterboxed thumbnail";
}

// ---- Picture images and colour settings ------------------------------------------------------

class ImagesTest : public PiecesTest {
protected:
    void SetUp() override
    {
        PiecesTest::SetUp();
        SetImageReader([this](const std::string& path, CPixelArray& px, CSize& size, const CRect& r) {
            reads.push_back(path);
            if (!answers.empty()) {
                const int a = answers.front();
                answers.pop_front();
                if (a <= 0)
                    return a;
            }
            return LoadImageFile(path, px, size, r);
        });
    }
    std::vector<std::string> reads;
    std::deque<int> answers;
};

TEST_F(ImagesTest, LoadedImageIsNotReadAgainUntilItsColoursChange)
{
    const auto p = Pieces(1);
    reads.clear();
    ASSERT_EQ(doc->LoadPictureImage(p[0]), 1);
    const CPixelArray plain = Picture(p[0])->Pixels;
    EXPECT_EQ(plain.GetSize(), 200 * 150);
    EXPECT_EQ(doc->LoadPictureImage(p[0]), 1);
    EXPECT_EQ(reads.size(), 1u);

    CColorModel warmer;
    warmer.dY = 30.0;
    doc->SetModifiedFlag(false);
    work.log.Clear();
    EXPECT_EQ(doc->ApplyColorModel(1, warmer, p[0]), 1);
    EXPECT_EQ(work.log.Count(HINT_PIECES), 1);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(Picture(p[0])->Pixels.GetSize(), 0);
    ASSERT_EQ(doc->LoadPictureImage(p[0]), 1);
    EXPECT_EQ(reads.size(), 2u);
    CPixelArray expected = plain;
    warmer.ApplyToArray(expected);
    EXPECT_EQ(Picture(p[0])->Pixels, expected) << "the new correction is applied to the new read";
}

TEST_F(ImagesTest, ColourSettingsThatChangeNothingOrHaveNoPictureChangeNothing)
{
    const auto p = Pieces(1);
    work.log.Clear();
    EXPECT_EQ(doc->ApplyColorModelToPicture(p[0], CColorModel()), 0) << "inactive onto inactive";
    EXPECT_EQ(work.log.Count(HINT_PIECES), 0);

    const std::string stocked = WritePicture(TempDir() + "/stock.bmp", 200, 150);
    const int e = doc->RegisterPicture(stocked, 0);
    CColorModel m;
    m.dCb = 8.0;
    EXPECT_EQ(doc->ApplyColorModelToPicture(stocked, m), -1);
    EXPECT_FALSE(Entry(e).m_ColorModel.IsActive()) << "refused before the entry was touched";
    EXPECT_EQ(Entry(e).m_PixelCache.GetSize(), 19200);
    EXPECT_EQ(doc->ApplyColorModelToPicture("/nowhere.bmp", m), -1);
    EXPECT_EQ(doc->ApplyColorModel(0, m, p[0]), -1);
    EXPECT_EQ(doc->ApplyColorModel(1, m, ""), -1);
}

TEST_F(ImagesTest, RefusedKindsFailedReadsAndMemoryExhaustion)
{
    const auto p = Pieces(2);
    auto movie = std::make_unique<CKpic>(TempDir() + "/clip.MOV", CRect(0, 0, 10, 10));
    doc->m_pComp->Core().m_Pictures.push_back(std::move(movie));
    reads.clear();
    box.Clear();
    EXPECT_EQ(doc->LoadPictureImage(TempDir() + "/clip.MOV"), -1);
    EXPECT_TRUE(reads.empty());
    EXPECT_TRUE(box.Shown().empty());
    EXPECT_EQ(doc->LoadPictureImage("/not/in/the/set.bmp"), -1);

    answers = {-2};
    EXPECT_EQ(doc->LoadPictureImage(p[0]), -1);
    EXPECT_EQ(doc->m_statusMessage, p[0] + "\nCurrent file format is not supported.");
    answers = {0};
    EXPECT_EQ(doc->LoadPictureImage(p[0]), 0);

    // Under a running job no image gives way: the shortage is told once however often the job
    // meets it, and nothing leaves the project.
    ASSERT_EQ(doc->LoadPictureImage(p[1]), 1);
    doc->SetModifiedFlag(false);
    answers = {-5, -5};
    reads.clear();
    {
        platform::JobScope job;
        EXPECT_EQ(doc->LoadPictureImage(p[0]), -5);
        EXPECT_EQ(doc->LoadPictureImage(p[0]), -5);
    }
    EXPECT_EQ(reads.size(), 2u) << "no second try under a job";
    EXPECT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(Picture(p[1])->Pixels.GetSize(), 200 * 150);
    EXPECT_EQ(doc->m_idleStepMode, 0) << "no background reading while memory is short";

    // Outside a job the other pictures' images give way and the read is tried again.
    doc->m_idleStepMode = 2;
    answers = {-5};
    reads.clear();
    box.Clear();
    EXPECT_EQ(doc->LoadPictureImage(p[0]), 1);
    EXPECT_EQ(reads, (std::vector<std::string>{p[0], p[0]}));
    EXPECT_EQ(Picture(p[0])->Pixels.GetSize(), 200 * 150);
    EXPECT_EQ(Picture(p[1])->Pixels.GetSize(), 0);
    EXPECT_TRUE(box.Shown().empty());
    EXPECT_EQ(doc->m_idleStepMode, 2);

    // When even that is not enough, the user is told and the project keeps every picture.
    Picture(p[0])->Pixels.RemoveAll();
    ASSERT_EQ(doc->LoadPictureImage(p[1]), 1);
    answers = {-7, -5};
    reads.clear();
    EXPECT_EQ(doc->LoadPictureImage(p[0]), -5);
    EXPECT_EQ(reads.size(), 2u);
    EXPECT_EQ(Picture(p[0])->Pixels.GetSize(), 0);
    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(box.Shown()[0], Catalogue().memoryTooShort);
    EXPECT_EQ(doc->GetPieceCount(), 2);
    EXPECT_EQ(doc->GetPictureCount(), 3);
    EXPECT_FALSE(doc->IsModified()) << "nothing was dropped";
}

// The idle work that runs short of memory shows its message; the message's event loop runs the
// idle handler again, which must not start another idle step (nor another read) inside it.
TEST_F(ImagesTest, MemoryMessageOfTheIdleWorkStartsNoIdleStepInsideIt)
{
    class ReadingFacade : public FakeFacade {
    public:
        std::function<int()> onIdle;
        int IdleStep(int level) override
        {
            FakeFacade::IdleStep(level);
            return onIdle ? onIdle() : 0;
        }
    };
    ReadingFacade* reading = nullptr;
    SetFacadeFactory([&reading, this] {
        auto f = std::make_unique<ReadingFacade>();
        reading = f.get();
        facade = f.get();
        return f;
    });
    ASSERT_TRUE(doc->FileNew());
    ASSERT_NE(reading, nullptr);
    const auto p = Pieces(2);
    reading->onIdle = [&] { return doc->LoadPictureImage(p[0]); };

    class NestingBox : public platform::FakeMessageBox {
    public:
        std::function<void()> inside;
        int Show(const std::string& text, unsigned type) override
        {
            const int answer = FakeMessageBox::Show(text, type);
            if (inside)
                inside();
            return answer;
        }
    } nesting;
    std::vector<bool> nested;
    nesting.inside = [&] { nested.push_back(doc->OnIdleStep()); };
    platform::SetMessageBox(&nesting);

    answers = {-5};
    IdleSecondCount = 3;
    reads.clear();
    doc->OnIdleStep();
    platform::SetMessageBox(&box);

    EXPECT_EQ(reads.size(), 1u) << "one read, no second one from inside the message";
    EXPECT_EQ(nesting.Shown(), std::vector<std::string>{Catalogue().memoryTooShort});
    EXPECT_EQ(nested, std::vector<bool>{false});
    EXPECT_EQ(reading->idleLevels, std::vector<int>{2});
    EXPECT_EQ(doc->m_idleStepMode, 0) << "no background reading of every picture while memory is short";
    EXPECT_EQ(doc->GetPieceCount(), 2);
}

// ---- Inline tilings ---------------------------------------------------------------------------------

TEST_F(PiecesTest, DualLayoutWithNothingFitted)
{
    Pieces(6);
    EXPECT_EQ(doc->LayoutDualInline(), 1);
    const CPoint cells[] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {0, 0}, {1, 0}};
    for (int n = 0; n < 6; ++n)
        EXPECT_EQ(Cell(n), cells[n]) << "the piece entered as number " << n + 1;
    EXPECT_EQ(Entry(doc->GetPieceEntry(4)).m_FitStatus, 3) << "the middle of row 0 became the base";
}

TEST_F(PiecesTest, DualLayoutAroundABaseThatIsTheFifthPiece)
{
    const auto p = Pieces(6);
    Fit(p[4], CRect(-100, -75, 100, 75));
    Picture(p[4])->m_LayoutCell = CPoint(0, 0);
    doc->SyncPieceStates();
    EXPECT_EQ(doc->CountLeadingUnfitted(), 4);
    EXPECT_EQ(doc->LayoutDualInline(), 1);
    EXPECT_EQ(Cell(3), CPoint(-1, 0));
    EXPECT_EQ(Cell(5), CPoint(1, 0));
    EXPECT_EQ(Cell(0), CPoint(-1, -1));
    EXPECT_EQ(Cell(1), CPoint(0, -1));
    EXPECT_EQ(Cell(2), CPoint(1, -1));
}

TEST_F(PiecesTest, SingleLayoutLaysFromTheMiddleOutwards)
{
    Pieces(5);
    // The picture set tells bounds changes with 97 as well: keep only the document's hints.
    facade->Core().m_Host = nullptr;
    work.log.Clear();
    EXPECT_EQ(doc->LayoutSingleInline(), 5);
    const CPoint cells[] = {{-2, 0}, {-1, 0}, {0, 0}, {1, 0}, {2, 0}};
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(Cell(n), cells[n]) << "the piece entered as number " << n + 1;
    EXPECT_EQ(work.log.hints.front().code, HINT_LAYOUT);
    EXPECT_EQ(work.log.Count(HINT_FIT_DONE), 5);
    EXPECT_EQ(doc->m_droppedNames, "") << "the drop list is cleared";
}

TEST_F(PiecesTest, RowLayoutsLayBlocksInOrderAndRefuseWhatTheyCannotTile)
{
    Pieces(5);
    EXPECT_EQ(doc->LayoutPentInline(), 5);
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(Cell(n), CPoint(0, n - 2)) << n;
    EXPECT_EQ(Entry(doc->GetPieceEntry(2)).m_FitStatus, 3) << "block 2 is laid first and becomes the base";

    doc->SetModifiedFlag(false);
    ASSERT_TRUE(doc->FileNew());
    const auto p = Pieces(5);
    Fit(p[0], CRect(-100, -75, 100, 75));
    Fit(p[1], CRect(105, -75, 305, 75));
    EXPECT_EQ(doc->LayoutPentInline(), -1) << "two fitted";
    EXPECT_EQ(doc->LayoutSingleInline(), -1);
    EXPECT_EQ(doc->LayoutDualInline(), 0) << "an odd count";
    EXPECT_EQ(doc->LayoutQuadInline(), 0);

    doc->SetModifiedFlag(false);
    ASSERT_TRUE(doc->FileNew());
    Pieces(3);
    EXPECT_EQ(doc->LayoutTripleInline(), 3);
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(Cell(n), CPoint(0, n - 1)) << n;
}

// ---- Work-space layout ------------------------------------------------------------------------------

TEST_F(PiecesTest, FramesAroundOneFittedBaseHaveItsSizeWithFiveUnitGaps)
{
    const auto p = Pieces(2);
    Picture(p[0])->m_PictureRect = CRect(0, 0, 640, 480);
    Fit(p[0], CRect(-320, -240, 320, 240));
    doc->LayoutPieces(1, CSize());
    const struct {
        int c, r;
        CRect frame;
    } frames[] = {{0, -1, {-320, -725, 320, -245}},
                  {1, 0, {325, -240, 965, 240}},
                  {0, 1, {-320, 245, 320, 725}},
                  {-1, 0, {-965, -240, -325, 240}},
                  {0, 0, {}}};
    for (const auto& f : frames)
        EXPECT_EQ(doc->m_cellRects[CSmDoc::CellIndex(f.c, f.r)], f.frame) << f.c << "," << f.r;
    EXPECT_EQ(doc->m_cellSize, CSize(640, 480));
    EXPECT_EQ(doc->FindCellAt(CPoint(600, 0)), CPoint(1, 0));
    EXPECT_EQ(doc->FindCellAt(CPoint(322, 0)), CSmDoc::kNoCell) << "in the gap";
}

TEST_F(PiecesTest, TwoFittedPicturesHalveTheFramesAndFisheyeLaysNone)
{
    const auto p = Pieces(3);
    Picture(p[0])->m_PictureRect = CRect(0, 0, 640, 480);
    Fit(p[0], CRect(-320, -240, 320, 240));
    Picture(p[1])->m_LayoutCell = CPoint(6, 6);
    Fit(p[1], CRect(3000, 3000, 3640, 3480));
    doc->LayoutPieces(1, CSize());
    EXPECT_EQ(doc->m_cellSize, CSize(320, 240));
    EXPECT_EQ(doc->m_cellRects[CSmDoc::CellIndex(0, -1)], CRect(-160, -485, 160, -245));
    EXPECT_EQ(doc->m_cellRects[CSmDoc::CellIndex(1, 0)], CRect(325, -120, 645, 120));

    doc->SetProjectionCode(32, 0);
    doc->LayoutPieces(1, CSize());
    int frames = 0;
    for (const CRect& r : doc->m_cellRects)
        frames += !r.IsRectEmpty();
    EXPECT_EQ(frames, 0);

    doc->SetProjectionCode(12, 0);
    Picture(p[2])->m_Status = 3;
    doc->SyncPieceStates();
    doc->LayoutPieces(1, CSize());
    EXPECT_TRUE(doc->m_baseRect.IsRectEmpty()) << "every picture fitted: no frames";
}

TEST_F(PiecesTest, PiecesInAFrameGetFramesAroundThemAndPiecesWithoutOneDropOut)
{
    const auto p = Pieces(3);
    Picture(p[0])->m_PictureRect = CRect(0, 0, 640, 480);
    Fit(p[0], CRect(-320, -240, 320, 240));
    doc->LayoutPieces(1, CSize());
    ASSERT_EQ(doc->SetPieceCell(doc->GetPieceEntry(1), 1, 0), 1);
    ASSERT_EQ(doc->SetPieceCell(doc->GetPieceEntry(2), 9, 9), 1);
    doc->LayoutPieces(1, CSize());
    EXPECT_EQ(doc->m_cellRects[CSmDoc::CellIndex(2, 0)], CRect(970, -240, 1610, 240)) << "beside the laid piece";
    EXPECT_EQ(Cell(1), CPoint(1, 0));
    EXPECT_EQ(Cell(2), CPoint()) << "its cell has no frame";
    EXPECT_EQ(doc->m_cellCount, 1);
    EXPECT_GE(doc->m_cellRange.Width(), 4);
}

} // namespace
} // namespace doctest

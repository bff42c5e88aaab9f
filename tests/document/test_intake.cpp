// Picture intake and pieces: import and dropped names, refusals the user gets to see, dropping
// and placing pieces into grid cells, and ejecting them.
#include <gtest/gtest.h>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "doc_test_support.h"
#include "../support/refused_pictures.h"

namespace doctest {
namespace {

class IntakeTest : public DocTest {
protected:
    // One fitted base picture (640 x 480 at the centre) and `more` unfitted pieces.
    void LayBase(int more, std::vector<std::string>* names)
    {
        const std::string dir = TempDir();
        std::vector<std::string> paths{WritePicture(dir + "/base.bmp", 640, 480)};
        for (int i = 0; i < more; ++i)
            paths.push_back(WritePicture(dir + "/p" + std::to_string(i) + ".bmp", 200, 150));
        ASSERT_EQ(Import(paths), 1);
        Picture(paths[0])->m_Status = 3;
        facade->outlines[paths[0]] = CRect(-320, -240, 320, 240);
        doc->SyncPieceStates();
        doc->LayoutPieces(1, CSize());
        *names = paths;
    }
};

TEST_F(IntakeTest, ImportEntersPiecesOutsideTheGridOnceEach)
{
    const std::string dir = TempDir();
    const std::string a = WriteJpegWithExif(dir + "/a.jpg", 640, 480, 1, 250, 28);
    const std::string b = WritePicture(dir + "/b.png", 300, 200);
    work.log.Clear();
    ASSERT_EQ(Import({a, b}), 1);
    ASSERT_EQ(doc->GetPieceCount(), 2);
    ASSERT_FALSE(work.log.hints.empty());
    EXPECT_EQ(work.log.hints.back().code, HINT_DROP_ENTERED) << "the views are told to draw the new pieces last";
    EXPECT_EQ(doc->CountPiecesToFit(), -1) << "entered, never laid";
    EXPECT_EQ(Entry(doc->GetPieceEntry(0)).m_State, 6);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->m_droppedNames, "");
    EXPECT_EQ(doc->GetPictureCount(), 2);

    ASSERT_EQ(Import({a}), 1);
    EXPECT_EQ(doc->GetPieceCount(), 2) << "a file that is already a piece adds none";

    const int stocked = doc->GetPieceEntry(1);
    doc->ReturnPieceToStock(stocked);
    EXPECT_EQ(Entry(stocked).m_State, 3);
    EXPECT_EQ(doc->GetPieceCount(), 1);
    EXPECT_EQ(doc->GetPictureCount(), 1);
    ASSERT_EQ(Import({b}), 1);
    EXPECT_EQ(Entry(stocked).m_State, 6) << "the stocked entry becomes a piece again";
    EXPECT_EQ(doc->GetPieceEntry(1), stocked);

    dialog.QueueCancel();
    doc->SetModifiedFlag(false);
    EXPECT_EQ(doc->ImportPhotos(), -1);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(dialog.Requests().back().title, "Open Pictures");
    EXPECT_EQ(dialog.Requests().back().defaultExt, "BMP");
}

TEST_F(IntakeTest, DroppedListEntersPicturesAndSkipsOtherKinds)
{
    const std::string dir = TempDir();
    const std::string a = WriteJpegWithExif(dir + "/a.JPEG", 640, 480, 1, 250, 28);
    const std::string c = WritePicture(dir + "/c.png", 200, 150);
    WriteBytes(dir + "/notes.txt", {'x'});
    doc->m_droppedNames = a + ";" + dir + "/notes.txt;" + c + ";";
    EXPECT_EQ(doc->AddDroppedPictures(), 2);
    ASSERT_EQ(doc->GetPieceCount(), 2);
    EXPECT_EQ(Entry(doc->GetPieceEntry(0)).m_Name, a);
    EXPECT_EQ(Entry(doc->GetPieceEntry(1)).m_Name, c);
    EXPECT_EQ(work.log.Count(HINT_DROP_ENTERED), 1);
    EXPECT_EQ(doc->m_dropFlag, 3);

    doc->m_droppedNames = dir + "/p.fit";
    EXPECT_EQ(doc->AddFirstDroppedPicture(), -1) << "a project file is no picture";
    EXPECT_EQ(doc->GetPieceCount(), 2);
}

TEST_F(IntakeTest, RefusalsReachTheUserAndSurviveTheLayout)
{
    const std::string dir = TempDir();
    const struct {
        std::string path;
        bool accepted;
        std::string message;
    } cases[] = {
        {WritePicture(dir + "/tall.bmp", 100, 200), true, ""},
        {WritePicture(dir + "/small.png", 119, 119), false, "The picture is inadequate to handle ..."},
    };
    for (const auto& c : cases) {
        doc->m_statusMessage.clear();
        work.log.Clear();
        doc->m_droppedNames = c.path;
        const int i = doc->AddFirstDroppedPicture();
        EXPECT_EQ(i >= 0, c.accepted) << c.path;
        doc->LayoutPieces(1, CSize());
        EXPECT_EQ(doc->m_statusMessage, c.message) << c.path;
        if (!c.accepted) {
            EXPECT_GE(work.log.Count(HINT_STATUS), 1);
        }
    }
    EXPECT_EQ(doc->GetPieceCount(), 1);
}

TEST_F(IntakeTest, ASoundJpegOfAKindNotReadIsRefusedNamingItsKind)
{
    const std::string dir = TempDir();
    // Start of image, a frame header of 16 x 16 pixels (the frame kind and component count
    // given), end of image.
    auto jpeg = [](uint8_t frame, uint8_t components) {
        std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, frame, 0x00, uint8_t(8 + 3 * components), 8, 0, 16, 0, 16, components};
        for (uint8_t c = 1; c <= components; ++c)
            b.insert(b.end(), {c, 0x11, 0});
        b.insert(b.end(), {0xFF, 0xD9});
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"grey.jpg", jpeg(0xC0, 1), " (grey-scale JPEG)"},
        {"progressive.jpg", jpeg(0xC2, 3), " (progressive JPEG)"},
        {"cut.jpg", {0xFF, 0xD8, 0xFF, 0xC0, 0x00}, ""},
    };
    for (const Case& c : cases) {
        const std::string path = dir + "/" + c.name;
        WriteBytes(path, c.bytes);
        doc->m_statusMessage.clear();
        ASSERT_EQ(Import({path}), 1);
        EXPECT_EQ(doc->m_statusMessage, path + "\nCurrent file format is not supported." + c.reason);
        EXPECT_EQ(doc->FindEntryIndex(path, 0), -2);
    }
}

TEST_F(IntakeTest, ImportSaysWhatIsWrongWithEachRefusedFile)
{
    for (const testsupport::RefusedPicture& f : testsupport::MakeRefusedPictures(TempDir())) {
        SCOPED_TRACE(f.path);
        doc->m_statusMessage.clear();
        ASSERT_EQ(Import({f.path}), 1);
        EXPECT_EQ(doc->m_statusMessage, f.path + "\nCurrent file format is not supported." +
                                            (f.reason.empty() ? "" : " (" + f.reason + ")"));
        EXPECT_EQ(doc->FindEntryIndex(f.path, 0), -2);
    }
    EXPECT_EQ(doc->GetPieceCount(), 0);
}

TEST_F(IntakeTest, APictureLargerThanAProjectKeepsIsRefusedWithItsSize)
{
    // The photos are read small on import, so only their headers' sizes can stop them: a project
    // holding one would be refused as damaged when it is opened again.
    const std::string dir = TempDir();
    const std::string good = WritePicture(dir + "/good.bmp", 200, 150);
    // Start of image, a baseline frame header of three components, end of image.
    auto jpegHeader = [](int w, int h) {
        return std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 17, 8, uint8_t(h >> 8), uint8_t(h),
                                    uint8_t(w >> 8), uint8_t(w), 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0,
                                    0xFF, 0xD9};
    };
    // A 24-bit BMP one pixel wider than a picture may be, two rows high: real pixels, zeros.
    auto wideBmp = [](int w) {
        const uint32_t row = (3u * uint32_t(w) + 3u) / 4u * 4u;
        std::vector<uint8_t> b(54 + 2 * size_t(row), 0);
        auto put = [&b](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                b[at + size_t(i)] = uint8_t(v >> (8 * i));
        };
        b[0] = 'B', b[1] = 'M';
        put(2, uint32_t(b.size()));
        put(10, 54);
        put(14, 40);
        put(18, uint32_t(w));
        put(22, 2);
        b[26] = 1, b[28] = 24;
        put(34, 2 * row);
        return b;
    };
    const struct {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string reason;
    } cases[] = {
        {"huge.jpg", jpegHeader(65535, 65535), "too large: 65535 x 65535 pixels, over the limit of 2147483647 pixels"},
        {"wide.bmp", wideBmp(1000001), "too large: 1000001 x 2 pixels, over the limit of 1000000 pixels a side"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/" + c.name;
        WriteBytes(path, c.bytes);
        const std::string refused = path + "\nCurrent file format is not supported. (" + c.reason + ")";
        // Import Photos reads each photo at once.
        doc->m_statusMessage.clear();
        ASSERT_EQ(Import({path}), 1);
        EXPECT_EQ(doc->m_statusMessage, refused);
        EXPECT_EQ(doc->FindEntryIndex(path, 0), -2);
        // A dropped list reads only the sizes of all but its last name.
        doc->m_statusMessage.clear();
        doc->m_droppedNames = path + ";" + good + ";";
        doc->AddDroppedPictures();
        EXPECT_EQ(doc->m_statusMessage, refused);
        EXPECT_EQ(doc->FindPieceIndexByName(path), -2);
        EXPECT_GE(doc->FindPieceIndexByName(good), 0);
    }
    EXPECT_EQ(doc->GetPieceCount(), 1);
}

TEST_F(IntakeTest, UnreadableFileShowsTheFormatTextAndLeavesNoEntry)
{
    const std::string dir = TempDir();
    const std::string good = WriteJpegWithExif(dir + "/good.jpg", 640, 480, 1, 250, 28);
    std::vector<uint8_t> bytes = ReadBytes(good);
    bytes.resize(bytes.size() / 3);
    const std::string truncated = dir + "/cut.jpg";
    WriteBytes(truncated, bytes);
    ASSERT_EQ(Import({truncated}), 1);
    EXPECT_EQ(doc->m_statusMessage, truncated + "\nCurrent file format is not supported.");
    EXPECT_EQ(doc->GetPieceCount(), 0);
    EXPECT_EQ(doc->FindEntryIndex(truncated, 0), -2);
}

TEST_F(IntakeTest, PictureTheSetCannotOpenIsNotEnteredAndItsFinderItemIsReleased)
{
    // The reader answers for a file that is gone by the time the picture set opens it.
    SetImageReader([](const std::string&, CPixelArray& px, CSize& s, const CRect&) {
        px.SetSize(160 * 120);
        s = CSize(640, 480);
        return 1;
    });
    const std::string gone = TempDir() + "/gone.jpg";
    doc->RegisterPicture(gone, 77);
    doc->m_droppedNames = gone;
    EXPECT_EQ(doc->AddFirstDroppedPicture(), -1);
    EXPECT_EQ(doc->GetPieceCount(), 0);
    const int i = doc->FindEntryIndex(gone, 0);
    ASSERT_GE(i, 0);
    EXPECT_EQ(Entry(i).m_State, 1);
    EXPECT_EQ(Entry(i).m_EntryFlag, 0);
    ASSERT_EQ(work.log.Count(HINT_PIECE_REFUSED), 1);
}

TEST_F(IntakeTest, DropOnTheCentreCellMakesTheBasePictureWithItsTurnedSize)
{
    const std::string a = WritePicture(TempDir() + "/a.bmp", 300, 200);
    for (int turn = 0; turn < 4; ++turn) {
        doc->SetModifiedFlag(false);
        ASSERT_TRUE(doc->FileNew());
        ASSERT_EQ(Import({a}), 1);
        const int i = doc->GetPieceEntry(0);
        Entry(i).m_QuarterTurns = turn;
        doc->m_dropPoint = CPoint(5, 5);
        EXPECT_EQ(doc->DropPiece(i), 5) << turn;
        EXPECT_EQ(doc->m_undoKind, 15);
        EXPECT_EQ(doc->m_cellSize, turn % 2 ? CSize(200, 300) : CSize(300, 200)) << turn;
        EXPECT_EQ(Picture(a)->QuarterTurns, turn);
        EXPECT_EQ(facade->GetFittedCount(), 1);
    }
}

TEST_F(IntakeTest, FailedPlacementAnswersTheFailureAndKeepsTheCellSize)
{
    const std::string a = WritePicture(TempDir() + "/a.bmp", 300, 200);
    ASSERT_EQ(Import({a}), 1);
    facade->placeAnswer = -1;
    doc->m_dropPoint = CPoint(5, 5);
    EXPECT_LT(doc->DropPiece(doc->GetPieceEntry(0)), 0);
    EXPECT_EQ(doc->m_cellSize, CSize(240, 240));
}

TEST_F(IntakeTest, DropHintIsShownAtMostTwicePerProject)
{
    std::vector<std::string> names;
    LayBase(3, &names);
    int shown = 0;
    for (int i = 1; i <= 3; ++i) {
        doc->m_statusMessage.clear();
        doc->m_dropPoint = CSmDoc::kNoCell;
        doc->DropPiece(doc->GetPieceEntry(i));
        shown += doc->m_statusMessage == Catalogue().selectNextPicture;
    }
    EXPECT_EQ(shown, 2);
}

TEST_F(IntakeTest, PiecesReleasedTogetherFillTheRowAroundTheGrabbedOne)
{
    std::vector<std::string> names;
    LayBase(4, &names);
    for (int n = 1; n <= 4; ++n)
        Entry(doc->GetPieceEntry(n)).m_State = 7;
    const CSize cell = doc->m_cellSize;
    ASSERT_EQ(doc->SetFrame(2, 0, CPoint(1300, 0), 100, 100), 3);
    doc->m_dropPoint = CPoint(1300, 0);
    EXPECT_EQ(doc->PlacePiecesInRow(doc->GetPieceEntry(2)), 1);
    const int columns[] = {1, 2, 3, 4};
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(Entry(doc->GetPieceEntry(n)).m_PieceSlot.x, columns[n - 1]) << n;
    EXPECT_EQ(doc->m_undoKind, 11);
    EXPECT_EQ(doc->m_undoNames.size(), 4u);
    EXPECT_EQ(doc->m_cellSize, cell) << "with one fitted picture the cell size stays";
    EXPECT_EQ(work.log.Codes().back(), HINT_DROP_DONE);

    doc->m_dropPoint = CPoint(90000, 90000);
    EXPECT_EQ(doc->PlacePiecesInRow(doc->GetPieceEntry(2)), 0) << "released in no cell";
}

TEST_F(IntakeTest, EjectSelectionAsksBeforeUnfittingTheBase)
{
    std::vector<std::string> names;
    LayBase(2, &names);
    Entry(doc->GetPieceEntry(0)).m_State = 7;
    Entry(doc->GetPieceEntry(1)).m_State = 7;
    box.Clear();
    box.QueueAnswer(platform::IDNO);
    EXPECT_EQ(doc->EjectPieces(CSmDoc::kNoPiece), 0);
    EXPECT_EQ(doc->GetPieceCount(), 3);
    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(box.Shown()[0], "We are going to unfit all pictures. are you sure?");

    box.QueueAnswer(platform::IDYES);
    doc->SetModifiedFlag(false);
    EXPECT_EQ(doc->EjectPieces(CSmDoc::kNoPiece), 2);
    EXPECT_EQ(doc->GetPieceCount(), 1);
    EXPECT_EQ(doc->m_undoKind, 15);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(work.log.Count(HINT_PIECE_OUT), 2);
}

TEST_F(IntakeTest, UselessPiecesAndTilingAreClearedAndMarkTheProjectModified)
{
    std::vector<std::string> names;
    LayBase(2, &names);
    ASSERT_EQ(doc->SetPieceCell(doc->GetPieceEntry(1), 1, 0), 1);
    doc->SetModifiedFlag(false);
    EXPECT_EQ(doc->ClearTiling(), 1);
    EXPECT_EQ(Entry(doc->GetPieceEntry(1)).m_PieceSlot, CPoint());
    EXPECT_TRUE(doc->IsModified());

    doc->SetModifiedFlag(false);
    work.log.Clear();
    EXPECT_EQ(doc->EjectUselessPieces(), 2) << "the two pieces in no cell; the fitted base stays";
    EXPECT_EQ(doc->GetPieceCount(), 1);
    EXPECT_TRUE(doc->IsModified());
    // Ejected as every piece is: the finder hears of each.
    EXPECT_EQ(work.log.Count(HINT_PIECE_OUT), 2);
}

TEST_F(IntakeTest, CountingRulesOverThePieceList)
{
    std::vector<std::string> names;
    LayBase(3, &names);
    EXPECT_EQ(doc->CountPiecesToFit(), -1) << "the base lies in the centre cell, which counts as none";
    doc->SetPieceCell(doc->GetPieceEntry(1), 1, 0);
    EXPECT_EQ(doc->CountPiecesToFit(), 1);
    doc->SelectAllPieces();
    EXPECT_EQ(doc->CountSelectedPieces(), 4);
    EXPECT_EQ(doc->CountSelectedFittedPieces(), 1);
    EXPECT_EQ(doc->CountSelectedUnfittedPieces(), 3);
    doc->DeselectAllPieces();
    EXPECT_EQ(doc->GetFirstSelectedEntry(), -1);
    EXPECT_EQ(doc->FindPieceIndexByName(ToUpper(names[2])), doc->GetPieceEntry(2));
    EXPECT_EQ(doc->GetPieceEntry(4), -2);
    EXPECT_EQ(doc->HitTestFittedPiece(CPoint(0, 0)), names[0]);
    EXPECT_EQ(doc->HitTestFittedPiece(CPoint(400, 0)), "");
}

} // namespace
} // namespace doctest

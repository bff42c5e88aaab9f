// Picture entries: camera texts, registering and reading, recycling, the memory budget for
// full-size images, picture windows, the title text and the default rendering area.
#include <gtest/gtest.h>

#include "doc_test_support.h"

namespace doctest {
namespace {

using EntriesTest = DocTest;

TEST_F(EntriesTest, CameraTextsOfTheFullReadAndOfTheSizeRead)
{
    const std::string dir = TempDir();
    const std::string fast = WriteJpegWithExif(dir + "/fast.jpg", 640, 480, 1, 250, 28);
    const std::string slow = WriteJpegWithExif(dir + "/slow.jpg", 640, 480, 1, 1, 0);

    const int full = doc->RegisterPicture(fast, 0);
    ASSERT_GE(full, 0);
    EXPECT_EQ(Entry(full).m_ExposureText, "0.00400 (1/250) ");
    EXPECT_EQ(Entry(full).m_FNumberText, "2.8");
    EXPECT_NEAR(Entry(full).m_ExposureFigure, 0.004 * 1000000.0 / (2.8 * 2.8), 1e-6);
    EXPECT_EQ(Entry(full).m_Size, CSize(640, 480));
    EXPECT_EQ(doc->IsEntryReady(full), 1);

    ASSERT_TRUE(doc->FileNew());
    const int sized = doc->RegisterPictureSize(fast);
    ASSERT_GE(sized, 0);
    EXPECT_EQ(Entry(sized).m_ExposureText, "0.00400 (1/ 250) ");
    EXPECT_EQ(Entry(sized).m_State, 6);
    EXPECT_EQ(doc->IsEntryReady(sized), -1) << "no small image yet";

    const int one = doc->RegisterPicture(slow, 0);
    ASSERT_GE(one, 0);
    EXPECT_EQ(Entry(one).m_ExposureText, "1.00000 ");
    EXPECT_EQ(Entry(one).m_FNumberText, "");
    EXPECT_EQ(Entry(one).m_ExposureFigure, 0.0) << "no F number, no exposure measure";
}

TEST_F(EntriesTest, ReadyEntriesAreNotReadAgainAndIncompleteOnesAre)
{
    int reads = 0;
    SetImageReader([&](const std::string& p, CPixelArray& px, CSize& s, const CRect& r) {
        ++reads;
        return LoadImageFile(p, px, s, r);
    });
    const std::string a = WritePicture(TempDir() + "/a.bmp", 200, 150);
    const int i = doc->RegisterPicture(a, 7);
    ASSERT_GE(i, 0);
    EXPECT_EQ(Entry(i).m_EntryFlag, 7);
    EXPECT_EQ(doc->RegisterPicture(a, 7), i);
    EXPECT_EQ(reads, 1);
    Entry(i).m_PixelCache.SetSize(19199);
    EXPECT_EQ(doc->IsEntryReady(i), -1);
    EXPECT_EQ(doc->RegisterPicture(a, 7), i);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(Entry(i).m_PixelCache.GetSize(), 19200);
}

TEST_F(EntriesTest, UnreadablePictureLeavesNoEntryBehind)
{
    const std::string dir = TempDir();
    const std::string text = dir + "/notes.jpg";
    WriteBytes(text, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(doc->RegisterPicture(text, 5), -1);
    EXPECT_EQ(doc->FindEntryIndex(text, 0), -2);
    EXPECT_EQ(doc->RegisterPictureSize(text), -1);
    EXPECT_EQ(doc->RegisterPicture(dir + "/a.mov", 0), -1);
    EXPECT_EQ(doc->FindEntryIndex(dir + "/a.mov", 0), -2);
}

TEST_F(EntriesTest, RecycledEntryStartsWithoutTheFormerColourCorrection)
{
    const std::string a = WritePicture(TempDir() + "/a.bmp", 200, 150);
    const int i = doc->RegisterPicture(a, 0);
    ASSERT_EQ(i, 0);
    Entry(i).m_ColorModel.dY = 20.0;
    Entry(i).m_State = 0; // freed
    const int j = doc->AllocateEntry();
    EXPECT_EQ(j, 0);
    EXPECT_FALSE(Entry(j).m_ColorModel.IsActive());
    EXPECT_EQ(Entry(j).m_Name, "");
}

TEST_F(EntriesTest, EntriesGrowWhenEveryOneIsAPiece)
{
    for (CPictureEntry& e : doc->m_entries) {
        e.m_Name = "x";
        e.m_State = 6;
        e.m_Size = CSize(10, 10);
    }
    EXPECT_EQ(doc->AllocateEntry(), 500);
    EXPECT_EQ(doc->m_entries.size(), 1000u);
    doc->m_entries[3].m_State = 2;
    EXPECT_EQ(doc->AllocateEntry(), 500) << "free entries of the grown part come first";
}

TEST_F(EntriesTest, MemoryBudgetFreesTheOldestImagesButKeepsTwoAndNoneDuringAJob)
{
    const std::string dir = TempDir();
    std::vector<std::string> names;
    for (const char* n : {"a", "b", "c", "d"}) {
        names.push_back(WritePicture(dir + "/" + n + ".bmp", 200, 150));
        ASSERT_NE(doc->m_pComp->OpenPicture(names.back()), nullptr);
        Picture(names.back())->Pixels.SetSize(200 * 150);
        doc->m_readImages.push_back(names.back());
    }
    memory.Status().totalPageFile = 1000000;
    memory.Status().availablePageFile = 0; // never enough

    {
        platform::JobScope job;
        doc->ReserveImageMemory("", 0);
        for (const std::string& n : names)
            EXPECT_EQ(Picture(n)->Pixels.GetSize(), 200 * 150) << "the engine may be using " << n;
    }
    doc->ReserveImageMemory(dir + "/e.bmp", 0);
    EXPECT_EQ(Picture(names[0])->Pixels.GetSize(), 0);
    EXPECT_EQ(Picture(names[1])->Pixels.GetSize(), 0);
    EXPECT_EQ(Picture(names[2])->Pixels.GetSize(), 200 * 150);
    EXPECT_EQ(doc->m_readImages, (std::list<std::string>{names[2], names[3], dir + "/e.bmp"}));
    EXPECT_EQ(doc->m_idleStepMode, 0);

    memory.Status().availablePageFile = 1000000;
    doc->m_idleStepMode = 2;
    doc->ReserveImageMemory(names[2], 100);
    EXPECT_EQ(doc->m_idleStepMode, 2) << "enough memory frees nothing";
    EXPECT_EQ(doc->m_readImages.size(), 3u) << "a known name is not added twice";
}

TEST_F(EntriesTest, TitleNamesTheFirstPieceTheProjectionAndTheZoom)
{
    frame.text = "SmraPlan - Seamora";
    EXPECT_EQ(doc->UpdateTitleText(""), "SmraPlan");
    EXPECT_EQ(frame.text, "SmraPlan [ no picture  -  Linear 100% ]");

    const std::string dir = TempDir();
    ASSERT_EQ(Import({WritePicture(dir + "/a.bmp", 200, 150), WritePicture(dir + "/b.bmp", 200, 150)}), 1);
    doc->m_zoomDivisor = 4;
    doc->UpdateTitleText("");
    EXPECT_EQ(frame.text, "SmraPlan [ A.BMP and others -  Linear 25% ]");

    frame.text = "Plain";
    EXPECT_EQ(doc->UpdateTitleText(""), "");
    EXPECT_EQ(frame.text, "Plain") << "a title without a suffix is left alone";
    EXPECT_EQ(doc->UpdateTitleText("Whole new"), "");
    EXPECT_EQ(frame.text, "Whole new");

    doc->RemoveView(&work);
    doc->RemoveView(&thumb);
    EXPECT_EQ(doc->UpdateTitleText(""), "");
}

TEST_F(EntriesTest, FullTurnDefaultAreaIsNarrowedToThreeHundredSixtyDegreesAndCentred)
{
    facade->bounds = CRect(-2100, -300, 2100, 300); // 4200 units span 420 degrees
    facade->span = [](const CRect& a) { return static_cast<int>(int64_t(a.Width()) * 420 / 4200); };
    const int width = doc->SetDefaultRenderArea();
    CRect reached = doc->m_defaultArea;
    reached.right += 1; // the edge steps back one unit after the renderer answered 360
    EXPECT_EQ(facade->span(reached), 360) << width;
    EXPECT_EQ(doc->m_fullTurnWidth, width);
    EXPECT_LE(std::abs(doc->m_defaultArea.CenterPoint().x), 1);
    EXPECT_EQ(doc->m_defaultArea.top, -300);

    facade->bounds = CRect(0, 0, 400, 600);
    facade->span = [](const CRect&) { return 90; };
    EXPECT_EQ(doc->SetDefaultRenderArea(), 400);
    EXPECT_EQ(doc->m_defaultArea, CRect(0, 300 - 100, 400, 300 + 100)) << "a tall box is trimmed to a band";
}

class FakeWindow : public IPictureWindow {
public:
    FakeWindow(int* opens, bool ok) : m_opens(opens), m_ok(ok) {}
    const std::string& GetPath() const override { return m_path; }
    bool HasWindow() const override { return m_window; }
    void DestroyWindow() override { m_window = false; }
    int Open(const std::string& path, int w, int h, int turn) override
    {
        ++*m_opens;
        m_path = path;
        size = CSize(w, h);
        this->turn = turn;
        m_window = m_ok;
        return m_ok ? 1 : -1;
    }
    const CBitmapBuffer* GetBitmap() const override { return nullptr; }
    CSize size;
    int turn = -9;

private:
    int* m_opens;
    bool m_ok;
    bool m_window = true;
    std::string m_path;
};

TEST_F(EntriesTest, PictureWindowsOpenOncePerPathTakeTheEntrysSizeAndCountUp)
{
    int opens = 0;
    bool ok = true;
    SetPictureWindowFactory([&](IFrameWindow*) { return std::make_unique<FakeWindow>(&opens, ok); });
    const std::string a = WritePicture(TempDir() + "/a.bmp", 200, 150);
    const int i = doc->RegisterPicture(a, 0);
    Entry(i).m_QuarterTurns = 3;
    EXPECT_EQ(doc->OpenPictureWindow(&frame, a, 0, 0, -1), 1);
    auto* w = static_cast<FakeWindow*>(doc->FindPictureWindow(a));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->size, CSize(200, 150));
    EXPECT_EQ(w->turn, 3);
    EXPECT_EQ(doc->OpenPictureWindow(&frame, a, 0, 0, -1), 1);
    std::string path;
    EXPECT_EQ(doc->CountPictureWindows(path), 1) << "the older window of the path was closed";
    EXPECT_EQ(path, a);
    EXPECT_EQ(doc->OpenPictureWindow(&frame, "/elsewhere/b.bmp", 10, 10, 2), 1);
    EXPECT_EQ(static_cast<FakeWindow*>(doc->FindPictureWindow("/elsewhere/b.bmp"))->turn, 0) << "no entry, no turn";
    EXPECT_EQ(doc->CountPictureWindows(path), 2);
    EXPECT_EQ(path, "");

    ok = false;
    EXPECT_EQ(doc->OpenPictureWindow(&frame, "/elsewhere/c.bmp", 10, 10, 0), -1);
    EXPECT_EQ(doc->CountPictureWindows(path), 2);
    EXPECT_EQ(doc->ClosePictureWindows(a), 1);
    EXPECT_EQ(doc->ClosePictureWindows(a), 0);
    EXPECT_EQ(doc->RemovePictureWindow(doc->FindPictureWindow("/elsewhere/b.bmp")), 1);
    EXPECT_EQ(doc->CountPictureWindows(path), 0);
}

} // namespace
} // namespace doctest

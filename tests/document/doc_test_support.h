// What the project document's tests share: a recording frame and views, a facade whose fitting
// answers are set by the test, generated picture files (JPEG with camera data, BMP, PNG, text,
// truncated JPEG), and a fixture that builds a fresh document with fakes for every service.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "document/sm_doc.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_array.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mcomp.h"
#include "platform/clock.h"
#include "platform/file_dialog.h"
#include "platform/idle_state.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"
#include "platform/system_services.h"

namespace doctest {

struct Hint {
    int code;
    int value;
    std::string path;
};

class RecordingFrame : public IFrameWindow {
public:
    std::string GetWindowText() const override { return text; }
    void SetWindowText(const std::string& t) override { text = t; }
    std::string text;
};

// Keeps every hint it is told, in order.
class HintLog {
public:
    void Record(int hint, const HintObject& object)
    {
        hints.push_back({hint, object.value, object.path ? *object.path : std::string()});
    }
    std::vector<int> Codes() const
    {
        std::vector<int> c;
        for (const Hint& h : hints)
            c.push_back(h.code);
        return c;
    }
    int Count(int code) const
    {
        int n = 0;
        for (const Hint& h : hints)
            n += h.code == code;
        return n;
    }
    void Clear() { hints.clear(); }
    std::vector<Hint> hints;
};

class RecordingWorkView : public IWorkView {
public:
    void OnUpdate(IDocumentView*, int hint, const HintObject& object) override { log.Record(hint, object); }
    IFrameWindow* GetParentFrame() override { return frame; }
    int ProcessLoadQueue() override { return loadSteps-- > 0 ? 1 : 0; }
    void RepaintNow() override { ++repaints; }
    void UpdateNow() override { ++updates; }
    void MarkCellsInArea() override { calls.push_back("mark"); }
    void EraseMarkedCells() override { calls.push_back("erase"); }
    void ClearCanvas() override { calls.push_back("clear"); }
    void QueuePictureLoad(const std::string& path) override { calls.push_back("queue " + path); }

    HintLog log;
    IFrameWindow* frame = nullptr;
    int loadSteps = 0;
    int repaints = 0;
    int updates = 0;
    std::vector<std::string> calls;
};

class RecordingThumView : public IThumView {
public:
    void OnUpdate(IDocumentView*, int hint, const HintObject& object) override { log.Record(hint, object); }
    int SetThumbnail(int entry) override
    {
        thumbnails.push_back(entry);
        return 1;
    }
    void RepaintNow() override { ++repaints; }
    CRect ScreenClientRect() const override { return rect; }

    HintLog log;
    CRect rect{0, 500, 160, 620};
    std::vector<int> thumbnails;
    int repaints = 0;
};

// A facade whose engine answers are the test's: fitted count from the pictures' status,
// placing a dropped picture fits it, outlines and bounds are set by the test.
class FakeFacade : public CMcomp {
public:
    int GetFittedCount() const override
    {
        int n = 0;
        for (int i = 0; i < GetPictureCount(); ++i)
            n += GetPictureAt(i)->m_Status >= 3;
        return n;
    }
    int UnfitPicture(const std::string& path) override
    {
        if (CKpic* k = FindPicture(path))
            k->m_Status = 0;
        return 1;
    }
    int AssignGridCells() override { return 1; }
    int PlaceDroppedPicture(const std::string& path, CPoint, CPoint, int, int, double) override
    {
        ++placeCalls;
        if (placeAnswer == 1) {
            if (CKpic* k = FindPicture(path)) {
                k->m_Status = 3;
                // The first picture lies at the centre of the work space.
                const CRect r = k->m_PictureRect;
                if (!outlines.count(path))
                    outlines[path] = CRect(-r.Width() / 2, -r.Height() / 2, r.Width() - r.Width() / 2,
                                           r.Height() - r.Height() / 2);
            }
        }
        return placeAnswer;
    }
    CRect GetBoundingRect() const override { return bounds; }
    int ResetAllPictures() override
    {
        for (int i = 0; i < GetPictureCount(); ++i)
            GetPictureAt(i)->m_Status = 0;
        return 1;
    }
    int SaveUndoSnapshot() override { return ++snapshots; }
    int OptimizeFit() override { return ++optimizations; }
    CPoint PixelToPictureD(CKpic* picture, double x, double y) override
    {
        const CRect o = GetPlacedOutline(picture->m_Path);
        return CPoint(static_cast<int>(x) - o.left, static_cast<int>(y) - o.top);
    }
    CRect GetPlacedOutline(const std::string& path) override
    {
        auto it = outlines.find(path);
        CKpic* k = FindPicture(path);
        return it == outlines.end() || !k || k->m_Status <= 1 ? CRect() : it->second;
    }
    int IdleStep(int level) override
    {
        idleLevels.push_back(level);
        if (idleAnswers.empty())
            return 0;
        const int a = idleAnswers.front();
        idleAnswers.pop_front();
        return a;
    }
    int SetupRender(const CRect& area, int, int, int) override { return span ? span(area) : 1; }
    // The engine's fit, or the answer the test gives it.
    int RunAutoFit() override { return fitAnswer ? fitAnswer : CMcomp::RunAutoFit(); }
    int RunAutoFit360() override { return fitAnswer ? fitAnswer : CMcomp::RunAutoFit360(); }

    int placeAnswer = 1;
    int placeCalls = 0;
    int snapshots = 0;
    int optimizations = 0;
    CRect bounds;
    std::map<std::string, CRect> outlines;
    std::deque<int> idleAnswers;
    std::vector<int> idleLevels;
    std::function<int(const CRect&)> span;
    int fitAnswer = 0;
};

// ---- Generated picture files ---------------------------------------------------------------

inline std::string TempDir()
{
    const std::string dir = std::string(SMRA_TEST_TMPDIR) + "/" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(dir);
    return dir;
}

// A picture file of any writable kind with a smooth pattern.
inline std::string WritePicture(const std::string& path, int w, int h)
{
    CPixelArray strip;
    strip.SetSize(int64_t(w) * 16);
    EXPECT_EQ(SaveImageBegin(path, w, h, 72, std::string(), 10), 1) << path;
    for (int n : GetSaveStripOrder(path, h)) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < w; ++x)
                strip[int64_t(y) * w + x] = RGB(x * 255 / w, (16 * n + y) * 255 / h, 128);
        EXPECT_EQ(SaveImagePut(path, strip, n), 1);
    }
    EXPECT_EQ(SaveImageEnd(path, 1), 1);
    return path;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A JPEG with camera data: exposure time num/den seconds and F number fnum/10.
inline std::string WriteJpegWithExif(const std::string& path, int w, int h, uint32_t expNum, uint32_t expDen,
                                     uint32_t fnum10)
{
    WritePicture(path, w, h);
    std::vector<uint8_t> jpeg = ReadBytes(path);
    std::vector<uint8_t> t;
    auto u16 = [&](uint32_t v) { t.push_back(uint8_t(v)); t.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    // TIFF header, IFD0 with the Exif pointer, the Exif directory with two rationals.
    t = {'I', 'I'};
    u16(42);
    u32(8);
    u16(1);
    u16(34665); u16(4); u32(1); u32(26);
    u32(0);
    const uint32_t data = 26 + 2 + 2 * 12 + 4;
    u16(2);
    u16(33434); u16(5); u32(1); u32(data);
    u16(33437); u16(5); u32(1); u32(data + 8);
    u32(0);
    u32(expNum); u32(expDen);
    u32(fnum10); u32(10);
    std::vector<uint8_t> app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), t.begin(), t.end());
    const size_t len = app1.size() - 2;
    app1[2] = uint8_t(len >> 8);
    app1[3] = uint8_t(len);
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    WriteBytes(path, jpeg);
    return path;
}

// ---- The fixture -----------------------------------------------------------------------------

struct FatalExitCalled {
    int code;
};

class DocTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetDocumentProcessState();
        platform::ResetRunningJobs();
        platform::SetMessageBox(&box);
        platform::SetFileDialog(&dialog);
        platform::SetClock(&clock);
        platform::SetMemory(&memory);
        platform::SetStatusBar(&statusBar);
        platform::DefaultInput().Reset();
        SetFacadeFactory([this] {
            auto f = std::make_unique<FakeFacade>();
            facade = f.get();
            return f;
        });
        SetFatalExitHandler([](int code) { throw FatalExitCalled{code}; });
        doc = std::make_unique<CSmDoc>();
        work.frame = &frame;
        doc->AddView(&work);
        doc->AddView(&thumb);
        ASSERT_TRUE(doc->FileNew());
        work.log.Clear();
        thumb.log.Clear();
    }
    void TearDown() override
    {
        doc.reset();
        ResetDocumentProcessState();
        platform::SetMessageBox(nullptr);
        platform::SetFileDialog(nullptr);
        platform::SetClock(nullptr);
        platform::SetMemory(nullptr);
        platform::SetStatusBar(nullptr);
        platform::ResetRunningJobs();
    }

    CPictureEntry& Entry(int i) { return doc->m_entries[static_cast<size_t>(i)]; }
    CKpic* Picture(const std::string& path) { return doc->FindPictureByName(path); }

    // Enters pictures as pieces the way Import Photos does.
    int Import(const std::vector<std::string>& paths)
    {
        dialog.QueuePaths(paths);
        return doc->ImportPhotos();
    }

    platform::FakeMessageBox box;
    platform::FakeFileDialog dialog;
    platform::FakeClock clock;
    platform::FakeMemoryStatus memory;
    platform::RecordingStatusBar statusBar;
    RecordingFrame frame;
    RecordingWorkView work;
    RecordingThumView thumb;
    FakeFacade* facade = nullptr;
    std::unique_ptr<CSmDoc> doc;
};

} // namespace doctest

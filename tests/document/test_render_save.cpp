// Render and Save: the proposed name, the refusals that touch nothing, the band order and the
// writers, the outcome's report and the idle state afterwards.
#include <gtest/gtest.h>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "render_save_support.h"

namespace doctest {
namespace {

using render_save::OutputProposal;
using render_save::ProposeOutputName;

TEST(RenderSaveRules, ProposedNameAndFilter)
{
    struct Case {
        const char* last;
        const char* project;
        const char* picture;
        int areaMode;
        const char* name;
        int filter;
    };
    const Case cases[] = {
        {"", "", "", 0, "FitImage.JPG", 1},
        {"/home/u/my.pics/pano.tif", "", "", 0, "/home/u/my.pics/pano.JPG", 1},
        {"/out/pano.PNG", "", "", 0, "/out/pano.JPG", 1},
        {"/out/pano.bmp", "", "", 0, "/out/pano.BMP", 2},
        {"/out/pano.mov", "", "", 0, "/out/pano.MOV", 6},
        {"/out/pano.jpg", "", "", 3, "/out/pano.MOV", 5},
        {"/out/my.pics/noext", "/p/plan.fit", "", 0, "/p/plan.JPG", 1},
        {"", "", "/photos/img_4209.jpg", 0, "/photos/FitIMG_4209.JPG", 1},
        {"", "", "/photos/.hidden", 3, "FitImage.MOV", 5},
    };
    for (const Case& c : cases) {
        const OutputProposal p = ProposeOutputName(c.last, c.project, c.picture, c.areaMode);
        EXPECT_EQ(p.name, c.name) << c.last << " | " << c.project << " | " << c.picture;
        EXPECT_EQ(p.filterIndex, c.filter) << c.name;
    }
}

TEST(RenderSaveRules, SizeLimitsAndTitles)
{
    EXPECT_FALSE(render_save::FitsFileKind(FILE_KIND_JPEG, 70000, 100)) << "wider than a JPEG can be";
    EXPECT_TRUE(render_save::FitsFileKind(FILE_KIND_BMP, 70000, 10000));
    EXPECT_FALSE(render_save::FitsFileKind(FILE_KIND_BMP, 70000, 10200)) << "pixel measure 714000";
    EXPECT_TRUE(render_save::FitsFileKind(FILE_KIND_MOVIE, 16000, 800));
    EXPECT_FALSE(render_save::FitsFileKind(FILE_KIND_MOVIE, 16000, 820)) << "pixel measure 13120";
    EXPECT_FALSE(render_save::FitsFileKind(FILE_KIND_MOVIE, 16001, 100));
    EXPECT_EQ(render_save::DiskEstimate(FILE_KIND_JPEG, 1000, 500), 100000);
    EXPECT_EQ(render_save::DiskEstimate(FILE_KIND_BMP, 1000, 500), 502000);
    EXPECT_EQ(render_save::DiskEstimate(FILE_KIND_MOVIE, 1000, 500), 625000);

    EXPECT_EQ(render_save::TitleFromOutputPath("/x/y.z/pano.jpg"), "pano");
    EXPECT_EQ(render_save::TitleFromOutputPath("/x/y.z/pano"), "");
    EXPECT_EQ(render_save::TitleFromOutputPath("/x/.jpg"), "");
    EXPECT_EQ(render_save::TitleFromOutputPath("a.b.tif"), "a.b");
}

TEST_F(RenderSaveTest, OutputSizeOfEachSizeModeOnTheDefaultArea)
{
    doc->m_renderArea = CRect();
    const CSize expected[] = {{365, 273}, {257, 192}, {182, 136}, {320, 240}};
    for (int mode = 0; mode < 4; ++mode) {
        const CSize s = doc->CalcOutputSize(mode, 1);
        EXPECT_EQ(s.cx, expected[mode].cx) << mode;
        EXPECT_EQ(s.cy, expected[mode].cy) << mode;
    }
}

TEST_F(RenderSaveTest, WithoutAFittedPictureOnlyTheStatusMessageIsSet)
{
    Picture(photo)->m_Status = 0;
    const size_t asked = dialog.Requests().size();
    doc->RenderAndSave();
    EXPECT_EQ(doc->m_statusMessage, Catalogue().cantSaveImage);
    EXPECT_EQ(dialog.Requests().size(), asked);
    EXPECT_EQ(thumb.log.Count(HINT_TIMER), 0);
}

TEST_F(RenderSaveTest, DialogGetsTheProposalTheFilterAndItsExtensions)
{
    doc->m_lastOutputPath = dir + "/pano.TIF";
    dialog.QueueCancel();
    const size_t asked = dialog.Requests().size();
    doc->RenderAndSave();
    ASSERT_EQ(dialog.Requests().size(), asked + 1);
    const platform::FileDialogRequest& r = dialog.Requests().back();
    EXPECT_EQ(r.initialPath, dir + "/pano.JPG");
    EXPECT_EQ(r.filterIndex, 1);
    EXPECT_EQ(r.defaultExt, "JPG");
    EXPECT_EQ(r.filterExtensions, render_save::OutputFilterExtensions());
    EXPECT_EQ(platform::FilterPatterns(r.filter).size(), 6u);
    EXPECT_EQ(doc->m_lastOutputPath, dir + "/pano.TIF") << "a cancel keeps the last output";

    doc->m_areaMode = 3;
    dialog.QueueCancel();
    doc->RenderAndSave();
    EXPECT_EQ(dialog.Requests().back().filterIndex, 5);
    EXPECT_EQ(GetFileExt(dialog.Requests().back().initialPath), "MOV");
}

TEST_F(RenderSaveTest, WritesEachKindReadableAtTheOutputSizeAndNamesTheNewProject)
{
    int opened = 0;
    SetPictureWindowFactory([&](IFrameWindow*) {
        struct Window : IPictureWindow {
            explicit Window(int* n) : opens(n) {}
            const std::string& GetPath() const override { return path; }
            bool HasWindow() const override { return true; }
            void DestroyWindow() override {}
            int Open(const std::string& p, int, int, int) override { path = p; ++*opens; return 1; }
            const CBitmapBuffer* GetBitmap() const override { return nullptr; }
            int* opens;
            std::string path;
        };
        return std::make_unique<Window>(&opened);
    });
    ASSERT_EQ(doc->GetTitle(), "SmraPlan");
    int n = 0;
    for (const char* ext : {"jpg", "bmp", "tif", "png"}) {
        const std::string out = dir + "/pano." + ext;
        SaveAs(out);
        EXPECT_EQ(GetImageFileRect(out), CRect(0, 0, 100, 80)) << ext;
        EXPECT_EQ(doc->m_lastOutputPath, out);
        EXPECT_EQ(opened, ++n) << ext;
        ExpectIdle();
    }
    EXPECT_EQ(doc->GetTitle(), "pano");
    EXPECT_EQ(breakModesSeen, std::set<int>{2}) << "a click on the timer asks while rendering";
    EXPECT_EQ(bands, (std::vector<int>{0, 1, 2, 3, 4, 4, 3, 2, 1, 0, 0, 1, 2, 3, 4, 0, 1, 2, 3, 4}))
        << "a BMP is written from its last band up";

    // The timer picture runs during each job and is stopped after it.
    std::vector<int> timer;
    for (const Hint& h : thumb.log.hints)
        if (h.code == HINT_TIMER)
            timer.push_back(h.value);
    EXPECT_EQ(timer, (std::vector<int>{6, 3, 6, 3, 6, 3, 6, 3}));

    // The pixels arrive where they belong.
    CPixelArray pixels;
    CSize size(100, 80);
    ASSERT_GT(LoadImageFile(dir + "/pano.bmp", pixels, size, CRect()), 0);
    EXPECT_EQ(pixels[int64_t(70) * 100 + 33] & 0xFFFFFF, BandColour(33, 70));

    doc->SetTitle("Named");
    SaveAs(dir + "/other.png");
    EXPECT_EQ(doc->GetTitle(), "Named");
}

TEST_F(RenderSaveTest, RefusalsLeaveEveryFileAsItWas)
{
    const std::string previous = WritePicture(dir + "/prev.jpg", 30, 20);
    const std::vector<uint8_t> previousBytes = ReadBytes(previous);
    const std::string project = dir + "/plan.fit";
    ASSERT_TRUE(doc->DoSave(project));
    const std::vector<uint8_t> projectBytes = ReadBytes(project);
    const std::vector<uint8_t> photoBytes = ReadBytes(photo);
    const std::string longPath = dir + "/" + std::string(241 - 5 - dir.size(), 'a') + ".jpg";
    ASSERT_EQ(longPath.size(), 241u);

    struct Case {
        std::string path;
        std::string message;  // status message, or "" when a message box is expected
        std::string box;
    };
    const Case cases[] = {
        {longPath, longPath + "\n" + Catalogue().cantOpenFile + "\n" + Catalogue().tooLongFileName, ""},
        {project, project + "\n" + Catalogue().cantOpenFile, ""},
        {photo, photo + "\n" + Catalogue().cantOpenFile, ""},
        {dir + "/out.txt", Catalogue().outputExtensionMustBe, ""},
        {dir + "/missing/out.jpg", dir + "/missing/out.jpg\n" + Catalogue().cantOpenFile, ""},
    };
    for (const Case& c : cases) {
        doc->m_statusMessage.clear();
        SaveAs(c.path);
        EXPECT_EQ(doc->m_statusMessage, c.message) << c.path;
        EXPECT_EQ(doc->m_lastOutputPath, c.path) << "the chosen name is remembered";
    }
    EXPECT_FALSE(std::filesystem::exists(longPath));
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.txt"));
    EXPECT_EQ(ReadBytes(project), projectBytes);
    EXPECT_EQ(ReadBytes(photo), photoBytes);

    // Too big for a JPEG: a message box, nothing written.
    SetArea(70000, 100);
    SaveAs(previous);
    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(box.Shown()[0], Catalogue().tooBigToCreate);

    // A full disk.
    SetArea(100, 80);
    freeBytes = 3 * render_save::DiskEstimate(FILE_KIND_JPEG, 100, 80) - 1;
    doc->m_statusMessage.clear();
    SaveAs(previous);
    EXPECT_EQ(doc->m_statusMessage, Catalogue().noDiskSpace);
    EXPECT_EQ(ReadBytes(previous), previousBytes);
    SaveAs(dir + "/new.jpg");
    EXPECT_FALSE(std::filesystem::exists(dir + "/new.jpg"));

    EXPECT_TRUE(bands.empty()) << "nothing was rendered";
    EXPECT_EQ(thumb.log.Count(HINT_TIMER), 0);
}

TEST_F(RenderSaveTest, FailureAndBreakKeepThePreviousFileAndRestoreTheIdleState)
{
    const std::string out = dir + "/pano.jpg";
    WritePicture(out, 30, 20);
    const std::vector<uint8_t> before = ReadBytes(out);
    for (int mode : {0, 1}) {
        bands.clear();
        failAt = mode == 0 ? 2 : -1;
        breakAt = mode == 1 ? 2 : -1;
        SaveAs(out);
        EXPECT_EQ(bands, (std::vector<int>{0, 1, 2})) << mode;
        EXPECT_EQ(doc->m_statusMessage, Catalogue().failedFinalImage) << mode;
        EXPECT_EQ(statusBar.Text(0), Catalogue().failedFinalImage) << mode;
        EXPECT_EQ(ReadBytes(out), before) << mode;
        EXPECT_EQ(doc->GetTitle(), "SmraPlan");
        ExpectIdle();
    }
    // Rendered into a new name: nothing is left behind.
    failAt = 1;
    SaveAs(dir + "/fresh.png");
    EXPECT_FALSE(std::filesystem::exists(dir + "/fresh.png"));
    ExpectIdle();
}

// The render loads the picture images it needs through the document, one after another; with
// memory short, the budget must not free the images read before: the render is using them.
TEST_F(RenderSaveTest, NoPictureImageIsFreedWhileTheRenderRuns)
{
    std::vector<std::string> names;
    for (const char* n : {"a", "b", "c", "d"}) {
        names.push_back(WritePicture(dir + "/" + n + ".bmp", 200, 150));
        ASSERT_NE(doc->m_pComp->OpenPicture(names.back()), nullptr);
    }
    memory.Status().totalPageFile = 1000000;
    memory.Status().availablePageFile = 0;
    std::vector<int64_t> kept;
    render_save::SetBandRenderer([&](CMcomp&, const std::vector<int>& order, const render_save::BandSink& sink) {
        for (const std::string& n : names) {
            doc->ReserveImageMemory(n, 4 * 200 * 150);
            Picture(n)->Pixels.SetSize(200 * 150);
        }
        CPixelArray pixels;
        pixels.SetSize(int64_t(doc->m_outputSize.cx) * render_save::kBandRows);
        for (int band : order)
            if (sink(band, pixels) < 0)
                return -1;
        for (const std::string& n : names)
            kept.push_back(Picture(n)->Pixels.GetSize());
        return 1;
    });
    SaveAs(dir + "/pano.jpg");
    EXPECT_EQ(statusBar.Text(0), "   ") << doc->m_statusMessage;
    EXPECT_EQ(kept, std::vector<int64_t>(names.size(), 200 * 150));
}

TEST_F(RenderSaveTest, RenderToFileReportsSetupFailuresAndAnEmptyRender)
{
    span = 0;
    EXPECT_EQ(doc->RenderToFile(dir + "/a.jpg"), -1);
    span = -5;
    EXPECT_EQ(doc->RenderToFile(dir + "/a.jpg"), -1);
    EXPECT_EQ(box.Shown().back(), Catalogue().memoryTooShort);
    span = 360;
    EXPECT_EQ(doc->RenderToFile(dir + "/a.mov"), -1);
    render_save::SetBandRenderer([](CMcomp&, const std::vector<int>&, const render_save::BandSink&) { return 1; });
    EXPECT_EQ(doc->RenderToFile(dir + "/a.jpg"), 0);
    EXPECT_EQ(doc->m_statusMessage, Catalogue().cannotMakeOutput);
    EXPECT_FALSE(std::filesystem::exists(dir + "/a.jpg"));
    EXPECT_TRUE(bands.empty());
}

TEST_F(RenderSaveTest, HeightSeventeenGivesTwoBandsAndABmpTakesTheLastFirst)
{
    SetArea(40, 17);
    EXPECT_EQ(doc->RenderToFile(dir + "/t.bmp"), 1);
    EXPECT_EQ(bands, (std::vector<int>{1, 0}));
    EXPECT_EQ(GetImageFileRect(dir + "/t.bmp"), CRect(0, 0, 40, 17));
}

} // namespace
} // namespace doctest

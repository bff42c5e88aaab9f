// The headless render driver: a project saved to disk rendered into each output format, the
// result read back and compared with the same render done in process; and its failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/render_band.h"
#include "imagefile/image_file.h"
#include "picset/host_document.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "tests/engine/test_render_fixture.h"
#include "tests/support/run_program.h"

#ifdef SMRA_SMRA_RENDER_PATH

namespace {

namespace fs = std::filesystem;


using CRun = testsupport::ProgramRun;

CRun RunTool(const std::string& args) { return testsupport::RunProgram(SMRA_SMRA_RENDER_PATH, args); }

bool WriteImage(const std::string& path, int w, int h, COLORREF (*colour)(int, int))
{
    if (SaveImageBegin(path, w, h, 72, "", 10) != 1)
        return false;
    CPixelArray strip;
    strip.SetSize(static_cast<std::ptrdiff_t>(kRenderBandRows) * w);
    int status = 0;
    for (int band : GetSaveStripOrder(path, h)) {
        for (int row = 0; row < kRenderBandRows; ++row)
            for (int x = 0; x < w; ++x)
                strip[row * w + x] = colour(x, band * kRenderBandRows + row);
        if (SaveImagePut(path, strip, band) < 0) {
            status = -1;
            break;
        }
    }
    return SaveImageEnd(path, status) == 1 && status == 0;
}

bool ReadImage(const std::string& path, CPixelArray* pixels, CSize* size)
{
    const CRect rect = GetImageFileRect(path);
    *size = CSize(rect.Width(), rect.Height());
    return !rect.IsRectEmpty() && LoadImageFile(path, *pixels, *size, CRect(0, 0, 0, 0)) > 0;
}

// A document that reads a picture's pixels straight from its file.
class CFileDocument : public IHostDocument {
public:
    explicit CFileDocument(CMcCore** core) : m_core(core) {}
    int GetBusyState() const override { return 0; }
    void SetBusyState(int) override {}
    int GetStepFlags() const override { return 0; }
    void SetStepFlags(int) override {}
    void SetCurrentEntry(int) override {}
    void NotifyWorkView(int, const std::string&) override {}
    void SetStatusMessage(const std::string&) override {}
    int FindEntryIndex(const std::string&) override { return -2; }
    bool HasThumView() override { return false; }
    void ShowThumbnail(int) override {}
    void RepaintThumView() override {}
    int TestBreakClick() override { return 0; }
    void UpdateAllViews(const void*, int, const std::string*) override {}
    int LoadPictureImage(const std::string& path) override
    {
        CKpic* picture = *m_core ? (*m_core)->FindPictureByPath(path) : nullptr;
        CSize size;
        return picture && ReadImage(path, &picture->Pixels, &size) ? 1 : -1;
    }

private:
    CMcCore** m_core;
};

// Smooth photos, so that the JPEG output can be held to a PSNR floor.
COLORREF Smooth(int x, int y)
{
    return RGB(40 + x * 3 / 2, 30 + y * 2, 200 - x - y / 2);
}

const char* const kArea = "-200,-100,200,100";
constexpr int kWidth = 200;

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One folder per test: the tests may run at the same time.
        m_dir = fs::path(SMRA_TEST_TMPDIR) / ("render_tool_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        SetEngineModeFlags();
        const double yaws[] = {-0.5, 0.0, 0.5};
        CMcHost host;
        CMcCore core;
        core.m_Host = &host;
        core.m_Projection = 21;
        core.m_CommonFocal = 150.0;
        core.m_Distortion = 0.0;
        core.m_BlendStrength = 0;
        for (int i = 0; i < 3; ++i) {
            const std::string path = (m_dir / ("photo" + std::to_string(i) + ".bmp")).string();
            ASSERT_TRUE(WriteImage(path, 120, 90, Smooth));
            CKpic* picture = core.OpenPicture(path);
            ASSERT_TRUE(picture);
            picture->m_Status = 3;
            picture->m_Focal = 150.0;
            picture->m_DefaultFocal = 150.0;
            picture->m_Direction = CDPoint(yaws[i], 0.05 * i);
            m_photos.push_back(path);
        }
        core.SortPlacedFirst();
        m_project = (m_dir / "project.fit").string();
        ASSERT_EQ(SaveProjectFile(core, m_project).code, 1);
    }

    // The tool's render done here: the project opened the same way, the same area and width.
    std::vector<COLORREF> RenderInProcess(int* width, int* height)
    {
        CMcCore* current = nullptr;
        CFileDocument document(&current);
        CMcHost host;
        host.SetDocument(&document);
        ProjectFileResult opened;
        std::unique_ptr<CMcCore> core = OpenProjectFile(m_project, &host, &opened);
        EXPECT_TRUE(core);
        if (!core)
            return {};
        current = core.get();
        // The optical centres where the picture set puts them after a load (the tool does the
        // same where they are missing).
        for (const auto& p : core->m_Pictures)
            p->m_OpticalCentre = CDPoint((p->Width() - 1) * 0.5, (p->Height() - 1) * 0.5);
        core->m_RenderPriority = 1;
        EXPECT_GT(core->SetupRenderByWidth(-200, -100, 200, 100, kWidth, 0), 0);
        *width = core->m_OutputWidth;
        *height = core->m_OutputHeight;
        std::vector<COLORREF> out;
        EXPECT_EQ(render_fixture::RenderAllSerial(*core, &out), 1);
        return out;
    }

    fs::path m_dir;
    std::string m_project;
    std::vector<std::string> m_photos;
};

TEST_F(RenderTool, WritesEveryFormatAsTheRendererRenders)
{
    int w = 0, h = 0;
    const std::vector<COLORREF> expect = RenderInProcess(&w, &h);
    ASSERT_EQ(w, kWidth);
    ASSERT_EQ(h, kWidth / 2);
    size_t covered = 0;
    for (COLORREF c : expect)
        covered += c != RGB(255, 255, 255);
    ASSERT_GT(covered, expect.size() / 10);

    for (const char* ext : {"bmp", "png", "tif", "jpg"}) {
        const std::string out = (m_dir / (std::string("pano.") + ext)).string();
        const CRun run = RunTool(m_project + " " + out + " --area " + kArea + " --width " + std::to_string(kWidth));
        ASSERT_EQ(run.exitCode, 0) << ext << ": " << run.output;
        CPixelArray pixels;
        CSize size;
        ASSERT_TRUE(ReadImage(out, &pixels, &size)) << ext;
        ASSERT_EQ(size, CSize(w, h)) << ext;
        double sum = 0.0;
        int differ = 0;
        for (size_t i = 0; i < expect.size(); ++i) {
            for (int s = 0; s < 24; s += 8) {
                const double d = static_cast<double>((pixels[static_cast<std::ptrdiff_t>(i)] >> s) & 0xFF) -
                                 static_cast<double>((expect[i] >> s) & 0xFF);
                sum += d * d;
            }
            differ += pixels[static_cast<std::ptrdiff_t>(i)] != expect[i];
        }
        if (std::string(ext) == "jpg") {
            const double psnr = 10.0 * std::log10(255.0 * 255.0 * 3.0 * expect.size() / std::max(sum, 1e-9));
            EXPECT_GT(psnr, 30.0) << ext;
        } else {
            EXPECT_EQ(differ, 0) << ext;
        }
    }
}

TEST_F(RenderTool, PictureThatCannotBeReadFailsTheRender)
{
    // A photo damaged after the project was saved: the render fails, says which photo, and
    // leaves no output behind.
    { std::ofstream(m_photos[1], std::ios::binary | std::ios::trunc) << "BM not a picture"; }
    const std::string out = (m_dir / "broken.png").string();
    const CRun run = RunTool(m_project + " " + out + " --area " + kArea + " --width 100");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("photo1.bmp"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(RenderTool, RefusesBadRequestsBeforeWriting)
{
    struct Case {
        std::string args;
        int exitCode;
        const char* says;
    } const cases[] = {
        {m_project + " " + (m_dir / "pano.gif").string(), 1, ".jpg, .bmp, .tif or .png"},
        {m_project + " " + m_photos[0], 1, "overwrite"},
        {m_project + " " + (m_dir / "pano.png").string() + " --projection 17", 2, "--projection"},
        {m_project + " " + (m_dir / "pano.png").string() + " --width 0", 2, "--width"},
        {m_project + " " + (m_dir / "pano.png").string() + " --area 1,2,3", 2, "--area"},
        // Wider than an int can count.
        {m_project + " " + (m_dir / "pano.png").string() + " --area -2000000000,0,2000000000,10", 2, "--area"},
        {m_project + " " + (m_dir / "pano.png").string() + " --colour", 2, "unknown option"},
        {m_project, 2, "usage"},
        {(m_dir / "missing.fit").string() + " " + (m_dir / "pano.png").string(), 1, "cannot open the project"},
    };
    const auto photoSize = fs::file_size(m_photos[0]);
    for (const Case& c : cases) {
        const CRun run = RunTool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.args << "\n" << run.output;
    }
    EXPECT_EQ(fs::file_size(m_photos[0]), photoSize);
    EXPECT_FALSE(fs::exists(m_dir / "pano.png"));
    EXPECT_FALSE(fs::exists(m_dir / "pano.gif"));
}

TEST_F(RenderTool, OutputProblemsSayWhatWentWrongAndLeaveNothingBehind)
{
    auto inShell = [](const std::string& script) { return testsupport::RunProgram("/bin/sh", "-c \"" + script + "\""); };
    auto staged = [this] {
        int n = 0;
        for (const auto& e : fs::directory_iterator(m_dir))
            n += e.path().filename().string().rfind(".smra-", 0) == 0;
        return n;
    };
    const std::string tool = SMRA_SMRA_RENDER_PATH;
    const std::string args = " --area " + std::string(kArea) + " --width " + std::to_string(kWidth);

    // A folder at the output path is refused before the render starts.
    fs::create_directories(m_dir / "folder.png");
    CRun run = RunTool(m_project + " " + (m_dir / "folder.png").string() + args);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("not a regular file"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("rendering:"), std::string::npos) << run.output;

    // A write that fails for the file-size limit says so; the previous file stays.
    const std::string out = (m_dir / "limited.bmp").string();
    { std::ofstream(out, std::ios::binary) << "before"; }
    run = inShell("ulimit -f 4; exec '" + tool + "' '" + m_project + "' '" + out + "'" + args);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("writing " + out + " failed: the file would exceed the file-size limit"),
              std::string::npos) << run.output;
    EXPECT_EQ(fs::file_size(out), 6u);
    EXPECT_EQ(staged(), 0);

    // Names that begin with '-' follow "--"; names as long as a file name may be are written.
    run = inShell("cd '" + m_dir.string() + "' && exec '" + tool + "'" + args + " -- project.fit -pano.png");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(GetImageFileRect((m_dir / "-pano.png").string()).Width(), kWidth);
    const std::string longName = std::string(251, 'p') + ".png";
    run = RunTool(m_project + " " + (m_dir / longName).string() + args);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(GetImageFileRect((m_dir / longName).string()).Width(), kWidth);
    EXPECT_EQ(staged(), 0);
}

} // namespace

#endif

// The panorama movie: the turned BMP beside the movie, its parameter file, and the two starts of
// the movie program, with a stand-in program that logs its arguments; and the movie that our
// movie program makes of what the document leaves it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "render_save_support.h"
#include "tests/support/movie_probe.h"

namespace doctest {
namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int n)
{
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | b.at(at + static_cast<size_t>(i));
    return v;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::ifstream f(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(f, line);)
        lines.push_back(line);
    return lines;
}

// Files of a folder whose names begin with the temporary prefix.
std::vector<std::string> TemporaryFiles(const std::string& folder)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind("$tmp", 0) == 0)
            out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

class MovieTest : public RenderSaveTest {
protected:
    void SetUp() override
    {
        RenderSaveTest::SetUp();
        programDir = dir + "/prog";
        movieDir = dir + "/movies";
        std::filesystem::create_directories(programDir + "/Program");
        std::filesystem::create_directories(movieDir);
        render_save::SetMovieProgramFolder(programDir);
        movie = movieDir + "/pano.mov";
    }

    // The stand-in program: appends its argument to the log, one line per start.
    void InstallProgram(const std::string& where)
    {
        std::ofstream f(where);
        f << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << dir << "/starts.log'\n";
        f.close();
        ::chmod(where.c_str(), 0755);
    }

    // Records the starts instead of starting anything.
    void RecordStarts() { platform::SetProcessLauncher(&launcher); }
    void TearDown() override
    {
        platform::SetProcessLauncher(nullptr);
        RenderSaveTest::TearDown();
    }
    size_t StartCount() const { return launcher.Starts().size(); }

    // The log once it holds n lines (the program runs on its own).
    std::vector<std::string> WaitForStarts(size_t n)
    {
        for (int i = 0; i < 500; ++i) {
            std::vector<std::string> lines = ReadLines(dir + "/starts.log");
            if (lines.size() >= n)
                return lines;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return ReadLines(dir + "/starts.log");
    }

    std::string programDir;
    std::string movieDir;
    std::string movie;
    platform::FakeProcessLauncher launcher;
};

TEST_F(MovieTest, TurnedBmpParameterFileAndBothStarts)
{
    InstallProgram(programDir + "/Program/Vellumark");
    SetArea(240, 180);
    ASSERT_EQ(doc->MakePanoramaMovie(movie), 1);
    EXPECT_EQ(doc->m_outputSize, CSize(240, 180));

    const std::vector<std::string> temporary = TemporaryFiles(movieDir);
    ASSERT_EQ(temporary.size(), 2u) << "the stem itself is gone";
    const std::string bmp = temporary[0];
    const std::string param = temporary[1];
    EXPECT_EQ(GetFileExt(bmp), "BMP");
    EXPECT_EQ(GetFileExt(param), "TXT");
    EXPECT_EQ(bmp.substr(0, bmp.size() - 4), param.substr(0, param.size() - 4));

    const std::vector<uint8_t> b = ReadBytes(bmp);
    ASSERT_EQ(b.size(), 129654u);
    const uint32_t header[][3] = {{0, 2, 0x4D42}, {2, 4, 129654}, {10, 4, 54}, {14, 4, 40}, {18, 4, 180},
                                  {22, 4, 240},   {26, 2, 1},      {28, 2, 24}, {30, 4, 0},  {38, 4, 120},
                                  {42, 4, 80},    {46, 4, 0}};
    for (const auto& h : header)
        EXPECT_EQ(Le(b, h[0], static_cast<int>(h[1])), h[2]) << "offset " << h[0];
    // Row x of the BMP is output column x, blue, green, red; the row is 540 bytes.
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {239, 179}, {17, 100}, {200, 15}}) {
        const size_t at = 54 + size_t(x) * 540 + 3 * size_t(y);
        const COLORREF c = BandColour(x, y);
        EXPECT_EQ(b[at], (c >> 16) & 0xFF) << x << "," << y;
        EXPECT_EQ(b[at + 1], (c >> 8) & 0xFF) << x << "," << y;
        EXPECT_EQ(b[at + 2], c & 0xFF) << x << "," << y;
    }

    std::ifstream f(param, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, bmp + "," + movie + ",360");
    EXPECT_EQ(WaitForStarts(2), (std::vector<std::string>{"$$$$$$$$.bmp", param}));
    EXPECT_FALSE(std::filesystem::exists(movie)) << "the movie is the program's to make";
}

TEST_F(MovieTest, HeightSeventeenPadsRowsAndPutsTheSecondBandAtByte48)
{
    RecordStarts();
    InstallProgram(programDir + "/Vellumark");
    SetArea(240, 17);
    ASSERT_EQ(doc->MakePanoramaMovie(movie), 1);
    const std::vector<uint8_t> b = ReadBytes(TemporaryFiles(movieDir)[0]);
    ASSERT_EQ(b.size(), 52u * 240 + 54);
    const size_t at = 54 + 5 * 52 + 48;
    EXPECT_EQ(b[at + 2], BandColour(5, 16) & 0xFF);
    EXPECT_EQ(b[at + 1], (BandColour(5, 16) >> 8) & 0xFF);
    EXPECT_EQ(b[at + 3], 0) << "padding";
    EXPECT_EQ(bands, (std::vector<int>{0, 1}));
    ASSERT_EQ(StartCount(), 2u);
    EXPECT_EQ(launcher.Starts()[0].program, std::filesystem::absolute(programDir + "/Vellumark").string());
    EXPECT_EQ(launcher.Starts()[0].arguments, std::vector<std::string>{"$$$$$$$$.bmp"});
    EXPECT_EQ(launcher.Starts()[1].arguments.size(), 1u);
}

TEST_F(MovieTest, RefusalsStartNothingAndWriteNothing)
{
    RecordStarts();
    SetArea(240, 17);
    EXPECT_EQ(doc->MakePanoramaMovie(movie), 0) << "no program in either place";

    InstallProgram(programDir + "/Vellumark");
    SetArea(200, 200);
    EXPECT_EQ(doc->MakePanoramaMovie(movie), -1);
    EXPECT_EQ(box.Shown().back(), Catalogue().imageNotTallerThanWide);
    SetArea(240, 17);
    span = 0;
    EXPECT_EQ(doc->MakePanoramaMovie(movie), -1);
    span = 360;
    EXPECT_EQ(doc->MakePanoramaMovie(dir + "/movies/pano.jpg"), -1);

    EXPECT_EQ(StartCount(), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(movieDir));
    EXPECT_TRUE(bands.empty());
}

TEST_F(MovieTest, FailedBandBreakAndFullDiskLeaveNoTemporaryFileAndNoSecondStart)
{
    RecordStarts();
    InstallProgram(programDir + "/Vellumark");
    SetArea(240, 40);
    struct Case {
        int failAt;
        int breakAt;
        int64_t free;
    };
    for (const Case& c : {Case{1, -1, int64_t(1) << 40}, Case{-1, 2, int64_t(1) << 40}, Case{-1, -1, 1000}}) {
        const size_t before = StartCount();
        failAt = c.failAt;
        breakAt = c.breakAt;
        freeBytes = c.free;
        EXPECT_EQ(doc->MakePanoramaMovie(movie), -1) << c.failAt << c.breakAt;
        EXPECT_EQ(StartCount(), before + 1) << "only the first start";
        EXPECT_TRUE(TemporaryFiles(movieDir).empty());
        doc->m_pComp->SetBreakMode(0);
    }
    EXPECT_EQ(doc->m_statusMessage, Catalogue().noDiskSpace);
}

TEST_F(MovieTest, RenderAndSaveReportsEachMovieOutcome)
{
    RecordStarts();
    SetArea(240, 40);
    SaveAs(movie);
    EXPECT_EQ(doc->m_statusMessage, Catalogue().cantFindMovieProgram);
    EXPECT_FALSE(std::filesystem::exists(movie)) << "the document never creates the movie";

    InstallProgram(programDir + "/Vellumark");
    breakAt = 1;
    SaveAs(movie);
    EXPECT_EQ(doc->m_statusMessage, Catalogue().failedMovieImage);
    ExpectIdle();

    breakAt = -1;
    SaveAs(movie);
    EXPECT_EQ(statusBar.Text(0), "   ");
    EXPECT_EQ(doc->GetTitle(), "pano");
    EXPECT_EQ(doc->m_pictureWindows.size(), 0u) << "a movie opens no picture window";
    EXPECT_EQ(StartCount(), 3u);
    ExpectIdle();
}

// The whole way, as a user takes it: Render and Save to a ".MOV" name starts our movie program,
// which turns the rendered panorama into a looping movie and then removes what was left for it.
TEST_F(MovieTest, OurMovieProgramMakesALoopingMovieOfTheRenderedPanorama)
{
#ifndef SMRA_VELLUMARK_PATH
    GTEST_SKIP() << "the movie program is not built";
#else
    if (!testsupport::HaveMovieTools())
        GTEST_SKIP() << "ffprobe and ffmpeg are not installed";
    render_save::SetMovieProgramFolder(GetFolder(SMRA_VELLUMARK_PATH));
    SetArea(480, 120);
    movie = movieDir + "/Pano.MOV";
    SaveAs(movie);
    ASSERT_EQ(statusBar.Text(0), "   ") << doc->m_statusMessage;

    // The program runs on its own: wait until it has moved the movie into place and cleared up.
    for (int i = 0; i < 1200 && !(std::filesystem::exists(movie) && TemporaryFiles(movieDir).empty()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(std::filesystem::exists(movie)) << "no movie";
    EXPECT_TRUE(TemporaryFiles(movieDir).empty()) << "the rendered panorama and the parameter file are removed";
    EXPECT_FALSE(std::filesystem::exists(movie + ".log"));

    const testsupport::MovieFacts facts = testsupport::ProbeMovie(movie);
    EXPECT_NE(facts.formatName.find("mov"), std::string::npos) << facts.formatName;
    EXPECT_EQ(facts.majorBrand, "qt  ");
    EXPECT_EQ(facts.codec, "h264");
    EXPECT_EQ(facts.frameRate, "30/1");
    // The panorama's height, 16:9 of it wide (rounded to even), a full turn in 20 s.
    EXPECT_EQ(facts.width, 214);
    EXPECT_EQ(facts.height, 120);
    EXPECT_EQ(facts.frames, 600);

    // Frame n starts 0.8 n pixels into the panorama, and the last frames wrap round to its left
    // edge. Red tells the panorama's column (x & 255) and green its row.
    struct Sample {
        int frame, u, v;
        double x;
    };
    for (const Sample& s : {Sample{0, 50, 60, 50}, Sample{0, 200, 10, 200}, Sample{300, 50, 30, 290},
                            Sample{300, 200, 100, 440}, Sample{599, 100, 90, 99.2}, Sample{599, 10, 40, 9.2}}) {
        const std::vector<uint8_t> rgb = testsupport::DecodeFrame(movie, s.frame);
        ASSERT_EQ(rgb.size(), size_t(214) * 120 * 3) << "frame " << s.frame;
        const size_t at = (size_t(s.v) * 214 + size_t(s.u)) * 3;
        EXPECT_NEAR(rgb[at], std::fmod(s.x, 256.0), 8) << "red of frame " << s.frame << " at " << s.u << "," << s.v;
        EXPECT_NEAR(rgb[at + 1], s.v, 8) << "green of frame " << s.frame << " at " << s.u << "," << s.v;
    }
#endif
}

} // namespace
} // namespace doctest

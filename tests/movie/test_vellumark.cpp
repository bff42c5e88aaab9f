// The movie program Vellumark as Render and Save starts it: the first start that names no file,
// movies made from a turned BMP and its parameter file, and the failures that must leave
// everything in place and say why.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/movie_probe.h"
#include "tests/support/run_program.h"

namespace {

namespace fs = std::filesystem;

#ifdef SMRA_VELLUMARK_PATH
const std::string kProgram = SMRA_VELLUMARK_PATH;
#else
const std::string kProgram;
#endif

struct Rgb {
    int r, g, b;
};
using Panorama = std::function<Rgb(int x, int y)>;

void PutLe(std::string& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

// The panorama width x height as Render and Save leaves it for the movie: a 24-bit BMP whose
// row x (first in the file) is panorama column x, top pixel first, blue, green, red.
void WriteTurnedBmp(const std::string& path, int width, int height, const Panorama& colour)
{
    const int rowBytes = (3 * height + 3) / 4 * 4;
    std::string b;
    PutLe(b, 0x4D42, 2);
    PutLe(b, uint32_t(rowBytes) * width + 54, 4);
    PutLe(b, 0, 4);
    PutLe(b, 54, 4);
    PutLe(b, 40, 4);
    PutLe(b, uint32_t(height), 4);
    PutLe(b, uint32_t(width), 4);
    PutLe(b, 1, 2);
    PutLe(b, 24, 2);
    for (int i = 0; i < 6; ++i)
        PutLe(b, i == 2 ? 120 : i == 3 ? 80 : 0, 4);
    for (int x = 0; x < width; ++x) {
        std::string row(size_t(rowBytes), '\0');
        for (int y = 0; y < height; ++y) {
            const Rgb c = colour(x, y);
            row[size_t(3 * y)] = static_cast<char>(c.b);
            row[size_t(3 * y + 1)] = static_cast<char>(c.g);
            row[size_t(3 * y + 2)] = static_cast<char>(c.r);
        }
        b += row;
    }
    std::ofstream(path, std::ios::binary) << b;
}

// Red grows from the left edge (0) to the right edge (255), green from the top to the bottom.
Panorama Ramps(int width, int height)
{
    return [=](int x, int y) { return Rgb{255 * x / (width - 1), 255 * y / (height - 1), 100}; };
}

void Put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Get(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Files that a run left in a folder under a staged output's name.
int StagedFiles(const std::string& folder)
{
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += e.path().filename().string().rfind(".smra-", 0) == 0;
    return n;
}

class VellumarkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (kProgram.empty())
            GTEST_SKIP() << "the movie program is not built";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::string(SMRA_TEST_TMPDIR) + "/" + info->name();
        fs::remove_all(root);
        fs::create_directories(root);
    }

    // Runs the program on the parameter file; its exit code.
    int Run(const std::string& paramPath) { return testsupport::RunProgram(kProgram, "'" + paramPath + "'").exitCode; }

    // Red and green of frame pixel (u, v).
    static std::pair<int, int> RedGreen(const std::vector<uint8_t>& rgb, int frameWidth, int u, int v)
    {
        const size_t at = (size_t(v) * frameWidth + size_t(u)) * 3;
        return {rgb.at(at), rgb.at(at + 1)};
    }

    std::string root;
};

TEST_F(VellumarkTest, FirstStartDoesNothingAndAWrongCommandLineIsRefused)
{
    const std::string probeLog = "$$$$$$$$.bmp.log";
    EXPECT_EQ(Run("$$$$$$$$.bmp"), 0);
    EXPECT_FALSE(fs::exists(probeLog));
    EXPECT_EQ(testsupport::RunProgram(kProgram, "").exitCode, 2);
    EXPECT_EQ(testsupport::RunProgram(kProgram, "'" + root + "/a.txt' '" + root + "/b.txt'").exitCode, 2);
    EXPECT_TRUE(fs::is_empty(root));
}

// A span short of a full turn pans from the panorama's left edge to its right edge at the pace
// of a full turn in 20 s, in a folder whose name holds a comma and a blank. An odd height
// loses a row: the frame's sides must be even.
TEST_F(VellumarkTest, NarrowSpanPansFromTheLeftEdgeToTheRightEdge)
{
    if (!testsupport::HaveMovieTools())
        GTEST_SKIP() << "ffprobe and ffmpeg are not installed";
    const std::string dir = root + "/pan, take 2";
    fs::create_directories(dir);
    const std::string bmp = dir + "/$tmpAbc123.bmp";
    const std::string movie = dir + "/pano.mov";
    const std::string param = dir + "/$tmpAbc123.txt";
    WriteTurnedBmp(bmp, 400, 91, Ramps(400, 91));
    Put(param, bmp + "," + movie + ",120");
    ASSERT_EQ(Run(param), 0) << Get(movie + ".log");

    EXPECT_FALSE(fs::exists(bmp));
    EXPECT_FALSE(fs::exists(param));
    EXPECT_FALSE(fs::exists(movie + ".log"));
    EXPECT_EQ(StagedFiles(dir), 0);
    const testsupport::MovieFacts facts = testsupport::ProbeMovie(movie);
    EXPECT_EQ(facts.majorBrand, "qt  ");
    EXPECT_EQ(facts.codec, "h264");
    EXPECT_EQ(facts.width, 160);
    EXPECT_EQ(facts.height, 90);
    // The strip is 396 pixels wide at 90 high, 120 degrees: 1.98 pixels a frame over the 236
    // that the frame's left edge travels.
    EXPECT_EQ(facts.frames, 120);

    // Red of frame column u: the panorama column under it, scaled back to 400 wide.
    const auto red = [](double stripX) { return 255.0 * (stripX * 400 / 396) / 399; };
    struct Sample {
        int frame, u;
        double stripX;
    };
    for (const Sample& s : {Sample{0, 2, 2}, Sample{0, 157, 157}, Sample{119, 2, 238}, Sample{119, 157, 393},
                            Sample{60, 80, 198}}) {
        const std::vector<uint8_t> rgb = testsupport::DecodeFrame(movie, s.frame);
        ASSERT_EQ(rgb.size(), size_t(160) * 90 * 3);
        const auto [r, g] = RedGreen(rgb, 160, s.u, 45);
        EXPECT_NEAR(r, red(s.stripX), 6) << "frame " << s.frame << " column " << s.u;
        EXPECT_NEAR(g, 127.5, 6) << "frame " << s.frame << " column " << s.u;
    }
}

// The work space's full turn is the widest area short of 360 degrees, which the renderer counts
// as 359: the movie takes it for a full turn, and its last frames run on into the left edge.
TEST_F(VellumarkTest, FullTurnCountedAs359DegreesLoopsRound)
{
    if (!testsupport::HaveMovieTools())
        GTEST_SKIP() << "ffprobe and ffmpeg are not installed";
    const std::string bmp = root + "/$tmpTurn.bmp";
    const std::string movie = root + "/turn.mov";
    const std::string param = root + "/$tmpTurn.txt";
    WriteTurnedBmp(bmp, 240, 40, Ramps(240, 40));
    Put(param, bmp + "," + movie + ",359");
    ASSERT_EQ(Run(param), 0) << Get(movie + ".log");

    const testsupport::MovieFacts facts = testsupport::ProbeMovie(movie);
    EXPECT_EQ(facts.width, 72);
    EXPECT_EQ(facts.height, 40);
    EXPECT_EQ(facts.frames, 600);
    // Frame 599 starts 239.6 pixels in: its column 40 shows column 39.6 of the next turn.
    const std::vector<uint8_t> last = testsupport::DecodeFrame(movie, 599);
    ASSERT_EQ(last.size(), size_t(72) * 40 * 3);
    EXPECT_NEAR(RedGreen(last, 72, 40, 20).first, 255.0 * 39.6 / 239, 6);
}

// A panorama taller than 1080 pixels is scaled down to frames of 1920 x 1080; a span whose
// travel is short still lasts a second.
TEST_F(VellumarkTest, TallPanoramaIsScaledDownToTheHighestFrame)
{
    if (!testsupport::HaveMovieTools())
        GTEST_SKIP() << "ffprobe and ffmpeg are not installed";
    const std::string bmp = root + "/$tmpTall.bmp";
    const std::string movie = root + "/tall.MOV";
    const std::string param = root + "/$tmpTall.txt";
    WriteTurnedBmp(bmp, 2400, 1200, Ramps(2400, 1200));
    Put(param, bmp + "," + movie + ",30");
    ASSERT_EQ(Run(param), 0) << Get(movie + ".log");

    const testsupport::MovieFacts facts = testsupport::ProbeMovie(movie);
    EXPECT_EQ(facts.width, 1920);
    EXPECT_EQ(facts.height, 1080);
    EXPECT_EQ(facts.frames, 30);
    const std::vector<uint8_t> rgb = testsupport::DecodeFrame(movie, 0);
    ASSERT_EQ(rgb.size(), size_t(1920) * 1080 * 3);
    for (const auto& [u, v] : std::vector<std::pair<int, int>>{{960, 540}, {100, 100}, {1800, 1000}}) {
        const auto [r, g] = RedGreen(rgb, 1920, u, v);
        EXPECT_NEAR(r, 255.0 * ((u + 0.5) * 2400 / 2160 - 0.5) / 2399, 6) << u << "," << v;
        EXPECT_NEAR(g, 255.0 * ((v + 0.5) * 1200 / 1080 - 0.5) / 1199, 6) << u << "," << v;
    }
}

// Whatever goes wrong, the program says why in a log (beside the movie, or beside a parameter
// file that cannot be read), leaves the rendered panorama and the parameter file where they
// were, writes no movie, and leaves a movie already there as it was.
TEST_F(VellumarkTest, AFailureLeavesEverythingInPlaceAndSaysWhy)
{
    enum class Picture { Good, Missing, CutShort, NotAPicture };
    struct Case {
        const char* what;
        std::string text; // the parameter file; {bmp} and {movie} stand for the two paths
        Picture picture;
        bool logBesideMovie;
    };
    const std::vector<Case> cases = {
        {"empty parameter file", "", Picture::Good, false},
        {"no commas", "a picture and a movie", Picture::Good, false},
        {"span wider than the renderer reports", "{bmp},{movie},451", Picture::Good, false},
        {"span of no degrees", "{bmp},{movie},0", Picture::Good, false},
        {"span not a number", "{bmp},{movie},abc", Picture::Good, false},
        {"no span", "{bmp},{movie},", Picture::Good, false},
        {"no movie", "{bmp},360", Picture::Good, false},
        {"movie over the picture", "{bmp},{bmp},360", Picture::Good, false},
        {"missing picture", "{bmp},{movie},360", Picture::Missing, true},
        {"picture cut short", "{bmp},{movie},360", Picture::CutShort, true},
        {"not a picture", "{bmp},{movie},360", Picture::NotAPicture, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string dir = root + "/case" + std::to_string(n++);
        fs::create_directories(dir);
        const std::string bmp = dir + "/$tmp1.bmp";
        const std::string movie = dir + "/pano.mov";
        const std::string param = dir + "/$tmp1.txt";
        if (c.picture != Picture::Missing)
            WriteTurnedBmp(bmp, 240, 40, Ramps(240, 40));
        if (c.picture == Picture::CutShort)
            fs::resize_file(bmp, fs::file_size(bmp) / 2);
        if (c.picture == Picture::NotAPicture)
            Put(bmp, "BM is all there is");
        const std::string bmpBefore = Get(bmp);
        std::string text = c.text;
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{bmp}", bmp}, {"{movie}", movie}})
            for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
                text.replace(at, key.size(), value);
        Put(param, text);
        Put(movie, "the movie made before");

        EXPECT_EQ(Run(param), 1) << c.what;
        EXPECT_EQ(Get(movie), "the movie made before") << c.what;
        EXPECT_EQ(Get(param), text) << c.what;
        EXPECT_EQ(fs::exists(bmp), c.picture != Picture::Missing) << c.what;
        EXPECT_EQ(Get(bmp), bmpBefore) << c.what;
        const std::string log = Get(c.logBesideMovie ? movie + ".log" : param + ".log");
        EXPECT_NE(log.find("was not made"), std::string::npos) << c.what << ": " << log;
        EXPECT_EQ(StagedFiles(dir), 0) << c.what;
    }
}

// A movie that cannot be written to its end (here: past the file-size limit, as on a full disk)
// leaves no half movie behind, neither under its name nor under a temporary one.
TEST_F(VellumarkTest, AMovieThatCannotBeWrittenToTheEndLeavesNoHalfMovie)
{
    const std::string bmp = root + "/$tmpBig.bmp";
    const std::string movie = root + "/pano.mov";
    const std::string param = root + "/$tmpBig.txt";
    WriteTurnedBmp(bmp, 480, 120, [](int x, int y) { return Rgb{(x * 37 + y * 11) & 255, (x * y) & 255, (x ^ y) & 255}; });
    Put(param, bmp + "," + movie + ",360");
    Put(movie, "the movie made before");
    // Blocks of 512 bytes: the movie may grow to 64 KB, the log is far smaller.
    const int code =
        testsupport::RunProgram("sh", "-c 'ulimit -f 128; exec \"$0\" \"$1\"' '" + kProgram + "' '" + param + "'")
            .exitCode;
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Get(movie), "the movie made before");
    EXPECT_TRUE(fs::exists(bmp));
    EXPECT_TRUE(fs::exists(param));
    EXPECT_NE(Get(movie + ".log").find("file-size limit"), std::string::npos) << Get(movie + ".log");
    EXPECT_EQ(StagedFiles(root), 0);
}

} // namespace

// The imgtool developer tool run as a program: info, convert at the picture's own size and at
// a requested size and region, and its failures.
#include "imagefile/bmp_codec.h"
#include "imagefile/image_file.h"

#include "../imagefile/test_bmp_support.h"

#include <gtest/gtest.h>

#include "tests/support/run_program.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

using namespace bmptest;
namespace fs = std::filesystem;

using RunResult = testsupport::ProgramRun;

RunResult RunImgtool(const std::string& args) { return testsupport::RunProgram(SMRA_IMGTOOL_PATH, args); }

std::string Quote(const std::string& s) { return "'" + s + "'"; }

class Imgtool : public ::testing::Test {
protected:
    void SetUp() override { m_dir = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()); }

    std::string MakeBmpFile(const std::string& name, int w, int h, bool topDown = false)
    {
        std::vector<uint8_t> f = MakeBmp(w, h, 24, 0, {}, Rows24(PatternPixels(w, h), w, h, topDown));
        if (topDown)
            Put32(f, 22, uint32_t(-h));
        const std::string path = m_dir + "/" + name;
        WriteAll(path, f);
        return path;
    }

    std::string m_dir;
};

TEST_F(Imgtool, InfoPrintsKindAndSize)
{
    const std::string in = MakeBmpFile("a.bmp", 9, 6);
    const RunResult r = RunImgtool("info " + Quote(in));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "kind: BMP\nwidth: 9\nheight: 6\n");

    for (const std::string& bad : {m_dir + "/missing.bmp", m_dir + "/a.gif"}) {
        const RunResult f = RunImgtool("info " + Quote(bad));
        EXPECT_NE(f.exitCode, 0) << bad;
        EXPECT_NE(f.output.find(bad), std::string::npos) << f.output;
    }
    EXPECT_NE(RunImgtool("").exitCode, 0);
    EXPECT_NE(RunImgtool("info").exitCode, 0);
}

TEST_F(Imgtool, ConvertAtOwnSizeKeepsEveryPixel)
{
    for (const bool topDown : {false, true}) {
        const std::string in = MakeBmpFile("in.bmp", 37, 41, topDown);
        const std::string out = m_dir + "/out.bmp";
        const RunResult r = RunImgtool("convert " + Quote(in) + " " + Quote(out));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        CPixelArray a, b;
        CSize sa(37, 41), sb(37, 41);
        ASSERT_EQ(ReadBmpFile(in, a, sa, CRect()), 1);
        ASSERT_EQ(ReadBmpFile(out, b, sb, CRect()), 1);
        EXPECT_EQ(sb, CSize(37, 41));
        EXPECT_EQ(a, b);
    }
}

TEST_F(Imgtool, ConvertAtRequestedSizeAndRegionGivesTheCutOut)
{
    // 300 x 100 shown in a 100 x 100 canvas; canvas rows 40-59 are image rows 3Y - 100.
    const std::string in = MakeBmpFile("wide.bmp", 300, 100);
    const std::string out = m_dir + "/cut.bmp";
    const RunResult r = RunImgtool("convert " + Quote(in) + " " + Quote(out) + " --size 100x100 --rect 0,40,100,60");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(GetBmpFileRect(out), CRect(0, 0, 100, 20));
    CPixelArray got;
    CSize size(100, 20);
    ASSERT_EQ(ReadBmpFile(out, got, size, CRect()), 1);
    for (int d = 0; d < 20; ++d)
        for (int b = 0; b < 100; ++b)
            ASSERT_EQ(got[d * 100 + b], Pattern(3 * b, 3 * (40 + d) - 100)) << b << "," << d;

    // The whole reduced canvas, margins included.
    const RunResult whole = RunImgtool("convert " + Quote(in) + " " + Quote(out) + " --size 100x100");
    ASSERT_EQ(whole.exitCode, 0) << whole.output;
    CPixelArray canvas;
    size = CSize(100, 100);
    ASSERT_EQ(ReadBmpFile(out, canvas, size, CRect()), 1);
    EXPECT_EQ(canvas[0], kMarginGrey);
    EXPECT_EQ(canvas[50 * 100 + 10], Pattern(30, 50));
}

TEST_F(Imgtool, ConvertFailuresSayWhyAndWriteNothing)
{
    const std::string in = MakeBmpFile("a.bmp", 8, 8);
    struct Case {
        std::string args;
        std::string says;
    } cases[] = {
        {Quote(in) + " " + Quote(m_dir + "/o.gif"), "cannot write"},
        {Quote(m_dir + "/missing.bmp") + " " + Quote(m_dir + "/o.bmp"), "missing.bmp"},
        {Quote(in) + " " + Quote(m_dir + "/o.bmp") + " --size 0x5", "--size"},
        {Quote(in) + " " + Quote(m_dir + "/o.bmp") + " --size 5", "--size"},
        {Quote(in) + " " + Quote(m_dir + "/o.bmp") + " --rect 5,5,2,9", "--rect"},
        {Quote(in) + " " + Quote(m_dir + "/o.bmp") + " --rect 50,50,60,60", "outside"},
        {Quote(in) + " " + Quote(m_dir + "/o.bmp") + " --bogus 1", "--bogus"},
        {Quote(in) + " " + Quote(m_dir + "/no/such/o.bmp"), "o.bmp"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunImgtool("convert " + c.args);
        EXPECT_NE(r.exitCode, 0) << c.args;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
    }
    EXPECT_FALSE(fs::exists(m_dir + "/o.bmp"));
    EXPECT_FALSE(fs::exists(m_dir + "/o.gif"));
}

} // namespace

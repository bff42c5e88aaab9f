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
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(Imgtool, UnreadableFilesSayWhy)
{
    const std::string pipe = m_dir + "/pipe.png";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directories(m_dir + "/folder.bmp");
    const std::string locked = MakeBmpFile("locked.bmp", 4, 4);
    ::chmod(locked.c_str(), 0);
    std::vector<uint8_t> junk(200, 0);
    junk[0] = 'B';
    junk[1] = 'M';
    WriteAll(m_dir + "/junk.bmp", junk);
    struct Case {
        std::string path;
        std::string says;
    } cases[] = {
        {m_dir + "/missing.bmp", "no such file"},
        {m_dir + "/folder.bmp", "a folder"},
        // A pipe is never opened: the tool would wait for a writer for ever.
        {pipe, "not a regular file"},
        {m_dir + "/junk.bmp", "damaged or not a BMP file"},
    };
    for (const Case& c : cases) {
        for (const std::string& command : {"info " + Quote(c.path), "convert " + Quote(c.path) + " " + Quote(m_dir + "/o.png")}) {
            const RunResult r = RunImgtool(command);
            EXPECT_NE(r.exitCode, 0) << command;
            EXPECT_NE(r.output.find(c.says), std::string::npos) << command << "\n" << r.output;
        }
    }
    // A sound file that uses what the program does not read is not called damaged.
    const std::string arithmetic = std::string(SMRA_TESTDATA_DIR) + "/libjpeg-turbo-testimages/testimgari.jpg";
    if (fs::exists(arithmetic)) {
        const RunResult r = RunImgtool("info " + Quote(arithmetic));
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.output.find(": arithmetic-coded JPEG"), std::string::npos)
            << r.output;
    }
    // Root reads any file: the permission case is only seen by other users.
    if (::geteuid() != 0) {
        const RunResult r = RunImgtool("info " + Quote(locked));
        EXPECT_NE(r.output.find("permission denied"), std::string::npos) << r.output;
    }
    EXPECT_FALSE(fs::exists(m_dir + "/o.png"));
}

TEST_F(Imgtool, NamesThatBeginWithADashFollowTwoDashes)
{
    MakeBmpFile("-a.bmp", 5, 4);
    const std::string tool = "\"" SMRA_IMGTOOL_PATH "\"";
    const std::string script = "cd \"" + m_dir + "\" && " + tool + " info -- -a.bmp && " + tool +
                               " convert -- -a.bmp -b.png";
    const RunResult r = testsupport::RunProgram("/bin/sh", "-c " + Quote(script));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("width: 5"), std::string::npos) << r.output;
    EXPECT_EQ(GetImageFileRect(m_dir + "/-b.png"), CRect(0, 0, 5, 4));
}

} // namespace

// The picinfo developer tool run as a program over a real set of photos.
#include <gtest/gtest.h>

#include "tests/support/run_program.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

testsupport::ProgramRun RunPicinfo(const std::string& args)
{
    return testsupport::RunProgram(SMRA_PICINFO_PATH, args, false);
}

std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    std::stringstream ss(s);
    std::string part;
    while (std::getline(ss, part, sep))
        parts.push_back(part);
    return parts;
}

} // namespace

TEST(Picinfo, PrintsSizeAndLensOfEveryPhotoOfAFolder)
{
    const fs::path folder = fs::path(SMRA_TESTDATA_DIR) / "pano-skimage-petra-arches";
    if (!fs::is_directory(folder))
        GTEST_SKIP() << "test data not present";
    const testsupport::ProgramRun r = RunPicinfo("'" + folder.string() + "'");
    ASSERT_EQ(r.exitCode, 0);
    const std::vector<std::string> lines = Split(r.output, '\n');
    ASSERT_EQ(lines.size(), 10u);  // header and nine photos
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> f = Split(lines[i], '\t');
        ASSERT_EQ(f.size(), 8u) << lines[i];
        const std::string name = fs::path(f[0]).filename().string();
        const std::string expectedSize = name.rfind("DFM_", 0) == 0 ? "3000x1987"
                                         : (name == "JDW_0302.jpg" || name == "JDW_0303.jpg" || name == "JDW_0304.jpg")
                                             ? "477x720"
                                             : "720x477";
        EXPECT_EQ(f[1], expectedSize) << name;
        const double lens = std::atof(f[2].c_str());
        const double minimum = std::atof(f[4].c_str());
        EXPECT_GT(minimum, 0.0) << name;
        EXPECT_GT(lens, minimum) << name;
        EXPECT_EQ(f[5], f[2]) << "the default focal follows the estimate for " << name;
        EXPECT_EQ(f[6], "NIKON D7000") << name;
        EXPECT_GT(std::atof(f[7].c_str()), 0.0) << name;
    }
}

TEST(Picinfo, AFolderWithoutPhotosIsAnError)
{
    const fs::path empty = fs::path(SMRA_TEST_TMPDIR) / "picinfo_empty";
    fs::create_directories(empty);
    EXPECT_NE(RunPicinfo("'" + empty.string() + "'").exitCode, 0);
    EXPECT_NE(RunPicinfo("/no/such/folder").exitCode, 0);
}

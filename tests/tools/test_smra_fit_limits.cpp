// The smra_fit developer tool at the edges of a fit: a project whose pictures are all fitted
// is fitted again from its layout, and a process short of address space fits as well as it can
// on fewer threads or ends with the memory message, never with a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "picset/headless_document.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "tests/support/run_program.h"

namespace {

namespace fs = std::filesystem;

const std::string kViewsDir = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3";

std::string ScratchFolder(const std::string& name)
{
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

// Neighbouring views of the synthetic ring laid in one row as a new project; false without
// the test data or when the tool fails.
bool MakeRow(const std::string& tool, const std::string& project, int views)
{
    std::string args = "new '" + project + "'";
    for (int i = 0; i < views; ++i) {
        const std::string photo = kViewsDir + "/rhein3_v0" + std::to_string(i) + ".jpg";
        if (!fs::exists(photo))
            return false;
        args += " '" + photo + "'";
    }
    const testsupport::ProgramRun run = testsupport::RunProgram(tool, args);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return run.exitCode == 0;
}

struct PictureState {
    std::string path;
    int status;
    CPoint cell;
};

std::vector<PictureState> ReadPictures(const std::string& project)
{
    CHeadlessDocument document;
    CMcHost host;
    host.SetDocument(&document);
    CMcCore core;
    core.m_Host = &host;
    document.SetCore(&core);
    std::vector<PictureState> pictures;
    EXPECT_EQ(LoadProjectFile(core, project).code, 1) << project;
    for (const auto& k : core.m_Pictures)
        pictures.push_back({k->m_Path, k->m_Status, k->m_LayoutCell});
    return pictures;
}

// The table of a fit's outcome without its timing line.
std::string FitTable(const std::string& output)
{
    std::string table;
    size_t at = output.find("picture ");
    while (at != std::string::npos && at < output.size()) {
        const size_t end = output.find('\n', at);
        const std::string line = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.rfind("common focal", 0) == 0)
            table += line.substr(0, line.find(", total time"));
        else
            table += line;
        table += '\n';
        if (end == std::string::npos)
            break;
        at = end + 1;
        if (output.compare(at, 9, "smra_fit:") == 0)
            break;
    }
    return table;
}

} // namespace

// Fitting a project whose pictures are all fitted starts the fit over on the same layout: every
// picture is fitted again and keeps its cell. (The restart emptied every cell, so the fit found
// no base picture: first a crash, then 12 of 12 pictures "not fitted" and a project without its
// layout written.)
TEST(SmraFitLimits, FullyFittedProjectIsFittedAgain)
{
    const std::string dir = ScratchFolder("fitted_again");
    const std::string tool = SMRA_SMRA_FIT_PATH;
    if (!MakeRow(tool, dir + "/row.fit", 3))
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    testsupport::ProgramRun run = testsupport::RunProgram(tool, "fit '" + dir + "/row.fit' '" + dir + "/f.fit'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<PictureState> first = ReadPictures(dir + "/f.fit");

    run = testsupport::RunProgram(tool, "fit '" + dir + "/f.fit' '" + dir + "/g.fit'");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("question 23 answered 1"), std::string::npos) << run.output;
    const std::vector<PictureState> again = ReadPictures(dir + "/g.fit");
    ASSERT_EQ(again.size(), first.size());
    int home = 0;
    for (const PictureState& p : again) {
        SCOPED_TRACE(p.path);
        EXPECT_GE(p.status, 3);
        home += p.cell == CPoint(0, 0);
        bool kept = false;
        for (const PictureState& q : first)
            kept |= q.path == p.path && q.cell == p.cell;
        EXPECT_TRUE(kept);
    }
    EXPECT_EQ(home, 1);
}

// Under limits of the address space from roomy to too tight, the fit either comes out as
// without a limit (threads it cannot start are done without) or ends with the memory message,
// exit status 1 and nothing written; it never aborts. The limit is set in the tool's own
// process. A sanitizer build reserves far more address space than any limit leaves, so there
// the optimised tool of build/ is run, when it has been built (the test command builds it
// before the tests run).
TEST(SmraFitLimits, ShortAddressSpaceFitsTheSameOrSaysMemoryIsShort)
{
#if defined(__SANITIZE_ADDRESS__)
    const std::string tool = std::string(SMRA_SOURCE_DIR) + "/build/tools/smra_fit";
#else
    const std::string tool = SMRA_SMRA_FIT_PATH;
#endif
    if (!fs::exists(tool))
        GTEST_SKIP() << "no smra_fit without sanitizers at " << tool;
    const std::string dir = ScratchFolder("address_space");
    const std::string project = dir + "/row.fit";
    if (!MakeRow(tool, project, 3))
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    const testsupport::ProgramRun free = testsupport::RunProgram(tool, "fit '" + project + "' '" + dir + "/free.fit'");
    ASSERT_EQ(free.exitCode, 0) << free.output;
    const std::string want = FitTable(free.output);
    ASSERT_FALSE(want.empty()) << free.output;

    int same = 0, short_ = 0;
    for (int megabytes = 4; megabytes <= 64; megabytes += 4) {
        SCOPED_TRACE(std::to_string(megabytes) + " MB");
        const std::string out = dir + "/limited.fit";
        fs::remove(out);
        const testsupport::ProgramRun run = testsupport::RunProgram(
            "/bin/sh", "-c \"ulimit -v " + std::to_string(megabytes * 1024) + "; exec '" + tool + "' fit '" + project +
                           "' '" + out + "'\"");
        // Below some megabytes the system cannot even load the program.
        if (run.exitCode == 127 && run.output.find("error while loading shared libraries") != std::string::npos)
            continue;
        if (run.exitCode == 0) {
            ++same;
            EXPECT_EQ(FitTable(run.output), want) << run.output;
            EXPECT_TRUE(fs::exists(out));
        } else {
            ++short_;
            EXPECT_EQ(run.exitCode, 1) << run.output;
            EXPECT_NE(run.output.find("Memory too short to do this command"), std::string::npos) << run.output;
            EXPECT_EQ(run.output.find("not fitted"), std::string::npos) << run.output;
            EXPECT_FALSE(fs::exists(out));
        }
    }
    // The range reaches from limits the tool cannot work under to limits it fits under.
    EXPECT_GT(same, 0);
    EXPECT_GT(short_, 0);
}

// The smra_fit developer tool run as a program: the cells `new` lays photos in, and the layouts
// it refuses because the fit would never reach some of their photos.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../imagefile/test_bmp_support.h"
#include "picset/headless_document.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "tests/support/run_program.h"

namespace {

using namespace bmptest;
namespace fs = std::filesystem;

class SmraFitNew : public ::testing::Test {
protected:
    void SetUp() override { m_dir = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()); }

    // Photo names "p00.bmp", "p01.bmp", ... (small generated pictures), quoted for the shell.
    std::vector<std::string> MakePhotos(int count)
    {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            const std::string path = m_dir + "/p" + (i < 10 ? "0" : "") + std::to_string(i) + ".bmp";
            if (!fs::exists(path))
                WriteAll(path, MakeBmp(16, 12, 24, 0, {}, Rows24(PatternPixels(16, 12), 16, 12, false)));
            names.push_back(path);
        }
        return names;
    }

    testsupport::ProgramRun New(const std::vector<std::string>& photos, const std::string& extra = "")
    {
        std::string args = "new '" + Project() + "'" + extra;
        for (const std::string& p : photos)
            args += " '" + p + "'";
        return testsupport::RunProgram(SMRA_SMRA_FIT_PATH, args);
    }

    std::string Project() const { return m_dir + "/laid.fit"; }

    // Each picture's cell, in the order the photos were named.
    std::vector<CPoint> Cells(int count)
    {
        CHeadlessDocument document;
        CMcHost host;
        host.SetDocument(&document);
        CMcCore core;
        core.m_Host = &host;
        document.SetCore(&core);
        EXPECT_EQ(LoadProjectFile(core, Project()).code, 1);
        std::vector<CPoint> cells(static_cast<size_t>(count), CPoint(999, 999));
        for (const auto& k : core.m_Pictures) {
            const std::string name = fs::path(k->m_Path).filename().string();
            const int i = std::stoi(name.substr(1, 2));
            if (i < count)
                cells[static_cast<size_t>(i)] = k->m_LayoutCell;
        }
        return cells;
    }

    std::string m_dir;
};

// One row lies around its middle photo (the one before the centre for an even count), the
// others in list order to its right and left, as the document's single inline tiling lays it.
TEST_F(SmraFitNew, OneRowLiesAroundItsMiddlePhoto)
{
    for (int count : {1, 2, 5, 24, 39}) {
        SCOPED_TRACE(count);
        fs::remove(Project());
        const testsupport::ProgramRun r = New(MakePhotos(count));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        const std::vector<CPoint> cells = Cells(count);
        const int middle = (count - 1) / 2;
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(cells[static_cast<size_t>(i)], CPoint(i - middle, 0)) << "photo " << i;
    }
}

// A layout with a cell outside the fit's grid is refused, and no project is written; the grid's
// own edge cells are taken.
TEST_F(SmraFitNew, CellsOutsideTheFitsGridAreRefused)
{
    const std::vector<std::string> two = MakePhotos(2);
    const struct {
        std::vector<std::string> photos;
        std::string extra;
        bool accepted;
    } cases[] = {
        {MakePhotos(40), "", false},  // a row of 40 reaches column 20
        {{two[0] + "@-20,-20", two[1] + "@19,19"}, "", true},
        {{two[0], two[1] + "@20,0"}, "", false},
        {{two[0], two[1] + "@0,-21"}, "", false},
        {MakePhotos(21), " --columns 21", false},
        {MakePhotos(21), " --columns 20", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.photos.back() + c.extra);
        fs::remove(Project());
        const testsupport::ProgramRun r = New(c.photos, c.extra);
        if (c.accepted) {
            EXPECT_EQ(r.exitCode, 0) << r.output;
            EXPECT_TRUE(fs::exists(Project()));
        } else {
            EXPECT_NE(r.exitCode, 0);
            EXPECT_NE(r.output.find("outside the cells the fit lays out (columns and rows -20 to 19)"),
                      std::string::npos)
                << r.output;
            EXPECT_FALSE(fs::exists(Project()));
        }
    }
}

} // namespace

// The built distribution installed and uninstalled by the real `setup` program, unattended on
// the offscreen platform, in a temporary home.
#include "setup_fixture.h"

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>

#include "setup/core/setup_ini.h"

extern char** environ;

namespace setuptest {
namespace {

using platform::SettingsHive;

#ifdef SMRA_SETUP_DIST

std::string ExecTarget(const std::string& entry)
{
    const std::size_t p = entry.find("\nExec=\"");
    if (p == std::string::npos)
        return std::string();
    const std::size_t start = p + 7;
    return entry.substr(start, entry.find('"', start) - start);
}

class EndToEndTest : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        if (!fs::exists(std::string(SMRA_SETUP_DIST) + "/setup"))
            GTEST_SKIP() << "no distribution built";
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
        fs::create_directories(root + "/run");
        fs::permissions(root + "/run", fs::perms::owner_all);
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        // The distribution, run unattended.
        fs::copy(SMRA_SETUP_DIST, dist, fs::copy_options::recursive);
        setup::CIniCache ini;
        ini.WriteIniString("Setup", "Auto", "1", dist + "/Setup.ini");
        Put(folders.programs + "/notes.txt", "mine");
        Put(folders.desktop + "/mine.desktop", "[Desktop Entry]\nName=Mine\n");
        Put(folders.mimeApps, "[Default Applications]\ntext/plain=editor.desktop;\n");
        store->SetString(SettingsHive::CurrentUser, "Software\\Other", "x", "keep");
    }
    std::string Dest() const { return folders.programs + "/Seamora"; }
};

TEST_F(EndToEndTest, InstallFromTheDistributionAndUninstall)
{
    // The distribution carries the program itself, not only the installer, and no developer script.
    ASSERT_TRUE(fs::exists(dist + "/Smra_En"));
    for (const auto& e : fs::recursive_directory_iterator(dist)) {
        const std::string ext = e.path().extension().string();
        EXPECT_TRUE(ext != ".py" && ext != ".sh") << e.path();
    }
    const auto before = Snapshot();
    ASSERT_EQ(RunProgram({dist + "/setup", "--no-pause", "--auto-answer"}), 0);
    const std::string program = Dest() + "/Smra_En";
    ASSERT_TRUE(fs::exists(program));
    EXPECT_TRUE(fs::exists(Dest() + "/setup"));
    // The movie program that Render and Save starts from the program's folder, if it was built.
    if (fs::exists(dist + "/Vellumark")) {
        EXPECT_EQ(::access((Dest() + "/Vellumark").c_str(), X_OK), 0);
    }
    // The guide documents go where the program looks for them.
    EXPECT_TRUE(fs::is_regular_file(Dest() + "/SmGuide/SmGuide.htm"));
    EXPECT_TRUE(fs::is_regular_file(Dest() + "/SmGuide/SmMnl.htm"));
    // The menu entry, the desktop shortcut and the ".fit" association all open the program.
    const std::string menu = Get(folders.applications + "/Seamora/Seamora.desktop");
    const std::string desk = Get(folders.desktop + "/Seamora.desktop");
    const std::string assoc = Get(folders.applications + "/seamora-seamoraplan-open.desktop");
    EXPECT_EQ(ExecTarget(menu), program);
    EXPECT_EQ(ExecTarget(desk), program);
    EXPECT_EQ(ExecTarget(assoc), program);
    EXPECT_NE(assoc.find("%f"), std::string::npos);
    EXPECT_NE(Get(folders.mimeApps).find("application/x-seamoraplan=seamora-seamoraplan-open.desktop;"), std::string::npos);
    EXPECT_NE(Get(folders.mimeApps).find("text/plain=editor.desktop;"), std::string::npos);
    store->Reload();
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, ".fit", "").value_or(""), "SeamoraPlan");
    EXPECT_EQ(store->GetString(SettingsHive::CurrentUser, "Software\\Other", "x").value_or(""), "keep");

    ASSERT_EQ(RunProgram({Dest() + "/setup", "--no-pause", "--auto-answer", "uninstall"}), 0);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(EndToEndTest, VersionUpThenOneUninstall)
{
    const auto before = Snapshot();
    ASSERT_EQ(RunProgram({dist + "/setup", "--no-pause", "--auto-answer"}), 0);
    // The next version carries one more file.
    Put(dist + "/extra.txt", "extra");
    setup::CIniCache ini;
    int i = 0;
    while (!ini.ReadIniString("CopyFile", std::to_string(i), "", dist + "/Setup.ini").empty())
        ++i;
    ini.WriteIniString("CopyFile", std::to_string(i), "extra.txt", dist + "/Setup.ini");
    ASSERT_EQ(RunProgram({dist + "/setup", "--no-pause", "--auto-answer"}), 0);
    EXPECT_EQ(Get(Dest() + "/extra.txt"), "extra");
    ASSERT_EQ(RunProgram({Dest() + "/setup", "--no-pause", "--auto-answer", "uninstall"}), 0);
    EXPECT_EQ(Snapshot(), before);
}

#endif

} // namespace
} // namespace setuptest

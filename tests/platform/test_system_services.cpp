// System services: starting programs and opening documents without a shell, the memory status,
// the running-job count, the file-dialog filter helpers, and the icon and cursor handles.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/file_dialog.h"
#include "platform/resources.h"
#include "platform/system_services.h"

namespace {

TEST(SystemServices, LauncherStartsProgramsAndRefusesMissingOnes)
{
    platform::IProcessLauncher& launcher = platform::ProcessLauncher();
    EXPECT_GT(launcher.Start("/bin/true", {}, platform::SW_SHOWNORMAL), 32);
    EXPECT_GT(launcher.Start("true", {"a b", ";", "$(x)"}, platform::SW_SHOWNORMAL), 32) << "found on the path";
    EXPECT_LE(launcher.Start("/no/such/program", {}, platform::SW_SHOWNORMAL), 32);
    EXPECT_LE(launcher.Start("", {}, platform::SW_SHOWNORMAL), 32);
}

TEST(SystemServices, ShellOpenOfAMissingFileFailsWithoutAskingTheDesktop)
{
    EXPECT_EQ(platform::ShellOpen().Open("SmGuide.htm", "/no/such/folder", platform::SW_SHOWNORMAL),
              platform::kStartFileNotFound);
    EXPECT_EQ(platform::ShellOpenPath("SmGuide.htm", "/opt/sm/"), "/opt/sm/SmGuide.htm");
    EXPECT_EQ(platform::ShellOpenPath("SmGuide.htm", "/opt/sm"), "/opt/sm/SmGuide.htm");
    EXPECT_EQ(platform::ShellOpenPath("/x/a.txt", ""), "/x/a.txt");

    platform::FakeShellOpen fake;
    const std::string dir = std::string(SMRA_TEST_TMPDIR) + "/shell";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/SmGuide.htm") << "guide";
    EXPECT_GT(fake.Open("SmGuide.htm", dir, 1), 32);
    EXPECT_EQ(fake.Open("SmMnl.htm", dir, 1), platform::kStartFileNotFound);
    EXPECT_EQ(fake.Opened().size(), 2u);
}

TEST(SystemServices, MemoryStatusCountsSwapIntoThePageFile)
{
    const platform::MemoryStatus m = platform::ReadSystemMemoryStatus();
    EXPECT_GT(m.totalPhysical, 0u);
    EXPECT_LE(m.availablePhysical, m.totalPhysical);
    EXPECT_GE(m.totalPageFile, m.totalPhysical);
    EXPECT_LE(m.availablePageFile, m.totalPageFile);
}

// Under a limit on the address space (ulimit -v) what is left of the limit is all that is
// available, however much the system holds.
TEST(SystemServices, MemoryStatusKeepsWithinTheAddressSpaceLimit)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%lld", &pages) != 1)
                pages = 0;
            std::fclose(f);
        }
        const uint64_t used = uint64_t(pages) * uint64_t(::sysconf(_SC_PAGESIZE));
        const uint64_t room = uint64_t(64) << 20;
        struct rlimit limit {};
        ::getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = used + room;
        const platform::MemoryStatus m =
            ::setrlimit(RLIMIT_AS, &limit) == 0 ? platform::ReadSystemMemoryStatus() : platform::MemoryStatus{};
        const uint64_t answer[] = {m.availablePageFile, m.availablePhysical, m.totalPageFile, used + room};
        ::_exit(::write(fds[1], answer, sizeof answer) == ssize_t(sizeof answer) ? 0 : 3);
    }
    ::close(fds[1]);
    uint64_t answer[4] = {};
    EXPECT_EQ(::read(fds[0], answer, sizeof answer), ssize_t(sizeof answer));
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(answer[0], 0u);
    EXPECT_LE(answer[0], uint64_t(64) << 20) << "at most what is left of the limit";
    EXPECT_LE(answer[1], uint64_t(64) << 20);
    EXPECT_LE(answer[2], answer[3]) << "the limit is the total";
}

TEST(SystemServices, JobScopesCountRunningJobs)
{
    platform::ResetRunningJobs();
    EXPECT_FALSE(platform::IsJobRunning());
    {
        platform::JobScope fit;
        {
            platform::JobScope render;
            EXPECT_EQ(platform::RunningJobs(), 2);
        }
        EXPECT_TRUE(platform::IsJobRunning());
    }
    EXPECT_FALSE(platform::IsJobRunning());
}

TEST(FileDialogFilter, PatternsPerFilterNameAndCaseBlindMatching)
{
    const auto patterns = platform::FilterPatterns(
        "Bitmap, JPEG(*.BMP, *.JPG) |*.BMP;*.jpg;*.jpeg|PNG ( *.PNG ) | *.png;*.PNG||");
    ASSERT_EQ(patterns.size(), 2u);
    EXPECT_EQ(patterns[0], (std::vector<std::string>{"*.BMP", "*.jpg", "*.jpeg"}));
    EXPECT_EQ(patterns[1], (std::vector<std::string>{"*.png", "*.PNG"}));

    const struct {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {{"IMG_01.JPEG", "*.jpeg", true}, {"a.Jpg", "*.JPG", true}, {"a.jpg.txt", "*.jpg", false},
                 {"a.bmp", "?.bmp", true},         {"ab.bmp", "?.bmp", false}, {"x", "*", true},
                 {"photo.tif", "*.ti?", true},     {"", "*.jpg", false}};
    for (const auto& c : cases)
        EXPECT_EQ(platform::MatchesPattern(c.name, c.pattern), c.match) << c.name << " " << c.pattern;
}

} // namespace

namespace {

class CountingLoader : public platform::IResourceLoader {
public:
    int LoadIcon(int id) override
    {
        ++loads;
        return id == 257 ? 0 : 1000 + id;
    }
    int LoadCursor(int id) override
    {
        ++loads;
        return 2000 + id;
    }
    int loads = 0;
};

TEST(CursorsAndIcons, LoadedOnceByIdAndMissingOnesStayNone)
{
    CountingLoader loader;
    platform::ResetCursorsAndIcons();
    platform::SetResourceLoader(&loader);
    LoadCursorsAndIcons();
    LoadCursorsAndIcons();
    EXPECT_EQ(loader.loads, 8 + 14);
    EXPECT_EQ(platform::IconHandle(233), 1233);
    EXPECT_EQ(platform::IconHandle(257), 0) << "the loader had none";
    EXPECT_EQ(platform::CursorHandle(332), 2332);
    EXPECT_EQ(platform::CursorHandle(233), 0) << "not a cursor id";
    platform::SetResourceLoader(nullptr);
    platform::ResetCursorsAndIcons();
    LoadCursorsAndIcons();
    EXPECT_EQ(platform::IconHandle(233), 0);
    platform::ResetCursorsAndIcons();
}

} // namespace

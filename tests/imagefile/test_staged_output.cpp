// Staged image outputs: a replaced file keeps its permissions, a name as long as a file name
// may be is written, links are written through and anything but a writable regular file is
// refused, an interrupted or terminated program leaves no staged file behind, and staged files
// a killed program left are removed a day later.
#include "imagefile/staged_output_file.h"

#include "imagefile/image_file.h"
#include "test_bmp_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace bmptest;
namespace fs = std::filesystem;

// Writes a small picture through the dispatch; the end's result.
int WritePicture(const std::string& path)
{
    const int w = 20, h = 18;
    const CPixelArray img = PatternPixels(w, h);
    if (SaveImageBegin(path, w, h, 72, "", 10) != 1)
        return -1;
    for (const int n : GetSaveStripOrder(path, h)) {
        CPixelArray strip;
        strip.SetSize(16 * w);
        for (int r = 0; r < 16 && 16 * n + r < h; ++r)
            std::copy(img.GetData() + (16 * n + r) * w, img.GetData() + (16 * n + r + 1) * w, strip.GetData() + r * w);
        if (SaveImagePut(path, strip, n) != 1) {
            SaveImageEnd(path, -1);
            return -1;
        }
    }
    return SaveImageEnd(path, 0);
}

std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(StagedOutput, AReplacedFileKeepsItsPermissions)
{
    const std::string dir = ScratchDir("staged_mode");
    for (const char* name : {"a.bmp", "a.jpg", "a.tif", "a.png"}) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        WriteAll(path, {1, 2, 3});
        ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
        ASSERT_EQ(WritePicture(path), 1);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(GetImageFileRect(path), CRect(0, 0, 20, 18));
    }
    // A new file gets the permissions of a new document.
    const mode_t mask = ::umask(022);
    const std::string fresh = dir + "/new.png";
    ASSERT_EQ(WritePicture(fresh), 1);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(StagedOutput, NamesAsLongAsAFileNameMayBeAreWritten)
{
    const std::string dir = ScratchDir("staged_long");
    for (const size_t length : {249u, 255u}) {
        for (const char* ext : {".bmp", ".png"}) {
            const std::string name = std::string(length - 4, 'n') + ext;
            SCOPED_TRACE(name.size());
            ASSERT_EQ(WritePicture(dir + "/" + name), 1);
            EXPECT_EQ(GetImageFileRect(dir + "/" + name), CRect(0, 0, 20, 18));
        }
    }
    EXPECT_EQ(Entries(dir).size(), 4u);
}

TEST(StagedOutput, SignalsRemoveTheStagedFile)
{
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        const std::string dir = ScratchDir("staged_signal");
        const std::string path = dir + "/out.bmp";
        WriteAll(path, {7, 7});
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            InstallStagedOutputSignalCleanup();
            CStagedOutputFile file;
            const char byte = file.Open(path) && file.Write("partial", 7) ? 'y' : 'n';
            if (::write(pipeFds[1], &byte, 1) != 1)
                ::_exit(3);
            for (;;)
                ::pause();
        }
        ::close(pipeFds[1]);
        char byte = 0;
        ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1);
        ::close(pipeFds[0]);
        EXPECT_EQ(byte, 'y');
        EXPECT_EQ(Entries(dir).size(), 2u); // the staged file exists while the child writes
        ASSERT_EQ(::kill(child, sig), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status));
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), sig);
        }
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"out.bmp"});
        EXPECT_EQ(ReadAll(path), (std::vector<uint8_t>{7, 7}));
    }
}

TEST(StagedOutput, LinksAreWrittenThroughAndOnlyWritableFilesReplaced)
{
    const std::string dir = ScratchDir("staged_targets");
    fs::create_directories(dir + "/sub");
    fs::create_directories(dir + "/folder.png");
    WriteAll(dir + "/sub/real.png", {1});
    WriteAll(dir + "/locked.png", {2});
    ::chmod((dir + "/locked.png").c_str(), 0444);
    ::mkfifo((dir + "/pipe.png").c_str(), 0644);
    fs::create_symlink("sub/real.png", dir + "/relative.png");
    fs::create_symlink(dir + "/relative.png", dir + "/chain.png");
    fs::create_symlink("sub/new.png", dir + "/dangling.png");
    fs::create_symlink("loop2.png", dir + "/loop1.png");
    fs::create_symlink("loop1.png", dir + "/loop2.png");
    fs::create_symlink("locked.png", dir + "/to_locked.png");
    const struct {
        const char* name;
        int refusal;
        const char* written; // the file that receives the picture
    } cases[] = {
        {"relative.png", 0, "sub/real.png"},
        {"chain.png", 0, "sub/real.png"},
        {"dangling.png", 0, "sub/new.png"},
        {"fresh.png", 0, "fresh.png"},
        {"folder.png", kStagedTargetNotAFile, nullptr},
        {"pipe.png", kStagedTargetNotAFile, nullptr},
        {"locked.png", kStagedTargetReadOnly, nullptr},
        {"to_locked.png", kStagedTargetReadOnly, nullptr},
        {"loop1.png", ELOOP, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/" + c.name;
        EXPECT_EQ(CheckStagedOutputTarget(path), c.refusal);
        const int written = WritePicture(path);
        if (c.written) {
            EXPECT_EQ(written, 1);
            EXPECT_EQ(GetImageFileRect(dir + "/" + c.written), CRect(0, 0, 20, 18));
        } else {
            EXPECT_EQ(written, -1);
            EXPECT_EQ(LastStagedOutputError(), c.refusal);
            EXPECT_FALSE(StagedOutputErrorText(c.refusal).empty());
        }
    }
    for (const char* link : {"relative.png", "chain.png", "dangling.png", "to_locked.png"})
        EXPECT_TRUE(fs::is_symlink(dir + "/" + link)) << link;
    EXPECT_EQ(ReadAll(dir + "/locked.png"), std::vector<uint8_t>{2});
    EXPECT_TRUE(fs::is_fifo(dir + "/pipe.png"));
    EXPECT_EQ(Entries(dir + "/sub"), (std::vector<std::string>{"new.png", "real.png"}));
}

TEST(StagedOutput, StagedFilesADayOldAreRemovedByTheNextWriteThere)
{
    const std::string dir = ScratchDir("staged_stale");
    const time_t now = ::time(nullptr);
    auto make = [&](const std::string& name, time_t age) {
        WriteAll(dir + "/" + name, {5});
        const timespec times[2] = {{now - age, 0}, {now - age, 0}};
        ::utimensat(AT_FDCWD, (dir + "/" + name).c_str(), times, AT_SYMLINK_NOFOLLOW);
    };
    const time_t day = kStaleStagedFileSeconds;
    make(".smra-Ab3xY9", day + 60);  // left by a killed program: removed
    make(".smra-fresh1", day - 600); // perhaps still being written
    make(".smra-abc", day * 3);      // not a name of ours
    make(".smra-abcdefg", day * 3);
    make(".smra-ab-def", day * 3);
    make("x.smra-abcdef", day * 3);
    make(".smra-abcdef.png", day * 3);
    make("target.txt", day * 3);
    fs::create_symlink("target.txt", dir + "/.smra-link01");
    const timespec old[2] = {{now - 3 * day, 0}, {now - 3 * day, 0}};
    ::utimensat(AT_FDCWD, (dir + "/.smra-link01").c_str(), old, AT_SYMLINK_NOFOLLOW);
    fs::create_directories(dir + "/.smra-folder");
    ::utimensat(AT_FDCWD, (dir + "/.smra-folder").c_str(), old, 0);

    ASSERT_EQ(WritePicture(dir + "/out.png"), 1);
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{".smra-ab-def", ".smra-abc", ".smra-abcdef.png",
                                                      ".smra-abcdefg", ".smra-folder", ".smra-fresh1",
                                                      ".smra-link01", "out.png", "target.txt", "x.smra-abcdef"}));
}

} // namespace

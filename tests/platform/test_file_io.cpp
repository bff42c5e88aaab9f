// Whole-file reads with a size limit and the atomic file write.
#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::FileIoError;
using platform::ReadWholeFile;
using platform::WriteFileAtomically;

namespace {

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::path(SMRA_TEST_TMPDIR) / (std::string("file_io_") + info->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_dir, ec);
    }
    std::string PathOf(const std::string& name) const { return (m_dir / name).string(); }
    static std::string Content(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Put(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }
    size_t EntryCount() const
    {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(m_dir))
            ++n;
        return n;
    }
    static std::span<const uint8_t> Span(const std::string& s)
    {
        return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
    }

    std::filesystem::path m_dir;
};

TEST_F(AtomicFile, CreatesAndReplacesKeepingPermissions)
{
    const std::string path = PathOf("plan.fit");
    ASSERT_EQ(WriteFileAtomically(path, Span("first")), FileIoError::None);
    EXPECT_EQ(Content(path), "first");

    ::chmod(path.c_str(), 0640);
    ASSERT_EQ(WriteFileAtomically(path, Span("second, longer")), FileIoError::None);
    EXPECT_EQ(Content(path), "second, longer");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(EntryCount(), 1u) << "no temporary file may stay behind";

    std::vector<uint8_t> back;
    EXPECT_EQ(ReadWholeFile(path, back, 1000), FileIoError::None);
    EXPECT_EQ(std::string(back.begin(), back.end()), "second, longer");
}

TEST_F(AtomicFile, FullDiskLeavesThePreviousFile)
{
    const std::string path = PathOf("plan.fit");
    Put(path, "previous project");
    // The file-size limit makes writes fail part-way, as a full disk does.
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string big(100000, 'z');
    const FileIoError result = WriteFileAtomically(path, Span(big));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &old, nullptr);

    EXPECT_EQ(result, FileIoError::WriteFailed);
    EXPECT_EQ(Content(path), "previous project");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFile, ReadOnlyFolderLeavesThePreviousFile)
{
    const std::string path = PathOf("plan.fit");
    Put(path, "previous project");
    ::chmod(m_dir.c_str(), 0555);
    // The superuser writes into read-only folders; act as an ordinary user for the save.
    const bool root = ::geteuid() == 0;
    if (root) {
        ::chmod(m_dir.parent_path().c_str(), 0755);
        ASSERT_EQ(::seteuid(65534), 0);
    }
    const FileIoError result = WriteFileAtomically(path, Span("new"));
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }

    EXPECT_EQ(result, FileIoError::CannotCreate);
    EXPECT_EQ(Content(path), "previous project");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFile, ReadRefusesMissingFoldersAndOversizedFiles)
{
    std::vector<uint8_t> out;
    EXPECT_EQ(ReadWholeFile(PathOf("missing.fit"), out, 100), FileIoError::NotFound);
    EXPECT_EQ(ReadWholeFile(m_dir.string(), out, 100), FileIoError::Folder);
    // A pipe without a writer must not block the read.
    ASSERT_EQ(::mkfifo(PathOf("pipe.fit").c_str(), 0600), 0);
    EXPECT_EQ(ReadWholeFile(PathOf("pipe.fit"), out, 100), FileIoError::NotAFile);
    Put(PathOf("big.fit"), std::string(101, 'a'));
    EXPECT_EQ(ReadWholeFile(PathOf("big.fit"), out, 100), FileIoError::TooLarge);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(ReadWholeFile(PathOf("big.fit"), out, 101), FileIoError::None);
    EXPECT_EQ(out.size(), 101u);
}

} // namespace

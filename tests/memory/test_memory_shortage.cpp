// A project whose photos do not all fit in the memory the process may have. A child process
// limits its address space, then asks for the pictures' full images as the work view's drawing
// and the idle work do, outside a job and under one, and saves the project over its file: the
// project keeps every picture throughout, and the file keeps them all.
//
// This program's operator new allocates with malloc, so that an allocation the limit refuses
// throws std::bad_alloc in every build (the sanitizer's own operator new ends the process
// instead); with the sanitizer, freed blocks go back to the system at once, as without it.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sstream>

#include "tests/document/doc_test_support.h"

extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:quarantine_size_mb=0"; }

namespace {
void* Allocate(size_t n)
{
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace doctest {
namespace {

constexpr int kPhotos = 4;
constexpr int kWidth = 1000, kHeight = 750;
constexpr int64_t kImageBytes = int64_t(4) * kWidth * kHeight;

int64_t AddressSpaceInUse()
{
    long long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    return int64_t(pages) * ::sysconf(_SC_PAGESIZE);
}

// What the child saw, in the order it wrote it.
struct Outcome {
    std::vector<int> outsideJob, underJob;
    int messagesOutside = -1, messagesUnderJob = -1;
    int pictures = -1, pieces = -1;
    bool modified = true;
    int saved = -1, picturesInFile = -1;
};

class MemoryShortageTest : public DocTest {
protected:
    // Runs the loads and the save in a child whose address space may grow by `headroom` bytes.
    Outcome RunInChild(const std::string& project, int64_t headroom)
    {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            std::ostringstream out;
            // Large blocks are mapped and unmapped one by one, so that a freed image gives its
            // address space back.
            ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
            doc->ReleasePictureImages(std::string());
            struct rlimit limit {};
            ::getrlimit(RLIMIT_AS, &limit);
            limit.rlim_cur = static_cast<rlim_t>(AddressSpaceInUse() + headroom);
            ::setrlimit(RLIMIT_AS, &limit);

            std::vector<std::string> names;
            for (int n = 0; n < doc->GetPictureCount(); ++n)
                names.push_back(doc->GetPicture(n)->m_Path);
            box.Clear();
            for (const std::string& n : names)
                out << doc->LoadPictureImage(n) << ' ';
            out << "| " << box.Shown().size() << ' ';
            box.Clear();
            {
                const platform::JobScope job;
                for (const std::string& n : names)
                    out << doc->LoadPictureImage(n) << ' ';
            }
            out << "| " << box.Shown().size() << ' ' << doc->GetPictureCount() << ' ' << doc->GetPieceCount() << ' '
                << doc->IsModified() << ' ';
            doc->SetModifiedFlag();
            out << doc->FileSave() << ' ';
            doc->ReleasePictureImages(std::string());
            out << (doc->OpenDocumentFile(project) ? doc->GetPictureCount() : -1) << '\n';
            const std::string text = out.str();
            const bool written = ::write(fds[1], text.data(), text.size()) == ssize_t(text.size());
            ::_exit(written ? 0 : 3);
        }
        ::close(fds[1]);
        std::string text;
        char buffer[256];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        ::close(fds[0]);
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << ": " << text;

        Outcome o;
        std::istringstream in(text);
        std::string word;
        auto readList = [&in, &word](std::vector<int>& list) {
            while (in >> word && word != "|")
                list.push_back(std::atoi(word.c_str()));
        };
        readList(o.outsideJob);
        in >> o.messagesOutside;
        readList(o.underJob);
        in >> o.messagesUnderJob >> o.pictures >> o.pieces >> o.modified >> o.saved >> o.picturesInFile;
        return o;
    }
};

TEST_F(MemoryShortageTest, PicturesStayInTheProjectAndInItsFileWhenTheirImagesDoNotFit)
{
    const std::string dir = TempDir();
    std::vector<std::string> photos;
    for (int n = 0; n < kPhotos; ++n)
        photos.push_back(WritePicture(dir + "/photo" + std::to_string(n) + ".jpg", kWidth, kHeight));
    ASSERT_EQ(Import(photos), 1);
    const std::string project = dir + "/four.fit";
    ASSERT_TRUE(doc->DoSave(project));
    ASSERT_TRUE(doc->OpenDocumentFile(project));
    ASSERT_EQ(doc->GetPieceCount(), kPhotos);
    const std::vector<uint8_t> file = ReadBytes(project);

    struct Case {
        const char* what;
        int64_t headroom;
        bool oneImageFits;
    };
    const Case cases[] = {
        // Room for two or three images: outside a job the others' images give way; a job, which
        // keeps every image it read, runs short.
        {"room for a few images", 5 * kImageBytes / 2, true},
        // Not even one image fits.
        {"room for less than one image", kImageBytes / 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = RunInChild(project, c.headroom);
        ASSERT_EQ(o.outsideJob.size(), size_t(kPhotos));
        ASSERT_EQ(o.underJob.size(), size_t(kPhotos));
        for (int r : o.outsideJob)
            EXPECT_EQ(r, c.oneImageFits ? 1 : -5);
        EXPECT_EQ(o.messagesOutside, c.oneImageFits ? 0 : kPhotos) << "each refused read is told";
        EXPECT_NE(std::find(o.underJob.begin(), o.underJob.end(), -5), o.underJob.end())
            << "a job keeps what it read and runs short";
        EXPECT_EQ(o.messagesUnderJob, 1) << "a job is told once";
        EXPECT_EQ(o.pictures, kPhotos);
        EXPECT_EQ(o.pieces, kPhotos) << "the work space keeps its pieces";
        EXPECT_FALSE(o.modified) << "nothing was dropped";
        EXPECT_EQ(o.saved, 1);
        EXPECT_EQ(o.picturesInFile, kPhotos);
    }
    EXPECT_EQ(ReadBytes(project), file);
}

} // namespace
} // namespace doctest

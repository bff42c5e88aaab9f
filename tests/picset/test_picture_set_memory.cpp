// Running out of memory while a picture is opened: the set reports -5, asks the host to show
// the memory message, and stays as it was. The test binary's operator new can be told to fail
// for large requests; it allocates with malloc, so the sanitizer still sees every block (only
// its new/delete pairing check is lost for this binary).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/message_box.h"
#include "test_picture_set_fakes.h"

namespace {
// Requests of at least this many bytes fail while it is not zero.
std::atomic<size_t> g_failFromSize{0};

void* Allocate(size_t n)
{
    const size_t limit = g_failFromSize.load();
    if (limit != 0 && n >= limit)
        throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

TEST(PictureSetMemory, ExhaustedMemoryWhileOpeningReportsAndKeepsTheSet)
{
    SetEngineModeFlags();
    platform::FakeMessageBox box;
    platform::SetMessageBox(&box);
    RecordingHost host;
    CMcCore set;
    set.m_Host = &host;
    PhotoFolder folder("memory");
    const std::string first = folder.Add(host, "first.jpg", 640, 480);
    const std::string second = folder.Add(host, "second.jpg", 640, 480);
    ASSERT_NE(set.OpenPicture(first), nullptr);
    set.m_Activity = 0;

    int result = 0;
    g_failFromSize = sizeof(CKpic);
    CKpic* k = set.OpenPicture(second, result);
    g_failFromSize = 0;
    EXPECT_EQ(k, nullptr);
    EXPECT_EQ(result, -5);
    EXPECT_EQ(set.GetPictureCount(), 1);
    EXPECT_EQ(set.FindPictureIndex(second), -1);
    EXPECT_EQ(set.m_Activity, 0);
    EXPECT_EQ(host.QuestionNumbers(), std::vector<int>{10});
    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(box.Shown()[0], "Memory too short to do this command,\nWe can't work any more...");

    // Once memory is back the same file opens.
    EXPECT_NE(set.OpenPicture(second, result), nullptr);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(set.GetPictureCount(), 2);
}

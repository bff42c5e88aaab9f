// A full disk while a picture is written: every writer reports -1, the caller ends the file
// with a negative status, and the previous file is left as it was.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>

#include "imagefile/jpeg_encoder.h"
#include "imagefile/png_codec.h"
#include "imagefile/staged_output_file.h"
#include "imagefile/tiff_codec.h"
#include "test_writers_support.h"

using namespace writers_test;

namespace {

// Limits the size of files this process may write (as a full disk would) while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit l = m_old;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

struct Writer {
    const char* name;
    std::function<int(const std::string&, int, int)> begin;
    std::function<int(const std::vector<uint32_t>&, int)> put;
    std::function<int(int)> end;
};

}  // namespace

TEST(WritersOnAFullDisk, ReportTheErrorAndKeepThePreviousFile)
{
    CJpegEncoder jpeg;
    CTiffCodec tiff;
    CPngCodec png;
    Writer writers[] = {
        {"jpeg", [&](const std::string& p, int w, int h) { return jpeg.BeginWrite(p, w, h, 96, 10); },
         [&](const std::vector<uint32_t>& s, int n) { return jpeg.WriteStrip(s.data(), s.size(), n); },
         [&](int st) { return jpeg.EndWrite(st); }},
        {"tiff", [&](const std::string& p, int w, int h) { return tiff.BeginWrite(p, w, h, 96); },
         [&](const std::vector<uint32_t>& s, int n) { return tiff.WriteStrip(s.data(), s.size(), n); },
         [&](int st) { return tiff.EndWrite(st); }},
        {"png", [&](const std::string& p, int w, int h) { return png.BeginWrite(p, w, h); },
         [&](const std::vector<uint32_t>& s, int n) { return png.WriteStrip(s.data(), s.size(), n); },
         [&](int st) { return png.EndWrite(st); }},
    };
    const int w = 300, h = 400;
    std::vector<uint32_t> px = SyntheticPhoto(w, h);
    const std::string folder = TempPath("full_disk");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    for (const Writer& wr : writers) {
        std::string path = folder + "/full." + wr.name;
        WriteBytes(path, {1, 2, 3, 4});
        int failedAt = -1;
        {
            FileSizeLimit limit(16 * 1024);
            ASSERT_EQ(wr.begin(path, w, h), 1) << wr.name;
            for (int n = 0; 16 * n < h; ++n) {
                std::vector<uint32_t> strip(px.begin() + 16 * n * w, px.begin() + 16 * (n + 1) * w);
                if (wr.put(strip, n) < 0) {
                    failedAt = n;
                    break;
                }
            }
            wr.end(-1);
        }
        EXPECT_GE(failedAt, 0) << wr.name << ": no strip reported the write error";
        // The reason is kept for the user: the file-size limit, not a vague failure.
        EXPECT_EQ(LastStagedOutputError(), EFBIG) << wr.name;
        EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3, 4})) << wr.name;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            EXPECT_EQ(e.path().filename().string().rfind(".smra-", 0), std::string::npos) << "left behind: " << e.path();
    }
}

// Shared pieces of the project-file tests: a little-endian byte builder for expected file
// contents, a recording host, and a scratch folder per test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/file_dialog.h"

namespace projtest {

// Appends values as the file holds them: little-endian, fixed widths.
class Le {
public:
    Le& u8(int v)
    {
        m_b.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Le& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Le& u32(uint32_t v) { return u16(static_cast<int>(v & 0xFFFF)).u16(static_cast<int>(v >> 16)); }
    Le& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Le& f64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return u32(static_cast<uint32_t>(bits)).u32(static_cast<uint32_t>(bits >> 32));
    }
    Le& zeros(int n)
    {
        for (int i = 0; i < n; ++i)
            u8(0);
        return *this;
    }
    // A text below 255 characters: one length byte and the characters.
    Le& str(const std::string& s)
    {
        EXPECT_LT(s.size(), 255u);
        u8(static_cast<int>(s.size()));
        for (char c : s)
            u8(static_cast<unsigned char>(c));
        return *this;
    }
    Le& raw(const std::vector<uint8_t>& v)
    {
        m_b.insert(m_b.end(), v.begin(), v.end());
        return *this;
    }
    size_t size() const { return m_b.size(); }
    const std::vector<uint8_t>& bytes() const { return m_b; }

private:
    std::vector<uint8_t> m_b;
};

struct Said {
    std::string number, a, b;
    int type = 0;
};

// A host that answers questions from a queue (Cancel when it runs dry), records what the engine
// said, and sizes every image file as 640 x 480 without reading it.
class RecordingHost : public CMcHost {
public:
    int AskQuestion(const std::string& number, int type, const std::string& a, const std::string& b) override
    {
        questions.push_back({number, a, b, type});
        if (answers.empty())
            return defaultAnswer;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowMessage(const std::string& number, int type, const std::string& a, const std::string& b) override
    {
        messages.push_back({number, a, b, type});
    }
    void ShowStatus(int pane, const std::string& number, const std::string& a, const std::string& b) override
    {
        statuses.push_back({number, a, b, pane});
    }
    CRect GetImageFileRect(const std::string& path) override
    {
        sized.push_back(path);
        return realImageSizes ? CMcHost::GetImageFileRect(path) : imageRect;
    }

    std::vector<std::string> QuestionNumbers() const
    {
        std::vector<std::string> out;
        for (const Said& q : questions)
            out.push_back(q.number);
        return out;
    }
    std::vector<std::string> StatusNumbers() const
    {
        std::vector<std::string> out;
        for (const Said& s : statuses)
            out.push_back(s.number);
        return out;
    }

    void Reset()
    {
        answers.clear();
        questions.clear();
        messages.clear();
        statuses.clear();
        sized.clear();
    }

    std::deque<int> answers;
    int defaultAnswer = 2; // Cancel
    std::vector<Said> questions, messages, statuses;
    std::vector<std::string> sized;
    CRect imageRect{0, 0, 640, 480};
    bool realImageSizes = false; // size (and read the camera data of) the real files
};

// A folder of its own for each test, removed afterwards; installs a scripted file dialog.
class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        m_dir = std::filesystem::path(SMRA_TEST_TMPDIR) / name;
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        platform::SetFileDialog(&dialog);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    std::string PathOf(const std::string& relative) const { return (m_dir / relative).string(); }
    // Creates a (content-free) file and the folders above it; its full path.
    std::string Touch(const std::string& relative) const
    {
        const std::filesystem::path p = m_dir / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << "photo";
        return p.string();
    }
    static std::vector<uint8_t> ReadBytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // A record as the project keeps it (the lens estimate does not matter here).
    static std::unique_ptr<CKpic> Picture(const std::string& path, int status = 0)
    {
        auto p = std::unique_ptr<CKpic>(CKpic::CreateObject());
        p->m_Path = path;
        p->m_PictureRect = CRect(0, 0, 640, 480);
        p->m_Status = status;
        return p;
    }

    std::filesystem::path m_dir;
    platform::FakeFileDialog dialog;
};

} // namespace projtest

// A recording engine host for the picture-set and facade tests: image sizes come from a table,
// questions are recorded and answered by the real adapter unless the test scripts an answer,
// pixel loads fill the picture's array like the document would.
#pragma once

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

class RecordingHost : public CMcHost {
public:
    struct Question {
        std::string number;
        int type;
        std::string a;
    };

    int AskQuestion(const std::string& number, int type, const std::string& a, const std::string& b) override
    {
        questions.push_back({number, type, a});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return CMcHost::AskQuestion(number, type, a, b);
    }
    CRect GetImageFileRect(const std::string& path) override
    {
        if (realFiles)
            return CMcHost::GetImageFileRect(path);
        auto it = sizes.find(path);
        return it == sizes.end() ? CRect() : it->second;
    }
    int LoadPictureImage(const std::string& path) override
    {
        loads.push_back(path);
        if (loadResult > 0 && set) {
            CKpic* k = set->FindPictureByPath(path);
            if (!k)
                return -1;
            k->Pixels.SetSize(static_cast<std::ptrdiff_t>(k->Width()) * k->Height());
            k->Pixels.Fill(0x00808080);
        }
        return loadResult;
    }
    void OnListChanged(int code) override { listChanges.push_back(code); }

    std::vector<int> QuestionNumbers() const
    {
        std::vector<int> n;
        for (const Question& q : questions)
            n.push_back(MessageNumber(q.number));
        return n;
    }

    CMcCore* set = nullptr;
    // Sizes from the files themselves instead of the table.
    bool realFiles = false;
    std::map<std::string, CRect> sizes;
    std::deque<int> answers;
    std::vector<Question> questions;
    std::vector<std::string> loads;
    int loadResult = 1;
    std::vector<int> listChanges;
};

// A folder of empty files standing for photos whose sizes the host's table gives.
class PhotoFolder {
public:
    explicit PhotoFolder(const std::string& name)
        : m_dir(std::filesystem::path(SMRA_TEST_TMPDIR) / "picture_set" / name)
    {
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    // Creates the file and registers its size with the host; its full path.
    std::string Add(RecordingHost& host, const std::string& name, int w, int h)
    {
        const std::string path = (m_dir / name).string();
        std::ofstream(path) << "x";
        host.sizes[path] = CRect(0, 0, w, h);
        return path;
    }
    std::string PathOf(const std::string& name) const { return (m_dir / name).string(); }
    const std::filesystem::path& Dir() const { return m_dir; }

private:
    std::filesystem::path m_dir;
};

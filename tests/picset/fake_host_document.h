// A project document stand-in for the host adapter's tests: records what the host writes and
// asks, answers from values the test sets.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "picset/host_document.h"

class FakeHostDocument : public IHostDocument {
public:
    struct Update {
        const void* sender;
        int hint;
        bool hasObject;
        std::string object;
    };

    int GetBusyState() const override { return busy; }
    void SetBusyState(int state) override { busy = state; }
    int GetStepFlags() const override { return stepFlags; }
    void SetStepFlags(int flags) override { stepFlags = flags; }
    void SetCurrentEntry(int index) override { currentEntry = index; }
    void NotifyWorkView(int code, const std::string& text) override { workViewMessages.emplace_back(code, text); }
    void SetStatusMessage(const std::string& text) override
    {
        if (!text.empty())
            statusMessages.push_back(text);
    }
    int FindEntryIndex(const std::string& name) override
    {
        auto it = entries.find(name);
        return it == entries.end() ? -2 : it->second;
    }
    bool HasThumView() override { return true; }
    void ShowThumbnail(int entry) override { thumbnails.push_back(entry); }
    void RepaintThumView() override { ++thumRepaints; }
    int TestBreakClick() override
    {
        ++breakTests;
        if (breakClicks.empty())
            return 0;
        const int c = breakClicks.front();
        breakClicks.pop_front();
        return c;
    }
    int LoadPictureImage(const std::string& path) override
    {
        loaded.push_back(path);
        return loadResult;
    }
    void UpdateAllViews(const void* sender, int hint, const std::string* object) override
    {
        updates.push_back({sender, hint, object != nullptr, object ? *object : std::string()});
    }

    int busy = 0;
    int stepFlags = 0;
    int currentEntry = -1;
    std::vector<std::pair<int, std::string>> workViewMessages;
    std::vector<std::string> statusMessages;
    std::map<std::string, int> entries;
    std::vector<int> thumbnails;
    int thumRepaints = 0;
    std::deque<int> breakClicks;
    int breakTests = 0;
    std::vector<std::string> loaded;
    int loadResult = 1;
    std::vector<Update> updates;
};

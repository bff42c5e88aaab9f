// A fresh home for every installer test: HOME, the XDG folders, TMPDIR and the settings store
// all point into one temporary folder, and a test stops at once if HOME lies anywhere else.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <functional>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "platform/settings_store.h"
#include "setup/core/setup.h"

extern char** environ;

namespace setuptest {

namespace fs = std::filesystem;

struct Shown {
    std::string text, title;
    setup::Buttons buttons;
};

class FakeUi : public setup::SetupUi {
public:
    int MessageBox(const std::string& text, const std::string& title, setup::Buttons b, setup::Icon, bool defaultNo) override
    {
        boxes.push_back({text, title, b});
        lastDefaultNo = defaultNo;
        if (!answers.empty()) {
            const int a = answers.front();
            answers.pop_front();
            return a;
        }
        return b == setup::Buttons::YesNo ? setup::IDNO : b == setup::Buttons::AbortRetryIgnore ? setup::IDABORT : setup::IDOK;
    }
    int AskRetry(const std::string& target, const std::string&) override
    {
        retried.push_back(target);
        if (!retryAnswers.empty()) {
            const int a = retryAnswers.front();
            retryAnswers.pop_front();
            return a;
        }
        return 3;
    }
    void ShowErrorList(const std::string& text) override { errorLists.push_back(text); }
    // Runs out of memory at the given change of the main dialog (counted from 1), when set.
    void DialogChanged() override
    {
        if (outOfMemoryAtChange > 0 && ++changes == outOfMemoryAtChange)
            throw std::bad_alloc();
    }
    bool StartProgram(const std::vector<std::string>& argv, const std::string&) override
    {
        started.push_back(argv);
        return startResult;
    }
    int RunAndWait(const std::vector<std::string>& argv) override
    {
        waited.push_back(argv);
        if (onRun)
            onRun(argv);
        return 0;
    }
    void CopyProgress(const std::string& name, uint64_t done, uint64_t total) override
    {
        progress.push_back({name, done, total});
    }
    struct Progress {
        std::string name;
        uint64_t done, total;
    };
    std::vector<Progress> progress;
    std::vector<std::vector<std::string>> waited;
    std::function<void(const std::vector<std::string>&)> onRun;
    std::vector<Shown> boxes;
    std::deque<int> answers;
    std::deque<int> retryAnswers;
    std::vector<std::string> retried;
    std::vector<std::string> errorLists;
    std::vector<std::vector<std::string>> started;
    bool startResult = true;
    int outOfMemoryAtChange = 0;
    int changes = 0;
    bool lastDefaultNo = false;
};

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

public:
    // Writes a file (creating its folders).
    static void Put(const std::string& path, const std::string& text);
    static std::string Get(const std::string& path);

protected:
    // A distribution folder: the program, its script and files.
    void MakeDist(const std::string& script, const std::map<std::string, std::string>& files = {});
    std::unique_ptr<setup::CSetup> NewSetup();
    // Runs a whole install from the distribution, answering the dialog with OK.
    int InstallFromDist(FakeUi& ui, const std::function<void(setup::CSetup&)>& adjust = nullptr);
    // Runs the installed copy with the word "uninstall".
    int UninstallInstalled(FakeUi& ui, const std::string& dest);
    // Every file under the home (but the trash) with its contents, and every settings value.
    std::map<std::string, std::string> Snapshot();

    std::string root;
    std::string home;
    std::string dist;
    setup::SetupFolders folders;
    std::unique_ptr<platform::CSettingsStore> store;
    FakeUi ui;
};

// Runs a program and waits for it (at most a minute); its exit code, or -1.
inline int RunProgram(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    for (int i = 0; i < 600; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

} // namespace setuptest

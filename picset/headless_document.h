// A document without windows, for the tools and benchmarks that run the engine from a terminal:
// it keeps the busy state and the step flags, loads a picture's full-size pixels when the engine
// asks for them, and lets every view notice pass.
#pragma once

#include <string>

#include "picset/host_document.h"

class CMcCore;

class CHeadlessDocument : public IHostDocument {
public:
    void SetCore(CMcCore* core) { m_core = core; }
    int GetBusyState() const override { return m_busy; }
    void SetBusyState(int state) override { m_busy = state; }
    int GetStepFlags() const override { return m_flags; }
    void SetStepFlags(int flags) override { m_flags = flags; }
    void SetCurrentEntry(int) override {}
    void NotifyWorkView(int, const std::string&) override {}
    void SetStatusMessage(const std::string&) override {}
    int FindEntryIndex(const std::string&) override { return -2; }
    bool HasThumView() override { return false; }
    void ShowThumbnail(int) override {}
    void RepaintThumView() override {}
    int TestBreakClick() override { return 0; }
    void UpdateAllViews(const void*, int, const std::string*) override {}
    // 1 when the picture holds its full-size pixels (read now or before), -1 when it cannot:
    // no such picture, an unreadable file, or a file whose size differs from the picture's;
    // -5 when memory ran short.
    int LoadPictureImage(const std::string& path) override;

private:
    CMcCore* m_core = nullptr;
    int m_busy = 0;
    int m_flags = 0;
};

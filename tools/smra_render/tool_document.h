// The smallest document the engine host can report to, for rendering without a window: it
// loads a picture's pixels through the image-file dispatch and prints status texts on the
// terminal; everything that would touch a view does nothing.
#pragma once

#include <string>

#include "picset/host_document.h"

class CMcCore;

class CToolDocument : public IHostDocument {
public:
    // The picture set whose pictures LoadPictureImage fills (not owned; may be set later).
    void SetCore(CMcCore* core) { m_core = core; }

    int GetBusyState() const override { return m_busy; }
    void SetBusyState(int state) override { m_busy = state; }
    int GetStepFlags() const override { return m_stepFlags; }
    void SetStepFlags(int flags) override { m_stepFlags = flags; }
    void SetCurrentEntry(int) override {}
    void NotifyWorkView(int, const std::string&) override {}
    void SetStatusMessage(const std::string& text) override;
    int FindEntryIndex(const std::string&) override { return -2; }
    bool HasThumView() override { return false; }
    void ShowThumbnail(int) override {}
    void RepaintThumView() override {}
    int TestBreakClick() override { return 0; }
    int LoadPictureImage(const std::string& path) override;
    void UpdateAllViews(const void*, int, const std::string*) override {}

private:
    CMcCore* m_core = nullptr;
    int m_busy = 0;
    int m_stepFlags = 0;
};

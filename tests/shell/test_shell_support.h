// Shared pieces of the window tests: a view that records the hints it is sent, and scripted
// system services installed for one test.
#pragma once

#include <string>
#include <vector>

#include "document/document_base.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/system_services.h"

namespace shelltest {

class RecordingView : public IDocumentView {
public:
    struct Hint {
        int hint;
        std::string names;  // the document's dropped names when the hint came
    };
    std::vector<Hint> hints;
    std::function<std::string()> namesNow;
    const char* GetRuntimeClassName() const override { return "CRecordingView"; }
    void OnUpdate(IDocumentView*, int hint, const HintObject&) override
    {
        hints.push_back({hint, namesNow ? namesNow() : std::string()});
    }
};

// Scripted message box, file dialog and shell for the length of a test.
struct ScriptedServices {
    platform::FakeMessageBox box;
    platform::FakeFileDialog dialog;
    platform::FakeShellOpen shell;
    ScriptedServices()
    {
        platform::SetMessageBox(&box);
        platform::SetFileDialog(&dialog);
        platform::SetShellOpen(&shell);
    }
    ~ScriptedServices()
    {
        platform::SetMessageBox(nullptr);
        platform::SetFileDialog(nullptr);
        platform::SetShellOpen(nullptr);
    }
};

} // namespace shelltest

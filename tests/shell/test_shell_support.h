// Shared pieces of the window tests: a view that records the hints it is sent, scripted
// system services installed for one test, and starting the program and its main window.
#pragma once

#include <QTest>

#include <functional>
#include <string>
#include <vector>

#include "document/document_base.h"
#include "document/update_hint.h"
#include "platform/file_dialog.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/system_services.h"
#include "shell/main_frame.h"
#include "shell/sm_app.h"

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

// Runs its action when a long job starts its timer.
class JobStartHook : public IDocumentView {
public:
    explicit JobStartHook(std::function<void()> action) : m_action(std::move(action)) {}
    const char* GetRuntimeClassName() const override { return "CJobStartHook"; }
    void OnUpdate(IDocumentView*, int hint, const HintObject& object) override
    {
        if (hint == HINT_TIMER && object.value == 6)
            m_action();
    }

private:
    std::function<void()> m_action;
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

// Starts the program with Return held, so that the start-up picture goes at once.
inline bool StartProgram(CSmApp& app, const std::vector<std::string>& arguments)
{
    platform::DefaultInput().Reset();
    platform::DefaultInput().Press(platform::Key::Return);
    const bool started = app.InitInstance(arguments);
    platform::DefaultInput().Release(platform::Key::Return);
    return started;
}

// Shows the main window in a 1000 x 700 frame; false when it never appears.
inline bool ShowMainFrame(CMainFrame* frame)
{
    frame->setWindowState(Qt::WindowNoState);
    frame->setGeometry(0, 0, 1000, 700);
    frame->show();
    return QTest::qWaitForWindowExposed(frame);
}

} // namespace shelltest

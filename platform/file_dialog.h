// File-open dialogs: the request the program makes (title, initial name, filter, default
// extension) and the answer (a chosen path or a cancel). Process-wide and replaceable; without a
// window layer every dialog is cancelled.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct FileDialogRequest {
    std::string title;
    // Initial content of the file-name field (may be a full path).
    std::string initialPath;
    // Filter in the form "Name | pattern;pattern | Name | pattern ||".
    std::string filter;
    // Extension added to a typed name that has none, without the dot.
    std::string defaultExt;
};

class IFileDialog {
public:
    virtual ~IFileDialog() = default;
    // Shows a dialog for choosing one existing file; the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> OpenFile(const FileDialogRequest& request) = 0;
};

// The dialog in use.
IFileDialog& FileDialog();
// Installs a dialog (not owned); nullptr restores the plain one, which cancels every request.
void SetFileDialog(IFileDialog* dialog);

// A scripted dialog for tests: records every request and answers from a queue (cancel when the
// queue is empty).
class FakeFileDialog : public IFileDialog {
public:
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override
    {
        m_requests.push_back(request);
        if (m_answers.empty())
            return std::nullopt;
        std::optional<std::string> a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    void QueuePath(const std::string& path) { m_answers.emplace_back(path); }
    void QueueCancel() { m_answers.emplace_back(std::nullopt); }
    const std::vector<FileDialogRequest>& Requests() const { return m_requests; }

private:
    std::deque<std::optional<std::string>> m_answers;
    std::vector<FileDialogRequest> m_requests;
};

} // namespace platform

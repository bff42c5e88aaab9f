// File dialogs: the request the program makes (title, initial name, filter, default
// extension) and the answer (chosen paths or a cancel). Open one file, open several files, and
// save under a name with the chosen filter's index. Process-wide and replaceable; without a
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
    // Filter chosen when the dialog opens, counted from 1 (0 = the first).
    int filterIndex = 0;
};

// The answer of a save dialog: the path and the filter the user left chosen (counted from 1).
struct SaveFileAnswer {
    std::string path;
    int filterIndex = 1;
};

class IFileDialog {
public:
    virtual ~IFileDialog() = default;
    // Shows a dialog for choosing one existing file; the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> OpenFile(const FileDialogRequest& request) = 0;
    // Shows a dialog for choosing several existing files; the chosen paths in the order the
    // dialog gives them, empty when cancelled.
    virtual std::vector<std::string> OpenFiles(const FileDialogRequest& request)
    {
        std::optional<std::string> one = OpenFile(request);
        return one ? std::vector<std::string>{*one} : std::vector<std::string>{};
    }
    // Shows a dialog for saving under a name; the name and the chosen filter, or nothing.
    virtual std::optional<SaveFileAnswer> SaveFile(const FileDialogRequest&) { return std::nullopt; }
};

// The dialog in use.
IFileDialog& FileDialog();
// Installs a dialog (not owned); nullptr restores the plain one, which cancels every request.
void SetFileDialog(IFileDialog* dialog);

// The patterns of a "Name | pattern;pattern | ... ||" filter, in order, blanks trimmed, one list
// per filter name.
std::vector<std::vector<std::string>> FilterPatterns(const std::string& filter);
// True when the file name (without folder) matches the pattern ('*' any run, '?' one
// character), regardless of letter case.
bool MatchesPattern(const std::string& fileName, const std::string& pattern);

// A scripted dialog for tests: records every request and answers from a queue (cancel when the
// queue is empty). One queue serves all three kinds of dialog.
class FakeFileDialog : public IFileDialog {
public:
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override
    {
        std::vector<std::string> a = Next(request);
        if (a.empty())
            return std::nullopt;
        return a.front();
    }
    std::vector<std::string> OpenFiles(const FileDialogRequest& request) override { return Next(request); }
    std::optional<SaveFileAnswer> SaveFile(const FileDialogRequest& request) override
    {
        const int index = m_saveIndexes.empty() ? 1 : m_saveIndexes.front();
        if (!m_saveIndexes.empty())
            m_saveIndexes.pop_front();
        std::vector<std::string> a = Next(request);
        if (a.empty())
            return std::nullopt;
        return SaveFileAnswer{a.front(), index};
    }
    void QueuePath(const std::string& path) { m_answers.push_back({path}); }
    void QueuePaths(const std::vector<std::string>& paths) { m_answers.push_back(paths); }
    // The filter index the next save answer reports.
    void QueueSaveFilter(int index) { m_saveIndexes.push_back(index); }
    void QueueCancel() { m_answers.emplace_back(); }
    const std::vector<FileDialogRequest>& Requests() const { return m_requests; }

private:
    std::vector<std::string> Next(const FileDialogRequest& request)
    {
        m_requests.push_back(request);
        if (m_answers.empty())
            return {};
        std::vector<std::string> a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    std::deque<std::vector<std::string>> m_answers;
    std::deque<int> m_saveIndexes;
    std::vector<FileDialogRequest> m_requests;
};

} // namespace platform

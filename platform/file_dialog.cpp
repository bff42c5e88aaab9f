// The plain file dialog (no window layer: every request is cancelled) and the process-wide
// selection.
#include "platform/file_dialog.h"

namespace platform {
namespace {

class CancellingFileDialog : public IFileDialog {
public:
    std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
};

CancellingFileDialog g_plain;
IFileDialog* g_dialog = &g_plain;

} // namespace

IFileDialog& FileDialog() { return *g_dialog; }
void SetFileDialog(IFileDialog* dialog) { g_dialog = dialog ? dialog : &g_plain; }

} // namespace platform

namespace platform {
namespace {

std::string Trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    const size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

std::vector<std::vector<std::string>> FilterPatterns(const std::string& filter)
{
    std::vector<std::string> fields;
    std::string field;
    for (char c : filter) {
        if (c == '|') {
            fields.push_back(field);
            field.clear();
        } else {
            field.push_back(c);
        }
    }
    fields.push_back(field);
    std::vector<std::vector<std::string>> out;
    // Fields alternate: name, patterns, name, patterns, ...; an empty name ends the filter.
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (Trim(fields[i]).empty())
            break;
        std::vector<std::string> patterns;
        std::string p;
        for (char c : fields[i + 1] + ";") {
            if (c == ';') {
                p = Trim(p);
                if (!p.empty())
                    patterns.push_back(p);
                p.clear();
            } else {
                p.push_back(c);
            }
        }
        out.push_back(patterns);
    }
    return out;
}

bool MatchesPattern(const std::string& fileName, const std::string& pattern)
{
    // Iterative wildcard match with one backtrack point for the last '*'.
    size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < fileName.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(fileName[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace platform

// The photos of a project that a developer tool could not find when it opened the project. The
// tools have no one to ask where a photo went: they answer the open's question for a photo it
// cannot find with No, so that the open leaves that photo out, and keep its name. A tool then
// refuses to go on without the photos, unless told to (--skip-missing).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/status_codes.h"
#include "platform/message_box.h"

class CMissingPhotos {
public:
    // For the host's AskQuestion: true (with the answer in `answer`) when the question is the
    // open's question for the photo `path` that it cannot find.
    bool TakeQuestion(const std::string& number, const std::string& path, int* answer)
    {
        if (number != MessageNumberText(kMsgFillFullPath))
            return false;
        m_paths.push_back(path);
        *answer = platform::IDNO;
        return true;
    }

    bool Any() const { return !m_paths.empty(); }

    // Names each missing photo on the standard error, prefixed with the tool's name; true when
    // the tool should stop (not told to go on without them).
    bool Report(const char* tool, bool skipMissing) const
    {
        for (const std::string& path : m_paths)
            std::fprintf(stderr, "\n%s: missing photo: %s", tool, path.c_str());
        if (m_paths.empty())
            return false;
        if (skipMissing)
            std::fprintf(stderr, "\n%s: going on without the %zu missing photo(s) (--skip-missing)\n", tool,
                         m_paths.size());
        else
            std::fprintf(stderr, "\n");
        return !skipMissing;
    }

    size_t Count() const { return m_paths.size(); }

private:
    std::vector<std::string> m_paths;
};

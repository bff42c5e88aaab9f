// Where a project's image file may have moved to: the fixed list of candidate places tried
// before the user is asked. Paths stored by older versions may carry backslashes and may differ
// in letter case from the file on disk; both are tolerated here.
#include "picset/project_file.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "common/helpers.h"

namespace fs = std::filesystem;

namespace {

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FullPath(const std::string& path)
{
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec)
        return path;
    return p.lexically_normal().string();
}

std::string ToNative(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

} // namespace

std::string FindExistingFile(const std::string& path)
{
    if (path.empty())
        return {};
    if (IsRegularFile(path))
        return FullPath(path);
    // The same name in another letter case, as a case-blind file system would find it.
    const fs::path p(path);
    const std::string name = p.filename().string();
    if (name.empty())
        return {};
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return {};
    for (const fs::directory_entry& e : it) {
        const std::string candidate = e.path().filename().string();
        if (EqualsNoCase(candidate, name) && IsRegularFile(e.path().string()))
            return FullPath(e.path().string());
    }
    return {};
}

PictureSearchResult SearchPictureFile(const std::string& storedPath, const std::string& projectPath,
                                      const std::string& programPath, std::string* searchFolder)
{
    PictureSearchResult result;
    if (std::string found = FindExistingFile(storedPath); !found.empty()) {
        result.path = found;
        result.candidate = 1;
        *searchFolder = GetFolder(found);
        return result;
    }

    std::string storedFolder, name;
    SplitFolderAndName(storedPath, &storedFolder, &name);
    std::string lastFolder;
    SplitLastFolderAndName(storedPath, &lastFolder, &name);
    lastFolder = ToNative(lastFolder);

    std::vector<std::pair<int, std::string>> candidates;
    if (!searchFolder->empty())
        candidates.emplace_back(2, Join(*searchFolder, name));
    if (!projectPath.empty()) {
        const std::string projectFolder = GetFolder(FullPath(projectPath));
        candidates.emplace_back(3, Join(projectFolder, name));
        if (!storedFolder.empty())
            candidates.emplace_back(4, Join(projectFolder, lastFolder + name));
        const std::string parent = GetFolder(projectFolder);
        if (!parent.empty())
            candidates.emplace_back(5, Join(parent, name));
    }
    const std::string programFolder = GetFolder(programPath);
    if (!programFolder.empty()) {
        candidates.emplace_back(6, Join(programFolder, name));
        candidates.emplace_back(7, Join(programFolder + "/SMPLSNAP", name));
    }
    for (const auto& [which, path] : candidates) {
        if (std::string found = FindExistingFile(path); !found.empty()) {
            result.path = found;
            result.candidate = which;
            *searchFolder = GetFolder(found);
            return result;
        }
    }
    return result;
}

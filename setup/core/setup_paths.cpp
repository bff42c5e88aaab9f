// Folders, message language and the script path mapper (see setup_paths.h).
#include "setup/core/setup_paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "setup/core/setup_ini.h"

namespace setup {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

std::string EnvFolder(const char* name, const std::string& fallback)
{
    std::string v = Env(name);
    if (v.empty() || v[0] != '/')
        return fallback;
    while (v.size() > 1 && v.back() == '/')
        v.pop_back();
    return v;
}

// The desktop folder as the user's user-dirs.dirs names it, else ~/Desktop.
std::string DesktopFolder(const std::string& home, const std::string& config)
{
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DESKTOP_DIR=";
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::string v = line.substr(key.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
            v = v.substr(1, v.size() - 2);
        if (v.compare(0, 5, "$HOME") == 0)
            v = home + v.substr(5);
        if (!v.empty() && v[0] == '/' && v.find("..") == std::string::npos)
            return v;
    }
    return home + "/Desktop";
}

} // namespace

SetupFolders SetupFolders::FromEnvironment()
{
    SetupFolders f;
    f.home = EnvFolder("HOME", "/nonexistent-home");
    f.programs = EnvFolder("XDG_DATA_HOME", f.home + "/.local/share");
    f.windows = EnvFolder("XDG_CONFIG_HOME", f.home + "/.config");
    f.system = f.home + "/.local/lib";
    f.desktop = DesktopFolder(f.home, f.windows);
    f.applications = f.programs + "/applications";
    f.autostart = f.windows + "/autostart";
    f.quickLaunch = f.programs + "/quick-launch";
    f.sendTo = f.programs + "/send-to";
    f.state = EnvFolder("XDG_STATE_HOME", f.home + "/.local/state") + "/seamora-setup";
    f.temp = EnvFolder("TMPDIR", "/tmp");
    f.trash = f.programs + "/Trash";
    f.mime = f.programs + "/mime";
    f.mimeApps = f.windows + "/mimeapps.list";
    return f;
}

std::vector<std::string> SetupFolders::Roots() const { return {home, programs, windows, system, desktop}; }

bool UseJapanese()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string v = Env(name);
        if (!v.empty())
            return v.compare(0, 2, "ja") == 0;
    }
    return false;
}

std::string Tx(const char* en, const char* ja) { return UseJapanese() ? ja : en; }

std::string AppendPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    std::string r = folder;
    std::size_t start = 0;
    while (start < name.size() && name[start] == '/')
        ++start;
    if (r.back() != '/')
        r += '/';
    return r + name.substr(start);
}

std::string FolderOf(const std::string& path)
{
    const std::size_t p = path.find_last_of('/');
    if (p == std::string::npos)
        return std::string();
    return p == 0 ? std::string("/") : path.substr(0, p);
}

std::string NameOf(const std::string& path)
{
    const std::size_t p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::optional<std::string> MapScriptPath(const std::string& text, const SetupFolders& folders)
{
    std::string t = text;
    for (char& c : t)
        if (c == '\\')
            c = '/';
    if (t.compare(0, 2, "//") == 0)
        return std::nullopt;
    if (t.size() >= 2 && t[1] == ':' && ((t[0] >= 'A' && t[0] <= 'Z') || (t[0] >= 'a' && t[0] <= 'z')))
        return AppendPath(folders.home, t.substr(2));
    return t;
}

bool PathAllowed(const std::string& path, const SetupFolders& folders)
{
    if (path.empty() || path[0] != '/' || path.size() > kPathBuffer - 2)
        return false;
    const fs::path p(path);
    for (const auto& part : p) {
        const std::string s = part.string();
        if (s == ".." || s == ".")
            return false;
    }
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(p, ec);
    if (ec)
        return false;
    const std::string r = resolved.string();
    for (const std::string& root : folders.Roots()) {
        if (root.empty())
            continue;
        const fs::path rr = fs::weakly_canonical(fs::path(root), ec);
        if (ec)
            continue;
        const std::string rs = rr.string();
        // The roots themselves are never the installer's to write or delete.
        if (r.size() > rs.size() && r.compare(0, rs.size(), rs) == 0 && r[rs.size()] == '/')
            return true;
    }
    return false;
}

} // namespace setup

// Uninstall file removal: what the installed script's logs record goes to the trash, the
// folders the installation created are removed when empty, what is left is listed, and the
// uninstaller removes itself and the folders it was installed into when they are empty.
#include "setup/core/setup.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace setup {

namespace fs = std::filesystem;

namespace {

std::string TrashPathEscape(const std::string& p)
{
    static const char* hex = "0123456789ABCDEF";
    std::string r;
    for (unsigned char c : p) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
            c == '_' || c == '.' || c == '~')
            r += static_cast<char>(c);
        else {
            r += '%';
            r += hex[c >> 4];
            r += hex[c & 15];
        }
    }
    return r;
}

bool IsFolderOrAncestor(const std::string& folder, const std::string& path)
{
    return path == folder ||
           (folder.size() > path.size() && folder.compare(0, path.size(), path) == 0 && folder[path.size()] == '/');
}

} // namespace

void CSetup::DeleteToTrash(const std::string& path)
{
    if (!PathAllowed(path, m_folders))
        return;
    std::error_code ec;
    const auto st = fs::symlink_status(path, ec);
    if (ec || !fs::exists(st) || fs::is_directory(st))
        return;
    const std::string files = AppendPath(m_folders.trash, "files");
    const std::string info = AppendPath(m_folders.trash, "info");
    fs::create_directories(files, ec);
    fs::create_directories(info, ec);
    const std::string base = NameOf(path);
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const std::string infoFile = AppendPath(info, name + ".trashinfo");
        FILE* f = std::fopen(infoFile.c_str(), "wx");
        if (f == nullptr) {
            if (errno == EEXIST)
                continue;
            break;
        }
        char date[32];
        const std::time_t now = std::time(nullptr);
        std::tm tm {};
        localtime_r(&now, &tm);
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
        std::fprintf(f, "[Trash Info]\nPath=%s\nDeletionDate=%s\n", TrashPathEscape(path).c_str(), date);
        std::fclose(f);
        const std::string target = AppendPath(files, name);
        if (std::rename(path.c_str(), target.c_str()) == 0)
            return;
        if (errno == EXDEV) {
            fs::copy_file(path, target, ec);
            if (!ec && ::unlink(path.c_str()) == 0)
                return;
            ::unlink(target.c_str());
        }
        ::unlink(infoFile.c_str());
        return;
    }
}

void CSetup::DeleteInstalledFiles()
{
    const std::string dest = Read("Root", "Named");
    const bool force = ReadInt("Del", "Force") != 0;
    std::error_code ec;
    auto remove = [&](const std::string& p) {
        // Checked before anything is changed; a link is never followed (its target is not ours).
        struct stat st {};
        if (!PathAllowed(p, m_folders) || ::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return;
        if (force && (st.st_mode & S_IWUSR) == 0)
            ::fchmodat(AT_FDCWD, p.c_str(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW);
        DeleteToTrash(p);
    };
    for (int i = 0;; ++i) {
        const std::string w = Read("Del", std::to_string(i));
        if (w.empty())
            break;
        const auto pattern = ExpandPathMacros(w, dest, false);
        if (!pattern)
            continue;
        const std::string folder = FolderOf(*pattern);
        const std::string glob = NameOf(*pattern);
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            const std::string p = e.path().string();
            if (!e.is_regular_file(ec) || e.is_symlink(ec))
                continue;
            if (::fnmatch(glob.c_str(), e.path().filename().c_str(), FNM_CASEFOLD) == 0 && InsideCreatedFolder(p))
                remove(p);
        }
    }
    const int count = m_ini.ReadIniCount("CopiedFile", "Count", m_script);
    for (int i = count - 1; i >= 0; --i) {
        const std::string f = Read("CopiedFile", std::to_string(i));
        if (!f.empty())
            remove(f);
    }
    for (int i = 1;; ++i) {
        const std::string d = Read("DirRemove", std::to_string(i));
        if (d.empty())
            break;
        const auto p = ExpandPathMacros(d, dest, false);
        if (p && InsideCreatedFolder(*p))
            ::rmdir(p->c_str());
    }
    const int dirs = m_ini.ReadIniCount("MakedDirectory", "Count", m_script);
    for (int i = dirs - 1; i >= 0; --i) {
        const std::string d = Read("MakedDirectory", std::to_string(i));
        if (d.empty() || IsFolderOrAncestor(dest, d) || !PathAllowed(d, m_folders))
            continue; // the destination and its parents go with the uninstaller itself
        ::rmdir(d.c_str());
    }
}

std::string CSetup::ListLeftovers()
{
    const std::string dest = Read("Root", "Named");
    const bool reboot = ReadInt("Del", "Reboot") != 0;
    std::string list;
    std::error_code ec;
    auto add = [&](const std::string& p) {
        list += p + "\n";
        if (reboot && PathAllowed(p, m_folders)) {
            ScheduleRenameAtReboot(p, std::string());
            m_leftovers = true;
        }
    };
    for (int i = 0;; ++i) {
        const std::string w = Read("Del", std::to_string(i));
        if (w.empty())
            break;
        const auto pattern = ExpandPathMacros(w, dest, false);
        if (!pattern)
            continue;
        for (const auto& e : fs::directory_iterator(FolderOf(*pattern), ec)) {
            const std::string p = e.path().string();
            if (e.is_regular_file(ec) && !e.is_symlink(ec) &&
                ::fnmatch(NameOf(*pattern).c_str(), e.path().filename().c_str(), FNM_CASEFOLD) == 0 &&
                InsideCreatedFolder(p))
                add(p);
        }
    }
    const int count = m_ini.ReadIniCount("CopiedFile", "Count", m_script);
    for (int i = count - 1; i >= 0; --i) {
        const std::string f = Read("CopiedFile", std::to_string(i));
        if (!f.empty() && fs::exists(fs::symlink_status(f, ec)))
            add(f);
    }
    for (int i = 1;; ++i) {
        const std::string d = Read("DirRemove", std::to_string(i));
        if (d.empty())
            break;
        const auto p = ExpandPathMacros(d, dest, false);
        if (p && InsideCreatedFolder(*p) && fs::exists(*p, ec))
            add(*p);
    }
    const int dirs = m_ini.ReadIniCount("MakedDirectory", "Count", m_script);
    for (int i = dirs - 1; i >= 0; --i) {
        const std::string d = Read("MakedDirectory", std::to_string(i));
        if (d.empty() || IsFolderOrAncestor(dest, d))
            continue;
        if (fs::exists(d, ec))
            add(d);
    }
    bool other = false;
    for (const auto& e : fs::directory_iterator(dest, ec)) {
        const std::string n = e.path().filename().string();
        if (!EqualNoCase(n, "setup") && !EqualNoCase(n, "setup.ini"))
            other = true;
    }
    if (other)
        list += dest + "\n";
    return list;
}

void CSetup::SelfDelete()
{
    const std::string dest = Read("Root", "Named");
    if (dest.empty() || !PathAllowed(dest, m_folders))
        return;
    // The uninstaller removes itself only where it was installed.
    const std::string script = ExistingCase(AppendPath(dest, "Setup.ini"));
    const std::string self = AppendPath(dest, "setup");
    std::error_code ec;
    if (fs::exists(script, ec))
        DeleteToTrash(script);
    if (fs::exists(self, ec))
        ::unlink(self.c_str());
    // The destination and the parents the installation created go when empty.
    std::vector<std::string> created;
    const int dirs = m_ini.ReadIniCount("MakedDirectory", "Count", m_script);
    for (int i = 0; i < dirs; ++i)
        created.push_back(Read("MakedDirectory", std::to_string(i)));
    std::string d = dest;
    while (!d.empty() && PathAllowed(d, m_folders)) {
        bool logged = false;
        for (const std::string& c : created)
            logged = logged || c == d;
        if (!logged || ::rmdir(d.c_str()) != 0)
            break;
        d = FolderOf(d);
    }
}

} // namespace setup

// Uninstall file removal: what the installed script's logs record goes to the trash, the
// folders the installation created are removed when empty, what is left is listed, and the
// uninstaller removes itself and the folders it was installed into when they are empty.
#include "setup/core/setup.h"

#include <cerrno>
#include <algorithm>
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

// The base of the script's relative names at uninstall: the installation's own folder when its
// record confirms it, else the logged destination.
static std::string BaseFolder(const std::string& root, const std::string& named) { return root.empty() ? named : root; }

void CSetup::DeleteInstalledFiles()
{
    LoadRecord();
    const std::string dest = BaseFolder(m_installRoot, Read("Root", "Named"));
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
    // A logged file goes only when this installation placed it and it is unchanged since.
    const int count = m_ini.ReadIniCount("CopiedFile", "Count", m_script);
    for (int i = count - 1; i >= 0; --i) {
        const std::string f = Read("CopiedFile", std::to_string(i));
        if (!f.empty() && PlacedByUs(f))
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
    RefreshDesktopCaches();
    const int dirs = m_ini.ReadIniCount("MakedDirectory", "Count", m_script);
    for (int i = dirs - 1; i >= 0; --i) {
        const std::string d = Read("MakedDirectory", std::to_string(i));
        if (d.empty() || IsFolderOrAncestor(dest, d) || IsFolderOrAncestor(m_folders.state, d) || !CreatedByUs(d))
            continue; // the destination, the record's folder and their parents go with the uninstaller
        ::rmdir(d.c_str());
    }
}

std::string CSetup::ListLeftovers()
{
    LoadRecord();
    const std::string dest = BaseFolder(m_installRoot, Read("Root", "Named"));
    const bool reboot = ReadInt("Del", "Reboot") != 0;
    std::string list;
    std::error_code ec;
    // Listed: what the installation owns and could not remove. Scheduled for the next start: only
    // what it may remove (a changed file of the installation is listed but stays).
    auto add = [&](const std::string& p, bool schedule) {
        list += p + "\n";
        if (reboot && schedule && PathAllowed(p, m_folders)) {
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
                add(p, true);
        }
    }
    const int count = m_ini.ReadIniCount("CopiedFile", "Count", m_script);
    for (int i = count - 1; i >= 0; --i) {
        const std::string f = Read("CopiedFile", std::to_string(i));
        if (!f.empty() && fs::exists(fs::symlink_status(f, ec)) && PlacedByUs(f, false))
            add(f, PlacedByUs(f));
    }
    for (int i = 1;; ++i) {
        const std::string d = Read("DirRemove", std::to_string(i));
        if (d.empty())
            break;
        const auto p = ExpandPathMacros(d, dest, false);
        if (p && InsideCreatedFolder(*p) && fs::is_directory(fs::symlink_status(*p, ec)))
            add(*p, true);
    }
    const int dirs = m_ini.ReadIniCount("MakedDirectory", "Count", m_script);
    for (int i = dirs - 1; i >= 0; --i) {
        const std::string d = Read("MakedDirectory", std::to_string(i));
        if (d.empty() || IsFolderOrAncestor(dest, d) || IsFolderOrAncestor(m_folders.state, d) || !CreatedByUs(d))
            continue;
        if (fs::is_directory(fs::symlink_status(d, ec)))
            add(d, true);
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
    // Only the uninstaller of a recorded installation removes itself: the program file that is
    // running (its real path), the script beside it, the record, and the folders the
    // installation created once they are empty.
    LoadRecord();
    if (m_installRoot.empty())
        return;
    std::error_code ec;
    const std::string self = fs::weakly_canonical(m_selfPath, ec).string();
    if (ec || !PathAllowed(self, m_folders))
        return;
    if (fs::exists(m_distScript, ec))
        DeleteToTrash(m_distScript);
    struct stat st {};
    if (::lstat(self.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(self.c_str());
    ::unlink(RecordFile(FolderOf(self)).c_str());
    std::vector<std::string> dirs(m_recordDirs.begin(), m_recordDirs.end());
    std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& d : dirs)
        if (PathAllowed(d, m_folders) && fs::is_directory(fs::symlink_status(d, ec)))
            ::rmdir(d.c_str());
}

} // namespace setup

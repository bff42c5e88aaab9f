// Folder listing and the content test of the image finder.
#include "shell/finder_folders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include "common/helpers.h"
#include "imagefile/image_file.h"

namespace finder {

namespace {

bool LessByName(const std::string& a, const std::string& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// File systems that hold no user files and that a walk must never enter.
bool IsPseudoFileSystem(const std::string& folder)
{
    struct statfs fs {};
    if (statfs(folder.c_str(), &fs) != 0)
        return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9fa0:      // proc
    case 0x62656572:  // sysfs
    case 0x1cd1:      // devpts
    case 0x27e0eb:    // cgroup
    case 0x63677270:  // cgroup2
    case 0x64626720:  // debugfs
    case 0x74726163:  // tracefs
    case 0x73636673:  // securityfs
    case 0x6165676c:  // pstore
    case 0xcafe4a11:  // bpf
    case 0x62656570:  // configfs
    case 0x65735543:  // fusectl
    case 0x19800202:  // mqueue
    case 0x42494e4d:  // binfmt_misc
    case 0x0187:      // autofs (a walk would mount every share)
    case 0xde5e81e4:  // efivarfs
    case 0x6e736673:  // nsfs
        return true;
    default: break;
    }
    // The device tree is a tmpfs by its type; it is known by its path.
    return folder == "/dev" || folder.rfind("/dev/", 0) == 0;
}

struct Entry {
    std::string name;
    bool folder = false;
    bool link = false;
};

// The visible entries of a folder in name order (at most kMaxEntries read).
std::vector<Entry> ReadFolder(const std::string& folder)
{
    std::vector<Entry> out;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return out;
    int read = 0;
    while (dirent* d = readdir(dir)) {
        if (++read > kMaxEntries)
            break;
        const std::string name = d->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        Entry e;
        e.name = name;
        unsigned char type = d->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat st {};
            const std::string path = JoinPath(folder, name);
            if (lstat(path.c_str(), &st) != 0)
                continue;
            e.link = S_ISLNK(st.st_mode);
            if (e.link && stat(path.c_str(), &st) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR)
            e.folder = true;
        else if (type != DT_REG)
            continue;
        out.push_back(std::move(e));
    }
    closedir(dir);
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return LessByName(a.name, b.name); });
    return out;
}

} // namespace

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

bool IsUsableImage(const std::string& path)
{
    const int kind = GetFileKind(path);
    if (kind < FILE_KIND_BMP || kind > FILE_KIND_PNG)
        return false;
    if (kind != FILE_KIND_BMP)
        return true;
    return GetImageFileRect(path).Width() >= 2;
}

std::vector<Drive> ListDrives(const std::string& home, const std::string& mounts)
{
    std::vector<Drive> out;
    if (!home.empty() && home != "/")
        out.push_back({home, ICON_DRIVE});
    out.push_back({"/", ICON_DRIVE});
    std::string table = mounts;
    if (table.empty()) {
        std::ifstream in("/proc/self/mounts");
        std::stringstream ss;
        ss << in.rdbuf();
        table = ss.str();
    }
    std::istringstream lines(table);
    std::string line;
    std::set<std::string> seen;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (!(fields >> device >> point >> type))
            continue;
        // The mount table writes blanks in paths as \040.
        for (size_t at; (at = point.find("\\040")) != std::string::npos;)
            point.replace(at, 4, " ");
        const bool optical = type == "iso9660" || type == "udf";
        const bool removable =
            point.rfind("/media/", 0) == 0 || point.rfind("/run/media/", 0) == 0 || point.rfind("/mnt/", 0) == 0;
        if ((!optical && !removable) || !seen.insert(point).second)
            continue;
        out.push_back({point, optical ? ICON_OPTICAL : ICON_REMOVABLE});
    }
    return out;
}

bool FolderHoldsContent(const std::string& folder, ContentBudget& budget, int depth)
{
    if (IsPseudoFileSystem(folder))
        return false;
    if (depth >= budget.maxDepth || std::chrono::steady_clock::now() >= budget.deadline)
        return true;
    ++budget.folders;
    const std::vector<Entry> entries = ReadFolder(folder);
    std::vector<const Entry*> folders;
    for (const Entry& e : entries) {
        if (e.folder) {
            if (!e.link)
                folders.push_back(&e);
            continue;
        }
        const std::string path = JoinPath(folder, e.name);
        const int kind = GetFileKind(path);
        if (kind == FILE_KIND_PROJECT || (kind >= FILE_KIND_BMP && kind <= FILE_KIND_PNG && IsUsableImage(path)))
            return true;
    }
    for (const Entry* e : folders)
        if (FolderHoldsContent(JoinPath(folder, e->name), budget, depth + 1))
            return true;
    return false;
}

std::vector<Listed> ListFolder(const std::string& folder, ContentBudget& budget)
{
    std::vector<Listed> images, projects, folders;
    const std::vector<Entry> entries = ReadFolder(folder);
    for (const Entry& e : entries) {
        if (e.folder)
            continue;
        const std::string path = JoinPath(folder, e.name);
        const int kind = GetFileKind(path);
        if (kind >= FILE_KIND_BMP && kind <= FILE_KIND_PNG) {
            if (kind == FILE_KIND_BMP && !IsUsableImage(path))
                images.push_back({e.name, ICON_UNUSABLE, false});
            else
                images.push_back({e.name, ICON_IMAGE, true});
        } else if (kind == FILE_KIND_PROJECT) {
            projects.push_back({e.name, ICON_PROJECT, false});
        }
    }
    // A link to a folder is listed when its target holds content; the test below it follows
    // no further link, so a loop of links ends at once.
    for (const Entry& e : entries)
        if (e.folder && FolderHoldsContent(JoinPath(folder, e.name), budget, 1))
            folders.push_back({e.name, ICON_FOLDER, false});
    std::vector<Listed> out = std::move(images);
    out.insert(out.end(), projects.begin(), projects.end());
    out.insert(out.end(), folders.begin(), folders.end());
    return out;
}

CSize FitThumbnail(CSize p)
{
    if (p.cx <= 160 && p.cy <= 120)
        return p;
    if (p.cy <= 0 || p.cx <= 0)
        return {160, 120};
    if (int64_t(p.cx) * 120 < int64_t(p.cy) * 160)
        return {static_cast<int>(int64_t(120) * p.cx / p.cy), 120};
    return {160, static_cast<int>(int64_t(160) * p.cy / p.cx)};
}

std::vector<COLORREF> DrawThumbIcon(const COLORREF* thumb, CSize picture, int s)
{
    std::vector<COLORREF> icon(static_cast<size_t>(s) * static_cast<size_t>(s), kIconBackground);
    const CSize fitted = FitThumbnail(picture);
    const int f = std::max(1, std::max(fitted.cx, fitted.cy));
    for (int i = 0; i < s; ++i) {
        const int y = i * f / s - (f - 120) / 2;
        for (int j = 0; j < s; ++j) {
            const int x = j * f / s - (f - 160) / 2;
            if (thumb && x >= 0 && x < 160 && y >= 0 && y < 120)
                icon[static_cast<size_t>(i) * s + j] = thumb[y * 160 + x];
        }
    }
    return icon;
}

} // namespace finder

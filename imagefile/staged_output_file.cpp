// Temporary-file-and-rename output used by the image writers and the project save, the checks of
// the output target, the record of staged files that the signal cleanup removes, the removal of
// staged files left over from killed processes, and the reason of the last failed write.
#include "imagefile/staged_output_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Staged files open now, by path, for the signal handler: fixed storage, claimed with an atomic
// flag, so that the handler reads it without allocating or locking.
constexpr int kStageSlots = 16;
constexpr size_t kStagePathMax = 4096;
struct CStageSlot {
    std::atomic<int> state{0}; // 0 free, 1 being written, 2 holds a path
    char path[kStagePathMax];
};
CStageSlot g_slots[kStageSlots];

std::atomic<int> g_lastError{0};

int ClaimSlot(const std::string& path)
{
    if (path.size() >= kStagePathMax)
        return -1;
    for (int i = 0; i < kStageSlots; ++i) {
        int expected = 0;
        if (g_slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
            g_slots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void ReleaseSlot(int slot)
{
    if (slot >= 0)
        g_slots[slot].state.store(0);
}

extern "C" void RemoveStagedFilesAndExit(int sig)
{
    RemoveOpenStagedFiles();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// The folder part of path with its slash ("" for a bare name).
std::string FolderPrefix(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Staged files are named ".smra-" and six letters or digits (the characters mkostemp uses).
constexpr char kStagePrefix[] = ".smra-";
constexpr size_t kStagePrefixLength = sizeof kStagePrefix - 1;
constexpr size_t kStageRandomLength = 6;

bool IsStagedName(const char* name)
{
    if (std::strncmp(name, kStagePrefix, kStagePrefixLength) != 0)
        return false;
    for (size_t i = kStagePrefixLength; i < kStagePrefixLength + kStageRandomLength; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return name[kStagePrefixLength + kStageRandomLength] == '\0';
}

// Removes staged files in `folder` (a prefix as FolderPrefix gives it) that a killed process
// left: named as ours, plain files of this user with no other name, unchanged for a day. A file
// that is being written changes as it grows, so a live write is never taken for one.
void RemoveStaleStagedFiles(const std::string& folder)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return;
    const int fd = ::dirfd(dir);
    const time_t now = ::time(nullptr);
    const uid_t user = ::geteuid();
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsStagedName(entry->d_name))
            continue;
        struct stat st {};
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != user || st.st_nlink != 1)
            continue;
        if (now - st.st_mtime < kStaleStagedFileSeconds)
            continue;
        ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

// Follows symbolic links from `path` to what they lead to (which need not exist yet); 0, or the
// errno of the step that failed (ELOOP for a circle of links).
int FollowLinks(const std::string& path, std::string& out)
{
    constexpr int kMaxLinks = 40;
    std::string p = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return errno;
            out = p;
            return 0;
        }
        if (!S_ISLNK(st.st_mode)) {
            out = p;
            return 0;
        }
        std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(p.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return errno;
        if (static_cast<size_t>(n) >= buffer.size())
            return ENAMETOOLONG;
        const std::string link(buffer.data(), static_cast<size_t>(n));
        if (link.empty())
            return ENOENT;
        p = link[0] == '/' ? link : FolderPrefix(p) + link;
    }
    return ELOOP;
}

} // namespace

int LastStagedOutputError()
{
    return g_lastError.load();
}

std::string StagedOutputErrorText(int error)
{
    switch (error) {
    case 0:
        return {};
    case ENOSPC:
    case EDQUOT:
        return "the disk is full";
    case EFBIG:
        return "the file would exceed the file-size limit";
    case kStagedTargetNotAFile:
        return "it is not a regular file";
    case kStagedTargetReadOnly:
        return "the file is read-only";
    default:
        return std::strerror(error);
    }
}

int CheckStagedOutputTarget(const std::string& path, std::string* target)
{
    if (path.empty())
        return ENOENT;
    std::string real;
    const int error = FollowLinks(path, real);
    if (error != 0)
        return error;
    struct stat st {};
    if (::stat(real.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return kStagedTargetNotAFile;
        // A file without any write permission is read-only to everybody, the superuser too.
        if ((st.st_mode & 0222) == 0)
            return kStagedTargetReadOnly;
        if (::faccessat(AT_FDCWD, real.c_str(), W_OK, AT_EACCESS) != 0)
            return errno;
    } else if (errno != ENOENT) {
        return errno;
    }
    if (target)
        *target = real;
    return 0;
}

void RemoveOpenStagedFiles()
{
    for (CStageSlot& s : g_slots)
        if (s.state.load() == 2)
            ::unlink(s.path);
}

void InstallStagedOutputSignalCleanup()
{
    struct sigaction sa {};
    sa.sa_handler = RemoveStagedFilesAndExit;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    ::signal(SIGXFSZ, SIG_IGN);
}

CStagedOutputFile::~CStagedOutputFile()
{
    Discard();
}

// A failure without errno (a stream error reported later) keeps the reason seen first.
void CStagedOutputFile::NoteError()
{
    m_failed = true;
    if (errno != 0)
        g_lastError.store(errno);
    else if (g_lastError.load() == 0)
        g_lastError.store(EIO);
}

bool CStagedOutputFile::Open(const std::string& path)
{
    Discard();
    if (path.empty())
        return false;
    m_failed = false;
    g_lastError.store(0);
    std::string target;
    const int refused = CheckStagedOutputTarget(path, &target);
    if (refused != 0) {
        g_lastError.store(refused);
        m_failed = true;
        return false;
    }
    m_target = target;
    // A file that is replaced keeps its permission bits; a new one gets the usual ones of a new
    // document (mkstemp creates 0600).
    mode_t mode = 0;
    struct stat st {};
    if (::stat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const std::string folder = FolderPrefix(m_target);
    RemoveStaleStagedFiles(folder);
    std::string pattern = folder + kStagePrefix + "XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        g_lastError.store(errno);
        m_failed = true;
        return false;
    }
    m_slot = ClaimSlot(pattern);
    ::fchmod(fd, mode);
    m_file = ::fdopen(fd, "wb");
    if (m_file == nullptr) {
        ::close(fd);
        ::unlink(pattern.c_str());
        ReleaseSlot(m_slot);
        m_slot = -1;
        return false;
    }
    m_temp = pattern;
    return true;
}

bool CStagedOutputFile::Write(const void* data, size_t size)
{
    if (m_file == nullptr || m_failed)
        return false;
    errno = 0;
    if (size != 0 && fwrite(data, 1, size, m_file) != size)
        NoteError();
    return !m_failed;
}

bool CStagedOutputFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    if (m_file == nullptr || m_failed)
        return false;
    errno = 0;
    if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        NoteError();
        return false;
    }
    return Write(data, size);
}

bool CStagedOutputFile::Commit()
{
    if (m_file == nullptr)
        return false;
    errno = 0;
    bool ok = !m_failed;
    if (ok && (fflush(m_file) != 0 || ferror(m_file))) {
        NoteError();
        ok = false;
    }
    if (ok && fsync(fileno(m_file)) != 0 && errno != EINVAL) {
        NoteError();
        ok = false;
    }
    if (fclose(m_file) != 0 && ok) {
        NoteError();
        ok = false;
    }
    m_file = nullptr;
    if (ok && rename(m_temp.c_str(), m_target.c_str()) != 0) {
        NoteError();
        ok = false;
    }
    if (!ok) {
        unlink(m_temp.c_str());
    } else {
        // The new directory entry itself is made durable; a failure here leaves a complete file.
        const std::string folder = FolderPrefix(m_target);
        const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    ReleaseSlot(m_slot);
    m_slot = -1;
    m_temp.clear();
    return ok;
}

void CStagedOutputFile::Discard()
{
    if (m_file != nullptr) {
        fclose(m_file);
        m_file = nullptr;
        unlink(m_temp.c_str());
    }
    ReleaseSlot(m_slot);
    m_slot = -1;
    m_temp.clear();
}

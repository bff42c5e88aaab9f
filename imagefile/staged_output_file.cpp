// Temporary-file-and-rename output used by the image writers, the record of staged files that
// the signal cleanup removes, and the reason of the last failed write.
#include "imagefile/staged_output_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    for (CStageSlot& s : g_slots)
        if (s.state.load() == 2)
            ::unlink(s.path);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// The folder part of path with its slash ("" for a bare name).
std::string FolderPrefix(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
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
    default:
        return std::strerror(error);
    }
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
    m_target = path;
    m_failed = false;
    g_lastError.store(0);
    // A file that is replaced keeps its permission bits; a new one gets the usual ones of a new
    // document (mkstemp creates 0600).
    mode_t mode = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::string pattern = FolderPrefix(path) + ".smra-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        g_lastError.store(errno);
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
    if (!ok)
        unlink(m_temp.c_str());
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

// The whole-file read and the atomic write.
#include "platform/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

const char* FileIoErrorText(FileIoError e)
{
    switch (e) {
    case FileIoError::None: return "no error";
    case FileIoError::NotFound: return "the file does not exist";
    case FileIoError::Folder: return "it is a folder";
    case FileIoError::NotAFile: return "it is not a regular file";
    case FileIoError::NoPermission: return "permission denied";
    case FileIoError::Unreadable: return "the file cannot be read";
    case FileIoError::TooLarge: return "the file is too large";
    case FileIoError::CannotCreate: return "no file can be created in this folder";
    case FileIoError::WriteFailed: return "the file could not be written completely (is the disk full?)";
    case FileIoError::RenameFailed: return "the finished file could not replace the old one";
    }
    return "unknown error";
}

namespace {

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    // Closes now and reports whether the close succeeded (a late write error shows here).
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (w == 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

} // namespace

FileIoError ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, uint64_t maxSize)
{
    out.clear();
    // Opened without waiting, so that a pipe or device of that name cannot block the read.
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return FileIoError::NotFound;
        return errno == EACCES || errno == EPERM ? FileIoError::NoPermission : FileIoError::Unreadable;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return FileIoError::Unreadable;
    if (S_ISDIR(st.st_mode))
        return FileIoError::Folder;
    if (!S_ISREG(st.st_mode))
        return FileIoError::NotAFile;
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return FileIoError::Unreadable;
    if (static_cast<uint64_t>(st.st_size) > maxSize)
        return FileIoError::TooLarge;
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t r = ::read(fd.Get(), out.data() + got, out.size() - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            out.clear();
            return FileIoError::Unreadable;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    // A file that shrank while it was read is taken as it stands; one that grew is cut at the size
    // it had when it was opened.
    out.resize(got);
    return FileIoError::None;
}

FileIoError WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes)
{
    const std::string folder = FolderOf(path);
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (folder == "/" ? std::string("/") : folder + "/") + "." + name + ".XXXXXX";

    mode_t mode = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    CFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0)
        return FileIoError::CannotCreate;
    bool ok = WriteAll(fd.Get(), bytes.data(), bytes.size());
    ok = ok && ::fchmod(fd.Get(), mode) == 0;
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return FileIoError::WriteFailed;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return FileIoError::RenameFailed;
    }
    // Make the new directory entry itself durable; a failure here leaves a complete file.
    CFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
    return FileIoError::None;
}

} // namespace platform

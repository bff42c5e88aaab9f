// Byte sources of the image parsers: a regular file read through stdio, or memory.
#include "imagefile/byte_source.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFileByteSource::~CFileByteSource()
{
    if (m_file)
        std::fclose(m_file);
}

bool CFileByteSource::Open(const std::string& path)
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_path = path;
    m_length = 0;
    // Opened without waiting, so that a pipe of that name cannot block; only a regular file
    // goes on to be read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    m_file = ::fdopen(fd, "rb");
    if (!m_file) {
        ::close(fd);
        return false;
    }
    m_length = static_cast<int64_t>(st.st_size);
    return true;
}

size_t CFileByteSource::ReadAt(int64_t pos, void* dst, size_t n)
{
    if (!m_file || pos < 0 || pos >= m_length || n == 0)
        return 0;
    if (::fseeko(m_file, static_cast<off_t>(pos), SEEK_SET) != 0)
        return 0;
    return std::fread(dst, 1, n, m_file);
}

size_t CMemoryByteSource::ReadAt(int64_t pos, void* dst, size_t n)
{
    if (pos < 0 || static_cast<uint64_t>(pos) >= m_size || n == 0)
        return 0;
    const size_t avail = m_size - static_cast<size_t>(pos);
    const size_t count = n < avail ? n : avail;
    std::memcpy(dst, m_data + pos, count);
    return count;
}

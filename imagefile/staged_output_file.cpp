// Temporary-file-and-rename output used by the image writers.
#include "imagefile/staged_output_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CStagedOutputFile::~CStagedOutputFile()
{
    Discard();
}

bool CStagedOutputFile::Open(const std::string& path)
{
    Discard();
    if (path.empty())
        return false;
    m_target = path;
    m_failed = false;
    std::string pattern = path + ".XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        return false;
    // mkstemp creates 0600; give the file the usual permissions of a new document.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    m_file = fdopen(fd, "wb");
    if (m_file == nullptr) {
        close(fd);
        unlink(pattern.c_str());
        return false;
    }
    m_temp = pattern;
    return true;
}

bool CStagedOutputFile::Write(const void* data, size_t size)
{
    if (m_file == nullptr || m_failed)
        return false;
    if (size != 0 && fwrite(data, 1, size, m_file) != size)
        m_failed = true;
    return !m_failed;
}

bool CStagedOutputFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    if (m_file == nullptr || m_failed)
        return false;
    if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        m_failed = true;
        return false;
    }
    return Write(data, size);
}

bool CStagedOutputFile::Commit()
{
    if (m_file == nullptr)
        return false;
    bool ok = !m_failed && fflush(m_file) == 0 && !ferror(m_file);
    if (ok && fsync(fileno(m_file)) != 0 && errno != EINVAL)
        ok = false;
    if (fclose(m_file) != 0)
        ok = false;
    m_file = nullptr;
    if (ok && rename(m_temp.c_str(), m_target.c_str()) != 0)
        ok = false;
    if (!ok)
        unlink(m_temp.c_str());
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
    m_temp.clear();
}

// Little-endian archive reader and writer, and the whole-file read and the atomic write used for
// project files.
#include "platform/archive.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* ArchiveErrorText(ArchiveError e)
{
    switch (e) {
    case ArchiveError::None: return "no error";
    case ArchiveError::Truncated: return "the file ends too early";
    case ArchiveError::BadString: return "a text field is damaged";
    case ArchiveError::BadCount: return "a count is larger than the file";
    case ArchiveError::BadTag: return "an object tag is not valid";
    case ArchiveError::BadClass: return "an object of an unknown class";
    case ArchiveError::BadSchema: return "an object of an unknown version";
    case ArchiveError::BadValue: return "a value is out of range";
    case ArchiveError::TooLarge: return "a value is too large to store";
    }
    return "unknown error";
}

// ---- writer ----

void CArchiveWriter::Fail(ArchiveError e)
{
    if (m_error == ArchiveError::None)
        m_error = e;
}

void CArchiveWriter::WriteByte(uint8_t v)
{
    m_bytes.push_back(v);
}

void CArchiveWriter::WriteWord(uint16_t v)
{
    m_bytes.push_back(static_cast<uint8_t>(v));
    m_bytes.push_back(static_cast<uint8_t>(v >> 8));
}

void CArchiveWriter::WriteDword(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void CArchiveWriter::WriteInt32(int32_t v)
{
    WriteDword(static_cast<uint32_t>(v));
}

void CArchiveWriter::WriteDouble(double v)
{
    uint64_t bits = 0;
    static_assert(sizeof bits == sizeof v);
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i)
        m_bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void CArchiveWriter::WriteRect(const CRect& r)
{
    WriteInt32(r.left);
    WriteInt32(r.top);
    WriteInt32(r.right);
    WriteInt32(r.bottom);
}

void CArchiveWriter::WriteBytes(std::span<const uint8_t> bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void CArchiveWriter::WriteString(const std::string& s)
{
    const uint64_t n = s.size();
    if (n > 0xFFFFFFFEu) {
        Fail(ArchiveError::TooLarge);
        return;
    }
    if (n < 0xFF) {
        WriteByte(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteByte(0xFF);
        WriteWord(static_cast<uint16_t>(n));
    } else {
        WriteByte(0xFF);
        WriteWord(0xFFFF);
        WriteDword(static_cast<uint32_t>(n));
    }
    WriteBytes({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
}

void CArchiveWriter::WriteCount(uint64_t n)
{
    if (n > 0xFFFFFFFFu) {
        Fail(ArchiveError::TooLarge);
        return;
    }
    if (n < 0xFFFF) {
        WriteWord(static_cast<uint16_t>(n));
    } else {
        WriteWord(0xFFFF);
        WriteDword(static_cast<uint32_t>(n));
    }
}

void CArchiveWriter::WriteObjectTag(const std::string& className, uint16_t schema, bool firstOfClass)
{
    if (!firstOfClass) {
        WriteWord(kArchiveClassTagFlag | kArchiveFirstClassIndex);
        return;
    }
    if (className.size() > 0xFFFF) {
        Fail(ArchiveError::TooLarge);
        return;
    }
    WriteWord(kArchiveNewClassTag);
    WriteWord(schema);
    WriteWord(static_cast<uint16_t>(className.size()));
    WriteBytes({reinterpret_cast<const uint8_t*>(className.data()), className.size()});
}

// ---- reader ----

void CArchiveReader::Fail(ArchiveError e)
{
    if (m_error != ArchiveError::None)
        return;
    m_error = e;
    m_errorOffset = m_pos;
}

const uint8_t* CArchiveReader::Take(size_t n)
{
    if (m_error != ArchiveError::None)
        return nullptr;
    if (n > m_data.size() - m_pos) {
        Fail(ArchiveError::Truncated);
        return nullptr;
    }
    const uint8_t* p = m_data.data() + m_pos;
    m_pos += n;
    return p;
}

uint8_t CArchiveReader::ReadByte()
{
    const uint8_t* p = Take(1);
    return p ? p[0] : 0;
}

uint16_t CArchiveReader::ReadWord()
{
    const uint8_t* p = Take(2);
    return p ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : 0;
}

uint32_t CArchiveReader::ReadDword()
{
    const uint8_t* p = Take(4);
    if (!p)
        return 0;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

int32_t CArchiveReader::ReadInt32()
{
    return static_cast<int32_t>(ReadDword());
}

int16_t CArchiveReader::ReadInt16()
{
    return static_cast<int16_t>(ReadWord());
}

double CArchiveReader::ReadDouble()
{
    const uint8_t* p = Take(8);
    if (!p)
        return 0.0;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | p[i];
    double v = 0.0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

CRect CArchiveReader::ReadRect()
{
    CRect r;
    r.left = ReadInt32();
    r.top = ReadInt32();
    r.right = ReadInt32();
    r.bottom = ReadInt32();
    return Ok() ? r : CRect();
}

std::string CArchiveReader::ReadString()
{
    uint64_t n = ReadByte();
    if (n == 0xFF) {
        n = ReadWord();
        if (n == 0xFFFE) {
            // The marker of a wide-character string; this archive holds single-byte text only.
            Fail(ArchiveError::BadString);
            return {};
        }
        if (n == 0xFFFF)
            n = ReadDword();
    }
    if (!Ok())
        return {};
    if (n > Remaining()) {
        Fail(ArchiveError::BadString);
        return {};
    }
    const uint8_t* p = Take(static_cast<size_t>(n));
    return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
}

uint32_t CArchiveReader::ReadCount(size_t minElementSize)
{
    uint32_t n = ReadWord();
    if (n == 0xFFFF)
        n = ReadDword();
    if (!Ok())
        return 0;
    if (minElementSize > 0 && static_cast<uint64_t>(n) * minElementSize > Remaining()) {
        Fail(ArchiveError::BadCount);
        return 0;
    }
    return n;
}

bool CArchiveReader::ReadObjectTag(const std::string& className, uint16_t schema)
{
    const uint16_t tag = ReadWord();
    if (!Ok())
        return false;
    if (tag == kArchiveNewClassTag) {
        if (m_classKnown) {
            Fail(ArchiveError::BadTag);
            return false;
        }
        const uint16_t fileSchema = ReadWord();
        const uint16_t nameLength = ReadWord();
        if (!Ok())
            return false;
        if (nameLength > Remaining()) {
            Fail(ArchiveError::Truncated);
            return false;
        }
        const uint8_t* p = Take(nameLength);
        if (std::string(reinterpret_cast<const char*>(p), nameLength) != className) {
            Fail(ArchiveError::BadClass);
            return false;
        }
        if (fileSchema != schema) {
            Fail(ArchiveError::BadSchema);
            return false;
        }
        m_classKnown = true;
        return true;
    }
    if (tag == (kArchiveClassTagFlag | kArchiveFirstClassIndex) && m_classKnown)
        return true;
    Fail(ArchiveError::BadTag);
    return false;
}

// ---- archive ----

CArchive::CArchive(std::string filePath) : m_mode(store), m_filePath(std::move(filePath)) {}

CArchive::CArchive(std::string filePath, std::span<const uint8_t> data)
    : m_mode(load), m_filePath(std::move(filePath)), m_reader(data)
{
}

// ---- files ----

namespace platform {

const char* FileIoErrorText(FileIoError e)
{
    switch (e) {
    case FileIoError::None: return "no error";
    case FileIoError::NotFound: return "the file does not exist";
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
    if (fd.Get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? FileIoError::NotFound : FileIoError::Unreadable;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return FileIoError::Unreadable;
    if (!S_ISREG(st.st_mode))
        return FileIoError::NotFound;
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

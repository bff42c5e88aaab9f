// Little-endian archive reader and writer.
#include "platform/archive.h"

#include <cstring>

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

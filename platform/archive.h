// Byte-level archive of the project file: a little-endian writer and a bounds-checked reader with
// the object-archive encodings the project file uses (counts, length-prefixed strings, object
// tags of one stored class), and the archive object that carries the file name and the direction.
// The reader never reads past its buffer: the first failure sticks, later reads give zeros.
// Reading and writing whole files is in platform/file_io.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/basic_types.h"

enum class ArchiveError {
    None,
    Truncated,      // a value runs past the end of the data
    BadString,      // a string length that the data cannot hold, or an encoding not used here
    BadCount,       // a count that the data cannot hold
    BadTag,         // an object tag other than the new-class tag or the index of the known class
    BadClass,       // a class name other than the expected one
    BadSchema,      // a schema number other than the expected one
    BadValue,       // a value the reader of the record refused (set through Fail)
    TooLarge,       // a value too large for its encoding (writer)
};

// Short English description of an error, for messages and logs.
const char* ArchiveErrorText(ArchiveError e);

// Tags of the object list: the first object of a class is introduced with the new-class tag,
// its schema and its name; later objects of that class carry the class index with the high bit.
constexpr uint16_t kArchiveNewClassTag = 0xFFFF;
constexpr uint16_t kArchiveClassTagFlag = 0x8000;
constexpr uint16_t kArchiveFirstClassIndex = 1;

class CArchiveWriter {
public:
    void WriteByte(uint8_t v);
    void WriteWord(uint16_t v);
    void WriteDword(uint32_t v);
    void WriteInt32(int32_t v);
    void WriteDouble(double v);
    void WriteRect(const CRect& r);
    void WriteBytes(std::span<const uint8_t> bytes);
    // Length prefix (one byte below 255; 0xFF + WORD below 0xFFFE; else 0xFF, 0xFFFF, DWORD) and
    // the bytes of the string, no terminator.
    void WriteString(const std::string& s);
    // Element count of a list: a WORD, or from 0xFFFF on the WORD 0xFFFF and a DWORD.
    void WriteCount(uint64_t n);
    // Tag of an object: the first of its class (new-class tag, schema, name) or a later one.
    void WriteObjectTag(const std::string& className, uint16_t schema, bool firstOfClass);

    bool Ok() const { return m_error == ArchiveError::None; }
    ArchiveError Error() const { return m_error; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t> TakeBytes() { return std::move(m_bytes); }

private:
    void Fail(ArchiveError e);

    std::vector<uint8_t> m_bytes;
    ArchiveError m_error = ArchiveError::None;
};

class CArchiveReader {
public:
    CArchiveReader() = default;
    explicit CArchiveReader(std::span<const uint8_t> data) : m_data(data) {}

    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDword();
    int32_t ReadInt32();
    int16_t ReadInt16();
    double ReadDouble();
    CRect ReadRect();
    std::string ReadString();
    // A list count; a count that the remaining bytes cannot hold, at minElementSize bytes per
    // element, fails with BadCount, so a damaged count never drives an allocation.
    uint32_t ReadCount(size_t minElementSize);
    // Reads an object tag of the one class `className` with schema `schema`. The first object
    // must carry the new-class tag with that schema and name, every later one the class index.
    // A null object or a reference to an earlier object is refused as BadTag.
    bool ReadObjectTag(const std::string& className, uint16_t schema);

    // Marks the read as failed (a record refused a value); the first failure sticks.
    void Fail(ArchiveError e);
    bool Ok() const { return m_error == ArchiveError::None; }
    ArchiveError Error() const { return m_error; }
    // Offset of the first failure (or of the next read when there was none).
    size_t ErrorOffset() const { return m_errorOffset; }
    size_t Offset() const { return m_pos; }
    size_t Remaining() const { return m_data.size() - m_pos; }
    bool AtEnd() const { return m_pos == m_data.size(); }

private:
    const uint8_t* Take(size_t n);

    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    ArchiveError m_error = ArchiveError::None;
    size_t m_errorOffset = 0;
    bool m_classKnown = false;
};

// The archive handed to the Serialize operations: the direction, the name of the file it belongs
// to (the project code chooses the layout by its extension), and the reader or the writer.
class CArchive {
public:
    enum Mode { load, store };

    // A storing archive for the file `filePath` (nothing is written to disk by the archive).
    explicit CArchive(std::string filePath);
    // A loading archive over `data`, which must outlive the archive.
    CArchive(std::string filePath, std::span<const uint8_t> data);

    bool IsStoring() const { return m_mode == store; }
    bool IsLoading() const { return m_mode == load; }
    const std::string& GetFilePath() const { return m_filePath; }

    CArchiveReader& Reader() { return m_reader; }
    CArchiveWriter& Writer() { return m_writer; }
    bool Ok() const { return IsStoring() ? m_writer.Ok() : m_reader.Ok(); }
    ArchiveError Error() const { return IsStoring() ? m_writer.Error() : m_reader.Error(); }

private:
    Mode m_mode;
    std::string m_filePath;
    CArchiveReader m_reader;
    CArchiveWriter m_writer;
};

// The bounded random-access byte source that every image parser reads through: a regular file
// or a block of memory. A read past the end is short, never an error the caller can miss.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class CByteSource {
public:
    virtual ~CByteSource() = default;
    virtual int64_t Length() const = 0;
    // Copies up to n bytes from pos into dst; the count copied (0 outside the source).
    virtual size_t ReadAt(int64_t pos, void* dst, size_t n) = 0;
    // The path the bytes come from ("" for memory unless one was given).
    virtual const std::string& Path() const = 0;
    // The whole content when it already lies in memory, else nullptr.
    virtual const uint8_t* Bytes() const { return nullptr; }
};

class CFileByteSource : public CByteSource {
public:
    CFileByteSource() = default;
    ~CFileByteSource() override;
    CFileByteSource(const CFileByteSource&) = delete;
    CFileByteSource& operator=(const CFileByteSource&) = delete;

    // Opens the file for reading; false when it does not open or is not a regular file (a pipe
    // or device is never read, so that it cannot block the reader).
    bool Open(const std::string& path);
    bool IsOpen() const { return m_file != nullptr; }
    int64_t Length() const override { return m_length; }
    size_t ReadAt(int64_t pos, void* dst, size_t n) override;
    const std::string& Path() const override { return m_path; }

private:
    std::FILE* m_file = nullptr;
    int64_t m_length = 0;
    std::string m_path;
};

class CMemoryByteSource : public CByteSource {
public:
    CMemoryByteSource(const uint8_t* data, size_t size, std::string path = {})
        : m_data(data), m_size(data ? size : 0), m_path(std::move(path)) {}
    int64_t Length() const override { return static_cast<int64_t>(m_size); }
    size_t ReadAt(int64_t pos, void* dst, size_t n) override;
    const std::string& Path() const override { return m_path; }
    const uint8_t* Bytes() const override { return m_data; }

private:
    const uint8_t* m_data;
    size_t m_size;
    std::string m_path;
};

// Output file written beside its target under a temporary name and renamed into place only
// when the writer finishes successfully, so a failed or cancelled save never destroys the
// previous file. Used by every image writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class CStagedOutputFile {
public:
    CStagedOutputFile() = default;
    ~CStagedOutputFile();
    CStagedOutputFile(const CStagedOutputFile&) = delete;
    CStagedOutputFile& operator=(const CStagedOutputFile&) = delete;

    // Creates the temporary file beside `path`; false when it cannot be created.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_file != nullptr; }

    // Appends at the current position; false (and sticky) on a write error.
    bool Write(const void* data, size_t size);
    // Writes at an absolute position and leaves the position after the written bytes.
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    bool Failed() const { return m_failed; }

    // Flushes, closes and renames over the target; false on any error (the temporary is removed).
    bool Commit();
    // Closes and removes the temporary; the target is left as it was.
    void Discard();

    // The stdio stream, for libraries that write through one (libpng).
    FILE* Stream() const { return m_file; }
    void MarkFailed() { m_failed = true; }

private:
    FILE* m_file = nullptr;
    std::string m_target;
    std::string m_temp;
    bool m_failed = false;
};

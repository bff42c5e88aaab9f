// Output file written beside its target under a temporary name and renamed into place only
// when the writer finishes successfully, so a failed or cancelled save never destroys the
// previous file. Used by every image writer.
//
// The temporary name is short (".smra-" and six characters, in the target's folder), so that a
// target whose name is as long as a file name may be is staged too. A file that replaces another
// keeps the permissions of the one it replaces. Programs that write large outputs install the
// signal cleanup, which removes staged files when the process is interrupted or terminated.
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
    // For writes made through Stream(): marks the output failed, keeping errno as the reason.
    void MarkFailed() { NoteError(); }

    // The temporary file's path while one is open.
    const std::string& TempPath() const { return m_temp; }

private:
    void NoteError();

    FILE* m_file = nullptr;
    std::string m_target;
    std::string m_temp;
    int m_slot = -1;
    bool m_failed = false;
};

// Why the last staged output of the process failed, as errno (0 when none failed since the
// last Open): ENOSPC for a full disk, EFBIG past the file-size limit, ...
int LastStagedOutputError();
// A short text for the user for that failure: "the disk is full", "the file would exceed the
// file-size limit", else the system's text; empty when none.
std::string StagedOutputErrorText(int error);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every staged file still open and
// then end the process as the signal would; a file-size limit then fails the write (EFBIG)
// instead of killing the process. For programs, not for the library's callers.
void InstallStagedOutputSignalCleanup();

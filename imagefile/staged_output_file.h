// Output file written beside its target under a temporary name and renamed into place only
// when the writer finishes successfully, so a failed or cancelled save never destroys the
// previous file. Used by every image writer.
//
// The temporary name is short (".smra-" and six characters, in the target's folder), so that a
// target whose name is as long as a file name may be is staged too. A file that replaces another
// keeps the permissions of the one it replaces. A symbolic link at the output path is written
// through: the file it leads to is staged beside and replaced, the link stays. Only a regular
// file the user may write is replaced. Programs that write large outputs install the signal
// cleanup, which removes staged files when the process is interrupted or terminated; staged files
// of a process that was killed outright are removed by a later write into the same folder once
// they are a day old.
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

    // Creates the temporary file beside the file `path` names (through links); false when the
    // target is refused (CheckStagedOutputTarget) or the temporary cannot be created.
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

// Reasons for refusing an output target, beside the errno values below.
constexpr int kStagedTargetNotAFile = -1;  // a folder, device, pipe or socket is at the path
constexpr int kStagedTargetReadOnly = -2;  // a file that nobody may write (read-only)

// Why the last staged output of the process failed, as errno or one of the refusals above (0
// when none failed since the last Open): ENOSPC for a full disk, EFBIG past the file-size
// limit, EACCES for a file or folder the user may not write, ...
int LastStagedOutputError();
// A short text for the user for that failure: "the disk is full", "the file would exceed the
// file-size limit", "it is not a regular file", "the file is read-only", else the system's
// text; empty when none.
std::string StagedOutputErrorText(int error);

// Whether a staged write to `path` may go ahead, before any work is done for it: 0 when the path
// (its links followed) names nothing yet or a regular file the user may write; otherwise the
// reason as LastStagedOutputError gives it. `target` (optional) receives the path the write
// would replace.
int CheckStagedOutputTarget(const std::string& path, std::string* target = nullptr);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every staged file still open and
// then end the process as the signal would; a file-size limit then fails the write (EFBIG)
// instead of killing the process. For programs, not for the library's callers.
void InstallStagedOutputSignalCleanup();

// Removes every staged file of this process that is still open, leaving the writers to fail.
// Safe to call from a signal handler (no allocation, no lock): for a program that handles the
// signals itself instead of installing the cleanup above.
void RemoveOpenStagedFiles();

// Staged files older than this, found in a folder being written to, are left over from a killed
// process and are removed.
constexpr long kStaleStagedFileSeconds = 24L * 60 * 60;

// Whole-file transfer: reading a file with a size limit, and the atomic write (a temporary file
// beside the target, flushed and renamed into place) used for the settings files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

enum class FileIoError {
    None,
    NotFound,     // the file does not exist
    Folder,       // the name is a folder's
    NotAFile,     // the name is a pipe's, device's or socket's
    NoPermission, // the file, or a folder on the way, may not be read
    Unreadable,   // it exists but could not be opened or read
    TooLarge,     // larger than the limit the caller gave
    CannotCreate, // no temporary file could be made beside the target (read-only folder, ...)
    WriteFailed,  // writing or flushing the data failed (disk full, ...)
    RenameFailed, // the finished file could not replace the target
};

const char* FileIoErrorText(FileIoError e);

// Reads the whole file into `out`; files larger than `maxSize` bytes are refused unread.
FileIoError ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, uint64_t maxSize);

// Writes `bytes` to a temporary file in the target's folder, flushes it to the disk and renames
// it over `path` only when all of it was written. On any failure the temporary file is removed
// and the previous file at `path` (if any) is left as it was. An existing target's permission
// bits are kept; a new file gets the usual ones for the process's file-creation mask.
FileIoError WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

} // namespace platform

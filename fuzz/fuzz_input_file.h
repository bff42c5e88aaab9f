// For readers that take a path: stores a fuzz input as a file of its own (in memory-backed
// /dev/shm where possible) with the extension the reader expects.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

// Writes the bytes to this process's input file of that extension and returns its path, or
// "" when the file cannot be written.
inline std::string WriteFuzzInputFile(const uint8_t* data, size_t size, const std::string& extension)
{
    const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    const std::string path = dir + "/smra_fuzz_" + std::to_string(getpid()) + "." + extension;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return std::string();
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) {
        std::remove(path.c_str());
        return std::string();
    }
    return path;
}

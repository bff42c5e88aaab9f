// The script reader and writer: "Setup.ini" is both the installer's instructions and its undo
// log. Its own rules, not a general INI library: section and key names compare without regard
// to ASCII case, the first of two equal names wins, one file is cached at a time, and every
// write rewrites the whole file (keeping the target section's keys in ascending case-blind
// order). The rewrite goes to a file beside the script that is renamed over it, so a failed
// write never leaves half a script.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace setup {

// Buffer sizes the script's readers work with: names and paths, and numbers.
constexpr std::size_t kPathBuffer = 260;
constexpr std::size_t kNumberBuffer = 32768;

// Compares two texts without regard to ASCII letter case: <0, 0, >0.
int CompareNoCase(const std::string& a, const std::string& b);
bool EqualNoCase(const std::string& a, const std::string& b);

class CIniCache {
public:
    // The value of key in section, or dflt when the section or key is missing. A value between
    // double quotes loses them. The result is cut to bufSize - 2 characters; *cut (when given)
    // tells whether that happened.
    std::string ReadIniString(const std::string& section, const std::string& key, const std::string& dflt,
                              const std::string& path, std::size_t bufSize = kPathBuffer, bool* cut = nullptr);
    // The leading decimal digits of the value (an optional sign first); dflt when missing or empty.
    int ReadIniInt(const std::string& section, const std::string& key, int dflt, const std::string& path);
    // 1 on success (also when nothing had to change), 0 when the file could not be written.
    int WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& path);
    void FreeIniCache();
    // A count kept in the script (a log's Count, the readme's No), bounded by the number of key
    // lines the section holds: a log cannot have more entries than lines, so a damaged count
    // cannot make a walk over it run for ages.
    int ReadIniCount(const std::string& section, const std::string& key, const std::string& path);

    // Whether the cache holds a file (for tests of the read-through rule).
    bool Cached() const { return m_loaded; }

    struct Line {
        bool header = false;
        std::string name;  // header name, or the key
        std::string value; // key lines only
    };

private:
    bool Load(const std::string& path);

    bool m_loaded = false;
    std::string m_path;
    std::vector<Line> m_lines; // the cached text, split once when it is loaded
};

// Parses the leading decimal number of a text as the script's numbers are read ("2x" is 2).
int LeadingInt(const std::string& text);

} // namespace setup

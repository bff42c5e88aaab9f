// The script reader and writer (see setup_ini.h).
#include "setup/core/setup_ini.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace setup {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

using Line = CIniCache::Line;

// Splits the cached text into headers and key lines; empty lines are skipped, and the lines
// above the first header are dropped (they belong to no section).
std::vector<Line> ParseLines(const std::string& text)
{
    std::vector<Line> lines;
    bool inSection = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        if (raw.empty())
            continue;
        Line l;
        if (raw[0] == '[') {
            l.header = true;
            const std::size_t close = raw.find(']');
            l.name = raw.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            inSection = true;
        } else {
            if (!inSection)
                continue;
            const std::size_t eq = raw.find('=');
            l.name = raw.substr(0, eq);
            if (eq != std::string::npos)
                l.value = raw.substr(eq + 1);
        }
        lines.push_back(std::move(l));
    }
    return lines;
}

bool WriteWhole(const std::string& path, const std::string& text)
{
    const std::string tmp = path + ".stu-write";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
    if (std::fclose(f) != 0 || !ok) {
        std::remove(tmp.c_str());
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        ::chmod(tmp.c_str(), st.st_mode & 07777);
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

int CompareNoCase(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(Lower(a[i]));
        const unsigned char y = static_cast<unsigned char>(Lower(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return a.size() == b.size() && CompareNoCase(a, b) == 0; }

int LeadingInt(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        neg = text[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 2147483647LL)
            v = 2147483647LL; // saturate: a huge number stays huge instead of wrapping
    }
    return static_cast<int>(neg ? -v : v);
}

bool CIniCache::Load(const std::string& path)
{
    if (m_loaded && EqualNoCase(m_path, path))
        return true;
    FreeIniCache();
    // A script that does not exist reads as empty; it is created by the first write only, so
    // looking at a folder's script never leaves a file behind.
    std::ifstream in(path, std::ios::binary);
    if (in) {
        std::ostringstream ss;
        ss << in.rdbuf();
        m_lines = ParseLines(ss.str());
    } else {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            return false; // exists but cannot be read
        m_lines.clear();
    }
    m_path = path;
    m_loaded = true;
    return true;
}

void CIniCache::FreeIniCache()
{
    m_loaded = false;
    m_path.clear();
    m_lines.clear();
}

std::string CIniCache::ReadIniString(const std::string& section, const std::string& key, const std::string& dflt,
                                     const std::string& path, std::size_t bufSize, bool* cut)
{
    if (cut)
        *cut = false;
    std::string result = dflt;
    if (Load(path)) {
        const std::vector<Line>& lines = m_lines;
        bool inTarget = false;
        bool sectionSeen = false;
        for (const Line& l : lines) {
            if (l.header) {
                if (sectionSeen)
                    break; // only the first section of that name is read
                inTarget = EqualNoCase(l.name, section);
                sectionSeen = inTarget;
                continue;
            }
            if (inTarget && EqualNoCase(l.name, key)) {
                result = l.value;
                if (!result.empty() && result[0] == '"') {
                    result.erase(0, 1);
                    if (!result.empty() && result.back() == '"')
                        result.pop_back();
                }
                break;
            }
        }
    }
    const std::size_t max = bufSize >= 2 ? bufSize - 2 : 0;
    if (result.size() > max) {
        result.resize(max);
        if (cut)
            *cut = true;
    }
    return result;
}

int CIniCache::ReadIniInt(const std::string& section, const std::string& key, int dflt, const std::string& path)
{
    const std::string text = ReadIniString(section, key, std::to_string(dflt), path, kNumberBuffer);
    if (text.empty())
        return dflt;
    return LeadingInt(text);
}

int CIniCache::ReadIniCount(const std::string& section, const std::string& key, const std::string& path)
{
    const int n = ReadIniInt(section, key, 0, path);
    if (n <= 0 || !Load(path))
        return 0;
    int lines = 0;
    bool inTarget = false, seen = false;
    for (const Line& l : m_lines) {
        if (l.header) {
            if (seen)
                break;
            inTarget = seen = EqualNoCase(l.name, section);
        } else if (inTarget) {
            ++lines;
        }
    }
    return std::min(n, lines);
}

int CIniCache::WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                              const std::string& path)
{
    if (section.empty() && key.empty() && value.empty())
        return 1;
    const std::string current = ReadIniString(section, key, value.empty() ? " " : "", path, kNumberBuffer);
    if (current == value)
        return 1;
    const std::string newLine = key + "=" + (value.find('"') != std::string::npos ? "\"" + value + "\"" : value) + "\n";
    std::string out;
    if (!Load(path)) {
        FreeIniCache();
        return 0;
    }
    const std::vector<Line> lines = m_lines;
    bool found = false;
    std::size_t i = 0;
    while (i < lines.size()) {
        const Line& h = lines[i++];
        std::size_t end = i;
        while (end < lines.size() && !lines[end].header)
            ++end;
        if (EqualNoCase(h.name, section)) {
            found = true;
            out += "[" + h.name + "]\n";
            bool inserted = false;
            for (std::size_t j = i; j < end; ++j) {
                const Line& l = lines[j];
                if (!inserted) {
                    const int c = CompareNoCase(l.name, key);
                    if (c >= 0) {
                        out += newLine;
                        inserted = true;
                        if (c == 0)
                            continue;
                    } else {
                        out += l.name + "=" + l.value + "\n";
                        continue;
                    }
                }
                if (!l.name.empty() && !l.value.empty())
                    out += l.name + "=" + l.value + "\n";
            }
            if (!inserted)
                out += newLine;
        } else if (end > i) {
            out += "[" + h.name + "]\n";
            for (std::size_t j = i; j < end; ++j)
                if (!lines[j].name.empty() && !lines[j].value.empty())
                    out += lines[j].name + "=" + lines[j].value + "\n";
        }
        i = end;
    }
    if (!found)
        out += "[" + section + "]\n" + newLine;
    const bool ok = WriteWhole(path, out);
    FreeIniCache();
    return ok ? 1 : 0;
}

} // namespace setup

// Path words of script entries: the prefix words of one entry, and words anywhere in a text.
#include "setup/core/setup.h"

#include <filesystem>

namespace setup {

namespace fs = std::filesystem;

namespace {

bool StartsNoCase(const std::string& s, const std::string& prefix)
{
    return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

} // namespace

std::optional<std::string> CSetup::ExpandPathMacros(const std::string& entry, const std::string& dest, bool lookUp)
{
    struct Word { const char* word; const std::string* folder; };
    const Word words[] = {{"%system%", &m_folders.system}, {"%desktop%", &m_folders.desktop},
                          {"%windows%", &m_folders.windows}, {"%windrive%", &m_folders.home},
                          {"%programs%", &m_folders.programs}};
    for (const Word& w : words) {
        if (StartsNoCase(entry, w.word)) {
            const auto rest = MapScriptPath(entry.substr(std::string(w.word).size()), m_folders);
            if (!rest)
                return std::nullopt;
            return *w.folder + *rest;
        }
    }
    if (entry.size() >= 4 && entry.compare(0, 2, "%$") == 0) {
        const auto rest = MapScriptPath(entry.substr(4), m_folders);
        if (!rest)
            return std::nullopt;
        return m_folders.home + *rest;
    }
    if (StartsNoCase(entry, "%root%")) {
        const auto rest = MapScriptPath(entry.substr(6), m_folders);
        if (!rest)
            return std::nullopt;
        return AppendPath(dest, *rest);
    }
    if (!entry.empty() && entry[0] == '!')
        return MapScriptPath(entry.substr(1), m_folders);
    const auto mapped = MapScriptPath(entry, m_folders);
    if (!mapped)
        return std::nullopt;
    const std::string joined = AppendPath(dest, *mapped);
    if (lookUp) {
        std::error_code ec;
        if (fs::exists(ExistingCase(joined), ec))
            return ExistingCase(joined);
        // The program that opens a document of this kind, as the association says.
        const std::size_t dot = mapped->find_last_of('.');
        if (dot != std::string::npos && mapped->find('/', dot) == std::string::npos) {
            using platform::SettingsHive;
            const auto type = m_store.GetString(SettingsHive::ClassesRoot, mapped->substr(dot), "");
            if (type && !type->empty()) {
                const auto cmd = m_store.GetString(SettingsHive::ClassesRoot, *type + "\\shell\\open\\command", "");
                if (cmd && !cmd->empty()) {
                    if ((*cmd)[0] == '"') {
                        const std::size_t close = cmd->find('"', 1);
                        return cmd->substr(1, close == std::string::npos ? std::string::npos : close - 1);
                    }
                    std::string c = *cmd;
                    while (!c.empty()) {
                        if (fs::is_regular_file(c, ec))
                            return c;
                        c.pop_back();
                    }
                }
            }
        }
    }
    return joined;
}

std::string CSetup::ResolveFolderWord(const std::string& text)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find('%', pos);
        if (open == std::string::npos) {
            out += text.substr(pos);
            break;
        }
        out += text.substr(pos, open - pos);
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(open);
            break;
        }
        const std::string word = text.substr(open + 1, close - open - 1);
        if (EqualNoCase(word, "system"))
            out += m_folders.system;
        else if (EqualNoCase(word, "desktop"))
            out += m_folders.desktop;
        else if (EqualNoCase(word, "windows"))
            out += m_folders.windows;
        else if (EqualNoCase(word, "windrive"))
            out += m_folders.home;
        else if (EqualNoCase(word, "programs"))
            out += m_folders.programs;
        else if (EqualNoCase(word, "root")) {
            const std::string named = Read("Root", "Named");
            out += named.empty() ? std::string("%root%") : named;
        } else if (word.size() >= 2 && ((word[1] >= 'A' && word[1] <= 'Z') || (word[1] >= 'a' && word[1] <= 'z'))) {
            out = m_folders.home; // a drive: the text so far gives way to the drive's root
        } else {
            out += "%" + word + "%";
        }
        pos = close + 1;
    }
    return out;
}

} // namespace setup

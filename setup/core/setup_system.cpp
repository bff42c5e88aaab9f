// Desktop integration: menu, desktop, startup, quick-launch and send-to entries (desktop entry
// files), file associations (settings store, a shared-mime-info package, the verb's desktop
// entry and mimeapps.list), settings lines of [Reg], the command lists of [Go2], the uninstall
// entry and the program's own settings keys. Each has a make and an undo direction; undo takes
// back only what the installation made and logged.
#include "setup/core/setup.h"

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace setup {

namespace fs = std::filesystem;
using platform::SettingsHive;
using platform::SettingsValue;

namespace {

const char* const kUninstallKey = "Software\\Uninstall\\";

// Quotes one word for a desktop entry's Exec line.
std::string QuoteExec(const std::string& s)
{
    std::string r = "\"";
    for (char c : s) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            r += '\\';
        if (c == '%')
            r += '%';
        r += c;
    }
    return r + "\"";
}

std::string EscapeArgs(const std::string& s)
{
    std::string r;
    for (char c : s) {
        if (c == '%')
            r += '%';
        r += c;
    }
    return r;
}

// A desktop entry's value: backslash, line ends and tabs written as the entry format's escapes
// (so a quoted Exec argument's own backslash escapes arrive doubled, as readers expect).
std::string EscapeValue(const std::string& s)
{
    std::string r;
    for (char c : s) {
        if (c == '\\')
            r += "\\\\";
        else if (c == '\n')
            r += "\\n";
        else if (c == '\r')
            r += "\\r";
        else if (c == '\t')
            r += "\\t";
        else
            r += c;
    }
    return r;
}

std::string UnescapeValue(const std::string& s)
{
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            r += s[i];
            continue;
        }
        const char n = s[++i];
        r += n == 'n' ? '\n' : n == 'r' ? '\r' : n == 't' ? '\t' : n == 's' ? ' ' : n;
    }
    return r;
}

std::string XmlEscape(const std::string& s)
{
    std::string r;
    for (char c : s) {
        switch (c) {
        case '&': r += "&amp;"; break;
        case '<': r += "&lt;"; break;
        case '>': r += "&gt;"; break;
        case '"': r += "&quot;"; break;
        case '\'': r += "&apos;"; break;
        default: r += c;
        }
    }
    return r;
}

// The words of a desktop entry's Exec line (quotes and backslash escapes undone, field codes dropped).
std::vector<std::string> SplitExec(const std::string& exec)
{
    std::vector<std::string> words;
    std::string cur;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size()) {
                cur += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                cur += c;
            }
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ' ' || c == '\t') {
            if (any || !cur.empty())
                words.push_back(cur);
            cur.clear();
            any = false;
        } else if (c == '%' && i + 1 < exec.size()) {
            if (exec[i + 1] == '%')
                cur += '%';
            ++i;
        } else {
            cur += c;
        }
    }
    if (any || !cur.empty())
        words.push_back(cur);
    return words;
}

std::string DesktopValue(const std::string& text, const std::string& key)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t e = text.find('\n', pos);
        if (e == std::string::npos)
            e = text.size();
        const std::string line = text.substr(pos, e - pos);
        if (line.compare(0, key.size() + 1, key + "=") == 0)
            return line.substr(key.size() + 1);
        pos = e + 1;
    }
    return std::string();
}

SettingsHive HiveOf(const std::string& word, bool* known = nullptr)
{
    if (known)
        *known = true;
    if (EqualNoCase(word, "HKEY_CLASSES_ROOT"))
        return SettingsHive::ClassesRoot;
    if (EqualNoCase(word, "HKEY_CURRENT_CONFIG"))
        return SettingsHive::CurrentConfig;
    if (EqualNoCase(word, "HKEY_CURRENT_USER"))
        return SettingsHive::CurrentUser;
    if (EqualNoCase(word, "HKEY_USERS"))
        return SettingsHive::Users;
    if (known)
        *known = EqualNoCase(word, "HKEY_LOCAL_MACHINE");
    return SettingsHive::LocalMachine;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

// Keys of fewer than two components are never deleted: a hive root or a key right under one.
bool DeepEnough(const std::string& key)
{
    int parts = 0;
    bool in = false;
    for (char c : key) {
        if (c == '\\' || c == '/') {
            in = false;
        } else if (!in) {
            in = true;
            ++parts;
        }
    }
    return parts >= 2;
}

std::string MimeName(const std::string& kind)
{
    std::string r;
    for (char c : kind) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            r += c;
        else if (c >= 'A' && c <= 'Z')
            r += static_cast<char>(c - 'A' + 'a');
        else if (!r.empty() && r.back() != '-')
            r += '-';
    }
    return r.empty() ? std::string("unknown") : r;
}

// The icon name of a file kind, as the desktop derives it from the type.
std::string IconName(const std::string& mime)
{
    std::string r = mime;
    std::replace(r.begin(), r.end(), '/', '-');
    return r;
}

// Width and height of a PNG file from its header; false for anything else.
bool PngSize(const std::string& path, int& w, int& h)
{
    std::string head;
    if (!ReadFileText(path, head) || head.size() < 24 || head.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
        head.compare(12, 4, "IHDR") != 0)
        return false;
    auto be = [&](std::size_t o) {
        return (static_cast<uint32_t>(static_cast<unsigned char>(head[o])) << 24) |
               (static_cast<uint32_t>(static_cast<unsigned char>(head[o + 1])) << 16) |
               (static_cast<uint32_t>(static_cast<unsigned char>(head[o + 2])) << 8) |
               static_cast<uint32_t>(static_cast<unsigned char>(head[o + 3]));
    };
    const uint32_t ww = be(16), hh = be(20);
    if (ww == 0 || hh == 0 || ww > 1024 || hh > 1024)
        return false;
    w = static_cast<int>(ww);
    h = static_cast<int>(hh);
    return true;
}

const char* const kMimeTool = "/usr/bin/update-mime-database";
const char* const kDesktopTool = "/usr/bin/update-desktop-database";

} // namespace

// Logged keys: [MadeKey] "0".."Count-1" hold "<hive number>\<key path>".
bool CSetup::CreateKeyLogged(SettingsHive hive, const std::string& key)
{
    std::string path;
    std::size_t pos = 0;
    while (pos <= key.size()) {
        std::size_t e = key.find('\\', pos);
        if (e == std::string::npos)
            e = key.size();
        const std::string part = key.substr(pos, e - pos);
        pos = e + 1;
        if (part.empty())
            continue;
        path = path.empty() ? part : path + "\\" + part;
        if (!m_store.KeyExists(hive, path)) {
            if (!m_store.CreateKey(hive, path))
                return false;
            const int n = ReadInt("MadeKey", "Count");
            Write("MadeKey", std::to_string(n), std::to_string(static_cast<int>(hive)) + "\\" + path);
            Write("MadeKey", "Count", std::to_string(n + 1));
        }
    }
    return true;
}

bool CSetup::KeyLogged(SettingsHive hive, const std::string& key)
{
    std::string k = key;
    while (!k.empty() && k.back() == '\\')
        k.pop_back();
    const std::string want = std::to_string(static_cast<int>(hive)) + "\\" + k;
    const int n = m_ini.ReadIniCount("MadeKey", "Count", m_script);
    for (int i = 0; i < n; ++i)
        if (EqualNoCase(Read("MadeKey", std::to_string(i)), want))
            return true;
    return false;
}

void CSetup::DeleteKeyWalkUp(SettingsHive hive, std::string key)
{
    // Walking up removes empty keys the installation made, up to (not including) the hive root.
    while (!key.empty()) {
        if (!KeyLogged(hive, key) || !m_store.KeyExists(hive, key) || !m_store.SubKeys(hive, key).empty() ||
            !m_store.ValueNames(hive, key).empty())
            break;
        m_store.DeleteKey(hive, key);
        const std::size_t p = key.find_last_of('\\');
        if (p == std::string::npos)
            break;
        key.resize(p);
    }
}

bool CSetup::WriteShortcut(const std::string& section, const std::string& file)
{
    const std::string dest = Read("Root", "Named");
    const std::string target = ExpandPathMacros(Read(section, "Path"), dest, true).value_or("");
    const std::string arg = Read(section, "Arg");
    std::string work = Read(section, "Work");
    if (work.empty())
        work = dest;
    else if (work[0] == '!')
        work = MapScriptPath(work.substr(1), m_folders).value_or(dest);
    else
        work = AppendPath(dest, MapScriptPath(work, m_folders).value_or(""));
    std::string text = "[Desktop Entry]\nType=Application\nName=" + EscapeValue(NameOf(file));
    text.resize(text.size() - std::string(".desktop").size());
    text += "\nExec=" + EscapeValue(QuoteExec(target) + (arg.empty() ? std::string() : " " + EscapeArgs(arg)));
    text += "\nPath=" + EscapeValue(work) + "\n";
    const std::string icon = Read(section, "Icon");
    if (!icon.empty())
        text += "Icon=" + EscapeValue(ExpandPathMacros(icon, dest, true).value_or(icon)) + "\n";
    if (!PathAllowed(file, m_folders))
        return false;
    std::error_code ec;
    MakeFoldersLogged(FolderOf(file));
    if (fs::exists(file, ec)) {
        // Only an entry this installer wrote is replaced.
        std::string old;
        ReadFileText(file, old);
        if (old.find("X-Seamora-Setup=true") == std::string::npos)
            return false;
    }
    text += "X-Seamora-Setup=true\n";
    return WriteFileAtomic(file, text);
}

std::string CSetup::MenuFolder(const std::string& scriptPath)
{
    const std::string named = m_ini.ReadIniString("Menu", "Named", "", scriptPath);
    if (!named.empty())
        return named;
    const std::string name = m_ini.ReadIniString("Menu", "Name", "", scriptPath);
    return AppendPath(m_folders.applications, MapScriptPath(name, m_folders).value_or(""));
}

namespace {

// Removes a shortcut file the installer wrote (never a user's file of that name).
bool RemoveOurEntry(const std::string& file)
{
    std::string text;
    if (!ReadFileText(file, text) || text.find("X-Seamora-Setup=true") == std::string::npos)
        return false;
    return ::unlink(file.c_str()) == 0;
}

} // namespace

void CSetup::MakeMenuShortcuts(bool make)
{
    std::string folder = MenuFolder(m_script);
    if (Read("Menu", "Named").empty() && make)
        Write("Menu", "Named", folder);
    std::error_code ec;
    if (make) {
        if (!PathAllowed(folder, m_folders))
            return;
        bool made = false;
        for (int attempt = 0; attempt <= 6 && !made; ++attempt) {
            made = MakeFoldersLogged(folder);
            if (!made && attempt < 6)
                m_ui.Pause(500);
        }
        if (!made) {
            Box(folder, Buttons::Ok, Icon::Exclamation, Tx("Could not make menu.", "メニューを作成できませんでした"));
            return;
        }
        if (ReadInt("Check", "Menu") < 2)
            Write("Check", "Menu", "2");
        for (int i = 0;; ++i) {
            const std::string sec = "Menu" + std::to_string(i);
            const std::string name = Read(sec, "Name");
            if (name.empty())
                break;
            const std::string rel = MapScriptPath(name, m_folders).value_or("");
            const std::string file = (name[0] == '\\' ? AppendPath(m_folders.applications, rel) : AppendPath(folder, rel)) + ".desktop";
            WriteShortcut(sec, file);
        }
        if (::rmdir(folder.c_str()) != 0 && ReadInt("Menu", "Open") != 0)
            m_ui.StartProgram({"xdg-open", folder}, std::string());
        return;
    }
    RemoveMenuFolder(m_script);
    if (ReadInt("Check", "Menu") != 0)
        Write("Check", "Menu", "1");
}

void CSetup::RemoveMenuFolder(const std::string& scriptPath)
{
    const std::string folder = MenuFolder(scriptPath);
    for (int i = 0;; ++i) {
        const std::string sec = "Menu" + std::to_string(i);
        const std::string name = m_ini.ReadIniString(sec, "Name", "", scriptPath);
        if (name.empty())
            break;
        const std::string rel = MapScriptPath(name, m_folders).value_or("");
        const std::string base = name[0] == '\\' ? m_folders.applications : folder;
        const std::string file = AppendPath(base, rel) + ".desktop";
        if (!PathAllowed(file, m_folders))
            continue;
        RemoveOurEntry(file);
        // Subfolders of the name, deepest first, when empty.
        std::string sub = FolderOf(AppendPath(base, rel));
        while (sub.size() > base.size() && PathAllowed(sub, m_folders) && ::rmdir(sub.c_str()) == 0)
            sub = FolderOf(sub);
    }
    if (folder != m_folders.applications && PathAllowed(folder, m_folders))
        ::rmdir(folder.c_str());
}

void CSetup::MakeSendToShortcuts(bool make)
{
    std::error_code ec;
    if (!fs::is_directory(m_folders.sendTo, ec))
        return;
    for (int i = 0;; ++i) {
        const std::string sec = "Send" + std::to_string(i);
        const std::string name = Read(sec, "Name");
        if (name.empty())
            break;
        const std::string file = AppendPath(m_folders.sendTo, MapScriptPath(name, m_folders).value_or("")) + ".desktop";
        if (make)
            WriteShortcut(sec, file);
        else if (PathAllowed(file, m_folders))
            RemoveOurEntry(file);
    }
    if (make) {
        if (ReadInt("Check", "Send") < 2)
            Write("Check", "Send", "2");
    } else if (ReadInt("Check", "Send") != 0) {
        Write("Check", "Send", "1");
    }
}

void CSetup::MakePlaceShortcut(bool make, const std::string& section)
{
    std::string folder = section == "Desktop" ? m_folders.desktop
                         : section == "Startup" ? m_folders.autostart
                                                : m_folders.quickLaunch;
    std::error_code ec;
    if (section == "QLaunch" && !fs::is_directory(folder, ec))
        return;
    const std::string name = Read(section, "Name");
    if (name.empty())
        return;
    const std::string file = AppendPath(folder, NameOf(MapScriptPath(name, m_folders).value_or(name))) + ".desktop";
    if (make) {
        if (WriteShortcut(section, file))
            Write("LastGo", section, file);
        if (ReadInt("Check", section) < 2)
            Write("Check", section, "2");
    } else {
        const std::string made = Read("LastGo", section);
        Write("LastGo", section, "");
        if (ReadInt("Check", section) != 0)
            Write("Check", section, "1");
        if (!made.empty() && PathAllowed(made, m_folders))
            RemoveOurEntry(made);
    }
}

void CSetup::StartShortcut(const std::string& file)
{
    std::string text;
    if (!ReadFileText(file, text))
        return;
    const std::vector<std::string> argv = SplitExec(UnescapeValue(DesktopValue(text, "Exec")));
    if (!argv.empty())
        m_ui.StartProgram(argv, UnescapeValue(DesktopValue(text, "Path")));
}

void CSetup::RunAfterInstall()
{
    const std::string folder = Read("Menu", "Named");
    if (folder.empty())
        return;
    bool anyKept = false;
    for (int i = 0;; ++i) {
        const std::string name = Read("LastGo", std::to_string(i));
        if (name.empty())
            break;
        const std::string file = AppendPath(folder, MapScriptPath(name, m_folders).value_or("")) + ".desktop";
        StartShortcut(file);
        if (name[0] == '$')
            DeleteToTrash(file);
        else
            anyKept = true;
    }
    if (!anyKept)
        ::rmdir(folder.c_str());
    for (const char* sec : {"QLaunch", "Startup", "Desktop"}) {
        if (ReadInt("LastGo", std::string(sec) + "AndGo") == 0)
            continue;
        const std::string file = Read("LastGo", sec);
        if (file.empty())
            continue;
        StartShortcut(file);
        if (!NameOf(file).empty() && NameOf(file)[0] == '$')
            DeleteToTrash(file);
    }
}

void CSetup::ApplyRegEntries(bool make)
{
    const std::string dest = Read("Root", "Named");
    for (int i = 0;; ++i) {
        const std::string line = m_ini.ReadIniString("Reg", (make ? "Make" : "Erase") + std::to_string(i), "",
                                                     m_script, kNumberBuffer);
        if (line.empty())
            break;
        const std::size_t first = line.find('\\');
        if (first == std::string::npos)
            continue;
        const SettingsHive hive = HiveOf(line.substr(0, first));
        const std::string rest = line.substr(first + 1);
        if (!make) {
            std::string key = rest;
            while (!key.empty() && key.back() == '\\')
                key.pop_back();
            if (m_store.KeyExists(hive, key)) {
                if (DeepEnough(key) && KeyLogged(hive, key))
                    m_store.DeleteKey(hive, key);
            } else {
                const std::size_t p = key.find_last_of('\\');
                if (p == std::string::npos)
                    continue;
                m_store.DeleteValue(hive, key.substr(0, p), key.substr(p + 1));
            }
            const std::size_t p = key.find_last_of('\\');
            if (p != std::string::npos)
                DeleteKeyWalkUp(hive, key.substr(0, p));
            continue;
        }
        const std::size_t dbl = rest.find("\\\\");
        const std::string key = rest.substr(0, dbl);
        if (!CreateKeyLogged(hive, key) || dbl == std::string::npos)
            continue;
        const std::string nv = rest.substr(dbl + 2);
        const std::size_t sep = nv.find('\\');
        const std::string name = nv.substr(0, sep);
        const std::string data = sep == std::string::npos ? std::string() : nv.substr(sep + 1);
        SettingsValue value;
        if (data.empty() || data[0] != '#' || data.compare(0, 2, "##") == 0) {
            const std::string text = data.compare(0, 2, "##") == 0 ? data.substr(1) : data;
            std::string v = text;
            if (!text.empty() && text[0] == '!')
                v = text.substr(1);
            else if (!text.empty())
                v = ExpandPathMacros(text, dest, true).value_or(text);
            if (v.empty())
                v = text;
            value = SettingsValue::String(v);
        } else {
            const char form = data.size() > 1 ? static_cast<char>(data[1] | 0x20) : 0;
            const std::string arg = data.size() > 2 ? data.substr(2) : std::string();
            if (form == 's') {
                std::string v;
                for (std::size_t k = 0; k < arg.size(); ++k) {
                    if (arg[k] == '\\' && k + 1 < arg.size()) {
                        const char n = static_cast<char>(arg[k + 1] | 0x20);
                        if (n == 'n') { v += '\n'; ++k; continue; }
                        if (n == 'r') { v += '\r'; ++k; continue; }
                        if (n == 't') { v += '\t'; ++k; continue; }
                        if (arg[k + 1] == '\\') { v += '\\'; ++k; continue; }
                    }
                    v += arg[k];
                }
                value = SettingsValue::String(v);
            } else if (form == 'd') {
                value = SettingsValue::Int(LeadingInt(arg));
            } else if (form == 'h') {
                uint32_t v = 0;
                for (char c : arg)
                    v = v * 16 + static_cast<uint32_t>(HexDigit(c));
                value = SettingsValue::Int(static_cast<int32_t>(v));
            } else if (form == 'b') {
                std::vector<uint8_t> bytes;
                for (std::size_t k = 0; k + 1 < arg.size(); k += 2)
                    bytes.push_back(static_cast<uint8_t>(HexDigit(arg[k]) * 16 + HexDigit(arg[k + 1])));
                value = SettingsValue::Binary(bytes);
            } else if (form == 't' || form == 'f') {
                std::string text;
                const std::string file = ExpandPathMacros(arg, dest, false).value_or("");
                if (file.empty() || !ReadFileText(file, text))
                    continue;
                if (form == 't')
                    value = SettingsValue::String(text);
                else
                    value = SettingsValue::Binary(std::vector<uint8_t>(text.begin(), text.end()));
            } else {
                continue;
            }
        }
        m_store.SetValue(hive, key, name, value);
    }
}

bool CSetup::MakeFoldersLogged(const std::string& path)
{
    int next = ReadInt("MakedDirectory", "Count");
    const bool ok = MakeDirectoryLogged(path, true, next);
    Write("MakedDirectory", "Count", std::to_string(next));
    m_createdThisRun.clear();
    return ok;
}

bool CSetup::InsideCreatedFolder(const std::string& path)
{
    if (!PathAllowed(path, m_folders))
        return false;
    // Compared by real folders, so that a link inside the installation leads nowhere else; the
    // last component itself is never followed by the removal.
    std::error_code ec;
    const std::string real = AppendPath(fs::weakly_canonical(FolderOf(path), ec).string(), NameOf(path));
    if (ec)
        return false;
    auto within = [&](const std::string& folder, bool orSame) {
        if (folder.empty())
            return false;
        std::error_code e2;
        const std::string f = fs::weakly_canonical(folder, e2).string();
        if (e2)
            return false;
        return (orSame && real == f) ||
               (real.size() > f.size() && real.compare(0, f.size(), f) == 0 && real[f.size()] == '/');
    };
    if (m_runState == 1) {
        // An installed copy: its own folder and the folders its record names.
        LoadRecord();
        if (within(m_installRoot, false))
            return true;
        for (const std::string& d : m_recordDirs)
            if (within(d, true))
                return true;
        return false;
    }
    // Installing: the destination the copy step wrote (a root folder itself never counts) and the
    // folders this run made.
    const std::string named = Read("Root", "Named");
    if (PathAllowed(named, m_folders) && within(named, false))
        return true;
    for (const std::string& d : m_newDirs)
        if (within(d, true))
            return true;
    return false;
}

void CSetup::RunCommandList(const std::string& word)
{
    const std::string dest = Read("Root", "Named");
    std::string noLoad, noLib, noEntry;
    for (int i = 0;; ++i) {
        std::string line = m_ini.ReadIniString("Go2", word + std::to_string(i), "", m_script, 1042);
        if (line.empty())
            break;
        std::vector<std::string> f;
        std::size_t pos = 0;
        while (f.size() < 2) {
            const std::size_t e = line.find(';', pos);
            if (e == std::string::npos)
                break;
            f.push_back(line.substr(pos, e - pos));
            pos = e + 1;
        }
        f.push_back(line.substr(pos));
        while (f.size() < 3)
            f.push_back(std::string());
        const std::string first = MapScriptPath(ResolveFolderWord(f[0]), m_folders).value_or("");
        const std::string& entry = f[1];
        const std::string& how = f[2];
        if (EqualNoCase(f[0], "delfile") || EqualNoCase(f[0], "deldir")) {
            const std::string p = ExpandPathMacros(how, dest, false).value_or("");
            if (!p.empty() && InsideCreatedFolder(p)) {
                if (EqualNoCase(f[0], "delfile"))
                    DeleteToTrash(p);
                else
                    ::rmdir(p.c_str());
            }
            continue;
        }
        if (EqualNoCase(f[0], "delreg") || EqualNoCase(f[0], "delkey")) {
            const std::size_t b = how.find('\\');
            const std::size_t dbl = how.find("\\\\");
            if (b == std::string::npos || dbl == std::string::npos || dbl < b)
                continue;
            bool known = false;
            const SettingsHive hive = HiveOf(how.substr(0, b), &known);
            if (!known || hive == SettingsHive::CurrentConfig)
                continue;
            const std::string key = how.substr(b + 1, dbl - b - 1);
            const std::string name = how.substr(dbl + 2);
            if (EqualNoCase(f[0], "delreg")) {
                m_store.DeleteValue(hive, key, name);
            } else {
                const std::string child = key + "\\" + name;
                if (DeepEnough(child) && KeyLogged(hive, child) && m_store.KeyExists(hive, child) &&
                    m_store.SubKeys(hive, child).empty() && m_store.ValueNames(hive, child).empty())
                    m_store.DeleteKey(hive, child);
            }
            continue;
        }
        if (entry.empty()) {
            std::string program, params;
            if (!first.empty() && first[0] == '"') {
                const std::size_t close = first.find('"', 1);
                program = first.substr(1, close == std::string::npos ? std::string::npos : close - 1);
                if (close != std::string::npos && close + 2 <= first.size())
                    params = first.substr(close + 2);
            } else {
                const std::size_t sp = first.find(' ');
                program = first.substr(0, sp);
                if (sp != std::string::npos)
                    params = first.substr(sp + 1);
            }
            std::vector<std::string> argv{program};
            for (const std::string& w : SplitExec(params))
                argv.push_back(w);
            if (!m_ui.StartProgram(argv, dest) && !EqualNoCase(how, "hide"))
                Box(Tx("Could not execute.", "実行を失敗しました"), Buttons::Ok, Icon::Exclamation, program);
            continue;
        }
        // A library of the distribution or of the installation, and a function of it.
        std::string lib = first;
        if (!lib.empty() && lib[0] != '/')
            lib = AppendPath(dest, lib);
        auto inside = [](const std::string& p, const std::string& folder) {
            return !folder.empty() && p.size() > folder.size() && p.compare(0, folder.size(), folder) == 0 &&
                   p[folder.size()] == '/';
        };
        std::error_code ec;
        const std::string real = fs::weakly_canonical(lib, ec).string();
        const bool allowed = !ec && lib.find("/../") == std::string::npos &&
                             (inside(real, fs::weakly_canonical(m_sourceFolder, ec).string()) ||
                              inside(real, fs::weakly_canonical(dest, ec).string()));
        if (!allowed || !fs::is_regular_file(real, ec)) {
            if (!EqualNoCase(how, "hide") && noLib.size() < 8192)
                noLib += first + (how.empty() ? std::string() : "\n -> " + how) + "\n";
            continue;
        }
        void* h = ::dlopen(real.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr) {
            if (!EqualNoCase(how, "hide") && noLoad.size() < 8192)
                noLoad += first + "\n";
            continue;
        }
        if (!EqualNoCase(entry, "#CheckExist")) {
            void* fn = ::dlsym(h, entry.c_str());
            if (fn == nullptr) {
                if (!EqualNoCase(how, "hide") && noEntry.size() < 8192)
                    noEntry += first + "\n -> " + entry + "\n";
            } else {
                reinterpret_cast<void (*)()>(fn)();
            }
        }
        ::dlclose(h);
    }
    if (!noLoad.empty())
        Box(Tx("Could not load library.\n\n", "ライブラリをロードできませんでした\n\n") + noLoad, Buttons::Ok, Icon::Exclamation);
    if (!noLib.empty())
        Box(Tx("Here is not library.\n\n", "ライブラリがありません\n\n") + noLib, Buttons::Ok, Icon::Exclamation);
    if (!noEntry.empty())
        Box(Tx("Could not find entry.\n\n", "エントリポイントを見つけられませんでした\n\n") + noEntry, Buttons::Ok,
            Icon::Exclamation);
}

void CSetup::SetAssociations(bool make)
{
    const std::string dest = Read("Root", "Named");
    std::error_code ec;
    bool changedDesktop = false;
    for (int i = 0;; ++i) {
        const std::string sec = "Ext" + std::to_string(i);
        const std::string ext = Read(sec, "Ext");
        if (ext.empty())
            break;
        const std::string kindWanted = Read(sec, "Kind");
        if (kindWanted.empty())
            continue;
        const bool force = ReadInt(sec, "Force") != 0;
        const std::string existing = m_store.GetString(SettingsHive::ClassesRoot, ext, "").value_or("");
        std::string kind = kindWanted;
        std::string verb = Read(sec, "Verb");
        bool shared = false;
        const bool ownedBefore = KeyLogged(SettingsHive::ClassesRoot, ext);
        if (!existing.empty() && !EqualNoCase(existing, kindWanted) && !ownedBefore) {
            if (!force) {
                shared = true;
                kind = existing;
                verb = Read(sec, "Verb2");
            }
        }
        if (verb.empty())
            verb = "open";
        const std::string mime = "application/x-" + MimeName(kind);
        const std::string entryId = "seamora-" + MimeName(kind) + "-" + MimeName(verb) + ".desktop";
        const std::string entryFile = AppendPath(m_folders.applications, entryId);
        const std::string package = AppendPath(m_folders.mime, "packages/seamora-" + MimeName(kind) + ".xml");
        if (make) {
            if (!shared) {
                if (!existing.empty() && !EqualNoCase(existing, kindWanted) && force)
                    m_store.SetString(SettingsHive::ClassesRoot, ext, "Old Name", existing);
                CreateKeyLogged(SettingsHive::ClassesRoot, ext);
                m_store.SetString(SettingsHive::ClassesRoot, ext, "", kind);
                CreateKeyLogged(SettingsHive::ClassesRoot, kind);
                m_store.SetString(SettingsHive::ClassesRoot, kind, "", kind);
                const std::string icon = Read(sec, "Icon");
                if (!icon.empty()) {
                    std::string v = ExpandPathMacros(icon, dest, true).value_or(icon);
                    const std::string no = Read(sec, "IconNo");
                    if (!no.empty())
                        v += "," + no;
                    CreateKeyLogged(SettingsHive::ClassesRoot, kind + "\\DefaultIcon");
                    m_store.SetString(SettingsHive::ClassesRoot, kind + "\\DefaultIcon", "", v);
                }
                // The kind's icon goes into the user's icon theme under the name the desktop
                // looks for (the type with '-' for '/').
                std::string iconLine;
                const std::string themeIcon = KindIconFile(sec, mime);
                if (!themeIcon.empty()) {
                    std::string bytes, old;
                    const std::string source = ExpandPathMacros(Read(sec, "Icon"), dest, false).value_or("");
                    const bool theirs = ReadFileText(themeIcon, old) && ReadFileText(source, bytes) && old != bytes;
                    if (!theirs && ReadFileText(source, bytes) && MakeFoldersLogged(FolderOf(themeIcon)) &&
                        WriteFileAtomic(themeIcon, bytes))
                        iconLine = "    <icon name=\"" + XmlEscape(IconName(mime)) + "\"/>\n";
                }
                // The file kind for the desktop.
                MakeFoldersLogged(FolderOf(package));
                std::string glob = ext;
                std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                                  "  <mime-type type=\"" + mime + "\">\n"
                                  "    <comment>" + XmlEscape(kind) + "</comment>\n"
                                  "    <glob pattern=\"*" + XmlEscape(glob) + "\"/>\n" +
                                  iconLine + "  </mime-type>\n</mime-info>\n";
                if (PathAllowed(package, m_folders))
                    WriteFileAtomic(package, xml);
            }
            // The verb's command.
            const std::string command = Read(sec, "Command");
            std::string program, args;
            bool quoted = false;
            if (!command.empty() && command[0] == '"') {
                quoted = true;
                const std::size_t close = command.find('"', 1);
                program = command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
                args = close == std::string::npos ? std::string() : command.substr(close + 1);
            } else {
                const std::size_t sp = command.find_first_of(" \t");
                program = command.substr(0, sp);
                args = sp == std::string::npos ? std::string() : command.substr(sp + 1);
            }
            program = ExpandPathMacros(program, dest, true).value_or(program);
            const std::string stored = quoted ? "\"" + program + "\"" + args : program + " " + args;
            const std::string verbKey = kind + "\\shell\\" + verb + "\\command";
            CreateKeyLogged(SettingsHive::ClassesRoot, verbKey);
            m_store.SetString(SettingsHive::ClassesRoot, verbKey, "", stored);
            // The verb's desktop entry opens files of the kind.
            std::string exec = QuoteExec(program);
            for (const std::string& w : SplitExec(args)) {
                if (w == "%1")
                    exec += " %f";
                else
                    exec += " " + QuoteExec(w);
            }
            if (exec.find(" %f") == std::string::npos)
                exec += " %f";
            const std::string text = "[Desktop Entry]\nType=Application\nName=" + EscapeValue(kind) + "\nExec=" + EscapeValue(exec) +
                                     "\nMimeType=" + mime + ";\nNoDisplay=true\nX-Seamora-Setup=true\n";
            if (PathAllowed(entryFile, m_folders)) {
                MakeFoldersLogged(m_folders.applications);
                WriteFileAtomic(entryFile, text);
            }
            // The default program (an added association when the kind belongs to another program).
            std::string list;
            ReadFileText(m_folders.mimeApps, list);
            const std::string group = shared ? "[Added Associations]" : "[Default Applications]";
            const std::string line = mime + "=" + entryId + ";";
            if (list.find(line) == std::string::npos) {
                std::size_t g = list.find(group);
                if (g == std::string::npos) {
                    if (!list.empty() && list.back() != '\n')
                        list += "\n";
                    list += group + "\n" + line + "\n";
                } else {
                    const std::size_t eol = list.find('\n', g);
                    list.insert(eol == std::string::npos ? list.size() : eol + 1,
                                (eol == std::string::npos ? "\n" : "") + line + "\n");
                }
                MakeFoldersLogged(FolderOf(m_folders.mimeApps));
                WriteFileAtomic(m_folders.mimeApps, list);
            }
            changedDesktop = true;
        } else {
            if (shared) {
                const std::string vk = kind + "\\shell\\" + verb;
                if (KeyLogged(SettingsHive::ClassesRoot, vk))
                    m_store.DeleteKey(SettingsHive::ClassesRoot, vk);
            } else {
                const auto old = m_store.GetString(SettingsHive::ClassesRoot, ext, "Old Name");
                if (old) {
                    m_store.SetString(SettingsHive::ClassesRoot, ext, "", *old);
                    m_store.DeleteValue(SettingsHive::ClassesRoot, ext, "Old Name");
                } else if (ownedBefore) {
                    m_store.DeleteKey(SettingsHive::ClassesRoot, ext);
                }
                if (KeyLogged(SettingsHive::ClassesRoot, kind))
                    m_store.DeleteKey(SettingsHive::ClassesRoot, kind);
                if (PathAllowed(package, m_folders))
                    ::unlink(package.c_str());
                // The icon goes while it is still the installation's picture.
                const std::string themeIcon = KindIconFile(sec, mime);
                std::string bytes, placed;
                const std::string source = ExpandPathMacros(Read(sec, "Icon"), dest, false).value_or("");
                struct stat st {};
                if (!themeIcon.empty() && ::lstat(themeIcon.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                    ReadFileText(themeIcon, placed) && ReadFileText(source, bytes) && placed == bytes)
                    ::unlink(themeIcon.c_str());
            }
            if (PathAllowed(entryFile, m_folders))
                RemoveOurEntry(entryFile);
            // Only this installer's lines leave mimeapps.list.
            std::string list;
            if (ReadFileText(m_folders.mimeApps, list)) {
                const std::string line = mime + "=" + entryId + ";\n";
                std::size_t p;
                bool changed = false;
                while ((p = list.find(line)) != std::string::npos) {
                    list.erase(p, line.size());
                    changed = true;
                    // A group header left without lines by this goes too.
                    const std::size_t head = list.rfind("\n[", p == 0 ? 0 : p - 1);
                    const std::size_t start = head == std::string::npos ? (list.compare(0, 1, "[") == 0 ? 0 : std::string::npos) : head + 1;
                    if (start != std::string::npos) {
                        const std::size_t eol = list.find('\n', start);
                        if (eol != std::string::npos && eol + 1 == p &&
                            (p == list.size() || list[p] == '['))
                            list.erase(start, eol + 1 - start);
                    }
                }
                if (changed) {
                    if (list.find_first_not_of("\n") == std::string::npos)
                        ::unlink(m_folders.mimeApps.c_str());
                    else
                        WriteFileAtomic(m_folders.mimeApps, list);
                }
            }
            changedDesktop = true;
        }
    }
    if (make) {
        if (ReadInt("Check", "Ext") < 2 && changedDesktop)
            Write("Check", "Ext", "2");
    } else if (ReadInt("Check", "Ext") != 0) {
        Write("Check", "Ext", "1");
    }
    if (changedDesktop && make) {
        // The desktop reads file kinds from its caches: they are brought up to date before the
        // installation goes on. Undo waits until the files are gone (RefreshDesktopCaches).
        m_ui.RunAndWait({kMimeTool, m_folders.mime});
        m_ui.RunAndWait({kDesktopTool, m_folders.applications});
    }
    if (changedDesktop && !make)
        m_desktopChanged = true;
}

std::string CSetup::KindIconFile(const std::string& section, const std::string& mime)
{
    const std::string icon = Read(section, "Icon");
    if (icon.empty())
        return std::string();
    const std::string source = ExpandPathMacros(icon, Read("Root", "Named"), false).value_or("");
    int w = 0, h = 0;
    if (source.empty() || !PngSize(source, w, h) || w != h)
        return std::string();
    const std::string file = m_folders.programs + "/icons/hicolor/" + std::to_string(w) + "x" + std::to_string(h) +
                             "/mimetypes/" + IconName(mime) + ".png";
    return PathAllowed(file, m_folders) ? file : std::string();
}

void CSetup::RefreshDesktopCaches()
{
    if (!m_desktopChanged)
        return;
    m_desktopChanged = false;
    std::error_code ec;
    auto onlyHolds = [&](const std::string& folder, const std::vector<std::string>& names) {
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            const std::string n = e.path().filename().string();
            if (std::find(names.begin(), names.end(), n) == names.end())
                return false;
        }
        return true;
    };
    // The file kinds: a database folder the installation made, with no package left in it, holds
    // only what the tool derived from the installation's package.
    const std::string packages = AppendPath(m_folders.mime, "packages");
    const bool noPackages = !fs::exists(packages, ec) || (fs::is_directory(fs::symlink_status(packages, ec)) &&
                                                           fs::is_empty(packages, ec));
    if (CreatedByUs(m_folders.mime) && noPackages && !fs::is_symlink(m_folders.mime, ec)) {
        for (const auto& e : fs::directory_iterator(m_folders.mime, ec))
            if (e.path().filename() != "packages")
                fs::remove_all(e.path(), ec); // links inside are removed, never followed
    } else if (fs::is_directory(m_folders.mime, ec)) {
        m_ui.RunAndWait({kMimeTool, m_folders.mime});
    }
    // The program entries: the same for the desktop tool's cache.
    const std::string cache = AppendPath(m_folders.applications, "mimeinfo.cache");
    if (CreatedByUs(m_folders.applications) && onlyHolds(m_folders.applications, {"mimeinfo.cache"})) {
        ::unlink(cache.c_str());
    } else if (fs::is_directory(m_folders.applications, ec)) {
        m_ui.RunAndWait({kDesktopTool, m_folders.applications});
    }
}

void CSetup::WriteUninstallEntry()
{
    if (ReadInt("Setup", "NoUninstall") != 0)
        return;
    const std::string name = Read("Root", "Name");
    if (name.empty())
        return;
    const std::string key = kUninstallKey + name;
    CreateKeyLogged(SettingsHive::LocalMachine, key);
    const std::string title = Read("Setup", "Name");
    if (!title.empty())
        m_store.SetString(SettingsHive::LocalMachine, key, "DisplayName", title);
    std::string cmd = "\"" + AppendPath(Read("Root", "Named"), "setup") + "\"";
    if (ReadInt("Del", "Auto") != 0)
        cmd += " uninstall";
    m_store.SetString(SettingsHive::LocalMachine, key, "UninstallString", cmd);
}

void CSetup::RemoveRegistryKeys()
{
    const std::string name = Read("Root", "Name");
    if (!name.empty() && name.find_first_of("\\/") == std::string::npos) {
        m_store.DeleteKey(SettingsHive::LocalMachine, kUninstallKey + name);
        DeleteKeyWalkUp(SettingsHive::LocalMachine, "Software\\Uninstall");
    }
    const std::string company = Read("Registry", "Company");
    const std::string product = Read("Registry", "Name");
    if (company.empty() || product.empty() || company.find_first_of("\\/") != std::string::npos ||
        product.find_first_of("\\/") != std::string::npos)
        return;
    for (SettingsHive hive : {SettingsHive::CurrentUser, SettingsHive::LocalMachine}) {
        const std::string ck = "SOFTWARE\\" + company;
        m_store.DeleteKey(hive, ck + "\\" + product);
        if (m_store.KeyExists(hive, ck) && m_store.SubKeys(hive, ck).empty() && m_store.ValueNames(hive, ck).empty())
            m_store.DeleteKey(hive, ck);
    }
}

} // namespace setup

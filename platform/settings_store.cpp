// The file-backed settings store. One text file per hive:
//   line 1        "smra-settings 1"
//   "K" fields    a key, one field per path component (written for every key, so empty keys last)
//   "V" fields    type ("s", "i" or "b"), name, data: a value of the key of the last "K" line
// Fields are separated by tabs; backslash, tab, line feed and carriage return inside a field are
// written as \\, \t, \n and \r. A change is written like a project file (a temporary file beside
// the hive's file, flushed and renamed over it, the file's permissions kept), so a failed write
// leaves the previous file whole. A hive file with lines that do not parse is read as far as it
// goes and kept as "<file>.damaged" before the first change is written over it.
#include "platform/settings_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/file_io.h"

namespace platform {

struct CSettingsStore::Node {
    std::string name;
    std::map<std::string, std::unique_ptr<Node>> children;               // by folded name
    std::map<std::string, std::pair<std::string, SettingsValue>> values; // folded -> (name, value)
};

namespace {

const char* const kHeader = "smra-settings 1";

const char* HiveFileName(SettingsHive hive)
{
    switch (hive) {
    case SettingsHive::CurrentUser: return "current_user.settings";
    case SettingsHive::LocalMachine: return "local_machine.settings";
    case SettingsHive::ClassesRoot: return "classes_root.settings";
    case SettingsHive::Users: return "users.settings";
    case SettingsHive::CurrentConfig: return "current_config.settings";
    case SettingsHive::Count: break;
    }
    return "unknown.settings";
}

std::string Fold(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::vector<std::string> SplitKey(const std::string& key)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : key) {
        if (c == '\\' || c == '/') {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

std::string Escape(const std::string& s)
{
    std::string r;
    r.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\': r += "\\\\"; break;
        case '\t': r += "\\t"; break;
        case '\n': r += "\\n"; break;
        case '\r': r += "\\r"; break;
        default: r.push_back(c);
        }
    }
    return r;
}

bool Unescape(const std::string& s, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out->push_back(s[i]);
            continue;
        }
        if (++i >= s.size())
            return false;
        switch (s[i]) {
        case '\\': out->push_back('\\'); break;
        case 't': out->push_back('\t'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        default: return false;
        }
    }
    return true;
}

bool SplitFields(const std::string& line, std::vector<std::string>* fields)
{
    fields->clear();
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        std::string field;
        if (!Unescape(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start), &field))
            return false;
        fields->push_back(std::move(field));
        if (tab == std::string::npos)
            return true;
        start = tab + 1;
    }
}

const char kHex[] = "0123456789abcdef";

std::string ToHex(const std::vector<uint8_t>& bytes)
{
    std::string r;
    for (uint8_t b : bytes) {
        r.push_back(kHex[b >> 4]);
        r.push_back(kHex[b & 15]);
    }
    return r;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool FromHex(const std::string& s, std::vector<uint8_t>* out)
{
    if (s.size() % 2 != 0)
        return false;
    out->clear();
    for (size_t i = 0; i < s.size(); i += 2) {
        const int hi = HexDigit(s[i]);
        const int lo = HexDigit(s[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out->push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// A whole decimal number, optionally signed, that fits a 32-bit word (as int32 or uint32).
bool ParseInt32Word(const std::string& s, uint32_t* out)
{
    if (s.empty() || s.size() > 12)
        return false;
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size())
        return false;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9')
            return false;
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (v < -2147483648LL || v > 4294967295LL)
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

} // namespace

SettingsValue SettingsValue::String(std::string s)
{
    SettingsValue v;
    v.type = SettingsType::String;
    v.text = std::move(s);
    return v;
}

SettingsValue SettingsValue::Int(int32_t n)
{
    SettingsValue v;
    v.type = SettingsType::Int;
    v.number = static_cast<uint32_t>(n);
    return v;
}

SettingsValue SettingsValue::Binary(std::vector<uint8_t> b)
{
    SettingsValue v;
    v.type = SettingsType::Binary;
    v.bytes = std::move(b);
    return v;
}

namespace {

void WriteNode(std::ostream& os, const CSettingsStore::Node& node, std::vector<std::string>& path)
{
    if (!path.empty()) {
        os << 'K';
        for (const std::string& p : path)
            os << '\t' << Escape(p);
        os << '\n';
    }
    for (const auto& [folded, entry] : node.values) {
        (void)folded;
        const SettingsValue& v = entry.second;
        switch (v.type) {
        case SettingsType::String:
            os << "V\ts\t" << Escape(entry.first) << '\t' << Escape(v.text) << '\n';
            break;
        case SettingsType::Int:
            os << "V\ti\t" << Escape(entry.first) << '\t' << static_cast<int32_t>(v.number) << '\n';
            break;
        case SettingsType::Binary:
            os << "V\tb\t" << Escape(entry.first) << '\t' << ToHex(v.bytes) << '\n';
            break;
        }
    }
    for (const auto& [folded, child] : node.children) {
        (void)folded;
        path.push_back(child->name);
        WriteNode(os, *child, path);
        path.pop_back();
    }
}

} // namespace

std::filesystem::path CSettingsStore::DefaultFolder()
{
    if (const char* dir = std::getenv("SMRA_SETTINGS_DIR"); dir && *dir)
        return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "seamora";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".config" / "seamora";
    return ".seamora-settings";
}

const std::string& CSettingsStore::ProfileKey()
{
    static const std::string key = "Software\\KRV\\Seamora";
    return key;
}

CSettingsStore::CSettingsStore(std::filesystem::path folder) : m_folder(std::move(folder)) {}

CSettingsStore::~CSettingsStore() = default;

std::filesystem::path CSettingsStore::HiveFile(SettingsHive hive) const { return m_folder / HiveFileName(hive); }

void CSettingsStore::Reload()
{
    for (auto& r : m_roots)
        r.reset();
    for (bool& d : m_damaged)
        d = false;
}

CSettingsStore::Node& CSettingsStore::Root(SettingsHive hive)
{
    const int h = static_cast<int>(hive);
    if (m_roots[h])
        return *m_roots[h];
    m_roots[h] = std::make_unique<Node>();
    Node* root = m_roots[h].get();
    std::ifstream in(HiveFile(hive), std::ios::binary);
    if (!in)
        return *root;
    std::string line;
    bool first = true;
    bool damaged = false;
    Node* current = root;
    std::vector<std::string> fields;
    while (std::getline(in, line)) {
        if (first) {
            first = false;
            if (line != kHeader) {
                damaged = true;
                break;
            }
            continue;
        }
        if (line.empty())
            continue;
        if (!SplitFields(line, &fields)) {
            damaged = true;
            continue;
        }
        if (fields[0] == "K" && fields.size() >= 2) {
            Node* n = root;
            bool ok = true;
            for (size_t i = 1; i < fields.size(); ++i) {
                const std::string& part = fields[i];
                if (part.empty() || part.find_first_of("\\/") != std::string::npos) {
                    ok = false;
                    break;
                }
                auto& slot = n->children[Fold(part)];
                if (!slot) {
                    slot = std::make_unique<Node>();
                    slot->name = part;
                }
                n = slot.get();
            }
            if (!ok) {
                damaged = true;
                current = nullptr;
                continue;
            }
            current = n;
        } else if (fields[0] == "V" && fields.size() == 4 && current) {
            SettingsValue v;
            bool ok = true;
            if (fields[1] == "s") {
                v = SettingsValue::String(fields[3]);
            } else if (fields[1] == "i") {
                uint32_t word = 0;
                ok = ParseInt32Word(fields[3], &word);
                v.type = SettingsType::Int;
                v.number = word;
            } else if (fields[1] == "b") {
                v.type = SettingsType::Binary;
                ok = FromHex(fields[3], &v.bytes);
            } else {
                ok = false;
            }
            if (!ok) {
                damaged = true;
                continue;
            }
            current->values[Fold(fields[2])] = {fields[2], std::move(v)};
        } else {
            damaged = true;
        }
    }
    m_damaged[h] = damaged;
    return *root;
}

CSettingsStore::Node* CSettingsStore::FindKey(SettingsHive hive, const std::string& key)
{
    Node* n = &Root(hive);
    for (const std::string& part : SplitKey(key)) {
        auto it = n->children.find(Fold(part));
        if (it == n->children.end())
            return nullptr;
        n = it->second.get();
    }
    return n;
}

bool CSettingsStore::Save(SettingsHive hive)
{
    const int h = static_cast<int>(hive);
    std::error_code ec;
    std::filesystem::create_directories(m_folder, ec);
    const std::filesystem::path file = HiveFile(hive);
    if (m_damaged[h]) {
        std::filesystem::path keep = file;
        keep += ".damaged";
        std::filesystem::rename(file, keep, ec);
        if (ec)
            return false;
        m_damaged[h] = false;
    }
    std::ostringstream out;
    out << kHeader << '\n';
    std::vector<std::string> path;
    WriteNode(out, Root(hive), path);
    const std::string text = out.str();
    const auto* data = reinterpret_cast<const uint8_t*>(text.data());
    return WriteFileAtomically(file.string(), std::span<const uint8_t>(data, text.size())) == FileIoError::None;
}

bool CSettingsStore::KeyExists(SettingsHive hive, const std::string& key) { return FindKey(hive, key) != nullptr; }

bool CSettingsStore::CreateKey(SettingsHive hive, const std::string& key)
{
    Node* n = &Root(hive);
    bool changed = false;
    for (const std::string& part : SplitKey(key)) {
        auto& slot = n->children[Fold(part)];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->name = part;
            changed = true;
        }
        n = slot.get();
    }
    return changed ? Save(hive) : true;
}

bool CSettingsStore::DeleteKey(SettingsHive hive, const std::string& key)
{
    const std::vector<std::string> parts = SplitKey(key);
    if (parts.empty())
        return false;
    Node* parent = &Root(hive);
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = parent->children.find(Fold(parts[i]));
        if (it == parent->children.end())
            return false;
        parent = it->second.get();
    }
    if (parent->children.erase(Fold(parts.back())) == 0)
        return false;
    return Save(hive);
}

namespace {
template <class Map, class Get>
std::vector<std::string> SortedNames(const Map& m, Get get)
{
    // The maps are ordered by the folded name already.
    std::vector<std::string> names;
    for (const auto& entry : m)
        names.push_back(get(entry));
    return names;
}
} // namespace

std::vector<std::string> CSettingsStore::SubKeys(SettingsHive hive, const std::string& key)
{
    Node* n = FindKey(hive, key);
    if (!n)
        return {};
    return SortedNames(n->children, [](const auto& e) { return e.second->name; });
}

std::vector<std::string> CSettingsStore::ValueNames(SettingsHive hive, const std::string& key)
{
    Node* n = FindKey(hive, key);
    if (!n)
        return {};
    return SortedNames(n->values, [](const auto& e) { return e.second.first; });
}

std::optional<SettingsValue> CSettingsStore::GetValue(SettingsHive hive, const std::string& key, const std::string& name)
{
    Node* n = FindKey(hive, key);
    if (!n)
        return std::nullopt;
    auto it = n->values.find(Fold(name));
    if (it == n->values.end())
        return std::nullopt;
    return it->second.second;
}

bool CSettingsStore::SetValue(SettingsHive hive, const std::string& key, const std::string& name,
                              const SettingsValue& value)
{
    Node* n = &Root(hive);
    for (const std::string& part : SplitKey(key)) {
        auto& slot = n->children[Fold(part)];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->name = part;
        }
        n = slot.get();
    }
    auto& entry = n->values[Fold(name)];
    if (entry.first.empty())
        entry.first = name;
    entry.second = value;
    return Save(hive);
}

bool CSettingsStore::DeleteValue(SettingsHive hive, const std::string& key, const std::string& name)
{
    Node* n = FindKey(hive, key);
    if (!n || n->values.erase(Fold(name)) == 0)
        return false;
    return Save(hive);
}

std::optional<std::string> CSettingsStore::GetString(SettingsHive hive, const std::string& key,
                                                     const std::string& name)
{
    const std::optional<SettingsValue> v = GetValue(hive, key, name);
    if (!v)
        return std::nullopt;
    switch (v->type) {
    case SettingsType::String: return v->text;
    case SettingsType::Int: return std::to_string(static_cast<int32_t>(v->number));
    case SettingsType::Binary: return std::string(v->bytes.begin(), v->bytes.end());
    }
    return std::nullopt;
}

std::optional<int32_t> CSettingsStore::GetInt(SettingsHive hive, const std::string& key, const std::string& name)
{
    const std::optional<SettingsValue> v = GetValue(hive, key, name);
    if (!v)
        return std::nullopt;
    if (v->type == SettingsType::Int)
        return static_cast<int32_t>(v->number);
    if (v->type == SettingsType::String) {
        std::string t = v->text;
        const size_t b = t.find_first_not_of(" \t");
        const size_t e = t.find_last_not_of(" \t");
        t = b == std::string::npos ? std::string() : t.substr(b, e - b + 1);
        uint32_t word = 0;
        if (ParseInt32Word(t, &word))
            return static_cast<int32_t>(word);
    }
    return std::nullopt;
}

bool CSettingsStore::SetString(SettingsHive hive, const std::string& key, const std::string& name,
                               const std::string& text)
{
    return SetValue(hive, key, name, SettingsValue::String(text));
}

bool CSettingsStore::SetInt(SettingsHive hive, const std::string& key, const std::string& name, int32_t v)
{
    return SetValue(hive, key, name, SettingsValue::Int(v));
}

int CSettingsStore::GetProfileInt(const std::string& section, const std::string& entry, int dflt)
{
    return GetInt(SettingsHive::CurrentUser, ProfileKey() + "\\" + section, entry).value_or(dflt);
}

std::string CSettingsStore::GetProfileString(const std::string& section, const std::string& entry,
                                             const std::string& dflt)
{
    const std::optional<SettingsValue> v = GetValue(SettingsHive::CurrentUser, ProfileKey() + "\\" + section, entry);
    if (!v || v->type != SettingsType::String)
        return dflt;
    return v->text;
}

bool CSettingsStore::WriteProfileInt(const std::string& section, const std::string& entry, int value)
{
    return SetInt(SettingsHive::CurrentUser, ProfileKey() + "\\" + section, entry, value);
}

bool CSettingsStore::WriteProfileString(const std::string& section, const std::string& entry,
                                        const std::string& value)
{
    return SetString(SettingsHive::CurrentUser, ProfileKey() + "\\" + section, entry, value);
}

namespace {
CSettingsStore* g_store = nullptr;

CSettingsStore& DefaultStore()
{
    static CSettingsStore store(CSettingsStore::DefaultFolder());
    return store;
}
} // namespace

CSettingsStore& Settings() { return g_store ? *g_store : DefaultStore(); }
void SetSettings(CSettingsStore* store) { g_store = store; }

} // namespace platform

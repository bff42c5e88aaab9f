// The settings store: our stand-in for the system registry and the application profile.
// Values live in hives (one file each) under keys that form a tree; every key and value name
// is compared without regard to ASCII letter case and keeps the case it was created with.
// The files sit in the user's config folder ($XDG_CONFIG_HOME/seamora, or ~/.config/seamora);
// the environment variable SMRA_SETTINGS_DIR points the store elsewhere (tests do).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class SettingsHive { CurrentUser, LocalMachine, ClassesRoot, Users, CurrentConfig, Count };

enum class SettingsType { String, Int, Binary };

struct SettingsValue {
    SettingsType type = SettingsType::String;
    std::string text;           // SettingsType::String
    uint32_t number = 0;        // SettingsType::Int (a 32-bit word; read as int32_t by GetInt)
    std::vector<uint8_t> bytes; // SettingsType::Binary

    static SettingsValue String(std::string s);
    static SettingsValue Int(int32_t v);
    static SettingsValue Binary(std::vector<uint8_t> b);
    bool operator==(const SettingsValue&) const = default;
};

// Key paths name one key per component, separated by '\\' or '/'; empty components are
// ignored, so "" and "\\" name the hive's root key. An empty value name is the key's default
// value.
class CSettingsStore {
public:
    // The folder the store uses when none is given: $SMRA_SETTINGS_DIR when set and not empty,
    // else $XDG_CONFIG_HOME/seamora, else $HOME/.config/seamora, else ./.seamora-settings.
    static std::filesystem::path DefaultFolder();
    // The key under which the application profile lives in the current user's hive.
    static const std::string& ProfileKey();

    explicit CSettingsStore(std::filesystem::path folder);
    ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    const std::filesystem::path& Folder() const { return m_folder; }
    // The file that holds a hive.
    std::filesystem::path HiveFile(SettingsHive hive) const;

    bool KeyExists(SettingsHive hive, const std::string& key);
    // Creates every missing key of the path; false when the store could not be written.
    bool CreateKey(SettingsHive hive, const std::string& key);
    // Deletes the key with all its subkeys and values; false when it does not exist, when it
    // is the hive's root, or when the store could not be written.
    bool DeleteKey(SettingsHive hive, const std::string& key);
    // Names of the direct subkeys and of the values of a key, in creation-case, sorted without
    // regard to case; empty when the key does not exist.
    std::vector<std::string> SubKeys(SettingsHive hive, const std::string& key);
    std::vector<std::string> ValueNames(SettingsHive hive, const std::string& key);

    std::optional<SettingsValue> GetValue(SettingsHive hive, const std::string& key, const std::string& name);
    // Creates the key when needed; false when the store could not be written.
    bool SetValue(SettingsHive hive, const std::string& key, const std::string& name, const SettingsValue& value);
    // False when there was no such value or the store could not be written.
    bool DeleteValue(SettingsHive hive, const std::string& key, const std::string& name);

    // Typed reads: nullopt when the value is missing. GetInt also accepts a string value that
    // holds a decimal number (as hand-edited profiles have them).
    std::optional<std::string> GetString(SettingsHive hive, const std::string& key, const std::string& name);
    std::optional<int32_t> GetInt(SettingsHive hive, const std::string& key, const std::string& name);
    bool SetString(SettingsHive hive, const std::string& key, const std::string& name, const std::string& text);
    bool SetInt(SettingsHive hive, const std::string& key, const std::string& name, int32_t v);

    // The application profile: section and entry under ProfileKey() of the current user.
    int GetProfileInt(const std::string& section, const std::string& entry, int dflt);
    std::string GetProfileString(const std::string& section, const std::string& entry, const std::string& dflt);
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value);
    bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value);

    // Forgets what was read, so the next access reads the files again (another process may
    // have changed them).
    void Reload();

    // One key of a hive's tree (defined where the store is implemented).
    struct Node;

private:
    Node& Root(SettingsHive hive);
    Node* FindKey(SettingsHive hive, const std::string& key);
    bool Save(SettingsHive hive);

    std::filesystem::path m_folder;
    std::unique_ptr<Node> m_roots[static_cast<int>(SettingsHive::Count)];
    bool m_damaged[static_cast<int>(SettingsHive::Count)] = {};
};

// The store in use: one on DefaultFolder() unless a test installed another.
CSettingsStore& Settings();
// Installs a store (not owned); nullptr restores the default one.
void SetSettings(CSettingsStore* store);

} // namespace platform

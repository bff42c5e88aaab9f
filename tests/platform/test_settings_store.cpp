// The file-backed settings store: persistence, case-insensitive names, key trees, the
// profile readers, damaged files and write failures.
#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using platform::CSettingsStore;
using platform::SettingsHive;
using platform::SettingsType;
using platform::SettingsValue;

namespace {

fs::path FreshFolder(const std::string& name)
{
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / "settings_store" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST(SettingsStore, ValuesOfEveryTypeSurviveAReopenWithAwkwardTexts)
{
    const fs::path dir = FreshFolder("roundtrip");
    const std::string awkwardName = "[KODAK DC290 Zoom Digital Camera (V01.00)]\t=\\x";
    const std::string awkwardText = "line one\nline\ttwo\r\\end \xC3\xA9";
    {
        CSettingsStore store(dir);
        ASSERT_TRUE(store.SetString(SettingsHive::CurrentUser, "Software\\KRV\\Test", awkwardName, awkwardText));
        ASSERT_TRUE(store.SetInt(SettingsHive::CurrentUser, "Software\\KRV\\Test", "negative", -7));
        ASSERT_TRUE(store.SetValue(SettingsHive::LocalMachine, "A/B", "blob",
                                   SettingsValue::Binary({0x00, 0xFF, 0x10, 0x0A})));
        ASSERT_TRUE(store.SetString(SettingsHive::ClassesRoot, ".fit", "", "SeamoraPlan"));
    }
    CSettingsStore again(dir);
    EXPECT_EQ(again.GetString(SettingsHive::CurrentUser, "software\\krv\\test", awkwardName), awkwardText);
    EXPECT_EQ(again.GetInt(SettingsHive::CurrentUser, "Software\\KRV\\Test", "NEGATIVE"), -7);
    const auto blob = again.GetValue(SettingsHive::LocalMachine, "a\\b", "Blob");
    ASSERT_TRUE(blob.has_value());
    EXPECT_EQ(blob->type, SettingsType::Binary);
    EXPECT_EQ(blob->bytes, (std::vector<uint8_t>{0x00, 0xFF, 0x10, 0x0A}));
    EXPECT_EQ(again.GetString(SettingsHive::ClassesRoot, ".FIT", ""), "SeamoraPlan");
    // Hives are separate.
    EXPECT_FALSE(again.KeyExists(SettingsHive::LocalMachine, "Software\\KRV\\Test"));
    EXPECT_FALSE(again.GetValue(SettingsHive::CurrentUser, "A\\B", "blob").has_value());
}

TEST(SettingsStore, NamesCompareWithoutCaseAndKeepTheirFirstSpelling)
{
    CSettingsStore store(FreshFolder("case"));
    ASSERT_TRUE(store.SetInt(SettingsHive::CurrentUser, "Output", "Quality_Mode", 1));
    ASSERT_TRUE(store.SetInt(SettingsHive::CurrentUser, "OUTPUT", "QUALITY_MODE", 2));
    EXPECT_EQ(store.GetInt(SettingsHive::CurrentUser, "output", "quality_mode"), 2);
    EXPECT_EQ(store.SubKeys(SettingsHive::CurrentUser, ""), std::vector<std::string>{"Output"});
    EXPECT_EQ(store.ValueNames(SettingsHive::CurrentUser, "output"), std::vector<std::string>{"Quality_Mode"});
    // Letter case only: a blank or bracket still makes a different name.
    EXPECT_FALSE(store.GetInt(SettingsHive::CurrentUser, "Output", "Quality_Mode ").has_value());
}

TEST(SettingsStore, KeyTreeCreateEnumerateAndDeleteWithSubkeys)
{
    const fs::path dir = FreshFolder("tree");
    CSettingsStore store(dir);
    ASSERT_TRUE(store.CreateKey(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Product\\Empty"));
    ASSERT_TRUE(store.SetString(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Product", "Path", "/opt/x"));
    ASSERT_TRUE(store.SetString(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Other", "v", "1"));
    EXPECT_EQ(store.SubKeys(SettingsHive::LocalMachine, "software\\company"),
              (std::vector<std::string>{"Other", "Product"}));
    EXPECT_TRUE(store.SubKeys(SettingsHive::LocalMachine, "no\\such\\key").empty());

    // An empty key survives a reopen.
    EXPECT_TRUE(CSettingsStore(dir).KeyExists(SettingsHive::LocalMachine, "software/company/product/empty"));

    EXPECT_TRUE(store.DeleteKey(SettingsHive::LocalMachine, "Software\\Company\\Product"));
    EXPECT_FALSE(store.KeyExists(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Product\\Empty"));
    EXPECT_TRUE(store.KeyExists(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Other"));
    EXPECT_FALSE(store.DeleteKey(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Product"));
    EXPECT_FALSE(store.DeleteKey(SettingsHive::LocalMachine, ""));

    EXPECT_TRUE(store.DeleteValue(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Other", "V"));
    EXPECT_FALSE(store.DeleteValue(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Other", "V"));
    EXPECT_TRUE(store.KeyExists(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Other"));

    CSettingsStore fresh(dir);
    EXPECT_FALSE(fresh.KeyExists(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Product"));
    EXPECT_TRUE(fresh.ValueNames(SettingsHive::LocalMachine, "SOFTWARE\\Company\\Other").empty());
}

TEST(SettingsStore, ProfileReadsWithDefaultsAndNumericStrings)
{
    CSettingsStore store(FreshFolder("profile"));
    EXPECT_EQ(store.GetProfileInt("CFR_DATA", "[E950]", 0), 0);
    EXPECT_EQ(store.GetProfileString("OUTPUT", "NAME", "none"), "none");

    ASSERT_TRUE(store.WriteProfileInt("CFR_DATA", "[E950]", 190));
    EXPECT_EQ(store.GetProfileInt("cfr_data", "[e950]", 0), 190);
    // The profile lives under the program's key of the current user.
    EXPECT_EQ(store.GetInt(SettingsHive::CurrentUser, CSettingsStore::ProfileKey() + "\\CFR_DATA", "[E950]"), 190);

    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {{"212", 212}, {" -15 ", -15}, {"12abc", 99}, {"", 99}, {"99999999999", 99}};
    for (const Case& c : cases) {
        ASSERT_TRUE(store.WriteProfileString("DFCR_DATA", "k", c.text));
        EXPECT_EQ(store.GetProfileInt("DFCR_DATA", "k", 99), c.expected) << '"' << c.text << '"';
    }
    // An int is not a string for the string reader.
    EXPECT_EQ(store.GetProfileString("CFR_DATA", "[E950]", "dflt"), "dflt");
}

TEST(SettingsStore, DamagedFileIsReadAsFarAsItGoesAndKeptBeforeItIsRewritten)
{
    const fs::path dir = FreshFolder("damaged");
    const std::string original =
        "smra-settings 1\n"
        "K\tSoftware\tKRV\tSeamora\tCFR_DATA\n"
        "V\ti\t[E950]\t190\n"
        "V\ti\t[E800]\tnot-a-number\n"
        "garbage line\n"
        "V\ts\tbad escape\t\\q\n"
        "V\ts\tModel\tok\n";
    {
        std::ofstream(dir / "current_user.settings", std::ios::binary) << original;
    }
    CSettingsStore store(dir);
    EXPECT_EQ(store.GetProfileInt("CFR_DATA", "[E950]", 0), 190);
    EXPECT_EQ(store.GetProfileInt("CFR_DATA", "[E800]", 0), 0);
    EXPECT_EQ(store.GetProfileString("CFR_DATA", "Model", ""), "ok");

    ASSERT_TRUE(store.WriteProfileInt("CFR_DATA", "[E700]", 186));
    EXPECT_EQ(ReadFile(dir / "current_user.settings.damaged"), original);
    CSettingsStore again(dir);
    EXPECT_EQ(again.GetProfileInt("CFR_DATA", "[E950]", 0), 190);
    EXPECT_EQ(again.GetProfileInt("CFR_DATA", "[E700]", 0), 186);
}

TEST(SettingsStore, AFileWithoutTheHeaderIsNotTakenForSettings)
{
    const fs::path dir = FreshFolder("foreign");
    {
        std::ofstream(dir / "current_user.settings", std::ios::binary) << "K\tA\nV\ti\tx\t1\n";
    }
    CSettingsStore store(dir);
    EXPECT_FALSE(store.KeyExists(SettingsHive::CurrentUser, "A"));
}

TEST(SettingsStore, UnwritableFolderFailsTheWriteAndKeepsNoHalfFile)
{
    const fs::path dir = FreshFolder("unwritable");
    const fs::path notAFolder = dir / "plain-file";
    {
        std::ofstream(notAFolder) << "x";
    }
    CSettingsStore store(notAFolder);
    EXPECT_FALSE(store.SetInt(SettingsHive::CurrentUser, "K", "v", 1));
    EXPECT_FALSE(store.CreateKey(SettingsHive::CurrentUser, "K2"));
    EXPECT_EQ(ReadFile(notAFolder), "x");
}

TEST(SettingsStore, DefaultFolderFollowsTheEnvironment)
{
    const char* old = std::getenv("SMRA_SETTINGS_DIR");
    const std::string saved = old ? old : "";
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    setenv("SMRA_SETTINGS_DIR", "/tmp/somewhere-else", 1);
    EXPECT_EQ(CSettingsStore::DefaultFolder(), fs::path("/tmp/somewhere-else"));
    setenv("SMRA_SETTINGS_DIR", "", 1);
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(CSettingsStore::DefaultFolder(), fs::path("/tmp/xdg/seamora"));
    if (oldXdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    if (old)
        setenv("SMRA_SETTINGS_DIR", saved.c_str(), 1);
    else
        unsetenv("SMRA_SETTINGS_DIR");
}

TEST(SettingsStore, ProcessWideStoreCanBeSwapped)
{
    CSettingsStore mine(FreshFolder("swap"));
    platform::SetSettings(&mine);
    EXPECT_EQ(&platform::Settings(), &mine);
    platform::SetSettings(nullptr);
    EXPECT_NE(&platform::Settings(), &mine);
}

TEST(SettingsStore, ASaveKeepsTheFilesPermissionsAndIsNotBlockedByAStaleTemporary)
{
    const fs::path dir = FreshFolder("rewrite");
    {
        CSettingsStore store(dir);
        ASSERT_TRUE(store.SetInt(SettingsHive::CurrentUser, "K", "first", 1));
    }
    const fs::path file = dir / "current_user.settings";
    // The user made the file private; something else left a folder where a fixed temporary
    // name would go.
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directory(dir / "current_user.settings.tmp");

    CSettingsStore store(dir);
    ASSERT_TRUE(store.SetInt(SettingsHive::CurrentUser, "K", "second", 2));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    CSettingsStore again(dir);
    EXPECT_EQ(again.GetInt(SettingsHive::CurrentUser, "K", "first"), 1);
    EXPECT_EQ(again.GetInt(SettingsHive::CurrentUser, "K", "second"), 2);
    size_t entries = 0;
    for ([[maybe_unused]] const fs::directory_entry& e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 2u) << "the hive file and the stale folder only; no temporary is left behind";
}

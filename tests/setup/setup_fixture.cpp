// The installer tests' fresh home (see setup_fixture.h).
#include "setup_fixture.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace setuptest {

void SetupTest::SetUp()
{
    std::string tmpl = std::string(SMRA_TEST_TMPDIR) + "/homeXXXXXX";
    fs::create_directories(SMRA_TEST_TMPDIR);
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root = tmpl;
    home = root + "/home";
    fs::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    setenv("SMRA_SETTINGS_DIR", (home + "/.config/seamora").c_str(), 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "C", 1);
    fs::create_directories(root + "/tmp");
    const char* h = std::getenv("HOME");
    if (h == nullptr || std::string(h).rfind(root, 0) != 0) {
        std::fprintf(stderr, "HOME is not the test's own folder; stopping\n");
        std::abort();
    }
    folders = setup::SetupFolders::FromEnvironment();
    store = std::make_unique<platform::CSettingsStore>(home + "/.config/seamora");
    dist = root + "/dist";
}

void SetupTest::TearDown()
{
    store.reset();
    std::error_code ec;
    fs::permissions(dist, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
}

void SetupTest::Put(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string SetupTest::Get(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void SetupTest::MakeDist(const std::string& script, const std::map<std::string, std::string>& files)
{
    Put(dist + "/setup", "#!/bin/sh\n");
    fs::permissions(dist + "/setup", fs::perms::owner_all);
    Put(dist + "/Setup.ini", script);
    for (const auto& [name, text] : files)
        Put(dist + "/" + name, text);
}

std::unique_ptr<setup::CSetup> SetupTest::NewSetup()
{
    auto s = std::make_unique<setup::CSetup>(ui, folders, *store);
    s->freeSpaceHook = [](const std::string&) {
        setup::FreeSpace f;
        f.device = 1;
        f.freeBytes = 1ull << 40;
        f.cluster = 4096;
        f.root = "/";
        return std::optional<setup::FreeSpace>(f);
    };
    return s;
}

int SetupTest::InstallFromDist(FakeUi& fake, const std::function<void(setup::CSetup&)>& adjust)
{
    auto s = std::make_unique<setup::CSetup>(fake, folders, *store);
    return s->Run(dist + "/setup", "", [&](setup::CSetup& c) {
        if (adjust)
            adjust(c);
        return setup::IDOK;
    });
}

int SetupTest::UninstallInstalled(FakeUi& fake, const std::string& dest)
{
    auto s = std::make_unique<setup::CSetup>(fake, folders, *store);
    return s->Run(dest + "/setup", "uninstall");
}

std::map<std::string, std::string> SetupTest::Snapshot()
{
    std::map<std::string, std::string> snap;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(home, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string p = it->path().string();
        if (p.find("/.local/share/Trash") != std::string::npos) {
            it.disable_recursion_pending();
            continue;
        }
        if (p.find("/.config/seamora") != std::string::npos)
            continue; // compared as values below
        snap[p] = it->is_directory() ? std::string("<dir>") : Get(p);
    }
    store->Reload();
    using platform::SettingsHive;
    std::function<void(SettingsHive, const std::string&)> walk = [&](SettingsHive h, const std::string& key) {
        snap["settings:" + std::to_string(static_cast<int>(h)) + ":" + key] = "<key>";
        for (const std::string& v : store->ValueNames(h, key)) {
            const auto val = store->GetValue(h, key, v);
            snap["settings:" + std::to_string(static_cast<int>(h)) + ":" + key + ":" + v] = val ? val->text + std::to_string(val->number) : "";
        }
        for (const std::string& k : store->SubKeys(h, key))
            walk(h, key.empty() ? k : key + "\\" + k);
    };
    for (SettingsHive h : {SettingsHive::CurrentUser, SettingsHive::LocalMachine, SettingsHive::ClassesRoot})
        for (const std::string& k : store->SubKeys(h, ""))
            walk(h, k);
    return snap;
}

} // namespace setuptest

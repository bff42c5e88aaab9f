// What the installer must never do, whatever its script or its log says: register an
// installation that failed, or change or remove a file it did not place. Every case compares
// the whole temporary home before and after.
#include "setup_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace setuptest {
namespace {

using platform::SettingsHive;

const char* const kScript =
    "[Setup]\nName=Seamora\n"
    "[Root]\nName=%programs%\\Seamora\n"
    "[Check]\nMenu=2\nDesktop=2\nExt=2\nStartup=0\nCopy=0\nDel=0\n"
    "[CopyFile]\n0=Smra_En\n1=res\\icon.png\n"
    "[Menu]\nName=Seamora\n"
    "[Menu0]\nName=Seamora\nPath=Smra_En\n"
    "[Desktop]\nName=Seamora\nPath=Smra_En\n"
    "[Ext0]\nExt=.fit\nKind=SeamoraPlan\nVerb=open\nCommand=\"\"Smra_En\" \"%1\"\"\n"
    "[Del]\nShowError=1\n";

const std::map<std::string, std::string> kFiles = {{"Smra_En", "program"}, {"res/icon.png", "icon"}};

class SafetyTest : public SetupTest {
protected:
    std::string Dest() const { return folders.programs + "/Seamora"; }
    // Runs the installer once with OK (then Cancel, should it wait for another folder).
    void InstallOnce(const std::function<void(setup::CSetup&)>& adjust)
    {
        auto s = NewSetup();
        int calls = 0;
        s->Run(dist + "/setup", "", [&](setup::CSetup& c) {
            if (calls++ > 0)
                return setup::IDCANCEL;
            if (adjust)
                adjust(c);
            return setup::IDOK;
        });
    }
};

TEST_F(SafetyTest, AFailedInstallRegistersNothing)
{
    struct Case {
        const char* what;
        std::function<std::string()> prepare; // returns the destination to type ("" keeps the script's)
        const char* script;
        const char* message; // the start of the last message shown
        bool needsNonRoot = false;
    };
    const std::vector<Case> cases = {
        {"no [Root] section", [] { return std::string(); },
         nullptr, "This setup script names no folder to install to.", false},
        {"destination below a file", [this] { Put(home + "/blocker", "x"); return home + "/blocker/App"; },
         kScript, "Could not place the files in\n", false},
        {"destination outside home", [this] { return root + "/outside/App"; },
         kScript, "Cannot install into this folder:\n", false},
        {"destination through a link out of home",
         [this] {
             fs::create_directories(root + "/outside");
             fs::create_directory_symlink(root + "/outside", home + "/link");
             return home + "/link/App";
         },
         kScript, "Cannot install into this folder:\n", false},
        {"destination too long", [this] { return home + "/" + std::string(300, 'd'); },
         kScript, "Cannot install into this folder:\n", false},
        {"the uninstaller's place holds a user's file",
         [this] { Put(home + "/App/setup", "mine"); return home + "/App"; },
         kScript, "Could not place the files in\n", false},
        {"no file can be copied", [] { return std::string(); },
         "[Setup]\nName=Seamora\n[Root]\nName=App\n[Check]\nDesktop=2\n[Desktop]\nName=Seamora\nPath=Smra_En\n"
         "[CopyFile]\n0=missing.bin\n",
         "Could not place the files in\n", false},
        {"script text that is not UTF-8", [] { return std::string(); },
         "[Setup]\nName=Seamora\n[Root]\nName=App\n[Check]\nDesktop=2\n[Desktop]\nName=Sea\xff\xfemora\nPath=Smra_En\n"
         "[CopyFile]\n0=Smra_En\n",
         "This setup script is not UTF-8 text.", false},
        {"read-only destination",
         [this] {
             fs::create_directories(home + "/ro");
             fs::permissions(home + "/ro", fs::perms::owner_read | fs::perms::owner_exec);
             return home + "/ro/App";
         },
         kScript, "Could not place the files in\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsNonRoot && ::geteuid() == 0)
            continue; // permissions do not bind the superuser
        fs::remove_all(home);
        fs::remove_all(dist);
        fs::create_directories(home);
        store->Reload();
        if (c.script == nullptr)
            MakeDist("[Setup]\nName=Seamora\n[CopyFile]\n0=Smra_En\n[Desktop]\nName=Seamora\nPath=Smra_En\n"
                     "[Check]\nDesktop=2\n", kFiles);
        else
            MakeDist(c.script, std::string(c.script).find("res\\icon") != std::string::npos
                                   ? kFiles
                                   : std::map<std::string, std::string>{{"Smra_En", "program"}});
        const std::string dest = c.prepare();
        const auto before = Snapshot();
        ui = FakeUi();
        InstallOnce([&](setup::CSetup& s) {
            if (!dest.empty())
                s.Dialog()[setup::kDestination].text = dest;
        });
        ASSERT_FALSE(ui.boxes.empty());
        EXPECT_EQ(ui.boxes.back().text.rfind(c.message, 0), 0u) << ui.boxes.back().text;
        EXPECT_EQ(Snapshot(), before);
        EXPECT_FALSE(fs::exists(root + "/outside/App"));
        store->Reload();
        EXPECT_FALSE(store->KeyExists(SettingsHive::LocalMachine, "Software\\Uninstall\\Seamora"));
        EXPECT_FALSE(store->KeyExists(SettingsHive::LocalMachine, "Software\\Uninstall\\App"));
        std::error_code ec;
        fs::permissions(home + "/ro", fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

// [Del] Force makes a file writable before it goes, but only a file the uninstaller removes: a
// logged path outside home or a logged link keeps its target's mode.
TEST_F(SafetyTest, ForceChangesNoModeOfAFileItDoesNotRemove)
{
    MakeDist(kScript, kFiles);
    InstallOnce(nullptr);
    ASSERT_TRUE(fs::exists(Dest() + "/Smra_En"));
    const std::string secret = root + "/outside/secret.txt";
    const std::string notes = home + "/Documents/notes.txt";
    for (const std::string& f : {secret, notes}) {
        Put(f, "private");
        fs::permissions(f, fs::perms::owner_read);
    }
    fs::create_symlink(secret, Dest() + "/link.txt");
    fs::create_symlink(notes, Dest() + "/homelink.txt");
    setup::CIniCache ini;
    const std::string script = Dest() + "/Setup.ini";
    const int n = ini.ReadIniInt("CopiedFile", "Count", 0, script);
    const std::vector<std::string> planted = {secret, Dest() + "/link.txt", Dest() + "/homelink.txt"};
    for (std::size_t i = 0; i < planted.size(); ++i)
        ini.WriteIniString("CopiedFile", std::to_string(n + static_cast<int>(i)), planted[i], script);
    ini.WriteIniString("CopiedFile", "Count", std::to_string(n + static_cast<int>(planted.size())), script);
    ini.WriteIniString("Del", "Force", "1", script);
    FakeUi ui2;
    ASSERT_EQ(UninstallInstalled(ui2, Dest()), 0);
    for (const std::string& f : {secret, notes}) {
        EXPECT_EQ(Get(f), "private") << f;
        EXPECT_EQ(fs::status(f).permissions() & fs::perms::all, fs::perms::owner_read) << f;
    }
    EXPECT_FALSE(fs::exists(Dest() + "/Smra_En"));
}

// A log edited after the installation: the uninstaller removes what the installation placed,
// unchanged, and nothing else, and changes nothing it does not remove. The whole home is listed
// before the installation and after the uninstall.
TEST_F(SafetyTest, ATamperedLogRemovesNothingElse)
{
    struct Case {
        const char* what;
        // section/key=value written into the installed log; key "+" appends to a counted list.
        std::vector<std::pair<std::string, std::string>> edits;
        bool userChangesAFile = false;
    };
    const std::vector<Case> cases = {
        {"a logged user's file", {{"CopiedFile/+", "{home}/Documents/notes.txt"}}},
        {"a logged user's file and the folder logged as made",
         {{"MakedDirectory/+", "{home}/Documents"}, {"CopiedFile/+", "{home}/Documents/notes.txt"}}},
        {"an empty user's folder logged as made", {{"MakedDirectory/+", "{home}/Music"}}},
        {"the destination renamed to a folder holding a file called setup", {{"Root/Named", "{home}/bin"}}},
        {"a wildcard over a user's folder logged as made",
         {{"MakedDirectory/+", "{home}/Documents"}, {"Del/0", "!{home}/Documents/*.jpg"}}},
        {"a folder to remove that is the user's", {{"MakedDirectory/+", "{home}/Music"}, {"DirRemove/1", "!{home}/Music"}}},
        {"a command deleting a user's file",
         {{"MakedDirectory/+", "{home}/Documents"}, {"Go2/Erase0", "delfile;;!{home}/Documents/draft.txt"}}},
        {"a logged file outside home, with Force", {{"CopiedFile/+", "{out}/secret.txt"}, {"Del/Force", "1"}}},
        {"a logged link in the installation to a user's file, with Force",
         {{"CopiedFile/+", "{dest}/homelink.txt"}, {"Del/Force", "1"}}},
        {"a logged file of the installation that the user changed since", {}, true},
        {"leftovers scheduled for the next start",
         {{"CopiedFile/+", "{home}/Documents/notes.txt"}, {"MakedDirectory/+", "{home}/Documents"}, {"Del/Reboot", "1"}}},
    };
    auto fill = [&](std::string v) {
        const std::vector<std::pair<std::string, std::string>> words = {
            {"{home}", home}, {"{out}", root + "/outside"}, {"{dest}", Dest()}};
        for (const auto& [word, value] : words)
            for (std::size_t p; (p = v.find(word)) != std::string::npos;)
                v.replace(p, word.size(), value);
        return v;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(home);
        fs::remove_all(dist);
        fs::remove_all(root + "/outside");
        fs::create_directories(home);
        store->Reload();
        MakeDist(kScript, kFiles);
        // The user's files, some private.
        Put(root + "/outside/secret.txt", "secret");
        fs::permissions(root + "/outside/secret.txt", fs::perms::owner_read);
        Put(home + "/Documents/notes.txt", "notes");
        fs::permissions(home + "/Documents/notes.txt", fs::perms::owner_read);
        Put(home + "/Documents/photo.jpg", "photo");
        Put(home + "/Documents/draft.txt", "draft");
        Put(home + "/bin/setup", "my own setup");
        fs::create_directories(home + "/Music");
        const auto before = Snapshot();

        ui = FakeUi();
        InstallOnce(nullptr);
        ASSERT_TRUE(fs::exists(Dest() + "/Smra_En"));
        fs::create_symlink(home + "/Documents/notes.txt", Dest() + "/homelink.txt");
        if (c.userChangesAFile)
            Put(Dest() + "/res/icon.png", "my own icon");
        setup::CIniCache ini;
        const std::string script = Dest() + "/Setup.ini";
        for (const auto& [where, value] : c.edits) {
            const std::string sec = where.substr(0, where.find('/'));
            std::string key = where.substr(where.find('/') + 1);
            if (key == "+") {
                const int n = ini.ReadIniInt(sec, "Count", 0, script);
                key = std::to_string(n);
                ini.WriteIniString(sec, "Count", std::to_string(n + 1), script);
            }
            ini.WriteIniString(sec, key, fill(value), script);
        }
        FakeUi ui2;
        ui2.answers = {setup::IDOK, setup::IDYES}; // the leftovers, then yes to the restart
        ASSERT_EQ(UninstallInstalled(ui2, Dest()), 0);
        EXPECT_FALSE(fs::exists(Dest() + "/Smra_En"));
        EXPECT_EQ(Get(root + "/outside/secret.txt"), "secret");
        for (const std::string& f : {root + "/outside/secret.txt", home + "/Documents/notes.txt"})
            EXPECT_EQ(fs::status(f).permissions() & fs::perms::all, fs::perms::owner_read) << f;
        if (c.userChangesAFile) {
            EXPECT_EQ(Get(Dest() + "/res/icon.png"), "my own icon");
        }
        // The home as it was, but for the installation's folder that keeps the user's own files.
        auto after = Snapshot();
        for (auto it = after.begin(); it != after.end();) {
            const bool kept = it->first.rfind(Dest(), 0) == 0 || (Dest().rfind(it->first + "/", 0) == 0);
            it = kept ? after.erase(it) : std::next(it);
        }
        EXPECT_EQ(after, before);
    }
}

// A version-up replaces an earlier file only when the earlier installation placed it and it is
// unchanged: a user's file that an edited log names stays, and so does the earlier installation.
TEST_F(SafetyTest, AVersionUpReplacesOnlyWhatTheRecordConfirms)
{
    MakeDist(kScript, kFiles);
    InstallOnce(nullptr);
    ASSERT_TRUE(fs::exists(Dest() + "/Smra_En"));
    Put(Dest() + "/mine.txt", "mine");
    setup::CIniCache ini;
    const std::string script = Dest() + "/Setup.ini";
    const int n = ini.ReadIniInt("CopiedFile", "Count", 0, script);
    ini.WriteIniString("CopiedFile", std::to_string(n), Dest() + "/mine.txt", script);
    ini.WriteIniString("CopiedFile", "Count", std::to_string(n + 1), script);
    fs::remove_all(dist);
    std::string next = kScript;
    next.insert(next.find("1=res\\icon.png\n") + 15, "2=mine.txt\n");
    MakeDist(next, {{"Smra_En", "program v2"}, {"res/icon.png", "icon"}, {"mine.txt", "theirs"}});
    const auto before = Snapshot();
    ui = FakeUi();
    InstallOnce(nullptr);
    EXPECT_EQ(Get(Dest() + "/mine.txt"), "mine");
    EXPECT_EQ(Snapshot(), before) << "the failed version-up keeps the earlier installation whole";
    ASSERT_EQ(ui.errorLists.size(), 1u);
    EXPECT_NE(ui.errorLists[0].find(Dest() + "/mine.txt"), std::string::npos);
}

// A script that reaches for the user's files: each line alone is installed and uninstalled, and
// the whole home is listed before and after.
TEST_F(SafetyTest, AHostileScriptTouchesNothingOfTheUsers)
{
    const std::vector<std::pair<const char*, std::string>> lines = {
        {"a file copied over a user's file", "[CopyFile]\n2=%windrive%\\Documents\\notes.txt\n"},
        {"an unlogged copy over a user's file", "[CopyFile]\n2=!%windrive%\\Documents\\notes.txt\n"},
        {"a copy out through a parent folder", "[CopyFile]\n2=..\\..\\..\\Documents\\notes.txt\n"},
        {"a folder made where the user has one", "[MakeDirectory]\n1=%windrive%\\Music\n[DirRemove]\n1=!%windrive%\\Music\n"},
        {"a menu entry out of the menus", "[Menu1]\nName=\\..\\..\\..\\Documents\\notes\nPath=Smra_En\n"},
        {"a command deleting a user's file after install", "[Go2]\nMake0=delfile;;!%windrive%\\Documents\\draft.txt\n"},
        {"a command deleting a user's file at uninstall", "[Go2]\nErase0=delfile;;!%windrive%\\Documents\\draft.txt\n"},
        {"a wildcard over the user's pictures", "[Del]\n0=!%windrive%\\Documents\\*.jpg\nForce=1\n"},
    };
    for (const auto& [what, extra] : lines) {
        SCOPED_TRACE(what);
        fs::remove_all(home);
        fs::remove_all(dist);
        fs::create_directories(home);
        store->Reload();
        std::string script = kScript;
        // Sections given again are merged by hand: the first of two sections of a name wins.
        const std::string sec = extra.substr(0, extra.find('\n') + 1);
        const std::size_t at = script.find(sec);
        if (at != std::string::npos)
            script.insert(at + sec.size(), extra.substr(sec.size()));
        else
            script += extra;
        MakeDist(script, kFiles);
        Put(home + "/Documents/notes.txt", "notes");
        Put(home + "/Documents/photo.jpg", "photo");
        Put(home + "/Documents/draft.txt", "draft");
        fs::create_directories(home + "/Music");
        fs::create_directories(folders.trash);
        const auto before = Snapshot();
        ui = FakeUi();
        InstallOnce(nullptr);
        EXPECT_EQ(Get(home + "/Documents/notes.txt"), "notes");
        EXPECT_EQ(Get(home + "/Documents/draft.txt"), "draft");
        FakeUi ui2;
        UninstallInstalled(ui2, Dest());
        EXPECT_EQ(Snapshot(), before);
    }
}

TEST_F(SafetyTest, WithoutItsRecordTheInstallationStaysWhole)
{
    MakeDist(kScript, kFiles);
    InstallOnce(nullptr);
    ASSERT_TRUE(fs::exists(Dest() + "/Smra_En"));
    for (const auto& e : fs::directory_iterator(folders.state))
        if (e.path().filename().string().rfind("install-", 0) == 0)
            fs::remove(e.path());
    const auto before = Snapshot();
    FakeUi ui2;
    ASSERT_EQ(UninstallInstalled(ui2, Dest()), 0);
    ASSERT_EQ(ui2.boxes.size(), 1u);
    EXPECT_EQ(ui2.boxes[0].text.rfind("The record of this installation was not found:\n", 0), 0u) << ui2.boxes[0].text;
    EXPECT_EQ(Snapshot(), before);
}

} // namespace
} // namespace setuptest

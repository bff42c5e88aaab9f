// Installing and uninstalling in a temporary home: whole runs, the copy engine's flags and
// failures, the desktop integration, and what uninstall takes back.
#include "setup_fixture.h"

#include <chrono>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <utime.h>

extern char** environ;

namespace setuptest {
namespace {

using platform::SettingsHive;

const char* const kScript =
    "[Setup]\nName=Seamora\n"
    "[Root]\nName=%programs%\\Seamora\n"
    "[Check]\nMenu=2\nDesktop=2\nExt=2\nStartup=0\nCopy=0\nDel=0\n"
    "[CopyFile]\n0=Smra_En\n1=res\\icon.png\n2=&readme.txt\n"
    "[Menu]\nName=Seamora\n"
    "[Menu0]\nName=Seamora\nPath=Smra_En\n"
    "[Desktop]\nName=Seamora\nPath=Smra_En\n"
    "[Ext0]\nExt=.fit\nKind=Seamora.Project\nVerb=open\nCommand=\"\"Smra_En\" \"%1\"\"\n"
    "[Del]\nShowError=1\n"
    "[Registry]\nCompany=Seamora\nName=Seamora\n";

const std::map<std::string, std::string> kFiles = {
    {"Smra_En", "program v1"}, {"res/icon.png", "icon"}, {"readme.txt", "read me"}};

void SetTime(const std::string& path, time_t t)
{
    struct utimbuf u {t, t};
    ::utime(path.c_str(), &u);
}

class InstallTest : public SetupTest {
protected:
    std::string Dest() const { return folders.programs + "/Seamora"; }
    std::string DestScript() const { return Dest() + "/Setup.ini"; }
    std::string ReadDest(const std::string& sec, const std::string& key)
    {
        setup::CIniCache ini;
        return ini.ReadIniString(sec, key, "", DestScript());
    }
    void Decoys()
    {
        Put(folders.programs + "/notes.txt", "mine");
        Put(folders.desktop + "/mine.desktop", "[Desktop Entry]\nName=Mine\n");
        Put(folders.mimeApps, "[Default Applications]\ntext/plain=editor.desktop;\n");
        store->SetString(SettingsHive::CurrentUser, "Software\\Other", "x", "keep");
        store->SetString(SettingsHive::ClassesRoot, ".txt", "", "txtfile");
    }
};

TEST_F(InstallTest, InstallThenUninstallLeavesTheHomeAsItWas)
{
    MakeDist(kScript, kFiles);
    Decoys();
    const auto before = Snapshot();

    ASSERT_EQ(InstallFromDist(ui), 0);
    EXPECT_EQ(Get(Dest() + "/Smra_En"), "program v1");
    EXPECT_EQ(Get(Dest() + "/res/icon.png"), "icon");
    EXPECT_TRUE(fs::exists(Dest() + "/setup"));
    EXPECT_EQ(ReadDest("CopiedFile", "Count"), "3");
    const std::string menuEntry = Get(folders.applications + "/Seamora/Seamora.desktop");
    EXPECT_NE(menuEntry.find("Exec=\"" + Dest() + "/Smra_En\""), std::string::npos) << menuEntry;
    EXPECT_NE(menuEntry.find("Path=" + Dest()), std::string::npos);
    EXPECT_TRUE(fs::exists(folders.desktop + "/Seamora.desktop"));
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, ".fit", "").value_or(""), "Seamora.Project");
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, "Seamora.Project\\shell\\open\\command", "").value_or(""),
              "\"" + Dest() + "/Smra_En\" \"%1\"");
    const std::string mimeApps = Get(folders.mimeApps);
    EXPECT_NE(mimeApps.find("text/plain=editor.desktop;"), std::string::npos);
    EXPECT_NE(mimeApps.find("application/x-seamora-project=seamora-seamora-project-open.desktop;"), std::string::npos);
    EXPECT_NE(Get(folders.applications + "/seamora-seamora-project-open.desktop").find("MimeType=application/x-seamora-project;"),
              std::string::npos);
    EXPECT_NE(Get(folders.mime + "/packages/seamora-seamora-project.xml").find("pattern=\"*.fit\""), std::string::npos);
    EXPECT_EQ(store->GetString(SettingsHive::LocalMachine, "Software\\Uninstall\\Seamora", "UninstallString").value_or(""),
              "\"" + Dest() + "/setup\"");
    EXPECT_EQ(Get(dist + "/Setup.ini"), kScript) << "the distribution stays untouched";
    EXPECT_TRUE(ui.started.empty()) << "[Menu] Open is not set";

    FakeUi ui2;
    ASSERT_EQ(UninstallInstalled(ui2, Dest()), 0);
    EXPECT_TRUE(ui2.boxes.empty()) << ui2.boxes.front().text;
    EXPECT_EQ(Snapshot(), before);
    EXPECT_FALSE(fs::exists(Dest()));
}

TEST_F(InstallTest, CancelChangesNothing)
{
    MakeDist(kScript, kFiles);
    Decoys();
    const auto before = Snapshot();
    auto s = NewSetup();
    EXPECT_EQ(s->Run(dist + "/setup", "", [](setup::CSetup&) { return setup::IDCANCEL; }), 0);
    s.reset();
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(InstallTest, VersionUpMergesLogsAndOneUninstallRemovesBoth)
{
    MakeDist(kScript, kFiles);
    Put(dist + "/old.dat", "old");
    Decoys();
    Put(dist + "/Setup.ini", std::string(kScript).replace(std::string(kScript).find("2=&readme.txt"), 13, "2=old.dat"));
    const auto before = Snapshot();
    ASSERT_EQ(InstallFromDist(ui), 0);
    ASSERT_TRUE(fs::exists(Dest() + "/old.dat"));

    // The second version: a newer program and a new file, and no old.dat.
    fs::remove_all(dist);
    MakeDist(kScript, {{"Smra_En", "program v2"}, {"res/icon.png", "icon"}, {"readme.txt", "r"}, {"new.dat", "n"}});
    Put(dist + "/Setup.ini", std::string(kScript).replace(std::string(kScript).find("2=&readme.txt"), 13, "2=new.dat"));
    SetTime(dist + "/Smra_En", time(nullptr) + 100);
    FakeUi ui2;
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    EXPECT_TRUE(s->Dialog().destinationReadOnly);
    EXPECT_EQ(s->Destination(), Dest());
    EXPECT_EQ(s->Dialog()[setup::kLabel].text, "&Folder to version up");
    ASSERT_EQ(s->Ok(), setup::RunResult::Ended);
    s->EndRun();
    s.reset();
    EXPECT_EQ(Get(Dest() + "/Smra_En"), "program v2");
    EXPECT_EQ(Get(Dest() + "/new.dat"), "n");
    EXPECT_EQ(ReadDest("CopiedFile", "Count"), "4");

    FakeUi ui3;
    ASSERT_EQ(UninstallInstalled(ui3, Dest()), 0);
    EXPECT_FALSE(fs::exists(Dest()));
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(InstallTest, AUsersFileInACreatedFolderStaysAndIsListed)
{
    std::string script = kScript;
    script += "[DirRemove]\n1=res\n";
    MakeDist(script, kFiles);
    ASSERT_EQ(InstallFromDist(ui), 0);
    Put(Dest() + "/res/mine.txt", "mine");
    Put(Dest() + "/mine2.txt", "mine too");
    FakeUi ui2;
    ASSERT_EQ(UninstallInstalled(ui2, Dest()), 0);
    EXPECT_EQ(Get(Dest() + "/res/mine.txt"), "mine");
    EXPECT_EQ(Get(Dest() + "/mine2.txt"), "mine too");
    EXPECT_FALSE(fs::exists(Dest() + "/Smra_En"));
    EXPECT_FALSE(fs::exists(Dest() + "/res/icon.png"));
    ASSERT_EQ(ui2.boxes.size(), 1u);
    EXPECT_EQ(ui2.boxes[0].title, "Delete files and folders");
    EXPECT_EQ(ui2.boxes[0].text, "Could not delete these...\n\n" + Dest() + "/res\n" + Dest() + "/res\n" + Dest() + "\n");
    // The program goes; its folder stays for the user's files.
    EXPECT_FALSE(fs::exists(Dest() + "/setup"));
}

TEST_F(InstallTest, LeftoversWaitForTheNextStartWithDelReboot)
{
    std::string script = kScript;
    script.replace(script.find("ShowError=1"), 11, "ShowError=0\nReboot=1");
    MakeDist(script, kFiles);
    ASSERT_EQ(InstallFromDist(ui), 0);
    Put(Dest() + "/res/mine.txt", "mine");
    FakeUi ui2;
    ui2.answers = {setup::IDOK, setup::IDNO};
    ASSERT_EQ(UninstallInstalled(ui2, Dest()), 0);
    ASSERT_EQ(ui2.boxes.size(), 2u);
    EXPECT_EQ(ui2.boxes[0].text.rfind("These will delete after reboot.\n\n", 0), 0u);
    EXPECT_EQ(ui2.boxes[1].text, "Some files will delete\nafter reboot.\n\nReboot now?");
    const std::string pending = Get(folders.state + "/pending");
    EXPECT_NE(pending.find("D\t" + Dest() + "/res\n"), std::string::npos) << pending;
    // The user's file itself is never scheduled: only what the logs name.
    EXPECT_EQ(pending.find("mine.txt"), std::string::npos);
    // The uninstaller and its script stay for now and go at that start too.
    EXPECT_TRUE(fs::exists(Dest() + "/setup"));
    EXPECT_TRUE(fs::exists(Dest() + "/Setup.ini"));
    EXPECT_NE(pending.find("D\t" + Dest() + "/setup\n"), std::string::npos) << pending;
    EXPECT_NE(pending.find("D\t" + Dest() + "/Setup.ini\n"), std::string::npos) << pending;
    EXPECT_LT(pending.find("D\t" + Dest() + "/setup\n"), pending.find("D\t" + Dest() + "\n"));
}

TEST_F(InstallTest, AVersionUpsMenuBrowserStartsAtTheEarlierMenuFolder)
{
    MakeDist(kScript, kFiles);
    const std::string menus = folders.applications + "/Tools";
    fs::create_directories(menus);
    ASSERT_EQ(InstallFromDist(ui, [&](setup::CSetup& s) { s.ChooseMenuFolder(menus); }), 0);
    ASSERT_TRUE(fs::exists(menus + "/Seamora/Seamora.desktop"));
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    ASSERT_TRUE(s->Dialog().destinationReadOnly) << "a version-up";
    EXPECT_EQ(s->MenuBrowseStart(), menus + "/Seamora");
    // A fresh installation starts at the menu entries' folder.
    auto s2 = NewSetup();
    ASSERT_EQ(s2->Prepare(dist + "/setup", ""), 0);
    EXPECT_EQ(s2->MenuBrowseStart(), folders.applications);
}

TEST_F(InstallTest, FailedCopyInAVersionUpKeepsTheEarlierInstallation)
{
    MakeDist(kScript, kFiles);
    ASSERT_EQ(InstallFromDist(ui), 0);
    fs::remove_all(dist);
    MakeDist(kScript, {{"Smra_En", "program v2"}, {"res/icon.png", "icon v2"}, {"readme.txt", "r"}});
    SetTime(dist + "/Smra_En", time(nullptr) + 100);
    SetTime(dist + "/res/icon.png", time(nullptr) + 100);
    const auto before = Snapshot();
    FakeUi ui2;
    auto s = NewSetup();
    s->inUse.insert(Dest() + "/res/icon.png");
    ASSERT_EQ(s->Run(dist + "/setup", "", [](setup::CSetup&) { return setup::IDOK; }), 0);
    s.reset();
    EXPECT_EQ(Snapshot(), before);
    ASSERT_EQ(ui2.boxes.size(), 0u);
}

TEST_F(InstallTest, RunningOutOfMemoryWhileCopyingStopsAndKeepsTheEarlierInstallation)
{
    MakeDist(kScript, kFiles);
    ASSERT_EQ(InstallFromDist(ui), 0);
    fs::remove_all(dist);
    MakeDist(std::string(kScript) + "3=sub\\new.txt\n",
             {{"Smra_En", "program v2"}, {"res/icon.png", "icon v2"}, {"readme.txt", "r"}, {"sub/new.txt", "n"}});
    SetTime(dist + "/Smra_En", time(nullptr) + 100);
    SetTime(dist + "/res/icon.png", time(nullptr) + 100);
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    ui.boxes.clear();
    ui.changes = 0;
    ui.outOfMemoryAtChange = 2; // after the first file is staged
    EXPECT_EQ(s->CopyFiles(), 0);
    EXPECT_EQ(Get(Dest() + "/Smra_En"), "program v1");
    EXPECT_EQ(Get(Dest() + "/res/icon.png"), "icon");
    EXPECT_FALSE(fs::exists(Dest() + "/sub"));
    for (const auto& e : fs::recursive_directory_iterator(Dest()))
        EXPECT_EQ(e.path().filename().string().find(".stu"), std::string::npos) << "no stage file left: " << e.path();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Could not keep memory.");
    EXPECT_EQ(ui.boxes[0].title, "Copy files");
}

TEST_F(InstallTest, CopyFlagsOverAnEarlierInstallation)
{
    const std::string script =
        "[Root]\nName=App\n[CopyFile]\n"
        "0=!&newer.txt\n"      // target newer: skipped quietly, not logged
        "1=|update.txt\n"      // target missing: not copied
        "2=?same.txt\n"        // target as new: overwritten without asking
        "3=ask.txt\n"          // target as new: asked, answered No
        "4=%del%gone.txt\n"    // not copied
        "5=sub\\new.txt\n";   // a new folder with it
    const std::string dest = home + "/App";
    // The earlier installation placed three files, one of them dated later.
    const time_t t = time(nullptr);
    MakeDist("[Root]\nName=App\n[CopyFile]\n0=newer.txt\n1=same.txt\n2=ask.txt\n",
             {{"newer.txt", "old"}, {"same.txt", "old"}, {"ask.txt", "old"}});
    for (const char* f : {"newer.txt", "same.txt", "ask.txt"})
        SetTime(dist + "/" + f, std::string(f) == "newer.txt" ? t + 50 : t);
    ASSERT_EQ(InstallFromDist(ui), 0);
    fs::remove_all(dist);
    MakeDist(script, {{"newer.txt", "new"}, {"update.txt", "u"}, {"same.txt", "s2"}, {"ask.txt", "a2"},
                      {"gone.txt", "g"}, {"sub/new.txt", "n"}});
    for (const char* f : {"newer.txt", "same.txt", "ask.txt"})
        SetTime(dist + "/" + f, t);
    ui = FakeUi();
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    ui.answers = {setup::IDNO};
    EXPECT_EQ(s->CopyFiles(), 1);
    EXPECT_EQ(Get(dest + "/newer.txt"), "old");
    EXPECT_FALSE(fs::exists(dest + "/update.txt"));
    EXPECT_EQ(Get(dest + "/same.txt"), "s2");
    EXPECT_EQ(Get(dest + "/ask.txt"), "old");
    EXPECT_FALSE(fs::exists(dest + "/gone.txt"));
    EXPECT_EQ(Get(dest + "/sub/new.txt"), "n");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "New file exist...\r\n\r\n" + dest + "/ask.txt\r\n\r\nOverwrite?");
    EXPECT_TRUE(ui.errorLists.empty());
    EXPECT_EQ(s->Read("CopiedFile", "0"), dest + "/same.txt");
    EXPECT_EQ(s->Read("CopiedFile", "1"), dest + "/sub/new.txt");
    EXPECT_EQ(s->Read("CopiedFile", "Count"), "2");
    EXPECT_EQ(s->Read("MakedDirectory", "0"), dest + "/sub");
    for (const auto& e : fs::directory_iterator(dest))
        EXPECT_EQ(e.path().filename().string().find(".stu"), std::string::npos) << "no stage file left: " << e.path();
}

TEST_F(InstallTest, AUsersFileOrAnEscapingNameIsNeverWritten)
{
    const std::string longName = std::string(250, 'x') + "\\y.txt";
    MakeDist("[Root]\nName=App\n[CopyFile]\n0=user.txt\n1=..\\escape.txt\n2=a.txt\n3=" + longName + "\n",
             {{"user.txt", "ours"}, {"a.txt", "a"}});
    fs::create_directories(dist + "/" + std::string(250, 'x'));
    Put(dist + "/" + std::string(250, 'x') + "/y.txt", "y");
    Put(root + "/escape.txt", "e");
    const std::string dest = home + "/App";
    Put(dest + "/user.txt", "mine");
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    EXPECT_EQ(s->CopyFiles(), 1);
    EXPECT_EQ(Get(dest + "/user.txt"), "mine");
    EXPECT_FALSE(fs::exists(home + "/escape.txt"));
    EXPECT_EQ(Get(dest + "/a.txt"), "a");
    ASSERT_EQ(ui.errorLists.size(), 1u);
    EXPECT_NE(ui.errorLists[0].find(dest + "/user.txt"), std::string::npos);
    EXPECT_NE(ui.errorLists[0].find("escape.txt"), std::string::npos);
    EXPECT_NE(ui.errorLists[0].find("/y.txt"), std::string::npos) << "a path too long for the script is refused, not cut";
    EXPECT_FALSE(fs::exists(dest + "/" + std::string(250, 'x')));
    // The error log holds this run only, in the run's own folder.
    EXPECT_EQ(fs::path(s->ErrorLogPath()).parent_path().filename().string().rfind("STU", 0), 0u);
    EXPECT_EQ(s->Read("CopiedFile", "0"), dest + "/a.txt");
    EXPECT_EQ(s->Read("CopiedFile", "1"), "");
}

TEST_F(InstallTest, CopyBoxPlacesTheInstallerUnderItsOwnName)
{
    MakeDist("[Root]\nName=App\n[Check]\nCopy=2\n[CopyFile]\nSelf=setup\n0=a.txt\n", {{"a.txt", "a"}});
    ASSERT_EQ(InstallFromDist(ui), 0);
    EXPECT_TRUE(ui.errorLists.empty()) << ui.errorLists.front();
    setup::CIniCache ini;
    EXPECT_EQ(ini.ReadIniString("CopiedFile", "1", "", home + "/App/Setup.ini"), home + "/App/setup");
    EXPECT_EQ(ini.ReadIniString("Check", "Copy", "", home + "/App/Setup.ini"), "2");
    FakeUi ui2;
    ASSERT_EQ(UninstallInstalled(ui2, home + "/App"), 0);
    EXPECT_FALSE(fs::exists(home + "/App"));
}

TEST_F(InstallTest, EveryEntryUnloggedStillMarksTheInstallation)
{
    MakeDist("[Root]\nName=App\n[CopyFile]\n0=!a.txt\n", {{"a.txt", "a"}});
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    EXPECT_EQ(s->CopyFiles(), 1);
    EXPECT_EQ(s->ReadInt("CopiedFile", "Count"), 1);
    // A destination that had to be made is logged; one that existed is not.
    EXPECT_EQ(s->Read("MakedDirectory", "0"), home + "/App");
    fs::remove_all(home + "/App");
    fs::create_directories(home + "/App");
    auto s2 = NewSetup();
    ASSERT_EQ(s2->Prepare(dist + "/setup", ""), 0);
    s2->OpenMainDialog();
    EXPECT_EQ(s2->CopyFiles(), 1);
    EXPECT_EQ(s2->ReadInt("MakedDirectory", "Count"), 0);
}

TEST_F(InstallTest, LockedFilesByTheScriptsChoice)
{
    struct Case {
        const char* flags;
        std::deque<int> retry;
        bool replacedLater, listed, stopped;
    };
    const Case cases[] = {
        {"Question=0\nReboot=0\n", {}, false, true, false},
        {"Question=0\nReboot=1\n", {}, true, false, false},
        {"Question=1\n", {1}, true, false, false},
        {"Question=1\n", {3}, false, true, false},
        {"Question=1\n", {0, 3}, false, true, false},
        {"Question=1\n", {4}, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.flags) + " retry " + std::to_string(c.retry.size()));
        fs::remove_all(home);
        fs::remove_all(dist);
        fs::create_directories(home);
        MakeDist(std::string("[Root]\nName=App\n[CopyFile]\n0=a.txt\n1=b.txt\n") + c.flags, {{"a.txt", "a"}, {"b.txt", "b"}});
        FakeUi fake;
        fake.retryAnswers = c.retry;
        setup::CSetup s(fake, folders, *store);
        s.freeSpaceHook = nullptr;
        s.inUse.insert(home + "/App/a.txt");
        ASSERT_EQ(s.Prepare(dist + "/setup", ""), 0);
        s.OpenMainDialog();
        const int r = s.CopyFiles();
        EXPECT_EQ(r == 0, c.stopped);
        const std::string pending = Get(folders.state + "/pending");
        EXPECT_EQ(!pending.empty(), c.replacedLater);
        EXPECT_EQ(s.RebootCopy(), c.replacedLater);
        EXPECT_EQ(fake.errorLists.size() == 1 && fake.errorLists[0].find(home + "/App/a.txt") != std::string::npos, c.listed);
        if (c.stopped) {
            EXPECT_FALSE(fs::exists(home + "/App")) << "a stopped install leaves nothing";
            continue;
        }
        EXPECT_EQ(Get(home + "/App/b.txt"), "b");
        if (c.replacedLater) {
            EXPECT_EQ(s.Read("CopiedFile", "0"), home + "/App/a.txt");
            s.inUse.clear();
            s.ApplyPending();
            EXPECT_EQ(Get(home + "/App/a.txt"), "a");
            EXPECT_FALSE(fs::exists(folders.state + "/pending"));
        }
    }
}

TEST_F(InstallTest, AfterAllReplacesEveryLaterFailureWithoutAsking)
{
    MakeDist("[Root]\nName=App\n[CopyFile]\nQuestion=1\n0=a.txt\n1=b.txt\n2=c.txt\n", {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
    auto s = NewSetup();
    for (const char* f : {"a.txt", "b.txt", "c.txt"})
        s->inUse.insert(home + "/App/" + f);
    ui.retryAnswers = {2};
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    EXPECT_EQ(s->CopyFiles(), 1);
    EXPECT_EQ(ui.retried.size(), 1u);
    EXPECT_EQ(s->ReadInt("CopiedFile", "Count"), 3);
}

TEST_F(InstallTest, RebootCopyStartsTheQuestionChild)
{
    MakeDist("[Root]\nName=App\n[CopyFile]\nReboot=1\n0=a.txt\n[Reboot]\nInstall=1\n", {{"a.txt", "a"}});
    auto s = NewSetup();
    s->inUse.insert(home + "/App/a.txt");
    ASSERT_EQ(s->Run(dist + "/setup", "", [](setup::CSetup&) { return setup::IDOK; }), 0);
    ASSERT_FALSE(ui.started.empty());
    EXPECT_EQ(ui.started.back(), (std::vector<std::string>{home + "/App/setup", "reboot"}));
    // The child asks; setup itself does not ask again.
    for (const Shown& b : ui.boxes)
        EXPECT_EQ(b.text.find("Reboot now?"), std::string::npos);
}

TEST_F(InstallTest, NoFreeSpaceAsksAndAbortCopiesNothing)
{
    MakeDist("[Setup]\nName=T\n[Root]\nName=App\n[CopyFile]\n0=big.bin\n1=|missing.bin\n", {{"big.bin", std::string(20000, 'x')}});
    auto s = NewSetup();
    std::vector<std::string> asked;
    s->freeSpaceHook = [&](const std::string& p) {
        asked.push_back(p);
        setup::FreeSpace f;
        f.device = 7;
        f.freeBytes = 4096 * 6;
        f.cluster = 4096;
        f.root = "/mnt/disk";
        return std::optional<setup::FreeSpace>(f);
    };
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    ui.answers = {setup::IDABORT};
    EXPECT_EQ(s->Ok(), setup::RunResult::Ended);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "/mnt/disk");
    EXPECT_EQ(ui.boxes[0].text, "No free space.\r\n\r\nSelect another disk.");
    EXPECT_FALSE(fs::exists(home + "/App"));
    for (const std::string& p : asked)
        EXPECT_EQ(p.find("missing.bin"), std::string::npos) << "an update-only entry without target needs no space";
}

TEST_F(InstallTest, StopInstallLeavesFilesAndScriptAsTheyWere)
{
    MakeDist("[Root]\nName=App\n[CopyFile]\nQuestion=1\n0=a.txt\n1=b.txt\n", {{"a.txt", "a"}, {"b.txt", "b"}});
    auto s = NewSetup();
    s->inUse.insert(home + "/App/b.txt");
    ui.retryAnswers = {4};
    const auto before = Snapshot();
    ASSERT_EQ(s->Run(dist + "/setup", "", [](setup::CSetup&) { return setup::IDOK; }), 0);
    s.reset();
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().text, "Aborted by user.\r\n\r\nStop install too.");
    EXPECT_EQ(ui.boxes.back().title, "Copy files");
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Get(dist + "/Setup.ini"), "[Root]\nName=App\n[CopyFile]\nQuestion=1\n0=a.txt\n1=b.txt\n");
}

TEST_F(InstallTest, JapaneseMessagesFollowTheLocale)
{
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    MakeDist("[Root]\nName=App\n[CopyFile]\nQuestion=1\n0=a.txt\n", {{"a.txt", "a"}});
    auto s = NewSetup();
    s->inUse.insert(home + "/App/a.txt");
    ui.retryAnswers = {4};
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    EXPECT_EQ(s->Dialog()[setup::kLabel].text, "(&F)インストール先");
    EXPECT_EQ(s->Dialog()[setup::kOk].text, "実行");
    s->Ok();
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().text, "指示により中断しました\r\n\r\nインストールは行いません");
    // Running out of memory while copying: text and title both in Japanese.
    MakeDist("[Root]\nName=App2\n[CopyFile]\n0=a.txt\n1=b.txt\n", {{"a.txt", "a"}, {"b.txt", "b"}});
    auto s2 = NewSetup();
    ASSERT_EQ(s2->Prepare(dist + "/setup", ""), 0);
    s2->OpenMainDialog();
    ui.boxes.clear();
    ui.changes = 0;
    ui.outOfMemoryAtChange = 1;
    EXPECT_EQ(s2->CopyFiles(), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "メモリを確保できませんでした");
    EXPECT_EQ(ui.boxes[0].title, "ファイルコピー");
    setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_EQ(setup::Tx("Completed.", "終了しました．"), "Completed.");
}

// The desktop's caches as the real tools leave them: one derived file per package or entry.
void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void DesktopTools(const std::vector<std::string>& argv)
{
    std::error_code ec;
    std::string list;
    const bool mime = argv[0].find("update-mime-database") != std::string::npos;
    const std::string folder = mime ? argv[1] + "/packages" : argv[1];
    for (const auto& e : fs::directory_iterator(folder, ec))
        list += e.path().filename().string() + "\n";
    if (mime) {
        fs::create_directories(argv[1] + "/application", ec);
        WriteFile(argv[1] + "/mime.cache", list);
        WriteFile(argv[1] + "/globs2", list);
    } else {
        WriteFile(argv[1] + "/mimeinfo.cache", list);
    }
}

TEST_F(InstallTest, TheDesktopCachesFollowTheFileKindsAndLeaveNothingBehind)
{
    for (const bool fresh : {true, false}) {
        SCOPED_TRACE(fresh ? "a fresh home" : "a home with other file kinds");
        fs::remove_all(home);
        fs::remove_all(dist);
        fs::create_directories(home);
        store->Reload();
        MakeDist(kScript, kFiles);
        fs::create_directories(folders.trash); // removed files go there
        if (!fresh) {
            Put(folders.mime + "/packages/other.xml", "<mime-info/>");
            Put(folders.applications + "/other.desktop", "[Desktop Entry]\n");
        }
        const auto before = Snapshot();
        FakeUi ui1;
        ui1.onRun = DesktopTools;
        ASSERT_EQ(InstallFromDist(ui1), 0);
        EXPECT_NE(Get(folders.mime + "/mime.cache").find("seamora"), std::string::npos);
        EXPECT_NE(Get(folders.applications + "/mimeinfo.cache").find("seamora"), std::string::npos);

        FakeUi ui2;
        ui2.onRun = DesktopTools;
        ASSERT_EQ(UninstallInstalled(ui2, Dest()), 0);
        EXPECT_TRUE(ui2.boxes.empty()) << ui2.boxes.front().text;
        if (fresh) {
            // Folders the installation made, caches and all, are gone.
            EXPECT_TRUE(ui2.waited.empty());
            EXPECT_EQ(Snapshot(), before);
        } else {
            // The caches were made again once the installation's kind was gone.
            EXPECT_EQ(Get(folders.mime + "/mime.cache"), "other.xml\n");
            EXPECT_EQ(Get(folders.applications + "/mimeinfo.cache"), "other.desktop\nmimeinfo.cache\n");
            EXPECT_FALSE(fs::exists(Dest()));
        }
    }
}

// Waits (at most ten seconds) for a file that a started program writes.
std::string WaitForFile(const std::string& path)
{
    for (int i = 0; i < 200 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return SetupTest::Get(path);
}

TEST_F(InstallTest, EntriesForAnAwkwardFolderNameOpenThroughTheDesktop)
{
    std::string script = kScript;
    script.replace(script.find("Kind=Seamora.Project"), 20, "Kind=Seamora <Plan> & Co");
    MakeDist(script, {{"Smra_En", "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" > \"$HOME/ran.txt\"\n"},
                      {"res/icon.png", "icon"}, {"readme.txt", "r"}});
    fs::permissions(dist + "/Smra_En", fs::perms::owner_all);
    // (No '%': the desktop's launcher checks the program's path before it undoes "%%".)
    const std::string dest = home + "/Apps $HOME `id` \"q\" back\\slash/Seamora";
    ASSERT_EQ(InstallFromDist(ui, [&](setup::CSetup& s) { s.Dialog()[setup::kDestination].text = dest; }), 0);
    ASSERT_TRUE(fs::exists(dest + "/Smra_En"));

    // The file kind's description is XML text, whatever the script's name for it.
    std::string package;
    for (const auto& e : fs::directory_iterator(folders.mime + "/packages"))
        package = Get(e.path().string());
    EXPECT_NE(package.find("<comment>Seamora &lt;Plan&gt; &amp; Co</comment>"), std::string::npos) << package;

    // The desktop's own launcher reads the entries as the installer meant them.
    if (!fs::exists("/usr/bin/gio"))
        GTEST_SKIP() << "no desktop launcher to try the entries with";
    std::string assoc;
    for (const auto& e : fs::directory_iterator(folders.applications))
        if (e.path().filename().string().rfind("seamora-", 0) == 0)
            assoc = e.path().string();
    ASSERT_FALSE(assoc.empty());
    EXPECT_EQ(RunProgram({"/usr/bin/gio", "launch", folders.applications + "/Seamora/Seamora.desktop"}), 0);
    EXPECT_EQ(WaitForFile(home + "/ran.txt"), dest + "/Smra_En|");
    fs::remove(home + "/ran.txt");
    Put(home + "/a b.fit", "plan");
    EXPECT_EQ(RunProgram({"/usr/bin/gio", "launch", assoc, home + "/a b.fit"}), 0);
    EXPECT_EQ(WaitForFile(home + "/ran.txt"), dest + "/Smra_En|" + home + "/a b.fit|");
}

TEST_F(InstallTest, TheFileKindGetsItsIconInTheIconTheme)
{
    std::string script = kScript;
    script.replace(script.find("Verb=open\n"), 10, "Verb=open\nIcon=res\\icon.png\n");
    // A 16 by 16 PNG header is all the installer reads of it.
    const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10", 24) + "rest";
    MakeDist(script, {{"Smra_En", "p"}, {"res/icon.png", png}, {"readme.txt", "r"}});
    Put(folders.programs + "/icons/hicolor/16x16/mimetypes/text-plain.png", "theirs");
    const auto before = Snapshot();
    ASSERT_EQ(InstallFromDist(ui), 0);
    const std::string icon = folders.programs + "/icons/hicolor/16x16/mimetypes/application-x-seamora-project.png";
    EXPECT_EQ(Get(icon), png);
    EXPECT_NE(Get(folders.mime + "/packages/seamora-seamora-project.xml").find("<icon name=\"application-x-seamora-project\"/>"),
              std::string::npos);
    FakeUi ui2;
    ASSERT_EQ(UninstallInstalled(ui2, Dest()), 0);
    EXPECT_FALSE(fs::exists(icon));
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(InstallTest, ALargeFileIsCopiedWithItsProgressShown)
{
    const std::string big(700 * 1024, 'b');
    MakeDist("[Root]\nName=App\n[CopyFile]\n0=big.bin\n1=small.bin\n", {{"big.bin", big}, {"small.bin", "s"}});
    auto s = NewSetup();
    s->largeFileThreshold = 500 * 1024;
    ASSERT_EQ(s->Run(dist + "/setup", "", [](setup::CSetup&) { return setup::IDOK; }), 0);
    EXPECT_EQ(Get(home + "/App/big.bin"), big);
    ASSERT_GE(ui.progress.size(), 3u);
    uint64_t last = 0;
    for (const auto& p : ui.progress) {
        EXPECT_EQ(p.name, "big.bin") << "only the large file, under its own name";
        EXPECT_EQ(p.total, big.size());
        EXPECT_GE(p.done, last);
        last = p.done;
    }
    EXPECT_EQ(ui.progress.front().done, 0u);
    EXPECT_EQ(ui.progress.back().done, big.size()) << "the progress ends with the copy";
}

} // namespace
} // namespace setuptest

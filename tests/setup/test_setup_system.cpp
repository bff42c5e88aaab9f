// The main dialog's modes, settings lines, associations, the uninstall entry and the drawing
// commands.
#include "setup_fixture.h"

#include <unistd.h>

#include "setup/core/setup_draw.h"

namespace setuptest {
namespace {

using platform::SettingsHive;
using platform::SettingsValue;

std::unique_ptr<setup::CSetup> Opened(SetupTest* t, std::unique_ptr<setup::CSetup> s, const std::string& self,
                                      const std::string& word = "")
{
    EXPECT_EQ(s->Prepare(self, word), 0);
    s->OpenMainDialog();
    (void)t;
    return s;
}

TEST_F(SetupTest, DestinationFromTheScriptOrAnEarlierInstallation)
{
    struct Case { const char* rootName; std::string want; };
    const Case cases[] = {
        {"%programs%\\Tool", folders.programs + "/Tool"},
        {"%windrive%\\Data", home + "/Data"},
        {"%$E%\\Data", home + "/Data"},
        {"Plain", home + "/Plain"},
        {"%odd%Name", home + "/%odd/Name"},
        {"D:\\Apps\\X", home + "/Apps/X"},
    };
    for (const Case& c : cases) {
        MakeDist(std::string("[Root]\nName=") + c.rootName + "\n");
        auto s = Opened(this, NewSetup(), dist + "/setup");
        EXPECT_EQ(s->Destination(), c.want) << c.rootName;
        EXPECT_FALSE(s->Dialog().destinationReadOnly);
        EXPECT_EQ(std::string(std::getenv("RootName")), c.want);
    }
    // An earlier installation registered under the last component of [Root] Name.
    for (const std::string& cmd : {"\"" + home + "/Apps/X/setup\"", home + "/Apps/X/setup", "\"" + home + "/Apps/X/setup\" uninstall"}) {
        store->SetString(SettingsHive::LocalMachine, "Software\\Uninstall\\X", "UninstallString", cmd);
        MakeDist("[Root]\nName=%programs%\\X\n");
        auto s = Opened(this, NewSetup(), dist + "/setup");
        EXPECT_EQ(s->Destination(), home + "/Apps/X") << cmd;
        EXPECT_TRUE(s->Dialog().destinationReadOnly);
        EXPECT_FALSE(s->Dialog().Shown(setup::kBrowse));
        EXPECT_EQ(s->Read("Root", "Name"), "X");
    }
    // A registered folder outside the home is not believed.
    store->SetString(SettingsHive::LocalMachine, "Software\\Uninstall\\X", "UninstallString", "\"/etc/setup\"");
    auto s = Opened(this, NewSetup(), dist + "/setup");
    EXPECT_EQ(s->Destination(), folders.programs + "/X");
}

TEST_F(SetupTest, DialogModes)
{
    // Installed: the first row is the Uninstall box; the word "uninstall" runs without a click.
    MakeDist("[Setup]\nName=S\n[CopiedFile]\n0=x\nCount=1\n[Check]\nMenu=2\nDesktop=1\n");
    {
        auto s = Opened(this, NewSetup(), dist + "/setup", "uninstall");
        setup::MainDialog& d = s->Dialog();
        EXPECT_EQ(s->RunState(), 1);
        EXPECT_EQ(d[setup::kBoxCopy].text, "Uninstall");
        EXPECT_EQ(d[setup::kBoxCopy].rowsUp, 0);
        EXPECT_TRUE(d.Checked(setup::kBoxCopy));
        EXPECT_TRUE(d.postOk);
        EXPECT_FALSE(d[setup::kBoxMenu].enabled);
        EXPECT_EQ(d[setup::kLabel].text, "Installed");
        EXPECT_EQ(s->ReadmeSelector(), -3);
        EXPECT_EQ(s->Read("Check", "Copy"), "1");
    }
    {
        auto s = Opened(this, NewSetup(), dist + "/setup");
        EXPECT_FALSE(s->Dialog().postOk);
        EXPECT_FALSE(s->Dialog().Checked(setup::kBoxCopy));
    }
    // Unattended: no buttons, runs at once, the readme does not open by itself.
    MakeDist("[Setup]\nAuto=1\n[Readme]\nFile=r.txt\nDone=2\n[Check]\nMenu=0\nDesktop=2\nQLaunch=2\nSend=2\n", {{"r.txt", "hello"}});
    {
        auto s = Opened(this, NewSetup(), dist + "/setup");
        setup::MainDialog& d = s->Dialog();
        EXPECT_TRUE(d.postOk);
        EXPECT_FALSE(d.openReadme);
        for (int id : {setup::kOk, setup::kCancel, setup::kReadme, setup::kBrowse})
            EXPECT_FALSE(d.Shown(id)) << id;
        // Quick Launch and Send To have no folders here: their rows go; the desktop row moves up.
        EXPECT_FALSE(d.Shown(setup::kBoxQuickLaunch));
        EXPECT_FALSE(d.Shown(setup::kBoxSendTo));
        EXPECT_EQ(d[setup::kBoxShortcut].rowsUp, 1);
    }
    fs::create_directories(folders.quickLaunch);
    {
        auto s = Opened(this, NewSetup(), dist + "/setup");
        EXPECT_TRUE(s->Dialog().Shown(setup::kBoxQuickLaunch));
        EXPECT_TRUE(s->Dialog().Checked(setup::kBoxQuickLaunch));
    }
    // Without Auto, Done=2 opens the readme at once.
    MakeDist("[Readme]\nFile=r.txt\nDone=2\n", {{"r.txt", "hello"}});
    {
        auto s = Opened(this, NewSetup(), dist + "/setup");
        EXPECT_TRUE(s->Dialog().openReadme);
        EXPECT_EQ(s->ReadMeText(), "hello");
    }
}

TEST_F(SetupTest, FirstGoIsStartedWithTheModeAndAnUnreadableFolderIsSaid)
{
    MakeDist("[Setup]\nName=T\n[Root]\nName=App\n[CopyFile]\n0=a.txt\n", {{"a.txt", "a"}, {"tools/FirstGo", "#!/bin/sh\n"}});
    fs::create_directories(dist + "/locked");
    fs::permissions(dist + "/locked", fs::perms::none);
    const bool superuser = ::geteuid() == 0; // permissions do not bind the superuser
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->OpenMainDialog();
    ASSERT_EQ(ui.started.size(), 1u);
    EXPECT_EQ(ui.started[0], (std::vector<std::string>{dist + "/tools/FirstGo", "Install"}));
    if (!superuser) {
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "Could not look through this folder:\n" + dist + "/locked");
        EXPECT_EQ(ui.boxes[0].title, "T");
    }
    fs::permissions(dist + "/locked", fs::perms::owner_all);
}

TEST_F(SetupTest, ReadOnlyDistributionWorksOnATemporaryCopy)
{
    MakeDist("[Check]\nCopy=2\nDel=2\n[CopyFile]\nSelf=setup\n");
    fs::permissions(dist + "/Setup.ini", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto s = Opened(this, NewSetup(), dist + "/setup");
    EXPECT_EQ(fs::path(s->ScriptPath()).parent_path().filename().string().rfind("STU", 0), 0u);
    EXPECT_FALSE(s->Dialog().Shown(setup::kBoxCopy));
    EXPECT_FALSE(s->Dialog().Shown(setup::kBoxDelete));
    EXPECT_EQ(s->Read("CopyFile", "Self"), "");
    const std::string copy = s->ScriptPath();
    s->Cancel();
    s->EndRun();
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(Get(dist + "/Setup.ini"), "[Check]\nCopy=2\nDel=2\n[CopyFile]\nSelf=setup\n");
}

TEST_F(SetupTest, MenuShortcutsMadeAndTakenBack)
{
    MakeDist("[Root]\nNamed=" + home + "/App\n[Check]\nMenu=1\n[Menu]\nName=Tools\\Seamora\nOpen=1\n"
             "[Menu0]\nName=Sub\\Run\nPath=!C:\\bin\\run\nArg=--go \"a b\" 50%\nWork=data\n"
             "[Menu1]\nName=\\Top\nPath=x\n");
    Put(folders.applications + "/Tools/mine.desktop", "[Desktop Entry]\nName=Mine\n");
    auto s = Opened(this, NewSetup(), dist + "/setup");
    s->MakeMenuShortcuts(true);
    const std::string folder = folders.applications + "/Tools/Seamora";
    const std::string entry = Get(folder + "/Sub/Run.desktop");
    EXPECT_NE(entry.find("Exec=\"" + home + "/bin/run\" --go \"a b\" 50%%\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("Path=" + home + "/App/data\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(folders.applications + "/Top.desktop"));
    EXPECT_EQ(s->Read("Check", "Menu"), "2");
    EXPECT_EQ(s->Read("Menu", "Named"), folder);
    ASSERT_EQ(ui.started.size(), 1u);
    EXPECT_EQ(ui.started[0], (std::vector<std::string>{"xdg-open", folder}));
    s->MakeMenuShortcuts(false);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(folders.applications + "/Top.desktop"));
    EXPECT_TRUE(fs::exists(folders.applications + "/Tools/mine.desktop"));
    EXPECT_EQ(s->Read("Check", "Menu"), "1");
}

TEST_F(SetupTest, SettingsLinesStoreEveryDataForm)
{
    MakeDist("[Root]\nNamed=" + home + "/App\n[Reg]\n"
             "Make0=HKEY_CURRENT_USER\\Software\\T\\\\hex\\#h1aF\n"
             "Make1=HKEY_CURRENT_USER\\Software\\T\\\\bin\\#b0a01\n"
             "Make2=HKEY_CURRENT_USER\\Software\\T\\\\odd\\#b0a0\n"
             "Make3=HKEY_CURRENT_USER\\Software\\T\\\\dec\\#d42\n"
             "Make4=HKEY_CURRENT_USER\\Software\\T\\\\esc\\#sa\\nb\\\\c\\q\n"
             "Make5=HKEY_CURRENT_USER\\Software\\T\\\\path\\Bin\\x\n"
             "Make6=HKEY_CURRENT_USER\\Software\\T\\\\raw\\!Bin\\x\n"
             "Make7=HKEY_CURRENT_USER\\Software\\T\\\\hash\\##x\n"
             "Make8=HKEY_CURRENT_USER\\Software\\T\\\\none\\#zz\n"
             "Make9=HKEY_CURRENT_USER\\Software\\T\\Sub\\\\\\default\n"
             "Erase0=HKEY_CURRENT_USER\\Software\\T\\Sub\\\n"
             "Erase1=HKEY_CURRENT_USER\\Software\\T\\hex\n");
    auto s = Opened(this, NewSetup(), dist + "/setup");
    s->ApplyRegEntries(true);
    const std::string k = "Software\\T";
    EXPECT_EQ(store->GetValue(SettingsHive::CurrentUser, k, "hex"), SettingsValue::Int(0x1AF));
    EXPECT_EQ(store->GetValue(SettingsHive::CurrentUser, k, "bin"), SettingsValue::Binary({0x0A, 0x01}));
    EXPECT_EQ(store->GetValue(SettingsHive::CurrentUser, k, "odd"), SettingsValue::Binary({0x0A}));
    EXPECT_EQ(store->GetValue(SettingsHive::CurrentUser, k, "dec"), SettingsValue::Int(42));
    EXPECT_EQ(store->GetString(SettingsHive::CurrentUser, k, "esc").value_or(""), "a\nb\\c\\q");
    EXPECT_EQ(store->GetString(SettingsHive::CurrentUser, k, "path").value_or(""), home + "/App/Bin/x");
    EXPECT_EQ(store->GetString(SettingsHive::CurrentUser, k, "raw").value_or(""), "Bin\\x");
    EXPECT_EQ(store->GetString(SettingsHive::CurrentUser, k, "hash").value_or(""), home + "/App/#x");
    EXPECT_FALSE(store->GetValue(SettingsHive::CurrentUser, k, "none").has_value());
    EXPECT_EQ(store->GetString(SettingsHive::CurrentUser, k + "\\Sub", "").value_or(""), home + "/App/default");

    // A key of the user's beside ours, and a value of the user's in a key we made.
    store->SetString(SettingsHive::CurrentUser, "Software\\Mine", "v", "1");
    s->ApplyRegEntries(false);
    EXPECT_FALSE(store->KeyExists(SettingsHive::CurrentUser, k + "\\Sub"));
    EXPECT_FALSE(store->GetValue(SettingsHive::CurrentUser, k, "hex").has_value());
    EXPECT_TRUE(store->KeyExists(SettingsHive::CurrentUser, k)) << "still holds values";
    EXPECT_EQ(store->GetString(SettingsHive::CurrentUser, "Software\\Mine", "v").value_or(""), "1");
}

TEST_F(SetupTest, EraseWalksUpOnlyThroughKeysTheInstallationMade)
{
    store->SetString(SettingsHive::CurrentUser, "Software\\Vendor", "", "");
    store->DeleteValue(SettingsHive::CurrentUser, "Software\\Vendor", "");
    MakeDist("[Reg]\nMake0=HKEY_CURRENT_USER\\Software\\Vendor\\App\\Deep\\\\v\\#d1\n"
             "Erase0=HKEY_CURRENT_USER\\Software\\Vendor\\App\\Deep\\v\n"
             "Erase1=HKEY_CURRENT_USER\\Software\n");
    auto s = Opened(this, NewSetup(), dist + "/setup");
    s->ApplyRegEntries(true);
    s->ApplyRegEntries(false);
    EXPECT_FALSE(store->KeyExists(SettingsHive::CurrentUser, "Software\\Vendor\\App"));
    EXPECT_TRUE(store->KeyExists(SettingsHive::CurrentUser, "Software\\Vendor")) << "was there before";
    EXPECT_TRUE(store->KeyExists(SettingsHive::CurrentUser, "Software")) << "a key right under the root is never erased";
}

TEST_F(SetupTest, ASharedExtensionGetsOnlyTheSecondVerb)
{
    store->SetString(SettingsHive::ClassesRoot, ".fit", "", "OtherApp.Doc");
    store->SetString(SettingsHive::ClassesRoot, "OtherApp.Doc\\shell\\open\\command", "", "other %1");
    Put(folders.mimeApps, "[Default Applications]\napplication/x-otherapp-doc=other.desktop;\n");
    MakeDist("[Root]\nNamed=" + home + "/App\n[Check]\nExt=1\n[Ext0]\nExt=.fit\nKind=Seamora.Project\nVerb=open\n"
             "Verb2=Stitch\nCommand=Smra_En %1\n");
    auto s = Opened(this, NewSetup(), dist + "/setup");
    s->SetAssociations(true);
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, ".fit", "").value_or(""), "OtherApp.Doc");
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, "OtherApp.Doc\\shell\\open\\command", "").value_or(""), "other %1");
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, "OtherApp.Doc\\shell\\Stitch\\command", "").value_or(""),
              home + "/App/Smra_En %1");
    EXPECT_NE(Get(folders.mimeApps).find("[Added Associations]\napplication/x-otherapp-doc=seamora-otherapp-doc-stitch.desktop;"),
              std::string::npos) << Get(folders.mimeApps);
    EXPECT_EQ(s->Read("Check", "Ext"), "2");
    s->SetAssociations(false);
    EXPECT_FALSE(store->KeyExists(SettingsHive::ClassesRoot, "OtherApp.Doc\\shell\\Stitch"));
    EXPECT_TRUE(store->KeyExists(SettingsHive::ClassesRoot, "OtherApp.Doc\\shell\\open\\command"));
    EXPECT_EQ(Get(folders.mimeApps), "[Default Applications]\napplication/x-otherapp-doc=other.desktop;\n");
    EXPECT_EQ(s->Read("Check", "Ext"), "1");
}

TEST_F(SetupTest, ForcedExtensionRemembersAndRestoresTheOldType)
{
    store->SetString(SettingsHive::ClassesRoot, ".fit", "", "OtherApp.Doc");
    MakeDist("[Root]\nNamed=" + home + "/App\n[Ext0]\nExt=.fit\nKind=Seamora.Project\nForce=1\nCommand=Smra_En \"%1\"\n");
    auto s = Opened(this, NewSetup(), dist + "/setup");
    s->SetAssociations(true);
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, ".fit", "").value_or(""), "Seamora.Project");
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, ".fit", "Old Name").value_or(""), "OtherApp.Doc");
    s->SetAssociations(false);
    EXPECT_EQ(store->GetString(SettingsHive::ClassesRoot, ".fit", "").value_or(""), "OtherApp.Doc");
    EXPECT_FALSE(store->GetValue(SettingsHive::ClassesRoot, ".fit", "Old Name").has_value());
    EXPECT_FALSE(store->KeyExists(SettingsHive::ClassesRoot, "Seamora.Project"));
}

TEST_F(SetupTest, UninstallEntryAndProgramKeys)
{
    struct Case { const char* script; std::string key; std::string cmd; };
    const Case cases[] = {
        {"[Root]\nName=App\nNamed=HOME/App\n[Del]\nAuto=1\n", "App", "\"HOME/App/setup\" uninstall"},
        {"[Root]\nName=App\nNamed=HOME/App\n", "App", "\"HOME/App/setup\""},
        {"[Root]\nName=App\nNamed=HOME/App\n[Setup]\nNoUninstall=1\n", "App", ""},
        {"[Root]\nNamed=HOME/App\n", "", ""},
    };
    for (const Case& c : cases) {
        std::string script = c.script;
        script.replace(script.find("HOME"), 4, home);
        MakeDist(script);
        auto s = NewSetup();
        ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
        const auto keysBefore = store->SubKeys(SettingsHive::LocalMachine, "Software\\Uninstall");
        s->WriteUninstallEntry();
        std::string cmd = c.cmd;
        if (!cmd.empty())
            cmd.replace(cmd.find("HOME"), 4, home);
        EXPECT_EQ(store->GetString(SettingsHive::LocalMachine, "Software\\Uninstall\\" + c.key, "UninstallString").value_or(""),
                  cmd) << c.script;
        s->RemoveRegistryKeys();
        EXPECT_EQ(store->SubKeys(SettingsHive::LocalMachine, "Software\\Uninstall"), keysBefore) << c.script;
    }
    // Company without Name removes nothing; with Name only that key (and Company when empty).
    store->SetString(SettingsHive::CurrentUser, "SOFTWARE\\Co\\Other", "v", "keep");
    store->SetString(SettingsHive::CurrentUser, "SOFTWARE\\Co\\Prod", "v", "1");
    MakeDist("[Registry]\nCompany=Co\n");
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    s->RemoveRegistryKeys();
    EXPECT_TRUE(store->KeyExists(SettingsHive::CurrentUser, "SOFTWARE\\Co\\Prod"));
    MakeDist("[Registry]\nCompany=Co\nName=Prod\n");
    auto s2 = NewSetup();
    ASSERT_EQ(s2->Prepare(dist + "/setup", ""), 0);
    s2->RemoveRegistryKeys();
    EXPECT_FALSE(store->KeyExists(SettingsHive::CurrentUser, "SOFTWARE\\Co\\Prod"));
    EXPECT_TRUE(store->KeyExists(SettingsHive::CurrentUser, "SOFTWARE\\Co\\Other"));
}

TEST_F(SetupTest, CommandListsStayInsideTheInstallation)
{
    const std::string dest = home + "/App";
    Put(dest + "/made/f.txt", "ours");
    Put(home + "/user.txt", "mine");
    MakeDist("[Root]\nNamed=" + dest + "\n[MakedDirectory]\n0=" + dest + "/made\nCount=1\n[Go2]\n"
             "Make0=delfile;;made\\f.txt\n"
             "Make1=delfile;;!" + home + "/user.txt\n"
             "Make2=\"\"%root%\\tool\" -x y;;hide\"\n"
             "Make3=lib.so;Entry\n"
             "Make4=/usr/lib/x86_64-linux-gnu/libc.so.6;exit\n");
    auto s = Opened(this, NewSetup(), dist + "/setup");
    s->RunCommandList("Make");
    EXPECT_FALSE(fs::exists(dest + "/made/f.txt"));
    EXPECT_EQ(Get(folders.trash + "/files/f.txt"), "ours") << "deleted files go to the trash";
    EXPECT_EQ(Get(home + "/user.txt"), "mine");
    ASSERT_EQ(ui.started.size(), 1u);
    EXPECT_EQ(ui.started[0], (std::vector<std::string>{dest + "/tool", "-x", "y"}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    // Libraries load only from the distribution or the installation.
    EXPECT_EQ(ui.boxes[0].text, "Here is not library.\n\nlib.so\n/usr/lib/x86_64-linux-gnu/libc.so.6\n");
}

class RecordingCanvas : public setup::SetupCanvas {
public:
    struct Op { std::string what; setup::DrawRect r; uint32_t color; std::string text; };
    void Fill(const setup::DrawRect& r, uint32_t c) override { ops.push_back({"fill", r, c, ""}); }
    void SetFont(const setup::DrawFont&) override {}
    void TextSize(const std::string& t, bool, int, int& w, int& h) override
    {
        w = static_cast<int>(t.size()) * 8;
        h = 16;
    }
    void DrawText(const setup::DrawRect& r, const std::string& t, uint32_t c, bool) override { ops.push_back({"text", r, c, t}); }
    bool ImageSize(const std::string&, int& w, int& h) override
    {
        w = 30;
        h = 20;
        return true;
    }
    void DrawImage(const std::string&, const setup::DrawRect& r) override { ops.push_back({"image", r, 0, ""}); }
    std::vector<Op> ops;
};

TEST(SetupDraw, CommandsLayOutAsWritten)
{
    const auto none = [](const std::string& f) { return f; };
    {
        RecordingCanvas c;
        setup::PaintCommands(c, {0, 0, 1000, 500}, {"mode,rect", "rect,%10,%10,%90,%90", "fill,0,0,128"}, none);
        ASSERT_EQ(c.ops.size(), 2u);
        EXPECT_EQ(c.ops[0].r, (setup::DrawRect{0, 0, 1000, 500}));
        EXPECT_EQ(c.ops[0].color, 0u);
        EXPECT_EQ(c.ops[1].r, (setup::DrawRect{100, 50, 900, 450}));
        EXPECT_EQ(c.ops[1].color, 0x800000u);
    }
    {
        RecordingCanvas c;
        setup::PaintCommands(c, {0, 0, 640, 480}, {"mode,bottom", "rect,10,20,600,400", "string,one", "|two", "page,1", "string,no"}, none);
        ASSERT_EQ(c.ops.size(), 3u);
        EXPECT_EQ(c.ops[1].r, (setup::DrawRect{10, 20, 34, 36}));
        EXPECT_EQ(c.ops[2].r, (setup::DrawRect{10, 36, 34, 52}));
        EXPECT_EQ(c.ops[2].text, "two");
    }
    {
        RecordingCanvas c;
        setup::PaintCommands(c, {0, 0, 100, 100}, {"mode,left", "rect,0,0,100,100", "gradation,0,0,0,200,0,0,1"}, none);
        ASSERT_EQ(c.ops.size(), 3u);
        EXPECT_EQ(c.ops[1].r, (setup::DrawRect{0, 0, 50, 100}));
        EXPECT_EQ(c.ops[2].r, (setup::DrawRect{50, 0, 100, 100}));
        EXPECT_EQ(c.ops[2].color, 100u);
    }
    {
        RecordingCanvas c;
        setup::PaintCommands(c, {0, 0, 100, 100}, {"mode,center", "rect,0,0,100,100", "gradation,0,0,0,9,9,9,2147483647"}, none);
        EXPECT_LE(c.ops.size(), 4097u) << "a huge step count cannot stall the painting";
    }
    {
        RecordingCanvas c;
        setup::PaintCommands(c, {0, 0, 100, 50}, {"mode,whole", "bitmap,x.bmp", "mode,right", "bitmap,x.bmp"}, none);
        // Tiled over the area: 4 x 3 tiles, then down the right edge: 3 tiles.
        EXPECT_EQ(c.ops.size(), 1u + 12u + 3u);
        EXPECT_EQ(c.ops.back().r, (setup::DrawRect{70, 40, 100, 60}));
    }
}

TEST(SetupDraw, ReadmePagesAndTheirButtons)
{
    const std::vector<std::string> lines = {"page,install", "button1,none,A", "button2,none,B", "|hello",
                                            "page,uninstall", "button1,install,Back", "button3,7,Seven", "page,7"};
    const auto p = setup::FindPage(lines, -1);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->lines.size(), 3u);
    for (const auto& b : p->buttons)
        EXPECT_FALSE(b.shown);
    const auto u = setup::FindPage(lines, -3);
    ASSERT_TRUE(u.has_value());
    EXPECT_TRUE(u->buttons[0].shown);
    EXPECT_EQ(u->buttons[0].target, -1);
    EXPECT_EQ(u->buttons[0].label, "Back");
    EXPECT_FALSE(u->buttons[1].shown);
    EXPECT_EQ(u->buttons[2].target, 7);
    EXPECT_TRUE(setup::FindPage(lines, 7).has_value());
    EXPECT_FALSE(setup::FindPage(lines, -2).has_value());
}

} // namespace
} // namespace setuptest

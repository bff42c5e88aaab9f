// The script reader and writer, the path words and the path guard.
#include "setup_fixture.h"

#include <sys/stat.h>

#include "setup/core/setup_ini.h"

namespace setuptest {
namespace {

using setup::CIniCache;

class IniTest : public SetupTest {
protected:
    std::string Path() const { return root + "/s.ini"; }
    CIniCache ini;
};

TEST_F(IniTest, ReadsFollowTheScriptsRules)
{
    Put(Path(), "stray line\n[setup]\nname=First\nName=Second\nempty=\nquoted=\"a \"b\" c\"\nnum=2x\nbad=x2\n"
                "[Setup]\nName=Other section\n[Root]\n Name=blank in key\n");
    struct Case { const char* sec; const char* key; const char* want; };
    const Case cases[] = {
        {"Setup", "Name", "First"},           // case-blind names, the first key wins
        {"SETUP", "NAME", "First"},
        {"Setup", "empty", ""},               // present but empty: not the default
        {"Setup", "missing", "dflt"},
        {"Nope", "Name", "dflt"},
        {"Setup", "quoted", "a \"b\" c"},     // the outer quotes go, the inner ones stay
        {"Root", "Name", "dflt"},             // a blank before '=' belongs to the key
        {"Root", " Name", "blank in key"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.ReadIniString(c.sec, c.key, "dflt", Path()), c.want) << c.sec << "/" << c.key;
    EXPECT_EQ(ini.ReadIniInt("Setup", "num", 7, Path()), 2);
    EXPECT_EQ(ini.ReadIniInt("Setup", "bad", 7, Path()), 0);
    EXPECT_EQ(ini.ReadIniInt("Setup", "empty", 7, Path()), 7);
    EXPECT_EQ(ini.ReadIniInt("Setup", "missing", 7, Path()), 7);
    bool cut = false;
    EXPECT_EQ(ini.ReadIniString("Setup", "Name", "", Path(), 4, &cut), "Fi");
    EXPECT_TRUE(cut);
}

TEST_F(IniTest, ReadingAMissingScriptLeavesNoFile)
{
    EXPECT_EQ(ini.ReadIniString("Setup", "Name", "d", Path()), "d");
    EXPECT_FALSE(fs::exists(Path()));
    EXPECT_EQ(ini.WriteIniString("Setup", "Name", "x", Path()), 1);
    EXPECT_EQ(Get(Path()), "[Setup]\nName=x\n");
}

TEST_F(IniTest, WriterKeepsOrderAndDropsWhatItCannotKeep)
{
    Put(Path(), "above\n[CopiedFile]\n0=a\n1=b\n\n2=c\nCount=3\n[Empty]\ncomment\n[Other]\nk=\nv=1\n");
    ASSERT_EQ(ini.WriteIniString("CopiedFile", "10", "j", Path()), 1);
    EXPECT_EQ(Get(Path()), "[CopiedFile]\n0=a\n1=b\n10=j\n2=c\nCount=3\n[Empty]\n[Other]\nv=1\n");
    // The empty section had a key line once; now it has none and goes at the next rewrite.
    ASSERT_EQ(ini.WriteIniString("CopiedFile", "Count", "4", Path()), 1);
    EXPECT_EQ(Get(Path()), "[CopiedFile]\n0=a\n1=b\n10=j\n2=c\nCount=4\n[Other]\nv=1\n");
    // A new section goes at the end; a value with a quote is written between added quotes.
    ASSERT_EQ(ini.WriteIniString("New", "q", "say \"hi\"", Path()), 1);
    EXPECT_EQ(ini.ReadIniString("New", "q", "", Path()), "say \"hi\"");
    EXPECT_NE(Get(Path()).find("q=\"say \"hi\"\"\n"), std::string::npos);
    // Clearing a key writes it empty; the empty line goes at a later rewrite.
    ASSERT_EQ(ini.WriteIniString("Other", "v", "", Path()), 1);
    EXPECT_EQ(ini.ReadIniString("Other", "v", "d", Path()), "");
    ASSERT_EQ(ini.WriteIniString("New", "r", "1", Path()), 1);
    EXPECT_EQ(ini.ReadIniString("Other", "v", "d", Path()), "d");
}

TEST_F(IniTest, CountsAreBoundedByTheLinesOfTheirSection)
{
    Put(Path(), "[CopiedFile]\n0=a\n1=b\nCount=2147483647\n[Readme]\nNo=-5\n[MadeKey]\n0=x\nCount=1\n");
    EXPECT_EQ(ini.ReadIniCount("CopiedFile", "Count", Path()), 3);
    EXPECT_EQ(ini.ReadIniCount("Readme", "No", Path()), 0);
    EXPECT_EQ(ini.ReadIniCount("MadeKey", "Count", Path()), 1);
    EXPECT_EQ(ini.ReadIniCount("Missing", "Count", Path()), 0);
}

TEST_F(IniTest, WritingTheStoredValueLeavesTheFileAlone)
{
    Put(Path(), "[A]\nk=v\n");
    struct stat before {};
    ASSERT_EQ(::stat(Path().c_str(), &before), 0);
    EXPECT_EQ(ini.WriteIniString("A", "k", "v", Path()), 1);
    struct stat after {};
    ASSERT_EQ(::stat(Path().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    // Writing an empty value over a missing key still counts as a change.
    EXPECT_EQ(ini.WriteIniString("A", "new", "", Path()), 1);
    EXPECT_NE(Get(Path()).find("new="), std::string::npos);
}

TEST_F(IniTest, WriteFailsWhenTheFolderCannotBeWritten)
{
    const std::string ro = root + "/ro";
    fs::create_directories(ro);
    Put(ro + "/s.ini", "[A]\nk=v\n");
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((ro + "/x").c_str(), F_OK) != 0 && ::geteuid() == 0)
        GTEST_SKIP() << "running as root";
    EXPECT_EQ(ini.WriteIniString("A", "k", "w", ro + "/s.ini"), 0);
    EXPECT_EQ(ini.ReadIniString("A", "k", "", ro + "/s.ini"), "v");
    fs::permissions(ro, fs::perms::owner_all);
}

TEST_F(SetupTest, PathWordsMapIntoTheHome)
{
    MakeDist("[Root]\nNamed=" + home + "/App\n");
    auto s = NewSetup();
    ASSERT_EQ(s->Prepare(dist + "/setup", ""), 0);
    const std::string dest = home + "/D/App";
    struct Case { const char* entry; std::string want; };
    const Case cases[] = {
        {"%windrive%\\Data", home + "/Data"},
        {"%$E%\\Data", home + "/Data"},
        {"!C:\\Tools", home + "/Tools"},
        {"Bin", dest + "/Bin"},
        {"Bin\\x.dll", dest + "/Bin/x.dll"},
        {"%programs%\\Tool", folders.programs + "/Tool"},
        {"%WINDOWS%\\Fonts", folders.windows + "/Fonts"},
        {"%system%\\x.so", folders.system + "/x.so"},
        {"%root%\\y", dest + "/y"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s->ExpandPathMacros(c.entry, dest, false).value_or("<none>"), c.want) << c.entry;
    EXPECT_FALSE(s->ExpandPathMacros("\\\\server\\share\\x", dest, false).has_value());

    EXPECT_EQ(s->ResolveFolderWord("%programs%\\A;%root%\\B"), folders.programs + "\\A;" + home + "/App\\B");
    EXPECT_EQ(s->ResolveFolderWord("%$E%\\Data"), home + "\\Data");
    EXPECT_EQ(s->ResolveFolderWord("50%"), "50%");
    EXPECT_EQ(s->ResolveFolderWord("%1%"), "%1%");
}

TEST_F(SetupTest, PathGuardRefusesEscapes)
{
    fs::create_directories(home + "/inside");
    fs::create_directories(root + "/outside");
    fs::create_symlink(root + "/outside", home + "/link");
    struct Case { std::string path; bool allowed; };
    const Case cases[] = {
        {home + "/inside/new/file", true},
        {folders.programs + "/App/x", true},
        {home, false},                                  // the root itself
        {home + "/inside/../../outside/x", false},      // a ".." component
        {home + "/link/x", false},                      // a link out of the home
        {root + "/outside/x", false},
        {"relative/x", false},
        {home + "/" + std::string(300, 'a'), false},    // longer than a script path may be
    };
    for (const Case& c : cases)
        EXPECT_EQ(setup::PathAllowed(c.path, folders), c.allowed) << c.path;
}

} // namespace
} // namespace setuptest

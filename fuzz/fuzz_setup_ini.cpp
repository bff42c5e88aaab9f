// Feeds bytes to the installer as its script: every read of the main dialog's opening, the
// writer, free-space accounting and copying with the copy flags, settings lines, command lists,
// associations, uninstall removal and the drawing commands. Everything happens in a home folder
// of its own under /dev/shm or /tmp; no program is started.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "fuzz/fuzz_input_file.h"
#include "platform/settings_store.h"
#include "setup/core/setup.h"
#include "setup/core/setup_draw.h"

namespace {

namespace fs = std::filesystem;

class QuietUi : public setup::SetupUi {
public:
    int MessageBox(const std::string&, const std::string&, setup::Buttons b, setup::Icon, bool) override
    {
        return b == setup::Buttons::AbortRetryIgnore ? setup::IDIGNORE : setup::IDYES;
    }
    int AskRetry(const std::string&, const std::string&) override { return ++m_asks % 5 == 0 ? 4 : 3; }
    void ShowErrorList(const std::string&) override {}
    bool StartProgram(const std::vector<std::string>&, const std::string&) override { return false; }
    int RunAndWait(const std::vector<std::string>&) override { return -1; }
    int m_asks = 0;
};

class NullCanvas : public setup::SetupCanvas {
public:
    void Fill(const setup::DrawRect&, uint32_t) override {}
    void SetFont(const setup::DrawFont&) override {}
    void TextSize(const std::string& t, bool, int, int& w, int& h) override
    {
        w = static_cast<int>(t.size()) * 7;
        h = 14;
    }
    void DrawText(const setup::DrawRect&, const std::string&, uint32_t, bool) override {}
    bool ImageSize(const std::string&, int& w, int& h) override
    {
        w = 3;
        h = 2;
        return true;
    }
    void DrawImage(const std::string&, const setup::DrawRect&) override {}
};

std::string g_home;

void SetUpHome()
{
    if (!g_home.empty())
        return;
    const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    g_home = base + "/smra_fuzz_setup_" + std::to_string(getpid());
    setenv("HOME", g_home.c_str(), 1);
    setenv("XDG_DATA_HOME", (g_home + "/.local/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_home + "/.config").c_str(), 1);
    setenv("XDG_STATE_HOME", (g_home + "/.local/state").c_str(), 1);
    setenv("TMPDIR", (g_home + "/tmp").c_str(), 1);
    setenv("SMRA_SETTINGS_DIR", (g_home + "/settings").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_home, ec);
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    SetUpHome();
    std::error_code ec;
    fs::remove_all(g_home, ec);
    fs::create_directories(g_home + "/tmp", ec);
    fs::create_directories(g_home + "/dist/sub", ec);
    const std::string script(reinterpret_cast<const char*>(data), size);
    setup::WriteFileAtomic(g_home + "/dist/Setup.ini", script);
    setup::WriteFileAtomic(g_home + "/dist/setup", "program");
    setup::WriteFileAtomic(g_home + "/dist/a.txt", "a");
    setup::WriteFileAtomic(g_home + "/dist/sub/b.txt", "b");
    {
        QuietUi ui;
        platform::CSettingsStore store(g_home + "/settings");
        setup::CSetup s(ui, setup::SetupFolders::FromEnvironment(), store);
        s.freeSpaceHook = [](const std::string&) {
            setup::FreeSpace f;
            f.device = 1;
            f.freeBytes = 1 << 20;
            f.cluster = 4096;
            return std::optional<setup::FreeSpace>(f);
        };
        if (s.Prepare(g_home + "/dist/setup", "") != 0)
            return 0;
        s.OpenMainDialog();
        for (const char* sec : {"Setup", "Root", "Check", "CopyFile", "Menu", "Menu0", "Desktop", "Ext0", "Readme", "Go"})
            for (const char* key : {"Name", "Named", "Auto", "Count", "0", "1", "Self", "Path", "Arg", "Work"})
                (void)s.Read(sec, key), (void)s.ReadInt(sec, key);
        s.Write("Menu", "Change", "a\"b");
        s.Write("CopiedFile", "10", "");
        NullCanvas canvas;
        setup::PaintCommands(canvas, {0, 0, 640, 480}, s.BackgroundLines(), [](const std::string& f) { return f; });
        const std::vector<std::string> pages = s.ReadMePageLines();
        for (int sel : {-1, -2, -3, 0, 1})
            if (const auto page = setup::FindPage(pages, sel))
                setup::PaintCommands(canvas, {0, 0, 320, 200}, page->lines, [](const std::string& f) { return f; });
        (void)s.FindReadMe();
        (void)s.ReadMeText();
        (void)s.CheckFreeSpace();
        if (s.ReadInt("CopiedFile", "Count") == 0)
            (void)s.CopyFiles();
        s.ApplyRegEntries(true);
        s.SetAssociations(true);
        s.MakeMenuShortcuts(true);
        s.MakePlaceShortcut(true, "Desktop");
        s.WriteUninstallEntry();
        s.RunCommandList("Make");
        s.RunCommandList("Erase");
        s.SetAssociations(false);
        s.MakeMenuShortcuts(false);
        s.MakePlaceShortcut(false, "Desktop");
        s.ApplyRegEntries(false);
        s.RemoveRegistryKeys();
        s.DeleteInstalledFiles();
        (void)s.ListLeftovers();
        s.ApplyPending();
    }
    return 0;
}

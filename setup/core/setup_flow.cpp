// The installer's run: start, the main dialog's modes, the order of the install and uninstall
// steps, and the end of a run.
#include "setup/core/setup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

extern char** environ;

namespace setup {

namespace fs = std::filesystem;

bool MainDialog::Checked(int id) const
{
    const auto it = controls.find(id);
    return it != controls.end() && it->second.checked;
}

bool MainDialog::Shown(int id) const
{
    const auto it = controls.find(id);
    return it != controls.end() && it->second.shown;
}

bool SetupUi::StartProgram(const std::vector<std::string>& argv, const std::string& workDir)
{
    if (argv.empty())
        return false;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (!workDir.empty())
        posix_spawn_file_actions_addchdir_np(&fa, workDir.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &fa, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0;
}

int SetupUi::RunAndWait(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    // The windows stay drawn while it runs.
    for (int i = 0; i < 1200; ++i) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0)
            return -1;
        Pause(0);
        ::usleep(50000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

bool ReadFileText(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& text)
{
    const std::string tmp = path + ".stu-write";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
    if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

CSetup::CSetup(SetupUi& ui, SetupFolders folders, platform::CSettingsStore& store)
    : m_ui(ui), m_folders(std::move(folders)), m_store(store)
{
}

CSetup::~CSetup()
{
    m_ini.FreeIniCache();
    RollBack();
    if (!m_runFolder.empty()) {
        std::error_code ec;
        fs::remove_all(m_runFolder, ec);
    }
}

std::string CSetup::Read(const std::string& sec, const std::string& key, const std::string& dflt)
{
    // Read whole: a path that does not fit a path buffer is refused where it is used, never cut.
    return m_ini.ReadIniString(sec, key, dflt, m_script, kNumberBuffer);
}

int CSetup::ReadInt(const std::string& sec, const std::string& key, int dflt)
{
    return m_ini.ReadIniInt(sec, key, dflt, m_script);
}

void CSetup::Write(const std::string& sec, const std::string& key, const std::string& value)
{
    m_ini.WriteIniString(sec, key, value, m_script);
}

std::string CSetup::Title() { return Read("Setup", "Name"); }

void CSetup::Status(const std::string& text)
{
    m_dlg[kLabel].text = text;
    m_ui.DialogChanged();
}

void CSetup::Hide(int id, int pauseMs)
{
    m_dlg[id].shown = false;
    m_ui.DialogChanged();
    if (pauseMs > 0)
        m_ui.Pause(pauseMs);
}

int CSetup::Box(const std::string& text, Buttons b, Icon i, const std::string& title, bool defaultNo)
{
    return m_ui.MessageBox(text, title.empty() ? Title() : title, b, i, defaultNo);
}

// A file of a folder whose name matches without regard to case; the name as given when none does.
std::string CSetup::ExistingCase(const std::string& path)
{
    std::error_code ec;
    if (fs::exists(path, ec))
        return path;
    const std::string folder = FolderOf(path);
    const std::string name = NameOf(path);
    for (const auto& e : fs::directory_iterator(folder.empty() ? "." : folder, ec))
        if (EqualNoCase(e.path().filename().string(), name))
            return e.path().string();
    return path;
}

int CSetup::Prepare(const std::string& selfPath, const std::string& commandLine)
{
    std::error_code ec;
    const fs::path self = fs::absolute(selfPath, ec);
    if (ec || selfPath.empty())
        return 1;
    m_selfPath = self.lexically_normal().string();
    m_sourceFolder = FolderOf(m_selfPath);
    m_distScript = ExistingCase(AppendPath(m_sourceFolder, "Setup.ini"));

    // Work left for the next start is done now.
    ApplyPending();

    // The script beside the program is never written: the run works on a copy in a folder of
    // its own, where this run's error log lives too.
    std::string tmpl = AppendPath(m_folders.temp, "STUXXXXXX");
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr)
        return 1;
    m_runFolder = buf.data();
    m_script = AppendPath(m_runFolder, "Setup.ini");
    m_errorLog = AppendPath(m_runFolder, "%error.lst");
    std::string text;
    ReadFileText(m_distScript, text);
    if (!WriteFileAtomic(m_script, text))
        return 1;
    // Read-only: a medium mounted so, a script nobody may write, or one this user may not write.
    struct stat st {};
    struct statvfs sv {};
    m_readOnlyCopy = ::access(m_distScript.c_str(), W_OK) != 0 || ::access(m_sourceFolder.c_str(), W_OK) != 0 ||
                     (::stat(m_distScript.c_str(), &st) == 0 && (st.st_mode & 0222) == 0) ||
                     (::statvfs(m_sourceFolder.c_str(), &sv) == 0 && (sv.f_flag & ST_RDONLY) != 0);
    if (m_readOnlyCopy)
        Write("CopyFile", "Self", "");

    m_runState = 0;
    m_readmeSelector = -1;
    m_uninstallFlag = commandLine == "uninstall";
    m_rebootMode = commandLine == "reboot";
    return 0;
}

void CSetup::RebootQuestion()
{
    m_ui.Pause(5000);
    m_ini.FreeIniCache();
    const int a = Box(Tx("Some files will be enabled\nafter reboot.\n\nReboot now?",
                         "いくつかのファイルは\n再起動後に有効になります\n\n今すぐ再起動しますか？"),
                      Buttons::YesNo, Icon::Question);
    if (a == IDYES)
        ApplyPending();
}

std::string CSetup::DestinationFromScript(bool* versionUp)
{
    *versionUp = false;
    const std::string rootName = Read("Root", "Name");
    std::string last = rootName;
    const std::size_t bs = last.find_last_of("\\/");
    if (bs != std::string::npos)
        last = last.substr(bs + 1);
    if (!last.empty()) {
        const auto cmd = m_store.GetString(platform::SettingsHive::LocalMachine, "Software\\Uninstall\\" + last,
                                           "UninstallString");
        if (cmd && !cmd->empty()) {
            std::string d = *cmd;
            const std::size_t cut = d.find_last_of('/');
            if (cut != std::string::npos)
                d = d.substr(0, cut);
            if (!d.empty() && d[0] == '"')
                d.erase(0, 1);
            if (PathAllowed(d, m_folders)) {
                *versionUp = true;
                return d;
            }
        }
    }
    struct Word { const char* word; std::string folder; };
    const Word words[] = {{"%system%", m_folders.system}, {"%desktop%", m_folders.desktop},
                          {"%windows%", m_folders.windows}, {"%programs%", m_folders.programs},
                          {"%windrive%", m_folders.home}};
    std::string dest;
    bool done = false;
    for (const Word& w : words) {
        const std::string word = w.word;
        if (rootName.size() >= word.size() && EqualNoCase(rootName.substr(0, word.size()), word)) {
            dest = AppendPath(w.folder, MapScriptPath(rootName.substr(word.size()), m_folders).value_or(""));
            done = true;
            break;
        }
    }
    if (!done && rootName.size() >= 4 && rootName.compare(0, 2, "%$") == 0) {
        dest = AppendPath(m_folders.home, MapScriptPath(rootName.substr(4), m_folders).value_or(""));
        done = true;
    }
    if (!done) {
        std::string v = rootName;
        if (v.find(':') == std::string::npos || (!v.empty() && v[0] == '%')) {
            if (!v.empty() && v[0] == '%') {
                const std::size_t close = v.find('%', 1);
                if (close != std::string::npos)
                    v[close] = '\\';
            }
            v = "C:\\" + v;
        }
        dest = MapScriptPath(v, m_folders).value_or("");
    }
    while (dest.size() > 1 && dest.back() == '/')
        dest.pop_back();
    return dest;
}

void CSetup::OpenMainDialog()
{
    m_dlg = MainDialog();
    const bool ja = UseJapanese();
    auto cap = [&](int id, const char* en, const char* jp) { m_dlg[id].text = ja ? jp : en; };
    cap(kLabel, "&Folder to install...", "(&F)インストール先");
    cap(kBoxMenu, "&Menu", "(&M)メニューに登録");
    cap(kBoxShortcut, "Short&Cut", "(&C)ショートカットを作成");
    cap(kBoxStartup, "&Startup", "(&S)スタートアップに登録");
    cap(kBoxQuickLaunch, "&QuickLaunch", "(&Q)クイック起動に登録");
    cap(kBoxExt, "&Associate ext.", "(&E)関連付けを行う");
    cap(kBoxSendTo, "Send &To", "(&T)「送る」に登録する");
    cap(kBoxCopy, "Co&py", "(&P)コピー");
    cap(kBoxDelete, "&Delete after...", "(&D)終了後に削除");
    cap(kOk, "OK", "実行");
    cap(kCancel, "Cancel", "中止");
    cap(kReadme, "Readme", "説明を読む");
    cap(kBrowse, "...", "...");
    cap(kMenuBrowse, "...", "...");
    m_dlg[kIconPlace];
    m_dlg.title = Read("Setup", "Name", "Install");

    bool versionUp = false;
    const std::string dest = DestinationFromScript(&versionUp);
    m_versionUp = versionUp;
    const std::string rootName = Read("Root", "Name");
    const std::size_t bs = rootName.find_last_of("\\/");
    if (bs != std::string::npos)
        Write("Root", "Name", rootName.substr(bs + 1));
    m_dlg[kDestination].text = dest;
    ::setenv("RootName", dest.c_str(), 1);
    m_earlierScript = ExistingCase(AppendPath(dest, "Setup.ini"));
    std::error_code ec;
    if (!fs::is_regular_file(m_earlierScript, ec))
        m_earlierScript.clear();

    const bool installed = ReadInt("CopiedFile", "Count") != 0;
    if (installed) {
        m_runState = 1;
        Write("Check", "Copy", "1");
        Write("Check", "Del", "0");
        m_dlg[kBrowse].shown = false;
        m_dlg[kInstallerName].shown = false;
        m_readmeSelector = -3;
        m_dlg[kLabel].text = Tx("Installed", "インストール済です．");
        m_dlg[kDestination].enabled = true;
        m_dlg.destinationReadOnly = true;
        Write("Setup", "Auto", "0");
    } else if (versionUp) {
        m_dlg[kLabel].text = Tx("&Folder to version up", "(&F)バージョンアップ先");
        m_readmeSelector = -2;
        m_dlg.destinationReadOnly = true;
        m_dlg[kBrowse].shown = false;
    }
    if (!installed) {
        const std::string self = Read("CopyFile", "Self");
        m_dlg[kInstallerName].text = self.empty() ? Tx("Installer", "インストーラー") : self;
    }

    // Readme button.
    const int readmeDone = ReadInt("Readme", "Done");
    if (!FindReadMe() || readmeDone == 0)
        m_dlg[kReadme].shown = false;
    else if (readmeDone == 2 && ReadInt("Setup", "Auto") == 0 && !m_uninstallFlag)
        m_dlg.openReadme = true;
    if (ReadInt("Go", "Agree") != 0) {
        Write("Readme", "Done", "1");
        m_dlg[kReadme].shown = false;
    }

    // Option boxes.
    struct Row { int id; const char* key; };
    const Row rows[] = {{kBoxMenu, "Menu"}, {kBoxShortcut, "Desktop"}, {kBoxStartup, "Startup"},
                        {kBoxQuickLaunch, "QLaunch"}, {kBoxExt, "Ext"}, {kBoxSendTo, "Send"},
                        {kBoxCopy, "Copy"}, {kBoxDelete, "Del"}};
    int hiddenRows = 0;
    bool copyHidden = false, delHidden = false;
    for (const Row& r : rows) {
        int v = ReadInt("Check", r.key);
        if (versionUp && (v == 1 || v == 2) && !m_earlierScript.empty()) {
            const int old = m_ini.ReadIniInt("Check", r.key, 0, m_earlierScript);
            v = old < 2 ? 1 : 2;
        }
        if (r.id == kBoxQuickLaunch && !fs::is_directory(m_folders.quickLaunch, ec))
            v = 0;
        if (r.id == kBoxSendTo && !fs::is_directory(m_folders.sendTo, ec))
            v = 0;
        if ((r.id == kBoxCopy || r.id == kBoxDelete) && m_readOnlyCopy)
            v = 0;
        ControlState& c = m_dlg[r.id];
        c.shown = v == 1 || v == 2;
        c.checked = v >= 2;
        if (r.id == kBoxCopy && installed) {
            // The installed copy's first row: "Uninstall" in place of the menu box.
            c.shown = true;
            c.checked = ReadInt("Del", "Auto") == 0 && ReadInt("Del", "Checked") != 0;
            c.text = Tx("Uninstall", "アンインストール");
            c.rowsUp = 0;
            continue;
        }
        if (r.id == kBoxCopy)
            copyHidden = !c.shown;
        else if (r.id == kBoxDelete)
            delHidden = !c.shown;
        else if (!c.shown)
            ++hiddenRows;
        else
            c.rowsUp = hiddenRows;
    }
    if (installed)
        m_dlg[kBoxDelete].shown = false;
    m_dlg[kMenuBrowse].shown = m_dlg.Checked(kBoxMenu) && m_dlg.Shown(kBoxMenu) && !Read("Menu", "Name").empty();
    if (versionUp && !m_earlierScript.empty())
        Write("Menu", "Change", m_ini.ReadIniString("Menu", "Named", "", m_earlierScript));

    // Layout: hidden rows close up, limited as the dialog's template allows.
    int limit = installed ? 5 : 3;
    int extra = 0;
    if (!installed) {
        if (copyHidden)
            ++extra;
        if (delHidden)
            ++extra;
        m_dlg[kBoxCopy].rowsUp = hiddenRows;
        m_dlg[kBoxDelete].rowsUp = hiddenRows + (copyHidden ? 1 : 0);
        m_dlg[kInstallerName].rowsUp = hiddenRows + extra;
        if (copyHidden)
            m_dlg[kInstallerName].shown = false;
    }
    int shrink = std::min(hiddenRows, limit) + extra;
    if (!m_dlg.Shown(kInstallerName))
        shrink = std::max(shrink, 6);
    m_dlg.shrinkRows = shrink;

    if (m_uninstallFlag && installed) {
        m_dlg[kBoxCopy].checked = true;
        m_dlg.postOk = true;
    }
    if (installed && m_dlg.Checked(kBoxCopy))
        for (int id : {kBoxMenu, kBoxShortcut, kBoxStartup, kBoxQuickLaunch, kBoxExt, kBoxSendTo, kMenuBrowse})
            m_dlg[id].enabled = false;
    if (ReadInt("Setup", "Auto") != 0) {
        for (int id : {kOk, kCancel, kReadme, kIconPlace, kBrowse})
            m_dlg[id].shown = false;
        m_dlg.openReadme = false;
        m_dlg.postOk = true;
    }

    // A program of the distribution that wants to know how setup was started.
    const std::string mode = installed ? "Uninstall" : versionUp ? "VersionUp" : "Install";
    std::string firstGo;
    std::vector<fs::path> stack{fs::path(m_sourceFolder)};
    while (!stack.empty() && firstGo.empty()) {
        const fs::path dir = stack.back();
        stack.pop_back();
        std::error_code e2;
        fs::directory_iterator it(dir, e2);
        if (e2) {
            Box(Tx("Could not look through this folder:\n", "このフォルダを調べられませんでした：\n") + dir.string(),
                Buttons::Ok, Icon::Exclamation);
            continue;
        }
        for (const auto& e : it) {
            const std::string name = e.path().filename().string();
            if (!name.empty() && name[0] == '.')
                continue;
            if (e.is_symlink(e2))
                continue; // the search stays inside the distribution
            if (e.is_directory(e2))
                stack.push_back(e.path());
            else if (EqualNoCase(name, "FirstGo") || EqualNoCase(name, "FirstGo.exe")) {
                firstGo = e.path().string();
                break;
            }
        }
    }
    if (!firstGo.empty())
        m_ui.StartProgram({firstGo, mode}, FolderOf(firstGo));
}

void CSetup::ChooseDestination(const std::string& folder)
{
    if (m_dlg.destinationReadOnly || folder.empty())
        return;
    const std::string name = Read("Root", "Name");
    std::string d = folder;
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    if (!name.empty() && NameOf(d) != name)
        d = AppendPath(d, name);
    m_dlg[kDestination].text = d;
    m_ui.DialogChanged();
}

void CSetup::ChooseMenuFolder(const std::string& folder)
{
    const std::string name = Read("Menu", "Name");
    if (name.empty() || folder.empty())
        return;
    std::string d = folder;
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    if (NameOf(d) != name)
        d = AppendPath(d, name);
    Write("Menu", "Change", d);
}

std::string CSetup::MenuBrowseStart()
{
    std::string named;
    if (!m_earlierScript.empty())
        named = m_ini.ReadIniString("Menu", "Named", "", m_earlierScript);
    if (named.empty())
        named = Read("Menu", "Named");
    std::error_code ec;
    return !named.empty() && fs::is_directory(named, ec) ? named : m_folders.applications;
}

RunResult CSetup::Ok()
{
    if (m_runState == 1 && m_dlg.Checked(kBoxCopy))
        return Uninstall();
    return Install();
}

void CSetup::Cancel()
{
    Write("Menu", "Change", "");
    m_ended = true;
}

namespace {

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing
// above U+10FFFF.
bool ValidUtf8(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int n = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size())
            return false;
        for (int k = 1; k <= n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

} // namespace

RunResult CSetup::Install()
{
    const std::string saved = m_dlg[kLabel].text;
    // The script's texts end up in desktop entries and file-kind descriptions, which must be
    // UTF-8: a script in another encoding is refused before anything is written.
    std::string scriptText;
    ReadFileText(m_script, scriptText);
    if (!ValidUtf8(scriptText)) {
        Box(Tx("This setup script is not UTF-8 text.\n\nNothing was installed.",
               "このセットアップの設定ファイルは UTF-8 ではありません．\n\nインストールは行いません"),
            Buttons::Ok, Icon::Stop);
        m_ended = true;
        return RunResult::Ended;
    }
    // A script without a folder to install to would spill its files into the home folder, and a
    // folder outside the places the installer may write is refused before anything is written.
    if (Read("Root", "Name").empty()) {
        Box(Tx("This setup script names no folder to install to.\n\nNothing was installed.",
               "このセットアップにはインストール先がありません．\n\nインストールは行いません"),
            Buttons::Ok, Icon::Stop);
        m_ended = true;
        return RunResult::Ended;
    }
    const std::string dest = Destination();
    if (dest.empty() || !PathAllowed(dest, m_folders)) {
        Box(Tx("Cannot install into this folder:\n", "このフォルダにはインストールできません：\n") + dest,
            Buttons::Ok, Icon::Stop);
        if (m_dlg.destinationReadOnly) {
            m_ended = true;
            return RunResult::Ended;
        }
        return RunResult::Waiting;
    }
    Status(Tx("Checking free space...", "空き容量を調べています．"));
    const int space = CheckFreeSpace();
    if (space == IDABORT) {
        Write("Menu", "Change", "");
        m_ended = true;
        return RunResult::Ended;
    }
    if (space == IDRETRY) {
        Status(saved);
        return RunResult::Waiting;
    }
    for (int id : {kOk, kCancel, kReadme, kMenuBrowse, kBrowse})
        m_dlg[id].shown = false;
    if (ReadInt("Setup", "NoUninstall") == 0 && ReadInt("Check", "Menu") == 0 && !m_earlierScript.empty())
        RemoveMenuFolder(m_earlierScript);
    Write("Menu", "Named", Read("Menu", "Change"));
    Write("Menu", "Change", "");
    for (int id : {kDestination, kBoxMenu, kBoxShortcut, kBoxStartup, kBoxQuickLaunch, kBoxExt, kBoxSendTo,
                   kInstallerName, kBoxCopy, kBoxDelete})
        m_dlg[id].enabled = false;
    m_ui.DialogChanged();
    if (ReadInt("CopiedFile", "Count") == 0) {
        Status(Tx("Copying files...", "ファイルをコピーしています．"));
        const int copied = CopyFiles();
        if (copied == 0) {
            Box(Tx("Aborted by user.\r\n\r\nStop install too.", "指示により中断しました\r\n\r\nインストールは行いません"),
                Buttons::Ok, Icon::Stop, Tx("Copy files", "ファイルコピー"));
            m_ended = true;
            return RunResult::Ended;
        }
        if (copied == kCopyFailed) {
            // Nothing is registered for files that are not there.
            Box(Tx("Could not place the files in\n", "次のフォルダにファイルを置けませんでした\n") + dest +
                    Tx("\n\nNothing was installed.", "\n\nインストールは行いません"),
                Buttons::Ok, Icon::Stop, Tx("Copy files", "ファイルコピー"));
            m_ended = true;
            return RunResult::Ended;
        }
    }
    Hide(kDestination);
    Status(Tx("System setup...", "システムの設定をしています．"));
    // The settings store's folder, when this installation is the first to write it, is logged
    // so that it goes again with the installation.
    MakeFoldersLogged(m_store.Folder().string());
    MakeMenuShortcuts(m_dlg.Checked(kBoxMenu));
    Hide(kBoxMenu);
    MakePlaceShortcut(m_dlg.Checked(kBoxShortcut), "Desktop");
    Hide(kBoxShortcut);
    MakePlaceShortcut(m_dlg.Checked(kBoxStartup), "Startup");
    Hide(kBoxStartup);
    MakePlaceShortcut(m_dlg.Checked(kBoxQuickLaunch), "QLaunch");
    Hide(kBoxQuickLaunch);
    SetAssociations(m_dlg.Checked(kBoxExt));
    Hide(kBoxExt);
    MakeSendToShortcuts(m_dlg.Checked(kBoxSendTo));
    Hide(kBoxSendTo);
    WriteUninstallEntry();
    ApplyRegEntries(true);
    // The installation's record lives in the installer's state folder, made (and logged) before
    // the script with its logs is placed.
    MakeFoldersLogged(m_folders.state);
    InstallUninstaller();
    WriteRecord();
    m_dlg[kBoxCopy].shown = false;
    m_dlg[kBoxDelete].shown = false;
    Hide(kInstallerName);
    RunAfterInstall();
    RunCommandList("Make");
    Status(Tx("Completed.", "終了しました．"));
    m_ui.Pause(1000);
    m_runState = 3;
    m_ended = true;
    return RunResult::Ended;
}

RunResult CSetup::Uninstall()
{
    // Without its record nothing of the installation can be told from the user's files: it is
    // left whole rather than taken back by halves.
    LoadRecord();
    if (m_installRoot.empty()) {
        std::error_code ec;
        Box(Tx("The record of this installation was not found:\n", "このインストールの記録が見つかりません：\n") +
                RecordFile(FolderOf(fs::weakly_canonical(m_selfPath, ec).string())) +
                Tx("\n\nNothing was uninstalled.", "\n\nアンインストールは行いません"),
            Buttons::Ok, Icon::Stop);
        m_ended = true;
        return RunResult::Ended;
    }
    for (int id : {kOk, kCancel, kReadme, kMenuBrowse, kBrowse})
        m_dlg[id].shown = false;
    Status(Tx("Unsetup system...", "システムの設定を削除しています．"));
    RunCommandList("Erase");
    MakeMenuShortcuts(false);
    Hide(kBoxMenu);
    MakePlaceShortcut(false, "Desktop");
    Hide(kBoxShortcut);
    MakePlaceShortcut(false, "Startup");
    Hide(kBoxStartup);
    MakePlaceShortcut(false, "QLaunch");
    Hide(kBoxQuickLaunch);
    SetAssociations(false);
    RemoveRegistryKeys();
    Hide(kBoxExt);
    MakeSendToShortcuts(false);
    Hide(kBoxSendTo);
    ApplyRegEntries(false);
    RemoveEmptyStore();
    Status(Tx("Deleting files...", "ファイルを削除しています．"));
    DeleteInstalledFiles();
    Hide(kDestination);
    const std::string left = ListLeftovers();
    if (m_leftovers) {
        // What waits for the next start keeps the uninstaller and its script (and the record
        // that lets them finish) until then; they go at that start too, then the folder.
        std::error_code ec;
        const std::string self = fs::weakly_canonical(m_selfPath, ec).string();
        LoadRecord();
        if (!m_installRoot.empty() && !ec) {
            ScheduleRenameAtReboot(self, std::string());
            ScheduleRenameAtReboot(m_distScript, std::string());
            ScheduleRenameAtReboot(RecordFile(FolderOf(self)), std::string());
            ScheduleRenameAtReboot(FolderOf(self), std::string());
        }
    }
    if (!left.empty() && (ReadInt("Del", "ShowError") != 0 || m_leftovers)) {
        const std::string head = m_leftovers
                                     ? Tx("These will delete after reboot.\n\n", "次のものは再起動後に削除されます．\n\n")
                                     : Tx("Could not delete these...\n\n", "次のものは削除されませんでした．\n\n");
        Box(head + left, Buttons::Ok, Icon::Exclamation, Tx("Delete files and folders", "ファイル・フォルダの削除"));
    }
    Status(Tx("Uninstall completed.", "アンインストールは終了しました"));
    m_ui.Pause(1000);
    m_runState = 2;
    m_ended = true;
    return RunResult::Ended;
}

void CSetup::RemoveEmptyStore()
{
    // The settings store holds nothing once the installation's keys are gone: its files go, and
    // its folder with the other folders the installation made.
    using platform::SettingsHive;
    m_store.Reload();
    for (int h = 0; h < static_cast<int>(SettingsHive::Count); ++h) {
        const auto hive = static_cast<SettingsHive>(h);
        if (!m_store.SubKeys(hive, "").empty() || !m_store.ValueNames(hive, "").empty())
            return;
    }
    for (int h = 0; h < static_cast<int>(SettingsHive::Count); ++h) {
        const std::string f = m_store.HiveFile(static_cast<SettingsHive>(h)).string();
        struct stat st {};
        if (PathAllowed(f, m_folders) && ::lstat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(f.c_str());
    }
}

void CSetup::EndRun()
{
    const std::string title = Title();
    int restartKey = 0;
    if (m_runState == 2) {
        restartKey = ReadInt("Reboot", "Uninstall");
        if (!m_leftovers) {
            m_ini.FreeIniCache();
            SelfDelete();
        } else {
            m_restartAsked = true;
            const int a = m_ui.MessageBox(Tx("Some files will delete\nafter reboot.\n\nReboot now?",
                                             "いくつかのファイルは\n再起動後に削除されます\n\n今すぐ再起動しますか？"),
                                          title, Buttons::YesNo, Icon::Question);
            if (a == IDYES)
                ApplyPending();
        }
    } else if (m_runState == 3) {
        restartKey = ReadInt("Reboot", "Install");
    }
    m_ini.FreeIniCache();
    if (restartKey != 0 && !m_restartAsked && !m_rebootChild) {
        const int a = m_ui.MessageBox(Tx("Your system need reboot.\n\nReboot now?",
                                         "再起動する必要があります\n\n今すぐ再起動しますか？"),
                                      title, Buttons::YesNo, Icon::Question);
        if (a == IDYES)
            ApplyPending();
    }
    std::error_code ec;
    if (!m_runFolder.empty())
        fs::remove_all(m_runFolder, ec);
    m_runFolder.clear();
}

int CSetup::Run(const std::string& selfPath, const std::string& commandLine,
                const std::function<int(CSetup&)>& dialogHook)
{
    if (commandLine.compare(0, 6, "remove") == 0)
        return 0; // the program removes itself at the end of an uninstall; nothing waits here
    const int rc = Prepare(selfPath, commandLine);
    if (rc != 0)
        return rc;
    if (m_rebootMode) {
        RebootQuestion();
        return 0;
    }
    OpenMainDialog();
    while (!m_ended) {
        int answer = IDCANCEL;
        if (dialogHook)
            answer = dialogHook(*this);
        else if (m_dlg.postOk)
            answer = IDOK;
        if (answer == IDOK) {
            if (Ok() == RunResult::Waiting && !dialogHook)
                Cancel();
        } else {
            Cancel();
        }
    }
    EndRun();
    return 0;
}

// Readme.

bool CSetup::FindReadMe()
{
    const std::string file = Read("Readme", "File");
    if (file.empty())
        return false;
    if (EqualNoCase(file, "ReadMe.Special")) {
        for (const std::string& l : ReadMePageLines()) {
            if (l.size() > 5 && EqualNoCase(l.substr(0, 4), "page")) {
                const std::string sel = l.substr(5);
                int n = 0;
                if (EqualNoCase(sel.substr(0, std::min<std::size_t>(sel.size(), 7)), "install"))
                    n = -1;
                else if (EqualNoCase(sel.substr(0, std::min<std::size_t>(sel.size(), 9)), "versionup"))
                    n = -2;
                else if (EqualNoCase(sel.substr(0, std::min<std::size_t>(sel.size(), 9)), "uninstall"))
                    n = -3;
                else if (EqualNoCase(sel.substr(0, std::min<std::size_t>(sel.size(), 4)), "none"))
                    n = -4;
                else
                    n = LeadingInt(sel);
                if (n == m_readmeSelector)
                    return true;
            }
        }
        return false;
    }
    const std::string named = Read("Root", "Named");
    std::string path;
    if (named.empty())
        path = AppendPath(m_sourceFolder, MapScriptPath(file, m_folders).value_or(""));
    else
        path = ExpandPathMacros(file, named, false).value_or("");
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(ExistingCase(path), ec);
}

std::string CSetup::ReadMeText()
{
    const std::string file = Read("Readme", "File");
    const std::string named = Read("Root", "Named");
    std::string path = named.empty() ? AppendPath(m_sourceFolder, MapScriptPath(file, m_folders).value_or(""))
                                     : ExpandPathMacros(file, named, false).value_or("");
    std::string text;
    if (!ReadFileText(ExistingCase(path), text))
        ReadFileText(AppendPath(m_sourceFolder, file), text);
    return text;
}

std::vector<std::string> CSetup::ReadMePageLines()
{
    std::vector<std::string> lines;
    const int n = m_ini.ReadIniCount("Readme", "No", m_script);
    for (int i = 0; i < n; ++i)
        lines.push_back(m_ini.ReadIniString("Readme", std::to_string(i), "", m_script, kNumberBuffer));
    return lines;
}

bool CSetup::AgreementMode() { return ReadInt("Go", "Agree") != 0; }

std::vector<std::string> CSetup::BackgroundLines()
{
    std::vector<std::string> lines;
    if (ReadInt("Back", "Do") == 0)
        return lines;
    for (int i = 0;; ++i) {
        const std::string l = m_ini.ReadIniString("Back", std::to_string(i), "", m_script, kNumberBuffer);
        if (l.empty())
            break;
        lines.push_back(l);
    }
    return lines;
}

} // namespace setup

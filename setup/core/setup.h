// The installer's program state and its steps: reading the script, the main dialog's modes,
// installing (free space, copying, desktop integration, uninstall entry) and uninstalling (taking
// the integration back, removing what the logs record, removing itself). Everything that needs a
// person goes through SetupUi, so the whole flow also runs without a screen.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "setup/core/setup_ini.h"
#include "setup/core/setup_paths.h"

namespace setup {

// Message box answers and buttons.
enum { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };
enum class Buttons { Ok, YesNo, AbortRetryIgnore };
enum class Icon { None, Stop, Exclamation, Question };

// Control ids of the main dialog.
enum Control {
    kOk = 1, kCancel = 2, kReadme = 3,
    kBoxMenu = 1004, kBoxStartup = 1005, kBoxShortcut = 1006, kDestination = 1007, kBrowse = 1008,
    kBoxCopy = 1009, kBoxDelete = 1010, kBoxExt = 1011, kBoxSendTo = 1012, kLabel = 1013,
    kBoxQuickLaunch = 1014, kIconPlace = 1018, kMenuBrowse = 1021, kInstallerName = 1022,
};

struct ControlState {
    bool shown = true;
    bool enabled = true;
    bool checked = false;
    int rowsUp = 0; // rows the control moved up because rows above it are hidden
    std::string text;
};

// What the main dialog shows; the flow fills it and reads the boxes back.
struct MainDialog {
    std::string title;
    std::map<int, ControlState> controls;
    bool destinationReadOnly = false;
    int shrinkRows = 0;
    bool postOk = false;     // run at once (unattended or uninstall word)
    bool openReadme = false; // the readme opens by itself

    ControlState& operator[](int id) { return controls[id]; }
    bool Checked(int id) const;
    bool Shown(int id) const;
};

// The person in front of the installer (dialogs, pauses) and the process starter.
class SetupUi {
public:
    virtual ~SetupUi() = default;
    virtual int MessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon,
                           bool defaultNo = false) = 0;
    // The retry dialog for a file that could not be copied: 0 retry, 1 replace this one at the
    // next start, 2 replace this and every later one at the next start, 3 give this one up,
    // 4 stop the installation.
    virtual int AskRetry(const std::string& target, const std::string& errorText) = 0;
    // The list of files that could not be copied.
    virtual void ShowErrorList(const std::string& text) = 0;
    // The main dialog's state changed (status line, hidden or disabled controls).
    virtual void DialogChanged() {}
    virtual void Pause(int ms) { (void)ms; }
    // Starts a program without waiting for it; false when it could not be started.
    virtual bool StartProgram(const std::vector<std::string>& argv, const std::string& workDir);
    // Runs a program and waits for it (at most a minute); its exit code, -1 when it could not
    // be run or did not end in time.
    virtual int RunAndWait(const std::vector<std::string>& argv);
    // A large file is being copied: `done` of `total` bytes so far (done == total at its end).
    virtual void CopyProgress(const std::string& name, uint64_t done, uint64_t total)
    {
        (void)name, (void)done, (void)total;
    }
};

// Free space of the file system that holds a path.
struct FreeSpace {
    uint64_t device = 0;
    uint64_t freeBytes = 0;
    uint32_t cluster = 4096;
    std::string root; // shown as the no-space box's title
};

enum class RunResult { Waiting, Ended };

class CSetup {
public:
    CSetup(SetupUi& ui, SetupFolders folders, platform::CSettingsStore& store);
    ~CSetup();

    // Test hooks: the free space of a path, and paths that fail as in use.
    std::function<std::optional<FreeSpace>(const std::string& path)> freeSpaceHook;
    std::set<std::string> inUse;
    // Files larger than this are copied with visible progress; a smaller file whose copy took
    // six seconds or more lowers it to half its size.
    uint64_t largeFileThreshold = 100000000;

    // Runs the whole program as its command line asks, with the main dialog answered by
    // `dialogHook` (which may change boxes and returns IDOK or IDCANCEL; none: OK only when the
    // dialog runs by itself). Returns the exit code.
    int Run(const std::string& selfPath, const std::string& commandLine,
            const std::function<int(CSetup&)>& dialogHook = nullptr);

    // The steps Run is made of, for the windowed program.
    int Prepare(const std::string& selfPath, const std::string& commandLine); // 0 or the exit code
    bool Rebooting() const { return m_rebootMode; }
    void RebootQuestion();
    void OpenMainDialog();
    RunResult Ok();
    void Cancel();
    void EndRun();
    // Folder browser result for button 1008 and 1021.
    void ChooseDestination(const std::string& folder);
    void ChooseMenuFolder(const std::string& folder);
    // Where the menu-folder browser starts: the earlier installation's menu folder, else this
    // script's, else the folder of the menu entries.
    std::string MenuBrowseStart();

    // The readme dialog: whether one exists for the current selector, its text or pages.
    bool FindReadMe();
    std::string ReadMeText();
    std::vector<std::string> ReadMePageLines();
    int ReadmeSelector() const { return m_readmeSelector; }
    bool AgreementMode();
    // Paint commands of the background; empty when none is painted.
    std::vector<std::string> BackgroundLines();

    MainDialog& Dialog() { return m_dlg; }
    const std::string& ScriptPath() const { return m_script; }
    const std::string& SourceFolder() const { return m_sourceFolder; }
    const std::string& Destination() { return m_dlg[kDestination].text; }
    std::string Title();
    int RunState() const { return m_runState; }
    bool Leftovers() const { return m_leftovers; }
    const SetupFolders& Folders() const { return m_folders; }
    CIniCache& Ini() { return m_ini; }
    std::string Read(const std::string& sec, const std::string& key, const std::string& dflt = "");
    int ReadInt(const std::string& sec, const std::string& key, int dflt = 0);
    void Write(const std::string& sec, const std::string& key, const std::string& value);

    // Path macros of script entries, relative to a destination folder. nullopt when the entry
    // maps outside the folders the installer may reach.
    std::optional<std::string> ExpandPathMacros(const std::string& entry, const std::string& dest, bool lookUp);
    std::string ResolveFolderWord(const std::string& text);
    // The folder the installer would pick from [Root] Name; sets version-up when an earlier
    // installation is registered.
    std::string DestinationFromScript(bool* versionUp);

    // Steps of the installation.
    int CheckFreeSpace();
    // 1 done, 0 stopped by the user, kCopyFailed when the destination or the uninstaller could
    // not be placed or no file could be copied (everything made is taken back).
    static constexpr int kCopyFailed = -1;
    int CopyFiles();
    int CopyFilesPass();
    void InstallUninstaller();
    void MakeMenuShortcuts(bool make);
    void MakeSendToShortcuts(bool make);
    void MakePlaceShortcut(bool make, const std::string& section);
    void RemoveMenuFolder(const std::string& scriptPath);
    void SetAssociations(bool make);
    void ApplyRegEntries(bool make);
    void RunCommandList(const std::string& word);
    void WriteUninstallEntry();
    void RemoveRegistryKeys();
    void RunAfterInstall();
    // Steps of the uninstallation.
    void DeleteInstalledFiles();
    std::string ListLeftovers();
    void SelfDelete();
    // Removes the settings store's files when nothing is left in it.
    void RemoveEmptyStore();
    // After the file kinds and their entries are gone: the desktop's caches are brought up to
    // date, or removed with the folders the installation made when nothing else is in them.
    void RefreshDesktopCaches();
    // Where a file kind's icon goes in the user's icon theme ("" when the script gives no square
    // PNG icon for it).
    std::string KindIconFile(const std::string& section, const std::string& mime);

    // The pending list: work left for the next start.
    void ScheduleRenameAtReboot(const std::string& from, const std::string& to);
    void ApplyPending();
    std::string PendingFile() const;

    std::string ErrorLogPath() const { return m_errorLog; }
    bool RebootCopy() const { return m_rebootCopy; }

private:
    struct CopyItem;
    struct Staged;

    // Copying helpers.
    bool CopyOneFile(const std::string& source, const std::string& target, std::string& error,
                     const std::string& shownAs = std::string());
    bool StageCopy(const std::string& source, const std::string& target, std::string& stage, std::string& error);
    int CompareFileTimes(const std::string& target, const std::string& source);
    bool MakeDirectoryLogged(const std::string& path, bool logged, int& next);
    void AppendErrorLog(const std::string& source, const std::string& target, const std::string& error);
    bool Owned(const std::string& target);
    void LoadOwned();
    std::optional<FreeSpace> SpaceOf(const std::string& path);
    std::string SourcePath(const std::string& name);
    void RollBack();
    void ReplaceAtReboot(const std::string& source, const std::string& target);
    void MergeUndoLogs(const std::string& from, const std::string& into, const std::string& section);
    // Settings-store keys the installation created, logged so that undo removes only those.
    bool CreateKeyLogged(platform::SettingsHive hive, const std::string& key);
    bool KeyLogged(platform::SettingsHive hive, const std::string& key);
    void DeleteKeyWalkUp(platform::SettingsHive hive, std::string key);
    // Whether a path lies inside what this installation owns: strictly inside its folder, or
    // inside a folder it created (as its own record says, never the script's log alone).
    bool InsideCreatedFolder(const std::string& path);
    // The installation's own record, kept beside the pending list: the folders it created and
    // the size and date of every file it placed. The script's logs name what to remove; only
    // what the record confirms is removed.
    struct Stamp {
        uint64_t size = 0;
        int64_t sec = 0;
        int64_t nsec = 0;
        bool operator==(const Stamp&) const = default;
    };
    static std::optional<Stamp> StampOf(const std::string& path);
    std::string RecordFile(const std::string& root) const;
    void WriteRecord();
    void LoadRecord();
    void LoadRecordOf(const std::string& rootReal);
    bool Recorded(const std::string& path, bool unchanged);
    // A logged file this installation placed, unchanged since (true), and a logged folder it created.
    bool PlacedByUs(const std::string& path, bool unchanged = true);
    bool CreatedByUs(const std::string& folder);
    // Creates a folder and its missing parents, logging the ones created so uninstall removes them.
    bool MakeFoldersLogged(const std::string& path);
    // Shortcut files.
    bool WriteShortcut(const std::string& section, const std::string& file);
    std::string MenuFolder(const std::string& scriptPath);
    void StartShortcut(const std::string& file);
    void DeleteToTrash(const std::string& path);
    std::string ExistingCase(const std::string& path);

    void Status(const std::string& text);
    void Hide(int id, int pauseMs = 500);
    int Box(const std::string& text, Buttons b, Icon i, const std::string& title = std::string(), bool defaultNo = false);
    RunResult Install();
    RunResult Uninstall();

    SetupUi& m_ui;
    SetupFolders m_folders;
    platform::CSettingsStore& m_store;
    CIniCache m_ini;
    MainDialog m_dlg;

    std::string m_selfPath;
    std::string m_sourceFolder;
    std::string m_distScript;   // the script beside the program
    std::string m_script;       // the working copy every access uses
    std::string m_runFolder;    // this run's temporary folder (working script, error log)
    std::string m_errorLog;
    std::string m_earlierScript; // "Setup.ini" of an earlier installation in the destination
    bool m_readOnlyCopy = false;
    bool m_uninstallFlag = false;
    bool m_rebootMode = false;
    bool m_versionUp = false;
    int m_runState = 0;
    int m_readmeSelector = -1;
    bool m_rebootCopy = false;
    bool m_leftovers = false;
    bool m_restartAsked = false;
    bool m_rebootChild = false;
    bool m_ended = false;
    std::set<std::string> m_owned;
    std::vector<std::string> m_createdThisRun;
    std::vector<std::string> m_newDirs;                       // logged folders this run created
    std::vector<std::pair<std::string, Stamp>> m_newFiles;    // files this run placed
    std::string m_installRoot;                                // the installation's folder, as logged
    std::set<std::string> m_recordDirs;
    std::multimap<std::string, Stamp> m_recordFiles;
    bool m_recordLoaded = false;
    bool m_desktopChanged = false;
    std::vector<std::pair<std::string, std::string>> m_stages; // stage -> target
    int m_failed = 0;
};

// Whole file helpers shared by the steps.
bool ReadFileText(const std::string& path, std::string& text);
bool WriteFileAtomic(const std::string& path, const std::string& text);

} // namespace setup

// Where the installer puts things on this system, and how a script's paths become real ones.
// Script paths keep their backslash form ("%programs%\Seamora\Bin", "C:\Tools"); one mapper turns
// them into POSIX paths: a drive form ("C:", "%windrive%", "%$E%") stands for the home folder, the
// folder words for the XDG folders, and a path that could leave those folders is refused.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace setup {

// The folders the script's words and the desktop integration use, read once from the
// environment (HOME and the XDG variables).
struct SetupFolders {
    std::string home;         // the root: drive forms map here
    std::string programs;     // %programs%: $XDG_DATA_HOME
    std::string windows;      // %windows%: $XDG_CONFIG_HOME
    std::string system;       // %system%: ~/.local/lib
    std::string desktop;      // %desktop%: the XDG desktop folder
    std::string applications; // start-menu entries: $XDG_DATA_HOME/applications
    std::string autostart;    // startup entries: $XDG_CONFIG_HOME/autostart
    std::string quickLaunch;  // used only when it exists
    std::string sendTo;       // used only when it exists
    std::string state;        // the pending list: $XDG_STATE_HOME/seamora-setup
    std::string temp;         // $TMPDIR or /tmp
    std::string trash;        // $XDG_DATA_HOME/Trash
    std::string mime;         // $XDG_DATA_HOME/mime
    std::string mimeApps;     // $XDG_CONFIG_HOME/mimeapps.list

    static SetupFolders FromEnvironment();
    // The folders a script path may reach.
    std::vector<std::string> Roots() const;
};

// Whether the messages are shown in Japanese: the messages locale (LC_ALL, then LC_MESSAGES,
// then LANG) begins with "ja". Asked for each message.
bool UseJapanese();
// The English or Japanese twin of a message, by UseJapanese().
std::string Tx(const char* en, const char* ja);

// Joins a folder and a name with exactly one '/'; an empty folder gives the name.
std::string AppendPath(const std::string& folder, const std::string& name);
// The folder part of a path (up to its last '/'), "" when there is none.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// Turns script text into a POSIX path fragment: backslashes become '/', and a leading drive
// ("C:" or "C:\") becomes the home folder. nullopt for a network path ("\\server\share").
std::optional<std::string> MapScriptPath(const std::string& text, const SetupFolders& folders);

// Whether a path may be written or deleted by the installer: absolute, no "." or ".."
// component, not longer than a script path may be, and inside one of the roots once the links
// of its existing parents are resolved.
bool PathAllowed(const std::string& path, const SetupFolders& folders);

} // namespace setup

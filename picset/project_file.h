// Project files: saving and opening ".fit" projects, reading the older ".mcl" layout, and the
// search for image files that moved since the project was saved.
#pragma once

#include <memory>
#include <string>

class CMcCore;
class CMcHost;

struct CRect;

// Whether a picture of this rectangle can be kept in a project file: the loader refuses a record
// of any other size as damage.
bool IsStorablePictureRect(const CRect& rect);
// The same test for a picture about to enter a project: when it fails, the image files' refusal
// reason (LastUnsupportedFeature) says which limit the picture is over.
bool CheckStorablePictureRect(const CRect& rect);

// Outcome of saving or opening a project file.
struct ProjectFileResult {
    int code = 0;        // 1 done; -1 refused, damaged or not written; -3 cancelled by the user
    std::string message; // what to tell the user when the code is -1
    bool told = false;   // the host has shown the message already
    bool modified = false; // opened, but photos were left out or resized: the project differs
                           // from its file and should be marked modified
};

// Saves the picture set as the ".fit" project `path`. Any other extension is refused (the host
// is told, message 25) before a file is touched; the file is written beside the target (the
// file a link at `path` leads to) and replaces it only when complete, so a failure leaves the
// previous file as it was. A folder, device or read-only file at the path is not replaced.
// The document puts each picture's packed colour model into its record before calling this.
ProjectFileResult SaveProjectFile(CMcCore& core, const std::string& path);

// Loads the project file `path` (".mcl" files in the older layout, any other in the current
// one) into `core`, which should be fresh, and looks for moved image files, asking the user
// through the core's host and the file dialog. A damaged file (code -1, with a message) leaves
// `core` untouched; a cancelled search (code -3) leaves it without pictures.
ProjectFileResult LoadProjectFile(CMcCore& core, const std::string& path);

// Opens the project file `path` into a new picture set reporting to `host` (not owned); null
// when the file cannot be opened or the user cancelled (`result` says which), so that the
// caller's current project stays as it was.
std::unique_ptr<CMcCore> OpenProjectFile(const std::string& path, CMcHost* host, ProjectFileResult* result);

// Where the search for a moved image file found it.
struct PictureSearchResult {
    std::string path; // full path of the file found; empty when none of the places holds it
    int candidate = 0; // 1 the stored path, 2 the folder of the previous search, 3 the project's
                       // folder, 4 its sub-folder of the stored last folder name, 5 its parent,
                       // 6 the program's folder, 7 the sample folder beside the program
};

// The full path of an existing regular file at `path`, also when the name on disk differs in
// letter case only; empty when there is none.
std::string FindExistingFile(const std::string& path);

// Tries the places a moved image file may be found, in order: the stored path; the folder where
// the previous search ended (`*searchFolder`, updated when the file is found); beside the project
// file (`projectPath`, may be empty), in its sub-folder named after the stored last folder, in its
// parent folder; beside the program (`programPath`) and in its "SMPLSNAP" folder.
PictureSearchResult SearchPictureFile(const std::string& storedPath, const std::string& projectPath,
                                      const std::string& programPath, std::string* searchFolder);

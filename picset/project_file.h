// Project files: saving and opening ".fit" projects, reading the older ".mcl" layout, and the
// search for image files that moved since the project was saved.
#pragma once

#include <string>

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

// The guide documents that ship beside the program ("Sm" + stem + ".htm" or ".txt", in the
// folder "SmGuide" beside the program or in the program's own folder), opened with the
// desktop's default program.
#pragma once

#include <string>

// The folder that holds the program file ("" when it is not known).
std::string ProgramFolder();
// The guide folder of a program folder: that folder + "/SmGuide" ("" for an empty folder).
std::string GuideFolder(const std::string& programFolder);

// Opens the guide document of the stem ("" means "Guide"): 1 when the desktop opened one,
// -1 when none could be opened (after the message box) or when the program has no main window.
int OpenGuideDocument(const std::string& stem);
// The same with the program folder given (the one the running program lies in for the above).
int OpenGuideDocumentIn(const std::string& stem, const std::string& programFolder);

// True when the program has a main window (set by the main frame while it exists).
bool HasMainWindow();
void SetHasMainWindow(bool has);

// Finding and opening the guide documents.
#include "shell/guide.h"

#include "common/helpers.h"
#include "platform/message_box.h"
#include "platform/system_services.h"

namespace {
bool g_hasMainWindow = false;
} // namespace

bool HasMainWindow() { return g_hasMainWindow; }
void SetHasMainWindow(bool has) { g_hasMainWindow = has; }

std::string ProgramFolder() { return GetFolder(GetProgramPath()); }

std::string GuideFolder(const std::string& programFolder)
{
    return programFolder.empty() ? std::string() : programFolder + "/SmGuide";
}

int OpenGuideDocumentIn(const std::string& stem, const std::string& programFolder)
{
    if (!HasMainWindow())
        return -1;
    const std::string s = stem.empty() ? std::string("Guide") : stem;
    const std::string guide = GuideFolder(programFolder);
    const std::string htm = "Sm" + s + ".htm", txt = "Sm" + s + ".txt";
    const std::pair<const std::string*, const std::string*> tries[] = {
        {&htm, &guide}, {&htm, &programFolder}, {&txt, &guide}, {&txt, &programFolder}};
    for (const auto& [name, folder] : tries)
        if (platform::ShellOpen().Open(*name, *folder, platform::SW_SHOWNORMAL) > 32)
            return 1;
    if (s == "Guide")
        ShowMessage("We can't show operating guide now. Would you open 'SmGuide.htm' by your HTML browser software.",
                    platform::MB_OK);
    else
        ShowMessage("Sorry, we can't show the message.", platform::MB_OK);
    return -1;
}

int OpenGuideDocument(const std::string& stem) { return OpenGuideDocumentIn(stem, ProgramFolder()); }

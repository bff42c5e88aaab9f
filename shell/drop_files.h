// What a drop of files from the file manager asks for: a project to open, or the picture
// names to hand to the work view with the hint that goes with them.
#pragma once

#include <string>
#include <vector>

struct DropPlan {
    // A project file was met: it is opened and nothing else of the drop is used.
    std::string projectPath;
    // Picture names for the document's dropped-name list; empty: no hint.
    std::string names;
    // 113 (one name dropped) or 127 (several), 0 when no hint is sent.
    int hint = 0;
};

// Names longer than 1199 characters and names of other kinds are skipped; BMP, JPEG ("JPG" or
// "JPEG"), TIFF and PNG names are taken; the first project name ends the plan.
DropPlan PlanDrop(const std::vector<std::string>& dropped);

// Sorting a file drop into a project open or a list of pictures.
#include "shell/drop_files.h"

#include "common/helpers.h"

DropPlan PlanDrop(const std::vector<std::string>& dropped)
{
    DropPlan plan;
    std::string list;
    for (const std::string& name : dropped) {
        if (name.size() > 1199)
            continue;
        const FileKind kind = GetFileKind(name);
        if (kind == FILE_KIND_PROJECT) {
            plan.projectPath = name;
            return plan;
        }
        if (kind == FILE_KIND_BMP || kind == FILE_KIND_JPEG || kind == FILE_KIND_TIFF || kind == FILE_KIND_PNG)
            list += name + ";";
    }
    if (list.empty())
        return plan;
    if (dropped.size() > 1) {
        plan.names = list;
        plan.hint = 127;
    } else {
        plan.names = list.substr(0, list.size() - 1);
        plan.hint = 113;
    }
    return plan;
}

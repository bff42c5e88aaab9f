// Storing and loading projects and finding moved picture files, not built yet: every
// function below is a placeholder that does nothing and returns its failure value.
#include "picset/mccore.h"

int CKpic::Serialize(CArchive&) { return -1; } // not built yet
int CKpic::StoreFields(CArchive&) { return -1; } // not built yet
int CKpic::LoadFields(CArchive&) { return -1; } // not built yet
int CKpic::LoadFieldsMcl(CArchive&) { return -1; } // not built yet

int CMcCore::Serialize(CArchive&) { return -1; } // not built yet
int CMcCore::SerializeProject(CArchive&) { return -1; } // not built yet
int CMcCore::StoreProject(CArchive&) { return -1; } // not built yet
int CMcCore::LoadProject(CArchive&) { return -1; } // not built yet
int CMcCore::LoadProjectMcl(CArchive&) { return -1; } // not built yet
int CMcCore::RelocatePictureFiles(const std::string&) { return -1; } // not built yet

// Picture-list operations and the initial lens estimate, not built yet: every function
// below is a placeholder that does nothing and returns its failure value.
#include "picset/mccore.h"

CMcCore::CMcCore() = default; // not built yet: only the field defaults

CMcCore::~CMcCore() = default;

CMcCore* CMcCore::CreateObject()
{
    return new CMcCore(); // not built yet beyond the field defaults
}

CKpic* CMcCore::GetPictureAt(int) const { return nullptr; } // not built yet
CKpic* CMcCore::GetFirstPicture() const { return nullptr; } // not built yet
CKpic* CMcCore::FindPictureByPath(const std::string&) const { return nullptr; } // not built yet
int CMcCore::FindPictureIndex(const std::string&) const { return -1; } // not built yet
int CMcCore::CountReadyPictures() const { return 0; } // not built yet
void CMcCore::DeleteAllPictures() {} // not built yet
void CMcCore::RemovePictureAt(int) {} // not built yet
void CMcCore::MovePictureToEnd(const std::string&) {} // not built yet
CKpic* CMcCore::OpenPicture(const std::string&) { return nullptr; } // not built yet
int CMcCore::DeletePicture(int) { return -1; } // not built yet
void CMcCore::SortPlacedFirst() {} // not built yet
int CMcCore::EnsurePictureImage(CKpic*) { return -1; } // not built yet
void CMcCore::EnsureAllPictureImages() {} // not built yet
void CMcCore::SetProjection(int) {} // not built yet
int CMcCore::InitPictureFocal(CKpic*) { return -1; } // not built yet

int CKpic::InitLensFromExif() { return -1; } // not built yet: the record keeps its defaults
int CKpic::LookupStoredLensData(int) { return -1; } // not built yet
int CKpic::LookupCameraTable(const std::string&) { return -1; } // not built yet

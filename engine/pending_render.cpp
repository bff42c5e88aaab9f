// Render set-up and renderer, not built yet: every function below is a placeholder that
// does nothing and returns its failure value.
#include "picset/mccore.h"

int CMcCore::SetupRender(int, int, int, int, int, int, int) { return -1; } // not built yet
int CMcCore::SetupRenderByWidth(int, int, int, int, int, int) { return -1; } // not built yet
int CMcCore::SetRenderArea(int, int, int, int, int, int) { return -1; } // not built yet
int CMcCore::SetRenderAreaByWidth(const CRect&, int) { return -1; } // not built yet
int CMcCore::GetRenderSpanDegrees() { return -1; } // not built yet
int CMcCore::AllocateRenderBlocks() { return -1; } // not built yet
void CMcCore::OrderRenderPictures() {} // not built yet
void CMcCore::BuildFilterTables() {} // not built yet
int CMcCore::RenderPictures(int, CPixelArray&) { return -1; } // not built yet
int CMcCore::RenderOnePicture(int, CKpic*, int) { return -1; } // not built yet
bool CMcCore::PictureCoversBlock(CKpic*, int, int) { return false; } // not built yet

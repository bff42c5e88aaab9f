// The placement engine, not built yet: every function below is a
// placeholder that does nothing and returns its failure value.
#include "picset/mccore.h"

// Placement by drop and drag, finishing a move.
int CMcCore::PlaceDroppedPicture(const std::string&, CPoint, CPoint, int, int, double) { return 0; } // not built yet
int CMcCore::PlacePictureAtPoint(const std::string&, CPoint, CPoint) { return 0; } // not built yet
void CMcCore::SavePictureState(CKpic*) {} // not built yet
void CMcCore::RestorePictureState(CKpic*) {} // not built yet
int CMcCore::DragPicture(LabeledPoint&, CPixelArray&, CPoint*, int) { return -1; } // not built yet
int CMcCore::MovePictureToPoint(CKpic*, CPoint, CPoint, double) { return -1; } // not built yet
long double CMcCore::WindowColourScore(CKpic*, int, int, const CPixelArray&, int, int, int) { return 1000000.0L; } // not built yet
int CMcCore::FinishMove(int, int, double) { return 0; } // not built yet
int CMcCore::FindRegionAt(PointEntry&, int, int) { return 0; } // not built yet

// Refining one picture.
int CMcCore::RefinePicture(CKpic*, CPoint, CPoint, int) { return -1; } // not built yet
int CMcCore::ConsolidatePicture(CKpic*) { return -1; } // not built yet
int CMcCore::ImprovePointMatch(CKpic*, int) { return -1; } // not built yet
int CMcCore::SeedControlPoints(CKpic*, CPoint, CPoint) { return -1; } // not built yet
int CMcCore::SetPointAtPixel(CKpic*, CPoint, CPoint) { return -1; } // not built yet
int CMcCore::AimPictureAtSphere(CKpic*, CPoint, CDPoint) { return -1; } // not built yet

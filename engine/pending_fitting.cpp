// The automatic fit, placement by drop and drag, and refining one picture, not built yet:
// every function below is a placeholder that does nothing and returns its failure value.
#include "picset/mccore.h"

// Automatic fit, candidate acceptance, row search and closing a row.
int CMcCore::RunAutoFit() { return -1; } // not built yet
int CMcCore::FitAllPictures() { return -1; } // not built yet
int CMcCore::FitNextPicture(int) { return -1; } // not built yet
int CMcCore::FitPictureFromCandidates(CKpic*, CKpic*, int, int) { return -1; } // not built yet
int CMcCore::FindInitialPairs() { return -1; } // not built yet
int CMcCore::FindPairCandidates(CKpic*, CKpic*, int, int) { return -1; } // not built yet
double CMcCore::MeasureRowEnds() { return 1000000.0; } // not built yet
int CMcCore::PlaceRemainingPictures() { return -1; } // not built yet
int CMcCore::SearchPicturePosition(CKpic*, CKpic*, int) { return -1; } // not built yet
void CMcCore::LinkAtMidpoint(CKpic*, CKpic*) {} // not built yet
CKpic* CMcCore::AddAutoControlPoint(CKpic*, CDPoint) { return nullptr; } // not built yet
int CMcCore::Close360Loop() { return -1; } // not built yet
int CMcCore::TiltRow(double, double, double) { return -1; } // not built yet

// Offset scan and pair match.
int CMcCore::ScanOffsets(CKpic*, const CRect&, CKpic*, CPoint, FitCandidateList&) { return -1; } // not built yet
double CMcCore::ScorePairOverlap(CKpic*, CKpic*, int, int, int, double) { return 1000000.0; } // not built yet
double CMcCore::ScorePairOverlapFine(CKpic*, CKpic*, CPoint) { return 1000000.0; } // not built yet
double CMcCore::ScorePairOverlapQuick(CKpic*, CKpic*, CPoint) { return 1000000.0; } // not built yet
int CMcCore::MatchPicturePair(CKpic*, CKpic*, int, int) { return -1; } // not built yet
int CMcCore::RefineMatchedPicture(CKpic*) { return -1; } // not built yet
int CMcCore::FitMatchedPicture(CKpic*, CPoint, CPoint) { return -1; } // not built yet

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

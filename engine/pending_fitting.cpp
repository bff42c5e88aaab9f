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



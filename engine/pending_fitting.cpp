// Focal refresh and snapshots, lens parameters and the background step, and the
// fitting, placement and layout engine, not built yet: every function below is a
// placeholder that does nothing and returns its failure value.
#include "picset/mccore.h"

// Focal refresh, reset, un-fit and undo snapshots.
int CMcCore::SetCommonFocal(double) { return -1; } // not built yet
int CMcCore::ApplyDefaultFocal(const std::string&) { return -1; } // not built yet
int CMcCore::RefreshAllPictures() { return -1; } // not built yet
int CMcCore::RefreshPictureGeometry() { return -1; } // not built yet
int CMcCore::ResetAllPictures() { return -1; } // not built yet
int CMcCore::UnfitAll() { return -1; } // not built yet
int CMcCore::UnfitFromPicture(CKpic*) { return -1; } // not built yet
int CMcCore::UnplaceUnfitted() { return -1; } // not built yet
int CMcCore::SaveFitSnapshot() { return -1; } // not built yet
int CMcCore::SaveUndoSnapshot() { return -1; } // not built yet
int CMcCore::RestoreUndoSnapshot() { return -1; } // not built yet

// Common focal, lens parameters and the background step.
double CMcCore::SearchCommonFocal() { return 1000000.0; } // not built yet
double CMcCore::EvaluateSharedFocal() { return 1000000.0; } // not built yet
double CMcCore::ScoreFocal(double) { return 1000000.0; } // not built yet
double CMcCore::ScoreSharedFocal(double) { return 1000000.0; } // not built yet
void CMcCore::SearchLensRadius() {} // not built yet
void CMcCore::OptimizeDistortion() {} // not built yet
void CMcCore::ResetPictureCentre(CKpic*) {} // not built yet
void CMcCore::UpdateLensScale(CKpic*) {} // not built yet
void CMcCore::UpdateLensModel(double) {} // not built yet
int CMcCore::IdleStep(int) { return 0; } // not built yet
int CMcCore::AutoLinkStep() { return -1; } // not built yet
int CMcCore::TransferOpenPoint(CKpic*) { return 0; } // not built yet
int CMcCore::EvaluateFeatureWindows(CKpic*) { return -1; } // not built yet

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

// Layout grid and base-picture corrections.
CKpic* CMcCore::FindPictureAtHomeCell() { return nullptr; } // not built yet
CRect CMcCore::GetUsedCellsRect() { return CRect(); } // not built yet
void CMcCore::BuildLayoutGrid() {} // not built yet
int CMcCore::CountConnectedPictures(int, int&) { return 0; } // not built yet
int CMcCore::PrepareGridCandidates(int, int&) { return 0; } // not built yet
FitCandidate CMcCore::BestGridCandidate(int) { return FitCandidate(); } // not built yet
FitCandidate CMcCore::CellNeighbourCandidate(CKpic*, int) { return FitCandidate(); } // not built yet
long double CMcCore::PlacementPenalty(CKpic*, CDPoint, double) { return 1000000.0L; } // not built yet
int CMcCore::AdjustBaseAnchor() { return -2; } // not built yet
int CMcCore::LevelPanorama() { return -2; } // not built yet

// Refining one picture.
int CMcCore::RefinePicture(CKpic*, CPoint, CPoint, int) { return -1; } // not built yet
int CMcCore::ConsolidatePicture(CKpic*) { return -1; } // not built yet
int CMcCore::ImprovePointMatch(CKpic*, int) { return -1; } // not built yet
int CMcCore::SeedControlPoints(CKpic*, CPoint, CPoint) { return -1; } // not built yet
int CMcCore::SetPointAtPixel(CKpic*, CPoint, CPoint) { return -1; } // not built yet
int CMcCore::AimPictureAtSphere(CKpic*, CPoint, CDPoint) { return -1; } // not built yet

// Per-picture fitting steps and layout cells.
int CMcCore::RefitPicture(CKpic*, int, int) { return -1; } // not built yet
void CMcCore::SolveFromPointPairs(CKpic*) {} // not built yet
int CMcCore::SolveFocalFromPointPairs(CKpic*) { return -1; } // not built yet
void CMcCore::PreparePicture(CKpic*) {} // not built yet
void CMcCore::CentreFirstPicture(CKpic*) {} // not built yet
void CMcCore::AdoptMeanFocal(CKpic*, CKpic*) {} // not built yet
void CMcCore::CopyRollFromNeighbour(CKpic*, CKpic*) {} // not built yet
void CMcCore::AimFirstPointAtTarget(CKpic*) {} // not built yet
void CMcCore::UpdatePictureGeometry(CKpic*) {} // not built yet
void CMcCore::CommitPicture(CKpic*) {} // not built yet
void CMcCore::CommitPictureAndBounds(CKpic*) {} // not built yet
void CMcCore::MarkFitted(CKpic*) {} // not built yet
int CMcCore::RefreshCommonFocal() { return -1; } // not built yet
int CMcCore::UnfitPicture(const std::string&) { return 0; } // not built yet
int CMcCore::AnchorPictureAt(const std::string&, CPoint, CPoint) { return -2; } // not built yet
int CMcCore::AssignGridCells() { return -1; } // not built yet
CKpic* CMcCore::FindPictureAtCell(const std::vector<CKpic*>&, CKpic*, CPoint) { return nullptr; } // not built yet
CKpic* CMcCore::FindNearestFittedNeighbour(const std::vector<CKpic*>&, CKpic*) { return nullptr; } // not built yet
int CMcCore::ListByDistanceFromBase(std::vector<CKpic*>&) { return -1; } // not built yet

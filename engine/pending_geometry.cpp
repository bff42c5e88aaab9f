// Picture geometry and the picture set's conversions and break polling, not built yet:
// every function below is a placeholder that does nothing and returns its failure value
// ((1e8, 1e8) for a plane point, (5 pi, 0) for a direction, 1000000.0 for a measure).
#include "picset/mccore.h"

namespace {

const CDPoint kNoPlanePoint(100000000.0, 100000000.0);
const CDPoint kNoDirection(5.0 * 3.14159265, 0.0);

} // namespace

CDPoint CKpic::PixelToPlane(CDPoint) const { return kNoPlanePoint; } // not built yet
CDPoint CKpic::PlaneToPixel(CDPoint) const { return kNoPlanePoint; } // not built yet
CPoint CKpic::PlaneToPixelPoint(CDPoint) const { return kNoPlanePoint.ToPoint(); } // not built yet
CDPoint CKpic::PlaneToSphere(CDPoint) const { return CDPoint(); } // not built yet
CDPoint CKpic::SphereToPlane(CDPoint) const { return kNoPlanePoint; } // not built yet
CDPoint CKpic::PixelToSphere(CDPoint) const { return CDPoint(); } // not built yet
CDPoint CKpic::PixelPointToSphere(int, int) const { return CDPoint(); } // not built yet
CDPoint CKpic::SphereToPixel(CDPoint) const { return kNoPlanePoint; } // not built yet
CPoint CKpic::SphereToPixelPoint(CDPoint) const { return kNoPlanePoint.ToPoint(); } // not built yet
double CKpic::GetOffAxisAngle(CDPoint) const { return 0.0; } // not built yet

void CKpic::RefreshPlanePoint(int) {} // not built yet
void CKpic::RefreshControlPoint(int) {} // not built yet
void CKpic::UpdatePointSpherePositions() {} // not built yet
void CKpic::UpdatePointAngles() {} // not built yet
void CKpic::RefreshControlPoints() {} // not built yet
void CKpic::ResetAutoPointStates() {} // not built yet

double CKpic::EstimateFocal() { return 1000000.0; } // not built yet
double CKpic::ClampFocal(double v) const { return v; } // not built yet
double CKpic::ComputePointError() { return 1000000.0; } // not built yet
double CKpic::EstimateFocalFromPointPair(int, int) { return 100000.0; } // not built yet
int CKpic::EstimateFromPointPair(int, int) { return 0; } // not built yet
void CKpic::AimPointAt(CDPoint, CDPoint) {} // not built yet
void CKpic::UpdateOrientationFromAnchor() {} // not built yet
double CKpic::OptimizeOrientation() { return 1000000.0; } // not built yet
double CKpic::ComputeOrientationError() { return 1000000.0; } // not built yet
double CKpic::StepOrientation() { return 1000000.0; } // not built yet
void CKpic::RefinePlacement() {} // not built yet
int CKpic::RefineAndCheck() { return -1; } // not built yet
double CKpic::ComputeFitMeasure(double) { return 1000000.0; } // not built yet

int CKpic::FindWorstPoint(int& count, double& residual) // not built yet
{
    count = 0;
    residual = 0.0;
    return 48;
}

bool CKpic::ContainsPoint(int, int, int) const { return false; } // not built yet
int CKpic::HitTestPointArea(CDPoint) const { return 0; } // not built yet
bool CKpic::CoversSpherePoint(CDPoint) const { return false; } // not built yet

CDPoint CMcCore::SphereToPlane(CDPoint) const { return kNoPlanePoint; } // not built yet
CDPoint CMcCore::PlaneToSphere(CDPoint) const { return kNoDirection; } // not built yet
CPoint CMcCore::SphereToPixel(CDPoint) const { return kNoPlanePoint.ToPoint(); } // not built yet
CDPoint CMcCore::PixelToSphere(int, int) const { return kNoDirection; } // not built yet
CDPoint CMcCore::OutputToPlane(int, int) const { return CDPoint(); } // not built yet
CDPoint CMcCore::OutputToPlaneD(CDPoint) const { return CDPoint(); } // not built yet
CDPoint CMcCore::PlaneToOutput(CDPoint) const { return CDPoint(); } // not built yet
CPoint CMcCore::PixelToPicture(CKpic*, int, int) const { return CPoint(); } // not built yet
CPoint CMcCore::PixelToPictureD(CKpic*, double, double) const { return CPoint(); } // not built yet
CPoint CMcCore::PictureToPixel(CKpic*, int, int) const { return CPoint(); } // not built yet
CRect CMcCore::GetOutputArea(int) { return CRect(); } // not built yet
int CMcCore::PollBreak() { return 0; } // not built yet
int CMcCore::GetProgressTick() { return 1; } // not built yet
void CMcCore::ResetProgress() {} // not built yet

// Solving a picture against the base picture from the control points they share, and tying a
// picture to a point of the output. The focal searches on the shared points are in
// focal_from_pairs.cpp; here their answers are checked and applied to both pictures.
//
// A search that found nothing answers a sentinel focal (FocalSolveFailed, or FocalScanFailed
// from the range scan); such an answer is no estimate and changes no focal.
#include <string>

#include "engine/fit/fit_candidates.h"
#include "engine/fit/fit_messages.h"
#include "engine/fit/focal_from_pairs.h"
#include "geometry/focal_from_angle.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

constexpr int MsgNoPictureThere = 31;
constexpr double PlausibleFocalFactor = 1.3;

bool IsFocalEstimate(double f) { return f > 0.0 && f < FocalSolveFailed; }

} // namespace

// The base picture re-aimed with its (new) focal, then p re-linked and re-solved against it.
static void RefreshPairOfPictures(CMcCore& set, CKpic* base, CKpic* p)
{
    base->UpdateOrientationFromAnchor();
    base->RefreshControlPoints();
    set.ResolvePointPartners(p);
    p->OptimizeOrientation();
    p->RefreshControlPoints();
}

void CMcCore::SolveFromPointPairs(CKpic* picture)
{
    CKpic* base = GetFirstPicture();
    if (!base || !picture || base == picture)
        return;
    const int n = PairFeaturePoints(*base, *picture);
    if (n < 1)
        return;
    const SegmentPair* pairs = GetFocalPairing().pairs;
    const int ok = m_IndividualFocal ? SegmentsAgree(pairs[0]) : 1;
    if (ok) {
        const double f = SolveFocalForEqualAngles(pairs[0]);
        if (IsFocalEstimate(f)) {
            base->m_Focal = f;
            m_CommonFocal = f;
            picture->m_Focal = f;
        }
    } else {
        picture->m_Focal = base->m_Focal * MeanLengthRatio(pairs, 1);
    }
    RefreshPairOfPictures(*this, base, picture);
}

int CMcCore::SolveFocalFromPointPairs(CKpic* picture)
{
    CKpic* base = GetFirstPicture();
    if (!base || !picture || base == picture)
        return -1;
    const int n = PairFeaturePoints(*base, *picture);
    if (n < 1)
        return -1;
    SegmentPair* pairs = GetFocalPairing().pairs;
    double F = m_CommonFocal;
    double fP;
    if (m_IndividualFocal) {
        fP = SearchFocalFromPairs(pairs, n, F);
    } else {
        F = ScanFocalRange(pairs, n, F);
        fP = F;
    }
    if (!IsFocalEstimate(fP) || !IsFocalEstimate(F) || (!m_IndividualFocal && F == FocalScanFailed))
        return -4;
    if (EngineModeFlag == 1) {
        if (fP < picture->m_MinFocal || F < base->m_MinFocal)
            return -4;
        if (FitMode >= 1 &&
            (fP > PlausibleFocalFactor * picture->m_DefaultFocal || F > PlausibleFocalFactor * base->m_DefaultFocal))
            return -4;
    }
    base->m_Focal = F;
    m_CommonFocal = F;
    picture->m_Focal = fP;
    RefreshPairOfPictures(*this, base, picture);
    return 1;
}

int CMcCore::AnchorPictureAt(const std::string& path, CPoint picturePoint, CPoint outputPoint)
{
    CKpic* picture = FindPictureByPath(path);
    if (!picture)
        return 0;
    int32_t id;
    CDPoint direction;
    PointEntry region;
    if (FindRegionAt(region, outputPoint.x, outputPoint.y) > 0) {
        id = region.id;
        direction = region.pos;
    } else {
        id = NewPointId();
        direction = PixelToSphere(outputPoint.x, outputPoint.y);
        if (!AddPartnerPoint(picture, id, direction)) {
            if (m_Host)
                m_Host->ShowMessage(FitMessage(MsgNoPictureThere), 1, std::string(), std::string());
            return -2;
        }
    }
    const int slot = picture->FindFreePoint();
    ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(slot)];
    cp.kind = 1;
    cp.state = 3;
    cp.position = CDPoint(picturePoint.x, picturePoint.y);
    cp.SetPlanePoint(picture->PixelToPlane(cp.position), picture->m_Focal);
    cp.pointId = id;
    cp.target = direction;
    if (m_Host)
        m_Host->OnPlacementChanged(0);
    return slot;
}

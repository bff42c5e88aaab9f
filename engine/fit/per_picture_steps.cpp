// The picture set's steps that fit or settle one picture at a time: refitting a picture from its
// control-point links, preparing a newly placed picture, centring the first picture, adopting
// focal and roll from fitted neighbours, committing a picture as fitted and undoing its fit.
// The solvers from point pairs and the anchoring of a picture at an output point are in
// pair_solvers.cpp; the layout cells in layout_cells.cpp.
//
// Angles are radians with the engine's pi; a quarter turn is pi/2 of that pi.
#include <cmath>
#include <string>

#include "common/status_codes.h"
#include "engine/fit/fit_messages.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

constexpr int MsgMatchFailed = 67;
constexpr int MsgPicturePrepared = 54;
constexpr int MsgBaseStaysFitted = 37;
constexpr int EngineStateUnfitted = 8;
constexpr double LargestCentredFocal = 30000.0;
constexpr double UnfittedMeasure = 1000.0;
constexpr double RightAngleTolerance = 1e-12;

// The roll that quarter turns give a picture, in (-pi, pi].
double RollOfQuarterTurns(int turns) { return NormalizeAngle(turns * EngineHalfPi); }

// P's roll from R's: the same when both are turned alike, else R's roll plus the quarter turns
// between them.
void TakeRollFrom(CKpic* p, const CKpic* r)
{
    if (p->QuarterTurns == r->QuarterTurns)
        p->m_Roll = r->m_Roll;
    else
        p->m_Roll = NormalizeAngle(r->m_Roll + ((p->QuarterTurns - r->QuarterTurns + 4) % 4) * EngineHalfPi);
}

} // namespace

int CMcCore::RefitPicture(CKpic* picture, int slot, int notify)
{
    if (!picture || m_JobMode == -1)
        return -1;
    int result = 1;
    int n = picture->CountFittedPoints();
    const int old = picture->m_Status;
    const int index = FindPictureIndex(picture->m_Path);
    const std::string path = picture->m_Path;

    if ((m_FittedCount == 1 || index == 1) && FitMode <= 0) {
        if (n <= 1) {
            AdoptMeanFocal(picture, nullptr);
            AimFirstPointAtTarget(picture);
            if (notify >= 1)
                NotifyHost(HINT_PICTURE_PLACEMENT, &path);
        } else if (n == 2) {
            SolveFromPointPairs(picture);
            picture->m_Status = 1;
            MatchPicturePointsWith(picture, 1.0, 8);
            n = picture->CountFittedPoints();
            if (n < 2) {
                picture->m_Status = 0;
            } else {
                SolveFromPointPairs(picture);
                MatchPicturePointsWith(picture, 1.0, 8);
            }
            if (notify >= 1)
                NotifyHost(HINT_FIT_CHANGED);
        } else {
            if (slot >= 0) {
                if (MatchControlPoint(picture, slot, 1.0, 8) < 0)
                    FitStatus(m_Host, MsgMatchFailed);
                if (m_JobMode == -1)
                    return -1;
            }
            result = SolveFocalFromPointPairs(picture);
            if (notify >= 1)
                NotifyHost(HINT_FIT_CHANGED);
        }
        UpdateBoundingRect();
    } else if (m_FittedCount >= 2 || (m_FittedCount == 1 && FitMode >= 1)) {
        if (n == 1) {
            AdoptMeanFocal(picture, nullptr);
            AimFirstPointAtTarget(picture);
        } else if (n == 2) {
            UpdatePictureGeometry(picture);
            MatchPicturePointsWith(picture, 1.0, 8);
            if (m_JobMode == -1)
                return -1;
            UpdatePictureGeometry(picture);
        } else if (n >= 3) {
            if (slot >= 0) {
                MatchControlPoint(picture, slot, 1.0, 8);
                if (m_JobMode == -1)
                    return -1;
            }
            UpdatePictureGeometry(picture);
        }
        ExtendBoundingRect(picture);
    }

    if (n >= 2 && picture->m_Status < 1)
        picture->m_Status = 1;
    if (old >= 3)
        UnfitFromPicture(picture);
    m_StepMarker = 0;
    return result;
}

void CMcCore::PreparePicture(CKpic* picture)
{
    if (!picture)
        return;
    if (picture->QuarterTurns != 0 && picture->m_Roll == 0.0)
        picture->m_Roll = RollOfQuarterTurns(picture->QuarterTurns);
    picture->UpdateOrientationFromAnchor();
    if (m_CommonFocal == 1000.0)
        m_CommonFocal = picture->m_Focal;
    else
        picture->m_Focal = m_CommonFocal;
    if (FindPictureIndex(picture->m_Path) != 0) {
        // Through the fitted group and back: the picture becomes the first unfitted one.
        picture->m_Status = 3;
        SortPlacedFirst();
        picture->m_Status = 2;
        SortPlacedFirst();
    }
    FitStatus(m_Host, MsgPicturePrepared);
}

void CMcCore::CentreFirstPicture(CKpic* picture)
{
    if (!picture)
        return;
    if (picture->m_Focal > LargestCentredFocal || picture->m_Focal < picture->m_MinFocal)
        picture->m_Focal = picture->m_DefaultFocal;
    if (picture->m_Roll == 0.0 && picture->QuarterTurns > 0)
        picture->m_Roll = RollOfQuarterTurns(picture->QuarterTurns);
    picture->m_Status = 3;
    picture->RefreshControlPoints();
    m_CommonFocal = picture->m_Focal;
    NotifyHost(HINT_FIT_CHANGED);
    FitStatus(m_Host, kMsgFirstPictureCentred);
    if (m_Host)
        m_Host->OnPictureEvaluated();
}

void CMcCore::AdoptMeanFocal(CKpic* picture, CKpic* reference)
{
    CKpic* base = GetFirstPicture();
    if (!picture || !base)
        return;
    if (InitPictureFocal(picture) <= 0) {
        double sum = 0.0;
        int count = 0;
        for (const auto& k : m_Pictures) {
            if (k->m_Status < 3)
                break;
            sum += k->m_Focal;
            ++count;
        }
        picture->m_Focal = count > 0 ? sum / count : m_CommonFocal;
    }
    if (DeviationFromRightAngle(picture->m_Roll) <= RightAngleTolerance)
        TakeRollFrom(picture, reference ? reference : base);
}

void CMcCore::CopyRollFromNeighbour(CKpic* picture, CKpic* reference)
{
    CKpic* from = reference ? reference : GetFirstPicture();
    if (!picture)
        return;
    InitPictureFocal(picture);
    if (from)
        TakeRollFrom(picture, from);
}

void CMcCore::AimFirstPointAtTarget(CKpic* picture)
{
    if (!picture || picture->CountControlPoints() < 1)
        return;
    const ControlPoint& first = picture->m_Points[0];
    picture->AimPointAt(first.position, first.target);
    picture->UpdatePointAngles();
    picture->RefreshControlPoints();
}

void CMcCore::UpdatePictureGeometry(CKpic* picture)
{
    if (!picture)
        return;
    if (m_IndividualFocal != 1) {
        InitPictureFocal(picture);
        picture->RefinePlacement();
        return;
    }
    // A picture with too few links for a focal of its own starts from the default one.
    if (picture->CountFittedPoints() + picture->FindPointStateM5() < 2)
        InitPictureFocal(picture);
    picture->RefineAndCheck();
}

void CMcCore::CommitPicture(CKpic* picture)
{
    if (!picture)
        return;
    UpdatePictureGeometry(picture);
    picture->m_Status = 3;
    ApplyDefaultFocal(picture->m_Path);
    NotifyHost(HINT_FIT_CHANGED);
    if (m_Host)
        m_Host->OnPictureEvaluated();
}

void CMcCore::CommitPictureAndBounds(CKpic* picture)
{
    if (!picture)
        return;
    UpdatePictureGeometry(picture);
    picture->m_Status = 3;
    UpdateBoundingRect();
    if (m_Host)
        m_Host->OnPictureEvaluated();
}

void CMcCore::MarkFitted(CKpic* picture)
{
    if (!picture)
        return;
    picture->m_Status = 3;
    UpdateBoundingRect();
    if (m_Host)
        m_Host->OnPictureEvaluated();
}

int CMcCore::RefreshCommonFocal()
{
    SaveFitSnapshot();
    return SetCommonFocal(0.0);
}

int CMcCore::UnfitPicture(const std::string& path)
{
    const int index = FindPictureIndex(path);
    if (index < 0)
        return 0;
    CKpic* picture = GetPictureAt(index);
    if (index == 0 && picture->m_Status == 3) {
        // The base picture carries the others: it stays fitted.
        if (m_Host)
            m_Host->ShowMessage(FitMessage(MsgBaseStaysFitted), 1, picture->m_Path, std::string());
        return 1;
    }
    picture->m_Status = 0;
    picture->m_SearchMark = 0;
    UnfitFromPicture(picture);
    picture->m_FitScore = UnfittedMeasure;
    ResetPicture(picture);
    SortPlacedFirst();
    m_Activity = EngineStateUnfitted;
    return 1;
}

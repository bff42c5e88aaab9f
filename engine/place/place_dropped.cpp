// Placing a picture the user dropped on the work space: the first picture becomes the centred
// base picture; any later one is put where it was released and refined against its placed
// neighbours, so that it snaps into a fitted position, stays where the user put it, or is
// refused with the saved state put back. Also placing a picture by path at a point, and the
// saved picture state the drop restores on failure.
#include <algorithm>
#include <cmath>
#include <string>

#include "engine/fit/fit_candidates.h"
#include "engine/fit/fit_messages.h"
#include "geometry/projections.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/input_state.h"

namespace {

constexpr int MsgBaseCannotDrop = 38;
constexpr int MsgOtherPictureSize = 42;
constexpr int MsgPlacedNotFitted = 35;
constexpr int MsgNoFitFound = 39;
constexpr int QuestionKeepWhereDropped = 28;
constexpr int StatusSearching = 60;
constexpr int StatusDone = 63;
constexpr int StepSearch = 4;
constexpr int DropTickBudget = 20735;
constexpr int TickBudgetCounter = 9;
constexpr int ProgressTarget = 3;
constexpr double NoFit = 1000.0;

bool Given(CPoint p) { return !(p.x == 0 && p.y == 0); }

} // namespace

void CMcCore::SavePictureState(CKpic* picture)
{
    if (picture == nullptr)
        return;
    m_SavedFocal = picture->m_Focal;
    m_SavedRoll = picture->m_Roll;
    m_SavedDirection = picture->m_Direction;
    m_SavedCommonFocal = m_CommonFocal;
}

void CMcCore::RestorePictureState(CKpic* picture)
{
    if (picture == nullptr)
        return;
    picture->m_Focal = m_SavedFocal;
    picture->m_Roll = m_SavedRoll;
    picture->m_Direction = m_SavedDirection;
    m_CommonFocal = m_SavedCommonFocal;
    if (CKpic* base = GetFirstPicture())
        base->m_Focal = m_SavedCommonFocal;
}

int CMcCore::PlacePictureAtPoint(const std::string& path, CPoint picturePoint, CPoint outputPoint)
{
    CKpic* picture = FindPictureByPath(path);
    if (picture == nullptr)
        return 0;
    if (picture->m_SearchMark >= 0 && !picture->ContainsPoint(picturePoint.x, picturePoint.y, 20))
        return 0;
    const int slot = AnchorPictureAt(path, picturePoint, outputPoint);
    if (slot < 0)
        return 0;
    m_JobMode = 0;
    RefitPicture(picture, slot, 1);
    if (m_Host)
        m_Host->OnPicturePlaced(4);
    m_Activity = 4;
    return 1;
}

int CMcCore::PlaceDroppedPicture(const std::string& path, CPoint picturePoint, CPoint outputPoint, int refineMode,
                                 int searchMode, double rollChange)
{
    m_Candidates.clear();
    m_IndividualFocal = m_FocalModeSetting;
    const int individualFocal = m_IndividualFocal;
    if (m_FitPriority > 1)
        m_FitState = m_FitPriority;

    CKpic* picture = FindPictureByPath(path);
    if (picture == nullptr)
        return 0;
    if (m_Host)
        m_Host->OnPictureChanged(path);
    EnsurePictureImage(picture);
    const int n = GetFittedCount() + 1;

    if (GetFittedCount() == 0) {
        if (picture->FindAnchorPoint() < 0) {
            picture->m_Focal = picture->m_DefaultFocal;
            picture->m_Direction = CDPoint(0.0, 0.0);
        }
        CentreFirstPicture(picture);
        picture->EnsureReady();
        SortPlacedFirst();
        return 1;
    }

    SavePictureState(picture);
    platform::IInputState& input = platform::Input();
    const bool ctrl = input.KeyState(platform::Key::Control);
    const bool shift = input.KeyState(platform::Key::Shift);
    if (ctrl)
        searchMode = 3;

    CKpic* base = GetFirstPicture();
    if (base != nullptr && path == base->m_Path) {
        if (m_Host)
            m_Host->ShowMessage(FitMessage(MsgBaseCannotDrop), 1, std::string(), std::string());
        return 0;
    }
    if (base != nullptr && !IsSameSizeAnyTurn(picture->m_PictureRect, base->m_PictureRect) &&
        picture->CountKind1Points() == 0 && !ctrl && picture->m_LensSource < 1 && m_Host)
        m_Host->ShowMessage(FitMessage(MsgOtherPictureSize), 1, std::string(), std::string());

    if (picture->m_SearchMark < 0) {
        picture->m_SearchMark = 0;
        NotifyHost(HINT_FIT_CHANGED);
    }
    RemoveAutoPoints(picture);
    if (picture->m_FitScore >= NoFit)
        ResetPicture(picture);

    const bool bothGiven = Given(picturePoint) && Given(outputPoint);
    if (shift && bothGiven) {
        const int slot = AnchorPictureAt(path, picturePoint, outputPoint);
        if (slot < 0)
            return 0;
        RefitPicture(picture, slot, 0);
        if (picture->m_Status > 1)
            picture->m_Status = 1;
        return 3;
    }
    if (std::fabs(rollChange) > 0.01 && bothGiven) {
        ResetPicture(picture);
        picture->m_Roll += rollChange;
        const int slot = AnchorPictureAt(path, picturePoint, outputPoint);
        if (slot >= 0)
            RefitPicture(picture, slot, 0);
    }

    picture->OptimizeOrientation();
    if (picture->m_FitScore >= NoFit) {
        CopyRollFromNeighbour(picture, nullptr);
        if (picture->CountControlPoints() > 0)
            AimFirstPointAtTarget(picture);
    }
    picture->RefreshControlPoints();
    CollectOpenPoints();

    const int side = std::max(picture->Width(), picture->Height());
    if (side < 1)
        return 0;
    m_FitTolerance = std::sqrt(static_cast<double>(side)) / 6.0;
    int outcome = -1;
    picture->EnsureReady();
    m_Candidates.clear();

    FitStatus(m_Host, StatusSearching);
    if (m_Host)
        m_Host->BeginStep(FitMessage(StepSearch), FitMessage(StepSearch + 1), FitMessage(StepSearch + 2), path);
    ResetProgress();
    m_Progress[TickBudgetCounter] = DropTickBudget;
    PollBreak();
    m_Progress[ProgressTarget] = GetFittedCount() + 1;
    m_JobMode = 2;
    EnsureAllPictureImages();

    const double tolerance = m_FitTolerance;
    bool inconclusive = false;
    auto judge = [&](int r) {
        if (r >= 1) {
            outcome = r >= 3 ? 3 : 1;
            if (picture->CountControlPoints() >= 5 && picture->m_FitScore < tolerance)
                outcome = 1;
        } else if (r == 0) {
            inconclusive = true;
        }
    };
    if (picture->CountKind1Points() > 0) {
        judge(RefinePicture(picture, picturePoint, outputPoint, refineMode));
    } else if (bothGiven) {
        if (picture->CountFittedPoints() == 0) {
            CopyRollFromNeighbour(picture, nullptr);
            SetPointAtPixel(picture, picturePoint, outputPoint);
        }
        SavePictureState(picture);
        const int r = RefinePicture(picture, picturePoint, outputPoint, refineMode);
        if (r >= 1)
            outcome = r;
        else if (r == 0)
            inconclusive = true;
    }
    if (inconclusive) {
        MatchPicturePoints(picture);
        if (picture->CountControlPoints() >= 5 && picture->m_FitScore < tolerance)
            outcome = 1;
        if (picture->m_FitScore < 2.0 * tolerance) {
            FitCandidate c;
            c.picture = picture;
            c.kcen = picture->m_Direction;
            c.omg = picture->m_Roll;
            c.dpr = picture->m_Focal;
            c.hp = picturePoint;
            c.upsp = PixelToSphere(outputPoint.x, outputPoint.y);
            c.uppic = nullptr;
            c.score = picture->m_FitScore;
            InsertCandidateSorted(m_Candidates, c, 5, 0.0);
        }
    }

    auto commit = [&] {
        if (n == 2)
            CommitPicture(picture);
        else
            CommitPictureAndBounds(picture);
    };
    auto keepWhereDropped = [&] {
        CreatePointPair(picture, nullptr);
        picture->m_SearchMark = -2;
        UpdateBoundingRect();
    };
    const bool good = picture->CountFittedPoints() >= 5 && (picture->m_FitScore < tolerance || outcome >= 3);
    if (good) {
        commit();
    } else if (searchMode >= 3) {
        if (picture->CountFittedPoints() < 3)
            ConsolidatePicture(picture);
        const int fitted = picture->CountFittedPoints();
        if (fitted >= 2 && picture->m_FitScore < 2.0 * tolerance) {
            UpdatePictureGeometry(picture);
            const double d = std::fabs(picture->m_Roll - m_SavedRoll);
            if (d > 0.1 || (d > 0.05 && ctrl)) {
                picture->m_Roll = m_SavedRoll;
                CreatePointPair(picture, nullptr);
                picture->m_SearchMark = -2;
            } else {
                commit();
            }
        } else if (fitted >= 1 && picture->m_FitScore < 2.0 * tolerance) {
            RestorePictureState(picture);
            MarkFitted(picture);
            keepWhereDropped();
        } else {
            RestorePictureState(picture);
            if (m_Host) {
                m_Host->ShowViewMessage(1, picture->m_Path);
                if (m_Host->AskQuestion(FitMessage(QuestionKeepWhereDropped), 1, std::string(), std::string()) == 1) {
                    picture->m_Status = 3;
                    keepWhereDropped();
                }
            }
        }
    } else if (picture->CountControlPoints() >= 3 && picture->m_FitScore < 2.0 * tolerance) {
        picture->m_Status = 2;
        if (m_Host)
            m_Host->ShowMessage(FitMessage(MsgPlacedNotFitted), 1, std::string(), std::string());
    } else {
        RestorePictureState(picture);
        RemoveAutoPoints(picture);
        picture->m_Status = 0;
        if (Given(outputPoint) && m_Host)
            m_Host->ShowMessage(FitMessage(MsgNoFitFound), 1, std::string(), std::string());
    }

    SortPlacedFirst();
    PruneBrokenLinks();
    if (m_Host)
        m_Host->EndStep();
    m_RegionsValid = 0;
    const bool broken = m_JobMode == -1;
    m_JobMode = 0;
    m_IndividualFocal = individualFocal;
    if (m_Host)
        m_Host->OnListChanged(2);

    if (picture->m_Status > 2) {
        const int fitted = GetFittedCount();
        if (fitted == 2 || fitted == 4 || fitted == 8) {
            if (m_Host)
                m_Host->ShowViewMessage(1, path);
            if (searchMode <= 0) {
                m_JobMode = 2;
                OptimizeFit();
                m_JobMode = 0;
            }
            if (IsPanoramaProjection(m_Projection))
                AdjustBaseAnchor();
            NotifyHost(HINT_FIT_CHANGED);
        } else {
            NotifyHost(HINT_SET_CHANGED);
            NotifyHost(HINT_PICTURE_PLACEMENT, &path);
        }
    }
    FitStatus(m_Host, StatusDone);
    m_Activity = broken ? 9 : 6;
    m_JobMode = 0;
    return 1;
}

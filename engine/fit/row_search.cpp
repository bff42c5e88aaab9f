// Whether a picture tried beside a fitted neighbour is kept, and the two walks of the row
// driver: the initial search that measures the steps between horizontal neighbours and derives
// the common focal from them, and the walk that places the remaining pictures of a full row.
//
// Directions are (longitude, latitude) in radians; yaw steps are signed so that a step toward
// the picture's right is positive whichever side the partner lies on.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/fit/auto_fit_steps.h"
#include "engine/fit/fit_candidates.h"
#include "engine/fit/fit_messages.h"
#include "engine/fit/lens_model.h"
#include "geometry/sphere.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

constexpr double kQuarterSnapshotLimit = UnusableScore / 4;
// A row picture's first try that passes with a fit score above this share of the tolerance is
// tried the wider way as well.
constexpr double WeakPassFactor = 0.7;

void ApplyCandidate(CKpic* b, const FitCandidate& c)
{
    b->m_Direction = c.kcen;
    b->m_Roll = c.omg;
    b->m_Focal = c.dpr;
}

// The reference pixel a given fraction (1 / parts) of the picture's size off its centre along
// the keypad direction `code`. The row search first takes a tenth; its wider try takes the pair
// match's third, which reaches neighbours half as far again.
bool OffCentreReference(int code, const CKpic* p, int parts, CPoint& out)
{
    const int w = p->Width(), h = p->Height();
    out = CPoint(w / 2, h / 2);
    switch (RotateKeypadPosition(code, p->QuarterTurns)) {
    case 2: out.y += h / parts; return true;
    case 4: out.x += w / parts; return true;
    case 6: out.x -= w / parts; return true;
    case 8: out.y -= h / parts; return true;
    default: return false;
    }
}

// The pair match's window in the partner for a side neighbour on a second pass: about the
// partner's centre moved a quarter toward the picture, to the partner's far edge.
bool PairWindow(int code, const CKpic* partner, const CRect& layout, CRect& out)
{
    const int w = partner->Width(), h = partner->Height();
    CRect r(w / 2, h / 2, w / 2, h / 2);
    switch (RotateKeypadPosition(code, partner->QuarterTurns)) {
    case 2: r.OffsetRect(0, -h / 4); r.InflateRect(w / 7, h / 2); break;
    case 4: r.OffsetRect(-w / 4, 0); r.InflateRect(w / 2, h / 7); break;
    case 6: r.OffsetRect(w / 4, 0); r.InflateRect(w / 2, h / 7); break;
    case 8: r.OffsetRect(0, h / 4); r.InflateRect(w / 7, h / 2); break;
    default: return false;
    }
    if (layout.Width() == 0 || layout.Height() == 0) {
        r.InflateRect(w / 7, h / 7);
    } else {
        r.InflateRect(w / 6, h / 6);
        r.InflateRect(w / 6, h / 6);
    }
    CRect clipped;
    if (!clipped.IntersectRect(r, partner->m_PictureRect))
        return false;
    out = clipped;
    return true;
}

// Takes back a try: the picture goes back to unplaced and loses its points with their halves
// in the partners, except the row-closing point, which the initial search made and not the try.
void TakeBackTry(CMcCore& set, CKpic* picture)
{
    if (picture->FindPointStateM6() < 0) {
        set.ResetPicture(picture);
        return;
    }
    const int n = picture->CountControlPoints();
    for (int i = 0; i < n; ++i)
        if (picture->m_Points[static_cast<size_t>(i)].state != -6)
            set.RemoveControlPoint(picture, i);
    picture->CompactControlPoints();
    picture->m_Status = 0;
    picture->m_Direction = CDPoint(0.0, 0.0);
    picture->m_Roll = 0.0;
    set.ResetPictureCentre(picture);
    set.UpdateLensScale(picture);
    picture->m_Focal = picture->m_DefaultFocal;
    picture->m_FitScore = 0.0;
    set.m_RegionsValid = 0;
}

// Where the row's two walks meet, the two pictures were fitted from opposite sides and carry
// the whole row's miss between them. A closing point is laid midway between them where they
// now lie and matched in the right one's image, so that it holds their true offset.
bool MeasureRowSeam(CMcCore& set, CKpic* left, CKpic* right)
{
    const int32_t id = NewPointId();
    const CDPoint mid = GreatCircleMidpoint(left->m_Direction, right->m_Direction);
    const int i = left->AddPointAt(id, left->SphereToPixel(mid));
    const int j = right->AddPointAt(id, right->SphereToPixel(mid));
    bool laid = false;
    if (i >= 0 && j >= 0) {
        left->m_Points[static_cast<size_t>(i)].kind = 4;
        left->m_Points[static_cast<size_t>(i)].state = -6;
        right->m_Points[static_cast<size_t>(j)].kind = 4;
        right->m_Points[static_cast<size_t>(j)].state = 2;
        laid = set.RefinePointPosition(right, j) == 1 && set.m_JobMode != -1;
        right->m_Points[static_cast<size_t>(j)].state = -6;
    }
    if (!laid) {
        if (i >= 0)
            left->m_Points[static_cast<size_t>(i)].Free();
        if (j >= 0)
            right->m_Points[static_cast<size_t>(j)].Free();
    }
    return laid;
}

CKpic* PictureAtCell(const CMcCore& set, CPoint cell)
{
    for (const auto& owned : set.m_Pictures)
        if (owned->m_LayoutCell == cell)
            return owned.get();
    return nullptr;
}

// The search window in the partner for a horizontal or vertical neighbour.
bool PartnerWindow(int code, const CKpic* partner, bool wide, CRect& out)
{
    const int w = partner->Width(), h = partner->Height();
    const int turned = RotateKeypadPosition(code, partner->QuarterTurns);
    CRect r(w / 2, h / 2, w / 2, h / 2);
    const bool sideways = turned == 4 || turned == 6;
    if (wide) {
        if (sideways)
            r.InflateRect(w / 3 + w / 4, h / 6);
        else
            r.InflateRect(w / 6, h / 4 + h / 3);
    } else {
        switch (turned) {
        case 2: r.OffsetRect(0, -w / 6); r.InflateRect(w / 6, h / 3); break;
        case 4: r.OffsetRect(-w / 6, 0); r.InflateRect(w / 3, h / 6); break;
        case 6: r.OffsetRect(w / 6, 0); r.InflateRect(w / 3, h / 6); break;
        case 8: r.OffsetRect(0, w / 6); r.InflateRect(w / 6, h / 3); break;
        default: return false;
        }
    }
    if (turned != 2 && turned != 4 && turned != 6 && turned != 8)
        return false;
    CRect clipped;
    if (!clipped.IntersectRect(r, partner->m_PictureRect))
        return false;
    out = clipped;
    return true;
}

// What a fit pass changes: every picture's geometry and points, the common focal and the lens
// model. Kept before the pass that follows a picture's acceptance, so that a picture the pass
// does not bear out can be taken back with the set as the pass found it.
class PassState {
public:
    explicit PassState(const CMcCore& set)
        : m_CommonFocal(set.m_CommonFocal), m_Distortion(set.m_Distortion), m_LensFactor(set.m_LensModelFactor),
          m_CentreFractions(set.m_CentreFractions), m_Activity(set.m_Activity), m_FitState(set.m_FitState)
    {
        for (const auto& owned : set.m_Pictures)
            m_Pictures.push_back(KeptPicture::Of(owned.get()));
    }

    void Restore(CMcCore& set) const
    {
        set.m_CommonFocal = m_CommonFocal;
        const bool lensChanged = set.m_Distortion != m_Distortion || set.m_LensModelFactor != m_LensFactor;
        set.m_Distortion = m_Distortion;
        set.m_LensModelFactor = m_LensFactor;
        set.m_CentreFractions = m_CentreFractions;
        set.m_Activity = m_Activity;
        set.m_FitState = m_FitState;
        if (lensChanged)
            RebuildLensTable(m_Distortion, m_LensFactor);
        for (const KeptPicture& kept : m_Pictures)
            kept.PutBack();
        set.m_RegionsValid = 0;
    }

private:
    double m_CommonFocal;
    double m_Distortion;
    double m_LensFactor;
    CDPoint m_CentreFractions;
    int32_t m_Activity;
    int32_t m_FitState;
    std::vector<KeptPicture> m_Pictures;
};

// The fit score a picture's points give at the focal the set expects of it (the common focal,
// scaled by the lens focal lengths where both the picture and the base picture carry them)
// instead of the focal solved for it alone, its orientation re-solved to match. The picture is
// left exactly as it was found.
double ScoreAtSetFocal(CMcCore& set, CKpic* picture)
{
    const double focal = picture->m_Focal;
    const CDPoint direction = picture->m_Direction;
    const double roll = picture->m_Roll;
    const double fitScore = picture->m_FitScore;
    const int32_t status = picture->m_Status;
    const auto points = picture->m_Points;
    set.InitPictureFocal(picture);
    picture->RefreshControlPoints();
    const double score = picture->OptimizeOrientation();
    picture->m_Focal = focal;
    picture->m_Direction = direction;
    picture->m_Roll = roll;
    picture->m_FitScore = fitScore;
    picture->m_Status = status;
    picture->m_Points = points;
    return score;
}

} // namespace

int CMcCore::FitPictureFromCandidates(CKpic* partner, CKpic* picture, int code, int pass)
{
    if (m_JobMode == -1 || !picture || !partner)
        return -1;
    const int k = m_FittedCount + 1;
    FitStatus(m_Host, kMsgFindingFitPosition);
    if (m_Host)
        m_Host->BeginStep(MessageNumberText(kMsgFindingPosition), MessageNumberText(kMsgFindPositionStep),
                          MessageNumberText(kMsgGoOnFindingPosition), picture->m_Path);
    CKpic* first = GetFirstPicture();
    if (k == 2 && first) {
        first->m_Focal = first->m_DefaultFocal;
        m_CommonFocal = first->m_Focal;
    }
    ResetPicture(picture);
    CopyRollFromNeighbour(picture, nullptr);
    const int r = MatchPicturePair(partner, picture, code, pass);
    picture->m_Status = 0;
    if (m_Host)
        m_Host->EndStep();
    m_RegionsValid = 0;
    // A try that is not kept leaves the fitted count as it found it (the match may have counted
    // the picture as fitted on the way), so that the next try of the second picture again starts
    // the base picture from its default focal. The second picture's try solves the base
    // picture's focal too: a rejected one gives the base picture back the focal it started from,
    // so that a failed fit does not leave it with the rejected pair's focal.
    auto rejectTry = [&]() {
        ResetPicture(picture);
        picture->m_Status = 0;
        SortPlacedFirst();
        if (k == 2 && first) {
            first->m_Focal = first->m_DefaultFocal;
            m_CommonFocal = first->m_Focal;
        }
        return -1;
    };
    if (r < 1 && pass < 3)
        return rejectTry();

    const double t = m_FitTolerance;
    const int fp = picture->CountFittedPoints();
    const double s = picture->m_FitScore;
    auto commit = [&](bool bounds) {
        if (bounds)
            CommitPictureAndBounds(picture);
        else
            CommitPicture(picture);
        SortPlacedFirst();
    };
    if (k == 2) {
        if (fp >= 5 && s < t) {
            commit(false);
        } else if (FitMode >= 2 && fp > 2 && s < 1.5 * t) {
            commit(false);
        } else {
            picture->m_Status = 0;
        }
        if (picture->m_Status < 3 && FitMode >= 2 && pass >= 2) {
            double f = m_CommonFocal;
            if (picture->m_Snapshot.error < kQuarterSnapshotLimit && picture->m_Snapshot.fitScore < 3.0 * t) {
                picture->RestoreSnapshot();
                f = picture->m_Snapshot.commonFocal;
            }
            const int fpNow = picture->CountFittedPoints();
            if ((fpNow >= 2 && picture->m_FitScore < 3.0 * t) || pass == 3) {
                if (f != m_CommonFocal) {
                    m_CommonFocal = f;
                    if (first)
                        first->m_Focal = f;
                }
                picture->m_Status = 3;
                if (fpNow < 3 || pass == 3) {
                    CreatePointPair(picture, nullptr);
                    picture->m_SearchMark = -2;
                }
                commit(false);
                for (const auto& owned : m_Pictures) {
                    if (owned->m_Status < 3) {
                        owned->m_Snapshot.error = UnusableScore;
                        std::fill(std::begin(owned->m_TryCounters), std::end(owned->m_TryCounters), 0);
                    }
                }
            }
        }
    } else {
        const double factor = (m_LayoutRect.Width() >= 1 && m_LayoutRect.Height() >= 1 && pass == 1) ? 0.7 : 1.0;
        if (fp >= 5 && s < factor * t) {
            commit(true);
        } else if (FitMode >= 2 && fp > 2 && s < factor * t * 1.5) {
            commit(true);
        }
        if (picture->m_Status < 3 && pass == 3) {
            if (picture->m_Snapshot.commonFocal == m_CommonFocal && picture->m_Snapshot.error < kQuarterSnapshotLimit &&
                picture->m_Snapshot.fitScore < 3.0 * t)
                picture->RestoreSnapshot();
            if (picture->CountFittedPoints() >= 5 && picture->m_FitScore < 2.0 * t) {
                picture->m_Status = 3;
                MatchPicturePoints(picture);
                picture->m_Status = 0;
                // The re-match drops the points it cannot find again; the picture is kept on the
                // same bar as any other, five points or more within the tolerance. (A false match
                // on look-alike texture can lose every point here while its score stays small.)
                if (picture->CountFittedPoints() >= 5 && picture->m_FitScore < t)
                    commit(true);
            }
        }
        if (picture->m_Status < 3) {
            const bool narrow = m_LayoutRect.Width() == 0 || m_LayoutRect.Height() == 0;
            const bool forced = (narrow && picture->CountFittedPoints() >= 2 && picture->Height() < 500) || FitMode >= 2;
            if (forced) {
                picture->m_Status = 3;
                if (picture->CountFittedPoints() < 3) {
                    CreatePointPair(picture, nullptr);
                    picture->m_SearchMark = -2;
                }
                if (FitMode < 0)
                    picture->m_Status = 0;
                if (picture->m_FitScore < 2.0 * t) {
                    CommitPictureAndBounds(picture);
                    RepairPointLinks(picture);
                    SortPlacedFirst();
                } else {
                    picture->m_SearchMark = 0;
                }
            }
        }
    }

    // Around a full row a picture is kept on the same bar as in a plain fit, five points within
    // the tolerance: a picture placed on fewer, or on points that do not agree, is not fitted.
    if (FitMode >= 2 && picture->m_Status >= 3 && !(picture->CountFittedPoints() >= 5 && picture->m_FitScore < t)) {
        rejectTry();
        UpdateBoundingRect();
        return -1;
    }
    if (picture->m_Status < 3)
        return rejectTry();
    // In a plain fit the pictures come from one camera: a picture's own focal may drift a little
    // from the set's, but its points must still agree at the set's focal. A picture kept beside
    // a fitted neighbour on points that agree only at a focal solved for it alone (a false match
    // on look-alike texture pulls that focal a fifth or more away) is not kept. The fit pass
    // after the second, fourth and eighth picture re-checks the set as a whole, but no pass
    // follows the third, fifth, sixth, seventh or ninth on: this check runs for every picture
    // from the third on.
    if (k >= 3 && FitMode < 1 && picture->CountFittedPoints() >= 5 && !(ScoreAtSetFocal(*this, picture) < t)) {
        rejectTry();
        UpdateBoundingRect();
        return -1;
    }
    if (m_Host && !picture->m_Path.empty())
        m_Host->ShowViewMessage(0, picture->m_Path);
    if (m_JobMode > 1 && (m_FittedCount == 2 || m_FittedCount == 4 || m_FittedCount == 8)) {
        // In a plain fit, a picture kept on five or more points within the tolerance must still
        // meet that after the fit pass has re-matched every point finer and solved the focal
        // over the whole set. Points seeded on look-alike texture (sand, leaves) between
        // pictures that do not overlap pass the first test and fall apart here: half of them
        // fail to re-match, or the fit score grows past the tolerance. The pass is then taken
        // back and the try rejected, rather than a wrong placement kept as fitted. (Fit around
        // 360 degrees places unmatched pictures by the row's steps on purpose; it is left alone.)
        const bool fullBar = FitMode < 1 && picture->CountFittedPoints() >= 5 && picture->m_FitScore < t;
        const PassState before(*this);
        OptimizeFit();
        if (fullBar && m_JobMode != -1 && (picture->CountFittedPoints() < 5 || picture->m_FitScore >= t)) {
            before.Restore(*this);
            return rejectTry();
        }
        if (AdjustBaseAnchor() > 0) {
            const int mode = m_JobMode;
            m_JobMode = 0;
            NotifyHost(')');
            if (mode == 2)
                m_JobMode = 2;
        }
    }
    return 1;
}

int CMcCore::FindPairCandidates(CKpic* partner, CKpic* picture, int code, int pass)
{
    if (!partner || !picture || m_JobMode == -1)
        return -1;
    if (EnsurePictureImage(picture) < 0)
        return -1;
    picture->EnsureReady();
    // One scan: reach 0 as the row search makes it, reach 1 with the pair match's reference
    // and window (neighbours half as far again).
    auto scan = [&](int reach, FitCandidate& best) {
        CPoint p;
        CRect r;
        if (reach == 0 ? !OffCentreReference(code, picture, 10, p) || !PartnerWindow(code, partner, pass == 1, r)
                       : !OffCentreReference(code, picture, 3, p) || !PairWindow(code, partner, m_LayoutRect, r))
            return -1;
        CopyRollFromNeighbour(picture, nullptr);
        CopyRollFromNeighbour(partner, nullptr);
        FitCandidateList list;
        if (ScanOffsets(partner, r, picture, p, list) < 0)
            return -1;
        if (list.empty())
            return 0;
        best = list.front();
        return best.score <= 5000.0 ? 3 : 1;
    };
    FitCandidate best;
    int result = scan(0, best);
    // A scan that finds no clear match is made once more with the wider reach; the better of
    // the two is kept.
    if (result < 3 && m_JobMode != -1) {
        FitCandidate wider;
        const int second = scan(1, wider);
        if (second > result || (second == result && second > 0 && wider.score < best.score)) {
            result = second;
            best = wider;
        }
    }
    if (result > 0 && best.score < UnusableScore / 2)
        ApplyCandidate(picture, best);
    return result;
}

double CMcCore::MeasureRowEnds()
{
    if (m_JobMode == -1)
        return -1.0;
    CKpic* left = nullptr;
    CKpic* right = nullptr;
    FindRowEnds(*this, left, right);
    if (!left || !right || left == right)
        return UnusableScore;
    left->m_Focal = left->m_DefaultFocal;
    right->m_Focal = right->m_DefaultFocal;
    if (FindPairCandidates(right, left, 6, 1) < 3)
        return UnusableScore;
    const int32_t id = NewPointId();
    const CDPoint mid = GreatCircleMidpoint(left->m_Direction, right->m_Direction);
    const int i = left->AddPointAt(id, left->SphereToPixel(mid));
    const int j = right->AddPointAt(id, right->SphereToPixel(mid));
    if (i < 0 || j < 0) {
        if (i >= 0)
            left->m_Points[static_cast<size_t>(i)].Free();
        if (j >= 0)
            right->m_Points[static_cast<size_t>(j)].Free();
        return UnusableScore;
    }
    for (auto [pic, slot] : {std::pair{left, i}, std::pair{right, j}}) {
        pic->m_Points[static_cast<size_t>(slot)].kind = 4;
        pic->m_Points[static_cast<size_t>(slot)].state = -6;
    }
    return left->Yaw() - right->Yaw();
}

int CMcCore::FindInitialPairs()
{
    if (m_JobMode == -1)
        return -1;
    if (m_LayoutRect.Width() < 3)
        return -1;
    if (m_Host)
        m_Host->BeginStep(MessageNumberText(kMsgFindingFitPosition), " all pics", MessageNumberText(kMsgFindPositionStep),
                          MessageNumberText(kMsgGoOnFindingPosition));
    auto endStep = [&]() {
        if (m_Host)
            m_Host->EndStep();
    };
    const int count = GetPictureCount();
    m_Progress[2] = (count - m_FittedCount) * 110;
    int reachable = 0;
    CountConnectedPictures(-1, reachable);
    const int n = m_HomeRowExtent.Width();
    const double nominal = EngineTwoPi / (n + 1);

    StepTally yaw, pitch, roll;
    const double m = MeasureRowEnds();
    if (m_JobMode == -1) {
        endStep();
        return -1;
    }
    if (m >= EngineHalfPi) {
        const int answer = m_Host ? m_Host->AskQuestion(MessageNumberText(kMsgRowEndsDoNotOverlap), 1, "", "") : 1;
        if (answer != 1) {
            endStep();
            return -1;
        }
    } else {
        yaw.Add(m);
    }

    for (int step = 0; step < reachable; ++step) {
        m_Progress[2] = (count - m_FittedCount) * 110;
        if (m_JobMode == -1) {
            endStep();
            return -1;
        }
        const FitCandidate c = BestGridCandidate(2);
        if (c.score >= UnusableScore / 2 || !c.picture || !c.uppic)
            break;
        CKpic* picture = c.picture;
        CKpic* partner = c.uppic;
        const int code = c.hp.x;
        int& counter = picture->m_TryCounters[9 - code];
        if (code % 2 == 1) {
            counter = 3;
        } else if (code == 2 || code == 8) {
            // The pictures above and below the row are fitted once the row is: fitted here, the
            // first of them would set the base picture's focal from a vertical pair before the
            // row has measured it (on a hand-held set of two rows that left every camera 3.5 to
            // 5.5 degrees off).
            counter = 3;
        } else if (counter == 0) {
            const int r = FindPairCandidates(partner, picture, code, 0);
            if (r < 0)
                break;
            const double sign = code == 4 ? -1.0 : 1.0;
            if (r == 0) {
                const double s = (yaw.count == 0 ? nominal : yaw.Mean()) * sign;
                picture->m_Direction = CDPoint(partner->Yaw() + s, partner->Pitch());
            } else {
                yaw.Add(sign * NormalizeAngle(picture->Yaw() - partner->Yaw()));
                pitch.Add(picture->Pitch() - partner->Pitch());
                roll.Add(sign * DeviationFromRightAngle(picture->m_Roll - partner->m_Roll));
            }
            KeepAsBest(picture);
            picture->m_Direction.y = partner->Pitch();
            picture->m_Roll = picture->QuarterTurns * EngineHalfPi;
            picture->m_Status = 2;
            if (m_Host && !picture->m_Path.empty())
                m_Host->ShowViewMessage(0, picture->m_Path);
            counter = 3;
        } else {
            // Tried already on this side: the walk moves on.
            counter = std::max(counter, 3);
        }
    }
    endStep();
    if (yaw.count < 2)
        return -1;
    double yawDev = 0.0, pitchDev = 0.0, rollDev = 0.0;
    if (!yaw.Deviation(yawDev) || !pitch.Deviation(pitchDev) || !roll.Deviation(rollDev))
        return -1;
    const double ratio = (n + 1) * yaw.Mean() / EngineTwoPi;
    m_CommonFocal *= ratio;
    m_RowEstimate.v[0] = m_CommonFocal;
    m_RowEstimate.v[1] = nominal;
    m_RowEstimate.v[2] = pitch.Mean();
    if (ratio != 0.0)
        m_RowEstimate.v[3] = 3.0 * yawDev / ratio;
    m_RowEstimate.v[4] = pitchDev;
    m_RowEstimate.v[5] = roll.Mean();
    m_RowEstimate.v[6] = rollDev + 0.1;
    return 1;
}

bool CMcCore::PassesRowAcceptance(const CKpic* picture) const
{
    return picture && picture->m_Status > 0 && picture->CountFittedPoints() >= 5 && picture->m_FitScore < m_FitTolerance;
}

int CMcCore::PlaceRemainingPictures()
{
    if (m_JobMode == -1 || m_LayoutRect.Width() < 3)
        return -1;
    if (m_Host)
        m_Host->BeginStep(MessageNumberText(kMsgFindingFitPosition), " all pics", MessageNumberText(kMsgFindPositionStep),
                          MessageNumberText(kMsgGoOnFindingPosition));
    const int count = GetPictureCount();
    const double nominal = EngineTwoPi / (m_HomeRowExtent.Width() + 1);
    StepTally yaw, roll;
    m_RowSeam = 0;

    // One try of a picture beside a fitted horizontal neighbour: the scan as the row search
    // makes it, and, when that gives no match the points bear out, once more with the reach and
    // the roll weight of the pair match (steps up to about 45 degrees, neighbours rolled against
    // each other as a hand-held camera leaves them). A picture is fitted only on five points
    // within the tolerance; any other is put one step beside its partner and left unfitted.
    auto trySide = [&](CKpic* partner, CKpic* picture, int code) {
        const double sign = code == 4 ? -1.0 : 1.0;
        int r = SearchPicturePosition(partner, picture, code, 0);
        if (m_JobMode != -1 && !(r >= 1 && PassesRowAcceptance(picture))) {
            TakeBackTry(*this, picture);
            CopyRollFromNeighbour(picture, nullptr);
            r = SearchPicturePosition(partner, picture, code, 1);
        } else if (m_JobMode != -1 && !(picture->m_FitScore < WeakPassFactor * m_FitTolerance)) {
            // A first try whose points only just pass may be a candidate on look-alike texture
            // that the row search's scan found short of a step it cannot reach: the wider try
            // is made too, and the one whose points agree better is kept.
            const PassState first(*this);
            const double firstScore = picture->m_FitScore;
            TakeBackTry(*this, picture);
            CopyRollFromNeighbour(picture, nullptr);
            const int wider = SearchPicturePosition(partner, picture, code, 1);
            if (m_JobMode != -1 && wider >= 1 && PassesRowAcceptance(picture) && picture->m_FitScore < firstScore)
                r = wider;
            else
                first.Restore(*this);
        }
        KeepAsBest(picture);
        if (m_JobMode == -1)
            return false;
        if (r >= 1 && PassesRowAcceptance(picture)) {
            yaw.Add(sign * NormalizeAngle(picture->Yaw() - partner->Yaw()));
            roll.Add(sign * (picture->m_Roll - partner->m_Roll));
            CommitPictureAndBounds(picture);
        } else {
            const double step = yaw.count ? yaw.Mean() : (m_RowEstimate.v[1] != 0.0 ? m_RowEstimate.v[1] : nominal);
            TakeBackTry(*this, picture);
            picture->m_Direction = CDPoint(partner->Yaw() + sign * step, partner->Pitch());
            picture->m_Roll = partner->m_Roll;
            KeepAsBest(picture);
            picture->m_Status = 2;
        }
        SortPlacedFirst();
        if (picture->m_Status >= 3 && (m_FittedCount == 4 || m_FittedCount == 8)) {
            AdjustBaseAnchor();
            m_JobMode = 0;
            NotifyHost(')');
            m_JobMode = 2;
        } else if (m_Host && !picture->m_Path.empty()) {
            m_Host->ShowViewMessage(0, picture->m_Path);
        }
        return picture->m_Status >= 3;
    };

    // The walk over the best grid candidates ends when none is left: every try raises a try
    // counter, so it ends after at most nine tries per picture.
    std::vector<int*> deferred;
    auto walk = [&](bool rowFirst) {
        for (int step = 0; step < 9 * count + 9; ++step) {
            m_Progress[2] = (count - m_FittedCount) * 55;
            if (m_JobMode == -1)
                return;
            const FitCandidate c = BestGridCandidate(3);
            if (c.score >= UnusableScore / 2 || !c.picture || !c.uppic)
                return;
            CKpic* picture = c.picture;
            CKpic* partner = c.uppic;
            const int code = c.hp.x;
            int& counter = picture->m_TryCounters[9 - code];
            if (code % 2 == 1) {
                counter = 3;
                continue;
            }
            // The row is walked first, its neighbours above and below once it is closed.
            if ((code == 2 || code == 8) && rowFirst) {
                counter = 3;
                deferred.push_back(&counter);
                continue;
            }
            if (code == 2 || code == 8) {
                // The plain fit's third pass (the reference moved the other way) where the
                // second finds nothing: a 35-degree step up with a quarter of overlap needs it.
                if (FitPictureFromCandidates(partner, picture, code, 2) < 0 && m_JobMode != -1)
                    FitPictureFromCandidates(partner, picture, code, 3);
                counter = 3;
                continue;
            }
            if (counter != 0) {
                counter = std::max(counter, 3);
                continue;
            }
            counter = 3;
            trySide(partner, picture, code);
        }
    };
    // The row first, then the pictures above and below it.
    walk(true);

    // The grid does not know that the row is closed: the leftmost and rightmost pictures meet
    // behind the viewer. A picture the walk could not fit from its left neighbour is tried again
    // from its right one, walking from the base picture over the row ends toward the left, and
    // the grid walk then goes on from what that fitted.
    CKpic* left = nullptr;
    CKpic* right = nullptr;
    FindRowEnds(*this, left, right);
    if (m_JobMode != -1 && left && right && left != right && left->m_Status >= 3 && right->m_Status < 3) {
        CKpic* partner = left;
        for (int column = m_HomeRowExtent.right; column > m_HomeRowExtent.left && m_JobMode != -1; --column) {
            CKpic* picture = PictureAtCell(*this, CPoint(column, 0));
            if (picture && picture->m_Status >= 3) {
                // The walk back has reached the pictures fitted from the base: the row's turn
                // closes between this picture and the one it walked from, not at the row ends
                // that the walk tied directly.
                if (partner != left && partner != right && MeasureRowSeam(*this, picture, partner))
                    m_RowSeam = column + 1;
                break;
            }
            if (!picture || !trySide(partner, picture, 4))
                break;
            // The row runs on past the full turn, as the walk from the left end lays it.
            if (picture->Yaw() < left->Yaw()) {
                picture->m_Direction.x += EngineTwoPi;
                picture->RefreshControlPoints();
                KeepAsBest(picture);
            }
            partner = picture;
        }
        walk(true);
    }
    // Row ends whose match the placed row shows to be false are not used to close it: a closing
    // pair that misses the full turn by more than a tenth of a radian, where the row's own steps
    // agree with its focal to a few thousandths, was matched on look-alike texture.
    FindRowEnds(*this, left, right);
    if (m_JobMode != -1 && left && right && left != right && left->m_Status >= 3 && right->m_Status >= 3) {
        const int i = left->FindPointStateM6(), j = right->FindPointStateM6();
        if (i >= 0 && j >= 0) {
            const double d = right->PixelToSphere(right->m_Points[static_cast<size_t>(j)].position).x -
                             left->PixelToSphere(left->m_Points[static_cast<size_t>(i)].position).x;
            const double turn = d + EngineTwoPi * std::round((EngineTwoPi - d) / EngineTwoPi);
            if (std::fabs(turn - EngineTwoPi) > 0.1) {
                RemoveControlPoint(left, i);
                left->CompactControlPoints();
            }
        }
    }
    // The row is closed before the pictures above and below it are hung from it, so that they
    // are matched against the row's own focal and the row does not bend toward them.
    if (!deferred.empty() && m_JobMode != -1)
        Close360Loop();
    for (int* counter : deferred)
        *counter = 0;
    deferred.clear();
    walk(false);
    if (m_Host)
        m_Host->EndStep();
    if (yaw.count == 0)
        return -1;
    double dev = 0.0;
    if (yaw.count > 2) {
        if (!yaw.Deviation(dev))
            return -1;
        m_RowEstimate.v[3] = dev;
    }
    if (roll.count > 2) {
        if (!roll.Deviation(dev))
            return -1;
        m_RowEstimate.v[5] = roll.Mean();
        m_RowEstimate.v[6] = dev;
    }
    return 1;
}

int CMcCore::SearchPicturePosition(CKpic* partner, CKpic* picture, int code, int reach)
{
    if (!partner || !picture || m_JobMode == -1)
        return -1;
    if (EnsurePictureImage(picture) < 0)
        return -1;
    picture->EnsureReady();
    CPoint p;
    CRect r;
    if (reach == 0) {
        if (!OffCentreReference(code, picture, 10, p) || !PartnerWindow(code, partner, false, r))
            return -1;
    } else if (!OffCentreReference(code, picture, 3, p) || !PairWindow(code, partner, m_LayoutRect, r)) {
        return -1;
    }
    CopyRollFromNeighbour(picture, nullptr);
    FitCandidateList list;
    // The wider try weighs the roll as the pair match does, for the duration of its scan.
    const int mode = FitMode;
    if (reach != 0)
        FitMode = 2;
    const int scanned = ScanOffsets(partner, r, picture, p, list);
    FitMode = mode;
    if (scanned < 0 || list.empty())
        return -1;

    FitCandidateList weighted;
    const double meanRoll = m_RowEstimate.v[5], rollSpread = m_RowEstimate.v[6];
    for (FitCandidate c : list) {
        double d = DeviationFromRightAngle(c.omg);
        if (code == 4)
            d = -d;
        const double weight = rollSpread != 0.0 ? std::fabs(d - meanRoll) / rollSpread + 1.0 : 1.0;
        c.score *= weight;
        InsertCandidateSorted(weighted, c, 10, 0.0);
    }
    const double t = m_FitTolerance;
    if (weighted.front().score < UnusableScore / 2)
        ApplyCandidate(picture, weighted.front());
    int r1 = RefineMatchedPicture(picture);
    auto good = [&](double strict, double rowFactor, int fpMin) {
        if (picture->m_Status <= 0 || picture->CountFittedPoints() < fpMin)
            return false;
        const double s = picture->m_FitScore;
        return s < strict * t || (m_LayoutRect.Height() == 0 && s < rowFactor * t);
    };
    if (picture->m_Status > 0 && picture->CountFittedPoints() >= 5 && picture->m_FitScore < 0.7 * t)
        return 1;
    // A single row is held to five points as any other layout: fewer are no match.
    if (picture->m_Status > 0 && m_LayoutRect.Height() == 0 && picture->CountFittedPoints() >= 5 &&
        picture->m_FitScore < t)
        return 1;
    const double e = picture->ComputeFitMeasure(m_CommonFocal);
    picture->SaveSnapshot(m_CommonFocal, e);
    if (r1 < 1 && weighted.size() > 1 && weighted[1].score < UnusableScore / 2) {
        picture->ResetAutoPointStates();
        ApplyCandidate(picture, weighted[1]);
        r1 = RefineMatchedPicture(picture);
        const double e2 = picture->ComputeFitMeasure(m_CommonFocal);
        if (e2 > picture->m_Snapshot.error) {
            picture->ResetAutoPointStates();
            picture->RestoreSnapshot();
        }
    }
    return good(1.0, 1.5, 5) ? 1 : 0;
}

void CMcCore::LinkAtMidpoint(CKpic* partner, CKpic* picture)
{
    if (!partner || !picture)
        return;
    const CDPoint mid = GreatCircleMidpoint(partner->m_Direction, picture->m_Direction);
    const double d = SphericalDistance(partner->m_Direction, picture->m_Direction);
    const double b = BearingOnSphere(mid, partner->m_Direction);
    for (double side : {EngineHalfPi, -EngineHalfPi}) {
        CDPoint q = MoveOnSphere(mid, NormalizeAngle(b + side), d / 6.0);
        q.x = NormalizeAngle(q.x);
        AddAutoControlPoint(picture, q);
    }
    if (picture->CountFittedPoints() < 2)
        AddAutoControlPoint(picture, mid);
    if (picture->CountFittedPoints() < 2)
        CreatePointPair(picture, nullptr);
}

CKpic* CMcCore::AddAutoControlPoint(CKpic* picture, CDPoint direction)
{
    if (!picture)
        return nullptr;
    const int32_t id = NewAutoPointId();
    CKpic* partner = AddPartnerPoint(picture, id, direction);
    if (!partner || partner == picture)
        return nullptr;
    const int partnerSlot = partner->LastUsedPoint();
    if (partnerSlot >= 0)
        partner->m_Points[static_cast<size_t>(partnerSlot)].kind = 4;
    const int slot = picture->AddPointAt(id, picture->SphereToPixel(direction));
    if (slot < 0) {
        if (partnerSlot >= 0)
            partner->m_Points[static_cast<size_t>(partnerSlot)].Free();
        return nullptr;
    }
    ControlPoint& cp = picture->m_Points[static_cast<size_t>(slot)];
    cp.kind = 4;
    cp.state = 3;
    cp.spherePosition = direction;
    return partner;
}

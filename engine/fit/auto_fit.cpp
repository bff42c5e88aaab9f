// The automatic fit: checks and prepares the set, then grows the fitted area from the base
// picture in cycles (Fit), or runs the row driver that measures a full turn, places every
// picture of the row and closes it (Fit around 360 degrees).
//
// Directions are (longitude, latitude) in radians; picture positions in pixels, y down.
#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "common/status_codes.h"
#include "engine/fit/auto_fit_steps.h"
#include "engine/fit/fit_candidates.h"
#include "engine/fit/fit_messages.h"
#include "geometry/sphere.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

void ClearTries(CKpic* p) { std::fill(std::begin(p->m_TryCounters), std::end(p->m_TryCounters), 0); }

// The turn (radians) of the neighbour's roll that the extra tries of a picture start from.
constexpr double kRolledStartTurn = 0.1;

// What a try of a picture may change in the set, kept so that extra tries that fail leave the
// set exactly as the passes before them did. A failed try is not without traces: removing its
// points also frees the open points of the partner they were taken from, and its feature search
// moves the feature memory and the picture's feature weights.
class TryState {
public:
    TryState(const CMcCore& set, const CKpic* picture)
        : m_CommonFocal(set.m_CommonFocal), m_Activity(set.m_Activity), m_FitState(set.m_FitState),
          m_LastPicture(LastFeaturePicture), m_LastCell(LastFeatureCell), m_Picture(picture)
    {
        for (const auto& owned : set.m_Pictures)
            m_Pictures.push_back({KeptPicture::Of(owned.get()), owned->m_Snapshot});
        std::copy(&picture->FeatureCells[0][0], &picture->FeatureCells[0][0] + 32 * 32, &m_Cells[0][0]);
    }

    void Restore(CMcCore& set) const
    {
        set.m_CommonFocal = m_CommonFocal;
        set.m_Activity = m_Activity;
        set.m_FitState = m_FitState;
        LastFeaturePicture = m_LastPicture;
        LastFeatureCell = m_LastCell;
        for (const Picture& kept : m_Pictures) {
            kept.place.PutBack();
            CKpic* p = kept.place.picture;
            p->m_Snapshot = kept.snapshot;
            if (p == m_Picture)
                std::copy(&m_Cells[0][0], &m_Cells[0][0] + 32 * 32, &p->FeatureCells[0][0]);
        }
        set.m_RegionsValid = 0;
    }

private:
    struct Picture {
        KeptPicture place;
        PictureSnapshot snapshot;
    };
    double m_CommonFocal;
    int32_t m_Activity;
    int32_t m_FitState;
    CKpic* m_LastPicture;
    CPoint m_LastCell;
    const CKpic* m_Picture;
    SamplePoint m_Cells[32][32];
    std::vector<Picture> m_Pictures;
};

// Resets every picture for a fit that starts over, on the layout the pictures lie in: the
// reset also takes each picture out of its cell, so the cells are put back (the base picture's
// home cell among them) and the grid already built from them stays true.
void ResetAllPicturesInTheirCells(CMcCore& set)
{
    std::vector<std::pair<CKpic*, CPoint>> cells;
    cells.reserve(set.m_Pictures.size());
    for (const auto& owned : set.m_Pictures)
        cells.emplace_back(owned.get(), owned->m_LayoutCell);
    set.ResetAllPictures();
    for (const auto& [picture, cell] : cells)
        picture->m_LayoutCell = cell;
}

} // namespace

// Memory that runs short stops no fit half way: a step whose allocation fails is given up as
// a step that finds nothing is, a failure that escapes a step ends the fit as a break does, and
// the fit then reports the shortage instead of pictures it could not fix.
int CMcCore::RunAutoFit()
{
    m_MemoryShort = 0;
    int result = -1;
    try {
        result = RunAutoFitSteps();
    } catch (const std::bad_alloc&) {
        NoteMemoryShort(false);
        m_IndividualFocal = m_FocalModeSetting;
        for (const auto& owned : m_Pictures)
            if (owned->m_Status < 3) {
                ResetPicture(owned.get());
                owned->m_Status = 0;
            }
        m_JobMode = 0;
        SortPlacedFirst();
        NotifyHost(')');
    }
    if (m_MemoryShort == 0)
        return result;
    if (m_MemoryShort == 2 && m_Host)
        m_Host->ShowMessage(MessageNumberText(kMsgOutOfMemory), 1, "", "");
    m_MemoryShort = 0;
    return kResultOutOfMemory;
}

int CMcCore::RunAutoFitSteps()
{
    CKpic* first = GetFirstPicture();
    if (!first)
        return -1;
    m_IndividualFocal = m_FocalModeSetting;
    const int measure = std::max(first->Width(), first->Height());
    if (measure < 1)
        return -1;
    CKpic* base = FindPictureAtHomeCell();
    if (!base) {
        if (m_Host)
            m_Host->ShowMessage(FitNumber(kMsgNoBasePicture), 1, "", "");
        return -1;
    }
    BuildLayoutGrid();
    EnsureAllPictureImages();

    bool unequal = false;
    for (const auto& owned : m_Pictures) {
        CKpic* p = owned.get();
        if (p->m_Status < 3)
            ResetPicture(p);
        ClearTries(p);
        if (p->m_LayoutCell != NO_LAYOUT_CELL && !IsSameSizeAnyTurn(p->m_PictureRect, base->m_PictureRect)) {
            unequal = true;
            if (p->m_LensSource < 1 && m_Host)
                m_Host->ShowMessage(FitNumber(kMsgUnequalSizes), 1, "", "");
        }
    }
    if (unequal && FitMode >= 1 && m_LayoutRect.Height() > 0) {
        if (m_Host)
            m_Host->AskQuestion(FitNumber(kMsgUnequalSizes), 0, "", "");
        return -1;
    }
    if (m_FittedCount == GetPictureCount() && first == base) {
        const int answer = m_Host ? m_Host->AskQuestion(FitNumber(kMsgAllFittedRestart), 1, "", "") : 1;
        if (answer != 1) {
            m_Activity = 10;
            return 1;
        }
        ResetAllPicturesInTheirCells(*this);
    }
    first = GetFirstPicture();
    if (first->m_Status >= 3 && first != base) {
        if (base->m_Status < 3) {
            ResetAllPicturesInTheirCells(*this);
        } else {
            m_JobMode = 2;
            SaveFitSnapshot();
            UnfitAll();
            base->m_Roll = 0.0;
            base->m_Direction = CDPoint(0.0, 0.0);
            CentreFirstPicture(base);
            SortPlacedFirst();
            SetCommonFocal(0);
            m_JobMode = 0;
            if (m_Host)
                m_Host->ShowMessage(FitNumber(kMsgBaseRestored), 1, "", "");
        }
    }

    // A full turn needs at least two pictures in the home row; a shorter row has no turn to
    // derive the focal from.
    const int homeColumns = m_HomeRowExtent.Width();
    if (FitMode >= 1 && (GetPictureCount() < 2 || homeColumns < 1)) {
        if (m_Host)
            m_Host->ShowMessage(MessageNumberText(kMsgCannotFixPositions), 1, "", "");
        return -1;
    }

    ResetProgress();
    m_Progress[9] = 20735;
    m_Progress[4] = m_FittedCount * 20 * 6;
    m_Progress[7] = m_FittedCount * 80 + 1;
    PollBreak();
    m_JobMode = 2;

    const int individualFocal = m_IndividualFocal;
    if (m_LayoutRect.Width() == 0) {
        m_FitTolerance = std::sqrt(static_cast<double>(measure)) / 5.0;
        m_IndividualFocal = 0;
    } else {
        m_FitTolerance = std::sqrt(static_cast<double>(measure)) / 6.0;
    }
    if (m_LayoutRect.Height() < 2 && m_LayoutRect.Width() > 14)
        m_FitTolerance = std::sqrt(static_cast<double>(measure)) / 5.0;

    base = FindPictureAtHomeCell();
    // The base picture keeps the home cell through the resets above; should none lie there,
    // nothing can be fitted.
    if (!base) {
        m_JobMode = 0;
        if (m_Host)
            m_Host->ShowMessage(FitNumber(kMsgNoBasePicture), 1, "", "");
        return -1;
    }
    if (FitMode >= 1 && m_LayoutRect.Width() > 3) {
        const int w = (base->QuarterTurns == 1 || base->QuarterTurns == 3) ? base->Height() : base->Width();
        m_CommonFocal = (0.8 * w / 2.0) / std::tan((EngineTwoPi / (homeColumns + 1.001)) / 2.0);
        for (const auto& owned : m_Pictures)
            if (owned->m_LensSource < 1)
                owned->m_DefaultFocal = m_CommonFocal;
        base->m_Focal = base->m_DefaultFocal;
    }
    if (base->m_Status < 3) {
        base->m_Focal = base->ClampFocal(base->m_DefaultFocal);
        base->m_Roll = 0.0;
        CentreFirstPicture(base);
        SortPlacedFirst();
        if (m_Host)
            m_Host->ShowViewMessage(5, base->m_Path);
    }

    // A full row shares one focal: its turn measures it.
    if (FitMode >= 2) {
        m_IndividualFocal = 0;
        FitAllPictures();
        // A break leaves no picture half placed: what was not fitted goes back to unfitted.
        if (m_JobMode == -1)
            for (const auto& owned : m_Pictures)
                if (owned->m_Status < 3) {
                    ResetPicture(owned.get());
                    owned->m_Status = 0;
                }
        // Pictures the row could not fit are left where the row's steps put them, unfitted, and
        // the fit says so instead of reporting success.
        for (const auto& owned : m_Pictures)
            if (owned->m_Status < 3)
                owned->m_Status = 0;
        SortPlacedFirst();
        int reachableInRow = 0;
        if (CountConnectedPictures(-1, reachableInRow) < reachableInRow) {
            FitStatus(m_Host, kMsgFitIncomplete);
            if (m_Host && m_MemoryShort == 0)
                m_Host->ShowMessage(MessageNumberText(kMsgCannotFixPositions), 1, "", "");
            return -1;
        }
        return 1;
    }

    int fitted = 0, reachable = 0;
    auto count = [&]() {
        int r = 0;
        const int f = CountConnectedPictures(-1, r);
        reachable = r;
        return f;
    };
    auto optimiseWhenGained = [&](int gain) {
        if (gain > 0 && m_Activity != 10 && m_JobMode != -1 && m_FitPriority >= 2)
            OptimizeFit();
    };
    fitted = count();
    const int fittedBefore = fitted;
    FitNextPicture(reachable);
    int now = count();
    optimiseWhenGained(now - fitted);
    now = count();
    int gain = now - fitted;
    fitted = now;
    AdjustBaseAnchor();
    LevelPanorama();
    m_FitTolerance *= 1.5;
    while (fitted < reachable && gain > 0) {
        for (const auto& owned : m_Pictures) {
            CKpic* p = owned.get();
            if (p != base && (p->m_Status <= 0 || p->m_FitScore > m_FitTolerance)) {
                p->m_Status = 0;
                p->m_Snapshot.error = UnusableScore;
            }
            ClearTries(p);
        }
        SortPlacedFirst();
        FitNextPicture(reachable);
        now = count();
        gain = now - fitted;
        if (gain < 1)
            break;
        optimiseWhenGained(gain);
        now = count();
        gain = now - fitted;
        fitted = now;
        AdjustBaseAnchor();
        LevelPanorama();
    }

    // At the speed setting no fit pass searched the lens: the pictures were placed through the
    // distortion the lens model starts from, with the focal the points gave for it. Where the
    // lens does not have that distortion every link between neighbours is off by as much as a
    // degree (the focal a few per cent short). The lens search that the fit pass runs at the
    // quality setting runs once now, over everything this fit placed.
    if (m_FitPriority < 2 && m_JobMode != -1 && fitted >= 2 && fitted > fittedBefore)
        SearchLensRadius();

    // A break leaves no picture half placed: what was not fitted goes back to unfitted.
    for (const auto& owned : m_Pictures)
        if (owned->m_Status < 3 && owned->m_Status > 0) {
            ResetPicture(owned.get());
            owned->m_Status = 0;
        }
    m_JobMode = 0;
    if (m_Host)
        m_Host->OnListChanged(2);
    SortPlacedFirst();
    NotifyHost(')');
    m_IndividualFocal = individualFocal;
    if (fitted < reachable) {
        FitStatus(m_Host, kMsgFitIncomplete);
        // Pictures left for want of memory are not the pictures' fault: the caller says so.
        if (m_Host && m_MemoryShort == 0)
            m_Host->ShowMessage(MessageNumberText(kMsgCannotFixPositions), 1, "", "");
        return -1;
    }
    FitStatus(m_Host, kMsgReady62);
    return 1;
}

int CMcCore::FitNextPicture(int reachable)
{
    if (m_FitPriority >= 2)
        m_FitState = m_FitPriority;
    if (m_JobMode == -1)
        return -1;
    for (;;) {
        m_Progress[2] = (reachable - m_FittedCount) * 55;
        const FitCandidate c = BestGridCandidate(3);
        if (c.score >= UnusableScore / 2 || !c.picture || !c.uppic)
            break;
        CKpic* picture = c.picture;
        const int code = c.hp.x;
        int& counter = picture->m_TryCounters[9 - code];
        int r = 0;
        if (code % 2 == 1) {
            r = FitPictureFromCandidates(c.uppic, picture, code, 2);
            counter = 3;
        } else if (counter < 3) {
            const int pass = counter + 1;
            counter = pass;
            r = FitPictureFromCandidates(c.uppic, picture, code, pass);
            // Every pass starts the picture at its neighbour's roll, and the coarse levels of the
            // scan cannot tell a roll a few degrees away (a hand-held camera turns 5 to 8 degrees
            // between shots): the true place loses to look-alike texture, or its points are
            // sought too far from where they are. When the last pass has failed, the picture is
            // tried again from the neighbour's roll turned by 0.1 either way (the roll change
            // the seeded refinement follows at most). Such a try keeps only a match its whole
            // overlap bears out; when both fail, the set is as the last pass left it.
            if (pass == 3 && r < 0 && m_JobMode != -1) {
                const TryState before(*this, picture);
                for (const double turn : {-kRolledStartTurn, kRolledStartTurn}) {
                    m_PairRollTurn = turn;
                    r = FitPictureFromCandidates(c.uppic, picture, code, pass);
                    m_PairRollTurn = 0.0;
                    if (r >= 0 || m_JobMode == -1)
                        break;
                }
                if (r < 0)
                    before.Restore(*this);
            }
        } else {
            break;
        }
        if (r < 0)
            CopyRollFromNeighbour(picture, nullptr);
        if (m_JobMode == -1)
            return -1;
        if (m_FittedCount >= reachable)
            break;
    }
    return 1;
}

int CMcCore::FitAllPictures()
{
    m_RowEstimate.Reset();
    if (FindInitialPairs() < 0)
        return -1;
    CKpic* first = GetFirstPicture();
    const double f = first->m_Focal;
    const double e = m_RowEstimate.v[5];
    CPoint anchor;
    const int slot = first->FindAnchorPoint();
    if (slot >= 0) {
        const CDPoint pos = first->m_Points[static_cast<size_t>(slot)].position;
        anchor = CPoint(static_cast<int>(std::lround(pos.x)), static_cast<int>(std::lround(pos.y)));
    } else {
        anchor = first->PlaneToPixelPoint(CDPoint(0.0, 0.0));
    }
    // "Up" is toward the top row of the picture: the anchor pixel's row number decreases, so a
    // row whose pictures roll by e on average is started that much higher on the first picture.
    anchor.y -= static_cast<int>(std::sin(e) * f);
    SetPicturePlacement(first->m_Path, anchor);

    m_CommonFocal = first->ClampFocal(m_CommonFocal);
    ApplyDefaultFocal(std::string());
    FitMode = 3;
    for (const auto& owned : m_Pictures) {
        if (owned->m_LensSource < 1)
            owned->m_DefaultFocal = m_CommonFocal;
        ClearTries(owned.get());
    }
    first->m_Focal = first->m_DefaultFocal;
    CentreFirstPicture(first);

    PlaceRemainingPictures();
    AdjustBaseAnchor();
    LevelPanorama();
    const int closed = Close360Loop();
    // The lens is searched once the row is closed (at either setting: placed through the
    // distortion the lens model starts from, every link of a row of distortion-free photos is
    // off by a tenth of a degree or more); the lens changes every angle of the row, so the row
    // is closed again on the new lens. A point that no other point of its picture bears out is
    // dropped first: it turns its picture and all that follow it, and the lens search would
    // bend the lens toward it.
    if (m_JobMode != -1 && closed >= 0) {
        if (DropStrayRowPoints() > 0)
            Close360Loop();
        SearchLensRadius();
        Close360Loop();
    }

    // The notification goes out with the break mode off; a break the user made stays.
    if (m_JobMode != -1) {
        m_JobMode = 0;
        NotifyHost(')');
        m_JobMode = 2;
    }
    return 1;
}

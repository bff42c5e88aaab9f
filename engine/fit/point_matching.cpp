// Control-point matching and the fit pass of the picture set: one point is moved so that the
// image around it matches the image around its partner point in an earlier, fitted picture;
// on top of that sit the passes over one picture, over all fitted pictures, the re-match of a
// picture's worst points and the fit pass itself.
//
// The match resamples the partner's neighbourhood through both pictures' geometry onto the
// point's picture (the sample grid, 40 x 40 cells of `step` pixels), takes the point's own
// wider neighbourhood (the reference grid, 80 x 80 cells) and walks the offsets (in steps) to
// the one with the smallest colour distance. Positions are picture pixels (CDPoint); a pixel
// is read at the rounded position.
#include <algorithm>
#include <cmath>

#include "common/status_codes.h"
#include "engine/fit/offset_grid.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

// The colour of a cell without a pixel: all three channels 255, as white.
constexpr COLORREF NoPixel = 0xFFFFFFFFu;
// Tick budget of the progress dial, and the value while a pass runs.
constexpr int32_t TickBudget = 20735;
constexpr int32_t PassTickBudget = 20734;
// A point whose residual is below this many pixels is not re-matched.
constexpr double SmallResidual = 1.5;
// The worst point of a picture is left alone below this residual in pixels.
constexpr double AcceptedResidual = 3.0;

// The least rise of the score (mean squared colour difference over three channels) from a
// match's best offset to the offsets RiseReach steps away (a tenth of the sample's side, so that
// texture is judged at the scale of the match): real texture rises far above it, flat sky and
// sand stay below.
constexpr int32_t MinimumScoreRise = 16;
constexpr int RiseReach = 4;

// The offset rings of the walk, nearest first.
constexpr int Ring1[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
constexpr int Ring2[8][2] = {{-1, -2}, {1, -2}, {-2, -1}, {2, -1}, {-2, 1}, {2, 1}, {-1, 2}, {1, 2}};
constexpr int Ring4[12][2] = {{-1, -4}, {1, -4}, {-3, -3}, {3, -3}, {-4, -1}, {4, -1},
                              {-4, 1},  {4, 1},  {-3, 3},  {3, 3},  {-1, 4}, {1, 4}};
constexpr int Ring8[12][2] = {{0, -8}, {-4, -7}, {4, -7}, {-7, -4}, {7, -4}, {-8, 0},
                              {8, 0},  {-7, 4},  {7, 4},  {-4, 7},  {4, 7},  {0, 8}};

bool IsExcludedFromMatching(int state) { return state == 0 || state == -4 || state == -5 || state == -6; }

COLORREF PixelAt(const CKpic& k, CPoint p)
{
    if (!k.m_PictureRect.PtInRect(p))
        return NoPixel;
    return k.Pixels[static_cast<std::ptrdiff_t>(p.y) * k.Width() + p.x];
}

// The margin a point keeps from its picture's edges for a match of this step.
int MatchMargin(double step) { return static_cast<int>(step * 20.0); }

} // namespace

int CMcCore::MatchControlPoint(CKpic* picture, int slot, double step, int window)
{
    if (picture == nullptr || slot < 0 || slot >= CONTROL_POINT_SLOTS)
        return -2;
    if (m_JobMode == -1 || picture->m_SearchMark < -2)
        return 0;
    ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(slot)];
    if (cp.kind == 0 || IsExcludedFromMatching(cp.state))
        return -2;
    const CPoint rounded = cp.position.ToPoint();
    if (!picture->ContainsPoint(rounded.x, rounded.y, MatchMargin(step))) {
        cp.state = 2;
        return -2;
    }
    int partnerSlot = -1;
    CKpic* partner = FindPartnerPoint(picture, cp.pointId, partnerSlot);
    if (partner == nullptr) {
        if (cp.pointId != PLACEMENT_ANCHOR_ID)
            cp.state = 0;
        return -2;
    }
    const CDPoint partnerPixel = partner->m_Points[static_cast<std::size_t>(partnerSlot)].position;
    if (SearchMatchWindow(partner, picture, partnerPixel, cp.position, step) != 1) {
        cp.state = 2;
        return -2;
    }
    const CPoint d = SearchMatchSpiral(window);
    if (m_JobMode == -1)
        return 0;
    const int valid = HasValidNeighbourScores(d.x, d.y);
    if (valid != 1) {
        cp.state = -1;
        return valid;
    }
    // On flat sky, sand or water every offset scores about the same and the walk stops
    // anywhere: a minimum that hardly rises a few steps away is refused, not taken as a match.
    if (ScoreRiseAround(d.x, d.y, RiseReach) < MinimumScoreRise) {
        cp.state = -1;
        return -1;
    }
    cp.position = cp.position + CDPoint(d).Scaled(step);
    cp.planePosition = picture->PixelToPlane(cp.position);
    if (cp.state == -1)
        cp.state = 2;
    return 1;
}

int CMcCore::SearchMatchWindow(CKpic* partner, CKpic* picture, CDPoint partnerPixel, CDPoint pixel, double step)
{
    if (partner == nullptr || picture == nullptr)
        return -2;
    const CPoint rounded = pixel.ToPoint();
    if (!picture->ContainsPoint(rounded.x, rounded.y, MatchMargin(step)))
        return -2;
    const CDPoint c = picture->SphereToPixel(partner->PixelToSphere(partnerPixel));

    // The corners of the sample's square must map inside the partner.
    CRect square(-20, -20, 20, 20);
    ScaleRectInPlace(&square, step);
    square.OffsetRect(c.ToPoint());
    const CPoint corners[4] = {square.TopLeft(), CPoint(square.right, square.top), CPoint(square.left, square.bottom),
                               square.BottomRight()};
    for (const CPoint& corner : corners) {
        const CPoint q = partner->SphereToPixelPoint(picture->PixelPointToSphere(corner.x, corner.y));
        if (!partner->m_PictureRect.PtInRect(q))
            return -2;
    }

    if (EnsurePictureImage(partner) <= 0)
        return -2;
    COffsetGrids& grids = GetOffsetGrids();
    for (int i = -20; i <= 19; ++i) {
        for (int j = -20; j <= 19; ++j) {
            const CDPoint at(c.x + i * step, c.y + j * step);
            const CPoint q = partner->SphereToPixelPoint(picture->PixelToSphere(at));
            grids.sample[i + GridOrigin][j + GridOrigin].SetColour(PixelAt(*partner, q));
        }
    }
    if (EnsurePictureImage(picture) <= 0)
        return -2;
    for (int i = -40; i <= 39; ++i) {
        for (int j = -40; j <= 39; ++j) {
            const CPoint p = CDPoint(pixel.x + i * step, pixel.y + j * step).ToPoint();
            grids.reference[i + ReferenceOrigin][j + ReferenceOrigin].SetColour(PixelAt(*picture, p));
        }
    }
    MatchGridContrast();
    return 1;
}

CPoint CMcCore::SearchMatchSpiral(int window)
{
    ResetOffsetGrid();
    bool broken = false;
    auto score = [&](CPoint p) {
        if (PollBreak() != 1)
            ScoreGridOffset(p.x, p.y);
        broken = broken || m_JobMode == -1;
    };
    auto scoreRing = [&](CPoint p, const auto& ring) {
        for (const auto& o : ring) {
            score(CPoint(p.x + o[0], p.y + o[1]));
            if (broken)
                return;
        }
    };

    CPoint c(0, 0);
    for (int round = 0; round < 100; ++round) {
        const CPoint p = c;
        score(p);
        if (broken)
            return CPoint(0, 0);
        if (window > 3) {
            scoreRing(p, Ring4);
            if (broken)
                return CPoint(0, 0);
            if (window < 8) {
                c = FindBestOffsetInWindow(p.x, p.y, 4);
            } else {
                scoreRing(p, Ring8);
                if (broken)
                    return CPoint(0, 0);
                c = FindBestOffsetInWindow(p.x, p.y, 8);
            }
            if (c != p)
                continue;
            if (window > 7)
                window = 4;
        }
        scoreRing(p, Ring2);
        if (broken)
            return CPoint(0, 0);
        c = FindBestOffsetInWindow(p.x, p.y, 2);
        if (c != p) {
            if (window < 3)
                window = 4;
            continue;
        }
        scoreRing(p, Ring1);
        if (broken)
            return CPoint(0, 0);
        c = FindBestOffsetInWindow(p.x, p.y, 1);
        if (c == p)
            return c;
    }
    return c;
}

int CMcCore::RefinePointPosition(CKpic* picture, int slot)
{
    if (picture == nullptr || slot < 0 || slot >= CONTROL_POINT_SLOTS)
        return -2;
    ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(slot)];
    const CDPoint remembered = cp.position;
    int r = -2;
    for (double step : {8.0, 4.0, 2.0, 1.0})
        r = MatchControlPoint(picture, slot, step, 8);
    if (r != 1)
        cp.position = remembered;
    return r;
}

void CMcCore::MatchPicturePointsWith(CKpic* picture, double step, int window)
{
    if (m_JobMode == -1 || picture == nullptr || picture->m_Status <= 0)
        return;
    const int n = picture->CountControlPoints();
    for (int i = 0; i < n && m_JobMode != -1; ++i) {
        const ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(i)];
        if (cp.kind == 0 || cp.state == 0 || cp.state == -4 || cp.state == -6)
            continue;
        MatchControlPoint(picture, i, step, window);
        --m_Progress[7];
    }
    picture->RefreshControlPoints();
}

void CMcCore::MatchFittedPictures(double step, int window)
{
    for (std::size_t i = 0; i < m_Pictures.size() && m_JobMode != -1; ++i) {
        CKpic* k = m_Pictures[i].get();
        if (k->m_Status > 2)
            MatchPicturePointsWith(k, step, window);
    }
}

int CMcCore::RematchPoint(CKpic* picture, int slot)
{
    if (picture == nullptr || slot < 0 || slot >= CONTROL_POINT_SLOTS)
        return -4;
    ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(slot)];
    const double r = ApproxSphericalDistance(cp.spherePosition, cp.target) * m_CommonFocal;
    if (r < SmallResidual)
        return 0;
    bool rejected = false;
    const struct {
        double step;
        int window;
    } tries[] = {{2.0, 8}, {1.0, 4}, {0.5, 4}};
    for (const auto& t : tries) {
        if (MatchControlPoint(picture, slot, t.step, t.window) == -4) {
            rejected = true;
            break;
        }
    }
    if (!rejected)
        return 3;

    // Start again where the partner says the point lies.
    const CDPoint remembered = cp.position;
    cp.planePosition = picture->SphereToPlane(cp.target);
    cp.position = picture->PlaneToPixel(cp.planePosition);
    MatchControlPoint(picture, slot, 1.0, 4);
    if (MatchControlPoint(picture, slot, 0.5, 4) == 1) {
        cp.SetPlanePoint(picture->PixelToPlane(cp.position), picture->m_Focal);
        const CDPoint sphere = picture->PlaneToSphere(cp.planePosition);
        // Kept only when it now lies closer to where its partner says than before.
        if (ApproxSphericalDistance(sphere, cp.target) * m_CommonFocal < r) {
            cp.spherePosition = sphere;
            return 3;
        }
    }
    cp.position = remembered;
    picture->RefreshControlPoint(slot);
    return -4;
}

void CMcCore::MatchPicturePoints(CKpic* picture)
{
    if (m_JobMode == -1 || picture == nullptr || picture->m_Status == 0)
        return;
    ResolvePointPartners(picture);
    UpdatePictureGeometry(picture);
    MatchPicturePointsWith(picture, 0.25, 2);
    UpdatePictureGeometry(picture);
    const double m0 = picture->m_FitScore;
    const int n = picture->CountControlPoints();
    int previous = -1;
    for (int round = 0; round < n; ++round) {
        int count = 0;
        double e = 0.0;
        const int worst = picture->FindWorstPoint(count, e);
        if (worst < 0 || worst == previous || count <= 2)
            break;
        ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(worst)];
        const double pixels = e * m_CommonFocal;
        if (cp.state >= 3 && (pixels < AcceptedResidual || pixels < m0))
            break;
        previous = worst;
        const int r = RematchPoint(picture, worst);
        if (m_JobMode == -1)
            break;
        if (r == 3) {
            cp.state = 3;
            cp.SetPlanePoint(picture->PixelToPlane(cp.position), picture->m_Focal);
            UpdatePictureGeometry(picture);
            if (picture->m_FitScore > m0 + 1.0 && n > 3) {
                cp.state = -1;
                UpdatePictureGeometry(picture);
            }
        } else if (r == -4 && n > 3) {
            cp.state = -1;
            UpdatePictureGeometry(picture);
        }
    }
}

void CMcCore::MatchAllPictures()
{
    if (m_JobMode == -1)
        return;
    for (std::size_t i = 1; i < m_Pictures.size() && m_JobMode != -1; ++i) {
        CKpic* k = m_Pictures[i].get();
        if (k->m_Status != 0)
            MatchPicturePoints(k);
    }
}

int CMcCore::CountLinkedPoints()
{
    int n = 0;
    for (std::size_t i = 1; i < m_Pictures.size(); ++i)
        if (m_Pictures[i]->m_Status >= 3)
            n += m_Pictures[i]->CountFittedPoints();
    return n;
}

int CMcCore::OptimizeFit()
{
    if (m_Host != nullptr)
        m_Host->ShowStatus(0, MessageNumberText(kMsgAchievingFitness), std::string(), std::string());
    for (int i = 0; i <= 6; ++i)
        m_Progress[i] = 0;
    m_Progress[9] = TickBudget;
    if (m_Host != nullptr)
        m_Host->BeginStep(MessageNumberText(kMsgTryingBetterFitness), MessageNumberText(kMsgAdditionalFitnessStep),
                          MessageNumberText(kMsgTryAdditionalFitness), std::string());

    const int n = CountLinkedPoints();
    m_Progress[0] = n;
    m_Progress[1] = n;
    // The progress share of the focal search.
    const int l = RatioDecibels(0.0025, 0.0005);
    m_Progress[2] = l;
    m_Progress[3] = n;
    m_Progress[4] = 60 * l;
    m_Progress[7] = 0;
    m_Progress[8] = 0;
    PollBreak();

    if (m_Activity == 10) {
        m_Progress[0] = 0;
        m_Progress[7] = 0;
        MatchFittedPictures(0.25, 8);
        m_Progress[1] = 0;
    } else {
        SaveFitSnapshot();
        m_Progress[7] = 0;
        m_Progress[9] = PassTickBudget;
        MatchFittedPictures(1.0, 4);
        m_Progress[0] = 0;
        m_Progress[7] = 0;
        m_Progress[9] = PassTickBudget;
        MatchFittedPictures(0.25, 4);
        m_Progress[1] = 0;
    }

    m_Progress[2] = 0;
    m_Progress[7] = 0;
    m_Progress[9] = PassTickBudget;
    SearchCommonFocal();
    m_Progress[7] = 0;
    MatchAllPictures();
    m_Progress[3] = 0;
    m_Progress[7] = 0;
    m_Progress[9] = PassTickBudget;

    if (m_Activity == 10 || m_FitPriority > 1)
        SearchLensRadius();
    m_Progress[7] = 0;
    if (m_Activity == 10 && m_FitPriority > 1) {
        AdjustBaseAnchor();
        LevelPanorama();
    }

    if (m_Host != nullptr) {
        m_Host->EndStep();
        m_Host->ShowStatus(0, MessageNumberText(kMsgReady65), std::string(), std::string());
    }
    m_RegionsValid = 0;
    // 10: a pass completed (the next one skips the snapshot and the coarse match);
    // 9: the user broke it off.
    m_Activity = m_JobMode == -1 ? 9 : 10;
    if (m_FitPriority > 1)
        m_FitState = m_FitPriority;
    return m_Activity;
}

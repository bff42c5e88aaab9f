// The background step run while the program is idle: a pending fit pass, linking the picture
// the user is looking at to the fitted pictures (by taking over their open points, or by
// offering its strongest features), and loading and preparing pictures one unit at a time.
//
// Every call does one bounded unit of work (one fit pass, one link attempt, one picture load or
// one preparation step) and returns; the caller calls again while it stays idle.
#include <cmath>
#include <string>

#include "common/status_codes.h"
#include "engine/fit/fit_messages.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "geometry/projections.h"

namespace {

constexpr int MsgLinked = 58;
constexpr int EngineStateIdle = 4;
constexpr int MostFeatureTries = 50;
constexpr int FeatureTriesThatCount = 48;
constexpr int LinkedPointsForPlacement = 7;

bool IsIncomplete(const CKpic& k)
{
    return k.Pixels.GetSize() < static_cast<std::ptrdiff_t>(k.Width()) * k.Height();
}

bool IsGridCell(CPoint c) { return c.x >= 0 && c.x < 32 && c.y >= 0 && c.y < 32; }

} // namespace

int CMcCore::IdleStep(int level)
{
    if (m_PendingFit) {
        m_PendingFit = 0;
        m_JobMode = 2;
        OptimizeFit();
        m_JobMode = 0;
        return 1;
    }
    const int linked = AutoLinkStep();
    m_JobMode = 0;
    if (linked == 1 || (m_Host && m_Host->IsBreakKeyDown()))
        return 1;

    const std::string current = m_Host ? m_Host->GetDefaultName() : std::string();
    if (CKpic* k = current.empty() ? nullptr : FindPictureByPath(current)) {
        if (IsIncomplete(*k))
            EnsurePictureImage(k);
        if (!k->FeaturesReady) {
            k->PrepareStep();
            return 1;
        }
    }
    if (level < 2)
        return 0;

    for (const auto& owned : m_Pictures) {
        CKpic* k = owned.get();
        if (IsIncomplete(*k)) {
            FitStatus(m_Host, kMsgInspectingPictures);
            const int loaded = EnsurePictureImage(k);
            FitClearStatus(m_Host);
            // One picture per call: a set of large photos must not hold the program up.
            return loaded < 1 ? 0 : 1;
        }
        if (!k->FeaturesReady) {
            FitStatus(m_Host, kMsgInspectingPictures);
            k->PrepareStep();
            FitClearStatus(m_Host);
            return 1;
        }
    }
    return 0;
}

int CMcCore::AutoLinkStep()
{
    if (m_FittedCount < 1 || !m_Host)
        return -1;
    const std::string current = m_Host->GetDefaultName();
    CKpic* p = current.empty() ? nullptr : FindPictureByPath(current);
    if (!p)
        return -1;
    if (p->m_SearchMark != 0 || m_Host->GetInteractionLevel() >= 2)
        return 0;
    const int fitted = p->CountFittedPoints();
    if (fitted < 2 || fitted >= LinkedPointsForPlacement || m_Activity != EngineStateIdle)
        return 0;
    if (m_Host->GetInteractionLevel() != 0 || (p->m_Status != 1 && p->m_Status != 2))
        return 0;

    m_JobMode = 1;
    FitStatus(m_Host, kMsgPuttingBestPosition);
    const int transferred = TransferOpenPoint(p);
    FitClearStatus(m_Host);
    if (transferred) {
        RefitPicture(p, -1, 1);
        FitStatus(m_Host, MsgLinked);
        return 1;
    }
    FitStatus(m_Host, kMsgPuttingBestPosition);
    const int made = EvaluateFeatureWindows(p);
    FitClearStatus(m_Host);
    if (made > 0) {
        RefitPicture(p, -1, 1);
        FitStatus(m_Host, MsgLinked);
        if (p->CountFittedPoints() == LinkedPointsForPlacement && GetPictureCount() > 1)
            m_Host->OnPlacementChanged(1);
    } else if (made < 0) {
        p->m_SearchMark = 3;
    }
    return 0;
}

int CMcCore::TransferOpenPoint(CKpic* picture)
{
    if (!picture)
        return 0;
    // Linear and panorama outputs are cut where the yaw wraps: a picture takes no point from a
    // picture on the other side of that seam. Fisheye outputs have no seam.
    const bool cutAtSeam = IsLinearProjection(m_Projection) || IsPanoramaProjection(m_Projection);
    for (const auto& owned : m_Pictures) {
        const CKpic* q = owned.get();
        if (q == picture)
            break;
        if (q->m_Status < 3)
            continue;
        if (cutAtSeam && std::fabs(q->Yaw() - picture->Yaw()) > EnginePi)
            continue;
        for (const ControlPoint& source : q->m_Points) {
            if (source.kind == 0 || source.state != 0)
                continue;
            if (picture->HasPointId(source.pointId) || !picture->CoversSpherePoint(source.spherePosition))
                continue;
            const int slot = picture->AddPointAt(source.pointId, picture->SphereToPixel(source.spherePosition));
            if (slot < 0)
                continue;
            ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(slot)];
            cp.kind = source.kind == 4 ? 4 : 3;
            cp.state = 3;
            cp.target = source.spherePosition;
            if (MatchControlPoint(picture, slot, 1.0, 4) != 1)
                cp.state = -3;
            if (m_JobMode == -1) {
                cp.Free();
                return 0;
            }
            return 1;
        }
    }
    return 0;
}

int CMcCore::EvaluateFeatureWindows(CKpic* picture)
{
    if (!picture)
        return -1;
    if (!picture->FeaturesReady) {
        EnsurePictureImage(picture);
        picture->EnsureReady();
    }
    picture->BuildFeatureGrid();
    const int size = picture->FeatureCellSize;
    CPoint previous(-1, -1);
    for (int attempt = 0; attempt < MostFeatureTries; ++attempt) {
        const CPoint c = picture->FindBestFeatureCell();
        if (!IsGridCell(c) || c == previous)
            return -1;
        previous = c;
        SamplePoint& cell = picture->FeatureCells[c.x][c.y];
        if (picture == LastFeaturePicture && c == LastFeatureCell) {
            cell.Weight = 0;
            continue;
        }
        if (static_cast<int64_t>(cell.Strength) * cell.Weight <= 0)
            return -1;
        CDPoint pixel(c.x * size + size / 2, c.y * size + size / 2);
        CKpic* partner = CreatePointAtFeature(picture, pixel);
        if (m_JobMode == -1)
            return 0;
        if (partner && partner != picture) {
            LastFeaturePicture = picture;
            LastFeatureCell = c;
            return attempt < FeatureTriesThatCount ? 1 : -1;
        }
        cell.Weight = 0;
        picture->DampFeaturesNear(static_cast<int>(std::lround(pixel.x)), static_cast<int>(std::lround(pixel.y)));
    }
    return 0;
}

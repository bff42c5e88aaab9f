// Control-point pairing and link upkeep of the picture set: finding the partner slot of a point
// id, creating pairs (at a feature, at a picture's direction, as the partner of a sphere point),
// re-linking and repairing links after pictures moved, removing pairs, pruning broken links,
// and listing a picture's points for the views and the open points for the region lookup.
//
// A link is two used slots in two pictures with the same point id. Partner searches look only
// at pictures before the given one in the list order (fitted pictures first). Directions are
// (longitude, latitude) in radians; positions are picture pixels.
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

#include "common/status_codes.h"
#include "engine/fit/fit_candidates.h"
#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

// A point is covered by a picture only this far inside its edges.
constexpr int CoverMargin = 20;
// A direction pair is made only when the picture's direction lies within this many pixels of
// the neighbour's optical centre on the neighbour's camera plane.
constexpr double DirectionPairReach = 20000.0;

bool HoldsId(const ControlPoint& cp, int32_t id) { return cp.kind != 0 && cp.pointId == id; }

// The first slot from the front, up to the first free one, that holds the id; -1 when none.
int FindIdInFront(const CKpic& k, int32_t id)
{
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        const ControlPoint& cp = k.m_Points[static_cast<std::size_t>(i)];
        if (cp.kind == 0)
            break;
        if (cp.pointId == id)
            return i;
    }
    return -1;
}

// The first slot anywhere in the table that holds the id; -1 when none.
int FindIdAnywhere(const CKpic& k, int32_t id)
{
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i)
        if (HoldsId(k.m_Points[static_cast<std::size_t>(i)], id))
            return i;
    return -1;
}

// The panorama projections show a picture only on the side of the seam its yaw lies on.
bool OnOtherSideOfSeam(int projection, const CKpic& k, CDPoint s)
{
    const bool cutAtSeam = IsLinearProjection(projection) || IsPanoramaProjection(projection);
    return cutAtSeam && std::fabs(k.m_Direction.x - s.x) > EnginePi;
}

bool IsListed(const std::vector<std::unique_ptr<CKpic>>& list, const CKpic* picture)
{
    for (const auto& k : list)
        if (k.get() == picture)
            return true;
    return false;
}

} // namespace

CKpic* CMcCore::FindPartnerPoint(CKpic* picture, int32_t id, int& slot)
{
    slot = -1;
    // The placement anchor ties a picture to a position, never to another picture.
    if (picture == nullptr || id == PLACEMENT_ANCHOR_ID || !IsListed(m_Pictures, picture))
        return nullptr;
    for (const auto& k : m_Pictures) {
        if (k.get() == picture)
            return nullptr;
        if (k->m_Status < 3)
            continue;
        const int i = FindIdInFront(*k, id);
        if (i >= 0) {
            slot = i;
            return k.get();
        }
    }
    return nullptr;
}

CKpic* CMcCore::FindUniquePartner(CKpic* picture, int32_t id, int& slot)
{
    slot = -1;
    if (picture == nullptr || id == PLACEMENT_ANCHOR_ID)
        return nullptr;
    CKpic* found = nullptr;
    int foundSlot = -1;
    int before = 0;
    bool after = false;
    bool seen = false;
    for (const auto& k : m_Pictures) {
        if (k.get() == picture) {
            seen = true;
            continue;
        }
        const int i = FindIdAnywhere(*k, id);
        if (i < 0)
            continue;
        if (seen) {
            after = true;
        } else {
            ++before;
            found = k.get();
            foundSlot = i;
        }
    }
    if (!seen || before != 1 || after)
        return nullptr;
    slot = foundSlot;
    return found;
}

CKpic* CMcCore::FindPictureCovering(CKpic* picture, CDPoint direction)
{
    for (const auto& k : m_Pictures) {
        if (k.get() == picture || k->m_Status < 2)
            continue;
        if (OnOtherSideOfSeam(m_Projection, *k, direction))
            continue;
        if (k->CoversSpherePoint(direction))
            return k.get();
    }
    return nullptr;
}

CKpic* CMcCore::FindNearestFittedPicture(CKpic* picture, CDPoint direction)
{
    CKpic* best = nullptr;
    double bestDistance = EngineTwoPi;
    for (const auto& k : m_Pictures) {
        if (k.get() == picture || k->m_Status < 3)
            continue;
        if (OnOtherSideOfSeam(m_Projection, *k, direction))
            continue;
        const double d = SphericalDistance(k->m_Direction, direction);
        if (d < bestDistance) {
            bestDistance = d;
            best = k.get();
        }
    }
    return bestDistance <= 0.45 * EnginePi ? best : nullptr;
}

void CMcCore::ResolvePointPartners(CKpic* picture)
{
    if (picture == nullptr)
        return;
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(i)];
        if (cp.kind == 0)
            continue;
        int slot = -1;
        CKpic* partner = FindPartnerPoint(picture, cp.pointId, slot);
        if (partner != nullptr) {
            if (cp.state == 0)
                cp.state = 3;
            cp.target = partner->m_Points[static_cast<std::size_t>(slot)].spherePosition;
        } else if (cp.state != 0 && cp.pointId != PLACEMENT_ANCHOR_ID && cp.state != -6) {
            cp.state = 0;
        }
    }
    m_RegionsValid = 0;
}

void CMcCore::RepairPointLinks(CKpic* picture)
{
    if (picture == nullptr)
        return;
    bool cleared = false;
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(i)];
        if (cp.kind <= 0 || cp.state <= 2)
            continue;
        int slot = -1;
        if (FindPartnerPoint(picture, cp.pointId, slot) != nullptr)
            continue;
        if (AddPartnerPoint(picture, cp.pointId, cp.target) == nullptr) {
            cp.Free();
            cleared = true;
        }
    }
    if (cleared)
        picture->CompactControlPoints();
    m_RegionsValid = 0;
}

CKpic* CMcCore::AddPartnerPoint(CKpic* picture, int32_t id, CDPoint direction)
{
    CKpic* q = FindPictureCovering(picture, direction);
    if (q == nullptr || q == picture)
        return nullptr;
    ControlPoint cp;
    cp.kind = 1;
    cp.state = 0;
    cp.pointId = id;
    const CDPoint plane = q->SphereToPlane(direction);
    cp.SetPlanePoint(plane, q->m_Focal);
    cp.position = q->PlaneToPixel(plane);
    cp.spherePosition = direction;
    q->m_Points[static_cast<std::size_t>(q->FindFreePoint())] = cp;
    m_RegionsValid = 0;
    return q;
}

CKpic* CMcCore::FindFeatureInCoveringPicture(CKpic* picture, CDPoint& direction)
{
    CKpic* q = FindPictureCovering(picture, direction);
    if (q == nullptr || q == picture)
        return nullptr;
    if (EnsurePictureImage(q) < 0)
        return nullptr;
    q->EnsureReady();
    const CPoint c = q->SphereToPixelPoint(direction);
    const int k = q->FeatureCellSize / 4;
    int best = -10;
    bool found = false;
    CPoint winner = c;
    for (int i = -2; i <= 2; ++i) {
        for (int j = -2; j <= 2; ++j) {
            const int x = c.x + i * k;
            const int y = c.y + j * k;
            if (!q->ContainsPoint(x, y, CoverMargin))
                continue;
            COLORREF centre = 0, patch = 0;
            const int score = q->MeasureFeatureStrength(x, y, centre, patch);
            if (score > best) {
                best = score;
                winner = CPoint(x, y);
                found = true;
            }
        }
    }
    // No position scored: the point stays where it was.
    if (found)
        direction = q->PixelPointToSphere(winner.x, winner.y);
    return q;
}

CKpic* CMcCore::CreatePointAtFeature(CKpic* picture, CDPoint& pixel)
{
    if (picture == nullptr)
        return nullptr;
    const int32_t id = NewPointId();
    CDPoint s = picture->PixelToSphere(pixel);
    CKpic* q = FindFeatureInCoveringPicture(picture, s);
    if (q == nullptr || q == picture)
        return nullptr;
    pixel = picture->SphereToPixel(s);
    CKpic* q2 = AddPartnerPoint(picture, id, s);
    if (q2 == nullptr || q2 == picture)
        return nullptr;
    ControlPoint& partnerSlot = q2->m_Points[static_cast<std::size_t>(q2->LastUsedPoint())];
    partnerSlot.kind = 4;
    const int slot = picture->AddPointAt(id, pixel);
    if (slot < 0) {
        partnerSlot.kind = 0;
        return nullptr;
    }
    ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(slot)];
    cp.kind = 4;
    cp.state = 1;
    cp.target = s;
    MatchControlPoint(picture, slot, 2.0, 8);
    const int r = MatchControlPoint(picture, slot, 0.5, 8);
    if (r == 1 && m_JobMode != -1) {
        cp.state = 3;
        pixel = cp.position;
        return q2;
    }
    cp.Free();
    partnerSlot.kind = 0;
    m_RegionsValid = 0;
    return nullptr;
}

int CMcCore::CreatePointPair(CKpic* picture, CKpic* neighbour)
{
    if (picture == nullptr)
        return -1;
    int slot = picture->FindPointStateM5();
    if (slot < 0)
        slot = picture->FindFreePoint();
    const CDPoint d = picture->m_Direction;
    if (neighbour == nullptr)
        neighbour = FindNearestFittedPicture(picture, d);
    if (neighbour == nullptr)
        return -1;
    const CDPoint plane = neighbour->SphereToPlane(d);
    const CPoint rounded = plane.ToPoint();
    if (std::abs(static_cast<int64_t>(rounded.x)) > DirectionPairReach || std::abs(static_cast<int64_t>(rounded.y)) > DirectionPairReach)
        return -1;

    const int32_t id = NewPointId();
    ControlPoint n;
    n.kind = 5;
    n.state = 0;
    n.pointId = id;
    n.SetPlanePoint(plane, neighbour->m_Focal);
    n.position = neighbour->PlaneToPixel(plane);
    n.spherePosition = d;
    neighbour->m_Points[static_cast<std::size_t>(neighbour->FindFreePoint())] = n;

    ControlPoint p;
    p.kind = 5;
    p.state = -5;
    p.pointId = id;
    p.SetPlanePoint(CDPoint(0.0, 0.0), picture->m_Focal);
    p.position = picture->PlaneToPixel(CDPoint(0.0, 0.0));
    p.target = d;
    p.spherePosition = d;
    picture->m_Points[static_cast<std::size_t>(slot)] = p;
    m_RegionsValid = 0;
    return 1;
}

void CMcCore::RemoveControlPoint(CKpic* picture, int slot)
{
    if (picture == nullptr || slot < 0 || slot >= CONTROL_POINT_SLOTS)
        return;
    ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(slot)];
    const int32_t id = cp.pointId;
    cp.pointId = 0;
    cp.Free();
    int partnerSlot = -1;
    if (CKpic* partner = FindUniquePartner(picture, id, partnerSlot)) {
        ControlPoint& other = partner->m_Points[static_cast<std::size_t>(partnerSlot)];
        other.pointId = 0;
        other.Free();
        partner->CompactControlPoints();
    }
    m_RegionsValid = 0;
}

void CMcCore::RemoveAutoPoints(CKpic* picture)
{
    if (picture == nullptr)
        return;
    const int n = picture->CountControlPoints();
    auto isAuto = [](const ControlPoint& cp) { return cp.kind > 2 && cp.state != 0; };
    int count = 0;
    for (int i = 0; i < n; ++i)
        if (isAuto(picture->m_Points[static_cast<std::size_t>(i)]))
            ++count;
    if (count == 0)
        return;
    if (picture->CountLinkedUserPoints() == 1 && m_Host != nullptr)
        m_Host->ShowStatus(0, MessageNumberText(kMsgAutoPointsRemoved), std::string(), std::string());
    for (int i = 0; i < n; ++i)
        if (isAuto(picture->m_Points[static_cast<std::size_t>(i)]))
            RemoveControlPoint(picture, i);
    picture->CompactControlPoints();
    m_RegionsValid = 0;
}

void CMcCore::ResetPicture(CKpic* picture)
{
    if (picture == nullptr)
        return;
    const int n = picture->CountControlPoints();
    picture->m_Status = 0;
    picture->m_Direction = CDPoint(0.0, 0.0);
    picture->m_Roll = 0.0;
    ResetPictureCentre(picture);
    UpdateLensScale(picture);
    picture->m_Focal = picture->m_DefaultFocal;
    picture->m_FitScore = 0.0;
    for (int i = 0; i < n; ++i)
        RemoveControlPoint(picture, i);
    for (ControlPoint& cp : picture->m_Points) {
        cp.pointId = 0;
        cp.Free();
    }
    picture->CompactControlPoints();
    m_RegionsValid = 0;
}

void CMcCore::PruneBrokenLinks()
{
    for (const auto& k : m_Pictures) {
        const int n = k->CountControlPoints();
        bool changed = false;
        for (int i = 0; i < n; ++i) {
            ControlPoint& cp = k->m_Points[static_cast<std::size_t>(i)];
            if (cp.kind > 2 && (cp.state == -3 || cp.state == -2 || cp.state == -1)) {
                cp.Free();
                changed = true;
            }
        }
        if (changed)
            k->CompactControlPoints();
    }

    // Links are keyed by point id; the anchor id is shared by every picture's own anchor, so
    // anchors are keyed by their picture too and never add up across pictures.
    using Key = std::pair<int32_t, const CKpic*>;
    auto keyOf = [](const CKpic* k, int32_t id) { return Key(id, id == PLACEMENT_ANCHOR_ID ? k : nullptr); };
    std::map<Key, uint32_t> scores;
    for (const auto& k : m_Pictures) {
        const int n = k->CountControlPoints();
        for (int i = 0; i < n; ++i) {
            const ControlPoint& cp = k->m_Points[static_cast<std::size_t>(i)];
            uint32_t add = 0;
            if (cp.kind != 0 && cp.state == 0)
                add += 10000;
            if (cp.kind == 1 && cp.state == -4)
                add += 10100;
            if (cp.kind != 0 && cp.state == -5)
                add += 1;
            if (cp.kind != 0 && cp.state == -6)
                add += 6000;
            if (cp.kind == 1 && cp.state != 0)
                add += 1;
            if (cp.kind > 2 && cp.state > 1)
                add += 1;
            scores[keyOf(k.get(), cp.pointId)] += add;
        }
    }
    for (auto it = scores.begin(); it != scores.end();) {
        if (it->second > 10000 && it->second < 19000)
            it = scores.erase(it);
        else
            ++it;
    }
    if (scores.empty())
        return;
    for (const auto& k : m_Pictures) {
        const int n = k->CountControlPoints();
        bool changed = false;
        for (int i = 0; i < n; ++i) {
            ControlPoint& cp = k->m_Points[static_cast<std::size_t>(i)];
            if (scores.count(keyOf(k.get(), cp.pointId)) != 0) {
                cp.Free();
                changed = true;
            }
        }
        if (changed)
            k->CompactControlPoints();
    }
    m_RegionsValid = 0;
}

void CMcCore::GetPointMarks(CKpic* picture, std::vector<MarkPoint>& marks)
{
    marks.clear();
    if (picture == nullptr)
        return;
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        const ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(i)];
        if (cp.kind != 1 || cp.state == 0)
            continue;
        const CPoint p = SphereToPixel(cp.target);
        marks.push_back(MarkPoint{p.x, p.y, i + 1, 0});
    }
}

void CMcCore::CollectOpenPoints()
{
    m_Regions.clear();
    for (const auto& k : m_Pictures) {
        if (k->m_Status <= 2)
            continue;
        for (const ControlPoint& cp : k->m_Points) {
            if (cp.kind == 0)
                break;
            if (cp.kind != 1 || cp.state != 0)
                continue;
            bool known = false;
            for (const PointEntry& e : m_Regions)
                known = known || e.id == cp.pointId;
            if (known)
                continue;
            // The output pixel is filled here, so that the region lookup never reads an
            // entry whose pixel was not set.
            PointEntry e;
            e.id = cp.pointId;
            e.pos = cp.spherePosition;
            e.ipos = SphereToPixel(cp.spherePosition);
            m_Regions.push_back(e);
        }
    }
    m_RegionsValid = 1;
}

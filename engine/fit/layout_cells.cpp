// Layout cells of the fitted pictures: the list of fitted pictures by distance from the base
// picture, the nearest fitted neighbour of a picture, the picture at a cell, and the walk that
// gives every fitted picture its cell from its neighbour's.
//
// Cells: (column, row) with the base picture at (0, 0). A column step follows the longitude
// (column + 1 is the neighbour at a larger longitude), a row step the latitude (row + 1 is the
// neighbour at a larger latitude). Bearings are those of SignedBearingOnSphere: 0 towards a
// larger latitude, positive turning towards a smaller longitude. A cell of (0, 0) on any
// picture but the base means that it has no cell yet.
#include <cmath>
#include <vector>

#include "geometry/sphere.h"
#include "picset/mccore.h"

namespace {

const CPoint HomeCell(0, 0);

double DistanceFromBase(const CKpic* base, const CKpic* k)
{
    return std::hypot(base->Yaw() - k->Yaw(), base->Pitch() - k->Pitch());
}

// The cell step that a bearing from the neighbour to the picture stands for.
CPoint StepForBearing(double b)
{
    if (std::fabs(b) <= EngineQuarterPi)
        return {0, 1};
    if (b > EngineQuarterPi && b <= 3.0 * EngineQuarterPi)
        return {-1, 0};
    if (b >= -3.0 * EngineQuarterPi && b <= -EngineQuarterPi)
        return {1, 0};
    return {0, -1};
}

} // namespace

int CMcCore::ListByDistanceFromBase(std::vector<CKpic*>& list)
{
    list.clear();
    CKpic* base = GetFirstPicture();
    if (!base)
        return 1;
    for (const auto& owned : m_Pictures) {
        CKpic* k = owned.get();
        if (k->m_Status <= 2)
            continue;
        if (k == base) {
            list.insert(list.begin(), k);
            continue;
        }
        // The base picture stays in front even when another picture shares its direction.
        const double d = DistanceFromBase(base, k);
        auto at = list.begin();
        if (at != list.end() && *at == base)
            ++at;
        while (at != list.end() && DistanceFromBase(base, *at) < d)
            ++at;
        list.insert(at, k);
    }
    return 1;
}

CKpic* CMcCore::FindNearestFittedNeighbour(const std::vector<CKpic*>& list, CKpic* picture)
{
    CKpic* base = GetFirstPicture();
    CKpic* result = base;
    if (!picture)
        return result;
    double best = EngineSixPi;
    for (CKpic* e : list) {
        if (e == picture)
            break;
        if (e->m_Status <= 2)
            continue;
        if (e != base && e->m_LayoutCell == HomeCell)
            continue;
        if (std::fabs(e->Yaw() - picture->Yaw()) > EnginePi)
            continue;
        const double bearing = SignedBearingOnSphere(picture->m_Direction, e->m_Direction);
        const double score = (DeviationFromRightAngle(bearing) + EngineQuarterPi) * SphericalDistance(picture->m_Direction, e->m_Direction);
        if (score < best) {
            best = score;
            result = e;
        }
    }
    return result;
}

CKpic* CMcCore::FindPictureAtCell(const std::vector<CKpic*>& list, CKpic* picture, CPoint cell)
{
    for (CKpic* e : list) {
        if (e == picture)
            break;
        if (e->m_Status > 2 && e->m_LayoutCell != HomeCell && e->m_LayoutCell == cell)
            return e;
    }
    return nullptr;
}

int CMcCore::AssignGridCells()
{
    CKpic* base = GetFirstPicture();
    if (!base || m_FittedCount < 1 || base->m_Status <= 2)
        return -1;
    std::vector<CKpic*> list;
    ListByDistanceFromBase(list);
    base->m_LayoutCell = HomeCell;
    for (CKpic* e : list) {
        if (e == base)
            continue;
        CKpic* n = FindNearestFittedNeighbour(list, e);
        const CPoint step = StepForBearing(SignedBearingOnSphere(n->m_Direction, e->m_Direction));
        CPoint cell = n->m_LayoutCell + step;
        // Bounded by the list: every occupied cell belongs to one entry before e.
        for (std::size_t guard = 0; guard <= list.size() && FindPictureAtCell(list, e, cell); ++guard)
            cell += step;
        e->m_LayoutCell = cell;
    }
    return 1;
}

// The layout grid built from the pictures' cells: the picture at the home cell, the rectangle of
// used cells, the cells connected to the home cell (with the extent of the home row and the
// cell -> picture table), the count of connected pictures, the choice of the next picture to
// fit from its placed neighbours, the placement penalty, and the two corrections of the base
// picture after a fit (a vertical shift of its anchor and the levelling of its roll).
//
// Cells are (column, row), rows counting upwards; rectangles of cells are inclusive on all
// four sides. Work tables are row-major over a rectangle of cells with a margin of empty cells
// so that every neighbour lookup stays inside the table.
#include <cmath>
#include <vector>

#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "geometry/projections.h"

namespace {

const CPoint HomeCell(0, 0);
constexpr int UsedCellsLimit = CMcCore::LayoutGridReach;
constexpr int CountedCellsLimit = 18;
constexpr int Free = 0;
constexpr int Occupied = 1;
constexpr int Reached = 2;
constexpr int NoStatus = -999999;
constexpr int Visited = 999999;

bool InsideInclusive(const CRect& r, CPoint p)
{
    return p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom;
}

CRect Inflated(const CRect& r, int by) { return CRect(r.left - by, r.top - by, r.right + by, r.bottom + by); }

void Include(CRect& r, CPoint p)
{
    r.left = std::min(r.left, p.x);
    r.right = std::max(r.right, p.x);
    r.top = std::min(r.top, p.y);
    r.bottom = std::max(r.bottom, p.y);
}

bool WithinLimit(CPoint c, int limit) { return c.x >= -limit && c.x < limit && c.y >= -limit && c.y < limit; }

// Inclusive box of (0, 0) and the cells with -limit <= column, row < limit.
CRect CellBox(const CMcCore& set, int limit)
{
    CRect r(0, 0, 0, 0);
    for (const auto& k : set.m_Pictures) {
        const CPoint c = k->m_LayoutCell;
        if (WithinLimit(c, limit))
            Include(r, c);
    }
    return r;
}

// A row-major table over an inclusive rectangle of cells.
class CellTable {
public:
    CellTable(const CRect& area, int fill)
        : m_area(area), m_width(area.right - area.left + 1),
          m_cells(static_cast<std::size_t>(m_width) * (area.bottom - area.top + 1), fill)
    {
    }
    bool Contains(CPoint c) const { return InsideInclusive(m_area, c); }
    int& At(CPoint c) { return m_cells[static_cast<std::size_t>((c.y - m_area.top) * m_width + (c.x - m_area.left))]; }
    std::size_t Size() const { return m_cells.size(); }

private:
    CRect m_area;
    int m_width;
    std::vector<int> m_cells;
};

// Neighbour steps in the order the sweeps look: above (row - 1), right, below, left.
constexpr CPoint Steps[4] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};

// A two-entry candidate list sorted by score (equal scores keep their order); the 0-based
// position where c went, or -1 when it fell off the end.
int InsertIntoPair(FitCandidateList& list, const FitCandidate& c)
{
    std::size_t at = 0;
    while (at < list.size() && list[at].score <= c.score)
        ++at;
    if (at >= 2)
        return -1;
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), c);
    if (list.size() > 2)
        list.pop_back();
    return static_cast<int>(at);
}

bool IsDiagonalIndex(int index) { return index == 0 || index == 2 || index == 6 || index == 8; }

// Spread of values whose sum and sum of squares over n are given; -1 when the mean of squares
// falls below the squared mean.
double Spread(double sum, double sumSquares, int n)
{
    const double mean = sum / n;
    const double meanSquares = sumSquares / n;
    if (mean * mean > meanSquares)
        return -1.0;
    return std::sqrt(meanSquares - mean * mean);
}

} // namespace

CKpic* CMcCore::FindPictureAtHomeCell()
{
    for (const auto& k : m_Pictures)
        if (k->m_LayoutCell == HomeCell)
            return k.get();
    return nullptr;
}

bool CMcCore::IsLayoutGridCell(CPoint cell) { return WithinLimit(cell, UsedCellsLimit); }

CRect CMcCore::GetUsedCellsRect() { return CellBox(*this, UsedCellsLimit); }

void CMcCore::BuildLayoutGrid()
{
    m_LayoutRect.SetRectEmpty();
    m_HomeRowExtent.SetRectEmpty();
    const CRect used = GetUsedCellsRect();
    CellTable table(Inflated(used, 2), Free);
    const CRect marked = Inflated(used, 1);
    for (const auto& k : m_Pictures)
        if (InsideInclusive(marked, k->m_LayoutCell))
            table.At(k->m_LayoutCell) = Occupied;
    if (table.At(HomeCell) != Occupied)
        return;

    table.At(HomeCell) = Reached;
    CRect sweep(0, 0, 0, 0);
    CRect layout(0, 0, 0, 0);
    CRect homeRow(0, 0, 0, 0);
    for (std::size_t round = 0; round < table.Size(); ++round) {
        bool grew[4] = {false, false, false, false};
        const int top = std::max(sweep.top, used.top);
        const int bottom = std::min(sweep.bottom, used.bottom);
        const int left = std::max(sweep.left, used.left);
        const int right = std::min(sweep.right, used.right);
        for (int row = top; row <= bottom; ++row) {
            for (int column = left; column <= right; ++column) {
                const CPoint cell(column, row);
                if (table.At(cell) != Reached)
                    continue;
                for (int d = 0; d < 4; ++d) {
                    const CPoint next = cell + Steps[d];
                    if (table.At(next) != Occupied)
                        continue;
                    table.At(next) = Reached;
                    grew[d] = true;
                    Include(layout, next);
                    if (row == 0 && Steps[d].y == 0)
                        Include(homeRow, next);
                }
            }
        }
        if (!grew[0] && !grew[1] && !grew[2] && !grew[3])
            break;
        if (grew[0])
            --sweep.top;
        if (grew[1])
            ++sweep.right;
        if (grew[2])
            ++sweep.bottom;
        if (grew[3])
            --sweep.left;
    }
    m_LayoutRect = layout;
    m_HomeRowExtent = homeRow;

    // The cell -> picture table over the layout rectangle; the last picture of a cell wins.
    const int width = layout.right - layout.left + 1;
    const int height = layout.bottom - layout.top + 1;
    m_LayoutGrid.assign(static_cast<std::size_t>(width) * height, nullptr);
    for (const auto& k : m_Pictures) {
        const CPoint c = k->m_LayoutCell;
        if (InsideInclusive(layout, c))
            m_LayoutGrid[static_cast<std::size_t>((c.y - layout.top) * width + (c.x - layout.left))] = k.get();
    }
}

int CMcCore::PrepareGridCandidates(int statusLimit, int& count)
{
    const CRect box = CellBox(*this, CountedCellsLimit);
    CellTable table(Inflated(box, 2), NoStatus);
    const CRect marked = Inflated(box, 1);
    for (const auto& k : m_Pictures)
        if (InsideInclusive(marked, k->m_LayoutCell))
            table.At(k->m_LayoutCell) = k->m_Status;
    const int home = table.At(HomeCell);
    if (home == NoStatus)
        return 0;

    count = 0;
    int fitted = 0;
    auto take = [&](int status) {
        if (status >= statusLimit)
            ++count;
        if (status > 2)
            ++fitted;
    };
    take(home);
    table.At(HomeCell) = Visited;
    CRect sweep(0, 0, 0, 0);
    for (;;) {
        bool visitedNew = false;
        for (int row = sweep.top; row <= sweep.bottom; ++row) {
            for (int column = sweep.left; column <= sweep.right; ++column) {
                const CPoint cell(column, row);
                if (table.At(cell) != Visited)
                    continue;
                for (const CPoint& step : Steps) {
                    int& entry = table.At(cell + step);
                    if (entry > NoStatus && entry < Visited) {
                        take(entry);
                        entry = Visited;
                        visitedNew = true;
                    }
                }
            }
        }
        if (!visitedNew)
            break;
        // Grows by one cell on every side, but never past the cells that can hold a status.
        sweep = CRect(std::max(sweep.left - 1, marked.left), std::max(sweep.top - 1, marked.top),
                      std::min(sweep.right + 1, marked.right), std::min(sweep.bottom + 1, marked.bottom));
    }
    return fitted;
}

int CMcCore::CountConnectedPictures(int statusLimit, int& count) { return PrepareGridCandidates(statusLimit, count); }

FitCandidate CMcCore::CellNeighbourCandidate(CKpic* picture, int statusMin)
{
    FitCandidate c;
    c.hp = CPoint(0, 4);
    if (!picture)
        return c;
    int best = 999999;
    const CPoint own = picture->m_LayoutCell;
    for (const auto& owned : m_Pictures) {
        CKpic* q = owned.get();
        if (q == picture || q->m_Status < statusMin)
            continue;
        const int dx = q->m_LayoutCell.x - own.x;
        const int dy = q->m_LayoutCell.y - own.y;
        if (std::abs(dx) > 1 || std::abs(dy) > 1 || (dx == 0 && dy == 0))
            continue;
        const int index = 3 * dy + 4 + dx;
        const int tries = picture->m_TryCounters[index];
        if (tries < 0 || tries >= 3)
            continue;
        const int cost = tries + (IsDiagonalIndex(index) ? 4 : 0);
        if (cost < best) {
            best = cost;
            c.uppic = q;
            c.hp = CPoint(9 - index, tries);
        }
    }
    return c;
}

FitCandidate CMcCore::BestGridCandidate(int statusLimit)
{
    double limit = 1000000.0;
    FitCandidateList list;
    FitCandidate working;
    for (const auto& owned : m_Pictures) {
        CKpic* p = owned.get();
        if (p->m_Status >= statusLimit)
            continue;
        if (p->m_LayoutCell == HomeCell) {
            // The picture at the home cell goes first, against no partner.
            FitCandidate home;
            home.picture = p;
            home.score = 0.0;
            home.hp = CPoint(0, 0);
            InsertIntoPair(list, home);
            break;
        }
        double d = std::hypot(static_cast<double>(p->m_LayoutCell.x), static_cast<double>(p->m_LayoutCell.y));
        if (d > limit)
            continue;
        working = CellNeighbourCandidate(p, statusLimit);
        const int code = working.hp.x;
        if (code == 0)
            continue;
        if (code % 2 == 1)
            d += 1.2;
        working.score = d + p->m_TryCounters[9 - code] / 5.0;
        working.picture = p;
        if (InsertIntoPair(list, working) >= 0)
            limit = working.score + 1.2;
    }
    if (!list.empty())
        return list.front();
    working.score = 1000000.0;
    return working;
}

long double CMcCore::PlacementPenalty(CKpic* picture, CDPoint direction, double roll)
{
    if (!picture)
        return 1e6L;
    const double a = SphericalDistance(picture->m_Direction, direction) * picture->m_Focal;
    const double beyond = a >= 5.0 ? a - 5.0 : 0.0;
    const double r = std::fabs(picture->m_Roll - roll);
    return static_cast<long double>(r / 0.05 + 1.0) * (beyond / 20.0 + 1.0) * picture->m_FitScore * 0.8;
}

int CMcCore::AdjustBaseAnchor()
{
    CKpic* base = GetFirstPicture();
    if (m_FittedCount < 3 || !base)
        return -2;
    const double lowest = EnginePi / 12.0;
    const double highest = EnginePi - EnginePi / 12.0;
    double weighted = 0.0, weights = 0.0, sum = 0.0, squares = 0.0;
    int n = 0;
    for (const auto& owned : m_Pictures) {
        const CKpic* p = owned.get();
        const CPoint c = p->m_LayoutCell;
        if (p->m_Status <= 2 || c.y < -1 || c.y > 1 || c == HomeCell)
            continue;
        const double y = std::fabs(p->Yaw());
        if (y < lowest || y > highest)
            continue;
        const double dr = NormalizeAngle(base->m_Roll - p->m_Roll);
        if (std::fabs(dr) > EnginePi / 3.0)
            return -2;
        const double t = dr / std::sin(p->Yaw());
        weighted += t * y;
        weights += y;
        sum += t;
        squares += t * t;
        ++n;
    }
    if (n < 2)
        return -2;
    const double spread = Spread(sum, squares, n);
    if (spread < 0.0 || spread > 0.2)
        return -2;
    const double shift = std::sin(weighted / weights) * base->m_Focal;
    if (std::fabs(shift) < base->Height() / 500)
        return -2;

    CPoint anchor;
    const int slot = base->FindAnchorPoint();
    if (slot >= 0 && base->m_Points[static_cast<std::size_t>(slot)].pointId == PLACEMENT_ANCHOR_ID)
        anchor = base->m_Points[static_cast<std::size_t>(slot)].position.ToPoint();
    else
        anchor = base->PlaneToPixelPoint(CDPoint(0.0, 0.0));
    const int move = static_cast<int>(shift);
    switch (base->QuarterTurns & 3) {
    case 0: anchor.y += move; break;
    case 1: anchor.x += move; break;
    case 2: anchor.y -= move; break;
    default: anchor.x -= move; break;
    }
    SetPicturePlacement(base->m_Path, anchor);
    const int placed = base->FindAnchorPoint();
    if (placed >= 0)
        base->m_Points[static_cast<std::size_t>(placed)].position.y += 0.77;
    ApplyDefaultFocal(std::string());
    return 3;
}

int CMcCore::LevelPanorama()
{
    CKpic* base = GetFirstPicture();
    if (!IsPanoramaProjection(m_Projection))
        return -2;
    if (m_FittedCount < 3 || !base)
        return -2;
    const double lowest = EnginePi / 12.0;
    const double highest = EnginePi - EnginePi / 12.0;
    const CDPoint b = SphereToPlane(base->m_Direction);
    double sumE = 0.0, sumW = 0.0, sumD = 0.0, squares = 0.0;
    int n = 0;
    for (const auto& owned : m_Pictures) {
        const CKpic* p = owned.get();
        if (p->m_Status <= 2 || p->m_LayoutCell.y != 0 || p->m_LayoutCell == HomeCell)
            continue;
        const double y = std::fabs(p->Yaw());
        if (y < lowest || y > highest)
            continue;
        const double w = std::sin(y);
        const CDPoint v = SphereToPlane(p->m_Direction) - b;
        const double d = NormalizeHalfTurn(PlaneDirectionAngle(v) - EngineHalfPi);
        const double e = d * w;
        if (std::fabs(e) > lowest)
            return -2;
        sumE += e;
        sumW += w;
        sumD += d;
        squares += d * d;
        ++n;
    }
    if (n < 3)
        return -2;
    const double spread = Spread(sumD, squares, n);
    if (spread < 0.0 || spread > 0.03)
        return -2;
    const double c = sumE / sumW;
    if (std::fabs(c) < 0.005)
        return -2;
    base->m_Roll -= c;
    ApplyDefaultFocal(std::string());
    return 3;
}

// Dragging a picture over the work space: a small square preview of the dragged picture for
// every mouse move and, over a placed partner picture, a snap search that compares colours of
// the preview with the partner at candidate offsets on a coarse grid and rewrites the drag
// point to the best match. The search gives way as soon as the mouse moves on; the dragged
// picture's orientation is changed only while the preview is sampled.
#include <cmath>
#include <new>
#include <string>

#include "engine/fit/fit_candidates.h"
#include "geometry/focal_from_angle.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/input_state.h"

namespace {

constexpr COLORREF EmptyEntry = 0xFFFFFFFF;
constexpr COLORREF NoPictureColour = 0x00FFFFFF;
constexpr int GridSide = 20;
constexpr int GridCentre = 10;
constexpr int Unscored = 0x55555555;
constexpr int BlockSide = 16;
constexpr int DragCandidateCapacity = 50;
constexpr long double Unjudged = 1000000.0L;

constexpr int FlagRight = 0x10;
constexpr int FlagBelow = 0x20;
constexpr int FlagLeft = 0x40;
constexpr int FlagAbove = 0x80;
constexpr int FlagSnapped = 0x100;

constexpr CPoint StartRing[9] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {0, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
constexpr CPoint ExpansionRing[44] = {
    {-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1},                          //
    {-1, -2}, {1, -2}, {-2, -1}, {2, -1}, {-2, 1}, {2, 1}, {-1, 2}, {1, 2},                        //
    {0, -3}, {-3, 0}, {3, 0}, {0, 3},                                                              //
    {-1, -4}, {1, -4}, {-3, -3}, {3, -3}, {-4, -1}, {4, -1}, {-4, 1}, {4, 1}, {-3, 3}, {3, 3}, {-1, 4}, {1, 4}, //
    {0, -8}, {-4, -7}, {4, -7}, {-7, -4}, {7, -4}, {-8, 0}, {8, 0}, {-7, 4}, {7, 4}, {-4, 7}, {4, 7}, {0, 8}};

// The candidates of the drag in progress; kept between mouse moves.
FitCandidateList& DragCandidates()
{
    static FitCandidateList list;
    return list;
}

// A picture pixel as shown: through the brightness table while a brightness step is pending.
COLORREF ShownPixel(const CKpic& k, int x, int y)
{
    const COLORREF c = k.Pixels[static_cast<std::ptrdiff_t>(y) * k.Width() + x];
    if (k.PendingBrightness == 0)
        return c;
    return RGB(k.ColourTable[GetRValue(c)], k.ColourTable[GetGValue(c)], k.ColourTable[GetBValue(c)]);
}

COLORREF Dimmed(COLORREF c) { return (c & 0xFEFEFE) >> 1; }

struct SavedPose {
    double focal;
    CDPoint direction;
    double roll;
};

} // namespace

void ResetDragCandidates() { DragCandidates().clear(); }

int CMcCore::MovePictureToPoint(CKpic* picture, CPoint picturePoint, CPoint outputPoint, double roll)
{
    if (picture == nullptr)
        return -1;
    if (m_Host)
        m_Host->OnPictureChanged(picture->m_Path);
    const CDPoint s = PixelToSphere(outputPoint.x, outputPoint.y);
    const CDPoint pixel(picturePoint.x, picturePoint.y);
    const CDPoint plane = picture->PixelToPlane(pixel);
    const int userPoints = picture->CountKind1Points();
    if (userPoints == 0) {
        CopyRollFromNeighbour(picture, nullptr);
        if (std::fabs(roll) > 0.01)
            picture->m_Roll = roll;
        picture->AimPointAt(pixel, s);
    } else if (userPoints == 1) {
        int user = -1;
        for (int i = 0; i < CONTROL_POINT_SLOTS && user < 0; ++i)
            if (picture->m_Points[static_cast<std::size_t>(i)].kind == 1)
                user = i;
        // The pair is made in a free slot, used only for this estimate. A table without a free
        // slot gives its last point instead, a real one that must not be overwritten: the
        // picture is then aimed as with several user points.
        const int slot = picture->FindFreePoint();
        ControlPoint& cp = picture->m_Points[static_cast<std::size_t>(slot)];
        if (cp.kind != 0) {
            picture->AimPointAt(pixel, s);
            return 1;
        }
        cp.kind = 5;
        cp.state = 1;
        cp.position = pixel;
        cp.planePosition = plane;
        cp.spherePosition = s;
        cp.target = s;
        // Two points too close to tell a focal (the grabbed point on the user's point, or as
        // far apart in angle as no focal makes them) leave the picture's focal as it is, rather
        // than the failed estimate's value driving the preview.
        const double f = picture->EstimateFocalFromPointPair(user, slot);
        const bool solved = std::isfinite(f) && f >= 100.0 && f < FocalSolveFailed;
        cp.SetPlanePoint(plane, solved ? f : picture->m_Focal);
        if (solved)
            picture->m_Focal = f;
        picture->EstimateFromPointPair(user, slot);
        picture->RefreshControlPoints();
        cp.kind = 0;
        cp.state = 0;
    } else {
        picture->AimPointAt(pixel, s);
    }
    return 1;
}

long double CMcCore::WindowColourScore(CKpic* partner, int x, int y, const CPixelArray& samples, int side, int scale,
                                       int reach)
{
    if (partner == nullptr || side < 1)
        return Unjudged;
    const CPoint e = PictureToPixel(partner, x, y);
    const int half = side / 2;
    long long position = 0;
    long double sum = 0.0L;
    int counted = 0;
    for (int u = -reach; u <= reach; ++u) {
        for (int v = -reach; v <= reach; ++v) {
            if (++position % 19 != 0)
                continue;
            const int column = u + half;
            const int row = v + half;
            if (column < 0 || column >= side || row < 0 || row >= side)
                continue;
            const std::ptrdiff_t index = static_cast<std::ptrdiff_t>(row) * side + column;
            if (index >= samples.GetSize())
                continue;
            const CPoint p = PixelToPicture(partner, e.x + u * scale, e.y + v * scale);
            if (!partner->m_PictureRect.PtInRect(p))
                continue;
            CRgbSum own;
            own.SetColour(samples[index]);
            const COLORREF other = ShownPixel(*partner, p.x, p.y);
            sum += own.ColourDistance(GetRValue(other), GetGValue(other), GetBValue(other), 1);
            ++counted;
        }
    }
    if (counted <= 10)
        return Unjudged;
    return sum / counted;
}

int CMcCore::DragPicture(LabeledPoint& request, CPixelArray& preview, CPoint* dragPoint, int scale)
{
    int& mode = request.v2;
    const bool move = mode != 3;
    const bool dim = mode != -2;
    if (mode == 3 || mode == -2)
        mode = 1;
    FitCandidateList& candidates = DragCandidates();
    if (mode != 1)
        candidates.clear();

    if (request.v1 <= 0 || request.name.empty() || dragPoint == nullptr || scale < 1)
        return -1;
    CKpic* picture = FindPictureByPath(request.name);
    if (picture == nullptr || EnsurePictureImage(picture) < 0 || preview.GetSize() < 1)
        return -1;
    if (picture->Pixels.GetSize() < static_cast<std::ptrdiff_t>(picture->Width()) * picture->Height())
        return -1;
    const std::ptrdiff_t count = preview.GetSize();
    const int side = static_cast<int>(std::sqrt(static_cast<double>(count)) + 0.5);
    const int half = side / 2;

    const CDPoint s = PixelToSphere(dragPoint->x, dragPoint->y);
    CKpic* partner = FindPictureCovering(picture, s);
    platform::IInputState& input = platform::Input();
    const CPoint mouseAtStart = input.CursorPos();
    auto mouseMoved = [&] { return input.CursorPos() != mouseAtStart; };
    const bool yields = mode >= 1;

    if (partner == nullptr || partner == picture) {
        const CPoint origin(request.pos.x - half * scale, request.pos.y - half * scale);
        for (int i = 0; i < side; ++i) {
            if (yields && mouseMoved())
                return 0;
            for (int j = 0; j < side; ++j) {
                const CPoint p(origin.x + i * scale, origin.y + j * scale);
                COLORREF c = picture->m_PictureRect.PtInRect(p) ? ShownPixel(*picture, p.x, p.y) : NoPictureColour;
                if (dim)
                    c = Dimmed(c);
                long long column = i, row = j;
                switch (picture->QuarterTurns) {
                case 1: column = side - 1 - j; row = i; break;
                case 2: column = side - 1 - i; row = side - 1 - j; break;
                case 3: column = j; row = side - 1 - i; break;
                default: break;
                }
                const long long index = row * side + column;
                if (index >= 0 && index < count)
                    preview[static_cast<std::ptrdiff_t>(index)] = c;
            }
        }
        mode = 1;
        return 1;
    }

    const SavedPose saved{picture->m_Focal, picture->m_Direction, picture->m_Roll};
    auto restore = [&] {
        picture->m_Focal = saved.focal;
        picture->m_Direction = saved.direction;
        picture->m_Roll = saved.roll;
        picture->RefreshControlPoints();
    };
    if (move)
        MovePictureToPoint(picture, request.pos, *dragPoint, saved.roll + request.turn);
    const CPoint origin(dragPoint->x - half * scale, dragPoint->y - half * scale);
    CPixelArray work;
    if (!work.TrySetSize(count)) {
        restore();
        return -1;
    }
    for (std::ptrdiff_t i = 0; i < count; ++i)
        work[i] = EmptyEntry;

    const int extent = side * scale;
    for (int y = origin.y; y < origin.y + extent; y += BlockSide) {
        if (yields && mouseMoved()) {
            restore();
            return 0;
        }
        for (int x = origin.x; x < origin.x + extent; x += BlockSide) {
            if (!HitTestPicture(picture, x, y, BlockSide, 0))
                continue;
            const CPoint p0 = PixelToPicture(picture, x, y);
            const CPoint p1 = PixelToPicture(picture, x + BlockSide, y);
            const CPoint p2 = PixelToPicture(picture, x, y + BlockSide);
            for (int b = 0; b < BlockSide; b += scale) {
                for (int a = 0; a < BlockSide; a += scale) {
                    const int column = (x + a - origin.x) / scale;
                    const int row = (y + b - origin.y) / scale;
                    if (column < 0 || column >= side || row < 0 || row >= side)
                        continue;
                    const CPoint p(p0.x + ((p2.x - p0.x) * b + (p1.x - p0.x) * a) / 15,
                                   p0.y + ((p1.y - p0.y) * a + (p2.y - p0.y) * b) / 15);
                    const std::ptrdiff_t index = static_cast<std::ptrdiff_t>(row) * side + column;
                    if (index >= count)
                        continue;
                    work[index] = picture->m_PictureRect.PtInRect(p) ? ShownPixel(*picture, p.x, p.y) : EmptyEntry;
                }
            }
        }
    }
    for (std::ptrdiff_t i = 0; i < count; ++i)
        preview[i] = work[i] == EmptyEntry ? NoPictureColour : (dim ? Dimmed(work[i]) : work[i]);
    restore();
    mode = 1;

    if (mouseMoved())
        return 1;
    // The search compares with the partner's pixels, which the drawing may not have read yet;
    // a partner whose image cannot be had leaves the preview without a snap.
    if (EnsurePictureImage(partner) < 1 ||
        partner->Pixels.GetSize() < static_cast<std::ptrdiff_t>(partner->Width()) * partner->Height())
        return 1;

    // Snap search over a 20 x 20 grid of candidate points of the partner, in steps of scale.
    const CPoint anchor = partner->SphereToPixelPoint(s);
    const CPoint c0(anchor.x / scale, anchor.y / scale);
    const CPoint gridOrigin(c0.x - GridCentre, c0.y - GridCentre);
    int grid[GridSide][GridSide];
    for (auto& column : grid)
        for (int& cell : column)
            cell = Unscored;
    auto counts = [&](CPoint point) {
        const CPoint cell(point.x - gridOrigin.x, point.y - gridOrigin.y);
        return cell.x >= 0 && cell.x < GridSide - 1 && cell.y >= 0 && cell.y < GridSide - 1;
    };
    auto gridCell = [&](CPoint point) -> int& { return grid[point.x - gridOrigin.x][point.y - gridOrigin.y]; };
    auto truncated = [](double score) { return score >= 2.0e9 ? 2000000000 : static_cast<int>(score); };

    int n = 0;
    double sum = 0.0, sumSquares = 0.0;
    int evaluations = 0;
    int fresh = 0;
    for (const FitCandidate& c : candidates) {
        const CPoint point = c.kcen.ToPoint();
        if (c.uppic != partner || !counts(point))
            continue;
        gridCell(point) = truncated(c.score);
        ++n;
        sum += c.score;
        sumSquares += c.score * c.score;
    }
    auto scoreAt = [&](CPoint point) {
        const double score = static_cast<double>(
            WindowColourScore(partner, point.x * scale, point.y * scale, work, side, scale, side / 8));
        FitCandidate c;
        c.picture = picture;
        c.kcen = CDPoint(point.x, point.y);
        c.omg = saved.roll;
        c.dpr = saved.focal;
        c.upsp = s;
        c.uppic = partner;
        c.score = score;
        InsertCandidateSorted(candidates, c, DragCandidateCapacity, 0.0);
        gridCell(point) = truncated(score);
        ++n;
        sum += score;
        sumSquares += score * score;
        ++evaluations;
        ++fresh;
    };
    for (const CPoint& offset : StartRing) {
        const CPoint point(c0.x + offset.x, c0.y + offset.y);
        if (counts(point))
            scoreAt(point);
    }
    if (n < 1)
        return 0;

    fresh = 100;
    while (evaluations <= 100) {
        const FitCandidate best = candidates.front();
        if (best.uppic != partner) {
            candidates.clear();
            return 1;
        }
        const double mean = sum / n;
        const double spread = std::sqrt(std::max(0.0, (sumSquares - sum * sum / n) / n));
        if (best.score > 10000.0 || best.score > mean / 2.0)
            return 1;
        const CPoint bestPoint = best.kcen.ToPoint();
        const CPoint cell(bestPoint.x - gridOrigin.x, bestPoint.y - gridOrigin.y);
        // Column or row 15 lies outside the inner area too: it is reported as right or below.
        int flags = 0;
        if (cell.x >= 15)
            flags |= FlagRight;
        if (cell.y >= 15)
            flags |= FlagBelow;
        if (cell.x < 5)
            flags |= FlagLeft;
        if (cell.y < 5)
            flags |= FlagAbove;
        if (flags != 0)
            return flags;
        if (fresh == 0) {
            if (mean - best.score >= 1.7 * spread)
                break;
            return 1;
        }
        fresh = 0;
        if (best.score <= 0.0)
            return 1;
        for (const CPoint& offset : ExpansionRing) {
            const CPoint point(bestPoint.x + offset.x, bestPoint.y + offset.y);
            if (counts(point) && gridCell(point) > 999999) {
                // A mouse move gives the search up: the preview stands, nothing snaps.
                if (yields && mouseMoved())
                    return 1;
                scoreAt(point);
            }
        }
    }
    if (evaluations >= 99)
        return 1;
    const CPoint bestPoint = candidates.front().kcen.ToPoint();
    *dragPoint = PictureToPixel(partner, bestPoint.x * scale, bestPoint.y * scale);
    return FlagSnapped;
}

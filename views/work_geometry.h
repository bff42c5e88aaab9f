// The work view's arithmetic without a window: the three coordinate spaces (work units,
// view units, canvas pixels) and their mappings, the fitting zoom, the scroll extent, the
// canvas window placement, the stock of piece cells along the pane's border and the status
// text. CSmView keeps the state; these functions compute from it.
#pragma once

#include <string>

#include "common/basic_types.h"

namespace workview {

// Division toward minus infinity for a positive divisor.
constexpr int FloorDiv(int v, int zoom)
{
    return v >= 0 ? v / zoom : (v - zoom + 1) / zoom;
}

// Canvas and view are one pixel per `zoom` work units; the origins are the canvas pixel and
// the view position of zoomed work-space (0, 0).
struct Mapping {
    int zoom = 1;
    CPoint canvasOrigin;
    CPoint scrollOrigin;

    CPoint WorkToCanvas(CPoint p) const { return {FloorDiv(p.x, zoom) + canvasOrigin.x, FloorDiv(p.y, zoom) + canvasOrigin.y}; }
    CRect WorkRectToCanvas(const CRect& r) const
    {
        return {CPoint(WorkToCanvas(r.TopLeft())), CPoint(WorkToCanvas(r.BottomRight()))};
    }
    CPoint WorkToView(CPoint p) const { return {FloorDiv(p.x, zoom) + scrollOrigin.x, FloorDiv(p.y, zoom) + scrollOrigin.y}; }
    // Truncation toward zero, not floor.
    CRect WorkRectToView(const CRect& r) const
    {
        return {r.left / zoom + scrollOrigin.x, r.top / zoom + scrollOrigin.y, r.right / zoom + scrollOrigin.x,
                r.bottom / zoom + scrollOrigin.y};
    }
    CPoint ViewToWork(CPoint p) const { return {(p.x - scrollOrigin.x) * zoom, (p.y - scrollOrigin.y) * zoom}; }
    CRect ViewRectToWork(const CRect& r) const { return {ViewToWork(r.TopLeft()), ViewToWork(r.BottomRight())}; }
};

// The rectangle the content has to fit: the client shrunk by a cell on every side, or the
// fallback (-112, -92, 112, 92) when that leaves nothing.
CRect FitViewRect(const CRect& client, int cellSize);
// The zoom at which `content` fits `view`, doubled while the base picture is wider than 240
// pixels at that zoom (up to 16).
int ChooseFitZoom(CSize content, CSize view, int baseWidth);
// The content rectangle of the fitting zoom: placed pictures united with the base rectangle
// whose left and right edges are halved, grown by 32.
CRect FitContentRect(const CRect& placed, const CRect& baseRect);

// The scroll extent in zoomed work units: the work rectangle (pictures, area, base) divided by
// the zoom, united with the canvas window and the client-sized rectangle around (0, 0), grown by
// 32 and truncated to multiples of 16.
CRect ScrollRect(const CRect& work, int zoom, const CRect& canvasRect, CSize client);
// The canvas window over the zoomed work space centred on the client (`clientZoomed` is the
// client rectangle in zoomed work units); its top-left corner truncated to multiples of 16.
CRect CanvasWindow(const CRect& clientZoomed, CSize canvasSize, CSize client);

// Scroll position that puts a view point in the middle of the client area.
int CenterScrollPosition(int viewPoint, int client, int total);

// The stock of pieces: cells along the four edges of the client area, clockwise from the
// top-left.
struct StockLayout {
    int cellMax = 160;
    int thumbSize = 160;
    int cellSize = 160;
    int gapMin = 3;
    int gapX = 4;
    int gapY = 4;
    int margin = 8;
    int cols = 1;
    int rows = 1;

    // Cell sizes and counts for `pieces` pieces in a client of `client`; the size percent of
    // the piece-size command. Level above 2 forces the thumbnail size to be taken again.
    int Recalc(int level, CSize client, int pieces);
    // One step of the piece-size command toward smaller cells: six tenths of the cell, back to
    // the largest cell once it falls below a quarter of it (or stops shrinking).
    void StepSmaller(CSize client, int pieces);
    int SizePercent() const { return cellMax > 0 ? cellSize * 100 / cellMax : 0; }
    // Thumbnail size of a picture of the given size; (0, 0) for an empty picture.
    CSize ThumbSize(CSize picture) const;
    // Top-left corner of piece `i`'s cell in client pixels and its leader-line anchor; (0, 0)
    // when the piece has no cell.
    CPoint CellOrigin(int i, int w, int h, CSize client, CPoint& anchor) const;
};

// The status-bar text of the view's geometry. `hasPicture` adds the centre offset and rotation
// parts from the first picture's centre and right-edge middle in work units.
std::string StatusText(bool hasPicture, CPoint centre, CPoint edge, CPoint viewShift, const CRect& area,
                       CSize output);

} // namespace workview

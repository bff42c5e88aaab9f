// The plain arithmetic of the image window, kept apart from its widgets: where the next window
// opens, at what fraction of its resolution a picture is held, how large the window asks to be,
// how a point of the shown (turned, reduced) picture maps back to the stored picture, how far the
// view may zoom out, and how large the full-resolution scope is.
// Screen coordinates throughout; the desktop is a rectangle handed in by the caller.
#pragma once

#include "common/basic_types.h"
#include "common/helpers.h"

#include <functional>
#include <string>

// The largest display bitmap, in bytes, the window will make; above it a bitmap counts as not
// creatable and the picture is held at a reduced resolution.
constexpr long long kMaxDisplayBitmapBytes = 64000000;
// Tests lower the limit to see small pictures held at reduced resolution; 0 restores it.
void SetDisplayBitmapLimit(long long bytes);

// The position shared by all image windows: the next window opens there.
class CImageWindowCascade {
public:
    // The position every program run starts with.
    static constexpr CPoint kStart{200, 50};
    // Where a window goes when it would leave the desktop.
    static constexpr CPoint kReset{220, 110};

    CPoint Next() const { return m_next; }
    void Reset() { m_next = kStart; }
    // At construction: the position is kept inside the desktop shrunk by 50 pixels at the right
    // and 30 at the bottom.
    void KeepInside(const CRect& desktop);
    // At creation: the next window opens 30 pixels right and 20 lower; answers the position.
    CPoint Advance();
    // At show: a window of the given outer size placed at the position that would reach beyond
    // the desktop's width or height moves the position to kReset. Answers the position to use.
    CPoint PlaceFor(CSize outer, const CRect& desktop);

    static CImageWindowCascade& Shared();

private:
    CPoint m_next = kStart;
};

// The window title: name + "  (W x H)" with the stored size + the zoom label of the factor.
std::string ImageWindowTitle(const std::string& name, CSize pictureSize, int zoomFactor);

// Chooses the load factor of a turned picture: 1 when a bitmap of the full size can be made;
// otherwise the estimate (width / 100) * (height / 10) * bytes per pixel doubles the factor
// (dividing the estimate by 4) while it exceeds 64000, up to 64 (-1 when still too large); a
// bitmap of the reduced size that cannot be made doubles the factor once more; -1 when that
// fails too. canMake answers whether a bitmap of a size can be made.
int ChooseLoadFactor(CSize turned, int bytesPerPixel, const std::function<bool(CSize)>& canMake);

// Whether a display bitmap of the size and depth stays within the limit.
bool DisplayBitmapFits(CSize size, int bytesPerPixel);

// The client size a window asks for to show a display size under a button row of the given
// height whose buttons end at barRight, on the desktop.
CSize ImageWindowClientSize(CSize display, int barHeight, int barRight, const CRect& desktop);

// Horizontal and vertical scroll ranges (0 .. range) of a display size in a client size.
CSize ImageWindowScrollRanges(CSize display, int barHeight, CSize client);

// A point of the turned picture (turned size W x H) in stored-picture coordinates.
CPoint TurnedPointToPicture(CPoint q, CSize turned, int turn);

// Whether Zoom Out may halve the shown size once more at the current reduction.
bool CanZoomOut(int reduce, CSize loadTurned);

// The scope's size in full-resolution pixels: clamp(desktop size, 640 x 480, half the client
// size x reduce x load factor).
CSize ScopeFullSize(CSize desktop, CSize client, int reduce, int loadFactor);

// Where the picture's top-left is drawn in a client area of the given size.
CPoint ImageWindowPictureOrigin(CSize client, CSize display, int barHeight);

// The arithmetic of printing, without windows or printers: the print property dialog's values
// (units, typed and stepped sizes, sheet counts, the first layout, the check boxes) and the
// tiled printing of one sheet (sheet counts, sampling, page rectangles, the scale choice, the
// enlargement weights, filling the 24-bit bottom-up sheet bitmap and smoothing its seams).
//
// Lengths are tenths of a millimetre ("units"): 254 to the inch, 10 to the millimetre. Page
// rectangles are in units with the origin at the print's top-left corner.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "imagefile/pixel_array.h"

namespace printing {

constexpr int kUnitsPerInch = 254;
// Images of this many pixels or more may be sampled down for printing.
constexpr int64_t kSamplingThreshold = 21000000;

// Unit choices of the dialog.
enum Unit { UNIT_NONE = 0, UNIT_INCH = 1, UNIT_MM = 2 };
// Spin codes: the arrow's direction (up and right add).
enum SpinCode { SPIN_UP = 1, SPIN_DOWN = -1, SPIN_OTHER = 0 };
// Check box states in the order of a three-state box.
enum CheckState { UNCHECKED = 0, CHECKED = 1, INDETERMINATE = 2 };

// ---- The print property dialog's values -------------------------------------------------------

class CPrintPropertyModel {
public:
    // Handed in by the caller.
    CSize m_imageSize;           // pixel size of the file
    CSize m_area{1900, 2770};    // printable area of the paper
    int m_unit = -1;             // 0 none, 1 inch, 2 mm; -1 until the caller gives one
    int m_firstRun = 2;          // 2 until the first layout placed the print

    // Returned to the caller.
    CPoint m_offset;
    CSize m_printSize;
    int m_spread = 0;            // > 0 spread on several sheets; -2 after being switched off
    int m_overlap = 50;
    int m_tombo = 90;
    CSize m_tile{1, 1};

    // Working values.
    int m_sheetsH = 1, m_sheetsV = 1;
    int m_rememberedOverlap = 50, m_rememberedTombo = 90;
    int m_overlapCheck = CHECKED, m_tomboCheck = CHECKED;
    // The boxes' states while spreading is off (they then show as indeterminate).
    int m_savedOverlapCheck = CHECKED, m_savedTomboCheck = CHECKED;
    CSize m_maxSize{999999, 999999};

    // The image size with a zero side taken as 16 x 16.
    CSize ImageSize() const;

    // Text of a length in the current unit ("----" without a unit).
    std::string FormatLength(int units) const;
    std::string UnitWord() const;
    // The printable-area line of the printer group.
    std::string FormatAreaLine() const;
    // Right and bottom margins of a single sheet ("" without a unit or when spread).
    std::string FormatRightMargin() const;
    std::string FormatBottomMargin() const;

    // Whether a typed text is taken: not empty, not the shown text, not "----". When taken,
    // the unit becomes inch if none was chosen, `value` receives the units and `number` the
    // number as read.
    bool ReadTyped(const std::string& typed, const std::string& shown, int* value, double* number);

    // Typed values; each answers whether the value was within its limits (taken unchanged).
    bool TypeWidth(int value);
    bool TypeHeight(int value);
    bool TypeLeft(int value);
    bool TypeTop(int value);
    // Whole sheet counts (spread only).
    void TypeSheetsAcross(int count);
    void TypeSheetsDown(int count);
    // Overlap or tombo margin: false (and nothing changed) when outside 0..half the area or
    // its box is not checked.
    bool TypeOverlap(int value);
    bool TypeTombo(int value);

    // One step of a length in the current unit: in whole hundredths of an inch for inch,
    // otherwise in units.
    int StepValue(int value, int step) const;
    // The step of a spin: +-1, x10 with Shift, x10 again with Ctrl.
    static int SpinStep(int code, bool shift, bool ctrl);
    void SpinWidth(int step);
    void SpinHeight(int step);
    // Left offset, or sheets across when spread.
    void SpinFirst(int step);
    // Top offset (against the arrow: up moves the print up), or sheets down when spread.
    void SpinSecond(int step);
    void SpinOverlap(int step);
    void SpinTombo(int step);

    // Tile size and sheet counts from the print size, overlap and tombo margin.
    void Recount();
    void SetSheetCounts(int across, int down);
    void ClampFields();
    // The maximum print size for the mode; on the first run the print takes the image size as
    // units and is centred.
    void Layout();

    void SetSpread(bool on);
    // A click on "Draw overlapped images" / "Draw Tombo in margins"; `state` is the box's new
    // state after the click.
    void ClickOverlapBox(int state);
    void ClickTomboBox(int state);

private:
    void SizeFromWidth(int width);
    void SizeFromHeight(int height);
    int LengthFromTyped(double number) const;
    void EnsureLengthUnit();
    void ClickBox(int state, int* check, int* value, int* remembered);
};

// ---- Tiled printing -------------------------------------------------------------------------

// Sheets across (or down) for a print length: Clamp((length - 1 - 2 overlap) / tile + 1, 1, 255).
int SheetCount(int printLength, int overlap, int tileLength);

// The divisor that limits the pixels held for one sheet (1 for images below 21,000,000 pixels).
int SamplingDivisor(CSize image, CSize print, CSize tile, int sheetsH, int sheetsV, int logPixelsX);

struct PageRects {
    int column = 0, row = 0;
    CRect tile;    // the sheet's own part of the print
    CRect image;   // the tile grown by the overlap, clipped to the print
    CRect frame;   // the image grown by the tombo margin
};
// Rectangles of page `pageIndex` (0-based, left to right then top to bottom); false when the
// print is empty, the tile is empty, or the page lies outside the grid.
bool ComputePageRects(CSize print, CSize tile, int overlap, int tombo, int sheetsH, int sheetsV, int pageIndex,
                      PageRects* out);

// How sampled pixels map to sheet pixels: r sampled pixels per unit; reduction k or
// enlargement n; e bitmap pixels per unit.
struct ScaleChoice {
    double r = 0.0;
    int n = 1, k = 1;
    double e = 0.0;
};
ScaleChoice ChooseScale(int sampledWidth, int imageWidth, int printWidth, int logPixelsX);

// The n x n weight table of integer enlargement: entry (fy * n + fx) holds w0..w3 and their sum.
std::vector<int32_t> BuildEnlargeWeights(int n);

// A 24-bit device-independent bitmap: rows stored bottom-up, each padded to 4 bytes, blue,
// green, red.
struct SheetBitmap {
    int width = 0, height = 0;
    int stride = 0;
    std::vector<uint8_t> bits;
    // False when the size is not positive or the memory cannot be had.
    bool Allocate(int w, int h);
    // The pixel at top-down coordinates.
    COLORREF Pixel(int x, int y) const;
    void SetPixel(int x, int y, COLORREF c);
    uint8_t* Row(int y) { return bits.data() + size_t(height - 1 - y) * size_t(stride); }
    const uint8_t* Row(int y) const { return bits.data() + size_t(height - 1 - y) * size_t(stride); }
};

// The pixels read for one sheet: a region of the sampled image.
struct SheetSource {
    const CPixelArray* pixels = nullptr;
    CRect region;  // in sampled pixels; the array holds region width x height
};

// Fills the bitmap without enlargement: bitmap pixel (x, y) shows sampled pixel
// (x k + origin.x, y k + origin.y); white outside the region.
void FillSheetReduced(SheetBitmap& bmp, const SheetSource& src, int k, CPoint origin);
// Fills the bitmap enlarged n times with the weight table; the grid starts at (gx0, gy0).
void FillSheetEnlarged(SheetBitmap& bmp, const SheetSource& src, int n, int gx0, int gy0,
                       const std::vector<int32_t>& weights);
// Softens the block seams of an enlargement (n >= 7).
void SmoothSeams(SheetBitmap& bmp, int n, int gx0, int gy0);

// The grid origin of an enlargement for an image rect's left (or top) edge.
int EnlargeGridOrigin(int edge, double r, int n);

// One print job as the sheets need it.
struct SheetJob {
    std::string path;     // the image file (its kind must be BMP, JPEG, TIFF or PNG)
    CSize imageSize;      // pixels of the file
    CSize sampledSize;    // pixels after sampling
    CSize printSize;      // units
    CSize tile;           // units
    CPoint offset;        // units, single sheet only
    int overlap = 0, tombo = 0;
    int sheetsH = 1, sheetsV = 1;
};

// One rendered sheet: its rectangles, its bitmap and where it goes in dots.
struct SheetResult {
    PageRects rects;
    SheetBitmap bitmap;
    CPoint position;     // dots from the printable area's corner
    CSize extent;        // dots of the picture
    CSize frameExtent;   // dots of the frame (the picture with its tombo margin)
};

// Reads a region (in sampled pixels) of the image at its sampled size; the result of the
// document's image reading (-5 or less: memory exhausted).
using RegionReader = std::function<int(CPixelArray& pixels, CSize& sampledSize, const CRect& region)>;

enum SheetStatus { SHEET_PRINTED = 1, SHEET_BLANK = 0, SHEET_NO_MEMORY = -5 };

// Renders page `pageIndex` of a job for a printer of lpx x lpy dots per inch: only the region
// the sheet shows is read. `adjust` may change the pixels read (colour correction) and
// `beforeAllocate` runs before the sheet bitmap is made (cached images are freed there).
int RenderSheet(const SheetJob& job, int pageIndex, int lpx, int lpy, const RegionReader& read,
                const std::function<void(CPixelArray&)>& adjust, const std::function<void()>& beforeAllocate,
                SheetResult* out);

} // namespace printing

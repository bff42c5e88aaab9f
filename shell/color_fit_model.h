// The plain arithmetic of the colour fit manager, without widgets: zoom steps of its image
// areas, the ring-around chart (cell counts, offsets, cell rectangles), slider positions and
// the colour model, colour sampling under a marker, marker colours, the check picture, the
// target boxes and the captions. Points and rectangles are client coordinates of the dialog;
// picture points are pixels of the picture as shown (after its quarter turns).
#pragma once

#include <string>
#include <vector>

#include "common/basic_types.h"
#include "imagefile/pixel_array.h"
#include "picset/color_model.h"

// ---- Zoom of an image area ------------------------------------------------------------------
// An area shows the picture reduced by `reduce` (1..128) or magnified by `magnify` (1..8);
// at most one of them is above 1.
void ColorFitZoomIn(int& reduce, int& magnify);
void ColorFitZoomOut(int& reduce, int& magnify);
// The reduction that fits a picture's width into the area: clamp(width / area width, 1, 128).
int ColorFitFitReduce(int pictureWidth, int areaWidth);
// Picture point under a marker: (marker - area centre) * reduce / magnify + centre.
CPoint ColorFitMarkerToPicture(CPoint marker, CPoint areaCentre, int reduce, int magnify, CPoint centre);
// The picture point shown at the area's centre after the mouse moved from start to point,
// held inside the picture.
CPoint ColorFitPanCentre(CPoint centre, CPoint start, CPoint point, int reduce, int magnify, CSize picture);

// ---- The chart ----------------------------------------------------------------------------
// Cells per side after "+" (fewer, larger cells: 5 -> 3 -> 7) and "-" (more: 5 -> 7 -> 3).
int ColorFitFewerCells(int n);
int ColorFitMoreCells(int n);
// Every how many pixels the chart pictures take of the shown original: 1, 2, 4 for 3, 5, 7.
int ColorFitChartReduce(int n);
// Offset step of the cell `index` places from the centre (-n/2 .. n/2).
int ColorFitChartStep(int n, int index);

struct CChartCell {
    CRect rect;
    int dY = 0;
    int dCr = 0;
    int dCb = 0;
    bool IsZero() const { return dY == 0 && dCr == 0 && dCb == 0; }
};

// Where the chart's cells lie: the exposure row (n cells, left to right), then the balance
// grid (n rows of n cells, top row first), n(n + 1) cells in all.
struct CChartLayout {
    std::vector<CChartCell> cells;
    CRect rowBox;   // bounding box of the exposure row's cells
    CRect gridBox;  // bounding box of the balance grid's cells
    // The cell under a point, -2 for none.
    int CellAt(CPoint p) const;
};

// The row sits in the exposure group below its label and above slider B; the grid in the
// balance group below its label, left of slider C and above slider M. A cell is at most the
// chart picture's size.
CChartLayout LayoutColorFitChart(int n, const CRect& exposureGroup, const CRect& balanceGroup, int labelHeight,
                                 const CRect& sliderB, const CRect& sliderC, const CRect& sliderM,
                                 CSize chartPicture);

// ---- Sliders ------------------------------------------------------------------------------
// B moves the brightness in steps of 2 (-100..100 <-> dY -200..200); M is the red-green axis
// (dCr); C runs upwards, so its position is the negated dCb; the range slider is the
// selective width 1..7.
struct CColorFitSliders {
    int b = 0;
    int m = 0;
    int c = 0;
    int range = 4;
    bool operator==(const CColorFitSliders&) const = default;
};
CColorFitSliders ColorFitSlidersFromModel(const CColorModel& model);
void ColorFitModelFromSliderB(CColorModel& model, int position);
void ColorFitModelFromSliderC(CColorModel& model, int position);
void ColorFitModelFromSliderM(CColorModel& model, int position);
void ColorFitModelFromRangeSlider(CColorModel& model, int position);

// The 21 scale lines of a slider of length L and thickness T: their places along the slider
// and the span across it they cover.
struct CSliderScale {
    std::vector<int> along;
    int acrossFrom = 0;
    int acrossTo = 0;
};
CSliderScale ColorFitSliderScale(int length, int thickness, bool horizontal);

// ---- Sampling and markers -------------------------------------------------------------------
// Sample size: 3, 5, 7, 9, 1, 3, ... and its text ("3X3").
int ColorFitNextSampleSize(int size);
std::string ColorFitSampleSizeText(int size);
// Average R, G, B of the (2r + 1)-pixel square around p over the pixels that lie inside the
// w x h picture; p itself must lie inside. Returns false (and leaves `out`) otherwise.
bool ColorFitSampleAverage(const CPixelArray& pixels, CSize size, CPoint p, int radius, COLORREF& out);
// The marker colour after c in the cycle 0x82B4FF, 0x82B4FE, 0xFFFFFF, 0xFFFFFE, 0x787829,
// 0x787828 (an unknown colour starts the cycle again).
COLORREF ColorFitNextMarkerColour(COLORREF c);
// Per pixel the grey of the colour distance (|dR| + |dG| + |dB|, held to 255) between the
// original and the result view.
void ColorFitCheckView(const CPixelArray& original, const CPixelArray& result, CPixelArray& check);

// ---- Targets ------------------------------------------------------------------------------
// Check states of the target boxes and the model's selective mode for the brightness and
// colour targets (0 none, 1 original, 2 reference, 3 the model's own reference colour).
struct CColorFitTargetBoxes {
    int allOfPicture = 0;           // 1189
    int originalBrightness = 0;     // 1258 (three states)
    int referenceBrightness = 0;    // 1191
    int originalColour = 0;         // 1259 (three states)
    int referenceColour = 0;        // 1190
    int mode = 0;                   // (colour ? 1 : 0) + (brightness ? 2 : 0)
    bool operator==(const CColorFitTargetBoxes&) const = default;
};
CColorFitTargetBoxes ColorFitTargetBoxes(int brightnessTarget, int colourTarget);
// A target button: `which` (1 original, 2 reference) toggles the target on or off.
int ColorFitToggleTarget(int target, int which);

// ---- Captions -----------------------------------------------------------------------------
std::string ColorFitOriginalCaption(const std::string& name);
std::string ColorFitReferenceCaption(const std::string& name);

// The colour correction of one picture: a brightness change through a 256-entry luminance
// curve, shifts of the two chroma components, and optionally a selective correction that
// acts fully on colours near a reference colour and fades with distance from it. It applies
// the correction to colours and pixel arrays, derives the correction that turns one colour
// into another, and packs itself into the 32-bit colour word the project file keeps.
//
// Colours are COLORREF (red in the low byte). All arithmetic is in doubles; r(x) is x + 0.5
// truncated toward zero, so r(-3.7) = -3.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/basic_types.h"

class CPixelArray;

class CColorModel {
public:
    CColorModel();

    // Copy the offsets, trial offsets, reference Y/Cb/Cr, refColour, mode and width (not the
    // curve, its parameter or the matrices). The two are the same.
    void AssignSettings(const CColorModel& other);
    void CopySettings(const CColorModel& other);

    // The packed colour word; 0 means no correction.
    uint32_t Pack() const;
    // Reads a packed word back; trial offsets stay as they are. 0 gives offsets 0, mode 0,
    // width 4.
    void Unpack(uint32_t word);

    // -1 when no offset is set; otherwise the mode, clamped to 0..3 (and stored so).
    int GetActiveMode();
    bool IsActive() const { return dY != 0.0 || dCb != 0.0 || dCr != 0.0; }

    COLORREF ApplyToColour(COLORREF c);
    // The same with offsets + trial offsets.
    COLORREF ApplyTrialToColour(COLORREF c);
    // Corrects every pixel in place; nothing when no offset is set. Returns 1.
    int ApplyToArray(CPixelArray& pixels);
    // Corrected copy of src into dst (a plain copy when no offset is set); dst takes src's
    // size. Returns 1.
    int ApplyToArrayCopy(const CPixelArray& src, CPixelArray& dst);
    // The first n pixels of src, with offsets + trial offsets, into dst (also when no offset
    // is set). n is limited to src's size; dst grows to n when smaller. Returns 1.
    int ApplyTrialToArray(const CPixelArray& src, CPixelArray& dst, int n);

    // Sets the correction that turns source into target; trial offsets become 0.
    void MatchColours(COLORREF source, COLORREF target);
    // refY, refCb, refCr from refColour.
    void UpdateReference();
    void ClearOffsets();
    // Offsets += trial offsets; trial offsets 0.
    void CommitTrial();

    COLORREF ToGrey(COLORREF c) const;
    static int ColourDistance(COLORREF a, COLORREF b);
    // Luminance of a with the chroma of b.
    COLORREF CombineLumaChroma(COLORREF a, COLORREF b) const;

    // Builds the luminance curve for parameter a (nothing when it is already built for a).
    void BuildCurve(int a);
    // Curve parameter that takes source luminance a to target luminance b; -126..126.
    static int GetCurveParam(int a, int b);

    double dY = 0.0;            // curve parameter source (brightness)
    double dCb = 0.0;           // chroma shifts
    double dCr = 0.0;
    COLORREF refColour = 0x808080; // reference colour of the selective correction
    int mode = 0;               // 0 plain, 1 selective by chroma, 2 by luminance, 3 by both
    int width = 4;              // 1..7: larger values confine the selective correction
    double trialY = 0.0;        // trial correction added on top while the user tries settings
    double trialCb = 0.0;
    double trialCr = 0.0;
    double refY = 128.0;        // refColour in YCbCr
    double refCb = 0.0;
    double refCr = 0.0;
    int curve[256];             // luminance curve
    int curveParam = 4000;      // parameter the curve was built for

private:
    void ToYCbCr(COLORREF c, double& y, double& cb, double& cr) const;
    COLORREF FromYCbCr(double y, double cb, double cr) const;
    // One correction with its curve built, its reference up to date and its width settled.
    struct Pass {
        double ocb = 0.0;
        double ocr = 0.0;
        bool selective = false;
        double f = 1.0;
    };
    Pass Prepare(double oy, double ocb, double ocr);
    COLORREF CorrectPixel(COLORREF c, const Pass& p) const;
    // Corrects n colours from src into dst (which may be src); large ranges are split over
    // threads, with the same result as one pass.
    void CorrectRange(const COLORREF* src, COLORREF* dst, std::ptrdiff_t n, const Pass& p) const;

    // JFIF matrices, Cb and Cr centred on 0.
    double m_Forward[3][3];     // RGB -> YCbCr
    double m_Inverse[3][3];     // YCbCr -> RGB
};

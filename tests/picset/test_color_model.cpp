// Colour model: packed colour word, luminance curve, curve parameter, matching two colours,
// plain and selective correction, trial offsets and the array operations.
#include <gtest/gtest.h>

#include <cmath>

#include "imagefile/pixel_array.h"
#include "picset/color_model.h"

namespace {

COLORREF Grey(int v)
{
    return RGB(v, v, v);
}

CPixelArray Pixels(std::initializer_list<COLORREF> colours)
{
    CPixelArray a;
    a.SetSize(static_cast<std::ptrdiff_t>(colours.size()));
    std::ptrdiff_t i = 0;
    for (COLORREF c : colours)
        a[i++] = c;
    return a;
}

} // namespace

TEST(ColourModel, FreshModelIsInactiveAndLeavesPixelsAlone)
{
    CColorModel m;
    EXPECT_FALSE(m.IsActive());
    EXPECT_EQ(m.GetActiveMode(), -1);
    EXPECT_EQ(m.Pack(), (32u << 25) | (256u << 16) | (128u << 8) | 128u); // width 4, no offsets
    EXPECT_EQ(m.refColour, 0x808080u);
    EXPECT_EQ(m.refY, 128.0);
    EXPECT_EQ(m.curveParam, 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(m.curve[i], i);

    const CPixelArray src = Pixels({RGB(10, 200, 30), RGB(255, 0, 0), Grey(77)});
    CPixelArray inPlace = src;
    EXPECT_EQ(m.ApplyToArray(inPlace), 1);
    EXPECT_EQ(inPlace, src);
    CPixelArray copy;
    EXPECT_EQ(m.ApplyToArrayCopy(src, copy), 1);
    EXPECT_EQ(copy, src);
}

TEST(ColourModel, CurveMapsTheKneeTo128)
{
    CColorModel m;
    m.BuildCurve(10); // knee 118: brightens
    EXPECT_EQ(m.curveParam, 10);
    EXPECT_EQ(m.curve[0], 0);
    EXPECT_EQ(m.curve[59], 64);
    EXPECT_EQ(m.curve[118], 128);
    EXPECT_EQ(m.curve[255], 255);
    for (int i = 1; i < 256; ++i)
        ASSERT_GE(m.curve[i], m.curve[i - 1]) << i;

    m.BuildCurve(200); // knee clamped to 1
    EXPECT_EQ(m.curve[0], 0);
    EXPECT_EQ(m.curve[1], 128);
    EXPECT_EQ(m.curve[255], 255);

    m.BuildCurve(-50); // knee 178: darkens
    EXPECT_EQ(m.curve[178], 128);
    EXPECT_LT(m.curve[100], 100);

    m.BuildCurve(0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(m.curve[i], i);
}

TEST(ColourModel, CurveParameterTakesSourceToTargetLuminance)
{
    const struct {
        int a, b, expected;
    } cases[] = {
        {100, 100, 0},
        {64, 128, 64},
        {100, 200, 126}, // 25500 / 110 = 231, clamped
        {100, 255, 0},   // target outside 1..254
        {0, 100, 0},     // source outside 1..254
        {200, 50, -126}, // 128 - 512, clamped
        {120, 140, 22},  // 20 * 255 / 230
    };
    for (const auto& c : cases)
        EXPECT_EQ(CColorModel::GetCurveParam(c.a, c.b), c.expected) << c.a << " -> " << c.b;
}

TEST(ColourModel, PackedWordHoldsOffsetsModeAndWidth)
{
    CColorModel m;
    m.dY = -3.7;
    m.dCb = 2.2;
    m.dCr = 0.0;
    m.mode = 1;
    m.width = 4;
    EXPECT_EQ(m.Pack(), 0x42FD8280u);

    CColorModel back;
    back.trialY = 5.0;
    back.Unpack(0x42FD8280u);
    EXPECT_EQ(back.dY, -3.0);
    EXPECT_EQ(back.dCb, 2.0);
    EXPECT_EQ(back.dCr, 0.0);
    EXPECT_EQ(back.mode, 1);
    EXPECT_EQ(back.width, 4);
    EXPECT_EQ(back.trialY, 5.0); // trial offsets are not part of the word
    EXPECT_EQ(back.Pack(), 0x42FD8280u);
}

TEST(ColourModel, EveryStoredWordReadsBackAndPacksToItself)
{
    // A project saved, opened and saved again must keep its corrections; negative offsets
    // must not creep toward zero by one step per save.
    for (int y = 0; y < 512; y += 7) {
        for (int cb : {0, 1, 100, 127, 128, 129, 200, 255}) {
            const uint32_t word = (25u << 25) | (uint32_t(y) << 16) | (uint32_t(cb) << 8) | uint32_t(255 - cb);
            CColorModel m;
            m.Unpack(word);
            ASSERT_EQ(m.Pack(), word) << "dY " << y - 256 << " dCb " << cb - 128;
        }
    }
    CColorModel m;
    m.dY = -3.4;
    m.dCb = -0.4;
    m.dCr = -127.9;
    EXPECT_EQ(m.Pack(), (32u << 25) | (253u << 16) | (128u << 8) | 1u);
}

TEST(ColourModel, PackedWordClampsEveryFieldToItsBits)
{
    CColorModel m;
    m.dY = 1000.0;
    m.dCb = -500.0;
    m.dCr = 300.0;
    m.mode = 9;
    m.width = -3;
    // dY 511, dCb 0, dCr 255, mode 7, width 0; bit 31 stays clear.
    EXPECT_EQ(m.Pack(), (7u << 25) | (511u << 16) | (0u << 8) | 255u);

    m.dY = std::nan("");
    m.dCb = 0.0;
    m.dCr = 0.0;
    m.mode = 0;
    m.width = 4;
    EXPECT_EQ(m.Pack(), (32u << 25) | (256u << 16) | (128u << 8) | 128u);
}

TEST(ColourModel, UnpackOfZeroAndOfAWordWithoutModeBits)
{
    CColorModel m;
    m.dY = 7.0;
    m.dCb = -2.0;
    m.dCr = 3.0;
    m.mode = 2;
    m.width = 6;
    m.Unpack(0);
    EXPECT_EQ(m.dY, 0.0);
    EXPECT_EQ(m.dCb, 0.0);
    EXPECT_EQ(m.dCr, 0.0);
    EXPECT_EQ(m.mode, 0);
    EXPECT_EQ(m.width, 4);

    m.Unpack((266u << 16) | (128u << 8) | 128u);
    EXPECT_EQ(m.dY, 10.0);
    EXPECT_EQ(m.mode, 0);
    EXPECT_EQ(m.width, 0);

    // A selective apply turns the width 0 into 4.
    m.mode = 2;
    m.ApplyToColour(Grey(100));
    EXPECT_EQ(m.width, 4);
}

TEST(ColourModel, MatchingGreysGivesTheCurveParameterAndNoChromaShift)
{
    CColorModel m;
    m.trialY = 3.0;
    m.MatchColours(Grey(0x40), Grey(0x80));
    EXPECT_EQ(m.dY, 64.0);
    EXPECT_NEAR(m.dCb, 0.0, 0.01);
    EXPECT_NEAR(m.dCr, 0.0, 0.01);
    EXPECT_EQ(m.trialY, 0.0);
    // The matched model takes the source grey to (nearly) the target grey.
    const COLORREF out = m.ApplyToColour(Grey(0x40));
    EXPECT_NEAR(GetRValue(out), 0x80, 1);
    EXPECT_EQ(GetRValue(out), GetGValue(out));
    EXPECT_EQ(GetGValue(out), GetBValue(out));
}

TEST(ColourModel, PlainCorrectionShiftsLuminanceThroughTheCurveAndChromaByTheOffsets)
{
    CColorModel m;
    m.dY = 21.0; // curve[133] = 151
    EXPECT_EQ(m.ApplyToColour(Grey(133)), Grey(151));

    CColorModel red;
    red.dCr = 20.0; // R = Y + 1.402 Cr, G = Y - 0.71414 Cr, B = Y
    EXPECT_EQ(red.ApplyToColour(Grey(100)), RGB(128, 86, 100));
}

TEST(ColourModel, SelectiveByLuminanceFadesWithDistanceFromTheReference)
{
    CColorModel m;
    m.dY = 21.0;
    m.mode = 2;
    m.width = 7; // f = 1
    m.refColour = Grey(128);
    // Five luminance steps from the reference: q = 2, half of the plain change (151 - 133).
    EXPECT_EQ(m.ApplyToColour(Grey(133)), Grey(142));
    EXPECT_DOUBLE_EQ(m.refY, 128.0);
    // Fifty steps away: q = 101, the colour barely moves.
    EXPECT_EQ(m.ApplyToColour(Grey(178)), Grey(178));
    // A wider selectivity (smaller width) reaches farther.
    m.width = 1; // f = 49: q = 1 + (5/245)^2
    EXPECT_EQ(m.ApplyToColour(Grey(133)), Grey(151));
}

TEST(ColourModel, SelectiveByChromaActsFullyOnTheReferenceColourOnly)
{
    CColorModel m;
    m.dCr = 20.0;
    m.mode = 1;
    m.width = 7; // f = 1: chroma weights fall off within a few steps
    m.refColour = Grey(100);
    EXPECT_EQ(m.ApplyToColour(Grey(100)), RGB(128, 86, 100)); // q = 1 at the reference
    const COLORREF blue = RGB(40, 40, 200);
    EXPECT_EQ(m.ApplyToColour(blue), blue); // far in chroma: q is huge

    m.mode = 3;
    EXPECT_EQ(m.ApplyToColour(Grey(100)), RGB(128, 86, 100));
}

TEST(ColourModel, ModesOutsideOneToThreeCorrectPlainlyAndActiveModeClamps)
{
    CColorModel m;
    m.dY = 21.0;
    m.mode = 9;
    m.refColour = Grey(10);
    EXPECT_EQ(m.ApplyToColour(Grey(133)), Grey(151));
    EXPECT_EQ(m.GetActiveMode(), 3);
    EXPECT_EQ(m.mode, 3);
    m.mode = -2;
    EXPECT_EQ(m.GetActiveMode(), 0);
}

TEST(ColourModel, TrialOffsetsActLikeCommittedOnes)
{
    CColorModel m;
    m.dY = 10.0;
    m.dCb = -4.0;
    m.trialY = 11.0;
    m.trialCr = 6.0;
    const COLORREF c = RGB(90, 140, 60);
    const COLORREF trial = m.ApplyTrialToColour(c);
    const COLORREF plain = m.ApplyToColour(c);
    EXPECT_NE(trial, plain);

    m.CommitTrial();
    EXPECT_EQ(m.dY, 21.0);
    EXPECT_EQ(m.dCr, 6.0);
    EXPECT_EQ(m.trialY, 0.0);
    EXPECT_EQ(m.trialCr, 0.0);
    EXPECT_EQ(m.ApplyToColour(c), trial);

    m.ClearOffsets();
    EXPECT_FALSE(m.IsActive());
}

TEST(ColourModel, ArrayOperationsCorrectEveryPixelAndSizeTheirTarget)
{
    CColorModel m;
    m.dY = 21.0;
    const CPixelArray src = Pixels({Grey(133), Grey(0), Grey(255), RGB(200, 10, 10)});

    CPixelArray inPlace = src;
    m.ApplyToArray(inPlace);
    for (std::ptrdiff_t i = 0; i < src.GetSize(); ++i)
        EXPECT_EQ(inPlace[i], m.ApplyToColour(src[i])) << i;

    // The copy's target takes the source's size, whatever size it had.
    CPixelArray small = Pixels({1});
    m.ApplyToArrayCopy(src, small);
    EXPECT_EQ(small, inPlace);
    CPixelArray large = Pixels({1, 2, 3, 4, 5, 6, 7});
    m.ApplyToArrayCopy(src, large);
    EXPECT_EQ(large, inPlace);

    // The trial copy takes the first n pixels, never more than the source holds.
    CPixelArray trial = Pixels({7, 7, 7, 7});
    m.trialY = 30.0;
    m.ApplyTrialToArray(src, trial, 2);
    EXPECT_EQ(trial[0], m.ApplyTrialToColour(src[0]));
    EXPECT_EQ(trial[1], m.ApplyTrialToColour(src[1]));
    EXPECT_EQ(trial[2], 7u);
    CPixelArray empty;
    m.ApplyTrialToArray(src, empty, 100);
    EXPECT_EQ(empty.GetSize(), src.GetSize());
    EXPECT_EQ(empty[3], m.ApplyTrialToColour(src[3]));
}

TEST(ColourModel, SettingsCopyLeavesCurveAndItsParameter)
{
    CColorModel a;
    a.dY = 12.0;
    a.dCb = 1.0;
    a.dCr = -1.0;
    a.trialCb = 2.0;
    a.refColour = RGB(1, 2, 3);
    a.refY = 50.0;
    a.mode = 3;
    a.width = 6;
    a.BuildCurve(40);

    CColorModel b;
    b.CopySettings(a);
    EXPECT_EQ(b.Pack(), a.Pack());
    EXPECT_EQ(b.trialCb, 2.0);
    EXPECT_EQ(b.refColour, a.refColour);
    EXPECT_EQ(b.refY, 50.0);
    EXPECT_EQ(b.curveParam, 0);
    EXPECT_EQ(b.curve[100], 100);

    CColorModel c;
    c.AssignSettings(a);
    EXPECT_EQ(c.Pack(), a.Pack());
}

TEST(ColourModel, GreyDistanceAndLumaChromaCombination)
{
    CColorModel m;
    EXPECT_EQ(m.ToGrey(RGB(255, 0, 0)), Grey(76)); // Y = 76.245
    EXPECT_EQ(m.ToGrey(Grey(200)), Grey(200));
    EXPECT_EQ(CColorModel::ColourDistance(RGB(10, 20, 30), RGB(13, 15, 30)), 8);
    EXPECT_EQ(CColorModel::ColourDistance(RGB(0, 0, 0), RGB(255, 255, 255)), 765);
    // The luminance of a grey with the chroma of another grey stays that grey.
    EXPECT_EQ(m.CombineLumaChroma(Grey(90), Grey(200)), Grey(90));
    // Red's luminance without its chroma is red's grey.
    EXPECT_EQ(m.CombineLumaChroma(RGB(255, 0, 0), Grey(10)), Grey(76));
}

TEST(ColourModel, LargeArraysGetExactlyThePerColourResult)
{
    // Large pictures are corrected in several pieces at once; each pixel must still come out
    // as the single-colour correction gives it, in every mode.
    const int w = 700, h = 500;
    CPixelArray src;
    src.SetSize(int64_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src[int64_t(y) * w + x] = RGB(x * 7 + y, y * 3 + x / 5, (x * y) >> 4);
    for (int mode : {0, 1, 2, 3}) {
        CColorModel m;
        m.dY = -17.0;
        m.dCb = 6.0;
        m.dCr = -9.0;
        m.mode = mode;
        m.width = 5;
        m.refColour = RGB(120, 90, 60);
        CPixelArray copy;
        m.ApplyToArrayCopy(src, copy);
        CPixelArray inPlace = src;
        m.ApplyToArray(inPlace);
        ASSERT_EQ(copy, inPlace);
        for (std::ptrdiff_t i = 0; i < src.GetSize(); i += 997)
            ASSERT_EQ(copy[i], m.ApplyToColour(src[i])) << "mode " << mode << " pixel " << i;
        ASSERT_EQ(copy[src.GetSize() - 1], m.ApplyToColour(src[src.GetSize() - 1]));
    }
}

// Contrast levels, thumbnails and brightness steps of picture records.
#include <gtest/gtest.h>

#include <new>
#include <vector>

#include "engine/fit/row_bands.h"
#include "tests/fit/fit_test_pictures.h"

using fittest::Grey;
using fittest::MakePicture;

namespace {

constexpr const char* kPhoto = "libjpeg-turbo-testimages/testorig.jpg";

// The thumbnail's pixels as colours, row by row.
CPixelArray ThumbnailPixels(CKpic& k)
{
    CDrawContext dc(24);
    dc.SelectObject(&k.Thumbnail);
    CPixelArray out;
    out.SetSize(160 * 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            out[y * 160 + x] = dc.GetPixel(x, y);
    return out;
}

} // namespace

// The levels of a real photo, kept as reviewed golden images; the thumbnails of the same photo
// at each quarter turn side by side in one golden strip.
TEST(ImageLevels, PhotoLevelsAndTurnedThumbnailsMatchTheirGoldens)
{
    std::unique_ptr<CKpic> k = fittest::LoadPhoto(kPhoto);
    if (!k)
        GTEST_SKIP() << "test photo not found";
    const int w = k->Width(), h = k->Height();
    ASSERT_EQ(k->BuildColourLevels(), 1);
    ASSERT_EQ(k->QuarterContrast.GetSize(), int64_t(w / 4) * (h / 4));
    ASSERT_EQ(k->SixteenthContrast.GetSize(), int64_t(w / 16) * (h / 16));
    fittest::ExpectMatchesGolden("testorig_quarter_contrast.png", k->QuarterContrast, w / 4, h / 4);
    fittest::ExpectMatchesGolden("testorig_sixteenth_contrast.png", k->SixteenthContrast, w / 16, h / 16);

    CPixelArray strip;
    strip.SetSize(4 * 160 * 120);
    for (int turns = 0; turns < 4; ++turns) {
        k->QuarterTurns = turns;
        CDrawContext dc(24);
        k->BuildThumbnail(24, dc);
        ASSERT_FALSE(k->Thumbnail.IsNull());
        const CPixelArray t = ThumbnailPixels(*k);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x)
                strip[y * 640 + turns * 160 + x] = t[y * 160 + x];
    }
    fittest::ExpectMatchesGolden("testorig_thumbnails_turned_0_to_3.png", strip, 640, 120);
}

// A step between two greys: the smoothed block means ramp over the step, and every quarter cell
// shows three times its mean difference to its neighbours.
TEST(ImageLevels, ContrastIsTheTripledMeanDifferenceOfSmoothedBlocks)
{
    auto k = MakePicture(16, 4, [](int x, int) { return Grey(x < 8 ? 100 : 130); });
    ASSERT_EQ(k->BuildColourLevels(), 1);
    ASSERT_EQ(k->QuarterContrast.GetSize(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(k->QuarterContrast[i], Grey(30)) << i;
    // Smaller than 16 pixels in height: no sixteenth cells, and still a success.
    EXPECT_EQ(k->SixteenthContrast.GetSize(), 0);
}

// Levels are made from the full-size image only: a record that holds its one-eighth reduction
// or nothing gets no levels, and a later call with the full image builds them.
TEST(ImageLevels, OnlyTheFullSizeImageGivesLevels)
{
    auto k = MakePicture(64, 48, [](int x, int y) { return RGB(x * 4, y * 5, 90); });
    CPixelArray full;
    full.Swap(k->Pixels);
    k->Pixels.SetSize(8 * 6);
    k->Pixels.Fill(Grey(128));
    EXPECT_EQ(k->BuildColourLevels(), 0);
    EXPECT_TRUE(k->QuarterContrast.IsEmpty());
    k->Pixels.RemoveAll();
    EXPECT_EQ(k->BuildColourLevels(), 0);
    k->Pixels.Swap(full);
    EXPECT_EQ(k->BuildColourLevels(), 1);
    EXPECT_EQ(k->QuarterContrast.GetSize(), 16 * 12);
    EXPECT_EQ(k->SixteenthContrast.GetSize(), 4 * 3);
}

// Large pictures are summed in bands on several threads; the levels must be those of a single
// pass. A narrow picture (one band) and a wide one sharing its left part agree away from the
// narrow one's right edge.
TEST(ImageLevels, BandedLevelsOfALargePictureEqualThoseOfOnePass)
{
    auto colour = [](int x, int y) {
        const unsigned v = static_cast<unsigned>(x * 7919 + y * 104729) * 2654435761u;
        return RGB((v >> 8) & 0xFF, (x * 3 + y) & 0xFF, (v >> 20) & 0xFF);
    };
    auto wide = MakePicture(2400, 1600, colour);
    auto narrow = MakePicture(400, 1600, colour);
    ASSERT_EQ(wide->BuildColourLevels(), 1);
    ASSERT_EQ(narrow->BuildColourLevels(), 1);
    int differing = 0;
    for (int j = 0; j < 400; ++j)
        for (int i = 0; i < 98; ++i)
            differing += wide->QuarterContrast[j * 600 + i] != narrow->QuarterContrast[j * 100 + i];
    EXPECT_EQ(differing, 0);
}

// The thumbnail layout: a 4:3 picture turned once stands 90 wide and 120 high between two grey
// margins of 35, and the one-eighth reduction gives the same layout as the full image.
TEST(ImageLevels, ThumbnailFitsTheTurnedPictureBetweenGreyMargins)
{
    auto full = MakePicture(640, 480, [](int, int) { return RGB(200, 30, 30); });
    auto reduced = MakePicture(80, 60, [](int, int) { return RGB(200, 30, 30); });
    reduced->m_PictureRect = CRect(0, 0, 640, 480);
    for (CKpic* k : {full.get(), reduced.get()}) {
        k->QuarterTurns = 1;
        CDrawContext dc(32);
        k->BuildThumbnail(32, dc);
        const CPixelArray t = ThumbnailPixels(*k);
        for (int y = 0; y < 120; y += 17) {
            EXPECT_EQ(t[y * 160 + 34], RGB(80, 80, 80));
            EXPECT_EQ(t[y * 160 + 35], RGB(200, 30, 30));
            EXPECT_EQ(t[y * 160 + 124], RGB(200, 30, 30));
            EXPECT_EQ(t[y * 160 + 125], RGB(80, 80, 80));
        }
    }
    // Any other pixel count gives no thumbnail, and the old one is gone.
    full->Pixels.SetSize(100);
    CDrawContext dc(24);
    full->BuildThumbnail(24, dc);
    EXPECT_TRUE(full->Thumbnail.IsNull());
}

// Refreshing the bits after a reload redraws the picture area in the thumbnail's own depth.
TEST(ImageLevels, RefreshedThumbnailBitsShowTheReloadedImage)
{
    for (int depth : {16, 24, 32}) {
        auto k = MakePicture(320, 240, [](int, int) { return RGB(10, 20, 30); });
        CDrawContext dc(depth);
        k->BuildThumbnail(depth, dc);
        k->Pixels.Fill(RGB(248, 252, 8));
        k->RefreshThumbnailBits();
        dc.SelectObject(&k->Thumbnail);
        EXPECT_EQ(dc.GetPixel(80, 60), RGB(248, 252, 8)) << depth;
    }
}

TEST(ImageLevels, BrightnessTableKeepsBothEndsForAnyStep)
{
    struct Case {
        int step;
        int knee;        // entry that maps to 128
        int lastDarkest; // table[1]
    };
    const Case cases[] = {
        {0, 128, 1}, {10, 48, 2}, {-10, 208, 0},
        // Steps outside -10..10 from a damaged project: the knee stops short of both ends.
        {16, 1, 128}, {40, 1, 128}, {-16, 254, 0}, {-40, 254, 0},
    };
    for (const Case& c : cases) {
        CKpic k;
        k.BuildColourTable(c.step);
        EXPECT_EQ(k.ColourTable[0], 0) << c.step;
        EXPECT_EQ(k.ColourTable[255], 255) << c.step;
        EXPECT_EQ(k.ColourTable[c.knee], 128) << c.step;
        EXPECT_EQ(k.ColourTable[1], c.lastDarkest) << c.step;
        for (int i = 1; i < 256; ++i)
            ASSERT_GE(k.ColourTable[i], k.ColourTable[i - 1]) << c.step << " at " << i;
    }
}

TEST(ImageLevels, CommittingBrightnessAppliesItOnceOrAsksForAReload)
{
    auto k = MakePicture(4, 4, [](int, int) { return Grey(48); });
    EXPECT_EQ(k->CommitBrightness(), 0); // nothing pending

    k->PendingBrightness = 10;
    EXPECT_EQ(k->CommitBrightness(), 1);
    EXPECT_EQ(k->Brightness, 10);
    EXPECT_EQ(k->PendingBrightness, 0);
    EXPECT_EQ(k->Pixels[0], Grey(128));
    EXPECT_EQ(k->ColourTable[200], 200); // the table is back at the (empty) pending step

    // Already brightened pixels are dropped: the reload applies the whole step.
    k->PendingBrightness = -4;
    EXPECT_EQ(k->CommitBrightness(), -2);
    EXPECT_EQ(k->Brightness, 6);
    EXPECT_TRUE(k->Pixels.IsEmpty());

    k->PendingBrightness = 2;
    EXPECT_EQ(k->CommitBrightness(), -1); // no pixels
}

// The levels of a large picture are summed in bands on several threads. A band that fails (an
// allocation that cannot be had) must reach the caller, which gives up the levels, as the serial
// loop would: thrown inside a thread it ended the program.
TEST(ImageLevels, FailureInABandReachesTheCaller)
{
    for (int failing : {0, 1, 3}) {
        SCOPED_TRACE(failing);
        std::vector<int> done(4, 0);
        auto body = [&](int first, int last) {
            if (first == 25 * failing)
                throw std::bad_alloc();
            done[static_cast<std::size_t>(first / 25)] = last - first;
        };
        EXPECT_THROW(ForRowBands(100, kParallelCells, body, 4), std::bad_alloc);
        // The other bands ran to their end before the failure was passed on.
        for (int band = 0; band < 4; ++band)
            EXPECT_EQ(done[static_cast<std::size_t>(band)], band == failing ? 0 : 25) << band;
    }
}

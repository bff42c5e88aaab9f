// The BMP reader against the public BMP test suite: every good file reads with the pixels of
// the suite's reference picture, every bad file is refused cleanly, and every questionable
// file either reads with a sensible picture or is refused cleanly.
#include "imagefile/bmp_codec.h"
#include "imagefile/image_file.h"

#include "test_bmp_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace {

using namespace bmptest;
namespace fs = std::filesystem;

std::string SuiteDir()
{
    return TestDataDir() + "/bmpsuite";
}

bool HaveSuite()
{
    return fs::is_directory(SuiteDir() + "/g");
}

// Reads a file through the dispatch at its own size.
int ReadOwnSize(const std::string& path, CPixelArray& pixels, CSize& size)
{
    const CRect r = GetImageFileRect(path);
    size = r.Size();
    if (size.cx < 1 || size.cy < 1)
        size = CSize(1, 1);
    return LoadImageFile(path, pixels, size, CRect());
}

int ChannelDistance(COLORREF a, COLORREF b)
{
    return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                     std::abs(GetBValue(a) - GetBValue(b))});
}

// Counts pixels whose colour differs from the reference by more than tolerance in a channel;
// alpha below 255 in the reference (undefined pixels of run-length files) is compared as its
// colour all the same.
int CountMismatches(const CPixelArray& pixels, const CSize& size, const CRgbaImage& ref, int tolerance = 0)
{
    if (size.cx != ref.width || size.cy != ref.height || pixels.GetSize() != int64_t(ref.width) * ref.height)
        return -1;
    int bad = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x)
            if (ChannelDistance(pixels[int64_t(y) * ref.width + x], ref.Rgb(x, y)) > tolerance)
                ++bad;
    return bad;
}

struct SuiteCase {
    const char* file;
    const char* reference;
};

// Every good file with the reference picture of its expected look. The non-square picture
// is compared with its stored, unstretched rendering.
const SuiteCase kGood[] = {
    {"g/pal1.bmp", "pal1.png"},           {"g/pal1wb.bmp", "pal1.png"},
    {"g/pal1bg.bmp", "pal1bg.png"},       {"g/pal4.bmp", "pal4.png"},
    {"g/pal4gs.bmp", "pal4gs.png"},       {"g/pal4rle.bmp", "pal4.png"},
    {"g/pal8.bmp", "pal8.png"},           {"g/pal8-0.bmp", "pal8.png"},
    {"g/pal8gs.bmp", "pal8gs.png"},       {"g/pal8rle.bmp", "pal8.png"},
    {"g/pal8w126.bmp", "pal8w126.png"},   {"g/pal8w125.bmp", "pal8w125.png"},
    {"g/pal8w124.bmp", "pal8w124.png"},   {"g/pal8topdown.bmp", "pal8.png"},
    {"g/pal8nonsquare.bmp", "pal8nonsquare-e.png"},
    {"g/pal8os2.bmp", "pal8.png"},        {"g/pal8v4.bmp", "pal8.png"},
    {"g/pal8v5.bmp", "pal8.png"},         {"g/rgb16.bmp", "rgb16.png"},
    {"g/rgb16bfdef.bmp", "rgb16.png"},    {"g/rgb16-565.bmp", "rgb16-565.png"},
    {"g/rgb16-565pal.bmp", "rgb16-565.png"},
    {"g/rgb24.bmp", "rgb24.png"},         {"g/rgb24pal.bmp", "rgb24.png"},
    {"g/rgb32.bmp", "rgb24.png"},         {"g/rgb32bfdef.bmp", "rgb24.png"},
    {"g/rgb32bf.bmp", "rgb24.png"},
};

TEST(BmpSuite, EveryGoodFileReadsAsItsReferencePicture)
{
    if (!HaveSuite())
        GTEST_SKIP() << "bmpsuite not found";
    std::set<std::string> covered;
    for (const SuiteCase& c : kGood) {
        SCOPED_TRACE(c.file);
        covered.insert(fs::path(c.file).filename().string());
        CRgbaImage ref;
        ASSERT_TRUE(ReadPngRgba(SuiteDir() + "/reference-png/" + c.reference, ref));
        CPixelArray pixels;
        CSize size;
        EXPECT_EQ(ReadOwnSize(SuiteDir() + "/" + c.file, pixels, size), 1);
        EXPECT_EQ(CountMismatches(pixels, size, ref), 0);
    }
    // Every file of the folder is in the table.
    for (const auto& e : fs::directory_iterator(SuiteDir() + "/g"))
        EXPECT_TRUE(covered.count(e.path().filename().string())) << e.path();
}

TEST(BmpSuite, GoodFilesReadAtAReducedSizeAsTheirOwnSizeScaled)
{
    if (!HaveSuite())
        GTEST_SKIP() << "bmpsuite not found";
    // The row-wise 24-bit path and the whole-file path of the other depths fit alike.
    for (const char* f : {"g/rgb24.bmp", "g/pal8.bmp", "g/pal8rle.bmp", "g/rgb32bf.bmp", "g/pal8topdown.bmp"}) {
        SCOPED_TRACE(f);
        CPixelArray full;
        CSize own;
        ASSERT_EQ(ReadOwnSize(SuiteDir() + "/" + f, full, own), 1);
        CPixelArray expected;
        expected.SetSize(50 * 40);
        ASSERT_EQ(ScalePixelsToFill(full, own.cx, own.cy, expected, 50, 40), 1);
        CPixelArray got;
        CSize size(50, 40);
        ASSERT_EQ(LoadImageFile(SuiteDir() + "/" + f, got, size, CRect()), 1);
        EXPECT_EQ(size, own);
        EXPECT_EQ(got, expected);
    }
}

TEST(BmpSuite, EveryBadFileIsRefusedWithGreyFill)
{
    if (!HaveSuite())
        GTEST_SKIP() << "bmpsuite not found";
    int files = 0;
    for (const auto& e : fs::directory_iterator(SuiteDir() + "/b")) {
        SCOPED_TRACE(e.path().string());
        ++files;
        CPixelArray pixels;
        CSize size(64, 32);
        const int result = LoadImageFile(e.path().string(), pixels, size, CRect());
        EXPECT_EQ(result, -1);
        ASSERT_EQ(pixels.GetSize(), 64 * 32);
        EXPECT_TRUE(std::all_of(pixels.GetData(), pixels.GetData() + pixels.GetSize(),
                                [](COLORREF c) { return c == kUnreadableGrey; }));
    }
    EXPECT_EQ(files, 20);
}

// Questionable files that read and show the reference picture exactly.
const SuiteCase kQuestionableExact[] = {
    {"q/pal8offs.bmp", "pal8.png"},       {"q/pal8oversizepal.bmp", "pal8.png"},
    {"q/pal1p1.bmp", "pal1p1.png"},       {"q/pal8os2sp.bmp", "pal8.png"},
    {"q/pal8os2v2.bmp", "pal8.png"},      {"q/pal8os2v2-16.bmp", "pal8.png"},
    {"q/rgb16-231.bmp", "rgb16-231.png"}, {"q/rgb16-3103.bmp", "rgb16-3103.png"},
    {"q/rgb16faketrns.bmp", "rgb16.png"}, {"q/rgb24largepal.bmp", "rgb24.png"},
    {"q/rgb24lprof.bmp", "rgb24.png"},    {"q/rgb24prof.bmp", "rgb24.png"},
    {"q/rgb32h52.bmp", "rgb24.png"},      {"q/rgb32-xbgr.bmp", "rgb24.png"},
    {"q/rgb32fakealpha.bmp", "rgb24.png"},
    {"q/rgb32-7187.bmp", "rgb32-7187.png"},
    {"q/pal4rletrns.bmp", "pal4rletrns-b.png"}, {"q/pal8rletrns.bmp", "pal8rletrns-b.png"},
    {"q/pal4rlecut.bmp", "pal4rlecut-b.png"},   {"q/pal8rlecut.bmp", "pal8rlecut-b.png"},
};

// Questionable files that are refused: unsupported variants (2 bits, 64 bits, embedded JPEG
// or PNG, Huffman and RLE24 compression), header sizes stated in place of the file size,
// and palettes that do not hold the indices the picture uses.
const char* const kQuestionableRefused[] = {
    "q/pal8os2-hs.bmp",  "q/pal2.bmp",        "q/pal2color.bmp",    "q/pal1huffmsb.bmp",
    "q/pal8os2-sz.bmp",  "q/pal8os2v2-sz.bmp", "q/pal8os2v2-40sz.bmp", "q/rgb24rle24.bmp",
    "q/rgb24jpeg.bmp",   "q/rgb24png.bmp",    "q/rgba64.bmp",
};

TEST(BmpSuite, QuestionableFilesReadSensiblyOrAreRefused)
{
    if (!HaveSuite())
        GTEST_SKIP() << "bmpsuite not found";
    for (const SuiteCase& c : kQuestionableExact) {
        SCOPED_TRACE(c.file);
        CRgbaImage ref;
        ASSERT_TRUE(ReadPngRgba(SuiteDir() + "/reference-png/" + c.reference, ref));
        CPixelArray pixels;
        CSize size;
        EXPECT_EQ(ReadOwnSize(SuiteDir() + "/" + c.file, pixels, size), 1);
        EXPECT_EQ(CountMismatches(pixels, size, ref), 0);
    }
    for (const char* f : kQuestionableRefused) {
        SCOPED_TRACE(f);
        CPixelArray pixels;
        CSize size(10, 10);
        EXPECT_EQ(LoadImageFile(SuiteDir() + "/" + f, pixels, size, CRect()), -1);
        EXPECT_EQ(pixels.GetSize(), 100);
        EXPECT_EQ(pixels[0], kUnreadableGrey);
    }
    // Channels of 10 and 11 bits were rounded from the reference's 8 bits when the file was
    // made, so reading them back may land one level off.
    {
        CRgbaImage ref;
        ASSERT_TRUE(ReadPngRgba(SuiteDir() + "/reference-png/rgb24.png", ref));
        CPixelArray pixels;
        CSize size;
        EXPECT_EQ(ReadOwnSize(SuiteDir() + "/q/rgb32-111110.bmp", pixels, size), 1);
        EXPECT_EQ(CountMismatches(pixels, size, ref, 1), 0);
    }
    // Embedded colour profiles are not applied: this file stores red and green swapped and
    // relies on its profile to swap them back.
    {
        CRgbaImage ref;
        ASSERT_TRUE(ReadPngRgba(SuiteDir() + "/reference-png/rgb24.png", ref));
        for (size_t i = 0; i < ref.rgba.size(); i += 4)
            std::swap(ref.rgba[i], ref.rgba[i + 1]);
        CPixelArray pixels;
        CSize size;
        EXPECT_EQ(ReadOwnSize(SuiteDir() + "/q/rgb24prof2.bmp", pixels, size), 1);
        EXPECT_EQ(CountMismatches(pixels, size, ref), 0);
    }
    std::set<std::string> listed{"q/rgb32-111110.bmp", "q/rgb24prof2.bmp"};
    // The rest carry an alpha channel, which is not shown: their colours must equal the
    // reference wherever the reference is opaque.
    for (const SuiteCase& c : kQuestionableExact)
        listed.insert(c.file);
    for (const char* f : kQuestionableRefused)
        listed.insert(f);
    const SuiteCase alphaCases[] = {
        {"q/rgba16-4444.bmp", "rgba16-4444.png"}, {"q/rgba16-5551.bmp", "rgba16-5551.png"},
        {"q/rgba16-1924.bmp", "rgba16-1924.png"}, {"q/rgba32-1.bmp", "rgba32.png"},
        {"q/rgba32-2.bmp", "rgba32.png"},         {"q/rgba32-1010102.bmp", "rgba32-1010102.png"},
        {"q/rgba32-81284.bmp", "rgba32-81284.png"}, {"q/rgba32-61754.bmp", "rgba32-61754.png"},
        {"q/rgba32abf.bmp", "rgba32.png"},        {"q/rgba32h56.bmp", "rgba32.png"},
    };
    for (const SuiteCase& c : alphaCases) {
        SCOPED_TRACE(c.file);
        listed.insert(c.file);
        CRgbaImage ref;
        ASSERT_TRUE(ReadPngRgba(SuiteDir() + "/reference-png/" + c.reference, ref));
        CPixelArray pixels;
        CSize size;
        ASSERT_EQ(ReadOwnSize(SuiteDir() + "/" + c.file, pixels, size), 1);
        ASSERT_EQ(size, CSize(ref.width, ref.height));
        int bad = 0;
        for (int y = 0; y < ref.height; ++y)
            for (int x = 0; x < ref.width; ++x)
                if (ref.Alpha(x, y) == 255 && pixels[int64_t(y) * ref.width + x] != ref.Rgb(x, y))
                    ++bad;
        EXPECT_EQ(bad, 0);
    }
    for (const auto& e : fs::directory_iterator(SuiteDir() + "/q"))
        EXPECT_TRUE(listed.count("q/" + e.path().filename().string())) << e.path();
}

} // namespace

// The image-file dispatch: kinds it does not handle, the strip order of the writers, and a
// picture written and read back through the five entry points.
#include "imagefile/image_file.h"

#include "common/message_catalogue.h"
#include "platform/message_box.h"

#include "test_bmp_support.h"
#include "../support/refused_pictures.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace {

using namespace bmptest;
namespace fs = std::filesystem;

TEST(Dispatch, OtherKindsAreRefusedWithoutTouchingAnything)
{
    const std::string dir = ScratchDir("dispatch_other");
    const CPixelArray img = PatternPixels(4, 3);
    const std::vector<uint8_t> bmp = MakeBmp(4, 3, 24, 0, {}, Rows24(img, 4, 3));
    for (const char* name : {"a.gif", "a.fit", "a.mov", "noext", "a.bmp.txt"}) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        WriteAll(path, bmp); // a readable picture under a name of another kind
        EXPECT_EQ(GetImageFileRect(path), CRect());
        CPixelArray p;
        p.SetSize(3);
        p[1] = 77;
        CSize size(4, 3);
        EXPECT_EQ(LoadImageFile(path, p, size, CRect()), -1);
        EXPECT_EQ(p.GetSize(), 3);
        EXPECT_EQ(p[1], 77u);
        EXPECT_EQ(size, CSize(4, 3));
        EXPECT_EQ(SaveImageBegin(path, 4, 3, 72, "", 10), -1);
        EXPECT_EQ(SaveImagePut(path, img, 0), -1);
        EXPECT_EQ(SaveImageEnd(path, 1), -1);
        EXPECT_EQ(ReadAll(path), bmp);
        EXPECT_TRUE(GetSaveStripOrder(path, 40).empty());
    }
}

TEST(Dispatch, StripOrderOfTheWriters)
{
    EXPECT_EQ(GetSaveStripOrder("x.bmp", 40), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(GetSaveStripOrder("x.BMP", 32), (std::vector<int>{1, 0}));
    EXPECT_EQ(GetSaveStripOrder("x.png", 17), (std::vector<int>{0, 1}));
    EXPECT_EQ(GetSaveStripOrder("x.jpg", 16), (std::vector<int>{0}));
    EXPECT_EQ(GetSaveStripOrder("x.tif", 1), (std::vector<int>{0}));
    EXPECT_TRUE(GetSaveStripOrder("x.bmp", 0).empty());
}

TEST(Dispatch, SizeQueryEmptiesTheLastComment)
{
    LastImageComment = "from an earlier picture";
    EXPECT_EQ(GetImageFileRect("/no/such/file.gif"), CRect());
    EXPECT_TRUE(LastImageComment.empty());
}

TEST(Dispatch, BmpWrittenAndReadBackThroughTheEntryPoints)
{
    LoadMessageCatalogue();
    const std::string path = ScratchDir("dispatch_bmp") + "/out.Bmp";
    const int w = 9, h = 40;
    const CPixelArray img = PatternPixels(w, h);
    ASSERT_EQ(SaveImageBegin(path, w, h, 288, "ignored", 3), 1);
    // The 40-row picture takes strips 2, 1, 0; rows 8-15 of strip 2 lie below it.
    for (const int n : GetSaveStripOrder(path, h)) {
        CPixelArray strip;
        strip.SetSize(16 * w);
        strip.Fill(0xABCDEF);
        for (int r = 0; r < 16 && 16 * n + r < h; ++r)
            std::copy(img.GetData() + (16 * n + r) * w, img.GetData() + (16 * n + r + 1) * w, strip.GetData() + r * w);
        ASSERT_EQ(SaveImagePut(path, strip, n), 1);
    }
    ASSERT_EQ(SaveImageEnd(path, 0), 1);

    EXPECT_EQ(GetImageFileRect(path), CRect(0, 0, w, h));
    CPixelArray back;
    CSize size(w, h);
    ASSERT_EQ(LoadImageFile(path, back, size, CRect()), 1);
    EXPECT_EQ(back, img);
    // A region of a reduced canvas: 9 x 40 in 3 x 20 shows source (3X, 3Y - 10).
    CPixelArray part;
    size = CSize(3, 20);
    ASSERT_EQ(LoadImageFile(path, part, size, CRect(1, 5, 3, 8)), 1);
    EXPECT_EQ(size, CSize(w, h));
    ASSERT_EQ(part.GetSize(), 6);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_EQ(part[i * 2 + j], img[(3 * (5 + i) - 10) * w + 3 * (1 + j)]) << j << "," << i;
}

// Writes img (w x h) through the dispatch to path.
void WriteThroughDispatch(const std::string& path, const CPixelArray& img, int w, int h)
{
    ASSERT_EQ(SaveImageBegin(path, w, h, 72, "", 10), 1);
    for (const int n : GetSaveStripOrder(path, h)) {
        CPixelArray strip;
        strip.SetSize(16 * w);
        for (int r = 0; r < 16 && 16 * n + r < h; ++r)
            std::copy(img.GetData() + (16 * n + r) * w, img.GetData() + (16 * n + r + 1) * w, strip.GetData() + r * w);
        ASSERT_EQ(SaveImagePut(path, strip, n), 1);
    }
    ASSERT_EQ(SaveImageEnd(path, 0), 1);
}

TEST(Dispatch, ARegionOfTheCanvasSizeStillStartsWhereItSays)
{
    LoadMessageCatalogue();
    const int w = 12, h = 10;
    const CPixelArray img = PatternPixels(w, h);
    const std::string dir = ScratchDir("dispatch_region");
    for (const char* name : {"a.png", "a.tif"}) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        WriteThroughDispatch(path, img, w, h);
        // As large as the canvas, but moved by (3, 2): the last columns and rows lie outside.
        CPixelArray part;
        CSize size(w, h);
        ASSERT_EQ(LoadImageFile(path, part, size, CRect(3, 2, 3 + w, 2 + h)), 1);
        ASSERT_EQ(part.GetSize(), w * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool inside = x + 3 < w && y + 2 < h;
                const COLORREF expected = inside ? img[(y + 2) * w + x + 3] : COLORREF(0xF0F0F0);
                ASSERT_EQ(part[y * w + x], expected) << x << "," << y;
            }
        }
    }
}

TEST(Dispatch, OnlyRegularFilesAreRead)
{
    // A pipe would block the open until a writer came; a folder is no picture either.
    const std::string dir = ScratchDir("dispatch_fifo");
    for (const char* name : {"pipe.bmp", "pipe.jpg", "pipe.png", "pipe.tif"}) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        EXPECT_EQ(CheckImageFileAccess(path), ImageFileAccess::NotAFile);
        EXPECT_EQ(GetImageFileRect(path), CRect());
        CPixelArray p;
        CSize size(4, 3);
        EXPECT_EQ(LoadImageFile(path, p, size, CRect()), -1);
    }
    const std::string folder = dir + "/folder.png";
    fs::create_directories(folder);
    EXPECT_EQ(CheckImageFileAccess(folder), ImageFileAccess::Folder);
    EXPECT_EQ(GetImageFileRect(folder), CRect());
    EXPECT_EQ(CheckImageFileAccess(dir + "/none.png"), ImageFileAccess::Missing);
    EXPECT_STREQ(ImageFileAccessText(ImageFileAccess::Missing), "no such file");
}

TEST(Dispatch, RefusalsSayWhetherTheFileUsesAFeatureNotRead)
{
    const fs::path data = fs::path(SMRA_TESTDATA_DIR);
    if (!fs::exists(data / "libjpeg-turbo-testimages"))
        GTEST_SKIP() << "test data not found";
    LoadMessageCatalogue();
    struct Case {
        fs::path file;
        const char* feature; // "" when the file reads, or is damaged
        bool reads;
    } const cases[] = {
        {data / "libjpeg-turbo-testimages" / "testimgari.jpg", "arithmetic-coded JPEG", false},
        {data / "libjpeg-turbo-testimages" / "monkey12.jpg", "extended sequential JPEG", false},
        {data / "bmpsuite" / "q" / "rgb24jpeg.bmp", "BMP holding a JPEG picture", false},
        {data / "bmpsuite" / "q" / "rgb24png.bmp", "BMP holding a PNG picture", false},
        {data / "bmpsuite" / "q" / "pal1huffmsb.bmp", "Huffman-coded OS/2 BMP", false},
        {data / "libjpeg-turbo-testimages" / "testorig.jpg", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.string());
        if (!fs::exists(c.file))
            continue;
        const CRect rect = GetImageFileRect(c.file.string());
        CPixelArray p;
        CSize size = rect.IsRectEmpty() ? CSize(16, 16) : rect.Size();
        const int result = LoadImageFile(c.file.string(), p, size, CRect());
        EXPECT_EQ(result > 0, c.reads);
        EXPECT_EQ(LastUnsupportedFeature(), c.feature);
    }
    // A damaged file is no unsupported feature.
    const std::string junk = ScratchDir("dispatch_feature") + "/junk.jpg";
    WriteAll(junk, {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x03, 0x00});
    EXPECT_EQ(GetImageFileRect(junk), CRect());
    EXPECT_TRUE(LastUnsupportedFeature().empty());
}

TEST(Dispatch, EveryRefusalOfASoundFileSaysWhatIsWrong)
{
    const std::string dir = ScratchDir("dispatch_refused");
    for (const testsupport::RefusedPicture& f : testsupport::MakeRefusedPictures(dir)) {
        SCOPED_TRACE(f.path);
        // The damaged file has a sound header: only its read fails.
        if (!f.reason.empty()) {
            NoteUnsupportedFeature("left over");
            EXPECT_EQ(GetImageFileRect(f.path), CRect());
            EXPECT_EQ(LastUnsupportedFeature(), f.reason);
        }
        NoteUnsupportedFeature("left over");
        CPixelArray p;
        CSize size(16, 16);
        EXPECT_LE(LoadImageFile(f.path, p, size, CRect()), 0);
        EXPECT_EQ(LastUnsupportedFeature(), f.reason);
        EXPECT_EQ(WithRefusalReason("Refused."), f.reason.empty() ? "Refused." : "Refused. (" + f.reason + ")");
    }
}

} // namespace

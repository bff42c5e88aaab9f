// The strip protocol through the image-file dispatch: a picture whose height is not a multiple
// of 16 is written strip by strip in each format and read back; imgtool converts every
// supported format into every other.
#include <gtest/gtest.h>

#include <cstdlib>

#include "imagefile/image_file.h"
#include "test_writers_support.h"

using namespace writers_test;

namespace {

// Writes px through SaveImageBegin/Put/End in the order the kind needs; the rows of the last
// strip below the picture hold a poison colour.
int SaveThroughDispatch(const std::string& path, const std::vector<uint32_t>& px, int w, int h)
{
    if (SaveImageBegin(path, w, h, 200, "strip protocol", 10) != 1)
        return -1;
    CPixelArray strip;
    strip.SetSize(static_cast<std::ptrdiff_t>(16) * w);
    for (int n : GetSaveStripOrder(path, h)) {
        strip.Fill(0x00FF00FF);
        int rows = std::min(16, h - 16 * n);
        std::copy_n(px.begin() + static_cast<ptrdiff_t>(16) * n * w, static_cast<size_t>(rows) * w,
                    strip.GetData());
        if (SaveImagePut(path, strip, n) != 1) {
            SaveImageEnd(path, -1);
            return -1;
        }
    }
    return SaveImageEnd(path, 1);
}

}  // namespace

TEST(StripProtocol, EveryFormatWritesAHeightThatIsNotAMultipleOf16)
{
    const int w = 45, h = 37;
    std::vector<uint32_t> px = SyntheticPhoto(w, h, 9);
    for (const char* ext : {"bmp", "tif", "png", "jpg"}) {
        std::string path = TempPath(std::string("protocol.") + ext);
        ASSERT_EQ(SaveThroughDispatch(path, px, w, h), 1) << ext;
        EXPECT_EQ(GetImageFileRect(path), CRect(0, 0, w, h)) << ext;
        if (std::string(ext) == "jpg") {
            std::vector<uint32_t> ref;
            int dw = 0, dh = 0, warnings = -1;
            ASSERT_TRUE(DecodeWithLibjpeg(path.c_str(), &ref, &dw, &dh, &warnings));
            ASSERT_EQ(dw * 1000 + dh, w * 1000 + h);
            EXPECT_EQ(warnings, 0);
            EXPECT_GT(Psnr(ref, px), 28.0);
            // Our own reader of the same file agrees with the independent decoder.
            CPixelArray ours;
            CSize size(w, h);
            ASSERT_GT(LoadImageFile(path, ours, size, CRect()), 0);
            ASSERT_EQ(ours.GetSize(), static_cast<std::ptrdiff_t>(w) * h);
            EXPECT_GT(Psnr(ToVector(ours), ref), 38.0);
            continue;
        }
        CPixelArray back;
        CSize size(w, h);
        ASSERT_GT(LoadImageFile(path, back, size, CRect()), 0) << ext;
        EXPECT_EQ(size, CSize(w, h)) << ext;
        EXPECT_EQ(ToVector(back), px) << ext;
    }
}

// TIFF and PNG reads through the dispatch cut the rectangle out of the requested canvas.
TEST(StripProtocol, TiffAndPngReadsCutTheRequestedRectangle)
{
    std::vector<uint32_t> px = SyntheticPhoto(400, 200, 4);
    for (const char* ext : {"tif", "png"}) {
        std::string path = TempPath(std::string("strip-cut.") + ext);
        ASSERT_EQ(SaveThroughDispatch(path, px, 400, 200), 1) << ext;
        CPixelArray whole;
        CSize size(100, 100);
        ASSERT_GT(LoadImageFile(path, whole, size, CRect()), 0) << ext;
        EXPECT_EQ(size, CSize(400, 200));
        ASSERT_EQ(whole.GetSize(), 10000);
        EXPECT_EQ(whole[0], 0xF0F0F0u);
        EXPECT_EQ(whole[25 * 100], px[0]);
        CPixelArray part;
        size = CSize(100, 100);
        ASSERT_GT(LoadImageFile(path, part, size, CRect(10, 10, 30, 20)), 0) << ext;
        ASSERT_EQ(part.GetSize(), 200);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(part[y * 20 + x], whole[(10 + y) * 100 + 10 + x]) << ext;
    }
}

#ifdef SMRA_IMGTOOL_PATH
TEST(StripProtocol, ImgtoolConvertsBetweenAllFormats)
{
    const int w = 50, h = 21;
    std::vector<uint32_t> px = SyntheticPhoto(w, h, 3);
    const char* exts[] = {"bmp", "tif", "png", "jpg"};
    for (const char* from : exts) {
        std::string src = TempPath(std::string("convert-src.") + from);
        ASSERT_EQ(SaveThroughDispatch(src, px, w, h), 1) << from;
        for (const char* to : exts) {
            std::string dst = TempPath(std::string("convert-dst-") + from + "." + to);
            std::string cmd = std::string(SMRA_IMGTOOL_PATH) + " convert '" + src + "' '" + dst + "' > /dev/null 2>&1";
            ASSERT_EQ(std::system(cmd.c_str()), 0) << from << " -> " << to;
            EXPECT_EQ(GetImageFileRect(dst), CRect(0, 0, w, h)) << from << " -> " << to;
            if (std::string(from) != "jpg" && std::string(to) != "jpg") {
                CPixelArray back;
                CSize size(w, h);
                ASSERT_GT(LoadImageFile(dst, back, size, CRect()), 0);
                EXPECT_EQ(ToVector(back), px) << from << " -> " << to;
            }
        }
    }
}
#endif

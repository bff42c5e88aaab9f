// PNG codec: the whole PngSuite against libpng's own decode and against the suite's pixel
// oracle, refusal of the corrupted files, fitting to a requested size, and the strip writer.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "common/message_catalogue.h"
#include "imagefile/png_codec.h"
#include "platform/message_box.h"
#include "test_writers_support.h"

using namespace writers_test;

namespace {

void RefError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void RefWarning(png_structp, png_const_charp)
{
}

// libpng's high-level read with the program's transforms: 8-bit, palette and grey expanded
// to RGB, alpha dropped, gamma for a 2.2 screen. Plain data only around setjmp.
bool ReferenceDecode(const char* path, std::vector<uint32_t>* px, int* w, int* h)
{
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, RefError, RefWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    double gamma = 0;
    if (!png_get_gAMA(png, info, &gamma))
        gamma = 0.455;
    png_set_gamma(png, 2.2, gamma);
    // png_read_png starts from the signature again.
    png_destroy_read_struct(&png, &info, nullptr);
    std::rewind(f);
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, RefError, RefWarning);
    info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_gamma(png, 2.2, gamma);
    png_read_png(png, info,
                 PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_STRIP_ALPHA |
                     PNG_TRANSFORM_GRAY_TO_RGB,
                 nullptr);
    *w = static_cast<int>(png_get_image_width(png, info));
    *h = static_cast<int>(png_get_image_height(png, info));
    png_bytepp rows = png_get_rows(png, info);
    px->assign(static_cast<size_t>(*w) * *h, 0);
    for (int y = 0; y < *h; ++y)
        for (int x = 0; x < *w; ++x) {
            const png_byte* p = rows[y] + 3 * x;
            (*px)[static_cast<size_t>(y) * *w + x] = p[0] | (p[1] << 8) | (p[2] << 16);
        }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

// The suite's JSON oracle: flat [r, g, b, a, ...] numbers.
std::vector<int> ReadJsonNumbers(const std::string& path)
{
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<int> out;
    int v = -1;
    for (uint8_t c : bytes) {
        if (c >= '0' && c <= '9') {
            v = (v < 0 ? 0 : v * 10) + (c - '0');
        } else if (v >= 0) {
            out.push_back(v);
            v = -1;
        }
    }
    return out;
}

// File gamma of a PNG's gAMA chunk, or 0.455 without one.
double FileGamma(const std::vector<uint8_t>& f)
{
    size_t i = 8;
    while (i + 12 <= f.size()) {
        uint32_t n = (uint32_t{f[i]} << 24) | (f[i + 1] << 16) | (f[i + 2] << 8) | f[i + 3];
        if (std::string(f.begin() + i + 4, f.begin() + i + 8) == "gAMA" && i + 12 <= f.size())
            return ((uint32_t{f[i + 8]} << 24) | (f[i + 9] << 16) | (f[i + 10] << 8) | f[i + 11]) / 100000.0;
        i += 12 + n;
    }
    return 0.455;
}

int ReadPng(const std::string& path, std::vector<uint32_t>& out, int& cx, int& cy)
{
    CPngCodec codec;
    CPixelArray pixels;
    int r = codec.ReadImage(path, pixels, cx, cy);
    out = ToVector(pixels);
    return r;
}

int WritePng(CPngCodec& codec, const std::string& path, const std::vector<uint32_t>& px, int w, int h)
{
    if (codec.BeginWrite(path, w, h) != 1)
        return -1;
    return PutStripsAndEnd(codec, px, w, h);
}

std::vector<std::filesystem::path> SuiteFiles()
{
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(TestData("pngsuite/png")))
        if (e.path().extension() == ".png")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(PngConformance, ValidSuiteFilesMatchLibpngAndTheOracle)
{
    if (!HaveTestData("pngsuite/png"))
        GTEST_SKIP() << "test data absent";
    int checked = 0;
    for (const auto& file : SuiteFiles()) {
        std::string name = file.stem().string();
        if (name[0] == 'x')
            continue;
        std::vector<uint32_t> ref;
        int rw = 0, rh = 0;
        ASSERT_TRUE(ReferenceDecode(file.c_str(), &ref, &rw, &rh)) << name;
        std::vector<uint32_t> out;
        int cx = rw, cy = rh;
        ASSERT_EQ(ReadPng(file.string(), out, cx, cy), 1) << name;
        EXPECT_EQ(cx, rw) << name;
        EXPECT_EQ(cy, rh) << name;
        EXPECT_TRUE(out == ref) << name;
        int sw = 0, sh = 0;
        EXPECT_TRUE(CPngCodec().GetImageSize(file.string(), sw, sh)) << name;
        EXPECT_EQ(sw * 1000 + sh, rw * 1000 + rh) << name;

        // The suite's own pixels, put through the gamma of a 2.2 screen, agree on every
        // opaque pixel within rounding.
        std::string json = TestData("pngsuite/json/" + name + (name.find("16") != std::string::npos &&
                                                                       std::filesystem::exists(TestData("pngsuite/json/" + name + "_to8.json"))
                                                                   ? "_to8.json"
                                                                   : ".json"));
        std::vector<int> oracle = ReadJsonNumbers(json);
        if (oracle.size() != 4 * out.size())
            continue;
        double exponent = 1.0 / (FileGamma(ReadBytes(file.string())) * 2.2);
        bool identity = std::fabs(exponent - 1.0) < 0.05;
        int worst = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            if (oracle[4 * i + 3] != 255)
                continue;
            for (int c = 0; c < 3; ++c) {
                double v = oracle[4 * i + c];
                double expected = identity ? v : std::floor(255.0 * std::pow(v / 255.0, exponent) + 0.5);
                int got = static_cast<int>((out[i] >> (8 * c)) & 0xFF);
                worst = std::max(worst, static_cast<int>(std::fabs(got - expected)));
            }
        }
        EXPECT_LE(worst, 2) << name;
        ++checked;
    }
    EXPECT_GT(checked, 150);
}

TEST(PngConformance, CorruptedSuiteFilesAreRefused)
{
    if (!HaveTestData("pngsuite/png"))
        GTEST_SKIP() << "test data absent";
    int refused = 0;
    for (const auto& file : SuiteFiles()) {
        if (file.stem().string()[0] != 'x')
            continue;
        std::vector<uint32_t> out;
        int cx = 32, cy = 32;
        EXPECT_EQ(ReadPng(file.string(), out, cx, cy), -1) << file.filename();
        ++refused;
    }
    EXPECT_EQ(refused, 14);
}

TEST(PngRead, FitsIntoTheRequestedSize)
{
    // 400 x 200 asked for at 100 x 100: letterboxed into rows 25-74.
    std::vector<uint32_t> px = SyntheticPhoto(400, 200);
    CPngCodec codec;
    std::string path = TempPath("fit.png");
    ASSERT_EQ(WritePng(codec, path, px, 400, 200), 1);
    std::vector<uint32_t> out;
    int cx = 100, cy = 100;
    ASSERT_EQ(ReadPng(path, out, cx, cy), 1);
    EXPECT_EQ(cx, 400);
    EXPECT_EQ(cy, 200);
    ASSERT_EQ(out.size(), 10000u);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            uint32_t expected = (y >= 25 && y < 75) ? px[(4 * y - 100) * 400 + 4 * x] : 0xF0F0F0u;
            ASSERT_EQ(out[y * 100 + x], expected) << x << "," << y;
        }

    // Halving takes every second pixel; an exact size is read as it is.
    px = SyntheticPhoto(64, 48, 2);
    ASSERT_EQ(WritePng(codec, path, px, 64, 48), 1);
    cx = 32;
    cy = 24;
    ASSERT_EQ(ReadPng(path, out, cx, cy), 1);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(out[y * 32 + x], px[(2 * y) * 64 + 2 * x]);
    cx = 64;
    cy = 48;
    ASSERT_EQ(ReadPng(path, out, cx, cy), 1);
    EXPECT_EQ(out, px);

    cx = 0;
    cy = 10;
    EXPECT_EQ(ReadPng(path, out, cx, cy), -1);
    cx = cy = 100000;
    EXPECT_EQ(ReadPng(path, out, cx, cy), -1);
    cx = cy = 10;
    EXPECT_EQ(ReadPng("", out, cx, cy), -1);
    EXPECT_EQ(ReadPng(TempPath("missing.png"), out, cx, cy), -1);
}

TEST(PngRead, TruncatedAndForeignFilesAreRefused)
{
    std::vector<uint32_t> px = SyntheticPhoto(40, 30);
    CPngCodec codec;
    std::string path = TempPath("cut.png");
    ASSERT_EQ(WritePng(codec, path, px, 40, 30), 1);
    std::vector<uint8_t> whole = ReadBytes(path);
    for (size_t keep : {size_t{0}, size_t{7}, size_t{30}, whole.size() / 2, whole.size() - 13}) {
        WriteBytes(path, std::vector<uint8_t>(whole.begin(), whole.begin() + keep));
        std::vector<uint32_t> out;
        int cx = 40, cy = 30;
        EXPECT_EQ(ReadPng(path, out, cx, cy), -1) << keep;
    }
    int w = 0, h = 0;
    WriteBytes(path, std::vector<uint8_t>(whole.begin(), whole.begin() + 7));
    EXPECT_FALSE(codec.GetImageSize(path, w, h));
}

TEST(PngWrite, RoundTripsAtEveryStripBoundary)
{
    CPngCodec codec;
    for (int h : {1, 15, 16, 17, 33}) {
        for (int w : {1, 9}) {
            std::vector<uint32_t> px = SyntheticPhoto(w, h, static_cast<uint32_t>(h));
            std::string path = TempPath("strip.png");
            ASSERT_EQ(WritePng(codec, path, px, w, h), 1);
            std::vector<uint32_t> ref;
            int rw = 0, rh = 0;
            ASSERT_TRUE(ReferenceDecode(path.c_str(), &ref, &rw, &rh));
            EXPECT_EQ(rw * 1000 + rh, w * 1000 + h);
            EXPECT_EQ(ref, px) << w << "x" << h;
        }
    }
}

TEST(PngWrite, RefusalsAndCancelledSaves)
{
    platform::FakeMessageBox box;
    platform::SetMessageBox(&box);
    CPngCodec codec;
    std::string path = TempPath("keep.png");
    WriteBytes(path, {7});
    EXPECT_EQ(codec.BeginWrite(path, CPngCodec::MaxWriteWidth + 1, 2), -1);
    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(box.Shown()[0], Catalogue().tooBigToCreate);
    EXPECT_EQ(codec.BeginWrite("", 4, 4), -1);
    EXPECT_EQ(codec.BeginWrite(TempPath("no-such-dir/a.png"), 4, 4), -1);
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>{7});
    platform::SetMessageBox(nullptr);

    // The widest row is accepted.
    std::vector<uint32_t> wide(static_cast<size_t>(CPngCodec::MaxWriteWidth), 0x00102030);
    ASSERT_EQ(WritePng(codec, TempPath("wide.png"), wide, CPngCodec::MaxWriteWidth, 1), 1);

    // A cancelled save or one missing its last strip leaves the previous file.
    std::vector<uint32_t> strip(8 * 16, 0x404040);
    ASSERT_EQ(codec.BeginWrite(path, 8, 20), 1);
    ASSERT_EQ(codec.WriteStrip(strip.data(), strip.size(), 0), 1);
    EXPECT_EQ(codec.EndWrite(-1), 1);
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>{7});
    ASSERT_EQ(codec.BeginWrite(path, 8, 20), 1);
    ASSERT_EQ(codec.WriteStrip(strip.data(), strip.size(), 0), 1);
    EXPECT_EQ(codec.EndWrite(1), -1);
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>{7});
}

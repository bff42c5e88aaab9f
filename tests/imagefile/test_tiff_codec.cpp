// TIFF codec: reading the supported layouts, refusing the others cleanly, damaged directory
// chains, sub-sampled previews, and the strip writer's file layout and round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "common/message_catalogue.h"
#include "imagefile/tiff_codec.h"
#include "platform/message_box.h"
#include "test_writers_support.h"

using namespace writers_test;

namespace {

// Options of a generated TIFF file.
struct TiffLayout {
    bool bigEndian = false;
    int samples = 3;
    int photometric = 2;
    int planar = 1;
    int rowsPerStrip = 0;  // 0: no RowsPerStrip tag (one strip)
    bool shortOffsets = false;
    int compression = 1;
    int bits = 8;
    int orientation = 1;
    int dropStrips = 0;  // strips left out of the offset table
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool be) : m_be(be) {}
    void U16(std::vector<uint8_t>& b, size_t pos, uint32_t v)
    {
        b[pos] = static_cast<uint8_t>(m_be ? v >> 8 : v);
        b[pos + 1] = static_cast<uint8_t>(m_be ? v : v >> 8);
    }
    void U32(std::vector<uint8_t>& b, size_t pos, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[pos + i] = static_cast<uint8_t>(v >> (m_be ? 8 * (3 - i) : 8 * i));
    }

private:
    bool m_be;
};

// Builds a TIFF file holding `px` (w x h, 0x00BBGGRR) in the given layout: pixel strips
// first, then the tables, then one directory.
std::vector<uint8_t> MakeTiff(const TiffLayout& L, const std::vector<uint32_t>& px, int w, int h)
{
    TiffBuilder t(L.bigEndian);
    std::vector<uint8_t> f(8);
    f[0] = f[1] = L.bigEndian ? 'M' : 'I';
    t.U16(f, 2, 42);
    int rps = L.rowsPerStrip > 0 ? L.rowsPerStrip : h;
    int stripsPerPlane = (h + rps - 1) / rps;
    int planes = L.planar == 2 ? L.samples : 1;
    std::vector<uint32_t> offsets;
    std::vector<uint32_t> counts;
    auto sample = [&](uint32_t p, int s) -> uint8_t {
        if (L.samples == 1)
            return static_cast<uint8_t>(L.photometric == 0 ? 255 - (p & 0xFF) : (p & 0xFF));
        return s < 3 ? static_cast<uint8_t>(p >> (8 * s)) : 0x7F;
    };
    for (int p = 0; p < planes; ++p) {
        for (int s = 0; s < stripsPerPlane; ++s) {
            offsets.push_back(static_cast<uint32_t>(f.size()));
            size_t start = f.size();
            for (int y = s * rps; y < std::min(h, (s + 1) * rps); ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t v = px[static_cast<size_t>(y) * w + x];
                    if (planes > 1)
                        f.push_back(sample(v, p));
                    else
                        for (int k = 0; k < L.samples; ++k)
                            f.push_back(sample(v, k));
                }
            counts.push_back(static_cast<uint32_t>(f.size() - start));
        }
    }
    offsets.resize(offsets.size() - L.dropStrips);
    counts.resize(counts.size() - L.dropStrips);
    if (f.size() % 2)
        f.push_back(0);

    int offType = L.shortOffsets ? 3 : 4;
    int offSize = L.shortOffsets ? 2 : 4;
    auto table = [&](const std::vector<uint32_t>& values) -> uint32_t {
        if (values.size() * offSize <= 4)
            return 0;
        uint32_t pos = static_cast<uint32_t>(f.size());
        f.resize(f.size() + values.size() * offSize);
        for (size_t i = 0; i < values.size(); ++i) {
            if (offSize == 2)
                t.U16(f, pos + 2 * i, values[i]);
            else
                t.U32(f, pos + 4 * i, values[i]);
        }
        return pos;
    };
    uint32_t offTable = table(offsets);
    uint32_t cntTable = table(counts);
    uint32_t bitsPos = static_cast<uint32_t>(f.size());
    f.resize(f.size() + 2 * L.samples);
    for (int s = 0; s < L.samples; ++s)
        t.U16(f, bitsPos + 2 * s, static_cast<uint32_t>(L.bits));

    struct E {
        uint32_t tag, type, count;
        std::vector<uint32_t> inlineValues;
        uint32_t offset;
    };
    std::vector<E> entries = {
        {256, 4, 1, {static_cast<uint32_t>(w)}, 0},
        {257, 3, 1, {static_cast<uint32_t>(h)}, 0},
        {258, 3, static_cast<uint32_t>(L.samples), L.samples <= 2 ? std::vector<uint32_t>(L.samples, L.bits) : std::vector<uint32_t>{}, bitsPos},
        {259, 3, 1, {static_cast<uint32_t>(L.compression)}, 0},
        {262, 3, 1, {static_cast<uint32_t>(L.photometric)}, 0},
        {273, static_cast<uint32_t>(offType), static_cast<uint32_t>(offsets.size()), offTable ? std::vector<uint32_t>{} : offsets, offTable},
        {274, 3, 1, {static_cast<uint32_t>(L.orientation)}, 0},
        {277, 3, 1, {static_cast<uint32_t>(L.samples)}, 0},
        {279, static_cast<uint32_t>(offType), static_cast<uint32_t>(counts.size()), cntTable ? std::vector<uint32_t>{} : counts, cntTable},
        {284, 3, 1, {static_cast<uint32_t>(L.planar)}, 0},
    };
    if (L.rowsPerStrip > 0)
        entries.insert(entries.begin() + 8, E{278, 3, 1, {static_cast<uint32_t>(rps)}, 0});
    uint32_t dir = static_cast<uint32_t>(f.size());
    t.U32(f, 4, dir);
    f.resize(f.size() + 2 + 12 * entries.size() + 4);
    t.U16(f, dir, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t pos = dir + 2 + 12 * i;
        const E& e = entries[i];
        t.U16(f, pos, e.tag);
        t.U16(f, pos + 2, e.type);
        t.U32(f, pos + 4, e.count);
        if (e.inlineValues.empty()) {
            t.U32(f, pos + 8, e.offset);
        } else {
            int size = e.type == 3 ? 2 : 4;
            for (size_t k = 0; k < e.inlineValues.size(); ++k) {
                if (size == 2)
                    t.U16(f, pos + 8 + 2 * k, e.inlineValues[k]);
                else
                    t.U32(f, pos + 8, e.inlineValues[k]);
            }
        }
    }
    return f;
}

int ReadTiff(const std::string& path, std::vector<uint32_t>& out, int cx, int cy, int& w, int& h,
             CTiffCodec* codec = nullptr)
{
    CTiffCodec own;
    CPixelArray pixels;
    int r = (codec ? codec : &own)->ReadImage(path, pixels, cx, cy, w, h);
    out = ToVector(pixels);
    return r;
}

std::vector<uint32_t> Grey(const std::vector<uint32_t>& px)
{
    std::vector<uint32_t> g(px.size());
    for (size_t i = 0; i < px.size(); ++i)
        g[i] = (px[i] & 0xFF) * 0x010101u;
    return g;
}

int WriteTiff(CTiffCodec& codec, const std::string& path, const std::vector<uint32_t>& px, int w,
              int h, int dpi, bool reverse = false)
{
    if (codec.BeginWrite(path, w, h, dpi) != 1)
        return -1;
    return PutStripsAndEnd(codec, px, w, h, reverse);
}

uint32_t Le32(const std::vector<uint8_t>& f, size_t pos)
{
    return f[pos] | (f[pos + 1] << 8) | (f[pos + 2] << 16) | (uint32_t{f[pos + 3]} << 24);
}
uint32_t Le16(const std::vector<uint8_t>& f, size_t pos)
{
    return f[pos] | (f[pos + 1] << 8);
}

// Directory of a little-endian file written by us: tag -> (type, count, value field).
std::map<uint32_t, std::array<uint32_t, 3>> Directory(const std::vector<uint8_t>& f,
                                                      std::vector<uint32_t>* order = nullptr)
{
    std::map<uint32_t, std::array<uint32_t, 3>> d;
    uint32_t dir = Le32(f, 4);
    uint32_t n = Le16(f, dir);
    for (uint32_t i = 0; i < n; ++i) {
        size_t pos = dir + 2 + 12 * i;
        uint32_t tag = Le16(f, pos);
        uint32_t type = Le16(f, pos + 2);
        uint32_t count = Le32(f, pos + 4);
        uint32_t value = (type == 3 && count == 1) ? Le16(f, pos + 8) : Le32(f, pos + 8);
        d[tag] = {type, count, value};
        if (order)
            order->push_back(tag);
    }
    return d;
}

}  // namespace

TEST(TiffRead, SupportedLayoutsGiveTheSamePixels)
{
    const int w = 23, h = 19;
    std::vector<uint32_t> px = SyntheticPhoto(w, h);
    for (uint32_t& p : px)
        if (p % 7 == 0)
            p &= 0xFFFF00;  // zero red bytes must survive
    struct Case {
        const char* name;
        TiffLayout layout;
        bool grey;
    } cases[] = {
        {"single strip, little-endian", {}, false},
        {"7 rows per strip, big-endian", {.bigEndian = true, .rowsPerStrip = 7}, false},
        {"planar, 5 rows per strip", {.planar = 2, .rowsPerStrip = 5}, false},
        {"planar, big-endian, 1 row per strip", {.bigEndian = true, .planar = 2, .rowsPerStrip = 1}, false},
        {"RGBA, 3 rows per strip", {.samples = 4, .rowsPerStrip = 3}, false},
        {"SHORT offsets inline (2 strips)", {.rowsPerStrip = 10, .shortOffsets = true}, false},
        {"SHORT offsets in a table", {.rowsPerStrip = 4, .shortOffsets = true}, false},
        {"grey, black is zero", {.samples = 1, .photometric = 1, .rowsPerStrip = 8}, true},
        {"grey, white is zero, big-endian", {.bigEndian = true, .samples = 1, .photometric = 0}, true},
    };
    for (const Case& c : cases) {
        std::string path = TempPath("layout.tif");
        WriteBytes(path, MakeTiff(c.layout, px, w, h));
        std::vector<uint32_t> out;
        int iw = 0, ih = 0;
        EXPECT_EQ(ReadTiff(path, out, w, h, iw, ih), 1) << c.name;
        EXPECT_EQ(iw, w) << c.name;
        EXPECT_EQ(ih, h) << c.name;
        EXPECT_EQ(out, c.grey ? Grey(px) : px) << c.name;
        int sw = 0, sh = 0;
        EXPECT_TRUE(CTiffCodec().GetImageSize(path, sw, sh)) << c.name;
        EXPECT_EQ(sw * 1000 + sh, w * 1000 + h) << c.name;
    }
}

TEST(TiffRead, UnsupportedOrDamagedFilesFailCleanly)
{
    const int w = 12, h = 9;
    std::vector<uint32_t> px = SyntheticPhoto(w, h);
    struct Case {
        const char* name;
        TiffLayout layout;
    } cases[] = {
        {"LZW", {.compression = 5}},
        {"16 bits", {.bits = 16}},
        {"palette", {.samples = 1, .photometric = 3}},
        {"grey with alpha", {.samples = 2, .photometric = 1}},
        {"rotated", {.orientation = 3}},
        {"planar value 3", {.planar = 3}},
        {"strips missing", {.rowsPerStrip = 2, .dropStrips = 2}},
    };
    for (const Case& c : cases) {
        std::string path = TempPath("bad.tif");
        WriteBytes(path, MakeTiff(c.layout, px, w, h));
        std::vector<uint32_t> out;
        int iw = -7, ih = -7;
        EXPECT_EQ(ReadTiff(path, out, 4, 3, iw, ih), -1) << c.name;
        EXPECT_EQ(out, std::vector<uint32_t>(12, 0x787878)) << c.name;
        EXPECT_EQ(iw, -7) << c.name;
        int sw = 0, sh = 0;
        EXPECT_FALSE(CTiffCodec().GetImageSize(path, sw, sh)) << c.name;
    }

    std::vector<uint8_t> good = MakeTiff({}, px, w, h);
    uint32_t dir = Le32(good, 4);
    size_t nextPos = dir + 2 + 12 * Le16(good, dir);
    struct Damage {
        const char* name;
        std::vector<uint8_t> bytes;
        int expected;
    };
    std::vector<Damage> damaged;
    auto withNext = [&](uint32_t next) {
        std::vector<uint8_t> f = good;
        TiffBuilder(false).U32(f, nextPos, next);
        return f;
    };
    damaged.push_back({"directory points to itself", withNext(dir), -1});
    damaged.push_back({"next directory beyond the file", withNext(static_cast<uint32_t>(good.size() + 10)), -1});
    std::vector<uint8_t> bad42 = good;
    bad42[2] = 43;
    damaged.push_back({"BigTIFF magic", bad42, -1});
    damaged.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 6), -1});
    damaged.push_back({"empty", {}, -1});
    // The declared picture is larger than the whole file.
    std::vector<uint8_t> huge = good;
    TiffBuilder(false).U32(huge, dir + 2 + 8, 60000);
    damaged.push_back({"picture larger than the file", huge, -1});
    // The strip starts in the file but runs past its end: a short read.
    std::vector<uint8_t> shortRead = good;
    shortRead.insert(shortRead.end(), 400, 0);
    TiffBuilder(false).U32(shortRead, dir + 2 + 12 * 5 + 8, static_cast<uint32_t>(shortRead.size() - 100));
    damaged.push_back({"strip cut short", shortRead, 0});
    for (const Damage& d : damaged) {
        std::string path = TempPath("damaged.tif");
        WriteBytes(path, d.bytes);
        std::vector<uint32_t> out;
        int iw = 0, ih = 0;
        EXPECT_EQ(ReadTiff(path, out, w, h, iw, ih), d.expected) << d.name;
        EXPECT_EQ(out.size(), static_cast<size_t>(w * h)) << d.name;
    }
    std::vector<uint32_t> out;
    int iw = 0, ih = 0;
    EXPECT_EQ(ReadTiff(TempPath("does-not-exist.tif"), out, 4, 4, iw, ih), 0);
    EXPECT_EQ(ReadTiff(TempPath("bad.tif"), out, 0, 4, iw, ih), -1);
    EXPECT_EQ(ReadTiff("", out, 4, 4, iw, ih), -1);
    // A canvas too large to hold is refused before anything is allocated.
    EXPECT_EQ(ReadTiff(TempPath("bad.tif"), out, 100000, 100000, iw, ih), -5);
}

// Small requests of big strip files read only every f-th row and pixel, then fit the result.
TEST(TiffRead, PreviewsAreSubsampledAndFitted)
{
    const int w = 320, h = 240;
    std::vector<uint32_t> px = SyntheticPhoto(w, h, 5);
    std::string path = TempPath("preview.tif");
    WriteBytes(path, MakeTiff({.rowsPerStrip = 16}, px, w, h));

    std::vector<uint32_t> out;
    int iw = 0, ih = 0;
    ASSERT_EQ(ReadTiff(path, out, 20, 15, iw, ih), 1);
    EXPECT_EQ(iw, w);
    EXPECT_EQ(ih, h);
    for (int i = 0; i < 15; ++i)
        for (int j = 0; j < 20; ++j)
            ASSERT_EQ(out[i * 20 + j], px[(16 * i) * w + 16 * j]) << j << "," << i;

    // 30 x 10 allows only every 8th pixel (320/16 < 30); the 40 x 30 preview is then fitted
    // into a 90 x 30 frame centred at 25.
    ASSERT_EQ(ReadTiff(path, out, 30, 10, iw, ih), 1);
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 30; ++j) {
            int sx = 3 * j - 25;
            int sy = 3 * i;
            uint32_t expected = (sx >= 0 && sx < 40) ? px[(8 * sy) * w + 8 * sx] : 0xF0F0F0u;
            ASSERT_EQ(out[i * 30 + j], expected) << j << "," << i;
        }
    }

    // A larger request shows the picture 1:1 in the middle of the canvas.
    std::vector<uint32_t> small = SyntheticPhoto(10, 6);
    WriteBytes(path, MakeTiff({}, small, 10, 6));
    ASSERT_EQ(ReadTiff(path, out, 14, 10, iw, ih), 1);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 14; ++x) {
            bool inside = x >= 2 && x < 12 && y >= 2 && y < 8;
            ASSERT_EQ(out[y * 14 + x], inside ? small[(y - 2) * 10 + x - 2] : 0xF0F0F0u);
        }
}

TEST(TiffWrite, RoundTripsAtEveryStripBoundary)
{
    CTiffCodec codec;
    for (int w : {1, 5, 64}) {
        for (int h : {1, 15, 16, 17, 20, 33}) {
            std::vector<uint32_t> px = SyntheticPhoto(w, h, static_cast<uint32_t>(w * 100 + h));
            px[0] = 0x00FFFF00;  // zero red, full green and blue
            std::string path = TempPath("roundtrip.tif");
            ASSERT_EQ(WriteTiff(codec, path, px, w, h, 150, h == 33), 1) << w << "x" << h;
            std::vector<uint32_t> out;
            int iw = 0, ih = 0;
            ASSERT_EQ(ReadTiff(path, out, w, h, iw, ih, &codec), 1) << w << "x" << h;
            EXPECT_EQ(out, px) << w << "x" << h;
            EXPECT_EQ(ReadBytes(path).size(), CTiffCodec::PixelDataOffset(h) + 3u * w * h);
        }
    }
}

TEST(TiffWrite, DirectoryIsSortedWithRealResolutionAndStripTables)
{
    CTiffCodec codec;
    const int w = 7;
    std::string path = TempPath("layout-out.tif");
    ASSERT_EQ(WriteTiff(codec, path, SyntheticPhoto(w, 20), w, 20, 240), 1);
    std::vector<uint8_t> f = ReadBytes(path);
    std::vector<uint32_t> order;
    auto d = Directory(f, &order);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(std::adjacent_find(order.begin(), order.end()), order.end());
    EXPECT_EQ(d.count(0), 0u);
    ASSERT_EQ(d.count(282), 1u);
    EXPECT_EQ(d[282][0], 5u);  // RATIONAL
    EXPECT_EQ(Le32(f, d[282][2]), 240u);
    EXPECT_EQ(Le32(f, d[282][2] + 4), 1u);
    EXPECT_EQ(Le32(f, d[283][2]), 240u);
    EXPECT_EQ(d[296][2], 2u);  // inches
    EXPECT_EQ(d[278][2], 16u);
    // Two strips: 16 rows and 4 rows.
    EXPECT_EQ(d[273][1], 2u);
    uint32_t offsets = d[273][2];
    uint32_t counts = d[279][2];
    EXPECT_EQ(Le32(f, counts), 48u * w);
    EXPECT_EQ(Le32(f, counts + 4), 12u * w);
    EXPECT_EQ(Le32(f, offsets + 4) - Le32(f, offsets), 48u * w);

    // One strip: the entries hold the strip's offset and byte count themselves.
    ASSERT_EQ(WriteTiff(codec, path, SyntheticPhoto(w, 15), w, 15, 72), 1);
    f = ReadBytes(path);
    d = Directory(f);
    EXPECT_EQ(d[273][1], 1u);
    EXPECT_EQ(d[273][2], CTiffCodec::PixelDataOffset(15));
    EXPECT_EQ(d[279][2], 45u * w);
}

// libtiff's own inspector accepts our files without a warning.
TEST(TiffWrite, TiffinfoReadsOurFilesWithoutWarnings)
{
    if (std::system("command -v tiffinfo > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "tiffinfo (libtiff-tools) not installed";
    CTiffCodec codec;
    for (int h : {15, 37}) {
        std::string path = TempPath("tiffinfo.tif");
        ASSERT_EQ(WriteTiff(codec, path, SyntheticPhoto(33, h), 33, h, 300), 1);
        std::string errPath = TempPath("tiffinfo.err");
        std::string cmd = "tiffinfo -D '" + path + "' > /dev/null 2> '" + errPath + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        std::vector<uint8_t> err = ReadBytes(errPath);
        EXPECT_EQ(std::string(err.begin(), err.end()), "") << "height " << h;
    }
}

TEST(TiffWrite, FailedOrIncompleteSavesKeepThePreviousFile)
{
    CTiffCodec codec;
    std::string path = TempPath("keep.tif");
    WriteBytes(path, {4, 2});
    std::vector<uint32_t> strip(10 * 16, 0x123456);
    ASSERT_EQ(codec.BeginWrite(path, 10, 40, 72), 1);
    ASSERT_EQ(codec.WriteStrip(strip.data(), strip.size(), 0), 1);
    EXPECT_EQ(codec.WriteStrip(strip.data(), strip.size(), 3), -1);
    EXPECT_EQ(codec.EndWrite(-1), 1);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{4, 2}));

    ASSERT_EQ(codec.BeginWrite(path, 10, 40, 72), 1);
    ASSERT_EQ(codec.WriteStrip(strip.data(), strip.size(), 2), 1);
    ASSERT_EQ(codec.WriteStrip(strip.data(), strip.size(), 0), 1);
    EXPECT_EQ(codec.EndWrite(0), -1);  // strip 1 never came
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{4, 2}));

    EXPECT_EQ(codec.BeginWrite("", 10, 10, 72), -1);
    EXPECT_EQ(codec.BeginWrite(TempPath("no-such-dir/x.tif"), 10, 10, 72), -1);
    EXPECT_EQ(codec.BeginWrite(path, 0, 10, 72), -1);

    // Offsets in the file are 32 bits: a picture past 4 GB is refused with the "too big" text.
    platform::FakeMessageBox box;
    platform::SetMessageBox(&box);
    EXPECT_EQ(codec.BeginWrite(path, 40000, 40000, 72), -1);
    platform::SetMessageBox(nullptr);
    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(box.Shown()[0], Catalogue().tooBigToCreate);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{4, 2}));
}

// The reference pictures of libtiff's test set and tiffcp's re-layouts of them: uncompressed
// 8-bit RGB and grey files read exactly; the other layouts are refused.
TEST(TiffConformance, LibtiffTestImages)
{
    if (!HaveTestData("libtiff-test-images/rgb-3c-8b.ppm"))
        GTEST_SKIP() << "test data absent";
    std::vector<uint32_t> rgb, grey;
    int w = 0, h = 0, gw = 0, gh = 0;
    ASSERT_TRUE(ReadPnm(TestData("libtiff-test-images/rgb-3c-8b.ppm"), rgb, w, h));
    ASSERT_TRUE(ReadPnm(TestData("libtiff-test-images/minisblack-1c-8b.pgm"), grey, gw, gh));
    struct Case {
        const char* file;
        const std::vector<uint32_t>* expected;  // nullptr: refused
    } cases[] = {
        {"libtiff-test-images/rgb-3c-8b.tiff", &rgb},
        {"libtiff-test-images/minisblack-1c-8b.tiff", &grey},
        {"libtiff-tiffcp-variants/rgb8-bigendian.tiff", &rgb},
        {"libtiff-tiffcp-variants/rgb8-littleendian.tiff", &rgb},
        {"libtiff-tiffcp-variants/rgb8-planar-separate.tiff", &rgb},
        {"libtiff-tiffcp-variants/rgb8-rowsperstrip1.tiff", &rgb},
        {"libtiff-tiffcp-variants/rgb8-rowsperstrip7.tiff", &rgb},
        {"libtiff-test-images/logluv-3c-16b.tiff", nullptr},
        {"libtiff-test-images/minisblack-1c-16b.tiff", nullptr},
        {"libtiff-test-images/minisblack-2c-8b-alpha.tiff", nullptr},
        {"libtiff-test-images/miniswhite-1c-1b.tiff", nullptr},
        {"libtiff-test-images/palette-1c-1b.tiff", nullptr},
        {"libtiff-test-images/palette-1c-4b.tiff", nullptr},
        {"libtiff-test-images/palette-1c-8b.tiff", nullptr},
        {"libtiff-test-images/quad-lzw-compat.tiff", nullptr},
        {"libtiff-test-images/quad-tile.jpg.tiff", nullptr},
        {"libtiff-test-images/rgb-3c-16b.tiff", nullptr},
        {"libtiff-tiffcp-variants/rgb16-bigendian.tiff", nullptr},
        {"libtiff-tiffcp-variants/rgb8-bigtiff.tiff", nullptr},
        {"libtiff-tiffcp-variants/rgb8-deflate.tiff", nullptr},
        {"libtiff-tiffcp-variants/rgb8-lzw.tiff", nullptr},
        {"libtiff-tiffcp-variants/rgb8-packbits.tiff", nullptr},
        {"libtiff-tiffcp-variants/rgb8-tiled32.tiff", nullptr},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> out;
        int iw = 0, ih = 0;
        int r = ReadTiff(TestData(c.file), out, w, h, iw, ih);
        if (c.expected != nullptr) {
            EXPECT_EQ(r, 1) << c.file;
            EXPECT_EQ(iw * 1000 + ih, w * 1000 + h) << c.file;
            EXPECT_TRUE(out == *c.expected) << c.file;
        } else {
            EXPECT_EQ(r, -1) << c.file;
            EXPECT_EQ(out, std::vector<uint32_t>(static_cast<size_t>(w) * h, 0x787878)) << c.file;
        }
    }
}

// JPEG writer: file structure, transform accuracy, decodability and quality of the output
// with an independent decoder, edge padding, comments and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "common/message_catalogue.h"
#include "imagefile/image_file.h"
#include "imagefile/jpeg_encoder.h"
#include "platform/message_box.h"
#include "test_writers_support.h"

using namespace writers_test;

namespace {

int EncodeJpeg(CJpegEncoder& enc, const std::string& path, const std::vector<uint32_t>& px,
               int w, int h, int quality, int dpi = 96)
{
    int r = enc.BeginWrite(path, w, h, dpi, quality);
    if (r != 1)
        return r;
    return PutStripsAndEnd(enc, px, w, h);
}

// Marker segments of a JPEG file up to SOS: (marker, payload without the length field).
std::vector<std::pair<int, std::vector<uint8_t>>> Segments(const std::vector<uint8_t>& f)
{
    std::vector<std::pair<int, std::vector<uint8_t>>> out;
    size_t i = 2;
    while (i + 4 <= f.size() && f[i] == 0xFF) {
        int marker = f[i + 1];
        size_t len = (f[i + 2] << 8) | f[i + 3];
        out.emplace_back(marker, std::vector<uint8_t>(f.begin() + i + 4, f.begin() + i + 2 + len));
        i += 2 + len;
        if (marker == 0xDA)
            break;
    }
    return out;
}

class JpegEncode : public ::testing::Test {
protected:
    void SetUp() override { platform::SetMessageBox(&m_box); }
    platform::FakeMessageBox m_box;
    CJpegEncoder m_enc;
};

}  // namespace

TEST_F(JpegEncode, HeadersCarryDensitySizeTablesAndComment)
{
    std::string path = TempPath("headers.jpg");
    ASSERT_TRUE(m_enc.SetComment("made by the test"));
    std::vector<uint32_t> px = SyntheticPhoto(40, 20);
    ASSERT_EQ(EncodeJpeg(m_enc, path, px, 40, 20, 3, 300), 1);
    std::vector<uint8_t> f = ReadBytes(path);
    ASSERT_GT(f.size(), 200u);
    EXPECT_EQ(f[0], 0xFF);
    EXPECT_EQ(f[1], 0xD8);
    EXPECT_EQ(f[f.size() - 2], 0xFF);
    EXPECT_EQ(f[f.size() - 1], 0xD9);

    auto seg = Segments(f);
    std::vector<int> markers;
    for (auto& s : seg)
        markers.push_back(s.first);
    EXPECT_EQ(markers, (std::vector<int>{0xE0, 0xFE, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA}));
    const auto& app0 = seg[0].second;
    EXPECT_EQ(std::string(app0.begin(), app0.begin() + 5), std::string("JFIF\0", 5));
    EXPECT_EQ(app0[7], 1);                          // dots per inch
    EXPECT_EQ((app0[8] << 8) | app0[9], 300);       // X density
    EXPECT_EQ((app0[10] << 8) | app0[11], 300);     // Y density
    EXPECT_EQ(std::string(seg[1].second.begin(), seg[1].second.end() - 1), "made by the test");
    EXPECT_EQ(seg[1].second.back(), 0);
    const auto& sof = seg[4].second;
    EXPECT_EQ((sof[1] << 8) | sof[2], 20);
    EXPECT_EQ((sof[3] << 8) | sof[4], 40);
    EXPECT_EQ(sof[7], 0x22);  // luminance sampled 2x2, chrominance 1x1

    // The comment belongs to one file only.
    ASSERT_EQ(EncodeJpeg(m_enc, path, px, 40, 20, 3), 1);
    for (auto& s : Segments(ReadBytes(path)))
        EXPECT_NE(s.first, 0xFE);
}

TEST_F(JpegEncode, QuantisationFollowsTheQualityNumber)
{
    struct Case {
        int quality, lum0, lumLast, chrom0;
    } cases[] = {{10, 1, 99 / 18 + 1, 17 / 18 + 1}, {3, 16 / 5 + 1, 99 / 5 + 1, 17 / 5 + 1},
                 {1, 17, 100, 18}, {2, 16 / 3 + 1, 99 / 3 + 1, 17 / 3 + 1}};
    for (const Case& c : cases) {
        ASSERT_EQ(m_enc.BeginWrite(TempPath("q.jpg"), 8, 8, 72, c.quality), 1);
        EXPECT_EQ(m_enc.LuminanceTable()[0], c.lum0) << c.quality;
        EXPECT_EQ(m_enc.LuminanceTable()[63], c.lumLast) << c.quality;
        EXPECT_EQ(m_enc.ChrominanceTable()[0], c.chrom0) << c.quality;
        m_enc.EndWrite(-1);
    }
}

TEST(JpegEncodeDct, MatchesTheDefiningSum)
{
    uint32_t state = 7;
    for (int trial = 0; trial < 20; ++trial) {
        double block[64];
        double ref[64];
        for (double& v : block) {
            state = state * 1664525u + 1013904223u;
            v = static_cast<double>(state >> 24) - 128.0;
        }
        for (int u = 0; u < 8; ++u) {
            for (int v = 0; v < 8; ++v) {
                double sum = 0;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        sum += block[y * 8 + x] * std::cos((2 * x + 1) * v * M_PI / 16) *
                               std::cos((2 * y + 1) * u * M_PI / 16);
                double au = u == 0 ? 1 / std::sqrt(2.0) : 1.0;
                double av = v == 0 ? 1 / std::sqrt(2.0) : 1.0;
                ref[u * 8 + v] = 0.25 * au * av * sum;
            }
        }
        CJpegEncoder::ForwardDct(block);
        for (int i = 0; i < 64; ++i)
            EXPECT_NEAR(block[i], ref[i], 1e-6) << "coefficient " << i;
    }
}

// Every quality the program offers decodes cleanly with an independent decoder, and its PSNR
// against the source stays above a floor for that quality.
TEST_F(JpegEncode, OutputDecodesWithLibjpegAboveQualityFloors)
{
    struct Case {
        int quality;
        double syntheticFloor;
        double photoFloor;
    } cases[] = {{10, 28.5, 42.0}, {3, 27.3, 38.7}, {1, 24.7, 29.5}};

    std::vector<std::pair<std::string, std::vector<uint32_t>>> sources;
    std::vector<std::pair<int, int>> sizes;
    sources.emplace_back("synthetic", SyntheticPhoto(203, 141));
    sizes.emplace_back(203, 141);
    std::vector<uint32_t> photo;
    int pw = 0, ph = 0;
    if (ReadPnm(TestData("libjpeg-turbo-testimages/testorig.ppm"), photo, pw, ph)) {
        sources.emplace_back("photo", photo);
        sizes.emplace_back(pw, ph);
    }
    for (const Case& c : cases) {
        for (size_t s = 0; s < sources.size(); ++s) {
            auto [w, h] = sizes[s];
            std::string path = TempPath("psnr.jpg");
            ASSERT_EQ(EncodeJpeg(m_enc, path, sources[s].second, w, h, c.quality), 1);
            std::vector<uint32_t> out;
            int dw = 0, dh = 0, warnings = -1;
            ASSERT_TRUE(DecodeWithLibjpeg(path.c_str(), &out, &dw, &dh, &warnings));
            ASSERT_EQ(dw, w);
            ASSERT_EQ(dh, h);
            EXPECT_EQ(warnings, 0);
            double psnr = Psnr(out, sources[s].second);
            double floor = s == 0 ? c.syntheticFloor : c.photoFloor;
            EXPECT_GT(psnr, floor) << sources[s].first << " quality " << c.quality;
            RecordProperty(sources[s].first + "_q" + std::to_string(c.quality),
                           std::to_string(psnr));

            // The program's own reader of the file agrees with the independent decoder.
            CPixelArray ours;
            CSize size(w, h);
            ASSERT_GT(LoadImageFile(path, ours, size, CRect()), 0);
            double agreement = Psnr(ToVector(ours), out);
            EXPECT_GT(agreement, 40.0) << sources[s].first << " quality " << c.quality;
            RecordProperty(sources[s].first + "_q" + std::to_string(c.quality) + "_decoders",
                           std::to_string(agreement));
        }
    }
}

// Sizes that are not multiples of 16 are padded from the nearest earlier sample, so the
// picture's own edge pixels decode close to their colours; nothing of the rows below the
// picture (poisoned in the strip arrays) leaks in.
TEST_F(JpegEncode, OddSizesDecodeWithTheirEdgeColours)
{
    struct Case {
        int w, h;
    } cases[] = {{1, 1}, {17, 20}, {31, 1}, {1, 33}, {16, 16}, {33, 47}};
    for (const Case& c : cases) {
        // Flat colour regions: left half reddish, right half bluish; edges are then exact
        // enough to check per pixel.
        std::vector<uint32_t> px(static_cast<size_t>(c.w) * c.h);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                px[static_cast<size_t>(y) * c.w + x] = x < (c.w + 1) / 2 ? 0x204080C0u : 0x00C06030u;
        std::string path = TempPath("odd.jpg");
        ASSERT_EQ(EncodeJpeg(m_enc, path, px, c.w, c.h, 10), 1) << c.w << "x" << c.h;
        std::vector<uint32_t> out;
        int dw = 0, dh = 0, warnings = -1;
        ASSERT_TRUE(DecodeWithLibjpeg(path.c_str(), &out, &dw, &dh, &warnings));
        ASSERT_EQ(dw, c.w);
        ASSERT_EQ(dh, c.h);
        EXPECT_EQ(warnings, 0);
        for (uint32_t& p : px)
            p &= 0xFFFFFF;
        // Chroma is shared by 2x2 pixels, so the seam between the halves may blend; the
        // corners may not.
        EXPECT_LE(MaxChannelDiff({out.front()}, {px.front()}), 6) << c.w << "x" << c.h;
        EXPECT_LE(MaxChannelDiff({out.back()}, {px.back()}), 6) << c.w << "x" << c.h;
    }
}

TEST_F(JpegEncode, EntropyDataStuffsEveryFFByte)
{
    std::string path = TempPath("stuff.jpg");
    // Saturated noise gives many 0xFF bytes in the coded data.
    std::vector<uint32_t> px(64 * 64);
    uint32_t s = 3;
    for (uint32_t& p : px) {
        s = s * 1664525u + 1013904223u;
        p = s >> 8;
    }
    ASSERT_EQ(EncodeJpeg(m_enc, path, px, 64, 64, 10), 1);
    std::vector<uint8_t> f = ReadBytes(path);
    size_t sos = 0;
    for (size_t i = 0; i + 1 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == 0xDA) {
            sos = i;
            break;
        }
    ASSERT_GT(sos, 0u);
    size_t start = sos + 2 + ((f[sos + 2] << 8) | f[sos + 3]);
    int ffCount = 0;
    for (size_t i = start; i + 2 < f.size(); ++i) {
        if (f[i] == 0xFF) {
            ++ffCount;
            EXPECT_EQ(f[i + 1], 0x00) << "at " << i;
        }
    }
    EXPECT_GT(ffCount, 0);
}

TEST_F(JpegEncode, CommentsOf90BytesAreRefusedAndTheEarlierOneKept)
{
    EXPECT_TRUE(m_enc.SetComment("first"));
    EXPECT_FALSE(m_enc.SetComment(std::string(90, 'x')));
    std::string c89(89, 'y');
    std::string path = TempPath("comment.jpg");
    std::vector<uint32_t> px = SyntheticPhoto(8, 8);
    ASSERT_EQ(EncodeJpeg(m_enc, path, px, 8, 8, 3), 1);
    auto seg = Segments(ReadBytes(path));
    ASSERT_EQ(seg[1].first, 0xFE);
    EXPECT_EQ(std::string(seg[1].second.begin(), seg[1].second.end() - 1), "first");

    EXPECT_TRUE(m_enc.SetComment(c89));
    ASSERT_EQ(EncodeJpeg(m_enc, path, px, 8, 8, 3), 1);
    std::vector<uint8_t> f = ReadBytes(path);
    seg = Segments(f);
    ASSERT_EQ(seg[1].first, 0xFE);
    EXPECT_EQ(seg[1].second.size(), 90u);  // length field 92 = 2 + 89 + 1
}

TEST_F(JpegEncode, RefusesBadRequestsBeforeTouchingTheFile)
{
    std::string path = TempPath("refused.jpg");
    WriteBytes(path, {1, 2, 3});
    struct Case {
        int w, h, quality;
        bool tooBigText;
    } cases[] = {{65536, 10, 3, true}, {10, 65536, 3, true}, {10, 10, 0, false},
                 {0, 10, 3, false},    {10, -1, 3, false}};
    for (const Case& c : cases) {
        m_box.Clear();
        EXPECT_EQ(m_enc.BeginWrite(path, c.w, c.h, 96, c.quality), -1);
        EXPECT_EQ(m_enc.WriteStrip(std::vector<uint32_t>(16 * 16).data(), 256, 0), -1);
        EXPECT_EQ(m_box.Shown().size(), c.tooBigText ? 1u : 0u);
        if (c.tooBigText && !m_box.Shown().empty()) {
            EXPECT_EQ(m_box.Shown()[0], Catalogue().tooBigToCreate);
        }
    }
    EXPECT_EQ(m_enc.BeginWrite("", 10, 10, 96, 3), -1);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
}

// A cancelled save (negative status) or one that stops before the last strip leaves the
// previous file as it was and reports the incomplete one.
TEST_F(JpegEncode, CancelledOrIncompleteSaveKeepsThePreviousFile)
{
    std::string path = TempPath("cancel.jpg");
    WriteBytes(path, {9, 9, 9});
    std::vector<uint32_t> strip(32 * 16, 0x808080);
    ASSERT_EQ(m_enc.BeginWrite(path, 32, 40, 96, 3), 1);
    ASSERT_EQ(m_enc.WriteStrip(strip.data(), strip.size(), 0), 1);
    EXPECT_EQ(m_enc.WriteStrip(strip.data(), strip.size(), 2), -1);  // out of order
    EXPECT_EQ(m_enc.EndWrite(-1), 1);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{9, 9, 9}));

    ASSERT_EQ(m_enc.BeginWrite(path, 32, 40, 96, 3), 1);
    ASSERT_EQ(m_enc.WriteStrip(strip.data(), strip.size(), 0), 1);
    EXPECT_EQ(m_enc.EndWrite(1), -1);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{9, 9, 9}));
    for (const auto& e : std::filesystem::directory_iterator(SMRA_TEST_TMPDIR))
        EXPECT_NE(e.path().filename().string().rfind("cancel.jpg.", 0), 0u) << "left behind: " << e.path();
}


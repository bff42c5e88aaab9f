// JPEG writer, shared work: the file is the same byte for byte whether the transform runs on
// the calling thread or on helpers, in the wide or the baseline instruction set, and it is the
// file this writer has always produced for the same picture. Stopping or restarting a write
// while helpers run leaves no thread, no file and no stale state behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imagefile/jpeg_encoder.h"
#include "test_writers_support.h"

using namespace writers_test;

namespace {

// Photo-like picture from integer arithmetic only, so that it is the same on every machine:
// gradients, fine texture, hard-edged patches and a little noise.
std::vector<uint32_t> Scene(int w, int h, uint32_t seed)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    uint32_t state = seed * 2654435761u + 12345u;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>((state >> 24) & 15) - 8;
            int r = 30 + 190 * x / w + ((x * 7 + y * 3) % 23) + noise;
            int g = 50 + 150 * y / h + ((x / 5 + y / 3) % 2) * 12 + noise;
            int b = 210 - 160 * (x + y) / (w + h) + noise;
            if ((x / 19 + y / 13) % 4 == 0) {
                r = 250 - r / 5;
                g = 25;
            }
            auto clamp8 = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            px[static_cast<size_t>(y) * w + x] = clamp8(r) | (clamp8(g) << 8) | (clamp8(b) << 16);
        }
    }
    return px;
}

// Every bit random, the unused top byte included: the largest coefficients, every size class.
std::vector<uint32_t> Noise(int w, int h, uint32_t seed)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (uint32_t& p : px) {
        seed = seed * 1664525u + 1013904223u;
        p = seed;
    }
    return px;
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 1469598103934665603ull;
    for (uint8_t c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

struct Shape {
    int w, h, quality;
    bool noise;
    size_t size;      // bytes of the file
    uint64_t digest;  // FNV-1a of the file
};

// Files written by the single-thread scalar writer before the transform was shared out; any
// change to these bytes is a change of output. Sizes cover partial MCUs on the right, at the
// bottom and both, a lone MCU, a strip of one MCU column, a last group of one to three MCUs,
// and every quantisation from the finest (all ones, where the coefficient bounds apply) to
// the coarsest.
const Shape kShapes[] = {
    {333, 250, 10, false, 44947, 0x133118f0445710adull},
    {1030, 70, 3, false, 19457, 0xd4d5dd0b227f9785ull},
    {45, 37, 100000, true, 4545, 0xfe7bc04325da71adull},
    {1, 1, 1, false, 632, 0x70aff5c612b10416ull},
    {640, 480, 10, false, 158552, 0xd4bf384c95edad82ull},
    {17, 300, 10, true, 9025, 0x55181e9e95f3e77eull},
    {700, 33, 100000, true, 54830, 0xb62b0b7c952c3853ull},
    {161, 95, 1, false, 2026, 0x6fb0aa74ba59afb7ull},
};

std::vector<uint8_t> Encode(CJpegEncoder& enc, const Shape& s, const std::string& path)
{
    const std::vector<uint32_t> px = s.noise ? Noise(s.w, s.h, 7) : Scene(s.w, s.h, 3);
    if (enc.BeginWrite(path, s.w, s.h, 96, s.quality) != 1)
        return {};
    // The strip array is reused and poisoned below the picture between calls, so a helper
    // still reading it after WriteStrip returned would change the output.
    if (PutStripsAndEnd(enc, px, s.w, s.h) != 1)
        return {};
    return ReadBytes(path);
}

}  // namespace

TEST(JpegEncodeShared, EveryWayOfSharingTheWorkWritesTheSameBytesAsBefore)
{
    const std::string path = TempPath("shared.jpg");
    struct Way {
        int workers;
        bool baseline;
    } ways[] = {{0, false}, {0, true}, {1, false}, {1, true}, {2, false}, {3, true}, {3, false}};
    for (const Shape& s : kShapes) {
        for (const Way& way : ways) {
            CJpegEncoder enc;
            enc.SetWorkers(way.workers);
            enc.UseBaselineTransform(way.baseline);
            const std::vector<uint8_t> f = Encode(enc, s, path);
            EXPECT_EQ(f.size(), s.size) << s.w << "x" << s.h << " q" << s.quality << ", " << way.workers
                                        << " helpers" << (way.baseline ? ", baseline" : "");
            EXPECT_EQ(Fnv1a(f), s.digest) << s.w << "x" << s.h << " q" << s.quality << ", " << way.workers
                                          << " helpers" << (way.baseline ? ", baseline" : "");
        }
    }
}

// A write cancelled, abandoned for a new one, or dropped with the writer, while helpers run:
// the previous file stays, nothing is left behind, and the next write on the same writer is
// complete and right.
TEST(JpegEncodeShared, StoppingAWriteWithHelpersLeavesNothingBehind)
{
    const Shape& s = kShapes[4];  // 640 x 480
    const std::vector<uint32_t> px = Scene(s.w, s.h, 3);
    std::vector<uint32_t> strip(static_cast<size_t>(s.w) * 16);
    const std::string path = TempPath("stopped.jpg");
    const std::string other = TempPath("other.jpg");
    auto firstStrips = [&](CJpegEncoder& enc, const std::string& target, int count) {
        ASSERT_EQ(enc.BeginWrite(target, s.w, s.h, 96, s.quality), 1);
        for (int n = 0; n < count; ++n) {
            std::copy_n(px.begin() + static_cast<ptrdiff_t>(16) * n * s.w, strip.size(), strip.begin());
            ASSERT_EQ(enc.WriteStrip(strip.data(), strip.size(), n), 1);
        }
    };
    WriteBytes(path, {7, 7, 7});

    CJpegEncoder enc;
    enc.SetWorkers(3);
    firstStrips(enc, path, 3);
    EXPECT_EQ(enc.EndWrite(-1), 1);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{7, 7, 7}));

    firstStrips(enc, other, 2);
    EXPECT_EQ(Fnv1a(Encode(enc, s, path)), s.digest);  // BeginWrite drops the open write

    {
        CJpegEncoder dropped;
        dropped.SetWorkers(2);
        firstStrips(dropped, other, 5);
    }
    for (const auto& e : std::filesystem::directory_iterator(SMRA_TEST_TMPDIR)) {
        const std::string name = e.path().filename().string();
        EXPECT_NE(name.rfind("stopped.jpg.", 0), 0u) << "left behind: " << name;
        EXPECT_NE(name.rfind("other.jpg", 0), 0u) << "left behind: " << name;
    }
}

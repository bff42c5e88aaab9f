// The BMP reader on files built here (every depth, row order, requested sizes and regions,
// damaged headers and data) and the strip-wise 24-bit writer.
#include "imagefile/bmp_codec.h"

#include "common/message_catalogue.h"
#include "platform/message_box.h"

#include "test_bmp_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace {

using namespace bmptest;
namespace fs = std::filesystem;

bool AllEqual(const CPixelArray& p, COLORREF c)
{
    return std::all_of(p.GetData(), p.GetData() + p.GetSize(), [c](COLORREF v) { return v == c; });
}

int ReadBytes(const std::vector<uint8_t>& file, CPixelArray& pixels, CSize size, const CRect& rect = CRect())
{
    return ReadBmpBytes(file.data(), file.size(), pixels, size, rect);
}

// An indexed picture: pixel (x, y) shows palette entry (x + 2y) % count.
std::vector<COLORREF> TestPalette(int count)
{
    std::vector<COLORREF> pal;
    for (int i = 0; i < count; ++i)
        pal.push_back(RGB(i * 37, 255 - i, i * 11 + 5));
    return pal;
}

std::vector<uint8_t> IndexedRows(int w, int h, int bits, int count, bool topDown)
{
    const size_t stride = (size_t(w) * bits + 31) / 32 * 4;
    std::vector<uint8_t> d(stride * size_t(h), 0);
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        for (int x = 0; x < w; ++x) {
            const int idx = (x + 2 * y) % count;
            uint8_t* row = &d[size_t(r) * stride];
            if (bits == 8)
                row[x] = uint8_t(idx);
            else if (bits == 4)
                row[x / 2] |= uint8_t(idx << ((x & 1) ? 0 : 4));
            else
                row[x / 8] |= uint8_t(idx << (7 - (x & 7)));
        }
    }
    return d;
}

TEST(BmpReader, IndexedDepthsShowTheirPalette)
{
    const int w = 13, h = 5; // rows need padding at every depth
    for (const int bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        const int count = 1 << std::min(bits, 5);
        const std::vector<COLORREF> pal = TestPalette(count);
        for (const bool topDown : {false, true}) {
            std::vector<uint8_t> file = MakeBmp(w, h, bits, 0, pal, IndexedRows(w, h, bits, count, topDown));
            if (topDown)
                Put32(file, 22, uint32_t(-h));
            CPixelArray pixels;
            ASSERT_EQ(ReadBytes(file, pixels, CSize(w, h)), 1);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(pixels[y * w + x], pal[size_t((x + 2 * y) % count)]) << x << "," << y;
        }
    }
}

TEST(BmpReader, TwentyFourAndThirtyTwoBitsAndBitFields)
{
    const int w = 7, h = 4;
    const CPixelArray img = PatternPixels(w, h);
    auto rows32 = [&](int shiftR, int shiftG, int shiftB) {
        std::vector<uint8_t> d;
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                const COLORREF c = img[(h - 1 - r) * w + x];
                const uint32_t v = uint32_t(GetRValue(c)) << shiftR | uint32_t(GetGValue(c)) << shiftG |
                                   uint32_t(GetBValue(c)) << shiftB;
                for (int i = 0; i < 4; ++i)
                    d.push_back(uint8_t(v >> (8 * i)));
            }
        return d;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    } cases[] = {
        {"24", MakeBmp(w, h, 24, 0, {}, Rows24(img, w, h))},
        {"32", MakeBmp(w, h, 32, 0, {}, rows32(16, 8, 0))},
        {"32 bit fields, standard", MakeBmp(w, h, 32, 3, {}, rows32(16, 8, 0), {0xFF0000, 0xFF00, 0xFF})},
        {"32 bit fields, high bytes", MakeBmp(w, h, 32, 3, {}, rows32(8, 16, 24), {0xFF00, 0xFF0000, 0xFF000000})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPixelArray pixels;
        ASSERT_EQ(ReadBytes(c.file, pixels, CSize(w, h)), 1);
        EXPECT_EQ(pixels, img);
    }
}

TEST(BmpReader, SixteenBitChannelsAreWidenedToTheFullRange)
{
    // Five-bit 31 is white, not 248; 1 is 8; 16 is 132 (16 * 255 / 31 rounded).
    auto file16 = [](uint32_t compression, std::vector<uint16_t> words, std::vector<uint32_t> masks) {
        std::vector<uint8_t> d;
        for (uint16_t v : words) {
            d.push_back(uint8_t(v));
            d.push_back(uint8_t(v >> 8));
        }
        return MakeBmp(int(words.size()), 1, 16, compression, {}, d, masks);
    };
    CPixelArray p;
    ASSERT_EQ(ReadBytes(file16(0, {0x7FFF, 0x0421, 0x4210, 0x8000}, {}), p, CSize(4, 1)), 1);
    EXPECT_EQ(p[0], 0xFFFFFFu & RGB(255, 255, 255));
    EXPECT_EQ(p[1], RGB(8, 8, 8));
    EXPECT_EQ(p[2], RGB(132, 132, 132));
    EXPECT_EQ(p[3], RGB(0, 0, 0)) << "bit 15 is not a colour";
    p.RemoveAll();
    ASSERT_EQ(ReadBytes(file16(3, {0xFFFF, 0x07E0, 0x0020}, {0xF800, 0x07E0, 0x001F}), p, CSize(3, 1)), 1);
    EXPECT_EQ(p[0], RGB(255, 255, 255));
    EXPECT_EQ(p[1], RGB(0, 255, 0));
    EXPECT_EQ(p[2], RGB(0, 4, 0));
}

TEST(BmpReader, TopDownAndBottomUpFilesAreTheSamePicture)
{
    const std::string dir = ScratchDir("bmp_topdown");
    const int w = 9, h = 6;
    const CPixelArray img = PatternPixels(w, h);
    std::vector<uint8_t> up = MakeBmp(w, h, 24, 0, {}, Rows24(img, w, h, false));
    std::vector<uint8_t> down = MakeBmp(w, h, 24, 0, {}, Rows24(img, w, h, true));
    Put32(down, 22, uint32_t(-h));
    WriteAll(dir + "/up.bmp", up);
    WriteAll(dir + "/down.BMP", down);
    EXPECT_EQ(GetBmpFileRect(dir + "/up.bmp"), CRect(0, 0, w, h));
    EXPECT_EQ(GetBmpFileRect(dir + "/down.BMP"), CRect(0, 0, w, h));
    for (const CSize size : {CSize(w, h), CSize(4, 4), CSize(20, 3)}) {
        CPixelArray a, b;
        CSize sa = size, sb = size;
        ASSERT_EQ(ReadBmpFile(dir + "/up.bmp", a, sa, CRect()), 1);
        ASSERT_EQ(ReadBmpFile(dir + "/down.BMP", b, sb, CRect()), 1);
        EXPECT_EQ(a, b);
        EXPECT_EQ(sa, CSize(w, h));
        EXPECT_EQ(sb, CSize(w, h));
    }
}

TEST(BmpReader, RegionOfAWideImageAtARequestedSize)
{
    // 300 x 100 in a 100 x 100 canvas occupies canvas rows 34-66; canvas rows 40-59 show image
    // rows 3 * Y - 100, every third column.
    const int w = 300, h = 100;
    const CPixelArray img = PatternPixels(w, h);
    const std::vector<uint8_t> file = MakeBmp(w, h, 24, 0, {}, Rows24(img, w, h));
    auto check = [&](const std::vector<uint8_t>& f) {
        CPixelArray pixels;
        CSize size(100, 100);
        ASSERT_EQ(ReadBytes(f, pixels, size, CRect(0, 40, 100, 60)), 1);
        ASSERT_EQ(pixels.GetSize(), 2000);
        for (int d = 0; d < 20; ++d)
            for (int b = 0; b < 100; ++b)
                ASSERT_EQ(pixels[d * 100 + b], img[(3 * (40 + d) - 100) * w + 3 * b]) << b << "," << d;
    };
    check(file);
    // Only the rows that the region needs are read: a file holding nothing but them (bottom-up:
    // stored rows up to 99 - 20) gives the same pixels.
    const size_t stride = 900;
    std::vector<uint8_t> cut(file.begin(), file.begin() + 54 + std::ptrdiff_t(stride) * 80);
    check(cut);

    // The canvas rows outside the image and a rectangle reaching past the canvas.
    CPixelArray pixels;
    CSize size(100, 100);
    ASSERT_EQ(ReadBmpBytes(file.data(), file.size(), pixels, size, CRect(90, 0, 140, 40)), 1);
    ASSERT_EQ(pixels.GetSize(), 10 * 40) << "the rectangle is cut to the canvas";
    for (int d = 0; d < 40; ++d)
        for (int b = 0; b < 10; ++b) {
            const COLORREF want = d < 34 ? kMarginGrey : img[(3 * d - 100) * w + 3 * (90 + b)];
            ASSERT_EQ(pixels[d * 10 + b], want) << b << "," << d;
        }
    EXPECT_EQ(size, CSize(w, h));
}

TEST(BmpReader, EveryDepthFitsAndCutsLikeTheTwentyFourBitPath)
{
    // The same picture as 24 and 8 bits: any requested size and rectangle gives the same pixels.
    const int w = 23, h = 11;
    const std::vector<COLORREF> pal = TestPalette(256);
    CPixelArray img;
    img.SetSize(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img[y * w + x] = pal[size_t((x + 2 * y) % 256)];
    const std::vector<uint8_t> f24 = MakeBmp(w, h, 24, 0, {}, Rows24(img, w, h));
    const std::vector<uint8_t> f8 = MakeBmp(w, h, 8, 0, pal, IndexedRows(w, h, 8, 256, false));
    const CSize sizes[] = {CSize(w, h), CSize(10, 10), CSize(50, 7), CSize(5, 40), CSize(100, 100)};
    const CRect rects[] = {CRect(), CRect(2, 1, 8, 6), CRect(-3, -3, 4, 90)};
    for (const CSize& s : sizes)
        for (const CRect& r : rects) {
            CPixelArray a, b;
            ASSERT_EQ(ReadBytes(f24, a, s, r), 1);
            ASSERT_EQ(ReadBytes(f8, b, s, r), 1);
            EXPECT_EQ(a, b) << s.cx << "x" << s.cy << " rect " << r.left << "," << r.top;
        }
}

TEST(BmpReader, CallContract)
{
    const std::string dir = ScratchDir("bmp_contract");
    const CPixelArray img = PatternPixels(4, 3);
    WriteAll(dir + "/a.bmp", MakeBmp(4, 3, 24, 0, {}, Rows24(img, 4, 3)));

    // Empty path, requested size below 1: -1, nothing touched.
    CPixelArray p;
    CSize size(4, 3);
    EXPECT_EQ(ReadBmpFile("", p, size, CRect()), -1);
    size = CSize(0, 3);
    EXPECT_EQ(ReadBmpFile(dir + "/a.bmp", p, size, CRect()), -1);
    EXPECT_TRUE(p.IsEmpty());
    EXPECT_EQ(size, CSize(0, 3));
    // A target that already holds pixels: 0, left as it was.
    p.SetSize(2);
    p[0] = 42;
    size = CSize(4, 3);
    EXPECT_EQ(ReadBmpFile(dir + "/a.bmp", p, size, CRect()), 0);
    EXPECT_EQ(p.GetSize(), 2);
    EXPECT_EQ(p[0], 42u);
    // A file that cannot be opened: -1, the requested pixels grey.
    p.RemoveAll();
    size = CSize(5, 5);
    EXPECT_EQ(ReadBmpFile(dir + "/missing.bmp", p, size, CRect()), -1);
    EXPECT_EQ(p.GetSize(), 25);
    EXPECT_TRUE(AllEqual(p, kUnreadableGrey));
    // A requested canvas beyond what memory may hold: -5 with the out-of-memory message.
    LoadMessageCatalogue();
    platform::FakeMessageBox box;
    platform::SetMessageBox(&box);
    p.RemoveAll();
    size = CSize(70000, 70000);
    EXPECT_EQ(ReadBmpFile(dir + "/a.bmp", p, size, CRect()), -5);
    EXPECT_TRUE(p.IsEmpty());
    platform::SetMessageBox(nullptr);
    ASSERT_EQ(box.Shown().size(), 1u);
    EXPECT_EQ(box.Shown()[0], Catalogue().memoryTooShort);
    // The size query and the usability test.
    EXPECT_EQ(GetBmpFileRect(dir + "/a.bmp"), CRect(0, 0, 4, 3));
    EXPECT_EQ(GetBmpFileRect(dir + "/missing.bmp"), CRect());
    EXPECT_EQ(IsUsableBmpFile(dir + "/a.bmp"), 1);
    fs::copy_file(dir + "/a.bmp", dir + "/a.png");
    EXPECT_EQ(GetBmpFileRect(dir + "/a.png"), CRect()) << "the size query looks at the extension";
    WriteAll(dir + "/thin.bmp", MakeBmp(1, 3, 24, 0, {}, Rows24(img, 1, 3)));
    EXPECT_EQ(IsUsableBmpFile(dir + "/thin.bmp"), -1);
}

TEST(BmpReader, ShortTwentyFourBitFileKeepsTheRowsItHolds)
{
    const int w = 5, h = 6;
    const CPixelArray img = PatternPixels(w, h);
    std::vector<uint8_t> file = MakeBmp(w, h, 24, 0, {}, Rows24(img, w, h));
    file.resize(54 + 16 * 4 + 7); // four whole stored rows (the bottom ones) and a bit
    CPixelArray p;
    ASSERT_EQ(ReadBytes(file, p, CSize(w, h)), 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(p[y * w + x], y < 2 ? 0u : img[y * w + x]) << x << "," << y;
}

// RLE8 rows of a 4-pixel-wide picture, bottom row first.
std::vector<uint8_t> Rle8(std::vector<std::vector<uint8_t>> runs)
{
    std::vector<uint8_t> d;
    for (auto& r : runs)
        d.insert(d.end(), r.begin(), r.end());
    return d;
}

TEST(BmpReader, RunLengthCodes)
{
    const std::vector<COLORREF> pal = TestPalette(4);
    // Row 0 (bottom): run of 3 x index 1, literal 1 x index 2 is not allowed (<3), so a run.
    // Row 1: literal 3,2,1 then a move right by 1 (skipped pixel stays black), end of line.
    // Row 2: end of bitmap right away (the rest stays black).
    const std::vector<uint8_t> data = Rle8({{3, 1, 1, 2, 0, 0},
                                            {0, 3, 3, 2, 1, 0, 0, 2, 1, 0, 0, 0},
                                            {0, 1}});
    std::vector<uint8_t> file = MakeBmp(4, 3, 8, 1, pal, data);
    CPixelArray p;
    ASSERT_EQ(ReadBytes(file, p, CSize(4, 3)), 1);
    const COLORREF want[] = {0, 0, 0, 0, pal[3], pal[2], pal[1], 0, pal[1], pal[1], pal[1], pal[2]};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(p[i], want[i]) << i;

    // RLE4: a run alternates the two nibbles; a literal of 3 takes 2 bytes, padded to 4.
    const std::vector<uint8_t> data4 = {4, 0x12, 0, 0, 0, 3, 0x32, 0x10, 0, 0, 0, 1};
    std::vector<uint8_t> file4 = MakeBmp(4, 2, 4, 2, pal, data4);
    p.RemoveAll();
    ASSERT_EQ(ReadBytes(file4, p, CSize(4, 2)), 1);
    const COLORREF want4[] = {pal[3], pal[2], pal[1], 0, pal[1], pal[2], pal[1], pal[2]};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(p[i], want4[i]) << i;
}

TEST(BmpReader, DamagedFilesAreRefusedWithGreyFill)
{
    const int w = 6, h = 4;
    const std::vector<COLORREF> pal = TestPalette(4);
    const std::vector<uint8_t> f8 = MakeBmp(w, h, 8, 0, pal, IndexedRows(w, h, 8, 4, false));
    const std::vector<uint8_t> f24 = MakeBmp(w, h, 24, 0, {}, Rows24(PatternPixels(w, h), w, h));
    const std::vector<uint8_t> fBf = MakeBmp(w, h, 16, 3, {}, std::vector<uint8_t>(size_t(12 * h), 0), {0x7C00, 0x3E0, 0x1F});
    const std::vector<uint8_t> fRle = MakeBmp(w, h, 8, 1, pal, {0, 1});
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* name;
        const std::vector<uint8_t>* base;
        Edit edit;
    } cases[] = {
        {"not BM", &f24, [](auto& b) { b[1] = 'A'; }},
        {"header cut short", &f24, [](auto& b) { b.resize(40); }},
        {"unknown header size", &f8, [](auto& b) { Put32(b, 14, 66); }},
        {"zero width", &f24, [](auto& b) { Put32(b, 18, 0); }},
        {"negative width", &f24, [](auto& b) { Put32(b, 18, uint32_t(-6)); }},
        {"zero height", &f24, [](auto& b) { Put32(b, 22, 0); }},
        {"two planes", &f24, [](auto& b) { Put16(b, 26, 2); }},
        {"2 bits", &f8, [](auto& b) { Put16(b, 28, 2); }},
        {"64 bits", &f24, [](auto& b) { Put16(b, 28, 64); }},
        {"embedded JPEG", &f24, [](auto& b) { Put32(b, 30, 4); }},
        {"RLE on 24 bits", &f24, [](auto& b) { Put32(b, 30, 1); }},
        {"too big", &f24, [](auto& b) { Put32(b, 18, 70000); Put32(b, 22, 70000); }},
        {"absurd density", &f24, [](auto& b) { Put32(b, 38, 30000000); Put32(b, 42, 3); }},
        {"image size beyond the file", &f8, [](auto& b) { Put32(b, 34, 0x7FFFFFFF); }},
        {"data offset beyond the file", &f24, [](auto& b) { Put32(b, 10, uint32_t(b.size() + 10)); }},
        {"data offset inside the header", &f24, [](auto& b) { Put32(b, 10, 20); }},
        {"stored size differs", &f8, [](auto& b) { Put32(b, 2, uint32_t(b.size() + 1)); }},
        {"pixel data cut short", &f8, [](auto& b) { b.resize(b.size() - 3); Put32(b, 2, uint32_t(b.size())); }},
        {"index beyond the palette", &f8, [](auto& b) { Put32(b, 46, 3); Put32(b, 10, Get32(b, 10) - 4);
                                                         b.erase(b.begin() + 54 + 12, b.begin() + 54 + 16);
                                                         Put32(b, 2, uint32_t(b.size())); }},
        {"palette larger than the file", &f8, [](auto& b) { Put32(b, 46, 0x7FFFFFFF); }},
        {"zero bit mask", &fBf, [](auto& b) { Put32(b, 62, 0); }},
        {"overlapping bit masks", &fBf, [](auto& b) { Put32(b, 58, 0x7C00); }},
        {"split bit mask", &fBf, [](auto& b) { Put32(b, 62, 0x15); }},
        {"bit mask wider than the pixel", &fBf, [](auto& b) { Put32(b, 62, 0x1F0000); }},
        {"top-down RLE", &fRle, [](auto& b) { Put32(b, 22, uint32_t(-4)); }},
        {"RLE run past the row", &fRle, [](auto& b) { b[b.size() - 2] = 7; b[b.size() - 1] = 1; }},
        {"RLE move past the picture", &fRle, [](auto& b) { b.resize(b.size() - 2); b.insert(b.end(), {0, 2, 0, 5, 1, 1});
                                                           Put32(b, 2, uint32_t(b.size())); }},
        {"RLE literal past the data", &fRle, [](auto& b) { b.resize(b.size() - 2); b.insert(b.end(), {0, 5, 1, 1});
                                                           Put32(b, 2, uint32_t(b.size())); }},
        {"RLE rows past the top", &fRle, [](auto& b) { b.resize(b.size() - 2);
                                                       for (int i = 0; i < 5; ++i) b.insert(b.end(), {0, 0});
                                                       b.insert(b.end(), {1, 1});
                                                       Put32(b, 2, uint32_t(b.size())); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> file = *c.base;
        c.edit(file);
        CPixelArray p;
        CSize size(8, 8);
        EXPECT_EQ(ReadBytes(file, p, size), -1);
        EXPECT_EQ(p.GetSize(), 64);
        EXPECT_TRUE(AllEqual(p, kUnreadableGrey));
    }
    // The unedited files read.
    for (const auto* base : {&f8, &f24, &fBf, &fRle}) {
        CPixelArray p;
        EXPECT_EQ(ReadBytes(*base, p, CSize(8, 8)), 1);
    }
}

// -------------------------------------------------------------------------------------------
// Writer

class BmpWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadMessageCatalogue();
        platform::SetMessageBox(&m_box);
        m_dir = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    // Writes the picture with the strips from the last to the first.
    int WriteImage(const std::string& path, const CPixelArray& img, int w, int h, int dpi = 72)
    {
        if (BmpWriter().BeginWrite(path, w, h, dpi) != 1)
            return -1;
        for (int n = (h - 1) / 16; n >= 0; --n) {
            CPixelArray strip;
            strip.SetSize(16 * w);
            strip.Fill(0x123456); // rows below the picture must be ignored
            for (int r = 0; r < 16 && 16 * n + r < h; ++r)
                for (int x = 0; x < w; ++x)
                    strip[r * w + x] = img[(16 * n + r) * w + x];
            if (BmpWriter().WriteStrip(strip, n) != 1)
                return -1;
        }
        return BmpWriter().EndWrite(0);
    }

    size_t FilesInDir() const
    {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(m_dir))
            ++n;
        return n;
    }

    platform::FakeMessageBox m_box;
    std::string m_dir;
};

TEST_F(BmpWriterTest, HeaderFields)
{
    struct Case {
        int w, h, dpi;
        uint32_t fileSize, ppm;
    } cases[] = {
        {5, 3, 72, 16 * 3 + 54, 2835},
        {4, 2, 300, 12 * 2 + 54, 11812},
        {1, 1, 96, 58, 3780}, // a 1-pixel row is padded to 4 bytes
    };
    for (const Case& c : cases) {
        const std::string path = m_dir + "/h.bmp";
        ASSERT_EQ(WriteImage(path, PatternPixels(c.w, c.h), c.w, c.h, c.dpi), 1);
        const std::vector<uint8_t> b = ReadAll(path);
        ASSERT_EQ(b.size(), c.fileSize);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(Get32(b, 2), c.fileSize);
        EXPECT_EQ(Get32(b, 6), 0u);
        EXPECT_EQ(Get32(b, 10), 54u);
        EXPECT_EQ(Get32(b, 14), 40u);
        EXPECT_EQ(Get32(b, 18), uint32_t(c.w));
        EXPECT_EQ(Get32(b, 22), uint32_t(c.h));
        EXPECT_EQ(Get32(b, 26), 1u | (24u << 16));
        EXPECT_EQ(Get32(b, 30), 0u);
        EXPECT_EQ(Get32(b, 38), c.ppm);
        EXPECT_EQ(Get32(b, 42), c.ppm);
        EXPECT_EQ(Get32(b, 46), 0u);
    }
}

TEST_F(BmpWriterTest, StripsFromLastToFirstGiveThePictureBack)
{
    for (const CSize s : {CSize(7, 40), CSize(3, 16), CSize(10, 1), CSize(33, 17)}) {
        const CPixelArray img = PatternPixels(s.cx, s.cy);
        const std::string path = m_dir + "/rt.bmp";
        ASSERT_EQ(WriteImage(path, img, s.cx, s.cy), 1);
        CPixelArray back;
        CSize size = s;
        ASSERT_EQ(ReadBmpFile(path, back, size, CRect()), 1);
        EXPECT_EQ(back, img) << s.cx << "x" << s.cy;
    }
    EXPECT_EQ(FilesInDir(), 1u) << "no temporary file is left behind";
}

TEST_F(BmpWriterTest, WidthLimit)
{
    const std::string path = m_dir + "/wide.bmp";
    ASSERT_EQ(BmpWriter().BeginWrite(path, CBmpWriter::kMaxWidth, 1, 72), 1);
    CPixelArray strip;
    strip.SetSize(int64_t(16) * CBmpWriter::kMaxWidth);
    EXPECT_EQ(BmpWriter().WriteStrip(strip, 0), 1);
    EXPECT_EQ(BmpWriter().EndWrite(0), 1);
    EXPECT_EQ(fs::file_size(path), 508276u + 54u);
    EXPECT_TRUE(m_box.Shown().empty());

    for (const int w : {CBmpWriter::kMaxWidth + 1, -1}) {
        m_box.Clear();
        const std::string other = m_dir + "/toowide.bmp";
        EXPECT_EQ(BmpWriter().BeginWrite(other, w, 10, 72), -1);
        ASSERT_EQ(m_box.Shown().size(), 1u);
        EXPECT_EQ(m_box.Shown()[0], " Too big to create image file");
        EXPECT_FALSE(fs::exists(other));
    }
    // A picture whose file would exceed what the header can state is refused the same way.
    m_box.Clear();
    EXPECT_EQ(BmpWriter().BeginWrite(m_dir + "/huge.bmp", CBmpWriter::kMaxWidth, 9000, 72), -1);
    EXPECT_EQ(m_box.Shown().size(), 1u);
}

TEST_F(BmpWriterTest, CancelledWriteKeepsThePreviousFileAndLeavesNothingElse)
{
    const std::string path = m_dir + "/c.bmp";
    const std::vector<uint8_t> previous = {1, 2, 3};
    WriteAll(path, previous);
    ASSERT_EQ(BmpWriter().BeginWrite(path, 4, 20, 72), 1);
    CPixelArray strip;
    strip.SetSize(64);
    ASSERT_EQ(BmpWriter().WriteStrip(strip, 1), 1);
    EXPECT_EQ(BmpWriter().EndWrite(-1), 1);
    EXPECT_EQ(ReadAll(path), previous);
    EXPECT_EQ(FilesInDir(), 1u);

    // Without a previous file a cancelled save creates none.
    const std::string fresh = m_dir + "/fresh.bmp";
    ASSERT_EQ(BmpWriter().BeginWrite(fresh, 4, 20, 72), 1);
    EXPECT_EQ(BmpWriter().EndWrite(-1), 1);
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(BmpWriterTest, IncompleteOrFailedWriteKeepsThePreviousFile)
{
    const std::string path = m_dir + "/k.bmp";
    const std::vector<uint8_t> previous = {9, 8, 7, 6};
    WriteAll(path, previous);
    // A strip missing: the end reports failure.
    ASSERT_EQ(BmpWriter().BeginWrite(path, 4, 20, 72), 1);
    CPixelArray strip;
    strip.SetSize(64);
    ASSERT_EQ(BmpWriter().WriteStrip(strip, 1), 1);
    EXPECT_EQ(BmpWriter().EndWrite(0), -1);
    EXPECT_EQ(ReadAll(path), previous);
    // A strip that is not part of the picture, or holds too few pixels.
    ASSERT_EQ(BmpWriter().BeginWrite(path, 4, 20, 72), 1);
    EXPECT_EQ(BmpWriter().WriteStrip(strip, 2), -1);
    EXPECT_EQ(BmpWriter().EndWrite(0), -1);
    ASSERT_EQ(BmpWriter().BeginWrite(path, 4, 20, 72), 1);
    CPixelArray shortStrip;
    shortStrip.SetSize(15);
    EXPECT_EQ(BmpWriter().WriteStrip(shortStrip, 1), -1);
    EXPECT_EQ(BmpWriter().EndWrite(0), -1);
    EXPECT_EQ(ReadAll(path), previous);
    // Nothing open.
    EXPECT_EQ(BmpWriter().WriteStrip(strip, 0), -1);
    EXPECT_EQ(BmpWriter().EndWrite(0), -1);
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(BmpWriterTest, BeginAbandonsAWriteLeftOpen)
{
    ASSERT_EQ(BmpWriter().BeginWrite(m_dir + "/first.bmp", 4, 4, 72), 1);
    const CPixelArray img = PatternPixels(4, 4);
    ASSERT_EQ(WriteImage(m_dir + "/second.bmp", img, 4, 4), 1);
    EXPECT_FALSE(fs::exists(m_dir + "/first.bmp"));
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(BmpWriterTest, FolderThatCannotBeWritten)
{
    const std::string path = m_dir + "/no/such/folder/x.bmp";
    EXPECT_EQ(BmpWriter().BeginWrite(path, 4, 4, 72), -1);
    ASSERT_EQ(m_box.Shown().size(), 1u);
    EXPECT_EQ(m_box.Shown()[0], path + " Can't open file.");
    EXPECT_EQ(BmpWriter().BeginWrite("", 4, 4, 72), -1);
}

} // namespace

// The JPEG picture read at a requested size: the whole picture, the one-eighth read, the
// picture fitted into a canvas with its margins, rectangles of that canvas, failures, and the
// user's abort.
#if SMRA_HAVE_LIBJPEG

#include "common/helpers.h"
#include "imagefile/image_file.h"
#include "platform/idle_state.h"
#include "platform/input_state.h"
#include "test_jpeg_decode_fixtures.h"

using namespace jpegtest;

namespace {

// Pixels of rect cut from a w-wide picture (rect inside it).
CPixelArray Cut(const CPixelArray& p, int w, CRect rect)
{
    CPixelArray out;
    out.SetSize(static_cast<std::ptrdiff_t>(rect.Width()) * rect.Height());
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            out[static_cast<std::ptrdiff_t>(y - rect.top) * rect.Width() + (x - rect.left)] =
                p[static_cast<std::ptrdiff_t>(y) * w + x];
    return out;
}

int CountOf(const CPixelArray& p, COLORREF c)
{
    int n = 0;
    for (std::ptrdiff_t i = 0; i < p.GetSize(); ++i)
        n += p[i] == c;
    return n;
}

} // namespace

// Rectangles of a canvas give exactly the pixels of the whole canvas read in one go, however
// many MCUs left and right of them are decoded at DC cost only.
TEST(JpegRead, RectanglesMatchTheWholeCanvas)
{
    const int w = 203, h = 117;
    const Bytes data = Encode(w, h, MakePicture(w, h, 2));
    const CSize canvases[] = {CSize(w, h), CSize(150, 90), CSize(100, 20), CSize(20, 100), CSize(300, 250),
                              CSize(25, 14)};
    const CRect rects[] = {CRect(0, 0, 10, 10), CRect(5, 3, 17, 40), CRect(0, 1, 1000, 2)};
    for (CSize canvas : canvases) {
        SCOPED_TRACE(std::to_string(canvas.cx) + "x" + std::to_string(canvas.cy));
        const OurRead whole = ReadOurs(data, canvas);
        ASSERT_EQ(whole.result, 1);
        ASSERT_EQ(whole.size, CSize(w, h));
        ASSERT_EQ(whole.pixels.GetSize(), static_cast<std::ptrdiff_t>(canvas.cx) * canvas.cy);
        std::vector<CRect> all(std::begin(rects), std::end(rects));
        all.push_back(CRect(canvas.cx / 2, 0, canvas.cx, canvas.cy)); // right half
        all.push_back(CRect(0, canvas.cy / 2, canvas.cx / 3, canvas.cy));
        all.push_back(CRect(canvas.cx - 1, canvas.cy - 1, canvas.cx, canvas.cy));
        all.push_back(CRect(0, 0, canvas.cx, canvas.cy - 1));
        for (CRect rect : all) {
            SCOPED_TRACE(std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) +
                         "," + std::to_string(rect.bottom));
            CRect clipped;
            clipped.IntersectRect(rect, CRect(0, 0, canvas.cx, canvas.cy));
            const OurRead part = ReadOurs(data, canvas, rect);
            ASSERT_EQ(part.result, 1);
            EXPECT_TRUE(part.pixels == Cut(whole.pixels, canvas.cx, clipped));
        }
    }
}

// A large picture read whole (rows reconstructed on several threads) and in rectangles (the
// windowed read, one row at a time) gives the same pixels.
TEST(JpegRead, LargePictureRectanglesMatchTheWholePicture)
{
    const int w = 1200, h = 900;
    const Bytes data = Encode(w, h, MakePicture(w, h, 14), EncodeOptions{80});
    const OurRead whole = ReadOurs(data);
    ASSERT_EQ(whole.result, 1);
    for (CRect rect : {CRect(0, 0, w, h - 1), CRect(w / 2, 100, w, 300), CRect(3, 850, 40, 900)}) {
        const OurRead part = ReadOurs(data, CSize(w, h), rect);
        ASSERT_EQ(part.result, 1);
        EXPECT_TRUE(part.pixels == Cut(whole.pixels, w, rect)) << rect.left << "," << rect.top;
    }
}

// 1600 x 1200 into 160 x 160: the one-eighth scale (200 x 150) fills the width, and bars of
// the margin colour 20 rows high stay above and below.
TEST(JpegRead, ReducedCanvasUsesTheEighthScaleWithMarginBars)
{
    const int w = 1600, h = 1200;
    const Bytes data = Encode(w, h, MakePicture(w, h, 4), EncodeOptions{60});
    const OurRead eighth = ReadOurs(data, CSize(200, 150));
    ASSERT_EQ(eighth.result, 1);
    const OurRead r = ReadOurs(data, CSize(160, 160));
    ASSERT_EQ(r.result, 1);
    EXPECT_EQ(r.size, CSize(w, h));
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 160; ++x) {
            const COLORREF got = r.pixels[y * 160 + x];
            const int sy = static_cast<int>(y * 1.25) - 25;
            const int sx = static_cast<int>(x * 1.25);
            const COLORREF want = (sy < 0 || sy >= 150) ? kMarginGrey : eighth.pixels[sy * 200 + sx];
            ASSERT_EQ(got, want) << "at " << x << ", " << y;
        }
    EXPECT_EQ(CountOf(r.pixels, kMarginGrey), 2 * 20 * 160);
}

// A picture smaller than the canvas is shown 1:1 in its middle; every other pixel is the
// margin colour, whatever the array held before and whatever the aspect.
TEST(JpegRead, SmallPictureIsCentredWithFreshMargins)
{
    const int w = 40, h = 30; // neither a multiple of the MCU size
    const Bytes data = Encode(w, h, MakePicture(w, h, 6));
    const OurRead own = ReadOurs(data);
    ASSERT_EQ(own.result, 1);
    for (CSize canvas : {CSize(100, 75), CSize(100, 100), CSize(41, 30)}) {
        SCOPED_TRACE(std::to_string(canvas.cx) + "x" + std::to_string(canvas.cy));
        CMemoryByteSource src(data.data(), data.size());
        CPixelArray out;
        out.SetSize(static_cast<std::ptrdiff_t>(canvas.cx) * canvas.cy);
        out.Fill(0x123456);
        CSize size = canvas;
        ASSERT_EQ(JpegReadImageFrom(src, out, size, CRect()), 1);
        EXPECT_EQ(size, CSize(w, h));
        const int ox = (canvas.cx - w) / 2, oy = (canvas.cy - h) / 2;
        for (int y = 0; y < canvas.cy; ++y)
            for (int x = 0; x < canvas.cx; ++x) {
                const bool inside = x >= ox && x < ox + w && y >= oy && y < oy + h;
                const COLORREF want = inside ? own.pixels[(y - oy) * w + (x - ox)] : kMarginGrey;
                ASSERT_EQ(out[y * canvas.cx + x], want) << "at " << x << ", " << y;
            }
    }
}

// A canvas far beyond 32-bit pixel counts: only the rectangle is allocated, and the picture
// sits in the canvas's middle.
TEST(JpegRead, HugeCanvasWithSmallRectangle)
{
    const int w = 64, h = 48;
    const Bytes data = Encode(w, h, MakePicture(w, h, 8));
    const OurRead own = ReadOurs(data);
    const CSize canvas(60000, 60000);
    const int ox = (canvas.cx - w) / 2, oy = (canvas.cy - h) / 2;
    const CRect rect(ox + 10, oy + 5, ox + 30, oy + 25);
    const OurRead r = ReadOurs(data, canvas, rect);
    ASSERT_EQ(r.result, 1);
    EXPECT_TRUE(r.pixels == Cut(own.pixels, w, CRect(10, 5, 30, 25)));
}

TEST(JpegRead, FailuresThroughTheFileEntryPoints)
{
    const int w = 48, h = 40;
    const auto pic = MakePicture(w, h);
    const std::string good = WriteTemp("read_good.jpg", Encode(w, h, pic));
    EncodeOptions o;
    o.progressive = true;
    const std::string progressive = WriteTemp("read_progressive.jpg", Encode(w, h, pic, o));
    const std::string missing = std::string(SMRA_TEST_TMPDIR) + "/no_such_picture.jpg";

    EXPECT_EQ(GetImageFileRect(good), CRect(0, 0, w, h));
    EXPECT_EQ(LastJpegPath, good);
    EXPECT_EQ(GetImageFileRect(progressive), CRect());
    EXPECT_EQ(GetImageFileRect(missing), CRect());
    EXPECT_EQ(JpegGetImageRect(""), CRect());

    CPixelArray pixels;
    CSize size(0, 10);
    EXPECT_EQ(LoadImageFile(good, pixels, size, CRect()), -1);
    size = CSize(10, 10);
    EXPECT_EQ(JpegReadImage("", pixels, size, CRect()), -1);

    pixels.SetSize(3);
    pixels.Fill(0x010203);
    size = CSize(20, 20);
    EXPECT_EQ(LoadImageFile(missing, pixels, size, CRect()), 0);
    EXPECT_EQ(size, CSize(20, 20));
    EXPECT_EQ(pixels.GetSize(), 3);
    EXPECT_EQ(pixels[0], 0x010203u);

    size = CSize(20, 10);
    EXPECT_EQ(LoadImageFile(progressive, pixels, size, CRect(0, 0, 5, 5)), -1);
    EXPECT_EQ(pixels.GetSize(), 25);
    EXPECT_TRUE(AllPixels(pixels, kUnreadableGrey));

    size = CSize(w, h);
    EXPECT_EQ(LoadImageFile(good, pixels, size, CRect()), 1);
    EXPECT_EQ(pixels.GetSize(), w * h);
}

// The read sizes its output without clearing it: every pixel must come from the decode, the
// margin colour or the failure colour, never from what the storage held before. The array's
// storage is filled with a poison colour and emptied (its capacity stays) before each read.
TEST(JpegRead, NothingOfTheArraysOldStorageShowsThrough)
{
    const COLORREF poison = 0x00A5A5A5;
    auto readPoisoned = [&](const Bytes& data, CSize canvas, CRect rect) {
        OurRead r;
        const CRect area = rect.IsRectNull() ? CRect(0, 0, canvas.cx, canvas.cy) : rect;
        r.pixels.SetSize(static_cast<std::ptrdiff_t>(area.Width()) * area.Height() + 64);
        r.pixels.Fill(poison);
        r.pixels.SetSize(0);
        CMemoryByteSource src(data.data(), data.size(), "memory.jpg");
        r.size = canvas;
        r.result = JpegReadImageFrom(src, r.pixels, r.size, rect);
        return r;
    };
    EncodeOptions s444, s422, s440, restarts;
    s444.yh = s444.yv = 1;
    s422.yv = 1;
    s440.yh = 1;
    restarts.restartInterval = 3;
    const struct {
        const char* name;
        int w, h;
        EncodeOptions options;
    } pictures[] = {{"4:2:0", 203, 117, {}}, {"4:4:4", 61, 47, s444}, {"4:2:2", 90, 33, s422},
                    {"4:4:0", 35, 70, s440},  {"restarts", 77, 29, restarts}};
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.name);
        const Bytes data = Encode(p.w, p.h, MakePicture(p.w, p.h, 4), p.options);
        const struct {
            CSize canvas;
            CRect rect;
        } reads[] = {
            {CSize(p.w, p.h), CRect()},                      // the whole picture, decoded whole
            {CSize(p.w / 8, p.h / 8), CRect()},              // the one-eighth read
            {CSize(p.w * 2, p.h), CRect()},                  // fitted, margins left and right
            {CSize(p.w, p.h * 3), CRect(1, 2, p.w - 1, 9)},  // a rectangle of a fitted canvas
        };
        for (const auto& read : reads) {
            SCOPED_TRACE(std::to_string(read.canvas.cx) + "x" + std::to_string(read.canvas.cy));
            const OurRead fresh = ReadOurs(data, read.canvas, read.rect);
            const OurRead reused = readPoisoned(data, read.canvas, read.rect);
            ASSERT_EQ(fresh.result, 1);
            EXPECT_EQ(reused.result, 1);
            EXPECT_EQ(reused.size, fresh.size);
            EXPECT_EQ(CountOf(reused.pixels, poison), 0);
            EXPECT_TRUE(reused.pixels == fresh.pixels);
        }
    }

    // Failed reads fill the picture too: grey for a damaged file, black for a sampling layout
    // the decoder does not read.
    EncodeOptions odd;
    odd.yh = 3;
    odd.yv = 1;
    const Bytes unread = Encode(48, 16, MakePicture(48, 16), odd);
    const OurRead layout = readPoisoned(unread, CSize(48, 16), CRect());
    EXPECT_LT(layout.result, 1);
    ASSERT_EQ(layout.pixels.GetSize(), 48 * 16);
    EXPECT_EQ(CountOf(layout.pixels, 0), 48 * 16);
    Bytes damaged = Encode(48, 16, MakePicture(48, 16));
    damaged.resize(damaged.size() / 3);
    const OurRead cut = readPoisoned(damaged, CSize(48, 16), CRect());
    EXPECT_EQ(CountOf(cut.pixels, poison), 0);
}

class JpegAbort : public ::testing::Test {
protected:
    void SetUp() override { platform::SetInput(&m_input); }
    platform::InputState m_input;
};

TEST_F(JpegAbort, KeysAbortOnlyWhileEnabled)
{
    const int w = 96, h = 80;
    const Bytes data = Encode(w, h, MakePicture(w, h));

    // Not enabled: the keys are not even asked.
    m_input.Press(platform::Key::Escape);
    EXPECT_EQ(IsJpegAbortRequested(), 0);
    EXPECT_EQ(ReadOurs(data).result, 1);

    JpegAbortEnabled = 1;
    for (platform::Key key : {platform::Key::LeftButton, platform::Key::Escape, platform::Key::Return}) {
        m_input.Reset();
        EXPECT_EQ(IsJpegAbortRequested(), 0);
        m_input.Tap(key);
        EXPECT_EQ(IsJpegAbortRequested(), 1);
        EXPECT_EQ(IsJpegAbortRequested(), 0) << "a tap counts once";
    }
    m_input.Reset();
    m_input.Press(platform::Key::RightButton);
    EXPECT_EQ(IsJpegAbortRequested(), 0);
}

TEST_F(JpegAbort, AbortedReadsReturnZero)
{
    const int w = 96, h = 80;
    const Bytes data = Encode(w, h, MakePicture(w, h));
    JpegAbortEnabled = 1;

    struct Case {
        const char* name;
        CSize canvas;
        CRect rect;
        std::ptrdiff_t pixelsAfter; // the whole-picture reads empty the array
    };
    const Case cases[] = {
        {"whole picture", CSize(w, h), CRect(), 0},
        {"one eighth", CSize(w / 8, h / 8), CRect(), 0},
        {"windowed", CSize(50, 40), CRect(), 50 * 40},
        {"rectangle", CSize(w, h), CRect(10, 10, 30, 30), 20 * 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IdleSecondCount = 7;
        m_input.Reset();
        m_input.Press(platform::Key::Escape);
        const OurRead r = ReadOurs(data, c.canvas, c.rect);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(IdleSecondCount, 0);
        EXPECT_EQ(r.pixels.GetSize(), c.pixelsAfter);
        m_input.Reset();
        EXPECT_EQ(ReadOurs(data, c.canvas, c.rect).result, 1);
    }
}

// Reading pictures while a JPEG file is being written changes no byte of the written file.
TEST(JpegRead, ReadsDuringASaveLeaveTheOutputIntact)
{
    const int w = 64, h = 40;
    const auto rgb = MakePicture(w, h, 12);
    const std::string other = WriteTemp("read_during_save.jpg", Encode(50, 30, MakePicture(50, 30, 13)));
    auto save = [&](const std::string& path, bool readBetweenStrips) {
        EXPECT_EQ(SaveImageBegin(path, w, h, 72, "comment", 3), 1);
        for (int n = 0; n * kStripRows < h; ++n) {
            CPixelArray strip;
            strip.SetSize(static_cast<std::ptrdiff_t>(kStripRows) * w);
            for (int y = 0; y < kStripRows && n * kStripRows + y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint8_t* p = &rgb[(static_cast<size_t>(n * kStripRows + y) * w + x) * 3];
                    strip[y * w + x] = RGB(p[0], p[1], p[2]);
                }
            EXPECT_EQ(SaveImagePut(path, strip, n), 1);
            if (readBetweenStrips) {
                EXPECT_EQ(GetImageFileRect(other), CRect(0, 0, 50, 30));
                CPixelArray pixels;
                CSize size(25, 15);
                EXPECT_EQ(LoadImageFile(other, pixels, size, CRect()), 1);
            }
        }
        EXPECT_EQ(SaveImageEnd(path, 1), 1);
        return ReadBytes(path);
    };
    const Bytes plain = save(std::string(SMRA_TEST_TMPDIR) + "/save_plain.jpg", false);
    const Bytes interleaved = save(std::string(SMRA_TEST_TMPDIR) + "/save_interleaved.jpg", true);
    ASSERT_FALSE(plain.empty());
    EXPECT_TRUE(plain == interleaved);
}

#ifdef SMRA_IMGTOOL_PATH
TEST(JpegRead, ImgtoolConvertsAPhotoToBmp)
{
    const int w = 70, h = 45;
    const Bytes data = Encode(w, h, MakePicture(w, h, 11));
    const std::string in = WriteTemp("convert_in.jpg", data);
    const std::string out = std::string(SMRA_TEST_TMPDIR) + "/convert_out.bmp";
    DeleteFileIfExists(out);
    const std::string cmd = std::string("\"") + SMRA_IMGTOOL_PATH + "\" convert \"" + in + "\" \"" + out + "\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    CPixelArray bmp;
    CSize size(w, h);
    ASSERT_EQ(LoadImageFile(out, bmp, size, CRect()), 1);
    EXPECT_TRUE(bmp == ReadOurs(data).pixels);
}
#endif

#endif

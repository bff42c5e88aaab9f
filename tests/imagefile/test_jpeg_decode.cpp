// The JPEG decoder: its integer arithmetic checked sample for sample against a plain
// transcription fed with the system library's coefficients, its pixels against the library's
// decode of the test suites, the codings it refuses, stream variants that must not change a
// pixel, and damaged files that must fail cleanly.
#if SMRA_HAVE_LIBJPEG

#include <filesystem>
#include <iostream>
#include <thread>

#include "imagefile/image_file.h"
#include "test_jpeg_decode_fixtures.h"

using namespace jpegtest;

namespace {

// --- The arithmetic written out plainly ----------------------------------------------------

double Scale(int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * std::acos(-1.0) / 16.0); }

int Weight(int x, int u)
{
    const double pi = std::acos(-1.0);
    return static_cast<int>(std::floor(4096.0 * std::cos((2 * x + 1) * u * pi / 16.0) / std::cos(u * pi / 16.0) + 0.5));
}

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

COLORREF Colour(int y, int cb, int cr, bool rgb)
{
    if (rgb)
        return RGB(Clamp255((y + 8) >> 4), Clamp255((cb + 8) >> 4), Clamp255((cr + 8) >> 4));
    const int b = y * 4096 + 32768;
    return RGB(Clamp255((b + 5743 * cr) >> 16), Clamp255((b - 2925 * cr - 1410 * cb) >> 16),
               Clamp255((b + 7258 * cb) >> 16));
}

struct Reference {
    bool ok = false;
    int w = 0, h = 0;
    std::vector<COLORREF> full;   // w x h
    std::vector<COLORREF> eighth; // w/8 x h/8
};

// Decodes with the library's entropy decoder only (its quantised coefficients), then applies
// the dequantisation factors, the two-pass integer inverse transform, the in-MCU up-sampling
// and the colour conversion exactly as the decoder defines them.
Reference ReferenceDecode(const Bytes& data)
{
    Reference ref;
    jpeg_decompress_struct c;
    LibErrorManager err;
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = LibErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&c);
        return ref;
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&c, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&c);
    const bool rgb = c.jpeg_color_space == JCS_RGB;
    const int w = static_cast<int>(c.image_width), h = static_cast<int>(c.image_height);
    int hmax = 1, vmax = 1;
    for (int ci = 0; ci < 3; ++ci) {
        hmax = std::max(hmax, c.comp_info[ci].h_samp_factor);
        vmax = std::max(vmax, c.comp_info[ci].v_samp_factor);
    }
    const int mw = 8 * hmax, mh = 8 * vmax;
    const int across = (w + mw - 1) / mw, down = (h + mh - 1) / mh;
    const int upH = hmax / c.comp_info[1].h_samp_factor, upV = vmax / c.comp_info[1].v_samp_factor;
    ref.w = w;
    ref.h = h;
    ref.full.assign(static_cast<size_t>(w) * h, 0);
    ref.eighth.assign(static_cast<size_t>(w / 8) * (h / 8), 0);

    long long dq[3][64];
    for (int ci = 0; ci < 3; ++ci)
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u)
                dq[ci][v * 8 + u] = static_cast<long long>(c.comp_info[ci].quant_table->quantval[v * 8 + u] *
                                                           Scale(u) * Scale(v) * 4096.0);
    for (int my = 0; my < down; ++my)
        for (int mx = 0; mx < across; ++mx) {
            int plane[3][16][16] = {};
            int dc[3][2][2] = {};
            for (int ci = 0; ci < 3; ++ci) {
                const int H = c.comp_info[ci].h_samp_factor, V = c.comp_info[ci].v_samp_factor;
                const int add = (ci == 0 || rgb) ? 2048 : 0;
                for (int r = 0; r < V; ++r) {
                    JBLOCKARRAY rows = (*c.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&c), arrays[ci],
                                                                    static_cast<JDIMENSION>(my * V + r), 1, FALSE);
                    for (int col = 0; col < H; ++col) {
                        const JCOEF* q = rows[0][mx * H + col];
                        long long coef[64];
                        for (int k = 0; k < 64; ++k)
                            coef[k] = (dq[ci][k] * q[k]) >> 8;
                        dc[ci][r][col] = static_cast<int>(coef[0] / 8) + add;
                        long long t[8][8];
                        for (int y = 0; y < 8; ++y)
                            for (int u = 0; u < 8; ++u) {
                                long long s = 0;
                                for (int v = 0; v < 8; ++v)
                                    s += coef[v * 8 + u] * Weight(y, v);
                                t[y][u] = s >> 12;
                            }
                        for (int y = 0; y < 8; ++y)
                            for (int x = 0; x < 8; ++x) {
                                long long s = 0;
                                for (int u = 0; u < 8; ++u)
                                    s += t[y][u] * Weight(x, u);
                                plane[ci][8 * r + y][8 * col + x] = static_cast<int>(s >> 15) + add;
                            }
                    }
                }
            }
            // Chroma up-sampling inside the MCU.
            int up[3][16][16];
            for (int ci = 1; ci < 3; ++ci) {
                const int(*in)[16] = plane[ci];
                for (int i = 0; i < mh; ++i)
                    for (int j = 0; j < mw; ++j) {
                        if (upH == 1 && upV == 1) {
                            up[ci][i][j] = in[i][j];
                        } else if (upH == 1) {
                            const int n = std::clamp(i % 2 ? i / 2 + 1 : i / 2 - 1, 0, 7);
                            up[ci][i][j] = (3 * in[i / 2][j] + in[n][j]) / 4;
                        } else if (upV == 1) {
                            const int n = std::clamp(j % 2 ? j / 2 + 1 : j / 2 - 1, 0, 7);
                            up[ci][i][j] = (j == 0) ? in[i][0] : (j == 15) ? in[i][7] : (3 * in[i][j / 2] + in[i][n]) / 4;
                        } else {
                            const int n = std::clamp(i % 2 ? i / 2 + 1 : i / 2 - 1, 0, 7);
                            int cs[8];
                            for (int k = 0; k < 8; ++k)
                                cs[k] = 3 * in[i / 2][k] + in[n][k];
                            const int k = j / 2;
                            if (j == 0)
                                up[ci][i][j] = cs[0] / 4;
                            else if (j == 15)
                                up[ci][i][j] = cs[7] / 4;
                            else if (j % 2)
                                up[ci][i][j] = (3 * cs[k] + cs[k + 1]) / 16;
                            else
                                up[ci][i][j] = (cs[k - 1] + 3 * cs[k]) / 16;
                        }
                    }
            }
            for (int i = 0; i < mh; ++i)
                for (int j = 0; j < mw; ++j) {
                    const int x = mx * mw + j, y = my * mh + i;
                    if (x < w && y < h)
                        ref.full[static_cast<size_t>(y) * w + x] = Colour(plane[0][i][j], up[1][i][j], up[2][i][j], rgb);
                }
            for (int by = 0; by < vmax; ++by)
                for (int bx = 0; bx < hmax; ++bx) {
                    const int x = mx * hmax + bx, y = my * vmax + by;
                    if (x < w / 8 && y < h / 8)
                        ref.eighth[static_cast<size_t>(y) * (w / 8) + x] =
                            Colour(dc[0][by][bx], dc[1][by / upV][bx / upH], dc[2][by / upV][bx / upH], rgb);
                }
        }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    ref.ok = true;
    return ref;
}

bool SameAs(const CPixelArray& ours, const std::vector<COLORREF>& ref, std::string& where, int w)
{
    if (static_cast<size_t>(ours.GetSize()) != ref.size()) {
        where = "size " + std::to_string(ours.GetSize()) + " vs " + std::to_string(ref.size());
        return false;
    }
    for (size_t i = 0; i < ref.size(); ++i)
        if (ours[static_cast<std::ptrdiff_t>(i)] != ref[i]) {
            where = "pixel (" + std::to_string(i % w) + ", " + std::to_string(i / w) + ")";
            return false;
        }
    return true;
}

struct Generated {
    const char* name;
    int w, h;
    EncodeOptions o;
};

const Generated kLayouts[] = {
    {"420", 77, 53, {90, 2, 2, 1, 1}},
    {"422 chroma 1x2", 64, 40, {85, 2, 2, 1, 2}},
    {"440 chroma 2x1", 50, 70, {85, 2, 2, 2, 1}},
    {"422", 91, 33, {95, 2, 1, 1, 1}},
    {"440", 33, 91, {95, 1, 2, 1, 1}},
    {"444", 45, 19, {75, 1, 1, 1, 1}},
    {"420 restarts", 120, 72, {90, 2, 2, 1, 1, 3}},
    {"444 quality 100", 24, 24, {100, 1, 1, 1, 1}},
    {"420 quality 5", 40, 40, {5, 2, 2, 1, 1}},
    {"444 stored as RGB", 30, 22, {90, 1, 1, 1, 1, 0, false, false, false, false, false, true}},
};

// Our reads of the w x h picture in data, at full size and at one eighth, equal the reference.
void ExpectReadsAsReference(const Bytes& data, const Reference& ref, int w, int h)
{
    std::string where;
    const OurRead full = ReadOurs(data);
    ASSERT_EQ(full.result, 1);
    EXPECT_TRUE(SameAs(full.pixels, ref.full, where, w)) << where;
    const OurRead eighth = ReadOurs(data, CSize(w / 8, h / 8));
    ASSERT_EQ(eighth.result, 1);
    EXPECT_TRUE(SameAs(eighth.pixels, ref.eighth, where, w / 8)) << "one eighth: " << where;
}

} // namespace

TEST(JpegDecodeExact, EveryLayoutMatchesThePlainArithmetic)
{
    for (const Generated& g : kLayouts) {
        SCOPED_TRACE(g.name);
        const Bytes data = Encode(g.w, g.h, MakePicture(g.w, g.h), g.o);
        const Reference ref = ReferenceDecode(data);
        ASSERT_TRUE(ref.ok);
        ExpectReadsAsReference(data, ref, g.w, g.h);
    }
}

TEST(JpegDecodeExact, CameraFilesMatchThePlainArithmetic)
{
    const char* files[] = {
        "libjpeg-turbo-testimages/testorig.jpg",
        "exif-samples/jpg/Canon_40D.jpg",
        "exif-samples/jpg/xmp/BlueSquare.jpg",
        "exif-samples/jpg/gps/DSCN0010.jpg",
        "pano-daeyun-uiuc/uttower/uttower_left.jpg",
    };
    if (!std::filesystem::exists(TestData(files[0])))
        GTEST_SKIP() << "test data absent";
    for (const char* f : files) {
        SCOPED_TRACE(f);
        const Bytes data = ReadBytes(TestData(f));
        const Reference ref = ReferenceDecode(data);
        ASSERT_TRUE(ref.ok);
        ExpectReadsAsReference(data, ref, ref.w, ref.h);
    }
}

TEST(JpegDecodeExact, ReconstructionThreadsChangeNoPixel)
{
    const int w = 1200, h = 900;
    for (int restart : {0, 7}) {
        EncodeOptions o;
        o.restartInterval = restart;
        const Bytes data = Encode(w, h, MakePicture(w, h, 3), o);
        std::vector<COLORREF> serial, threaded;
        for (int workers : {0, 3}) {
            CMemoryByteSource src(data.data(), data.size());
            CJpegDecoder dec(src);
            ASSERT_EQ(dec.ParseMarkers(3), 1);
            ASSERT_EQ(dec.SelectSamplingLayout(), 1);
            ASSERT_EQ(dec.PrepareDecoding(), 1);
            std::vector<COLORREF>& out = workers ? threaded : serial;
            out.assign(static_cast<size_t>(w) * h, 0);
            ASSERT_EQ(dec.DecodeScaled(out.data(), 1, nullptr, workers), 1);
        }
        EXPECT_TRUE(serial == threaded) << "restart interval " << restart;
    }
}

// Every baseline three-component file of the suites decodes close to the library's decode
// (which up-samples chroma across MCU edges, where the two differ most); the others are
// refused with a failure result.
TEST(JpegDecodeConformance, SuiteFilesDecodeCloseToTheLibrary)
{
    const char* folders[] = {"libjpeg-turbo-testimages", "libjxl-jpeg-variants", "exif-samples/jpg"};
    if (!std::filesystem::exists(TestData(folders[0])))
        GTEST_SKIP() << "test data absent";
    double worstPsnr = 1000;
    int worstDiff = 0;
    std::string worstPsnrFile, worstDiffFile;
    int decoded = 0, refused = 0;
    for (const char* folder : folders)
        for (const auto& e : std::filesystem::recursive_directory_iterator(TestData(folder))) {
            const std::string ext = e.path().extension().string();
            if (ext != ".jpg" && ext != ".jpeg" && ext != ".JPG")
                continue;
            const std::string name = std::filesystem::relative(e.path(), TestData("")).string();
            SCOPED_TRACE(name);
            const Bytes data = ReadBytes(e.path().string());
            const LibDecoded lib = LibDecode(data);
            const OurRead ours = ReadOurs(data);
            if (ours.result < 1) {
                ++refused;
                // Refused: a baseline three-component file may only be refused for its
                // sampling factors or for damage the library also reports.
                if (lib.ok && lib.baseline && lib.warnings == 0) {
                    CMemoryByteSource src(data.data(), data.size());
                    CJpegDecoder dec(src);
                    ASSERT_EQ(dec.ParseMarkers(3), 1);
                    EXPECT_EQ(dec.SelectSamplingLayout(), -1) << "refused with result " << ours.result;
                }
                continue;
            }
            ++decoded;
            ASSERT_TRUE(lib.ok);
            ASSERT_EQ(ours.size, CSize(lib.width, lib.height));
            const Difference d = Compare(ours.pixels, lib.rgb);
            std::cout << "  " << name << ": PSNR " << d.psnr << " dB, max difference " << d.maxDiff << "\n";
            EXPECT_GE(d.psnr, 40.0);
            EXPECT_LE(d.maxDiff, 64);
            if (d.psnr < worstPsnr) {
                worstPsnr = d.psnr;
                worstPsnrFile = name;
            }
            if (d.maxDiff > worstDiff) {
                worstDiff = d.maxDiff;
                worstDiffFile = name;
            }
        }
    std::cout << "decoded " << decoded << ", refused " << refused << "; worst PSNR " << worstPsnr << " dB ("
              << worstPsnrFile << "), largest channel difference " << worstDiff << " (" << worstDiffFile << ")\n";
    EXPECT_GE(decoded, 70);
}

TEST(JpegDecode, OtherCodingsAreRefusedWithTheGreyFill)
{
    const int w = 48, h = 32;
    const auto pic = MakePicture(w, h);
    struct Case {
        const char* name;
        Bytes data;
    };
    std::vector<Case> cases;
    EncodeOptions o;
    o.progressive = true;
    cases.push_back({"progressive", Encode(w, h, pic, o)});
    o = {};
    o.arithmetic = true;
    cases.push_back({"arithmetic", Encode(w, h, pic, o)});
    o = {};
    o.grey = true;
    cases.push_back({"grey-scale", Encode(w, h, pic, o)});
    o = {};
    o.cmyk = true;
    cases.push_back({"four components", Encode(w, h, pic, o)});
    Bytes lossless = Encode(w, h, pic);
    lossless[FindMarker(lossless, 0xC0) + 1] = 0xC3;
    cases.push_back({"lossless frame", lossless});
    if (std::filesystem::exists(TestData("libjpeg-turbo-testimages/monkey12.jpg")))
        cases.push_back({"12-bit", ReadBytes(TestData("libjpeg-turbo-testimages/monkey12.jpg"))});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OurRead r = ReadOurs(c.data, CSize(w, h));
        EXPECT_EQ(r.result, -1);
        EXPECT_TRUE(AllPixels(r.pixels, kUnreadableGrey));
    }
}

// Restart markers, re-coded Huffman tables, other component ids, fill bytes, stray bytes,
// extra segments and long comments change the stream but not one pixel.
TEST(JpegDecode, StreamVariantsGiveTheSamePixels)
{
    const int w = 80, h = 56;
    const auto pic = MakePicture(w, h, 5);
    const Bytes base = Encode(w, h, pic);
    const OurRead expected = ReadOurs(base);
    ASSERT_EQ(expected.result, 1);

    struct Case {
        const char* name;
        Bytes data;
    };
    std::vector<Case> cases;
    EncodeOptions o;
    o.restartInterval = 1;
    cases.push_back({"restart every MCU", Encode(w, h, pic, o)});
    o.restartInterval = 4;
    cases.push_back({"restart every 4 MCUs", Encode(w, h, pic, o)});
    o = {};
    o.optimize = true;
    cases.push_back({"optimised Huffman tables", Encode(w, h, pic, o)});
    {
        Bytes d = base;
        const size_t sof = FindMarker(d, 0xC0);
        const size_t sos = FindMarker(d, 0xDA);
        for (int i = 0; i < 3; ++i) {
            d[sof + 4 + 6 + 3 * i] = static_cast<uint8_t>(i);
            d[sos + 4 + 1 + 2 * i] = static_cast<uint8_t>(i);
        }
        cases.push_back({"component ids 0, 1, 2", d});
    }
    cases.push_back({"fill bytes before a marker", Insert(base, FindMarker(base, 0xDB), {0xFF, 0xFF, 0xFF})});
    cases.push_back({"stray bytes between segments", Insert(base, FindMarker(base, 0xC0), {'a', 'b', 0x00, 'c'})});
    {
        Bytes body(70, 'x');
        body[10] = 0xFF;
        body[11] = 0xD9;
        body[30] = 0xFF;
        body[31] = 0xC2;
        cases.push_back({"long comment with marker bytes", Insert(base, FindMarker(base, 0xDB), Segment(0xFE, body))});
    }
    cases.push_back({"application segments",
                     Insert(base, FindMarker(base, 0xDB),
                            Segment(0xED, Bytes(300, 0xFF)))});
    {
        const std::string xmp = "http://ns.adobe.com/xap/1.0/";
        Bytes body(xmp.begin(), xmp.end());
        body.push_back(0);
        body.insert(body.end(), 40, 'x');
        cases.push_back({"XMP segment", Insert(base, FindMarker(base, 0xDB), Segment(0xE1, body))});
    }
    {
        Bytes d = base;
        d.insert(d.end(), {0x12, 0x34, 0xFF, 0xD8, 0xFF, 0xE0});
        cases.push_back({"data after the end of the picture", d});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OurRead r = ReadOurs(c.data);
        ASSERT_EQ(r.result, 1);
        EXPECT_TRUE(r.pixels == expected.pixels);
    }
}

TEST(JpegDecode, DamagedFilesFailCleanly)
{
    const int w = 64, h = 48;
    const Bytes base = Encode(w, h, MakePicture(w, h, 9));
    ASSERT_EQ(ReadOurs(base).result, 1);
    const size_t dht = FindMarker(base, 0xC4);
    const size_t dqt = FindMarker(base, 0xDB);
    const size_t sof = FindMarker(base, 0xC0);
    const size_t sos = FindMarker(base, 0xDA);
    const size_t scan = sos + SegmentLength(base, sos);
    ASSERT_NE(dht, std::string::npos);

    struct Case {
        const char* name;
        Bytes data;
    };
    std::vector<Case> cases;
    {
        Bytes d = base;
        while (FindMarker(d, 0xC4) != std::string::npos)
            d = RemoveSegment(d, FindMarker(d, 0xC4));
        cases.push_back({"no Huffman tables", d});
    }
    {
        Bytes table = {0x00, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2};
        Bytes d = RemoveSegment(base, dht);
        cases.push_back({"Huffman code space over-filled", Insert(d, dht, Segment(0xC4, table))});
    }
    {
        Bytes d = base;
        d[dht + 4] = (d[dht + 4] & 0xF0) | 5;
        cases.push_back({"Huffman table number 5", d});
    }
    {
        Bytes d = base;
        d[dqt + 4] = 4;
        cases.push_back({"quantisation table number 4", d});
    }
    {
        Bytes d = base;
        d[dqt + 4] = 0x10;
        cases.push_back({"16-bit quantisation table", d});
    }
    {
        Bytes d = base;
        d[sof + 4 + 6 + 2] = 4;
        cases.push_back({"frame names quantisation table 4", d});
    }
    {
        Bytes d = base;
        d[sos + 4 + 2] = 0x44;
        cases.push_back({"scan names Huffman tables 4", d});
    }
    {
        Bytes d = base;
        d[dqt + 2] = 0;
        d[dqt + 3] = 1;
        cases.push_back({"segment length 1", d});
    }
    {
        Bytes d = base;
        const size_t app0 = FindMarker(d, 0xE0);
        d[app0 + 2] = 0;
        d[app0 + 3] = 0;
        cases.push_back({"segment length 0", d});
    }
    {
        Bytes d = base;
        d[sof + 4 + 3] = 0;
        d[sof + 4 + 4] = 0;
        cases.push_back({"width 0", d});
    }
    cases.push_back({"no frame header", RemoveSegment(base, sof)});
    {
        Bytes d(base.begin(), base.begin() + static_cast<ptrdiff_t>(sos));
        d.insert(d.end(), {0xFF, 0xD9});
        cases.push_back({"no scan", d});
    }
    {
        Bytes d = base;
        d[scan + (d.size() - scan) / 2] = 0xFF;
        d[scan + (d.size() - scan) / 2 + 1] = 0xC4;
        cases.push_back({"marker inside the scan data", d});
    }
    cases.push_back({"cut inside the headers", Bytes(base.begin(), base.begin() + static_cast<ptrdiff_t>(dht + 10))});
    cases.push_back({"cut in the middle of the scan", Bytes(base.begin(), base.begin() + static_cast<ptrdiff_t>(scan + (base.size() - scan) / 2))});
    cases.push_back({"scan data of ones", [&] {
                         Bytes d = base;
                         for (size_t i = scan; i + 2 < d.size(); i += 2) {
                             d[i] = 0xFF;
                             d[i + 1] = 0x00;
                         }
                         return d;
                     }()});
    cases.push_back({"empty file", Bytes()});
    cases.push_back({"start of image only", Bytes{0xFF, 0xD8}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (CSize size : {CSize(w, h), CSize(w / 8, h / 8), CSize(30, 30)}) {
            const OurRead r = ReadOurs(c.data, size);
            EXPECT_LT(r.result, 1) << size.cx << "x" << size.cy;
        }
    }
}

TEST(JpegDecode, ShortCommentsAreKeptLongOnesPassedOver)
{
    const int w = 16, h = 16;
    const Bytes base = Encode(w, h, MakePicture(w, h));
    const size_t at = FindMarker(base, 0xDB);
    const std::string text57(57, 'k'); // segment length 59
    Bytes body(text57.begin(), text57.end());
    const std::string path59 = WriteTemp("comment59.jpg", Insert(base, at, Segment(0xFE, body)));
    body.push_back('k'); // segment length 60
    const std::string path60 = WriteTemp("comment60.jpg", Insert(base, at, Segment(0xFE, body)));
    const std::string text = "Made by Seamora";
    Bytes shortBody(text.begin(), text.end());
    shortBody.push_back(0);
    shortBody.push_back('z');
    const std::string pathShort = WriteTemp("commentshort.jpg", Insert(base, at, Segment(0xFE, shortBody)));

    EXPECT_EQ(GetImageFileRect(pathShort), CRect(0, 0, w, h));
    EXPECT_EQ(LastImageComment, text);
    EXPECT_EQ(GetImageFileRect(path59), CRect(0, 0, w, h));
    EXPECT_EQ(LastImageComment, text57);
    EXPECT_EQ(GetImageFileRect(path60), CRect(0, 0, w, h));
    EXPECT_EQ(LastImageComment, "");
    CPixelArray pixels;
    CSize size(w, h);
    EXPECT_EQ(LoadImageFile(path60, pixels, size, CRect()), 1);
    EXPECT_EQ(LastImageComment, "");
    EXPECT_EQ(LastJpegPath, path60);
}

#endif

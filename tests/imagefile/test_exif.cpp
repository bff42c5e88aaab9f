// EXIF camera data: agreement with exiftool on the sample photos, and crafted EXIF blocks for
// byte order, value types, fall-backs for exposure and aperture, directory order, long and
// short texts, damaged offsets, and files without camera data after files with it.
#if SMRA_HAVE_LIBJPEG

#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "imagefile/image_file.h"
#include "test_jpeg_decode_fixtures.h"

using namespace jpegtest;

namespace {

// --- A reader for the flat JSON records of exiftool-keyfields.json --------------------------

struct JsonValue {
    bool isString = false;
    std::string text; // string value, or the number's text
    double number = 0;
};
using JsonRecord = std::map<std::string, JsonValue>;

std::vector<JsonRecord> ParseRecords(const std::string& s)
{
    std::vector<JsonRecord> out;
    size_t i = 0;
    auto skip = [&] {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
    };
    auto str = [&] {
        std::string r;
        ++i; // opening quote
        while (i < s.size() && s[i] != '"') {
            if (s[i] == '\\' && i + 1 < s.size()) {
                ++i;
                r += s[i] == 'n' ? '\n' : s[i];
            } else {
                r += s[i];
            }
            ++i;
        }
        ++i;
        return r;
    };
    skip();
    if (i >= s.size() || s[i] != '[')
        return out;
    ++i;
    for (;;) {
        skip();
        if (i >= s.size() || s[i] == ']')
            break;
        if (s[i] == ',') {
            ++i;
            continue;
        }
        if (s[i] != '{')
            return {};
        ++i;
        JsonRecord rec;
        for (;;) {
            skip();
            if (s[i] == '}') {
                ++i;
                break;
            }
            if (s[i] == ',') {
                ++i;
                continue;
            }
            const std::string key = str();
            skip();
            ++i; // colon
            skip();
            JsonValue v;
            if (s[i] == '"') {
                v.isString = true;
                v.text = str();
            } else {
                const size_t start = i;
                while (i < s.size() && s[i] != ',' && s[i] != '}' && !std::isspace(static_cast<unsigned char>(s[i])))
                    ++i;
                v.text = s.substr(start, i - start);
                v.number = std::strtod(v.text.c_str(), nullptr);
            }
            rec[key] = v;
        }
        out.push_back(rec);
    }
    return out;
}

std::string TrimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

bool Near(double a, double b) { return std::abs(a - b) <= 1e-6 * std::max(1.0, std::abs(b)); }

// --- Crafted EXIF blocks ---------------------------------------------------------------------

struct Tag {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    Bytes payload; // the value bytes in file order; more than 4 go to the data area
};

struct Order {
    bool big;
    Bytes U16(uint32_t v) const
    {
        return big ? Bytes{uint8_t(v >> 8), uint8_t(v)} : Bytes{uint8_t(v), uint8_t(v >> 8)};
    }
    Bytes U32(uint32_t v) const
    {
        return big ? Bytes{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}
                   : Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }
    Tag Rational(uint16_t tag, int32_t num, int32_t den, bool isSigned = false) const
    {
        Bytes p = U32(static_cast<uint32_t>(num));
        const Bytes d = U32(static_cast<uint32_t>(den));
        p.insert(p.end(), d.begin(), d.end());
        return {tag, static_cast<uint16_t>(isSigned ? 10 : 5), 1, p};
    }
    Tag Ascii(uint16_t tag, const std::string& text) const
    {
        Bytes p(text.begin(), text.end());
        p.push_back(0);
        return {tag, 2, static_cast<uint32_t>(p.size()), p};
    }
    Tag Short(uint16_t tag, uint16_t v) const
    {
        Bytes p = U16(v);
        p.resize(4, 0);
        return {tag, 3, 1, p};
    }
};

constexpr uint16_t kExifPointer = 34665;

// The TIFF block: header, IFD0 (with the Exif pointer at exifAt, -1 for none), the Exif
// directory, then the data area.
Bytes BuildTiff(const Order& o, std::vector<Tag> ifd0, const std::vector<Tag>& exif, int exifAt)
{
    if (exifAt >= 0)
        ifd0.insert(ifd0.begin() + exifAt, Tag{kExifPointer, 4, 1, Bytes(4, 0)});
    const uint32_t ifd0Off = 8;
    const uint32_t exifOff = ifd0Off + 2 + 12 * static_cast<uint32_t>(ifd0.size()) + 4;
    uint32_t dataOff = exifOff + 2 + 12 * static_cast<uint32_t>(exif.size()) + 4;
    Bytes data;
    auto directory = [&](const std::vector<Tag>& tags) {
        Bytes d = o.U16(static_cast<uint32_t>(tags.size()));
        for (const Tag& t : tags) {
            auto add = [&](const Bytes& b) { d.insert(d.end(), b.begin(), b.end()); };
            add(o.U16(t.tag));
            add(o.U16(t.type));
            add(o.U32(t.count));
            if (t.tag == kExifPointer && t.type == 4) {
                add(o.U32(exifOff));
            } else if (t.payload.size() <= 4) {
                Bytes p = t.payload;
                p.resize(4, 0);
                add(p);
            } else {
                add(o.U32(dataOff + static_cast<uint32_t>(data.size())));
                data.insert(data.end(), t.payload.begin(), t.payload.end());
            }
        }
        const Bytes next = o.U32(0);
        d.insert(d.end(), next.begin(), next.end());
        return d;
    };
    Bytes out = o.big ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
    const Bytes magic = o.U16(42), first = o.U32(ifd0Off);
    out.insert(out.end(), magic.begin(), magic.end());
    out.insert(out.end(), first.begin(), first.end());
    const Bytes d0 = directory(ifd0);
    const Bytes d1 = directory(exif);
    out.insert(out.end(), d0.begin(), d0.end());
    out.insert(out.end(), d1.begin(), d1.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// A small picture with the given APP1 body right after its start-of-image marker.
Bytes PictureWithApp1(const Bytes& app1Body)
{
    const Bytes picture = Encode(16, 16, MakePicture(16, 16));
    return Insert(picture, 2, Segment(0xE1, app1Body));
}

Bytes ExifBody(const Bytes& tiff)
{
    Bytes b = {'E', 'x', 'i', 'f', 0, 0};
    b.insert(b.end(), tiff.begin(), tiff.end());
    return b;
}

// Reads the header of the file (as the size query does) and answers its path.
std::string QueryHeader(const std::string& name, const Bytes& data)
{
    const std::string path = WriteTemp(name, data);
    EXPECT_EQ(JpegGetImageRect(path), CRect(0, 0, 16, 16)) << "the picture itself stays readable";
    return path;
}

// What a read leaves process-wide: the camera values, the record and the comment.
struct ProcessWideCamera {
    CJpegCameraData values = CurrentJpegCameraData();
    std::string comment = LastImageComment;
    bool operator==(const ProcessWideCamera&) const = default;
};

// A picture of 256 x 192 with its own camera block (none when tiff is empty) and comment.
std::string CameraPicture(const std::string& name, const Bytes& tiff, const std::string& comment, int seed)
{
    Bytes data = Encode(256, 192, MakePicture(256, 192, seed));
    data = Insert(data, 2, Segment(0xFE, Bytes(comment.begin(), comment.end())));
    if (!tiff.empty())
        data = Insert(data, 2, Segment(0xE1, ExifBody(tiff)));
    return WriteTemp(name, data);
}

} // namespace

// Reads on two threads at once each keep their own camera data and change nothing
// process-wide; handed over, a private read leaves exactly what the ordinary read leaves.
TEST(Exif, PrivateReadsKeepTheirCameraDataToThemselves)
{
    const Order mm{true}, ii{false};
    const std::string a = CameraPicture(
        "exif_private_a.jpg",
        BuildTiff(mm, {mm.Ascii(272, "Camera A"), mm.Rational(37386, 180, 10)},
                  {mm.Rational(33434, 1, 250), mm.Rational(33437, 28, 10), mm.Ascii(36867, "2008:03:15 09:52:01")}, 2),
        "comment of A", 1);
    const std::string b = CameraPicture(
        "exif_private_b.jpg",
        BuildTiff(ii, {ii.Ascii(272, "Camera B")}, {ii.Rational(37377, 8, 1, true), ii.Rational(37378, 4, 1)}, 1),
        "comment of B", 2);
    const std::string plain = CameraPicture("exif_private_plain.jpg", {}, "no camera", 3);

    // Each file read alone gives the record the concurrent reads must give.
    const CSize canvases[] = {CSize(32, 24), CSize(160, 120)};
    const CJpegPicture aloneA = JpegReadPicture(a, canvases[0], CRect(), {});
    const CJpegPicture aloneB = JpegReadPicture(b, canvases[0], CRect(), {});
    ASSERT_EQ(aloneA.result, 1);
    ASSERT_EQ(aloneA.camera.model, "Camera A");
    EXPECT_EQ(aloneA.comment, "comment of A");
    EXPECT_EQ(aloneA.camera.exif.FilePath, a);
    ASSERT_EQ(aloneB.camera.model, "Camera B");
    EXPECT_NEAR(aloneB.camera.exposure, 0.00390625, 1e-12);
    EXPECT_NEAR(aloneB.camera.fNumber, 4.0, 1e-12);

    // A known process-wide state that the private reads must leave alone.
    ResetLastJpegValues("/elsewhere/sentinel.jpg");
    LastExifModel = "Sentinel";
    LastExifExposure = 9.0;
    ExifInfo.Model = "Sentinel";
    LastImageComment = "sentinel";
    const ProcessWideCamera before;

    auto hammer = [&canvases](const std::string& path, const CJpegPicture* alone, int* mismatches) {
        for (int i = 0; i < 60; ++i) {
            const CJpegPicture p = JpegReadPicture(path, canvases[i % 2], CRect(), {});
            if (p.result != 1 || !(p.camera == alone->camera) || p.comment != alone->comment ||
                p.size != CSize(256, 192))
                ++*mismatches;
        }
    };
    int badA = 0, badB = 0;
    std::thread ta(hammer, a, &aloneA, &badA);
    std::thread tb(hammer, b, &aloneB, &badB);
    ta.join();
    tb.join();
    EXPECT_EQ(badA, 0);
    EXPECT_EQ(badB, 0);
    EXPECT_TRUE(ProcessWideCamera() == before) << "a private read touched the process-wide camera data";

    // Handing a private read over equals the ordinary read, also for a file without camera
    // data after one with it, and for a file that does not open.
    const std::string missing = std::string(SMRA_TEST_TMPDIR) + "/exif_private_missing.jpg";
    for (const std::string& path : {a, b, plain, a, missing}) {
        for (CSize canvas : canvases) {
            SCOPED_TRACE(path + " at " + std::to_string(canvas.cx));
            const std::string commentBefore = LastImageComment;
            CPixelArray ordinaryPixels;
            CSize ordinarySize = canvas;
            const int ordinary = JpegReadImage(path, ordinaryPixels, ordinarySize, CRect());
            const ProcessWideCamera afterOrdinary;

            // The camera values are made wrong on purpose; the comment is put back, as a file
            // that does not open leaves it as it was.
            ResetLastJpegValues("/elsewhere/sentinel.jpg");
            LastExifModel = "Sentinel";
            LastImageComment = commentBefore;
            CJpegPicture p = JpegReadPicture(path, canvas, CRect(), {});
            CPixelArray pixels;
            CSize size = canvas;
            EXPECT_EQ(JpegPublishPicture(p, pixels, size), ordinary);
            EXPECT_TRUE(ProcessWideCamera() == afterOrdinary);
            EXPECT_EQ(LastExifModel, afterOrdinary.values.model);
            EXPECT_EQ(size, ordinarySize);
            EXPECT_TRUE(pixels == ordinaryPixels);
        }
    }
}

TEST(Exif, SamplePhotosAgreeWithExiftool)
{
    const std::string json = TestData("exif-samples/exiftool-keyfields.json");
    if (!std::filesystem::exists(json))
        GTEST_SKIP() << "test data absent";
    std::ifstream f(json);
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::vector<JsonRecord> records = ParseRecords(text);
    ASSERT_GT(records.size(), 50u);
    int checked = 0;
    for (const JsonRecord& rec : records) {
        std::string file = rec.at("SourceFile").text;
        if (file.rfind("./", 0) == 0)
            file = file.substr(2);
        const std::string ext = file.substr(file.find_last_of('.') + 1);
        if (ext != "jpg" && ext != "jpeg")
            continue;
        SCOPED_TRACE(file);
        const std::string path = TestData("exif-samples/" + file);
        ExifInfo.Reset();
        JpegGetImageRect(path);
        ++checked;

        const auto field = [&](const char* key) -> std::optional<JsonValue> {
            const auto it = rec.find(key);
            return it == rec.end() ? std::nullopt : std::optional<JsonValue>(it->second);
        };
        if (const auto model = field("Model"))
            EXPECT_EQ(TrimRight(LastExifModel), TrimRight(model->text));
        else
            EXPECT_EQ(LastExifModel, "");
        if (const auto date = field("DateTimeOriginal")) {
            // exiftool finds these dates outside the EXIF directories: in the maker note, and
            // in XMP behind an Exif pointer stored with a text type.
            if (file != "jpg/Reconyx_HC500_Hyperfire.jpg" && file != "jpg/tests/30-type_error.jpg") {
                EXPECT_EQ(LastExifDate, date->text);
            }
        } else {
            EXPECT_EQ(LastExifDate, "");
        }
        if (const auto focal = field("FocalLength"))
            EXPECT_TRUE(Near(LastExifFocalLength, focal->number)) << LastExifFocalLength << " vs " << focal->text;
        else
            EXPECT_TRUE(LastExifFocalLength == 0.0 || LastExifFocalLength == EXIF_MISSING) << LastExifFocalLength;
        if (const auto res = field("FocalPlaneXResolution"))
            EXPECT_TRUE(Near(ExifInfo.FocalPlaneXResolution, res->number)) << ExifInfo.FocalPlaneXResolution;
        else
            EXPECT_EQ(ExifInfo.FocalPlaneXResolution, EXIF_MISSING);
        if (const auto unit = field("FocalPlaneResolutionUnit"))
            EXPECT_EQ(ExifInfo.FocalPlaneResolutionUnit, static_cast<int>(unit->number));
        else
            EXPECT_EQ(ExifInfo.FocalPlaneResolutionUnit, EXIF_MISSING);
        if (!ExifInfo.FilePath.empty()) {
            EXPECT_EQ(ExifInfo.FilePath, path);
        }
    }
    EXPECT_GT(checked, 60);
}

TEST(Exif, CraftedBlocks)
{
    const Order mm{true}, ii{false};
    struct Case {
        const char* name;
        Bytes tiff;
        std::string model, date;
        double focal, exposure, fnumber;
        double planeRes;
        int unit;
    };
    const double M = EXIF_MISSING;
    const int U = EXIF_MISSING;
    const std::vector<Case> cases = {
        {"big-endian, all values",
         BuildTiff(mm, {mm.Ascii(272, "NIKON D70"), mm.Rational(37386, 180, 10)},
                   {mm.Rational(33434, 1, 250), mm.Rational(33437, 28, 10), mm.Ascii(36867, "2008:03:15 09:52:01"),
                    mm.Rational(41486, 4438356, 1000), mm.Short(41488, 2)},
                   2),
         "NIKON D70", "2008:03:15 09:52:01", 18.0, 0.004, 2.8, 4438.356, 2},
        {"little-endian, APEX values only",
         BuildTiff(ii, {}, {ii.Rational(37377, 8, 1, true), ii.Rational(37378, 4, 1)}, 0), "", "", M,
         0.00390625, 4.0, M, U},
        {"negative shutter-speed value",
         BuildTiff(ii, {}, {ii.Rational(37377, -2, 1, true)}, 0), "", "", M, 4.0, 0.0, M, U},
        {"model of three characters inside the entry",
         BuildTiff(ii, {ii.Ascii(272, "Abc")}, {}, 1), "Abc", "", M, 0.0, 0.0, M, U},
        {"denominator 0 counts as 1",
         BuildTiff(mm, {}, {mm.Rational(37386, 35, 0)}, 0), "", "", 35.0, 0.0, 0.0, M, U},
        {"Exif pointer before the model",
         BuildTiff(ii, {ii.Ascii(272, "Hidden")}, {ii.Rational(37386, 50, 1)}, 0), "", "", 50.0, 0.0, 0.0, M, U},
        {"model longer than 50 bytes",
         BuildTiff(ii, {ii.Ascii(272, std::string(60, 'Q'))}, {}, 1), std::string(50, 'Q'), "", M, 0.0, 0.0, M, U},
        {"focal length as a short, F number as text",
         BuildTiff(mm, {}, {mm.Short(37386, 35), mm.Ascii(33437, "f/2.8"), Tag{41488, 4, 1, mm.U32(3)}}, 0), "", "",
         35.0, 0.0, 0.0, M, 3},
        {"no Exif directory",
         BuildTiff(ii, {ii.Ascii(272, "IFD0 only"), ii.Rational(37386, 24, 1)}, {}, -1), "IFD0 only", "", 24.0, 0.0,
         0.0, M, U},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = QueryHeader("exif_crafted.jpg", PictureWithApp1(ExifBody(c.tiff)));
        EXPECT_EQ(LastExifModel, c.model);
        EXPECT_EQ(LastExifDate, c.date);
        EXPECT_TRUE(Near(LastExifFocalLength, c.focal)) << LastExifFocalLength;
        EXPECT_TRUE(Near(LastExifExposure, c.exposure)) << LastExifExposure;
        EXPECT_TRUE(Near(LastExifFNumber, c.fnumber)) << LastExifFNumber;
        EXPECT_TRUE(Near(ExifInfo.FocalPlaneXResolution, c.planeRes)) << ExifInfo.FocalPlaneXResolution;
        EXPECT_EQ(ExifInfo.FocalPlaneResolutionUnit, c.unit);
        EXPECT_EQ(ExifInfo.Model, c.model);
        // The path is recorded when the Exif directory was read.
        const bool read = std::string(c.name) != "no Exif directory";
        EXPECT_EQ(ExifInfo.FilePath, read ? path : "");
    }
}

// The size of the image the camera data describe, as a short or a long, in either byte order;
// absent, it is marked missing.
TEST(Exif, ImageSizeOfTheCameraData)
{
    const Order mm{true}, ii{false};
    const int U = EXIF_MISSING;
    const struct {
        const char* name;
        Bytes tiff;
        int width, height;
    } cases[] = {
        {"shorts, big-endian", BuildTiff(mm, {}, {mm.Short(40962, 800), mm.Short(40963, 600)}, 0), 800, 600},
        {"longs, little-endian",
         BuildTiff(ii, {}, {Tag{40962, 4, 1, ii.U32(6000)}, Tag{40963, 4, 1, ii.U32(4000)}}, 0), 6000, 4000},
        {"width only", BuildTiff(ii, {}, {ii.Short(40962, 1024)}, 0), 1024, U},
        {"neither", BuildTiff(ii, {}, {ii.Rational(37386, 50, 1)}, 0), U, U},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QueryHeader("exif_size.jpg", PictureWithApp1(ExifBody(c.tiff)));
        EXPECT_EQ(ExifInfo.PixelXDimension, c.width);
        EXPECT_EQ(ExifInfo.PixelYDimension, c.height);
    }
}

TEST(Exif, DamagedBlocksLeaveThePictureReadable)
{
    const Order ii{false};
    Bytes farOffset = BuildTiff(ii, {ii.Ascii(272, "A model that lies far away")}, {}, -1);
    farOffset[8 + 2 + 8] = 0xF0; // the text's offset points far beyond the file
    farOffset[8 + 2 + 11] = 0x7F;
    Bytes hugeCount = BuildTiff(ii, {ii.Ascii(272, "Model")}, {}, -1);
    hugeCount[8] = 0xFF;
    hugeCount[9] = 0xFF;
    Bytes badExifPointer = BuildTiff(ii, {ii.Ascii(272, "Cam")}, {ii.Rational(37386, 5, 1)}, 1);
    badExifPointer[8 + 2 + 12 + 8] = 0xFF;
    badExifPointer[8 + 2 + 12 + 11] = 0xFF;
    const Bytes cases[] = {farOffset, hugeCount, badExifPointer, Bytes{'I', 'I', 42}, Bytes{'M', 'M', 0, 43, 0, 0, 0, 8}};
    for (const Bytes& tiff : cases) {
        QueryHeader("exif_damaged.jpg", PictureWithApp1(ExifBody(tiff)));
        EXPECT_EQ(LastExifExposure, 0.0);
        EXPECT_EQ(LastExifFNumber, 0.0);
    }
}

// The camera values of one file never show up as those of the next: a file without EXIF, or
// with a non-EXIF or broken APP1 segment, leaves them empty, while the record keeps the path
// it belongs to.
TEST(Exif, NoCameraDataCarriedOverToTheNextFile)
{
    const Order mm{true};
    const Bytes tiff = BuildTiff(mm, {mm.Ascii(272, "First camera")}, {mm.Rational(33434, 1, 100)}, 1);
    const std::string first = QueryHeader("exif_first.jpg", PictureWithApp1(ExifBody(tiff)));
    ASSERT_EQ(LastExifModel, "First camera");
    ASSERT_EQ(ExifInfo.FilePath, first);

    const std::string xmp = "http://ns.adobe.com/xap/1.0/";
    Bytes xmpBody(xmp.begin(), xmp.end());
    xmpBody.push_back(0);
    xmpBody.insert(xmpBody.end(), 30, 'x');
    const Bytes broken = ExifBody(Bytes{'X', 'X', 0, 42, 0, 0, 0, 8});
    const std::pair<const char*, Bytes> next[] = {
        {"no APP1", Encode(16, 16, MakePicture(16, 16))},
        {"XMP only", PictureWithApp1(xmpBody)},
        {"broken TIFF header", PictureWithApp1(broken)},
    };
    for (const auto& [name, data] : next) {
        SCOPED_TRACE(name);
        QueryHeader("exif_next.jpg", data);
        EXPECT_EQ(LastExifModel, "");
        EXPECT_EQ(LastExifExposure, 0.0);
        EXPECT_EQ(LastExifFocalLength, 0.0);
        EXPECT_EQ(ExifInfo.FilePath, first);
        EXPECT_EQ(ExifInfo.Model, "First camera");
    }
}

#ifdef SMRA_IMGTOOL_PATH
TEST(Exif, ImgtoolInfoShowsTheCameraData)
{
    const std::string photo = TestData("exif-samples/jpg/Canon_40D.jpg");
    if (!std::filesystem::exists(photo))
        GTEST_SKIP() << "test data absent";
    FILE* p = popen((std::string("\"") + SMRA_IMGTOOL_PATH + "\" info \"" + photo + "\"").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(out, "kind: JPEG\nwidth: 100\nheight: 68\ncamera model: Canon EOS 40D\ndate: 2008:05:30 15:56:01\n"
                   "exposure: 0.00625 s\nF number: 7.1\nfocal length: 135 mm\n");
}
#endif

#endif

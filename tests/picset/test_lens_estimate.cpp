// The initial lens estimate: the size rule, the sensor resolution, the camera values of the
// profile and the built-in table, the stored size values, and camera data of another file.
#include "picset/lens_estimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "imagefile/exif.h"
#include "imagefile/image_file.h"
#include "picset/kpic.h"
#include "platform/settings_store.h"

namespace fs = std::filesystem;

namespace {

class LensEstimateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / "lens" / info->name();
        fs::remove_all(dir);
        m_profile = std::make_unique<platform::CSettingsStore>(dir);
    }

    // Camera data that belongs to the picture "/photos/a.jpg".
    static LensCameraData OwnCamera(const std::string& model, double focal)
    {
        LensCameraData c;
        c.filePath = "/photos/a.jpg";
        c.model = model;
        c.focalLength = focal;
        return c;
    }

    int Estimate(int w, int h, const LensCameraData& camera, LensFigures& lens,
                 const std::string& path = "/photos/a.jpg")
    {
        return EstimateLens(path, CRect(0, 0, w, h), camera, *m_profile, lens);
    }

    std::unique_ptr<platform::CSettingsStore> m_profile;
};

} // namespace

TEST_F(LensEstimateTest, SizeRuleWithoutCameraData)
{
    struct Case {
        int w, h;
        double lens, dflt, minimum;
    };
    const double d641 = std::hypot(641.0, 480.0);
    const double d640x481 = std::hypot(640.0, 481.0);
    const Case cases[] = {
        {640, 480, 640.0, 640.0, 296.0},
        {641, 480, 0.8 * d641, 4 * 0.8 * d641, 0.37 * d641},             // width not a multiple of 8
        {640, 481, 0.8 * d640x481, 4 * 0.8 * d640x481, 0.37 * d640x481}, // odd height
    };
    for (const Case& c : cases) {
        LensFigures lens;
        EXPECT_EQ(Estimate(c.w, c.h, LensCameraData{}, lens), -1) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(lens.lensFocal, c.lens) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(lens.defaultFocal, c.dflt) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(lens.minFocal, c.minimum) << c.w << "x" << c.h;
        EXPECT_EQ(lens.lensSource, LENS_SOURCE_SIZE);
    }

    LensFigures empty;
    empty.lensFocal = 5.0;
    EXPECT_EQ(Estimate(0, 480, LensCameraData{}, empty), -1);
    EXPECT_EQ(empty.lensFocal, 1000.0);
    EXPECT_EQ(empty.defaultFocal, 1000.0);
    EXPECT_EQ(empty.minFocal, 100.0);
    EXPECT_EQ(empty.lensSource, LENS_SOURCE_NONE);
}

TEST_F(LensEstimateTest, SensorResolutionGivesThePixelPitch)
{
    struct Case {
        int unit;
        double resolution;
        int source;
        double lens;
    };
    const double sizeRule = 800.0 * 23.1 * 5.4 / 113; // D = 800, v = trunc(4 sqrt(800)) = 113
    const Case cases[] = {
        {2, 2540.0, LENS_SOURCE_EXIF_PLANE, 540.0}, // inch: 0.01 mm per pixel
        {3, 1000.0, LENS_SOURCE_EXIF_PLANE, 540.0}, // centimetre: 0.01 mm per pixel
        {4, 1000.0, LENS_SOURCE_SIZE, sizeRule},    // other units are not understood
        {2, -32760.0, LENS_SOURCE_SIZE, sizeRule},  // missing resolution
        {-32760, 2540.0, LENS_SOURCE_SIZE, sizeRule},
    };
    for (const Case& c : cases) {
        LensCameraData camera = OwnCamera("Some Camera", 5.4);
        camera.focalPlaneResolutionUnit = c.unit;
        camera.focalPlaneXResolution = c.resolution;
        LensFigures lens;
        const int result = Estimate(640, 480, camera, lens);
        EXPECT_EQ(result, c.source == LENS_SOURCE_EXIF_PLANE ? 1 : 3) << c.unit;
        EXPECT_EQ(lens.lensSource, c.source) << c.unit;
        EXPECT_NEAR(lens.lensFocal, c.lens, 1e-9) << c.unit;
        EXPECT_EQ(lens.defaultFocal, lens.lensFocal);
        EXPECT_DOUBLE_EQ(lens.minFocal, 296.0);
    }
}

TEST_F(LensEstimateTest, CameraValueFromProfileBeforeTheBuiltInTable)
{
    const double d = 800.0;
    LensFigures lens;
    EXPECT_EQ(Estimate(640, 480, OwnCamera("E950", 7.0), lens), 3);
    EXPECT_EQ(lens.lensSource, LENS_SOURCE_CAMERA);
    EXPECT_DOUBLE_EQ(lens.lensFocal, d * 23.1 * 7.0 / 177); // 183 - 183 / 30
    EXPECT_EQ(lens.defaultFocal, lens.lensFocal);

    // A profile value wins; a value below 1 falls back to the table.
    ASSERT_TRUE(m_profile->WriteProfileInt("CFR_DATA", "[E950]", 200));
    EXPECT_EQ(Estimate(640, 480, OwnCamera("E950", 7.0), lens), 3);
    EXPECT_DOUBLE_EQ(lens.lensFocal, d * 23.1 * 7.0 / 200);
    ASSERT_TRUE(m_profile->WriteProfileInt("CFR_DATA", "[E950]", -3));
    EXPECT_EQ(Estimate(640, 480, OwnCamera("E950", 7.0), lens), 3);
    EXPECT_DOUBLE_EQ(lens.lensFocal, d * 23.1 * 7.0 / 177);

    // A camera known only to the profile.
    ASSERT_TRUE(m_profile->WriteProfileInt("CFR_DATA", "[My Cam]", 231));
    EXPECT_EQ(Estimate(640, 480, OwnCamera("My Cam", 10.0), lens), 3);
    EXPECT_EQ(lens.lensSource, LENS_SOURCE_CAMERA);
    EXPECT_DOUBLE_EQ(lens.lensFocal, 800.0);
}

TEST_F(LensEstimateTest, CameraTableMatchesKeysExactly)
{
    struct Case {
        const char* key;
        int value;
    };
    const Case cases[] = {
        {"[E950]", 177},          {"[SX112 ]", 178},  {"[C2500L      ]", 247},
        {"[QV-2000UX]", 175},     {"[SX112]", -1},    {"[e950]", -1},
        {"[E950 ]", -1},          {"E950", -1},       {"", -1},
        {"[KODAK DC290 Zoom Digital Camera (V01.00)]", 203},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LookupCameraTable(c.key), c.value) << '"' << c.key << '"';
}

TEST_F(LensEstimateTest, UnknownCameraUsesTheSizeRuleWithTheExifFocal)
{
    struct Case {
        int w, h;
        int v;
    };
    const Case cases[] = {{640, 480, 113}, {3000, 1987, 239}, {1, 1, 4}};
    for (const Case& c : cases) {
        LensFigures lens;
        EXPECT_EQ(Estimate(c.w, c.h, OwnCamera("NIKON D7000", 18.0), lens), 3);
        const double d = std::hypot(double(c.w), double(c.h));
        EXPECT_EQ(lens.lensSource, LENS_SOURCE_SIZE);
        EXPECT_DOUBLE_EQ(lens.lensFocal, d * 23.1 * 18.0 / c.v) << c.w;
        EXPECT_EQ(lens.defaultFocal, lens.lensFocal);
    }
}

TEST_F(LensEstimateTest, ThirtyFiveMillimetreEquivalentComesBeforeTheGuesses)
{
    // A 3000 x 2000 picture: diagonal 3605.55 px. f35 = 27 mm gives D x 27 / 43.267.
    const double d = std::hypot(3000.0, 2000.0);
    const double from35 = d * 27.0 / 43.267;
    m_profile->WriteProfileInt("DFCR_DATA", "[NIKON D7000]" + std::to_string(static_cast<int>(d)), 300);
    struct Case {
        const char* what;
        std::string model;
        double focal;
        double planeResolution; // pixels per inch; 0 none
        int f35;
        int result;
        int source;
        double lens;
    };
    const Case cases[] = {
        {"sensor resolution first", "NIKON D7000", 18.0, 4000.0, 27, 1, LENS_SOURCE_EXIF_PLANE, 18.0 * 4000.0 / 25.4},
        {"camera table next", "E950", 18.0, 0.0, 27, 3, LENS_SOURCE_CAMERA, d * 23.1 * 18.0 / (183 - 183 / 30)},
        {"then the 35 mm equivalent", "NIKON D7000", 18.0, 0.0, 27, 1, LENS_SOURCE_EXIF_35MM, from35},
        {"also without a model", "", 18.0, 0.0, 27, 1, LENS_SOURCE_EXIF_35MM, from35},
        {"also without a focal length", "NIKON D7000", EXIF_MISSING, 0.0, 27, 1, LENS_SOURCE_EXIF_35MM, from35},
        {"0 means unknown: the stored size values", "NIKON D7000", EXIF_MISSING, 0.0, 0, 1, LENS_SOURCE_SIZE,
         std::trunc(d) * 23.1 * 10.0 / 300},
        {"no tag: the size rule", "NIKON D7000", 18.0, 0.0, EXIF_MISSING, 3, LENS_SOURCE_SIZE,
         d * 23.1 * 18.0 / std::trunc(4.0 * std::sqrt(d))},
    };
    for (const Case& c : cases) {
        LensCameraData camera = OwnCamera(c.model, c.focal);
        camera.focalLength35mm = c.f35;
        if (c.planeResolution > 0.0) {
            camera.focalPlaneXResolution = c.planeResolution;
            camera.focalPlaneResolutionUnit = 2;
        }
        LensFigures lens;
        EXPECT_EQ(Estimate(3000, 2000, camera, lens), c.result) << c.what;
        EXPECT_EQ(lens.lensSource, c.source) << c.what;
        EXPECT_NEAR(lens.lensFocal, c.lens, 1e-9 * c.lens) << c.what;
        EXPECT_EQ(lens.defaultFocal, lens.lensFocal) << c.what;
    }
}

// The sensor resolution counts pixels of the image the camera wrote: a picture of another size
// (a resized copy, or one carrying the camera data of a smaller image) scales it by the ratio
// of the sizes, upright or turned; a picture of another shape takes its 35 mm equivalent
// where there is one. (6000-pixel photos carrying the data of 800-pixel images were given a
// focal of 692 pixels and fitted nothing.)
TEST_F(LensEstimateTest, SensorResolutionFollowsThePicturesOwnSize)
{
    // An 800 x 600 image of an 18 mm lens at 1000 pixels per centimetre: 1800 pixels.
    const double own = 18.0 * 1000.0 / 10.0;
    const int M = EXIF_MISSING;
    const struct Case {
        const char* what;
        int w, h;        // the picture
        int ew, eh;      // the size in the camera data
        int f35;
        int source;
        double lens;
    } cases[] = {
        {"sizes agree", 800, 600, 800, 600, 28, LENS_SOURCE_EXIF_PLANE, own},
        {"sizes agree, picture turned", 600, 800, 800, 600, 28, LENS_SOURCE_EXIF_PLANE, own},
        {"no size in the data", 6000, 4500, M, M, 28, LENS_SOURCE_EXIF_PLANE, own},
        {"enlarged copy", 6000, 4500, 800, 600, 28, LENS_SOURCE_EXIF_PLANE, own * 7.5},
        {"reduced copy, a pixel of rounding", 533, 399, 800, 600, 28, LENS_SOURCE_EXIF_PLANE, own * 533 / 800},
        {"enlarged copy, turned", 4500, 6000, 800, 600, 28, LENS_SOURCE_EXIF_PLANE, own * 7.5},
        {"width alone in the data", 1600, 1200, 800, M, 28, LENS_SOURCE_EXIF_PLANE, own * 2.0},
        {"another shape: the 35 mm equivalent", 800, 400, 800, 600, 28, LENS_SOURCE_EXIF_35MM,
         std::hypot(800.0, 400.0) * 28 / 43.267},
        {"another shape, no 35 mm equivalent: the pitch stands", 800, 400, 800, 600, 0, LENS_SOURCE_EXIF_PLANE, own},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CExifInfo exif;
        exif.FilePath = "/photos/a.jpg";
        exif.Model = "Some Camera";
        exif.FocalLength = 18.0;
        exif.FocalPlaneXResolution = 1000.0;
        exif.FocalPlaneResolutionUnit = 3;
        exif.FocalLength35mm = c.f35;
        exif.PixelXDimension = c.ew;
        exif.PixelYDimension = c.eh;
        LensFigures lens;
        EXPECT_EQ(Estimate(c.w, c.h, CameraDataFromExif(exif), lens), 1);
        EXPECT_EQ(lens.lensSource, c.source);
        EXPECT_NEAR(lens.lensFocal, c.lens, 1e-9 * c.lens);
        EXPECT_EQ(lens.defaultFocal, lens.lensFocal);
    }
}

TEST_F(LensEstimateTest, CameraDataAndExposureAreCopiedOnlyFromThePicturesOwnFile)
{
    LensCameraData camera = OwnCamera("E950", 7.0);
    camera.focalPlaneResolutionUnit = 2;
    camera.focalPlaneXResolution = 2540.0;
    camera.exposureTime = 0.004;
    camera.fNumber = 4.0;

    LensFigures own;
    Estimate(640, 480, camera, own);
    EXPECT_EQ(own.cameraModel, "E950");
    EXPECT_EQ(own.exifFocalLength, 7.0);
    EXPECT_DOUBLE_EQ(own.exposureFigure, 250.0);

    // The APEX values replace the direct ones.
    camera.shutterSpeedValue = 8.0;
    camera.apertureValue = 2.0;
    Estimate(640, 480, camera, own);
    EXPECT_DOUBLE_EQ(own.exposureFigure, 0.00390625 * 1e6 / 4.0);

    // Data of another file: nothing is copied and no camera-based source is used.
    LensFigures other;
    other.cameraModel = "kept";
    other.exifFocalLength = 3.0;
    other.exposureFigure = 9.0;
    EXPECT_EQ(Estimate(640, 480, camera, other, "/photos/b.jpg"), -1);
    EXPECT_EQ(other.cameraModel, "kept");
    EXPECT_EQ(other.exifFocalLength, 3.0);
    EXPECT_EQ(other.exposureFigure, 9.0);
    EXPECT_EQ(other.lensSource, LENS_SOURCE_SIZE);
    EXPECT_DOUBLE_EQ(other.lensFocal, 640.0);

    // The own file without a usable focal length: no exposure either without exposure data.
    LensFigures noFocal;
    EXPECT_EQ(Estimate(640, 480, OwnCamera("E950", -32760.0), noFocal), -1);
    EXPECT_EQ(noFocal.cameraModel, "E950");
    EXPECT_EQ(noFocal.exposureFigure, 0.0);
    EXPECT_EQ(noFocal.lensSource, LENS_SOURCE_SIZE);
}

TEST_F(LensEstimateTest, StoredSizeValuesByModelThenByExtension)
{
    // D = 800: key size text "800"; focal = 800 x 23.1 x 10 / v.
    LensFigures lens;
    lens.cameraModel = "X100";
    ASSERT_TRUE(m_profile->WriteProfileInt("DFCR_DATA", "dfltJ800", 231));
    EXPECT_EQ(Estimate(640, 480, LensCameraData{}, lens), 1);
    EXPECT_EQ(lens.lensSource, LENS_SOURCE_SIZE);
    EXPECT_DOUBLE_EQ(lens.lensFocal, 800.0);
    EXPECT_EQ(lens.defaultFocal, lens.lensFocal);

    ASSERT_TRUE(m_profile->WriteProfileInt("DFCR_DATA", "[X100]800", 462));
    EXPECT_EQ(Estimate(640, 480, LensCameraData{}, lens), 1);
    EXPECT_DOUBLE_EQ(lens.lensFocal, 400.0);

    // Other extensions and sizes do not match; an extensionless path uses "dflt" + size.
    EXPECT_EQ(LookupStoredLensData("/photos/a.png", 801, *m_profile, lens), -1);
    ASSERT_TRUE(m_profile->WriteProfileInt("DFCR_DATA", "dflt800", 2310));
    LensFigures bare;
    EXPECT_EQ(LookupStoredLensData("/photos/noext", 800, *m_profile, bare), 1);
    EXPECT_DOUBLE_EQ(bare.lensFocal, 80.0);

    // A stored value that is not positive is no value (it would give a negative focal).
    ASSERT_TRUE(m_profile->WriteProfileInt("DFCR_DATA", "dfltP640", -100));
    LensFigures negative;
    EXPECT_EQ(LookupStoredLensData("/photos/a.png", 640, *m_profile, negative), -1);
    EXPECT_EQ(negative.lensFocal, 1000.0);
}

// Real camera files: the size query parses the file's markers, which leaves its camera data
// in the process-wide EXIF record that the estimate reads.
TEST_F(LensEstimateTest, RealCameraFilesGiveTheirEstimates)
{
    const fs::path dir = fs::path(SMRA_TESTDATA_DIR) / "exif-samples" / "jpg";
    if (!fs::exists(dir))
        GTEST_SKIP() << "no EXIF samples at " << dir;
    struct Case {
        const char* file;
        int result;
        int source;
        double lens; // the expected arithmetic from the file's EXIF values
        const char* model; // as the camera writes it, trailing blanks included
    };
    const double ex750Diagonal = std::hypot(2164.0, 1626.0);
    const Case cases[] = {
        // focal length x focal-plane resolution / 25.4 mm per inch (or / 10 mm per cm)
        {"hdr/canon_hdr_NO.jpg", 1, LENS_SOURCE_EXIF_PLANE, 57.01900238 * 8427.983333 / 25.4, "Canon PowerShot SX60 HS"},
        {"tests/22-canon_tags.jpg", 1, LENS_SOURCE_EXIF_PLANE, 5.8 * 7142.857143 / 25.4, "Canon PowerShot SD300"},
        {"Fujifilm_FinePix_E500.jpg", 1, LENS_SOURCE_EXIF_PLANE, 4.7 * 4000.0 / 10.0, "FinePix E500   "},
        // a 480 x 360 copy of a 2272 x 1704 photo: the resolution scaled by 480 / 2272 (6808.5
        // pixels unscaled, a field of view of 4 degrees for a lens of 103 mm on 35 mm film)
        {"Canon_PowerShot_S40.jpg", 1, LENS_SOURCE_EXIF_PLANE, 21.3125 * (2272000.0 / 280.0) / 25.4 * 480.0 / 2272.0,
         "Canon PowerShot S40"},
        // no sensor resolution, model not in the table, 35 mm equivalent 38 mm: D x 38 / 43.267
        {"tests/35-empty.jpg", 1, LENS_SOURCE_EXIF_35MM, ex750Diagonal * 38.0 / 43.267, "EX-Z750"},
        // no focal length: the size rule alone
        {"Ricoh_Caplio_RR330.jpg", -1, LENS_SOURCE_SIZE, 100.0, "RR330      "},
        // no camera data in the file: the record of the file read before is not used
        {"xmp/no_exif.jpg", -1, LENS_SOURCE_SIZE, 0.8 * std::hypot(322.0, 466.0), ""},
    };
    for (const Case& c : cases) {
        const std::string path = (dir / c.file).string();
        const CRect rect = GetImageFileRect(path);
        ASSERT_FALSE(rect.IsRectEmpty()) << c.file;
        LensFigures lens;
        EXPECT_EQ(EstimateLens(path, rect, CameraDataFromExif(ExifInfo), *m_profile, lens), c.result) << c.file;
        EXPECT_EQ(lens.lensSource, c.source) << c.file;
        EXPECT_NEAR(lens.lensFocal, c.lens, 1e-6 * c.lens) << c.file;
        EXPECT_EQ(lens.cameraModel, c.model) << c.file;
    }
}

// A new picture record runs the estimate on the camera data of its own file, with the
// process-wide profile, and starts at the default focal.
TEST_F(LensEstimateTest, NewRecordEstimatesFromItsFileAndTheProfile)
{
    const fs::path file = fs::path(SMRA_TESTDATA_DIR) / "exif-samples" / "jpg" / "tests" / "35-empty.jpg";
    if (!fs::exists(file))
        GTEST_SKIP() << "no EXIF sample " << file;
    ASSERT_TRUE(m_profile->WriteProfileInt("CFR_DATA", "[EX-Z750]", 200));
    platform::SetSettings(m_profile.get());
    const CRect rect = GetImageFileRect(file.string());
    CKpic k(file.string(), rect);
    platform::SetSettings(nullptr);

    const double d = std::hypot(2164.0, 1626.0);
    EXPECT_EQ(k.m_LensSource, LENS_SOURCE_CAMERA);
    EXPECT_DOUBLE_EQ(k.m_LensFocal, d * 23.1 * 7.9 / 200);
    EXPECT_EQ(k.m_DefaultFocal, k.m_LensFocal);
    EXPECT_EQ(k.m_Focal, k.m_DefaultFocal);
    EXPECT_DOUBLE_EQ(k.m_MinFocal, 0.37 * d);
    EXPECT_EQ(k.m_CameraModel, "EX-Z750");
    EXPECT_DOUBLE_EQ(k.m_ExifFocalLength, 7.9);
    EXPECT_GT(k.m_ExposureFigure, 0.0);

    // The record's own lookups use the same profile and table.
    EXPECT_EQ(CKpic::LookupCameraTable("[E950]"), 177);
    ASSERT_TRUE(m_profile->WriteProfileInt("DFCR_DATA", "[EX-Z750]2706", 2310));
    platform::SetSettings(m_profile.get());
    EXPECT_EQ(k.LookupStoredLensData(2706), 1);
    platform::SetSettings(nullptr);
    EXPECT_DOUBLE_EQ(k.m_LensFocal, 270.6);
    EXPECT_EQ(k.m_LensSource, LENS_SOURCE_SIZE);
}

// The initial lens estimate and its camera tables.
//
// Focal lengths are in pixels of the picture. The camera values of the profile and of the
// built-in table are sensor diagonals in units of 1/23.1 mm, so a lens of f mm on a picture of
// diagonal D pixels has the focal D x 23.1 x f / v pixels; the size rule guesses v as 4 sqrt(D).
// A 35 mm equivalent focal length f35 gives D x f35 / 43.267 pixels, 43.267 mm being the
// diagonal of the 36 x 24 mm frame.
#include "picset/lens_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/helpers.h"
#include "imagefile/exif.h"
#include "picset/kpic.h"
#include "platform/settings_store.h"

namespace {

struct CameraRow {
    const char* key;
    int value;
};

// Keys are the EXIF model in brackets, with the model's own trailing blanks.
constexpr CameraRow kCameraLensTable[] = {
    {"[SX112 ]", 184},
    {"[SR66]", 140},
    {"[DSC-D770]", 186},
    {"[RDC-5000       ]", 209},
    {"[C830L,D340R]", 154},
    {"[C2500L      ]", 255},
    {"[C21   ]", 184},
    {"[C2000Z]", 186},
    {"[C2020Z]", 186},
    {"[E950]", 183},
    {"[E800]", 184},
    {"[E700]", 186},
    {"[SAMURAI 2100DG  ]", 189},
    {"[KODAK DC290 Zoom Digital Camera (V01.00)]", 209},
    {"[KODAK DC280 ZOOM DIGITAL CAMERA]", 216},
    {"[Kodak Digital Science DC260]", 209},
    {"[KODAK DIGITAL SCIENCE DC260 (V01.00)]", 209},
    {"[KODAK DC240 ZOOM DIGITAL CAMERA]", 154},
    {"[KODAK DIGITAL SCIENCE DC220 (V01.00)]", 152},
    {"[DC210 Zoom (V04.03)]", 152},
    {"[PhotoPC 800]", 184},
    {"[CP-800]", 184},
    {"[QV-8000SX]", 150},
    {"[QV-2000UX]", 181},
};

// Sensor diagonal factor of the camera values: v / 23.1 is the diagonal in millimetres.
constexpr double kDiagonalFactor = 23.1;

// Diagonal of the 36 x 24 mm frame that 35 mm equivalent focal lengths refer to, in mm.
constexpr double kFullFrameDiagonal = 43.267;

const char* const kCameraSection = "CFR_DATA";
const char* const kSizeSection = "DFCR_DATA";

void ApplyFocal(LensFigures& lens, double focal, int source)
{
    lens.lensFocal = focal;
    lens.defaultFocal = focal;
    lens.lensSource = source;
}

// The sensor resolution counts pixels of the image the camera wrote, whose size the EXIF data
// give. A picture of another size is that image resized (a smaller copy, or an upscaled one),
// or carries another image's data: its pixels per millimetre of sensor are the resolution
// times this scale. 1 when the sizes agree or the data give no size; the picture's width over
// the image's (turned a quarter when the picture is); 0 when the two sizes have different
// shapes, so that the picture is no scaled copy of that image and the scale is not known.
double SensorResolutionScale(const LensCameraData& camera, int w, int h)
{
    const int ew = camera.imageWidth;
    const int eh = camera.imageHeight;
    if (ew <= 0)
        return 1.0;
    if (eh <= 0)
        return (w == ew || h == ew) ? 1.0 : static_cast<double>(w) / ew;
    if ((w == ew && h == eh) || (w == eh && h == ew))
        return 1.0;
    // The same shape within a pixel of rounding on the shorter side, upright or turned.
    auto sameShape = [](double a, double b, double ea, double eb) {
        const double scale = a / ea;
        return std::fabs(eb * scale - b) <= std::max(1.0, 0.005 * b);
    };
    if (sameShape(w, h, ew, eh))
        return static_cast<double>(w) / ew;
    if (sameShape(h, w, ew, eh))
        return static_cast<double>(h) / ew;
    return 0.0;
}

} // namespace

LensCameraData CameraDataFromExif(const CExifInfo& exif)
{
    LensCameraData c;
    c.filePath = exif.FilePath;
    c.model = exif.Model;
    c.focalLength = exif.FocalLength;
    c.focalPlaneXResolution = exif.FocalPlaneXResolution;
    c.focalPlaneResolutionUnit = exif.FocalPlaneResolutionUnit;
    c.focalLength35mm = exif.FocalLength35mm;
    c.imageWidth = exif.PixelXDimension;
    c.imageHeight = exif.PixelYDimension;
    c.exposureTime = exif.ExposureTime;
    c.fNumber = exif.FNumber;
    c.shutterSpeedValue = exif.ShutterSpeedValue;
    c.apertureValue = exif.ApertureValue;
    return c;
}

int LookupCameraTable(const std::string& key)
{
    for (const CameraRow& row : kCameraLensTable)
        if (key == row.key)
            return row.value - row.value / 30;
    return -1;
}

int LookupStoredLensData(const std::string& path, int diagonal, platform::CSettingsStore& profile,
                         LensFigures& lens)
{
    const std::string size = std::to_string(diagonal);
    // A stored value is a sensor diagonal; zero means none, and a negative one would give a
    // negative focal, so only positive values count.
    int v = 0;
    if (!lens.cameraModel.empty())
        v = profile.GetProfileInt(kSizeSection, "[" + lens.cameraModel + "]" + size, 0);
    if (v <= 0) {
        const std::string ext = GetFileExt(path);
        v = profile.GetProfileInt(kSizeSection, "dflt" + ext.substr(0, 1) + size, 0);
    }
    if (v <= 0)
        return -1;
    ApplyFocal(lens, diagonal * kDiagonalFactor * 10.0 / static_cast<double>(v), LENS_SOURCE_SIZE);
    return 1;
}

int EstimateLens(const std::string& path, const CRect& rect, const LensCameraData& camera,
                 platform::CSettingsStore& profile, LensFigures& lens)
{
    lens.lensFocal = 1000.0;
    lens.defaultFocal = 1000.0;
    lens.lensSource = LENS_SOURCE_NONE;
    lens.minFocal = 100.0;
    if (rect.IsRectEmpty())
        return -1;

    const int w = rect.Width();
    const int h = rect.Height();
    const double d = std::hypot(static_cast<double>(w), static_cast<double>(h));
    ApplyFocal(lens, 0.8 * d, LENS_SOURCE_SIZE);
    lens.minFocal = 0.37 * d;
    // A width that is not a multiple of 8 or an odd height suggests a cropped or resized
    // picture; its default focal is kept long unless camera data gives a better one.
    if (w % 8 != 0 || h % 2 != 0)
        lens.defaultFocal *= 4.0;

    const int diagonal = d < 2147483647.0 ? static_cast<int>(d) : 2147483647;
    if (camera.filePath != path)
        return LookupStoredLensData(path, diagonal, profile, lens);

    lens.cameraModel = camera.model;
    lens.exifFocalLength = camera.focalLength;
    lens.exposureFigure = 0.0;
    double t = 0.0;
    double n = 0.0;
    if (camera.exposureTime > 0.0)
        t = camera.exposureTime;
    if (camera.shutterSpeedValue > -20.0 && camera.shutterSpeedValue < 20.0)
        t = std::pow(2.0, -camera.shutterSpeedValue);
    if (camera.fNumber > 0.0)
        n = camera.fNumber;
    if (camera.apertureValue > -20.0 && camera.apertureValue < 20.0)
        n = std::pow(2.0, camera.apertureValue / 2.0);
    if (t > 0.0 && n > 0.0)
        lens.exposureFigure = t * 1000000.0 / (n * n);

    // Most cameras of today are in no table and leave out the sensor resolution, but state the
    // 35 mm equivalent: it beats the guesses of the stored size values and the size rule.
    const bool has35mm = camera.focalLength35mm > 0 && camera.focalLength35mm < 10000;
    auto from35mm = [&] {
        ApplyFocal(lens, d * camera.focalLength35mm / kFullFrameDiagonal, LENS_SOURCE_EXIF_35MM);
        return 1;
    };

    const double f = lens.exifFocalLength;
    if (lens.cameraModel.empty() || !(f > 0.0))
        return has35mm ? from35mm() : LookupStoredLensData(path, diagonal, profile, lens);

    double pitch = 0.0; // mm per pixel on the sensor
    if (camera.focalPlaneXResolution > 0.0 && camera.focalPlaneResolutionUnit > 0) {
        if (camera.focalPlaneResolutionUnit == 2)
            pitch = 25.4 / camera.focalPlaneXResolution;
        else if (camera.focalPlaneResolutionUnit == 3)
            pitch = 10.0 / camera.focalPlaneXResolution;
    }
    if (pitch > 0.0) {
        const double scale = SensorResolutionScale(camera, w, h);
        // A picture that is no scaled copy of the camera's image: its 35 mm equivalent, which
        // follows the picture's own diagonal, beats a pitch that may be off by any factor;
        // without one the pitch stands (a crop keeps it).
        if (scale <= 0.0 && has35mm)
            return from35mm();
        ApplyFocal(lens, f / pitch * (scale > 0.0 ? scale : 1.0), LENS_SOURCE_EXIF_PLANE);
        return 1;
    }

    const std::string key = "[" + lens.cameraModel + "]";
    int v = profile.GetProfileInt(kCameraSection, key, 0);
    if (v < 1)
        v = LookupCameraTable(key);
    if (v >= 1) {
        ApplyFocal(lens, d * kDiagonalFactor * f / static_cast<double>(v), LENS_SOURCE_CAMERA);
        return 3;
    }
    if (has35mm)
        return from35mm();
    v = static_cast<int>(std::sqrt(d) * 4.0);
    ApplyFocal(lens, d * kDiagonalFactor * f / static_cast<double>(v), LENS_SOURCE_SIZE);
    return 3;
}

namespace {

LensFigures FiguresOf(const CKpic& k)
{
    LensFigures lens;
    lens.lensFocal = k.m_LensFocal;
    lens.defaultFocal = k.m_DefaultFocal;
    lens.lensSource = k.m_LensSource;
    lens.minFocal = k.m_MinFocal;
    lens.cameraModel = k.m_CameraModel;
    lens.exifFocalLength = k.m_ExifFocalLength;
    lens.exposureFigure = k.m_ExposureFigure;
    return lens;
}

void StoreFigures(CKpic& k, const LensFigures& lens)
{
    k.m_LensFocal = lens.lensFocal;
    k.m_DefaultFocal = lens.defaultFocal;
    k.m_LensSource = lens.lensSource;
    k.m_MinFocal = lens.minFocal;
    k.m_CameraModel = lens.cameraModel;
    k.m_ExifFocalLength = lens.exifFocalLength;
    k.m_ExposureFigure = lens.exposureFigure;
}

} // namespace

// The record's estimate reads the camera data of the JPEG file parsed last (the size query
// that precedes the record's creation parses the picture's own file) and the profile.
int CKpic::InitLensFromExif()
{
    LensFigures lens = FiguresOf(*this);
    const int result =
        EstimateLens(m_Path, m_PictureRect, CameraDataFromExif(ExifInfo), platform::Settings(), lens);
    StoreFigures(*this, lens);
    return result;
}

int CKpic::LookupStoredLensData(int diagonal)
{
    LensFigures lens = FiguresOf(*this);
    const int result = ::LookupStoredLensData(m_Path, diagonal, platform::Settings(), lens);
    StoreFigures(*this, lens);
    return result;
}

int CKpic::LookupCameraTable(const std::string& key) { return ::LookupCameraTable(key); }

// The first estimate of a picture's lens, made before any fitting: a focal length in pixels,
// the default and minimum focal, and where the estimate came from. In order of preference it
// uses the picture's own EXIF data (focal length with the sensor resolution), a camera value
// from the profile ("CFR_DATA") or the built-in camera table, the EXIF 35 mm equivalent focal
// length, stored size values from the profile ("DFCR_DATA"), and last a rule on the picture
// size alone.
#pragma once

#include <string>

#include "common/basic_types.h"

namespace platform {
class CSettingsStore;
}
struct CExifInfo;

// The camera data the estimate reads: the EXIF record of the JPEG file parsed last. A number
// that the file does not carry holds -32760.
struct LensCameraData {
    std::string filePath; // whose data this is
    std::string model;
    double focalLength = -32760.0; // mm
    double focalPlaneXResolution = -32760.0;
    int focalPlaneResolutionUnit = -32760; // 2 inch, 3 centimetre
    int focalLength35mm = -32760;          // mm on a 36 x 24 mm frame; 0 or less unknown
    int imageWidth = -32760;               // pixels of the image the sensor resolution counts
    int imageHeight = -32760;
    double exposureTime = -32760.0;        // s
    double fNumber = -32760.0;
    double shutterSpeedValue = -32760.0; // APEX Tv
    double apertureValue = -32760.0;     // APEX Av
};

// The estimate's fields of an EXIF record.
LensCameraData CameraDataFromExif(const CExifInfo& exif);

// Where a lens focal came from.
enum LensSource : int {
    LENS_SOURCE_NONE = -1,      // no estimate (empty picture)
    LENS_SOURCE_SIZE = 0,       // the picture size alone, or stored size values
    LENS_SOURCE_CAMERA = 1,     // a camera value from the profile or the built-in table
    LENS_SOURCE_EXIF_35MM = 2,  // the EXIF 35 mm equivalent focal length
    LENS_SOURCE_EXIF_PLANE = 3, // the EXIF focal length with the sensor resolution
};

// The lens values of one picture record that the estimate writes. The camera model, EXIF
// focal length and exposure figure are replaced only when the camera data is the picture's
// own; otherwise they keep what they hold.
struct LensFigures {
    double lensFocal = 1000.0;   // pixels
    double defaultFocal = 1000.0;
    int lensSource = LENS_SOURCE_NONE;
    double minFocal = 100.0;
    std::string cameraModel;
    double exifFocalLength = 0.0; // mm
    double exposureFigure = 0.0;  // exposure time x 1000000 / f-number squared
};

// Runs the estimate for the picture at path with the rectangle (0, 0, width, height).
// Results: -1 no estimate from camera data (empty picture, camera data of another file or
// without a usable focal length: stored size values or the size rule apply), 1 from the sensor
// resolution, the 35 mm equivalent focal length or stored size values, 3 from a camera value or
// the size rule with the EXIF focal length. The 35 mm equivalent comes after the sensor
// resolution and the camera values, before stored size values and the size rule.
int EstimateLens(const std::string& path, const CRect& rect, const LensCameraData& camera,
                 platform::CSettingsStore& profile, LensFigures& lens);

// The stored size values of "DFCR_DATA" for a picture of that diagonal: by camera model, else
// by the first letter of the file's extension. 1 when one was found and applied, else -1.
int LookupStoredLensData(const std::string& path, int diagonal, platform::CSettingsStore& profile,
                         LensFigures& lens);

// The adjusted built-in camera value (v - v / 30) of the row whose key ("[" + model + "]", the
// model's own trailing blanks included) equals the text exactly; -1 when no row matches.
int LookupCameraTable(const std::string& key);

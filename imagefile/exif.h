// Camera data of the EXIF block in a JPEG file's APP1 segment (model, date, focal length,
// focal-plane resolution, exposure, aperture) and the process-wide record of the last JPEG
// file parsed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "imagefile/byte_source.h"

// Marks a camera value that is absent or unreadable.
constexpr int EXIF_MISSING = -32760;

struct CExifInfo {
    std::string FilePath;              // file the values were read from (set after a full read)
    std::string Model;                 // tag 272
    double FocalLength = EXIF_MISSING; // tag 37386, mm
    double FocalPlaneXResolution = EXIF_MISSING; // tag 41486
    int FocalPlaneResolutionUnit = EXIF_MISSING; // tag 41488
    int FocalLength35mm = EXIF_MISSING;      // tag 41989, mm on a 36 x 24 mm frame; 0 unknown
    int PixelXDimension = EXIF_MISSING;      // tag 40962, width of the image the data describe
    int PixelYDimension = EXIF_MISSING;      // tag 40963, its height
    double ExposureTime = EXIF_MISSING;      // tag 33434, seconds
    double FNumber = EXIF_MISSING;           // tag 33437
    double ShutterSpeedValue = EXIF_MISSING; // tag 37377, APEX Tv
    double ApertureValue = EXIF_MISSING;     // tag 37378, APEX Av
    double BrightnessValue = EXIF_MISSING;   // tag 37379
    std::string DateTimeOriginal;            // tag 36867

    // Empties the texts and marks every number missing.
    void Reset() { *this = CExifInfo(); }
    bool operator==(const CExifInfo&) const = default;
};

// Reads the EXIF block whose TIFF header starts at file position t into info. headerValid
// tells whether the byte-order mark and the number 42 were found (info is reset only then).
// 1 when the Exif directory was read, 0 when the structure is not usable.
int ReadExif(CByteSource& src, int64_t t, CExifInfo& info, bool& headerValid);

// The APP1 segment whose length bytes start at s: identifier "Exif" runs ReadExif on the TIFF
// header at s + 8. p advances by the segment length. -1 on a short read of the length or the
// identifier, 0 for other identifiers or an unusable block, else ReadExif's result.
int ReadApp1(CByteSource& src, int64_t& p, CExifInfo& info, bool& headerValid);

// The camera data of the JPEG file read last, held process-wide: FilePath tells whose values
// these are.
extern CExifInfo ExifInfo;

// Values of the JPEG file whose markers were parsed last (cleared at the start of every JPEG
// size query and read, set after each of its EXIF segments).
extern std::string LastJpegPath;
extern std::string LastExifModel;
extern std::string LastExifDate;
extern double LastExifFocalLength;
extern double LastExifExposure; // seconds
extern double LastExifFNumber;

// Clears the values above (not ExifInfo) and sets LastJpegPath.
void ResetLastJpegValues(const std::string& path);
// Copies the camera record into the Last* values: exposure from ExposureTime or else from the
// shutter-speed value, F number from FNumber or else from the aperture value.
void CopyExifToLastValues(const CExifInfo& info);

// The camera data one JPEG parse leaves behind, kept privately so that a read on another
// thread touches nothing process-wide: the Last* values and the record ExifInfo takes.
struct CJpegCameraData {
    std::string path;
    std::string model;
    std::string date;
    double focalLength = 0.0;
    double exposure = 0.0; // seconds
    double fNumber = 0.0;
    bool exifRead = false; // an EXIF block with a valid header was met in this parse
    CExifInfo exif;        // the record of the last such block

    // Clears the values and the record's flag and sets the path (as ResetLastJpegValues).
    void Reset(const std::string& filePath);
    // Takes the record into the values (as CopyExifToLastValues).
    void CopyExif(const CExifInfo& info);
    bool operator==(const CJpegCameraData&) const = default;
};

// The process-wide values as a private record (exifRead false), for a parse that continues
// them without a reset.
CJpegCameraData CurrentJpegCameraData();
// Sets the process-wide values from a private record when its parse met an EXIF block (a
// parse without one changes none of them): LastJpegPath, the Last* values and ExifInfo.
void PublishJpegCameraData(const CJpegCameraData& data);

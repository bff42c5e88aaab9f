// Ground truth for the render tests: the camera file of the synthetic views cut from the
// equirectangular panorama, converted into the engine's picture orientation, and the
// measures that compare a rendered raster with its source (bilinear sample, PSNR).
//
// Truth frame: x east, y down, z forward; (lon, lat) with lat growing upwards; pixel (u, v)
// has its centre at (u + 0.5, v + 0.5) and the principal point at (w / 2, h / 2).
// Engine frame: the same axes, but the engine's latitude grows with the picture's rows, so
// an engine direction (lon, lat) is the truth direction (lon, -lat).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "common/value_types.h"

namespace render_truth {

struct CTruthView {
    std::string file;
    double rotation[3][3] = {};                        // world from camera
    std::vector<std::array<double, 4>> samples;        // u, v, lon, lat (degrees)
};

struct CTruth {
    std::string sourceFile;
    int sourceWidth = 0;
    int sourceHeight = 0;
    int imageWidth = 0;
    int imageHeight = 0;
    double focal = 0.0;
    std::vector<CTruthView> views;
};

// Reads the camera file; false with a reason in *error when it cannot be read.
bool LoadTruth(const std::string& path, CTruth* truth, std::string* error);

// The engine orientation of a view: yaw, pitch and roll in radians.
struct COrientation {
    double yaw = 0.0;
    double pitch = 0.0;
    double roll = 0.0;
};
COrientation EngineOrientation(const CTruthView& view);

// Truth (lon, lat) in radians to the engine's direction and back.
inline CDPoint TruthToEngine(double lon, double lat) { return {lon, -lat}; }

// An RGB image with its size (COLORREF words, top row first).
struct CImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Bilinear sample of an equirectangular image at an engine direction; false when the
// direction is not valid. Channels as doubles.
bool SampleEquirect(const CImage& equirect, CDPoint engineDirection, double rgb[3]);

// Bilinear sample of a pinhole view at an engine direction (through the view's truth
// camera); false when the direction lies outside the view shrunk by margin pixels.
bool SampleView(const CImage& image, const CTruthView& view, double focal, CDPoint engineDirection,
                double margin, double rgb[3]);

// Whether any view sees the engine direction at least margin pixels inside its frame.
bool AnyViewSees(const CTruth& truth, CDPoint engineDirection, double margin);

// Writes the views as a fitted project: every view a picture at its file in viewsDir, with
// the engine orientation of its camera and the truth focal; no lens distortion and no light
// fall-off compensation (the views have neither). False with a reason in *error.
bool WriteTruthProject(const CTruth& truth, const std::string& viewsDir, const std::string& fitPath,
                       int projection, std::string* error);

// Accumulates squared channel errors; PSNR in dB over what was added (99 when exact).
class CPsnr {
public:
    void Add(uint32_t colour, const double reference[3]);
    double Value() const;
    long long Count() const { return m_count; }

private:
    double m_sum = 0.0;
    long long m_count = 0;
};

} // namespace render_truth

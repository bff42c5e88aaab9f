// Small picture sets built in code for the render tests: pictures with given pixels,
// orientation and focal, already fitted and loaded, so a render needs no file and no host.
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/render_band.h"
#include "imagefile/pixel_array.h"
#include "picset/mccore.h"

namespace render_fixture {

struct CPictureSpec {
    int width = 64;
    int height = 48;
    double yaw = 0.0;
    double pitch = 0.0;
    double roll = 0.0;
    double focal = 1000.0;
    // Colour of picture pixel (x, y).
    std::function<COLORREF(int x, int y)> colour = [](int, int) { return RGB(128, 128, 128); };
};

// Appends a fitted picture with its pixels loaded; the optical centre is the middle of the
// picture ((w - 1) / 2, (h - 1) / 2), as the picture set puts it by default.
inline CKpic* AddPicture(CMcCore& core, const CPictureSpec& spec, const std::string& path)
{
    auto picture = std::make_unique<CKpic>(path, CRect(0, 0, spec.width, spec.height));
    picture->m_Status = 3;
    picture->m_Focal = spec.focal;
    picture->m_Direction = CDPoint(spec.yaw, spec.pitch);
    picture->m_Roll = spec.roll;
    picture->m_OpticalCentre = CDPoint((spec.width - 1) * 0.5, (spec.height - 1) * 0.5);
    picture->m_LensScale = 1.0;
    picture->Pixels.SetSize(static_cast<std::ptrdiff_t>(spec.width) * spec.height);
    for (int y = 0; y < spec.height; ++y)
        for (int x = 0; x < spec.width; ++x)
            picture->Pixels[static_cast<std::ptrdiff_t>(y) * spec.width + x] = spec.colour(x, y);
    CKpic* raw = picture.get();
    core.m_Pictures.push_back(std::move(picture));
    ++core.m_FittedCount;
    return raw;
}

// A deterministic pattern with detail at every scale.
inline COLORREF Pattern(int x, int y)
{
    const unsigned h = (static_cast<unsigned>(x) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u);
    return RGB((x * 7 + y * 3) & 0xFF, (h >> 8) & 0xFF, (x * y + 40) & 0xFF);
}

// Every band of the set-up raster rendered serially, rows top first (W * H pixels).
inline int RenderAllSerial(CMcCore& core, std::vector<COLORREF>* out)
{
    const int W = core.m_OutputWidth;
    const int H = core.m_OutputHeight;
    out->assign(static_cast<size_t>(W) * H, 0);
    CPixelArray band;
    band.SetSize(static_cast<std::ptrdiff_t>(kRenderBandRows) * W);
    for (int b = 0; b <= (H - 1) / kRenderBandRows; ++b) {
        const int r = core.RenderPictures(b, band);
        if (r < 0)
            return r;
        for (int row = 0; row < kRenderBandRows && b * kRenderBandRows + row < H; ++row)
            for (int x = 0; x < W; ++x)
                (*out)[static_cast<size_t>(b * kRenderBandRows + row) * W + x] =
                    band[static_cast<std::ptrdiff_t>(row) * W + x];
    }
    return 1;
}

} // namespace render_fixture

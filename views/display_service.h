// What the work view needs to know of the display: the desktop size, the colour depth and how
// large a canvas may be allocated. The window layer answers from the primary screen; tests
// install their own to reach the small-canvas and low-colour paths.
#pragma once

#include <cstdint>
#include <functional>

#include "common/basic_types.h"
#include "imagefile/bitmap.h"

namespace views {

struct DisplayInfo {
    CSize desktop{1920, 1080};
    int bitsPerPixel = 32;
    // Largest canvas in pixels; 0 = no limit.
    int64_t canvasPixelLimit = 0;
    // How a 16-bit display packs its colours.
    C16BitLayout layout16 = C16BitLayout::Rgb565;
};

using DisplayService = std::function<DisplayInfo()>;
// nullptr restores the primary screen's answer.
void SetDisplayService(DisplayService service);
DisplayInfo GetDisplayInfo();

} // namespace views

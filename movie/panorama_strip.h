// The panorama at the movie's frame height (the strip), read from the turned BMP that Render
// and Save leaves for the movie program, and the frames cut from it.
//
// The turned BMP holds the panorama a quarter turn anticlockwise: BMP row x (x = 0 first in
// the file, so the picture's bottom row) is panorama column x, top pixel first. It is read in
// bands of rows, so that only one band of the full-size panorama is in memory at a time, and
// each band is scaled down (area average) into the strip as it arrives. The strip is then kept
// in the movie's own colour form, so that a frame is only a shifted copy of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "movie/pan_plan.h"

namespace movie {

class CPanoramaStrip {
public:
    // Width and height of the panorama that the turned BMP holds; false with a reason when the
    // file is missing, not a BMP or cut short.
    static bool PanoramaSize(const std::string& bmpPath, int* width, int* height, std::string* error);

    // Reads and scales the panorama for the plan. False with a reason on failure.
    bool Load(const std::string& bmpPath, const CPanPlan& plan, std::string* error);

    // Fills a frame of the plan's size in YUV 4:2:0 (planes Y, U, V with their row strides)
    // with the strip from `left` on; a fractional left edge is resampled (Catmull-Rom). A full
    // turn wraps round from the right edge to the left one; otherwise the edge pixels repeat.
    // Only share `part` of `parts` of the rows is filled (in pairs of rows, so that the chroma
    // rows split with them), so that a few threads can fill one frame.
    void FillFrame(double left, uint8_t* const planes[3], const int strides[3], int part = 0, int parts = 1) const;

private:
    // Columns kept beyond the strip's width on either side, so that no tap needs a bounds test.
    static constexpr int kLeftPad = 4;
    int RowPixels() const { return (kLeftPad + m_plan.stripWidth + m_plan.frameWidth + 8) & ~1; }
    void FillPadding(std::vector<uint8_t>& rgb) const;
    bool ToYuv(const std::vector<uint8_t>& rgb, std::string* error);

    CPanPlan m_plan;
    // The strip in studio-range BT.709 YUV 4:2:0, padded: frameHeight rows of RowPixels() luma
    // samples, half as many rows and columns of each chroma.
    std::vector<uint8_t> m_y;
    std::vector<uint8_t> m_u;
    std::vector<uint8_t> m_v;
};

} // namespace movie

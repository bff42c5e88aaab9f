// The pan of the movie across the panorama.
#include "movie/pan_plan.h"

#include <algorithm>
#include <cmath>

namespace movie {

double CPanPlan::FrameLeft(int f) const
{
    const double left = f * step;
    return wraps ? left : std::min(left, double(stripWidth - frameWidth));
}

bool PlanPan(int width, int height, int span, CPanPlan* plan)
{
    if (width < 2 || height < 2 || span < 1)
        return false;
    CPanPlan p;
    // H.264 in 4:2:0 wants even sides.
    p.frameHeight = std::min(height, kMaxFrameHeight) & ~1;
    p.stripWidth = static_cast<int>(std::max<long long>(2, std::llround(double(width) * p.frameHeight / height)));
    p.frameWidth = std::min(2 * static_cast<int>(std::lround(p.frameHeight * 8.0 / 9.0)), p.stripWidth & ~1);
    p.frameWidth = std::max(p.frameWidth, 2);
    // The span is counted in whole degrees, cut down: the work space's full turn, the widest area
    // short of 360 degrees, reads 359.
    p.wraps = span == 359 || span == 360;
    const int turnFrames = kFramesPerSecond * kSecondsPerTurn;
    if (p.wraps) {
        p.frameCount = turnFrames;
        p.step = double(p.stripWidth) / turnFrames;
    } else {
        // The same pace as a full turn: the strip's width is `span` degrees.
        const double pace = double(p.stripWidth) * 360.0 / (double(span) * turnFrames);
        const int travel = p.stripWidth - p.frameWidth;
        p.frameCount = std::max(kMinFrames, static_cast<int>(std::lround(travel / pace)) + 1);
        p.step = double(travel) / (p.frameCount - 1);
    }
    *plan = p;
    return true;
}

} // namespace movie

// How the movie pans across the panorama: the frame size, the panorama's width once scaled to
// the frame height, the number of frames and where each frame's left edge lies.
//
// Units are pixels of the scaled panorama (the strip): x grows to the right, 0 at the
// panorama's left edge. The view turns at 18 degrees a second (a full turn in 20 s at 30 frames
// a second), whatever the panorama's size.
#pragma once

namespace movie {

constexpr int kFramesPerSecond = 30;
constexpr int kSecondsPerTurn = 20;
constexpr int kMaxFrameHeight = 1080;
// A movie of a panorama hardly wider than the frame still lasts a second.
constexpr int kMinFrames = kFramesPerSecond;

struct CPanPlan {
    int frameWidth = 0;  // 16:9 of the frame height, even, never wider than the strip
    int frameHeight = 0; // the panorama's height, at most 1080, even
    int stripWidth = 0;  // the panorama's width at the frame height
    int frameCount = 0;
    bool wraps = false; // a full turn (359 or 360 degrees): the view runs on past the right edge
                        // into the left one
    double step = 0.0;  // strip pixels from one frame to the next

    // Left edge of frame f: the first frame shows the panorama's left edge; a full turn ends
    // one step before it comes round again, so that the movie loops without a jump; any other
    // span ends with the panorama's right edge at the frame's right edge.
    double FrameLeft(int f) const;
};

// The plan for a panorama of width x height pixels spanning `span` whole degrees (cut down, so
// that 359 and 360 are a full turn; a span above 360 repeats part of the view and pans without
// wrapping). False when the panorama is too small for a movie (under 2 x 2 pixels).
bool PlanPan(int width, int height, int span, CPanPlan* plan);

} // namespace movie

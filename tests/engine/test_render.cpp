// The band renderer on picture sets built in code: exact copies, blending rules, light
// fall-off, failures, uncovered and invalid pixels, every projection code, and bands rendered
// on several cores against the serial render.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "engine/render_band.h"
#include "engine/worker_thread.h"
#include "imagefile/pixel_array.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/input_state.h"
#include "tests/engine/test_render_fixture.h"

using render_fixture::AddPicture;
using render_fixture::CPictureSpec;
using render_fixture::Pattern;
using render_fixture::RenderAllSerial;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// One picture of odd size seen straight ahead in Linear at its own focal, one raster pixel
// per picture pixel, the raster origin on the picture's optical centre.
void SetUpIdentity(CMcCore& core, int w, int h)
{
    core.m_Projection = 11;
    core.m_CommonFocal = 800.0;
    core.m_BlendStrength = 0;
    CPictureSpec spec;
    spec.width = w;
    spec.height = h;
    spec.focal = 800.0;
    spec.colour = Pattern;
    AddPicture(core, spec, "identity.bmp");
    const int hx = (w - 1) / 2;
    const int hy = (h - 1) / 2;
    ASSERT_GT(core.SetupRender(-hx, -hy, w - hx, h - hy, w, h, 0), 0);
}

TEST(Renderer, IdentityViewReproducesThePicture)
{
    // A speed render (nearest pixel) copies every pixel away from the picture's border; the
    // quality render's filter lands on the same pixel centres and differs by rounding only.
    // The border itself has no edge distance and stays uncovered.
    struct Case {
        int priority;
        int tolerance;
    } const cases[] = {{1, 0}, {5, 3}};
    for (const Case& c : cases) {
        CMcCore core;
        core.m_RenderPriority = c.priority;
        SetUpIdentity(core, 65, 41);
        std::vector<COLORREF> out;
        ASSERT_EQ(RenderAllSerial(core, &out), 1);
        const CKpic* p = core.m_Pictures[0].get();
        int worst = 0;
        int whiteMismatches = 0;
        for (int y = 0; y < 41; ++y) {
            for (int x = 0; x < 65; ++x) {
                const COLORREF got = out[static_cast<size_t>(y) * 65 + x];
                if (x == 0 || y == 0) {
                    whiteMismatches += got != kWhite;
                    continue;
                }
                const COLORREF want = p->Pixels[y * 65 + x];
                for (int shift : {0, 8, 16})
                    worst = std::max(worst, std::abs(static_cast<int>((got >> shift) & 0xFF) -
                                                     static_cast<int>((want >> shift) & 0xFF)));
            }
        }
        EXPECT_EQ(whiteMismatches, 0) << "render priority " << c.priority;
        EXPECT_LE(worst, c.tolerance) << "render priority " << c.priority;
    }
}

TEST(Renderer, ArrayTooSmallIsRefusedUntouched)
{
    CMcCore core;
    SetUpIdentity(core, 33, 17);
    CPixelArray band;
    band.SetSize(16 * 33 - 1);
    band.Fill(0x123456);
    EXPECT_EQ(core.RenderPictures(0, band), -4);
    for (std::ptrdiff_t i = 0; i < band.GetSize(); ++i)
        ASSERT_EQ(band[i], 0x123456u);
}

TEST(Renderer, RowsBelowTheRasterAreLeftWhiteAndBandsBeyondAreEmpty)
{
    CMcCore core;
    SetUpIdentity(core, 33, 17);
    CPixelArray band;
    band.SetSize(16 * 33);
    ASSERT_EQ(core.RenderPictures(1, band), 1);
    // Band 1 holds row 16 only; its other rows lie below the raster.
    EXPECT_EQ(band[16 * 33 - 1], kWhite);
    EXPECT_NE(band[5], kWhite);
    // A band far beyond, whose first row would not even fit an int, is empty too.
    for (int beyond : {7, INT32_MAX / 2, INT32_MAX}) {
        band.Fill(0x123456);
        ASSERT_EQ(core.RenderPictures(beyond, band), 1) << beyond;
        for (std::ptrdiff_t i = 0; i < band.GetSize(); ++i)
            ASSERT_EQ(band[i], kWhite) << beyond;
    }
}

TEST(Renderer, OnePictureAddsNothingToABandOutsideTheRaster)
{
    CMcCore core;
    SetUpIdentity(core, 33, 17);
    CPixelArray band;
    band.SetSize(16 * 33);
    ASSERT_EQ(core.RenderPictures(0, band), 1);
    const std::vector<CRgbSum> before = core.m_RenderCells;
    CKpic* picture = core.m_Pictures.front().get();
    for (int outside : {-1, -1000, INT32_MIN, 2, INT32_MAX}) {
        EXPECT_EQ(core.RenderOnePicture(outside, picture, 1000), 1) << outside;
        ASSERT_EQ(core.m_RenderCells.size(), before.size());
        for (size_t i = 0; i < before.size(); ++i)
            ASSERT_EQ(core.m_RenderCells[i].count, before[i].count) << outside << " cell " << i;
    }
}

TEST(Renderer, UncoveredPixelsAreWhite)
{
    // A small picture in the middle of a wide Linear view: the corners see nothing.
    CMcCore core;
    core.m_Projection = 11;
    core.m_CommonFocal = 500.0;
    CPictureSpec spec;
    spec.width = 40;
    spec.height = 30;
    spec.focal = 500.0;
    spec.colour = [](int, int) { return RGB(10, 20, 30); };
    AddPicture(core, spec, "small.bmp");
    ASSERT_GT(core.SetupRender(-100, -80, 100, 80, 200, 160, 0), 0);
    std::vector<COLORREF> out;
    ASSERT_EQ(RenderAllSerial(core, &out), 1);
    EXPECT_EQ(out[0], kWhite);
    EXPECT_EQ(out[199], kWhite);
    EXPECT_EQ(out[159 * 200], kWhite);
    EXPECT_EQ(out[80 * 200 + 100], RGB(10, 20, 30));
}

TEST(Renderer, InvalidInverseProjectionStaysWhite)
{
    // Orthographic fisheye: plane points at a radius of f or more have no direction. A picture
    // that looks backwards must not be painted there (the sentinel direction lies behind).
    CMcCore core;
    core.m_Projection = 34;
    core.m_CommonFocal = 1000.0;
    ResetProjectionReference(0);
    CPictureSpec spec;
    spec.width = 200;
    spec.height = 200;
    spec.focal = 1000.0;
    spec.yaw = EnginePi;
    spec.colour = [](int, int) { return RGB(0, 0, 0); };
    AddPicture(core, spec, "behind.bmp");
    ASSERT_GT(core.SetupRender(-2000, -2000, 2000, 2000, 64, 64, 0), 0);
    std::vector<COLORREF> out;
    ASSERT_EQ(RenderAllSerial(core, &out), 1);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], kWhite) << "pixel " << i;
}

TEST(Renderer, AnAreaPastOneTurnStillShowsThePictures)
{
    // The panoramas unroll longitude along x: an output area one or two turns to the side (a row
    // whose yaws were never brought back into one turn) shows the same pictures.
    struct Case {
        int projection;
        double turns;
        double yaw;
    } const cases[] = {
        {21, 1.0, 0.0}, {22, 1.0, 0.0}, {24, 1.0, 0.0}, {21, 2.0, 0.0},
        {21, -1.0, 0.0}, {22, 1.0, EngineTwoPi}, {24, 2.0, 2.0 * EngineTwoPi},
    };
    for (const Case& c : cases) {
        CMcCore core;
        core.m_Projection = c.projection;
        core.m_CommonFocal = 100.0;
        core.m_BlendStrength = 0;
        CPictureSpec spec;
        spec.width = 101;
        spec.height = 81;
        spec.focal = 100.0;
        spec.yaw = c.yaw;
        spec.colour = [](int, int) { return RGB(10, 20, 30); };
        AddPicture(core, spec, "row.bmp");
        const int shift = static_cast<int>(std::lround(c.turns * EngineTwoPi * 100.0));
        ASSERT_GT(core.SetupRender(shift - 20, -20, shift + 20, 20, 40, 40, 0), 0);
        std::vector<COLORREF> out;
        ASSERT_EQ(RenderAllSerial(core, &out), 1);
        EXPECT_EQ(out[20 * 40 + 20], RGB(10, 20, 30)) << c.projection << " at " << c.turns << " turns";
    }
}

// Two pictures on the same spot, red first in the render list and blue second.
struct BlendCase {
    int overlapMode;
    COLORREF centre;
};

TEST(Renderer, OverlapModesChooseHowPicturesBlend)
{
    const BlendCase cases[] = {
        // The first picture whose edge distance reaches the completion weight fills alone.
        {1, RGB(255, 0, 0)},
        {3, RGB(255, 0, 0)},
        // Every picture adds its weight: the weighted average.
        {2, RGB(127, 0, 127)},
    };
    for (const BlendCase& c : cases) {
        CMcCore core;
        core.m_Projection = 11;
        core.m_CommonFocal = 1000.0;
        core.m_BlendStrength = 0;
        core.m_OverlapMode = c.overlapMode;
        CPictureSpec spec;
        spec.width = 301;
        spec.height = 301;
        spec.colour = [](int, int) { return RGB(255, 0, 0); };
        AddPicture(core, spec, "red.bmp");
        spec.colour = [](int, int) { return RGB(0, 0, 255); };
        AddPicture(core, spec, "blue.bmp");
        ASSERT_GT(core.SetupRender(-150, -150, 151, 151, 301, 301, 0), 0);
        std::vector<COLORREF> out;
        ASSERT_EQ(RenderAllSerial(core, &out), 1);
        EXPECT_EQ(out[150 * 301 + 150], c.centre) << "overlap mode " << c.overlapMode;
        // Near the edge (distance 10, below the completion weight 80) both pictures share.
        const COLORREF edge = out[150 * 301 + 10];
        EXPECT_EQ(GetRValue(edge), 127) << "overlap mode " << c.overlapMode;
        EXPECT_EQ(GetBValue(edge), 127) << "overlap mode " << c.overlapMode;
    }
}

TEST(Renderer, CentreFirstPassesPreferEachPicturesMiddle)
{
    // Overlap mode 0: two pictures side by side with a wide overlap. The first pass renders only
    // each picture's middle, so a pixel in the middle of the right picture comes from it, even
    // though the left picture covers it too and comes first.
    CMcCore core;
    core.m_Projection = 21;
    core.m_CommonFocal = 1000.0;
    core.m_BlendStrength = 0;
    core.m_OverlapMode = 0;
    CPictureSpec spec;
    spec.width = 601;
    spec.height = 401;
    spec.colour = [](int, int) { return RGB(200, 0, 0); };
    AddPicture(core, spec, "left.bmp");
    spec.yaw = 0.2;
    spec.colour = [](int, int) { return RGB(0, 200, 0); };
    AddPicture(core, spec, "right.bmp");
    ASSERT_GT(core.SetupRender(-300, -200, 500, 200, 800, 400, 0), 0);
    std::vector<COLORREF> out;
    ASSERT_EQ(RenderAllSerial(core, &out), 1);
    EXPECT_EQ(out[200 * 800 + 500], RGB(0, 200, 0));   // middle of the right picture
    EXPECT_EQ(out[200 * 800 + 300], RGB(200, 0, 0));   // middle of the left picture
}

TEST(Renderer, LightFalloffCompensation)
{
    struct Case {
        int strength;
        int column;      // raster column; the picture's centre is column 100
        int expectRed;
    } const cases[] = {
        {0, 150, 200},
        {10, 100, 200},
        // rq = 50 of M = 201: k = trunc(20 * (50 / 201)^3 * 10) = 3.
        {10, 150, 200 + 200 * 3 / 1000},
        // rq = 99: k = trunc(200 * 0.1191) = 23.
        {10, 199, 200 + 200 * 23 / 1000},
        {100, 199, 200 + 200 * 238 / 1000},
    };
    for (const Case& c : cases) {
        CMcCore core;
        core.m_Projection = 11;
        core.m_CommonFocal = 1000.0;
        core.m_BlendStrength = c.strength;
        CPictureSpec spec;
        spec.width = 201;
        spec.height = 201;
        spec.colour = [](int, int) { return RGB(200, 200, 200); };
        AddPicture(core, spec, "grey.bmp");
        ASSERT_GT(core.SetupRender(-100, -100, 101, 101, 201, 201, 0), 0);
        std::vector<COLORREF> out;
        ASSERT_EQ(RenderAllSerial(core, &out), 1);
        EXPECT_EQ(GetRValue(out[100 * 201 + c.column]), c.expectRed)
            << "strength " << c.strength << " column " << c.column;
    }
}

TEST(Renderer, SpeedRenderSwitchesToListOrderBlending)
{
    CMcCore core;
    core.m_RenderPriority = 1;
    core.m_OverlapMode = 2;
    SetUpIdentity(core, 33, 17);
    CPixelArray band;
    band.SetSize(16 * 33);
    ASSERT_EQ(core.RenderPictures(0, band), 1);
    EXPECT_EQ(core.m_OverlapMode, 1);
}

TEST(Renderer, BreakEndsTheBandWithoutWritingIt)
{
    CMcCore core;
    SetUpIdentity(core, 33, 17);
    core.m_JobMode = -1;
    CPixelArray band;
    band.SetSize(16 * 33);
    band.Fill(0xABCDEF);
    EXPECT_EQ(core.RenderPictures(0, band), -1);
    EXPECT_EQ(band[40], 0xABCDEFu);
}

// A host that cannot load any picture and keeps the status texts it was given.
class CNoPicturesHost : public CMcHost {
public:
    int LoadPictureImage(const std::string&) override { return loadResult; }
    int loadResult = -1;
    void ShowStatus(int pane, const std::string& number, const std::string& a, const std::string&) override
    {
        statuses.push_back(std::to_string(pane) + ":" + number + ":" + a);
    }
    std::vector<std::string> statuses;
};

TEST(Renderer, PictureThatCannotBeLoadedFailsTheBandAndIsNamed)
{
    SetEngineModeFlags();
    CNoPicturesHost host;
    CMcCore core;
    core.m_Host = &host;
    SetUpIdentity(core, 33, 17);
    core.m_Pictures[0]->Pixels.RemoveAll();
    CPixelArray band;
    band.SetSize(16 * 33);
    band.Fill(0x123456);
    EXPECT_EQ(core.RenderPictures(0, band), -1);
    EXPECT_EQ(band[40], 0x123456u);
    EXPECT_EQ(core.m_RenderFailedPath, "identity.bmp");
    EXPECT_EQ(host.statuses, std::vector<std::string>{"0:50:identity.bmp"});

    // The band driver finds it before the first band and delivers nothing.
    core.m_RenderFailedPath.clear();
    int delivered = 0;
    EXPECT_EQ(RenderBandsInOrder(core, {0, 1}, 4, [&](int, const CPixelArray&) { return ++delivered; }), -1);
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(core.m_RenderFailedPath, "identity.bmp");
    EXPECT_EQ(host.statuses.size(), 2u);

    // A picture that does not fit in memory is a memory failure, not an unreadable picture.
    host.loadResult = -5;
    core.m_RenderFailedPath.clear();
    EXPECT_EQ(RenderBandsInOrder(core, {0, 1}, 4, [&](int, const CPixelArray&) { return ++delivered; }), -5);
    EXPECT_EQ(delivered, 0);
    EXPECT_TRUE(core.m_RenderFailedPath.empty());
    EXPECT_EQ(host.statuses.size(), 2u);
}

TEST(Renderer, RoundShapesLeaveTheOutsideWhite)
{
    CMcCore core;
    core.m_Projection = 11;
    core.m_CommonFocal = 1000.0;
    CPictureSpec spec;
    spec.width = 401;
    spec.height = 401;
    AddPicture(core, spec, "grey.bmp");
    ASSERT_GT(core.SetupRender(-100, -50, 100, 50, 200, 100, 1), 0);
    std::vector<COLORREF> out;
    ASSERT_EQ(RenderAllSerial(core, &out), 1);
    // A circle of radius 50 around the centre: (100, 50) inside, (10, 50) and (100, 2) outside
    // the circle but inside the rectangle.
    EXPECT_NE(out[50 * 200 + 100], kWhite);
    EXPECT_NE(out[50 * 200 + 145], kWhite);
    EXPECT_EQ(out[50 * 200 + 10], kWhite);
    EXPECT_EQ(out[50 * 200 + 160], kWhite);

    // An area one unit wide or high has a round shape of radius 0: nothing lies inside it, the
    // centre pixel included.
    for (int shape : {1, 2}) {
        for (const CRect& area : {CRect(0, -50, 1, 50), CRect(-50, 0, 50, 1)}) {
            ASSERT_GT(core.SetupRender(area.left, area.top, area.right, area.bottom, area.Width(), area.Height(), shape), 0);
            ASSERT_EQ(RenderAllSerial(core, &out), 1);
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_EQ(out[i], kWhite) << "shape " << shape << ", pixel " << i;
        }
    }
}

// A small set of pictures around the viewer, seen in the given projection.
void BuildRing(CMcCore& core, int projection, int overlapMode)
{
    core.m_Projection = projection;
    core.m_CommonFocal = 300.0;
    core.m_OverlapMode = overlapMode;
    ResetProjectionReference(0);
    const double yaws[] = {0.0, 0.5, -0.5, 1.0, -1.0};
    const double pitches[] = {0.0, 0.1, -0.15, 0.3, -0.2};
    const double focals[] = {300.0, 310.0, 290.0, 320.0, 300.0};
    for (int i = 0; i < 5; ++i) {
        CPictureSpec spec;
        spec.width = 160 + 10 * i;
        spec.height = 120;
        spec.yaw = yaws[i];
        spec.pitch = pitches[i];
        spec.roll = 0.05 * i;
        spec.focal = focals[i];
        spec.colour = [i](int x, int y) { return Pattern(x + 31 * i, y); };
        AddPicture(core, spec, "ring" + std::to_string(i) + ".bmp");
    }
}

TEST(Renderer, EveryProjectionCodeRenders)
{
    const int codes[] = {11, 12, 13, 14, 15, 21, 22, 23, 24, 25, 31, 32, 33, 34, 99};
    for (int code : codes) {
        CMcCore core;
        BuildRing(core, code, 1);
        ASSERT_GT(core.SetupRender(-400, -250, 400, 250, 160, 100, 0), 0) << code;
        std::vector<COLORREF> out;
        ASSERT_EQ(RenderAllSerial(core, &out), 1) << code;
        // The picture straight ahead is always shown in the middle.
        EXPECT_NE(out[50 * 160 + 80], kWhite) << "projection " << code;
        std::set<COLORREF> distinct(out.begin(), out.end());
        EXPECT_GT(distinct.size(), 50u) << "projection " << code;
    }
}

TEST(Renderer, BandsOnSeveralCoresMatchTheSerialRender)
{
    struct Case {
        int projection;
        int overlapMode;
        int priority;
        int shape;
    } const cases[] = {{21, 1, 5, 0}, {11, 0, 5, 0}, {32, 2, 5, 2}, {23, 3, 1, 0}};
    for (const Case& c : cases) {
        CMcCore serial;
        BuildRing(serial, c.projection, c.overlapMode);
        serial.m_RenderPriority = c.priority;
        ASSERT_GT(serial.SetupRender(-500, -300, 500, 300, 203, 121, c.shape), 0);
        std::vector<COLORREF> expect;
        ASSERT_EQ(RenderAllSerial(serial, &expect), 1);

        CMcCore parallel;
        BuildRing(parallel, c.projection, c.overlapMode);
        parallel.m_RenderPriority = c.priority;
        ASSERT_GT(parallel.SetupRender(-500, -300, 500, 300, 203, 121, c.shape), 0);
        const int W = 203;
        const int H = 121;
        std::vector<COLORREF> got(static_cast<size_t>(W) * H, 0);
        std::vector<int> order;
        for (int b = (H - 1) / 16; b >= 0; --b)
            order.push_back(b);   // the order a bottom-up writer needs
        std::vector<int> seen;
        const int r = RenderBandsInOrder(parallel, order, 4, [&](int band, const CPixelArray& px) {
            seen.push_back(band);
            for (int row = 0; row < 16 && band * 16 + row < H; ++row)
                for (int x = 0; x < W; ++x)
                    got[static_cast<size_t>(band * 16 + row) * W + x] = px[row * W + x];
            return 1;
        });
        ASSERT_EQ(r, 1);
        EXPECT_EQ(seen, order);
        EXPECT_TRUE(got == expect) << "projection " << c.projection << " overlap " << c.overlapMode;
        EXPECT_EQ(parallel.m_Progress[1], 0);
    }
}

std::atomic<int> g_ThreadsGranted{0};

// Grants g_ThreadsGranted threads, then refuses as a process at its thread or address-space
// limit does.
std::thread GrantThenRefuse(std::function<void()> body)
{
    if (g_ThreadsGranted.fetch_sub(1) <= 0)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
}

// Threads that cannot be started are done without: with one of four or none granted, the
// bands come out as the serial render's. (A refused thread ended the program.)
TEST(Renderer, RefusedThreadsLeaveTheSerialRender)
{
    CMcCore serial;
    BuildRing(serial, 21, 1);
    ASSERT_GT(serial.SetupRender(-500, -300, 500, 300, 203, 121, 0), 0);
    std::vector<COLORREF> expect;
    ASSERT_EQ(RenderAllSerial(serial, &expect), 1);

    SetWorkerThreadStarter(GrantThenRefuse);
    for (const int granted : {0, 1}) {
        SCOPED_TRACE(granted);
        g_ThreadsGranted = granted;
        CMcCore core;
        BuildRing(core, 21, 1);
        ASSERT_GT(core.SetupRender(-500, -300, 500, 300, 203, 121, 0), 0);
        const int W = 203, H = 121;
        std::vector<COLORREF> got(static_cast<size_t>(W) * H, 0);
        std::vector<int> order;
        for (int b = 0; b <= (H - 1) / 16; ++b)
            order.push_back(b);
        const int r = RenderBandsInOrder(core, order, 4, [&](int band, const CPixelArray& px) {
            for (int row = 0; row < 16 && band * 16 + row < H; ++row)
                for (int x = 0; x < W; ++x)
                    got[static_cast<size_t>(band * 16 + row) * W + x] = px[row * W + x];
            return 1;
        });
        EXPECT_EQ(r, 1);
        EXPECT_TRUE(got == expect);
    }
    SetWorkerThreadStarter(nullptr);
}

TEST(Renderer, BandDriverStopsWhenTheSinkFails)
{
    CMcCore core;
    BuildRing(core, 21, 1);
    ASSERT_GT(core.SetupRender(-500, -300, 500, 300, 100, 100, 0), 0);
    int calls = 0;
    const std::vector<int> order = {0, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(RenderBandsInOrder(core, order, 3, [&](int, const CPixelArray&) { return ++calls == 2 ? -1 : 1; }),
              -1);
    EXPECT_EQ(calls, 2);
}

TEST(Renderer, EscapeBreaksTheBandsAtTheNextPoll)
{
    // Job mode 1: a press of Escape breaks at the next poll, serial or on several cores; the
    // bands already delivered stay delivered and no further band reaches the writer.
    for (int threads : {1, 4}) {
        platform::InputState input;
        platform::SetInput(&input);
        CMcCore core;
        BuildRing(core, 21, 1);
        ASSERT_GT(core.SetupRender(-500, -300, 500, 300, 100, 100, 0), 0);
        core.m_JobMode = 1;
        int delivered = 0;
        const int r = RenderBandsInOrder(core, {0, 1, 2, 3, 4, 5, 6}, threads, [&](int, const CPixelArray&) {
            if (++delivered == 2)
                input.Press(platform::Key::Escape);
            return 1;
        });
        platform::SetInput(nullptr);
        EXPECT_EQ(r, -1) << threads << " threads";
        EXPECT_EQ(delivered, 2) << threads << " threads";
        EXPECT_EQ(core.m_JobMode, -1) << threads << " threads";
    }
}

} // namespace

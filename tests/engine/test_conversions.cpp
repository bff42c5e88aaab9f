// The picture set's conversions between sphere, output plane, raster and pictures, the
// default output area, and the break and progress poll with a fake input and a recording host.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "geometry/lens_table.h"
#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/input_state.h"

namespace {

// Records every progress tick and answers with a chosen job mode.
class RecordingHost : public CMcHost {
public:
    int OnProgress(int kind, int tick) override
    {
        calls.emplace_back(kind, tick);
        return answer;
    }
    std::vector<std::pair<int, int>> calls;
    int answer = 2;
};

class ConversionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetInput(&m_input);
        m_core.m_Host = &m_host;
    }

    // A fitted picture 3000 x 2000 looking at (yaw, pitch).
    CKpic* AddPicture(double yaw, double pitch, double focal, int status = 3)
    {
        auto k = std::make_unique<CKpic>();
        k->m_PictureRect = CRect(0, 0, 3000, 2000);
        k->m_OpticalCentre = {1499.5, 999.5};
        k->m_Focal = focal;
        k->m_Direction = {yaw, pitch};
        k->m_Status = status;
        m_core.m_Pictures.push_back(std::move(k));
        return m_core.m_Pictures.back().get();
    }

    platform::InputState m_input;
    RecordingHost m_host;
    CMcCore m_core;
};

TEST_F(ConversionsTest, DispatchUsesTheProjectionCodeAndTheCommonFocal)
{
    m_core.m_CommonFocal = 1234.0;
    const CDPoint d{0.4, -0.3};
    for (int code : {11, 12, 13, 14, 15, 21, 22, 23, 24, 25, 31, 32, 33, 34, 0, 19, 99}) {
        m_core.m_Projection = code;
        const CDPoint q = m_core.SphereToPlane(d);
        EXPECT_EQ(q, ProjectDirection(code, d, 1234.0)) << code;
        EXPECT_EQ(m_core.PlaneToSphere(q), UnprojectPlanePoint(code, q, 1234.0)) << code;
        EXPECT_EQ(m_core.SphereToPixel(d), q.ToPoint()) << code;
        EXPECT_EQ(m_core.PixelToSphere(100, -50), UnprojectPlanePoint(code, {100.0, -50.0}, 1234.0)) << code;
    }
    // Codes the table does not list are Linear.
    m_core.m_Projection = 77;
    EXPECT_EQ(m_core.SphereToPlane(d), ProjectLinear(d, 1234.0));
    // Behind a linear view the rounded pixel saturates.
    m_core.m_Projection = 11;
    EXPECT_EQ(m_core.SphereToPixel({2.0, 0.1}), CPoint(2100000000, 2100000000));
    EXPECT_EQ(m_core.SphereToPixel({-2.0, -0.1}), CPoint(-2100000000, -2100000000));
    // A missing direction projects to no plane point in any projection.
    for (int code : {11, 21, 23, 25, 31, 34}) {
        m_core.m_Projection = code;
        EXPECT_EQ(m_core.SphereToPlane(InvalidDirection), InvalidPlanePoint) << code;
    }
}

TEST_F(ConversionsTest, OutputRasterAndPlane)
{
    // Raster pixel (0, 0) sits at the scaled origin (ox, oy) = (-400, -300), at 2.5 plane units
    // per pixel.
    m_core.m_ScaledRect = CRect(-400, -300, 400, 300);
    m_core.m_RenderOffset = CPoint(400, 300);
    m_core.m_RenderScale = 2.5;
    EXPECT_EQ(m_core.OutputToPlane(0, 0), CDPoint(-1000.0, -750.0));
    EXPECT_EQ(m_core.OutputToPlane(400, 300), CDPoint(0.0, 0.0));
    EXPECT_EQ(m_core.OutputToPlaneD({410.5, 290.0}), CDPoint(26.25, -25.0));
    for (const CDPoint p : {CDPoint(0.0, 0.0), CDPoint(123.25, 456.5), CDPoint(-17.0, 900.0)}) {
        const CDPoint back = m_core.PlaneToOutput(m_core.OutputToPlaneD(p));
        EXPECT_NEAR(back.x, p.x, 1e-12);
        EXPECT_NEAR(back.y, p.y, 1e-12);
    }
}

TEST_F(ConversionsTest, PictureAndOutputPixelsMapBothWays)
{
    for (int code : {11, 21, 23, 32}) {
        m_core.m_Projection = code;
        m_core.m_CommonFocal = 2000.0;
        m_core.m_Pictures.clear();
        CKpic* k = AddPicture(0.3, 0.1, 2000.0);
        k->m_Roll = 0.2;
        // Output pixels go to the picture and come back within rounding.
        for (const CPoint out : {CPoint(500, 100), CPoint(700, 400), CPoint(300, -200)}) {
            const CPoint pic = m_core.PixelToPicture(k, out.x, out.y);
            EXPECT_EQ(pic, m_core.PixelToPictureD(k, out.x, out.y));
            const CPoint back = m_core.PictureToPixel(k, pic.x, pic.y);
            EXPECT_LE(std::abs(back.x - out.x), 1) << code;
            EXPECT_LE(std::abs(back.y - out.y), 1) << code;
        }
        // The picture's optical centre lands where its axis projects.
        const CPoint axis = m_core.PictureToPixel(k, 1500, 1000);
        const CDPoint q = m_core.SphereToPlane({0.3, 0.1});
        EXPECT_LE(std::abs(axis.x - q.ToPoint().x), 1) << code;
        EXPECT_LE(std::abs(axis.y - q.ToPoint().y), 1) << code;
    }
    EXPECT_EQ(m_core.PixelToPicture(nullptr, 1, 2), InvalidPlanePoint.ToPoint());
}

TEST_F(ConversionsTest, OutputAreaOfAnEmptySetAndOfPictures)
{
    m_core.m_Projection = 21;
    m_core.m_CommonFocal = 1000.0;
    EXPECT_EQ(m_core.GetOutputArea(0), CRect(-160, -120, 160, 120));
    EXPECT_EQ(m_core.m_RenderShape, 0);

    // The first picture's corners set the centred area; fitted pictures' axes grow it, up to
    // twice the centred area.
    AddPicture(0.0, 0.0, 1000.0);
    const CPoint tl = m_core.PictureToPixel(m_core.m_Pictures[0].get(), 0, 0);
    const CPoint br = m_core.PictureToPixel(m_core.m_Pictures[0].get(), 3000, 2000);
    const int halfW = (br.x - tl.x) / 2;
    const int halfH = (br.y - tl.y) / 2;
    EXPECT_EQ(m_core.GetOutputArea(2), CRect(-halfW, -halfH, halfW, halfH));
    EXPECT_EQ(m_core.m_RenderShape, 2);
    AddPicture(1.5, 0.0, 1000.0);        // its axis at x = 1500
    AddPicture(-9.0, 0.0, 1000.0, 2);    // not fitted: ignored
    const CRect grown = m_core.GetOutputArea(0);
    EXPECT_EQ(grown, CRect(-halfW, -halfH, std::min(1500, 2 * halfW), halfH));
    AddPicture(5.0, 0.0, 1000.0);        // far beyond twice the area: cut there
    EXPECT_EQ(m_core.GetOutputArea(0).right, 2 * halfW);

    // Fisheye views centre the area on the origin when asked to.
    m_core.m_Projection = 32;
    m_core.m_Pictures.resize(1);
    AddPicture(0.0, 0.5, 1000.0);
    const CRect plain = m_core.GetOutputArea(0);
    const CRect centred = m_core.GetOutputArea(1);
    EXPECT_EQ(centred.Width(), plain.Width());
    EXPECT_EQ(centred.Height(), plain.Height());
    EXPECT_LE(std::abs(centred.left + centred.right), 1);
    EXPECT_LE(std::abs(centred.top + centred.bottom), 1);
}

TEST_F(ConversionsTest, OutputAreaWithPointsBehindALinearViewStaysFinite)
{
    // A base picture looking backwards in a linear view: its corners lie behind the viewer and
    // round to -2.1e9 and +2.1e9 in height, whose difference and double overflow 32 bits.
    m_core.m_Projection = 11;
    m_core.m_CommonFocal = 1000.0;
    AddPicture(2.5, 0.0, 3000.0);
    AddPicture(-2.0, 0.0, 500.0);
    ASSERT_EQ(m_core.PictureToPixel(m_core.m_Pictures[0].get(), 0, 0).y, -2100000000);
    ASSERT_EQ(m_core.PictureToPixel(m_core.m_Pictures[0].get(), 3000, 2000).y, 2100000000);
    const CRect a = m_core.GetOutputArea(0);
    EXPECT_LE(a.left, a.right);
    EXPECT_LE(a.top, a.bottom);
    EXPECT_GE(a.left, -2100000000);
    EXPECT_LE(a.right, 2100000000);
}

TEST_F(ConversionsTest, PollBreakOutsideATimerJob)
{
    // Off: nothing is asked.
    m_core.m_JobMode = 0;
    m_input.Press(platform::Key::Escape);
    EXPECT_EQ(m_core.PollBreak(), 0);
    m_input.Reset();

    // Any press breaks a job of mode 1: Esc gives 27 whether the button is down or not.
    struct Case {
        bool button, escape;
        int key;
    } cases[] = {{false, false, 0}, {true, false, 1}, {false, true, 27}, {true, true, 27}};
    for (const Case& c : cases) {
        m_input.Reset();
        if (c.button)
            m_input.Tap(platform::Key::LeftButton);
        if (c.escape)
            m_input.Tap(platform::Key::Escape);
        m_core.m_JobMode = 1;
        EXPECT_EQ(m_core.PollBreak(), c.key);
        EXPECT_EQ(m_core.m_JobMode, c.key != 0 ? -1 : 1);
    }
    // Once broken, every poll answers 1 at once.
    m_input.Reset();
    m_core.m_JobMode = -1;
    EXPECT_EQ(m_core.PollBreak(), 1);
    // Modes other than 1 and 2 read the keys but never break.
    m_input.Press(platform::Key::Escape);
    m_core.m_JobMode = 3;
    EXPECT_EQ(m_core.PollBreak(), 0);
    EXPECT_EQ(m_core.m_JobMode, 3);
    EXPECT_TRUE(m_host.calls.empty());
}

TEST_F(ConversionsTest, PollBreakWithTheTimerRing)
{
    m_core.m_JobMode = 2;
    m_core.m_Progress[0] = 100;
    m_core.m_Progress[3] = 50;
    EXPECT_EQ(m_core.PollBreak(), 0);
    ASSERT_EQ(m_host.calls.size(), 1u);
    EXPECT_EQ(m_host.calls[0], std::make_pair(0, 150));
    EXPECT_EQ(m_core.m_Progress[9], 150);
    // No key and the same tick: the host is not called again.
    EXPECT_EQ(m_core.PollBreak(), 0);
    EXPECT_EQ(m_host.calls.size(), 1u);
    // A key is always passed on, even on the same tick.
    m_input.Tap(platform::Key::LeftButton);
    EXPECT_EQ(m_core.PollBreak(), 1);
    ASSERT_EQ(m_host.calls.size(), 2u);
    EXPECT_EQ(m_host.calls[1], std::make_pair(1, 150));
    EXPECT_EQ(m_core.m_JobMode, 2);

    // A counter sum of exactly one ring gives tick 0: c7 takes 200 and the tick becomes 200.
    m_core.m_Progress[0] = 20735;
    m_core.m_Progress[3] = 0;
    EXPECT_EQ(m_core.PollBreak(), 0);
    EXPECT_EQ(m_core.m_Progress[7], 200);
    EXPECT_EQ(m_host.calls.back(), std::make_pair(0, 200));
    // A negative sum is lifted the same way, then held at 1 at least.
    m_core.ResetProgress();
    m_core.m_Progress[2] = -250;
    m_core.PollBreak();
    EXPECT_EQ(m_core.m_Progress[7], 200);
    EXPECT_EQ(m_host.calls.back(), std::make_pair(0, 1));

    // The host's answer becomes the job mode; -2 with a key pressed breaks.
    m_host.answer = -1;
    m_core.m_Progress[0] = 7;
    m_core.PollBreak();
    EXPECT_EQ(m_core.m_JobMode, -1);
    m_core.m_JobMode = 2;
    m_host.answer = -2;
    m_input.Tap(platform::Key::Escape);
    EXPECT_EQ(m_core.PollBreak(), 27);
    EXPECT_EQ(m_core.m_JobMode, -1);
}

TEST_F(ConversionsTest, ProgressTickFoldsLargeCountersWithoutOverflow)
{
    m_core.m_Progress[0] = INT_MAX;
    m_core.m_Progress[1] = INT_MAX;
    m_core.m_Progress[2] = INT_MAX;
    const long long sum = 3LL * INT_MAX;
    const int expected = static_cast<int>(sum % 20735);
    EXPECT_EQ(m_core.GetProgressTick(), expected);
    EXPECT_EQ(m_core.m_Progress[9], expected);
    m_core.ResetProgress();
    m_core.m_Progress[5] = -3;
    EXPECT_EQ(m_core.GetProgressTick(), 1);
    m_core.m_Progress[5] = 20735 * 3;
    EXPECT_EQ(m_core.GetProgressTick(), 1);
    // c9 and the offsets c7, c8: c9 is not summed, c7 and c8 are.
    m_core.ResetProgress();
    m_core.m_Progress[7] = 10;
    m_core.m_Progress[8] = 5;
    m_core.m_Progress[9] = 999;
    EXPECT_EQ(m_core.GetProgressTick(), 15);

    // The poll's c7 increments never overflow either.
    m_core.ResetProgress();
    m_core.m_JobMode = 2;
    m_core.m_Progress[7] = INT_MAX - 100;
    m_core.m_Progress[0] = -(INT_MAX - 100);
    m_core.PollBreak();
    EXPECT_GT(m_core.m_Progress[7], 0);
}

} // namespace

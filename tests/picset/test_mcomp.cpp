// The picture set facade: its own rules (exact-path lookup, placed outline, the fit-mode
// value around the fit, the in-view test, the drag preview's bars, the turn clamp) and that
// its forwarders reach the picture set.
#include "picset/mcomp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "imagefile/pixel_array.h"
#include "platform/message_box.h"
#include "test_picture_set_fakes.h"

namespace {

class McompTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEngineModeFlags();
        platform::SetMessageBox(&m_box);
        m_facade.SetHost(&m_host);
        m_host.set = &m_facade.Core();
    }

    platform::FakeMessageBox m_box;
    RecordingHost m_host;
    CMcomp m_facade;
};

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

} // namespace

TEST_F(McompTest, ExactPathForTheFacadeCaseInsensitiveForTheSet)
{
    PhotoFolder folder("facade_find");
    const std::string path = folder.Add(m_host, "Pic.jpg", 640, 480);
    CKpic* k = m_facade.OpenPicture(path);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(m_facade.GetPictureCount(), 1);
    EXPECT_EQ(m_facade.GetPictureAt(0), k);

    EXPECT_EQ(m_facade.FindPicture(path), k);
    EXPECT_EQ(m_facade.FindPicture(Upper(path)), nullptr);
    EXPECT_EQ(m_facade.FindPictureIndex(Upper(path)), 0);

    // The piece slot and the placed outline go by the exact path too.
    m_facade.SetPieceSlot(Upper(path), 4, 5);
    EXPECT_EQ(k->m_LayoutCell, CPoint());
    m_facade.SetPieceSlot(path, -1, 2);
    EXPECT_EQ(k->m_LayoutCell, CPoint(-1, 2));

    // The conversions by path ignore case; an unknown path gives (0, 0).
    EXPECT_EQ(m_facade.PixelToPicture(path + ".missing", 10, 10), CPoint());
    EXPECT_EQ(m_facade.PictureToPixel(path + ".missing", 10, 10), CPoint());
    EXPECT_EQ(m_facade.PixelToPicture(Upper(path), 3, 4), m_facade.Core().PixelToPicture(k, 3, 4));
}

TEST_F(McompTest, PlacedOutlineOnlyForPlacedPictures)
{
    PhotoFolder folder("facade_outline");
    const std::string path = folder.Add(m_host, "a.jpg", 640, 480);
    CKpic* k = m_facade.OpenPicture(path);
    ASSERT_NE(k, nullptr);
    for (int status : {0, 1}) {
        k->m_Status = status;
        EXPECT_TRUE(m_facade.GetPlacedOutline(path).IsRectNull()) << status;
    }
    k->m_Status = 2;
    EXPECT_EQ(m_facade.GetPlacedOutline(path), m_facade.Core().GetPictureOutline(k));
    EXPECT_TRUE(m_facade.GetPlacedOutline(Upper(path)).IsRectNull());
}

TEST_F(McompTest, PointMarksAreNeverAskedForTheBasePicture)
{
    PhotoFolder folder("facade_marks");
    const std::string base = folder.Add(m_host, "a.jpg", 640, 480);
    ASSERT_NE(m_facade.OpenPicture(base), nullptr);
    std::vector<MarkPoint> marks(1);
    marks[0].x = 77;
    m_facade.GetPointMarks(Upper(base), marks);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].x, 77);
    m_facade.GetPointMarks(base + ".missing", marks);
    EXPECT_EQ(marks.size(), 1u);
}

TEST_F(McompTest, FitModeAroundTheAutomaticFit)
{
    FitMode = 3;
    m_facade.RunAutoFit();
    EXPECT_EQ(FitMode, -2);
    FitMode = 3;
    m_facade.RunAutoFit360();
    EXPECT_EQ(FitMode, -2);
}

TEST_F(McompTest, InViewByProjectionFamily)
{
    PhotoFolder folder("facade_view");
    CKpic* k = m_facade.OpenPicture(folder.Add(m_host, "a.jpg", 640, 480));
    ASSERT_NE(k, nullptr);
    const double far = 0.48 * 3.14159265;
    const double near = 0.46 * 3.14159265;
    struct Case {
        int code;
        double yaw, pitch;
        int inView;
    };
    const Case cases[] = {
        {11, 0.0, 0.0, 1},   {11, far, 0.0, 0},   {11, -far, 0.0, 0}, {11, near, -near, 1},
        {11, 0.0, far, 0},   {21, far, 0.0, 1},   {25, 3.0, near, 1}, {21, 0.0, -far, 0},
        {31, far, far, 1},   {34, -3.0, -1.6, 1},
    };
    for (const Case& c : cases) {
        m_facade.SetProjection(c.code);
        k->m_Direction = CDPoint(c.yaw, c.pitch);
        EXPECT_EQ(m_facade.IsPictureInView(k), c.inView) << c.code << " " << c.yaw << " " << c.pitch;
    }
    EXPECT_EQ(m_facade.IsPictureInView(nullptr), 0);
}

TEST(McompDrag, EdgeBarsByFlags)
{
    const int side = CMcomp::kPreviewSide;
    auto painted = [&](int flags) {
        CPixelArray preview;
        preview.SetSize(side * side);
        preview.Fill(0x00FFFFFF);
        CMcomp::PaintEdgeBars(preview, flags);
        return preview;
    };
    auto isBar = [&](const CPixelArray& p, int column, int row) {
        return p[row * side + column] == CMcomp::kEdgeBarColour;
    };

    const CPixelArray rightBottom = painted(0x30);
    EXPECT_TRUE(isBar(rightBottom, 122, 60));
    EXPECT_FALSE(isBar(rightBottom, 121, 60));
    EXPECT_TRUE(isBar(rightBottom, 60, 123));
    EXPECT_FALSE(isBar(rightBottom, 60, 122));
    EXPECT_FALSE(isBar(rightBottom, 0, 60));
    EXPECT_FALSE(isBar(rightBottom, 60, 0));
    // The bottom bar is exactly entries 15744 .. 16383 plus the right bar's columns above it.
    int count = 0;
    for (int i = 0; i < side * side; ++i)
        count += rightBottom[i] == CMcomp::kEdgeBarColour;
    EXPECT_EQ(count, 5 * side + 6 * (side - 5));

    const CPixelArray leftTop = painted(0xC0);
    EXPECT_TRUE(isBar(leftTop, 5, 60));
    EXPECT_FALSE(isBar(leftTop, 6, 60));
    EXPECT_TRUE(isBar(leftTop, 60, 4));
    EXPECT_FALSE(isBar(leftTop, 60, 5));
    EXPECT_FALSE(isBar(leftTop, 127, 127));

    const CPixelArray all = painted(0x100);
    for (auto [column, row] : {std::pair{0, 64}, {127, 64}, {64, 0}, {64, 127}})
        EXPECT_TRUE(isBar(all, column, row));
    EXPECT_FALSE(isBar(all, 64, 64));

    // Flags below 16 paint nothing, nor does a preview too small for the bars.
    EXPECT_EQ(painted(0x0F), painted(0));
    CPixelArray small;
    small.SetSize(64 * 64);
    CMcomp::PaintEdgeBars(small, 0x100);
    EXPECT_TRUE(std::all_of(small.GetData(), small.GetData() + small.GetSize(), [](COLORREF c) { return c == 0; }));
}

TEST(McompMove, TurnIsClampedWithTheEnginesPi)
{
    EXPECT_DOUBLE_EQ(CMcomp::ClampTurn(7.0), 6.2831853);
    EXPECT_DOUBLE_EQ(CMcomp::ClampTurn(-7.0), -6.2831853);
    EXPECT_DOUBLE_EQ(CMcomp::ClampTurn(1.25), 1.25);
}

TEST_F(McompTest, SettingsReachThePictureSet)
{
    m_facade.SetFitQuality(2);
    m_facade.SetRenderQuality(1);
    m_facade.SetOverlapMode(3);
    m_facade.SetBreakMode(2);
    const CMcCore& core = m_facade.Core();
    EXPECT_EQ(core.m_FitPriority, 2);
    EXPECT_EQ(core.m_RenderPriority, 1);
    EXPECT_EQ(core.GetOverlapMode(), 3);
    EXPECT_EQ(m_facade.GetBreakMode(), 2);
    EXPECT_EQ(m_facade.GetFitLevel(), core.m_FitState);
    EXPECT_EQ(m_facade.GetBlendStrength(), 10);
    EXPECT_EQ(core.m_Host, &m_host);
    EXPECT_EQ(CMcomp::GetUnitScale(), 1.0);

    PhotoFolder folder("facade_delete");
    ASSERT_NE(m_facade.OpenPicture(folder.Add(m_host, "a.jpg", 640, 480)), nullptr);
    ASSERT_NE(m_facade.OpenPicture(folder.Add(m_host, "b.jpg", 640, 480)), nullptr);
    EXPECT_EQ(m_facade.DeletePicture(0), 1);
    EXPECT_EQ(m_facade.GetPictureCount(), 1);
}

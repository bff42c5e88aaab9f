// Outlines of placed pictures, the bounding rectangle, the placement anchor, mapping between
// pictures, hit tests and the lens figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

// Records the change notices the picture set sends.
class NoticeHost : public CMcHost {
public:
    int UpdateAllViews(const void*, int hint, const std::string* object) override
    {
        hints.push_back(hint);
        objects.push_back(object ? *object : std::string());
        return 1;
    }
    void OnPlacementChanged(int flag) override { placementFlags.push_back(flag); }
    std::vector<int> hints;
    std::vector<std::string> objects;
    std::vector<int> placementFlags;
};

class OutlineTest : public ::testing::Test {
protected:
    void SetUp() override { m_set.m_Host = &m_host; }

    // A fitted picture of w x h looking at (yaw, pitch), its focal that of the set.
    CKpic* AddPicture(const std::string& path, int w, int h, double yaw, double pitch, int status = 3)
    {
        auto k = std::make_unique<CKpic>();
        k->m_Path = path;
        k->m_PictureRect = CRect(0, 0, w, h);
        k->m_OpticalCentre = {(w - 1) / 2.0, (h - 1) / 2.0};
        k->m_Focal = m_set.m_CommonFocal;
        k->m_Direction = {yaw, pitch};
        k->m_Status = status;
        m_set.m_Pictures.push_back(std::move(k));
        return m_set.m_Pictures.back().get();
    }

    // Where each point along the picture's border lands in the output.
    std::vector<CPoint> BorderLandings(CKpic* k)
    {
        std::vector<CPoint> out;
        const int w = k->Width(), h = k->Height();
        for (int i = 0; i <= 40; ++i) {
            for (CDPoint p : {CDPoint(w * i / 40, 0), CDPoint(w * i / 40, h), CDPoint(0, h * i / 40), CDPoint(w, h * i / 40)})
                out.push_back(m_set.SphereToPixel(k->PixelToSphere(p)));
        }
        return out;
    }

    static bool Covers(const CRect& r, CPoint p, int slack)
    {
        return p.x >= r.left - slack && p.x <= r.right + slack && p.y >= r.top - slack && p.y <= r.bottom + slack;
    }

    NoticeHost m_host;
    CMcCore m_set;
};

// Three pictures side by side in the plane projection: each outline holds where its border
// lands, and the bounding rectangle holds all of them.
TEST_F(OutlineTest, PlaneOutlinesHoldThePicturesAndTheBoundsHoldTheOutlines)
{
    m_set.m_Projection = PROJ_LINEAR;
    m_set.m_CommonFocal = 1200.0;
    CKpic* pics[] = {AddPicture("a", 1200, 800, -0.6, 0.05), AddPicture("b", 1200, 800, 0.0, 0.0),
                     AddPicture("c", 1200, 800, 0.6, -0.1)};
    m_set.UpdateBoundingRect();
    // Far off the centre the linear projection is cut at about 60 degrees (1.732 f).
    const int a = static_cast<int>(1200.0 * 1.732);
    for (CKpic* k : pics) {
        const CRect outline = m_set.GetPictureOutline(k);
        EXPECT_FALSE(outline.IsRectEmpty());
        for (CPoint p : BorderLandings(k)) {
            const CPoint cut(std::clamp(p.x, -a, a), std::clamp(p.y, -a, a));
            EXPECT_TRUE(Covers(outline, cut, 3)) << k->m_Path << " " << p.x << "," << p.y;
        }
        EXPECT_EQ(m_set.m_BoundingRect | outline, m_set.m_BoundingRect) << k->m_Path;
    }
    // The middle picture looks straight ahead: its outline is about its own size.
    const CRect mid = m_set.GetPictureOutline(pics[1]);
    EXPECT_NEAR(mid.Width(), 1200, 60);
    EXPECT_NEAR(mid.Height(), 800, 40);
    EXPECT_NEAR(mid.CenterPoint().x, 0, 2);
    // Pictures turned away to the sides widen the bounds well past the middle one.
    EXPECT_LT(m_set.m_BoundingRect.left, mid.left - 500);
    EXPECT_GT(m_set.m_BoundingRect.right, mid.right + 500);
}

// A row of pictures all around in a panorama projection runs on past the 360-degree seam:
// longitudes are not wrapped, so the picture that straddles the seam keeps one narrow outline
// instead of splitting into two ends, and the bounds reach from the first picture to the last.
TEST_F(OutlineTest, OutlinesOfARowRunOnAcrossThePanoramaSeam)
{
    m_set.m_Projection = PROJ_EQUIRECTANGULAR;
    m_set.m_CommonFocal = 1000.0;
    std::vector<CKpic*> row;
    for (int i = 0; i < 8; ++i)
        row.push_back(AddPicture("p" + std::to_string(i), 1000, 700, 0.8 * i, 0.02 * (i % 3)));
    m_set.UpdateBoundingRect();

    // Each picture spans 2 atan(500 / 1000) of longitude.
    const double span = 2.0 * std::atan(0.5) * m_set.m_CommonFocal;
    for (CKpic* k : row) {
        const CRect o = m_set.GetPictureOutline(k);
        EXPECT_NEAR(o.Width(), span, 0.05 * span) << k->m_Path;
        EXPECT_NEAR(o.CenterPoint().x, k->Yaw() * m_set.m_CommonFocal, 2.0) << k->m_Path;
        for (CPoint p : BorderLandings(k))
            EXPECT_TRUE(Covers(o, p, 3)) << k->m_Path << " " << p.x << "," << p.y;
    }
    const CRect seam = m_set.GetPictureOutline(row[4]); // yaw 3.2, across the seam
    EXPECT_LT(seam.left, EnginePi * 1000.0);
    EXPECT_GT(seam.right, EnginePi * 1000.0);
    EXPECT_EQ(m_set.m_BoundingRect.left, m_set.GetPictureOutline(row.front()).left);
    EXPECT_EQ(m_set.m_BoundingRect.right, m_set.GetPictureOutline(row.back()).right);
}

// Outlines stay inside the linear projection's sixty-degree square: with a focal of 50 that
// square is clamped to 100 on each side.
TEST_F(OutlineTest, LinearOutlinesAreClippedToTheFocalSquare)
{
    m_set.m_Projection = PROJ_LINEAR;
    m_set.m_CommonFocal = 50.0;
    CKpic* k = AddPicture("wide", 1000, 1000, 0.0, 0.0);
    k->m_Focal = 150.0;
    EXPECT_EQ(m_set.GetPictureOutline(k), CRect(-100, -100, 100, 100));
    m_set.m_CommonFocal = 1000.0;
    const CRect r = m_set.GetPictureOutline(k);
    EXPECT_GT(r.Width(), 200);
    EXPECT_LE(r.right, 1732);
}

TEST_F(OutlineTest, BoundingRectangleNoticesOnlyRealChanges)
{
    // Nothing placed: the default area, noticed once.
    m_set.UpdateBoundingRect();
    EXPECT_EQ(m_set.m_BoundingRect, CRect(-400, -200, 400, 200));
    m_host.hints.clear();
    EXPECT_EQ(m_set.UpdateBoundingRect(), 0);
    EXPECT_TRUE(m_host.hints.empty());

    // Unplaced pictures do not count; a placed one does.
    m_set.m_Projection = PROJ_LINEAR;
    m_set.m_CommonFocal = 1000.0;
    AddPicture("unplaced", 3000, 2000, 0.0, 0.0, 0);
    EXPECT_EQ(m_set.UpdateBoundingRect(), 0);
    CKpic* placed = AddPicture("placed", 3000, 2000, 0.3, 0.0, 1);
    EXPECT_EQ(m_set.UpdateBoundingRect(), 1);
    EXPECT_EQ(m_host.hints, std::vector<int>{HINT_BOUNDS_CHANGED});
    EXPECT_EQ(m_set.m_BoundingRect, CRect(-400, -200, 400, 200) | m_set.GetPictureOutline(placed));

    // Extending by a picture always notices.
    m_host.hints.clear();
    m_set.ExtendBoundingRect(nullptr);
    m_set.ExtendBoundingRect(placed);
    EXPECT_EQ(m_host.hints, std::vector<int>{HINT_BOUNDS_CHANGED});
}

// While a job ticks, the frequent fit and bounds notices wait; the others pass.
TEST_F(OutlineTest, RunningJobHoldsBackFitAndBoundsNotices)
{
    const std::string path = "/photos/a.jpg";
    struct Case {
        int jobMode;
        int code;
        bool sent;
    };
    const Case cases[] = {
        {2, HINT_BOUNDS_CHANGED, false}, {2, HINT_FIT_CHANGED, false}, {3, HINT_BOUNDS_CHANGED, false},
        {2, HINT_UNFITTED_UNPLACED, true}, {2, HINT_UNFITTED_FROM, true},
        {1, HINT_BOUNDS_CHANGED, true}, {0, HINT_FIT_CHANGED, true}, {-1, HINT_BOUNDS_CHANGED, true},
    };
    for (const Case& c : cases) {
        m_host.hints.clear();
        m_set.m_JobMode = c.jobMode;
        EXPECT_EQ(m_set.NotifyHost(c.code, &path), c.sent ? 1 : 0) << c.jobMode << " " << c.code;
        EXPECT_EQ(m_host.hints.size(), c.sent ? 1u : 0u) << c.jobMode << " " << c.code;
    }
    m_set.m_JobMode = 0;
    m_set.m_Host = nullptr;
    EXPECT_EQ(m_set.NotifyHost(HINT_BOUNDS_CHANGED), 0);
}

TEST_F(OutlineTest, PlacementAnchorIsOneSlotRewrittenInPlace)
{
    CKpic* k = AddPicture("/photos/a.jpg", 3000, 2000, 0.0, 0.0);
    k->m_Points[0].kind = 1;
    k->m_Points[0].state = 3;
    k->m_Points[0].pointId = 7;
    EXPECT_EQ(m_set.SetPicturePlacement("/photos/none.jpg", CPoint(10, 10)), 0);
    EXPECT_EQ(m_set.SetPicturePlacement("/photos/a.jpg", CPoint(100, 200)), 1);
    EXPECT_EQ(m_set.SetPicturePlacement("/photos/a.jpg", CPoint(1500, 1000)), 1);

    int anchors = 0;
    for (const ControlPoint& p : k->m_Points)
        anchors += p.kind == 1 && p.state == -4 && p.pointId == 21327;
    EXPECT_EQ(anchors, 1);
    const int slot = k->FindAnchorPoint();
    ASSERT_EQ(slot, 1);
    const ControlPoint& a = k->m_Points[1];
    EXPECT_EQ(a.position, CDPoint(1500, 1000));
    EXPECT_EQ(a.target, CDPoint(0.0, 0.0));
    EXPECT_NEAR(a.planePosition.x, k->PixelToPlane(CDPoint(1500, 1000)).x, 1e-12);
    EXPECT_EQ(k->m_Points[0].pointId, 7);
    EXPECT_EQ(m_host.placementFlags, (std::vector<int>{0, 0}));
}

// A picture mapped into itself is its own rectangle; a neighbour turned to the right lands
// on the right part of it, also when the two lie on either side of the 360-degree seam.
TEST_F(OutlineTest, MapPictureRectFindsWhereOnePictureLandsInAnother)
{
    m_set.m_CommonFocal = 1000.0;
    CKpic* a = AddPicture("a", 1000, 800, 0.0, 0.0);
    CKpic* b = AddPicture("b", 1000, 800, 0.4, 0.0);
    CKpic* beforeSeam = AddPicture("c", 1000, 800, EnginePi - 0.2, 0.0);
    CKpic* afterSeam = AddPicture("d", 1000, 800, -EnginePi + 0.2, 0.0);
    const CRect self = m_set.MapPictureRect(a, a);
    EXPECT_NEAR(self.left, 0, 1);
    EXPECT_NEAR(self.top, 0, 1);
    EXPECT_EQ(self.right, 1000);
    EXPECT_EQ(self.bottom, 800);
    // b's left edge lies 0.4 - atan(0.5) to the left of a's axis: 500 + 1000 tan(-0.064).
    const CRect overlap = m_set.MapPictureRect(b, a);
    EXPECT_EQ(overlap.right, 1000);
    EXPECT_NEAR(overlap.left, 500 + 1000 * std::tan(0.4 - std::atan(0.5)), 3);
    EXPECT_EQ(m_set.MapPictureRect(afterSeam, beforeSeam), overlap);
}

TEST_F(OutlineTest, HitTestAsksWhetherAllFourCornersLieInThePicture)
{
    m_set.m_Projection = PROJ_LINEAR;
    m_set.m_CommonFocal = 1000.0;
    CKpic* k = AddPicture("a", 1000, 800, 0.0, 0.0);
    EXPECT_EQ(m_set.HitTestPicture(k, -50, -50, 100, 0), 1);
    EXPECT_EQ(m_set.HitTestPicture(k, 440, 0, 100, 0), 0);  // right edge past the picture
    EXPECT_EQ(m_set.HitTestPicture(k, 440, 0, 100, 80), 1); // within the margin
    EXPECT_EQ(m_set.HitTestPicture(k, -50, 380, 100, 0), 0);
    EXPECT_EQ(m_set.HitTestPicture(nullptr, 0, 0, 10, 0), 0);
}

TEST_F(OutlineTest, LensFiguresNeedTwoFittedPictures)
{
    m_set.m_CommonFocal = 3000.0;
    CKpic* k = AddPicture("a", 3000, 2000, 0.0, 0.0);
    k->m_ExifFocalLength = 18.0;
    AddPicture("b", 3000, 2000, 0.5, 0.0);
    double f35 = 9, h = 9, v = 9, sw = 9, sh = 9;
    m_set.m_FittedCount = 1;
    EXPECT_EQ(m_set.GetLensFigures(f35, h, v, sw, sh), -1);
    EXPECT_EQ(f35 + h + v + sw + sh, 0.0);

    m_set.m_FittedCount = 2;
    ASSERT_EQ(m_set.GetLensFigures(f35, h, v, sw, sh), 1);
    EXPECT_NEAR(f35, 3000.0 * 43.267 / std::hypot(3000.0, 2000.0), 1e-9);
    EXPECT_NEAR(h, 2.0 * std::atan2(1500.0, 3000.0) * 180.0 / EnginePi, 1e-9);
    EXPECT_NEAR(v, 2.0 * std::atan2(1000.0, 3000.0) * 180.0 / EnginePi, 1e-9);
    EXPECT_NEAR(sw, 18.0, 1e-9); // 2 f tan(H / 2) = f * w / focal
    EXPECT_NEAR(sh, 12.0, 1e-9);

    // Without a focal length in millimetres the sensor stays unknown.
    k->m_ExifFocalLength = 0.0;
    ASSERT_EQ(m_set.GetLensFigures(f35, h, v, sw, sh), 1);
    EXPECT_EQ(sw, 0.0);
    EXPECT_EQ(sh, 0.0);
}

} // namespace

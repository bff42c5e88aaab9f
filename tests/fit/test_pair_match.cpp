// Turning a matched pair into a fitted picture: the points that seeding leaves alone when it
// finds nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "geometry/lens_table.h"
#include "picset/mccore.h"

namespace {

void UseIdentityLens()
{
    LensTable& table = GetLensTable();
    table.Reset();
    table.SetReference(1.0, 500.0);
    table.Build(0.0, 0.95);
}

// A picture of the set: w x h, one colour, focal f, looking along `direction`.
CKpic* AddFlat(CMcCore& set, const std::string& name, CDPoint direction, int status)
{
    auto k = std::make_unique<CKpic>("/generated/" + name + ".bmp", CRect(0, 0, 400, 300));
    k->m_OpticalCentre = CDPoint(199.5, 149.5);
    k->m_Focal = k->m_DefaultFocal = 350.0;
    k->m_LensFocal = -1.0;
    k->m_LensScale = 1.0;
    k->m_Direction = direction;
    k->m_Status = status;
    k->Pixels.SetSize(400 * 300);
    k->Pixels.Fill(RGB(120, 140, 160));
    CKpic* raw = k.get();
    set.m_Pictures.push_back(std::move(k));
    return raw;
}

} // namespace

// Seeding a point from B's features finds nothing on a featureless picture. The step then has
// no point of its own to refine or give up: a point the picture already carried (here one the
// user set, not yet linked) stays, and the picture is refused.
TEST(PairMatch, SeedingThatFindsNothingLeavesThePicturesPointsAlone)
{
    UseIdentityLens();
    CMcCore set;
    set.m_LayoutRect = CRect(0, 0, 1, 0);
    set.m_FitTolerance = std::sqrt(400.0) / 6.0;
    AddFlat(set, "a", CDPoint(0.0, 0.0), 3);
    CKpic* b = AddFlat(set, "b", CDPoint(0.4, 0.0), 0);
    set.m_CommonFocal = 350.0;
    set.SortPlacedFirst();
    ControlPoint& user = b->m_Points[0];
    user.kind = 1;
    user.state = 0;
    user.pointId = 42;
    user.position = CDPoint(100.0, 150.0);
    user.target = b->PixelToSphere(user.position);
    b->RefreshControlPoints();

    EXPECT_LT(set.FitMatchedPicture(b, CPoint(100, 150), set.SphereToPixel(b->PixelToSphere(CDPoint(100, 150)))), 0);
    ASSERT_EQ(b->CountControlPoints(), 1);
    EXPECT_EQ(b->m_Points[0].pointId, 42);
    EXPECT_EQ(b->m_Points[0].kind, 1);
}

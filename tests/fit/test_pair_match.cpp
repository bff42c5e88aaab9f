// Turning a matched pair into a fitted picture: the rule that drops a refinement pass's point,
// the points seeding leaves alone when it finds nothing, and the first point match of the
// refinement on a real pair of views.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "engine/fit/pass_rules.h"
#include "geometry/lens_table.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"
#include "tests/engine/test_render_truth.h"
#include "tests/fit/fit_test_pictures.h"

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

// A pass's new point goes when the fit score grows by half or by more than two pixels, either
// one: a score that doubles from half a pixel is worse even though it grew by less than two.
TEST(PairMatch, PassThatWorsensTheFitByEitherMeasureDropsItsPoint)
{
    struct Case {
        double before, after;
        bool worse;
    };
    const Case cases[] = {
        {0.5, 1.0, true},    // twice as large, half a pixel more
        {10.0, 12.5, true},  // a quarter larger, two and a half pixels more
        {10.0, 11.5, false}, // within both
        {1.0, 1.5, false},   // exactly one and a half times
        {4.0, 3.0, false},   // better
    };
    for (const Case& c : cases)
        EXPECT_EQ(PassWorsenedFit(c.before, c.after), c.worse) << c.before << " -> " << c.after;
}

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

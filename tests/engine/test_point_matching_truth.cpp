// Control-point matching and focal estimation measured against camera truth: neighbouring
// synthetic views with their exact orientations give exact point pairs; a point moved off its
// true position must be matched back, flat content must be refused, and the focal must come
// back from the pairs' angles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/fit/focal_from_pairs.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"
#include "test_render_truth.h"

using namespace render_truth;

namespace {

const std::string kViewsDir = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3";

// A small deterministic generator, the same on every platform.
class CRandom {
public:
    explicit CRandom(uint32_t seed) : m_state(seed) {}
    double Uniform()  // [0, 1)
    {
        m_state = m_state * 1664525u + 1013904223u;
        return (m_state >> 8) / 16777216.0;
    }
    double Gauss()
    {
        const double u = std::max(Uniform(), 1e-12);
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * 3.14159265358979 * Uniform());
    }

private:
    uint32_t m_state;
};

class PointMatchingTruth : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        s_truth = std::make_unique<CTruth>();
        if (!LoadTruth(kViewsDir + "/truth.json", s_truth.get(), &error))
            s_truth.reset();
    }
    static void TearDownTestSuite()
    {
        s_truth.reset();
        s_images.clear();
    }

    void SetUp() override
    {
        if (!s_truth)
            GTEST_SKIP() << "no synthetic views in " << kViewsDir;
        SetEngineModeFlags();
    }

    static const CPixelArray& Image(int view)
    {
        auto it = s_images.find(view);
        if (it != s_images.end())
            return it->second;
        CPixelArray& pixels = s_images[view];
        const std::string path = kViewsDir + "/" + s_truth->views[static_cast<std::size_t>(view)].file;
        CSize size(s_truth->imageWidth, s_truth->imageHeight);
        if (LoadImageFile(path, pixels, size, CRect(0, 0, 0, 0)) <= 0)
            pixels.RemoveAll();
        return pixels;
    }

    // A fitted picture of a view at its true orientation and focal; pixels loaded when asked.
    CKpic* AddView(CMcCore& core, int view, bool withPixels)
    {
        auto k = std::make_unique<CKpic>();
        k->m_Path = s_truth->views[static_cast<std::size_t>(view)].file;
        k->m_PictureRect = CRect(0, 0, s_truth->imageWidth, s_truth->imageHeight);
        const COrientation o = EngineOrientation(s_truth->views[static_cast<std::size_t>(view)]);
        k->m_Direction = CDPoint(o.yaw, o.pitch);
        k->m_Roll = o.roll;
        k->m_Focal = s_truth->focal;
        k->m_DefaultFocal = s_truth->focal;
        k->m_OpticalCentre = CDPoint(s_truth->imageWidth / 2.0 - 0.5, s_truth->imageHeight / 2.0 - 0.5);
        k->m_Status = 3;
        if (withPixels)
            k->Pixels = Image(view);
        core.m_Pictures.push_back(std::move(k));
        core.m_CommonFocal = s_truth->focal;
        return core.m_Pictures.back().get();
    }

    // Where a pixel of a shows in b, by the truth; false when it lies outside b's margin.
    static bool TruePixel(const CKpic& a, const CKpic& b, CDPoint pa, int margin, CDPoint& pb)
    {
        pb = b.SphereToPixel(a.PixelToSphere(pa));
        return b.ContainsPoint(pb.ToPoint().x, pb.ToPoint().y, margin);
    }

    // The texture around a pixel: the smaller eigenvalue of the grey gradients' structure tensor
    // over a square of the given half side, per pixel, and the grey level's spread.
    static void Texture(const CKpic& k, CDPoint p, int half, double& minEigen, double& spread)
    {
        const int w = k.Width();
        auto grey = [&](int x, int y) {
            const COLORREF c = k.Pixels[static_cast<std::ptrdiff_t>(y) * w + x];
            return (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3.0;
        };
        const CPoint c = p.ToPoint();
        double xx = 0, yy = 0, xy = 0, sum = 0, sum2 = 0;
        int n = 0;
        for (int y = c.y - half; y <= c.y + half; ++y) {
            for (int x = c.x - half; x <= c.x + half; ++x) {
                const double gx = grey(x + 1, y) - grey(x - 1, y);
                const double gy = grey(x, y + 1) - grey(x, y - 1);
                xx += gx * gx;
                yy += gy * gy;
                xy += gx * gy;
                sum += grey(x, y);
                sum2 += grey(x, y) * grey(x, y);
                ++n;
            }
        }
        xx /= n;
        yy /= n;
        xy /= n;
        minEigen = (xx + yy) / 2.0 - std::sqrt((xx - yy) * (xx - yy) / 4.0 + xy * xy);
        spread = std::sqrt(std::max(0.0, sum2 / n - (sum / n) * (sum / n)));
    }

    // Ties slot 0 of a (the partner, fitted) at pa with slot 0 of b at pb.
    static void Link(CKpic& a, CDPoint pa, CKpic& b, CDPoint pb, int32_t id)
    {
        ControlPoint& ca = a.m_Points[0];
        ca = ControlPoint();
        ca.kind = 1;
        ca.state = 3;
        ca.pointId = id;
        ca.position = pa;
        ca.SetPlanePoint(a.PixelToPlane(pa), a.m_Focal);
        ca.spherePosition = a.PixelToSphere(pa);
        ControlPoint& cb = b.m_Points[0];
        cb = ca;
        cb.position = pb;
        cb.SetPlanePoint(b.PixelToPlane(pb), b.m_Focal);
        cb.target = ca.spherePosition;
    }

    static std::unique_ptr<CTruth> s_truth;
    static std::map<int, CPixelArray> s_images;
};

std::unique_ptr<CTruth> PointMatchingTruth::s_truth;
std::map<int, CPixelArray> PointMatchingTruth::s_images;

// Neighbouring views: along the ring, between the rows, and the rolled views.
const int kViewPairs[][2] = {{0, 1}, {1, 2}, {3, 4}, {12, 0}, {12, 1}, {13, 3}, {22, 3}, {9, 10}};

TEST_F(PointMatchingTruth, DisplacedPointsAreMatchedBackOnTexturedContent)
{
    CRandom random(12345);
    std::vector<double> errors;
    int failures = 0;
    int32_t id = 1000;
    for (const auto& vp : kViewPairs) {
        CMcCore core;
        CKpic* a = AddView(core, vp[0], true);
        CKpic* b = AddView(core, vp[1], true);
        ASSERT_FALSE(a->Pixels.IsEmpty());
        ASSERT_FALSE(b->Pixels.IsEmpty());
        int taken = 0;
        for (int y = 70; y < 530 && taken < 40; y += 37) {
            for (int x = 70; x < 730 && taken < 40; x += 41) {
                const CDPoint pa(x + random.Uniform(), y + random.Uniform());
                CDPoint truth;
                if (!TruePixel(*a, *b, pa, 70, truth))
                    continue;
                double eigenA = 0, eigenB = 0, spread = 0;
                Texture(*a, pa, 10, eigenA, spread);
                Texture(*b, truth, 10, eigenB, spread);
                if (std::min(eigenA, eigenB) < 60.0)
                    continue;
                // Up to 6 pixels off, in any direction.
                const double r = 6.0 * std::sqrt(random.Uniform());
                const double t = 2.0 * 3.14159265358979 * random.Uniform();
                Link(*a, pa, *b, truth + CDPoint(r * std::cos(t), r * std::sin(t)), ++id);
                // Coarse, then fine, as a new point at a feature is matched.
                const int coarse = core.MatchControlPoint(b, 0, 2.0, 8);
                const int fine = core.MatchControlPoint(b, 0, 0.5, 8);
                ++taken;
                if (coarse != 1 || fine != 1) {
                    ++failures;
                    continue;
                }
                const CDPoint d = b->m_Points[0].position - truth;
                errors.push_back(std::hypot(d.x, d.y));
            }
        }
    }
    ASSERT_GE(errors.size(), 200u);
    std::sort(errors.begin(), errors.end());
    const double median = errors[errors.size() / 2];
    const double p95 = errors[errors.size() * 95 / 100];
    const double worst = errors.back();
    const auto gross = std::count_if(errors.begin(), errors.end(), [](double e) { return e > 1.5; });
    std::cout << "[ figures  ] textured points " << errors.size() + failures << ": matched " << errors.size()
              << ", refused " << failures << "; error median " << median << " px, 95% " << p95 << " px, worst "
              << worst << " px, above 1.5 px " << gross << "\n";
    RecordProperty("match_median_px", std::to_string(median));
    RecordProperty("match_p95_px", std::to_string(p95));
    RecordProperty("match_worst_px", std::to_string(worst));
    // The final step is half a pixel and pixels are read at rounded positions: the median
    // lies near a quarter pixel, nineteen in twenty within about half a pixel.
    EXPECT_LE(median, 0.35);
    EXPECT_LE(p95, 0.7);
    EXPECT_LE(gross, static_cast<long>(errors.size() / 100));
    EXPECT_LE(worst, 1.0);
    EXPECT_LE(failures, static_cast<int>(errors.size() / 10));
}

} // namespace

namespace {

TEST_F(PointMatchingTruth, FlatSkyAndSandAreRefusedRatherThanMisplaced)
{
    CRandom random(777);
    int refused = 0, wrong = 0, right = 0;
    const int pairs[][2] = {{1, 18}, {2, 18}, {4, 19}, {7, 20}, {10, 21}, {0, 21}, {0, 12}, {2, 13}, {4, 14}, {6, 15}, {8, 16}, {10, 17}};
    int32_t id = 5000;
    for (const auto& vp : pairs) {
        CMcCore core;
        CKpic* a = AddView(core, vp[0], true);
        CKpic* b = AddView(core, vp[1], true);
        for (int y = 70; y < 530; y += 29) {
            for (int x = 70; x < 730; x += 31) {
                const CDPoint pa(x, y);
                CDPoint truth;
                if (!TruePixel(*a, *b, pa, 70, truth))
                    continue;
                // Sky, water and sand: weak gradients in both pictures.
                double eigenA = 0, spreadA = 0, eigenB = 0, spreadB = 0;
                Texture(*a, pa, 20, eigenA, spreadA);
                Texture(*b, truth, 20, eigenB, spreadB);
                if (std::max(eigenA, eigenB) > 70.0)
                    continue;
                const double r = 6.0 * std::sqrt(random.Uniform());
                const double t = 2.0 * 3.14159265358979 * random.Uniform();
                Link(*a, pa, *b, truth + CDPoint(r * std::cos(t), r * std::sin(t)), ++id);
                const int coarse = core.MatchControlPoint(b, 0, 2.0, 8);
                const int fine = core.MatchControlPoint(b, 0, 0.5, 8);
                const CDPoint d = b->m_Points[0].position - truth;
                if (coarse != 1 || fine != 1)
                    ++refused;
                else if (std::hypot(d.x, d.y) > 1.0)
                    ++wrong;
                else
                    ++right;
            }
        }
    }
    std::cout << "[ figures  ] flat points: refused " << refused << ", misplaced " << wrong << ", right " << right << "\n";
    EXPECT_GE(refused + wrong + right, 30);
    EXPECT_EQ(wrong, 0);
}

} // namespace

namespace {

struct CFocalFigures {
    double fromAngles = 0.0;  // UpdatePairAngles at the true focal of the first picture
    double searched = 0.0;    // SearchFocalFromPairs from 10 % off, worse of both pictures
    double scanned = 0.0;     // ScanFocalRange from 10 % off
    double estimated = 0.0;   // EstimateFocal of the second picture from 10 % off
};

TEST_F(PointMatchingTruth, FocalComesBackFromPointPairsOfNeighbouringViews)
{
    const double f = s_truth->focal;
    auto relative = [f](double v) { return std::fabs(v / f - 1.0); };
    for (const double noise : {0.0, 0.5}) {
        CRandom random(4242);
        CFocalFigures worst;
        for (const auto& vp : kViewPairs) {
            CMcCore core;
            CKpic* a = AddView(core, vp[0], false);
            CKpic* b = AddView(core, vp[1], false);
            int n = 0;
            for (int y = 40; y < 560 && n < 12; y += 61) {
                for (int x = 40; x < 760 && n < 12; x += 67) {
                    CDPoint pb;
                    if (!TruePixel(*a, *b, CDPoint(x, y), 20, pb))
                        continue;
                    const CDPoint pa = CDPoint(x, y) + CDPoint(random.Gauss(), random.Gauss()).Scaled(noise);
                    pb += CDPoint(random.Gauss(), random.Gauss()).Scaled(noise);
                    ControlPoint& ca = a->m_Points[static_cast<std::size_t>(n)];
                    ca.kind = 1;
                    ca.state = 3;
                    ca.pointId = 100 + n;
                    ca.position = pa;
                    ca.SetPlanePoint(a->PixelToPlane(pa), f);
                    ca.spherePosition = a->PixelToSphere(pa);
                    ControlPoint& cb = b->m_Points[static_cast<std::size_t>(n)];
                    cb = ca;
                    cb.position = pb;
                    cb.SetPlanePoint(b->PixelToPlane(pb), f);
                    cb.target = ca.spherePosition;
                    ++n;
                }
            }
            ASSERT_GE(n, 6) << vp[0] << "-" << vp[1];
            CFocalPairing& w = GetFocalPairing();
            const int pairs = PairFeaturePoints(*a, *b);
            ASSERT_EQ(pairs, n * (n - 1) / 2);

            worst.fromAngles = std::max(worst.fromAngles, relative(UpdatePairAngles(w.pairs, pairs, f)));
            double fA = 0.9 * f;
            const double fB = SearchFocalFromPairs(w.pairs, pairs, fA);
            worst.searched = std::max({worst.searched, relative(fA), relative(fB)});
            worst.scanned = std::max(worst.scanned, relative(ScanFocalRange(w.pairs, pairs, 0.9 * f)));
            b->m_Focal = 0.9 * f;
            b->EstimateFocal();
            worst.estimated = std::max(worst.estimated, relative(b->m_Focal));
        }
        std::cout << "[ figures  ] focal error, noise " << noise << " px: from angles " << 100 * worst.fromAngles
                  << " %, search " << 100 * worst.searched << " %, range scan " << 100 * worst.scanned
                  << " %, estimate " << 100 * worst.estimated << " %\n";
        if (noise == 0.0) {
            EXPECT_LE(worst.fromAngles, 0.002);
            EXPECT_LE(worst.searched, 0.002);
            EXPECT_LE(worst.estimated, 0.002);
            // The range scan stops once its step is below 2 % of the focal.
            EXPECT_LE(worst.scanned, 0.02);
        } else {
            EXPECT_LE(worst.fromAngles, 0.01);
            // Searching both focals at once lets one trade against the other under noise.
            EXPECT_LE(worst.searched, 0.06);
            EXPECT_LE(worst.estimated, 0.01);
            EXPECT_LE(worst.scanned, 0.05);
        }
    }
}

} // namespace

namespace {

TEST_F(PointMatchingTruth, SingleMatchOutcomes)
{
    CMcCore core;
    CKpic* a = AddView(core, 0, true);
    CKpic* b = AddView(core, 1, true);
    CDPoint truth;
    ASSERT_TRUE(TruePixel(*a, *b, CDPoint(600.0, 290.0), 70, truth));
    struct Case {
        const char* what;
        int32_t id, kind, state;
        CDPoint position;
        int result, stateAfter;
        bool moves;
    };
    const Case cases[] = {
        {"a matched point moves and keeps its state", 1, 1, 3, truth + CDPoint(2.0, -1.5), 1, 3, true},
        {"a rejected point that matches again becomes matched", 1, 1, -1, truth + CDPoint(1.0, 1.0), 1, 2, true},
        {"a free slot is not touched", 1, 0, 3, truth, -2, 3, false},
        {"open, anchor, direction and row-closing slots are not matched", 1, 1, -5, truth, -2, -5, false},
        {"too close to the border for the step: matched state, not moved", 1, 1, 3, CDPoint(15.0, 300.0), -2, 2, false},
        {"no partner: the slot is opened", 2, 1, 3, truth, -2, 0, false},
        {"no partner for the anchor: left as it is", PLACEMENT_ANCHOR_ID, 1, 3, truth, -2, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Link(*a, CDPoint(600.0, 290.0), *b, c.position, 1);
        ControlPoint& cp = b->m_Points[0];
        cp.pointId = c.id;
        cp.kind = c.kind;
        cp.state = c.state;
        EXPECT_EQ(core.MatchControlPoint(b, 0, 1.0, 8), c.result);
        EXPECT_EQ(cp.state, c.stateAfter);
        if (c.moves)
            EXPECT_LT(std::hypot(cp.position.x - truth.x, cp.position.y - truth.y), 0.75);
        else
            EXPECT_EQ(cp.position, c.position);
    }
    // A picture kept out of searches, or a broken job: nothing happens, result 0.
    Link(*a, CDPoint(600.0, 290.0), *b, truth + CDPoint(2.0, 2.0), 1);
    b->m_SearchMark = -3;
    EXPECT_EQ(core.MatchControlPoint(b, 0, 1.0, 8), 0);
    b->m_SearchMark = 0;
    core.SetJobMode(-1);
    EXPECT_EQ(core.MatchControlPoint(b, 0, 1.0, 8), 0);
    EXPECT_EQ(b->m_Points[0].position, truth + CDPoint(2.0, 2.0));
}

TEST_F(PointMatchingTruth, FitPassRematchesEveryFittedPicturesPoints)
{
    CMcCore core;
    CKpic* views[3] = {AddView(core, 0, true), AddView(core, 1, true), AddView(core, 2, true)};
    CRandom random(99);
    // Points of each later view tied to the view before it, each moved up to 3 pixels.
    struct Placed {
        CKpic* picture;
        int slot;
        CDPoint truth;
    };
    std::vector<Placed> placed;
    int32_t id = 7000;
    for (int v = 1; v < 3; ++v) {
        CKpic& partner = *views[v - 1];
        CKpic& k = *views[v];
        // The middle view holds both its own points and its partners' slots: 24 of each.
        int taken = 0;
        for (int y = 80; y < 520 && taken < 24; y += 45) {
            for (int x = 420; x < 720 && taken < 24; x += 50) {
                CDPoint truth;
                const CDPoint pa(x, y);
                if (!TruePixel(partner, k, pa, 80, truth))
                    continue;
                double eigenA = 0, eigenB = 0, spread = 0;
                Texture(partner, pa, 10, eigenA, spread);
                Texture(k, truth, 10, eigenB, spread);
                if (std::min(eigenA, eigenB) < 60.0)
                    continue;
                const int sp = partner.FindFreePoint();
                const int sk = k.FindFreePoint();
                ControlPoint& cp = partner.m_Points[static_cast<std::size_t>(sp)];
                cp.kind = 1;
                cp.state = 3;
                cp.pointId = ++id;
                cp.position = pa;
                ControlPoint& ck = k.m_Points[static_cast<std::size_t>(sk)];
                ck = cp;
                ck.position = truth + CDPoint(3.0 * (random.Uniform() * 2 - 1), 3.0 * (random.Uniform() * 2 - 1));
                placed.push_back({&k, sk, truth});
                ++taken;
            }
        }
    }
    // A direction point is never moved.
    const int m5 = views[2]->FindFreePoint();
    ControlPoint& direction = views[2]->m_Points[static_cast<std::size_t>(m5)];
    direction.kind = 5;
    direction.state = -5;
    direction.pointId = 1;
    direction.position = views[2]->m_OpticalCentre;
    for (CKpic* k : views)
        k->RefreshControlPoints();
    ASSERT_GE(placed.size(), 20u);

    EXPECT_EQ(core.OptimizeFit(), 10);
    EXPECT_EQ(core.m_Activity, 10);
    int close = 0;
    std::vector<double> errors;
    int rejected = 0;
    for (const Placed& p : placed) {
        const ControlPoint& cp = p.picture->m_Points[static_cast<std::size_t>(p.slot)];
        if (cp.state == -1) {
            ++rejected;
            continue;
        }
        const CDPoint d = cp.position - p.truth;
        errors.push_back(std::hypot(d.x, d.y));
        if (std::hypot(d.x, d.y) <= 0.5)
            ++close;
    }
    std::sort(errors.begin(), errors.end());
    const double median = errors[errors.size() / 2];
    std::cout << "[ figures  ] fit pass: " << close << " of " << placed.size() << " points within 0.5 px, "
              << rejected << " rejected; median " << median << " px, worst " << errors.back() << " px\n";
    EXPECT_LE(median, 0.35);
    EXPECT_LE(rejected, static_cast<int>(placed.size() / 5));
    EXPECT_GE(close, static_cast<int>(placed.size() * 3 / 4));
    EXPECT_LE(std::count_if(errors.begin(), errors.end(), [](double e) { return e > 1.5; }), 1);
    EXPECT_EQ(direction.position, views[2]->m_OpticalCentre);
    // The first picture's slots have no partner before them: they are open now.
    EXPECT_EQ(views[0]->m_Points[0].state, 0);

    // A second pass runs the wide fine match; a broken pass moves nothing and says so.
    EXPECT_EQ(core.OptimizeFit(), 10);
    const CDPoint kept = placed[0].picture->m_Points[static_cast<std::size_t>(placed[0].slot)].position;
    placed[0].picture->m_Points[static_cast<std::size_t>(placed[0].slot)].position = kept + CDPoint(2.0, 0.0);
    core.SetJobMode(-1);
    EXPECT_EQ(core.OptimizeFit(), 9);
    EXPECT_EQ(placed[0].picture->m_Points[static_cast<std::size_t>(placed[0].slot)].position, kept + CDPoint(2.0, 0.0));
}

TEST_F(PointMatchingTruth, PassOverAPictureCountsEveryMatchedSlot)
{
    CMcCore core;
    CKpic* a = AddView(core, 0, true);
    CKpic* b = AddView(core, 1, true);
    CDPoint truth;
    ASSERT_TRUE(TruePixel(*a, *b, CDPoint(600.0, 290.0), 70, truth));
    const CDPoint start = truth + CDPoint(1.0, -1.0);
    Link(*a, CDPoint(600.0, 290.0), *b, start, 1);
    b->m_Points[1] = b->m_Points[0];
    b->m_Points[1].state = -5;  // counted, never moved
    b->m_Points[2] = b->m_Points[0];
    b->m_Points[2].state = -6;  // skipped
    b->m_Points[3] = b->m_Points[0];
    b->m_Points[3].state = 0;   // skipped
    core.m_Progress[7] = 10;
    core.MatchPicturePointsWith(b, 1.0, 4);
    EXPECT_EQ(core.m_Progress[7], 8);
    EXPECT_EQ(b->m_Points[1].position, start);
    EXPECT_EQ(b->m_Points[0].state, 3);
    EXPECT_EQ(core.CountLinkedPoints(), 1);  // only b's fitted slot: not the others, nor picture a's
}

} // namespace

namespace {

TEST_F(PointMatchingTruth, PointsCreatedAtFeaturesLandOnTheSameScenePoint)
{
    CMcCore core;
    CKpic* a = AddView(core, 0, true);
    CKpic* b = AddView(core, 1, true);
    int created = 0;
    std::vector<double> errors;
    for (int y = 120; y <= 480; y += 90) {
        for (int x = 140; x <= 400; x += 65) {
            CDPoint pixel(x, y);
            CKpic* partner = core.CreatePointAtFeature(b, pixel);
            if (partner == nullptr)
                continue;
            ++created;
            EXPECT_EQ(partner, a);
            const int slot = b->LastUsedPoint();
            const ControlPoint& cp = b->m_Points[static_cast<std::size_t>(slot)];
            EXPECT_EQ(cp.state, 3);
            EXPECT_EQ(cp.position, pixel);
            int partnerSlot = -1;
            ASSERT_EQ(core.FindPartnerPoint(b, cp.pointId, partnerSlot), a);
            EXPECT_EQ(a->m_Points[static_cast<std::size_t>(partnerSlot)].kind, 4);
            const CDPoint truth = b->SphereToPixel(a->m_Points[static_cast<std::size_t>(partnerSlot)].spherePosition);
            errors.push_back(std::hypot(cp.position.x - truth.x, cp.position.y - truth.y));
        }
    }
    std::sort(errors.begin(), errors.end());
    ASSERT_GE(created, 8);
    std::cout << "[ figures  ] points at features: " << created << " created, median error "
              << errors[errors.size() / 2] << " px, worst " << errors.back() << " px\n";
    EXPECT_LE(errors[errors.size() / 2], 0.35);
    EXPECT_LE(errors.back(), 1.0);
    // Nothing is left half made: every used slot of either picture belongs to a pair.
    for (int i = 0; i < b->CountControlPoints(); ++i) {
        int s = -1;
        EXPECT_EQ(core.FindPartnerPoint(b, b->m_Points[static_cast<std::size_t>(i)].pointId, s), a);
    }
    EXPECT_EQ(a->CountControlPoints(), b->CountControlPoints());
}

} // namespace

// The automatic fit end to end on small sets: neighbouring synthetic views laid in a row must
// come out where the cameras were (after one rotation of the whole set), flat pictures must
// fail with the message the user sees, and a break must leave every picture either fitted or
// untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "common/status_codes.h"
#include "engine/fit/auto_fit_steps.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "geometry/rotation_fit.h"
#include "tests/engine/test_render_truth.h"
#include "tests/picset/fake_host_document.h"

using namespace render_truth;

namespace {

const std::string kViewsDir = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3";
constexpr double kDegree = 3.14159265358979323846 / 180.0;

// A host that answers every question with 1, keeps the numbers of what it was told, and can
// stand for the user's break once a given number of pictures has been placed.
class CScriptedHost : public CMcHost {
public:
    int AskQuestion(const std::string& number, int, const std::string&, const std::string&) override
    {
        questions.push_back(std::stoi(number));
        return 1;
    }
    void ShowMessage(const std::string& number, int, const std::string&, const std::string&) override
    {
        messages.push_back(std::stoi(number));
    }
    void ShowViewMessage(int kind, const std::string& text) override
    {
        CMcHost::ShowViewMessage(kind, text);
        if (kind == 0 && ++placed == breakAfter && core)
            core->m_JobMode = -1;
        if (kind == 0 && placed == memoryShortAfter)
            throw std::bad_alloc();
    }
    void BeginStep(const std::string& a, const std::string& b, const std::string& c, const std::string& path) override
    {
        CMcHost::BeginStep(a, b, c, path);
        if (core && core->FindPictureByPath(path))
            ++tries;
    }
    bool Told(int n) const { return std::find(messages.begin(), messages.end(), n) != messages.end(); }

    std::vector<int> questions;
    int tries = 0;
    std::vector<int> messages;
    int placed = 0;
    int breakAfter = -1;
    int memoryShortAfter = -1; // an allocation of the fit fails once this many were placed
    CMcCore* core = nullptr;
};

class AutoFit : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        s_truth = std::make_unique<CTruth>();
        if (!LoadTruth(kViewsDir + "/truth.json", s_truth.get(), &error))
            s_truth.reset();
    }
    static void TearDownTestSuite() { s_truth.reset(); }

    void SetUp() override
    {
        m_host.SetDocument(&m_document);
        m_host.core = &m_core;
        m_core.m_Host = &m_host;
        SetEngineModeFlags();
    }

    bool HaveViews()
    {
        return s_truth != nullptr;
    }

    // A view opened as the intake opens a photo, laid in the given cell, its pixels loaded.
    CKpic* AddView(int view, CPoint cell)
    {
        return AddPhoto(kViewsDir + "/" + s_truth->views[static_cast<size_t>(view)].file, cell);
    }

    // A photo of the test data opened as the intake opens it, laid in the given cell.
    CKpic* AddPhoto(const std::string& path, CPoint cell)
    {
        int result = 0;
        CKpic* k = m_core.OpenPicture(path, result);
        EXPECT_NE(k, nullptr) << path;
        if (!k)
            return nullptr;
        CSize size(k->Width(), k->Height());
        EXPECT_GT(LoadImageFile(path, k->Pixels, size, CRect(0, 0, 0, 0)), 0);
        k->m_LayoutCell = cell;
        return k;
    }

    // Worst camera error in degrees over the fitted pictures, after the rotation of the whole
    // set that fits best.
    double WorstCameraError()
    {
        using namespace rotation_fit;
        std::vector<Vec> est, tru;
        for (const auto& p : m_core.m_Pictures) {
            if (p->m_Status < 3)
                continue;
            for (const auto& s : SamplesOf(ViewOf(*p), *m_truth)) {
                const CDPoint d = p->PixelToSphere(CDPoint(s[0], s[1]));
                est.push_back(Direction(d.x, -d.y));
                tru.push_back(Direction(s[2] * kDegree, s[3] * kDegree));
            }
        }
        const Mat g = BestRotation(est, tru);
        double worst = 0.0;
        for (const auto& p : m_core.m_Pictures) {
            if (p->m_Status < 3)
                continue;
            std::vector<Vec> a, b;
            for (const auto& s : SamplesOf(ViewOf(*p), *m_truth)) {
                const CDPoint d = p->PixelToSphere(CDPoint(s[0], s[1]));
                a.push_back(Apply(g, Direction(d.x, -d.y)));
                b.push_back(Direction(s[2] * kDegree, s[3] * kDegree));
            }
            worst = std::max(worst, AngleOf(BestRotation(a, b)) / kDegree);
        }
        return worst;
    }

    // The view's measured samples, or (sets without them) a 9 x 7 grid of pixels and the
    // directions the pinhole camera of the truth gives them.
    static std::vector<std::array<double, 4>> SamplesOf(const CTruthView& v, const CTruth& truth)
    {
        if (!v.samples.empty())
            return v.samples;
        std::vector<std::array<double, 4>> out;
        const double w = truth.imageWidth, h = truth.imageHeight, f = truth.focal;
        for (int j = 0; j < 7; ++j)
            for (int i = 0; i < 9; ++i) {
                const double u = 8.0 + (w - 17.0) * i / 8.0, t = 8.0 + (h - 17.0) * j / 6.0;
                const double c[3] = {(u + 0.5 - w / 2.0) / f, (t + 0.5 - h / 2.0) / f, 1.0};
                double d[3];
                for (int k = 0; k < 3; ++k)
                    d[k] = v.rotation[k][0] * c[0] + v.rotation[k][1] * c[1] + v.rotation[k][2] * c[2];
                const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
                out.push_back({u, t, std::atan2(d[0], d[2]) / kDegree, -std::asin(d[1] / n) / kDegree});
            }
        return out;
    }

    const CTruthView& ViewOf(const CKpic& p)
    {
        for (const CTruthView& v : m_truth->views)
            if (p.m_Path.size() >= v.file.size() && p.m_Path.compare(p.m_Path.size() - v.file.size(), v.file.size(), v.file) == 0)
                return v;
        static CTruthView none;
        return none;
    }

    // Pictures fitted after a fit that stopped early; every other picture must be as it was
    // before the fit, unfitted and without fitted points.
    int CountFittedOrUntouched()
    {
        int fitted = 0;
        for (const auto& p : m_core.m_Pictures) {
            EXPECT_TRUE(p->m_Status == 0 || p->m_Status >= 3) << p->m_Path << " status " << p->m_Status;
            if (p->m_Status >= 3)
                ++fitted;
            else
                EXPECT_EQ(p->CountFittedPoints(), 0) << p->m_Path;
        }
        return fitted;
    }

    static std::unique_ptr<CTruth> s_truth;
    const CTruth* m_truth = s_truth.get(); // the truth of the set being fitted
    FakeHostDocument m_document;
    CScriptedHost m_host;
    CMcCore m_core;
};

std::unique_ptr<CTruth> AutoFit::s_truth;

// Neighbouring ring views laid left to right in one row: the pair is the smallest fit, the
// row of four chains three pair matches, so that errors would add up along it.
TEST_F(AutoFit, RowOfRingViewsFitsWhereTheCamerasWere)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    struct Case {
        int views;
        double degrees;
        double focal;
    };
    // Each row starts from a new set's lens: the row of four is 0.42 degrees off at worst.
    for (const Case c : {Case{2, 0.6, 0.04}, Case{4, 0.5, 0.01}}) {
        SCOPED_TRACE(c.views);
        m_core.DeleteAllPictures();
        for (int i = 0; i < c.views; ++i)
            ASSERT_NE(AddView(i, CPoint(i, 0)), nullptr);
        FitMode = -2;
        EXPECT_EQ(m_core.RunAutoFit(), 1);
        for (const auto& p : m_core.m_Pictures)
            EXPECT_GE(p->m_Status, 3) << p->m_Path;
        EXPECT_LT(WorstCameraError(), c.degrees);
        EXPECT_NEAR(m_core.GetCommonFocal() / s_truth->focal, 1.0, c.focal);
        EXPECT_FALSE(m_host.Told(kMsgCannotFixPositions));
    }
}

// Rows of the work space count downward: a view laid in the row above its partner (row -1)
// is fitted above it, where its camera looked, not mirrored below the partner.
TEST_F(AutoFit, ViewInTheRowAboveIsFittedAbove)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    CKpic* ring = AddView(0, CPoint(0, 0));
    CKpic* upper = AddView(12, CPoint(0, -1));
    ASSERT_TRUE(ring && upper);
    FitMode = -2;
    EXPECT_EQ(m_core.RunAutoFit(), 1);
    ASSERT_GE(upper->m_Status, 3);
    // The engine's latitude grows downward; the upper view looks 35 degrees higher.
    const double rise = ring->PixelToSphere(CDPoint(400, 300)).y - upper->PixelToSphere(CDPoint(400, 300)).y;
    EXPECT_NEAR(rise / kDegree, 35.0, 3.0);
    EXPECT_LT(WorstCameraError(), 1.0);
}

// Real photos laid where they cannot be matched (a vertical sweep laid as a row; the photos
// below laid above): the second photo gets all three passes and the two tries from a rolled
// start after them, the fit ends with the message the user sees, and the base picture keeps the
// focal it started from, not the focal a rejected try solved for it (tens of thousands of pixels
// on these photos). With three photos a rejected try must also not leave the picture counted as
// fitted, or the next try runs as if it placed a third picture and starts from the rejected
// focal.
TEST_F(AutoFit, UnmatchablePhotosGetEveryPassAndLeaveTheBaseFocal)
{
    const std::string ledge = std::string(SMRA_TESTDATA_DIR) + "/pano-daeyun-uiuc/ledge/";
    const std::string petra = std::string(SMRA_TESTDATA_DIR) + "/pano-skimage-petra-arches/";
    struct Photo {
        std::string path;
        CPoint cell;
    };
    const std::vector<std::vector<Photo>> cases = {
        {{ledge + "1.JPG", CPoint(0, 0)}, {ledge + "2.JPG", CPoint(1, 0)}},
        {{petra + "DFM_4209.jpg", CPoint(0, 0)}, {petra + "DFM_4210.jpg", CPoint(0, -1)},
         {petra + "DFM_4211.jpg", CPoint(0, -2)}},
    };
    for (const auto& photos : cases) {
        SCOPED_TRACE(photos[1].path);
        for (const Photo& photo : photos)
            if (!std::filesystem::exists(photo.path))
                GTEST_SKIP() << "no photo " << photo.path;
        m_core.DeleteAllPictures();
        m_core.m_FitPriority = 1; // speed: no fit pass between the tries
        m_host.messages.clear();
        m_host.tries = 0;
        for (const Photo& photo : photos)
            ASSERT_NE(AddPhoto(photo.path, photo.cell), nullptr);
        CKpic* base = m_core.FindPictureByPath(photos[0].path);
        const double focal = base->m_DefaultFocal;
        FitMode = -2;
        EXPECT_EQ(m_core.RunAutoFit(), -1);
        EXPECT_TRUE(m_host.Told(kMsgCannotFixPositions));
        EXPECT_EQ(m_host.tries, 5);
        EXPECT_DOUBLE_EQ(base->m_Focal, focal);
        EXPECT_DOUBLE_EQ(m_core.GetCommonFocal(), focal);
    }
}

// Ring views 90 and 120 degrees apart share nothing, yet the scan finds sand and leaves alike
// enough to seed eight points that agree within the tolerance once both focal lengths have
// drifted. The fit pass that follows the acceptance does not hold them (half the points fail to
// re-match, or the fit score grows past the tolerance): such a picture is not fitted, and the
// fit ends with the message the user sees. Laid second, the base picture keeps the focal it
// started from; laid third or fourth, after a row that does overlap, the row stays where its
// cameras were. (No fit pass follows the third or sixth picture: there the points fail once the
// picture takes the set's focal instead of the one solved for it alone, or the re-match of the
// last try loses them.)
TEST_F(AutoFit, ViewsThatDoNotOverlapAreNotFitted)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    struct Case {
        std::vector<int> views; // laid left to right; the last one overlaps none of the others
        int priority;
        double degrees = 1.5; // the worst camera of the overlapping row
    };
    // A row of five at the speed setting drifts 2.6 degrees by itself (each step a little long).
    const std::vector<Case> cases = {
        {{0, 3}, 1},    {{0, 3}, 5}, {{0, 4}, 1}, {{1, 4}, 5}, {{1, 2, 3, 7}, 1},
        {{0, 1, 6}, 1}, {{0, 1, 2, 3, 4, 7}, 1, 3.5}, {{0, 1, 4}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "views " << testing::PrintToString(c.views) << ", priority " << c.priority);
        m_core.DeleteAllPictures();
        m_core.m_FitPriority = c.priority;
        m_host.messages.clear();
        std::vector<CKpic*> laid;
        for (size_t i = 0; i < c.views.size(); ++i)
            laid.push_back(AddView(c.views[i], CPoint(static_cast<int>(i), 0)));
        ASSERT_TRUE(std::all_of(laid.begin(), laid.end(), [](CKpic* k) { return k != nullptr; }));
        CKpic* base = laid.front();
        CKpic* apart = laid.back();
        const double focal = base->m_DefaultFocal;
        FitMode = -2;
        EXPECT_EQ(m_core.RunAutoFit(), -1);
        EXPECT_TRUE(m_host.Told(kMsgCannotFixPositions));
        EXPECT_LT(apart->m_Status, 3);
        for (size_t i = 0; i + 1 < laid.size(); ++i)
            EXPECT_GE(laid[i]->m_Status, 3) << laid[i]->m_Path;
        if (laid.size() == 2) {
            EXPECT_EQ(apart->CountFittedPoints(), 0);
            EXPECT_DOUBLE_EQ(base->m_Focal, focal);
            EXPECT_DOUBLE_EQ(m_core.GetCommonFocal(), focal);
        } else {
            // Without the refusal the row was left 2.5 degrees off with its focal 8.5 % long, or
            // (third picture) 18 to 27 degrees off, or (sixth) 31 degrees off.
            EXPECT_LT(WorstCameraError(), c.degrees);
            EXPECT_NEAR(m_core.GetCommonFocal() / s_truth->focal, 1.0, 0.05);
        }
    }
}

// The same photos fitted again in the same set, after the set was emptied and a different fit
// ran in between, come out exactly as the first time: the quality fit in between solves the
// lens (distortion and radius) for its own pictures, and that lens must go with them. It used
// to stay, and the repeated fit placed the view that overlaps none of the others.
TEST_F(AutoFit, RepeatedFitDoesNotDependOnTheFitBefore)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    struct Placed {
        int status;
        double focal;
        CDPoint centre;
    };
    auto fit = [&](const std::vector<int>& views, int priority, std::vector<Placed>* placed) {
        m_core.DeleteAllPictures();
        m_core.m_FitPriority = priority;
        for (size_t i = 0; i < views.size(); ++i)
            if (!AddView(views[i], CPoint(static_cast<int>(i), 0)))
                return 0;
        FitMode = -2;
        const int result = m_core.RunAutoFit();
        FitMode = -2;
        if (placed)
            for (const auto& p : m_core.m_Pictures)
                placed->push_back({p->m_Status, p->m_Focal, p->PixelToSphere(CDPoint(400, 300))});
        return result;
    };
    const std::vector<int> row = {0, 1, 2, 3, 4, 7};
    std::vector<Placed> first, again;
    const int firstResult = fit(row, 1, &first);
    const double firstFocal = m_core.GetCommonFocal();
    ASSERT_NE(fit({0, 1, 4}, 5, nullptr), 0);
    EXPECT_EQ(fit(row, 1, &again), firstResult);
    EXPECT_DOUBLE_EQ(m_core.GetCommonFocal(), firstFocal);
    ASSERT_EQ(again.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(again[i].status, first[i].status);
        EXPECT_DOUBLE_EQ(again[i].focal, first[i].focal);
        EXPECT_DOUBLE_EQ(again[i].centre.x, first[i].centre.x);
        EXPECT_DOUBLE_EQ(again[i].centre.y, first[i].centre.y);
    }
}

// A fit that starts over resets every picture but keeps the layout it was fitted from: with
// every picture fitted (question 23, answered yes) and with a fitted picture ahead of a base
// picture that lost its fit. The base picture stays in the home cell and every picture is fitted
// again where the cameras were. (The reset took every picture out of its cell: the base picture
// was not found again, and the fit ended with message 46 and the layout gone.)
TEST_F(AutoFit, FitStartedOverKeepsTheLayout)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    for (const bool unfitBase : {false, true}) {
        SCOPED_TRACE(unfitBase ? "unfitted base behind a fitted picture" : "every picture fitted");
        m_core.DeleteAllPictures();
        m_core.m_FitPriority = 1;
        for (int i = 0; i < 4; ++i)
            ASSERT_NE(AddView(i, CPoint(i - 1, 0)), nullptr);
        FitMode = -2;
        ASSERT_EQ(m_core.RunAutoFit(), 1);
        std::vector<std::pair<std::string, CPoint>> layout;
        for (const auto& p : m_core.m_Pictures) {
            ASSERT_GE(p->m_Status, 3) << p->m_Path;
            layout.emplace_back(p->m_Path, p->m_LayoutCell);
        }
        const double firstError = WorstCameraError();
        CKpic* base = m_core.FindPictureAtHomeCell();
        ASSERT_NE(base, nullptr);
        if (unfitBase) {
            base->m_Status = 0;
            m_core.SortPlacedFirst();
            ASSERT_NE(m_core.GetFirstPicture(), base);
        }
        m_host.questions.clear();
        m_host.messages.clear();

        EXPECT_EQ(m_core.RunAutoFit(), 1);
        FitMode = -2;
        const bool asked = std::find(m_host.questions.begin(), m_host.questions.end(), kMsgAllFittedRestart) !=
                           m_host.questions.end();
        EXPECT_EQ(asked, !unfitBase);
        EXPECT_FALSE(m_host.Told(kMsgNoBasePicture));
        EXPECT_FALSE(m_host.Told(kMsgCannotFixPositions));
        EXPECT_EQ(m_core.FindPictureAtHomeCell(), base);
        EXPECT_EQ(m_core.GetFirstPicture(), base);
        for (const auto& [path, cell] : layout) {
            const CKpic* p = m_core.FindPictureByPath(path);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p->m_LayoutCell, cell) << path;
            EXPECT_GE(p->m_Status, 3) << path;
        }
        // Fitted again from the same layout, the set is no less accurate than the first time.
        EXPECT_LE(WorstCameraError(), firstError + 0.01);
    }
}

// The ring of twelve views laid in one row, fitted around one turn: every camera where it was
// within a tenth of a degree, the focal from the turn within 0.3 %, the base picture on the
// row's focal, and the two ends of the row meeting one full turn apart. (With each picture on a
// focal of its own the row drifted to 0.98 degrees at its ends and missed the turn by 0.036.)
TEST_F(AutoFit, RingAroundOneTurnClosesOnItself)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    for (int i = 0; i < 12; ++i)
        ASSERT_NE(AddView(i, CPoint(i, 0)), nullptr);
    FitMode = 2;
    EXPECT_EQ(m_core.RunAutoFit(), 1);
    FitMode = -2;
    for (const auto& p : m_core.m_Pictures)
        EXPECT_GE(p->m_Status, 3) << p->m_Path;
    EXPECT_FALSE(m_host.Told(kMsgCannotFixPositions));
    EXPECT_LT(WorstCameraError(), 0.1);
    EXPECT_NEAR(m_core.GetCommonFocal() / s_truth->focal, 1.0, 0.003);
    EXPECT_DOUBLE_EQ(m_core.GetFirstPicture()->m_Focal, m_core.GetCommonFocal());

    CKpic* ends[2] = {m_core.FindPictureByPath(kViewsDir + "/" + s_truth->views[0].file),
                      m_core.FindPictureByPath(kViewsDir + "/" + s_truth->views[11].file)};
    ASSERT_TRUE(ends[0] && ends[1]);
    const int i = ends[0]->FindPointStateM6(), j = ends[1]->FindPointStateM6();
    ASSERT_GE(i, 0);
    ASSERT_GE(j, 0);
    const CDPoint a = ends[0]->PixelToSphere(ends[0]->m_Points[static_cast<size_t>(i)].position);
    const CDPoint b = ends[1]->PixelToSphere(ends[1]->m_Points[static_cast<size_t>(j)].position);
    EXPECT_NEAR(b.x - a.x, 2.0 * 3.14159265, 0.002);
    EXPECT_NEAR(b.y, a.y, 0.003);
}

// Full turns shot by hand: ten views 36 degrees apart (and ten wider ones at 55 degrees, one
// step of 42 degrees that no search bridges), a ring of twelve 30 degrees apart, and that ring
// with six views 35 degrees above it (laid in the row above, every other column); each camera
// off by up to 4 degrees of yaw and roll and 2.5 of pitch. Every picture is fitted
// on its own points and the row closes where the cameras were. (Pictures whose match failed used to be
// reported fitted, leaving the ring 9 to 19 degrees off; the two rows came out 14 of 18 with
// 36 degrees, then 3.5 to 5.5 degrees off while a view above set the base picture's focal
// before the row had measured it. A point matched on look-alike texture, kept because matching
// it again found the same place, turned its picture and every one after it: 0.20 degrees on
// the ring of twelve, 0.16 on the two rows. The wide ring, fitted from both sides of the step
// it cannot bridge, was closed at its ends, which the walk back had tied directly: the turn
// missed nothing there, and the lens search left the focal 0.44 % short and the cameras at the
// step 0.79 degrees off.)
TEST_F(AutoFit, HandHeldRingClosesAroundOneTurn)
{
    struct Case {
        std::string set;
        int ring;        // views in the row; the rest go to the row above
        double degrees;  // worst camera, measured 0.04, 0.09, 0.09 and 0.04
    };
    for (const Case& c : {Case{"rhein1-ring10", 10, 0.1}, Case{"rhein3-ring12", 12, 0.13}, Case{"rhein3-tworow", 12, 0.15},
                          Case{"rhein1-ring10-wide", 10, 0.1}}) {
        SCOPED_TRACE(c.set);
        const std::string dir = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-handheld/" + c.set + "/";
        CTruth truth;
        std::string error;
        if (!LoadTruth(dir + "truth.json", &truth, &error))
            GTEST_SKIP() << error;
        m_truth = &truth;
        m_core.DeleteAllPictures();
        m_host.messages.clear();
        for (size_t i = 0; i < truth.views.size(); ++i) {
            const int k = static_cast<int>(i);
            const CPoint cell = k < c.ring ? CPoint(k, 0) : CPoint(2 * (k - c.ring), -1);
            ASSERT_NE(AddPhoto(dir + truth.views[i].file, cell), nullptr);
        }
        FitMode = 2;
        EXPECT_EQ(m_core.RunAutoFit(), 1);
        FitMode = -2;
        for (const auto& p : m_core.m_Pictures) {
            EXPECT_GE(p->m_Status, 3) << p->m_Path;
            if (p.get() != m_core.GetFirstPicture())
                EXPECT_GE(p->CountFittedPoints(), 5) << p->m_Path;
        }
        EXPECT_FALSE(m_host.Told(kMsgCannotFixPositions));
        EXPECT_LT(WorstCameraError(), c.degrees);
        EXPECT_NEAR(m_core.GetCommonFocal() / truth.focal, 1.0, 0.003);
    }
}

// Around one turn a picture that nothing matches (flat sky; a view of the sand below the row
// laid in the row) is not reported fitted: it is put down one step beside its neighbour, left
// unfitted without points, the rest of the row is fitted where its cameras were, and the fit
// ends with the message the user sees. (A row broken in two is not closed: at the speed setting
// each link keeps the small bias of the default lens, 0.8 degrees at the far ends here; closing
// it over the broken link made that 1.8 and the focal 0.8 % short.)
TEST_F(AutoFit, AroundOneTurnAPictureThatCannotBePlacedStaysUnfitted)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    const std::string flat = "/pictures/sky.bmp";
    for (const int stranger : {-1, 18}) { // -1: a flat picture
        SCOPED_TRACE(stranger);
        m_core.DeleteAllPictures();
        m_core.m_FitPriority = 1;
        m_host.messages.clear();
        CKpic* odd = nullptr;
        for (int i = 0; i < 12; ++i) {
            if (i != 6) {
                ASSERT_NE(AddView(i, CPoint(i, 0)), nullptr);
            } else if (stranger >= 0) {
                odd = AddView(stranger, CPoint(i, 0));
            } else {
                auto k = std::make_unique<CKpic>(flat, CRect(0, 0, 800, 600));
                k->Pixels.SetSize(800 * 600);
                k->Pixels.Fill(RGB(150, 180, 220));
                k->m_LayoutCell = CPoint(i, 0);
                odd = k.get();
                m_core.m_Pictures.push_back(std::move(k));
            }
        }
        ASSERT_NE(odd, nullptr);
        FitMode = 2;
        EXPECT_EQ(m_core.RunAutoFit(), -1);
        FitMode = -2;
        EXPECT_TRUE(m_host.Told(kMsgCannotFixPositions));
        EXPECT_EQ(odd->m_Status, 0);
        EXPECT_EQ(odd->CountFittedPoints(), 0);
        for (const auto& p : m_core.m_Pictures)
            if (p.get() != odd)
                EXPECT_GE(p->m_Status, 3) << p->m_Path;
        EXPECT_LT(WorstCameraError(), 1.0);
    }
}

// Flat grey pictures give the scan nothing to match: the fit ends with the message that some
// positions could not be fixed, and the second picture is left unfitted.
TEST_F(AutoFit, FlatPicturesFailWithTheMessageTheUserSees)
{
    for (int i = 0; i < 2; ++i) {
        auto k = std::make_unique<CKpic>("/pictures/grey" + std::to_string(i) + ".bmp", CRect(0, 0, 400, 300));
        k->Pixels.SetSize(400 * 300);
        k->Pixels.Fill(RGB(128, 128, 128));
        k->m_LayoutCell = CPoint(i, 0);
        m_core.m_Pictures.push_back(std::move(k));
    }
    FitMode = -2;
    EXPECT_EQ(m_core.RunAutoFit(), -1);
    EXPECT_TRUE(m_host.Told(kMsgCannotFixPositions));
    CKpic* second = m_core.FindPictureByPath("/pictures/grey1.bmp");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->m_Status, 0);
    EXPECT_EQ(second->CountControlPoints(), 0);
}

// A break after the first placed pictures, in a plain fit and around one turn: the fit stops,
// no picture is left half placed, and the undo snapshot taken before the fit brings every
// picture back. (Around one turn the break used to be overwritten by the row driver's
// notification, so its clean-up never ran.)
TEST_F(AutoFit, BreakLeavesEveryPictureFittedOrUntouched)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    struct Case {
        int mode;
        int views;
        int breakAfter;
    };
    // Around one turn the initial search announces eleven pictures; the break comes after the
    // walk has fitted the second picture of the row, before the notification at the fourth.
    for (const Case c : {Case{-2, 4, 2}, Case{2, 12, 13}}) {
        SCOPED_TRACE(c.mode);
        m_core.DeleteAllPictures();
        m_core.m_FitPriority = 1;
        m_core.m_JobMode = 0;
        m_host.placed = 0;
        m_host.messages.clear();
        for (int i = 0; i < c.views; ++i)
            ASSERT_NE(AddView(i, CPoint(i, 0)), nullptr);
        m_core.SaveUndoSnapshot();
        m_host.breakAfter = c.breakAfter;
        FitMode = c.mode;
        m_core.RunAutoFit();
        FitMode = -2;
        const int fitted = CountFittedOrUntouched();
        EXPECT_LT(fitted, c.views);
        EXPECT_FALSE(m_host.Told(kMsgCannotFixPositions) && fitted == c.views);
        if (c.mode < 0)
            EXPECT_EQ(m_core.m_JobMode, 0);

        m_core.RestoreUndoSnapshot();
        for (int i = 0; i < c.views; ++i) {
            CKpic* p = m_core.FindPictureByPath(kViewsDir + "/" + s_truth->views[static_cast<size_t>(i)].file);
            ASSERT_NE(p, nullptr);
            EXPECT_LT(p->m_Status, 3) << p->m_Path;
            EXPECT_EQ(p->m_LayoutCell, CPoint(i, 0)) << p->m_Path;
        }
    }
}

// Memory that runs short ends the fit with the memory message and -5, never with "some
// pictures not fixed", and leaves every picture fitted or unfitted: a photo whose pixels the
// host cannot load for want of memory (the host has said so: no second message), and an
// allocation that fails in the middle of a step (the fit says so once). (The fit used to go
// on without the photo and end with message 47; a failure in a step ended the program.)
TEST_F(AutoFit, MemoryShortageEndsTheFitWithTheMemoryMessage)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    struct Case {
        const char* name;
        bool loadFails;
        int shortAfter;
        bool engineTells;
    };
    const Case cases[] = {
        {"photo not loaded", true, -1, false},
        {"allocation failing in a step", false, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_core.DeleteAllPictures();
        m_core.m_FitPriority = 1;
        m_host.placed = 0;
        m_host.messages.clear();
        m_host.memoryShortAfter = c.shortAfter;
        for (int i = 0; i < 4; ++i)
            ASSERT_NE(AddView(i, CPoint(i - 1, 0)), nullptr);
        if (c.loadFails) {
            m_core.GetPictureAt(3)->Pixels.RemoveAll();
            m_document.loadResult = kResultOutOfMemory;
        }
        FitMode = -2;
        EXPECT_EQ(m_core.RunAutoFit(), kResultOutOfMemory);
        m_document.loadResult = 1;
        m_host.memoryShortAfter = -1;
        EXPECT_EQ(m_host.Told(kMsgOutOfMemory), c.engineTells);
        EXPECT_EQ(std::count(m_host.messages.begin(), m_host.messages.end(), kMsgOutOfMemory), c.engineTells ? 1 : 0);
        EXPECT_FALSE(m_host.Told(kMsgCannotFixPositions));
        EXPECT_EQ(m_core.m_JobMode, 0);
        const int fitted = CountFittedOrUntouched();
        EXPECT_GE(fitted, 1);
        EXPECT_LT(fitted, 4);

        // Once memory is there again the same set fits.
        m_host.messages.clear();
        if (c.loadFails) {
            CKpic* k = m_core.FindPictureByPath(kViewsDir + "/" + s_truth->views[3].file);
            ASSERT_NE(k, nullptr);
            CSize size(k->Width(), k->Height());
            ASSERT_GT(LoadImageFile(k->m_Path, k->Pixels, size, CRect(0, 0, 0, 0)), 0);
        }
        EXPECT_EQ(m_core.RunAutoFit(), 1);
        EXPECT_FALSE(m_host.Told(kMsgOutOfMemory));
    }
}

// A full turn needs at least two pictures in its row: one picture is refused with a message
// rather than given a focal from a turn it does not have.
TEST_F(AutoFit, AroundOneTurnNeedsAtLeastTwoPictures)
{
    auto k = std::make_unique<CKpic>("/pictures/one.bmp", CRect(0, 0, 400, 300));
    k->Pixels.SetSize(400 * 300);
    k->m_LayoutCell = CPoint(0, 0);
    k->m_DefaultFocal = k->m_Focal = 500.0;
    m_core.m_Pictures.push_back(std::move(k));
    m_core.m_CommonFocal = 500.0;
    FitMode = 2;
    EXPECT_EQ(m_core.RunAutoFit(), -1);
    FitMode = -2;
    EXPECT_TRUE(m_host.Told(kMsgCannotFixPositions));
    EXPECT_GT(m_core.GetCommonFocal(), 0.0);
    EXPECT_EQ(m_core.GetCommonFocal(), 500.0);
}

} // namespace

namespace {

// The rotation that carries a fitted picture's view of a 9 x 7 grid of its pixels onto the
// true view of its camera (world from camera, focal in pixels; a pixel (u, v) looks along
// R (u - (w - 1) / 2, v - (h - 1) / 2, f)).
rotation_fit::Mat FitToTruth(const CKpic& k, const CTruthView& view, double focal)
{
    using namespace rotation_fit;
    std::vector<Vec> est, tru;
    for (int j = 0; j < 7; ++j)
        for (int i = 0; i < 9; ++i) {
            const double u = 8.0 + (k.Width() - 17.0) * i / 8.0, v = 8.0 + (k.Height() - 17.0) * j / 6.0;
            const CDPoint d = k.PixelToSphere(CDPoint(u, v));
            est.push_back(Direction(d.x, -d.y));
            const double ray[3] = {u - (k.Width() - 1) / 2.0, v - (k.Height() - 1) / 2.0, focal};
            Vec t{};
            for (int r = 0; r < 3; ++r)
                t[static_cast<size_t>(r)] = view.rotation[r][0] * ray[0] + view.rotation[r][1] * ray[1] + view.rotation[r][2] * ray[2];
            const double n = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
            tru.push_back({t[0] / n, t[1] / n, t[2] / n});
        }
    return BestRotation(est, tru);
}

// How far the rotation between two fitted pictures is from the true one (degrees).
double LinkError(const CKpic& a, const CTruthView& ta, const CKpic& b, const CTruthView& tb, double focal)
{
    const rotation_fit::Mat ga = FitToTruth(a, ta, focal), gb = FitToTruth(b, tb, focal);
    rotation_fit::Mat rel{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j)
            for (size_t k = 0; k < 3; ++k)
                rel[i][j] += ga[k][i] * gb[k][j];
    return rotation_fit::AngleOf(rel) / kDegree;
}

} // namespace

// Hand-held views (turned, tilted and rolled a few degrees from their steps) of a lens without
// distortion, fitted in a row at the speed setting. A fit may drift along a row; it must not
// misplace a picture against the neighbour it was fitted to. The lens model starts from a
// little barrel distortion, and no fit pass searched it at this setting: the focal came out
// 2.9 % short and every link 0.8 to 1.1 degrees off. The lens search at the end of the fit
// takes every link within 0.15 degrees and the focal within 0.3 %.
TEST_F(AutoFit, HandHeldRowAtSpeedKeepsEveryLinkTrue)
{
    const std::string dir = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-handheld/rhein3-ring12";
    CTruth truth;
    std::string error;
    if (!LoadTruth(dir + "/truth.json", &truth, &error))
        GTEST_SKIP() << error;
    m_core.m_FitPriority = 1;
    std::vector<CKpic*> laid;
    for (int i = 0; i < 4; ++i)
        laid.push_back(AddPhoto(dir + "/" + truth.views[static_cast<size_t>(i)].file, CPoint(i, 0)));
    ASSERT_TRUE(std::all_of(laid.begin(), laid.end(), [](CKpic* k) { return k != nullptr; }));
    FitMode = -2;
    EXPECT_EQ(m_core.RunAutoFit(), 1);
    for (size_t i = 0; i + 1 < laid.size(); ++i) {
        ASSERT_GE(laid[i + 1]->m_Status, 3) << laid[i + 1]->m_Path;
        EXPECT_LT(LinkError(*laid[i], truth.views[i], *laid[i + 1], truth.views[i + 1], truth.focal), 0.3)
            << laid[i]->m_Path;
    }
    EXPECT_NEAR(m_core.GetCommonFocal() / truth.focal, 1.0, 0.01);
}

// Pictures that cannot be placed beside their neighbour: views that share nothing (opposite
// ways), views whose edges only touch (a wide gap where a view is missing), and two shots of a
// clear sky (a smooth gradient with nothing to hold on). In each the picture is left unfitted,
// without points, and the fit ends with the message the user sees instead of success.
TEST_F(AutoFit, PictureThatCannotBePlacedIsLeftUnfittedWithTheMessage)
{
    if (!HaveViews())
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    auto sky = [&](int i) {
        auto k = std::make_unique<CKpic>("/pictures/sky" + std::to_string(i) + ".bmp", CRect(0, 0, 800, 600));
        k->Pixels.SetSize(800 * 600);
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x)
                k->Pixels[int64_t(y) * 800 + x] = RGB(90 + (y + 150 * i) / 12, 140 + (y + 150 * i) / 10, 230);
        k->m_DefaultFocal = k->m_Focal = 692.82;
        k->m_LayoutCell = CPoint(i, 0);
        CKpic* raw = k.get();
        m_core.m_Pictures.push_back(std::move(k));
        return raw;
    };
    struct Case {
        const char* what;
        std::vector<int> views; // synthetic views laid left to right; empty for the sky
    };
    const Case cases[] = {
        {"no overlap", {0, 6}},
        {"a wide gap", {0, 2}},
        {"clear sky", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_core.DeleteAllPictures();
        m_core.m_FitPriority = 1;
        m_host.messages.clear();
        CKpic* second = nullptr;
        if (c.views.empty()) {
            sky(0);
            second = sky(1);
            m_core.m_CommonFocal = 692.82;
        } else {
            AddView(c.views[0], CPoint(0, 0));
            second = AddView(c.views[1], CPoint(1, 0));
        }
        ASSERT_NE(second, nullptr);
        FitMode = -2;
        EXPECT_EQ(m_core.RunAutoFit(), -1);
        EXPECT_TRUE(m_host.Told(kMsgCannotFixPositions));
        EXPECT_EQ(second->m_Status, 0);
        EXPECT_EQ(second->CountFittedPoints(), 0);
    }
}

namespace {

// World from camera of a hand-held view: turned by lon about the vertical, tilted up by lat,
// then rolled (degrees), as the synthetic view sets are made.
rotation_fit::Mat ViewRotation(double lon, double lat, double roll)
{
    const double y = lon * kDegree, x = lat * kDegree, z = roll * kDegree;
    const rotation_fit::Mat turn = {{{std::cos(y), 0, std::sin(y)}, {0, 1, 0}, {-std::sin(y), 0, std::cos(y)}}};
    const rotation_fit::Mat tilt = {{{1, 0, 0}, {0, std::cos(x), -std::sin(x)}, {0, std::sin(x), std::cos(x)}}};
    const rotation_fit::Mat spin = {{{std::cos(z), -std::sin(z), 0}, {std::sin(z), std::cos(z), 0}, {0, 0, 1}}};
    auto times = [](const rotation_fit::Mat& a, const rotation_fit::Mat& b) {
        rotation_fit::Mat r{};
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = 0; j < 3; ++j)
                for (size_t k = 0; k < 3; ++k)
                    r[i][j] += a[i][k] * b[k][j];
        return r;
    };
    return times(times(turn, tilt), spin);
}

} // namespace

// Two hand-held shots of a river bank, 37 degrees apart (about 40 % overlap) and rolled 9
// degrees against each other, cut from the panorama at 1600 x 1200. Every pass starts the second
// picture at the first one's roll, where the true place loses to look-alike texture: the pair
// was refused. Tried again from a rolled start, it is fitted where the cameras were.
TEST_F(AutoFit, PairRolledApartIsFittedWhereTheCamerasWere)
{
    const std::string path = std::string(SMRA_TESTDATA_DIR) + "/equirect-rhein-rodenkirchen/rhein3_rodenkirchen.baseline.jpg";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no panorama " << path;
    CImage source;
    {
        const CRect rect = GetImageFileRect(path);
        CPixelArray pixels;
        CSize size(rect.Width(), rect.Height());
        ASSERT_GT(LoadImageFile(path, pixels, size, CRect(0, 0, 0, 0)), 0);
        source.width = size.cx;
        source.height = size.cy;
        source.pixels.assign(pixels.GetData(), pixels.GetData() + pixels.GetSize());
    }
    const int w = 1600, h = 1200;
    const double focal = w / 2.0 / std::tan(30.0 * kDegree);
    const double poses[2][3] = {{225.0, 2.25, 4.5}, {262.0, -2.25, -4.5}};
    CTruthView truth[2];
    CKpic* laid[2] = {};
    for (int i = 0; i < 2; ++i) {
        const rotation_fit::Mat r = ViewRotation(poses[i][0], poses[i][1], poses[i][2]);
        for (size_t j = 0; j < 3; ++j)
            for (size_t k = 0; k < 3; ++k)
                truth[i].rotation[j][k] = r[j][k];
        auto k = std::make_unique<CKpic>("/pictures/bank" + std::to_string(i) + ".bmp", CRect(0, 0, w, h));
        k->Pixels.SetSize(int64_t(w) * h);
        for (int v = 0; v < h; ++v)
            for (int u = 0; u < w; ++u) {
                const double ray[3] = {u + 0.5 - w / 2.0, v + 0.5 - h / 2.0, focal};
                double d[3];
                for (size_t j = 0; j < 3; ++j)
                    d[j] = r[j][0] * ray[0] + r[j][1] * ray[1] + r[j][2] * ray[2];
                const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
                double rgb[3] = {0.0, 0.0, 0.0};
                SampleEquirect(source, CDPoint(std::atan2(d[0], d[2]), std::asin(d[1] / n)), rgb);
                auto channel = [](double c) { return static_cast<int>(std::clamp(std::lround(c), 0L, 255L)); };
                k->Pixels[int64_t(v) * w + u] = RGB(channel(rgb[0]), channel(rgb[1]), channel(rgb[2]));
            }
        k->m_DefaultFocal = k->m_Focal = focal;
        k->m_LayoutCell = CPoint(i, 0);
        laid[i] = k.get();
        m_core.m_Pictures.push_back(std::move(k));
    }
    m_core.m_FitPriority = 1;
    m_core.m_CommonFocal = focal;
    FitMode = -2;
    EXPECT_EQ(m_core.RunAutoFit(), 1);
    ASSERT_GE(laid[1]->m_Status, 3);
    EXPECT_GE(laid[1]->CountFittedPoints(), 5);
    EXPECT_LT(LinkError(*laid[0], truth[0], *laid[1], truth[1], focal), 0.3);
}

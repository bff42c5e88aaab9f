// Fitting one picture at a time: the refit of a picture from exact point pairs with the base
// picture (the focal search path, the two-point path and the refusal of an implausible focal),
// preparing and centring pictures with quarter turns, adopting roll from a neighbour, and
// un-fitting a picture.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "picset/mchost.h"
#include "tests/engine/fit_set_fixture.h"

using namespace fit_fixture;

namespace {

class MessageHost : public CMcHost {
public:
    void ShowMessage(const std::string& number, int, const std::string&, const std::string&) override
    {
        messages.push_back(MessageNumber(number));
    }
    void ShowStatus(int, const std::string& number, const std::string&, const std::string&) override
    {
        statuses.push_back(MessageNumber(number));
    }
    std::vector<int> messages;
    std::vector<int> statuses;
};

class PerPictureStepsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEngineModeFlags();
        UseIdentityLens();
        m_set.m_Host = &m_host;
        std::string why;
        if (!LoadViews(&m_truth, &why))
            GTEST_SKIP() << why;
    }

    // The base picture at view `base` (no anchor: it stays straight ahead, so the world is
    // the base view's), and the picture to refit at view `other`, started off its pose.
    void BuildPair(int base, int other, int links, double startFocal)
    {
        const double f = m_truth.focal;
        const Pose b = TruthPose(m_truth.views[static_cast<std::size_t>(base)]);
        m_truePose = TruthPose(m_truth.views[static_cast<std::size_t>(other)]);
        // The truth world turned so that the base view looks straight ahead.
        m_truePose.yaw -= b.yaw;
        m_base = AddPicture(m_set, "base", {0.0, b.pitch, b.roll}, f);
        m_picture = AddPicture(m_set, "other", m_truePose, f, 800, 600, 2);
        int32_t id = 1000;
        ASSERT_EQ(LinkPictures(m_base, m_picture, links, &id), links);
        m_base->m_Direction = CDPoint(0.0, 0.0);
        m_base->m_Roll = 0.0;
        // Pitch and roll of the base view are below 0.001 degrees: straight ahead is its pose.
        EXPECT_LT(std::fabs(b.pitch) + std::fabs(b.roll), 2e-5);
        m_picture->m_Direction += CDPoint(0.05, -0.03);
        m_picture->m_Roll += 0.02;
        for (CKpic* k : {m_base, m_picture})
            k->m_Focal = startFocal;
        m_set.m_CommonFocal = startFocal;
        m_set.SortPlacedFirst();
    }

    MessageHost m_host;
    CMcCore m_set;
    render_truth::CTruth m_truth;
    CKpic* m_base = nullptr;
    CKpic* m_picture = nullptr;
    Pose m_truePose;
};

TEST_F(PerPictureStepsTest, RefitSolvesFocalAndOrientationFromThreeOrMorePairs)
{
    struct Case {
        int links;
        int solverMode;
        double startFocal; // relative to the true focal
        double degrees;    // orientation tolerance
        double focal;      // relative focal tolerance
    } const cases[] = {
        {3, 1, 1.0, 0.01, 0.001}, {6, 1, 1.0, 0.01, 0.001}, {12, 1, 1.0, 0.01, 0.001},
        // From 3 % off, the focal search stops within its last step (0.2 % of the focal); the
        // orientation follows the focal's error.
        {3, 1, 1.03, 0.02, 0.002}, {12, 1, 1.03, 0.02, 0.002}, {12, 1, 0.97, 0.02, 0.002},
        // The shared-focal solver scans in steps of 2 % of the focal and stops at that step.
        {6, 0, 1.03, 0.2, 0.02},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("links " + std::to_string(c.links) + ", solver mode " + std::to_string(c.solverMode) +
                     ", start focal x " + std::to_string(c.startFocal));
        m_set.DeleteAllPictures();
        m_set.m_IndividualFocal = c.solverMode;
        BuildPair(0, 1, c.links, m_truth.focal * c.startFocal);
        ASSERT_EQ(m_set.GetFittedCount(), 1);
        EXPECT_EQ(m_set.RefitPicture(m_picture, -1, 1), 1);
        const double miss = FrameAngle(*m_picture, m_truePose) / Degree;
        EXPECT_LT(miss, c.degrees);
        EXPECT_NEAR(m_picture->m_Focal, m_truth.focal, m_truth.focal * c.focal);
        EXPECT_NEAR(m_set.m_CommonFocal, m_truth.focal, m_truth.focal * c.focal);
        EXPECT_GE(m_picture->m_Status, 1);
        std::printf("refit from %d exact pairs (solver mode %d, start focal x %.2f): orientation off by %.5f deg, "
                    "focal %.3f (true %.3f)\n",
                    c.links, c.solverMode, c.startFocal, miss, m_picture->m_Focal, m_truth.focal);
    }
}

TEST_F(PerPictureStepsTest, TwoPairsTakeTheTwoPointPath)
{
    m_set.m_IndividualFocal = 0;
    BuildPair(0, 1, 2, 800.0);
    EXPECT_EQ(m_set.RefitPicture(m_picture, -1, 0), 1);
    // The pair solver gives base, picture and common focal one value; without pictures to
    // match against, the matching then opens both links and the picture becomes unplaced.
    EXPECT_EQ(m_base->m_Focal, m_set.m_CommonFocal);
    EXPECT_EQ(m_picture->m_Focal, m_set.m_CommonFocal);
    EXPECT_NEAR(m_set.m_CommonFocal, m_truth.focal, m_truth.focal * 0.05);
    EXPECT_NE(m_set.m_CommonFocal, 800.0);
    EXPECT_EQ(m_picture->m_Status, 0);
}

TEST_F(PerPictureStepsTest, ImplausibleFocalLeavesBothFocalsUntouched)
{
    BuildPair(0, 1, 6, m_truth.focal * 1.03);
    const double before = m_truth.focal * 1.03;
    // The true focal lies below what the picture accepts.
    m_picture->m_MinFocal = 2000.0;
    EXPECT_EQ(m_set.RefitPicture(m_picture, -1, 0), -4);
    EXPECT_EQ(m_base->m_Focal, before);
    EXPECT_EQ(m_picture->m_Focal, before);
    EXPECT_EQ(m_set.m_CommonFocal, before);

    // In a fit around 360 degrees a focal far above the default is refused too.
    m_picture->m_MinFocal = 100.0;
    m_picture->m_DefaultFocal = 400.0;
    FitMode = 2;
    EXPECT_EQ(m_set.SolveFocalFromPointPairs(m_picture), -4);
    EXPECT_EQ(m_picture->m_Focal, before);
    FitMode = -2;
}

TEST_F(PerPictureStepsTest, NoPairsNoSolve)
{
    BuildPair(0, 1, 3, 700.0);
    for (ControlPoint& cp : m_picture->m_Points)
        cp.pointId += 100000;
    EXPECT_EQ(m_set.SolveFocalFromPointPairs(m_picture), -1);
    EXPECT_EQ(m_set.m_CommonFocal, 700.0);
}

TEST(PerPictureSteps, QuarterTurnsGiveTheRollOfUnrolledPictures)
{
    struct Case {
        int turns;
        double roll;
        double expected;
    } const cases[] = {
        {1, 0.0, EngineHalfPi}, {2, 0.0, EnginePi}, {3, 0.0, -EngineHalfPi}, {1, 0.25, 0.25}, {0, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        for (int step = 0; step < 2; ++step) {
            CMcCore set;
            CKpic* k = AddPicture(set, "p", {0.0, 0.0, c.roll}, 700.0, 800, 600, 1);
            k->QuarterTurns = c.turns;
            if (step == 0)
                set.PreparePicture(k);
            else
                set.CentreFirstPicture(k);
            EXPECT_NEAR(k->m_Roll, c.expected, 1e-12) << "turns " << c.turns << (step ? " centred" : " prepared");
        }
    }
}

TEST(PerPictureSteps, CentringAndPreparingShareTheFocalOneWayOrTheOther)
{
    CMcCore set;
    CKpic* first = AddPicture(set, "first", {}, 40000.0, 800, 600, 1);
    first->m_DefaultFocal = 650.0;
    set.CentreFirstPicture(first);
    EXPECT_EQ(first->m_Focal, 650.0);
    EXPECT_EQ(set.m_CommonFocal, 650.0);
    EXPECT_EQ(first->m_Status, 3);

    // While the common focal is still at its start value the picture gives it its focal ...
    CMcCore fresh;
    CKpic* p = AddPicture(fresh, "p", {}, 720.0, 800, 600, 1);
    fresh.PreparePicture(p);
    EXPECT_EQ(fresh.m_CommonFocal, 720.0);
    // ... afterwards a prepared picture takes the common focal, and is the first unfitted one.
    CKpic* q = AddPicture(fresh, "q", {}, 900.0, 800, 600, 0);
    AddPicture(fresh, "r", {}, 900.0, 800, 600, 0);
    fresh.m_Pictures[0]->m_Status = 3;
    fresh.SortPlacedFirst();
    fresh.MovePictureToEnd(q->m_Path);
    fresh.PreparePicture(q);
    EXPECT_EQ(q->m_Focal, 720.0);
    EXPECT_EQ(fresh.GetPictureAt(1), q);
    EXPECT_EQ(q->m_Status, 2);
}

TEST(PerPictureSteps, AdoptedRollFollowsTheReferenceAcrossQuarterTurns)
{
    CMcCore set;
    CKpic* base = AddPicture(set, "base", {0.0, 0.0, 0.1}, 700.0);
    CKpic* reference = AddPicture(set, "reference", {0.5, 0.0, -0.2}, 720.0);
    reference->QuarterTurns = 1;
    CKpic* p = AddPicture(set, "p", {}, 1000.0, 800, 600, 1);
    set.m_IndividualFocal = 0;
    set.m_CommonFocal = 710.0;
    set.SortPlacedFirst();

    p->QuarterTurns = 2;
    set.AdoptMeanFocal(p, reference);
    EXPECT_NEAR(p->m_Roll, -0.2 + EngineHalfPi, 1e-12);
    // Shared focal: the common one.
    EXPECT_EQ(p->m_Focal, 710.0);

    // Without a reference the base picture gives the roll; a roll away from a right angle stays.
    p->m_Roll = 0.3;
    set.AdoptMeanFocal(p, nullptr);
    EXPECT_EQ(p->m_Roll, 0.3);
    set.CopyRollFromNeighbour(p, nullptr);
    EXPECT_NEAR(p->m_Roll, NormalizeAngle(0.1 + 2 * EngineHalfPi), 1e-12);
    EXPECT_EQ(base->QuarterTurns, 0);
}

TEST(PerPictureSteps, TheFittedBasePictureCannotBeUnfitted)
{
    MessageHost host;
    CMcCore set;
    set.m_Host = &host;
    SetEngineModeFlags();
    CKpic* base = AddPicture(set, "base", {}, 700.0);
    CKpic* second = AddPicture(set, "second", {0.4, 0.0, 0.0}, 700.0);
    CKpic* third = AddPicture(set, "third", {0.8, 0.0, 0.0}, 700.0);
    set.SortPlacedFirst();

    EXPECT_EQ(set.UnfitPicture("/nowhere.jpg"), 0);
    EXPECT_NE(set.UnfitPicture(base->m_Path), 0);
    EXPECT_EQ(host.messages, std::vector<int>{37});
    EXPECT_EQ(base->m_Status, 3);

    EXPECT_NE(set.UnfitPicture(second->m_Path), 0);
    EXPECT_EQ(second->m_Status, 0);
    EXPECT_EQ(third->m_Status, 2);
    EXPECT_EQ(second->m_FitScore, 0.0); // the reset follows the un-fit
    EXPECT_EQ(set.GetFittedCount(), 1);
    EXPECT_EQ(set.m_Activity, 8);
}

} // namespace

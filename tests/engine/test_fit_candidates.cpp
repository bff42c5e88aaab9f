// Candidate lists of the fit searches (order, capacity, minimum distance, pruning), the keypad
// direction code, control-point ids and the small records.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/fit/fit_candidates.h"
#include "platform/clock.h"

namespace {

FitCandidate Candidate(double score, double lon = 0.0, double lat = 0.0, int tag = 0)
{
    FitCandidate c;
    c.score = score;
    c.kcen = CDPoint(lon, lat);
    c.hp = CPoint(tag, 0);
    return c;
}

std::vector<double> Scores(const FitCandidateList& list)
{
    std::vector<double> s;
    for (const FitCandidate& c : list)
        s.push_back(c.score);
    return s;
}

std::vector<int> Tags(const FitCandidateList& list)
{
    std::vector<int> t;
    for (const FitCandidate& c : list)
        t.push_back(c.hp.x);
    return t;
}

TEST(FitCandidates, ListsKeepTheBestInOrderAndDropTheWorst)
{
    FitCandidateList list;
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(50.0, 0, 0, 1), 10, 0.0), 1);
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(20.0, 0, 0, 2), 10, 0.0), 1);
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(50.0, 0, 0, 3), 10, 0.0), 3);  // after its equal
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(30.0, 0, 0, 4), 10, 0.0), 2);
    EXPECT_EQ(Tags(list), (std::vector<int>{2, 4, 1, 3}));

    // Appending stops one short of capacity 10; only a better candidate fills the last place.
    for (int i = 0; i < 6; ++i)
        InsertCandidateSorted(list, Candidate(65.0 - i), 10, 0.0);
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list.back().score, 65.0);
    // A full list takes a better one and loses its last.
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(25.0, 0, 0, 5), 10, 0.0), 2);
    EXPECT_EQ(list.size(), 10u);
    EXPECT_EQ(list.back().score, 64.0);
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(99.0), 10, 0.0), 0);
    EXPECT_EQ(list.size(), 10u);

    // Capacity 15: with 14 entries a worse one is refused, with 13 it is appended.
    FitCandidateList a, b;
    for (int i = 0; i < 14; ++i)
        InsertCandidateSorted(a, Candidate(i), 15, 0.0);
    for (int i = 0; i < 13; ++i)
        InsertCandidateSorted(b, Candidate(i), 15, 0.0);
    EXPECT_EQ(InsertCandidateSorted(a, Candidate(100.0), 15, 0.0), 0);
    EXPECT_EQ(a.size(), 14u);
    EXPECT_EQ(InsertCandidateSorted(b, Candidate(100.0), 15, 0.0), 14);
    EXPECT_EQ(b.size(), 14u);
}

TEST(FitCandidates, MinimumDistanceRefusesNeighboursOfBetterOnesAndDisplacesWorse)
{
    const double d = 0.05;
    FitCandidateList list;
    InsertCandidateSorted(list, Candidate(10.0, 0.0, 0.0, 1), 15, d);
    InsertCandidateSorted(list, Candidate(30.0, 0.5, 0.0, 2), 15, d);
    InsertCandidateSorted(list, Candidate(40.0, 1.0, 0.0, 3), 15, d);

    // Next to the better first entry: refused, list unchanged.
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(20.0, 0.01, 0.0, 4), 15, d), 0);
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 2, 3}));
    // Better than the worse entry beside it: takes its place.
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(20.0, 0.51, 0.0, 5), 15, d), 2);
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 5, 3}));
    // Better than entry 3 but near a later one: inserted, and that later one goes.
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(25.0, 0.99, 0.0, 6), 15, d), 3);
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 5, 6}));
    // Far from everything: a plain insert.
    EXPECT_EQ(InsertCandidateSorted(list, Candidate(15.0, -1.0, 0.3, 7), 15, d), 2);
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 7, 5, 6}));
}

TEST(FitCandidates, PruningBoundsByBestScoreLimitAndCount)
{
    struct Case {
        std::vector<double> scores;
        double factor, limit;
        int keep;
        std::vector<double> expect;
        int result;
    };
    const Case cases[] = {
        {{10, 15, 25, 40}, 2.0, 1e9, 0, {10, 15}, 2},
        {{10, 15, 25, 40}, 5.0, 30.0, 0, {10, 15, 25}, 3},
        {{10, 15, 25, 40}, 5.0, 1e9, 2, {10, 15}, 2},
        {{10, 2e6}, 1e9, 1e9, 0, {10}, 1},  // unusable scores always go
        {{7}, 0.1, 0.1, 0, {7}, 1},         // a single entry is left alone
    };
    for (const Case& c : cases) {
        FitCandidateList list;
        for (double s : c.scores)
            list.push_back(Candidate(s));
        EXPECT_EQ(PruneCandidates(list, c.factor, c.limit, c.keep), c.result);
        EXPECT_EQ(Scores(list), c.expect);
    }
}

TEST(FitCandidates, KeypadCodesTurnAroundTheRing)
{
    const int oneTurn[][2] = {{2, 4}, {6, 2}, {8, 6}, {4, 8}, {3, 1}, {9, 3}, {7, 9}, {1, 7}};
    for (const auto& t : oneTurn) {
        EXPECT_EQ(RotateKeypadPosition(t[0], 1), t[1]);
        // Four quarter turns in steps come back; two are the opposite direction.
        EXPECT_EQ(RotateKeypadPosition(RotateKeypadPosition(t[0], 2), 2), t[0]);
        EXPECT_EQ(RotateKeypadPosition(t[0], 2), 10 - t[0]);
        EXPECT_EQ(RotateKeypadPosition(t[0], 0), t[0]);
    }
    EXPECT_EQ(RotateKeypadPosition(5, 1), 5);
    EXPECT_EQ(RotateKeypadPosition(2, 4), 2);
    EXPECT_EQ(RotateKeypadPosition(2, -1), 2);
    EXPECT_EQ(RotateKeypadPosition(0, 1), 0);
    EXPECT_EQ(RotateKeypadPosition(10, 1), 10);
}

TEST(FitCandidates, PointIdsCountWithinASecondAndWrapUnsigned)
{
    platform::FakeClock clock;
    platform::LocalTime t;
    t.year = 2026;
    t.month = 12;
    t.day = 10;
    t.hour = 16;
    clock.SetTime(t);
    platform::SetClock(&clock);
    const int32_t a = NewPointId();
    const int32_t b = NewPointId();
    EXPECT_EQ(static_cast<uint32_t>(b) - static_cast<uint32_t>(a), 1u);
    // Seconds since 1970 shifted by 8 wrap in 32 bits: 1796918400 << 8 = 0x1...00, plus 1.
    const uint32_t seconds = 1796918400u;
    EXPECT_EQ(static_cast<uint32_t>(a), (seconds << 8) + 1u);
    // An automatic id wraps the same way instead of overflowing.
    const int32_t c = NewAutoPointId();
    EXPECT_EQ(static_cast<uint32_t>(c), (seconds << 8) + 3u + 100000000u);
    clock.Advance(1000);
    EXPECT_EQ(static_cast<uint32_t>(NewPointId()), ((seconds + 1) << 8) + 4u);
}

TEST(FitCandidates, SmallRecordsKeepWhatTheyAreGiven)
{
    FitCandidate c;
    EXPECT_EQ(c.GetScore(), UnusableScore);
    EXPECT_EQ(c.dpr, 1000.0);
    c.kcen = CDPoint(0.25, -0.5);
    c.omg = 0.1;
    c.score = 3.5;
    const FitCandidate copy = c;
    EXPECT_EQ(copy.GetKcen(), CDPoint(0.25, -0.5));
    EXPECT_EQ(copy.GetScore(), 3.5);
    EXPECT_EQ(copy.omg, 0.1);

    DSegment zero;
    EXPECT_EQ(zero.GetStart(), CDPoint(0, 0));
    EXPECT_EQ(zero.GetEnd(), CDPoint(0, 0));
    DSegment s(CDPoint(-3, 4), CDPoint(5, -2));
    EXPECT_EQ(s.GetStart(), CDPoint(-3, 4));
    EXPECT_EQ(s.GetEnd(), CDPoint(5, -2));
    EXPECT_DOUBLE_EQ(s.Length(), 10.0);

    CRect r(10, 10, 20, 20);
    ExtendRectToPoint(r, CPoint(5, 25));
    ExtendRectToPoint(r, CPoint(30, 0));
    EXPECT_EQ(r, CRect(5, 0, 30, 25));
}

} // namespace

// The offset scan scores its trials on several threads and then takes them in its own order:
// whatever the thread count, the candidate lists, the scan's outcome, its break polls and the
// fit built on it must come out the same, bit for bit. The pictures are views of a generated
// scene, so that the scan has a true answer to find.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/fit/fit_candidates.h"
#include "engine/fit/trial_pool.h"
#include "imagefile/image_file.h"
#include "platform/input_state.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "tests/picset/fake_host_document.h"

namespace {

const int kThreadCounts[] = {1, 2, 3, 5, 64};
const std::string kViewsDir = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3";

uint32_t Hash(int64_t i, int64_t j, uint32_t seed)
{
    uint64_t h = static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(j) * 0xC2B2AE3D27D4EB4Full ^ seed;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return static_cast<uint32_t>(h);
}

// Smooth value noise in 0..1 over cells of size 1.
double Noise(double u, double v, uint32_t seed)
{
    const double fu = std::floor(u), fv = std::floor(v);
    const int64_t i = static_cast<int64_t>(fu), j = static_cast<int64_t>(fv);
    double s = u - fu, t = v - fv;
    s = s * s * (3.0 - 2.0 * s);
    t = t * t * (3.0 - 2.0 * t);
    auto at = [&](int64_t a, int64_t b) { return (Hash(a, b, seed) & 0xFFFF) / 65535.0; };
    const double top = at(i, j) * (1.0 - s) + at(i + 1, j) * s;
    const double bottom = at(i, j + 1) * (1.0 - s) + at(i + 1, j + 1) * s;
    return top * (1.0 - t) + bottom * t;
}

// The scene's colour in a direction (longitude, latitude): blotches of two sizes, in colours
// that stay clear of the too-dark and too-bright limits of the colour distance.
COLORREF SceneColour(CDPoint d)
{
    // Hard-edged patches give the point matching corners to find.
    const double patch = std::floor(Noise(d.x / 0.08, d.y / 0.08, 11) * 4.0) / 3.0;
    const double fine = std::floor(Noise(d.x / 0.025, d.y / 0.025, 13) * 3.0) / 2.0;
    auto channel = [&](uint32_t seed) {
        const double v = 0.25 * Noise(d.x / 0.25, d.y / 0.25, seed + 3) + 0.15 * Noise(d.x / 0.06, d.y / 0.06, seed) +
                         0.45 * patch + 0.15 * fine;
        return static_cast<int>(50.0 + 150.0 * v);
    };
    return RGB(channel(1), channel(2), channel(3));
}

// A view of the scene, w x h pixels, from a camera with the given focal, direction and roll;
// the record is left in that pose.
std::unique_ptr<CKpic> RenderView(const std::string& name, int w, int h, double focal, CDPoint direction, double roll)
{
    auto k = std::make_unique<CKpic>("/generated/" + name + ".bmp", CRect(0, 0, w, h));
    k->m_OpticalCentre = CDPoint((w - 1) * 0.5, (h - 1) * 0.5);
    k->m_Focal = focal;
    k->m_Direction = direction;
    k->m_Roll = roll;
    k->Pixels.SetSize(int64_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            k->Pixels[int64_t(y) * w + x] = SceneColour(k->PixelPointToSphere(x, y));
    return k;
}

// Presses Escape at the given query of the key (0: never).
class EscapeAtQuery : public platform::IInputState {
public:
    explicit EscapeAtQuery(int at) : m_at(at) {}
    bool AsyncKeyState(platform::Key key) override
    {
        return key == platform::Key::Escape && ++m_queries == m_at;
    }
    bool KeyState(platform::Key) override { return false; }
    CPoint CursorPos() override { return CPoint(); }
    int Queries() const { return m_queries; }

private:
    int m_at;
    int m_queries = 0;
};

// Everything a scan leaves behind, compared exactly.
struct ScanRun {
    int result = 0;
    FitCandidateList list;
    CDPoint direction;  // B's state after the scan
    double roll = 0.0;
    double focal = 0.0;
    int progress = 0;
    int polls = 0;
};

void ExpectSameCandidates(const FitCandidateList& want, const FitCandidateList& got)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].score, want[i].score);
        EXPECT_EQ(got[i].kcen.x, want[i].kcen.x);
        EXPECT_EQ(got[i].kcen.y, want[i].kcen.y);
        EXPECT_EQ(got[i].omg, want[i].omg);
        EXPECT_EQ(got[i].dpr, want[i].dpr);
        EXPECT_EQ(got[i].hp, want[i].hp);
        EXPECT_EQ(got[i].upsp.x, want[i].upsp.x);
        EXPECT_EQ(got[i].upsp.y, want[i].upsp.y);
    }
}

struct ScanCase {
    const char* name;
    int w, h;            // both pictures
    double rollA;        // the partner's roll
    CDPoint truthB;      // where B's camera looked when its view was made
    double rollB;
    int fitMode;
    CRect layout;
    int breakAt;         // Escape at this poll of the break keys; 0 never
};

// A pair laid side by side, B to the right of A, scanned as the pair match scans it: B's
// reference pixel a third of its width left of its centre, the search window over the right
// part of A.
ScanRun RunScan(const ScanCase& c, int threads)
{
    const double focal = c.w / (2.0 * std::tan(30.0 * 3.14159265358979 / 180.0));
    auto a = RenderView("a", c.w, c.h, focal, CDPoint(0.0, 0.0), c.rollA);
    auto b = RenderView("b", c.w, c.h, focal, c.truthB, c.rollB);
    // B starts unfitted: straight ahead of its cell, level.
    b->m_Direction = CDPoint(0.5, 0.0);
    b->m_Roll = 0.0;

    CMcCore core;
    core.m_ScanThreads = threads;
    core.m_LayoutRect = c.layout;
    FitMode = c.fitMode;
    EscapeAtQuery input(c.breakAt);
    platform::SetInput(&input);
    core.m_JobMode = c.breakAt > 0 ? 1 : 0;

    const int w = c.w, h = c.h;
    CRect r(w / 2 + w / 4, h / 2, w / 2 + w / 4, h / 2);
    r.InflateRect(w / 2, h / 7);
    r.IntersectRect(r, a->m_PictureRect);
    const CPoint p(w / 2 - w / 3, h / 2);

    ScanRun run;
    run.result = core.ScanOffsets(a.get(), r, b.get(), p, run.list);
    run.direction = b->m_Direction;
    run.roll = b->m_Roll;
    run.focal = b->m_Focal;
    run.progress = core.m_Progress[7];
    run.polls = input.Queries();
    platform::SetInput(nullptr);
    FitMode = -2;
    return run;
}

} // namespace

// A table of pairs that take the scan down its different paths: a partner wide enough for the
// second scan, one narrow enough to skip it, a single-column layout without the roll scan and
// with the pitch penalty, a rolled partner that doubles the coarse trials, and breaks during
// the coarse scan and in a later stage. Each is scanned serially and on 2, 3, 5 and 64 threads.
TEST(OffsetScan, AnyThreadCountGivesTheSerialResult)
{
    const ScanCase cases[] = {
        {"wide pair, second scan", 800, 600, 0.0, {0.52, 0.02}, 0.01, -2, CRect(0, 0, 1, 0), 0},
        {"narrow pair, one column, pitch penalty", 480, 360, 0.0, {0.50, -0.01}, 0.0, 1, CRect(0, 0, 0, 1), 0},
        {"rolled partner, two rolls a trial", 480, 360, 0.1, {0.50, 0.0}, 0.1, 0, CRect(0, 0, 2, 0), 0},
        {"break in the coarse scan", 800, 600, 0.0, {0.52, 0.02}, 0.01, -2, CRect(0, 0, 1, 0), 3},
        {"break in a later stage", 800, 600, 0.0, {0.52, 0.02}, 0.01, -2, CRect(0, 0, 1, 0), 28},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScanRun serial = RunScan(c, 1);
        if (c.breakAt == 0) {
            // The serial scan itself finds the pair, so that the comparison is about a real result.
            ASSERT_EQ(serial.result, 1);
            ASSERT_FALSE(serial.list.empty());
            EXPECT_NEAR(serial.list.front().kcen.x, c.truthB.x, 0.01);
            EXPECT_NEAR(serial.list.front().kcen.y, c.truthB.y, 0.01);
            EXPECT_NEAR(serial.list.front().omg, c.rollB, 0.02);
        } else {
            EXPECT_EQ(serial.result, -1);
            EXPECT_EQ(serial.polls, c.breakAt);
        }
        for (int threads : kThreadCounts) {
            if (threads == 1)
                continue;
            SCOPED_TRACE(threads);
            const ScanRun run = RunScan(c, threads);
            EXPECT_EQ(run.result, serial.result);
            ExpectSameCandidates(serial.list, run.list);
            EXPECT_EQ(run.direction.x, serial.direction.x);
            EXPECT_EQ(run.direction.y, serial.direction.y);
            EXPECT_EQ(run.roll, serial.roll);
            EXPECT_EQ(run.focal, serial.focal);
            EXPECT_EQ(run.progress, serial.progress);
            EXPECT_EQ(run.polls, serial.polls);
        }
    }
}

namespace {

// Answers every question with its default, 1, as the headless fit does.
class CDefaultAnswers : public CMcHost {
public:
    int AskQuestion(const std::string&, int, const std::string&, const std::string&) override { return 1; }
    void ShowMessage(const std::string&, int, const std::string&, const std::string&) override {}
};

struct FittedPicture {
    int status = 0;
    CDPoint direction;
    double roll = 0.0, focal = 0.0, fitScore = 0.0;
    std::vector<ControlPoint> points;
};

struct FitRun {
    int result = 0;
    double commonFocal = 0.0;
    std::vector<FittedPicture> pictures;
};

// Three neighbouring views of the synthetic ring, laid left to right in one row and fitted as
// the Fit command fits them (false when the views are absent).
bool FitRow(int threads, FitRun& run)
{
    FakeHostDocument document;
    CDefaultAnswers host;
    host.SetDocument(&document);
    CMcCore core;
    core.m_Host = &host;
    core.m_ScanThreads = threads;
    SetEngineModeFlags();
    for (int i = 0; i < 3; ++i) {
        const std::string path = kViewsDir + "/rhein3_v0" + std::to_string(i) + ".jpg";
        int result = 0;
        CKpic* k = core.OpenPicture(path, result);
        if (!k)
            return false;
        CSize size(k->Width(), k->Height());
        if (LoadImageFile(path, k->Pixels, size, CRect(0, 0, 0, 0)) <= 0)
            return false;
        k->m_LayoutCell = CPoint(i, 0);
    }
    FitMode = -2;
    run.result = core.RunAutoFit();
    run.commonFocal = core.GetCommonFocal();
    for (const auto& p : core.m_Pictures) {
        FittedPicture f;
        f.status = p->m_Status;
        f.direction = p->m_Direction;
        f.roll = p->m_Roll;
        f.focal = p->m_Focal;
        f.fitScore = p->m_FitScore;
        f.points.assign(p->m_Points.begin(), p->m_Points.end());
        run.pictures.push_back(f);
    }
    return true;
}

void ExpectSameFit(const FitRun& want, const FitRun& run)
{
    EXPECT_EQ(run.result, want.result);
    EXPECT_EQ(run.commonFocal, want.commonFocal);
    ASSERT_EQ(run.pictures.size(), want.pictures.size());
    for (size_t i = 0; i < want.pictures.size(); ++i) {
        SCOPED_TRACE(i);
        const FittedPicture& w = want.pictures[i];
        const FittedPicture& got = run.pictures[i];
        EXPECT_EQ(got.status, w.status);
        EXPECT_EQ(got.direction.x, w.direction.x);
        EXPECT_EQ(got.direction.y, w.direction.y);
        EXPECT_EQ(got.roll, w.roll);
        EXPECT_EQ(got.focal, w.focal);
        EXPECT_EQ(got.fitScore, w.fitScore);
        ASSERT_EQ(got.points.size(), w.points.size());
        for (size_t k = 0; k < w.points.size(); ++k) {
            SCOPED_TRACE(k);
            // Point ids carry the clock's seconds; everything else must agree.
            EXPECT_EQ(got.points[k].kind, w.points[k].kind);
            EXPECT_EQ(got.points[k].state, w.points[k].state);
            EXPECT_EQ(got.points[k].position.x, w.points[k].position.x);
            EXPECT_EQ(got.points[k].position.y, w.points[k].position.y);
            EXPECT_EQ(got.points[k].target.x, w.points[k].target.x);
            EXPECT_EQ(got.points[k].target.y, w.points[k].target.y);
        }
    }
}

} // namespace

// The fit of a small row, which runs a pair match and its scans for each picture placed, ends
// the same on every thread count: where each picture went, its points and the common focal.
TEST(OffsetScan, RowFitIsTheSameOnAnyThreadCount)
{
    FitRun serial;
    if (!FitRow(1, serial))
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    ASSERT_EQ(serial.result, 1);
    for (const FittedPicture& p : serial.pictures)
        EXPECT_GE(p.status, 3);
    for (int threads : kThreadCounts) {
        if (threads == 1)
            continue;
        SCOPED_TRACE(threads);
        FitRun run;
        ASSERT_TRUE(FitRow(threads, run));
        ExpectSameFit(serial, run);
    }
}

namespace {

// Threads the starter below still grants before it refuses, as a process at its address-space
// or thread limit refuses them.
std::atomic<int> g_ThreadsGranted{0};

std::thread GrantThenRefuse(std::function<void()> body)
{
    if (g_ThreadsGranted.fetch_sub(1) <= 0)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
}

} // namespace

// Threads that cannot be started are done without: the pool keeps the ones it got (down to the
// calling thread alone), and the row fit comes out as on one thread. (A refused thread used to
// leave the scan as an uncaught exception that ended the program.)
TEST(OffsetScan, RefusedThreadsLeaveTheFitAsOnOneThread)
{
    FitRun serial;
    if (!FitRow(1, serial))
        GTEST_SKIP() << "no synthetic views in " << kViewsDir;
    SetWorkerThreadStarter(GrantThenRefuse);
    for (const int granted : {0, 1, 2}) {
        SCOPED_TRACE(granted);
        g_ThreadsGranted = granted;
        {
            CTrialPool pool(MaxTrialThreads);
            EXPECT_EQ(pool.Threads(), 1 + granted);
            std::atomic<int> total{0};
            pool.Run(100, [&](int, std::size_t) { ++total; });
            EXPECT_EQ(total.load(), 100);
        }
        // Each scan of the fit and the image levels ask again; the first ones get threads.
        g_ThreadsGranted = granted;
        FitRun run;
        ASSERT_TRUE(FitRow(MaxTrialThreads, run));
        ExpectSameFit(serial, run);
    }
    SetWorkerThreadStarter(nullptr);
}

// The pool runs every index once, on any number of threads, and hands an exception thrown by
// one call back to the caller after the others have finished.
TEST(TrialPool, RunsEveryIndexOnceAndPassesFailuresOn)
{
    for (int threads : kThreadCounts) {
        SCOPED_TRACE(threads);
        CTrialPool pool(ResolveTrialThreads(threads));
        EXPECT_LE(pool.Threads(), MaxTrialThreads);
        for (std::size_t count : {std::size_t(0), std::size_t(1), std::size_t(7), std::size_t(1000)}) {
            std::vector<std::atomic<int>> calls(count);
            pool.Run(count, [&](int worker, std::size_t i) {
                EXPECT_GE(worker, 0);
                EXPECT_LT(worker, pool.Threads());
                ++calls[i];
            });
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_EQ(calls[i].load(), 1) << i;
        }
        EXPECT_THROW(pool.Run(100, [](int, std::size_t i) {
            if (i == 37)
                throw std::runtime_error("trial failed");
        }), std::runtime_error);
        // The pool is still usable afterwards.
        std::atomic<int> total{0};
        pool.Run(50, [&](int, std::size_t) { ++total; });
        EXPECT_EQ(total.load(), 50);
    }
}

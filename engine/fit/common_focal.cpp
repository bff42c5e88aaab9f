// The searches over values all pictures of the set share: the common focal (each picture
// re-solved at every trial focal, or all pictures forced to it), the lens table's radius
// parameter and the distortion coefficient. Each trial value is scored by the mean fit measure
// of the fitted pictures after the base picture; lower is better, 1000000 means "no score".
//
// The focal walk moves by a step relative to the focal, doubles it on a run of moves in one
// direction, halves it when the centre is best, and has converged once the centre is best at
// a step below 0.05 % of the focal. It never runs longer than 60 iterations.
#include <algorithm>
#include <cmath>
#include <string>

#include "common/value_types.h"
#include "engine/fit/lens_model.h"
#include "picset/mccore.h"

namespace {

constexpr double NoScore = 1000000.0;
constexpr double SmallestFocal = 100.0;
constexpr double LargestFocal = 100000.0;
constexpr int MostFocalIterations = 60;
constexpr double ConvergedStep = 0.0005;

// Progress counters the searches lower so that the timer display moves.
constexpr int StepDistanceCounter = 3;
constexpr int EvaluationCounter = 4;
constexpr int TickBudgetCounter = 8;

constexpr double RadiusStep = 0.02;
constexpr int MostRadiusIterations = 10;
constexpr double DistortionStep = 0.0015;
constexpr int MostDistortionIterations = 20;
constexpr int MostDistortionSearches = 5;
// Radius argument of a table rebuild that keeps the index scale.
constexpr double KeepIndexScale = -2.0;

// The focal step as a fraction of the focal: fine for short lenses, coarse for long ones.
double StepFraction(double focal)
{
    if (focal <= 1000.0)
        return 0.0025;
    if (focal <= 50000.0)
        return (focal - 1000.0) * 0.3 / 50000.0 + 0.0025;
    return 0.3;
}

enum class WalkEnd { Converged, RanOut, Cancelled };

// The focal walk from F; `score` evaluates a focal, `goOn` is asked before every iteration
// (false cancels). F is left at the walk's last centre; `best` is the smallest score seen.
template <class Score, class GoOn>
WalkEnd WalkFocal(double& F, double& best, Score score, GoOn goOn)
{
    double s = StepFraction(F) * F;
    double e0 = score(F);
    double ep = score(F + s);
    double em = score(F - s);
    best = std::min({e0, ep, em});
    int run = 0;
    for (int iteration = 1;; ++iteration) {
        if (!goOn(F, s))
            return WalkEnd::Cancelled;
        if (e0 <= ep && e0 <= em) {
            if (s < ConvergedStep * F)
                return WalkEnd::Converged;
            s /= 2.0;
            run = 0;
            ep = score(F + s);
            em = score(F - s);
        } else if (ep < e0 && e0 < em) {
            F += s;
            em = e0;
            e0 = ep;
            if (++run > 2)
                s *= 2.0;
            ep = score(F + s);
        } else if (em < e0 && e0 < ep) {
            F -= s;
            ep = e0;
            e0 = em;
            if (--run < -2)
                s = std::min(1.8 * s, (F - SmallestFocal) / 2.0);
            em = score(F - s);
        } else {
            if (em < e0 && em < ep) {
                F -= s;
                e0 = em;
            }
            if (ep >= e0 || ep >= em) {
                s = std::min(2.0 * s, (F - SmallestFocal) / 2.0);
            } else {
                F += s;
                e0 = ep;
            }
            ep = score(F + s);
            em = score(F - s);
        }
        best = std::min({best, e0, ep, em});
        // A focal at the floor leaves no step; NaN scores end here too at the latest.
        if (!(F <= LargestFocal) || iteration > MostFocalIterations || !(s > 0.0))
            return WalkEnd::RanOut;
    }
}

// A three-point walk over a lens parameter: moves by `step` towards the lower score until the
// centre is best, for at most `iterations` moves; `evaluate` scores a value, `goOn` is asked
// after every iteration.
template <class Evaluate, class GoOn>
double WalkParameter(double x, double step, int iterations, Evaluate evaluate, GoOn goOn)
{
    double e0 = evaluate(x);
    double ep = evaluate(x + step);
    double em = evaluate(x - step);
    for (int i = 0; i < iterations; ++i) {
        if (e0 <= em && e0 <= ep)
            break;
        if (ep < e0 && e0 <= em) {
            x += step;
            em = e0;
            e0 = ep;
            ep = evaluate(x + step);
        } else if (em < e0) {
            x -= step;
            ep = e0;
            e0 = em;
            em = evaluate(x - step);
        } else {
            break;
        }
        if (!goOn())
            break;
    }
    return x;
}

} // namespace

// The mean fit measure of the fitted pictures after the base picture once the base picture has
// focal F and `solve` has re-solved each of them (after re-linking its points); the walk ends
// early when a break key is down. 1000000 when nothing was measured.
template <class Solve>
static double ScoreAtFocal(CMcCore& set, double focal, Solve solve)
{
    if (set.GetJobMode() == -1 || set.m_Pictures.empty())
        return NoScore;
    CKpic* base = set.GetFirstPicture();
    base->m_Focal = focal;
    set.m_CommonFocal = focal;
    base->UpdateOrientationFromAnchor();
    base->RefreshControlPoints();
    double sum = 0.0;
    int counted = 0;
    for (std::size_t i = 1; i < set.m_Pictures.size(); ++i) {
        CKpic* k = set.m_Pictures[i].get();
        if (k->m_Status <= 2)
            continue;
        set.ResolvePointPartners(k);
        solve(k);
        sum += k->m_FitScore;
        ++counted;
        if (set.PollBreak() == 1)
            break;
    }
    return counted > 0 ? sum / counted : NoScore;
}

double CMcCore::ScoreFocal(double focal)
{
    if (m_IndividualFocal == 0)
        return ScoreSharedFocal(focal);
    ++m_FocalScoreCount;
    if (m_JobMode == -1 || m_Pictures.empty())
        return NoScore;
    const double score = ScoreAtFocal(*this, focal, [this](CKpic* k) { UpdatePictureGeometry(k); });
    --m_Progress[StepDistanceCounter];
    return score;
}

double CMcCore::ScoreSharedFocal(double focal)
{
    ++m_FocalScoreCount;
    return ScoreAtFocal(*this, focal, [focal](CKpic* k) {
        k->m_Focal = focal;
        k->UpdatePointSpherePositions();
        k->UpdatePointAngles();
        k->OptimizeOrientation();
        k->RefreshControlPoints();
    });
}

// Fewer than two fitted pictures leave nothing to score: the focal stays as it is.
static bool HasPicturesToScore(const CMcCore& set)
{
    return set.GetPictureCount() >= 2 && set.GetFirstPicture()->m_Status >= 3 && set.GetPictureAt(1)->m_Status >= 3;
}

double CMcCore::SearchCommonFocal()
{
    if (m_JobMode == -1)
        return NoScore;
    SortPlacedFirst();
    if (!HasPicturesToScore(*this))
        return NoScore;
    if (m_IndividualFocal == 0)
        return EvaluateSharedFocal();

    const double start = m_CommonFocal;
    double F = start;
    double best = NoScore;
    const WalkEnd end = WalkFocal(
        F, best, [this](double f) { return ScoreFocal(f); },
        [this](double f, double s) {
            m_Progress[StepDistanceCounter] = RatioDecibels(s, ConvergedStep * f);
            return m_JobMode != -1;
        });
    if (end == WalkEnd::Converged) {
        m_CommonFocal = F;
        const double score = ScoreFocal(F);
        m_StepMarker = 0;
        UpdateBoundingRect();
        return score;
    }
    if (end == WalkEnd::Cancelled)
        m_CommonFocal = start;
    ApplyDefaultFocal(std::string());
    m_StepMarker = 0;
    return NoScore;
}

double CMcCore::EvaluateSharedFocal()
{
    double F = m_CommonFocal;
    double best = NoScore;
    const WalkEnd end = WalkFocal(
        F, best, [this](double f) { return ScoreSharedFocal(f); }, [](double, double) { return true; });
    if (end != WalkEnd::Converged)
        return NoScore;
    m_CommonFocal = F;
    best = std::min(best, ScoreSharedFocal(F));
    return best;
}

void CMcCore::OptimizeDistortion()
{
    m_Progress[StepDistanceCounter] = 6;
    m_Progress[EvaluationCounter] = 90;
    auto goOn = [this] {
        --m_Progress[EvaluationCounter];
        PollBreak();
        return m_JobMode >= 0;
    };

    // Phase 1: each trial coefficient scored at the common focal as it stands.
    auto scoreAtFocal = [this](double k) {
        m_Distortion = k;
        RebuildLensTable(k, KeepIndexScale);
        ApplyDefaultFocal(std::string());
        return ScoreFocal(m_CommonFocal);
    };
    double k = m_Distortion;
    if (m_JobMode >= 0)
        k = WalkParameter(k, DistortionStep, MostDistortionIterations, scoreAtFocal, goOn);

    // Phase 2: each trial coefficient gets its own common focal; the chosen one keeps its focal.
    struct Trial {
        double k;
        double focal;
    };
    Trial trials[3 * (MostDistortionSearches + 1)];
    int trialCount = 0;
    auto scoreWithFocalSearch = [&](double value) {
        m_Distortion = value;
        RebuildLensTable(value, KeepIndexScale);
        ApplyDefaultFocal(std::string());
        m_Progress[EvaluationCounter] -= 6;
        const double score = SearchCommonFocal();
        if (trialCount < static_cast<int>(std::size(trials)))
            trials[trialCount++] = {value, m_CommonFocal};
        return score;
    };
    if (m_JobMode >= 0) {
        k = WalkParameter(k, DistortionStep, MostDistortionSearches, scoreWithFocalSearch, goOn);
        for (int i = trialCount - 1; i >= 0; --i) {
            if (trials[i].k == k) {
                m_CommonFocal = trials[i].focal;
                break;
            }
        }
    }

    m_Progress[EvaluationCounter] = 0;
    m_Progress[StepDistanceCounter] = 2;
    if (!(k > -0.25 && k < 0.25))
        k = -0.02;
    m_Distortion = k;
    RebuildLensTable(k, KeepIndexScale);
    ApplyDefaultFocal(std::string());
    ScoreFocal(m_CommonFocal);
    m_StepMarker = 0;
}

void CMcCore::SearchLensRadius()
{
    if (m_FitPriority >= 2)
        m_FitState = m_FitPriority;
    if (m_JobMode == -1 || m_FittedCount < 2)
        return;
    UpdateLensModel(0.0);
    const int d = RatioDecibels(0.0025, 0.0005);
    m_Progress[TickBudgetCounter] = 20734;
    PollBreak();

    const double startRadius = m_LensModelFactor;
    auto evaluate = [&](double radius) {
        m_Progress[EvaluationCounter] -= 15 * d;
        m_LensModelFactor = radius;
        RebuildLensTable(m_Distortion, radius);
        OptimizeDistortion();
        return ScoreFocal(m_CommonFocal);
    };
    auto goOn = [this] {
        PollBreak();
        return m_JobMode >= 0;
    };
    double radius = WalkParameter(startRadius, RadiusStep, MostRadiusIterations, evaluate, goOn);
    if (!(radius > 0.3 && radius < 1.15))
        radius = startRadius;
    m_LensModelFactor = radius;
    RebuildLensTable(m_Distortion, radius);
    OptimizeDistortion();
}

// Segment pairs of shared control points and the focal searches over them.
//
// Every search is bounded: each pass of its loop counts towards its limit, and a step that
// would become zero or negative near the smallest focal keeps its last positive value.
#include "engine/fit/focal_from_pairs.h"

#include <algorithm>
#include <cmath>

#include "geometry/focal_from_angle.h"
#include "geometry/sphere.h"
#include "picset/kpic.h"

namespace {

CFocalPairing g_Pairing;

// Focal values below these give no camera-plane angle worth comparing.
constexpr double MinimumFocal = 50.0;
constexpr double SmallestFocal = 100.0;

double AngleA(const SegmentPair& p, double f) { return LinearPointsAngle(p.a.GetStart(), p.a.GetEnd(), f); }
double AngleB(const SegmentPair& p, double f) { return LinearPointsAngle(p.b.GetStart(), p.b.GetEnd(), f); }

// A grown step that stays above the smallest focal, and positive.
double GrowStep(double s, double factor, double value)
{
    const double grown = std::min(factor * s, (value - SmallestFocal) / 2.0);
    return grown > 0.0 ? grown : s;
}

} // namespace

CFocalPairing& GetFocalPairing() { return g_Pairing; }

void ResetFocalPairing() { g_Pairing = CFocalPairing{}; }

int PairFeaturePoints(const CKpic& a, const CKpic& b)
{
    CFocalPairing& w = g_Pairing;
    w.pointCount = 0;
    w.SegmentPairCount = 0;
    for (const ControlPoint& cb : b.m_Points) {
        if (cb.kind == 0 || cb.state <= 2)
            continue;
        for (const ControlPoint& ca : a.m_Points) {
            if (ca.kind != 0 && ca.pointId == cb.pointId) {
                if (w.pointCount < MatchedPointCapacity)
                    w.points[w.pointCount++] = MatchedPoint{ca.planePosition, cb.planePosition};
                break;
            }
        }
    }
    for (int j = 0; j < w.pointCount; ++j) {
        for (int k = j + 1; k < w.pointCount; ++k) {
            SegmentPair& p = w.pairs[w.SegmentPairCount];
            p.a.Set(w.points[j].a, w.points[k].a);
            p.PairAngle = 0.0;
            p.b.Set(w.points[j].b, w.points[k].b);
            if (w.SegmentPairCount < SegmentPairCountLimit)
                ++w.SegmentPairCount;
        }
    }
    w.PairingGeneration = 3;
    return w.SegmentPairCount;
}

double UpdatePairAngles(SegmentPair* pairs, int n, double fA)
{
    if (!(fA >= MinimumFocal) || n < 1)
        return 0.0;
    double sum = 0.0;
    double weight = 0.0;
    for (int i = 0; i < n; ++i) {
        SegmentPair& p = pairs[i];
        p.PairAngle = AngleA(p, fA);
        const double fB = SolveFocalFromAngle(p.PairAngle, p.b.GetStart(), p.b.GetEnd());
        if (fB > SmallestFocal && fB < FocalSolveFailed) {
            sum += fB * p.PairAngle;
            weight += p.PairAngle;
        }
    }
    return weight > 0.0 ? sum / weight : 0.0;
}

double PairAngleError(SegmentPair* pairs, int n, double fA, double fB)
{
    if (!(fA > 0.0) || !(fB > 0.0) || n <= 0)
        return FocalErrorFailed;
    CFocalPairing& w = g_Pairing;
    bool recompute = true;
    if (w.PairingGeneration != 1)
        w.PairingGeneration = 1;
    else
        recompute = AngleA(pairs[0], fA) != pairs[0].PairAngle;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        SegmentPair& p = pairs[i];
        if (recompute)
            p.PairAngle = AngleA(p, fA);
        const double d = p.PairAngle - AngleB(p, fB);
        sum += d * d;
    }
    return fA * std::sqrt(sum / n);
}

double RefineFocalFromPairs(SegmentPair* pairs, int n, double fA, double& fB)
{
    if (!(fA >= MinimumFocal))
        return FocalErrorFailed;
    double x = fB;
    double s = 0.0004 * x;
    auto err = [&](double v) { return PairAngleError(pairs, n, fA, v); };
    double ep = err(x + s);
    double e0 = err(x);
    double em = err(x - s);
    int run = 0;
    for (int iteration = 0; s <= 0.002 * x && iteration < 51; ++iteration) {
        if (e0 <= em && e0 <= ep) {
            if (s < 0.00002 * x) {
                fB = x;
                return e0;
            }
            s /= 2.0;
            ep = err(x + s);
            em = err(x - s);
            run = 0;
        } else if (em < e0 && e0 < ep) {
            x -= s;
            ep = e0;
            e0 = em;
            if (--run < -3)
                s = GrowStep(s, 2.0, x);
            em = err(x - s);
        } else if (ep < e0 && e0 < em) {
            x += s;
            em = e0;
            e0 = ep;
            if (++run > 3)
                s *= 2.0;
            ep = err(x + s);
        } else {
            if (em < e0 && em < ep) {
                x -= s;
                e0 = em;
            }
            if (e0 <= ep || em <= ep) {
                s = GrowStep(s, 2.0, x);
            } else {
                x += s;
                e0 = ep;
            }
            ep = err(x + s);
            em = err(x - s);
        }
    }
    return e0;
}

double SearchFocalFromPairs(SegmentPair* pairs, int n, double& fA)
{
    double bestScore = FocalErrorFailed;
    double bestFB = 0.0;
    auto evaluate = [&](double v) {
        double fB = UpdatePairAngles(pairs, n, v);
        const double e = RefineFocalFromPairs(pairs, n, v, fB);
        if (e < bestScore) {
            bestScore = e;
            bestFB = fB;
        }
        return e;
    };
    double F = fA;
    double s = 0.05 * F;
    double ep = 0.0, e0 = 0.0, em = 0.0;
    bool staleP = true, stale0 = true, staleM = true;
    int run = 0;
    for (int iteration = 0;; ++iteration) {
        if (staleP)
            ep = evaluate(F + s);
        if (staleM)
            em = evaluate(F - s);
        if (stale0)
            e0 = evaluate(F);
        staleP = staleM = stale0 = false;
        if (bestScore == FocalErrorFailed) {
            fA = FocalSolveFailed;
            return FocalSolveFailed;
        }
        if (e0 < em && e0 < ep) {
            if (s < 0.002 * F) {
                fA = F;
                return bestFB;
            }
            s /= 2.0;
            staleP = staleM = true;
            run = 0;
        } else if (em <= e0 && e0 <= ep) {
            F -= s;
            ep = e0;
            e0 = em;
            staleM = true;
            if (--run < -2)
                s = GrowStep(s, 1.8, F);
        } else if (ep < e0 && e0 < em) {
            F += s;
            em = e0;
            e0 = ep;
            staleP = true;
            if (++run > 2)
                s *= 2.0;
        } else {
            if (em < e0 && em < ep) {
                F -= s;
                e0 = em;
            }
            if (e0 <= ep || em <= ep) {
                s = GrowStep(s, 2.0, F);
            } else {
                F += s;
                e0 = ep;
            }
            staleP = staleM = true;
        }
        if (F > FocalSolveFailed || iteration >= 60) {
            fA = F;
            return F;
        }
    }
}

double ScanFocalRange(SegmentPair* pairs, int n, double focal)
{
    double F = std::min(focal, FocalScanFailed);
    const double lo = 0.8 * F;
    const double hi = 1.25 * F;
    double e = 0.02 * F;
    auto err = [&](double v) { return PairAngleError(pairs, n, v, v); };
    int run = 0;
    for (int iteration = 0; iteration <= 50; ++iteration) {
        const double ep = err(F + e);
        const double e0 = err(F);
        const double em = err(F - e);
        if (e0 <= em && e0 <= ep) {
            if (e < 0.02 * F)
                return F;
            e *= 0.7;
            run = 0;
        } else if (em < e0 && em < ep) {
            F -= e;
            if (run < 0)
                e = GrowStep(e, 1.6, F);
            --run;
        } else if (em > ep && e0 > ep) {
            F += e;
            if (run > 0)
                e *= 1.6;
            ++run;
        }
        if (F < lo || F > hi)
            return F;
        if (e > FocalScanFailed)
            return FocalScanFailed;
    }
    return FocalScanFailed;
}

double SolveFocalForEqualAngles(const SegmentPair& pair)
{
    const CDPoint pts[4] = {pair.a.GetStart(), pair.a.GetEnd(), pair.b.GetStart(), pair.b.GetEnd()};
    double m = SmallestFocal;
    for (const CDPoint& p : pts)
        m = std::max({m, std::fabs(p.x), std::fabs(p.y)});
    double v = 10.0 * m;
    double s = 0.1 * v;
    auto err = [&](double f) { return std::fabs(AngleA(pair, f) - AngleB(pair, f)) * f; };
    int run = 0;
    for (int iteration = 0; iteration <= 51; ++iteration) {
        const double ep = err(v + s);
        const double e0 = err(v);
        const double em = err(v - s);
        if (e0 <= em && e0 <= ep) {
            if (s < 0.02 * v)
                return v;
            s /= 2.0;
            run = 0;
        } else if (em < e0 && em < ep) {
            v -= s;
            if (run < 0)
                s = GrowStep(s, 2.0, v);
            --run;
        } else if (ep < e0 && ep < em) {
            v += s;
            if (++run > 1)
                s *= 2.0;
        }
        if (s > FocalSolveFailed)
            return FocalSolveFailed;
    }
    return FocalSolveFailed;
}

double MeanLengthRatio(const SegmentPair* pairs, int n)
{
    double sumA = 0.0;
    double sumB = 0.0;
    for (int i = 0; i < n; ++i) {
        sumA += SegmentLengthD(pairs[i].a.GetStart(), pairs[i].a.GetEnd());
        sumB += SegmentLengthD(pairs[i].b.GetStart(), pairs[i].b.GetEnd());
    }
    return sumA == 0.0 ? 1.0 : sumB / sumA;
}

double SegmentSumSquares(const DSegment& s)
{
    const CDPoint a = s.GetStart();
    const CDPoint d = s.GetEnd() - a;
    double sum = 0.0;
    for (int i = 0; i <= 10; ++i) {
        const double t = i / 10.0;
        const double x = a.x + t * d.x;
        const double y = a.y + t * d.y;
        sum += x * x + y * y;
    }
    return sum;
}

int SegmentsAgree(const SegmentPair& pair)
{
    const double qa = SegmentSumSquares(pair.a);
    const double qb = SegmentSumSquares(pair.b);
    const double la = SegmentLengthD(pair.a.GetStart(), pair.a.GetEnd());
    const double lb = SegmentLengthD(pair.b.GetStart(), pair.b.GetEnd());
    return (qa < qb && la < lb) || (qa >= qb && la > lb) ? 1 : 0;
}

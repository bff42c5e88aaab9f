// Focal lengths from control points two pictures share, without knowing their orientation: the
// angle between two viewing directions is the same whichever picture sees them. The shared
// points are paired into segment pairs (the segment in each picture and the angle it subtends
// in the first), and small searches find the focal values at which the angles agree.
//
// Positions are camera-plane points (pixels from the optical centre, lens distortion removed);
// angles are radians; focals are pixels. The searches answer sentinels, never errors:
// FocalSolveFailed (100000) when no focal was found, 1000000 for an error that cannot be
// computed, 30000 from the range scan when it gave up.
#pragma once

#include "common/value_types.h"
#include "engine/fit/fit_candidates.h"

class CKpic;

// The same scene point on the camera planes of the two pictures.
struct MatchedPoint {
    CDPoint a;
    CDPoint b;
};

inline constexpr int MatchedPointCapacity = 50;
inline constexpr int SegmentPairCapacity = 100;
// Pairs beyond this many overwrite the last record without being counted.
inline constexpr int SegmentPairCountLimit = 99;
// The error of a focal that cannot be scored.
inline constexpr double FocalErrorFailed = 1000000.0;
// The range scan's answer when it gave up.
inline constexpr double FocalScanFailed = 30000.0;

// The work arrays of one fitting step (one set for the whole program): the next pairing
// overwrites them.
struct CFocalPairing {
    MatchedPoint points[MatchedPointCapacity];
    int pointCount = 0;
    SegmentPair pairs[SegmentPairCapacity];
    int SegmentPairCount = 0;
    // 3 right after a pairing, 1 once PairAngleError has recomputed the first picture's angles.
    int PairingGeneration = 0;
};

CFocalPairing& GetFocalPairing();
void ResetFocalPairing();

// Pairs every fitted point of b with the first slot of a holding the same id, and turns every
// two matched points into a segment pair. The number of counted pairs (0..99).
int PairFeaturePoints(const CKpic& a, const CKpic& b);

// Stores each pair's angle in the first picture at focal fA and returns the angle-weighted
// mean focal of the second picture; 0.0 when none could be computed (or fA is below 50).
double UpdatePairAngles(SegmentPair* pairs, int n, double fA);
// fA x the root mean square difference of the pairs' angles in the two pictures at fA and fB.
double PairAngleError(SegmentPair* pairs, int n, double fA, double fB);
// Walks fB to the smallest error for a fixed fA; writes fB only when the walk converged.
// The smallest error found.
double RefineFocalFromPairs(SegmentPair* pairs, int n, double fA, double& fB);
// Searches the first picture's focal (in/out) with the second's refined for every trial; the
// second picture's focal, FocalSolveFailed when nothing scored, or the first's focal when the
// search ran away.
double SearchFocalFromPairs(SegmentPair* pairs, int n, double& fA);
// One focal shared by both pictures, searched within 0.8 .. 1.25 of the start (capped at 30000).
double ScanFocalRange(SegmentPair* pairs, int n, double focal);
// The common focal at which both segments of one pair subtend the same angle.
double SolveFocalForEqualAngles(const SegmentPair& pair);
// Sum of the second picture's segment lengths over the first's; 1.0 when the first's is 0.
double MeanLengthRatio(const SegmentPair* pairs, int n);
// Sum of the squared distances from the origin of 11 points evenly along the segment.
double SegmentSumSquares(const DSegment& s);
// 1 when the segment lying farther from the centre is also the longer one, else 0.
int SegmentsAgree(const SegmentPair& pair);

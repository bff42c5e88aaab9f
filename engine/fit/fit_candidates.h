// The fit searches' bookkeeping: sorted candidate lists with a capacity and an optional minimum
// distance between candidates, their pruning, the neighbour-direction code of the keypad layout
// and its turning, the generator of control-point ids, and the small segment records of the
// focal estimation. The candidate record itself is picset/fit_candidate.h.
//
// Candidate directions (kcen) are (longitude, latitude) in radians; distances between them are
// the flat approximation of the great-circle angle.
#pragma once

#include <cstdint>

#include "common/basic_types.h"
#include "common/value_types.h"
#include "picset/fit_candidate.h"

// The score of a candidate that cannot be used.
inline constexpr double UnusableScore = 1000000.0;

// Inserts c into a list sorted by ascending score (equal scores keep their arrival order) that
// holds at most capacity entries. With minDistance > 0, c is refused next to a better or equal
// candidate closer than minDistance, and one worse candidate that close is dropped in its favour.
// The 1-based position where c went, 0 when it was refused.
int InsertCandidateSorted(FitCandidateList& list, const FitCandidate& c, int capacity, double minDistance);

// Drops tail entries scoring above min(best x factor, limit, UnusableScore), then keeps at most
// keep entries (keep 0 keeps all). With two or more entries the result is the count after the
// first phase less keep; with fewer, the count.
int PruneCandidates(FitCandidateList& list, double factor, double limit, int keep);

// Neighbour directions laid out as a numeric keypad (7 8 9 / 4 5 6 / 1 2 3); 5 is the centre
// and 10 - code the opposite direction.
// The code turned by quarter turns (0..3; a quarter turn takes 2 to 4 and 6 to 2). The centre,
// codes outside 1..9 and turns outside 0..3 give the code back.
int RotateKeypadPosition(int code, int turns);

// A new control-point id: (seconds since 1970 << 8) + a running counter, in unsigned 32-bit
// arithmetic (the shift wraps) read back as the slot's 32-bit id. The time comes from the
// program's clock.
int32_t NewPointId();
// The id of an automatic control point: a new id plus 100000000, wrapping the same way.
int32_t NewAutoPointId();
// Sets the running counter of the ids back to 0, as at program start.
void ResetPointIdCounter();

// Widens r so that it reaches p (right and bottom may equal p: the rectangle's edges are the
// extreme points seen).
void ExtendRectToPoint(CRect& r, CPoint p);

// A segment between two camera-plane points, zeroed on construction.
class DSegment {
public:
    DSegment() = default;
    DSegment(CDPoint start, CDPoint end) : m_Start(start), m_End(end) {}
    CDPoint GetStart() const { return m_Start; }
    CDPoint GetEnd() const { return m_End; }
    void Set(CDPoint start, CDPoint end)
    {
        m_Start = start;
        m_End = end;
    }
    double Length() const { return DistanceD(m_Start.x, m_Start.y, m_End.x, m_End.y); }

private:
    CDPoint m_Start;
    CDPoint m_End;
};

// The same two scene points seen in two pictures: the segment in the first picture, the angle
// it subtends there (radians) and the segment in the second.
struct SegmentPair {
    DSegment a;
    double PairAngle = 0.0;
    DSegment b;
};

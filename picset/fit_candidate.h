// A way of placing a picture next to another, as the fit searches keep it in short lists
// sorted by score (lower is better; 1000000.0 means unusable).
#pragma once

#include <vector>

#include "common/basic_types.h"
#include "common/value_types.h"

class CKpic;

struct FitCandidate {
    CKpic* picture = nullptr;  // the picture being placed
    CDPoint kcen;              // candidate direction (longitude, latitude) of its centre
    double omg = 0.0;          // candidate roll
    double dpr = 1000.0;       // candidate focal
    CPoint hp;                 // x: direction code of the partner; y: set by the searches
    CKpic* uppic = nullptr;    // the partner picture it is placed against
    CDPoint upsp;              // a second direction pair used by the searches
    double score = 1000000.0;

    CDPoint GetKcen() const { return kcen; }
    double GetScore() const { return score; }
};

using FitCandidateList = std::vector<FitCandidate>;

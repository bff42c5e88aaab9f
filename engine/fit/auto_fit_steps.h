// Numbers of the messages and questions of the automatic fit, and the small helpers its files
// share. Numbers go to the host in decimal, as every message of the engine does.
#pragma once

#include <array>
#include <cmath>
#include <string>

#include "common/status_codes.h"
#include "picset/kpic.h"
#include "picset/mccore.h"

inline constexpr int kMsgAllFittedRestart = 23;   // question: fit everything again?
inline constexpr int kMsgBaseRestored = 45;
inline constexpr int kMsgNoBasePicture = 46;
inline constexpr int kMsgFitIncomplete = 69;      // status pane text when some pictures stay unfitted
inline constexpr int kMsgUnequalSizes = 43;

inline std::string FitNumber(int n) { return std::to_string(n); }

// Copies the picture's current orientation into its best orientation.
inline void KeepAsBest(CKpic* p)
{
    p->m_BestDirection = p->m_Direction;
    p->m_BestRoll = p->m_Roll;
    p->m_BestFocal = p->m_Focal;
}

// A picture's place and points as a fit step found them, to be put back when a later step is
// taken back.
struct KeptPicture {
    CKpic* picture;
    int32_t status;
    double focal;
    CDPoint direction;
    double roll;
    CDPoint centre;
    double lensScale;
    double fitScore;
    std::array<ControlPoint, CONTROL_POINT_SLOTS> points;

    static KeptPicture Of(CKpic* p)
    {
        return {p, p->m_Status, p->m_Focal, p->m_Direction, p->m_Roll, p->m_OpticalCentre, p->m_LensScale,
                p->m_FitScore, p->m_Points};
    }
    void PutBack() const
    {
        picture->m_Status = status;
        picture->m_Focal = focal;
        picture->m_Direction = direction;
        picture->m_Roll = roll;
        picture->m_OpticalCentre = centre;
        picture->m_LensScale = lensScale;
        picture->m_FitScore = fitScore;
        picture->m_Points = points;
    }
};

// The pictures in the cells at the left and right ends of the home row; none where a cell is
// empty.
inline void FindRowEnds(const CMcCore& set, CKpic*& left, CKpic*& right)
{
    left = right = nullptr;
    for (const auto& owned : set.m_Pictures) {
        if (owned->m_LayoutCell == CPoint(set.m_HomeRowExtent.left, 0))
            left = owned.get();
        if (owned->m_LayoutCell == CPoint(set.m_HomeRowExtent.right, 0))
            right = owned.get();
    }
}

// Mean and population standard deviation of a running sum; false on a negative variance.
struct StepTally {
    double sum = 0.0;
    double squares = 0.0;
    int count = 0;
    void Add(double v)
    {
        sum += v;
        squares += v * v;
        ++count;
    }
    double Mean() const { return count > 0 ? sum / count : 0.0; }
    bool Deviation(double& out) const
    {
        if (count == 0)
            return false;
        const double m = Mean();
        const double var = squares / count - m * m;
        if (var < 0.0) {
            // Rounding can leave a tiny negative remainder for equal steps.
            if (var > -1e-12 * (squares / count + 1e-300)) {
                out = 0.0;
                return true;
            }
            return false;
        }
        out = std::sqrt(var);
        return true;
    }
};

// The lens model shared by the pictures of the set: the largest field angle and half diagonal
// that scale the lens table, the radius parameter and distortion defaults chosen from the
// widest lens, each picture's optical centre from the centre fractions, and its lens scale.
//
// A picture's lens scale is its field angle over the widest field angle of the set, so that the
// table (indexed by radius relative to the widest half diagonal) covers every picture alike.
#include "engine/fit/lens_model.h"

#include <algorithm>
#include <cmath>

#include "geometry/lens_table.h"
#include "picset/mccore.h"

namespace {

// Degrees per radian as the lens model has always rounded it.
constexpr double DegreesPerRadian = 57.3;

} // namespace

void CMcCore::ResetPictureCentre(CKpic* picture)
{
    if (!picture)
        return;
    picture->m_OpticalCentre = CDPoint((picture->Width() - 1) * m_CentreFractions.x, (picture->Height() - 1) * m_CentreFractions.y);
}

void CMcCore::UpdateLensScale(CKpic* picture)
{
    if (!picture)
        return;
    double angle = 1.0;
    if (picture->m_LensFocal > 0.0)
        angle = 2.0 * std::atan2(std::hypot(picture->Width(), picture->Height()) / 2.0, picture->m_LensFocal);
    picture->m_LensScale = GetLensTable().ReferenceRatio(angle);
}

void CMcCore::UpdateLensModel(double radiusOverride)
{
    double sizeRatio = 0.0;
    double halfDiagonal = 0.0;
    double fieldAngle = 0.0;
    for (const auto& k : m_Pictures) {
        const double w = k->Width();
        const double h = k->Height();
        if (k->m_Focal != 0.0) {
            const double ratio = std::max(w, h) / k->m_Focal;
            if (ratio > sizeRatio)
                sizeRatio = ratio;
        }
        const double half = std::hypot(w, h) / 2.0;
        if (half > halfDiagonal)
            halfDiagonal = half;
        if (k->m_LensFocal > 0.0) {
            const double a = 2.0 * std::atan2(half, k->m_LensFocal);
            if (a > fieldAngle)
                fieldAngle = a;
        }
    }
    m_LensModelValues[0] = sizeRatio;
    if (fieldAngle == m_LensModelValues[2] && halfDiagonal == m_LensModelValues[1])
        return;
    m_LensModelValues[1] = halfDiagonal;
    m_LensModelValues[2] = fieldAngle;

    if (radiusOverride > 0.0) {
        m_LensModelFactor = radiusOverride;
    } else {
        const double degrees = fieldAngle * DegreesPerRadian;
        if (degrees > 180.0) {
            m_LensModelFactor = 0.95;
        } else if (degrees > 90.0) {
            m_LensModelFactor = 1.1;
        } else if (degrees > 70.0) {
            m_LensModelFactor = 1.0;
        } else if (degrees > 35.0) {
            m_LensModelFactor = 0.95;
            m_Distortion = -0.02;
        } else if (degrees > 22.0) {
            m_LensModelFactor = 0.85;
            m_Distortion = 0.01;
        } else if (degrees > 1.0) {
            m_LensModelFactor = 0.8;
            m_Distortion = 0.02;
        } else {
            m_LensModelFactor = 0.95;
        }
    }
    if (halfDiagonal > 0.0) {
        GetLensTable().SetReference(fieldAngle, halfDiagonal);
        RebuildLensTable(m_Distortion, m_LensModelFactor);
    }
}

void RebuildLensTable(double k, double radius)
{
    // A build leaves the entries it does not reach (all of them for k = 0) as an earlier build
    // left them: start from no distortion, so that the table depends on (k, radius) alone.
    LensTable& table = GetLensTable();
    table.Reset();
    table.Build(k, radius);
}

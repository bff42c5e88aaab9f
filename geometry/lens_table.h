// The radial lens distortion table shared by all pictures: a camera-plane point (measured from
// the optical centre, in pixels) is scaled by a factor that depends only on its radius. The
// forward table distorts (ideal point -> point as the lens records it), the inverse table undoes
// it. Lookups are one hypot, a multiplication, a truncation, a clamp and an array read, because
// the renderer does one for every output pixel of every picture.
#pragma once

#include <array>

#include "common/value_types.h"

class LensTable {
public:
    static constexpr int TableSize = 1000;
    // Table entries per unit of normalised radius.
    static constexpr int EntriesPerUnit = 500;

    LensTable();

    // All forward and inverse factors back to 1.0; nothing else changes.
    void Reset();
    // Stores the reference value when value > 0 and the reference radius when radius > 0.
    void SetReference(double value, double radius);
    // value / reference value when that is positive and differs from value; else 1.0.
    double ReferenceRatio(double value) const;
    // Fills the tables for the distortion coefficient k; radius > 0 sets the index scale.
    void Build(double k, double radius);

    // p scaled by the forward factor at the radius of p * s.
    CDPoint Distort(CDPoint p, double s) const;
    // p scaled by the inverse factor at the radius of p * s.
    CDPoint Undistort(CDPoint p, double s) const;

    double ReferenceValue() const { return m_referenceValue; }
    double ReferenceRadius() const { return m_referenceRadius; }
    double IndexScale() const { return m_indexScale; }
    int LastValidIndex() const { return m_lastValidIndex; }
    double ForwardFactor(int i) const { return m_forward[static_cast<std::size_t>(i)]; }
    double InverseFactor(int i) const { return m_inverse[static_cast<std::size_t>(i)]; }

private:
    int IndexFor(CDPoint p, double s) const;

    double m_referenceValue = 0.0;
    double m_referenceRadius = -2.0;
    double m_indexScale = 1.0;
    int m_lastValidIndex = 1;
    std::array<double, TableSize> m_forward;
    std::array<double, TableSize> m_inverse;
};

// The process-wide table (identity until built).
LensTable& GetLensTable();

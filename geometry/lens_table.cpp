// The radial lens distortion table and its process-wide instance.
#include "geometry/lens_table.h"

#include <cmath>

LensTable::LensTable()
{
    m_forward.fill(1.0);
    m_inverse.fill(1.0);
}

void LensTable::Reset()
{
    m_forward.fill(1.0);
    m_inverse.fill(1.0);
}

void LensTable::SetReference(double value, double radius)
{
    if (value > 0.0)
        m_referenceValue = value;
    if (radius > 0.0)
        m_referenceRadius = radius;
}

double LensTable::ReferenceRatio(double value) const
{
    if (m_referenceValue > 0.0 && m_referenceValue != value)
        return value / m_referenceValue;
    return 1.0;
}

void LensTable::Build(double k, double radius)
{
    const double h = k * 0.5;
    if (!(m_referenceRadius > 0.0)) {
        m_indexScale = 1.0;
        m_lastValidIndex = 1;
        Reset();
        return;
    }
    if (radius > 0.0)
        m_indexScale = EntriesPerUnit * radius / m_referenceRadius;
    // A zero coefficient keeps the tables as they stand (identity unless an earlier build
    // with another coefficient filled them).
    if (h == 0.0 || !std::isfinite(h))
        return;

    int prev = 0;
    int end = EntriesPerUnit;
    for (int i = 0; i < TableSize; ++i) {
        const double r = static_cast<double>(i) / EntriesPerUnit;
        const double g = r * r * (2.0 - r * r);
        if (g < 0.0)
            break;
        const double factor = h * g + 1.0;
        m_forward[static_cast<std::size_t>(i)] = factor;
        // The distorted radius in table entries; clamped before the conversion so that a
        // huge coefficient cannot overflow the int (it stops the loop either way).
        const double distorted = ClampDouble(r * factor * EntriesPerUnit, -1.0, 1.0e6);
        end = static_cast<int>(distorted);
        if (end > TableSize - 2)
            break;
        const double w = 1.0 / factor;
        if (end < prev)
            break;
        m_inverse[static_cast<std::size_t>(end)] = w;
        const double wPrev = m_inverse[static_cast<std::size_t>(prev)];
        for (int j = prev + 1; j < end; ++j)
            m_inverse[static_cast<std::size_t>(j)] = (wPrev * (end - j) + (j - prev) * w) / (end - prev);
        prev = end;
    }
    m_lastValidIndex = Clamp(end - 1, 0, TableSize - 1);
}

int LensTable::IndexFor(CDPoint p, double s) const
{
    const double radius = std::hypot(p.x * s, p.y * s) * m_indexScale;
    // Compared as a double first: a radius beyond the table (or NaN) takes the last entry.
    if (!(radius < static_cast<double>(m_lastValidIndex)))
        return m_lastValidIndex;
    return Clamp(static_cast<int>(radius), 0, m_lastValidIndex);
}

CDPoint LensTable::Distort(CDPoint p, double s) const
{
    return p.Scaled(m_forward[static_cast<std::size_t>(IndexFor(p, s))]);
}

CDPoint LensTable::Undistort(CDPoint p, double s) const
{
    return p.Scaled(m_inverse[static_cast<std::size_t>(IndexFor(p, s))]);
}

LensTable& GetLensTable()
{
    static LensTable table;
    return table;
}

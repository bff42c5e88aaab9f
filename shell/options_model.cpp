// The Options dialog's size rules.
#include "shell/options_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

// The number an edit shows: optional blanks and sign, then digits; 0 when there is none.
// Values beyond the int range saturate.
int64_t ReadNumber(const std::string& text)
{
    const char* s = text.c_str();
    while (*s == ' ' || *s == '\t')
        ++s;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s, &end, 10);
    if (end == s)
        return 0;
    return std::clamp<long long>(v, INT32_MIN, INT32_MAX);
}

int ClampSide(double v)
{
    if (!(v >= 1.0))
        return 1;
    if (v >= COptionsModel::kMaxSide)
        return COptionsModel::kMaxSide;
    return static_cast<int>(v);
}

} // namespace

std::string InsertThousandsSeparators(int64_t value)
{
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    const std::string digits = std::to_string(magnitude);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

double COptionsModel::Aspect() const
{
    return std::isfinite(m_aspect) && m_aspect > 0.0 ? m_aspect : 1.0;
}

void COptionsModel::Show()
{
    m_widthText = std::to_string(static_cast<unsigned>(m_width));
    m_heightText = std::to_string(static_cast<unsigned>(m_height));
    if (m_fullWidth <= 10)
        m_fullWidth = 2000;
    m_sliderDriven = 0;
    m_editDriven = 0;
    m_sliderPos = 0;
    UpdateLabel();
    SyncSlider();
}

void COptionsModel::SetWidthText(const std::string& text)
{
    m_widthText = text;
    const int64_t typed = ReadNumber(text);
    if (typed != m_width) {
        m_width = static_cast<int>(std::clamp<int64_t>(typed, 1, kMaxSide));
        // The whole part, as the document computes the height it writes for this width.
        m_height = ClampSide(double(m_width) * Aspect());
        if (ReadNumber(m_heightText) != m_height)
            SetHeightText(std::to_string(m_height));
    }
    UpdateLabel();
    if (m_sliderDriven <= 0) {
        m_editDriven = 1;
        SyncSlider();
    } else {
        m_sliderDriven = 0;
    }
}

void COptionsModel::SetHeightText(const std::string& text)
{
    m_heightText = text;
    const int64_t typed = ReadNumber(text);
    if (typed == m_height)
        return;
    m_height = static_cast<int>(std::clamp<int64_t>(typed, 1, kMaxSide));
    m_width = ClampSide(std::floor(double(m_height) / Aspect() + 0.5));
    if (ReadNumber(m_widthText) != m_width)
        SetWidthText(std::to_string(m_width));
    else
        UpdateLabel();
}

void COptionsModel::MoveSlider(int pos)
{
    m_slider = pos;
    if (pos == m_sliderPos)
        return;
    m_sliderPos = pos;
    if (m_editDriven == 1) {
        m_editDriven = 0;
        return;
    }
    m_sliderDriven = 1;
    const int64_t width = int64_t(m_fullWidth) * (102 - pos) / 100;
    if (ReadNumber(m_widthText) != width)
        SetWidthText(std::to_string(width));
}

void COptionsModel::ReleaseSlider() { m_sliderDriven = 0; }

void COptionsModel::UpdateLabel()
{
    m_label = InsertThousandsSeparators(m_width) + " * " + InsertThousandsSeparators(m_height) + " = " +
              InsertThousandsSeparators(int64_t(m_width) * int64_t(m_height));
}

void COptionsModel::SyncSlider()
{
    if (m_sliderDriven > 0)
        return;
    const int64_t full = m_fullWidth > 0 ? m_fullWidth : 2000;
    const int pos = static_cast<int>(std::clamp<int64_t>(102 - int64_t(m_width) * 100 / full, 2, 100));
    if (m_slider != pos) {
        m_slider = pos;
        m_sliderPos = pos;
    }
    // The program's own move of the slider is not the user's: the next move is.
    m_editDriven = 0;
}

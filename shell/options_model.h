// The rules of the Options dialog without its window: the width and height edits kept in a
// fixed aspect, the size slider between 2 % and 100 % of a full width, and the pixel label.
// The model holds what the controls show; writing an edit's text runs that edit's rule, as the
// change notice of a real edit does, so the rules may call one another.
#pragma once

#include <cstdint>
#include <string>

// "1234567" -> "1,234,567"; negative numbers keep their sign in front.
std::string InsertThousandsSeparators(int64_t value);

class COptionsModel {
public:
    // Largest width or height the dialog hands out.
    static constexpr int kMaxSide = 999999;

    // ---- Values set by the owner before showing -------------------------------------------
    int m_width = 100;
    int m_height = 100;
    double m_aspect = 1.0;  // height / width
    int m_fullWidth = 2000;

    // ---- State of the rules --------------------------------------------------------------
    int m_sliderPos = 0;
    int m_sliderDriven = 0;
    int m_editDriven = 0;

    // ---- What the controls show ----------------------------------------------------------
    std::string m_widthText;
    std::string m_heightText;
    int m_slider = 2;  // position, 2 (full width) to 100 (2 %)
    std::string m_label = "100 * 100 = 10,000";

    // The dialog is shown: edits filled, full width defaulted, state cleared, label and slider.
    void Show();
    // The width or height edit now holds `text` (typed by the user, or written by a rule).
    void SetWidthText(const std::string& text);
    void SetHeightText(const std::string& text);
    // The user moved the slider to `pos` / let it go.
    void MoveSlider(int pos);
    void ReleaseSlider();

    // The aspect in use: a non-finite or non-positive aspect counts as 1.
    double Aspect() const;

private:
    void UpdateLabel();
    void SyncSlider();
};

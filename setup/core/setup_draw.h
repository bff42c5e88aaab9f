// The installer's small drawing language for the background screen and the painted readme
// pages: one command per line ("word,arg,arg..."), a line starting with '|' is text. The layout
// is worked out here; the pixels are put down by a SetupCanvas.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace setup {

struct DrawRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const DrawRect&) const = default;
};

struct DrawFont {
    int height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
    int italic = 0, underline = 0, strikeOut = 0, charSet = 0, outPrecision = 0, clipPrecision = 0, quality = 0,
        pitchAndFamily = 0;
    std::string face;
};

// Colours are 0x00BBGGRR.
class SetupCanvas {
public:
    virtual ~SetupCanvas() = default;
    virtual void Fill(const DrawRect& r, uint32_t color) = 0;
    virtual void SetFont(const DrawFont& font) = 0;
    // Width and height of a text in the current font (one line, or wrapped into `width`).
    virtual void TextSize(const std::string& text, bool singleLine, int width, int& w, int& h) = 0;
    virtual void DrawText(const DrawRect& r, const std::string& text, uint32_t color, bool singleLine) = 0;
    virtual bool ImageSize(const std::string& file, int& w, int& h) = 0;
    virtual void DrawImage(const std::string& file, const DrawRect& dest) = 0;
    virtual uint32_t ButtonFace() { return 0x00C0C0C0; }
};

enum DrawMode { kPoint = 0, kLeft, kTop, kRight, kBottom, kCenter, kRect, kWhole };

// Paints the lines into the area (filled black first) up to the first "page" line. `resolve`
// turns a file name into the path to open.
void PaintCommands(SetupCanvas& canvas, const DrawRect& area, const std::vector<std::string>& lines,
                   const std::function<std::string(const std::string&)>& resolve);

// The page selector of a "page" line (install -1, versionup -2, uninstall -3, none -4, or a
// number); nullopt when the line is not a page line.
std::optional<int> PageSelector(const std::string& line);
int TargetOf(const std::string& word);

struct PageButton {
    bool shown = false;
    int target = -4;
    std::string label;
};

// The lines of the first page with that selector, and its three buttons; nullopt when no page
// has it.
struct ReadmePage {
    std::vector<std::string> lines;
    PageButton buttons[3];
};
std::optional<ReadmePage> FindPage(const std::vector<std::string>& lines, int selector);

} // namespace setup

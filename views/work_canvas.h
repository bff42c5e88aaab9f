// The work view's canvas: a window of pixels over the zoomed work space with one mask byte per
// pixel, and the progressive drawing of pictures into it in 16-unit blocks. Pixels are written
// straight into the image rows; no painter is involved, so a step costs what its blocks cost.
#pragma once

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "views/work_geometry.h"

namespace workview {

// Mask values: what drew a canvas pixel. Only the byte at the top-left pixel of each 16 by 16
// work-unit cell is tested. A partial cell holds the edge of a fitted picture: drawn, but open
// to the pictures after it.
enum MaskValue : uint8_t { kMaskEmpty = 0, kMaskMarked = 1, kMaskPartial = 2, kMaskTinted = 3, kMaskFitted = 4 };

// The colour of an unfitted picture: red raised, the other channels halved toward white.
constexpr uint32_t TintColour(uint32_t c)
{
    return c + ((0x7FFFFFu - c / 2) & 0xFF0000u);
}

class CWorkCanvas {
public:
    // Allocates pixels and mask; false when either cannot be had (nothing is kept then).
    bool Create(CSize size);
    bool IsReady() const { return !m_image.isNull(); }
    CSize Size() const { return {m_image.width(), m_image.height()}; }
    QImage& Image() { return m_image; }
    const QImage& Image() const { return m_image; }
    uint8_t& Mask(int x, int y) { return m_mask[size_t(y) * m_image.width() + x]; }
    uint8_t Mask(int x, int y) const { return m_mask[size_t(y) * m_image.width() + x]; }
    bool Contains(CPoint p) const { return p.x >= 0 && p.y >= 0 && p.x < m_image.width() && p.y < m_image.height(); }
    // Program colour (0x00BBGGRR) of a pixel / writes one.
    uint32_t Pixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t colour);

    // White pixels, empty mask.
    void Clear();
    // Moves what is drawn so that old pixel p + d becomes new pixel p; pixels and mask move
    // together, uncovered parts are white and empty. False when the copy could not be made
    // (then nothing moved).
    bool Shift(CPoint d);
    // Every used cell of the zoomed canvas area becomes marked.
    void MarkCells(const Mapping& map, const CRect& canvasRect);
    // Whitens every marked cell and, with `tintedToo`, every cell an unfitted picture drew
    // (16 / zoom pixels square; nothing at zooms above 16).
    void EraseMarkedCells(const Mapping& map, const CRect& canvasRect, bool tintedToo = true);

private:
    template <class F>
    void ForEachCell(const Mapping& map, const CRect& canvasRect, F&& f);

    QImage m_image;
    std::vector<uint8_t> m_mask;
};

// A picture as the progressive drawing sees it: its outline and block test in work units, the
// mapping of work points to its pixels, and its pixels.
class IBandPicture {
public:
    virtual ~IBandPicture() = default;
    virtual const std::string& Name() const = 0;
    virtual CSize ImageSize() const = 0;
    virtual bool IsFitted() const = 0;
    // The picture's outline in work units.
    virtual CRect Outline() = 0;
    // Whether the 16-unit block at (x, y) may touch the picture (true for a block that does;
    // a block that turns out to miss it is drawn with nothing).
    virtual bool TouchesBlock(int x, int y) = 0;
    // The picture pixel under a work point.
    virtual CPoint PicturePoint(int x, int y) = 0;
    // Loads the full image; false on failure. Pixels are program colours, row-major.
    virtual bool LoadImage() = 0;
    virtual uint32_t ImagePixel(int x, int y) const = 0;
    // The colour table applied to each channel, when the picture has one on.
    virtual const uint8_t* ColourTable() const { return nullptr; }
    // Engine blend strength (0 = none).
    virtual int BlendStrength() const { return 0; }
};

// The band state of the picture being drawn; it names its picture, so a removed picture can
// never be reached through it.
class CBandDrawer {
public:
    // 1 more bands to draw, 0 done without drawing anything in this call, -5 done after drawing
    // (the caller repaints) or the image could not be loaded.
    int DrawPieceProgressive(CWorkCanvas& canvas, const Mapping& map, const CRect& canvasRect, IBandPicture* picture);
    void Reset() { m_active = false; m_name.clear(); }
    bool Active() const { return m_active; }
    const std::string& Name() const { return m_name; }
    const CRect& Band() const { return m_band; }
    int NextRow() const { return m_nextY; }
    // Number of blocks drawn by the last call.
    int LastBlocks() const { return m_lastBlocks; }

private:
    bool m_active = false;
    std::string m_name;
    CRect m_band;
    int m_nextY = 0;
    int m_tint = 1;
    int m_lastBlocks = 0;
};

// The overlap pattern drawn at a point mark while a piece is dragged: a square of program
// colours whose border rows and columns take the pattern border colour.
constexpr int kDropPatternSide = 128;
constexpr uint32_t kDropPatternBorder = 0x001E80;
// Paints the border: the right and left 6 columns, the bottom and top 5 rows.
void FrameDropPattern(uint32_t* pattern, int side);
// Lays the pattern centred on `centre` over the image: every pattern pixel that is not white
// darkens the pixel below it by half and adds its own colour, each channel saturating at 255.
// Pixels outside the image are left out.
void BlendDropPattern(QImage& target, CPoint centre, const uint32_t* pattern, int side);

} // namespace workview

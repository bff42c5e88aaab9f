// A picture's 160 x 120 thumbnail: the picture turned by its quarter turns, fitted into the
// thumbnail keeping its aspect on a grey ground, drawn from the full image or from its
// one-eighth reduction, with a pending brightness step shown through the colour table.
//
// Coordinates: thumbnail pixel (j, i) is column j, row i of the fitted picture area, which
// starts at (left, top) of the 160 x 120 bitmap; source pixels are those of Pixels, unturned.
#include <array>
#include <cstdint>
#include <utility>

#include "common/value_types.h"
#include "picset/kpic.h"

namespace {

constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 120;
constexpr COLORREF kThumbGround = RGB(80, 80, 80);

// Where the picture lies in the thumbnail and which source pixel each thumbnail pixel shows.
struct ThumbnailLayout {
    int sourceWidth = 0;  // of Pixels, before turning
    int dw = 0, dh = 0;   // source size as shown (swapped for one or three quarter turns)
    int tw = 0, th = 0;   // size of the picture area in the thumbnail
    int left = 0, top = 0;
    int turns = 0;

    bool Valid() const { return tw > 0 && th > 0; }

    int SourceIndex(int j, int i) const
    {
        int x, y;
        switch (turns) {
        case 1:
            x = dh * i / th;
            y = (tw - j - 1) * dw / tw;
            break;
        case 2:
            x = (tw - j - 1) * dw / tw;
            y = (th - i - 1) * dh / th;
            break;
        case 3:
            x = (th - i - 1) * dh / th;
            y = j * dw / tw;
            break;
        default:
            x = dw * j / tw;
            y = dh * i / th;
            break;
        }
        return y * sourceWidth + x;
    }
};

// The layout for the picture's current pixels: the full image or the one-eighth reduction;
// not valid for any other size.
ThumbnailLayout LayoutFor(const CKpic& k)
{
    ThumbnailLayout t;
    const int w = k.Width(), h = k.Height();
    int sw = 0, sh = 0;
    if (k.Pixels.GetSize() == int64_t(w) * h) {
        sw = w;
        sh = h;
    } else if (k.Pixels.GetSize() == int64_t(w / 8) * (h / 8)) {
        sw = w / 8;
        sh = h / 8;
    }
    if (sw <= 0 || sh <= 0)
        return t;
    t.sourceWidth = sw;
    t.turns = k.QuarterTurns;
    t.dw = sw;
    t.dh = sh;
    if (t.turns == 1 || t.turns == 3)
        std::swap(t.dw, t.dh);
    if (int64_t(t.dw) * kThumbHeight < int64_t(t.dh) * kThumbWidth) {
        t.th = kThumbHeight;
        t.tw = static_cast<int>(int64_t(t.dw) * kThumbHeight / t.dh);
        t.left = (kThumbWidth - t.tw) / 2;
    } else {
        t.tw = kThumbWidth;
        t.th = static_cast<int>(int64_t(t.dh) * kThumbWidth / t.dw);
        t.top = (kThumbHeight - t.th) / 2;
    }
    return t;
}

COLORREF ShownColour(const CKpic& k, COLORREF c)
{
    if (k.PendingBrightness == 0)
        return c;
    return RGB(Clamp(k.ColourTable[GetRValue(c)], 0, 255), Clamp(k.ColourTable[GetGValue(c)], 0, 255),
               Clamp(k.ColourTable[GetBValue(c)], 0, 255));
}

} // namespace

void CKpic::BuildThumbnail(int bitsPerPixel, CDrawContext& dc)
{
    Thumbnail = CBitmapBuffer();
    const ThumbnailLayout t = LayoutFor(*this);
    if (t.sourceWidth <= 0)
        return;
    Thumbnail = CBitmapBuffer(kThumbWidth, kThumbHeight, bitsPerPixel < 16 ? 24 : bitsPerPixel);
    CBitmapBuffer* previous = dc.SelectObject(&Thumbnail);
    for (int y = 0; y < kThumbHeight; ++y)
        for (int x = 0; x < kThumbWidth; ++x)
            dc.SetPixelV(x, y, kThumbGround);
    if (t.Valid()) {
        const COLORREF* px = Pixels.GetData();
        for (int j = 0; j < t.tw; ++j)
            for (int i = 0; i < t.th; ++i)
                dc.SetPixelV(j + t.left, i + t.top, ShownColour(*this, px[t.SourceIndex(j, i)]));
    }
    dc.SelectObject(previous);
}

void CKpic::RefreshThumbnailBits()
{
    if (Thumbnail.IsNull() || Pixels.GetSize() != int64_t(Width()) * Height())
        return;
    const ThumbnailLayout t = LayoutFor(*this);
    if (!t.Valid())
        return;
    std::array<uint8_t, kThumbWidth * kThumbHeight * 4> bits{};
    const size_t got = Thumbnail.GetBits(bits.data(), bits.size());
    const size_t bytesPerPixel = got / (kThumbWidth * kThumbHeight);
    if (bytesPerPixel < 2 || bytesPerPixel > 4)
        return;
    const COLORREF* px = Pixels.GetData();
    for (int j = 0; j < t.tw; ++j) {
        for (int i = 0; i < t.th; ++i) {
            const COLORREF c = ShownColour(*this, px[t.SourceIndex(j, i)]);
            uint8_t* at = bits.data() + (size_t(i + t.top) * kThumbWidth + size_t(j + t.left)) * bytesPerPixel;
            if (bytesPerPixel == 2) {
                const unsigned v = ((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3);
                at[0] = static_cast<uint8_t>(v & 0xFF);
                at[1] = static_cast<uint8_t>(v >> 8);
            } else {
                at[0] = static_cast<uint8_t>(GetBValue(c));
                at[1] = static_cast<uint8_t>(GetGValue(c));
                at[2] = static_cast<uint8_t>(GetRValue(c));
            }
        }
    }
    Thumbnail.SetBits(bits.data(), got);
}

// BMP reader and writer. Reading parses and checks the whole header first (every size, offset
// and palette against the file, width times height in 64 bits against kMaxImagePixels), then
// decodes: 24-bit files row by row, touching only the rows and bytes the requested rectangle
// needs; every other variant from the whole file at its own size, then fitted and cut.
#include "imagefile/bmp_codec.h"

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "imagefile/byte_source.h"
#include "imagefile/image_codecs.h"
#include "imagefile/image_file.h"
#include "platform/message_box.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>


namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

// ---------------------------------------------------------------------------------------------
// Header

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3, kBiAlphaBitFields = 6 };

enum class CLayout { Indexed, Rgb24, BitFields, Rle8, Rle4 };

// One colour channel of a bit-field pixel: where it sits and how to widen it to 8 bits.
struct CChannel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    std::vector<uint8_t> table; // value -> 8-bit level, for channels up to 16 bits

    bool Set(uint32_t m)
    {
        mask = m;
        if (m == 0)
            return false;
        shift = 0;
        while (((m >> shift) & 1u) == 0)
            ++shift;
        const uint32_t v = m >> shift;
        bits = 0;
        while (bits < 32 && ((v >> bits) & 1u) != 0)
            ++bits;
        if (bits < 32 && (v >> bits) != 0)
            return false; // not one run of bits
        if (bits <= 16) {
            const uint32_t top = (1u << bits) - 1;
            table.resize(size_t(top) + 1);
            for (uint32_t i = 0; i <= top; ++i)
                table[i] = static_cast<uint8_t>((uint64_t(i) * 255 + top / 2) / top);
        }
        return true;
    }
    uint32_t Level(uint32_t pixel) const
    {
        const uint32_t v = (pixel & mask) >> shift;
        if (!table.empty())
            return table[v];
        const uint64_t top = (bits >= 32) ? 0xFFFFFFFFull : ((uint64_t(1) << bits) - 1);
        return static_cast<uint32_t>((uint64_t(v) * 255 + top / 2) / top);
    }
};

struct CBmpHeader {
    uint32_t storedFileSize = 0;
    uint32_t dataOffset = 0;
    uint32_t infoSize = 0;
    int32_t width = 0;
    int32_t height = 0; // |stored height|
    bool topDown = false;
    int bits = 0;
    uint32_t compression = 0;
    CLayout layout = CLayout::Indexed;
    std::array<uint32_t, 3> masks{}; // red, green, blue
    int64_t paletteOffset = 0;
    int paletteEntrySize = 4;
    int paletteCount = 0;
    int64_t stride = 0;
};

enum class CHeaderState { Ok, NotBmp, Refused };

// Header sizes in use: OS/2 1.x (12), OS/2 2.x (16 to 64), Windows 3 (40), the V2 and V3 headers
// (52, 56) that add the bit masks, V4 (108) and V5 (124).
bool IsKnownInfoSize(uint32_t s)
{
    return s == 12 || s == 40 || s == 52 || s == 56 || s == 108 || s == 124 || (s >= 16 && s <= 64 && s % 4 == 0);
}

bool IsOs2V2(uint32_t s) { return s != 12 && s != 40 && s != 52 && s != 56 && s != 108 && s != 124; }

constexpr size_t kHeaderReadBytes = 14 + 124 + 16;

// Uncompressed rows take the bytes they take: a file that holds less than half of its rows is
// damage, not a picture to allocate at the size its header claims. (A file cut short that holds
// most of its rows still reads, the rows it lacks left black.)
bool HoldsHalfItsRows(int64_t length, int64_t dataOffset, int64_t width, int64_t height, int bits)
{
    const int64_t stride = (width * bits + 31) / 32 * 4;
    const int64_t used = (width * bits + 7) / 8;
    const int64_t rows = (height + 1) / 2;
    return length - dataOffset >= (rows - 1) * stride + used;
}

// Reads and checks the header, the bit masks and the palette position.
CHeaderState ParseHeader(CByteSource& src, CBmpHeader& h)
{
    std::array<uint8_t, kHeaderReadBytes> b{};
    const size_t got = src.ReadAt(0, b.data(), b.size());
    const int64_t length = src.Length();
    if (got < 18 || b[0] != 'B' || b[1] != 'M')
        return CHeaderState::NotBmp;
    h.storedFileSize = U32(&b[2]);
    h.dataOffset = U32(&b[10]);
    h.infoSize = U32(&b[14]);
    if (!IsKnownInfoSize(h.infoSize) || got < 14 + h.infoSize)
        return CHeaderState::Refused;

    int64_t width = 0, height = 0;
    int planes = 0;
    uint32_t imageSize = 0, colorsUsed = 0;
    int32_t xPerMetre = 0, yPerMetre = 0;
    if (h.infoSize == 12) {
        width = U16(&b[18]);
        height = U16(&b[20]);
        planes = U16(&b[22]);
        h.bits = U16(&b[24]);
        h.compression = kBiRgb;
        h.paletteEntrySize = 3;
    } else {
        width = I32(&b[18]);
        height = I32(&b[22]);
        planes = U16(&b[26]);
        h.bits = U16(&b[28]);
        h.compression = h.infoSize >= 20 ? U32(&b[30]) : kBiRgb;
        imageSize = h.infoSize >= 24 ? U32(&b[34]) : 0;
        xPerMetre = h.infoSize >= 28 ? I32(&b[38]) : 0;
        yPerMetre = h.infoSize >= 32 ? I32(&b[42]) : 0;
        colorsUsed = h.infoSize >= 36 ? U32(&b[46]) : 0;
    }
    h.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX)
        return CHeaderState::Refused;
    if (width * height > kMaxImagePixels) {
        NoteImageTooLarge(width, height);
        return CHeaderState::Refused;
    }
    h.width = static_cast<int32_t>(width);
    h.height = static_cast<int32_t>(height);
    if (planes != 1)
        return CHeaderState::Refused;
    // A density that claims one axis is ten thousand times finer than the other is damage.
    if (xPerMetre > 0 && yPerMetre > 0 &&
        (int64_t(xPerMetre) >= int64_t(yPerMetre) * 10000 || int64_t(yPerMetre) >= int64_t(xPerMetre) * 10000))
        return CHeaderState::Refused;
    // Codes 4 and 5 of the Windows headers hold a whole JPEG or PNG file as the pixel data (with
    // a bit count of 0).
    if (!IsOs2V2(h.infoSize) && (h.compression == 4 || h.compression == 5)) {
        NoteUnsupportedFeature(h.compression == 4 ? "BMP holding a JPEG picture" : "BMP holding a PNG picture");
        return CHeaderState::Refused;
    }
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
        return CHeaderState::Refused;
    if (imageSize > length)
        return CHeaderState::Refused;

    int64_t headerEnd = 14 + int64_t(h.infoSize);
    switch (h.compression) {
    case kBiRgb:
        if (h.bits <= 8)
            h.layout = CLayout::Indexed;
        else if (h.bits == 24)
            h.layout = CLayout::Rgb24;
        else {
            h.layout = CLayout::BitFields;
            h.masks = h.bits == 16 ? std::array<uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                   : std::array<uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF};
        }
        break;
    case kBiRle8:
    case kBiRle4:
        if (h.bits != (h.compression == kBiRle8 ? 8 : 4) || h.topDown)
            return CHeaderState::Refused;
        h.layout = h.compression == kBiRle8 ? CLayout::Rle8 : CLayout::Rle4;
        break;
    case kBiBitFields:
    case kBiAlphaBitFields:
        // In OS/2 2.x headers code 3 means Huffman 1D, which is not read.
        if (IsOs2V2(h.infoSize)) {
            NoteUnsupportedFeature("Huffman-coded OS/2 BMP");
            return CHeaderState::Refused;
        }
        if (h.bits != 16 && h.bits != 32)
            return CHeaderState::Refused;
        h.layout = CLayout::BitFields;
        if (h.infoSize >= 52) {
            h.masks = {U32(&b[54]), U32(&b[58]), U32(&b[62])};
        } else {
            // The masks follow a 40-byte header.
            const int64_t maskBytes = h.compression == kBiAlphaBitFields ? 16 : 12;
            if (static_cast<int64_t>(got) < headerEnd + maskBytes)
                return CHeaderState::Refused;
            h.masks = {U32(&b[54]), U32(&b[58]), U32(&b[62])};
            headerEnd += maskBytes;
        }
        break;
    default:
        return CHeaderState::Refused;
    }

    if (h.layout == CLayout::BitFields) {
        const uint32_t limit = h.bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        uint32_t seen = 0;
        for (uint32_t m : h.masks) {
            if (m == 0 || (m & ~limit) != 0 || (m & seen) != 0)
                return CHeaderState::Refused;
            seen |= m;
        }
    }

    if (h.dataOffset < headerEnd || h.dataOffset >= length)
        return CHeaderState::Refused;

    if (h.bits <= 8) {
        h.paletteOffset = headerEnd;
        const int64_t room = (int64_t(h.dataOffset) - h.paletteOffset) / h.paletteEntrySize;
        const int64_t full = int64_t(1) << h.bits;
        int64_t count = 0;
        if (colorsUsed == 0)
            count = std::min(full, room);
        else if (colorsUsed <= room)
            count = std::min<int64_t>(full, colorsUsed);
        else
            return CHeaderState::Refused;
        if (count < 1)
            return CHeaderState::Refused;
        h.paletteCount = static_cast<int>(count);
    }
    h.stride = (int64_t(h.width) * h.bits + 31) / 32 * 4;
    if (h.layout != CLayout::Rle8 && h.layout != CLayout::Rle4 &&
        !HoldsHalfItsRows(length, h.dataOffset, h.width, h.height, h.bits))
        return CHeaderState::Refused;
    return CHeaderState::Ok;
}

// ---------------------------------------------------------------------------------------------
// Decoding at the image's own size (every variant but the row-wise 24-bit path)

COLORREF FromBgr(const uint8_t* p) { return RGB(p[2], p[1], p[0]); }

// Decodes the image into img (h.width x h.height, top row first). 1, -1 for damage.
int DecodeImage(const uint8_t* file, int64_t length, const CBmpHeader& h, CPixelArray& img)
{
    const int w = h.width;
    const int rows = h.height;
    std::vector<COLORREF> palette;
    if (h.bits <= 8) {
        palette.resize(static_cast<size_t>(h.paletteCount));
        for (int i = 0; i < h.paletteCount; ++i)
            palette[static_cast<size_t>(i)] = FromBgr(file + h.paletteOffset + int64_t(i) * h.paletteEntrySize);
    }
    COLORREF* out = img.GetData();
    const uint8_t* data = file + h.dataOffset;
    const int64_t available = length - h.dataOffset;

    if (h.layout == CLayout::Indexed || h.layout == CLayout::BitFields || h.layout == CLayout::Rgb24) {
        const int64_t used = (int64_t(w) * h.bits + 7) / 8;
        if ((rows - 1) * h.stride + used > available)
            return -1;
        std::array<CChannel, 3> ch;
        if (h.layout == CLayout::BitFields)
            for (int c = 0; c < 3; ++c)
                if (!ch[static_cast<size_t>(c)].Set(h.masks[static_cast<size_t>(c)]))
                    return -1;
        // The usual 32-bit layouts: every channel is one whole byte.
        const bool bytePlanes = h.layout == CLayout::BitFields && h.bits == 32 &&
                                std::all_of(ch.begin(), ch.end(), [](const CChannel& c) { return c.bits == 8; });
        const uint32_t count = static_cast<uint32_t>(palette.size());
        for (int r = 0; r < rows; ++r) {
            const uint8_t* src = data + int64_t(r) * h.stride;
            const int y = h.topDown ? r : rows - 1 - r;
            COLORREF* dst = out + int64_t(y) * w;
            switch (h.layout) {
            case CLayout::Indexed:
                for (int x = 0; x < w; ++x) {
                    uint32_t index = 0;
                    if (h.bits == 8)
                        index = src[x];
                    else if (h.bits == 4)
                        index = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
                    else
                        index = (src[x >> 3] >> (7 - (x & 7))) & 0x01;
                    if (index >= count)
                        return -1;
                    dst[x] = palette[index];
                }
                break;
            case CLayout::Rgb24:
                for (int x = 0; x < w; ++x)
                    dst[x] = FromBgr(src + 3 * x);
                break;
            default:
                if (bytePlanes) {
                    for (int x = 0; x < w; ++x) {
                        const uint32_t v = U32(src + 4 * x);
                        dst[x] = ((v >> ch[0].shift) & 0xFF) | (((v >> ch[1].shift) & 0xFF) << 8) |
                                 (((v >> ch[2].shift) & 0xFF) << 16);
                    }
                    break;
                }
                for (int x = 0; x < w; ++x) {
                    const uint32_t v = h.bits == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
                    dst[x] = RGB(ch[0].Level(v), ch[1].Level(v), ch[2].Level(v));
                }
                break;
            }
        }
        return 1;
    }

    // Run-length data, stored bottom-up. Pixels that the data skips stay black.
    const bool rle8 = h.layout == CLayout::Rle8;
    const uint32_t count = static_cast<uint32_t>(palette.size());
    int64_t p = 0;
    int x = 0;
    int r = 0; // stored row, 0 = bottom
    auto put = [&](uint32_t index) {
        if (index >= count)
            return false;
        out[int64_t(rows - 1 - r) * w + x] = palette[index];
        ++x;
        return true;
    };
    while (p + 2 <= available) {
        const int n = data[p];
        const int v = data[p + 1];
        p += 2;
        if (n > 0) {
            if (r >= rows || x + n > w)
                return -1;
            for (int i = 0; i < n; ++i) {
                const uint32_t index = rle8 ? uint32_t(v) : uint32_t((i & 1) ? (v & 0x0F) : (v >> 4));
                if (!put(index))
                    return -1;
            }
            continue;
        }
        if (v == 0) { // end of line
            x = 0;
            ++r;
        } else if (v == 1) { // end of bitmap
            return 1;
        } else if (v == 2) { // move right and up
            if (p + 2 > available)
                return -1;
            x += data[p];
            r += data[p + 1];
            p += 2;
            if (x > w || r > rows)
                return -1;
        } else { // v literal pixels, padded to a whole word
            const int64_t bytes = rle8 ? v : (v + 1) / 2;
            if (r >= rows || x + v > w || p + bytes > available)
                return -1;
            for (int i = 0; i < v; ++i) {
                const uint32_t index = rle8 ? uint32_t(data[p + i]) : uint32_t((i & 1) ? (data[p + i / 2] & 0x0F) : (data[p + i / 2] >> 4));
                if (!put(index))
                    return -1;
            }
            p += (bytes + 1) & ~int64_t(1);
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------
// The read

void ShowOutOfMemory()
{
    ShowMessage(Catalogue().memoryTooShort, platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

// 24-bit uncompressed files: only the rows and the stretch of bytes that the output needs.
int ReadRowWise(CByteSource& src, const CBmpHeader& h, const CSize& requested, const CRect& out, CPixelArray& pixels)
{
    const CCoverMapping m = FitSizeCover(h.width, h.height, requested.cx, requested.cy);
    const int outW = out.Width();
    const int outH = out.Height();
    if (outW <= 0 || outH <= 0)
        return 1;
    std::vector<int32_t> cols(static_cast<size_t>(outW));
    int64_t first = -1, last = -1;
    for (int b = 0; b < outW; ++b) {
        const int64_t c = m.SourceX(int64_t(out.left) + b);
        const bool inside = c >= 0 && c < h.width;
        cols[static_cast<size_t>(b)] = inside ? static_cast<int32_t>(c) : -1;
        if (inside) {
            first = first < 0 ? c : std::min(first, c);
            last = std::max(last, c);
        }
    }
    std::vector<uint8_t> row;
    const size_t stretch = first < 0 ? 0 : static_cast<size_t>((last - first + 1) * 3);
    try {
        row.resize(stretch);
    } catch (const std::bad_alloc&) {
        FillGrey(pixels);
        return kResultOutOfMemory;
    }
    COLORREF* dst = pixels.GetData();
    for (int d = 0; d < outH; ++d, dst += outW) {
        const int64_t r = m.SourceY(int64_t(out.top) + d);
        if (r < 0 || r >= h.height || first < 0) {
            std::fill(dst, dst + outW, kMarginGrey);
            continue;
        }
        const int64_t stored = h.topDown ? r : h.height - 1 - r;
        const int64_t at = int64_t(h.dataOffset) + stored * h.stride + first * 3;
        if (src.ReadAt(at, row.data(), stretch) < stretch) {
            std::fill(dst, dst + outW, COLORREF(0)); // a row the short file does not hold
            continue;
        }
        for (int b = 0; b < outW; ++b) {
            const int32_t c = cols[static_cast<size_t>(b)];
            dst[b] = c < 0 ? kMarginGrey : FromBgr(row.data() + (c - first) * 3);
        }
    }
    return 1;
}

// Every other variant: the whole file is decoded at its own size, then fitted and cut.
int ReadWhole(CByteSource& src, const CBmpHeader& h, const CSize& requested, const CRect& out, CPixelArray& pixels)
{
    const int64_t length = src.Length();
    if (h.storedFileSize != length) {
        FillGrey(pixels);
        return -1;
    }
    std::vector<uint8_t> buffer;
    const uint8_t* bytes = src.Bytes();
    if (!bytes) {
        try {
            buffer.resize(static_cast<size_t>(length));
        } catch (const std::bad_alloc&) {
            FillGrey(pixels);
            return kResultOutOfMemory;
        }
        if (src.ReadAt(0, buffer.data(), buffer.size()) < buffer.size()) {
            FillGrey(pixels);
            return -1;
        }
        bytes = buffer.data();
    }
    // Uncompressed pixel data must be in the file before the picture is allocated.
    if (h.layout != CLayout::Rle8 && h.layout != CLayout::Rle4 &&
        (int64_t(h.height) - 1) * h.stride + (int64_t(h.width) * h.bits + 7) / 8 > length - int64_t(h.dataOffset)) {
        FillGrey(pixels);
        return -1;
    }
    CPixelArray image;
    if (!image.TrySetSize(static_cast<std::ptrdiff_t>(int64_t(h.width) * h.height))) {
        FillGrey(pixels);
        return kResultOutOfMemory;
    }
    if (DecodeImage(bytes, length, h, image) < 0) {
        FillGrey(pixels);
        return -1;
    }
    if (requested.cx == h.width && requested.cy == h.height && out == CRect(0, 0, h.width, h.height)) {
        pixels.Swap(image);
        return 1;
    }
    if (FitAndCropPixels(image, h.width, h.height, requested.cx, requested.cy, out, pixels) < 0) {
        FillGrey(pixels);
        return -1;
    }
    return 1;
}

// src is null when the file could not be opened.
int ReadBmp(CByteSource* src, CPixelArray& pixels, CSize& size, const CRect& rect)
{
    const CSize requested = size;
    if (requested.cx < 1 || requested.cy < 1)
        return -1;
    const CRect canvas(0, 0, requested.cx, requested.cy);
    CRect out;
    if (rect.IsRectNull())
        out = canvas;
    else
        out.IntersectRect(rect, canvas);
    if (!pixels.IsEmpty())
        return 0;
    const int64_t area = int64_t(out.Width()) * out.Height();
    if (area > kMaxImagePixels || !pixels.TrySetSize(static_cast<std::ptrdiff_t>(area))) {
        pixels.RemoveAll();
        ShowOutOfMemory();
        return kResultOutOfMemory;
    }
    if (!src) {
        FillGrey(pixels);
        return -1;
    }
    CBmpHeader h;
    if (ParseHeader(*src, h) != CHeaderState::Ok) {
        FillGrey(pixels);
        return -1;
    }
    size = CSize(h.width, h.height);
    if (h.layout == CLayout::Rgb24)
        return ReadRowWise(*src, h, requested, out, pixels);
    return ReadWhole(*src, h, requested, out, pixels);
}

CRect RectFromSource(CByteSource& src)
{
    std::array<uint8_t, 34> b{};
    const size_t got = src.ReadAt(0, b.data(), b.size());
    if (got < 26 || b[0] != 'B' || b[1] != 'M')
        return CRect();
    int64_t w = 0, hgt = 0;
    int bits = 0;
    uint32_t compression = kBiRgb;
    if (U32(&b[14]) == 12) {
        w = U16(&b[18]);
        hgt = U16(&b[20]);
        bits = U16(&b[24]);
    } else {
        w = I32(&b[18]);
        hgt = I32(&b[22]);
        hgt = hgt < 0 ? -hgt : hgt;
        if (got >= 34) {
            bits = U16(&b[28]);
            compression = U32(&b[30]);
        }
    }
    if (w < 1 || hgt < 1 || hgt > INT32_MAX)
        return CRect();
    // A size that the file's uncompressed rows could not hold is not reported.
    if (bits >= 1 && bits <= 32 && compression != kBiRle8 && compression != kBiRle4 &&
        !HoldsHalfItsRows(src.Length(), U32(&b[10]), w, hgt, bits))
        return CRect();
    return CRect(0, 0, static_cast<int32_t>(w), static_cast<int32_t>(hgt));
}

} // namespace

CRect GetBmpBytesRect(const uint8_t* data, size_t length)
{
    CMemoryByteSource src(data, length);
    return RectFromSource(src);
}

CRect GetBmpFileRect(const std::string& path)
{
    if (path.empty() || GetFileExt(path) != "BMP")
        return CRect();
    CFileByteSource src;
    if (!src.Open(path))
        return CRect();
    return RectFromSource(src);
}

int IsUsableBmpFile(const std::string& path)
{
    return GetBmpFileRect(path).Width() >= 2 ? 1 : -1;
}

int ReadBmpFile(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& rect)
{
    if (path.empty())
        return -1;
    if (size.cx < 1 || size.cy < 1)
        return -1;
    CFileByteSource src;
    return ReadBmp(src.Open(path) ? &src : nullptr, pixels, size, rect);
}

int ReadBmpBytes(const uint8_t* data, size_t length, CPixelArray& pixels, CSize& size, const CRect& rect)
{
    CMemoryByteSource src(data, length);
    return ReadBmp(&src, pixels, size, rect);
}

// ---------------------------------------------------------------------------------------------
// The writer

namespace {

void PutU16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void ShowTooBig()
{
    ShowMessage(Catalogue().tooBigToCreate, platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

} // namespace

int32_t CBmpWriter::PixelsPerMetre(int dpi)
{
    const int64_t v = int64_t(dpi) * 10000 / 254 + 1;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

CBmpWriter::~CBmpWriter()
{
    Abandon();
}

void CBmpWriter::Abandon()
{
    m_file.Discard();
    m_stripDone.clear();
}

bool CBmpWriter::WriteAll(const uint8_t* data, size_t n, int64_t offset)
{
    return m_file.WriteAt(static_cast<uint64_t>(offset), data, n);
}

int CBmpWriter::BeginWrite(const std::string& path, int width, int height, int dpi)
{
    Abandon();
    if (path.empty())
        return -1;
    m_width = width;
    m_height = height;
    m_failed = false;
    if (static_cast<unsigned>(width) > static_cast<unsigned>(kMaxWidth)) {
        ShowTooBig();
        return -1;
    }
    if (width < 1 || height < 1)
        return -1;
    m_stride = (int64_t(width) * 3 + 3) / 4 * 4;
    const int64_t fileSize = m_stride * height + 54;
    if (fileSize > 0xFFFFFFFFll) { // the header cannot state the size
        ShowTooBig();
        return -1;
    }
    // The file is built under a name of its own beside the target.
    if (!m_file.Open(path)) {
        ShowMessage(path + Catalogue().cantOpenFile, platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return -1;
    }
    std::array<uint8_t, 54> head{};
    head[0] = 'B';
    head[1] = 'M';
    PutU32(&head[2], static_cast<uint32_t>(fileSize));
    PutU32(&head[10], 54);
    PutU32(&head[14], 40);
    PutU32(&head[18], static_cast<uint32_t>(width));
    PutU32(&head[22], static_cast<uint32_t>(height));
    PutU16(&head[26], 1);
    PutU16(&head[28], 24);
    const uint32_t ppm = static_cast<uint32_t>(PixelsPerMetre(dpi));
    PutU32(&head[38], ppm);
    PutU32(&head[42], ppm);
    if (!WriteAll(head.data(), head.size(), 0)) {
        Abandon();
        ShowMessage(path + Catalogue().cantOpenFile, platform::MB_OK | platform::MB_ICONEXCLAMATION);
        return -1;
    }
    m_stripDone.assign(static_cast<size_t>((height - 1) / 16 + 1), false);
    return 1;
}

int CBmpWriter::WriteStrip(const CPixelArray& strip, int n)
{
    if (!m_file.IsOpen() || m_failed)
        return -1;
    if (n < 0 || static_cast<size_t>(n) >= m_stripDone.size()) {
        m_failed = true;
        return -1;
    }
    const int firstRow = 16 * n;
    const int rows = std::min(16, m_height - firstRow);
    if (strip.GetSize() < int64_t(rows) * m_width) {
        m_failed = true;
        return -1;
    }
    if (m_row.size() < static_cast<size_t>(m_stride)) {
        try {
            m_row.assign(static_cast<size_t>((int64_t(kMaxWidth) * 3 + 3) / 4 * 4), 0);
        } catch (const std::bad_alloc&) {
            m_failed = true;
            return -1;
        }
    }
    std::fill(m_row.begin(), m_row.begin() + m_stride, uint8_t(0));
    for (int row = rows - 1; row >= 0; --row) {
        const COLORREF* src = strip.GetData() + int64_t(row) * m_width;
        uint8_t* dst = m_row.data();
        for (int x = 0; x < m_width; ++x, dst += 3) {
            const COLORREF c = src[x];
            dst[0] = static_cast<uint8_t>(GetBValue(c));
            dst[1] = static_cast<uint8_t>(GetGValue(c));
            dst[2] = static_cast<uint8_t>(GetRValue(c));
        }
        const int64_t fileRow = m_height - 1 - (firstRow + row);
        if (!WriteAll(m_row.data(), static_cast<size_t>(m_stride), 54 + fileRow * m_stride)) {
            m_failed = true;
            return -1;
        }
    }
    m_stripDone[static_cast<size_t>(n)] = true;
    return 1;
}

int CBmpWriter::EndWrite(int status)
{
    if (!m_file.IsOpen())
        return -1;
    if (status < 0) {
        // A cancelled or failed save drops the output; the target stays as it was.
        Abandon();
        return 1;
    }
    const bool complete = !m_failed && std::all_of(m_stripDone.begin(), m_stripDone.end(), [](bool b) { return b; });
    int result = -1;
    if (complete && m_file.Commit())
        result = 1;
    Abandon();
    return result;
}

CBmpWriter& BmpWriter()
{
    static CBmpWriter writer;
    return writer;
}

// ---------------------------------------------------------------------------------------------
// Dispatch entries

CRect BmpGetImageRect(const std::string& path) { return GetBmpFileRect(path); }
int BmpReadImage(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& rect)
{
    return ReadBmpFile(path, pixels, size, rect);
}
int BmpBeginWrite(const std::string& path, int width, int height, int dpi)
{
    return BmpWriter().BeginWrite(path, width, height, dpi);
}
int BmpWriteStrip(const CPixelArray& strip, int n) { return BmpWriter().WriteStrip(strip, n); }
int BmpEndWrite(int status) { return BmpWriter().EndWrite(status); }

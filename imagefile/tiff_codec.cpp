// TIFF reader (uncompressed 8-bit strips) and strip-wise RGB writer.
#include "imagefile/tiff_codec.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <set>

#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "imagefile/image_codecs.h"
#include "platform/message_box.h"

namespace {


// Written files: 14 directory entries, then the BitsPerSample values and the two resolution
// rationals, then the strip offset and byte count tables, then the pixel data.
constexpr uint32_t kEntryCount = 14;
constexpr uint32_t kBitsPos = 8 + 2 + kEntryCount * 12 + 4;  // 182
constexpr uint32_t kXResPos = kBitsPos + 6;                  // 188
constexpr uint32_t kYResPos = kXResPos + 8;                  // 196
constexpr uint32_t kTablesPos = kYResPos + 8;                // 204

void Put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

// Bounds-checked reads in the file's byte order.
struct CTiffCodec::Reader {
    FILE* file = nullptr;
    uint64_t length = 0;
    int order = 0;

    bool Read(uint64_t pos, void* dst, size_t n)
    {
        if (pos > length || n > length - pos)
            return false;
        if (fseeko(file, static_cast<off_t>(pos), SEEK_SET) != 0)
            return false;
        return fread(dst, 1, n, file) == n;
    }
    bool Uint(uint64_t pos, int size, uint32_t& v)
    {
        uint8_t b[4] = {};
        if (size != 1 && size != 2 && size != 4)
            size = 4;
        if (!Read(pos, b, static_cast<size_t>(size)))
            return false;
        v = 0;
        for (int i = 0; i < size; ++i) {
            int shift = order == 77 ? 8 * (size - 1 - i) : 8 * i;
            v |= static_cast<uint32_t>(b[i]) << shift;
        }
        return true;
    }
};

void CTiffCodec::ResetTags()
{
    static constexpr struct {
        int tag, type;
        uint32_t count, def;
    } kTable[SlotCount] = {{256, 3, 1, 0}, {257, 3, 1, 0}, {258, 3, 3, 8}, {259, 3, 1, 1},
                           {262, 3, 1, 2}, {273, 4, 1, 8}, {274, 3, 1, 1}, {277, 3, 1, 3},
                           {278, 4, 1, 0}, {279, 4, 1, 0}, {284, 3, 1, 1}};
    for (int i = 0; i < SlotCount; ++i) {
        TiffEntry& e = m_slots[i];
        e.tag = kTable[i].tag;
        e.type = kTable[i].type;
        e.count = kTable[i].count;
        e.defaultValue = kTable[i].def;
        e.value = 0;
        e.size = e.type == 3 ? 2 : 4;
        e.valuePos = 0;
    }
    m_byteOrder = 0;
}

int CTiffCodec::ParseIfd(Reader& in)
{
    uint8_t header[8];
    if (!in.Read(0, header, 8))
        return 0;
    if (header[0] == 'I' && header[1] == 'I')
        m_byteOrder = 73;
    else if (header[0] == 'M' && header[1] == 'M')
        m_byteOrder = 77;
    else
        return 0;
    in.order = m_byteOrder;
    uint32_t magic = 0;
    uint32_t dir = 0;
    if (!in.Uint(2, 2, magic) || magic != 42 || !in.Uint(4, 4, dir))
        return 0;

    // A chain that loops or runs on without end is a damaged file.
    std::set<uint32_t> visited;
    while (dir != 0) {
        if (!visited.insert(dir).second || visited.size() > MaxDirectories)
            return 0;
        uint32_t n = 0;
        if (!in.Uint(dir, 2, n))
            return 0;
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t pos = uint64_t{dir} + 2 + 12 * uint64_t{i};
            uint32_t tag = 0, type = 0, count = 0;
            if (!in.Uint(pos, 2, tag) || !in.Uint(pos + 2, 2, type) || !in.Uint(pos + 4, 4, count))
                return 0;
            int size = (type == 1 || type == 6) ? 1 : (type == 3 || type == 8) ? 2 : 4;
            uint64_t valuePos = pos + 8;
            uint32_t value = 0;
            if (uint64_t{count} * size > 4) {
                if (!in.Uint(pos + 8, 4, value))
                    return 0;
                valuePos = value;
            } else if (!in.Uint(pos + 8, size, value)) {
                return 0;
            }
            for (TiffEntry& e : m_slots) {
                if (static_cast<uint32_t>(e.tag) != tag)
                    continue;
                e.type = static_cast<int32_t>(type);
                e.count = count;
                e.size = size;
                e.value = value;
                e.valuePos = valuePos;
                if (tag == 258 && uint64_t{count} * size >= 5 && !in.Uint(valuePos, size, e.value))
                    return 0;
            }
        }
        uint32_t next = 0;
        if (!in.Uint(uint64_t{dir} + 2 + 12 * uint64_t{n}, 4, next))
            return 0;
        if (next >= in.length)
            return 0;
        dir = next;
    }
    return 1;
}

int CTiffCodec::ParseAndCheck(Reader& in)
{
    if (in.length == 0)
        return -1;
    ResetTags();
    if (ParseIfd(in) <= 0)
        return -1;
    const TiffEntry* s = m_slots;
    uint32_t width = s[ImageWidth].value;
    uint32_t height = s[ImageLength].value;
    uint32_t compression = s[Compression].value == 0 ? 1 : s[Compression].value;
    uint32_t photometric = s[Photometric].value;
    uint32_t samples = s[SamplesPerPixel].value;
    uint32_t orientation = s[Orientation].value == 0 ? 1 : s[Orientation].value;
    uint32_t planar = s[PlanarConfiguration].value == 0 ? 1 : s[PlanarConfiguration].value;
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return -1;
    if (compression != 1 || orientation != 1 || (planar != 1 && planar != 2))
        return -1;
    bool rgb = photometric == 2 && (samples == 3 || samples == 4);
    bool grey = (photometric == 0 || photometric == 1) && samples == 1;
    if (!rgb && !grey)
        return -1;
    // Every sample must be 8 bits: the row layout depends on all of them.
    if (s[BitsPerSample].count == 0 || s[BitsPerSample].count > 16)
        return -1;
    for (uint32_t i = 0; i < s[BitsPerSample].count; ++i) {
        uint32_t bits = 0;
        if (!in.Uint(s[BitsPerSample].valuePos + uint64_t{i} * s[BitsPerSample].size,
                     s[BitsPerSample].size, bits) || bits != 8)
            return -1;
    }
    if (s[StripOffsets].value == 0 || s[StripOffsets].count == 0)
        return -1;
    // Uncompressed data must fit in the file; this also bounds every allocation by its size.
    if (uint64_t{width} * height * samples > in.length)
        return -1;
    m_width = static_cast<int>(width);
    m_height = static_cast<int>(height);
    m_samples = static_cast<int>(samples);
    m_planar = static_cast<int>(planar);
    uint32_t r = s[RowsPerStrip].value;
    m_rowsPerStrip = (r == 0 || r > height) ? height : r;
    uint64_t stripsPerPlane = (uint64_t{height} + m_rowsPerStrip - 1) / m_rowsPerStrip;
    uint64_t needed = stripsPerPlane * (planar == 2 ? samples : 1);
    if (s[StripOffsets].count < needed)
        return -1;
    // Chunky files read grey and RGB; planar ones only RGB.
    if (planar == 2 && samples == 1)
        m_planar = 1;
    return 1;
}

bool CTiffCodec::StripOffset(Reader& in, uint32_t s, uint64_t& offset)
{
    const TiffEntry& e = m_slots[StripOffsets];
    if (s >= e.count)
        return false;
    if (e.count == 1) {
        offset = e.value;
        return true;
    }
    uint32_t v = 0;
    if (!in.Uint(e.valuePos + uint64_t{s} * e.size, e.size, v))
        return false;
    offset = v;
    return true;
}

int CTiffCodec::ReadStrips(Reader& in, uint32_t* out)
{
    size_t w = static_cast<size_t>(m_width);
    size_t rowBytes = w * m_samples;
    std::vector<uint8_t> row;
    try {
        row.resize(rowBytes + 100);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    uint32_t r = m_rowsPerStrip;
    uint32_t stripsPerPlane = static_cast<uint32_t>((uint64_t{uint32_t(m_height)} + r - 1) / r);
    bool whiteIsZero = m_slots[Photometric].value == 0;

    if (m_planar == 2) {
        for (uint32_t s = 0; s < stripsPerPlane; ++s) {
            uint64_t y0 = uint64_t{s} * r;
            for (int p = 0; p < 3; ++p) {
                uint64_t offset = 0;
                if (!StripOffset(in, p * stripsPerPlane + s, offset))
                    return 0;
                for (uint32_t k = 0; k < r && y0 + k < uint64_t(m_height); ++k) {
                    if (!in.Read(offset + uint64_t{k} * w, row.data(), w))
                        return 0;
                    uint32_t* dst = out + (y0 + k) * w;
                    int shift = 8 * p;
                    for (size_t x = 0; x < w; ++x) {
                        uint32_t v = uint32_t{row[x]} << shift;
                        dst[x] = p == 0 ? v : (dst[x] | v);
                    }
                }
            }
        }
        return 1;
    }

    uint64_t y = 0;
    for (uint32_t s = 0; s < m_slots[StripOffsets].count && y < uint64_t(m_height); ++s) {
        uint64_t offset = 0;
        if (!StripOffset(in, s, offset))
            return 0;
        for (uint32_t k = 0; k < r && y < uint64_t(m_height); ++k, ++y) {
            if (!in.Read(offset + uint64_t{k} * rowBytes, row.data(), rowBytes))
                return 0;
            uint32_t* dst = out + y * w;
            const uint8_t* src = row.data();
            if (m_samples == 1) {
                for (size_t x = 0; x < w; ++x) {
                    uint32_t v = whiteIsZero ? 255u - src[x] : src[x];
                    dst[x] = v * 0x010101u;
                }
            } else {
                for (size_t x = 0; x < w; ++x, src += m_samples)
                    dst[x] = src[0] | (uint32_t{src[1]} << 8) | (uint32_t{src[2]} << 16);
            }
        }
    }
    return 1;
}

int CTiffCodec::ReadStripsSubsampled(Reader& in, uint32_t* out, int f)
{
    if (m_samples != 3 || m_slots[StripOffsets].count <= 1 || m_planar != 1 || f < 1)
        return -1;
    size_t outW = static_cast<size_t>(m_width / f);
    size_t outH = static_cast<size_t>(m_height / f);
    size_t rowBytes = static_cast<size_t>(m_width) * 3;
    std::vector<uint8_t> row;
    try {
        row.resize(rowBytes + 100);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    uint32_t r = m_rowsPerStrip;
    uint64_t y = 0;
    size_t done = 0;
    for (uint32_t s = 0; s < m_slots[StripOffsets].count && done < outH; ++s) {
        uint64_t offset = 0;
        if (!StripOffset(in, s, offset))
            return 0;
        for (uint32_t k = 0; k < r && done < outH; ++k, ++y) {
            if (y % f != 0)
                continue;
            if (!in.Read(offset + uint64_t{k} * rowBytes, row.data(), rowBytes))
                return 0;
            uint32_t* dst = out + done * outW;
            for (size_t m = 0; m < outW; ++m) {
                const uint8_t* p = row.data() + 3 * f * m;
                dst[m] = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
            }
            ++done;
        }
    }
    return done == outH ? 1 : 0;
}

int CTiffCodec::ResamplePixels(int w, int h, const uint32_t* src, int cx, int cy, uint32_t* out)
{
    return ScalePixelsToFill(src, w, h, out, cx, cy);
}

bool CTiffCodec::GetImageSize(const std::string& path, int& width, int& height)
{
    if (path.empty())
        return false;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    Reader in;
    in.file = f;
    bool ok = fseeko(f, 0, SEEK_END) == 0;
    off_t len = ok ? ftello(f) : -1;
    in.length = len > 0 ? static_cast<uint64_t>(len) : 0;
    ok = ok && len >= 0 && ParseAndCheck(in) > 0;
    fclose(f);
    if (!ok)
        return false;
    width = m_width;
    height = m_height;
    return true;
}

int CTiffCodec::ReadImage(const std::string& path, CPixelArray& out, int cx, int cy, int& width,
                          int& height)
{
    if (cx < 1 || cy < 1 || path.empty())
        return -1;
    if (int64_t{cx} * cy > MaxRequestPixels)
        return kResultOutOfMemory;
    if (!out.TrySetSize(static_cast<std::ptrdiff_t>(cx) * cy))
        return kResultOutOfMemory;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return 0;
    Reader in;
    in.file = f;
    off_t len = fseeko(f, 0, SEEK_END) == 0 ? ftello(f) : -1;
    in.length = len > 0 ? static_cast<uint64_t>(len) : 0;

    int result = ParseAndCheck(in);
    if (result >= 1) {
        int w = m_width;
        int h = m_height;
        if (cx == w && cy == h) {
            result = ReadStrips(in, out.GetData());
        } else {
            result = -1;
            std::vector<uint32_t> temp;
            int tw = w;
            int th = h;
            if (m_slots[StripOffsets].count > 1 && m_planar == 1 && m_samples == 3) {
                int f = 1;
                for (int candidate : {16, 8, 4, 2}) {
                    if (w / candidate >= cx && h / candidate >= cy) {
                        f = candidate;
                        break;
                    }
                }
                if (f > 1) {
                    try {
                        temp.assign(static_cast<size_t>(w / f + 1) * (h / f + 1), 0);
                        result = ReadStripsSubsampled(in, temp.data(), f);
                        tw = w / f;
                        th = h / f;
                    } catch (const std::bad_alloc&) {
                        result = kResultOutOfMemory;
                    }
                }
            }
            if (result < 1 && result != kResultOutOfMemory) {
                tw = w;
                th = h;
                try {
                    temp.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
                    result = ReadStrips(in, temp.data());
                } catch (const std::bad_alloc&) {
                    result = kResultOutOfMemory;
                }
            }
            if (result >= 1 && ResamplePixels(tw, th, temp.data(), cx, cy, out.GetData()) < 1)
                result = kResultOutOfMemory;
        }
        if (result >= 1) {
            width = w;
            height = h;
        }
    }
    fclose(f);
    if (result < 0)
        out.Fill(kUnreadableGrey);
    return result;
}

uint64_t CTiffCodec::PixelDataOffset(int height)
{
    uint64_t strips = height < 1 ? 1 : (uint64_t(height) - 1) / 16 + 1;
    return kTablesPos + 8 * strips;
}

int CTiffCodec::BeginWrite(const std::string& path, int width, int height, int dpi)
{
    if (m_open) {
        m_file.Discard();
        m_open = false;
    }
    if (path.empty() || width < 1 || height < 1)
        return -1;
    // Every offset in the file is 32 bits.
    uint64_t total = PixelDataOffset(height) + 3 * uint64_t(width) * uint64_t(height);
    if (total > 0xFFFFFFFFu) {
        ShowMessage(Catalogue().tooBigToCreate);
        return -1;
    }
    m_writeWidth = width;
    m_writeHeight = height;
    m_strips = (height - 1) / 16 + 1;
    uint32_t s = static_cast<uint32_t>(m_strips);
    std::vector<uint8_t> head;
    try {
        m_written.assign(s, 0);
        m_rowBytes.resize(static_cast<size_t>(width) * 3 * 16);
        head.assign(kTablesPos + 8 * size_t{s}, 0);
    } catch (const std::bad_alloc&) {
        return kResultOutOfMemory;
    }
    uint32_t dataPos = kTablesPos + 8 * s;
    uint32_t countsPos = kTablesPos + 4 * s;
    uint32_t res = static_cast<uint32_t>(dpi > 0 ? dpi : 72);

    uint8_t* p = head.data();
    p[0] = 'I';
    p[1] = 'I';
    Put16(p + 2, 42);
    Put32(p + 4, 8);
    Put16(p + 8, kEntryCount);
    // Entries in ascending tag order, as TIFF readers expect.
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    uint32_t lastRows = static_cast<uint32_t>(height - 16 * (m_strips - 1));
    const Entry entries[kEntryCount] = {
        {256, 4, 1, static_cast<uint32_t>(width)},
        {257, 4, 1, static_cast<uint32_t>(height)},
        {258, 3, 3, kBitsPos},
        {259, 3, 1, 1},
        {262, 3, 1, 2},
        {273, 4, s, s == 1 ? dataPos : kTablesPos},
        {274, 3, 1, 1},
        {277, 3, 1, 3},
        {278, 4, 1, 16},
        {279, 4, s, s == 1 ? 3 * uint32_t(width) * lastRows : countsPos},
        {282, 5, 1, kXResPos},
        {283, 5, 1, kYResPos},
        {284, 3, 1, 1},
        {296, 3, 1, 2},
    };
    for (uint32_t i = 0; i < kEntryCount; ++i) {
        uint8_t* e = p + 10 + 12 * i;
        Put16(e, entries[i].tag);
        Put16(e + 2, entries[i].type);
        Put32(e + 4, entries[i].count);
        if (entries[i].type == 3 && entries[i].count == 1)
            Put16(e + 8, entries[i].value);
        else
            Put32(e + 8, entries[i].value);
    }
    Put32(p + 10 + 12 * kEntryCount, 0);
    Put16(p + kBitsPos, 8);
    Put16(p + kBitsPos + 2, 8);
    Put16(p + kBitsPos + 4, 8);
    Put32(p + kXResPos, res);
    Put32(p + kXResPos + 4, 1);
    Put32(p + kYResPos, res);
    Put32(p + kYResPos + 4, 1);
    for (uint32_t n = 0; n < s; ++n) {
        uint32_t rows = n + 1 == s ? lastRows : 16;
        Put32(p + kTablesPos + 4 * n, dataPos + 48 * uint32_t(width) * n);
        Put32(p + countsPos + 4 * n, 3 * uint32_t(width) * rows);
    }
    if (!m_file.Open(path))
        return -1;
    if (!m_file.Write(head.data(), head.size())) {
        m_file.Discard();
        return -1;
    }
    m_open = true;
    return 1;
}

int CTiffCodec::WriteStrip(const uint32_t* strip, size_t count, int n)
{
    if (!m_open || m_file.Failed() || n < 0 || n >= m_strips || strip == nullptr)
        return -1;
    int rows = std::clamp(m_writeHeight - 16 * n, 1, 16);
    size_t pixels = static_cast<size_t>(rows) * m_writeWidth;
    if (count < pixels)
        return -1;
    uint8_t* dst = m_rowBytes.data();
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t v = strip[i];
        dst[3 * i] = static_cast<uint8_t>(v);
        dst[3 * i + 1] = static_cast<uint8_t>(v >> 8);
        dst[3 * i + 2] = static_cast<uint8_t>(v >> 16);
    }
    uint64_t pos = PixelDataOffset(m_writeHeight) + 48 * uint64_t(m_writeWidth) * uint64_t(n);
    if (!m_file.WriteAt(pos, dst, 3 * pixels))
        return -1;
    m_written[static_cast<size_t>(n)] = 1;
    return 1;
}

int CTiffCodec::EndWrite(int status)
{
    if (!m_open)
        return -1;
    m_open = false;
    if (status < 0) {
        m_file.Discard();
        return 1;
    }
    // A file with a strip never written would be reported complete with a hole in it.
    if (std::find(m_written.begin(), m_written.end(), 0) != m_written.end()) {
        m_file.Discard();
        return -1;
    }
    return m_file.Commit() ? 1 : -1;
}

CTiffCodec& TiffCodec()
{
    static CTiffCodec codec;
    return codec;
}

// Entry functions of the image-file dispatch. Every read uses a codec of its own, so a read
// during a save leaves the writer's state alone.
CRect TiffGetImageRect(const std::string& path)
{
    int w = 0;
    int h = 0;
    if (!CTiffCodec().GetImageSize(path, w, h))
        return CRect();
    return CRect(0, 0, w, h);
}

int TiffReadImage(const std::string& path, CPixelArray& pixels, CSize& size)
{
    int w = 0;
    int h = 0;
    int result = CTiffCodec().ReadImage(path, pixels, size.cx, size.cy, w, h);
    if (result >= 1)
        size = CSize(w, h);
    return result;
}

int TiffBeginWrite(const std::string& path, int width, int height, int dpi)
{
    return TiffCodec().BeginWrite(path, width, height, dpi);
}

int TiffWriteStrip(const CPixelArray& strip, int n)
{
    return TiffCodec().WriteStrip(strip.GetData(), static_cast<size_t>(strip.GetSize()), n);
}

int TiffEndWrite(int status)
{
    return TiffCodec().EndWrite(status);
}

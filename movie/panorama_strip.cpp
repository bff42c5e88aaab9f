// Reading the turned BMP into the strip, and cutting frames from it.
#include "movie/panorama_strip.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/basic_types.h"
#include "imagefile/bmp_codec.h"
#include "imagefile/pixel_array.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace movie {

namespace {

// Pixels of the full-size panorama read in one band (16 MB of 32-bit pixels).
constexpr int64_t kBandPixels = int64_t(4) << 20;

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// What the BMP's header says of its layout.
struct CBmpLayout {
    bool plain24 = false;    // uncompressed 24-bit with the 40-byte header
    int64_t needBytes = 0;   // bytes a plain file must hold
};

bool ReadLayout(const std::string& path, int width, int height, CBmpLayout* layout, std::string* error)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = "the rendered panorama " + path + " cannot be read";
        return false;
    }
    std::array<uint8_t, 54> h{};
    const size_t got = std::fread(h.data(), 1, h.size(), f);
    std::fclose(f);
    struct stat st {};
    if (got < h.size() || ::stat(path.c_str(), &st) != 0) {
        *error = "the rendered panorama " + path + " is cut short";
        return false;
    }
    const uint32_t dataOffset = U32(&h[10]);
    const uint32_t infoSize = U32(&h[14]);
    const int bits = h[28] | h[29] << 8;
    const uint32_t compression = U32(&h[30]);
    layout->plain24 = infoSize == 40 && bits == 24 && compression == 0;
    if (layout->plain24) {
        // BMP rows are panorama columns: `height` pixels each, padded to 4 bytes.
        const int64_t rowBytes = (int64_t(height) * 3 + 3) / 4 * 4;
        layout->needBytes = int64_t(dataOffset) + rowBytes * width;
        if (int64_t(st.st_size) < layout->needBytes) {
            *error = "the rendered panorama " + path + " is cut short (" + std::to_string(st.st_size) + " of " +
                     std::to_string(layout->needBytes) + " bytes)";
            return false;
        }
    }
    return true;
}

// One source line's share in the lines of a line scaled from `from` to `to` lines (to <= from),
// as an area average: source line i covers [i * to, (i + 1) * to), target line j covers
// [j * from, (j + 1) * from).
struct CShare {
    int source;
    int target;
    float weight;
};

std::vector<CShare> AreaShares(int from, int to)
{
    std::vector<CShare> shares;
    shares.reserve(size_t(from) * 2);
    for (int i = 0; i < from; ++i) {
        const int64_t a = int64_t(i) * to;
        const int64_t b = a + to;
        for (int64_t j = a / from; j < to && j * from < b; ++j) {
            const int64_t overlap = std::min(b, (j + 1) * from) - std::max(a, j * from);
            if (overlap > 0)
                shares.push_back({i, static_cast<int>(j), float(double(overlap) / from)});
        }
    }
    return shares;
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

} // namespace

bool CPanoramaStrip::PanoramaSize(const std::string& bmpPath, int* width, int* height, std::string* error)
{
    struct stat st {};
    if (::stat(bmpPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "the rendered panorama " + bmpPath + " does not exist";
        return false;
    }
    const CRect r = GetBmpFileRect(bmpPath);
    if (r.IsRectEmpty()) {
        *error = "the rendered panorama " + bmpPath + " is not a BMP picture that can be read";
        return false;
    }
    // The file holds the panorama turned: its rows are the panorama's columns.
    *width = r.Height();
    *height = r.Width();
    CBmpLayout layout;
    return ReadLayout(bmpPath, *width, *height, &layout, error);
}

bool CPanoramaStrip::Load(const std::string& bmpPath, const CPanPlan& plan, std::string* error)
{
    int width = 0, height = 0;
    if (!PanoramaSize(bmpPath, &width, &height, error))
        return false;
    CBmpLayout layout;
    if (!ReadLayout(bmpPath, width, height, &layout, error))
        return false;
    m_plan = plan;
    const int outH = plan.frameHeight;
    const int outW = plan.stripWidth;
    const int rowPixels = RowPixels();
    std::vector<uint8_t> rgb;
    try {
        rgb.assign(size_t(outH) * rowPixels * 3, 0);
    } catch (const std::bad_alloc&) {
        *error = "there is not enough memory for the movie's panorama";
        return false;
    }

    const std::vector<CShare> down = AreaShares(height, outH);
    const std::vector<CShare> across = AreaShares(width, outW);
    std::vector<float> column(size_t(outH) * 3);
    std::vector<float> current(size_t(outH) * 3, 0.0f);
    std::vector<float> next(size_t(outH) * 3, 0.0f);
    int currentTarget = 0;
    size_t share = 0;

    // A plain file is read a band of columns at a time; any other kind of BMP only decodes whole.
    const int bandColumns = layout.plain24 ? static_cast<int>(std::clamp<int64_t>(kBandPixels / height, 1, width)) : width;
    CPixelArray band;
    for (int xa = 0; xa < width; xa += bandColumns) {
        const int xb = std::min(width, xa + bandColumns);
        // Panorama column x is picture row width - 1 - x of the BMP as seen.
        band.RemoveAll();
        CSize size(height, width);
        const int read = ReadBmpFile(bmpPath, band, size, CRect(0, width - xb, height, width - xa));
        if (read != 1 || size != CSize(height, width)) {
            *error = read == -5 ? "there is not enough memory to read the rendered panorama " + bmpPath
                                : "the rendered panorama " + bmpPath + " is damaged";
            return false;
        }
        for (int x = xa; x < xb; ++x) {
            // Scale the column down to the frame height.
            const COLORREF* src = band.GetData() + int64_t(xb - 1 - x) * height;
            std::fill(column.begin(), column.end(), 0.0f);
            for (const CShare& s : down) {
                const COLORREF c = src[s.source];
                float* d = &column[size_t(s.target) * 3];
                d[0] += s.weight * float(c & 0xFF);
                d[1] += s.weight * float((c >> 8) & 0xFF);
                d[2] += s.weight * float((c >> 16) & 0xFF);
            }
            // Share it out among the strip's columns (a column narrower than a strip column
            // reaches at most two of them); a strip column is done when no share is left for it.
            for (; share < across.size() && across[share].source == x; ++share) {
                std::vector<float>& acc = across[share].target == currentTarget ? current : next;
                const float w = across[share].weight;
                for (size_t k = 0; k < acc.size(); ++k)
                    acc[k] += w * column[k];
            }
            if (currentTarget < outW && (share == across.size() || across[share].target > currentTarget)) {
                for (int y = 0; y < outH; ++y) {
                    uint8_t* d = &rgb[(size_t(y) * rowPixels + kLeftPad + currentTarget) * 3];
                    d[0] = ToByte(current[size_t(y) * 3]);
                    d[1] = ToByte(current[size_t(y) * 3 + 1]);
                    d[2] = ToByte(current[size_t(y) * 3 + 2]);
                }
                current.swap(next);
                std::fill(next.begin(), next.end(), 0.0f);
                ++currentTarget;
            }
        }
    }
    FillPadding(rgb);
    return ToYuv(rgb, error);
}

void CPanoramaStrip::FillPadding(std::vector<uint8_t>& rgb) const
{
    const int w = m_plan.stripWidth;
    const int rowPixels = RowPixels();
    auto source = [&](int c) {
        const int x = c - kLeftPad;
        return m_plan.wraps ? (x % w + w) % w : std::clamp(x, 0, w - 1);
    };
    for (int y = 0; y < m_plan.frameHeight; ++y) {
        uint8_t* row = &rgb[size_t(y) * rowPixels * 3];
        for (int c = 0; c < rowPixels; ++c)
            if (c < kLeftPad || c >= kLeftPad + w)
                std::memcpy(row + size_t(c) * 3, row + size_t(kLeftPad + source(c)) * 3, 3);
    }
}

bool CPanoramaStrip::ToYuv(const std::vector<uint8_t>& rgb, std::string* error)
{
    const int w = RowPixels();
    const int h = m_plan.frameHeight;
    try {
        m_y.assign(size_t(w) * h, 0);
        m_u.assign(size_t(w / 2) * (h / 2), 0);
        m_v.assign(size_t(w / 2) * (h / 2), 0);
    } catch (const std::bad_alloc&) {
        *error = "there is not enough memory for the movie's panorama";
        return false;
    }
    SwsContext* convert = sws_getContext(w, h, AV_PIX_FMT_RGB24, w, h, AV_PIX_FMT_YUV420P,
                                         SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!convert) {
        *error = "the movie's panorama (" + std::to_string(w) + " x " + std::to_string(h) +
                 " pixels) is too large for the colour conversion";
        return false;
    }
    // Full-range RGB in, studio-range BT.709 out, as the movie is tagged.
    sws_setColorspaceDetails(convert, sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709), 0, 0,
                             1 << 16, 1 << 16);
    const uint8_t* const src[1] = {rgb.data()};
    const int srcStride[1] = {w * 3};
    uint8_t* const dst[3] = {m_y.data(), m_u.data(), m_v.data()};
    const int dstStride[3] = {w, w / 2, w / 2};
    const int rows = sws_scale(convert, src, srcStride, 0, h, dst, dstStride);
    sws_freeContext(convert);
    if (rows != h) {
        *error = "the movie's panorama could not be converted to the movie's colours";
        return false;
    }
    return true;
}

namespace {

// Catmull-Rom weights of the four taps around a sample at fraction t past tap 1, in 14-bit
// fixed point, summing to one.
constexpr int kOne = 1 << 14;

std::array<int, 4> CubicWeights(double t)
{
    const double t2 = t * t, t3 = t2 * t;
    std::array<int, 4> wt = {static_cast<int>(std::lround(kOne * (-t3 + 2 * t2 - t) / 2)), 0,
                             static_cast<int>(std::lround(kOne * (-3 * t3 + 4 * t2 + t) / 2)),
                             static_cast<int>(std::lround(kOne * (t3 - t2) / 2))};
    wt[1] = kOne - wt[0] - wt[2] - wt[3];
    return wt;
}

// n samples of a plane row from position `at` on (in samples of the padded row); tap 0 of the
// first sample is at floor(at) - 1. Built twice, for the processors with AVX2 and for the rest:
// it is the movie program's own share of the work on every frame.
__attribute__((target_clones("avx2", "default"))) void ShiftRows(const uint8_t* plane, int stride, int rows, double at, int n, uint8_t* out, int outStride)
{
    const int whole = static_cast<int>(std::floor(at));
    const std::array<int, 4> wt = CubicWeights(at - whole);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* p = plane + size_t(y) * stride + whole - 1;
        uint8_t* o = out + size_t(y) * outStride;
        if (wt[1] == kOne) {
            std::memcpy(o, p + 1, size_t(n));
            continue;
        }
        for (int k = 0; k < n; ++k) {
            const int v = wt[0] * p[k] + wt[1] * p[k + 1] + wt[2] * p[k + 2] + wt[3] * p[k + 3] + kOne / 2;
            o[k] = static_cast<uint8_t>(std::clamp(v >> 14, 0, 255));
        }
    }
}

} // namespace

void CPanoramaStrip::FillFrame(double left, uint8_t* const planes[3], const int strides[3], int part, int parts) const
{
    const int w = m_plan.stripWidth;
    left = m_plan.wraps ? std::fmod(std::fmod(left, w) + w, w) : std::clamp(left, 0.0, double(w - m_plan.frameWidth));
    const int rowPixels = RowPixels();
    const int fw = m_plan.frameWidth;
    const int fh = m_plan.frameHeight;
    const int y0 = fh / 2 * part / parts * 2;
    const int y1 = fh / 2 * (part + 1) / parts * 2;
    ShiftRows(m_y.data() + size_t(y0) * rowPixels, rowPixels, y1 - y0, left + kLeftPad, fw,
              planes[0] + size_t(y0) * strides[0], strides[0]);
    // Chroma sample j covers luma samples 2j and 2j + 1 of the padded row (its centre at
    // 2j + 0.5); frame chroma sample k so lies at chroma position (left + kLeftPad) / 2 + k.
    const double chromaAt = (left + kLeftPad) / 2;
    for (int c = 1; c < 3; ++c)
        ShiftRows((c == 1 ? m_u : m_v).data() + size_t(y0 / 2) * (rowPixels / 2), rowPixels / 2, (y1 - y0) / 2,
                  chromaAt, fw / 2, planes[c] + size_t(y0 / 2) * strides[c], strides[c]);
}

} // namespace movie

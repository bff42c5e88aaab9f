// Baseline JPEG decoding: marker walk, tables, entropy decoding, inverse transform,
// up-sampling and colour conversion. The arithmetic is integer and fixed: samples carry four
// fractional bits (value x 16), luminance with the level shift +2048, chroma centred on 0.
// The entropy decoding of a picture is sequential; the reconstruction of finished MCU rows
// (inverse transform, up-sampling, colour conversion) may run on other threads, which changes
// no output value because each row is reconstructed by the same code from the same input.
#include "imagefile/jpeg_decoder.h"

#include "imagefile/image_file.h"

// The vector helpers below are always inlined; their by-value vector arguments never cross a
// call boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <algorithm>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <new>
#include <thread>

#include "common/status_codes.h"

namespace {

// Natural (row-major) index of zig-zag position k.
constexpr uint8_t kZigZag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Largest DC prediction kept: 8-bit samples give predictions of at most about 1100, so the
// limit only stops damaged data from overflowing the sum.
constexpr int kMaxDcPred = 32767;

// Zero bytes kept behind the entropy-coded data, more than one block can read.
constexpr size_t kScanSlack = 512;

// Weights of the inverse transform: T[x][u] = round(4096 cos((2x+1)u pi/16) / cos(u pi/16)),
// the same table transposed, the largest |T| per frequency, and the bound weights
// Tmax[v] * Tmax[u] used to decide whether a block's sums fit in 32 bits.
struct CIdctTables {
    int32_t t[8][8];
    int32_t tt[8][8];
    int64_t tmax[8];
    alignas(32) float weightf[64];
    int64_t tmaxSum = 0;
    CIdctTables()
    {
        const double pi = std::acos(-1.0);
        for (int x = 0; x < 8; ++x)
            for (int u = 0; u < 8; ++u) {
                const double v = 4096.0 * std::cos((2 * x + 1) * u * pi / 16.0) / std::cos(u * pi / 16.0);
                t[x][u] = static_cast<int32_t>(std::floor(v + 0.5));
                tt[u][x] = t[x][u];
            }
        for (int u = 0; u < 8; ++u) {
            tmax[u] = 0;
            for (int x = 0; x < 8; ++x)
                tmax[u] = std::max<int64_t>(tmax[u], std::abs(t[x][u]));
            tmaxSum += tmax[u];
        }
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u)
                weightf[v * 8 + u] = static_cast<float>(tmax[v] * tmax[u]) / 4096.0f;
    }
};

const CIdctTables& IdctTables()
{
    static const CIdctTables tables;
    return tables;
}

// Dequantisation scale s(k) = sqrt(2) cos(k pi / 16), s(0) = 1.
double DequantScale(int k)
{
    if (k == 0)
        return 1.0;
    return std::sqrt(2.0) * std::cos(k * std::acos(-1.0) / 16.0);
}

inline int Extend(int v, int t)
{
    return v < (1 << (t - 1)) ? v - (1 << t) + 1 : v;
}

// The bit reservoir over the de-stuffed scan data: the next bit is bit 63 of buf, bits are
// valid, and the data behind pos is padded so that a refill may always load eight bytes.
struct CBitReader {
    const uint8_t* data;
    size_t pos;
    uint64_t buf;
    int bits;

    // Ensures at least 56 valid bits.
    inline void Refill()
    {
        // Without a branch: the bits below the valid ones are either zero or already the
        // same data, so loading them again changes nothing.
        uint64_t w;
        std::memcpy(&w, data + pos, 8);
        if constexpr (std::endian::native == std::endian::little)
            w = __builtin_bswap64(w);
        buf |= w >> bits;
        pos += static_cast<size_t>((63 - bits) >> 3);
        bits |= 56;
    }
    inline void Skip(int n)
    {
        buf <<= n;
        bits -= n;
    }
    // n in 1..16; needs n valid bits.
    inline int Take(int n)
    {
        const int v = static_cast<int>(buf >> (64 - n));
        buf <<= n;
        bits -= n;
        return v;
    }
    // Bits consumed since the start of the data.
    inline int64_t Consumed() const { return static_cast<int64_t>(pos) * 8 - bits; }
    // Restarts the reservoir at byte p.
    inline void Restart(size_t p)
    {
        pos = p;
        buf = 0;
        bits = 0;
    }
};

// Decodes one Huffman symbol the slow way (codes longer than the look-up); -1 when no code
// of up to 16 bits fits. Needs 16 valid bits.
inline int DecodeSlow(const CJpegHuffTable& t, CBitReader& br)
{
    for (int l = kJpegLookBits + 1; l <= 16; ++l) {
        const auto code = static_cast<int32_t>(br.buf >> (64 - l));
        if (code <= t.maxcode[l]) {
            const int index = code + t.valoffset[l];
            if (index < 0 || index >= t.count)
                return -1;
            br.Skip(l);
            return t.huffval[index];
        }
    }
    return -1;
}

// Decodes one block: the DC difference added to the prediction, then the AC coefficients,
// dequantised into c (natural order) with their positions in mask. Without Full only the DC
// coefficient is kept; the AC codes are still read to stay in step. -1 on a bad code.
template <bool Full>
inline int DecodeBlock(CBitReader& br, const CJpegHuffTable& dc, const CJpegHuffTable& ac, const int32_t* dq,
                       int& dcPred, int32_t* c, uint64_t& mask)
{
    br.Refill();
    int diff;
    {
        const int32_t e = dc.lookup[br.buf >> (64 - kJpegLookBits)];
        if (e & 0x80) {
            br.Skip(e & 0x7F);
            diff = e >> 16;
        } else {
            int t;
            if (e) {
                br.Skip(e & 0xFF);
                t = (e >> 8) & 0xFF;
            } else {
                t = DecodeSlow(dc, br);
            }
            if (t < 0 || t > 16)
                return -1;
            diff = t ? Extend(br.Take(t), t) : 0;
        }
    }
    const int pred = std::clamp(dcPred + diff, -kMaxDcPred, kMaxDcPred);
    dcPred = pred;
    c[0] = static_cast<int32_t>((static_cast<int64_t>(dq[0]) * pred) >> 8);
    uint64_t mk = 1;
    for (int k = 1; k < 64;) {
        br.Refill();
        const int32_t e = ac.lookup[br.buf >> (64 - kJpegLookBits)];
        int value;
        if (e & 0x80) {
            br.Skip(e & 0x7F);
            k += (e >> 8) & 15;
            value = e >> 16;
        } else {
            int rs;
            if (e) {
                br.Skip(e & 0xFF);
                rs = (e >> 8) & 0xFF;
            } else {
                rs = DecodeSlow(ac, br);
                if (rs < 0)
                    return -1;
            }
            const int s = rs & 15;
            if (s == 0) {
                if (rs != 0xF0)
                    break; // end of block
                k += 16;
                continue;
            }
            k += rs >> 4;
            if (!Full) {
                br.Skip(s);
                ++k;
                continue;
            }
            value = Extend(br.Take(s), s);
        }
        if (Full && k < 64) {
            const int n = kZigZag[k];
            c[n] = static_cast<int32_t>((static_cast<int64_t>(dq[n]) * value) >> 8);
            mk |= uint64_t(1) << n;
        }
        ++k;
    }
    mask = mk;
    return 1;
}

// --- Reconstruction ------------------------------------------------------------------------

// The MCU reconstruction is built twice, for AVX2 and for the baseline instruction set, and
// picked by the processor at the first call. (Clang refuses the 256-bit vector helpers across
// the instruction-set boundary; its builds, the fuzzers, take the baseline only.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define SMRA_HAVE_AVX2_BUILD 1
#endif

// Samples beyond what 8-bit pictures give (damaged coefficients) are limited to +-65536, which
// keeps up-sampling and colour conversion inside 32 bits; real pictures never reach it.
constexpr int32_t kSampleLimit = 65536;
inline int32_t LimitSample(int32_t v) { return std::clamp(v, -kSampleLimit, kSampleLimit); }

// Eight ints, one AVX2 register (two SSE registers where AVX2 is absent).
typedef int32_t V8 __attribute__((vector_size(32)));

__attribute__((always_inline)) inline V8 Load8(const int32_t* p)
{
    V8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
__attribute__((always_inline)) inline void Store8(int32_t* p, const V8& v) { std::memcpy(p, &v, sizeof v); }
__attribute__((always_inline)) inline V8 Splat(int32_t x) { return V8{x, x, x, x, x, x, x, x}; }

// Inverse transform of one block into an 8x8 area of a plane (stride in ints), adding add to
// every sample: t[y][u] = (sum over v of coef[v][u] T[y][v]) >> 12, then
// out[y][x] = (sum over u of t[y][u] T[x][u]) >> 15. Sums are 32-bit where the coefficients
// guarantee that they fit, 64-bit otherwise.
__attribute__((always_inline)) inline void InverseDct(const int32_t* c, uint64_t mask, int32_t* out, int stride, int add)
{
    if (mask <= 1) {
        // DC only: every sample is DC * 4096 * 4096 >> 12 >> 15, that is DC >> 3.
        const V8 v = Splat(LimitSample(c[0] >> 3) + add);
        for (int y = 0; y < 8; ++y)
            Store8(out + y * stride, v);
        return;
    }
    const CIdctTables& tab = IdctTables();
    // Rows below the last non-zero row and columns right of the last non-zero column hold
    // only zeros; the sums skip them.
    const int lastRow = (63 - std::countl_zero(mask)) >> 3;
    uint64_t cm = mask | (mask >> 32);
    cm |= cm >> 16;
    cm |= cm >> 8;
    const int lastCol = 31 - std::countl_zero(static_cast<uint32_t>(cm & 0xFF));

    // Bound of every partial sum: sum of |coef[v][u]| Tmax[v] Tmax[u] / 4096 + sum of Tmax.
    // Single precision is plenty: the 32-bit sums are taken only well inside the limit, and
    // both ways give the same samples wherever 32 bits suffice.
    typedef float F8 __attribute__((vector_size(32)));
    F8 boundSum = {};
    for (int v = 0; v <= lastRow; ++v) {
        const V8 row = Load8(c + v * 8);
        const V8 a = row < 0 ? -row : row;
        F8 w;
        std::memcpy(&w, tab.weightf + v * 8, sizeof w);
        boundSum += __builtin_convertvector(a, F8) * w;
    }
    float bound = 0.0f;
    for (int i = 0; i < 8; ++i)
        bound += boundSum[i];
    if (bound < 0.5f * (static_cast<float>(INT32_MAX) - static_cast<float>(tab.tmaxSum))) {
        V8 t[8] = {};
        for (int v = 0; v <= lastRow; ++v) {
            const V8 row = Load8(c + v * 8);
            for (int y = 0; y < 8; ++y)
                t[y] += row * tab.t[y][v];
        }
        alignas(32) int32_t tm[8][8];
        for (int y = 0; y < 8; ++y)
            Store8(tm[y], t[y] >> 12);
        V8 o[8] = {};
        for (int u = 0; u <= lastCol; ++u) {
            const V8 col = Load8(tab.tt[u]);
            for (int y = 0; y < 8; ++y)
                o[y] += col * tm[y][u];
        }
        for (int y = 0; y < 8; ++y)
            Store8(out + y * stride, (o[y] >> 15) + add);
        return;
    }
    // Coefficients that no 8-bit picture produces: exact sums in 64 bits, samples limited to
    // +-65536 so that up-sampling and colour conversion stay in range.
    int64_t t[8][8];
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            int64_t acc = 0;
            for (int v = 0; v < 8; ++v)
                acc += static_cast<int64_t>(c[v * 8 + u]) * tab.t[y][v];
            t[y][u] = acc >> 12;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int64_t acc = 0;
            for (int u = 0; u < 8; ++u)
                acc += t[y][u] * tab.t[x][u];
            out[y * stride + x] = static_cast<int32_t>(std::clamp<int64_t>(acc >> 15, -kSampleLimit, kSampleLimit)) + add;
        }
}

inline int ClampByte(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// Samples with their level shift (value x 16 + 2048) taken as R, G, B directly.
inline COLORREF PackRgbSamples(int r, int g, int b)
{
    return static_cast<COLORREF>(ClampByte((r + 8) >> 4) | (ClampByte((g + 8) >> 4) << 8) |
                                 (ClampByte((b + 8) >> 4) << 16));
}

// Colour conversion of one pixel: Y with its level shift, Cb and Cr centred on 0, all x 16.
inline COLORREF ConvertPixel(int y, int cb, int cr)
{
    const int b = y * 4096 + 32768;
    const int r = ClampByte((b + 5743 * cr) >> 16);
    const int g = ClampByte((b - 2925 * cr - 1410 * cb) >> 16);
    const int bl = ClampByte((b + 7258 * cb) >> 16);
    return static_cast<COLORREF>(r | (g << 8) | (bl << 16));
}

__attribute__((always_inline)) inline V8 ClampByte8(const V8& in)
{
    V8 v = in;
    const V8 zero = Splat(0);
    const V8 top = Splat(255);
    v = v < zero ? zero : v;
    return v > top ? top : v;
}

// ConvertPixel on eight pixels.
__attribute__((always_inline)) inline V8 ConvertPixels8(const V8& y, const V8& cb, const V8& cr)
{
    const V8 b = y * 4096 + 32768;
    const V8 r = ClampByte8((b + cr * 5743) >> 16);
    const V8 g = ClampByte8((b - cr * 2925 - cb * 1410) >> 16);
    const V8 bl = ClampByte8((b + cb * 7258) >> 16);
    return r | (g << 8) | (bl << 16);
}

__attribute__((always_inline)) inline V8 PackRgbSamples8(const V8& r, const V8& g, const V8& b)
{
    return ClampByte8((r + 8) >> 4) | (ClampByte8((g + 8) >> 4) << 8) | (ClampByte8((b + 8) >> 4) << 16);
}

// Doubles one row of eight column sums c (each 4 x a sample) into sixteen samples:
// c[0] / 4, (3 c[0] + c[1]) / 16, (c[0] + 3 c[1]) / 16, ..., (c[6] + 3 c[7]) / 16, c[7] / 4.
__attribute__((always_inline)) inline void DoubleRow(const V8& c, int32_t* out)
{
    const V8 prev = __builtin_shufflevector(c, c, 0, 0, 1, 2, 3, 4, 5, 6);
    const V8 next = __builtin_shufflevector(c, c, 1, 2, 3, 4, 5, 6, 7, 7);
    const V8 c3 = c * 3;
    const V8 even = (prev + c3) / 16;
    const V8 odd = (c3 + next) / 16;
    Store8(out, __builtin_shufflevector(even, odd, 0, 8, 1, 9, 2, 10, 3, 11));
    Store8(out + 8, __builtin_shufflevector(even, odd, 4, 12, 5, 13, 6, 14, 7, 15));
}

// Up-samples a chroma plane (stride 16) to w x h with factors (fh, fv), each 1 or 2. A
// doubled direction takes 3/4 of the nearer and 1/4 of the farther input sample, inside the
// MCU (the edge samples pair with themselves).
__attribute__((always_inline)) inline const int32_t* Upsample(const int32_t* in, int32_t* out, int fh, int fv, int w,
                                                              int h)
{
    if (fh == 2 && fv == 2) {
        for (int i = 0; i < 16; ++i) {
            const int r0 = i / 2;
            const int rn = std::clamp(i & 1 ? r0 + 1 : r0 - 1, 0, 7);
            DoubleRow(Load8(in + r0 * 16) * 3 + Load8(in + rn * 16), out + i * 16);
        }
        return out;
    }
    if (fh == 2) {
        for (int i = 0; i < h; ++i)
            DoubleRow(Load8(in + i * 16) * 4, out + i * 16);
        return out;
    }
    if (fv == 2) {
        for (int i = 0; i < 16; ++i) {
            const int r0 = i / 2;
            const int rn = std::clamp(i & 1 ? r0 + 1 : r0 - 1, 0, 7);
            for (int j = 0; j < w; j += 8)
                Store8(out + i * 16 + j, (Load8(in + r0 * 16 + j) * 3 + Load8(in + rn * 16 + j)) / 4);
        }
        return out;
    }
    return in;
}

struct CMcuShape {
    int layoutBlocks;
    int mcuWidth, mcuHeight;
    int upH, upV;
    int hmax, vmax;
    const int* component; // per block: 0 Y, 1 Cb, 2 Cr
    const int* bx;        // per block: offset in pixels
    const int* by;
    bool rgb;             // components are R, G, B: no colour conversion
};

// One MCU at full scale into dst (cols x rows of it). full = false: each block shows its DC
// value.
__attribute__((always_inline)) inline void ReconstructFullBody(const CMcuShape& s, const int32_t* coef,
                                                               const uint64_t* mask, bool full, COLORREF* dst,
                                                               int stride, int cols, int rows)
{
    alignas(32) int32_t planes[3][256];
    for (int b = 0; b < s.layoutBlocks; ++b) {
        const int comp = s.component[b];
        const int add = (comp == 0 || s.rgb) ? 2048 : 0;
        int32_t* p = planes[comp] + s.by[b] * 16 + s.bx[b];
        const int32_t* c = coef + b * 64;
        if (full) {
            InverseDct(c, mask[b], p, 16, add);
        } else {
            const V8 v = Splat(LimitSample(c[0] / 8) + add);
            for (int y = 0; y < 8; ++y)
                Store8(p + y * 16, v);
        }
    }
    alignas(32) int32_t cbUp[256];
    alignas(32) int32_t crUp[256];
    const int32_t* cb = Upsample(planes[1], cbUp, s.upH, s.upV, s.mcuWidth, s.mcuHeight);
    const int32_t* cr = Upsample(planes[2], crUp, s.upH, s.upV, s.mcuWidth, s.mcuHeight);
    const int32_t* yp = planes[0];
    const bool whole = cols == s.mcuWidth;
    for (int y = 0; y < rows; ++y) {
        COLORREF* o = dst + static_cast<ptrdiff_t>(y) * stride;
        alignas(32) int32_t px[16];
        for (int x = 0; x < s.mcuWidth; x += 8) {
            const int k = y * 16 + x;
            const V8 v = s.rgb ? PackRgbSamples8(Load8(yp + k), Load8(cb + k), Load8(cr + k))
                               : ConvertPixels8(Load8(yp + k), Load8(cb + k), Load8(cr + k));
            if (whole)
                std::memcpy(o + x, &v, sizeof v);
            else
                Store8(px + x, v);
        }
        if (!whole)
            std::memcpy(o, px, static_cast<size_t>(cols) * sizeof(COLORREF));
    }
}

void ReconstructFullBaseline(const CMcuShape& s, const int32_t* coef, const uint64_t* mask, bool full, COLORREF* dst,
                             int stride, int cols, int rows)
{
    ReconstructFullBody(s, coef, mask, full, dst, stride, cols, rows);
}

#ifdef SMRA_HAVE_AVX2_BUILD
__attribute__((target("avx2"))) void ReconstructFullAvx2(const CMcuShape& s, const int32_t* coef, const uint64_t* mask,
                                                         bool full, COLORREF* dst, int stride, int cols, int rows)
{
    ReconstructFullBody(s, coef, mask, full, dst, stride, cols, rows);
}
#endif

void ReconstructFull(const CMcuShape& s, const int32_t* coef, const uint64_t* mask, bool full, COLORREF* dst,
                     int stride, int cols, int rows)
{
#ifdef SMRA_HAVE_AVX2_BUILD
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        ReconstructFullAvx2(s, coef, mask, full, dst, stride, cols, rows);
        return;
    }
#endif
    ReconstructFullBaseline(s, coef, mask, full, dst, stride, cols, rows);
}

// One MCU at one eighth scale: one pixel per 8x8 luminance block from the DC values.
void ReconstructEighth(const CMcuShape& s, const int32_t* coef, COLORREF* dst, int stride, int cols, int rows)
{
    // Block index of (component, column, row): components follow each other in row order.
    const int yBlocks = s.hmax * s.vmax;
    const int chromaH = s.hmax / s.upH;
    const int chromaV = s.vmax / s.upV;
    const int chromaBlocks = chromaH * chromaV;
    for (int by = 0; by < s.vmax && by < rows; ++by)
        for (int bx = 0; bx < s.hmax && bx < cols; ++bx) {
            const int yb = by * s.hmax + bx;
            const int cbIndex = (by / s.upV) * chromaH + bx / s.upH;
            const int y = LimitSample(coef[yb * 64] / 8) + 2048;
            const int cb = LimitSample(coef[(yBlocks + cbIndex) * 64] / 8);
            const int cr = LimitSample(coef[(yBlocks + chromaBlocks + cbIndex) * 64] / 8);
            dst[static_cast<ptrdiff_t>(by) * stride + bx] =
                s.rgb ? PackRgbSamples(y, cb + 2048, cr + 2048) : ConvertPixel(y, cb, cr);
        }
}

} // namespace

int BuildHuffmanLookup(CJpegHuffTable& t)
{
    t.built = false;
    std::fill(std::begin(t.lookup), std::end(t.lookup), 0);
    int n = 0;
    for (int l = 1; l <= 16; ++l)
        n += t.bits[l];
    if (n > 256 || n > t.count)
        return -1;
    int sizes[256];
    int codes[256];
    int32_t code = 0;
    int k = 0;
    for (int l = 1; l <= 16; ++l) {
        if (t.bits[l]) {
            t.valoffset[l] = k - code;
            for (int i = 0; i < t.bits[l]; ++i) {
                sizes[k] = l;
                codes[k] = code;
                ++code;
                ++k;
            }
            if (code > (1 << l))
                return -1; // the counts over-fill the code space
            t.maxcode[l] = code - 1;
        } else {
            t.maxcode[l] = -1;
            t.valoffset[l] = 0;
        }
        code <<= 1;
    }
    t.maxcode[17] = -1;
    for (int i = 0; i < k; ++i) {
        const int s = sizes[i];
        if (s > kJpegLookBits)
            break;
        const int sym = t.huffval[i];
        const int tbits = sym & 15;
        const int fillBits = kJpegLookBits - s;
        const int base = codes[i] << fillBits;
        for (int f = 0; f < (1 << fillBits); ++f) {
            int32_t entry;
            if (tbits != 0 && s + tbits <= kJpegLookBits) {
                const int extra = (f >> (fillBits - tbits)) & ((1 << tbits) - 1);
                const int value = Extend(extra, tbits);
                entry = static_cast<int32_t>(static_cast<uint32_t>(value) << 16) | ((sym >> 4) << 8) | 0x80 |
                        (s + tbits);
            } else {
                entry = (sym << 8) | s;
            }
            t.lookup[base | f] = entry;
        }
    }
    t.built = true;
    return 1;
}

CJpegDecoder::CJpegDecoder(CByteSource& src) : m_src(src) {}

// --- Marker walk -----------------------------------------------------------------------------

int CJpegDecoder::ReadLength(int64_t p, int& length)
{
    uint8_t b[2];
    if (m_src.ReadAt(p, b, 2) != 2)
        return -1;
    length = (b[0] << 8) | b[1];
    return length < 2 ? -1 : 1;
}

int CJpegDecoder::ReadBody(int64_t p, int length, std::vector<uint8_t>& body)
{
    body.assign(static_cast<size_t>(length - 2), 0);
    if (length > 2 && m_src.ReadAt(p + 2, body.data(), body.size()) != body.size())
        return -1;
    return 1;
}

int CJpegDecoder::ReadSegment(int64_t p, int minLength, int maxLength, int& length, std::vector<uint8_t>& body)
{
    if (ReadLength(p, length) < 0 || length < minLength || length > maxLength)
        return -1;
    return ReadBody(p, length, body);
}

int CJpegDecoder::SkipSegment(int64_t& p)
{
    int length;
    if (ReadLength(p, length) < 0)
        return -1;
    p += length;
    return 1;
}

int CJpegDecoder::ReadApp0(int64_t& p)
{
    // The JFIF values (version, density, thumbnail size) are not used by the program.
    int length;
    if (ReadLength(p, length) < 0)
        return -1;
    uint8_t head[50];
    const size_t want = std::min(length, 50);
    if (m_src.ReadAt(p + 2, head, want) != want)
        return -1;
    p += length;
    return 1;
}

int CJpegDecoder::ReadDqt(int64_t& p)
{
    int length;
    std::vector<uint8_t> body;
    if (ReadSegment(p, 2, 0xFFFF, length, body) < 0)
        return -1;
    p += length;
    size_t i = 0;
    while (i < body.size()) {
        const int pq = body[i] >> 4;
        const int id = body[i] & 15;
        ++i;
        if (pq != 0 || id > 3)
            return -1;
        if (body.size() - i < 64)
            return 1;
        for (int k = 0; k < 64; ++k)
            m_quant[id][kZigZag[k]] = body[i + static_cast<size_t>(k)];
        m_quantPresent[id] = true;
        i += 64;
    }
    return 1;
}

int CJpegDecoder::ReadSof0(int64_t& p)
{
    int length;
    std::vector<uint8_t> body;
    // A one-component frame is shorter: it is read far enough to be told apart from a damaged one.
    if (ReadSegment(p, 2 + 6 + 3, 199, length, body) < 0)
        return -1;
    if (body[0] != 8) {
        NoteUnsupportedFeature(body[0] == 12 ? "12-bit JPEG" : "JPEG of other than 8-bit samples");
        return -1;
    }
    m_height = (body[1] << 8) | body[2];
    m_width = (body[3] << 8) | body[4];
    if (body[5] != 3) {
        // Grey-scale and four-component pictures are not read.
        if (body[5] == 1)
            NoteUnsupportedFeature("grey-scale JPEG");
        else if (body[5] == 4)
            NoteUnsupportedFeature("CMYK JPEG");
        return -1;
    }
    if (body.size() < 6 + 9)
        return -1;
    for (auto& c : m_comp)
        c = Component();
    for (int i = 0; i < 3; ++i) {
        const uint8_t* e = body.data() + 6 + 3 * i;
        m_componentIds[i] = e[0];
        if (e[2] > 3)
            return -1;
        if (e[0] >= 1 && e[0] <= 3) {
            Component& c = m_comp[e[0] - 1];
            c.h = e[1] >> 4;
            c.v = e[1] & 15;
            c.tq = e[2];
        }
    }
    if (m_comp[0].h == 0 || m_comp[1].h == 0 || m_comp[2].h == 0) {
        // Component ids other than 1, 2, 3: the entries are Y, Cb, Cr in order.
        for (int i = 0; i < 3; ++i) {
            const uint8_t* e = body.data() + 6 + 3 * i;
            m_comp[i].h = e[1] >> 4;
            m_comp[i].v = e[1] & 15;
            m_comp[i].tq = e[2];
        }
    }
    m_haveFrame = true;
    p += length;
    return 1;
}

int CJpegDecoder::ReadDht(int64_t& p)
{
    int length;
    std::vector<uint8_t> body;
    if (ReadSegment(p, 2, 0xFFFF, length, body) < 0)
        return -1;
    p += length;
    size_t i = 0;
    while (body.size() - i >= 17) {
        const int tc = body[i] >> 4;
        const int id = body[i] & 15;
        ++i;
        if (tc > 1)
            continue;
        if (id > 3)
            return -1;
        CJpegHuffTable& t = tc == 0 ? m_dc[id] : m_ac[id];
        int n = 0;
        for (int l = 1; l <= 16; ++l)
            n += body[i + static_cast<size_t>(l) - 1];
        if (n > 260 || static_cast<size_t>(n) > body.size() - i - 16)
            return -1;
        t = CJpegHuffTable();
        for (int l = 1; l <= 16; ++l)
            t.bits[l] = body[i + static_cast<size_t>(l) - 1];
        i += 16;
        std::memcpy(t.huffval, body.data() + i, static_cast<size_t>(n));
        i += static_cast<size_t>(n);
        t.count = n;
        t.present = true;
    }
    return 1;
}

int CJpegDecoder::ReadApp14(int64_t& p)
{
    int length;
    if (ReadLength(p, length) < 0)
        return -1;
    uint8_t b[12];
    if (length >= 14 && m_src.ReadAt(p + 2, b, 12) == 12 && std::memcmp(b, "Adobe", 5) == 0)
        m_adobeTransform = b[11];
    p += length;
    return 1;
}

bool CJpegDecoder::IsRgb() const
{
    if (m_adobeTransform >= 0)
        return m_adobeTransform == 0;
    return m_componentIds[0] == 'R' && m_componentIds[1] == 'G' && m_componentIds[2] == 'B';
}

int CJpegDecoder::ReadDri(int64_t& p)
{
    uint8_t b[4];
    if (m_src.ReadAt(p, b, 4) != 4)
        return -1;
    if (((b[0] << 8) | b[1]) != 4)
        return -1;
    p += 4;
    m_restartInterval = (b[2] << 8) | b[3];
    return 1;
}

int CJpegDecoder::ReadCom(int64_t& p)
{
    int length;
    if (ReadLength(p, length) < 0)
        return -1;
    if (length >= 60) {
        // Long comments are not kept; the segment is passed over whole.
        p += length;
        return 1;
    }
    std::vector<uint8_t> body;
    if (ReadBody(p, length, body) < 0)
        return -1;
    const auto end = std::find(body.begin(), body.end(), 0);
    m_comment.assign(body.begin(), end);
    p += length;
    return 1;
}

int CJpegDecoder::ReadSos(int64_t& p)
{
    int length;
    std::vector<uint8_t> body;
    if (ReadSegment(p, 2 + 1 + 6, 199, length, body) < 0)
        return -1;
    if (body[0] != 3)
        return -1;
    for (auto& c : m_comp)
        c.td = c.ta = -1;
    for (int i = 0; i < 3; ++i) {
        const uint8_t* e = body.data() + 1 + 2 * i;
        if ((e[1] >> 4) > 3 || (e[1] & 15) > 3)
            return -1;
        if (e[0] >= 1 && e[0] <= 3) {
            m_comp[e[0] - 1].td = e[1] >> 4;
            m_comp[e[0] - 1].ta = e[1] & 15;
        }
    }
    if (m_comp[0].td < 0 || m_comp[1].td < 0 || m_comp[2].td < 0) {
        for (int i = 0; i < 3; ++i) {
            const uint8_t* e = body.data() + 1 + 2 * i;
            m_comp[i].td = e[1] >> 4;
            m_comp[i].ta = e[1] & 15;
        }
    }
    p += length;

    // The entropy-coded data up to the end of the file, de-stuffed in place: 0xFF 0x00 is one
    // 0xFF, restart markers stay (0xFF 0xDn), fill bytes before a marker go, the end-of-image
    // marker ends the data, any other marker is a damaged file. The last two bytes of the
    // file are taken as the end-of-image marker.
    const int64_t raw = std::max<int64_t>(0, m_length - p);
    if (raw > static_cast<int64_t>(SIZE_MAX / 2))
        return kResultOutOfMemory;
    try {
        m_scan.assign(static_cast<size_t>(raw) + 4 + kScanSlack, 0);
    } catch (const std::bad_alloc&) {
        return kResultOutOfMemory;
    }
    if (raw > 0 && m_src.ReadAt(p, m_scan.data(), static_cast<size_t>(raw)) != static_cast<size_t>(raw))
        return -1;
    uint8_t* d = m_scan.data();
    size_t j = 0;
    const size_t last = raw >= 2 ? static_cast<size_t>(raw) - 2 : 0;
    for (size_t i = 0; i < last; ++i) {
        const uint8_t c = d[i];
        if (c != 0xFF) {
            d[j++] = c;
            continue;
        }
        const uint8_t n = d[i + 1];
        if (n == 0x00) {
            d[j++] = 0xFF;
            ++i;
        } else if (n >= 0xD0 && n <= 0xD7) {
            d[j++] = 0xFF;
        } else if (n == 0xFF) {
            continue;
        } else if (n == 0xD9) {
            break;
        } else {
            return -1;
        }
    }
    std::fill(d + j, d + m_scan.size(), 0);
    d[j] = 0xFF;
    m_scanSize = std::max<int64_t>(raw - 2, static_cast<int64_t>(j)) + 4;
    m_pos = 0;
    m_buf = 0;
    m_bits = 0;
    m_haveScan = true;
    return 1;
}

int CJpegDecoder::ParseMarkers(int mode)
{
    m_length = m_src.Length();
    m_comment.clear();
    if (m_length <= 0)
        return -1;
    uint8_t b[2];
    if (m_src.ReadAt(0, b, 2) != 2 || b[0] != 0xFF || b[1] != 0xD8)
        return -1;
    int64_t p = 2;
    int result = 1;
    bool stop = false;
    while (!stop && p < m_length && result >= 0) {
        if (m_src.ReadAt(p, b, 2) != 2)
            break;
        p += 2;
        if (b[0] != 0xFF) {
            p -= 1; // slide on to the next 0xFF
            continue;
        }
        const int m = b[1];
        switch (m) {
        case 0xE0:
            result = ReadApp0(p);
            break;
        case 0xE1: {
            int length;
            if (ReadLength(p, length) < 0) {
                result = -1;
                break;
            }
            bool headerValid = false;
            ReadApp1(m_src, p, m_exif, headerValid);
            if (headerValid) {
                // The record now describes this file.
                m_camera.exif = m_exif;
                m_camera.exifRead = true;
            }
            if (m_camera.exifRead)
                m_camera.CopyExif(m_camera.exif);
            if (mode == 2)
                stop = true;
            break;
        }
        case 0xDB:
            result = ReadDqt(p);
            break;
        case 0xC0:
            result = ReadSof0(p);
            if (mode == 1)
                stop = true;
            break;
        case 0xC4:
            result = ReadDht(p);
            break;
        case 0xDD:
            result = ReadDri(p);
            break;
        case 0xDA:
            result = ReadSos(p);
            stop = true;
            break;
        case 0xD9:
            stop = true;
            break;
        case 0xFE:
            result = ReadCom(p);
            break;
        case 0xEE:
            result = ReadApp14(p);
            break;
        case 0xFF:
            p -= 1; // a fill byte: the marker may start at the second 0xFF
            break;
        default:
            if (m >= 0xE2 && m <= 0xEF) {
                result = SkipSegment(p);
            } else if (m >= 0xC1 && m <= 0xCF) {
                // Progressive, lossless, hierarchical and arithmetic-coded frames are refused.
                if (m == 0xC1)
                    NoteUnsupportedFeature("extended sequential JPEG");
                else if (m == 0xC2)
                    NoteUnsupportedFeature("progressive JPEG");
                else if (m == 0xC3)
                    NoteUnsupportedFeature("lossless JPEG");
                else if (m >= 0xC5 && m <= 0xC7)
                    NoteUnsupportedFeature("hierarchical JPEG");
                else if (m >= 0xC9)
                    NoteUnsupportedFeature("arithmetic-coded JPEG");
                SkipSegment(p);
                result = -1;
            } else if (m <= 0xBF) {
                // not a marker; the walk goes on behind these two bytes
            } else {
                result = SkipSegment(p);
            }
            break;
        }
    }
    return result < 0 ? result : 1;
}

// --- Decoding set-up -------------------------------------------------------------------------

int CJpegDecoder::SelectSamplingLayout()
{
    struct Layout {
        int yh, yv, bh, bv, rh, rv, hmax, vmax, blocks, uh, uv;
    };
    static constexpr Layout kLayouts[] = {
        {2, 2, 1, 1, 1, 1, 2, 2, 6, 2, 2}, {2, 2, 1, 2, 1, 2, 2, 2, 8, 2, 1}, {2, 2, 2, 1, 2, 1, 2, 2, 8, 1, 2},
        {2, 1, 1, 1, 1, 1, 2, 1, 4, 2, 1}, {1, 2, 1, 1, 1, 1, 1, 2, 4, 1, 2}, {1, 1, 1, 1, 1, 1, 1, 1, 3, 1, 1},
    };
    if (!m_haveFrame || m_width < 1 || m_height < 1)
        return -1;
    const Component& y = m_comp[0];
    const Component& cb = m_comp[1];
    const Component& cr = m_comp[2];
    for (const Layout& l : kLayouts) {
        if (y.h == l.yh && y.v == l.yv && cb.h == l.bh && cb.v == l.bv && cr.h == l.rh && cr.v == l.rv) {
            m_hmax = l.hmax;
            m_vmax = l.vmax;
            m_layoutBlocks = l.blocks;
            m_upH = l.uh;
            m_upV = l.uv;
            m_mcuWidth = 8 * m_hmax;
            m_mcuHeight = 8 * m_vmax;
            m_mcusAcross = (m_width + m_mcuWidth - 1) / m_mcuWidth;
            m_mcusDown = (m_height + m_mcuHeight - 1) / m_mcuHeight;
            return 1;
        }
    }
    NoteUnsupportedFeature("JPEG of this colour sampling layout");
    return -1;
}

int CJpegDecoder::PrepareDecoding()
{
    if (!m_haveScan || m_layoutBlocks == 0)
        return -1;
    int n = 0;
    for (int ci = 0; ci < 3; ++ci) {
        const Component& c = m_comp[ci];
        if (c.tq < 0 || c.tq > 3 || !m_quantPresent[c.tq])
            return -1;
        if (c.td < 0 || c.td > 3 || c.ta < 0 || c.ta > 3)
            return -1;
        CJpegHuffTable& dc = m_dc[c.td];
        CJpegHuffTable& ac = m_ac[c.ta];
        if (!dc.present || !ac.present)
            return -1;
        if (!dc.built && BuildHuffmanLookup(dc) < 0)
            return -1;
        if (!ac.built && BuildHuffmanLookup(ac) < 0)
            return -1;
        for (int row = 0; row < c.v; ++row)
            for (int col = 0; col < c.h; ++col) {
                BlockRecord& b = m_blocks[n++];
                b.component = ci;
                b.dcTable = c.td;
                b.acTable = c.ta;
                b.quantTable = c.tq;
                b.x = 8 * col;
                b.y = 8 * row;
            }
    }
    if (n != m_layoutBlocks)
        return -1;
    for (int id = 0; id < 4; ++id) {
        if (!m_quantPresent[id])
            continue;
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u)
                m_dequant[id][v * 8 + u] =
                    static_cast<int32_t>(m_quant[id][v * 8 + u] * DequantScale(u) * DequantScale(v) * 4096.0);
    }
    m_dcPred[0] = m_dcPred[1] = m_dcPred[2] = 0;
    m_restartCountdown = m_restartInterval;
    return 1;
}

bool CJpegDecoder::AllocateRow(CJpegRowCoefficients& row) const
{
    try {
        const size_t mcus = static_cast<size_t>(m_mcusAcross);
        row.coef.assign(mcus * static_cast<size_t>(m_layoutBlocks) * 64, 0);
        row.mask.assign(mcus * static_cast<size_t>(m_layoutBlocks), 0);
        row.full.assign(mcus, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// --- Entropy decoding ------------------------------------------------------------------------

int CJpegDecoder::DecodeRowCoefficients(CJpegRowCoefficients& row, int c0, int c1, bool dcOnly)
{
    CBitReader br{m_scan.data(), m_pos, m_buf, m_bits};
    int dcPred[3] = {m_dcPred[0], m_dcPred[1], m_dcPred[2]};
    int countdown = m_restartCountdown;
    const int64_t limitBits = m_scanSize * 8;
    int result = 1;

    for (int i = 0; i < m_mcusAcross && result > 0; ++i) {
        const bool full = !dcOnly && i >= c0 && i <= c1;
        row.full[static_cast<size_t>(i)] = full ? 1 : 0;
        int32_t* coefBase = row.coef.data() + static_cast<size_t>(i) * static_cast<size_t>(m_layoutBlocks) * 64;
        uint64_t* maskBase = row.mask.data() + static_cast<size_t>(i) * static_cast<size_t>(m_layoutBlocks);

        if (m_restartInterval > 0 && countdown == 0) {
            // Expect a restart marker at the next byte boundary: when it is there, decoding
            // starts afresh behind it with the DC predictions at 0.
            const auto next = static_cast<size_t>((br.Consumed() + 7) / 8);
            const uint8_t* d = br.data;
            if (d[next] == 0xFF && d[next + 1] >= 0xD0 && d[next + 1] <= 0xD7) {
                br.Restart(next + 2);
                countdown = m_restartInterval;
                dcPred[0] = dcPred[1] = dcPred[2] = 0;
            }
        }
        --countdown;

        for (int b = 0; b < m_layoutBlocks; ++b) {
            const BlockRecord& rec = m_blocks[b];
            const CJpegHuffTable& dc = m_dc[rec.dcTable];
            const CJpegHuffTable& ac = m_ac[rec.acTable];
            const int32_t* dq = m_dequant[rec.quantTable];
            int32_t* c = coefBase + b * 64;

            const int r = full ? DecodeBlock<true>(br, dc, ac, dq, dcPred[rec.component], c, maskBase[b])
                               : DecodeBlock<false>(br, dc, ac, dq, dcPred[rec.component], c, maskBase[b]);
            if (r < 0) {
                result = -1;
                break;
            }
            if (br.Consumed() > limitBits) {
                result = -1; // the data ran out
                break;
            }
        }
    }
    m_pos = br.pos;
    m_buf = br.buf;
    m_bits = br.bits;
    m_dcPred[0] = dcPred[0];
    m_dcPred[1] = dcPred[1];
    m_dcPred[2] = dcPred[2];
    m_restartCountdown = countdown;
    return result;
}

// --- Reconstruction --------------------------------------------------------------------------

void CJpegDecoder::ReconstructRow(CJpegRowCoefficients& row, int scale, COLORREF* dst, int dstStride, int cols,
                                  int rows) const
{
    int component[10], bx[10], by[10];
    for (int b = 0; b < m_layoutBlocks; ++b) {
        component[b] = m_blocks[b].component;
        bx[b] = m_blocks[b].x;
        by[b] = m_blocks[b].y;
    }
    const CMcuShape shape{m_layoutBlocks, m_mcuWidth, m_mcuHeight, m_upH, m_upV, m_hmax, m_vmax,
                          component,      bx,         by,         IsRgb()};
    const int mcuCols = m_mcuWidth / scale;
    const int mcuRows = std::min(rows, m_mcuHeight / scale);
    const size_t perMcu = static_cast<size_t>(m_layoutBlocks) * 64;
    for (int i = 0; i < m_mcusAcross; ++i) {
        int32_t* coef = row.coef.data() + static_cast<size_t>(i) * perMcu;
        uint64_t* mask = row.mask.data() + static_cast<size_t>(i) * static_cast<size_t>(m_layoutBlocks);
        const int x0 = i * mcuCols;
        if (x0 < cols && mcuRows > 0) {
            const int w = std::min(mcuCols, cols - x0);
            if (scale == 1)
                ReconstructFull(shape, coef, mask, row.full[static_cast<size_t>(i)] != 0, dst + x0, dstStride, w,
                                mcuRows);
            else
                ReconstructEighth(shape, coef, dst + x0, dstStride, w, mcuRows);
        }
        for (int b = 0; b < m_layoutBlocks; ++b) {
            int32_t* c = coef + b * 64;
            if (mask[b] <= 1) {
                c[0] = 0;
            } else {
                const int lastRow = (63 - std::countl_zero(mask[b])) >> 3;
                for (int r = 0; r <= lastRow; ++r)
                    std::memset(c + 8 * r, 0, 8 * sizeof(int32_t));
            }
            mask[b] = 0;
        }
    }
}

int CJpegDecoder::DecodeScaled(COLORREF* out, int scale, const std::function<bool()>& abort, int workers)
{
    if (scale != 1 && scale != 8)
        return -1;
    const int outW = m_width / scale;
    const int outH = m_height / scale;
    const int rowsPerMcu = m_mcuHeight / scale;
    const bool dcOnly = scale == 8;

    if (workers < 0) {
        workers = 0;
        if (scale == 1 && static_cast<int64_t>(m_width) * m_height >= (int64_t(1) << 20) && m_mcusDown >= 8) {
            const unsigned hw = std::thread::hardware_concurrency();
            workers = static_cast<int>(std::min<unsigned>(hw > 1 ? hw - 1 : 0, 3));
        }
    }

    if (workers == 0) {
        CJpegRowCoefficients row;
        if (!AllocateRow(row))
            return kResultOutOfMemory;
        for (int r = 0; r < m_mcusDown; ++r) {
            if (DecodeRowCoefficients(row, 0, m_mcusAcross, dcOnly) < 1)
                return -1;
            const int y0 = r * rowsPerMcu;
            ReconstructRow(row, scale, out + static_cast<ptrdiff_t>(y0) * outW, outW, outW,
                           std::min(rowsPerMcu, outH - y0));
            if (abort && abort())
                return 0;
        }
        return 1;
    }

    // Entropy decoding here, reconstruction of finished rows on the workers.
    const int slots = 2 * workers + 2;
    std::vector<CJpegRowCoefficients> rows(static_cast<size_t>(slots));
    for (auto& r : rows)
        if (!AllocateRow(r))
            return kResultOutOfMemory;
    std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable slotFree;
    std::deque<int> queue;
    std::vector<char> busy(static_cast<size_t>(slots), 0);
    bool done = false;

    auto work = [&] {
        for (;;) {
            int r;
            {
                std::unique_lock lock(mutex);
                workReady.wait(lock, [&] { return done || !queue.empty(); });
                if (queue.empty())
                    return;
                r = queue.front();
                queue.pop_front();
            }
            const auto slot = static_cast<size_t>(r % slots);
            const int y0 = r * rowsPerMcu;
            ReconstructRow(rows[slot], scale, out + static_cast<ptrdiff_t>(y0) * outW, outW, outW,
                           std::min(rowsPerMcu, outH - y0));
            {
                std::lock_guard lock(mutex);
                busy[slot] = 0;
            }
            slotFree.notify_one();
        }
    };
    std::vector<std::thread> threads;
    try {
        for (int i = 0; i < workers; ++i)
            threads.emplace_back(work);
    } catch (const std::system_error&) {
        // fewer workers than asked; the ones started carry the load
    }
    if (threads.empty())
        return DecodeScaled(out, scale, abort, 0);

    int result = 1;
    for (int r = 0; r < m_mcusDown; ++r) {
        const auto slot = static_cast<size_t>(r % slots);
        {
            std::unique_lock lock(mutex);
            slotFree.wait(lock, [&] { return busy[slot] == 0; });
        }
        if (DecodeRowCoefficients(rows[slot], 0, m_mcusAcross, dcOnly) < 1) {
            result = -1;
            break;
        }
        {
            std::lock_guard lock(mutex);
            busy[slot] = 1;
            queue.push_back(r);
        }
        workReady.notify_one();
        if (abort && abort()) {
            result = 0;
            break;
        }
    }
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    workReady.notify_all();
    for (auto& t : threads)
        t.join();
    return result;
}

// Baseline JFIF writer: colour conversion, 4:2:0 down-sampling, floating-point DCT,
// quantisation and Huffman coding with the standard tables, one MCU row (16 rows) at a time.
// The transform (colour conversion to quantisation) works on four MCUs at once, one per vector
// lane, and is built for AVX2 and for the baseline instruction set; every lane does the same
// double operations in the same order as a plain scalar loop would, so both builds, and any
// split of a strip between threads, give the same coefficients. Each block's AC terms are
// Huffman-coded with its transform; while helper threads do that for a strip, the calling
// thread codes the DC terms of the strip before it and joins its coded blocks.
#include "imagefile/jpeg_encoder.h"

// The vector helpers below are always inlined; their by-value vector arguments never cross a
// call boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/message_catalogue.h"
#include "imagefile/image_codecs.h"
#include "platform/message_box.h"

namespace {

// Position in natural (row-major) order of the k-th coefficient in zig-zag order.
constexpr uint8_t kNaturalOrder[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Example quantisation tables of the JPEG standard (Annex K, tables K.1 and K.2), natural order.
constexpr uint8_t kLumQuantBase[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr uint8_t kChromQuantBase[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// Standard Huffman tables (Annex K, K.3 to K.6): code counts per length 1..16, then symbols.
constexpr uint8_t kDcLumBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kDcLumVals[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kDcChromBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr uint8_t kDcChromVals[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kAcLumBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr uint8_t kAcLumVals[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
constexpr uint8_t kAcChromBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr uint8_t kAcChromVals[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

// Code and length for every symbol of one Huffman table.
struct HuffCodes {
    uint16_t code[256] = {};
    uint8_t length[256] = {};
};

HuffCodes BuildCodes(const uint8_t bits[16], const uint8_t* vals)
{
    HuffCodes table;
    uint32_t code = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < bits[len - 1]; ++i) {
            table.code[vals[k]] = static_cast<uint16_t>(code);
            table.length[vals[k]] = static_cast<uint8_t>(len);
            ++code;
            ++k;
        }
        code <<= 1;
    }
    return table;
}

const HuffCodes& DcLumCodes()
{
    static const HuffCodes t = BuildCodes(kDcLumBits, kDcLumVals);
    return t;
}
const HuffCodes& AcLumCodes()
{
    static const HuffCodes t = BuildCodes(kAcLumBits, kAcLumVals);
    return t;
}
const HuffCodes& DcChromCodes()
{
    static const HuffCodes t = BuildCodes(kDcChromBits, kDcChromVals);
    return t;
}
const HuffCodes& AcChromCodes()
{
    static const HuffCodes t = BuildCodes(kAcChromBits, kAcChromVals);
    return t;
}

int BitSize(int magnitude)
{
    return static_cast<int>(std::bit_width(static_cast<unsigned>(magnitude)));
}

void AppendDht(std::vector<uint8_t>& out, uint8_t classAndId, const uint8_t bits[16],
               const uint8_t* vals, int valCount)
{
    int length = 2 + 1 + 16 + valCount;
    out.insert(out.end(), {0xFF, 0xC4, static_cast<uint8_t>(length >> 8),
                           static_cast<uint8_t>(length & 0xFF), classAndId});
    out.insert(out.end(), bits, bits + 16);
    out.insert(out.end(), vals, vals + valCount);
}

// --- Entropy coding ---------------------------------------------------------------------------

// Bytes per MCU that the entropy coder may produce at most: six blocks of at most 20 bits for
// the DC and 26 for each of 63 AC coefficients (with zero runs and end of block well within),
// every byte possibly doubled by a stuffed zero.
constexpr size_t kMaxMcuBytes = 6 * 2 * 216;

// Entropy-coded output: a reservoir of pending bits (fewer than 32 between calls; a call adds
// at most 32) and the bytes, each 0xFF followed by a stuffed zero.
struct CBitWriter {
    uint64_t bits;
    int count;
    uint8_t* out;

    __attribute__((always_inline)) void Put(uint32_t code, int n)
    {
        bits = (bits << n) | code;
        count += n;
        if (count < 32)
            return;
        count -= 32;
        const uint32_t word = static_cast<uint32_t>(bits >> count);
        // Four bytes at once unless one of them is 0xFF (a zero byte of the inverted word).
        const uint32_t inverted = ~word;
        if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
            const uint32_t bigEndian = __builtin_bswap32(word);
            std::memcpy(out, &bigEndian, 4);
            out += 4;
            return;
        }
        for (int shift = 24; shift >= 0; shift -= 8)
            PutByte(static_cast<uint8_t>(word >> shift));
    }

    __attribute__((always_inline)) void PutByte(uint8_t byte)
    {
        *out++ = byte;
        if (byte == 0xFF)
            *out++ = 0x00;
    }

    // Emits the whole bytes still in the reservoir.
    void EmitWholeBytes()
    {
        while (count >= 8) {
            count -= 8;
            PutByte(static_cast<uint8_t>(bits >> count));
        }
    }
};

// 32-bit words that the coded AC terms of one block can fill at most: 63 terms of at most
// 16 code bits and 10 extra bits (runs of 16 zeros and the end of block take fewer).
constexpr int kMaxAcWords = (63 * 26 + 31) / 32;

// The coded AC terms of one block, packed most significant bit first into 32-bit words; the
// zero bytes after 0xFF are stuffed only when the words join the file's data.
struct CBitPacker {
    uint64_t bits;
    int count;
    uint32_t* out;

    __attribute__((always_inline)) void Put(uint32_t code, int n)
    {
        bits = (bits << n) | code;
        count += n;
        if (count >= 32) {
            count -= 32;
            *out++ = static_cast<uint32_t>(bits >> count);
        }
    }
};

// Huffman-codes the AC terms of a quantised block (zig-zag order, as CodeAc gives them; bit k
// of nonZero set when term k is not zero) into `words`, the last one filled from the top.
// Returns the number of bits.
__attribute__((always_inline)) inline int CodeAcTerms(const int16_t* q, uint64_t nonZero, const HuffCodes& ac,
                                                     uint32_t* words)
{
    CBitPacker p{0, 0, words};
    // Walk the non-zero terms; the gaps between them are the zero runs.
    int last = 0;
    while (nonZero != 0) {
        const int k = std::countr_zero(nonZero);
        nonZero &= nonZero - 1;
        int zeros = k - last - 1;
        last = k;
        while (zeros > 15) {
            p.Put(ac.code[0xF0], ac.length[0xF0]);
            zeros -= 16;
        }
        const int coded = q[k];
        const int s = coded >> 10;
        const int symbol = (zeros << 4) | s;
        p.Put((uint32_t{ac.code[symbol]} << s) | (coded & 0x3FF), ac.length[symbol] + s);
    }
    if (last != 63)
        p.Put(ac.code[0x00], ac.length[0x00]);
    const int total = static_cast<int>(p.out - words) * 32 + p.count;
    if (p.count > 0)
        *p.out = static_cast<uint32_t>(p.bits << (32 - p.count));
    return total;
}

// Codes one block into the file's data: its DC term against the prediction of its component,
// then its AC terms as CodeAcTerms packed them.
__attribute__((always_inline)) inline void EncodeBlock(CBitWriter& w, int dcTerm, const uint32_t* acWords,
                                                      int acBits, int& prediction, const HuffCodes& dc)
{
    const int diff = dcTerm - prediction;
    prediction = dcTerm;
    const int magnitude = diff < 0 ? -diff : diff;
    const int size = BitSize(magnitude);
    const uint32_t extra = static_cast<uint32_t>(diff < 0 ? diff - 1 : diff) & ((1u << size) - 1);
    w.Put((uint32_t{dc.code[size]} << size) | extra, dc.length[size] + size);

    const int full = acBits >> 5;
    for (int i = 0; i < full; ++i)
        w.Put(acWords[i], 32);
    const int rest = acBits & 31;
    if (rest != 0)
        w.Put(acWords[full] >> (32 - rest), rest);
}

// --- Transform ------------------------------------------------------------------------------

// The transform is built twice, for AVX2 and for the baseline instruction set, and picked by
// the processor at the first call. (Clang refuses the 256-bit vector helpers across the
// instruction-set boundary; its builds take the baseline only.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define SMRA_HAVE_AVX2_BUILD 1
#endif

// Four doubles, one AVX2 register (two SSE registers in the baseline build). Four MCUs side
// by side are transformed together, lane j holding MCU j: the same pixel, sample or
// coefficient of each.
typedef double D4 __attribute__((vector_size(32)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef int16_t S4 __attribute__((vector_size(8)));

#if defined(__clang__)
#define SMRA_SHUFFLE4(a, b, i0, i1, i2, i3) __builtin_shufflevector(a, b, i0, i1, i2, i3)
#else
#define SMRA_SHUFFLE4(a, b, i0, i1, i2, i3) __builtin_shuffle(a, b, I4{i0, i1, i2, i3})
#endif

// MCUs per unit of work handed to a thread; a multiple of the four lanes.
constexpr int kChunkMcus = 8;

// One 8x8 DCT pass over eight samples d[0], d[step], ..., d[7 step] (Loeffler-Ligtenberg-
// Moschytz factorisation), leaving the results scaled by sqrt(8). V is double or D4.
template <typename V>
__attribute__((always_inline)) inline void DctLine(V* d, int step)
{
    V tmp0 = d[0 * step] + d[7 * step];
    V tmp7 = d[0 * step] - d[7 * step];
    V tmp1 = d[1 * step] + d[6 * step];
    V tmp6 = d[1 * step] - d[6 * step];
    V tmp2 = d[2 * step] + d[5 * step];
    V tmp5 = d[2 * step] - d[5 * step];
    V tmp3 = d[3 * step] + d[4 * step];
    V tmp4 = d[3 * step] - d[4 * step];

    V tmp10 = tmp0 + tmp3;
    V tmp13 = tmp0 - tmp3;
    V tmp11 = tmp1 + tmp2;
    V tmp12 = tmp1 - tmp2;
    d[0 * step] = tmp10 + tmp11;
    d[4 * step] = tmp10 - tmp11;
    V z1 = (tmp12 + tmp13) * 0.541196100;
    d[2 * step] = z1 + tmp13 * 0.765366865;
    d[6 * step] = z1 - tmp12 * 1.847759065;

    z1 = tmp4 + tmp7;
    V z2 = tmp5 + tmp6;
    V z3 = tmp4 + tmp6;
    V z4 = tmp5 + tmp7;
    V z5 = (z3 + z4) * 1.175875602;
    tmp4 *= 0.298631336;
    tmp5 *= 2.053119869;
    tmp6 *= 3.072711026;
    tmp7 *= 1.501321110;
    z1 *= -0.899976223;
    z2 *= -2.562915447;
    z3 *= -1.961570560;
    z4 *= -0.390180644;
    z3 += z5;
    z4 += z5;
    d[7 * step] = tmp4 + z1 + z3;
    d[5 * step] = tmp5 + z2 + z4;
    d[3 * step] = tmp6 + z2 + z3;
    d[1 * step] = tmp7 + z1 + z4;
}

// Rows, then columns; both passes scale by sqrt(8), so the final division by 8 gives the JPEG
// definition.
template <typename V>
__attribute__((always_inline)) inline void Dct8x8(V* block)
{
    for (int row = 0; row < 8; ++row)
        DctLine(block + row * 8, 1);
    for (int col = 0; col < 8; ++col)
        DctLine(block + col, 8);
    for (int i = 0; i < 64; ++i)
        block[i] = block[i] / 8.0;
}

// What the transform of one strip needs.
struct CStripJob {
    const uint32_t* strip;
    int width;
    int rowsInPicture;
    // Per block (six per MCU): the DC term, the coded AC terms and their number of bits.
    int16_t* dcTerms;
    uint32_t* acWords;  // kMaxAcWords per block
    uint16_t* acBits;
    const double* lumQuant;    // natural order
    const double* chromQuant;  // natural order
    const HuffCodes* acLum;
    const HuffCodes* acChrom;
};

// The pixels of MCU i: 16 rows of 16, `stride` apart. Positions right of or below the picture
// repeat the last picture pixel in scan order (row by row, left to right), which pads the
// edges with the nearest earlier picture sample; every MCU starts with a picture pixel, so the
// padding never reaches back into another MCU. Edge MCUs are copied, padded, into `pad`.
__attribute__((always_inline)) inline const uint32_t* McuPixels(const CStripJob& job, int i, uint32_t pad[256],
                                                              ptrdiff_t& stride)
{
    const int x0 = 16 * i;
    const int cols = std::min(16, job.width - x0);
    const int rows = job.rowsInPicture;
    const uint32_t* src = job.strip + x0;
    if (cols == 16 && rows == 16) {
        stride = job.width;
        return src;
    }
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            const int sr = r < rows ? r : rows - 1;
            const int sc = r < rows ? std::min(c, cols - 1) : cols - 1;
            pad[r * 16 + c] = src[static_cast<ptrdiff_t>(sr) * job.width + sc];
        }
    }
    stride = 16;
    return pad;
}

// Bit k set when coefficient k (k >= 1) of a zig-zag block is not zero.
__attribute__((always_inline)) inline uint64_t NonZeroAc(const int16_t* q)
{
#if defined(__SSE2__)
    // Saturating packs keep zero and non-zero apart.
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * i + 8));
        const int z = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_packs_epi16(a, b), zero));
        zeros |= static_cast<uint64_t>(static_cast<uint16_t>(z)) << (16 * i);
    }
    return ~zeros & ~uint64_t{1};
#else
    uint64_t mask = 0;
    for (int k = 1; k < 64; ++k)
        mask |= static_cast<uint64_t>(q[k] != 0) << k;
    return mask;
#endif
}

// An AC coefficient v (|v| <= 1023) as the entropy coder takes it: its size class s (the bit
// length of |v|) in bits 10 to 13 and its s extra bits below (v, or v + 2^s - 1 when
// negative); 0 stays 0. |v| converts to a float exactly; its exponent field is s + 126, and
// the float with exponent field s + 127 and no mantissa is 2^s.
__attribute__((always_inline)) inline I4 CodeAc(I4 v)
{
    typedef float F4 __attribute__((vector_size(16)));
    const I4 sign = v >> 31;
    const I4 magnitude = (v ^ sign) - sign;
    const F4 f = __builtin_convertvector(magnitude, F4);
    I4 exponent;
    std::memcpy(&exponent, &f, sizeof exponent);
    exponent >>= 23;
    const I4 powerBits = (exponent + 1) << 23;
    F4 power;
    std::memcpy(&power, &powerBits, sizeof power);
    const I4 bits = v + (sign & (__builtin_convertvector(power, I4) - 1));
    const I4 coded = ((exponent - 126) << 10) | bits;
    return v == 0 ? I4{} : coded;
}

// Quantises one transformed block of each lane (truncation toward zero; the bounds keep every
// value codable in baseline JPEG) and codes the AC terms of lanes 0..count-1. Block `b` of the
// lanes' MCUs goes to the job's slots from block index `slot` on, six blocks per MCU.
__attribute__((always_inline)) inline void QuantiseLanes(const D4 block[64], const double* quantNatural,
                                                        const HuffCodes& ac, const CStripJob& job, size_t slot,
                                                        int count)
{
    const D4 lo = {-2047.0, -2047.0, -2047.0, -2047.0};
    const D4 hi = {2047.0, 2047.0, 2047.0, 2047.0};
    const I4 acLo = {-1023, -1023, -1023, -1023};
    const I4 acHi = {1023, 1023, 1023, 1023};
    I4 zigZag[64];
    for (int k = 0; k < 64; ++k) {
        const int i = kNaturalOrder[k];
        D4 v = block[i] / quantNatural[i];
        v = v < lo ? lo : v;
        v = v > hi ? hi : v;
        I4 n = __builtin_convertvector(v, I4);
        if (k != 0) {
            n = n < acLo ? acLo : n;
            n = n > acHi ? acHi : n;
            // Most high-frequency terms are zero in all four lanes.
            uint64_t halves[2];
            std::memcpy(halves, &n, sizeof halves);
            if ((halves[0] | halves[1]) != 0)
                n = CodeAc(n);
        }
        zigZag[k] = n;
    }
    // Four terms of four lanes at a time, turned so that each vector holds one lane's.
    alignas(16) int16_t terms[4][64];
    for (int k = 0; k < 64; k += 4) {
        const I4 t0 = SMRA_SHUFFLE4(zigZag[k], zigZag[k + 1], 0, 4, 1, 5);
        const I4 t1 = SMRA_SHUFFLE4(zigZag[k], zigZag[k + 1], 2, 6, 3, 7);
        const I4 t2 = SMRA_SHUFFLE4(zigZag[k + 2], zigZag[k + 3], 0, 4, 1, 5);
        const I4 t3 = SMRA_SHUFFLE4(zigZag[k + 2], zigZag[k + 3], 2, 6, 3, 7);
        const I4 lanes[4] = {SMRA_SHUFFLE4(t0, t2, 0, 1, 4, 5), SMRA_SHUFFLE4(t0, t2, 2, 3, 6, 7),
                             SMRA_SHUFFLE4(t1, t3, 0, 1, 4, 5), SMRA_SHUFFLE4(t1, t3, 2, 3, 6, 7)};
        for (int j = 0; j < count; ++j) {
            const S4 narrow = __builtin_convertvector(lanes[j], S4);
            std::memcpy(terms[j] + k, &narrow, sizeof narrow);
        }
    }
    for (int j = 0; j < count; ++j) {
        const size_t b = slot + static_cast<size_t>(j) * 6;
        job.dcTerms[b] = terms[j][0];
        job.acBits[b] = static_cast<uint16_t>(
            CodeAcTerms(terms[j], NonZeroAc(terms[j]), ac, job.acWords + b * kMaxAcWords));
    }
}

// Transforms `count` (1 to 4) MCUs from MCU `first` on, one per lane; spare lanes repeat the
// last MCU and their results are dropped.
//   Y  = 0.299 R + 0.587 G + 0.114 B, centred on 127.75 rather than 128: the decoder adds 128
//        back, which keeps mid-tones a quarter step brighter;
//   Cb = -0.16874 R - 0.33126 G + 0.5 B,  Cr = 0.5 R - 0.41869 G - 0.08131 B,
// each chroma sample the mean of a 2 x 2 group, added in scan order.
__attribute__((always_inline)) inline void TransformQuad(const CStripJob& job, int first, int count)
{
    uint32_t pad[4][256];
    const uint32_t* base[4];
    ptrdiff_t stride[4];
    for (int j = 0; j < 4; ++j)
        base[j] = McuPixels(job, first + std::min(j, count - 1), pad[j], stride[j]);

    D4 lum[4][64];  // top-left, top-right, bottom-left, bottom-right
    D4 cb[64];
    D4 cr[64];
    for (int r = 0; r < 16; ++r) {
        D4* lumRow = lum[(r >> 3) * 2] + (r & 7) * 8;
        D4* cbRow = cb + (r >> 1) * 8;
        D4* crRow = cr + (r >> 1) * 8;
        for (int c0 = 0; c0 < 16; c0 += 4) {
            // Four pixels of each MCU, turned so that each vector holds one pixel of every MCU.
            I4 v[4];
            for (int j = 0; j < 4; ++j)
                std::memcpy(&v[j], base[j] + r * stride[j] + c0, sizeof(I4));
            const I4 t0 = SMRA_SHUFFLE4(v[0], v[1], 0, 4, 1, 5);
            const I4 t1 = SMRA_SHUFFLE4(v[0], v[1], 2, 6, 3, 7);
            const I4 t2 = SMRA_SHUFFLE4(v[2], v[3], 0, 4, 1, 5);
            const I4 t3 = SMRA_SHUFFLE4(v[2], v[3], 2, 6, 3, 7);
            const I4 px[4] = {SMRA_SHUFFLE4(t0, t2, 0, 1, 4, 5), SMRA_SHUFFLE4(t0, t2, 2, 3, 6, 7),
                              SMRA_SHUFFLE4(t1, t3, 0, 1, 4, 5), SMRA_SHUFFLE4(t1, t3, 2, 3, 6, 7)};
            for (int d = 0; d < 4; ++d) {
                const int c = c0 + d;
                const D4 red = __builtin_convertvector(px[d] & 0xFF, D4);
                const D4 green = __builtin_convertvector((px[d] >> 8) & 0xFF, D4);
                const D4 blue = __builtin_convertvector((px[d] >> 16) & 0xFF, D4);
                (lumRow + (c >> 3) * 64)[c & 7] = 0.299 * red + 0.587 * green + 0.114 * blue - 127.75;
                const D4 u = -0.16874 * red - 0.33126 * green + 0.5 * blue;
                const D4 w = 0.5 * red - 0.41869 * green - 0.08131 * blue;
                if ((r & 1) == 0 && (c & 1) == 0) {
                    cbRow[c >> 1] = u;
                    crRow[c >> 1] = w;
                } else {
                    cbRow[c >> 1] += u;
                    crRow[c >> 1] += w;
                }
            }
        }
    }
    for (int i = 0; i < 64; ++i) {
        cb[i] = cb[i] / 4.0;
        cr[i] = cr[i] / 4.0;
    }

    const size_t slot = static_cast<size_t>(first) * 6;
    for (int b = 0; b < 4; ++b) {
        Dct8x8(lum[b]);
        QuantiseLanes(lum[b], job.lumQuant, *job.acLum, job, slot + b, count);
    }
    Dct8x8(cb);
    QuantiseLanes(cb, job.chromQuant, *job.acChrom, job, slot + 4, count);
    Dct8x8(cr);
    QuantiseLanes(cr, job.chromQuant, *job.acChrom, job, slot + 5, count);
}

// Transforms MCUs first..last-1 of a strip.
__attribute__((always_inline)) inline void TransformMcusBody(const CStripJob& job, int first, int last)
{
    for (int i = first; i < last; i += 4)
        TransformQuad(job, i, std::min(4, last - i));
}

void TransformMcusBaseline(const CStripJob& job, int first, int last)
{
    TransformMcusBody(job, first, last);
}

#ifdef SMRA_HAVE_AVX2_BUILD
__attribute__((target("avx2"))) void TransformMcusAvx2(const CStripJob& job, int first, int last)
{
    TransformMcusBody(job, first, last);
}
#endif

void TransformMcus(const CStripJob& job, int first, int last, bool baselineOnly)
{
#ifdef SMRA_HAVE_AVX2_BUILD
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && !baselineOnly) {
        TransformMcusAvx2(job, first, last);
        return;
    }
#endif
    (void)baselineOnly;
    TransformMcusBaseline(job, first, last);
}

}  // namespace

CJpegEncoder::~CJpegEncoder()
{
    StopWorkers();
}

bool CJpegEncoder::SetComment(const std::string& text)
{
    if (text.size() >= MaxCommentLength)
        return false;
    m_comment = text;
    return true;
}

int CJpegEncoder::BeginWrite(const std::string& path, int width, int height, int dpi,
                             int quality)
{
    if (m_open) {
        StopWorkers();
        m_file.Discard();
        m_open = false;
    }
    if (path.empty() || width < 1 || height < 1 || quality < 1)
        return -1;
    if (width > MaxSide || height > MaxSide) {
        ShowMessage(Catalogue().tooBigToCreate);
        return -1;
    }

    m_width = width;
    m_height = height;
    m_mcuColumns = (width - 1) / 16 + 1;
    m_mcuRows = (height - 1) / 16 + 1;
    m_nextStrip = 0;

    // Quality 10 gives divisor 18 (finest), 3 gives 5, 1 gives 1; very large numbers only make
    // every table value 1, so the divisor is bounded before the conversion.
    int divisor = static_cast<int>(std::min(quality * 1.8, 100000.0));
    for (int k = 0; k < 64; ++k) {
        m_lumQuant[k] = static_cast<uint8_t>(kLumQuantBase[kNaturalOrder[k]] / divisor + 1);
        m_chromQuant[k] = static_cast<uint8_t>(kChromQuantBase[kNaturalOrder[k]] / divisor + 1);
        m_lumQuantNatural[kNaturalOrder[k]] = m_lumQuant[k];
        m_chromQuantNatural[kNaturalOrder[k]] = m_chromQuant[k];
    }
    m_dcPrediction[0] = m_dcPrediction[1] = m_dcPrediction[2] = 0;
    m_bitBuffer = 0;
    m_bitCount = 0;
    m_bytes.resize(static_cast<size_t>(m_mcuColumns) * kMaxMcuBytes + 64);
    m_byteCount = 0;
    for (int k = 0; k < 2; ++k) {
        const size_t blocks = static_cast<size_t>(m_mcuColumns) * 6;
        m_dcTerms[k].resize(blocks);
        m_acWords[k].resize(blocks * kMaxAcWords);
        m_acBits[k].resize(blocks);
    }

    if (!m_file.Open(path))
        return -1;

    uint16_t density = static_cast<uint16_t>(std::clamp(dpi, 1, 65535));
    std::vector<uint8_t> head = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00,
                                 0x01, 0x02, 0x01,
                                 static_cast<uint8_t>(density >> 8),
                                 static_cast<uint8_t>(density & 0xFF),
                                 static_cast<uint8_t>(density >> 8),
                                 static_cast<uint8_t>(density & 0xFF), 0x00, 0x00};
    size_t n = m_comment.size();
    if (n > 0) {
        head.insert(head.end(), {0xFF, 0xFE, 0x00, static_cast<uint8_t>(n + 3)});
        head.insert(head.end(), m_comment.begin(), m_comment.end());
        head.push_back(0x00);
        m_comment.clear();
    }
    head.insert(head.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    head.insert(head.end(), m_lumQuant, m_lumQuant + 64);
    head.insert(head.end(), {0xFF, 0xDB, 0x00, 0x43, 0x01});
    head.insert(head.end(), m_chromQuant, m_chromQuant + 64);
    head.insert(head.end(),
                {0xFF, 0xC0, 0x00, 0x11, 0x08, static_cast<uint8_t>(height >> 8),
                 static_cast<uint8_t>(height & 0xFF), static_cast<uint8_t>(width >> 8),
                 static_cast<uint8_t>(width & 0xFF), 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01,
                 0x03, 0x11, 0x01});
    AppendDht(head, 0x00, kDcLumBits, kDcLumVals, 12);
    AppendDht(head, 0x10, kAcLumBits, kAcLumVals, 162);
    AppendDht(head, 0x01, kDcChromBits, kDcChromVals, 12);
    AppendDht(head, 0x11, kAcChromBits, kAcChromVals, 162);
    head.insert(head.end(),
                {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00});
    if (!m_file.Write(head.data(), head.size())) {
        m_file.Discard();
        return -1;
    }
    m_open = true;

    int workers = m_workersWanted;
    if (workers < 0) {
        // Helpers pay off only on strips wide enough to share and pictures large enough to
        // outweigh starting them.
        workers = 0;
        if (static_cast<int64_t>(width) * height >= (int64_t(1) << 20) && m_mcuColumns >= 4 * kChunkMcus) {
            const unsigned hw = std::thread::hardware_concurrency();
            workers = static_cast<int>(std::min<unsigned>(hw > 1 ? hw - 1 : 0, 3));
        }
    }
    StartWorkers(std::min(workers, 16));
    return 1;
}

void CJpegEncoder::StartWorkers(int count)
{
    uint64_t generation;
    {
        std::lock_guard lock(m_mutex);
        generation = m_generation;
    }
    try {
        for (int i = 0; i < count; ++i)
            m_workers.emplace_back([this, generation] {
                uint64_t seen = generation;
                std::unique_lock lock(m_mutex);
                for (;;) {
                    m_workReady.wait(lock, [&] { return m_stopping || m_generation != seen; });
                    if (m_stopping)
                        return;
                    seen = m_generation;
                    ++m_active;
                    lock.unlock();
                    TransformChunks();
                    lock.lock();
                    if (--m_active == 0)
                        m_workDone.notify_all();
                }
            });
    } catch (const std::system_error&) {
        // fewer helpers than asked; the calling thread and the ones started share the work
    }
}

void CJpegEncoder::StopWorkers()
{
    if (m_workers.empty())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_workReady.notify_all();
    for (auto& t : m_workers)
        t.join();
    m_workers.clear();
    m_stopping = false;
    m_active = 0;
}

void CJpegEncoder::TransformChunks()
{
    const int k = m_jobBuffer;
    const CStripJob job = {m_jobStrip,         m_width,          m_jobRows,          m_dcTerms[k].data(),
                           m_acWords[k].data(), m_acBits[k].data(), m_lumQuantNatural, m_chromQuantNatural,
                           &AcLumCodes(),       &AcChromCodes()};
    for (;;) {
        const int chunk = m_nextChunk.fetch_add(1, std::memory_order_relaxed);
        if (chunk >= m_chunkCount)
            return;
        const int first = chunk * kChunkMcus;
        TransformMcus(job, first, std::min(first + kChunkMcus, m_mcuColumns), m_jobBaseline);
        if (m_chunksDone.fetch_add(1, std::memory_order_acq_rel) + 1 == m_chunkCount) {
            std::lock_guard lock(m_mutex);
            m_workDone.notify_all();
        }
    }
}

int CJpegEncoder::WriteStrip(const uint32_t* strip, size_t count, int n)
{
    if (!m_open || m_file.Failed() || n != m_nextStrip || n >= m_mcuRows)
        return -1;
    int rowsInPicture = std::min(16, m_height - 16 * n);
    if (strip == nullptr || count < static_cast<size_t>(m_width) * rowsInPicture)
        return -1;
    ++m_nextStrip;

    // Hand this strip's transform to the helpers, entropy-code the previous strip meanwhile,
    // then take the chunks still left. The strip is not read after this call returns.
    {
        std::unique_lock lock(m_mutex);
        m_workDone.wait(lock, [&] { return m_active == 0; });
        m_jobStrip = strip;
        m_jobRows = rowsInPicture;
        m_jobBuffer = n & 1;
        m_jobBaseline = m_baselineOnly;
        m_chunkCount = (m_mcuColumns - 1) / kChunkMcus + 1;
        m_nextChunk.store(0, std::memory_order_relaxed);
        m_chunksDone.store(0, std::memory_order_relaxed);
        ++m_generation;
    }
    if (!m_workers.empty())
        m_workReady.notify_all();

    bool ok = true;
    if (n > 0) {
        EncodeStrip((n - 1) & 1);
        ok = FlushBuffer();
    }
    TransformChunks();
    {
        std::unique_lock lock(m_mutex);
        m_workDone.wait(lock, [&] { return m_chunksDone.load(std::memory_order_acquire) == m_chunkCount; });
    }
    return ok ? 1 : -1;
}

void CJpegEncoder::EncodeStrip(int buffer)
{
    const int16_t* dcTerms = m_dcTerms[buffer].data();
    const uint32_t* acWords = m_acWords[buffer].data();
    const uint16_t* acBits = m_acBits[buffer].data();
    const HuffCodes& dcLum = DcLumCodes();
    const HuffCodes& dcChrom = DcChromCodes();
    CBitWriter w{m_bitBuffer, m_bitCount, m_bytes.data() + m_byteCount};
    int predictions[3] = {m_dcPrediction[0], m_dcPrediction[1], m_dcPrediction[2]};
    const size_t blocks = static_cast<size_t>(m_mcuColumns) * 6;
    for (size_t b = 0; b < blocks; b += 6) {
        for (size_t y = b; y < b + 4; ++y)
            EncodeBlock(w, dcTerms[y], acWords + y * kMaxAcWords, acBits[y], predictions[0], dcLum);
        EncodeBlock(w, dcTerms[b + 4], acWords + (b + 4) * kMaxAcWords, acBits[b + 4], predictions[1], dcChrom);
        EncodeBlock(w, dcTerms[b + 5], acWords + (b + 5) * kMaxAcWords, acBits[b + 5], predictions[2], dcChrom);
    }
    std::copy_n(predictions, 3, m_dcPrediction);
    m_bitBuffer = w.bits;
    m_bitCount = w.count;
    m_byteCount = static_cast<size_t>(w.out - m_bytes.data());
}

void CJpegEncoder::ForwardDct(double block[64])
{
    Dct8x8(block);
}

bool CJpegEncoder::FlushBuffer()
{
    bool ok = m_file.Write(m_bytes.data(), m_byteCount);
    m_byteCount = 0;
    return ok;
}

int CJpegEncoder::EndWrite(int status)
{
    if (!m_open)
        return -1;
    m_open = false;
    StopWorkers();
    if (status < 0 || m_nextStrip != m_mcuRows) {
        // A cancelled or failed save, or one that stopped short of the last strip.
        m_file.Discard();
        return status < 0 ? 1 : -1;
    }
    // The last strip's coefficients still wait for the entropy coder.
    if (m_file.Failed()) {
        m_file.Discard();
        return -1;
    }
    EncodeStrip((m_mcuRows - 1) & 1);
    // Pad the last partial byte with 1-bits (stuffed like any other data byte).
    CBitWriter w{m_bitBuffer, m_bitCount, m_bytes.data() + m_byteCount};
    w.EmitWholeBytes();
    if (w.count > 0) {
        w.Put((1u << (8 - w.count)) - 1, 8 - w.count);
        w.EmitWholeBytes();
    }
    *w.out++ = 0xFF;
    *w.out++ = 0xD9;
    m_byteCount = static_cast<size_t>(w.out - m_bytes.data());
    if (!FlushBuffer()) {
        m_file.Discard();
        return -1;
    }
    return m_file.Commit() ? 1 : -1;
}

CJpegEncoder& JpegEncoder()
{
    static CJpegEncoder encoder;
    return encoder;
}

// Entry functions of the image-file dispatch.
bool JpegSetComment(const std::string& comment)
{
    return JpegEncoder().SetComment(comment);
}

int JpegBeginWrite(const std::string& path, int width, int height, int dpi, int quality)
{
    return JpegEncoder().BeginWrite(path, width, height, dpi, quality);
}

int JpegWriteStrip(const CPixelArray& strip, int n)
{
    return JpegEncoder().WriteStrip(strip.GetData(), static_cast<size_t>(strip.GetSize()), n);
}

int JpegEndWrite(int status)
{
    return JpegEncoder().EndWrite(status);
}

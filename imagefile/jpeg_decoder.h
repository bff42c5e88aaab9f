// Baseline JPEG decoding (sequential, Huffman-coded, 8-bit, three components): the marker walk
// and its segments, the Huffman and quantisation tables, entropy decoding, the integer inverse
// transform, chroma up-sampling and colour conversion, at full scale or at one eighth (DC
// coefficients only). One CJpegDecoder serves one read of one file; nothing is shared between
// reads. Reading a picture at a requested size is built on it in jpeg_picture_read.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/basic_types.h"
#include "imagefile/exif.h"

// Bits of the table that decodes short Huffman codes in one look-up.
constexpr int kJpegLookBits = 10;

struct CJpegHuffTable {
    bool present = false;
    uint8_t bits[17] = {};     // code counts per length 1-16 (index 0 unused)
    uint8_t huffval[260] = {}; // symbols as read
    int count = 0;

    // Built by BuildHuffmanLookup.
    bool built = false;
    int32_t maxcode[18] = {};   // last code of each length, -1 for a length without codes
    int32_t valoffset[18] = {}; // symbol index of a code of length l = code + valoffset[l]
    // Indexed by the next kJpegLookBits bits: (symbol << 8) | code length, or, with bit 7 set,
    // a pre-decoded value: (value << 16) | (run << 8) | 0x80 | (code length + value bits).
    // 0 where no code of up to kJpegLookBits bits starts the pattern.
    int32_t lookup[1 << kJpegLookBits] = {};
};

// Builds the canonical codes of a table and its look-up; -1 when the table has more than 256
// symbols or its counts over-fill the code space.
int BuildHuffmanLookup(CJpegHuffTable& table);

// The coefficients of one MCU row as entropy decoding leaves them for reconstruction.
struct CJpegRowCoefficients {
    std::vector<int32_t> coef;   // 64 per block, natural order, dequantised; zero where unset
    std::vector<uint64_t> mask;  // per block: bit k set when coef[k] may be non-zero
    std::vector<uint8_t> full;   // per MCU: 1 = all coefficients, 0 = DC only
};

class CJpegDecoder {
public:
    explicit CJpegDecoder(CByteSource& src);

    // The marker walk: mode 1 stops after the frame header, mode 2 after an APP1 segment, any
    // other mode at the scan header. 1, or a negative code (-1 format or read failure, -5 out
    // of memory).
    int ParseMarkers(int mode);
    bool HasFrame() const { return m_haveFrame; }
    bool HasScan() const { return m_haveScan; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // The comment segment of the file ("" when none).
    const std::string& Comment() const { return m_comment; }
    // The camera data the marker walk met, kept in the decoder (nothing process-wide is
    // touched); the caller sets its starting values before the walk and publishes it after.
    CJpegCameraData& Camera() { return m_camera; }

    // After a walk that reached the scan: the MCU layout (-1 for sampling factors outside the
    // six decoded layouts), then the tables (-1 when a table the scan needs is missing or
    // damaged). PrepareDecoding also clears the DC predictions and starts the restart count.
    int SelectSamplingLayout();
    int PrepareDecoding();

    int McusAcross() const { return m_mcusAcross; }
    int McusDown() const { return m_mcusDown; }
    int McuWidth() const { return m_mcuWidth; }
    int McuHeight() const { return m_mcuHeight; }
    int PaddedWidth() const { return m_mcusAcross * m_mcuWidth; }

    // Sizes a row's storage (out of memory: false).
    bool AllocateRow(CJpegRowCoefficients& row) const;
    // Entropy-decodes the next MCU row: MCUs c0..c1 with all coefficients, the others DC only
    // (all at DC cost when dcOnly). 1, or -1 on a bad code or exhausted data.
    int DecodeRowCoefficients(CJpegRowCoefficients& row, int c0, int c1, bool dcOnly);
    // Turns a decoded row into pixels at scale 1 or 8: dst has stride dstStride, and only the
    // first cols columns and rows rows are written (MCU column i starts at i * mcuWidth / scale).
    // Full-scale MCUs decoded at DC cost show each 8x8 block in its DC colour. The row's
    // coefficients are cleared for the next use.
    void ReconstructRow(CJpegRowCoefficients& row, int scale, COLORREF* dst, int dstStride, int cols, int rows) const;

    // Decodes the whole picture at scale 1 or 8 into out (width / scale by height / scale
    // pixels, row-major), with the tables prepared. abort is asked after each MCU row; true
    // stops the decode with 0. workers: threads beside the entropy decoding for reconstruction
    // (-1 = choose by picture size and cores). 1, 0 aborted, -1 decode failure, -5 out of memory.
    int DecodeScaled(COLORREF* out, int scale, const std::function<bool()>& abort, int workers = -1);

private:
    // Marker walk steps; p is the file position of the segment's length bytes.
    int ReadLength(int64_t p, int& length);
    int ReadBody(int64_t p, int length, std::vector<uint8_t>& body);
    // The length field at p and the body after it; -1 when the length lies outside
    // [minLength, maxLength] or the file ends first.
    int ReadSegment(int64_t p, int minLength, int maxLength, int& length, std::vector<uint8_t>& body);
    int ReadApp0(int64_t& p);
    int ReadDqt(int64_t& p);
    int ReadSof0(int64_t& p);
    int ReadDht(int64_t& p);
    int ReadDri(int64_t& p);
    int ReadApp14(int64_t& p);
    // Components stored as R, G, B (an Adobe segment with transform 0, or without that
    // segment the component ids 'R', 'G', 'B'): taken without colour conversion.
    bool IsRgb() const;
    int ReadCom(int64_t& p);
    int SkipSegment(int64_t& p);
    int ReadSos(int64_t& p);

    int DecodeMcuCoefficients(int32_t* coef, uint64_t* mask, bool full);
    void ReconstructMcu(const int32_t* coef, const uint64_t* mask, bool full, int scale, COLORREF* dst,
                        int dstStride, int cols, int rows) const;

    struct Component {
        int h = 0, v = 0, tq = 0;
        int td = -1, ta = -1;
    };
    struct BlockRecord {
        int component = 0; // 0 Y, 1 Cb, 2 Cr
        int dcTable = 0, acTable = 0, quantTable = 0;
        int x = 0, y = 0;  // offset inside the MCU, pixels
    };

    CByteSource& m_src;
    int64_t m_length = 0;

    // Tables.
    uint8_t m_quant[4][64] = {};
    bool m_quantPresent[4] = {};
    int32_t m_dequant[4][64] = {};
    CJpegHuffTable m_dc[4];
    CJpegHuffTable m_ac[4];

    // Frame and scan.
    bool m_haveFrame = false;
    bool m_haveScan = false;
    int m_width = 0;
    int m_height = 0;
    Component m_comp[3];
    int m_restartInterval = 0;
    int m_componentIds[3] = {};
    int m_adobeTransform = -1; // -1: no Adobe segment
    std::string m_comment;
    CExifInfo m_exif;
    CJpegCameraData m_camera;

    // MCU geometry.
    int m_hmax = 1, m_vmax = 1;
    int m_layoutBlocks = 0;
    int m_mcusAcross = 0, m_mcusDown = 0;
    int m_mcuWidth = 8, m_mcuHeight = 8;
    int m_upH = 1, m_upV = 1; // chroma up-sampling factors
    BlockRecord m_blocks[10];

    // Entropy-coded data, de-stuffed, followed by 0xFF 0 0 0 and zeros.
    std::vector<uint8_t> m_scan;
    int64_t m_scanSize = 0;
    size_t m_pos = 0;     // next byte to load into the reservoir
    uint64_t m_buf = 0;   // bit reservoir, next bit in bit 63
    int m_bits = 0;       // valid bits in the reservoir
    int m_dcPred[3] = {};
    int m_restartCountdown = 0;
};

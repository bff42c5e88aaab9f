// Baseline JFIF writer: three components, 4:2:0 sampling, the standard Huffman tables and
// quantisation tables scaled by a quality number; pictures arrive in strips of 16 rows.
// The transform of a strip, with the Huffman coding of each block's AC terms, may run on helper
// threads while the calling thread finishes the entropy coding of the strip before it (DC terms,
// joining the coded blocks, byte stuffing); the file is the same byte for byte however the work
// is shared.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imagefile/staged_output_file.h"

class CJpegEncoder {
public:
    // The largest side a baseline JPEG frame header can carry.
    static constexpr int MaxSide = 65535;
    // Longest comment kept (in bytes, exclusive).
    static constexpr size_t MaxCommentLength = 90;

    CJpegEncoder() = default;
    CJpegEncoder(const CJpegEncoder&) = delete;
    CJpegEncoder& operator=(const CJpegEncoder&) = delete;
    ~CJpegEncoder();

    // Keeps `text` as the comment of the next file; refused (false) when 90 bytes or longer.
    bool SetComment(const std::string& text);

    // Helper threads for the transform from the next BeginWrite on: -1 (the default) picks
    // them from the picture size and the processor count, 0 keeps all work on the calling
    // thread.
    void SetWorkers(int workers) { m_workersWanted = workers; }
    // Runs the transform in the baseline instruction set even where a wider one is present
    // (the output is the same).
    void UseBaselineTransform(bool baseline) { m_baselineOnly = baseline; }

    // 1 when the file is open and its headers are written; -1 for an empty path, a size out of
    // range (the "too big" text is shown for a side above 65535), a quality below 1 or a file
    // that cannot be created.
    int BeginWrite(const std::string& path, int width, int height, int dpi, int quality);
    // Encodes strip n (rows 16n..16n+15 of 0x00BBGGRR pixels, row 0 first; rows below the
    // picture are not read, and the array is not read after the call). Strips come in order
    // 0, 1, 2, ...; 1, or -1 on a write error, a strip out of order or an array too short for
    // the strip's rows. The coded data of a strip reach the file during the next call (or
    // EndWrite), so a write error may be reported one strip late.
    int WriteStrip(const uint32_t* strip, size_t count, int n);
    // Finishes the file. A negative status (cancelled or failed save) discards it; 1, or -1
    // when the file could not be completed.
    int EndWrite(int status);

    // The quantisation tables of the last BeginWrite, zig-zag order, as written to the file.
    const uint8_t* LuminanceTable() const { return m_lumQuant; }
    const uint8_t* ChrominanceTable() const { return m_chromQuant; }

    // Forward 8x8 DCT (orthonormal JPEG scaling) of `block` (natural order), in place.
    static void ForwardDct(double block[64]);

private:
    void StartWorkers(int count);
    void StopWorkers();
    void TransformChunks();
    // Entropy-codes the strip held in buffer 0 or 1 into m_bytes.
    void EncodeStrip(int buffer);
    bool FlushBuffer();

    CStagedOutputFile m_file;
    std::string m_comment;
    int m_workersWanted = -1;
    bool m_baselineOnly = false;
    int m_width = 0;
    int m_height = 0;
    int m_mcuColumns = 0;
    int m_mcuRows = 0;
    int m_nextStrip = 0;
    bool m_open = false;
    uint8_t m_lumQuant[64] = {};
    uint8_t m_chromQuant[64] = {};
    double m_lumQuantNatural[64] = {};
    double m_chromQuantNatural[64] = {};
    int m_dcPrediction[3] = {};
    uint64_t m_bitBuffer = 0;
    int m_bitCount = 0;
    // The strip being transformed and the one before it, which waits for the entropy coder:
    // per block (six per MCU) the quantised DC term, the Huffman-coded AC terms (a fixed
    // number of 32-bit words per block) and their number of bits.
    std::vector<int16_t> m_dcTerms[2];
    std::vector<uint32_t> m_acWords[2];
    std::vector<uint16_t> m_acBits[2];
    // Coded bytes not yet written: room for one strip's worst case, m_byteCount in use.
    std::vector<uint8_t> m_bytes;
    size_t m_byteCount = 0;

    // The strip being transformed, cut into chunks of MCU columns that the calling thread and
    // the helpers take in turn. The job fields change only under m_mutex while no helper is
    // active. They start on a cache line of their own, away from the entropy coder's state.
    alignas(64) const uint32_t* m_jobStrip = nullptr;
    int m_jobRows = 0;
    int m_jobBuffer = 0;
    bool m_jobBaseline = false;
    int m_chunkCount = 0;
    alignas(64) std::atomic<int> m_nextChunk{0};
    alignas(64) std::atomic<int> m_chunksDone{0};
    alignas(64) std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_workDone;
    uint64_t m_generation = 0;
    int m_active = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

// The program-wide JPEG writer used by the image-file dispatch.
CJpegEncoder& JpegEncoder();

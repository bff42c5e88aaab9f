// Fixtures for the JPEG reader tests: pictures generated in code and encoded by the system's
// JPEG library (the reader's peer), that library's own decode as a pixel oracle, segment
// surgery on encoded files, and our reader on bytes in memory.
#pragma once

// The library header needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "imagefile/exif.h"
#include "imagefile/jpeg_decoder.h"
#include "imagefile/jpeg_picture_read.h"
#include "imagefile/pixel_array.h"

namespace jpegtest {

using Bytes = std::vector<uint8_t>;

struct EncodeOptions {
    int quality = 90;
    // Sampling factors (h, v) of the three components.
    int yh = 2, yv = 2, ch = 1, cv = 1;
    int restartInterval = 0; // in MCUs
    bool progressive = false;
    bool arithmetic = false;
    bool optimize = false;
    bool grey = false;
    bool cmyk = false;
    bool rgbStored = false; // components R, G, B (Adobe segment, no colour transform)
};

// A colourful picture with smooth areas, edges and fine detail; no pixel is 0xF0F0F0.
inline std::vector<uint8_t> MakePicture(int w, int h, int seed = 0)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            const double fx = x / static_cast<double>(w), fy = y / static_cast<double>(h);
            int r = static_cast<int>(40 + 180 * fx + 20 * std::sin((x + seed) * 0.9));
            int g = static_cast<int>(30 + 170 * fy + ((x / 7 + y / 5 + seed) % 2) * 25);
            int b = static_cast<int>(200 - 150 * fx * fy + ((x * 13 + y * 7 + seed) % 17));
            if (((x - w / 3) * (x - w / 3) + (y - h / 2) * (y - h / 2)) < (w * h) / 40) {
                r = 230;
                g = 20;
                b = 40;
            }
            p[0] = static_cast<uint8_t>(std::clamp(r, 0, 235));
            p[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(b, 0, 255));
        }
    return rgb;
}

struct LibErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    int warnings = 0;
};

inline void LibErrorExit(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<LibErrorManager*>(cinfo->err)->jump, 1);
}

inline void LibEmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++reinterpret_cast<LibErrorManager*>(cinfo->err)->warnings;
}

inline Bytes Encode(int w, int h, const std::vector<uint8_t>& rgb, const EncodeOptions& o = {})
{
    jpeg_compress_struct c;
    LibErrorManager err;
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = LibErrorExit;
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        std::free(mem);
        ADD_FAILURE() << "encoding failed";
        return {};
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    std::vector<uint8_t> src = rgb;
    if (o.grey) {
        c.input_components = 1;
        c.in_color_space = JCS_GRAYSCALE;
        src.resize(static_cast<size_t>(w) * h);
        for (size_t i = 0; i < src.size(); ++i)
            src[i] = rgb[i * 3 + 1];
    } else if (o.cmyk) {
        c.input_components = 4;
        c.in_color_space = JCS_CMYK;
        src.resize(static_cast<size_t>(w) * h * 4);
        for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
            for (int k = 0; k < 3; ++k)
                src[i * 4 + k] = rgb[i * 3 + k];
            src[i * 4 + 3] = 128;
        }
    } else {
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
    }
    jpeg_set_defaults(&c);
    if (o.rgbStored)
        jpeg_set_colorspace(&c, JCS_RGB);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (!o.grey && !o.cmyk) {
        c.comp_info[0].h_samp_factor = o.yh;
        c.comp_info[0].v_samp_factor = o.yv;
        c.comp_info[1].h_samp_factor = c.comp_info[2].h_samp_factor = o.ch;
        c.comp_info[1].v_samp_factor = c.comp_info[2].v_samp_factor = o.cv;
    }
    c.restart_interval = static_cast<unsigned>(o.restartInterval);
    c.optimize_coding = o.optimize ? TRUE : FALSE;
    c.arith_code = o.arithmetic ? TRUE : FALSE;
    if (o.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    const int stride = c.input_components * w;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = &src[static_cast<size_t>(c.next_scanline) * stride];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

struct LibDecoded {
    bool ok = false;
    int warnings = 0;
    int width = 0, height = 0;
    bool baseline = false; // sequential Huffman, 8-bit, three components, one scan
    std::vector<uint8_t> rgb;
};

// The library's decode: accurate integer inverse DCT, its default (smooth) chroma up-sampling.
inline LibDecoded LibDecode(const Bytes& data)
{
    LibDecoded r;
    jpeg_decompress_struct c;
    LibErrorManager err;
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = LibErrorExit;
    err.pub.emit_message = LibEmitMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&c);
        r.ok = false;
        return r;
    }
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&c, TRUE);
    r.baseline = !c.progressive_mode && !c.arith_code && c.num_components == 3 && c.data_precision == 8 &&
                 c.comps_in_scan == 3;
    c.out_color_space = JCS_RGB;
    c.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&c);
    r.width = static_cast<int>(c.output_width);
    r.height = static_cast<int>(c.output_height);
    r.rgb.resize(static_cast<size_t>(r.width) * r.height * 3);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = &r.rgb[static_cast<size_t>(c.output_scanline) * r.width * 3];
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    r.warnings = err.warnings;
    r.ok = true;
    return r;
}

inline Bytes ReadBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline std::string WriteTemp(const std::string& name, const Bytes& data)
{
    const std::string path = std::string(SMRA_TEST_TMPDIR) + "/" + name;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return path;
}

// Our read of bytes in memory at the requested size and rectangle.
struct OurRead {
    int result = 0;
    CSize size;
    CPixelArray pixels;
};

// The picture's size from its frame header ((0, 0) when there is none).
inline CSize FrameSize(const Bytes& data)
{
    CMemoryByteSource src(data.data(), data.size(), "memory.jpg");
    CJpegDecoder dec(src);
    if (dec.ParseMarkers(1) < 1 || !dec.HasFrame())
        return CSize();
    return CSize(dec.Width(), dec.Height());
}

// requested (0, 0) reads at the picture's own size.
inline OurRead ReadOurs(const Bytes& data, CSize requested = CSize(), CRect rect = CRect())
{
    OurRead r;
    if (requested.cx == 0)
        requested = FrameSize(data);
    if (requested.cx == 0)
        requested = CSize(8, 8);
    CMemoryByteSource src(data.data(), data.size(), "memory.jpg");
    r.size = requested;
    r.result = JpegReadImageFrom(src, r.pixels, r.size, rect);
    return r;
}

// Position of the first segment with marker m (the 0xFF byte), or npos.
inline size_t FindMarker(const Bytes& d, uint8_t m)
{
    size_t p = 2;
    while (p + 4 <= d.size()) {
        if (d[p] != 0xFF)
            return std::string::npos;
        if (d[p + 1] == m)
            return p;
        if (d[p + 1] == 0xDA)
            return std::string::npos;
        p += 2 + ((d[p + 2] << 8) | d[p + 3]);
    }
    return std::string::npos;
}

inline size_t SegmentLength(const Bytes& d, size_t pos) { return 2 + ((d[pos + 2] << 8) | d[pos + 3]); }

inline Bytes RemoveSegment(Bytes d, size_t pos)
{
    d.erase(d.begin() + static_cast<ptrdiff_t>(pos), d.begin() + static_cast<ptrdiff_t>(pos + SegmentLength(d, pos)));
    return d;
}

inline Bytes Insert(Bytes d, size_t pos, const Bytes& what)
{
    d.insert(d.begin() + static_cast<ptrdiff_t>(pos), what.begin(), what.end());
    return d;
}

// A segment with marker m and the given body.
inline Bytes Segment(uint8_t m, const Bytes& body)
{
    const size_t l = body.size() + 2;
    Bytes s = {0xFF, m, static_cast<uint8_t>(l >> 8), static_cast<uint8_t>(l & 0xFF)};
    s.insert(s.end(), body.begin(), body.end());
    return s;
}

// PSNR (dB) and largest channel difference between our pixels and the library's RGB.
struct Difference {
    double psnr = 0;
    int maxDiff = 0;
};

inline Difference Compare(const CPixelArray& ours, const std::vector<uint8_t>& rgb)
{
    Difference d;
    double se = 0;
    const size_t n = static_cast<size_t>(ours.GetSize());
    for (size_t i = 0; i < n; ++i) {
        const COLORREF c = ours[static_cast<std::ptrdiff_t>(i)];
        const int v[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
        for (int k = 0; k < 3; ++k) {
            const int e = std::abs(v[k] - rgb[i * 3 + k]);
            se += e * e;
            d.maxDiff = std::max(d.maxDiff, e);
        }
    }
    const double mse = n ? se / (3.0 * n) : 0;
    d.psnr = mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
    return d;
}

inline bool AllPixels(const CPixelArray& p, COLORREF c)
{
    for (std::ptrdiff_t i = 0; i < p.GetSize(); ++i)
        if (p[i] != c)
            return false;
    return p.GetSize() > 0;
}

inline std::string TestData(const std::string& rel) { return std::string(SMRA_TESTDATA_DIR) + "/" + rel; }

} // namespace jpegtest

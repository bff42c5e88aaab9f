// Picture files that the readers refuse although nothing in them is damaged, each with the
// reason the refusal gives, and one damaged file that gets no reason. All are made here, in a
// scratch folder, and are a few hundred bytes at most (the too-large PNG is a header alone).
#pragma once

// The JPEG library's header needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#if SMRA_HAVE_LIBJPEG
#include <jpeglib.h>
#endif
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

struct RefusedPicture {
    std::string path;
    std::string reason; // "" for the damaged file
};

namespace refused_detail {

using Bytes = std::vector<uint8_t>;

inline void Write(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

#if SMRA_HAVE_LIBJPEG
enum class JpegKind { Baseline, Grey, Progressive, Cmyk };

// A 16 x 16 picture of a smooth ramp in the given kind, encoded by the system's JPEG library.
inline Bytes EncodeJpeg(JpegKind kind)
{
    constexpr int kSide = 16;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = kSide;
    c.image_height = kSide;
    c.input_components = kind == JpegKind::Grey ? 1 : kind == JpegKind::Cmyk ? 4 : 3;
    c.in_color_space = kind == JpegKind::Grey ? JCS_GRAYSCALE : kind == JpegKind::Cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(kSide * c.input_components));
    while (c.next_scanline < c.image_height) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<JSAMPLE>(8 * c.next_scanline + i);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}
#endif

inline void PutChunk(Bytes& png, const char* type, const Bytes& data)
{
    const uint32_t n = static_cast<uint32_t>(data.size());
    png.insert(png.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    const size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, png.data() + typeAt, static_cast<uInt>(png.size() - typeAt)));
    png.insert(png.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
}

// The signature, a sound header of an 8-bit RGB picture of width x height, and the start of
// its data: enough for a reader to learn the size.
inline Bytes PngHeader(uint32_t width, uint32_t height)
{
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto be = [](uint32_t v) { return Bytes{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; };
    Bytes ihdr = be(width);
    const Bytes h = be(height);
    ihdr.insert(ihdr.end(), h.begin(), h.end());
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", {0x78, 0x9C});
    return png;
}

} // namespace refused_detail

// Makes the files in the existing folder dir, replacing any left by an earlier run. The file that may not be read is
// left out when running as root, whom no permission bit stops.
inline std::vector<RefusedPicture> MakeRefusedPictures(const std::string& dir)
{
    using namespace refused_detail;
    std::vector<RefusedPicture> files;
    auto add = [&](const std::string& name, const std::string& reason) {
        files.push_back({dir + "/" + name, reason});
        std::error_code ec;
        std::filesystem::remove_all(files.back().path, ec);
        return files.back().path;
    };
    std::ofstream(add("empty.jpg", "empty file"));
    std::filesystem::create_directory(add("folder.jpg", "a folder"));
    EXPECT_EQ(::mkfifo(add("pipe.png", "not a regular file").c_str(), 0600), 0);
    Write(add("huge.png", "too large: 20000 x 20000 pixels, over the limit of 268435456 pixels"),
          PngHeader(20000, 20000));
#if SMRA_HAVE_LIBJPEG
    Write(add("grey.jpg", "grey-scale JPEG"), EncodeJpeg(JpegKind::Grey));
    Write(add("progressive.jpg", "progressive JPEG"), EncodeJpeg(JpegKind::Progressive));
    Write(add("cmyk.jpg", "CMYK JPEG"), EncodeJpeg(JpegKind::Cmyk));
    Bytes cut = EncodeJpeg(JpegKind::Baseline);
    cut.resize(cut.size() / 2);
    Write(add("cut.jpg", ""), cut);
    if (::geteuid() != 0) {
        const std::string locked = add("locked.jpg", "permission denied");
        Write(locked, EncodeJpeg(JpegKind::Baseline));
        EXPECT_EQ(::chmod(locked.c_str(), 0), 0);
    } else {
        std::printf("the unreadable file is left out: running as root\n");
    }
#endif
    return files;
}

} // namespace testsupport

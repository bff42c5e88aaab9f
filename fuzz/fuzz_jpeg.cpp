// Fuzz target of the JPEG reader: marker walk, tables, entropy decoding and reconstruction,
// through the picture read at the picture's own size, one eighth, a reduced canvas and a
// rectangle of it, on bytes in memory.
#include <cstddef>
#include <cstdint>

#include "imagefile/jpeg_decoder.h"
#include "imagefile/jpeg_picture_read.h"

namespace {

// Pictures above this many pixels are read only at reduced sizes, to keep runs short.
constexpr int64_t kMaxFuzzPixels = int64_t(1) << 22;

void Read(const uint8_t* data, size_t size, CSize canvas, CRect rect)
{
    if (canvas.cx < 1 || canvas.cy < 1 || int64_t(canvas.cx) * canvas.cy > kMaxFuzzPixels)
        return;
    CMemoryByteSource src(data, size, "fuzz.jpg");
    CPixelArray out;
    CSize s = canvas;
    JpegReadImageFrom(src, out, s, rect);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int w = 0, h = 0;
    {
        CMemoryByteSource src(data, size, "fuzz.jpg");
        CJpegDecoder probe(src);
        if (probe.ParseMarkers(1) > 0 && probe.HasFrame()) {
            w = probe.Width();
            h = probe.Height();
        }
    }
    Read(data, size, CSize(w, h), CRect());
    Read(data, size, CSize(w / 8, h / 8), CRect());
    Read(data, size, CSize(37, 23), CRect());
    Read(data, size, CSize(w / 2 + 1, h / 3 + 1), CRect(3, 2, 20, 9));
    return 0;
}

// Fuzz target for the BMP reader: the size query and reads at several requested sizes and
// regions of the bytes given, through the same code as files on disk.
#include "imagefile/bmp_codec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CRect own = GetBmpBytesRect(data, size);
    // Pictures that claim more than four megapixels would be decoded at their own size by
    // the whole-file path; the limit itself is tested elsewhere.
    if (int64_t(own.Width()) * own.Height() > (int64_t(1) << 22))
        return 0;
    struct Request {
        CSize size;
        CRect rect;
    } requests[] = {
        {CSize(64, 48), CRect()},
        {CSize(7, 31), CRect(2, 3, 6, 40)},
        {CSize(300, 10), CRect(-5, -5, 100, 5)},
        {own.Size(), CRect()},
    };
    for (const Request& r : requests) {
        if (r.size.cx < 1 || r.size.cy < 1)
            continue;
        CPixelArray pixels;
        CSize s = r.size;
        ReadBmpBytes(data, size, pixels, s, r.rect);
    }
    return 0;
}

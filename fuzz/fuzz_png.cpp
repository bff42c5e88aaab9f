// Fuzz entry for the PNG reader: size query, full-size read and a small fitted read of
// arbitrary bytes stored as a file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_input_file.h"
#include "imagefile/pixel_array.h"
#include "imagefile/png_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzInputFile(data, size, "png");
    if (path.empty())
        return 0;

    CPngCodec codec;
    int w = 0, h = 0;
    CPixelArray out;
    if (codec.GetImageSize(path, w, h) && int64_t{w} * h <= (int64_t{1} << 22)) {
        int cx = w, cy = h;
        codec.ReadImage(path, out, cx, cy);
    }
    int cx = 37, cy = 23;
    codec.ReadImage(path, out, cx, cy);
    std::remove(path.c_str());
    return 0;
}

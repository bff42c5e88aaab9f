// Fuzz entry for the TIFF reader: size query, full-size read and a small fitted read of
// arbitrary bytes stored as a file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_input_file.h"
#include "imagefile/pixel_array.h"
#include "imagefile/tiff_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzInputFile(data, size, "tif");
    if (path.empty())
        return 0;

    CTiffCodec codec;
    int w = 0, h = 0;
    CPixelArray out;
    if (codec.GetImageSize(path, w, h) && int64_t{w} * h <= (int64_t{1} << 22)) {
        int iw = 0, ih = 0;
        codec.ReadImage(path, out, w, h, iw, ih);
    }
    int iw = 0, ih = 0;
    codec.ReadImage(path, out, 37, 23, iw, ih);
    codec.ReadImage(path, out, 3, 2, iw, ih);
    std::remove(path.c_str());
    return 0;
}

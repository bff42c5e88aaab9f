// Fuzz entry for the PNG reader: size query, full-size read and a small fitted read of
// arbitrary bytes stored as a file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "imagefile/pixel_array.h"
#include "imagefile/png_codec.h"

namespace {

std::string InputPath()
{
    std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return dir + "/smra_fuzz_png_" + std::to_string(getpid()) + ".png";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = InputPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

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

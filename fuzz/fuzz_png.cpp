// Fuzz entry for the PNG reader: size query, full-size read and a small fitted read of
// arbitrary bytes stored as a file. The fuzzer runs with a malloc limit of 256 MB: no chunk a
// file claims may make the reader ask for more.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_input_file.h"
#include "imagefile/pixel_array.h"
#include "imagefile/png_codec.h"

// The libFuzzer driver reads its flags after this call: the malloc limit is added to them.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<char*> args;
    static char limit[] = "-malloc_limit_mb=256";
    args.assign(*argv, *argv + *argc);
    args.push_back(limit);
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
    return 0;
}

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

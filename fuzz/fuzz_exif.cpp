// Fuzz target of the EXIF reader: the input is read as a TIFF block and as an APP1 segment.
#include <cstddef>
#include <cstdint>

#include "imagefile/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMemoryByteSource src(data, size, "fuzz.jpg");
    CExifInfo info;
    bool headerValid = false;
    ReadExif(src, 0, info, headerValid);
    int64_t p = 0;
    ReadApp1(src, p, info, headerValid);
    CopyExifToLastValues(info);
    return 0;
}

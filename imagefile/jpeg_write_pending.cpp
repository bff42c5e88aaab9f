// Stand-in for the JPEG writer until it is built: every call is refused as for an unknown kind.
#include "imagefile/image_codecs.h"

bool JpegSetComment(const std::string&) { return false; }
int JpegBeginWrite(const std::string&, int, int, int, int) { return -1; }
int JpegWriteStrip(const CPixelArray&, int) { return -1; }
int JpegEndWrite(int) { return -1; }

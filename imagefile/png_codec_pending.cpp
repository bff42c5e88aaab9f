// Stand-in for the PNG codec until it is built: every call is refused as for an unknown kind.
#include "imagefile/image_codecs.h"

CRect PngGetImageRect(const std::string&) { return CRect(); }
int PngReadImage(const std::string&, CPixelArray&, CSize&) { return -1; }
int PngBeginWrite(const std::string&, int, int) { return -1; }
int PngWriteStrip(const CPixelArray&, int) { return -1; }
int PngEndWrite(int) { return -1; }

// Stand-in for the TIFF codec until it is built: every call is refused as for an unknown kind.
#include "imagefile/image_codecs.h"

CRect TiffGetImageRect(const std::string&) { return CRect(); }
int TiffReadImage(const std::string&, CPixelArray&, CSize&) { return -1; }
int TiffBeginWrite(const std::string&, int, int, int) { return -1; }
int TiffWriteStrip(const CPixelArray&, int) { return -1; }
int TiffEndWrite(int) { return -1; }

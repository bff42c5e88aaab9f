// Stand-in for the JPEG reader until it is built: every call is refused as for an unknown kind.
#include "imagefile/image_codecs.h"

CRect JpegGetImageRect(const std::string&) { return CRect(); }
int JpegReadImage(const std::string&, CPixelArray&, CSize&, const CRect&) { return -1; }

// Opening a folder of photos into a picture set, and one line of lens figures per picture:
// shared by the picinfo tool and the tests that run real photo sets.
#pragma once

#include <string>
#include <vector>

class CKpic;
class CMcomp;

// The image files of a folder that the picture set can open (BMP, JPEG, TIFF, PNG by their
// extension), sorted by name; empty when the folder cannot be read.
std::vector<std::string> ListPictureFiles(const std::string& folder);

// Opens every image file of the folder into the set, in name order; the number of pictures
// the set holds afterwards.
int OpenPictureFolder(CMcomp& set, const std::string& folder);

// Name of a lens source: "none", "size", "camera" or "exif".
std::string LensSourceName(int source);

// Column titles and one line per picture: path, width x height, lens focal, its source,
// minimum and default focal (pixels), camera model and EXIF focal length (mm).
std::string PictureLineHeader();
std::string FormatPictureLine(const CKpic& picture);

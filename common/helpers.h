// Free helpers shared by the codecs, the picture set and the document: path splitting, file
// kinds, zoom labels, print tiles, byte packing and ordered integer reads.
// Paths are native; both '/' and '\\' count as separators (older project files carry
// backslash paths).
#pragma once

#include <cstdint>
#include <string>

#include "common/basic_types.h"

enum FileKind : int {
    FILE_KIND_NONE = 0,
    FILE_KIND_PROJECT = 1,
    FILE_KIND_BMP = 2,
    FILE_KIND_JPEG = 3,
    FILE_KIND_TIFF = 4,
    FILE_KIND_PNG = 5,
    FILE_KIND_MOVIE = 6,
};

// The project file extension, upper-cased, without the dot.
const std::string& ProjectExtension();

std::string ToUpper(std::string s);
// True when the texts differ at most in the letter case of ASCII letters (paths and file names
// are compared so, as on a case-blind file system).
bool EqualsNoCase(const std::string& a, const std::string& b);
bool IsPathSeparator(char c);

// Text after the last "." of the file name, upper-cased; "" when there is none or the name
// begins with its only ".".
std::string GetFileExt(const std::string& path);
// Text after the last separator, upper-cased; "" when there is no separator.
std::string GetFileName(const std::string& path);
// Text before the last separator, case kept; "" when there is no separator.
std::string GetFolder(const std::string& path);
// Text before the last ".", upper-cased; "" when there is none.
std::string GetPathStem(const std::string& path);
// folder = text up to and including the last separator, name = the rest.
void SplitFolderAndName(const std::string& path, std::string* folder, std::string* name);
// name = text after the last separator; folder = the last folder's name with its separator
// (the whole folder part when it has no further separator). Without a separator name = path
// and folder is left unchanged.
void SplitLastFolderAndName(const std::string& path, std::string* folder, std::string* name);
// Full file name of the running program.
std::string GetProgramPath();

FileKind GetFileKind(const std::string& path);
// " 100%", " 50%", ... for reduction factors 1 to 64; " " for any other.
std::string GetZoomLabel(int n);

// Removes the file when it exists; errors are ignored.
void DeleteFileIfExists(const std::string& path);

// Grows r to include (x, y).
void IncludePoint(CRect* r, int x, int y);
// The rectangle of print tile (c, r) when w x h is cut into cells of cw x ch inside margin m.
void GetTileRect(CRect* out, int w, int h, int cw, int ch, int m, int c, int r);

// a in bits 24-31, b in 16-23, c in 8-15, d in 0-7.
int PackBytes(int a, int b, int c, int d);
// The reverse, each byte read as a signed value.
void UnpackBytes(int v, int* a, int* b, int* c, int* d);

// The value of n bytes (n <= 4) read big-endian when order is 77, little-endian otherwise;
// order -2 means the order of the previous call, any other order is remembered.
int ReadOrderedInt(const uint8_t* bytes, int n, int order);

// printf-style formatting into a string of any length.
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

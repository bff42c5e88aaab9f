// The five entry points through which the program reads and writes image files without
// knowing their format (size query, read, and the strip-wise write: begin, put, end), chosen
// per call by the path's file kind, and the process-wide comment of the JPEG file read last.
#pragma once

#include "common/basic_types.h"
#include "imagefile/pixel_array.h"

#include <string>
#include <vector>

// The comment segment of the JPEG file whose header was read last; GetImageFileRect empties
// it before it asks a codec.
extern std::string LastImageComment;

// Rows per strip of the strip-wise writers: strip n holds rows 16n to 16n + 15.
constexpr int kStripRows = 16;

// Whether a picture file can be opened for reading, and if not, why. The dispatch reads regular
// files only, so that a pipe or device of a picture's name can never block a read.
enum class ImageFileAccess {
    Readable,
    Missing,      // no such file (or a folder on the way is missing)
    Folder,       // a folder
    NotAFile,     // a pipe, device or socket
    NoPermission, // the file or a folder on the way may not be read
    Empty,        // a regular file of 0 bytes
};
ImageFileAccess CheckImageFileAccess(const std::string& path);
// A short text for the user: "no such file", "a folder", "not a regular file", "permission
// denied", "empty file"; empty for Readable.
const char* ImageFileAccessText(ImageFileAccess access);

// Why the last size query or read of this thread refused a file that is not damaged: it cannot
// be read as a picture file at all ("permission denied", "empty file", "a folder", "not a regular
// file", "no such file"), it is over the size limit ("too large: 20000 x 20000 pixels, over the
// limit of 268435456 pixels"), or it uses a feature the program does not read ("progressive JPEG",
// "compressed TIFF", ...). Empty when the file was read, or refused as damaged. The result codes
// stay as they are: this only tells the user what is wrong.
const std::string& LastUnsupportedFeature();
// Called by the codecs when they refuse such a file.
void NoteUnsupportedFeature(const char* feature);
// Called by the codecs when a picture has more pixels than they read (kMaxImagePixels), and by
// the picture set for a picture larger than a project may keep: "over the limit of <limit>
// pixels", or "... pixels a side" when a side is what is too long.
void NoteImageTooLarge(int64_t width, int64_t height, int64_t limit = kMaxImagePixels, bool perSide = false);
// text, followed by " (reason)" when the last size query or read of this thread gave a reason.
std::string WithRefusalReason(const std::string& text);

// (0, 0, width, height) of a BMP, JPEG, TIFF or PNG file from its header; (0, 0, 0, 0) for any
// other kind or a file that cannot be read.
CRect GetImageFileRect(const std::string& path);

// Reads the picture fitted into a canvas of the requested size (size, in) and delivers the
// pixels of rect of that canvas row by row (rect (0, 0, 0, 0) = the whole canvas); size then
// holds the picture's own size. > 0 on success, 0 or a negative code from the codec
// (-5 or less: out of memory), -1 for other kinds and for anything but a regular file.
int LoadImageFile(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& rect);

// Opens the writer of the path's kind; 1 when the file is open for writing, else -1.
// dpi is kept by BMP, JPEG and TIFF; comment and quality (10 best, 3 normal, 1 economy) by JPEG.
int SaveImageBegin(const std::string& path, int width, int height, int dpi,
                   const std::string& comment, int quality);
// Writes strip n (16 * width pixels, its first row first); rows below the image are ignored.
// 1, or -1 on a write error or for other kinds.
int SaveImagePut(const std::string& path, const CPixelArray& strip, int n);
// Finishes the file; a negative status (cancelled or failed) drops the output and leaves any
// previous file of that name as it was. 1, or -1 for other kinds or when the file could not be
// completed.
int SaveImageEnd(const std::string& path, int status);

// The order in which the writer of the path's kind needs the strips of an image of the given
// height: BMP from the last strip down to strip 0, the other kinds from strip 0 up. Empty for
// kinds that cannot be written or a height below 1.
std::vector<int> GetSaveStripOrder(const std::string& path, int height);

// The image-file dispatch: each entry point looks at the path's file kind and hands the call
// to that kind's codec (image_codecs.h).
#include "imagefile/image_file.h"

#include "common/helpers.h"
#include "common/status_codes.h"
#include "imagefile/image_codecs.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

std::string LastImageComment;

namespace {
thread_local std::string t_unsupportedFeature;
} // namespace

const std::string& LastUnsupportedFeature()
{
    return t_unsupportedFeature;
}

void NoteUnsupportedFeature(const char* feature)
{
    t_unsupportedFeature = feature;
}

void NoteImageTooLarge(int64_t width, int64_t height, int64_t limit, bool perSide)
{
    t_unsupportedFeature = "too large: " + std::to_string(width) + " x " + std::to_string(height) +
                           " pixels, over the limit of " + std::to_string(limit) +
                           (perSide ? " pixels a side" : " pixels");
}

std::string WithRefusalReason(const std::string& text)
{
    return t_unsupportedFeature.empty() ? text : text + " (" + t_unsupportedFeature + ")";
}

namespace {

// A rectangle of the canvas' own size only counts as the whole canvas when it starts at (0, 0).
bool IsWholeCanvas(const CRect& rect, const CSize& size)
{
    return rect.IsRectNull() || rect == CRect(0, 0, size.cx, size.cy);
}

// TIFF and PNG read the whole picture at the requested size; a rectangle is then cut out of
// that canvas as given (parts outside it become 0xF0F0F0). pixels is left as it was when the
// codec fails.
template <class ReadWhole>
int ReadThenCrop(ReadWhole read, CPixelArray& pixels, CSize& size, const CRect& rect)
{
    if (IsWholeCanvas(rect, size))
        return read(pixels, size);
    const CSize requested = size;
    CPixelArray canvas;
    const int result = read(canvas, size);
    if (result > 0) {
        if (CropPixels(canvas, requested.cx, requested.cy, pixels, rect) < 0)
            return kResultOutOfMemory;
    }
    return result;
}

// Folders, pipes and devices are refused before any codec is asked (a pipe would block its
// open); the codecs refuse missing, unreadable and empty files themselves, with their own codes.
// Either way the access problem is what the user is told.
ImageFileAccess CheckAndNoteAccess(const std::string& path)
{
    const ImageFileAccess access = CheckImageFileAccess(path);
    t_unsupportedFeature = ImageFileAccessText(access);
    return access;
}

bool IsNoRegularFile(ImageFileAccess access)
{
    return access == ImageFileAccess::Folder || access == ImageFileAccess::NotAFile;
}

// The codec's result, with the access problem noted again should the codec have noted another.
template <class Result>
Result KeepAccessReason(ImageFileAccess access, Result result)
{
    if (access != ImageFileAccess::Readable)
        t_unsupportedFeature = ImageFileAccessText(access);
    return result;
}

} // namespace

ImageFileAccess CheckImageFileAccess(const std::string& path)
{
    struct stat st {};
    if (path.empty())
        return ImageFileAccess::Missing;
    if (::stat(path.c_str(), &st) != 0)
        return errno == EACCES ? ImageFileAccess::NoPermission : ImageFileAccess::Missing;
    if (S_ISDIR(st.st_mode))
        return ImageFileAccess::Folder;
    if (!S_ISREG(st.st_mode))
        return ImageFileAccess::NotAFile;
    if (::access(path.c_str(), R_OK) != 0)
        return ImageFileAccess::NoPermission;
    if (st.st_size == 0)
        return ImageFileAccess::Empty;
    return ImageFileAccess::Readable;
}

const char* ImageFileAccessText(ImageFileAccess access)
{
    switch (access) {
    case ImageFileAccess::Missing:
        return "no such file";
    case ImageFileAccess::Folder:
        return "a folder";
    case ImageFileAccess::NotAFile:
        return "not a regular file";
    case ImageFileAccess::NoPermission:
        return "permission denied";
    case ImageFileAccess::Empty:
        return "empty file";
    default:
        return "";
    }
}

CRect GetImageFileRect(const std::string& path)
{
    LastImageComment.clear();
    const ImageFileAccess access = CheckAndNoteAccess(path);
    if (IsNoRegularFile(access))
        return CRect();
    switch (GetFileKind(path)) {
    case FILE_KIND_BMP:
        return KeepAccessReason(access, BmpGetImageRect(path));
    case FILE_KIND_JPEG:
        return KeepAccessReason(access, JpegGetImageRect(path));
    case FILE_KIND_TIFF:
        return KeepAccessReason(access, TiffGetImageRect(path));
    case FILE_KIND_PNG:
        return KeepAccessReason(access, PngGetImageRect(path));
    default:
        return CRect();
    }
}

int LoadImageFile(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& rect)
{
    const ImageFileAccess access = CheckAndNoteAccess(path);
    if (IsNoRegularFile(access))
        return -1;
    switch (GetFileKind(path)) {
    case FILE_KIND_BMP:
        return KeepAccessReason(access, BmpReadImage(path, pixels, size, rect));
    case FILE_KIND_JPEG:
        return KeepAccessReason(access, JpegReadImage(path, pixels, size, rect));
    case FILE_KIND_TIFF:
        return KeepAccessReason(access, ReadThenCrop([&](CPixelArray& p, CSize& s) { return TiffReadImage(path, p, s); },
                                                     pixels, size, rect));
    case FILE_KIND_PNG:
        return KeepAccessReason(access, ReadThenCrop([&](CPixelArray& p, CSize& s) { return PngReadImage(path, p, s); },
                                                     pixels, size, rect));
    default:
        return -1;
    }
}

int SaveImageBegin(const std::string& path, int width, int height, int dpi,
                   const std::string& comment, int quality)
{
    switch (GetFileKind(path)) {
    case FILE_KIND_BMP:
        return BmpBeginWrite(path, width, height, dpi);
    case FILE_KIND_JPEG:
        JpegSetComment(comment);
        return JpegBeginWrite(path, width, height, dpi, quality);
    case FILE_KIND_TIFF:
        return TiffBeginWrite(path, width, height, dpi);
    case FILE_KIND_PNG:
        return PngBeginWrite(path, width, height);
    default:
        return -1;
    }
}

int SaveImagePut(const std::string& path, const CPixelArray& strip, int n)
{
    switch (GetFileKind(path)) {
    case FILE_KIND_BMP:
        return BmpWriteStrip(strip, n);
    case FILE_KIND_JPEG:
        return JpegWriteStrip(strip, n);
    case FILE_KIND_TIFF:
        return TiffWriteStrip(strip, n);
    case FILE_KIND_PNG:
        return PngWriteStrip(strip, n);
    default:
        return -1;
    }
}

int SaveImageEnd(const std::string& path, int status)
{
    switch (GetFileKind(path)) {
    case FILE_KIND_BMP:
        return BmpEndWrite(status);
    case FILE_KIND_JPEG:
        return JpegEndWrite(status);
    case FILE_KIND_TIFF:
        return TiffEndWrite(status);
    case FILE_KIND_PNG:
        return PngEndWrite(status);
    default:
        return -1;
    }
}

std::vector<int> GetSaveStripOrder(const std::string& path, int height)
{
    std::vector<int> order;
    const int kind = GetFileKind(path);
    if (height < 1 || (kind != FILE_KIND_BMP && kind != FILE_KIND_JPEG && kind != FILE_KIND_TIFF &&
                       kind != FILE_KIND_PNG))
        return order;
    const int strips = (height - 1) / kStripRows + 1;
    order.reserve(static_cast<size_t>(strips));
    for (int i = 0; i < strips; ++i)
        order.push_back(kind == FILE_KIND_BMP ? strips - 1 - i : i);
    return order;
}

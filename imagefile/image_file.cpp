// The image-file dispatch: each entry point looks at the path's file kind and hands the call
// to that kind's codec (image_codecs.h).
#include "imagefile/image_file.h"

#include "common/helpers.h"
#include "common/status_codes.h"
#include "imagefile/image_codecs.h"

std::string LastImageComment;

namespace {

bool IsWholeCanvas(const CRect& rect, const CSize& size)
{
    return rect.IsRectNull() || (rect.Width() == size.cx && rect.Height() == size.cy);
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

} // namespace

CRect GetImageFileRect(const std::string& path)
{
    LastImageComment.clear();
    switch (GetFileKind(path)) {
    case FILE_KIND_BMP:
        return BmpGetImageRect(path);
    case FILE_KIND_JPEG:
        return JpegGetImageRect(path);
    case FILE_KIND_TIFF:
        return TiffGetImageRect(path);
    case FILE_KIND_PNG:
        return PngGetImageRect(path);
    default:
        return CRect();
    }
}

int LoadImageFile(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& rect)
{
    switch (GetFileKind(path)) {
    case FILE_KIND_BMP:
        return BmpReadImage(path, pixels, size, rect);
    case FILE_KIND_JPEG:
        return JpegReadImage(path, pixels, size, rect);
    case FILE_KIND_TIFF:
        return ReadThenCrop([&](CPixelArray& p, CSize& s) { return TiffReadImage(path, p, s); },
                            pixels, size, rect);
    case FILE_KIND_PNG:
        return ReadThenCrop([&](CPixelArray& p, CSize& s) { return PngReadImage(path, p, s); },
                            pixels, size, rect);
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

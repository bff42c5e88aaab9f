// imgtool: checks the image codecs by hand and from tests and benchmarks.
//   imgtool info FILE                      file kind, width and height
//   imgtool convert IN OUT [--size WxH] [--rect L,T,R,B]
//                                          reads IN through the image-file dispatch (at its own
//                                          size unless --size is given, the whole canvas unless
//                                          --rect is given) and writes OUT strip by strip with
//                                          the writer of OUT's extension
// Names that begin with '-' follow "--". On failure the reason goes to standard error and the
// exit code is not 0; an interrupted convert leaves no staged output behind.
#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "imagefile/exif.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_array.h"
#include "imagefile/staged_output_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kOutputDpi = 72;
constexpr int kOutputQuality = 10;

int Usage()
{
    std::fprintf(stderr,
                 "usage: imgtool info FILE\n"
                 "       imgtool convert IN OUT [--size WxH] [--rect L,T,R,B]\n");
    return 2;
}

int Fail(const std::string& reason)
{
    std::fprintf(stderr, "imgtool: %s\n", reason.c_str());
    return 1;
}

const char* KindName(int kind)
{
    switch (kind) {
    case FILE_KIND_BMP:
        return "BMP";
    case FILE_KIND_JPEG:
        return "JPEG";
    case FILE_KIND_TIFF:
        return "TIFF";
    case FILE_KIND_PNG:
        return "PNG";
    default:
        return nullptr;
    }
}

// Parses exactly count integers separated by sep; false on anything else.
bool ParseInts(const std::string& text, char sep, int count, std::vector<int>& out)
{
    out.clear();
    size_t pos = 0;
    for (int i = 0; i < count; ++i) {
        const size_t end = i + 1 < count ? text.find(sep, pos) : text.size();
        if (end == std::string::npos || end == pos)
            return false;
        const std::string part = text.substr(pos, end - pos);
        char* stop = nullptr;
        const long v = std::strtol(part.c_str(), &stop, 10);
        if (*stop != '\0' || v < -1000000000L || v > 1000000000L)
            return false;
        out.push_back(static_cast<int>(v));
        pos = end + 1;
    }
    return true;
}

// Why the header of path could not be read: the file is missing, not a file or not readable,
// else its content is not a picture of its kind.
std::string HeaderFailure(const std::string& path, const char* kind)
{
    const ImageFileAccess access = CheckImageFileAccess(path);
    if (access != ImageFileAccess::Readable)
        return path + ": cannot read the image header: " + ImageFileAccessText(access);
    if (!LastUnsupportedFeature().empty())
        return path + ": cannot read the image header: " +
               LastUnsupportedFeature();
    return path + ": cannot read the image header: damaged or not a " + kind + " file";
}

// " (the disk is full)" and the like for the last failed write; empty when none is known.
std::string WriteFailureReason()
{
    const std::string why = StagedOutputErrorText(LastStagedOutputError());
    return why.empty() ? std::string() : ": " + why;
}

// The camera data of the JPEG file whose header was just read, where it has any.
void PrintCameraData()
{
    if (!LastExifModel.empty())
        std::printf("camera model: %s\n", LastExifModel.c_str());
    if (!LastExifDate.empty())
        std::printf("date: %s\n", LastExifDate.c_str());
    if (LastExifExposure > 0)
        std::printf("exposure: %g s\n", LastExifExposure);
    if (LastExifFNumber > 0)
        std::printf("F number: %g\n", LastExifFNumber);
    if (LastExifFocalLength > 0)
        std::printf("focal length: %g mm\n", LastExifFocalLength);
}

int Info(const std::string& path)
{
    const char* kind = KindName(GetFileKind(path));
    if (!kind)
        return Fail(path + ": not a BMP, JPEG, TIFF or PNG file name");
    const CRect r = GetImageFileRect(path);
    if (r.IsRectEmpty())
        return Fail(HeaderFailure(path, kind));
    std::printf("kind: %s\nwidth: %d\nheight: %d\n", kind, r.Width(), r.Height());
    PrintCameraData();
    return 0;
}

int Convert(const std::string& in, const std::string& out, const std::vector<std::string>& options)
{
    bool haveSize = false;
    CSize requested;
    CRect rect;
    std::vector<int> v;
    for (size_t i = 0; i < options.size(); ++i) {
        const std::string& opt = options[i];
        if (i + 1 >= options.size())
            return Fail("missing value after " + opt);
        const std::string& value = options[++i];
        if (opt == "--size") {
            if (!ParseInts(value, 'x', 2, v) || v[0] < 1 || v[1] < 1)
                return Fail("bad --size " + value + " (want WxH, both at least 1)");
            requested = CSize(v[0], v[1]);
            haveSize = true;
        } else if (opt == "--rect") {
            if (!ParseInts(value, ',', 4, v) || v[2] <= v[0] || v[3] <= v[1])
                return Fail("bad --rect " + value + " (want L,T,R,B with R > L and B > T)");
            rect = CRect(v[0], v[1], v[2], v[3]);
        } else {
            return Fail("unknown option " + opt);
        }
    }
    const int inKind = GetFileKind(in);
    if (!KindName(inKind))
        return Fail(in + ": not a BMP, JPEG, TIFF or PNG file name");
    if (GetSaveStripOrder(out, 1).empty())
        return Fail(out + ": cannot write this kind of file (use .bmp, .jpg, .tif or .png)");
    if (!haveSize) {
        const CRect own = GetImageFileRect(in);
        if (own.IsRectEmpty())
            return Fail(HeaderFailure(in, KindName(inKind)));
        requested = own.Size();
    }

    // The delivered region: the whole canvas, or the rectangle (the BMP reader keeps only its
    // part inside the canvas).
    CRect region(0, 0, requested.cx, requested.cy);
    if (!rect.IsRectNull()) {
        region = rect;
        if (inKind == FILE_KIND_BMP && !region.IntersectRect(rect, CRect(0, 0, requested.cx, requested.cy)))
            return Fail("the rectangle lies outside the canvas");
    }
    const int w = region.Width();
    const int h = region.Height();
    if (int64_t(w) * h > kMaxImagePixels)
        return Fail("the requested picture is too large");

    CPixelArray pixels;
    CSize size = requested;
    const int result = LoadImageFile(in, pixels, size, rect);
    if (result <= -5)
        return Fail(in + ": not enough memory to read the picture");
    if (result <= 0) {
        const ImageFileAccess access = CheckImageFileAccess(in);
        if (access != ImageFileAccess::Readable)
            return Fail(in + ": cannot read the picture: " + ImageFileAccessText(access));
        if (!LastUnsupportedFeature().empty())
            return Fail(in + ": cannot read the picture: " +
                        LastUnsupportedFeature());
        return Fail(in + ": cannot read the picture: the file is damaged (result " + std::to_string(result) + ")");
    }
    if (pixels.GetSize() != int64_t(w) * h)
        return Fail(in + ": the reader delivered " + std::to_string(pixels.GetSize()) + " pixels, expected " +
                    std::to_string(int64_t(w) * h));

    {
        std::error_code ec;
        const std::filesystem::file_status st = std::filesystem::status(out, ec);
        if (!ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st))
            return Fail(out + ": cannot create the file: not a regular file");
    }
    if (SaveImageBegin(out, w, h, kOutputDpi, std::string(), kOutputQuality) != 1)
        return Fail(out + ": cannot create the file" + WriteFailureReason());
    CPixelArray strip;
    strip.SetSize(int64_t(kStripRows) * w);
    for (const int n : GetSaveStripOrder(out, h)) {
        const int first = n * kStripRows;
        const int rows = std::min(kStripRows, h - first);
        std::copy(pixels.GetData() + int64_t(first) * w, pixels.GetData() + int64_t(first + rows) * w, strip.GetData());
        // Rows of a last, short strip that lie below the picture are black.
        std::fill(strip.GetData() + int64_t(rows) * w, strip.GetData() + strip.GetSize(), COLORREF(0));
        if (SaveImagePut(out, strip, n) < 0) {
            SaveImageEnd(out, -1);
            return Fail(out + ": writing strip " + std::to_string(n) + " failed" + WriteFailureReason());
        }
    }
    if (SaveImageEnd(out, 1) != 1)
        return Fail(out + ": finishing the file failed" + WriteFailureReason());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    LoadMessageCatalogue();
    InstallStagedOutputSignalCleanup();
    // The files are named by their place after the command; a "--" before them (the usual way
    // to pass names that begin with '-') is accepted and dropped.
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[1] == "--")
        args.erase(args.begin() + 1);
    if (args.size() == 2 && args[0] == "info")
        return Info(args[1]);
    if (args.size() >= 3 && args[0] == "convert")
        return Convert(args[1], args[2], std::vector<std::string>(args.begin() + 3, args.end()));
    return Usage();
}

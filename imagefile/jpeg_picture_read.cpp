// The JPEG picture read at a requested size: size query, whole-picture decodes at full and
// one-eighth scale, the windowed read, and the abort poll.
#include "imagefile/jpeg_picture_read.h"

#include <algorithm>
#include <functional>
#include <new>
#include <vector>

#include "common/status_codes.h"
#include "imagefile/image_file.h"
#include "imagefile/jpeg_decoder.h"
#include "platform/idle_state.h"
#include "platform/input_state.h"

namespace {

// The abort poll after a row: true (and the idle counter back to 0) when the user aborts.
bool PollAbort()
{
    if (IsJpegAbortRequested() == 1) {
        IdleSecondCount = 0;
        return true;
    }
    return false;
}

// Decodes the next MCU row into the row buffer (bw wide): MCUs c0..c1 at the given scale,
// the others at DC cost.
int DecodeMcuRows(CJpegDecoder& dec, CJpegRowCoefficients& row, std::vector<COLORREF>& buffer, int bw, int bh,
                  int scale, int c0, int c1, int cols)
{
    if (dec.DecodeRowCoefficients(row, c0, c1, scale == 8) < 1)
        return -1;
    dec.ReconstructRow(row, scale, buffer.data(), bw, std::min(cols, bw), bh);
    return 1;
}

// Steps 7 to 10 of the read: the picture fitted whole and centred into the cx x cy canvas,
// the rows of rect decoded strictly in file order, each MCU row at most once.
int ReadWindowed(CJpegDecoder& dec, CPixelArray& out, int cx, int cy, const CRect& rect, bool wholeCanvas,
                 const std::function<bool()>& abort)
{
    const int w = dec.Width();
    const int h = dec.Height();
    const int s = (w / 8 >= cx || h / 8 >= cy) ? 8 : 1;
    const int64_t sw = w / s;
    const int64_t sh = h / s;
    const int bw = dec.PaddedWidth() / s;
    const int bh = dec.McuHeight() / s;
    const int cols = (w + s - 1) / s;

    // Every pixel that no picture pixel reaches shows the margin colour.
    out.Fill(kMarginGrey);
    CJpegRowCoefficients row;
    std::vector<COLORREF> buffer;
    if (!dec.AllocateRow(row))
        return kResultOutOfMemory;
    try {
        buffer.assign(static_cast<size_t>(bw) * static_cast<size_t>(bh), kMarginGrey);
    } catch (const std::bad_alloc&) {
        return kResultOutOfMemory;
    }

    // The frame of the canvas's aspect that holds the scaled picture whole: the cover fitting
    // of the other readers (in 64 bits: canvas and picture sizes up to 65535 overflow 32).
    const CCoverMapping frame = FitSizeCover(static_cast<int>(sw), static_cast<int>(sh), cx, cy);
    const int64_t fw = frame.span.cx;
    const int64_t fh = frame.span.cy;
    const int64_t ox = frame.offset.cx;
    const int64_t oy = frame.offset.cy;
    const double fx = static_cast<double>(fw) / cx;
    const double fy = static_cast<double>(fh) / cy;

    int c0 = 0;
    int c1 = dec.McusAcross();
    if (!wholeCanvas) {
        const int mcuWidth = dec.McuWidth();
        c0 = static_cast<int>((static_cast<int64_t>(rect.left * fx) - ox) / mcuWidth - 1);
        c1 = static_cast<int>((static_cast<int64_t>(rect.right * fx) - ox) / mcuWidth + 1);
    }

    int index = 0;
    if (DecodeMcuRows(dec, row, buffer, bw, bh, s, 0, dec.McusAcross(), cols) < 1)
        return -1;
    int64_t top = 0;
    int64_t bottom = bh;
    const int rw = rect.Width();
    COLORREF* o = out.GetData();
    for (int y = rect.top; y < rect.bottom; ++y) {
        const int64_t sy = static_cast<int64_t>(y * fy) - oy;
        while (sy >= bottom && index + 1 < dec.McusDown()) {
            ++index;
            top = int64_t(index) * bh;
            bottom = top + bh;
            const int r = sy >= bottom ? DecodeMcuRows(dec, row, buffer, bw, bh, 8, 0, 0, 0)
                                       : DecodeMcuRows(dec, row, buffer, bw, bh, s, c0, c1, cols);
            if (r < 1)
                return r;
        }
        if (sy >= top && sy < bottom && sy >= 0 && sy < sh) {
            const COLORREF* src = buffer.data() + (sy - top) * bw;
            COLORREF* dst = o + static_cast<ptrdiff_t>(y - rect.top) * rw;
            for (int x = rect.left; x < rect.right; ++x) {
                const int64_t sx = static_cast<int64_t>(x * fx) - ox;
                if (sx >= 0 && sx < sw)
                    dst[x - rect.left] = src[sx];
            }
        }
        if (abort && abort())
            return 0;
    }
    return 1;
}

} // namespace

int IsJpegAbortRequested()
{
    if (JpegAbortEnabled == 0)
        return 0;
    platform::IInputState& input = platform::Input();
    const bool left = input.AsyncKeyState(platform::Key::LeftButton);
    const bool escape = input.AsyncKeyState(platform::Key::Escape);
    const bool enter = input.AsyncKeyState(platform::Key::Return);
    return (left || escape || enter) ? 1 : 0;
}

CRect JpegGetImageRect(const std::string& path)
{
    if (path.empty())
        return CRect();
    ResetLastJpegValues(path);
    CFileByteSource src;
    if (!src.Open(path))
        return CRect();
    CJpegDecoder dec(src);
    dec.Camera().Reset(path);
    const int result = dec.ParseMarkers(1);
    PublishJpegCameraData(dec.Camera());
    LastImageComment = dec.Comment();
    if (result > 0 && dec.HasFrame())
        return CRect(0, 0, dec.Width(), dec.Height());
    return CRect();
}

namespace {

// The read of steps 1 to 10 into pic (its size holds the canvas on entry); the decoder's
// camera data starts from `camera`.
void ReadPictureFrom(CByteSource& src, CJpegPicture& pic, const CRect& rect, const CJpegCameraData& camera,
                     const std::function<bool()>& abort)
{
    CPixelArray& out = pic.pixels;
    CSize& size = pic.size;
    pic.touched = true;
    const int cx = size.cx;
    const int cy = size.cy;
    const CRect whole(0, 0, cx, cy);
    CRect r = whole;
    if (!rect.IsRectNull())
        r.IntersectRect(rect, whole);
    const int64_t rw = r.Width();
    const int64_t rh = r.Height();
    // Left unset here: every way out below writes each pixel (the picture, its margins, grey
    // for a failed read, black for a layout that is not read) or empties the array.
    if (rw * rh > kMaxImagePixels || !out.TrySetSizeForOverwrite(static_cast<std::ptrdiff_t>(rw * rh))) {
        pic.result = kResultOutOfMemory;
        return;
    }

    CJpegDecoder dec(src);
    dec.Camera() = camera;
    int result = dec.ParseMarkers(3);
    pic.camera = dec.Camera();
    pic.comment = dec.Comment();
    pic.parsed = true;
    if (result >= 1 && !dec.HasScan())
        result = -1; // the walk ended without a scan: nothing to decode
    if (result < 1) {
        FillGrey(out);
        pic.result = result;
        return;
    }
    const int w = dec.Width();
    const int h = dec.Height();
    size = CSize(w, h);
    result = dec.SelectSamplingLayout();
    if (result < 1) {
        out.Fill(0);
        pic.result = result;
        return;
    }
    if (dec.PrepareDecoding() < 1) {
        FillGrey(out);
        pic.result = -1;
        return;
    }

    const bool wholeCanvas = rw == cx && rh == cy;
    int scale = 0;
    if (wholeCanvas && cx == w && cy == h)
        scale = 1;
    else if (wholeCanvas && cx == w / 8 && cy == h / 8)
        scale = 8;
    if (scale != 0) {
        result = dec.DecodeScaled(out.GetData(), scale, abort);
        if (result == 0)
            out.RemoveAll();
        else if (result < 0)
            FillGrey(out);
        pic.result = result;
        return;
    }
    pic.result = ReadWindowed(dec, out, cx, cy, r, r == whole, abort);
}

} // namespace

CJpegPicture JpegReadPicture(const std::string& path, CSize canvas, const CRect& rect,
                             const std::function<bool()>& abort)
{
    CJpegPicture pic;
    pic.canvas = canvas;
    pic.rect = rect;
    pic.size = canvas;
    pic.camera.Reset(path);
    if (canvas.cx <= 0 || canvas.cy <= 0 || path.empty()) {
        pic.result = -1;
        return pic;
    }
    pic.resetsLastValues = true;
    CFileByteSource src;
    if (!src.Open(path)) {
        pic.result = 0;
        return pic;
    }
    CJpegCameraData camera;
    camera.Reset(path);
    ReadPictureFrom(src, pic, rect, camera, abort);
    return pic;
}

int JpegPublishPicture(CJpegPicture& picture, CPixelArray& out, CSize& size)
{
    if (picture.resetsLastValues)
        ResetLastJpegValues(picture.camera.path);
    if (picture.parsed) {
        PublishJpegCameraData(picture.camera);
        LastImageComment = picture.comment;
    }
    if (picture.touched) {
        out = std::move(picture.pixels);
        size = picture.size;
    }
    return picture.result;
}

int JpegReadImageFrom(CByteSource& src, CPixelArray& out, CSize& size, const CRect& rect)
{
    CJpegPicture pic;
    pic.size = size;
    pic.pixels = std::move(out);
    ReadPictureFrom(src, pic, rect, CurrentJpegCameraData(), PollAbort);
    return JpegPublishPicture(pic, out, size);
}

int JpegReadImage(const std::string& path, CPixelArray& out, CSize& size, const CRect& rect)
{
    if (size.cx <= 0 || size.cy <= 0 || path.empty())
        return -1;
    ResetLastJpegValues(path);
    CFileByteSource src;
    if (!src.Open(path))
        return 0;
    CJpegPicture pic;
    pic.size = size;
    pic.pixels = std::move(out);
    pic.camera.Reset(path);
    ReadPictureFrom(src, pic, rect, pic.camera, PollAbort);
    return JpegPublishPicture(pic, out, size);
}

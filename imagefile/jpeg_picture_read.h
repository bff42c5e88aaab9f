// Reading a JPEG picture at a requested size: the size query, the whole picture at full or
// one-eighth scale, and the windowed read that fits the picture whole and centred into the
// requested canvas and decodes at full cost only what the requested rectangle needs; long
// decodes may be abandoned by the user while the idle step allows it.
#pragma once

#include <functional>
#include <string>

#include "common/basic_types.h"
#include "imagefile/exif.h"
#include "imagefile/pixel_array.h"

// (0, 0, width, height) from the frame header; empty when the path is empty, the file does
// not open or holds no readable frame header. Sets LastJpegPath, LastImageComment and the
// camera values of the EXIF segments met before the frame header.
CRect JpegGetImageRect(const std::string& path);

// Reads the picture fitted into a canvas of the requested size (size, in) and delivers the
// pixels of rect of that canvas (rect (0, 0, 0, 0) = the whole canvas, otherwise clipped to
// it); size then holds the picture's own size. >= 1 success; 0 file not opened or aborted by
// the user; -1 format or read failure (grey fill when the file could not be parsed or the
// whole-picture decode failed); -5 out of memory.
int JpegReadImage(const std::string& path, CPixelArray& out, CSize& size, const CRect& rect);

// The same from bytes already open (the caller reports a file that does not open).
int JpegReadImageFrom(CByteSource& src, CPixelArray& out, CSize& size, const CRect& rect);

// A JPEG read that keeps everything it finds to itself, so that it may run on any thread: the
// pixels and the result code of JpegReadImage, the picture's size, the file's comment and its
// camera data.
struct CJpegPicture {
    int result = -1;
    CSize canvas;                  // the canvas and rectangle asked for
    CRect rect;
    CPixelArray pixels;
    CSize size;                    // the picture's own size once its frame header was read
    std::string comment;           // the comment segment (when the markers were parsed)
    CJpegCameraData camera;        // the camera data the markers gave
    bool touched = false;          // the pixels and size were set (the file opened)
    bool parsed = false;           // the markers were walked: comment and camera data apply
    bool resetsLastValues = false; // publishing clears the process-wide camera values first
};

// JpegReadImage without process-wide effects: the same pixels, size and result, and the
// camera data and comment kept in the record. abort (may be empty) is polled as the user's
// abort is in JpegReadImage; the process-wide abort poll is not consulted.
CJpegPicture JpegReadPicture(const std::string& path, CSize canvas, const CRect& rect,
                             const std::function<bool()>& abort);

// Hands a private read over as JpegReadImage would have left it: the process-wide camera data
// and comment are set, the pixels move into out and size takes the picture's size. Answers the
// read's result. Call it on the thread that owns the process-wide data.
int JpegPublishPicture(CJpegPicture& picture, CPixelArray& out, CSize& size);

// 1 when the user asks to abandon a decode: only while JpegAbortEnabled is set, when the left
// mouse button, Escape or Return is down or was pressed since the last query.
int IsJpegAbortRequested();

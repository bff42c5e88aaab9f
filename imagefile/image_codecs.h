// The entry functions through which the image-file dispatch reaches each codec, one set per
// file kind. Each codec defines its set beside its own code.
#pragma once

#include "common/basic_types.h"
#include "imagefile/pixel_array.h"

#include <string>

// BMP (bmp_codec.cpp).
CRect BmpGetImageRect(const std::string& path);
int BmpReadImage(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& rect);
int BmpBeginWrite(const std::string& path, int width, int height, int dpi);
int BmpWriteStrip(const CPixelArray& strip, int n);
int BmpEndWrite(int status);

// JPEG reading: the picture read at a requested size and rectangle (sets LastImageComment).
CRect JpegGetImageRect(const std::string& path);
int JpegReadImage(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& rect);

// JPEG writing: the comment is handed over first, then the file is begun.
bool JpegSetComment(const std::string& comment);
int JpegBeginWrite(const std::string& path, int width, int height, int dpi, int quality);
int JpegWriteStrip(const CPixelArray& strip, int n);
int JpegEndWrite(int status);

// TIFF: the read delivers the whole picture at the requested size; the dispatch cuts rect.
CRect TiffGetImageRect(const std::string& path);
int TiffReadImage(const std::string& path, CPixelArray& pixels, CSize& size);
int TiffBeginWrite(const std::string& path, int width, int height, int dpi);
int TiffWriteStrip(const CPixelArray& strip, int n);
int TiffEndWrite(int status);

// PNG: as TIFF; the writer keeps no dpi.
CRect PngGetImageRect(const std::string& path);
int PngReadImage(const std::string& path, CPixelArray& pixels, CSize& size);
int PngBeginWrite(const std::string& path, int width, int height);
int PngWriteStrip(const CPixelArray& strip, int n);
int PngEndWrite(int status);

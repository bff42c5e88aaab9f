// The project document's own record of one picture ("piece"): name, cached pixels, drawing
// bitmaps, piece state and rectangles on the work space, colour-correction model, copies of
// the engine's fit status and quarter turns, and the camera information taken from the
// image's EXIF data. The document links it to the engine's picture record by the name.
#pragma once

#include <cstdint>
#include <string>

#include "common/basic_types.h"
#include "imagefile/bitmap.h"
#include "imagefile/pixel_array.h"
#include "picset/color_model.h"

class CPictureEntry {
public:
    CPictureEntry() = default;
    // Construction from another entry and moves take everything, so that arrays of entries
    // can grow and shift without losing bitmaps, rectangles or colour models.
    CPictureEntry(const CPictureEntry& other) = default;
    CPictureEntry(CPictureEntry&& other) noexcept = default;
    CPictureEntry& operator=(CPictureEntry&& other) noexcept = default;

    // Back to the constructor's values, with an empty pixel cache; the bitmaps, the colour
    // model and the third rectangle are kept.
    void Reset();
    // Copies name, size, pixel cache, state, fit status, quarter turns, piece slot, entry
    // flag, texts and camera values; not the bitmaps, rectangles or colour model.
    CPictureEntry& operator=(const CPictureEntry& other);

    int32_t m_EntryFlag = 0;        // set and tested by the document
    std::string m_Name;             // full path of the image file; the key shared with the engine
    CSize m_Size;                   // picture size in pixels as read from the file
    CPixelArray m_PixelCache;       // pixels kept by the document
    CBitmapBuffer m_Bitmap;         // drawing bitmap of the piece
    CBitmapBuffer m_SecondBitmap;   // second drawing bitmap of the piece
    int32_t m_State = 0;            // 3 in the stock, 6 on the work space, 7 selected
    CRect m_Rect;                   // piece rectangle on the work space
    CRect m_SecondRect;
    CRect m_ThirdRect;
    CColorModel m_ColorModel;
    CPoint m_PieceSlot;             // layout cell kept for a picture that is not fitted
    int32_t m_FitStatus = -2;       // the engine record's status as last seen; -2 none
    int32_t m_QuarterTurns = 0;     // the engine record's quarter turns, 0..3
    std::string m_CameraText;       // taken from the image's EXIF data
    double m_CameraValue = 0.0;     // taken from the image's EXIF data
    double m_ExposureFigure = 0.0;  // exposure time * 1000000 / f-number squared
    std::string m_CameraNameText;   // EXIF text of the camera
    std::string m_ExposureText;     // exposure time as shown
    std::string m_FNumberText;      // f-number as shown
};

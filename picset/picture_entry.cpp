// Picture entry: reset for reuse and copying between entries.
#include "picset/picture_entry.h"

void CPictureEntry::Reset()
{
    m_Name.clear();
    m_Size = CSize();
    m_State = 0;
    m_Rect = CRect();
    m_SecondRect = CRect();
    m_PieceSlot = CPoint();
    m_FitStatus = -2;
    m_QuarterTurns = 0;
    m_EntryFlag = 0;
    m_CameraText.clear();
    m_CameraValue = 0.0;
    m_ExposureFigure = 0.0;
    m_CameraNameText.clear();
    m_ExposureText.clear();
    m_FNumberText.clear();
    m_PixelCache.RemoveAll();
}

CPictureEntry& CPictureEntry::operator=(const CPictureEntry& other)
{
    if (this == &other)
        return *this;
    m_Name = other.m_Name;
    m_Size = other.m_Size;
    m_PixelCache = other.m_PixelCache;
    m_State = other.m_State;
    m_FitStatus = other.m_FitStatus;
    m_QuarterTurns = other.m_QuarterTurns;
    m_PieceSlot = other.m_PieceSlot;
    m_EntryFlag = other.m_EntryFlag;
    m_CameraText = other.m_CameraText;
    m_CameraValue = other.m_CameraValue;
    m_ExposureFigure = other.m_ExposureFigure;
    m_CameraNameText = other.m_CameraNameText;
    m_ExposureText = other.m_ExposureText;
    m_FNumberText = other.m_FNumberText;
    return *this;
}

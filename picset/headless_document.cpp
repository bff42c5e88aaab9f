#include "picset/headless_document.h"

#include <cstdint>

#include "common/status_codes.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"

int CHeadlessDocument::LoadPictureImage(const std::string& path)
{
    CKpic* picture = m_core ? m_core->FindPictureByPath(path) : nullptr;
    if (!picture || picture->Width() < 1 || picture->Height() < 1)
        return -1;
    const int64_t need = int64_t(picture->Width()) * picture->Height();
    if (picture->Pixels.GetSize() == need)
        return 1;
    CSize size(picture->Width(), picture->Height());
    CPixelArray pixels;
    const int loaded = LoadImageFile(picture->m_Path, pixels, size, CRect(0, 0, 0, 0));
    // A shortage of memory is told apart from a photo that cannot be read.
    if (loaded <= kResultOutOfMemory)
        return kResultOutOfMemory;
    if (loaded <= 0)
        return -1;
    if (size.cx != picture->Width() || size.cy != picture->Height() || pixels.GetSize() != need)
        return -1;
    picture->Pixels.Swap(pixels);
    return 1;
}

// The terminal document of smra_render: pictures are read at their full size through the
// image-file dispatch into the picture set's records.
#include "tools/smra_render/tool_document.h"

#include <cstdio>

#include "imagefile/image_file.h"
#include "picset/mccore.h"

void CToolDocument::SetStatusMessage(const std::string& text)
{
    if (!text.empty())
        std::fprintf(stderr, "\n%s\n", text.c_str());
}

int CToolDocument::LoadPictureImage(const std::string& path)
{
    if (!m_core)
        return -1;
    CKpic* picture = m_core->FindPictureByPath(path);
    if (!picture || picture->Width() < 1 || picture->Height() < 1)
        return -1;
    const int64_t need = static_cast<int64_t>(picture->Width()) * picture->Height();
    if (picture->Pixels.GetSize() == need)
        return 1;
    CSize size(picture->Width(), picture->Height());
    CPixelArray pixels;
    const int r = LoadImageFile(picture->m_Path, pixels, size, CRect(0, 0, 0, 0));
    if (r <= 0)
        return r < -4 ? r : -1;
    // The file must still be the picture the project was made from.
    if (size.cx != picture->Width() || size.cy != picture->Height() || pixels.GetSize() != need)
        return -1;
    picture->Pixels.Swap(pixels);
    return 1;
}

// Full-size picture images read for the picture set, with each picture's colour correction,
// and the colour settings that the colour fit manager applies to pictures.
#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "document/sm_doc.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "platform/message_box.h"
#include "platform/system_services.h"

int CSmDoc::LoadPictureImage(const std::string& path)
{
    CKpic* k = FindPictureByName(path);
    if (!k)
        return -1;
    const int64_t n = int64_t(k->m_PictureRect.Width()) * k->m_PictureRect.Height();
    if (n < 1)
        return -1;
    if (k->Pixels.GetSize() == n)
        return 1;
    const int kind = GetFileKind(path);
    if (kind < FILE_KIND_BMP || kind > FILE_KIND_PNG)
        return -1;
    const CSize pictureSize(k->m_PictureRect.Width(), k->m_PictureRect.Height());
    CSize size = pictureSize;
    const platform::WaitCursor wait;
    int code = ReadImageFile(path, k->Pixels, size, CRect());
    // Out of memory with no job running: the other pictures' images are given up (they are
    // read again when needed) and the read is tried once more. Under a job the engine may be
    // using any of them.
    if (code <= kResultOutOfMemory && !platform::IsJobRunning() && ReleasePictureImages(path) > 0) {
        size = pictureSize;
        code = ReadImageFile(path, k->Pixels, size, CRect());
    }
    if (code <= kResultOutOfMemory) {
        // The picture stays in the project without its image; nothing else is given up.
        k->Pixels.RemoveAll();
        // No background reading of every picture while memory is this short.
        m_idleStepMode = 0;
        ReportMemoryShortage(platform::MB_OK | platform::MB_ICONSTOP);
        return kResultOutOfMemory;
    }
    if (code < 0) {
        SetStatusMessage(path + "\n" + UnreadableText());
        return -1;
    }
    if (code == 0)
        return 0;
    const int entry = FindEntryIndex(path, 0);
    if (entry >= 0)
        m_entries[static_cast<size_t>(entry)].m_ColorModel.ApplyToArray(k->Pixels);
    return 1;
}

void CSmDoc::ReportMemoryShortage(unsigned type)
{
    // A job that meets the shortage again and again reports it once.
    const int job = platform::CurrentJobNumber();
    if (job == 0 || job != m_memoryToldJob)
        ShowMessage(Catalogue().memoryTooShort, type);
    m_memoryToldJob = job;
}

int CSmDoc::ReleasePictureImages(const std::string& keep)
{
    int released = 0;
    for (int n = 0; n < m_pComp->GetPictureCount(); ++n) {
        CKpic* k = m_pComp->GetPictureAt(n);
        if (!k || k->m_Path == keep || k->Pixels.GetSize() == 0)
            continue;
        k->Pixels.RemoveAll();
        ++released;
    }
    m_readImages.remove_if([&keep](const std::string& name) { return name != keep; });
    return released;
}

int CSmDoc::ApplyColorModelToPicture(const std::string& name, const CColorModel& model)
{
    const int entry = FindEntryIndex(name, 0);
    if (entry < 0)
        return -1;
    CKpic* k = FindPictureByName(name);
    if (!k)
        return -1;
    CPictureEntry& e = m_entries[static_cast<size_t>(entry)];
    CColorModel incoming = model;
    if (e.m_ColorModel.GetActiveMode() < 0 && incoming.GetActiveMode() < 0)
        return 0;
    e.m_ColorModel.CopySettings(incoming);
    e.m_PixelCache.RemoveAll();
    k->Pixels.RemoveAll();
    e.m_Bitmap = CBitmapBuffer();
    e.m_SecondBitmap = CBitmapBuffer();
    if (IPictureWindow* w = FindPictureWindow(name))
        w->RefreshDisplay();
    UpdateAllViews(nullptr, HINT_PIECES);
    SetModifiedFlag();
    return 1;
}

int CSmDoc::ApplyColorModel(int count, const CColorModel& model, const std::string& name)
{
    if (count < 1)
        return -1;
    if (count == 1) {
        if (name.empty())
            return -1;
        if (FindEntryIndex(name, 0) >= 0)
            ApplyColorModelToPicture(name, model);
        return 1;
    }
    const std::list<int> pieces = m_pieceList;
    for (int i : pieces)
        if (m_entries[static_cast<size_t>(i)].m_State == 7)
            ApplyColorModelToPicture(m_entries[static_cast<size_t>(i)].m_Name, model);
    return 1;
}

// Picture entries (finding, allocating, registering and reading them, with the camera texts),
// the memory budget for full-size picture images, the open picture windows and the main
// window's title text.
#include <cmath>
#include <cstdio>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "common/value_types.h"
#include "document/sm_doc.h"
#include "imagefile/exif.h"
#include "imagefile/image_file.h"
#include "imagefile/jpeg_picture_read.h"
#include "picset/kpic.h"
#include "picset/mcomp.h"
#include "picset/project_file.h"
#include "platform/message_box.h"
#include "platform/system_services.h"

namespace {

constexpr int kSmallImageWidth = 160;
constexpr int kSmallImageHeight = 120;
constexpr int kEntryGrowth = 500;
// Passes of the memory budget before it gives up.
constexpr int kMaxFreePasses = 1000;

ImageReader g_imageReader;

std::string Format(const char* format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

} // namespace

void SetImageReader(ImageReader reader) { g_imageReader = std::move(reader); }

int CSmDoc::FindEntryIndex(const std::string& name, int tag)
{
    if (name.empty())
        return -2;
    const int n = static_cast<int>(m_entries.size());
    if (tag != 0)
        for (int i = 0; i < n; ++i)
            if (m_entries[i].m_EntryFlag == tag && m_entries[i].m_Name == name)
                return i;
    for (int i = 0; i < n; ++i) {
        if (m_entries[i].m_Name == name) {
            if (tag != 0)
                m_entries[i].m_EntryFlag = tag;
            return i;
        }
    }
    return -2;
}

int CSmDoc::AllocateEntry()
{
    auto take = [this](size_t i) {
        m_entries[i].Reset();
        // A recycled entry must not carry the colour correction of its former picture.
        m_entries[i].m_ColorModel = CColorModel();
        return static_cast<int>(i);
    };
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < m_entries.size(); ++i) {
            const CPictureEntry& e = m_entries[i];
            if (e.m_Name.empty() || e.m_State < 1 || (e.m_Size.cx == 0 && e.m_Size.cy == 0))
                return take(i);
        }
        if (round == 0)
            for (size_t i = 0; i < m_entries.size(); ++i)
                if (m_entries[i].m_State < 3)
                    return take(i);
        if (round == 1)
            break;
        try {
            m_entries.resize(m_entries.size() + kEntryGrowth);
        } catch (const std::bad_alloc&) {
            ShowMessage(Catalogue().memoryTooShort, platform::MB_OK | platform::MB_ICONSTOP);
            return -2;
        }
    }
    return -2;
}

void CSmDoc::SetCameraTexts(CPictureEntry& entry, bool fromLoad)
{
    if (LastJpegPath.empty() || LastJpegPath != entry.m_Name)
        return;
    entry.m_CameraText = LastExifModel;
    entry.m_CameraValue = LastExifFocalLength;
    entry.m_CameraNameText = LastExifDate;
    const double t = LastExifExposure;
    const double f = LastExifFNumber;
    if (t > 0.0) {
        if (t >= 0.5001) {
            entry.m_ExposureText = Format("%3.5f ", t);
        } else if (fromLoad) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%3.5f (1/%d) ", t, static_cast<int>(1.0 / t + 0.000001));
            entry.m_ExposureText = buf;
        } else {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%3.5f (1/%4.0f) ", t, 1.0 / t + 0.000001);
            entry.m_ExposureText = buf;
        }
    }
    if (f > 0.0)
        entry.m_FNumberText = Format("%3.1f", f);
    // Without an F number there is no exposure measure (and no division by zero).
    if (fromLoad)
        entry.m_ExposureFigure = f > 0.0 && t > 0.0 ? t * 1000000.0 / (f * f) : 0.0;
}

int CSmDoc::RegisterPictureSize(const std::string& name)
{
    int index = FindEntryIndex(name, 0);
    if (index < 0)
        index = AllocateEntry();
    if (index < 0)
        return -1;
    const CRect r = GetImageFileRect(name);
    if (r.IsRectEmpty() || !CheckStorablePictureRect(r))
        return -1;
    CPictureEntry& e = m_entries[static_cast<size_t>(index)];
    // An entry found for the file keeps its finder tag, so the finder still marks the piece;
    // a new entry has none.
    if (e.m_Name != name)
        e.m_EntryFlag = 0;
    e.m_Name = name;
    e.m_Size = CSize(r.Width(), r.Height());
    if (e.m_State < 6)
        e.m_State = 6;
    SetCameraTexts(e, false);
    return index;
}

int CSmDoc::RegisterPicture(const std::string& name, int tag)
{
    int index = FindEntryIndex(name, tag);
    if (index >= 0 && IsEntryReady(index) == 1)
        return index;
    if (index < 0)
        index = AllocateEntry();
    if (index < 0)
        return -1;
    CPictureEntry& e = m_entries[static_cast<size_t>(index)];
    e.m_Name = name;
    e.m_EntryFlag = tag;
    if (LoadEntryPicture(index) < 1) {
        // An unreadable picture leaves no half-made entry behind.
        m_entries[static_cast<size_t>(index)].Reset();
        return -1;
    }
    return index;
}

int CSmDoc::LoadEntryPicture(int index)
{
    if (index < 0 || index >= static_cast<int>(m_entries.size()))
        return -1;
    CPictureEntry& e = m_entries[static_cast<size_t>(index)];
    const int kind = GetFileKind(e.m_Name);
    if (kind < FILE_KIND_BMP || kind > FILE_KIND_PNG)
        return -1;
    // The picture is read small, so a picture larger than a project may keep would read: its
    // header's size is checked first.
    const CRect rect = GetImageFileRect(e.m_Name);
    if (!rect.IsRectEmpty() && !CheckStorablePictureRect(rect)) {
        m_lastEntryRead = -1;
        return -1;
    }
    CSize size(kSmallImageWidth, kSmallImageHeight);
    e.m_PixelCache.RemoveAll();
    const int code = ReadImageFile(e.m_Name, e.m_PixelCache, size, CRect());
    m_lastEntryRead = code;
    if (code <= kResultOutOfMemory) {
        ShowMessage(Catalogue().memoryTooShort, platform::MB_OK | platform::MB_ICONSTOP);
        return code;
    }
    if (code <= 0)
        return -1;
    CPictureEntry& entry = m_entries[static_cast<size_t>(index)];
    entry.m_ColorModel.ApplyToArray(entry.m_PixelCache);
    entry.m_Size = size;
    if (entry.m_State < 1)
        entry.m_State = 1;
    SetCameraTexts(entry, true);
    return 1;
}

int CSmDoc::IsEntryReady(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_entries.size()))
        return -1;
    const CPictureEntry& e = m_entries[static_cast<size_t>(index)];
    if (e.m_State > 0 && e.m_Size.cx > 0 && e.m_Size.cy > 0 &&
        e.m_PixelCache.GetSize() == kSmallImageWidth * kSmallImageHeight)
        return 1;
    return -1;
}

int CSmDoc::ReadImageFile(const std::string& path, CPixelArray& pixels, CSize& size, const CRect& region)
{
    const CSize wanted = region.IsRectNull() ? size : region.Size();
    ReserveImageMemory(path, 4 * int64_t(wanted.cx) * int64_t(wanted.cy));
    if (g_imageReader)
        return g_imageReader(path, pixels, size, region);
    if (m_readAhead && m_readAhead->camera.path == path && m_readAhead->canvas == size && region.IsRectNull() &&
        m_readAhead->rect.IsRectNull()) {
        const std::unique_ptr<CJpegPicture> picture = std::move(m_readAhead);
        NoteUnsupportedFeature("");
        return JpegPublishPicture(*picture, pixels, size);
    }
    return LoadImageFile(path, pixels, size, region);
}

bool CSmDoc::AcceptsReadAhead() const { return !g_imageReader; }

void CSmDoc::OfferReadAhead(CJpegPicture&& picture)
{
    m_readAhead = std::make_unique<CJpegPicture>(std::move(picture));
}

void CSmDoc::DropReadAhead() { m_readAhead.reset(); }

int CSmDoc::ReserveImageMemory(const std::string& path, int64_t bytes)
{
    int64_t share = 30;
    if (bytes < 0)
        share = Clamp(static_cast<int>(std::min<int64_t>(-bytes, 1000)), 10, 90);
    platform::MemoryStatus ms = platform::Memory().Query();
    const int64_t target = static_cast<int64_t>(ms.totalPageFile / 100) * share;
    int64_t available = static_cast<int64_t>(ms.availablePageFile) - bytes;
    for (int pass = 0; available < target; ++pass) {
        if (pass >= kMaxFreePasses)
            break;
        m_idleStepMode = 0;
        // While a long job runs the engine may be using any image: none is freed then.
        if (platform::IsJobRunning())
            break;
        if (m_readImages.size() <= 2)
            break;
        const std::string oldest = m_readImages.front();
        m_readImages.pop_front();
        if (CKpic* k = FindPictureByName(oldest)) {
            k->Pixels.RemoveAll();
            ms = platform::Memory().Query();
            available = static_cast<int64_t>(ms.availablePageFile) - bytes;
        }
    }
    if (!path.empty()) {
        bool known = false;
        for (const std::string& n : m_readImages)
            known = known || n == path;
        if (!known)
            m_readImages.push_back(path);
    }
    return 1;
}

void CSmDoc::ClearDropList()
{
    m_thumbDragState = 0;
    m_thumbDragTick = 0;
    m_droppedNames.clear();
    m_dropAnchor = CPoint();
    m_dropPoint = CPoint();
    m_dropOffset = CPoint();
}

// ---- Picture windows -------------------------------------------------------------------------

int CSmDoc::OpenPictureWindow(IFrameWindow* parent, const std::string& path, int width, int height, int turn)
{
    ClosePictureWindows(path);
    std::unique_ptr<IPictureWindow> window = MakePictureWindow(parent);
    if (!window)
        return -1;
    const int index = FindEntryIndex(path, 0);
    if (index < 0) {
        turn = 0;
    } else {
        const CPictureEntry& e = m_entries[static_cast<size_t>(index)];
        if (width == 0 && height == 0) {
            width = e.m_Size.cx;
            height = e.m_Size.cy;
        }
        if (turn < 0)
            turn = e.m_QuarterTurns;
    }
    if (window->Open(path, width, height, turn) != 1) {
        if (window->HasWindow())
            window->DestroyWindow();
        return -1;
    }
    m_pictureWindows.push_back(std::move(window));
    return 1;
}

// Closes and drops the window at the position; the next position.
static std::list<std::unique_ptr<IPictureWindow>>::iterator
CloseWindowAt(std::list<std::unique_ptr<IPictureWindow>>& windows, std::list<std::unique_ptr<IPictureWindow>>::iterator it)
{
    if (*it && (*it)->HasWindow())
        (*it)->DestroyWindow();
    return windows.erase(it);
}

IPictureWindow* CSmDoc::FindPictureWindow(const std::string& path)
{
    for (auto it = m_pictureWindows.begin(); it != m_pictureWindows.end();) {
        if (!*it || (*it)->GetPath().empty()) {
            it = CloseWindowAt(m_pictureWindows, it);
            continue;
        }
        if ((*it)->GetPath() == path)
            return it->get();
        ++it;
    }
    return nullptr;
}

int CSmDoc::CountPictureWindows(std::string& path)
{
    path.clear();
    const int n = static_cast<int>(m_pictureWindows.size());
    if (n == 1 && m_pictureWindows.front())
        path = m_pictureWindows.front()->GetPath();
    return n;
}

int CSmDoc::ClosePictureWindows(const std::string& path)
{
    for (auto it = m_pictureWindows.begin(); it != m_pictureWindows.end();) {
        if (!*it || (*it)->GetPath().empty()) {
            it = CloseWindowAt(m_pictureWindows, it);
            continue;
        }
        if ((*it)->GetPath() == path) {
            CloseWindowAt(m_pictureWindows, it);
            return 1;
        }
        ++it;
    }
    return 0;
}

int CSmDoc::RemovePictureWindow(IPictureWindow* window)
{
    for (auto it = m_pictureWindows.begin(); it != m_pictureWindows.end();) {
        if (it->get() == window) {
            CloseWindowAt(m_pictureWindows, it);
            return 1;
        }
        if (!*it || (*it)->GetPath().empty()) {
            it = CloseWindowAt(m_pictureWindows, it);
            continue;
        }
        ++it;
    }
    return 0;
}

void CSmDoc::CloseAllPictureWindows()
{
    for (auto it = m_pictureWindows.begin(); it != m_pictureWindows.end();)
        it = CloseWindowAt(m_pictureWindows, it);
    m_pPrintBitmap = nullptr;
}

IFrameWindow* CSmDoc::GetViewFrame() const
{
    if (IWorkView* v = FindWorkView())
        return v->GetParentFrame();
    if (!Views().empty())
        return Views().front()->GetParentFrame();
    return nullptr;
}

// ---- Title -------------------------------------------------------------------------------------

std::string CSmDoc::UpdateTitleText(const std::string& text)
{
    IFrameWindow* frame = GetViewFrame();
    if (!frame)
        return std::string();
    const std::string window = frame->GetWindowText();
    std::string result;
    const size_t dash = window.rfind('-');
    if (dash != std::string::npos && dash >= 2)
        result = window.substr(0, dash - 1);
    if (!text.empty()) {
        frame->SetWindowText(text);
        return result;
    }
    size_t start = window.find(" [ ");
    if (start == std::string::npos || start < 2)
        start = window.find(" - ");
    if (start == std::string::npos || start < 2)
        return result;
    std::string picture = "no picture ";
    if (!m_pieceList.empty() && m_pieceList.front() >= 0 && m_pieceList.front() < static_cast<int>(m_entries.size())) {
        picture = GetFileName(m_entries[static_cast<size_t>(m_pieceList.front())].m_Name);
        if (m_pComp->GetFittedCount() != 1 && m_pieceList.size() > 1)
            picture += " and others";
    }
    const std::string suffix =
        " [ " + picture + " - " + GetProjectionName() + GetZoomLabel(m_zoomDivisor) + " ]";
    if (window.compare(start, std::string::npos, suffix) != 0)
        frame->SetWindowText(window.substr(0, start) + suffix);
    return result;
}

// The picture set's construction and its picture list: lookup by path (without regard to
// letter case), opening an image file into a record, the user's removal of a picture, keeping
// the fitted pictures in front, and loading a picture's pixels on demand through the host.
#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "geometry/lens_table.h"
#include "geometry/sphere.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "platform/message_box.h"

namespace {

// A message for the host: its number as decimal text in numbered mode, else its text.
std::string EngineMessage(MessageNumber n) { return NumberedMessageFlag ? MessageNumberText(n) : MessageText(n); }

// The distortion table the constructor builds: coefficient and radius argument.
constexpr double kInitialDistortion = -0.02;
constexpr double kInitialLensRadius = -2.0;

// Working lists of the engine refer to records of the picture list; a record that goes must
// leave none of them pointing at it.
void ForgetPicture(CMcCore& set, CKpic* picture)
{
    auto& render = set.m_RenderList;
    render.erase(std::remove(render.begin(), render.end(), picture), render.end());
    std::replace(set.m_LayoutGrid.begin(), set.m_LayoutGrid.end(), picture, static_cast<CKpic*>(nullptr));
    for (FitCandidate& c : set.m_Candidates) {
        if (c.picture == picture)
            c.picture = nullptr;
        if (c.uppic == picture)
            c.uppic = nullptr;
    }
    if (set.m_SavedBase == picture)
        set.m_SavedBase = nullptr;
}

} // namespace

CMcCore::CMcCore()
{
    m_Regions.assign(1, PointEntry());
    ResetFeatureLinking();
    ResetDragCandidates();
    UpdateBoundingRect();
    ResetProjectionReference(0);
    GetLensTable().Build(kInitialDistortion, kInitialLensRadius);
}

CMcCore::~CMcCore() { DeleteAllPictures(); }

CMcCore* CMcCore::CreateObject() { return new CMcCore(); }

CKpic* CMcCore::GetPictureAt(int index) const
{
    if (index < 0 || index >= GetPictureCount())
        return nullptr;
    return m_Pictures[static_cast<size_t>(index)].get();
}

CKpic* CMcCore::GetFirstPicture() const { return GetPictureAt(0); }

CKpic* CMcCore::FindPictureByPath(const std::string& path) const
{
    const int i = FindPictureIndex(path);
    return i < 0 ? nullptr : GetPictureAt(i);
}

int CMcCore::FindPictureIndex(const std::string& path) const
{
    for (int i = 0; i < GetPictureCount(); ++i)
        if (EqualsNoCase(m_Pictures[static_cast<size_t>(i)]->m_Path, path))
            return i;
    return -1;
}

int CMcCore::CountReadyPictures() const
{
    int n = 0;
    for (const auto& k : m_Pictures)
        if (k->FeaturesReady == 1)
            ++n;
    return n;
}

void CMcCore::DeleteAllPictures()
{
    m_RenderList.clear();
    m_LayoutGrid.clear();
    for (FitCandidate& c : m_Candidates) {
        c.picture = nullptr;
        c.uppic = nullptr;
    }
    m_SavedBase = nullptr;
    m_Pictures.clear();
    m_UndoSnapshotPaths.clear();
    m_UndoSnapshotValues.clear();
    m_FitSnapshotPaths.clear();
    m_FitSnapshotValues.clear();
    m_FittedCount = 0;
    m_RegionsValid = 0;
    ForgetLensModel();
}

// The lens of an empty set is the lens of a new one: the distortion, radius and centre that
// the fits of the pictures now gone solved for are not kept for the photos added next, so a
// set rebuilt from the same photos fits exactly as it did the first time.
void CMcCore::ForgetLensModel()
{
    m_CentreFractions = CDPoint(0.5, 0.5);
    m_Distortion = kInitialDistortion;
    m_LensModelFactor = 0.95;
    for (double& v : m_LensModelValues)
        v = 0.0;
}

void CMcCore::RemovePictureAt(int index)
{
    CKpic* picture = GetPictureAt(index);
    if (!picture)
        return;
    ForgetPicture(*this, picture);
    m_Pictures.erase(m_Pictures.begin() + index);
    m_RegionsValid = 0;
    if (m_Pictures.empty())
        ForgetLensModel();
}

void CMcCore::MovePictureToEnd(const std::string& path)
{
    const int i = FindPictureIndex(path);
    if (i < 0)
        return;
    std::rotate(m_Pictures.begin() + i, m_Pictures.begin() + i + 1, m_Pictures.end());
}

CKpic* CMcCore::OpenPicture(const std::string& path)
{
    int result = 0;
    return OpenPicture(path, result);
}

CKpic* CMcCore::OpenPicture(const std::string& requested, int& result)
{
    std::string path = requested;
    std::error_code ec;
    if (CheckImageFileAccess(path) == ImageFileAccess::Missing) {
        NoteUnsupportedFeature(ImageFileAccessText(ImageFileAccess::Missing));
        if (m_Host)
            m_Host->AskQuestion(EngineMessage(kMsgFileNotFound), platform::MB_OK, path, std::string());
        result = -1;
        return nullptr;
    }
    // Continue with the file system's full name of the file when it differs.
    const std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
    if (!ec && !EqualsNoCase(full.string(), path))
        path = full.string();

    if (CKpic* existing = FindPictureByPath(path)) {
        result = 1;
        return existing;
    }

    // The size query says what is wrong with a refused file; nothing is left from an earlier one.
    NoteUnsupportedFeature("");
    const CRect rect = m_Host ? m_Host->GetImageFileRect(path) : ::GetImageFileRect(path);
    // A picture larger than a project may keep is refused here, not by the next open of the project.
    if (rect.IsRectEmpty() || !CheckStorablePictureRect(rect)) {
        // The file named in the question is followed by what is wrong with it, when that is known
        // (LastUnsupportedFeature() still tells it after the refusal).
        if (m_Host)
            m_Host->AskQuestion(EngineMessage(kMsgFormatNotSupported), platform::MB_OK, WithRefusalReason(path),
                                std::string());
        result = -2;
        return nullptr;
    }

    // Running out of memory here leaves the list as it was.
    CKpic* picture = nullptr;
    try {
        auto record = std::make_unique<CKpic>(path, rect);
        m_Pictures.reserve(m_Pictures.size() + 1);
        picture = record.get();
        m_Pictures.push_back(std::move(record));
    } catch (const std::bad_alloc&) {
        if (m_Host)
            m_Host->AskQuestion(EngineMessage(kMsgOutOfMemory), platform::MB_OK | platform::MB_ICONSTOP,
                                std::string(), std::string());
        result = kResultOutOfMemory;
        return nullptr;
    }
    m_RegionsValid = 0;
    m_Activity = 3;
    UpdateLensModel(0.0);
    ResetPictureCentre(picture);
    UpdateLensScale(picture);
    result = 1;
    return picture;
}

int CMcCore::DeletePicture(int index)
{
    CKpic* picture = GetPictureAt(index);
    if (!picture)
        return -1;
    if (index == 0 && picture->m_Status >= 3 && m_FittedCount >= 2) {
        // The base picture may not go while other pictures are fitted to it.
        if (m_Host)
            m_Host->AskQuestion(EngineMessage(kMsgBaseMayNotGo), platform::MB_OK, picture->m_Path, std::string());
        return -1;
    }
    if (index < m_FittedCount - 1) {
        // Fitted pictures follow this one: they lose their fit.
        if (m_Host &&
            m_Host->AskQuestion(EngineMessage(kMsgRemoveFittedBefore), platform::MB_OKCANCEL, picture->m_Path,
                                std::string()) != 1)
            return kResultCancelled;
        for (int i = index; i < m_FittedCount && i < GetPictureCount(); ++i) {
            CKpic* k = GetPictureAt(i);
            if (k->m_Status >= 3)
                k->m_Status = 2;
        }
    }
    ResetPicture(picture);
    m_RegionsValid = 0;
    RemovePictureAt(index);
    SortPlacedFirst();
    return GetPictureCount();
}

void CMcCore::SortPlacedFirst()
{
    // Fitted pictures to the front; both groups keep their own order.
    auto firstUnfitted = std::stable_partition(m_Pictures.begin(), m_Pictures.end(),
                                               [](const std::unique_ptr<CKpic>& k) { return k->m_Status >= 3; });
    m_FittedCount = static_cast<int32_t>(firstUnfitted - m_Pictures.begin());
    if (m_JobMode < 2 && m_Host)
        m_Host->OnListChanged(0);
}

int CMcCore::EnsurePictureImage(CKpic* picture)
{
    if (!picture)
        return -1;
    const int64_t want = static_cast<int64_t>(picture->Width()) * picture->Height();
    if (picture->Pixels.GetSize() == want)
        return 1;
    if (!m_Host)
        return -1;
    const int r = m_Host->LoadPictureImage(picture->m_Path);
    if (r <= kResultOutOfMemory)
        NoteMemoryShort(true);
    if (r <= 0)
        return r;
    picture->ApplyBrightnessToPixels();
    picture->QuarterContrast.RemoveAll();
    picture->SixteenthContrast.RemoveAll();
    if (picture->BuildColourLevels() <= kResultOutOfMemory)
        NoteMemoryShort(false);
    return 1;
}

void CMcCore::NoteMemoryShort(bool told)
{
    if (told)
        m_MemoryShort = 1;
    else if (m_MemoryShort == 0)
        m_MemoryShort = 2;
}

void CMcCore::EnsureAllPictureImages()
{
    for (const auto& k : m_Pictures)
        if (k->CommitBrightness() == -2)
            EnsurePictureImage(k.get());
}

void CMcCore::SetProjection(int code)
{
    m_Projection = code;
    m_RegionsValid = 0;
    UpdateBoundingRect();
}

int CMcCore::InitPictureFocal(CKpic* picture)
{
    if (!picture)
        return -1;
    picture->m_Focal = m_CommonFocal;
    if (m_IndividualFocal == 0)
        return 0;
    const CKpic* base = GetFirstPicture();
    if (!base || base->m_LensSource <= 0 || picture->m_LensSource <= 0 || !(base->m_LensFocal > 0.0))
        return 0;
    picture->m_Focal = m_CommonFocal * (picture->m_LensFocal / base->m_LensFocal);
    return 1;
}

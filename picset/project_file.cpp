// Storing and loading projects: the ".fit" layout (written and read), the older ".mcl" layout
// (read only), the search for image files that moved since the project was saved, and the
// whole-file entry points that the document and the tools use.
//
// A damaged file never reaches the picture set half-read: the header and every record are read
// and checked first, and the picture set takes them only when the whole list was read.
#include "picset/project_file.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <set>

#include "common/helpers.h"
#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "common/value_types.h"
#include "geometry/sphere.h"
#include "imagefile/image_file.h"
#include "imagefile/staged_output_file.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "platform/archive.h"
#include "platform/file_dialog.h"
#include "platform/file_io.h"
#include "platform/message_box.h"

namespace {

const char* const kPictureClassName = "CKpic";
constexpr uint16_t kPictureSchema = 3;

// Smallest picture record of each layout, object tag included: a damaged count may claim no more
// records than the rest of the file can hold.
constexpr size_t kMinPictureRecordFit = 2 + 4 + 1 + 116 + 1;
constexpr size_t kMinPictureRecordMcl = 2 + 2 + 1 + 8 + 8 + 16 + 24 + 2 + 8 + 2 + 2 + 8 + 8 + 1;

// Largest picture side and area accepted from a file.
constexpr int64_t kMaxPictureSide = 1000000;
constexpr int64_t kMaxPicturePixels = std::numeric_limits<int32_t>::max();

// Brightness steps the pictures keep.
constexpr int kMaxBrightness = 10;

// Project files larger than this are not read.
constexpr uint64_t kMaxProjectFileSize = 64ull << 20;

// Rounds of the file dialog offered for one missing picture.
constexpr int kMaxPickRounds = 20;

bool IsOlderLayout(const CArchive& ar)
{
    return GetFileExt(ar.GetFilePath()) == "MCL";
}

// No length, angle, focal or score the program stores comes near this; a larger value is damage,
// and refusing it keeps later arithmetic (a rescale to the photo's real size) finite.
constexpr double kMaxStoredMagnitude = 1e12;

double ReadFinite(CArchiveReader& r)
{
    const double v = r.ReadDouble();
    if (!std::isfinite(v) || std::fabs(v) > kMaxStoredMagnitude) {
        r.Fail(ArchiveError::BadValue);
        return 0.0;
    }
    return v;
}

CDPoint ReadFinitePoint(CArchiveReader& r)
{
    const double x = ReadFinite(r);
    const double y = ReadFinite(r);
    return {x, y};
}

// A picture rectangle must have an area and a size a photo can have.
void CheckPictureRect(CArchiveReader& r, const CRect& rect)
{
    if (!IsStorablePictureRect(rect))
        r.Fail(ArchiveError::BadValue);
}

// The optical centre is kept in whole pixels, truncated toward zero.
int32_t CentreToInt(double v)
{
    if (!(v > -2147483648.0 && v < 2147483648.0))
        return 0;
    return static_cast<int32_t>(v);
}

// After a record's n control points were read: the slots behind them are free, and the
// picture's preparation starts over.
void FinishLoadedRecord(CKpic& k, int n)
{
    for (int i = n; i < CONTROL_POINT_SLOTS; ++i) {
        ControlPoint& p = k.m_Points[static_cast<size_t>(i)];
        p.kind = 0;
        p.state = 0;
        p.pointId = 0;
    }
    k.m_PrepStep = 0;
    k.FeaturesReady = 0;
}

// The catalogue text of message n with its field filled.
std::string CatalogueText(int n, const std::string& arg)
{
    if (MessageText(n).empty())
        LoadMessageCatalogue();
    return CMcHost::FormatMessage(MessageText(n), arg, std::string());
}

int Ask(CMcHost* host, MessageNumber number, int type, const std::string& a, const std::string& b)
{
    // Without a host nobody can answer: a question counts as cancelled.
    return host ? host->AskQuestion(MessageNumberText(number), type, a, b) : platform::IDCANCEL;
}

void Status(CMcHost* host, MessageNumber number, const std::string& a, const std::string& b)
{
    if (host)
        host->ShowStatus(0, MessageNumberText(number), a, b);
}

bool SameNameNoCase(const std::string& a, const std::string& b)
{
    std::string na, nb, folder;
    SplitFolderAndName(a, &folder, &na);
    SplitFolderAndName(b, &folder, &nb);
    return EqualsNoCase(na, nb);
}

platform::FileDialogRequest PickRequest(const std::string& storedPath)
{
    platform::FileDialogRequest req;
    req.title = storedPath;
    req.initialPath = storedPath;
    const std::string ext = GetFileExt(storedPath);
    if (ext == "BMP") {
        req.filter = "BitMap(*.BMP) | *.BMP;*.bmp;*.Bmp | All Files | *.* ||";
        req.defaultExt = "bmp";
    } else if (ext == "JPG" || ext == "JPEG") {
        req.filter = "JPEG(*.jpg) | *.JPG;*.jpg;*.jpeg;*.JPEG | All Files | *.* ||";
        req.defaultExt = "jpg";
    } else {
        req.filter = " All Files | *.* ||";
    }
    return req;
}

// A photo found again whose file now has another size takes the file's size. A resized copy of
// the same photo (the same shape, to within a pixel of rounding) keeps its fit: the focal, the
// optical centre and the control points scale with it. A photo of another shape can no longer
// be trusted to sit where it sat: a placed one becomes placed but not fitted, with the focal of
// its new lens estimate and the centre at the project's centre fractions. Its control points
// scale per axis so that they stay on the picture.
void TakeFoundPictureSize(CKpic& k, const CRect& real, CDPoint centreFractions)
{
    const double w = k.Width();
    const double h = k.Height();
    const double nw = real.Width();
    const double nh = real.Height();
    const double sx = nw / w;
    const double sy = nh / h;
    // A resizer derives one side from the other and rounds it.
    const bool sameShape = std::fabs(h * sx - nh) <= 1.0 || std::fabs(w * sy - nw) <= 1.0;
    k.m_PictureRect = real;
    for (ControlPoint& p : k.m_Points) {
        if (p.kind == 0)
            continue;
        p.position.x *= sx;
        p.position.y *= sy;
    }
    k.InitLensFromExif();
    if (sameShape) {
        const double s = 0.5 * (sx + sy);
        k.m_Focal *= s;
        k.m_BestFocal *= s;
        k.m_OpticalCentre = CDPoint(k.m_OpticalCentre.x * sx, k.m_OpticalCentre.y * sy);
        return;
    }
    if (k.m_Status >= 1)
        k.m_Status = 2;
    k.m_Focal = k.m_DefaultFocal;
    k.m_BestFocal = k.m_DefaultFocal;
    k.m_OpticalCentre = CDPoint(centreFractions.x * (nw - 1.0), centreFractions.y * (nh - 1.0));
}

} // namespace

bool IsStorablePictureRect(const CRect& rect)
{
    const int64_t w = rect.Width64();
    const int64_t h = rect.Height64();
    return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels;
}

bool CheckStorablePictureRect(const CRect& rect)
{
    if (IsStorablePictureRect(rect))
        return true;
    const int64_t w = rect.Width64();
    const int64_t h = rect.Height64();
    if (w > kMaxPictureSide || h > kMaxPictureSide)
        NoteImageTooLarge(w, h, kMaxPictureSide, true);
    else if (w > 0 && h > 0)
        NoteImageTooLarge(w, h, kMaxPicturePixels);
    // An empty rectangle keeps the reason of the size query that gave it.
    return false;
}

// ---- picture records ---------------------------------------------------------------------

int CKpic::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        return StoreFields(ar);
    return IsOlderLayout(ar) ? LoadFieldsMcl(ar) : LoadFields(ar);
}

int CKpic::StoreFields(CArchive& ar)
{
    CArchiveWriter& w = ar.Writer();
    w.WriteInt32(m_Status);
    w.WriteString(m_Path);
    w.WriteRect(m_PictureRect);
    w.WriteDouble(m_Focal);
    w.WriteInt32(CentreToInt(m_OpticalCentre.x));
    w.WriteInt32(CentreToInt(m_OpticalCentre.y));
    w.WriteDouble(m_Direction.x);
    w.WriteDouble(m_Direction.y);
    w.WriteDouble(m_Roll);
    const int n = CountControlPoints();
    w.WriteInt32(n);
    w.WriteDouble(m_FitScore);
    w.WriteInt32(m_ColourWord);
    w.WriteInt32(PackBytes(0, m_SearchMark, Brightness + PendingBrightness, QuarterTurns));
    w.WriteInt32(PackCell(m_LayoutCell));
    w.WriteInt32(static_cast<int32_t>(m_ReferenceColour));
    w.WriteDouble(0.0);
    w.WriteDouble(0.0);
    w.WriteRect(CRect());
    w.WriteString(std::string());
    for (int i = 0; i < n; ++i) {
        const ControlPoint& p = m_Points[static_cast<size_t>(i)];
        w.WriteInt32(p.kind);
        w.WriteDouble(p.position.x);
        w.WriteDouble(p.position.y);
        w.WriteDword(static_cast<uint32_t>(p.pointId));
        w.WriteInt32(p.state);
        w.WriteDouble(p.target.x);
        w.WriteDouble(p.target.y);
        w.WriteDouble(p.offAxisAngle);
        w.WriteDouble(p.directionAngle);
        w.WriteInt32(0);
        w.WriteDouble(0.0);
        w.WriteRect(CRect());
    }
    return w.Ok() ? 1 : -1;
}

int CKpic::LoadFields(CArchive& ar)
{
    CArchiveReader& r = ar.Reader();
    m_Status = r.ReadInt32();
    m_Path = r.ReadString();
    m_PictureRect = r.ReadRect();
    CheckPictureRect(r, m_PictureRect);
    m_Focal = ReadFinite(r);
    // The centre is read as an unsigned value; a centre that is then off the picture is put
    // back at the centre fractions after the load.
    const uint32_t cx = r.ReadDword();
    const uint32_t cy = r.ReadDword();
    m_OpticalCentre = CDPoint(cx + 0.5, cy + 0.5);
    m_Direction.x = ReadFinite(r);
    m_Direction.y = ReadFinite(r);
    m_Roll = ReadFinite(r);
    const int32_t n = r.ReadInt32();
    if (n < 0 || n > CONTROL_POINT_SLOTS)
        r.Fail(ArchiveError::BadValue);
    m_FitScore = ReadFinite(r);
    m_ColourWord = r.ReadInt32();
    int unused = 0, mark = 0, brightness = 0, turns = 0;
    UnpackBytes(r.ReadInt32(), &unused, &mark, &brightness, &turns);
    if (turns < 0 || turns > 3)
        r.Fail(ArchiveError::BadValue);
    QuarterTurns = turns;
    Brightness = std::clamp(brightness, -kMaxBrightness, kMaxBrightness);
    PendingBrightness = 0;
    m_SearchMark = mark;
    m_LayoutCell = UnpackCell(r.ReadInt32());
    m_ReferenceColour = r.ReadDword();
    r.ReadDouble();
    r.ReadDouble();
    r.ReadRect();
    r.ReadString();
    if (!r.Ok())
        return -1;

    for (int i = 0; i < n && r.Ok(); ++i) {
        ControlPoint& p = m_Points[static_cast<size_t>(i)];
        p.kind = r.ReadInt32();
        p.position = ReadFinitePoint(r);
        p.pointId = static_cast<int32_t>(r.ReadDword());
        p.state = r.ReadInt32();
        p.target = ReadFinitePoint(r);
        p.offAxisAngle = ReadFinite(r);
        p.directionAngle = ReadFinite(r);
        r.ReadInt32();
        r.ReadDouble();
        r.ReadRect();
    }
    FinishLoadedRecord(*this, n);
    return r.Ok() ? 1 : -1;
}

int CKpic::LoadFieldsMcl(CArchive& ar)
{
    CArchiveReader& r = ar.Reader();
    m_Status = r.ReadInt16();
    m_Path = r.ReadString();
    CRect rect;
    rect.left = r.ReadWord();
    rect.top = r.ReadWord();
    rect.right = r.ReadWord();
    rect.bottom = r.ReadWord();
    m_PictureRect = rect;
    CheckPictureRect(r, m_PictureRect);
    m_Focal = ReadFinite(r);
    r.ReadDouble();
    r.ReadDouble();
    m_Direction.x = ReadFinite(r);
    m_Direction.y = ReadFinite(r);
    m_Roll = ReadFinite(r);
    const int n = r.ReadWord();
    if (n > CONTROL_POINT_SLOTS)
        r.Fail(ArchiveError::BadValue);
    m_FitScore = ReadFinite(r);
    m_SearchMark = r.ReadInt16();
    r.ReadWord();
    r.ReadDouble();
    for (int i = 0; i < 4; ++i)
        r.ReadWord();
    r.ReadString();
    if (!r.Ok())
        return -1;

    for (int i = 0; i < n && r.Ok(); ++i) {
        ControlPoint& p = m_Points[static_cast<size_t>(i)];
        p.kind = r.ReadInt16();
        p.position = ReadFinitePoint(r);
        p.pointId = static_cast<int32_t>(r.ReadDword());
        p.state = r.ReadInt16();
        p.target = ReadFinitePoint(r);
        p.offAxisAngle = ReadFinite(r);
        p.directionAngle = ReadFinite(r);
        r.ReadWord();
        r.ReadDouble();
    }
    QuarterTurns = 0;
    FinishLoadedRecord(*this, n);
    return r.Ok() ? 1 : -1;
}

// ---- the picture set -----------------------------------------------------------------------

namespace {

// Header values of a project as read from a file, before the picture set takes them.
struct ProjectHeader {
    double commonFocal = 1000.0;
    CDPoint centreFractions{0.5, 0.5};
    int32_t projection = 11;
    int32_t fitState = 1;
    int32_t overlapMode = 1;
    int32_t blendStrength = 10;
    double distortion = -0.02;
    double lensModelValue = 0.0;
    int32_t individualFocal = 1;
    double lensModelFactor = 0.95;
};

void ClampSharedLens(ProjectHeader& h)
{
    h.centreFractions.x = ClampDouble(h.centreFractions.x, 0.35, 0.65);
    h.centreFractions.y = ClampDouble(h.centreFractions.y, 0.35, 0.65);
    h.distortion = ClampDouble(h.distortion, -0.25, 0.25);
}

// Reads the object list of picture records; the records only when all of it was read.
bool ReadPictureList(CArchive& ar, size_t minRecordSize, std::vector<std::unique_ptr<CKpic>>& out)
{
    CArchiveReader& r = ar.Reader();
    // A record cannot be smaller than its fixed fields, so the bytes left bound the count.
    const uint32_t count = r.ReadCount(minRecordSize);
    std::vector<std::unique_ptr<CKpic>> pictures;
    for (uint32_t i = 0; i < count && r.Ok(); ++i) {
        if (!r.ReadObjectTag(kPictureClassName, kPictureSchema))
            break;
        std::unique_ptr<CKpic> picture(CKpic::CreateObject());
        if (picture->Serialize(ar) <= 0) {
            r.Fail(ArchiveError::BadValue);
            break;
        }
        pictures.push_back(std::move(picture));
    }
    if (!r.Ok())
        return false;
    out = std::move(pictures);
    return true;
}

// The records loaded replace the picture list; nothing may keep pointing at the old records.
void TakePictures(CMcCore& core, std::vector<std::unique_ptr<CKpic>> pictures)
{
    core.m_RenderList.clear();
    core.m_LayoutGrid.clear();
    core.m_SavedBase = nullptr;
    core.m_Pictures = std::move(pictures);
    // An undo never reaches back into the project that was open before.
    core.m_UndoSnapshotPaths.clear();
    core.m_UndoSnapshotValues.clear();
    core.m_FitSnapshotPaths.clear();
    core.m_FitSnapshotValues.clear();
    core.m_FittedCount = 0;
    core.m_RegionsValid = 0;
}

} // namespace

int CMcCore::Serialize(CArchive& ar)
{
    return SerializeProject(ar);
}

int CMcCore::SerializeProject(CArchive& ar)
{
    const std::string ext = GetFileExt(ar.GetFilePath());
    if (ar.IsStoring()) {
        if (ext != ProjectExtension()) {
            if (m_Host)
                m_Host->AskQuestion(MessageNumberText(kMsgProjectExtension), 0, ProjectExtension(), std::string());
            return -1;
        }
        const int result = StoreProject(ar);
        m_Activity = 2;
        return result;
    }
    m_Activity = 1;
    if (ext == "MCL")
        return LoadProjectMcl(ar);
    return LoadProject(ar);
}

int CMcCore::StoreProject(CArchive& ar)
{
    CArchiveWriter& w = ar.Writer();
    w.WriteDouble(m_CommonFocal);
    w.WriteDouble(m_CentreFractions.x);
    w.WriteDouble(m_CentreFractions.y);
    w.WriteInt32(m_Projection);
    w.WriteInt32(m_FitState);
    w.WriteInt32(m_OverlapMode);
    w.WriteInt32(m_BlendStrength);
    w.WriteDouble(m_Distortion);
    w.WriteDouble(m_LensModelValues[2]);
    w.WriteInt32(m_IndividualFocal == 1 ? 0 : 1);
    w.WriteInt32(0);
    w.WriteDouble(m_LensModelFactor);
    w.WriteDouble(0.0);
    w.WriteRect(CRect());
    w.WriteString(std::string());

    w.WriteCount(m_Pictures.size());
    bool first = true;
    for (const std::unique_ptr<CKpic>& picture : m_Pictures) {
        w.WriteObjectTag(kPictureClassName, kPictureSchema, first);
        first = false;
        if (picture->Serialize(ar) <= 0)
            return -1;
    }
    return w.Ok() ? 1 : -1;
}

int CMcCore::LoadProject(CArchive& ar)
{
    CArchiveReader& r = ar.Reader();
    ProjectHeader h;
    h.commonFocal = ReadFinite(r);
    h.centreFractions = ReadFinitePoint(r);
    h.projection = r.ReadInt32();
    h.fitState = r.ReadInt32();
    h.overlapMode = r.ReadInt32();
    h.blendStrength = r.ReadInt32();
    h.distortion = ReadFinite(r);
    h.lensModelValue = ReadFinite(r);
    const int32_t flags = r.ReadInt32();
    r.ReadInt32();
    h.lensModelFactor = ReadFinite(r);
    r.ReadDouble();
    r.ReadRect();
    r.ReadString();
    std::vector<std::unique_ptr<CKpic>> pictures;
    if (!r.Ok() || !ReadPictureList(ar, kMinPictureRecordFit, pictures))
        return -1;

    ClampSharedLens(h);
    if (h.fitState < 1)
        h.fitState = 5;
    h.individualFocal = (flags & 1) ? 0 : 1;

    m_CommonFocal = h.commonFocal;
    m_CentreFractions = h.centreFractions;
    m_Projection = h.projection;
    m_FitState = h.fitState;
    m_OverlapMode = h.overlapMode;
    m_BlendStrength = h.blendStrength;
    m_Distortion = h.distortion;
    m_LensModelValues[2] = h.lensModelValue;
    m_LensModelFactor = h.lensModelFactor;
    TakePictures(*this, std::move(pictures));
    m_IndividualFocal = h.individualFocal;

    if (RelocatePictureFiles(ar.GetFilePath()) == -3)
        return -3;
    if (!m_Pictures.empty()) {
        SortPlacedFirst();
        UpdateLensModel(m_LensModelFactor);
        RefreshPictureGeometry();
        UpdateBoundingRect();
        Status(m_Host, kMsgProjectLoaded, std::string(), std::string());
    }
    ResetProjectionReference(0);
    return 1;
}

int CMcCore::LoadProjectMcl(CArchive& ar)
{
    CArchiveReader& r = ar.Reader();
    ProjectHeader h;
    h.commonFocal = ReadFinite(r);
    h.centreFractions = ReadFinitePoint(r);
    h.projection = r.ReadWord();
    r.ReadWord();
    h.overlapMode = std::min<int32_t>(r.ReadWord(), 2);
    h.blendStrength = std::min<int32_t>(r.ReadWord(), 100);
    h.distortion = ReadFinite(r);
    h.lensModelValue = ReadFinite(r);
    for (int i = 0; i < 4; ++i)
        r.ReadWord();
    r.ReadString();
    std::vector<std::unique_ptr<CKpic>> pictures;
    if (!r.Ok() || !ReadPictureList(ar, kMinPictureRecordMcl, pictures))
        return -1;

    ClampSharedLens(h);
    m_CommonFocal = h.commonFocal;
    m_CentreFractions = h.centreFractions;
    m_Projection = h.projection;
    m_OverlapMode = h.overlapMode;
    m_BlendStrength = h.blendStrength;
    m_Distortion = h.distortion;
    m_LensModelValues[2] = h.lensModelValue;
    TakePictures(*this, std::move(pictures));

    if (RelocatePictureFiles(std::string()) == -3)
        return -3;
    if (!m_Pictures.empty()) {
        SortPlacedFirst();
        RefreshPictureGeometry();
        UpdateBoundingRect();
        CollectOpenPoints();
        Status(m_Host, kMsgProjectLoaded, std::string(), std::string());
    } else if (m_Host) {
        m_Host->ShowMessage(MessageNumberText(kMsgProjectWithoutPictures), 1, std::string(), std::string());
    }
    return 1;
}

int CMcCore::RelocatePictureFiles(const std::string& projectPath)
{
    m_ChangedOnLoad = 0;
    // Of records with exactly the same path only the last one stays.
    {
        std::set<std::string> later;
        for (size_t i = m_Pictures.size(); i-- > 0;) {
            if (!later.insert(m_Pictures[i]->m_Path).second)
                m_Pictures.erase(m_Pictures.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }

    const std::string programPath = GetProgramPath();
    std::string searchFolder;
    for (size_t i = 0; i < m_Pictures.size();) {
        CKpic* picture = m_Pictures[i].get();
        const std::string stored = picture->m_Path;
        std::string found = FindExistingFile(stored);
        if (found.empty() && m_Host) {
            std::string offered;
            if (m_Host->QueryReplacementPath(offered) > 0)
                found = FindExistingFile(offered);
        }
        if (found.empty()) {
            const PictureSearchResult search = SearchPictureFile(stored, projectPath, programPath, &searchFolder);
            found = search.path;
            if (search.candidate >= 3)
                Status(m_Host, kMsgFoundFileElsewhere, found, stored);
        }
        if (found.empty()) {
            // The bare file name, in the current folder.
            std::string folder, name;
            SplitFolderAndName(stored, &folder, &name);
            if (!folder.empty()) {
                const std::string bare = FindExistingFile(name);
                if (!bare.empty()) {
                    Status(m_Host, kMsgCannotFindFile, stored, std::string());
                    if (Ask(m_Host, kMsgIsThisTheFile, platform::MB_YESNO, bare, stored) == platform::IDYES)
                        found = bare;
                }
            }
        }
        if (found.empty()) {
            const int answer = Ask(m_Host, kMsgFillFullPath, platform::MB_YESNOCANCEL, stored, std::string());
            if (answer == platform::IDCANCEL) {
                TakePictures(*this, {});
                return -3;
            }
            // Cancel in the file dialog, or every round used up, ends the search for this
            // photo only: it is left out of the project.
            if (answer != platform::IDNO) {
                for (int round = 0; round < kMaxPickRounds; ++round) {
                    const std::optional<std::string> chosen = platform::FileDialog().OpenFile(PickRequest(stored));
                    if (!chosen)
                        break;
                    if (!SameNameNoCase(*chosen, stored)) {
                        Ask(m_Host, kMsgFillNewPath, platform::MB_OK, stored, std::string());
                        continue;
                    }
                    found = FindExistingFile(*chosen);
                    if (!found.empty())
                        break;
                    if (Ask(m_Host, kMsgFillPathFoundElsewhere, platform::MB_YESNO, *chosen, stored) != platform::IDYES)
                        break;
                }
            }
        }
        if (found.empty()) {
            m_Pictures.erase(m_Pictures.begin() + static_cast<std::ptrdiff_t>(i));
            m_ChangedOnLoad = 1;
            continue;
        }
        picture->m_Path = found;
        searchFolder = GetFolder(found);
        // The lens data is not kept in the file: estimate it again from the photo found, at the
        // size the file has now.
        const CRect real = m_Host ? m_Host->GetImageFileRect(found) : ::GetImageFileRect(found);
        if (!real.IsRectEmpty() && real != picture->m_PictureRect) {
            TakeFoundPictureSize(*picture, real, m_CentreFractions);
            m_ChangedOnLoad = 1;
        } else {
            picture->InitLensFromExif();
        }
        ++i;
    }
    m_RegionsValid = 0;
    return 1;
}

// ---- whole files -----------------------------------------------------------------------------

ProjectFileResult SaveProjectFile(CMcCore& core, const std::string& path)
{
    ProjectFileResult result;
    CArchive ar(path);
    const int code = core.Serialize(ar);
    if (code <= 0) {
        result.code = -1;
        if (GetFileExt(path) != ProjectExtension()) {
            result.message = CatalogueText(kMsgProjectExtension, ProjectExtension());
            result.told = core.m_Host != nullptr;
        } else {
            result.message = "The project could not be stored: " + std::string(ArchiveErrorText(ar.Error())) + ".";
        }
        return result;
    }
    // Staged as the image outputs are: written beside the file the path leads to and renamed over
    // it when complete; only a regular file the user may write is replaced.
    CStagedOutputFile file;
    const std::vector<uint8_t>& bytes = ar.Writer().Bytes();
    if (!file.Open(path) || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) {
        file.Discard();
        std::string why = StagedOutputErrorText(LastStagedOutputError());
        if (why.empty())
            why = "the file could not be written";
        result.code = -1;
        result.message = "The project could not be saved as\n" + path + "\n" + why +
                         ". The file that was there before is unchanged.";
        return result;
    }
    result.code = 1;
    return result;
}

ProjectFileResult LoadProjectFile(CMcCore& core, const std::string& path)
{
    ProjectFileResult result;
    std::vector<uint8_t> bytes;
    const platform::FileIoError io = platform::ReadWholeFile(path, bytes, kMaxProjectFileSize);
    if (io != platform::FileIoError::None) {
        result.code = -1;
        result.message = "The project file\n" + path + "\ncannot be opened: " + platform::FileIoErrorText(io) + ".";
        return result;
    }
    CArchive ar(path, bytes);
    const int code = core.Serialize(ar);
    if (code == -3) {
        result.code = -3;
        result.message = "Opening the project\n" + path + "\nwas cancelled while its photos were looked for.";
        return result;
    }
    if (code <= 0 || !ar.Ok()) {
        result.code = -1;
        result.message = "The project file\n" + path + "\nis damaged and cannot be opened (" +
                         ArchiveErrorText(ar.Error()) + " at byte " + std::to_string(ar.Reader().ErrorOffset()) +
                         ").";
        return result;
    }
    result.code = 1;
    result.modified = core.m_ChangedOnLoad != 0;
    return result;
}

std::unique_ptr<CMcCore> OpenProjectFile(const std::string& path, CMcHost* host, ProjectFileResult* result)
{
    auto core = std::make_unique<CMcCore>();
    core->m_Host = host;
    ProjectFileResult r = LoadProjectFile(*core, path);
    const bool ok = r.code == 1;
    if (result)
        *result = std::move(r);
    return ok ? std::move(core) : nullptr;
}

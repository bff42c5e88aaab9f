// Operations of the picture set on all pictures at once: giving every placed picture the common
// (or its own) focal again and re-solving its orientation, repairing optical centres after a
// load, putting everything back to unplaced, un-fitting all or part of the set, and the fit
// and undo snapshots.
//
// Snapshot layout (values by index; a picture's path sits in the string slot of its entry):
//   fit:  F, fx, fy, k, base focal, base roll, then per fitted picture: status, n, n x (kind,
//         state, id, x, y)
//   undo: P, F, fx, fy, k, base focal, base roll, then per picture: status, column, row, n and,
//         for the first F pictures only, n x (kind, state, id, x, y)
// Values are kept as doubles, so negative angles, positions and the distortion come back
// exactly.
#include <string>

#include "common/helpers.h"
#include "common/status_codes.h"
#include "engine/fit/fit_messages.h"
#include "engine/fit/lens_model.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

constexpr double FailedError = 1000000.0;
constexpr double ResetFocal = 1000.0;
constexpr double ResetDistortion = -0.02;
constexpr int ActivityFocalRefresh = 6;
constexpr int ActivityUnfit = 8;
constexpr int GroupSize = 5;

// Reads the snapshot's values in order; past the end every read gives 0 and Ok() turns false.
class SnapshotReader {
public:
    explicit SnapshotReader(const std::vector<double>& values) : m_values(values) {}
    double Next()
    {
        if (m_pos >= m_values.size()) {
            m_ok = false;
            return 0.0;
        }
        return m_values[m_pos++];
    }
    int NextInt() { return static_cast<int>(Next()); }
    void Skip(std::size_t n)
    {
        if (n > m_values.size() - m_pos) {
            m_ok = false;
            m_pos = m_values.size();
            return;
        }
        m_pos += n;
    }
    bool Ok() const { return m_ok; }

private:
    const std::vector<double>& m_values;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

void AppendPointGroups(std::vector<double>& values, const CKpic& k, int n)
{
    for (int s = 0; s < n; ++s) {
        const ControlPoint& cp = k.m_Points[static_cast<std::size_t>(s)];
        values.insert(values.end(), {static_cast<double>(cp.kind), static_cast<double>(cp.state),
                                     static_cast<double>(cp.pointId), cp.position.x, cp.position.y});
    }
}

} // namespace

// Re-solves one placed picture with the focal of the current mode.
static void ResolvePlacedPicture(CMcCore& set, CKpic* q)
{
    set.ResolvePointPartners(q);
    set.UpdateLensScale(q);
    q->UpdatePointSpherePositions();
    double e;
    if (set.m_IndividualFocal == 1) {
        e = q->EstimateFocal();
    } else {
        q->m_Focal = set.m_CommonFocal;
        e = q->ComputePointError();
    }
    if (e >= FailedError / 2.0)
        set.InitPictureFocal(q);
    q->OptimizeOrientation();
}

// The base picture's set-up once its focal is what it should be.
static void SetUpBasePicture(CMcCore& set, CKpic* p)
{
    set.UpdateLensScale(p);
    p->UpdatePointSpherePositions();
    p->UpdateOrientationFromAnchor();
    p->RefreshControlPoints();
}

int CMcCore::SetCommonFocal(double focal)
{
    if (m_JobMode == -1)
        return 0;
    CKpic* p = GetFirstPicture();
    if (p) {
        if (focal >= 100.0) {
            m_CommonFocal = focal;
            p->m_Focal = focal;
        } else {
            m_CommonFocal = p->m_Focal;
        }
        SetUpBasePicture(*this, p);
        if (p->m_Status > 0)
            p->m_Status = 3;
        for (int i = 1; i < GetPictureCount(); ++i) {
            CKpic* q = GetPictureAt(i);
            if (q->m_Status <= 0)
                continue;
            ResolvePlacedPicture(*this, q);
            if (q->m_FitScore <= 12.0) {
                q->RefreshControlPoints();
                q->m_Status = 3;
            }
        }
    }
    SortPlacedFirst();
    UpdateBoundingRect();
    m_RegionsValid = 0;
    m_Activity = ActivityFocalRefresh;
    return 1;
}

int CMcCore::ApplyDefaultFocal(const std::string& path)
{
    const int count = GetPictureCount();
    int start = path.empty() ? -1 : FindPictureIndex(path) + 1;
    if (start <= 0 || start >= count) {
        CKpic* p = GetFirstPicture();
        if (!p || p->m_Status < 1)
            return 0;
        p->m_Focal = m_CommonFocal;
        SetUpBasePicture(*this, p);
        start = 1;
    }
    for (int i = start; i < count; ++i) {
        CKpic* q = GetPictureAt(i);
        if (q->m_Status < 1)
            continue;
        ResolvePlacedPicture(*this, q);
        q->RefreshControlPoints();
    }
    m_RegionsValid = 0;
    UpdateBoundingRect();
    return 1;
}

int CMcCore::RefreshAllPictures()
{
    CKpic* p = GetFirstPicture();
    if (!p || p->m_Status <= 0)
        return 0;
    p->m_Focal = m_CommonFocal;
    SetUpBasePicture(*this, p);
    for (int i = 1; i < GetPictureCount(); ++i) {
        CKpic* q = GetPictureAt(i);
        if (q->m_Status < 1)
            continue;
        ResolvePlacedPicture(*this, q);
        q->RefreshControlPoints();
    }
    m_RegionsValid = 0;
    return 1;
}

int CMcCore::RefreshPictureGeometry()
{
    for (const auto& k : m_Pictures) {
        const CDPoint c = k->m_OpticalCentre;
        if (!(c.x > 2.0 && c.x < k->Width() - 2.0 && c.y > 2.0 && c.y < k->Height() - 2.0))
            ResetPictureCentre(k.get());
        UpdateLensScale(k.get());
        k->RefreshControlPoints();
    }
    return 1;
}

int CMcCore::ResetAllPictures()
{
    for (const auto& k : m_Pictures) {
        ResetPicture(k.get());
        k->m_SearchMark = 0;
        k->m_LayoutCell = NO_LAYOUT_CELL;
    }
    SortPlacedFirst();
    if (m_Host) {
        m_Host->OnPictureChanged(std::string());
        m_Host->OnPlacementChanged(0);
    }
    m_CommonFocal = ResetFocal;
    m_FittedCount = 0;
    m_Distortion = ResetDistortion;
    ResetProjectionReference(0);
    if (m_Host && m_JobMode < 2)
        m_Host->OnListChanged(0);
    m_RegionsValid = 0;
    m_FitState = 1;
    m_Activity = ActivityUnfit;
    return 1;
}

int CMcCore::UnfitAll()
{
    for (const auto& k : m_Pictures)
        if (k->m_Status > 1)
            k->m_Status = 2;
    if (m_Host) {
        m_Host->OnPictureChanged(std::string());
        m_Host->OnPlacementChanged(0);
    }
    m_RegionsValid = 0;
    m_FittedCount = 0;
    if (m_Host && m_JobMode < 2)
        m_Host->OnListChanged(0);
    m_FitState = 1;
    m_Activity = ActivityUnfit;
    NotifyHost(HINT_FIT_CHANGED);
    return 1;
}

int CMcCore::UnfitFromPicture(CKpic* picture)
{
    const int from = picture ? FindPictureIndex(picture->m_Path) : -1;
    if (from < 0)
        return 0;
    for (int i = from; i < GetPictureCount(); ++i) {
        CKpic* k = GetPictureAt(i);
        if (k->m_Status > 1)
            k->m_Status = 2;
    }
    const std::string path = picture->m_Path;
    SortPlacedFirst();
    m_RegionsValid = 0;
    if (m_Host && m_JobMode < 2)
        m_Host->OnListChanged(0);
    m_FitState = 1;
    m_Activity = ActivityUnfit;
    NotifyHost(HINT_UNFITTED_FROM, &path);
    return 1;
}

int CMcCore::UnplaceUnfitted()
{
    for (const auto& k : m_Pictures)
        if (k->m_Status == 2)
            k->m_Status = 0;
    SortPlacedFirst();
    NotifyHost(HINT_UNFITTED_UNPLACED);
    return 1;
}

int CMcCore::SaveFitSnapshot()
{
    m_FitSnapshotPaths.clear();
    m_FitSnapshotValues.clear();
    SortPlacedFirst();
    const CKpic* base = GetFirstPicture();
    if (!base)
        return 0;
    const int fitted = m_FittedCount;
    m_FitSnapshotValues.insert(m_FitSnapshotValues.end(),
                               {static_cast<double>(fitted), m_CentreFractions.x, m_CentreFractions.y, m_Distortion,
                                base->m_Focal, base->m_Roll});
    for (int i = 0; i < fitted; ++i) {
        CKpic* k = GetPictureAt(i);
        const int n = k->CountControlPoints();
        m_FitSnapshotPaths.push_back(k->m_Path);
        m_FitSnapshotValues.insert(m_FitSnapshotValues.end(), {static_cast<double>(k->m_Status), static_cast<double>(n)});
        AppendPointGroups(m_FitSnapshotValues, *k, n);
    }
    return 1;
}

int CMcCore::SaveUndoSnapshot()
{
    m_UndoSnapshotPaths.clear();
    m_UndoSnapshotValues.clear();
    SortPlacedFirst();
    const CKpic* base = GetFirstPicture();
    if (!base)
        return 0;
    const int count = GetPictureCount();
    const int fitted = m_FittedCount;
    m_UndoSnapshotValues.insert(m_UndoSnapshotValues.end(),
                                {static_cast<double>(count), static_cast<double>(fitted), m_CentreFractions.x,
                                 m_CentreFractions.y, m_Distortion, base->m_Focal, base->m_Roll});
    for (int i = 0; i < count; ++i) {
        CKpic* k = GetPictureAt(i);
        const int n = k->CountControlPoints();
        m_UndoSnapshotPaths.push_back(k->m_Path);
        m_UndoSnapshotValues.insert(m_UndoSnapshotValues.end(),
                                    {static_cast<double>(k->m_Status), static_cast<double>(k->m_LayoutCell.x),
                                     static_cast<double>(k->m_LayoutCell.y), static_cast<double>(n)});
        if (i < fitted)
            AppendPointGroups(m_UndoSnapshotValues, *k, n);
    }
    return 1;
}

int CMcCore::RestoreUndoSnapshot()
{
    CKpic* base = m_UndoSnapshotPaths.empty() ? nullptr : FindPictureByPath(m_UndoSnapshotPaths[0]);
    if (m_UndoSnapshotValues.size() <= 2 || !base) {
        FitStatus(m_Host, kMsgCannotRestore);
        return 0;
    }

    SnapshotReader r(m_UndoSnapshotValues);
    const int count = r.NextInt();
    const int fitted = r.NextInt();
    m_CentreFractions.x = r.Next();
    m_CentreFractions.y = r.Next();
    m_Distortion = r.Next();
    // The shared lens table follows the restored coefficient, or every picture would be re-solved
    // below through the lens of the state being undone.
    RebuildLensTable(m_Distortion, m_LensModelFactor);
    base->m_Focal = r.Next();
    m_CommonFocal = base->m_Focal;
    base->m_Roll = r.Next();

    UnfitAll();
    for (const auto& k : m_Pictures) {
        k->m_Status = 0;
        k->m_LayoutCell = NO_LAYOUT_CELL;
    }

    for (int i = 0; i < count && r.Ok(); ++i) {
        const int status = r.NextInt();
        const int column = r.NextInt();
        const int row = r.NextInt();
        const int n = r.NextInt();
        const bool hasGroups = i < fitted;
        const std::string* path = static_cast<std::size_t>(i) < m_UndoSnapshotPaths.size() ? &m_UndoSnapshotPaths[static_cast<std::size_t>(i)] : nullptr;
        CKpic* k = path && !path->empty() ? FindPictureByPath(*path) : nullptr;
        if (!k || n < 0 || n > CONTROL_POINT_SLOTS) {
            if (hasGroups && n > 0)
                r.Skip(static_cast<std::size_t>(n) * GroupSize);
            continue;
        }
        k->m_Status = status;
        k->m_LayoutCell = CPoint(column, row);
        if (!hasGroups)
            continue;
        const int previous = k->CountControlPoints();
        for (int s = 0; s < n; ++s) {
            ControlPoint& cp = k->m_Points[static_cast<std::size_t>(s)];
            cp.kind = r.NextInt();
            cp.state = r.NextInt();
            cp.pointId = static_cast<int32_t>(r.Next());
            cp.position.x = r.Next();
            cp.position.y = r.Next();
        }
        for (int s = n; s < previous; ++s)
            k->m_Points[static_cast<std::size_t>(s)].Free();
    }
    SortPlacedFirst();

    // One level only: a second undo finds nothing.
    m_UndoSnapshotPaths.clear();
    m_UndoSnapshotValues.clear();
    SetCommonFocal(0.0);
    return 1;
}

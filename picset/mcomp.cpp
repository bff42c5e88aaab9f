// The picture set facade: forwarders and the few rules of its own.
#include "picset/mcomp.h"

#include <cmath>

#include "common/value_types.h"
#include "geometry/sphere.h"
#include "imagefile/pixel_array.h"
#include "picset/mccore.h"
#include "platform/gesture.h"

namespace {

constexpr double kInViewLimit = 0.47 * EnginePi;

// Edge flags of the drag search.
constexpr int kEdgeRight = 0x10;
constexpr int kEdgeBottom = 0x20;
constexpr int kEdgeLeft = 0x40;
constexpr int kEdgeTop = 0x80;
constexpr int kSnapped = 0x100;
// Widths of the bars: columns at the left and right edges, rows at the top and bottom.
constexpr int kBarColumns = 6;
constexpr int kBarRows = 5;

} // namespace

void CMcomp::PaintEdgeBars(CPixelArray& preview, int flags)
{
    const int side = kPreviewSide;
    if (flags < 16 || preview.GetSize() < static_cast<std::ptrdiff_t>(side) * side)
        return;
    const bool all = flags >= kSnapped;
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const bool bar = ((all || (flags & kEdgeRight)) && column >= side - kBarColumns) ||
                             ((all || (flags & kEdgeBottom)) && row >= side - kBarRows) ||
                             ((all || (flags & kEdgeLeft)) && column < kBarColumns) ||
                             ((all || (flags & kEdgeTop)) && row < kBarRows);
            if (bar)
                preview[static_cast<std::ptrdiff_t>(row) * side + column] = kEdgeBarColour;
        }
    }
}

double CMcomp::ClampTurn(double angle) { return ClampDouble(angle, -2.0 * EnginePi, 2.0 * EnginePi); }

CMcomp::CMcomp() : m_core(std::make_unique<CMcCore>()) {}

CMcomp::~CMcomp() = default;

void CMcomp::SetHost(CMcHost* host) { m_core->m_Host = host; }

int CMcomp::Serialize(CArchive& ar) { return m_core->Serialize(ar); }

CKpic* CMcomp::GetPictureAt(int index) const { return m_core->GetPictureAt(index); }
int CMcomp::GetPictureCount() const { return m_core->GetPictureCount(); }
CKpic* CMcomp::OpenPicture(const std::string& path) { return m_core->OpenPicture(path); }
int CMcomp::FindPictureIndex(const std::string& path) const { return m_core->FindPictureIndex(path); }
int CMcomp::GetFittedCount() const { return m_core->GetFittedCount(); }
int CMcomp::DeletePicture(int index) { return m_core->DeletePicture(index); }
void CMcomp::SetProjection(int code) { m_core->SetProjection(code); }
int CMcomp::GetProjection() const { return m_core->GetProjection(); }
int CMcomp::RefreshCommonFocal() { return m_core->RefreshCommonFocal(); }
int CMcomp::UnfitPicture(const std::string& path) { return m_core->UnfitPicture(path); }

int CMcomp::GetLensFigures(double& focal35, double& horizontalDegrees, double& verticalDegrees, double& sensorWidth,
                           double& sensorHeight)
{
    return m_core->GetLensFigures(focal35, horizontalDegrees, verticalDegrees, sensorWidth, sensorHeight);
}

int CMcomp::AssignGridCells() { return m_core->AssignGridCells(); }

int CMcomp::PlaceDroppedPicture(const std::string& path, CPoint picturePoint, CPoint outputPoint, int refineMode,
                                int searchMode, double rollChange)
{
    return m_core->PlaceDroppedPicture(path, picturePoint, outputPoint, refineMode, searchMode, rollChange);
}

double CMcomp::GetCirclingSpeed(int x, int y) { return ::GetCirclingSpeed(x, y); }
CRect CMcomp::GetBoundingRect() const { return m_core->m_BoundingRect; }
CRect CMcomp::GetPictureOutline(CKpic* picture) { return m_core->GetPictureOutline(picture); }
int CMcomp::ResetAllPictures() { return m_core->ResetAllPictures(); }
int CMcomp::ApplyDefaultFocal(const std::string& path) { return m_core->ApplyDefaultFocal(path); }
int CMcomp::UnplaceUnfitted() { return m_core->UnplaceUnfitted(); }
int CMcomp::SaveUndoSnapshot() { return m_core->SaveUndoSnapshot(); }
int CMcomp::RestoreUndoSnapshot() { return m_core->RestoreUndoSnapshot(); }
int CMcomp::OptimizeFit() { return m_core->OptimizeFit(); }
int CMcomp::PollBreak() { return m_core->PollBreak(); }
int CMcomp::GetBreakMode() const { return m_core->GetJobMode(); }
void CMcomp::SetBreakMode(int mode) { m_core->SetJobMode(mode); }
int CMcomp::RenderPictures(int band, CPixelArray& pixels) { return m_core->RenderPictures(band, pixels); }
void CMcomp::GetOutputArea(int option, CRect& area) { area = m_core->GetOutputArea(option); }
int CMcomp::GetBlendStrength() const { return m_core->GetBlendStrength(); }
void CMcomp::SetOverlapMode(int mode) { m_core->SetOverlapMode(mode); }
void CMcomp::SetFitQuality(int value) { m_core->m_FitPriority = value; }
int CMcomp::GetFitLevel() const { return m_core->m_FitState; }
void CMcomp::SetRenderQuality(int value) { m_core->m_RenderPriority = value; }

int CMcomp::HitTestPicture(CKpic* picture, int x, int y, int size, int margin)
{
    return m_core->HitTestPicture(picture, x, y, size, margin);
}

CPoint CMcomp::PixelToPictureD(CKpic* picture, double x, double y) { return m_core->PixelToPictureD(picture, x, y); }

CKpic* CMcomp::FindPicture(const std::string& path) const
{
    for (int i = 0; i < GetPictureCount(); ++i) {
        CKpic* k = GetPictureAt(i);
        if (k->m_Path == path)
            return k;
    }
    return nullptr;
}

void CMcomp::SetPieceSlot(const std::string& path, int column, int row)
{
    if (CKpic* k = FindPicture(path))
        k->m_LayoutCell = CPoint(column, row);
}

CRect CMcomp::GetPlacedOutline(const std::string& path)
{
    CKpic* k = FindPicture(path);
    if (!k || k->m_Status <= 1)
        return CRect();
    return m_core->GetPictureOutline(k);
}

void CMcomp::GetPointMarks(const std::string& path, std::vector<MarkPoint>& marks)
{
    CKpic* k = m_core->FindPictureByPath(path);
    if (k && k != m_core->GetFirstPicture())
        m_core->GetPointMarks(k, marks);
}

CPoint CMcomp::PixelToPicture(const std::string& path, int x, int y)
{
    CKpic* k = m_core->FindPictureByPath(path);
    return k ? m_core->PixelToPicture(k, x, y) : CPoint();
}

CPoint CMcomp::PictureToPixel(const std::string& path, int x, int y)
{
    CKpic* k = m_core->FindPictureByPath(path);
    return k ? m_core->PictureToPixel(k, x, y) : CPoint();
}

int CMcomp::FinishDrag(int dx, int dy, double angle) { return FinishMove(dx, dy, angle); }

int CMcomp::FinishMove(int dx, int dy, double angle)
{
    return m_core->FinishMove(dx, dy, ClampTurn(angle));
}

int CMcomp::RunAutoFit()
{
    FitMode = -2;
    return m_core->RunAutoFit();
}

int CMcomp::RunAutoFit360()
{
    FitMode = 2;
    const int result = m_core->RunAutoFit();
    FitMode = -2;
    return result;
}

int CMcomp::IdleStep(int level)
{
    const int before = m_core->CountReadyPictures();
    const int result = m_core->IdleStep(level);
    if (m_core->CountReadyPictures() != before)
        return 3;
    return result == 1 ? 1 : 0;
}

int CMcomp::SetupRender(const CRect& area, int width, int height, int shape)
{
    m_core->ResetProgress();
    m_core->PollBreak();
    m_core->EnsureAllPictureImages();
    return m_core->SetupRender(area.left, area.top, area.right, area.bottom, width, height, shape);
}

int CMcomp::IsPictureInView(const CKpic* picture) const
{
    if (!picture)
        return 0;
    const int code = m_core->GetProjection();
    if (code >= 31)
        return 1;
    if (std::abs(picture->Pitch()) > kInViewLimit)
        return 0;
    if (code >= 21)
        return 1;
    if (std::abs(picture->Yaw()) > kInViewLimit)
        return 0;
    return 1;
}

void CMcomp::GetVerticalLimits(CPoint& top, CPoint& bottom) const
{
    const double nearPole = EnginePi / 2.0 - 0.001;
    top = m_core->SphereToPixel(CDPoint(0.0, nearPole));
    top.y -= 1;
    bottom = m_core->SphereToPixel(CDPoint(0.0, -nearPole));
    bottom.y += 1;
}

int CMcomp::DragPicture(const std::string& path, CPoint hotspot, int& mode, CPixelArray& preview, CPoint* dragPoint,
                        int scale)
{
    LabeledPoint request;
    request.Set(path, hotspot.x, hotspot.y);
    request.v2 = mode;
    const int flags = m_core->DragPicture(request, preview, dragPoint, scale);
    mode = request.v2;
    PaintEdgeBars(preview, flags);
    return flags;
}

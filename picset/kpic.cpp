// Picture record: construction, the control-point table, orientation keeping and the
// candidate-search snapshot.
#include "picset/kpic.h"

#include "picset/mccore.h"

CKpicBase::CKpicBase()
{
    for (int i = 0; i < 256; ++i)
        ColourTable[i] = i;
}

CKpicBase::~CKpicBase() = default;

CKpic::CKpic()
{
    m_Self = this;
}

CKpic::CKpic(const std::string& path, const CRect& pictureRect)
{
    m_Self = this;
    m_Path = path;
    m_PictureRect = pictureRect;
    InitLensFromExif();
    m_Focal = m_DefaultFocal;
    m_BestFocal = m_DefaultFocal;
}

CKpic::~CKpic()
{
    if (LastFeaturePicture == this)
        ResetFeatureLinking();
}

CKpic* CKpic::CreateObject()
{
    return new CKpic();
}

int CKpic::FindFreePoint() const
{
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        if (m_Points[i].kind == 0)
            return i;
    }
    return CONTROL_POINT_SLOTS - 1;
}

int CKpic::LastUsedPoint() const
{
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        if (m_Points[i].kind == 0)
            return i == 0 ? 0 : i - 1;
    }
    return CONTROL_POINT_SLOTS - 1;
}

int CKpic::CountControlPoints()
{
    int count = 0;
    int end = 0;
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        if (m_Points[i].IsUsed()) {
            ++count;
            end = i + 1;
        }
    }
    if (end != count) {
        CompactControlPoints();
        count = 0;
        while (count < CONTROL_POINT_SLOTS && m_Points[count].IsUsed())
            ++count;
    }
    return count;
}

int CKpic::CountFittedPoints() const
{
    int n = 0;
    for (const ControlPoint& cp : m_Points) {
        if (cp.IsUsed() && cp.state > 2)
            ++n;
    }
    return n;
}

int CKpic::FindFittedPoint() const
{
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        if (m_Points[i].IsUsed() && m_Points[i].state > 2)
            return i;
    }
    return -1;
}

namespace {

// First slot, scanning the used slots from the front up to the first one that is not used,
// that satisfies the test; -3 when there is none.
template <typename Test>
int ScanUsedFront(const std::array<ControlPoint, CONTROL_POINT_SLOTS>& points, Test test)
{
    for (int i = 0; i < CONTROL_POINT_SLOTS && points[i].IsUsed(); ++i) {
        if (test(points[i]))
            return i;
    }
    return -3;
}

} // namespace

int CKpic::FindAnchorPoint() const
{
    return ScanUsedFront(m_Points, [](const ControlPoint& cp) {
        return cp.state == -4 && cp.pointId == PLACEMENT_ANCHOR_ID;
    });
}

int CKpic::FindPointStateM5() const
{
    return ScanUsedFront(m_Points, [](const ControlPoint& cp) { return cp.state == -5; });
}

int CKpic::FindPointStateM6() const
{
    return ScanUsedFront(m_Points, [](const ControlPoint& cp) { return cp.state == -6; });
}

int CKpic::HasPointId(int32_t id)
{
    const int n = CountControlPoints();
    for (int i = 0; i < n; ++i) {
        if (m_Points[i].pointId == id)
            return 1;
    }
    return 0;
}

int CKpic::CountKind1Points() const
{
    int n = 0;
    for (const ControlPoint& cp : m_Points) {
        if (cp.kind == 1)
            ++n;
    }
    return n;
}

int CKpic::CountLinkedUserPoints() const
{
    int n = 0;
    for (const ControlPoint& cp : m_Points) {
        if (cp.kind == 1 && cp.state > 1)
            ++n;
    }
    return n;
}

int CKpic::AddPointAt(int32_t id, CDPoint position)
{
    if (!m_PictureRect.PtInRect(position.ToPoint()))
        return -2;
    // A full table gives slot 49, whose point is replaced.
    const int slot = FindFreePoint();
    ControlPoint cp;
    cp.kind = 1;
    cp.state = 3;
    cp.position = position;
    cp.pointId = id;
    const CDPoint plane = PixelToPlane(position);
    cp.SetPlanePoint(plane, m_Focal);
    cp.spherePosition = PlaneToSphere(plane);
    m_Points[slot] = cp;
    return slot;
}

void CKpic::CompactControlPoints()
{
    int used = 0;
    for (const ControlPoint& cp : m_Points) {
        if (cp.IsUsed())
            ++used;
    }
    if (used == 0)
        return;
    for (int pass = 0; pass < CONTROL_POINT_SLOTS - 1; ++pass) {
        bool moved = false;
        for (int k = 0; k < CONTROL_POINT_SLOTS - 1; ++k) {
            if (m_Points[k].kind == 0 && m_Points[k + 1].IsUsed()) {
                m_Points[k] = m_Points[k + 1];
                m_Points[k + 1].Free();
                moved = true;
            }
        }
        bool frontFull = true;
        for (int i = 0; i < used && frontFull; ++i)
            frontFull = m_Points[i].IsUsed();
        if (frontFull || !moved)
            return;
    }
}

void CKpic::SaveBestOrientation()
{
    m_BestFocal = m_Focal;
    m_BestDirection = m_Direction;
    m_BestRoll = m_Roll;
}

void CKpic::RestoreBestOrientation()
{
    m_Focal = m_BestFocal;
    m_Direction = m_BestDirection;
    m_Roll = m_BestRoll;
}

void CKpic::SaveSnapshot(double commonFocal, double error)
{
    m_Snapshot.commonFocal = commonFocal;
    m_Snapshot.error = error;
    m_Snapshot.focal = m_Focal;
    m_Snapshot.direction = m_Direction;
    m_Snapshot.roll = m_Roll;
    m_Snapshot.points = m_Points;
    m_Snapshot.fitScore = m_FitScore;
}

double CKpic::RestoreSnapshot()
{
    m_Focal = m_Snapshot.focal;
    m_Direction = m_Snapshot.direction;
    m_Roll = m_Snapshot.roll;
    m_Points = m_Snapshot.points;
    m_FitScore = m_Snapshot.fitScore;
    return m_Snapshot.commonFocal;
}

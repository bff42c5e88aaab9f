// The rendering area (work-space units): fitting it to the pictures, clipping it to the view,
// centring it, the default area of a full turn, and the output size it gives.
#include <cmath>

#include "common/value_types.h"
#include "document/commands_table.h"
#include "document/sm_doc.h"
#include "picset/mcomp.h"

namespace {

constexpr int kViewMargin = 48;
constexpr int kAreaMargin = 16;
// Renderer answers spent on narrowing a full-turn area.
constexpr int kMaxSpanSteps = 101;
// The area that stands in for an empty one.
const CRect kDefaultArea(-160, -120, 160, 120);

// Shrinks the area by the margin, keeps its part inside the view and grows it again; false
// when nothing of it lies inside the view.
bool ClipToView(CRect& area, const CRect& view)
{
    CRect a = area;
    a.NormalizeRect();
    a.DeflateRect(kAreaMargin, kAreaMargin);
    CRect inside;
    const bool meets = inside.IntersectRect(a, view);
    inside.InflateRect(kAreaMargin, kAreaMargin);
    area = inside;
    return meets;
}

} // namespace

void CSmDoc::FitRenderAreaToPictures(const CRect& view)
{
    CRect shrunk = view;
    shrunk.DeflateRect(kViewMargin, kViewMargin);
    m_renderArea = m_pComp->GetBoundingRect();
    if (!ClipToView(m_renderArea, shrunk)) {
        m_renderArea = shrunk;
        m_renderArea.DeflateRect(kAreaMargin, kAreaMargin);
    }
    m_outputSize = GetOutputSize(1);
    m_pComp->UnplaceUnfitted();
}

void CSmDoc::SetRenderAreaToFittedPictures(bool newPictures)
{
    if (m_pComp->GetFittedCount() < 1)
        return;
    const CRect box = m_pComp->GetBoundingRect();
    if (box.IsRectEmpty())
        return;
    const bool ownArea = !m_renderArea.IsRectEmpty() && m_renderArea != kDefaultArea && m_renderArea != m_fitArea;
    if (!newPictures && ownArea)
        return;
    m_renderArea = box;
    m_fitArea = box;
    m_outputSize = GetOutputSize(1);
    if (m_areaShown > 0) {
        const int r = m_pComp->SetupRender(m_renderArea, m_outputSize.cx, m_outputSize.cy, m_areaMode);
        if (r != m_renderSetup) {
            m_renderSetup = r;
            UpdateAllViews(nullptr, HINT_RENDER_SETUP);
        }
    }
}

void CSmDoc::ClipRenderAreaToView(const CRect& view)
{
    if (m_renderArea.IsRectEmpty())
        m_pComp->GetOutputArea(m_areaMode, m_renderArea);
    CRect shrunk = view;
    shrunk.DeflateRect(kViewMargin, kViewMargin);
    ClipToView(m_renderArea, shrunk);
    m_outputSize = GetOutputSize(1);
    m_pComp->UnplaceUnfitted();
}

void CSmDoc::CenterRenderArea()
{
    if (m_areaMode != 1)
        return;
    const int64_t dx = -(int64_t(m_renderArea.left) + m_renderArea.right) / 2;
    const int64_t dy = -(int64_t(m_renderArea.top) + m_renderArea.bottom) / 2;
    m_renderArea.OffsetRect(static_cast<int32_t>(dx), static_cast<int32_t>(dy));
}

int CSmDoc::SetDefaultRenderArea()
{
    const CRect box = m_pComp->GetBoundingRect();
    m_defaultArea = box;
    const int w = box.Width();
    const int h = box.Height();
    m_fullTurnWidth = w;
    const int span = m_pComp->SetupRender(box, m_outputSize.cx, m_outputSize.cy, 3);
    if (span < 300) {
        if (w / 2 < h) {
            m_defaultArea.top += h / 2 - w / 4;
            m_defaultArea.bottom += w / 4 - h / 2;
        }
        return w;
    }
    m_defaultArea.right = m_defaultArea.left + static_cast<int>(int64_t(w) * 360 / (span + 1));
    for (int answers = 0; answers < kMaxSpanSteps; ++answers) {
        const int s = m_pComp->SetupRender(m_defaultArea, m_outputSize.cx, m_outputSize.cy, 3);
        if (s <= 350 || s == 360)
            break;
        m_defaultArea.right += s < 360 ? 1 : -1;
    }
    m_defaultArea.right -= 1;
    const int width = m_defaultArea.Width();
    m_fullTurnWidth = width;
    if (span >= 360)
        m_defaultArea.OffsetRect((w - width) / 2, 0);
    return width;
}

CSize CSmDoc::CalcOutputSize(int mode, int step)
{
    if (step < 1)
        step = 1;
    if (m_renderArea.IsRectEmpty())
        m_renderArea = kDefaultArea;
    const int64_t areaWidth = m_renderArea.Width();
    const double aspect = double(m_renderArea.Height()) / double(areaWidth);
    const int w0 = Clamp(static_cast<int>(std::min<int64_t>(areaWidth + areaWidth / 7, 999999)), 1, 999999);
    const int h0 = Clamp(static_cast<int>(std::min(w0 * aspect, 999999.0)), 1, 999999);
    const int m = std::max(w0, h0);
    const int q = Clamp(10 * static_cast<int>(std::sqrt(double(m))), 16, m / 2);
    int64_t width = w0;
    switch (mode) {
    case 1:
        width = int64_t(w0) * static_cast<int64_t>(std::sqrt(double(m) * q)) / m;
        break;
    case 2:
        width = int64_t(w0) * q / m;
        break;
    case 3:
        width = static_cast<int64_t>(std::min(double(areaWidth) * m_outputScale + 0.5, 2.0e9));
        break;
    default:
        break;
    }
    if (step != 1)
        width = step * (width / step);
    const int wi = static_cast<int>(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX));
    const int hi = Clamp(static_cast<int>(std::clamp(wi * aspect, -2.0e9, 2.0e9)), 1, 999999);
    return CSize(wi, hi);
}

CSize CSmDoc::GetOutputSize(int step)
{
    if (m_renderArea.IsRectEmpty())
        m_renderArea = kDefaultArea;
    const double aspect = double(m_renderArea.Height()) / double(m_renderArea.Width());
    // The Option box shows sizes of this area: it needs the area's own proportions, not those
    // of an output size rounded to whole pixels.
    if (IOptionBox* box = OptionBox())
        box->SetAspect(aspect);
    const CSize s = CalcOutputSize(m_sizeMode, step);
    const int w = Clamp(s.cx, 1, 999999);
    const int h = Clamp(static_cast<int>(std::clamp(s.cx * aspect, -2.0e9, 2.0e9)), 1, 999999);
    return CSize(w, h);
}

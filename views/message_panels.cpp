// The message panels of the work view. While a long job runs, its text and the two buttons
// "Show Guide" and "Break Process" are drawn in a white panel in the middle of the client area,
// and nothing else; the buttons' rectangles go to the document in screen coordinates, where the
// document's break test looks for the cursor while the job polls for a break. Otherwise the
// document's pending render text is drawn in a panel over the rectangle it belongs to (the
// centre frame of a new project), and its status message in a panel in the middle of the
// client area.
#include <QFontMetrics>

#include <algorithm>
#include <sstream>

#include "common/message_catalogue.h"
#include "views/sm_view.h"

using platform::qt::CGdiContext;

namespace {

constexpr int kPanelPadding = 14;   // panel edge to text and buttons
constexpr int kButtonPadX = 12;     // button edge to label, across
constexpr int kButtonPadY = 6;      // button edge to label, down
constexpr int kButtonGap = 24;      // between the two buttons
constexpr int kTextToButtons = 12;  // below the text
constexpr COLORREF kPanelFrame = 0x808080;
constexpr COLORREF kButtonFace = 0xDFDFDF;

platform::qt::CFontSpec PanelFont()
{
    platform::qt::CFontSpec font;
    font.pixelHeight = 14;
    return font;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    if (lines.empty())
        lines.emplace_back();
    return lines;
}

// Height of the lines of `text` as they are drawn: Qt lays lines out at the font's exact line
// height, which may be a fraction of a pixel more than its rounded height.
int LinesHeight(const QFontMetrics& fm, const std::string& text)
{
    return fm.boundingRect(QRect(0, 0, 100000, 100000), Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(text))
        .height();
}

// A white panel holding `text` (lines broken at "\n"), centred on `at`, or on the client area
// when `at` is a null rectangle. Returns the panel's rectangle; the text goes inside it.
CRect TextPanelRect(const QFontMetrics& fm, const std::string& text, const CRect& at, const CRect& client)
{
    const std::vector<std::string> lines = Lines(text);
    int width = 0;
    for (const std::string& line : lines)
        width = std::max(width, fm.horizontalAdvance(QString::fromStdString(line)));
    const CSize panel(width + 2 * kPanelPadding, LinesHeight(fm, text) + 2 * kPanelPadding);
    const CRect around = at.IsRectNull() ? client : at;
    const CPoint centre((around.left + around.right) / 2, (around.top + around.bottom) / 2);
    CPoint topLeft(centre.x - panel.cx / 2, centre.y - panel.cy / 2);
    // A panel placed by the client area stays inside it, its top-left corner first.
    if (at.IsRectNull()) {
        topLeft.x = std::max(0, topLeft.x);
        topLeft.y = std::max(0, topLeft.y);
    }
    return CRect(topLeft, panel);
}

void DrawTextPanel(CGdiContext& dc, const std::string& text, const CRect& panel)
{
    dc.FillSolidRect(panel, 0xFFFFFF);
    dc.FrameRect(panel, kPanelFrame);
    dc.SelectFont(PanelFont());
    dc.SetTextColor(0);
    dc.SetBkColor(0xFFFFFF);
    dc.SetBkMode(platform::qt::OPAQUE);
    CRect inner = panel;
    inner.DeflateRect(kPanelPadding, kPanelPadding);
    dc.DrawText(text, inner, platform::qt::DT_CENTER | platform::qt::DT_NOCLIP);
    dc.SetBkMode(platform::qt::TRANSPARENT);
}

} // namespace

workview::JobPanel CSmView::LayoutJobPanel(const std::string& text) const
{
    const QFontMetrics fm(platform::qt::MakeQFont(PanelFont()));
    const std::vector<std::string> lines = Lines(text);
    int textWidth = 0;
    for (const std::string& line : lines)
        textWidth = std::max(textWidth, fm.horizontalAdvance(QString::fromStdString(line)));
    const int lineHeight = fm.height();
    const int textHeight = LinesHeight(fm, text);
    auto buttonSize = [&](const std::string& label) {
        return CSize(fm.horizontalAdvance(QString::fromStdString(label)) + 2 * kButtonPadX, lineHeight + 2 * kButtonPadY);
    };
    const MessageCatalogue& cat = Catalogue();
    const CSize guide = buttonSize(cat.showGuide), brk = buttonSize(cat.breakProcess);
    const int buttonsWidth = guide.cx + kButtonGap + brk.cx;
    const int inner = std::max(textWidth, buttonsWidth);
    const CSize panel(inner + 2 * kPanelPadding,
                      textHeight + kTextToButtons + std::max(guide.cy, brk.cy) + 2 * kPanelPadding);
    const CRect client = GetClientRect();
    const int left = std::max(0, (client.Width() - panel.cx) / 2);
    const int top = std::max(0, (client.Height() - panel.cy) / 2);

    workview::JobPanel p;
    p.panel = CRect(CPoint(left, top), panel);
    p.text = CRect(left + kPanelPadding, top + kPanelPadding, left + kPanelPadding + inner,
                   top + kPanelPadding + textHeight);
    const int buttonsTop = p.text.bottom + kTextToButtons;
    const int buttonsLeft = left + kPanelPadding + (inner - buttonsWidth) / 2;
    p.guide = CRect(CPoint(buttonsLeft, buttonsTop), guide);
    p.brk = CRect(CPoint(p.guide.right + kButtonGap, buttonsTop), brk);
    return p;
}

void CSmView::DrawMessagePanels(CGdiContext& dc, CPoint src)
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return;
    if (doc->m_jobText.empty()) {
        const QFontMetrics fm(platform::qt::MakeQFont(PanelFont()));
        const CRect client = GetClientRect();
        if (!doc->m_renderRequestName.empty()) {
            CRect at;
            if (!doc->m_renderRequest.IsRectNull()) {
                const CRect c = Map().WorkRectToCanvas(doc->m_renderRequest);
                at = CRect(c.left - src.x, c.top - src.y, c.right - src.x, c.bottom - src.y);
            }
            DrawTextPanel(dc, doc->m_renderRequestName, TextPanelRect(fm, doc->m_renderRequestName, at, client));
        }
        if (!doc->m_statusMessage.empty())
            DrawTextPanel(dc, doc->m_statusMessage, TextPanelRect(fm, doc->m_statusMessage, CRect(), client));
        return;
    }
    const workview::JobPanel p = LayoutJobPanel(doc->m_jobText);
    const MessageCatalogue& cat = Catalogue();

    dc.FillSolidRect(p.panel, 0xFFFFFF);
    dc.FrameRect(p.panel, kPanelFrame);
    dc.SelectFont(PanelFont());
    dc.SetTextColor(0);
    dc.SetBkColor(0xFFFFFF);
    dc.SetBkMode(platform::qt::OPAQUE);
    dc.DrawText(doc->m_jobText, p.text, platform::qt::DT_CENTER | platform::qt::DT_NOCLIP);

    auto button = [&](const CRect& r, const std::string& label, int number) {
        dc.FillSolidRect(r, kButtonFace);
        dc.DrawEdge(r, doc->m_jobPress == number ? platform::qt::EDGE_SUNKEN : platform::qt::EDGE_RAISED);
        dc.SetBkColor(kButtonFace);
        // A pressed button's label sits one pixel lower and to the right, as a pushed button's.
        CRect at = r;
        if (doc->m_jobPress == number)
            at.OffsetRect(1, 1);
        dc.DrawText(label, at, platform::qt::DT_CENTER | platform::qt::DT_VCENTER | platform::qt::DT_SINGLELINE);
    };
    button(p.guide, cat.showGuide, 1);
    button(p.brk, cat.breakProcess, 2);
    dc.SetBkColor(0xFFFFFF);
    dc.SetBkMode(platform::qt::TRANSPARENT);

    // The document's break test compares the cursor's screen position with these.
    auto toScreen = [&](const CRect& r) {
        const QPoint tl = viewport()->mapToGlobal(QPoint(r.left, r.top));
        return CRect(CPoint(tl.x(), tl.y()), r.Size());
    };
    doc->m_jobLinkRect = toScreen(p.guide);
    doc->m_jobBreakRect = toScreen(p.brk);
}

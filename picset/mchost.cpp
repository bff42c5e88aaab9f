// The engine host adapter: message numbers to catalogue texts, status and message boxes,
// progress repaint pacing and the break question.
#include "picset/mchost.h"

#include <chrono>
#include <climits>
#include <thread>

#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "imagefile/image_file.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/status_bar.h"

namespace {

// Tick of the last repaint of the picture information view by a progress tick.
uint32_t g_lastProgressRepaint = 0;

// The picture information view repaints at every tick of the timer ring's first round and
// at most every this many milliseconds after it.
constexpr uint32_t kRepaintIntervalMs = 500;
constexpr int kFirstRoundTicks = 20;

// The key code of a break poll when Escape was pressed (with or without a button).
constexpr int kBreakKeyEscape = 27;

// While the user still holds the key that answered the break question, the job waits; it
// gives up after this many polls so a key state that never clears cannot hang the program.
constexpr int kReleasePolls = 150;
constexpr auto kReleasePollInterval = std::chrono::milliseconds(20);

} // namespace

CMcHost::CMcHost() { LoadMessageCatalogue(); }

CMcHost::~CMcHost() = default;

void CMcHost::ResetProgressRepaint(uint32_t tick) { g_lastProgressRepaint = tick; }

int CMcHost::MessageNumber(const std::string& number)
{
    size_t i = 0;
    while (i < number.size() && (number[i] == ' ' || number[i] == '\t' || number[i] == '\n' || number[i] == '\r'))
        ++i;
    bool negative = false;
    if (i < number.size() && (number[i] == '-' || number[i] == '+')) {
        negative = number[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
        v = v * 10 + (number[i] - '0');
        if (v > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -v : v);
}

std::string CMcHost::MessageFor(const std::string& number)
{
    const int n = MessageNumber(number);
    if (n > 0 && n < kMessageTableSize)
        return MessageText(n);
    return number;
}

std::string CMcHost::FormatMessage(const std::string& text, const std::string& a, const std::string& b)
{
    std::string out;
    out.reserve(text.size() + a.size() + b.size());
    int used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            const char f = text[i + 1];
            if (f == 's' || f == 'd') {
                out += used == 0 ? a : used == 1 ? b : std::string();
                ++used;
                ++i;
                continue;
            }
            if (f == '%') {
                out.push_back('%');
                ++i;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

void CMcHost::BeginStep(const std::string& number, const std::string&, const std::string&, const std::string& path)
{
    if (!m_document)
        return;
    if (!path.empty()) {
        const int entry = m_document->FindEntryIndex(path);
        if (entry >= 0) {
            m_document->SetCurrentEntry(entry);
            m_document->ShowThumbnail(entry);
        }
    }
    m_document->SetBusyState(1);
    std::string text = number;
    const int n = MessageNumber(number);
    if (n > 0 && n < kMessageTableSize) {
        text = MessageText(n);
        if (n == 1)
            m_document->SetStepFlags(m_document->GetStepFlags() | 1);
        else if (n == 4)
            m_document->SetStepFlags(2);
        else
            m_document->SetStepFlags(0);
    }
    SetStatusText(0, FormatMessage(text, path, std::string()));
    m_document->RepaintThumView();
}

void CMcHost::EndStep()
{
    if (!m_document)
        return;
    if (m_document->GetStepFlags() != 2)
        m_document->SetStepFlags(0);
    m_document->SetBusyState(-2);
}

void CMcHost::WaitForBreakKeyRelease()
{
    for (int i = 0; i < kReleasePolls && ::IsBreakKeyDown(); ++i)
        std::this_thread::sleep_for(kReleasePollInterval);
}

int CMcHost::OnProgress(int kind, int tick)
{
    if (!m_document)
        return 2;
    m_document->SetBusyState(tick);
    if (kind != 0) {
        // Escape breaks at once, as the tips tell the user.
        if (kind == kBreakKeyEscape)
            return kResultCancelled;
        if (kind != 1)
            return 2;
        const int click = m_document->TestBreakClick();
        if (click == kBreakClickNone)
            return 2;
        if (click == kBreakClickOnTimer) {
            const int answer =
                ::ShowMessage(Catalogue().terminateQuestion, platform::MB_YESNO | platform::MB_ICONQUESTION);
            WaitForBreakKeyRelease();
            if (answer == platform::IDYES)
                return kResultCancelled;
            m_document->NotifyWorkView(6, std::string());
        }
    }
    const uint32_t now = platform::Clock().TickCount();
    // Unsigned difference: right across a wrap of the tick counter.
    if (now - g_lastProgressRepaint < kRepaintIntervalMs && tick > kFirstRoundTicks)
        return 2;
    g_lastProgressRepaint = now;
    m_document->RepaintThumView();
    return 2;
}

int CMcHost::AskQuestion(const std::string& number, int type, const std::string& a, const std::string& b)
{
    const int n = MessageNumber(number);
    switch (n) {
    case 11:
    case 13:
    case 16:
    case 17:
        return 1;
    case 26:
    case 27:
        return platform::IDYES;
    default:
        break;
    }
    const std::string text = MessageFor(number);
    if (text.empty())
        return 1;
    return ::ShowMessage(FormatMessage(text, a, b), static_cast<unsigned>(type));
}

void CMcHost::ShowMessage(const std::string& number, int type, const std::string& a, const std::string& b)
{
    const std::string text = MessageFor(number);
    if (text.empty())
        return;
    const std::string shown = FormatMessage(text, a, b);
    if (type < 1)
        SetStatusText(0, shown);
    else if (m_document)
        m_document->SetStatusMessage(shown);
}

void CMcHost::ShowStatus(int pane, const std::string& number, const std::string& a, const std::string& b)
{
    SetStatusText(pane, FormatMessage(MessageFor(number), a, b));
}

void CMcHost::ClearStatus() { ClearStatusText(); }

int CMcHost::IsBreakKeyDown() { return ::IsBreakKeyDown() ? 1 : 0; }

void CMcHost::ShowViewMessage(int kind, const std::string& text)
{
    if (m_document)
        m_document->NotifyWorkView(kind, text);
}

int CMcHost::UpdateAllViews(const void* sender, int hint, const std::string* object)
{
    if (!m_document)
        return 0;
    m_document->UpdateAllViews(sender, hint, object);
    return 1;
}

int CMcHost::LoadPictureImage(const std::string& path)
{
    if (!m_document)
        return -1;
    return m_document->LoadPictureImage(path);
}

CRect CMcHost::GetImageFileRect(const std::string& path) { return ::GetImageFileRect(path); }

int CMcHost::QueryReplacementPath(std::string& path)
{
    path.clear();
    return 0;
}

void CMcHost::OnPlacementChanged(int) {}
void CMcHost::OnPicturePlaced(int) {}
void CMcHost::OnPictureChanged(const std::string&) {}
void CMcHost::OnPictureEvaluated() {}
void CMcHost::OnBaseChanged(CKpic*) {}
void CMcHost::OnListChanged(int) {}

// Sorted candidate lists, the keypad direction code, control-point ids and the rectangle
// widening of the fit searches.
#include "engine/fit/fit_candidates.h"

#include <cstddef>
#include <iterator>

#include "geometry/sphere.h"
#include "platform/clock.h"

namespace {

uint32_t g_PointIdCounter = 0;

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

uint32_t ClockSeconds()
{
    const platform::LocalTime t = platform::Clock().Now();
    const int64_t days = DaysFromCivil(t.year, t.month, t.day);
    return static_cast<uint32_t>(days * 86400 + t.hour * 3600 + t.minute * 60 + t.second);
}

bool IsCloser(const FitCandidate& a, const FitCandidate& b, double minDistance)
{
    return ApproxSphericalDistance(a.kcen, b.kcen) < minDistance;
}

} // namespace

int InsertCandidateSorted(FitCandidateList& list, const FitCandidate& c, int capacity, double minDistance)
{
    if (list.empty()) {
        list.push_back(c);
        return 1;
    }
    const auto size = static_cast<std::ptrdiff_t>(list.size());
    int position = 0;
    if (size >= capacity - 1 && list.back().score < c.score) {
        position = 0;
    } else {
        std::ptrdiff_t i = 0;
        for (; i < size; ++i) {
            const FitCandidate& e = list[static_cast<std::size_t>(i)];
            if (e.score > c.score)
                break;
            if (minDistance != 0.0 && IsCloser(e, c, minDistance))
                return 0;
        }
        if (i < size) {
            list.insert(list.begin() + i, c);
            position = static_cast<int>(i) + 1;
            if (minDistance != 0.0) {
                // One worse candidate next to the new one gives way: the displaced entry itself
                // when it is that close, else the first later one that is.
                for (auto it = list.begin() + i + 1; it != list.end(); ++it) {
                    if (IsCloser(*it, c, minDistance)) {
                        list.erase(it);
                        break;
                    }
                }
            }
        } else if (size < capacity) {
            list.push_back(c);
            position = static_cast<int>(size) + 1;
        }
    }
    if (static_cast<std::ptrdiff_t>(list.size()) > capacity)
        list.pop_back();
    return position;
}

int PruneCandidates(FitCandidateList& list, double factor, double limit, int keep)
{
    const auto n = list.size();
    if (n < 2)
        return static_cast<int>(n);
    double bound = list.front().score * factor;
    if (limit < bound)
        bound = limit;
    if (UnusableScore < bound)
        bound = UnusableScore;
    for (std::size_t k = 0; k < n && !list.empty() && list.back().score > bound; ++k)
        list.pop_back();
    const int above = static_cast<int>(list.size()) - keep;
    if (keep > 0)
        while (static_cast<int>(list.size()) > keep)
            list.pop_back();
    return above;
}

int RotateKeypadPosition(int code, int turns)
{
    static constexpr int Ring[8] = {2, 3, 6, 9, 8, 7, 4, 1};
    if (turns < 0 || turns > 3 || code == 5 || code < 1 || code > 9)
        return code;
    int index = 0;
    while (Ring[index] != code)
        ++index;
    return Ring[((index - 2 * turns) % 8 + 8) % 8];
}

int32_t NewPointId()
{
    ++g_PointIdCounter;
    return static_cast<int32_t>((ClockSeconds() << 8) + g_PointIdCounter);
}

int32_t NewAutoPointId()
{
    return static_cast<int32_t>(static_cast<uint32_t>(NewPointId()) + 100000000u);
}

void ResetPointIdCounter() { g_PointIdCounter = 0; }

void ExtendRectToPoint(CRect& r, CPoint p)
{
    if (p.x < r.left)
        r.left = p.x;
    else if (p.x > r.right)
        r.right = p.x;
    if (p.y < r.top)
        r.top = p.y;
    else if (p.y > r.bottom)
        r.bottom = p.y;
}

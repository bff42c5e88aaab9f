// The renderer: one band of 16 output rows at a time, every fitted picture looked up through
// the output projection and its own geometry, filtered by the local magnification, corrected
// for light fall-off and blended with weights that grow with the distance from the picture's
// edge; and the driver that renders bands on several cores with the bytes of a serial render.
//
// Coordinates: raster pixel (x, y) -> output plane (OutputToPlane) -> sphere (PlaneToSphere)
// -> the picture's camera plane (CKpic::SphereToPlane) -> picture pixel (CKpic::PlaneToPixel).
// Accumulator cell (y - first row of the band) * W + x holds the weighted sum of output pixel
// (x, y); its count is the accumulated weight.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "common/message_catalogue.h"
#include "common/status_codes.h"
#include "geometry/sphere.h"
#include "engine/render_band.h"
#include "engine/render_filter.h"
#include "engine/worker_thread.h"
#include "imagefile/pixel_array.h"
#include "picset/mccore.h"
#include "picset/mchost.h"

namespace {

// Where a band is rendered: on the interactive thread (which may load pictures, report and
// poll the break) or on a worker (which only reads the set-up and stops when told).
struct CBandWork {
    CMcCore& core;
    std::vector<CRgbSum>& cells;
    std::vector<int32_t>& flags;
    bool interactive = true;
    const std::atomic<bool>* stop = nullptr;
    CKpic* failedPicture = nullptr;

    bool Stopped() const
    {
        if (interactive)
            return core.m_JobMode == -1;
        return stop && stop->load(std::memory_order_relaxed);
    }
};

// A direction that an inverse projection really produced (the shared no-direction test) and
// that lies on the sphere: a vertical panorama reaching past a pole gives latitudes beyond it.
bool IsRenderableDirection(CDPoint d)
{
    return !IsMissingDirection(d) && std::abs(d.y) <= EngineHalfPi;
}

bool HasImage(const CKpic* picture)
{
    const int64_t need = static_cast<int64_t>(picture->Width()) * picture->Height();
    return need > 0 && picture->Pixels.GetSize() == need;
}

// Whether a picture may reach the 16 x 16 block at (x0, y0): any corner's direction within
// pi/3 of its axis and inside its rectangle. There is no longitude pre-test against the yaw:
// on the circle every longitude is within pi of it, and comparing raw longitudes would leave
// the far side of a full turn's seam white for a picture that straddles it.
bool CoversBlock(const CMcCore& core, const CKpic* picture, int x0, int y0)
{
    const CPoint corners[4] = {{x0, y0}, {x0 + 15, y0}, {x0 + 15, y0 + 15}, {x0, y0 + 15}};
    for (const CPoint& c : corners) {
        const CDPoint d = core.PlaneToSphere(core.OutputToPlane(c.x, c.y));
        if (IsRenderableDirection(d) && picture->HitTestPointArea(d))
            return true;
    }
    return false;
}

COLORREF PixelAt(const CKpic* picture, int x, int y)
{
    return picture->Pixels[static_cast<std::ptrdiff_t>(y - picture->m_PictureRect.top) *
                               picture->Width() +
                           (x - picture->m_PictureRect.left)];
}

COLORREF FilteredSample(const CMcCore& core, const CKpic* picture, const CBlockFilter& f, CDPoint pp,
                        CPoint ip)
{
    const CRect& rect = picture->m_PictureRect;
    CRgbSum local;
    const int n = f.halfWidth;
    for (int dy = 1 - n; dy <= n; ++dy) {
        const int sy = Clamp(ip.y + dy, rect.top, rect.bottom - 1);
        for (int dx = 1 - n; dx <= n; ++dx) {
            const int sx = Clamp(ip.x + dx, rect.left, rect.right - 1);
            CDPoint t(sx - pp.x, sy - pp.y);
            if (f.kind >= 1)
                t = CDPoint(t.x * f.u1.x + t.y * f.u2.x, t.x * f.u1.y + t.y * f.u2.y);
            const double a = std::abs(t.x);
            const double b = std::abs(t.y);
            // Written to be false for NaN too: a displacement that overflowed must not reach
            // the table index conversions below.
            if (!(a <= f.reach && b <= f.reach))
                continue;
            double wx = 1.0;
            double wy = 1.0;
            if (f.kind <= 1) {
                wx = core.m_SincTable[Clamp(static_cast<int>(a * 100), 0, 199)];
                wy = core.m_SincTable[Clamp(static_cast<int>(b * 100), 0, 199)];
            } else if (f.kind == 2) {
                wx = core.m_EdgeTable[Clamp(static_cast<int>(a * 200), 0, 199)];
                wy = core.m_EdgeTable[Clamp(static_cast<int>(b * 200), 0, 199)];
            } else {
                wx = EdgeWeight(a);
                wy = EdgeWeight(b);
            }
            local.AddColourWeighted(PixelAt(picture, sx, sy), static_cast<int>(wx * wy * 2000));
        }
    }
    if (!local.Average())
        return PixelAt(picture, ip.x, ip.y);
    return RGB(local.r, local.g, local.b);
}

// Brightens towards the picture's edge: k per mille at camera-plane radius rq.
COLORREF CompensateFalloff(COLORREF c, double rq, int longSide, int strength)
{
    const double ratio = rq / longSide;
    const double g = 2.0 * 10.0 * ratio * ratio * ratio * strength;
    const int k = static_cast<int>(ClampDouble(g, 0.0, 500.0));
    auto channel = [k](int v) { return Clamp(v + v * k / 1000, 0, 255); };
    return RGB(channel(GetRValue(c)), channel(GetGValue(c)), channel(GetBValue(c)));
}

int RenderOne(CBandWork& work, int band, CKpic* picture, int radius)
{
    CMcCore& core = work.core;
    if (!picture)
        return 0;
    if (work.Stopped() || picture->Width() < 1)
        return -1;
    if (!HasImage(picture)) {
        // Workers never load: the driver made every image available before the first band.
        if (!work.interactive || core.EnsurePictureImage(picture) <= 0 || !HasImage(picture)) {
            work.failedPicture = picture;
            return -1;
        }
    }

    const int W = core.m_OutputWidth;
    const int H = core.m_OutputHeight;
    // A band above or below the raster has no row to add to (the cells hold the band's own
    // rows only, and the first row of a far band may not fit an int).
    if (band < 0 || band > (H - 1) / kRenderBandRows)
        return work.Stopped() ? -1 : 1;
    const int firstRow = band * kRenderBandRows;
    const int y0 = Clamp(firstRow, 0, H);
    const CRect& rect = picture->m_PictureRect;
    const int E = Clamp(std::min(picture->Width(), picture->Height()) / 6, 80, 400);
    const int M = std::max(picture->Width(), picture->Height());
    const int mode = core.m_OverlapMode;
    const bool skipComplete = mode == 0 || mode == 1 || mode == 3;
    const bool round = core.m_RenderShape == 1 || core.m_RenderShape == 2;
    const bool filtered = core.m_RenderPriority >= 2;

    for (int x0 = 0; x0 < W; x0 += 16) {
        int32_t& flag = work.flags[static_cast<size_t>(x0 / 16)];
        if (skipComplete && flag == 3)
            continue;
        if (!work.interactive && work.Stopped())
            break;
        if (!CoversBlock(core, picture, x0, y0))
            continue;

        const CDPoint c(x0 + 8.0, y0 + 8.0);
        const CDPoint p0 = picture->SphereToPixel(core.PlaneToSphere(core.OutputToPlaneD(c)));
        auto displacement = [&](CDPoint p) {
            return core.PlaneToOutput(core.SphereToPlane(picture->PixelToSphere(p))) - c;
        };
        const CDPoint u1 = displacement(p0 + CDPoint(1.0, 0.0));
        const CDPoint u2 = displacement(p0 + CDPoint(0.0, 1.0));
        const double m = std::min(std::hypot(u1.x, u1.y), std::hypot(u2.x, u2.y));
        const CBlockFilter filter = ChooseBlockFilter(m, u1, u2);

        int visited = 0;
        int complete = 0;
        for (int y = y0; y < y0 + 16 && y < H; ++y) {
            CRgbSum* row = work.cells.data() + static_cast<std::ptrdiff_t>(y - firstRow) * W;
            for (int x = x0; x < x0 + 16 && x < W; ++x) {
                ++visited;
                CRgbSum& cell = row[x];
                if (skipComplete && cell.count >= E) {
                    ++complete;
                    continue;
                }
                const CDPoint q = core.OutputToPlane(x, y);
                // Written so that a NaN (an area one unit wide or high has a radius of 0, and its
                // centre pixel gives 0 / 0) counts as outside.
                if (round && !(std::hypot((q.x - core.m_ImageCentre.x) / core.m_RadiusX,
                                          (q.y - core.m_ImageCentre.y) / core.m_RadiusY) <= 1.0))
                    continue;
                const CDPoint d = core.PlaneToSphere(q);
                if (!IsRenderableDirection(d))
                    continue;
                const CDPoint v = picture->SphereToPlane(d);
                const CDPoint pp = picture->PlaneToPixel(v);
                const CPoint ip = pp.ToPoint();
                if (!rect.PtInRect(ip))
                    continue;
                const double rq = std::hypot(v.x, v.y);
                int e = std::min(std::min(ip.x - rect.left, rect.right - ip.x),
                                 std::min(ip.y - rect.top, rect.bottom - ip.y));
                // The bound comes first so that a NaN radius also takes it before the int conversion.
                if (mode == 0)
                    e = std::min(e, radius - static_cast<int>(std::min(2.0e9, rq)));
                if (e <= 0)
                    continue;

                COLORREF sample = filtered ? FilteredSample(core, picture, filter, pp, ip)
                                           : PixelAt(picture, ip.x, ip.y);
                if (core.m_BlendStrength > 0)
                    sample = CompensateFalloff(sample, rq, M, core.m_BlendStrength);

                if (skipComplete) {
                    const int rest = E - cell.count;
                    if (e < rest) {
                        cell.AddColourWeighted(sample, e);
                    } else {
                        if (rest >= 1)
                            cell.AddColourWeighted(sample, rest);
                        ++complete;
                    }
                } else {
                    cell.AddColourWeighted(sample, e);
                    ++complete;
                }
            }
        }
        if (visited > 0 && visited == complete)
            flag = 3;
    }
    return work.Stopped() ? -1 : 1;
}

// Radius of a centre-first pass: the half diagonal of the picture rectangle shrunk by
// width / divisor and height / divisor on each side (divisor 0: the whole diagonal).
int PassRadius(const CKpic* picture, int divisor)
{
    const int w = picture->Width();
    const int h = picture->Height();
    if (divisor == 0)
        return static_cast<int>(std::hypot(w, h));
    const int w1 = w - 2 * (w / divisor);
    const int h1 = h - 2 * (h / divisor);
    return static_cast<int>(std::hypot(w1 / 2.0, h1 / 2.0));
}

// After each picture of a pass: count the step down and, on the interactive thread, poll.
void StepDone(CBandWork& work, int counter)
{
    if (!work.interactive)
        return;
    --work.core.m_Progress[counter];
    work.core.PollBreak();
}

int RenderBand(CBandWork& work, int band, CPixelArray& pixels)
{
    CMcCore& core = work.core;
    const int W = core.m_OutputWidth;
    const std::ptrdiff_t n = pixels.GetSize();
    if (W < 1 || n < static_cast<std::ptrdiff_t>(kRenderBandRows) * W)
        return kResultArrayTooSmall;
    if (band < 0 || static_cast<size_t>(core.m_BlockColumns) != work.flags.size() ||
        static_cast<int64_t>(core.m_BlockColumns) * 16 < W)
        return -1;
    try {
        work.cells.assign(static_cast<size_t>(n), CRgbSum());
    } catch (const std::bad_alloc&) {
        return kResultOutOfMemory;
    } catch (const std::length_error&) {
        return kResultOutOfMemory;
    }
    std::fill(work.flags.begin(), work.flags.end(), 1);

    if (work.interactive && core.m_RenderPriority < 2)
        core.m_OverlapMode = 1;

    const std::vector<CKpic*>& list = core.m_RenderList;
    int result = 1;
    if (core.m_OverlapMode == 0) {
        size_t pos = 0;
        while (pos < list.size() && result >= 0 && !work.Stopped()) {
            size_t end = pos + 1;
            double largest = list[pos]->m_Focal;
            while (end < list.size() && list[end]->IsFitted() && list[end]->m_Focal > 0.95 * largest) {
                largest = std::max(largest, list[end]->m_Focal);
                ++end;
            }
            static const int kDivisors[3] = {4, 8, 0};
            for (int pass = 0; pass < 3 && result >= 0 && !work.Stopped(); ++pass) {
                for (size_t i = pos; i < end; ++i) {
                    CKpic* p = list[i];
                    if (!p->IsFitted())
                        continue;
                    result = RenderOne(work, band, p, PassRadius(p, kDivisors[pass]));
                    StepDone(work, pass < 2 ? 2 : 1);
                    if (result < 0 || work.Stopped())
                        break;
                }
            }
            pos = end;
        }
    } else {
        for (CKpic* p : list) {
            if (!p->IsFitted())
                continue;
            result = RenderOne(work, band, p, PassRadius(p, 0));
            StepDone(work, 1);
            if (result < 0 || work.Stopped())
                break;
        }
    }
    if (result < 0 || work.Stopped())
        return -1;

    COLORREF* out = pixels.GetData();
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        CRgbSum& cell = work.cells[static_cast<size_t>(i)];
        if (cell.count == 0)
            cell.SetColour(RGB(255, 255, 255));
        out[i] = cell.ToColour();
    }
    return 1;
}

// A picture whose image cannot be made available ends the band: the host shows it, and the
// caller learns its path.
void ReportPictureNotLoaded(CMcCore& core, const CKpic* picture)
{
    core.m_RenderFailedPath = picture->m_Path;
    if (core.m_Host) {
        const std::string number = NumberedMessageFlag ? MessageNumberText(kMsgCannotLoadPicture)
                                                       : MessageText(kMsgCannotLoadPicture);
        core.m_Host->ShowStatus(0, number, picture->m_Path, std::string());
    }
}

} // namespace

bool CMcCore::PictureCoversBlock(CKpic* picture, int x0, int y0)
{
    return picture && CoversBlock(*this, picture, x0, y0);
}

int CMcCore::RenderOnePicture(int band, CKpic* picture, int radius)
{
    if (m_RenderCells.size() < static_cast<size_t>(kRenderBandRows) * std::max(m_OutputWidth, 0) ||
        m_BlockFlags.size() != static_cast<size_t>(m_BlockColumns))
        return -1;
    CBandWork work{*this, m_RenderCells, m_BlockFlags};
    const int r = RenderOne(work, band, picture, radius);
    if (work.failedPicture)
        ReportPictureNotLoaded(*this, work.failedPicture);
    return r;
}

int CMcCore::RenderPictures(int band, CPixelArray& pixels)
{
    CBandWork work{*this, m_RenderCells, m_BlockFlags};
    const int r = RenderBand(work, band, pixels);
    if (work.failedPicture)
        ReportPictureNotLoaded(*this, work.failedPicture);
    return r;
}

int RenderBandsInOrder(CMcCore& core, const std::vector<int>& order, int threads,
                       const std::function<int(int band, const CPixelArray& pixels)>& sink)
{
    const int W = core.m_OutputWidth;
    if (W < 1 || core.m_OutputHeight < 1 || core.m_FittedCount <= 0 ||
        core.m_BlockFlags.size() != static_cast<size_t>(core.m_BlockColumns))
        return -1;
    const size_t bandPixels = static_cast<size_t>(kRenderBandRows) * static_cast<size_t>(W);

    // Everything that may load, report or rewrite the picture set happens here, once.
    core.m_RenderFailedPath.clear();
    core.EnsureAllPictureImages();
    for (CKpic* p : core.m_RenderList) {
        if (!p->IsFitted() || p->Width() < 1 || HasImage(p))
            continue;
        const int loaded = core.EnsurePictureImage(p);
        // Memory running out is not the picture's fault: the caller says so instead.
        if (loaded <= kResultOutOfMemory)
            return kResultOutOfMemory;
        if (loaded <= 0 || !HasImage(p)) {
            ReportPictureNotLoaded(core, p);
            return -1;
        }
    }
    if (core.m_RenderPriority < 2)
        core.m_OverlapMode = 1;
    int fittedInList = 0;
    for (CKpic* p : core.m_RenderList)
        fittedInList += p->IsFitted() ? 1 : 0;

    if (threads <= 0)
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    threads = std::min<int>(threads, static_cast<int>(std::max<size_t>(order.size(), 1)));

    auto renderOnThisThread = [&](CPixelArray& pixels) {
        for (int band : order) {
            const int r = core.RenderPictures(band, pixels);
            if (r < 0)
                return r;
            if (core.m_JobMode < 0 || sink(band, pixels) < 0)
                return -1;
        }
        return 1;
    };
    if (threads <= 1) {
        CPixelArray pixels;
        if (!pixels.TrySetSize(static_cast<std::ptrdiff_t>(bandPixels)))
            return kResultOutOfMemory;
        return renderOnThisThread(pixels);
    }

    // A window of slots: band order[i] is rendered into slot i % slots by any worker, and
    // delivered from there in order by this thread.
    struct CSlot {
        CPixelArray pixels;
        CRenderScratch scratch;
        int index = -1;   // order index rendered into the slot, -1 while free or busy
        int result = 0;
        CKpic* failed = nullptr;
    };
    const int slotCount = 2 * threads;
    std::vector<CSlot> slots(static_cast<size_t>(slotCount));
    for (CSlot& s : slots) {
        if (!s.pixels.TrySetSize(static_cast<std::ptrdiff_t>(bandPixels)))
            return kResultOutOfMemory;
        try {
            s.scratch.blockFlags.assign(core.m_BlockFlags.size(), 1);
            s.scratch.cells.reserve(bandPixels);
        } catch (const std::bad_alloc&) {
            return kResultOutOfMemory;
        }
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> stop{false};
    int nextIndex = 0;   // next order index to hand to a worker
    int delivered = 0;   // order indexes below this were handed to the sink
    const int total = static_cast<int>(order.size());

    auto worker = [&]() {
        for (;;) {
            int index = -1;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] {
                    return stop.load() || nextIndex >= total || nextIndex < delivered + slotCount;
                });
                if (stop.load() || nextIndex >= total)
                    return;
                index = nextIndex++;
            }
            CSlot& slot = slots[static_cast<size_t>(index % slotCount)];
            CBandWork work{core, slot.scratch.cells, slot.scratch.blockFlags, false, &stop};
            int r = -1;
            try {
                r = RenderBand(work, order[static_cast<size_t>(index)], slot.pixels);
            } catch (const std::bad_alloc&) {
                r = kResultOutOfMemory;
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                slot.result = r;
                slot.failed = work.failedPicture;
                slot.index = index;
            }
            changed.notify_all();
        }
    };

    // A process at its limits may refuse threads: the render goes on with those it got, and
    // without any on this thread.
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i) {
        try {
            pool.push_back(StartWorkerThread(worker));
        } catch (const std::system_error&) {
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    if (pool.empty())
        return renderOnThisThread(slots[0].pixels);

    int result = 1;
    for (int i = 0; i < total; ++i) {
        CSlot& slot = slots[static_cast<size_t>(i % slotCount)];
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return slot.index == i; });
        }
        if (slot.result < 0) {
            if (slot.failed)
                ReportPictureNotLoaded(core, slot.failed);
            result = slot.result;
            break;
        }
        // The steps the serial render counts per picture, counted per band.
        core.m_Progress[1] -= fittedInList;
        if (core.m_OverlapMode == 0)
            core.m_Progress[2] -= 2 * fittedInList;
        core.PollBreak();
        if (core.m_JobMode < 0 || sink(order[static_cast<size_t>(i)], slot.pixels) < 0) {
            result = -1;
            break;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            slot.index = -1;
            delivered = i + 1;
        }
        changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop.store(true);
    }
    changed.notify_all();
    for (std::thread& t : pool)
        t.join();
    return result;
}

// The picture information pane on Qt's offscreen platform: margins and text placement, the
// thumbnail on displays of every depth, its hints, the lines that fit, the thumbnail drag and
// the file details, and the timer dial with a clock that only moves when read.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include <memory>
#include <vector>

#include "document/sm_doc.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "views/display_service.h"
#include "views/thum_dial.h"
#include "views/thum_view.h"

namespace {

// A clock that moves one millisecond every time it is read, so that waits end by themselves.
class SteppingClock : public platform::IClock {
public:
    uint32_t TickCount() override { return ++m_tick; }
    platform::LocalTime Now() override { return {}; }
    uint32_t m_tick = 1000;
};

COLORREF ThumbColour(int x, int y) { return RGB(x * 255 / 159, y * 255 / 119, 96); }

struct ThumbFixture : ::testing::Test {
    void SetUp() override
    {
        thumdial::ResetDialProcessState();
        CThumView::s_n16BitFormat = 0;
        platform::SetMessageBox(&box);
        views::SetDisplayService([this] { return display; });
        doc = std::make_unique<CSmDoc>();
        doc->m_entries.resize(2);
        for (int i = 0; i < 2; ++i) {
            CPictureEntry& e = doc->m_entries[size_t(i)];
            e.m_Name = i == 0 ? "/photos/pic_a.jpg" : "/photos/pic_b.jpg";
            e.m_Size = {4000, 3000};
            e.m_FNumberText = "2.8";
            e.m_CameraNameText = "2024:05:01 10:00:00";
            e.m_CameraValue = 35.0;
            e.m_PixelCache.SetSize(160 * 120);
            for (int y = 0; y < 120; ++y)
                for (int x = 0; x < 160; ++x)
                    e.m_PixelCache[y * 160 + x] = ThumbColour(x, y);
        }
        MakeView(200, 300);
    }
    void TearDown() override
    {
        view.reset();
        doc.reset();
        views::SetDisplayService(nullptr);
        platform::SetMessageBox(nullptr);
        platform::SetClock(nullptr);
    }
    void MakeView(int w, int h)
    {
        view.reset();
        view = std::make_unique<CThumView>();
        view->resize(w, h);
        doc->AddView(view.get());
        view->OnInitialUpdate();
    }
    QImage Shot()
    {
        view->Invalidate(true);
        return view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Number of dark (text) pixels in a rectangle of the image.
    static int DarkPixels(const QImage& img, const CRect& r)
    {
        int n = 0;
        for (int y = std::max(0, r.top); y < std::min(img.height(), r.bottom); ++y)
            for (int x = std::max(0, r.left); x < std::min(img.width(), r.right); ++x)
                if (qGray(img.pixel(x, y)) < 80)
                    ++n;
        return n;
    }

    platform::FakeMessageBox box;
    views::DisplayInfo display{{1280, 1024}, 32, 0};
    std::unique_ptr<CSmDoc> doc;
    std::unique_ptr<CThumView> view;
};

} // namespace

TEST_F(ThumbFixture, MarginsGrowWithThePaneUpToTen)
{
    struct Case {
        int w, h;
        CPoint margin;
    } cases[] = {
        {159, 400, {0, 10}}, {400, 239, {10, 0}}, {170, 250, {2, 2}}, {210, 290, {10, 10}}, {1000, 1000, {10, 10}},
    };
    for (const Case& c : cases) {
        MakeView(c.w, c.h);
        view->SetThumbnail(0);
        Shot();
        EXPECT_EQ(view->m_ptThumb, c.margin) << c.w << " x " << c.h;
    }
}

TEST_F(ThumbFixture, ThumbnailShowsOnEveryDisplayDepth)
{
    struct Case {
        int bits;
        C16BitLayout layout;
        int tolerance;
    } cases[] = {
        {32, C16BitLayout::Rgb565, 0},
        {24, C16BitLayout::Rgb565, 0},
        {16, C16BitLayout::Rgb565, 8},
        {16, C16BitLayout::Rgb555, 8},
        {8, C16BitLayout::Rgb565, 0},  // no packed format: drawn pixel by pixel
    };
    for (const Case& c : cases) {
        display.bitsPerPixel = c.bits;
        display.layout16 = c.layout;
        CThumView::s_n16BitFormat = 0;
        MakeView(200, 300);
        const int result = view->SetThumbnail(0);
        EXPECT_EQ(result, 1) << c.bits;
        EXPECT_EQ(view->m_nShown, 0);
        if (c.bits == 16) {
            EXPECT_EQ(CThumView::s_n16BitFormat, c.layout == C16BitLayout::Rgb555 ? 15 : 16);
        }
        const QImage img = Shot();
        const CPoint o = view->m_ptThumb;
        for (CPoint p : {CPoint(0, 0), CPoint(159, 0), CPoint(80, 60), CPoint(159, 119)}) {
            const QRgb got = img.pixel(o.x + p.x, o.y + p.y);
            const COLORREF want = ThumbColour(p.x, p.y);
            EXPECT_NEAR(qRed(got), GetRValue(want), c.tolerance) << c.bits << " at " << p.x << "," << p.y;
            EXPECT_NEAR(qGreen(got), GetGValue(want), c.tolerance) << c.bits;
            EXPECT_NEAR(qBlue(got), GetBValue(want), c.tolerance) << c.bits;
        }
    }
}

TEST_F(ThumbFixture, SetThumbnailRefusesBadEntriesAndKeepsTheShownOne)
{
    ASSERT_EQ(view->SetThumbnail(1), 1);
    EXPECT_EQ(view->m_nShown, 1);
    doc->m_entries[0].m_PixelCache.SetSize(19199);
    EXPECT_EQ(view->SetThumbnail(0), -1);
    EXPECT_EQ(view->m_nShown, 1);
    EXPECT_EQ(view->SetThumbnail(5), -1);
    EXPECT_EQ(view->SetThumbnail(-1), -1);
    EXPECT_EQ(view->m_nShown, 1);
    // A picture without a complete thumbnail shows its file details instead.
    view->m_nShown = 0;
    const QImage img = Shot();
    EXPECT_GT(DarkPixels(img, CRect(5, 5, 150, 22)), 20) << "\"Current Image is\"";
}

TEST_F(ThumbFixture, SelectionHintRepaintsOnlyForAnotherPicture)
{
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    doc->m_currentEntry = 0;
    view->OnUpdate(nullptr, HINT_FINDER_SELECT, HintObject::None());
    EXPECT_EQ(view->m_nShown, 0);
    view->UpdateWindow();
    Shot();
    const int draws = view->DrawCount();
    // Same index, same name: nothing to draw.
    view->OnUpdate(nullptr, HINT_FINDER_SELECT, HintObject::None());
    view->UpdateWindow();
    EXPECT_EQ(view->DrawCount(), draws);
    EXPECT_EQ(doc->m_refreshFlags[1], 0);
    // Same index, another picture in the entry: rebuilt and drawn.
    doc->m_entries[0].m_Name = "/photos/other.jpg";
    view->OnUpdate(nullptr, HINT_FINDER_SELECT, HintObject::None());
    view->UpdateWindow();
    EXPECT_EQ(view->DrawCount(), draws + 1);
    // Another index: drawn as well.
    doc->m_currentEntry = 1;
    view->OnUpdate(nullptr, HINT_FINDER_SELECT, HintObject::None());
    view->UpdateWindow();
    EXPECT_EQ(view->DrawCount(), draws + 2);
    EXPECT_EQ(view->m_nShown, 1);
}

TEST_F(ThumbFixture, SelectingAnUnreadablePictureReplacesTheShownPhotoByItsDetails)
{
    auto thumbPixels = [](const QImage& im) {
        int n = 0;
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x)
                n += qBlue(im.pixel(x, y)) == 96 && qRed(im.pixel(x, y)) != qGreen(im.pixel(x, y));
        return n;
    };
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    doc->m_currentEntry = 1;
    view->OnUpdate(nullptr, HINT_FINDER_SELECT, HintObject::None());
    view->UpdateWindow();
    ASSERT_GT(thumbPixels(view->Surface()), 10000);

    // The picture that could not be read has no thumbnail.
    CPictureEntry& bad = doc->m_entries[0];
    bad.m_Name = "/photos/grey.jpg";
    bad.m_PixelCache.SetSize(0);
    bad.m_Size = {};
    doc->m_currentEntry = 0;
    view->OnUpdate(nullptr, HINT_FINDER_SELECT, HintObject::None());
    view->UpdateWindow();
    EXPECT_EQ(view->m_nShown, 0);
    EXPECT_EQ(thumbPixels(view->Surface()), 0) << "the previous photo is gone";
    EXPECT_GT(DarkPixels(view->Surface(), CRect(5, 30, 150, 47)), 20) << "the file name at (5, 30)";

    // No picture at all (the chosen file could not be read): the banner.
    doc->m_currentEntry = -1;
    view->OnUpdate(nullptr, HINT_FINDER_SELECT, HintObject::None());
    view->UpdateWindow();
    EXPECT_EQ(view->m_nShown, -1);
    EXPECT_GT(DarkPixels(view->Surface(), view->GetClientRect()), 0) << "the banner";

    // Choosing a readable one again shows its thumbnail.
    doc->m_currentEntry = 1;
    view->OnUpdate(nullptr, HINT_FINDER_SELECT, HintObject::None());
    view->UpdateWindow();
    EXPECT_GT(thumbPixels(view->Surface()), 10000);
}

TEST_F(ThumbFixture, AResizedPaneLooksLikeAFreshPaneOfItsNewSize)
{
    struct Case {
        const char* what;
        int shown;
        QSize from, to;
    } cases[] = {
        {"banner, wider", -1, {140, 124}, {260, 124}},
        {"banner, taller", -1, {140, 124}, {140, 300}},
        {"photo, under to beside", 0, {200, 300}, {400, 100}},
    };
    for (const Case& c : cases) {
        MakeView(c.to.width(), c.to.height());
        if (c.shown >= 0)
            view->SetThumbnail(c.shown);
        const QImage fresh = view->grab().toImage().convertToFormat(QImage::Format_RGB32);

        MakeView(c.from.width(), c.from.height());
        if (c.shown >= 0)
            view->SetThumbnail(c.shown);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->grab();
        view->resize(c.to);
        const QImage resized = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(resized, fresh) << c.what;
    }
}

TEST_F(ThumbFixture, APhotosLinesFitThePaneUnderItsThumbnail)
{
    // The pane at the main window's first size, a photo in a deep folder with a long exposure text.
    MakeView(240, 270);
    CPictureEntry& e = doc->m_entries[0];
    e.m_Name = "/home/someone/Pictures/holidays/2013 petra and the arches/DFM_4210.jpg";
    e.m_ExposureText = "0.00313 (1/320) ";
    view->SetThumbnail(0);
    const QImage img = Shot();
    const int x = view->m_ptThumb.x, y = view->m_ptThumb.y;
    // Seven lines under the thumbnail, the last one (the lens) inside the pane.
    for (int line = 0; line < 7; ++line) {
        const int top = y + 125 + line * 20;
        EXPECT_GT(DarkPixels(img, CRect(x + 5, top, 240, std::min(top + 16, 270))), 10) << "line " << line;
    }
    // No line runs into the pane's right edge: the folder path gives up its middle instead.
    EXPECT_EQ(DarkPixels(img, CRect(238, y + 120, 240, 270)), 0);
}

TEST_F(ThumbFixture, TextGoesBesideTheThumbnailInALowWidePane)
{
    // Tall pane: the lines start under the thumbnail at (x + 5, y + 125).
    MakeView(200, 300);
    view->SetThumbnail(0);
    QImage img = Shot();
    EXPECT_GT(DarkPixels(img, CRect(15, 135, 200, 155)), 20);
    EXPECT_EQ(DarkPixels(img, CRect(171, 0, 200, 130)), 0);
    EXPECT_EQ(view->m_strShownName, "/photos/pic_a.jpg");
    EXPECT_EQ(view->m_sizeShown, CSize(4000, 3000));

    // Low and wide: beside it, from (x + 165, 10).
    MakeView(400, 100);
    view->SetThumbnail(0);
    img = Shot();
    const int x = view->m_ptThumb.x;
    EXPECT_GT(DarkPixels(img, CRect(x + 165, 10, 400, 30)), 20);
    // Lines stop once the next would start below the pane: nothing is drawn past its bottom
    // even on a taller surface.
    QImage tall(400, 400, QImage::Format_RGB32);
    tall.fill(Qt::white);
    platform::qt::CGdiContext dc(tall);
    EXPECT_EQ(view->FormatPictureInfo(dc, 0, x + 160, 120, x + 165, 10), 1);
    EXPECT_GT(DarkPixels(tall, CRect(x + 165, 90, 400, 106)), 0) << "the line starting at 90 is drawn";
    EXPECT_EQ(DarkPixels(tall, CRect(0, 110, 400, 400)), 0);
    // A pane tall enough for every line draws them all.
    MakeView(400, 150);
    view->SetThumbnail(0);
    Shot();
    EXPECT_EQ(view->FormatPictureInfo(dc, 0, x + 160, 120, x + 165, 10), 0);
}

TEST_F(ThumbFixture, PressOnTheThumbnailStartsADragElsewhereShowsFileDetails)
{
    view->SetThumbnail(0);
    view->show();
    Shot();
    const CPoint o = view->m_ptThumb;
    view->OnLButtonDown(CPoint(o.x + 80, o.y + 60));
    EXPECT_EQ(view->m_nPaneMode, 5);
    EXPECT_EQ(doc->m_thumbDragState, 5);
    EXPECT_EQ(doc->m_droppedNames, "/photos/pic_a.jpg");
    EXPECT_EQ(doc->m_dropAnchor, view->m_ptHotspot);
    EXPECT_EQ(doc->m_dropAnchor, doc->ThumbPointToPicture(0, CPoint(80, 60)));
    EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(view->m_hDragCursor.shape(), Qt::BitmapCursor);
    // Moving inside keeps the drag alive; leaving hands it to the work view.
    view->OnMouseMove(CPoint(o.x + 90, o.y + 60), true);
    EXPECT_EQ(view->m_nPaneMode, 5);
    view->OnMouseMove(CPoint(-5, 20), true);
    EXPECT_EQ(view->m_nPaneMode, 0);
    view->OnLButtonUp(CPoint(-5, 20));
    EXPECT_EQ(view->m_ptHotspot, CPoint());
    EXPECT_TRUE(doc->m_droppedNames.empty());

    // A press well below the thumbnail shows the file details while held.
    view->OnLButtonDown(CPoint(o.x + 80, o.y + 120 + 40));
    EXPECT_EQ(view->m_nPaneMode, -2);
    QImage img = Shot();
    EXPECT_GT(DarkPixels(img, CRect(5, 30, 150, 47)), 20) << "the file name at (5, 30)";
    view->OnLButtonUp(CPoint(0, 0));
    EXPECT_EQ(view->m_nPaneMode, 0);
}

TEST_F(ThumbFixture, IdleBannerWithoutAPicture)
{
    const QImage img = Shot();
    EXPECT_GT(DarkPixels(img, view->GetClientRect()), 0);
    // No thumbnail is drawn, however the last one was built.
    auto thumbPixels = [](const QImage& im) {
        int n = 0;
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x)
                n += qBlue(im.pixel(x, y)) == 96 && qRed(im.pixel(x, y)) != qGreen(im.pixel(x, y));
        return n;
    };
    view->SetThumbnail(0);
    EXPECT_GT(thumbPixels(Shot()), 10000);
    view->m_nShown = -1;
    EXPECT_EQ(thumbPixels(Shot()), 0);
}

TEST(ThumbDial, WindsDownFromRestInQuarters)
{
    SteppingClock clock;
    platform::SetClock(&clock);
    thumdial::ResetDialProcessState();
    std::vector<int> drawn;
    thumdial::DialHooks hooks;
    hooks.drawHand = [&](int v) { drawn.push_back(v); };
    hooks.breakKeyDown = [] { return false; };
    thumdial::DialState s;
    EXPECT_EQ(thumdial::RunDial(s, 3000, 2, hooks), 1);
    ASSERT_EQ(drawn.size(), 31u);
    EXPECT_EQ(std::vector<int>(drawn.begin(), drawn.begin() + 4), (std::vector<int>{7230, 6173, 5380, 4785}));
    EXPECT_EQ(drawn[29], 3001);
    EXPECT_EQ(drawn[30], 3000);
    EXPECT_EQ(s.value, 3000);

    // A job that falls back: the hand runs down by tenths of the distance, at least 2.
    drawn.clear();
    EXPECT_EQ(thumdial::RunDial(s, 2000, 2, hooks), 1);
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn[0], 2900);
    EXPECT_LE(s.value, 2000);
    EXPECT_GE(s.value, 1999);

    // Below the target it wobbles, and after more than ten wobbles jumps to the target.
    thumdial::DialState w;
    w.value = 100;
    for (int i = 0; i < 11; ++i)
        thumdial::RunDial(w, 500, 2, hooks);
    EXPECT_EQ(w.value, 500);
    EXPECT_EQ(w.wobbles, 0);

    // Mode 3 creeps one step at a time.
    thumdial::DialState creep;
    creep.value = 4000;
    drawn.clear();
    EXPECT_EQ(thumdial::RunDial(creep, 1000, 3, hooks), 0);
    EXPECT_EQ(drawn, std::vector<int>{3999});
    platform::SetClock(nullptr);
}

TEST(ThumbDial, TargetOneWaitsForTheReleaseButNoLongerThanThreeSeconds)
{
    SteppingClock clock;
    platform::SetClock(&clock);
    std::vector<int> drawn;
    int polls = 0, pumps = 0;
    thumdial::DialHooks hooks;
    hooks.drawHand = [&](int v) { drawn.push_back(v); };
    hooks.pump = [&] { ++pumps; };
    thumdial::DialState s;
    s.value = 5000;

    hooks.breakKeyDown = [&] {
        ++polls;
        return false;
    };
    thumdial::RunDial(s, 1, 2, hooks);
    EXPECT_EQ(polls, 1);
    EXPECT_EQ(drawn, std::vector<int>{5000});

    // Held down for good: the wait lets events through and ends by the clock.
    drawn.clear();
    hooks.breakKeyDown = [] { return true; };
    const uint32_t start = clock.m_tick;
    thumdial::RunDial(s, 1, 2, hooks);
    EXPECT_EQ(drawn, std::vector<int>{5000});
    EXPECT_GE(clock.m_tick - start, thumdial::kWaitLimitMs);
    EXPECT_LT(clock.m_tick - start, thumdial::kWaitLimitMs + 10);
    EXPECT_GT(pumps, 0);
    platform::SetClock(nullptr);
}

TEST(ThumbDial, HandsPointUpAtZeroAndTurnClockwiseAsValuesFall)
{
    const thumdial::HandTips zero = thumdial::ComputeHandTips(0);
    EXPECT_EQ(zero.hour, CPoint(79, 47));
    EXPECT_EQ(zero.minute, CPoint(79, 44));
    EXPECT_EQ(zero.second, CPoint(79, 38));
    // A quarter turn of the hour hand (2160) points left; the value falling moves it back up.
    const thumdial::HandTips quarter = thumdial::ComputeHandTips(2160);
    EXPECT_NEAR(quarter.hour.x, 79 - 24, 1);
    EXPECT_NEAR(quarter.hour.y, 71, 1);
    const thumdial::HandTips less = thumdial::ComputeHandTips(2000);
    EXPECT_LT(less.hour.y, quarter.hour.y);
}

TEST_F(ThumbFixture, DialFollowsTheJobAndRestsAfterwards)
{
    SteppingClock clock;
    platform::SetClock(&clock);
    MakeView(200, 300);
    view->SetThumbnail(0);
    doc->m_busyState = 3000;
    doc->m_stepFlags = 2;
    QImage img = Shot();
    EXPECT_EQ(view->m_dial.value, 3000);
    // The face is drawn at (x, height - y - 121): its rim colour shows there.
    const int x = view->m_ptThumb.x, y = 300 - view->m_ptThumb.y - 121;
    EXPECT_EQ(img.pixel(x + 5, y + 5), qRgb(255, 255, 255));
    EXPECT_GT(DarkPixels(img, CRect(x + 70, y + 40, x + 90, y + 75)), 5) << "hands";
    // The job ends: back to rest.
    doc->m_busyState = -2;
    Shot();
    EXPECT_EQ(view->m_dial.value, thumdial::kRestValue);
    EXPECT_EQ(doc->m_busyState, -5);
    EXPECT_EQ(doc->m_stepFlags, 0);
}

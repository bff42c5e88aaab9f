// The work view's input logic on a recording document, a scripted picture set and recorded
// view effects: piece presses and drags, the fit preview, panning and scrolling, the hand-over of
// a drag from another pane, and the editing of the rendering area.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "imagefile/pixel_array.h"
#include "views/work_input.h"

using namespace workview;

namespace {

struct Entry {
    std::string name;
    CRect stock;
    CRect work;
    int state = 6;
    CSize size{4000, 3000};
};

class RecordingDoc : public IInputDocument {
public:
    std::vector<Entry> entries;
    std::vector<int> pieces;
    std::vector<std::string> calls;
    std::vector<std::pair<int, int>> hints;
    std::vector<std::pair<int, CPoint>> drops;
    std::vector<std::pair<int, CPoint>> rows;
    std::string fittedUnder;    // name answered by HitTestFittedPiece
    std::string dropTarget;     // name answered by HitTestDropTarget
    int dropAnswer = 1;
    int thumbDragState = 0;
    uint32_t thumbDragTick = 0;
    std::string droppedNames;
    double circling = 0;
    CRect area{-100, -50, 100, 50};
    int areaShown = 0;
    int areaMode = 0;
    int renderSetup = 0;
    int fullTurn = 0;
    CSize output{640, 480};
    int projection = 0;
    CPoint poleTop, poleBottom;
    bool layoutValid = true;

    std::vector<int> PieceList() const override { return pieces; }
    CRect StockRect(int e) const override { return entries[e].stock; }
    CRect WorkRect(int e) const override { return entries[e].work; }
    int CellMargin() const override { return 4; }
    int EntryState(int e) const override { return entries[e].state; }
    void SetEntryState(int e, int s) override { entries[e].state = s; }
    std::string EntryName(int e) const override { return e >= 0 && e < int(entries.size()) ? entries[e].name : ""; }
    int CountSelectedPieces() const override
    {
        int n = 0;
        for (int p : pieces)
            n += entries[p].state == 7;
        return n;
    }
    void DeselectAllPieces() override
    {
        calls.push_back("DeselectAll");
        for (auto& e : entries)
            if (e.state == 7)
                e.state = 6;
    }
    bool LayoutValid() const override { return layoutValid; }
    void SetCurrentEntry(int) override {}
    void ClearStatusMessage() override {}
    CPoint PiecePointToPicture(int, CPoint p, const CRect&) override { return {p.x * 10, p.y * 10}; }
    void ClearDropList() override {}
    std::string HitTestDropTarget(CPoint) override { return dropTarget; }
    void DropOnColorFit(const std::string& name, CPoint) override { calls.push_back("ColorFit " + name); }
    std::string HitTestFittedPiece(CPoint) override { return fittedUnder; }
    int FindPieceIndexByName(const std::string& name) const override
    {
        for (int p : pieces)
            if (entries[p].name == name)
                return p;
        return -1;
    }
    int FindEntryIndex(const std::string& name) override
    {
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].name == name)
                return int(i);
        return -1;
    }
    int RegisterPicture(const std::string& name) override
    {
        entries.push_back({name, {}, {}, 3, {4000, 3000}});
        return int(entries.size()) - 1;
    }
    CSize EntrySize(int e) const override { return entries[e].size; }
    int AddFirstDroppedPicture() override
    {
        calls.push_back("AddFirstDropped");
        const int e = FindEntryIndex(droppedNames.substr(0, droppedNames.find(';')));
        if (e >= 0)
            pieces.push_back(e);
        return e;
    }
    void SetPictureTurn(int) override {}
    int DropPiece(int e, CPoint w) override
    {
        drops.push_back({e, w});
        return dropAnswer;
    }
    int PlacePiecesInRow(int e, CPoint w) override
    {
        rows.push_back({e, w});
        return 1;
    }
    void FreePieceCell(int e) override { calls.push_back("FreeCell " + std::to_string(e)); }
    void MovePieceBefore(int e, int before) override
    {
        calls.push_back("MoveBefore " + std::to_string(e) + " " + std::to_string(before));
    }
    int EjectPieces(int e) override
    {
        calls.push_back("Eject " + std::to_string(e));
        return 1;
    }
    void SetDropOffset(CPoint) override {}
    void ClearRenderRequest() override {}
    void SendHint(int hint, int object) override { hints.push_back({hint, object}); }
    int ThumbDragState() const override { return thumbDragState; }
    uint32_t ThumbDragTick() const override { return thumbDragTick; }
    std::string DroppedNames() const override { return droppedNames; }
    CPoint DropAnchor() const override { return {7, 9}; }
    double& CirclingTurn() override { return circling; }
    CRect RenderArea() const override { return area; }
    void SetRenderArea(const CRect& a) override { area = a; }
    int AreaShown() const override { return areaShown; }
    void SetAreaShown(int s) override { areaShown = s; }
    int AreaMode() const override { return areaMode; }
    int RenderSetup() const override { return renderSetup; }
    void SetRenderSetup(int v) override { renderSetup = v; }
    int FullTurnWidth() const override { return fullTurn; }
    CSize OutputSize() const override { return output; }
    void RefreshOutputSize() override { calls.push_back("RefreshOutputSize"); }
    int ProjectionCode() const override { return projection; }
    void ApplyProjection(int code) override { calls.push_back("ApplyProjection " + std::to_string(code)); }
    int FisheyeDefault() const override { return 32; }
    int RingFisheyeDefault() const override { return 31; }
    CPoint PoleTop() const override { return poleTop; }
    CPoint PoleBottom() const override { return poleBottom; }
    void CenterRenderArea() override {}
    void FitRenderAreaToPictures(const CRect&) override { calls.push_back("FitArea"); }
    void SetDefaultRenderArea() override {}
    void ClipRenderAreaToView(const CRect& view) override { area = view; }
    void SetStatusText(const std::string&) override {}
    CPoint dropOffset;
    bool projectOpens = true;
    CPoint DropOffset() const override { return dropOffset; }
    int AddDroppedPictures() override
    {
        calls.push_back("AddDropped");
        return 3;
    }
    bool OpenProject(const std::string& path) override
    {
        calls.push_back("Open " + path);
        return projectOpens;
    }

    bool HasHint(int hint) const
    {
        for (auto& h : hints)
            if (h.first == hint)
                return true;
        return false;
    }
    bool Called(const std::string& c) const { return std::find(calls.begin(), calls.end(), c) != calls.end(); }
};

class FakeFacade : public IInputFacade {
public:
    RecordingDoc* doc = nullptr;
    std::deque<int> scores;          // scripted DragPicture answers (last one repeats)
    CPoint snapTo;                   // an accepted try moves the point here when set
    std::vector<CPoint> tries;
    int fitted = 0;
    int finishMoveAnswer = 1;
    std::vector<CPoint> moves;

    int DragPicture(const std::string&, double, CPixelArray&, CPoint& work, int, int) override
    {
        tries.push_back(work);
        const int s = scores.empty() ? 0 : scores.front();
        if (scores.size() > 1)
            scores.pop_front();
        if (s >= 256 && (snapTo.x || snapTo.y))
            work = snapTo;
        return s;
    }
    double CirclingSpeed(CPoint) override { return 0; }
    // The horizontal angle of the area: width x 360 / the full-turn width.
    int SetupRender(const CRect& area, CSize, int) override
    {
        return doc && doc->fullTurn ? int(int64_t(area.Width()) * 360 / doc->fullTurn) : 90;
    }
    int FinishDrag(CPoint, double) override { return 1; }
    int FinishMove(CPoint shift, double) override
    {
        moves.push_back(shift);
        return finishMoveAnswer;
    }
    int FittedCount() override { return fitted; }
};

class RecordingView : public IViewEffects {
public:
    RecordingDoc* doc = nullptr;
    int cursor = 0;
    bool captured = false;
    std::vector<int> imageKinds;     // kinds of BeginDragImage in order
    std::vector<CPoint> dragMoves;
    int enters = 0;
    CPoint scroll;
    CSize limit{2000, 1500};
    Mapping map{1, {0, 0}, {500, 400}};
    int scrollSets = 0;
    int clearedHandles = 0;

    void SetCursor(int id) override { cursor = id; }
    void SetCapture(bool on) override { captured = on; }
    CPoint FrameOffset() const override { return {3, 40}; }
    bool BeginDragImage(int kind, int, CPoint) override
    {
        imageKinds.push_back(kind);
        return true;
    }
    void SetPreviewImage(const CPixelArray&) override {}
    void DragEnter(CPoint) override { ++enters; }
    void DragMove(CPoint p) override { dragMoves.push_back(p); }
    void EndDrag() override {}
    void Invalidate(bool) override {}
    void UpdateWindow() override {}
    Mapping Map() const override { return map; }
    CRect ClientRect() const override { return {0, 0, 1000, 800}; }
    CPoint ScrollPosition() const override { return scroll; }
    CSize ScrollLimit() const override { return limit; }
    CSize LineSize() const override { return {16, 16}; }
    CSize PageSize() const override { return {900, 700}; }
    void SetScrollPosition(CPoint p) override
    {
        scroll = p;
        ++scrollSets;
    }
    void MarkScrolled() override {}
    // The rectangles the area drawing lays for the document's current area.
    CRect AreaHandle(int h) const override
    {
        const CRect visible = map.ViewRectToWork({scroll, CPoint(scroll.x + 1000, scroll.y + 800)});
        return AreaHandleRects(map, doc->area, visible, IsFisheyeCode(doc->projection), doc->poleTop,
                               doc->poleBottom)[h];
    }
    void ClearAreaHandles() override { ++clearedHandles; }
    void UpdateStatusText() override {}
    void ExpireStatusText() override {}
    void RedrawCanvas() override {}
    void RecenterCanvas() override {}
    void UpdateScrollLayout(CSize) override {}
    void ChooseFitZoom(int) override {}
    void QueuePictureLoad(const std::string&) override {}
    void ClearCanvasAndZoom() override {}
    void OpenPicture(int e) override { opened.push_back(e); }
    void ScrollToOrigin() override { ++originScrolls; }
    // The client area lies at screen (100, 200).
    CPoint ScreenToClient(CPoint s) const override { return {s.x - 100, s.y - 200}; }
    void RecalcStockLayout() override {}
    void AfterProjectOpened() override { ++projectsOpened; }
    int originScrolls = 0;
    int projectsOpened = 0;
    std::vector<int> opened;
};

// Five stock pieces in a column at the left, cells of 100 x 80 with a margin of 4; client
// (500, 400) is work-space (0, 0) at zoom 1.
class WorkInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 5; ++i) {
            doc.entries.push_back({"p" + std::to_string(i) + ".jpg", CRect(10, 10 + 100 * i, 110, 90 + 100 * i), CRect()});
            doc.pieces.push_back(i);
        }
        facade.doc = &doc;
        view.doc = &doc;
    }
    static InputEvent At(int x, int y, bool left = true)
    {
        InputEvent e;
        e.client = {x, y};
        e.screen = {x + 100, y + 200};
        e.left = left;
        return e;
    }
    void Press(int x, int y, bool shift = false, bool ctrl = false)
    {
        InputEvent e = At(x, y);
        e.shift = shift;
        e.ctrl = ctrl;
        in.OnLButtonDown(e, tick);
    }
    void Move(int x, int y, bool left = true) { in.OnMouseMove(At(x, y, left), tick); }
    void Release(int x, int y) { in.OnLButtonUp(At(x, y, false), tick); }
    std::vector<int> Selected() const
    {
        std::vector<int> s;
        for (int p : doc.pieces)
            if (doc.entries[p].state == 7)
                s.push_back(p);
        return s;
    }

    RecordingDoc doc;
    FakeFacade facade;
    RecordingView view;
    CWorkInput in{doc, facade, view};
    uint32_t tick = 50000;
};

// ---- Pieces ------------------------------------------------------------------------------------

TEST_F(WorkInputTest, ThresholdBoxSeparatesClickFromDrag)
{
    struct Case {
        int dx, dy, state;
    } cases[] = {{10, 10, 2}, {-10, -10, 2}, {10, -10, 2}, {11, 0, 5}, {0, -11, 5}, {-11, 10, 5}};
    for (const auto& c : cases) {
        Press(60, 50);
        ASSERT_EQ(in.m_nMouseState, 2);
        EXPECT_EQ(in.m_nPressKind, 2);
        EXPECT_EQ(in.m_ptDragPicture, CPoint(500, 400));   // (50, 40) in the piece, x10 in the fake
        Move(60 + c.dx, 50 + c.dy);
        EXPECT_EQ(in.m_nMouseState, c.state) << c.dx << "," << c.dy;
        if (c.state == 5) {
            EXPECT_EQ(view.cursor, kCursorDragImage);
        }
        // Released back on the piece: nothing is dropped, the state goes back to 0.
        Release(60, 50);
        EXPECT_EQ(in.m_nMouseState, 0);
        EXPECT_FALSE(view.captured);
    }
    EXPECT_TRUE(doc.drops.empty());
    EXPECT_TRUE(doc.rows.empty());
}

TEST_F(WorkInputTest, DraggedStockPieceDropsAtTheWorkPointAndOnAnotherPieceReorders)
{
    Press(60, 150);
    Move(300, 300);
    Move(620, 430);
    Release(620, 430);
    ASSERT_EQ(doc.drops.size(), 1u);
    EXPECT_EQ(doc.drops[0].first, 1);
    EXPECT_EQ(doc.drops[0].second, CPoint(120, 30));

    // Released on another stock piece: the stock is reordered, nothing dropped.
    Press(60, 150);
    Move(60, 350);
    Release(60, 350);
    EXPECT_TRUE(doc.Called("MoveBefore 1 3"));
    EXPECT_EQ(doc.drops.size(), 1u);

    // Released outside the client area: no drop either.
    Press(60, 150);
    Move(300, 300);
    Release(1200, 300);
    EXPECT_EQ(doc.drops.size(), 1u);
}

TEST_F(WorkInputTest, SelectionWithShiftCtrlAndMargins)
{
    // A plain press selects only the piece and starts a pending image drag.
    doc.entries[4].state = 7;
    Press(60, 50);
    EXPECT_EQ(Selected(), std::vector<int>({0}));
    Release(60, 50);

    // Shift selects from the last pressed piece to this one, both ends included.
    Press(60, 350, true);
    EXPECT_EQ(Selected(), std::vector<int>({0, 1, 2, 3}));
    EXPECT_EQ(in.m_nMouseState, 1);
    EXPECT_EQ(view.cursor, kCursorMoveSeveral);
    Release(60, 350);

    // Ctrl toggles the one piece.
    Press(60, 250, false, true);
    EXPECT_EQ(Selected(), std::vector<int>({0, 1, 3}));
    Release(60, 250);
    Press(60, 250, false, true);
    EXPECT_EQ(Selected(), std::vector<int>({0, 1, 2, 3}));
    Release(60, 250);

    // A press on the margin of an unselected piece: state 3 and nothing is deselected.
    Press(60, 492);
    EXPECT_EQ(in.m_nMouseState, 3);
    EXPECT_EQ(Selected(), std::vector<int>({0, 1, 2, 3, 4}));
    Release(60, 492);
}

TEST_F(WorkInputTest, SeveralSelectedPiecesAreLaidAsARowWhereReleased)
{
    for (int i = 0; i < 4; ++i)
        doc.entries[i].state = 7;
    Press(60, 150);
    EXPECT_EQ(in.m_nMouseState, 1);
    Move(700, 500);
    EXPECT_EQ(in.m_nMouseState, 3);
    EXPECT_EQ(view.cursor, kCursorMoveSeveral);
    Release(700, 500);
    ASSERT_EQ(doc.rows.size(), 1u);
    EXPECT_EQ(doc.rows[0].first, 1);
    EXPECT_EQ(doc.rows[0].second, CPoint(200, 100));
    EXPECT_TRUE(doc.drops.empty());
}

TEST_F(WorkInputTest, RightButtonRemovesOnlyWhatIsMeant)
{
    // The margin of an unselected piece: nothing.
    in.OnRButtonDown(At(60, 92, false));
    EXPECT_TRUE(doc.calls.empty());
    EXPECT_TRUE(doc.hints.empty());
    // The margin of a selected piece: every selected piece.
    doc.entries[0].state = 7;
    in.OnRButtonDown(At(60, 92, false));
    EXPECT_TRUE(doc.Called("Eject -1"));
    // The picture itself: that piece, and hint 317.
    doc.hints.clear();
    in.OnRButtonDown(At(60, 150, false));
    EXPECT_TRUE(doc.Called("Eject 1"));
    EXPECT_TRUE(doc.HasHint(317));
    // A placed piece loses its cell.
    doc.entries[2].work = CRect(600, 300, 700, 380);
    in.OnRButtonDown(At(650, 350, false));
    EXPECT_TRUE(doc.Called("FreeCell 2"));
}

// ---- Fit preview -------------------------------------------------------------------------------

TEST_F(WorkInputTest, PreviewAcceptsFrom256AndAsksAgainOnlyBeyond100Units)
{
    doc.fittedUnder = "base.jpg";
    facade.scores = {255, 255, 256};
    facade.snapTo = CPoint(400, 0);
    Press(60, 50);
    Move(200, 200);   // leaves the threshold box: the image drag starts
    ASSERT_TRUE(facade.tries.empty());
    // The first try lies near the start value of the last try and is still made.
    Move(500 - 10000 + 30, 400 - 10000);
    Move(300, 400);   // work (-200, 0): first real try
    ASSERT_EQ(facade.tries.size(), 2u);
    facade.tries.erase(facade.tries.begin());
    EXPECT_EQ(in.m_ptFitCandidate, CPoint());   // 255: refused
    // Within 100 units of the failed try the engine is not asked again.
    Move(400, 400);   // 100 units away
    EXPECT_EQ(facade.tries.size(), 1u);
    Move(401, 400);   // 101 units away
    ASSERT_EQ(facade.tries.size(), 2u);
    // 256 is accepted: the candidate is the snapped point, the image is the preview (kind 2)
    // moved by the offset from the pointer to the candidate.
    EXPECT_EQ(in.m_ptFitCandidate, view.map.WorkToView({400, 0}));
    EXPECT_EQ(in.m_nDragImageKind, 2);
    EXPECT_EQ(view.imageKinds.back(), 2);
    EXPECT_EQ(view.dragMoves.back(), CPoint(401, 400) + CPoint(3, 40) + CPoint(499, 0));
    // Moves within 100 units of the accepted place do not ask and do not move the image.
    const size_t movesBefore = view.dragMoves.size();
    Move(850, 430);
    EXPECT_EQ(facade.tries.size(), 2u);
    EXPECT_EQ(view.dragMoves.size(), movesBefore);
    // The release drops at the candidate, not at the pointer.
    Release(850, 430);
    ASSERT_EQ(doc.drops.size(), 1u);
    EXPECT_EQ(doc.drops[0].second, CPoint(400, 0));
}

TEST_F(WorkInputTest, LeavingTheFittedPicturesGoesBackToThePieceImage)
{
    doc.fittedUnder = "base.jpg";
    facade.scores = {300};
    Press(60, 50);
    Move(300, 400);
    Move(320, 400);
    EXPECT_EQ(in.m_nDragImageKind, 2);
    doc.fittedUnder.clear();
    Move(700, 400);
    EXPECT_EQ(in.m_nDragImageKind, 1);
    EXPECT_EQ(view.imageKinds.back(), 1);
    EXPECT_EQ(in.m_ptFitCandidate, CPoint());
    Release(700, 400);
    ASSERT_EQ(doc.drops.size(), 1u);
    EXPECT_EQ(doc.drops[0].second, CPoint(200, 0));
}

TEST_F(WorkInputTest, ReleasesOutsideAndOverTheColourFitManager)
{
    // A placed piece dragged out of the view becomes the one selected piece; hint 157.
    doc.entries[2].work = CRect(600, 300, 700, 380);
    doc.entries[0].state = 7;
    Press(650, 340);
    EXPECT_EQ(in.m_nPressKind, 3);
    Move(1100, 340);
    Release(1100, 340);
    EXPECT_EQ(Selected(), std::vector<int>({2}));
    EXPECT_TRUE(doc.HasHint(157));
    EXPECT_TRUE(doc.drops.empty());
    // Released back on its own stock cell: it loses its grid position.
    Press(650, 340);
    Move(60, 250);
    Release(60, 250);
    EXPECT_TRUE(doc.Called("FreeCell 2"));
    // A later press on a cell's margin, released on that cell, frees nothing.
    doc.calls.clear();
    Press(60, 492);
    EXPECT_EQ(in.m_nMouseState, 3);
    Release(60, 450);
    EXPECT_FALSE(doc.Called("FreeCell 4"));
    // Over the colour fit manager the dragged picture's name is handed on.
    doc.dropTarget = "ColorAdjust";
    Press(60, 50);
    Move(300, 300);
    Release(300, 300);
    EXPECT_TRUE(doc.Called("ColorFit p0.jpg"));
    EXPECT_TRUE(doc.drops.empty());
}

TEST_F(WorkInputTest, DoubleClickOpensAPictureFitsTheAreaOrFindsTheOrigin)
{
    in.OnLButtonDblClk(At(60, 150));
    EXPECT_EQ(view.opened, std::vector<int>({1}));
    in.OnLButtonDblClk(At(60, 92));   // the cell's margin is no piece
    EXPECT_EQ(view.opened.size(), 1u);
    EXPECT_EQ(view.originScrolls, 0);   // the origin is in view
    doc.areaShown = 1;
    in.OnLButtonDblClk(At(390, 400));   // the band round the area
    EXPECT_TRUE(doc.Called("FitArea"));
    view.scroll = CPoint(2000, 0);      // the origin out of view
    in.OnLButtonDblClk(At(300, 300));
    EXPECT_EQ(view.originScrolls, 1);
}

TEST_F(WorkInputTest, DroppedFiles)
{
    // One picture dropped in the client area is entered and dropped at that work point; the
    // area is hidden.
    doc.areaShown = 1;
    doc.entries.push_back({"new.jpg", {}, {}, 3});
    doc.droppedNames = "new.jpg;";
    doc.dropOffset = CPoint(100 + 700, 200 + 400);
    EXPECT_EQ(in.DropFilesOnView(113), 5);
    EXPECT_EQ(doc.areaShown, 0);
    ASSERT_EQ(doc.drops.size(), 1u);
    EXPECT_EQ(doc.drops[0], std::make_pair(5, CPoint(200, 0)));
    EXPECT_TRUE(doc.HasHint(317));
    // Several files: all entered, nothing dropped.
    EXPECT_EQ(in.DropFilesOnView(127), 3);
    EXPECT_TRUE(doc.Called("AddDropped"));
    EXPECT_EQ(doc.drops.size(), 1u);
    // A point outside the view: nothing.
    doc.dropOffset = CPoint(100 + 1002, 200);
    EXPECT_EQ(in.DropFilesOnView(113), -1);
    // A project file opens as the project, whatever the case of its extension; one that does
    // not open is not entered as a picture.
    doc.dropOffset = CPoint();
    doc.droppedNames = "/p/trip.FIT;";
    EXPECT_EQ(in.DropFilesOnView(113), 1);
    EXPECT_TRUE(doc.Called("Open /p/trip.FIT"));
    EXPECT_EQ(view.projectsOpened, 1);
    doc.projectOpens = false;
    doc.droppedNames = "/p/trip.fit";
    doc.calls.clear();
    EXPECT_EQ(in.DropFilesOnView(113), -1);
    EXPECT_FALSE(doc.Called("AddFirstDropped"));
}

// ---- Hand-over, panning, scrolling ---------------------------------------------------------------

TEST_F(WorkInputTest, DragOfAnotherPaneIsTakenOverWhileFresh)
{
    doc.entries.push_back({"loose.jpg", {}, {}, 3});
    doc.thumbDragState = 5;
    doc.droppedNames = "loose.jpg";
    struct Case {
        uint32_t age;
        bool taken;
    } cases[] = {{0, true}, {999, true}, {1000, false}, {5000, false}};
    for (const auto& c : cases) {
        doc.thumbDragTick = tick - c.age;
        Move(700, 400);
        EXPECT_EQ(in.m_nMouseState == 2, c.taken) << c.age;
        if (c.taken) {
            EXPECT_EQ(in.m_nPressKind, 5);
            EXPECT_EQ(in.m_nDragEntry, 5);
            EXPECT_EQ(in.m_nDragImageKind, 0);   // not a piece yet
            EXPECT_EQ(in.m_ptDragPicture, CPoint(7, 9));
            Move(702, 400);                      // the first move starts the image drag
            EXPECT_EQ(in.m_nMouseState, 5);
            Release(702, 400);
            EXPECT_TRUE(doc.Called("AddFirstDropped"));
            ASSERT_FALSE(doc.drops.empty());
            EXPECT_EQ(doc.drops.back().first, 5);
            doc.calls.clear();
            doc.pieces.pop_back();
        }
    }
}

TEST_F(WorkInputTest, PanIsClampedToTheScrollLimits)
{
    view.scroll = CPoint(100, 100);
    Press(600, 500);
    EXPECT_EQ(in.m_ptPanStart, CPoint(600, 500));
    struct Case {
        CPoint to, scroll;
    } cases[] = {{{550, 480}, {150, 120}}, {{900, 900}, {0, 0}}, {{-5000, -5000}, {2000, 1500}}};
    for (const auto& c : cases) {
        Move(c.to.x, c.to.y);
        EXPECT_EQ(view.scroll, c.scroll);
        EXPECT_EQ(view.cursor, kCursorPan);
    }
    Release(0, 0);
    view.scrollSets = 0;
    Move(10, 10);
    EXPECT_EQ(view.scrollSets, 0);
}

TEST_F(WorkInputTest, ScrollCodes)
{
    struct Case {
        int code, track, pos;
    } cases[] = {{0, 0, 284}, {1, 0, 316}, {2, 0, 0},   {3, 0, 1000}, {4, 777, 300},
                 {5, 777, 777}, {6, 0, 0}, {7, 0, 1500}, {8, 0, 300}, {5, 9999, 1500}};
    for (const auto& c : cases) {
        view.scroll = CPoint(50, 300);
        in.OnScroll(false, c.code, c.track);
        EXPECT_EQ(view.scroll.y, c.pos) << c.code;
        EXPECT_EQ(view.scroll.x, 50);
    }
}

// ---- The rendering area -------------------------------------------------------------------------

TEST(AreaHandles, RectanglesAroundTheArea)
{
    const Mapping map{1, {0, 0}, {500, 400}};
    const auto h = AreaHandleRects(map, {-100, -50, 100, 50}, {-500, -400, 500, 400}, false, {}, {});
    EXPECT_EQ(h[1], CRect(375, 325, 409, 359));
    EXPECT_EQ(h[5], CRect(591, 441, 625, 475));
    EXPECT_EQ(h[8], CRect(483, 325, 517, 359));
    EXPECT_EQ(h[9], CRect(384, 334, 616, 466));
    EXPECT_EQ(h[10], CRect(400, 350, 600, 450));
    EXPECT_EQ(h[13], CRect(0, 384, 1000, 416));
    EXPECT_EQ(h[14], CRect(484, 0, 516, 800));
    EXPECT_TRUE(h[15].IsRectNull());
    // Fisheye: no turn squares or vertical band; the poles get their squares.
    const auto f = AreaHandleRects(map, {-100, -50, 100, 50}, {-500, -400, 500, 400}, true, {0, -300}, {0, 300});
    EXPECT_TRUE(f[11].IsRectNull() && f[12].IsRectNull() && f[14].IsRectNull());
    EXPECT_EQ(f[15], CRect(495, 95, 505, 105));
    EXPECT_EQ(f[16], CRect(495, 695, 505, 705));
}

TEST_F(WorkInputTest, PressInsideTheAreaPicksTheHandleUnderIt)
{
    doc.areaShown = 1;
    doc.area = CRect(-300, -200, 300, 200);
    struct Case {
        CPoint at;
        int handle;
    } cases[] = {
        {{700, 450}, 0},    // inside the area, nothing under it: a pan
        {{700, 400}, 13},   // horizon band
        {{500, 300}, 14},   // vertical band
        {{500, 40}, 12},    // turn square below the top of the view
        {{968, 400}, 11},   // turn square left of the view's right edge
        {{300, 610}, 9},    // the band round the area
        {{192, 192}, 1},    // top-left corner
    };
    for (const auto& c : cases) {
        Press(c.at.x, c.at.y);
        EXPECT_EQ(in.m_nGrabbedHandle, c.handle) << c.at.x << "," << c.at.y;
        EXPECT_EQ(in.m_ptPanStart == c.at, c.handle == 0);
        Release(c.at.x, c.at.y);
    }
    // A pole is pressed as the horizon band, grabbed with (-x, 0).
    doc.projection = 32;
    doc.poleTop = CPoint(0, -300);
    doc.poleBottom = CPoint(0, 300);
    Press(502, 101);
    EXPECT_EQ(in.m_nGrabbedHandle, 13);
    EXPECT_EQ(in.m_ptGrabOffset, CPoint(-2, 0));
    // Hovering keeps the pole's own number.
    Release(502, 101);
    Move(502, 101, false);
    EXPECT_EQ(in.m_nHoverHandle, 15);
}

TEST_F(WorkInputTest, EdgeDragsKeep16UnitsAndStopAt60000)
{
    doc.areaShown = 1;
    // The top edge pulled below the bottom pushes the bottom down.
    Press(500, 342);   // handle 8, grab offset (0, 8)
    EXPECT_EQ(in.m_nGrabbedHandle, 8);
    Move(500, 600);
    EXPECT_EQ(doc.area, CRect(-100, 208, 100, 224));
    Move(500, 100000);
    EXPECT_EQ(doc.area, CRect(-100, 59984, 100, 60000));
    Release(500, 100000);
    EXPECT_TRUE(doc.Called("RefreshOutputSize"));
    // Edges never leave -60000..60000: the bottom pushed up keeps the top at the limit.
    doc.area = CRect(-100, -50, 100, 50);
    Press(500, 458);   // handle 4
    EXPECT_EQ(in.m_nGrabbedHandle, 4);
    Move(500, -100000);
    EXPECT_EQ(doc.area, CRect(-100, -60000, 100, -59984));
    Release(500, -100000);
    // The left edge past the right.
    doc.area = CRect(-100, -50, 100, 50);
    Press(392, 400);   // handle 2
    EXPECT_EQ(in.m_nGrabbedHandle, 2);
    Move(900, 400);
    EXPECT_EQ(doc.area, CRect(408, -50, 424, 50));
    Release(900, 400);
    // The band moves the whole area by the pointer's movement.
    doc.area = CRect(-100, -50, 100, 50);
    Press(388, 440);
    EXPECT_EQ(in.m_nGrabbedHandle, 9);
    Move(398, 460);
    Move(408, 470);
    EXPECT_EQ(doc.area, CRect(-80, -20, 120, 80));
    Release(408, 470);
}

TEST_F(WorkInputTest, MovieModeSnapsToOneTurnBetween341And379Degrees)
{
    doc.areaShown = 1;
    doc.areaMode = 3;
    doc.fullTurn = 3600;   // 10 units a degree
    doc.area = CRect(-1750, -50, 1750, 50);   // 350 degrees
    // Handle 6, the right edge: grabbed at its middle (1758 + 500 client), offset (-8, 0).
    Press(1758 + 500, 400);
    ASSERT_EQ(in.m_nGrabbedHandle, 6);
    struct Case {
        int right;      // where the pointer takes the edge
        int degrees;    // the answer of the render set-up
        int width;      // the width the area keeps
    } cases[] = {{1750, 350, 3500}, {1900, 365, 3600}, {2050, 380, 3800}, {1900, 365, 3650}, {1750, 350, 3600},
                 {2000, 375, 3600}, {1200, 295, 2950}};
    for (const auto& c : cases) {
        Move(c.right + 8 + 500, 400);
        EXPECT_EQ(doc.renderSetup, c.degrees) << c.right;
        EXPECT_EQ(doc.area.Width(), c.width) << c.right;
    }
    Release(1700, 400);
}

TEST_F(WorkInputTest, SetAreaCommandTwiceInOneSecondLeavesTheAreaShownAndFitted)
{
    in.OnProcessSetRenderingArea(10);
    EXPECT_EQ(doc.areaShown, 1);
    EXPECT_TRUE(doc.HasHint(281));
    EXPECT_FALSE(doc.Called("FitArea"));
    in.OnProcessSetRenderingArea(10);
    EXPECT_EQ(doc.areaShown, 1);
    EXPECT_TRUE(doc.Called("FitArea"));
    // A use in another second hides it.
    in.OnProcessSetRenderingArea(11);
    EXPECT_EQ(doc.areaShown, 0);
    EXPECT_EQ(doc.renderSetup, -5);
    EXPECT_EQ(view.clearedHandles, 3);
}

TEST_F(WorkInputTest, ArrowKeysMoveTheHoveredHandleAndKeep16Units)
{
    doc.areaShown = 1;
    doc.area = CRect(-100, -8, 100, 8);   // 16 high
    Move(500, 400 - 8 - 8, false);        // hover the top edge's handle (8)
    ASSERT_EQ(in.m_nHoverHandle, 8);
    in.OnKeyDown(40);                     // down: the top passes the 16-unit limit
    EXPECT_EQ(doc.area, CRect(-100, -7, 100, 9));
    in.OnKeyDown(38);
    EXPECT_EQ(doc.area, CRect(-100, -8, 100, 9));
    EXPECT_TRUE(doc.Called("RefreshOutputSize"));
    // No +-60000 limit for keys.
    doc.area = CRect(-100, -8, 60000, 8);
    in.m_nHoverHandle = 6;
    in.OnKeyDown(39);
    EXPECT_EQ(doc.area.right, 60001);
    // The horizon band moves the centre point at once; a refusal leaves the area alone.
    in.m_nHoverHandle = 13;
    const CRect before = doc.area;
    in.OnKeyDown(38);
    ASSERT_EQ(facade.moves.size(), 1u);
    EXPECT_EQ(facade.moves[0], CPoint(0, -1));
    EXPECT_EQ(doc.area, CRect(before.left, before.top + 1, before.right, before.bottom + 1));
    facade.finishMoveAnswer = 0;
    in.OnKeyDown(38);
    EXPECT_EQ(doc.area, CRect(before.left, before.top + 1, before.right, before.bottom + 1));
}

TEST_F(WorkInputTest, ReleasedCentreShiftMovesThePictureSet)
{
    doc.areaShown = 1;
    doc.area = CRect(-300, -200, 300, 200);
    Press(700, 400);   // horizon band, grab offset (-200, 0)
    ASSERT_EQ(in.m_nGrabbedHandle, 13);
    Move(700, 430);
    EXPECT_EQ(in.m_ptViewShift, CPoint(0, 30));
    Release(700, 430);
    ASSERT_EQ(facade.moves.size(), 1u);
    EXPECT_EQ(facade.moves[0], CPoint(0, 30));
    EXPECT_EQ(doc.area, CRect(-300, -230, 300, 170));
    EXPECT_EQ(in.m_ptViewShift, CPoint());
    // A refused move leaves the area as it was.
    facade.finishMoveAnswer = 0;
    Press(700, 400);
    Move(700, 430);
    Release(700, 430);
    EXPECT_EQ(doc.area, CRect(-300, -230, 300, 170));
}

} // namespace

// The image finder on a generated folder tree: the order and icons of a folder's items, the
// bounds of the content test, thumbnails one per step, bold marks, selection and the names a
// drag hands over.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/sm_doc.h"
#include "document/update_hint.h"
#include "imagefile/exif.h"
#include "imagefile/image_file.h"
#include "shell/finder_folders.h"
#include "shell/left_view.h"
#include "shell/thumb_read_ahead.h"
#include "tests/shell/test_shell_support.h"

namespace fs = std::filesystem;

namespace {

void WritePicture(const fs::path& path, int w, int h)
{
    const std::string p = path.string();
    CPixelArray strip;
    strip.SetSize(int64_t(w) * 16);
    ASSERT_EQ(SaveImageBegin(p, w, h, 72, std::string(), 10), 1) << p;
    for (int n : GetSaveStripOrder(p, h)) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < w; ++x)
                strip[int64_t(y) * w + x] = RGB(x * 255 / w, (16 * n + y) * 255 / std::max(1, h), 90);
        ASSERT_EQ(SaveImagePut(p, strip, n), 1);
    }
    ASSERT_EQ(SaveImageEnd(p, 1), 1);
}

void Touch(const fs::path& path) { std::ofstream(path) << "x"; }

// The tree every finder test starts from.
fs::path MakeTree()
{
    // One tree per test: the tests may run side by side in separate processes.
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path root = fs::path(SMRA_TEST_TMPDIR) / (std::string("finder_") + t->test_suite_name() + "." + t->name());
    fs::remove_all(root);
    fs::create_directories(root / "sub");
    fs::create_directories(root / "emptyparent" / "empty");
    fs::create_directories(root / "deep" / "1" / "2" / "3" / "4" / "5" / "6");
    fs::create_directories(root / ".hidden");
    WritePicture(root / "b.jpg", 64, 48);
    WritePicture(root / "A.bmp", 640, 480);
    WritePicture(root / "c.png", 32, 24);
    WritePicture(root / "thin.bmp", 1, 10);
    WritePicture(root / "sub" / "d.jpg", 40, 30);
    WritePicture(root / "sub" / "e.jpg", 40, 30);
    WritePicture(root / ".hidden.jpg", 40, 30);
    WritePicture(root / "deep" / "1" / "2" / "3" / "4" / "5" / "6" / "x.jpg", 40, 30);
    Touch(root / "z.fit");
    Touch(root / "notes.txt");
    fs::create_directory_symlink(".", root / "loop");
    fs::create_directory_symlink("sub", root / "linkdir");
    return root;
}

struct Row {
    std::string text;
    int icon;
};

} // namespace

TEST(FinderFolders, ListingOrderIconsAndContentBounds)
{
    const fs::path root = MakeTree();
    finder::ContentBudget budget;
    const std::vector<finder::Listed> listed = finder::ListFolder(root.string(), budget);
    std::vector<Row> rows;
    for (const finder::Listed& l : listed)
        rows.push_back({l.pending ? l.name + " " : l.name, l.icon});
    // Images sorted (without regard to case), the unusable BMP without its blank, then the
    // project, then the folders that hold content: the empty folder chain is left out, the deep
    // chain is undecided at the depth limit and keeps its place, links to folders are listed.
    const std::vector<Row> expected = {
        {"A.bmp ", 138}, {"b.jpg ", 138}, {"c.png ", 138}, {"thin.bmp", 148}, {"z.fit", 128},
        {"deep", 134},   {"linkdir", 134}, {"loop", 134},  {"sub", 134},
    };
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].text, expected[i].text) << i;
        EXPECT_EQ(rows[i].icon, expected[i].icon) << rows[i].text;
    }
    // The link loop is entered once and the deep chain only down to the limit.
    EXPECT_LE(budget.folders, 12);

    struct Case {
        const char* what;
        fs::path folder;
        bool content;
    };
    const Case cases[] = {
        {"only an empty sub-folder", root / "emptyparent", false},
        {"deep chain at the limit", root / "deep", true},
        {"images", root / "sub", true},
        {"proc", "/proc", false},
        {"sysfs", "/sys", false},
        {"device tree", "/dev", false},
    };
    for (const Case& c : cases) {
        finder::ContentBudget b;
        EXPECT_EQ(finder::FolderHoldsContent(c.folder.string(), b), c.content) << c.what;
    }
    // Past the deadline every folder counts as holding content, unopened.
    finder::ContentBudget late;
    late.deadline = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    EXPECT_TRUE(finder::FolderHoldsContent((root / "emptyparent").string(), late));
    EXPECT_EQ(late.folders, 0);
}

TEST(FinderFolders, DriveLevelFromTheMountTable)
{
    const std::string mounts = "proc /proc proc rw 0 0\n"
                               "/dev/sda1 / ext4 rw 0 0\n"
                               "/dev/sdb1 /media/ann/CARD vfat rw 0 0\n"
                               "/dev/sr0 /srv/disc iso9660 ro 0 0\n"
                               "/dev/sdc1 /run/media/ann/My\\040Stick exfat rw 0 0\n"
                               "tmpfs /tmp tmpfs rw 0 0\n";
    const std::vector<finder::Drive> d = finder::ListDrives("/home/ann", mounts);
    ASSERT_EQ(d.size(), 5u);
    EXPECT_EQ(d[0].path, "/home/ann");
    EXPECT_EQ(d[1].path, "/");
    EXPECT_EQ(d[2].path, "/media/ann/CARD");
    EXPECT_EQ(d[2].icon, 140);
    EXPECT_EQ(d[3].path, "/srv/disc");
    EXPECT_EQ(d[3].icon, 130);
    EXPECT_EQ(d[4].path, "/run/media/ann/My Stick");
    EXPECT_EQ(finder::JoinPath("/", "home"), "/home");
    EXPECT_EQ(finder::JoinPath("/home/ann", "x.jpg"), "/home/ann/x.jpg");
}

TEST(FinderFolders, ThumbIconPlacesTheFittedPicture)
{
    std::vector<COLORREF> thumb(160 * 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            thumb[static_cast<size_t>(y) * 160 + x] = RGB(x, y, 7);
    // 4:3 at 16 px: the picture fills the width, two grey rows above and below.
    const std::vector<COLORREF> icon = finder::DrawThumbIcon(thumb.data(), {4000, 3000}, 16);
    for (int row : {0, 1, 14, 15})
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(icon[static_cast<size_t>(row) * 16 + x], RGB(240, 240, 240)) << row << "," << x;
    EXPECT_EQ(icon[8 * 16 + 8], RGB(80, 60, 7));
    EXPECT_EQ(icon[2 * 16 + 0], RGB(0, 0, 7));
    // A portrait picture fills the height: the icon shows the middle of the thumbnail.
    const std::vector<COLORREF> tall = finder::DrawThumbIcon(thumb.data(), {3000, 4000}, 16);
    EXPECT_EQ(tall[0], RGB(20, 0, 7));
    EXPECT_EQ(tall[8 * 16 + 8], RGB(80, 60, 7));
    EXPECT_EQ(tall[15 * 16 + 15], RGB(132, 112, 7));
    EXPECT_EQ(finder::FitThumbnail({100, 50}), CSize(100, 50));
    EXPECT_EQ(finder::FitThumbnail({6000, 4000}), CSize(160, 106));
    EXPECT_EQ(finder::FitThumbnail({3000, 4000}), CSize(90, 120));
}

namespace {

class FinderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = MakeTree();
        m_doc = std::make_unique<CSmDoc>();
        m_view = std::make_unique<CLeftView>();
        m_view->SetHomeFolder(m_root.string());
        m_doc->AddView(m_view.get());
        m_recorder.namesNow = [this] { return m_doc->m_droppedNames; };
        m_doc->AddView(&m_recorder);
        m_view->resize(300, 700);
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->OnInitialUpdate();
        m_drive = m_view->Root()->child(0);
        ASSERT_EQ(m_view->ItemPath(m_drive), m_root.string());
        m_drive->setExpanded(true);
    }
    void TearDown() override
    {
        m_doc->RemoveView(&m_recorder);
        m_view.reset();
        m_doc.reset();
    }
    QTreeWidgetItem* Item(const std::string& text) { return CLeftView::Child(m_drive, text); }
    // Sends a mouse event to the tree's viewport at a point of an item (or any local point).
    void Mouse(QEvent::Type type, QPoint local, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* vp = m_view->viewport();
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, QPointF(local), QPointF(vp->mapToGlobal(local)), button, held, mods);
        QApplication::sendEvent(vp, &e);
    }
    QPoint At(QTreeWidgetItem* item)
    {
        // The shown part of the row: a long name makes the row wider than the finder.
        return (m_view->visualItemRect(item) & m_view->viewport()->rect()).center() + QPoint(8, 0);
    }
    void Click(QTreeWidgetItem* item, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        Mouse(QEvent::MouseButtonPress, At(item), mods);
        Mouse(QEvent::MouseButtonRelease, At(item), mods);
    }
    void DragOut(QTreeWidgetItem* item)
    {
        Mouse(QEvent::MouseButtonPress, At(item));
        Mouse(QEvent::MouseMove, At(item) + QPoint(30, 0));
        Mouse(QEvent::MouseMove, QPoint(-40, 20));
        Mouse(QEvent::MouseButtonRelease, QPoint(-40, 20));
    }
    std::vector<std::string> Selected()
    {
        std::vector<std::string> out;
        for (QTreeWidgetItem* i : m_view->selectedItems())
            out.push_back(i->text(0).toStdString());
        std::sort(out.begin(), out.end());
        return out;
    }

    shelltest::ScriptedServices m_services;
    fs::path m_root;
    std::unique_ptr<CSmDoc> m_doc;
    std::unique_ptr<CLeftView> m_view;
    shelltest::RecordingView m_recorder;
    QTreeWidgetItem* m_drive = nullptr;
};

} // namespace

TEST_F(FinderTest, TreeShowsTheFolderAndExpandButtonsOnlyWhereThereIsContent)
{
    EXPECT_EQ(m_view->Root()->text(0), "Image File Finder");
    EXPECT_TRUE(m_view->Root()->font(0).bold());
    EXPECT_EQ(CLeftView::IconOf(m_view->Root()), 136);
    std::vector<std::string> texts;
    for (int i = 0; i < m_drive->childCount(); ++i)
        texts.push_back(m_drive->child(i)->text(0).toStdString());
    const std::vector<std::string> expected = {"A.bmp ", "b.jpg ", "c.png ", "thin.bmp", "z.fit",
                                               "deep",   "linkdir", "loop",  "sub"};
    EXPECT_EQ(texts, expected);
    // Folders carry a placeholder child until they are opened.
    QTreeWidgetItem* sub = Item("sub");
    ASSERT_EQ(sub->childCount(), 1);
    EXPECT_EQ(sub->child(0)->text(0), "dummy");
    sub->setExpanded(true);
    EXPECT_EQ(CLeftView::IconOf(sub), 137);
    ASSERT_EQ(sub->childCount(), 2);
    EXPECT_EQ(m_view->ItemPath(sub->child(0)), (m_root / "sub" / "d.jpg").string());
    sub->setExpanded(false);
    EXPECT_EQ(CLeftView::IconOf(sub), 134);
    // A folder whose content turns out empty has no expand button once opened.
    QTreeWidgetItem* deep = Item("deep");
    deep->setExpanded(true);
    QTreeWidgetItem* chain = CLeftView::Child(deep, "1");
    ASSERT_NE(chain, nullptr);
}

TEST_F(FinderTest, ThumbnailPassDrawsOnePerStep)
{
    // Each step reads its own picture here; the read-ahead has its own test below.
    m_view->SetReadAhead(false);
    int steps = 0;
    while (m_view->ThumbnailStep() == 2)
        ASSERT_LT(++steps, 10);
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(m_view->ThumbnailStep(), 0);
    for (const char* name : {"A.bmp", "b.jpg", "c.png"})
        EXPECT_NE(Item(name), nullptr) << name << " lost its trailing blank";

    QTreeWidgetItem* a = Item("A.bmp");
    const int entry = m_doc->FindEntryIndex((m_root / "A.bmp").string(), m_view->TagOf(a));
    ASSERT_GE(entry, 0);
    const CPictureEntry& e = m_doc->m_entries[static_cast<size_t>(entry)];
    EXPECT_EQ(e.m_State, 3);
    EXPECT_EQ(e.m_Size, CSize(640, 480));
    const QImage icon = m_view->ItemIconImage(a);
    ASSERT_EQ(icon.size(), QSize(16, 16));
    for (int row : {0, 1, 14, 15})
        EXPECT_EQ(icon.pixel(5, row), qRgb(240, 240, 240)) << row;
    const COLORREF t = e.m_PixelCache[60 * 160 + 80];
    EXPECT_EQ(icon.pixel(8, 8), qRgb(GetRValue(t), GetGValue(t), GetBValue(t)));

    // Through the idle hint: the refresh flag follows whether a thumbnail was drawn.
    m_view->Refill(m_drive);
    m_doc->UpdateAllViews(nullptr, HINT_IDLE);
    EXPECT_EQ(m_doc->m_refreshFlags[0], 1);
    for (int i = 0; i < 3; ++i)
        m_doc->UpdateAllViews(nullptr, HINT_IDLE);
    EXPECT_EQ(m_doc->m_refreshFlags[0], 0);

    // Bold marks by tag.
    m_doc->UpdateAllViews(nullptr, HINT_PIECE_IN, HintObject::Number(m_view->TagOf(Item("b.jpg"))));
    EXPECT_TRUE(Item("b.jpg")->font(0).bold());
    m_doc->UpdateAllViews(nullptr, HINT_PIECE_OUT, HintObject::Number(m_view->TagOf(Item("b.jpg"))));
    EXPECT_FALSE(Item("b.jpg")->font(0).bold());
}

namespace {

// Gives a JPEG file a camera block (model and focal length) right after its start marker.
void AddCameraBlock(const fs::path& path, const std::string& model, uint32_t focal)
{
    std::vector<uint8_t> t = {'M', 'M', 0, 42, 0, 0, 0, 8};
    auto u16 = [&t](uint32_t v) {
        t.push_back(static_cast<uint8_t>(v >> 8));
        t.push_back(static_cast<uint8_t>(v));
    };
    auto u32 = [&u16](uint32_t v) {
        u16(v >> 16);
        u16(v & 0xFFFF);
    };
    const auto n = static_cast<uint32_t>(model.size() + 1);
    const uint32_t data = 8 + 2 + 2 * 12 + 4;
    u16(2);
    u16(272), u16(2), u32(n), u32(data);
    u16(37386), u16(5), u32(1), u32(data + n);
    u32(0);
    t.insert(t.end(), model.begin(), model.end());
    t.push_back(0);
    u32(focal), u32(1);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const size_t len = 2 + 6 + t.size();
    std::vector<uint8_t> seg = {0xFF, 0xE1, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len), 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), t.begin(), t.end());
    file.insert(file.begin() + 2, seg.begin(), seg.end());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

// A folder of JPEG photos with camera data, with a BMP and an unreadable JPEG among them.
fs::path MakePhotoFolder(const fs::path& root)
{
    const fs::path f = root / "photos";
    fs::create_directories(f);
    const struct {
        const char* name;
        int w, h;
    } pictures[] = {{"p0.jpg", 400, 300}, {"p1.jpg", 1600, 1200}, {"p2.bmp", 200, 150},
                    {"p4.jpg", 300, 400}, {"p5.jpg", 640, 480}, {"p6.jpg", 1280, 960}};
    int n = 0;
    for (const auto& p : pictures) {
        WritePicture(f / p.name, p.w, p.h);
        if (fs::path(p.name).extension() == ".jpg")
            AddCameraBlock(f / p.name, "Camera number " + std::to_string(n), static_cast<uint32_t>(20 + n));
        ++n;
    }
    std::ofstream(f / "p3.jpg") << "not a picture at all";
    return f;
}

// Everything the thumbnail pass leaves for one item.
struct ItemOutcome {
    std::string text;
    int icon = 0;
    bool bold = false;
    QImage thumb;
    int entry = -1;
    CSize size;
    int state = 0;
    CPixelArray pixels;
    std::string camera, cameraName, exposure, fNumber;
    double cameraValue = 0, exposureFigure = 0;
    bool operator==(const ItemOutcome&) const = default;
};

std::vector<ItemOutcome> Outcome(CLeftView& view, CSmDoc& doc, QTreeWidgetItem* folder)
{
    std::vector<ItemOutcome> out;
    for (int i = 0; i < folder->childCount(); ++i) {
        QTreeWidgetItem* item = folder->child(i);
        ItemOutcome o;
        o.text = item->text(0).toStdString();
        o.icon = CLeftView::IconOf(item);
        o.bold = item->font(0).bold();
        o.thumb = view.ItemIconImage(item);
        o.entry = doc.FindEntryIndex(view.ItemPath(item), view.TagOf(item));
        if (o.entry >= 0) {
            const CPictureEntry& e = doc.m_entries[static_cast<size_t>(o.entry)];
            o.size = e.m_Size;
            o.state = e.m_State;
            o.pixels = e.m_PixelCache;
            o.camera = e.m_CameraText;
            o.cameraName = e.m_CameraNameText;
            o.exposure = e.m_ExposureText;
            o.fNumber = e.m_FNumberText;
            o.cameraValue = e.m_CameraValue;
            o.exposureFigure = e.m_ExposureFigure;
        }
        out.push_back(o);
    }
    return out;
}

// The path of the first item still waiting for its thumbnail.
std::string FirstPending(const CLeftView& view, QTreeWidgetItem* folder)
{
    for (int i = 0; i < folder->childCount(); ++i)
        if (folder->child(i)->text(0).endsWith(QLatin1Char(' ')))
            return view.ItemPath(folder->child(i));
    return {};
}

} // namespace

// Thumbnails from pictures read ahead on the worker are exactly those of the one-at-a-time
// pass: pixels, sizes, states, camera texts, icons, the current entry and the process-wide
// camera data after the last one. A step whose picture is not read yet changes nothing.
TEST_F(FinderTest, ReadAheadGivesTheSameThumbnailsAsReadingOneAtATime)
{
    MakePhotoFolder(m_root);
    m_view->Refill(m_drive);

    // One at a time, on this thread.
    m_view->SetReadAhead(false);
    QTreeWidgetItem* folder = Item("photos");
    ASSERT_NE(folder, nullptr);
    folder->setExpanded(true);
    ASSERT_EQ(folder->childCount(), 7);
    while (m_view->ThumbnailStep() != 0) {
    }
    const std::vector<ItemOutcome> alone = Outcome(*m_view, *m_doc, folder);
    const std::vector<ItemOutcome> besideAlone = Outcome(*m_view, *m_doc, m_drive);
    const int aloneCurrent = m_doc->m_currentEntry;
    const CJpegCameraData aloneCamera = CurrentJpegCameraData();
    ASSERT_EQ(aloneCamera.model, "Camera number 5");
    ASSERT_EQ(alone[0].camera, "Camera number 0");
    ASSERT_LT(alone[3].entry, 0) << "the unreadable file has no entry";
    ASSERT_EQ(alone[3].text, "p3.jpg");

    // Read ahead, in a second finder on its own document.
    ResetLastJpegValues("");
    ExifInfo = CExifInfo();
    CSmDoc doc;
    CLeftView view;
    view.SetHomeFolder(m_root.string());
    doc.AddView(&view);
    view.resize(300, 700);
    view.show();
    view.OnInitialUpdate();
    QTreeWidgetItem* drive = view.Root()->child(0);
    drive->setExpanded(true);
    QTreeWidgetItem* folder2 = CLeftView::Child(drive, "photos");
    ASSERT_NE(folder2, nullptr);
    folder2->setExpanded(true);
    int taken = 0;
    for (int guard = 0; guard < 100; ++guard) {
        const std::vector<ItemOutcome> before = Outcome(view, doc, folder2);
        const int r = view.ThumbnailStep();
        if (r == 0)
            break;
        if (r == 2) {
            ++taken;
            continue;
        }
        ASSERT_EQ(r, 1);
        EXPECT_TRUE(Outcome(view, doc, folder2) == before) << "a waiting step changed an item";
        // Once the worker is done with it, the next step takes it.
        ASSERT_TRUE(view.ReadAhead()->WaitFor(FirstPending(view, folder2)));
        ASSERT_EQ(view.ThumbnailStep(), 2);
        ++taken;
    }
    // The three pictures beside the folder are taken too.
    EXPECT_EQ(taken, 3 + 7);
    EXPECT_EQ(view.ReadAhead()->ReadsDone(), 1 + 6) << "every JPEG, the unreadable one too, was read by the worker";
    const std::vector<ItemOutcome> ahead = Outcome(view, doc, folder2);
    ASSERT_EQ(ahead.size(), alone.size());
    for (size_t i = 0; i < alone.size(); ++i)
        EXPECT_TRUE(ahead[i] == alone[i]) << alone[i].text;
    const std::vector<ItemOutcome> besideAhead = Outcome(view, doc, drive);
    ASSERT_EQ(besideAhead.size(), besideAlone.size());
    for (size_t i = 0; i < besideAlone.size(); ++i)
        EXPECT_TRUE(besideAhead[i] == besideAlone[i]) << besideAlone[i].text;
    EXPECT_EQ(doc.m_currentEntry, aloneCurrent);
    EXPECT_TRUE(CurrentJpegCameraData() == aloneCamera);
    doc.RemoveView(&view);
}

// The worker stops, joined, when the listed folder is built again, when the read-ahead is
// switched off, and when the finder closes in the middle of a read.
TEST_F(FinderTest, ReadAheadStopsWithTheFolderAndTheView)
{
    MakePhotoFolder(m_root);
    m_view->Refill(m_drive);
    QTreeWidgetItem* folder = Item("photos");
    folder->setExpanded(true);
    EXPECT_GT(m_view->ThumbnailStep(), 0);
    ASSERT_NE(m_view->ReadAhead(), nullptr);
    EXPECT_TRUE(m_view->ReadAhead()->Running());
    m_view->Refill(folder);
    EXPECT_FALSE(m_view->ReadAhead()->Running());

    // After the refill the pass starts again and ends with every thumbnail.
    for (int guard = 0; guard < 100; ++guard) {
        const int r = m_view->ThumbnailStep();
        if (r == 0)
            break;
        if (r == 1) {
            ASSERT_TRUE(m_view->ReadAhead()->WaitFor(FirstPending(*m_view, folder)));
        }
    }
    EXPECT_EQ(FirstPending(*m_view, folder), "");
    EXPECT_FALSE(m_view->ItemIconImage(CLeftView::Child(folder, "p6.jpg")).isNull());

    m_view->Refill(folder);
    EXPECT_GT(m_view->ThumbnailStep(), 0);
    EXPECT_TRUE(m_view->ReadAhead()->Running());
    m_view->SetReadAhead(false);
    EXPECT_FALSE(m_view->ReadAhead()->Running());
    EXPECT_EQ(m_view->ThumbnailStep(), 2) << "switched off, the step reads the picture itself";

    m_view->SetReadAhead(true);
    EXPECT_GT(m_view->ThumbnailStep(), 0);
    EXPECT_TRUE(m_view->ReadAhead()->Running());
    m_doc->RemoveView(m_view.get());
    m_view.reset();
}

TEST_F(FinderTest, IconSizeCyclesAndRebuilds)
{
    int told = 0;
    CLeftView::Frame frame;
    frame.iconSizeChanged = [&told](int s) { told = s; };
    m_view->SetFrame(frame);
    const std::pair<int, int> steps[] = {{HINT_FINDER_ICON_64, 64}, {HINT_FINDER_SIZE_CYCLE, 16},
                                         {HINT_FINDER_SIZE_CYCLE, 32}, {HINT_FINDER_ICON_16, 16}};
    for (const auto& [hint, size] : steps) {
        m_doc->UpdateAllViews(nullptr, hint);
        EXPECT_EQ(m_view->IconSize(), size);
        EXPECT_EQ(told, size);
        EXPECT_EQ(m_view->indentation(), size);
    }
    EXPECT_EQ(m_view->Root()->childCount() > 0, true);
}

TEST_F(FinderTest, SelectionFollowsShiftCtrlAndFolders)
{
    Click(Item("A.bmp "));
    EXPECT_EQ(Selected(), std::vector<std::string>{"A.bmp "});
    EXPECT_EQ(m_doc->m_currentEntry, m_doc->FindEntryIndex((m_root / "A.bmp").string(), 0));
    Click(Item("c.png "), Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"A.bmp ", "b.jpg ", "c.png "}));
    Click(Item("b.jpg "), Qt::ControlModifier);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"A.bmp ", "c.png "}));
    // A folder with a key is not added to a selection of files.
    Click(Item("sub"), Qt::ControlModifier);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"A.bmp ", "c.png "}));
    // Without keys it becomes the only selected item.
    Click(Item("sub"));
    EXPECT_EQ(Selected(), std::vector<std::string>{"sub"});
    // A press on one of several selected files keeps them for a drag; without a drag only it stays.
    Click(Item("A.bmp "));
    Click(Item("b.jpg "), Qt::ControlModifier);
    Click(Item("b.jpg "));
    EXPECT_EQ(Selected(), std::vector<std::string>{"b.jpg "});
}

TEST_F(FinderTest, DraggedSelectionHandsOverNames)
{
    const std::string a = (m_root / "A.bmp").string();
    const std::string b = (m_root / "b.jpg").string();
    DragOut(Item("A.bmp "));
    ASSERT_FALSE(m_recorder.hints.empty());
    EXPECT_EQ(m_recorder.hints.back().hint, HINT_DROP_ONE);
    EXPECT_EQ(m_recorder.hints.back().names, a);
    EXPECT_TRUE(m_doc->m_droppedNames.empty()) << "the drag list is cleared at the end";

    Click(Item("b.jpg "), Qt::ControlModifier);
    m_recorder.hints.clear();
    DragOut(Item("b.jpg "));
    ASSERT_FALSE(m_recorder.hints.empty());
    EXPECT_EQ(m_recorder.hints.back().hint, HINT_DROP_LIST);
    EXPECT_EQ(m_recorder.hints.back().names, a + ";" + b);

    // A folder gives its pictures.
    m_recorder.hints.clear();
    DragOut(Item("sub"));
    ASSERT_FALSE(m_recorder.hints.empty());
    EXPECT_EQ(m_recorder.hints.back().hint, HINT_DROP_LIST);
    EXPECT_EQ(m_recorder.hints.back().names, (m_root / "sub" / "d.jpg").string() + ";" + (m_root / "sub" / "e.jpg").string());

    // A release inside the finder hands nothing over.
    m_recorder.hints.clear();
    Mouse(QEvent::MouseButtonPress, At(Item("c.png ")));
    Mouse(QEvent::MouseMove, At(Item("c.png ")) + QPoint(30, 30));
    Mouse(QEvent::MouseButtonRelease, At(Item("c.png ")) + QPoint(30, 30));
    for (const auto& h : m_recorder.hints)
        EXPECT_NE(h.hint, HINT_DROP_ONE);
}

TEST_F(FinderTest, NamesAreShownWholeAndAWideOneScrolls)
{
    // Every shown name has its whole width in the column, which fills at least the pane.
    auto settle = [this] { QApplication::processEvents(); };
    settle();
    auto wholeNames = [this] {
        for (QTreeWidgetItemIterator it(m_view.get()); *it; ++it) {
            QTreeWidgetItem* item = *it;
            if (item->parent() && !item->parent()->isExpanded())
                continue;
            const QRect row = m_view->visualItemRect(item);
            const int text = m_view->fontMetrics().horizontalAdvance(item->text(0));
            EXPECT_LE(row.left() + m_view->iconSize().width() + text, m_view->columnWidth(0)) << item->text(0).toStdString();
        }
    };
    wholeNames();
    EXPECT_GE(m_view->columnWidth(0), m_view->viewport()->width());
    EXPECT_EQ(m_view->horizontalScrollBar()->maximum(), m_view->columnWidth(0) - m_view->viewport()->width());

    // A name wider than the pane: the column grows with it and the scroll bar reaches its end.
    m_view->resize(120, 700);
    fs::create_directories(m_root / "a folder with a name much wider than the finder pane is");
    m_view->Refill(m_drive);
    settle();
    wholeNames();
    EXPECT_GT(m_view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(m_view->horizontalScrollBar()->maximum(), m_view->columnWidth(0) - m_view->viewport()->width());
}

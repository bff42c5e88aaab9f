// The image finder's tree, its thumbnails, selection and drag.
#include "shell/left_view.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeWidgetItemIterator>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

#include "common/helpers.h"
#include "document/sm_doc.h"
#include "document/update_hint.h"
#include "platform/clock.h"
#include "platform/qt/resources.h"
#include "shell/finder_folders.h"
#include "shell/thumb_read_ahead.h"

using finder::JoinPath;

namespace {

enum Role : int {
    ROLE_KIND = Qt::UserRole,
    ROLE_TAG = Qt::UserRole + 1,
    ROLE_ICON = Qt::UserRole + 2,
    ROLE_THUMB = Qt::UserRole + 3,
};

constexpr const char* kRootText = "Image File Finder";
constexpr const char* kDummyText = "dummy";
// Most items one thumbnail step walks.
constexpr int kMaxWalk = 10000;
// The small image behind each thumbnail, and how many pending pictures are read ahead.
const CSize kThumbCanvas(160, 120);
constexpr size_t kReadAheadCount = 4;
// How long a step waits for the worker before it gives the window its turn: short enough that
// the window stays responsive, long enough that the idle calls do not spin while it reads.
constexpr std::chrono::milliseconds kReadAheadWait(8);
// Time the content test of one fill may take.
constexpr auto kFillBudget = std::chrono::milliseconds(200);

std::string Text(const QTreeWidgetItem* item) { return item->text(0).toStdString(); }

bool EndsWithBlank(const QTreeWidgetItem* item)
{
    const QString t = item->text(0);
    return !t.isEmpty() && t.back() == QLatin1Char(' ');
}

QImage IconImage(const std::vector<COLORREF>& px, int s)
{
    QImage img(s, s, QImage::Format_ARGB32);
    for (int y = 0; y < s; ++y)
        for (int x = 0; x < s; ++x) {
            const COLORREF c = px[static_cast<size_t>(y) * s + x];
            img.setPixel(x, y, c == finder::kIconMask ? qRgba(0, 0, 0, 0) : qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
        }
    return img;
}

} // namespace

CLeftView::CLeftView(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("CLeftView"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setMouseTracking(true);
    // The finder keeps the selection by its own rules (see the mouse handlers).
    setSelectionMode(QAbstractItemView::NoSelection);
    setExpandsOnDoubleClick(false);
    setIconSize(QSize(m_iconSize, m_iconSize));
    setIndentation(m_iconSize);
    setMinimumSize(1, 1);
    // Names are shown whole: the column is as wide as its widest shown name (at least the
    // pane's width) and a horizontal scroll bar reaches what the pane cannot show.
    header()->setStretchLastSection(false);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(this, &QTreeWidget::itemExpanded, this, &CLeftView::OnExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CLeftView::OnCollapsed);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model(), signal, this, [this] { QueueFitColumn(); });
    connect(model(), &QAbstractItemModel::dataChanged, this, [this] { QueueFitColumn(); });
    connect(this, &QTreeWidget::itemExpanded, this, [this] { QueueFitColumn(); });
    connect(this, &QTreeWidget::itemCollapsed, this, [this] { QueueFitColumn(); });
}

void CLeftView::QueueFitColumn()
{
    if (m_fitQueued)
        return;
    m_fitQueued = true;
    QTimer::singleShot(0, this, [this] { FitColumn(); });
}

void CLeftView::FitColumn()
{
    m_fitQueued = false;
    const int want = std::max(sizeHintForColumn(0), viewport()->width());
    if (columnWidth(0) != want)
        setColumnWidth(0, want);
}

CLeftView::~CLeftView()
{
    CancelReadAhead();
    EndDragImage();
}

CSmDoc* CLeftView::GetDoc() const { return dynamic_cast<CSmDoc*>(GetDocument()); }

// ---- Items ----------------------------------------------------------------------------------

int CLeftView::KindOf(const QTreeWidgetItem* item) { return item ? item->data(0, ROLE_KIND).toInt() : -1; }
int CLeftView::IconOf(const QTreeWidgetItem* item) { return item ? item->data(0, ROLE_ICON).toInt() : 0; }
int CLeftView::TagOf(const QTreeWidgetItem* item) const { return item ? item->data(0, ROLE_TAG).toInt() : 0; }

QTreeWidgetItem* CLeftView::ItemOfTag(int tag) const
{
    auto it = m_tags.find(tag);
    return it == m_tags.end() ? nullptr : it->second;
}

QTreeWidgetItem* CLeftView::Child(const QTreeWidgetItem* parent, const std::string& text)
{
    if (!parent)
        return nullptr;
    for (int i = 0; i < parent->childCount(); ++i)
        if (Text(parent->child(i)) == text)
            return parent->child(i);
    return nullptr;
}

QTreeWidgetItem* CLeftView::NewItem(QTreeWidgetItem* parent, const std::string& text, int kind, int icon)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, QString::fromStdString(text));
    item->setData(0, ROLE_KIND, kind);
    // Every item carries a tag, by which picture entries name their finder item.
    const int tag = m_nextTag++;
    item->setData(0, ROLE_TAG, tag);
    m_tags[tag] = item;
    SetItemIcon(item, icon);
    return item;
}

void CLeftView::SetItemIcon(QTreeWidgetItem* item, int icon)
{
    item->setData(0, ROLE_ICON, icon);
    item->setIcon(0, platform::qt::LoadIconResource(icon));
}

void CLeftView::AddDummy(QTreeWidgetItem* folder) { NewItem(folder, kDummyText, KIND_DUMMY, 0); }

void CLeftView::Forget(QTreeWidgetItem* item)
{
    for (int i = 0; i < item->childCount(); ++i)
        Forget(item->child(i));
    m_tags.erase(TagOf(item));
    if (m_clickedItem == item)
        m_clickedItem = nullptr;
    if (m_expandOnRelease == item)
        m_expandOnRelease = nullptr;
    if (m_lastExpanded == item)
        m_lastExpanded = nullptr;
    if (m_anchorItem == item)
        m_anchorItem = nullptr;
}

void CLeftView::DeleteChildren(QTreeWidgetItem* item)
{
    // Pictures still being read for items about to go are of no use any more.
    for (int i = 0; i < item->childCount(); ++i)
        if (KindOf(item->child(i)) == KIND_IMAGE && EndsWithBlank(item->child(i))) {
            CancelReadAhead();
            break;
        }
    while (item->childCount() > 0) {
        QTreeWidgetItem* child = item->child(item->childCount() - 1);
        Forget(child);
        delete child;
    }
}

std::string CLeftView::ItemPath(const QTreeWidgetItem* item) const
{
    std::vector<std::string> parts;
    for (const QTreeWidgetItem* i = item; i; i = i->parent()) {
        const int kind = KindOf(i);
        if (kind == KIND_ROOT)
            break;
        std::string t = Text(i);
        if (!t.empty() && t.back() == ' ')
            t.pop_back();
        parts.push_back(t);
        if (kind == KIND_DRIVE)
            break;
    }
    std::string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        path = path.empty() ? *it : JoinPath(path, *it);
    return path;
}

bool CLeftView::IsFile(const QTreeWidgetItem* item) const
{
    const int k = KindOf(item);
    return k == KIND_IMAGE || k == KIND_UNUSABLE || k == KIND_PROJECT;
}

// ---- Building --------------------------------------------------------------------------------

void CLeftView::OnInitialUpdate()
{
    if (m_initialised)
        return;
    m_initialised = 1;
    BuildDriveLevel();
}

void CLeftView::BuildDriveLevel()
{
    CancelReadAhead();
    while (topLevelItemCount() > 0) {
        QTreeWidgetItem* item = topLevelItem(0);
        Forget(item);
        delete item;
    }
    QTreeWidgetItem* root = NewItem(nullptr, kRootText, KIND_ROOT, finder::ICON_ROOT);
    QFont bold = root->font(0);
    bold.setBold(true);
    root->setFont(0, bold);
    const std::vector<finder::Drive> drives = finder::ListDrives(m_homeFolder.empty() ? QDir::homePath().toStdString() : m_homeFolder);
    m_driveCount = static_cast<int>(drives.size());
    for (const finder::Drive& d : drives) {
        QTreeWidgetItem* item = NewItem(root, d.path, KIND_DRIVE, d.icon);
        AddDummy(item);
    }
    root->setExpanded(true);
}

void CLeftView::FillFolder(QTreeWidgetItem* item)
{
    if (!item || KindOf(item) == KIND_ROOT)
        return;
    if (item->childCount() > 0) {
        if (KindOf(item->child(0)) != KIND_DUMMY)
            return;
        DeleteChildren(item);
    }
    finder::ContentBudget budget;
    budget.deadline = std::chrono::steady_clock::now() + kFillBudget;
    const std::vector<finder::Listed> listed = finder::ListFolder(ItemPath(item), budget);
    for (const finder::Listed& l : listed) {
        if (l.icon == finder::ICON_FOLDER) {
            AddDummy(NewItem(item, l.name, KIND_FOLDER, finder::ICON_FOLDER));
        } else if (l.icon == finder::ICON_PROJECT) {
            NewItem(item, l.name, KIND_PROJECT, finder::ICON_PROJECT);
        } else {
            NewItem(item, l.pending ? l.name + " " : l.name, l.pending ? KIND_IMAGE : KIND_UNUSABLE, l.icon);
        }
    }
    // A folder that turned out empty loses its expand button.
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (m_pressedWithFill && item == m_expandOnRelease)
        scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void CLeftView::Refill(QTreeWidgetItem* item)
{
    if (!item)
        return;
    DeleteChildren(item);
    AddDummy(item);
    FillFolder(item);
}

void CLeftView::OnExpanded(QTreeWidgetItem* item)
{
    if (KindOf(item) == KIND_FOLDER)
        SetItemIcon(item, finder::ICON_FOLDER_OPEN);
    if (item == m_lastExpanded && item->childCount() != m_driveCount && KindOf(item) != KIND_ROOT)
        Refill(item);
    else
        FillFolder(item);
    m_lastExpanded = item;
}

void CLeftView::OnCollapsed(QTreeWidgetItem* item)
{
    if (KindOf(item) == KIND_FOLDER)
        SetItemIcon(item, finder::ICON_FOLDER);
}

void CLeftView::SetIconSize(int size)
{
    int s = size;
    if (s == 0)
        s = m_iconSize * 2 > 64 ? 16 : m_iconSize * 2;
    if (s != 16 && s != 32 && s != 64)
        return;
    if (s == m_iconSize)
        return;
    m_iconSize = s;
    setIconSize(QSize(s, s));
    setIndentation(s);
    BuildDriveLevel();
    if (m_frame.iconSizeChanged)
        m_frame.iconSizeChanged(s);
}

// ---- Thumbnails -------------------------------------------------------------------------------

QImage CLeftView::ItemIconImage(const QTreeWidgetItem* item) const
{
    const QVariant v = item ? item->data(0, ROLE_THUMB) : QVariant();
    return v.isValid() ? v.value<QImage>() : QImage();
}

void CLeftView::SetReadAhead(bool on)
{
    m_readAheadOn = on;
    if (!on)
        CancelReadAhead();
}

void CLeftView::CancelReadAhead()
{
    // The document never keeps an offer beyond the step that made it: only the worker stops.
    if (m_readAhead)
        m_readAhead->Cancel();
}

bool CLeftView::TakeReadAhead(CSmDoc* doc, QTreeWidgetItem* item, const std::string& path, int walked)
{
    if (!m_readAheadOn || !doc->AcceptsReadAhead())
        return true;
    // The pending JPEG pictures from this item down, in the order the steps take them.
    std::vector<std::string> next;
    for (QTreeWidgetItem* i = item; i && walked < kMaxWalk && next.size() < kReadAheadCount;
         i = itemBelow(i), ++walked) {
        if (!EndsWithBlank(i))
            continue;
        std::string p = i == item ? path : ItemPath(i);
        if (GetFileKind(p) == FILE_KIND_JPEG)
            next.push_back(std::move(p));
    }
    if (!m_readAhead)
        m_readAhead = std::make_unique<CThumbReadAhead>(kThumbCanvas);
    if (next.empty() || next.front() != path) {
        // Not a JPEG: this step reads it itself while the worker goes on below.
        m_readAhead->Want(next);
        return true;
    }
    // A picture the document already holds needs no reading.
    const int known = doc->FindEntryIndex(path, TagOf(item));
    if (known >= 0 && doc->IsEntryReady(known) == 1) {
        next.erase(next.begin());
        m_readAhead->Want(next);
        return true;
    }
    m_readAhead->Want(next);
    std::optional<CJpegPicture> picture = m_readAhead->Take(path);
    if (!picture && m_readAhead->WaitFor(path, kReadAheadWait))
        picture = m_readAhead->Take(path);
    if (!picture)
        return false;
    // A failed read is left to the ordinary read, which reports it.
    if (picture->result >= 1)
        doc->OfferReadAhead(std::move(*picture));
    return true;
}

int CLeftView::ThumbnailStep()
{
    CSmDoc* doc = GetDoc();
    if (!doc)
        return 0;
    QTreeWidgetItem* item = itemAt(QPoint(0, 0));
    if (!item)
        item = Root();
    int walked = 0;
    while (item && walked < kMaxWalk && !EndsWithBlank(item)) {
        item = itemBelow(item);
        ++walked;
    }
    if (!item || walked >= kMaxWalk) {
        if (m_readAhead)
            m_readAhead->Want({});
        return 0;
    }
    const std::string path = ItemPath(item);
    if (!TakeReadAhead(doc, item, path, walked))
        return 1;
    std::string text = Text(item);
    text.pop_back();
    item->setText(0, QString::fromStdString(text));
    const int tag = TagOf(item);
    int entry = doc->RegisterPicture(path, tag);
    // An offer the registration did not need is not kept for a later read.
    doc->DropReadAhead();
    if (entry >= 0 && entry == static_cast<int>(doc->m_entries.size()) - 1) {
        TidyEntries();
        entry = doc->FindEntryIndex(path, tag);
    }
    if (entry < 0)
        return 2;
    CPictureEntry& e = doc->m_entries[static_cast<size_t>(entry)];
    if (e.m_Size.cx > 0 && e.m_Size.cy > 0) {
        DrawThumbnail(item, entry);
        if (e.m_State > 5)
            MarkItem(item, entry);
        if (e.m_State <= 2)
            e.m_State = 3;
        doc->UpdateAllViews(nullptr, HINT_FINDER_SELECT);
    }
    return 2;
}

void CLeftView::TidyEntries()
{
    CSmDoc* doc = GetDoc();
    for (CPictureEntry& e : doc->m_entries) {
        if (e.m_Name.empty())
            continue;
        QTreeWidgetItem* item = e.m_EntryFlag ? ItemOfTag(e.m_EntryFlag) : nullptr;
        if (e.m_EntryFlag && (!item || ItemPath(item) != e.m_Name)) {
            // The item is gone or shows another file: the entry no longer belongs to it.
            if (e.m_State < 6)
                e.Reset();
            else
                e.m_EntryFlag = 0;
            continue;
        }
        if (e.m_State == 3 && item && item->parent() && !item->parent()->isExpanded())
            e.m_State = 2;
        if (!e.m_EntryFlag && (e.m_State == 3 || e.m_State == 4))
            e.m_State = 2;
    }
}

void CLeftView::DrawThumbnail(QTreeWidgetItem* item, int entry)
{
    CSmDoc* doc = GetDoc();
    const CPictureEntry& e = doc->m_entries[static_cast<size_t>(entry)];
    const COLORREF* thumb = e.m_PixelCache.GetSize() >= 160 * 120 ? e.m_PixelCache.GetData() : nullptr;
    const QImage img = IconImage(finder::DrawThumbIcon(thumb, e.m_Size, m_iconSize), m_iconSize);
    item->setData(0, ROLE_THUMB, img);
    item->setIcon(0, QIcon(QPixmap::fromImage(img)));
    doc->m_currentEntry = entry;
}

void CLeftView::MarkItem(QTreeWidgetItem* item, int entry)
{
    CSmDoc* doc = GetDoc();
    if (!item || !doc || entry < 0 || entry >= static_cast<int>(doc->m_entries.size()))
        return;
    QFont f = item->font(0);
    f.setBold(doc->m_entries[static_cast<size_t>(entry)].m_State >= 6);
    item->setFont(0, f);
}

void CLeftView::ShowEntry(QTreeWidgetItem* item)
{
    CSmDoc* doc = GetDoc();
    if (!doc || !IsFile(item))
        return;
    const int entry = doc->FindEntryIndex(ItemPath(item), TagOf(item));
    if (entry < 0 || doc->IsEntryReady(entry) != 1 || entry == m_lastShownEntry)
        return;
    MarkItem(item, entry);
    doc->m_currentEntry = entry;
    m_lastShownEntry = entry;
    doc->UpdateAllViews(this, HINT_FINDER_SELECT);
}

// ---- Hints ------------------------------------------------------------------------------------

bool CLeftView::ScreenPointInside(CPoint screen) const
{
    const QPoint local = viewport()->mapFromGlobal(QPoint(screen.x, screen.y));
    return viewport()->rect().contains(local);
}

void CLeftView::OnUpdate(IDocumentView*, int hint, const HintObject& object)
{
    CSmDoc* doc = GetDoc();
    auto setBold = [this](int tag, bool bold) {
        if (QTreeWidgetItem* item = ItemOfTag(tag)) {
            QFont f = item->font(0);
            f.setBold(bold);
            item->setFont(0, f);
        }
    };
    switch (hint) {
    case HINT_PIECE_IN: setBold(object.value, true); break;
    case HINT_PIECE_OUT: setBold(object.value, false); break;
    case HINT_PIECE_REFUSED:
        if (QTreeWidgetItem* item = ItemOfTag(object.value)) {
            Forget(item);
            delete item;
        }
        break;
    case HINT_VIEW_157:
        if (doc && ScreenPointInside(doc->m_dropOffset))
            doc->UpdateAllViews(this, HINT_FINDER_163);
        break;
    case HINT_VIEW_271:
        if (doc && ScreenPointInside(doc->m_dropOffset) && object.value >= 0 &&
            object.value < static_cast<int>(doc->m_entries.size()))
            doc->ClosePictureWindows(doc->m_entries[static_cast<size_t>(object.value)].m_Name);
        break;
    case HINT_FINDER_REFRESH: {
        const int s = m_iconSize;
        m_iconSize = 0;
        SetIconSize(s);
        break;
    }
    case HINT_FINDER_SIZE_CYCLE: SetIconSize(0); break;
    case HINT_FINDER_ICON_64: SetIconSize(64); break;
    case HINT_FINDER_ICON_32: SetIconSize(32); break;
    case HINT_FINDER_ICON_16: SetIconSize(16); break;
    case HINT_IDLE:
        if (doc)
            doc->m_refreshFlags[0] = ThumbnailStep() > 0 ? 1 : 0;
        break;
    default: break;
    }
}

// ---- Mouse ------------------------------------------------------------------------------------

bool CLeftView::OnExpandButton(const QPoint& pos, QTreeWidgetItem* item) const
{
    // Left of the item's icon lie its indentation and its expand button.
    const QRect r = visualItemRect(item);
    return pos.x() < r.left();
}

std::vector<QTreeWidgetItem*> CLeftView::SelectedItems() const
{
    const QList<QTreeWidgetItem*> sel = selectedItems();
    return {sel.begin(), sel.end()};
}

void CLeftView::ClearSelectionOf(int kindMask)
{
    for (QTreeWidgetItem* i : selectedItems())
        if (kindMask & (1 << KindOf(i)))
            i->setSelected(false);
}

void CLeftView::mousePressEvent(QMouseEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !item || OnExpandButton(event->position().toPoint(), item)) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    m_buttonDown = true;
    CSmDoc* doc = GetDoc();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool file = IsFile(item);
    if (file && doc) {
        const std::string path = ItemPath(item);
        int entry = doc->FindEntryIndex(path, TagOf(item));
        if (entry < 0 && KindOf(item) != KIND_PROJECT)
            entry = doc->RegisterPicture(path, TagOf(item));
        if (entry >= 0) {
            if (doc->IsEntryReady(entry) != 1)
                doc->LoadEntryPicture(entry);
            MarkItem(item, entry);
            doc->m_currentEntry = entry;
            m_lastShownEntry = entry;
            doc->UpdateAllViews(this, HINT_FINDER_SELECT);
        } else if (KindOf(item) != KIND_PROJECT) {
            // A photo that cannot be read is the one chosen now: the viewer lets the previous
            // one go.
            doc->m_currentEntry = -1;
            m_lastShownEntry = -1;
            doc->UpdateAllViews(this, HINT_FINDER_SELECT);
        }
    }
    m_expandOnRelease = !file && !item->isExpanded() ? item : nullptr;
    m_pressedWithFill = m_expandOnRelease != nullptr;
    m_dragState = 2;
    // Folders and projects never stay selected together with images.
    ClearSelectionOf((1 << KIND_FOLDER) | (1 << KIND_DRIVE) | (1 << KIND_PROJECT) | (1 << KIND_ROOT));
    const bool anyFileSelected = [this] {
        for (QTreeWidgetItem* i : selectedItems())
            if (IsFile(i))
                return true;
        return false;
    }();
    if (!file) {
        if (shift || ctrl) {
            if (!anyFileSelected)
                item->setSelected(true);
            m_dragState = 0;
        } else {
            clearSelection();
            item->setSelected(true);
        }
    } else if (shift) {
        QTreeWidgetItem* from = m_anchorItem;
        item->setSelected(true);
        if (from && from != item && from->parent() == item->parent() && IsFile(from)) {
            QTreeWidgetItem* parent = item->parent();
            int a = parent->indexOfChild(from), b = parent->indexOfChild(item);
            if (a > b)
                std::swap(a, b);
            for (int i = a; i <= b; ++i)
                if (IsFile(parent->child(i)))
                    parent->child(i)->setSelected(true);
        }
        m_dragState = 0;
    } else if (ctrl) {
        item->setSelected(!item->isSelected());
        m_dragState = 0;
    } else {
        int selectedFiles = 0;
        for (QTreeWidgetItem* i : selectedItems())
            if (IsFile(i))
                ++selectedFiles;
        if (item->isSelected() && selectedFiles > 1) {
            m_dragState = 3;
        } else {
            clearSelection();
            item->setSelected(true);
        }
    }
    // Project files are opened by a double-click, never dragged with pictures.
    if (KindOf(item) == KIND_PROJECT && m_dragState != 0)
        m_dragState = 2;
    m_clickedItem = item;
    if (!shift)
        m_anchorItem = item;
    if (doc)
        doc->m_droppedNames.clear();
    const QPoint p = event->position().toPoint();
    m_dragRect = QRect(p.x() - 5, p.y() - 5, 11, 11);
    m_dragLabel = Text(item);
    if (m_dragState == 3) {
        // A name whose thumbnail is still pending ends with a blank already.
        if (m_dragLabel.empty() || m_dragLabel.back() != ' ')
            m_dragLabel += ' ';
        m_dragLabel += "and other Images";
    }
    viewport()->update();
}

void CLeftView::StartDragImage()
{
    if (!m_dragImage) {
        m_dragImage = std::make_unique<QLabel>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
        m_dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_dragImage->setStyleSheet(QStringLiteral("background: rgba(255,255,255,180); border: 1px solid gray;"));
    }
    m_dragImage->setText(QString::fromStdString(m_dragLabel));
    m_dragImage->adjustSize();
    m_dragImage->show();
    setCursor(platform::qt::LoadCursorResource(159));
}

void CLeftView::EndDragImage()
{
    if (m_dragImage)
        m_dragImage->hide();
    unsetCursor();
}

void CLeftView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (!(event->buttons() & Qt::LeftButton)) {
        if (CSmDoc* doc = GetDoc())
            doc->ClearDropList();
        if (QTreeWidgetItem* item = itemAt(p))
            ShowEntry(item);
        QTreeWidget::mouseMoveEvent(event);
        return;
    }
    if (!m_buttonDown)
        return;
    if ((m_dragState == 2 || m_dragState == 3) && !m_dragRect.contains(p)) {
        m_dragState = 5;
        StartDragImage();
    }
    if (m_dragState == 5 && m_dragImage) {
        // The image's hot spot lies at the icon size from its corner.
        m_dragImage->move(event->globalPosition().toPoint() - QPoint(m_iconSize, m_iconSize) + QPoint(2 * m_iconSize, 0));
    }
}

std::string CLeftView::CollectDroppedNames(int* files)
{
    std::string names;
    int count = 0;
    // In the order of the tree.
    for (QTreeWidgetItemIterator it(this, QTreeWidgetItemIterator::Selected); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (IsFile(item)) {
            ++count;
            names += ItemPath(item) + ";";
        } else if (KindOf(item) == KIND_FOLDER || KindOf(item) == KIND_DRIVE) {
            item->setExpanded(true);
            FillFolder(item);
            for (int i = 0; i < item->childCount(); ++i) {
                QTreeWidgetItem* c = item->child(i);
                if (IsFile(c) && GetFileKind(ItemPath(c)) > FILE_KIND_PROJECT)
                    names += ItemPath(c) + ";";
            }
        }
    }
    if (!names.empty())
        names.pop_back();
    if (files)
        *files = count;
    return names;
}

void CLeftView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_buttonDown) {
        QTreeWidget::mouseReleaseEvent(event);
        return;
    }
    m_buttonDown = false;
    const QPoint p = event->position().toPoint();
    CSmDoc* doc = GetDoc();
    if (m_expandOnRelease && m_dragRect.contains(p) && itemAt(p) == m_expandOnRelease)
        m_expandOnRelease->setExpanded(!m_expandOnRelease->isExpanded());
    m_expandOnRelease = nullptr;
    m_pressedWithFill = false;
    if (doc)
        doc->m_dropOffset = CPoint(0, 0);
    if (m_dragState > 4 && !viewport()->rect().contains(p) && doc) {
        int files = 0;
        const std::string names = CollectDroppedNames(&files);
        doc->m_droppedNames = names;
        const QPoint screen = event->globalPosition().toPoint();
        doc->m_dropOffset = CPoint(screen.x(), screen.y());
        doc->m_dropAnchor = CPoint(0, 0);
        if (!names.empty())
            doc->UpdateAllViews(nullptr, files == 1 && names.find(';') == std::string::npos ? HINT_DROP_ONE : HINT_DROP_LIST);
    } else if (m_dragState == 3 && m_clickedItem) {
        clearSelection();
        m_clickedItem->setSelected(true);
    }
    EndDragImage();
    m_dragState = 0;
    if (doc) {
        if (doc->m_thumbDragState == 5) {
            const int now = static_cast<int>(platform::Clock().TickCount());
            if (now - doc->m_thumbDragTick < 1000)
                doc->ClosePictureWindows(doc->m_droppedNames);
        }
        doc->ClearDropList();
    }
}

void CLeftView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !item || OnExpandButton(event->position().toPoint(), item)) {
        QTreeWidget::mouseDoubleClickEvent(event);
        return;
    }
    CSmDoc* doc = GetDoc();
    const int kind = KindOf(item);
    const std::string path = ItemPath(item);
    if (kind == KIND_ROOT) {
        BuildDriveLevel();
    } else if (kind == KIND_PROJECT) {
        if (m_frame.openProject && m_frame.openProject(path)) {
            if (m_frame.setPaneWidths)
                m_frame.setPaneWidths(0, 0);
            if (doc)
                doc->UpdateAllViews(this, HINT_LAYOUT);
        }
    } else if (kind == KIND_FOLDER || kind == KIND_DRIVE || item->childCount() > 0 || kind == KIND_UNUSABLE) {
        Refill(item);
        item->setExpanded(true);
    } else if (kind == KIND_IMAGE && doc) {
        doc->OpenPictureWindow(m_frame.window, path, 0, 0, -1);
    }
}

void CLeftView::scrollContentsBy(int dx, int dy)
{
    QTreeWidget::scrollContentsBy(dx, dy);
    if (dy == 0 || !(QApplication::mouseButtons() & Qt::LeftButton))
        return;
    const std::vector<QTreeWidgetItem*> sel = SelectedItems();
    if (sel.empty())
        return;
    QTreeWidgetItem* next = itemBelow(sel.front());
    if (next && IsFile(next))
        ShowEntry(next);
}

void CLeftView::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    FitColumn();
    if (m_frame.setPaneWidths)
        m_frame.setPaneWidths(0, -2);
}

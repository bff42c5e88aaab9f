// The image finder: the upper left pane. A folder tree of the home folder, "/" and the mounted
// media in which each folder, once expanded, lists its images (sorted), its project files and
// its sub-folders that hold any. Thumbnails replace the images' icons one per idle step; the
// JPEG pictures behind the next few are read ahead on a worker thread, so that a step only
// takes a finished read over and the window stays responsive. A double-click opens a project
// or a picture window; a selection of pictures or folders dragged out of the pane is handed to
// the work view as dropped names.
#pragma once

#include <QTreeWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "common/basic_types.h"
#include "document/document_base.h"

class CSmDoc;
class CThumbReadAhead;
class QLabel;

class CLeftView : public QTreeWidget, public IDocumentView {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);
    ~CLeftView() override;

    // What the finder asks of its frame.
    struct Frame {
        IFrameWindow* window = nullptr;
        // Opens a project (with the save-changes question); true when it was opened.
        std::function<bool(const std::string&)> openProject;
        std::function<void(int finder, int manager)> setPaneWidths;
        std::function<void(int iconSize)> iconSizeChanged;
    };
    void SetFrame(Frame frame) { m_frame = std::move(frame); }
    // The folder shown first at the top level (the user's home folder unless set).
    void SetHomeFolder(const std::string& folder) { m_homeFolder = folder; }

    // Item kinds.
    enum Kind : int { KIND_ROOT, KIND_DRIVE, KIND_FOLDER, KIND_IMAGE, KIND_UNUSABLE, KIND_PROJECT, KIND_DUMMY };

    const char* GetRuntimeClassName() const override { return "CLeftView"; }
    void OnUpdate(IDocumentView* sender, int hint, const HintObject& object) override;
    IFrameWindow* GetParentFrame() override { return m_frame.window; }
    CSmDoc* GetDoc() const;

    // Builds the image list once and the top level.
    void OnInitialUpdate();
    // The top level: the root "Image File Finder" with the home folder, "/" and the media.
    void BuildDriveLevel();
    // Lists a folder item's content unless it is already listed.
    void FillFolder(QTreeWidgetItem* item);
    // Empties a folder item and lists it again.
    void Refill(QTreeWidgetItem* item);
    // The path of an item: its text (without the trailing blank) below the drive's path.
    std::string ItemPath(const QTreeWidgetItem* item) const;
    static int KindOf(const QTreeWidgetItem* item);
    static int IconOf(const QTreeWidgetItem* item);
    int TagOf(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* ItemOfTag(int tag) const;
    QTreeWidgetItem* Root() const { return topLevelItemCount() ? topLevelItem(0) : nullptr; }
    // The child of `parent` with the given text (a pending image's text ends with a blank).
    static QTreeWidgetItem* Child(const QTreeWidgetItem* parent, const std::string& text);

    // One step of the thumbnail pass: 2 when a pending item was taken (its thumbnail drawn),
    // 1 while the picture of the next pending item is still being read ahead, 0 when none is
    // pending.
    int ThumbnailStep();
    // Whether the pictures of the next pending JPEG items are read ahead on a worker thread
    // (on at first); off, each step reads its picture itself.
    void SetReadAhead(bool on);
    CThumbReadAhead* ReadAhead() const { return m_readAhead.get(); }
    // 16, 32 or 64; 0 = the next size. The tree is built again at a new size.
    void SetIconSize(int size);
    int IconSize() const { return m_iconSize; }
    // The icon drawn for an item (its thumbnail once drawn).
    QImage ItemIconImage(const QTreeWidgetItem* item) const;

    // The names a drag of the present selection hands over: paths joined by ";"; `files` is
    // the count of selected file items.
    std::string CollectDroppedNames(int* files);

    int m_iconSize = 16;
    int m_initialised = 0;
    QTreeWidgetItem* m_clickedItem = nullptr;
    int m_dragState = 0;
    QRect m_dragRect;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTreeWidgetItem* NewItem(QTreeWidgetItem* parent, const std::string& text, int kind, int icon);
    void AddDummy(QTreeWidgetItem* folder);
    void SetItemIcon(QTreeWidgetItem* item, int icon);
    void DeleteChildren(QTreeWidgetItem* item);
    void Forget(QTreeWidgetItem* item);
    void OnExpanded(QTreeWidgetItem* item);
    void OnCollapsed(QTreeWidgetItem* item);
    // The column as wide as the widest shown name, at least as wide as the pane.
    void FitColumn();
    void QueueFitColumn();
    void DrawThumbnail(QTreeWidgetItem* item, int entry);
    bool TakeReadAhead(CSmDoc* doc, QTreeWidgetItem* item, const std::string& path, int walked);
    void CancelReadAhead();
    void MarkItem(QTreeWidgetItem* item, int entry);
    void ShowEntry(QTreeWidgetItem* item);
    void TidyEntries();
    bool OnExpandButton(const QPoint& pos, QTreeWidgetItem* item) const;
    bool IsFile(const QTreeWidgetItem* item) const;
    void ClearSelectionOf(int kindMask);
    std::vector<QTreeWidgetItem*> SelectedItems() const;
    bool ScreenPointInside(CPoint screen) const;
    void StartDragImage();
    void EndDragImage();

    Frame m_frame;
    std::string m_homeFolder;
    int m_nextTag = 1;
    std::map<int, QTreeWidgetItem*> m_tags;
    QTreeWidgetItem* m_expandOnRelease = nullptr;
    QTreeWidgetItem* m_lastExpanded = nullptr;
    QTreeWidgetItem* m_anchorItem = nullptr;
    int m_lastShownEntry = -1;
    int m_driveCount = 0;
    bool m_pressedWithFill = false;
    bool m_buttonDown = false;
    bool m_fitQueued = false;
    std::unique_ptr<QLabel> m_dragImage;
    bool m_readAheadOn = true;
    std::unique_ptr<CThumbReadAhead> m_readAhead;
    std::string m_dragLabel;
};

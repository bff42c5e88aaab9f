// The document side of the document/view pattern: a document with a title, a path, a modified
// flag and the save-changes question, the views attached to it (found by their run-time class
// names) and told of changes by numbered update hints, and a table of the commands it handles.
// No window code: views and frames are interfaces that the window layer implements.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CArchive;
class CDocument;

// The object sent with an update hint: a number (a finder tag, a projection family, a priority,
// the timer state) or a picture path; both empty when the hint carries nothing.
struct HintObject {
    int value = 0;
    const std::string* path = nullptr;

    static HintObject None() { return {}; }
    static HintObject Number(int v) { return {v, nullptr}; }
    static HintObject Path(const std::string* p) { return {0, p}; }
};

// A frame window as the document sees it: its title text.
class IFrameWindow {
public:
    virtual ~IFrameWindow() = default;
    virtual std::string GetWindowText() const = 0;
    virtual void SetWindowText(const std::string& text) = 0;
};

// A view of a document.
class IDocumentView {
public:
    // A view that goes detaches itself from its document.
    virtual ~IDocumentView();
    // The view's run-time class name ("CSmView", "CThumView", ...).
    virtual const char* GetRuntimeClassName() const = 0;
    // A change of the document; views ignore hints they do not know.
    virtual void OnUpdate(IDocumentView* sender, int hint, const HintObject& object) = 0;
    // The frame window the view lies in; none when the view has no window (any more).
    virtual IFrameWindow* GetParentFrame() { return nullptr; }

    CDocument* GetDocument() const { return m_pDocument; }

private:
    friend class CDocument;
    CDocument* m_pDocument = nullptr;
};

// Enable and check state of a command for menus and tool buttons.
struct CommandState {
    bool enabled = true;
    bool checked = false;
};

// Framework command ids the document base handles.
enum FrameworkCommand : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
};

class CDocument {
public:
    CDocument();
    virtual ~CDocument();
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    // ---- Views -------------------------------------------------------------------------
    // Attaches a view (not owned) / detaches it; a view belongs to one document at a time.
    void AddView(IDocumentView* view);
    void RemoveView(IDocumentView* view);
    const std::vector<IDocumentView*>& Views() const { return m_views; }
    // The first view whose run-time class name is `className`; none when there is none.
    IDocumentView* FindViewByClass(const char* className) const;
    // Tells every view except the sender.
    void UpdateAllViews(IDocumentView* sender, int hint, const HintObject& object = HintObject::None());

    // ---- Title, path, modified flag ----------------------------------------------------
    const std::string& GetTitle() const { return m_title; }
    // Sets the title and the title of every view's frame ("title - application").
    void SetTitle(const std::string& title);
    const std::string& GetPathName() const { return m_pathName; }
    // Sets the path and takes the file name as the title.
    void SetPathName(const std::string& path);
    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = true) { m_modified = modified; }

    // The application name in frame titles and the default title of a new document.
    static const std::string& ApplicationTitle();
    static const std::string& DefaultTitle();
    // Filter and extension of the document's files in the open and save dialogs.
    static const std::string& FileFilter();
    static const std::string& FileExtension();

    // ---- New, open, save ---------------------------------------------------------------
    // The save-changes question for a modified document: Yes saves (a failed or cancelled save
    // answers false), No answers true, Cancel false. An unmodified document answers true.
    bool SaveModified();
    // New document: the question, then the default title and OnNewDocument. False when the
    // user cancelled or the new document could not be made.
    bool FileNew();
    // The open dialog, then OpenDocumentFile.
    bool FileOpen();
    // The question, then OnOpenDocument; on success path and title follow the file and the
    // document is unmodified. A failed open leaves the document as it was.
    bool OpenDocumentFile(const std::string& path);
    // Save under the current path (Save As when there is none).
    bool FileSave();
    // The save dialog, then DoSave under the chosen name.
    bool FileSaveAs();
    // Saves under the path; on success path and title follow it and the document is
    // unmodified. A failed save keeps the old file and the modified flag.
    bool DoSave(const std::string& path);

    // ---- Commands ----------------------------------------------------------------------
    // Runs the handler of a command id; false when the document has none (the command goes on
    // to the frame and the application).
    bool OnCommand(int id);
    // The state of a command the document handles; none when it has no handler. A handler
    // without a state function is always enabled.
    std::optional<CommandState> GetCommandState(int id) const;
    bool HasCommand(int id) const { return m_commands.count(id) != 0; }

protected:
    // The document's own steps; the base versions do nothing and succeed.
    virtual bool OnNewDocument() { return true; }
    virtual bool OnOpenDocument(const std::string&) { return true; }
    virtual bool OnSaveDocument(const std::string&) { return true; }
    // After the title changed (and the frames' titles with it).
    virtual void OnTitleChanged() {}

    using CommandHandler = std::function<void()>;
    using StateHandler = std::function<CommandState()>;
    // Registers (or replaces) the handler of a command id and its state function.
    void AddCommand(int id, CommandHandler handler, StateHandler state = {});

private:
    void UpdateFrameTitles();

    std::vector<IDocumentView*> m_views;
    std::string m_title;
    std::string m_pathName;
    bool m_modified = false;
    struct Command {
        CommandHandler handler;
        StateHandler state;
    };
    std::map<int, Command> m_commands;
};

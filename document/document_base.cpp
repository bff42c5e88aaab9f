// The document base: views, hints, title and path, the save-changes question, new/open/save
// and the command table.
#include "document/document_base.h"

#include <algorithm>
#include <cstring>

#include "common/helpers.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"

IDocumentView::~IDocumentView()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

CDocument::CDocument()
{
    m_title = DefaultTitle();
    AddCommand(ID_FILE_NEW, [this] { FileNew(); });
    AddCommand(ID_FILE_OPEN, [this] { FileOpen(); });
    AddCommand(ID_FILE_SAVE, [this] { FileSave(); });
    AddCommand(ID_FILE_SAVE_AS, [this] { FileSaveAs(); });
}

CDocument::~CDocument()
{
    for (IDocumentView* v : m_views)
        v->m_pDocument = nullptr;
}

const std::string& CDocument::ApplicationTitle()
{
    static const std::string t = "Seamora";
    return t;
}

const std::string& CDocument::DefaultTitle()
{
    static const std::string t = "SmraPlan";
    return t;
}

const std::string& CDocument::FileFilter()
{
    static const std::string f = "Seamora(*.fit) | *.fit | All Files (*.*) | *.* ||";
    return f;
}

const std::string& CDocument::FileExtension()
{
    static const std::string e = "fit";
    return e;
}

void CDocument::AddView(IDocumentView* view)
{
    if (!view || std::find(m_views.begin(), m_views.end(), view) != m_views.end())
        return;
    if (view->m_pDocument)
        view->m_pDocument->RemoveView(view);
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(IDocumentView* view)
{
    auto it = std::find(m_views.begin(), m_views.end(), view);
    if (it == m_views.end())
        return;
    m_views.erase(it);
    view->m_pDocument = nullptr;
}

IDocumentView* CDocument::FindViewByClass(const char* className) const
{
    for (IDocumentView* v : m_views)
        if (std::strcmp(v->GetRuntimeClassName(), className) == 0)
            return v;
    return nullptr;
}

void CDocument::UpdateAllViews(IDocumentView* sender, int hint, const HintObject& object)
{
    // A view may detach itself or another while it reacts: walk a copy, skipping views gone.
    const std::vector<IDocumentView*> views = m_views;
    for (IDocumentView* v : views) {
        if (v == sender || std::find(m_views.begin(), m_views.end(), v) == m_views.end())
            continue;
        v->OnUpdate(sender, hint, object);
    }
}

void CDocument::SetTitle(const std::string& title)
{
    m_title = title;
    UpdateFrameTitles();
    OnTitleChanged();
}

void CDocument::UpdateFrameTitles()
{
    for (IDocumentView* v : m_views)
        if (IFrameWindow* f = v->GetParentFrame())
            f->SetWindowText(m_title + " - " + ApplicationTitle());
}

void CDocument::SetPathName(const std::string& path)
{
    m_pathName = path;
    std::string name;
    std::string folder;
    SplitFolderAndName(path, &folder, &name);
    SetTitle(name.empty() ? DefaultTitle() : name);
}

bool CDocument::SaveModified()
{
    if (!IsModified())
        return true;
    const std::string name = m_pathName.empty() ? m_title : m_pathName;
    switch (ShowMessage("Save changes to " + name + "?", platform::MB_YESNOCANCEL | platform::MB_ICONEXCLAMATION)) {
    case platform::IDCANCEL:
        return false;
    case platform::IDYES:
        return FileSave();
    default:
        return true;
    }
}

bool CDocument::FileNew()
{
    if (!SaveModified())
        return false;
    m_pathName.clear();
    SetTitle(DefaultTitle());
    if (!OnNewDocument())
        return false;
    SetModifiedFlag(false);
    return true;
}

bool CDocument::FileOpen()
{
    platform::FileDialogRequest request;
    request.filter = FileFilter();
    request.defaultExt = FileExtension();
    const std::optional<std::string> path = platform::FileDialog().OpenFile(request);
    if (!path)
        return false;
    return OpenDocumentFile(*path);
}

bool CDocument::OpenDocumentFile(const std::string& path)
{
    if (!SaveModified())
        return false;
    if (!OnOpenDocument(path))
        return false;
    SetPathName(path);
    SetModifiedFlag(false);
    return true;
}

bool CDocument::FileSave()
{
    if (m_pathName.empty())
        return FileSaveAs();
    return DoSave(m_pathName);
}

bool CDocument::FileSaveAs()
{
    platform::FileDialogRequest request;
    request.filter = FileFilter();
    request.defaultExt = FileExtension();
    request.initialPath = m_pathName.empty() ? m_title : m_pathName;
    const std::optional<platform::SaveFileAnswer> answer = platform::FileDialog().SaveFile(request);
    if (!answer || answer->path.empty())
        return false;
    return DoSave(answer->path);
}

bool CDocument::DoSave(const std::string& path)
{
    if (!OnSaveDocument(path))
        return false;
    SetPathName(path);
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnCommand(int id)
{
    auto it = m_commands.find(id);
    if (it == m_commands.end() || !it->second.handler)
        return false;
    // A disabled command does nothing, as a greyed menu item cannot be chosen.
    if (it->second.state && !it->second.state().enabled)
        return true;
    it->second.handler();
    return true;
}

std::optional<CommandState> CDocument::GetCommandState(int id) const
{
    auto it = m_commands.find(id);
    if (it == m_commands.end())
        return std::nullopt;
    return it->second.state ? it->second.state() : CommandState{};
}

void CDocument::AddCommand(int id, CommandHandler handler, StateHandler state)
{
    m_commands[id] = Command{std::move(handler), std::move(state)};
}

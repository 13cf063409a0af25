#include "app/document/moravel_document.h"

#include "params/file_io.h"
#include "params/user_interaction.h"

#include <algorithm>
#include <filesystem>

namespace moravel {
namespace {

std::string absolutePath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

} // namespace

bool saveNeedsFileDialog(std::string_view path)
{
    return path.empty() || path.find(TemplateFileName) != std::string_view::npos;
}

bool CMoravelSDIDoc::PrepareNew()
{
    m_pathName.clear();
    m_bParametersValid = false;
    m_modified = false;
    return true;
}

bool CMoravelSDIDoc::LoadFromFile(const std::string& path, UserInteraction& ui)
{
    const FileBytes file = readFileBytes(path);
    if (!file.ok())
        return false;
    m_bParametersValid = m_parameterSet.ReadText(file.bytes, ui);
    m_modified = false;
    return m_bParametersValid;
}

bool CMoravelSDIDoc::SaveToFile(const std::string& path)
{
    m_lastSaveError = replaceFileAtomically(path, m_parameterSet.WriteText());
    if (m_lastSaveError)
        return false;
    m_modified = false;
    return true;
}

void CMoravelSDIDoc::setPathName(const std::string& path)
{
    m_pathName = path;
    m_title = std::filesystem::path(path).filename().string();
}

CMoravelSDIDoc::OpenResult CMoravelSDIDoc::openDocument(const std::string& path, DocumentPrompts& prompts,
                                                         UserInteraction& ui)
{
    const std::string absolute = absolutePath(path);
    if (!m_pathName.empty() && absolute == m_pathName)
        return OpenResult::AlreadyOpen;
    if (!saveModified(prompts))
        return OpenResult::Cancelled;
    const bool wasModified = m_modified;
    m_modified = false;
    if (!LoadFromFile(absolute, ui)) {
        m_modified = wasModified;
        return OpenResult::Failed;
    }
    setPathName(absolute);
    initialUpdateAllViews();
    return OpenResult::Loaded;
}

bool CMoravelSDIDoc::newDocument(DocumentPrompts& prompts)
{
    if (!saveModified(prompts))
        return false;
    PrepareNew();
    m_title = UntitledTitle;
    initialUpdateAllViews();
    return true;
}

CMoravelSDIDoc::OpenResult CMoravelSDIDoc::newFromTemplate(const std::string& templatePath,
                                                            DocumentPrompts& prompts, UserInteraction& ui)
{
    newDocument(prompts);
    if (m_modified)
        return OpenResult::Cancelled;
    return openDocument(templatePath, prompts, ui);
}

// A document whose parameters are not valid is never saved: its set holds what a rejected
// file left (possibly nothing at all), and writing that would replace the user's good file.
// It is modified only when a rejected open restored the flag of the edits it overwrote, so
// there is nothing worth asking about either.
bool CMoravelSDIDoc::saveModified(DocumentPrompts& prompts)
{
    if (!m_modified || !m_bParametersValid)
        return true;
    switch (prompts.askSaveChanges(*this)) {
    case DocumentPrompts::SaveAnswer::Yes:
        return save(prompts);
    case DocumentPrompts::SaveAnswer::No:
        return true;
    case DocumentPrompts::SaveAnswer::Cancel:
        break;
    }
    return false;
}

bool CMoravelSDIDoc::save(DocumentPrompts& prompts)
{
    if (!m_bParametersValid)
        return false;
    if (m_pathName.empty() || isReadOnlyFile(m_pathName))
        return saveAs(prompts);
    return SaveToFile(m_pathName);
}

bool CMoravelSDIDoc::saveAs(DocumentPrompts& prompts)
{
    if (!m_bParametersValid)
        return false;
    std::string proposed = m_pathName;
    if (proposed.empty()) {
        proposed = m_title;
        if (!proposed.ends_with(".ncp"))
            proposed += ".ncp";
    }
    const std::optional<std::string> chosen = prompts.chooseSavePath(proposed);
    if (!chosen || chosen->empty())
        return false;
    if (!SaveToFile(*chosen))
        return false;
    setPathName(absolutePath(*chosen));
    return true;
}

bool CMoravelSDIDoc::saveParameters(DocumentPrompts& prompts)
{
    return saveNeedsFileDialog(m_pathName) ? saveAs(prompts) : save(prompts);
}

int CMoravelSDIDoc::ReadParametersFromController(ConnectionContext* ctx, UserInteraction& ui)
{
    if (ctx == nullptr)
        return 0;
    const int failed = m_parameterSet.ReadFromController(ctx, ui);
    m_bParametersValid = true;
    return failed;
}

int CMoravelSDIDoc::TransferParametersToController(ConnectionContext* ctx, UserInteraction& ui)
{
    if (ctx == nullptr)
        return 0;
    return m_parameterSet.TransferToController(ctx, ui);
}

void CMoravelSDIDoc::addView(DocumentView* view)
{
    if (view != nullptr && std::find(m_views.begin(), m_views.end(), view) == m_views.end())
        m_views.push_back(view);
}

void CMoravelSDIDoc::removeView(DocumentView* view)
{
    std::erase(m_views, view);
}

void CMoravelSDIDoc::UpdateAllViews(DocumentView* sender, int hint)
{
    const std::vector<DocumentView*> views = m_views; // a view may unregister while notified
    for (DocumentView* view : views)
        if (view != sender)
            view->onDocumentUpdate(*this, sender, hint);
}

void CMoravelSDIDoc::initialUpdateAllViews()
{
    const std::vector<DocumentView*> views = m_views;
    for (DocumentView* view : views)
        view->onInitialUpdate(*this);
}

void CMoravelSDIDoc::SetMoving(bool moving)
{
    if (moving == m_bMoving)
        return;
    m_bMoving = moving;
    UpdateAllViews(nullptr, 0);
}

} // namespace moravel

#include "app/document/moravel_document.h"

#include "builtin_template.h" // generated from app/resources/NC-Travo_USB_Param_NEW.ncp
#include "params/controller_exchange.h"
#include "params/file_io.h"
#include "params/user_interaction.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace moravel {
namespace {

std::string absolutePath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// Shows nothing: the save operations' messages when the document has no interaction.
class SilentInteraction : public UserInteraction {
public:
    void showMessage(std::string_view) override {}
};

std::string readFailureText(const std::string& path, std::error_code error)
{
    if (error == std::errc::file_too_large)
        return "Die Parameterdatei ist zu groß (höchstens 16 MiB):\n" + path;
    if (error == FileError::NotRegularFile || error == std::errc::is_a_directory)
        return "Die Parameterdatei ist keine gewöhnliche Datei:\n" + path;
    return "Die Parameterdatei kann nicht gelesen werden:\n" + path + "\n" + error.message();
}

constexpr std::string_view kNoValidParametersText =
    "Es sind keine gültigen Parameter geladen; es wird nichts gespeichert.";

} // namespace

std::string_view BuiltInTemplateText() { return kBuiltInTemplate; }

bool saveNeedsFileDialog(std::string_view path)
{
    return path.empty() || path.find(kTemplateFileName) != std::string_view::npos;
}

bool isTemplateFileName(std::string_view path)
{
    return std::filesystem::path(path).filename() == kTemplateFileName;
}

std::string untitledSavePath(const std::string& folder)
{
    const std::filesystem::path dir(folder);
    std::filesystem::path candidate;
    // A dangling link counts as taken: saving there would create its target. After so many
    // taken names the last one is proposed all the same (the dialog asks before overwriting).
    for (int n = 1; n <= 1000; ++n) {
        candidate = dir / (std::string(kUntitledTitle) + (n == 1 ? "" : "-" + std::to_string(n)) + ".ncp");
        std::error_code ignored;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, ignored)))
            break;
    }
    return candidate.string();
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
    const FileBytes file = readParameterFile(path);
    if (!file.ok()) {
        ui.showMessage(readFailureText(path, file.error));
        return false;
    }
    // The template's values under the file's: a key the file lacks shows no leftover of the
    // file read before. The reader then gives origins only to the file's own keys.
    SilentInteraction silent;
    m_parameterSet.ReadText(kBuiltInTemplate, silent);
    m_bParametersValid = m_parameterSet.ReadText(file.bytes, ui);
    m_modified = false;
    m_source = Source::File;
    return m_bParametersValid;
}

bool CMoravelSDIDoc::SaveToFile(const std::string& path, UserInteraction& ui)
{
    const std::string text = m_parameterSet.WriteText();
    if (text.empty()) {
        // A file that the reader would refuse; never write it and call it saved.
        m_lastSaveError = FileError::NothingToSave;
        ui.showMessage("Die Parameterdatei wird nicht gespeichert, sie enthielte keine Parameter:\n" + path);
        return false;
    }
    m_lastSaveError = replaceFileAtomically(path, text);
    if (m_lastSaveError) {
        ui.showMessage("Die Parameterdatei kann nicht gespeichert werden:\n" + path + "\n" + m_lastSaveError.message());
        return false;
    }
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
    m_title = kUntitledTitle;
    initialUpdateAllViews();
    return true;
}

CMoravelSDIDoc::OpenResult CMoravelSDIDoc::newFromTemplate(const std::string& templatePath, DocumentPrompts& prompts,
                                                           UserInteraction& ui)
{
    newDocument(prompts);
    if (m_modified)
        return OpenResult::Cancelled;
    std::error_code missing;
    static_cast<void>(std::filesystem::status(templatePath, missing));
    if (missing != std::errc::no_such_file_or_directory)
        return openDocument(templatePath, prompts, ui);
    // No template file anywhere: the program's own copy, with a note, so that a read from
    // the controller still has every key and comment to write.
    m_bParametersValid = m_parameterSet.ReadText(kBuiltInTemplate, ui);
    m_modified = false;
    m_source = Source::File;
    initialUpdateAllViews();
    ui.setStatusText(kBuiltInTemplateNote);
    return m_bParametersValid ? OpenResult::BuiltIn : OpenResult::Failed;
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

UserInteraction& CMoravelSDIDoc::interaction()
{
    static SilentInteraction silent;
    return m_interaction != nullptr ? *m_interaction : silent;
}

std::vector<const ParameterInfo*> CMoravelSDIDoc::missingKeys() const
{
    if (!m_bParametersValid)
        return {};
    return keysWithoutOrigin(m_parameterSet);
}

bool CMoravelSDIDoc::confirmIncompleteSave(DocumentPrompts& prompts)
{
    const std::vector<const ParameterInfo*> missing = missingKeys();
    return missing.empty() || prompts.confirmSaveIncomplete(*this, missing);
}

bool CMoravelSDIDoc::confirmTemplateWrite(DocumentPrompts& prompts, const std::string& path)
{
    return !isTemplateFileName(path) || prompts.confirmTemplateSave(path);
}

bool CMoravelSDIDoc::save(DocumentPrompts& prompts)
{
    if (!m_bParametersValid) {
        interaction().showMessage(kNoValidParametersText);
        return false;
    }
    if (m_pathName.empty() || isReadOnlyFile(m_pathName))
        return saveAs(prompts);
    if (!confirmIncompleteSave(prompts) || !confirmTemplateWrite(prompts, m_pathName))
        return false;
    return SaveToFile(m_pathName, interaction());
}

bool CMoravelSDIDoc::saveAs(DocumentPrompts& prompts)
{
    if (!m_bParametersValid) {
        interaction().showMessage(kNoValidParametersText);
        return false;
    }
    if (!confirmIncompleteSave(prompts))
        return false;
    // A document from the template (after "&Neu" or a read) or without a file gets a name of
    // its own: one Enter must not turn it into the template every later "&Neu" starts from.
    std::string proposed = m_pathName;
    if (saveNeedsFileDialog(proposed)) {
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::current_path(error);
        proposed = untitledSavePath(error ? std::string(".") : folder.string());
    }
    const std::optional<std::string> chosen = prompts.chooseSavePath(proposed);
    if (!chosen || chosen->empty())
        return false;
    if (!confirmTemplateWrite(prompts, absolutePath(*chosen)))
        return false;
    if (!SaveToFile(*chosen, interaction()))
        return false;
    setPathName(absolutePath(*chosen));
    return true;
}

bool CMoravelSDIDoc::saveParameters(DocumentPrompts& prompts)
{
    return saveNeedsFileDialog(m_pathName) ? saveAs(prompts) : save(prompts);
}

SweepOutcome CMoravelSDIDoc::ReadParametersFromController(ConnectionContext* ctx, UserInteraction& ui)
{
    if (ctx == nullptr)
        return {};
    SweepOutcome outcome = m_parameterSet.ReadFromController(ctx, ui);
    if (outcome.done > 0)
        m_bParametersValid = true;
    m_source = Source::Controller;
    return outcome;
}

SweepOutcome CMoravelSDIDoc::TransferParametersToController(ConnectionContext* ctx, UserInteraction& ui,
                                                            TransferScope scope)
{
    if (ctx == nullptr)
        return {};
    return m_parameterSet.TransferToController(ctx, ui, scope);
}

void CMoravelSDIDoc::addView(DocumentView* view)
{
    if (view != nullptr && std::find(m_views.begin(), m_views.end(), view) == m_views.end())
        m_views.push_back(view);
}

void CMoravelSDIDoc::removeView(DocumentView* view) { std::erase(m_views, view); }

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

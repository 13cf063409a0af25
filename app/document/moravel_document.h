#pragma once
// The program's one document: the parameter set, the file it came from, and its flags.
//
// CMoravelSDIDoc is plain C++ without GUI types. It holds the ParameterSet, the path name and
// title of its file, the modified flag, m_bParametersValid (which enables the parameter
// commands: the dialogs, saving, the transfer) and m_bMoving (the moving indicator of the
// status view). Besides the three file hooks it provides the window-independent part of the
// document operations the "Parameter" menu needs (new, open, save, save as); the window
// supplies the save question and the file dialog through DocumentPrompts, the tests supply
// answers. Views register as DocumentView observers.
//
// All of it runs on one thread (the GUI thread); nothing here locks.
//
// Example (what the window does for "&Öffnen..." and "&Speichern"):
//
//     CMoravelSDIDoc doc;
//     WindowPrompts prompts(window);             // implements DocumentPrompts with dialogs
//     doc.openDocument(chosenPath, prompts, ui); // save question, load, path and title
//     if (doc.m_bParametersValid)
//         doc.saveParameters(prompts);           // plain save, or save as for the template

#include "params/parameter_set.h"

#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

struct ConnectionContext; // the link library's connection record (quorlink.h)

namespace moravel {

class UserInteraction;
class CMoravelSDIDoc;

// The template parameter file. "&Neu" loads it; "&Speichern" never overwrites a path that
// contains this name.
inline constexpr std::string_view kTemplateFileName = "NC-Travo_USB_Param_NEW.ncp";

// The status text after "&Neu" found no template file and used the program's own copy.
inline constexpr std::string_view kBuiltInTemplateNote = "Vorlage nicht gefunden, eingebaute Vorlage verwendet.";

// The program's own copy of the template file, byte for byte (compiled in from
// app/resources/NC-Travo_USB_Param_NEW.ncp).
std::string_view BuiltInTemplateText();

// The title of a document without a file.
inline constexpr std::string_view kUntitledTitle = "Unbenannt";

// The name save as proposes for a document without a file of its own (no path, or the
// template's): "Unbenannt.ncp" in folder, or "Unbenannt-2.ncp", "Unbenannt-3.ncp", ... when
// that is taken. Never the template's name.
std::string untitledSavePath(const std::string& folder);

// True when path names the template file itself (its file name is kTemplateFileName): saving
// there changes what every later "&Neu" and read from the controller start from.
bool isTemplateFileName(std::string_view path);

// The rule of "&Speichern": true when the document must be saved through the file dialog
// (save as), that is when path is empty or contains kTemplateFileName (case-sensitive, the
// whole path).
bool saveNeedsFileDialog(std::string_view path);

// A view of the document. The document notifies every registered view.
class DocumentView {
public:
    virtual ~DocumentView() = default;
    // After a new document or a file was loaded. By default the same as an update.
    virtual void onInitialUpdate(CMoravelSDIDoc& doc) { onDocumentUpdate(doc, nullptr, 0); }
    // From UpdateAllViews; sender is the view that caused it (or null), hint its number.
    virtual void onDocumentUpdate(CMoravelSDIDoc& doc, DocumentView* sender, int hint) = 0;
};

// What the window asks the user on behalf of the document operations.
class DocumentPrompts {
public:
    enum class SaveAnswer { Yes, No, Cancel };
    virtual ~DocumentPrompts() = default;
    // Whether to save the modified document before it is replaced (yes, no, cancel).
    virtual SaveAnswer askSaveChanges(const CMoravelSDIDoc& doc) = 0;
    // The file-save dialog, proposing a path; it asks itself before an existing file is
    // overwritten. Returns the chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> chooseSavePath(const std::string& proposed) = 0;
    // Before a save of a document that lacks values (CMoravelSDIDoc::missingKeys, given as
    // missing): true to save all the same. Without a user to ask, it goes on.
    virtual bool confirmSaveIncomplete(const CMoravelSDIDoc& doc, const std::vector<const ParameterInfo*>& missing)
    {
        (void)doc;
        (void)missing;
        return true;
    }
    // Before a save that would write the template file (isTemplateFileName): true to write it.
    virtual bool confirmTemplateSave(const std::string& path)
    {
        (void)path;
        return true;
    }
};

class CMoravelSDIDoc {
public:
    CMoravelSDIDoc() = default;
    virtual ~CMoravelSDIDoc() = default;
    CMoravelSDIDoc(const CMoravelSDIDoc&) = delete;
    CMoravelSDIDoc& operator=(const CMoravelSDIDoc&) = delete;

    // The members of the document, in this order.
    bool m_bMoving = false;          // the controller is believed to be moving
    bool m_bParametersValid = false; // the set holds usable values (from a file or the controller)
    ParameterSet m_parameterSet;     // no defaults until the first load

    // ---- File hooks.

    // Renews the document: path name empty, m_bParametersValid and the modified flag
    // cleared. The parameter set keeps its values and comments. Always true.
    bool PrepareNew();

    // Reads the whole file (readParameterFile: a regular file of at most 16 MiB) and hands it
    // to ParameterSet::ReadText (whose messages go to ui); its verdict becomes
    // m_bParametersValid, and the modified flag is cleared. The set takes the built-in
    // template's values first, so that a key the file lacks holds the template's value (with
    // no origin), never the previous file's. A file that cannot be read
    // changes nothing and returns false after a message that names it and the reason.
    // Returns m_bParametersValid.
    bool LoadFromFile(const std::string& path, UserInteraction& ui);

    // Writes ParameterSet::WriteText to path, replacing the file atomically (see
    // replaceFileAtomically). An empty text (a set without lines) is not written. On failure
    // ui shows a message naming the file and the reason, the old file is untouched, the
    // modified flag stays and false is returned (lastSaveError() tells why). On success the
    // modified flag is cleared.
    bool SaveToFile(const std::string& path, UserInteraction& ui);
    std::error_code lastSaveError() const { return m_lastSaveError; }

    // Where save, saveAs, saveParameters and saveModified show their messages (a failed or
    // refused save); the window sets its own. Without one they are not shown.
    void setInteraction(UserInteraction* ui) { m_interaction = ui; }

    // ---- Document state.

    const std::string& pathName() const { return m_pathName; }
    // Sets the path name and makes its file name the title.
    void setPathName(const std::string& path);
    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }
    bool isModified() const { return m_modified; }
    void setModified(bool modified = true) { m_modified = modified; }

    // Where the set as a whole came from: the last file loaded or the last read.
    enum class Source { None, File, Controller };
    Source source() const { return m_source; }
    // The exchanged keys whose value came neither from the controller nor from a file nor
    // from a dialog (keysWithoutOrigin), in list order: what a read that did not get every
    // key, or a file that lacks keys, left. Empty while m_bParametersValid is clear.
    std::vector<const ParameterInfo*> missingKeys() const;
    bool isIncomplete() const { return !missingKeys().empty(); }

    // ---- Document operations of the "Parameter" menu.

    enum class OpenResult {
        Loaded,      // the file was read and accepted; path name and title are the file's
        BuiltIn,     // no template file: the built-in template was loaded (no path, untitled)
        AlreadyOpen, // the path is the current document's; nothing was read
        Cancelled,   // the user cancelled the save question, or that save failed
        Failed,      // not readable or rejected by the reader; path and modified flag as before
    };

    // The open-document operation: makes path absolute; does nothing for the current
    // document's path; asks whether to save a modified document; loads the file with the
    // modified flag noted, cleared and, on failure, restored; on success sets the path name
    // (and title) and gives the views their initial update.
    OpenResult openDocument(const std::string& path, DocumentPrompts& prompts, UserInteraction& ui);

    // The new-document step of "&Neu": the save question for a modified document, then
    // PrepareNew, the untitled title and the views' initial update. False when cancelled
    // (the document is then unchanged).
    bool newDocument(DocumentPrompts& prompts);

    // "&Neu" as a whole: newDocument, then, unless that was cancelled, openDocument of the
    // template file at templatePath. When there is no file at templatePath, the built-in
    // template is loaded instead (BuiltIn): the document has valid parameters but no path,
    // and the status text says so (kBuiltInTemplateNote).
    OpenResult newFromTemplate(const std::string& templatePath, DocumentPrompts& prompts, UserInteraction& ui);

    // The save question before the document is replaced or the program ends: true to go on
    // (not modified, saved, or "no"), false for cancel or a failed save. Not asked while
    // m_bParametersValid is clear (see save).
    bool saveModified(DocumentPrompts& prompts);

    // The plain save (also Ctrl+S): save as when there is no path or the file is read-only,
    // otherwise SaveToFile on the path name. Refused with a message (false) while
    // m_bParametersValid is clear: after a rejected file the set holds only what the reader
    // left, and saving it would overwrite a good file with it. The same holds for saveAs and
    // saveParameters.
    bool save(DocumentPrompts& prompts);

    // Save and save as ask first (DocumentPrompts::confirmSaveIncomplete) when the document
    // isIncomplete(), and before they write the template file (confirmTemplateSave).

    // Save as: asks for a path (proposing the path name, or untitledSavePath in the current
    // folder when there is none or it is the template's); on a successful SaveToFile the
    // chosen path becomes the path name and title.
    bool saveAs(DocumentPrompts& prompts);

    // "&Speichern": save as when saveNeedsFileDialog(pathName()), else the plain save.
    bool saveParameters(DocumentPrompts& prompts);

    // ---- Parameter exchange with the controller (the set's sweeps, see parameter_set.h).

    // Nothing for a null ctx. Otherwise ParameterSet::ReadFromController on ctx; then
    // m_bParametersValid is set when at least one key was read (a read that got nothing, for
    // instance from a device that vanished, leaves the flag as it was); the modified flag
    // stays; the source is the controller. Returns how the sweep ended.
    SweepOutcome ReadParametersFromController(ConnectionContext* ctx, UserInteraction& ui);
    // Nothing for a null ctx. Otherwise ParameterSet::TransferToController on ctx; the
    // document's state stays as it is. Returns how the sweep ended.
    SweepOutcome TransferParametersToController(ConnectionContext* ctx, UserInteraction& ui,
                                                TransferScope scope = TransferScope::AllKeys);

    // ---- Views and the moving indicator.

    void addView(DocumentView* view);
    void removeView(DocumentView* view);
    // Notifies every registered view but sender.
    void UpdateAllViews(DocumentView* sender = nullptr, int hint = 0);
    // Gives every registered view its initial update.
    void initialUpdateAllViews();

    // Stores the moving indicator; notifies the views (no sender, hint 0) only when it changed.
    void SetMoving(bool moving);

private:
    UserInteraction& interaction();
    // The questions of a save: the one about missing keys, the one before path, the
    // template, is written. True to go on.
    bool confirmIncompleteSave(DocumentPrompts& prompts);
    bool confirmTemplateWrite(DocumentPrompts& prompts, const std::string& path);

    std::string m_pathName;
    std::string m_title{kUntitledTitle};
    bool m_modified = false;
    Source m_source = Source::None;
    std::error_code m_lastSaveError;
    UserInteraction* m_interaction = nullptr;
    std::vector<DocumentView*> m_views;
};

} // namespace moravel

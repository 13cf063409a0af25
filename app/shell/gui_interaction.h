#pragma once
// The window's UserInteraction and DocumentPrompts: real message boxes and file dialogs.
//
// GuiInteraction lives on the GUI thread but may be called from the worker thread that runs a
// controller operation. showMessage and confirm are handed to the GUI thread and wait there
// until the user has closed the box, so the messages of a sweep appear one by one, in order.
// Status texts, the busy indicator and progress are posted to the GUI thread as signals and
// return at once; they arrive in the order they were sent, before any later message box.
// Once the window is going away (shutDown), a worker gets every answer at once, without a box,
// so that the GUI thread can wait for it.

#include "app/document/moravel_document.h"
#include "params/user_interaction.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

namespace moravel {

// The title of every message box of the program.
inline constexpr const char* kApplicationTitle = "MoravelSDI";

class GuiInteraction : public QObject, public UserInteraction {
    Q_OBJECT
public:
    explicit GuiInteraction(QObject* parent = nullptr);
    ~GuiInteraction() override;

    // The window the boxes belong to (none before the window exists).
    void setWindow(QWidget* window) { m_window = window; }
    QWidget* window() const { return m_window; }

    // From now on the worker's boxes are answered as if closed with "Abbrechen" (showMessage
    // returns, confirm says no) without being shown; a worker waiting for one gets its answer
    // now. Boxes asked for on the GUI thread are not affected. GUI thread only.
    void shutDown();

    void showMessage(std::string_view text) override;
    // A box with OK and Abbrechen; true for OK.
    bool confirm(std::string_view text) override;
    // The failed step's message with OK and a second button "Abbrechen"; false only when
    // "Abbrechen" was clicked (OK, Escape and closing the box go on).
    bool showStepFailure(std::string_view text) override;
    void setStatusText(std::string_view text) override;
    void setBusy(bool busy) override;
    void reportProgress(std::int64_t done, std::int64_t total) override;

signals:
    void statusTextChanged(const QString& text);
    void busyChanged(bool busy);
    void progressChanged(qint64 done, qint64 total);

private:
    struct Answers;
    enum class BoxKind { Message, Confirm, StepFailure };

    bool showBox(const QString& text, BoxKind kind);
    bool runOnGuiThread(const QString& text, BoxKind kind);
    void changeBusy(bool busy);

    QPointer<QWidget> m_window;
    int m_busyDepth = 0; // GUI thread only
    // Shared with the box requests in flight, which may outlive this object.
    std::shared_ptr<Answers> m_answers;
};

// The save question and the save-as dialog of the document operations.
//
// A path can be protected (a template shared by every user of the machine): the save-as
// dialog then proposes its file name in the current folder instead and refuses to write it,
// and "Ja" at the save question of a document with that path goes through the save-as
// dialog instead of writing it.
class WindowPrompts : public DocumentPrompts {
public:
    explicit WindowPrompts(QWidget* window) : m_window(window) {}
    SaveAnswer askSaveChanges(const CMoravelSDIDoc& doc) override;
    std::optional<std::string> chooseSavePath(const std::string& proposed) override;
    // "Speichern" / "Abbrechen", "Abbrechen" the default; the box names the keys.
    bool confirmSaveIncomplete(const CMoravelSDIDoc& doc, const std::vector<const ParameterInfo*>& missing) override;
    // "Vorlage überschreiben" / "Abbrechen", "Abbrechen" the default.
    bool confirmTemplateSave(const std::string& path) override;

    // doc: the document whose save question may save it as; path: absolute, or empty for none.
    void protectPath(CMoravelSDIDoc* doc, std::string path);
    bool isProtected(const std::string& path) const { return !m_protected.empty() && path == m_protected; }

private:
    QPointer<QWidget> m_window;
    CMoravelSDIDoc* m_doc = nullptr;
    std::string m_protected;
};

// The text shown when a protected path was chosen in the save-as dialog.
inline constexpr const char* kProtectedPathText = "Die gemeinsame Vorlage wird nicht überschrieben:\n%1\n"
                                                 "Bitte unter einem anderen Namen speichern.";

// Keys of the exchange list as a message box names them, one a line:
// "LBYTE_MECHANIK_AUFLOESUNG_Y_FLOAT (0x0401)".
QString parameterListText(const std::vector<const ParameterInfo*>& keys);

// A question with a button that goes on (goOn, object name goOnName) and "Abbrechen", which
// is the default and the answer to Escape. True when goOn was clicked.
bool askBeforeGoingOn(QWidget* window, const QString& text, const QString& goOn, const QString& goOnName);

// The filters of the file dialogs.
inline constexpr const char* kParameterFilesFilter = "Moravel Parameter Files (*.ncp)";
inline constexpr const char* kFirmwareFilesFilter = "Firmware files (*.crx)";
inline constexpr const char* kAllFilesFilter = "Alle Dateien (*)";
// An open dialog's filter list: files of one kind (one of the filters above), then all files.
QString openFileFilter(const char* kind);

// A path from a file dialog as the document's file functions take it (local 8-bit encoding).
std::string localPath(const QString& path);
QString displayPath(const std::string& path);

inline QString toQString(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace moravel

#pragma once
// The main window: menu, toolbar, status bar and the splitter with the two views.
//
// CMainFrame routes every command to the layer that carries it out: the document operations to
// CMoravelSDIDoc (with the window's save question and file dialogs), the controller commands to
// CMoravelSDIApp, the parameter dialogs to runParameterDialog. One table in main_frame.cpp
// gives each command its texts, its places in the menus and on the toolbar, when it is
// available and what it runs. Controller commands run on the OperationRunner's worker thread;
// while one is queued or running, every command that uses the connection or the document is
// disabled, the status bar shows a progress bar and the cursor is the wait cursor. The
// emergency-stop buttons stay usable: a stop pressed during another operation runs straight
// after it instead of being lost. The status bar's last pane shows the link: not connected, or
// the port, its device and the controller's name.

// moc cannot parse the C++20 headers this one pulls in; it needs none of its declarations.
#ifndef Q_MOC_RUN
#include "app/controller/commissioning.h"
#endif
#include "app/controller/moravel_app.h"
#include "app/dialogs/dialog_rules.h"
#include "app/document/moravel_document.h"
#include "app/shell/gui_interaction.h"
#include "app/shell/operation_runner.h"
#include "app/shell/status_panes.h"
#include "app/shell/update_assistant.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QShortcut;
class QSplitter;
class QToolBar;

namespace moravel {

class AxisControl;
class CMoravelControlView;
class CMoravelStatusView;
class CommissioningAssistant;
class LockIndicators;

// The keys of the two emergency stops, NotHalt (with braking ramp) and NotStop (without), from
// anywhere in the main window. They meet at the gap between the F5-F8 and F9-F12 groups, so
// they are found without looking, in the order of the buttons; no menu, dialog or Qt widget
// uses them.
inline constexpr Qt::Key kNotHaltKey = Qt::Key_F8;
inline constexpr Qt::Key kNotStopKey = Qt::Key_F9;

// The window's commands, in menu order; action(c)'s object name is "command<number of c>".
enum class Command {
    Exit,
    ToolBar,
    StatusBar,
    OpenConnection,
    CloseConnection,
    ComPortSettings,
    FirmwareUpload,
    FirmwareUpdate,
    ParameterNew,
    ParameterOpen,
    ParameterRead,
    ParameterTransfer,
    ParameterCompare,
    ParameterRestore,
    ParameterSave,
    ParameterSaveAs,
    Geschwindigkeiten,
    Schnittstelle,
    Mechanik,
    Motortest,
    Referenzfahrt,
    Sonstige,
    Commissioning,
    About,
};
inline constexpr std::size_t kCommandCount = static_cast<std::size_t>(Command::About) + 1;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CMoravelSDIApp& app, CMoravelSDIDoc& doc, GuiInteraction& ui, QWidget* parent = nullptr);
    ~CMainFrame() override;

    QAction* action(Command command) const { return m_actions[static_cast<std::size_t>(command)]; }
    QToolBar* toolBar() const { return m_toolBar; }
    QSplitter* splitter() const { return m_splitter; }
    CMoravelStatusView* statusView() const { return m_statusView; }
    CMoravelControlView* controlView() const { return m_controlView; }
    // The status bar's message pane: it gets the width its text needs before the panes to its
    // right get any (they elide their texts first).
    ElidedLabel* messagePane() const { return m_messagePane; }
    QProgressBar* progressBar() const { return m_progress; }
    // The pane right of the message pane, shown while the document lacks values
    // (CMoravelSDIDoc::missingKeys): "18 von 38 Parametern vom Controller gelesen", the keys
    // without a value in its tooltip. It stays while the document does, whatever the message
    // pane shows meanwhile.
    ElidedLabel* documentNote() const { return m_documentNote; }
    // The status bar pane after the lock indicators: "Nicht verbunden", or "Verbunden: COM3
    // (/dev/ttyACM0) – NC-Travo USB" (the device and the name only where known).
    ElidedLabel* linkPane() const { return m_linkPane; }
    // The update or restore assistant last opened (null once closed).
    UpdateAssistant* assistant() const { return m_assistant; }
    // The commissioning assistant ("Maschine einrichten ..."), null once closed.
    CommissioningAssistant* commissioningAssistant() const;
    // The moves of single axes and the position queries of the jog panels.
    AxisControl& axisControl() const { return *m_axes; }
    QShortcut* saveShortcut() const { return m_saveShortcut; }
    QShortcut* notHaltShortcut() const { return m_notHaltShortcut; }
    QShortcut* notStopShortcut() const { return m_notStopShortcut; }

    // True while a controller operation is queued or running.
    bool isBusy() const { return m_runner.busy(); }

    // Writes the status bar's message pane and repaints it at once.
    void SetStatusText(const QString& text);

    // The enabling rules of every command, applied to the actions and buttons.
    void updateCommands();
    // "<document title> - MoravelSDI", with the modified marker; "<title> (unvollständig)"
    // while the document lacks values.
    void updateTitle();

    // The open-document operation for path.
    CMoravelSDIDoc::OpenResult openDocument(const QString& path);

    // F6 / Shift+F6: the focus to the next or previous pane of the splitter.
    void focusNextPane(bool forward);

signals:
    // A controller operation was queued or the last one has finished.
    void busyChanged(bool busy);

protected:
    void closeEvent(QCloseEvent* event) override;
    // The status bar's panes shared out on each of its resizes; the assistant moved off the
    // stops when it grows or the window moves under it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // They run their moves, queries and transfers as the window's operations.
    friend class AxisControl;
    friend class CommissioningAssistant;

    enum class Progress { None, Keys, Bytes };
    // When a command can be used; see availableNow.
    enum class Availability { Always, Idle, Disconnected, Connected, ParametersValid };
    struct CommandRow;

    // The window's commands, one row each, in Command order.
    static std::span<const CommandRow> commandTable();
    // Whether a command with this rule may run now. Only Always holds while an operation is
    // queued or running: the document and the connection belong to it then.
    bool availableNow(Availability rule) const;
    // Runs handler if rule holds now. The menu and toolbar commands, Ctrl+S and the jog buttons
    // come in here; the stop buttons and their keys, usable at any time, do not.
    void dispatch(Availability rule, const std::function<void()>& handler);

    // ---- Command handlers, reached through dispatch only.
    void OnAppExit();
    void OnParameterNew();
    void OnParameterOpen();
    void OnParameterSave();
    void OnParameterSaveAs();
    void OnFileSave(); // Ctrl+S: the plain save
    void OnParameterRead();
    void OnParameterTransfer();
    void OnParameterCompare();
    void OnFirmwareUpload();
    void OnFirmwareUpdate();
    void OnParameterRestore();
    void OnOpenConnection();
    void OnCloseConnection();
    void OnComPortSettings();
    void OnAppAbout();
    void OnParameterDialog(DialogId which);
    void OnCommissioning();
    void OnJog(std::int32_t stepsX);
    void OnNotHalt();
    void OnNotStop();
    // A stop (name as the status bar calls it, send the application's call), queued behind the
    // running operation if there is one.
    void runStop(const QString& name, std::function<bool()> send);

    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createViews();
    void createShortcuts();

    // Queues job on the worker; finished runs on the GUI thread afterwards.
    void runOperation(Progress progress, std::function<void()> job, std::function<void()> finished = {});
    void onBusyChanged(bool busy);
    void showProgress(qint64 done, qint64 total);
    // The link pane from the link state an operation left (GUI thread, no operation running).
    void updateLinkPane();
    void documentChanged();
    void rememberFile(const std::string& path);
    // "&Neu" (also the first step of the read): the save question, the template, and the
    // template protected from saving when it is not the current folder's. Cancelled when
    // the user cancelled the save question or the save failed.
    CMoravelSDIDoc::OpenResult renewFromTemplate();
    // Before a transfer: the question naming the keys whose values came from nowhere
    // (keysWithoutOrigin); true to send, also when there are none.
    bool confirmKeysWithoutOrigin(const ParameterSet& set);
    // Before a backup is written back: the question naming the file, the controller it was
    // saved from and the one it goes to ("Zurückschreiben" / "Abbrechen"); true to send.
    bool confirmRestore(const QString& path, const CMoravelSDIDoc& backup);
    QString controllerDescription() const;
    // The firmware file dialog and the file read whole; null when cancelled or unreadable.
    std::shared_ptr<const std::vector<std::uint8_t>> chooseFirmware(QString& path);
    // The assistant of an update or a restore, shown beside the window.
    UpdateAssistant* openAssistant(bool update, const QString& file);
    // Puts the assistant where it covers none of the stop buttons: beside the window where the
    // screen has room, else over another part of it (made smaller if it must).
    void placeAssistant();
    // The document note's text and tooltip from the document.
    void updateDocumentNote();
    void fitStatusPanes();
    // Worker thread: opens the connection unless it is open and its device there; a failed
    // open's message names what stands behind the ports it tried (explainFailedOpenInWindow).
    // The link pane says "Verbindung wird aufgebaut ..." meanwhile, then how it went.
    bool openConnection();
    // GUI thread, on a timer: a connection whose device has gone while no operation runs is
    // closed, and the link pane says "Nicht verbunden (Gerät entfernt)".
    void watchLink();
    static constexpr int kLinkWatchMs = 500;

    CMoravelSDIApp& m_app;
    CMoravelSDIDoc& m_doc;
    GuiInteraction& m_ui;
    WindowPrompts m_prompts;
    OperationRunner m_runner;

    std::array<QAction*, kCommandCount> m_actions{};
    QToolBar* m_toolBar = nullptr;
    QSplitter* m_splitter = nullptr;
    CMoravelStatusView* m_statusView = nullptr;
    CMoravelControlView* m_controlView = nullptr;
    ElidedLabel* m_messagePane = nullptr;
    ElidedLabel* m_documentNote = nullptr;
    QProgressBar* m_progress = nullptr;
    LockIndicators* m_locks = nullptr;
    ElidedLabel* m_linkPane = nullptr;
    QPointer<UpdateAssistant> m_assistant;
    QPointer<CommissioningAssistant> m_commissioning;
    AxisControl* m_axes = nullptr;
    // The connection the link pane describes: its descriptor and device (-1 and empty when
    // not connected). The pane is written afresh only when these change, because the "Com Port
    // Settings" dialog rewrites the context's port and controller name while connected.
    int m_shownHandle = -2;
    std::string m_shownDevice;
    QShortcut* m_saveShortcut = nullptr;
    QShortcut* m_notHaltShortcut = nullptr;
    QShortcut* m_notStopShortcut = nullptr;
    Progress m_progressKind = Progress::None;
    bool m_closePending = false;
    // The stop pressed last (button or key), for a move that a job watches to its end: it
    // sends that stop itself at once instead of waiting for its turn. GUI thread writes.
    std::atomic<StopKind> m_stopPressed{StopKind::Halt};
    std::atomic<bool> m_stopPending{false};
    bool m_recentFilesFailureShown = false;
};

} // namespace moravel

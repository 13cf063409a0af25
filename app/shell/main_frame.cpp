#include "app/shell/main_frame.h"

#include "app/controller/firmware_update.h"
#include "app/controller/port_diagnosis.h"
#include "app/controller/settings_file.h"
#include "app/controller/template_file.h"
#include "app/dialogs/parameter_dialog.h"
#include "app/shell/axis_control.h"
#include "app/shell/commissioning_assistant.h"
#include "app/shell/com_port_dialog.h"
#include "app/shell/compare_dialog.h"
#include "app/shell/info_dialog.h"
#include "app/shell/lock_indicators.h"
#include "app/shell/recent_files.h"
#include "app/shell/update_assistant.h"
#include "app/shell/views.h"
#include "params/controller_exchange.h"
#include "params/cp1252.h"
#include "params/platform_line.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <ranges>
#include <vector>

namespace moravel {

// The menus of the menu bar, in their order. Not in an anonymous namespace: CommandRow, a
// member type of the window, holds one.
enum class Menu : std::uint8_t { Datei, Ansicht, ComPort, Firmware, Parameter, Hilfe };

namespace {
constexpr const char* kMenuTitles[] = {"&Datei", "&Ansicht", "COM port", "Firmware", "Parameter", "&?"};

// Passes everything on to the window's interaction, but puts below the one message a failed
// open shows what stands behind the ports it tried (in the window's words, not moravel-cli's);
// beforeMessage runs first.
class OpenFailureExplainer : public UserInteraction {
public:
    OpenFailureExplainer(UserInteraction& ui, std::vector<int> ports, std::function<void()> beforeMessage)
        : m_ui(ui), m_ports(std::move(ports)), m_beforeMessage(std::move(beforeMessage))
    {
    }

    void showMessage(std::string_view text) override
    {
        m_beforeMessage();
        std::string message(text);
        if (!m_ports.empty()) {
            message += "\n";
            for (const std::string& line : explainFailedOpenInWindow(m_ports))
                message += "\n" + line;
        }
        m_ui.showMessage(message);
    }
    bool confirm(std::string_view text) override { return m_ui.confirm(text); }
    bool showStepFailure(std::string_view text) override { return m_ui.showStepFailure(text); }
    bool stopRequested() const override { return m_ui.stopRequested(); }
    void setStatusText(std::string_view text) override { m_ui.setStatusText(text); }
    void setBusy(bool busy) override { m_ui.setBusy(busy); }
    void reportProgress(std::int64_t done, std::int64_t total) override { m_ui.reportProgress(done, total); }

private:
    UserInteraction& m_ui;
    std::vector<int> m_ports;
    std::function<void()> m_beforeMessage;
};

// The device an open descriptor stands for, as the kernel names it (links such as a
// /dev/serial/by-id name resolved); empty when it cannot be seen.
std::string deviceOf(int descriptor) { return platform::deviceOfHandle(descriptor); }

// The link pane's text for an open connection: the port, its device and the controller's
// name without its trailing blanks; the parts not known are left out.
QString connectedText(const ConnectionContext& context, const std::string& device)
{
    QString text = QStringLiteral("Verbunden: ") +
                   QString::fromLatin1(context.portName,
                                       static_cast<qsizetype>(::strnlen(context.portName, sizeof context.portName)));
    if (!device.empty())
        text += QStringLiteral(" (%1)").arg(displayPath(device));
    std::string name(context.controllerName, ::strnlen(context.controllerName, sizeof context.controllerName - 1));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (!name.empty())
        text += QStringLiteral(" – ") + toQString(cp1252ToUtf8(name));
    return text;
}

} // namespace

struct CMainFrame::CommandRow {
    Command command;
    const char* text;   // menu text
    const char* prompt; // status-bar prompt and tooltip, separated by a line break
    Menu menu;
    bool separatorBefore = false; // in the menu
    Availability availability = Availability::Always;
    void (CMainFrame::*handler)() = nullptr;       // none and no dialog: a view toggle, wired to its bar
    std::optional<DialogId> dialog = std::nullopt; // the parameter dialog the command opens
    const char* toolBarIcon = nullptr;             // on the toolbar too, with this image
    bool toolBarSeparatorBefore = false;
    QAction::MenuRole role = QAction::TextHeuristicRole;
    bool checkable = false;
};

std::span<const CMainFrame::CommandRow> CMainFrame::commandTable()
{
    using enum Availability;
    static constexpr CommandRow rows[] = {
        {.command = Command::Exit,
         .text = "&Beenden",
         .prompt = "Verläßt die Anwendung; fragt, ob Dokumente gespeichert werden sollen.\nBeenden",
         .menu = Menu::Datei,
         .handler = &CMainFrame::OnAppExit,
         .role = QAction::QuitRole},
        {.command = Command::ToolBar,
         .text = "&Symbolleiste",
         .prompt = "Blendet die Symbolleiste ein oder aus.\nSymbolleiste ein-/ausschalten",
         .menu = Menu::Ansicht,
         .checkable = true},
        {.command = Command::StatusBar,
         .text = "S&tatusleiste",
         .prompt = "Blendet die Statusleiste ein oder aus.\nStatusleiste ein-/ausschalten",
         .menu = Menu::Ansicht,
         .checkable = true},
        {.command = Command::OpenConnection,
         .text = "Verindung &öffnen",
         .prompt = "Öffnet die Verbindung mit dem definierten COM port.\nVerbindung öffnen",
         .menu = Menu::ComPort,
         .availability = Disconnected,
         .handler = &CMainFrame::OnOpenConnection},
        {.command = Command::CloseConnection,
         .text = "Verbindung &schließen",
         .prompt = "Schließt die Verbindung mit dem definierten COM port.\nVerbindung schließen",
         .menu = Menu::ComPort,
         .availability = Connected,
         .handler = &CMainFrame::OnCloseConnection},
        {.command = Command::ComPortSettings,
         .text = "COM port &Eigenschaften ...",
         .prompt = "Öffnet Dialog \"COM port Eigenschaften\".\nDialog \"COM port Eigenschaften\" Öffnen",
         .menu = Menu::ComPort,
         .separatorBefore = true,
         .availability = Idle,
         .handler = &CMainFrame::OnComPortSettings},
        {.command = Command::FirmwareUpload,
         .text = "Hochladen ",
         .prompt = "Öffnet eine Firmwaredatei und lädt sie in den Controller\nFirmware hochladen",
         .menu = Menu::Firmware,
         .availability = Idle,
         .handler = &CMainFrame::OnFirmwareUpload},
        {.command = Command::FirmwareUpdate,
         .text = "Aktualisieren (Einstellungen behalten) ...",
         .prompt = "Sichert die Parameter des Controllers, lädt eine Firmwaredatei hoch und schreibt die Parameter "
                   "zurück\nFirmware aktualisieren, Parameter behalten",
         .menu = Menu::Firmware,
         .availability = Idle,
         .handler = &CMainFrame::OnFirmwareUpdate},
        {.command = Command::ParameterNew,
         .text = "&Neu",
         .prompt = "Öffnet eine neue Parameterdatei.\nNeue Parameterdatei Öffnen ",
         .menu = Menu::Parameter,
         .availability = Idle,
         .handler = &CMainFrame::OnParameterNew,
         .toolBarIcon = "document-new"},
        {.command = Command::ParameterOpen,
         .text = "&Öffnen...",
         .prompt = "Öffnet eine bestehende Parameterdatei.\nParameterdatei Öffnen ",
         .menu = Menu::Parameter,
         .availability = Idle,
         .handler = &CMainFrame::OnParameterOpen,
         .toolBarIcon = "document-open"},
        {.command = Command::ParameterRead,
         .text = "Vom Controller &Lesen",
         .prompt = "Parameter werden vom Controller gelesen.\nParameter vom Controller Lesen",
         .menu = Menu::Parameter,
         .availability = Idle,
         .handler = &CMainFrame::OnParameterRead},
        {.command = Command::ParameterTransfer,
         .text = "Zum Controller &Übertragen",
         .prompt = "Aktuelle Parameter werden zum Controller übertragen.\nParameter zum Controller Übertragen",
         .menu = Menu::Parameter,
         .separatorBefore = true,
         .availability = ParametersValid,
         .handler = &CMainFrame::OnParameterTransfer},
        {.command = Command::ParameterCompare,
         .text = "Mit Controller &vergleichen...",
         .prompt =
             "Vergleicht die aktuellen Parameter mit denen des Controllers.\nParameter mit Controller vergleichen",
         .menu = Menu::Parameter,
         .availability = ParametersValid,
         .handler = &CMainFrame::OnParameterCompare},
        {.command = Command::ParameterRestore,
         .text = "Sicherung &zurückschreiben ...",
         .prompt = "Überträgt eine Sicherung zum Controller und prüft sie durch Zurücklesen.\nSicherung "
                   "zurückschreiben",
         .menu = Menu::Parameter,
         .availability = Idle,
         .handler = &CMainFrame::OnParameterRestore},
        {.command = Command::ParameterSave,
         .text = "&Speichern",
         .prompt = "Speichert aktuelle Parameter in der aktiven Parameterdatei.\nParameter Speichern",
         .menu = Menu::Parameter,
         .availability = ParametersValid,
         .handler = &CMainFrame::OnParameterSave,
         .toolBarIcon = "document-save"},
        {.command = Command::ParameterSaveAs,
         .text = "Speichern &unter ...",
         .prompt = "Speichert aktive Parameter unter neuem Namen.\nParameter Speichern unter",
         .menu = Menu::Parameter,
         .availability = ParametersValid,
         .handler = &CMainFrame::OnParameterSaveAs},
        {.command = Command::Geschwindigkeiten,
         .text = "&Geschwindigkeiten...",
         .prompt = "Öffnet Dialog \"Geschwindigkeiten\".\nDialog \"Geschwindigkeiten\" Öffnen",
         .menu = Menu::Parameter,
         .separatorBefore = true,
         .availability = ParametersValid,
         .dialog = DialogId::Geschwindigkeiten},
        {.command = Command::Schnittstelle,
         .text = "S&chnittstelle...",
         .prompt = "Öffnet Dialog \"Schnittstelle\".\nDialog \"Schnittstelle\" Öffnen",
         .menu = Menu::Parameter,
         .availability = ParametersValid,
         .dialog = DialogId::Schnittstelle},
        {.command = Command::Mechanik,
         .text = "&Mechanik...",
         .prompt = "Öffnet Dialog \"Mechanik\".\nDialog \"Mechanik\" Öffnen",
         .menu = Menu::Parameter,
         .availability = ParametersValid,
         .dialog = DialogId::Mechanik},
        {.command = Command::Motortest,
         .text = "Motor&test...",
         .prompt = "Öffnet Dialog \"Motortest\".\nDialog \"Motortest\" Öffnen",
         .menu = Menu::Parameter,
         .availability = ParametersValid,
         .dialog = DialogId::Motortest},
        {.command = Command::Referenzfahrt,
         .text = "&Referenzfahrt...",
         .prompt = "Öffnet Dialog \"Referenzfahrt\".\nDialog \"Referenzfahrt\" Öffnen",
         .menu = Menu::Parameter,
         .availability = ParametersValid,
         .dialog = DialogId::Referenzfahrt},
        {.command = Command::Sonstige,
         .text = "S&onstige...",
         .prompt = "Öffnet Dialog \"Sonstige\".\nDialog \"Sonstige\" Öffnen",
         .menu = Menu::Parameter,
         .availability = ParametersValid,
         .dialog = DialogId::Sonstige},
        {.command = Command::Commissioning,
         .text = "Maschine &einrichten ...",
         .prompt = "Prüft Richtung, Auflösung und Verfahrbereich jeder Achse und überträgt, was sich geändert "
                   "hat.\nMaschine einrichten",
         .menu = Menu::Parameter,
         .separatorBefore = true,
         .availability = Idle,
         .handler = &CMainFrame::OnCommissioning},
        {.command = Command::About,
         .text = "Inf&o über MoravelSDI...",
         .prompt = "Zeigt Programm-Informationen, Versionsnummer und Copyright an.\nInfo",
         .menu = Menu::Hilfe,
         .handler = &CMainFrame::OnAppAbout,
         .toolBarIcon = "help-about",
         .toolBarSeparatorBefore = true,
         .role = QAction::AboutRole},
    };
    static_assert(std::size(rows) == kCommandCount);
    static_assert(std::ranges::all_of(std::views::iota(std::size_t{0}, kCommandCount),
                                      [](std::size_t i) { return rows[i].command == static_cast<Command>(i); }),
                  "one row per command, in Command order");
    return rows;
}

CMainFrame::CMainFrame(CMoravelSDIApp& app, CMoravelSDIDoc& doc, GuiInteraction& ui, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_doc(doc), m_ui(ui), m_prompts(this)
{
    setObjectName(QStringLiteral("mainFrame"));
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    createViews();
    createShortcuts();

    installEventFilter(this); // the window's moves and resizes, for the assistant beside it
    connect(&m_runner, &OperationRunner::busyChanged, this, &CMainFrame::onBusyChanged);
    connect(&m_ui, &GuiInteraction::statusTextChanged, this, &CMainFrame::SetStatusText);
    connect(&m_ui, &GuiInteraction::progressChanged, this, &CMainFrame::showProgress);
    m_ui.setWindow(this);

    // The default size of a new document window: most of a small screen.
    QSize size(900, 600);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    resize(size);

    updateTitle();
    updateCommands();
    updateLinkPane();

    // A device unplugged while nothing runs shows in the link pane within half a second.
    auto* linkWatch = new QTimer(this);
    linkWatch->setInterval(kLinkWatchMs);
    connect(linkWatch, &QTimer::timeout, this, &CMainFrame::watchLink);
    linkWatch->start();
}

CMainFrame::~CMainFrame()
{
    // A job waiting for a box would keep m_runner's destructor waiting for ever: it gets its
    // answer now, and any later question is answered at once.
    m_ui.shutDown();
    m_ui.setWindow(nullptr);
}

void CMainFrame::createActions()
{
    for (const CommandRow& row : commandTable()) {
        const QString prompt = QString::fromUtf8(row.prompt);
        const qsizetype split = prompt.indexOf(QLatin1Char('\n'));
        auto* action = new QAction(QString::fromUtf8(row.text), this);
        action->setStatusTip(prompt.left(split));
        action->setToolTip(prompt.mid(split + 1));
        action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(row.command)));
        action->setMenuRole(row.role);
        action->setCheckable(row.checkable);
        if (row.toolBarIcon != nullptr) {
            // The program's own toolbar images (16 and 32 px); they are decoded when first
            // painted, so they cost the start nothing, and they look the same on every desktop.
            QIcon icon;
            for (int size : {16, 32})
                icon.addFile(QStringLiteral(":/icons/toolbar/%1-%2.png").arg(QLatin1String(row.toolBarIcon)).arg(size),
                             QSize(size, size));
            action->setIcon(icon);
        }

        std::function<void()> handler;
        if (row.handler != nullptr)
            handler = [this, h = row.handler] { (this->*h)(); };
        else if (row.dialog)
            handler = [this, id = *row.dialog] { OnParameterDialog(id); };
        if (handler)
            connect(action, &QAction::triggered, this,
                    [this, rule = row.availability, handler] { dispatch(rule, handler); });
        m_actions[static_cast<std::size_t>(row.command)] = action;
    }
}

void CMainFrame::createMenus()
{
    QMenuBar* bar = menuBar();
    std::array<QMenu*, std::size(kMenuTitles)> menus{};
    for (std::size_t i = 0; i < menus.size(); ++i) {
        menus[i] = bar->addMenu(QString::fromUtf8(kMenuTitles[i]));
        // The enabling rules are applied again whenever a menu opens.
        connect(menus[i], &QMenu::aboutToShow, this, &CMainFrame::updateCommands);
    }
    for (const CommandRow& row : commandTable()) {
        QMenu* menu = menus[static_cast<std::size_t>(row.menu)];
        if (row.separatorBefore)
            menu->addSeparator();
        menu->addAction(action(row.command));
    }
}

void CMainFrame::createToolBar()
{
    m_toolBar = new QToolBar(QStringLiteral("Symbolleiste"), this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    for (const CommandRow& row : commandTable()) {
        if (row.toolBarIcon == nullptr)
            continue;
        if (row.toolBarSeparatorBefore)
            m_toolBar->addSeparator();
        m_toolBar->addAction(action(row.command));
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    setDockOptions(dockOptions() | QMainWindow::AnimatedDocks);

    QAction* toggle = action(Command::ToolBar);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, m_toolBar, &QWidget::setVisible);
    connect(m_toolBar, &QToolBar::visibilityChanged, toggle, [this, toggle](bool) {
        // A floating toolbar that is hidden with its window counts as hidden.
        toggle->setChecked(!m_toolBar->isHidden());
    });
}

void CMainFrame::createStatusBar()
{
    QStatusBar* bar = statusBar();
    m_messagePane = new ElidedLabel;
    m_messagePane->setText(QStringLiteral("Bereit"));
    m_messagePane->setObjectName(QStringLiteral("messagePane"));
    bar->addWidget(m_messagePane, 1);

    m_documentNote = new ElidedLabel;
    m_documentNote->setObjectName(QStringLiteral("documentNote"));
    m_documentNote->setStyleSheet(QStringLiteral("color: #9a3b00; font-weight: bold;"));
    m_documentNote->hide();
    bar->addPermanentWidget(m_documentNote);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setTextVisible(true);
    // It gives way to the message pane down to this, from the room its longest text needs.
    m_progress->setMinimumWidth(m_progress->fontMetrics().horizontalAdvance(QStringLiteral("000 %")) + 16);
    m_progress->setMaximumHeight(m_messagePane->sizeHint().height() + 4);
    m_progress->hide();
    bar->addPermanentWidget(m_progress);
    m_locks = new LockIndicators(bar);
    // The lock indicators keep their room while there is room, and give it up last.
    for (int i = 0; i < 3; ++i) {
        QLabel* lock = m_locks->pane(i);
        lock->setProperty(kPreferredWidth, lock->minimumWidth());
        lock->setMinimumWidth(0);
    }
    m_linkPane = new ElidedLabel(bar);
    m_linkPane->setObjectName(QStringLiteral("linkPane"));
    bar->addPermanentWidget(m_linkPane);
    bar->installEventFilter(this);

    // When a menu or toolbar prompt goes away, the idle text comes back (but an operation's
    // status text stays while it runs).
    connect(bar, &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty() && !isBusy())
            m_messagePane->setText(QStringLiteral("Bereit"));
    });

    QAction* toggle = action(Command::StatusBar);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, bar, &QWidget::setVisible);
}

void CMainFrame::createViews()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setChildrenCollapsible(false);
    m_statusView = new CMoravelStatusView(m_doc, m_splitter);
    m_controlView = new CMoravelControlView(m_doc, m_splitter);
    m_splitter->addWidget(m_statusView);
    m_splitter->addWidget(m_controlView);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({300, 600});
    setCentralWidget(m_splitter);

    connect(m_controlView, &CMoravelControlView::jogRequested, this,
            [this](std::int32_t stepsX) { dispatch(Availability::Idle, [this, stepsX] { OnJog(stepsX); }); });
    connect(m_controlView, &CMoravelControlView::notHaltRequested, this, &CMainFrame::OnNotHalt);
    connect(m_controlView, &CMoravelControlView::notStopRequested, this, &CMainFrame::OnNotStop);

    m_axes = new AxisControl(*this);
    m_axes->addPanel(m_controlView->jogPanel());

    m_statusView->onInitialUpdate(m_doc);
    m_controlView->onInitialUpdate(m_doc);
    m_controlView->setFocus(Qt::OtherFocusReason); // the active view
}

void CMainFrame::createShortcuts()
{
    m_saveShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this, this,
                                   [this] { dispatch(Availability::Idle, [this] { OnFileSave(); }); });
    new QShortcut(QKeySequence(Qt::Key_F6), this, this, [this] { focusNextPane(true); });
    new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this, this, [this] { focusNextPane(false); });

    // The emergency stops, wherever the focus is in the window or in the update assistant
    // beside it, and also while another operation runs (they queue behind it, as the buttons
    // do). A modal dialog keeps them, like every other input, until it is closed. A held key
    // stops once.
    const auto stopShortcut = [this](Qt::Key key, QPushButton* button, void (CMainFrame::*handler)()) {
        auto* shortcut = new QShortcut(
            QKeySequence(key), this, this, [this, handler] { (this->*handler)(); }, Qt::ApplicationShortcut);
        shortcut->setAutoRepeat(false);
        button->setToolTip(QStringLiteral("%1 – %2").arg(button->text().trimmed(),
                                                         shortcut->key().toString(QKeySequence::NativeText)));
        return shortcut;
    };
    m_notHaltShortcut = stopShortcut(kNotHaltKey, m_controlView->notHaltButton(), &CMainFrame::OnNotHalt);
    m_notStopShortcut = stopShortcut(kNotStopKey, m_controlView->notStopButton(), &CMainFrame::OnNotStop);
}

void CMainFrame::focusNextPane(bool /*forward*/)
{
    // Two panes: next and previous are the same one.
    QWidget* focus = QApplication::focusWidget();
    const bool inStatus = focus != nullptr && (focus == m_statusView || m_statusView->isAncestorOf(focus));
    QWidget* target = inStatus ? static_cast<QWidget*>(m_controlView) : m_statusView;
    target->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::SetStatusText(const QString& text)
{
    m_messagePane->setText(text);
    fitStatusPanes();
    m_messagePane->repaint();
}

void CMainFrame::fitStatusPanes()
{
    // The message pane first: the status text is what the user waits for. Then the progress,
    // the document's note and the link, each eliding its text when the room runs out, and last
    // the lock indicators.
    shareStatusBarWidth(statusBar(), m_messagePane,
                        {m_progress, m_documentNote, m_linkPane, m_locks->pane(0), m_locks->pane(1), m_locks->pane(2)});
    statusBar()->layout()->activate();
}

void CMainFrame::updateTitle()
{
    QString title = toQString(m_doc.title());
    if (m_doc.isIncomplete())
        title += QStringLiteral(" (unvollständig)");
    setWindowTitle(QStringLiteral("%1[*] - %2").arg(title, QLatin1String(kApplicationTitle)));
    setWindowModified(m_doc.isModified());
}

void CMainFrame::updateDocumentNote()
{
    const std::vector<const ParameterInfo*> missing = m_doc.missingKeys();
    if (missing.empty()) {
        m_documentNote->hide();
        m_documentNote->setText({});
    } else {
        const bool read = m_doc.source() == CMoravelSDIDoc::Source::Controller;
        const ValueOrigin from = read ? ValueOrigin::Controller : ValueOrigin::File;
        const auto got = std::ranges::count_if(
            exchangeList(), [&](const ParameterInfo* p) { return m_doc.m_parameterSet.origin(p->key.value) == from; });
        m_documentNote->setText(QStringLiteral("%1 von %2 Parametern %3")
                                    .arg(got)
                                    .arg(exchangeList().size())
                                    .arg(read ? QStringLiteral("vom Controller gelesen")
                                              : QStringLiteral("aus der Datei gelesen")));
        m_documentNote->setToolTip(QStringLiteral("Ohne Wert %1:\n%2")
                                       .arg(read ? QStringLiteral("vom Controller") : QStringLiteral("aus der Datei"),
                                            parameterListText(missing)));
        m_documentNote->show();
    }
    fitStatusPanes();
}

bool CMainFrame::availableNow(Availability rule) const
{
    if (rule == Availability::Always)
        return true;
    if (isBusy())
        return false;
    switch (rule) {
    case Availability::Disconnected:
        return !m_app.isConnected();
    case Availability::Connected:
        return m_app.isConnected();
    case Availability::ParametersValid:
        return m_doc.m_bParametersValid;
    case Availability::Always:
    case Availability::Idle:
        break;
    }
    return true;
}

void CMainFrame::dispatch(Availability rule, const std::function<void()>& handler)
{
    if (availableNow(rule))
        handler();
}

void CMainFrame::updateCommands()
{
    for (const CommandRow& row : commandTable())
        action(row.command)->setEnabled(availableNow(row.availability));
    const bool idle = availableNow(Availability::Idle);
    m_saveShortcut->setEnabled(idle);
    m_controlView->jogPlusButton()->setEnabled(idle);
    m_controlView->jogMinusButton()->setEnabled(idle);
    m_controlView->jogPanel()->setJogEnabled(idle);
}

void CMainFrame::documentChanged()
{
    updateTitle();
    updateDocumentNote();
    updateCommands();
}

void CMainFrame::rememberFile(const std::string& path)
{
    if (path.empty() || addRecentFile(displayPath(path)) || !settingsFileUsable())
        return;
    // Once a run: the list is written after every open and save.
    if (!m_recentFilesFailureShown) {
        m_recentFilesFailureShown = true;
        m_ui.showMessage(settingsSaveFailureText());
    }
}

CMoravelSDIDoc::OpenResult CMainFrame::renewFromTemplate()
{
    const std::string templatePath = findTemplateFile();
    const CMoravelSDIDoc::OpenResult result = m_doc.newFromTemplate(templatePath, m_prompts, m_ui);
    // A template found anywhere but in the current folder is shared with every other user
    // and program of the machine: it is never written.
    if (result == CMoravelSDIDoc::OpenResult::Loaded && templatePath != kTemplateFileName)
        m_prompts.protectPath(&m_doc, m_doc.pathName());
    documentChanged();
    return result;
}

// ---- Document commands.

void CMainFrame::OnParameterNew() { renewFromTemplate(); }

void CMainFrame::OnParameterOpen()
{
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), openFileFilter(kParameterFilesFilter));
    if (!path.isEmpty())
        openDocument(path);
}

CMoravelSDIDoc::OpenResult CMainFrame::openDocument(const QString& path)
{
    const CMoravelSDIDoc::OpenResult result = m_doc.openDocument(localPath(path), m_prompts, m_ui);
    if (result == CMoravelSDIDoc::OpenResult::Loaded)
        rememberFile(m_doc.pathName());
    documentChanged();
    return result;
}

void CMainFrame::OnParameterSave()
{
    const bool saved =
        m_prompts.isProtected(m_doc.pathName()) ? m_doc.saveAs(m_prompts) : m_doc.saveParameters(m_prompts);
    if (saved)
        rememberFile(m_doc.pathName());
    documentChanged();
}

void CMainFrame::OnParameterSaveAs()
{
    if (m_doc.saveAs(m_prompts))
        rememberFile(m_doc.pathName());
    documentChanged();
}

void CMainFrame::OnFileSave()
{
    const bool saved = m_prompts.isProtected(m_doc.pathName()) ? m_doc.saveAs(m_prompts) : m_doc.save(m_prompts);
    if (saved)
        rememberFile(m_doc.pathName());
    documentChanged();
}

void CMainFrame::OnParameterDialog(DialogId which)
{
    runParameterDialog(which, this, m_doc, m_ui);
    documentChanged();
}

void CMainFrame::OnAppExit() { close(); }

void CMainFrame::OnAppAbout()
{
    CInfoDlg dialog(this);
    dialog.exec();
}

// ---- Controller commands.

void CMainFrame::runOperation(Progress progress, std::function<void()> job, std::function<void()> finished)
{
    if (!isBusy()) // a stop queued behind a sweep keeps the sweep's progress display
        m_progressKind = progress;
    m_ui.setBusy(true); // the wait cursor for the whole operation, connect included
    m_runner.run(std::move(job), [this, finished = std::move(finished)] {
        m_ui.setBusy(false);
        if (finished)
            finished();
    });
}

void CMainFrame::onBusyChanged(bool busy)
{
    // After every operation the commands follow the link state it left: an operation that
    // found the device gone (a sweep's linkLost, an upload's LinkLost) has closed the
    // connection, and the open command is available again.
    if (!busy) {
        m_progress->hide();
        m_progress->reset();
        m_progressKind = Progress::None;
        updateLinkPane();
        fitStatusPanes();
    }
    updateCommands();
    emit busyChanged(busy);
    if (!busy && m_closePending) {
        m_closePending = false;
        close();
    }
}

void CMainFrame::updateLinkPane()
{
    // Only between operations: while one runs, the worker owns the context.
    if (!m_runner.idle())
        return;
    const int handle = m_app.isConnected() ? m_app.m_context.portHandle : -1;
    const std::string device = deviceOf(handle);
    if (handle == m_shownHandle && device == m_shownDevice)
        return;
    m_shownHandle = handle;
    m_shownDevice = device;
    m_linkPane->setText(m_app.isConnected() ? connectedText(m_app.m_context, device)
                                            : QStringLiteral("Nicht verbunden"));
    fitStatusPanes();
}

void CMainFrame::showProgress(qint64 done, qint64 total)
{
    if (total <= 0 || m_progressKind == Progress::None)
        return;
    // QProgressBar counts in int; scale large totals down.
    const int shift = total > 0x3FFFFFFF ? 10 : 0;
    m_progress->setRange(0, static_cast<int>(total >> shift));
    m_progress->setValue(static_cast<int>(std::min(done, total) >> shift));
    m_progress->setFormat(m_progressKind == Progress::Keys ? QStringLiteral("Parameter %1 von %2").arg(done).arg(total)
                                                           : QStringLiteral("%1 von %2 Bytes").arg(done).arg(total));
    if (m_progress->isHidden()) {
        m_progress->show();
        fitStatusPanes();
    }
}

bool CMainFrame::openConnection()
{
    // An open connection whose device is still there is used as it is. One whose device has
    // gone is opened afresh, and a failure then explains itself like any other.
    if (m_app.isConnected() && !linkLost(m_app.m_context))
        return true;
    const auto showLink = [this](QString text, int handle, std::string device) {
        QMetaObject::invokeMethod(this, [this, text, handle, device] {
            m_shownHandle = handle;
            m_shownDevice = device;
            m_linkPane->setText(text);
            fitStatusPanes();
        });
    };
    showLink(QStringLiteral("Verbindung wird aufgebaut ..."), -2, {});
    OpenFailureExplainer ui(m_ui, portsTriedByOpen(m_app.connectionMode, m_app.m_context.portName),
                            [&] { showLink(QStringLiteral("Nicht verbunden"), -1, {}); });
    if (!m_app.OpenConnection(ui)) {
        showLink(QStringLiteral("Nicht verbunden"), -1, {});
        return false;
    }
    const int handle = m_app.m_context.portHandle;
    const std::string device = deviceOf(handle);
    showLink(connectedText(m_app.m_context, device), handle, device);
    return true;
}

void CMainFrame::watchLink()
{
    // Only between operations (while one runs, the worker owns the connection), and without a
    // byte on the line: the descriptor's hang-up state.
    if (isBusy() || !m_app.dropVanishedLink())
        return;
    m_shownHandle = -1;
    m_shownDevice.clear();
    m_linkPane->setText(QStringLiteral("Nicht verbunden (Gerät entfernt)"));
    fitStatusPanes();
    updateCommands();
    m_axes->forgetWithoutLink();
}

void CMainFrame::OnOpenConnection()
{
    runOperation(Progress::None, [this] { openConnection(); });
}

void CMainFrame::OnCloseConnection()
{
    runOperation(Progress::None, [this] { m_app.CloseConnection(m_ui); });
}

void CMainFrame::OnComPortSettings()
{
    const ComPortChoice shown = m_app.currentChoice();
    CComPortSettingsDlg dialog(shown, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // OK without a change leaves the settings and the connection as they are.
    const ComPortChoice chosen = dialog.choice();
    if (chosen == shown)
        return;
    if (m_app.applyChoice(chosen) == ComPortField::None && !m_app.settingsSaved())
        m_ui.showMessage(settingsSaveFailureText());
}

void CMainFrame::OnParameterRead()
{
    // "&Neu" first, here on the GUI thread: it may ask whether to save. Cancelling that
    // question (or a failed save) ends the command: the read would overwrite the edits.
    if (renewFromTemplate() == CMoravelSDIDoc::OpenResult::Cancelled)
        return;
    runOperation(
        Progress::Keys,
        [this] {
            if (openConnection())
                m_app.readParameters(m_doc, m_ui);
        },
        [this] { documentChanged(); });
}

bool CMainFrame::confirmKeysWithoutOrigin(const ParameterSet& set)
{
    const std::vector<const ParameterInfo*> missing = keysWithoutOrigin(set);
    if (missing.empty())
        return true;
    return askBeforeGoingOn(this,
                            QStringLiteral("Die Werte dieser Parameter stammen weder aus einer Parameterdatei noch vom "
                                           "Controller noch aus einem Dialog:\n\n%1\n\nTrotzdem zum Controller "
                                           "übertragen?")
                                .arg(parameterListText(missing)),
                            QStringLiteral("Übertragen"), QStringLiteral("transferAnyway"));
}

void CMainFrame::OnParameterTransfer()
{
    if (!confirmKeysWithoutOrigin(m_doc.m_parameterSet))
        return;
    runOperation(Progress::Keys, [this] {
        if (openConnection())
            m_app.transferParameters(m_doc, m_ui);
    });
}

void CMainFrame::OnParameterCompare()
{
    auto result = std::make_shared<ComparisonResult>();
    runOperation(
        Progress::Keys,
        [this, result] {
            if (openConnection())
                *result = m_app.compareWithController(m_doc.m_parameterSet, m_ui);
        },
        [this, result] {
            if (!result->connected)
                return;
            CompareDialog dialog(*result, this);
            dialog.exec();
        });
}

std::shared_ptr<const std::vector<std::uint8_t>> CMainFrame::chooseFirmware(QString& path)
{
    path = QFileDialog::getOpenFileName(this, QString(), QString(), openFileFilter(kFirmwareFilesFilter));
    if (path.isEmpty())
        return nullptr;
    // A file that cannot be read whole is named in a message; nothing is sent then.
    std::optional<std::vector<std::uint8_t>> content = readFirmwareFile(localPath(path), m_ui);
    if (!content)
        return nullptr;
    return std::make_shared<const std::vector<std::uint8_t>>(std::move(*content));
}

void CMainFrame::OnFirmwareUpload()
{
    QString path;
    const auto image = chooseFirmware(path);
    if (!image)
        return;
    runOperation(Progress::Bytes, [this, image] {
        if (openConnection())
            m_app.UploadFirmware(*image, m_ui);
    });
}

UpdateAssistant* CMainFrame::openAssistant(bool update, const QString& file)
{
    if (m_assistant != nullptr && m_assistant->finished())
        m_assistant->close();
    m_assistant = new UpdateAssistant(update ? UpdateAssistant::Kind::Update : UpdateAssistant::Kind::Restore,
                                      displayPath(localPath(file)), this);
    m_assistant->setAttribute(Qt::WA_DeleteOnClose);
    m_assistant->installEventFilter(this);
    placeAssistant();
    m_assistant->show();
    placeAssistant(); // again with its frame, which a window manager adds only when shown
    return m_assistant;
}

void CMainFrame::placeAssistant()
{
    if (m_assistant == nullptr)
        return;
    const QScreen* shown = screen();
    if (shown == nullptr)
        return;
    const QRect area = shown->availableGeometry();
    QWidget* stops = m_controlView->stopPanel();
    const QRect keep(stops->mapToGlobal(QPoint(0, 0)) - QPoint(8, 8), stops->size() + QSize(16, 16));
    const QRect window = frameGeometry();
    // The frame around the dialog's contents (none before a window manager has shown it).
    const QMargins frame(m_assistant->geometry().left() - m_assistant->frameGeometry().left(),
                         m_assistant->geometry().top() - m_assistant->frameGeometry().top(),
                         m_assistant->frameGeometry().right() - m_assistant->geometry().right(),
                         m_assistant->frameGeometry().bottom() - m_assistant->geometry().bottom());
    constexpr int kGap = 8;

    // The places to try, best first: beside the window, then over a part of it away from
    // the stops. Each is the outer rectangle of the dialog for a given outer size.
    const auto candidates = [&](QSize outer) {
        return std::array{
            QRect(QPoint(window.right() + 1 + kGap, window.top()), outer),
            QRect(QPoint(window.left() - kGap - outer.width(), window.top()), outer),
            QRect(QPoint(window.left(), window.bottom() + 1 + kGap), outer),
            QRect(QPoint(window.left(), window.top() - kGap - outer.height()), outer),
            QRect(QPoint(keep.left(), keep.bottom() + 1), outer),
            QRect(QPoint(keep.left() - outer.width(), keep.top()), outer),
            QRect(QPoint(keep.right() + 1, keep.top()), outer),
            QRect(QPoint(keep.left(), keep.top() - outer.height()), outer),
        };
    };
    const auto fits = [&](QRect place) {
        // Pushed onto the screen, it must still keep clear of the stops.
        place.moveLeft(std::clamp(place.left(), area.left(), std::max(area.left(), area.right() - place.width() + 1)));
        place.moveTop(std::clamp(place.top(), area.top(), std::max(area.top(), area.bottom() - place.height() + 1)));
        return area.contains(place) && !place.intersects(keep) ? std::optional<QRect>(place) : std::nullopt;
    };
    const QSize margins(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize least = m_assistant->minimumSizeHint().expandedTo(m_assistant->minimumSize());
    for (const QSize inner : {m_assistant->size(), m_assistant->size().boundedTo(least.expandedTo({1, 1}))}) {
        for (const QRect& candidate : candidates(inner + margins)) {
            if (const std::optional<QRect> place = fits(candidate)) {
                m_assistant->resize(inner);
                m_assistant->move(place->topLeft()); // move() places the frame's corner
                return;
            }
        }
    }
    // No room anywhere for its size: the largest part of the screen beside the stops, and the
    // dialog made to fit it.
    const std::array<QRect, 4> sides{
        QRect(area.topLeft(), QPoint(keep.left() - 1, area.bottom())),
        QRect(QPoint(keep.right() + 1, area.top()), area.bottomRight()),
        QRect(area.topLeft(), QPoint(area.right(), keep.top() - 1)),
        QRect(QPoint(area.left(), keep.bottom() + 1), area.bottomRight()),
    };
    const QRect* best = std::ranges::max_element(sides, {}, [](const QRect& r) {
        return r.isValid() ? r.width() * r.height() : 0;
    });
    m_assistant->setMinimumSize(0, 0);
    m_assistant->resize((best->size() - margins).expandedTo({1, 1}));
    m_assistant->move(best->topLeft());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == statusBar() && event->type() == QEvent::Resize) {
        fitStatusPanes();
    } else if ((event->type() == QEvent::Resize || event->type() == QEvent::Show || event->type() == QEvent::Move) &&
               m_assistant != nullptr && m_assistant->isVisible() && (watched == m_assistant || watched == this)) {
        // The event type first: the assistant's own destructor sends events through here, and
        // m_assistant must not be looked at as an UpdateAssistant while it is half destroyed.
        const QWidget* stops = m_controlView->stopPanel();
        const QRect keep(stops->mapToGlobal(QPoint(0, 0)), stops->size());
        if (m_assistant->frameGeometry().intersects(keep))
            QTimer::singleShot(0, this, &CMainFrame::placeAssistant);
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::OnFirmwareUpdate()
{
    QString path;
    const auto image = chooseFirmware(path);
    if (!image)
        return;
    // The read starts from the template, which gives the backup file the keys the controller
    // does not hold. The user's document is left alone.
    auto backup = std::make_shared<CMoravelSDIDoc>();
    const CMoravelSDIDoc::OpenResult loaded = loadTemplate(*backup, m_ui);
    if (loaded != CMoravelSDIDoc::OpenResult::Loaded && loaded != CMoravelSDIDoc::OpenResult::BuiltIn)
        return;
    QPointer<UpdateAssistant> assistant = openAssistant(true, path);
    auto frontEnd = assistant->frontEnd(m_ui);
    auto outcome = std::make_shared<UpdateOutcome>();
    runOperation(
        Progress::None,
        [this, backup, image, frontEnd, outcome] {
            if (openConnection())
                *outcome = runFirmwareUpdate(m_app, *backup, *image, UpdateOptions{}, *frontEnd);
            else
                outcome->step = UpdateStep::Backup, outcome->end = UpdateEnd::NoConnection;
        },
        [assistant, outcome] {
            if (assistant)
                assistant->showOutcome(*outcome);
        });
}

// The controller a command would reach now: the open connection as the link pane names it,
// or what the settings make an open try.
QString CMainFrame::controllerDescription() const
{
    if (m_app.isConnected())
        return connectedText(m_app.m_context, deviceOf(m_app.m_context.portHandle))
            .mid(QStringLiteral("Verbunden: ").size());
    switch (m_app.connectionMode) {
    case 0: {
        std::string name(m_app.m_context.controllerName,
                         ::strnlen(m_app.m_context.controllerName, sizeof m_app.m_context.controllerName - 1));
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        return QStringLiteral("„%1“ an COM1 bis COM8").arg(toQString(cp1252ToUtf8(name)));
    }
    case 1:
        return QStringLiteral("an COM%1").arg(portNumberForMode1(m_app.m_context.portName));
    default:
        return QStringLiteral("der erste, der sich an COM1 bis COM8 meldet");
    }
}

bool CMainFrame::confirmRestore(const QString& path, const CMoravelSDIDoc& backup)
{
    const ParameterSet& set = backup.m_parameterSet;
    const QString from = set.origin(0x0505) == ValueOrigin::File
                             ? QStringLiteral(" (gesichert von „%1“)").arg(toQString(cp1252ToUtf8(set.controllerName)))
                             : QString();
    return askBeforeGoingOn(this,
                            QStringLiteral("Die Sicherung\n%1%2\nwird zum Controller übertragen: %3.\n\nSeine %4 "
                                           "Parameter werden mit den Werten der Sicherung überschrieben.")
                                .arg(QDir::toNativeSeparators(path), from, controllerDescription())
                                .arg(exchangeList().size()),
                            QStringLiteral("Zurückschreiben"), QStringLiteral("restoreBackup"));
}

void CMainFrame::OnParameterRestore()
{
    std::error_code error;
    const std::filesystem::path folder = backupFolder();
    const QString start = std::filesystem::is_directory(folder, error) ? displayPath(folder.string()) : QString();
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Sicherung zurückschreiben"), start,
                                                      openFileFilter(kParameterFilesFilter));
    if (path.isEmpty())
        return;
    // Into a document of its own: the user's document stays as it is. The reader checks every
    // value; a file it refuses is named in its message and nothing is sent.
    auto backup = std::make_shared<CMoravelSDIDoc>();
    if (backup->openDocument(localPath(path), m_prompts, m_ui) != CMoravelSDIDoc::OpenResult::Loaded ||
        !confirmKeysWithoutOrigin(backup->m_parameterSet) || !confirmRestore(path, *backup))
        return;
    QPointer<UpdateAssistant> assistant = openAssistant(false, path);
    auto frontEnd = assistant->frontEnd(m_ui);
    auto result = std::make_shared<UpdateOutcome>();
    result->step = UpdateStep::Restore;
    result->end = UpdateEnd::NoConnection; // until the steps run
    runOperation(
        Progress::None,
        [this, backup, frontEnd, result] {
            if (openConnection())
                *result = restoreParameters(m_app, *backup, *frontEnd);
        },
        [assistant, result] {
            if (assistant)
                assistant->showOutcome(*result);
        });
}

void CMainFrame::OnJog(std::int32_t stepsX)
{
    auto accepted = std::make_shared<bool>(false);
    runOperation(
        Progress::None,
        [this, stepsX, accepted] {
            // Room for the six pairs a request can carry; one is used.
            const std::int32_t x[6] = {stepsX};
            const std::int32_t y[6] = {0};
            *accepted = openConnection() && m_app.SendMoveRelativeXY(0, 1, x, y, 3, m_ui);
        },
        [this, accepted] { m_doc.SetMoving(*accepted); });
}

CommissioningAssistant* CMainFrame::commissioningAssistant() const { return m_commissioning; }

void CMainFrame::OnCommissioning()
{
    // One at a time: a second start brings the open one to the front.
    if (m_commissioning != nullptr && !m_commissioning->finished()) {
        m_commissioning->raise();
        m_commissioning->activateWindow();
        return;
    }
    if (m_commissioning != nullptr)
        m_commissioning->close();
    m_commissioning = new CommissioningAssistant(*this);
    m_commissioning->setAttribute(Qt::WA_DeleteOnClose);
    // Beside the window where the screen has room, so that both can be seen.
    const QRect window = frameGeometry();
    if (const QScreen* s = screen(); s != nullptr && window.right() + m_commissioning->width() < s->availableGeometry().right())
        m_commissioning->move(window.right() + 1, window.top());
    m_commissioning->show();
    m_commissioning->start();
}

void CMainFrame::OnNotHalt()
{
    m_stopPressed = StopKind::Halt;
    m_stopPending = true;
    runStop(QStringLiteral("NotHalt"), [this] { return m_app.SendNotHalt(m_ui); });
}

void CMainFrame::OnNotStop()
{
    m_stopPressed = StopKind::Stop;
    m_stopPending = true;
    runStop(QStringLiteral("NotStop"), [this] { return m_app.SendNotStop(m_ui); });
}

void CMainFrame::runStop(const QString& name, std::function<bool()> send)
{
    // Behind a running operation the stop waits its turn; the user sees that it was taken,
    // beside the stops and in the status bar, and then that it went out.
    const bool queued = isBusy();
    if (queued) {
        const QString waiting = QStringLiteral("%1 wird nach der laufenden Operation gesendet.").arg(name);
        m_controlView->setStopNote(waiting);
        SetStatusText(waiting);
    } else {
        m_controlView->setStopNote({});
    }
    auto accepted = std::make_shared<bool>(false);
    runOperation(
        Progress::None, [this, send = std::move(send), accepted] { *accepted = openConnection() && send(); },
        [this, name, queued, accepted] {
            m_doc.SetMoving(!*accepted);
            const QString outcome = *accepted ? QStringLiteral("%1 gesendet.").arg(name)
                                              : QStringLiteral("%1 wurde nicht bestätigt.").arg(name);
            m_controlView->setStopNote(outcome);
            if (queued)
                SetStatusText(outcome);
        });
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        // An operation cannot be broken off; the window closes when it has finished.
        m_closePending = true;
        SetStatusText(QStringLiteral("Das Fenster wird nach der laufenden Operation geschlossen."));
        event->ignore();
        return;
    }
    if (!m_doc.saveModified(m_prompts)) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace moravel

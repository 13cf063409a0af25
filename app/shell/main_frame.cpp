#include "app/shell/main_frame.h"

#include "app/dialogs/parameter_dialogs.h"
#include "app/shell/compare_dialog.h"
#include "app/shell/info_dialog.h"
#include "app/shell/com_port_dialog.h"
#include "app/shell/lock_indicators.h"
#include "app/shell/recent_files.h"
#include "app/shell/views.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
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
#include <iterator>
#include <memory>
#include <vector>

namespace moravel {
namespace {

struct CommandText {
    Command command;
    const char* text;   // menu text
    const char* prompt; // status-bar prompt and tooltip, separated by a line break
};

// Every command of the menu with its texts.
constexpr CommandText CommandTexts[] = {
    {Command::Exit, "&Beenden", "Verläßt die Anwendung; fragt, ob Dokumente gespeichert werden sollen.\nBeenden"},
    {Command::ToolBar, "&Symbolleiste", "Blendet die Symbolleiste ein oder aus.\nSymbolleiste ein-/ausschalten"},
    {Command::StatusBar, "S&tatusleiste", "Blendet die Statusleiste ein oder aus.\nStatusleiste ein-/ausschalten"},
    {Command::OpenConnection, "Verindung &öffnen",
     "Öffnet die Verbindung mit dem definierten COM port.\nVerbindung öffnen"},
    {Command::CloseConnection, "Verbindung &schließen",
     "Schließt die Verbindung mit dem definierten COM port.\nVerbindung schließen"},
    {Command::ComPortSettings, "COM port &Eigenschaften ...",
     "Öffnet Dialog \"COM port Eigenschaften\".\nDialog \"COM port Eigenschaften\" Öffnen"},
    {Command::FirmwareUpload, "Hochladen ", "Öffnet eine Firmwaredatei und lädt sie in den Controller\nFirmware hochladen"},
    {Command::ParameterNew, "&Neu", "Öffnet eine neue Parameterdatei.\nNeue Parameterdatei Öffnen "},
    {Command::ParameterOpen, "&Öffnen...", "Öffnet eine bestehende Parameterdatei.\nParameterdatei Öffnen "},
    {Command::ParameterRead, "Vom Controller &Lesen",
     "Parameter werden vom Controller gelesen.\nParameter vom Controller Lesen"},
    {Command::ParameterTransfer, "Zum Controller &Übertragen",
     "Aktuelle Parameter werden zum Controller übertragen.\nParameter zum Controller Übertragen"},
    {Command::ParameterCompare, "Mit Controller &vergleichen...",
     "Vergleicht die aktuellen Parameter mit denen des Controllers.\nParameter mit Controller vergleichen"},
    {Command::ParameterSave, "&Speichern",
     "Speichert aktuelle Parameter in der aktiven Parameterdatei.\nParameter Speichern"},
    {Command::ParameterSaveAs, "Speichern &unter ...",
     "Speichert aktive Parameter unter neuem Namen.\nParameter Speichern unter"},
    {Command::Geschwindigkeiten, "&Geschwindigkeiten...",
     "Öffnet Dialog \"Geschwindigkeiten\".\nDialog \"Geschwindigkeiten\" Öffnen"},
    {Command::Schnittstelle, "S&chnittstelle...", "Öffnet Dialog \"Schnittstelle\".\nDialog \"Schnittstelle\" Öffnen"},
    {Command::Mechanik, "&Mechanik...", "Öffnet Dialog \"Mechanik\".\nDialog \"Mechanik\" Öffnen"},
    {Command::Motortest, "Motor&test...", "Öffnet Dialog \"Motortest\".\nDialog \"Motortest\" Öffnen"},
    {Command::Referenzfahrt, "&Referenzfahrt...", "Öffnet Dialog \"Referenzfahrt\".\nDialog \"Referenzfahrt\" Öffnen"},
    {Command::Sonstige, "S&onstige...", "Öffnet Dialog \"Sonstige\".\nDialog \"Sonstige\" Öffnen"},
    {Command::About, "Inf&o über MoravelSDI...",
     "Zeigt Programm-Informationen, Versionsnummer und Copyright an.\nInfo"},
};
static_assert(std::size(CommandTexts) == CommandCount);

constexpr Command DialogCommands[] = {Command::Geschwindigkeiten, Command::Schnittstelle, Command::Mechanik,
                                      Command::Motortest,         Command::Referenzfahrt, Command::Sonstige};

// The document handler of each of them.
using DialogHandler = void (*)(QWidget*, CMoravelSDIDoc&, UserInteraction&);
constexpr DialogHandler DialogHandlers[] = {OnParameterGeschwindigkeiten, OnParameterSchnittstelle,
                                            OnParameterMechanik,          OnParameterMotortest,
                                            OnParameterReferenzfahrt,     OnParameterSonstige};
static_assert(std::size(DialogHandlers) == std::size(DialogCommands));

// Commands that need m_bParametersValid.
constexpr Command ParameterCommands[] = {Command::ParameterSave,     Command::ParameterSaveAs,
                                         Command::Geschwindigkeiten, Command::Schnittstelle,
                                         Command::Mechanik,          Command::Motortest,
                                         Command::Referenzfahrt,     Command::Sonstige};

} // namespace

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
}

CMainFrame::~CMainFrame()
{
    m_ui.setWindow(nullptr);
}

void CMainFrame::createActions()
{
    for (const CommandText& c : CommandTexts) {
        const QString prompt = QString::fromUtf8(c.prompt);
        const qsizetype split = prompt.indexOf(QLatin1Char('\n'));
        auto* action = new QAction(QString::fromUtf8(c.text), this);
        action->setStatusTip(prompt.left(split));
        action->setToolTip(prompt.mid(split + 1));
        action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(c.command)));
        m_actions[static_cast<std::size_t>(c.command)] = action;
    }
    // The program's own toolbar images (16 and 32 px); they are decoded when first painted,
    // so they cost the start nothing, and they look the same on every desktop.
    const std::pair<Command, const char*> icons[] = {{Command::ParameterNew, "document-new"},
                                                     {Command::ParameterOpen, "document-open"},
                                                     {Command::ParameterSave, "document-save"},
                                                     {Command::About, "help-about"}};
    for (const auto& [command, name] : icons) {
        QIcon icon;
        for (int size : {16, 32})
            icon.addFile(QStringLiteral(":/icons/toolbar/%1-%2.png").arg(QLatin1String(name)).arg(size), QSize(size, size));
        action(command)->setIcon(icon);
    }
    action(Command::Exit)->setMenuRole(QAction::QuitRole);
    action(Command::About)->setMenuRole(QAction::AboutRole);

    action(Command::ToolBar)->setCheckable(true);
    action(Command::StatusBar)->setCheckable(true);

    connect(action(Command::Exit), &QAction::triggered, this, &QWidget::close);
    connect(action(Command::OpenConnection), &QAction::triggered, this, &CMainFrame::OnOpenConnection);
    connect(action(Command::CloseConnection), &QAction::triggered, this, &CMainFrame::OnCloseConnection);
    connect(action(Command::ComPortSettings), &QAction::triggered, this, &CMainFrame::OnComPortSettings);
    connect(action(Command::FirmwareUpload), &QAction::triggered, this, &CMainFrame::OnFirmwareUpload);
    connect(action(Command::ParameterNew), &QAction::triggered, this, &CMainFrame::OnParameterNew);
    connect(action(Command::ParameterOpen), &QAction::triggered, this, &CMainFrame::OnParameterOpen);
    connect(action(Command::ParameterRead), &QAction::triggered, this, &CMainFrame::OnParameterRead);
    connect(action(Command::ParameterTransfer), &QAction::triggered, this, &CMainFrame::OnParameterTransfer);
    connect(action(Command::ParameterCompare), &QAction::triggered, this, &CMainFrame::OnParameterCompare);
    connect(action(Command::ParameterSave), &QAction::triggered, this, &CMainFrame::OnParameterSave);
    connect(action(Command::ParameterSaveAs), &QAction::triggered, this, &CMainFrame::OnParameterSaveAs);
    for (Command c : DialogCommands)
        connect(action(c), &QAction::triggered, this, [this, c] { OnParameterDialog(c); });
    connect(action(Command::About), &QAction::triggered, this, &CMainFrame::OnAppAbout);
}

void CMainFrame::createMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&Datei"));
    file->addAction(action(Command::Exit));

    QMenu* view = bar->addMenu(QStringLiteral("&Ansicht"));
    view->addAction(action(Command::ToolBar));
    view->addAction(action(Command::StatusBar));

    QMenu* port = bar->addMenu(QStringLiteral("COM port"));
    port->addAction(action(Command::OpenConnection));
    port->addAction(action(Command::CloseConnection));
    port->addSeparator();
    port->addAction(action(Command::ComPortSettings));

    QMenu* firmware = bar->addMenu(QStringLiteral("Firmware"));
    firmware->addAction(action(Command::FirmwareUpload));

    QMenu* parameter = bar->addMenu(QStringLiteral("Parameter"));
    parameter->addAction(action(Command::ParameterNew));
    parameter->addAction(action(Command::ParameterOpen));
    parameter->addAction(action(Command::ParameterRead));
    parameter->addSeparator();
    parameter->addAction(action(Command::ParameterTransfer));
    parameter->addAction(action(Command::ParameterCompare));
    parameter->addAction(action(Command::ParameterSave));
    parameter->addAction(action(Command::ParameterSaveAs));
    parameter->addSeparator();
    for (Command c : DialogCommands)
        parameter->addAction(action(c));

    QMenu* help = bar->addMenu(QStringLiteral("&?"));
    help->addAction(action(Command::About));

    // The enabling rules are applied again whenever a menu opens.
    for (QMenu* menu : {file, view, port, firmware, parameter, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommands);
}

void CMainFrame::createToolBar()
{
    m_toolBar = new QToolBar(QStringLiteral("Symbolleiste"), this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->addAction(action(Command::ParameterNew));
    m_toolBar->addAction(action(Command::ParameterOpen));
    m_toolBar->addAction(action(Command::ParameterSave));
    m_toolBar->addSeparator();
    m_toolBar->addAction(action(Command::About));
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
    m_messagePane = new QLabel(QStringLiteral("Bereit"));
    m_messagePane->setObjectName(QStringLiteral("messagePane"));
    m_messagePane->setMinimumWidth(1);
    bar->addWidget(m_messagePane, 1);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setTextVisible(true);
    m_progress->setMinimumWidth(m_progress->fontMetrics().horizontalAdvance(QStringLiteral("000000 von 000000 Bytes")) + 24);
    m_progress->setMaximumHeight(m_messagePane->sizeHint().height() + 4);
    m_progress->hide();
    bar->addPermanentWidget(m_progress);
    m_locks = new LockIndicators(bar);

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

    connect(m_controlView, &CMoravelControlView::jogRequested, this, &CMainFrame::OnJog);
    connect(m_controlView, &CMoravelControlView::notHaltRequested, this, &CMainFrame::OnNotHalt);
    connect(m_controlView, &CMoravelControlView::notStopRequested, this, &CMainFrame::OnNotStop);

    m_statusView->onInitialUpdate(m_doc);
    m_controlView->onInitialUpdate(m_doc);
    m_controlView->setFocus(Qt::OtherFocusReason); // the active view
}

void CMainFrame::createShortcuts()
{
    m_saveShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this, this, &CMainFrame::OnFileSave);
    new QShortcut(QKeySequence(Qt::Key_F6), this, this, [this] { focusNextPane(true); });
    new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this, this, [this] { focusNextPane(false); });
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
    m_messagePane->repaint();
}

void CMainFrame::updateTitle()
{
    setWindowTitle(QStringLiteral("%1[*] - %2").arg(toQString(m_doc.title()), QLatin1String(ApplicationTitle)));
    setWindowModified(m_doc.isModified());
}

void CMainFrame::updateCommands()
{
    const bool busy = isBusy();
    // While an operation runs, the document and the connection belong to it: nothing here
    // reads them then.
    const bool valid = !busy && m_doc.m_bParametersValid;
    const bool connected = !busy && m_app.IsConnected();

    action(Command::OpenConnection)->setEnabled(!busy && !connected);
    action(Command::CloseConnection)->setEnabled(connected);
    for (Command c : {Command::ComPortSettings, Command::FirmwareUpload, Command::ParameterRead,
                      Command::ParameterNew, Command::ParameterOpen})
        action(c)->setEnabled(!busy);
    action(Command::ParameterTransfer)->setEnabled(valid);
    action(Command::ParameterCompare)->setEnabled(valid);
    for (Command c : ParameterCommands)
        action(c)->setEnabled(valid);
    m_saveShortcut->setEnabled(!busy);
    m_controlView->jogPlusButton()->setEnabled(!busy);
    m_controlView->jogMinusButton()->setEnabled(!busy);
}

void CMainFrame::documentChanged()
{
    updateTitle();
    updateCommands();
}

void CMainFrame::rememberFile(const std::string& path)
{
    if (!path.empty())
        addRecentFile(displayPath(path));
}

// ---- Document commands.

void CMainFrame::OnParameterNew()
{
    if (isBusy())
        return;
    m_doc.newFromTemplate(FindTemplateFile(), m_prompts, m_ui);
    documentChanged();
}

void CMainFrame::OnParameterOpen()
{
    if (isBusy())
        return;
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), parameterFileFilter());
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
    if (isBusy())
        return;
    if (m_doc.saveParameters(m_prompts))
        rememberFile(m_doc.pathName());
    documentChanged();
}

void CMainFrame::OnParameterSaveAs()
{
    if (isBusy())
        return;
    if (m_doc.saveAs(m_prompts))
        rememberFile(m_doc.pathName());
    documentChanged();
}

void CMainFrame::OnFileSave()
{
    if (isBusy())
        return;
    if (m_doc.save(m_prompts))
        rememberFile(m_doc.pathName());
    documentChanged();
}

void CMainFrame::OnParameterDialog(Command which)
{
    if (isBusy() || !m_doc.m_bParametersValid)
        return;
    const auto index = static_cast<std::size_t>(std::find(std::begin(DialogCommands), std::end(DialogCommands), which) -
                                                std::begin(DialogCommands));
    if (index >= std::size(DialogHandlers))
        return;
    DialogHandlers[index](this, m_doc, m_ui);
    documentChanged();
}

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
    if (!busy) {
        m_progress->hide();
        m_progress->reset();
        m_progressKind = Progress::None;
    }
    updateCommands();
    emit busyChanged(busy);
    if (!busy && m_closePending) {
        m_closePending = false;
        close();
    }
}

void CMainFrame::showProgress(qint64 done, qint64 total)
{
    if (total <= 0 || m_progressKind == Progress::None)
        return;
    // QProgressBar counts in int; scale large totals down.
    const int shift = total > 0x3FFFFFFF ? 10 : 0;
    m_progress->setRange(0, static_cast<int>(total >> shift));
    m_progress->setValue(static_cast<int>(std::min(done, total) >> shift));
    m_progress->setFormat(m_progressKind == Progress::Keys
                              ? QStringLiteral("Parameter %1 von %2").arg(done).arg(total)
                              : QStringLiteral("%1 von %2 Bytes").arg(done).arg(total));
    m_progress->show();
}

void CMainFrame::OnOpenConnection()
{
    if (isBusy())
        return;
    runOperation(Progress::None, [this] { m_app.OpenConnection(m_ui); });
}

void CMainFrame::OnCloseConnection()
{
    if (isBusy())
        return;
    runOperation(Progress::None, [this] { m_app.CloseConnection(m_ui); });
}

void CMainFrame::OnComPortSettings()
{
    if (isBusy())
        return;
    CComPortSettingsDlg dialog(m_app.CurrentChoice(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_app.ApplyChoice(dialog.choice());
}

void CMainFrame::OnParameterRead()
{
    if (isBusy())
        return;
    // "&Neu" first, here on the GUI thread: it may ask whether to save.
    m_doc.newFromTemplate(FindTemplateFile(), m_prompts, m_ui);
    documentChanged();
    runOperation(Progress::Keys, [this] { m_app.ReadParameters(m_doc, m_ui); }, [this] { documentChanged(); });
}

void CMainFrame::OnParameterTransfer()
{
    if (isBusy() || !m_doc.m_bParametersValid)
        return;
    runOperation(Progress::Keys, [this] { m_app.TransferParameters(m_doc, m_ui); });
}

void CMainFrame::OnParameterCompare()
{
    if (isBusy() || !m_doc.m_bParametersValid)
        return;
    auto result = std::make_shared<ComparisonResult>();
    runOperation(
        Progress::Keys, [this, result] { *result = m_app.CompareWithController(m_doc.m_parameterSet, m_ui); },
        [this, result] {
            if (!result->connected)
                return;
            CompareDialog dialog(*result, this);
            dialog.exec();
        });
}

void CMainFrame::OnFirmwareUpload()
{
    if (isBusy())
        return;
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                      QStringLiteral("Firmware files (*.crx);;Alle Dateien (*)"));
    if (path.isEmpty())
        return;
    // A file that cannot be read whole is named in a message; nothing is sent then.
    std::optional<std::vector<std::uint8_t>> content = ReadFirmwareFile(localPath(path), m_ui);
    if (!content)
        return;
    auto image = std::make_shared<std::vector<std::uint8_t>>(std::move(*content));
    runOperation(Progress::Bytes, [this, image] { m_app.UploadFirmware(*image, m_ui); });
}

void CMainFrame::OnJog(std::int32_t stepsX)
{
    if (isBusy())
        return;
    auto accepted = std::make_shared<bool>(false);
    runOperation(
        Progress::None,
        [this, stepsX, accepted] {
            // Room for the six pairs a request can carry; one is used.
            const std::int32_t x[6] = {stepsX};
            const std::int32_t y[6] = {0};
            *accepted = m_app.SendMoveRelativeXY(0, 1, x, y, 3, m_ui);
        },
        [this, accepted] { m_doc.SetMoving(*accepted); });
}

void CMainFrame::OnNotHalt()
{
    auto accepted = std::make_shared<bool>(false);
    runOperation(
        Progress::None, [this, accepted] { *accepted = m_app.SendNotHalt(m_ui); },
        [this, accepted] { m_doc.SetMoving(!*accepted); });
}

void CMainFrame::OnNotStop()
{
    auto accepted = std::make_shared<bool>(false);
    runOperation(
        Progress::None, [this, accepted] { *accepted = m_app.SendNotStop(m_ui); },
        [this, accepted] { m_doc.SetMoving(!*accepted); });
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        // An operation cannot be broken off; the window closes when it has finished.
        m_closePending = true;
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

#include "app/shell/update_assistant.h"

#include "app/shell/compare_dialog.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace moravel {

namespace {

constexpr UpdateStep kAllSteps[] = {UpdateStep::Backup, UpdateStep::Upload, UpdateStep::Restart, UpdateStep::Restore,
                                   UpdateStep::Verify};
constexpr std::span<const UpdateStep> kRestoreSteps = std::span(kAllSteps).subspan(3);

const QString kRunning = QStringLiteral("…");
const QString kSucceeded = QStringLiteral("✓");
const QString kFailed = QStringLiteral("✗");
const QString kNotRun = QStringLiteral("–");

QString stepName(UpdateStep step) { return toQString(kUpdateStepNames[static_cast<std::size_t>(step)]); }

// Steps that "Abbrechen" may end in the middle: reads and the wait leave the controller as it
// was; an upload or a transfer broken off would leave it with half a firmware or half a set.
bool stoppableWithin(UpdateStep step)
{
    return step == UpdateStep::Backup || step == UpdateStep::Restart || step == UpdateStep::Verify;
}

// Runs call on the assistant on the GUI thread, unless it has been closed by then.
template <typename Call>
void postTo(GuiInteraction& ui, const QPointer<UpdateAssistant>& dialog, Call call)
{
    QMetaObject::invokeMethod(&ui, [dialog, call] {
        if (dialog)
            call(*dialog);
    });
}

// One step's interaction: messages and questions as the window asks them, the progress to the
// assistant, and the stop request where the step can take it.
class StepInteraction : public UserInteraction {
public:
    StepInteraction(GuiInteraction& ui, QPointer<UpdateAssistant> dialog, std::shared_ptr<std::atomic<bool>> stop)
        : m_ui(ui), m_dialog(std::move(dialog)), m_stop(std::move(stop))
    {
    }
    void setStep(UpdateStep step) { m_step = step; }

    void showMessage(std::string_view text) override { m_ui.showMessage(text); }
    bool confirm(std::string_view text) override { return m_ui.confirm(text); }
    bool showStepFailure(std::string_view text) override { return m_ui.showStepFailure(text); }
    bool stopRequested() const override { return stoppableWithin(m_step) && m_stop->load(); }
    // The steps' status texts belong to the assistant: in the window's status bar an upload's
    // "Firmwareübertragung ist abgeschlossen." would read as the end while the update waits.
    void setStatusText(std::string_view text) override
    {
        postTo(m_ui, m_dialog, [text = toQString(text)](UpdateAssistant& d) { d.showStatus(text); });
    }
    void setBusy(bool busy) override { m_ui.setBusy(busy); }
    void reportProgress(std::int64_t done, std::int64_t total) override
    {
        postTo(m_ui, m_dialog, [done, total](UpdateAssistant& d) { d.showProgress(done, total); });
    }

private:
    GuiInteraction& m_ui;
    QPointer<UpdateAssistant> m_dialog;
    std::shared_ptr<std::atomic<bool>> m_stop;
    UpdateStep m_step = UpdateStep::Backup;
};

class AssistantFrontEnd : public UpdateFrontEnd {
public:
    AssistantFrontEnd(GuiInteraction& ui, QPointer<UpdateAssistant> dialog, std::shared_ptr<std::atomic<bool>> stop)
        : m_ui(ui), m_dialog(dialog), m_stop(stop), m_step(ui, dialog, stop)
    {
    }

    UserInteraction& interaction(UpdateStep step) override
    {
        m_step.setStep(step);
        return m_step;
    }
    void stepStarted(UpdateStep step) override
    {
        post([step](UpdateAssistant& d) { d.stepStarted(step); });
    }
    void stepEnded(UpdateStep step, bool succeeded) override
    {
        post([step, succeeded](UpdateAssistant& d) { d.stepEnded(step, succeeded); });
    }
    bool goOn(UpdateStep) override { return !m_stop->load(); }
    void backupSaved(const std::string& path) override
    {
        post([path = displayPath(path)](UpdateAssistant& d) { d.showBackup(path); });
    }
    bool confirmRestart(int port, std::chrono::seconds wait) override
    {
        if (m_stop->load())
            return false;
        const QString text = QStringLiteral("Starten Sie den Controller neu (Reset) und bestätigen Sie mit OK.\n\n"
                                            "Danach wird bis zu %1 s lang an COM%2 auf ihn gewartet.")
                                 .arg(wait.count())
                                 .arg(port);
        return m_ui.confirm(text.toStdString()) && !m_stop->load();
    }

private:
    template <typename Call>
    void post(Call call)
    {
        postTo(m_ui, m_dialog, call);
    }

    GuiInteraction& m_ui;
    QPointer<UpdateAssistant> m_dialog;
    std::shared_ptr<std::atomic<bool>> m_stop;
    StepInteraction m_step;
};

QString keyCount(int n, const char* one, const char* many)
{
    return n == 1 ? QString::fromUtf8(one) : QString::fromUtf8(many).arg(n);
}

// What to do when the controller does not hold the backup's values.
QString restoreAdvice(const QString& backup)
{
    return QStringLiteral("Nächster Schritt, sobald der Controller antwortet: die Sicherung mit „Parameter → Sicherung "
                          "zurückschreiben ...“ zurückschreiben (oder sie öffnen und „Zum Controller Übertragen“); "
                          "auf der Kommandozeile:\nmoravel-cli transfer --verify \"%1\"")
        .arg(backup);
}

// Why the update or the restore ended, in a sentence or two.
QString endText(const UpdateOutcome& o, const QString& done)
{
    const std::optional<UpdateStep> step = o.step;
    if (step == UpdateStep::Backup) {
        QString text;
        switch (o.end) {
        case UpdateEnd::NoConnection:
            text = QStringLiteral("Keine Verbindung zum Controller. ");
            break;
        case UpdateEnd::KeysFailed:
            text = keyCount(o.failedKeys, "1 Parameter konnte nicht gelesen werden. ",
                            "%1 Parameter konnten nicht gelesen werden. ");
            break;
        case UpdateEnd::LinkLost:
            text = QStringLiteral("Die Verbindung zum Controller wurde unterbrochen. ");
            break;
        case UpdateEnd::BackupNotSaved:
            text = o.backupError.empty() ? QStringLiteral("Die Sicherung konnte nicht gespeichert werden. ")
                                         : QStringLiteral("Der Ordner für Sicherungen %1 kann nicht angelegt werden. ")
                                               .arg(displayPath(backupFolder().string()));
            break;
        default:
            break;
        }
        return text + QStringLiteral("Es wurde keine Firmware geschrieben; der Controller ist unverändert.");
    }
    if (step == UpdateStep::Upload) {
        switch (o.end) {
        case UpdateEnd::NoConnection:
            return QStringLiteral("Keine Verbindung zum Controller; es wurde keine Firmware geschrieben.");
        case UpdateEnd::NoBootloader:
            return QStringLiteral("Der Bootloader hat sich nicht gemeldet; es wurde keine Firmware geschrieben.");
        case UpdateEnd::ChecksumMismatch:
            return QStringLiteral("Die Firmware wurde nicht richtig geschrieben (Checksumme). Laden Sie sie erneut hoch.");
        case UpdateEnd::UploadBroken:
        case UpdateEnd::LinkLost:
            return QStringLiteral("Das Hochladen wurde nicht beendet. Laden Sie die Firmware erneut hoch.");
        default:
            return QStringLiteral("Das Hochladen wurde abgebrochen; es wurde keine Firmware geschrieben.");
        }
    }
    if (step == UpdateStep::Restart || (o.end == UpdateEnd::Stopped && !o.restoreStarted))
        return o.end == UpdateEnd::NoAnswer
                   ? QStringLiteral("Der Controller hat sich nach dem Neustart nicht an COM%1 gemeldet.").arg(o.port)
                   : QStringLiteral("Die Firmware ist hochgeladen; die Parameter wurden nicht zurückgeschrieben.");
    switch (o.end) {
    case UpdateEnd::NoConnection:
        return QStringLiteral("Keine Verbindung zum Controller; es wurde nichts übertragen.");
    case UpdateEnd::LinkLost:
        return QStringLiteral("Die Verbindung zum Controller wurde unterbrochen; er hält die Werte der Sicherung "
                              "vielleicht nur zum Teil.");
    case UpdateEnd::Stopped:
        return QStringLiteral("Abgebrochen: die Werte wurden übertragen, aber nicht zurückgelesen und geprüft.");
    case UpdateEnd::Done:
        return done;
    default:
        break;
    }
    QString text;
    if (o.failedKeys > 0)
        text += keyCount(o.failedKeys, "1 Parameter konnte nicht übertragen oder gelesen werden. ",
                         "%1 Parameter konnten nicht übertragen oder gelesen werden. ");
    if (!o.differences.empty())
        text += keyCount(static_cast<int>(o.differences.size()),
                         "1 Parameter weicht im Controller von der Sicherung ab (siehe Liste). ",
                         "%1 Parameter weichen im Controller von der Sicherung ab (siehe Liste). ");
    return text;
}

// What to do next, after a blank line; nothing when there is nothing to do.
QString adviceText(UpdateAdvice advice, const QString& backup)
{
    switch (advice) {
    case UpdateAdvice::None:
        break;
    case UpdateAdvice::UploadAgain:
    case UpdateAdvice::RestoreBackup:
        return QStringLiteral("\n\n") + restoreAdvice(backup);
    case UpdateAdvice::CheckAndRestore:
        return QStringLiteral("\n\nPrüfen Sie die Werte und schreiben Sie die Sicherung erneut zurück: „Parameter → "
                              "Sicherung zurückschreiben ...“ oder\nmoravel-cli transfer --verify \"%1\"")
            .arg(backup);
    }
    return {};
}

} // namespace

UpdateAssistant::UpdateAssistant(Kind kind, const QString& file, QWidget* parent)
    : QDialog(parent), m_kind(kind), m_file(file)
{
    setObjectName(QStringLiteral("updateAssistant"));
    setWindowTitle(kind == Kind::Update ? QStringLiteral("Firmware aktualisieren")
                                        : QStringLiteral("Sicherung zurückschreiben"));
    m_layout = new QVBoxLayout(this);
    auto* source =
        new QLabel((kind == Kind::Update ? QStringLiteral("Firmware: %1") : QStringLiteral("Sicherung: %1")).arg(file));
    source->setTextInteractionFlags(Qt::TextSelectableByMouse);
    source->setWordWrap(true);
    m_layout->addWidget(source);

    auto* grid = new QGridLayout;
    int row = 0;
    for (const UpdateStep step : kind == Kind::Update ? std::span(kAllSteps) : kRestoreSteps) {
        QLabel*& mark = m_marks[static_cast<std::size_t>(step)];
        mark = new QLabel;
        mark->setMinimumWidth(mark->fontMetrics().horizontalAdvance(kSucceeded) * 2);
        mark->setAlignment(Qt::AlignCenter);
        grid->addWidget(mark, row, 0);
        grid->addWidget(new QLabel(QStringLiteral("%1. %2").arg(row + 1).arg(stepName(step))), row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    m_layout->addLayout(grid);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("stepProgress"));
    m_progress->setRange(0, 0);
    m_layout->addWidget(m_progress);
    m_note = new QLabel;
    m_note->setWordWrap(true);
    m_layout->addWidget(m_note);

    m_backup = new QLabel(kind == Kind::Update ? QStringLiteral("Sicherung: –") : QString());
    m_backup->setObjectName(QStringLiteral("backupPath"));
    m_backup->setWordWrap(true);
    m_backup->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_backup->setVisible(kind == Kind::Update);
    m_layout->addWidget(m_backup);

    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->hide();
    m_layout->addWidget(m_summary);

    auto* buttons = new QDialogButtonBox;
    m_cancel = buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    m_cancel->setObjectName(QStringLiteral("cancelSteps"));
    m_close = buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::AcceptRole);
    m_close->setObjectName(QStringLiteral("closeAssistant"));
    m_close->setEnabled(false);
    connect(m_cancel, &QPushButton::clicked, this, &UpdateAssistant::requestStop);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    m_layout->addWidget(buttons);
    resize(560, sizeHint().height());
}

std::shared_ptr<UpdateFrontEnd> UpdateAssistant::frontEnd(GuiInteraction& ui)
{
    return std::make_shared<AssistantFrontEnd>(ui, QPointer<UpdateAssistant>(this), m_stop);
}

void UpdateAssistant::stepStarted(UpdateStep step)
{
    m_running = step;
    if (QLabel* mark = m_marks[static_cast<std::size_t>(step)])
        mark->setText(kRunning);
    m_progress->setRange(0, 0); // busy until the step reports progress
    m_progress->show();
    if (!m_stop->load())
        m_note->setText(stepName(step) + QStringLiteral(" ..."));
}

void UpdateAssistant::stepEnded(UpdateStep step, bool succeeded)
{
    m_running.reset();
    if (QLabel* mark = m_marks[static_cast<std::size_t>(step)]) {
        mark->setText(succeeded ? kSucceeded : kFailed);
        mark->setStyleSheet(succeeded ? QStringLiteral("color: #1a7f37; font-weight: bold")
                                      : QStringLiteral("color: #c62828; font-weight: bold"));
    }
}

void UpdateAssistant::showProgress(qint64 done, qint64 total)
{
    if (total <= 0)
        return;
    const int shift = total > 0x3FFFFFFF ? 10 : 0;
    m_progress->setRange(0, static_cast<int>(total >> shift));
    m_progress->setValue(static_cast<int>(std::min(done, total) >> shift));
}

void UpdateAssistant::showStatus(const QString& text)
{
    // A stop request's note stays until the steps have ended.
    if (!m_finished && !m_stop->load())
        m_note->setText(text);
}

void UpdateAssistant::showBackup(const QString& path) { m_backup->setText(QStringLiteral("Sicherung: %1").arg(path)); }

QString UpdateAssistant::stepMark(UpdateStep step) const
{
    const QLabel* mark = m_marks[static_cast<std::size_t>(step)];
    return mark != nullptr ? mark->text() : QString();
}

QString UpdateAssistant::summary() const { return m_summary->text(); }

void UpdateAssistant::requestStop()
{
    if (m_finished || m_stop->exchange(true))
        return;
    m_cancel->setEnabled(false);
    m_note->setText(
        m_running && !stoppableWithin(*m_running)
            ? QStringLiteral("Wird nach dem laufenden Schritt „%1“ abgebrochen ...").arg(stepName(*m_running))
            : QStringLiteral("Wird abgebrochen ..."));
}

void UpdateAssistant::reject()
{
    // Escape while the steps run asks them to stop; the dialog stays until they have.
    if (m_finished)
        QDialog::reject();
    else
        requestStop();
}

void UpdateAssistant::closeEvent(QCloseEvent* event)
{
    if (m_finished) {
        event->accept();
        return;
    }
    requestStop();
    event->ignore();
}

void UpdateAssistant::finish(const QString& summary, const std::vector<ParameterDifference>& differences)
{
    // A step that never reported its end (the open failed before it) ended without success.
    for (QLabel* mark : m_marks)
        if (mark != nullptr && mark->text() == kRunning)
            mark->setText(kFailed);
    m_finished = true;
    m_running.reset();
    m_progress->hide();
    m_note->hide();
    m_summary->setText(summary);
    m_summary->show();
    if (!differences.empty()) {
        m_differences = makeDifferenceTable(differences, QStringLiteral("Sicherung"), this);
        m_layout->insertWidget(m_layout->indexOf(m_summary) + 1, m_differences, 1);
    }
    m_cancel->hide();
    m_close->setEnabled(true);
    m_close->setDefault(true);
    m_close->setFocus();
    // Room for the summary and the table (whose minimum is wide enough for its columns).
    m_layout->activate();
    resize(size().expandedTo(sizeHint()));
    emit ended();
}

void UpdateAssistant::showOutcome(const UpdateOutcome& o)
{
    const bool update = m_kind == Kind::Update;
    const QString backup = update ? displayPath(o.backupPath) : m_file;
    const QString done =
        update ? QStringLiteral("Die Firmware ist aktualisiert, und der Controller hält wieder alle Parameter der "
                                "Sicherung.")
               : QStringLiteral("Der Controller hält wieder alle Parameter der Sicherung (zurückgelesen und geprüft).");
    // A step the update stopped in front of never ran: it gets a dash, not a cross.
    const bool neverRan = o.step && o.stopped && stepMark(*o.step).isEmpty();
    QString text;
    if (update && o.step)
        text = (neverRan    ? QStringLiteral("Abgebrochen vor Schritt „%1“.")
                : o.stopped ? QStringLiteral("Abgebrochen bei Schritt „%1“.")
                            : QStringLiteral("Schritt „%1“ ist fehlgeschlagen."))
                   .arg(stepName(*o.step)) +
               QStringLiteral("\n\n");
    text += endText(o, done) + adviceText(o.next(), backup);
    // The step that did not finish ends with a cross; the restore marks only the transfer
    // that never started.
    if (neverRan && update)
        m_marks[static_cast<std::size_t>(*o.step)]->setText(kNotRun);
    else if (update ? o.step.has_value() : o.step == UpdateStep::Restore && o.end == UpdateEnd::NoConnection)
        stepEnded(*o.step, false);
    finish(text, o.differences);
}

} // namespace moravel

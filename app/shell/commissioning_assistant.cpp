#include "app/shell/commissioning_assistant.h"

#include "app/dialogs/field_validation.h"
#include "app/shell/axis_control.h"
#include "app/shell/main_frame.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace moravel {
namespace {

constexpr double kDefaultDirectionDistance = 10.0;
constexpr double kDefaultCalibrationDistance = 100.0;
// The travel range is stored in whole millimetres within these bounds.
constexpr double kMaxRangeMm = 32767.0;

enum Page { WorkPage, ChangesPage, EndPage };

// The keys the assistant reads and may change, in key order.
std::array<const ParameterInfo*, 7> assistantKeys()
{
    return {&aufloesungKey(kAxisX),
            &aufloesungKey(kAxisY),
            &aufloesungKey(kAxisZ),
            &aufloesungKey(kAxisC),
            &parameterRow(kRichtungsumkehrKey),
            &parameterRow(kVerfahrbereichVonKey),
            &parameterRow(kVerfahrbereichBisKey)};
}

QChar axisName(int axis) { return QLatin1Char(kAxisLetters[static_cast<std::size_t>(axis)]); }

QString resolutionText(float value) { return QString::fromStdString(floatText(value)); }

QString refusalText(const CalibrationMove& move)
{
    switch (move.refusal) {
    case MoveRefusal::NotPositive:
        return QStringLiteral("Der Weg muss größer als 0 mm sein.");
    case MoveRefusal::BeyondTravelRange:
        return QStringLiteral("Der Weg ist länger als der Verfahrbereich der Achse (%1 mm).").arg(move.travelRange);
    case MoveRefusal::TooFewSteps:
        return QStringLiteral("Der Weg ergibt keinen ganzen Schritt.");
    case MoveRefusal::TooManySteps:
        return QStringLiteral("Der Weg ergibt mehr als 2147483647 Schritte.");
    case MoveRefusal::None:
        break;
    }
    return {};
}

QString moveOutcomeText(const MoveResult& r, int axis, std::int32_t steps, float resolution)
{
    switch (r.outcome) {
    case MoveOutcome::Done:
        return r.reachedTarget ? QStringLiteral("Achse %1 ist %2 mm gefahren (%3 Schritte).")
                                     .arg(axisName(axis))
                                     .arg(steps / static_cast<double>(resolution), 0, 'f', 1)
                                     .arg(steps)
                               : QStringLiteral("Achse %1 ist vor dem Ziel stehen geblieben.").arg(axisName(axis));
    case MoveOutcome::Stopped:
        return QStringLiteral("Die Bewegung wurde angehalten.");
    case MoveOutcome::Failed:
        return QStringLiteral("Der Controller hat die Bewegung nicht bestätigt; NotHalt wurde gesendet.");
    case MoveOutcome::NoConnection:
    case MoveOutcome::LinkLost:
        break;
    }
    return QStringLiteral("Keine Verbindung zum Controller.");
}

QTableWidgetItem* changeCell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QDoubleSpinBox* distanceBox(const QString& name, double value)
{
    auto* box = new QDoubleSpinBox;
    box->setObjectName(name);
    box->setLocale(QLocale::c()); // numbers with a point, as in the parameter dialogs
    box->setRange(0.1, kMaxRangeMm * 2);
    box->setDecimals(1);
    box->setSuffix(QStringLiteral(" mm"));
    box->setValue(value);
    return box;
}

QPushButton* assistantButton(const QString& text, const QString& name)
{
    auto* b = new QPushButton(text);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The interaction of the assistant's jobs: messages, status texts and the busy cursor as the
// window shows them, progress to the assistant's bar, and the stop requests of "Abbrechen"
// and of the stop keys while the job may be stopped.
class AssistantInteraction : public UserInteraction {
public:
    AssistantInteraction(const std::atomic<bool>& stopKeyPressed, GuiInteraction& ui, QPointer<QProgressBar> progress,
                         std::shared_ptr<std::atomic<bool>> stop)
        : m_stopKeyPressed(stopKeyPressed), m_ui(ui), m_progress(std::move(progress)), m_stop(std::move(stop))
    {
    }
    void setStoppable(bool stoppable) { m_stoppable = stoppable; }
    // A move also stops for the window's stop keys and buttons.
    void stopOnStopKeys() { m_stopKeys = true; }

    void showMessage(std::string_view text) override { m_ui.showMessage(text); }
    bool confirm(std::string_view text) override { return m_ui.confirm(text); }
    bool showStepFailure(std::string_view text) override { return m_ui.showStepFailure(text); }
    bool stopRequested() const override
    {
        return m_stoppable && (m_stop->load() || (m_stopKeys && m_stopKeyPressed.load()));
    }
    void setStatusText(std::string_view text) override { m_ui.setStatusText(text); }
    void setBusy(bool busy) override { m_ui.setBusy(busy); }
    void reportProgress(std::int64_t done, std::int64_t total) override
    {
        QMetaObject::invokeMethod(&m_ui, [bar = m_progress, done, total] {
            if (bar == nullptr || total <= 0)
                return;
            const int shift = total > 0x3FFFFFFF ? 10 : 0;
            bar->setRange(0, static_cast<int>(total >> shift));
            bar->setValue(static_cast<int>(std::min(done, total) >> shift));
            bar->show();
        });
    }

private:
    const std::atomic<bool>& m_stopKeyPressed;
    GuiInteraction& m_ui;
    QPointer<QProgressBar> m_progress;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::atomic<bool> m_stoppable = true;
    bool m_stopKeys = false;
};

} // namespace

CommissioningAssistant::CommissioningAssistant(CMainFrame& frame) : QDialog(&frame), m_frame(frame)
{
    setObjectName(QStringLiteral("commissioningAssistant"));
    setWindowTitle(QStringLiteral("Maschine einrichten"));
    auto* layout = new QVBoxLayout(this);
    m_pages = new QStackedWidget;
    layout->addWidget(m_pages, 1);

    // The work page: the axis, its values, the three tasks, the jog panel.
    auto* work = new QWidget;
    auto* workLayout = new QVBoxLayout(work);
    workLayout->setContentsMargins(0, 0, 0, 0);
    m_intro = new QLabel(QStringLiteral("Die Werte der Achsen werden vom Controller gelesen ..."));
    m_intro->setWordWrap(true);
    workLayout->addWidget(m_intro);
    auto* axisRow = new QHBoxLayout;
    axisRow->addWidget(new QLabel(QStringLiteral("Achse:")));
    m_axes = new QButtonGroup(this);
    for (int a = 0; a < static_cast<int>(kAxisCount); ++a) {
        auto* radio = new QRadioButton(QString(axisName(a)));
        radio->setObjectName(QStringLiteral("axis%1").arg(axisName(a)));
        m_axes->addButton(radio, a);
        axisRow->addWidget(radio);
    }
    m_axes->button(kAxisX)->setChecked(true);
    connect(m_axes, &QButtonGroup::idClicked, this, &CommissioningAssistant::selectAxis);
    axisRow->addStretch(1);
    workLayout->addLayout(axisRow);
    m_axisValues = new QLabel;
    m_axisValues->setObjectName(QStringLiteral("axisValues"));
    m_axisValues->setTextFormat(Qt::PlainText);
    workLayout->addWidget(m_axisValues);
    m_tasks = new QTabWidget;
    m_tasks->addTab(makeDirectionPage(), QStringLiteral("Richtung"));
    m_tasks->addTab(makeCalibrationPage(), QStringLiteral("Auflösung"));
    m_tasks->addTab(makeRangePage(), QStringLiteral("Verfahrbereich"));
    workLayout->addWidget(m_tasks);
    m_jog = new JogPanel;
    connect(m_jog, &JogPanel::jogRequested, this, &CommissioningAssistant::jog);
    workLayout->addWidget(m_jog);
    m_pages->addWidget(work);
    m_pages->addWidget(makeChangesPage());
    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pages->addWidget(m_summary);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("moveProgress"));
    QSizePolicy keepRoom = m_progress->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true); // the dialog does not jump when a move starts
    m_progress->setSizePolicy(keepRoom);
    m_progress->hide();
    layout->addWidget(m_progress);
    m_note = new QLabel;
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setWordWrap(true);
    layout->addWidget(m_note);

    auto* buttons = new QHBoxLayout;
    m_cancel = assistantButton(QStringLiteral("Abbrechen"), QStringLiteral("cancelCommissioning"));
    m_back = assistantButton(QStringLiteral("Zurück"), QStringLiteral("backToAxes"));
    m_next = assistantButton(QStringLiteral("Weiter"), QStringLiteral("showChanges"));
    m_transfer = assistantButton(QStringLiteral("Übertragen"), QStringLiteral("transferChanges"));
    m_close = assistantButton(QStringLiteral("Schließen"), QStringLiteral("closeCommissioning"));
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    for (QPushButton* b : {m_back, m_next, m_transfer, m_close})
        buttons->addWidget(b);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, &CommissioningAssistant::reject);
    connect(m_back, &QPushButton::clicked, this, [this] {
        m_pages->setCurrentIndex(WorkPage);
        setNote({});
        updateControls();
    });
    connect(m_next, &QPushButton::clicked, this, &CommissioningAssistant::showChanges);
    connect(m_transfer, &QPushButton::clicked, this, &CommissioningAssistant::transfer);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    AxisControl& axes = m_frame.axisControl();
    axes.addPanel(m_jog, AxisControl::PanelOwner::Other);
    connect(&axes, &AxisControl::positionsRead, this, &CommissioningAssistant::showPositions);
    connect(&m_frame, &CMainFrame::busyChanged, this, &CommissioningAssistant::updateControls);
    updateControls();
    resize(sizeHint().expandedTo(QSize(560, 0)));
    m_axes->button(kAxisX)->setFocus(); // not a button that moves an axis on Enter
}

CommissioningAssistant::~CommissioningAssistant() = default;

QWidget* CommissioningAssistant::makeDirectionPage()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    m_directionDistance = distanceBox(QStringLiteral("directionDistance"), kDefaultDirectionDistance);
    m_directionMove = assistantButton(QStringLiteral("In Plus-Richtung fahren"), QStringLiteral("directionMove"));
    grid->addWidget(new QLabel(QStringLiteral("Weg:")), 0, 0);
    grid->addWidget(m_directionDistance, 0, 1);
    grid->addWidget(m_directionMove, 0, 2);
    m_directionQuestion = new QLabel(QStringLiteral("Hat sich die Achse in Plus-Richtung bewegt?"));
    m_yes = assistantButton(QStringLiteral("Ja"), QStringLiteral("directionYes"));
    m_no = assistantButton(QStringLiteral("Nein"), QStringLiteral("directionNo"));
    grid->addWidget(m_directionQuestion, 1, 0, 1, 2);
    auto* answers = new QHBoxLayout;
    answers->addWidget(m_yes);
    answers->addWidget(m_no);
    grid->addLayout(answers, 1, 2);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(2, 1);
    connect(m_directionMove, &QPushButton::clicked, this, [this] {
        const double distance = m_directionDistance->value();
        const CalibrationMove move = calibrationMove(distance, mechanics(m_axis));
        if (move.refusal != MoveRefusal::None)
            return setNote(refusalText(move));
        m_directionMoved[static_cast<std::size_t>(m_axis)] = false;
        runWatchedMove(move.steps, [this](const MoveResult& r) { onDirectionMoved(r); });
    });
    connect(m_yes, &QPushButton::clicked, this, [this] { answerDirection(true); });
    connect(m_no, &QPushButton::clicked, this, [this] { answerDirection(false); });
    return page;
}

QWidget* CommissioningAssistant::makeCalibrationPage()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    m_calibrationDistance = distanceBox(QStringLiteral("calibrationDistance"), kDefaultCalibrationDistance);
    m_calibrationMove = assistantButton(QStringLiteral("Fahren"), QStringLiteral("calibrationMove"));
    grid->addWidget(new QLabel(QStringLiteral("Weg:")), 0, 0);
    grid->addWidget(m_calibrationDistance, 0, 1);
    grid->addWidget(m_calibrationMove, 0, 2);
    m_measured = new QLineEdit;
    m_measured->setObjectName(QStringLiteral("measuredDistance"));
    m_measured->setPlaceholderText(QStringLiteral("mm"));
    m_compute = assistantButton(QStringLiteral("Berechnen"), QStringLiteral("computeResolution"));
    grid->addWidget(new QLabel(QStringLiteral("Gemessener Weg:")), 1, 0);
    grid->addWidget(m_measured, 1, 1);
    grid->addWidget(m_compute, 1, 2);
    m_resolutionText = new QLabel;
    m_resolutionText->setObjectName(QStringLiteral("resolutionText"));
    m_again = assistantButton(QStringLiteral("Noch einmal"), QStringLiteral("calibrateAgain"));
    grid->addWidget(m_again, 2, 2);
    grid->addWidget(m_resolutionText, 3, 0, 1, 4);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(4, 1);
    connect(m_calibrationMove, &QPushButton::clicked, this, &CommissioningAssistant::startCalibration);
    connect(m_again, &QPushButton::clicked, this, &CommissioningAssistant::startCalibration);
    connect(m_compute, &QPushButton::clicked, this, &CommissioningAssistant::computeResolution);
    connect(m_measured, &QLineEdit::returnPressed, this, &CommissioningAssistant::computeResolution);
    return page;
}

QWidget* CommissioningAssistant::makeRangePage()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    auto* how = new QLabel(QStringLiteral("Fahren Sie die Achse mit den Tasten unten an das Ende in Minus-Richtung und "
                                          "übernehmen Sie es als Anfang, dann an das Ende in Plus-Richtung."));
    how->setWordWrap(true);
    grid->addWidget(how, 0, 0, 1, 3);
    m_rangeText = new QLabel;
    m_rangeText->setObjectName(QStringLiteral("rangeText"));
    grid->addWidget(m_rangeText, 1, 0, 1, 3);
    m_takeStart = assistantButton(QStringLiteral("Als Anfang übernehmen"), QStringLiteral("takeRangeStart"));
    m_takeEnd = assistantButton(QStringLiteral("Als Ende übernehmen"), QStringLiteral("takeRangeEnd"));
    grid->addWidget(m_takeStart, 2, 0);
    grid->addWidget(m_takeEnd, 2, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(3, 1);
    connect(m_takeStart, &QPushButton::clicked, this, [this] { takeRangeEnd(true); });
    connect(m_takeEnd, &QPushButton::clicked, this, [this] { takeRangeEnd(false); });
    return page;
}

QWidget* CommissioningAssistant::makeChangesPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_changesText = new QLabel;
    m_changesText->setWordWrap(true);
    layout->addWidget(m_changesText);
    m_changes = new QTableWidget(0, 4);
    m_changes->setObjectName(QStringLiteral("changes"));
    m_changes->setHorizontalHeaderLabels(
        {QStringLiteral("Schlüssel"), QStringLiteral("Name"), QStringLiteral("Alt"), QStringLiteral("Neu")});
    m_changes->verticalHeader()->hide();
    m_changes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_changes->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_changes->setWordWrap(false);
    m_changes->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_changes, 1);
    return page;
}

// ---- State.

float CommissioningAssistant::resolution(int axis) const
{
    return m_sets->changed.aufloesung[static_cast<std::size_t>(axis)];
}

AxisMechanics CommissioningAssistant::mechanics(int axis) const { return axisMechanics(m_sets->changed, axis); }

std::vector<const ParameterInfo*> CommissioningAssistant::changedKeys() const
{
    std::vector<const ParameterInfo*> keys;
    for (const ParameterInfo* p : assistantKeys())
        if (comparisonText(*p, m_sets->changed) != comparisonText(*p, m_sets->controller))
            keys.push_back(p);
    return keys;
}

QString CommissioningAssistant::summary() const { return m_summary->text(); }

QString CommissioningAssistant::note() const { return m_note->text(); }

void CommissioningAssistant::setNote(const QString& text) { m_note->setText(text); }

void CommissioningAssistant::setPhase(Phase phase)
{
    m_phase = phase;
    updateControls();
}

void CommissioningAssistant::updateControls()
{
    const bool ready = m_phase == Phase::Ready && !m_frame.isBusy();
    const auto a = static_cast<std::size_t>(m_axis);
    const bool onWork = m_pages->currentIndex() == WorkPage;
    const bool flipPending = m_sets->changed.richtungsumkehr[a] != m_sets->controller.richtungsumkehr[a];
    for (QAbstractButton* radio : m_axes->buttons())
        radio->setEnabled(ready);
    for (QPushButton* b : {m_directionMove, m_calibrationMove})
        b->setEnabled(ready);
    m_yes->setEnabled(ready && m_directionMoved[a]);
    m_no->setEnabled(ready && m_directionMoved[a]);
    m_measured->setEnabled(ready && m_calibrationSteps[a] != 0);
    m_compute->setEnabled(ready && m_calibrationSteps[a] != 0);
    m_calibrationMove->setVisible(m_calibrationRounds[a] == 0);
    m_again->setVisible(m_calibrationRounds[a] > 0);
    m_again->setEnabled(ready);
    // With the direction about to be reversed, the controller still counts the other way round.
    m_takeStart->setEnabled(ready && !flipPending);
    m_takeEnd->setEnabled(ready && !flipPending);
    m_jog->setJogEnabled(ready);
    m_next->setVisible(onWork && m_phase != Phase::Finished);
    m_next->setEnabled(ready);
    const bool onChanges = m_pages->currentIndex() == ChangesPage;
    m_back->setVisible(onChanges && m_phase != Phase::Finished);
    m_back->setEnabled(ready);
    m_transfer->setVisible(onChanges && m_phase != Phase::Finished);
    m_transfer->setEnabled(ready && !changedKeys().empty() && rangeProblem().isEmpty());
    m_cancel->setVisible(m_phase != Phase::Finished);
    m_cancel->setEnabled(!m_stop->load());
    m_close->setVisible(m_phase == Phase::Finished);
}

void CommissioningAssistant::updateAxisTexts()
{
    const auto a = static_cast<std::size_t>(m_axis);
    const ParameterSet& c = m_sets->controller;
    const ParameterSet& n = m_sets->changed;
    const auto pair = [](const QString& old, const QString& now) {
        return old == now ? old : QStringLiteral("%1 → %2").arg(old, now);
    };
    m_axisValues->setText(
        QStringLiteral("Achse %1: Auflösung %2 Schritte/mm · Richtungsumkehr %3 · Verfahrbereich %4 … %5 mm")
            .arg(axisName(m_axis))
            .arg(pair(resolutionText(c.aufloesung[a]), resolutionText(n.aufloesung[a])))
            .arg(pair(QString::number(c.richtungsumkehr[a]), QString::number(n.richtungsumkehr[a])))
            .arg(pair(QString::number(c.verfahrbereichVon[a]), QString::number(n.verfahrbereichVon[a])))
            .arg(pair(QString::number(c.verfahrbereichBis[a]), QString::number(n.verfahrbereichBis[a]))));
    m_resolutionText->setText(m_calibrationRounds[a] == 0
                                  ? QString()
                                  : QStringLiteral("Alt: %1 Schritte/mm – Neu: %2 Schritte/mm (Runde %3)")
                                        .arg(resolutionText(c.aufloesung[a]), resolutionText(n.aufloesung[a]))
                                        .arg(m_calibrationRounds[a]));
    m_rangeText->setText(
        n.richtungsumkehr[a] != c.richtungsumkehr[a]
            ? QStringLiteral("Die Richtung dieser Achse wird erst mit „Übertragen“ umgekehrt; nehmen Sie den "
                             "Verfahrbereich danach auf.")
            : QStringLiteral("Anfang: %1 mm – Ende: %2 mm")
                  .arg(pair(QString::number(c.verfahrbereichVon[a]), QString::number(n.verfahrbereichVon[a])))
                  .arg(pair(QString::number(c.verfahrbereichBis[a]), QString::number(n.verfahrbereichBis[a]))));
}

void CommissioningAssistant::selectAxis(int axis)
{
    if (axis < 0 || axis >= static_cast<int>(kAxisCount))
        return;
    m_axis = axis;
    m_axes->button(axis)->setChecked(true);
    const AxisMechanics m = mechanics(axis);
    const double range = static_cast<double>(m.bis) - m.von;
    m_calibrationDistance->setValue(range >= 1 ? std::min(kDefaultCalibrationDistance, range)
                                               : kDefaultCalibrationDistance);
    m_measured->clear();
    setNote({});
    updateAxisTexts();
    updateControls();
}

// ---- Jobs.

void CommissioningAssistant::runJob(Phase phase, std::function<void()> job, std::function<void()> finished)
{
    setPhase(phase);
    m_frame.m_stopPending = false;
    m_frame.runOperation(CMainFrame::Progress::None, std::move(job),
                         [dialog = QPointer<CommissioningAssistant>(this), finished = std::move(finished)] {
                             if (dialog == nullptr)
                                 return;
                             dialog->m_progress->hide();
                             if (dialog->m_phase != Phase::Finished)
                                 dialog->setPhase(Phase::Ready);
                             finished();
                             if (dialog != nullptr && dialog->m_closeWhenStopped)
                                 dialog->done(QDialog::Rejected);
                         });
}

void CommissioningAssistant::start()
{
    auto result = std::make_shared<KeyReadResult>();
    auto ui = std::make_shared<AssistantInteraction>(m_frame.m_stopPending, m_frame.m_ui, m_progress, m_stop);
    runJob(
        Phase::Reading,
        [this, sets = m_sets, result, ui] {
            if (m_frame.openConnection()) {
                const auto keys = assistantKeys();
                *result = readKeys(m_frame.m_app, keys, sets->controller, *ui);
            }
        },
        [this, result] { onRead(*result); });
}

void CommissioningAssistant::onRead(const KeyReadResult& result)
{
    if (!result.complete()) {
        finish(result.sweep.stopped ? QStringLiteral("Abgebrochen; es wurde nichts geändert.")
                                    : QStringLiteral("Die Werte der Achsen konnten nicht vom Controller gelesen "
                                                     "werden; es wurde nichts geändert."));
        return;
    }
    // Nothing has changed yet.
    const ParameterSet& c = m_sets->controller;
    ParameterSet& n = m_sets->changed;
    n.aufloesung = c.aufloesung;
    n.richtungsumkehr = c.richtungsumkehr;
    n.verfahrbereichVon = c.verfahrbereichVon;
    n.verfahrbereichBis = c.verfahrbereichBis;
    m_intro->setText(QStringLiteral("Wählen Sie eine Achse und prüfen Sie Richtung, Auflösung und Verfahrbereich. Zum "
                                    "Controller übertragen wird erst am Ende, mit „Weiter“ und „Übertragen“."));
    selectAxis(m_axis);
}

void CommissioningAssistant::runWatchedMove(std::int32_t steps, std::function<void(const MoveResult&)> done)
{
    auto result = std::make_shared<MoveResult>();
    auto ui = std::make_shared<AssistantInteraction>(m_frame.m_stopPending, m_frame.m_ui, m_progress, m_stop);
    ui->stopOnStopKeys();
    const int axis = m_axis;
    m_progress->setRange(0, 0);
    m_progress->show();
    setNote(QStringLiteral("Achse %1 fährt %2 Schritte ... (Abbrechen: NotHalt)").arg(axisName(axis)).arg(steps));
    runJob(
        Phase::Moving,
        [this, axis, steps, result, ui] {
            *result = runMove(m_frame.m_app, axis, steps, *ui, [this] { return m_frame.m_stopPressed.load(); });
        },
        [this, axis, steps, result, done = std::move(done)] {
            m_frame.m_doc.SetMoving(result->outcome == MoveOutcome::Done);
            setNote(moveOutcomeText(*result, axis, steps, resolution(axis)));
            if (!m_closeWhenStopped)
                done(*result);
            updateControls();
        });
}

void CommissioningAssistant::onDirectionMoved(const MoveResult& r)
{
    m_directionMoved[static_cast<std::size_t>(m_axis)] = r.outcome == MoveOutcome::Done;
    if (r.outcome == MoveOutcome::Done)
        setNote(note() + QStringLiteral(" Hat sich die Achse in Plus-Richtung bewegt?"));
}

void CommissioningAssistant::answerDirection(bool plus)
{
    const auto a = static_cast<std::size_t>(m_axis);
    // The answer is about the wiring as the controller drives it now.
    const std::int32_t now = m_sets->controller.richtungsumkehr[a];
    m_sets->changed.richtungsumkehr[a] = plus ? now : 1 - now;
    m_directionMoved[a] = false;
    setNote(plus ? QStringLiteral("Die Richtung der Achse %1 stimmt.").arg(axisName(m_axis))
                 : QStringLiteral("Die Richtung der Achse %1 wird umgekehrt (Richtungsumkehr %2 → %3).")
                       .arg(axisName(m_axis))
                       .arg(now)
                       .arg(1 - now));
    updateAxisTexts();
    updateControls();
}

void CommissioningAssistant::startCalibration()
{
    const CalibrationMove move = calibrationMove(m_calibrationDistance->value(), mechanics(m_axis));
    if (move.refusal != MoveRefusal::None)
        return setNote(refusalText(move));
    const auto a = static_cast<std::size_t>(m_axis);
    m_calibrationSteps[a] = 0;
    m_measured->clear();
    runWatchedMove(move.steps, [this, a, steps = move.steps](const MoveResult& r) {
        if (r.outcome == MoveOutcome::Done && r.reachedTarget) {
            m_calibrationSteps[a] = steps;
            setNote(note() + QStringLiteral(" Messen Sie den Weg und tragen Sie ihn ein."));
            m_measured->setEnabled(true);
            m_measured->setFocus();
        }
    });
}

void CommissioningAssistant::computeResolution()
{
    const auto a = static_cast<std::size_t>(m_axis);
    if (m_phase != Phase::Ready || m_calibrationSteps[a] == 0)
        return;
    // A decimal comma is taken as well as the point.
    const std::string text = m_measured->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toStdString();
    const FieldCheck<float> measured = checkFloatField(text, 0, 1e9);
    if (!measured.ok() || !(*measured.value > 0))
        return setNote(QStringLiteral("Bitte den gemessenen Weg in mm eintragen (eine Zahl größer als 0)."));
    const NewResolution next = newResolution(m_calibrationSteps[a], *measured.value);
    if (!next.accepted)
        return setNote(QStringLiteral("%1 Schritte/mm liegt außerhalb von 0.1 bis 999 und wird nicht übernommen.")
                           .arg(next.exact, 0, 'f', 6));
    m_sets->changed.aufloesung[a] = next.value;
    m_calibrationSteps[a] = 0;
    ++m_calibrationRounds[a];
    setNote(QStringLiteral("Neue Auflösung der Achse %1: %2 Schritte/mm. „Noch einmal“ prüft sie mit einer weiteren "
                           "Fahrt.")
                .arg(axisName(m_axis))
                .arg(resolutionText(next.value)));
    updateAxisTexts();
    updateControls();
}

void CommissioningAssistant::takeRangeEnd(bool start)
{
    auto position = std::make_shared<std::optional<std::array<float, 4>>>();
    auto ui = std::make_shared<AssistantInteraction>(m_frame.m_stopPending, m_frame.m_ui, m_progress, m_stop);
    runJob(
        Phase::Working, [this, position, ui] { *position = queryPosition(m_frame.m_app, *ui); },
        [this, position, start] {
            if (!*position)
                return setNote(QStringLiteral("Die Position konnte nicht abgefragt werden."));
            const auto a = static_cast<std::size_t>(m_axis);
            // The controller counts millimetres with its own Auflösung; the steps it has made
            // are millimetres of the new one.
            const double mm = static_cast<double>((**position)[a]) * m_sets->controller.aufloesung[a] / resolution(m_axis);
            const double whole = std::round(mm);
            if (!(std::abs(whole) <= kMaxRangeMm))
                return setNote(QStringLiteral("Die Position %1 mm liegt außerhalb von -32767 bis 32767 mm.")
                                   .arg(mm, 0, 'f', 1));
            (start ? m_sets->changed.verfahrbereichVon : m_sets->changed.verfahrbereichBis)[a] =
                static_cast<std::int32_t>(whole);
            setNote((start ? QStringLiteral("Anfang der Achse %1: %2 mm.") : QStringLiteral("Ende der Achse %1: %2 mm."))
                        .arg(axisName(m_axis))
                        .arg(static_cast<std::int32_t>(whole)));
            updateAxisTexts();
        });
}

void CommissioningAssistant::jog(std::size_t axis, double millimetres)
{
    if (m_phase != Phase::Ready || m_frame.isBusy())
        return;
    // Steps of the newest Auflösung, so that the millimetres are those of the machine.
    const double steps = std::round(millimetres * resolution(static_cast<int>(axis)));
    if (std::abs(steps) < 1 || std::abs(steps) > 2147483647.0)
        return setNote(QStringLiteral("Die Schrittweite ergibt keinen ganzen Schritt."));
    m_jogUnsettled = true;
    m_lastPositions.reset();
    m_frame.axisControl().move(axis, static_cast<std::int32_t>(steps));
}

void CommissioningAssistant::showPositions(const PositionPoll& reading)
{
    if (!reading.read)
        return m_jog->showNoPositions();
    if (m_lastPositions == reading.millimetres)
        m_jogUnsettled = false;
    m_lastPositions = reading.millimetres;
    std::array<float, kAxisCount> mm = reading.millimetres;
    for (std::size_t a = 0; a < kAxisCount; ++a)
        mm[a] = static_cast<float>(static_cast<double>(mm[a]) * m_sets->controller.aufloesung[a] /
                                   resolution(static_cast<int>(a)));
    m_jog->showPositions(mm);
}

// ---- The end.

QString CommissioningAssistant::rangeProblem() const
{
    // A range taken here whose start is not below its end (the ends taken the wrong way round)
    // is not sent.
    const ParameterSet& c = m_sets->controller;
    const ParameterSet& n = m_sets->changed;
    for (int axis = 0; axis < static_cast<int>(kAxisCount); ++axis) {
        const auto a = static_cast<std::size_t>(axis);
        const bool taken = n.verfahrbereichVon[a] != c.verfahrbereichVon[a] || n.verfahrbereichBis[a] != c.verfahrbereichBis[a];
        if (taken && n.verfahrbereichVon[a] >= n.verfahrbereichBis[a])
            return QStringLiteral("Der Verfahrbereich der Achse %1 (%2 … %3 mm) endet nicht hinter seinem Anfang; "
                                  "bitte Anfang und Ende neu übernehmen.")
                .arg(axisName(axis))
                .arg(n.verfahrbereichVon[a])
                .arg(n.verfahrbereichBis[a]);
    }
    return {};
}

void CommissioningAssistant::showChanges()
{
    const std::vector<const ParameterInfo*> keys = changedKeys();
    m_changes->setRowCount(static_cast<int>(keys.size()));
    int row = 0;
    for (const ParameterInfo* p : keys) {
        m_changes->setItem(row, 0, changeCell(QStringLiteral("%1").arg(p->key.value, 4, 16, QLatin1Char('0'))));
        m_changes->setItem(row, 1, changeCell(toQString(p->itemMacro)));
        m_changes->setItem(row, 2, changeCell(toQString(valueText(*p, m_sets->controller))));
        m_changes->setItem(row, 3, changeCell(toQString(valueText(*p, m_sets->changed))));
        ++row;
    }
    m_changes->resizeColumnsToContents();
    m_changes->setVisible(!keys.empty());
    const QString problem = rangeProblem();
    m_changesText->setText(keys.empty()         ? QStringLiteral("Es wurde nichts geändert; es gibt nichts zu übertragen.")
                           : !problem.isEmpty() ? problem
                                                : QStringLiteral("Diese Parameter werden zum Controller übertragen. "
                                                                 "Vorher wird der ganze Parametersatz des Controllers "
                                                                 "gesichert."));
    m_pages->setCurrentIndex(ChangesPage);
    setNote({});
    updateControls();
}

void CommissioningAssistant::transfer()
{
    const std::vector<const ParameterInfo*> keys = changedKeys();
    if (keys.empty())
        return;
    auto backup = std::make_shared<BackupResult>();
    auto change = std::make_shared<KeyChangeResult>();
    auto ui = std::make_shared<AssistantInteraction>(m_frame.m_stopPending, m_frame.m_ui, m_progress, m_stop);
    setNote(QStringLiteral("Der Parametersatz des Controllers wird gesichert ..."));
    runJob(
        Phase::Transferring,
        [this, sets = m_sets, keys, backup, change, ui] {
            if (!m_frame.openConnection())
                return;
            *backup = backupControllerSet(m_frame.m_app, *ui);
            if (!backup->saved())
                return;
            // From here on the few keys go out to the end and are read back.
            ui->setStoppable(false);
            *change = changeKeys(m_frame.m_app, sets->changed, keys, *ui);
        },
        [this, backup, change] { onTransferred(*backup, *change); });
}

void CommissioningAssistant::onTransferred(const BackupResult& backup, const KeyChangeResult& change)
{
    if (!backup.saved()) {
        QString why;
        if (!backup.read.connected)
            why = QStringLiteral("Keine Verbindung zum Controller");
        else if (backup.read.stopped)
            why = QStringLiteral("Abgebrochen");
        else if (backup.read.failedKeys > 0 || backup.read.linkLost)
            why = QStringLiteral("Die Sicherung konnte nicht vollständig gelesen werden");
        else
            why = QStringLiteral("Die Sicherung konnte nicht gespeichert werden");
        // Back to the list, so that the user may try again.
        setNote(why + QStringLiteral("; es wurde nichts übertragen."));
        return;
    }
    // Keys have gone out: the outcome stays on screen, also after "Abbrechen".
    m_closeWhenStopped = false;
    const QString path = displayPath(backup.path);
    std::vector<const ParameterInfo*> held;
    for (const ParameterInfo* p : changedKeys()) {
        const bool failed = std::ranges::find(change.failed, p) != change.failed.end();
        const bool differs = std::ranges::any_of(change.differences, [p](const auto& d) { return d.parameter == p; });
        if (!failed && !differs)
            held.push_back(p);
    }
    if (change.sweep.connected && !change.sweep.linkLost && !held.empty()) {
        takeIntoDocument(m_frame.m_doc, m_sets->changed, held);
        m_frame.documentChanged();
    }
    if (change.verified()) {
        finish(QStringLiteral("Der Controller hält die neuen Werte (zurückgelesen und geprüft); sie stehen auch im "
                              "Dokument.\n\nSicherung des vorigen Parametersatzes:\n%1")
                   .arg(path));
        return;
    }
    QString names;
    for (const ParameterInfo* p : changedKeys())
        if (std::ranges::find(held, p) == held.end())
            names += QStringLiteral("\n%1").arg(toQString(p->itemMacro));
    finish(QStringLiteral("Diese Parameter hält der Controller nicht wie gesendet:%1\n\nSicherung des vorigen "
                          "Parametersatzes:\n%2\nZurückschreiben mit „Parameter → Sicherung zurückschreiben ...“.")
               .arg(names.isEmpty() ? QStringLiteral("\n(Verbindung unterbrochen)") : names, path));
}

void CommissioningAssistant::finish(const QString& text)
{
    m_summary->setText(text);
    m_pages->setCurrentIndex(EndPage);
    setNote({});
    setPhase(Phase::Finished);
    m_close->setDefault(true);
    m_close->setFocus();
    emit ended();
}

void CommissioningAssistant::requestStop()
{
    if (m_stop->exchange(true))
        return;
    setNote(m_phase == Phase::Transferring ? QStringLiteral("Wird abgebrochen; begonnene Übertragungen werden zu Ende "
                                                            "geführt ...")
                                           : QStringLiteral("Wird abgebrochen ..."));
    updateControls();
}

void CommissioningAssistant::reject()
{
    // With nothing running, "Abbrechen" and Escape close the assistant at once; otherwise the
    // running job is asked to stop (a move with NotHalt), and the assistant closes after it,
    // except after a transfer, whose outcome is shown.
    if (m_phase == Phase::Ready || m_phase == Phase::Finished) {
        if (m_phase == Phase::Ready && m_jogUnsettled)
            m_frame.OnNotHalt(); // a jog may still travel
        return QDialog::reject();
    }
    m_closeWhenStopped = true;
    requestStop();
}

void CommissioningAssistant::closeEvent(QCloseEvent* event)
{
    if (m_phase == Phase::Ready || m_phase == Phase::Finished) {
        event->accept();
        return;
    }
    reject();
    event->ignore();
}

} // namespace moravel

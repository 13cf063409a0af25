#pragma once
// The assistant of "Parameter → Maschine einrichten ...": per axis the direction check, the
// calibration of the Auflösung and the travel range, then one transfer of what changed.
//
// At the start it reads what the controller holds for the four axes (Auflösung, Richtungsumkehr,
// Verfahrbereich von and bis). Nothing is sent until the end: every answer and measurement
// goes into a set of new values, and moves use the newest Auflösung known (steps, so the
// controller's own value does not matter for them). The last page lists every key that
// changed; "Übertragen" saves a backup of the controller's whole set, sends just those keys
// between mode 1 and mode 2, reads them back and puts what the controller holds into the
// open document.
//
// Everything that talks to the controller runs on the window's worker thread; the dialog is
// not modal and the stop keys F8/F9 stay live. A move that the assistant watches to its end
// ends at once with a stop key or "Abbrechen" (which sends NotHalt); "Abbrechen" at any other
// point changes nothing, and during the backup it ends the read. Only the few keys of the
// transfer itself are always sent to the end.

// moc cannot parse the C++20 headers this one pulls in; it needs none of its declarations.
#ifndef Q_MOC_RUN
#include "app/controller/commissioning.h"
#endif
#include "app/shell/jog_panel.h"

#include <QDialog>

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QButtonGroup;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableWidget;

namespace moravel {

class CMainFrame;
struct PositionPoll;

class CommissioningAssistant : public QDialog {
    Q_OBJECT
public:
    explicit CommissioningAssistant(CMainFrame& frame);
    ~CommissioningAssistant() override;

    // Reads the axes' keys from the controller (opening the connection if needed).
    void start();
    // The end is shown (the transfer done, or the start's read failed).
    bool finished() const { return m_phase == Phase::Finished; }
    // A move watched to its end is under way.
    bool moving() const { return m_phase == Phase::Moving; }
    // Nothing runs and the axes' values are known: the user may pick the next step.
    bool ready() const { return m_phase == Phase::Ready; }

    // The axis the pages work on (kAxisX ... kAxisC).
    int axis() const { return m_axis; }
    void selectAxis(int axis);
    QTabWidget* tasks() const { return m_tasks; }
    JogPanel* jogPanel() const { return m_jog; }
    // The keys that changed, on the last page (key, name, old, new).
    QTableWidget* changeTable() const { return m_changes; }
    QString summary() const;
    // The note of the page shown, for the tests.
    QString note() const;

signals:
    // The summary is shown and the dialog can be closed.
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    enum class Phase { Reading, Ready, Moving, Working, Transferring, Finished };
    // The values of the controller and the new ones; shared with the worker's jobs.
    struct Sets {
        ParameterSet controller;
        ParameterSet changed;
    };

    QWidget* makeDirectionPage();
    QWidget* makeCalibrationPage();
    QWidget* makeRangePage();
    QWidget* makeChangesPage();

    // A job of the worker; finished (GUI thread) runs unless the dialog is gone.
    void runJob(Phase phase, std::function<void()> job, std::function<void()> finished);
    // A move of steps on the current axis, watched to its end; done with the outcome.
    void runWatchedMove(std::int32_t steps, std::function<void(const MoveResult&)> done);
    void onRead(const KeyReadResult& result);
    void onDirectionMoved(const MoveResult& result);
    void answerDirection(bool plus);
    void startCalibration();
    void computeResolution();
    void takeRangeEnd(bool start);
    void jog(std::size_t axis, double millimetres);
    void showPositions(const PositionPoll& reading);
    void showChanges();
    void transfer();
    void onTransferred(const BackupResult& backup, const KeyChangeResult& change);
    void requestStop();
    void finish(const QString& summary);
    void setPhase(Phase phase);
    void updateControls();
    void updateAxisTexts();
    void setNote(const QString& text);

    // The newest Auflösung of an axis: measured here, or the controller's.
    float resolution(int axis) const;
    // The axis's data for the arithmetic, with the newest Auflösung and travel range.
    AxisMechanics mechanics(int axis) const;
    // The keys whose new value differs from the controller's, in key order.
    std::vector<const ParameterInfo*> changedKeys() const;
    // Why the new travel ranges cannot be sent, or empty.
    QString rangeProblem() const;

    CMainFrame& m_frame;
    std::shared_ptr<Sets> m_sets = std::make_shared<Sets>();
    Phase m_phase = Phase::Reading;
    int m_axis = kAxisX;
    bool m_closeWhenStopped = false;
    // A jog of the assistant's panel may still be travelling: it has not been seen standing
    // still in two position queries in a row since.
    bool m_jogUnsettled = false;
    std::optional<std::array<float, kAxisCount>> m_lastPositions;
    // Per axis: the steps of the last calibration move, waiting for its measurement.
    std::array<std::int32_t, kAxisCount> m_calibrationSteps{};
    std::array<int, kAxisCount> m_calibrationRounds{};
    std::array<bool, kAxisCount> m_directionMoved{};
    // Set by "Abbrechen"; read by the worker during the moves and the backup.
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);

    QStackedWidget* m_pages = nullptr;
    QLabel* m_intro = nullptr;
    QButtonGroup* m_axes = nullptr;
    QLabel* m_axisValues = nullptr;
    QTabWidget* m_tasks = nullptr;
    QDoubleSpinBox* m_directionDistance = nullptr;
    QPushButton* m_directionMove = nullptr;
    QLabel* m_directionQuestion = nullptr;
    QPushButton* m_yes = nullptr;
    QPushButton* m_no = nullptr;
    QDoubleSpinBox* m_calibrationDistance = nullptr;
    QPushButton* m_calibrationMove = nullptr;
    QLineEdit* m_measured = nullptr;
    QPushButton* m_compute = nullptr;
    QLabel* m_resolutionText = nullptr;
    QPushButton* m_again = nullptr;
    QLabel* m_rangeText = nullptr;
    QPushButton* m_takeStart = nullptr;
    QPushButton* m_takeEnd = nullptr;
    JogPanel* m_jog = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_note = nullptr;
    QLabel* m_changesText = nullptr;
    QTableWidget* m_changes = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_transfer = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace moravel

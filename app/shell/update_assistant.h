#pragma once
// The assistant of "Firmware → Aktualisieren (Einstellungen behalten) ..." and of
// "Parameter → Sicherung zurückschreiben ...": the steps with a check mark or a cross each, a
// progress bar for the running step, the backup's path, and at the end a summary with the keys
// that differ and what to do next.
//
// The steps run on the window's worker thread; the dialog is not modal, so the window stays
// usable (its emergency stops above all). "Abbrechen" asks the steps to end: a read or the
// wait for the restarted controller ends at once, an upload or a transfer is finished first,
// so the controller never holds half a firmware or half a set because of it.

#include "app/controller/firmware_update.h"
#include "app/shell/gui_interaction.h"

#include <QDialog>
#include <QPointer>

#include <array>
#include <atomic>
#include <memory>
#include <span>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace moravel {

class UpdateAssistant : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Update, Restore };
    UpdateAssistant(Kind kind, const QString& file, QWidget* parent);

    // The steps' front end, for the worker thread: messages and questions go through ui, the
    // progress and the steps' states to this dialog. Valid for as long as the job holds it.
    std::shared_ptr<UpdateFrontEnd> frontEnd(GuiInteraction& ui);

    // The end (GUI thread): the summary, and the differing keys if any.
    void showOutcome(const UpdateOutcome& outcome);

    // For the tests: a step's mark ("" waiting, "…" running, "✓", "✗", "–" stopped in front
    // of it), the summary.
    QString stepMark(UpdateStep step) const;
    QString summary() const;
    QLabel* backupLabel() const { return m_backup; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* closeButton() const { return m_close; }
    QTableWidget* differenceTable() const { return m_differences; }
    bool finished() const { return m_finished; }

    // GUI thread: what the front end reports.
    void stepStarted(UpdateStep step);
    void stepEnded(UpdateStep step, bool succeeded);
    void showProgress(qint64 done, qint64 total);
    void showBackup(const QString& path);
    // A step's status text, in the line below the progress bar.
    void showStatus(const QString& text);

signals:
    // The summary is shown and the dialog can be closed.
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void requestStop();
    void finish(const QString& summary, const std::vector<ParameterDifference>& differences);

    Kind m_kind;
    QString m_file; // the firmware or the backup file
    std::array<QLabel*, kUpdateStepCount> m_marks{};
    QLabel* m_note = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_backup = nullptr;
    QLabel* m_summary = nullptr;
    QTableWidget* m_differences = nullptr;
    QVBoxLayout* m_layout = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_close = nullptr;
    std::optional<UpdateStep> m_running;
    bool m_finished = false;
    // Set by "Abbrechen"; read by the worker.
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
};

} // namespace moravel

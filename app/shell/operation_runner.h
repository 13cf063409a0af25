#pragma once
// The one worker thread of the window: controller operations run here, one after another.
//
// The window hands each controller command to run(): the job runs on the worker thread, and
// its completion afterwards on the GUI thread. Jobs run in the order they were queued and
// completions in the same order; because there is exactly one worker, no two operations use
// the connection at once.
// While any job is queued or running, busy() is true; the window disables the controller and
// document commands then, so the GUI thread does not touch what a job is using.
// A quiet job (runQuietly: a position query the window makes on its own) takes its turn like
// any other but does not make the runner busy: the commands stay enabled, and one started
// meanwhile queues behind it. Such a job touches only the connection, never the document.

#include <QObject>
#include <QThread>

#include <functional>

namespace moravel {

class OperationRunner : public QObject {
    Q_OBJECT
public:
    explicit OperationRunner(QObject* parent = nullptr);
    // Waits for the job that is running; jobs not yet started are dropped. REQUIRES: the job
    // does not wait for the GUI thread any more (the window shuts its GuiInteraction down).
    ~OperationRunner() override;

    // Queues job for the worker thread; finished (optional) runs on the GUI thread after it.
    // GUI thread only.
    void run(std::function<void()> job, std::function<void()> finished = {});

    // Like run, but the job does not count towards busy(). GUI thread only.
    void runQuietly(std::function<void()> job, std::function<void()> finished = {});

    bool busy() const { return m_pending > 0; }
    // No job at all is queued or running, quiet ones included.
    bool idle() const { return m_pending == 0 && m_quiet == 0; }

signals:
    void busyChanged(bool busy);

private:
    void post(std::function<void()> job, std::function<void()> finished, bool quiet);
    void jobDone(const std::function<void()>& finished, bool quiet);

    QThread m_thread;
    QObject* m_context; // lives on m_thread; jobs are posted to it
    int m_pending = 0;  // GUI thread only
    int m_quiet = 0;    // quiet jobs queued or running; GUI thread only
};

} // namespace moravel

#pragma once
// The one worker thread of the window: controller operations run here, one after another.
//
// The window hands each controller command to run(): the job runs on the worker thread, and
// its completion afterwards on the GUI thread. Jobs run in the order they were queued and
// completions in the same order; because there is exactly one worker, no two operations use
// the connection at once.
// While any job is queued or running, busy() is true; the window disables the controller and
// document commands then, so the GUI thread does not touch what a job is using.

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

    bool busy() const { return m_pending > 0; }

signals:
    void busyChanged(bool busy);

private:
    void jobDone(const std::function<void()>& finished);

    QThread m_thread;
    QObject* m_context; // lives on m_thread; jobs are posted to it
    int m_pending = 0;  // GUI thread only
};

} // namespace moravel

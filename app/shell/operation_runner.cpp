#include "app/shell/operation_runner.h"

#include <QDebug>

#include <exception>

namespace moravel {

OperationRunner::OperationRunner(QObject* parent) : QObject(parent), m_context(new QObject)
{
    m_thread.setObjectName(QStringLiteral("controller"));
    m_context->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread.start();
}

OperationRunner::~OperationRunner()
{
    m_thread.quit();
    m_thread.wait();
}

void OperationRunner::run(std::function<void()> job, std::function<void()> finished)
{
    if (m_pending++ == 0)
        emit busyChanged(true);
    post(std::move(job), std::move(finished), false);
}

void OperationRunner::runQuietly(std::function<void()> job, std::function<void()> finished)
{
    ++m_quiet;
    post(std::move(job), std::move(finished), true);
}

void OperationRunner::post(std::function<void()> job, std::function<void()> finished, bool quiet)
{
    QMetaObject::invokeMethod(
        m_context,
        [this, job = std::move(job), finished = std::move(finished), quiet] {
            try {
                job();
            } catch (const std::exception& e) {
                qWarning("controller operation ended by an exception: %s", e.what());
            } catch (...) {
                qWarning("controller operation ended by an exception");
            }
            QMetaObject::invokeMethod(
                this, [this, finished, quiet] { jobDone(finished, quiet); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void OperationRunner::jobDone(const std::function<void()>& finished, bool quiet)
{
    if (quiet) {
        --m_quiet;
        if (finished)
            finished();
        return;
    }
    if (finished)
        finished();
    if (--m_pending == 0)
        emit busyChanged(false);
}

} // namespace moravel

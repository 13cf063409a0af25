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
    QMetaObject::invokeMethod(
        m_context,
        [this, job = std::move(job), finished = std::move(finished)] {
            try {
                job();
            } catch (const std::exception& e) {
                qWarning("controller operation ended by an exception: %s", e.what());
            } catch (...) {
                qWarning("controller operation ended by an exception");
            }
            QMetaObject::invokeMethod(
                this, [this, finished] { jobDone(finished); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void OperationRunner::jobDone(const std::function<void()>& finished)
{
    if (finished)
        finished();
    if (--m_pending == 0)
        emit busyChanged(false);
}

} // namespace moravel

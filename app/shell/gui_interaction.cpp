#include "app/shell/gui_interaction.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <optional>

namespace moravel {

// What the worker's box requests share with the GUI thread: a worker waits on changed until
// its request has an answer or the interaction has been shut down.
struct GuiInteraction::Answers {
    std::mutex mutex;
    std::condition_variable changed;
    bool shutDown = false;
};

GuiInteraction::GuiInteraction(QObject* parent) : QObject(parent), m_answers(std::make_shared<Answers>()) {}

GuiInteraction::~GuiInteraction() { shutDown(); }

void GuiInteraction::shutDown()
{
    {
        const std::lock_guard lock(m_answers->mutex);
        m_answers->shutDown = true;
    }
    m_answers->changed.notify_all();
}

bool GuiInteraction::showBox(const QString& text, bool withCancel)
{
    // On the heap: the window may be destroyed while the box is open, and takes the box along.
    const QPointer<QMessageBox> box =
        new QMessageBox(withCancel ? QMessageBox::Information : QMessageBox::Warning,
                        QString::fromLatin1(ApplicationTitle), text, QMessageBox::Ok, m_window);
    if (withCancel)
        box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Ok);
    // The wait cursor of a running operation would hide that the box wants a click.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box->exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    delete box; // nothing when the window took it along
    return answer == QMessageBox::Ok;
}

bool GuiInteraction::runOnGuiThread(const QString& text, bool withCancel)
{
    if (QThread::currentThread() == thread())
        return showBox(text, withCancel);

    const std::shared_ptr<Answers> answers = m_answers;
    const auto reply = std::make_shared<std::optional<bool>>(); // guarded by answers->mutex
    std::unique_lock lock(answers->mutex);
    if (answers->shutDown)
        return false;
    // The box runs in a nested event loop, in which this object may be destroyed; after it,
    // the request touches only what it shares with the worker.
    QMetaObject::invokeMethod(
        this,
        [this, answers, reply, text, withCancel] {
            {
                const std::lock_guard guiLock(answers->mutex);
                if (answers->shutDown)
                    return; // the worker has had its answer
            }
            const bool answer = showBox(text, withCancel);
            {
                const std::lock_guard guiLock(answers->mutex);
                *reply = answer;
            }
            answers->changed.notify_all();
        },
        Qt::QueuedConnection);
    answers->changed.wait(lock, [&] { return answers->shutDown || reply->has_value(); });
    return reply->value_or(false);
}

void GuiInteraction::showMessage(std::string_view text) { runOnGuiThread(toQString(text), false); }

bool GuiInteraction::confirm(std::string_view text) { return runOnGuiThread(toQString(text), true); }

void GuiInteraction::setStatusText(std::string_view text) { emit statusTextChanged(toQString(text)); }

void GuiInteraction::setBusy(bool busy)
{
    QMetaObject::invokeMethod(this, [this, busy] { changeBusy(busy); });
}

void GuiInteraction::changeBusy(bool busy)
{
    if (busy) {
        if (m_busyDepth++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busyDepth > 0) {
        if (--m_busyDepth == 0)
            QApplication::restoreOverrideCursor();
    }
    emit busyChanged(m_busyDepth > 0);
}

void GuiInteraction::reportProgress(std::int64_t done, std::int64_t total) { emit progressChanged(done, total); }

QString openFileFilter(const char* kind)
{
    return QStringLiteral("%1;;%2").arg(QLatin1String(kind), QLatin1String(AllFilesFilter));
}

DocumentPrompts::SaveAnswer WindowPrompts::askSaveChanges(const CMoravelSDIDoc& doc)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(ApplicationTitle),
                    QStringLiteral("Änderungen in %1 speichern?").arg(toQString(doc.title())),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_window);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return SaveAnswer::Yes;
    case QMessageBox::No:
        return SaveAnswer::No;
    default:
        return SaveAnswer::Cancel;
    }
}

std::optional<std::string> WindowPrompts::chooseSavePath(const std::string& proposed)
{
    QFileDialog dialog(m_window, QStringLiteral("Speichern unter"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QLatin1String(ParameterFilesFilter));
    dialog.setDefaultSuffix(QStringLiteral("ncp"));
    dialog.selectFile(QString::fromStdString(proposed));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return localPath(dialog.selectedFiles().constFirst());
}

} // namespace moravel

namespace moravel {

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString displayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

} // namespace moravel

#include "app/shell/gui_interaction.h"

#include "params/parameter_table.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <condition_variable>
#include <filesystem>
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

bool GuiInteraction::showBox(const QString& text, BoxKind kind)
{
    // On the heap: the window may be destroyed while the box is open, and takes the box along.
    const QPointer<QMessageBox> box =
        new QMessageBox(kind == BoxKind::Confirm ? QMessageBox::Information : QMessageBox::Warning,
                        QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, m_window);
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    QAbstractButton* cancel = nullptr;
    if (kind == BoxKind::Confirm) {
        cancel = box->addButton(QMessageBox::Cancel);
    } else if (kind == BoxKind::StepFailure) {
        cancel = box->addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
        cancel->setObjectName(QStringLiteral("stopOperation"));
        // Only the button itself ends the operation; Escape and the close box go on.
        box->setEscapeButton(ok);
    }
    box->setDefaultButton(QMessageBox::Ok);
    // The wait cursor of a running operation would hide that the box wants a click.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box->exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    bool result = answer == QMessageBox::Ok;
    if (kind == BoxKind::StepFailure)
        result = box.isNull() || box->clickedButton() != cancel;
    delete box; // nothing when the window took it along
    return result;
}

bool GuiInteraction::runOnGuiThread(const QString& text, BoxKind kind)
{
    if (QThread::currentThread() == thread())
        return showBox(text, kind);

    const std::shared_ptr<Answers> answers = m_answers;
    const auto reply = std::make_shared<std::optional<bool>>(); // guarded by answers->mutex
    std::unique_lock lock(answers->mutex);
    if (answers->shutDown)
        return false;
    // The box runs in a nested event loop, in which this object may be destroyed; after it,
    // the request touches only what it shares with the worker.
    QMetaObject::invokeMethod(
        this,
        [this, answers, reply, text, kind] {
            {
                const std::lock_guard guiLock(answers->mutex);
                if (answers->shutDown)
                    return; // the worker has had its answer
            }
            const bool answer = showBox(text, kind);
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

void GuiInteraction::showMessage(std::string_view text) { runOnGuiThread(toQString(text), BoxKind::Message); }

bool GuiInteraction::confirm(std::string_view text) { return runOnGuiThread(toQString(text), BoxKind::Confirm); }

bool GuiInteraction::showStepFailure(std::string_view text)
{
    return runOnGuiThread(toQString(text), BoxKind::StepFailure);
}

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
    return QStringLiteral("%1;;%2").arg(QLatin1String(kind), QLatin1String(kAllFilesFilter));
}

void WindowPrompts::protectPath(CMoravelSDIDoc* doc, std::string path)
{
    m_doc = doc;
    m_protected = std::move(path);
}

DocumentPrompts::SaveAnswer WindowPrompts::askSaveChanges(const CMoravelSDIDoc& doc)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle),
                    QStringLiteral("Änderungen in %1 speichern?").arg(toQString(doc.title())),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_window);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        // The document's own save would write the protected file; save as instead, and
        // then the document has nothing left to save.
        if (isProtected(doc.pathName()) && &doc == m_doc)
            return m_doc->saveAs(*this) ? SaveAnswer::No : SaveAnswer::Cancel;
        return SaveAnswer::Yes;
    case QMessageBox::No:
        return SaveAnswer::No;
    default:
        return SaveAnswer::Cancel;
    }
}

QString parameterListText(const std::vector<const ParameterInfo*>& keys)
{
    QStringList lines;
    for (const ParameterInfo* p : keys)
        lines << QStringLiteral("%1 (0x%2)")
                     .arg(toQString(p->itemMacro))
                     .arg(static_cast<unsigned>(p->key.value), 4, 16, QLatin1Char('0'));
    return lines.join(QLatin1Char('\n'));
}

bool askBeforeGoingOn(QWidget* window, const QString& text, const QString& goOn, const QString& goOnName)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle), text, QMessageBox::NoButton, window);
    QPushButton* go = box.addButton(goOn, QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    go->setObjectName(goOnName);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == go;
}

bool WindowPrompts::confirmSaveIncomplete(const CMoravelSDIDoc& doc, const std::vector<const ParameterInfo*>& missing)
{
    const bool read = doc.source() == CMoravelSDIDoc::Source::Controller;
    const QString text =
        QStringLiteral("%1 von %2 Parametern haben keinen Wert %3:\n\n%4\n\n%5\nTrotzdem speichern?")
            .arg(missing.size())
            .arg(exchangeList().size())
            .arg(read ? QStringLiteral("vom Controller") : QStringLiteral("aus der Datei"), parameterListText(missing),
                 read ? QStringLiteral("In der Datei stünden für sie die Werte der Vorlage.")
                      : QStringLiteral("Sie fehlen auch in der gespeicherten Datei."));
    return askBeforeGoingOn(m_window, text, QStringLiteral("Speichern"), QStringLiteral("saveIncomplete"));
}

bool WindowPrompts::confirmTemplateSave(const std::string& path)
{
    const QString text = QStringLiteral("%1 ist die Vorlage, mit der jedes \"Neu\" und jedes \"Vom Controller "
                                        "Lesen\" beginnt.\n\nDie Vorlage mit diesen Werten überschreiben?")
                             .arg(displayPath(path));
    return askBeforeGoingOn(m_window, text, QStringLiteral("Vorlage überschreiben"), QStringLiteral("saveTemplate"));
}

std::optional<std::string> WindowPrompts::chooseSavePath(const std::string& proposed)
{
    QFileDialog dialog(m_window, QStringLiteral("Speichern unter"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QLatin1String(kParameterFilesFilter));
    dialog.setDefaultSuffix(QStringLiteral("ncp"));
    // For a protected file the dialog starts in the current folder with its file name.
    dialog.selectFile(isProtected(proposed) ? QFileInfo(displayPath(proposed)).fileName() : displayPath(proposed));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const std::string chosen = localPath(dialog.selectedFiles().constFirst());
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(chosen, error).lexically_normal();
    if (isProtected(error ? chosen : absolute.string())) {
        QMessageBox::warning(m_window, QString::fromLatin1(kApplicationTitle),
                             QString::fromUtf8(kProtectedPathText).arg(displayPath(m_protected)));
        return std::nullopt;
    }
    return chosen;
}

} // namespace moravel

namespace moravel {

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString displayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

} // namespace moravel

#include "app/shell/gui_interaction.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

namespace moravel {

GuiInteraction::GuiInteraction(QObject* parent) : QObject(parent) {}

bool GuiInteraction::showBox(const QString& text, bool withCancel)
{
    QMessageBox box(withCancel ? QMessageBox::Information : QMessageBox::Warning,
                    QString::fromLatin1(ApplicationTitle), text, QMessageBox::Ok, m_window);
    if (withCancel)
        box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    // The wait cursor of a running operation would hide that the box wants a click.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    return answer == QMessageBox::Ok;
}

bool GuiInteraction::runOnGuiThread(const QString& text, bool withCancel)
{
    if (QThread::currentThread() == thread())
        return showBox(text, withCancel);
    bool answer = false;
    QMetaObject::invokeMethod(
        this, [&] { answer = showBox(text, withCancel); }, Qt::BlockingQueuedConnection);
    return answer;
}

void GuiInteraction::showMessage(std::string_view text)
{
    runOnGuiThread(toQString(text), false);
}

bool GuiInteraction::confirm(std::string_view text)
{
    return runOnGuiThread(toQString(text), true);
}

void GuiInteraction::setStatusText(std::string_view text)
{
    emit statusTextChanged(toQString(text));
}

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

void GuiInteraction::reportProgress(std::int64_t done, std::int64_t total)
{
    emit progressChanged(done, total);
}

QString parameterFileFilter()
{
    return QStringLiteral("Moravel Parameter Files (*.ncp);;Alle Dateien (*)");
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
    dialog.setNameFilter(QStringLiteral("Moravel Parameter Files (*.ncp)"));
    dialog.setDefaultSuffix(QStringLiteral("ncp"));
    dialog.selectFile(QString::fromStdString(proposed));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return localPath(dialog.selectedFiles().constFirst());
}

} // namespace moravel

namespace moravel {

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString displayPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace moravel

#include "app/shell/recent_files.h"

#include "app/controller/settings_file.h"

#include <memory>

namespace moravel {
namespace {

const QString kRecentFilesGroup = QStringLiteral("Recent File List");

QString entryKey(int index) { return QStringLiteral("File%1").arg(index + 1); }

} // namespace

QStringList recentFiles()
{
    QStringList files;
    const std::unique_ptr<QSettings> settings = openSettingsFile();
    if (!settings)
        return files;
    settings->beginGroup(kRecentFilesGroup);
    for (int i = 0; i < kRecentFileCount; ++i) {
        const QString path = settings->value(entryKey(i)).toString();
        if (!path.isEmpty())
            files.append(path);
    }
    return files;
}

bool addRecentFile(const QString& path)
{
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    const std::unique_ptr<QSettings> settings = openSettingsFile();
    if (!settings)
        return false;
    settings->beginGroup(kRecentFilesGroup);
    for (int i = 0; i < kRecentFileCount; ++i) {
        if (i < files.size())
            settings->setValue(entryKey(i), files.at(i));
        else
            settings->remove(entryKey(i));
    }
    settings->endGroup();
    settings->sync();
    return settings->status() == QSettings::NoError;
}

} // namespace moravel

#pragma once
// The list of the last four parameter files opened or saved, kept in the per-user settings
// ("Recent File List", File1 ... File4, newest first). The program keeps it up to date but
// does not show it.

#include <QString>
#include <QStringList>

namespace moravel {

inline constexpr int kRecentFileCount = 4;

QStringList recentFiles();
// Puts path at the front (removing an older entry of the same path) and keeps four entries.
// False when the settings file could not be written (or is not used, settingsFileUsable()).
bool addRecentFile(const QString& path);

} // namespace moravel

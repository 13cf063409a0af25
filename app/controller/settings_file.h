#pragma once
// The per-user settings file as a QSettings, for everything the program keeps there: the
// connection settings and the window's recent-file list.

#include <QSettings>

namespace moravel {

// The INI file at settingsFilePath(), whatever organisation and application names Qt was
// given and whatever configuration directory it saw first.
QSettings openSettingsFile();

} // namespace moravel

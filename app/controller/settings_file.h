#pragma once
// The per-user settings file as a QSettings, for everything the program keeps there: the
// connection settings and the window's recent-file list.

#include <QSettings>

#include <memory>
#include <string>

namespace moravel {

// Whether the settings file may be handed to QSettings: true when nothing is at
// settingsFilePath() or a regular file (or a directory, which QSettings reads as empty and
// fails to write) is there. Something else there (a FIFO, a device) is never opened by
// QSettings: opening a FIFO for reading blocks until a writer comes. The type is looked at
// through open(O_NONBLOCK) and fstat, which return at once for every kind of file.
bool settingsFileUsable();

// The INI file at settingsFilePath(), whatever organisation and application names Qt was
// given and whatever configuration directory it saw first. Null when !settingsFileUsable():
// the settings then read as their defaults and are not written.
std::unique_ptr<QSettings> openSettingsFile();

// The message for a settings file that could not be written, naming the file and the reason
// as far as it can be found: "Die Einstellungen können nicht gespeichert werden:\n<path>\n<reason>".
std::string settingsSaveFailureText();

// The status-bar note for a settings file that is not used (!settingsFileUsable()).
std::string settingsIgnoredNote();

} // namespace moravel

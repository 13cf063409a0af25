// The settings on Windows with Qt: QSettings in the native format, that is the registry key
// HKEY_CURRENT_USER\Software\korvex-travo\MoravelSDI, the key moravel-cli.exe reads too.

#include "app/controller/settings_file.h"

#include "app/controller/settings.h"

#include <QString>

namespace moravel {

std::string settingsFilePath()
{
    return std::string("HKEY_CURRENT_USER\\Software\\") + kSettingsOrganisation + "\\" + kSettingsApplication;
}

// A registry key is never a FIFO or a device.
bool settingsFileUsable() { return true; }

std::unique_ptr<QSettings> openSettingsFile()
{
    return std::make_unique<QSettings>(QString::fromStdString(settingsFilePath()), QSettings::NativeFormat);
}

std::string settingsSaveFailureText()
{
    return "Die Einstellungen können nicht gespeichert werden:\n" + settingsFilePath() +
           "\nZugriff auf die Registrierung verweigert";
}

std::string settingsIgnoredNote() { return {}; }

} // namespace moravel

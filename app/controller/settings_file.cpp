#include "app/controller/settings_file.h"

#include "app/controller/settings.h"

#include <QString>

namespace moravel {

QSettings openSettingsFile() { return QSettings(QString::fromStdString(settingsFilePath()), QSettings::IniFormat); }

} // namespace moravel

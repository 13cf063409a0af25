// The connection settings' store through QSettings: the file or registry key of
// openSettingsFile().

#include "app/controller/settings_store.h"

#include "app/controller/moravel_app.h"
#include "app/controller/settings_file.h"

#include "params/cp1252.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>
#include <string>
#include <type_traits>

namespace moravel {
namespace {

// A stored string as code page 1252 bytes; characters the code page lacks become '?'.
std::string storedBytes(const QSettings* settings, const char* name, std::string_view fallback)
{
    const QVariant value = settings != nullptr ? settings->value(name) : QVariant();
    if (!value.isValid())
        return std::string(fallback);
    return utf8ToCp1252(value.toString().toStdString()).bytes;
}

QString storedText(std::string_view bytes) { return QString::fromStdString(cp1252ToUtf8(bytes)); }

template <typename T>
T storedNumber(const QSettings* settings, const char* name, T fallback)
{
    if (settings == nullptr)
        return fallback;
    bool ok = false;
    const QVariant value = settings->value(name);
    if constexpr (std::is_signed_v<T>) {
        const int n = value.toInt(&ok);
        return ok ? n : fallback;
    } else {
        const unsigned n = value.toUInt(&ok);
        return ok ? n : fallback;
    }
}

} // namespace

ComPortChoice readStoredSettings()
{
    const std::unique_ptr<QSettings> settings = openSettingsFile();
    if (settings)
        settings->beginGroup(kSettingsGroup);
    ComPortChoice stored;
    stored.connectionMode = storedNumber(settings.get(), "Connection", kDefaultConnectionMode);
    stored.portName = storedBytes(settings.get(), "DeviceName", kDefaultPortName);
    stored.controllerName = storedBytes(settings.get(), "Controller", kDefaultControllerName);
    stored.baudRate = storedNumber(settings.get(), "BaudeRate", kDefaultBaudRate);
    return stored;
}


bool writeStoredSettings(const ComPortChoice& values)
{
    const std::unique_ptr<QSettings> settings = openSettingsFile();
    if (!settings)
        return false; // a FIFO or a device is not written to
    settings->beginGroup(kSettingsGroup);
    settings->setValue("Connection", values.connectionMode);
    settings->setValue("DeviceName", storedText(values.portName));
    settings->setValue("Controller", storedText(values.controllerName));
    settings->setValue("BaudeRate", values.baudRate);
    settings->endGroup();
    settings->sync();
    return settings->status() == QSettings::NoError;
}

} // namespace moravel

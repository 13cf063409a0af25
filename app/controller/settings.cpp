// The connection settings: the per-user settings file and the "Com Port Settings" dialog's OK.

#include "app/controller/settings.h"

#include "app/controller/moravel_app.h"
#include "app/controller/settings_file.h"

#include "link/common/context_reset.h"
#include "link/common/port_map.h"
#include "params/cp1252.h"

#include <QSettings>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace moravel {
namespace {

// The file Qt would choose for organisation and application in the user scope, worked out
// afresh at every access: Qt keeps the configuration directory it saw first for the rest of
// the process, and needs no QCoreApplication this way.
std::string settingsPath()
{
    std::string dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        dir = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* user = ::getpwuid(::getuid());
            home = user != nullptr ? user->pw_dir : "/";
        }
        dir = std::string(home) + "/.config";
    }
    return dir + "/" + SettingsOrganisation + "/" + SettingsApplication + ".conf";
}

// Copies at most size - 1 bytes of text into a fixed field and fills the rest with NUL, so
// that the field always ends with a NUL.
template <std::size_t N>
void copyIntoField(char (&field)[N], std::string_view text)
{
    const std::size_t n = std::min(text.size(), N - 1);
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), n);
}

// A field's text up to its first NUL.
template <std::size_t N>
std::string_view fieldText(const char (&field)[N])
{
    return {field, ::strnlen(field, N)};
}

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

// The four values as the settings file holds them now (defaults where missing), the strings
// not yet cut to their fields.
ComPortChoice readStoredSettings()
{
    const std::unique_ptr<QSettings> settings = openSettingsFile();
    if (settings)
        settings->beginGroup(SettingsGroup);
    ComPortChoice stored;
    stored.connectionMode = storedNumber(settings.get(), "Connection", DefaultConnectionMode);
    stored.portName = storedBytes(settings.get(), "DeviceName", DefaultPortName);
    stored.controllerName = storedBytes(settings.get(), "Controller", DefaultControllerName);
    stored.baudRate = storedNumber(settings.get(), "BaudeRate", DefaultBaudRate);
    return stored;
}

} // namespace

std::string settingsFilePath() { return settingsPath(); }

int portNumberForMode1(const char (&portName)[5])
{
    const int n = quorlink::parsePortNumber({portName, sizeof portName}, quorlink::PortNameForm::FourthCharacter);
    return n >= 1 && n <= 8 ? n : 1;
}

void CMoravelSDIApp::loadSettings()
{
    const ComPortChoice stored = readStoredSettings();
    if (!isConnected())
        quorlink::resetLineState(m_context);
    connectionMode = stored.connectionMode;
    copyIntoField(m_context.portName, stored.portName);
    copyIntoField(m_context.controllerName, stored.controllerName);
    m_context.baudRate = stored.baudRate;
}

ComPortChoice CMoravelSDIApp::currentChoice() const
{
    ComPortChoice choice;
    choice.connectionMode = connectionMode;
    choice.portName = std::string(fieldText(m_context.portName));
    choice.controllerName = std::string(fieldText(m_context.controllerName));
    choice.baudRate = m_context.baudRate;
    // Every open starts by resetting the context: 16 blanks for the controller name after an
    // open by COM port, 115200 for the baud rate after any open. Those are no settings, and
    // the dialog's OK would store them; the stored values are shown in their place.
    const bool resetName = choice.controllerName == std::string_view(quorlink::kResetControllerName);
    const bool resetBaud = choice.baudRate == quorlink::kResetBaudRate;
    if (resetName || resetBaud) {
        const ComPortChoice stored = readStoredSettings();
        if (resetName)
            choice.controllerName = stored.controllerName.substr(0, MaxControllerNameChars);
        if (resetBaud)
            choice.baudRate = stored.baudRate;
    }
    return choice;
}

ComPortField checkComPortChoice(const ComPortChoice& choice)
{
    if (choice.baudRate < MinBaudRate || choice.baudRate > MaxBaudRate)
        return ComPortField::BaudRate;
    if (choice.controllerName.size() > MaxControllerNameChars)
        return ComPortField::ControllerName;
    if (choice.portName.size() > MaxPortNameChars)
        return ComPortField::PortName;
    return ComPortField::None;
}

ComPortField CMoravelSDIApp::applyChoice(const ComPortChoice& choice)
{
    if (const ComPortField refused = checkComPortChoice(choice); refused != ComPortField::None)
        return refused;
    connectionMode = choice.connectionMode;
    copyIntoField(m_context.portName, choice.portName);
    copyIntoField(m_context.controllerName, choice.controllerName);
    m_context.baudRate = choice.baudRate;
    saveSettings();
    return ComPortField::None;
}

bool CMoravelSDIApp::saveSettings()
{
    const std::unique_ptr<QSettings> settings = openSettingsFile();
    if (!settings) {
        m_settingsSaved = false; // a FIFO or a device is not written to
        return false;
    }
    settings->beginGroup(SettingsGroup);
    settings->setValue("Connection", connectionMode);
    settings->setValue("DeviceName", storedText(fieldText(m_context.portName)));
    settings->setValue("Controller", storedText(fieldText(m_context.controllerName)));
    settings->setValue("BaudeRate", m_context.baudRate);
    settings->endGroup();
    settings->sync();
    m_settingsSaved = settings->status() == QSettings::NoError;
    return m_settingsSaved;
}

} // namespace moravel

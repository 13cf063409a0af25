// The connection settings: loading and saving them through their store (settings_store.h),
// and the "Com Port Settings" dialog's OK.

#include "app/controller/settings.h"

#include "app/controller/moravel_app.h"
#include "app/controller/settings_store.h"

#include "link/common/context_reset.h"
#include "link/common/port_map.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace moravel {
namespace {

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

} // namespace

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
            choice.controllerName = stored.controllerName.substr(0, kMaxControllerNameChars);
        if (resetBaud)
            choice.baudRate = stored.baudRate;
    }
    return choice;
}

ComPortField checkComPortChoice(const ComPortChoice& choice)
{
    if (choice.baudRate < kMinBaudRate || choice.baudRate > kMaxBaudRate)
        return ComPortField::BaudRate;
    if (choice.controllerName.size() > kMaxControllerNameChars)
        return ComPortField::ControllerName;
    if (choice.portName.size() > kMaxPortNameChars)
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
    ComPortChoice values;
    values.connectionMode = connectionMode;
    values.portName = std::string(fieldText(m_context.portName));
    values.controllerName = std::string(fieldText(m_context.controllerName));
    values.baudRate = m_context.baudRate;
    m_settingsSaved = writeStoredSettings(values);
    return m_settingsSaved;
}

} // namespace moravel

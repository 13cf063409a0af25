#pragma once
// The four connection settings: where they are stored, their defaults and limits, and what
// the "Com Port Settings" dialog edits.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace moravel {

// The four connection settings live per user in group "COMSettings" of the INI file
// $XDG_CONFIG_HOME/korvex-travo/MoravelSDI.conf (~/.config/... when XDG_CONFIG_HOME is not
// an absolute path): the file Qt's QSettings keeps for organisation "korvex-travo" and
// application "MoravelSDI". It is read and written through QSettings, without a
// QCoreApplication; the program and moravel-cli share it. Strings are stored as the Unicode
// text of their code page 1252 bytes, so every byte of a controller name survives; on
// loading, a "DeviceName" is cut to 4 bytes and a "Controller" to 16 bytes, both fields stay
// NUL-terminated, and a value that is not a number gives the default. On Windows they are the
// values of the registry key HKEY_CURRENT_USER\Software\korvex-travo\MoravelSDI\COMSettings
// (settings_store.h).
inline constexpr const char* kSettingsOrganisation = "korvex-travo";
inline constexpr const char* kSettingsApplication = "MoravelSDI";
inline constexpr const char* kSettingsGroup = "COMSettings";

// The path of the settings file of this user (on Windows the registry key's name);
// openSettingsFile() (settings_file.h) opens it.
// A FIFO or a device at that path is never opened: the settings then read as their defaults
// and are not written (settingsFileUsable()).
std::string settingsFilePath();

// The defaults of the four settings (the controller name's is kDefaultControllerName).
inline constexpr int kDefaultConnectionMode = 2;
inline constexpr std::string_view kDefaultPortName = "COM1";
inline constexpr std::uint32_t kDefaultBaudRate = 115200;

// The dialog's accepted ranges.
inline constexpr std::uint32_t kMinBaudRate = 100000;
inline constexpr std::uint32_t kMaxBaudRate = 120000;
inline constexpr std::size_t kMaxControllerNameChars = 16;
inline constexpr std::size_t kMaxPortNameChars = 5;

// The port number an open by COM port uses: the fourth character of portName, "1" ... "8"
// give 1 ... 8, anything else (also a shorter name) gives 1.
int portNumberForMode1(const char (&portName)[5]);

// What the "Com Port Settings" dialog edits.
struct ComPortChoice {
    int connectionMode = 2;     // radio group: 0 by controller name, 1 by COM port, 2 autodetect
    std::string portName;       // text of the port combo box
    std::string controllerName; // text of the name field, code page 1252 bytes
    std::uint32_t baudRate = 0; // the baud field

    bool operator==(const ComPortChoice&) const = default;
};

// The first field the dialog's OK refuses (checked in this order: baud rate, name, port).
enum class ComPortField { None, BaudRate, ControllerName, PortName };

// The first field of choice outside its limits, in the order baud rate (kMinBaudRate ...
// kMaxBaudRate), controller name (at most kMaxControllerNameChars bytes), port name (at most
// kMaxPortNameChars bytes); None when all are within them. The dialog's OK and applyChoice
// both go by it.
ComPortField checkComPortChoice(const ComPortChoice& choice);

} // namespace moravel

#pragma once
// The program's application object without its window: the one connection to the controller
// (settings and link state) and the commands that use it — parameter read and transfer, the
// comparison with the controller, firmware upload, jog and emergency stops.
//
// Everything here talks to the user only through UserInteraction, so that the Qt window,
// moravel-cli and the tests can each drive it. The operations block for as long as the
// controller needs (a parameter sweep takes over 4 s, a 128 KiB upload over 11 s); the window
// runs them off its GUI thread, one at a time. An object is never used by two threads at once.

#include "app/document/moravel_document.h"
#include "params/parameter_table.h"
#include "params/user_interaction.h"

#include <quorlink.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravel {

// ---- Settings store.
//
// The four connection settings live per user in group "COMSettings" of the INI file
// $XDG_CONFIG_HOME/korvex-travo/MoravelSDI.conf (~/.config/... when XDG_CONFIG_HOME is not
// an absolute path): the file Qt's QSettings keeps for organisation "korvex-travo" and
// application "MoravelSDI". It is read and written through QSettings, without a
// QCoreApplication; the program and moravel-cli share it. Strings are stored as the Unicode
// text of their code page 1252 bytes, so every byte of a controller name survives; on
// loading, a "DeviceName" is cut to 4 bytes and a "Controller" to 16 bytes, both fields stay
// NUL-terminated, and a value that is not a number gives the default.
inline constexpr const char* SettingsOrganisation = "korvex-travo";
inline constexpr const char* SettingsApplication = "MoravelSDI";
inline constexpr const char* SettingsGroup = "COMSettings";

// The path of the settings file of this user; openSettingsFile() (settings_file.h) opens it.
std::string settingsFilePath();

// The defaults of the four settings (the controller name's is DefaultControllerName).
inline constexpr int DefaultConnectionMode = 2;
inline constexpr std::string_view DefaultPortName = "COM1";
inline constexpr std::uint32_t DefaultBaudRate = 115200;

// The dialog's accepted ranges.
inline constexpr std::uint32_t MinBaudRate = 100000;
inline constexpr std::uint32_t MaxBaudRate = 120000;
inline constexpr std::size_t MaxControllerNameChars = 16;
inline constexpr std::size_t MaxPortNameChars = 5;

// The port number an open by COM port uses: the fourth character of portName, "1" ... "8"
// give 1 ... 8, anything else (also a shorter name) gives 1.
int portNumberForMode1(const char (&portName)[5]);

// ---- Texts the controller operations show (UTF-8).
inline constexpr std::string_view CloseErrorText = "Error close connection";
inline constexpr std::string_view ParameterTransferRunning = "Parameterübertragung ... ";
inline constexpr std::string_view ParameterTransferDone = "Parameterübertragung ist abgeschlossen.";
inline constexpr std::string_view BootloaderPrompt = "Aktivieren Sie den Bootloader (Enter+Reset)";
inline constexpr std::string_view BootloaderNotFoundText = "CRX-Bootloader nicht gefunden!";
inline constexpr std::string_view FirmwareTransferRunning = "Firmwareübertragung ... ";
inline constexpr std::string_view ChecksumCheckRunning = "Checksumme prüfen ...";
inline constexpr std::string_view ChecksumMismatchText = "Update fehlgeschlagen! Checksumme stimmt nicht!";
inline constexpr std::string_view FirmwareTransferDone = "Firmwareübertragung ist abgeschlossen.";
inline constexpr std::string_view FirmwareTransferStopped = "Firmwareübertragung abgebrochen.";

// The open's message for an error code, "Error opening connection. ErrorCode  %x     " with
// the code in lower-case hexadecimal: "Error opening connection. ErrorCode  3     ".
std::string openErrorMessage(unsigned errorCode);

// What the "Com Port Settings" dialog edits.
struct ComPortChoice {
    int connectionMode = 2;     // radio group: 0 by controller name, 1 by COM port, 2 autodetect
    std::string portName;       // text of the port combo box
    std::string controllerName; // text of the name field, code page 1252 bytes
    std::uint32_t baudRate = 0; // the baud field
};

// The first field the dialog's OK refuses (checked in this order: baud rate, name, port).
enum class ComPortField { None, BaudRate, ControllerName, PortName };

// The first field of choice outside its limits, in the order baud rate (MinBaudRate ...
// MaxBaudRate), controller name (at most MaxControllerNameChars bytes), port name (at most
// MaxPortNameChars bytes); None when all are within them. The dialog's OK and applyChoice
// both go by it.
ComPortField checkComPortChoice(const ComPortChoice& choice);

enum class UploadResult {
    Done,               // the bootloader confirmed the checksum
    NoConnection,       // the open failed (its message was shown)
    Declined,           // the user did not confirm the bootloader prompt
    BootloaderNotFound, // "CRX-Bootloader nicht gefunden!" was shown
    ChecksumMismatch,   // "Update fehlgeschlagen! Checksumme stimmt nicht!" was shown
    Stopped,            // a bootloader answer timed out or a write failed (message shown)
};

// How a parameter read or transfer command went.
struct SweepResult {
    bool connected = false; // false: the open failed (its message was shown), nothing was sent
    int failedKeys = 0;     // keys whose library call failed (their messages were shown)
};

// One key whose value differs between a parameter set and the controller.
struct ParameterDifference {
    const ParameterInfo* parameter = nullptr;
    std::string setValue;        // valueText() in the file format; the controller name as it
    std::string controllerValue; // is (both code page 1252 bytes)
};

struct ComparisonResult {
    bool connected = false;                       // false: the open failed, nothing was read
    int failedKeys = 0;                           // keys whose read failed (their messages were shown)
    std::vector<ParameterDifference> differences; // in exchange-list order
};

// The value texts compareWithController compares: valueText() of the file format, except
// the controller name, which is compared as the 16 bytes a transfer would send (the name
// padded with blanks), since a file holds it without its trailing blanks.
std::string comparisonText(const ParameterInfo& p, const ParameterSet& set);

// The template "NC-Travo_USB_Param_NEW.ncp", looked for in this order:
//   1. the current directory (the relative name is returned);
//   2. $MORAVEL_DATA_DIR, when that variable is set;
//   3. the source tree's app/resources, only for a program running from the build tree;
//   4. the installed data directory (<prefix>/share/moravel).
// Returns the plain relative name when none has it (opening it then fails quietly, as
// "&Neu" expects).
std::string findTemplateFile();

// ---- Firmware files.

inline constexpr std::size_t FirmwareBlockSize = 8192;
// The largest firmware file read (the controller's flash holds 128 KiB).
inline constexpr std::size_t MaxFirmwareFileSize = std::size_t{16} << 20;
// The bootloader's identifier, the answer to "S".
inline constexpr std::string_view BootloaderIdentifier = "AVRB128";
// How long the upload waits for the identifier, and for every other bootloader answer.
inline constexpr std::chrono::milliseconds IdentifyTimeout{1000};
inline constexpr std::chrono::milliseconds AnswerTimeout{5000};

// Reads a firmware file (.crx) whole. A file that cannot be opened or read whole, or that is
// larger than MaxFirmwareFileSize, shows a German message naming it and gives nothing.
std::optional<std::vector<std::uint8_t>> readFirmwareFile(const std::string& path, UserInteraction& ui);

// The number of 8192-byte blocks an upload of size bytes sends: size / 8192 + 1.
constexpr std::size_t firmwareBlockCount(std::size_t size) { return size / FirmwareBlockSize + 1; }

class CMoravelSDIApp {
public:
    // ---- Connection settings and link state.

    // Start-up (before any open): not connected, a reset context, settings from the per-user
    // store (defaults where missing). An open connection is left alone; only the four
    // settings are then reloaded.
    void loadSettings();
    // The dialog's initial values, from the context and connectionMode.
    ComPortChoice currentChoice() const;
    // The dialog's OK: refuses a choice checkComPortChoice finds fault with; otherwise copies
    // the fields into the context, NUL padded, sets connectionMode and writes the four
    // settings in order. Returns the first failing field, or None. A 5-character port text
    // keeps its first 4 characters, so that portName stays NUL-terminated (an open by port
    // uses only the fourth).
    ComPortField applyChoice(const ComPortChoice& choice);
    // Writes the four settings in the order "Connection", "DeviceName", "Controller",
    // "BaudeRate". False when the settings file could not be written (applyChoice's caller
    // may ask settingsSaved()).
    bool saveSettings();
    bool settingsSaved() const { return m_settingsSaved; }

    // Opens the connection by connectionMode unless connected; shows
    // "Error opening connection. ErrorCode  %x     " on failure and clears the code.
    bool OpenConnection(UserInteraction& ui);
    // Closes it if connected; "Error close connection" when the library refuses.
    void CloseConnection(UserInteraction& ui);
    bool isConnected() const { return connected != 0; }

    // ---- Parameter exchange (the read's "&Neu" step is the caller's: it needs the
    // document's save question; see CMoravelSDIDoc::newFromTemplate and findTemplateFile).

    // Open if needed, mode 1, status text, busy, the document's read, mode 2, status text.
    SweepResult readParameters(CMoravelSDIDoc& doc, UserInteraction& ui);
    // The same road with the document's transfer.
    SweepResult transferParameters(CMoravelSDIDoc& doc, UserInteraction& ui);
    // Reads the 38 keys (mode 1 before, mode 2 after) into a scratch set and lists every key
    // whose value differs from set (comparisonText). Keys whose read failed are counted, not
    // compared. Changes nothing.
    ComparisonResult compareWithController(const ParameterSet& set, UserInteraction& ui);

    // ---- Firmware upload through the bootloader; closes the connection afterwards.
    // Sends n = size / 8192 + 1 blocks (the last one padded with 0xFF) and reports progress
    // as ui.reportProgress(block bytes sent, n * 8192) after each block. Every bootloader
    // answer is awaited at most AnswerTimeout (the identifier IdentifyTimeout); a time-out
    // or a failed write shows a message and ends with Stopped.
    UploadResult UploadFirmware(std::span<const std::uint8_t> image, UserInteraction& ui);
    // Advances the checksum register m_checksum (CRC-32, IEEE 802.3, before its final
    // complement) by one byte, or by a run of bytes.
    void UpdateChecksum(std::uint8_t byte);
    void UpdateChecksum(std::span<const std::uint8_t> bytes);

    // ---- Manual control: true when the link is open and the controller accepted.
    bool SendMoveRelativeXY(std::int32_t value, std::int32_t count, const std::int32_t x[], const std::int32_t y[],
                            std::int32_t flags, UserInteraction& ui);
    bool SendNotHalt(UserInteraction& ui);
    bool SendNotStop(UserInteraction& ui);

    // ---- State (public as in the program's original design; the window reads it).
    ConnectionContext m_context{}; // the one connection; holds the current settings
    std::uint8_t connected = 0;
    int connectionMode = 2;
    std::uint32_t m_checksum = 0xFFFFFFFF; // firmware checksum register

private:
    bool m_settingsSaved = true;
};

} // namespace moravel

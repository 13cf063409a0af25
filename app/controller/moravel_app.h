#pragma once
// The program's application object without its window: the one connection to the controller
// (settings and link state) and the commands that use it — parameter read and transfer, the
// comparison with the controller, firmware upload, jog and emergency stops.
//
// Everything here talks to the user only through UserInteraction, so that the Qt window,
// moravel-cli and the tests can each drive it. The operations block for as long as the
// controller needs (a parameter sweep takes over 4 s, a 128 KiB upload over 11 s); the window
// runs them off its GUI thread, one at a time. An object is never used by two threads at once.

#include "app/controller/firmware_upload.h"
#include "app/controller/parameter_exchange.h"
#include "app/controller/settings.h"
#include "app/document/moravel_document.h"
#include "params/parameter_table.h"
#include "params/user_interaction.h"

#include <quorlink.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravel {

// Shown when the library refuses to close the connection (UTF-8).
inline constexpr std::string_view kCloseErrorText = "Error close connection";

// The open's message for an error code, "Error opening connection. ErrorCode  %x     " with
// the code in lower-case hexadecimal: "Error opening connection. ErrorCode  3     ".
std::string openErrorMessage(unsigned errorCode);

// The message when the controller's device vanished during a command, naming the port and
// the device it was opened on (when known): "Die Verbindung zum Controller ist unterbrochen
// (COM3, /dev/ttyACM0). Prüfen Sie Kabel und Stromversorgung und versuchen Sie es erneut."
std::string linkLostMessage(std::string_view portName, std::string_view devicePath);

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
    // A connection whose device has vanished since (linkLost) is dropped first, without a
    // message, and opened afresh.
    bool OpenConnection(UserInteraction& ui);
    // The same open on COM<port>, whatever connectionMode says; the settings stay as they are.
    bool OpenConnectionOnPort(int port, UserInteraction& ui);
    // Closes it if connected; "Error close connection" when the library refuses.
    void CloseConnection(UserInteraction& ui);
    // After a failed call found the device gone: one message naming the device
    // (linkLostMessage), the connection closed (unless the library already closed it) and
    // connected = 0, so that the next command opens afresh.
    void dropLostLink(UserInteraction& ui);
    bool isConnected() const { return connected != 0; }
    // Between commands: when connected and the device is gone (linkLost, which sends nothing
    // on the line), closes the connection without a message and returns true.
    bool dropVanishedLink();

    // ---- Parameter exchange (the read's "&Neu" step is the caller's: it needs the
    // document's save question; see CMoravelSDIDoc::newFromTemplate and findTemplateFile).

    // Open if needed, mode 1, status text, busy, the document's read, mode 2, status text.
    SweepResult readParameters(CMoravelSDIDoc& doc, UserInteraction& ui);
    // The same road with the document's transfer.
    SweepResult transferParameters(CMoravelSDIDoc& doc, UserInteraction& ui,
                                   TransferScope scope = TransferScope::AllKeys);
    // Reads the 38 keys (mode 1 before, mode 2 after) into a scratch set and lists every key
    // whose value differs from set (comparisonText). Keys whose read failed are counted, not
    // compared. Changes nothing.
    ComparisonResult compareWithController(const ParameterSet& set, UserInteraction& ui);

    // ---- Firmware upload through the bootloader; closes the connection afterwards.
    // Sends n = size / 8192 + 1 blocks (the last one padded with 0xFF) and reports progress
    // in file bytes, ui.reportProgress(min(block bytes sent, size), size) after each block
    // (an empty file counts as one byte). Every bootloader answer is awaited at most
    // kAnswerTimeout (the identifier kIdentifyTimeout); a time-out or a failed write shows a
    // message and ends with Stopped. ui.stopRequested() is asked between blocks (Cancelled).
    // A device that vanishes ends the upload at once with one message (LinkLost).
    UploadResult UploadFirmware(std::span<const std::uint8_t> image, UserInteraction& ui);
    // Advances the checksum register m_checksum (CRC-32, IEEE 802.3, before its final
    // complement) by one byte, or by a run of bytes.
    void UpdateChecksum(std::uint8_t byte);
    void UpdateChecksum(std::span<const std::uint8_t> bytes);

    // ---- Manual control: true when the link is open and the controller accepted. A call
    // that fails on a vanished device ends with dropLostLink.
    bool SendMoveRelativeXY(std::int32_t value, std::int32_t count, const std::int32_t x[], const std::int32_t y[],
                            std::int32_t flags, UserInteraction& ui);
    bool SendMoveRelativeZC(std::int32_t value, std::int32_t count, const std::int32_t z[], const std::int32_t c[],
                            std::int32_t flags, UserInteraction& ui);
    bool SendNotHalt(UserInteraction& ui);
    bool SendNotStop(UserInteraction& ui);

    // ---- State (public: the window and moravel-cli read and set it directly).
    ConnectionContext m_context{}; // the one connection; holds the current settings
    std::uint8_t connected = 0;
    int connectionMode = 2;
    std::uint32_t m_checksum = 0xFFFFFFFF; // firmware checksum register

private:
    bool m_settingsSaved = true;
    // OpenConnection's road with the library's open of the given mode.
    bool openWith(UserInteraction& ui, int mode, int port);
    std::string m_devicePath; // the device of the open connection, for linkLostMessage
    // Opens if needed, makes the call; a failure on a vanished device drops the link.
    bool manualCommand(UserInteraction& ui, const std::function<std::int32_t()>& call);
};

} // namespace moravel

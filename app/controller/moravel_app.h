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

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace moravel {

// What the "Com Port Settings" dialog edits.
struct ComPortChoice {
    int connectionMode = 2;      // radio group: 0 by controller name, 1 by COM port, 2 autodetect
    std::string portName;        // text of the port combo box
    std::string controllerName;  // text of the name field, code page 1252 bytes
    std::uint32_t baudRate = 0;  // the baud field
};

// The first field the dialog's OK refuses (checked in this order: baud rate, name, port).
enum class ComPortField { None, BaudRate, ControllerName, PortName };

enum class UploadResult {
    Done,               // the bootloader confirmed the checksum
    NoConnection,       // the open failed (its message was shown)
    Declined,           // the user did not confirm the bootloader prompt
    BootloaderNotFound, // "CRX-Bootloader nicht gefunden!" was shown
    ChecksumMismatch,   // "Update fehlgeschlagen! Checksumme stimmt nicht!" was shown
    Stopped,            // a bootloader answer timed out or a write failed (message shown)
};

// One key whose value differs between a parameter set and the controller.
struct ParameterDifference {
    const ParameterInfo* parameter = nullptr;
    std::string setValue;        // value text in the file format (code page 1252 bytes)
    std::string controllerValue; // likewise
};

struct ComparisonResult {
    bool connected = false;      // false: the open failed, nothing was read
    int failedKeys = 0;          // keys whose read failed (their messages were shown)
    std::vector<ParameterDifference> differences; // in exchange-list order
};

// The template "NC-Travo_USB_Param_NEW.ncp": the current directory first, then the program's
// installed data directory. Returns the plain relative name when neither has it (opening it
// then fails quietly, as "&Neu" expects).
std::string FindTemplateFile();

class CMoravelSDIApp {
public:
    // ---- Connection settings and link state.

    // Start-up: not connected, settings from the per-user store (defaults where missing).
    void LoadSettings();
    // The dialog's initial values, from the context and connectionMode.
    ComPortChoice CurrentChoice() const;
    // The dialog's OK: checks baud rate (100000 ... 120000), name (at most 16 bytes) and
    // port (at most 5 characters) in this order; on success copies them into the context,
    // NUL padded, sets connectionMode and writes the four settings in order. Returns the
    // first failing field, or None.
    ComPortField ApplyChoice(const ComPortChoice& choice);

    // Opens the connection by connectionMode unless connected; shows
    // "Error opening connection. ErrorCode  %x     " on failure and clears the code.
    bool OpenConnection(UserInteraction& ui);
    // Closes it if connected; "Error close connection" when the library refuses.
    void CloseConnection(UserInteraction& ui);
    bool IsConnected() const { return connected != 0; }

    // ---- Parameter exchange (the read's "&Neu" step is the caller's: it needs the
    // document's save question; see CMoravelSDIDoc::newFromTemplate and FindTemplateFile).

    // Open if needed, mode 1, status text, busy, the document's read, mode 2, status text.
    void ReadParameters(CMoravelSDIDoc& doc, UserInteraction& ui);
    // The same road with the document's transfer.
    void TransferParameters(CMoravelSDIDoc& doc, UserInteraction& ui);
    // Reads the 38 keys (mode 1 before, mode 2 after) into a scratch set and lists every key
    // whose value differs from set. Changes nothing.
    ComparisonResult CompareWithController(const ParameterSet& set, UserInteraction& ui);

    // ---- Firmware upload through the bootloader; closes the connection afterwards.
    UploadResult UploadFirmware(std::span<const std::uint8_t> image, UserInteraction& ui);

    // ---- Manual control: true when the link is open and the controller accepted.
    bool SendMoveRelativeXY(std::int32_t value, std::int32_t count, const std::int32_t x[],
                            const std::int32_t y[], std::int32_t flags, UserInteraction& ui);
    bool SendNotHalt(UserInteraction& ui);
    bool SendNotStop(UserInteraction& ui);

    // ---- State (public as in the program's original design; the window reads it).
    ConnectionContext m_context{};      // the one connection; holds the current settings
    std::uint8_t connected = 0;
    int connectionMode = 2;
    std::uint32_t m_checksum = 0xFFFFFFFF; // firmware checksum register
    CMoravelSDIDoc* m_pDoc = nullptr;
};

} // namespace moravel

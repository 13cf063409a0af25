#pragma once
// Firmware files and the upload through the controller's bootloader: sizes, time limits,
// texts and results.

#include "params/user_interaction.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace moravel {

// Texts the upload shows (UTF-8).
inline constexpr std::string_view BootloaderPrompt = "Aktivieren Sie den Bootloader (Enter+Reset)";
inline constexpr std::string_view BootloaderNotFoundText = "CRX-Bootloader nicht gefunden!";
inline constexpr std::string_view FirmwareTransferRunning = "Firmwareübertragung ... ";
inline constexpr std::string_view ChecksumCheckRunning = "Checksumme prüfen ...";
inline constexpr std::string_view ChecksumMismatchText = "Update fehlgeschlagen! Checksumme stimmt nicht!";
inline constexpr std::string_view FirmwareTransferDone = "Firmwareübertragung ist abgeschlossen.";
inline constexpr std::string_view FirmwareTransferStopped = "Firmwareübertragung abgebrochen.";

enum class UploadResult {
    Done,               // the bootloader confirmed the checksum
    NoConnection,       // the open failed (its message was shown)
    Declined,           // the user did not confirm the bootloader prompt
    BootloaderNotFound, // "CRX-Bootloader nicht gefunden!" was shown
    ChecksumMismatch,   // "Update fehlgeschlagen! Checksumme stimmt nicht!" was shown
    Stopped,            // a bootloader answer timed out or a write failed (message shown)
    LinkLost,           // the device vanished; the connection is closed (one message shown)
    Cancelled,          // the user asked to stop; it ended between two blocks
};

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

} // namespace moravel

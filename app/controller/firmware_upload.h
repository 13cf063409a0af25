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
inline constexpr std::string_view kBootloaderPrompt = "Aktivieren Sie den Bootloader (Enter+Reset)";
inline constexpr std::string_view kBootloaderNotFoundText = "CRX-Bootloader nicht gefunden!";
inline constexpr std::string_view kFirmwareTransferRunning = "Firmwareübertragung ... ";
inline constexpr std::string_view kChecksumCheckRunning = "Checksumme prüfen ...";
inline constexpr std::string_view kChecksumMismatchText = "Update fehlgeschlagen! Checksumme stimmt nicht!";
inline constexpr std::string_view kFirmwareTransferDone = "Firmwareübertragung ist abgeschlossen.";
inline constexpr std::string_view kFirmwareTransferStopped = "Firmwareübertragung abgebrochen.";

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

inline constexpr std::size_t kFirmwareBlockSize = 8192;
// The largest firmware file read (the controller's flash holds 128 KiB).
inline constexpr std::size_t kMaxFirmwareFileSize = std::size_t{16} << 20;
// The bootloader's identifier, the answer to "S".
inline constexpr std::string_view kBootloaderIdentifier = "AVRB128";
// How long the upload waits for the identifier, and for every other bootloader answer.
inline constexpr std::chrono::milliseconds kIdentifyTimeout{1000};
inline constexpr std::chrono::milliseconds kAnswerTimeout{5000};

// Reads a firmware file (.crx) whole. A file that cannot be opened or read whole, or that is
// larger than kMaxFirmwareFileSize, shows a German message naming it and gives nothing.
std::optional<std::vector<std::uint8_t>> readFirmwareFile(const std::string& path, UserInteraction& ui);

// The number of 8192-byte blocks an upload of size bytes sends: size / 8192 + 1.
constexpr std::size_t firmwareBlockCount(std::size_t size) { return size / kFirmwareBlockSize + 1; }

} // namespace moravel

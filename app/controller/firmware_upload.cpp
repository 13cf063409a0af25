// Firmware upload through the controller's bootloader, over the raw byte functions.
//
// Protocol: "S" -> the identifier "AVRB128"; "P" -> 1 byte; "e" -> 1 byte; "A.." -> 1 to
// 3 bytes; per block "#" and 8192 data bytes (one write of 513 bytes, then fifteen of 512)
// -> 1 byte; "$" -> the CRC-32 of all block data, most significant byte first.
// Every answer wait ends with the first burst of bytes that arrives, or at its time-out.
// A device that vanishes ends the upload at once: a failed write or an empty read asks
// linkLost(), and from then on nothing more is sent and nothing is reported per step.

#include "app/controller/firmware_upload.h"

#include "app/controller/moravel_app.h"

#include "params/controller_exchange.h"
#include "params/file_io.h"


#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

namespace moravel {
namespace {

using Clock = std::chrono::steady_clock;

// Between two reads of a wait; far below the line time of one block (0.7 s).
constexpr std::chrono::microseconds kPollInterval{500};

// The longest pause inside one answer; the pieces of an answer in pieces lie further apart.
constexpr std::chrono::milliseconds kPieceGap{5};

constexpr std::size_t kFirstWrite = 513; // the marker and data bytes 0 ... 511
constexpr std::size_t kLaterWrite = 512;

std::string stepFailure(std::string_view what, std::string_view step)
{
    std::string text = "Update fehlgeschlagen! ";
    text.append(what).append(" (").append(step).append(").");
    return text;
}

std::string noAnswerMessage(std::string_view step) { return stepFailure("Der Bootloader antwortet nicht", step); }

std::string writeFailedMessage(std::string_view step)
{
    return stepFailure("Senden an den Controller fehlgeschlagen", step);
}

std::string blockStep(std::size_t k, std::size_t n)
{
    return "Block " + std::to_string(k + 1) + " von " + std::to_string(n);
}

// One upload attempt on an open connection; the caller closes it afterwards.
class Upload {
public:
    Upload(ConnectionContext& ctx, UserInteraction& ui) : m_ctx(ctx), m_ui(ui) {}

    // Discards whatever has arrived before the first request (a late reply, bytes the
    // controller sent while it was reset into its bootloader).
    void drainInput()
    {
        std::array<std::uint8_t, 256> scratch;
        while (KorvexReadChar(&m_ctx, scratch.data(), static_cast<std::int32_t>(scratch.size())) > 0) {
        }
    }

    // Writes bytes in one call; false when not all were written (after a message, unless
    // the device is gone).
    bool send(std::span<const std::uint8_t> bytes, std::string_view step)
    {
        const auto count = static_cast<std::int32_t>(bytes.size());
        if (KorvexWriteChar(&m_ctx, bytes.data(), count) == count)
            return true;
        if (!checkLost())
            m_ui.showMessage(writeFailedMessage(step));
        return false;
    }
    bool send(std::string_view bytes, std::string_view step)
    {
        return send(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), step);
    }

    // Reads one answer of up to answer.size() bytes. The wait for its first byte ends at
    // the time-out; the answer is what arrives from then on without a pause longer than
    // kPieceGap (a line delivers the bytes of one answer a character time apart), so that
    // an answer sent in pieces is still taken only in part. Returns the number of bytes.
    std::size_t await(std::span<std::uint8_t> answer, std::chrono::milliseconds timeout)
    {
        std::fill(answer.begin(), answer.end(), std::uint8_t{0});
        std::size_t got = readWithin(answer, Clock::now() + timeout);
        while (got > 0 && got < answer.size()) {
            const std::size_t more = readWithin(answer.subspan(got), Clock::now() + kPieceGap);
            if (more == 0)
                break;
            got += more;
        }
        return got;
    }

    // A request and its acknowledgement, whose bytes are not examined.
    bool exchange(std::string_view request, std::size_t answerBytes, std::string_view step)
    {
        if (!send(request, step))
            return false;
        std::array<std::uint8_t, 4> answer;
        if (await(std::span(answer).first(answerBytes), kAnswerTimeout) > 0)
            return true;
        if (!m_lost)
            m_ui.showMessage(noAnswerMessage(step));
        return false;
    }

    // Whether a failed write or read found the device gone.
    bool lost() const { return m_lost; }

private:
    bool checkLost()
    {
        m_lost = m_lost || linkLost(m_ctx);
        return m_lost;
    }

    // The first read before deadline that delivers anything; 0 when none did.
    std::size_t readWithin(std::span<std::uint8_t> buffer, Clock::time_point deadline)
    {
        for (;;) {
            const std::int32_t n = KorvexReadChar(&m_ctx, buffer.data(), static_cast<std::int32_t>(buffer.size()));
            if (n > 0)
                return static_cast<std::size_t>(n);
            if (checkLost() || Clock::now() >= deadline)
                return 0;
            std::this_thread::sleep_for(kPollInterval);
        }
    }

    ConnectionContext& m_ctx;
    UserInteraction& m_ui;
    bool m_lost = false;
};

} // namespace

void CMoravelSDIApp::UpdateChecksum(std::uint8_t byte) { UpdateChecksum(std::span(&byte, 1)); }

// The reflected CRC-32 of polynomial 0xEDB88320 (zlib's crc32 without the complement at
// both ends): m_checksum holds the register as it is.
void CMoravelSDIApp::UpdateChecksum(std::span<const std::uint8_t> bytes)
{
    static constexpr std::array<std::uint32_t, 256> kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        return table;
    }();
    std::uint32_t c = m_checksum;
    for (const std::uint8_t byte : bytes)
        c = kTable[(c ^ byte) & 0xFF] ^ (c >> 8);
    m_checksum = c;
}

UploadResult CMoravelSDIApp::UploadFirmware(std::span<const std::uint8_t> image, UserInteraction& ui)
{
    const std::size_t blocks = firmwareBlockCount(image.size());
    // Progress counts the file's bytes, not the padding; an empty file counts as one byte.
    const std::int64_t totalBytes = std::max<std::int64_t>(static_cast<std::int64_t>(image.size()), 1);
    m_checksum = 0xFFFFFFFF;
    if (!OpenConnection(ui)) {
        CloseConnection(ui);
        return UploadResult::NoConnection;
    }
    if (!ui.confirm(kBootloaderPrompt)) {
        CloseConnection(ui);
        return UploadResult::Declined;
    }

    Upload upload(m_context, ui);
    // Ends an upload that did not finish: a lost device with its one message, otherwise the
    // step's message has been shown already (or the user asked to stop).
    const auto stop = [&](UploadResult result) {
        ui.setStatusText(kFirmwareTransferStopped);
        if (upload.lost()) {
            dropLostLink(ui);
            return UploadResult::LinkLost;
        }
        CloseConnection(ui);
        return result;
    };

    upload.drainInput();
    if (!upload.send("S", "Bootloader"))
        return stop(UploadResult::Stopped);
    std::array<std::uint8_t, 7> identifier;
    upload.await(identifier, kIdentifyTimeout);
    if (upload.lost())
        return stop(UploadResult::LinkLost);
    if (std::memcmp(identifier.data(), kBootloaderIdentifier.data(), identifier.size()) != 0) {
        ui.showMessage(kBootloaderNotFoundText);
        CloseConnection(ui);
        return UploadResult::BootloaderNotFound;
    }

    ui.setStatusText(kFirmwareTransferRunning);
    UploadResult result = UploadResult::Done;
    {
        BusyScope busy(ui);
        if (!upload.exchange("P", 1, "Programmiermodus") || !upload.exchange("e", 1, "Löschen") ||
            !upload.exchange("A..", 3, "Adresse"))
            return stop(UploadResult::Stopped);

        std::vector<std::uint8_t> block(1 + kFirmwareBlockSize);
        ui.reportProgress(0, totalBytes);
        for (std::size_t k = 0; k < blocks; ++k) {
            if (ui.stopRequested())
                return stop(UploadResult::Cancelled);
            const std::size_t offset = k * kFirmwareBlockSize;
            const std::size_t length = std::min(kFirmwareBlockSize, image.size() - offset);
            std::fill(block.begin(), block.end(), std::uint8_t{0xFF});
            block[0] = '#';
            std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), length, block.begin() + 1);
            UpdateChecksum(std::span(block).subspan(1));

            const std::string step = blockStep(k, blocks);
            const std::span<const std::uint8_t> whole(block);
            if (!upload.send(whole.first(kFirstWrite), step))
                return stop(UploadResult::Stopped);
            for (std::size_t at = kFirstWrite; at < whole.size(); at += kLaterWrite)
                if (!upload.send(whole.subspan(at, kLaterWrite), step))
                    return stop(UploadResult::Stopped);
            std::array<std::uint8_t, 1> ack;
            if (upload.await(ack, kAnswerTimeout) == 0) {
                if (!upload.lost())
                    ui.showMessage(noAnswerMessage(step));
                return stop(UploadResult::Stopped);
            }
            const auto sent = static_cast<std::int64_t>((k + 1) * kFirmwareBlockSize);
            ui.reportProgress(std::min(sent, totalBytes), totalBytes);
        }
        m_checksum = ~m_checksum;

        ui.setStatusText(kChecksumCheckRunning);
        if (!upload.send("$", "Checksumme"))
            return stop(UploadResult::Stopped);
        std::array<std::uint8_t, 4> crc;
        if (upload.await(crc, kAnswerTimeout) == 0) {
            if (!upload.lost())
                ui.showMessage(noAnswerMessage("Checksumme"));
            return stop(UploadResult::Stopped);
        }
        const std::uint32_t received =
            std::uint32_t{crc[0]} << 24 | std::uint32_t{crc[1]} << 16 | std::uint32_t{crc[2]} << 8 | crc[3];
        if (received != m_checksum) {
            ui.showMessage(kChecksumMismatchText);
            result = UploadResult::ChecksumMismatch;
        }
        ui.setStatusText(kFirmwareTransferDone);
    }
    CloseConnection(ui);
    return result;
}

std::optional<std::vector<std::uint8_t>> readFirmwareFile(const std::string& path, UserInteraction& ui)
{
    FileBytes file = readFileBytes(path, kMaxFirmwareFileSize);
    if (file.error == std::errc::file_too_large) {
        ui.showMessage("Die Firmware-Datei ist zu groß (höchstens 16 MiB):\n" + path);
        return std::nullopt;
    }
    if (!file.ok()) {
        ui.showMessage("Die Firmware-Datei kann nicht gelesen werden:\n" + path);
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(file.bytes.begin(), file.bytes.end());
}

} // namespace moravel

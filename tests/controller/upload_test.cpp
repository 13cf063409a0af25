// Firmware upload against the simulated bootloader, the checksum register and firmware files.

#include "tests/controller/controller_fixture.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace moravel::test {
namespace {

using quorlink::sim::BootloaderStep;

// The block data an upload of image sends: the image padded with 0xFF to n * 8192 bytes.
Bytes blockData(const Bytes& image)
{
    Bytes data = image;
    data.resize((image.size() / 8192 + 1) * 8192, 0xFF);
    return data;
}

// Every byte the bootloader should receive for block data, the 'S' included.
Bytes expectedStream(const Bytes& data)
{
    Bytes stream = {'S', 'P', 'e', 'A', '.', '.'};
    for (auto at = data.begin(); at != data.end(); at += 8192) {
        stream.push_back('#');
        stream.insert(stream.end(), at, at + 8192);
    }
    stream.push_back('$');
    return stream;
}

using Upload = ControllerTest;

// The sizes run one after the other in one app: each upload starts its checksum afresh.
TEST_F(Upload, EverySizeSendsItsPaddedBlocksAndTheChecksumMatches)
{
    Device& device = controllerOn(2);
    for (const std::size_t size : {0, 8192, 8193, 100 * 1024 + 7}) {
        SCOPED_TRACE(size);
        device.clearLogs();
        ui = ScriptedInteraction{};
        const Bytes image = randomBytes(size, static_cast<unsigned>(size));
        const Bytes data = blockData(image);
        EXPECT_EQ(app.UploadFirmware(image, ui), UploadResult::Done);
        EXPECT_EQ(device.bootloaderBytes(), expectedStream(data));
        EXPECT_EQ(app.m_checksum, crc32(0L, data.data(), static_cast<uInt>(data.size())));
        EXPECT_EQ(app.connected, 0) << "closed after the upload";
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(ui.confirmations, Texts{"Aktivieren Sie den Bootloader (Enter+Reset)"});
        EXPECT_EQ(ui.events, (Texts{"status: Firmwareübertragung ... ", "busy on", "status: Checksumme prüfen ...",
                                    "status: Firmwareübertragung ist abgeschlossen.", "busy off"}));
        // Progress counts the file's bytes, never the padding, and never has a total of 0.
        const auto total = std::max<std::int64_t>(static_cast<std::int64_t>(size), 1);
        ASSERT_EQ(ui.progress.size(), data.size() / 8192 + 1);
        EXPECT_EQ(ui.progress[1], (Progress{std::min<std::int64_t>(8192, total), total}));
        EXPECT_EQ(ui.progress.back(), (Progress{total, total}));
    }
}

TEST_F(Upload, AnIdentifierInPiecesOrNoneIsNotABootloader)
{
    Device& device = controllerOn(2);
    for (const bool pieces : {false, true}) { // "in pieces" leaves the device in its bootloader
        SCOPED_TRACE(pieces ? "in pieces" : "absent");
        ui = ScriptedInteraction{};
        device.clearLogs();
        device.setIdentifyInPieces(pieces);
        device.setBootloaderPresent(pieces);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(app.UploadFirmware(randomBytes(100, 2), ui), UploadResult::BootloaderNotFound);
        EXPECT_LT(secondsSince(start), 4.0);
        EXPECT_EQ(ui.messages, Texts{"CRX-Bootloader nicht gefunden!"});
        EXPECT_TRUE(ui.events.empty());
        EXPECT_EQ(app.connected, 0);
        EXPECT_LE(device.bootloaderBytes().size(), 1u) << "nothing after the 'S'";
    }
}

TEST_F(Upload, ASilentBootloaderEndsTheUploadAfterTheAnswerTimeout)
{
    Device& device = controllerOn(2);
    device.setBootloaderSilentAfter(BootloaderStep::Erase);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(app.UploadFirmware(randomBytes(20000, 3), ui), UploadResult::Stopped);
    EXPECT_GE(secondsSince(start), 4.5);
    EXPECT_LT(secondsSince(start), 12.0);
    EXPECT_EQ(ui.messages, Texts{"Update fehlgeschlagen! Der Bootloader antwortet nicht (Adresse)."});
    EXPECT_EQ(ui.events, (Texts{"status: Firmwareübertragung ... ", "busy on",
                                "status: Firmwareübertragung abgebrochen.", "busy off"}));
    EXPECT_EQ(app.connected, 0);
    EXPECT_EQ(device.bootloaderBytes(), (Bytes{'S', 'P', 'e', 'A', '.', '.'}));
}

// Unplugged after the first block: no message per step, one naming the device, at once.
TEST_F(Upload, AVanishedDeviceEndsTheUploadAtOnceWithOneMessage)
{
    Device& device = controllerOn(2);
    const std::string path = device.slavePath();
    ui.onProgress = [&](std::int64_t done) {
        if (done != 8192)
            return;
        device.disappearNow();
        while (!device.disappeared())
            std::this_thread::sleep_for(1ms);
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(app.UploadFirmware(randomBytes(128 * 1024, 4), ui), UploadResult::LinkLost);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(ui.messages, Texts{linkLostMessage("COM2", path)});
    EXPECT_TRUE(contains(ui.messages[0], path));
    EXPECT_EQ(app.connected, 0);
    EXPECT_EQ(app.m_context.portHandle, -1);
}

// A stop request is taken between two blocks: the block in flight is finished, no further
// block and no checksum query is sent, and the connection is closed.
TEST_F(Upload, AStopRequestEndsTheUploadBetweenTwoBlocks)
{
    Device& device = controllerOn(2);
    ui.stopWhen = [this] { return !ui.progress.empty() && ui.progress.back().first >= 2 * 8192; };
    EXPECT_EQ(app.UploadFirmware(randomBytes(64 * 1024, 5), ui), UploadResult::Cancelled);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.events, (Texts{"status: Firmwareübertragung ... ", "busy on",
                                "status: Firmwareübertragung abgebrochen.", "busy off"}));
    EXPECT_EQ(app.connected, 0);
    EXPECT_EQ(device.bootloaderBytes().size(), 6u + 2 * 8193) << "S, P, e, A.. and two blocks";
}

// CRC-32 (IEEE 802.3) test vectors, taken byte by byte and as one run.
TEST(Checksum, KnownVectorsByteByByteAndAsARun)
{
    const std::pair<std::string_view, std::uint32_t> vectors[] = {
        {"", 0x00000000},
        {"a", 0xE8B7BE43},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339}};
    for (const auto& [text, crc] : vectors) {
        CMoravelSDIApp run, bytes;
        run.UpdateChecksum(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        for (const char c : text)
            bytes.UpdateChecksum(static_cast<std::uint8_t>(c));
        EXPECT_EQ(~run.m_checksum, crc) << text;
        EXPECT_EQ(~bytes.m_checksum, crc) << text;
    }
}

TEST(FirmwareFile, UnreadableOrOversizedFilesGiveAMessageAndNothing)
{
    TempDir dir;
    RecordingInteraction ui;
    EXPECT_EQ(readFirmwareFile(dir.write("empty.crx", ""), ui), Bytes{});
    EXPECT_TRUE(ui.messages.empty());

    EXPECT_FALSE(readFirmwareFile(dir.path().string(), ui)); // opens, cannot be read (a missing file: moravel-cli)
    const std::string big = dir.write("big.crx", "");
    std::filesystem::resize_file(big, kMaxFirmwareFileSize + 1);
    EXPECT_FALSE(readFirmwareFile(big, ui));
    EXPECT_EQ(ui.messages, (Texts{"Die Firmware-Datei kann nicht gelesen werden:\n" + dir.path().string(),
                                  "Die Firmware-Datei ist zu groß (höchstens 16 MiB):\n" + big}));
    std::filesystem::resize_file(big, kMaxFirmwareFileSize);
    EXPECT_EQ(readFirmwareFile(big, ui)->size(), kMaxFirmwareFileSize);
}

} // namespace
} // namespace moravel::test

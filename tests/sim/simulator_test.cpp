// The simulator's own behaviour that the link tests do not show: the bootloader protocol,
// pacing, the parameter store, and parameters kept across connections.

#include "link/include/quorlink.h"
#include "sim/parameter_store.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace quorlink::sim {
namespace {

using namespace std::chrono_literals;

class Bootloader : public ::testing::Test {
protected:
    Device& begin()
    {
        auto& device = m_sim.addPort(1);
        m_sim.exportEnvironment();
        m_sim.start();
        EXPECT_EQ(KorvexOpenConnectionPort(&m_ctx, 1), 1);
        return device;
    }
    void TearDown() override { KorvexCloseConnection(&m_ctx); }

    void send(const std::vector<std::uint8_t>& bytes)
    {
        ASSERT_EQ(KorvexWriteChar(&m_ctx, bytes.data(), static_cast<std::int32_t>(bytes.size())),
                  static_cast<std::int32_t>(bytes.size()));
    }

    // Polls like the upload does, up to a deadline; returns what the first read delivered.
    std::vector<std::uint8_t> answer(int max, std::chrono::milliseconds within = 1000ms)
    {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(max));
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::int32_t n = KorvexReadChar(&m_ctx, buffer.data(), max);
            if (n > 0) {
                buffer.resize(static_cast<std::size_t>(n));
                return buffer;
            }
            std::this_thread::sleep_for(1ms);
        }
        return {};
    }

    // S, P, e, "A.." and one block; returns the data bytes sent.
    std::vector<std::uint8_t> uploadOneBlock()
    {
        send({'S'});
        EXPECT_EQ(answer(7), (std::vector<std::uint8_t> {'A', 'V', 'R', 'B', '1', '2', '8'}));
        for (const auto& request : {std::vector<std::uint8_t> {'P'}, {'e'}, {'A', '.', '.'}}) {
            send(request);
            EXPECT_EQ(answer(3).size(), 1u);
        }
        std::vector<std::uint8_t> block(8193, 0xFF);
        block[0] = '#';
        for (std::size_t i = 1; i < 5000; ++i)
            block[i] = static_cast<std::uint8_t>(i * 7);
        send({block.begin(), block.begin() + 513});
        for (std::size_t at = 513; at < block.size(); at += 512)
            send({block.begin() + static_cast<std::ptrdiff_t>(at), block.begin() + static_cast<std::ptrdiff_t>(at + 512)});
        EXPECT_EQ(answer(1).size(), 1u);
        return {block.begin() + 1, block.end()};
    }

    static std::uint32_t crcOf(const std::vector<std::uint8_t>& data)
    {
        return static_cast<std::uint32_t>(crc32(0L, data.data(), static_cast<uInt>(data.size())));
    }

    static std::uint32_t bigEndian(const std::vector<std::uint8_t>& b)
    {
        return b.size() != 4 ? 0 : std::uint32_t {b[0]} << 24 | std::uint32_t {b[1]} << 16 | std::uint32_t {b[2]} << 8 | b[3];
    }

    Simulator m_sim;
    ConnectionContext m_ctx {};
};

TEST_F(Bootloader, AnswersTheUploadAndReturnsToCommandMode)
{
    auto& device = begin();
    const auto data = uploadOneBlock();
    send({'$'});
    EXPECT_EQ(bigEndian(answer(4)), crcOf(data));
    EXPECT_FALSE(device.inBootloader());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);

    std::vector<std::uint8_t> expected = {'S', 'P', 'e', 'A', '.', '.', '#'};
    expected.insert(expected.end(), data.begin(), data.end());
    expected.push_back('$');
    EXPECT_EQ(device.bootloaderBytes(), expected);
    std::size_t total = 0;
    for (const auto& read : device.bootloaderReads())
        total += read.size;
    EXPECT_EQ(total, expected.size());
}

TEST_F(Bootloader, WrongCrcDiffersInTheLowestBit)
{
    auto& device = begin();
    device.setWrongCrc(true);
    const auto data = uploadOneBlock();
    send({'$'});
    EXPECT_EQ(bigEndian(answer(4)), crcOf(data) ^ 1u);
}

TEST_F(Bootloader, IdentifierInPiecesArrivesAsThreeThenFourBytes)
{
    auto& device = begin();
    device.setIdentifyInPieces(true);
    send({'S'});
    EXPECT_EQ(answer(7), (std::vector<std::uint8_t> {'A', 'V', 'R'}));
    EXPECT_EQ(answer(7), (std::vector<std::uint8_t> {'B', '1', '2', '8'}));
}

TEST_F(Bootloader, AbsentBootloaderSwallowsTheEntryByte)
{
    auto& device = begin();
    device.setBootloaderPresent(false);
    send({'S'});
    EXPECT_TRUE(answer(7, 200ms).empty());
    EXPECT_FALSE(device.inBootloader());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);  // frames stay aligned
}

TEST_F(Bootloader, SilentAfterAStep)
{
    auto& device = begin();
    device.setBootloaderSilentAfter(BootloaderStep::Erase);
    send({'S'});
    EXPECT_EQ(answer(7).size(), 7u);
    send({'P'});
    EXPECT_EQ(answer(1).size(), 1u);
    send({'e'});
    EXPECT_EQ(answer(1).size(), 1u);
    send({'A', '.', '.'});
    EXPECT_TRUE(answer(3, 200ms).empty());
}

TEST(Pacing, HoldsAHostWriteToTheLineRateAndStillAnswersInTime)
{
    Simulator sim;
    auto& device = sim.addPort(1);
    device.setPacing(true);
    sim.exportEnvironment();
    sim.start();
    ConnectionContext ctx {};
    ASSERT_EQ(KorvexOpenConnectionPort(&ctx, 1), 1);
    EXPECT_EQ(ParameterLesen(&ctx, 5, 5, std::array<std::int32_t, 4> {}.data()) == 1, true);
    // 30000 bytes take 2.6 s on the line; the pseudo-terminal buffers about 17 KB of them.
    std::vector<std::uint8_t> data(30000, 0);
    data[0] = 'S';
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(KorvexWriteChar(&ctx, data.data(), static_cast<std::int32_t>(data.size())), 30000);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(took, 0.6);
    KorvexCloseConnection(&ctx);
}

TEST(ParameterStore, HoldsTheExchangeableKeysWithFactoryValues)
{
    const ParameterStore store;
    const auto keys = ParameterStore::keys();
    ASSERT_EQ(keys.size(), 38u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    for (const std::uint16_t fileOnly : {0x0108, 0x0109, 0x0300, 0x0301, 0x0302, 0x0303, 0x0507})
        EXPECT_FALSE(store.get(fileOnly).has_value()) << std::hex << fileOnly;
    EXPECT_EQ(store.name(), "NC-Travo USB    ");
    EXPECT_EQ(store.getLong(0x0000), 400);
    EXPECT_EQ(store.getFloat(0x0101), 4.0f);
    EXPECT_EQ(store.getLong(0x0202), 3);
    EXPECT_EQ(store.getFourLongs(0x040A), (std::array<std::int32_t, 4> {100, 100, 50, 50}));
    EXPECT_EQ(store.get(0x0304), (ValueArea {1, 1, 0, 0, 2, 1, 0, 3}));
    EXPECT_EQ(store.getLong(0x0500), 4);
}

TEST(ParameterStore, StoresOnlyTheBytesOfTheKeysShape)
{
    ParameterStore store;
    ValueArea area;
    area.fill(0x77);
    EXPECT_EQ(store.set(0x040D, area), (ValueArea {0x77, 0x77, 0x77, 0x77}));
    EXPECT_EQ(store.set(0x0304, area), (ValueArea {0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77}));
    EXPECT_EQ(store.set(0x040C, area), area);
    EXPECT_FALSE(store.set(0x0507, area).has_value());
    store.setName("kurz");
    EXPECT_EQ(store.name(), "kurz            ");
}

TEST(Persistence, ChangesOutliveTheConnection)
{
    Simulator sim;
    sim.addPort(2);
    sim.exportEnvironment();
    sim.start();
    ConnectionContext first {};
    ASSERT_EQ(KorvexOpenConnectionPort(&first, 2), 1);
    ASSERT_EQ(ParameterAendern_long(&first, 5, 6, 42), 1);
    KorvexCloseConnection(&first);
    ConnectionContext second {};
    ASSERT_EQ(KorvexOpenConnectionPort(&second, 2), 1);
    std::int32_t value[4];
    ASSERT_EQ(ParameterLesen(&second, 5, 6, value), 1);
    EXPECT_EQ(value[0], 42);
    KorvexCloseConnection(&second);
}

}  // namespace
}  // namespace quorlink::sim

// The simulator's own behaviour that the link tests do not show: the bootloader protocol,
// pacing, and how the parameter store keeps a value.

#include "link/include/quorlink.h"
#include "sim/parameter_store.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace quorlink::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class Bootloader : public ::testing::Test {
protected:
    Device& begin(bool paced = false)
    {
        auto& device = m_sim.addPort(1);
        device.setPacing(paced);
        m_sim.exportEnvironment();
        m_sim.start();
        EXPECT_EQ(KorvexOpenConnectionPort(&m_ctx, 1), 1);
        return device;
    }
    void TearDown() override { KorvexCloseConnection(&m_ctx); }

    void send(const Bytes& bytes)
    {
        const auto size = static_cast<std::int32_t>(bytes.size());
        ASSERT_EQ(KorvexWriteChar(&m_ctx, bytes.data(), size), size);
    }

    // Polls like the upload does, up to a deadline; returns what the first read delivered.
    Bytes answer(std::chrono::milliseconds within = 1000ms)
    {
        Bytes buffer(16);
        for (const auto deadline = std::chrono::steady_clock::now() + within; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(1ms)) {
            if (const std::int32_t n = KorvexReadChar(&m_ctx, buffer.data(), 16); n > 0)
                return {buffer.begin(), buffer.begin() + n};
        }
        return {};
    }

    Simulator m_sim;
    ConnectionContext m_ctx {};
};

TEST_F(Bootloader, AnswersAnUploadWithTheCrcOfItsDataAndReturnsToCommandMode)
{
    auto& device = begin();
    Bytes block(8193, 0xFF);
    block[0] = '#';
    for (std::size_t i = 1; i < 5000; ++i)
        block[i] = static_cast<std::uint8_t>(i * 7);
    const auto crc = static_cast<std::uint32_t>(crc32(0L, block.data() + 1, 8192));
    for (const std::uint32_t wrong : {0u, 1u}) {  // the wrong CRC has its lowest bit flipped
        SCOPED_TRACE(wrong ? "wrong CRC" : "right CRC");
        device.setWrongCrc(wrong == 1);
        device.clearLogs();
        send({'S'});
        EXPECT_EQ(answer(), (Bytes {'A', 'V', 'R', 'B', '1', '2', '8'}));
        for (const Bytes& request : {Bytes {'P'}, Bytes {'e'}, Bytes {'A', '.', '.'}, block}) {
            send(request);
            EXPECT_EQ(answer().size(), 1u);
        }
        send({'$'});
        const std::uint32_t sent = crc ^ wrong;
        EXPECT_EQ(answer(), (Bytes {std::uint8_t(sent >> 24), std::uint8_t(sent >> 16), std::uint8_t(sent >> 8),
                                    std::uint8_t(sent)}));
        EXPECT_FALSE(device.inBootloader());
        EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);
        Bytes log = block;
        log.insert(log.begin(), {'S', 'P', 'e', 'A', '.', '.'});
        log.push_back('$');
        EXPECT_EQ(device.bootloaderBytes(), log);
        std::size_t total = 0;
        for (const auto& read : device.bootloaderReads())
            total += read.size;
        EXPECT_EQ(total, log.size());
    }
}

TEST_F(Bootloader, AbsentBootloaderSwallowsTheEntryByteAndFramesStayAligned)
{
    auto& device = begin();
    device.setBootloaderPresent(false);
    send({'S'});
    EXPECT_TRUE(answer(200ms).empty());
    EXPECT_FALSE(device.inBootloader());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);
}

TEST_F(Bootloader, PacingHoldsAHostWriteToTheLineRateAndStillAnswersInTime)
{
    begin(true);
    std::int32_t name[4];
    EXPECT_EQ(ParameterLesen(&m_ctx, 5, 5, name), 1);
    // 30000 bytes take 2.6 s on the line; the pseudo-terminal buffers about 17 KB of them.
    Bytes data(30000, 0);
    data[0] = 'S';
    const auto start = std::chrono::steady_clock::now();
    send(data);
    EXPECT_GT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.6);
}

TEST(ParameterStore, StoresOnlyTheBytesOfTheKeysShape)
{
    ParameterStore store;
    ValueArea area;
    area.fill(0x77);
    EXPECT_EQ(store.set(0x040D, area), (ValueArea {0x77, 0x77, 0x77, 0x77}));
    EXPECT_EQ(store.set(0x0304, area), (ValueArea {0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77}));
    EXPECT_EQ(store.set(0x040C, area), area);
    EXPECT_FALSE(store.set(0x0507, area).has_value());  // kept in files only
}

}  // namespace
}  // namespace quorlink::sim

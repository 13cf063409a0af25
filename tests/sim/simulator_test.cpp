// The simulator's own behaviour that the link and upload tests do not show: the bootloader's
// answers and its way back to command mode, pacing, and how the parameter store keeps a value.

#include "sim/parameter_store.h"
#include "tests/link/sim_fixture.h"

#include <zlib.h>

#include <thread>

namespace quorlink::test {
namespace {

// Raw bytes to and from one simulated controller.
class Bootloader : public SimTest {
protected:
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
};

TEST_F(Bootloader, AnswersAnUploadWithTheCrcOfItsDataAndReturnsToCommandMode)
{
    auto& device = openOnCom3();
    Bytes block(8193, 0xFF);
    block[0] = '#';
    for (std::size_t i = 1; i < 5000; ++i)
        block[i] = static_cast<std::uint8_t>(i * 7);
    send({'S'});
    EXPECT_EQ(answer(), (Bytes {'A', 'V', 'R', 'B', '1', '2', '8'}));
    for (const Bytes& request : {Bytes {'P'}, Bytes {'e'}, Bytes {'A', '.', '.'}, block}) {
        send(request);
        EXPECT_EQ(answer().size(), 1u);
    }
    send({'$'});
    const auto crc = static_cast<std::uint32_t>(crc32(0L, block.data() + 1, 8192));
    EXPECT_EQ(answer(), (Bytes {std::uint8_t(crc >> 24), std::uint8_t(crc >> 16), std::uint8_t(crc >> 8),
                                std::uint8_t(crc)}));
    EXPECT_FALSE(device.inBootloader());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);
    block.insert(block.begin(), {'S', 'P', 'e', 'A', '.', '.'});
    block.push_back('$');
    EXPECT_EQ(device.bootloaderBytes(), block);
}

TEST_F(Bootloader, AbsentBootloaderSwallowsTheEntryByteAndFramesStayAligned)
{
    auto& device = openOnCom3();
    device.setBootloaderPresent(false);
    send({'S'});
    EXPECT_TRUE(answer(200ms).empty());
    EXPECT_FALSE(device.inBootloader());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);
}

using Pacing = Bootloader;

TEST_F(Pacing, HoldsAHostWriteToTheLineRateAndStillAnswersInTime)
{
    openOnCom3().setPacing(true);
    std::int32_t name[4];
    EXPECT_EQ(ParameterLesen(&m_ctx, 5, 5, name), 1);
    // 30000 bytes take 2.6 s on the line; the pseudo-terminal buffers about 17 KB of them.
    Bytes data(30000, 0);
    data[0] = 'S';
    const auto start = std::chrono::steady_clock::now();
    send(data);
    EXPECT_GT(secondsSince(start), 0.6);
}

TEST(ParameterStore, StoresOnlyTheBytesOfTheKeysShape)
{
    sim::ParameterStore store;
    sim::ValueArea area;
    area.fill(0x77);
    EXPECT_EQ(store.set(0x040D, area), (sim::ValueArea {0x77, 0x77, 0x77, 0x77}));
    EXPECT_EQ(store.set(0x0304, area), (sim::ValueArea {0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77}));
    EXPECT_EQ(store.set(0x040C, area), area);
    EXPECT_FALSE(store.set(0x0507, area).has_value());  // kept in files only
}

}  // namespace
}  // namespace quorlink::test

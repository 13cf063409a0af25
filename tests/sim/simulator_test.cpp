// The simulator's own behaviour that the link and upload tests do not show: the bootloader's
// way back to command mode, and pacing.

#include "tests/link/sim_fixture.h"

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
        const auto deadline = std::chrono::steady_clock::now() + within;
        std::int32_t n;
        while ((n = KorvexReadChar(&m_ctx, buffer.data(), 16)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return {buffer.begin(), buffer.begin() + n};
    }
};

// The upload tests check the bytes, the blocks and the CRC; here the device's way back.
TEST_F(Bootloader, ReturnsToCommandModeAfterTheChecksumAndWhenAbsentSwallowsTheEntryByte)
{
    auto& device = openOnCom3();
    send({'S'});
    EXPECT_EQ(answer(), (Bytes{'A', 'V', 'R', 'B', '1', '2', '8'}));
    EXPECT_TRUE(device.inBootloader());
    send({'$'});
    EXPECT_EQ(answer(), Bytes(4, 0)); // the CRC-32 of no data
    EXPECT_FALSE(device.inBootloader());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1);
    device.setBootloaderPresent(false);
    send({'S'});
    EXPECT_TRUE(answer(200ms).empty());
    EXPECT_EQ(StatusAbfrage(&m_ctx, 0), 1); // frames stay aligned
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

} // namespace
} // namespace quorlink::test

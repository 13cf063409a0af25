#include "tests/link/sim_fixture.h"

#include <cstring>

namespace quorlink::test {

Frame requestFrame(std::uint8_t cls, std::uint8_t code, std::uint8_t sequence,
                   std::initializer_list<std::pair<int, std::vector<std::uint8_t>>> runs, std::uint8_t trailer)
{
    Frame f {};
    f[0] = cls;
    f[1] = code;
    for (const auto& [offset, bytes] : runs)
        std::copy(bytes.begin(), bytes.end(), f.begin() + offset);
    f[59] = sequence;
    f[63] = trailer;
    return f;
}

std::vector<std::uint8_t> le32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u >> 16),
            static_cast<std::uint8_t>(u >> 24)};
}

std::vector<std::uint8_t> le32f(float v)
{
    std::int32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return le32(bits);
}

double secondsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

void SimTest::begin()
{
    m_sim.exportEnvironment();
    m_sim.start();
}

sim::Device& SimTest::openOnCom3()
{
    auto& device = m_sim.addPort(3);
    begin();
    EXPECT_EQ(KorvexOpenConnectionPort(&m_ctx, 3), 1);
    EXPECT_TRUE(device.waitForFrames(1, 1s));
    device.clearLogs();
    return device;
}

Frame SimTest::lastFrame(sim::Device& device)
{
    device.waitForFrames(1, 1s);
    const auto frames = device.frames();
    return frames.empty() ? Frame {} : frames.back().bytes;
}

void SimTest::TearDown()
{
    KorvexCloseConnection(&m_ctx);
}

}  // namespace quorlink::test

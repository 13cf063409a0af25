#pragma once
// Test fixture: the library against in-process simulated controllers on real
// pseudo-terminals.

#include "sim/simulator.h"
#include <quorlink.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

namespace quorlink::test {

using Frame = std::array<std::uint8_t, 64>;
using Bytes = std::vector<std::uint8_t>;
using Call = std::function<std::int32_t(ConnectionContext*)>;
using namespace std::chrono_literals;

// A 64-byte request: class, code, sequence, trailer and the given (offset, bytes) runs.
inline Frame requestFrame(std::uint8_t cls, std::uint8_t code, std::uint8_t sequence,
                          std::initializer_list<std::pair<int, Bytes>> runs = {}, std::uint8_t trailer = 0xA7)
{
    Frame f{};
    f[0] = cls;
    f[1] = code;
    for (const auto& [offset, bytes] : runs)
        std::copy(bytes.begin(), bytes.end(), f.begin() + offset);
    f[59] = sequence;
    f[63] = trailer;
    return f;
}

// Little-endian bytes of 32-bit integers or floats, one after the other.
template <typename... T>
Bytes le32(T... values)
{
    Bytes out;
    for (const std::uint32_t u : {std::bit_cast<std::uint32_t>(values)...})
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(u >> shift));
    return out;
}

inline double secondsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

class SimTest : public ::testing::Test {
protected:
    // Exports QUORLINK_COM1..8 for the ports added so far (the rest point nowhere) and starts
    // the devices; call once per test, after addPort and before the first library call.
    void begin()
    {
        m_sim.exportEnvironment();
        m_sim.start();
    }

    // begin() with one controller on COM3 and m_ctx opened on it (sequence then 1). The line
    // is left cooked, with flow control and HUPCL, first: the open has to set it up itself.
    sim::Device& openOnCom3()
    {
        auto& device = m_sim.addPort(3);
        begin();
        termios t = device.lineSettings();
        t.c_cflag |= HUPCL | CRTSCTS;
        t.c_iflag |= IXON | ICRNL;
        t.c_lflag |= ICANON | ECHO;
        const int fd = open(device.slavePath().c_str(), O_RDWR | O_NOCTTY);
        EXPECT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
        close(fd);
        EXPECT_EQ(KorvexOpenConnectionPort(&m_ctx, 3), 1);
        EXPECT_TRUE(device.waitForFrames(1, 1s));
        device.clearLogs();
        return device;
    }

    // The last request the device received (waits briefly for it).
    static Frame lastFrame(const sim::Device& device)
    {
        device.waitForFrames(1, 1s);
        const auto frames = device.frames();
        return frames.empty() ? Frame{} : frames.back().bytes;
    }

    void TearDown() override { KorvexCloseConnection(&m_ctx); }

    sim::Simulator m_sim;
    ConnectionContext m_ctx{};
};

} // namespace quorlink::test

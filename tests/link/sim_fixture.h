#pragma once
// Test fixture: the library against in-process simulated controllers on real
// pseudo-terminals.

#include "link/include/quorlink.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace quorlink::test {

using Frame = std::array<std::uint8_t, 64>;
using namespace std::chrono_literals;

// A 64-byte request: class, code, sequence, trailer and the given (offset, bytes) runs.
Frame requestFrame(std::uint8_t cls, std::uint8_t code, std::uint8_t sequence,
                   std::initializer_list<std::pair<int, std::vector<std::uint8_t>>> runs = {},
                   std::uint8_t trailer = 0xA7);

// Little-endian bytes of a 32-bit integer or float.
std::vector<std::uint8_t> le32(std::int32_t v);
std::vector<std::uint8_t> le32f(float v);

// Seconds since t.
double secondsSince(std::chrono::steady_clock::time_point t);

class SimTest : public ::testing::Test {
protected:
    // Exports QUORLINK_COM1..8 for the ports added so far (the rest point nowhere) and starts
    // the devices; call once per test, after addPort and before the first library call.
    void begin();

    // begin() with one controller on COM3 and ctx opened on it (sequence then 1).
    sim::Device& openOnCom3();

    // The last request the device received (waits briefly for it).
    Frame lastFrame(sim::Device& device);

    void TearDown() override;

    sim::Simulator m_sim;
    ConnectionContext m_ctx {};
};

}  // namespace quorlink::test

#pragma once
// What the tests look for in the requests a simulated controller received: the link library's
// 64-byte frames, class in byte 0 and code in byte 1.

#include "sim/simulator.h"

#include <array>
#include <cstdint>
#include <vector>

namespace moravel::test {

using Frame = std::array<std::uint8_t, 64>;

constexpr std::uint8_t kParameterChange = 0x11;
constexpr std::uint8_t kParameterRead = 0x21;

// Class 0 (system): code 1 switches the mode (byte 2), code 3 stops (byte 2: 1 with braking
// ramp, 0 without).
inline bool isModeSwitch(const Frame& f, int mode) { return f[0] == 0 && f[1] == 1 && f[2] == mode; }
inline bool isStop(const Frame& f) { return f[0] == 0 && f[1] == 3 && f[2] <= 1; }
inline bool isStop(const Frame& f, int ramp) { return isStop(f) && f[2] == ramp; }
// Class 1: the parameter requests, the key in bytes 2 and 3.
inline bool isParameter(const Frame& f) { return f[0] == 1; }
inline bool isParameter(const Frame& f, std::uint8_t code) { return f[0] == 1 && f[1] == code; }
inline std::uint16_t keyOf(const Frame& f) { return static_cast<std::uint16_t>(f[2] << 8 | f[3]); }

// The requests a device received since its logs were last cleared.
inline std::vector<Frame> requestsOf(const quorlink::sim::Device& device)
{
    std::vector<Frame> frames;
    for (const auto& f : device.frames())
        frames.push_back(f.bytes);
    return frames;
}

} // namespace moravel::test

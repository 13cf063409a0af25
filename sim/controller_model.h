#pragma once
// What the simulated controller answers, without any I/O: the command-mode replies and the
// bootloader's byte protocol.

#include "sim/parameter_store.h"
#include "sim/simulator.h"
#include "sim/wire_format.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorlink::sim {

using RequestBytes = std::array<std::uint8_t, wire::kRequestSize>;
using ReplyBytes = std::array<std::uint8_t, wire::kReplySize>;

// The 32-byte reply to one request at `now`, as a healthy controller gives it; changes the
// machine state and the parameters as the request says. acceptByte goes into byte 21 of the
// status reply.
ReplyBytes replyTo(const RequestBytes& request, MachineState& state, ParameterStore& parameters,
                   std::uint8_t acceptByte, const Mechanics& mechanics, Clock::time_point now);

// Brings the moves under way up to `now`: positions and motor steps advance, finished moves end.
void advanceMotion(MachineState& state, Clock::time_point now);

// Every axis stops where it is now.
void stopMotion(MachineState& state, Clock::time_point now);

// Parameter key (group << 8 | item) of a class 1 request, or nothing for other classes.
std::optional<std::uint16_t> parameterKeyOf(const RequestBytes& request);

// The bootloader after the user reset the controller into it (the 'S' already received).
class Bootloader {
public:
    struct Answer {
        BootloaderStep step;
        std::vector<std::uint8_t> bytes;
        bool leaves = false; // true after the checksum: back to command mode
    };

    Bootloader();
    // Takes one received byte; returns the answer when the byte completes a request.
    std::optional<Answer> feed(std::uint8_t byte);

private:
    enum class State { Command, Address, Block };
    State m_state = State::Command;
    std::size_t m_remaining = 0;
    unsigned long m_crc;
};

} // namespace quorlink::sim

#include "sim/controller_model.h"

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace quorlink::sim {
namespace {

constexpr std::uint8_t kAck = 0x0D;
constexpr std::uint8_t kNoEcho = 0xFF;

std::int32_t getI32(const std::uint8_t* at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

float getF32(const std::uint8_t* at)
{
    const std::int32_t bits = getI32(at);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void putI32(std::uint8_t* at, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void putF32(std::uint8_t* at, float value)
{
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    putI32(at, bits);
}

// Millimetres to steps with the axis resolution (steps/mm), saturating.
std::int32_t toSteps(float mm, float resolution)
{
    const double steps = std::round(static_cast<double>(mm) * resolution);
    if (!(steps > std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (steps >= std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(steps);
}

float resolution(const ParameterStore& parameters, int axis)
{
    const float r = parameters.getFloat(static_cast<std::uint16_t>(0x0400 + axis));
    return r > 0.0f ? r : 1.0f;
}

// An axis value of a request: steps as they are (unit 1), or millimetres converted (unit 0).
std::int32_t axisValue(const std::uint8_t* at, std::uint8_t unit, const ParameterStore& parameters, int axis)
{
    return unit == 1 ? getI32(at) : toSteps(getF32(at), resolution(parameters, axis));
}

std::int32_t addSaturating(std::int32_t a, std::int32_t b)
{
    const std::int64_t sum = std::int64_t {a} + b;
    if (sum > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (sum < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(sum);
}

void systemCommand(const RequestBytes& rq, ReplyBytes& reply, MachineState& state, const ParameterStore& parameters,
                   std::uint8_t acceptByte)
{
    switch (rq[1]) {
    case 0x00:  // status and positions
        for (int axis = 0; axis < 4; ++axis) {
            std::uint8_t* at = reply.data() + 3 + 4 * axis;
            const std::int32_t steps = state.positionSteps[static_cast<std::size_t>(axis)];
            if (rq[7] == 1)
                putI32(at, steps);
            else
                putF32(at, static_cast<float>(steps / static_cast<double>(resolution(parameters, axis))));
        }
        reply[21] = acceptByte;
        reply[26] = state.statusByte;
        break;
    case 0x01: state.mode = rq[2]; break;
    case 0x02: ++state.acknowledges; break;
    case 0x03: ++state.stops; break;
    default: break;
    }
}

void machineCommand(const RequestBytes& rq, MachineState& state, const ParameterStore& parameters)
{
    auto& pos = state.positionSteps;
    switch (rq[1]) {
    case 0x11:  // relative moves: X/Y or Z/C pairs
    case 0x12: {
        const int first = rq[1] == 0x11 ? 0 : 2;
        const int pairs = std::min<int>(rq[6], 6);
        for (int i = 0; i < pairs; ++i) {
            const std::uint8_t* at = rq.data() + 8 + 8 * i;
            for (int k = 0; k < 2; ++k) {
                auto& axis = pos[static_cast<std::size_t>(first + k)];
                axis = addSaturating(axis, axisValue(at + 4 * k, rq[7], parameters, first + k));
            }
        }
        break;
    }
    case 0x21: state.spindleCoolant = rq[2]; break;
    case 0x22: state.outputs = rq[2]; break;
    case 0x31: pos = {}; break;  // homing ends at the reference points
    case 0x32: {                 // park position, millimetres
        const auto park = parameters.getFourLongs(0x040B);
        for (int axis = 0; axis < 4; ++axis)
            pos[static_cast<std::size_t>(axis)] =
                toSteps(static_cast<float>(park[static_cast<std::size_t>(axis)]), resolution(parameters, axis));
        break;
    }
    case 0x41:  // zero point: the current position gets the given coordinates
        for (int axis = 0; axis < 4; ++axis)
            pos[static_cast<std::size_t>(axis)] = axisValue(rq.data() + 8 + 4 * axis, rq[7], parameters, axis);
        break;
    default: break;
    }
}

void parameterCommand(const RequestBytes& rq, ReplyBytes& reply, ParameterStore& parameters)
{
    const std::uint16_t key = static_cast<std::uint16_t>(rq[2] << 8 | rq[3]);
    std::optional<ValueArea> value;
    if (rq[1] == 0x21) {
        value = parameters.get(key);
    } else if (rq[1] == 0x11) {
        ValueArea area;
        std::memcpy(area.data(), rq.data() + 4, area.size());
        value = parameters.set(key, area);
    }
    if (!value) {  // unknown key or code: no echo
        reply[2] = kNoEcho;
        reply[3] = kNoEcho;
        return;
    }
    reply[2] = rq[2];
    reply[3] = rq[3];
    std::memcpy(reply.data() + 4, value->data(), value->size());
}

}  // namespace

std::optional<std::uint16_t> parameterKeyOf(const RequestBytes& request)
{
    if (request[0] != 1)
        return std::nullopt;
    return static_cast<std::uint16_t>(request[2] << 8 | request[3]);
}

ReplyBytes replyTo(const RequestBytes& request, MachineState& state, ParameterStore& parameters,
                   std::uint8_t acceptByte)
{
    ReplyBytes reply {};
    reply[0] = request[0];
    reply[1] = request[1];
    switch (request[0]) {
    case 0: systemCommand(request, reply, state, parameters, acceptByte); break;
    case 1: parameterCommand(request, reply, parameters); break;
    case 2: machineCommand(request, state, parameters); break;
    default: break;
    }
    reply[27] = request[59];
    return reply;
}

Bootloader::Bootloader() : m_crc(crc32(0L, Z_NULL, 0)) {}

std::optional<Bootloader::Answer> Bootloader::feed(std::uint8_t byte)
{
    switch (m_state) {
    case State::Address:
        if (--m_remaining == 0) {
            m_state = State::Command;
            return Answer {BootloaderStep::Address, {kAck}};
        }
        return std::nullopt;
    case State::Block:
        m_crc = crc32(m_crc, &byte, 1);
        if (--m_remaining == 0) {
            m_state = State::Command;
            return Answer {BootloaderStep::Block, {kAck}};
        }
        return std::nullopt;
    case State::Command: break;
    }
    switch (byte) {
    case 'S':
        m_crc = crc32(0L, Z_NULL, 0);
        return Answer {BootloaderStep::Identify, {kBootloaderIdentifier.begin(), kBootloaderIdentifier.end()}};
    case 'P': return Answer {BootloaderStep::ProgrammingMode, {kAck}};
    case 'e': return Answer {BootloaderStep::Erase, {kAck}};
    case 'A':
        m_state = State::Address;
        m_remaining = 2;
        return std::nullopt;
    case '#':
        m_state = State::Block;
        m_remaining = kBootloaderBlockSize;
        return std::nullopt;
    case '$': {
        const auto crc = static_cast<std::uint32_t>(m_crc);
        return Answer {BootloaderStep::Checksum,
                       {static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
                        static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)},
                       true};
    }
    default: return std::nullopt;  // unknown commands are ignored
    }
}

}  // namespace quorlink::sim

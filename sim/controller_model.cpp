#include "sim/controller_model.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace quorlink::sim {
namespace {

using namespace wire;

// Parameters the machine commands use.
constexpr std::uint16_t kResolutionKey = 0x0400; // + axis: steps per millimetre
constexpr std::uint16_t kParkPositionKey = 0x040B;

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
    const float r = parameters.getFloat(static_cast<std::uint16_t>(kResolutionKey + axis));
    return r > 0.0f ? r : 1.0f;
}

// An axis value of a request: steps as they are (unit 1), or millimetres converted (unit 0).
std::int32_t axisValue(const std::uint8_t* at, std::uint8_t unit, const ParameterStore& parameters, int axis)
{
    return unit == kUnitSteps ? getI32(at) : toSteps(getF32(at), resolution(parameters, axis));
}

std::int32_t addSaturating(std::int32_t a, std::int32_t b)
{
    const std::int64_t sum = std::int64_t{a} + b;
    if (sum > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (sum < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(sum);
}

void systemCommand(const RequestBytes& rq, ReplyBytes& reply, MachineState& state, const ParameterStore& parameters,
                   std::uint8_t acceptByte)
{
    switch (rq[kCode]) {
    case kStatus:
        for (int axis = 0; axis < 4; ++axis) {
            std::uint8_t* at = reply.data() + kReplyPositions + 4 * axis;
            const std::int32_t steps = state.positionSteps[static_cast<std::size_t>(axis)];
            if (rq[kUnit] == kUnitSteps)
                putI32(at, steps);
            else
                putF32(at, static_cast<float>(steps / static_cast<double>(resolution(parameters, axis))));
        }
        reply[kReplyAccept] = acceptByte;
        reply[kReplyStatusByte] = state.statusByte;
        break;
    case kMode:
        state.mode = rq[kArgs];
        break;
    case kAcknowledge:
        ++state.acknowledges;
        break;
    case kStop:
        ++state.stops;
        break;
    default:
        break;
    }
}

void machineCommand(const RequestBytes& rq, MachineState& state, const ParameterStore& parameters)
{
    auto& pos = state.positionSteps;
    switch (rq[kCode]) {
    case kMoveXY: // relative moves: X/Y or Z/C pairs
    case kMoveZC: {
        const int first = rq[kCode] == kMoveXY ? 0 : 2;
        const int pairs = std::min<int>(rq[kPairCount], kMaxPairs);
        for (int i = 0; i < pairs; ++i) {
            const std::uint8_t* at = rq.data() + kAxisValues + kPairSize * static_cast<std::size_t>(i);
            for (int k = 0; k < 2; ++k) {
                auto& axis = pos[static_cast<std::size_t>(first + k)];
                axis = addSaturating(axis, axisValue(at + 4 * k, rq[kUnit], parameters, first + k));
            }
        }
        break;
    }
    case kSpindleCoolant:
        state.spindleCoolant = rq[kArgs];
        break;
    case kOutputs:
        state.outputs = rq[kArgs];
        break;
    case kHoming:
        pos = {};
        break;    // homing ends at the reference points
    case kPark: { // park position, millimetres
        const auto park = parameters.getFourLongs(kParkPositionKey);
        for (int axis = 0; axis < 4; ++axis)
            pos[static_cast<std::size_t>(axis)] =
                toSteps(static_cast<float>(park[static_cast<std::size_t>(axis)]), resolution(parameters, axis));
        break;
    }
    case kZeroPoint: // the current position gets the given coordinates
        for (int axis = 0; axis < 4; ++axis)
            pos[static_cast<std::size_t>(axis)] =
                axisValue(rq.data() + kAxisValues + 4 * axis, rq[kUnit], parameters, axis);
        break;
    default:
        break;
    }
}

void parameterCommand(const RequestBytes& rq, ReplyBytes& reply, ParameterStore& parameters)
{
    const std::uint16_t key = static_cast<std::uint16_t>(rq[kGroup] << 8 | rq[kItem]);
    std::optional<ValueArea> value;
    if (rq[kCode] == kParameterRead) {
        value = parameters.get(key);
    } else if (rq[kCode] == kParameterChange) {
        ValueArea area;
        std::memcpy(area.data(), rq.data() + kValue, area.size());
        value = parameters.set(key, area);
    }
    if (!value) { // unknown key or code: no echo
        reply[kGroup] = kNoEcho;
        reply[kItem] = kNoEcho;
        return;
    }
    reply[kGroup] = rq[kGroup];
    reply[kItem] = rq[kItem];
    std::memcpy(reply.data() + kValue, value->data(), value->size());
}

} // namespace

std::optional<std::uint16_t> parameterKeyOf(const RequestBytes& request)
{
    if (request[kClass] != kClassParameter)
        return std::nullopt;
    return static_cast<std::uint16_t>(request[kGroup] << 8 | request[kItem]);
}

ReplyBytes replyTo(const RequestBytes& request, MachineState& state, ParameterStore& parameters,
                   std::uint8_t acceptByte)
{
    ReplyBytes reply{};
    reply[kReplyClass] = request[kClass];
    reply[kReplyCode] = request[kCode];
    switch (request[kClass]) {
    case kClassSystem:
        systemCommand(request, reply, state, parameters, acceptByte);
        break;
    case kClassParameter:
        parameterCommand(request, reply, parameters);
        break;
    case kClassMachine:
        machineCommand(request, state, parameters);
        break;
    default:
        break;
    }
    reply[kReplySequence] = request[kSequence];
    return reply;
}

Bootloader::Bootloader() : m_crc(crc32(0L, Z_NULL, 0)) {}

std::optional<Bootloader::Answer> Bootloader::feed(std::uint8_t byte)
{
    switch (m_state) {
    case State::Address:
        if (--m_remaining == 0) {
            m_state = State::Command;
            return Answer{BootloaderStep::Address, {kBootloaderAck}};
        }
        return std::nullopt;
    case State::Block:
        m_crc = crc32(m_crc, &byte, 1);
        if (--m_remaining == 0) {
            m_state = State::Command;
            return Answer{BootloaderStep::Block, {kBootloaderAck}};
        }
        return std::nullopt;
    case State::Command:
        break;
    }
    switch (byte) {
    case kBootloaderEntry:
        m_crc = crc32(0L, Z_NULL, 0);
        return Answer{BootloaderStep::Identify, {kBootloaderIdentifier.begin(), kBootloaderIdentifier.end()}};
    case kProgrammingMode:
        return Answer{BootloaderStep::ProgrammingMode, {kBootloaderAck}};
    case kErase:
        return Answer{BootloaderStep::Erase, {kBootloaderAck}};
    case kAddress:
        m_state = State::Address;
        m_remaining = kAddressBytes;
        return std::nullopt;
    case kBlock:
        m_state = State::Block;
        m_remaining = kBootloaderBlockSize;
        return std::nullopt;
    case kChecksum: {
        const auto crc = static_cast<std::uint32_t>(m_crc);
        return Answer{BootloaderStep::Checksum,
                      {static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
                       static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)},
                      true};
    }
    default:
        return std::nullopt; // unknown commands are ignored
    }
}

} // namespace quorlink::sim

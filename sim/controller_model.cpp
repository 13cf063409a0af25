#include "sim/controller_model.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace quorlink::sim {
namespace {

using namespace wire;

// Parameters the machine commands use.
constexpr std::uint16_t kResolutionKey = 0x0400; // + axis: steps per millimetre
constexpr std::uint16_t kParkPositionKey = 0x040B;
constexpr std::uint16_t kDirectionReversalKey = 0x0408; // per axis: 1 turns the motor the other way

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

// The command context of the machine actions.
struct Machine {
    MachineState& state;
    const ParameterStore& parameters;
    const Mechanics& mechanics;
    Clock::time_point now;

    // Sends axis to `target` (the controller's steps), from where it is now: at once without a
    // speed, else at the speed in the controller's millimetres.
    void travel(int axis, std::int32_t target)
    {
        const auto a = static_cast<std::size_t>(axis);
        std::int32_t& position = state.positionSteps[a];
        const bool reversed = (parameters.getFourLongs(kDirectionReversalKey)[a] != 0) != mechanics.reversedWiring[a];
        const int sign = reversed ? -1 : 1;
        if (!(mechanics.speedMmPerSecond > 0)) {
            state.motorSteps[a] += sign * (std::int64_t{target} - position);
            position = target;
            state.motion[a] = {};
            return;
        }
        state.motion[a] = {position, target, now, mechanics.speedMmPerSecond * resolution(parameters, axis), sign};
    }

    // A relative move: on top of a move still under way.
    void move(int axis, std::int32_t steps)
    {
        const AxisMotion& m = state.motion[static_cast<std::size_t>(axis)];
        travel(axis, addSaturating(m.active() ? m.to : state.positionSteps[static_cast<std::size_t>(axis)], steps));
    }
};

void systemCommand(const RequestBytes& rq, ReplyBytes& reply, MachineState& state, const ParameterStore& parameters,
                   std::uint8_t acceptByte, Clock::time_point now)
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
        stopMotion(state, now);
        break;
    default:
        break;
    }
}

void machineCommand(const RequestBytes& rq, Machine machine)
{
    MachineState& state = machine.state;
    const ParameterStore& parameters = machine.parameters;
    switch (rq[kCode]) {
    case kMoveXY: // relative moves: X/Y or Z/C pairs
    case kMoveZC: {
        const int first = rq[kCode] == kMoveXY ? 0 : 2;
        const int pairs = std::min<int>(rq[kPairCount], kMaxPairs);
        std::array<std::int32_t, 2> steps{};
        for (int i = 0; i < pairs; ++i) {
            const std::uint8_t* at = rq.data() + kAxisValues + kPairSize * static_cast<std::size_t>(i);
            for (int k = 0; k < 2; ++k)
                steps[static_cast<std::size_t>(k)] = addSaturating(
                    steps[static_cast<std::size_t>(k)], axisValue(at + 4 * k, rq[kUnit], parameters, first + k));
        }
        for (int k = 0; k < 2; ++k)
            if (steps[static_cast<std::size_t>(k)] != 0)
                machine.move(first + k, steps[static_cast<std::size_t>(k)]);
        break;
    }
    case kSpindleCoolant:
        state.spindleCoolant = rq[kArgs];
        break;
    case kOutputs:
        state.outputs = rq[kArgs];
        break;
    case kHoming: // homing ends at the reference points
        state.positionSteps = {};
        state.motion = {};
        state.motorSteps = {};
        break;
    case kPark: { // park position, millimetres
        const auto park = parameters.getFourLongs(kParkPositionKey);
        for (int axis = 0; axis < 4; ++axis)
            machine.travel(
                axis, toSteps(static_cast<float>(park[static_cast<std::size_t>(axis)]), resolution(parameters, axis)));
        break;
    }
    case kZeroPoint: // the current position gets the given coordinates; the axes stay
        stopMotion(state, machine.now);
        for (int axis = 0; axis < 4; ++axis)
            state.positionSteps[static_cast<std::size_t>(axis)] =
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

void advanceMotion(MachineState& state, Clock::time_point now)
{
    for (std::size_t a = 0; a < 4; ++a) {
        AxisMotion& m = state.motion[a];
        if (!m.active())
            continue;
        const std::int64_t distance = std::int64_t{m.to} - m.from;
        const double elapsed = std::chrono::duration<double>(now - m.start).count();
        const double possible = std::floor(std::max(elapsed, 0.0) * m.stepsPerSecond);
        const std::int64_t done = possible >= static_cast<double>(std::llabs(distance))
                                      ? std::llabs(distance)
                                      : static_cast<std::int64_t>(possible);
        const auto position = static_cast<std::int32_t>(m.from + (distance < 0 ? -done : done));
        state.motorSteps[a] += m.motorSign * (std::int64_t{position} - state.positionSteps[a]);
        state.positionSteps[a] = position;
        if (position == m.to)
            m = {};
    }
}

void stopMotion(MachineState& state, Clock::time_point now)
{
    advanceMotion(state, now);
    state.motion = {};
}

ReplyBytes replyTo(const RequestBytes& request, MachineState& state, ParameterStore& parameters,
                   std::uint8_t acceptByte, const Mechanics& mechanics, Clock::time_point now)
{
    advanceMotion(state, now);
    ReplyBytes reply{};
    reply[kReplyClass] = request[kClass];
    reply[kReplyCode] = request[kCode];
    switch (request[kClass]) {
    case kClassSystem:
        systemCommand(request, reply, state, parameters, acceptByte, now);
        break;
    case kClassParameter:
        parameterCommand(request, reply, parameters);
        break;
    case kClassMachine:
        machineCommand(request, Machine{state, parameters, mechanics, now});
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

// The 30 entry points: argument checks, the request's argument bytes, then the core.
// Arguments that would make a request spill out of its frame, or null pointers, give 0
// before anything is sent (and before a sequence number is used).

#include "link/include/quorlink.h"
#include "link/src/commands.h"
#include "link/src/connection.h"
#include "link/src/frame.h"
#include "link/src/port.h"

#include <cstring>

using quorlink::Reply;
using quorlink::Request;
namespace frame = quorlink::frame;

namespace {

Request systemRequest(std::uint8_t code)
{
    Request request;
    request.bytes[frame::kClass] = frame::kClassSystem;
    request.bytes[frame::kCode] = code;
    return request;
}

Request machineRequest(std::uint8_t code)
{
    Request request;
    request.bytes[frame::kClass] = frame::kClassMachine;
    request.bytes[frame::kCode] = code;
    return request;
}

Request parameterChangeRequest(std::int32_t group, std::int32_t item)
{
    Request request;
    request.bytes[frame::kClass] = frame::kClassParameter;
    request.bytes[frame::kCode] = frame::kCodeParameterChange;
    request.bytes[frame::kGroup] = static_cast<std::uint8_t>(group);
    request.bytes[frame::kItem] = static_cast<std::uint8_t>(item);
    return request;
}

std::uint8_t lowByte(std::int32_t v) { return static_cast<std::uint8_t>(v); }

// Steps and millimetres go over the line as 32-bit little-endian values, whatever the
// host's byte order.
void putValue(std::uint8_t* at, std::int32_t v) { frame::putI32(at, v); }
void putValue(std::uint8_t* at, float v) { frame::putF32(at, v); }
void getValue(const std::uint8_t* at, std::int32_t& v) { v = frame::getI32(at); }
void getValue(const std::uint8_t* at, float& v) { v = frame::getF32(at); }

// Relative move: value, count pairs of 32-bit values (first/second axis), unit, flags.
template <typename T>
std::int32_t relativeMove(ConnectionContext* ctx, std::uint8_t code, std::uint8_t unit, std::int32_t value,
                          std::int32_t count, const T* first, const T* second, std::int32_t flags)
{
    if (ctx == nullptr || count < 0 || count > frame::kMaxMovePairs)
        return 0;
    if (count > 0 && (first == nullptr || second == nullptr))
        return 0;
    Request request = machineRequest(code);
    putValue(request.bytes + frame::kArg, value);
    request.bytes[6] = static_cast<std::uint8_t>(count);
    request.bytes[frame::kUnitSelect] = unit;
    for (std::int32_t i = 0; i < count; ++i) {
        putValue(request.bytes + frame::kPairs + 8 * i, first[i]);
        putValue(request.bytes + frame::kPairs + 8 * i + 4, second[i]);
    }
    request.bytes[frame::kMoveFlags] = lowByte(flags);
    return quorlink::commandWithSequenceEcho(ctx, request);
}

// Position query: on success the four 32-bit values of reply bytes 3..18 and the status byte.
template <typename T>
std::int32_t positionQuery(ConnectionContext* ctx, std::uint8_t unit, T* position, unsigned char* status)
{
    if (ctx == nullptr || position == nullptr || status == nullptr)
        return 0;
    Request request = systemRequest(frame::kCodeStatus);
    request.bytes[frame::kUnitSelect] = unit;
    Reply reply;
    if (quorlink::commandWithLengthCheck(ctx, request, reply) != 1)
        return 0;
    for (int i = 0; i < 4; ++i)
        getValue(reply.bytes + frame::kReplyPositions + 4 * i, position[i]);
    *status = reply.bytes[frame::kReplyStatusByte];
    return 1;
}

std::int32_t systemCommand(ConnectionContext* ctx, std::uint8_t code, std::uint8_t arg)
{
    if (ctx == nullptr)
        return 0;
    Request request = systemRequest(code);
    request.bytes[frame::kArg] = arg;
    Reply reply;
    return quorlink::commandWithLengthCheck(ctx, request, reply);
}

template <typename T>
std::int32_t zeroPoint(ConnectionContext* ctx, std::uint8_t unit, const T (&values)[4])
{
    if (ctx == nullptr)
        return 0;
    Request request = machineRequest(frame::kCodeZeroPoint);
    request.bytes[frame::kUnitSelect] = unit;
    for (int i = 0; i < 4; ++i)
        putValue(request.bytes + frame::kPairs + 4 * i, values[i]);
    return quorlink::commandWithSequenceEcho(ctx, request);
}

} // namespace

extern "C" {

QUORLINK_API std::int32_t QUORLINK_CALL KorvexOpenConnectionPort(ConnectionContext* ctx, std::int32_t portNumber)
{
    return ctx != nullptr ? quorlink::openByPort(ctx, portNumber) : 0;
}

QUORLINK_API std::int32_t QUORLINK_CALL KorvexOpenConnectionAuto(ConnectionContext* ctx)
{
    return ctx != nullptr ? quorlink::openByScan(ctx) : 0;
}

QUORLINK_API std::int32_t QUORLINK_CALL KorvexOpenConnectionName(ConnectionContext* ctx, const char* name)
{
    if (ctx == nullptr)
        return 0;
    if (name == nullptr) {
        ctx->errorCode = QUORLINK_ERROR_NAME_NOT_FOUND;
        return 0;
    }
    return quorlink::openByName(ctx, name);
}

QUORLINK_API std::int32_t QUORLINK_CALL KorvexCloseConnection(ConnectionContext* ctx)
{
    return quorlink::port::close(ctx) ? 1 : 0;
}

QUORLINK_API std::int32_t QUORLINK_CALL KorvexWriteChar(ConnectionContext* ctx, const void* bytes, std::int32_t count)
{
    return quorlink::port::write(ctx, bytes, count);
}

QUORLINK_API std::int32_t QUORLINK_CALL KorvexReadChar(ConnectionContext* ctx, void* buffer, std::int32_t count)
{
    return quorlink::port::read(ctx, buffer, count);
}

QUORLINK_API std::int32_t QUORLINK_CALL StatusAbfrage(ConnectionContext* ctx, std::int32_t value)
{
    if (ctx == nullptr)
        return 0;
    Request request = systemRequest(frame::kCodeStatus);
    request.bytes[frame::kUnitSelect] = lowByte(value);
    Reply reply;
    return quorlink::commandWithLengthCheck(ctx, request, reply);
}

QUORLINK_API std::int32_t QUORLINK_CALL GetPosition_mm(ConnectionContext* ctx, float position[4], unsigned char* status)
{
    return positionQuery(ctx, 0, position, status);
}

QUORLINK_API std::int32_t QUORLINK_CALL GetPosition_Schritte(ConnectionContext* ctx, std::int32_t position[4],
                                                             unsigned char* status)
{
    return positionQuery(ctx, 1, position, status);
}

QUORLINK_API std::int32_t QUORLINK_CALL BetriebsArtenWechsel(ConnectionContext* ctx, std::int32_t mode)
{
    return systemCommand(ctx, frame::kCodeMode, lowByte(mode));
}

QUORLINK_API std::int32_t QUORLINK_CALL FehlerQuitieren(ConnectionContext* ctx)
{
    return systemCommand(ctx, frame::kCodeAcknowledge, 0);
}

QUORLINK_API std::int32_t QUORLINK_CALL NotHalt_mitBremsrampe(ConnectionContext* ctx)
{
    return systemCommand(ctx, frame::kCodeStop, 1);
}

QUORLINK_API std::int32_t QUORLINK_CALL NotStop_ohneBremsrampe(ConnectionContext* ctx)
{
    return systemCommand(ctx, frame::kCodeStop, 0);
}

QUORLINK_API std::int32_t QUORLINK_CALL FahreRelativ_XY_mm(ConnectionContext* ctx, std::int32_t value,
                                                           std::int32_t count, const float x[], const float y[],
                                                           std::int32_t flags)
{
    return relativeMove(ctx, frame::kCodeMoveXY, 0, value, count, x, y, flags);
}

QUORLINK_API std::int32_t QUORLINK_CALL FahreRelativ_XY_Schritte(ConnectionContext* ctx, std::int32_t value,
                                                                 std::int32_t count, const std::int32_t x[],
                                                                 const std::int32_t y[], std::int32_t flags)
{
    return relativeMove(ctx, frame::kCodeMoveXY, 1, value, count, x, y, flags);
}

QUORLINK_API std::int32_t QUORLINK_CALL FahreRelativ_ZC_mm(ConnectionContext* ctx, std::int32_t value,
                                                           std::int32_t count, const float z[], const float c[],
                                                           std::int32_t flags)
{
    return relativeMove(ctx, frame::kCodeMoveZC, 0, value, count, z, c, flags);
}

QUORLINK_API std::int32_t QUORLINK_CALL FahreRelativ_ZC_Schritte(ConnectionContext* ctx, std::int32_t value,
                                                                 std::int32_t count, const std::int32_t z[],
                                                                 const std::int32_t c[], std::int32_t flags)
{
    return relativeMove(ctx, frame::kCodeMoveZC, 1, value, count, z, c, flags);
}

QUORLINK_API std::int32_t QUORLINK_CALL SpindelKuhlungSetzen(ConnectionContext* ctx, std::int32_t spindle,
                                                             std::int32_t coolant)
{
    if (ctx == nullptr)
        return 0;
    Request request = machineRequest(frame::kCodeSpindleCoolant);
    request.bytes[frame::kArg] = static_cast<std::uint8_t>(lowByte(spindle) + 2 * lowByte(coolant));
    return quorlink::commandWithSequenceEcho(ctx, request);
}

QUORLINK_API std::int32_t QUORLINK_CALL AllgemeineAusgaeneSetzen(ConnectionContext* ctx, std::int32_t outputs)
{
    if (ctx == nullptr)
        return 0;
    Request request = machineRequest(frame::kCodeOutputs);
    request.bytes[frame::kArg] = lowByte(outputs);
    return quorlink::commandWithSequenceEcho(ctx, request);
}

QUORLINK_API std::int32_t QUORLINK_CALL Referenzfahrt(ConnectionContext* ctx, std::int32_t count,
                                                      const unsigned char bytes[])
{
    if (ctx == nullptr || count < 0 || count > frame::kMaxHomingBytes || (count > 0 && bytes == nullptr))
        return 0;
    Request request = machineRequest(frame::kCodeHoming);
    request.bytes[frame::kArg] = static_cast<std::uint8_t>(count);
    if (count > 0)
        std::memcpy(request.bytes + frame::kArg + 1, bytes, static_cast<std::size_t>(count));
    return quorlink::commandWithSequenceEcho(ctx, request);
}

QUORLINK_API std::int32_t QUORLINK_CALL ParkPositionAnfahren(ConnectionContext* ctx)
{
    if (ctx == nullptr)
        return 0;
    Request request = machineRequest(frame::kCodePark);
    return quorlink::commandWithSequenceEcho(ctx, request);
}

QUORLINK_API std::int32_t QUORLINK_CALL NullPunktSetzen_mm(ConnectionContext* ctx, float x, float y, float z, float c)
{
    const float values[4] = {x, y, z, c};
    return zeroPoint(ctx, 0, values);
}

QUORLINK_API std::int32_t QUORLINK_CALL NullPunktSetzen_Schritte(ConnectionContext* ctx, std::int32_t x, std::int32_t y,
                                                                 std::int32_t z, std::int32_t c)
{
    const std::int32_t values[4] = {x, y, z, c};
    return zeroPoint(ctx, 1, values);
}

QUORLINK_API std::int32_t QUORLINK_CALL ParameterLesen(ConnectionContext* ctx, std::int32_t group, std::int32_t item,
                                                       std::int32_t value[4])
{
    if (ctx == nullptr || value == nullptr)
        return 0;
    std::uint8_t area[frame::kValueSize];
    const std::int32_t ok = quorlink::parameterRead(ctx, lowByte(group), lowByte(item), area);
    for (int i = 0; i < 4; ++i)
        getValue(area + 4 * i, value[i]);
    return ok;
}

QUORLINK_API std::int32_t QUORLINK_CALL ParameterAendern_long(ConnectionContext* ctx, std::int32_t group,
                                                              std::int32_t item, std::int32_t value)
{
    if (ctx == nullptr)
        return 0;
    Request request = parameterChangeRequest(group, item);
    putValue(request.bytes + frame::kValue, value);
    return quorlink::parameterChange(ctx, request, 4, false, false);
}

QUORLINK_API std::int32_t QUORLINK_CALL ParameterAendern_float(ConnectionContext* ctx, std::int32_t group,
                                                               std::int32_t item, float value)
{
    if (ctx == nullptr)
        return 0;
    Request request = parameterChangeRequest(group, item);
    putValue(request.bytes + frame::kValue, value);
    return quorlink::parameterChange(ctx, request, 4, true, false);
}

QUORLINK_API std::int32_t QUORLINK_CALL ParameterAendern_4_longs(ConnectionContext* ctx, std::int32_t group,
                                                                 std::int32_t item, std::int32_t x, std::int32_t y,
                                                                 std::int32_t z, std::int32_t c)
{
    if (ctx == nullptr)
        return 0;
    Request request = parameterChangeRequest(group, item);
    const std::int32_t values[4] = {x, y, z, c};
    for (int i = 0; i < 4; ++i)
        putValue(request.bytes + frame::kValue + 4 * i, values[i]);
    return quorlink::parameterChange(ctx, request, 16, false, false);
}

QUORLINK_API std::int32_t QUORLINK_CALL ParameterAendern_4_uchar(ConnectionContext* ctx, std::int32_t group,
                                                                 std::int32_t item, std::int32_t x, std::int32_t y,
                                                                 std::int32_t z, std::int32_t c)
{
    if (ctx == nullptr)
        return 0;
    Request request = parameterChangeRequest(group, item);
    const std::int32_t values[4] = {x, y, z, c};
    for (int i = 0; i < 4; ++i)
        request.bytes[frame::kValue + i] = lowByte(values[i]);
    return quorlink::parameterChange(ctx, request, 4, false, false);
}

QUORLINK_API std::int32_t QUORLINK_CALL ParameterAendern_ControllerName(ConnectionContext* ctx, std::int32_t group,
                                                                        std::int32_t item, const char name[16])
{
    if (ctx == nullptr || name == nullptr)
        return 0;
    Request request = parameterChangeRequest(group, item);
    std::memcpy(request.bytes + frame::kValue, name, QUORLINK_NAME_LENGTH);
    return quorlink::parameterChange(ctx, request, QUORLINK_NAME_LENGTH, false, true);
}

QUORLINK_API std::int32_t QUORLINK_CALL ParameterAendern_Richtung_Sequenz_ReferenzFahrt(
    ConnectionContext* ctx, std::int32_t group, std::int32_t item, std::int32_t c1, std::int32_t c2, std::int32_t c3,
    std::int32_t c4, std::int32_t c5, std::int32_t c6, std::int32_t c7, std::int32_t c8)
{
    if (ctx == nullptr)
        return 0;
    Request request = parameterChangeRequest(group, item);
    const std::int32_t values[8] = {c1, c2, c3, c4, c5, c6, c7, c8};
    for (int i = 0; i < 8; ++i)
        request.bytes[frame::kValue + i] = lowByte(values[i]);
    return quorlink::parameterChange(ctx, request, 8, false, false);
}

} // extern "C"

#include "link/src/connection.h"

#include "link/common/context_reset.h"
#include "link/src/commands.h"
#include "link/src/frame.h"
#include "link/src/port.h"

#include <cstring>

namespace quorlink {
namespace {

constexpr char kPortNames[8][5] = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};
constexpr int kModePauseMs = 50;
constexpr std::int32_t kModeParameters = 1;
constexpr std::int32_t kModeNormal = 2;

// Connect-time status query (no trailer); true when the controller accepts the connection.
bool statusAccepts(ConnectionContext* ctx)
{
    Request request;
    Reply reply;
    request.bytes[frame::kUnitSelect] = 0;
    return transact(ctx, request, reply, Trailer::None) && reply.bytes[frame::kReplyAccepts] == 1;
}

void sendModeChange(ConnectionContext* ctx, std::int32_t mode)
{
    Request request;
    Reply reply;
    request.bytes[frame::kCode] = frame::kCodeMode;
    request.bytes[frame::kArg] = static_cast<std::uint8_t>(mode);
    transact(ctx, request, reply, Trailer::None);
}

// Switches to parameter mode, reads the controller name, switches back. The name is reply
// bytes 4..19 whenever a whole reply came, whatever key it echoes; false (and zeros) when
// none came.
bool readControllerName(ConnectionContext* ctx, std::uint8_t (&name)[frame::kValueSize])
{
    sendModeChange(ctx, kModeParameters);
    port::pause(ctx, kModePauseMs);
    Request request;
    Reply reply;
    request.bytes[frame::kClass] = frame::kClassParameter;
    request.bytes[frame::kCode] = frame::kCodeParameterRead;
    request.bytes[frame::kGroup] = frame::kNameGroup;
    request.bytes[frame::kItem] = frame::kNameItem;
    const bool answered = transact(ctx, request, reply, Trailer::None);
    std::memcpy(name, reply.bytes + frame::kValue, sizeof name);
    if (!answered)
        std::memset(name, 0, sizeof name);
    sendModeChange(ctx, kModeNormal);
    return answered;
}

// Opens COM<n> and checks the status answer; a port that opens but does not accept the
// connection is closed again.
bool openAnswering(ConnectionContext* ctx, int n)
{
    std::memcpy(ctx->portName, kPortNames[n - 1], sizeof ctx->portName);
    if (!port::setUp(ctx))
        return false;
    if (statusAccepts(ctx))
        return true;
    port::close(ctx);
    return false;
}

} // namespace

void resetContext(ConnectionContext* ctx, std::int32_t portNumber)
{
    port::close(ctx);
    resetLineState(*ctx);
    if (portNumber >= 1 && portNumber <= 8)
        std::memcpy(ctx->portName, kPortNames[portNumber - 1], sizeof ctx->portName);
    std::memcpy(ctx->controllerName, kResetControllerName, sizeof ctx->controllerName);
    ctx->baudRate = kResetBaudRate;
}

std::int32_t openByPort(ConnectionContext* ctx, std::int32_t portNumber)
{
    resetContext(ctx, portNumber);
    if (!port::setUp(ctx)) {
        ctx->errorCode = QUORLINK_ERROR_PORT_NOT_OPENED;
        return 0;
    }
    if (statusAccepts(ctx))
        return 1;
    ctx->errorCode = QUORLINK_ERROR_NO_STATUS_ANSWER;
    port::close(ctx);
    return 0;
}

std::int32_t openByScan(ConnectionContext* ctx)
{
    resetContext(ctx, 1);
    for (int n = 1; n <= 8; ++n) {
        if (!openAnswering(ctx, n))
            continue;
        std::uint8_t name[frame::kValueSize];
        readControllerName(ctx, name);
        std::memcpy(ctx->controllerName, name, QUORLINK_NAME_LENGTH);
        return 1;
    }
    ctx->errorCode = QUORLINK_ERROR_NO_CONTROLLER_FOUND;
    return 0;
}

std::int32_t openByName(ConnectionContext* ctx, const char* name)
{
    char wanted[QUORLINK_NAME_LENGTH];
    std::memcpy(wanted, name, sizeof wanted); // before the reset: name may be ctx->controllerName
    resetContext(ctx, 1);
    std::memcpy(ctx->controllerName, wanted, sizeof wanted);
    for (int n = 1; n <= 8; ++n) {
        if (!openAnswering(ctx, n))
            continue;
        std::uint8_t reported[frame::kValueSize];
        // A controller that sent no whole reply to the name read has not reported any name,
        // not even 16 zeros.
        if (readControllerName(ctx, reported) && std::memcmp(reported, wanted, sizeof wanted) == 0)
            return 1;
        port::close(ctx);
    }
    ctx->errorCode = QUORLINK_ERROR_NAME_NOT_FOUND;
    return 0;
}

} // namespace quorlink

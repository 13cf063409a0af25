#include "link/src/commands.h"

#include "link/src/port.h"

#include <cstring>

namespace quorlink {
namespace {

constexpr int kReplyPauseMs = 100;
constexpr int kEchoPauseMs = 10;
constexpr int kEchoReads = 128; // the first re-read and 127 more after a pause each
// Letting the line go quiet after a reply that was not whole: until this long passes
// without a byte, and never longer than the second figure.
constexpr int kSettleQuietMs = 100;
constexpr int kSettleMaxMs = 300;

int readReply(ConnectionContext* ctx, Reply& reply)
{
    std::memset(reply.bytes, 0, sizeof reply.bytes);
    return port::read(ctx, reply.bytes, frame::kReplySize);
}

} // namespace

int exchange(ConnectionContext* ctx, Request& request, Reply& reply, Trailer trailer)
{
    std::memset(reply.bytes, 0, sizeof reply.bytes);
    request.bytes[frame::kSequence] = ctx->sequence;
    ctx->sequence = static_cast<std::uint8_t>(ctx->sequence + 1);
    request.bytes[frame::kTrailer] = trailer == Trailer::Standard ? frame::kTrailerValue : 0;
    // Whatever is waiting now (the late rest of an earlier reply) cannot be this reply.
    port::discardInput(ctx);
    if (port::write(ctx, request.bytes, frame::kRequestSize) != frame::kRequestSize)
        return -1;
    port::pause(ctx, kReplyPauseMs);
    return port::read(ctx, reply.bytes, frame::kReplySize);
}

bool wholeReplyOrSettle(ConnectionContext* ctx, int got)
{
    if (got == frame::kReplySize && !port::inputPending(ctx))
        return true;
    if (got >= 0)
        port::settle(ctx, kSettleQuietMs, kSettleMaxMs);
    return false;
}

bool transact(ConnectionContext* ctx, Request& request, Reply& reply, Trailer trailer)
{
    return wholeReplyOrSettle(ctx, exchange(ctx, request, reply, trailer));
}

std::int32_t commandWithLengthCheck(ConnectionContext* ctx, Request& request, Reply& reply)
{
    return transact(ctx, request, reply, Trailer::Standard) ? 1 : 0;
}

bool waitForSequenceEcho(ConnectionContext* ctx, Reply& reply, std::uint8_t awaited)
{
    readReply(ctx, reply);
    if (reply.bytes[frame::kReplySequence] == awaited)
        return true;
    for (int repetition = 1; repetition < kEchoReads; ++repetition) {
        if (!port::pause(ctx, kEchoPauseMs))
            return false;
        readReply(ctx, reply);
        if (reply.bytes[frame::kReplySequence] == awaited)
            return true;
    }
    // The 128th repetition ends the wait: it is read (one more reply leaves the queue)
    // but not examined.
    if (port::pause(ctx, kEchoPauseMs))
        readReply(ctx, reply);
    return false;
}

std::int32_t commandWithSequenceEcho(ConnectionContext* ctx, Request& request)
{
    Reply reply;
    const std::uint8_t awaited = ctx->sequence;
    const int got = exchange(ctx, request, reply, Trailer::Standard);
    if (got != frame::kReplySize) {
        wholeReplyOrSettle(ctx, got);
        return 0;
    }
    // A stale reply ahead of this one is skipped by the echo; the re-reads take the late one.
    if (reply.bytes[frame::kReplySequence] == awaited || waitForSequenceEcho(ctx, reply, awaited))
        return 1;
    port::settle(ctx, kSettleQuietMs, kSettleMaxMs);
    return 0;
}

std::int32_t parameterChange(ConnectionContext* ctx, Request& request, int valueBytes, bool asFloat,
                             bool retryEmptyRead)
{
    Reply reply;
    int got = exchange(ctx, request, reply, Trailer::Standard);
    if (got == 0 && retryEmptyRead && port::pause(ctx, kReplyPauseMs))
        got = readReply(ctx, reply);
    if (!wholeReplyOrSettle(ctx, got))
        return 0;
    const std::uint8_t* sent = request.bytes;
    const std::uint8_t* echo = reply.bytes;
    if (echo[frame::kGroup] != sent[frame::kGroup] || echo[frame::kItem] != sent[frame::kItem])
        return 0;
    if (asFloat)
        return frame::getF32(echo + frame::kValue) == frame::getF32(sent + frame::kValue) ? 1 : 0;
    return std::memcmp(echo + frame::kValue, sent + frame::kValue, static_cast<std::size_t>(valueBytes)) == 0 ? 1 : 0;
}

std::int32_t parameterRead(ConnectionContext* ctx, std::uint8_t group, std::uint8_t item,
                           std::uint8_t (&out)[frame::kValueSize])
{
    std::memset(out, 0, sizeof out);
    Request request;
    Reply reply;
    request.bytes[frame::kClass] = frame::kClassParameter;
    request.bytes[frame::kCode] = frame::kCodeParameterRead;
    request.bytes[frame::kGroup] = group;
    request.bytes[frame::kItem] = item;
    if (!transact(ctx, request, reply, Trailer::Standard))
        return 0;
    if (reply.bytes[frame::kGroup] != group || reply.bytes[frame::kItem] != item)
        return 0;
    std::memcpy(out, reply.bytes + frame::kValue, sizeof out);
    return 1;
}

} // namespace quorlink

#pragma once
// The request/reply exchange that every command rests on, and the reply checks.

#include "link/include/quorlink.h"
#include "link/src/frame.h"

#include <cstdint>

namespace quorlink {

struct Request {
    std::uint8_t bytes[frame::kRequestSize]{};
};

struct Reply {
    std::uint8_t bytes[frame::kReplySize]{};
};

// Whether a request carries the 0xA7 trailer in byte 63 (all but the connect-time requests).
enum class Trailer { None, Standard };

// Puts the context's sequence number into the request and advances it (also when the write
// then fails), drops what is left in the input, writes the 64 bytes, sleeps 100 ms and reads
// up to 32 reply bytes. Returns the number of reply bytes read, or -1 when the write failed.
int exchange(ConnectionContext* ctx, Request& request, Reply& reply, Trailer trailer);

// After an exchange that read `got` bytes: true when exactly one whole reply had come,
// 32 bytes and nothing after them. Otherwise the reply was late, short or mixed with other
// bytes, and the line is let go quiet before the caller fails, so that the rest of it can
// never be read as the reply to a later request.
bool wholeReplyOrSettle(ConnectionContext* ctx, int got);

// exchange() and wholeReplyOrSettle() in one.
bool transact(ConnectionContext* ctx, Request& request, Reply& reply, Trailer trailer);

// A class 0 command: success when the 32 reply bytes came.
std::int32_t commandWithLengthCheck(ConnectionContext* ctx, Request& request, Reply& reply);

// A class 2 command: success when the reply echoes the request's sequence number, at
// once or within the re-reads of waitForSequenceEcho.
std::int32_t commandWithSequenceEcho(ConnectionContext* ctx, Request& request);

// Re-reads after a reply with a stale sequence number: at once, then every 10 ms, at most
// 128 reads examined. True when one echoes `awaited`; false at once when the device is gone.
bool waitForSequenceEcho(ConnectionContext* ctx, Reply& reply, std::uint8_t awaited);

// A parameter change whose reply must echo group, item and the first valueBytes bytes of
// the value area (compared as one float when asFloat). retryEmptyRead: read once more
// 100 ms later when nothing of the reply had arrived.
std::int32_t parameterChange(ConnectionContext* ctx, Request& request, int valueBytes, bool asFloat,
                             bool retryEmptyRead);

// Reads a parameter's value area into out (16 bytes); zeros on failure.
std::int32_t parameterRead(ConnectionContext* ctx, std::uint8_t group, std::uint8_t item,
                           std::uint8_t (&out)[frame::kValueSize]);

} // namespace quorlink

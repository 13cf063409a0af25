#pragma once
// The serial port under a ConnectionContext: the only code that touches termios, ioctl,
// flock and poll.

#include "link/include/quorlink.h"

#include <cstdint>

namespace quorlink::port {

// True when ctx holds a port that this library opened and has not closed. A context that
// is zero-initialised, closed, or holds a handle the library did not open is not open.
bool isOpen(const ConnectionContext* ctx);

// Opens the device that ctx->portName maps to, exclusively, and sets the line up from the
// context's line fields. On success ctx->portHandle and both overlapped records are set.
bool setUp(ConnectionContext* ctx);

// Closes an open port (DTR stays raised). False when ctx is not open.
bool close(ConnectionContext* ctx);

// Writes all count bytes or fails (0) after the line time of the bytes plus
// QUORLINK_WRITE_MARGIN_MS.
std::int32_t write(ConnectionContext* ctx, const void* bytes, std::int32_t count);

// Reads up to count bytes that have already arrived; never waits.
std::int32_t read(ConnectionContext* ctx, void* buffer, std::int32_t count);

// Sleeps ms milliseconds, also when signals arrive meanwhile.
void pauseMs(int ms);

} // namespace quorlink::port

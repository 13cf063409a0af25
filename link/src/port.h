#pragma once
// The serial port under a ConnectionContext. port_posix.cpp (termios, ioctl, flock, poll) and
// port_win32.cpp (the Win32 communications functions) implement it; the build picks one.

#include "link/include/quorlink.h"

#include <cstdint>

namespace quorlink::port {

// True when ctx holds a port that this library opened and has not closed. A context that
// is zero-initialised, closed, or holds a handle the library did not open is not open.
bool isOpen(const ConnectionContext* ctx);

// Opens the device that ctx->portName maps to, exclusively, and sets the line up from the
// context's line fields. On success ctx->portHandle and both overlapped records are set.
bool setUp(ConnectionContext* ctx);

// Closes an open port (DTR stays raised). A context whose device went away (see below) is
// closed already: the first close after that only ends its connection and is true. False
// when ctx is not open.
bool close(ConnectionContext* ctx);

// The functions below notice a device that is gone (hang-up, or an adapter unplugged: EIO,
// ENXIO, ENODEV, POLLHUP, POLLERR on Linux; on Windows an I/O error after which the driver no
// longer answers ClearCommError): they close the port and mark ctx closed, so that every later
// call on ctx fails at once.

// Writes all count bytes or fails (0) after the line time of the bytes plus
// QUORLINK_WRITE_MARGIN_MS.
std::int32_t write(ConnectionContext* ctx, const void* bytes, std::int32_t count);

// Reads up to count bytes that have already arrived; never waits.
std::int32_t read(ConnectionContext* ctx, void* buffer, std::int32_t count);

// Drops whatever has arrived and not been read yet.
void discardInput(ConnectionContext* ctx);

// True when received bytes are waiting to be read.
bool inputPending(const ConnectionContext* ctx);

// Sleeps ms milliseconds, or less when the device goes away meanwhile. False when ctx is
// not open (any more) afterwards.
bool pause(ConnectionContext* ctx, int ms);

// Lets the line go quiet: drops what arrives until quietMs pass without a byte, at most
// for maxMs. Returns at once when ctx is not open.
void settle(ConnectionContext* ctx, int quietMs, int maxMs);

// Sleeps ms milliseconds, also when signals arrive meanwhile.
void pauseMs(int ms);

} // namespace quorlink::port

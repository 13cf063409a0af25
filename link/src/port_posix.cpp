#include "link/src/port.h"

#include "link/common/port_map.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace quorlink::port {
namespace {

// While open, both overlapped records carry this marker (bound to the descriptor) in
// `internal` and kOpenEvent in `event`; nothing else is ever closed.
constexpr std::uintptr_t kMarkerBase = 0x716C6E6BU;
constexpr std::intptr_t kOpenEvent = 0x514C;
constexpr std::intptr_t kNoEvent = -1;
// A context whose device went away keeps this in `internal` until it is closed, so that the
// caller's close still succeeds once, as after any open connection.
constexpr std::uintptr_t kLostMarker = 0x716C6F73U;

std::uintptr_t markerFor(int fd) { return kMarkerBase ^ static_cast<std::uintptr_t>(fd); }

timespec monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

timespec addNs(timespec t, std::int64_t ns)
{
    const std::int64_t total = t.tv_nsec + ns;
    t.tv_sec += static_cast<time_t>(total / 1000000000);
    t.tv_nsec = static_cast<long>(total % 1000000000);
    return t;
}

std::int64_t nsUntil(const timespec& deadline)
{
    const timespec now = monotonicNow();
    return (static_cast<std::int64_t>(deadline.tv_sec) - now.tv_sec) * 1000000000 + (deadline.tv_nsec - now.tv_nsec);
}

bool speedFor(std::uint32_t baud, speed_t& speed)
{
    static constexpr struct {
        std::uint32_t baud;
        speed_t speed;
    } kSpeeds[] = {
        {1200, B1200},     {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},
        {38400, B38400},   {57600, B57600},   {115200, B115200},   {230400, B230400},   {460800, B460800},
        {500000, B500000}, {921600, B921600}, {1000000, B1000000}, {2000000, B2000000},
    };
    for (const auto& entry : kSpeeds) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

// Raw line from the context's fields: data bits, parity code (0 none, 1 odd, 2 even,
// 3 mark, 4 space), stop-bit code (0 one, 1 and 2 two: Linux has no 1.5), and flow control
// (RTS/CTS plus XON/XOFF) only with bit 0 of handshake. Modem status lines are ignored
// (CLOCAL), and HUPCL is cleared so that DTR stays raised when the port is closed.
bool configureLine(int fd, const ConnectionContext* ctx)
{
    termios t{};
    speed_t speed{};
    if (tcgetattr(fd, &t) != 0 || !speedFor(ctx->baudRate, speed))
        return false;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CREAD | CLOCAL;
    switch (ctx->dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    case 8:
        t.c_cflag |= CS8;
        break;
    default:
        return false;
    }
    switch (ctx->parity) {
    case 0:
        break;
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    if (ctx->parity != 0)
        t.c_iflag |= INPCK;
    if (ctx->stopBits > 2)
        return false;
    if (ctx->stopBits != 0)
        t.c_cflag |= CSTOPB;
    if ((ctx->handshake & 1) != 0) {
        t.c_cflag |= CRTSCTS;
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
    }
    // Reads return at once with what has arrived.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// TIOCEXCL stays on the tty while anyone else keeps it open, so it is cleared before the
// descriptor goes; the flock goes with the descriptor.
void releaseFd(int fd)
{
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

// Errors of a descriptor whose device is gone for good.
bool deviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

constexpr short kHangUpEvents = POLLHUP | POLLERR | POLLNVAL;

// True when the descriptor reports a hang-up or an error condition. A tty whose device
// went away reads 0 bytes like an idle line; only poll tells the two apart.
bool hungUp(int fd)
{
    pollfd pfd{fd, 0, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & kHangUpEvents) != 0;
}

// The device is gone: release the descriptor and mark the context closed, as close() does
// but without touching the dead line.
void loseLink(ConnectionContext* ctx)
{
    releaseFd(ctx->portHandle);
    ctx->portHandle = -1;
    for (QuorlinkOverlapped* record : {&ctx->writeOverlapped, &ctx->readOverlapped}) {
        record->internal = kLostMarker;
        record->event = kNoEvent;
    }
}

bool wasLost(const ConnectionContext* ctx)
{
    return ctx != nullptr && ctx->portHandle == -1 && ctx->writeOverlapped.internal == kLostMarker &&
           ctx->readOverlapped.internal == kLostMarker && ctx->writeOverlapped.event == kNoEvent &&
           ctx->readOverlapped.event == kNoEvent;
}

int msUntil(const timespec& deadline)
{
    const std::int64_t ns = nsUntil(deadline);
    return ns <= 0 ? 0 : static_cast<int>((ns + 999999) / 1000000);
}

// Bits per character on the line: start bit, data bits, parity bit, stop bits.
std::int64_t bitsPerCharacter(const ConnectionContext* ctx)
{
    return 1 + ctx->dataBits + (ctx->parity != 0 ? 1 : 0) + (ctx->stopBits != 0 ? 2 : 1);
}

} // namespace

bool isOpen(const ConnectionContext* ctx)
{
    if (ctx == nullptr || ctx->portHandle <= STDERR_FILENO)
        return false;
    const std::uintptr_t marker = markerFor(ctx->portHandle);
    if (ctx->writeOverlapped.internal != marker || ctx->readOverlapped.internal != marker ||
        ctx->writeOverlapped.event != kOpenEvent || ctx->readOverlapped.event != kOpenEvent)
        return false;
    return fcntl(ctx->portHandle, F_GETFD) != -1;
}

bool setUp(ConnectionContext* ctx)
{
    if (ctx == nullptr)
        return false;
    char path[kMaxDevicePath];
    if (!resolvePortName(ctx->portName, path))
        return false;
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (fd <= STDERR_FILENO) {
        // Keep the standard descriptors free, so that an open context never holds 0..2.
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        ::close(fd);
        if (moved < 0)
            return false;
        fd = moved;
    }
    // Exclusive: flock keeps out every other open (also root's, which TIOCEXCL lets pass).
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return false;
    }
    // The driver's queues are the tty buffers; Linux offers no way to size them (the
    // 4096 bytes each way of other systems), and the frames never need more.
    if (!configureLine(fd, ctx)) {
        releaseFd(fd);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    // DTR and RTS on; a line without modem control (a pseudo-terminal) refuses, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);

    ctx->portHandle = fd;
    for (QuorlinkOverlapped* record : {&ctx->writeOverlapped, &ctx->readOverlapped}) {
        record->internal = markerFor(fd);
        record->internalHigh = 0;
        record->offset = 0;
        record->offsetHigh = 0;
        record->event = kOpenEvent;
    }
    return true;
}

bool close(ConnectionContext* ctx)
{
    if (wasLost(ctx)) {
        // The descriptor went with the device; only the marker is left to clear.
        ctx->writeOverlapped.internal = 0;
        ctx->readOverlapped.internal = 0;
        return true;
    }
    if (!isOpen(ctx))
        return false;
    const int fd = ctx->portHandle;
    int dtr = TIOCM_DTR;
    ioctl(fd, TIOCMBIS, &dtr);
    tcflush(fd, TCIOFLUSH);
    releaseFd(fd);
    ctx->portHandle = -1;
    for (QuorlinkOverlapped* record : {&ctx->writeOverlapped, &ctx->readOverlapped}) {
        record->internal = 0;
        record->event = kNoEvent;
    }
    return true;
}

std::int32_t write(ConnectionContext* ctx, const void* bytes, std::int32_t count)
{
    if (!isOpen(ctx) || bytes == nullptr || count <= 0)
        return 0;
    const int fd = ctx->portHandle;
    const std::uint32_t baud = ctx->baudRate != 0 ? ctx->baudRate : 115200;
    const std::int64_t lineNs = count * bitsPerCharacter(ctx) * 1000000000 / baud;
    const timespec deadline = addNs(monotonicNow(), lineNs + std::int64_t{QUORLINK_WRITE_MARGIN_MS} * 1000000);
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::int32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, p + done, static_cast<std::size_t>(count - done));
        if (n > 0) {
            done += static_cast<std::int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            if (deviceGone(errno) || hungUp(fd))
                loseLink(ctx);
            break;
        }
        const std::int64_t left = nsUntil(deadline);
        if (left <= 0)
            break;
        pollfd pfd{fd, POLLOUT, 0};
        const int ready = poll(&pfd, 1, static_cast<int>((left + 999999) / 1000000));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (pfd.revents & kHangUpEvents) != 0) {
            loseLink(ctx);
            break;
        }
    }
    if (ctx->portHandle == fd)
        ctx->writeOverlapped.internalHigh = static_cast<std::uintptr_t>(done);
    return done == count ? count : 0;
}

std::int32_t read(ConnectionContext* ctx, void* buffer, std::int32_t count)
{
    if (!isOpen(ctx) || buffer == nullptr || count <= 0)
        return 0;
    const int fd = ctx->portHandle;
    ssize_t n;
    do {
        n = ::read(fd, buffer, static_cast<std::size_t>(count));
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        ctx->readOverlapped.internalHigh = static_cast<std::uintptr_t>(n);
        return static_cast<std::int32_t>(n);
    }
    if ((n < 0 && deviceGone(errno)) || hungUp(fd))
        loseLink(ctx);
    else
        ctx->readOverlapped.internalHigh = 0;
    return 0;
}

void discardInput(ConnectionContext* ctx)
{
    if (isOpen(ctx))
        tcflush(ctx->portHandle, TCIFLUSH);
}

bool inputPending(const ConnectionContext* ctx)
{
    int waiting = 0;
    return isOpen(ctx) && ioctl(ctx->portHandle, FIONREAD, &waiting) == 0 && waiting > 0;
}

bool pause(ConnectionContext* ctx, int ms)
{
    if (!isOpen(ctx))
        return false;
    // Polls for no event: only a hang-up or an error ends the wait early.
    const timespec deadline = addNs(monotonicNow(), std::int64_t{ms} * 1000000);
    for (int left = ms; left > 0; left = msUntil(deadline)) {
        pollfd pfd{ctx->portHandle, 0, 0};
        const int ready = poll(&pfd, 1, left);
        if (ready > 0 && (pfd.revents & kHangUpEvents) != 0) {
            loseLink(ctx);
            return false;
        }
        if (ready < 0 && errno != EINTR) {
            pauseMs(msUntil(deadline));
            break;
        }
    }
    return true;
}

void settle(ConnectionContext* ctx, int quietMs, int maxMs)
{
    const timespec start = monotonicNow();
    const timespec end = addNs(start, std::int64_t{maxMs} * 1000000);
    timespec quietAt = addNs(start, std::int64_t{quietMs} * 1000000);
    while (isOpen(ctx)) {
        const int left = std::min(msUntil(quietAt), msUntil(end));
        if (left <= 0)
            return;
        pollfd pfd{ctx->portHandle, POLLIN, 0};
        const int ready = poll(&pfd, 1, left);
        if (ready > 0 && (pfd.revents & kHangUpEvents) != 0) {
            loseLink(ctx);
            return;
        }
        if (ready > 0 && (pfd.revents & POLLIN) != 0) {
            unsigned char scrap[256];
            if (read(ctx, scrap, sizeof scrap) > 0)
                quietAt = addNs(monotonicNow(), std::int64_t{quietMs} * 1000000);
        }
    }
}

void pauseMs(int ms)
{
    const timespec deadline = addNs(monotonicNow(), std::int64_t{ms} * 1000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace quorlink::port

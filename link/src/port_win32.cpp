#include "link/src/port.h"

#include "link/common/port_map.h"

#include <windows.h>

#include <cstddef>
#include <initializer_list>

namespace quorlink::port {
namespace {

// The context's records have the layout of OVERLAPPED; the transfers use OVERLAPPED records of
// their own on the stack and the records' events (a record's `internal` holds the library's
// marker, which the system would overwrite while a transfer runs).
static_assert(sizeof(QuorlinkOverlapped) == sizeof(OVERLAPPED), "overlapped record size");
static_assert(offsetof(QuorlinkOverlapped, internalHigh) == offsetof(OVERLAPPED, InternalHigh), "InternalHigh");
static_assert(offsetof(QuorlinkOverlapped, offset) == offsetof(OVERLAPPED, Offset), "Offset");
static_assert(offsetof(QuorlinkOverlapped, event) == offsetof(OVERLAPPED, hEvent), "hEvent");

// While open, both records carry this marker (bound to the handle) in `internal`.
constexpr std::uintptr_t kMarkerBase = 0x716C6E6BU;
// A context whose device went away keeps this in `internal` until it is closed, so that the
// caller's close still succeeds once, as after any open connection.
constexpr std::uintptr_t kLostMarker = 0x716C6F73U;
constexpr std::intptr_t kNoEvent = -1;

// Line settings of an open: queues of 4096 bytes each way; all four purge flags.
constexpr DWORD kQueueSize = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

std::uintptr_t markerFor(std::int32_t handle) { return kMarkerBase ^ static_cast<std::uint32_t>(handle); }

// portHandle keeps a HANDLE in 32 bits: kernel handles are significant in their low 32 bits
// and are widened back with sign extension (INVALID_HANDLE_VALUE is -1 either way).
HANDLE portOf(const ConnectionContext* ctx)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(ctx->portHandle));
}

HANDLE eventOf(const QuorlinkOverlapped& record) { return reinterpret_cast<HANDLE>(record.event); }

bool validEvent(std::intptr_t event) { return event != kNoEvent && event != 0; }

// Monotonic clock in microseconds (the frequency is asked each time: the library keeps no state).
std::int64_t nowUs()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart / frequency.QuadPart * 1000000 +
           count.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

int msUntil(std::int64_t deadlineUs)
{
    const std::int64_t left = deadlineUs - nowUs();
    return left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
}

// Bits per character on the line: start bit, data bits, parity bit, stop bits.
std::int64_t bitsPerCharacter(const ConnectionContext* ctx)
{
    return 1 + ctx->dataBits + (ctx->parity != 0 ? 1 : 0) + (ctx->stopBits != 0 ? 2 : 1);
}

#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

// Errors that mean the device itself is gone (an adapter pulled, its driver stopped).
bool deviceGoneError(DWORD error)
{
    switch (error) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NO_SUCH_DEVICE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
    case ERROR_BROKEN_PIPE:
        return true;
    default:
        return false;
    }
}

// After a transfer failed with `error`: true when the port is gone for good, also when the
// error itself says nothing specific but the driver no longer answers a status request.
// ClearCommError also clears a line error, so that the next transfer runs again.
bool portGone(HANDLE port, DWORD error)
{
    if (deviceGoneError(error))
        return true;
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(port, &errors, &status) == 0;
}

// The device is gone: release the handles and mark the context closed, as close() does but
// without touching the dead line.
void loseLink(ConnectionContext* ctx)
{
    CloseHandle(portOf(ctx));
    ctx->portHandle = -1;
    for (QuorlinkOverlapped* record : {&ctx->writeOverlapped, &ctx->readOverlapped}) {
        if (validEvent(record->event))
            CloseHandle(eventOf(*record));
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

// Waits for a transfer that is pending, at most waitMs. One that has not finished by then is
// cancelled, and its end is awaited, so that it never outlives the caller's buffer and
// OVERLAPPED record. The bytes it moved go to `moved`; false when it did not complete.
bool finishTransfer(HANDLE port, OVERLAPPED& overlapped, DWORD waitMs, DWORD& moved, DWORD& error)
{
    moved = 0;
    if (WaitForSingleObject(overlapped.hEvent, waitMs) == WAIT_OBJECT_0 &&
        GetOverlappedResult(port, &overlapped, &moved, FALSE)) {
        error = ERROR_SUCCESS;
        return true;
    }
    CancelIo(port);
    // The transfer may have completed between the wait and the cancel; its bytes count.
    const BOOL done = GetOverlappedResult(port, &overlapped, &moved, TRUE);
    error = done ? ERROR_SUCCESS : GetLastError();
    return done != 0;
}

// The line from the context's fields: the driver's settings, with speed, character format,
// binary mode, parity checking, the XON/XOFF characters and limits, and flow control (CTS,
// DSR, DTR and RTS handshake plus XON/XOFF) only with bit 0 of handshake; without it DTR and
// RTS are held on. A line error must not stop later transfers, so abort-on-error is off
// whatever the driver had.
bool configureLine(HANDLE port, const ConnectionContext* ctx)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb))
        return false;
    dcb.BaudRate = ctx->baudRate;
    dcb.ByteSize = ctx->dataBits;
    dcb.Parity = ctx->parity;
    dcb.StopBits = ctx->stopBits;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fAbortOnError = FALSE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    const bool flowControl = (ctx->handshake & 1) != 0;
    dcb.fOutxCtsFlow = flowControl;
    dcb.fOutxDsrFlow = flowControl;
    dcb.fDtrControl = flowControl ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb.fRtsControl = flowControl ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutX = flowControl;
    dcb.fInX = flowControl;
    return SetCommState(port, &dcb) != 0;
}

// Reads return at once with what has arrived (interval MAXDWORD, total 0 at 115200 bit/s).
// Writes end, done or not, after the line time of their bytes plus QUORLINK_WRITE_MARGIN_MS;
// write() bounds its wait by the same time.
bool setTimeouts(HANDLE port, const ConnectionContext* ctx)
{
    const std::uint32_t baud = ctx->baudRate != 0 ? ctx->baudRate : 115200;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 19200 / baud;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>((bitsPerCharacter(ctx) * 1000 + baud - 1) / baud);
    timeouts.WriteTotalTimeoutConstant = QUORLINK_WRITE_MARGIN_MS;
    return SetCommTimeouts(port, &timeouts) != 0;
}

} // namespace

bool isOpen(const ConnectionContext* ctx)
{
    if (ctx == nullptr || ctx->portHandle == -1 || ctx->portHandle == 0)
        return false;
    const std::uintptr_t marker = markerFor(ctx->portHandle);
    if (ctx->writeOverlapped.internal != marker || ctx->readOverlapped.internal != marker ||
        !validEvent(ctx->writeOverlapped.event) || !validEvent(ctx->readOverlapped.event))
        return false;
    DWORD flags = 0;
    return GetHandleInformation(portOf(ctx), &flags) != 0;
}

bool setUp(ConnectionContext* ctx)
{
    if (ctx == nullptr)
        return false;
    char path[kMaxDevicePath];
    if (!resolvePortName(ctx->portName, path))
        return false;
    // Share mode 0: the open is exclusive, against this and every other process.
    const HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return false;
    const auto value = reinterpret_cast<std::intptr_t>(port);
    HANDLE events[2] = {nullptr, nullptr};
    bool ready = value == static_cast<std::int32_t>(value) && SetCommMask(port, EV_RXCHAR) &&
                 SetupComm(port, kQueueSize, kQueueSize) && PurgeComm(port, kPurgeAll) && setTimeouts(port, ctx) &&
                 configureLine(port, ctx);
    for (HANDLE& event : events) {
        if (ready) {
            // Manual reset, not signalled: the transfers wait on it.
            event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            ready = event != nullptr;
        }
    }
    if (!ready) {
        for (HANDLE event : events) {
            if (event != nullptr)
                CloseHandle(event);
        }
        CloseHandle(port);
        return false;
    }
    ctx->portHandle = static_cast<std::int32_t>(value);
    QuorlinkOverlapped* records[2] = {&ctx->writeOverlapped, &ctx->readOverlapped};
    for (int i = 0; i < 2; ++i) {
        records[i]->internal = markerFor(ctx->portHandle);
        records[i]->internalHigh = 0;
        records[i]->offset = 0;
        records[i]->offsetHigh = 0;
        records[i]->event = reinterpret_cast<std::intptr_t>(events[i]);
    }
    return true;
}

bool close(ConnectionContext* ctx)
{
    if (wasLost(ctx)) {
        // The handles went with the device; only the marker is left to clear.
        ctx->writeOverlapped.internal = 0;
        ctx->readOverlapped.internal = 0;
        return true;
    }
    if (!isOpen(ctx))
        return false;
    const HANDLE port = portOf(ctx);
    SetCommMask(port, 0);
    EscapeCommFunction(port, SETDTR);
    PurgeComm(port, kPurgeAll);
    CloseHandle(port);
    ctx->portHandle = -1;
    for (QuorlinkOverlapped* record : {&ctx->writeOverlapped, &ctx->readOverlapped}) {
        CloseHandle(eventOf(*record));
        record->internal = 0;
        record->event = kNoEvent;
    }
    return true;
}

std::int32_t write(ConnectionContext* ctx, const void* bytes, std::int32_t count)
{
    if (!isOpen(ctx) || bytes == nullptr || count <= 0)
        return 0;
    const HANDLE port = portOf(ctx);
    const std::uint32_t baud = ctx->baudRate != 0 ? ctx->baudRate : 115200;
    const std::int64_t lineMs = (count * bitsPerCharacter(ctx) * 1000 + baud - 1) / baud;
    OVERLAPPED overlapped{};
    overlapped.hEvent = eventOf(ctx->writeOverlapped);
    DWORD moved = 0;
    DWORD error = ERROR_SUCCESS;
    bool done;
    if (WriteFile(port, bytes, static_cast<DWORD>(count), nullptr, &overlapped)) {
        done = GetOverlappedResult(port, &overlapped, &moved, FALSE) != 0;
        error = done ? ERROR_SUCCESS : GetLastError();
    } else if ((error = GetLastError()) == ERROR_IO_PENDING) {
        done = finishTransfer(port, overlapped, static_cast<DWORD>(lineMs + QUORLINK_WRITE_MARGIN_MS), moved, error);
    } else {
        done = false;
    }
    if (!done && error != ERROR_OPERATION_ABORTED && portGone(port, error)) {
        loseLink(ctx);
        return 0;
    }
    ctx->writeOverlapped.internalHigh = moved;
    return done && moved == static_cast<DWORD>(count) ? count : 0;
}

std::int32_t read(ConnectionContext* ctx, void* buffer, std::int32_t count)
{
    if (!isOpen(ctx) || buffer == nullptr || count <= 0)
        return 0;
    const HANDLE port = portOf(ctx);
    OVERLAPPED overlapped{};
    overlapped.hEvent = eventOf(ctx->readOverlapped);
    DWORD moved = 0;
    DWORD error = ERROR_SUCCESS;
    bool done;
    if (ReadFile(port, buffer, static_cast<DWORD>(count), nullptr, &overlapped)) {
        done = GetOverlappedResult(port, &overlapped, &moved, FALSE) != 0;
        error = done ? ERROR_SUCCESS : GetLastError();
    } else if ((error = GetLastError()) == ERROR_IO_PENDING) {
        // The time-outs make a read complete at once; one that is still pending is not
        // waited for but cancelled (keeping what it had delivered).
        done = finishTransfer(port, overlapped, 0, moved, error);
        if (!done && error == ERROR_OPERATION_ABORTED)
            done = true;
    } else {
        done = false;
    }
    // A device that is gone may also show as reads that succeed with nothing, as an idle line
    // does; the driver's status answer tells the two apart.
    if ((!done || moved == 0) && portGone(port, done ? ERROR_SUCCESS : error)) {
        loseLink(ctx);
        return 0;
    }
    ctx->readOverlapped.internalHigh = done ? moved : 0;
    return done ? static_cast<std::int32_t>(moved) : 0;
}

void discardInput(ConnectionContext* ctx)
{
    if (isOpen(ctx))
        PurgeComm(portOf(ctx), PURGE_RXABORT | PURGE_RXCLEAR);
}

bool inputPending(const ConnectionContext* ctx)
{
    DWORD errors = 0;
    COMSTAT status{};
    return isOpen(ctx) && ClearCommError(portOf(ctx), &errors, &status) && status.cbInQue > 0;
}

bool pause(ConnectionContext* ctx, int ms)
{
    if (!isOpen(ctx))
        return false;
    pauseMs(ms);
    return isOpen(ctx);
}

void settle(ConnectionContext* ctx, int quietMs, int maxMs)
{
    // Polls the driver's queue every millisecond: the quiet time counts from the last byte.
    const std::int64_t start = nowUs();
    const std::int64_t end = start + std::int64_t{maxMs} * 1000;
    std::int64_t quietAt = start + std::int64_t{quietMs} * 1000;
    while (isOpen(ctx)) {
        const std::int64_t now = nowUs();
        if (now >= quietAt || now >= end)
            return;
        unsigned char scrap[256];
        if (read(ctx, scrap, sizeof scrap) > 0)
            quietAt = nowUs() + std::int64_t{quietMs} * 1000;
        else
            pauseMs(1);
    }
}

void pauseMs(int ms)
{
    if (ms <= 0)
        return;
    // Sleep() counts in scheduler ticks (15.6 ms unless a program raised the timer rate); a
    // high-resolution waitable timer keeps the 100 ms of a command at 100 ms. Windows before
    // 10 (1803) has none, and gets Sleep().
    const std::int64_t deadline = nowUs() + std::int64_t{ms} * 1000;
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
    const HANDLE timer =
        CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(ms) * 10000; // relative, in 100 ns
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE))
            WaitForSingleObject(timer, INFINITE);
        CloseHandle(timer);
    }
    for (int left = msUntil(deadline); left > 0; left = msUntil(deadline))
        Sleep(static_cast<DWORD>(left));
}

} // namespace quorlink::port

/*
 * quorlink.h - the controller link library (libquorlink.so.1; quorlink.dll on Windows).
 *
 * The library talks to a four-axis stepper-motor controller over one serial line. Every
 * function takes the address of a ConnectionContext first.
 *
 * Ownership. The caller owns the ConnectionContext: it allocates it (a zero-initialised
 * record is fine), keeps it alive while the connection is open and frees it. The library
 * reads and writes its fields but never allocates, frees or keeps a pointer to it, and it
 * keeps no state of its own.
 *
 * Results. Every function returns int32_t: 1 for success (the raw write and read return a
 * byte count) and 0 for failure. Nothing else reports a failure: no messages, no errno
 * contract, no logging. A null context or a null pointer argument gives 0 and sends nothing.
 * The three open functions leave the reason of a failed open in ctx->errorCode
 * (QUORLINK_ERROR_*, below); it stays until the next open or until the caller clears it.
 *
 * Threads. A context is never used by two threads at once; the library takes no lock.
 * Every command blocks the calling thread for at least 100 ms. Different contexts on
 * different ports may be used from different threads.
 *
 * Calling order: one of the three open functions, then any number of commands or raw
 * writes and reads, then KorvexCloseConnection. Opening resets the context first (line
 * settings 115200 bit/s 8N1 without flow control, sequence 0); opening a context that the
 * library still holds open closes the old connection first.
 *
 * Port names. portName holds "COM1" ... "COM8". At each open, COM<n> is mapped to a device:
 * the environment variable QUORLINK_COM<n> holds its path when set; otherwise COM<n> is the
 * n-th present device of /dev/ttyACM*, then /dev/ttyUSB*, then the real /dev/ttyS* ports,
 * each group in numeric order. A name that maps to nothing fails to open like a missing port.
 * On Windows COM<n> is the port of that name ("\\.\COM<n>"); QUORLINK_COM<n> may name
 * another one ("COM12", or a device path such as "\\.\COM12").
 *
 * Opening is exclusive: a second open of the same device, from this or another process,
 * fails until the first is closed.
 *
 * On Windows portHandle holds the port's HANDLE as a 32-bit value: Windows keeps the
 * significant bits of kernel handles in the low 32 (so a 64-bit process may pass them to a
 * 32-bit one), and the library widens it back with sign extension; INVALID_HANDLE_VALUE is -1.
 * The overlapped records have the layout of the Win32 OVERLAPPED record; their event fields
 * hold the library's event handles while the context is open. All functions use the C calling
 * convention (__cdecl) and are exported from quorlink.dll by their plain names.
 *
 * Writes return only when every byte has been handed to the driver. A write that cannot
 * finish within the line time of its bytes plus QUORLINK_WRITE_MARGIN_MS fails with 0.
 * Reads never wait: they return what has already arrived (possibly 0 bytes).
 *
 * Late and partial replies. A command's reply belongs to that command only. Before each
 * request is written, whatever is still waiting in the input is dropped. A command whose
 * reply was not exactly one whole 32-byte reply at its read (nothing, part of one, or more
 * than one) fails, and before it returns it lets the line go quiet: it drops what arrives
 * until 100 ms pass without a byte, at most for 300 ms. So a reply that comes late, or in
 * pieces, fails its own command only, never the next one. A reply that is on time costs
 * nothing extra. Two reads inside one call still take a late reply: the class 2 commands
 * re-read for their sequence echo, and ParameterAendern_ControllerName reads once more
 * 100 ms later when nothing had come. The raw KorvexWriteChar and KorvexReadChar drop
 * nothing.
 *
 * A lost link. When the device is gone (the port hung up, or a USB adapter was pulled), the
 * call that notices it fails at once, without its remaining pauses; the library closes the
 * port itself and sets ctx->portHandle to -1 (on Windows: an I/O error after which the
 * driver no longer answers, as after an adapter is pulled). A caller that sees portHandle == -1 after a
 * failed call knows the link is gone. Every later call on that context fails at once
 * (commands still use a sequence number). KorvexCloseConnection on it closes nothing (the
 * descriptor is gone already) and returns 1 the first time, as for any connection the
 * caller had open, and 0 after that. One of the open functions opens it again. This
 * applies to every command and to KorvexWriteChar and KorvexReadChar.
 *
 * All integers called "long" or "int" in the names and comments below are int32_t; multi-byte
 * values go over the line little-endian.
 */
#ifndef QUORLINK_H
#define QUORLINK_H

#include <stddef.h>
#include <stdint.h>

/* QUORLINK_API marks the exports. On Windows the library's .def file exports them, and a
 * host imports them from quorlink.dll (MinGW and MSVC alike); elsewhere the library's code is
 * hidden but for them. QUORLINK_CALL is the calling convention, fixed so that a host compiled
 * with another default (MSVC /Gz, /Gr) still calls them right. */
#if defined(_WIN32)
#if defined(QUORLINK_BUILDING_LIBRARY)
#define QUORLINK_API
#else
#define QUORLINK_API __declspec(dllimport)
#endif
#define QUORLINK_CALL __cdecl
#else
#if defined(QUORLINK_BUILDING_LIBRARY)
#define QUORLINK_API __attribute__((visibility("default")))
#else
#define QUORLINK_API
#endif
#define QUORLINK_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Values of ConnectionContext.errorCode. */
/* No error; set when an open starts. */
#define QUORLINK_ERROR_NONE 0
/* KorvexOpenConnectionPort: the port could not be opened or configured (missing, busy,
 * not a serial device, or its name maps to nothing). */
#define QUORLINK_ERROR_PORT_NOT_OPENED 1
/* KorvexOpenConnectionPort: the port opened, but the status answer was missing or did not
 * accept the connection (reply byte 21 not 1); the port was closed again. */
#define QUORLINK_ERROR_NO_STATUS_ANSWER 2
/* KorvexOpenConnectionAuto: none of COM1 ... COM8 gave a usable status answer. */
#define QUORLINK_ERROR_NO_CONTROLLER_FOUND 3
/* KorvexOpenConnectionName: no controller on COM1 ... COM8 reported the requested name. */
#define QUORLINK_ERROR_NAME_NOT_FOUND 4

/* A write fails when it has not finished this long after the line time of its bytes. */
#define QUORLINK_WRITE_MARGIN_MS 2000

/* Length of the controller name, without the terminating NUL. */
#define QUORLINK_NAME_LENGTH 16

/*
 * Bookkeeping of one transfer direction. The fields keep the layout the configuration
 * program shares with the library. While a context is open the library keeps its own
 * marker in `internal` and a non -1 value in `event`; a record whose event is -1 (or 0, as in
 * a zero-initialised context) belongs to a closed context. Callers must not change these
 * fields while the context is open.
 */
typedef struct QuorlinkOverlapped {
    uintptr_t internal;     /* library marker while open, 0 when closed */
    uintptr_t internalHigh; /* bytes moved by the last transfer in this direction */
    uint32_t offset;        /* always 0 */
    uint32_t offsetHigh;    /* always 0 */
    intptr_t event;         /* -1 = none (closed) */
} QuorlinkOverlapped;

/* One controller connection; owned by the caller. */
typedef struct ConnectionContext {
    int32_t portHandle;      /* file descriptor (Windows: HANDLE) of the open port; -1 = closed */
    char portName[5];        /* "COM1" ... "COM8", NUL-terminated */
    char controllerName[17]; /* 16 characters (blank-padded after a reset) and a NUL */
    uint32_t baudRate;       /* bit/s; 115200 after a reset */
    uint8_t sequence;        /* sequence number of the next request; wraps 255 -> 0 */
    uint8_t errorCode;       /* QUORLINK_ERROR_* of the last failed open; 0 = none */
    uint8_t dataBits;        /* 8 */
    uint8_t parity;          /* 0 = none */
    uint8_t stopBits;        /* 0 = one stop bit */
    uint8_t handshake;       /* bit 0 set: RTS/CTS and XON/XOFF flow control; reset value 4 */
    QuorlinkOverlapped writeOverlapped;
    QuorlinkOverlapped readOverlapped;
} ConnectionContext;

/* The layout checks: static_assert in C++, _Static_assert in C11; compilers in an older C mode
 * (MSVC's C before /std:c11) get an array whose size is negative when a check fails. */
#if defined(__cplusplus)
#define QUORLINK_STATIC_ASSERT(expr, msg) static_assert(expr, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define QUORLINK_STATIC_ASSERT(expr, msg) _Static_assert(expr, msg)
#else
#define QUORLINK_ASSERT_NAME2(line) quorlink_layout_check_##line
#define QUORLINK_ASSERT_NAME(line) QUORLINK_ASSERT_NAME2(line)
#define QUORLINK_STATIC_ASSERT(expr, msg) typedef char QUORLINK_ASSERT_NAME(__LINE__)[(expr) ? 1 : -1]
#endif

QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, portHandle) == 0, "portHandle offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, portName) == 4, "portName offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, controllerName) == 9, "controllerName offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, baudRate) == 28, "baudRate offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, sequence) == 32, "sequence offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, errorCode) == 33, "errorCode offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, dataBits) == 34, "dataBits offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, parity) == 35, "parity offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, stopBits) == 36, "stopBits offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, handshake) == 37, "handshake offset");
/* 64-bit Linux (LP64) and 64-bit Windows (LLP64) alike: pointers are 8 bytes. */
#if defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__) || defined(_M_ARM64)
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, writeOverlapped) == 40, "writeOverlapped offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, readOverlapped) == 72, "readOverlapped offset");
QUORLINK_STATIC_ASSERT(sizeof(QuorlinkOverlapped) == 32, "overlapped record size");
QUORLINK_STATIC_ASSERT(sizeof(ConnectionContext) == 104, "ConnectionContext size");
#elif defined(__i386__) || defined(_M_IX86)
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, writeOverlapped) == 40, "writeOverlapped offset");
QUORLINK_STATIC_ASSERT(offsetof(ConnectionContext, readOverlapped) == 60, "readOverlapped offset");
QUORLINK_STATIC_ASSERT(sizeof(QuorlinkOverlapped) == 20, "overlapped record size");
QUORLINK_STATIC_ASSERT(sizeof(ConnectionContext) == 80, "ConnectionContext size");
#endif

/* ---- Connection and raw I/O ------------------------------------------------------------ */

/* Opens COM<portNumber> (1..8) and checks the controller's status answer. Any other
 * portNumber opens the port whose name the caller left in ctx->portName.
 * Returns 1 = connected (sequence is then 1), 0 = failed (errorCode 1 or 2). */
QUORLINK_API int32_t QUORLINK_CALL KorvexOpenConnectionPort(ConnectionContext* ctx, int32_t portNumber);

/* Tries COM1 ... COM8 and keeps the first port whose controller accepts the connection;
 * fills ctx->controllerName with bytes 4..19 of the controller's reply to the name read
 * (16 zeros when no whole reply came). Returns 1, or 0 with errorCode 3. */
QUORLINK_API int32_t QUORLINK_CALL KorvexOpenConnectionAuto(ConnectionContext* ctx);

/* Tries COM1 ... COM8 and keeps the first controller whose name equals the 16 bytes at
 * `name` (exact, case-sensitive; need not be NUL-terminated; may be ctx->controllerName).
 * Returns 1, or 0 with errorCode 4. */
QUORLINK_API int32_t QUORLINK_CALL KorvexOpenConnectionName(ConnectionContext* ctx, const char* name);

/* Closes the port (DTR stays raised). Returns 1, or 0 when ctx is null or not open. After a
 * lost link (portHandle -1, see above) the port is closed already: the first close returns 1
 * and closes nothing, a second returns 0. Leaves sequence, errorCode, names and line
 * settings as they are. */
QUORLINK_API int32_t QUORLINK_CALL KorvexCloseConnection(ConnectionContext* ctx);

/* Writes count bytes; returns count when all were written, else 0. */
QUORLINK_API int32_t QUORLINK_CALL KorvexWriteChar(ConnectionContext* ctx, const void* bytes, int32_t count);

/* Reads up to count bytes that have already arrived; returns their number (0 when none). */
QUORLINK_API int32_t QUORLINK_CALL KorvexReadChar(ConnectionContext* ctx, void* buffer, int32_t count);

/* ---- Machine commands -------------------------------------------------------------------
 * Each sends one 64-byte request, waits 100 ms and reads the 32-byte reply. Class 2 commands
 * (moves, outputs, homing, park, zero point) succeed only when the reply echoes the
 * request's sequence number; they re-read for about 1.3 s to skip stale replies. */

/* Status query; value goes into request byte 7. The reply is not passed on. */
QUORLINK_API int32_t QUORLINK_CALL StatusAbfrage(ConnectionContext* ctx, int32_t value);
/* Positions of X, Y, Z, C in millimetres and the status byte; outputs unchanged on failure. */
QUORLINK_API int32_t QUORLINK_CALL GetPosition_mm(ConnectionContext* ctx, float position[4], unsigned char* status);
/* Positions of X, Y, Z, C in steps and the status byte; outputs unchanged on failure. */
QUORLINK_API int32_t QUORLINK_CALL GetPosition_Schritte(ConnectionContext* ctx, int32_t position[4],
                                                        unsigned char* status);
/* Operating mode: 1 before and 2 after a series of parameter commands. */
QUORLINK_API int32_t QUORLINK_CALL BetriebsArtenWechsel(ConnectionContext* ctx, int32_t mode);
/* Acknowledges the controller's error state. */
QUORLINK_API int32_t QUORLINK_CALL FehlerQuitieren(ConnectionContext* ctx);
/* Emergency stop with braking ramp. */
QUORLINK_API int32_t QUORLINK_CALL NotHalt_mitBremsrampe(ConnectionContext* ctx);
/* Emergency stop without ramp. */
QUORLINK_API int32_t QUORLINK_CALL NotStop_ohneBremsrampe(ConnectionContext* ctx);

/* Relative moves of count (0..6) pairs; x/y (z/c) may be null only when count is 0.
 * A count outside 0..6 gives 0 and sends nothing. */
QUORLINK_API int32_t QUORLINK_CALL FahreRelativ_XY_mm(ConnectionContext* ctx, int32_t value, int32_t count,
                                                      const float x[], const float y[], int32_t flags);
QUORLINK_API int32_t QUORLINK_CALL FahreRelativ_XY_Schritte(ConnectionContext* ctx, int32_t value, int32_t count,
                                                            const int32_t x[], const int32_t y[], int32_t flags);
QUORLINK_API int32_t QUORLINK_CALL FahreRelativ_ZC_mm(ConnectionContext* ctx, int32_t value, int32_t count,
                                                      const float z[], const float c[], int32_t flags);
QUORLINK_API int32_t QUORLINK_CALL FahreRelativ_ZC_Schritte(ConnectionContext* ctx, int32_t value, int32_t count,
                                                            const int32_t z[], const int32_t c[], int32_t flags);

/* Spindle and coolant outputs: request byte 2 = spindle + 2 * coolant. */
QUORLINK_API int32_t QUORLINK_CALL SpindelKuhlungSetzen(ConnectionContext* ctx, int32_t spindle, int32_t coolant);
/* General outputs: request byte 2 = outputs. */
QUORLINK_API int32_t QUORLINK_CALL AllgemeineAusgaeneSetzen(ConnectionContext* ctx, int32_t outputs);
/* Homing with count (0..56) bytes; bytes may be null only when count is 0.
 * A count outside 0..56 gives 0 and sends nothing. */
QUORLINK_API int32_t QUORLINK_CALL Referenzfahrt(ConnectionContext* ctx, int32_t count, const unsigned char bytes[]);
/* Moves to the park position. */
QUORLINK_API int32_t QUORLINK_CALL ParkPositionAnfahren(ConnectionContext* ctx);
/* Sets the zero point, in millimetres or in steps. */
QUORLINK_API int32_t QUORLINK_CALL NullPunktSetzen_mm(ConnectionContext* ctx, float x, float y, float z, float c);
QUORLINK_API int32_t QUORLINK_CALL NullPunktSetzen_Schritte(ConnectionContext* ctx, int32_t x, int32_t y, int32_t z,
                                                            int32_t c);

/* ---- Parameter commands -----------------------------------------------------------------
 * A parameter is addressed by group and item (only their low 8 bits are sent). A change
 * succeeds only when the controller echoes group, item and the value it stored. */

/* Reads a parameter's 16-byte value area into value (four 32-bit words); on failure value
 * holds zeros. */
QUORLINK_API int32_t QUORLINK_CALL ParameterLesen(ConnectionContext* ctx, int32_t group, int32_t item,
                                                  int32_t value[4]);
QUORLINK_API int32_t QUORLINK_CALL ParameterAendern_long(ConnectionContext* ctx, int32_t group, int32_t item,
                                                         int32_t value);
/* The echo is compared as a number: +0.0 and -0.0 are equal. */
QUORLINK_API int32_t QUORLINK_CALL ParameterAendern_float(ConnectionContext* ctx, int32_t group, int32_t item,
                                                          float value);
QUORLINK_API int32_t QUORLINK_CALL ParameterAendern_4_longs(ConnectionContext* ctx, int32_t group, int32_t item,
                                                            int32_t x, int32_t y, int32_t z, int32_t c);
/* Sends the low byte of each value. */
QUORLINK_API int32_t QUORLINK_CALL ParameterAendern_4_uchar(ConnectionContext* ctx, int32_t group, int32_t item,
                                                            int32_t x, int32_t y, int32_t z, int32_t c);
/* Sends the 16 bytes at name (not NUL-terminated). Reads the reply a second time, 100 ms
 * later, when nothing of it had arrived at the first read. */
QUORLINK_API int32_t QUORLINK_CALL ParameterAendern_ControllerName(ConnectionContext* ctx, int32_t group, int32_t item,
                                                                   const char name[16]);
/* Homing directions of steps 1..4 (c1..c4) and their axes (c5..c8), one byte each. */
QUORLINK_API int32_t QUORLINK_CALL ParameterAendern_Richtung_Sequenz_ReferenzFahrt(ConnectionContext* ctx,
                                                                                   int32_t group, int32_t item,
                                                                                   int32_t c1, int32_t c2, int32_t c3,
                                                                                   int32_t c4, int32_t c5, int32_t c6,
                                                                                   int32_t c7, int32_t c8);

#ifdef __cplusplus
}
#endif

#endif /* QUORLINK_H */

#pragma once
// The values a reset gives a connection context: the library's open starts from them, and
// the program sets the same ones when it loads its settings.

#include <quorlink.h>

#include <cstdint>

namespace quorlink {

inline constexpr std::uint32_t kResetBaudRate = 115200;
// The controller name field after a reset: 16 blanks.
inline constexpr char kResetControllerName[QUORLINK_NAME_LENGTH + 1] = "                ";

// Marks ctx closed and gives it the fixed line settings: no port handle, sequence and error
// code 0, 8 data bits, no parity, one stop bit, handshake 4. Leaves the port name, the
// controller name and the baud rate alone; closes nothing.
inline void resetLineState(ConnectionContext& ctx)
{
    ctx.portHandle = -1;
    ctx.sequence = 0;
    ctx.errorCode = QUORLINK_ERROR_NONE;
    ctx.dataBits = 8;
    ctx.parity = 0;
    ctx.stopBits = 0;
    ctx.handshake = 4;
}

} // namespace quorlink

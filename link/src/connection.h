#pragma once
// Resetting a context and the three ways to open a connection.

#include "link/include/quorlink.h"

#include <cstdint>

namespace quorlink {

// Resets the context to a closed one with the fixed line settings. portNumber 1..8 names
// the port; any other number keeps the caller's portName. A port the library still holds
// open in this context is closed first.
void resetContext(ConnectionContext* ctx, std::int32_t portNumber);

std::int32_t openByPort(ConnectionContext* ctx, std::int32_t portNumber);
std::int32_t openByScan(ConnectionContext* ctx);
std::int32_t openByName(ConnectionContext* ctx, const char* name);

} // namespace quorlink

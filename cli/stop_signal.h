#pragma once
// SIGINT and SIGTERM during a controller command: the first asks the running operation to
// stop at its next step (the key of a sweep, the block of an upload), so that the controller
// is left in a defined state and the port is closed; a second one ends the program at once.

#include <string_view>

namespace moravel::cli {

// Installs the handlers (sigaction, without SA_RESTART: a blocking read of stdin returns
// with EINTR when a signal arrives).
void installStopHandlers();

// The signal that asked to stop, 0 while none did.
int stopSignal();

// "SIGINT" or "SIGTERM".
std::string_view stopSignalName();

// The exit status of a command stopped by a signal: 128 + its number.
int stoppedStatus();

} // namespace moravel::cli

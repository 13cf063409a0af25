#pragma once
// The queries a window makes by itself, between the user's operations: the axes' positions
// every half second and the Auflösung its jogs convert with. They use the connection as it is:
// they never open it, show nothing and leave the link state alone, so that a window can run
// them without holding its commands back. A lost link is only reported; dropping it (with its
// message) is the caller's next operation.

#include "app/controller/moravel_app.h"

#include <array>
#include <optional>

namespace moravel {

struct PositionPoll {
    bool read = false;     // false: not connected, or the query failed
    bool linkLost = false; // the query found the device gone
    std::array<float, 4> millimetres{}; // X, Y, Z, C as the controller counts them
};

// GetPosition_mm when connected.
PositionPoll pollPosition(CMoravelSDIApp& app);

// The Auflösung of the four axes (0x0400 ... 0x0403), read between mode 1 and mode 2 when
// connected; nothing when one of the reads failed.
std::optional<std::array<float, 4>> readResolutions(CMoravelSDIApp& app);

} // namespace moravel

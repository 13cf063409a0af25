#pragma once
// What stands behind the port names COM1 ... COM8 on this machine, and whether each can be
// opened: for `moravel-cli ports`, and for explaining a failed open in the window and in
// moravel-cli alike.

#include "params/platform_line.h"

#include <string>
#include <vector>

namespace moravel {

struct PortProbe {
    // NoDevice: the name maps to nothing (no device, or QUORLINK_COMn is empty); Missing: it
    // maps to a device that does not exist; the others as an open of the device found them.
    using State = platform::LineState;
    int number = 0;         // 1 ... 8
    std::string device;     // the mapped path, empty for NoDevice
    std::string stableName; // the /dev/serial/by-id name of a USB device, or empty
    State state = State::NoDevice;
    std::string group;  // PermissionDenied: the group that owns the device
    std::string holder; // InUse: "process 123 (minicom)" when it can be seen
    std::string error;  // Failed: the system's text
};

// Probes COMn (n = 1 ... 8) as the link library would map it at an open now. Opening and
// closing leaves DTR raised.
PortProbe probePort(int number);

// A one-line description of the state: "can be opened", "in use by process 12 (minicom)",
// "permission denied (the device belongs to group 'dialout')".
std::string describe(const PortProbe& probe);

// Lines that tell a user why ports could not be opened and what to do: one per port of
// numbers that exists but cannot be opened, and a summary when none maps to a device. In
// English, with the command-line hints of moravel-cli.
std::vector<std::string> explainFailedOpen(const std::vector<int>& numbers);

// The same for the window, in German and for a technician at the machine: no commands, no
// environment variables. A device whose group grants access to serial lines gets the advice
// to join that group; one that belongs to another group (root) the advice to have its access
// set up.
std::vector<std::string> explainFailedOpenInWindow(const std::vector<int>& numbers);

// Whether membership of group gives a user serial devices ("dialout" on Debian, "uucp"
// elsewhere); never "root".
bool grantsSerialAccess(const std::string& group);

// The ports an open in connectionMode tries: the port of portName for an open by COM port
// (mode 1), COM1 ... COM8 for the scans (modes 0 and 2), none for an unknown mode (no open
// is attempted then).
std::vector<int> portsTriedByOpen(int connectionMode, const char (&portName)[5]);

} // namespace moravel

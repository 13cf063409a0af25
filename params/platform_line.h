#pragma once
// What the program asks the operating system about serial lines besides what the link
// library does itself: whether the device of an open connection is gone, and what an open of
// a device finds. One implementation per system, platform_line_posix.cpp and
// platform_line_win32.cpp (the build compiles one): the only program code outside the link
// library that opens, polls, locks or sets up a serial line.

#include <string>
#include <vector>

struct ConnectionContext; // the link library's connection record (quorlink.h)

namespace moravel::platform {

// True when ctx holds no open port (portHandle -1), or when the device of its open port is
// gone: hung up, or an adapter pulled. Sends nothing on the line and does not wait
// (POSIX: a zero-timeout poll for POLLHUP, POLLERR or POLLNVAL; Windows: the port's error
// and modem-status queries failing with a device-removed error).
bool deviceGone(const ConnectionContext& ctx);

// What an open of a device finds.
enum class LineState {
    NoDevice,         // no device to try (never a result of probeLine)
    Missing,          // the device does not exist
    Available,        // it opens for reading and writing and is free
    InUse,            // another program holds it open exclusively
    PermissionDenied, // the user may not open it
    NotSerial,        // it is not a serial line (a terminal device on POSIX)
    Failed,           // any other error (see error)
};

struct LineProbe {
    LineState state = LineState::Failed;
    std::string group;  // PermissionDenied: the group that owns the device, when known
    std::string holder; // InUse: "process 123 (minicom)" when it can be seen
    std::string error;  // Failed: the system's text
};

// Opens device as the link library would (without waiting), looks at what it is and
// closes it again; DTR stays raised, as the library leaves it. Nothing is sent.
LineProbe probeLine(const std::string& device);

// The device the open port handle portHandle stands for, as the system names it (links such
// as a /dev/serial/by-id name resolved); empty when it cannot be seen (always on Windows,
// where the port's name is its device).
std::string deviceOfHandle(int portHandle);

// A name of device that stays the same across plug-ins (the /dev/serial/by-id link of a USB
// device), or empty.
std::string stableLineName(const std::string& device);

// Serial ports this system knows that the names COM1 ... COM8 do not reach by themselves
// (on Windows those above COM8); empty where the system has no such list.
std::vector<std::string> unreachedSystemPorts();

// How a user names a device for QUORLINK_COMn on this system ("/dev/...", "COM12").
extern const char* const kDeviceExample;

} // namespace moravel::platform

#pragma once
// Port names "COM<n>": their numbers, and the device path each maps to.
//
// Shared by the link library and the programs built with it (moravel, moravel-cli), so that
// all of them read a port name the same way and explain a failed open with the mapping the
// library used. Compiled once into the internal static library quorlink_common; not installed.

#include <cstddef>
#include <string_view>

namespace quorlink {

inline constexpr std::size_t kMaxDevicePath = 256;

// How strictly parsePortNumber reads a port name.
enum class PortNameForm {
    Exact,           // "COM" and one digit, nothing after it: the names the library maps
    AnyCase,         // the same with "COM" in any case: a name typed on the command line
    FourthCharacter, // only the fourth character counts: the program's open by COM port
};

// The port number of name in that form: its digit 1 ... 9, or 0 when the name has another
// form. Every caller decides itself which numbers it takes and what replaces the others.
int parsePortNumber(std::string_view name, PortNameForm form);

// Port number of a context's 5-byte port name field "COM<digit>" (digit 1..9, the field NUL
// terminated or not), or 0 when the name has another form.
int portNumberOf(const char portName[5]);

// Device path of a port name: the value of QUORLINK_COM<n> when it is set, otherwise the
// n-th device of defaultDevice(). Returns false when the name maps to nothing.
// On Windows: the device "\\.\COM<n>", or the port QUORLINK_COM<n> names ("COM12" gives
// "\\.\COM12"; a value that starts with "\\" is taken as it is).
bool resolvePortName(const char portName[5], char (&path)[kMaxDevicePath]);

#ifndef _WIN32
// The n-th (1-based) present serial device in devDir: ttyACM* first, then ttyUSB*, then the
// ttyS* that are real ports, each group in numeric order. False when there are fewer.
bool defaultDevice(const char* devDir, int n, char (&path)[kMaxDevicePath]);
#endif

} // namespace quorlink

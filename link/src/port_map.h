#pragma once
// Maps the port names COM1 ... COM8 to device paths.

#include <cstddef>

namespace quorlink {

inline constexpr std::size_t kMaxDevicePath = 256;

// Port number of a name "COM<digit>" (digit 1..9), or 0 when the name has another form.
int portNumberOf(const char portName[5]);

// Device path of a port name: the value of QUORLINK_COM<n> when it is set, otherwise the
// n-th device of defaultDevice(). Returns false when the name maps to nothing.
bool resolvePortName(const char portName[5], char (&path)[kMaxDevicePath]);

// The n-th (1-based) present serial device in devDir: ttyACM* first, then ttyUSB*, then the
// ttyS* that are real ports, each group in numeric order. False when there are fewer.
bool defaultDevice(const char* devDir, int n, char (&path)[kMaxDevicePath]);

}  // namespace quorlink

#pragma once
// The line as the controller sees it: where each field sits in the 64-byte requests it
// receives and the 32-byte replies it sends, and the bytes of its bootloader.
//
// The simulator is the other end of the line from the host library, so it keeps its own
// description of the frames and shares no code with the library's: a wrong offset on one
// side then shows up as a failing exchange instead of passing on both.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quorlink::sim::wire {

// ---- Requests (host to controller) --------------------------------------------------------

inline constexpr std::size_t kRequestSize = 64;

inline constexpr std::size_t kClass = 0;
inline constexpr std::size_t kCode = 1;
inline constexpr std::size_t kArgs = 2;       // first argument byte
inline constexpr std::size_t kPairCount = 6;  // relative moves: number of axis pairs
inline constexpr std::size_t kUnit = 7;       // 0 = millimetres (floats), 1 = steps
inline constexpr std::size_t kAxisValues = 8; // moves: pairs of 32-bit values; zero point: four
inline constexpr std::size_t kPairSize = 8;
inline constexpr std::size_t kMaxPairs = 6;
inline constexpr std::size_t kSequence = 59;
inline constexpr std::size_t kTrailer = 63;
inline constexpr std::uint8_t kTrailerValue = 0xA7;

inline constexpr std::uint8_t kUnitSteps = 1;

// Classes, and the codes of each class.
inline constexpr std::uint8_t kClassSystem = 0;
inline constexpr std::uint8_t kClassParameter = 1;
inline constexpr std::uint8_t kClassMachine = 2;

inline constexpr std::uint8_t kStatus = 0x00; // system: status and positions
inline constexpr std::uint8_t kMode = 0x01;
inline constexpr std::uint8_t kAcknowledge = 0x02;
inline constexpr std::uint8_t kStop = 0x03;

inline constexpr std::uint8_t kMoveXY = 0x11; // machine
inline constexpr std::uint8_t kMoveZC = 0x12;
inline constexpr std::uint8_t kSpindleCoolant = 0x21;
inline constexpr std::uint8_t kOutputs = 0x22;
inline constexpr std::uint8_t kHoming = 0x31;
inline constexpr std::uint8_t kPark = 0x32;
inline constexpr std::uint8_t kZeroPoint = 0x41;

inline constexpr std::uint8_t kParameterChange = 0x11; // parameter
inline constexpr std::uint8_t kParameterRead = 0x21;

// Parameter requests and their replies: key and value area at the same offsets.
inline constexpr std::size_t kGroup = 2;
inline constexpr std::size_t kItem = 3;
inline constexpr std::size_t kValue = 4;
inline constexpr std::size_t kValueSize = 16;

// ---- Replies (controller to host) ---------------------------------------------------------

inline constexpr std::size_t kReplySize = 32;

inline constexpr std::size_t kReplyClass = 0; // echo of the request's class and code
inline constexpr std::size_t kReplyCode = 1;
inline constexpr std::size_t kReplyPositions = 3; // status: X, Y, Z, C as 32-bit values
inline constexpr std::size_t kReplyAccept = 21;   // status: 1 = connection accepted
inline constexpr std::size_t kReplyStatusByte = 26;
inline constexpr std::size_t kReplySequence = 27; // echo of request byte 59
inline constexpr std::uint8_t kNoEcho = 0xFF;     // group and item of an unknown key

// ---- Bootloader ---------------------------------------------------------------------------

inline constexpr std::uint8_t kBootloaderEntry = 'S'; // never the first byte of a request
inline constexpr std::array<std::uint8_t, 7> kBootloaderIdentifier = {'A', 'V', 'R', 'B', '1', '2', '8'};
inline constexpr std::uint8_t kProgrammingMode = 'P';
inline constexpr std::uint8_t kErase = 'e';
inline constexpr std::uint8_t kAddress = 'A'; // followed by two address bytes
inline constexpr std::size_t kAddressBytes = 2;
inline constexpr std::uint8_t kBlock = '#'; // followed by one block of data
inline constexpr std::size_t kBootloaderBlockSize = 8192;
inline constexpr std::uint8_t kChecksum = '$'; // answered with the CRC-32, most significant first
inline constexpr std::uint8_t kBootloaderAck = 0x0D;

// ---- 32-bit values: little-endian on the line ---------------------------------------------

inline std::int32_t getI32(const std::uint8_t* at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

inline float getF32(const std::uint8_t* at)
{
    const std::int32_t bits = getI32(at);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline void putI32(std::uint8_t* at, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void putF32(std::uint8_t* at, float value)
{
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    putI32(at, bits);
}

} // namespace quorlink::sim::wire

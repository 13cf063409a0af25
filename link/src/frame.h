#pragma once
// Layout of the command frames exchanged with the controller.

#include <cstdint>
#include <cstring>

namespace quorlink::frame {

inline constexpr int kRequestSize = 64;
inline constexpr int kReplySize = 32;

// Request bytes.
inline constexpr int kClass = 0;
inline constexpr int kCode = 1;
inline constexpr int kArg = 2;        // first argument byte
inline constexpr int kUnitSelect = 7; // 0 = millimetres (floats), 1 = steps (integers)
inline constexpr int kPairs = 8;      // first x/y (z/c) pair of a relative move
inline constexpr int kMoveFlags = 56;
inline constexpr int kSequence = 59;
inline constexpr int kTrailer = 63;
inline constexpr std::uint8_t kTrailerValue = 0xA7;

inline constexpr int kMaxMovePairs = 6;    // pairs end before byte 56
inline constexpr int kMaxHomingBytes = 56; // bytes 3..58 end before the sequence byte

// Command classes and codes.
inline constexpr std::uint8_t kClassSystem = 0;
inline constexpr std::uint8_t kClassParameter = 1;
inline constexpr std::uint8_t kClassMachine = 2;

inline constexpr std::uint8_t kCodeStatus = 0x00;
inline constexpr std::uint8_t kCodeMode = 0x01;
inline constexpr std::uint8_t kCodeAcknowledge = 0x02;
inline constexpr std::uint8_t kCodeStop = 0x03;
inline constexpr std::uint8_t kCodeMoveXY = 0x11;
inline constexpr std::uint8_t kCodeMoveZC = 0x12;
inline constexpr std::uint8_t kCodeSpindleCoolant = 0x21;
inline constexpr std::uint8_t kCodeOutputs = 0x22;
inline constexpr std::uint8_t kCodeHoming = 0x31;
inline constexpr std::uint8_t kCodePark = 0x32;
inline constexpr std::uint8_t kCodeZeroPoint = 0x41;
inline constexpr std::uint8_t kCodeParameterChange = 0x11;
inline constexpr std::uint8_t kCodeParameterRead = 0x21;

// Parameter request and reply bytes.
inline constexpr int kGroup = 2;
inline constexpr int kItem = 3;
inline constexpr int kValue = 4; // 16-byte value area, bytes 4..19
inline constexpr int kValueSize = 16;

// Reply bytes.
inline constexpr int kReplyPositions = 3; // four 32-bit values, bytes 3..18
inline constexpr int kReplyAccepts = 21;  // status reply: 1 = connection accepted
inline constexpr int kReplyStatusByte = 26;
inline constexpr int kReplySequence = 27;

// The controller name parameter.
inline constexpr std::uint8_t kNameGroup = 5;
inline constexpr std::uint8_t kNameItem = 5;

inline void putU32(std::uint8_t* at, std::uint32_t v)
{
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
    at[2] = static_cast<std::uint8_t>(v >> 16);
    at[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint32_t getU32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

inline void putI32(std::uint8_t* at, std::int32_t v) { putU32(at, static_cast<std::uint32_t>(v)); }
inline std::int32_t getI32(const std::uint8_t* at) { return static_cast<std::int32_t>(getU32(at)); }

inline void putF32(std::uint8_t* at, float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putU32(at, bits);
}

inline float getF32(const std::uint8_t* at)
{
    const std::uint32_t bits = getU32(at);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

} // namespace quorlink::frame

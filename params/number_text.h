#pragma once
// Number <-> text conversions of the parameter file, independent of the global locale.
//
// The GUI adopts the user's locale at start (a German one has a decimal comma), but parameter
// files always use the "C" conventions. These functions never consult the global C or C++
// locale and are safe to call from any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace moravel {

// A number read from the start of a text, and how many characters it took. end is 0 when
// nothing could be converted (as strtol and strtod leave the end pointer at the start).
template <typename T>
struct ParsedNumber {
    T value = 0;
    std::size_t end = 0;
};

// Reads an integer as strtol does with a 32-bit long: leading white space, an optional sign,
// for base 16 an optional "0x"/"0X" (a "0x" without a hex digit after it reads as 0 and
// ends after the "0"), then digits of the base. A value beyond the 32-bit range becomes
// INT32_MAX or INT32_MIN. base is 10 or 16.
ParsedNumber<std::int32_t> parseLong(std::string_view text, int base);

// Reads a number as glibc's strtod does in the "C" locale, on every system (the Windows C
// runtime's strtod differs): leading white space, an optional sign, then a decimal number
// with "." and an exponent, "inf", "infinity", "nan", "nan(chars)" in any case, or a
// hexadecimal one ("0x1.8p3"); correctly rounded, and infinity or zero beyond the range of a
// double. Stops at a NUL character.
ParsedNumber<double> parseDouble(std::string_view text);

// Appends "%d" of value.
void appendLong(std::string& out, std::int32_t value);

// Appends "%f" of value: fixed notation, six decimals, "." as decimal point.
void appendFixed6(std::string& out, double value);

} // namespace moravel

#include "params/number_text.h"

#include "params/text_util.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace moravel {
namespace {

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

bool isDigitOf(char c, bool hex) { return digitValue(c) < (hex ? 16 : 10); }

// For a number that from_chars found out of range: whether it is too large (else too small).
// Out of range means it rounds to infinity or to zero, far from 1, so the place of its first
// non-zero digit against the point plus its exponent tells which. [first, last) is what
// from_chars matched, without the sign and the "0x".
bool tooLarge(const char* first, const char* last, bool hex)
{
    const int digitWeight = hex ? 4 : 1; // bits of a hex digit, as the 'p' exponent counts
    std::int64_t scale = 0;
    bool nonZero = false;
    bool afterPoint = false;
    const char* p = first;
    for (; p < last && (*p == '.' || isDigitOf(*p, hex)); ++p) {
        if (*p == '.')
            afterPoint = true;
        else if (!afterPoint && (nonZero || *p != '0'))
            scale += digitWeight;
        else if (afterPoint && !nonZero && *p == '0')
            scale -= digitWeight;
        nonZero = nonZero || (*p != '.' && *p != '0');
    }
    std::int64_t exponent = 0;
    if (p < last) { // 'e' or 'p', a sign, digits
        ++p;
        const bool negative = p < last && *p == '-';
        if (p < last && (*p == '-' || *p == '+'))
            ++p;
        for (; p < last && exponent < 100000000; ++p)
            exponent = exponent * 10 + (*p - '0');
        exponent = negative ? -exponent : exponent;
    }
    return scale + exponent > 0;
}

} // namespace

ParsedNumber<std::int32_t> parseLong(std::string_view text, int base)
{
    std::size_t i = 0;
    while (i < text.size() && isFileSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        if (i + 2 < text.size() && digitValue(text[i + 2]) < 16)
            i += 2;
        else
            return {0, i + 1}; // "0x" without digits: the "0" is the number
    }
    const std::size_t digitsStart = i;
    // Magnitude saturates just above the 32-bit range, so the loop runs in linear time
    // without overflow however long the digit string is.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    while (i < text.size() && digitValue(text[i]) < base) {
        magnitude = magnitude * base + digitValue(text[i]);
        if (magnitude > limit)
            magnitude = limit + 1;
        ++i;
    }
    if (i == digitsStart)
        return {0, 0};
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        value = std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        value = std::numeric_limits<std::int32_t>::min();
    return {static_cast<std::int32_t>(value), i};
}

ParsedNumber<double> parseDouble(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::size_t i = 0;
    while (i < text.size() && isFileSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const char* first = text.data() + i;
    const char* const last = text.data() + text.size();
    // from_chars takes a '-' itself; after the sign strtod takes none.
    if (first == last || *first == '-' || *first == '+')
        return {0, 0};
    // "0x" starts a hexadecimal number only when a hex digit follows, after the point or not;
    // else the "0" alone is the number, as strtod reads it.
    bool hex = false;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        const char* digits = first + 2;
        hex = isDigitOf(digits[0], true) || (digits[0] == '.' && digits + 1 < last && isDigitOf(digits[1], true));
        if (hex)
            first = digits;
    }
    double value = 0;
    const std::from_chars_result result =
        std::from_chars(first, last, value, hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ec == std::errc::invalid_argument)
        return {0, 0};
    if (result.ec == std::errc::result_out_of_range)
        value = tooLarge(first, result.ptr, hex) ? std::numeric_limits<double>::infinity() : 0.0;
    return {negative ? -value : value, static_cast<std::size_t>(result.ptr - text.data())};
}

void appendLong(std::string& out, std::int32_t value)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendFixed6(std::string& out, double value)
{
    // The largest double in fixed notation has 309 integer digits.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, result.ptr);
}

} // namespace moravel

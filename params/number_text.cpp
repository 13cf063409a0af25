#include "params/number_text.h"

#include "params/text_util.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <locale.h>
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

// The "C" locale object for strtod_l. glibc hands out its built-in C locale here without
// allocating, so this cannot fail.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
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
    const std::string terminated(text); // strtod_l needs a terminated string
    char* end = nullptr;
    const double value = strtod_l(terminated.c_str(), &end, cLocale());
    return {value, static_cast<std::size_t>(end - terminated.c_str())};
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

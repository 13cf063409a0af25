#include "app/dialogs/field_validation.h"

#include "params/cp1252.h"
#include "params/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace moravel {

namespace {

std::string_view trimBlanks(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Optional sign, then one or more digits, nothing else.
bool isDecimalInteger(std::string_view text, bool allowSign)
{
    if (allowSign && !text.empty() && (text.front() == '+' || text.front() == '-'))
        text.remove_prefix(1);
    if (text.empty())
        return false;
    for (char c : text)
        if (!isDigit(c))
            return false;
    return true;
}

// Optional sign, digits with an optional ".", at least one digit, optional exponent.
bool isDecimalNumber(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t expDigits = 0;
        while (i < text.size() && isDigit(text[i]))
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    return i == text.size();
}

// The characters of UTF-8 text, one slice each (a lead byte and its continuation bytes).
std::vector<std::string_view> characters(std::string_view utf8)
{
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = 1;
        while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80)
            ++n;
        out.push_back(utf8.substr(i, n));
        i += n;
    }
    return out;
}

std::string numberText(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <typename T>
FieldCheck<T> fail(std::string message)
{
    return FieldCheck<T>{std::nullopt, std::move(message)};
}

} // namespace

std::string integerExpectedMessage() { return "Bitte geben Sie eine ganze Zahl ein."; }

std::string numberExpectedMessage() { return "Bitte geben Sie eine Zahl ein."; }

std::string integerRangeMessage(std::int64_t min, std::int64_t max)
{
    return "Bitte geben Sie eine ganze Zahl zwischen " + std::to_string(min) + " und " + std::to_string(max) + " ein.";
}

std::string numberRangeMessage(double min, double max)
{
    return "Bitte geben Sie eine Zahl zwischen " + numberText(min) + " und " + numberText(max) + " ein.";
}

std::string tooManyCharactersMessage(std::size_t maxChars)
{
    return "Bitte geben Sie nicht mehr als " + std::to_string(maxChars) + " Zeichen ein.";
}

FieldCheck<std::int32_t> checkIntegerField(std::string_view text, std::int64_t min, std::int64_t max)
{
    text = trimBlanks(text);
    if (!isDecimalInteger(text, true))
        return fail<std::int32_t>(integerExpectedMessage());
    // Digits beyond the 64-bit range are still a whole number, just out of range.
    std::int64_t value = 0;
    const char* first = text.data() + (text.front() == '+' ? 1 : 0);
    const auto result = std::from_chars(first, text.data() + text.size(), value);
    if (result.ec != std::errc() || value < min || value > max || value < INT32_MIN || value > INT32_MAX)
        return fail<std::int32_t>(integerRangeMessage(min, max));
    return {static_cast<std::int32_t>(value), {}};
}

FieldCheck<std::uint32_t> checkUnsignedField(std::string_view text, std::uint32_t min, std::uint32_t max)
{
    text = trimBlanks(text);
    std::uint64_t value = 0;
    if (!isDecimalInteger(text, false))
        return fail<std::uint32_t>(integerExpectedMessage());
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || value < min || value > max)
        return fail<std::uint32_t>(integerRangeMessage(min, max));
    return {static_cast<std::uint32_t>(value), {}};
}

FieldCheck<float> checkFloatField(std::string_view text, double min, double max)
{
    text = trimBlanks(text);
    if (!isDecimalNumber(text))
        return fail<float>(numberExpectedMessage());
    // "1e999" or "1e39" are numbers too, beyond every field's range; the float conversion of
    // a double above the float range is undefined, so such values are refused first.
    const double wide = parseDouble(text).value;
    if (!(std::fabs(wide) <= std::numeric_limits<float>::max()))
        return fail<float>(numberRangeMessage(min, max));
    const float value = static_cast<float>(wide);
    if (value < static_cast<float>(min) || value > static_cast<float>(max))
        return fail<float>(numberRangeMessage(min, max));
    return {value, {}};
}

FieldCheck<std::string> checkTextLength(std::string_view utf8Text, std::size_t maxChars)
{
    // Count code points: every byte that does not continue a UTF-8 sequence starts one.
    std::size_t chars = 0;
    for (unsigned char c : utf8Text)
        if ((c & 0xC0) != 0x80)
            ++chars;
    if (chars > maxChars)
        return fail<std::string>(tooManyCharactersMessage(maxChars));
    return {std::string(utf8Text), {}};
}

std::string unsupportedCharactersMessage(std::string_view utf8Characters)
{
    std::string text = "Bitte geben Sie nur Zeichen des Zeichensatzes Windows-1252 (Westeuropäisch) ein.\n"
                       "Nicht möglich:";
    std::vector<std::string_view> named;
    for (std::string_view c : characters(utf8Characters)) {
        if (std::find(named.begin(), named.end(), c) != named.end())
            continue;
        named.push_back(c);
        text.append(" \u201E").append(utf8ToCp1252(c).invalidUtf8 ? "\uFFFD" : c).append("\u201C");
    }
    return text;
}

FieldCheck<std::string> checkCp1252Text(std::string_view utf8Text, std::size_t maxChars)
{
    FieldCheck<std::string> length = checkTextLength(utf8Text, maxChars);
    if (!length.ok() || utf8ToCp1252(utf8Text).ok())
        return length;
    std::string lost;
    for (std::string_view c : characters(utf8Text))
        if (!utf8ToCp1252(c).ok())
            lost.append(c);
    return fail<std::string>(unsupportedCharactersMessage(lost));
}

std::string formatDialogFloat(float value)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

} // namespace moravel

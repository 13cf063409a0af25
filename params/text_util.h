#pragma once
// Small text helpers: the parameter file's white space, and the controller name's fixed field.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace moravel {

// The controller holds its name in 16 bytes, padded with blanks, without a terminator.
inline constexpr std::size_t kControllerNameBytes = 16;

// name as the controller holds it: its first 16 bytes, then blanks up to 16.
constexpr std::array<char, kControllerNameBytes> blankPaddedName(std::string_view name)
{
    std::array<char, kControllerNameBytes> field{};
    field.fill(' ');
    std::copy_n(name.begin(), std::min(name.size(), kControllerNameBytes), field.begin());
    return field;
}

// White space of the parameter file: blank, tab, line feed, vertical tab, form feed, carriage
// return (the "C" locale's isspace, never the user's).
constexpr bool isFileSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

constexpr std::string_view trimFileSpace(std::string_view s)
{
    while (!s.empty() && isFileSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isFileSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace moravel

#pragma once
// Small text helpers shared by the parameter-file reader and writer.

#include <string_view>

namespace moravel {

// White space of the parameter file: blank, tab, line feed, vertical tab, form feed, carriage
// return (the "C" locale's isspace, never the user's).
constexpr bool isFileSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr std::string_view trimFileSpace(std::string_view s)
{
    while (!s.empty() && isFileSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isFileSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace moravel

#pragma once
// Code page 1252 <-> UTF-8.
//
// Parameter files, the controller name and the comments are kept as code page 1252 bytes;
// the GUI and JSON output show them as UTF-8. Every byte has a character: the five bytes that
// code page 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 control
// characters U+0081, U+008D, U+008F, U+0090, U+009D, so converting bytes to UTF-8 and back
// never loses one.

#include <string>
#include <string_view>

namespace moravel {

// The UTF-8 text of code page 1252 bytes. Never fails.
std::string cp1252ToUtf8(std::string_view bytes);

struct Cp1252Result {
    std::string bytes;         // the text in code page 1252; '?' for each character lost
    std::u32string unmappable; // characters that code page 1252 cannot hold, in order
    bool invalidUtf8 = false;  // the input was not well-formed UTF-8 (each bad byte gave '?')
    bool ok() const { return unmappable.empty() && !invalidUtf8; }
};

// The code page 1252 bytes of UTF-8 text.
Cp1252Result utf8ToCp1252(std::string_view utf8);

} // namespace moravel

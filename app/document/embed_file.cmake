# Writes the bytes of INPUT into the header OUTPUT as the string literal NAME, byte for byte
# (every byte a hexadecimal escape), so that a program can carry a copy of a data file.
# Usage: cmake -DINPUT=file -DOUTPUT=header.h -DNAME=identifier -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
set(lines "")
set(offset 0)
while(offset LESS length)
  string(SUBSTRING "${hex}" ${offset} 64 chunk)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" chunk "${chunk}")
  string(APPEND lines "    \"${chunk}\"\n")
  math(EXPR offset "${offset} + 64")
endwhile()
if(lines STREQUAL "")
  set(lines "    \"\"\n")
endif()
math(EXPR bytes "${length} / 2")
get_filename_component(source "${INPUT}" NAME)
file(WRITE "${OUTPUT}"
  "#pragma once\n"
  "// Generated from ${source} at build time; do not edit.\n"
  "\n"
  "#include <string_view>\n"
  "\n"
  "inline constexpr std::string_view ${NAME}{\n"
  "${lines}"
  "    , ${bytes}};\n")

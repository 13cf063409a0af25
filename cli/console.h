#pragma once
// The terminal (on Windows: the console) moravel-cli runs in, and its command line. One
// implementation per system, console_posix.cpp and console_win32.cpp (the build compiles one);
// stop_signal.h is the other half, the Ctrl-C.

#include <string>
#include <vector>

namespace moravel::cli {

// Prepares the output: on Windows stdout and stderr become binary (no "\r" is added) and the
// console's output code page becomes UTF-8 (given back at exit); a POSIX terminal is left as
// it is.
void setUpConsole();

// The command line's arguments after the program name, as UTF-8 (on Windows from the
// console's UTF-16 command line, whatever the ANSI code page).
std::vector<std::string> commandLineArguments(int argc, char** argv);

bool stdinIsTerminal();
bool stderrIsTerminal();

// Drops what was typed on a terminal's input and not read yet.
void discardTypedInput();

// The key that ends the input at a prompt, for the prompt's text: "Ctrl-D" (POSIX),
// "Ctrl-Z or Ctrl-C" (Windows).
extern const char* const kCancelKeys;

} // namespace moravel::cli

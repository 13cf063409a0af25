#pragma once
// The command table of moravel-cli.
//
// Every subcommand is one row: its name, a usage line, a one-line summary for --help and the
// function that runs it with the arguments after its name. A new command is a new row in
// commands.cpp and a function in a file of its own.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravel::cli {

// Exit status of every command.
inline constexpr int ExitSuccess = 0;  // done; for a file: the reader accepted it
inline constexpr int ExitRejected = 1; // the reader rejected the file (also an empty one)
inline constexpr int ExitError = 2;    // wrong arguments, or a file that cannot be read or written

struct Command {
    std::string_view name;
    std::string_view usage;   // "check [--json] FILE"
    std::string_view summary; // one line for --help
    int (*run)(std::span<const std::string> args);
};

std::span<const Command> commands();

// Prints "moravel-cli: <message>" and a pointer to --help to stderr; returns ExitError.
int usageError(std::string_view message);

// Prints "moravel-cli: <message>" to stderr; returns ExitError.
int fail(std::string_view message);

// The arguments of one command: options from the allowed list and the rest. "--" ends the
// options. "--help" is always allowed.
struct Arguments {
    std::vector<std::string> options;
    std::vector<std::string> operands;
    bool has(std::string_view option) const;
};
// Splits args; an option outside allowed gives nothing (after a usage error message).
bool splitArguments(std::span<const std::string> args, std::span<const std::string_view> allowed, Arguments& out);

// Prints the usage line and summary of the command to stdout.
void printCommandHelp(const Command& command);

// File commands (file_commands.cpp).
int runCheck(std::span<const std::string> args);
int runFormat(std::span<const std::string> args);

} // namespace moravel::cli

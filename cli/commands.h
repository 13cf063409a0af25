#pragma once
// The command table of moravel-cli.
//
// Every subcommand is one row: its name, a usage line, a one-line summary for --help and the
// function that runs it with the arguments after its name. A new command is a new row in
// commands.cpp and a function in a file of its own.

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravel {
struct ParameterInfo;
}

namespace moravel::cli {

// Exit status of every command.
inline constexpr int kExitSuccess = 0;      // done; for a file: the reader accepted it
inline constexpr int kExitRejected = 1;     // the reader rejected the file (also an empty one), or
                                           // transfer: it lacks exchanged keys
inline constexpr int kExitDifferences = 1;  // diff or transfer --verify found differing keys
inline constexpr int kExitError = 2;        // wrong arguments, or a file that cannot be read or written
inline constexpr int kExitKeysFailed = 3;   // the controller did not take or give one or more keys
inline constexpr int kExitNoConnection = 4; // the connection could not be opened, or was lost
inline constexpr int kExitNoBootloader = 5; // "CRX-Bootloader nicht gefunden!"
inline constexpr int kExitChecksum = 6;     // the bootloader's checksum differs
inline constexpr int kExitStopped = 7;      // the upload stopped (time-out, failed write, prompt declined,
                                           // SIGINT or SIGTERM)
// A parameter command stopped by SIGINT or SIGTERM exits with 128 + the signal (130, 143).

struct Command {
    std::string_view name;
    std::string_view usage;   // "check [--json] FILE"
    std::string_view summary; // one line for --help
    int (*run)(std::span<const std::string> args);
    std::string_view details = {}; // more lines for "COMMAND --help"
};

std::span<const Command> commands();

// Prints "moravel-cli: <message>" and a pointer to --help to stderr; returns kExitError.
int usageError(std::string_view message);

// Prints "moravel-cli: <message>" to stderr; returns kExitError.
int fail(std::string_view message);

// The arguments of one command: options from the allowed list, options with a value
// ("--backup FILE" or "--backup=FILE") from the valued list, and the rest. "--" ends the
// options. "--help" is always allowed.
struct Arguments {
    std::vector<std::string> options;
    std::map<std::string, std::string, std::less<>> values;
    std::vector<std::string> operands;
    bool has(std::string_view option) const;
    // The value of a valued option, or null when it was not given.
    const std::string* value(std::string_view option) const;
};
// Splits args; an unknown option, a valued option without its value or given twice gives
// false (after a usage error message).
bool splitArguments(std::span<const std::string> args, std::span<const std::string_view> allowed, Arguments& out,
                    std::span<const std::string_view> valued = {});

// Prints the usage line and summary of the command to stdout.
void printCommandHelp(const Command& command);

// Prints the usage line and summary of the named command to stdout.
void printCommandHelp(std::string_view name);

// The start of every command on one file: "[options] FILE", --help, and FILE's bytes. Returns
// the exit status when the command is done already (help shown, wrong arguments, unreadable
// file), nothing when it goes on with parsed and bytes.
std::optional<int> prepareFileCommand(std::string_view command, std::span<const std::string> args,
                                      std::span<const std::string_view> allowed, Arguments& parsed, std::string& bytes,
                                      std::span<const std::string_view> valued = {});

// Writes bytes to stdout and flushes; false when that failed.
bool writeStdout(std::string_view bytes);

// Writes a parameter file's text to stdout. An empty text or a failed write gives the exit
// status (after a message), nothing when it was written.
std::optional<int> writeParameterText(std::string_view text);

// Lists the exchanged keys a parameter file lacks on stderr, one "  KEY  MACRO" line each,
// after "moravel-cli: [warning: ]'<path>' lacks N of the 38 keys exchanged with the
// controller; <consequence>:".
void printMissingKeys(std::string_view path, std::span<const ParameterInfo* const> missing,
                      std::string_view consequence, bool warning = false);

// File commands (file_commands.cpp).
int runCheck(std::span<const std::string> args);
int runFormat(std::span<const std::string> args);

// Controller commands (controller_commands.cpp, ports_command.cpp).
int runRead(std::span<const std::string> args);
int runTransfer(std::span<const std::string> args);
int runDiff(std::span<const std::string> args);
int runFlash(std::span<const std::string> args);
int runPorts(std::span<const std::string> args);

// Firmware update that keeps the parameters (update_command.cpp).
int runUpdate(std::span<const std::string> args);

// Steps-per-millimetre calibration of one axis (calibrate_command.cpp).
int runCalibrate(std::span<const std::string> args);

} // namespace moravel::cli

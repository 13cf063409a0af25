#include "cli/commands.h"

#include <algorithm>
#include <cstdio>

namespace moravel::cli {
namespace {

constexpr Command kCommands[] = {
    {"check", "check [--json] FILE",
     "Read a parameter file and report every message of the reader (as JSON with --json).", &runCheck},
    {"format", "format FILE", "Read a parameter file and write it to stdout as the program saves it.",
     &runFormat},
};

void printError(std::string_view message)
{
    std::fprintf(stderr, "moravel-cli: %.*s\n", static_cast<int>(message.size()), message.data());
}

} // namespace

std::span<const Command> commands()
{
    return kCommands;
}

int usageError(std::string_view message)
{
    printError(message);
    std::fputs("Try 'moravel-cli --help'.\n", stderr);
    return ExitError;
}

int fail(std::string_view message)
{
    printError(message);
    return ExitError;
}

bool Arguments::has(std::string_view option) const
{
    return std::find(options.begin(), options.end(), option) != options.end();
}

bool splitArguments(std::span<const std::string> args, std::span<const std::string_view> allowed, Arguments& out)
{
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg != "--help" && std::find(allowed.begin(), allowed.end(), arg) == allowed.end()) {
                usageError("unknown option '" + arg + "'");
                return false;
            }
            out.options.push_back(arg);
        } else {
            out.operands.push_back(arg);
        }
    }
    return true;
}

void printCommandHelp(const Command& command)
{
    std::printf("Usage: moravel-cli %.*s\n\n%.*s\n", static_cast<int>(command.usage.size()), command.usage.data(),
                static_cast<int>(command.summary.size()), command.summary.data());
}

} // namespace moravel::cli

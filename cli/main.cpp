// moravel-cli: the program's operations from the command line.

#include "cli/commands.h"

#include <cstdio>
#include <string>
#include <vector>

#ifndef MORAVEL_VERSION
#define MORAVEL_VERSION "unknown"
#endif

namespace {

void printHelp()
{
    std::puts("Usage: moravel-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
              "       moravel-cli --help | --version\n"
              "\n"
              "Commands:");
    for (const moravel::cli::Command& c : moravel::cli::commands())
        std::printf("  %-24.*s %.*s\n", static_cast<int>(c.usage.size()), c.usage.data(),
                    static_cast<int>(c.summary.size()), c.summary.data());
    std::puts("\n"
              "Reader messages go to stderr, each followed by a blank line. 'moravel-cli COMMAND --help'\n"
              "describes one command.\n"
              "\n"
              "Exit status: 0 the file was accepted, 1 the reader rejected it (also an empty file),\n"
              "2 wrong arguments or a file that cannot be read.");
}

} // namespace

int main(int argc, char** argv)
{
    using namespace moravel::cli;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.empty())
        return usageError("no command given");
    const std::string& first = args.front();
    if (first == "--help" || first == "-h") {
        printHelp();
        return ExitSuccess;
    }
    if (first == "--version") {
        std::puts("moravel-cli " MORAVEL_VERSION);
        return ExitSuccess;
    }
    for (const Command& c : commands())
        if (c.name == first)
            return c.run(std::span<const std::string>(args).subspan(1));
    return usageError("unknown command '" + first + "'");
}

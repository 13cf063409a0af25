// moravel-cli: the program's operations from the command line.

#include "cli/commands.h"
#include "cli/console.h"
#include "version/moravel_version.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void printHelp()
{
    std::puts("Usage: moravel-cli COMMAND [OPTIONS] [ARGUMENTS]\n"
              "       moravel-cli --help | --version\n"
              "\n"
              "Commands:");
    for (const moravel::cli::Command& c : moravel::cli::commands())
        std::printf("  %.*s\n      %.*s\n", static_cast<int>(c.usage.size()), c.usage.data(),
                    static_cast<int>(c.summary.size()), c.summary.data());
    std::puts("\n"
              "CONNECTION (read, transfer, diff, flash, update, calibrate; for this run only, never stored):\n"
              "  --port COMn   open COM1 ... COM8 by number\n"
              "  --auto        use the first of COM1 ... COM8 with a controller\n"
              "  --name NAME   use the controller of this name (padded with blanks to 16 characters)\n"
              "Without one, the stored settings of the program decide (see the README).\n"
              "\n"
              "The program's messages go to stderr, each followed by a blank line, and so do its status\n"
              "texts and, on a terminal, a progress bar. 'moravel-cli COMMAND --help' describes one\n"
              "command.\n"
              "\n"
              "SIGINT or SIGTERM (Ctrl-C) stops read, transfer, diff and flash at the next key or block:\n"
              "the controller is switched back to mode 2, the port is closed and no output file is\n"
              "written (an existing one stays as it was); calibrate sends NotHalt first while the axis\n"
              "may be moving. A second signal ends the program at once.\n"
              "\n"
              "Exit status:\n"
              "  0  success\n"
              "  1  the file was rejected or (transfer) lacks exchanged keys, or diff /\n"
              "       transfer --verify / update found differences, or calibrate refused the\n"
              "       distance or the result\n"
              "  2  wrong arguments, or a file that cannot be read or written\n"
              "  3  one or more keys failed\n"
              "  4  no connection, or the connection was lost\n"
              "  5  bootloader not found\n"
              "  6  checksum mismatch after the upload\n"
              "  7  upload stopped (time-out, failed write, the prompt was declined, or a signal),\n"
              "       or calibrate cancelled at a prompt\n"
              "  130, 143  read, transfer or diff stopped by SIGINT, SIGTERM, and so is calibrate\n"
              "       (after NotHalt when the axis may be moving)");
}

} // namespace

int main(int argc, char** argv)
{
    using namespace moravel::cli;
    setUpConsole();
    const std::vector<std::string> args = commandLineArguments(argc, argv);
    if (args.empty())
        return usageError("no command given");
    const std::string& first = args.front();
    if (first == "--help" || first == "-h") {
        printHelp();
        return kExitSuccess;
    }
    if (first == "--version") {
        std::puts("moravel-cli " MORAVEL_VERSION);
        return kExitSuccess;
    }
    for (const Command& c : commands())
        if (c.name == first)
            return c.run(std::span<const std::string>(args).subspan(1));
    return usageError("unknown command '" + first + "'");
}

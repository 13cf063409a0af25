// ports: COM1 ... COM8 as the link library maps them now, and whether each can be opened.

#include "app/controller/port_diagnosis.h"
#include "cli/commands.h"

#include <cstdio>

namespace moravel::cli {

int runPorts(std::span<const std::string> args)
{
    Arguments parsed;
    if (!splitArguments(args, {}, parsed))
        return ExitError;
    if (parsed.has("--help")) {
        printCommandHelp("ports");
        return ExitSuccess;
    }
    if (!parsed.operands.empty())
        return usageError("ports takes no operands");
    std::string out;
    for (int n = 1; n <= 8; ++n) {
        const PortProbe probe = probePort(n);
        char line[512];
        std::snprintf(line, sizeof line, "COM%d  %-20s  %s%s%s\n", n, probe.device.empty() ? "-" : probe.device.c_str(),
                      describe(probe).c_str(), probe.stableName.empty() ? "" : "  ", probe.stableName.c_str());
        out += line;
    }
    return writeStdout(out) ? ExitSuccess : fail("cannot write to stdout");
}

} // namespace moravel::cli

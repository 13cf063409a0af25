// ports: COM1 ... COM8 as the link library maps them now, whether each can be opened, and
// the system's other serial ports.

#include "app/controller/port_diagnosis.h"
#include "cli/commands.h"
#include "params/platform_line.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace moravel::cli {

int runPorts(std::span<const std::string> args)
{
    Arguments parsed;
    if (!splitArguments(args, {}, parsed))
        return kExitError;
    if (parsed.has("--help")) {
        printCommandHelp("ports");
        return kExitSuccess;
    }
    if (!parsed.operands.empty())
        return usageError("ports takes no operands");
    std::string out;
    std::vector<std::string> mapped;
    for (int n = 1; n <= 8; ++n) {
        const PortProbe probe = probePort(n);
        mapped.push_back(probe.device);
        char line[512];
        std::snprintf(line, sizeof line, "COM%d  %-20s  %s%s%s\n", n, probe.device.empty() ? "-" : probe.device.c_str(),
                      describe(probe).c_str(), probe.stableName.empty() ? "" : "  ", probe.stableName.c_str());
        out += line;
    }
    // Ports of the system beyond COM1 ... COM8 (Windows: COM9 and above), which the library
    // reaches only when QUORLINK_COMn names them.
    for (const std::string& port : platform::unreachedSystemPorts()) {
        if (std::find_if(mapped.begin(), mapped.end(), [&](const std::string& device) {
                return device == port || device.ends_with("\\" + port);
            }) != mapped.end())
            continue;
        out += port + "  not one of COM1 ... COM8; QUORLINK_COMn=" + port + " makes it COMn\n";
    }
    return writeStdout(out) ? kExitSuccess : fail("cannot write to stdout");
}

} // namespace moravel::cli

// check and format: read a parameter file the way the program opens it.

#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "params/file_io.h"
#include "params/parameter_set.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace moravel::cli {
namespace {

const Command& commandNamed(std::string_view name)
{
    for (const Command& c : commands())
        if (c.name == name)
            return c;
    return commands().front();
}

// Parses "[options] FILE"; returns false (after the message) for wrong arguments.
bool fileArguments(std::string_view command, std::span<const std::string> args,
                   std::span<const std::string_view> allowed, Arguments& parsed)
{
    if (!splitArguments(args, allowed, parsed))
        return false;
    if (parsed.has("--help"))
        return true;
    if (parsed.operands.size() != 1) {
        usageError(std::string(command) + ": expected one FILE");
        return false;
    }
    return true;
}

bool writeStdout(std::string_view bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
}

} // namespace

int runCheck(std::span<const std::string> args)
{
    static constexpr std::string_view allowed[] = {"--json"};
    Arguments parsed;
    if (!fileArguments("check", args, allowed, parsed))
        return ExitError;
    if (parsed.has("--help")) {
        printCommandHelp(commandNamed("check"));
        return ExitSuccess;
    }
    const std::string& path = parsed.operands.front();
    const FileBytes file = readFileBytes(path);
    if (!file.ok())
        return fail("cannot read '" + path + "': " + file.error.message());

    ParameterSet set;
    bool valid = false;
    if (parsed.has("--json")) {
        CollectingInteraction ui;
        valid = set.ReadText(file.bytes, ui);
        nlohmann::ordered_json result;
        result["valid"] = valid;
        result["messages"] = ui.messages();
        if (!writeStdout(result.dump() + "\n"))
            return fail("cannot write to stdout");
    } else {
        StderrInteraction ui;
        valid = set.ReadText(file.bytes, ui);
    }
    return valid ? ExitSuccess : ExitRejected;
}

int runFormat(std::span<const std::string> args)
{
    Arguments parsed;
    if (!fileArguments("format", args, {}, parsed))
        return ExitError;
    if (parsed.has("--help")) {
        printCommandHelp(commandNamed("format"));
        return ExitSuccess;
    }
    const std::string& path = parsed.operands.front();
    const FileBytes file = readFileBytes(path);
    if (!file.ok())
        return fail("cannot read '" + path + "': " + file.error.message());

    ParameterSet set;
    StderrInteraction ui;
    if (!set.ReadText(file.bytes, ui))
        return ExitRejected;
    // A failed write must not look like success to a script that saves the output.
    if (!writeStdout(set.WriteText()))
        return fail("cannot write to stdout");
    return ExitSuccess;
}

} // namespace moravel::cli

// check and format: read a parameter file the way the program opens it.

#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "params/controller_exchange.h"
#include "params/file_io.h"
#include "params/parameter_set.h"
#include "params/parameter_table.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

namespace moravel::cli {

std::optional<int> prepareFileCommand(std::string_view command, std::span<const std::string> args,
                                      std::span<const std::string_view> allowed, Arguments& parsed, std::string& bytes,
                                      std::span<const std::string_view> valued)
{
    if (!splitArguments(args, allowed, parsed, valued))
        return kExitError;
    if (parsed.has("--help")) {
        printCommandHelp(command);
        return kExitSuccess;
    }
    if (parsed.operands.size() != 1)
        return usageError(std::string(command) + ": expected one FILE");
    const std::string& path = parsed.operands.front();
    FileBytes file = readParameterFile(path);
    if (!file.ok()) {
        std::string reason = file.error.message();
        if (file.error == std::errc::file_too_large)
            reason += " (a parameter file has at most 16 MiB)";
        return fail("cannot read '" + path + "': " + reason);
    }
    bytes = std::move(file.bytes);
    return std::nullopt;
}

bool writeStdout(std::string_view bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
}

std::optional<int> writeParameterText(std::string_view text)
{
    // An empty text is no parameter file; a script that saves the output must not get one.
    if (text.empty())
        return fail("no parameters to write; nothing written to stdout");
    if (!writeStdout(text))
        return fail("cannot write to stdout");
    return std::nullopt;
}

void printMissingKeys(std::string_view path, std::span<const ParameterInfo* const> missing,
                      std::string_view consequence, bool warning)
{
    std::fprintf(stderr, "moravel-cli: %s'%.*s' lacks %zu of the %zu keys exchanged with the controller; %.*s:\n",
                 warning ? "warning: " : "", static_cast<int>(path.size()), path.data(), missing.size(),
                 exchangeList().size(), static_cast<int>(consequence.size()), consequence.data());
    for (const ParameterInfo* p : missing)
        std::fprintf(stderr, "  %04x  %.*s\n", static_cast<unsigned>(p->key.value),
                     static_cast<int>(p->itemMacro.size()), p->itemMacro.data());
    std::fflush(stderr);
}

int runCheck(std::span<const std::string> args)
{
    static constexpr std::string_view allowed[] = {"--json"};
    Arguments parsed;
    std::string bytes;
    if (const auto done = prepareFileCommand("check", args, allowed, parsed, bytes))
        return *done;

    ParameterSet set;
    bool valid = false;
    if (parsed.has("--json")) {
        CollectingInteraction ui;
        valid = set.ReadText(bytes, ui);
        nlohmann::ordered_json result;
        result["valid"] = valid;
        result["messages"] = ui.messages();
        if (!writeStdout(result.dump() + "\n"))
            return fail("cannot write to stdout");
    } else {
        StderrInteraction ui;
        valid = set.ReadText(bytes, ui);
    }
    // An accepted file may still lack keys; a transfer would refuse it. A warning only: the
    // program opens such a file.
    if (valid) {
        const auto missing = keysWithoutOrigin(set);
        if (!missing.empty())
            printMissingKeys(parsed.operands.front(), missing,
                             "transfer refuses it (transfer --partial sends only the keys it holds)", true);
    }
    return valid ? kExitSuccess : kExitRejected;
}

int runFormat(std::span<const std::string> args)
{
    Arguments parsed;
    std::string bytes;
    if (const auto done = prepareFileCommand("format", args, {}, parsed, bytes))
        return *done;

    ParameterSet set;
    StderrInteraction ui;
    if (!set.ReadText(bytes, ui))
        return kExitRejected;
    // A failed write must not look like success to a script that saves the output.
    if (const auto failed = writeParameterText(set.WriteText()))
        return *failed;
    return kExitSuccess;
}

} // namespace moravel::cli

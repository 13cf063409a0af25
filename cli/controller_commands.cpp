// read, transfer, diff and flash: the program's controller commands from the command line.
//
// Every command loads the stored connection settings, lets --port, --auto or --name override
// them for this run only, and ends with the connection closed.

#include "app/controller/moravel_app.h"
#include "app/controller/port_diagnosis.h"
#include "app/controller/template_file.h"
#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "link/common/port_map.h"
#include "params/cp1252.h"
#include "params/file_io.h"
#include "params/text_util.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace moravel::cli {
namespace {

constexpr std::string_view kConnectionFlags[] = {"--auto"};
constexpr std::string_view kConnectionValues[] = {"--port", "--name"};

// The allowed and valued options of a command: its own plus the connection options.
struct OptionLists {
    std::vector<std::string_view> flags;
    std::vector<std::string_view> values;
    OptionLists(std::initializer_list<std::string_view> ownFlags, std::initializer_list<std::string_view> ownValues)
        : flags(ownFlags), values(ownValues)
    {
        flags.insert(flags.end(), std::begin(kConnectionFlags), std::end(kConnectionFlags));
        values.insert(values.end(), std::begin(kConnectionValues), std::end(kConnectionValues));
    }
};

// A fresh document is never modified, so these are never asked.
class NoPrompts : public DocumentPrompts {
public:
    SaveAnswer askSaveChanges(const CMoravelSDIDoc&) override { return SaveAnswer::No; }
    std::optional<std::string> chooseSavePath(const std::string&) override { return std::nullopt; }
};

// The stored settings, then the connection option of this run (not stored).
std::optional<int> setUpConnection(const Arguments& args, CMoravelSDIApp& app)
{
    app.loadSettings();
    const std::string* port = args.value("--port");
    const std::string* name = args.value("--name");
    if (int{args.has("--auto")} + (port != nullptr) + (name != nullptr) > 1)
        return usageError("use only one of --port, --auto and --name");
    if (args.has("--auto"))
        app.connectionMode = 2;
    if (port != nullptr) {
        const int n = quorlink::parsePortNumber(*port, quorlink::PortNameForm::AnyCase);
        if (n < 1 || n > 8)
            return usageError("--port takes COM1 ... COM8, not '" + *port + "'");
        app.connectionMode = 1;
        std::memcpy(app.m_context.portName, "COM", 3);
        app.m_context.portName[3] = static_cast<char>('0' + n);
        app.m_context.portName[4] = '\0';
    }
    if (name != nullptr) {
        const Cp1252Result bytes = utf8ToCp1252(*name);
        if (!bytes.ok())
            return usageError("--name: the name has characters that the controller cannot hold");
        if (bytes.bytes.size() > MaxControllerNameChars)
            return usageError("--name: the controller name has at most 16 characters");
        // Blank-padded like the name a transfer sends, so that "NC-Travo USB" finds the
        // controller that reports "NC-Travo USB    ".
        app.connectionMode = 0;
        const auto field = blankPaddedName(bytes.bytes);
        std::memcpy(app.m_context.controllerName, field.data(), field.size());
        app.m_context.controllerName[field.size()] = '\0';
    }
    return std::nullopt;
}

// After the open's own message: what the ports the open tried look like from here.
int noConnection(const CMoravelSDIApp& app)
{
    std::vector<int> tried;
    if (app.connectionMode == 1)
        tried.push_back(portNumberForMode1(app.m_context.portName));
    else
        for (int n = 1; n <= 8; ++n)
            tried.push_back(n);
    for (const std::string& line : explainFailedOpen(tried))
        std::fprintf(stderr, "moravel-cli: %s\n", line.c_str());
    return ExitNoConnection;
}

// The read command of the program: a fresh document from the template, then the read.
std::optional<int> readController(CMoravelSDIApp& app, CMoravelSDIDoc& doc, UserInteraction& ui, int& failedKeys)
{
    NoPrompts prompts;
    const std::string templatePath = findTemplateFile();
    switch (doc.newFromTemplate(templatePath, prompts, ui)) {
    case CMoravelSDIDoc::OpenResult::Loaded:
        break;
    case CMoravelSDIDoc::OpenResult::BuiltIn:
        std::fprintf(stderr, "moravel-cli: no template file %s found; using the built-in template\n",
                     std::string(TemplateFileName).c_str());
        break;
    default:
        return fail("cannot read the template file '" + templatePath + "'");
    }
    const SweepResult result = app.readParameters(doc, ui);
    if (!result.connected)
        return noConnection(app);
    failedKeys = result.failedKeys;
    return std::nullopt;
}

// --backup: the controller's current set, saved before anything is changed. A backup with
// keys missing is not written, and the command goes no further. A backup over the command's
// own input file would replace what is about to be sent, so it is refused before the
// controller is touched.
std::optional<int> saveBackup(const Arguments& args, const std::string& input, CMoravelSDIApp& app, UserInteraction& ui)
{
    const std::string* path = args.value("--backup");
    if (path == nullptr)
        return std::nullopt;
    if (namesSameFile(*path, input))
        return fail("--backup '" + *path + "' is the input file '" + input +
                    "' itself; choose another backup file. Nothing changed");
    CMoravelSDIDoc backup;
    int failedKeys = 0;
    if (const auto done = readController(app, backup, ui, failedKeys))
        return done;
    if (failedKeys > 0) {
        std::fprintf(stderr, "moravel-cli: %d key(s) could not be read; no backup written, nothing changed\n",
                     failedKeys);
        return ExitKeysFailed;
    }
    if (!backup.SaveToFile(*path, ui))
        return fail("cannot write the backup '" + *path + "'; nothing changed");
    return std::nullopt;
}

std::string keyText(const ParameterInfo& p)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", p.key.value);
    return text;
}

bool printDifferences(const ComparisonResult& result, bool json)
{
    std::string out;
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const ParameterDifference& d : result.differences)
            list.push_back({{"key", keyText(*d.parameter)},
                            {"name", std::string(d.parameter->itemMacro)},
                            {"file", cp1252ToUtf8(d.setValue)},
                            {"controller", cp1252ToUtf8(d.controllerValue)}});
        out = list.dump() + "\n";
    } else {
        for (const ParameterDifference& d : result.differences)
            out += keyText(*d.parameter) + "\t" + std::string(d.parameter->itemMacro) + "\t" +
                   cp1252ToUtf8(d.setValue) + "\t" + cp1252ToUtf8(d.controllerValue) + "\n";
    }
    return writeStdout(out);
}

// The start of transfer and diff: options, the connection, and FILE read as the program
// opens a parameter file (a rejected file ends the command with ExitRejected).
std::optional<int> prepareParameterCommand(std::string_view command, std::span<const std::string> args,
                                           const OptionLists& options, Arguments& parsed, CMoravelSDIApp& app,
                                           CMoravelSDIDoc& doc, UserInteraction& ui)
{
    std::string bytes;
    if (const auto done = prepareFileCommand(command, args, options.flags, parsed, bytes, options.values))
        return done;
    if (const auto done = setUpConnection(parsed, app))
        return done;
    doc.m_bParametersValid = doc.m_parameterSet.ReadText(bytes, ui);
    if (!doc.m_bParametersValid)
        return ExitRejected;
    return std::nullopt;
}

// The flash command's user: the bootloader prompt, and the progress on stderr.
class FlashInteraction : public StderrInteraction {
public:
    explicit FlashInteraction(bool assumeYes) : m_assumeYes(assumeYes), m_terminal(::isatty(STDERR_FILENO) != 0) {}

    void showMessage(std::string_view text) override
    {
        endBar();
        StderrInteraction::showMessage(text);
    }

    bool confirm(std::string_view text) override
    {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        if (m_assumeYes) {
            std::fputs("\n", stderr);
            return true;
        }
        std::fputs("Press Enter when the bootloader is active (Ctrl-D cancels). ", stderr);
        std::fflush(stderr);
        std::string line;
        const bool confirmed = static_cast<bool>(std::getline(std::cin, line));
        std::fputs(confirmed ? "\n" : "\n\n", stderr);
        return confirmed;
    }

    void reportProgress(std::int64_t done, std::int64_t total) override
    {
        const auto now = std::chrono::steady_clock::now();
        if (!m_started) {
            m_started = true;
            m_start = now;
        }
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        const int percent = static_cast<int>(done * 100 / total);
        if (!m_terminal) {
            std::fprintf(stderr, "Firmware: %lld / %lld bytes (%d %%), %.1f s\n", static_cast<long long>(done),
                         static_cast<long long>(total), percent, seconds);
            return;
        }
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(done * kWidth / total);
        const int whole = static_cast<int>(seconds);
        std::fprintf(stderr, "\r[%.*s%.*s] %3d %%  %lld / %lld bytes  %d:%02d", filled,
                     "##############################", kWidth - filled, "..............................", percent,
                     static_cast<long long>(done), static_cast<long long>(total), whole / 60, whole % 60);
        m_barOpen = done < total;
        if (!m_barOpen)
            std::fputs("\n\n", stderr);
        std::fflush(stderr);
    }

    void endBar()
    {
        if (m_barOpen)
            std::fputs("\n", stderr);
        m_barOpen = false;
    }

private:
    bool m_assumeYes;
    bool m_terminal;
    bool m_started = false;
    bool m_barOpen = false;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace

int runRead(std::span<const std::string> args)
{
    const OptionLists options({"--force"}, {"-o"});
    Arguments parsed;
    if (!splitArguments(args, options.flags, parsed, options.values))
        return ExitError;
    if (parsed.has("--help")) {
        printCommandHelp("read");
        return ExitSuccess;
    }
    if (!parsed.operands.empty())
        return usageError("read: no FILE operand; write to a file with -o FILE");
    if (parsed.has("--force") && parsed.value("-o") == nullptr)
        return usageError("read: --force goes with -o FILE");
    CMoravelSDIApp app;
    if (const auto done = setUpConnection(parsed, app))
        return *done;

    StderrInteraction ui;
    CMoravelSDIDoc doc;
    int failedKeys = 0;
    if (const auto done = readController(app, doc, ui, failedKeys))
        return *done;
    app.CloseConnection(ui);
    if (const std::string* path = parsed.value("-o")) {
        // A partial result (template values for the failed keys) never replaces a file that
        // may hold a good set, unless asked to.
        struct stat st {};
        if (failedKeys > 0 && !parsed.has("--force") && ::stat(path->c_str(), &st) == 0) {
            std::fprintf(stderr,
                         "moravel-cli: %d key(s) could not be read; the partial result is not written to '%s', "
                         "which is kept as it was (--force writes it)\n",
                         failedKeys, path->c_str());
            return ExitKeysFailed;
        }
        if (!doc.SaveToFile(*path, ui))
            return ExitError;
    } else if (const auto failed = writeParameterText(doc.m_parameterSet.WriteText())) {
        return *failed;
    }
    return failedKeys > 0 ? ExitKeysFailed : ExitSuccess;
}

int runTransfer(std::span<const std::string> args)
{
    Arguments parsed;
    CMoravelSDIApp app;
    CMoravelSDIDoc doc;
    StderrInteraction ui;
    if (const auto done = prepareParameterCommand("transfer", args, {{"--verify"}, {"--backup"}}, parsed, app, doc, ui))
        return *done;
    if (const auto done = saveBackup(parsed, parsed.operands.front(), app, ui))
        return *done;
    const SweepResult sent = app.transferParameters(doc, ui);
    if (!sent.connected)
        return noConnection(app);
    int failedKeys = sent.failedKeys;
    bool differs = false;
    if (parsed.has("--verify")) {
        const ComparisonResult check = app.compareWithController(doc.m_parameterSet, ui);
        failedKeys += check.failedKeys;
        differs = !check.differences.empty();
        if (!printDifferences(check, false))
            return fail("cannot write to stdout");
    }
    app.CloseConnection(ui);
    return failedKeys > 0 ? ExitKeysFailed : differs ? ExitDifferences : ExitSuccess;
}

int runDiff(std::span<const std::string> args)
{
    Arguments parsed;
    CMoravelSDIApp app;
    CMoravelSDIDoc doc;
    StderrInteraction ui;
    if (const auto done = prepareParameterCommand("diff", args, {{"--json"}, {}}, parsed, app, doc, ui))
        return *done;
    const ComparisonResult result = app.compareWithController(doc.m_parameterSet, ui);
    if (!result.connected)
        return noConnection(app);
    app.CloseConnection(ui);
    if (!printDifferences(result, parsed.has("--json")))
        return fail("cannot write to stdout");
    return result.failedKeys > 0 ? ExitKeysFailed : result.differences.empty() ? ExitSuccess : ExitDifferences;
}

int runFlash(std::span<const std::string> args)
{
    const OptionLists options({"--yes"}, {"--backup"});
    Arguments parsed;
    if (!splitArguments(args, options.flags, parsed, options.values))
        return ExitError;
    if (parsed.has("--help")) {
        printCommandHelp("flash");
        return ExitSuccess;
    }
    if (parsed.operands.size() != 1)
        return usageError("flash: expected one FIRMWARE file");
    const bool assumeYes = parsed.has("--yes");
    if (!assumeYes && ::isatty(STDIN_FILENO) == 0)
        return usageError("flash: stdin is not a terminal; confirm the bootloader prompt with --yes");
    CMoravelSDIApp app;
    if (const auto done = setUpConnection(parsed, app))
        return *done;

    FlashInteraction ui(assumeYes);
    const auto image = readFirmwareFile(parsed.operands.front(), ui);
    if (!image)
        return ExitError;
    StderrInteraction backupUi; // the progress bar is the upload's only
    if (const auto done = saveBackup(parsed, parsed.operands.front(), app, backupUi))
        return *done;
    switch (app.UploadFirmware(*image, ui)) {
    case UploadResult::Done:
        return ExitSuccess;
    case UploadResult::NoConnection:
        return noConnection(app);
    case UploadResult::BootloaderNotFound:
        return ExitNoBootloader;
    case UploadResult::ChecksumMismatch:
        return ExitChecksum;
    case UploadResult::Declined:
        std::fputs("moravel-cli: upload cancelled, nothing sent\n", stderr);
        return ExitStopped;
    case UploadResult::LinkLost:
        return ExitNoConnection;
    case UploadResult::Stopped:
    case UploadResult::Cancelled:
        return ExitStopped;
    }
    return ExitStopped;
}

} // namespace moravel::cli

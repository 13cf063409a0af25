// read, transfer, diff and flash: the program's controller commands from the command line.
//
// Every command loads the stored connection settings, lets --port, --auto or --name override
// them for this run only, and ends with the connection closed, whichever way it ends.
// SIGINT or SIGTERM stops a command at the next key or block (stop_signal.h): the controller
// is switched back to mode 2, the port closed, and no output is written.

#include "app/controller/moravel_app.h"
#include "app/controller/port_diagnosis.h"
#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/controller_session.h"
#include "cli/stop_signal.h"
#include "link/common/port_map.h"
#include "params/controller_exchange.h"
#include "params/cp1252.h"
#include "params/file_io.h"
#include "params/text_util.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

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

// Closes the connection when the command ends, on every path. A port left open until the
// process exits keeps its exclusive flag (TIOCEXCL) while another process holds the device,
// and the next open by a normal user fails.
class ConnectionGuard {
public:
    ConnectionGuard(CMoravelSDIApp& app, UserInteraction& ui) : m_app(app), m_ui(ui) {}
    ~ConnectionGuard() { m_app.CloseConnection(m_ui); }
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

private:
    CMoravelSDIApp& m_app;
    UserInteraction& m_ui;
};

// What a command that a signal stopped exits with: 128 + the signal, except flash, whose
// status 7 already means "upload stopped".
enum class StopStatus { Signal, UploadStopped };

int stopped(StopStatus status, std::string_view outcome)
{
    const std::string_view name = stopSignalName();
    std::fprintf(stderr, "moravel-cli: stopped by %.*s; %.*s\n", static_cast<int>(name.size()), name.data(),
                 static_cast<int>(outcome.size()), outcome.data());
    return status == StopStatus::Signal ? stoppedStatus() : kExitStopped;
}

// The device vanished during an operation that had opened the link: the controller reported
// it (with its one message) or closed the link.
bool linkLost(bool wasConnected, bool reportedLost, const CMoravelSDIApp& app)
{
    return wasConnected && (reportedLost || !app.isConnected());
}

// The read command of the program: a fresh document from the template, then the read. Ends
// the command (its exit status) when there is no connection, the link was lost or a signal
// stopped it; nothing has been written then.
std::optional<int> readController(CMoravelSDIApp& app, CMoravelSDIDoc& doc, StderrInteraction& ui, int& failedKeys,
                                  StopStatus onStop)
{
    MessagesOnly templateUi(ui); // the built-in template's note is said in English
    if (const auto done = renewFromTemplate(doc, templateUi))
        return done;
    const SweepResult result = app.readParameters(doc, ui);
    if (!result.connected)
        return noConnection(app);
    if (linkLost(result.connected, result.linkLost, app))
        return kExitNoConnection;
    if (stopSignal() != 0)
        return stopped(onStop, "nothing written");
    failedKeys = result.failedKeys;
    return std::nullopt;
}

// --backup: the controller's current set, saved before anything is changed. A backup with
// keys missing is not written, and the command goes no further. A backup over the command's
// own input file would replace what is about to be sent, so it is refused before the
// controller is touched.
std::optional<int> saveBackup(const Arguments& args, const std::string& input, CMoravelSDIApp& app,
                              StderrInteraction& ui, StopStatus onStop)
{
    const std::string* path = args.value("--backup");
    if (path == nullptr)
        return std::nullopt;
    if (namesSameFile(*path, input))
        return fail("--backup '" + *path + "' is the input file '" + input +
                    "' itself; choose another backup file. Nothing changed");
    CMoravelSDIDoc backup;
    int failedKeys = 0;
    if (const auto done = readController(app, backup, ui, failedKeys, onStop))
        return done;
    if (failedKeys > 0) {
        std::fprintf(stderr, "moravel-cli: %d key(s) could not be read; no backup written, nothing changed\n",
                     failedKeys);
        return kExitKeysFailed;
    }
    if (!backup.SaveToFile(*path, ui))
        return fail("cannot write the backup '" + *path + "'; nothing changed");
    return std::nullopt;
}

// The start of transfer and diff: options, the connection, and FILE read as the program
// opens a parameter file (a rejected file ends the command with kExitRejected).
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
        return kExitRejected;
    return std::nullopt;
}

// A transfer sends only values that came from FILE: a key the file lacks would go to the
// controller with whatever the program holds for it. --partial sends the keys the file has.
std::optional<int> refuseMissingKeys(const Arguments& parsed, const ParameterSet& set)
{
    const auto missing = keysWithoutOrigin(set);
    const std::string& path = parsed.operands.front();
    if (!parsed.has("--partial")) {
        if (missing.empty())
            return std::nullopt;
        printMissingKeys(path, missing, "nothing sent (--partial sends only the keys the file holds)");
        return kExitRejected;
    }
    if (missing.size() < exchangeList().size())
        return std::nullopt;
    std::fprintf(stderr, "moravel-cli: '%s' holds none of the %zu keys exchanged with the controller; nothing sent\n",
                 path.c_str(), exchangeList().size());
    return kExitRejected;
}

} // namespace

int runRead(std::span<const std::string> args)
{
    const OptionLists options({"--force"}, {"-o"});
    Arguments parsed;
    if (!splitArguments(args, options.flags, parsed, options.values))
        return kExitError;
    if (parsed.has("--help")) {
        printCommandHelp("read");
        return kExitSuccess;
    }
    if (!parsed.operands.empty())
        return usageError("read: no FILE operand; write to a file with -o FILE");
    if (parsed.has("--force") && parsed.value("-o") == nullptr)
        return usageError("read: --force goes with -o FILE");
    CMoravelSDIApp app;
    if (const auto done = setUpConnection(parsed, app))
        return *done;

    installStopHandlers();
    StderrInteraction ui;
    ConnectionGuard guard(app, ui);
    CMoravelSDIDoc doc;
    int failedKeys = 0;
    if (const auto done = readController(app, doc, ui, failedKeys, StopStatus::Signal))
        return *done;
    app.CloseConnection(ui);
    if (stopSignal() != 0)
        return stopped(StopStatus::Signal, "nothing written");
    if (const std::string* path = parsed.value("-o")) {
        // A partial result (template values for the failed keys) never replaces a file that
        // may hold a good set, unless asked to.
        if (failedKeys > 0 && !parsed.has("--force") && pathExists(*path)) {
            std::fprintf(stderr,
                         "moravel-cli: %d key(s) could not be read; the partial result is not written to '%s', "
                         "which is kept as it was (--force writes it)\n",
                         failedKeys, path->c_str());
            return kExitKeysFailed;
        }
        if (!doc.SaveToFile(*path, ui))
            return kExitError;
    } else if (const auto failed = writeParameterText(doc.m_parameterSet.WriteText())) {
        return *failed;
    }
    return failedKeys > 0 ? kExitKeysFailed : kExitSuccess;
}

int runTransfer(std::span<const std::string> args)
{
    Arguments parsed;
    CMoravelSDIApp app;
    CMoravelSDIDoc doc;
    StderrInteraction ui;
    if (const auto done =
            prepareParameterCommand("transfer", args, {{"--verify", "--partial"}, {"--backup"}}, parsed, app, doc, ui))
        return *done;
    if (const auto done = refuseMissingKeys(parsed, doc.m_parameterSet))
        return *done;
    const bool partial = parsed.has("--partial");

    installStopHandlers();
    ConnectionGuard guard(app, ui);
    if (const auto done = saveBackup(parsed, parsed.operands.front(), app, ui, StopStatus::Signal))
        return *done;
    if (stopSignal() != 0)
        return stopped(StopStatus::Signal, "nothing sent");
    const SweepResult sent =
        app.transferParameters(doc, ui, partial ? TransferScope::KeysWithOrigin : TransferScope::AllKeys);
    if (!sent.connected)
        return noConnection(app);
    if (linkLost(sent.connected, sent.linkLost, app))
        return kExitNoConnection;
    if (stopSignal() != 0)
        return stopped(StopStatus::Signal, "the controller may hold only part of the file's values");
    int failedKeys = sent.failedKeys;
    bool differs = false;
    if (parsed.has("--verify")) {
        ComparisonResult check = app.compareWithController(doc.m_parameterSet, ui);
        if (linkLost(check.connected, false, app))
            return kExitNoConnection;
        if (stopSignal() != 0)
            return stopped(StopStatus::Signal, "the values were sent but not verified");
        // With --partial only the keys sent are compared.
        if (partial)
            std::erase_if(check.differences, [&](const ParameterDifference& d) {
                return doc.m_parameterSet.origin(d.parameter->key.value) == ValueOrigin::None;
            });
        failedKeys += check.failedKeys;
        differs = !check.differences.empty();
        if (!printDifferences(check.differences, false))
            return fail("cannot write to stdout");
    }
    return failedKeys > 0 ? kExitKeysFailed : differs ? kExitDifferences : kExitSuccess;
}

int runDiff(std::span<const std::string> args)
{
    Arguments parsed;
    CMoravelSDIApp app;
    CMoravelSDIDoc doc;
    StderrInteraction ui;
    if (const auto done = prepareParameterCommand("diff", args, {{"--json"}, {}}, parsed, app, doc, ui))
        return *done;
    installStopHandlers();
    ConnectionGuard guard(app, ui);
    const ComparisonResult result = app.compareWithController(doc.m_parameterSet, ui);
    if (!result.connected)
        return noConnection(app);
    if (linkLost(result.connected, false, app))
        return kExitNoConnection;
    if (stopSignal() != 0)
        return stopped(StopStatus::Signal, "nothing written");
    app.CloseConnection(ui);
    if (!printDifferences(result.differences, parsed.has("--json")))
        return fail("cannot write to stdout");
    return result.failedKeys > 0 ? kExitKeysFailed : result.differences.empty() ? kExitSuccess : kExitDifferences;
}

int runFlash(std::span<const std::string> args)
{
    const OptionLists options({"--yes"}, {"--backup"});
    Arguments parsed;
    if (!splitArguments(args, options.flags, parsed, options.values))
        return kExitError;
    if (parsed.has("--help")) {
        printCommandHelp("flash");
        return kExitSuccess;
    }
    if (parsed.operands.size() != 1)
        return usageError("flash: expected one FIRMWARE file");
    const bool assumeYes = parsed.has("--yes");
    if (!assumeYes && !stdinIsTerminal())
        return usageError("flash: stdin is not a terminal; confirm the bootloader prompt with --yes");
    CMoravelSDIApp app;
    if (const auto done = setUpConnection(parsed, app))
        return *done;

    FlashInteraction ui(assumeYes);
    const auto image = readFirmwareFile(parsed.operands.front(), ui);
    if (!image)
        return kExitError;
    installStopHandlers();
    ConnectionGuard guard(app, ui);
    StderrInteraction backupUi; // progress in keys, not bytes
    if (const auto done = saveBackup(parsed, parsed.operands.front(), app, backupUi, StopStatus::UploadStopped))
        return *done;
    if (stopSignal() != 0)
        return stopped(StopStatus::UploadStopped, "nothing sent");
    const UploadResult result = app.UploadFirmware(*image, ui);
    switch (result) {
    case UploadResult::Done:
        if (stopSignal() != 0)
            return stopped(StopStatus::UploadStopped, "the upload had already finished and its checksum matched");
        return kExitSuccess;
    case UploadResult::NoConnection:
        return noConnection(app);
    case UploadResult::BootloaderNotFound:
        return kExitNoBootloader;
    case UploadResult::ChecksumMismatch:
        return kExitChecksum;
    case UploadResult::Declined:
        if (stopSignal() != 0)
            return stopped(StopStatus::UploadStopped, "nothing sent");
        std::fputs("moravel-cli: upload cancelled, nothing sent\n", stderr);
        return kExitStopped;
    case UploadResult::LinkLost:
        return kExitNoConnection;
    case UploadResult::Stopped:
    case UploadResult::Cancelled:
        if (stopSignal() != 0)
            return stopped(StopStatus::UploadStopped,
                           "the upload is incomplete; upload the firmware again before using the controller");
        return kExitStopped;
    }
    return kExitStopped;
}

} // namespace moravel::cli

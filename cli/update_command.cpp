// update: a firmware upload that keeps the controller's parameters.
//
// A new firmware may start from factory values, so the controller's set is read and saved
// first, then the firmware is uploaded as flash does, the user restarts the controller out of
// its bootloader, and the saved set is sent back and read back for comparison. Whatever
// happens after the backup was saved, the last line on stderr names the backup file.

#include "app/controller/firmware_update.h"
#include "app/controller/moravel_app.h"
#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/controller_session.h"
#include "cli/stop_signal.h"
#include "params/file_io.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

// The helpers live in a namespace of their own: in a unity build they meet the other
// commands' helpers of the same names.
namespace moravel::cli::updating {
namespace {

inline constexpr std::string_view kRestartPrompt =
    "Starten Sie den Controller neu (Reset) und bestätigen Sie mit Enter.";
constexpr int kMaxWaitSeconds = 86400;

constexpr std::string_view kFlags[] = {"--yes", "--auto"};
constexpr std::string_view kValued[] = {"--backup", "--wait", "--port", "--name"};

// The upload's user, as flash has it, and the restart prompt.
class UpdateInteraction : public FlashInteraction {
public:
    using FlashInteraction::FlashInteraction;

    // The restart prompt: only on a terminal, never with --yes. Enter typed during the upload
    // does not count.
    bool confirmRestart()
    {
        if (assumeYes())
            return true;
        endBar();
        discardTypedInput();
        std::fprintf(stderr, "%.*s ", static_cast<int>(kRestartPrompt.size()), kRestartPrompt.data());
        std::fflush(stderr);
        const bool confirmed = waitForEnter();
        std::fputs(confirmed ? "\n" : "\n\n", stderr);
        return confirmed;
    }
};

// "--wait SECONDS": whole seconds, 0 ... one day.
std::optional<int> parseWait(const std::string* text)
{
    if (text == nullptr)
        return static_cast<int>(kDefaultRestartWait.count());
    if (text->empty() || text->size() > 5 || text->find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int seconds = std::atoi(text->c_str());
    if (seconds > kMaxWaitSeconds)
        return std::nullopt;
    return seconds;
}

// The last line of every outcome once the backup exists.
int endWithBackup(int status, std::string_view what, const std::string& backup)
{
    std::fprintf(stderr, "moravel-cli: %.*s; backup of the parameters: %s\n", static_cast<int>(what.size()),
                 what.data(), backup.c_str());
    return status;
}

// The steps' user: the upload's prompt and progress bar, the sweeps' messages, the restart
// prompt and what the steps leave to say.
class CliUpdate : public UpdateFrontEnd {
public:
    explicit CliUpdate(bool assumeYes) : m_upload(assumeYes) {}

    UserInteraction& interaction(UpdateStep step) override
    {
        // The progress bar is the upload's only.
        return step == UpdateStep::Upload ? static_cast<UserInteraction&>(m_upload) : m_sweeps;
    }
    void backupSaved(const std::string& path) override
    {
        std::fprintf(stderr, "moravel-cli: the controller's parameters are saved in %s\n", path.c_str());
    }
    bool confirmRestart(int port, std::chrono::seconds wait) override
    {
        if (!m_upload.confirmRestart())
            return false;
        std::fprintf(stderr, "moravel-cli: waiting up to %lld s for the controller on COM%d\n",
                     static_cast<long long>(wait.count()), port);
        std::fflush(stderr);
        return true;
    }

private:
    UpdateInteraction m_upload;
    StderrInteraction m_sweeps;
};

// The exit status and the closing lines of an update's outcome.
int report(const UpdateOutcome& outcome, const CMoravelSDIApp& app, int waitSeconds)
{
    const std::string& backupPath = outcome.backupPath;
    switch (outcome.step.value_or(UpdateStep::Verify)) {
    case UpdateStep::Backup:
        switch (outcome.end) {
        case UpdateEnd::NoConnection:
            return noConnection(app);
        case UpdateEnd::KeysFailed:
            std::fprintf(stderr, "moravel-cli: %d key(s) could not be read; no backup written, nothing flashed\n",
                         outcome.failedKeys);
            return kExitKeysFailed;
        case UpdateEnd::LinkLost:
        case UpdateEnd::Stopped:
            std::fputs("moravel-cli: the read did not finish; no backup written, nothing flashed\n", stderr);
            return outcome.end == UpdateEnd::LinkLost ? kExitNoConnection : kExitStopped;
        default:
            if (!outcome.backupError.empty())
                std::fprintf(stderr, "moravel-cli: %s\n", outcome.backupError.c_str());
            return fail("no backup written; nothing flashed");
        }
    case UpdateStep::Upload:
        switch (outcome.end) {
        case UpdateEnd::NoConnection:
            noConnection(app);
            return endWithBackup(kExitNoConnection, "nothing flashed", backupPath);
        case UpdateEnd::NoBootloader:
            return endWithBackup(kExitNoBootloader, "nothing flashed", backupPath);
        case UpdateEnd::ChecksumMismatch:
            return endWithBackup(kExitChecksum, "the firmware was not written correctly", backupPath);
        case UpdateEnd::LinkLost:
            return endWithBackup(kExitNoConnection, "the upload did not finish", backupPath);
        default:
            if (outcome.upload == UploadResult::Declined)
                return endWithBackup(kExitStopped, "upload cancelled, nothing sent", backupPath);
            return endWithBackup(kExitStopped, "the upload did not finish", backupPath);
        }
    case UpdateStep::Restart:
        if (outcome.end == UpdateEnd::Stopped)
            return endWithBackup(kExitStopped, "stopped before the parameters were restored", backupPath);
        noConnection({outcome.port});
        return endWithBackup(kExitNoConnection,
                             "the controller did not answer within " + std::to_string(waitSeconds) + " s", backupPath);
    case UpdateStep::Restore:
    case UpdateStep::Verify:
        break;
    }

    switch (outcome.end) {
    case UpdateEnd::LinkLost:
        return endWithBackup(kExitNoConnection, "the connection was lost while restoring", backupPath);
    case UpdateEnd::Stopped:
        return endWithBackup(kExitStopped, "stopped while restoring", backupPath);
    case UpdateEnd::NoConnection:
        noConnection({outcome.port});
        return endWithBackup(kExitNoConnection, "the connection was lost while restoring", backupPath);
    default:
        break;
    }
    if (!printDifferences(outcome.differences, false))
        return endWithBackup(kExitError, "cannot write to stdout", backupPath);
    if (outcome.end == UpdateEnd::KeysFailed)
        return endWithBackup(kExitKeysFailed, std::to_string(outcome.failedKeys) + " key(s) failed while restoring",
                             backupPath);
    if (outcome.end == UpdateEnd::Differences)
        return endWithBackup(kExitDifferences,
                             std::to_string(outcome.differences.size()) +
                                 " key(s) differ from the backup after restoring (listed on stdout)",
                             backupPath);
    return endWithBackup(kExitSuccess, "firmware updated, the controller holds its parameters again", backupPath);
}

int run(std::span<const std::string> args)
{
    Arguments parsed;
    if (!splitArguments(args, kFlags, parsed, kValued))
        return kExitError;
    if (parsed.has("--help")) {
        printCommandHelp("update");
        return kExitSuccess;
    }
    installStopHandlers();
    if (parsed.operands.size() != 1)
        return usageError("update: expected one FIRMWARE file");
    const std::string& firmware = parsed.operands.front();
    const std::optional<int> waitSeconds = parseWait(parsed.value("--wait"));
    if (!waitSeconds)
        return usageError("update: --wait takes whole seconds from 0 to 86400, not '" + *parsed.value("--wait") + "'");
    const bool assumeYes = parsed.has("--yes");
    if (!assumeYes && !stdinIsTerminal())
        return usageError("update: stdin is not a terminal; confirm the prompts with --yes");
    const std::string* givenBackup = parsed.value("--backup");
    if (givenBackup != nullptr && namesSameFile(*givenBackup, firmware))
        return fail("--backup '" + *givenBackup + "' is the firmware file itself; choose another backup file");
    CMoravelSDIApp app;
    if (const auto done = setUpConnection(parsed, app))
        return *done;

    CliUpdate frontEnd(assumeYes);
    const auto image = readFirmwareFile(firmware, frontEnd.interaction(UpdateStep::Upload));
    if (!image)
        return kExitError;
    CMoravelSDIDoc backup;
    if (const auto done = renewFromTemplate(backup, frontEnd.interaction(UpdateStep::Backup)))
        return *done;

    UpdateOptions options;
    if (givenBackup != nullptr)
        options.backupPath = *givenBackup;
    options.restartWait = std::chrono::seconds(*waitSeconds);
    const UpdateOutcome outcome = runFirmwareUpdate(app, backup, *image, options, frontEnd);
    return report(outcome, app, *waitSeconds);
}

} // namespace
} // namespace moravel::cli::updating

namespace moravel::cli {

int runUpdate(std::span<const std::string> args) { return updating::run(args); }

} // namespace moravel::cli

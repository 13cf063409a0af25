// update: a firmware upload that keeps the controller's parameters.
//
// A new firmware may start from factory values, so the controller's set is read and saved
// first, then the firmware is uploaded as flash does, the user restarts the controller out of
// its bootloader, and the saved set is sent back and read back for comparison. Whatever
// happens after the backup was saved, the last line on stderr names the backup file.

#include "app/controller/moravel_app.h"
#include "app/controller/port_diagnosis.h"
#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "cli/controller_session.h"
#include "cli/stop_signal.h"
#include "link/common/port_map.h"
#include "params/cp1252.h"
#include "params/file_io.h"
#include "params/text_util.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <poll.h>
#include <pwd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// The helpers live in a namespace of their own: in a unity build they meet the other
// commands' helpers of the same names.
namespace moravel::cli::updating {
namespace {

using Clock = std::chrono::steady_clock;

inline constexpr std::string_view RestartPrompt =
    "Starten Sie den Controller neu (Reset) und bestätigen Sie mit Enter.";
// Between two open attempts while the controller restarts.
constexpr std::chrono::seconds kReconnectInterval{2};
constexpr int kDefaultWaitSeconds = 60;
constexpr int kMaxWaitSeconds = 86400;
// How often a wait looks for a stop request.
constexpr std::chrono::milliseconds kStopPoll{50};

constexpr std::string_view kFlags[] = {"--yes", "--auto"};
constexpr std::string_view kValued[] = {"--backup", "--wait", "--port", "--name"};

// Swallows the messages of the open attempts while the controller restarts.
class QuietOpen : public UserInteraction {
public:
    explicit QuietOpen(const UserInteraction& ui) : m_ui(ui) {}
    void showMessage(std::string_view) override {}
    bool stopRequested() const override { return m_ui.stopRequested(); }

private:
    const UserInteraction& m_ui;
};

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
        ::tcflush(STDIN_FILENO, TCIFLUSH);
        std::fprintf(stderr, "%.*s ", static_cast<int>(RestartPrompt.size()), RestartPrompt.data());
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
        return kDefaultWaitSeconds;
    if (text->empty() || text->size() > 5 || text->find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int seconds = std::atoi(text->c_str());
    if (seconds > kMaxWaitSeconds)
        return std::nullopt;
    return seconds;
}

// The controller name as part of a file name: blanks at both ends trimmed, every character
// but letters, digits, '-', '_' and an inner '.' replaced by '_'.
std::string fileNamePart(std::string_view name)
{
    const std::size_t first = name.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return "controller";
    name = name.substr(first, name.find_last_not_of(' ') - first + 1);
    std::string part;
    for (const char c : name) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || (c == '.' && !part.empty());
        part += safe ? c : '_';
    }
    return part;
}

// $XDG_DATA_HOME/moravel/backups (~/.local/share when it is unset or not absolute).
std::filesystem::path backupFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return std::filesystem::path(data) / "moravel" / "backups";
    const char* home = std::getenv("HOME");
    std::string homeDir = home != nullptr && home[0] == '/' ? home : "";
    if (homeDir.empty())
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
            homeDir = pw->pw_dir;
    return std::filesystem::path(homeDir) / ".local" / "share" / "moravel" / "backups";
}

// <folder>/<name>-<YYYYmmdd-HHMMSS>.ncp, the folders created; a second backup within the same
// second gets "-2", "-3", ... rather than replacing the first. Empty when the folder cannot be
// made.
std::string defaultBackupPath(std::string_view controllerName)
{
    const std::filesystem::path folder = backupFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "moravel-cli: cannot create the backup folder '%s': %s\n", folder.c_str(),
                     error.message().c_str());
        return {};
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = fileNamePart(controllerName) + "-" + stamp;
    std::filesystem::path path = folder / (stem + ".ncp");
    for (int n = 2; std::filesystem::exists(path, error); ++n)
        path = folder / (stem + "-" + std::to_string(n) + ".ncp");
    return path.string();
}

// The last line of every outcome once the backup exists.
int endWithBackup(int status, std::string_view what, const std::string& backup)
{
    std::fprintf(stderr, "moravel-cli: %.*s; backup of the parameters: %s\n", static_cast<int>(what.size()),
                 what.data(), backup.c_str());
    return status;
}

// Open attempts on COM<port>, one every kReconnectInterval from now, until one succeeds or
// waitSeconds have passed. Each attempt is one status request (an open by port number).
enum class Reconnect { Connected, TimedOut, Stopped };
Reconnect reconnect(CMoravelSDIApp& app, int port, int waitSeconds, const UserInteraction& ui)
{
    app.connectionMode = 1;
    std::snprintf(app.m_context.portName, sizeof app.m_context.portName, "COM%d", port);
    QuietOpen quiet(ui);
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(waitSeconds);
    for (int attempt = 1;; ++attempt) {
        if (app.OpenConnection(quiet))
            return Reconnect::Connected;
        const Clock::time_point next = std::min(start + attempt * kReconnectInterval, deadline);
        while (Clock::now() < next) {
            if (ui.stopRequested())
                return Reconnect::Stopped;
            std::this_thread::sleep_for(std::min<Clock::duration>(kStopPoll, next - Clock::now()));
        }
        if (next >= deadline)
            return Reconnect::TimedOut;
    }
}

std::string keyText(const ParameterInfo& p)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", p.key.value);
    return text;
}

// The differing keys on stdout, as diff lists them.
bool printDifferences(const ComparisonResult& result)
{
    std::string out;
    for (const ParameterDifference& d : result.differences)
        out += keyText(*d.parameter) + "\t" + std::string(d.parameter->itemMacro) + "\t" + cp1252ToUtf8(d.setValue) +
               "\t" + cp1252ToUtf8(d.controllerValue) + "\n";
    return writeStdout(out);
}

int run(std::span<const std::string> args)
{
    Arguments parsed;
    if (!splitArguments(args, kFlags, parsed, kValued))
        return ExitError;
    if (parsed.has("--help")) {
        printCommandHelp("update");
        return ExitSuccess;
    }
    installStopHandlers();
    if (parsed.operands.size() != 1)
        return usageError("update: expected one FIRMWARE file");
    const std::string& firmware = parsed.operands.front();
    const std::optional<int> waitSeconds = parseWait(parsed.value("--wait"));
    if (!waitSeconds)
        return usageError("update: --wait takes whole seconds from 0 to 86400, not '" + *parsed.value("--wait") + "'");
    const bool assumeYes = parsed.has("--yes");
    if (!assumeYes && ::isatty(STDIN_FILENO) == 0)
        return usageError("update: stdin is not a terminal; confirm the prompts with --yes");
    const std::string* givenBackup = parsed.value("--backup");
    if (givenBackup != nullptr && namesSameFile(*givenBackup, firmware))
        return fail("--backup '" + *givenBackup + "' is the firmware file itself; choose another backup file");
    CMoravelSDIApp app;
    if (const auto done = setUpConnection(parsed, app))
        return *done;

    UpdateInteraction ui(assumeYes);
    const auto image = readFirmwareFile(firmware, ui);
    if (!image)
        return ExitError;

    // 1. The controller's set, read into the template as the read command does.
    StderrInteraction sweepUi; // the progress bar is the upload's only
    CMoravelSDIDoc backup;
    if (const auto done = renewFromTemplate(backup, sweepUi))
        return *done;
    const SweepResult read = app.readParameters(backup, sweepUi);
    if (!read.connected)
        return noConnection(app);
    if (read.failedKeys > 0 || read.linkLost || read.stopped) {
        app.CloseConnection(sweepUi);
        if (read.failedKeys > 0)
            std::fprintf(stderr, "moravel-cli: %d key(s) could not be read; no backup written, nothing flashed\n",
                         read.failedKeys);
        else
            std::fputs("moravel-cli: the read did not finish; no backup written, nothing flashed\n", stderr);
        return read.failedKeys > 0 ? ExitKeysFailed : read.linkLost ? ExitNoConnection : ExitStopped;
    }

    // 2. The backup.
    const std::string backupPath =
        givenBackup != nullptr ? *givenBackup : defaultBackupPath(backup.m_parameterSet.controllerName);
    if (backupPath.empty() || !backup.SaveToFile(backupPath, sweepUi)) {
        app.CloseConnection(sweepUi);
        return fail("no backup written; nothing flashed");
    }
    std::fprintf(stderr, "moravel-cli: the controller's parameters are saved in %s\n", backupPath.c_str());

    // 3. The upload, as flash does it; it closes the connection.
    switch (app.UploadFirmware(*image, ui)) {
    case UploadResult::Done:
        break;
    case UploadResult::NoConnection:
        noConnection(app);
        return endWithBackup(ExitNoConnection, "nothing flashed", backupPath);
    case UploadResult::BootloaderNotFound:
        return endWithBackup(ExitNoBootloader, "nothing flashed", backupPath);
    case UploadResult::ChecksumMismatch:
        return endWithBackup(ExitChecksum, "the firmware was not written correctly", backupPath);
    case UploadResult::Declined:
        return endWithBackup(ExitStopped, "upload cancelled, nothing sent", backupPath);
    case UploadResult::LinkLost:
        return endWithBackup(ExitNoConnection, "the upload did not finish", backupPath);
    case UploadResult::Stopped:
    case UploadResult::Cancelled:
        return endWithBackup(ExitStopped, "the upload did not finish", backupPath);
    }

    // 4. The user restarts the controller out of its bootloader; it is back once it answers on
    // the port of the upload.
    const int port = portNumberForMode1(app.m_context.portName);
    if (!ui.confirmRestart())
        return endWithBackup(ExitStopped, "stopped before the parameters were restored", backupPath);
    std::fprintf(stderr, "moravel-cli: waiting up to %d s for the controller on COM%d\n", *waitSeconds, port);
    std::fflush(stderr);
    switch (reconnect(app, port, *waitSeconds, ui)) {
    case Reconnect::Connected:
        break;
    case Reconnect::Stopped:
        return endWithBackup(ExitStopped, "stopped before the parameters were restored", backupPath);
    case Reconnect::TimedOut:
        noConnection({port});
        return endWithBackup(ExitNoConnection,
                             "the controller did not answer within " + std::to_string(*waitSeconds) + " s", backupPath);
    }

    // 5. The backup back into the controller, then read back.
    const SweepResult sent = app.transferParameters(backup, sweepUi);
    ComparisonResult check;
    if (!sent.linkLost && !sent.stopped)
        check = app.compareWithController(backup.m_parameterSet, sweepUi);
    app.CloseConnection(sweepUi);
    if (sent.linkLost || check.linkLost)
        return endWithBackup(ExitNoConnection, "the connection was lost while restoring", backupPath);
    if (sent.stopped || check.stopped)
        return endWithBackup(ExitStopped, "stopped while restoring", backupPath);
    if (!printDifferences(check))
        return endWithBackup(ExitError, "cannot write to stdout", backupPath);

    // 6. The outcome.
    const int failedKeys = sent.failedKeys + check.failedKeys;
    if (failedKeys > 0)
        return endWithBackup(ExitKeysFailed, std::to_string(failedKeys) + " key(s) failed while restoring", backupPath);
    if (!check.differences.empty())
        return endWithBackup(ExitDifferences,
                             std::to_string(check.differences.size()) +
                                 " key(s) differ from the backup after restoring (listed on stdout)",
                             backupPath);
    return endWithBackup(ExitSuccess, "firmware updated, the controller holds its parameters again", backupPath);
}

} // namespace
} // namespace moravel::cli::updating

namespace moravel::cli {

int runUpdate(std::span<const std::string> args) { return updating::run(args); }

} // namespace moravel::cli

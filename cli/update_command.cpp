// update: a firmware upload that keeps the controller's parameters.
//
// A new firmware may start from factory values, so the controller's set is read and saved
// first, then the firmware is uploaded as flash does, the user restarts the controller out of
// its bootloader, and the saved set is sent back and read back for comparison. Whatever
// happens after the backup was saved, the last line on stderr names the backup file.

#include "app/controller/moravel_app.h"
#include "app/controller/port_diagnosis.h"
#include "app/controller/template_file.h"
#include "cli/cli_interaction.h"
#include "cli/commands.h"
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

// A fresh document is never modified, so these are never asked.
class NoPrompts : public DocumentPrompts {
public:
    SaveAnswer askSaveChanges(const CMoravelSDIDoc&) override { return SaveAnswer::No; }
    std::optional<std::string> chooseSavePath(const std::string&) override { return std::nullopt; }
};

// Swallows the messages of the open attempts while the controller restarts.
class QuietOpen : public UserInteraction {
public:
    explicit QuietOpen(const UserInteraction& ui) : m_ui(ui) {}
    void showMessage(std::string_view) override {}
    bool stopRequested() const override { return m_ui.stopRequested(); }

private:
    const UserInteraction& m_ui;
};

// Waits for a line on stdin; false on end of input (Ctrl-D) or a stop request.
bool waitForEnter(const UserInteraction& ui)
{
    std::string line;
    for (;;) {
        if (ui.stopRequested())
            return false;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(kStopPoll.count()));
        if (ready <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        if (std::memchr(buffer, '\n', static_cast<std::size_t>(n)) != nullptr)
            return true;
    }
}

// The upload's user, as flash has it: the bootloader prompt, the progress on stderr (a bar on
// a terminal, plain lines otherwise), and the restart prompt.
class UpdateInteraction : public StderrInteraction {
public:
    explicit UpdateInteraction(bool assumeYes) : m_assumeYes(assumeYes), m_terminal(::isatty(STDERR_FILENO) != 0) {}

    void showMessage(std::string_view text) override
    {
        closeBar();
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
        const bool confirmed = waitForEnter(*this);
        std::fputs(confirmed ? "\n" : "\n\n", stderr);
        return confirmed;
    }

    // The restart prompt: only on a terminal, never with --yes. Enter typed during the upload
    // does not count.
    bool confirmRestart()
    {
        if (m_assumeYes)
            return true;
        ::tcflush(STDIN_FILENO, TCIFLUSH);
        std::fprintf(stderr, "%.*s ", static_cast<int>(RestartPrompt.size()), RestartPrompt.data());
        std::fflush(stderr);
        const bool confirmed = waitForEnter(*this);
        std::fputs(confirmed ? "\n" : "\n\n", stderr);
        return confirmed;
    }

    void reportProgress(std::int64_t done, std::int64_t total) override
    {
        const auto now = Clock::now();
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

private:
    void closeBar()
    {
        if (m_barOpen)
            std::fputs("\n", stderr);
        m_barOpen = false;
    }

    bool m_assumeYes;
    bool m_terminal;
    bool m_started = false;
    bool m_barOpen = false;
    Clock::time_point m_start;
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
        std::snprintf(app.m_context.portName, sizeof app.m_context.portName, "COM%d", n);
    }
    if (name != nullptr) {
        const Cp1252Result bytes = utf8ToCp1252(*name);
        if (!bytes.ok())
            return usageError("--name: the name has characters that the controller cannot hold");
        if (bytes.bytes.size() > MaxControllerNameChars)
            return usageError("--name: the controller name has at most 16 characters");
        app.connectionMode = 0;
        const auto field = blankPaddedName(bytes.bytes);
        std::memcpy(app.m_context.controllerName, field.data(), field.size());
        app.m_context.controllerName[field.size()] = '\0';
    }
    return std::nullopt;
}

// After the open's own message: what the ports tried look like from here.
int noConnection(const std::vector<int>& tried)
{
    for (const std::string& line : explainFailedOpen(tried))
        std::fprintf(stderr, "moravel-cli: %s\n", line.c_str());
    return ExitNoConnection;
}

std::vector<int> portsTried(const CMoravelSDIApp& app)
{
    if (app.connectionMode == 1)
        return {portNumberForMode1(app.m_context.portName)};
    return {1, 2, 3, 4, 5, 6, 7, 8};
}

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
    NoPrompts prompts;
    const std::string templatePath = findTemplateFile();
    switch (backup.newFromTemplate(templatePath, prompts, sweepUi)) {
    case CMoravelSDIDoc::OpenResult::Loaded:
        break;
    case CMoravelSDIDoc::OpenResult::BuiltIn:
        std::fprintf(stderr, "moravel-cli: no template file %s found; using the built-in template\n",
                     std::string(TemplateFileName).c_str());
        break;
    default:
        return fail("cannot read the template file '" + templatePath + "'");
    }
    const SweepResult read = app.readParameters(backup, sweepUi);
    if (!read.connected)
        return noConnection(portsTried(app));
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
        noConnection(portsTried(app));
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

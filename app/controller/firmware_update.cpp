#include "app/controller/firmware_update.h"

#include "app/controller/moravel_app.h"
#include "app/controller/platform_places.h"
#include "app/controller/template_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace moravel {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks for a stop request.
constexpr std::chrono::milliseconds kStopPoll{50};

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

// Runs one step between the front end's stepStarted and stepEnded; true when it succeeded.
template <typename Step>
bool runStep(UpdateFrontEnd& frontEnd, UpdateStep step, Step body)
{
    frontEnd.stepStarted(step);
    const bool succeeded = body();
    frontEnd.stepEnded(step, succeeded);
    return succeeded;
}

// A sweep that ran over every key (some of which may have failed).
bool ranThrough(const SweepResult& sweep) { return sweep.connected && !sweep.linkLost && !sweep.stopped; }

UpdateEnd uploadEnd(UploadResult result)
{
    switch (result) {
    case UploadResult::Done:
        return UpdateEnd::Done;
    case UploadResult::NoConnection:
        return UpdateEnd::NoConnection;
    case UploadResult::BootloaderNotFound:
        return UpdateEnd::NoBootloader;
    case UploadResult::ChecksumMismatch:
        return UpdateEnd::ChecksumMismatch;
    case UploadResult::Stopped:
        return UpdateEnd::UploadBroken;
    case UploadResult::LinkLost:
        return UpdateEnd::LinkLost;
    case UploadResult::Declined:
    case UploadResult::Cancelled:
        break;
    }
    return UpdateEnd::Stopped;
}

} // namespace

std::filesystem::path backupFolder() { return platform::userDataFolder() / "moravel" / "backups"; }

std::string backupNamePart(std::string_view name)
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

std::string defaultBackupPath(std::string_view controllerName, std::string& error)
{
    const std::filesystem::path folder = backupFolder();
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    if (code) {
        error = "cannot create the backup folder '" + folder.string() + "': " + code.message();
        return {};
    }
    const std::time_t now = std::time(nullptr);
    const std::tm local = platform::localTime(now);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = backupNamePart(controllerName) + "-" + stamp;
    std::filesystem::path path = folder / (stem + ".ncp");
    for (int n = 2; std::filesystem::exists(path, code); ++n)
        path = folder / (stem + "-" + std::to_string(n) + ".ncp");
    return path.string();
}

CMoravelSDIDoc::OpenResult loadTemplate(CMoravelSDIDoc& doc, UserInteraction& ui)
{
    NoPrompts prompts;
    return doc.newFromTemplate(findTemplateFile(), prompts, ui);
}

UpdateAdvice UpdateOutcome::next() const
{
    if (end == UpdateEnd::Done)
        return UpdateAdvice::None;
    if (!step)
        return UpdateAdvice::CheckAndRestore;
    switch (*step) {
    case UpdateStep::Backup:
        return UpdateAdvice::None;
    case UpdateStep::Upload:
        return end == UpdateEnd::ChecksumMismatch || end == UpdateEnd::UploadBroken || end == UpdateEnd::LinkLost
                   ? UpdateAdvice::UploadAgain
                   : UpdateAdvice::None;
    case UpdateStep::Restart:
    case UpdateStep::Restore:
    case UpdateStep::Verify:
        break;
    }
    return UpdateAdvice::RestoreBackup;
}

Reconnect waitForController(CMoravelSDIApp& app, int port, std::chrono::seconds wait, const UserInteraction& ui)
{
    QuietOpen quiet(ui);
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + wait;
    for (int attempt = 1;; ++attempt) {
        if (app.OpenConnectionOnPort(port, quiet))
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

UpdateOutcome restoreParameters(CMoravelSDIApp& app, CMoravelSDIDoc& doc, UpdateFrontEnd& frontEnd)
{
    UpdateOutcome outcome;
    outcome.restoreStarted = true;
    SweepResult sent;
    ComparisonResult check;
    const auto end = [&](std::optional<UpdateStep> step, UpdateEnd why, bool stopped) {
        app.CloseConnection(frontEnd.interaction(UpdateStep::Verify));
        outcome.step = step;
        outcome.end = why;
        outcome.stopped = stopped;
        outcome.failedKeys = sent.failedKeys + check.failedKeys;
        outcome.differences = std::move(check.differences);
        return outcome;
    };

    runStep(frontEnd, UpdateStep::Restore, [&] {
        sent = app.transferParameters(doc, frontEnd.interaction(UpdateStep::Restore));
        return ranThrough(sent) && sent.failedKeys == 0;
    });
    if (!sent.connected)
        return end(UpdateStep::Restore, UpdateEnd::NoConnection, false);
    if (sent.linkLost)
        return end(UpdateStep::Restore, UpdateEnd::LinkLost, false);
    if (sent.stopped)
        return end(UpdateStep::Restore, UpdateEnd::Stopped, true);

    // Keys that failed to go out are still read back: the comparison shows what the
    // controller holds now.
    if (!frontEnd.goOn(UpdateStep::Verify))
        return end(UpdateStep::Verify, UpdateEnd::Stopped, true);
    runStep(frontEnd, UpdateStep::Verify, [&] {
        check = app.compareWithController(doc.m_parameterSet, frontEnd.interaction(UpdateStep::Verify));
        return check.connected && !check.linkLost && !check.stopped && sent.failedKeys + check.failedKeys == 0 &&
               check.differences.empty();
    });
    if (check.linkLost)
        return end(UpdateStep::Verify, UpdateEnd::LinkLost, false);
    // Not connected after a clean transfer: the read-back did not take place.
    if (!check.connected || check.stopped)
        return end(UpdateStep::Verify, UpdateEnd::Stopped, true);
    if (sent.failedKeys + check.failedKeys > 0)
        return end(std::nullopt, UpdateEnd::KeysFailed, false);
    return end(std::nullopt, check.differences.empty() ? UpdateEnd::Done : UpdateEnd::Differences, false);
}

UpdateOutcome runFirmwareUpdate(CMoravelSDIApp& app, CMoravelSDIDoc& backup, std::span<const std::uint8_t> image,
                                const UpdateOptions& options, UpdateFrontEnd& frontEnd)
{
    UpdateOutcome outcome;
    const auto end = [&](UpdateStep step, UpdateEnd why, bool stopped) {
        app.CloseConnection(frontEnd.interaction(step));
        outcome.step = step;
        outcome.end = why;
        outcome.stopped = stopped;
        return outcome;
    };

    // Sichern: the whole set, or nothing is flashed.
    SweepResult read;
    const bool saved = runStep(frontEnd, UpdateStep::Backup, [&] {
        UserInteraction& ui = frontEnd.interaction(UpdateStep::Backup);
        read = app.readParameters(backup, ui);
        if (!ranThrough(read) || read.failedKeys > 0)
            return false;
        std::string path = options.backupPath;
        if (path.empty())
            path = defaultBackupPath(backup.m_parameterSet.controllerName, outcome.backupError);
        if (path.empty() || !backup.SaveToFile(path, ui))
            return false;
        outcome.backupPath = path;
        frontEnd.backupSaved(path);
        return true;
    });
    if (!saved) {
        outcome.failedKeys = read.failedKeys;
        const UpdateEnd why = !read.connected      ? UpdateEnd::NoConnection
                              : read.failedKeys > 0 ? UpdateEnd::KeysFailed
                              : read.linkLost       ? UpdateEnd::LinkLost
                              : read.stopped        ? UpdateEnd::Stopped
                                                    : UpdateEnd::BackupNotSaved;
        return end(UpdateStep::Backup, why, read.stopped);
    }

    // Hochladen: UploadFirmware closes the connection.
    if (!frontEnd.goOn(UpdateStep::Upload))
        return end(UpdateStep::Upload, UpdateEnd::Stopped, true);
    if (!runStep(frontEnd, UpdateStep::Upload, [&] {
            outcome.upload = app.UploadFirmware(image, frontEnd.interaction(UpdateStep::Upload));
            return outcome.upload == UploadResult::Done;
        })) {
        const UpdateEnd why = uploadEnd(outcome.upload);
        return end(UpdateStep::Upload, why, why == UpdateEnd::Stopped);
    }

    // Neustart: the user restarts the controller; it is back once it answers on the port of
    // the upload.
    outcome.port = portNumberForMode1(app.m_context.portName);
    if (!frontEnd.goOn(UpdateStep::Restart))
        return end(UpdateStep::Restart, UpdateEnd::Stopped, true);
    Reconnect reconnect = Reconnect::Stopped;
    if (!runStep(frontEnd, UpdateStep::Restart, [&] {
            if (frontEnd.confirmRestart(outcome.port, options.restartWait))
                reconnect = waitForController(app, outcome.port, options.restartWait,
                                              frontEnd.interaction(UpdateStep::Restart));
            return reconnect == Reconnect::Connected;
        })) {
        const bool timedOut = reconnect == Reconnect::TimedOut;
        return end(UpdateStep::Restart, timedOut ? UpdateEnd::NoAnswer : UpdateEnd::Stopped, !timedOut);
    }

    // Zurückschreiben and Prüfen.
    if (!frontEnd.goOn(UpdateStep::Restore))
        return end(UpdateStep::Restore, UpdateEnd::Stopped, true);
    UpdateOutcome restored = restoreParameters(app, backup, frontEnd);
    restored.upload = outcome.upload;
    restored.backupPath = std::move(outcome.backupPath);
    restored.port = outcome.port;
    return restored;
}

} // namespace moravel

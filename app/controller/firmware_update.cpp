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
constexpr std::chrono::milliseconds StopPoll{50};

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

// Runs one step between the front end's stepStarted and stepEnded; false when the front end
// wants to stop in front of it (the step then does not start).
template <typename Step>
bool runStep(UpdateFrontEnd& frontEnd, UpdateStep step, bool first, Step body)
{
    if (!first && !frontEnd.goOn(step))
        return false;
    frontEnd.stepStarted(step);
    frontEnd.stepEnded(step, body());
    return true;
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

Reconnect waitForController(CMoravelSDIApp& app, int port, std::chrono::seconds wait, const UserInteraction& ui)
{
    app.connectionMode = 1;
    std::snprintf(app.m_context.portName, sizeof app.m_context.portName, "COM%d", port);
    QuietOpen quiet(ui);
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + wait;
    for (int attempt = 1;; ++attempt) {
        if (app.OpenConnection(quiet))
            return Reconnect::Connected;
        const Clock::time_point next = std::min(start + attempt * ReconnectInterval, deadline);
        while (Clock::now() < next) {
            if (ui.stopRequested())
                return Reconnect::Stopped;
            std::this_thread::sleep_for(std::min<Clock::duration>(StopPoll, next - Clock::now()));
        }
        if (next >= deadline)
            return Reconnect::TimedOut;
    }
}

RestoreResult restoreParameters(CMoravelSDIApp& app, CMoravelSDIDoc& doc, UpdateFrontEnd& frontEnd)
{
    RestoreResult result;
    runStep(frontEnd, UpdateStep::Restore, true, [&] {
        result.sent = app.transferParameters(doc, frontEnd.interaction(UpdateStep::Restore));
        return result.sent.connected && !result.sent.linkLost && !result.sent.stopped && result.sent.failedKeys == 0;
    });
    // Keys that failed to go out are still read back: the comparison shows what the
    // controller holds now.
    if (result.sent.connected && !result.sent.linkLost && !result.sent.stopped)
        runStep(frontEnd, UpdateStep::Verify, false, [&] {
            result.check = app.compareWithController(doc.m_parameterSet, frontEnd.interaction(UpdateStep::Verify));
            return result.verified();
        });
    app.CloseConnection(frontEnd.interaction(UpdateStep::Verify));
    return result;
}

UpdateOutcome runFirmwareUpdate(CMoravelSDIApp& app, CMoravelSDIDoc& backup, std::span<const std::uint8_t> image,
                                const UpdateOptions& options, UpdateFrontEnd& frontEnd)
{
    // The wait for the restarted controller opens by port number; the user's connection
    // settings are what the program uses again afterwards.
    struct KeepConnectionSettings {
        CMoravelSDIApp& app;
        int mode = app.connectionMode;
        std::array<char, sizeof app.m_context.portName> port = std::to_array(app.m_context.portName);
        ~KeepConnectionSettings()
        {
            app.connectionMode = mode;
            std::copy(port.begin(), port.end(), app.m_context.portName);
        }
    } keep{app};

    UpdateOutcome outcome;
    const auto fail = [&](UpdateStep step, bool stopped = false) {
        app.CloseConnection(frontEnd.interaction(step));
        outcome.failedStep = step;
        outcome.stopped = stopped;
        return outcome;
    };

    // Sichern: the whole set, or nothing is flashed.
    runStep(frontEnd, UpdateStep::Backup, true, [&] {
        UserInteraction& ui = frontEnd.interaction(UpdateStep::Backup);
        outcome.read = app.readParameters(backup, ui);
        if (!outcome.read.connected || outcome.read.failedKeys > 0 || outcome.read.linkLost || outcome.read.stopped)
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
    if (outcome.backupPath.empty())
        return fail(UpdateStep::Backup, outcome.read.stopped);

    // Hochladen: UploadFirmware closes the connection.
    if (!runStep(frontEnd, UpdateStep::Upload, false, [&] {
            outcome.upload = app.UploadFirmware(image, frontEnd.interaction(UpdateStep::Upload));
            return outcome.upload == UploadResult::Done;
        }))
        return fail(UpdateStep::Upload, true);
    if (outcome.upload != UploadResult::Done)
        return fail(UpdateStep::Upload,
                    outcome.upload == UploadResult::Declined || outcome.upload == UploadResult::Cancelled);

    // Neustart: the user restarts the controller; it is back once it answers on the port of
    // the upload.
    outcome.port = portNumberForMode1(app.m_context.portName);
    bool confirmed = true;
    if (!runStep(frontEnd, UpdateStep::Restart, false, [&] {
            confirmed = frontEnd.confirmRestart(outcome.port, options.restartWait);
            if (confirmed)
                outcome.reconnect = waitForController(app, outcome.port, options.restartWait,
                                                      frontEnd.interaction(UpdateStep::Restart));
            return confirmed && outcome.reconnect == Reconnect::Connected;
        }))
        return fail(UpdateStep::Restart, true);
    if (!confirmed || outcome.reconnect != Reconnect::Connected)
        return fail(UpdateStep::Restart, !confirmed || outcome.reconnect == Reconnect::Stopped);

    // Zurückschreiben and Prüfen.
    if (!frontEnd.goOn(UpdateStep::Restore))
        return fail(UpdateStep::Restore, true);
    outcome.restore = restoreParameters(app, backup, frontEnd);
    const RestoreResult& r = outcome.restore;
    if (!r.sent.connected || r.sent.linkLost || r.sent.stopped) {
        outcome.failedStep = UpdateStep::Restore;
        outcome.stopped = r.sent.stopped;
    } else if (!r.check.connected || r.check.linkLost || r.check.stopped) {
        // Not connected after a clean transfer: the user stopped in front of the read-back.
        outcome.failedStep = UpdateStep::Verify;
        outcome.stopped = !r.check.linkLost;
    }
    return outcome;
}

} // namespace moravel

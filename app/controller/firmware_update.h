#pragma once
// A firmware upload that keeps the controller's parameters, and the restore of a saved set.
//
// A new firmware may start from factory values, so an update reads the controller's set and
// saves it first (Sichern), uploads the firmware (Hochladen), waits until the user has
// restarted the controller out of its bootloader and it answers again (Neustart), sends the
// saved set back (Zurückschreiben) and reads it back for comparison (Prüfen). Nothing is
// flashed before the backup is on disk, and every outcome after that names it.
//
// The steps run on one thread and talk to the user through an UpdateFrontEnd: the window's
// assistant and moravel-cli each provide one. They block for as long as the controller needs.

#include "app/controller/firmware_upload.h"
#include "app/controller/parameter_exchange.h"
#include "app/document/moravel_document.h"
#include "params/user_interaction.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravel {

class CMoravelSDIApp;

enum class UpdateStep : std::uint8_t { Backup, Upload, Restart, Restore, Verify };
inline constexpr std::size_t kUpdateStepCount = 5;
// The steps as the assistant lists them, in UpdateStep order (UTF-8).
inline constexpr std::array<std::string_view, kUpdateStepCount> kUpdateStepNames = {"Sichern", "Hochladen", "Neustart",
                                                                                  "Zurückschreiben", "Prüfen"};

// Between two open attempts while the controller restarts, and how long it is waited for.
inline constexpr std::chrono::seconds kReconnectInterval{2};
inline constexpr std::chrono::seconds kDefaultRestartWait{60};

// Where backups go: $XDG_DATA_HOME/moravel/backups ($HOME/.local/share when XDG_DATA_HOME is
// unset or not absolute).
std::filesystem::path backupFolder();

// The controller name as part of a file name: blanks at both ends trimmed, every character
// but letters, digits, '-', '_' and an inner '.' replaced by '_'; "controller" for no name.
std::string backupNamePart(std::string_view controllerName);

// <backupFolder>/<backupNamePart>-<YYYYmmdd-HHMMSS>.ncp with the folders created; a second
// backup within the same second gets "-2", "-3", ... instead of replacing the first. Empty,
// with error describing why, when the folder cannot be made.
std::string defaultBackupPath(std::string_view controllerName, std::string& error);

// Renews doc from the template file (findTemplateFile), or from the built-in template when
// there is none, without asking anything: doc must be unmodified.
CMoravelSDIDoc::OpenResult loadTemplate(CMoravelSDIDoc& doc, UserInteraction& ui);

// Open attempts on COM<port>, one every kReconnectInterval, until one succeeds or wait has
// passed. Each attempt is one status request. The connection settings are left as they are;
// the attempts' messages are not shown; ui.stopRequested() ends the wait within 50 ms.
enum class Reconnect { Connected, TimedOut, Stopped };
Reconnect waitForController(CMoravelSDIApp& app, int port, std::chrono::seconds wait, const UserInteraction& ui);

// What the assistant and the command-line front end provide. Every call comes from the thread
// that runs the steps.
class UpdateFrontEnd {
public:
    virtual ~UpdateFrontEnd() = default;
    // The user interaction of one step (messages, status texts, progress, stop requests).
    virtual UserInteraction& interaction(UpdateStep step) = 0;
    virtual void stepStarted(UpdateStep /*step*/) {}
    virtual void stepEnded(UpdateStep /*step*/, bool /*succeeded*/) {}
    // Asked before every step but the first; false ends the whole operation there.
    virtual bool goOn(UpdateStep /*next*/) { return true; }
    virtual void backupSaved(const std::string& /*path*/) {}
    // After the upload: the user restarts the controller out of its bootloader and confirms;
    // false ends the update. The controller is then looked for on COM<port> for wait.
    virtual bool confirmRestart(int /*port*/, std::chrono::seconds /*wait*/) { return true; }
};

// Why an update or a restore ended where it did.
enum class UpdateEnd : std::uint8_t {
    Done,             // every step ran; the controller holds the backup's values
    NoConnection,     // the controller could not be opened
    KeysFailed,       // keys could not be read (Sichern), or sent or read back (Zurückschreiben, Prüfen)
    LinkLost,         // the device vanished during the step
    Stopped,          // the user stopped: during a read or the wait, at a prompt, in front of a step
    BackupNotSaved,   // the backup file, or its folder, could not be written
    NoBootloader,     // the bootloader did not answer
    ChecksumMismatch, // the firmware was not written correctly
    UploadBroken,     // a time-out or a failed write ended the upload
    NoAnswer,         // the restarted controller did not answer within the wait
    Differences,      // the read-back found keys that differ from the backup
};

// What the user does next.
enum class UpdateAdvice : std::uint8_t {
    None,            // done, or the controller is as it was
    UploadAgain,     // the firmware is not whole: upload it again, then write the backup back
    RestoreBackup,   // the controller may not hold the backup's values: write the backup back
    CheckAndRestore, // keys failed or differ after the read-back: check them, write the backup back
};

// The verdict of runFirmwareUpdate and restoreParameters.
struct UpdateOutcome {
    // The step that did not finish, or in front of which the user stopped; none when every
    // step ran (end is then Done, KeysFailed or Differences).
    std::optional<UpdateStep> step;
    UpdateEnd end = UpdateEnd::Done;
    bool stopped = false;        // the user stopped it (also with end KeysFailed: "Abbrechen" on a failure)
    int failedKeys = 0;          // of the read (Sichern), or of the transfer and the read-back
    std::vector<ParameterDifference> differences; // of the read-back, also of one that did not finish
    UploadResult upload = UploadResult::Done;     // the upload's own result
    bool restoreStarted = false; // the transfer of the backup began
    std::string backupPath;      // empty until the backup was saved
    std::string backupError;     // why the backup folder could not be made
    int port = 0;                // the port of the upload, on which the controller is awaited

    UpdateAdvice next() const;
};

// Sends every exchanged key of doc (opening the connection if needed), reads them all back and
// compares, then closes the connection (Zurückschreiben, Prüfen). stepEnded says false for a
// step that did not finish cleanly; a verify that found differences ends as not succeeded.
UpdateOutcome restoreParameters(CMoravelSDIApp& app, CMoravelSDIDoc& doc, UpdateFrontEnd& frontEnd);

struct UpdateOptions {
    std::string backupPath; // empty: defaultBackupPath of the controller's name
    std::chrono::seconds restartWait = kDefaultRestartWait;
};

// The five steps. backup holds the template the read starts from (loadTemplate) and receives
// the controller's set. The connection is closed at the end, whatever happened.
UpdateOutcome runFirmwareUpdate(CMoravelSDIApp& app, CMoravelSDIDoc& backup, std::span<const std::uint8_t> image,
                                const UpdateOptions& options, UpdateFrontEnd& frontEnd);

} // namespace moravel

#pragma once
// Commissioning a machine: the controller operations that the calibration of an axis's steps
// per millimetre (Auflösung), the direction check and the taking of the travel range share.
// moravel-cli calibrate and the window's assistant are two front ends of this unit; it talks
// to the user only through UserInteraction (messages, status texts, progress, stop requests).
//
// Everything blocks for as long as the controller needs (every library call takes at least
// 100 ms, a move as long as the axis travels) and uses the application's one connection, so a
// window runs it on its worker thread, one operation at a time. A stop request
// (ui.stopRequested(), for instance the assistant's "Abbrechen") is answered during a move by
// an emergency stop from that same thread.
//
// One round of the calibration, as moravel-cli calibrate runs it:
//
//     ParameterSet controller;                              // scratch: the keys read
//     const auto keys = calibrationKeys(kAxisX);             // Auflösung X, VON, BIS
//     if (!readKeys(app, keys, controller, ui).complete())  // open, mode 1, reads, mode 2
//         return;
//     const AxisMechanics axis = axisMechanics(controller, kAxisX);
//     const CalibrationMove move = calibrationMove(100.0, axis);
//     if (move.refusal != MoveRefusal::None)
//         return;                                            // nothing has moved
//     const MoveResult moved = runMove(app, kAxisX, move.steps, ui);   // waits for the end
//     ... the user measures the travel ...
//     const NewResolution next = newResolution(move.steps, measuredMm);
//     if (!next.accepted)
//         return;                                            // nothing is sent
//     aufloesungKey(kAxisX).floatValue(controller) = next.value;
//     const ParameterInfo* changed[] = {&aufloesungKey(kAxisX)};
//     const KeyChangeResult result = changeKeys(app, controller, changed, ui);  // mode 1 ... 2
//     result.verified();                                     // the controller holds it
//
// The assistant collects its changes in such a scratch set, saves the controller's set with
// backupControllerSet before it sends them with changeKeys, and then copies them into the
// open document with takeIntoDocument.

#include "app/controller/parameter_exchange.h"
#include "params/parameter_table.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravel {

class CMoravelSDIApp;
class CMoravelSDIDoc;
class UserInteraction;

// The axis letters in axis order (kAxisX ... kAxisC).
inline constexpr std::string_view kAxisLetters = "XYZC";

// The axis of "X", "Y", "Z" or "C" (also lower case); nothing for any other text.
std::optional<int> axisOfLetter(std::string_view letter);

// The Mechanik keys of commissioning.
inline constexpr std::uint16_t kAufloesungKey = 0x0400; // + axis: LBYTE_MECHANIK_AUFLOESUNG_<axis>_FLOAT
inline constexpr std::uint16_t kRichtungsumkehrKey = 0x0408;
inline constexpr std::uint16_t kVerfahrbereichVonKey = 0x0409;
inline constexpr std::uint16_t kVerfahrbereichBisKey = 0x040A;

// The bounds of a resolution (steps/mm), as the file reader accepts it.
inline constexpr double kMinAufloesung = 0.1;
inline constexpr double kMaxAufloesung = 999.0;

// The table row of the Auflösung key of an axis, and of any key (which must exist).
const ParameterInfo& aufloesungKey(int axis);
const ParameterInfo& parameterRow(std::uint16_t key);

// ---- Single keys between mode 1 and mode 2 ---------------------------------------------

// Reads keys into set, in the order given: open if needed, mode 1, one ParameterLesen per
// key, mode 2 (the road of aroundSweep: status texts, busy, a failed key's read message,
// stops, a lost link with its one message). set's other values stay as they are.
struct KeyReadResult {
    SweepResult sweep;
    bool complete() const { return sweep.connected && sweep.failedKeys == 0 && !sweep.linkLost && !sweep.stopped; }
};
KeyReadResult readKeys(CMoravelSDIApp& app, std::span<const ParameterInfo* const> keys, ParameterSet& set,
                       UserInteraction& ui);

// Sends the values that `values` holds for keys (ParameterAendern_* by each key's shape) and
// reads each key back, all between one mode 1 and mode 2; a key that failed to go out is
// still read back, so the comparison shows what the controller holds. Nothing else is sent.
struct KeyChangeResult {
    SweepResult sweep;                            // connected, failed calls, stopped, link lost
    std::vector<const ParameterInfo*> failed;     // keys whose change or read-back failed
    std::vector<ParameterDifference> differences; // read back with another value than sent
    // The controller holds every value sent.
    bool verified() const
    {
        return sweep.connected && !sweep.linkLost && !sweep.stopped && failed.empty() && differences.empty();
    }
};
KeyChangeResult changeKeys(CMoravelSDIApp& app, const ParameterSet& values, std::span<const ParameterInfo* const> keys,
                           UserInteraction& ui);

// The controller's whole set read into the template (as the update's backup does) and saved
// to path, by default defaultBackupPath of the controller's name. Nothing is saved unless
// every key was read.
struct BackupResult {
    SweepResult read;
    std::string path;  // where it was saved; empty when it was not
    std::string error; // why the backup folder could not be made
    bool saved() const { return !path.empty(); }
};
BackupResult backupControllerSet(CMoravelSDIApp& app, UserInteraction& ui, const std::string& path = {});

// Copies the values of keys from values into the document's set, marks them as read from
// the controller, marks the document modified and updates its views.
void takeIntoDocument(CMoravelSDIDoc& doc, const ParameterSet& values, std::span<const ParameterInfo* const> keys);

// ---- The calibration's arithmetic -------------------------------------------------------

// What the controller holds for one axis.
struct AxisMechanics {
    float aufloesung = 0; // steps/mm
    std::int32_t von = 0; // travel range, mm
    std::int32_t bis = 0;
    std::int32_t richtungsumkehr = 0;
};
AxisMechanics axisMechanics(const ParameterSet& set, int axis);

// The keys a calibration reads: the axis's Auflösung, VERFAHRBEREICH_VON and _BIS.
std::array<const ParameterInfo*, 3> calibrationKeys(int axis);

// The move of a calibration: distance × Auflösung, rounded to whole steps, or why not.
enum class MoveRefusal {
    None,
    NotPositive,       // the distance is not a positive number
    BeyondTravelRange, // longer than bis - von
    TooFewSteps,       // fewer than 1 step
    TooManySteps,      // more than 2^31 - 1 steps (also for a resolution that is not a number)
};
struct CalibrationMove {
    std::int32_t steps = 0;
    MoveRefusal refusal = MoveRefusal::None;
    std::int64_t travelRange = 0; // bis - von, mm
    double exactSteps = 0;        // before rounding
};
CalibrationMove calibrationMove(double distanceMm, const AxisMechanics& axis);

// The new resolution steps / measured mm, accepted within kMinAufloesung ... kMaxAufloesung
// (compared in double precision, as the file reader does) and held as the controller holds it.
struct NewResolution {
    bool accepted = false;
    double exact = 0; // steps / measured
    float value = 0;  // what is sent
};
NewResolution newResolution(std::int32_t steps, double measuredMm);

// A float as the parameter file writes it: "%f" of its double value ("201.005020").
std::string floatText(float value);

// ---- Moves, stops and positions ---------------------------------------------------------

// The two emergency stops: NotHalt_mitBremsrampe, NotStop_ohneBremsrampe.
enum class StopKind { Halt, Stop };
// Opens if needed; true when the controller accepted the stop.
bool emergencyStop(CMoravelSDIApp& app, StopKind kind, UserInteraction& ui);

// GetPosition_mm: the four axes as the controller counts them, in its millimetres. Nothing
// when the link is not open and cannot be opened, or the query failed (a lost link then
// shows its message and closes the connection).
std::optional<std::array<float, 4>> queryPosition(CMoravelSDIApp& app, UserInteraction& ui);

// One relative move of steps on one axis, with the jog buttons' arguments (value 0, count 1,
// flags 3): FahreRelativ_XY_Schritte for X and Y, FahreRelativ_ZC_Schritte for Z and C, the
// other axis of the pair 0. Opens if needed; true when the controller confirmed it. Returns
// at once; the axis travels on.
bool moveAxis(CMoravelSDIApp& app, int axis, std::int32_t steps, UserInteraction& ui);

enum class MoveOutcome {
    Done,         // the axis stands still (see MoveResult::reachedTarget)
    NoConnection, // the open failed (its message shown); nothing was sent
    Failed,       // the controller did not confirm the move or stopped answering; NotHalt sent
    LinkLost,     // the device vanished (its message shown, the connection closed)
    Stopped,      // ui.stopRequested() during the move: the emergency stop was sent
};
struct MoveResult {
    MoveOutcome outcome = MoveOutcome::NoConnection;
    bool commanded = false;                   // the move went out (Stopped before it: nothing moved)
    bool reachedTarget = false;               // the axis stands at start + steps
    std::array<std::int32_t, 4> startSteps{}; // the positions before the move (steps)
    std::array<std::int32_t, 4> endSteps{};   // the last positions reported
};

// moveAxis, then the wait until the controller reports the axis at its target, or standing
// still elsewhere for about a second (a stop, a limit switch). Positions are asked
// with GetPosition_Schritte, one query after the other; ui.reportProgress(steps travelled,
// |steps|) after each. When ui.stopRequested() turns true while the axis may move, the stop
// of stopKind() (NotHalt without one) is sent and the result is Stopped.
MoveResult runMove(CMoravelSDIApp& app, int axis, std::int32_t steps, UserInteraction& ui,
                   const std::function<StopKind()>& stopKind = {});

} // namespace moravel

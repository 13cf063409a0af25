// calibrate: one round of the steps-per-millimetre calibration of an axis.
//
// The axis's Auflösung and travel range are read, the axis travels DISTANCE as the
// controller believes it, the user measures how far it really went, and the controller gets
// Auflösung = steps / measured travel. Nothing but that one key is ever sent; a refused
// distance or result sends nothing at all. A stop signal while the axis may be moving sends
// NotHalt before anything else.

#include "app/controller/commissioning.h"
#include "app/controller/moravel_app.h"
#include "cli/cli_interaction.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/controller_session.h"
#include "cli/stop_signal.h"
#include "params/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

// The helpers live in a namespace of their own: in a unity build they meet the other
// commands' helpers of the same names.
namespace moravel::cli::calibrating {
namespace {

constexpr std::string_view kFlags[] = {"--yes", "--auto"};
constexpr std::string_view kValued[] = {"--measured", "--port", "--name"};
constexpr std::string_view kMeasuredPrompt = "Gemessener Weg in mm (leer: abbrechen):";

// A number of millimetres: the whole text, with a decimal point or a decimal comma; nothing
// for anything else, and for a number that is not finite or not positive.
std::optional<double> parseMillimetres(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    const ParsedNumber<double> n = parseDouble(text);
    if (text.empty() || n.end != text.size() || !std::isfinite(n.value) || !(n.value > 0))
        return std::nullopt;
    return n.value;
}

// The shortest text that reads back as value: "100", "12.5".
std::string numberText(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

void say(const std::string& text) { std::fprintf(stderr, "moravel-cli: %s\n", text.c_str()); }

int refused(const std::string& reason)
{
    say("calibrate: " + reason);
    return kExitRejected;
}

int stopped(std::string_view outcome)
{
    const std::string_view name = stopSignalName();
    std::fprintf(stderr, "moravel-cli: stopped by %.*s; %.*s\n", static_cast<int>(name.size()), name.data(),
                 static_cast<int>(outcome.size()), outcome.data());
    return stoppedStatus();
}

// A question on the terminal; the answer typed after it. Input typed before (during the
// move) does not count.
std::optional<std::string> ask(std::string_view question)
{
    discardTypedInput();
    std::fprintf(stderr, "%.*s ", static_cast<int>(question.size()), question.data());
    std::fflush(stderr);
    std::optional<std::string> answer = readLine();
    if (!answer)
        std::fputs("\n", stderr);
    return answer;
}

// Closes the connection however the command ends.
struct CloseAtEnd {
    CMoravelSDIApp& app;
    UserInteraction& ui;
    ~CloseAtEnd() { app.CloseConnection(ui); }
};

std::string moveRefusal(const CalibrationMove& move, double distance, const AxisMechanics& mechanics, char axis)
{
    const std::string at = numberText(distance) + " mm at an Auflösung of " + floatText(mechanics.aufloesung) +
                           " steps/mm are " + numberText(move.exactSteps) + " steps";
    switch (move.refusal) {
    case MoveRefusal::BeyondTravelRange:
        return numberText(distance) + " mm are longer than the travel range of axis " + axis + " (" +
               std::to_string(move.travelRange) + " mm, from " + std::to_string(mechanics.von) + " to " +
               std::to_string(mechanics.bis) + " mm); nothing moved";
    case MoveRefusal::TooFewSteps:
        return at + ", less than one step; nothing moved";
    case MoveRefusal::TooManySteps:
        return at + ", more than 2147483647; nothing moved";
    case MoveRefusal::NotPositive:
    case MoveRefusal::None:
        break;
    }
    return "the distance must be a positive number of millimetres; nothing moved";
}

int run(std::span<const std::string> args)
{
    Arguments parsed;
    if (!splitArguments(args, kFlags, parsed, kValued))
        return kExitError;
    if (parsed.has("--help")) {
        printCommandHelp("calibrate");
        return kExitSuccess;
    }
    installStopHandlers();
    if (parsed.operands.size() != 2)
        return usageError("calibrate: expected AXIS (X, Y, Z or C) and DISTANCE (mm)");
    const std::optional<int> axis = axisOfLetter(parsed.operands[0]);
    if (!axis)
        return usageError("calibrate: AXIS is X, Y, Z or C, not '" + parsed.operands[0] + "'");
    const char letter = kAxisLetters[static_cast<std::size_t>(*axis)];
    const std::optional<double> distance = parseMillimetres(parsed.operands[1]);
    if (!distance)
        return usageError("calibrate: DISTANCE is a positive number of millimetres, not '" + parsed.operands[1] + "'");
    std::optional<double> measured;
    if (const std::string* text = parsed.value("--measured")) {
        measured = parseMillimetres(*text);
        if (!measured)
            return usageError("calibrate: --measured takes a positive number of millimetres, not '" + *text + "'");
    }
    const bool assumeYes = parsed.has("--yes");
    const bool terminal = stdinIsTerminal();
    if (!terminal && (!assumeYes || !measured))
        return usageError("calibrate: stdin is not a terminal; start the move with --yes and give the travel "
                          "with --measured MM");
    CMoravelSDIApp app;
    if (const auto done = setUpConnection(parsed, app))
        return *done;
    StderrInteraction ui;
    const CloseAtEnd close{app, ui};

    // The axis's Auflösung and travel range.
    ParameterSet controller;
    const auto keys = calibrationKeys(*axis);
    const KeyReadResult read = readKeys(app, keys, controller, ui);
    if (!read.sweep.connected)
        return noConnection(app);
    if (read.sweep.linkLost)
        return kExitNoConnection;
    if (read.sweep.stopped)
        return stopped("nothing moved");
    if (read.sweep.failedKeys > 0) {
        say(std::to_string(read.sweep.failedKeys) + " key(s) could not be read; nothing moved");
        return kExitKeysFailed;
    }
    const AxisMechanics mechanics = axisMechanics(controller, *axis);
    const CalibrationMove move = calibrationMove(*distance, mechanics);
    if (move.refusal != MoveRefusal::None)
        return refused(moveRefusal(move, *distance, mechanics, letter));

    if (terminal && !assumeYes) {
        const std::string start = std::string("Achse ") + letter + " fährt " + numberText(*distance) + " mm (" +
                                  std::to_string(move.steps) + " Schritte) in Plus-Richtung. Starten mit Enter.";
        if (!ask(start)) {
            if (stopSignal() != 0)
                return stopped("nothing moved");
            say("calibration cancelled; nothing moved");
            return kExitStopped;
        }
    }
    if (stopSignal() != 0)
        return stopped("nothing moved");

    // The move, watched until the axis stands still.
    ui.setProgressUnits("steps");
    const MoveResult moved = runMove(app, *axis, move.steps, ui);
    switch (moved.outcome) {
    case MoveOutcome::Done:
        break;
    case MoveOutcome::NoConnection:
        return noConnection(app);
    case MoveOutcome::LinkLost:
        return kExitNoConnection;
    case MoveOutcome::Stopped:
        return stopped(moved.commanded ? "NotHalt sent; nothing changed" : "nothing moved");
    case MoveOutcome::Failed:
        say("the controller did not confirm the move or stopped answering; NotHalt sent, nothing changed");
        return kExitKeysFailed;
    }
    if (!moved.reachedTarget) {
        const auto a = static_cast<std::size_t>(*axis);
        return refused(std::string("axis ") + letter + " stood still after " +
                       std::to_string(std::int64_t{moved.endSteps[a]} - moved.startSteps[a]) + " of " +
                       std::to_string(move.steps) + " steps; nothing changed");
    }

    // The travel the user measured.
    while (!measured) {
        const std::optional<std::string> answer = ask(kMeasuredPrompt);
        if (stopSignal() != 0)
            return stopped("nothing changed");
        if (!answer || answer->find_first_not_of(" \t\r") == std::string::npos) {
            say("calibration cancelled; nothing changed");
            return kExitStopped;
        }
        measured = parseMillimetres(*answer);
        if (!measured)
            say("not a positive number of millimetres: '" + *answer + "'");
    }
    const NewResolution next = newResolution(move.steps, *measured);
    if (!next.accepted)
        return refused(std::to_string(move.steps) + " steps over " + numberText(*measured) + " mm are " +
                       numberText(next.exact) + " steps/mm, outside " + numberText(kMinAufloesung) + " ... " +
                       numberText(kMaxAufloesung) + "; nothing sent");
    if (stopSignal() != 0)
        return stopped("nothing changed");

    // The one key, and its read-back.
    const ParameterInfo& key = aufloesungKey(*axis);
    key.floatValue(controller) = next.value;
    const ParameterInfo* changed[] = {&key};
    ui.setProgressUnits("keys");
    const KeyChangeResult result = changeKeys(app, controller, changed, ui);
    if (!result.sweep.connected)
        return noConnection(app);
    if (result.sweep.linkLost)
        return kExitNoConnection;
    if (result.sweep.stopped)
        return stopped("the new Auflösung was not verified");
    if (!result.failed.empty())
        return kExitKeysFailed; // the key's message has been shown
    if (!result.differences.empty()) {
        say("the controller holds " + result.differences.front().controllerValue + " instead of " +
            floatText(next.value) + " for " + std::string(key.itemMacro));
        return kExitKeysFailed;
    }
    const std::string line = std::string("Auflösung ") + letter + ": " + floatText(mechanics.aufloesung) + " -> " +
                             floatText(next.value) + " Schritte/mm\n";
    return writeStdout(line) ? kExitSuccess : fail("cannot write to stdout");
}

} // namespace
} // namespace moravel::cli::calibrating

namespace moravel::cli {

int runCalibrate(std::span<const std::string> args) { return calibrating::run(args); }

} // namespace moravel::cli

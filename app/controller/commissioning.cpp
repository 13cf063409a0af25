// Commissioning: single keys between the mode switches, the calibration's arithmetic, and
// moves that are watched until the axis stands still.

#include "app/controller/commissioning.h"

#include "app/controller/firmware_update.h"
#include "app/controller/moravel_app.h"
#include "params/controller_exchange.h"
#include "params/number_text.h"

#include <quorlink.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace moravel {
namespace {

// A move has ended away from its target when the axis was reported at the same place this
// many times one after the other (one query takes at least 100 ms).
constexpr int kStillQueries = 10;
// Position queries in a row that may fail before the controller counts as not answering.
constexpr int kFailedQueries = 3;

void copyValues(const ParameterInfo& p, const ParameterSet& from, ParameterSet& to)
{
    switch (p.kind) {
    case ParameterKind::Float:
        p.floatValue(to) = p.floatValue(from);
        break;
    case ParameterKind::String:
        p.textValue(to) = p.textValue(from);
        break;
    case ParameterKind::Reserved:
        break;
    default:
        for (std::size_t i = 0; i < p.elementCount; ++i)
            p.longValue(to, i) = p.longValue(from, i);
        break;
    }
}

// The positions in steps; false when the query failed (a lost link is dropped with its
// message).
bool positionSteps(CMoravelSDIApp& app, std::array<std::int32_t, 4>& steps, UserInteraction& ui)
{
    unsigned char status = 0;
    if (GetPosition_Schritte(&app.m_context, steps.data(), &status) != 0)
        return true;
    if (linkLost(app.m_context))
        app.dropLostLink(ui);
    return false;
}

} // namespace

std::optional<int> axisOfLetter(std::string_view letter)
{
    if (letter.size() != 1)
        return std::nullopt;
    const char upper = letter[0] >= 'a' && letter[0] <= 'z' ? static_cast<char>(letter[0] - 'a' + 'A') : letter[0];
    const std::size_t at = kAxisLetters.find(upper);
    return at == std::string_view::npos ? std::nullopt : std::optional<int>(static_cast<int>(at));
}

const ParameterInfo& parameterRow(std::uint16_t key)
{
    const ParameterInfo* p = findParameter(key);
    if (p == nullptr)
        std::abort(); // a key of this file that the table lacks
    return *p;
}

const ParameterInfo& aufloesungKey(int axis) { return parameterRow(static_cast<std::uint16_t>(kAufloesungKey + axis)); }

KeyReadResult readKeys(CMoravelSDIApp& app, std::span<const ParameterInfo* const> keys, ParameterSet& set,
                       UserInteraction& ui)
{
    return {aroundSweep(app, ui, static_cast<int>(keys.size()), [&](ConnectionContext* ctx) { return readKeys(ctx, keys, set, ui); })};
}

KeyChangeResult changeKeys(CMoravelSDIApp& app, const ParameterSet& values, std::span<const ParameterInfo* const> keys,
                           UserInteraction& ui)
{
    KeyChangeResult result;
    ParameterSet readBack;
    std::vector<const ParameterInfo*> failedCalls;
    result.sweep = aroundSweep(app, ui, static_cast<int>(keys.size()), [&](ConnectionContext* ctx) {
        SweepOutcome outcome = transferKeys(ctx, keys, values, ui);
        if (!outcome.linkLost && !outcome.stopped) {
            const SweepOutcome back = readKeys(ctx, keys, readBack, ui);
            outcome.failed.insert(outcome.failed.end(), back.failed.begin(), back.failed.end());
            outcome.linkLost = back.linkLost;
            outcome.stopped = back.stopped;
        }
        failedCalls = outcome.failed;
        return outcome;
    });
    for (const ParameterInfo* p : keys) {
        if (std::find(failedCalls.begin(), failedCalls.end(), p) != failedCalls.end())
            result.failed.push_back(p);
        else if (readBack.origin(p->key.value) == ValueOrigin::Controller &&
                 comparisonText(*p, values) != comparisonText(*p, readBack))
            result.differences.push_back({p, valueText(*p, values), valueText(*p, readBack)});
    }
    return result;
}

BackupResult backupControllerSet(CMoravelSDIApp& app, UserInteraction& ui, const std::string& path)
{
    BackupResult result;
    CMoravelSDIDoc backup;
    const CMoravelSDIDoc::OpenResult loaded = loadTemplate(backup, ui);
    if (loaded != CMoravelSDIDoc::OpenResult::Loaded && loaded != CMoravelSDIDoc::OpenResult::BuiltIn)
        return result;
    result.read = app.readParameters(backup, ui);
    const SweepResult& read = result.read;
    if (!read.connected || read.failedKeys > 0 || read.linkLost || read.stopped)
        return result;
    const std::string target =
        path.empty() ? defaultBackupPath(backup.m_parameterSet.controllerName, result.error) : path;
    if (!target.empty() && backup.SaveToFile(target, ui))
        result.path = target;
    return result;
}

void takeIntoDocument(CMoravelSDIDoc& doc, const ParameterSet& values, std::span<const ParameterInfo* const> keys)
{
    for (const ParameterInfo* p : keys) {
        copyValues(*p, values, doc.m_parameterSet);
        doc.m_parameterSet.setOrigin(p->key.value, ValueOrigin::Controller);
    }
    doc.setModified(true);
    doc.UpdateAllViews();
}

AxisMechanics axisMechanics(const ParameterSet& set, int axis)
{
    const auto element = static_cast<std::size_t>(axis);
    return {aufloesungKey(axis).floatValue(set), parameterRow(kVerfahrbereichVonKey).longValue(set, element),
            parameterRow(kVerfahrbereichBisKey).longValue(set, element),
            parameterRow(kRichtungsumkehrKey).longValue(set, element)};
}

std::array<const ParameterInfo*, 3> calibrationKeys(int axis)
{
    return {&aufloesungKey(axis), &parameterRow(kVerfahrbereichVonKey), &parameterRow(kVerfahrbereichBisKey)};
}

CalibrationMove calibrationMove(double distanceMm, const AxisMechanics& axis)
{
    CalibrationMove move;
    move.travelRange = std::int64_t{axis.bis} - axis.von;
    move.exactSteps = distanceMm * static_cast<double>(axis.aufloesung);
    const double rounded = std::round(move.exactSteps);
    if (!(distanceMm > 0) || !std::isfinite(distanceMm))
        move.refusal = MoveRefusal::NotPositive;
    else if (distanceMm > static_cast<double>(move.travelRange))
        move.refusal = MoveRefusal::BeyondTravelRange;
    else if (!(rounded <= std::numeric_limits<std::int32_t>::max()))
        move.refusal = MoveRefusal::TooManySteps; // also a resolution that is not a number
    else if (rounded < 1)
        move.refusal = MoveRefusal::TooFewSteps;
    else
        move.steps = static_cast<std::int32_t>(rounded);
    return move;
}

NewResolution newResolution(std::int32_t steps, double measuredMm)
{
    NewResolution result;
    result.exact = static_cast<double>(steps) / measuredMm;
    result.accepted = result.exact >= kMinAufloesung && result.exact <= kMaxAufloesung;
    result.value = result.accepted ? static_cast<float>(result.exact) : 0.0f;
    return result;
}

std::string floatText(float value)
{
    std::string text;
    appendFixed6(text, static_cast<double>(value));
    return text;
}

bool emergencyStop(CMoravelSDIApp& app, StopKind kind, UserInteraction& ui)
{
    return kind == StopKind::Halt ? app.SendNotHalt(ui) : app.SendNotStop(ui);
}

std::optional<std::array<float, 4>> queryPosition(CMoravelSDIApp& app, UserInteraction& ui)
{
    if (!app.OpenConnection(ui))
        return std::nullopt;
    std::array<float, 4> mm{};
    unsigned char status = 0;
    if (GetPosition_mm(&app.m_context, mm.data(), &status) != 0)
        return mm;
    if (linkLost(app.m_context))
        app.dropLostLink(ui);
    return std::nullopt;
}

bool moveAxis(CMoravelSDIApp& app, int axis, std::int32_t steps, UserInteraction& ui)
{
    const std::int32_t first[1] = {axis == kAxisX || axis == kAxisZ ? steps : 0};
    const std::int32_t second[1] = {axis == kAxisY || axis == kAxisC ? steps : 0};
    constexpr std::int32_t kValue = 0, kCount = 1, kFlags = 3; // as the jog buttons send them
    return axis <= kAxisY ? app.SendMoveRelativeXY(kValue, kCount, first, second, kFlags, ui)
                         : app.SendMoveRelativeZC(kValue, kCount, first, second, kFlags, ui);
}

MoveResult runMove(CMoravelSDIApp& app, int axis, std::int32_t steps, UserInteraction& ui,
                   const std::function<StopKind()>& stopKind)
{
    MoveResult result;
    if (!app.OpenConnection(ui))
        return result;
    const auto lostOr = [&](MoveOutcome otherwise) {
        result.outcome = app.isConnected() ? otherwise : MoveOutcome::LinkLost;
        if (result.outcome == MoveOutcome::Failed)
            app.SendNotHalt(ui); // it may be moving all the same
        return result;
    };
    if (!positionSteps(app, result.startSteps, ui)) {
        result.outcome = app.isConnected() ? MoveOutcome::Failed : MoveOutcome::LinkLost;
        return result; // nothing was moved
    }
    result.endSteps = result.startSteps;
    if (ui.stopRequested()) {
        result.outcome = MoveOutcome::Stopped;
        return result;
    }
    result.commanded = true;
    if (!moveAxis(app, axis, steps, ui))
        return lostOr(MoveOutcome::Failed);

    const auto a = static_cast<std::size_t>(axis);
    const std::int64_t target = std::int64_t{result.startSteps[a]} + steps;
    const std::int64_t total = std::llabs(steps);
    std::int32_t last = result.startSteps[a];
    for (int still = 0, failures = 0;;) {
        if (ui.stopRequested()) {
            emergencyStop(app, stopKind ? stopKind() : StopKind::Halt, ui);
            return lostOr(MoveOutcome::Stopped);
        }
        std::array<std::int32_t, 4> now{};
        if (!positionSteps(app, now, ui)) {
            if (!app.isConnected() || ++failures >= kFailedQueries)
                return lostOr(MoveOutcome::Failed);
            continue;
        }
        failures = 0;
        result.endSteps = now;
        if (total > 0)
            ui.reportProgress(std::min<std::int64_t>(std::llabs(std::int64_t{now[a]} - result.startSteps[a]), total),
                              total);
        if (now[a] == target) {
            result.reachedTarget = true;
            break;
        }
        still = now[a] == last ? still + 1 : 0;
        last = now[a];
        if (still >= kStillQueries)
            break;
    }
    result.outcome = MoveOutcome::Done;
    return result;
}

} // namespace moravel

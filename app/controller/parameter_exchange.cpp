// The read, transfer and compare commands: the road around the parameter set's sweeps
// (params/controller_exchange.h), and the comparison of a set with the controller's values.

#include "app/controller/parameter_exchange.h"

#include "app/controller/moravel_app.h"

#include "params/controller_exchange.h"
#include "params/text_util.h"

namespace moravel {

std::string comparisonText(const ParameterInfo& p, const ParameterSet& set)
{
    if (p.shape == ExchangeShape::Text16) {
        const auto field = blankPaddedName(p.textValue(set));
        return std::string(field.begin(), field.end());
    }
    return valueText(p, set);
}

std::string sweepClosingText(int done, int total, bool endedEarly)
{
    if (!endedEarly && done >= total)
        return std::string(kParameterTransferDone);
    return (endedEarly ? "Parameterübertragung abgebrochen: " : "Parameterübertragung mit Fehlern: ") +
           std::to_string(done) + " von " + std::to_string(total) + " übertragen.";
}

SweepResult aroundSweep(CMoravelSDIApp& app, UserInteraction& ui, int total,
                        const std::function<SweepOutcome(ConnectionContext*)>& sweep)
{
    SweepResult result;
    if (!app.OpenConnection(ui))
        return result;
    result.connected = true;
    BetriebsArtenWechsel(&app.m_context, 1);
    ui.setStatusText(kParameterTransferRunning);
    BusyScope busy(ui);
    const SweepOutcome outcome = sweep(&app.m_context);
    result.failedKeys = outcome.failedKeys();
    result.stopped = outcome.stopped;
    result.linkLost = outcome.linkLost;
    const std::string closing = sweepClosingText(outcome.done, total, outcome.stopped || outcome.linkLost);
    if (outcome.linkLost) {
        app.dropLostLink(ui);
        ui.setStatusText(closing);
        return result;
    }
    BetriebsArtenWechsel(&app.m_context, 2);
    ui.setStatusText(closing);
    return result;
}

SweepResult CMoravelSDIApp::readParameters(CMoravelSDIDoc& doc, UserInteraction& ui)
{
    return aroundSweep(*this, ui, static_cast<int>(exchangeList().size()),
                       [&](ConnectionContext* ctx) { return doc.ReadParametersFromController(ctx, ui); });
}

SweepResult CMoravelSDIApp::transferParameters(CMoravelSDIDoc& doc, UserInteraction& ui, TransferScope scope)
{
    // A transfer of the keys with an origin counts only those.
    int total = static_cast<int>(exchangeList().size());
    if (scope == TransferScope::KeysWithOrigin)
        total -= static_cast<int>(keysWithoutOrigin(doc.m_parameterSet).size());
    return aroundSweep(*this, ui, total,
                       [&](ConnectionContext* ctx) { return doc.TransferParametersToController(ctx, ui, scope); });
}

ComparisonResult CMoravelSDIApp::compareWithController(const ParameterSet& set, UserInteraction& ui)
{
    ComparisonResult result;
    ParameterSet controller;
    const SweepResult sweep =
        aroundSweep(*this, ui, static_cast<int>(exchangeList().size()),
                    [&](ConnectionContext* ctx) { return readSweep(ctx, controller, ui); });
    result.connected = sweep.connected;
    result.failedKeys = sweep.failedKeys;
    result.linkLost = sweep.linkLost;
    result.stopped = sweep.stopped;
    if (!sweep.connected)
        return result;
    // Only keys read are compared: not the failed ones, nor those after a stop or a loss.
    for (const ParameterInfo* p : exchangeList()) {
        if (controller.origin(p->key.value) != ValueOrigin::Controller)
            continue;
        if (comparisonText(*p, set) == comparisonText(*p, controller))
            continue;
        const bool isName = p->shape == ExchangeShape::Text16;
        result.differences.push_back({p, isName ? p->textValue(set) : valueText(*p, set),
                                      isName ? p->textValue(controller) : valueText(*p, controller)});
    }
    return result;
}

} // namespace moravel

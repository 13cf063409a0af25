// The read, transfer and compare commands: the road around the parameter set's sweeps
// (params/controller_exchange.h), and the comparison of a set with the controller's values.

#include "app/controller/parameter_exchange.h"

#include "app/controller/moravel_app.h"

#include "params/controller_exchange.h"
#include "params/text_util.h"

#include <algorithm>

namespace moravel {

std::string comparisonText(const ParameterInfo& p, const ParameterSet& set)
{
    if (p.shape == ExchangeShape::Text16) {
        const auto field = blankPaddedName(p.textValue(set));
        return std::string(field.begin(), field.end());
    }
    return valueText(p, set);
}

namespace {

// The road every parameter command takes around its sweep: open if needed, mode 1, the
// status text and the busy indicator, the sweep, mode 2, the closing status text. Without
// a connection nothing is sent. The busy indicator goes off also when the sweep throws.
template <typename Sweep>
SweepResult aroundSweep(CMoravelSDIApp& app, UserInteraction& ui, Sweep sweep)
{
    SweepResult result;
    if (!app.OpenConnection(ui))
        return result;
    result.connected = true;
    BetriebsArtenWechsel(&app.m_context, 1);
    ui.setStatusText(ParameterTransferRunning);
    BusyScope busy(ui);
    result.failedKeys = sweep(&app.m_context);
    BetriebsArtenWechsel(&app.m_context, 2);
    ui.setStatusText(ParameterTransferDone);
    return result;
}

} // namespace

SweepResult CMoravelSDIApp::readParameters(CMoravelSDIDoc& doc, UserInteraction& ui)
{
    return aroundSweep(*this, ui, [&](ConnectionContext* ctx) { return doc.ReadParametersFromController(ctx, ui); });
}

SweepResult CMoravelSDIApp::transferParameters(CMoravelSDIDoc& doc, UserInteraction& ui, TransferScope scope)
{
    return aroundSweep(*this, ui,
                       [&](ConnectionContext* ctx) { return doc.TransferParametersToController(ctx, ui, scope); });
}

ComparisonResult CMoravelSDIApp::compareWithController(const ParameterSet& set, UserInteraction& ui)
{
    ComparisonResult result;
    ParameterSet controller;
    std::vector<const ParameterInfo*> failed;
    const SweepResult sweep = aroundSweep(*this, ui, [&](ConnectionContext* ctx) {
        failed = readSweep(ctx, controller, ui);
        return static_cast<int>(failed.size());
    });
    result.connected = sweep.connected;
    result.failedKeys = sweep.failedKeys;
    if (!sweep.connected)
        return result;
    for (const ParameterInfo* p : exchangeList()) {
        if (std::find(failed.begin(), failed.end(), p) != failed.end())
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

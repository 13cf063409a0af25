// The parameter exchange with the controller: the two sweeps over the exchange list, the
// document's wrappers, and the read, transfer and compare commands around them.
//
// Every key is handled by its row's ExchangeShape, so the sweeps are one loop each.

#include "app/controller/moravel_app.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace moravel {
namespace {

using ValueWords = std::array<std::int32_t, 4>;

constexpr std::size_t kNameBytes = 16;

std::uint8_t byteOf(const ValueWords& words, std::size_t i)
{
    std::array<std::uint8_t, 16> bytes;
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes[i];
}

// Stores the reply value area of p into set, as its shape lays it out.
void unpack(const ParameterInfo& p, const ValueWords& words, ParameterSet& set)
{
    switch (p.shape) {
    case ExchangeShape::None:
        break;
    case ExchangeShape::Long:
        p.longValue(set) = words[0];
        break;
    case ExchangeShape::Float:
        p.floatValue(set) = std::bit_cast<float>(words[0]);
        break;
    case ExchangeShape::FourLongs:
        for (std::size_t i = 0; i < 4; ++i)
            p.longValue(set, i) = words[i];
        break;
    case ExchangeShape::FourBytes:
    case ExchangeShape::EightBytes:
        for (std::size_t i = 0; i < p.elementCount; ++i)
            p.longValue(set, i) = byteOf(words, i);
        break;
    case ExchangeShape::Text16: {
        char name[kNameBytes];
        std::memcpy(name, words.data(), kNameBytes);
        p.textValue(set).assign(name, ::strnlen(name, kNameBytes));
        break;
    }
    }
}

// The 16 bytes a transfer sends for the name: its characters, then blanks, no terminator.
std::array<char, kNameBytes> nameField(std::string_view name)
{
    std::array<char, kNameBytes> field;
    field.fill(' ');
    std::copy_n(name.begin(), std::min(name.size(), kNameBytes), field.begin());
    return field;
}

std::int32_t lowByte(const ParameterInfo& p, const ParameterSet& set, std::size_t i)
{
    return p.longValue(set, i) & 0xFF;
}

bool readKey(ConnectionContext* ctx, const ParameterInfo& p, ParameterSet& set)
{
    ValueWords words{};
    if (ParameterLesen(ctx, p.key.group(), p.key.item(), words.data()) == 0)
        return false;
    unpack(p, words, set);
    return true;
}

bool transferKey(ConnectionContext* ctx, const ParameterInfo& p, const ParameterSet& set)
{
    const int g = p.key.group();
    const int i = p.key.item();
    switch (p.shape) {
    case ExchangeShape::None:
        return true;
    case ExchangeShape::Long:
        return ParameterAendern_long(ctx, g, i, p.longValue(set)) != 0;
    case ExchangeShape::Float:
        return ParameterAendern_float(ctx, g, i, p.floatValue(set)) != 0;
    case ExchangeShape::FourLongs:
        return ParameterAendern_4_longs(ctx, g, i, p.longValue(set, 0), p.longValue(set, 1), p.longValue(set, 2),
                                        p.longValue(set, 3)) != 0;
    case ExchangeShape::FourBytes:
        return ParameterAendern_4_uchar(ctx, g, i, lowByte(p, set, 0), lowByte(p, set, 1), lowByte(p, set, 2),
                                        lowByte(p, set, 3)) != 0;
    case ExchangeShape::EightBytes:
        return ParameterAendern_Richtung_Sequenz_ReferenzFahrt(ctx, g, i, lowByte(p, set, 0), lowByte(p, set, 1),
                                                               lowByte(p, set, 2), lowByte(p, set, 3),
                                                               lowByte(p, set, 4), lowByte(p, set, 5),
                                                               lowByte(p, set, 6), lowByte(p, set, 7)) != 0;
    case ExchangeShape::Text16:
        return ParameterAendern_ControllerName(ctx, g, i, nameField(p.textValue(set)).data()) != 0;
    }
    return false;
}

// The read sweep; returns the rows whose read failed.
std::vector<const ParameterInfo*> readSweep(ConnectionContext* ctx, ParameterSet& set, UserInteraction& ui)
{
    std::vector<const ParameterInfo*> failed;
    const auto list = exchangeList();
    std::int64_t done = 0;
    for (const ParameterInfo* p : list) {
        if (!readKey(ctx, *p, set)) {
            ui.showMessage(readErrorMessage(*p));
            failed.push_back(p);
        }
        ui.reportProgress(++done, static_cast<std::int64_t>(list.size()));
    }
    return failed;
}

} // namespace

int ParameterSet::ReadFromController(ConnectionContext* ctx, UserInteraction& ui)
{
    if (ctx == nullptr)
        return 0;
    return static_cast<int>(readSweep(ctx, *this, ui).size());
}

int ParameterSet::TransferToController(ConnectionContext* ctx, UserInteraction& ui) const
{
    if (ctx == nullptr)
        return 0;
    int failed = 0;
    const auto list = exchangeList();
    std::int64_t done = 0;
    for (const ParameterInfo* p : list) {
        if (!transferKey(ctx, *p, *this)) {
            ui.showMessage(transferErrorMessage(*p));
            ++failed;
        }
        ui.reportProgress(++done, static_cast<std::int64_t>(list.size()));
    }
    return failed;
}

int CMoravelSDIDoc::ReadParametersFromController(ConnectionContext* ctx, UserInteraction& ui)
{
    if (ctx == nullptr)
        return 0;
    const int failed = m_parameterSet.ReadFromController(ctx, ui);
    m_bParametersValid = true;
    return failed;
}

int CMoravelSDIDoc::TransferParametersToController(ConnectionContext* ctx, UserInteraction& ui)
{
    if (ctx == nullptr)
        return 0;
    return m_parameterSet.TransferToController(ctx, ui);
}

std::string ComparisonText(const ParameterInfo& p, const ParameterSet& set)
{
    if (p.shape == ExchangeShape::Text16) {
        const auto field = nameField(p.textValue(set));
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

SweepResult CMoravelSDIApp::ReadParameters(CMoravelSDIDoc& doc, UserInteraction& ui)
{
    return aroundSweep(*this, ui, [&](ConnectionContext* ctx) { return doc.ReadParametersFromController(ctx, ui); });
}

SweepResult CMoravelSDIApp::TransferParameters(CMoravelSDIDoc& doc, UserInteraction& ui)
{
    return aroundSweep(*this, ui,
                       [&](ConnectionContext* ctx) { return doc.TransferParametersToController(ctx, ui); });
}

ComparisonResult CMoravelSDIApp::CompareWithController(const ParameterSet& set, UserInteraction& ui)
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
        if (ComparisonText(*p, set) == ComparisonText(*p, controller))
            continue;
        const bool isName = p->shape == ExchangeShape::Text16;
        result.differences.push_back({p, isName ? p->textValue(set) : valueText(*p, set),
                                      isName ? p->textValue(controller) : valueText(*p, controller)});
    }
    return result;
}

} // namespace moravel

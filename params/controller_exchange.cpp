// The parameter set's exchange with the controller: two sweeps over the exchange list.
//
// Every key is handled by its row's ExchangeShape, so the sweeps are one loop each.

#include "params/controller_exchange.h"

#include "params/platform_line.h"
#include "params/text_util.h"
#include "params/user_interaction.h"

#include <quorlink.h>

#include <array>
#include <bit>
#include <cstring>

namespace moravel {
namespace {

using ValueWords = std::array<std::int32_t, 4>;

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
        char name[kControllerNameBytes];
        std::memcpy(name, words.data(), kControllerNameBytes);
        p.textValue(set).assign(name, ::strnlen(name, kControllerNameBytes));
        break;
    }
    }
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
        return ParameterAendern_Richtung_Sequenz_ReferenzFahrt(
                   ctx, g, i, lowByte(p, set, 0), lowByte(p, set, 1), lowByte(p, set, 2), lowByte(p, set, 3),
                   lowByte(p, set, 4), lowByte(p, set, 5), lowByte(p, set, 6), lowByte(p, set, 7)) != 0;
    case ExchangeShape::Text16:
        return ParameterAendern_ControllerName(ctx, g, i, blankPaddedName(p.textValue(set)).data()) != 0;
    }
    return false;
}

} // namespace

bool linkLost(const ConnectionContext& ctx) { return platform::deviceGone(ctx); }

namespace {

// The loop both sweeps share. call(p) makes the key's library call; skip(p) passes a key over
// without a call; message(p) is its failure text.
template <typename Call, typename Skip, typename Message>
SweepOutcome sweep(ConnectionContext& ctx, std::span<const ParameterInfo* const> list, UserInteraction& ui, Call call,
                   Skip skip, Message message)
{
    SweepOutcome outcome;
    const auto total = static_cast<std::int64_t>(list.size());
    std::int64_t position = 0;
    for (const ParameterInfo* p : list) {
        if (ui.stopRequested()) {
            outcome.stopped = true;
            break;
        }
        if (skip(*p)) {
            ui.reportProgress(++position, total);
            continue;
        }
        if (call(*p)) {
            ++outcome.done;
        } else {
            // A vanished device fails every key that follows; say so once, in the caller.
            if (linkLost(ctx)) {
                outcome.linkLost = true;
                break;
            }
            outcome.failed.push_back(p);
            if (!ui.showStepFailure(message(*p))) {
                outcome.stopped = true;
                ui.reportProgress(++position, total);
                break;
            }
        }
        ui.reportProgress(++position, total);
    }
    return outcome;
}

} // namespace

SweepOutcome readSweep(ConnectionContext* ctx, ParameterSet& set, UserInteraction& ui)
{
    return readKeys(ctx, exchangeList(), set, ui);
}

SweepOutcome readKeys(ConnectionContext* ctx, std::span<const ParameterInfo* const> keys, ParameterSet& set,
                      UserInteraction& ui)
{
    // The values the read starts from (the template's) came from nowhere as far as the
    // controller is concerned; each key read replaces that.
    for (const ParameterInfo* p : keys)
        set.setOrigin(p->key.value, ValueOrigin::None);
    return sweep(
        *ctx, keys, ui,
        [&](const ParameterInfo& p) {
            if (!readKey(ctx, p, set))
                return false;
            set.setOrigin(p.key.value, ValueOrigin::Controller);
            return true;
        },
        [](const ParameterInfo&) { return false; }, [](const ParameterInfo& p) { return readErrorMessage(p); });
}

SweepOutcome ParameterSet::ReadFromController(ConnectionContext* ctx, UserInteraction& ui)
{
    if (ctx == nullptr)
        return {};
    return readSweep(ctx, *this, ui);
}

std::vector<const ParameterInfo*> keysWithoutOrigin(const ParameterSet& set)
{
    std::vector<const ParameterInfo*> keys;
    for (const ParameterInfo* p : exchangeList())
        if (set.origin(p->key.value) == ValueOrigin::None)
            keys.push_back(p);
    return keys;
}

SweepOutcome ParameterSet::TransferToController(ConnectionContext* ctx, UserInteraction& ui, TransferScope scope) const
{
    if (ctx == nullptr)
        return {};
    return sweep(
        *ctx, exchangeList(), ui, [&](const ParameterInfo& p) { return transferKey(ctx, p, *this); },
        [&](const ParameterInfo& p) {
            return scope == TransferScope::KeysWithOrigin && origin(p.key.value) == ValueOrigin::None;
        },
        [](const ParameterInfo& p) { return transferErrorMessage(p); });
}

SweepOutcome transferKeys(ConnectionContext* ctx, std::span<const ParameterInfo* const> keys, const ParameterSet& set,
                          UserInteraction& ui)
{
    return sweep(
        *ctx, keys, ui, [&](const ParameterInfo& p) { return transferKey(ctx, p, set); },
        [](const ParameterInfo&) { return false; }, [](const ParameterInfo& p) { return transferErrorMessage(p); });
}

} // namespace moravel

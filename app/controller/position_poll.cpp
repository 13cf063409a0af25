#include "app/controller/position_poll.h"

#include "params/controller_exchange.h"

#include <quorlink.h>

#include <bit>
#include <cstdint>

namespace moravel {

PositionPoll pollPosition(CMoravelSDIApp& app)
{
    PositionPoll poll;
    if (!app.isConnected())
        return poll;
    unsigned char status = 0;
    poll.read = GetPosition_mm(&app.m_context, poll.millimetres.data(), &status) != 0;
    poll.linkLost = !poll.read && linkLost(app.m_context);
    return poll;
}

std::optional<std::array<float, 4>> readResolutions(CMoravelSDIApp& app)
{
    if (!app.isConnected())
        return std::nullopt;
    ConnectionContext* ctx = &app.m_context;
    std::array<float, 4> read{};
    bool complete = BetriebsArtenWechsel(ctx, 1) != 0;
    for (std::size_t axis = 0; complete && axis < read.size(); ++axis) {
        std::int32_t words[4] = {};
        complete = ParameterLesen(ctx, HBYTE_MECHANIK, static_cast<std::int32_t>(LBYTE_MECHANIK_AUFLOESUNG_X_FLOAT + axis),
                                  words) != 0;
        read[axis] = std::bit_cast<float>(words[0]);
    }
    BetriebsArtenWechsel(ctx, 2);
    return complete ? std::optional(read) : std::nullopt;
}

} // namespace moravel

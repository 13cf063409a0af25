#pragma once
// The exchange of a parameter set with the controller through the link library: the read and
// transfer sweeps over the 38 keys of exchangeList().
//
// ParameterSet::ReadFromController and TransferToController are these sweeps; the comparison
// with the controller needs the read sweep's list of failed keys as well.

#include "params/parameter_table.h"

#include <vector>

struct ConnectionContext; // the link library's connection record (quorlink.h)

namespace moravel {

class UserInteraction;

// True when the connection's device is gone: the library closed the port after a hang-up
// (portHandle -1), or the system reports the device gone right now (platform::deviceGone,
// which sends nothing). A sweep or an upload asks after a failed call and ends at once.
bool linkLost(const ConnectionContext& ctx);

// The read sweep: one ParameterLesen per key in list order, into set (see
// ParameterSet::ReadFromController for stopping, failures, the lost link and the origins).
// REQUIRES: ctx is not null.
SweepOutcome readSweep(ConnectionContext* ctx, ParameterSet& set, UserInteraction& ui);

// The exchanged keys whose value has no origin (ValueOrigin::None), in list order: what a
// transfer would send from nowhere.
std::vector<const ParameterInfo*> keysWithoutOrigin(const ParameterSet& set);

} // namespace moravel

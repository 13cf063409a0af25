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

// The read sweep: one ParameterLesen per key in list order. A key whose read fails shows its
// read message and keeps its values; after each key ui.reportProgress(k, 38). Returns the
// rows whose read failed. REQUIRES: ctx is not null.
std::vector<const ParameterInfo*> readSweep(ConnectionContext* ctx, ParameterSet& set, UserInteraction& ui);

// The exchanged keys whose value has no origin (ValueOrigin::None), in list order: what a
// transfer would send from nowhere.
std::vector<const ParameterInfo*> keysWithoutOrigin(const ParameterSet& set);

} // namespace moravel

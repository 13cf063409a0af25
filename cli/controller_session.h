#pragma once
// What the controller commands share: the connection (the stored settings with this run's
// --port, --auto or --name on top, and what to say when the open fails) and the template a
// read starts from.

#include "app/controller/moravel_app.h"
#include "cli/commands.h"

#include <optional>
#include <vector>

namespace moravel::cli {

// Loads the stored settings, then applies the connection option of this run (not stored).
// Returns the exit status of a usage error, or nothing.
std::optional<int> setUpConnection(const Arguments& args, CMoravelSDIApp& app);

// After the open's own message: what the ports tried look like from here, one line each on
// stderr. Returns kExitNoConnection.
int noConnection(const std::vector<int>& tried);
int noConnection(const CMoravelSDIApp& app);

// Renews doc from the template file, or from the built-in template (with a note on stderr)
// when there is none. Returns the exit status when neither can be read, or nothing.
std::optional<int> renewFromTemplate(CMoravelSDIDoc& doc, UserInteraction& ui);

// The differing keys on stdout: one line each (key, macro name, the set's value, the
// controller's, tab-separated), or a JSON array. False when stdout cannot be written.
bool printDifferences(const std::vector<ParameterDifference>& differences, bool json);

} // namespace moravel::cli

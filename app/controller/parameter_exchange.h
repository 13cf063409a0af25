#pragma once
// What the parameter read, transfer and comparison commands report.

#include "params/parameter_table.h"

#include <string>
#include <string_view>
#include <vector>

namespace moravel {

// Status texts of the read and the transfer (UTF-8).
inline constexpr std::string_view ParameterTransferRunning = "Parameterübertragung ... ";
// Only when every key of the sweep went through.
inline constexpr std::string_view ParameterTransferDone = "Parameterübertragung ist abgeschlossen.";

// The closing status text of a sweep that covered total keys, done of them through: "ist
// abgeschlossen." only when all went through; "abgebrochen: 12 von 38 übertragen." when it
// ended early (the device vanished, "Abbrechen", a stop request); "mit Fehlern: 36 von 38
// übertragen." when it went to the end with failed keys.
std::string sweepClosingText(int done, int total, bool endedEarly);

// How a parameter read or transfer command went.
struct SweepResult {
    bool connected = false; // false: the open failed (its message was shown), nothing was sent
    int failedKeys = 0;     // keys whose library call failed (their messages were shown)
    bool linkLost = false;  // the device vanished; the connection is closed (one message shown)
    bool stopped = false;   // ended early: the user chose "Abbrechen" or asked to stop
};

// One key whose value differs between a parameter set and the controller.
struct ParameterDifference {
    const ParameterInfo* parameter = nullptr;
    std::string setValue;        // valueText() in the file format; the controller name as it
    std::string controllerValue; // is (both code page 1252 bytes)
};

struct ComparisonResult {
    bool connected = false; // false: the open failed, nothing was read
    int failedKeys = 0;     // keys whose read failed (their messages were shown)
    bool linkLost = false;  // as in SweepResult; only the keys read are compared
    bool stopped = false;
    std::vector<ParameterDifference> differences; // in exchange-list order
};

// The value texts compareWithController compares: valueText() of the file format, except
// the controller name, which is compared as the 16 bytes a transfer would send (the name
// padded with blanks), since a file holds it without its trailing blanks.
std::string comparisonText(const ParameterInfo& p, const ParameterSet& set);

} // namespace moravel

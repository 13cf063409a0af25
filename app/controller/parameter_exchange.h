#pragma once
// What the parameter read, transfer and comparison commands report.

#include "params/parameter_table.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct ConnectionContext; // the link library's connection record (quorlink.h)

namespace moravel {

class CMoravelSDIApp;
class UserInteraction;

// Status texts of the read and the transfer (UTF-8).
inline constexpr std::string_view kParameterTransferRunning = "Parameterübertragung ... ";
// Only when every key of the sweep went through.
inline constexpr std::string_view kParameterTransferDone = "Parameterübertragung ist abgeschlossen.";

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

// The road every parameter command takes around its sweep: open if needed, mode 1, the
// status text and the busy indicator, the sweep, mode 2, the closing status text. Without
// a connection nothing is sent. A sweep the user stopped still ends with mode 2; one whose
// device vanished ends with the lost-link message and a closed connection, and sends nothing
// more. The closing text counts the keys that went through out of total. The busy indicator
// goes off also when the sweep throws.
SweepResult aroundSweep(CMoravelSDIApp& app, UserInteraction& ui, int total,
                        const std::function<SweepOutcome(ConnectionContext*)>& sweep);

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

#pragma once
// The program's in-memory copy of every controller parameter.
//
// A ParameterSet holds the values of all 45 keys of the parameter table (parameter_table.h)
// and the comments of the lines of the last parameter file read. The document owns exactly
// one; the reader fills it from a file, the dialogs edit it, the writer turns it back into a
// file, and the controller exchange reads and sends it.
//
// The members are public and are accessed directly (dialogs, controller exchange) or,
// generically, through the accessors of the parameter table. The set keeps no modification
// state; whoever changes a member marks the document modified.
//
// Text: the controller name and the comments are the file's raw bytes (code page 1252),
// never converted. Convert with cp1252.h only for display.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct ConnectionContext; // the link library's connection record (quorlink.h)

namespace moravel {

class UserInteraction;
struct ParameterInfo;

// One of the four homing steps (shown to the user as "1." to "4.").
//   Reihenfolge: the axis homed in this step, 0 X, 1 Y, 2 Z, 3 C;
//   Richtung:    the direction of this step, 0 positive, 1 negative, 2 not homed.
// The direction belongs to the step, not to an axis. In ParameterSet the four directions and
// the four axes are kept as two arrays (that is their order in the file and on the wire);
// homingStep()/setHomingStep() give the per-step view.
struct HomingStep {
    std::int32_t Richtung = 0;
    std::int32_t Reihenfolge = 0;
    friend bool operator==(const HomingStep&, const HomingStep&) = default;
};

// The homing-order rule: the OR of (1 << Reihenfolge[n]) over the four steps, taken as an
// 8-bit value, must be 0x0F (every axis exactly once). Values outside 0 to 7 (for example -1,
// a dialog column without a selection) add nothing.
bool isValidHomingOrder(const std::array<std::int32_t, 4>& reihenfolge);

// Axis order of every quadruple: X, Y, Z, C.
inline constexpr int kAxisX = 0;
inline constexpr int kAxisY = 1;
inline constexpr int kAxisZ = 2;
inline constexpr int kAxisC = 3;

// The default controller name, 16 characters ("NC-Travo USB" and four blanks). The Sonstige
// dialog stores it in place of an empty name; the writer writes it for a name that would
// otherwise make the file unreadable.
inline constexpr std::string_view kDefaultControllerName = "NC-Travo USB    ";

// Where a parameter's value came from. Only values read from a file, read from the
// controller or entered in a dialog may be sent to the controller; None marks a value from
// nowhere (a key the file read lacked, or a key whose controller read failed, which then
// still holds the template's value the read started from).
enum class ValueOrigin : std::uint8_t { None, File, Controller, Dialog };

// Which keys a transfer sends: every exchanged key, or only those whose value has an origin.
enum class TransferScope : std::uint8_t { AllKeys, KeysWithOrigin };

// How one sweep over the exchange list (read or transfer) ended.
struct SweepOutcome {
    std::vector<const ParameterInfo*> failed; // keys whose call failed, their messages shown
    int done = 0;                             // keys whose call succeeded
    bool stopped = false;                     // ended early: "Abbrechen" in a failure message, or a stop request
    bool linkLost = false;                    // the device vanished: ended at once, nothing shown for it here
    int failedKeys() const { return static_cast<int>(failed.size()); }
};

class ParameterSet {
public:
    // Numeric members are 0, the controller name and lineComments are empty.
    ParameterSet() = default;
    virtual ~ParameterSet() = default;
    ParameterSet(const ParameterSet&) = delete;
    ParameterSet& operator=(const ParameterSet&) = delete;

    // Reads the complete text of a parameter file: sets the members named by its lines,
    // refills lineComments, replaces invalid values by their defaults with one message each,
    // and stops with a message at the first syntax error (or a homing order that does not
    // name every axis once). Messages go to ui.showMessage, one call per message box.
    // Origins: every key starts at None, and each key of the table whose line was read (its
    // value stored, also a default in place of an invalid value) gets File.
    // Returns false for an empty text (no message, nothing touched) and after a syntax or
    // homing-order error; true otherwise. Runs in time proportional to the text's size and
    // does not depend on the C or C++ global locale.
    bool ReadText(std::string_view text, UserInteraction& ui);

    // The text of a parameter file: one line "%04x=%-32s%s\n" for every key of lineComments
    // that the parameter table lists, in ascending key order, with the stored comment. The
    // values are written as they are, without validation. Shows nothing, cannot fail,
    // independent of the global locale.
    std::string WriteText() const;

    // The exchange with the controller over the 38 keys of exchangeList(), in list order, one
    // library call per key (controller_exchange.cpp, through the link library).
    // Before each key ui.stopRequested() is asked; when it is true the sweep ends there
    // (stopped). A key whose call fails shows its read or transfer message through
    // ui.showStepFailure; the sweep goes on unless that returns false (stopped). When a
    // failed call finds the device gone (linkLost()), the sweep ends at once without the
    // key's message (linkLost); the caller tells the user. After each key
    // ui.reportProgress(k, 38).
    // ReadFromController sets every exchanged key's origin to None first and Controller for
    // each key read; it stores what the controller returns without validation and leaves a
    // failed key's values as they were; it does nothing for a null ctx.
    // TransferToController changes nothing in the set; a null ctx sends nothing; with
    // KeysWithOrigin the keys without origin are passed over.
    SweepOutcome ReadFromController(ConnectionContext* ctx, UserInteraction& ui);
    SweepOutcome TransferToController(ConnectionContext* ctx, UserInteraction& ui,
                                      TransferScope scope = TransferScope::AllKeys) const;

    // The origin of a key's value; None for a key never set.
    ValueOrigin origin(std::int32_t key) const
    {
        const auto it = origins.find(key);
        return it == origins.end() ? ValueOrigin::None : it->second;
    }
    void setOrigin(std::int32_t key, ValueOrigin origin) { origins[key] = origin; }

    // Per-step view of the homing record; n = 0 to 3.
    HomingStep homingStep(int n) const { return {Richtung[n], Reihenfolge[n]}; }
    void setHomingStep(int n, HomingStep step)
    {
        Richtung[n] = step.Richtung;
        Reihenfolge[n] = step.Reihenfolge;
    }

    // The members, group by group; inside the Mechanik group the reversal flags (0x0408) come
    // after the travel ranges and positions. Quadruples are indexed with kAxisX ... kAxisC.

    // Motortest.
    std::int32_t motortestWeglaenge = 0;      // 0x0000 steps
    float motortestStartStop = 0;             // 0x0001 mm/s
    float motortestMaxGeschwindigkeit = 0;    // 0x0002 mm/s
    std::int32_t motortestBeschleunigung = 0; // 0x0003 mm/s²

    // Geschwindigkeiten.
    float startStopGeschwindigkeit = 0;         // 0x0100 mm/s
    float fahrGeschwindigkeit = 0;              // 0x0101 mm/s
    float eilgang = 0;                          // 0x0102 mm/s
    float manuellLangsam = 0;                   // 0x0103 mm/s
    float manuellSchnell = 0;                   // 0x0104 mm/s
    float referenzfahrtGeschwindigkeit = 0;     // 0x0105 mm/s
    float referenzfahrtFreiGeschwindigkeit = 0; // 0x0106 mm/s
    std::int32_t beschleunigung = 0;            // 0x0107 mm/s²
    std::int32_t bremswinkel = 0;               // 0x0108 degrees, file only
    std::int32_t umschaltzeit = 0;              // 0x0109 ms, file only

    // Schnittstelle: 1 active low, 2 active high, 3 switched off.
    std::int32_t zusatzsignalSpindel = 0;        // 0x0200
    std::int32_t zusatzsignalKuehlung = 0;       // 0x0201
    std::int32_t zusatzsignalStromabsenkung = 0; // 0x0202
    std::int32_t zusatzsignalBoost = 0;          // 0x0203

    // Homing record, key 0x0304: Richtung[n] and Reihenfolge[n] of homing step n.
    std::array<std::int32_t, 4> Richtung{};
    std::array<std::int32_t, 4> Reihenfolge{};

    // Mechanik.
    std::array<float, 4> aufloesung{};                 // 0x0400-0x0403 steps/mm
    std::array<std::int32_t, 4> umkehrspiel{};         // 0x0404-0x0407 steps
    std::array<std::int32_t, 4> verfahrbereichVon{};   // 0x0409 mm
    std::array<std::int32_t, 4> verfahrbereichBis{};   // 0x040A mm
    std::array<std::int32_t, 4> parkposition{};        // 0x040B mm
    std::array<std::int32_t, 4> nullpunkt{};           // 0x040C mm
    std::array<std::int32_t, 4> richtungsumkehr{};     // 0x0408 0 off, 1 on
    std::array<std::int32_t, 4> achsenconfiguration{}; // 0x040D 0 linear, 1 rotary, 2 off

    // Sonstige.
    std::int32_t werkzeugwechsel = 0;           // 0x0500 1 to 4
    std::int32_t referenzfahrtZeitpunkt = 0;    // 0x0501 1 to 3
    std::int32_t spindelhochlauf = 0;           // 0x0502 ms
    std::int32_t werkzeuganschnitt = 0;         // 0x0503 ms
    std::int32_t unbekannteProgrammbefehle = 0; // 0x0504 1 to 3
    std::string controllerName;                 // 0x0505 raw bytes, at most 16 from a file
    std::int32_t sicherheitsabstand = 0;        // 0x0506 mm
    std::int32_t weitere = 0;                   // 0x0507 ms, file only, always 0

    // Key -> comment of that key's line in the last file read ("%..." verbatim, including a
    // trailing carriage return; empty when the line had none). Holds every distinct key of
    // the file, also keys outside the table. A key number beyond the 32-bit range is clamped
    // to INT32_MAX / INT32_MIN, as the values are. Decides which lines the writer writes.
    std::map<std::int32_t, std::string> lineComments;
    // Key -> where its value came from (see ValueOrigin); keys not listed have none.
    std::map<std::int32_t, ValueOrigin> origins;
};

} // namespace moravel

#pragma once
// The parameter table: one row for each of the 45 keys, the single description of every
// controller parameter.
//
// Everything that treats parameters one by one works over this table instead of naming
// members: the file reader (valid sets, defaults, messages), the file writer (value texts),
// the controller exchange (shapes, macro names, messages) and the parameter dialogs (labels,
// ranges, list texts). A row says
//
//   - where the parameter lives: key, group, the HBYTE_/LBYTE_ macro names as text;
//   - what it is: kind, and per element (1 for a scalar, 4 for a quadruple X, Y, Z, C, 8 for
//     the homing record: the directions of steps 1 to 4, then their axes) the valid range
//     that the reader accepts, the default it stores in place of an invalid value, and the
//     message name and default text of the reader's validation message;
//   - how to reach the value(s) in a ParameterSet: longValue(set, element), floatValue(set),
//     textValue(set), chosen by kind (see ParameterKind);
//   - how it crosses the serial line: ExchangeShape (None for the file-only keys);
//   - how its dialog shows it: label or frame, the dialog's own accepted range, the
//     maximum text length of a combo box or text field, and the texts of enumerated values.
//
// Rows are in ascending key order. The table is constant data, safe to use from any thread
// and during static initialisation.
//
// Example: reset every element of every exchanged integer parameter to its default.
//
//     for (const ParameterInfo* p : exchangeList())
//         if (p->hasLongValues())
//             for (std::size_t i = 0; i < p->elementCount; ++i)
//                 p->longValue(set, i) = static_cast<std::int32_t>(p->element(i).defaultValue);
//
// Example: the validation message of the Z element of 0x040A.
//
//     const ParameterInfo& p = *findParameter(0x040A);
//     std::string text = validationMessage(p, kAxisZ);

#include "params/parameter_key.h"
#include "params/parameter_set.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravel {

// Group number -> group name and macro. The group name is also the title of the group's
// dialog and the first word of every reader message about one of its parameters.
struct GroupInfo {
    std::uint8_t number;
    std::string_view name;  // "Motortest"
    std::string_view macro; // "HBYTE_MOTORTEST"
};

// Indexed by group number. The macro name is taken from the constant itself.
#define MORAVEL_GROUP(constant, name)                                                                                  \
    GroupInfo { constant, name, #constant }
inline constexpr std::array<GroupInfo, 6> kParameterGroups{{
    MORAVEL_GROUP(HBYTE_MOTORTEST, "Motortest"),
    MORAVEL_GROUP(HBYTE_GESCHWINDIGKEITEN, "Geschwindigkeiten"),
    MORAVEL_GROUP(HBYTE_SCHNITTSTELLE, "Schnittstelle"),
    MORAVEL_GROUP(HBYTE_REFERENZFAHRT, "Referenzfahrt"),
    MORAVEL_GROUP(HBYTE_MECHANIK, "Mechanik"),
    MORAVEL_GROUP(HBYTE_SONSTIGE, "Sonstige"),
}};
#undef MORAVEL_GROUP

// What a row's value is, and which accessor reaches it.
enum class ParameterKind {
    Long,          // one int32:  longValue(set)
    Float,         // one float:  floatValue(set)
    AxisQuadruple, // four int32 X, Y, Z, C: longValue(set, 0..3); file "[%d;%d;%d;%d]"
    EnumQuadruple, // four small values as int32, one byte each on the wire; like AxisQuadruple
    HomingRecord,  // 0x0304: longValue(set, 0..3) = Richtung of steps 1-4,
                   //         longValue(set, 4..7) = Reihenfolge of steps 1-4;
                   //         file "[[%d;%d;%d;%d][%d;%d;%d;%d]]"
    String,        // 0x0505, the controller name: textValue(set)
    Reserved,      // 0x0300-0x0303: no member; the file holds "[]"
};

// How a row crosses the serial line (the library command that changes it).
enum class ExchangeShape {
    None,       // file only: 0x0108, 0x0109, 0x0300-0x0303, 0x0507
    Long,       // ParameterAendern_long
    Float,      // ParameterAendern_float (the 32-bit pattern)
    FourLongs,  // ParameterAendern_4_longs, X, Y, Z, C
    FourBytes,  // ParameterAendern_4_uchar, low byte of X, Y, Z, C
    EightBytes, // ParameterAendern_Richtung_Sequenz_ReferenzFahrt: directions, then axes
    Text16,     // ParameterAendern_ControllerName: 16 bytes, padded with blanks
};

// Which form the reader's validation message takes (see validationMessage).
enum class MessageForm {
    None,      // the row has no validation message (reserved keys, the controller name)
    Regular,   // "<group> -> <name> war ungültig\nund ist mit DEFAULT Wert (<default>) ..."
    Signal,    // Schnittstelle: "... war ungültig\nund ist mit 'deaktiv' initialisiert. ..."
    BreakLate, // Werkzeugwechsel: "... war ungültig und ist mit\nDEFAULT Wert (...) ..."
};

// The control that edits a row in its dialog.
enum class DialogControl {
    None,     // not in a dialog (reserved keys)
    Number,   // edit field, integer or float by kind (per axis for quadruples)
    Combo,    // editable combo box with valueTexts (per axis for EnumQuadruple)
    CheckBox, // per axis: clear 0, set 1 (0x0408)
    Text,     // the controller-name field
    Homing,   // the Referenzfahrt dialog: direction combos per axis, radio grid per step
};

// One element of a row: a scalar has one, a quadruple four, the homing record eight.
struct ElementInfo {
    std::string_view messageName; // "Weglänge", "'Verfahrbereich bis' Z", "Richtung[0]"
    std::string_view defaultText; // "400 Schritte", "50 mm", "1-negative"
    double defaultValue = 0;      // stored by the reader in place of an invalid value
    double validMin = 0;          // the reader's valid range, bounds included; floats are
    double validMax = 0;          // compared in double precision before narrowing
};

struct ParameterInfo {
    ParameterKey key;
    std::string_view itemMacro{}; // "LBYTE_MOTORTEST_WEGLAENGE_LONG"; empty for reserved keys
    ParameterKind kind = ParameterKind::Reserved;
    ExchangeShape shape = ExchangeShape::None;
    MessageForm messageForm = MessageForm::None;
    std::size_t elementCount = 0; // 1, 4 or 8 for numeric kinds, 0 for String and Reserved
    std::array<ElementInfo, 8> elements{};

    // Dialog data.
    DialogControl control = DialogControl::None;
    std::string_view dialogLabel{};  // label of the field, or the frame of a per-axis group
    std::string_view dialogColumn{}; // "von" / "bis" inside the "Verfahrbereich" frame
    std::string_view dialogFrame{};  // frame around a labelled field ("Noch nicht verwendet")
    double dialogMin = 0;            // range the dialog accepts on OK (Number controls); the
    double dialogMax = 0;            // same as the valid range except for the speed fields
    std::size_t dialogMaxChars = 0;  // Combo and Text controls: the most characters accepted
    // Enumerated values: valueTexts[i] is the text of value firstValue + i. The last text is
    // the fallback for every other value, and the last value the fallback for every other
    // text (see enumText/enumValue). For the homing record they are the direction texts.
    std::span<const std::string_view> valueTexts{};
    std::int32_t firstValue = 0;
    bool listHasEmptyEntry = false; // the combo list ends with an empty entry
    bool listSorted = false;        // the combo sorts its list

    // Accessors (null where the kind has no such value).
    std::int32_t& (*longAt)(ParameterSet&, std::size_t element) = nullptr;
    float& (*floatAt)(ParameterSet&) = nullptr;
    std::string& (*textAt)(ParameterSet&) = nullptr;

    constexpr std::string_view groupName() const { return kParameterGroups[key.group()].name; }
    constexpr std::string_view groupMacro() const { return kParameterGroups[key.group()].macro; }
    constexpr const ElementInfo& element(std::size_t i) const { return elements[i]; }
    constexpr bool isExchanged() const { return shape != ExchangeShape::None; }
    constexpr bool hasLongValues() const { return longAt != nullptr; }
    constexpr bool hasEnumTexts() const { return !valueTexts.empty(); }

    // REQUIRES: hasLongValues(), element < elementCount.
    std::int32_t& longValue(ParameterSet& set, std::size_t element = 0) const { return longAt(set, element); }
    std::int32_t longValue(const ParameterSet& set, std::size_t element = 0) const
    {
        return longAt(const_cast<ParameterSet&>(set), element);
    }
    // REQUIRES: kind == Float.
    float& floatValue(ParameterSet& set) const { return floatAt(set); }
    float floatValue(const ParameterSet& set) const { return floatAt(const_cast<ParameterSet&>(set)); }
    // REQUIRES: kind == String.
    std::string& textValue(ParameterSet& set) const { return textAt(set); }
    const std::string& textValue(const ParameterSet& set) const { return textAt(const_cast<ParameterSet&>(set)); }

    // Whether the reader accepts value for element i.
    constexpr bool isValid(std::size_t i, double value) const
    {
        return value >= elements[i].validMin && value <= elements[i].validMax;
    }
};

// All 45 rows, ascending by key.
std::span<const ParameterInfo> parameterTable();

// The row of a key, or null for a number outside the table (also a negative one or one
// above 0xFFFF).
const ParameterInfo* findParameter(std::int32_t key);
inline const ParameterInfo* findParameter(ParameterKey key) { return findParameter(key.value); }

// The 38 keys exchanged with the controller, in ascending key order (every row whose shape
// is not None).
std::span<const ParameterInfo* const> exchangeList();

// The value of p in set as the writer writes it after "KEY=" (without the padding to 32
// characters): "%d", "%f", "[%d;%d;%d;%d]", the homing record, the controller name (or the
// default name where the writer substitutes it), "[]" for the reserved keys.
std::string valueText(const ParameterInfo& p, const ParameterSet& set);

// Enumerated values as dialog texts. REQUIRES: p.hasEnumTexts().
// enumText: the text of value, or the last text for any value outside the list.
// enumValue: the value of an exactly equal text (byte for byte), or the last value.
std::string_view enumText(const ParameterInfo& p, std::int32_t value);
std::int32_t enumValue(const ParameterInfo& p, std::string_view text);

// ---- Messages (UTF-8). The texts are the program's own and are used exactly. ----

// The reader's message for element i of p replaced by its default.
// REQUIRES: p.messageForm != MessageForm::None.
std::string validationMessage(const ParameterInfo& p, std::size_t element = 0);

// The reader's syntax errors; the message names the line number.
enum class SyntaxError {
    NoEquals, // "Kein '=' vorhanden"
    NoKey,    // "Kein HB LB vorhanden"
    NoValue,  // "Kein Wert vorhanden"
    BadKey,   // "Syntax Error in HB LB"
    BadValue, // "Syntax Error im Wert"
};
std::string syntaxErrorMessage(SyntaxError error, int lineNumber);

inline constexpr std::string_view kControllerNameTruncatedMessage =
    "Achtung! Sonstige -> Controllername war länger als 16 char\n"
    "und ist auf genau 16 char gekürzt worden.";

// The reader's homing-order message (it stops reading).
inline constexpr std::string_view kHomingOrderFileMessage = "Referenzfahrt -> Reihenfolge war ungültig.\n"
                                                           "Jede Achse muss GENAU EIN MAL auftreten.\n"
                                                           "Bitte beenden Sie das Programm und korigieren Sie den File";

// The Referenzfahrt dialog's homing-order message (nothing of the dialog is stored).
inline constexpr std::string_view kHomingOrderDialogMessage =
    "Referenzfahrt -> Reihenfolge war ungültig und ist nicht geändert worden.\n"
    "Jede Achse muss GENAU EIN MAL auftreten. Bitte definieren Reihenfolge richtig im Dialog.";

// The Sonstige dialog's message when it stores kDefaultControllerName for an empty field.
inline constexpr std::string_view kControllerNameEmptyMessage =
    "Sonstige -> Controllername war leer\n"
    "und ist mit DEFAULT Wert (NC-Travo USB    ) initialisiert.\n"
    "Bitte definieren Sie den Wert richtig im Dialog.";

// The controller exchange's message for a failed read (ParameterLesen) or transfer
// (ParameterAendern_*) of p. REQUIRES: p.isExchanged().
std::string readErrorMessage(const ParameterInfo& p);
std::string transferErrorMessage(const ParameterInfo& p);

} // namespace moravel

#pragma once
// The six parameter dialogs without widgets: their fields, the orders in which they are
// checked and written back, and the common pattern of a dialog command.
//
// Each dialog is data, a DialogForm: its fields in exchange order (the order in which "OK"
// reads and checks them), the order in which they stand on the screen, and the order in which
// they are written back. Labels, ranges, maximum lengths and list texts come from the
// parameter table row of each field; the orders and the control ids are the dialog's own.
// A few generic functions run every dialog:
//
//   copyIn         the stored values into the dialog members (enumerated values as text,
//                  the old values kept for the comparison on write-back)
//   controlValue   what a control shows for its member when the dialog opens
//   exchange       "OK": the controls' contents checked in exchange order into the members;
//                  the first failing field and its message
//   writeBack      the members into the document's ParameterSet; the modified flag is set
//                  only for values that change
//   runDialogCommand  the whole command; the modal part is a DialogPresenter (the Qt dialog,
//                  or a script in the tests)
//
// Texts in members and controls are UTF-8; the controller name is converted from and to its
// stored code page 1252 bytes here.
//
// Example: the Sonstige command with a presenter that types a new name and presses OK.
//
//     class TypeName : public DialogPresenter {
//         bool showModal(const DialogForm& form, DialogMembers& members) override {
//             std::vector<ControlValue> controls = controlValues(form, members);
//             controls[fieldIndex(form, 1145)].text = "Fräse 2";
//             return !exchange(form, controls, members); // no failure: the dialog closes
//         }
//     } presenter;
//     runDialogCommand(DialogId::Sonstige, doc, ui, presenter);

#include "app/document/moravel_document.h"
#include "params/parameter_table.h"
#include "params/user_interaction.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moravel {

// The six dialogs, in the order of the "Parameter" menu.
enum class DialogId : std::uint8_t { Geschwindigkeiten, Schnittstelle, Mechanik, Motortest, Referenzfahrt, Sonstige };

// How a field's control edits its member.
enum class FieldKind : std::uint8_t {
    Integer,         // edit field; int32 in the row's dialogMin ... dialogMax
    Float,           // edit field; float, range checked in single precision
    Combo,           // editable combo box of an enumerated value; text of at most dialogMaxChars
    Text,            // the controller-name field; at most dialogMaxChars (typing stops there)
    CheckBox,        // 0 clear, 1 set
    HomingDirection, // Referenzfahrt: the direction combo box of one axis
    HomingColumn,    // Referenzfahrt: the radio group of one homing step; row index, -1 none
};

// How a dialog arranges its fields.
enum class DialogLayout : std::uint8_t {
    LabelRows,  // one row per field, label left, field right; rows sharing a dialogFrame framed
    AxisFrames, // Mechanik: one frame per quantity (the row's dialogLabel), one row per axis
    Homing,     // Referenzfahrt: direction combos per axis, radio grid of steps x axes
};

struct DialogField {
    std::uint16_t id;     // control id; also names the widget ("field<id>")
    ParameterKey key;     // the parameter table row
    std::uint8_t element; // quadruples: the axis; HomingDirection: the axis (0 to 3);
                          // HomingColumn: 4 + the step (the row's Reihenfolge element); else 0
    std::int8_t axis;     // the field's row in a per-axis frame (kAxisX ... kAxisC), -1 otherwise

    const ParameterInfo& parameter() const;
    FieldKind kind() const;
    // The step of a HomingColumn (0 to 3).
    int step() const { return element - 4; }
};

struct DialogForm {
    DialogId id;
    std::uint8_t group; // HBYTE_ of its parameters
    DialogLayout layout;
    std::span<const DialogField> fields;          // exchange order
    std::span<const std::uint8_t> screenOrder;    // field indices: reading order, also Tab order
    std::span<const std::uint8_t> writeBackOrder; // field indices; Referenzfahrt: the columns,
                                                  // each writing its step and that axis's direction

    // The group name: "Geschwindigkeiten", "Schnittstelle", ...
    std::string_view title() const { return kParameterGroups[group].name; }
};

const DialogForm& dialogForm(DialogId id);
// All six, in DialogId order.
std::span<const DialogForm> dialogForms();
// The index of the field with control id, or fields.size() when there is none.
std::size_t fieldIndex(const DialogForm& form, std::uint16_t id);

// ---- Dialog members.

// One member per field. A new dialog object holds 0, empty texts and -1 (radio groups).
struct FieldMember {
    std::int32_t integer = 0; // Integer, CheckBox, HomingColumn
    float number = 0;         // Float
    std::string text;         // Combo, Text, HomingDirection (UTF-8)
};

struct DialogMembers {
    std::vector<FieldMember> fields;            // parallel to DialogForm::fields
    std::vector<std::int32_t> keptValues;       // Combo fields: the stored value at copyIn
    std::array<std::int32_t, 4> keptRichtung{}; // the homing record at copyIn
    std::array<std::int32_t, 4> keptReihenfolge{};
};

// A dialog object as constructed: 0, empty texts and -1.
DialogMembers newMembers(const DialogForm& form);

// Copies the stored values into new members. Numbers and check boxes unchanged; enumerated
// values as the text of their value (the fallback text for any other value), the values
// kept. Referenzfahrt: for step n = 0 ... 3 in turn, column n+1 gets Reihenfolge[n] (an axis
// outside 0 to 3 leaves it at -1 and sets no text); the direction combo of that axis gets the
// text of Richtung[n], so the later of two steps naming one axis wins. An axis no step names
// keeps an empty text.
DialogMembers copyIn(const DialogForm& form, const ParameterSet& set);

// ---- Controls.

// What a control holds: the text of an edit field or combo box, or the state of a check box
// (0, 1) or of a radio group (row index, -1 none).
struct ControlValue {
    std::string text;
    std::int32_t state = 0;
};

// What the control of field i shows for its member: an integer in plain decimal, a float
// with at most 6 significant digits and a point, texts as they are.
ControlValue controlValue(const DialogField& field, const FieldMember& member);
std::vector<ControlValue> controlValues(const DialogForm& form, const DialogMembers& members);

// The list of a combo box, in display order: the row's texts (sorted, letter case ignored,
// when the row says so), then an empty entry when the row has one.
std::vector<std::string> comboEntries(const DialogField& field);

// The entry a combo box selects on opening: the first that begins with text, letter case
// ignored (an empty text selects the first entry); nothing when none does, and the combo then
// shows the text itself.
std::optional<std::size_t> findComboEntry(std::span<const std::string> entries, std::string_view text);

struct FieldFailure {
    std::size_t field;   // index into DialogForm::fields
    std::string message; // the standard validation message
};

// "OK": reads the controls (parallel to form.fields) into the members in exchange order and
// stops at the first that fails its check (integer, number and range; text length and code
// page). Members before the failing field are already updated, as a dialog's are.
std::optional<FieldFailure> exchange(const DialogForm& form, std::span<const ControlValue> controls,
                                     DialogMembers& members);

// ---- The command.

enum class DialogOutcome {
    NotAvailable,  // m_bParametersValid is clear: nothing shown, nothing changed
    Cancelled,     // "Abbrechen", Esc or the close box: nothing changed
    Stored,        // "OK": the members were written back
    OrderRejected, // Referenzfahrt: the homing order does not name every axis once; the
                   // message was shown and nothing of the dialog was stored
};

// Writes the members of a successful exchange back into doc.m_parameterSet in write-back
// order, setting the modified flag (never clearing it) and the key's origin Dialog for each
// value that changes:
//   numbers and check boxes only when they differ (floats compared as floats);
//   enumerated values from their text (the fallback value for any other text), stored
//   unconditionally, the flag set when the value differs from the kept one;
//   the controller name: an empty field stores kDefaultControllerName, shows
//   kControllerNameEmptyMessage and sets the flag; any other text is stored as typed (in code
//   page 1252) when it differs from the stored name;
//   Referenzfahrt: first the homing-order check over the four columns; when it fails,
//   kHomingOrderDialogMessage and nothing stored (OrderRejected); otherwise for each step n
//   Reihenfolge[n] from column n+1 and Richtung[n] from the direction text of that axis, the
//   flag set when either differs from the kept record.
// Returns Stored or OrderRejected.
DialogOutcome writeBack(const DialogForm& form, const DialogMembers& members, CMoravelSDIDoc& doc, UserInteraction& ui);

// The modal part of a dialog command: shows the dialog with the members and lets the user
// edit them. Returns true after a successful "OK" (the members then hold the checked values,
// see exchange), false when the dialog was cancelled.
class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    virtual bool showModal(const DialogForm& form, DialogMembers& members) = 0;
};

// The common pattern of a dialog command: nothing while m_bParametersValid is clear;
// otherwise copyIn, the presenter, and on "OK" writeBack.
DialogOutcome runDialogCommand(DialogId id, CMoravelSDIDoc& doc, UserInteraction& ui, DialogPresenter& presenter);

} // namespace moravel

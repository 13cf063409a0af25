#include "app/dialogs/dialog_rules.h"

#include "app/dialogs/field_validation.h"
#include "params/cp1252.h"

#include <algorithm>

namespace moravel {
namespace {

// Letter case of code page 1252, as a combo box ignores it: A-Z, À-Þ (but ×), Š, Œ, Ž, Ÿ.
unsigned char lowerCp1252(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A:
        return 0x9A;
    case 0x8C:
        return 0x9C;
    case 0x8E:
        return 0x9E;
    case 0x9F:
        return 0xFF;
    default:
        return c;
    }
}

std::string foldedCp1252(std::string_view utf8)
{
    std::string bytes = utf8ToCp1252(utf8).bytes;
    for (char& c : bytes)
        c = static_cast<char>(lowerCp1252(static_cast<unsigned char>(c)));
    return bytes;
}

// The direction text of an axis: the member of that axis's combo box.
const std::string* directionText(const DialogForm& form, const DialogMembers& members, std::int32_t axis)
{
    for (std::size_t i = 0; i < form.fields.size(); ++i)
        if (form.fields[i].kind() == FieldKind::HomingDirection && form.fields[i].element == axis)
            return &members.fields[i].text;
    return nullptr;
}

bool hasHomingColumns(const DialogForm& form)
{
    return std::any_of(form.fields.begin(), form.fields.end(),
                       [](const DialogField& f) { return f.kind() == FieldKind::HomingColumn; });
}

// A value the dialog changed: the document is modified and the key's value is the user's.
void markChanged(const ParameterInfo& p, CMoravelSDIDoc& doc)
{
    doc.setModified();
    doc.m_parameterSet.setOrigin(p.key.value, ValueOrigin::Dialog);
}

void storeControllerName(const ParameterInfo& p, const std::string& text, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    std::string& stored = p.textValue(doc.m_parameterSet);
    if (text.empty()) {
        stored = kDefaultControllerName;
        ui.showMessage(kControllerNameEmptyMessage);
        markChanged(p, doc);
        return;
    }
    std::string bytes = utf8ToCp1252(text).bytes;
    if (bytes != stored) {
        stored = std::move(bytes);
        markChanged(p, doc);
    }
}

template <typename T>
void storeIfChanged(const ParameterInfo& p, T& stored, T value, CMoravelSDIDoc& doc)
{
    if (stored != value) {
        stored = value;
        markChanged(p, doc);
    }
}

} // namespace

const ParameterInfo& DialogField::parameter() const { return *findParameter(key); }

FieldKind DialogField::kind() const
{
    const ParameterInfo& p = parameter();
    switch (p.control) {
    case DialogControl::Combo:
        return FieldKind::Combo;
    case DialogControl::CheckBox:
        return FieldKind::CheckBox;
    case DialogControl::Text:
        return FieldKind::Text;
    case DialogControl::Homing:
        return element < 4 ? FieldKind::HomingDirection : FieldKind::HomingColumn;
    case DialogControl::Number:
    case DialogControl::None:
        break;
    }
    return p.kind == ParameterKind::Float ? FieldKind::Float : FieldKind::Integer;
}

std::size_t fieldIndex(const DialogForm& form, std::uint16_t id)
{
    const auto it =
        std::find_if(form.fields.begin(), form.fields.end(), [id](const DialogField& f) { return f.id == id; });
    return static_cast<std::size_t>(it - form.fields.begin());
}

DialogMembers newMembers(const DialogForm& form)
{
    DialogMembers members;
    members.fields.resize(form.fields.size());
    members.keptValues.resize(form.fields.size());
    for (std::size_t i = 0; i < form.fields.size(); ++i)
        if (form.fields[i].kind() == FieldKind::HomingColumn)
            members.fields[i].integer = -1;
    return members;
}

DialogMembers copyIn(const DialogForm& form, const ParameterSet& set)
{
    DialogMembers members = newMembers(form);
    for (std::size_t i = 0; i < form.fields.size(); ++i) {
        const DialogField& f = form.fields[i];
        const ParameterInfo& p = f.parameter();
        FieldMember& m = members.fields[i];
        switch (f.kind()) {
        case FieldKind::Integer:
        case FieldKind::CheckBox:
            m.integer = p.longValue(set, f.element);
            break;
        case FieldKind::Float:
            m.number = p.floatValue(set);
            break;
        case FieldKind::Combo:
            members.keptValues[i] = p.longValue(set, f.element);
            m.text = enumText(p, members.keptValues[i]);
            break;
        case FieldKind::Text:
            m.text = cp1252ToUtf8(p.textValue(set));
            break;
        case FieldKind::HomingDirection:
        case FieldKind::HomingColumn:
            break; // below, step by step
        }
    }
    if (!hasHomingColumns(form))
        return members;

    members.keptRichtung = set.Richtung;
    members.keptReihenfolge = set.Reihenfolge;
    const ParameterInfo& homing =
        *findParameter(ParameterKey(HBYTE_REFERENZFAHRT, LBYTE_REFERENZFAHRT_RICHTUNG_UND_REIHENFOLGE_UCHAR));
    for (int step = 0; step < 4; ++step) {
        const std::int32_t axis = set.Reihenfolge[step];
        const bool known = axis >= 0 && axis < 4;
        for (std::size_t i = 0; i < form.fields.size(); ++i)
            if (form.fields[i].kind() == FieldKind::HomingColumn && form.fields[i].step() == step)
                members.fields[i].integer = known ? axis : -1;
        if (known)
            for (std::size_t i = 0; i < form.fields.size(); ++i)
                if (form.fields[i].kind() == FieldKind::HomingDirection && form.fields[i].element == axis)
                    members.fields[i].text = enumText(homing, set.Richtung[step]);
    }
    return members;
}

ControlValue controlValue(const DialogField& field, const FieldMember& member)
{
    switch (field.kind()) {
    case FieldKind::Integer:
        return {std::to_string(member.integer), 0};
    case FieldKind::Float:
        return {formatDialogFloat(member.number), 0};
    case FieldKind::Combo:
    case FieldKind::Text:
    case FieldKind::HomingDirection:
        return {member.text, 0};
    case FieldKind::CheckBox:
    case FieldKind::HomingColumn:
        break;
    }
    return {{}, member.integer};
}

std::vector<ControlValue> controlValues(const DialogForm& form, const DialogMembers& members)
{
    std::vector<ControlValue> controls;
    for (std::size_t i = 0; i < form.fields.size(); ++i)
        controls.push_back(controlValue(form.fields[i], members.fields[i]));
    return controls;
}

std::vector<std::string> comboEntries(const DialogField& field)
{
    const ParameterInfo& p = field.parameter();
    std::vector<std::string> entries(p.valueTexts.begin(), p.valueTexts.end());
    if (p.listSorted)
        std::stable_sort(entries.begin(), entries.end(),
                         [](const std::string& a, const std::string& b) { return foldedCp1252(a) < foldedCp1252(b); });
    if (p.listHasEmptyEntry)
        entries.emplace_back();
    return entries;
}

std::optional<std::size_t> findComboEntry(std::span<const std::string> entries, std::string_view text)
{
    const std::string prefix = foldedCp1252(text);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (foldedCp1252(entries[i]).starts_with(prefix))
            return i;
    return std::nullopt;
}

std::optional<FieldFailure> exchange(const DialogForm& form, std::span<const ControlValue> controls,
                                     DialogMembers& members)
{
    for (std::size_t i = 0; i < form.fields.size(); ++i) {
        const DialogField& f = form.fields[i];
        const ParameterInfo& p = f.parameter();
        const ControlValue& control = controls[i];
        FieldMember& m = members.fields[i];
        switch (f.kind()) {
        case FieldKind::Integer: {
            const auto check = checkIntegerField(control.text, static_cast<std::int64_t>(p.dialogMin),
                                                 static_cast<std::int64_t>(p.dialogMax));
            if (!check.ok())
                return FieldFailure{i, check.message};
            m.integer = *check.value;
            break;
        }
        case FieldKind::Float: {
            const auto check = checkFloatField(control.text, p.dialogMin, p.dialogMax);
            if (!check.ok())
                return FieldFailure{i, check.message};
            m.number = *check.value;
            break;
        }
        case FieldKind::Combo:
        case FieldKind::Text:
        case FieldKind::HomingDirection: {
            auto check = checkCp1252Text(control.text, p.dialogMaxChars);
            if (!check.ok())
                return FieldFailure{i, check.message};
            m.text = std::move(*check.value);
            break;
        }
        case FieldKind::CheckBox:
            m.integer = control.state != 0 ? 1 : 0;
            break;
        case FieldKind::HomingColumn:
            m.integer = control.state >= 0 && control.state < 4 ? control.state : -1;
            break;
        }
    }
    return std::nullopt;
}

DialogOutcome writeBack(const DialogForm& form, const DialogMembers& members, CMoravelSDIDoc& doc, UserInteraction& ui)
{
    ParameterSet& set = doc.m_parameterSet;
    if (hasHomingColumns(form)) {
        std::array<std::int32_t, 4> order{-1, -1, -1, -1};
        for (std::size_t i = 0; i < form.fields.size(); ++i)
            if (form.fields[i].kind() == FieldKind::HomingColumn)
                order[static_cast<std::size_t>(form.fields[i].step())] = members.fields[i].integer;
        if (!isValidHomingOrder(order)) {
            ui.showMessage(kHomingOrderDialogMessage);
            return DialogOutcome::OrderRejected;
        }
    }

    for (std::uint8_t i : form.writeBackOrder) {
        const DialogField& f = form.fields[i];
        const ParameterInfo& p = f.parameter();
        const FieldMember& m = members.fields[i];
        switch (f.kind()) {
        case FieldKind::Integer:
        case FieldKind::CheckBox:
            storeIfChanged(p, p.longValue(set, f.element), m.integer, doc);
            break;
        case FieldKind::Float:
            storeIfChanged(p, p.floatValue(set), m.number, doc);
            break;
        case FieldKind::Combo: {
            const std::int32_t value = enumValue(p, m.text);
            p.longValue(set, f.element) = value;
            if (value != members.keptValues[i])
                markChanged(p, doc);
            break;
        }
        case FieldKind::Text:
            storeControllerName(p, m.text, doc, ui);
            break;
        case FieldKind::HomingColumn: {
            const auto step = static_cast<std::size_t>(f.step());
            const std::string* text = directionText(form, members, m.integer);
            set.Reihenfolge[step] = m.integer;
            set.Richtung[step] = enumValue(p, text ? *text : std::string_view{});
            if (set.Reihenfolge[step] != members.keptReihenfolge[step] ||
                set.Richtung[step] != members.keptRichtung[step])
                markChanged(p, doc);
            break;
        }
        case FieldKind::HomingDirection:
            break; // written with the column that names its axis
        }
    }
    return DialogOutcome::Stored;
}

DialogOutcome runDialogCommand(DialogId id, CMoravelSDIDoc& doc, UserInteraction& ui, DialogPresenter& presenter)
{
    if (!doc.m_bParametersValid)
        return DialogOutcome::NotAvailable;
    const DialogForm& form = dialogForm(id);
    DialogMembers members = copyIn(form, doc.m_parameterSet);
    if (!presenter.showModal(form, members))
        return DialogOutcome::Cancelled;
    return writeBack(form, members, doc, ui);
}

} // namespace moravel

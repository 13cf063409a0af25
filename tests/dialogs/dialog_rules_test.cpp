// The dialog commands without widgets, driven by a scripted presenter: copy in, the checks on
// "OK" in exchange order, the write-back with its modified-flag rules; and the field checks.

#include "app/dialogs/dialog_rules.h"
#include "app/dialogs/field_validation.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <variant>

namespace moravel {
namespace {

using Controls = std::vector<ControlValue>;
using Four = std::array<std::int32_t, 4>;

ControlValue& at(const DialogForm& form, Controls& controls, std::uint16_t id)
{
    EXPECT_LT(fieldIndex(form, id), form.fields.size()) << id;
    return controls.at(fieldIndex(form, id));
}

// Sets the texts (or the states of check boxes and radio columns) of fields by id, then
// presses "OK"; keeps what the dialog showed.
struct Script : DialogPresenter {
    Script(std::vector<std::pair<std::uint16_t, std::string>> t = {}, std::vector<std::pair<std::uint16_t, int>> s = {})
        : texts(std::move(t)), states(std::move(s))
    {
    }
    bool showModal(const DialogForm& form, DialogMembers& members) override
    {
        ++calls;
        Controls controls = shown = controlValues(form, members);
        for (const auto& [id, text] : texts)
            at(form, controls, id).text = text;
        for (const auto& [id, state] : states)
            at(form, controls, id).state = state;
        return !exchange(form, controls, members);
    }
    std::vector<std::pair<std::uint16_t, std::string>> texts;
    std::vector<std::pair<std::uint16_t, int>> states;
    int calls = 0;
    Controls shown;
};

class DialogRules : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(doc.LoadFromFile(MORAVEL_TEMPLATE_FILE, ui)); }
    DialogOutcome run(DialogId id, Script&& script = {}) { return runDialogCommand(id, doc, ui, script); }
    DialogOutcome run(DialogId id, Script& script) { return runDialogCommand(id, doc, ui, script); }

    test::RecordingInteraction ui;
    CMoravelSDIDoc doc;
    ParameterSet& set = doc.m_parameterSet;
};

TEST_F(DialogRules, EachDialogHoldsEveryElementOfItsGroupOnceAndItsOrdersCoverItsFields)
{
    for (const DialogForm& form : dialogForms()) {
        SCOPED_TRACE(form.title());
        std::multiset<std::pair<std::uint16_t, std::size_t>> expected, found;
        for (const ParameterInfo& p : parameterTable())
            for (std::size_t e = 0; p.key.group() == form.group && p.control != DialogControl::None &&
                                    e < std::max<std::size_t>(p.elementCount, 1);
                 ++e)
                expected.insert({p.key.value, e});
        std::set<std::uint16_t> ids;
        std::multiset<std::size_t> all, written, screenOrder(form.screenOrder.begin(), form.screenOrder.end()),
            writeBackOrder(form.writeBackOrder.begin(), form.writeBackOrder.end());
        for (std::size_t i = 0; i < form.fields.size(); ++i) {
            found.insert({form.fields[i].key.value, form.fields[i].element});
            ids.insert(form.fields[i].id);
            all.insert(i);
            if (form.fields[i].kind() != FieldKind::HomingDirection) // written with their column
                written.insert(i);
        }
        EXPECT_EQ(found, expected);
        EXPECT_EQ(ids.size(), form.fields.size());
        EXPECT_EQ(screenOrder, all);
        EXPECT_EQ(writeBackOrder, written);
    }
}

// Every field that can fail is made to fail; "OK" must name them one after the other in the
// form's exchange order, each time the next once the previous one is put right. Where that
// order is not the table's, it is pinned: Motortest from the bottom up, Mechanik with C first
// in each frame.
TEST_F(DialogRules, OkChecksTheFieldsInExchangeOrder)
{
    const std::map<DialogId, std::vector<std::uint16_t>> pinned = {
        {DialogId::Mechanik, {1054, 1051, 1052, 1053, 1067, 1064, 1065, 1066, 1086, 1080, 1082, 1084, 1085, 1079,
                              1081, 1083, 1117, 1114, 1115, 1116, 1105, 1102, 1103, 1104, 1130, 1124, 1125, 1129}},
        {DialogId::Motortest, {1133, 1130, 1129, 1127}},
    };
    for (const DialogForm& form : dialogForms()) {
        DialogMembers members = copyIn(form, set);
        const Controls good = controlValues(form, members);
        Controls controls = good;
        for (ControlValue& control : controls)
            control.text = std::string(30, '#'); // check boxes and radio columns cannot fail
        std::vector<std::uint16_t> failed, expected;
        while (const auto failure = exchange(form, controls, members)) {
            failed.push_back(form.fields[failure->field].id);
            controls[failure->field] = good[failure->field];
            if (failed.size() > form.fields.size())
                break;
        }
        for (const DialogField& field : form.fields)
            if (field.kind() != FieldKind::CheckBox && field.kind() != FieldKind::HomingColumn)
                expected.push_back(field.id);
        EXPECT_EQ(failed, expected) << form.title();
        EXPECT_TRUE(!pinned.contains(form.id) || failed == pinned.at(form.id)) << form.title();
    }
}

TEST_F(DialogRules, NothingIsShownWhileTheParametersAreNotValid)
{
    doc.m_bParametersValid = false;
    Script script;
    for (const DialogForm& form : dialogForms())
        EXPECT_EQ(run(form.id, script), DialogOutcome::NotAvailable);
    EXPECT_EQ(script.calls, 0);
}

// Stored values outside a list show the fallback text and come back as the fallback value
// (Schnittstelle: "Low aktiv"); typed texts are compared exactly. Numbers are written only
// when they differ as stored: a float with more than six significant digits comes back
// rounded, another text of the same float is no change.
TEST_F(DialogRules, ValuesFallBackBothWaysAndSetTheFlagOnlyOnChange)
{
    const struct {
        DialogId dialog;
        std::uint16_t id;
        std::int32_t* member; // or null for eilgang
        std::int32_t stored;
        const char* typed; // null: left as shown
        const char* shown;
        std::int32_t result;
        bool modified;
    } cases[] = {
        {DialogId::Schnittstelle, 1037, &set.zusatzsignalSpindel, 0, nullptr, "deaktiv", 3, true},
        {DialogId::Schnittstelle, 1040, &set.zusatzsignalKuehlung, 1, "low aktiv", "Low aktiv", 3, true},
        {DialogId::Schnittstelle, 1040, &set.zusatzsignalKuehlung, 2, "High aktiv", "High aktiv", 2, false},
        {DialogId::Schnittstelle, 1042, &set.zusatzsignalBoost, 1, "", "Low aktiv", 3, true},
        {DialogId::Sonstige, 1135, &set.werkzeugwechsel, 0, nullptr, "nur Parameter übernehmen", 4, true},
        {DialogId::Sonstige, 1137, &set.referenzfahrtZeitpunkt, 0, nullptr, "zusätzlich vor Programmstart", 3, true},
        {DialogId::Sonstige, 1141, &set.unbekannteProgrammbefehle, 0, nullptr, "fragen", 3, true},
        {DialogId::Mechanik, 1129, &set.achsenconfiguration[kAxisZ], 7, nullptr, "deaktiv", 2, true},
        {DialogId::Mechanik, 1124, &set.achsenconfiguration[kAxisX], 0, "Linear", "linear", 2, true},
        {DialogId::Motortest, 1127, &set.motortestWeglaenge, 400, " 400", "400", 400, false},
        {DialogId::Geschwindigkeiten, 1019, nullptr, 0, nullptr, "2.12346", 0, true},
        {DialogId::Geschwindigkeiten, 1019, nullptr, 0, "2.1234600001", "2.12346", 0, false},
    };
    set.eilgang = 2.1234567f;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " " << (c.typed ? c.typed : "(as shown)"));
        if (c.member)
            *c.member = c.stored;
        doc.setModified(false);
        Script script = c.typed ? Script({{c.id, c.typed}}) : Script();
        EXPECT_EQ(run(c.dialog, script), DialogOutcome::Stored);
        EXPECT_EQ(at(dialogForm(c.dialog), script.shown, c.id).text, c.shown);
        EXPECT_EQ(c.member ? *c.member : 0, c.result);
        EXPECT_EQ(doc.isModified(), c.modified);
    }
    EXPECT_EQ(set.eilgang, 2.12346f);
}

// The name is stored as typed (in code page 1252, blanks kept) when it differs. An empty one
// stores the default with its message, shown between the fifth write and the sixth.
TEST_F(DialogRules, TheNameIsStoredAsTypedInCodePage1252AndAnEmptyOneAsTheDefault)
{
    const struct {
        std::string stored;
        const char* typed; // null: left as shown
        std::string result;
    } cases[] = {
        {"Fr\xE4se \x80", nullptr, "Fr\xE4se \x80"}, // shown as "Fräse €": no change
        {"NC-Travo USB", "NC-Travo USB ", "NC-Travo USB "},
        {"NC-Travo USB", "   ", "   "},
        {"alt", "Fräse 2", "Fr\xE4se 2"},
    };
    for (const auto& c : cases) {
        set.controllerName = c.stored;
        doc.setModified(false);
        EXPECT_EQ(run(DialogId::Sonstige, c.typed ? Script({{1145, c.typed}}) : Script()), DialogOutcome::Stored);
        EXPECT_EQ(set.controllerName, c.result);
        EXPECT_EQ(doc.isModified(), c.typed != nullptr) << c.result;
    }
    EXPECT_TRUE(ui.messages.empty());

    std::array<std::int32_t, 3> state{}; // what the set held when the message came
    ui.onMessage = [&] { state = {set.werkzeugwechsel, set.unbekannteProgrammbefehle, set.sicherheitsabstand}; };
    set.controllerName = kDefaultControllerName;
    doc.setModified(false);
    EXPECT_EQ(run(DialogId::Sonstige, Script({{1135, "ignorieren"}, {1141, "fragen"}, {1145, ""}, {1147, "9"}})),
              DialogOutcome::Stored);
    EXPECT_EQ(ui.messages, std::vector<std::string>{std::string(kControllerNameEmptyMessage)});
    EXPECT_EQ(state, (std::array<std::int32_t, 3>{1, 3, 0}));
    EXPECT_EQ(set.controllerName, kDefaultControllerName);
    EXPECT_EQ(set.sicherheitsabstand, 9);
    EXPECT_TRUE(doc.isModified());
}

// Referenzfahrt: direction combos 1156-1159 (X, Y, Z, C), radio columns 1164-1167 (steps 1-4).
TEST_F(DialogRules, ChangingOnlyTheHomingOrderTakesEachAxisDirectionAlong)
{
    EXPECT_EQ(run(DialogId::Referenzfahrt, Script({}, {{1164, kAxisX}, {1166, kAxisZ}})), DialogOutcome::Stored);
    EXPECT_EQ(set.Reihenfolge, (Four{0, 1, 2, 3}));
    EXPECT_EQ(set.Richtung, (Four{0, 1, 1, 0}));
    EXPECT_TRUE(doc.isModified());
    // Direction texts map exactly, with "not homed" as the fallback.
    EXPECT_EQ(run(DialogId::Referenzfahrt,
                  Script({{1156, "wird nicht referenziert"}, {1159, "Positive"}, {1157, "positive"}})),
              DialogOutcome::Stored);
    EXPECT_EQ(set.Richtung, (Four{2, 0, 1, 2}));
}

// Only the keys an OK changed become the user's; a key from nowhere that stays as shown keeps
// having no origin.
TEST_F(DialogRules, OkMarksTheKeysItChangedAsEnteredInTheDialog)
{
    set.origins.clear();
    EXPECT_EQ(run(DialogId::Motortest, Script({{1127, "500"}})), DialogOutcome::Stored);
    EXPECT_EQ(run(DialogId::Mechanik, Script({{1129, "rotativ"}})), DialogOutcome::Stored);
    EXPECT_EQ(run(DialogId::Sonstige, Script({{1145, ""}})), DialogOutcome::Stored);
    EXPECT_EQ(run(DialogId::Referenzfahrt, Script({}, {{1164, kAxisX}, {1166, kAxisZ}})), DialogOutcome::Stored);
    EXPECT_EQ(run(DialogId::Referenzfahrt, Script({}, {{1164, kAxisX}})), DialogOutcome::Stored); // no change
    std::map<std::int32_t, ValueOrigin> expected;
    for (const std::int32_t key : {0x0000, 0x040D, 0x0505, 0x0304})
        expected[key] = ValueOrigin::Dialog;
    EXPECT_EQ(set.origins, expected);

    set.setOrigin(0x0000, ValueOrigin::File);
    EXPECT_EQ(run(DialogId::Motortest, Script({{1127, "300"}})), DialogOutcome::Stored);
    EXPECT_EQ(set.origin(0x0000), ValueOrigin::Dialog);
    EXPECT_EQ(run(DialogId::Referenzfahrt, Script({}, {{1164, kAxisX}, {1165, kAxisX}})), DialogOutcome::OrderRejected);
    EXPECT_EQ(set.origins.size(), 4u) << "a rejected order stores nothing";
}

TEST_F(DialogRules, StoredStepsOutsideTheAxesOrNamingOneAxisTwiceShowWhatTheyCan)
{
    set.Reihenfolge = {7, 0, 0, 3};
    set.Richtung = {1, 0, 1, 2};
    Script script;
    EXPECT_EQ(run(DialogId::Referenzfahrt, script), DialogOutcome::OrderRejected);
    EXPECT_EQ(ui.messages, std::vector<std::string>{std::string(kHomingOrderDialogMessage)});
    // X shows the later step's direction; Y and Z, named by no step, are empty.
    const std::array<const char*, 4> texts{"negative", "", "", "wird nicht referenziert"};
    const Four states{-1, kAxisX, kAxisX, kAxisC};
    const DialogForm& form = dialogForm(DialogId::Referenzfahrt);
    for (std::uint16_t k = 0; k < 4; ++k) {
        EXPECT_EQ(at(form, script.shown, 1156 + k).text, texts[k]) << k;
        EXPECT_EQ(at(form, script.shown, 1164 + k).state, states[k]) << k;
    }
    // Put right in the grid, the empty texts store "not homed".
    EXPECT_EQ(run(DialogId::Referenzfahrt, Script({}, {{1164, kAxisY}, {1166, kAxisZ}})), DialogOutcome::Stored);
    EXPECT_EQ(set.Reihenfolge, (Four{1, 0, 2, 3}));
    EXPECT_EQ(set.Richtung, (Four{2, 1, 2, 2}));
    EXPECT_TRUE(doc.isModified());
}

// The list entry a combo box selects on opening; the lists themselves are checked on the widgets.
TEST(ComboLists, TheFirstEntryBeginningWithTheTextIsSelectedIgnoringLetterCase)
{
    const DialogForm& form = dialogForm(DialogId::Sonstige);
    const std::vector<std::string> tool = comboEntries(form.fields[fieldIndex(form, 1135)]);
    EXPECT_EQ(tool.back(), "nur Parameter übernehmen");
    EXPECT_EQ(findComboEntry(tool, "NUR PARAMETER ÜB"), 3u);
    EXPECT_EQ(findComboEntry(tool, ""), 0u);
    EXPECT_EQ(findComboEntry(tool, "an Parkposition!"), std::nullopt);
}

// ---- The standard field checks.

TEST(FieldValidation, IntegerFieldsTakeDecimalDigitsInTheirRangeBoundsIncluded)
{
    const std::string integer = "Bitte geben Sie eine ganze Zahl ein.";
    const auto range = [](const char* bounds) {
        return "Bitte geben Sie eine ganze Zahl zwischen " + std::string(bounds) + " ein.";
    };
    const struct {
        const char* text;
        std::int64_t min, max;
        std::optional<std::int32_t> value;
        std::string message; // when value is empty
    } cases[] = {
        {"-32767", -32767, 32767, -32767, {}},
        {"32767", -32767, 32767, 32767, {}},
        {" +12 ", 0, 500, 12, {}},
        {"-32768", -32767, 32767, {}, range("-32767 und 32767")},
        {"32768", -32767, 32767, {}, range("-32767 und 32767")},
        {"1", 0, 0, {}, range("0 und 0")},
        {"99999999999999999999", 0, 65535, {}, range("0 und 65535")},
        {"", 0, 500, {}, integer},
        {"1.0", 0, 500, {}, integer},
        {"12a", 0, 500, {}, integer},
        {"0x10", 0, 500, {}, integer},
        {"1 2", 0, 500, {}, integer},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkIntegerField(c.text, c.min, c.max).value, c.value) << c.text;
        EXPECT_EQ(checkIntegerField(c.text, c.min, c.max).message, c.message) << c.text;
    }
    // The baud-rate field takes digits only.
    EXPECT_EQ(checkUnsignedField("+115200", 100000, 120000).message, integer);
    EXPECT_EQ(checkUnsignedField("99999999999999999999999", 100000, 120000).message, range("100000 und 120000"));
}

TEST(FieldValidation, FloatFieldsTakeAndShowAPointNotACommaAndCheckTheRangeInSinglePrecision)
{
    const std::string range = "Bitte geben Sie eine Zahl zwischen 0.1 und 999 ein.";
    const std::string number = "Bitte geben Sie eine Zahl ein.";
    using Result = std::variant<float, std::string>; // the value or the message
    const std::pair<const char*, Result> cases[] = {
        {"0.1", 0.1f},   {"999", 999.0f},  {" .5 ", 0.5f},  {"1e2", 100.0f}, {"999.00001", 999.0f}, // the float 999
        {"0.09", range}, {"999.5", range}, {"1e39", range}, {"2,5", number}, {"", number},
        {"inf", number}, {"nan", number},
    };
    for (const auto& [text, expected] : cases) {
        const FieldCheck<float> check = checkFloatField(text, 0.1, 999);
        EXPECT_EQ(check.ok() ? Result(*check.value) : Result(check.message), expected) << text;
    }
    // Shown with at most six significant digits and a point.
    const std::pair<float, const char*> shown[] = {
        {100.0f, "100"}, {0.1f, "0.1"}, {-32.75f, "-32.75"}, {1234567.0f, "1.23457e+06"}};
    for (const auto& [value, text] : shown)
        EXPECT_EQ(formatDialogFloat(value), text);
}

TEST(FieldValidation, TextsAreCountedInCharactersAndMustFitCodePage1252)
{
    EXPECT_TRUE(checkCp1252Text("nur Parameter übernehmen", 24).ok()); // 24 characters, 25 bytes
    EXPECT_EQ(checkCp1252Text("nur Parameter übernehmen!", 24).message,
              "Bitte geben Sie nicht mehr als 24 Zeichen ein.");
    EXPECT_TRUE(checkCp1252Text("Fräse €1", 16).ok());
    EXPECT_EQ(checkCp1252Text("Ωmega Ω ✓", 16).message,
              "Bitte geben Sie nur Zeichen des Zeichensatzes Windows-1252 (Westeuropäisch) ein.\n"
              "Nicht möglich: „Ω“ „✓“");
    EXPECT_TRUE(test::contains(checkCp1252Text("\xC3", 16).message, "„\xEF\xBF\xBD“"));
}

} // namespace
} // namespace moravel

// The dialog commands without widgets: copy in, the checks on "OK" in exchange order, and the
// write-back with its modified-flag rules, driven by a scripted presenter.

#include "app/dialogs/dialog_rules.h"
#include "app/dialogs/field_validation.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

namespace moravel {
namespace {

using Controls = std::vector<ControlValue>;

// Edits the controls the dialog would show, then presses "OK" (or "Abbrechen").
class Script : public DialogPresenter {
public:
    explicit Script(std::function<void(const DialogSpec&, Controls&)> edit = {}, bool cancel = false)
        : m_edit(std::move(edit)), m_cancel(cancel)
    {
    }
    bool showModal(const DialogSpec& spec, DialogMembers& members) override
    {
        ++calls;
        shown = controlValues(spec, members);
        Controls controls = shown;
        if (m_edit)
            m_edit(spec, controls);
        if (m_cancel)
            return false;
        failure = exchange(spec, controls, members);
        return !failure;
    }
    int calls = 0;
    Controls shown;
    std::optional<FieldFailure> failure;

private:
    std::function<void(const DialogSpec&, Controls&)> m_edit;
    bool m_cancel;
};

ControlValue& at(const DialogSpec& spec, Controls& controls, std::uint16_t id)
{
    const std::size_t i = fieldIndex(spec, id);
    EXPECT_LT(i, spec.fields.size()) << id;
    return controls.at(i);
}

// Sets the texts (or states, for check boxes and radio columns) of fields by id.
Script typing(std::vector<std::pair<std::uint16_t, std::string>> texts,
              std::vector<std::pair<std::uint16_t, int>> states = {})
{
    return Script([texts, states](const DialogSpec& spec, Controls& c) {
        for (const auto& [id, text] : texts)
            at(spec, c, id).text = text;
        for (const auto& [id, state] : states)
            at(spec, c, id).state = state;
    });
}

class DialogRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(doc.LoadFromFile(MORAVEL_TEMPLATE_FILE, ui));
        ui.messages.clear();
    }
    DialogOutcome run(DialogId id, Script& script) { return runDialogCommand(id, doc, ui, script); }
    DialogOutcome run(DialogId id, Script&& script) { return run(id, script); }

    test::RecordingInteraction ui;
    CMoravelSDIDoc doc;
    ParameterSet& set = doc.m_parameterSet;
};

TEST_F(DialogRules, EachDialogHoldsEveryElementOfItsGroupOnceAndItsOrdersCoverItsFields)
{
    for (const DialogSpec& spec : dialogSpecs()) {
        std::set<std::pair<std::uint16_t, int>> expected;
        for (const ParameterInfo& p : parameterTable())
            if (p.key.group() == spec.group && p.control != DialogControl::None)
                for (int e = 0; e < static_cast<int>(std::max<std::size_t>(p.elementCount, 1)); ++e)
                    expected.insert({p.key.value, e});
        std::set<std::pair<std::uint16_t, int>> found;
        std::set<std::uint16_t> ids;
        std::vector<std::uint8_t> screen, written;
        for (std::size_t i = 0; i < spec.fields.size(); ++i) {
            const DialogField& f = spec.fields[i];
            EXPECT_TRUE(found.insert({f.key.value, f.element}).second) << spec.title() << " " << f.id;
            EXPECT_TRUE(ids.insert(f.id).second) << spec.title() << " " << f.id;
            screen.push_back(static_cast<std::uint8_t>(i));
            if (f.kind() != FieldKind::HomingDirection)
                written.push_back(static_cast<std::uint8_t>(i));
        }
        EXPECT_EQ(found, expected) << spec.title();
        EXPECT_TRUE(std::is_permutation(spec.screenOrder.begin(), spec.screenOrder.end(), screen.begin(), screen.end()))
            << spec.title();
        EXPECT_TRUE(std::is_permutation(spec.writeBackOrder.begin(), spec.writeBackOrder.end(), written.begin(),
                                        written.end()))
            << spec.title();
    }
}

// Every field that can fail is made to fail; "OK" must name them one after the other in
// exchange order, each time the next once the previous one is put right.
TEST_F(DialogRules, OkChecksTheFieldsInExchangeOrder)
{
    const struct {
        DialogId dialog;
        std::vector<std::uint16_t> ids;
    } cases[] = {
        {DialogId::Geschwindigkeiten, {1015, 1017, 1019, 1021, 1023, 1026, 1027, 1029, 1032, 1034}},
        {DialogId::Schnittstelle, {1040, 1042, 1037, 1041}},
        {DialogId::Mechanik, {1054, 1051, 1052, 1053, 1067, 1064, 1065, 1066, 1086, 1080, 1082, 1084,
                              1085, 1079, 1081, 1083, 1117, 1114, 1115, 1116, 1105, 1102, 1103, 1104,
                              1130, 1124, 1125, 1129}},
        {DialogId::Motortest, {1133, 1130, 1129, 1127}},
        {DialogId::Referenzfahrt, {1159, 1156, 1157, 1158}},
        {DialogId::Sonstige, {1135, 1137, 1139, 1142, 1141, 1145, 1147, 1149}},
    };
    for (const auto& c : cases) {
        const DialogSpec& spec = dialogSpec(c.dialog);
        DialogMembers members = copyIn(spec, set);
        const Controls good = controlValues(spec, members);
        Controls controls = good;
        for (ControlValue& control : controls)
            control.text = std::string(30, '#'); // check boxes and radio columns cannot fail
        std::vector<std::uint16_t> failed;
        while (const auto failure = exchange(spec, controls, members)) {
            failed.push_back(spec.fields[failure->field].id);
            controls[failure->field] = good[failure->field];
            if (failed.size() > spec.fields.size())
                break;
        }
        EXPECT_EQ(failed, c.ids) << spec.title();
    }
}

TEST_F(DialogRules, OkWithoutChangeLeavesEveryDialogsValuesAndTheModifiedFlagAlone)
{
    const std::string before = set.WriteText();
    for (const DialogSpec& spec : dialogSpecs()) {
        EXPECT_EQ(run(spec.id, Script()), DialogOutcome::Stored) << spec.title();
        EXPECT_FALSE(doc.isModified()) << spec.title();
    }
    EXPECT_EQ(set.WriteText(), before);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DialogRules, CancelOrAFailedCheckChangesNothing)
{
    const std::string before = set.WriteText();
    Script cancelled([](const DialogSpec&, Controls& c) {
        for (ControlValue& v : c)
            v = {"1", 1};
    }, true);
    for (const DialogSpec& spec : dialogSpecs())
        EXPECT_EQ(run(spec.id, cancelled), DialogOutcome::Cancelled) << spec.title();
    Script failing = typing({{1127, "7"}, {1133, "0"}});
    EXPECT_EQ(run(DialogId::Motortest, failing), DialogOutcome::Cancelled);
    EXPECT_EQ(failing.failure->message, integerRangeMessage(1, 999));
    EXPECT_EQ(set.WriteText(), before);
    EXPECT_FALSE(doc.isModified());
}

TEST_F(DialogRules, NothingIsShownWhileTheParametersAreNotValid)
{
    doc.m_bParametersValid = false;
    Script script;
    for (const DialogSpec& spec : dialogSpecs())
        EXPECT_EQ(run(spec.id, script), DialogOutcome::NotAvailable);
    EXPECT_EQ(script.calls, 0);
}

// Stored values outside a list show the fallback text and come back as the fallback value;
// typed texts are compared exactly.
TEST_F(DialogRules, EnumeratedValuesFallBackBothWaysAndSetTheFlagOnlyOnChange)
{
    const struct {
        DialogId dialog;
        std::uint16_t id;
        std::int32_t* member;
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
        {DialogId::Sonstige, 1135, &set.werkzeugwechsel, 2, "an aktueller Position", "an Parkposition", 3, true},
        {DialogId::Sonstige, 1137, &set.referenzfahrtZeitpunkt, 0, nullptr, "zusätzlich vor Programmstart", 3, true},
        {DialogId::Sonstige, 1141, &set.unbekannteProgrammbefehle, 0, nullptr, "fragen", 3, true},
        {DialogId::Sonstige, 1141, &set.unbekannteProgrammbefehle, 3, "abbrechen", "fragen", 2, true},
        {DialogId::Mechanik, 1129, &set.achsenconfiguration[AxisZ], 7, nullptr, "deaktiv", 2, true},
        {DialogId::Mechanik, 1124, &set.achsenconfiguration[AxisX], 0, "Linear", "linear", 2, true},
        {DialogId::Mechanik, 1125, &set.achsenconfiguration[AxisY], 1, "rotativ", "rotativ", 1, false},
    };
    for (const auto& c : cases) {
        *c.member = c.stored;
        doc.setModified(false);
        Script script = c.typed ? typing({{c.id, c.typed}}) : Script();
        EXPECT_EQ(run(c.dialog, script), DialogOutcome::Stored);
        EXPECT_EQ(at(dialogSpec(c.dialog), script.shown, c.id).text, c.shown) << c.id;
        EXPECT_EQ(*c.member, c.result) << c.id << " " << (c.typed ? c.typed : "");
        EXPECT_EQ(doc.isModified(), c.modified) << c.id << " " << (c.typed ? c.typed : "");
    }
}

TEST_F(DialogRules, NumbersAreWrittenOnlyWhenTheyDifferAsTheyAreStored)
{
    // A float with more than six significant digits comes back rounded, and is a change.
    set.eilgang = 2.1234567f;
    Script rounded;
    EXPECT_EQ(run(DialogId::Geschwindigkeiten, rounded), DialogOutcome::Stored);
    EXPECT_EQ(at(dialogSpec(DialogId::Geschwindigkeiten), rounded.shown, 1019).text, "2.12346");
    EXPECT_EQ(set.eilgang, 2.12346f);
    EXPECT_TRUE(doc.isModified());

    // A different text of the same float is no change.
    doc.setModified(false);
    EXPECT_EQ(run(DialogId::Motortest, typing({{1129, "0.50000001"}, {1127, " 400"}})), DialogOutcome::Stored);
    EXPECT_FALSE(doc.isModified());

    EXPECT_EQ(run(DialogId::Mechanik, typing({{1079, "100"}, {1080, "0"}, {1105, "-32767"}}, {{1127, 1}})),
              DialogOutcome::Stored);
    EXPECT_EQ(set.verfahrbereichVon[AxisX], 100); // "von" above "bis" is not checked
    EXPECT_EQ(set.verfahrbereichBis[AxisX], 0);
    EXPECT_EQ(set.parkposition[AxisC], -32767);
    EXPECT_EQ(set.richtungsumkehr, (std::array<std::int32_t, 4>{0, 0, 1, 0}));
    EXPECT_TRUE(doc.isModified());
}

class NameRules : public DialogRules {};

TEST_F(NameRules, AnEmptyNameStoresTheDefaultWithItsMessageBetweenTheFifthAndSixthWrite)
{
    // What the set held when the message came: the first five written, Sicherheitsabstand not.
    class Snapshot : public UserInteraction {
    public:
        explicit Snapshot(const ParameterSet& s) : set(s) {}
        void showMessage(std::string_view text) override
        {
            messages.emplace_back(text);
            state = {set.werkzeugwechsel, set.unbekannteProgrammbefehle, set.sicherheitsabstand};
        }
        const ParameterSet& set;
        std::vector<std::string> messages;
        std::array<std::int32_t, 3> state{};
    } snapshot(set);
    set.controllerName = DefaultControllerName;
    Script script = typing({{1135, "ignorieren"}, {1141, "fragen"}, {1145, ""}, {1147, "9"}});
    EXPECT_EQ(runDialogCommand(DialogId::Sonstige, doc, snapshot, script), DialogOutcome::Stored);
    EXPECT_EQ(snapshot.messages, std::vector<std::string>{std::string(ControllerNameEmptyMessage)});
    EXPECT_EQ(snapshot.state, (std::array<std::int32_t, 3>{1, 3, 0}));
    EXPECT_EQ(set.controllerName, DefaultControllerName);
    EXPECT_EQ(set.sicherheitsabstand, 9);
    EXPECT_TRUE(doc.isModified());
}

TEST_F(NameRules, ANameIsStoredAsTypedInCodePage1252)
{
    const struct {
        std::string stored;
        const char* typed; // null: left as shown
        std::string result;
        bool modified;
    } cases[] = {
        {"Fr\xE4se \x80", nullptr, "Fr\xE4se \x80", false}, // shown as "Fräse €", unchanged
        {"NC-Travo USB", "   ", "   ", true},                // blanks only, not trimmed
        {"NC-Travo USB", "NC-Travo USB ", "NC-Travo USB ", true},
        {"alt", "Fräse 2", "Fr\xE4se 2", true},
    };
    for (const auto& c : cases) {
        set.controllerName = c.stored;
        doc.setModified(false);
        EXPECT_EQ(run(DialogId::Sonstige, c.typed ? typing({{1145, c.typed}}) : Script()), DialogOutcome::Stored);
        EXPECT_EQ(set.controllerName, c.result);
        EXPECT_EQ(doc.isModified(), c.modified) << c.result;
    }
    EXPECT_TRUE(ui.messages.empty());

    Script refused = typing({{1145, "Ωmega"}});
    EXPECT_EQ(run(DialogId::Sonstige, refused), DialogOutcome::Cancelled);
    EXPECT_EQ(dialogSpec(DialogId::Sonstige).fields[refused.failure->field].id, 1145);
    Script tooLong = typing({{1145, std::string(17, 'A')}});
    EXPECT_EQ(run(DialogId::Sonstige, tooLong), DialogOutcome::Cancelled);
    EXPECT_EQ(tooLong.failure->message, tooManyCharactersMessage(16));
}

class HomingRules : public DialogRules {
protected:
    using Four = std::array<std::int32_t, 4>;
    // Directions as the combos C, X, Y, Z show them, and the columns 1 to 4.
    static std::vector<std::string> directions(const Controls& c)
    {
        const DialogSpec& spec = dialogSpec(DialogId::Referenzfahrt);
        Controls copy = c;
        return {at(spec, copy, 1156).text, at(spec, copy, 1157).text, at(spec, copy, 1158).text,
                at(spec, copy, 1159).text};
    }
    static Four columns(const Controls& c)
    {
        const DialogSpec& spec = dialogSpec(DialogId::Referenzfahrt);
        Controls copy = c;
        return {at(spec, copy, 1164).state, at(spec, copy, 1165).state, at(spec, copy, 1166).state,
                at(spec, copy, 1167).state};
    }
};

TEST_F(HomingRules, TheDefaultsShowEachAxisWithTheDirectionOfItsStep)
{
    Script script;
    EXPECT_EQ(run(DialogId::Referenzfahrt, script), DialogOutcome::Stored);
    EXPECT_EQ(columns(script.shown), (Four{AxisZ, AxisY, AxisX, AxisC}));
    EXPECT_EQ(directions(script.shown), (std::vector<std::string>{"positive", "negative", "negative", "positive"}));
    EXPECT_EQ(set.Reihenfolge, (Four{2, 1, 0, 3}));
    EXPECT_EQ(set.Richtung, (Four{1, 1, 0, 0}));
    EXPECT_FALSE(doc.isModified());
}

TEST_F(HomingRules, ChangingOnlyTheOrderTakesEachAxisDirectionAlong)
{
    EXPECT_EQ(run(DialogId::Referenzfahrt, typing({}, {{1164, AxisX}, {1166, AxisZ}})), DialogOutcome::Stored);
    EXPECT_EQ(set.Reihenfolge, (Four{0, 1, 2, 3}));
    EXPECT_EQ(set.Richtung, (Four{0, 1, 1, 0}));
    EXPECT_TRUE(doc.isModified());
}

TEST_F(HomingRules, AnAxisInTwoColumnsDiscardsTheWholeDialog)
{
    EXPECT_EQ(run(DialogId::Referenzfahrt, typing({{1156, "negative"}}, {{1164, AxisY}})), DialogOutcome::OrderRejected);
    EXPECT_EQ(ui.messages, std::vector<std::string>{std::string(HomingOrderDialogMessage)});
    EXPECT_EQ(set.Reihenfolge, (Four{2, 1, 0, 3}));
    EXPECT_EQ(set.Richtung, (Four{1, 1, 0, 0}));
    EXPECT_FALSE(doc.isModified());
}

TEST_F(HomingRules, DirectionTextsMapExactlyWithNotHomedAsTheFallback)
{
    EXPECT_EQ(run(DialogId::Referenzfahrt, typing({{1156, "wird nicht referenziert"}, {1159, "Positive"},
                                                   {1157, "positive"}})),
              DialogOutcome::Stored);
    EXPECT_EQ(set.Richtung, (Four{1, 0, 2, 2})); // steps Z, Y, X, C
    Script tooLong = typing({{1158, "wird nicht referenziert!"}});
    EXPECT_EQ(run(DialogId::Referenzfahrt, tooLong), DialogOutcome::Cancelled);
    EXPECT_EQ(tooLong.failure->message, tooManyCharactersMessage(23));
}

TEST_F(HomingRules, StoredStepsOutsideTheAxesOrNamingOneAxisTwiceShowWhatTheyCan)
{
    set.Reihenfolge = {7, 0, 0, 3};
    set.Richtung = {1, 0, 1, 2};
    Script script;
    EXPECT_EQ(run(DialogId::Referenzfahrt, script), DialogOutcome::OrderRejected);
    EXPECT_EQ(columns(script.shown), (Four{-1, AxisX, AxisX, AxisC}));
    // X shows the later step's direction; Y and Z, named by no step, are empty.
    EXPECT_EQ(directions(script.shown), (std::vector<std::string>{"negative", "", "", "wird nicht referenziert"}));

    // Put right in the grid, the empty texts store "not homed".
    EXPECT_EQ(run(DialogId::Referenzfahrt, typing({}, {{1164, AxisY}, {1166, AxisZ}})), DialogOutcome::Stored);
    EXPECT_EQ(set.Reihenfolge, (Four{1, 0, 2, 3}));
    EXPECT_EQ(set.Richtung, (Four{2, 1, 2, 2}));
    EXPECT_TRUE(doc.isModified());
}

TEST(ComboLists, EntriesComeInListOrderSortedOnlyWhereTheRowSaysWithTheEmptyEntryLast)
{
    const DialogSpec& homing = dialogSpec(DialogId::Referenzfahrt);
    const DialogSpec& signals = dialogSpec(DialogId::Schnittstelle);
    const DialogSpec& other = dialogSpec(DialogId::Sonstige);
    using List = std::vector<std::string>;
    EXPECT_EQ(comboEntries(homing.fields[fieldIndex(homing, 1156)]),
              (List{"negative", "positive", "wird nicht referenziert"}));
    EXPECT_EQ(comboEntries(signals.fields[fieldIndex(signals, 1037)]), (List{"Low aktiv", "High aktiv", "deaktiv"}));
    EXPECT_EQ(comboEntries(signals.fields[fieldIndex(signals, 1042)]),
              (List{"Low aktiv", "High aktiv", "deaktiv", ""}));
    const List tool = comboEntries(other.fields[fieldIndex(other, 1135)]);
    EXPECT_EQ(tool.back(), "nur Parameter übernehmen");

    EXPECT_EQ(findComboEntry(tool, "AN"), 1u);
    EXPECT_EQ(findComboEntry(tool, "NUR PARAMETER ÜB"), 3u);
    EXPECT_EQ(findComboEntry(tool, ""), 0u);
    EXPECT_EQ(findComboEntry(tool, "an Parkposition!"), std::nullopt);
}

} // namespace
} // namespace moravel

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

// Edits the controls the dialog would show, then presses "OK".
class Script : public DialogPresenter {
public:
    explicit Script(std::function<void(const DialogForm&, Controls&)> edit = {}) : m_edit(std::move(edit)) {}
    bool showModal(const DialogForm& form, DialogMembers& members) override
    {
        ++calls;
        shown = controlValues(form, members);
        Controls controls = shown;
        if (m_edit)
            m_edit(form, controls);
        return !exchange(form, controls, members);
    }
    int calls = 0;
    Controls shown;

private:
    std::function<void(const DialogForm&, Controls&)> m_edit;
};

ControlValue& at(const DialogForm& form, Controls& controls, std::uint16_t id)
{
    const std::size_t i = fieldIndex(form, id);
    EXPECT_LT(i, form.fields.size()) << id;
    return controls.at(i);
}

// Sets the texts (or states, for check boxes and radio columns) of fields by id.
Script typing(std::vector<std::pair<std::uint16_t, std::string>> texts,
              std::vector<std::pair<std::uint16_t, int>> states = {})
{
    return Script([texts, states](const DialogForm& form, Controls& c) {
        for (const auto& [id, text] : texts)
            at(form, c, id).text = text;
        for (const auto& [id, state] : states)
            at(form, c, id).state = state;
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
    for (const DialogForm& form : dialogForms()) {
        std::set<std::pair<std::uint16_t, int>> expected;
        for (const ParameterInfo& p : parameterTable())
            if (p.key.group() == form.group && p.control != DialogControl::None)
                for (int e = 0; e < static_cast<int>(std::max<std::size_t>(p.elementCount, 1)); ++e)
                    expected.insert({p.key.value, e});
        std::set<std::pair<std::uint16_t, int>> found;
        std::set<std::uint16_t> ids;
        std::vector<std::uint8_t> screen, written;
        for (std::size_t i = 0; i < form.fields.size(); ++i) {
            const DialogField& f = form.fields[i];
            EXPECT_TRUE(found.insert({f.key.value, f.element}).second) << form.title() << " " << f.id;
            EXPECT_TRUE(ids.insert(f.id).second) << form.title() << " " << f.id;
            screen.push_back(static_cast<std::uint8_t>(i));
            if (f.kind() != FieldKind::HomingDirection)
                written.push_back(static_cast<std::uint8_t>(i));
        }
        EXPECT_EQ(found, expected) << form.title();
        EXPECT_TRUE(std::is_permutation(form.screenOrder.begin(), form.screenOrder.end(), screen.begin(), screen.end()))
            << form.title();
        EXPECT_TRUE(std::is_permutation(form.writeBackOrder.begin(), form.writeBackOrder.end(), written.begin(),
                                        written.end()))
            << form.title();
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
        const DialogForm& form = dialogForm(c.dialog);
        DialogMembers members = copyIn(form, set);
        const Controls good = controlValues(form, members);
        Controls controls = good;
        for (ControlValue& control : controls)
            control.text = std::string(30, '#'); // check boxes and radio columns cannot fail
        std::vector<std::uint16_t> failed;
        while (const auto failure = exchange(form, controls, members)) {
            failed.push_back(form.fields[failure->field].id);
            controls[failure->field] = good[failure->field];
            if (failed.size() > form.fields.size())
                break;
        }
        EXPECT_EQ(failed, c.ids) << form.title();
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
        {DialogId::Sonstige, 1137, &set.referenzfahrtZeitpunkt, 0, nullptr, "zusätzlich vor Programmstart", 3, true},
        {DialogId::Sonstige, 1141, &set.unbekannteProgrammbefehle, 0, nullptr, "fragen", 3, true},
        {DialogId::Mechanik, 1129, &set.achsenconfiguration[AxisZ], 7, nullptr, "deaktiv", 2, true},
        {DialogId::Mechanik, 1124, &set.achsenconfiguration[AxisX], 0, "Linear", "linear", 2, true},
    };
    for (const auto& c : cases) {
        *c.member = c.stored;
        doc.setModified(false);
        Script script = c.typed ? typing({{c.id, c.typed}}) : Script();
        EXPECT_EQ(run(c.dialog, script), DialogOutcome::Stored);
        EXPECT_EQ(at(dialogForm(c.dialog), script.shown, c.id).text, c.shown) << c.id;
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
    EXPECT_EQ(at(dialogForm(DialogId::Geschwindigkeiten), rounded.shown, 1019).text, "2.12346");
    EXPECT_EQ(set.eilgang, 2.12346f);
    EXPECT_TRUE(doc.isModified());

    // A different text of the same float is no change.
    doc.setModified(false);
    EXPECT_EQ(run(DialogId::Motortest, typing({{1129, "0.50000001"}, {1127, " 400"}})), DialogOutcome::Stored);
    EXPECT_FALSE(doc.isModified());
}

TEST_F(DialogRules, AnEmptyNameStoresTheDefaultWithItsMessageBetweenTheFifthAndSixthWrite)
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

TEST_F(DialogRules, ANameIsStoredAsTypedInCodePage1252)
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
}

using HomingRules = DialogRules;
using Four = std::array<std::int32_t, 4>;
constexpr std::array<std::uint16_t, 4> kDirectionIds{1156, 1157, 1158, 1159}; // X, Y, Z, C
constexpr std::array<std::uint16_t, 4> kColumnIds{1164, 1165, 1166, 1167};    // steps 1 to 4

TEST_F(HomingRules, ChangingOnlyTheOrderTakesEachAxisDirectionAlong)
{
    EXPECT_EQ(run(DialogId::Referenzfahrt, typing({}, {{1164, AxisX}, {1166, AxisZ}})), DialogOutcome::Stored);
    EXPECT_EQ(set.Reihenfolge, (Four{0, 1, 2, 3}));
    EXPECT_EQ(set.Richtung, (Four{0, 1, 1, 0}));
    EXPECT_TRUE(doc.isModified());
}

TEST_F(HomingRules, DirectionTextsMapExactlyWithNotHomedAsTheFallback)
{
    EXPECT_EQ(run(DialogId::Referenzfahrt, typing({{1156, "wird nicht referenziert"}, {1159, "Positive"},
                                                   {1157, "positive"}})),
              DialogOutcome::Stored);
    EXPECT_EQ(set.Richtung, (Four{1, 0, 2, 2})); // steps Z, Y, X, C
}

TEST_F(HomingRules, StoredStepsOutsideTheAxesOrNamingOneAxisTwiceShowWhatTheyCan)
{
    set.Reihenfolge = {7, 0, 0, 3};
    set.Richtung = {1, 0, 1, 2};
    Script script;
    EXPECT_EQ(run(DialogId::Referenzfahrt, script), DialogOutcome::OrderRejected);
    const DialogForm& form = dialogForm(DialogId::Referenzfahrt);
    // X shows the later step's direction; Y and Z, named by no step, are empty.
    const std::array<const char*, 4> texts{"negative", "", "", "wird nicht referenziert"};
    const Four states{-1, AxisX, AxisX, AxisC};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(at(form, script.shown, kDirectionIds[k]).text, texts[k]) << k;
        EXPECT_EQ(at(form, script.shown, kColumnIds[k]).state, states[k]) << k;
    }

    // Put right in the grid, the empty texts store "not homed".
    EXPECT_EQ(run(DialogId::Referenzfahrt, typing({}, {{1164, AxisY}, {1166, AxisZ}})), DialogOutcome::Stored);
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
    EXPECT_EQ(findComboEntry(tool, "AN"), 1u);
    EXPECT_EQ(findComboEntry(tool, "NUR PARAMETER ÜB"), 3u);
    EXPECT_EQ(findComboEntry(tool, ""), 0u);
    EXPECT_EQ(findComboEntry(tool, "an Parkposition!"), std::nullopt);
}

} // namespace
} // namespace moravel

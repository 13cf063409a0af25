// The six dialogs with real widgets, opened through the window's entry point.

#include "app/dialogs/field_validation.h"
#include "app/dialogs/parameter_dialog.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>

namespace moravel {
namespace {

using Four = std::array<std::int32_t, 4>;
using Action = std::function<void(ParameterDialog&)>;

template <typename T = QWidget>
T* field(ParameterDialog& dialog, std::uint16_t id)
{
    T* w = dialog.findChild<T*>(QStringLiteral("field%1").arg(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
}

void type(ParameterDialog& dialog, std::uint16_t id, const QString& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(field(dialog, id)))
        combo->setEditText(text);
    else
        field<QLineEdit>(dialog, id)->setText(text);
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(doc.LoadFromFile(MORAVEL_TEMPLATE_FILE, ui));
        ui.messages.clear();
        before = set.WriteText();
    }

    // Runs the command of a dialog; action gets the dialog as soon as it is shown and must
    // close it. A dialog left open is rejected, so no test waits for a click.
    DialogOutcome drive(DialogId id, const Action& action)
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<ParameterDialog*>(QApplication::activeModalWidget()); d && d->isVisible()) {
                poll.stop();
                action(*d);
                if (d->isVisible()) {
                    ADD_FAILURE() << "the dialog was left open";
                    d->reject();
                }
            }
        });
        poll.start(5);
        return runParameterDialog(id, nullptr, doc, ui);
    }

    void expectUnchanged()
    {
        EXPECT_EQ(set.WriteText(), before);
        EXPECT_FALSE(doc.isModified());
    }

    test::RecordingInteraction ui;
    CMoravelSDIDoc doc;
    ParameterSet& set = doc.m_parameterSet;
    std::string before;
};

// "OK" without a change stores nothing; "Abbrechen" and Esc after edits change nothing. Each
// dialog has its title, "OK" as the default button, "Abbrechen", and no text cut off; with
// MORAVEL_SCREENSHOT_DIR set, each is saved there as a PNG.
TEST_F(Dialogs, OkWithoutChangeAndAbbrechenOrEscapeAfterEditsLeaveTheDocumentUnmodified)
{
    for (const DialogForm& form : dialogForms())
        EXPECT_EQ(drive(form.id,
                        [&](ParameterDialog& d) {
                            EXPECT_EQ(d.windowTitle().toStdString(), form.title());
                            EXPECT_TRUE(d.okButton()->text() == "OK" && d.okButton()->isDefault());
                            EXPECT_EQ(d.cancelButton()->text(), "Abbrechen");
                            for (QWidget* w : d.findChildren<QWidget*>()) {
                                const bool text = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                                                  qobject_cast<QGroupBox*>(w);
                                EXPECT_TRUE(!text || w->width() >= w->minimumSizeHint().width())
                                    << w->objectName().toStdString();
                            }
                            if (form.id == DialogId::Geschwindigkeiten) { // one frame, around its two unused fields
                                const QList<QGroupBox*> frames = d.findChildren<QGroupBox*>();
                                EXPECT_TRUE(frames.size() == 1 && frames[0]->title() == "Noch nicht verwendet");
                                for (std::uint16_t id : {1029, 1032, 1034})
                                    EXPECT_EQ(frames[0]->geometry().contains(field(d, id)->geometry()), id != 1029)
                                        << id;
                            }
                            if (const QString dir = qEnvironmentVariable("MORAVEL_SCREENSHOT_DIR"); !dir.isEmpty())
                                d.grab().save(QDir(dir).filePath(d.windowTitle() + ".png"));
                            d.okButton()->click();
                        }),
                  DialogOutcome::Stored);
    EXPECT_EQ(drive(DialogId::Sonstige,
                    [](ParameterDialog& d) {
                        type(d, 1139, "77");
                        type(d, 1145, "");
                        d.cancelButton()->click();
                    }),
              DialogOutcome::Cancelled);
    EXPECT_EQ(drive(DialogId::Mechanik,
                    [](ParameterDialog& d) {
                        field<QCheckBox>(d, 1123)->click();
                        QTest::keyClick(&d, Qt::Key_Escape);
                    }),
              DialogOutcome::Cancelled);
    EXPECT_TRUE(ui.messages.empty());
    expectUnchanged();
}

// A refused "OK" shows the message of the first failing field in exchange order, gives that
// field (an edit field, a combo box) the focus with its text selected, and leaves the dialog
// open. Each step types into some fields and presses "OK"; the dialog is then cancelled. The
// order and the messages themselves: dialog_rules_test.cpp.
TEST_F(Dialogs, ARefusedOkNamesAndFocusesTheFirstFailingField)
{
    struct Step {
        std::vector<std::pair<std::uint16_t, QString>> typed;
        std::string message;
        std::uint16_t focus;
    };
    const struct {
        DialogId dialog;
        std::vector<Step> steps;
    } cases[] = {
        {DialogId::Motortest,
         {{{{1127, "65536"}, {1133, "0"}}, integerRangeMessage(1, 999), 1133},
          {{{1133, "999"}}, integerRangeMessage(0, 65535), 1127}}},
        {DialogId::Schnittstelle,
         {{{{1037, "High aktiv!"}, {1042, "Low aktiv 1"}}, tooManyCharactersMessage(10), 1042}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(drive(c.dialog,
                        [&](ParameterDialog& d) {
                            for (const Step& step : c.steps) {
                                for (const auto& [id, text] : step.typed)
                                    type(d, id, text);
                                ui.messages.clear();
                                d.okButton()->click();
                                EXPECT_EQ(ui.messages, std::vector<std::string>{step.message});
                                QWidget* expected = field(d, step.focus);
                                QWidget* focus = d.focusWidget();
                                EXPECT_TRUE(focus == expected || expected->isAncestorOf(focus)) << step.focus;
                                auto* edit = qobject_cast<QLineEdit*>(expected);
                                if (auto* combo = qobject_cast<QComboBox*>(expected))
                                    edit = combo->lineEdit();
                                EXPECT_EQ(edit->selectedText(), edit->text()) << step.focus;
                                EXPECT_TRUE(d.isVisible());
                            }
                            d.cancelButton()->click();
                        }),
                  DialogOutcome::Cancelled);
    }
    expectUnchanged();
}

// What the user does with the widgets reaches the document: check boxes, list entries
// (also the empty one), Enter for the default button, the name field that stops at 16.
TEST_F(Dialogs, EditsInTheWidgetsReachTheDocument)
{
    EXPECT_EQ(drive(DialogId::Mechanik,
                    [](ParameterDialog& d) {
                        field<QCheckBox>(d, 1127)->click();
                        field<QComboBox>(d, 1130)->setCurrentIndex(1);
                        d.okButton()->click();
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(set.richtungsumkehr, (Four{0, 0, 1, 0}));
    EXPECT_EQ(set.achsenconfiguration, (Four{0, 0, 0, 1}));

    set.zusatzsignalBoost = 1;
    EXPECT_EQ(drive(DialogId::Schnittstelle,
                    [](ParameterDialog& d) {
                        EXPECT_EQ(field<QComboBox>(d, 1042)->itemText(3), ""); // Boost's list ends with an empty entry
                        field<QComboBox>(d, 1042)->setCurrentIndex(3);
                        auto* spindel = field<QComboBox>(d, 1037);
                        spindel->setCurrentIndex(1);
                        QTest::keyClick(spindel->lineEdit(), Qt::Key_Return);
                        EXPECT_EQ(spindel->count(), 3); // typing never adds to the list
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(set.zusatzsignalSpindel, 2);
    EXPECT_EQ(set.zusatzsignalBoost, 3);

    EXPECT_EQ(drive(DialogId::Sonstige,
                    [](ParameterDialog& d) {
                        auto* name = field<QLineEdit>(d, 1145);
                        EXPECT_EQ(name->text(), "NC-Travo USB");
                        name->clear();
                        QTest::keyClicks(name, QStringLiteral("ÄBCDEFGHIJKLMNOPQ"));
                        d.okButton()->click();
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(set.controllerName, "\xC4"
                                  "BCDEFGHIJKLMNOP");
    EXPECT_TRUE(doc.isModified());
    EXPECT_TRUE(ui.messages.empty());
}

// Sorted direction lists and independent radio columns: a step without an axis shows an empty
// column, and the grid lets two columns name one axis; "OK" then discards the whole dialog,
// also the direction changed with it.
TEST_F(Dialogs, ReferenzfahrtShowsSortedDirectionsAndIndependentColumns)
{
    set.Reihenfolge[3] = 9;
    before = set.WriteText();
    EXPECT_EQ(drive(DialogId::Referenzfahrt,
                    [](ParameterDialog& d) {
                        // C, named by no step, shows the first entry of its list.
                        const std::array<const char*, 4> shown{"positive", "negative", "negative", "negative"};
                        for (std::uint16_t axis = 0; axis < 4; ++axis) {
                            auto* combo = field<QComboBox>(d, 1156 + axis);
                            EXPECT_EQ(combo->currentText(), shown[axis]);
                            EXPECT_TRUE(combo->itemText(0) == "negative" && combo->itemText(1) == "positive");
                        }
                        const Four order{kAxisZ, kAxisY, kAxisX, -1};
                        for (int step = 0; step < 4; ++step)
                            for (int axis = 0; axis < 4; ++axis)
                                EXPECT_EQ(d.radioButton(step, axis)->isChecked(), order[step] == axis);
                        d.radioButton(3, kAxisC)->click();
                        d.radioButton(0, kAxisY)->click();
                        EXPECT_FALSE(d.radioButton(0, kAxisZ)->isChecked());
                        EXPECT_TRUE(d.radioButton(1, kAxisY)->isChecked());
                        d.radioButton(0, kAxisY)->click(); // a selected button stays selected
                        EXPECT_TRUE(d.radioButton(0, kAxisY)->isChecked());
                        field<QComboBox>(d, 1156)->setCurrentIndex(2);
                        d.okButton()->click();
                    }),
              DialogOutcome::OrderRejected);
    EXPECT_EQ(ui.messages, std::vector<std::string>{std::string(kHomingOrderDialogMessage)});
    expectUnchanged();
}

} // namespace
} // namespace moravel

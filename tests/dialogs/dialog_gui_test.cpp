// The six dialogs with real widgets on the offscreen platform.

#include "app/dialogs/field_validation.h"
#include "app/dialogs/parameter_dialog.h"
#include "app/dialogs/parameter_dialogs.h"
#include "tests/support/test_support.h"

#include <QAbstractButton>
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

// Drives the modal dialog that the entry point opens: as soon as it is shown, action runs
// on it (and must close it). A watchdog rejects a dialog that is left open.
DialogOutcome drive(DialogId id, CMoravelSDIDoc& doc, UserInteraction& ui, std::function<void(ParameterDialog&)> action)
{
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<ParameterDialog*>(QApplication::activeModalWidget()); dialog && dialog->isVisible()) {
            poll.stop();
            action(*dialog);
        }
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "the dialog was left open";
            dialog->reject();
        }
    });
    poll.start();
    watchdog.start(10000);
    return runParameterDialog(id, nullptr, doc, ui);
}

template <typename T>
T* field(ParameterDialog& dialog, std::uint16_t id)
{
    T* w = dialog.findChild<T*>(QStringLiteral("field%1").arg(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
}

void type(ParameterDialog& dialog, std::uint16_t id, const QString& text)
{
    if (auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("field%1").arg(id)))
        combo->setEditText(text);
    else
        field<QLineEdit>(dialog, id)->setText(text);
}

// "OK" that the checks refuse: the message, the field that has the focus, and the dialog
// still open.
void expectRefused(ParameterDialog& dialog, test::RecordingInteraction& ui, const std::string& message,
                   std::uint16_t focusId)
{
    ui.messages.clear();
    dialog.okButton()->click();
    EXPECT_EQ(ui.messages, std::vector<std::string>{message});
    QWidget* focus = dialog.focusWidget();
    QWidget* expected = dialog.findChild<QWidget*>(QStringLiteral("field%1").arg(focusId));
    EXPECT_TRUE(focus && expected && (focus == expected || expected->isAncestorOf(focus)))
        << "focus on " << (focus ? focus->objectName().toStdString() : "nothing") << ", expected " << focusId;
    EXPECT_TRUE(dialog.isVisible());
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(doc.LoadFromFile(MORAVEL_TEMPLATE_FILE, ui));
        ui.messages.clear();
        before = set.WriteText();
    }
    DialogOutcome drive(DialogId id, std::function<void(ParameterDialog&)> action)
    {
        return moravel::drive(id, doc, ui, std::move(action));
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

TEST_F(Dialogs, EachHasItsTitleAndOkAsDefaultAboveAbbrechenAtTheTopRight)
{
    for (const DialogSpec& spec : dialogSpecs()) {
        ParameterDialog dialog(spec, ui);
        dialog.show();
        QApplication::processEvents();
        EXPECT_EQ(dialog.windowTitle().toStdString(), spec.title());
        EXPECT_EQ(dialog.okButton()->text(), "OK");
        EXPECT_TRUE(dialog.okButton()->isDefault());
        EXPECT_EQ(dialog.cancelButton()->text(), "Abbrechen");
        const QRect ok = dialog.okButton()->geometry();
        EXPECT_LT(ok.bottom(), dialog.cancelButton()->geometry().top());
        EXPECT_LT(ok.top(), dialog.height() / 4);
        for (std::size_t i = 0; i < spec.fields.size(); ++i) {
            QWidget* w = dialog.fieldWidget(i);
            EXPECT_LT(w->mapTo(&dialog, QPoint(w->width(), 0)).x(), ok.left()) << spec.title() << " " << spec.fields[i].id;
        }
    }
}

TEST_F(Dialogs, OkWithoutChangeStoresNothingAndLeavesTheDocumentUnmodified)
{
    for (const DialogSpec& spec : dialogSpecs())
        EXPECT_EQ(drive(spec.id, [](ParameterDialog& d) { d.okButton()->click(); }), DialogOutcome::Stored)
            << spec.title();
    EXPECT_TRUE(ui.messages.empty());
    expectUnchanged();
}

TEST_F(Dialogs, AbbrechenOrEscapeAfterEditsChangesNothing)
{
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
                        type(d, 1051, "5");
                        QTest::keyClick(&d, Qt::Key_Escape);
                    }),
              DialogOutcome::Cancelled);
    EXPECT_TRUE(ui.messages.empty());
    expectUnchanged();
}

TEST_F(Dialogs, MotortestChecksFromTheBottomRowUp)
{
    EXPECT_EQ(drive(DialogId::Motortest,
                    [this](ParameterDialog& d) {
                        type(d, 1127, "65536");
                        type(d, 1133, "0");
                        expectRefused(d, ui, integerRangeMessage(1, 999), 1133);
                        type(d, 1133, "999");
                        expectRefused(d, ui, integerRangeMessage(0, 65535), 1127);
                        EXPECT_EQ(field<QLineEdit>(d, 1127)->selectedText(), "65536");
                        d.cancelButton()->click();
                    }),
              DialogOutcome::Cancelled);
    expectUnchanged();
}

TEST_F(Dialogs, MechanikChecksTheCFieldOfEachGroupFirst)
{
    EXPECT_EQ(drive(DialogId::Mechanik,
                    [this](ParameterDialog& d) {
                        type(d, 1051, "abc");
                        type(d, 1054, "0.09");
                        expectRefused(d, ui, numberRangeMessage(0.1, 999), 1054);
                        type(d, 1054, "999");
                        expectRefused(d, ui, numberExpectedMessage(), 1051);
                        type(d, 1051, "0.1");
                        type(d, 1066, "501");
                        type(d, 1130, "rotativ!!");
                        expectRefused(d, ui, integerRangeMessage(0, 500), 1066);
                        type(d, 1066, "500");
                        expectRefused(d, ui, tooManyCharactersMessage(8), 1130);
                        type(d, 1130, "rotativ");
                        field<QCheckBox>(d, 1127)->click();
                        d.okButton()->click();
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(set.aufloesung, (std::array<float, 4>{0.1f, 100, 100, 999}));
    EXPECT_EQ(set.umkehrspiel[AxisZ], 500);
    EXPECT_EQ(set.achsenconfiguration, (Four{0, 0, 0, 1}));
    EXPECT_EQ(set.richtungsumkehr, (Four{0, 0, 1, 0}));
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Dialogs, GeschwindigkeitenFramesItsUnusedFieldsAndRefusesADecimalComma)
{
    EXPECT_EQ(drive(DialogId::Geschwindigkeiten,
                    [this](ParameterDialog& d) {
                        QGroupBox* frame = d.findChild<QGroupBox*>();
                        ASSERT_NE(frame, nullptr);
                        EXPECT_EQ(frame->title(), "Noch nicht verwendet");
                        for (std::uint16_t id : {1032, 1034, 1029})
                            EXPECT_EQ(frame->geometry().contains(field<QWidget>(d, id)->geometry()), id != 1029) << id;
                        type(d, 1021, "2,5");
                        expectRefused(d, ui, numberExpectedMessage(), 1021);
                        type(d, 1021, "2.5");
                        d.okButton()->click();
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(set.manuellLangsam, 2.5f);
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Dialogs, SchnittstelleShowsTheFallbackAndOffersAnEmptyFourthEntryInTwoLists)
{
    set.zusatzsignalSpindel = 0;
    set.zusatzsignalBoost = 1;
    EXPECT_EQ(drive(DialogId::Schnittstelle,
                    [this](ParameterDialog& d) {
                        auto* spindel = field<QComboBox>(d, 1037);
                        EXPECT_EQ(spindel->currentText(), "deaktiv");
                        EXPECT_EQ(spindel->count(), 3);
                        EXPECT_EQ(field<QComboBox>(d, 1040)->count(), 3);
                        for (std::uint16_t id : {1041, 1042}) {
                            EXPECT_EQ(field<QComboBox>(d, id)->count(), 4);
                            EXPECT_EQ(field<QComboBox>(d, id)->itemText(3), "");
                        }
                        // Boost comes before Spindel in the exchange order.
                        type(d, 1037, "High aktiv!");
                        type(d, 1042, "Low aktiv 1");
                        expectRefused(d, ui, tooManyCharactersMessage(10), 1042);
                        field<QComboBox>(d, 1042)->setCurrentIndex(3);
                        spindel->setCurrentIndex(1);
                        d.okButton()->click();
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(set.zusatzsignalSpindel, 2);
    EXPECT_EQ(set.zusatzsignalBoost, 3);
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Dialogs, SonstigeStopsTheNameAtSixteenAndReplacesAnEmptyOne)
{
    EXPECT_EQ(drive(DialogId::Sonstige,
                    [this](ParameterDialog& d) {
                        auto* name = field<QLineEdit>(d, 1145);
                        EXPECT_EQ(name->text(), "NC-Travo USB");
                        name->clear();
                        QTest::keyClicks(name, "ABCDEFGHIJKLMNOPQ");
                        EXPECT_EQ(name->text(), "ABCDEFGHIJKLMNOP");
                        type(d, 1145, QStringLiteral("Fräse Ω"));
                        type(d, 1149, "1");
                        expectRefused(d, ui, unsupportedCharactersMessage(U"Ω"), 1145);
                        type(d, 1145, "");
                        expectRefused(d, ui, integerRangeMessage(0, 0), 1149);
                        type(d, 1149, "0");
                        ui.messages.clear();
                        d.okButton()->click();
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(ui.messages, std::vector<std::string>{std::string(ControllerNameEmptyMessage)});
    EXPECT_EQ(set.controllerName, DefaultControllerName);
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Dialogs, ReferenzfahrtShowsSortedDirectionsAndIndependentColumns)
{
    EXPECT_EQ(drive(DialogId::Referenzfahrt,
                    [](ParameterDialog& d) {
                        const std::array<std::uint16_t, 4> combos{1156, 1157, 1158, 1159};
                        const std::array<const char*, 4> shown{"positive", "negative", "negative", "positive"};
                        for (std::size_t axis = 0; axis < 4; ++axis) {
                            auto* combo = field<QComboBox>(d, combos[axis]);
                            EXPECT_EQ(combo->currentText(), shown[axis]);
                            EXPECT_EQ(combo->itemText(0), "negative");
                            EXPECT_EQ(combo->itemText(1), "positive");
                        }
                        const Four order{AxisZ, AxisY, AxisX, AxisC};
                        for (int step = 0; step < 4; ++step)
                            for (int axis = 0; axis < 4; ++axis)
                                EXPECT_EQ(d.radioButton(step, axis)->isChecked(), order[step] == axis);
                        // Y in column 1 clears Z there only; column 2 keeps its Y.
                        d.radioButton(0, AxisY)->click();
                        EXPECT_FALSE(d.radioButton(0, AxisZ)->isChecked());
                        EXPECT_TRUE(d.radioButton(1, AxisY)->isChecked());
                        d.radioButton(0, AxisY)->click(); // clicking the selected button keeps it
                        EXPECT_TRUE(d.radioButton(0, AxisY)->isChecked());
                        field<QComboBox>(d, 1156)->setCurrentIndex(2);
                        d.okButton()->click();
                    }),
              DialogOutcome::OrderRejected);
    EXPECT_EQ(ui.messages, std::vector<std::string>{std::string(HomingOrderDialogMessage)});
    expectUnchanged();

    EXPECT_EQ(drive(DialogId::Referenzfahrt,
                    [](ParameterDialog& d) {
                        d.radioButton(0, AxisX)->click();
                        d.radioButton(2, AxisZ)->click();
                        d.okButton()->click();
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(set.Reihenfolge, (Four{0, 1, 2, 3}));
    EXPECT_EQ(set.Richtung, (Four{0, 1, 1, 0}));
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Dialogs, AStepWithoutAnAxisLeavesItsColumnEmptyUntilOneIsChosen)
{
    set.Reihenfolge[3] = 9;
    EXPECT_EQ(drive(DialogId::Referenzfahrt,
                    [this](ParameterDialog& d) {
                        for (int axis = 0; axis < 4; ++axis)
                            EXPECT_FALSE(d.radioButton(3, axis)->isChecked());
                        // C, named by no step, shows the first entry of its list.
                        EXPECT_EQ(field<QComboBox>(d, 1159)->currentText(), "negative");
                        d.radioButton(3, AxisC)->click();
                        d.okButton()->click();
                        EXPECT_TRUE(ui.messages.empty());
                    }),
              DialogOutcome::Stored);
    EXPECT_EQ(set.Reihenfolge, (Four{2, 1, 0, 3}));
    EXPECT_EQ(set.Richtung, (Four{1, 1, 0, 1}));
    EXPECT_TRUE(doc.isModified());
}

// Labels, check boxes and frame titles get at least the width their text needs; every
// dialog is saved as a PNG when MORAVEL_SCREENSHOT_DIR names a directory.
TEST_F(Dialogs, NoTextIsCutShort)
{
    for (const DialogSpec& spec : dialogSpecs()) {
        ParameterDialog dialog(spec, ui);
        dialog.setMembers(copyIn(spec, doc.m_parameterSet));
        dialog.show();
        QApplication::processEvents();
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QGroupBox*>(w)) {
                EXPECT_GE(w->width(), w->minimumSizeHint().width()) << spec.title() << " " << w->objectName().toStdString();
            }
        }
        const QString dir = qEnvironmentVariable("MORAVEL_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            dialog.grab().save(QDir(dir).filePath(dialog.windowTitle() + ".png"));
    }
}

} // namespace
} // namespace moravel
